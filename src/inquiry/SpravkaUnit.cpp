#include "SpravkaUnit.h"

QWidget* OpenInquiryWindow(bool, bool, const QString&) { return nullptr; }
