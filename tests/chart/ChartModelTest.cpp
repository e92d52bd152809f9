// The chart model from results built in code: which columns label and which
// are values, the kind the result suggests, the "Други" rules, date order
// with gaps, empty and one-row results, NULLs, negative values and text in a
// numeric column.

#include "ChartModel.h"
#include "DataSet.h"
#include "Exception.h"

#include <QDate>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct TColumnSpec {
    const char* Name;
    TFieldType Type;
};

// A result of the given columns and rows, every column shown with its name
// as caption.
struct TResult {
    TResult(std::initializer_list<TColumnSpec> columns, const QList<QVariantList>& rows) {
        for (const TColumnSpec& c : columns) {
            Data.AddField(QString::fromUtf8(c.Name), c.Type);
            TGridColumn column;
            column.FieldName = QString::fromUtf8(c.Name);
            column.Title = column.FieldName;
            Source.Columns << column;
        }
        for (const QVariantList& row : rows)
            Data.AppendRow(row);
        Data.Open();
        Source.Data = &Data;
        Source.Title = QStringLiteral("Продажби");
    }
    TDataSet Data;
    TChartSource Source;
};

std::vector<double> Values(const TChartModel& m, int s = 0) {
    return m.Series.at(s).Values;
}

QString Str(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

TEST(ChartModel, LabelsSeriesAndTheSuggestedKind) {
    // Text labels and two numbers: a bar chart, one series a column, named
    // by its caption.
    TResult two({{"Клиент", TFieldType::String},
                 {"Оборот", TFieldType::Float},
                 {"Брой", TFieldType::Integer}},
                {{Str("Алфа"), 10.5, 2}, {Str("Бета"), 20.0, 3}});
    TChartModel m = BuildChartModel(two.Source);
    EXPECT_EQ(m.Kind, TChartKind::Bar);
    EXPECT_EQ(m.Labels, QStringList({Str("Алфа"), Str("Бета")}));
    ASSERT_EQ(m.Series.size(), 2);
    EXPECT_EQ(m.Series[0].Name, Str("Оборот"));
    EXPECT_EQ(m.Series[1].Name, Str("Брой"));
    EXPECT_EQ(Values(m, 0), (std::vector<double>{10.5, 20.0}));
    EXPECT_EQ(Values(m, 1), (std::vector<double>{2, 3}));

    // One value column and few labels: a pie; with a negative value it
    // cannot be one, so a bar, and a pie asked for leaves it out with a note.
    TResult one({{"Клиент", TFieldType::String}, {"Оборот", TFieldType::Float}},
                {{Str("Алфа"), 10.0}, {Str("Бета"), -4.0}, {Str("Гама"), 6.0}});
    EXPECT_EQ(BuildChartModel(one.Source).Kind, TChartKind::Bar);
    m = BuildChartModel(one.Source, TChartKind::Pie);
    EXPECT_EQ(m.Labels, QStringList({Str("Алфа"), Str("Гама")}));
    EXPECT_EQ(m.Notes.size(), 1);
    // The bar chart keeps the negative value as it is.
    EXPECT_EQ(Values(BuildChartModel(one.Source, TChartKind::Bar)),
              (std::vector<double>{10.0, -4.0, 6.0}));

    TResult pie({{"Клиент", TFieldType::String}, {"Оборот", TFieldType::Float}},
                {{Str("Алфа"), 1.0}, {Str("Бета"), 2.0}});
    EXPECT_EQ(BuildChartModel(pie.Source).Kind, TChartKind::Pie);

    // A grouped result: the client's number labels, the aggregate is the
    // value.
    TResult grouped({{"Клиент №", TFieldType::Integer}, {"Сума", TFieldType::Float}},
                    {{7, 1.0}, {9, 2.0}});
    grouped.Data.Fields(1)->SetComputed(true);
    m = BuildChartModel(grouped.Source);
    EXPECT_EQ(m.Labels, QStringList({Str("7"), Str("9")}));
    ASSERT_EQ(m.Series.size(), 1);
    EXPECT_EQ(m.Series[0].Name, Str("Сума"));
}

TEST(ChartModel, OthersJoinTheSmallestBeyondTheRoomThereIs) {
    // 60 clients with values 1..60: the 49 largest (12..60) stay in the
    // result's order, "Други" holds 1+...+11 = 66.
    QList<QVariantList> rows;
    for (int i = 1; i <= 60; ++i)
        rows << QVariantList{QStringLiteral("К%1").arg(i), double(i)};
    TResult many({{"Клиент", TFieldType::String}, {"Оборот", TFieldType::Float}}, rows);
    TChartModel m = BuildChartModel(many.Source, TChartKind::Bar);
    ASSERT_EQ(m.Labels.size(), ChartMaxLabels);
    EXPECT_EQ(m.Labels.first(), Str("К12"));
    EXPECT_EQ(m.Labels[48], Str("К60"));
    EXPECT_EQ(m.Labels.last(), ChartOthersLabel());
    EXPECT_EQ(Values(m).back(), 66.0);
    EXPECT_EQ(m.Notes.size(), 1);

    // A pie keeps 11 slices (50..60) and joins the rest: 1+...+49 = 1225.
    m = BuildChartModel(many.Source, TChartKind::Pie);
    ASSERT_EQ(m.Labels.size(), ChartMaxSlices);
    EXPECT_EQ(m.Labels.first(), Str("К50"));
    EXPECT_EQ(m.Labels.last(), ChartOthersLabel());
    EXPECT_EQ(Values(m).back(), 1225.0);

    // Exactly 50 labels all stay.
    rows.resize(50);
    TResult fifty({{"Клиент", TFieldType::String}, {"Оборот", TFieldType::Float}}, rows);
    m = BuildChartModel(fifty.Source, TChartKind::Bar);
    EXPECT_EQ(m.Labels.size(), 50);
    EXPECT_FALSE(m.Labels.contains(ChartOthersLabel()));
}

TEST(ChartModel, DatesAndMonthsRunInDateOrderWithGaps) {
    // Months as the demo's "Месец" gives them, out of order and with March
    // missing: a line, January to April, March without a value. January's
    // two rows, apart in the result, add up.
    TResult months({{"Месец", TFieldType::String}, {"Оборот", TFieldType::Float}},
                   {{Str("2024-04"), 4.0},
                    {Str("2024-01"), 1.0},
                    {Str("2024-02"), 2.0},
                    {Str("2024-01"), 5.0}});
    TChartModel m = BuildChartModel(months.Source);
    EXPECT_EQ(m.Kind, TChartKind::Line);
    EXPECT_EQ(m.Labels,
              QStringList({Str("2024-01"), Str("2024-02"), Str("2024-03"), Str("2024-04")}));
    const std::vector<double> v = Values(m);
    EXPECT_EQ(v[0], 6.0);
    EXPECT_TRUE(std::isnan(v[2]));
    EXPECT_EQ(v[3], 4.0);

    // Days across a month end; a row without a date is left out with a note.
    TResult days({{"Дата", TFieldType::Date}, {"Брой", TFieldType::Integer}},
                 {{QDate(2024, 3, 2), 5}, {QDate(2024, 2, 28), 1}, {QVariant(), 9}});
    m = BuildChartModel(days.Source);
    EXPECT_EQ(m.Kind, TChartKind::Line);
    EXPECT_EQ(m.Labels.size(), 4); // 28.02, 29.02 (leap year), 01.03, 02.03
    EXPECT_EQ(m.Labels.first(), days.Data.Fields(0)->DisplayTextAt(1));
    EXPECT_EQ(Values(m).front(), 1.0);
    EXPECT_EQ(Values(m).back(), 5.0);
    EXPECT_EQ(m.Notes.size(), 1);
}

TEST(ChartModel, EmptyOneRowNullAndBadColumns) {
    TResult empty({{"Клиент", TFieldType::String}, {"Оборот", TFieldType::Float}}, {});
    TChartModel m = BuildChartModel(empty.Source);
    EXPECT_TRUE(m.Labels.isEmpty());
    EXPECT_FALSE(m.Notes.isEmpty());

    // One row, its value NULL: the label stays, the value is none.
    TResult one({{"Клиент", TFieldType::String}, {"Оборот", TFieldType::Float}},
                {{Str("Алфа"), QVariant()}});
    m = BuildChartModel(one.Source, TChartKind::Bar);
    EXPECT_EQ(m.Labels, QStringList{Str("Алфа")});
    EXPECT_TRUE(std::isnan(Values(m).front()));

    // Numbers with a typed-in text: neither a label nor a value, a note.
    TResult text({{"Клиент", TFieldType::String},
                  {"Сума", TFieldType::String},
                  {"Брой", TFieldType::Integer}},
                 {{Str("А"), Str("10"), 1}, {Str("Б"), Str("12"), 2}, {Str("В"), Str("n/a"), 3}});
    m = BuildChartModel(text.Source);
    EXPECT_EQ(m.Labels, QStringList({Str("А"), Str("Б"), Str("В")}));
    ASSERT_EQ(m.Series.size(), 1);
    EXPECT_EQ(m.Series[0].Name, Str("Брой"));
    ASSERT_EQ(m.Notes.size(), 1);
    EXPECT_TRUE(m.Notes[0].contains(Str("Сума")));

    // No value column: the message the command shows.
    TResult none({{"Клиент", TFieldType::String}}, {{Str("А")}});
    try {
        BuildChartModel(none.Source);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), NoChartValuesMessage());
    }
}

TEST(ChartModel, OptionsRowNamesTheDefaultKind) {
    EXPECT_EQ(ChartOption({Str("Printer.Copies=1"), Str("chart= Pie")}), TChartKind::Pie);
    EXPECT_EQ(ChartOption({Str("Chart=none")}), TChartKind::None);
    EXPECT_EQ(ChartOption({Str("Chart=radar")}), std::nullopt);
    EXPECT_EQ(ChartOption({}), std::nullopt);
}
