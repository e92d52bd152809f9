#include "SymbolFont.h"

#include <gtest/gtest.h>

namespace {

struct SymbolCase {
    QString Stored;
    QString Shown;
};

TEST(SymbolFont, MarksShowAsTheSymbolFontDrawsThem) {
    const SymbolCase cases[] = {
        // 0xD6 is the Symbol font's radical sign, used as the check mark.
        {QString(QChar(0xD6)), QStringLiteral("√")},
        // 0xB7 is its bullet.
        {QString(QChar(0xB7)), QStringLiteral("•")},
        // The same byte read through Windows-1251 arrives as Cyrillic Ц.
        {QStringLiteral("Ц"), QStringLiteral("√")},
        // Fonts map the Symbol code page into the private-use area F020-F0FF.
        {QString(QChar(0xF0D6)), QStringLiteral("√")},
        // Latin letters are Greek in the Symbol font.
        {QStringLiteral("ab"), QStringLiteral("αβ")},
        // Digits, blanks and the empty mark stay as they are.
        {QStringLiteral(" 1"), QStringLiteral(" 1")},
        {QString(), QString()},
        // 0x80 has no glyph in the font: left unchanged rather than dropped.
        {QString(QChar(0x80)), QString(QChar(0x80))},
        // A character that is already Unicode outside both ranges stays.
        {QStringLiteral("√"), QStringLiteral("√")},
    };
    for (const SymbolCase& c : cases)
        EXPECT_EQ(SymbolTextToUnicode(c.Stored), c.Shown) << c.Stored.toStdString();
}

TEST(SymbolFont, EveryDefinedCodeMapsOutsideTheLatinRange) {
    // Upper-half glyphs of the font are all mathematical or typographic
    // signs; none may fall back to the Latin-1 letter of the same code,
    // which is what the user would see with the font missing.
    for (char32_t code = 0xA1; code <= 0xFE; ++code) {
        if (code == 0xF0)
            continue; // empty in the font
        if (code == 0xB0 || code == 0xB1)
            continue; // degree and plus-minus sit at the same codes in Latin-1
        const char32_t shown = SymbolCharToUnicode(code);
        EXPECT_NE(shown, code) << std::hex << unsigned(code);
    }
}

} // namespace
