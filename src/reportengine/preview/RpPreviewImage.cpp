#include "RpPreviewImage.h"

#include "RpPrinter.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPicture>

TRpPreviewImage::TRpPreviewImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PreviewImage"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

TRpPreviewImage::~TRpPreviewImage() = default;

void TRpPreviewImage::SetPrinter(TRpPrinter* printer) {
    PrinterObject = printer;
    Picture.reset();
}

void TRpPreviewImage::SetZoom(int zoom) {
    ZoomPercent = zoom;
    update();
}

void TRpPreviewImage::LoadPage(int n) {
    Picture.reset();
    Page = n;
    update();
    if (PrinterObject)
        Picture = PrinterObject->PageImage(n);
}

void TRpPreviewImage::ClearPage() {
    Picture.reset();
    update();
}

QSizeF TRpPreviewImage::PaperPixels() const {
    const double pixelsPerTenth = TRpPrinter::ScreenDpi() / 254.0;
    if (!PrinterObject)
        return QSizeF(DefaultPaperWidth * pixelsPerTenth, DefaultPaperLength * pixelsPerTenth);
    return QSizeF(PrinterObject->PaperWidth() * pixelsPerTenth,
                  PrinterObject->PaperLength() * pixelsPerTenth);
}

QSize TRpPreviewImage::SheetSize() const {
    const QSizeF paper = PaperPixels();
    return QSize(qRound(paper.width() * ZoomPercent / 100.0),
                 qRound(paper.height() * ZoomPercent / 100.0));
}

// The page is played through a scaling transform with antialiasing, so lines
// and text are drawn at the zoom's resolution rather than stretched pixels.
void TRpPreviewImage::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRect(event->rect());
    const QSize sheet = SheetSize();
    const QRect page(0, 0, sheet.width(), sheet.height());
    painter.fillRect(page, Qt::white);
    if (Picture) {
        // A page is recorded on a painter that starts with a black pen and
        // no brush, and draws in those without saying so; a widget's painter
        // starts with the colours of the widget's palette instead.
        painter.setPen(QPen(Qt::black));
        painter.setBrush(Qt::NoBrush);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        TRpPrinter::DrawPage(painter, *Picture, QRectF(page));
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(page);
    painter.fillRect(QRect(page.right() + 2, 2, 2, page.height()), Qt::black);
    painter.fillRect(QRect(2, page.bottom() + 2, page.width(), 2), Qt::black);
}
