#pragma once
// Report geometry is kept in tenths of a millimetre. Pixels convert at the
// screen's pixels per inch R (taken when an object is created) and the report
// zoom Z in percent: tenths = pixels * (254 / R) * 100 / Z.

#include <QtGlobal>

inline constexpr double RpTenthsPerInch = 254.0;

// Screen pixels per inch (96 without a screen).
double RpScreenDpi();

inline double RpPixelsToTenths(double pixels, double dpi, int zoom = 100) {
    return pixels * (RpTenthsPerInch / dpi) * 100.0 / zoom;
}

inline double RpTenthsToPixels(double tenths, double dpi, int zoom = 100) {
    return tenths / (RpTenthsPerInch / dpi) * zoom / 100.0;
}

// Frame widths are given in points.
inline double RpPointsToTenths(double points) {
    return points / 72.0 * RpTenthsPerInch;
}

// The units a report shows its geometry in; the run always works in tenths.
enum class TRpUnits { Native = 0, Millimetres = 1, Inches = 2 };

double RpTenthsToUnits(double tenths, TRpUnits units);
double RpUnitsToTenths(double value, TRpUnits units);
