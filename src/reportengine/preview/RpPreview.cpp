#include "RpPreview.h"

#include "Exception.h"
#include "RpPreviewImage.h"
#include "RpPrinter.h"

#include <QEvent>
#include <QScrollBar>

TRpPreview::TRpPreview(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("RpPreview"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    PageImage = new TRpPreviewImage(viewport());
    Relayout();
}

TRpPreview::~TRpPreview() {
    if (PrinterObject)
        PrinterObject->SetClient(nullptr);
}

void TRpPreview::SetPrinter(TRpPrinter* printer) {
    if (PrinterObject) {
        disconnect(PrinterObject, nullptr, this, nullptr);
        PrinterObject->SetClient(nullptr);
    }
    PrinterObject = printer;
    PageImage->SetPrinter(printer);
    if (printer) {
        printer->SetClient(this);
        connect(printer, &TRpPrinter::pageReady, this, &TRpPreview::PrinterPageReady);
        connect(printer, &TRpPrinter::progress, this, &TRpPreview::PrinterProgress);
    }
    Relayout();
}

QSizeF TRpPreview::PaperPixels() const {
    return PageImage->PaperPixels();
}

// The image is the sheet plus 4 pixels for its frame and shadow.
void TRpPreview::Relayout() {
    PageImage->SetZoom(ZoomPercent);
    const QSize sheet = PageImage->SheetSize();
    PageImage->setFixedSize(sheet.width() + 4, sheet.height() + 4);
    UpdateScrollBars();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    PlaceImage();
}

void TRpPreview::UpdateScrollBars() {
    const QSize area = viewport()->size();
    const QSize image = PageImage->size();
    horizontalScrollBar()->setRange(0, std::max(0, image.width() - area.width()));
    horizontalScrollBar()->setPageStep(area.width());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setRange(0, std::max(0, image.height() - area.height()));
    verticalScrollBar()->setPageStep(area.height());
    verticalScrollBar()->setSingleStep(20);
}

// An image narrower than the control is centred (half the difference,
// rounded down), a wider one scrolls; the same vertically.
void TRpPreview::PlaceImage() {
    const QSize area = viewport()->size();
    const QSize image = PageImage->size();
    const int x = image.width() < area.width() ? (area.width() - image.width()) / 2
                                               : -horizontalScrollBar()->value();
    const int y = image.height() < area.height() ? (area.height() - image.height()) / 2
                                                 : -verticalScrollBar()->value();
    PageImage->move(x, y);
}

bool TRpPreview::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize) {
        UpdateScrollBars();
        PlaceImage();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void TRpPreview::scrollContentsBy(int, int) {
    PlaceImage();
}

void TRpPreview::SetZoom(int zoom) {
    if (zoom < MinZoom || zoom > MaxZoom)
        return;
    ZoomPercent = zoom;
    State = ZoomOther;
    Relayout();
}

void TRpPreview::ZoomToFit() {
    const QSize area = maximumViewportSize();
    const QSizeF paper = PaperPixels();
    const double byWidth = area.width() / paper.width() * 95;
    const double byHeight = area.height() / paper.height() * 95;
    ZoomPercent = std::clamp(int(qRound(std::min(byWidth, byHeight))), MinZoom, MaxZoom);
    State = ZoomFit;
    Relayout();
}

void TRpPreview::ZoomToWidth() {
    const QSize area = maximumViewportSize();
    const double share = PrinterObject ? 90 : 95;
    ZoomPercent =
        std::clamp(int(qRound(area.width() / PaperPixels().width() * share)), MinZoom, MaxZoom);
    State = ZoomWidth;
    Relayout();
}

void TRpPreview::LoadPage(int n) {
    Page = n;
    try {
        PageImage->LoadPage(n);
    } catch (const Exception& e) {
        if (OnError)
            OnError(e.message());
    }
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

void TRpPreview::SetPageNumber(int n) {
    if ((n == Page && PageImage->HasPage()) || n <= 0 || !PrinterObject ||
        n > PrinterObject->PageCount())
        return;
    LoadPage(n);
}

void TRpPreview::ShowFirstPage() {
    PageImage->ClearPage();
    Relayout();
    if (PrinterObject && PrinterObject->PageCount() > 0)
        LoadPage(1);
    else
        Page = 1;
}

void TRpPreview::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (State == ZoomFit)
        ZoomToFit();
    else if (State == ZoomWidth)
        ZoomToWidth();
    else
        Relayout();
}

void TRpPreview::PrinterPageReady(int readyPages) {
    if (readyPages == Page && !PageImage->HasPage()) {
        ZoomToWidth();
        LoadPage(Page);
    }
    if (OnPageReady)
        OnPageReady(readyPages);
}

void TRpPreview::PrinterProgress(int percent) {
    if (OnProgress)
        OnProgress(percent);
}
