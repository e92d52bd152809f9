// Laying the report template out from an inquiry window: slot positions
// from the grid's columns, settings from the catalogue, the 40-slot limit,
// the failures the layout absorbs, an empty result, and the report options.

#include "ReportGenFixture.h"

#include "Exception.h"

#include <QApplication>
#include <QTimer>

namespace {

class GenerateTest : public ReportGenTest {};

// Three December sales: invoice, date and amount, as the "Продажби"
// subject names its columns.
const QString ThreeSales =
    QStringLiteral("SELECT InvoiceNo AS \"Фактура\", SaleDate AS \"Дата\", Amount AS \"Сума\" "
                   "FROM Sales WHERE SaleID <= 3 ORDER BY SaleID");

const QList<TShownColumn> WorkedColumns = {
    {QStringLiteral("Фактура"), QStringLiteral("Фактура"), 64},
    {QStringLiteral("Дата"), QStringLiteral("Дата"), 100},
    {QStringLiteral("Сума"), QStringLiteral("Сума"), 80},
};

bool SlotEnabled(TRpSpravkaForm& form, int k) {
    return form.RpLabel(k)->Enabled() || form.RpDBText(k)->Enabled() || form.RpExpr(k)->Enabled() ||
           form.RpShape(k)->Enabled();
}

} // namespace

TEST_F(GenerateTest, SlotsStandSideBySideAtTheGridWidths) {
    struct Slot {
        int Left, Separator;
    };
    struct Case {
        bool RowNumbers;
        Slot Slots[3];
    } const cases[] = {
        // Row numbers take 1..35 with their line at the right edge; each
        // column starts 2 px after the previous right edge, its separator
        // 1 px after its own right edge.
        {true, {{37, 102}, {103, 204}, {205, 286}}},
        // Without row numbers the first column starts at 1 px.
        {false, {{1, 66}, {67, 168}, {169, 250}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.RowNumbers ? "row numbers on" : "row numbers off");
        TTestWindow w;
        w.RowNumbers = c.RowNumbers;
        w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
        w.ShowResult(ThreeSales, WorkedColumns);
        w.Form.Generate(w);

        EXPECT_EQ(w.Form.lbRowNumber->Enabled(), c.RowNumbers);
        EXPECT_EQ(w.Form.lblRowNumber->Enabled(), c.RowNumbers);
        EXPECT_EQ(w.Form.lblRowNumber->Width(), 35);
        for (int k = 1; k <= 3; ++k) {
            const Slot& s = c.Slots[k - 1];
            const int width = WorkedColumns[k - 1].Width;
            EXPECT_EQ(w.Form.RpLabel(k)->Left(), s.Left) << k;
            EXPECT_EQ(w.Form.RpLabel(k)->Width(), width) << k;
            EXPECT_EQ(w.Form.RpDBText(k)->Left(), s.Left) << k;
            EXPECT_EQ(w.Form.RpDBText(k)->Width(), width) << k;
            EXPECT_EQ(w.Form.RpExpr(k)->Left(), s.Left) << k;
            EXPECT_EQ(w.Form.RpExpr(k)->Width(), width) << k;
            EXPECT_EQ(w.Form.RpShape(k)->Left(), s.Separator) << k;
            EXPECT_TRUE(SlotEnabled(w.Form, k)) << k;
        }
        EXPECT_FALSE(SlotEnabled(w.Form, 4));
    }
}

TEST_F(GenerateTest, SlotSettingsComeFromTheColumnsCatalogueRow) {
    TTestWindow w;
    w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
    w.CatalogueQuery.SetRecNo(3);
    w.ShowResult(ThreeSales, WorkedColumns);
    w.Conditions = {QStringLiteral("Дата >= 01.12.2024"), QStringLiteral("Плащане = Карта")};
    w.Form.Generate(w);

    struct Expect {
        const char* Title;
        const char* Expression;
        const char* Mask;
        TAlignment Alignment;
    } const columnsExpected[] = {
        // The demo catalogue's rows 302, 303 and 310 of "Продажби".
        {"Фактура", "", "", TAlignment::Left},                        // Align 0
        {"Дата", "", "dd.mm.yyyy", TAlignment::Center},               // Align 2
        {"Сума", "SUM([Сума])", "### ### ##0.00", TAlignment::Right}, // Align 1
    };
    for (int k = 1; k <= 3; ++k) {
        const Expect& e = columnsExpected[k - 1];
        EXPECT_EQ(w.Form.RpLabel(k)->Caption(), QString::fromUtf8(e.Title));
        EXPECT_EQ(w.Form.RpLabel(k)->Alignment(), TAlignment::Center) << "headers stay centred";
        EXPECT_EQ(w.Form.RpDBText(k)->DataField(), QString::fromUtf8(e.Title));
        EXPECT_EQ(w.Form.RpExpr(k)->Expression(), QString::fromUtf8(e.Expression));
        EXPECT_EQ(w.Form.RpExpr(k)->Mask(), QString::fromUtf8(e.Mask));
        EXPECT_EQ(w.Form.RpDBText(k)->Mask(), QString::fromUtf8(e.Mask));
        EXPECT_EQ(w.Form.RpDBText(k)->Alignment(), e.Alignment) << k;
        EXPECT_EQ(w.Form.RpExpr(k)->Alignment(), e.Alignment) << k;
    }
    EXPECT_EQ(w.Form.RpSpravka->ReportTitle(), w.Title);
    EXPECT_EQ(w.Form.RpMemoRelations->Lines(), w.Conditions);
    // The bottom line: title, blank, date and time in brackets.
    EXPECT_EQ(w.Form.lbBottomTitle->Caption(), w.Title + QStringLiteral(" [") +
                                                   w.Form.lbCurDate->Caption() + u' ' +
                                                   w.Form.lbCurTime->Caption() + u']');
    EXPECT_FALSE(w.Form.lbCurDate->Caption().isEmpty());
    // The catalogue is back on the user's row.
    EXPECT_EQ(w.CatalogueQuery.RecNo(), 3);
    EXPECT_TRUE(Messages.isEmpty());
}

TEST_F(GenerateTest, NarrowerInquiryTurnsTheLeftOverSlotsOff) {
    TTestWindow w;
    w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
    w.ShowResult(ThreeSales, WorkedColumns);
    w.Form.Generate(w);
    ASSERT_TRUE(SlotEnabled(w.Form, 3));
    w.ShowResult(ThreeSales, WorkedColumns.mid(0, 2));
    w.Form.Generate(w);
    EXPECT_TRUE(SlotEnabled(w.Form, 2));
    EXPECT_FALSE(SlotEnabled(w.Form, 3));
}

TEST_F(GenerateTest, FortyOneColumnsPrintTheFirstForty) {
    QStringList values;
    QList<TShownColumn> columns;
    for (int i = 1; i <= 41; ++i) {
        values << QStringLiteral("%1 AS c%1").arg(i);
        columns << TShownColumn{QStringLiteral("c%1").arg(i), QStringLiteral("К%1").arg(i), 40};
    }
    TTestWindow w;
    w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
    w.ShowResult(QStringLiteral("SELECT ") + values.join(QStringLiteral(", ")) +
                     QStringLiteral(" FROM Sales WHERE SaleID = 1"),
                 columns);
    w.Form.Generate(w);
    for (int k = 1; k <= 40; ++k)
        EXPECT_TRUE(w.Form.RpDBText(k)->Enabled()) << k;
    // 37 + 39 * 42: placed by the arithmetic, far beyond the band's edge.
    EXPECT_EQ(w.Form.RpDBText(40)->Left(), 1675);
    EXPECT_EQ(w.Form.RpDBText(40)->DataField(), QStringLiteral("c40"));

    TRunRecorder recorder;
    w.Form.RpSpravka->SetObserver(&recorder);
    PrepareReport(w.Form.RpSpravka);
    w.Form.RpSpravka->ReleasePrinter();
    w.Form.RpSpravka->SetObserver(nullptr);
    EXPECT_EQ(recorder.TextsOf(QStringLiteral("RpDBText40")), QStringList{QStringLiteral("1:40")});
    for (const TRunRecorder::Text& t : recorder.Texts)
        EXPECT_NE(t.Value, QStringLiteral("41")) << t.Name.toStdString();
    // No catalogue row for these columns: every summary is the blank.
    ASSERT_EQ(w.Form.Totals.size(), 40);
    EXPECT_EQ(w.Form.Totals, QStringList(40, QStringLiteral(" ")));
}

TEST_F(GenerateTest, AlignmentOutsideTheThreeKeepsTheEarlierOne) {
    struct Case {
        const char* First;
        const char* Second;
        TAlignment Expected;
    } const cases[] = {
        {"1", "3", TAlignment::Right},   // 3 names no alignment: right stays
        {"2", "-1", TAlignment::Center}, // nor does a negative value
        {"1", "0", TAlignment::Left},    // 0 is left
        {"1", "NULL", TAlignment::Left}, // an empty value reads as 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.First) + " then " + c.Second);
        TTestWindow w;
        w.ShowResult(ThreeSales, WorkedColumns.mid(2, 1));
        for (const char* align : {c.First, c.Second}) {
            w.OpenCatalogue(QStringLiteral("SELECT 'Сума' AS BGColName, '' AS Suma, '' AS Mask, "
                                           "%1 AS Align, 0 AS AutoStretch")
                                .arg(QLatin1String(align)));
            w.Form.Generate(w);
        }
        EXPECT_EQ(w.Form.RpDBText(1)->Alignment(), c.Expected);
        EXPECT_EQ(w.Form.RpExpr(1)->Alignment(), c.Expected);
    }
}

TEST_F(GenerateTest, ColumnWithoutCatalogueRowPrintsPlainAlignedByItsField) {
    TTestWindow w;
    // First a layout where the slots carry masks and totals ...
    w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
    w.ShowResult(ThreeSales, WorkedColumns.mid(1, 2));
    w.Form.Generate(w);
    ASSERT_EQ(w.Form.RpExpr(2)->Mask(), QStringLiteral("### ### ##0.00"));
    // ... then columns the catalogue does not show: the search stops at the
    // catalogue's end and the slots lose what the earlier layout gave them.
    w.CatalogueQuery.SetRecNo(2);
    w.ShowResult(QStringLiteral("SELECT Operator AS \"Служител\", Amount AS \"Оборот\" FROM Sales "
                                "WHERE SaleID <= 3"),
                 {{QStringLiteral("Служител"), QStringLiteral("Служител"), 90},
                  {QStringLiteral("Оборот"), QStringLiteral("Оборот"), 90}});
    w.Form.Generate(w);
    struct Expect {
        int Slot;
        TAlignment Alignment;
    } const columnsExpected[] = {
        {1, TAlignment::Left},  // a text column
        {2, TAlignment::Right}, // a number
    };
    for (const Expect& e : columnsExpected) {
        EXPECT_TRUE(w.Form.RpExpr(e.Slot)->Enabled());
        EXPECT_EQ(w.Form.RpExpr(e.Slot)->Expression(), QString());
        EXPECT_EQ(w.Form.RpExpr(e.Slot)->Mask(), QString());
        EXPECT_EQ(w.Form.RpDBText(e.Slot)->Mask(), QString());
        EXPECT_FALSE(w.Form.RpDBText(e.Slot)->AutoStretch());
        EXPECT_EQ(w.Form.RpDBText(e.Slot)->Alignment(), e.Alignment) << e.Slot;
        EXPECT_EQ(w.Form.RpExpr(e.Slot)->Alignment(), e.Alignment) << e.Slot;
    }
    EXPECT_EQ(w.CatalogueQuery.RecNo(), 2);
}

TEST_F(GenerateTest, LayoutFailureStopsSilentlyAndTheConditionsStillShow) {
    struct Case {
        const char* Why;
        const char* Catalogue;
        bool FirstTotalOn; // how far the failing slot got
    } const cases[] = {
        {"catalogue without Suma", "SELECT BGColName, Mask, Align, AutoStretch FROM Relations",
         false},
        {"Align that is no number",
         "SELECT BGColName, Suma, Mask, 'abc' AS Align, AutoStretch FROM Relations", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        TTestWindow w;
        w.Conditions = {QStringLiteral("Плащане = Банка")};
        w.OpenCatalogue(QLatin1String(c.Catalogue) +
                        QStringLiteral(" WHERE BGTableName = 'Продажби' ORDER BY N"));
        w.CatalogueQuery.SetRecNo(4);
        w.ShowResult(ThreeSales, WorkedColumns);
        w.Form.Generate(w);
        // The failing slot keeps what was set before the failure ...
        EXPECT_TRUE(w.Form.RpLabel(1)->Enabled());
        EXPECT_TRUE(w.Form.RpDBText(1)->Enabled());
        EXPECT_TRUE(w.Form.RpShape(1)->Enabled());
        EXPECT_EQ(w.Form.RpExpr(1)->Enabled(), c.FirstTotalOn);
        // ... the later ones stay off, the rest of Generate still runs.
        EXPECT_FALSE(SlotEnabled(w.Form, 2));
        EXPECT_EQ(w.Form.RpMemoRelations->Lines(), w.Conditions);
        EXPECT_EQ(w.CatalogueQuery.RecNo(), 4);
        EXPECT_TRUE(Messages.isEmpty());
    }
}

TEST_F(GenerateTest, ModifiedInquiryRunsBeforeTheLayout) {
    TTestWindow w;
    w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
    w.ShowResult(ThreeSales, WorkedColumns);
    w.Modified = true;
    // The run brings a result with other columns.
    w.OnRun = [&] { w.ShowResult(ThreeSales, {WorkedColumns[2], WorkedColumns[0]}); };
    w.Form.Generate(w);
    EXPECT_EQ(w.Runs, 1);
    EXPECT_EQ(w.Form.RpLabel(1)->Caption(), QStringLiteral("Сума"));
    EXPECT_EQ(w.Form.RpLabel(2)->Caption(), QStringLiteral("Фактура"));
    EXPECT_FALSE(SlotEnabled(w.Form, 3));
}

TEST_F(GenerateTest, CatalogueRowAfterARunThatMovedIt) {
    struct Case {
        const char* Why;
        bool Rows;
        int RecNo;
    } const cases[] = {
        // The layout walked the catalogue: the user's row comes back.
        {"result with rows", true, 4},
        // Generate stops before the layout and leaves the catalogue where
        // the run put it (a run refused for a missing mandatory condition
        // points at that column).
        {"empty result", false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        TTestWindow w;
        w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
        w.CatalogueQuery.SetRecNo(4);
        w.Modified = true;
        w.OnRun = [&] {
            w.CatalogueQuery.SetRecNo(2);
            w.ShowResult(
                c.Rows
                    ? ThreeSales
                    : QString(ThreeSales).replace(QStringLiteral("<= 3"), QStringLiteral("<= 0")),
                WorkedColumns);
        };
        w.Form.Generate(w);
        EXPECT_EQ(w.Runs, 1);
        EXPECT_EQ(w.CatalogueQuery.RecNo(), c.RecNo);
    }
}

TEST_F(GenerateTest, EmptyResultChangesNothingAndOutputsNothing) {
    TTestWindow w;
    w.OpenSubjectCatalogue(QStringLiteral("Продажби"));
    w.ShowResult(ThreeSales, WorkedColumns);
    w.Conditions = {QStringLiteral("Дата >= 01.12.2024")};
    w.Form.Generate(w);
    const QString title = w.Form.RpSpravka->ReportTitle();
    const QString bottom = w.Form.lbBottomTitle->Caption();

    w.Title = QStringLiteral("Друга справка");
    w.Conditions = {QStringLiteral("Дата >= 01.01.2030")};
    w.RowNumbers = false;
    w.ShowResult(QString(ThreeSales).replace(QStringLiteral("<= 3"), QStringLiteral("<= 0")),
                 WorkedColumns.mid(0, 1));
    ASSERT_TRUE(w.Form.qrDATA->IsEmpty());
    int printed = 0;
    w.Form.PrintPages = [&](TRpPrinter*) { ++printed; };
    // A preview that opened would be closed here, and counted.
    int previews = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* preview = qobject_cast<TRpStandardPreview*>(widget);
                preview && preview->isVisible()) {
                ++previews;
                preview->close();
            }
    });
    closer.start(20);

    w.Form.Generate(w);
    w.Form.PreviewSequence(w);
    w.Form.PrintSequence(w);
    EXPECT_EQ(previews, 0);
    EXPECT_EQ(printed, 0);
    EXPECT_EQ(w.Form.RpSpravka->Printer(), nullptr);
    EXPECT_EQ(w.Form.RpSpravka->ReportTitle(), title);
    EXPECT_EQ(w.Form.lbBottomTitle->Caption(), bottom);
    EXPECT_EQ(w.Form.RpMemoRelations->Lines(), QStringList{QStringLiteral("Дата >= 01.12.2024")});
    EXPECT_TRUE(w.Form.lbRowNumber->Enabled());
    EXPECT_TRUE(SlotEnabled(w.Form, 3));
    EXPECT_TRUE(Messages.isEmpty());
}

TEST_F(GenerateTest, ReportOptionsTurnThePageAndSetTheCopies) {
    TRpReport report;
    struct Step {
        QStringList Options;
        QPageLayout::Orientation Orientation;
        int Copies;
    } const steps[] = {
        {{QStringLiteral("Printer.Orientation=1"), QStringLiteral("Printer.Copies=2")},
         QPageLayout::Landscape,
         2},
        // An empty list changes nothing.
        {{}, QPageLayout::Landscape, 2},
        // Without the key the page goes back to portrait; blanks around
        // the copy count are ignored.
        {{QStringLiteral("Printer.Copies= 3 ")}, QPageLayout::Portrait, 3},
        // Names are found without regard to case; an empty count keeps the
        // count.
        {{QStringLiteral("printer.orientation=1"), QStringLiteral("Printer.Copies=")},
         QPageLayout::Landscape,
         3},
        // Only exactly "1" is landscape.
        {{QStringLiteral("Printer.Orientation=1 ")}, QPageLayout::Portrait, 3},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.Options.join(u';').toStdString());
        ApplyReportOptions(&report, s.Options);
        EXPECT_EQ(report.Page().Orientation(), s.Orientation);
        EXPECT_EQ(report.PrinterSettings().Copies, s.Copies);
        // A4 as oriented, margins kept.
        EXPECT_EQ(report.Page().Width(), s.Orientation == QPageLayout::Landscape ? 2970 : 2100);
    }
    try {
        ApplyReportOptions(&report, {QStringLiteral("Printer.Copies=две")});
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("\"две\" is not a valid numeric value"));
    }
    EXPECT_EQ(report.PrinterSettings().Copies, 3);
}
