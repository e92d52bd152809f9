#pragma once
// The text of a report's pages with where it stands: what the printables drew
// (labels, data texts, expressions, system data), one item per drawn line of
// text with its rectangle in points (1/72 inch) from the paper's top-left
// corner. The page store keeps one beside its pages; it is filled while a
// report is prepared, saved after the last page record of a report file and
// read back with it, or rebuilt by replaying the pages of a file that has
// none (TRpTextCollector).
//
// Pages are added in order, so a search may run while a report is still being
// prepared: it sees the pages complete so far. All the text is one UTF-16
// sequence, each item followed by a line feed; a search folds the needle once
// and scans the text folded chunk by chunk, and a needle never reaches across
// two items (it holds no line feed), so text split over two printables is
// never one match.
//
// Only the page table (two numbers a page) and the fonts live in memory. The
// items and the text of complete pages are kept as bytes in the form the
// report file holds them: in memory while small, in a temporary file past
// StoreLimit bytes (so a long report's index does not grow the heap), or,
// for an index read from a report file, in that file itself, read when a
// search or a page needs them.
//
// Not thread-safe: it is filled and searched on the user-interface thread.

#include <QByteArray>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

class QIODevice;
class QPainter;
class TRpStream;

class TRpTextIndex {
public:
    // One match: page (from 1), its offset and length in the page's text
    // (PageText), and the item it lies in (0-based within the page).
    struct TMatch {
        int Page = 0;
        int Offset = 0;
        int Length = 0;
        int Item = 0;
    };
    // One item of a page: its text and rectangle in points.
    struct TItem {
        QString Text;
        QRectF Rect;
    };

    // Bytes of items and text kept in memory before they move to a
    // temporary file.
    static constexpr qint64 StoreLimit = 1 << 20;
    // Characters folded and scanned at a time by a search.
    static constexpr qint64 ChunkChars = 1 << 19;

    TRpTextIndex();
    ~TRpTextIndex();
    TRpTextIndex(TRpTextIndex&&) noexcept;
    TRpTextIndex& operator=(TRpTextIndex&&) noexcept;
    TRpTextIndex(const TRpTextIndex&) = delete;
    TRpTextIndex& operator=(const TRpTextIndex&) = delete;

    void Clear();
    int PageCount() const { return int(PageStart.size()) - 1; }
    // Characters of text held (the complete pages' and the open page's).
    qint64 TextSize() const { return qint64(PageStart.back()) + OpenText.size() / 2; }
    // Whether the items and text are in a file (a temporary one or the
    // report file read) rather than in memory.
    bool OnFile() const;

    // Filling: BeginPage, any number of AddText, EndPage.
    void BeginPage();
    // Makes font the font of the items added from now on.
    void SetFont(const QFont& font);
    // A line of text drawn in rect (points); line breaks in it become
    // blanks. Empty texts are left out.
    void AddText(const QRectF& rect, const QString& text);
    void EndPage();
    bool PageOpen() const { return Open; }

    // The text of page n: its items one a line, in the order drawn.
    QString PageText(int n) const;
    std::vector<TItem> PageItems(int n) const;
    // The text of page n in reading order: items top to bottom, those on
    // one line left to right and separated by a tab, lines by a line feed.
    // With area set, only items whose centre lies inside it.
    QString ReadingText(int n, const QRectF& area = QRectF()) const;

    // Every match of needle over the whole report, in page order, as
    // offsets into the whole text (see MatchAt). Case is ignored (Latin and
    // Cyrillic alike); with wholeWords a match must not have a letter or
    // digit right before or after it.
    // Pages before fromPage are left out (to add the pages that came since a
    // count).
    std::vector<quint32> FindAll(const QString& needle, bool wholeWords, int fromPage = 1) const;
    // Offset of page n's text in the whole text (n = PageCount() + 1: the
    // end).
    quint32 PageOffset(int n) const {
        return PageStart[size_t(std::clamp(n, 1, PageCount() + 1) - 1)];
    }
    // The first match on page `from` or after it (wrapping to page 1 when
    // wrap is set); Page 0 when there is none.
    TMatch FindFirst(const QString& needle, bool wholeWords, int from, bool wrap) const;
    // The matches on page n.
    std::vector<TMatch> PageMatches(int n, const QString& needle, bool wholeWords) const;
    // A match found by FindAll, located.
    TMatch MatchAt(quint32 offset, int length) const;
    // The rectangle (points) of a match: the part of its item's rectangle
    // that its characters take, measured with the item's font.
    QRectF MatchRect(const TMatch& match) const;
    // The needle as searched: case-folded, line breaks and tabs as blanks.
    static QString Fold(const QString& text);

    // The index as bytes (for the report file) and back; FromBytes returns
    // false, leaving the index empty, when the bytes are not a valid index.
    QByteArray ToBytes() const;
    bool FromBytes(const QByteArray& bytes);
    // The count of bytes ToBytes gives.
    qint64 ByteSize() const;
    // Writes the bytes of ToBytes to out; returns their count and CRC-32, or
    // -1 when out refused a write.
    qint64 WriteTo(QIODevice& out, quint32* crc) const;
    // Takes the index stored at offset at (length bytes) of file, whose
    // CRC-32 must be crc: the bytes are checked in one pass, without keeping
    // them, and the items and text are read from the file from then on.
    // Returns false, leaving the index empty, when they do not check out.
    bool Load(const std::shared_ptr<TRpStream>& file, qint64 at, qint64 length, quint32 crc);

    // CRC-32 (the zip polynomial) of size bytes, continuing crc.
    static quint32 Crc32(const char* data, qint64 size, quint32 crc = 0);

private:
    // An item as kept: rectangle in sixteenths of a point, its text's length
    // and its font. 12 bytes, so a 20,000-page report's items stay small.
    struct TStoredItem {
        quint16 X = 0, Y = 0, W = 0, H = 0;
        quint16 Length = 0;
        quint16 Font = 0;
    };
    static constexpr double Units = 16.0;

    bool Load(const std::shared_ptr<TRpStream>& file, qint64 at, qint64 length, const quint32* crc);
    void Scan(const QString& folded, bool wholeWords, qint64 from, qint64 to,
              const std::function<bool(qint64)>& take) const;
    qint64 Find(const QString& folded, bool wholeWords, qint64 from, qint64 to) const;
    QRectF ItemRect(const TStoredItem& item) const;
    int PageOf(qint64 offset) const;
    // Bytes of the stores: count items from first, count characters of text
    // from offset from (complete pages only).
    std::vector<TStoredItem> ReadItems(quint32 first, quint32 count) const;
    QString ReadText(qint64 from, qint64 count) const;
    // Moves a file's items and text into stores of this index's own, so
    // pages can be added after them.
    void OwnStores();
    void EnsureStores();

    // Offset of each page's text and of its first item; one entry more than
    // there are pages (the end of the last).
    std::vector<quint32> PageStart;
    std::vector<quint32> PageItem;
    // Items (12 bytes each, little-endian) and text (UTF-16, little-endian)
    // of the complete pages, at ItemBase and TextBase of their stores (one
    // stream, the report file, for an index read from one).
    std::shared_ptr<TRpStream> ItemStore;
    std::shared_ptr<TRpStream> TextStore;
    qint64 ItemBase = 0;
    qint64 TextBase = 0;
    bool ReadOnly = false;
    // The open page's items and text, stored when it ends.
    QByteArray OpenItems;
    QByteArray OpenText;
    QStringList Fonts;
    std::vector<QFont> FontCache;
    int CurrentFont = 0;
    bool Open = false;
};

// Rebuilds text items from a recorded page: draw plays the page, through the
// program's own page drawing, onto a device that draws nothing and notes
// every piece of text with where it lands. The device has dpi pixels per
// inch (those the page was recorded at, so its fonts keep their size) and
// the page is to fill target (device pixels, the paper's size); the items
// go to index as one page, in points.
class TRpTextCollector {
public:
    using TDraw = std::function<void(QPainter& painter, const QRectF& target)>;
    static void CollectPage(TRpTextIndex& index, const QSizeF& paperPixels, double dpi,
                            const TDraw& draw);
};
