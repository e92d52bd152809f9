// The chart of a demo subject's result as the window, the batch and the
// report build it: months in order with their sums, the "Други" rule on a
// long result, the options row's kind, and the chart as the report's last
// page.

#include "ReportGenFixture.h"

#include "ChartForm.h"
#include "ChartRenderer.h"
#include "RpPrinter.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <numeric>

namespace {

class ChartPageTest : public ReportGenTest {
protected:
    // "Продажби за година" for 2024: turnover and number of sales a month.
    static QString SalesOfYear() {
        return QStringLiteral(
            "SELECT substr(CAST(SaleDate AS TEXT), 1, 7) AS \"Месец\", SUM(Amount) AS \"Оборот\", "
            "COUNT(SaleID) AS \"Брой продажби\" FROM Sales WHERE SaleDate >= '2024-01-01' AND "
            "SaleDate < '2025-01-01' GROUP BY 1 ORDER BY 1");
    }
    static QList<TShownColumn> SalesOfYearColumns() {
        return {{QStringLiteral("Месец"), QStringLiteral("Месец"), 80},
                {QStringLiteral("Оборот"), QStringLiteral("Оборот"), 110},
                {QStringLiteral("Брой продажби"), QStringLiteral("Брой продажби"), 80}};
    }
    static QStringList DemoOptions() {
        return Value(QStringLiteral("SELECT FilterList FROM Relations WHERE N = 405"))
            .toString()
            .split(QStringLiteral("\r\n"));
    }
};

} // namespace

TEST_F(ChartPageTest, MonthsOfTheYearInOrderWithTheirSums) {
    TTestWindow w;
    w.Title = QStringLiteral("Продажби за година");
    w.Conditions = {QStringLiteral("Година : 2024")};
    w.Options = DemoOptions();
    w.ShowResult(SalesOfYear(), SalesOfYearColumns());

    // The demo's options row names the bar chart.
    const std::optional<TChartModel> chart = ReportChart(w);
    ASSERT_TRUE(chart);
    EXPECT_EQ(chart->Kind, TChartKind::Bar);
    EXPECT_EQ(chart->Title, w.Title);
    EXPECT_EQ(chart->Conditions, w.Conditions);
    const int months = Value(QStringLiteral("SELECT COUNT(DISTINCT substr(SaleDate, 1, 7)) FROM "
                                            "Sales WHERE SaleDate LIKE '2024%'"))
                           .toInt();
    ASSERT_EQ(chart->Labels.size(), 12);
    EXPECT_EQ(chart->Labels.first(), QStringLiteral("2024-01"));
    EXPECT_EQ(chart->Labels.last(), QStringLiteral("2024-12"));
    ASSERT_EQ(chart->Series.size(), 2);
    EXPECT_EQ(chart->Series[0].Name, QStringLiteral("Оборот"));
    EXPECT_EQ(chart->Series[1].Name, QStringLiteral("Брой продажби"));
    // Every month has its sales (a month without any would be a gap).
    const std::vector<double>& counts = chart->Series[1].Values;
    EXPECT_EQ(std::count_if(counts.begin(), counts.end(), [](double v) { return v > 0; }), months);
    EXPECT_NEAR(chart->Series[0].Values[2],
                Value(QStringLiteral("SELECT SUM(Amount) FROM Sales WHERE SaleDate LIKE "
                                     "'2024-03%'"))
                    .toDouble(),
                1e-6);

    // Without the option the months suggest a line; "none" gives no chart.
    w.Options.clear();
    EXPECT_EQ(ReportChart(w)->Kind, TChartKind::Line);
    w.Options = {QStringLiteral("Chart=none")};
    EXPECT_FALSE(ReportChart(w));
    EXPECT_EQ(ReportChart(w, TChartKind::Pie)->Kind, TChartKind::Pie);
}

TEST_F(ChartPageTest, LongResultKeepsTheLargestAndLosesNothingInOthers) {
    TTestWindow w;
    w.ShowResult(QStringLiteral("SELECT InvoiceNo AS \"Фактура\", Amount AS \"Сума\" FROM Sales "
                                "ORDER BY SaleID"),
                 {{QStringLiteral("Фактура"), QStringLiteral("Фактура"), 80},
                  {QStringLiteral("Сума"), QStringLiteral("Сума"), 100}});
    const TChartModel chart = *ReportChart(w, TChartKind::Bar);
    ASSERT_EQ(chart.Labels.size(), ChartMaxLabels);
    EXPECT_EQ(chart.Labels.last(), ChartOthersLabel());
    // The kept bars and "Други" add up to the whole result.
    const std::vector<double>& v = chart.Series[0].Values;
    EXPECT_NEAR(std::accumulate(v.begin(), v.end(), 0.0),
                Value(QStringLiteral("SELECT SUM(Amount) FROM Sales")).toDouble(), 1e-6);
    // The smallest kept bar is no smaller than any row left out: it is at
    // least the 49th largest amount.
    const double smallestKept = *std::min_element(v.begin(), v.end() - 1);
    EXPECT_GE(smallestKept, Value(QStringLiteral("SELECT Amount FROM Sales ORDER BY Amount DESC "
                                                 "LIMIT 1 OFFSET 48"))
                                .toDouble());
}

TEST_F(ChartPageTest, TickedChartIsTheReportsLastPage) {
    struct Case {
        bool Ticked;
        QString Option;
        int ExtraPages;
    } const cases[] = {
        {false, QString(), 0},
        {true, QString(), 1},
        {true, QStringLiteral("Chart=none"), 0}, // the subject has no chart
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Option.toStdString() + (c.Ticked ? " ticked" : ""));
        TTestWindow w;
        w.Chart = c.Ticked;
        w.Options = {c.Option};
        w.OpenSubjectCatalogue(QStringLiteral("Продажби за година"));
        w.ShowResult(SalesOfYear(), SalesOfYearColumns());
        QTemporaryDir dir;
        const QString pages = dir.filePath(QStringLiteral("year.rpt"));
        ASSERT_TRUE(w.Form.SaveSequence(w, pages, TReportFileKind::ReportFile));
        TRpPrinter reader;
        reader.OpenReportFile(pages);
        ASSERT_EQ(reader.PageCount(), 1 + c.ExtraPages);
        if (!c.ExtraPages)
            continue;
        // The chart's bars are on the last page.
        const QImage last = RenderPage(reader, reader.PageCount());
        int bar = 0;
        for (int y = 0; y < last.height(); y += 2)
            for (int x = 0; x < last.width(); x += 2)
                bar += QColor(last.pixel(x, y)) == ChartSeriesColor(0);
        EXPECT_GT(bar, 100);
    }
}

// The chart window over the year's months, as "Графика" opens it. Set
// VEXAL_CHART_PNG to a file name to keep a picture of the window.
TEST_F(ChartPageTest, WindowShowsTheSubjectsKindAndSwitches) {
    TTestWindow w;
    w.Title = QStringLiteral("Продажби за година");
    w.Conditions = {QStringLiteral("Година : 2024")};
    w.Options = DemoOptions();
    w.ShowResult(SalesOfYear(), SalesOfYearColumns());
    TChartForm chart(ReadChartData(ReportChartSource(w)), *ChartOption(w.Options));
    chart.resize(900, 600);
    chart.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(chart.Kind(), TChartKind::Bar);
    EXPECT_EQ(chart.cbChartKind->currentData().toInt(), int(TChartKind::Bar));
    const QImage shown = chart.grab().toImage();
    const QString keep = qEnvironmentVariable("VEXAL_CHART_PNG");
    if (!keep.isEmpty())
        shown.save(keep);
    int bar = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            bar += QColor(shown.pixel(x, y)) == ChartSeriesColor(0);
    EXPECT_GT(bar, 1000);

    chart.cbChartKind->setCurrentIndex(chart.cbChartKind->findData(int(TChartKind::Line)));
    emit chart.cbChartKind->activated(chart.cbChartKind->currentIndex());
    EXPECT_EQ(chart.ChartModel().Kind, TChartKind::Line);
    EXPECT_EQ(chart.ChartModel().Labels.size(), 12);
}
