#pragma once
// The chart window: the chart of an inquiry's result as the inquiry window
// had it when "Графика" was chosen. The kind can be switched; the chart is
// saved as PNG, SVG or PDF and printed through the platform's print dialog.
// The window keeps its own copy of what it draws, so running the inquiry
// again or closing it leaves the chart as it was.

#include "ChartModel.h"

#include <QPixmap>
#include <QWidget>
#include <functional>

class QComboBox;
class QPushButton;

// Shows a chart model as the files and the printer get it (PaintChart),
// scaled to the widget.
class TChartCanvas : public QWidget {
    Q_OBJECT
public:
    explicit TChartCanvas(QWidget* parent = nullptr);
    void SetModel(const TChartModel& model);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TChartModel Model;
    QPixmap Picture; // the chart at the widget's size, drawn once
};

// Asks for the file the chart is saved to: a dialog unless replaced (a test
// answers instead). Returns the chosen name, or "" when cancelled.
using ChartFileDialogHandler = std::function<QString(QWidget* parent, const QString& filter)>;
ChartFileDialogHandler SetChartFileDialogHandler(ChartFileDialogHandler handler);

class TChartForm : public QWidget {
    Q_OBJECT
public:
    // Shows data with the given kind (None: the one the result suggests).
    TChartForm(TChartData data, TChartKind kind, QWidget* parent = nullptr);
    ~TChartForm() override;

    QComboBox* cbChartKind = nullptr; // the kind switch
    QPushButton* btSaveChart = nullptr;
    QPushButton* btPrintChart = nullptr;
    TChartCanvas* ChartView = nullptr;

    TChartKind Kind() const { return Model.Kind; }
    void SetKind(TChartKind kind);
    const TChartModel& ChartModel() const { return Model; }

    // Asks for a file and writes the chart into it; errors are told.
    void btSaveChartClick();
    // The print dialog, then the chart on one landscape page.
    void btPrintChartClick();

private:
    void ShowModel();
    TChartData Data;
    TChartModel Model;
};
