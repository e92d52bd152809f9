#include "RpUnits.h"

#include "RpPrinter.h"

double RpScreenDpi() {
    return TRpPrinter::ScreenDpi();
}

double RpTenthsToUnits(double tenths, TRpUnits units) {
    switch (units) {
    case TRpUnits::Millimetres:
        return tenths / 10.0;
    case TRpUnits::Inches:
        return tenths / RpTenthsPerInch;
    case TRpUnits::Native:
        break;
    }
    return tenths;
}

double RpUnitsToTenths(double value, TRpUnits units) {
    switch (units) {
    case TRpUnits::Millimetres:
        return value * 10.0;
    case TRpUnits::Inches:
        return value * RpTenthsPerInch;
    case TRpUnits::Native:
        break;
    }
    return value;
}
