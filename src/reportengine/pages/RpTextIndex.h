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
// prepared: it sees the pages complete so far. All the text lives in one
// UTF-16 blob, each item followed by a line feed, with a case-folded copy of
// the same length beside it: a search folds the needle once and scans the
// folded copy, and a needle never reaches across two items (it holds no line
// feed), so text split over two printables is never one match.
//
// Not thread-safe: it is filled and searched on the user-interface thread.

#include <QByteArray>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

#include <functional>

class QPainter;

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

    TRpTextIndex();

    void Clear();
    int PageCount() const { return int(PageStart.size()) - 1; }
    // Characters held (both copies count once).
    qint64 TextSize() const { return Text.size(); }

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

private:
    // An item as kept: rectangle in sixteenths of a point, its text's length
    // and its font. 12 bytes, so a 20,000-page report's items stay small.
    struct TStoredItem {
        quint16 X = 0, Y = 0, W = 0, H = 0;
        quint16 Length = 0;
        quint16 Font = 0;
    };
    static constexpr double Units = 16.0;

    qint64 Find(const QString& folded, bool wholeWords, qint64 from, qint64 to) const;
    bool WordBounded(qint64 at, qint64 length) const;
    QRectF ItemRect(const TStoredItem& item) const;
    int PageOf(qint64 offset) const;

    QString Text;
    QString Folded;
    // Offset of each page's text and of its first item; one entry more than
    // there are pages (the end of the last).
    std::vector<quint32> PageStart;
    std::vector<quint32> PageItem;
    std::vector<TStoredItem> Items;
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
