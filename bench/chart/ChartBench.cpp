// Chart figures: the 1,000,000 sales rows of the demo database charted as
// the chart window and the batch chart them (the result read into the chart
// data, the model shaped, the chart drawn into an A4 PNG), beside the time
// the same rows take to fetch. Two results: invoices and their amounts
// (labels that are texts: the 49 largest and "Други") and sale dates and
// amounts (a line of the days, in date order).
//
// Run: chart_bench [--db DEMO.db] [rows]   (default: a demo database of
// 1,000,000 sales rows made here). Prints RESULT lines (BenchResult.h).

#include "BenchDemo.h"
#include "BenchResult.h"
#include "ChartModel.h"
#include "ChartRenderer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Fetches the statement, then charts it; false when the chart is not what
// the rows give.
bool Measure(const QString& what, const QString& sql, TChartKind kind, const QString& png) {
    TQuery query;
    query.SetDatabaseName(QStringLiteral("bench"));
    query.SetSQLText(sql);
    QElapsedTimer t;
    t.start();
    query.Open();
    const double fetchMs = t.nsecsElapsed() / 1e6;
    const int rows = query.RecordCount();

    TChartSource source;
    source.Data = &query;
    source.Title = what;
    t.restart();
    const TChartData data = ReadChartData(source);
    const TChartModel model = ShapeChart(data, kind);
    const double modelMs = t.nsecsElapsed() / 1e6;
    t.restart();
    SaveChart(model, png);
    const double drawMs = t.nsecsElapsed() / 1e6;
    const double chartMs = modelMs + drawMs;

    const bool shaped = kind == TChartKind::Line ? model.Labels.size() > 300
                                                 : model.Labels.size() == ChartMaxLabels;
    std::printf("%s over %d rows: fetch %.0f ms; chart data and model %.0f ms (%lld labels); "
                "drawn into a PNG %.0f ms\n",
                qPrintable(what), rows, fetchMs, modelMs, qlonglong(model.Labels.size()), drawMs);
    Bench::Result(QStringLiteral("chart of %1 rows, %2: model and PNG (vs fetching the rows)")
                      .arg(rows)
                      .arg(what),
                  Bench::Figure(chartMs, "ms", 0), Bench::Figure(fetchMs, "ms", 0),
                  fetchMs > 0 ? chartMs / fetchMs : -1, QStringLiteral("< 1000 ms"),
                  shaped && chartMs < 1000);
    return shaped;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Bench::TOptions options = Bench::ReadOptions(argc, argv);
    QTemporaryDir dir;
    const QString path = Bench::DemoDatabase(options, dir.filePath(QStringLiteral("demo.db")));
    Bench::UseAlias(dir.filePath(QStringLiteral("aliases.ini")), path);
    TDatabase database;
    database.SetDatabaseName(QStringLiteral("bench"));
    database.SetAliasName(QStringLiteral("BENCH"));
    database.Open();

    bool ok = Measure(QStringLiteral("invoices by amount"),
                      QStringLiteral("SELECT 'Ф-' || InvoiceNo AS \"Фактура\", Amount AS \"Сума\" "
                                     "FROM Sales"),
                      TChartKind::Bar, dir.filePath(QStringLiteral("bar.png")));
    ok = Measure(QStringLiteral("amounts by day"),
                 QStringLiteral("SELECT SaleDate AS \"Дата\", Amount AS \"Сума\" FROM Sales"),
                 TChartKind::Line, dir.filePath(QStringLiteral("line.png"))) &&
         ok;
    return ok ? 0 : 1;
}
