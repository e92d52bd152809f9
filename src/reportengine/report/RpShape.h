#pragma once
// A drawn figure: rectangle, ellipse or lines, with a pen and a brush.

#include "RpPrintable.h"

#include <QBrush>
#include <QPen>

class TRpShape : public TRpPrintable {
    Q_OBJECT
public:
    explicit TRpShape(QObject* parent = nullptr);

    TRpShapeType Shape() const { return Kind; }
    void SetShape(TRpShapeType kind) { Kind = kind; }
    // Pen width in screen pixels (scaled to the device); black, 1 by default.
    QPen Pen() const { return PenValue; }
    void SetPen(const QPen& pen) { PenValue = pen; }
    // Solid white by default.
    QBrush Brush() const { return BrushValue; }
    void SetBrush(const QBrush& brush) { BrushValue = brush; }

    void Print(TRpPrintContext& context, double x0, double y0) override;

private:
    TRpShapeType Kind = rpsRectangle;
    QPen PenValue;
    QBrush BrushValue;
};
