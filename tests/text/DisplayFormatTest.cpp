// The picture languages of display formats and the texts shown without one.

#include "DisplayFormat.h"
#include "QStringPrinter.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

TEST(DisplayFormat, NumberPictures) {
    struct Row {
        const char16_t* Picture;
        double Value;
        std::u16string Expected;
    };
    const Row rows[] = {
        // Unquoted blanks inside the number appear only after a digit.
        {u"### ### ##0.00", 1234567.5, u"1 234 567.50"},
        {u"### ### ##0.00", 5, u"5.00"},
        {u"#,##0.00", 1234567.891, u"1,234,567.89"},
        {u"#,##0.00", -1234.5, u"-1,234.50"},
        // Rounding starts from the typed decimal, not its binary neighbour below.
        {u"0.00", 2.675, u"2.68"},
        {u"0.00", -2.675, u"-2.68"},
        // Half away from zero, not to even.
        {u"0", 2.5, u"3"},
        {u"0", -0.5, u"-1"},
        {u"0.00", 0.995, u"1.00"}, // carry into the integer part
        // A negative value that rounds to zero loses its sign.
        {u"0.00", -0.001, u"0.00"},
        {u"#.##", 0.5, u".5"},
        {u"0.##", 5, u"5"}, // no digits after the point, no point
        {u"0.0#", 5.123, u"5.12"},
        {u"0.0#", 5.1, u"5.1"},
        {u"000", 5, u"005"},
        {u"#", 0, u""},                          // nothing significant to write
        {u"0", 123456789012.0, u"123456789012"}, // digits beyond the places
        {u"#,##0", 1e15, u"1,000,000,000,000,000"},
        {u".00", 12.5, u"12.50"},
        {u"0.00E+00", 1234.5, u"1.23E+03"},
        {u"0.00E+00", 0.000123, u"1.23E-04"},
        {u"0.00E-00", 1234.5, u"1.23E03"}, // "E-" writes only a minus
        {u"0.00e+0", 0, u"0.00e+0"},
        {u"00.0E+0", 1234.5, u"12.3E+2"},
        {u"0.00E+00", 9.999, u"1.00E+01"}, // the carry moves the exponent
        {u"0", 1e300, u"1" + std::u16string(300, u'0')},
        // Sections: positive; negative (own sign); zero.
        {u"#,##0.00;(#,##0.00)", -1234.5, u"(1,234.50)"},
        {u"#,##0.00;(#,##0.00)", 1234.5, u"1,234.50"},
        {u"0.00;(0.00);\"нула\"", 0, u"нула"},
        {u"0.00;(0.00);\"нула\"", -0.001, u"нула"}, // zero after rounding
        {u"0.00;;'нула'", -5, u"-5.00"},            // empty section: the first one
        {u"$#,##0", 1234, u"$1,234"},               // a prefix literal is written
        {u"0.00 \"лв.\"", 5, u"5.00 лв."},
        {u"0.00 'a;b'", 1, u"1.00 a;b"}, // ";" inside quotes is no section break
        {u"", 3.5, u"3.5"},              // no picture: general form
    };
    for (const Row& r : rows) {
        const QString picture = QString::fromUtf16(r.Picture);
        EXPECT_EQ(FormatFloatPicture(picture, r.Value), QString::fromStdU16String(r.Expected))
            << picture.toStdString() << " " << r.Value;
    }
    EXPECT_EQ(FormatFloatPicture(QStringLiteral("0.00"), std::numeric_limits<double>::infinity()),
              QStringLiteral("INF"));
}

TEST(DisplayFormat, DateTimePictures) {
    const QDateTime afternoon(QDate(2024, 3, 5), QTime(14, 7, 9, 45)); // a Tuesday
    const QDateTime midnight(QDate(2024, 3, 5), QTime(0, 0));
    const QDateTime halfPastMidnight(QDate(2024, 12, 1), QTime(0, 30)); // a Sunday
    struct Row {
        const char16_t* Picture;
        QDateTime Value;
        const char16_t* Expected;
    };
    const Row rows[] = {
        {u"dd/mm/yyyy", afternoon, u"05.03.2024"}, // "/" is the program's "."
        {u"d/m/yy", afternoon, u"5.3.24"},
        {u"hh:mm", afternoon, u"14:07"}, // "mm" after an hour is minutes
        {u"dd mm", afternoon, u"05 03"}, // ... elsewhere the month
        {u"hh:nn:ss", afternoon, u"14:07:09"},
        {u"h:nn am/pm", afternoon, u"2:07 pm"},
        {u"h:nn AM/PM", afternoon, u"2:07 PM"}, // case follows the picture
        {u"h:nn a/p", afternoon, u"2:07 p"},
        {u"hh:nn ampm", afternoon, u"02:07 PM"},
        {u"h am/pm", halfPastMidnight, u"12 am"}, // hour 0 is 12 on a 12-hour clock
        {u"ddd dddd", afternoon, u"вт вторник"},
        {u"dddd", halfPastMidnight, u"неделя"}, // Sunday
        {u"mmm mmmm", afternoon, u"мар март"},
        {u"mmmm", halfPastMidnight, u"декември"},
        {u"c", afternoon, u"05.03.2024 14:07"},
        {u"c", midnight, u"05.03.2024"}, // no time at midnight
        {u"t", afternoon, u"14:07"},
        {u"zzz", afternoon, u"045"},
        {u"z", afternoon, u"45"},
        {u"\"Дата: \"dd.mm", afternoon, u"Дата: 05.03"},
        {u"'hh' hh", afternoon, u"hh 14"},
        {u"yyyy-mm-dd", afternoon, u"2024-03-05"},
    };
    for (const Row& r : rows) {
        const QString picture = QString::fromUtf16(r.Picture);
        EXPECT_EQ(FormatDateTimePicture(picture, r.Value), QString::fromUtf16(r.Expected))
            << picture.toStdString();
    }
    EXPECT_EQ(FormatDateTimePicture(QStringLiteral("c"), QDateTime()), QString());
}

TEST(DisplayFormat, TextsWithoutAPicture) {
    EXPECT_EQ(DateText(QDate(2024, 3, 5)), QStringLiteral("05.03.2024"));
    EXPECT_EQ(TimeText(QTime(9, 5, 59)), QStringLiteral("09:05"));
    EXPECT_EQ(DateTimeText(QDateTime(QDate(2024, 3, 5), QTime(0, 0))),
              QStringLiteral("05.03.2024"));
    EXPECT_EQ(DateTimeText(QDateTime(QDate(2024, 3, 5), QTime(14, 7))),
              QStringLiteral("05.03.2024 14:07"));
    EXPECT_EQ(DateText(QDate()), QString());
}

TEST(DisplayFormat, FloatTexts) {
    struct Row {
        double Value;
        const char* Shortest;
        const char* General;
    };
    const Row rows[] = {
        {0.1, "0.1", "0.1"},
        {0.1 + 0.2, "0.30000000000000004", "0.3"}, // 15 digits hide the binary error
        {1.0 / 3, "0.3333333333333333", "0.333333333333333"},
        {2.0 / 3, "0.6666666666666666", "0.666666666666667"}, // rounded, not cut
        {3.5, "3.5", "3.5"},
        {-0.0, "0", "0"},
        {1e-20, "1E-20", "1E-20"},
        {-1.5e-7, "-1.5E-7", "-1.5E-7"},
        {0.0001, "0.0001", "0.0001"}, // the smallest fixed form
        {0.00001, "1E-5", "1E-5"},
        {123456789012345.0, "123456789012345", "123456789012345"},
        {1e15, "1000000000000000", "1E15"}, // 16 integer digits exceed 15
        {1e20, "1E20", "1E20"},
        {9007199254740993.0, "9007199254740992", "9.00719925474099E15"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ShortestFloatText(r.Value), QLatin1String(r.Shortest)) << r.Value;
        EXPECT_EQ(GeneralFloatText(r.Value), QLatin1String(r.General)) << r.Value;
    }
}
