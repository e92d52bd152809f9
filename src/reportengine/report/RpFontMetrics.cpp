#include "RpFontMetrics_p.h"

#include "RpUnits.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr char16_t TableSize = 0x0500;

// A 1x1 image whose logical resolution is the screen's: the reference
// device every text is measured on.
const QImage& ReferenceDevice() {
    static const QImage image = [] {
        QImage made(1, 1, QImage::Format_RGB32);
        const int dotsPerMeter = int(std::lround(RpScreenDpi() / 0.0254));
        made.setDotsPerMeterX(dotsPerMeter);
        made.setDotsPerMeterY(dotsPerMeter);
        return made;
    }();
    return image;
}

} // namespace

QFont RpEngineFont(const QFont& font) {
    QFont engine(font);
    engine.setHintingPreference(QFont::PreferNoHinting);
    engine.setKerning(false);
    engine.setStyleStrategy(QFont::StyleStrategy(QFont::PreferNoShaping));
    return engine;
}

TRpFontMetrics::TRpFontMetrics(const QFont& font)
    : Font(RpEngineFont(font)), Metrics(Font, const_cast<QImage*>(&ReferenceDevice())),
      Scale(RpTenthsPerInch / (ReferenceDevice().dotsPerMeterX() * 0.0254)), Table(TableSize) {
    LineHeight = Metrics.height() * Scale;
    AscentTenths = Metrics.ascent() * Scale;
    Pixel = Scale;
}

const TRpFontMetrics& TRpFontMetrics::For(const QFont& font) {
    static QHash<QString, std::shared_ptr<TRpFontMetrics>> cache;
    const QString key = font.key();
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return **it;
    auto made = std::make_shared<TRpFontMetrics>(font);
    cache.insert(key, made);
    return *made;
}

const TRpFontMetrics::Glyph& TRpFontMetrics::Measure(char16_t c) const {
    Glyph* glyph = nullptr;
    if (c < TableSize) {
        glyph = &Table[c];
    } else {
        auto it = Others.find(c);
        if (it == Others.end())
            it = Others.insert(c, Glyph());
        glyph = &*it;
    }
    if (glyph->Advance < 0) {
        const QChar ch(c);
        glyph->Advance = Metrics.horizontalAdvance(ch) * Scale;
        glyph->LeftBearing = Metrics.leftBearing(ch) * Scale;
        glyph->RightBearing = Metrics.rightBearing(ch) * Scale;
    }
    return *glyph;
}

double TRpFontMetrics::LeftOverhang(QStringView text) const {
    if (text.isEmpty())
        return 0;
    return std::max(0.0, -Measure(text.front().unicode()).LeftBearing);
}

double TRpFontMetrics::RightOverhang(QStringView text) const {
    if (text.isEmpty())
        return 0;
    return std::max(0.0, -Measure(text.back().unicode()).RightBearing);
}

double TRpFontMetrics::Width(QStringView text) const {
    double width = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            width += Metrics.horizontalAdvance(text.mid(i, 2).toString()) * Scale;
            ++i;
            continue;
        }
        width += Advance(c.unicode());
    }
    return width;
}
