// The page text index: what a prepared report's text index finds, checked
// against what another program (pdftotext) reads from the PDF of the same
// report; case folding and whole words; and the index in report files,
// files without one and files whose index is damaged.

#include "RpTextIndex.h"
#include "Exception.h"
#include "ReportTestUtil.h"
#include "RpPageList.h"
#include "TestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace ReportTest;

namespace {

constexpr int Rows = 150;

QString Token(int row) {
    return QStringLiteral("Ред%1").arg(row, 4, 10, QLatin1Char('0'));
}

// A title and one detail line of two data texts a row: a unique word per
// row and a Cyrillic company name, over several pages.
struct TestReport {
    TDataSet Data;
    std::unique_ptr<TRpReport> Report;
    TRpPrinter* Printer = nullptr;

    TestReport() {
        Data.AddField(QStringLiteral("Token"), TFieldType::String);
        Data.AddField(QStringLiteral("Firm"), TFieldType::String);
        for (int i = 0; i < Rows; ++i)
            Data.AppendRow({Token(i), i % 10 == 3 ? QStringLiteral("Витоша ООД")
                                                  : QStringLiteral("Пирин АД")});
        Data.Open();
        Report = std::make_unique<TRpReport>();
        Report->SetDataSet(&Data);
        TRpBand* title = AddBand(Report.get(), rbTitle, QStringLiteral("Title"), 100);
        Add<TRpLabel>(title, QStringLiteral("Caption"), 100, 10, 1200, 80)
            ->SetCaption(QStringLiteral("Справка Клиенти"));
        TRpBand* detail = AddBand(Report.get(), rbDetail, QStringLiteral("Detail"), 60);
        Add<TRpDBText>(detail, QStringLiteral("TokenText"), 100, 5, 400, 50)
            ->SetDataField(QStringLiteral("Token"));
        Add<TRpDBText>(detail, QStringLiteral("FirmText"), 600, 5, 600, 50)
            ->SetDataField(QStringLiteral("Firm"));
        Printer = new TRpPrinter(Report.get());
        Report->SetPrinter(Printer);
        Report->Run(Printer);
    }
};

struct PdfWord {
    int Page;
    QRectF Rect;
};

// Every word pdftotext -bbox reads from pdf, by text.
QMultiHash<QString, PdfWord> PdfWords(const QString& pdf) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    process.waitForFinished(60000);
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    QMultiHash<QString, PdfWord> words;
    int page = 0;
    static const QRegularExpression tag(
        QStringLiteral("<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                       "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0).startsWith(QLatin1String("<page"))) {
            ++page;
            continue;
        }
        const QRectF rect(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                          QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
        words.insert(m.captured(5), {page, rect});
    }
    return words;
}

bool Near(const QRectF& a, const QRectF& b, double within) {
    return std::abs(a.left() - b.left()) <= within && std::abs(a.right() - b.right()) <= within &&
           std::abs(a.top() - b.top()) <= within && std::abs(a.bottom() - b.bottom()) <= within;
}

// Where the index puts each match of text: page and rectangle.
std::vector<PdfWord> IndexMatches(const TRpTextIndex& index, const QString& text,
                                  bool wholeWords = false) {
    std::vector<PdfWord> found;
    for (const quint32 at : index.FindAll(text, wholeWords)) {
        const TRpTextIndex::TMatch m = index.MatchAt(at, int(text.size()));
        found.push_back({m.Page, index.MatchRect(m)});
    }
    return found;
}

QByteArray ReadFile(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(RpTextIndex, MatchesLieWherePdftotextReadsTheWords) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    TestReport report;
    ASSERT_GT(report.Printer->PageCount(), 2);
    const QString pdf = TestUtil::Scratch().filePath(QStringLiteral("index.pdf"));
    report.Printer->SavePdf(pdf);
    const QMultiHash<QString, PdfWord> words = PdfWords(pdf);
    const TRpTextIndex& index = report.Printer->TextIndex();
    // First row, a row further on, the last row; a word inside a longer
    // item (the match is part of its item's rectangle); the title.
    for (const QString& text :
         {Token(0), Token(77), Token(Rows - 1), QStringLiteral("ООД"), QStringLiteral("Клиенти")}) {
        SCOPED_TRACE(text.toStdString());
        const QList<PdfWord> expected = words.values(text);
        const std::vector<PdfWord> found = IndexMatches(index, text);
        ASSERT_FALSE(expected.isEmpty());
        ASSERT_EQ(found.size(), size_t(expected.size()));
        for (const PdfWord& match : found) {
            const bool seen = std::any_of(expected.begin(), expected.end(), [&](const PdfWord& w) {
                return w.Page == match.Page && Near(w.Rect, match.Rect, 1.0);
            });
            EXPECT_TRUE(seen) << "page " << match.Page << " at " << match.Rect.x() << ","
                              << match.Rect.y() << " " << match.Rect.width() << "x"
                              << match.Rect.height();
        }
    }
}

// Hand-made items: case folding of Cyrillic and Latin, whole words, and a
// word split over two printables.
TEST(RpTextIndex, CaseFoldingWholeWordsAndSplitText) {
    TRpTextIndex index;
    index.BeginPage();
    index.AddText(QRectF(10, 10, 100, 12), QStringLiteral("ВИТОША ООД"));
    index.AddText(QRectF(10, 30, 100, 12), QStringLiteral("Ёлхово и Щерба"));
    index.AddText(QRectF(10, 50, 100, 12), QStringLiteral("ACME Trading"));
    index.EndPage();
    index.BeginPage();
    // "Вито" and "ша" drawn by two printables side by side.
    index.AddText(QRectF(10, 10, 30, 12), QStringLiteral("Вито"));
    index.AddText(QRectF(40, 10, 20, 12), QStringLiteral("ша"));
    index.AddText(QRectF(10, 30, 100, 12), QStringLiteral("витошанска"));
    index.EndPage();
    struct Row {
        const char* Needle;
        bool Whole;
        size_t Count;
        const char* Why;
    };
    const Row rows[] = {
        {"витоша", false, 2, "upper-case Cyrillic item and a longer word; never Вито+ша"},
        {"ВиТоШа оОд", false, 1, "mixed case on both sides, across a blank"},
        {"ёлхово", false, 1, "Ё folds to ё"},
        {"щерба", false, 1, "Щ folds to щ"},
        {"acme trading", false, 1, "Latin folds too"},
        {"витоша", true, 1, "whole words: витошанска is another word"},
        {"вито", true, 1, "whole words: the item Вито alone"},
        {"ша", false, 3, "inside ВИТОША and витошанска, and the item ша"},
        {"ОД", true, 0, "whole words: ООД is not ОД"},
        {"ашави", false, 0, "no match reaches from one item into the next"},
    };
    for (const Row& row : rows) {
        const QString needle = QString::fromUtf8(row.Needle);
        EXPECT_EQ(index.FindAll(needle, row.Whole).size(), row.Count)
            << row.Needle << ": " << row.Why;
    }
    // Searching from page 2 finds page 2's first; from 2 with wrapping a
    // needle only on page 1 comes round to it.
    EXPECT_EQ(index.FindFirst(QStringLiteral("витоша"), false, 2, false).Page, 2);
    EXPECT_EQ(index.FindFirst(QStringLiteral("acme"), false, 2, false).Page, 0);
    EXPECT_EQ(index.FindFirst(QStringLiteral("acme"), false, 2, true).Page, 1);
    // Reading order: one line per row of items, tab between neighbours.
    EXPECT_EQ(index.ReadingText(2), QStringLiteral("Вито\tша\nвитошанска\n"));
    EXPECT_EQ(index.ReadingText(2, QRectF(0, 25, 200, 30)), QStringLiteral("витошанска\n"));
}

// A saved report carries its index after the last page record: the plain
// format's reader (the last 4 bytes lead to the last record) still reads
// it; a file without the index, or with a damaged one, opens with its pages
// and gets the index rebuilt from them.
TEST(RpTextIndex, ReportFilesWithWithoutAndWithDamagedIndex) {
    TestReport report;
    const QString file = TestUtil::Scratch().filePath(QStringLiteral("indexed.rpp"));
    report.Printer->SaveReportFile(file);
    const QByteArray bytes = ReadFile(file);
    const int pages = report.Printer->PageCount();
    const std::vector<PdfWord> recorded = IndexMatches(report.Printer->TextIndex(), Token(120));
    ASSERT_EQ(recorded.size(), size_t(1));

    // The plain reader: last record through the last 4 bytes, numbered as
    // the header counts.
    const quint32 last = qFromLittleEndian<quint32>(bytes.constData() + bytes.size() - 4);
    ASSERT_LT(qsizetype(last) + 4, bytes.size());
    EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + last), quint32(pages));
    EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 8), quint32(pages));

    const quint32 indexAt = qFromLittleEndian<quint32>(bytes.constData() + bytes.size() - 24);
    QByteArray damagedIndex = bytes;
    damagedIndex[indexAt + 40] = char(damagedIndex[indexAt + 40] ^ 0x5A);
    QByteArray damagedTrailer = bytes;
    qToLittleEndian(quint32(12345), damagedTrailer.data() + damagedTrailer.size() - 24);
    struct Case {
        const char* Name;
        QByteArray Bytes;
        TRpPageList::TIndexState State;
    };
    const Case cases[] = {
        {"with index", bytes, TRpPageList::TIndexState::Loaded},
        {"without index", bytes.left(indexAt), TRpPageList::TIndexState::None},
        {"damaged index", damagedIndex, TRpPageList::TIndexState::Damaged},
        {"damaged trailer", damagedTrailer, TRpPageList::TIndexState::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString name = TestUtil::Scratch().filePath(QString::fromLatin1(c.Name) + ".rpp");
        WriteFile(name, c.Bytes);
        TRpPrinter reader;
        ASSERT_NO_THROW(reader.OpenReportFile(name));
        EXPECT_EQ(reader.PageCount(), pages);
        EXPECT_TRUE(reader.PageImage(pages) != nullptr);
        EXPECT_EQ(reader.PageList().IndexState(), c.State);
        EXPECT_EQ(reader.IndexPending(), c.State != TRpPageList::TIndexState::Loaded);
        while (reader.IndexPending())
            reader.IndexPages(7);
        const std::vector<PdfWord> found = IndexMatches(reader.TextIndex(), Token(120));
        ASSERT_EQ(found.size(), size_t(1));
        EXPECT_EQ(found[0].Page, recorded[0].Page);
        EXPECT_TRUE(Near(found[0].Rect, recorded[0].Rect, 1.0))
            << found[0].Rect.x() << "," << found[0].Rect.y() << " vs " << recorded[0].Rect.x()
            << "," << recorded[0].Rect.y();
        EXPECT_EQ(reader.TextIndex().FindAll(QStringLiteral("витоша"), false).size(),
                  size_t(Rows / 10));
        // Saved again, the file carries a (rebuilt) index and one trailer.
        const QString again = name + QStringLiteral(".again.rpp");
        reader.SaveReportFile(again);
        TRpPrinter second;
        second.OpenReportFile(again);
        EXPECT_EQ(second.PageList().IndexState(), TRpPageList::TIndexState::Loaded);
        EXPECT_EQ(second.TextIndex().PageText(pages), reader.TextIndex().PageText(pages));
    }
}

namespace {

// The folded text of items joined by separators, searched the plain way:
// what every kind of index must find.
std::vector<quint32> PlainFind(const QString& folded, const QString& needle, bool wholeWords) {
    const auto word = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    std::vector<quint32> found;
    const QString n = TRpTextIndex::Fold(needle);
    for (qsizetype at = folded.indexOf(n); at >= 0; at = folded.indexOf(n, at + 1)) {
        const qsizetype end = at + n.size();
        if (wholeWords && ((at > 0 && word(folded[at - 1]) && word(folded[at])) ||
                           (end < folded.size() && word(folded[end]) && word(folded[end - 1]))))
            continue;
        found.push_back(quint32(at));
        at = end - 1;
    }
    return found;
}

} // namespace

// A long report's index goes to a temporary file, and an index read from a
// report file stays in it; both are searched a chunk at a time. Every kind
// finds exactly what a plain search of the whole text finds, including
// matches that straddle the border between two chunks and whole words
// judged right at it, and gives the same pages, items and rectangles.
TEST(RpTextIndex, IndexKeptInFilesFindsWhatThePlainTextHolds) {
    TRpTextIndex index;
    QString folded; // the whole text as the index folds it
    const QString needle = QStringLiteral("Слово");
    // Items of 40-odd characters, 200 a page, past one search chunk and
    // past the bytes kept in memory; at each chunk border an item puts the
    // needle across it (and, one chunk on, a word that only starts there).
    int pages = 0;
    for (int item = 0; folded.size() < 2 * TRpTextIndex::ChunkChars + 2000; ++item) {
        if (item % 200 == 0) {
            if (item > 0)
                index.EndPage();
            index.BeginPage();
            ++pages;
        }
        QString text = QStringLiteral("ред %1 Пирин АД, слово%2").arg(item).arg(item % 7);
        for (const qint64 border : {TRpTextIndex::ChunkChars, 2 * TRpTextIndex::ChunkChars}) {
            const qint64 at = folded.size();
            if (at < border - 3 && at + 60 > border) {
                const QString word = border == TRpTextIndex::ChunkChars ? QStringLiteral(" Слово ")
                                                                        : QStringLiteral("xСлово ");
                text = QString(int(border - 3 - at - 1), u'.') + word;
            }
        }
        index.AddText(QRectF(10, 10 + item % 200, 100, 12), text);
        folded += TRpTextIndex::Fold(text) + u'\n';
    }
    index.EndPage();
    ASSERT_TRUE(index.OnFile()) << "a long index leaves the heap";

    const QString file = TestUtil::Scratch().filePath(QStringLiteral("long-index.rpp"));
    TRpPageList list;
    for (int k = 1; k <= pages; ++k)
        list.AppendPageData(QByteArray("page") + QByteArray::number(k));
    list.WriteListHeader();
    list.TextIndex() = std::move(index);
    list.SavePageFile(file);
    TRpPageList reader;
    reader.OpenPageFile(file);
    ASSERT_EQ(reader.IndexState(), TRpPageList::TIndexState::Loaded);
    TRpTextIndex fromBytes;
    const QByteArray bytes = list.TextIndex().ToBytes();
    ASSERT_TRUE(fromBytes.FromBytes(bytes));
    EXPECT_EQ(list.TextIndex().ByteSize(), bytes.size());

    struct Kind {
        const char* Name;
        const TRpTextIndex& Index;
    };
    const Kind kinds[] = {{"filled, in a temporary file", list.TextIndex()},
                          {"read from the report file", reader.TextIndex()},
                          {"read from bytes, in memory", fromBytes}};
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.Name);
        const TRpTextIndex& ix = kind.Index;
        ASSERT_EQ(ix.PageCount(), pages);
        for (const QString& n : {needle, QStringLiteral("слово3"), QStringLiteral("пирин ад")}) {
            for (const bool whole : {false, true}) {
                SCOPED_TRACE(n.toStdString() + (whole ? " whole" : ""));
                const std::vector<quint32> expected = PlainFind(folded, n, whole);
                ASSERT_FALSE(expected.empty());
                EXPECT_EQ(ix.FindAll(n, whole), expected);
            }
        }
        // The match across the first border, located and measured.
        const std::vector<quint32> all = ix.FindAll(needle, true);
        const auto across = std::find_if(all.begin(), all.end(), [](quint32 at) {
            return at < TRpTextIndex::ChunkChars && at + 5 > TRpTextIndex::ChunkChars;
        });
        ASSERT_NE(across, all.end());
        const TRpTextIndex::TMatch m = ix.MatchAt(*across, int(needle.size()));
        const std::vector<TRpTextIndex::TItem> items = ix.PageItems(m.Page);
        ASSERT_LT(size_t(m.Item), items.size());
        EXPECT_TRUE(items[size_t(m.Item)].Text.contains(needle));
        EXPECT_FALSE(ix.MatchRect(m).isEmpty());
        EXPECT_EQ(ix.FindFirst(needle, true, m.Page, false).Page, m.Page);
        EXPECT_EQ(ix.PageText(pages), list.TextIndex().PageText(pages));
        EXPECT_EQ(ix.PageMatches(m.Page, needle, true).size(),
                  size_t(std::count_if(all.begin(), all.end(), [&](quint32 at) {
                      return ix.MatchAt(at, 1).Page == m.Page;
                  })));
    }
}

// A report wanted only as a PDF is drawn straight into it: the same pages
// with every word where the PDF of the recorded pages has it, no pages or
// text kept, and nothing left beside the file.
TEST(RpTextIndex, PdfDrawnStraightIsThePdfOfTheRecordedPages) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    TestReport recorded;
    QDir dir(TestUtil::Scratch().filePath(QStringLiteral("direct")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
    const QString replayed = dir.filePath(QStringLiteral("replayed.pdf"));
    recorded.Printer->SavePdf(replayed);

    const QString direct = dir.filePath(QStringLiteral("direct.pdf"));
    recorded.Report->ReleasePrinter();
    auto* printer = new TRpPrinter(recorded.Report.get());
    recorded.Report->SetPrinter(printer);
    printer->SetCollectText(false);
    printer->SetPdfOutput(direct);
    recorded.Report->Run(printer);
    EXPECT_EQ(printer->PageList().PageCount(), 0) << "no page recorded";
    EXPECT_FALSE(QFileInfo::exists(direct)) << "in place only when saved";
    EXPECT_THROW(printer->SaveReportFile(dir.filePath(QStringLiteral("x.rpp"))), Exception);
    printer->SavePdf(direct);
    EXPECT_EQ(dir.entryList(QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral("direct.pdf"), QStringLiteral("replayed.pdf")}));

    QMultiHash<QString, PdfWord> expected = PdfWords(replayed);
    const QMultiHash<QString, PdfWord> found = PdfWords(direct);
    ASSERT_GT(expected.size(), Rows);
    EXPECT_EQ(found.size(), expected.size());
    for (auto it = found.begin(); it != found.end(); ++it) {
        const QList<PdfWord> same = expected.values(it.key());
        const bool seen = std::any_of(same.begin(), same.end(), [&](const PdfWord& w) {
            return w.Page == it->Page && Near(w.Rect, it->Rect, 0.001);
        });
        EXPECT_TRUE(seen) << it.key().toStdString() << " on page " << it->Page;
    }
    // Only that run's PDF is compressed faster: zlib's default level is
    // zlib's own again for everyone else.
    const QByteArray sample = QStringLiteral("Ред 0001 Витоша ООД 12.50\n").repeated(500).toUtf8();
    EXPECT_EQ(qCompress(sample, -1), qCompress(sample, 6));
}

// An index read from a file is checked in full before it is believed (its
// CRC aside): counts, the page table, every item's length against its
// page's text, the separators and the fonts. Each damage refuses it whole.
TEST(RpTextIndex, DamagedIndexBytesAreRefusedWhole) {
    TRpTextIndex index;
    index.SetFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    for (int page = 1; page <= 3; ++page) {
        index.BeginPage();
        index.AddText(QRectF(10, 10, 80, 12), QStringLiteral("Стр. %1").arg(page));
        index.AddText(QRectF(10, 30, 80, 12), QStringLiteral("Витоша ООД"));
        index.EndPage();
    }
    const QByteArray good = index.ToBytes();
    ASSERT_EQ(good.size(), index.ByteSize());
    const qsizetype textAt = good.size() - index.TextSize() * 2;
    const qsizetype itemsAt = textAt - 6 * 12;
    const qsizetype tableAt = itemsAt - 3 * 8;
    const auto u32 = [&](qsizetype at, quint32 value) {
        QByteArray bytes = good;
        qToLittleEndian(value, bytes.data() + at);
        return bytes;
    };
    const auto u16 = [&](qsizetype at, quint16 value) {
        QByteArray bytes = good;
        qToLittleEndian(value, bytes.data() + at);
        return bytes;
    };
    struct Case {
        const char* Name;
        QByteArray Bytes;
    };
    const Case cases[] = {
        {"cut short", good.left(good.size() - 2)},
        {"a byte more", good + 'x'},
        {"more pages claimed", u32(8, 4)},
        {"more items claimed", u32(12, 7)},
        {"a font count past the bytes", u32(20, 0xFFFF)},
        {"page offsets falling", u32(tableAt + 8, 1)},
        {"an item longer than its page", u16(itemsAt + 8, 40)},
        {"an empty item", u16(itemsAt + 12 + 8, 0)},
        {"a font that is not there", u16(itemsAt + 10, 5)},
        {"a separator gone", u16(textAt + 12, 'x')},
        {"a separator inside an item", u16(textAt + 2, '\n')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TRpTextIndex read;
        EXPECT_FALSE(read.FromBytes(c.Bytes));
        EXPECT_EQ(read.PageCount(), 0);
        EXPECT_TRUE(read.FindAll(QStringLiteral("витоша"), false).empty());
    }
    TRpTextIndex read;
    ASSERT_TRUE(read.FromBytes(good));
    EXPECT_EQ(read.FindAll(QStringLiteral("витоша"), false).size(), size_t(3));
    EXPECT_EQ(read.PageText(2), QStringLiteral("Стр. 2\nВитоша ООД\n"));
}
