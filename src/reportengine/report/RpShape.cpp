#include "RpShape.h"

#include "RpReportRun_p.h"
#include "RpRunObserver.h"
#include "RpUnits.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

TRpShape::TRpShape(QObject* parent)
    : TRpPrintable(parent), PenValue(Qt::black, 1), BrushValue(Qt::white, Qt::SolidPattern) {
    Box.Width = PixelsToTenths(65);
    Box.Height = PixelsToTenths(65);
}

void TRpShape::Print(TRpPrintContext& context, double x0, double y0) {
    Finished = true;
    if (!context.Drawing())
        return;
    const QRectF tenths(x0 + Box.Left, y0 + Box.Top, Box.Width, Box.Height);
    const QRectF device = context.DeviceRect(tenths);
    // The pen width is in screen pixels; on the device it keeps its size on
    // paper. Lines are drawn inside the box, as wide as the pen.
    const double penPixels = std::max(1.0, std::round(std::max(1.0, PenValue.widthF()) *
                                                      (RpTenthsPerInch / Dpi()) * context.XFactor));
    QPen pen(PenValue);
    pen.setWidthF(penPixels);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::FlatCap);
    const double half = penPixels / 2;
    const double left = std::round(device.left());
    const double top = std::round(device.top());
    const double right = std::round(device.right());
    const double bottom = std::round(device.bottom());
    const QRectF inner(left + half, top + half, std::max(0.0, right - left - penPixels),
                       std::max(0.0, bottom - top - penPixels));
    if (Kind == rpsRectangle && (inner.width() <= 0 || inner.height() <= 0)) {
        // A box as narrow (or low) as the pen is a line: one solid bar.
        context.FillDevice(
            QRectF(left, top, std::max(right - left, penPixels), std::max(bottom - top, penPixels)),
            PenValue.color());
        if (context.Observer)
            context.Observer->ShapeDrawn(this, context.Page, tenths);
        return;
    }
    QPainter& painter = *context.Canvas;
    painter.save();
    painter.setPen(pen);
    painter.setBrush(BrushValue);
    switch (Kind) {
    case rpsRectangle:
        painter.drawRect(inner);
        break;
    case rpsCircle:
        painter.drawEllipse(inner);
        break;
    case rpsVertLine: {
        const double x = std::round((left + right) / 2) + (int(penPixels) % 2 ? 0.5 : 0);
        painter.drawLine(QLineF(x, top, x, bottom));
        break;
    }
    case rpsHorLine: {
        const double y = std::round((top + bottom) / 2) + (int(penPixels) % 2 ? 0.5 : 0);
        painter.drawLine(QLineF(left, y, right, y));
        break;
    }
    case rpsTopAndBottom:
        painter.drawLine(QLineF(left, top + half, right, top + half));
        painter.drawLine(QLineF(left, bottom - half, right, bottom - half));
        break;
    case rpsRightAndLeft:
        painter.drawLine(QLineF(left + half, top, left + half, bottom));
        painter.drawLine(QLineF(right - half, top, right - half, bottom));
        break;
    }
    painter.restore();
    context.MarkDrawn(QRectF(left, top, right - left, bottom - top));
    if (context.Observer)
        context.Observer->ShapeDrawn(this, context.Page, tenths);
}
