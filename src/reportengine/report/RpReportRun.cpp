#include "RpReportRun_p.h"

#include "Query.h"
#include "RpBand.h"
#include "RpEvaluator.h"
#include "RpFontMetrics_p.h"
#include "RpLabels.h"
#include "RpPrinter.h"
#include "RpRunObserver.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QPointer>
#include <QVarLengthArray>

#include <cmath>

namespace {

// Positions are compared with this tolerance (tenths of a millimetre).
constexpr double Eps = 1e-6;
// Window messages are handled at least this often during a run (ms).
constexpr int MessageInterval = 40;

// Kinds that never start a forced page or column.
bool BreaksAllowed(TRpBandType kind) {
    return kind != rbTitle && kind != rbPageHeader && kind != rbPageFooter && kind != rbOverlay;
}

// A band and the chain of its child bands, as far as they are enabled.
double HeightWithChildren(const TRpCustomBand* band) {
    double height = 0;
    for (int guard = 0; band && band->Enabled() && guard < 1000; ++guard) {
        height += band->HeightTenths();
        band = band->ChildBand();
    }
    return height;
}

} // namespace

// ---------------------------------------------------------------- TRpController

TRpController::TRpController() = default;
TRpController::~TRpController() = default;

void TRpController::NotifyAggregates() {
    for (TRpExpr* expression : Notify)
        expression->Evaluator().Accumulate();
}

// ---------------------------------------------------------------- TRpPrintContext

QRectF TRpPrintContext::DeviceRect(const QRectF& tenths) const {
    return QRectF(tenths.left() * XFactor, tenths.top() * YFactor, tenths.width() * XFactor,
                  tenths.height() * YFactor);
}

namespace {

// Whole device pixels, so neighbouring fills meet without seams.
QRectF Snapped(const QRectF& device) {
    const double left = std::round(device.left());
    const double top = std::round(device.top());
    const double right = std::round(device.right());
    const double bottom = std::round(device.bottom());
    return QRectF(left, top, std::max(0.0, right - left), std::max(0.0, bottom - top));
}

} // namespace

void TRpPrintContext::StartCanvas(QPainter* canvas) {
    Canvas = canvas;
    CanvasFont = nullptr;
    PenSet = false;
    BrushSet = false;
    InkBottom = 0;
    InPiece = false;
    Drawn.clear();
}

void TRpPrintContext::UsePen(QRgb color) {
    if (PenSet && PenColor == color)
        return;
    Canvas->setPen(QPen(QColor::fromRgba(color)));
    PenColor = color;
    PenSet = true;
}

// Fills whole device pixels with the text pen's kind of pen and a brush of
// the same colour: a text in that colour needs no change of pen after it.
void TRpPrintContext::FillDevice(const QRectF& device, const QColor& color) {
    const QRectF r = Snapped(device);
    if (r.isEmpty())
        return;
    const QRgb rgb = color.rgba();
    UsePen(rgb);
    if (!BrushSet || BrushColor != rgb) {
        Canvas->setBrush(QColor::fromRgba(rgb));
        BrushColor = rgb;
        BrushSet = true;
    }
    const double w = r.width();
    const double h = r.height();
    if (w >= 2 && h >= 2) {
        Canvas->drawRect(QRectF(r.left() + 0.5, r.top() + 0.5, w - 1, h - 1));
    } else if (w < 2 && h < 2) {
        Canvas->drawPoint(QPointF(r.left() + 0.5, r.top() + 0.5));
    } else if (w < 2) {
        for (int i = 0; i < int(w); ++i)
            Canvas->drawLine(
                QLineF(r.left() + i + 0.5, r.top() + 0.5, r.left() + i + 0.5, r.bottom() - 0.5));
    } else {
        for (int i = 0; i < int(h); ++i)
            Canvas->drawLine(
                QLineF(r.left() + 0.5, r.top() + i + 0.5, r.right() - 0.5, r.top() + i + 0.5));
    }
    MarkDrawn(r);
}

void TRpPrintContext::MarkDrawn(const QRectF& device) {
    InkBottom = std::max(InkBottom, device.bottom());
    if (InPiece)
        Drawn.append(device);
}

void TRpPrintContext::FillRect(const QRectF& tenths, const QColor& color) {
    if (!Drawing() || !color.isValid() || color.alpha() == 0)
        return;
    FillDevice(DeviceRect(tenths), color);
}

void TRpPrintContext::StartPiece(const QRectF& tenths, const QColor& color) {
    InPiece = false;
    Drawn.clear();
    if (!Drawing())
        return;
    InkBottomBefore = InkBottom;
    PieceArea = Snapped(DeviceRect(tenths));
    PieceFilled = color.isValid() && color.alpha() == 255 && !PieceArea.isEmpty();
    PieceColor = color.rgba();
    // White on paper where nothing has been drawn yet changes nothing.
    if (PieceFilled &&
        (KeepAllFills || PieceColor != qRgb(255, 255, 255) || InkBottom > PieceArea.top()))
        FillDevice(PieceArea, color);
    InPiece = true;
}

void TRpPrintContext::FillBox(const QRectF& tenths, const QColor& color) {
    if (!Drawing() || !color.isValid() || color.alpha() == 0)
        return;
    const QRectF box = Snapped(DeviceRect(tenths));
    if (!KeepAllFills && InPiece && PieceFilled && color.rgba() == PieceColor &&
        box.left() >= PieceArea.left() && box.right() <= PieceArea.right() &&
        box.top() >= PieceArea.top()) {
        // Inside the band the band's own fill is there already; below it
        // the paper is, when nothing else reached that far down.
        bool clean = box.bottom() <= PieceArea.bottom() ||
                     (color.rgba() == qRgb(255, 255, 255) && InkBottomBefore <= PieceArea.bottom());
        for (const QRectF& drawn : Drawn)
            if (clean && drawn.intersects(box))
                clean = false;
        if (clean)
            return;
    }
    FillDevice(box, color);
}

void TRpPrintContext::DrawText(TRpPrintable* owner, const TRpFontMetrics& metrics,
                               const QColor& color, double x, double top, double width,
                               const QString& text) {
    if (!Drawing())
        return;
    TRpPrinter* printer = Run ? Run->Printer : nullptr;
    if (CanvasFont != &metrics) {
        Canvas->setFont(metrics.EngineFont());
        CanvasFont = &metrics;
        if (printer)
            printer->NoteFont(metrics.EngineFont());
        // A page drawn straight into a PDF has its texts where the PDF of a
        // recorded page has them: a recorded text is replayed from its top,
        // found with the font's ascent in whole pixels, and laid out again
        // from there, so its baseline moves by the ascent's fraction.
        TextShift = 0;
        if (printer && printer->DrawsAsReplayed())
            TextShift = QFontMetricsF(metrics.EngineFont()).ascent() -
                        QFontMetrics(metrics.EngineFont()).ascent();
    }
    UsePen(color.rgba());
    Canvas->drawText(QPointF(x * XFactor, (top + metrics.Ascent()) * YFactor + TextShift), text);
    // The page store keeps the text with where it stands, for finding it.
    if (printer)
        printer->NoteText(QRectF(x, top, width, metrics.Height()), text);
    // The ink: glyphs may reach a little beyond their advances, and edge
    // pixels are shaded.
    const double before = metrics.LeftOverhang(text);
    const double after = metrics.RightOverhang(text);
    MarkDrawn(DeviceRect(QRectF(x - before, top, width + before + after, metrics.Height()))
                  .adjusted(-0.5, -1, 0.5, 1));
    if (Observer)
        Observer->TextDrawn(owner, Page, text, QRectF(x, top, width, metrics.Height()));
}

void TRpPrintContext::DrawFrame(QObject* owner, const TRpFrame& frame, const QRectF& tenths) {
    if (!Drawing() || !frame.Any())
        return;
    QRectF bars[4];
    const int n = frame.Bars(DeviceRect(tenths), XFactor, bars);
    const QColor color = frame.Color.isValid() ? frame.Color : QColor(Qt::black);
    for (int i = 0; i < n; ++i)
        FillDevice(bars[i], color);
    if (Observer)
        Observer->FrameDrawn(owner, Page, tenths);
}

bool TRpPrintContext::RequestExtra(double extra) {
    return Run && Band && Run->RequestExtra(Band, extra);
}

// ---------------------------------------------------------------- TRpReportRun

TRpReportRun::TRpReportRun(TRpCustomReport& report, TRpPrinter* printer)
    : Report(report), Printer(printer) {
    Context.Run = this;
}

TRpReportRun::~TRpReportRun() = default;

int TRpReportRun::DetailNo() const {
    return MainController ? MainController->DetailNo : 0;
}

int TRpReportRun::DetailCount() const {
    TDataSet* dataSet = Report.DataSet();
    if (!dataSet || !dataSet->Active() || dataSet->IsUniDirectional())
        return 1;
    return dataSet->RecordCount();
}

void TRpReportRun::Execute(bool copySettings) {
    try {
        bool printReport = true;
        if (Report.BeforePrint)
            Report.BeforePrint(&Report, printReport);
        if (printReport) {
            Start(copySettings);
            BuildControllers();
            PrepareAll();
            ExecuteController(*MainController);
            LastPageFlag = true;
            if (!CancelledFlag) {
                EndPage();
                AppendFinalPage();
            }
        }
    } catch (...) {
        // A failure ends the run like a cancel: the pages drawn so far stay.
        CancelledFlag = true;
        UnprepareAll();
        if (PrinterStarted)
            Printer->AbortRun();
        throw;
    }
    UnprepareAll();
    if (PrinterStarted) {
        if (CancelledFlag || !Context.FinalPass)
            Printer->AbortRun();
        else
            Printer->FinishRun();
    }
}

void TRpReportRun::Start(bool copySettings) {
    const TRpPage& page = Report.Page();
    const TRpReportOptions& options = Report.Options();
    if (copySettings) {
        const TRpPrinterSettings& printing = Report.PrinterSettings();
        TRpPageSettings settings = Printer->PageSettings();
        settings.PaperSize = page.PaperSize();
        settings.CustomWidth = qRound(page.CustomWidth());
        settings.CustomLength = qRound(page.CustomLength());
        settings.Orientation = page.Orientation();
        settings.Copies = printing.Copies;
        settings.FirstPage = printing.FirstPage;
        settings.LastPage = printing.LastPage;
        settings.PrinterIndex = printing.PrinterIndex;
        settings.OutputBin = printing.OutputBin;
        Printer->SetPageSettings(settings);
    }
    Printer->PageSettings().Compression = options.Compression;
    Printer->SetTitle(Report.ReportTitle());
    Printer->StartRun();
    PrinterStarted = true;

    Context.FinalPass = Report.DrawPages();
    Context.XFactor = Printer->XFactor();
    Context.YFactor = Printer->YFactor();
    Context.Observer = Report.Observer();
    Context.Canvas = nullptr;

    PageLength = page.Length();
    PageWidth = page.Width();
    Columns = page.Columns();
    CurrentY = -1;
    CurrentX = page.LeftMargin;
    PageCounter = 0;
    Column = Columns;

    TitleBand = Report.FindBand(rbTitle);
    PageHeaderBand = Report.FindBand(rbPageHeader);
    ColumnHeaderBand = Report.FindBand(rbColumnHeader);
    DetailBand = Report.FindBand(rbDetail);
    SummaryBand = Report.FindBand(rbSummary);
    PageFooters.clear();
    FooterReserve = 0;
    // A report has one page footer, the first such band in the band list,
    // as it has one band of each other kind; a second one is not printed.
    for (TRpCustomBand* band : Report.Bands()) {
        if (band->BandType() != rbPageFooter || !PageFooters.isEmpty())
            continue;
        PageFooters.append(band);
        FooterReserve += HeightWithChildren(band);
    }
    ColumnWidth =
        DetailBand
            ? DetailBand->WidthTenths()
            : (PageWidth - page.LeftMargin - page.RightMargin - page.ColumnSpace * (Columns - 1)) /
                  Columns;
}

void TRpReportRun::BuildControllers() {
    MainController = std::make_unique<TRpController>();
    TRpController& main = *MainController;
    main.Owner = &Report;
    main.IsReport = true;
    main.DataSet = Report.DataSet();
    main.NeedData = Report.OnNeedData ? &Report.OnNeedData : nullptr;
    main.Header = TitleBand;
    main.Detail = DetailBand;
    main.Footer = SummaryBand;
    main.PrintIfEmpty = Report.PrintIfEmpty();
    if (main.DataSet)
        DataSetList.append(main.DataSet);
    for (TRpCustomBand* band : Report.Bands()) {
        if (band->BandType() == rbGroupHeader) {
            if (auto* group = qobject_cast<TRpGroup*>(band)) {
                TRpController::Group entry;
                entry.Band = group;
                entry.Evaluator = std::make_unique<TRpEvaluator>();
                main.Groups.push_back(std::move(entry));
            }
        } else if (band->BandType() == rbSubDetail) {
            if (auto* sub = qobject_cast<TRpSubDetail*>(band)) {
                auto controller = std::make_unique<TRpController>();
                controller->Owner = sub;
                controller->DataSet = sub->DataSet();
                controller->NeedData = sub->OnNeedData ? &sub->OnNeedData : nullptr;
                controller->Header = sub->HeaderBand();
                controller->Detail = sub;
                controller->Footer = sub->FooterBand();
                controller->PrintIfEmpty = sub->PrintIfEmpty();
                sub->Notify = controller.get();
                if (controller->DataSet && !DataSetList.contains(controller->DataSet))
                    DataSetList.append(controller->DataSet);
                (sub->PrintBefore() ? main.Before : main.After).append(sub);
                SubControllers.push_back(std::move(controller));
            }
        }
    }
    if (DetailBand)
        DetailBand->Notify = &main;
}

TRpController* TRpReportRun::ControllerOf(QObject* owner) const {
    if (!owner || owner == &Report)
        return MainController.get();
    for (const auto& controller : SubControllers)
        if (controller->Owner == owner)
            return controller.get();
    return MainController.get();
}

void TRpReportRun::RegisterAggregate(TRpExpr* expression, QObject* master) {
    if (TRpController* controller = ControllerOf(master))
        if (!controller->Notify.contains(expression))
            controller->Notify.append(expression);
}

namespace {

// Every band of the report: the list, child bands, group footers and the
// header and footer bands of sub-details.
QList<TRpCustomBand*> AllBands(const TRpCustomReport& report) {
    QList<TRpCustomBand*> bands;
    const auto add = [&bands](TRpCustomBand* band) {
        for (int guard = 0; band && guard < 1000; ++guard) {
            if (bands.contains(band))
                return;
            bands.append(band);
            band = band->ChildBand();
        }
    };
    for (TRpCustomBand* band : report.Bands()) {
        add(band);
        if (auto* group = qobject_cast<TRpGroup*>(band))
            add(group->FooterBand());
        if (auto* sub = qobject_cast<TRpSubDetail*>(band)) {
            add(sub->HeaderBand());
            add(sub->FooterBand());
        }
    }
    return bands;
}

} // namespace

void TRpReportRun::PrepareAll() {
    TRpEvEnvironment& environment = Report.Environment();
    environment.SetDataSets(DataSetList);
    EnvironmentPrepared = environment.Prepare();
    PageNumberElement = environment.FirstElementOf(QStringLiteral("PAGENUMBER"));
    ColumnNumberElement = environment.FirstElementOf(QStringLiteral("COLUMNNUMBER"));
    TitleElement = environment.FirstElementOf(QStringLiteral("REPORTTITLE"));
    SetNumber(PageNumberElement, 0);
    SetNumber(ColumnNumberElement, 0);
    if (TitleElement)
        environment.PutText(TitleElement, Report.ReportTitle());
    for (auto& group : MainController->Groups) {
        group.Evaluator->SetSearchDataSets(DataSetList);
        group.Evaluator->SetLocalEnvironment(&environment);
        group.Evaluator->Compile(group.Band->Expression());
    }
    Prepared = true;
    for (TRpCustomBand* band : AllBands(Report)) {
        band->Extra = 0;
        for (TRpPrintable* printable : band->Printables())
            printable->Prepare(*this);
    }
    for (TRpPrintable* printable : Report.Printables())
        printable->Prepare(*this);
}

void TRpReportRun::UnprepareAll() {
    if (Prepared) {
        Prepared = false;
        for (TRpCustomBand* band : AllBands(Report)) {
            band->Extra = 0;
            band->Notify = nullptr;
            for (TRpPrintable* printable : band->Printables())
                printable->Unprepare();
        }
        for (TRpPrintable* printable : Report.Printables())
            printable->Unprepare();
    } else {
        for (TRpCustomBand* band : Report.Bands())
            band->Notify = nullptr;
    }
    if (MainController)
        for (auto& group : MainController->Groups)
            group.Evaluator->Discard();
    if (EnvironmentPrepared) {
        EnvironmentPrepared = false;
        PageNumberElement = ColumnNumberElement = TitleElement = nullptr;
        Report.Environment().Unprepare();
    }
    DataSetList.clear();
}

void TRpReportRun::SetNumber(TRpEvElement* element, int value) {
    if (element)
        Report.Environment().PutInteger(element, value);
}

// ---------------------------------------------------------------- controllers

void TRpReportRun::HandleMessages() {
    if (!MessageTimer.isValid() || MessageTimer.elapsed() >= MessageInterval) {
        QCoreApplication::processEvents();
        MessageTimer.restart();
    }
    if (Printer->Cancelled())
        CancelledFlag = true;
}

void TRpReportRun::ReportProgress(TRpController& controller) {
    if (!controller.IsReport || controller.RowCount <= 0)
        return;
    const int percent = int(qint64(controller.DetailNo) * 100 / controller.RowCount);
    if (percent != LastProgress) {
        LastProgress = percent;
        Printer->NotifyProgress(percent);
    }
}

// Fills the parameters of a query that are named like the report's own
// values (PAGENUMBER, COLUMNNUMBER, REPORTTITLE); an open query runs again.
static void FillReportParams(TDataSet* dataSet, TRpEvEnvironment& environment) {
    auto* query = qobject_cast<TQuery*>(dataSet);
    if (!query)
        return;
    bool any = false;
    for (int i = 0; i < query->ParamCount(); ++i) {
        TParam* param = query->Params(i);
        if (!environment.Contains(param->Name))
            continue;
        const EvalResult value = environment.ValueOfName(param->Name);
        switch (value.Kind) {
        case EvalKind::Integer:
            param->Value = value.IntValue;
            break;
        case EvalKind::Float:
            param->Value = value.FloatValue;
            break;
        case EvalKind::Boolean:
            param->Value = value.BoolValue;
            break;
        default:
            param->Value = value.TextValue;
            break;
        }
        any = true;
    }
    if (any && query->Active()) {
        query->Close();
        query->Open();
    }
}

bool TRpReportRun::NextRow(TRpController& controller) {
    if (controller.DataSet) {
        controller.DataSet->Next();
        return !controller.DataSet->Eof();
    }
    bool more = false;
    if (controller.NeedData && *controller.NeedData)
        (*controller.NeedData)(controller.Owner, more);
    return more;
}

void TRpReportRun::PrintHeader(TRpController& controller) {
    PrintBand(controller.Header);
    if (!controller.IsReport)
        return;
    // The next forced page break is skipped once a page exists, so a band
    // forcing a new page right after the headers does not leave page 1 with
    // headers only.
    KeepPage = PageStarted();
    if (PageCounter <= 1 && ColumnHeaderBand && ColumnHeaderBand->Enabled()) {
        PrintBand(ColumnHeaderBand);
        KeepPage = PageStarted();
    }
}

void TRpReportRun::PrintFooter(TRpController& controller) {
    if (!controller.Footer)
        return;
    if (!PageStarted())
        NewColumn();
    PrintBand(controller.Footer);
}

void TRpReportRun::EvaluateGroups(TRpController& controller) {
    bool changed = false;
    for (auto& group : controller.Groups) {
        const QString value = EvalPlainText(group.Evaluator->Compute());
        // A change of an outer group restarts every group inside it.
        if (changed || value != group.Value) {
            changed = true;
            group.Changed = true;
        }
        group.Value = value;
    }
}

void TRpReportRun::PrintGroupFooters(TRpController& controller, size_t from) {
    for (size_t i = controller.Groups.size(); i-- > from;)
        PrintBand(controller.Groups[i].Band->FooterBand());
}

void TRpReportRun::PrintSubDetails(const QList<TRpSubDetail*>& list) {
    for (TRpSubDetail* sub : list) {
        if (CancelledFlag)
            return;
        if (TRpController* controller = ControllerOf(sub); controller && controller->Owner == sub)
            ExecuteController(*controller);
    }
}

void TRpReportRun::ExecuteController(TRpController& controller) {
    for (auto& group : controller.Groups) {
        group.Changed = true;
        group.Value.clear();
    }
    TDataSet* dataSet = controller.DataSet;
    if (dataSet && !dataSet->Active())
        dataSet = nullptr; // a closed data set has no rows to give
    bool more = false;
    controller.RowCount = 0;
    // Grids showing the data set do not follow the walk row by row (every
    // move would scroll them, and every pause for window messages repaint
    // them); they catch up once, with the row the walk ends on.
    struct TQuietControls {
        QPointer<TDataSet> Set;
        ~TQuietControls() {
            if (Set)
                Set->EnableControls();
        }
    } quiet{dataSet};
    if (dataSet) {
        dataSet->DisableControls();
        FillReportParams(dataSet, Report.Environment());
        dataSet->First();
        more = !dataSet->Eof();
        // A forward-only data set cannot tell its rows ahead: no percentage.
        controller.RowCount = dataSet->IsUniDirectional() ? 0 : dataSet->RecordCount();
    } else if (controller.NeedData && *controller.NeedData) {
        (*controller.NeedData)(controller.Owner, more);
    }
    TDataSet* const saved = controller.DataSet;
    controller.DataSet = dataSet;
    struct Restore {
        TRpController& Controller;
        TDataSet* DataSet;
        ~Restore() { Controller.DataSet = DataSet; }
    } restore{controller, saved};

    controller.DetailNo = 0;
    if (!more) {
        // No rows: with PrintIfEmpty the header, one detail band and the
        // footer print once; without, nothing prints.
        if (!controller.PrintIfEmpty)
            return;
        PrintHeader(controller);
        PrintBand(controller.Detail);
        PrintFooter(controller);
        return;
    }
    HandleMessages();
    if (CancelledFlag)
        return;
    PrintHeader(controller);
    EvaluateGroups(controller);
    while (more) {
        HandleMessages();
        if (CancelledFlag)
            return;
        ++controller.DetailNo;
        for (auto& group : controller.Groups) {
            if (group.Changed) {
                group.Changed = false;
                PrintBand(group.Band);
            }
        }
        if (controller.IsReport)
            PrintSubDetails(controller.Before);
        PrintBand(controller.Detail);
        if (controller.IsReport)
            PrintSubDetails(controller.After);
        more = NextRow(controller);
        if (more && !controller.Groups.empty()) {
            EvaluateGroups(controller);
            size_t first = controller.Groups.size();
            for (size_t i = 0; i < controller.Groups.size(); ++i)
                if (controller.Groups[i].Changed) {
                    first = i;
                    break;
                }
            if (first < controller.Groups.size()) {
                // The footers belong to the group's last row: step back to it
                // while they print (a forward-only data set cannot).
                const bool back = dataSet && !dataSet->IsUniDirectional();
                if (back)
                    dataSet->Prior();
                PrintGroupFooters(controller, first);
                if (back)
                    dataSet->Next();
            }
        }
        ReportProgress(controller);
    }
    PrintGroupFooters(controller, 0);
    PrintFooter(controller);
}

// ---------------------------------------------------------------- bands

double TRpReportRun::PageBottom() const {
    return PageLength - Report.Page().BottomMargin - FooterReserve;
}

void TRpReportRun::AlignToBottom(TRpCustomBand* band) {
    if (!band->AlignBottom() || !PageStarted())
        return;
    const double bottom = PageLength - Report.Page().BottomMargin;
    // The summary is the last band: without a footer on the last page it
    // may use the footers' room, once it fits there on this page (a page
    // it leaves still gets its footer in its place).
    if (band->BandType() == rbSummary && !Report.Options().LastPageFooter &&
        CurrentY + band->HeightTenths() <= bottom + Eps)
        FooterReserve = 0;
    const double target = bottom - FooterReserve - band->HeightTenths();
    if (CurrentY < target)
        CurrentY = target;
}

void TRpReportRun::PrintBand(TRpCustomBand* band, PrintMode mode) {
    if (!band)
        return;
    if (mode == PrintMode::Normal)
        AlignToBottom(band);
    bool printBand = band->Enabled();
    if (printBand && band->BeforePrint)
        band->BeforePrint(band, printBand);
    if (printBand) {
        if (mode == PrintMode::Normal) {
            const bool breaks = BreaksAllowed(band->BandType());
            if (band->ForceNewPage() && breaks && PageStarted()) {
                if (KeepPage) {
                    KeepPage = false;
                } else {
                    const int page = PageCounter;
                    for (int guard = 0; PageCounter == page && guard < 10000; ++guard)
                        NewColumn();
                }
            } else if (band->ForceNewColumn() && breaks && PageStarted()) {
                if (Column == 1 && !ColumnForced)
                    ColumnForced = true;
                else
                    NewColumn();
            }
            MakeSpace(band);
            // On a page started for this band it still goes to the bottom.
            AlignToBottom(band);
            KeepPage = false;
        }
        if (band->Notify)
            band->Notify->NotifyAggregates();
        PrintBandBody(band, mode);
    } else if (!band->Enabled() && band->Notify) {
        // A disabled band still lets its aggregates see the row; a vetoed one
        // does not.
        band->Notify->NotifyAggregates();
    }
    if (band->AfterPrint)
        band->AfterPrint(band, printBand);
    if (TRpCustomBand* child = band->ChildBand())
        PrintBand(child, mode);
}

void TRpReportRun::PrintBandBody(TRpCustomBand* band, PrintMode mode) {
    const double height = band->HeightTenths();
    if (height == 0)
        return;
    TRpCustomBand* const outerBand = Context.Band;
    const PrintMode outerMode = CurrentMode;
    Context.Band = band;
    CurrentMode = mode;
    band->Extra = 0;
    double x = CurrentX;
    double y = CurrentY;

    const auto finishPiece = [&] {
        Context.EndPiece();
        const QRectF area(x, y, band->WidthTenths(), height + band->Extra);
        if (Context.Drawing()) {
            Context.DrawFrame(band, band->Frame(), area);
            if (Context.Observer)
                Context.Observer->BandPrinted(band, Context.Page, area);
        }
    };

    Context.StartPiece(QRectF(x, y, band->WidthTenths(), height), band->Color());
    QVarLengthArray<TRpPrintable*, 16> unfinished;
    for (TRpPrintable* printable : band->Printables()) {
        if (!printable->Enabled())
            continue;
        printable->Print(Context, x, y);
        if (!printable->PrintFinished())
            unfinished.append(printable);
    }
    finishPiece();

    // Texts that did not fit continue in the next column (or on the next
    // page), in a new piece of the band, until every line has printed.
    while (!unfinished.isEmpty()) {
        if (mode != PrintMode::Normal || CancelledFlag) {
            // Bands printed by a page or column break never continue.
            for (TRpPrintable* printable : unfinished)
                printable->Finished = true;
            break;
        }
        NewColumn();
        Context.Band = band;
        CurrentMode = mode;
        band->Extra = 0;
        x = CurrentX;
        y = CurrentY;
        Context.StartPiece(QRectF(x, y, band->WidthTenths(), height), band->Color());
        QVarLengthArray<TRpPrintable*, 16> next;
        bool progress = false;
        for (TRpPrintable* printable : unfinished) {
            const int before = printable->PrintPosition();
            printable->Print(Context, x, y);
            if (printable->PrintFinished())
                progress = true;
            else {
                next.append(printable);
                progress = progress || printable->PrintPosition() != before;
            }
        }
        finishPiece();
        if (!progress) {
            // Not even one more line fits on a fresh page: the rest is lost.
            for (TRpPrintable* printable : next)
                printable->Finished = true;
            next.clear();
        }
        unfinished = next;
    }
    CurrentY = y + height + band->Extra;
    Context.Band = outerBand;
    CurrentMode = outerMode;
}

bool TRpReportRun::RequestExtra(TRpCustomBand* band, double extra) {
    if (extra <= band->Extra + Eps)
        return true;
    if (!PageStarted())
        return false;
    const double limit = CurrentMode == PrintMode::PageFooter
                             ? PageLength - Report.Page().BottomMargin
                             : PageBottom();
    if (CurrentY + band->HeightTenths() + extra > limit + Eps)
        return false;
    band->Extra = extra;
    return true;
}

void TRpReportRun::MakeSpace(TRpCustomBand* band) {
    if (band->BandType() == rbPageFooter)
        return;
    if (!PageStarted()) {
        NewColumn();
        return;
    }
    double needed = band->HeightTenths();
    int guard = 0;
    for (TRpCustomBand* link = band->LinkBand(); link && link != band && guard < 1000;
         link = link->LinkBand(), ++guard)
        needed += link->HeightTenths();
    const TRpPage& page = Report.Page();
    const double left = PageBottom() - CurrentY;
    const double printable = PageLength - page.TopMargin - page.BottomMargin;
    if (left + Eps < needed && band->HeightTenths() <= printable + Eps)
        NewColumn();
}

void TRpReportRun::NewColumn() {
    const TRpPage& page = Report.Page();
    if (Column >= Columns) {
        Column = 1;
        CurrentX = page.LeftMargin;
        NewPage();
    } else {
        ++Column;
        CurrentX += ColumnWidth + page.ColumnSpace;
        CurrentY = ColumnsTop;
    }
    ColumnForced = false;
    SetNumber(ColumnNumberElement, Column);
    if (Column == 1 && PageCounter == 1)
        return;
    PrintBand(ColumnHeaderBand, PrintMode::Fixed);
    if (MainController && MainController->DetailNo > 0)
        for (auto& group : MainController->Groups)
            if (group.Band->ReprintHeader() && !group.Changed)
                PrintBand(group.Band, PrintMode::Fixed);
}

void TRpReportRun::NewPage() {
    EndPage();
    ++PageCounter;
    SetNumber(PageNumberElement, PageCounter);
    if (Context.FinalPass) {
        Printer->StartNewPage();
        Context.StartCanvas(Printer->Canvas());
        Context.Page = PageCounter;
        if (Context.Observer)
            Context.Observer->PageStarted(PageCounter);
    }
    const TRpPage& page = Report.Page();
    CurrentY = page.TopMargin;
    if (Report.OnStartPage)
        Report.OnStartPage(&Report);
    if (PageCounter > 1 || Report.Options().FirstPageHeader)
        PrintBand(PageHeaderBand, PrintMode::Fixed);
    ColumnsTop = CurrentY;
    if (PageCounter == 1 && TitleBand && TitleBand->Enabled())
        ColumnsTop += TitleBand->HeightTenths();
}

void TRpReportRun::AppendFinalPage() {
    if (!Report.FinalPage || !Context.FinalPass || PageCounter == 0)
        return;
    ++PageCounter;
    SetNumber(PageNumberElement, PageCounter);
    Printer->StartNewPage();
    if (Context.Observer)
        Context.Observer->PageStarted(PageCounter);
    QPainter* canvas = Printer->Canvas();
    if (!canvas)
        return;
    canvas->save();
    Report.FinalPage(*canvas, QRectF(0, 0, Printer->PaperWidth() * Printer->XFactor(),
                                     Printer->PaperLength() * Printer->YFactor()));
    canvas->restore();
}

void TRpReportRun::EndPage() {
    if (PageCounter == 0)
        return;
    const TRpPage& page = Report.Page();
    CurrentY = PageBottom();
    CurrentX = page.LeftMargin;
    if (!(LastPageFlag && !Report.Options().LastPageFooter))
        for (TRpCustomBand* footer : PageFooters)
            PrintBand(footer, PrintMode::PageFooter);
    TRpCustomBand* const outerBand = Context.Band;
    Context.Band = nullptr;
    for (TRpPrintable* printable : Report.Printables())
        if (printable->Enabled())
            printable->Print(Context, 0, 0);
    Context.Band = outerBand;
    if (Context.Drawing() && Report.Frame().Any())
        Context.DrawFrame(&Report, Report.Frame(),
                          QRectF(page.LeftMargin, page.TopMargin,
                                 PageWidth - page.LeftMargin - page.RightMargin,
                                 PageLength - page.TopMargin - page.BottomMargin));
    if (Report.OnEndPage)
        Report.OnEndPage(&Report);
}
