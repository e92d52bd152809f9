#pragma once
// One run of a report: the band loop and its state, private to the engine.
// TRpReportRun walks the report's data set through its controller, lays the
// bands out page by page (page and column breaks, stretching bands, page
// headers and footers) and calls the report's events. Printables print
// through TRpPrintContext, which knows the page canvas and lets a stretching
// text grow its band.

#include "RpCustomReport.h"

#include <QColor>
#include <QElapsedTimer>
#include <QRectF>
#include <QVarLengthArray>

#include <memory>
#include <vector>

class QPainter;
class TRpExpr;
class TRpFontMetrics;
class TRpGroup;
class TRpSubDetail;
class TRpEvaluator;
class TRpEvElement;

// Walks one data set (the report's, or a sub-detail's) and prints its bands.
class TRpController {
public:
    QObject* Owner = nullptr; // the report or the sub-detail
    bool IsReport = false;
    TDataSet* DataSet = nullptr;
    TRpNeedDataEvent* NeedData = nullptr;
    TRpCustomBand* Header = nullptr;
    TRpCustomBand* Detail = nullptr;
    TRpCustomBand* Footer = nullptr;
    bool PrintIfEmpty = false;
    QList<TRpSubDetail*> Before;
    QList<TRpSubDetail*> After;
    // Aggregate expressions that see every printed row.
    QList<TRpExpr*> Notify;
    int DetailNo = 0;
    int RowCount = 0;

    struct Group {
        TRpGroup* Band = nullptr;
        std::unique_ptr<TRpEvaluator> Evaluator;
        QString Value;
        bool Changed = true;
    };
    std::vector<Group> Groups;

    TRpController();
    ~TRpController();
    void NotifyAggregates();
};

// What printables draw with. Drawing goes to the page canvas in device
// pixels, only in the final pass. The canvas state (font, pen, brush) is
// tracked so that a page records each change once, and a printable's opaque
// fill is left out when it would only repaint the band's own background in
// an area nothing has been drawn on yet (the picture stays the same, the
// page gets smaller).
struct TRpPrintContext {
    TRpReportRun* Run = nullptr;
    QPainter* Canvas = nullptr;
    double XFactor = 1;
    double YFactor = 1;
    bool FinalPass = true;
    int Page = 0;
    TRpRunObserver* Observer = nullptr;
    // The band being printed (nullptr for printables placed on the report).
    TRpCustomBand* Band = nullptr;

    // Draws every fill, also those that cannot change the page (for tests
    // that compare the two).
    static inline bool KeepAllFills = false;

    bool Drawing() const { return FinalPass && Canvas; }
    // Device pixels of a rectangle in tenths.
    QRectF DeviceRect(const QRectF& tenths) const;
    // Fills a rectangle (tenths) with a colour.
    void FillRect(const QRectF& tenths, const QColor& color);
    // Fills a rectangle of device pixels (rounded to whole pixels).
    void FillDevice(const QRectF& device, const QColor& color);
    // Fills a printable's box; left out where it cannot change the picture.
    void FillBox(const QRectF& tenths, const QColor& color);
    void DrawText(TRpPrintable* owner, const TRpFontMetrics& metrics, const QColor& color, double x,
                  double top, double width, const QString& text);
    void DrawFrame(QObject* owner, const TRpFrame& frame, const QRectF& tenths);
    // Notes an area (device pixels) drawn on outside these functions.
    void MarkDrawn(const QRectF& device);
    // Asks the band being printed for extra height (tenths below its height);
    // true when the band has it or could grow to it on this page.
    bool RequestExtra(double extra);

    // A new page canvas: nothing set on it, nothing drawn.
    void StartCanvas(QPainter* canvas);
    // A band piece starts: fills its area (tenths) with its colour.
    void StartPiece(const QRectF& tenths, const QColor& color);
    void EndPiece() { InPiece = false; }

private:
    void UsePen(QRgb color);

    // Canvas state.
    const TRpFontMetrics* CanvasFont = nullptr;
    // Device pixels a text of the canvas font moves down (see DrawText).
    double TextShift = 0;
    QRgb PenColor = 0;
    QRgb BrushColor = 0;
    bool PenSet = false;
    bool BrushSet = false;
    // The lowest device row drawn on this page.
    double InkBottom = 0;
    // The band piece being printed: its filled area, colour, what was drawn
    // on the page before it, and what its printables have drawn.
    bool InPiece = false;
    QRectF PieceArea;
    QRgb PieceColor = 0;
    bool PieceFilled = false;
    double InkBottomBefore = 0;
    QVarLengthArray<QRectF, 32> Drawn;
};

class TRpReportRun {
public:
    TRpReportRun(TRpCustomReport& report, TRpPrinter* printer);
    ~TRpReportRun();

    // The whole run (the report's Run after its busy check).
    void Execute(bool copySettings);

    TRpCustomReport& Report;
    TRpPrinter* Printer;
    TRpPrintContext Context;

    int PageNumber() const { return PageCounter; }
    int ColumnNumber() const { return Column; }
    int DetailNo() const;
    int DetailCount() const;
    const QList<TDataSet*>& DataSets() const { return DataSetList; }
    // Registers an expression with the controller of master (the report or a
    // sub-detail; nullptr the report), so that it sees every row.
    void RegisterAggregate(TRpExpr* expression, QObject* master);
    bool RequestExtra(TRpCustomBand* band, double extra);
    bool Cancelled() const { return CancelledFlag; }

private:
    enum class PrintMode {
        Normal,
        PageFooter, // never moves, never continues
        Fixed       // page and column headers printed by a break: no forced
                    // breaks, no space check, no continuation
    };

    void Start(bool copySettings);
    void PrepareAll();
    void UnprepareAll();
    void BuildControllers();
    TRpController* ControllerOf(QObject* owner) const;
    void ExecuteController(TRpController& controller);
    bool NextRow(TRpController& controller);
    void PrintHeader(TRpController& controller);
    void PrintFooter(TRpController& controller);
    void EvaluateGroups(TRpController& controller);
    void PrintGroupFooters(TRpController& controller, size_t from);
    void PrintSubDetails(const QList<TRpSubDetail*>& list);
    void HandleMessages();
    void ReportProgress(TRpController& controller);

    void PrintBand(TRpCustomBand* band, PrintMode mode = PrintMode::Normal);
    void PrintBandBody(TRpCustomBand* band, PrintMode mode);
    void AlignToBottom(TRpCustomBand* band);
    void MakeSpace(TRpCustomBand* band);
    void NewColumn();
    void NewPage();
    void EndPage();
    // The report's FinalPage, on a page of its own after the last.
    void AppendFinalPage();
    double PageBottom() const; // lowest position a band may reach on this page
    bool PageStarted() const { return CurrentY >= 0; }
    void SetNumber(TRpEvElement* element, int value);

    // Settings and bands looked up at the start.
    TRpCustomBand* TitleBand = nullptr;
    TRpCustomBand* PageHeaderBand = nullptr;
    TRpCustomBand* ColumnHeaderBand = nullptr;
    TRpCustomBand* DetailBand = nullptr;
    TRpCustomBand* SummaryBand = nullptr;
    QList<TRpCustomBand*> PageFooters;
    double PageLength = 0;
    double PageWidth = 0;
    int Columns = 1;
    double ColumnWidth = 0;

    // Position of the next band (tenths); CurrentY is -1 before the first page.
    double CurrentX = 0;
    double CurrentY = -1;
    int PageCounter = 0;
    int Column = 1;
    double ColumnsTop = 0;
    double FooterReserve = 0;
    bool CancelledFlag = false;
    bool LastPageFlag = false;
    bool KeepPage = false;
    bool ColumnForced = false;
    bool PrinterStarted = false;
    bool InPageFooter = false;
    // The band being printed in the current mode (for RequestExtra).
    PrintMode CurrentMode = PrintMode::Normal;

    std::unique_ptr<TRpController> MainController;
    std::vector<std::unique_ptr<TRpController>> SubControllers;
    QList<TDataSet*> DataSetList;
    TRpEvElement* PageNumberElement = nullptr;
    TRpEvElement* ColumnNumberElement = nullptr;
    TRpEvElement* TitleElement = nullptr;
    bool EnvironmentPrepared = false;
    bool Prepared = false;
    QElapsedTimer MessageTimer;
    int LastProgress = -1;
};
