#include "TextRoutines.h"

#include "DecimalDigits_p.h"
#include "Win1251.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

bool AllowZeroCodes = false;
bool AllowBareChars = false;
std::uint16_t LiteralLength = 0;

namespace {

// A character code has at most this many digits (leading zeros included).
constexpr std::size_t MaxCodeDigits = 31;

void RemoveChars(char* buffer, std::size_t index, std::size_t count) {
    const std::size_t tail = std::strlen(buffer + index);
    if (count < tail)
        std::memmove(buffer + index, buffer + index + count, tail - count + 1);
    else
        buffer[index] = '\0';
}

// The scanner proper. Positions are kept at full width, so a text longer than
// the 16-bit LiteralLength still yields all of its bytes.
bool ScanLiteral(char* buffer, std::size_t& length) {
    std::size_t i = 0;
    bool outside = true;
    for (;;) {
        const char x = buffer[i];
        if (x == '\0') {
            length = i;
            return outside;
        }
        if (x == ' ' || x == '\t') {
            if (outside)
                RemoveChars(buffer, i, 1);
            else
                ++i;
        } else if (x == '\'') {
            RemoveChars(buffer, i, 1);
            if (outside) {
                outside = false;
            } else if (buffer[i] == '\'') {
                ++i; // a doubled apostrophe stands for one
            } else {
                outside = true;
            }
        } else if (x == '#' && outside) {
            std::size_t digits = 0;
            while (buffer[i + 1 + digits] >= '0' && buffer[i + 1 + digits] <= '9')
                ++digits;
            std::uint64_t code = 0;
            bool valid = digits > 0 && digits <= MaxCodeDigits;
            for (std::size_t k = 0; valid && k < digits; ++k) {
                code = code * 10 + static_cast<unsigned>(buffer[i + 1 + k] - '0');
                valid = code <= 2147483647u;
            }
            if (!valid || ((code & 0xFF) == 0 && !AllowZeroCodes)) {
                length = i;
                return false;
            }
            buffer[i] = static_cast<char>(code & 0xFF);
            RemoveChars(buffer, i + 1, digits);
            ++i;
        } else if (x == '^' && outside) {
            // At the very end the "following character" is the terminator:
            // the result is 0 xor 64, and cutting at i + 1 changes nothing.
            unsigned char next = static_cast<unsigned char>(buffer[i + 1]);
            if (next >= 'a' && next <= 'z')
                next = static_cast<unsigned char>(next - 'a' + 'A');
            buffer[i] = static_cast<char>(next ^ 64);
            RemoveChars(buffer, i + 1, 1);
            ++i;
        } else if (!outside || AllowBareChars) {
            ++i;
        } else {
            length = i;
            return false;
        }
    }
}

// Digits, "." and an exponent, as a decimal floating-point conversion reads
// them; independent of the C locale.
bool ReadDouble(const QString& text, double& value) {
    const QByteArray bytes = text.toLatin1();
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    const char* q = p;
    if (q < end && (*q == '-' || *q == '+'))
        ++q;
    int mantissaDigits = 0;
    while (q < end && *q >= '0' && *q <= '9') {
        ++q;
        ++mantissaDigits;
    }
    if (q < end && *q == '.') {
        ++q;
        while (q < end && *q >= '0' && *q <= '9') {
            ++q;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (q < end && (*q == 'e' || *q == 'E')) {
        ++q;
        if (q < end && (*q == '-' || *q == '+'))
            ++q;
        const char* digits = q;
        while (q < end && *q >= '0' && *q <= '9')
            ++q;
        if (q == digits)
            return false;
    }
    if (q != end)
        return false;
    // from_chars takes no "+" and reads the rest in one go.
    if (*p == '+')
        ++p;
    const auto result = std::from_chars(p, end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

} // namespace

bool ScanStringLiteral(char* buffer) {
    std::size_t length = 0;
    const bool ok = ScanLiteral(buffer, length);
    LiteralLength = static_cast<std::uint16_t>(length);
    return ok;
}

void DeleteChars(char* buffer, std::uint16_t index, std::uint16_t count) {
    RemoveChars(buffer, index, count);
}

QByteArray ParseStringLiteral(const QString& text) {
    const QByteArray encoded = Win1251::Encode(text);
    std::vector<char> buffer(encoded.constData(), encoded.constData() + encoded.size());
    buffer.push_back('\0');
    std::size_t length = 0;
    AllowZeroCodes = true;
    const bool ok = ScanLiteral(buffer.data(), length);
    AllowZeroCodes = false;
    LiteralLength = static_cast<std::uint16_t>(length);
    if (!ok)
        throw Exception(QStringLiteral("Invalid string:  ") + text);
    return QByteArray(buffer.data(), static_cast<qsizetype>(length));
}

double ParseFloatText(const QString& text) {
    QString s = text;
    // The last "," or "." is the decimal point, whatever groups the digits.
    const qsizetype point = std::max(s.lastIndexOf(u','), s.lastIndexOf(u'.'));
    if (point >= 0)
        s[point] = u'i';
    const qsizetype minus = s.indexOf(u'-');
    if (minus >= 0)
        s[minus] = u'm';
    s = StripPunctuation(s);
    ReplaceChar(s, u'i', u'.');
    ReplaceChar(s, u'm', u'-');
    if (s.isEmpty())
        s = QStringLiteral("0");
    double value = 0;
    if (!ReadDouble(s, value))
        throw EConvertError(u'"' + s + QStringLiteral("\" is not a valid numeric value."));
    return value;
}

std::int32_t ParseIntText(const QString& text) {
    QString s = TrimText(text);
    if (s.isEmpty())
        s = QStringLiteral("0");
    qsizetype i = 0;
    bool negative = false;
    if (s[0] == u'-' || s[0] == u'+') {
        negative = s[0] == u'-';
        ++i;
    }
    std::int64_t value = 0;
    bool valid = i < s.size();
    for (; valid && i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        valid = c >= u'0' && c <= u'9';
        if (valid) {
            value = value * 10 + (c - u'0');
            valid = value <= std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
        }
    }
    if (negative)
        value = -value;
    if (!valid || value > std::numeric_limits<std::int32_t>::max())
        throw EConvertError(u'"' + s + QStringLiteral("\" is not a valid numeric value"));
    return static_cast<std::int32_t>(value);
}

QString FormatByMask(const QString& mask, long double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    const qsizetype point = mask.indexOf(u'.');
    const QString intMask = point < 0 ? mask : mask.left(point);
    QString fracMask = point < 0 ? QString() : mask.mid(point + 1, 31);
    int d = static_cast<int>(fracMask.size());

    // Half away from zero, with a bias of a millionth of the last kept unit so
    // that a binary value just below a half still rounds up.
    const long double scale = std::pow(10.0L, d);
    long double scaled = value * scale;
    scaled += value < 0 ? -0.500001L : 0.500001L;
    long double rounded = std::trunc(scaled) / scale;
    if (!std::isfinite(rounded))
        rounded = value; // beyond any decimals the long double can hold

    // Fixed notation with exactly d decimals. Only the first 18 significant
    // digits are real in a long double; the rest would be binary noise.
    DecimalDigits::Decimal dec = DecimalDigits::LongDoubleDecimal(rounded, 18);
    DecimalDigits::RoundToDecimals(dec, d);
    QString text;
    if (dec.Negative && !dec.IsZero())
        text += u'-';
    const std::string intDigits = DecimalDigits::IntegerDigits(dec);
    text += intDigits.empty() ? QStringLiteral("0") : QString::fromLatin1(intDigits);
    if (d > 0)
        text += u'.' + QString::fromLatin1(DecimalDigits::FractionDigits(dec, d));

    while (d > 0 && text.endsWith(u'0') && fracMask.endsWith(u'#')) {
        text.chop(1);
        fracMask.chop(1);
        --d;
    }
    if (text.endsWith(u'.'))
        text.chop(1);
    const bool negative = text.startsWith(u'-');
    if (negative)
        text.remove(0, 1);

    const qsizetype textPoint = text.indexOf(u'.');
    const QString intText = textPoint < 0 ? text : text.left(textPoint);
    const QString fracText = textPoint < 0 ? QString() : text.mid(textPoint);

    // Walk mask and digits from the right; grouping characters go in between.
    QString out;
    qsizetype mi = intMask.size() - 1;
    qsizetype ti = intText.size() - 1;
    while (ti >= 0 && mi >= 0) {
        const QChar m = intMask[mi--];
        if (m == u'#' || (m >= u'0' && m <= u'9'))
            out.prepend(intText[ti--]);
        else
            out.prepend(m);
    }
    if (ti >= 0) {
        out.prepend(intText.left(ti + 1));
    } else if (mi >= 0) {
        // The places the number did not reach: "0" places become leading
        // zeros, "#" places and grouping before the first digit vanish.
        QString left = intMask.left(mi + 1);
        while (!left.isEmpty() && !(left[0] >= u'0' && left[0] <= u'9'))
            left.remove(0, 1);
        // A "#" behind a leading "0" would otherwise stand in the number.
        ReplaceChar(left, u'#', u'0');
        out.prepend(left);
    }
    out += fracText;
    if (negative)
        out.prepend(u'-');
    return out;
}

void PadLeft(QString& text, int width, QChar fill) {
    width = std::max(width, 0);
    if (text.size() >= width)
        text.truncate(width);
    else
        text = QString(width - text.size(), fill) + text;
}

void PadRight(QString& text, int width, QChar fill) {
    width = std::max(width, 0);
    if (text.size() >= width)
        text.truncate(width);
    else
        text += QString(width - text.size(), fill);
}

void PadCenter(QString& text, int width, QChar fill) {
    width = std::max(width, 0);
    if (text.size() >= width) {
        text.truncate(width);
        return;
    }
    const qsizetype missing = width - text.size();
    const qsizetype left = missing / 2;
    text = QString(left, fill) + text + QString(missing - left, fill);
}

QString StripPunctuation(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool punctuation = (u >= 32 && u <= 47) || (u >= 58 && u <= 63) ||
                                 (u >= 91 && u <= 94) || (u >= 123 && u <= 126);
        if (!punctuation)
            out += c;
    }
    return out;
}

void ReplaceChar(QString& text, QChar from, QChar to) {
    text.replace(from, to);
}

void EscapeControlChars(QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\t':
            out += QStringLiteral("\\-");
            break;
        case u'\n':
            out += QStringLiteral("\\_");
            break;
        case u'\r':
            out += QStringLiteral("\\.");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        default:
            out += c;
        }
    }
    text = out;
}

int BestPrefixMatch(const QStringList& items, const QString& text) {
    const QString wanted = text.toUpper();
    int best = 0;
    int bestCount = 0;
    for (int i = 0; i < items.size(); ++i) {
        const QString item = items[i].toUpper();
        const int limit = IntMin(static_cast<int>(item.size()), static_cast<int>(wanted.size()));
        int count = 0;
        while (count < limit && item[count] == wanted[count])
            ++count;
        if (count > bestCount) {
            best = i;
            bestCount = count;
        }
    }
    return best;
}

void TildeToPercent(QString& text) {
    ReplaceChar(text, u'~', u'%');
}

bool IsExpression(const QString& colName) {
    for (const QChar c : colName) {
        switch (c.unicode()) {
        case u'(':
        case u')':
        case u'*':
        case u'+':
        case u'-':
        case u'.':
        case u'/':
        case u'|':
            return true;
        default:
            break;
        }
    }
    return false;
}

QString TrimText(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

QString QuotedSql(const QString& value) {
    QString quoted = value;
    quoted.replace(u'\'', QStringLiteral("''"));
    return u'\'' + quoted + u'\'';
}

QStringList SplitTextLines(const QString& text) {
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            lines << line;
            line.clear();
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}
