#pragma once
// One page of a report at a zoom: a white sheet with the recorded page drawn
// over it, a black frame and a two-pixel shadow along the right and bottom.
// Found text is marked over the page, and a drag with the mouse selects an
// area of it (OnAreaSelected, in points from the paper's corner).

#include "RpPrinter.h"

#include <QPointer>
#include <QWidget>

#include <QList>
#include <QRectF>

#include <functional>
#include <memory>

class QPicture;

class TRpPreviewImage : public QWidget {
    Q_OBJECT

public:
    // Paper of the sheet when there is no printer object: A4, upright.
    static constexpr int DefaultPaperWidth = 2100;
    static constexpr int DefaultPaperLength = 2970;

    explicit TRpPreviewImage(QWidget* parent = nullptr);
    ~TRpPreviewImage() override;

    TRpPrinter* Printer() const { return PrinterObject; }
    void SetPrinter(TRpPrinter* printer);
    int Zoom() const { return ZoomPercent; }
    void SetZoom(int zoom);
    int PageNumber() const { return Page; }
    bool HasPage() const { return bool(Picture); }
    // Fetches page n from the printer object (freeing the page shown);
    // raises Exception when the stored page cannot be read.
    void LoadPage(int n);
    void ClearPage();
    // The paper in screen pixels at 100 %.
    QSizeF PaperPixels() const;
    // The sheet in pixels at the current zoom (the widget adds 4 for the
    // frame and shadow).
    QSize SheetSize() const;

    // Marks these rectangles (points) of the page shown; current (an index
    // into them, or -1) stands out.
    void SetHighlights(const QList<QRectF>& points, int current);
    const QList<QRectF>& Highlights() const { return Marks; }
    // Sheet pixels of a rectangle in points, and back.
    QRectF PointsToPixels(const QRectF& points) const;
    QRectF PixelsToPoints(const QRectF& pixels) const;
    // Called when a drag with the left button ends, with the area in points.
    std::function<void(const QRectF&)> OnAreaSelected;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPointer<TRpPrinter> PrinterObject;
    int ZoomPercent = 100;
    int Page = 1;
    std::unique_ptr<QPicture> Picture;
    QList<QRectF> Marks;
    int CurrentMark = -1;
    QPointF DragStart;
    QRectF DragArea; // pixels; empty when no drag is going on
    bool Dragging = false;
};
