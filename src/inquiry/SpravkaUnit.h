#pragma once
// The inquiry window and its operations.

#include <QString>
#include <QWidget>

// Opens an inquiry window: reuses an open one unless a new window is asked
// for, else creates a child window of the main frame (or a free-standing
// window when newWindow is set) and places it beside the active window.
// Returns the window that became current, or nullptr.
QWidget* OpenInquiryWindow(bool newWindow, bool forceNew, const QString& subject);
