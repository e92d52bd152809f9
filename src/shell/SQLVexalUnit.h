#pragma once
// The main window "SQL Vexal": a multi-document frame that owns the
// program's one database connection and its inquiry windows, with the
// menus of the frame: File (new inquiry window, export settings, text-print
// mode, exit), Administration (a new subject described from a table),
// Window (cascade, tile, the open windows) and Help (about, the language).

#include "WindowRoutines.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRect>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class TDatabase;

class TSQLVexalForm : public QMainWindow, public TMessageAnswerer {
    Q_OBJECT
public:
    explicit TSQLVexalForm(QWidget* parent = nullptr);
    ~TSQLVexalForm() override;

    TDatabase* Database = nullptr; // objectName "Database", database name "restdata"
    QMdiArea* MdiArea = nullptr;

    // Menus and their items (objectName = member name).
    QMenu* mnFile = nullptr;
    QAction* mnNewInquiry = nullptr;
    QAction* mnChart = nullptr; // "Графика" of the active inquiry window
    QAction* mnExportSetup = nullptr;
    QAction* mnTextPrint = nullptr; // checkable: TextPrintMode
    QAction* mnExit = nullptr;
    QMenu* mnAdmin = nullptr;
    QAction* mnDescribe = nullptr;
    QMenu* mnWindow = nullptr;
    QAction* mnCascade = nullptr;
    QAction* mnTile = nullptr;
    QMenu* mnHelp = nullptr;
    QAction* mnAbout = nullptr;
    // "Език / Language": Bulgarian or English from the next start. The two
    // items name their language in itself, so either reader finds theirs.
    QMenu* mnLanguage = nullptr;
    QAction* mnLanguageBg = nullptr;
    QAction* mnLanguageEn = nullptr;
    // Shown in the status bar while the text-print mode is on.
    QLabel* lbTextPrint = nullptr;

    // The inquiry window the frame shows maximized.
    QWidget* CurrentInquiryWindow() const { return CurrentInquiry.data(); }
    void SetCurrentInquiryWindow(QWidget* window) { CurrentInquiry = window; }

    // The window's bounds when it is not maximized (restoring gives them).
    static constexpr QRect NormalBounds{52, 59, 703, 472};
    // Shows the window at start, maximized over its normal bounds.
    void ShowAtStart();

    void btExitClick();
    // Opens one more inquiry window inside the frame.
    void mnNewInquiryClick();
    // "Графика": the chart of the active inquiry window's result (as its
    // Ctrl+G); without an inquiry window nothing happens.
    void mnChartClick();
    // The export settings dialog, as an inquiry window opens it with Ctrl.
    void mnExportSetupClick();
    // Turns the text-print mode on or off.
    void mnTextPrintClick(bool on);
    // "Нова справка от таблица…": writes a subject describing a table of the
    // open database (TDescribeDialog); the user opens an inquiry window to
    // use it.
    void mnDescribeClick();
    void mnCascadeClick();
    void mnTileClick();
    // "За програмата": the program's name and version.
    void mnAboutClick();
    // Remembers the language ("bg" or "en") in the settings and says, in
    // that language, that it takes effect at the next start.
    void mnLanguageClick(const QString& code);
    // The export settings changed (message 3025): says so in the status bar.
    void ExportSetupChanged();
    // Brings the menu items that mirror program-wide switches up to date.
    void SyncMenus();
    // Refills the list of open windows at the end of the Window menu.
    void FillWindowList();

    // TMessageAnswerer: 3025 from an inquiry window after the export
    // settings dialog closed with OK.
    qintptr Perform(int message, qintptr wParam, qintptr lParam) override;

protected:
    void showEvent(QShowEvent* event) override;
    // Closing the main window ends the program, also while another top-level
    // window of it (a report preview) is still open.
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void BuildMenus();
    bool Shown = false;
    QPointer<QWidget> CurrentInquiry;
    QList<QAction*> WindowItems;
};

// The application-wide handler of errors that reach the message loop: shows
// the message with caption "Системно съобщение" and the program goes on.
void AppException(const QString& message);
