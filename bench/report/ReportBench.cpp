// Report run figures: a 100,000-row report with ten columns and a summary
// (about 2,000 A4 pages, laid out like the program's inquiry report) is
// prepared into the page store. Reports pages per second, the time until
// page 1 is ready, and the growth of resident memory from page 100 to the
// last page (the page store and the pages' text index spill to temporary
// files, so it stays flat);
// then the same report in the totals-only mode that draws nothing.
//
// Run: report_bench [rows]   (default 100000). Prints RESULT lines
// (BenchResult.h).

#include "BenchResult.h"
#include "DataSet.h"
#include "RpReport.h"
#include "RpStream.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int ColumnCount = 10;

// The texts the summary printed in the last run (as the program's totals
// list keeps them).
QStringList Totals;

// Resident memory in kilobytes (Linux).
long ResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

void FillData(TDataSet& data, int rows) {
    data.setObjectName(QStringLiteral("qrDATA"));
    data.AddField(QStringLiteral("Number"), TFieldType::Integer);
    data.AddField(QStringLiteral("Name"), TFieldType::String);
    data.AddField(QStringLiteral("Town"), TFieldType::String);
    data.AddField(QStringLiteral("Day"), TFieldType::Date);
    data.AddField(QStringLiteral("Amount"), TFieldType::Float);
    data.AddField(QStringLiteral("Count"), TFieldType::Integer);
    data.AddField(QStringLiteral("Code"), TFieldType::String);
    data.AddField(QStringLiteral("Price"), TFieldType::Float);
    data.AddField(QStringLiteral("Note"), TFieldType::String);
    data.AddField(QStringLiteral("Total"), TFieldType::Float);
    const QStringList names = {QStringLiteral("Иван Петров"), QStringLiteral("Мария Георгиева"),
                               QStringLiteral("Acme Trading Ltd."),
                               QStringLiteral("Кооперация Напредък"),
                               QStringLiteral("Стоян Стоянов")};
    const QStringList towns = {QStringLiteral("София"), QStringLiteral("Пловдив"),
                               QStringLiteral("Варна"), QStringLiteral("Бургас")};
    const QDate start(2020, 1, 1);
    for (int i = 0; i < rows; ++i)
        data.AppendRow({100000 + i, names[i % 5], towns[i % 4], start.addDays(i % 2000),
                        12.5 * (i % 97), i % 13, QStringLiteral("K-%1").arg(i % 1000),
                        0.75 * (i % 31), i % 3 ? QStringLiteral("редовен") : QString(), 1.5 * i});
    data.Open();
}

// The inquiry report's layout with ten columns of 70 pixels.
TRpReport* BuildReport(TDataSet& data) {
    auto* report = new TRpReport;
    report->SetDataSet(&data);
    report->SetReportTitle(QStringLiteral("Справка за бенчмарк"));
    report->Page().SetMarginsMm(12, 10, 7, 8);
    auto band = [report](TRpBandType kind, int height) {
        auto* b = new TRpBand(report, kind);
        b->SetWidth(722);
        b->SetHeight(height);
        return b;
    };
    TRpBand* title = band(rbTitle, 62);
    auto* titleText = new TRpSysData(title);
    titleText->SetData(rpsReportTitle);
    titleText->SetFont(QFont(QStringLiteral("Arial"), 16, QFont::Bold));
    titleText->SetAutoSize(false);
    titleText->SetAlignment(TAlignment::Center);
    titleText->SetBounds(14, 0, 624, 28);
    TRpBand* header = band(rbColumnHeader, 36);
    header->SetColor(QColor(192, 192, 192));
    header->Frame().SetAll(true);
    TRpBand* detail = band(rbDetail, 19);
    detail->Frame().SetSides(false, true, true, true);
    TRpBand* summary = band(rbSummary, 36);
    summary->Frame().SetAll(true);
    TRpBand* footer = band(rbPageFooter, 23);
    auto* pageNumber = new TRpExpr(footer);
    pageNumber->SetExpression(QStringLiteral("'Стр. ' + PAGENUMBER"));
    pageNumber->SetAlignment(TAlignment::Right);
    pageNumber->SetAutoSize(false);
    pageNumber->SetBounds(619, 2, 76, 17);
    const QStringList masks = {QString(),
                               QString(),
                               QString(),
                               QStringLiteral("dd.mm.yyyy"),
                               QStringLiteral("### ##0.00"),
                               QString(),
                               QString(),
                               QStringLiteral("0.00"),
                               QString(),
                               QStringLiteral("### ##0.00")};
    int x = 1;
    for (int k = 0; k < ColumnCount; ++k) {
        const QString field = data.Fields(k)->FieldName();
        auto* label = new TRpLabel(header);
        label->SetFont(QFont(QStringLiteral("Arial"), 9));
        label->SetAutoSize(false);
        label->SetTransparent(true);
        label->SetAlignment(TAlignment::Center);
        label->SetBounds(x, 3, 70, 30);
        label->SetCaption(field);
        auto* text = new TRpDBText(detail);
        text->SetAutoSize(false);
        text->SetBounds(x, 1, 70, 19);
        text->SetDataField(field);
        text->SetMask(masks[k]);
        if (data.Fields(k)->IsNumeric())
            text->SetAlignment(TAlignment::Right);
        auto* shape = new TRpShape(detail);
        shape->SetBounds(x + 71, -36, 1, 55);
        auto* sum = new TRpExpr(summary);
        sum->setObjectName(QStringLiteral("RpExpr%1").arg(k + 1));
        sum->SetAutoSize(false);
        sum->SetBounds(x, 8, 70, 19);
        if (data.Fields(k)->IsNumeric())
            sum->SetExpression(QStringLiteral("SUM(%1)").arg(field));
        sum->SetMask(masks[k]);
        sum->OnPrint = [k](TRpCustomLabel*, QString& value) {
            if (Totals.size() < ColumnCount)
                Totals = QStringList(ColumnCount, QString());
            Totals[k] = value;
        };
        x += 72;
    }
    return report;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;

    TDataSet data;
    FillData(data, rows);
    TRpReport* report = BuildReport(data);

    QElapsedTimer clock;
    double firstPageMs = -1;
    long kbAt100 = 0;
    long peakKb = 0;
    auto* printer = new TRpPrinter(report);
    QObject::connect(printer, &TRpPrinter::pageReady, [&](int ready) {
        if (ready >= 1 && firstPageMs < 0)
            firstPageMs = clock.nsecsElapsed() / 1e6;
        if (ready % 20 == 0 || ready == 100) {
            const long kb = ResidentKb();
            if (ready == 100)
                kbAt100 = kb;
            peakKb = std::max(peakKb, kb);
        }
    });
    report->SetPrinter(printer);
    clock.start();
    report->Run(printer);
    const double totalMs = clock.nsecsElapsed() / 1e6;
    peakKb = std::max(peakKb, ResidentKb());
    const int pages = printer->PageCount();
    const QStringList totals = Totals;

    const double pagesPerSecond = pages / (totalMs / 1000.0);
    const double growthMb = (peakKb - kbAt100) / 1024.0;
    const TRpStream* store = printer->PageList().Stream();
    std::printf("Report run: %d rows, %d columns, %d pages in %.1f ms; page store %.1f KB a page\n",
                rows, ColumnCount, pages, totalMs,
                store && pages ? store->Size() / 1024.0 / pages : 0.0);
    report->ReleasePrinter();

    clock.restart();
    PrepareReportTotalsOnly(report);
    const double totalsMs = clock.nsecsElapsed() / 1e6;
    const bool sameTotals = totals == Totals && !totals.isEmpty();
    std::printf("Totals-only run: %.1f ms, same totals as the drawn run: %s\n", totalsMs,
                sameTotals ? "yes" : "NO");

    const QString size = QStringLiteral("%1 rows, %2 pages").arg(rows).arg(pages);
    Bench::Result(QStringLiteral("report preparation, %1").arg(size),
                  Bench::Figure(pagesPerSecond, "pages/s", 0), QString(), -1,
                  QStringLiteral(">= 300 pages/s"), pagesPerSecond >= 300);
    Bench::Result(QStringLiteral("report preparation, page 1 ready"),
                  Bench::Figure(firstPageMs / 1000, "s", 3), QString(), -1,
                  QStringLiteral("< 0.3 s"), firstPageMs >= 0 && firstPageMs < 300);
    Bench::Result(QStringLiteral("report preparation, memory growth page 100 to %1").arg(pages),
                  Bench::Figure(growthMb, "MB", 1), QString(), -1, QStringLiteral("< 10 MB"),
                  pages > 100 && growthMb < 10);
    Bench::Result(QStringLiteral("totals-only run, %1 (vs the drawn run)").arg(size),
                  Bench::Figure(totalsMs / 1000, "s", 3), Bench::Figure(totalMs / 1000, "s", 3),
                  totalsMs / totalMs, QStringLiteral("<= 0.1x, same totals"),
                  sameTotals && totalsMs <= 0.1 * totalMs);
    report->ReleasePrinter();
    delete report;
    return 0;
}
