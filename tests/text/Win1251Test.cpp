// The Windows-1251 code page: the bytes of saved files and printer texts.

#include "Win1251.h"
#include "QStringPrinter.h"

#include <gtest/gtest.h>

TEST(Win1251, EveryByteSurvivesARoundTrip) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    EXPECT_EQ(Win1251::Encode(Win1251::Decode(all)), all);
}

TEST(Win1251, CharactersOfTheUpperHalf) {
    struct Row {
        char16_t Unicode;
        unsigned char Code;
    };
    const Row rows[] = {
        {u'А', 0xC0}, // first capital of the contiguous Cyrillic run
        {u'я', 0xFF}, // last small letter
        {u'р', 0xF0}, // start of the 240-255 tail that the DOS conversion shifts
        {u'Ё', 0xA8}, // outside the run
        {u'ё', 0xB8},   {u'№', 0xB9}, {u'—', 0x97}, // em dash
        {u'–', 0x96},                               // en dash
        {u'„', 0x84},                               // low double quote
        {u'“', 0x93},   {u'«', 0xAB}, {u'€', 0x88},
        {u'Ѓ', 0x81},   // Macedonian letters share the page
        {0x00A0, 0xA0}, // no-break space
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Win1251::EncodeChar(QChar(r.Unicode)), r.Code) << int(r.Unicode);
        EXPECT_EQ(Win1251::DecodeChar(r.Code), QChar(r.Unicode)) << int(r.Code);
    }
}

TEST(Win1251, UnmappableCharactersBecomeQuestionMarks) {
    // é is Latin-1 but not 1251; the emoji is a surrogate pair yet one character.
    EXPECT_EQ(Win1251::Encode(QStringLiteral("aé\U0001F600б")), QByteArray("a??\xE1"));
}
