#include "RpSpravkaUnit.h"

#include "ChartRenderer.h"
#include "DBGrid.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "MessageBox.h"
#include "RpReport.h"
#include "RpStandardPreview.h"
#include "ServerRoutines.h"
#include "TextPrint.h"
#include "TextRoutines.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QPalette>
#include <type_traits>

namespace {

// The template's geometry is drawn up in pixels of a 96 pixels-per-inch
// screen and kept in tenths of a millimetre, so it prints the same on every
// screen; only Generate works in the screen's own pixels, as the grid does.
constexpr double Px(double pixels) {
    return pixels * 254.0 / 96.0;
}

// Every band is as wide as the portrait page between the side margins.
constexpr int BandWidth = 722;
// The separators reach up through a column header's height, so those of
// consecutive rows join and the first row's also cross the header.
constexpr int HeaderHeight = 36;

const QColor Silver(192, 192, 192);

QFont Arial(int points, bool bold = false) {
    QFont font(QStringLiteral("Arial"), points);
    font.setBold(bold);
    return font;
}

TRpBand* MakeBand(TRpReport* report, TRpBandType kind, const char* name, int height,
                  const QColor& color) {
    auto* band = new TRpBand(report, kind);
    band->setObjectName(QLatin1String(name));
    band->SetWidthTenths(Px(BandWidth));
    band->SetHeightTenths(Px(height));
    band->SetColor(color);
    return band;
}

// A printable in its box. Text printables start without auto-size, so the
// box stays as given whatever text they show before their settings are made;
// those that size themselves turn it on afterwards.
template <class T>
T* Place(TRpCustomBand* band, const QString& name, int left, int top, int width, int height) {
    auto* printable = new T(band);
    printable->setObjectName(name);
    if constexpr (std::is_base_of_v<TRpCustomLabel, T>)
        printable->SetAutoSize(false);
    printable->SetBoundsTenths(Px(left), Px(top), Px(width), Px(height));
    return printable;
}

// A catalogue value read as a whole number; an empty value reads as 0.
int CatalogueInt(TQuery* catalogue, const char* field) {
    return ParseIntText(catalogue->FieldByName(QLatin1String(field))->AsString());
}

// Brings the catalogue back to the row it stood on when this was made,
// whatever ends the scope. A run of the inquiry may replace the catalogue
// query: Catalogue is then pointed at the new one.
struct TKeepCatalogueRow {
    explicit TKeepCatalogueRow(TQuery* catalogue)
        : Catalogue(catalogue),
          Mark(catalogue && catalogue->Active() ? catalogue->GetBookmark() : TBookmark()) {}
    TKeepCatalogueRow(const TKeepCatalogueRow&) = delete;
    TKeepCatalogueRow& operator=(const TKeepCatalogueRow&) = delete;
    ~TKeepCatalogueRow() {
        if (Catalogue && Catalogue->Active() && Catalogue->BookmarkValid(Mark))
            Catalogue->GotoBookmark(Mark);
    }
    TQuery* Catalogue;
    TBookmark Mark;
};

} // namespace

// ------------------------------------------------------------ report options

QString ReportOptionValue(const QStringList& options, const QString& name) {
    for (const QString& line : options) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && QStringView(line).left(eq).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return {};
}

void ApplyReportOptions(TRpCustomReport* report, const QStringList& options) {
    if (!report || options.isEmpty())
        return;
    // Read first: a bad copy count leaves the report as it was.
    const QString copies = ReportOptionValue(options, QStringLiteral("Printer.Copies"));
    const int copyCount =
        copies.isEmpty() ? report->PrinterSettings().Copies : ParseIntText(copies);
    const bool landscape =
        ReportOptionValue(options, QStringLiteral("Printer.Orientation")) == QLatin1String("1");
    report->Page().SetOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    report->PrinterSettings().Copies = copyCount;
}

// ------------------------------------------------------------ chart

TChartSource ReportChartSource(const TReportSource& window) {
    TChartSource source;
    TDBGrid* grid = window.ResultGrid();
    source.Data = grid ? grid->DataSet() : nullptr;
    for (int c = 0; grid && c < grid->ColumnCount(); ++c) {
        TGridColumn column;
        column.FieldName = grid->ColumnFieldName(c);
        column.Title = grid->ColumnTitle(c);
        column.Visible = grid->ColumnVisible(c);
        source.Columns << column;
    }
    source.Title = window.ReportTitle();
    source.Conditions = window.ConditionLines();
    return source;
}

std::optional<TChartModel> ReportChart(const TReportSource& window,
                                       std::optional<TChartKind> kind) {
    if (!kind)
        kind = ChartOption(window.ReportOptions());
    if (kind == TChartKind::None)
        return std::nullopt;
    return BuildChartModel(ReportChartSource(window), kind);
}

// ------------------------------------------------------------ the template

namespace {

// The preview of an inquiry's report tells its failures (a report file that
// is missing or cannot be read or saved, a failed print) as the program's
// other errors: through ShowMessageBox with the caption "Грешка", the error
// icon and OK, and not at all while messages are suppressed.
void RoutePreviewMessages() {
    static const bool routed = [] {
        TRpStandardPreview::SetMessageRoute([](QWidget*, const QString& text) {
            ShowMessageBox(text, QCoreApplication::translate("RpSpravka", "Грешка"),
                           MB_OK | MB_ICONSTOP);
        });
        return true;
    }();
    Q_UNUSED(routed);
}

} // namespace

TRpSpravkaForm::TRpSpravkaForm(QObject* owner) : QObject(owner) {
    RoutePreviewMessages();
    setObjectName(QStringLiteral("RpSpravkaForm"));
    qrDATA = new TQuery(this);
    qrDATA->setObjectName(QStringLiteral("qrDATA"));
    for (int i = 0; i < SlotCount; ++i)
        Totals << QString();
    BuildReport();
}

TRpSpravkaForm::~TRpSpravkaForm() {
    // The report goes before the query it walks.
    delete RpSpravka;
    RpSpravka = nullptr;
}

void TRpSpravkaForm::BuildReport() {
    RpSpravka = new TRpReport(this);
    RpSpravka->setObjectName(QStringLiteral("RpSpravka"));
    RpSpravka->SetDataSet(qrDATA);
    TRpPage& page = RpSpravka->Page();
    page.SetPaperSize(QPageSize::A4);
    page.SetOrientation(QPageLayout::Portrait);
    page.SetColumns(1);
    page.SetMarginsMm(12, 10, 7, 8);
    page.ColumnSpace = 0;
    RpSpravka->SetUnits(TRpUnits::Millimetres);
    RpSpravka->SetZoom(100);
    RpSpravka->SetFont(Arial(10));
    RpSpravka->Options().FirstPageHeader = true;
    RpSpravka->Options().LastPageFooter = true;
    RpSpravka->SetPrintIfEmpty(false);
    RpSpravka->Frame().SetAll(false);
    RpSpravka->BeforePrint = [this](TRpCustomReport* sender, bool& print) {
        RpSpravkaBeforePrint(sender, print);
    };

    // Title band: report title, date and time, the conditions below.
    RpBand1 = MakeBand(RpSpravka, rbTitle, "RpBand1", 62, Qt::white);
    RpSysData3 = Place<TRpSysData>(RpBand1, QStringLiteral("RpSysData3"), 14, 0, 624, 28);
    RpSysData3->SetData(rpsReportTitle);
    RpSysData3->SetFont(Arial(16, true));
    RpSysData3->SetAlignment(TAlignment::Center);
    RpSysData3->SetTransparent(true);
    RpSysData3->SetAutoSize(false);

    lbCurDate = Place<TRpLabel>(RpBand1, QStringLiteral("lbCurDate"), 642, 0, 64, 17);
    lbCurDate->SetFont(Arial(10, true));
    lbCurDate->SetAlignment(TAlignment::Right);
    lbCurDate->SetAutoSize(true);
    lbCurDate->SetTransparent(true);

    lbCurTime = Place<TRpLabel>(RpBand1, QStringLiteral("lbCurTime"), 647, 17, 59, 17);
    lbCurTime->SetFont(Arial(9));
    lbCurTime->SetAlignment(TAlignment::Right);
    lbCurTime->SetAutoSize(true);
    lbCurTime->SetTransparent(true);

    // One condition per line, unwrapped; the band grows until all fit.
    RpMemoRelations = Place<TRpMemo>(RpBand1, QStringLiteral("RpMemoRelations"), 6, 37, 110, 19);
    RpMemoRelations->SetParentFont(true);
    RpMemoRelations->SetAlignment(TAlignment::Left);
    RpMemoRelations->SetAutoSize(true);
    RpMemoRelations->SetAutoStretch(true);
    RpMemoRelations->SetWordWrap(true);
    RpMemoRelations->SetTransparent(false);
    RpMemoRelations->SetColor(Qt::white);

    ColumnHeaderBand1 =
        MakeBand(RpSpravka, rbColumnHeader, "ColumnHeaderBand1", HeaderHeight, Silver);
    ColumnHeaderBand1->Frame().SetAll(true);
    ColumnHeaderBand1->BeforePrint = [this](TRpCustomBand* sender, bool& print) {
        ColumnHeaderBand1BeforePrint(sender, print);
    };
    // The row-number column's printables take the colour of their band.
    lblRowNumber = Place<TRpLabel>(ColumnHeaderBand1, QStringLiteral("lblRowNumber"), 1, 3, 35, 30);
    lblRowNumber->SetFont(Arial(9));
    lblRowNumber->SetAlignment(TAlignment::Center);
    lblRowNumber->SetWordWrap(true);
    lblRowNumber->SetAutoSize(false);
    lblRowNumber->SetColor(Silver);
    lblRowNumber->Frame().SetSides(false, false, false, true);
    lblRowNumber->SetCaption(QStringLiteral("No"));
    lblRowNumber->SetEnabled(false);

    DetailBand1 = MakeBand(RpSpravka, rbDetail, "DetailBand1", 19, Qt::white);
    DetailBand1->Frame().SetSides(false, true, true, true);
    lbRowNumber = Place<TRpSysData>(DetailBand1, QStringLiteral("lbRowNumber"), 1, 1, 35, 19);
    lbRowNumber->SetData(rpsDetailNo);
    lbRowNumber->SetFont(Arial(9));
    lbRowNumber->SetAlignment(TAlignment::Center);
    lbRowNumber->SetAutoSize(false);
    lbRowNumber->Frame().SetSides(false, false, false, true);
    lbRowNumber->SetEnabled(false);
    // The row numbers' line drawn like a column separator, so that it too
    // runs unbroken through the column header above the first row (the
    // header label's own line stops 3 px short of the header's edges). It
    // lies on the right frame line of lbRowNumber.
    RpShapeRowNumber =
        Place<TRpShape>(DetailBand1, QStringLiteral("RpShapeRowNumber"), 35, -HeaderHeight, 1, 55);
    RpShapeRowNumber->SetShape(rpsRectangle);
    RpShapeRowNumber->SetEnabled(false);

    SummaryBand1 = MakeBand(RpSpravka, rbSummary, "SummaryBand1", 36,
                            QApplication::palette().color(QPalette::ToolTipBase));
    SummaryBand1->Frame().SetAll(true);
    SummaryBand1->AfterPrint = [this](TRpCustomBand* sender, bool printed) {
        SummaryBand1AfterPrint(sender, printed);
    };

    PageFooterBand1 = MakeBand(RpSpravka, rbPageFooter, "PageFooterBand1", 23, Qt::white);
    PageFooterBand1->BeforePrint = [this](TRpCustomBand* sender, bool& print) {
        PageFooterBand1BeforePrint(sender, print);
    };
    rpsPageNum = Place<TRpExpr>(PageFooterBand1, QStringLiteral("rpsPageNum"), 619, 2, 76, 17);
    rpsPageNum->SetFont(Arial(9));
    rpsPageNum->SetAlignment(TAlignment::Right);
    rpsPageNum->SetWordWrap(false);
    rpsPageNum->SetResetAfterPrint(false);
    // The page caption is the program's own text; it holds no quote in any
    // language, so it goes into the expression's string as it is.
    rpsPageNum->SetExpression(u'\'' + QCoreApplication::translate("RpSpravka", "Стр. ") +
                              QStringLiteral("' + PAGENUMBER"));
    lbBottomTitle =
        Place<TRpLabel>(PageFooterBand1, QStringLiteral("lbBottomTitle"), 10, 3, 598, 17);
    lbBottomTitle->SetFont(Arial(8));
    lbBottomTitle->SetAlignment(TAlignment::Left);
    lbBottomTitle->SetWordWrap(true);
    lbBottomTitle->SetAutoSize(false);

    BuildSlots();
}

void TRpSpravkaForm::BuildSlots() {
    const auto name = [](const char* kind, int k) {
        return QLatin1String(kind) + QString::number(k);
    };
    // Until Generate places them, the slots stand side by side at a
    // default width.
    constexpr int width = 64;
    for (int k = 1; k <= SlotCount; ++k) {
        const int left = 1 + (k - 1) * (width + 2);
        auto* label = Place<TRpLabel>(ColumnHeaderBand1, name("RpLabel", k), left, 3, width, 30);
        label->SetFont(Arial(9));
        label->SetAlignment(TAlignment::Center);
        label->SetWordWrap(true);
        label->SetAutoSize(false);
        label->SetTransparent(true);
        label->Frame().SetAll(false);
        label->SetCaption(name("RpLabel", k));
        Labels[std::size_t(k - 1)] = label;
    }
    for (int k = 1; k <= SlotCount; ++k) {
        const int left = 1 + (k - 1) * (width + 2);
        auto* text = Place<TRpDBText>(DetailBand1, name("RpDBText", k), left, 1, width, 19);
        text->SetParentFont(true);
        text->SetAlignment(TAlignment::Left);
        text->SetWordWrap(true);
        text->SetAutoSize(false);
        text->SetAutoStretch(false);
        text->SetDataSet(qrDATA);
        Texts[std::size_t(k - 1)] = text;
    }
    // The separators after the data texts, so a line is never covered.
    for (int k = 1; k <= SlotCount; ++k) {
        const int left = 1 + (k - 1) * (width + 2) + width + 1;
        auto* shape = Place<TRpShape>(DetailBand1, name("RpShape", k), left, -HeaderHeight, 1, 55);
        shape->SetShape(rpsRectangle);
        Shapes[std::size_t(k - 1)] = shape;
    }
    for (int k = 1; k <= SlotCount; ++k) {
        const int left = 1 + (k - 1) * (width + 2);
        auto* expr = Place<TRpExpr>(SummaryBand1, name("RpExpr", k), left, 8, width, 19);
        expr->SetParentFont(true);
        expr->SetAlignment(TAlignment::Left);
        expr->SetWordWrap(true);
        expr->SetAutoSize(false);
        expr->SetResetAfterPrint(false);
        // The totals take the colour of their band.
        expr->SetColor(SummaryBand1->Color());
        expr->OnPrint = [this](TRpCustomLabel* sender, QString& value) {
            RpExpr1Print(sender, value);
        };
        Exprs[std::size_t(k - 1)] = expr;
    }
}

// ------------------------------------------------------------ generation

bool TRpSpravkaForm::HasRows() const {
    return qrDATA->Active() && !qrDATA->IsEmpty();
}

void TRpSpravkaForm::Generate(TReportSource& window) {
    // Laying the template out under a running report would change what
    // that run prints.
    if (RpSpravka->Busy())
        return;
    RpSpravka->FinalPage = nullptr;
    TQuery* catalogue = window.Catalogue();
    // The user's column in the catalogue comes back once the layout has
    // walked the catalogue, also when the layout fails.
    TKeepCatalogueRow keep(catalogue);

    if (window.IsModified())
        window.RunInquiryForReport();
    // A run may have replaced the catalogue query's rows.
    catalogue = window.Catalogue();
    keep.Catalogue = catalogue;
    if (!HasRows()) {
        // Nothing was walked; a run that stopped at a column lacking its
        // mandatory condition leaves the catalogue on that column.
        keep.Catalogue = nullptr;
        return;
    }

    // A layout that fails stops where it failed, silently: what was placed
    // so far prints, the remaining slots stay off.
    try {
        RpSpravka->SetReportTitle(window.ReportTitle());
        lbCurDate->SetCaption(ServerDate());
        lbCurTime->SetCaption(ServerTime());
        lbBottomTitle->SetCaption(window.ReportTitle() + QStringLiteral(" [") +
                                  lbCurDate->Caption() + u' ' + lbCurTime->Caption() + u']');

        for (int k = 1; k <= SlotCount; ++k) {
            RpLabel(k)->SetEnabled(false);
            RpDBText(k)->SetEnabled(false);
            RpExpr(k)->SetEnabled(false);
            RpShape(k)->SetEnabled(false);
        }

        const bool rowNumbers = window.RowNumbersOn();
        lbRowNumber->SetEnabled(rowNumbers);
        RpShapeRowNumber->SetEnabled(rowNumbers);
        lblRowNumber->SetEnabled(rowNumbers);
        lblRowNumber->SetWidth(lbRowNumber->Width());

        int x = rowNumbers ? lbRowNumber->Width() + 2 : 1;
        // The grid's columns as the user left them; hidden columns are not
        // shown, so they are not printed either and take no slot.
        TDBGrid* grid = window.ResultGrid();
        const int columns = grid ? grid->ColumnCount() : 0;
        int slot = 0;
        for (int c = 0; c < columns; ++c) {
            if (!grid->ColumnVisible(c))
                continue;
            if (slot < SlotCount)
                FillSlot(slot + 1, grid, c, catalogue, x);
            ++slot;
        }
    } catch (...) {
    }

    // "Графика в справката": the result's chart on a page after the report.
    if (window.ChartInReport()) {
        try {
            if (std::optional<TChartModel> chart = ReportChart(window))
                RpSpravka->FinalPage = [model = *chart](QPainter& canvas, const QRectF& paper) {
                    const double margin = std::min(paper.width(), paper.height()) / 21.0;
                    PaintChart(model, canvas, paper.adjusted(margin, margin, -margin, -margin));
                };
        } catch (const Exception&) {
            // A result without a value column prints without a chart.
        }
    }

    RpMemoRelations->SetLines(window.ConditionLines());
}

void TRpSpravkaForm::FillSlot(int k, TDBGrid* grid, int c, TQuery* catalogue, int& x) {
    const int w = grid->ColumnWidth(c);
    const QString fieldName = grid->ColumnFieldName(c);

    TRpLabel* label = RpLabel(k);
    label->SetLeft(x);
    label->SetWidth(w);
    label->SetCaption(grid->ColumnTitle(c));
    label->SetEnabled(true);

    TRpDBText* text = RpDBText(k);
    text->SetLeft(x);
    text->SetWidth(w);
    text->SetDataField(fieldName);
    text->SetEnabled(true);

    TRpShape* shape = RpShape(k);
    shape->SetLeft(x + w + 1);
    shape->SetEnabled(true);

    // The column's catalogue row among the rows the catalogue shows.
    bool found = false;
    if (catalogue && catalogue->Active()) {
        TField* name = catalogue->FieldByName(QStringLiteral("BGColName"));
        for (catalogue->First(); !catalogue->Eof(); catalogue->Next()) {
            if (name->AsString() == fieldName) {
                found = true;
                break;
            }
        }
    }

    TRpExpr* expr = RpExpr(k);
    expr->SetLeft(x);
    expr->SetWidth(w);
    if (found) {
        expr->SetExpression(catalogue->FieldByName(QStringLiteral("Suma"))->AsString());
        expr->SetMask(catalogue->FieldByName(QStringLiteral("Mask"))->AsString());
        expr->SetEnabled(true);
        text->SetMask(expr->Mask());
        switch (CatalogueInt(catalogue, "Align")) {
        case 0:
            text->SetAlignment(TAlignment::Left);
            expr->SetAlignment(TAlignment::Left);
            break;
        case 1:
            text->SetAlignment(TAlignment::Right);
            expr->SetAlignment(TAlignment::Right);
            break;
        case 2:
            text->SetAlignment(TAlignment::Center);
            expr->SetAlignment(TAlignment::Center);
            break;
        default:
            break; // other values keep the alignment the slot has
        }
        text->SetAutoStretch(CatalogueInt(catalogue, "AutoStretch") == 1);
    } else {
        // A column the catalogue does not show (a column of a joined
        // subject outside the current filter): no total, no mask, one line,
        // aligned as its field is (numbers to the right).
        expr->SetExpression(QString());
        expr->SetMask(QString());
        expr->SetEnabled(true);
        text->SetMask(QString());
        TField* field = grid->ColumnField(c);
        const TAlignment alignment = !field               ? TAlignment::Left
                                     : field->IsNumeric() ? TAlignment::Right
                                                          : field->Alignment();
        text->SetAlignment(alignment);
        expr->SetAlignment(alignment);
        text->SetAutoStretch(false);
    }
    x += w + 2;
}

// ------------------------------------------------------------ print-time handlers

void TRpSpravkaForm::RpSpravkaBeforePrint(TRpCustomReport*, bool&) {
    for (QString& total : Totals)
        total.clear();
}

void TRpSpravkaForm::ColumnHeaderBand1BeforePrint(TRpCustomBand*, bool&) {
    SummaryPrinted = false;
}

void TRpSpravkaForm::SummaryBand1AfterPrint(TRpCustomBand*, bool) {
    SummaryPrinted = true;
}

void TRpSpravkaForm::PageFooterBand1BeforePrint(TRpCustomBand*, bool& PrintBand) {
    // The summary prints once, on the last page: a report whose summary
    // lands on page 1 has a single page and needs no page number.
    PrintBand = !(SummaryPrinted && RpSpravka->PageNumber() <= 1);
}

void TRpSpravkaForm::RpExpr1Print(TRpCustomLabel* Sender, QString& Value) {
    // "RpExpr7" -> 7, "RpExpr40" -> 40.
    bool ok = false;
    const int slot = Sender ? Sender->objectName().mid(6, 2).toInt(&ok) : 0;
    if (ok && slot >= 1 && slot <= SlotCount)
        Totals[slot - 1] = Value;
}

// ------------------------------------------------------------ sequences

TRpPrinter* TRpSpravkaForm::Prepare(bool totalsOnly) {
    if (RpSpravka->Busy())
        return nullptr;
    if (!totalsOnly) {
        PrepareReport(RpSpravka);
        return RpSpravka->Printer();
    }
    // The totals are sums and counts over the rows, whatever the pages look
    // like: a growing data text would only lay out each value's lines to
    // find its height, so the run that draws nothing leaves them one line.
    std::array<bool, SlotCount> stretch{};
    for (int k = 1; k <= SlotCount; ++k) {
        stretch[std::size_t(k - 1)] = RpDBText(k)->AutoStretch();
        RpDBText(k)->SetAutoStretch(false);
    }
    struct TRestore {
        TRpSpravkaForm* Form;
        const std::array<bool, SlotCount>& Stretch;
        ~TRestore() {
            for (int k = 1; k <= SlotCount; ++k)
                Form->RpDBText(k)->SetAutoStretch(Stretch[std::size_t(k - 1)]);
        }
    } restore{this, stretch};
    PrepareReportTotalsOnly(RpSpravka);
    return RpSpravka->Printer();
}

void TRpSpravkaForm::Release(TRpPrinter* printer) {
    // Only the object this sequence prepared: a preview still open keeps
    // its own.
    if (printer && RpSpravka->Printer() == printer)
        RpSpravka->ReleasePrinter();
}

void TRpSpravkaForm::PreviewSequence(TReportSource& window) {
    if (RpSpravka->Busy())
        return;
    ApplyReportOptions(RpSpravka, window.ReportOptions());
    Generate(window);
    if (HasRows())
        PreviewReport(RpSpravka);
}

void TRpSpravkaForm::PrintSequence(TReportSource& window) {
    if (RpSpravka->Busy())
        return;
    ApplyReportOptions(RpSpravka, window.ReportOptions());
    Generate(window);
    if (!HasRows())
        return;
    // The printer object goes whether or not printing worked, and also
    // when the run itself fails.
    struct TRelease {
        TRpSpravkaForm* Form;
        TRpPrinter* Printer = nullptr;
        ~TRelease() { Form->Release(Printer); }
    } release{this};
    if (TextPrintMode) {
        // The text needs only the column totals: the run draws nothing.
        release.Printer = Prepare(true);
        const QStringList lines = window.ConditionLines();
        PrintAsText(window.ResultGrid(), &lines, window.ReportTitle(), &Totals);
        return;
    }
    release.Printer = Prepare(false);
    if (!release.Printer)
        return;
    try {
        if (PrintPages)
            PrintPages(release.Printer);
        else
            PrintPreparedPages(release.Printer);
    } catch (...) {
        // A printer that fails has nothing more to say to the user.
    }
}

void TRpSpravkaForm::ExportSequence(TReportSource& window, const QString& fileName,
                                    TExportFormat format) {
    if (RpSpravka->Busy())
        return;
    TQuery* catalogue = window.Catalogue();
    TKeepCatalogueRow keep(catalogue);
    if (window.IsModified())
        window.RunInquiryForReport();
    keep.Catalogue = window.Catalogue();
    Generate(window);

    struct TRelease {
        TRpSpravkaForm* Form;
        TRpPrinter* Printer = nullptr;
        ~TRelease() {
            // The footer list is ours; the settings must not keep pointing
            // at it, whether or not the writer got to clear it.
            ExportTxtOpts.FooterValues = nullptr;
            Form->Release(Printer);
        }
    } release{this};
    // Only the totals are needed: the run computes them exactly as a
    // printed report shows them, without drawing a page. The file's rows are
    // written as the run reaches them, so the result is read once (a
    // forward-only result can be read only once) and the footer is complete
    // when the last row is written.
    ExportTxtOpts.FooterValues = &Totals;
    const QStringList lines = window.ConditionLines();
    // What a spreadsheet adds to the text export: the totals' expressions
    // (a plain SUM or COUNT becomes a formula), row numbers, the sheet name.
    TExportExtras extras;
    for (int k = 1; k <= SlotCount; ++k)
        extras.TotalExpressions << (RpExpr(k)->Enabled() ? RpExpr(k)->Expression() : QString());
    extras.RowNumbers = window.RowNumbersOn();
    extras.Walk = [this, &release](TDataSet* rows, const std::function<void()>& row) {
        if (rows != RpSpravka->DataSet()) {
            // Rows the report does not run over: the totals first, then the rows.
            release.Printer = Prepare(true);
            WalkExportRows(rows, {}, row);
            return;
        }
        DetailBand1->AfterPrint = [rows, &row](TRpCustomBand*, bool) {
            // An empty result prints one detail band without a record.
            if (!rows->Eof())
                row();
        };
        struct TUnhook {
            TRpBand* Band;
            ~TUnhook() { Band->AfterPrint = nullptr; }
        } unhook{DetailBand1};
        try {
            release.Printer = Prepare(true);
        } catch (...) {
            // A failed row (a full disk) or a stop ends the run; the printer
            // object it made still goes.
            release.Printer = RpSpravka->Printer();
            throw;
        }
        if (!release.Printer || RpSpravka->Cancelled())
            throw Exception(QCoreApplication::translate("RpSpravka", "Справката е прекъсната."));
    };
    if (TQuery* catalogue = window.Catalogue(); catalogue && catalogue->Active()) {
        if (TField* subject = catalogue->FindField(QStringLiteral("BGTableName"));
            subject && !catalogue->IsEmpty()) {
            catalogue->First();
            extras.SheetName = TrimText(subject->AsString());
        }
    }
    QString result;
    ExportToFile(window.ResultGrid(), &lines, window.ReportTitle(), fileName, result, format,
                 &extras);
}

bool TRpSpravkaForm::SaveSequence(TReportSource& window, const QString& fileName,
                                  TReportFileKind kind) {
    if (RpSpravka->Busy())
        return false;
    ApplyReportOptions(RpSpravka, window.ReportOptions());
    Generate(window);
    if (!HasRows())
        return false;
    struct TRelease {
        TRpSpravkaForm* Form;
        TRpPrinter* Printer = nullptr;
        ~TRelease() { Form->Release(Printer); }
    } release{this};
    // A PDF needs no text index of the pages; a report file keeps one.
    RpSpravka->SetIndexText(kind != TReportFileKind::Pdf);
    struct TIndexAgain {
        TRpReport* Report;
        ~TIndexAgain() { Report->SetIndexText(true); }
    } indexAgain{RpSpravka};
    release.Printer = Prepare(false);
    if (!release.Printer)
        return false;
    if (kind == TReportFileKind::Pdf)
        release.Printer->SavePdf(fileName);
    else
        release.Printer->SaveReportFile(fileName);
    return true;
}
