#pragma once
// Decimal digit strings of floating-point values, shared by the picture
// formatter and the mask formatter: rounding happens on decimal digits, so a
// value is rounded as the decimal it stands for and not as its binary
// neighbour (2.675 rounds to 2.68).

#include <string>

namespace DecimalDigits {

// value = 0.Digits x 10^Exponent; Digits without leading or trailing zeros,
// empty for zero (then Exponent is 0).
struct Decimal {
    bool Negative = false;
    std::string Digits;
    int Exponent = 0;

    bool IsZero() const { return Digits.empty(); }
};

// The shortest decimal that reads back as the same double.
Decimal ShortestDecimal(double value);
// A long double to the given number of significant digits (at most 30).
// Both readers give zero for infinities and NaN; callers deal with those first.
Decimal LongDoubleDecimal(long double value, int significant);
// Keeps the first `keep` digits, rounding half away from zero.
void RoundDigits(Decimal& d, int keep);
// Rounds to `decimals` digits after the point, half away from zero.
void RoundToDecimals(Decimal& d, int decimals);
// The digits before the decimal point, without leading zeros ("" below one).
std::string IntegerDigits(const Decimal& d);
// The first `count` digits after the decimal point, zero-filled.
std::string FractionDigits(const Decimal& d, int count);

} // namespace DecimalDigits
