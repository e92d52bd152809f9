// The preview on the offscreen platform: zoom, navigation, keys, status bar,
// the run's pages arriving, and the Save, Load and Close commands.

#include "RpPreview.h"
#include "../pages/PageTestUtil.h"
#include "RpPreviewImage.h"
#include "RpPrinter.h"
#include "RpStandardPreview.h"
#include "TestUtil.h"

#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

void Record(TRpPrinter& printer, int pages, bool finish = true) {
    printer.StartRun();
    for (int k = 1; k <= pages; ++k) {
        printer.StartNewPage();
        PageTest::DrawPage(*printer.Canvas(), k, 5);
    }
    if (finish)
        printer.FinishRun();
}

// A shown preview window on a printer object; the test owns both (the
// window is closed, and so freed, by the fixture unless a test closed it).
struct PreviewFixture : testing::Test {
    TRpPrinter printer;
    QPointer<TRpStandardPreview> window;
    QStringList messages;

    void Open() {
        window = TRpStandardPreview::ShowPreviewWindow(&printer);
        window->ShowMessage = [this](const QString& text) { messages << text; };
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    void TearDown() override {
        if (window) {
            window->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    TRpPreview* preview() { return window->RpPreview(); }
    QString Panel(const char* name) {
        return window->findChild<QLabel*>(QLatin1String(name))->text();
    }
    QToolButton* Button(const char* name) {
        return window->findChild<QToolButton*>(QLatin1String(name));
    }
};

} // namespace

TEST_F(PreviewFixture, WindowCaptionButtonsAndHints) {
    Record(printer, 2);
    Open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Print Preview")) << "no report title";
    EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
    const std::pair<const char*, const char*> hints[] = {
        {"ZoomFit", "Zoom to fit"},
        {"Zoom100", "100%"},
        {"ZoomToWidth", "Zoom to width"},
        {"FirstPage", "First page"},
        {"PreviousPage", "Previous page"},
        {"ToolButton2", "Next page"},
        {"LastPage", "Last page"},
        {"PrintSetup", "Printer setup"},
        {"Print", "Print"},
        {"SaveReport", "Save Report"},
        {"LoadReport", "Load Report"},
    };
    for (const auto& [name, hint] : hints) {
        QToolButton* b = Button(name);
        ASSERT_TRUE(b) << name;
        EXPECT_EQ(b->toolTip(), QString::fromLatin1(hint)) << name;
    }
    EXPECT_EQ(Button("ExitButton")->text(), QStringLiteral("&Close"));
    EXPECT_TRUE(Button("ZoomToWidth")->isChecked());
    EXPECT_TRUE(Button("Print")->isEnabled()) << "the run has finished";
    EXPECT_EQ(Panel("PagePanel"), QStringLiteral("Page 1 of 2"));
    EXPECT_EQ(Panel("ProgressPanel"), QStringLiteral("0%"));

    TRpPrinter titled;
    titled.SetTitle(QStringLiteral("Продажби по клиенти"));
    auto* other = new TRpStandardPreview(&titled);
    EXPECT_EQ(other->windowTitle(), QStringLiteral("Продажби по клиенти"));
    delete other;
}

// The first page appears, at page width, as soon as it is complete; Print
// waits for the end of the run.
TEST_F(PreviewFixture, PagesArriveDuringTheRun) {
    Open();
    EXPECT_FALSE(Button("Print")->isEnabled());
    preview()->SetZoom(50);
    printer.StartRun();
    printer.StartNewPage();
    EXPECT_FALSE(preview()->Image()->HasPage()) << "page 1 is still being drawn";
    printer.StartNewPage();
    EXPECT_TRUE(preview()->Image()->HasPage());
    EXPECT_EQ(preview()->ZoomState(), TRpPreview::ZoomWidth);
    // The notice comes as page 1 is complete, before page 2 is counted.
    EXPECT_EQ(Panel("PagePanel"), QStringLiteral("Page 1 of 1"));
    EXPECT_FALSE(Button("Print")->isEnabled());
    printer.FinishRun();
    EXPECT_TRUE(Button("Print")->isEnabled());
    EXPECT_TRUE(Button("PrintSetup")->isEnabled());
}

TEST_F(PreviewFixture, ZoomLimits) {
    Record(printer, 1);
    Open();
    struct Case {
        int zoom;
        int expected;
        const char* why;
    };
    const Case cases[] = {
        {100, 100, "a plain zoom"},       {1, 100, "below 2: ignored"},
        {2, 2, "the smallest zoom"},      {2001, 2, "above 2000: ignored"},
        {2000, 2000, "the largest zoom"}, {0, 2000, "zero: ignored"},
    };
    for (const Case& c : cases) {
        preview()->SetZoom(c.zoom);
        EXPECT_EQ(preview()->Zoom(), c.expected) << c.why;
    }
    EXPECT_EQ(preview()->ZoomState(), TRpPreview::ZoomOther);
    // The image is the sheet at the zoom plus 4 pixels for frame and shadow.
    const QSizeF paper = preview()->Image()->PaperPixels();
    EXPECT_EQ(preview()->Image()->width(), qRound(paper.width() * 20) + 4);
}

// Small pages are centred; fit keeps the whole page visible as the window
// changes size.
TEST_F(PreviewFixture, LayoutCentresAndFitFollowsResizes) {
    Record(printer, 1);
    Open();
    window->showNormal();
    window->resize(700, 560);
    QCoreApplication::processEvents();
    preview()->SetZoom(10);
    QCoreApplication::processEvents();
    const QWidget* viewport = preview()->viewport();
    EXPECT_EQ(preview()->Image()->x(), (viewport->width() - preview()->Image()->width()) / 2);
    EXPECT_EQ(preview()->Image()->y(), (viewport->height() - preview()->Image()->height()) / 2);

    QTest::mouseClick(Button("ZoomFit"), Qt::LeftButton);
    EXPECT_EQ(preview()->ZoomState(), TRpPreview::ZoomFit);
    for (QSize size : {QSize(500, 700), QSize(780, 300), QSize(400, 400)}) {
        window->resize(size);
        QCoreApplication::processEvents();
        EXPECT_LE(preview()->Image()->width(), viewport->width()) << size.width();
        EXPECT_LE(preview()->Image()->height(), viewport->height()) << size.height();
        EXPECT_FALSE(preview()->verticalScrollBar()->isVisible());
    }
    QTest::mouseClick(Button("ZoomToWidth"), Qt::LeftButton);
    const int expected = qRound(preview()->maximumViewportSize().width() /
                                preview()->Image()->PaperPixels().width() * 90);
    EXPECT_EQ(preview()->Zoom(), expected);
    QTest::mouseClick(Button("Zoom100"), Qt::LeftButton);
    EXPECT_EQ(preview()->Zoom(), 100);
}

TEST_F(PreviewFixture, NavigationStopsAtTheEnds) {
    Record(printer, 3);
    Open();
    struct Case {
        const char* button;
        int expected;
        const char* why;
    };
    const Case cases[] = {
        {"PreviousPage", 1, "previous on page 1 changes nothing"},
        {"ToolButton2", 2, "next"},
        {"LastPage", 3, "last"},
        {"ToolButton2", 3, "next on the last page changes nothing"},
        {"PreviousPage", 2, "previous"},
        {"FirstPage", 1, "first"},
    };
    for (const Case& c : cases) {
        QTest::mouseClick(Button(c.button), Qt::LeftButton);
        EXPECT_EQ(preview()->PageNumber(), c.expected) << c.why;
        EXPECT_EQ(Panel("PagePanel"), QStringLiteral("Page %1 of 3").arg(c.expected)) << c.why;
    }
    preview()->SetPageNumber(0);
    preview()->SetPageNumber(4);
    EXPECT_EQ(preview()->PageNumber(), 1) << "pages outside 1..3 are ignored";
}

// Keys reach the window even while the scrolling control has the focus
// (which would otherwise scroll on them).
TEST_F(PreviewFixture, Keys) {
    Record(printer, 3);
    Open();
    struct Case {
        int from;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int expected;
        const char* why;
    };
    const Case cases[] = {
        {2, Qt::Key_PageUp, Qt::NoModifier, 1, "Page Up: previous page"},
        {3, Qt::Key_PageUp, Qt::ControlModifier, 1, "Ctrl+Page Up: first page"},
        {3, Qt::Key_PageUp, Qt::ShiftModifier, 2, "another modifier: one page back"},
        {3, Qt::Key_PageUp, Qt::ControlModifier | Qt::ShiftModifier, 2,
         "Ctrl with another modifier: one page back"},
        {1, Qt::Key_PageDown, Qt::NoModifier, 2, "Page Down: next page"},
        {1, Qt::Key_PageDown, Qt::ControlModifier, 3, "Ctrl+Page Down: last page"},
        {1, Qt::Key_PageDown, Qt::AltModifier, 2, "another modifier: one page on"},
        {3, Qt::Key_Home, Qt::NoModifier, 1, "Home: first page"},
        {1, Qt::Key_End, Qt::NoModifier, 3, "End: last page"},
        {3, Qt::Key_PageDown, Qt::NoModifier, 3, "Page Down on the last page"},
    };
    for (QWidget* target :
         {static_cast<QWidget*>(preview()), static_cast<QWidget*>(window.data())}) {
        for (const Case& c : cases) {
            preview()->SetPageNumber(c.from);
            ASSERT_EQ(preview()->PageNumber(), c.from);
            QTest::keyClick(target, c.key, c.mods);
            EXPECT_EQ(preview()->PageNumber(), c.expected) << c.why;
        }
    }
    QSignalSpy closed(&printer, &TRpPrinter::previewClosed);
    QTest::keyClick(preview(), Qt::Key_Escape);
    EXPECT_EQ(closed.count(), 1) << "Escape closes the window";
}

TEST_F(PreviewFixture, ProgressPanelRule) {
    Open();
    struct Step {
        int percent;
        const char* shown;
        const char* why;
    };
    const Step steps[] = {
        {0, "", "0 clears the panel"},
        {3, "", "3 is not 5 above the last shown (0)"},
        {5, "5%", "5 is"},
        {9, "5%", "9 is only 4 above"},
        {10, "10%", "10 is 5 above"},
        {40, "40%", "a jump"},
        {100, "", "100 clears the panel"},
        {4, "", "counting starts again from 0"},
        {6, "6%", "6 is 5 above 0"},
    };
    for (const Step& s : steps) {
        printer.NotifyProgress(s.percent);
        EXPECT_EQ(Panel("ProgressPanel"), QString::fromLatin1(s.shown)) << s.why;
    }
}

TEST_F(PreviewFixture, SaveOffersTheReportFileThenPdf) {
    Record(printer, 3);
    Open();
    QString caption, filters;
    QString answer;
    QString chosenFilter;
    window->GetSaveFileName = [&](QWidget*, const QString& c, const QString& f, QString* selected) {
        caption = c;
        filters = f;
        *selected = chosenFilter;
        return answer;
    };
    const QString dir = TestUtil::Scratch().path();
    answer = dir + QStringLiteral("/saved");
    chosenFilter = TRpStandardPreview::ReportFileFilter();
    QTest::mouseClick(Button("SaveReport"), Qt::LeftButton);
    EXPECT_EQ(caption, QStringLiteral("Save report"));
    EXPECT_EQ(
        filters.split(QStringLiteral(";;")),
        QStringList({TRpStandardPreview::ReportFileFilter(), TRpStandardPreview::PdfFileFilter()}));
    EXPECT_TRUE(QFileInfo::exists(dir + QStringLiteral("/saved.RPP"))) << "default extension RPP";

    answer = dir + QStringLiteral("/saved.pdf");
    chosenFilter = TRpStandardPreview::PdfFileFilter();
    QTest::mouseClick(Button("SaveReport"), Qt::LeftButton);
    EXPECT_TRUE(TestUtil::ReadFile(answer).startsWith("%PDF"));

    // The extension typed in the name decides over the type the dialog shows.
    struct Typed {
        const char* name;
        bool reportFilter;
        bool pdf;
        const char* why;
    };
    const Typed typed[] = {
        {"typed.pdf", true, true, "a .pdf name under the report type is still a PDF"},
        {"typed.PDF", true, true, "the extension in capitals too"},
        {"typed.rpp", false, false, "a .rpp name under the PDF type is a report file"},
    };
    for (const Typed& t : typed) {
        answer = dir + u'/' + QLatin1String(t.name);
        chosenFilter = t.reportFilter ? TRpStandardPreview::ReportFileFilter()
                                      : TRpStandardPreview::PdfFileFilter();
        QTest::mouseClick(Button("SaveReport"), Qt::LeftButton);
        EXPECT_TRUE(QFileInfo::exists(answer)) << t.why;
        EXPECT_EQ(TestUtil::ReadFile(answer).startsWith("%PDF"), t.pdf) << t.why;
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(PreviewFixture, LoadOpensAFileOrSaysItDoesNotExist) {
    TRpPrinter source;
    source.PageSettings().Orientation = QPageLayout::Landscape;
    Record(source, 5);
    const QString file = TestUtil::Scratch().filePath(QStringLiteral("load.RPP"));
    source.SaveReportFile(file);

    Record(printer, 2);
    Open();
    QString caption, filters, answer;
    window->GetOpenFileName = [&](QWidget*, const QString& c, const QString& f, QString*) {
        caption = c;
        filters = f;
        return answer;
    };
    answer = TestUtil::Scratch().filePath(QStringLiteral("missing.RPP"));
    QTest::mouseClick(Button("LoadReport"), Qt::LeftButton);
    EXPECT_EQ(caption, QStringLiteral("Load report"));
    EXPECT_EQ(filters, TRpStandardPreview::ReportFileFilter());
    EXPECT_EQ(messages, QStringList{QStringLiteral("File does not exist")});
    EXPECT_EQ(printer.PageCount(), 2);

    QTest::mouseClick(Button("LastPage"), Qt::LeftButton);
    answer = file;
    QTest::mouseClick(Button("LoadReport"), Qt::LeftButton);
    EXPECT_EQ(printer.PageCount(), 5);
    EXPECT_EQ(preview()->PageNumber(), 1);
    EXPECT_TRUE(preview()->Image()->HasPage());
    EXPECT_EQ(Panel("PagePanel"), QStringLiteral("Page 1 of 5"));
    EXPECT_FALSE(Button("PrintSetup")->isEnabled());
    EXPECT_TRUE(Button("Print")->isEnabled());
    EXPECT_EQ(printer.PageSettings().Orientation, QPageLayout::Landscape);
    EXPECT_GT(preview()->Image()->width(), preview()->Image()->height()) << "shown landscape";
}

TEST_F(PreviewFixture, PrintWaitsForABusyMaster) {
    QObject master;
    printer.SetMaster(&master);
    Record(printer, 1);
    Open();
    bool busy = true;
    window->MasterBusy = [&] { return busy; };
    QSignalSpy requested(&printer, &TRpPrinter::printRequested);
    QTest::mouseClick(Button("Print"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(requested.count(), 0) << "the report is running";
    busy = false;
    QTest::mouseClick(Button("Print"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(requested.count(), 1);
}

TEST_F(PreviewFixture, ClosingTellsTheMasterOnceAndFreesTheWindow) {
    Record(printer, 1);
    Open();
    QSignalSpy closed(&printer, &TRpPrinter::previewClosed);
    QTest::mouseClick(Button("ExitButton"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(printer.Client(), nullptr);
}
