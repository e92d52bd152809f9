#pragma once
// Lets GoogleTest print a QString as text instead of a list of bytes.

#include <QString>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
