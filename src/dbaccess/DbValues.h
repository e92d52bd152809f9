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

// A date and a time of day as a text wrote them, with no time zone. Reading
// and showing them never asks the C library about the local zone, which a
// local QDateTime does (and glibc then checks the zone file on every call).
// A date alone has the time 00:00, a time alone the date 30.12.1899.
struct TDateParts {
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Msec = 0;

    QDate Date() const { return QDate(Year, Month, Day); }
    QTime Time() const { return QTime(Hour, Minute, Second, Msec); }
    bool Midnight() const { return (Hour | Minute | Second | Msec) == 0; }
    // The same date and time as a QDateTime in the local zone (what fields
    // hand out as values). A wall time the local zone skips (the hour lost
    // to summer time) keeps its date and time in a QDateTime without zone
    // rules, rather than becoming invalid.
    QDateTime LocalDateTime() const {
        const QDateTime local(Date(), Time());
        return local.isValid() ? local : PlainDateTime();
    }
    // The same date and time in a QDateTime that carries no zone rules, for
    // formatting routines that read only its date and time.
    QDateTime PlainDateTime() const { return QDateTime(Date(), Time(), Qt::UTC); }
    // A number that orders like the moments (milliseconds, years 1..9999).
    qint64 Key() const {
        return ((((qint64(Year) * 13 + Month) * 32 + Day) * 24 + Hour) * 60 + Minute) * 60000 +
               Second * 1000 + Msec;
    }
};

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]" (also with "T"), or
// "HH:MM[:SS[.fff]]". Returns the form found; None leaves value untouched.
TDateForm ParseIso(std::string_view text, TDateParts* value);
TDateForm ParseIso(std::string_view text, QDateTime* value);
TDateForm ParseIso(const QString& text, QDateTime* value);
// The program's literal form "DD.MM.YYYY" with an optional " HH:MM[:SS]";
// one-digit days and months are accepted.
TDateForm ParseProgramDate(std::string_view text, TDateParts* value);
TDateForm ParseProgramDate(std::string_view text, QDateTime* value);
TDateForm ParseProgramDate(const QString& text, QDateTime* value);

// The program's display texts, equal to DateText, TimeText and DateTimeText
// of DisplayFormat.h for the same date and time: "DD.MM.YYYY", "HH:MM", and
// the date followed by " HH:MM" unless the time is midnight.
QString DateDisplay(const TDateParts& value);
QString TimeDisplay(const TDateParts& value);
QString DateTimeDisplay(const TDateParts& value);
// ShortestFloatText of DisplayFormat.h; a value that is a whole number of
// hundredths (money, quantities) is written without the general routine.
QString FloatDisplay(double value);
// The text of FloatDisplay written at out (room for FloatDisplayRoom
// characters) when the value is a whole number of hundredths below 10^13:
// its length; -1 for any other value (then only FloatDisplay writes it).
constexpr int FloatDisplayRoom = 24;
int FloatDisplayChars(double value, char* out);
// The ISO date "YYYY-MM-DD" of a date, as stored.
QByteArray IsoDateBytes(const TDateParts& value);

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
