#include "RpPageList.h"

#include "Exception.h"
#include "RpCompress.h"
#include "RpEmfPlayer.h"
#include "RpPrinter.h"
#include "RpStream.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QPicture>
#include <QSaveFile>
#include <QtEndian>

#include <cstring>

namespace {

// Smallest record: page number, next link and back link around empty data.
constexpr qint64 MinRecordSize = 12;

QString Damaged(const QString& what) {
    return QStringLiteral("The report file is damaged: %1.").arg(what);
}

void PutU32(QByteArray& bytes, int offset, quint32 value) {
    qToLittleEndian(value, bytes.data() + offset);
}

quint32 GetU32(const char* bytes) {
    return qFromLittleEndian<quint32>(bytes);
}

quint32 ReadU32(TRpStream& stream) {
    char b[4];
    stream.ReadExact(b, 4);
    return GetU32(b);
}

void WriteU32(TRpStream& stream, quint32 value) {
    char b[4];
    qToLittleEndian(value, b);
    stream.Write(b, 4);
}

// Days since 30 December 1899 with the time of day as the fraction.
double CreationTime() {
    const QDateTime now = QDateTime::currentDateTime();
    return double(QDate(1899, 12, 30).daysTo(now.date())) +
           double(now.time().msecsSinceStartOfDay()) / 86400000.0;
}

constexpr char TrailerMagic[8] = {'V', 'e', 'x', 'a', 'l', 'T', 'x', 't'};

} // namespace

TRpPageList::TRpPageList() = default;
TRpPageList::~TRpPageList() = default;

void TRpPageList::SetStream(std::unique_ptr<TRpStream> stream) {
    std::lock_guard guard(Lock);
    PageStream = std::move(stream);
    HeaderLen = HeaderSize;
    Starts.clear();
    EndPos = PageStream ? PageStream->Size() : 0;
}

int TRpPageList::PageCount() const {
    std::lock_guard guard(Lock);
    return Count;
}

void TRpPageList::ClearPages() {
    std::lock_guard guard(Lock);
    Count = 0;
    Starts.clear();
    Index.Clear();
    FileIndex = TIndexState::None;
}

void TRpPageList::WriteListHeader() {
    std::lock_guard guard(Lock);
    WriteHeaderUnlocked(Count);
}

void TRpPageList::WriteHeaderUnlocked(int count) {
    if (!PageStream)
        return;
    QByteArray header(HeaderSize, '\0');
    qToLittleEndian(FormatVersion, header.data());
    qToLittleEndian(EngineVersion, header.data() + 2);
    PutU32(header, 8, quint32(count));
    const double time = CreationTime();
    quint64 timeBits;
    std::memcpy(&timeBits, &time, sizeof timeBits);
    qToLittleEndian(timeBits, header.data() + 16);
    header[25] = Compress ? 1 : 0;
    const qint64 back = PageStream->Position();
    PageStream->Seek(0);
    PageStream->Write(header);
    PageStream->Seek(std::max<qint64>(back, HeaderSize));
}

void TRpPageList::AppendPage(const QPicture& page) {
    AppendPageData(QByteArray(page.data(), qsizetype(page.size())));
}

void TRpPageList::AppendPageData(const QByteArray& data) {
    std::lock_guard guard(Lock);
    if (!PageStream)
        PageStream = std::make_unique<TRpStream>();
    TRpStream& stream = *PageStream;
    if (Count == 0) {
        HeaderLen = HeaderSize;
        WriteHeaderUnlocked(1);
        EndPos = HeaderSize;
    }
    // The record goes after the last complete one, so a write that failed half
    // way is overwritten by the next page rather than left between records.
    const qint64 start = EndPos;
    const int page = Count + 1;
    stream.Seek(start);
    WriteU32(stream, quint32(page));
    const qint64 link = stream.Position();
    WriteU32(stream, 0);
    if (Compress) {
        WriteU32(stream, quint32(data.size()));
        TRpCompress encoder(&stream, true);
        encoder.Encode(data.constData(), data.size());
        encoder.Finish();
    } else {
        stream.Write(data);
    }
    WriteU32(stream, quint32(start));
    const qint64 end = stream.Position();
    stream.Seek(link);
    WriteU32(stream, quint32(end));
    stream.Seek(end);

    Count = page;
    EndPos = end;
    Starts.resize(size_t(page) + 1, 0);
    Starts[size_t(page)] = start;
}

// Reads and checks the record head at start: its links must lie inside the
// stream and leave room for the record; with checkBack, its back link must
// point back at it as well.
TRpPageList::TRecord TRpPageList::ReadRecordAt(qint64 start, qint64 size, bool checkBack) {
    if (start < HeaderLen || start > size - MinRecordSize)
        throw Exception(Damaged(QStringLiteral("a page link points outside the file")));
    TRpStream& stream = *PageStream;
    stream.Seek(start);
    char head[8];
    stream.ReadExact(head, 8);
    TRecord record;
    record.Start = start;
    record.Page = int(qint32(GetU32(head)));
    record.Next = GetU32(head + 4);
    if (record.Next < start + MinRecordSize || record.Next > size)
        throw Exception(
            Damaged(QStringLiteral("the length of page %1 is not valid").arg(record.Page)));
    if (checkBack) {
        stream.Seek(record.Next - 4);
        if (ReadU32(stream) != quint32(start))
            throw Exception(
                Damaged(QStringLiteral("the links of page %1 do not agree").arg(record.Page)));
    }
    return record;
}

// Finds record n. Records already seen (every appended one, and those a
// lookup has walked past) are reached directly; otherwise the links are
// walked from the nearest known record, the first (right after the header)
// and the last (the stream's last 4 bytes point at it) always counting as
// known. So the preview's next and previous page cost one or two link reads
// and a page seen once costs none. The walk checks every step: links inside
// the stream, page numbers in sequence, back links agreeing, so it ends
// after at most |n - start| steps whatever the file holds.
TRpPageList::TRecord TRpPageList::PositionAtPage(int n) {
    TRpStream& stream = *PageStream;
    const qint64 size = EndPos;
    if (Starts.size() != size_t(Count) + 1)
        Starts.assign(size_t(Count) + 1, 0);
    if (Starts[size_t(n)] != 0) {
        const TRecord record = ReadRecordAt(Starts[size_t(n)], size, true);
        if (record.Page != n)
            throw Exception(
                Damaged(QStringLiteral("page %1 is numbered %2").arg(n).arg(record.Page)));
        return record;
    }
    int below = n - 1;
    while (below >= 1 && Starts[size_t(below)] == 0)
        --below;
    int above = n + 1;
    while (above <= Count && Starts[size_t(above)] == 0)
        ++above;
    if (below < 1)
        below = 1; // the first record is known: it follows the header
    if (above > Count)
        above = Count; // so is the last: the stream's last 4 bytes
    TRecord record;
    if (n - below <= above - n) {
        const qint64 start = below == 1 && Starts[1] == 0 ? HeaderLen : Starts[size_t(below)];
        record = ReadRecordAt(start, size, false);
        if (record.Page != below)
            throw Exception(
                Damaged(QStringLiteral("page %1 is numbered %2").arg(below).arg(record.Page)));
    } else {
        qint64 start = Starts[size_t(above)];
        if (start == 0) {
            if (size < HeaderLen + MinRecordSize)
                throw Exception(Damaged(QStringLiteral("it ends too early")));
            stream.Seek(size - 4);
            start = ReadU32(stream);
        }
        record = ReadRecordAt(start, size, true);
        if (record.Next != size && above == Count)
            throw Exception(Damaged(QStringLiteral("its last page does not end it")));
        if (record.Page != above)
            throw Exception(Damaged(
                QStringLiteral("it holds %1 pages instead of %2").arg(record.Page).arg(above)));
    }
    Starts[size_t(record.Page)] = record.Start;
    while (record.Page < n) {
        const TRecord next = ReadRecordAt(record.Next, size, false);
        if (next.Page != record.Page + 1)
            throw Exception(
                Damaged(QStringLiteral("page %1 follows page %2").arg(next.Page).arg(record.Page)));
        record = next;
        Starts[size_t(record.Page)] = record.Start;
    }
    while (record.Page > n) {
        if (record.Start < HeaderLen + MinRecordSize)
            throw Exception(Damaged(QStringLiteral("a page link points outside the file")));
        stream.Seek(record.Start - 4);
        const TRecord previous = ReadRecordAt(ReadU32(stream), size, false);
        if (previous.Page != record.Page - 1 || previous.Next != record.Start)
            throw Exception(
                Damaged(QStringLiteral("the links of page %1 do not agree").arg(record.Page)));
        record = previous;
        Starts[size_t(record.Page)] = record.Start;
    }
    // The page about to be read has its own back link checked too.
    stream.Seek(record.Next - 4);
    if (ReadU32(stream) != quint32(record.Start))
        throw Exception(
            Damaged(QStringLiteral("the links of page %1 do not agree").arg(record.Page)));
    return record;
}

QByteArray TRpPageList::ReadPageData(const TRecord& record) {
    TRpStream& stream = *PageStream;
    const qint64 dataStart = record.Start + 8;
    const qint64 dataSize = record.Next - 4 - dataStart;
    stream.Seek(dataStart);
    if (!Compress) {
        if (dataSize > MaxPageBytes)
            throw Exception(Damaged(QStringLiteral("page %1 is too large").arg(record.Page)));
        QByteArray data(dataSize, Qt::Uninitialized);
        stream.ReadExact(data.data(), dataSize);
        return data;
    }
    if (dataSize < 4)
        throw Exception(
            Damaged(QStringLiteral("the length of page %1 is not valid").arg(record.Page)));
    const qint64 codeSize = dataSize - 4;
    const qint64 count = ReadU32(stream);
    // Every byte takes at least one bit of code, which bounds the count.
    if (count > MaxPageBytes || count > codeSize * 8)
        throw Exception(
            Damaged(QStringLiteral("the size of page %1 is not valid").arg(record.Page)));
    QByteArray data(count, Qt::Uninitialized);
    TRpCompress decoder(&stream, false);
    decoder.SetInputLimit(codeSize);
    decoder.Decode(data.data(), count);
    decoder.Finish();
    if (decoder.CodeSize() != codeSize)
        throw Exception(
            Damaged(QStringLiteral("the data of page %1 is not valid").arg(record.Page)));
    return data;
}

QByteArray TRpPageList::FetchPageData(int n) {
    std::lock_guard guard(Lock);
    if (n < 1 || n > Count || !PageStream)
        return {};
    const TRecord record = PositionAtPage(n);
    QByteArray data = ReadPageData(record);
    return data;
}

std::unique_ptr<QPicture> TRpPageList::FetchPage(int n) {
    if (n < 1 || n > PageCount())
        return nullptr;
    const QByteArray data = FetchPageData(n);
    // Pages of the older engine are Windows enhanced metafiles: played into a
    // picture of the same size, so the preview, printing, PDF and whatever
    // else replays pages take them like the program's own.
    if (TRpEmfPlayer::IsEmf(data)) {
        try {
            return TRpEmfPlayer::ToPicture(data, TRpPrinter::ScreenDpi());
        } catch (const Exception& e) {
            throw Exception(QStringLiteral("Page %1 of the report cannot be shown. %2")
                                .arg(n)
                                .arg(e.message()));
        }
    }
    // A picture starts with its magic.
    if (!data.startsWith("QPIC"))
        throw Exception(
            QStringLiteral("Page %1 of the report is not in a format this program can show.")
                .arg(n));
    auto picture = std::make_unique<QPicture>();
    picture->setData(data.constData(), uint(data.size()));
    return picture;
}

void TRpPageList::OpenPageFile(const QString& fileName) {
    std::unique_ptr<TRpStream> stream = TRpStream::OpenFile(fileName);
    const qint64 size = stream->Size();
    const QString name = QDir::toNativeSeparators(fileName);
    if (size < OldHeaderSize)
        throw Exception(QStringLiteral("The file %1 is not a report file.").arg(name));

    QByteArray head(std::min<qint64>(size, 177), Qt::Uninitialized);
    stream->ReadExact(head.data(), head.size());
    // A first page with links that hold together at start.
    const auto firstRecordAt = [&](qint64 start) {
        if (size < start + MinRecordSize)
            return false;
        stream->Seek(start);
        if (ReadU32(*stream) != 1)
            return false;
        const qint64 next = ReadU32(*stream);
        if (next < start + MinRecordSize || next > size)
            return false;
        stream->Seek(next - 4);
        return ReadU32(*stream) == quint32(start);
    };
    // The older header is known by its first page's metafile signature; a
    // coded first page shows none, so there the first record's links decide.
    const bool old = (head.size() >= 177 && std::memcmp(head.constData() + 173, "EMF\0", 4) == 0) ||
                     (size == OldHeaderSize) ||
                     (!firstRecordAt(HeaderSize) && firstRecordAt(OldHeaderSize));
    const int headerLen = old ? OldHeaderSize : HeaderSize;
    if (size < headerLen)
        throw Exception(QStringLiteral("The file %1 is not a report file.").arg(name));
    const qint64 count = GetU32(head.constData() + 8);
    const quint8 flag = quint8(head[old ? 21 : 25]);
    if (flag > 1)
        throw Exception(Damaged(QStringLiteral("its compression flag is not valid")));
    if (count > (size - headerLen) / MinRecordSize)
        throw Exception(Damaged(QStringLiteral("it claims %1 pages").arg(count)));

    // A text index after the last record: the pages end where it starts.
    qint64 pagesEnd = size;
    TIndexState indexState = TIndexState::None;
    TRpTextIndex index;
    if (count > 0 && size >= headerLen + MinRecordSize + TrailerSize) {
        char trailer[TrailerSize];
        stream->Seek(size - TrailerSize);
        stream->ReadExact(trailer, TrailerSize);
        if (std::memcmp(trailer, TrailerMagic, 8) == 0) {
            indexState = TIndexState::Damaged;
            const qint64 at = GetU32(trailer + 8);
            const qint64 length = GetU32(trailer + 12);
            const quint32 crc = GetU32(trailer + 16);
            const quint32 pages = GetU32(trailer + 20);
            const quint32 last = GetU32(trailer + 28);
            qint64 end = -1;
            if (at >= headerLen + MinRecordSize && at + length == size - TrailerSize) {
                stream->Seek(at - 4);
                if (ReadU32(*stream) == last)
                    end = at;
            }
            if (end < 0 && last >= quint32(headerLen) &&
                last <= size - TrailerSize - MinRecordSize) {
                // The trailer's offsets are wrong: the last record still says
                // where the pages end.
                stream->Seek(last + 4);
                const qint64 next = ReadU32(*stream);
                if (next >= last + MinRecordSize && next <= size - TrailerSize) {
                    stream->Seek(next - 4);
                    if (ReadU32(*stream) == last)
                        end = next;
                }
            }
            if (end >= 0) {
                pagesEnd = end;
                // The index stays in the file: it is checked here in one
                // pass and read from there when a search needs it.
                std::shared_ptr<TRpStream> own;
                try {
                    own = TRpStream::OpenFile(fileName);
                } catch (const Exception&) {
                    own.reset(); // the pages open without it
                }
                if (end == at && pages == count && own && index.Load(own, at, length, crc) &&
                    index.PageCount() == count)
                    indexState = TIndexState::Loaded;
                else
                    index.Clear();
            }
        }
    }

    // Check the first and the last record now, so a damaged file is refused
    // when it is opened rather than when a page is shown.
    TRpPageList probe;
    probe.PageStream = std::move(stream);
    probe.Count = int(count);
    probe.Compress = flag == 1;
    probe.HeaderLen = headerLen;
    probe.EndPos = pagesEnd;
    if (count > 0) {
        TRecord record = probe.PositionAtPage(1);
        probe.PageStream->Seek(pagesEnd - 4);
        const TRecord last = probe.ReadRecordAt(ReadU32(*probe.PageStream), pagesEnd, true);
        if (last.Page > count) {
            // More records than the header counts: a run that stopped before
            // it rewrote the header. The header's pages are shown; the list
            // ends after the last of them, its links checked on the way.
            while (record.Page < count) {
                const TRecord next = probe.ReadRecordAt(record.Next, pagesEnd, true);
                if (next.Page != record.Page + 1)
                    throw Exception(Damaged(
                        QStringLiteral("page %1 follows page %2").arg(next.Page).arg(record.Page)));
                record = next;
            }
            probe.EndPos = record.Next;
        }
        probe.PositionAtPage(int(count));
    } else if (size != headerLen) {
        throw Exception(Damaged(QStringLiteral("it holds pages its header does not count")));
    }

    std::lock_guard guard(Lock);
    PageStream = std::move(probe.PageStream);
    Count = probe.Count;
    Compress = probe.Compress;
    HeaderLen = headerLen;
    EndPos = probe.EndPos;
    Starts = std::move(probe.Starts);
    Index = std::move(index);
    FileIndex = indexState;
}

void TRpPageList::SavePageFile(const QString& fileName) {
    std::lock_guard guard(Lock);
    const QString name = QDir::toNativeSeparators(fileName);
    if (!PageStream)
        throw Exception(QStringLiteral("There are no report pages to save."));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw Exception(
            QStringLiteral("Cannot create the file %1: %2").arg(name, file.errorString()));
    PageStream->CopyAllTo(file, Count > 0 ? EndPos : -1);
    // The index follows the pages only when it is complete; a file without
    // it gets it rebuilt when opened.
    // It is written straight from where it is kept, unless it would take the
    // file past 4 GB (its offsets are 32-bit).
    if (Count > 0 && Index.PageCount() == Count && !Index.PageOpen() &&
        EndPos + Index.ByteSize() + TrailerSize <= qint64(0xFFFFFFFFu)) {
        quint32 crc = 0;
        const qint64 length = Index.WriteTo(file, &crc);
        if (length < 0)
            throw Exception(
                QStringLiteral("Cannot write the file %1: %2").arg(name, file.errorString()));
        QByteArray trailer(TrailerSize, '\0');
        std::memcpy(trailer.data(), TrailerMagic, 8);
        PutU32(trailer, 8, quint32(EndPos));
        PutU32(trailer, 12, quint32(length));
        PutU32(trailer, 16, crc);
        PutU32(trailer, 20, quint32(Count));
        PutU32(trailer, 28,
               quint32(Starts.size() > size_t(Count) && Starts[size_t(Count)]
                           ? Starts[size_t(Count)]
                           : PositionAtPage(Count).Start));
        if (file.write(trailer) != trailer.size())
            throw Exception(
                QStringLiteral("Cannot write the file %1: %2").arg(name, file.errorString()));
    }
    if (!file.commit())
        throw Exception(
            QStringLiteral("Cannot write the file %1: %2").arg(name, file.errorString()));
}
