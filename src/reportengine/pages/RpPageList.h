#pragma once
// The page file: a header followed by one linked record per page.
//
//   header (128 bytes, little-endian): format 3 (16 bit), engine 307 (16 bit),
//   4 zero bytes, page count (32 bit), 4 zero bytes, creation time (double,
//   days since 30.12.1899), a zero byte, the compression flag (byte 25: 1 when
//   page data is coded), zeros up to 128.
//   record: page number (32 bit, from 1), next link (32 bit: offset of the
//   first byte after the record), data, back link (32 bit: offset of the
//   record's own start). Data is the page's picture bytes, or, compressed, a
//   32-bit count of picture bytes followed by their code (TRpCompress).
//
// Files of the older engine have a 124-byte header (count at 8, time at 12,
// flags at 20 and 21); they are recognised by "EMF\0" at offset 173, the
// signature of their first page's metafile.
//
// A report file saved here carries the text index of its pages
// (TRpTextIndex) after the last record, followed by a 32-byte trailer:
// "VexalTxt", the index's offset and length, its CRC-32, the page count, 4
// zero bytes and, as the file's last 4 bytes, the start of the last record.
// Readers of the plain format find the last record through those 4 bytes and
// never look past it, so they read such a file as before; here a file
// without the trailer opens as before, and an index that does not check out
// is ignored (the pages still open).
//
// Everything read from a file is checked before it is used (links inside the
// file and consistent with each other, page numbers in sequence, byte counts
// within what the record can hold), so a damaged file raises Exception with a
// clear message rather than crashing, hanging or allocating without bound.

#include "RpTextIndex.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>
#include <vector>

class QPicture;
class TRpStream;

class TRpPageList {
public:
    static constexpr int HeaderSize = 128;
    static constexpr int OldHeaderSize = 124;
    static constexpr quint16 FormatVersion = 3;
    static constexpr quint16 EngineVersion = 307;
    // No single page's picture is believed beyond this size.
    static constexpr qint64 MaxPageBytes = 256 * 1024 * 1024;

    TRpPageList();
    ~TRpPageList();

    TRpPageList(const TRpPageList&) = delete;
    TRpPageList& operator=(const TRpPageList&) = delete;

    // Hands the list a new stream to write pages into (frees the old one);
    // nullptr just frees it.
    void SetStream(std::unique_ptr<TRpStream> stream);
    TRpStream* Stream() const { return PageStream.get(); }

    int PageCount() const;
    bool Compression() const { return Compress; }
    // Takes effect for pages appended from now on; set it before the first.
    void SetCompression(bool compression) { Compress = compression; }
    // 128 for files written here, 124 for files of the older engine.
    int HeaderBytes() const { return HeaderLen; }

    // Appends a page at the end of the stream (writing the header with the
    // first page).
    void AppendPage(const QPicture& page);
    void AppendPageData(const QByteArray& data);
    // Page n as a new picture, or nullptr when n is outside 1..PageCount().
    // A page of the older engine (an EMF) is played into a picture of its
    // frame's size at the screen's resolution. Raises Exception when the
    // stored page is damaged or neither a picture nor an EMF.
    std::unique_ptr<QPicture> FetchPage(int n);
    // The stored bytes of page n (decoded when compressed); empty when n is
    // outside 1..PageCount().
    QByteArray FetchPageData(int n);
    // Rewrites the header with the current page count and time.
    void WriteListHeader();
    void ClearPages();

    // Opens a report file as the list's stream (read only) and takes its page
    // count, compression flag and text index. On failure the list is left as
    // it was.
    void OpenPageFile(const QString& fileName);
    // Writes the pages to fileName, with the text index when it covers every
    // page; the file is replaced only when all of it was written.
    void SavePageFile(const QString& fileName);

    // The text of the pages: filled by the printer object as pages are
    // recorded, read from a report file, or rebuilt by replaying the pages.
    TRpTextIndex& TextIndex() { return Index; }
    const TRpTextIndex& TextIndex() const { return Index; }
    // What the last opened file said about its index.
    enum class TIndexState { None, Loaded, Damaged };
    TIndexState IndexState() const { return FileIndex; }
    static constexpr int TrailerSize = 32;

private:
    struct TRecord {
        qint64 Start = 0;
        qint64 Next = 0;
        int Page = 0;
    };
    TRecord ReadRecordAt(qint64 start, qint64 size, bool checkBack);
    TRecord PositionAtPage(int n);
    QByteArray ReadPageData(const TRecord& record);
    void WriteHeaderUnlocked(int count);

    mutable std::mutex Lock;
    std::unique_ptr<TRpStream> PageStream;
    int Count = 0;
    bool Compress = false;
    int HeaderLen = HeaderSize;
    // Record start of every page seen so far (index = page number, 0 when
    // not yet known).
    std::vector<qint64> Starts;
    TRpTextIndex Index;
    TIndexState FileIndex = TIndexState::None;
    // End of the last complete record (the stream's size, unless an append
    // failed half way).
    qint64 EndPos = 0;
};
