#pragma once
// The report engine's output object. A report run draws each page on the
// canvas this object provides; the pages are either recorded (as pictures,
// into the page store) for the preview, or drawn straight on the platform
// printer. Recorded pages can afterwards be printed, saved to a report file or
// a PDF, and a saved report file can be opened again.
//
// A run calls StartRun, then StartNewPage before drawing each page on
// Canvas(), then FinishRun (or AbortRun). The canvas works in device pixels:
// XFactor()/YFactor() are device pixels per tenth of a millimetre, and (0, 0)
// is the paper's top-left corner for both destinations.
//
// Notifications are signals: progress and pageReady for the preview showing
// the pages (emitted directly; connect queued to have them posted), and
// printRequested (posted) and previewClosed (direct) for the report that owns
// this object. Release the object with deleteLater() from a previewClosed
// handler: printing lets pending events run between pages.

#include "RpPageList.h"

#include <QObject>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QPrinter>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QFont;
class QPainter;
class QPicture;
class QTemporaryFile;

// Where a run's pages go.
enum class TRpDestination {
    Metafile = 0, // recorded into the page store, for the preview
    Printer = 1,  // drawn on the platform printer as the run goes
};

enum class TRpPrinterStatus { Ready = 0, Busy = 1, Finished = 2 };

// The report's page and printer settings the printer object works with.
struct TRpPageSettings {
    QPageSize::PageSizeId PaperSize = QPageSize::A4;
    // Paper of PaperSize QPageSize::Custom, tenths of a millimetre, upright.
    int CustomWidth = 2100;
    int CustomLength = 2970;
    QPageLayout::Orientation Orientation = QPageLayout::Portrait;
    int Copies = 1;
    // Page range of the run and of printing; 0 = not set.
    int FirstPage = 0;
    int LastPage = 0;
    // Index into the system's printer list; -1 the default printer.
    int PrinterIndex = -1;
    // A printer chosen in the printer-setup dialog; when set it wins over
    // PrinterIndex.
    QString PrinterName;
    // The printer's bin in the Windows bin codes (1 upper, 2 lower, 3 middle,
    // 4 manual, 5 envelope, 6 envelope manual, 7 auto, 8 tractor, 9 small
    // format, 10 large format, 11 large capacity, 14 cassette, 15 form
    // source); 0 the printer's own choice. Applied on Windows, where the
    // printer offers that bin; Qt's printers elsewhere have no bins.
    int OutputBin = 0;
    // Code the page data in the page store.
    bool Compression = false;
};

// The platform's paper source for an OutputBin code; none for 0 and for
// codes that name no bin.
std::optional<QPrinter::PaperSource> RpPaperSourceOfBin(int bin);

class TRpPrinter : public QObject {
    Q_OBJECT

public:
    // Pages stay in memory up to this many bytes of page data.
    static constexpr qint64 SpillLimit = 100000;

    explicit TRpPrinter(QObject* parent = nullptr);
    ~TRpPrinter() override;

    TRpPageSettings& PageSettings() { return Settings; }
    const TRpPageSettings& PageSettings() const { return Settings; }
    void SetPageSettings(const TRpPageSettings& settings) { Settings = settings; }
    // Paper width and length in tenths of a millimetre, as oriented.
    int PaperWidth() const;
    int PaperLength() const;
    QPageLayout PageLayout() const;

    QString Title() const { return JobTitle; }
    void SetTitle(const QString& title) { JobTitle = title; }
    TRpDestination Destination() const { return Dest; }
    void SetDestination(TRpDestination destination) { Dest = destination; }
    // The report that owns this object; it receives printRequested and
    // previewClosed.
    QObject* Master() const { return MasterObject; }
    void SetMaster(QObject* master) { MasterObject = master; }
    // The preview showing the pages. Detaching it while a run is busy
    // requests a cancel.
    QObject* Client() const { return ClientObject; }
    void SetClient(QObject* client);

    TRpPrinterStatus Status() const { return State; }
    int PageNumber() const { return CurrentPage; }
    int PageCount() const { return Pages; }
    int ReadyPages() const { return Ready; }
    bool Cancelled() const { return CancelRequested; }
    bool ReportLoaded() const { return Loaded; }
    double XFactor() const { return XFac; }
    double YFactor() const { return YFac; }
    // Unprintable margins of the printer, in device pixels (informative: the
    // canvas origin is the paper's corner).
    int TopWaste() const { return TopW; }
    int LeftWaste() const { return LeftW; }
    // True when the system lists at least one printer.
    bool PrinterPresent() const;
    TRpPageList& PageList() { return Store; }
    // Sets up a QPrinter with the report's paper, orientation, printer,
    // copies and title; the canvas origin is the paper's corner.
    void ApplyPrinterSettings(QPrinter& printer) const;

    // Starts a run; raises Exception "RpPrinter not ready" unless ready.
    void StartRun();
    // Closes the page in progress and starts the next; raises Exception
    // "Illegal call to NewPage" unless a run is busy.
    void StartNewPage();
    // The painter of the page in progress, or nullptr between pages.
    QPainter* Canvas() const { return PagePainter; }
    void FinishRun();
    void AbortRun();
    void RequestCancel() { CancelRequested = true; }
    // Reports the run's progress (percent) to the preview.
    void NotifyProgress(int percent);
    // Called at the end of a run towards the printer.
    std::function<void()> OnEndRun;

    // Recorded page n as a new picture, or nullptr when there is none.
    std::unique_ptr<QPicture> PageImage(int n);

    // The text of the recorded pages (the page store's index).
    const TRpTextIndex& TextIndex() const { return Store.TextIndex(); }
    // Whether a run notes the text it draws (on by default; off only to
    // measure what the index costs).
    bool CollectText() const { return Collect; }
    void SetCollectText(bool on) { Collect = on; }
    // The run notes the font and the lines of text it draws on the page in
    // progress; rect is in tenths of a millimetre from the paper's corner.
    void NoteFont(const QFont& font);
    void NoteText(const QRectF& tenths, const QString& text);
    // True while the index lacks pages that are recorded: a report file
    // without an index (or with a damaged one) gets it by replaying its
    // pages. IndexPages replays up to count pages more and returns the pages
    // indexed so far.
    bool IndexPending() const;
    int IndexPages(int count);
    // Prints the recorded pages; with a master and no loaded file the master
    // is asked (printRequested) to run the report again towards the printer.
    void PrintPreparedPages();
    // Opens a report file; raises Exception when it cannot be read or a run
    // is producing pages.
    void OpenReportFile(const QString& fileName);
    // Saves the recorded pages as a report file; raises Exception unless the
    // pages are complete or the file cannot be written.
    void SaveReportFile(const QString& fileName);
    // Writes every recorded page to a PDF of the report's paper size and
    // orientation; the file is replaced only when it was written whole.
    void SavePdf(const QString& fileName);
    // Set before a run towards the page store: the run draws each page
    // straight into a PDF (beside fileName, under a temporary name) instead
    // of recording it, so neither the pages nor their text are kept, and
    // SavePdf(fileName) only puts that PDF in place. The pages are exactly
    // those SavePdf writes from recorded pages: drawn at the recording's
    // resolution and stretched over the paper as a recorded page is.
    // Printing, saving a report file and showing pages have nothing to work
    // on after such a run. Empty (the default): pages are recorded.
    void SetPdfOutput(const QString& fileName) { PdfOutput = fileName; }
    QString PdfOutputFile() const { return PdfOutput; }
    // True while the run draws its pages straight into the PDF: drawing
    // that a replay of a recorded page would place otherwise is to be
    // placed as the replay would.
    bool DrawsAsReplayed() const { return PdfDirect && State == TRpPrinterStatus::Busy; }
    // Tells the master that the preview window has closed.
    void NotifyPreviewClosed();
    // Ends any run and frees the pages: back to ready.
    void Cleanup();

    // Draws a recorded page stretched over target (device pixels).
    static void DrawPage(QPainter& painter, const QPicture& page, const QRectF& target);
    // Screen pixels per inch (96 without a screen).
    static double ScreenDpi();

signals:
    void progress(int percent);
    void pageReady(int readyPages);
    void printRequested();
    void previewClosed(TRpPrinter* printer);

private:
    bool InRange(int page) const;
    void CloseRecordedPage();
    void StartRecordedPage();
    void RaiseReady();
    void PaintPages(QPrinter& device, int from, int to, bool allowCancel);
    void StartPdfPage();
    void ClosePdf(bool keep);
    void PlaceFile(const QString& temp, const QString& fileName);

    TRpPageSettings Settings;
    QString JobTitle;
    TRpDestination Dest = TRpDestination::Metafile;
    QPointer<QObject> MasterObject;
    QPointer<QObject> ClientObject;

    TRpPrinterStatus State = TRpPrinterStatus::Ready;
    int CurrentPage = 0;
    int Pages = 0;
    int Ready = 0;
    bool CancelRequested = false;
    bool Loaded = false;
    double XFac = 96.0 / 254.0;
    double YFac = 96.0 / 254.0;
    int TopW = 0;
    int LeftW = 0;

    TRpPageList Store;
    // The page in progress: a picture being recorded (also for printer pages
    // outside the range, which are drawn and dropped), or the printer itself.
    std::unique_ptr<QPicture> PagePicture;
    std::unique_ptr<QPainter> PictureCanvas;
    std::unique_ptr<QPrinter> Device;
    std::unique_ptr<QPainter> DeviceCanvas;
    QPainter* PagePainter = nullptr;
    bool DevicePrinting = false;
    bool DeviceUsable = false; // a printer run with a printer to print on
    bool PrintingPages = false;
    bool Collect = true;
    bool Collecting = false; // the page in progress notes its text
    // A run drawn straight into a PDF: the file it is written to, the
    // device and its painter, and the finished file waiting for SavePdf.
    QString PdfOutput;
    std::unique_ptr<QTemporaryFile> PdfTemp;
    std::unique_ptr<QPrinter> PdfDevice;
    std::unique_ptr<QPainter> PdfCanvas;
    bool PdfDirect = false; // the run in progress (or done) went to PdfTemp
    bool PdfPageOpen = false;
};
