#pragma once
// The report template every inquiry window owns. It owns the inquiry's
// result query qrDATA, which the window's result grid shows and the report
// prints, and it turns the window's current state into a printed report
// before every preview, print and export.
//
// The template is the report RpSpravka with five bands (title, column
// header, detail, summary, page footer) and 40 column slots. Slot k is the
// header label RpLabel<k>, the data text RpDBText<k>, the summary expression
// RpExpr<k> and the separator line RpShape<k>; Generate places and fills one
// slot per grid column, in the grid's order and at the grid's widths.

#include "ChartModel.h"
#include "Query.h"

#include <QObject>
#include <QStringList>
#include <array>
#include <functional>

#include "ExportTable.h"

class TDBGrid;
class TRpBand;
class TRpCustomBand;
class TRpCustomLabel;
class TRpCustomReport;
class TRpDBText;
class TRpExpr;
class TRpLabel;
class TRpMemo;
class TRpPrinter;
class TRpReport;
class TRpShape;
class TRpSysData;

// What report generation reads from an inquiry window. The inquiry window
// implements it; a report never reaches into the window otherwise.
class TReportSource {
public:
    virtual ~TReportSource() = default;
    virtual QString ReportTitle() const = 0; // the title edit (edTitle)
    virtual bool RowNumbersOn() const = 0; // "Номерация на редовете" (cbRowNumbers)
    virtual TDBGrid* ResultGrid() const = 0;        // the result grid (DataGrid)
    virtual QStringList ConditionLines() const = 0; // the readable conditions (RelationsBG)
    virtual TQuery* Catalogue() const = 0;          // the subject's columns (qrCol)
    virtual bool IsModified() const = 0;            // the inquiry changed since it last ran
    virtual void RunInquiryForReport() = 0;         // runs it with the window as sender
    virtual QStringList ReportOptions() const = 0;  // name=value lines of the options row
    // "Графика в справката": the report ends with a page of the result's chart.
    virtual bool ChartInReport() const { return false; }
};

// Applies a subject's report options ("name=value" lines) to a report:
// "Printer.Orientation" exactly "1" turns the page to landscape, any other
// value or none to portrait; a non-empty "Printer.Copies" sets the copy
// count (a value that is not a whole number raises EConvertError). An empty
// list changes nothing.
void ApplyReportOptions(TRpCustomReport* report, const QStringList& options);

// The value of a name in "name=value" lines (names compared without regard
// to case, the first line wins); empty when the name is missing.
QString ReportOptionValue(const QStringList& options, const QString& name);

// The chart of the window's result: the result grid's columns as shown,
// the report title and the conditions.
TChartSource ReportChartSource(const TReportSource& window);
// The chart of the window's result in the given kind, else the kind the
// subject's options row names ("Chart="), else the one the result suggests.
// Nothing when the options row says "Chart=none" and no kind is given.
// Raises Exception when the result has no column to draw.
std::optional<TChartModel> ReportChart(const TReportSource& window,
                                       std::optional<TChartKind> kind = std::nullopt);

// What the batch output writes.
enum class TReportFileKind {
    Pdf,       // a PDF of the report's paper
    ReportFile // the page store's report file, for the preview to open later
};

class TRpSpravkaForm : public QObject {
    Q_OBJECT
public:
    static constexpr int SlotCount = 40;

    explicit TRpSpravkaForm(QObject* owner = nullptr);
    ~TRpSpravkaForm() override;

    TQuery* qrDATA = nullptr;

    // The texts the 40 column totals printed in the last run (entry k-1
    // belongs to slot k); empty for a slot that printed none.
    QStringList Totals;
    // Set when the summary band has printed after the latest column header.
    bool SummaryPrinted = false;

    // The report and its fixed components.
    TRpReport* RpSpravka = nullptr;
    TRpBand* RpBand1 = nullptr;           // title
    TRpBand* ColumnHeaderBand1 = nullptr; // column header
    TRpBand* DetailBand1 = nullptr;       // one per result row
    TRpBand* SummaryBand1 = nullptr;      // column totals
    TRpBand* PageFooterBand1 = nullptr;   // page number and bottom title
    TRpSysData* RpSysData3 = nullptr;     // the report title
    TRpLabel* lbCurDate = nullptr;
    TRpLabel* lbCurTime = nullptr;
    TRpMemo* RpMemoRelations = nullptr;   // the readable conditions
    TRpLabel* lblRowNumber = nullptr;     // "No" above the row numbers
    TRpSysData* lbRowNumber = nullptr;    // the row number
    TRpShape* RpShapeRowNumber = nullptr; // the row numbers' separator line
    TRpExpr* rpsPageNum = nullptr;        // "Стр. " and the page number
    TRpLabel* lbBottomTitle = nullptr;    // title, date and time at the page foot

    // The members of column slot k (1..40).
    TRpLabel* RpLabel(int k) const { return Labels.at(std::size_t(k - 1)); }
    TRpDBText* RpDBText(int k) const { return Texts.at(std::size_t(k - 1)); }
    TRpExpr* RpExpr(int k) const { return Exprs.at(std::size_t(k - 1)); }
    TRpShape* RpShape(int k) const { return Shapes.at(std::size_t(k - 1)); }

    // Lays the template out from the window's current state: runs a
    // modified inquiry first; with rows in the result sets the title, date
    // and time, row numbers and one slot per grid column; always the
    // conditions. Failures of the layout are absorbed.
    void Generate(TReportSource& window);

    // The window's output commands. Preview returns when the preview closes;
    // print sends the prepared pages to the printer (or, in text-print mode,
    // prints the result as text); export writes the result with the report's
    // column totals to fileName, or asks for a file when it is empty. An
    // empty result previews and prints nothing. While the report is running
    // (a preview still laying out its pages) the commands do nothing.
    void PreviewSequence(TReportSource& window);
    void PrintSequence(TReportSource& window);
    // format: the file's format (Auto: from the file name's extension).
    void ExportSequence(TReportSource& window, const QString& fileName = QString(),
                        TExportFormat format = TExportFormat::Auto);

    // Batch output: the report options, Generate and a prepared run, then
    // the pages written to fileName. False when there was nothing to write
    // (an empty result, or the report is running); failures to write raise
    // Exception.
    bool SaveSequence(TReportSource& window, const QString& fileName, TReportFileKind kind);

    // Sends a prepared printer object's pages to the printer; PrintPreparedPages
    // unless replaced (a test prints to a PDF instead).
    std::function<void(TRpPrinter*)> PrintPages;

    // Print-time handlers, called by the report engine in every run.
    // Empties the totals list.
    void RpSpravkaBeforePrint(TRpCustomReport* Sender, bool& PrintReport);
    // Clears the summary-printed flag.
    void ColumnHeaderBand1BeforePrint(TRpCustomBand* Sender, bool& PrintBand);
    // Sets the summary-printed flag.
    void SummaryBand1AfterPrint(TRpCustomBand* Sender, bool BandPrinted);
    // No page footer on a report that ends on its first page.
    void PageFooterBand1BeforePrint(TRpCustomBand* Sender, bool& PrintBand);
    // Keeps the text a summary expression prints in its totals entry.
    void RpExpr1Print(TRpCustomLabel* Sender, QString& Value);

private:
    void BuildReport();
    void BuildSlots();
    // Puts slot k at position x for grid column c and advances x.
    void FillSlot(int k, TDBGrid* grid, int c, TQuery* catalogue, int& x);
    bool HasRows() const;
    // Runs the report into a new printer object; nullptr when the report is
    // busy in a run. totalsOnly: nothing is drawn (the column totals only).
    TRpPrinter* Prepare(bool totalsOnly);
    // Releases the printer object a sequence prepared, if the report still
    // holds it.
    void Release(TRpPrinter* printer);

    std::array<TRpLabel*, SlotCount> Labels{};
    std::array<TRpDBText*, SlotCount> Texts{};
    std::array<TRpExpr*, SlotCount> Exprs{};
    std::array<TRpShape*, SlotCount> Shapes{};
};
