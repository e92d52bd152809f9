// Column totals: tolerant reading of every kind of value, the prompt for a
// value that is no number, and the message with its masks.

#include "ExportFixture.h"

#include "ColumnSum.h"

using namespace Qt::StringLiterals;

class ColumnSumTest : public ExportFixture {};

namespace {

QString SumMessage(const QString& label, const QString& sum, int rows, int nulls = 0) {
    QString text = u"Сбор на колона \""_s + label + u"\":   "_s + sum + u"\r\rБрой редове:   "_s +
                   QString::number(rows);
    if (nulls > 0)
        text += u"\r\rБрой <NULL> стойности:   "_s + QString::number(nulls);
    return text + u'\r';
}

} // namespace

TEST_F(ColumnSumTest, SumsAndMasks) {
    struct Case {
        TFieldType Type;
        QString Format;
        QVariantList Values;
        double Sum;
        QString Text;
        int Nulls;
    } cases[] = {
        // All NULL: 0, written by the integer or the float mask; every row empty.
        {TFieldType::Integer, QString(), {QVariant(), QVariant()}, 0, u"0"_s, 2},
        {TFieldType::Float, QString(), {QVariant(), QVariant(), QVariant()}, 0, u"0.00"_s, 3},
        // Float mask keeps two decimals at least, grouped by blanks.
        {TFieldType::Float, QString(), {1234567.0, 0.5}, 1234567.5, u"1 234 567.50"_s, 0},
        {TFieldType::Integer, QString(), {1234560, 7, QVariant()}, 1234567, u"1 234 567"_s, 1},
        // A display format replaces the mask, and groups only as far as it reaches.
        {TFieldType::Float, u"#,##0.00"_s, {1000.0, 234.5}, 1234.5, u"1,234.50"_s, 0},
        {TFieldType::Float, u"#,##0.00"_s, {1234567.5}, 1234567.5, u"1234,567.50"_s, 0},
        // Grouped texts of a text column: the last separator is the decimal point.
        {TFieldType::String,
         QString(),
         {u"1 234,50"_s, u"1.234,50"_s, u"  "_s},
         2469,
         u"2 469"_s,
         1},
        // A tiny negative number is taken as held, not through its exponent text.
        {TFieldType::Float, QString(), {-1.5e-20, 2.0}, 2.0, u"2.00"_s, 0},
    };
    for (const Case& c : cases) {
        TDataSet set;
        TField* field = set.AddField(u"V"_s, c.Type);
        field->SetDisplayLabel(u"Стойност"_s);
        field->SetDisplayFormat(c.Format);
        for (const QVariant& v : c.Values)
            set.AppendRow({v});
        set.Open();
        Messages.clear();
        EXPECT_DOUBLE_EQ(ShowColumnSum(&set, u"V"_s), c.Sum) << c.Text.toStdString();
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].Text,
                  SumMessage(u"Стойност"_s, c.Text, int(c.Values.size()), c.Nulls));
        EXPECT_EQ(Messages[0].Caption, u"Съобщение"_s);
        EXPECT_EQ(Messages[0].Style, MB_ICONINFORMATION);
    }
}

TEST_F(ColumnSumTest, ValueThatIsNoNumber) {
    TDataSet set;
    set.AddField(u"T"_s, TFieldType::String);
    for (const char* v : {"12", "abc", "3"})
        set.AppendRow({QString::fromLatin1(v)});
    set.Open();
    set.SetRecNo(3);
    const QString prompt =
        u"\"abc\" is not a valid numeric value.\rZero is assumed!\r\rPress [Cancel] to abort."_s;

    // OK: "abc" counts as 0 and the count goes on.
    Answers = {IDOK};
    EXPECT_DOUBLE_EQ(ShowColumnSum(&set, u"T"_s), 15);
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0].Text, prompt);
    EXPECT_EQ(Messages[0].Caption, u"Error"_s);
    EXPECT_EQ(Messages[0].Style, 49); // warning, OK/Cancel
    EXPECT_EQ(Messages[1].Text, SumMessage(u"T"_s, u"15"_s, 3));

    // Cancel: the count stops there, the partial sum is returned, not shown.
    Messages.clear();
    Answers = {IDCANCEL};
    EXPECT_DOUBLE_EQ(ShowColumnSum(&set, u"T"_s), 12);
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1].Text, SumMessage(u"T"_s, u"<n.a.>"_s, 3));
    EXPECT_EQ(set.RecNo(), 3); // back on the record it was on
    EXPECT_FALSE(set.ControlsDisabled());

    // A closed data set: nothing counted, nothing shown.
    Messages.clear();
    set.Close();
    EXPECT_DOUBLE_EQ(ShowColumnSum(&set, u"T"_s), 0);
    EXPECT_TRUE(Messages.empty());
    // A missing field is the data layer's error.
    EXPECT_THROW(ShowColumnSum(&set, u"Nope"_s), EDatabaseError);
}
