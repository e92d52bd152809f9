// The page store's byte stream (memory, spill to a temporary file) and the
// splay-tree coder.

#include "Exception.h"
#include "PageTestUtil.h"
#include "RpCompress.h"
#include "RpStream.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <vector>

namespace {

QByteArray Pattern(qint64 size, int seed = 0) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed + (i >> 8)) & 0xFF);
    return bytes;
}

QByteArray ReadAll(TRpStream& stream) {
    stream.Seek(0);
    QByteArray all(stream.Size(), Qt::Uninitialized);
    stream.ReadExact(all.data(), all.size());
    return all;
}

// The coder written out literally, one bit at a time, as the reference the
// fast coder must match bit for bit.
struct ReferenceCoder {
    int up[513];
    int left[256];
    int right[256];
    ReferenceCoder() {
        up[0] = 0;
        for (int i = 1; i <= 512; ++i)
            up[i] = (i - 1) / 2;
        for (int i = 0; i <= 255; ++i) {
            left[i] = 2 * i + 1;
            right[i] = 2 * i + 2;
        }
    }
    void Splay(int value) {
        int a = value + 256;
        do {
            int p = up[a];
            if (p != 0) {
                int g = up[p];
                int s = left[g];
                if (s == p) {
                    s = right[g];
                    right[g] = a;
                } else {
                    left[g] = a;
                }
                if (a == left[p])
                    left[p] = s;
                else
                    right[p] = s;
                up[a] = g;
                up[s] = p;
                a = g;
            } else {
                a = p;
            }
        } while (a != 0);
    }
    QByteArray Encode(const QByteArray& data) {
        QByteArray out;
        int bitPos = 0;
        unsigned char byte = 0;
        for (char c : data) {
            const int value = quint8(c);
            std::vector<int> bits;
            for (int a = value + 256; a != 0; a = up[a])
                bits.push_back(right[up[a]] == a ? 1 : 0);
            for (auto it = bits.rbegin(); it != bits.rend(); ++it) {
                if (*it)
                    byte |= quint8(1 << bitPos);
                if (bitPos == 7) {
                    out.append(char(byte));
                    byte = 0;
                    bitPos = 0;
                } else {
                    ++bitPos;
                }
            }
            Splay(value);
        }
        if (bitPos != 0)
            out.append(char(byte));
        return out;
    }
};

QByteArray Encode(const QByteArray& data) {
    TRpStream stream;
    TRpCompress coder(&stream, true);
    coder.Encode(data.constData(), data.size());
    coder.Finish();
    return ReadAll(stream);
}

} // namespace

// Crossing the spill limit moves everything into a temporary file; the bytes
// read back are unchanged, and the file goes away with the stream.
TEST(RpStream, SpillsPastTheLimitAndReadsTheSameBytes) {
    struct Case {
        qint64 size;
        bool inMemory;
        const char* why;
    };
    const Case cases[] = {
        {99999, true, "below the limit"},
        {100000, true, "at the limit: only a size above it spills"},
        {100001, false, "one byte above it"},
        {350000, false, "far above, written in many pieces"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const QByteArray data = Pattern(c.size);
        QString tempName;
        {
            TRpStream stream(TRpStream::DefaultSpillLimit);
            for (qint64 at = 0; at < data.size(); at += 7001)
                stream.Write(data.constData() + at, std::min<qint64>(7001, data.size() - at));
            EXPECT_EQ(stream.InMemory(), c.inMemory);
            EXPECT_EQ(stream.Size(), c.size);
            tempName = stream.TempFileName();
            if (!c.inMemory) {
                EXPECT_TRUE(QFileInfo(tempName).fileName().startsWith(QLatin1String("RPP")));
                EXPECT_EQ(QFileInfo(tempName).absolutePath(),
                          QFileInfo(QDir::tempPath()).absoluteFilePath());
                EXPECT_TRUE(QFileInfo::exists(tempName));
            }
            EXPECT_EQ(ReadAll(stream), data);
            // An overwrite in the middle after the spill lands in the file.
            stream.Seek(c.size / 2);
            stream.Write("XY", 2);
            stream.Seek(c.size / 2);
            char back[2];
            stream.ReadExact(back, 2);
            EXPECT_EQ(QByteArray(back, 2), "XY");
            QBuffer copy;
            copy.open(QIODevice::WriteOnly);
            stream.CopyAllTo(copy);
            QByteArray expected = data;
            expected.replace(c.size / 2, 2, "XY");
            EXPECT_EQ(copy.data(), expected);
        }
        if (!c.inMemory) {
            EXPECT_FALSE(QFileInfo::exists(tempName));
        }
    }
}

TEST(RpStream, RefusesSeeksOutsideAndShortReads) {
    TRpStream stream;
    stream.Write(QByteArray("abcdef"));
    EXPECT_THROW(stream.Seek(7), Exception);
    EXPECT_THROW(stream.Seek(-1), Exception);
    stream.Seek(4);
    char b[4];
    EXPECT_THROW(stream.ReadExact(b, 4), Exception);
}

TEST(RpStream, UnwritableTempFolderGivesAClearError) {
    const QByteArray saved = qgetenv("TMPDIR");
    // /proc refuses new files even to root, who may write anywhere else.
    qputenv("TMPDIR", "/proc");
    TRpStream stream(10);
    EXPECT_THROW(stream.Write(Pattern(11)), Exception);
    qputenv("TMPDIR", saved);
}

// Codes worked out by hand from the balanced start tree.
TEST(RpCompress, FirstSymbolsFromTheBalancedTree) {
    struct Case {
        QByteArray input;
        QByteArray code;
        const char* why;
    };
    const Case cases[] = {
        {QByteArray(1, '\0'), QByteArray(1, char(0x80)),
         "0 is the right child of node 127, all else left: bits 0000000 then 1, LSB first"},
        {QByteArray(1, '\1'), QByteArray(1, char(0x40)),
         "1 is leaf 257, left of 128, which is right of 63: bit 6 set"},
        {QByteArray(1, char(255)), QByteArray(2, '\0'),
         "255 is leaf 511 under internal node 255: nine zero bits, flushed into two bytes"},
        {QByteArray(), QByteArray(), "no symbols write nothing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(Encode(c.input).toHex(), c.code.toHex());
    }
}

TEST(RpCompress, MatchesTheBitByBitCoderAndDecodesBack) {
    QByteArray random(50000, Qt::Uninitialized);
    QRandomGenerator gen(1234);
    for (char& c : random)
        c = char(gen.bounded(256));
    QByteArray skewed;
    for (int i = 0; i < 40000; ++i)
        skewed.append(char(i % 97 == 0 ? gen.bounded(256) : (i / 300) % 3));
    const QByteArray inputs[] = {PageTest::PageBytes(3), random, skewed, QByteArray(3000, 'a'),
                                 Pattern(70000, 5)};
    for (const QByteArray& input : inputs) {
        const QByteArray code = Encode(input);
        EXPECT_EQ(code, ReferenceCoder().Encode(input));
        TRpStream stream;
        stream.Write(code);
        stream.Seek(0);
        TRpCompress decoder(&stream, false);
        QByteArray back(input.size(), Qt::Uninitialized);
        decoder.Decode(back.data(), back.size());
        decoder.Finish();
        EXPECT_EQ(back, input);
        EXPECT_EQ(decoder.CodeSize(), code.size());
    }
}

// A page of zeros: the codes shrink as the tree adapts, and the decoder stops
// exactly at the end of the code (the page record's back link follows it).
TEST(RpCompress, AllZeroPageShrinksAndDecoderEndsAtTheCodeEnd) {
    const QByteArray zeros(20000, '\0');
    const QByteArray firstFew = Encode(QByteArray(16, '\0'));
    const QByteArray code = Encode(zeros);
    EXPECT_LT(code.size(), zeros.size() / 4);
    // 16 zeros from the start take more than 16 bits; the next 19984 take about
    // a bit each or less.
    EXPECT_GT(firstFew.size(), 2);
    EXPECT_LE(code.size() - firstFew.size(), (zeros.size() - 16) / 8 + 2);

    TRpStream stream;
    stream.Write(code);
    stream.Write(QByteArray("BACK"));
    stream.Seek(0);
    TRpCompress decoder(&stream, false);
    QByteArray back(zeros.size(), 'x');
    decoder.Decode(back.data(), back.size());
    decoder.Finish();
    EXPECT_EQ(back, zeros);
    EXPECT_EQ(stream.Position(), code.size());
    char tail[4];
    stream.ReadExact(tail, 4);
    EXPECT_EQ(QByteArray(tail, 4), "BACK");
}

TEST(RpCompress, CodeCutShortRaisesInsteadOfReadingOn) {
    const QByteArray input = PageTest::PageBytes(1);
    const QByteArray code = Encode(input);
    TRpStream stream;
    stream.Write(code);
    stream.Write(QByteArray(100, 'z'));
    stream.Seek(0);
    TRpCompress decoder(&stream, false);
    decoder.SetInputLimit(code.size() / 2);
    QByteArray back(input.size(), Qt::Uninitialized);
    EXPECT_THROW(decoder.Decode(back.data(), back.size()), Exception);
}
