// The quick paths of the database layer give exactly what the general ones
// give: date literals compared through an index range, dates and numbers
// shown without the general routines or the local zone, the data source
// formatting only the cells asked for.

#include "DataSource.h"
#include "DbValues.h"
#include "DisplayFormat.h"
#include "SqlDialect.h"
#include "SqlFixture.h"

#include <QRandomGenerator>

#include <cstdlib>
#include <ctime>

namespace {

bool NoVariables(const QString&) {
    return false;
}

// Switches the process to a time zone for the life of the object.
class TZoneSwitch {
public:
    explicit TZoneSwitch(const char* zone)
        : Old(qgetenv("TZ")), HadOld(qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~TZoneSwitch() {
        if (HadOld)
            qputenv("TZ", Old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray Old;
    bool HadOld;
};

} // namespace

class DateLiterals : public SqlFixture {
protected:
    void SetUp() override {
        SqlFixture::SetUp();
        // Values around 01.02.2005 in every stored form, and the kinds that
        // are no ISO date at all.
        Exec(u"CREATE TABLE D(N INTEGER PRIMARY KEY, V DATETIME)"_s);
        Exec(u"CREATE INDEX DByV ON D(V)"_s);
        Exec(u"INSERT INTO D(V) VALUES ('2005-01-31'), ('2005-01-31 23:59:59.999'), "
             "('2005-02-01'), ('2005-02-01 00:00:00'), ('2005-02-01 00:00'), "
             "('2005-02-01T00:00:00'), ('2005-02-01 00:00:00.001'), ('2005-02-01 10:30'), "
             "('2005-02-01 10:30:00'), ('2005-02-01T23:59:59'), ('2005-02-02'), "
             "('2005-02-02 00:00:00'), ('9999-12-31 23:59:59'), ('0001-01-01'), (NULL), (5), "
             "(-3.5), (x'00ff'), ('abc'), ('Z'), ('')"_s);
    }

    // The rows (N) a condition keeps, in order.
    QList<int> Kept(const QString& condition) {
        TQuery q;
        q.SetDatabaseName(u"testdb"_s);
        q.SetSQLText(u"SELECT N FROM D WHERE "_s + condition + u" ORDER BY N"_s);
        q.Open();
        QList<int> rows;
        for (q.First(); !q.Eof(); q.Next())
            rows << q.Fields(0)->AsInteger();
        return rows;
    }

    // The query plan of a SELECT as the dialect sends it.
    QString Plan(const QString& select) {
        const auto statements = SqlDialect::TranslateText(select, NoVariables);
        TQuery q;
        q.SetDatabaseName(u"testdb"_s);
        q.SetParamCheck(false);
        q.SetSQLText(u"EXPLAIN QUERY PLAN "_s + statements.front().Text);
        q.Open();
        QString plan;
        for (q.First(); !q.Eof(); q.Next())
            plan += q.FieldByName(u"detail"_s)->AsString() + u'\n';
        return plan;
    }
};

TEST_F(DateLiterals, RangeOnTheIndexKeepsTheComparison) {
    // The comparison written with the literal (which gets the index range)
    // keeps exactly the rows of the comparison function alone.
    const char* const operators[] = {"=", "==", "<", "<=", ">", ">=", "<>", "!="};
    const char* const literals[] = {"01.02.2005", "1.2.2005", "01.02.2005 10:30", "31.12.9999",
                                    "01.01.0001"};
    for (const char* literal : literals)
        for (const char* op : operators) {
            const QString lit = QString::fromLatin1(literal);
            const QString cmp = QString::fromLatin1(op);
            const QList<int> rewritten = Kept(u"V "_s + cmp + u" '"_s + lit + u'\'');
            const QList<int> exact = Kept(u"vx_cmp(V, '"_s + lit + u"') "_s + cmp + u" 0"_s);
            EXPECT_EQ(rewritten, exact) << literal << ' ' << op;
        }
}

TEST_F(DateLiterals, KnownAnswers) {
    struct Row {
        const char16_t* Condition;
        QList<int> Rows;
    };
    const Row rows[] = {
        // The day at midnight in all its stored forms, not a millisecond later.
        {u"V = '01.02.2005'", {3, 4, 5, 6}},
        // Numbers sort before every date, blobs after; the empty text is
        // no date and compares as text, before the literal.
        {u"V < '01.02.2005'", {1, 2, 14, 16, 17, 21}},
        {u"V > '01.02.2005 10:30'", {10, 11, 12, 13, 18, 19, 20}},
        // The last day there is: no next day to bound the range.
        {u"V >= '31.12.9999'", {13, 18, 19, 20}},
        {u"V <= '31.12.9999'", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16, 17, 21}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Kept(QString::fromUtf16(r.Condition)), r.Rows)
            << QString::fromUtf16(r.Condition).toStdString();
}

TEST_F(DateLiterals, PlainColumnsUseTheirIndex) {
    EXPECT_TRUE(Plan(u"SELECT N FROM D WHERE D.V >= '01.02.2005'"_s).contains(u"DByV"_s));
    EXPECT_TRUE(
        Plan(u"SELECT N FROM D WHERE \"V\" = '01.02.2005' AND N > 0"_s).contains(u"DByV"_s));
    // An expression has no index to use: the comparison stays as it was.
    const auto expression = SqlDialect::TranslateText(
        u"SELECT N FROM D WHERE (V || '') >= '01.02.2005' OR V <> '01.02.2005'"_s, NoVariables);
    EXPECT_EQ(expression.front().Text,
              u"SELECT N FROM D WHERE vx_cmp((V || ''), '01.02.2005') >= 0 OR vx_cmp(V, "
              "'01.02.2005') <> 0"_s);
}

TEST(QuickDisplay, DatesAsTheGeneralRoutines) {
    struct Row {
        const char* Stored;
    };
    // Leading zeros, the first and last years, midnight and a millisecond
    // after it, a time alone.
    const Row rows[] = {{"2005-02-01"},
                        {"0001-01-01"},
                        {"9999-12-31 23:59:59"},
                        {"2024-03-31 03:30:00"},
                        {"2005-02-01 00:00:00"},
                        {"2005-02-01 00:00:00.001"},
                        {"1999-12-09T07:05"},
                        {"09:15:00"},
                        {"23:59"}};
    for (const Row& r : rows) {
        DbValues::TDateParts parts;
        QDateTime value;
        ASSERT_NE(DbValues::ParseIso(std::string_view(r.Stored), &parts), DbValues::TDateForm::None)
            << r.Stored;
        ASSERT_NE(DbValues::ParseIso(std::string_view(r.Stored), &value), DbValues::TDateForm::None)
            << r.Stored;
        EXPECT_EQ(DbValues::DateDisplay(parts), DateText(value.date())) << r.Stored;
        EXPECT_EQ(DbValues::TimeDisplay(parts), TimeText(value.time())) << r.Stored;
        EXPECT_EQ(DbValues::DateTimeDisplay(parts), DateTimeText(value)) << r.Stored;
    }
}

TEST(QuickDisplay, NumbersAsTheShortestText) {
    // Hundredths, whole numbers, the limit of the quick way and beyond it,
    // values that are no whole number of hundredths, tiny and huge values.
    const double values[] = {0,      -0.0,       0.1,   0.01,           0.05,
                             1234.5, -1234.56,   100,   1e12,           9999999999999.99,
                             1e13,   1e13 + 0.5, 0.005, 1.0 / 3,        0.001,
                             0.0001, 1e20,       -7.25, 123456789012.34};
    for (const double v : values)
        EXPECT_EQ(DbValues::FloatDisplay(v), ShortestFloatText(v)) << v;
    QRandomGenerator random(20050201);
    for (int i = 0; i < 20000; ++i) {
        const qint64 hundredths =
            qint64(random.generate64() % 2000000000000000ull) - 1000000000000000;
        const double v = double(hundredths) / 100;
        ASSERT_EQ(DbValues::FloatDisplay(v), ShortestFloatText(v)) << hundredths;
    }
}

TEST_F(DateLiterals, WallTimesTheZoneSkips) {
    // 31.03.2024 03:30 does not exist in Sofia (the clocks go from 03:00 to
    // 04:00): a stored value keeps its text in display, value and filters.
    TZoneSwitch zone("Europe/Sofia");
    Exec(u"INSERT INTO D(N, V) VALUES (100, '2024-03-31 03:30:00')"_s);
    TQuery q;
    q.SetDatabaseName(u"testdb"_s);
    q.SetSQLText(u"SELECT V, String(V) S FROM D WHERE N = 100"_s);
    q.Open();
    TField* v = q.Fields(0);
    v->SetDataType(TFieldType::DateTime);
    EXPECT_EQ(v->DisplayText(), u"31.03.2024 03:30"_s);
    v->SetDisplayFormat(u"dd.mm.yyyy hh:nn"_s);
    EXPECT_EQ(v->DisplayText(), u"31.03.2024 03:30"_s);
    EXPECT_EQ(v->AsDateTime().time(), QTime(3, 30));
    EXPECT_EQ(q.Fields(1)->AsString(), u"31.03.2024 03:30"_s);
    EXPECT_EQ(Kept(u"V = '31.03.2024 03:30'"_s), QList<int>{100});
    EXPECT_EQ(Kept(u"V > '31.03.2024 03:29' AND V < '31.03.2024 03:31'"_s), QList<int>{100});
}

TEST(DataSourceCells, FormatsOnlyWhatIsAskedFor) {
    TDataSet data;
    data.AddField(u"N"_s, TFieldType::Integer);
    data.AddField(u"Day"_s, TFieldType::Date);
    for (int i = 0; i < 1000; ++i)
        data.AppendRow({i, QDate(2005, 2, 1).addDays(i)});
    data.Open();
    TDataSource source;
    source.SetDataSet(&data);
    EXPECT_EQ(source.FormattedCells(), 0);
    EXPECT_EQ(source.data(source.index(999, 1)).toString(), u"28.10.2007"_s);
    // Values for editing and alignments are no display texts.
    source.data(source.index(5, 0), Qt::EditRole);
    source.data(source.index(5, 0), Qt::TextAlignmentRole);
    EXPECT_EQ(source.FormattedCells(), 1);
}

TEST(DisplayCache, PicturesOfManyValuesAndAChangedFormat) {
    // More distinct values than the field keeps texts for, each met twice
    // in a different order, and values that share their digits but not
    // their sign; every text must be the one the picture gives.
    TDataSet data;
    data.AddField(u"Amount"_s, TFieldType::Float);
    data.AddField(u"Day"_s, TFieldType::Date);
    QList<double> amounts;
    for (int i = 0; i < 6000; ++i)
        amounts << i * 0.37 - 100;
    amounts << 0.0 << -0.0 << 1234567.5 << -1234567.5;
    for (int pass = 0; pass < 2; ++pass)
        for (qsizetype i = 0; i < amounts.size(); ++i) {
            const qsizetype k = pass == 0 ? i : amounts.size() - 1 - i;
            data.AppendRow({amounts[k], QDate(2000, 1, 1).addDays(int(k) * 3)});
        }
    data.Open();
    TField* amount = data.Fields(0);
    TField* day = data.Fields(1);
    const auto check = [&](const QString& numberPicture, const QString& datePicture) {
        amount->SetDisplayFormat(numberPicture);
        day->SetDisplayFormat(datePicture);
        for (int r = 0; r < data.RecordCount(); ++r) {
            ASSERT_EQ(amount->DisplayTextAt(r),
                      FormatFloatPicture(numberPicture, amount->ValueAt(r).toDouble()))
                << r;
            ASSERT_EQ(day->DisplayTextAt(r),
                      FormatDateTimePicture(datePicture,
                                            QDateTime(day->ValueAt(r).toDate(), QTime(0, 0))))
                << r;
        }
    };
    check(u"### ### ##0.00"_s, u"dd.mm.yyyy"_s);
    // A new format is not answered from the texts of the old one.
    check(u"0.0;(0.0);zero"_s, u"yyyy mmmm d"_s);
}
