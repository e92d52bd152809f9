#include "RpFrame.h"

#include "RpUnits.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

double TRpFrame::WidthTenths(double dpi) const {
    if (Width < 0)
        return RpTenthsPerInch / dpi;
    return RpPointsToTenths(Width);
}

int TRpFrame::DevicePixels(double factor) const {
    if (Width < 0)
        return 1;
    if (Width == 0)
        return 0;
    return std::max(1, int(std::lround(RpPointsToTenths(Width) * factor)));
}

void TRpFrame::Draw(QPainter& painter, const QRectF& rect, double factor) const {
    if (!Any())
        return;
    const int t = DevicePixels(factor);
    if (t <= 0)
        return;
    // Whole device pixels, so bars of neighbouring bands meet without seams.
    const double left = std::round(rect.left());
    const double top = std::round(rect.top());
    const double right = std::round(rect.right());
    const double bottom = std::round(rect.bottom());
    const double w = std::max(0.0, right - left);
    const double h = std::max(0.0, bottom - top);
    const QColor color = Color.isValid() ? Color : QColor(Qt::black);
    if (DrawTop)
        painter.fillRect(QRectF(left, top, w, t), color);
    if (DrawBottom)
        painter.fillRect(QRectF(left, bottom - t, w, t), color);
    if (DrawLeft)
        painter.fillRect(QRectF(left, top, t, h), color);
    if (DrawRight)
        painter.fillRect(QRectF(right - t, top, t, h), color);
}
