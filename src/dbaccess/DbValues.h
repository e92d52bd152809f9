#pragma once
// Value conventions shared by the row store, the filter and the SQLite
// dialect: dates held as ISO text, the program's "DD.MM.YYYY" date literals,
// canonical number texts, and field kinds from declared column types.

#include "DataSet.h"

#include <QDateTime>
#include <QString>
#include <string_view>

namespace DbValues {

enum class TDateForm { None, Date, Time, DateTime };

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]" (also with "T"), or
// "HH:MM[:SS[.fff]]". Returns the form found; None leaves value untouched.
TDateForm ParseIso(std::string_view text, QDateTime* value);
TDateForm ParseIso(const QString& text, QDateTime* value);
// The program's literal form "DD.MM.YYYY" with an optional " HH:MM[:SS]";
// one-digit days and months are accepted.
TDateForm ParseProgramDate(std::string_view text, QDateTime* value);
TDateForm ParseProgramDate(const QString& text, QDateTime* value);

// ISO texts as they are stored: "YYYY-MM-DD", "HH:MM:SS", "YYYY-MM-DD HH:MM:SS"
// (milliseconds appended when not zero).
QString IsoDate(const QDate& date);
QString IsoTime(const QTime& time);
QString IsoDateTime(const QDateTime& value);
// Normalised comparison key "YYYY-MM-DD HH:MM:SS.zzz" of a date or date-time.
QByteArray DateKey(const QDateTime& value);

// True for a number text written the one way a number prints: an optional
// minus, no leading zeros, no trailing zeros after the point ("3", "-2.5",
// "0.25"; not "007", "1.0", "+3", ".5", "-0").
bool IsCanonicalNumber(std::string_view text);
bool IsCanonicalNumber(const QString& text);

// Field kind for a declared column type (DATE, DATETIME, TIMESTAMP, TIME,
// INTEGER, REAL, ...); Unknown when the type is empty. *size receives the
// length of CHAR(n)/VARCHAR(n) types, else 0.
TFieldType KindOfDeclaredType(const QString& declaredType, int* size = nullptr);

} // namespace DbValues
