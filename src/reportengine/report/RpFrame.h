#pragma once
// The frame lines of a band, a printable or the report's printable area:
// each drawn side is a solid bar inside the box.

#include <QColor>
#include <QRectF>

class TRpFrame {
public:
    bool DrawTop = false;
    bool DrawBottom = false;
    bool DrawLeft = false;
    bool DrawRight = false;
    QColor Color = Qt::black;
    // Line width in points; -1 draws a line of one device pixel.
    int Width = 1;
    // Kept with the frame; the bars are always drawn solid.
    Qt::PenStyle Style = Qt::SolidLine;

    bool Any() const { return DrawTop || DrawBottom || DrawLeft || DrawRight; }
    void SetAll(bool on) { DrawTop = DrawBottom = DrawLeft = DrawRight = on; }
    void SetSides(bool top, bool bottom, bool left, bool right) {
        DrawTop = top;
        DrawBottom = bottom;
        DrawLeft = left;
        DrawRight = right;
    }

    // Bar thickness in tenths of a millimetre; a one-pixel line counts as one
    // pixel at dpi.
    double WidthTenths(double dpi) const;
    // Bar thickness in device pixels for a device of factor pixels per tenth:
    // at least one pixel for a positive width, 0 for width 0.
    int DevicePixels(double factor) const;

    // The bars of the drawn sides inside rect (device pixels), in whole
    // pixels; returns how many were stored in bars.
    int Bars(const QRectF& rect, double factor, QRectF bars[4]) const;
};
