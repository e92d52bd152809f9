#pragma once
// Text measurement for the report engine. Every font is measured on one
// reference device at the screen's pixels per inch, so the layout of a
// report never depends on the printer it goes to. Fonts are used without
// hinting, kerning or shaping: advances then scale linearly with the device
// resolution, and the width of a text is the sum of its characters'
// advances, which are cached per font.

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QStringView>

#include <vector>

class TRpFontMetrics {
public:
    // The metrics of font (cached for the program's lifetime; the reference
    // stays valid).
    static const TRpFontMetrics& For(const QFont& font);

    // The font as the engine draws it (same family, size and weight).
    const QFont& EngineFont() const { return Font; }
    // Width of a text in tenths of a millimetre.
    double Width(QStringView text) const;
    // Height of a text line ("W") and the ascent, in tenths of a millimetre.
    double Height() const { return LineHeight; }
    double Ascent() const { return AscentTenths; }
    // One reference pixel in tenths of a millimetre.
    double PixelTenths() const { return Pixel; }
    // How far the ink of a text reaches left of its start and right of its
    // advance (tenths, 0 when it stays inside): the bearings of its first and
    // last characters.
    double LeftOverhang(QStringView text) const;
    double RightOverhang(QStringView text) const;

    explicit TRpFontMetrics(const QFont& font);

private:
    struct Glyph {
        double Advance = -1; // negative until measured
        double LeftBearing = 0;
        double RightBearing = 0;
    };
    const Glyph& Measure(char16_t c) const;
    double Advance(char16_t c) const { return Measure(c).Advance; }

    QFont Font;
    QFontMetricsF Metrics;
    double Scale;        // tenths per reference pixel
    double LineHeight;   // tenths
    double AscentTenths; // tenths
    double Pixel;
    // The characters below 0x0500 (Latin, Greek, Cyrillic), measured when
    // first used; the others in a hash.
    mutable std::vector<Glyph> Table;
    mutable QHash<char16_t, Glyph> Others;
};

// The engine's rendering form of a font: no hinting, kerning or shaping.
QFont RpEngineFont(const QFont& font);
