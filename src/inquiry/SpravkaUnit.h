#pragma once
// The inquiry window ("Справка"): the subject list, the column grid with its
// marks, the operator and value boxes, the shown lists of the inquiry, and
// the result grid with its output commands. The inquiry itself (state,
// catalogue, composition) lives in TInquiry; the window shows it and calls
// its operations, and hands the report template what it needs to print.

#include "Inquiry.h"
#include "InquiryView.h"
#include "RpSpravkaUnit.h"
#include "WindowRoutines.h"

#include "ExportText.h"
#include "Query.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressDialog;
class QPushButton;
class QTimer;
class TDBGrid;
class TDBLookupListBox;
class TDataSource;
class TRpSpravkaForm;

// The value box: tells before its list drops down, so the list can be
// loaded first.
class TFilterComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TFilterComboBox(QWidget* parent = nullptr);
    void showPopup() override;

Q_SIGNALS:
    void DropDown();
};

// Asks for the base file of a saved inquiry: the save dialog ("SaveDialog")
// when saving, else the open dialog ("OpenDialog"), both opening in folder
// with filter (in the "description|pattern" form) and adding the extension
// ".SQL" to a name typed without one. Returns the chosen path, or an empty
// text for Cancel. The save dialog does not ask about overwriting: the
// window asks itself.
using InquiryFileDialogHandler = std::function<QString(
    QWidget* parent, bool saving, const QString& filter, const QString& folder)>;
// Installs a handler (an empty one restores the default); returns the previous.
InquiryFileDialogHandler SetInquiryFileDialogHandler(InquiryFileDialogHandler handler);
// The default handler: a modal QFileDialog over parent.
QString WidgetInquiryFileDialog(QWidget* parent, bool saving, const QString& filter,
                                const QString& folder);

// The modifier keys held at this moment; export with Ctrl held opens the
// export settings instead. Tests install their own answer.
using KeyboardModifiersQuery = std::function<Qt::KeyboardModifiers()>;
// Installs a query (an empty one restores the real keyboard); returns the previous.
KeyboardModifiersQuery SetKeyboardModifiersQuery(KeyboardModifiersQuery query);
Qt::KeyboardModifiers HeldKeyboardModifiers();

// Long work of an inquiry window: a run, an export, a print. Once the work
// has lasted LongWorkDelayMs, a modal dialog ("LongWorkDialog") with a busy
// bar, or the rows written when they are known, and the button "Отказ" shows
// over the window until the work ends. While it lasts, the statements of
// the database and the export writer keep the dialog painted and stop once
// Cancel was pressed; onCancel stops what listens to neither (a report run,
// which keeps the windows painted itself). A work begun inside another
// (the run an export starts first) shares the outer one's dialog.
class TLongWork : public QObject {
public:
    TLongWork(QWidget* window, const QString& text, std::function<void()> onCancel = {});
    ~TLongWork() override;
    TLongWork(const TLongWork&) = delete;
    TLongWork& operator=(const TLongWork&) = delete;

    // Keeps the dialog up to date (done of total rows; total 0: unknown);
    // true once Cancel was pressed.
    bool Step(qint64 done = 0, qint64 total = 0);
    bool Cancelled() const;
    // Stops the work as its "Отказ" button does.
    void Cancel();
    // The busy dialog, once shown (the outermost work's).
    QProgressDialog* Dialog() const;
    // The work in progress, or nullptr.
    static TLongWork* Current();

private:
    void ShowDialog();
    void Pause();
    void Resume();
    TLongWork* Outer = nullptr;
    QPointer<QWidget> Window;
    QString Text;
    std::function<void()> OnCancel;
    QElapsedTimer Clock;
    QElapsedTimer PumpClock;
    QTimer* DialogTimer = nullptr;
    QPointer<QProgressDialog> Busy;
    bool CancelFlag = false;
    bool Paused = false;
    // The hooks this work replaced, restored when it ends.
    TQueryWatcher PreviousWatcher;
    ExportProgressHandler PreviousProgress;
    SaveFileDialogHandler PreviousFileDialog;
};

// How long work runs before its busy dialog shows (milliseconds).
extern int LongWorkDelayMs;

class TSpravkaForm : public QWidget,
                     public TMessageAnswerer,
                     public TInquiryView,
                     public TReportSource {
    Q_OBJECT
public:
    // A free-standing window owned by owner (the main window).
    explicit TSpravkaForm(QWidget* owner = nullptr);
    ~TSpravkaForm() override;

    TRpSpravkaForm* ReportForm = nullptr;
    TInquiry* Inquiry = nullptr;

    // Upper panel.
    QFrame* Panel0 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* edTitle = nullptr;
    QPushButton* btPrintPreview = nullptr;
    QPushButton* btPrint = nullptr;
    QPushButton* btExport = nullptr;
    // Condition panel.
    QFrame* FilterPanel = nullptr;
    TDBLookupListBox* ReportListBox = nullptr;
    TDBGrid* DBGrid1 = nullptr;
    QComboBox* cbSign = nullptr;
    TFilterComboBox* cbFilter = nullptr;
    QPushButton* btAddSpravka = nullptr;
    QPushButton* btAddFilter = nullptr;
    QPushButton* btGroup = nullptr;
    QPushButton* btSortAsc = nullptr;
    QPushButton* btSortDesc = nullptr;
    QPushButton* btSpravka = nullptr;
    QPushButton* btClear = nullptr;
    QPushButton* BitBtn6 = nullptr;
    QPushButton* BitBtn7 = nullptr;
    QCheckBox* cbRowNumbers = nullptr;
    QCheckBox* cbChartInReport = nullptr; // "Графика в справката"
    QListWidget* SelectedTablesBG = nullptr;
    QListWidget* RelationsBG = nullptr;
    QListWidget* GroupBoxBG = nullptr;
    QListWidget* OrderBoxBG = nullptr;
    // Result grid and its pop-up menu.
    TDBGrid* DataGrid = nullptr;
    QMenu* GridMenu = nullptr;
    QAction* mnFilter = nullptr;
    QAction* mnShowColSum = nullptr;
    QAction* mnPrintPreview = nullptr;
    QAction* mnPrint = nullptr;
    QAction* mnExport = nullptr;
    QAction* mnCopy = nullptr; // "Копира": the selected cells to the clipboard
    QAction* mnChart = nullptr; // "Графика", Ctrl+G
    // Data sources (the inquiry's).
    TDataSource* dsTableName = nullptr;
    TDataSource* dsCol = nullptr;
    TDataSource* dsData = nullptr;

    // Window life.
    void FormShow();
    void FormClose();
    // Adds the named subject as a new inquiry (nothing for an unknown name).
    void SelectSubject(const QString& subject);
    // Runs the inquiry as the "Справка" button does.
    void RunInquiry();
    // Brings the window back: restored, condition panel shown, focused.
    void ShowInquiryWindow();

    // Event handlers of the components.
    void ReportListBoxClick();
    void btAddSpravkaClick();
    void DBGrid1CellClick(int column);
    void btAddFilterClick();
    void btGroupClick();
    void btSortClick(QObject* sender);
    void btSpravkaClick(QObject* sender);
    void btClearClick();
    void RelationsBGDblClick();
    void GroupBoxBGDblClick();
    void OrderBoxBGDblClick();
    void cbFilterEnter();
    void cbFilterDropDown();
    // Preview and print of the report made from the result.
    void btPrintPreviewClick();
    void btPrintClick();
    // Export of the result to a text file; with Ctrl held the export
    // settings dialog instead, and the main window is told of an OK.
    void btExportClick();
    // Save ("Запис") and load ("Зарежда") of the inquiry's file set.
    void BitBtn6Click();
    void BitBtn7Click();
    // Total of the selected result column when it is numeric.
    void mnShowColSumClick();
    // "Графика": a chart window of the result (the inquiry runs first when
    // it changed); a result without a value column is told and opens none.
    void mnChartClick();
    // Writes the chart of the result into fileName (.png, .svg or .pdf) in
    // the given kind, else the subject's. False when the result has no
    // rows; failures (and "Chart=none" with no kind given) raise Exception.
    bool SaveChartFile(const QString& fileName, std::optional<TChartKind> kind = std::nullopt);

    // Folds the condition panel when shown, unfolds it when folded.
    void ToggleFilterPanel();
    bool FilterPanelShown() const;

    // TMessageAnswerer: 5025 answers with the window, 2034 toggles the
    // condition panel, 1025/1026 preview and print.
    qintptr Perform(int message, qintptr wParam, qintptr lParam) override;

    // TInquiryView.
    QString SignText() const override;
    void SetSignText(const QString& text) override;
    QString FilterText() const override;
    void SetFilterText(const QString& text) override;
    QStringList FilterItems() const override;
    void SetFilterItems(const QStringList& items) override;
    void SetFilterItemIndex(int index) override;
    void SelectFilterText() override;
    QString TitleText() const override;
    void SetTitleText(const QString& text) override;
    void SetCaption(const QString& text) override;
    void ListsChanged() override;
    void SelectColumnField(const QString& fieldName) override;
    void ShowResults() override;
    int DefaultColumnWidth(TField* field, const QString& title) const override;

    // TReportSource.
    QString ReportTitle() const override;
    bool RowNumbersOn() const override;
    TDBGrid* ResultGrid() const override;
    QStringList ConditionLines() const override;
    TQuery* Catalogue() const override;
    bool IsModified() const override;
    void RunInquiryForReport() override;
    QStringList ReportOptions() const override;
    bool ChartInReport() const override;

protected:
    // The report template's sequences behind the output commands.
    virtual void RunPreviewSequence();
    virtual void RunPrintSequence();
    virtual void RunExportSequence();

    // For the child-window variant: builds the window without a parent.
    struct TChildWindow {};
    explicit TSpravkaForm(TChildWindow);
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void BuildComponents();
    // Ctrl+U in the result grid: the total of its selected column.
    void DataGridColumnSum();
    // Copies the grid's selection with progress and Cancel.
    void mnCopyClick();
    // A click on a result column's header: ordered by it, run again.
    void DataGridHeaderClick(const QString& fieldName);
    // The grid's arrow after the inquiry's ordering.
    void ShowOrderArrow();
    // Widens the subject list to its longest name.
    void FitSubjectList();
    void OpenExportSetup();
    // Cancel of a print or an export: the report run in progress stops.
    void StopReportRun();
    bool Shown = false;
    bool Closing = false;
};

// The inquiry window as a child window of the main multi-document window,
// centred on it.
class TSpravkaModalForm : public TSpravkaForm {
    Q_OBJECT
public:
    explicit TSpravkaModalForm(QWidget* mainForm);
};

// Opens an inquiry window: unless a new window is asked for, an open one is
// reused (with a subject: that subject is added and run; without: the window
// is brought back). Otherwise a child window of the main frame is created
// (a free-standing window when newWindow is set) with the subject as its
// initial subject, and placed beside the active window. Returns the window
// that became the program's current inquiry window, or nullptr (always for
// a free-standing window).
QWidget* OpenInquiryWindow(bool newWindow, bool forceNew, const QString& subject);
