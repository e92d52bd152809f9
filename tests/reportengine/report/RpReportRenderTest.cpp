// A report laid out like the program's inquiry report (title, framed column
// header, ruled detail rows, totals, page footer), prepared and rendered to
// images. Set VEXAL_REPORT_PNG to a folder to keep the pages as PNG files.

#include "ReportTestUtil.h"
#include "RpReportRun_p.h"

#include <QDate>
#include <QDir>
#include <gtest/gtest.h>

using namespace ReportTest;

namespace {

struct Column {
    const char* Field;
    const char* Title;
    int Width; // pixels
    TAlignment Align;
    const char* Mask;
    const char* Sum;
};

const Column Columns[] = {
    {"Number", "Номер", 60, TAlignment::Right, "", ""},
    {"Name", "Клиент", 200, TAlignment::Left, "", "COUNT"},
    {"Town", "Град", 120, TAlignment::Left, "", ""},
    {"Day", "Дата", 90, TAlignment::Center, "dd.mm.yyyy", ""},
    {"Amount", "Сума", 110, TAlignment::Right, "### ##0.00", "SUM(Amount)"},
};

// Builds the report on data; returns the report.
TRpReport* BuildSample(TDataSet& data, QObject* owner) {
    auto* report = new TRpReport(owner);
    report->setObjectName(QStringLiteral("RpSpravka"));
    report->SetDataSet(&data);
    report->SetReportTitle(QStringLiteral("Справка за плащанията на клиентите"));
    report->Page().SetMarginsMm(12, 10, 7, 8);

    auto* title = new TRpBand(report, rbTitle);
    title->setObjectName(QStringLiteral("RpBand1"));
    title->SetWidth(722);
    title->SetHeight(62);
    auto* titleText = new TRpSysData(title);
    titleText->setObjectName(QStringLiteral("RpSysData3"));
    titleText->SetData(rpsReportTitle);
    titleText->SetFont(QFont(QStringLiteral("Arial"), 16, QFont::Bold));
    titleText->SetAutoSize(false);
    titleText->SetTransparent(true);
    titleText->SetAlignment(TAlignment::Center);
    titleText->SetBounds(14, 0, 624, 28);
    auto* date = new TRpLabel(title);
    date->setObjectName(QStringLiteral("lbCurDate"));
    date->SetFont(QFont(QStringLiteral("Arial"), 10, QFont::Bold));
    date->SetAlignment(TAlignment::Right);
    date->SetTransparent(true);
    date->SetBounds(642, 0, 64, 17);
    date->SetCaption(QStringLiteral("08.12.2025"));
    auto* memo = new TRpMemo(title);
    memo->setObjectName(QStringLiteral("RpMemoRelations"));
    memo->SetBounds(6, 37, 110, 19);
    memo->SetAutoStretch(true);
    memo->SetLines({QStringLiteral("Град = София"), QStringLiteral("Сума >= 100")});

    auto* header = new TRpBand(report, rbColumnHeader);
    header->setObjectName(QStringLiteral("ColumnHeaderBand1"));
    header->SetWidth(722);
    header->SetHeight(36);
    header->SetColor(QColor(192, 192, 192));
    header->Frame().SetAll(true);
    auto* detail = new TRpBand(report, rbDetail);
    detail->setObjectName(QStringLiteral("DetailBand1"));
    detail->SetWidth(722);
    detail->SetHeight(19);
    detail->Frame().SetSides(false, true, true, true);
    auto* summary = new TRpBand(report, rbSummary);
    summary->setObjectName(QStringLiteral("SummaryBand1"));
    summary->SetWidth(722);
    summary->SetHeight(36);
    summary->SetColor(QColor(255, 255, 225));
    summary->Frame().SetAll(true);
    auto* footer = new TRpBand(report, rbPageFooter);
    footer->setObjectName(QStringLiteral("PageFooterBand1"));
    footer->SetWidth(722);
    footer->SetHeight(23);
    auto* pageNumber = new TRpExpr(footer);
    pageNumber->setObjectName(QStringLiteral("rpsPageNum"));
    pageNumber->SetExpression(QStringLiteral("'Стр. ' + PAGENUMBER"));
    pageNumber->SetFont(QFont(QStringLiteral("Arial"), 9));
    pageNumber->SetAlignment(TAlignment::Right);
    pageNumber->SetWordWrap(false);
    pageNumber->SetAutoSize(false);
    pageNumber->SetBounds(619, 2, 76, 17);
    auto* bottomTitle = new TRpLabel(footer);
    bottomTitle->setObjectName(QStringLiteral("lbBottomTitle"));
    bottomTitle->SetFont(QFont(QStringLiteral("Arial"), 8));
    bottomTitle->SetAutoSize(false);
    bottomTitle->SetBounds(10, 3, 598, 17);
    bottomTitle->SetCaption(report->ReportTitle() + QStringLiteral(" [08.12.2025 10:15]"));

    int x = 1;
    int k = 1;
    for (const Column& c : Columns) {
        auto* label = new TRpLabel(header);
        label->setObjectName(QStringLiteral("RpLabel%1").arg(k));
        label->SetFont(QFont(QStringLiteral("Arial"), 9));
        label->SetAutoSize(false);
        label->SetTransparent(true);
        label->SetAlignment(TAlignment::Center);
        label->SetBounds(x, 3, c.Width, 30);
        label->SetCaption(QString::fromUtf8(c.Title));
        auto* text = new TRpDBText(detail);
        text->setObjectName(QStringLiteral("RpDBText%1").arg(k));
        text->SetAutoSize(false);
        text->SetBounds(x, 1, c.Width, 19);
        text->SetDataField(QString::fromUtf8(c.Field));
        text->SetMask(QString::fromUtf8(c.Mask));
        text->SetAlignment(c.Align);
        auto* shape = new TRpShape(detail);
        shape->setObjectName(QStringLiteral("RpShape%1").arg(k));
        shape->SetBounds(x + c.Width + 1, -36, 1, 55);
        auto* sum = new TRpExpr(summary);
        sum->setObjectName(QStringLiteral("RpExpr%1").arg(k));
        sum->SetBounds(x, 8, c.Width, 19);
        sum->SetAutoSize(false);
        sum->SetExpression(QString::fromUtf8(c.Sum));
        sum->SetMask(QString::fromUtf8(c.Mask));
        sum->SetAlignment(c.Align == TAlignment::Center ? TAlignment::Left : c.Align);
        x += c.Width + 2;
        ++k;
    }
    return report;
}

void FillSample(TDataSet& data, int rows) {
    data.setObjectName(QStringLiteral("qrDATA"));
    data.AddField(QStringLiteral("Number"), TFieldType::Integer);
    data.AddField(QStringLiteral("Name"), TFieldType::String);
    data.AddField(QStringLiteral("Town"), TFieldType::String);
    data.AddField(QStringLiteral("Day"), TFieldType::Date);
    data.AddField(QStringLiteral("Amount"), TFieldType::Float);
    const QStringList names = {QStringLiteral("Иван Петров"), QStringLiteral("Мария Георгиева"),
                               QStringLiteral("Acme Trading Ltd."),
                               QStringLiteral("Кооперация „Напредък“ – Габрово"),
                               QStringLiteral("Стоян Иванов Стоянов")};
    const QStringList towns = {QStringLiteral("София"), QStringLiteral("Пловдив"),
                               QStringLiteral("Варна"), QStringLiteral("Велико Търново")};
    for (int i = 0; i < rows; ++i)
        data.AppendRow({1000 + i, names[i % names.size()], towns[i % towns.size()],
                        QDate(2025, 1, 1).addDays(i * 3), 125.5 * (i % 7) + 0.25 * i});
    data.Open();
}

TEST(RpReportRender, SampleReportLooksLikeAPrintedReport) {
    TDataSet data;
    FillSample(data, 120);
    QObject owner;
    TRpReport* report = BuildSample(data, &owner);
    PrepareReport(report);
    TRpPrinter* printer = report->Printer();
    ASSERT_NE(printer, nullptr);
    ASSERT_EQ(printer->Status(), TRpPrinterStatus::Finished);
    ASSERT_GE(printer->PageCount(), 2);

    const QString folder = qEnvironmentVariable("VEXAL_REPORT_PNG");
    for (int page : {1, printer->PageCount()}) {
        const QImage image = RenderPage(*printer, page);
        // Ink on the page, and the paper's edges (outside the margins) blank.
        int dark = 0;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                dark += qGray(image.pixel(x, y)) < 128;
        EXPECT_GT(dark, 500) << "page " << page;
        for (int y = 0; y < image.height(); ++y)
            EXPECT_EQ(image.pixel(5, y), qRgb(255, 255, 255)) << "left edge, row " << y;
        if (!folder.isEmpty())
            image.save(QDir(folder).filePath(QStringLiteral("report_page%1.png").arg(page)));
    }
    report->ReleasePrinter();
}

TEST(RpReportRender, SeparatorLinesRunFromTheColumnHeaderToTheLastRow) {
    // Each row's separator shapes reach 36 px up, the height of the column
    // header, so on the page they join into unbroken vertical lines.
    TDataSet data;
    FillSample(data, 20);
    QObject owner;
    TRpReport* report = BuildSample(data, &owner);
    ReportTest::Recorder drawn;
    report->SetObserver(&drawn);
    PrepareReport(report);
    TRpPrinter* printer = report->Printer();
    ASSERT_EQ(printer->PageCount(), 1);
    const QImage image = RenderPage(*printer, 1);
    double top = 0;
    double bottom = 0;
    for (const DrawnBand& band : drawn.Bands) {
        if (band.Name == QStringLiteral("ColumnHeaderBand1"))
            top = band.Rect.top();
        if (band.Name == QStringLiteral("DetailBand1"))
            bottom = band.Rect.bottom();
    }
    const double factor = printer->XFactor();
    const double left = report->Page().LeftMargin;
    // The separator after the first column: band left + 1 + 60 + 1 px.
    const int x = qRound(left * factor + 62 * factor * 254 / report->Dpi());
    int breaks = 0;
    for (int y = qRound(top * factor) + 2; y < qRound(bottom * factor) - 1; ++y)
        breaks += qGray(image.pixel(x, y)) > 100;
    EXPECT_EQ(breaks, 0);
    // The column's own cells, right of the line, are not black.
    EXPECT_GT(qGray(image.pixel(x + 3, qRound(bottom * factor) - 4)), 100);
    report->ReleasePrinter();
}

TEST(RpReportRender, FillsLeftOutChangeNoPixel) {
    // Box and band fills that would only repaint the band's colour, or white
    // paper nothing was drawn on, are left out of the pages; the pages must
    // look exactly as with every fill drawn. Stretched memo lines, opaque
    // boxes on a coloured band and separators crossing bands are all here.
    TDataSet data;
    FillSample(data, 70);
    QObject owner;
    TRpReport* report = BuildSample(data, &owner);
    // A black block reaching below its row (the next row's white band must
    // cover it), and an opaque empty label on it (its white must show).
    TRpCustomBand* detail = report->FindBand(rbDetail);
    auto* block = new TRpShape(detail);
    block->SetBounds(650, 5, 30, 30);
    block->SetBrush(QBrush(Qt::black));
    auto* cover = new TRpLabel(detail);
    cover->SetAutoSize(false);
    cover->SetBounds(660, 2, 40, 10);
    std::vector<QImage> pages[2];
    for (int keep = 0; keep < 2; ++keep) {
        TRpPrintContext::KeepAllFills = keep == 1;
        PrepareReport(report);
        for (int page = 1; page <= report->Printer()->PageCount(); ++page)
            pages[keep].push_back(RenderPage(*report->Printer(), page));
        report->ReleasePrinter();
    }
    TRpPrintContext::KeepAllFills = false;
    ASSERT_EQ(pages[0].size(), pages[1].size());
    for (size_t i = 0; i < pages[0].size(); ++i)
        EXPECT_TRUE(pages[0][i] == pages[1][i]) << "page " << i + 1;
}

} // namespace
