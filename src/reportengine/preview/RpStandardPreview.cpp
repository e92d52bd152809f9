#include "RpStandardPreview.h"

#include "Exception.h"
#include "RpPreview.h"
#include "RpPreviewImage.h"
#include "RpPrinter.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

const QString ReportExtension = QStringLiteral("RPP");

QString RunFileDialog(QWidget* parent, const QString& caption, const QString& filters,
                      QString* selectedFilter, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, caption, QString(), filters);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    if (selectedFilter && !selectedFilter->isEmpty())
        dialog.selectNameFilter(*selectedFilter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    if (selectedFilter)
        *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

TRpStandardPreview::TMessageRoute& MessageRoute() {
    static TRpStandardPreview::TMessageRoute route;
    return route;
}

} // namespace

TRpStandardPreview::TMessageRoute TRpStandardPreview::SetMessageRoute(TMessageRoute route) {
    TMessageRoute previous = std::move(MessageRoute());
    MessageRoute() = std::move(route);
    return previous;
}

QString TRpStandardPreview::ReportFileFilter() {
    return tr("Report files (*.") + ReportExtension + QStringLiteral(" *.rpp)");
}

QString TRpStandardPreview::PdfFileFilter() {
    return tr("PDF files (*.pdf)");
}

TRpStandardPreview::TRpStandardPreview(TRpPrinter* printer, QWidget* parent)
    : QMainWindow(parent), PrinterObject(printer) {
    setAttribute(Qt::WA_DeleteOnClose);
    if (const TMessageRoute& route = MessageRoute())
        ShowMessage = [this, route](const QString& text) { route(this, text); };
    else
        ShowMessage = [this](const QString& text) {
            QMessageBox::warning(this, windowTitle(), text);
        };
    GetSaveFileName = [](QWidget* p, const QString& caption, const QString& filters,
                         QString* selected) {
        return RunFileDialog(p, caption, filters, selected, QFileDialog::AcceptSave);
    };
    GetOpenFileName = [](QWidget* p, const QString& caption, const QString& filters,
                         QString* selected) {
        return RunFileDialog(p, caption, filters, selected, QFileDialog::AcceptOpen);
    };
    PrintSetupDialog = [this](QPrinter& device) {
        QPrintDialog dialog(&device, this);
        return dialog.exec() == QDialog::Accepted;
    };
    FormCreate();
}

TRpStandardPreview::~TRpStandardPreview() = default;

TRpStandardPreview* TRpStandardPreview::ShowPreviewWindow(TRpPrinter* printer, QWidget* parent) {
    auto* window = new TRpStandardPreview(printer, parent);
    // Where no window manager maximizes it, the window still fills the
    // screen's free area.
    if (const QScreen* screen = window->screen())
        window->setGeometry(screen->availableGeometry());
    window->showMaximized();
    return window;
}

QToolButton* TRpStandardPreview::AddButton(const QString& name, const QString& text,
                                           const QString& hint,
                                           void (TRpStandardPreview::*handler)()) {
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(hint);
    button->setStatusTip(hint);
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QToolButton::clicked, this, handler);
    findChild<QToolBar*>(QStringLiteral("ToolBar"))->addWidget(button);
    return button;
}

void TRpStandardPreview::FormCreate() {
    setObjectName(QStringLiteral("RpStandardPreview"));
    const QString title = PrinterObject ? PrinterObject->Title() : QString();
    setWindowTitle(title.isEmpty() ? tr("Print Preview") : title);
    setWindowState(windowState() | Qt::WindowMaximized);

    auto* toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("ToolBar"));
    toolBar->setMovable(false);
    addToolBar(toolBar);

    ZoomFit = AddButton(QStringLiteral("ZoomFit"), tr("Fit"), tr("Zoom to fit"),
                        &TRpStandardPreview::ZoomToFitClick);
    Zoom100 = AddButton(QStringLiteral("Zoom100"), QStringLiteral("100%"), QStringLiteral("100%"),
                        &TRpStandardPreview::ZoomTo100Click);
    ZoomToWidth = AddButton(QStringLiteral("ZoomToWidth"), tr("Width"), tr("Zoom to width"),
                            &TRpStandardPreview::ZoomToWidthClick);
    auto* zoomGroup = new QButtonGroup(this);
    for (QToolButton* b : {ZoomFit, Zoom100, ZoomToWidth}) {
        b->setCheckable(true);
        zoomGroup->addButton(b);
    }
    ZoomToWidth->setChecked(true);
    toolBar->addSeparator();
    AddButton(QStringLiteral("FirstPage"), QStringLiteral("|<"), tr("First page"),
              &TRpStandardPreview::FirstPageClick);
    AddButton(QStringLiteral("PreviousPage"), QStringLiteral("<"), tr("Previous page"),
              &TRpStandardPreview::PrevPageClick);
    AddButton(QStringLiteral("ToolButton2"), QStringLiteral(">"), tr("Next page"),
              &TRpStandardPreview::NextPageClick);
    AddButton(QStringLiteral("LastPage"), QStringLiteral(">|"), tr("Last page"),
              &TRpStandardPreview::LastPageClick);
    toolBar->addSeparator();
    PrintSetup = AddButton(QStringLiteral("PrintSetup"), tr("Setup"), tr("Printer setup"),
                           &TRpStandardPreview::PrintSetupClick);
    Print = AddButton(QStringLiteral("Print"), tr("Print"), tr("Print"),
                      &TRpStandardPreview::PrintClick);
    AddButton(QStringLiteral("SaveReport"), tr("Save"), tr("Save Report"),
              &TRpStandardPreview::SaveClick);
    AddButton(QStringLiteral("LoadReport"), tr("Load"), tr("Load Report"),
              &TRpStandardPreview::LoadClick);
    toolBar->addSeparator();
    AddButton(QStringLiteral("FindButton"), tr("Find"),
              tr("Find text in the whole report (Ctrl+F)"), &TRpStandardPreview::FindClick);
    toolBar->addSeparator();
    AddButton(QStringLiteral("ExitButton"), tr("&Close"), tr("Close"),
              &TRpStandardPreview::ExitClick);

    const bool finished = PrinterObject && PrinterObject->Status() == TRpPrinterStatus::Finished;
    PrintSetup->setEnabled(finished);
    Print->setEnabled(finished);

    Preview = new TRpPreview(this);
    Preview->installEventFilter(this);
    setCentralWidget(Preview);
    Preview->OnProgress = [this](int percent) { RpPreviewProgressUpdate(percent); };
    Preview->OnPageReady = [this](int ready) { RpPreviewPageReady(ready); };
    Preview->OnError = [this](const QString& text) {
        if (ShowMessage)
            ShowMessage(text);
    };
    Preview->SetPrinter(PrinterObject);
    Preview->ZoomToWidth();
    Preview->setFocus();
    Preview->Image()->OnAreaSelected = [this](const QRectF& area) { CopyPageText(area); };

    ProgressPanel = new QLabel(QStringLiteral("0%"), this);
    ProgressPanel->setObjectName(QStringLiteral("ProgressPanel"));
    ProgressPanel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ProgressPanel->setMinimumWidth(60);
    PagePanel = new QLabel(this);
    PagePanel->setObjectName(QStringLiteral("PagePanel"));
    IndexPanel = new QLabel(this);
    IndexPanel->setObjectName(QStringLiteral("IndexPanel"));
    statusBar()->addWidget(ProgressPanel);
    statusBar()->addWidget(PagePanel, 1);
    statusBar()->addPermanentWidget(IndexPanel);
    CreateFindBar();
    UpdatePageText();
    StartIndexing();
}

void TRpStandardPreview::CreateFindBar() {
    addToolBarBreak();
    FindBar = new QToolBar(this);
    FindBar->setObjectName(QStringLiteral("FindBar"));
    FindBar->setMovable(false);
    addToolBar(FindBar);
    FindText = new QLineEdit(FindBar);
    FindText->setObjectName(QStringLiteral("FindText"));
    FindText->setPlaceholderText(tr("Find in the report"));
    FindText->setClearButtonEnabled(true);
    FindText->setMaximumWidth(320);
    FindText->installEventFilter(this);
    FindBar->addWidget(FindText);
    // The buttons leave the focus in the text, so typing goes on.
    auto addButton = [this](const char* name, const QString& text, const QString& hint,
                            void (TRpStandardPreview::*click)()) {
        auto* button = new QToolButton(FindBar);
        button->setObjectName(QLatin1String(name));
        button->setText(text);
        button->setToolTip(hint);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, click);
        FindBar->addWidget(button);
    };
    addButton("FindPrevious", tr("Previous"), tr("Previous match (Shift+F3)"),
              &TRpStandardPreview::FindPreviousClick);
    addButton("FindNext", tr("Next"), tr("Next match (Enter, F3)"),
              &TRpStandardPreview::FindNextClick);
    WholeWords = new QCheckBox(tr("Whole words"), FindBar);
    WholeWords->setObjectName(QStringLiteral("WholeWords"));
    WholeWords->setFocusPolicy(Qt::NoFocus);
    FindBar->addWidget(WholeWords);
    FindCount = new QLabel(FindBar);
    FindCount->setObjectName(QStringLiteral("FindCount"));
    FindCount->setContentsMargins(8, 0, 8, 0);
    FindBar->addWidget(FindCount);
    auto* close = new QToolButton(FindBar);
    close->setObjectName(QStringLiteral("FindClose"));
    close->setText(QStringLiteral("x"));
    close->setToolTip(tr("Close the find bar (Escape)"));
    close->setFocusPolicy(Qt::NoFocus);
    connect(close, &QToolButton::clicked, this, &TRpStandardPreview::CloseFindBar);
    FindBar->addWidget(close);
    FindBar->hide();
    // The first match shows at once; the whole count follows when the
    // typing has given the event loop a moment.
    CountTimer = new QTimer(this);
    CountTimer->setSingleShot(true);
    CountTimer->setInterval(0);
    connect(CountTimer, &QTimer::timeout, this, &TRpStandardPreview::CountMatches);
    connect(FindText, &QLineEdit::textChanged, this, &TRpStandardPreview::FindTextChanged);
    connect(FindText, &QLineEdit::returnPressed, this, &TRpStandardPreview::FindNextClick);
    connect(WholeWords, &QCheckBox::toggled, this, &TRpStandardPreview::FindTextChanged);
}

void TRpStandardPreview::FindClick() {
    FindBar->show();
    FindText->setFocus();
    FindText->selectAll();
}

void TRpStandardPreview::CloseFindBar() {
    FindBar->hide();
    Needle.clear();
    Matches.clear();
    Current = -1;
    Counted = false;
    Note.clear();
    FindCount->clear();
    Preview->Image()->SetHighlights({}, -1);
    Preview->setFocus();
}

QString TRpStandardPreview::FindCountText() const {
    if (Needle.isEmpty())
        return QString();
    QString text;
    if (!Counted)
        text = tr("Counting...");
    else if (Matches.empty())
        text = tr("Not found");
    else
        text = tr("%1 of %2").arg(Current + 1).arg(Matches.size());
    if (PrinterObject && PrinterObject->Status() == TRpPrinterStatus::Busy)
        text += tr(" (%1 pages so far)").arg(CountedPages);
    else if (PrinterObject && PrinterObject->IndexPending())
        text += tr(" (%1 of %2 pages read)")
                    .arg(PrinterObject->TextIndex().PageCount())
                    .arg(PrinterObject->PageCount());
    if (!Note.isEmpty())
        text += QStringLiteral(" - ") + Note;
    return text;
}

// Shows the first match at or after the page shown, then has the count made.
void TRpStandardPreview::FindTextChanged() {
    Needle = FindText->text();
    Matches.clear();
    Current = -1;
    Counted = false;
    CountedPages = 0;
    Note.clear();
    if (!PrinterObject || TRpTextIndex::Fold(Needle).trimmed().isEmpty()) {
        Needle.clear();
        FindCount->clear();
        Preview->Image()->SetHighlights({}, -1);
        return;
    }
    const TRpTextIndex& index = PrinterObject->TextIndex();
    const TRpTextIndex::TMatch first =
        index.FindFirst(Needle, WholeWords->isChecked(), Preview->PageNumber(), true);
    if (first.Page > 0) {
        Preview->SetPageNumber(first.Page);
        UpdatePageText();
    }
    MarkPage();
    FindCount->setText(FindCountText());
    CountTimer->start();
}

void TRpStandardPreview::CountMatches() {
    if (!PrinterObject || Needle.isEmpty())
        return;
    const TRpTextIndex& index = PrinterObject->TextIndex();
    Matches = index.FindAll(Needle, WholeWords->isChecked());
    CountedPages = index.PageCount();
    Counted = true;
    // The current match: the first on or after the page shown.
    const quint32 from = index.PageOffset(Preview->PageNumber());
    const auto it = std::lower_bound(Matches.begin(), Matches.end(), from);
    Current = Matches.empty() ? -1 : int(it == Matches.end() ? 0 : it - Matches.begin());
    if (Current >= 0 && index.MatchAt(Matches[size_t(Current)], 1).Page != Preview->PageNumber())
        ShowMatch(Current);
    else
        MarkPage();
    FindCount->setText(FindCountText());
}

// Pages that came since the count (a run still preparing, an index still
// being rebuilt) add their matches.
void TRpStandardPreview::ExtendMatches() {
    if (!PrinterObject || Needle.isEmpty() || !Counted)
        return;
    const TRpTextIndex& index = PrinterObject->TextIndex();
    if (index.PageCount() <= CountedPages)
        return;
    const std::vector<quint32> more =
        index.FindAll(Needle, WholeWords->isChecked(), CountedPages + 1);
    Matches.insert(Matches.end(), more.begin(), more.end());
    CountedPages = index.PageCount();
    if (Current < 0 && !Matches.empty())
        ShowMatch(0);
    else
        MarkPage();
    FindCount->setText(FindCountText());
}

void TRpStandardPreview::ShowMatch(int index) {
    if (!PrinterObject || index < 0 || size_t(index) >= Matches.size())
        return;
    Current = index;
    const TRpTextIndex& text = PrinterObject->TextIndex();
    const TRpTextIndex::TMatch match =
        text.MatchAt(Matches[size_t(index)], int(TRpTextIndex::Fold(Needle).size()));
    Preview->SetPageNumber(match.Page);
    UpdatePageText();
    MarkPage();
    // The match is brought into view: a third of the way down the control.
    const QRectF pixels = Preview->Image()->PointsToPixels(text.MatchRect(match));
    QScrollBar* bar = Preview->verticalScrollBar();
    if (pixels.top() < bar->value() || pixels.bottom() > bar->value() + bar->pageStep())
        bar->setValue(int(pixels.top()) - bar->pageStep() / 3);
    FindCount->setText(FindCountText());
}

// Marks every match on the page shown.
void TRpStandardPreview::MarkPage() {
    if (!PrinterObject || Needle.isEmpty()) {
        Preview->Image()->SetHighlights({}, -1);
        return;
    }
    const TRpTextIndex& index = PrinterObject->TextIndex();
    const int page = Preview->PageNumber();
    QList<QRectF> rects;
    int current = -1;
    const quint32 currentAt =
        Current >= 0 && size_t(Current) < Matches.size() ? Matches[size_t(Current)] : quint32(-1);
    for (const TRpTextIndex::TMatch& m : index.PageMatches(page, Needle, WholeWords->isChecked())) {
        if (index.PageOffset(page) + quint32(m.Offset) == currentAt)
            current = int(rects.size());
        rects.append(index.MatchRect(m));
    }
    Preview->Image()->SetHighlights(rects, current);
}

void TRpStandardPreview::FindNextClick() {
    if (!FindBar->isVisible())
        return FindClick();
    if (!Counted)
        CountMatches();
    Note.clear();
    if (Matches.empty())
        return;
    int next = Current + 1;
    if (next >= int(Matches.size())) {
        next = 0;
        Note = tr("Reached the end of the report, continued from the beginning");
    }
    ShowMatch(next);
}

void TRpStandardPreview::FindPreviousClick() {
    if (!FindBar->isVisible())
        return FindClick();
    if (!Counted)
        CountMatches();
    Note.clear();
    if (Matches.empty())
        return;
    int previous = Current - 1;
    if (previous < 0) {
        previous = int(Matches.size()) - 1;
        Note = tr("Reached the beginning of the report, continued from the end");
    }
    ShowMatch(previous);
}

void TRpStandardPreview::CopyPageText(const QRectF& area) {
    if (!PrinterObject)
        return;
    const TRpTextIndex& index = PrinterObject->TextIndex();
    const int page = Preview->PageNumber();
    if (page > index.PageCount()) {
        statusBar()->showMessage(tr("The text of this page is not read yet."), 3000);
        return;
    }
    const QString text = index.ReadingText(page, area);
    QGuiApplication::clipboard()->setText(text);
    statusBar()->showMessage(area.isNull() ? tr("The page's text is copied.")
                                           : tr("The text in the area is copied."),
                             3000);
}

// A report file without an index has its pages read in slices between the
// user's events, with the progress in the status bar.
void TRpStandardPreview::StartIndexing() {
    if (!IndexTimer) {
        IndexTimer = new QTimer(this);
        IndexTimer->setInterval(0);
        connect(IndexTimer, &QTimer::timeout, this, &TRpStandardPreview::IndexStep);
    }
    if (PrinterObject && PrinterObject->IndexPending())
        IndexTimer->start();
}

void TRpStandardPreview::IndexStep() {
    if (!PrinterObject || !PrinterObject->IndexPending()) {
        IndexTimer->stop();
        IndexPanel->clear();
        return;
    }
    const int done = PrinterObject->IndexPages(20);
    const int pages = std::max(1, PrinterObject->PageCount());
    if (PrinterObject->IndexPending()) {
        IndexPanel->setText(
            tr("Reading the text of the pages: %1%").arg(qint64(done) * 100 / pages));
    } else {
        IndexTimer->stop();
        IndexPanel->clear();
    }
    ExtendMatches();
}

void TRpStandardPreview::UpdatePageText() {
    const int count = PrinterObject ? PrinterObject->PageCount() : 0;
    PagePanel->setText(tr("Page ") + QString::number(Preview->PageNumber()) + tr(" of ") +
                       QString::number(count));
}

void TRpStandardPreview::ZoomToFitClick() {
    QApplication::processEvents();
    Preview->ZoomToFit();
    ZoomFit->setChecked(true);
}

void TRpStandardPreview::ZoomTo100Click() {
    QApplication::processEvents();
    Preview->SetZoom(100);
    Zoom100->setChecked(true);
}

void TRpStandardPreview::ZoomToWidthClick() {
    QApplication::processEvents();
    Preview->ZoomToWidth();
    ZoomToWidth->setChecked(true);
}

void TRpStandardPreview::FirstPageClick() {
    Preview->SetPageNumber(1);
    UpdatePageText();
}

void TRpStandardPreview::PrevPageClick() {
    Preview->SetPageNumber(Preview->PageNumber() - 1);
    UpdatePageText();
}

void TRpStandardPreview::NextPageClick() {
    Preview->SetPageNumber(Preview->PageNumber() + 1);
    UpdatePageText();
}

void TRpStandardPreview::LastPageClick() {
    if (PrinterObject)
        Preview->SetPageNumber(PrinterObject->PageCount());
    UpdatePageText();
}

void TRpStandardPreview::PrintSetupClick() {
    if (!PrinterObject || !PrintSetupDialog)
        return;
    QPrinter device(QPrinter::ScreenResolution);
    PrinterObject->ApplyPrinterSettings(device);
    TRpPageSettings& settings = PrinterObject->PageSettings();
    if (settings.FirstPage > 0 || settings.LastPage > 0) {
        device.setPrintRange(QPrinter::PageRange);
        device.setFromTo(std::max(1, settings.FirstPage),
                         settings.LastPage > 0 ? settings.LastPage : PrinterObject->PageCount());
    }
    if (!PrintSetupDialog(device))
        return;
    settings.PrinterName = device.printerName();
    settings.Copies = device.copyCount();
    if (device.printRange() == QPrinter::PageRange) {
        settings.FirstPage = device.fromPage();
        settings.LastPage = device.toPage();
    } else {
        settings.FirstPage = 0;
        settings.LastPage = 0;
    }
}

void TRpStandardPreview::PrintClick() {
    if (!PrinterObject || (MasterBusy && MasterBusy()))
        return;
    try {
        PrinterObject->PrintPreparedPages();
    } catch (const Exception& e) {
        if (ShowMessage)
            ShowMessage(e.message());
    }
}

void TRpStandardPreview::SaveClick() {
    if (!PrinterObject || !GetSaveFileName)
        return;
    QString filter = ReportFileFilter();
    QString name =
        GetSaveFileName(this, tr("Save report"),
                        ReportFileFilter() + QStringLiteral(";;") + PdfFileFilter(), &filter);
    if (name.isEmpty())
        return;
    // A name typed with its extension says what it wants whatever type the
    // dialog shows: "x.pdf" is a PDF, "x.rpp" a report file.
    const QString suffix = QFileInfo(name).suffix();
    bool pdf = filter == PdfFileFilter();
    if (suffix.compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
        pdf = true;
    else if (suffix.compare(ReportExtension, Qt::CaseInsensitive) == 0)
        pdf = false;
    if (suffix.isEmpty())
        name += pdf ? QStringLiteral(".pdf") : QStringLiteral(".") + ReportExtension;
    try {
        if (pdf)
            PrinterObject->SavePdf(name);
        else
            PrinterObject->SaveReportFile(name);
    } catch (const Exception& e) {
        if (ShowMessage)
            ShowMessage(e.message());
    }
}

void TRpStandardPreview::LoadClick() {
    if (!PrinterObject || !GetOpenFileName)
        return;
    QString filter = ReportFileFilter();
    const QString name = GetOpenFileName(this, tr("Load report"), ReportFileFilter(), &filter);
    if (name.isEmpty())
        return;
    if (!QFileInfo(name).isFile()) {
        if (ShowMessage)
            ShowMessage(tr("File does not exist"));
        return;
    }
    try {
        PrinterObject->OpenReportFile(name);
    } catch (const Exception& e) {
        if (ShowMessage)
            ShowMessage(e.message());
        return;
    }
    Preview->ShowFirstPage();
    if (Preview->ZoomState() == TRpPreview::ZoomWidth)
        Preview->ZoomToWidth();
    else if (Preview->ZoomState() == TRpPreview::ZoomFit)
        Preview->ZoomToFit();
    PrintSetup->setEnabled(false);
    Print->setEnabled(true);
    UpdatePageText();
    if (!Needle.isEmpty())
        FindTextChanged();
    StartIndexing();
}

void TRpStandardPreview::ExitClick() {
    close();
}

bool TRpStandardPreview::FormKeyDown(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool ctrlOnly = mods == Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Escape:
        if (FindBar->isVisible())
            CloseFindBar();
        else
            close();
        return true;
    case Qt::Key_F:
        if (!ctrlOnly)
            return false;
        FindClick();
        return true;
    case Qt::Key_F3:
        mods& Qt::ShiftModifier ? FindPreviousClick() : FindNextClick();
        return true;
    case Qt::Key_C:
        if (!ctrlOnly)
            return false;
        CopyPageText();
        return true;
    case Qt::Key_PageUp:
        ctrlOnly ? FirstPageClick() : PrevPageClick();
        return true;
    case Qt::Key_PageDown:
        ctrlOnly ? LastPageClick() : NextPageClick();
        return true;
    case Qt::Key_Home:
        FirstPageClick();
        return true;
    case Qt::Key_End:
        LastPageClick();
        return true;
    default:
        return false;
    }
}

void TRpStandardPreview::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyDown(event))
        QMainWindow::keyPressEvent(event);
}

// The window sees the keys before the preview control, which would otherwise
// scroll on Page Up, Page Down, Home and End.
bool TRpStandardPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Preview && event->type() == QEvent::KeyPress)
        return FormKeyDown(static_cast<QKeyEvent*>(event));
    // In the find box Enter goes to the next match and Shift+Enter to the
    // previous; F3, Ctrl+F and Escape work as in the window. Other keys edit.
    if (watched == FindText && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & Qt::ShiftModifier)) {
            FindPreviousClick();
            return true;
        }
        if (key->key() == Qt::Key_Escape || key->key() == Qt::Key_F3 ||
            (key->key() == Qt::Key_F && key->modifiers() == Qt::ControlModifier))
            return FormKeyDown(key);
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TRpStandardPreview::RpPreviewProgressUpdate(int percent) {
    if (percent == 0 || percent == 100) {
        ProgressPanel->clear();
        LastProgress = 0;
        return;
    }
    if (percent >= LastProgress + 5) {
        LastProgress = percent;
        ProgressPanel->setText(QString::number(percent) + QStringLiteral("%"));
    }
}

void TRpStandardPreview::RpPreviewPageReady(int) {
    UpdatePageText();
    ExtendMatches();
    if (PrinterObject && PrinterObject->Status() == TRpPrinterStatus::Finished) {
        PrintSetup->setEnabled(true);
        Print->setEnabled(true);
    }
}

void TRpStandardPreview::FormClose() {
    if (Closed)
        return;
    Closed = true;
    Preview->SetPrinter(nullptr);
    if (PrinterObject)
        PrinterObject->NotifyPreviewClosed();
}

void TRpStandardPreview::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}
