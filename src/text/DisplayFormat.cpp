#include "DisplayFormat.h"

#include "DecimalDigits_p.h"
#include "FormatSettings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace DecimalDigits;

namespace {

QString NonFiniteText(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// Fixed notation while the number has at most maxIntegerDigits digits before
// the point and is not below 0.0001; otherwise "d.dddE[-]x".
QString GeneralText(const Decimal& d, int maxIntegerDigits) {
    if (d.IsZero())
        return QStringLiteral("0");
    QString out;
    if (d.Negative)
        out += u'-';
    if (d.Exponent > maxIntegerDigits || d.Exponent < -3) {
        out += QChar::fromLatin1(d.Digits[0]);
        if (d.Digits.size() > 1)
            out += u'.' + QString::fromLatin1(d.Digits.substr(1));
        out += u'E' + QString::number(d.Exponent - 1);
        return out;
    }
    const std::string intPart = IntegerDigits(d);
    out += intPart.empty() ? QStringLiteral("0") : QString::fromLatin1(intPart);
    const int fraction = static_cast<int>(d.Digits.size()) - d.Exponent;
    if (fraction > 0)
        out += u'.' + QString::fromLatin1(FractionDigits(d, fraction));
    return out;
}

// ---------------------------------------------------------------- numbers

// What one section of a number picture asks for.
struct NumberSection {
    QString Text;
    int IntegerPlaces = 0;     // "0"/"#" before the decimal point
    int FirstIntegerZero = -1; // index of the first "0" among them
    int FractionPlaces = 0;    // "0"/"#" after the decimal point
    int LastFractionZero = 0;  // 1-based place of the last "0" after the point
    bool Grouping = false;
    bool Scientific = false;
};

bool IsExponentAt(const QString& s, qsizetype i) {
    return (s[i] == u'E' || s[i] == u'e') && i + 1 < s.size() &&
           (s[i + 1] == u'+' || s[i + 1] == u'-');
}

QStringList SplitSections(const QString& picture) {
    QStringList sections;
    QString current;
    QChar quote;
    for (const QChar c : picture) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u';') {
            sections << current;
            current.clear();
            continue;
        }
        current += c;
    }
    sections << current;
    return sections;
}

NumberSection AnalyseSection(const QString& text) {
    NumberSection s;
    s.Text = text;
    bool afterPoint = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = text.indexOf(c, i + 1);
            i = end < 0 ? text.size() : end;
        } else if (c == u'0' || c == u'#') {
            if (afterPoint) {
                ++s.FractionPlaces;
                if (c == u'0')
                    s.LastFractionZero = s.FractionPlaces;
            } else {
                if (c == u'0' && s.FirstIntegerZero < 0)
                    s.FirstIntegerZero = s.IntegerPlaces;
                ++s.IntegerPlaces;
            }
        } else if (c == u'.') {
            afterPoint = true;
        } else if (c == u',') {
            if (!afterPoint)
                s.Grouping = true;
        } else if (IsExponentAt(text, i)) {
            s.Scientific = true;
            break;
        }
    }
    return s;
}

// Rounds the magnitude as the section asks; in scientific form also returns
// the exponent to print.
Decimal RoundForSection(const NumberSection& s, Decimal d, int& exponent) {
    exponent = 0;
    if (!s.Scientific) {
        RoundToDecimals(d, s.FractionPlaces);
        return d;
    }
    const int significant = std::max(1, s.IntegerPlaces + s.FractionPlaces);
    RoundDigits(d, significant);
    if (!d.IsZero()) {
        exponent = d.Exponent - s.IntegerPlaces;
        d.Exponent = s.IntegerPlaces;
    }
    return d;
}

QString FormatSection(const NumberSection& s, const Decimal& rounded, int exponent, bool minus) {
    const std::string intDigits = IntegerDigits(rounded);
    const int forced = s.FirstIntegerZero < 0 ? 0 : s.IntegerPlaces - s.FirstIntegerZero;
    const int width = std::max(static_cast<int>(intDigits.size()), forced);
    const std::string digits = std::string(width - intDigits.size(), '0') + intDigits;
    const int extra = width - s.IntegerPlaces; // digits beyond the placeholders

    std::string fraction = FractionDigits(rounded, s.FractionPlaces);
    int fractionShown = static_cast<int>(fraction.size());
    while (fractionShown > s.LastFractionZero && fraction[fractionShown - 1] == '0')
        --fractionShown;

    const bool grouping = s.Grouping && !s.Scientific;
    QString out;
    if (minus)
        out += u'-';
    bool digitWritten = false;
    bool placeReached = false;
    int integerPlace = 0;
    int fractionPlace = 0;
    bool afterPoint = false;
    auto writeDigit = [&](int j) {
        out += QChar::fromLatin1(digits[j]);
        digitWritten = true;
        const int left = width - 1 - j;
        if (grouping && left > 0 && left % 3 == 0)
            out += FormatSettings::ThousandSeparator;
    };

    const QString& text = s.Text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = text.indexOf(c, i + 1);
            out += text.mid(i + 1, (end < 0 ? text.size() : end) - i - 1);
            i = end < 0 ? text.size() : end;
        } else if (c == u'0' || c == u'#') {
            placeReached = true;
            if (!afterPoint) {
                const int j = integerPlace + extra;
                if (integerPlace == 0) {
                    for (int k = 0; k < j; ++k)
                        writeDigit(k);
                }
                if (j >= 0)
                    writeDigit(j);
                ++integerPlace;
            } else {
                if (fractionPlace < fractionShown) {
                    out += QChar::fromLatin1(fraction[fractionPlace]);
                    digitWritten = true;
                }
                ++fractionPlace;
            }
        } else if (c == u'.') {
            if (!afterPoint) {
                // A picture without integer places (".00") still shows the
                // integer digits of a number of one or more.
                if (s.IntegerPlaces == 0) {
                    for (int k = 0; k < width; ++k)
                        writeDigit(k);
                }
                if (fractionShown > 0)
                    out += FormatSettings::DecimalSeparator;
            }
            afterPoint = true;
        } else if (c == u',') {
            // grouping switch, never written itself
        } else if (s.Scientific && IsExponentAt(text, i)) {
            out += c;
            if (exponent < 0)
                out += u'-';
            else if (text[i + 1] == u'+')
                out += u'+';
            i += 2;
            int zeros = 0;
            while (i < text.size() && text[i] == u'0' && zeros < 4) {
                ++zeros;
                ++i;
            }
            --i;
            out += QString::number(std::abs(exponent)).rightJustified(std::max(zeros, 1), u'0');
            digitWritten = true;
        } else if (!placeReached || digitWritten) {
            // Literals ahead of the number (a currency sign, a bracket) are always
            // written; inside it only once a digit stands before them, so the
            // blanks of '### ##0' vanish for short numbers.
            out += c;
        }
    }
    return out;
}

// ---------------------------------------------------------------- dates

const char16_t* const LongMonthNames[12] = {u"януари",    u"февруари", u"март",    u"април",
                                            u"май",       u"юни",      u"юли",     u"август",
                                            u"септември", u"октомври", u"ноември", u"декември"};
const char16_t* const ShortMonthNames[12] = {u"яну", u"фев", u"мар", u"апр", u"май", u"юни",
                                             u"юли", u"авг", u"сеп", u"окт", u"ное", u"дек"};
// Sunday first, as the picture language counts days.
const char16_t* const LongDayNames[7] = {u"неделя",    u"понеделник", u"вторник", u"сряда",
                                         u"четвъртък", u"петък",      u"събота"};
const char16_t* const ShortDayNames[7] = {u"нд", u"пн", u"вт", u"ср", u"чт", u"пт", u"сб"};

const QString LongDateFormat = QStringLiteral("d mmmm yyyy");

QString Number(int value, int width) {
    return QString::number(value).rightJustified(width, u'0');
}

bool StartsWithNoCase(const QString& text, qsizetype i, QStringView what) {
    return text.mid(i, what.size()).compare(what, Qt::CaseInsensitive) == 0;
}

qsizetype RunLength(const QString& text, qsizetype i) {
    const QChar lower = text[i].toLower();
    qsizetype n = 0;
    while (i + n < text.size() && text[i + n].toLower() == lower)
        ++n;
    return n;
}

bool HasAmPm(const QString& picture) {
    for (qsizetype i = 0; i < picture.size(); ++i) {
        const QChar c = picture[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = picture.indexOf(c, i + 1);
            i = end < 0 ? picture.size() : end;
        } else if (StartsWithNoCase(picture, i, u"am/pm") || StartsWithNoCase(picture, i, u"a/p") ||
                   StartsWithNoCase(picture, i, u"ampm")) {
            return true;
        }
    }
    return false;
}

void AppendDateTime(QString& out, const QString& picture, const QDateTime& value, int depth);

void AppendDateTime(QString& out, const QString& picture, const QDateTime& value, int depth) {
    // "c", "t" and "ddddd" expand to other pictures; guard against a format
    // setting that would expand into itself.
    if (depth > 2)
        return;
    const QDate date = value.date();
    const QTime time = value.time();
    const bool twelveHour = HasAmPm(picture);
    QChar lastLetter;
    for (qsizetype i = 0; i < picture.size();) {
        const QChar c = picture[i];
        const QChar lower = c.toLower();
        if (c == u'\'' || c == u'"') {
            const qsizetype end = picture.indexOf(c, i + 1);
            out += picture.mid(i + 1, (end < 0 ? picture.size() : end) - i - 1);
            i = end < 0 ? picture.size() : end + 1;
            continue;
        }
        if (lower == u'a') {
            const bool pm = time.hour() >= 12;
            if (StartsWithNoCase(picture, i, u"am/pm")) {
                const QString word = pm ? picture.mid(i + 3, 2) : picture.mid(i, 2);
                out += word;
                i += 5;
            } else if (StartsWithNoCase(picture, i, u"a/p")) {
                out += pm ? picture[i + 2] : picture[i];
                i += 3;
            } else if (StartsWithNoCase(picture, i, u"ampm")) {
                out += pm ? QStringLiteral("PM") : QStringLiteral("AM");
                i += 4;
            } else {
                out += c;
                ++i;
            }
            lastLetter = u'a';
            continue;
        }
        if (c == u'/') {
            out += FormatSettings::DateSeparator;
            ++i;
            continue;
        }
        if (c == u':') {
            out += FormatSettings::TimeSeparator;
            ++i;
            continue;
        }
        if (!c.isLetter()) {
            out += c;
            ++i;
            continue;
        }
        const qsizetype n = RunLength(picture, i);
        qsizetype used = n;
        QChar token = lower;
        if (token == u'm' && lastLetter == u'h' && n <= 2)
            token = u'n';
        switch (token.unicode()) {
        case u'd':
            if (n <= 2) {
                out += Number(date.day(), static_cast<int>(n));
            } else if (n == 3) {
                out += QString::fromUtf16(ShortDayNames[date.dayOfWeek() % 7]);
            } else if (n == 4) {
                out += QString::fromUtf16(LongDayNames[date.dayOfWeek() % 7]);
            } else if (n == 5) {
                AppendDateTime(out, FormatSettings::ShortDateFormat, value, depth + 1);
            } else {
                used = 6;
                AppendDateTime(out, LongDateFormat, value, depth + 1);
            }
            break;
        case u'm':
            if (n <= 2) {
                out += Number(date.month(), static_cast<int>(n));
            } else if (n == 3) {
                out += QString::fromUtf16(ShortMonthNames[date.month() - 1]);
            } else {
                used = 4;
                out += QString::fromUtf16(LongMonthNames[date.month() - 1]);
            }
            break;
        case u'y':
            if (n <= 2)
                out += Number(date.year() % 100, 2);
            else
                out += Number(date.year(), 4);
            used = n <= 2 ? n : std::min<qsizetype>(n, 4);
            break;
        case u'h': {
            used = std::min<qsizetype>(n, 2);
            int hour = time.hour();
            if (twelveHour) {
                hour %= 12;
                if (hour == 0)
                    hour = 12;
            }
            out += Number(hour, static_cast<int>(used));
            break;
        }
        case u'n':
            used = std::min<qsizetype>(n, 2);
            out += Number(time.minute(), static_cast<int>(used));
            break;
        case u's':
            used = std::min<qsizetype>(n, 2);
            out += Number(time.second(), static_cast<int>(used));
            break;
        case u'z':
            used = n >= 3 ? 3 : 1;
            out += Number(time.msec(), used == 3 ? 3 : 1);
            break;
        case u'c':
            used = 1;
            AppendDateTime(out, FormatSettings::ShortDateFormat, value, depth + 1);
            if (time != QTime(0, 0)) {
                out += u' ';
                AppendDateTime(out, FormatSettings::LongTimeFormat, value, depth + 1);
            }
            break;
        case u't':
            used = std::min<qsizetype>(n, 2);
            AppendDateTime(
                out, used == 1 ? FormatSettings::ShortTimeFormat : FormatSettings::LongTimeFormat,
                value, depth + 1);
            break;
        default:
            // Letters without a meaning are written as they stand.
            out += picture.mid(i, n);
            break;
        }
        lastLetter = lower;
        i += used;
    }
}

} // namespace

QString FormatFloatPicture(const QString& picture, double value) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const QStringList sections = SplitSections(picture);
    if (picture.isEmpty())
        return GeneralFloatText(value);

    const Decimal decimal = ShortestDecimal(value);
    const bool negative = decimal.Negative && !decimal.IsZero();

    // A negative value uses the second section when there is one; that section
    // carries its own sign (brackets, a minus) so none is added.
    int index = 0;
    if (negative && sections.size() > 1 && !sections[1].isEmpty())
        index = 1;
    NumberSection section = AnalyseSection(sections[index]);
    int exponent = 0;
    Decimal rounded = RoundForSection(section, decimal, exponent);

    // A value that rounds to zero uses the third section when there is one.
    if (rounded.IsZero() && sections.size() > 2 && !sections[2].isEmpty()) {
        section = AnalyseSection(sections[2]);
        rounded = RoundForSection(section, Decimal(), exponent);
        return FormatSection(section, rounded, exponent, false);
    }
    const bool minus = index == 0 && negative && !rounded.IsZero();
    return FormatSection(section, rounded, exponent, minus);
}

QString FormatDateTimePicture(const QString& picture, const QDateTime& value) {
    if (!value.isValid())
        return QString();
    QString out;
    AppendDateTime(out, picture, value, 0);
    return out;
}

QString DateText(const QDate& date) {
    if (!date.isValid())
        return QString();
    return Number(date.day(), 2) + FormatSettings::DateSeparator + Number(date.month(), 2) +
           FormatSettings::DateSeparator + Number(date.year(), 4);
}

QString TimeText(const QTime& time) {
    if (!time.isValid())
        return QString();
    return Number(time.hour(), 2) + FormatSettings::TimeSeparator + Number(time.minute(), 2);
}

QString DateTimeText(const QDateTime& value) {
    if (!value.isValid())
        return QString();
    QString text = DateText(value.date());
    if (value.time() != QTime(0, 0))
        text += u' ' + TimeText(value.time());
    return text;
}

QString ShortestFloatText(double value) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    // Up to 17 digits are exact in a double, so integers that long stay fixed.
    return GeneralText(ShortestDecimal(value), 17);
}

QString GeneralFloatText(double value, int precision) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    precision = std::clamp(precision, 1, 17);
    Decimal d = ShortestDecimal(value);
    RoundDigits(d, precision);
    return GeneralText(d, precision);
}
