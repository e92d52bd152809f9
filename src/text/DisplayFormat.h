#pragma once
// The picture languages of display formats, shared by the result grid, the
// report engine and FORMATNUMERIC.
//
// Numbers: "0" digit always written, "#" digit written when significant, the
// first "." places the decimal point, a "," before it turns on grouping by
// thousands, "E+", "E-", "e+", "e-" followed by "0"s give an exponent, text in
// single or double quotes is literal, ";" separates the sections for positive,
// negative and zero values. Rounding is half away from zero. Output uses "."
// and ",". Any other character is literal and is written only when a digit
// precedes it ('### ### ##0.00' shows 1234567.5 as "1 234 567.50").
//
// Dates and times: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz
// am/pm a/p ampm, "c" (short date, then long time unless midnight), "t" (short
// time), "/" and ":" the program's separators, quoted literals; "m"/"mm" right
// after an hour means minutes. Month and day names are Bulgarian.

#include <QDateTime>
#include <QString>

QString FormatFloatPicture(const QString& picture, double value);
QString FormatDateTimePicture(const QString& picture, const QDateTime& value);

// Texts without a display format.
QString DateText(const QDate& date);          // "DD.MM.YYYY"
QString TimeText(const QTime& time);          // "HH:MM"
QString DateTimeText(const QDateTime& value); // date, then " HH:MM" unless midnight
// Shortest decimal text that reads back as the same double ("0.1", "1234.5",
// "1E-20"); no grouping, "." as the decimal point.
QString ShortestFloatText(double value);
// General format with up to 15 significant digits (as the evaluator and STR
// write floats): "3.5", "0.333333333333333", "1E20".
QString GeneralFloatText(double value, int precision = 15);
