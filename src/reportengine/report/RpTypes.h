#pragma once
// Kinds and small value types shared by the report, its bands and printables.

#include "DataSet.h" // TAlignment: 0 left, 1 right, 2 centred

#include <functional>

// Band kinds, in the engine's order.
enum TRpBandType {
    rbTitle,
    rbPageHeader,
    rbDetail,
    rbPageFooter,
    rbSummary,
    rbGroupHeader,
    rbGroupFooter,
    rbSubDetail,
    rbColumnHeader,
    rbOverlay,
    rbChild
};

// What a system data printable shows.
enum TRpSysDataType {
    rpsTime,
    rpsDate,
    rpsDateTime,
    rpsPageNumber,
    rpsReportTitle,
    rpsDetailCount,
    rpsDetailNo
};

// The figure a shape draws.
enum TRpShapeType {
    rpsRectangle,
    rpsCircle,
    rpsVertLine,
    rpsHorLine,
    rpsTopAndBottom,
    rpsRightAndLeft
};

// Position and size in tenths of a millimetre.
struct TRpSize {
    double Left = 0;
    double Top = 0;
    double Width = 0;
    double Height = 0;
};

class TRpCustomReport;
class TRpCustomBand;
class TRpCustomLabel;

// Report events. Out-parameters are references the handler may change.
using TRpReportBeforePrintEvent = std::function<void(TRpCustomReport* Sender, bool& PrintReport)>;
using TRpReportEvent = std::function<void(TRpCustomReport* Sender)>;
using TRpNeedDataEvent = std::function<void(QObject* Sender, bool& MoreData)>;
// Band events.
using TRpBandBeforePrintEvent = std::function<void(TRpCustomBand* Sender, bool& PrintBand)>;
using TRpBandAfterPrintEvent = std::function<void(TRpCustomBand* Sender, bool BandPrinted)>;
// Called just before a label-like printable prints a non-empty text; a
// changed Value is printed instead.
using TRpLabelOnPrintEvent = std::function<void(TRpCustomLabel* Sender, QString& Value)>;
