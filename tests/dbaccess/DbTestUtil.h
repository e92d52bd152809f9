#pragma once
// Helpers of the database access tests.

#include "DbAccess.h"

#include <QString>
#include <ostream>

using namespace Qt::StringLiterals;

// GoogleTest prints QStrings as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
