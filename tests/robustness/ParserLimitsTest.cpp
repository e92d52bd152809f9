// Texts that the parsers of the program must refuse rather than overflow
// the stack on (thousands of conditions or brackets in a client-side
// filter), and filters the fuzzer found to crash.

#include "DataSet.h"
#include "Exception.h"

#include <QString>
#include <gtest/gtest.h>

namespace {

QString Repeat(const QString& piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

TEST(ParserLimits, DeeplyNestedFilterIsRefusedNotOverflowed) {
    TDataSet data;
    data.AddField(QStringLiteral("ID"), TFieldType::Integer);
    data.AddField(QStringLiteral("NAME"), TFieldType::String);
    for (int i = 1; i <= 3; ++i)
        data.AppendRow({i, QStringLiteral("n%1").arg(i)});
    data.Open();

    struct Case {
        const char* Why;
        QString Filter;
        int Rows; // visible rows, or -1 when the filter is refused
    };
    const Case cases[] = {
        // Each of these built a tree or a call chain a hundred thousand deep.
        {"brackets", Repeat(u"("_qs, 100000) + u"ID=1"_qs + Repeat(u")"_qs, 100000), -1},
        {"negations", Repeat(u"NOT "_qs, 100000) + u"ID=1"_qs, -1},
        {"a chain of conditions", u"ID=1"_qs + Repeat(u" OR ID=2"_qs, 100000), -1},
        // Within the limits a long filter still works: 200 brackets, an
        // even number of negations, 999 conditions.
        {"200 brackets", Repeat(u"("_qs, 200) + u"ID=1"_qs + Repeat(u")"_qs, 200), 1},
        {"negations within the limit", Repeat(u"NOT "_qs, 998) + u"ID<>1"_qs, 2},
        {"999 conditions", u"ID=3"_qs + Repeat(u" OR ID=2"_qs, 999), 2},
    };
    for (const Case& c : cases) {
        data.SetFiltered(false);
        bool refused = false;
        try {
            data.SetFilter(c.Filter);
            data.SetFiltered(true);
        } catch (const EDatabaseError&) {
            refused = true;
        }
        EXPECT_EQ(refused, c.Rows < 0) << c.Why;
        if (!refused) {
            EXPECT_EQ(data.RecordCount(), c.Rows) << c.Why;
        }
    }
    // The data set goes on with a sound filter.
    data.SetFilter(QStringLiteral("NAME='n2'"));
    data.SetFiltered(true);
    EXPECT_EQ(data.RecordCount(), 1);
}

TEST(ParserLimits, PrefixPatternWithALiteralOnTheLeftDoesNotCrash) {
    TDataSet data;
    data.AddField(QStringLiteral("ID"), TFieldType::Integer);
    for (int i = 1; i <= 3; ++i)
        data.AppendRow({i});
    data.Open();
    struct Case {
        const char* Filter;
        int Rows;
        const char* Why;
    };
    const Case cases[] = {
        // The left side is a number with no field behind it: its text "2"
        // begins with "2" and not with "3", whatever the row.
        {"2='2*'", 3, "a number that begins with the pattern"},
        {"2!='3*'", 3, "a number that does not"},
        {"2='3*'", 0, "and the equality that fails"},
        // A text literal on the left was always compared as text.
        {"'ab'='a*'", 3, "a text literal"},
    };
    for (const Case& c : cases) {
        data.SetFiltered(false);
        data.SetFilter(QString::fromUtf8(c.Filter));
        data.SetFiltered(true);
        EXPECT_EQ(data.RecordCount(), c.Rows) << c.Why;
    }
}

} // namespace
