// Printables on their own: units and bounds, the line layout (word breaks,
// cut words, paragraphs, auto-size, minimum height), values of data texts,
// expressions and system data, the print event, band alignment, frames and
// the page settings.

#include "ReportTestUtil.h"
#include "RpFontMetrics_p.h"

#include <QDate>
#include <gtest/gtest.h>

#include <cmath>

using namespace ReportTest;

namespace {

TEST(RpUnits, PixelsAndTenths) {
    struct Case {
        double Pixels;
        double Dpi;
        int Zoom;
        double Tenths;
        const char* Why;
    };
    const Case cases[] = {
        {2, 96, 100, 5.2917, "two pixels at 96 dpi are 0.529 mm"},
        {722, 96, 100, 1910.29, "the template's band width, 191.03 mm"},
        {2, 96, 200, 2.6458, "at 200 % a pixel covers half the paper"},
        {96, 96, 100, 254, "an inch of pixels is 25.4 mm"},
        {120, 120, 100, 254, "on a 120 dpi screen too"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        EXPECT_NEAR(RpPixelsToTenths(c.Pixels, c.Dpi, c.Zoom), c.Tenths, 0.005);
        EXPECT_NEAR(RpTenthsToPixels(c.Tenths, c.Dpi, c.Zoom), c.Pixels, 0.005);
    }
    EXPECT_NEAR(RpPointsToTenths(72), 254, 1e-9);
    EXPECT_NEAR(RpTenthsToUnits(1910.29, TRpUnits::Millimetres), 191.029, 1e-9);
    EXPECT_NEAR(RpUnitsToTenths(1, TRpUnits::Inches), 254, 1e-9);
}

TEST(RpUnits, PrintableBoundsConvertAtOnce) {
    TRpReport report;
    auto* band = new TRpBand(&report, rbDetail);
    auto* label = new TRpLabel(band);
    const double dpi = label->Dpi();
    label->SetLeft(2);
    label->SetWidth(101);
    EXPECT_NEAR(label->Size().Left, 2 * 254 / dpi, 1e-9);
    EXPECT_EQ(label->Left(), 2);
    EXPECT_EQ(label->Width(), 101);
    band->SetHeight(19);
    EXPECT_NEAR(band->HeightTenths(), 19 * 254 / dpi, 1e-9);
    EXPECT_EQ(band->Height(), 19);
    // At a zoom of 200 the same pixels are half the paper.
    report.SetZoom(200);
    label->SetLeft(2);
    EXPECT_NEAR(label->Size().Left, 254 / dpi, 1e-9);
    EXPECT_EQ(label->Left(), 2);
}

TEST(RpPage, OrientationAppliesThePaperSizeAgain) {
    TRpPage page;
    EXPECT_EQ(page.Width(), 2100); // A4 by default
    EXPECT_EQ(page.Length(), 2970);
    page.LeftMargin = 120;
    page.SetOrientation(QPageLayout::Landscape);
    EXPECT_EQ(page.Width(), 2970);
    EXPECT_EQ(page.Length(), 2100);
    EXPECT_EQ(page.LeftMargin, 120); // margins stay
    page.SetPaperSize(QPageSize::A5);
    EXPECT_EQ(page.Width(), 2100); // A5 landscape
    EXPECT_EQ(page.Length(), 1480);
    page.SetOrientation(QPageLayout::Portrait);
    EXPECT_EQ(page.Width(), 1480);
    page.SetCustomSize(1000, 3000);
    EXPECT_EQ(page.Length(), 3000);
}

// The layout of one label, its box width given in tenths.
class LineLayout : public ::testing::Test {
protected:
    QStringList Layout(const QString& text, double width, bool wordWrap = true) {
        Label.SetAutoSize(false);
        Label.SetWordWrap(wordWrap);
        Label.SetBoundsTenths(0, 0, width, 60);
        Label.SetCaption(text);
        return Label.FormattedLines();
    }
    double W(const QString& text) const { return TRpFontMetrics::For(Label.Font()).Width(text); }

    TRpLabel Label;
};

TEST_F(LineLayout, WordsBreaksAndCutWords) {
    struct Case {
        QString Text;
        double Width;
        QStringList Lines;
        const char* Why;
    };
    const Case cases[] = {
        {"един два", W("един два"), {"един два"}, "a text as wide as its box fits"},
        {"hello world",
         W("hello ") + W("wor"),
         {"hello ", "world"},
         "words end after their blank, which stays with the word"},
        {"северо-западен",
         std::max(W("северо-"), W("западен")) + 1,
         {"северо-", "западен"},
         "a hyphen ends a word and stays on the first line"},
        {"Abcdefghij",
         W("Abcd") + 0.01,
         {"Abcd"},
         "a long word on an empty line keeps what fits, the rest is dropped"},
        {"Abcdefghij",
         W("Abcd"),
         {"Abc"},
         "on an empty line the cut word stays narrower than the box"},
        {"ab Abcdefghij",
         W("Abcd") + 0.01,
         {"ab ", "Abcd"},
         "after an ended line the word loses characters from its end"},
        {"ab Abcdefghij cd",
         W("Abcd"),
         {"ab ", "Abcd", "cd"},
         "there it may be as wide as the box, and forms a line of its own"},
        {"a\r\nb\nc\rd", 500, {"a", "b", "c", "d"}, "CR LF, LF and CR all end a paragraph"},
        {"", 500, {""}, "an empty text is one empty line"},
        {"x\n\ny", 500, {"x", "", "y"}, "an empty paragraph is an empty line"},
        {"ab cd", 0, {""}, "a box of width 0 drops every word"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        EXPECT_EQ(Layout(c.Text, c.Width), c.Lines);
    }
}

TEST_F(LineLayout, WithoutWordWrapTheLineEndsAtTheFirstWordThatDoesNotFit) {
    EXPECT_EQ(Layout(QStringLiteral("hello world again"), W("hello world"), false),
              QStringList({"hello "}));
}

TEST_F(LineLayout, NeverLowerThanOneLine) {
    Layout(QStringLiteral("x"), 500);
    const TRpFontMetrics& m = TRpFontMetrics::For(Label.Font());
    // Box set 60 high stays; a box of 10 is raised to a line and a pixel.
    EXPECT_NEAR(Label.Size().Height, std::max(60.0, m.Height() + m.PixelTenths()), 1e-9);
    Label.SetBoundsTenths(0, 0, 500, 10);
    EXPECT_NEAR(Label.Size().Height, m.Height() + m.PixelTenths(), 1e-9);
    EXPECT_GT(m.Height(), 30); // 10 pt Arial: about 3.8 mm
}

TEST(RpAutoSize, KeepsTheRightEdgeOrTheCentre) {
    struct Case {
        TAlignment Align;
        bool Frame;
        const char* Why;
    };
    const Case cases[] = {
        {TAlignment::Right, false, "a right-aligned box keeps its right edge"},
        {TAlignment::Center, false, "a centred box keeps its centre"},
        {TAlignment::Left, false, "a left-aligned box keeps its left edge"},
        {TAlignment::Right, true, "frame sides add their width"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        TRpReport report;
        auto* band = new TRpBand(&report, rbTitle);
        auto* label = new TRpLabel(band);
        label->SetAlignment(c.Align);
        label->Frame().SetSides(false, false, c.Frame, c.Frame);
        label->SetBoundsTenths(1000, 0, 300, 50);
        const double right = 1300;
        const double centre = 1150;
        for (const QString& text :
             {QStringLiteral("Сума"), QStringLiteral("Обща сума за периода")}) {
            label->SetCaption(text);
            const double frame = c.Frame ? 2 * label->Frame().WidthTenths(label->Dpi()) : 0;
            const double width = TRpFontMetrics::For(label->Font()).Width(text) + frame;
            EXPECT_NEAR(label->Size().Width, width, 1e-9);
            if (c.Align == TAlignment::Right)
                EXPECT_NEAR(label->Size().Left + label->Size().Width, right, 1e-9);
            else if (c.Align == TAlignment::Center)
                EXPECT_NEAR(label->Size().Left + label->Size().Width / 2, centre, 1e-9);
            else
                EXPECT_NEAR(label->Size().Left, 1000, 1e-9);
        }
    }
}

TEST(RpAutoSize, OnlyWithinAReportAndNotWhileBoundsAreSet) {
    TRpLabel loose;
    loose.SetBoundsTenths(0, 0, 300, 50);
    loose.SetCaption(QStringLiteral("a long caption that is wider than the box"));
    EXPECT_EQ(loose.Size().Width, 300);
    TRpReport report;
    auto* label = new TRpLabel(new TRpBand(&report, rbTitle));
    label->SetCaption(QStringLiteral("abc"));
    label->SetWidth(200); // a width set from outside stays until the text changes
    EXPECT_EQ(label->Width(), 200);
}

TEST(RpMemo, AutoSizeTakesEveryLineAsItIs) {
    TRpReport report;
    auto* memo = new TRpMemo(new TRpBand(&report, rbTitle));
    memo->SetBoundsTenths(0, 0, 100, 50);
    const QStringList lines = {QStringLiteral("Град = София"),
                               QStringLiteral("Сума >= 100 и още едно дълго условие")};
    memo->SetLines(lines);
    EXPECT_EQ(memo->FormattedLines(), lines);
    EXPECT_NEAR(memo->Size().Width, TRpFontMetrics::For(memo->Font()).Width(lines[1]), 1e-9);
    memo->SetAutoSize(false);
    memo->SetWidth(60);
    EXPECT_GT(memo->FormattedLines().size(), 2);
}

TEST(RpBandAlign, FollowsTheBandsEdgeOrCentre) {
    TRpReport report;
    auto* band = new TRpBand(&report, rbDetail);
    band->SetWidthTenths(1000);
    auto* shape = new TRpShape(band);
    shape->SetBoundsTenths(300, 0, 200, 100);
    shape->SetAlignment(TAlignment::Right);
    shape->SetBandAlign(true);
    EXPECT_EQ(shape->Size().Left, 800);
    shape->SetAlignment(TAlignment::Center);
    EXPECT_EQ(shape->Size().Left, 400);
    shape->SetAlignment(TAlignment::Left);
    EXPECT_EQ(shape->Size().Left, 0);
}

TEST(RpFrame, BarThicknessInDevicePixels) {
    struct Case {
        int Width;
        double Factor;
        int Pixels;
        const char* Why;
    };
    const Case cases[] = {
        {1, 96 / 254.0, 1, "1 pt is 1.33 screen pixels: one pixel"},
        {-1, 600 / 254.0, 1, "-1 is one device pixel on any device"},
        {0, 96 / 254.0, 0, "width 0 draws nothing"},
        {3, 600 / 254.0, 25, "3 pt at 600 dpi are 25 pixels"},
        {1, 0.01, 1, "a positive width is at least one pixel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        TRpFrame frame;
        frame.Width = c.Width;
        EXPECT_EQ(frame.DevicePixels(c.Factor), c.Pixels);
    }
    TRpFrame frame;
    frame.SetSides(true, true, false, true);
    QRectF bars[4];
    ASSERT_EQ(frame.Bars(QRectF(10.4, 20, 100, 50), 96 / 254.0, bars), 3);
    EXPECT_EQ(bars[0], QRectF(10, 20, 100, 1)); // top, along the top edge
    EXPECT_EQ(bars[1], QRectF(10, 69, 100, 1)); // bottom, inside the bottom edge
    EXPECT_EQ(bars[2], QRectF(109, 20, 1, 50)); // right, inside the right edge
}

TEST(RpCaptions, BetweenRuns) {
    TRpSysData sys;
    sys.SetData(rpsReportTitle);
    EXPECT_EQ(sys.Caption(), QStringLiteral("(Report title)"));
    sys.SetText(QStringLiteral("No "));
    sys.SetData(rpsDetailNo);
    EXPECT_EQ(sys.Caption(), QStringLiteral("No (Detail no)"));
    TRpExpr expr;
    EXPECT_EQ(expr.Caption(), QStringLiteral("(none)"));
    expr.SetExpression(QStringLiteral("SUM(Amount)"));
    EXPECT_EQ(expr.Caption(), QStringLiteral("SUM(Amount)"));
    // Outside a run the expression is not compiled.
    EXPECT_THROW(expr.Value(), Exception);
}

// Values printed by a one-band report over one row.
class PrintedValues : public ::testing::Test {
protected:
    void SetUp() override {
        Data.setObjectName(QStringLiteral("qrDATA"));
        Data.AddField(QStringLiteral("Count"), TFieldType::Integer);
        Data.AddField(QStringLiteral("Code"), TFieldType::String);
        Data.AddField(QStringLiteral("Price"), TFieldType::Float);
        Data.AddField(QStringLiteral("Day"), TFieldType::Date);
        Data.AddField(QStringLiteral("Moment"), TFieldType::DateTime);
        Data.AddField(QStringLiteral("Notes"), TFieldType::Memo);
        Data.AddField(QStringLiteral("Empty"), TFieldType::Float);
        Data.AppendRow({3, QStringLiteral("0042"), 1234.5, QDate(2024, 2, 29),
                        QDateTime(QDate(2024, 3, 1), QTime(14, 5)),
                        QStringLiteral("първи ред\nвтори ред"), QVariant()});
        Data.Open();
        Report.SetDataSet(&Data);
        Report.SetObserver(&Drawn);
        Detail = AddBand(&Report, rbDetail, QStringLiteral("Detail"), 400);
    }

    // What a data text prints for a field and mask.
    QStringList PrintField(const QString& field, const QString& mask) {
        auto* text = Add<TRpDBText>(Detail, QStringLiteral("Value"), 0, 0, 1500, 200);
        text->SetAutoSize(false);
        text->SetDataField(field);
        text->SetMask(mask);
        Drawn = Recorder();
        PrepareReport(&Report);
        Report.ReleasePrinter();
        delete text;
        return Drawn.TextsOf(QStringLiteral("Value"));
    }

    TDataSet Data;
    TRpReport Report;
    Recorder Drawn;
    TRpBand* Detail = nullptr;
};

TEST_F(PrintedValues, DataTexts) {
    struct Case {
        QString Field;
        QString Mask;
        QStringList Printed;
        const char* Why;
    };
    const Case cases[] = {
        {"Count", "0.00", {"3.00"}, "a whole-number field takes the number picture"},
        {"Code", "0.00", {"0042"}, "on a text field the mask is ignored"},
        {"Price", "", {"1234.5"}, "without a mask the display text prints"},
        {"Price", "#,##0.00", {"1,234.50"}, "a float with grouping and two decimals"},
        {"Day", "dd.mm.yyyy", {"29.02.2024"}, "a date field takes the date-time picture"},
        {"Moment", "c", {"01.03.2024 14:05"}, "\"c\" is the short date and the time"},
        {"Empty", "0.00", {}, "a missing value prints nothing, not 0.00"},
        {"NoSuchField", "", {}, "a field that is not there prints nothing"},
        {"Notes", "", {"първи ред", "втори ред"}, "a memo field prints its lines"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        EXPECT_EQ(PrintField(c.Field, c.Mask), c.Printed);
    }
}

TEST_F(PrintedValues, ExpressionsAndTheirPrintEvent) {
    struct Case {
        QString Expression;
        QString Mask;
        QString Printed;
        const char* Why;
    };
    const Case cases[] = {
        {"7/2", "", "3.5", "an empty mask gives the general number format"},
        {"Price*2", "", "2469", "a float without decimals prints as a whole number"},
        {"7", "#,##0.00", "7.00", "a mask formats an integer result"},
        {"'Стр. ' + 3", "0.00", "Стр. 3", "a text result prints as it is"},
        {"", "", " ", "an empty expression prints one blank"},
        {"Price > 1000", "", "True", "a boolean prints True or False"},
        {"[Count] + 1", "", "4", "Count alone would be the COUNT function"},
        {"[Code]", "", "0042", "a field named in brackets"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        auto* expr = Add<TRpExpr>(Detail, QStringLiteral("Expr"), 0, 0, 1500, 60);
        expr->SetAutoSize(false);
        expr->SetExpression(c.Expression);
        expr->SetMask(c.Mask);
        QStringList seen;
        expr->OnPrint = [&](TRpCustomLabel* sender, QString& value) {
            seen << sender->objectName() + u':' + value;
        };
        PrepareReport(&Report);
        Report.ReleasePrinter();
        EXPECT_EQ(seen, QStringList{QStringLiteral("Expr:") + c.Printed});
        delete expr;
    }
}

TEST_F(PrintedValues, PrintEventReplacesTheTextForOnePrint) {
    auto* label = Add<TRpLabel>(Detail, QStringLiteral("Label"), 0, 0, 1500, 60);
    label->SetAutoSize(false);
    label->SetCaption(QStringLiteral("обикновен"));
    label->OnPrint = [](TRpCustomLabel*, QString& value) { value = QStringLiteral("заменен"); };
    auto* empty = Add<TRpLabel>(Detail, QStringLiteral("Empty"), 0, 100, 1500, 60);
    int emptyCalls = 0;
    empty->OnPrint = [&](TRpCustomLabel*, QString&) { ++emptyCalls; };
    PrepareReport(&Report);
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("Label")), QStringList({"заменен"}));
    EXPECT_EQ(label->Caption(), QStringLiteral("обикновен"));
    EXPECT_EQ(label->PrintText(), QStringLiteral("обикновен"));
    EXPECT_EQ(emptyCalls, 0); // no event for an empty text
    Report.ReleasePrinter();
}

TEST_F(PrintedValues, SystemData) {
    for (int i = 0; i < 2; ++i)
        Data.AppendRow({i, QString(), 0.0, QDate(), QDateTime(), QString(), QVariant()});
    Report.SetReportTitle(QStringLiteral("Заглавие"));
    const auto add = [&](const QString& name, TRpSysDataType kind, double top) {
        auto* sys = Add<TRpSysData>(Detail, name, 0, top, 1500, 60);
        sys->SetAutoSize(false);
        sys->SetData(kind);
        return sys;
    };
    add(QStringLiteral("No"), rpsDetailNo, 0)->SetText(QStringLiteral("№ "));
    add(QStringLiteral("Count"), rpsDetailCount, 60);
    add(QStringLiteral("Title"), rpsReportTitle, 120);
    add(QStringLiteral("Date"), rpsDate, 180);
    add(QStringLiteral("Page"), rpsPageNumber, 240);
    PrepareReport(&Report);
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("No")), QStringList({"№ 1", "№ 2", "№ 3"}));
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("Count")), QStringList({"3", "3", "3"}));
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("Title")).value(0), QStringLiteral("Заглавие"));
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("Date")).value(0),
              QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
    EXPECT_EQ(Drawn.TextsOf(QStringLiteral("Page")).value(0), QStringLiteral("1"));
    Report.ReleasePrinter();
}

} // namespace
