#pragma once
// Helpers of the report engine tests: an observer that records what a run
// draws, and small reports over data sets built in code.

#include "DataSet.h"
#include "RpReport.h"

#include <QImage>
#include <QPainter>
#include <QPicture>

#include <memory>
#include <ostream>
#include <vector>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '[' << list.join(QStringLiteral(" | ")).toStdString() << ']';
}

namespace ReportTest {

struct DrawnBand {
    QString Name;
    int Page;
    QRectF Rect;
};

struct DrawnText {
    QString Name;
    int Page;
    QString Text;
    QRectF Rect;
};

struct DrawnFrame {
    QString Name;
    int Page;
    QRectF Rect;
};

// Records every band, text and frame a run draws.
class Recorder : public TRpRunObserver {
public:
    std::vector<DrawnBand> Bands;
    std::vector<DrawnText> Texts;
    std::vector<DrawnFrame> Frames;
    int Pages = 0;

    void PageStarted(int page) override { Pages = page; }
    void BandPrinted(TRpCustomBand* band, int page, const QRectF& rect) override {
        Bands.push_back({band->objectName(), page, rect});
    }
    void TextDrawn(TRpPrintable* printable, int page, const QString& text,
                   const QRectF& rect) override {
        Texts.push_back({printable->objectName(), page, text, rect});
    }
    void FrameDrawn(QObject* owner, int page, const QRectF& rect) override {
        Frames.push_back({owner->objectName(), page, rect});
    }

    // Names of the bands printed on a page, in order.
    QStringList BandsOn(int page) const {
        QStringList names;
        for (const DrawnBand& b : Bands)
            if (b.Page == page)
                names << b.Name;
        return names;
    }
    // Texts drawn by one printable, in order.
    QStringList TextsOf(const QString& name) const {
        QStringList texts;
        for (const DrawnText& t : Texts)
            if (t.Name == name)
                texts << t.Text;
        return texts;
    }
    std::vector<DrawnText> DrawnBy(const QString& name) const {
        std::vector<DrawnText> found;
        for (const DrawnText& t : Texts)
            if (t.Name == name)
                found.push_back(t);
        return found;
    }
    int CountBands(const QString& name) const {
        int n = 0;
        for (const DrawnBand& b : Bands)
            n += b.Name == name;
        return n;
    }
};

// Creates a band with a name.
inline TRpBand* AddBand(TRpCustomReport* report, TRpBandType kind, const QString& name,
                        double heightTenths) {
    auto* band = new TRpBand(report, kind);
    band->setObjectName(name);
    band->SetHeightTenths(heightTenths);
    return band;
}

template <class T>
T* Add(TRpCustomBand* band, const QString& name, double left, double top, double width,
       double height) {
    auto* printable = new T(band);
    printable->setObjectName(name);
    printable->SetBoundsTenths(left, top, width, height);
    return printable;
}

// Renders a recorded page to an image at the recording resolution.
inline QImage RenderPage(TRpPrinter& printer, int page) {
    std::unique_ptr<QPicture> picture = printer.PageImage(page);
    const int width = qRound(printer.PaperWidth() * printer.XFactor());
    const int height = qRound(printer.PaperLength() * printer.YFactor());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (picture) {
        QPainter painter(&image);
        TRpPrinter::DrawPage(painter, *picture, QRectF(0, 0, width, height));
    }
    return image;
}

} // namespace ReportTest
