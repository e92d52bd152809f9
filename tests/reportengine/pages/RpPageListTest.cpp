// The page file: header and record layout, lookups, report files of both
// header sizes, and damaged files.

#include "RpPageList.h"
#include "Exception.h"
#include "PageTestUtil.h"
#include "RpStream.h"
#include "TestUtil.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using PageTest::SetU32;
using PageTest::U32;

namespace {

QByteArray StreamBytes(TRpPageList& list) {
    TRpStream& s = *list.Stream();
    s.Seek(0);
    QByteArray all(s.Size(), Qt::Uninitialized);
    s.ReadExact(all.data(), all.size());
    return all;
}

// A list of n recorded pages (page k has k * 3 rows, so sizes differ).
void Fill(TRpPageList& list, int n, bool compressed, qint64 spill = 100000) {
    list.SetStream(std::make_unique<TRpStream>(spill));
    list.SetCompression(compressed);
    for (int k = 1; k <= n; ++k)
        list.AppendPage(PageTest::MakePage(k, k * 3));
    list.WriteListHeader();
}

} // namespace

// The header and the record links of one and three pages, with and without
// compression.
TEST(RpPageList, HeaderAndRecordLinks) {
    for (bool compressed : {false, true}) {
        for (int pages : {1, 3}) {
            SCOPED_TRACE(testing::Message() << pages << " pages, compressed " << compressed);
            TRpPageList list;
            Fill(list, pages, compressed);
            const QByteArray file = StreamBytes(list);
            ASSERT_GT(file.size(), 128);
            QByteArray expectedHeader(128, '\0');
            expectedHeader[0] = 3;                // format 3
            expectedHeader[2] = char(307 & 0xFF); // engine 307, little-endian
            expectedHeader[3] = char(307 >> 8);
            expectedHeader[8] = char(pages); // page count
            expectedHeader[25] = compressed ? 1 : 0;
            std::memcpy(expectedHeader.data() + 16, file.constData() + 16, 8); // the time
            EXPECT_EQ(file.left(128).toHex(), expectedHeader.toHex());
            double time;
            std::memcpy(&time, file.constData() + 16, 8);
            const double now = QDate(1899, 12, 30).daysTo(QDate::currentDate()) +
                               QTime::currentTime().msecsSinceStartOfDay() / 86400000.0;
            EXPECT_NEAR(time, now, 1.0 / 1440); // within a minute

            qint64 start = 128;
            for (int k = 1; k <= pages; ++k) {
                EXPECT_EQ(U32(file, start), quint32(k));
                const qint64 next = U32(file, start + 4);
                EXPECT_EQ(U32(file, next - 4), quint32(start)) << "back link of page " << k;
                if (compressed) // the byte count is the picture's size
                    EXPECT_EQ(U32(file, start + 8), quint32(PageTest::MakePage(k, k * 3).size()));
                else
                    EXPECT_EQ(file.mid(start + 8, next - start - 12),
                              PageTest::PageBytes(k, k * 3));
                start = next;
            }
            EXPECT_EQ(start, file.size()) << "the last next link is the end of the file";
            if (pages == 1) {
                EXPECT_EQ(U32(file, file.size() - 4), 128u) << "one page: back link 128";
            }
        }
    }
}

// Pages come back byte for byte, in memory and after a spill to the file,
// and walking forwards, backwards and jumping all find the right page.
TEST(RpPageList, RoundTripAndWalks) {
    const int n = 25;
    struct Case {
        bool compressed;
        qint64 spill;
        const char* why;
    };
    const Case cases[] = {
        {false, 100000000, "plain, in memory"},
        {true, 100000000, "coded, in memory"},
        {false, 1000, "plain, spilled to a temporary file"},
        {true, 1000, "coded, spilled"},
    };
    const std::vector<int> order = {1, 2, 3, 4, 25, 24, 23, 12, 13, 11, 1, 25, 7, 19, 2, 24};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TRpPageList list;
        Fill(list, n, c.compressed, c.spill);
        EXPECT_EQ(list.PageCount(), n);
        EXPECT_EQ(list.Stream()->InMemory(), c.spill > 1000);
        std::vector<int> walk;
        for (int k = 1; k <= n; ++k)
            walk.push_back(k);
        for (int k = n; k >= 1; --k)
            walk.push_back(k);
        walk.insert(walk.end(), order.begin(), order.end());
        for (int k : walk) {
            std::unique_ptr<QPicture> page = list.FetchPage(k);
            ASSERT_TRUE(page) << k;
            EXPECT_EQ(PageTest::Bytes(*page), PageTest::PageBytes(k, k * 3)) << "page " << k;
        }
        EXPECT_EQ(list.FetchPage(n + 1), nullptr) << "page n + 1 of n";
        EXPECT_EQ(list.FetchPage(0), nullptr);
    }
}

// A saved file opens in a list configured the other way: the compression
// flag comes from the file.
TEST(RpPageList, SavedFileOpensWithItsOwnCompressionFlag) {
    QTemporaryDir dir;
    for (bool compressed : {false, true}) {
        TRpPageList writer;
        Fill(writer, 5, compressed);
        const QString name = dir.filePath(QStringLiteral("r%1.RPP").arg(compressed));
        writer.SavePageFile(name);
        EXPECT_EQ(TestUtil::ReadFile(name), StreamBytes(writer));

        TRpPageList reader;
        reader.SetCompression(!compressed);
        reader.OpenPageFile(name);
        EXPECT_EQ(reader.Compression(), compressed);
        EXPECT_EQ(reader.PageCount(), 5);
        for (int k : {5, 1, 3, 4, 2})
            EXPECT_EQ(PageTest::Bytes(*reader.FetchPage(k)), PageTest::PageBytes(k, k * 3));
        // The reader's stream is read only.
        EXPECT_THROW(reader.AppendPage(PageTest::MakePage(6)), Exception);
    }
}

// A file of the older engine: 124-byte header, recognised by the metafile
// signature "EMF" at offset 173; its pages are not pictures.
TEST(RpPageList, OldHeaderFile) {
    QByteArray file(124, '\0');
    SetU32(file, 8, 2); // page count
    qint64 start = 124;
    for (int k = 1; k <= 2; ++k) {
        QByteArray data(88, char('a' + k));
        std::memcpy(data.data() + 40, " EMF", 4); // the metafile's signature field
        data[44] = 0;
        QByteArray record(8, '\0');
        SetU32(record, 0, quint32(k));
        SetU32(record, 4, quint32(start + 8 + data.size() + 4));
        record += data;
        QByteArray back(4, '\0');
        SetU32(back, 0, quint32(start));
        record += back;
        file += record;
        start += record.size();
    }
    ASSERT_EQ(file.mid(173, 4), QByteArray("EMF\0", 4));
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("old.RPP"));
    TestUtil::WriteFile(name, file);

    TRpPageList list;
    list.OpenPageFile(name);
    EXPECT_EQ(list.HeaderBytes(), 124);
    EXPECT_EQ(list.PageCount(), 2);
    EXPECT_EQ(list.FetchPageData(2).left(4), QByteArray("cccc"));
    EXPECT_EQ(list.FetchPageData(1).mid(41, 3), QByteArray("EMF"));
    EXPECT_THROW(list.FetchPage(1), Exception) << "a metafile page cannot be drawn here";

    // Saved again with a text index, it keeps its 124-byte header and its
    // index is found after its last record.
    for (int k = 1; k <= 2; ++k) {
        list.TextIndex().BeginPage();
        list.TextIndex().AddText(QRectF(10, 10, 50, 12), QStringLiteral("Стр. %1").arg(k));
        list.TextIndex().EndPage();
    }
    const QString again = dir.filePath(QStringLiteral("again.RPP"));
    list.SavePageFile(again);
    TRpPageList reader;
    reader.OpenPageFile(again);
    EXPECT_EQ(reader.HeaderBytes(), 124);
    EXPECT_EQ(reader.IndexState(), TRpPageList::TIndexState::Loaded);
    EXPECT_EQ(reader.TextIndex().FindFirst(QStringLiteral("стр. 2"), false, 1, false).Page, 2);
    EXPECT_EQ(reader.FetchPageData(2).left(4), QByteArray("cccc"));
}

// Damaged report files: each gives a clear error when opened or when its
// pages are read, never a crash, a hang or a huge allocation.
TEST(RpPageList, DamagedFilesRaiseClearErrors) {
    QTemporaryDir dir;
    TRpPageList writer;
    Fill(writer, 4, false);
    const QByteArray good = StreamBytes(writer);
    TRpPageList coded;
    Fill(coded, 4, true);
    const QByteArray goodCoded = StreamBytes(coded);
    const qint64 rec2 = U32(good, 128 + 4);
    const qint64 rec3 = U32(good, rec2 + 4);

    struct Case {
        const char* why;
        bool compressed;
        std::function<void(QByteArray&)> damage;
    };
    const Case cases[] = {
        {"empty file", false, [](QByteArray& f) { f.clear(); }},
        {"shorter than a header", false, [](QByteArray& f) { f.truncate(100); }},
        {"header only, pages claimed", false, [](QByteArray& f) { f.truncate(128); }},
        {"cut inside the first record", false, [](QByteArray& f) { f.truncate(140); }},
        {"last byte missing", false, [](QByteArray& f) { f.chop(1); }},
        {"last record's back link missing", false, [](QByteArray& f) { f.chop(4); }},
        {"cut in the middle", false, [](QByteArray& f) { f.truncate(f.size() / 2); }},
        {"count far too large", false, [](QByteArray& f) { SetU32(f, 8, 0x7FFFFFFF); }},
        {"count one too many", false, [](QByteArray& f) { SetU32(f, 8, 5); }},
        // A header that counts fewer pages does not excuse broken links
        // among the pages it counts.
        {"count one too few, a counted page's back link wrong", false,
         [rec2, rec3](QByteArray& f) {
             SetU32(f, 8, 3);
             SetU32(f, rec3 - 4, quint32(rec2 + 1));
         }},
        {"count one too few, a counted page numbered out of sequence", false,
         [rec3](QByteArray& f) {
             SetU32(f, 8, 3);
             SetU32(f, rec3, 9);
         }},
        {"zero pages but records follow", false, [](QByteArray& f) { SetU32(f, 8, 0); }},
        {"next link past the end", false,
         [rec2](QByteArray& f) { SetU32(f, rec2 + 4, 0x7FFFFFF0); }},
        {"next link pointing back at its record", false,
         [rec2](QByteArray& f) { SetU32(f, rec2 + 4, quint32(rec2)); }},
        {"next link into the header", false, [rec2](QByteArray& f) { SetU32(f, rec2 + 4, 4); }},
        {"back link pointing elsewhere", false,
         [rec2, rec3](QByteArray& f) { SetU32(f, rec3 - 4, quint32(rec2 + 1)); }},
        {"last back link past the end", false,
         [](QByteArray& f) { SetU32(f, f.size() - 4, quint32(f.size() + 100)); }},
        {"last back link into the header", false,
         [](QByteArray& f) { SetU32(f, f.size() - 4, 0); }},
        {"page numbers out of sequence", false, [rec2](QByteArray& f) { SetU32(f, rec2, 7); }},
        {"first page numbered 0", false, [](QByteArray& f) { SetU32(f, 128, 0); }},
        {"compression flag not 0 or 1", false, [](QByteArray& f) { f[25] = 7; }},
        {"not a picture: plain page bytes overwritten", false,
         [](QByteArray& f) { std::memset(f.data() + 136, 'Z', 8); }},
        {"coded: byte count beyond what the code can hold", true,
         [](QByteArray& f) { SetU32(f, 136, 0x7FFFFFFF); }},
        {"coded: byte count larger than coded", true,
         [](QByteArray& f) { SetU32(f, 136, U32(f, 136) + 50); }},
        {"coded: code bytes garbled", true,
         [](QByteArray& f) { std::memset(f.data() + 150, 0xFF, 100); }},
        {"coded: flag cleared on a coded file", true, [](QByteArray& f) { f[25] = 0; }},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        QByteArray file = c.compressed ? goodCoded : good;
        c.damage(file);
        const QString name = dir.filePath(QStringLiteral("d%1.RPP").arg(i++));
        TestUtil::WriteFile(name, file);
        TRpPageList list;
        EXPECT_THROW(
            {
                list.OpenPageFile(name);
                for (int k = 1; k <= list.PageCount(); ++k)
                    list.FetchPage(k);
                for (int k = list.PageCount(); k >= 1; --k)
                    list.FetchPage(k);
            },
            Exception);
    }
}

// A run stopped before it rewrote the header leaves more records than the
// header counts: the file opens with the header's count, and every counted
// page reads in either direction.
TEST(RpPageList, HeaderCountLowerThanItsRecordsOpensWithTheHeadersCount) {
    QTemporaryDir dir;
    for (bool compressed : {false, true}) {
        TRpPageList writer;
        Fill(writer, 5, compressed);
        const QByteArray full = StreamBytes(writer);
        for (int counted : {1, 2, 4}) {
            SCOPED_TRACE(testing::Message() << counted << " of 5, compressed " << compressed);
            QByteArray file = full;
            SetU32(file, 8, quint32(counted));
            const QString name = dir.filePath(QStringLiteral("short%1.RPP").arg(counted));
            TestUtil::WriteFile(name, file);
            TRpPageList list;
            ASSERT_NO_THROW(list.OpenPageFile(name));
            EXPECT_EQ(list.PageCount(), counted);
            std::vector<int> walk;
            for (int k = counted; k >= 1; --k)
                walk.push_back(k);
            for (int k = 1; k <= counted; ++k)
                walk.push_back(k);
            for (int k : walk) {
                std::unique_ptr<QPicture> page;
                ASSERT_NO_THROW(page = list.FetchPage(k)) << k;
                ASSERT_TRUE(page) << k;
                EXPECT_EQ(PageTest::Bytes(*page), PageTest::PageBytes(k, k * 3)) << "page " << k;
            }
            EXPECT_EQ(list.FetchPage(counted + 1), nullptr);
        }
    }
}

TEST(RpPageList, FailedOpenKeepsThePagesShown) {
    QTemporaryDir dir;
    TRpPageList list;
    Fill(list, 3, true);
    const QString bad = dir.filePath(QStringLiteral("bad.RPP"));
    TestUtil::WriteFile(bad, QByteArray(300, 'x'));
    EXPECT_THROW(list.OpenPageFile(bad), Exception);
    EXPECT_THROW(list.OpenPageFile(dir.filePath(QStringLiteral("missing.RPP"))), Exception);
    EXPECT_EQ(list.PageCount(), 3);
    EXPECT_EQ(PageTest::Bytes(*list.FetchPage(2)), PageTest::PageBytes(2, 6));
}

TEST(RpPageList, SaveFailureLeavesNoFile) {
    QTemporaryDir dir;
    TRpPageList list;
    Fill(list, 2, false);
    const QString name = dir.filePath(QStringLiteral("no/such/folder/r.RPP"));
    EXPECT_THROW(list.SavePageFile(name), Exception);
    EXPECT_FALSE(QFileInfo::exists(name));
    TRpPageList empty;
    EXPECT_THROW(empty.SavePageFile(dir.filePath(QStringLiteral("e.RPP"))), Exception);
}
