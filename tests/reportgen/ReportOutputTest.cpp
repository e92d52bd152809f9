// Runs of the generated report: the totals list the summary fills, the page
// footer of one-page and longer reports, the orientation of the options row,
// the batch output, the look of a rendered page, and how the preview tells
// its errors.

#include "ReportGenFixture.h"

#include "ExportOptions.h"
#include "MessageBox.h"
#include "RpPrinter.h"
#include "RpStandardPreview.h"
#include "TextRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

namespace {

class ReportOutputTest : public ReportGenTest {
protected:
    // Sales by number, with the columns of the "Продажби" subject.
    static QString Sales(int rows) {
        return QStringLiteral(
                   "SELECT InvoiceNo AS \"Фактура\", "
                   "(SELECT Name FROM Goods WHERE Goods.GoodID = Sales.GoodID) AS \"Стока\", "
                   "Qty AS \"Количество\", Amount AS \"Сума\" FROM Sales WHERE SaleID <= %1 "
                   "ORDER BY SaleID")
            .arg(rows);
    }
    static QList<TShownColumn> SalesColumns() {
        return {{QStringLiteral("Фактура"), QStringLiteral("Фактура"), 80},
                {QStringLiteral("Стока"), QStringLiteral("Стока"), 160},
                {QStringLiteral("Количество"), QStringLiteral("Количество"), 70},
                {QStringLiteral("Сума"), QStringLiteral("Сума"), 100}};
    }

    // Prepares the report of w with a recorder; the printer object stays.
    static void Prepare(TTestWindow& w, TRunRecorder& recorder) {
        w.Form.RpSpravka->SetObserver(&recorder);
        PrepareReport(w.Form.RpSpravka);
        w.Form.RpSpravka->SetObserver(nullptr);
    }
};

double Number(const QString& text) {
    return ParseFloatText(QString(text).remove(u' ').remove(u','));
}

} // namespace

TEST_F(ReportOutputTest, TotalsListHoldsThePrintedSummaryTexts) {
    TTestWindow w;
    w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
    w.ShowResult(Sales(40), SalesColumns());
    w.Form.Generate(w);
    TRunRecorder recorder;
    Prepare(w, recorder);
    w.Form.RpSpravka->ReleasePrinter();

    const double qty =
        Value(QStringLiteral("SELECT SUM(Qty) FROM Sales WHERE SaleID <= 40")).toDouble();
    const double amount =
        Value(QStringLiteral("SELECT SUM(Amount) FROM Sales WHERE SaleID <= 40")).toDouble();
    ASSERT_EQ(w.Form.Totals.size(), 40);
    // Фактура and Стока have no total: their expression is empty and
    // prints a single blank.
    EXPECT_EQ(w.Form.Totals[0], QStringLiteral(" "));
    EXPECT_EQ(w.Form.Totals[1], QStringLiteral(" "));
    // The other two hold exactly what the summary band printed, masked.
    EXPECT_EQ(recorder.TextsOf(QStringLiteral("RpExpr3")),
              QStringList{QStringLiteral("1:") + w.Form.Totals[2]});
    EXPECT_EQ(recorder.TextsOf(QStringLiteral("RpExpr4")),
              QStringList{QStringLiteral("1:") + w.Form.Totals[3]});
    EXPECT_DOUBLE_EQ(Number(w.Form.Totals[2]), qty);
    EXPECT_NEAR(Number(w.Form.Totals[3]), amount, 0.005);
    EXPECT_TRUE(
        w.Form.Totals[3].endsWith(QStringLiteral(".") + QString::number(amount, 'f', 2).right(2)));
    for (int i = 4; i < 40; ++i)
        EXPECT_TRUE(w.Form.Totals[i].isEmpty()) << i;

    // The next run starts from an empty list: a narrower layout leaves no
    // total of the earlier one behind.
    w.ShowResult(Sales(40), SalesColumns().mid(0, 2));
    w.Form.Generate(w);
    PrepareReportTotalsOnly(w.Form.RpSpravka);
    w.Form.RpSpravka->ReleasePrinter();
    EXPECT_EQ(w.Form.Totals.mid(0, 4),
              (QStringList{QStringLiteral(" "), QStringLiteral(" "), QString(), QString()}));
}

TEST_F(ReportOutputTest, PageFooterOnlyInReportsOfMorePages) {
    struct Case {
        int Rows;
        int Pages;
    } const cases[] = {
        {10, 1}, // fits one page: no footer at all
        {80, 2}, // a footer on both pages, the last included
        {150, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Rows);
        TTestWindow w;
        w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
        w.ShowResult(Sales(c.Rows), SalesColumns());
        w.Form.Generate(w);
        TRunRecorder recorder;
        Prepare(w, recorder);
        ASSERT_EQ(w.Form.RpSpravka->Printer()->PageCount(), c.Pages);
        w.Form.RpSpravka->ReleasePrinter();

        QStringList numbers, bottoms;
        for (int page = 1; c.Pages > 1 && page <= c.Pages; ++page) {
            numbers << QStringLiteral("%1:Стр. %1").arg(page);
            bottoms << QString::number(page) + u':' + w.Form.lbBottomTitle->Caption();
        }
        EXPECT_EQ(recorder.TextsOf(QStringLiteral("rpsPageNum")), numbers);
        EXPECT_EQ(recorder.TextsOf(QStringLiteral("lbBottomTitle")), bottoms);
        // The column header heads every page, the summary ends the last.
        for (int page = 1; page <= c.Pages; ++page)
            EXPECT_TRUE(recorder.BandsOn(page).contains(QStringLiteral("ColumnHeaderBand1")));
        EXPECT_TRUE(recorder.BandsOn(c.Pages).contains(QStringLiteral("SummaryBand1")));
    }
}

TEST_F(ReportOutputTest, OptionsRowTurnsTheReportToLandscapeForBatchOutput) {
    // The options row of "Продажби за година" asks for landscape.
    TTestWindow w;
    w.Options = Value(QStringLiteral("SELECT FilterList FROM Relations WHERE N = 405"))
                    .toString()
                    .split(QStringLiteral("\r\n"));
    ASSERT_TRUE(w.Options.contains(QStringLiteral("Printer.Orientation=1")));
    w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
    w.ShowResult(Sales(20), SalesColumns());

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("sales.pdf"));
    const QString pages = dir.filePath(QStringLiteral("sales.rpt"));
    ASSERT_TRUE(w.Form.SaveSequence(w, pdf, TReportFileKind::Pdf));
    EXPECT_EQ(w.Form.RpSpravka->Page().Orientation(), QPageLayout::Landscape);
    EXPECT_TRUE(QFile(pdf).open(QIODevice::ReadOnly));
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5).startsWith("%PDF"));
    EXPECT_EQ(w.Form.RpSpravka->Printer(), nullptr);

    ASSERT_TRUE(w.Form.SaveSequence(w, pages, TReportFileKind::ReportFile));
    TRpPrinter reader;
    reader.OpenReportFile(pages);
    EXPECT_EQ(reader.PageCount(), 1);
    EXPECT_EQ(reader.PageSettings().Orientation, QPageLayout::Landscape);

    // An empty result writes nothing.
    w.ShowResult(Sales(0), SalesColumns());
    EXPECT_FALSE(
        w.Form.SaveSequence(w, dir.filePath(QStringLiteral("none.pdf")), TReportFileKind::Pdf));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("none.pdf"))));
}

// Renders a two-page report and checks what a reader sees: the separator
// lines run unbroken from the column header to the last row of each page.
// Set VEXAL_REPORT_PNG to a folder to keep the pages for a look.
TEST_F(ReportOutputTest, RenderedPagesHaveJoinedColumnLines) {
    TTestWindow w;
    w.Conditions = {QStringLiteral("Дата >= 01.12.2024"), QStringLiteral("Плащане = В брой")};
    w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
    w.ShowResult(Sales(70), SalesColumns());
    w.Form.Generate(w);
    TRunRecorder recorder;
    Prepare(w, recorder);
    TRpPrinter& printer = *w.Form.RpSpravka->Printer();
    ASSERT_EQ(printer.PageCount(), 2);

    const QString keep = qEnvironmentVariable("VEXAL_REPORT_PNG");
    for (int page = 1; page <= printer.PageCount(); ++page) {
        SCOPED_TRACE(page);
        const QImage image = RenderPage(printer, page);
        if (!keep.isEmpty()) {
            QDir().mkpath(keep);
            image.save(QDir(keep).filePath(QStringLiteral("spravka-%1.png").arg(page)));
        }
        // From the top of the column header to the bottom of the page's
        // last detail row.
        QRectF header, last;
        for (const TRunRecorder::Band& b : recorder.Bands) {
            if (b.Page != page)
                continue;
            if (b.Name == QLatin1String("ColumnHeaderBand1"))
                header = b.Rect;
            if (b.Name == QLatin1String("DetailBand1"))
                last = b.Rect;
        }
        ASSERT_FALSE(header.isNull());
        const int top = qCeil(header.top() * printer.YFactor()) + 1;
        const int bottom = qFloor(last.bottom() * printer.YFactor()) - 1;
        const TRpShape* lines[] = {w.Form.RpShapeRowNumber, w.Form.RpShape(1), w.Form.RpShape(2),
                                   w.Form.RpShape(3), w.Form.RpShape(4)};
        for (const TRpShape* line : lines) {
            const int x = qRound((header.left() + line->Size().Left) * printer.XFactor());
            int gaps = 0;
            for (int y = top; y <= bottom; ++y) {
                bool ink = false;
                for (int dx = -1; dx <= 2 && !ink; ++dx)
                    ink = qGray(image.pixel(x + dx, y)) < 100;
                gaps += !ink;
            }
            EXPECT_EQ(gaps, 0) << line->objectName().toStdString();
        }
    }
    w.Form.RpSpravka->ReleasePrinter();
}

TEST_F(ReportOutputTest, ExportWritesTheRowsWithTheTotalsAPrintedReportShows) {
    TTestWindow w;
    w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
    w.ShowResult(Sales(12), SalesColumns());
    w.CatalogueQuery.SetRecNo(5);
    // What the printed report's summary shows.
    w.Form.Generate(w);
    TRunRecorder recorder;
    Prepare(w, recorder);
    w.Form.RpSpravka->ReleasePrinter();
    const QStringList printed = recorder.TextsOf(QStringLiteral("RpExpr4"));
    ASSERT_EQ(printed.size(), 1);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("sales.txt"));
    w.Form.ExportSequence(w, file);
    QFile exported(file);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const QByteArray text = exported.readAll();
    // Twelve rows and the totals line under them.
    EXPECT_EQ(text.count("\r\n000000"), 12);
    EXPECT_TRUE(text.contains(QStringLiteral("\t%1\r\n").arg(printed[0].mid(2)).toLatin1()))
        << text.toStdString();
    EXPECT_EQ(ExportTxtOpts.FooterValues, nullptr);
    EXPECT_EQ(w.Form.RpSpravka->Printer(), nullptr);
    EXPECT_EQ(w.CatalogueQuery.RecNo(), 5);

    // A result never opened exports without a failure of the report.
    w.Form.qrDATA->Close();
    const QString none = dir.filePath(QStringLiteral("none.txt"));
    w.Form.ExportSequence(w, none);
    EXPECT_EQ(w.Form.RpSpravka->Printer(), nullptr);
    EXPECT_EQ(w.Form.Totals, QStringList(40, QString()));
}

// The preview of an inquiry's report tells a missing report file the way the
// program tells its other errors, so the message is silenced while messages
// are and never bypasses the program's message-box routine.
TEST_F(ReportOutputTest, PreviewMessagesGoThroughTheMessageBoxRoutine) {
    TTestWindow w;
    struct TBox {
        QString Text, Caption;
        int Style;
    };
    QList<TBox> boxes;
    const MessageBoxHandler previous =
        SetMessageBoxHandler([&](const QString& text, const QString& caption, int style) {
            boxes << TBox{text, caption, style};
            return IDOK;
        });
    TRpPrinter printer;
    QPointer<TRpStandardPreview> window = TRpStandardPreview::ShowPreviewWindow(&printer);
    QTemporaryDir dir;
    window->GetOpenFileName = [&](QWidget*, const QString&, const QString&, QString*) {
        return dir.filePath(QStringLiteral("missing.RPP"));
    };
    window->LoadClick();
    ++MessageQuiet;
    window->LoadClick();
    --MessageQuiet;
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SetMessageBoxHandler(previous);

    // One box only: the second load ran while messages were suppressed.
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].Text, QStringLiteral("File does not exist"));
    // An error: its caption and the error icon with one OK button (16).
    EXPECT_EQ(boxes[0].Caption, QStringLiteral("Грешка"));
    EXPECT_EQ(boxes[0].Style, 16);
}
