#include "DecimalDigits_p.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace DecimalDigits {

namespace {

void TrimDigits(Decimal& d) {
    while (!d.Digits.empty() && d.Digits.back() == '0')
        d.Digits.pop_back();
    std::size_t lead = 0;
    while (lead < d.Digits.size() && d.Digits[lead] == '0')
        ++lead;
    if (lead > 0) {
        d.Digits.erase(0, lead);
        d.Exponent -= static_cast<int>(lead);
    }
    if (d.Digits.empty())
        d.Exponent = 0;
}

// Reads the "d.ddde+XX" text of std::to_chars.
Decimal FromScientific(const char* begin, const char* end, bool negative) {
    Decimal d;
    d.Negative = negative;
    const std::string text(begin, end);
    const std::size_t e = text.find('e');
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] != '.')
            d.Digits.push_back(text[i]);
    }
    d.Exponent = std::atoi(text.c_str() + e + 1) + 1;
    TrimDigits(d);
    return d;
}

} // namespace

Decimal ShortestDecimal(double value) {
    if (value == 0 || !std::isfinite(value)) {
        Decimal d;
        d.Negative = std::signbit(value);
        return d;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific);
    return FromScientific(buffer, result.ptr, value < 0);
}

Decimal LongDoubleDecimal(long double value, int significant) {
    if (value == 0 || !std::isfinite(value)) {
        Decimal d;
        d.Negative = std::signbit(value);
        return d;
    }
    significant = std::clamp(significant, 1, 30);
    char buffer[80];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific, significant - 1);
    return FromScientific(buffer, result.ptr, value < 0);
}

void RoundDigits(Decimal& d, int keep) {
    if (d.IsZero() || keep >= static_cast<int>(d.Digits.size()))
        return;
    if (keep < 0) {
        d.Digits.clear();
        d.Exponent = 0;
        return;
    }
    // The sign is kept apart, so rounding the magnitude up is away from zero.
    const bool up = d.Digits[keep] >= '5';
    d.Digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.Digits[i] == '9') {
            d.Digits[i] = '0';
            --i;
        }
        if (i >= 0) {
            ++d.Digits[i];
        } else {
            d.Digits.insert(d.Digits.begin(), '1');
            ++d.Exponent;
        }
    }
    TrimDigits(d);
}

void RoundToDecimals(Decimal& d, int decimals) {
    RoundDigits(d, d.Exponent + decimals);
}

std::string IntegerDigits(const Decimal& d) {
    if (d.Exponent <= 0)
        return {};
    std::string s = d.Digits.substr(0, std::min<std::size_t>(d.Digits.size(), d.Exponent));
    s.append(d.Exponent - s.size(), '0');
    return s;
}

std::string FractionDigits(const Decimal& d, int count) {
    std::string s;
    for (int j = 0; j < count; ++j) {
        const int i = d.Exponent + j;
        s.push_back(i >= 0 && i < static_cast<int>(d.Digits.size()) ? d.Digits[i] : '0');
    }
    return s;
}

} // namespace DecimalDigits
