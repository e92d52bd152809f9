// Runs of small reports over data sets built in code: which bands print on
// which page, page numbers, the summary, vetoed and disabled bands, forced
// breaks, stretching bands continued on the next page, columns, groups,
// totals, cancel, the totals-only mode and the report-level operations.
//
// Geometry (tenths of a millimetre): A4 portrait, margins 100, so bands may
// reach down to 2970 - 100 - 100 (page footer reserve) = 2770. Title 200,
// column header 100, detail 100, summary 150, page footer 100. Page 1 holds
// 23 rows (400 + 23 * 100 = 2700), later pages 25 (200 + 25 * 100 = 2700);
// the summary fits after a row only while 150 tenths are left.

#include "ReportTestUtil.h"
#include "RpPrinter.h"
#include "TestUtil.h"

#include <QApplication>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace ReportTest;

namespace {

class ReportRun : public ::testing::Test {
protected:
    void SetUp() override {
        Data.setObjectName(QStringLiteral("qrDATA"));
        Data.AddField(QStringLiteral("Name"), TFieldType::String);
        Data.AddField(QStringLiteral("Amount"), TFieldType::Float);
        Data.AddField(QStringLiteral("Kind"), TFieldType::Integer);
        Report = new TRpReport(&Owner);
        Report->setObjectName(QStringLiteral("RpReport"));
        Report->SetDataSet(&Data);
        Report->SetReportTitle(QStringLiteral("Отчет"));
        Report->SetObserver(&Drawn);
        Title = AddBand(Report, rbTitle, QStringLiteral("Title"), 200);
        Header = AddBand(Report, rbColumnHeader, QStringLiteral("ColumnHeader"), 100);
        Detail = AddBand(Report, rbDetail, QStringLiteral("Detail"), 100);
        Summary = AddBand(Report, rbSummary, QStringLiteral("Summary"), 150);
        Footer = AddBand(Report, rbPageFooter, QStringLiteral("PageFooter"), 100);
        NameText = Add<TRpDBText>(Detail, QStringLiteral("NameText"), 0, 0, 800, 50);
        NameText->SetAutoSize(false);
        NameText->SetDataField(QStringLiteral("Name"));
        Total = Add<TRpExpr>(Summary, QStringLiteral("Total"), 0, 0, 500, 50);
        Total->SetAutoSize(false);
        Total->SetExpression(QStringLiteral("SUM(Amount)"));
        Total->SetMask(QStringLiteral("0.00"));
        PageText = Add<TRpExpr>(Footer, QStringLiteral("PageText"), 1000, 0, 400, 50);
        PageText->SetAutoSize(false);
        PageText->SetExpression(QStringLiteral("'Стр. ' + PAGENUMBER"));
    }

    void TearDown() override {
        if (Report)
            Report->ReleasePrinter();
    }

    void Fill(int rows) {
        for (int i = 1; i <= rows; ++i)
            Data.AppendRow({QStringLiteral("Ред %1").arg(i), 1.5 * i, i % 3});
        Data.Open();
    }

    // Prepares the report; the number of recorded pages.
    int Prepare() {
        PrepareReport(Report);
        return Report->Printer() ? Report->Printer()->PageCount() : -1;
    }

    // The bands of a page, runs of one band shortened to "Name*n".
    QString PageBands(int page) const {
        QStringList out;
        QString last;
        int run = 0;
        const auto flush = [&] {
            if (run)
                out << (run > 1 ? last + u'*' + QString::number(run) : last);
        };
        for (const QString& name : Drawn.BandsOn(page)) {
            if (name == last) {
                ++run;
                continue;
            }
            flush();
            last = name;
            run = 1;
        }
        flush();
        return out.join(u' ');
    }

    QObject Owner;
    TDataSet Data;
    Recorder Drawn;
    TRpReport* Report = nullptr;
    TRpBand* Title = nullptr;
    TRpBand* Header = nullptr;
    TRpBand* Detail = nullptr;
    TRpBand* Summary = nullptr;
    TRpBand* Footer = nullptr;
    TRpDBText* NameText = nullptr;
    TRpExpr* Total = nullptr;
    TRpExpr* PageText = nullptr;
};

TEST_F(ReportRun, BandsOnPages) {
    struct Case {
        int Rows;
        QStringList Pages;
        const char* Why;
    };
    const Case cases[] = {
        {1,
         {"Title ColumnHeader Detail Summary PageFooter"},
         "one page carries every band, the last-page footer included"},
        {22,
         {"Title ColumnHeader Detail*22 Summary PageFooter"},
         "after 22 rows 170 tenths are left, enough for the summary"},
        {23,
         {"Title ColumnHeader Detail*23 PageFooter", "ColumnHeader Summary PageFooter"},
         "after 23 rows only 70 are left: the summary opens page 2 below its column header"},
        {48,
         {"Title ColumnHeader Detail*23 PageFooter", "ColumnHeader Detail*25 PageFooter",
          "ColumnHeader Summary PageFooter"},
         "page 2 holds 25 rows, as it has no title"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        Data.Close();
        Data.ClearRows();
        Drawn = Recorder();
        Fill(c.Rows);
        ASSERT_EQ(Prepare(), c.Pages.size());
        for (int page = 1; page <= c.Pages.size(); ++page)
            EXPECT_EQ(PageBands(page), c.Pages[page - 1]) << "page " << page;
        EXPECT_EQ(Drawn.CountBands(QStringLiteral("Detail")), c.Rows);
        EXPECT_EQ(Report->Printer()->Status(), TRpPrinterStatus::Finished);
        Report->ReleasePrinter();
    }
}

TEST_F(ReportRun, PageNumbersAndSummaryOnce) {
    Fill(48);
    auto* pageNo = Add<TRpSysData>(Footer, QStringLiteral("PageNo"), 0, 0, 300, 50);
    pageNo->SetData(rpsPageNumber);
    pageNo->SetText(QStringLiteral("Page "));
    QStringList summaryPrints;
    Total->OnPrint = [&](TRpCustomLabel* sender, QString& value) {
        summaryPrints << sender->objectName() + u'=' + value;
    };
    ASSERT_EQ(Prepare(), 3);
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("PageText")),
              QStringList({"Стр. 1", "Стр. 2", "Стр. 3"}));
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("PageNo")), QStringList({"Page 1", "Page 2", "Page 3"}));
    // 1.5 * (1 + 2 + ... + 48) = 1764, seen once, after the last row.
    EXPECT_EQ(summaryPrints, QStringList({"Total=1764.00"}));
    EXPECT_EQ(Report->PageNumber(), 3);
    EXPECT_EQ(Report->DetailNo(), 48);
    // Between runs the expression shows its text again.
    EXPECT_EQ(Total->Caption(), QStringLiteral("SUM(Amount)"));
}

TEST_F(ReportRun, VetoedPageFooterStillReservesItsHeight) {
    Fill(30);
    std::vector<std::pair<int, bool>> afterPrint;
    Footer->BeforePrint = [&](TRpCustomBand*, bool& printBand) {
        printBand = Report->PageNumber() != 1;
    };
    Footer->AfterPrint = [&](TRpCustomBand*, bool printed) {
        afterPrint.emplace_back(Report->PageNumber(), printed);
    };
    ASSERT_EQ(Prepare(), 2);
    // Page 1 still ends its rows 100 above the bottom margin.
    EXPECT_EQ(PageBands(1), QStringLiteral("Title ColumnHeader Detail*23"));
    EXPECT_EQ(PageBands(2), QStringLiteral("ColumnHeader Detail*7 Summary PageFooter"));
    EXPECT_EQ(afterPrint, (std::vector<std::pair<int, bool>>{{1, false}, {2, true}}));
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("PageText")), QStringList({"Стр. 2"}));
}

// A second page-footer band is not printed, and its height is not kept
// free at the foot of the page: page 1 holds its 23 rows as with one footer.
TEST_F(ReportRun, SecondPageFooterBandIsNotPrinted) {
    AddBand(Report, rbPageFooter, QStringLiteral("SecondFooter"), 300);
    Fill(30);
    ASSERT_EQ(Prepare(), 2);
    EXPECT_EQ(PageBands(1), QStringLiteral("Title ColumnHeader Detail*23 PageFooter"));
    EXPECT_EQ(PageBands(2), QStringLiteral("ColumnHeader Detail*7 Summary PageFooter"));
}

TEST_F(ReportRun, DisabledAndVetoedDetailBandsAndTotals) {
    Fill(4);
    // A vetoed row does not count; a disabled band still lets the
    // aggregates see every row.
    Detail->BeforePrint = [&](TRpCustomBand*, bool& printBand) {
        printBand = Report->DetailNo() != 2;
    };
    QString total;
    Total->OnPrint = [&](TRpCustomLabel*, QString& value) { total = value; };
    Prepare();
    EXPECT_EQ(total, QStringLiteral("12.00")); // 1.5 + 4.5 + 6, row 2 vetoed
    EXPECT_EQ(Drawn.CountBands(QStringLiteral("Detail")), 3);
    Report->ReleasePrinter();

    Detail->SetEnabled(false);
    Prepare();
    EXPECT_EQ(total, QStringLiteral("15.00")); // all four rows
    EXPECT_EQ(Drawn.CountBands(QStringLiteral("Detail")), 3);
}

TEST_F(ReportRun, ForceNewPageAfterTheColumnHeaderMakesNoEmptyPage) {
    Fill(3);
    Detail->SetForceNewPage(true);
    ASSERT_EQ(Prepare(), 3);
    EXPECT_EQ(PageBands(1), QStringLiteral("Title ColumnHeader Detail PageFooter"));
    EXPECT_EQ(PageBands(2), QStringLiteral("ColumnHeader Detail PageFooter"));
    EXPECT_EQ(PageBands(3), QStringLiteral("ColumnHeader Detail Summary PageFooter"));
}

TEST_F(ReportRun, ForceNewPageWithoutTitleOrHeader) {
    // No band before the rows: the first row opens page 1 itself, and the
    // skipped break stays with it, so the second row still gets a new page.
    Fill(2);
    delete Title;
    Header->SetEnabled(false);
    Detail->SetForceNewPage(true);
    ASSERT_EQ(Prepare(), 2);
    EXPECT_EQ(PageBands(1), QStringLiteral("Detail PageFooter"));
    EXPECT_EQ(PageBands(2), QStringLiteral("Detail Summary PageFooter"));
}

TEST_F(ReportRun, EmptyDataSet) {
    Fill(0);
    int beforePrints = 0;
    Detail->BeforePrint = [&](TRpCustomBand*, bool&) { ++beforePrints; };
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(beforePrints, 0);
    EXPECT_TRUE(Drawn.Bands.empty());
    EXPECT_EQ(Report->Printer()->Status(), TRpPrinterStatus::Finished);
    Report->ReleasePrinter();

    Report->SetPrintIfEmpty(true);
    EXPECT_EQ(Prepare(), 1);
    EXPECT_EQ(PageBands(1), QStringLiteral("Title ColumnHeader Detail Summary PageFooter"));
    EXPECT_EQ(beforePrints, 1);
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("NameText")), QStringList());
}

TEST_F(ReportRun, ReportBeforePrintVetoSkipsTheRun) {
    Fill(5);
    Report->BeforePrint = [](TRpCustomReport*, bool& printReport) { printReport = false; };
    EXPECT_EQ(Prepare(), 0);
    EXPECT_TRUE(Drawn.Bands.empty());
    EXPECT_FALSE(Report->Busy());
}

TEST_F(ReportRun, StretchingValueGrowsItsBand) {
    // The program's detail band: 19 px high, the value box at 1 px, 19 px
    // high; three lines need two more line heights.
    Fill(0);
    Data.AppendRow({QStringLiteral("първи\nвтори\nтрети"), 1.0, 1});
    Data.AppendRow({QStringLiteral("един ред"), 2.0, 1});
    Data.Open();
    Detail->SetHeight(19);
    NameText->SetBounds(1, 1, 300, 19);
    NameText->SetAutoStretch(true);
    NameText->Frame().SetAll(true);
    ASSERT_EQ(Prepare(), 1);
    const std::vector<DrawnText> lines = Drawn.DrawnBy(QStringLiteral("NameText"));
    ASSERT_EQ(lines.size(), 4u);
    const double lineHeight = lines[0].Rect.height();
    EXPECT_NEAR(lines[1].Rect.top() - lines[0].Rect.top(), lineHeight, 1e-6);
    std::vector<QRectF> details;
    for (const DrawnBand& b : Drawn.Bands)
        if (b.Name == QStringLiteral("Detail"))
            details.push_back(b.Rect);
    ASSERT_EQ(details.size(), 2u);
    EXPECT_NEAR(details[0].height(), Detail->HeightTenths() + 2 * lineHeight, 1e-6);
    EXPECT_NEAR(details[1].height(), Detail->HeightTenths(), 1e-6);
    // The next row starts below the grown band.
    EXPECT_NEAR(details[1].top(), details[0].bottom(), 1e-6);
    EXPECT_EQ(lines[3].Text, QStringLiteral("един ред"));
}

TEST_F(ReportRun, StretchingValueContinuesOnTheNextPage) {
    // 22 rows leave 170 tenths on page 1: the 23rd row's first line fits in
    // its box, the band cannot grow by the further lines, which continue at
    // the top of page 2 below the column header, framed there too.
    Fill(0);
    for (int i = 1; i <= 22; ++i)
        Data.AppendRow({QStringLiteral("ред %1").arg(i), 1.0, 1});
    Data.AppendRow({QStringLiteral("едно\nдве\nтри\nчетири"), 1.0, 1});
    Data.Open();
    NameText->SetAutoStretch(true);
    Detail->Frame().SetAll(true);
    ASSERT_EQ(Prepare(), 2);
    std::vector<DrawnText> pieces = Drawn.DrawnBy(QStringLiteral("NameText"));
    ASSERT_EQ(pieces.size(), 26u);
    QStringList page1, page2;
    for (const DrawnText& t : pieces) {
        if (!t.Text.startsWith(QStringLiteral("ред")))
            (t.Page == 1 ? page1 : page2) << t.Text;
    }
    const double lineHeight = pieces.back().Rect.height();
    // The box (50 high, plus one pixel) holds whole lines; the band, at
    // 2600, may then grow by whole lines while it stays within 2770.
    const double pixel = 254 / NameText->Dpi();
    const int inBox = int((50 + pixel) / lineHeight);
    const int grown = int((2770 - 2700) / lineHeight);
    EXPECT_EQ(page1.size(), std::min(4, inBox + grown));
    EXPECT_EQ(page1.size() + page2.size(), 4);
    EXPECT_EQ((page1 + page2).join(u' '), QStringLiteral("едно две три четири"));
    EXPECT_EQ(PageBands(1), QStringLiteral("Title ColumnHeader Detail*23 PageFooter"));
    EXPECT_EQ(PageBands(2), QStringLiteral("ColumnHeader Detail Summary PageFooter"));
    // The continued piece starts right below the column header on page 2.
    for (const DrawnBand& b : Drawn.Bands) {
        if (b.Page == 2 && b.Name == QStringLiteral("Detail")) {
            EXPECT_NEAR(b.Rect.top(), 200, 1e-6);
        }
    }
    // The band's frame is drawn around each piece.
    int frames = 0;
    for (const DrawnFrame& f : Drawn.Frames)
        frames += f.Name == QStringLiteral("Detail") && f.Rect.top() >= 2600 - 1e-6;
    EXPECT_EQ(frames, 1);
    int page2Frames = 0;
    for (const DrawnFrame& f : Drawn.Frames)
        page2Frames += f.Name == QStringLiteral("Detail") && f.Page == 2;
    EXPECT_EQ(page2Frames, 1);
}

TEST_F(ReportRun, BottomAlignedSummary) {
    Fill(3);
    Summary->SetAlignBottom(true);
    Prepare();
    for (const DrawnBand& b : Drawn.Bands) {
        if (b.Name == QStringLiteral("Summary")) {
            EXPECT_NEAR(b.Rect.bottom(), 2770, 1e-6); // right above the page footer
        }
    }
    Report->ReleasePrinter();
    // Without the last-page footer nothing is reserved below it.
    Report->Options().LastPageFooter = false;
    Drawn = Recorder();
    Prepare();
    EXPECT_EQ(PageBands(1), QStringLiteral("Title ColumnHeader Detail*3 Summary"));
    for (const DrawnBand& b : Drawn.Bands) {
        if (b.Name == QStringLiteral("Summary")) {
            EXPECT_NEAR(b.Rect.bottom(), 2870, 1e-6); // on the bottom margin
        }
    }
}

TEST_F(ReportRun, TwoColumns) {
    // Two columns of 900 with 100 between: the rows that do not fit in the
    // first column continue in the second, at the columns' top (below the
    // title), under a column header of their own.
    Fill(30);
    Report->Page().SetColumns(2);
    Report->Page().ColumnSpace = 100;
    Detail->SetWidthTenths(900);
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(PageBands(1),
              QStringLiteral("Title ColumnHeader Detail*23 ColumnHeader Detail*7 Summary "
                             "PageFooter"));
    std::vector<QRectF> headers;
    for (const DrawnBand& b : Drawn.Bands)
        if (b.Name == QStringLiteral("ColumnHeader"))
            headers.push_back(b.Rect);
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_NEAR(headers[1].left(), 100 + 900 + 100, 1e-6);
    EXPECT_NEAR(headers[1].top(), 300, 1e-6);
}

TEST_F(ReportRun, GroupHeadersAndFooters) {
    Fill(0);
    for (const char* name : {"А", "А", "Б", "В", "В", "В"})
        Data.AppendRow({QString::fromUtf8(name), 1.0, 1});
    Data.Open();
    auto* group = new TRpGroup(Report);
    group->setObjectName(QStringLiteral("GroupHeader"));
    group->SetHeightTenths(80);
    group->SetExpression(QStringLiteral("Name"));
    group->FooterBand()->SetHeightTenths(80);
    auto* count = Add<TRpExpr>(group->FooterBand(), QStringLiteral("GroupCount"), 0, 0, 300, 50);
    count->SetExpression(QStringLiteral("COUNT"));
    count->SetResetAfterPrint(true);
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(PageBands(1),
              QStringLiteral("Title ColumnHeader GroupHeader Detail*2 GroupFooter GroupHeader "
                             "Detail GroupFooter GroupHeader Detail*3 GroupFooter Summary "
                             "PageFooter"));
    // Each footer counts its own group's rows.
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("GroupCount")), QStringList({"2", "1", "3"}));
}

TEST_F(ReportRun, RowsFromOnNeedDataWithoutADataSet) {
    Report->SetDataSet(nullptr);
    NameText->SetDataField(QString());
    auto* no = Add<TRpSysData>(Detail, QStringLiteral("No"), 0, 50, 300, 50);
    no->SetData(rpsDetailNo);
    int asked = 0;
    Report->OnNeedData = [&](QObject* sender, bool& moreData) {
        EXPECT_EQ(sender, Report);
        moreData = ++asked <= 3;
    };
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("No")), QStringList({"1", "2", "3"}));
    EXPECT_EQ(asked, 4);
}

TEST_F(ReportRun, SubDetailRowsAfterEachRow) {
    Fill(2);
    TDataSet lines;
    lines.setObjectName(QStringLiteral("qrLINES"));
    lines.AddField(QStringLiteral("Item"), TFieldType::String);
    lines.AppendRow({QStringLiteral("болт")});
    lines.AppendRow({QStringLiteral("гайка")});
    lines.Open();
    auto* sub = new TRpSubDetail(Report);
    sub->setObjectName(QStringLiteral("SubDetail"));
    sub->SetHeightTenths(80);
    sub->SetDataSet(&lines);
    auto* item = Add<TRpDBText>(sub, QStringLiteral("Item"), 0, 0, 500, 50);
    item->SetDataSet(&lines);
    item->SetDataField(QStringLiteral("Item"));
    // An expression may name the sub-detail's fields by data set.
    auto* both = Add<TRpExpr>(sub, QStringLiteral("Both"), 600, 0, 900, 50);
    both->SetExpression(QStringLiteral("Name + ': ' + qrLINES.Item"));
    ASSERT_EQ(Prepare(), 1);
    EXPECT_EQ(PageBands(1), QStringLiteral("Title ColumnHeader Detail SubDetail*2 Detail "
                                           "SubDetail*2 Summary PageFooter"));
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("Both")),
              QStringList({"Ред 1: болт", "Ред 1: гайка", "Ред 2: болт", "Ред 2: гайка"}));
}

TEST_F(ReportRun, CancelKeepsThePagesDrawnSoFar) {
    Fill(200);
    Report->OnStartPage = [&](TRpCustomReport*) {
        if (Report->PageNumber() == 3)
            Report->Printer()->RequestCancel();
    };
    const int pages = Prepare();
    EXPECT_TRUE(Report->Cancelled());
    EXPECT_FALSE(Report->Busy());
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(Report->Printer()->Status(), TRpPrinterStatus::Finished);
    // The last page was not ended: no footer on it.
    EXPECT_EQ(PageBands(3).count(QStringLiteral("PageFooter")), 0);
    EXPECT_EQ(Drawn.CountBands(QStringLiteral("Summary")), 0);
}

TEST_F(ReportRun, SecondRunWhileBusyIsRefused) {
    Fill(3);
    int nested = 0;
    Detail->AfterPrint = [&](TRpCustomBand*, bool) {
        TRpPrinter* current = Report->Printer();
        PrepareReport(Report);
        PreviewReport(Report);
        nested += Report->Printer() == current;
    };
    Prepare();
    EXPECT_EQ(nested, 3);
    EXPECT_EQ(Report->Printer()->PageCount(), 1);
}

TEST_F(ReportRun, PrinterReleasedDuringItsRunGoesAfterTheRun) {
    Fill(30);
    QPointer<TRpPrinter> running;
    Report->OnEndPage = [&](TRpCustomReport*) {
        running = Report->Printer();
        Report->ReleasePrinter();
    };
    PrepareReport(Report);
    EXPECT_EQ(Report->Printer(), nullptr);
    EXPECT_TRUE(running.isNull());
}

TEST_F(ReportRun, FailingHandlerEndsTheRunAndPassesTheError) {
    Fill(5);
    Detail->BeforePrint = [&](TRpCustomBand*, bool&) {
        if (Report->DetailNo() == 3)
            throw Exception(QStringLiteral("handler failed"));
    };
    EXPECT_THROW(PrepareReport(Report), Exception);
    EXPECT_FALSE(Report->Busy());
    EXPECT_EQ(Report->Printer()->Status(), TRpPrinterStatus::Finished);
    // The evaluators were released: the next run works.
    Detail->BeforePrint = nullptr;
    EXPECT_EQ(Prepare(), 1);
}

TEST_F(ReportRun, TotalsOnlyRunKeepsEveryValueAndDrawsNothing) {
    Fill(60);
    QStringList full, cheap;
    QStringList* sink = &full;
    Total->OnPrint = [&](TRpCustomLabel*, QString& value) { *sink << value; };
    PageText->OnPrint = [&](TRpCustomLabel*, QString& value) { *sink << value; };
    Prepare();
    Report->ReleasePrinter();
    Drawn = Recorder();
    sink = &cheap;
    PrepareReportTotalsOnly(Report);
    EXPECT_EQ(cheap, full);
    EXPECT_EQ(full.size(), 4); // three page footers and the total
    EXPECT_EQ(Report->Printer()->PageCount(), 0);
    EXPECT_TRUE(Drawn.Bands.empty());
    EXPECT_TRUE(Report->DrawPages());
}

TEST_F(ReportRun, PreparedPagesAndThePrinterObject) {
    Fill(30);
    PrepareReport(Report);
    TRpPrinter* printer = Report->Printer();
    ASSERT_NE(printer, nullptr);
    EXPECT_EQ(printer->Title(), QStringLiteral("Отчет"));
    EXPECT_EQ(printer->Master(), nullptr); // printing prints these pages
    // The report's settings went to the printer object.
    EXPECT_EQ(printer->PageSettings().Copies, 1);
    // No printer here: printing leaves the prepared pages as they were, the
    // printer object still finished and ready to print or save them.
    const int pages = printer->PageCount();
    PrintPreparedPages(printer);
    EXPECT_EQ(printer->Status(), TRpPrinterStatus::Finished);
    EXPECT_EQ(printer->PageCount(), pages);
    EXPECT_GT(pages, 0);
    const QString kept = TestUtil::Scratch().filePath(QStringLiteral("after-print.RPP"));
    printer->SaveReportFile(kept);
    TRpPrinter reader;
    reader.OpenReportFile(kept);
    EXPECT_EQ(reader.PageCount(), pages);
    Report->ReleasePrinter();
    EXPECT_EQ(Report->Printer(), nullptr);

    Report->PrinterSettings().Copies = 3;
    Report->Page().SetOrientation(QPageLayout::Landscape);
    PrepareReport(Report);
    EXPECT_EQ(Report->Printer()->PageSettings().Copies, 3);
    EXPECT_EQ(Report->Printer()->PageSettings().Orientation, QPageLayout::Landscape);
    EXPECT_EQ(Report->Printer()->PaperWidth(), 2970);
}

// Calls act once with the preview window when its run has finished, however
// long a busy machine takes to get there; the timer lives as long as the test.
std::unique_ptr<QTimer> WhenPreviewFinished(std::function<void(TRpStandardPreview*)> act) {
    auto poll = std::make_unique<QTimer>();
    QTimer* timer = poll.get();
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* preview = qobject_cast<TRpStandardPreview*>(w);
                preview && preview->Printer() &&
                preview->Printer()->Status() == TRpPrinterStatus::Finished) {
                timer->stop();
                act(preview);
                return;
            }
    });
    timer->start(10);
    return poll;
}

TEST_F(ReportRun, PreviewRunsUntilTheWindowCloses) {
    Fill(30);
    int previews = 0;
    Report->AfterPreview = [&](TRpCustomReport*) { ++previews; };
    QPointer<TRpPrinter> shown;
    const auto poll = WhenPreviewFinished([&](TRpStandardPreview* preview) {
        shown = preview->Printer();
        EXPECT_EQ(shown->PageCount(), 2);
        preview->close();
    });
    PreviewReport(Report);
    EXPECT_EQ(previews, 1);
    EXPECT_FALSE(shown.isNull()); // released once the event loop runs
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
    EXPECT_EQ(Report->Printer(), nullptr);
}

TEST_F(ReportRun, PrintRequestFromThePreviewRunsTheReportAgain) {
    // The preview's Print asks the report to run towards the printer, with
    // the preview printer object's settings; there is no printer here, so
    // the pages are drawn and dropped.
    Fill(30);
    int printed = 0;
    int runs = 0;
    Report->AfterPrint = [&](TRpCustomReport*) { ++printed; };
    Report->BeforePrint = [&](TRpCustomReport*, bool&) { ++runs; };
    const auto poll = WhenPreviewFinished([&](TRpStandardPreview* preview) {
        preview->PrintClick();
        QCoreApplication::processEvents(); // the posted print request
        preview->close();
    });
    PreviewReport(Report);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(printed, 1);
    EXPECT_FALSE(Report->Busy());
}

TEST_F(ReportRun, ClosingThePreviewDuringTheRunCancelsIt) {
    Fill(3000);
    QPointer<TRpPrinter> shown;
    Report->OnStartPage = [&](TRpCustomReport*) {
        if (Report->PageNumber() != 2)
            return;
        shown = Report->Printer();
        // Closed from inside the run, as a click handled between two rows
        // would close it; a timer could fire only after a short run ended.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* preview = qobject_cast<TRpStandardPreview*>(w))
                preview->close();
    };
    PreviewReport(Report);
    EXPECT_TRUE(Report->Cancelled());
    EXPECT_TRUE(shown.isNull()); // released at once
    EXPECT_EQ(Report->Printer(), nullptr);
}

} // namespace
