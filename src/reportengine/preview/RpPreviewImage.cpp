#include "RpPreviewImage.h"

#include "RpPrinter.h"

#include <QMouseEvent>
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
    if (n != Page)
        Marks.clear();
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
    // Marks multiply over the text, so it stays readable under them.
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    for (int i = 0; i < Marks.size(); ++i)
        painter.fillRect(PointsToPixels(Marks[i]),
                         i == CurrentMark ? QColor(255, 150, 50) : QColor(255, 240, 80));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (Dragging && !DragArea.isEmpty()) {
        painter.setPen(QPen(QColor(40, 90, 200), 0, Qt::DashLine));
        painter.setBrush(QColor(40, 90, 200, 40));
        painter.drawRect(DragArea);
    }
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(page);
    painter.fillRect(QRect(page.right() + 2, 2, 2, page.height()), Qt::black);
    painter.fillRect(QRect(2, page.bottom() + 2, page.width(), 2), Qt::black);
}

void TRpPreviewImage::SetHighlights(const QList<QRectF>& points, int current) {
    Marks = points;
    CurrentMark = current;
    update();
}

QRectF TRpPreviewImage::PointsToPixels(const QRectF& points) const {
    const QSizeF paper = PaperPixels();
    const double scale = TRpPrinter::ScreenDpi() / 72.0 * ZoomPercent / 100.0;
    if (paper.isEmpty())
        return QRectF();
    return QRectF(points.x() * scale, points.y() * scale, points.width() * scale,
                  points.height() * scale);
}

QRectF TRpPreviewImage::PixelsToPoints(const QRectF& pixels) const {
    const double scale = TRpPrinter::ScreenDpi() / 72.0 * ZoomPercent / 100.0;
    return QRectF(pixels.x() / scale, pixels.y() / scale, pixels.width() / scale,
                  pixels.height() / scale);
}

void TRpPreviewImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    Dragging = true;
    DragStart = event->position();
    DragArea = QRectF();
}

void TRpPreviewImage::mouseMoveEvent(QMouseEvent* event) {
    if (!Dragging)
        return QWidget::mouseMoveEvent(event);
    DragArea = QRectF(DragStart, event->position()).normalized();
    update();
}

void TRpPreviewImage::mouseReleaseEvent(QMouseEvent* event) {
    if (!Dragging || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    Dragging = false;
    DragArea = QRectF(DragStart, event->position()).normalized();
    update();
    // A click is no drag: at least a few pixels each way.
    if (DragArea.width() >= 3 && DragArea.height() >= 3 && OnAreaSelected)
        OnAreaSelected(PixelsToPoints(DragArea));
    DragArea = QRectF();
}
