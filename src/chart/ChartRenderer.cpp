#include "ChartRenderer.h"

#include "Exception.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QImage>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPieSeries>
#include <QPieSlice>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

namespace {

// Pixel sizes on the sheet.
constexpr int TitlePixels = 20;
constexpr int TextPixels = 13;
constexpr int NotePixels = 12;
// Labels of a line's axis at most; between them every k-th period.
constexpr int MaxAxisLabels = 24;

const QColor Palette[] = {
    QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c),
    QColor(0xd6, 0x27, 0x28), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
    QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
    QColor(0x17, 0xbe, 0xcf), QColor(0x39, 0x3b, 0x79), QColor(0xad, 0x49, 0x4a),
};

QFont PixelFont(int pixels, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

double Value(double v) {
    return std::isnan(v) ? 0.0 : v;
}

// A step of 1, 2 or 5 times a power of ten that splits span into about
// five parts.
double NiceStep(double span) {
    if (!(span > 0))
        return 1;
    const double rough = span / 5;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double f : {1.0, 2.0, 5.0, 10.0})
        if (rough <= f * power)
            return f * power;
    return 10 * power;
}

// The value axis: ticks at whole steps from below the smallest value (or 0)
// to above the largest, their labels written with the first series' mask.
QCategoryAxis* ValueAxis(const TChartModel& model) {
    double low = 0;
    double high = 0;
    for (const TChartSeries& s : model.Series)
        for (double v : s.Values)
            if (!std::isnan(v)) {
                low = std::min(low, v);
                high = std::max(high, v);
            }
    if (low == high)
        high = low + 1;
    const double step = NiceStep(high - low);
    low = std::floor(low / step) * step;
    high = std::ceil(high / step) * step;
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setStartValue(low);
    axis->setRange(low, high);
    axis->setLabelsFont(PixelFont(TextPixels));
    const int ticks = int(std::lround((high - low) / step));
    for (int i = 0; i <= ticks; ++i) {
        const double v = low + i * step;
        // Category names must differ; a mask that rounds two ticks to one
        // text gets a space more.
        QString text = model.ValueText(0, std::abs(v) < step / 1e6 ? 0.0 : v);
        while (axis->categoriesLabels().contains(text))
            text += u' ';
        axis->append(text, v);
    }
    return axis;
}

QString TitleHtml(const TChartModel& model) {
    QString html = QStringLiteral("<b>") + model.Title.toHtmlEscaped() + QStringLiteral("</b>");
    for (const QString& line : model.Conditions)
        html += QStringLiteral("<br>") + line.toHtmlEscaped();
    return html;
}

void AddBars(QChart* chart, const TChartModel& model) {
    auto* series = new QBarSeries;
    for (qsizetype s = 0; s < model.Series.size(); ++s) {
        auto* set = new QBarSet(model.Series[s].Name);
        set->setColor(ChartSeriesColor(int(s)));
        set->setBorderColor(ChartSeriesColor(int(s)));
        for (double v : model.Series[s].Values)
            set->append(Value(v));
        series->append(set);
    }
    chart->addSeries(series);
    // The axis drops a category it already has: rows with the same label
    // (two sales of one invoice) get invisible marks to stay apart.
    QStringList categories;
    for (const QString& label : model.Labels) {
        QString category = label;
        while (categories.contains(category))
            category += QChar(0x200B);
        categories << category;
    }
    auto* labels = new QBarCategoryAxis;
    labels->append(categories);
    labels->setLabelsFont(PixelFont(TextPixels));
    if (model.Labels.size() > 12) {
        labels->setLabelsAngle(-90);
        labels->setTruncateLabels(false);
    }
    chart->addAxis(labels, Qt::AlignBottom);
    series->attachAxis(labels);
    QCategoryAxis* values = ValueAxis(model);
    chart->addAxis(values, Qt::AlignLeft);
    series->attachAxis(values);
}

// A line a series: one line piece for each run of periods with values, so a
// period without a value leaves a gap.
void AddLines(QChart* chart, const TChartModel& model) {
    const int count = int(model.Labels.size());
    auto* labels = new QCategoryAxis;
    labels->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    labels->setLabelsFont(PixelFont(TextPixels));
    labels->setStartValue(-0.5);
    labels->setRange(-0.5, std::max(0.5, count - 0.5));
    const int stride = std::max(1, (count + MaxAxisLabels - 1) / MaxAxisLabels);
    for (int i = 0; i < count; i += stride)
        labels->append(model.Labels[i], i);
    if (count > 12) {
        labels->setLabelsAngle(-90);
        labels->setTruncateLabels(false);
    }
    chart->addAxis(labels, Qt::AlignBottom);
    QCategoryAxis* values = ValueAxis(model);
    chart->addAxis(values, Qt::AlignLeft);

    for (qsizetype s = 0; s < model.Series.size(); ++s) {
        const std::vector<double>& v = model.Series[s].Values;
        bool first = true;
        QLineSeries* piece = nullptr;
        for (int i = 0; i <= count; ++i) {
            const bool has = i < count && i < int(v.size()) && !std::isnan(v[std::size_t(i)]);
            if (has && !piece) {
                piece = new QLineSeries;
                piece->setName(model.Series[s].Name);
                QPen pen(ChartSeriesColor(int(s)));
                pen.setWidthF(2.5);
                piece->setPen(pen);
                piece->setColor(ChartSeriesColor(int(s)));
                piece->setPointsVisible(true);
            }
            if (has) {
                piece->append(i, v[std::size_t(i)]);
                continue;
            }
            if (!piece)
                continue;
            chart->addSeries(piece);
            piece->attachAxis(labels);
            piece->attachAxis(values);
            // The legend names each series once.
            if (!first)
                for (QLegendMarker* marker : chart->legend()->markers(piece))
                    marker->setVisible(false);
            first = false;
            piece = nullptr;
        }
    }
}

void AddPie(QChart* chart, const TChartModel& model) {
    auto* series = new QPieSeries;
    if (!model.Series.isEmpty()) {
        const std::vector<double>& v = model.Series.first().Values;
        for (qsizetype i = 0; i < model.Labels.size() && std::size_t(i) < v.size(); ++i) {
            auto* slice = new QPieSlice(model.Labels[i] + QStringLiteral(": ") +
                                            model.ValueText(0, v[std::size_t(i)]),
                                        v[std::size_t(i)]);
            slice->setColor(ChartSeriesColor(int(i)));
            slice->setLabelVisible(true);
            slice->setLabelFont(PixelFont(TextPixels));
            series->append(slice);
        }
    }
    series->setPieSize(0.6);
    chart->addSeries(series);
}

} // namespace

QColor ChartSeriesColor(int i) {
    const int n = int(std::size(Palette));
    return Palette[((i % n) + n) % n];
}

QChart* MakeChart(const TChartModel& model) {
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->setTitleFont(PixelFont(TitlePixels));
    chart->setTitle(TitleHtml(model));
    chart->legend()->setFont(PixelFont(TextPixels));
    chart->legend()->setAlignment(Qt::AlignBottom);
    if (!model.Labels.isEmpty() && !model.Series.isEmpty()) {
        switch (model.Kind) {
        case TChartKind::Line:
            AddLines(chart, model);
            break;
        case TChartKind::Pie:
            AddPie(chart, model);
            break;
        default:
            AddBars(chart, model);
            break;
        }
    }
    // One series needs no legend: the title names it. A pie's slices carry
    // their own labels.
    chart->legend()->setVisible(model.Kind != TChartKind::Pie && model.Series.size() > 1);
    return chart;
}

QString ChartNotesText(const TChartModel& model) {
    return model.Notes.join(u'\n');
}

void PaintChart(const TChartModel& model, QPainter& painter, const QRectF& target) {
    const QSizeF sheet(ChartSheetSize);
    const double scale = std::min(target.width() / sheet.width(), target.height() / sheet.height());
    if (!(scale > 0))
        return;
    painter.save();
    painter.translate(target.center().x() - sheet.width() * scale / 2,
                      target.center().y() - sheet.height() * scale / 2);
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(QPointF(0, 0), sheet), Qt::white);

    const QString notes = ChartNotesText(model);
    QFont noteFont = PixelFont(NotePixels);
    QRectF notesRect;
    if (!notes.isEmpty()) {
        const QFontMetricsF metrics(noteFont);
        const double height = metrics.lineSpacing() * double(model.Notes.size()) + 12;
        notesRect = QRectF(20, sheet.height() - height, sheet.width() - 40, height - 6);
    }
    const QRectF chartRect(0, 0, sheet.width(), sheet.height() - notesRect.height());
    {
        QGraphicsScene scene;
        QChart* chart = MakeChart(model);
        scene.addItem(chart);
        chart->setGeometry(chartRect);
        scene.setSceneRect(chartRect);
        scene.render(&painter, chartRect, chartRect);
    }
    if (!notes.isEmpty()) {
        painter.setFont(noteFont);
        painter.setPen(Qt::black);
        painter.drawText(notesRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, notes);
    }
    painter.restore();
}

TChartFileKind ChartFileKindOf(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return TChartFileKind::Png;
    if (suffix == QLatin1String("svg"))
        return TChartFileKind::Svg;
    if (suffix == QLatin1String("pdf"))
        return TChartFileKind::Pdf;
    return TChartFileKind::Unknown;
}

QString ChartFileFilter() {
    return QCoreApplication::translate(
        "ChartRenderer", "Картина PNG (*.png);;Векторна картина SVG (*.svg);;Документ PDF (*.pdf)");
}

void SaveChart(const TChartModel& model, const QString& fileName) {
    const TChartFileKind kind = ChartFileKindOf(fileName);
    if (kind == TChartFileKind::Unknown)
        throw Exception(QCoreApplication::translate(
                            "ChartRenderer", "Графиката се записва като .png, .svg или .pdf: ") +
                        QDir::toNativeSeparators(fileName));
    // The bytes are made in memory and the file replaced in one step, so a
    // failure leaves no half-written chart behind.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool drawn = true;
    switch (kind) {
    case TChartFileKind::Png: {
        QImage image(ChartPngSize, QImage::Format_RGB32);
        image.fill(Qt::white);
        const int dotsPerMeter = int(std::lround(ChartPngDpi / 0.0254));
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        {
            QPainter painter(&image);
            PaintChart(model, painter, QRectF(QPointF(0, 0), QSizeF(ChartPngSize)));
        }
        drawn = image.save(&buffer, "PNG");
        break;
    }
    case TChartFileKind::Svg: {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(ChartSheetSize);
        svg.setViewBox(QRect(QPoint(0, 0), ChartSheetSize));
        svg.setResolution(96);
        svg.setTitle(model.Title);
        QPainter painter;
        drawn = painter.begin(&svg);
        if (drawn) {
            PaintChart(model, painter, QRectF(QPointF(0, 0), QSizeF(ChartSheetSize)));
            drawn = painter.end();
        }
        break;
    }
    case TChartFileKind::Pdf: {
        QPdfWriter pdf(&buffer);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                      QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        pdf.setResolution(ChartPngDpi);
        pdf.setTitle(model.Title);
        QPainter painter;
        drawn = painter.begin(&pdf);
        if (drawn) {
            PaintChart(
                model, painter,
                QRectF(pdf.pageLayout()
                           .paintRectPixels(pdf.resolution())
                           .translated(
                               -pdf.pageLayout().paintRectPixels(pdf.resolution()).topLeft())));
            drawn = painter.end();
        }
        break;
    }
    case TChartFileKind::Unknown:
        break;
    }
    buffer.close();
    QSaveFile file(fileName);
    if (!drawn || bytes.isEmpty() || !file.open(QIODevice::WriteOnly) ||
        file.write(bytes) != bytes.size() || !file.commit())
        throw Exception(QCoreApplication::translate("ChartRenderer",
                                                    "Графиката не може да се запише във файла ") +
                        QDir::toNativeSeparators(fileName));
}
