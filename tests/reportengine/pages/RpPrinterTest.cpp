// The printer object: a recording run, its notices and errors, report files
// with the paper-size match, and PDF output.

#include "RpPrinter.h"
#include "Exception.h"
#include "PageTestUtil.h"
#include "RpStream.h"
#include "TestUtil.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPicture>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Runs a recording run of pages pages through the printer's canvas.
void Record(TRpPrinter& printer, int pages, bool finish = true) {
    printer.StartRun();
    for (int k = 1; k <= pages; ++k) {
        printer.StartNewPage();
        ASSERT_NE(printer.Canvas(), nullptr);
        PageTest::DrawPage(*printer.Canvas(), k, 10);
    }
    if (finish)
        printer.FinishRun();
}

QString PdfInfo(const QString& file) {
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {file});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of one page; text drawn too large for its page would be missing.
QString PdfText(const QString& file, int page) {
    QProcess process;
    const QString n = QString::number(page);
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-f"), n, QStringLiteral("-l"), n, file, QStringLiteral("-")});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString PdfField(const QString& info, const QString& field) {
    const QRegularExpression re(QStringLiteral("^") + field + QStringLiteral(":\\s*(.*)$"),
                                QRegularExpression::MultilineOption);
    return re.match(info).captured(1).trimmed();
}

} // namespace

TEST(RpPrinter, RecordingRunStoresPagesAndTellsThePreview) {
    TRpPrinter printer;
    printer.PageSettings().Compression = true;
    QSignalSpy ready(&printer, &TRpPrinter::pageReady);
    Record(printer, 3);
    EXPECT_EQ(printer.Status(), TRpPrinterStatus::Finished);
    EXPECT_EQ(printer.PageCount(), 3);
    EXPECT_EQ(printer.ReadyPages(), 3);
    ASSERT_EQ(ready.count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ready.at(i).at(0).toInt(), i + 1) << "each page is ready once the next starts";
    EXPECT_TRUE(printer.PageList().Compression());
    EXPECT_TRUE(printer.PageList().Stream()->Size() > 128);
    EXPECT_NEAR(printer.XFactor(), TRpPrinter::ScreenDpi() / 254.0, 1e-9);

    // Pages are the paper at the screen's resolution: A4 is 210 x 297 mm.
    std::unique_ptr<QPicture> page = printer.PageImage(2);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->boundingRect(),
              QRect(0, 0, qRound(2100 * printer.XFactor()), qRound(2970 * printer.YFactor())));
    struct Case {
        int n;
        bool some;
        const char* why;
    };
    const Case cases[] = {{0, false, "below the first page"},
                          {1, true, "the first page"},
                          {3, true, "the last page"},
                          {4, false, "page n + 1 of n"}};
    for (const Case& c : cases)
        EXPECT_EQ(bool(printer.PageImage(c.n)), c.some) << c.why;
}

TEST(RpPrinter, CallsOutOfOrderRaiseTheEngineErrors) {
    TRpPrinter printer;
    try {
        printer.StartNewPage();
        FAIL() << "a page before the run";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Illegal call to NewPage"));
    }
    printer.StartRun();
    try {
        printer.StartRun();
        FAIL() << "a second run";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), QStringLiteral("RpPrinter not ready"));
    }
    EXPECT_THROW(printer.SaveReportFile(TestUtil::Scratch().filePath(QStringLiteral("x.RPP"))),
                 Exception)
        << "a run in progress cannot be saved as if complete";
    printer.FinishRun();
    EXPECT_EQ(printer.PageCount(), 0);
    EXPECT_EQ(printer.ReadyPages(), 0) << "no page was produced, none is ready";
    // A report without pages still saves as a valid file: the header alone.
    const QString empty = TestUtil::Scratch().filePath(QStringLiteral("empty.RPP"));
    printer.SaveReportFile(empty);
    EXPECT_EQ(QFileInfo(empty).size(), 128);
    TRpPrinter reader;
    reader.OpenReportFile(empty);
    EXPECT_EQ(reader.PageCount(), 0);
    printer.Cleanup();
    EXPECT_EQ(printer.Status(), TRpPrinterStatus::Ready);
    EXPECT_NO_THROW(printer.StartRun());
}

// A cancelled run keeps what it drew, and a file saved from it holds all of it.
TEST(RpPrinter, AbortedRunKeepsItsPagesInTheFile) {
    TRpPrinter printer;
    Record(printer, 4, false);
    printer.AbortRun();
    EXPECT_EQ(printer.Status(), TRpPrinterStatus::Finished);
    EXPECT_EQ(printer.PageCount(), 4);
    const QString name = TestUtil::Scratch().filePath(QStringLiteral("aborted.RPP"));
    printer.SaveReportFile(name);
    TRpPrinter reader;
    reader.OpenReportFile(name);
    EXPECT_EQ(reader.PageCount(), 4);
    EXPECT_TRUE(reader.PageImage(4));
}

// A loaded file's first page decides the paper: one of the standard sizes,
// either way round, or its own size.
TEST(RpPrinter, OpenReportFileMatchesThePaper) {
    struct Case {
        QPageSize::PageSizeId paper;
        QPageLayout::Orientation orientation;
        QPageSize::PageSizeId expectedPaper;
        const char* why;
    };
    const Case cases[] = {
        {QPageSize::A4, QPageLayout::Portrait, QPageSize::A4, "A4 upright"},
        {QPageSize::A4, QPageLayout::Landscape, QPageSize::A4, "A4 turned: found as landscape"},
        {QPageSize::Letter, QPageLayout::Portrait, QPageSize::Letter, "Letter, near A4 but not it"},
        {QPageSize::A5, QPageLayout::Landscape, QPageSize::A5, "a smaller standard size"},
        {QPageSize::Custom, QPageLayout::Portrait, QPageSize::Custom, "no standard size"},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TRpPrinter writer;
        writer.PageSettings().PaperSize = c.paper;
        writer.PageSettings().CustomWidth = 1000;
        writer.PageSettings().CustomLength = 1500;
        writer.PageSettings().Orientation = c.orientation;
        Record(writer, 2);
        const QString name = TestUtil::Scratch().filePath(QStringLiteral("paper%1.RPP").arg(i++));
        writer.SaveReportFile(name);

        TRpPrinter reader;
        reader.PageSettings().PaperSize = QPageSize::B5; // to be replaced
        reader.SetMaster(&writer);
        reader.OpenReportFile(name);
        EXPECT_EQ(reader.Status(), TRpPrinterStatus::Finished);
        EXPECT_TRUE(reader.ReportLoaded());
        EXPECT_EQ(reader.PageCount(), 2);
        EXPECT_EQ(reader.PageSettings().PaperSize, c.expectedPaper);
        EXPECT_EQ(reader.PageSettings().Orientation, c.orientation);
        EXPECT_NEAR(reader.PaperWidth(), writer.PaperWidth(), 5);
        EXPECT_NEAR(reader.PaperLength(), writer.PaperLength(), 5);
    }
}

TEST(RpPrinter, FailedOpenKeepsTheReport) {
    TRpPrinter printer;
    Record(printer, 2);
    const QString bad = TestUtil::Scratch().filePath(QStringLiteral("bad.RPP"));
    TestUtil::WriteFile(bad, QByteArray(200, '\1'));
    EXPECT_THROW(printer.OpenReportFile(bad), Exception);
    EXPECT_EQ(printer.PageCount(), 2);
    EXPECT_TRUE(printer.PageImage(2));
}

// A report file opened while a run is drawing its pages (the preview's Load
// during the run's pause for window messages) would free the canvas the run
// draws on; it is refused, and the run goes on to its end.
TEST(RpPrinter, OpenDuringARunIsRefusedAndTheRunGoesOn) {
    TRpPrinter source;
    Record(source, 3);
    const QString name = TestUtil::Scratch().filePath(QStringLiteral("during.RPP"));
    source.SaveReportFile(name);

    TRpPrinter printer;
    Record(printer, 1, false);
    EXPECT_THROW(printer.OpenReportFile(name), Exception);
    EXPECT_EQ(printer.Status(), TRpPrinterStatus::Busy);
    ASSERT_NE(printer.Canvas(), nullptr);
    PageTest::DrawPage(*printer.Canvas(), 1, 10);
    printer.StartNewPage();
    PageTest::DrawPage(*printer.Canvas(), 2, 10);
    printer.FinishRun();
    EXPECT_FALSE(printer.ReportLoaded());
    EXPECT_EQ(printer.PageCount(), 2);
    EXPECT_TRUE(printer.PageImage(2));
}

TEST(RpPrinter, PdfOfThreePagesHasThreePagesOfTheReportsPaper) {
    struct Case {
        QPageLayout::Orientation orientation;
        const char* size;
        const char* why;
    };
    const Case cases[] = {
        {QPageLayout::Portrait, "595", "A4 upright: 595 points wide"},
        {QPageLayout::Landscape, "842", "A4 turned: 842 points wide"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TRpPrinter printer;
        printer.PageSettings().Orientation = c.orientation;
        printer.SetTitle(QStringLiteral("Справка"));
        Record(printer, 3);
        const QString name = TestUtil::Scratch().filePath(QStringLiteral("report.pdf"));
        TestUtil::WriteFile(name, "old contents");
        printer.SavePdf(name);
        const QString info = PdfInfo(name);
        EXPECT_EQ(PdfField(info, QStringLiteral("Pages")), QStringLiteral("3"))
            << info.toStdString();
        EXPECT_TRUE(PdfField(info, QStringLiteral("Page size")).startsWith(QLatin1String(c.size)))
            << info.toStdString();
        EXPECT_EQ(PdfField(info, QStringLiteral("Title")), QStringLiteral("Справка"));
        for (int k = 1; k <= 3; ++k)
            EXPECT_TRUE(PdfText(name, k).contains(QStringLiteral("страница %1").arg(k)))
                << PdfText(name, k).toStdString();
    }
}

// The PDF is written under a private temporary name; the file it becomes must
// still be readable by others as any new file would be (mailed, served).
TEST(RpPrinter, PdfTakesTheUsualPermissionsOfANewFile) {
    TRpPrinter printer;
    Record(printer, 1);
    const QString name = TestUtil::Scratch().filePath(QStringLiteral("shared.pdf"));
    QFile::remove(name);
    const QString probe = TestUtil::Scratch().filePath(QStringLiteral("probe.txt"));
    TestUtil::WriteFile(probe, "x"); // created the ordinary way
    printer.SavePdf(name);
    EXPECT_EQ(QFile::permissions(name), QFile::permissions(probe));
}

TEST(RpPrinter, PdfFailureLeavesNoFile) {
    TRpPrinter printer;
    const QString name = TestUtil::Scratch().filePath(QStringLiteral("none.pdf"));
    EXPECT_THROW(printer.SavePdf(name), Exception) << "nothing recorded";
    Record(printer, 1);
    const QString missing = TestUtil::Scratch().filePath(QStringLiteral("no/folder/r.pdf"));
    EXPECT_THROW(printer.SavePdf(missing), Exception);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

// With a report behind it and no file loaded, Print asks the report to run
// again towards the printer; the request is posted, not handled inside the
// caller.
TEST(RpPrinter, PrintWithAMasterPostsThePrintRequest) {
    QObject master;
    TRpPrinter printer;
    printer.SetMaster(&master);
    Record(printer, 1);
    QSignalSpy requested(&printer, &TRpPrinter::printRequested);
    printer.PrintPreparedPages();
    EXPECT_EQ(requested.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(requested.count(), 1);

    QSignalSpy closed(&printer, &TRpPrinter::previewClosed);
    printer.NotifyPreviewClosed();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed.at(0).at(0).value<TRpPrinter*>(), &printer);
}

TEST(RpPrinter, DetachingThePreviewDuringARunCancelsIt) {
    QObject preview;
    TRpPrinter printer;
    printer.SetClient(&preview);
    Record(printer, 1, false);
    printer.SetClient(nullptr);
    EXPECT_TRUE(printer.Cancelled());
}

// The stored bin codes are Windows's: 12 and 13 name no bin, and 14 and 15
// come after them; 0 leaves the choice to the printer.
TEST(RpPrinter, OutputBinCodesNameThePlatformsPaperSources) {
    const struct {
        int Bin;
        std::optional<QPrinter::PaperSource> Source;
    } rows[] = {
        {0, std::nullopt},
        {1, QPrinter::Upper},
        {2, QPrinter::Lower},
        {7, QPrinter::Auto},
        {11, QPrinter::LargeCapacity},
        {12, std::nullopt},
        {13, std::nullopt},
        {14, QPrinter::Cassette},
        {15, QPrinter::FormSource},
        {16, std::nullopt},
        {-1, std::nullopt},
    };
    for (const auto& r : rows)
        EXPECT_EQ(RpPaperSourceOfBin(r.Bin), r.Source) << r.Bin;
}
