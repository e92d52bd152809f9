#include "RpCustomReport.h"

#include "RpBand.h"
#include "RpPaperSizes.h"
#include "RpPrintable.h"
#include "RpPrinter.h"
#include "RpReportRun_p.h"

// ---------------------------------------------------------------- TRpPage

TRpPage::TRpPage() {
    ApplyPaperSize();
}

void TRpPage::ApplyPaperSize() {
    double width = CustomW;
    double length = CustomL;
    if (Paper != QPageSize::Custom) {
        const QSize size = RpPaperSizeTenths(Paper);
        width = size.width();
        length = size.height();
    }
    if (Turn == QPageLayout::Landscape)
        std::swap(width, length);
    PaperWidth = width;
    PaperLength = length;
}

void TRpPage::SetPaperSize(QPageSize::PageSizeId paper) {
    Paper = paper;
    ApplyPaperSize();
}

void TRpPage::SetCustomSize(double width, double length) {
    Paper = QPageSize::Custom;
    CustomW = width;
    CustomL = length;
    ApplyPaperSize();
}

void TRpPage::SetOrientation(QPageLayout::Orientation orientation) {
    Turn = orientation;
    ApplyPaperSize();
}

void TRpPage::SetMarginsMm(double left, double top, double right, double bottom) {
    LeftMargin = left * 10;
    TopMargin = top * 10;
    RightMargin = right * 10;
    BottomMargin = bottom * 10;
}

// ---------------------------------------------------------------- TRpCustomReport

TRpCustomReport::TRpCustomReport(QObject* parent)
    : QObject(parent), FontValue(QStringLiteral("Arial"), 10), ScreenDpi(RpScreenDpi()) {
    DefineReportNames(Env);
}

TRpCustomReport::~TRpCustomReport() {
    // Bands and printables go first, while the lists they leave still exist.
    const QList<TRpCustomBand*> bands = BandList;
    for (TRpCustomBand* band : bands)
        delete band;
    BandList.clear();
    const QList<TRpPrintable*> items = Items;
    for (TRpPrintable* item : items)
        delete item;
    Items.clear();
}

TRpCustomBand* TRpCustomReport::FindBand(TRpBandType kind) const {
    for (TRpCustomBand* band : BandList)
        if (band->BandType() == kind)
            return band;
    return nullptr;
}

void TRpCustomReport::AddBand(TRpCustomBand* band) {
    if (!band || BandList.contains(band))
        return;
    band->setParent(this);
    band->OwnerReport = this;
    BandList.append(band);
}

void TRpCustomReport::RemoveBand(TRpCustomBand* band) {
    BandList.removeOne(band);
}

void TRpCustomReport::AddPrintable(TRpPrintable* printable) {
    if (!printable || Items.contains(printable))
        return;
    if (printable->OwnerBand)
        printable->OwnerBand->RemovePrintable(printable);
    printable->setParent(this);
    printable->OwnerReport = this;
    Items.append(printable);
}

void TRpCustomReport::RemovePrintable(TRpPrintable* printable) {
    if (Items.removeOne(printable))
        printable->OwnerReport = nullptr;
}

int TRpCustomReport::PageNumber() const {
    return RunState ? RunState->PageNumber() : LastPage;
}

int TRpCustomReport::ColumnNumber() const {
    return RunState ? RunState->ColumnNumber() : LastColumn;
}

int TRpCustomReport::DetailNo() const {
    return RunState ? RunState->DetailNo() : LastDetail;
}

QList<TDataSet*> TRpCustomReport::DataSets() const {
    return RunState ? RunState->DataSets() : QList<TDataSet*>();
}

void TRpCustomReport::ReleasePrinter() {
    TRpPrinter* printer = PrinterObject;
    PrinterObject = nullptr;
    if (printer && IsBusy && RunState && RunState->Printer == printer) {
        // Released from an event handler during its own run: it goes when
        // the run has ended.
        ReleaseAfterRun = printer;
        return;
    }
    delete printer;
}

void TRpCustomReport::Run(TRpPrinter* printer, bool copySettings) {
    if (IsBusy || !printer)
        return;
    IsBusy = true;
    WasCancelled = false;
    RunState = std::make_unique<TRpReportRun>(*this, printer);
    struct Finish {
        TRpCustomReport& Report;
        ~Finish() {
            Report.LastPage = Report.RunState->PageNumber();
            Report.LastColumn = Report.RunState->ColumnNumber();
            Report.LastDetail = Report.RunState->DetailNo();
            Report.WasCancelled = Report.RunState->Cancelled();
            Report.RunState.reset();
            Report.IsBusy = false;
            delete Report.ReleaseAfterRun.data();
            Report.ReleaseAfterRun = nullptr;
        }
    } finish{*this};
    RunState->Execute(copySettings);
}

void TRpCustomReport::PrinterPrintRequested(TRpPrinter* preview) {
    if (IsBusy || !preview)
        return;
    // The pages go to the platform printer with the settings the preview's
    // printer object holds (the report's, as changed by the printer setup).
    TRpPrinter device;
    device.SetDestination(TRpDestination::Printer);
    device.SetPageSettings(preview->PageSettings());
    device.SetTitle(Title);
    Run(&device, false);
    if (AfterPrint)
        AfterPrint(this);
}

void TRpCustomReport::PrinterPreviewClosed(TRpPrinter* printer) {
    if (!printer)
        return;
    if (IsBusy && RunState && RunState->Printer == printer) {
        // The run in progress stops at its next row; PreviewReport releases
        // the printer object when the run has returned.
        printer->RequestCancel();
        return;
    }
    if (PrinterObject == printer)
        PrinterObject = nullptr;
    printer->deleteLater();
}

TRpReport::TRpReport(QObject* parent) : TRpCustomReport(parent) {}
