#include "RpTextIndex.h"

#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

constexpr char16_t Separator = u'\n';
constexpr quint32 IndexMagic = 0x49545856; // "VXTI"
constexpr quint32 IndexVersion = 1;

// Folding of the Latin and Cyrillic blocks from a table; other characters
// ask Unicode.
struct TFoldTable {
    char16_t Low[0x500];
    TFoldTable() {
        for (char16_t u = 0; u < 0x500; ++u)
            Low[u] = QChar(u).toCaseFolded().unicode();
    }
};

inline QChar FoldChar(QChar c) {
    static const TFoldTable table;
    const char16_t u = c.unicode();
    if (u < 0x500)
        return QChar(table.Low[u]);
    return c.toCaseFolded();
}

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

void PutU32(QByteArray& out, quint32 value) {
    char b[4];
    qToLittleEndian(value, b);
    out.append(b, 4);
}

// Reads little-endian values from bytes, remembering when it ran short.
struct TReader {
    const QByteArray& Bytes;
    qsizetype Pos = 0;
    bool Ok = true;

    quint32 U32() {
        if (Bytes.size() - Pos < 4) {
            Ok = false;
            return 0;
        }
        const quint32 v = qFromLittleEndian<quint32>(Bytes.constData() + Pos);
        Pos += 4;
        return v;
    }
    const char* Take(qint64 size) {
        if (size < 0 || Bytes.size() - Pos < size) {
            Ok = false;
            return nullptr;
        }
        const char* p = Bytes.constData() + Pos;
        Pos += size;
        return p;
    }
};

} // namespace

TRpTextIndex::TRpTextIndex() {
    Clear();
}

void TRpTextIndex::Clear() {
    Text.clear();
    Folded.clear();
    PageStart.assign(1, 0);
    PageItem.assign(1, 0);
    Items.clear();
    Fonts.clear();
    FontCache.clear();
    CurrentFont = 0;
    Open = false;
}

void TRpTextIndex::BeginPage() {
    Open = true;
}

void TRpTextIndex::SetFont(const QFont& font) {
    const QString key = font.toString();
    const qsizetype found = Fonts.indexOf(key);
    if (found >= 0) {
        CurrentFont = int(found);
        return;
    }
    if (Fonts.size() >= 0xFFFF)
        return; // keeps the last font: only the highlight's width suffers
    Fonts.append(key);
    FontCache.push_back(font);
    CurrentFont = int(Fonts.size()) - 1;
}

void TRpTextIndex::AddText(const QRectF& rect, const QString& text) {
    if (text.isEmpty())
        return;
    auto unit = [](double v) { return quint16(std::clamp(qRound(v * Units), 0, 0xFFFF)); };
    // Both copies grow by doubling, so a long report appends in amortised
    // constant time.
    const qsizetype needed = Text.size() + text.size() + text.size() / 0xFFFF + 1;
    if (needed > Text.capacity()) {
        const qsizetype capacity = std::max<qsizetype>(needed, Text.capacity() * 2);
        Text.reserve(capacity);
        Folded.reserve(capacity);
    }
    // An item holds at most 65535 characters; a longer line (never drawn
    // by a report in practice) goes in several items over the same place.
    for (qsizetype from = 0; from < text.size(); from += 0xFFFF) {
        const qsizetype length = std::min<qsizetype>(0xFFFF, text.size() - from);
        TStoredItem item;
        item.X = unit(rect.x());
        item.Y = unit(rect.y());
        item.W = unit(rect.width());
        item.H = unit(rect.height());
        item.Length = quint16(length);
        item.Font = quint16(CurrentFont);
        Items.push_back(item);
        const qsizetype at = Text.size();
        Text.resize(at + length + 1);
        Folded.resize(at + length + 1);
        QChar* plain = Text.data() + at;
        QChar* out = Folded.data() + at;
        const QChar* in = text.constData() + from;
        for (qsizetype i = 0; i < length; ++i) {
            QChar c = in[i];
            if (c == u'\n' || c == u'\r' || c == u'\t')
                c = QChar(u' ');
            plain[i] = c;
            out[i] = FoldChar(c);
        }
        plain[length] = QChar(Separator);
        out[length] = QChar(Separator);
    }
}

void TRpTextIndex::EndPage() {
    PageStart.push_back(quint32(Text.size()));
    PageItem.push_back(quint32(Items.size()));
    Open = false;
}

QString TRpTextIndex::PageText(int n) const {
    if (n < 1 || n > PageCount())
        return QString();
    return Text.mid(PageStart[size_t(n - 1)], PageStart[size_t(n)] - PageStart[size_t(n - 1)]);
}

QRectF TRpTextIndex::ItemRect(const TStoredItem& item) const {
    return QRectF(item.X / Units, item.Y / Units, item.W / Units, item.H / Units);
}

std::vector<TRpTextIndex::TItem> TRpTextIndex::PageItems(int n) const {
    std::vector<TItem> items;
    if (n < 1 || n > PageCount())
        return items;
    qint64 at = PageStart[size_t(n - 1)];
    for (quint32 i = PageItem[size_t(n - 1)]; i < PageItem[size_t(n)]; ++i) {
        const TStoredItem& item = Items[i];
        items.push_back({Text.mid(at, item.Length), ItemRect(item)});
        at += item.Length + 1;
    }
    return items;
}

QString TRpTextIndex::ReadingText(int n, const QRectF& area) const {
    std::vector<TItem> items = PageItems(n);
    if (!area.isNull())
        items.erase(std::remove_if(items.begin(), items.end(),
                                   [&](const TItem& i) { return !area.contains(i.Rect.center()); }),
                    items.end());
    std::stable_sort(items.begin(), items.end(),
                     [](const TItem& a, const TItem& b) { return a.Rect.top() < b.Rect.top(); });
    // Items whose middles lie within the first one's height share a line.
    QString out;
    size_t i = 0;
    while (i < items.size()) {
        const TItem& first = items[i];
        size_t end = i + 1;
        while (end < items.size() && items[end].Rect.center().y() < first.Rect.bottom() &&
               items[end].Rect.center().y() > first.Rect.top())
            ++end;
        std::stable_sort(
            items.begin() + qsizetype(i), items.begin() + qsizetype(end),
            [](const TItem& a, const TItem& b) { return a.Rect.left() < b.Rect.left(); });
        for (size_t k = i; k < end; ++k) {
            if (k > i)
                out += u'\t';
            out += items[k].Text;
        }
        out += u'\n';
        i = end;
    }
    return out;
}

QString TRpTextIndex::Fold(const QString& text) {
    QString folded(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == u'\n' || c == u'\r' || c == u'\t')
            c = QChar(u' ');
        folded[i] = FoldChar(c);
    }
    return folded;
}

bool TRpTextIndex::WordBounded(qint64 at, qint64 length) const {
    if (at > 0 && IsWordChar(Folded[at - 1]) && IsWordChar(Folded[at]))
        return false;
    const qint64 end = at + length;
    if (end < Folded.size() && IsWordChar(Folded[end]) && IsWordChar(Folded[end - 1]))
        return false;
    return true;
}

// The first match of an already folded needle in [from, to), or -1.
qint64 TRpTextIndex::Find(const QString& folded, bool wholeWords, qint64 from, qint64 to) const {
    const QStringView hay = QStringView(Folded).first(to);
    while (from < to) {
        const qint64 at = hay.indexOf(folded, from);
        if (at < 0)
            return -1;
        if (!wholeWords || WordBounded(at, folded.size()))
            return at;
        from = at + 1;
    }
    return -1;
}

std::vector<quint32> TRpTextIndex::FindAll(const QString& needle, bool wholeWords,
                                           int fromPage) const {
    std::vector<quint32> found;
    const QString folded = Fold(needle);
    if (folded.isEmpty())
        return found;
    const qint64 end = PageStart.back();
    qint64 from = PageOffset(fromPage);
    while (true) {
        const qint64 at = Find(folded, wholeWords, from, end);
        if (at < 0)
            break;
        found.push_back(quint32(at));
        from = at + folded.size();
    }
    return found;
}

int TRpTextIndex::PageOf(qint64 offset) const {
    const auto it = std::upper_bound(PageStart.begin(), PageStart.end(), quint32(offset));
    return int(it - PageStart.begin());
}

TRpTextIndex::TMatch TRpTextIndex::MatchAt(quint32 offset, int length) const {
    TMatch match;
    match.Page = PageOf(offset);
    if (match.Page < 1 || match.Page > PageCount())
        return TMatch();
    const quint32 pageStart = PageStart[size_t(match.Page - 1)];
    match.Offset = int(offset - pageStart);
    match.Length = length;
    quint32 at = pageStart;
    const quint32 first = PageItem[size_t(match.Page - 1)];
    for (quint32 i = first; i < PageItem[size_t(match.Page)]; ++i) {
        const quint32 next = at + Items[i].Length + 1;
        if (offset < next) {
            match.Item = int(i - first);
            break;
        }
        at = next;
    }
    return match;
}

TRpTextIndex::TMatch TRpTextIndex::FindFirst(const QString& needle, bool wholeWords, int from,
                                             bool wrap) const {
    const QString folded = Fold(needle);
    const int pages = PageCount();
    if (folded.isEmpty() || pages == 0)
        return TMatch();
    from = std::clamp(from, 1, pages);
    qint64 at = Find(folded, wholeWords, PageStart[size_t(from - 1)], PageStart.back());
    if (at < 0 && wrap && from > 1)
        at = Find(folded, wholeWords, 0, PageStart[size_t(from - 1)]);
    return at < 0 ? TMatch() : MatchAt(quint32(at), int(folded.size()));
}

std::vector<TRpTextIndex::TMatch> TRpTextIndex::PageMatches(int n, const QString& needle,
                                                            bool wholeWords) const {
    std::vector<TMatch> matches;
    const QString folded = Fold(needle);
    if (folded.isEmpty() || n < 1 || n > PageCount())
        return matches;
    const qint64 end = PageStart[size_t(n)];
    qint64 from = PageStart[size_t(n - 1)];
    while (true) {
        const qint64 at = Find(folded, wholeWords, from, end);
        if (at < 0)
            break;
        matches.push_back(MatchAt(quint32(at), int(folded.size())));
        from = at + folded.size();
    }
    return matches;
}

QRectF TRpTextIndex::MatchRect(const TMatch& match) const {
    if (match.Page < 1 || match.Page > PageCount())
        return QRectF();
    const quint32 index = PageItem[size_t(match.Page - 1)] + quint32(match.Item);
    if (index >= PageItem[size_t(match.Page)])
        return QRectF();
    const TStoredItem& item = Items[index];
    const QRectF rect = ItemRect(item);
    quint32 start = PageStart[size_t(match.Page - 1)];
    for (quint32 i = PageItem[size_t(match.Page - 1)]; i < index; ++i)
        start += Items[i].Length + 1;
    const QString text = Text.mid(start, item.Length);
    const int from =
        std::clamp(int(PageStart[size_t(match.Page - 1)] + quint32(match.Offset) - start), 0,
                   int(text.size()));
    const int to = std::clamp(from + match.Length, from, int(text.size()));
    if (size_t(item.Font) >= FontCache.size())
        return rect;
    // The item's own width is the truth; the font only says how it is shared
    // out among the characters.
    const QFontMetricsF metrics(FontCache[item.Font]);
    const double full = metrics.horizontalAdvance(text);
    if (full <= 0)
        return rect;
    const double scale = rect.width() / full;
    const double x0 = metrics.horizontalAdvance(text.left(from)) * scale;
    const double x1 = metrics.horizontalAdvance(text.left(to)) * scale;
    return QRectF(rect.x() + x0, rect.y(), x1 - x0, rect.height());
}

QByteArray TRpTextIndex::ToBytes() const {
    QByteArray out;
    const qsizetype pages = PageCount();
    out.reserve(32 + qsizetype(Items.size()) * 12 + Text.size() * 2 + pages * 8);
    PutU32(out, IndexMagic);
    PutU32(out, IndexVersion);
    PutU32(out, quint32(pages));
    PutU32(out, quint32(Items.size()));
    PutU32(out, quint32(PageStart.back()));
    PutU32(out, quint32(Fonts.size()));
    for (const QString& font : Fonts) {
        PutU32(out, quint32(font.size()));
        for (QChar c : font) {
            char b[2];
            qToLittleEndian(quint16(c.unicode()), b);
            out.append(b, 2);
        }
    }
    for (qsizetype p = 1; p <= pages; ++p) {
        PutU32(out, PageStart[size_t(p)]);
        PutU32(out, PageItem[size_t(p)]);
    }
    const qsizetype itemsAt = out.size();
    out.resize(itemsAt + qsizetype(Items.size()) * 12);
    char* w = out.data() + itemsAt;
    for (const TStoredItem& item : Items) {
        const quint16 v[6] = {item.X, item.Y, item.W, item.H, item.Length, item.Font};
        qToLittleEndian<quint16>(v, 6, w);
        w += 12;
    }
    const qsizetype textAt = out.size();
    const qsizetype textChars = PageStart.back();
    out.resize(textAt + textChars * 2);
    qToLittleEndian<quint16>(Text.utf16(), textChars, out.data() + textAt);
    return out;
}

// Everything is checked before it is believed: counts against the bytes
// there are, page offsets rising, every item's text ending in its separator,
// so a damaged index is refused as a whole rather than misplacing matches.
bool TRpTextIndex::FromBytes(const QByteArray& bytes) {
    Clear();
    TReader r{bytes};
    if (r.U32() != IndexMagic || r.U32() != IndexVersion)
        return false;
    const quint32 pages = r.U32();
    const quint32 itemCount = r.U32();
    const quint32 textChars = r.U32();
    const quint32 fontCount = r.U32();
    if (!r.Ok || fontCount > 0xFFFF || qint64(itemCount) * 12 > bytes.size() ||
        qint64(textChars) * 2 > bytes.size() || qint64(pages) * 8 > bytes.size())
        return false;
    QStringList fonts;
    std::vector<QFont> cache;
    for (quint32 f = 0; f < fontCount; ++f) {
        const quint32 length = r.U32();
        const char* p = r.Take(qint64(length) * 2);
        if (!r.Ok)
            return false;
        QString name(length, Qt::Uninitialized);
        qFromLittleEndian<quint16>(p, length, name.data());
        QFont font;
        if (!font.fromString(name))
            return false;
        fonts.append(name);
        cache.push_back(font);
    }
    std::vector<quint32> pageStart(1, 0), pageItem(1, 0);
    for (quint32 p = 0; p < pages; ++p) {
        const quint32 start = r.U32();
        const quint32 item = r.U32();
        if (!r.Ok || start < pageStart.back() || item < pageItem.back() || start > textChars ||
            item > itemCount)
            return false;
        pageStart.push_back(start);
        pageItem.push_back(item);
    }
    if (pageStart.back() != textChars || pageItem.back() != itemCount)
        return false;
    std::vector<TStoredItem> items(itemCount);
    const char* itemBytes = r.Take(qint64(itemCount) * 12);
    const char* textBytes = r.Take(qint64(textChars) * 2);
    if (!r.Ok || r.Pos != bytes.size())
        return false;
    for (quint32 i = 0; i < itemCount; ++i) {
        quint16 v[6];
        qFromLittleEndian<quint16>(itemBytes + qsizetype(i) * 12, 6, v);
        items[i] = {v[0], v[1], v[2], v[3], v[4], v[5]};
        if (v[5] >= fontCount && fontCount > 0)
            return false;
    }
    QString text(textChars, Qt::Uninitialized);
    qFromLittleEndian<quint16>(textBytes, textChars, text.data());
    const ushort* chars = text.utf16();
    for (quint32 p = 0; p < pages; ++p) {
        quint32 at = pageStart[p];
        for (quint32 i = pageItem[p]; i < pageItem[p + 1]; ++i) {
            at += items[i].Length;
            if (items[i].Length == 0 || at >= pageStart[p + 1] || chars[at] != ushort(Separator))
                return false;
            ++at;
        }
        if (at != pageStart[p + 1])
            return false;
    }
    // Line breaks inside items were made blanks when they were added, so
    // the folded copy keeps the separators as they are.
    QString folded(text.size(), Qt::Uninitialized);
    QChar* out = folded.data();
    const QChar* in = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = FoldChar(in[i]);
    Folded = std::move(folded);
    Text = std::move(text);
    PageStart = std::move(pageStart);
    PageItem = std::move(pageItem);
    Items = std::move(items);
    Fonts = std::move(fonts);
    FontCache = std::move(cache);
    return true;
}

namespace {

// The engine of the collecting device: text items are noted with their
// rectangles; everything else is dropped.
class TTextEngine : public QPaintEngine {
public:
    TTextEngine(TRpTextIndex& index, double pointsPerPixel)
        : QPaintEngine(QPaintEngine::AllFeatures), Index(index), Scale(pointsPerPixel) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override {
        Flush();
        return true;
    }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState& state) override {
        if (state.state() & QPaintEngine::DirtyTransform)
            Transform = state.transform();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {
    }
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawRects(const QRectF*, int) override {}
    void drawRects(const QRect*, int) override {}
    void drawLines(const QLineF*, int) override {}
    void drawLines(const QLine*, int) override {}
    void drawEllipse(const QRectF&) override {}
    void drawPoints(const QPointF*, int) override {}

    // One drawn line of text may come as several items (a run of each
    // script); pieces that continue one another on the same baseline are
    // joined again.
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QString text = item.text();
        if (text.isEmpty())
            return;
        const QRectF local(p.x(), p.y() - item.ascent(), item.width(),
                           item.ascent() + item.descent());
        const QRectF mapped = Transform.mapRect(local);
        const QRectF rect(mapped.x() * Scale, mapped.y() * Scale, mapped.width() * Scale,
                          mapped.height() * Scale);
        if (!PendingText.isEmpty() && std::abs(rect.top() - PendingRect.top()) < 0.05 &&
            std::abs(rect.left() - PendingRect.right()) < 0.5) {
            PendingText += text;
            PendingRect = PendingRect.united(rect);
            return;
        }
        Flush();
        PendingText = text;
        PendingRect = rect;
        PendingFont = item.font();
    }

    void Flush() {
        if (PendingText.isEmpty())
            return;
        Index.SetFont(PendingFont);
        Index.AddText(PendingRect, PendingText);
        PendingText.clear();
    }

private:
    TRpTextIndex& Index;
    double Scale;
    QTransform Transform;
    QString PendingText;
    QRectF PendingRect;
    QFont PendingFont;
};

class TTextDevice : public QPaintDevice {
public:
    TTextDevice(TTextEngine& engine, const QSizeF& size, double dpi)
        : Engine(engine), Size(size), Dpi(dpi) {}
    ~TTextDevice() override = default;
    QPaintEngine* paintEngine() const override { return &Engine; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth:
            return qRound(Size.width());
        case PdmHeight:
            return qRound(Size.height());
        case PdmWidthMM:
            return qRound(Size.width() * 25.4 / Dpi);
        case PdmHeightMM:
            return qRound(Size.height() * 25.4 / Dpi);
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return qRound(Dpi);
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    TTextEngine& Engine;
    QSizeF Size;
    double Dpi;
};

} // namespace

void TRpTextCollector::CollectPage(TRpTextIndex& index, const QSizeF& paperPixels, double dpi,
                                   const TDraw& draw) {
    index.BeginPage();
    TTextEngine engine(index, 72.0 / dpi);
    TTextDevice device(engine, paperPixels, dpi);
    QPainter painter;
    if (painter.begin(&device)) {
        draw(painter, QRectF(QPointF(0, 0), paperPixels));
        painter.end();
    }
    index.EndPage();
}
