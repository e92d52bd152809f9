#pragma once
// The program's icon (a result grid under a magnifying glass), drawn in
// code at every size the window system asks for, so it stays sharp at any
// screen scaling without an image plug-in.

#include <QIcon>

QIcon AppIcon();
