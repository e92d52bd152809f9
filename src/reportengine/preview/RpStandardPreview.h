#pragma once
// The standard preview window: the preview control under a toolbar of zoom,
// page, printer and file buttons, and a status bar with the run's progress
// and "Page n of m". Closing the window tells the printer object (which tells
// the report) and frees the window.
//
// Find (Ctrl+F) opens a find bar that searches the text of every page (the
// page store's index) as the user types: the count over the whole report,
// the first match at or after the page shown, every match on the page
// marked; Enter and F3 go to the next match, Shift+F3 to the previous,
// across pages and round from the end to the start. While the report is
// still being prepared the pages ready are searched and the count grows. A
// report file opened without an index gets one in the background. Ctrl+C
// copies the page's text, a drag with the mouse the text inside the area.
//
// The dialogs and the message box go through replaceable hooks, so a program
// or a test can answer them without a modal loop; by default they are the
// platform's file dialogs, print dialog and the message route (a warning
// message box when the program has set no route).

#include "RpPrinter.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QTimer;
class QToolButton;
class TRpPreview;

class TRpStandardPreview : public QMainWindow {
    Q_OBJECT

public:
    explicit TRpStandardPreview(TRpPrinter* printer, QWidget* parent = nullptr);
    ~TRpStandardPreview() override;

    // Opens the preview window of printer, maximized; the window frees itself
    // when closed (after printer's previewClosed).
    static TRpStandardPreview* ShowPreviewWindow(TRpPrinter* printer, QWidget* parent = nullptr);

    TRpPreview* RpPreview() const { return Preview; }
    TRpPrinter* Printer() const { return PrinterObject; }

    // The file types of the save dialog: the report file first, then PDF.
    static QString ReportFileFilter();
    static QString PdfFileFilter();

    // True while the report that owns the printer object has a run in
    // progress; Print does nothing then.
    std::function<bool()> MasterBusy;
    // Shows a message to the user.
    std::function<void(const QString&)> ShowMessage;

    // How the preview windows show their messages by default: (window, text).
    // The program routes them through its own message-box routine, so they
    // look like its other messages and are silenced like them; the engine
    // itself never decides how a message is shown.
    using TMessageRoute = std::function<void(QWidget* window, const QString& text)>;
    // Sets the route of windows created from now on; returns the previous one.
    static TMessageRoute SetMessageRoute(TMessageRoute route);
    // File dialogs: (parent, caption, filters, in/out selected filter) -> the
    // chosen file name, empty when cancelled.
    std::function<QString(QWidget*, const QString&, const QString&, QString*)> GetSaveFileName;
    std::function<QString(QWidget*, const QString&, const QString&, QString*)> GetOpenFileName;
    // The printer-setup dialog on a printer set up with the report's settings;
    // true when accepted.
    std::function<bool(QPrinter&)> PrintSetupDialog;

    void ZoomToFitClick();
    void ZoomTo100Click();
    void ZoomToWidthClick();
    void FirstPageClick();
    void PrevPageClick();
    void NextPageClick();
    void LastPageClick();
    void PrintSetupClick();
    void PrintClick();
    void SaveClick();
    void LoadClick();
    void ExitClick();
    // The window's keys; true when the key was one of them.
    bool FormKeyDown(QKeyEvent* event);
    void RpPreviewProgressUpdate(int percent);
    void RpPreviewPageReady(int readyPages);

    // The find bar.
    void FindClick();
    void FindNextClick();
    void FindPreviousClick();
    void CloseFindBar();
    // The count shown ("12 of 340") and the note after going round.
    QString FindCountText() const;
    // Copies the text of the page shown (reading order), or of the area
    // (points) of it, to the clipboard.
    void CopyPageText(const QRectF& area = QRectF());

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void UpdatePageText();
    QToolButton* AddButton(const QString& name, const QString& text, const QString& hint,
                           void (TRpStandardPreview::*handler)());
    void CreateFindBar();
    void FindTextChanged();
    void CountMatches();
    void ExtendMatches();
    void ShowMatch(int index);
    void MarkPage();
    void StartIndexing();
    void IndexStep();

    QPointer<TRpPrinter> PrinterObject;
    TRpPreview* Preview = nullptr;
    QLabel* ProgressPanel = nullptr;
    QLabel* PagePanel = nullptr;
    QToolButton* ZoomFit = nullptr;
    QToolButton* Zoom100 = nullptr;
    QToolButton* ZoomToWidth = nullptr;
    QToolButton* PrintSetup = nullptr;
    QToolButton* Print = nullptr;
    int LastProgress = 0;
    bool Closed = false;

    QToolBar* FindBar = nullptr;
    QLineEdit* FindText = nullptr;
    QCheckBox* WholeWords = nullptr;
    QLabel* FindCount = nullptr;
    QLabel* IndexPanel = nullptr;
    QTimer* IndexTimer = nullptr;
    QTimer* CountTimer = nullptr;
    // Every match of the text sought (offsets into the index), counted up to
    // CountedPages; Current is the one shown (-1 none).
    QString Needle;
    std::vector<quint32> Matches;
    int CountedPages = 0;
    int Current = -1;
    bool Counted = false;
    QString Note;
};
