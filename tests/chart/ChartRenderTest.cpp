// The chart as drawn: bar heights in an image, the labels in an SVG as an
// SVG reader sees them, and the files the three kinds of name give.

#include "ChartRenderer.h"
#include "Exception.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

TChartModel BarModel(const std::vector<double>& values) {
    TChartModel m;
    m.Kind = TChartKind::Bar;
    m.Title = QStringLiteral("Оборот по месеци");
    TChartSeries s;
    s.Name = QStringLiteral("Оборот");
    for (std::size_t i = 0; i < values.size(); ++i)
        m.Labels << QStringLiteral("Месец%1").arg(i + 1);
    s.Values = values;
    m.Series << s;
    return m;
}

// Heights of the runs of columns that hold the series' colour, left to
// right: the tallest column of each run.
std::vector<int> BarHeights(const QImage& image, const QColor& color) {
    std::vector<int> heights;
    int run = 0;
    for (int x = 0; x < image.width(); ++x) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(x, y) == color)
                ++count;
        if (count > 0)
            run = std::max(run, count);
        else if (run > 0) {
            heights.push_back(run);
            run = 0;
        }
    }
    if (run > 0)
        heights.push_back(run);
    return heights;
}

} // namespace

TEST(ChartRender, BarHeightsAreProportionalToTheValues) {
    const std::vector<double> values{100, 250, 400, 50, 325};
    QImage image(ChartPngSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        PaintChart(BarModel(values), painter, QRectF(QPointF(0, 0), QSizeF(ChartPngSize)));
    }
    // The inner pixels of a bar have the series' colour exactly.
    const std::vector<int> heights = BarHeights(image, ChartSeriesColor(0));
    ASSERT_EQ(heights.size(), values.size());
    // The axis runs from 0 to 400, so the tallest bar gives the scale.
    const double perUnit = heights[2] / 400.0;
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_NEAR(heights[i], values[i] * perUnit, 2.0) << "bar " << i;
}

TEST(ChartRender, RowsWithTheSameLabelEachGetTheirBar) {
    // Two sales of one invoice: the category axis would merge them and lose
    // a bar.
    TChartModel model = BarModel({10, 20, 30});
    model.Labels = {QStringLiteral("0001"), QStringLiteral("0001"), QStringLiteral("0002")};
    QImage image(ChartSheetSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        PaintChart(model, painter, QRectF(QPointF(0, 0), QSizeF(ChartSheetSize)));
    }
    EXPECT_EQ(BarHeights(image, ChartSeriesColor(0)).size(), 3u);
}

TEST(ChartRender, SvgTextHoldsTheLabelsAndTheTitle) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("chart.svg"));
    SaveChart(BarModel({3, 1, 2}), file);
    QFile svg(file);
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader reader(&svg);
    QString text;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement &&
            reader.name() == QLatin1String("text"))
            text += reader.readElementText(QXmlStreamReader::IncludeChildElements) + u'\n';
    }
    ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    for (const char* expected : {"Месец1", "Месец2", "Месец3", "Оборот по месеци"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
}

TEST(ChartRender, FilesByExtensionAndNothingLeftOnFailure) {
    QTemporaryDir dir;
    const TChartModel model = BarModel({1, 2});
    SaveChart(model, dir.filePath(QStringLiteral("a.PNG")));
    const QImage png(dir.filePath(QStringLiteral("a.PNG")));
    EXPECT_EQ(png.size(), ChartPngSize);
    EXPECT_NEAR(png.dotsPerMeterX() * 0.0254, ChartPngDpi, 0.5);

    SaveChart(model, dir.filePath(QStringLiteral("a.pdf")));
    QFile pdf(dir.filePath(QStringLiteral("a.pdf")));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.readAll().startsWith("%PDF"));

    // Another extension, and a folder that is not there: an error, no file.
    EXPECT_THROW(SaveChart(model, dir.filePath(QStringLiteral("a.bmp"))), Exception);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("a.bmp"))));
    EXPECT_THROW(SaveChart(model, dir.filePath(QStringLiteral("no/a.png"))), Exception);
}
