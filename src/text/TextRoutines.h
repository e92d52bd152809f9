#pragma once
// Text routines of the utility library: the string-literal format for texts
// sent to a printer, tolerant number reading, mask formatting, padding and a
// few one-line routines. Failures raise EConvertError / Exception with the
// user-facing message; nothing here shows a message itself.

#include "Exception.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

// Program-wide variables of the literal scanner.
extern bool AllowZeroCodes;
extern bool AllowBareChars;
extern std::uint16_t LiteralLength;

// Rewrites a zero-terminated buffer so that its first LiteralLength bytes are
// the string the literal denotes. Returns false on an invalid literal, with
// LiteralLength set to the position where the scan stopped.
bool ScanStringLiteral(char* buffer);
void DeleteChars(char* buffer, std::uint16_t index, std::uint16_t count);
// The bytes a literal denotes (quoted runs in Windows-1251, codes and control
// characters as the byte itself, zero bytes included); raises Exception
// "Invalid string:  <text>" on an invalid literal. Allows zero codes for the
// scan and clears AllowZeroCodes afterwards. A code of more than 31 digits is
// invalid.
QByteArray ParseStringLiteral(const QString& text);

double ParseFloatText(const QString& text);
std::int32_t ParseIntText(const QString& text);
QString FormatByMask(const QString& mask, long double value);

void PadLeft(QString& text, int width, QChar fill);
void PadRight(QString& text, int width, QChar fill);
void PadCenter(QString& text, int width, QChar fill);
QString StripPunctuation(const QString& text);
void ReplaceChar(QString& text, QChar from, QChar to);
void EscapeControlChars(QString& text);
int BestPrefixMatch(const QStringList& items, const QString& text);
void TildeToPercent(QString& text);
inline int IntMin(int a, int b) {
    return a < b ? a : b;
}
inline int IntMax(int a, int b) {
    return a > b ? a : b;
}

// FindAnsweringComponent needs widgets and lives in WindowRoutines.h (kivutil).

// True when a column name is an SQL expression rather than a plain name: it
// contains one of ( ) * + - . / |
bool IsExpression(const QString& colName);
// Trims blanks and control characters at both ends (Pascal Trim).
QString TrimText(const QString& text);
// Quotes a value as an SQL string literal, embedded quotes doubled.
QString QuotedSql(const QString& value);
// The lines of a text as a string list takes them: lines end at CR LF, LF or
// CR, and a final line end adds no empty line.
QStringList SplitTextLines(const QString& text);
