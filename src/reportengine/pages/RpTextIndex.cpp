#include "RpTextIndex.h"

#include "Exception.h"
#include "RpStream.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr char16_t Separator = u'\n';
constexpr quint32 IndexMagic = 0x49545856; // "VXTI"
constexpr quint32 IndexVersion = 1;
constexpr qint64 ItemBytes = 12;
// Bytes read at a time when an index is checked or copied.
constexpr qint64 BlockBytes = 1 << 20;

// Folding of the Latin and Cyrillic blocks from a table; other characters
// ask Unicode.
struct TFoldTable {
    char16_t Low[0x500];
    TFoldTable() {
        for (char16_t u = 0; u < 0x500; ++u)
            Low[u] = QChar(u).toCaseFolded().unicode();
    }
};

const TFoldTable& FoldTable() {
    static const TFoldTable table;
    return table;
}

inline QChar FoldChar(const TFoldTable& table, QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x500)
        return QChar(table.Low[u]);
    return c.toCaseFolded();
}

void FoldInPlace(QChar* text, qsizetype size) {
    const TFoldTable& table = FoldTable();
    for (qsizetype i = 0; i < size; ++i)
        text[i] = FoldChar(table, text[i]);
}

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

void PutU32(QByteArray& out, quint32 value) {
    char b[4];
    qToLittleEndian(value, b);
    out.append(b, 4);
}

// Slice-by-8 tables of the reflected zip polynomial: eight bytes a step.
struct TCrcTables {
    quint32 T[8][256];
    TCrcTables() {
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            T[0][i] = c;
        }
        for (quint32 i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s)
                T[s][i] = (T[s - 1][i] >> 8) ^ T[0][T[s - 1][i] & 0xFF];
    }
};

std::unique_ptr<TRpStream> NewStore() {
    return std::make_unique<TRpStream>(TRpTextIndex::StoreLimit);
}

// Reads size bytes at offset at of stream.
QByteArray ReadAt(TRpStream& stream, qint64 at, qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    if (size > 0) {
        stream.Seek(at);
        stream.ReadExact(bytes.data(), size);
    }
    return bytes;
}

} // namespace

quint32 TRpTextIndex::Crc32(const char* data, qint64 size, quint32 crc) {
    static const TCrcTables tables;
    const auto& t = tables.T;
    const auto* p = reinterpret_cast<const uchar*>(data);
    crc = ~crc;
    while (size >= 8) {
        const quint32 a = qFromLittleEndian<quint32>(p) ^ crc;
        const quint32 b = qFromLittleEndian<quint32>(p + 4);
        crc = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
              t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0)
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

TRpTextIndex::TRpTextIndex() {
    Clear();
}

TRpTextIndex::~TRpTextIndex() = default;
TRpTextIndex::TRpTextIndex(TRpTextIndex&&) noexcept = default;
TRpTextIndex& TRpTextIndex::operator=(TRpTextIndex&&) noexcept = default;

void TRpTextIndex::Clear() {
    PageStart.assign(1, 0);
    PageItem.assign(1, 0);
    ItemStore.reset();
    TextStore.reset();
    ItemBase = TextBase = 0;
    ReadOnly = false;
    OpenItems.clear();
    OpenText.clear();
    Fonts.clear();
    FontCache.clear();
    CurrentFont = 0;
    Open = false;
}

bool TRpTextIndex::OnFile() const {
    return (ItemStore && !ItemStore->InMemory()) || (TextStore && !TextStore->InMemory());
}

void TRpTextIndex::OwnStores() {
    std::shared_ptr<TRpStream> items = NewStore();
    std::shared_ptr<TRpStream> text = NewStore();
    const qint64 itemBytes = qint64(PageItem.back()) * ItemBytes;
    const qint64 textBytes = qint64(PageStart.back()) * 2;
    for (qint64 done = 0; done < itemBytes; done += BlockBytes)
        items->Write(ReadAt(*ItemStore, ItemBase + done, std::min(BlockBytes, itemBytes - done)));
    for (qint64 done = 0; done < textBytes; done += BlockBytes)
        text->Write(ReadAt(*TextStore, TextBase + done, std::min(BlockBytes, textBytes - done)));
    ItemStore = std::move(items);
    TextStore = std::move(text);
    ItemBase = TextBase = 0;
    ReadOnly = false;
}

void TRpTextIndex::EnsureStores() {
    if (ReadOnly)
        OwnStores();
    if (!ItemStore) {
        ItemStore = NewStore();
        TextStore = NewStore();
    }
}

void TRpTextIndex::BeginPage() {
    EnsureStores();
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
    // An item holds at most 65535 characters; a longer line (never drawn
    // by a report in practice) goes in several items over the same place.
    for (qsizetype from = 0; from < text.size(); from += 0xFFFF) {
        const qsizetype length = std::min<qsizetype>(0xFFFF, text.size() - from);
        const quint16 v[6] = {unit(rect.x()),      unit(rect.y()),  unit(rect.width()),
                              unit(rect.height()), quint16(length), quint16(CurrentFont)};
        const qsizetype itemAt = OpenItems.size();
        OpenItems.resize(itemAt + ItemBytes);
        qToLittleEndian<quint16>(v, 6, OpenItems.data() + itemAt);
        const qsizetype at = OpenText.size();
        OpenText.resize(at + (length + 1) * 2);
        char* out = OpenText.data() + at;
        const QChar* in = text.constData() + from;
        for (qsizetype i = 0; i < length; ++i) {
            QChar c = in[i];
            if (c == u'\n' || c == u'\r' || c == u'\t')
                c = QChar(u' ');
            qToLittleEndian<quint16>(c.unicode(), out + i * 2);
        }
        qToLittleEndian<quint16>(quint16(Separator), out + length * 2);
    }
}

void TRpTextIndex::EndPage() {
    EnsureStores();
    const qint64 items = qint64(PageItem.back()) + OpenItems.size() / ItemBytes;
    const qint64 chars = qint64(PageStart.back()) + OpenText.size() / 2;
    // Offsets are 32-bit (as in the file): a page past them adds no text.
    if (items <= 0xFFFFFFFFLL && chars <= 0xFFFFFFFFLL) {
        ItemStore->Seek(ItemBase + qint64(PageItem.back()) * ItemBytes);
        ItemStore->Write(OpenItems);
        TextStore->Seek(TextBase + qint64(PageStart.back()) * 2);
        TextStore->Write(OpenText);
        PageStart.push_back(quint32(chars));
        PageItem.push_back(quint32(items));
    } else {
        PageStart.push_back(PageStart.back());
        PageItem.push_back(PageItem.back());
    }
    OpenItems.clear();
    OpenText.clear();
    Open = false;
}

std::vector<TRpTextIndex::TStoredItem> TRpTextIndex::ReadItems(quint32 first, quint32 count) const {
    std::vector<TStoredItem> items(count);
    if (count == 0 || !ItemStore)
        return {};
    const QByteArray bytes =
        ReadAt(*ItemStore, ItemBase + qint64(first) * ItemBytes, qint64(count) * ItemBytes);
    for (quint32 i = 0; i < count; ++i) {
        quint16 v[6];
        qFromLittleEndian<quint16>(bytes.constData() + qsizetype(i) * ItemBytes, 6, v);
        items[i] = {v[0], v[1], v[2], v[3], v[4], v[5]};
    }
    return items;
}

QString TRpTextIndex::ReadText(qint64 from, qint64 count) const {
    if (count <= 0 || !TextStore)
        return QString();
    const QByteArray bytes = ReadAt(*TextStore, TextBase + from * 2, count * 2);
    QString text(count, Qt::Uninitialized);
    qFromLittleEndian<quint16>(bytes.constData(), count, text.data());
    return text;
}

QString TRpTextIndex::PageText(int n) const {
    if (n < 1 || n > PageCount())
        return QString();
    return ReadText(PageStart[size_t(n - 1)], PageStart[size_t(n)] - PageStart[size_t(n - 1)]);
}

QRectF TRpTextIndex::ItemRect(const TStoredItem& item) const {
    return QRectF(item.X / Units, item.Y / Units, item.W / Units, item.H / Units);
}

std::vector<TRpTextIndex::TItem> TRpTextIndex::PageItems(int n) const {
    std::vector<TItem> items;
    if (n < 1 || n > PageCount())
        return items;
    const QString text = PageText(n);
    const quint32 first = PageItem[size_t(n - 1)];
    qsizetype at = 0;
    for (const TStoredItem& item : ReadItems(first, PageItem[size_t(n)] - first)) {
        items.push_back({text.mid(at, item.Length), ItemRect(item)});
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
        folded[i] = c;
    }
    FoldInPlace(folded.data(), folded.size());
    return folded;
}

// Hands take every match of an already folded needle starting in [from,
// to), in order and not overlapping, until take returns false. The text is
// read and folded a chunk at a time, each with the character before and
// after it so whole words are judged as over the whole text; consecutive
// chunks overlap by the needle's length. Chunks start small (the first
// match is usually near) and double up to ChunkChars.
void TRpTextIndex::Scan(const QString& folded, bool wholeWords, qint64 from, qint64 to,
                        const std::function<bool(qint64)>& take) const {
    const qint64 size = folded.size();
    const qint64 textEnd = PageStart.back();
    to = std::min(to, textEnd);
    qint64 step = 8192;
    while (from >= 0 && size > 0 && from + size <= to) {
        const qint64 end = std::min(to, from + step + size - 1);
        const qint64 low = from > 0 ? from - 1 : 0;
        const qint64 high = std::min(end + 1, textEnd);
        QString hay = ReadText(low, high - low);
        FoldInPlace(hay.data(), hay.size());
        const QStringView view(hay);
        const QStringView within = view.first(end - low);
        qint64 next = from + step;
        for (qint64 at = from - low;;) {
            const qint64 found = within.indexOf(folded, at);
            if (found < 0)
                break;
            const qint64 after = found + size;
            const bool bounded =
                !wholeWords ||
                (!(found > 0 && IsWordChar(view[found - 1]) && IsWordChar(view[found])) &&
                 !(after < view.size() && IsWordChar(view[after]) && IsWordChar(view[after - 1])));
            if (!bounded) {
                at = found + 1;
                continue;
            }
            if (!take(low + found))
                return;
            at = after;
            next = std::max(next, low + after);
        }
        from = next;
        step = std::min(step * 2, ChunkChars);
    }
}

qint64 TRpTextIndex::Find(const QString& folded, bool wholeWords, qint64 from, qint64 to) const {
    qint64 first = -1;
    Scan(folded, wholeWords, from, to, [&](qint64 at) {
        first = at;
        return false;
    });
    return first;
}

std::vector<quint32> TRpTextIndex::FindAll(const QString& needle, bool wholeWords,
                                           int fromPage) const {
    std::vector<quint32> found;
    const QString folded = Fold(needle);
    if (folded.isEmpty())
        return found;
    Scan(folded, wholeWords, PageOffset(fromPage), PageStart.back(), [&](qint64 at) {
        found.push_back(quint32(at));
        return true;
    });
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
    const std::vector<TStoredItem> items = ReadItems(first, PageItem[size_t(match.Page)] - first);
    for (size_t i = 0; i < items.size(); ++i) {
        const quint32 next = at + items[i].Length + 1;
        if (offset < next) {
            match.Item = int(i);
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
    Scan(folded, wholeWords, PageStart[size_t(n - 1)], PageStart[size_t(n)], [&](qint64 at) {
        matches.push_back(MatchAt(quint32(at), int(folded.size())));
        return true;
    });
    return matches;
}

QRectF TRpTextIndex::MatchRect(const TMatch& match) const {
    if (match.Page < 1 || match.Page > PageCount())
        return QRectF();
    const quint32 firstItem = PageItem[size_t(match.Page - 1)];
    const quint32 index = firstItem + quint32(match.Item);
    if (match.Item < 0 || index >= PageItem[size_t(match.Page)])
        return QRectF();
    const std::vector<TStoredItem> items = ReadItems(firstItem, quint32(match.Item) + 1);
    const TStoredItem& item = items.back();
    const QRectF rect = ItemRect(item);
    qint64 start = 0;
    for (size_t i = 0; i + 1 < items.size(); ++i)
        start += items[i].Length + 1;
    const QString text = ReadText(PageStart[size_t(match.Page - 1)] + start, item.Length);
    const int from = int(std::clamp<qint64>(qint64(match.Offset) - start, 0, text.size()));
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

qint64 TRpTextIndex::ByteSize() const {
    qint64 size = 24 + qint64(PageCount()) * 8 + qint64(PageItem.back()) * ItemBytes +
                  qint64(PageStart.back()) * 2;
    for (const QString& font : Fonts)
        size += 4 + qint64(font.size()) * 2;
    return size;
}

qint64 TRpTextIndex::WriteTo(QIODevice& out, quint32* crc) const {
    quint32 sum = 0;
    qint64 written = 0;
    const auto put = [&](const QByteArray& bytes) {
        sum = Crc32(bytes.constData(), bytes.size(), sum);
        written += bytes.size();
        return out.write(bytes) == bytes.size();
    };
    const qsizetype pages = PageCount();
    QByteArray head;
    PutU32(head, IndexMagic);
    PutU32(head, IndexVersion);
    PutU32(head, quint32(pages));
    PutU32(head, PageItem.back());
    PutU32(head, PageStart.back());
    PutU32(head, quint32(Fonts.size()));
    for (const QString& font : Fonts) {
        PutU32(head, quint32(font.size()));
        for (QChar c : font) {
            char b[2];
            qToLittleEndian(quint16(c.unicode()), b);
            head.append(b, 2);
        }
    }
    for (qsizetype p = 1; p <= pages; ++p) {
        PutU32(head, PageStart[size_t(p)]);
        PutU32(head, PageItem[size_t(p)]);
    }
    if (!put(head))
        return -1;
    const qint64 itemBytes = qint64(PageItem.back()) * ItemBytes;
    const qint64 textBytes = qint64(PageStart.back()) * 2;
    for (qint64 done = 0; done < itemBytes; done += BlockBytes)
        if (!put(ReadAt(*ItemStore, ItemBase + done, std::min(BlockBytes, itemBytes - done))))
            return -1;
    for (qint64 done = 0; done < textBytes; done += BlockBytes)
        if (!put(ReadAt(*TextStore, TextBase + done, std::min(BlockBytes, textBytes - done))))
            return -1;
    if (crc)
        *crc = sum;
    return written;
}

QByteArray TRpTextIndex::ToBytes() const {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    WriteTo(buffer, nullptr);
    return bytes;
}

bool TRpTextIndex::FromBytes(const QByteArray& bytes) {
    auto stream = std::make_shared<TRpStream>(std::max<qint64>(StoreLimit, bytes.size()));
    stream->Write(bytes);
    return Load(stream, 0, bytes.size(), nullptr);
}

bool TRpTextIndex::Load(const std::shared_ptr<TRpStream>& file, qint64 at, qint64 length,
                        quint32 crc) {
    return Load(file, at, length, &crc);
}

// Everything is checked before it is believed: counts against the bytes
// there are, page offsets rising, every page's items adding up to its text
// and its text holding one separator an item, ending in one, so a damaged
// index is refused as a whole rather than misplacing matches. The items and
// the text are read a block at a time: only the page table is kept.
bool TRpTextIndex::Load(const std::shared_ptr<TRpStream>& file, qint64 at, qint64 length,
                        const quint32* crc) {
    Clear();
    try {
        if (!file || at < 0 || length < 24 || at + length > file->Size())
            return false;
        quint32 sum = 0;
        qint64 pos = at;
        const qint64 end = at + length;
        const auto take = [&](qint64 size) {
            if (size < 0 || end - pos < size)
                throw false;
            QByteArray bytes = ReadAt(*file, pos, size);
            pos += size;
            sum = Crc32(bytes.constData(), bytes.size(), sum);
            return bytes;
        };
        const auto u32 = [&] { return qFromLittleEndian<quint32>(take(4).constData()); };
        if (u32() != IndexMagic || u32() != IndexVersion)
            return false;
        const quint32 pages = u32();
        const quint32 itemCount = u32();
        const quint32 textChars = u32();
        const quint32 fontCount = u32();
        if (fontCount > 0xFFFF ||
            qint64(pages) * 8 + qint64(itemCount) * ItemBytes + qint64(textChars) * 2 > end - pos)
            return false;
        QStringList fonts;
        std::vector<QFont> cache;
        for (quint32 f = 0; f < fontCount; ++f) {
            const quint32 size = u32();
            const QByteArray bytes = take(qint64(size) * 2);
            QString name(size, Qt::Uninitialized);
            qFromLittleEndian<quint16>(bytes.constData(), size, name.data());
            QFont font;
            if (!font.fromString(name))
                return false;
            fonts.append(name);
            cache.push_back(font);
        }
        std::vector<quint32> pageStart(1, 0), pageItem(1, 0);
        pageStart.reserve(size_t(pages) + 1);
        pageItem.reserve(size_t(pages) + 1);
        const QByteArray table = take(qint64(pages) * 8);
        for (quint32 p = 0; p < pages; ++p) {
            const quint32 start = qFromLittleEndian<quint32>(table.constData() + p * 8);
            const quint32 item = qFromLittleEndian<quint32>(table.constData() + p * 8 + 4);
            if (start < pageStart.back() || item < pageItem.back() || start > textChars ||
                item > itemCount)
                return false;
            pageStart.push_back(start);
            pageItem.push_back(item);
        }
        if (pageStart.back() != textChars || pageItem.back() != itemCount ||
            end - pos != qint64(itemCount) * ItemBytes + qint64(textChars) * 2)
            return false;

        // The items: each one's text with its separator fills its page's
        // text exactly.
        const qint64 itemsAt = pos;
        size_t page = 1;
        qint64 pageChars = 0;
        for (quint32 done = 0; done < itemCount;) {
            const quint32 count =
                quint32(std::min<qint64>(BlockBytes / ItemBytes, itemCount - done));
            const QByteArray bytes = take(qint64(count) * ItemBytes);
            for (quint32 i = 0; i < count; ++i, ++done) {
                while (pageItem[page] <= done) { // pages before this item end here
                    if (pageChars != qint64(pageStart[page]) - pageStart[page - 1])
                        return false;
                    pageChars = 0;
                    ++page;
                }
                const char* item = bytes.constData() + qsizetype(i) * ItemBytes;
                const quint16 itemLength = qFromLittleEndian<quint16>(item + 8);
                const quint16 itemFont = qFromLittleEndian<quint16>(item + 10);
                if (itemLength == 0 || (itemFont >= fontCount && fontCount > 0))
                    return false;
                pageChars += itemLength + 1;
            }
        }
        for (; page <= pages; ++page) {
            if (pageChars != qint64(pageStart[page]) - pageStart[page - 1])
                return false;
            pageChars = 0;
        }

        // The text: every page holds one separator an item and ends in one.
        const qint64 textAt = pos;
        page = 1;
        quint32 separators = 0;
        for (qint64 done = 0; done < textChars;) {
            const qint64 count = std::min<qint64>(BlockBytes / 2, textChars - done);
            const QByteArray bytes = take(count * 2);
            const char* chars = bytes.constData();
            const auto charAt = [&](qint64 i) { return qFromLittleEndian<quint16>(chars + i * 2); };
            // A page's part of the block at a time: its separators counted,
            // its last character checked when it ends here.
            for (qint64 i = 0; i < count;) {
                while (pageStart[page] <= done + i) {
                    if (separators != pageItem[page] - pageItem[page - 1])
                        return false;
                    separators = 0;
                    ++page;
                }
                const qint64 stop = std::min<qint64>(count, qint64(pageStart[page]) - done);
                quint32 found = 0;
                for (qint64 k = i; k < stop; ++k)
                    found += charAt(k) == quint16(Separator) ? 1 : 0;
                separators += found;
                if (done + stop == pageStart[page] && charAt(stop - 1) != quint16(Separator))
                    return false; // a page's last character is a separator
                i = stop;
            }
            done += count;
        }
        for (; page <= pages; ++page) {
            if (separators != pageItem[page] - pageItem[page - 1])
                return false;
            separators = 0;
        }
        if (pos != end || (crc && sum != *crc))
            return false;

        PageStart = std::move(pageStart);
        PageItem = std::move(pageItem);
        ItemStore = file;
        TextStore = file;
        ItemBase = itemsAt;
        TextBase = textAt;
        ReadOnly = true;
        Fonts = std::move(fonts);
        FontCache = std::move(cache);
        return true;
    } catch (bool) {
        Clear();
        return false;
    } catch (const Exception&) {
        Clear();
        return false;
    }
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
