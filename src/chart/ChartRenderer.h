#pragma once
// Draws a chart model with Qt Charts: on any painter (a window, a printer,
// a report page, an image) and into files of the kinds the chart window and
// the batch run write. The chart is laid out on a landscape A4 sheet of
// ChartSheetSize logical pixels and scaled to the target, with fonts sized
// in pixels, so a page, a picture and a print look alike.
//
// Qt Charts draws through the graphics view: an application object with
// widgets (QApplication) must exist.

#include "ChartModel.h"

#include <QColor>
#include <QRectF>
#include <QSize>
#include <QString>

class QChart;
class QPainter;

// The sheet the chart is laid out on (A4 landscape at 96 pixels per inch).
inline constexpr QSize ChartSheetSize(1123, 794);
// A PNG's size and resolution: A4 landscape at 150 dpi.
inline constexpr int ChartPngDpi = 150;
inline constexpr QSize ChartPngSize(1754, 1240);

// The colour of series (or slice) i.
QColor ChartSeriesColor(int i);

// A new chart of the model, for a chart view to show (the caller owns it).
// Notes are not part of it (ChartNotesText).
QChart* MakeChart(const TChartModel& model);
// The model's notes as lines of one text ("" when there are none).
QString ChartNotesText(const TChartModel& model);

// Draws the chart and its notes into target (device coordinates of the
// painter), keeping the sheet's proportions, centred.
void PaintChart(const TChartModel& model, QPainter& painter, const QRectF& target);

// The file kinds the chart is written to, by the name's extension
// (without regard to case).
enum class TChartFileKind { Unknown, Png, Svg, Pdf };
TChartFileKind ChartFileKindOf(const QString& fileName);
// The file dialogs' filter of the three kinds.
QString ChartFileFilter();

// Writes the chart to fileName as its extension says: PNG (ChartPngSize at
// ChartPngDpi), SVG or PDF (a landscape A4 page). The file is replaced only
// when it was written whole. Raises Exception for another extension and
// when the file cannot be written.
void SaveChart(const TChartModel& model, const QString& fileName);
