#include "RpEmfPlayer.h"

#include "Exception.h"
#include "Win1251.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPicture>
#include <QRegion>
#include <QStringDecoder>
#include <QTransform>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

namespace {

// Record types of the records played here.
enum : quint32 {
    EMR_HEADER = 1,
    EMR_POLYBEZIER = 2,
    EMR_POLYGON = 3,
    EMR_POLYLINE = 4,
    EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6,
    EMR_POLYPOLYLINE = 7,
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_EOF = 14,
    EMR_SETPIXELV = 15,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETROP2 = 20,
    EMR_SETTEXTALIGN = 22,
    EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25,
    EMR_MOVETOEX = 27,
    EMR_EXCLUDECLIPRECT = 29,
    EMR_INTERSECTCLIPRECT = 30,
    EMR_SCALEVIEWPORTEXTEX = 31,
    EMR_SCALEWINDOWEXTEX = 32,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35,
    EMR_MODIFYWORLDTRANSFORM = 36,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43,
    EMR_ROUNDRECT = 44,
    EMR_ARC = 45,
    EMR_CHORD = 46,
    EMR_PIE = 47,
    EMR_LINETO = 54,
    EMR_BEGINPATH = 59,
    EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61,
    EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63,
    EMR_STROKEPATH = 64,
    EMR_SELECTCLIPPATH = 67,
    EMR_ABORTPATH = 68,
    EMR_FILLRGN = 71,
    EMR_FRAMERGN = 72,
    EMR_PAINTRGN = 74,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTA = 83,
    EMR_EXTTEXTOUTW = 84,
    EMR_POLYBEZIER16 = 85,
    EMR_POLYGON16 = 86,
    EMR_POLYLINE16 = 87,
    EMR_POLYBEZIERTO16 = 88,
    EMR_POLYLINETO16 = 89,
    EMR_POLYPOLYLINE16 = 90,
    EMR_POLYPOLYGON16 = 91,
    EMR_EXTCREATEPEN = 95,
    EMR_POLYTEXTOUTA = 96,
    EMR_POLYTEXTOUTW = 97,
    EMR_SMALLTEXTOUT = 108,
};

enum : int { MM_TEXT = 1, MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8 };
enum : quint32 {
    ETO_OPAQUE = 0x2,
    ETO_CLIPPED = 0x4,
    ETO_GLYPH_INDEX = 0x10,
    ETO_NO_RECT = 0x100,
    ETO_SMALL_CHARS = 0x200,
    ETO_PDY = 0x2000,
};
enum : quint32 { TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24 };
enum : int { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };
enum : int { PS_NULL = 5, PS_STYLE_MASK = 0xF, PS_GEOMETRIC = 0x10000 };
enum : int { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2 };

QString Damaged(const QString& what) {
    return QStringLiteral("Its metafile is damaged: %1.").arg(what);
}

// A COLORREF: 0x00BBGGRR.
QColor ColorRef(quint32 c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// Device coordinates are kept within this range, far beyond any page, so
// integer regions never overflow.
constexpr int DeviceLimit = 1 << 26;

int ClampDevice(double v) {
    return int(std::clamp(v, double(-DeviceLimit), double(DeviceLimit)));
}

QRect DeviceRect(const QRectF& r) {
    return QRect(
        QPoint(ClampDevice(std::floor(r.left())), ClampDevice(std::floor(r.top()))),
        QPoint(ClampDevice(std::ceil(r.right())) - 1, ClampDevice(std::ceil(r.bottom())) - 1));
}

// One record of the data, with reads checked against its size.
class TRecord {
public:
    TRecord(const uchar* data, qint64 size, quint32 type, qint64 index)
        : P(data), Size(size), Type(type), Index(index) {}

    quint32 Kind() const { return Type; }
    qint64 Bytes() const { return Size; }
    const uchar* Data() const { return P; }

    void Need(qint64 offset, qint64 length) const {
        if (offset < 0 || length < 0 || offset > Size || length > Size - offset)
            throw Exception(
                Damaged(QStringLiteral("record %1 (type %2) is shorter than its contents")
                            .arg(Index)
                            .arg(Type)));
    }
    quint32 U32(qint64 offset) const {
        Need(offset, 4);
        return qFromLittleEndian<quint32>(P + offset);
    }
    qint32 I32(qint64 offset) const { return qint32(U32(offset)); }
    qint16 I16(qint64 offset) const {
        Need(offset, 2);
        return qFromLittleEndian<qint16>(P + offset);
    }
    uchar U8(qint64 offset) const {
        Need(offset, 1);
        return P[offset];
    }
    float F32(qint64 offset) const {
        const quint32 bits = U32(offset);
        float f;
        std::memcpy(&f, &bits, 4);
        return std::isfinite(f) ? f : 0.0f;
    }
    QPointF PointL(qint64 offset) const { return QPointF(I32(offset), I32(offset + 4)); }
    QSizeF SizeL(qint64 offset) const { return QSizeF(I32(offset), I32(offset + 4)); }
    // A RectL as its corners (left, top, right, bottom).
    QRectF RectL(qint64 offset) const {
        const QPointF a = PointL(offset);
        const QPointF b = PointL(offset + 8);
        return QRectF(a, b);
    }
    // A count of items of itemSize bytes starting at offset: refused when
    // negative or running past the record.
    qint64 Count(qint64 countOffset, qint64 itemOffset, qint64 itemSize) const {
        const qint32 n = I32(countOffset);
        if (n < 0)
            throw Exception(Damaged(
                QStringLiteral("record %1 (type %2) has a negative count").arg(Index).arg(Type)));
        if (itemOffset > Size || qint64(n) * itemSize > Size - itemOffset)
            throw Exception(Damaged(QStringLiteral("the count of record %1 (type %2) runs past it")
                                        .arg(Index)
                                        .arg(Type)));
        return n;
    }
    QString What() const { return QStringLiteral("record %1 (type %2)").arg(Index).arg(Type); }

private:
    const uchar* P;
    qint64 Size;
    quint32 Type;
    qint64 Index;
};

struct TEmfPen {
    int Style = 0;
    double Width = 0; // logical units; 0 is one device pixel
    QColor Color = Qt::black;
    Qt::PenCapStyle Cap = Qt::RoundCap;
    Qt::PenJoinStyle Join = Qt::RoundJoin;
    bool IsNull() const { return (Style & PS_STYLE_MASK) == PS_NULL; }
};

struct TEmfBrush {
    int Style = BS_SOLID;
    QColor Color = Qt::white;
    int Hatch = 0;
    bool IsNull() const { return Style == BS_NULL; }
};

struct TEmfFont {
    qint32 Height = 0;
    qint32 Width = 0;
    qint32 Escapement = 0;
    qint32 Weight = 400;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    uchar CharSet = 1;
    QString Face = QStringLiteral("Arial");
    // Derived once: the face with its substitutes, and the ratio of the
    // em to the cell height (for positive LOGFONT heights).
    QFont Base;
    double EmPerCell = 0;
    // The last size drawn, with its measurements.
    double LastEm = -1;
    QFont Sized;
    std::unique_ptr<QFontMetricsF> Metrics;
    QHash<char16_t, qreal> Advances;
};

// The metric-compatible fonts installed with the program stand in for the
// faces of Windows reports (fontconfig names the same ones; naming them
// keeps the choice when its configuration differs).
QString Substitute(const QString& face) {
    static const QHash<QString, QString> table = {
        {QStringLiteral("arial"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("helvetica"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("arial narrow"), QStringLiteral("Liberation Sans Narrow")},
        {QStringLiteral("times new roman"), QStringLiteral("Liberation Serif")},
        {QStringLiteral("times"), QStringLiteral("Liberation Serif")},
        {QStringLiteral("courier new"), QStringLiteral("Liberation Mono")},
        {QStringLiteral("courier"), QStringLiteral("Liberation Mono")},
        {QStringLiteral("tahoma"), QStringLiteral("DejaVu Sans")},
        {QStringLiteral("verdana"), QStringLiteral("DejaVu Sans")},
        {QStringLiteral("ms sans serif"), QStringLiteral("DejaVu Sans")},
        {QStringLiteral("microsoft sans serif"), QStringLiteral("DejaVu Sans")},
        {QStringLiteral("system"), QStringLiteral("DejaVu Sans")},
    };
    return table.value(face.toLower(), QStringLiteral("Liberation Sans"));
}

void PrepareFont(TEmfFont& font) {
    QFont f;
    f.setFamilies({font.Face, Substitute(font.Face)});
    f.setWeight(QFont::Weight(std::clamp(font.Weight <= 0 ? 400 : font.Weight, 1, 1000)));
    f.setItalic(font.Italic);
    f.setUnderline(font.Underline);
    f.setStrikeOut(font.StrikeOut);
    // Drawn as the program draws its own pages: unhinted, so text scales
    // evenly with the page, and without shaping, which a report's left-to-
    // right text does not need.
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferNoShaping));
    font.Base = f;
    QFont reference(f);
    reference.setPixelSize(100);
    const QFontMetricsF m(reference);
    const double cell = m.ascent() + m.descent();
    font.EmPerCell = cell > 0 ? 100.0 / cell : 1.0;
}

// The Windows code page of a LOGFONT character set, for ExtTextOutA. The
// system's own set (DEFAULT_CHARSET) is this program's code page, 1251.
int CodePage(uchar charSet) {
    switch (charSet) {
    case 0:
        return 1252; // ANSI
    case 2:
        return 1252; // SYMBOL: codes taken as they are
    case 77:
        return 10000; // MAC
    case 128:
        return 932; // SHIFTJIS
    case 129:
        return 949; // HANGUL
    case 134:
        return 936; // GB2312
    case 136:
        return 950; // CHINESEBIG5
    case 161:
        return 1253; // GREEK
    case 162:
        return 1254; // TURKISH
    case 163:
        return 1258; // VIETNAMESE
    case 177:
        return 1255; // HEBREW
    case 178:
        return 1256; // ARABIC
    case 186:
        return 1257; // BALTIC
    case 222:
        return 874; // THAI
    case 238:
        return 1250; // EASTEUROPE
    case 255:
        return 866; // OEM: the DOS Cyrillic code page
    default:
        return 1251; // RUSSIAN, DEFAULT and the rest
    }
}

struct TDc {
    int MapMode = MM_TEXT;
    QPointF WinOrg;
    QPointF ViewOrg;
    QSizeF WinExt{1, 1};
    QSizeF ViewExt{1, 1};
    QTransform World;
    TEmfPen Pen;
    TEmfBrush Brush;
    std::shared_ptr<TEmfFont> Font;
    QColor TextColor = Qt::black;
    QColor BkColor = Qt::white;
    int BkMode = 2; // OPAQUE
    quint32 TextAlign = 0;
    Qt::FillRule Fill = Qt::OddEvenFill;
    int Rop2 = 13; // R2_COPYPEN
    QPointF Current;
    bool Clipped = false;
    QRegion Clip; // device pixels
};

struct TObject {
    enum TKind { None, Pen, Brush, Font } Kind = None;
    TEmfPen PenValue;
    TEmfBrush BrushValue;
    std::shared_ptr<TEmfFont> FontValue;
};

class TPlayer {
public:
    TPlayer(const QByteArray& data, QPainter& painter, const QRectF& target);
    void Run();

private:
    void Header(const TRecord& r);
    void Record(const TRecord& r);

    void UpdateTransform();
    void SetTransform(const QTransform& transform);
    void SetFont(const QFont& font);
    void ApplyClip();
    void Prepare();
    QPen MakePen() const;
    QBrush MakeBrush(const TEmfBrush& brush) const;
    bool SetStyle(bool stroke, bool fill);
    double DeviceScale() const;

    void SelectObject(quint32 index);
    void Stock(quint32 index);
    TObject* Slot(quint32 index);

    std::vector<QPointF> Points(const TRecord& r, qint64 countOffset, qint64 pointsOffset,
                                bool small);
    void Poly(const TRecord& r, bool small, bool closed);
    void PolyTo(const TRecord& r, bool small, bool bezier);
    void PolyBezier(const TRecord& r, bool small);
    void PolyPoly(const TRecord& r, bool small, bool closed);
    void DrawShape(const QPainterPath& path, bool stroke, bool fill);
    void ArcRecord(const TRecord& r);

    QRegion Region(const TRecord& r, qint64 sizeOffset, qint64 dataOffset);
    void CombineClip(const QRegion& region, int mode);
    void ClipRect(const TRecord& r, bool exclude);
    void FillRegion(const QRegion& region, const QBrush& brush);

    void TextRecord(const TRecord& r, qint64 emrText, bool wide);
    void SmallText(const TRecord& r);
    void DrawText(QPointF reference, const QString& text, const std::vector<double>& dx,
                  quint32 options, const QRectF* rect);
    QString DecodeA(const QByteArray& bytes);

    void Blt(const TRecord& r);
    void StretchDiBits(const TRecord& r);
    void DrawBitmap(const TRecord& r, qint64 offBmi, qint64 cbBmi, qint64 offBits, qint64 cbBits,
                    quint32 usage, const QRectF& dest, QRectF source, bool bottomUpSource);

    const QByteArray& Data;
    QPainter& Painter;
    QRectF Target;
    QTransform Base;      // the painter's transform when play began
    QTransform DevToBase; // reference-device pixels to the painter's coordinates
    double PixelsPerMm = 96 / 25.4;
    qint64 Limit = 0;

    TDc Dc;
    std::vector<TDc> Saved;
    std::vector<TObject> Objects;
    QTransform Logical; // logical units to the painter's coordinates
    bool TransformDirty = true;
    // What the painter was last given, so that a page's many texts and
    // shapes do not each record a new transform and font.
    QTransform PainterTransform;
    bool TransformKnown = false;
    QFont PainterFont;
    bool FontKnown = false;
    bool ClipDirty = false;
    bool InPath = false;
    QPainterPath Path;
    bool PathReady = false;
    std::map<int, QStringDecoder> Decoders;
};

TPlayer::TPlayer(const QByteArray& data, QPainter& painter, const QRectF& target)
    : Data(data), Painter(painter), Target(target), Base(painter.transform()) {
    auto font = std::make_shared<TEmfFont>();
    font->Height = 16;
    PrepareFont(*font);
    Dc.Font = font;
}

void TPlayer::Header(const TRecord& r) {
    r.Need(0, 88);
    const QRectF frame = r.RectL(24); // 0.01 mm
    const QSizeF device = r.SizeL(72);
    const QSizeF mm = r.SizeL(80);
    if (device.width() > 0 && mm.width() > 0)
        PixelsPerMm = device.width() / mm.width();
    // Newer headers give the reference device's size in micrometres, which
    // is more exact than its millimetres.
    const quint32 offDescription = r.U32(64);
    const quint32 offPixelFormat = r.U32(92 < r.Bytes() ? 92 : 0);
    const qint64 headerEnd = std::min<qint64>(
        r.Bytes(), std::min<qint64>(offDescription ? offDescription : r.Bytes(),
                                    offPixelFormat >= 88 ? offPixelFormat : r.Bytes()));
    if (headerEnd >= 108 && device.width() > 0) {
        const qint32 microX = r.I32(100);
        if (microX > 0)
            PixelsPerMm = device.width() * 1000.0 / microX;
    }
    if (!(PixelsPerMm > 0.01 && PixelsPerMm < 10000))
        PixelsPerMm = 96 / 25.4;
    const QRectF frameDevice(frame.left() / 100.0 * PixelsPerMm, frame.top() / 100.0 * PixelsPerMm,
                             frame.width() / 100.0 * PixelsPerMm,
                             frame.height() / 100.0 * PixelsPerMm);
    if (frameDevice.width() <= 0 || frameDevice.height() <= 0)
        throw Exception(Damaged(QStringLiteral("its frame is empty")));
    DevToBase = QTransform::fromTranslate(-frameDevice.left(), -frameDevice.top()) *
                QTransform::fromScale(Target.width() / frameDevice.width(),
                                      Target.height() / frameDevice.height()) *
                QTransform::fromTranslate(Target.left(), Target.top()) * Base;
    const quint16 handles = quint16(r.U32(56) & 0xFFFF);
    Objects.assign(std::max<size_t>(handles, 1), TObject());
}

// The caller has checked the header (TRpEmfPlayer::Frame). Leaves the
// painter's state saved once when it raises.
void TPlayer::Run() {
    Painter.save();
    const auto* bytes = reinterpret_cast<const uchar*>(Data.constData());
    const qint64 size = Data.size();
    // The header's byte count bounds the records when it is smaller than the
    // page data.
    const quint32 declared = qFromLittleEndian<quint32>(bytes + 48);
    Limit = declared >= 88 && declared < size ? declared : size;

    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setRenderHint(QPainter::SmoothPixmapTransform);
    qint64 at = 0;
    qint64 index = 0;
    bool first = true;
    while (at + 8 <= Limit) {
        const quint32 type = qFromLittleEndian<quint32>(bytes + at);
        const quint32 length = qFromLittleEndian<quint32>(bytes + at + 4);
        ++index;
        if (length < 8 || length > Limit - at)
            throw Exception(
                Damaged(QStringLiteral("record %1 runs past the end of the page").arg(index)));
        if (index > TRpEmfPlayer::MaxRecords)
            throw Exception(Damaged(QStringLiteral("it holds too many records")));
        const TRecord record(bytes + at, length, type, index);
        if (first) {
            if (type != EMR_HEADER || record.U32(40) != TRpEmfPlayer::Signature)
                throw Exception(Damaged(QStringLiteral("it has no header")));
            Header(record);
            first = false;
        } else if (type == EMR_EOF) {
            break;
        } else {
            Record(record);
        }
        at += length;
    }
    Painter.restore();
}

// The current logical-to-painter transform: world, then page (window and
// viewport), then the reference device to the target rectangle.
void TPlayer::UpdateTransform() {
    double sx = 1;
    double sy = 1;
    switch (Dc.MapMode) {
    case MM_TEXT:
        break;
    case 2:
        sx = 0.1 * PixelsPerMm, sy = -sx;
        break; // LOMETRIC
    case 3:
        sx = 0.01 * PixelsPerMm, sy = -sx;
        break; // HIMETRIC
    case 4:
        sx = 0.254 * PixelsPerMm, sy = -sx;
        break; // LOENGLISH
    case 5:
        sx = 0.0254 * PixelsPerMm, sy = -sx;
        break; // HIENGLISH
    case 6:
        sx = 25.4 / 1440 * PixelsPerMm, sy = -sx;
        break;
    default: {
        const double wx = Dc.WinExt.width() ? Dc.WinExt.width() : 1;
        const double wy = Dc.WinExt.height() ? Dc.WinExt.height() : 1;
        sx = Dc.ViewExt.width() / wx;
        sy = Dc.ViewExt.height() / wy;
        if (Dc.MapMode == MM_ISOTROPIC) {
            const double s = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
        }
        if (sx == 0)
            sx = 1;
        if (sy == 0)
            sy = 1;
    }
    }
    const QTransform page(sx, 0, 0, sy, Dc.ViewOrg.x() - Dc.WinOrg.x() * sx,
                          Dc.ViewOrg.y() - Dc.WinOrg.y() * sy);
    Logical = Dc.World * page * DevToBase;
    TransformDirty = false;
    // No page maps its units this far; GDI refuses such a mapping too.
    for (const double m :
         {Logical.m11(), Logical.m12(), Logical.m21(), Logical.m22(), Logical.dx(), Logical.dy()})
        if (!std::isfinite(m) || std::abs(m) > 1e9)
            throw Exception(Damaged(QStringLiteral("its mapping of units is out of range")));
}

// The clip region lives in reference-device pixels. QPainter keeps only one
// clip, so the caller's clip (saved with the painter's state when play began)
// is restored first and ours intersected with it.
void TPlayer::ApplyClip() {
    Painter.restore();
    Painter.save();
    TransformKnown = false;
    FontKnown = false;
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (Dc.Clipped) {
        SetTransform(DevToBase);
        Painter.setClipRegion(Dc.Clip, Painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    }
    ClipDirty = false;
}

void TPlayer::Prepare() {
    if (ClipDirty)
        ApplyClip();
    if (TransformDirty)
        UpdateTransform();
    SetTransform(Logical);
}

void TPlayer::SetTransform(const QTransform& transform) {
    if (TransformKnown && transform == PainterTransform)
        return;
    Painter.setTransform(transform);
    PainterTransform = transform;
    TransformKnown = true;
}

void TPlayer::SetFont(const QFont& font) {
    if (FontKnown && font == PainterFont)
        return;
    Painter.setFont(font);
    PainterFont = font;
    FontKnown = true;
}

// One pixel of the reference device in logical units (the width of a
// cosmetic pen).
double TPlayer::DeviceScale() const {
    const QTransform toDevice = Logical * DevToBase.inverted();
    const double det = std::abs(toDevice.determinant());
    return det > 1e-12 ? 1.0 / std::sqrt(det) : 1.0;
}

QPen TPlayer::MakePen() const {
    const TEmfPen& p = Dc.Pen;
    QColor color = p.Color;
    if (Dc.Rop2 == 1)
        color = Qt::black;
    else if (Dc.Rop2 == 16)
        color = Qt::white;
    QPen pen(color);
    pen.setWidthF(p.Width > 0 ? p.Width : DeviceScale());
    pen.setCapStyle(p.Cap);
    pen.setJoinStyle(p.Join);
    switch (p.Style & PS_STYLE_MASK) {
    case 1:
        pen.setStyle(Qt::DashLine);
        break;
    case 2:
        pen.setStyle(Qt::DotLine);
        break;
    case 3:
        pen.setStyle(Qt::DashDotLine);
        break;
    case 4:
        pen.setStyle(Qt::DashDotDotLine);
        break;
    case 8:
        pen.setStyle(Qt::DotLine);
        break; // PS_ALTERNATE
    default:
        break;
    }
    return pen;
}

QBrush TPlayer::MakeBrush(const TEmfBrush& b) const {
    if (b.IsNull())
        return Qt::NoBrush;
    QColor color = b.Color;
    if (Dc.Rop2 == 1)
        color = Qt::black;
    else if (Dc.Rop2 == 16)
        color = Qt::white;
    if (b.Style == BS_HATCHED) {
        static const Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                 Qt::FDiagPattern, Qt::BDiagPattern,
                                                 Qt::CrossPattern, Qt::DiagCrossPattern};
        return QBrush(color, b.Hatch >= 0 && b.Hatch < 6 ? hatches[b.Hatch] : Qt::SolidPattern);
    }
    return QBrush(color);
}

// Sets pen and brush for a shape; false when nothing is to be drawn.
bool TPlayer::SetStyle(bool stroke, bool fill) {
    if (Dc.Rop2 == 11) // R2_NOP
        return false;
    const bool pen = stroke && !Dc.Pen.IsNull();
    const bool brush = fill && !Dc.Brush.IsNull();
    if (!pen && !brush)
        return false;
    Prepare();
    Painter.setPen(pen ? MakePen() : QPen(Qt::NoPen));
    Painter.setBrush(brush ? MakeBrush(Dc.Brush) : QBrush(Qt::NoBrush));
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (Dc.Rop2) {
    case 4:
        mode = QPainter::RasterOp_NotSource;
        break;
    case 6:
        mode = QPainter::RasterOp_NotDestination;
        break;
    case 7:
        mode = QPainter::RasterOp_SourceXorDestination;
        break;
    case 9:
        mode = QPainter::RasterOp_SourceAndDestination;
        break;
    case 15:
        mode = QPainter::RasterOp_SourceOrDestination;
        break;
    default:
        break;
    }
    if (Painter.compositionMode() != mode)
        Painter.setCompositionMode(mode);
    return true;
}

TObject* TPlayer::Slot(quint32 index) {
    if (index == 0 || index >= 0x10000)
        return nullptr;
    if (index >= Objects.size())
        Objects.resize(size_t(index) + 1);
    return &Objects[index];
}

void TPlayer::Stock(quint32 index) {
    switch (index) {
    case 0:
        Dc.Brush = {BS_SOLID, Qt::white, 0};
        break;
    case 1:
        Dc.Brush = {BS_SOLID, QColor(0xC0, 0xC0, 0xC0), 0};
        break;
    case 2:
        Dc.Brush = {BS_SOLID, QColor(0x80, 0x80, 0x80), 0};
        break;
    case 3:
        Dc.Brush = {BS_SOLID, QColor(0x40, 0x40, 0x40), 0};
        break;
    case 4:
        Dc.Brush = {BS_SOLID, Qt::black, 0};
        break;
    case 5:
        Dc.Brush = {BS_NULL, Qt::black, 0};
        break;
    case 6:
        Dc.Pen = TEmfPen{0, 0, Qt::white};
        break;
    case 7:
        Dc.Pen = TEmfPen{0, 0, Qt::black};
        break;
    case 8:
        Dc.Pen = TEmfPen{PS_NULL, 0, Qt::black};
        break;
    case 18:
        Dc.Brush = {BS_SOLID, Qt::white, 0};
        break; // DC_BRUSH
    case 19:
        Dc.Pen = TEmfPen{0, 0, Qt::black};
        break; // DC_PEN
    default:
        if (index >= 10 && index <= 17) {
            auto font = std::make_shared<TEmfFont>();
            font->Height = 16;
            font->Face = index == 10 || index == 11 || index == 16 ? QStringLiteral("Courier New")
                                                                   : QStringLiteral("Arial");
            PrepareFont(*font);
            Dc.Font = font;
        }
        break;
    }
}

void TPlayer::SelectObject(quint32 index) {
    if (index & 0x80000000u) {
        Stock(index & 0x7FFFFFFFu);
        return;
    }
    const TObject* object = index < Objects.size() ? &Objects[index] : nullptr;
    if (!object)
        return;
    switch (object->Kind) {
    case TObject::Pen:
        Dc.Pen = object->PenValue;
        break;
    case TObject::Brush:
        Dc.Brush = object->BrushValue;
        break;
    case TObject::Font:
        Dc.Font = object->FontValue;
        break;
    case TObject::None:
        break;
    }
}

std::vector<QPointF> TPlayer::Points(const TRecord& r, qint64 countOffset, qint64 pointsOffset,
                                     bool small) {
    const qint64 item = small ? 4 : 8;
    const qint64 n = r.Count(countOffset, pointsOffset, item);
    std::vector<QPointF> points(static_cast<size_t>(n));
    const uchar* p = r.Data() + pointsOffset;
    for (qint64 i = 0; i < n; ++i, p += item) {
        if (small)
            points[size_t(i)] =
                QPointF(qFromLittleEndian<qint16>(p), qFromLittleEndian<qint16>(p + 2));
        else
            points[size_t(i)] =
                QPointF(qFromLittleEndian<qint32>(p), qFromLittleEndian<qint32>(p + 4));
    }
    return points;
}

void TPlayer::DrawShape(const QPainterPath& path, bool stroke, bool fill) {
    if (InPath) {
        Path.addPath(path);
        return;
    }
    if (!SetStyle(stroke, fill))
        return;
    Painter.drawPath(path);
}

void TPlayer::Poly(const TRecord& r, bool small, bool closed) {
    const std::vector<QPointF> points = Points(r, 24, 28, small);
    if (points.empty())
        return;
    if (InPath) {
        QPolygonF polygon(points.begin(), points.end());
        Path.addPolygon(polygon);
        if (closed)
            Path.closeSubpath();
        return;
    }
    if (!SetStyle(true, closed))
        return;
    Painter.setBrush(closed && !Dc.Brush.IsNull() ? MakeBrush(Dc.Brush) : QBrush(Qt::NoBrush));
    if (closed)
        Painter.drawPolygon(points.data(), int(points.size()), Dc.Fill);
    else
        Painter.drawPolyline(points.data(), int(points.size()));
}

void TPlayer::PolyTo(const TRecord& r, bool small, bool bezier) {
    const std::vector<QPointF> points = Points(r, 24, 28, small);
    if (points.empty())
        return;
    QPainterPath path(Dc.Current);
    if (bezier) {
        for (size_t i = 0; i + 2 < points.size(); i += 3)
            path.cubicTo(points[i], points[i + 1], points[i + 2]);
    } else {
        for (const QPointF& p : points)
            path.lineTo(p);
    }
    Dc.Current = path.currentPosition();
    if (InPath) {
        Path.connectPath(path);
        return;
    }
    DrawShape(path, true, false);
}

void TPlayer::PolyBezier(const TRecord& r, bool small) {
    const std::vector<QPointF> points = Points(r, 24, 28, small);
    if (points.empty())
        return;
    QPainterPath path(points[0]);
    for (size_t i = 1; i + 2 < points.size(); i += 3)
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    DrawShape(path, true, false);
}

void TPlayer::PolyPoly(const TRecord& r, bool small, bool closed) {
    const qint64 polygons = r.Count(24, 32, 4);
    const qint64 total = r.Count(28, 32 + polygons * 4, small ? 4 : 8);
    const qint64 pointsAt = 32 + polygons * 4;
    QPainterPath path;
    path.setFillRule(Dc.Fill);
    qint64 used = 0;
    const qint64 item = small ? 4 : 8;
    for (qint64 k = 0; k < polygons; ++k) {
        const quint32 n = r.U32(32 + k * 4);
        if (n > quint64(total - used))
            throw Exception(
                Damaged(r.What() + QStringLiteral(" counts more points than it holds")));
        for (quint32 i = 0; i < n; ++i) {
            const qint64 at = pointsAt + (used + i) * item;
            const QPointF p = small ? QPointF(r.I16(at), r.I16(at + 2)) : r.PointL(at);
            if (i == 0)
                path.moveTo(p);
            else
                path.lineTo(p);
        }
        if (closed && n > 0)
            path.closeSubpath();
        used += n;
    }
    DrawShape(path, true, closed);
}

void TPlayer::ArcRecord(const TRecord& r) {
    const QRectF box = r.RectL(8).normalized();
    const QPointF start = r.PointL(24);
    const QPointF end = r.PointL(32);
    if (box.isEmpty())
        return;
    // Angles of the two radials, counter-clockwise from three o'clock.
    const QPointF c = box.center();
    const double a0 =
        std::atan2(-(start.y() - c.y()) * box.width(), (start.x() - c.x()) * box.height());
    const double a1 =
        std::atan2(-(end.y() - c.y()) * box.width(), (end.x() - c.x()) * box.height());
    double from = qRadiansToDegrees(a0);
    double span = qRadiansToDegrees(a1) - from;
    while (span <= 0)
        span += 360;
    QPainterPath path;
    if (r.Kind() == EMR_PIE)
        path.moveTo(c);
    else
        path.arcMoveTo(box, from);
    path.arcTo(box, from, span);
    if (r.Kind() != EMR_ARC)
        path.closeSubpath();
    DrawShape(path, true, r.Kind() != EMR_ARC);
}

// A RegionData object (header, then rectangles) as a region in reference-
// device pixels. GDI records the rectangles in device units; for the usual
// MM_TEXT page without a world transform they are the logical units too.
QRegion TPlayer::Region(const TRecord& r, qint64 sizeOffset, qint64 dataOffset) {
    const quint32 size = r.U32(sizeOffset);
    r.Need(dataOffset, size);
    if (size < 32)
        return QRegion();
    const quint32 headerSize = r.U32(dataOffset);
    const quint32 count = r.U32(dataOffset + 8);
    if (headerSize < 32 || headerSize > size || count > (size - headerSize) / 16)
        throw Exception(Damaged(r.What() + QStringLiteral(" holds a region larger than itself")));
    QRegion region;
    std::vector<QRect> rects;
    rects.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        const qint64 at = dataOffset + headerSize + qint64(i) * 16;
        const QRect rect = DeviceRect(
            QRectF(QPointF(r.I32(at), r.I32(at + 4)), QPointF(r.I32(at + 8), r.I32(at + 12))));
        if (rect.isValid())
            rects.push_back(rect);
    }
    region.setRects(rects.data(), int(rects.size()));
    return region;
}

void TPlayer::CombineClip(const QRegion& region, int mode) {
    const QRegion whole(
        QRect(QPoint(-DeviceLimit, -DeviceLimit), QPoint(DeviceLimit, DeviceLimit)));
    const QRegion current = Dc.Clipped ? Dc.Clip : whole;
    switch (mode) {
    case RGN_AND:
        Dc.Clip = current.intersected(region);
        break;
    case RGN_OR:
        Dc.Clip = current.united(region);
        break;
    case RGN_XOR:
        Dc.Clip = current.xored(region);
        break;
    case RGN_DIFF:
        Dc.Clip = current.subtracted(region);
        break;
    case RGN_COPY:
        Dc.Clip = region;
        break;
    default:
        return;
    }
    Dc.Clipped = true;
    ClipDirty = true;
}

void TPlayer::ClipRect(const TRecord& r, bool exclude) {
    if (TransformDirty)
        UpdateTransform();
    const QRectF logical = r.RectL(8).normalized();
    const QTransform toDevice = Logical * DevToBase.inverted();
    // GDI takes the rectangle's right and bottom edges as outside it.
    const QRegion region(DeviceRect(toDevice.mapRect(logical)));
    CombineClip(region, exclude ? RGN_DIFF : RGN_AND);
}

void TPlayer::FillRegion(const QRegion& region, const QBrush& brush) {
    if (region.isEmpty() || brush.style() == Qt::NoBrush || Dc.Rop2 == 11)
        return;
    Prepare();
    SetTransform(DevToBase);
    for (const QRect& rect : region)
        Painter.fillRect(QRectF(rect.x(), rect.y(), rect.width(), rect.height()), brush);
}

QString TPlayer::DecodeA(const QByteArray& bytes) {
    const int page = CodePage(Dc.Font ? Dc.Font->CharSet : 1);
    if (page == 1251)
        return Win1251::Decode(bytes);
    auto it = Decoders.find(page);
    if (it == Decoders.end()) {
        const QByteArray name = page == 866
                                    ? QByteArrayLiteral("IBM866")
                                    : QByteArrayLiteral("windows-") + QByteArray::number(page);
        it = Decoders
                 .emplace(page, QStringDecoder(name.constData(), QStringDecoder::Flag::Stateless))
                 .first;
    }
    if (!it->second.isValid())
        return QString::fromLatin1(bytes);
    return it->second.decode(bytes);
}

// An EmrText object at emrText: reference point, string, options, the
// optional rectangle and spacing array.
void TPlayer::TextRecord(const TRecord& r, qint64 emrText, bool wide) {
    const QPointF reference = r.PointL(emrText);
    const qint64 chars = r.I32(emrText + 8);
    const quint32 offString = r.U32(emrText + 12);
    const quint32 options = r.U32(emrText + 16);
    const bool hasRect = !(options & ETO_NO_RECT);
    QRectF rect;
    if (hasRect)
        rect = r.RectL(emrText + 20).normalized();
    const quint32 offDx = r.U32(emrText + (hasRect ? 36 : 20));
    if (chars < 0)
        throw Exception(Damaged(r.What() + QStringLiteral(" has a negative count")));
    const qint64 unit = wide ? 2 : 1;
    if (offString > r.Bytes() || chars > (r.Bytes() - offString) / unit)
        throw Exception(Damaged(r.What() + QStringLiteral(" has a text running past it")));
    QString text;
    if (wide) {
        text.resize(chars);
        const uchar* p = r.Data() + offString;
        for (qint64 i = 0; i < chars; ++i)
            text[i] = QChar(qFromLittleEndian<quint16>(p + 2 * i));
    } else {
        text = DecodeA(QByteArray(reinterpret_cast<const char*>(r.Data()) + offString, chars));
    }
    std::vector<double> dx;
    if (offDx != 0 && chars > 0) {
        const qint64 per = options & ETO_PDY ? 2 : 1;
        if (offDx > r.Bytes() || chars * per > (r.Bytes() - offDx) / 4)
            throw Exception(
                Damaged(r.What() + QStringLiteral(" has a spacing array running past it")));
        dx.resize(size_t(chars));
        for (qint64 i = 0; i < chars; ++i)
            dx[size_t(i)] = qFromLittleEndian<qint32>(r.Data() + offDx + 4 * i * per);
        // A multi-byte string has one entry per byte; its characters take
        // the sum of theirs.
        if (!wide && text.size() != chars) {
            const QByteArray bytes(reinterpret_cast<const char*>(r.Data()) + offString, chars);
            std::vector<double> merged;
            double sum = 0;
            for (double d : dx)
                sum += d;
            if (!text.isEmpty())
                merged.assign(size_t(text.size()), sum / text.size());
            dx.swap(merged);
        }
    }
    if (options & ETO_GLYPH_INDEX)
        text.clear(); // glyph numbers of a font this program does not have
    DrawText(reference, text, dx, options, hasRect ? &rect : nullptr);
}

void TPlayer::SmallText(const TRecord& r) {
    const QPointF reference = r.PointL(8);
    const qint64 chars = r.I32(16);
    const quint32 options = r.U32(20);
    qint64 at = 36;
    QRectF rect;
    const bool hasRect = !(options & ETO_NO_RECT);
    if (hasRect) {
        rect = r.RectL(at).normalized();
        at += 16;
    }
    const qint64 unit = options & ETO_SMALL_CHARS ? 1 : 2;
    if (chars < 0 || chars > (r.Bytes() - std::min<qint64>(at, r.Bytes())) / unit)
        throw Exception(Damaged(r.What() + QStringLiteral(" has a text running past it")));
    QString text;
    if (unit == 1) {
        text = DecodeA(QByteArray(reinterpret_cast<const char*>(r.Data()) + at, chars));
    } else {
        text.resize(chars);
        for (qint64 i = 0; i < chars; ++i)
            text[i] = QChar(qFromLittleEndian<quint16>(r.Data() + at + 2 * i));
    }
    DrawText(reference, text, {}, options, hasRect ? &rect : nullptr);
}

void TPlayer::DrawText(QPointF reference, const QString& text, const std::vector<double>& dx,
                       quint32 options, const QRectF* rect) {
    if (Dc.Rop2 == 11)
        return;
    Prepare();
    if ((options & ETO_OPAQUE) && rect && !rect->isEmpty())
        Painter.fillRect(*rect, Dc.BkColor);
    if (text.isEmpty())
        return;
    const bool updateCp = Dc.TextAlign & TA_UPDATECP;
    if (updateCp)
        reference = Dc.Current;
    bool clipped = false;
    const QTransform unclipped = PainterTransform;
    const bool unclippedKnown = TransformKnown;
    if ((options & ETO_CLIPPED) && rect) {
        Painter.save();
        Painter.setClipRect(*rect, Painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
        clipped = true;
    }

    // Text stands upright on the device whatever the mapping: its size
    // follows the vertical scale, its advances the horizontal one, and it
    // turns only with the world transform and the font's escapement.
    const QPointF origin = Logical.map(QPointF(0, 0));
    const QPointF xAxis = Logical.map(QPointF(1, 0)) - origin;
    const QPointF yAxis = Logical.map(QPointF(0, 1)) - origin;
    const double xScale = std::hypot(xAxis.x(), xAxis.y());
    const double yScale = std::hypot(yAxis.x(), yAxis.y());
    TEmfFont& font = *Dc.Font;
    double em = font.Height < 0 ? -double(font.Height) : font.Height * font.EmPerCell;
    if (font.Height == 0)
        em = 12 * DeviceScale();
    const double emPixels = em * yScale;
    // Text taller than several pages, or drawn many times wider or narrower
    // than its face, is not a report's: the font engine would be asked for
    // glyphs of no sensible size.
    const auto refuse = [&](const QString& what) {
        if (clipped)
            Painter.restore();
        throw Exception(Damaged(what));
    };
    const QRectF page = Base.mapRect(Target);
    if (!(emPixels < 4 * std::max(page.width(), page.height())))
        refuse(QStringLiteral("a text is larger than its page"));
    if (!(emPixels > 0.01)) {
        if (clipped)
            Painter.restore();
        return; // too small to see
    }
    if (std::abs(font.LastEm - emPixels) > 1e-9 || !font.Metrics) {
        font.Sized = font.Base;
        const QPaintDevice* device = Painter.device();
        const double dpi = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 96;
        font.Sized.setPointSizeF(emPixels * 72.0 / dpi);
        font.Metrics = std::make_unique<QFontMetricsF>(font.Sized, Painter.device());
        font.Advances.clear();
        font.LastEm = emPixels;
    }
    const QFontMetricsF& metrics = *font.Metrics;
    // A LOGFONT width asks for narrower or wider characters than the face's
    // own average.
    double stretch = yScale > 0 ? xScale / yScale : 1;
    if (font.Width > 0) {
        const double average = metrics.averageCharWidth();
        if (average > 0)
            stretch = font.Width * xScale / average;
    }
    if (!(stretch > 0.02 && stretch < 50))
        refuse(QStringLiteral("a text is stretched out of shape"));
    const double perLogical = xScale / stretch; // text units per logical unit

    const int n = int(text.size());
    std::vector<double> natural(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        auto it = font.Advances.constFind(c);
        if (it == font.Advances.constEnd())
            it = font.Advances.insert(c, metrics.horizontalAdvance(QChar(c)));
        natural[size_t(i)] = *it;
    }
    // Positions of the letters along the baseline (text units): the
    // spacing array's, or the face's own advances.
    std::vector<double> at(static_cast<size_t>(n) + 1, 0.0);
    for (int i = 0; i < n; ++i)
        at[size_t(i) + 1] = at[size_t(i)] + (dx.empty()           ? natural[size_t(i)]
                                             : i < int(dx.size()) ? dx[size_t(i)] * perLogical
                                                                  : 0);
    const double width = at[size_t(n)];
    // The string is drawn in as few pieces as keep every letter near its
    // place: each piece has its letters spaced evenly to the width the array
    // gives it. A report's arrays come from the face's own widths, so a
    // string is mostly one piece, found whole by whatever reads the page.
    struct TRun {
        int From, To;
        double Spacing;
    };
    std::vector<TRun> runs;
    if (dx.empty()) {
        runs.push_back({0, n, 0});
    } else {
        const double tolerance = std::max(0.2 * emPixels / stretch, 0.5);
        std::vector<double> sum(static_cast<size_t>(n) + 1, 0.0); // natural advances so far
        for (int i = 0; i < n; ++i)
            sum[size_t(i) + 1] = sum[size_t(i)] + natural[size_t(i)];
        const auto spacingOf = [&](int from, int to) {
            return (at[size_t(to)] - at[size_t(from)] - (sum[size_t(to)] - sum[size_t(from)])) /
                   (to - from);
        };
        const auto fits = [&](int from, int to) {
            const double spacing = spacingOf(from, to);
            for (int i = from + 1; i < to; ++i) {
                const double laid =
                    at[size_t(from)] + sum[size_t(i)] - sum[size_t(from)] + (i - from) * spacing;
                if (std::abs(laid - at[size_t(i)]) > tolerance)
                    return false;
            }
            return true;
        };
        // Long strings are one piece or letter by letter, which bounds the
        // work.
        const bool whole = fits(0, n);
        for (int from = 0; from < n;) {
            int to = whole ? n : from + 1;
            // A surrogate pair stays together.
            if (to < n && text[from].isHighSurrogate())
                ++to;
            while (!whole && n <= 512 && to < n && fits(from, to + 1))
                ++to;
            runs.push_back({from, to, spacingOf(from, to)});
            from = to;
        }
    }

    double x = 0;
    const quint32 horizontal = Dc.TextAlign & TA_CENTER;
    if (horizontal == TA_CENTER)
        x = -width / 2;
    else if (horizontal == TA_RIGHT)
        x = -width;
    double y = metrics.ascent();
    if ((Dc.TextAlign & TA_BASELINE) == TA_BASELINE)
        y = 0;
    else if (Dc.TextAlign & TA_BOTTOM)
        y = -metrics.descent();

    const double angle =
        std::atan2(xAxis.y(), xAxis.x()) - qDegreesToRadians(font.Escapement / 10.0);
    const QPointF start = Logical.map(reference);
    // Upright text at its own width, by far the most common, is drawn at
    // its place on the device, so that a page's texts share one transform.
    QTransform text2d;
    if (std::abs(angle) < 1e-9 && std::abs(stretch - 1) < 1e-9) {
        x += start.x();
        y += start.y();
    } else {
        text2d.translate(start.x(), start.y());
        text2d.rotateRadians(angle);
        text2d.scale(stretch, 1);
    }
    SetTransform(text2d);
    if (Dc.BkMode == 2)
        Painter.fillRect(
            QRectF(x, y - metrics.ascent(), width, metrics.ascent() + metrics.descent()),
            Dc.BkColor);
    Painter.setPen(Dc.TextColor);
    if (Painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        Painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (const TRun& run : runs) {
        // Spacing that moves the run's end by less than a third of a pixel
        // (the rounding of the array's integers) is left out: the page's
        // texts then share one font.
        QFont drawn = font.Sized;
        if (std::abs(run.Spacing) * (run.To - run.From) > 0.3)
            drawn.setLetterSpacing(QFont::AbsoluteSpacing, run.Spacing);
        SetFont(drawn);
        Painter.drawText(QPointF(x + at[size_t(run.From)], y),
                         run.From == 0 && run.To == n ? text
                                                      : text.mid(run.From, run.To - run.From));
    }
    if (clipped) {
        // Back to the transform before the clip; the font is the one before
        // it too.
        Painter.restore();
        PainterTransform = unclipped;
        TransformKnown = unclippedKnown;
        FontKnown = false;
    }
    if (updateCp && perLogical > 0) {
        const double logicalWidth = width / perLogical;
        if (horizontal == TA_RIGHT)
            Dc.Current.rx() -= logicalWidth;
        else if (horizontal != TA_CENTER)
            Dc.Current.rx() += logicalWidth;
    }
}

// A device-independent bitmap (BITMAPINFO at offBmi, pixels at offBits) as
// an image. Every size is checked against the record.
QImage DibImage(const TRecord& r, qint64 offBmi, qint64 cbBmi, qint64 offBits, qint64 cbBits,
                quint32 usage) {
    r.Need(offBmi, cbBmi);
    r.Need(offBits, cbBits);
    const auto tooLarge = [&] {
        return Exception(Damaged(QStringLiteral("the bitmap of ") + r.What() +
                                 QStringLiteral(" is larger than its record")));
    };
    if (cbBmi < 12)
        throw tooLarge();
    const uchar* bmi = r.Data() + offBmi;
    const quint32 headerSize = qFromLittleEndian<quint32>(bmi);
    qint64 width, height;
    int bpp;
    quint32 compression = 0;
    qint64 colors = 0;
    qint64 tableEntry = 4;
    if (headerSize == 12) {
        width = qFromLittleEndian<quint16>(bmi + 4);
        height = qFromLittleEndian<qint16>(bmi + 6);
        bpp = qFromLittleEndian<quint16>(bmi + 10);
        tableEntry = 3;
    } else {
        if (headerSize < 40 || headerSize > cbBmi)
            throw tooLarge();
        width = qFromLittleEndian<qint32>(bmi + 4);
        height = qFromLittleEndian<qint32>(bmi + 8);
        bpp = qFromLittleEndian<quint16>(bmi + 14);
        compression = qFromLittleEndian<quint32>(bmi + 16);
        colors = qFromLittleEndian<quint32>(bmi + 32);
    }
    const bool topDown = height < 0;
    height = std::abs(height);
    if (width <= 0 || height <= 0)
        return QImage();
    // A run-length code covers at most 255 pixels with two bytes; more
    // pixels than that (with room for skipped areas) is not a bitmap but a
    // request for memory.
    const bool rle = compression == 1 || compression == 2;
    if (width * height > TRpEmfPlayer::MaxBitmapPixels ||
        (rle && width * height > std::max<qint64>(cbBits * 300, 1024 * 1024)))
        throw Exception(
            Damaged(QStringLiteral("the bitmap of ") + r.What() + QStringLiteral(" is too large")));
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        throw Exception(Damaged(r.What() + QStringLiteral(" has a bitmap of an unknown kind")));
    if (!(compression == 0 || (compression == 1 && bpp == 8) || (compression == 2 && bpp == 4) ||
          (compression == 3 && (bpp == 16 || bpp == 32))))
        throw Exception(Damaged(r.What() + QStringLiteral(" has a bitmap of an unknown kind")));

    // Colour table (or the three masks of BI_BITFIELDS).
    qint64 tableAt = headerSize;
    quint32 masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bpp == 32)
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    if (compression == 3) {
        const qint64 masksAt = headerSize >= 52 ? 40 : headerSize;
        if (masksAt + 12 > cbBmi)
            throw tooLarge();
        for (int k = 0; k < 3; ++k)
            masks[k] = qFromLittleEndian<quint32>(bmi + masksAt + 4 * k);
        if (headerSize < 52)
            tableAt += 12;
    }
    QList<QRgb> table;
    if (bpp <= 8) {
        const qint64 full = qint64(1) << bpp;
        const qint64 n = colors > 0 && colors < full ? colors : full;
        const qint64 available = std::max<qint64>(0, (cbBmi - tableAt) / tableEntry);
        // Every index the pixels can hold has an entry; those the table
        // leaves out are black.
        table.resize(full, qRgb(0, 0, 0));
        for (qint64 i = 0; i < std::min(n, available); ++i) {
            const uchar* e = bmi + tableAt + i * tableEntry;
            if (usage == 1) // DIB_PAL_COLORS: palette numbers, shown as grey
                table[i] = qRgb(int(i * 255 / std::max<qint64>(1, n - 1)),
                                int(i * 255 / std::max<qint64>(1, n - 1)),
                                int(i * 255 / std::max<qint64>(1, n - 1)));
            else
                table[i] = qRgb(e[2], e[1], e[0]);
        }
        if (bpp == 1 && available < 2 && usage != 1) {
            table[0] = qRgb(0, 0, 0);
            table[1] = qRgb(255, 255, 255);
        }
    }

    QImage image(int(width), int(height), QImage::Format_RGB32);
    if (image.isNull())
        throw Exception(
            Damaged(QStringLiteral("the bitmap of ") + r.What() + QStringLiteral(" is too large")));
    const uchar* bits = r.Data() + offBits;
    const auto rowOf = [&](qint64 row) {
        return reinterpret_cast<QRgb*>(image.scanLine(int(topDown ? row : height - 1 - row)));
    };
    if (compression == 1 || compression == 2) {
        // RLE8 / RLE4: runs and escapes, rows from the bottom; pixels the
        // data leaves out stay the first colour.
        image.fill(table.isEmpty() ? 0 : table[0]);
        qint64 x = 0;
        qint64 row = 0;
        qint64 i = 0;
        const auto put = [&](qint64 index) {
            if (x < width && row < height)
                rowOf(row)[x] = index < table.size() ? table[index] : 0;
            ++x;
        };
        while (i + 1 < cbBits && row < height) {
            const uchar count = bits[i];
            const uchar value = bits[i + 1];
            i += 2;
            if (count > 0) {
                for (int k = 0; k < count; ++k)
                    put(compression == 1 ? value : (k % 2 == 0 ? value >> 4 : value & 0x0F));
            } else if (value == 0) {
                x = 0;
                ++row;
            } else if (value == 1) {
                break;
            } else if (value == 2) {
                if (i + 1 >= cbBits)
                    break;
                x += bits[i];
                row += bits[i + 1];
                i += 2;
            } else {
                const qint64 bytes = compression == 1 ? value : (value + 1) / 2;
                if (i + bytes > cbBits)
                    throw tooLarge();
                for (int k = 0; k < value; ++k)
                    put(compression == 1
                            ? bits[i + k]
                            : (k % 2 == 0 ? bits[i + k / 2] >> 4 : bits[i + k / 2] & 0x0F));
                i += (bytes + 1) & ~qint64(1); // runs end on a 16-bit boundary
            }
        }
        return image;
    }
    const qint64 stride = ((width * bpp + 31) / 32) * 4;
    if (stride * height > cbBits)
        throw tooLarge();
    const auto shiftOf = [](quint32 mask) {
        int s = 0;
        while (mask && !(mask & 1))
            mask >>= 1, ++s;
        return s;
    };
    const auto channel = [&](quint32 pixel, int k) {
        const quint32 mask = masks[k];
        if (!mask)
            return 0;
        const quint32 max = mask >> shiftOf(mask);
        return int(((pixel & mask) >> shiftOf(mask)) * 255 / max);
    };
    for (qint64 row = 0; row < height; ++row) {
        const uchar* src = bits + row * stride;
        QRgb* dst = rowOf(row);
        for (qint64 col = 0; col < width; ++col) {
            switch (bpp) {
            case 1:
                dst[col] = table[(src[col >> 3] >> (7 - (col & 7))) & 1];
                break;
            case 4:
                dst[col] = table[(src[col >> 1] >> ((col & 1) ? 0 : 4)) & 0x0F];
                break;
            case 8:
                dst[col] = src[col] < table.size() ? table[src[col]] : 0;
                break;
            case 16: {
                const quint32 p = qFromLittleEndian<quint16>(src + col * 2);
                dst[col] = qRgb(channel(p, 0), channel(p, 1), channel(p, 2));
                break;
            }
            case 24:
                dst[col] = qRgb(src[col * 3 + 2], src[col * 3 + 1], src[col * 3]);
                break;
            case 32: {
                const quint32 p = qFromLittleEndian<quint32>(src + col * 4);
                dst[col] = compression == 3 ? qRgb(channel(p, 0), channel(p, 1), channel(p, 2))
                                            : qRgb((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
                break;
            }
            }
        }
    }
    return image;
}

void TPlayer::DrawBitmap(const TRecord& r, qint64 offBmi, qint64 cbBmi, qint64 offBits,
                         qint64 cbBits, quint32 usage, const QRectF& dest, QRectF source,
                         bool bottomUpSource) {
    const QImage image = DibImage(r, offBmi, cbBmi, offBits, cbBits, usage);
    if (image.isNull() || dest.width() == 0 || dest.height() == 0 || Dc.Rop2 == 11)
        return;
    // StretchDIBits counts the source rows of a bottom-up bitmap from its
    // bottom edge.
    if (bottomUpSource) {
        const quint32 headerSize = qFromLittleEndian<quint32>(r.Data() + offBmi);
        const qint64 h = headerSize == 12 ? qFromLittleEndian<qint16>(r.Data() + offBmi + 6)
                                          : qFromLittleEndian<qint32>(r.Data() + offBmi + 8);
        if (h > 0)
            source.moveTop(image.height() - source.top() - source.height());
    }
    // A negative width or height on one side only mirrors the picture. Only
    // the part of the source inside the bitmap is drawn, on its share of the
    // destination.
    const bool flipX = (dest.width() < 0) != (source.width() < 0);
    const bool flipY = (dest.height() < 0) != (source.height() < 0);
    const QRectF from = source.normalized();
    QRectF to = dest.normalized();
    const QRectF inside = from & QRectF(image.rect());
    if (from.isEmpty() || inside.isEmpty())
        return;
    if (inside != from) {
        const double sx = to.width() / from.width();
        const double sy = to.height() / from.height();
        const double left = flipX ? from.right() - inside.right() : inside.left() - from.left();
        const double top = flipY ? from.bottom() - inside.bottom() : inside.top() - from.top();
        to = QRectF(to.left() + left * sx, to.top() + top * sy, inside.width() * sx,
                    inside.height() * sy);
    }
    Prepare();
    if (flipX || flipY) {
        const QImage shown = image.copy(inside.toAlignedRect()).mirrored(flipX, flipY);
        Painter.drawImage(to, shown, QRectF(shown.rect()));
    } else {
        Painter.drawImage(to, image, inside);
    }
}

void TPlayer::Blt(const TRecord& r) {
    const bool stretch = r.Kind() == EMR_STRETCHBLT;
    r.Need(0, stretch ? 108 : 100);
    const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
    const quint32 rop = r.U32(40);
    const QPointF src = r.PointL(44);
    const quint32 usage = r.U32(80);
    const quint32 offBmi = r.U32(84);
    const quint32 cbBmi = r.U32(88);
    const quint32 offBits = r.U32(92);
    const quint32 cbBits = r.U32(96);
    if (cbBmi == 0) {
        // No source: a pattern fill of the destination.
        if (rop == 0x00000042 || rop == 0x00FF0062 || rop == 0x00F00021) {
            if (!SetStyle(false, true) && rop == 0x00F00021)
                return;
            Prepare();
            const QBrush brush = rop == 0x00000042   ? QBrush(Qt::black)
                                 : rop == 0x00FF0062 ? QBrush(Qt::white)
                                                     : MakeBrush(Dc.Brush);
            Painter.fillRect(dest.normalized(), brush);
        }
        return;
    }
    // The source's world transform is almost always a scale of one; its
    // scale is taken into account, its turn is not.
    const double m11 = r.F32(52);
    const double m22 = r.F32(64);
    QSizeF size = stretch ? QSizeF(r.I32(100), r.I32(104)) : dest.size();
    if (!stretch && m11 > 0 && m22 > 0)
        size = QSizeF(size.width() * m11, size.height() * m22);
    const QPointF from(src.x() * (m11 > 0 ? m11 : 1), src.y() * (m22 > 0 ? m22 : 1));
    DrawBitmap(r, offBmi, cbBmi, offBits, cbBits, usage, dest, QRectF(from, size), false);
}

void TPlayer::StretchDiBits(const TRecord& r) {
    r.Need(0, 80);
    const QRectF source(r.I32(32), r.I32(36), r.I32(40), r.I32(44));
    const QRectF dest(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
    DrawBitmap(r, r.U32(48), r.U32(52), r.U32(56), r.U32(60), r.U32(64), dest, source, true);
}

void TPlayer::Record(const TRecord& r) {
    switch (r.Kind()) {
    case EMR_SETMAPMODE:
        Dc.MapMode = r.I32(8);
        TransformDirty = true;
        break;
    case EMR_SETWINDOWEXTEX:
        Dc.WinExt = r.SizeL(8);
        TransformDirty = true;
        break;
    case EMR_SETWINDOWORGEX:
        Dc.WinOrg = r.PointL(8);
        TransformDirty = true;
        break;
    case EMR_SETVIEWPORTEXTEX:
        Dc.ViewExt = r.SizeL(8);
        TransformDirty = true;
        break;
    case EMR_SETVIEWPORTORGEX:
        Dc.ViewOrg = r.PointL(8);
        TransformDirty = true;
        break;
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX: {
        const double xNum = r.I32(8), xDen = r.I32(12), yNum = r.I32(16), yDen = r.I32(20);
        if (xDen == 0 || yDen == 0)
            break;
        QSizeF& ext = r.Kind() == EMR_SCALEVIEWPORTEXTEX ? Dc.ViewExt : Dc.WinExt;
        ext = QSizeF(ext.width() * xNum / xDen, ext.height() * yNum / yDen);
        TransformDirty = true;
        break;
    }
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM: {
        const QTransform x(r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28));
        const quint32 mode = r.Kind() == EMR_SETWORLDTRANSFORM ? 4 : r.U32(32);
        if (mode == 1)
            Dc.World = QTransform();
        else if (mode == 2)
            Dc.World = x * Dc.World;
        else if (mode == 3)
            Dc.World = Dc.World * x;
        else if (mode == 4)
            Dc.World = x;
        TransformDirty = true;
        break;
    }
    case EMR_SAVEDC:
        if (Saved.size() < 10000)
            Saved.push_back(Dc);
        break;
    case EMR_RESTOREDC: {
        const qint32 n = r.I32(8);
        // Negative: that many levels back; positive: the level SaveDC
        // numbered (from 1).
        qint64 level = n < 0 ? qint64(Saved.size()) + n : qint64(n) - 1;
        if (level < 0 || level >= qint64(Saved.size()))
            break;
        Dc = Saved[size_t(level)];
        Saved.resize(size_t(level));
        TransformDirty = true;
        ClipDirty = true;
        break;
    }
    case EMR_SETTEXTCOLOR:
        Dc.TextColor = ColorRef(r.U32(8));
        break;
    case EMR_SETBKCOLOR:
        Dc.BkColor = ColorRef(r.U32(8));
        break;
    case EMR_SETBKMODE:
        Dc.BkMode = r.I32(8);
        break;
    case EMR_SETTEXTALIGN:
        Dc.TextAlign = r.U32(8);
        break;
    case EMR_SETPOLYFILLMODE:
        Dc.Fill = r.I32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill;
        break;
    case EMR_SETROP2:
        Dc.Rop2 = r.I32(8);
        break;

    case EMR_CREATEPEN: {
        TObject* slot = Slot(r.U32(8));
        if (!slot)
            break;
        TEmfPen pen;
        pen.Style = r.I32(12);
        pen.Width = std::abs(r.I32(16));
        pen.Color = ColorRef(r.U32(24));
        // Cosmetic pens end flat; geometric ones round unless told.
        if (pen.Width <= 1 && !(pen.Style & PS_GEOMETRIC))
            pen.Cap = Qt::FlatCap, pen.Join = Qt::MiterJoin;
        *slot = TObject{TObject::Pen, pen, {}, {}};
        break;
    }
    case EMR_EXTCREATEPEN: {
        TObject* slot = Slot(r.U32(8));
        if (!slot)
            break;
        TEmfPen pen;
        pen.Style = r.I32(28);
        pen.Width = std::abs(r.I32(32));
        if (r.U32(36) == BS_NULL)
            pen.Style = PS_NULL;
        pen.Color = ColorRef(r.U32(40));
        const int cap = pen.Style & 0xF00;
        const int join = pen.Style & 0xF000;
        pen.Cap = cap == 0x100 ? Qt::SquareCap : cap == 0x200 ? Qt::FlatCap : Qt::RoundCap;
        pen.Join = join == 0x1000 ? Qt::BevelJoin : join == 0x2000 ? Qt::MiterJoin : Qt::RoundJoin;
        if (!(pen.Style & PS_GEOMETRIC))
            pen.Width = 0;
        *slot = TObject{TObject::Pen, pen, {}, {}};
        break;
    }
    case EMR_CREATEBRUSHINDIRECT: {
        TObject* slot = Slot(r.U32(8));
        if (!slot)
            break;
        TEmfBrush brush;
        const quint32 style = r.U32(12);
        brush.Style = style == BS_NULL ? BS_NULL : style == BS_HATCHED ? BS_HATCHED : BS_SOLID;
        brush.Color = ColorRef(r.U32(16));
        brush.Hatch = r.I32(20);
        *slot = TObject{TObject::Brush, {}, brush, {}};
        break;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
        TObject* slot = Slot(r.U32(8));
        if (!slot)
            break;
        r.Need(12, 92);
        auto font = std::make_shared<TEmfFont>();
        font->Height = r.I32(12);
        font->Width = r.I32(16);
        font->Escapement = r.I32(20);
        font->Weight = r.I32(28);
        font->Italic = r.U8(32) != 0;
        font->Underline = r.U8(33) != 0;
        font->StrikeOut = r.U8(34) != 0;
        font->CharSet = r.U8(35);
        QString face;
        for (int i = 0; i < 32; ++i) {
            const quint16 c = qFromLittleEndian<quint16>(r.Data() + 40 + 2 * i);
            if (c == 0)
                break;
            face += QChar(c);
        }
        if (!face.trimmed().isEmpty())
            font->Face = face.trimmed();
        if (font->Height == std::numeric_limits<qint32>::min())
            font->Height = 0;
        PrepareFont(*font);
        *slot = TObject{TObject::Font, {}, {}, font};
        break;
    }
    case EMR_SELECTOBJECT:
        SelectObject(r.U32(8));
        break;
    case EMR_DELETEOBJECT: {
        const quint32 index = r.U32(8);
        if (index < Objects.size())
            Objects[index] = TObject();
        break;
    }

    case EMR_MOVETOEX:
        Dc.Current = r.PointL(8);
        if (InPath)
            Path.moveTo(Dc.Current);
        break;
    case EMR_LINETO: {
        const QPointF to = r.PointL(8);
        if (InPath) {
            if (Path.elementCount() == 0)
                Path.moveTo(Dc.Current);
            Path.lineTo(to);
        } else if (SetStyle(true, false)) {
            Painter.drawLine(Dc.Current, to);
        }
        Dc.Current = to;
        break;
    }
    case EMR_RECTANGLE: {
        const QRectF box = r.RectL(8).normalized();
        if (InPath) {
            Path.addRect(box);
        } else if (SetStyle(true, true)) {
            Painter.drawRect(box);
        }
        break;
    }
    case EMR_ROUNDRECT: {
        const QRectF box = r.RectL(8).normalized();
        const QSizeF corner = r.SizeL(24);
        QPainterPath path;
        path.addRoundedRect(box, std::abs(corner.width()) / 2, std::abs(corner.height()) / 2);
        DrawShape(path, true, true);
        break;
    }
    case EMR_ELLIPSE: {
        const QRectF box = r.RectL(8).normalized();
        if (InPath) {
            Path.addEllipse(box);
        } else if (SetStyle(true, true)) {
            Painter.drawEllipse(box);
        }
        break;
    }
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE:
        ArcRecord(r);
        break;
    case EMR_SETPIXELV: {
        if (TransformDirty)
            UpdateTransform();
        Prepare();
        Painter.fillRect(QRectF(r.PointL(8), QSizeF(DeviceScale(), DeviceScale())),
                         ColorRef(r.U32(16)));
        break;
    }
    case EMR_POLYLINE16:
        Poly(r, true, false);
        break;
    case EMR_POLYLINE:
        Poly(r, false, false);
        break;
    case EMR_POLYGON16:
        Poly(r, true, true);
        break;
    case EMR_POLYGON:
        Poly(r, false, true);
        break;
    case EMR_POLYLINETO16:
        PolyTo(r, true, false);
        break;
    case EMR_POLYLINETO:
        PolyTo(r, false, false);
        break;
    case EMR_POLYBEZIERTO16:
        PolyTo(r, true, true);
        break;
    case EMR_POLYBEZIERTO:
        PolyTo(r, false, true);
        break;
    case EMR_POLYBEZIER16:
        PolyBezier(r, true);
        break;
    case EMR_POLYBEZIER:
        PolyBezier(r, false);
        break;
    case EMR_POLYPOLYLINE16:
        PolyPoly(r, true, false);
        break;
    case EMR_POLYPOLYLINE:
        PolyPoly(r, false, false);
        break;
    case EMR_POLYPOLYGON16:
        PolyPoly(r, true, true);
        break;
    case EMR_POLYPOLYGON:
        PolyPoly(r, false, true);
        break;

    case EMR_BEGINPATH:
        InPath = true;
        PathReady = false;
        Path = QPainterPath();
        Path.setFillRule(Dc.Fill);
        break;
    case EMR_ENDPATH:
        InPath = false;
        PathReady = true;
        break;
    case EMR_ABORTPATH:
        InPath = false;
        PathReady = false;
        Path = QPainterPath();
        break;
    case EMR_CLOSEFIGURE:
        if (InPath)
            Path.closeSubpath();
        break;
    case EMR_FILLPATH:
    case EMR_STROKEPATH:
    case EMR_STROKEANDFILLPATH:
        if (PathReady && SetStyle(r.Kind() != EMR_FILLPATH, r.Kind() != EMR_STROKEPATH)) {
            Path.setFillRule(Dc.Fill);
            Painter.drawPath(Path);
        }
        PathReady = false;
        Path = QPainterPath();
        break;
    case EMR_SELECTCLIPPATH:
        if (PathReady) {
            if (TransformDirty)
                UpdateTransform();
            const QTransform toDevice = Logical * DevToBase.inverted();
            QPolygon polygon;
            for (const QPointF& p : toDevice.map(Path).toFillPolygon())
                polygon << QPoint(ClampDevice(p.x()), ClampDevice(p.y()));
            CombineClip(QRegion(polygon, Dc.Fill), r.I32(8));
        }
        PathReady = false;
        Path = QPainterPath();
        break;

    case EMR_INTERSECTCLIPRECT:
        ClipRect(r, false);
        break;
    case EMR_EXCLUDECLIPRECT:
        ClipRect(r, true);
        break;
    case EMR_EXTSELECTCLIPRGN: {
        const int mode = r.I32(12);
        if (r.U32(8) == 0) {
            if (mode == RGN_COPY) {
                Dc.Clipped = false;
                Dc.Clip = QRegion();
                ClipDirty = true;
            }
            break;
        }
        CombineClip(Region(r, 8, 16), mode);
        break;
    }
    case EMR_FILLRGN: {
        const QRegion region = Region(r, 24, 32);
        const quint32 index = r.U32(28);
        TEmfBrush brush = Dc.Brush;
        if (index & 0x80000000u) {
            const TEmfBrush keep = Dc.Brush;
            Stock(index & 0x7FFFFFFFu);
            brush = Dc.Brush;
            Dc.Brush = keep;
        } else if (index < Objects.size() && Objects[index].Kind == TObject::Brush) {
            brush = Objects[index].BrushValue;
        }
        FillRegion(region, MakeBrush(brush));
        break;
    }
    case EMR_PAINTRGN:
        FillRegion(Region(r, 24, 28), MakeBrush(Dc.Brush));
        break;
    case EMR_FRAMERGN: {
        const QRegion region = Region(r, 24, 40);
        const quint32 index = r.U32(28);
        const int w = std::clamp(std::abs(r.I32(32)), 1, 1000);
        const int h = std::clamp(std::abs(r.I32(36)), 1, 1000);
        TEmfBrush brush = Dc.Brush;
        if (index < Objects.size() && Objects[index].Kind == TObject::Brush)
            brush = Objects[index].BrushValue;
        // The frame is the part of the region within w, h of its edge.
        const QRegion inner = region.intersected(region.translated(w, 0))
                                  .intersected(region.translated(-w, 0))
                                  .intersected(region.translated(0, h))
                                  .intersected(region.translated(0, -h));
        FillRegion(region.subtracted(inner), MakeBrush(brush));
        break;
    }

    case EMR_EXTTEXTOUTW:
    case EMR_EXTTEXTOUTA:
        TextRecord(r, 36, r.Kind() == EMR_EXTTEXTOUTW);
        break;
    case EMR_POLYTEXTOUTW:
    case EMR_POLYTEXTOUTA: {
        const qint64 strings = r.Count(36, 40, 40);
        for (qint64 k = 0; k < strings; ++k)
            TextRecord(r, 40 + k * 40, r.Kind() == EMR_POLYTEXTOUTW);
        break;
    }
    case EMR_SMALLTEXTOUT:
        SmallText(r);
        break;

    case EMR_BITBLT:
    case EMR_STRETCHBLT:
        Blt(r);
        break;
    case EMR_STRETCHDIBITS:
        StretchDiBits(r);
        break;

    default:
        break; // records without effect on a printed page
    }
}

} // namespace

bool TRpEmfPlayer::IsEmf(const QByteArray& data) {
    return data.size() >= 88 && qFromLittleEndian<quint32>(data.constData()) == EMR_HEADER &&
           qFromLittleEndian<quint32>(data.constData() + 40) == Signature;
}

QRectF TRpEmfPlayer::Frame(const QByteArray& data) {
    if (!IsEmf(data))
        throw Exception(Damaged(QStringLiteral("it has no header")));
    const char* p = data.constData();
    const double left = qFromLittleEndian<qint32>(p + 24);
    const double top = qFromLittleEndian<qint32>(p + 28);
    const double right = qFromLittleEndian<qint32>(p + 32);
    const double bottom = qFromLittleEndian<qint32>(p + 36);
    if (right <= left || bottom <= top)
        throw Exception(Damaged(QStringLiteral("its frame is empty")));
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

void TRpEmfPlayer::Play(const QByteArray& data, QPainter& painter, const QRectF& target) {
    Frame(data);
    TPlayer player(data, painter, target);
    try {
        player.Run();
    } catch (...) {
        painter.restore();
        throw;
    }
}

std::unique_ptr<QPicture> TRpEmfPlayer::ToPicture(const QByteArray& data, double dpi) {
    const QRectF frame = Frame(data);
    // Hundredths of a millimetre to pixels.
    const double width = frame.width() / 2540.0 * dpi;
    const double height = frame.height() / 2540.0 * dpi;
    // Nothing larger than ten metres a side is a report page.
    if (!(width >= 1 && height >= 1 && width <= dpi * 400 && height <= dpi * 400))
        throw Exception(Damaged(QStringLiteral("its page size is not valid")));
    auto picture = std::make_unique<QPicture>();
    const QRect box(0, 0, qRound(width), qRound(height));
    picture->setBoundingRect(box);
    QPainter painter(picture.get());
    try {
        Play(data, painter, QRectF(box));
    } catch (...) {
        painter.end();
        throw;
    }
    painter.end();
    return picture;
}
