#pragma once
// The report component: a data set walked row by row, a page layout, bands
// with their printables, and the events of a run. One run lays the bands out
// page by page onto the canvas of a printer object (TRpPrinter), which
// records the pages for the preview or sends them to the printer.
//
// The report-level operations PrepareReport, PreviewReport and
// PrintPreparedPages (RpReportFunctions.h) create the printer object and
// start runs; the caller releases the printer object when it is done with it
// (ReleasePrinter), except after a preview, which releases it when its
// window closes.

#include "RpEnvironment.h"
#include "RpFrame.h"
#include "RpPrinter.h"
#include "RpTypes.h"
#include "RpUnits.h"

#include <QFont>
#include <QList>
#include <QObject>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QRectF>

#include <functional>
#include <memory>

class TDataSet;
class TRpPrintable;
class TRpReportRun;
class TRpRunObserver;

// Paper, orientation, columns and margins. Sizes in tenths of a millimetre.
class TRpPage {
public:
    TRpPage();

    QPageSize::PageSizeId PaperSize() const { return Paper; }
    // Sets the paper and applies its size in the current orientation.
    void SetPaperSize(QPageSize::PageSizeId paper);
    // A paper of its own size (upright width and length).
    void SetCustomSize(double width, double length);
    QPageLayout::Orientation Orientation() const { return Turn; }
    // Sets the orientation and applies the paper size again, so width and
    // length swap for landscape. Margins stay.
    void SetOrientation(QPageLayout::Orientation orientation);
    // Paper width and length as oriented.
    double Width() const { return PaperWidth; }
    double Length() const { return PaperLength; }
    // Upright size of a custom paper.
    double CustomWidth() const { return CustomW; }
    double CustomLength() const { return CustomL; }

    int Columns() const { return ColumnCount; }
    void SetColumns(int columns) { ColumnCount = columns < 1 ? 1 : columns; }
    double ColumnSpace = 0;
    double TopMargin = 100;
    double BottomMargin = 100;
    double LeftMargin = 100;
    double RightMargin = 100;
    // Sets all four margins in millimetres (left, top, right, bottom).
    void SetMarginsMm(double left, double top, double right, double bottom);
    // Width between the side margins.
    double PrintableWidth() const { return PaperWidth - LeftMargin - RightMargin; }
    // Length between the top and bottom margins.
    double PrintableLength() const { return PaperLength - TopMargin - BottomMargin; }

private:
    void ApplyPaperSize();

    QPageSize::PageSizeId Paper = QPageSize::A4;
    QPageLayout::Orientation Turn = QPageLayout::Portrait;
    double CustomW = 2100;
    double CustomL = 2970;
    double PaperWidth = 2100;
    double PaperLength = 2970;
    int ColumnCount = 1;
};

struct TRpPrinterSettings {
    int Copies = 1;
    // Page range of a run and of printing; 0 = not set.
    int FirstPage = 0;
    int LastPage = 0;
    // Index into the system's printer list; -1 the default printer.
    int PrinterIndex = -1;
    int OutputBin = 0;
};

struct TRpReportOptions {
    // Print the page header on page 1 too.
    bool FirstPageHeader = true;
    // Print the page footer on the last page too.
    bool LastPageFooter = true;
    // Code the page data in the page store.
    bool Compression = false;
};

class TRpCustomReport : public QObject {
    Q_OBJECT

public:
    explicit TRpCustomReport(QObject* parent = nullptr);
    ~TRpCustomReport() override;

    // The data set walked by the run (not owned).
    TDataSet* DataSet() const { return Data; }
    void SetDataSet(TDataSet* dataSet) { Data = dataSet; }

    TRpPage& Page() { return PageValue; }
    const TRpPage& Page() const { return PageValue; }
    TRpPrinterSettings& PrinterSettings() { return Printing; }
    const TRpPrinterSettings& PrinterSettings() const { return Printing; }
    TRpReportOptions& Options() { return OptionsValue; }
    const TRpReportOptions& Options() const { return OptionsValue; }
    bool PrintIfEmpty() const { return IfEmpty; }
    void SetPrintIfEmpty(bool on) { IfEmpty = on; }
    QString ReportTitle() const { return Title; }
    void SetReportTitle(const QString& title) { Title = title; }
    // The font of printables whose ParentFont is on (Arial 10 pt).
    QFont Font() const { return FontValue; }
    void SetFont(const QFont& font) { FontValue = font; }
    // Zoom in percent for pixel conversions (100).
    int Zoom() const { return ZoomValue; }
    void SetZoom(int zoom) { ZoomValue = zoom > 0 ? zoom : 100; }
    // The units the report shows its geometry in (a run works in tenths).
    TRpUnits Units() const { return UnitsValue; }
    void SetUnits(TRpUnits units) { UnitsValue = units; }
    // A frame around the printable area of every page.
    TRpFrame& Frame() { return FrameValue; }
    double Dpi() const { return ScreenDpi; }

    // Bands in the report's order.
    const QList<TRpCustomBand*>& Bands() const { return BandList; }
    // The first band of a kind, or nullptr.
    TRpCustomBand* FindBand(TRpBandType kind) const;
    void AddBand(TRpCustomBand* band);
    void RemoveBand(TRpCustomBand* band);
    // Printables placed directly on the report (printed at every page end,
    // positioned on the paper).
    const QList<TRpPrintable*>& Printables() const { return Items; }
    void AddPrintable(TRpPrintable* printable);
    void RemovePrintable(TRpPrintable* printable);

    // Events.
    TRpReportBeforePrintEvent BeforePrint;
    TRpReportEvent OnStartPage;
    TRpReportEvent OnEndPage;
    // Asked for more rows when the report has no data set.
    TRpNeedDataEvent OnNeedData;
    TRpReportEvent OnPreview;
    TRpReportEvent AfterPreview;
    TRpReportEvent AfterPrint;
    // Drawn on a page of its own after the last page of a run that draws
    // (a chart of the report's data); paper is the whole page in the
    // canvas's device pixels.
    std::function<void(QPainter& canvas, const QRectF& paper)> FinalPage;

    // Run state, readable from event handlers.
    bool Busy() const { return IsBusy; }
    // The page being filled (1 on the first page); the last page after a run.
    int PageNumber() const;
    // Column of the page being filled (1-based).
    int ColumnNumber() const;
    // Running number of the current row of the report's data set (1 for the
    // first row).
    int DetailNo() const;
    // True when the last run was cancelled.
    bool Cancelled() const { return WasCancelled; }
    // The report's own named values: PAGENUMBER, COLUMNNUMBER, REPORTTITLE.
    TRpEvEnvironment& Environment() { return Env; }
    // The data sets of the run (the report's and its sub-details').
    QList<TDataSet*> DataSets() const;

    // The printer object of the last PrepareReport or PreviewReport.
    TRpPrinter* Printer() const { return PrinterObject; }
    void SetPrinter(TRpPrinter* printer) { PrinterObject = printer; }
    // Deletes the printer object and clears the reference (during the
    // object's own run, once the run has ended).
    void ReleasePrinter();

    // Off: a run keeps every event, value, total and page break exactly, but
    // draws nothing and stores no pages (for callers that need only the
    // totals); a data text that can neither stretch its band nor has a print
    // event is then not even read.
    bool DrawPages() const { return Draw; }
    void SetDrawPages(bool on) { Draw = on; }

    // Off: the printer objects of later runs keep no text index of their
    // pages (a PDF written straight away needs none, and the index grows
    // with the pages while the pages themselves go to a temporary file).
    bool IndexText() const { return IndexTextValue; }
    void SetIndexText(bool on) { IndexTextValue = on; }
    // Set: the printer objects of later runs draw their pages straight into
    // this PDF instead of recording them (TRpPrinter::SetPdfOutput), for a
    // caller that wants the report only as that file.
    QString PdfOutput() const { return PdfOutputValue; }
    void SetPdfOutput(const QString& fileName) { PdfOutputValue = fileName; }

    TRpRunObserver* Observer() const { return ObserverValue; }
    void SetObserver(TRpRunObserver* observer) { ObserverValue = observer; }

    // Runs the report into printer (which must be ready). With copySettings
    // the report's page and printer settings go to the printer object first;
    // without, the printer object keeps its own. Does nothing while busy.
    // Raised errors end the run (the printer object's run is aborted and the
    // report is ready again) and are passed on.
    void Run(TRpPrinter* printer, bool copySettings = true);
    // The run in progress, or nullptr.
    TRpReportRun* CurrentRun() const { return RunState.get(); }

    // Printer-object notices: a print request from the preview's Print
    // button runs the report again towards the printer with the preview's
    // printer settings; a closed preview releases its printer object.
    void PrinterPrintRequested(TRpPrinter* printer);
    void PrinterPreviewClosed(TRpPrinter* printer);

private:
    friend class TRpReportRun;

    QPointer<TDataSet> Data;
    TRpPage PageValue;
    TRpPrinterSettings Printing;
    TRpReportOptions OptionsValue;
    bool IfEmpty = false;
    QString Title;
    QFont FontValue;
    int ZoomValue = 100;
    TRpUnits UnitsValue = TRpUnits::Millimetres;
    TRpFrame FrameValue;
    double ScreenDpi;
    QList<TRpCustomBand*> BandList;
    QList<TRpPrintable*> Items;
    TRpEvEnvironment Env;

    bool IsBusy = false;
    bool WasCancelled = false;
    bool Draw = true;
    bool IndexTextValue = true;
    QString PdfOutputValue;
    int LastPage = 0;
    int LastColumn = 0;
    int LastDetail = 0;
    QPointer<TRpPrinter> PrinterObject;
    QPointer<TRpPrinter> ReleaseAfterRun;
    TRpRunObserver* ObserverValue = nullptr;
    std::unique_ptr<TRpReportRun> RunState;
};

class TRpReport : public TRpCustomReport {
    Q_OBJECT
public:
    explicit TRpReport(QObject* parent = nullptr);
};
