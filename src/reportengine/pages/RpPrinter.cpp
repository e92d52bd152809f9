#include "RpPrinter.h"

#include "Exception.h"
#include "RpPaperSizes.h"
#include "RpStream.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTemporaryFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <filesystem>

#ifdef VEXAL_FAST_PDF_DEFLATE
#include <zlib.h>

namespace {
// Set on the thread of a run drawing straight into a PDF, while it does.
thread_local bool FastDeflate = false;
} // namespace

// Qt's PDF writer compresses each page's drawing with zlib at zlib's default
// level and has no setting for it; compression took about a third of a
// batch PDF's time. Qt and zlib are shared libraries here, and the dynamic
// linker binds Qt's call of zlib's deflateInit_ to this program's function
// of that name. It does exactly what zlib's does, except that on the thread
// of a run drawing straight into a PDF, while it does, the default level
// becomes the fastest: a quarter less time for the whole PDF, a file about
// a quarter larger, the same pages.
extern "C" int deflateInit_(z_streamp stream, int level, const char* version, int streamSize) {
    if (FastDeflate && level == Z_DEFAULT_COMPRESSION)
        level = Z_BEST_SPEED;
    return deflateInit2_(stream, level, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY, version,
                         streamSize);
}

namespace {
void SetFastDeflate(bool on) {
    FastDeflate = on;
}
} // namespace
#else
namespace {
void SetFastDeflate(bool) {}
} // namespace
#endif

TRpPrinter::TRpPrinter(QObject* parent) : QObject(parent) {}

TRpPrinter::~TRpPrinter() {
    ClosePdf(false);
    if (PictureCanvas)
        PictureCanvas->end();
    if (DevicePrinting) {
        Device->abort();
        DeviceCanvas->end();
    }
}

double TRpPrinter::ScreenDpi() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (QScreen* screen = QGuiApplication::primaryScreen())
            return screen->logicalDotsPerInch();
    return 96.0;
}

bool TRpPrinter::PrinterPresent() const {
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

int TRpPrinter::PaperWidth() const {
    const QSize s = Settings.PaperSize == QPageSize::Custom
                        ? QSize(Settings.CustomWidth, Settings.CustomLength)
                        : RpPaperSizeTenths(Settings.PaperSize);
    return Settings.Orientation == QPageLayout::Landscape ? s.height() : s.width();
}

int TRpPrinter::PaperLength() const {
    const QSize s = Settings.PaperSize == QPageSize::Custom
                        ? QSize(Settings.CustomWidth, Settings.CustomLength)
                        : RpPaperSizeTenths(Settings.PaperSize);
    return Settings.Orientation == QPageLayout::Landscape ? s.width() : s.height();
}

QPageLayout TRpPrinter::PageLayout() const {
    const QPageSize size =
        Settings.PaperSize == QPageSize::Custom
            ? QPageSize(QSizeF(Settings.CustomWidth / 10.0, Settings.CustomLength / 10.0),
                        QPageSize::Millimeter, QString(), QPageSize::ExactMatch)
            : QPageSize(Settings.PaperSize);
    return QPageLayout(size, Settings.Orientation, QMarginsF());
}

void TRpPrinter::SetClient(QObject* client) {
    if (!client && ClientObject && State == TRpPrinterStatus::Busy)
        RequestCancel();
    ClientObject = client;
}

std::optional<QPrinter::PaperSource> RpPaperSourceOfBin(int bin) {
    using P = QPrinter;
    switch (bin) {
    case 1:
        return P::Upper;
    case 2:
        return P::Lower;
    case 3:
        return P::Middle;
    case 4:
        return P::Manual;
    case 5:
        return P::Envelope;
    case 6:
        return P::EnvelopeManual;
    case 7:
        return P::Auto;
    case 8:
        return P::Tractor;
    case 9:
        return P::SmallFormat;
    case 10:
        return P::LargeFormat;
    case 11:
        return P::LargeCapacity;
    case 14:
        return P::Cassette;
    case 15:
        return P::FormSource;
    default:
        return std::nullopt;
    }
}

// Applies the report's page and printer settings; the canvas origin is the
// paper's corner (full page, no margins).
void TRpPrinter::ApplyPrinterSettings(QPrinter& printer) const {
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        if (!Settings.PrinterName.isEmpty()) {
            printer.setPrinterName(Settings.PrinterName);
        } else if (Settings.PrinterIndex >= 0) {
            const QStringList names = QPrinterInfo::availablePrinterNames();
            if (Settings.PrinterIndex < names.size())
                printer.setPrinterName(names.at(Settings.PrinterIndex));
        }
        printer.setCopyCount(std::max(1, Settings.Copies));
#ifdef Q_OS_WIN
        // A bin the printer does not offer is left to the printer. Elsewhere
        // Qt's printers name no bins (a CUPS queue picks its own tray).
        const std::optional<QPrinter::PaperSource> source = RpPaperSourceOfBin(Settings.OutputBin);
        if (source && printer.supportedPaperSources().contains(*source))
            printer.setPaperSource(*source);
#endif
    }
    printer.setDocName(JobTitle);
    printer.setFullPage(true);
    printer.setPageLayout(PageLayout());
}

bool TRpPrinter::InRange(int page) const {
    return (Settings.FirstPage == 0 || page >= Settings.FirstPage) &&
           (Settings.LastPage == 0 || Settings.LastPage >= page);
}

void TRpPrinter::StartRun() {
    if (State != TRpPrinterStatus::Ready)
        throw Exception(QStringLiteral("RpPrinter not ready"));
    PictureCanvas.reset();
    PagePicture.reset();
    PagePainter = nullptr;
    Ready = 0;
    CancelRequested = false;
    Loaded = false;
    CurrentPage = 0;
    Pages = 0;
    TopW = LeftW = 0;
    XFac = YFac = ScreenDpi() / 254.0;
    DeviceUsable = false;
    if (Dest == TRpDestination::Printer) {
        DeviceUsable = PrinterPresent();
        if (DeviceUsable) {
            if (!Device)
                Device = std::make_unique<QPrinter>(QPrinter::HighResolution);
            ApplyPrinterSettings(*Device);
            const QMarginsF waste = Device->pageLayout().minimumMargins();
            const double pixelsPerPoint = Device->resolution() / 72.0;
            TopW = qRound(waste.top() * pixelsPerPoint);
            LeftW = qRound(waste.left() * pixelsPerPoint);
            XFac = YFac = Device->resolution() / 254.0;
        }
    } else {
        Store.ClearPages();
        Store.SetStream(std::make_unique<TRpStream>(SpillLimit));
        Store.SetCompression(Settings.Compression);
        ClosePdf(false);
        PdfDirect = false;
        if (!PdfOutput.isEmpty()) {
            // Beside the target, so putting it in place is a rename.
            const QFileInfo info(PdfOutput);
            PdfTemp = std::make_unique<QTemporaryFile>(info.absolutePath() + QStringLiteral("/.") +
                                                       info.fileName() + QStringLiteral(".XXXXXX"));
            if (!PdfTemp->open()) {
                const QString error = PdfTemp->errorString();
                PdfTemp.reset();
                throw Exception(QStringLiteral("Cannot create the file %1: %2")
                                    .arg(QDir::toNativeSeparators(PdfOutput), error));
            }
            PdfTemp->close();
            PdfDevice = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
            PdfDevice->setOutputFormat(QPrinter::PdfFormat);
            PdfDevice->setOutputFileName(PdfTemp->fileName());
            ApplyPrinterSettings(*PdfDevice);
            PdfDirect = true;
            SetFastDeflate(true);
        }
    }
    State = TRpPrinterStatus::Busy;
}

void TRpPrinter::StartRecordedPage() {
    Collecting = Collect && Dest == TRpDestination::Metafile;
    if (Collecting)
        Store.TextIndex().BeginPage();
    PagePicture = std::make_unique<QPicture>();
    PagePicture->setBoundingRect(
        QRect(0, 0, qRound(PaperWidth() * XFac), qRound(PaperLength() * YFac)));
    PictureCanvas = std::make_unique<QPainter>(PagePicture.get());
    PagePainter = PictureCanvas.get();
}

// Ends the picture of the page in progress; a recorded page goes to the page
// store, a printer page outside the range is dropped.
void TRpPrinter::CloseRecordedPage() {
    PagePainter = nullptr;
    if (PdfPageOpen) {
        PdfCanvas->restore();
        PdfPageOpen = false;
        return;
    }
    if (!PictureCanvas)
        return;
    PictureCanvas->end();
    std::unique_ptr<QPicture> page = std::move(PagePicture);
    PictureCanvas.reset();
    if (Dest == TRpDestination::Metafile) {
        Store.AppendPage(*page);
        if (Collecting)
            Store.TextIndex().EndPage();
    }
    Collecting = false;
}

void TRpPrinter::NoteFont(const QFont& font) {
    if (Collecting)
        Store.TextIndex().SetFont(font);
}

void TRpPrinter::NoteText(const QRectF& tenths, const QString& text) {
    if (!Collecting)
        return;
    constexpr double points = 72.0 / 254.0;
    Store.TextIndex().AddText(QRectF(tenths.x() * points, tenths.y() * points,
                                     tenths.width() * points, tenths.height() * points),
                              text);
}

bool TRpPrinter::IndexPending() const {
    const TRpTextIndex& index = Store.TextIndex();
    return State == TRpPrinterStatus::Finished && Loaded && index.PageCount() < Pages;
}

// Each page is fetched and drawn as the preview and printing draw it, onto a
// device that notes the text; a page that cannot be drawn adds no text.
int TRpPrinter::IndexPages(int count) {
    TRpTextIndex& index = Store.TextIndex();
    const double dpi = ScreenDpi();
    const QSizeF paper(PaperWidth() * dpi / 254.0, PaperLength() * dpi / 254.0);
    while (count-- > 0 && IndexPending()) {
        const int n = index.PageCount() + 1;
        std::unique_ptr<QPicture> picture;
        try {
            picture = Store.FetchPage(n);
        } catch (const Exception&) {
            picture.reset();
        }
        TRpTextCollector::CollectPage(index, paper, dpi,
                                      [&](QPainter& painter, const QRectF& target) {
                                          if (picture)
                                              DrawPage(painter, *picture, target);
                                      });
    }
    return index.PageCount();
}

void TRpPrinter::RaiseReady() {
    Ready = std::min(Ready + 1, Pages);
    emit pageReady(Ready);
}

void TRpPrinter::StartNewPage() {
    if (State != TRpPrinterStatus::Busy)
        throw Exception(QStringLiteral("Illegal call to NewPage"));
    if (CurrentPage > 0) {
        // A printer page ends when the next one starts (newPage below).
        CloseRecordedPage();
        RaiseReady();
    }
    ++Pages;
    ++CurrentPage;
    if (Dest == TRpDestination::Metafile && PdfDirect) {
        StartPdfPage();
        return;
    }
    if (Dest == TRpDestination::Metafile || !DeviceUsable || !InRange(Pages)) {
        StartRecordedPage();
        return;
    }
    if (!DevicePrinting) {
        Device->setDocName(JobTitle);
        DeviceCanvas = std::make_unique<QPainter>();
        DevicePrinting = DeviceCanvas->begin(Device.get());
        if (!DevicePrinting) {
            // The printer refused the job: the run goes on, printing nothing.
            DeviceCanvas.reset();
            DeviceUsable = false;
            StartRecordedPage();
            return;
        }
    } else {
        Device->newPage();
    }
    PagePainter = DeviceCanvas.get();
}

// A page of a run drawn straight into the PDF: the painter as PaintPages
// sets it up, with the recorded page's stretch over the paper (DrawPage), so
// the PDF is the one SavePdf makes of recorded pages. Each page starts from
// the same painter state, as each recorded page starts a picture of its own.
void TRpPrinter::StartPdfPage() {
    if (!PdfCanvas) {
        PdfCanvas = std::make_unique<QPainter>();
        if (!PdfCanvas->begin(PdfDevice.get())) {
            PdfCanvas.reset();
            throw Exception(QStringLiteral("Cannot write the file %1.")
                                .arg(QDir::toNativeSeparators(PdfOutput)));
        }
        PdfCanvas->setRenderHint(QPainter::Antialiasing);
        PdfCanvas->setRenderHint(QPainter::TextAntialiasing);
        PdfCanvas->setRenderHint(QPainter::SmoothPixmapTransform);
    } else {
        PdfDevice->newPage();
    }
    const QRect source(0, 0, qRound(PaperWidth() * XFac), qRound(PaperLength() * YFac));
    const QSizeF target = PdfDevice->paperRect(QPrinter::DevicePixel).size();
    PdfCanvas->save();
    if (!source.isEmpty())
        PdfCanvas->scale(target.width() / source.width(), target.height() / source.height());
    PdfPageOpen = true;
    PagePainter = PdfCanvas.get();
}

// Ends the PDF of a run drawn straight into one; keep leaves the file for
// SavePdf (an empty one when the painter could not finish it).
void TRpPrinter::ClosePdf(bool keep) {
    if (PdfPageOpen) {
        PdfCanvas->restore();
        PdfPageOpen = false;
        PagePainter = nullptr;
    }
    bool written = true;
    if (PdfCanvas) {
        written = PdfCanvas->end();
        PdfCanvas.reset();
    }
    PdfDevice.reset();
    SetFastDeflate(false);
    if (!keep || !written)
        PdfTemp.reset();
}

void TRpPrinter::FinishRun() {
    if (State != TRpPrinterStatus::Busy)
        return;
    CloseRecordedPage();
    if (PdfDirect)
        ClosePdf(true);
    if (DevicePrinting) {
        DeviceCanvas->end();
        DeviceCanvas.reset();
        DevicePrinting = false;
    }
    // Finished before the notice, so the preview enables printing on it.
    State = TRpPrinterStatus::Finished;
    if (Dest == TRpDestination::Metafile)
        Store.WriteListHeader();
    RaiseReady();
    if (Dest == TRpDestination::Printer && OnEndRun)
        OnEndRun();
}

void TRpPrinter::AbortRun() {
    if (State != TRpPrinterStatus::Busy)
        return;
    if (DevicePrinting) {
        Device->abort();
        DeviceCanvas->end();
        DeviceCanvas.reset();
        DevicePrinting = false;
    }
    // The pages drawn so far stay; the header gets their count, so a report
    // saved after a cancel holds every page it shows.
    CloseRecordedPage();
    if (PdfDirect)
        ClosePdf(true);
    State = TRpPrinterStatus::Finished;
    if (Dest == TRpDestination::Metafile)
        Store.WriteListHeader();
    RaiseReady();
}

void TRpPrinter::NotifyProgress(int percent) {
    emit progress(percent);
}

std::unique_ptr<QPicture> TRpPrinter::PageImage(int n) {
    if (State == TRpPrinterStatus::Ready || n < 1 || n > Pages)
        return nullptr;
    return Store.FetchPage(n);
}

void TRpPrinter::DrawPage(QPainter& painter, const QPicture& page, const QRectF& target) {
    const QRect source = page.boundingRect();
    if (source.isEmpty())
        return;
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / source.width(), target.height() / source.height());
    painter.translate(-source.topLeft());
    painter.drawPicture(0, 0, page);
    painter.restore();
}

// Draws pages from..to, one sheet each. The device works at screen resolution:
// a picture's fonts are sized for the device it plays on, so only a device of
// the recording resolution keeps text and drawing in proportion.
void TRpPrinter::PaintPages(QPrinter& device, int from, int to, bool allowCancel) {
    QPainter painter;
    if (!painter.begin(&device))
        throw Exception(QStringLiteral("The printer could not start the job."));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF target(QPointF(0, 0), device.paperRect(QPrinter::DevicePixel).size());
    QPointer<TRpPrinter> self(this);
    PrintingPages = true;
    for (int page = from; page <= to; ++page) {
        if (allowCancel) {
            QCoreApplication::processEvents();
            if (!self)
                return; // released by its owner meanwhile
            if (CancelRequested) {
                device.abort();
                break;
            }
        }
        CurrentPage = page;
        if (std::unique_ptr<QPicture> picture = Store.FetchPage(page))
            DrawPage(painter, *picture, target);
        if (page < to)
            device.newPage();
    }
    PrintingPages = false;
    painter.end();
}

void TRpPrinter::PrintPreparedPages() {
    if (MasterObject && !Loaded) {
        // Posted: the master runs the report again, towards the printer, once
        // the caller (a preview button) has returned.
        QMetaObject::invokeMethod(
            this, [this] { emit printRequested(); }, Qt::QueuedConnection);
        return;
    }
    if (State != TRpPrinterStatus::Finished || PrintingPages || !PrinterPresent() || Pages == 0 ||
        PdfDirect)
        return;
    int from = 1;
    int to = Pages;
    if (Settings.FirstPage != 0 || Settings.LastPage != 0) {
        from = std::max(1, Settings.FirstPage);
        to = Settings.LastPage != 0 ? std::min(Pages, Settings.LastPage) : Pages;
    }
    if (from > to)
        return;
    CancelRequested = false;
    QPrinter printer(QPrinter::ScreenResolution);
    ApplyPrinterSettings(printer);
    PaintPages(printer, from, to, true);
}

void TRpPrinter::OpenReportFile(const QString& fileName) {
    // A run in progress is paused in its message handling with a page canvas
    // it still draws on, so it cannot be cleaned up from here.
    if (State == TRpPrinterStatus::Busy)
        throw Exception(
            QStringLiteral("The report is still running; open the file when it has finished."));
    // Printing hands the pages out one by one between its message handling:
    // new pages under it would mix two reports on paper.
    if (PrintingPages)
        throw Exception(QStringLiteral(
            "The report is being printed; open the file when printing has finished."));
    // The page list keeps what it had when the file cannot be read.
    Store.OpenPageFile(fileName);
    if (PictureCanvas)
        PictureCanvas->end();
    PictureCanvas.reset();
    PagePicture.reset();
    PagePainter = nullptr;
    if (DevicePrinting) {
        Device->abort();
        DeviceCanvas->end();
        DeviceCanvas.reset();
        DevicePrinting = false;
    }
    Pages = Store.PageCount();
    Ready = Pages;
    CurrentPage = 0;
    CancelRequested = false;
    XFac = YFac = ScreenDpi() / 254.0;
    State = TRpPrinterStatus::Finished;
    Loaded = true;
    if (Pages == 0)
        return;
    std::unique_ptr<QPicture> first;
    try {
        first = Store.FetchPage(1);
    } catch (const Exception&) {
        return; // shown (or refused) page by page later
    }
    const QRect box = first ? first->boundingRect() : QRect();
    if (box.isEmpty())
        return;
    const int width = qRound(box.width() / XFac);
    const int length = qRound(box.height() / YFac);
    bool landscape = false;
    if (const TRpPaperSize* paper = RpMatchPaperSize(width, length, &landscape)) {
        Settings.PaperSize = paper->Id;
        Settings.Orientation = landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    } else {
        // No standard paper: keep the page's own size, so the preview and a
        // PDF show it as it was recorded.
        Settings.PaperSize = QPageSize::Custom;
        Settings.CustomWidth = std::min(width, length);
        Settings.CustomLength = std::max(width, length);
        Settings.Orientation = width > length ? QPageLayout::Landscape : QPageLayout::Portrait;
    }
}

void TRpPrinter::SaveReportFile(const QString& fileName) {
    if (State != TRpPrinterStatus::Finished)
        throw Exception(
            QStringLiteral("The report is not complete yet; save it when it has finished."));
    if (PdfDirect)
        throw Exception(QStringLiteral("There are no report pages to save."));
    Store.SavePageFile(fileName);
}

namespace {

// Permissions of a newly created file under the process's file-mode mask.
QFileDevice::Permissions NewFilePermissions() {
#ifdef Q_OS_UNIX
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = 0666 & ~mask;
    QFileDevice::Permissions p;
    if (mode & 0400)
        p |= QFileDevice::ReadOwner | QFileDevice::ReadUser;
    if (mode & 0200)
        p |= QFileDevice::WriteOwner | QFileDevice::WriteUser;
    if (mode & 0040)
        p |= QFileDevice::ReadGroup;
    if (mode & 0020)
        p |= QFileDevice::WriteGroup;
    if (mode & 0004)
        p |= QFileDevice::ReadOther;
    if (mode & 0002)
        p |= QFileDevice::WriteOther;
    return p;
#else
    return QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
           QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther;
#endif
}

} // namespace

void TRpPrinter::SavePdf(const QString& fileName) {
    const QString name = QDir::toNativeSeparators(fileName);
    if (PdfDirect) {
        // The run wrote the PDF already: it only goes in place (under the
        // name it was written for; another name gets a copy).
        if (State != TRpPrinterStatus::Finished || Pages == 0 || !PdfTemp)
            throw Exception(QStringLiteral("There are no report pages to save."));
        if (QFileInfo(PdfTemp->fileName()).size() == 0)
            throw Exception(QStringLiteral("Cannot write the file %1.").arg(name));
        if (QFileInfo(fileName).absoluteFilePath() == QFileInfo(PdfOutput).absoluteFilePath()) {
            PlaceFile(PdfTemp->fileName(), fileName);
            PdfTemp->setAutoRemove(false);
            PdfTemp.reset();
            return;
        }
        const QFileInfo info(fileName);
        QTemporaryFile copy(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                            QStringLiteral(".XXXXXX"));
        QFile source(PdfTemp->fileName());
        if (!copy.open() || !source.open(QIODevice::ReadOnly))
            throw Exception(
                QStringLiteral("Cannot create the file %1: %2").arg(name, copy.errorString()));
        while (!source.atEnd()) {
            const QByteArray block = source.read(1 << 20);
            if (block.isEmpty() || copy.write(block) != block.size())
                throw Exception(
                    QStringLiteral("Cannot write the file %1: %2").arg(name, copy.errorString()));
        }
        if (!copy.flush())
            throw Exception(
                QStringLiteral("Cannot write the file %1: %2").arg(name, copy.errorString()));
        copy.close();
        PlaceFile(copy.fileName(), fileName);
        copy.setAutoRemove(false);
        return;
    }
    if (State != TRpPrinterStatus::Finished || Store.PageCount() == 0)
        throw Exception(QStringLiteral("There are no report pages to save."));
    // Written beside the target under a temporary name and renamed over it
    // at the end, so a failure never leaves half a PDF behind.
    const QFileInfo info(fileName);
    QTemporaryFile temp(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                        QStringLiteral(".XXXXXX"));
    if (!temp.open())
        throw Exception(
            QStringLiteral("Cannot create the file %1: %2").arg(name, temp.errorString()));
    temp.close();
    {
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(temp.fileName());
        ApplyPrinterSettings(printer);
        PaintPages(printer, 1, Store.PageCount(), false);
    }
    if (QFileInfo(temp.fileName()).size() == 0)
        throw Exception(QStringLiteral("Cannot write the file %1.").arg(name));
    PlaceFile(temp.fileName(), fileName);
    temp.setAutoRemove(false);
}

// Renames a written temporary file over fileName. The temporary file is
// private to its owner; the PDF gets the permissions a file created in its
// place would get (those of the file it replaces, or the usual ones for a
// new file).
void TRpPrinter::PlaceFile(const QString& temp, const QString& fileName) {
    const QString name = QDir::toNativeSeparators(fileName);
    const QFileInfo info(fileName);
    QFile::setPermissions(temp, info.exists() ? QFile::permissions(info.absoluteFilePath())
                                              : NewFilePermissions());
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(temp).toStdString(),
                            QFile::encodeName(info.absoluteFilePath()).toStdString(), error);
    if (error)
        throw Exception(QStringLiteral("Cannot write the file %1: %2")
                            .arg(name, QString::fromLocal8Bit(error.message().c_str())));
}

void TRpPrinter::NotifyPreviewClosed() {
    emit previewClosed(this);
}

void TRpPrinter::Cleanup() {
    ClosePdf(false);
    PdfDirect = false;
    if (PictureCanvas)
        PictureCanvas->end();
    PictureCanvas.reset();
    PagePicture.reset();
    PagePainter = nullptr;
    if (DevicePrinting) {
        Device->abort();
        DeviceCanvas->end();
        DeviceCanvas.reset();
        DevicePrinting = false;
    }
    Store.ClearPages();
    Store.SetStream(nullptr);
    State = TRpPrinterStatus::Ready;
    Pages = 0;
    CurrentPage = 0;
    Ready = 0;
    Loaded = false;
    CancelRequested = false;
}
