// Text routines: the printer-text literal format, tolerant number reading,
// mask formatting, padding and the small string routines.

#include "TextRoutines.h"
#include "QStringPrinter.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

QByteArray Bytes(const char* data, int size) {
    return QByteArray(data, size);
}

} // namespace

TEST(StringLiteral, ValidTexts) {
    struct Row {
        const char16_t* Text;
        QByteArray Expected;
    };
    const Row rows[] = {
        {u"", ""},                 // empty text, empty string
        {u" \t  ", ""},            // blanks outside quotes are nothing
        {u"'AB'#13#10", "AB\r\n"}, // run plus codes
        {u"#27'E'", "\x1b"
                    "E"},     // escape sequence for a printer
        {u"'It''s'", "It's"}, // doubled apostrophe inside a run
        {u"'a''b'", "a'b"},
        {u"'a b\t#^'", "a b\t#^"}, // inside quotes everything is literal
        {u"'ab'  'cd'", "abcd"},   // runs concatenate across blanks
        {u"#65 #66", "AB"},
        {u"#0", Bytes("\0", 1)},                    // zero codes are allowed here
        {u"#256", Bytes("\0", 1)},                  // only the low 8 bits count
        {u"#300", ","},                             // 300 mod 256 = 44
        {u"'A'#0'B'", Bytes("A\0B", 3)},            // a zero byte does not end the string
        {u"#2147483647", "\xFF"},                   // the largest code accepted
        {u"#0000000000000000000000000000065", "A"}, // 31 digits: still a code
        {u"^m", "\r"},                              // letters are upper-cased first
        {u"^M", "\r"},
        {u"^J", "\n"},
        {u"^[", "\x1b"},
        {u"^@", Bytes("\0", 1)},
        {u"^", "@"}, // at the end: 0 xor 64
        {u"'^M'", "^M"},
        {u"'Отчет'", "\xCE\xF2\xF7\xE5\xF2"}, // quoted Cyrillic goes out in 1251
    };
    for (const Row& r : rows) {
        const QString text = QString::fromUtf16(r.Text);
        EXPECT_EQ(ParseStringLiteral(text), r.Expected) << text.toStdString();
        EXPECT_EQ(LiteralLength, r.Expected.size()) << text.toStdString();
        EXPECT_FALSE(AllowZeroCodes) << "reset after the scan";
    }
}

TEST(StringLiteral, InvalidTexts) {
    const char16_t* rows[] = {
        u"'abc",  // unterminated run
        u"abc",   // bare characters
        u"'ab''", // the last apostrophe is doubled, so the run never ends
        u"'a'b",  // bare character after a run
        u"#",     // code without digits
        u"#x",
        u"#99999999999", // above 2147483647
        u"#2147483648",
        u"#00000000000000000000000000000065", // 32 digits
    };
    for (const char16_t* row : rows) {
        const QString text = QString::fromUtf16(row);
        try {
            ParseStringLiteral(text);
            ADD_FAILURE() << "accepted " << text.toStdString();
        } catch (const Exception& e) {
            // Two blanks after the colon, then the text as typed.
            EXPECT_EQ(e.message(), QStringLiteral("Invalid string:  ") + text);
        }
        EXPECT_FALSE(AllowZeroCodes);
    }
}

TEST(StringLiteral, ScannerStopsWhereTheTextGoesWrong) {
    struct Row {
        const char* Text;
        bool Ok;
        int Length; // denoted length, or where the scan stopped
    };
    const Row rows[] = {
        {"#0", false, 0},    // zero codes are refused unless allowed
        {"'A'#0", false, 1}, // position counts the rewritten buffer ("A#0")
        {"'ab'x", false, 2}, {"abc", false, 0}, {"'ab'#67", true, 3},
    };
    for (const Row& r : rows) {
        char buffer[32];
        std::strcpy(buffer, r.Text);
        EXPECT_EQ(ScanStringLiteral(buffer), r.Ok) << r.Text;
        EXPECT_EQ(LiteralLength, r.Length) << r.Text;
    }
    AllowBareChars = true;
    char bare[] = "ab 'c'";
    EXPECT_TRUE(ScanStringLiteral(bare));
    EXPECT_EQ(QByteArray(bare, LiteralLength), QByteArray("abc"));
    AllowBareChars = false;
}

TEST(StringLiteral, DeleteChars) {
    char a[] = "abcdef";
    DeleteChars(a, 2, 2);
    EXPECT_STREQ(a, "abef");
    char b[] = "abcdef";
    DeleteChars(b, 2, 10); // more than remain: cut at the index
    EXPECT_STREQ(b, "ab");
}

TEST(NumberText, ParseFloatText) {
    struct Row {
        const char16_t* Text;
        double Expected;
    };
    const Row rows[] = {
        {u"1 234,56", 1234.56}, // blank groups, comma decimal
        {u"1.234,56", 1234.56}, // dot groups, comma decimal
        {u"1,234.56", 1234.56}, // comma groups, dot decimal
        {u"1.234", 1.234},      // a lone separator is always the decimal point
        {u"1.2.3", 12.3},       // only the last one is
        {u"-5", -5},
        {u"- 5", -5},
        {u"(-5)", -5},
        {u"12%", 12},
        {u"1e3", 1000},
        {u"", 0},
        {u"   ", 0}, // nothing left after stripping
    };
    for (const Row& r : rows) {
        const QString text = QString::fromUtf16(r.Text);
        EXPECT_DOUBLE_EQ(ParseFloatText(text), r.Expected) << text.toStdString();
    }
    struct Bad {
        const char16_t* Text;
        const char16_t* Message; // names the transformed text, with a full stop
    };
    const Bad bad[] = {
        {u"abc", u"\"abc\" is not a valid numeric value."},
        {u"5-", u"\"5-\" is not a valid numeric value."},       // a sign only in front
        {u"1e999", u"\"1e999\" is not a valid numeric value."}, // out of range
    };
    for (const Bad& b : bad) {
        try {
            ParseFloatText(QString::fromUtf16(b.Text));
            ADD_FAILURE() << "accepted " << QString::fromUtf16(b.Text).toStdString();
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.message(), QString::fromUtf16(b.Message));
        }
    }
}

TEST(NumberText, ParseIntText) {
    struct Row {
        const char16_t* Text;
        std::int32_t Expected;
    };
    const Row rows[] = {
        {u" 42 ", 42},
        {u"\t-7\r\n", -7}, // control characters are trimmed too
        {u"", 0},
        {u"+3", 3},
        {u"2147483647", 2147483647},
        {u"-2147483648", -2147483647 - 1}, // the one value with no positive twin
    };
    for (const Row& r : rows)
        EXPECT_EQ(ParseIntText(QString::fromUtf16(r.Text)), r.Expected);
    struct Bad {
        const char16_t* Text;
        const char16_t* Message; // the trimmed text, no full stop
    };
    const Bad bad[] = {
        {u"2147483648", u"\"2147483648\" is not a valid numeric value"},
        {u"-2147483649", u"\"-2147483649\" is not a valid numeric value"},
        {u" 1 2 ", u"\"1 2\" is not a valid numeric value"},
        {u"1.5", u"\"1.5\" is not a valid numeric value"},
        {u"-", u"\"-\" is not a valid numeric value"},
    };
    for (const Bad& b : bad) {
        try {
            ParseIntText(QString::fromUtf16(b.Text));
            ADD_FAILURE() << "accepted " << QString::fromUtf16(b.Text).toStdString();
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.message(), QString::fromUtf16(b.Message));
        }
    }
}

TEST(NumberText, FormatByMask) {
    const QString money = QStringLiteral("### ### ##0.00##");
    const QString whole = QStringLiteral("### ### ##0");
    struct Row {
        QString Mask;
        long double Value;
        const char* Expected;
    };
    const Row rows[] = {
        {money, 1234567.5L, "1 234 567.50"}, // "0" decimals stay, "#" ones drop
        {money, 0.12345L, "0.1235"},         // four decimals, rounded up
        {money, 1234.56789L, "1 234.5679"},
        {money, -0.004L, "-0.004"},
        {money, 1.5L, "1.50"},
        {money, 2.25L, "2.25"},
        {whole, -1234.5L, "-1 235"},            // half away from zero
        {whole, 1234567890.0L, "1234 567 890"}, // the mask reaches nine digits
        {QStringLiteral("000"), 5, "005"},
        {QStringLiteral("000 000"), 1234, "001 234"}, // zeros and grouping on the left
        {QStringLiteral("#,##0"), 12345, "12,345"},
        {QStringLiteral("#,##0"), 5, "5"},
        {QStringLiteral("#,##0"), 0, "0"},
        // The bias of a millionth rounds binary values just below a half up...
        {QStringLiteral("0.00"), 2.675, "2.68"},
        {QStringLiteral("0.00"), 1.005, "1.01"},
        {QStringLiteral("0.00"), -2.675, "-2.68"},
        {QStringLiteral("0.00"), 0.125L, "0.13"},
        {QStringLiteral("0.00"), -0.125L, "-0.13"},
        // ... but not values clearly below it.
        {QStringLiteral("0"), 0.499998L, "0"},
        {QStringLiteral("0"), 0.4999995L, "1"},
        {QStringLiteral("0.00"), -0.001L, "0.00"}, // no "-0.00"
        {QStringLiteral("0.##"), 5, "5"},          // the point goes with its decimals
        {QStringLiteral(""), 1234.5L, "1235"},     // no mask: a rounded integer
        {QStringLiteral("0#0"), 5, "005"},         // no "#" left standing in the number
        {QStringLiteral("0"), 1e20L, "100000000000000000000"},
        {QStringLiteral("#,##0.00"), 1e20L, "100000000000000000,000.00"},      // one group only
        {QStringLiteral("0.00"), 12345678901234567.0, "12345678901234568.00"}, // the double's value
        {QStringLiteral("0.000"), 1e-10L, "0.000"},
        // 31 decimals at most; no binary noise in the last places.
        {QStringLiteral("0.") + QString(40, u'0'), 0.1L, "0.1000000000000000000000000000000"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(FormatByMask(r.Mask, r.Value), QLatin1String(r.Expected))
            << r.Mask.toStdString() << " " << static_cast<double>(r.Value);
    }
}

TEST(TextRoutines, Padding) {
    struct Row {
        void (*Pad)(QString&, int, QChar);
        const char* Text;
        int Width;
        char Fill;
        const char* Expected;
    };
    const Row rows[] = {
        {PadCenter, "ab", 5, ' ', " ab  "}, // the odd fill character goes right
        {PadCenter, "ab", 6, '*', "**ab**"},
        {PadLeft, "abcdef", 3, ' ', "abc"}, // too long: cut, even when right-justifying
        {PadRight, "abcdef", 3, ' ', "abc"},
        {PadCenter, "abcdef", 3, ' ', "abc"},
        {PadLeft, "7", 3, '0', "007"},
        {PadRight, "ab", 4, '.', "ab.."},
        {PadLeft, "ab", 0, ' ', ""},
        {PadRight, "ab", -1, ' ', ""}, // a negative width is no width
    };
    for (const Row& r : rows) {
        QString text = QLatin1String(r.Text);
        r.Pad(text, r.Width, QLatin1Char(r.Fill));
        EXPECT_EQ(text, QLatin1String(r.Expected)) << r.Text << " " << r.Width;
    }
}

TEST(TextRoutines, CharacterRoutines) {
    // Punctuation goes; "@", "_", "`", control characters and Cyrillic stay.
    EXPECT_EQ(StripPunctuation(QStringLiteral("A@_`\tЖ~{|}[\\]^!/:?,. -+5")),
              QStringLiteral("A@_`\tЖ5"));
    QString escaped = QStringLiteral("a\tb\nc\rd\\e");
    EscapeControlChars(escaped);
    EXPECT_EQ(escaped, QStringLiteral("a\\-b\\_c\\.d\\\\e"));
    QString like = QStringLiteral("~abc~");
    TildeToPercent(like);
    EXPECT_EQ(like, QStringLiteral("%abc%"));
    EXPECT_EQ(TrimText(QStringLiteral("\t x y \r\n")), QStringLiteral("x y"));
    EXPECT_EQ(QuotedSql(QStringLiteral("O'Brien")), QStringLiteral("'O''Brien'"));
}

TEST(TextRoutines, IsExpression) {
    EXPECT_FALSE(IsExpression(QStringLiteral("Name")));
    EXPECT_FALSE(IsExpression(QStringLiteral("Цена_1")));
    for (const char* e : {"a.b", "SUM(x)", "a*b", "a+b", "a-b", "a/b", "a||b"})
        EXPECT_TRUE(IsExpression(QLatin1String(e))) << e;
}

TEST(TextRoutines, BestPrefixMatch) {
    const QStringList items = {QStringLiteral("Име"), QStringLiteral("Имот"),
                               QStringLiteral("Град")};
    struct Row {
        const char16_t* Text;
        int Expected;
    };
    const Row rows[] = {
        {u"имо", 1},              // Cyrillic upper-casing makes the case irrelevant
        {u"ГРАД", 2}, {u"Им", 0}, // a tie goes to the first item
        {u"xyz", 0},              // nothing in common
        {u"", 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(BestPrefixMatch(items, QString::fromUtf16(r.Text)), r.Expected);
    EXPECT_EQ(BestPrefixMatch({}, QStringLiteral("a")), 0);
}
