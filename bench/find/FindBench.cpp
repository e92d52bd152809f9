// Find figures on a report of the demo database's sales (1,000,000 rows,
// about 19,000 A4 pages, laid out like the program's inquiry report):
// - the report's preparation with the page text index beside the same
//   preparation without it (process CPU time, so other work on the machine
//   does not count);
// - typing a client's name in the preview's find bar: the first match shown
//   (the worst over every prefix typed, from the middle of the report) and
//   the full count, beside a plain case-insensitive search of the same text;
// - the same on the report saved to a file and opened again with its index
//   (which stays in the file, read as a search needs it), and the opening
//   until page 1 is shown beside opening the file without the index.
//
// Run: find_bench [--db DEMO.db] [rows]   (default: a demo database of
// 1,000,000 sales rows made here). Prints RESULT lines (BenchResult.h).

#include "BenchDemo.h"
#include "BenchResult.h"
#include "DataSet.h"
#include "RpPrinter.h"
#include "RpReport.h"
#include "RpTextIndex.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtEndian>

#include <ctime>

namespace {

const char* const Fields[] = {"InvoiceNo", "SaleDate", "Client",  "Good",    "Qty",
                              "Price",     "Amount",   "Payment", "Operator"};
constexpr int ColumnCount = 9;

double CpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

void LoadSales(TDataSet& data, const QString& database) {
    data.setObjectName(QStringLiteral("qrDATA"));
    data.AddField(QStringLiteral("InvoiceNo"), TFieldType::String);
    data.AddField(QStringLiteral("SaleDate"), TFieldType::String);
    data.AddField(QStringLiteral("Client"), TFieldType::String);
    data.AddField(QStringLiteral("Good"), TFieldType::String);
    data.AddField(QStringLiteral("Qty"), TFieldType::Integer);
    data.AddField(QStringLiteral("Price"), TFieldType::Float);
    data.AddField(QStringLiteral("Amount"), TFieldType::Float);
    data.AddField(QStringLiteral("Payment"), TFieldType::String);
    data.AddField(QStringLiteral("Operator"), TFieldType::String);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("b"));
        db.setDatabaseName(database);
        if (!db.open())
            std::exit(1);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(QStringLiteral(
            "SELECT s.InvoiceNo, s.SaleDate, c.Name, g.Name, s.Qty, s.Price, s.Amount, "
            "s.Payment, s.Operator FROM Sales s JOIN Clients c ON c.ClientID = s.ClientID "
            "JOIN Goods g ON g.GoodID = s.GoodID ORDER BY s.SaleID"));
        while (q.next()) {
            QVariantList row;
            for (int k = 0; k < ColumnCount; ++k)
                row.append(q.value(k));
            data.AppendRow(row);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("b"));
    data.Open();
}

// The inquiry report's layout: title, column header, one detail line, the
// page number in the footer.
TRpReport* BuildReport(TDataSet& data) {
    auto* report = new TRpReport;
    report->SetDataSet(&data);
    report->SetReportTitle(QStringLiteral("Продажби"));
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
    header->Frame().SetAll(true);
    TRpBand* detail = band(rbDetail, 19);
    TRpBand* footer = band(rbPageFooter, 23);
    auto* pageNumber = new TRpExpr(footer);
    pageNumber->SetExpression(QStringLiteral("'Стр. ' + PAGENUMBER"));
    pageNumber->SetAlignment(TAlignment::Right);
    pageNumber->SetAutoSize(false);
    pageNumber->SetBounds(619, 2, 76, 17);
    const int widths[ColumnCount] = {70, 70, 150, 150, 40, 50, 60, 60, 60};
    int x = 1;
    for (int k = 0; k < ColumnCount; ++k) {
        const QString field = QString::fromLatin1(Fields[k]);
        auto* label = new TRpLabel(header);
        label->SetAutoSize(false);
        label->SetTransparent(true);
        label->SetAlignment(TAlignment::Center);
        label->SetBounds(x, 3, widths[k], 30);
        label->SetCaption(field);
        auto* text = new TRpDBText(detail);
        text->SetAutoSize(false);
        text->SetBounds(x, 1, widths[k], 19);
        text->SetDataField(field);
        if (data.Fields(k)->IsNumeric())
            text->SetAlignment(TAlignment::Right);
        x += widths[k] + 2;
    }
    return report;
}

// Prepares the report; returns the process CPU seconds it took.
double Prepare(TRpReport* report, TRpPrinter* printer, bool index) {
    printer->Cleanup();
    printer->SetCollectText(index);
    const double start = CpuSeconds();
    report->Run(printer);
    return CpuSeconds() - start;
}

struct SearchFigures {
    double FirstMs = 0; // worst over the prefixes typed
    double CountMs = 0; // the full count of the whole name
    double PeerCountMs = 0;
    size_t Count = 0;
    size_t PeerCount = 0;
};

// Typing name letter by letter from the middle page: the first match of
// every prefix, then the count of the whole name; the peer counts with a
// plain case-insensitive search page by page.
SearchFigures Search(const TRpTextIndex& index, const QString& name) {
    SearchFigures f;
    QElapsedTimer clock;
    const int middle = index.PageCount() / 2;
    for (qsizetype n = 1; n <= name.size(); ++n) {
        clock.start();
        const TRpTextIndex::TMatch m = index.FindFirst(name.left(n), false, middle, true);
        f.FirstMs = std::max(f.FirstMs, clock.nsecsElapsed() / 1e6);
        if (m.Page == 0)
            std::printf("no match of %s\n", qPrintable(name.left(n)));
    }
    std::vector<double> counts;
    for (int i = 0; i < 3; ++i) {
        clock.start();
        f.Count = index.FindAll(name, false).size();
        counts.push_back(clock.nsecsElapsed() / 1e6);
    }
    f.CountMs = Bench::Best(counts);
    clock.start();
    f.PeerCount = 0;
    for (int p = 1; p <= index.PageCount(); ++p) {
        const QString text = index.PageText(p);
        for (qsizetype at = text.indexOf(name, 0, Qt::CaseInsensitive); at >= 0;
             at = text.indexOf(name, at + name.size(), Qt::CaseInsensitive))
            ++f.PeerCount;
    }
    f.PeerCountMs = clock.nsecsElapsed() / 1e6;
    return f;
}

void Report(const QString& where, const SearchFigures& f) {
    Bench::Result(QStringLiteral("find, first match while typing, %1").arg(where),
                  Bench::Figure(f.FirstMs, "ms", 1), QString(), -1, QStringLiteral("< 50 ms"),
                  f.FirstMs < 50);
    Bench::Result(QStringLiteral("find, full count (%1 matches), %2").arg(f.Count).arg(where),
                  Bench::Figure(f.CountMs, "ms", 0),
                  Bench::Figure(f.PeerCountMs, "ms", 0) + QStringLiteral(" plain search"),
                  f.PeerCountMs > 0 ? f.CountMs / f.PeerCountMs : -1, QStringLiteral("< 1000 ms"),
                  f.CountMs < 1000 && f.Count == f.PeerCount);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const Bench::TOptions options = Bench::ReadOptions(argc, argv);
    const QString database = Bench::DemoDatabase(options, dir.filePath(QStringLiteral("demo.db")));

    TDataSet data;
    LoadSales(data, database);
    TRpReport* report = BuildReport(data);
    auto* printer = new TRpPrinter(report);
    report->SetPrinter(printer);

    // Without, with, without, with: the better of two of each.
    const double without1 = Prepare(report, printer, false);
    const double with1 = Prepare(report, printer, true);
    const double without2 = Prepare(report, printer, false);
    const double with2 = Prepare(report, printer, true);
    const double without = std::min(without1, without2);
    const double with = std::min(with1, with2);
    const int pages = printer->PageCount();
    const TRpTextIndex& index = printer->TextIndex();
    std::printf("Report: %d rows, %d pages; index: %lld characters (%.1f MB of text, %s)\n",
                data.RecordCount(), pages, qint64(index.TextSize()),
                index.TextSize() * 2 / 1048576.0,
                index.OnFile() ? "in a temporary file" : "in memory");
    Bench::RatioResult(
        QStringLiteral("report preparation with the text index, %1 pages (CPU)").arg(pages), with,
        without, "s", 1.10, index.PageCount() == pages);

    // A client of the demo: the name on the middle page's first data line.
    QString name = QStringLiteral("Витоша ООД");
    if (index.FindAll(name, false).empty()) {
        const QStringList lines = index.PageText(pages / 2).split(u'\n');
        name = lines.value(ColumnCount + 3);
    }
    std::printf("searching for \"%s\"\n", qPrintable(name));
    Report(QStringLiteral("prepared preview"), Search(index, name));

    const QString file = dir.filePath(QStringLiteral("sales.rpp"));
    printer->SaveReportFile(file);
    // The same file without its index, for the peer of the opening.
    const QString plain = dir.filePath(QStringLiteral("plain.rpp"));
    {
        QFile in(file);
        in.open(QIODevice::ReadOnly);
        const QByteArray tail = (in.seek(in.size() - 24), in.read(4));
        const qint64 pagesEnd = qFromLittleEndian<quint32>(tail.constData());
        QFile out(plain);
        out.open(QIODevice::WriteOnly);
        in.seek(0);
        for (qint64 left = pagesEnd; left > 0;) {
            const QByteArray block = in.read(std::min<qint64>(left, 1 << 20));
            out.write(block);
            left -= block.size();
        }
    }
    // Opening, until page 1 is drawn as the preview draws it (on an image of
    // the screen's size).
    const auto open = [](TRpPrinter& printer, const QString& name) {
        QElapsedTimer clock;
        clock.start();
        printer.OpenReportFile(name);
        QImage image(794, 1123, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        if (std::unique_ptr<QPicture> page = printer.PageImage(1))
            TRpPrinter::DrawPage(painter, *page, QRectF(image.rect()));
        painter.end();
        return clock.nsecsElapsed() / 1e6;
    };
    TRpPrinter loaded;
    const double openMs = open(loaded, file);
    TRpPrinter bare;
    const double bareMs = open(bare, plain);
    std::printf("report file %.1f MB, of it the index %.1f MB\n",
                QFileInfo(file).size() / 1048576.0,
                (QFileInfo(file).size() - QFileInfo(plain).size()) / 1048576.0);
    Bench::Result(
        QStringLiteral("open of the %1-page report file with its index, page 1 shown").arg(pages),
        Bench::Figure(openMs, "ms", 0), Bench::Figure(bareMs, "ms", 0) + QStringLiteral(" without"),
        bareMs > 0 ? openMs / bareMs : -1, QStringLiteral("< 500 ms, index loaded"),
        openMs < 500 && !loaded.IndexPending());
    Report(QStringLiteral("loaded file"), Search(loaded.TextIndex(), name));
    report->ReleasePrinter();
    delete report;
    return 0;
}
