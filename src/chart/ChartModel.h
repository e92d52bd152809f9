#pragma once
// The chart of an inquiry's result, as data: the labels along the axis (the
// grid's display texts of the label columns), one series per value column
// (named by its grid caption, with the column's mask), the title and the
// conditions printed under it, and the notes the chart shows about what it
// left out. No widgets here: the chart window, the report's chart page, a
// batch run and a test all build the same model; TChartRenderer draws it.
//
// Building reads the result once (ReadChartData) into a compact form that
// keeps only what any kind of chart can show, so the window can switch
// between kinds after the result has been run again or closed.

#include "DataSource.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class TDataSet;

enum class TChartKind { None, Bar, Line, Pie };

// "bar", "line", "pie", "none".
QString ChartKindName(TChartKind kind);
// The kind of a name of ChartKindName (without regard to case or spaces);
// nothing for any other text.
std::optional<TChartKind> ChartKindFromName(const QString& name);
// The caption of a kind in the chart window's switch.
QString ChartKindCaption(TChartKind kind);

// What the command says when the result has no column to draw.
QString NoChartValuesMessage();
// The label that joins the labels a chart has no room for.
QString ChartOthersLabel();

// Labels a bar or line chart shows at most; beyond it the largest by the
// first value stay and the rest are joined into "Други".
inline constexpr int ChartMaxLabels = 50;
// Slices of a pie chart at most, "Други" included.
inline constexpr int ChartMaxSlices = 12;
// Periods a line chart shows at most (the latest ones).
inline constexpr int ChartMaxPeriods = 1000;

// What a chart is built from: the result, the grid's columns as shown (in
// display order; hidden ones are left out), the title and the conditions.
struct TChartSource {
    TDataSet* Data = nullptr;
    QList<TGridColumn> Columns;
    QString Title;
    QStringList Conditions;
};

struct TChartSeries {
    QString Name; // the grid caption
    QString Mask; // the column's display format (may be empty)
    // One value a label; NaN where there is none (a NULL, or a period
    // without a row).
    std::vector<double> Values;
};

// The result read for charting (see the file comment).
struct TChartData {
    QString Title;
    QStringList Conditions;
    QString LabelCaption;
    // The labels are dates or months: items are periods in date order, one
    // per period from the first to the last, gaps included.
    bool DateLabels = false;
    QStringList Labels;
    QList<TChartSeries> Series;
    // For results of more than ChartMaxLabels rows without date labels:
    // the rows not kept (their count and their sums per series).
    int RestCount = 0;
    std::vector<double> RestSums;
    QStringList Notes;
};

struct TChartModel {
    TChartKind Kind = TChartKind::Bar;
    QString Title;
    QStringList Conditions;
    QString LabelCaption;
    QStringList Labels;
    QList<TChartSeries> Series;
    QStringList Notes;
    // The text of a value of series s, drawn with its column's mask.
    QString ValueText(int s, double value) const;
};

// Reads the result. Raises Exception with NoChartValuesMessage() when there is
// no value column to draw.
TChartData ReadChartData(const TChartSource& source);
// The kind the result suggests: a line for date or month labels, a pie for
// one value column and at most ChartMaxSlices labels, else a bar chart.
TChartKind SuggestedChartKind(const TChartData& data);
// The model of one kind (None takes the suggested kind).
TChartModel ShapeChart(const TChartData& data, TChartKind kind);
// Both steps: the given kind, or the suggested one.
TChartModel BuildChartModel(const TChartSource& source,
                            std::optional<TChartKind> kind = std::nullopt);

// The default kind the options row of a subject names ("Chart=bar|line|pie|
// none"); nothing when it names none or an unknown kind.
std::optional<TChartKind> ChartOption(const QStringList& options);
