#include "RpStandardPreview.h"

#include "Exception.h"
#include "RpPreview.h"
#include "RpPreviewImage.h"
#include "RpPrinter.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
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
    return QStringLiteral("Report files (*.") + ReportExtension + QStringLiteral(" *.rpp)");
}

QString TRpStandardPreview::PdfFileFilter() {
    return QStringLiteral("PDF files (*.pdf)");
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
    setWindowTitle(title.isEmpty() ? QStringLiteral("Print Preview") : title);
    setWindowState(windowState() | Qt::WindowMaximized);

    auto* toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("ToolBar"));
    toolBar->setMovable(false);
    addToolBar(toolBar);

    ZoomFit = AddButton(QStringLiteral("ZoomFit"), QStringLiteral("Fit"),
                        QStringLiteral("Zoom to fit"), &TRpStandardPreview::ZoomToFitClick);
    Zoom100 = AddButton(QStringLiteral("Zoom100"), QStringLiteral("100%"), QStringLiteral("100%"),
                        &TRpStandardPreview::ZoomTo100Click);
    ZoomToWidth = AddButton(QStringLiteral("ZoomToWidth"), QStringLiteral("Width"),
                            QStringLiteral("Zoom to width"), &TRpStandardPreview::ZoomToWidthClick);
    auto* zoomGroup = new QButtonGroup(this);
    for (QToolButton* b : {ZoomFit, Zoom100, ZoomToWidth}) {
        b->setCheckable(true);
        zoomGroup->addButton(b);
    }
    ZoomToWidth->setChecked(true);
    toolBar->addSeparator();
    AddButton(QStringLiteral("FirstPage"), QStringLiteral("|<"), QStringLiteral("First page"),
              &TRpStandardPreview::FirstPageClick);
    AddButton(QStringLiteral("PreviousPage"), QStringLiteral("<"), QStringLiteral("Previous page"),
              &TRpStandardPreview::PrevPageClick);
    AddButton(QStringLiteral("ToolButton2"), QStringLiteral(">"), QStringLiteral("Next page"),
              &TRpStandardPreview::NextPageClick);
    AddButton(QStringLiteral("LastPage"), QStringLiteral(">|"), QStringLiteral("Last page"),
              &TRpStandardPreview::LastPageClick);
    toolBar->addSeparator();
    PrintSetup = AddButton(QStringLiteral("PrintSetup"), QStringLiteral("Setup"),
                           QStringLiteral("Printer setup"), &TRpStandardPreview::PrintSetupClick);
    Print = AddButton(QStringLiteral("Print"), QStringLiteral("Print"), QStringLiteral("Print"),
                      &TRpStandardPreview::PrintClick);
    AddButton(QStringLiteral("SaveReport"), QStringLiteral("Save"), QStringLiteral("Save Report"),
              &TRpStandardPreview::SaveClick);
    AddButton(QStringLiteral("LoadReport"), QStringLiteral("Load"), QStringLiteral("Load Report"),
              &TRpStandardPreview::LoadClick);
    toolBar->addSeparator();
    AddButton(QStringLiteral("ExitButton"), QStringLiteral("&Close"), QStringLiteral("Close"),
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

    ProgressPanel = new QLabel(QStringLiteral("0%"), this);
    ProgressPanel->setObjectName(QStringLiteral("ProgressPanel"));
    ProgressPanel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ProgressPanel->setMinimumWidth(60);
    PagePanel = new QLabel(this);
    PagePanel->setObjectName(QStringLiteral("PagePanel"));
    statusBar()->addWidget(ProgressPanel);
    statusBar()->addWidget(PagePanel, 1);
    UpdatePageText();
}

void TRpStandardPreview::UpdatePageText() {
    const int count = PrinterObject ? PrinterObject->PageCount() : 0;
    PagePanel->setText(QStringLiteral("Page ") + QString::number(Preview->PageNumber()) +
                       QStringLiteral(" of ") + QString::number(count));
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
        GetSaveFileName(this, QStringLiteral("Save report"),
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
    const QString name =
        GetOpenFileName(this, QStringLiteral("Load report"), ReportFileFilter(), &filter);
    if (name.isEmpty())
        return;
    if (!QFileInfo(name).isFile()) {
        if (ShowMessage)
            ShowMessage(QStringLiteral("File does not exist"));
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
}

void TRpStandardPreview::ExitClick() {
    close();
}

bool TRpStandardPreview::FormKeyDown(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool ctrlOnly = mods == Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
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
