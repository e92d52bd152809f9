#include "DbValues.h"

#include "DisplayFormat.h"
#include "FormatSettings.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace DbValues {

namespace {

// Reads exactly n digits at p; -1 when one is missing.
int Digits(std::string_view s, std::size_t p, int n) {
    if (p + std::size_t(n) > s.size())
        return -1;
    int value = 0;
    for (int i = 0; i < n; ++i) {
        const char c = s[p + std::size_t(i)];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Reads "HH:MM[:SS[.fff]]" from position p to the end of s.
bool ParseTimePart(std::string_view s, std::size_t p, TDateParts* value) {
    const int h = Digits(s, p, 2);
    if (h < 0 || p + 2 >= s.size() || s[p + 2] != ':')
        return false;
    const int m = Digits(s, p + 3, 2);
    if (m < 0)
        return false;
    int sec = 0;
    int ms = 0;
    std::size_t q = p + 5;
    if (q < s.size()) {
        if (s[q] != ':')
            return false;
        sec = Digits(s, q + 1, 2);
        if (sec < 0)
            return false;
        q += 3;
        if (q < s.size()) {
            if (s[q] != '.')
                return false;
            ++q;
            int digits = 0;
            int scale = 100;
            while (q < s.size() && s[q] >= '0' && s[q] <= '9') {
                if (digits < 3)
                    ms += (s[q] - '0') * scale;
                scale /= 10;
                ++digits;
                ++q;
            }
            if (digits == 0 || q != s.size())
                return false;
        }
    }
    if (!QTime::isValid(h, m, sec, ms))
        return false;
    value->Hour = h;
    value->Minute = m;
    value->Second = sec;
    value->Msec = ms;
    return true;
}

std::string_view Utf8View(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

TDateForm ToDateTime(TDateForm form, const TDateParts& parts, QDateTime* value) {
    if (form != TDateForm::None)
        *value = parts.LocalDateTime();
    return form;
}

// Two digits of a number below 100 at out.
void PutTwo(QChar* out, int value) {
    out[0] = QChar(u'0' + value / 10);
    out[1] = QChar(u'0' + value % 10);
}

// "DD.MM.YYYY" at out (10 characters); years have four digits or more.
qsizetype PutDate(QChar* out, const TDateParts& v) {
    PutTwo(out, v.Day);
    out[2] = FormatSettings::DateSeparator;
    PutTwo(out + 3, v.Month);
    out[5] = FormatSettings::DateSeparator;
    if (v.Year < 1 || v.Year > 9999) {
        const QString year = QString::number(v.Year).rightJustified(4, u'0');
        std::copy(year.begin(), year.end(), out + 6);
        return 6 + year.size();
    }
    PutTwo(out + 6, v.Year / 100);
    PutTwo(out + 8, v.Year % 100);
    return 10;
}

// "HH:MM" at out (5 characters).
void PutTime(QChar* out, const TDateParts& v) {
    PutTwo(out, v.Hour);
    out[2] = FormatSettings::TimeSeparator;
    PutTwo(out + 3, v.Minute);
}

} // namespace

TDateForm ParseIso(std::string_view s, TDateParts* value) {
    if (s.size() >= 5 && s.size() <= 12 && s[2] == ':') {
        TDateParts parts;
        if (!ParseTimePart(s, 0, &parts))
            return TDateForm::None;
        *value = parts;
        return TDateForm::Time;
    }
    if (s.size() < 10 || s[4] != '-' || s[7] != '-')
        return TDateForm::None;
    TDateParts parts;
    parts.Year = Digits(s, 0, 4);
    parts.Month = Digits(s, 5, 2);
    parts.Day = Digits(s, 8, 2);
    if (parts.Year < 0 || parts.Month < 0 || parts.Day < 0 ||
        !QDate::isValid(parts.Year, parts.Month, parts.Day))
        return TDateForm::None;
    if (s.size() == 10) {
        *value = parts;
        return TDateForm::Date;
    }
    if ((s[10] != ' ' && s[10] != 'T') || !ParseTimePart(s, 11, &parts))
        return TDateForm::None;
    *value = parts;
    return TDateForm::DateTime;
}

TDateForm ParseIso(std::string_view text, QDateTime* value) {
    TDateParts parts;
    return ToDateTime(ParseIso(text, &parts), parts, value);
}

TDateForm ParseIso(const QString& text, QDateTime* value) {
    const QByteArray bytes = text.toUtf8();
    return ParseIso(Utf8View(bytes), value);
}

TDateForm ParseProgramDate(std::string_view s, TDateParts* value) {
    // D.M.YYYY with one- or two-digit day and month.
    std::size_t p = 0;
    int parts[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        int n = 0;
        int v = 0;
        while (p < s.size() && s[p] >= '0' && s[p] <= '9' && n < 2) {
            v = v * 10 + (s[p] - '0');
            ++p;
            ++n;
        }
        if (n == 0 || p >= s.size() || s[p] != '.')
            return TDateForm::None;
        parts[k] = v;
        ++p;
    }
    TDateParts result;
    result.Year = Digits(s, p, 4);
    if (result.Year < 0)
        return TDateForm::None;
    p += 4;
    result.Month = parts[1];
    result.Day = parts[0];
    if (!QDate::isValid(result.Year, result.Month, result.Day))
        return TDateForm::None;
    if (p == s.size()) {
        *value = result;
        return TDateForm::Date;
    }
    if (s[p] != ' ' || !ParseTimePart(s, p + 1, &result))
        return TDateForm::None;
    *value = result;
    return TDateForm::DateTime;
}

TDateForm ParseProgramDate(std::string_view text, QDateTime* value) {
    TDateParts parts;
    return ToDateTime(ParseProgramDate(text, &parts), parts, value);
}

TDateForm ParseProgramDate(const QString& text, QDateTime* value) {
    const QByteArray bytes = text.toUtf8();
    return ParseProgramDate(Utf8View(bytes), value);
}

QString DateDisplay(const TDateParts& value) {
    QChar text[16];
    return QString(text, PutDate(text, value));
}

QString TimeDisplay(const TDateParts& value) {
    QChar text[5];
    PutTime(text, value);
    return QString(text, 5);
}

QString DateTimeDisplay(const TDateParts& value) {
    QChar text[22];
    qsizetype n = PutDate(text, value);
    if (!value.Midnight()) {
        text[n] = u' ';
        PutTime(text + n + 1, value);
        n += 6;
    }
    return QString(text, n);
}

int FloatDisplayChars(double value, char* out) {
    // Below 10^13 a whole number of hundredths has at most 15 significant
    // digits, and no other decimal of at most 15 digits reads back as the
    // same double: its shortest text is the hundredths with the trailing
    // zeros dropped, in fixed notation (the general routine switches to an
    // exponent only below 0.001).
    if (!(std::fabs(value) < 1e13))
        return -1;
    const double scaled = value * 100;
    const qint64 hundredths = std::llround(scaled);
    if (double(hundredths) / 100 != value)
        return -1;
    if (hundredths == 0) {
        out[0] = '0';
        return 1;
    }
    char text[24];
    char* end = text + sizeof text;
    char* p = end;
    quint64 rest = quint64(hundredths < 0 ? -hundredths : hundredths);
    const int cents = int(rest % 100);
    rest /= 100;
    if (cents != 0) {
        if (cents % 10 != 0)
            *--p = char('0' + cents % 10);
        *--p = char('0' + cents / 10);
        *--p = '.';
    }
    do {
        *--p = char('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (hundredths < 0)
        *--p = '-';
    std::memcpy(out, p, std::size_t(end - p));
    return int(end - p);
}

QString FloatDisplay(double value) {
    char text[FloatDisplayRoom];
    const int n = FloatDisplayChars(value, text);
    if (n >= 0)
        return QString::fromLatin1(text, n);
    return ShortestFloatText(value);
}

QByteArray IsoDateBytes(const TDateParts& value) {
    char text[16];
    const int n =
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", value.Year, value.Month, value.Day);
    return QByteArray(text, n);
}

QString IsoDate(const QDate& date) {
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString IsoTime(const QTime& time) {
    return time.toString(time.msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

QString IsoDateTime(const QDateTime& value) {
    return IsoDate(value.date()) + u' ' + IsoTime(value.time());
}

QByteArray DateKey(const QDateTime& value) {
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
}

bool IsCanonicalNumber(std::string_view s) {
    std::size_t p = 0;
    if (p < s.size() && s[p] == '-')
        ++p;
    if (p >= s.size() || s[p] < '0' || s[p] > '9')
        return false;
    const std::size_t intStart = p;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9')
        ++p;
    const std::size_t intLength = p - intStart;
    if (intLength > 1 && s[intStart] == '0')
        return false; // leading zeros: "007"
    bool fractionNonZero = false;
    if (p < s.size()) {
        if (s[p] != '.')
            return false;
        ++p;
        const std::size_t fracStart = p;
        while (p < s.size() && s[p] >= '0' && s[p] <= '9')
            ++p;
        if (p != s.size() || p == fracStart || s[p - 1] == '0')
            return false; // "1." or trailing zeros "1.0", "2.50"
        fractionNonZero = true;
    }
    if (s[0] == '-' && intLength == 1 && s[intStart] == '0' && !fractionNonZero)
        return false; // "-0"
    return true;
}

bool IsCanonicalNumber(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return IsCanonicalNumber(Utf8View(bytes));
}

TFieldType KindOfDeclaredType(const QString& declaredType, int* size) {
    if (size)
        *size = 0;
    const QString type = declaredType.trimmed().toUpper();
    if (type.isEmpty())
        return TFieldType::Unknown;
    if (size) {
        static const QRegularExpression length(QStringLiteral("\\(\\s*(\\d+)"));
        const QRegularExpressionMatch m = length.match(type);
        if (m.hasMatch() &&
            (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("TEXT"))))
            *size = m.captured(1).toInt();
    }
    // Date and time kinds are tested before the affinity rules, since
    // "DATETIME" and "TIMESTAMP" would not match them otherwise.
    if (type.startsWith(QLatin1String("DATETIME")) || type.startsWith(QLatin1String("TIMESTAMP")) ||
        type.startsWith(QLatin1String("SMALLDATETIME")))
        return TFieldType::DateTime;
    if (type.startsWith(QLatin1String("DATE")))
        return TFieldType::Date;
    if (type.startsWith(QLatin1String("TIME")))
        return TFieldType::Time;
    if (type.startsWith(QLatin1String("BOOL")) || type == QLatin1String("BIT"))
        return TFieldType::Boolean;
    if (type.contains(QLatin1String("INT")))
        return type.startsWith(QLatin1String("SMALLINT")) ||
                       type.startsWith(QLatin1String("TINYINT"))
                   ? TFieldType::SmallInt
                   : TFieldType::Integer;
    if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) ||
        type.contains(QLatin1String("TEXT")))
        return TFieldType::String;
    if (type.contains(QLatin1String("BLOB")) || type.contains(QLatin1String("BINARY")))
        return TFieldType::Blob;
    if (type.contains(QLatin1String("MONEY")))
        return TFieldType::Currency;
    if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("FLOA")) ||
        type.contains(QLatin1String("DOUB")) || type.contains(QLatin1String("NUMERIC")) ||
        type.contains(QLatin1String("DECIMAL")))
        return TFieldType::Float;
    return TFieldType::String;
}

} // namespace DbValues
