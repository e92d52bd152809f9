#include "DbValues.h"

#include <QRegularExpression>

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
bool ParseTimePart(std::string_view s, std::size_t p, QTime* time) {
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
    const QTime t(h, m, sec, ms);
    if (!t.isValid())
        return false;
    *time = t;
    return true;
}

std::string_view Utf8View(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

} // namespace

TDateForm ParseIso(std::string_view s, QDateTime* value) {
    if (s.size() >= 5 && s.size() <= 12 && s[2] == ':') {
        QTime time;
        if (!ParseTimePart(s, 0, &time))
            return TDateForm::None;
        *value = QDateTime(QDate(1899, 12, 30), time);
        return TDateForm::Time;
    }
    if (s.size() < 10 || s[4] != '-' || s[7] != '-')
        return TDateForm::None;
    const int y = Digits(s, 0, 4);
    const int mo = Digits(s, 5, 2);
    const int d = Digits(s, 8, 2);
    if (y < 0 || mo < 0 || d < 0)
        return TDateForm::None;
    const QDate date(y, mo, d);
    if (!date.isValid())
        return TDateForm::None;
    if (s.size() == 10) {
        *value = QDateTime(date, QTime(0, 0));
        return TDateForm::Date;
    }
    if (s[10] != ' ' && s[10] != 'T')
        return TDateForm::None;
    QTime time;
    if (!ParseTimePart(s, 11, &time))
        return TDateForm::None;
    *value = QDateTime(date, time);
    return TDateForm::DateTime;
}

TDateForm ParseIso(const QString& text, QDateTime* value) {
    const QByteArray bytes = text.toUtf8();
    return ParseIso(Utf8View(bytes), value);
}

TDateForm ParseProgramDate(std::string_view s, QDateTime* value) {
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
    const int y = Digits(s, p, 4);
    if (y < 0)
        return TDateForm::None;
    p += 4;
    const QDate date(y, parts[1], parts[0]);
    if (!date.isValid())
        return TDateForm::None;
    if (p == s.size()) {
        *value = QDateTime(date, QTime(0, 0));
        return TDateForm::Date;
    }
    if (s[p] != ' ')
        return TDateForm::None;
    QTime time;
    if (!ParseTimePart(s, p + 1, &time))
        return TDateForm::None;
    *value = QDateTime(date, time);
    return TDateForm::DateTime;
}

TDateForm ParseProgramDate(const QString& text, QDateTime* value) {
    const QByteArray bytes = text.toUtf8();
    return ParseProgramDate(Utf8View(bytes), value);
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
