#include "RpFrame.h"

#include "RpUnits.h"

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

int TRpFrame::Bars(const QRectF& rect, double factor, QRectF bars[4]) const {
    if (!Any())
        return 0;
    const int t = DevicePixels(factor);
    if (t <= 0)
        return 0;
    // Whole device pixels, so bars of neighbouring bands meet without seams.
    const double left = std::round(rect.left());
    const double top = std::round(rect.top());
    const double right = std::round(rect.right());
    const double bottom = std::round(rect.bottom());
    const double w = std::max(0.0, right - left);
    const double h = std::max(0.0, bottom - top);
    int n = 0;
    if (DrawTop)
        bars[n++] = QRectF(left, top, w, t);
    if (DrawBottom)
        bars[n++] = QRectF(left, bottom - t, w, t);
    if (DrawLeft)
        bars[n++] = QRectF(left, top, t, h);
    if (DrawRight)
        bars[n++] = QRectF(right - t, top, t, h);
    return n;
}
