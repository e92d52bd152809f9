// Page store figures: the coder's throughput on typical page data, and the
// time to fetch pages 1, n, n/2 and consecutive pages of a 5,000-page report
// file, beside reading the same bytes straight from the file. Then the pages
// of the older engine (metafiles): playing a page of 200 texts, showing page
// 1 of a 1,000-page old file and saving it as a PDF, each beside the same
// work on the program's own pages.
//
// Run: pages_bench [pages]   (default 5000). Prints the fetch table and
// RESULT lines for the coder (BenchResult.h).

#include "BenchResult.h"
#include "RpCompress.h"
#include "RpEmfPlayer.h"
#include "RpPageList.h"
#include "RpPrinter.h"
#include "RpStream.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

// A page as a report run draws it: a heading, 40 ruled rows of text, a frame.
QByteArray PageBytes(int number) {
    QPicture picture;
    picture.setBoundingRect(QRect(0, 0, 794, 1123));
    QPainter p(&picture);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 14, QFont::Bold));
    p.drawText(60, 60, QStringLiteral("Справка — страница %1").arg(number));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    for (int r = 0; r < 40; ++r) {
        const int y = 100 + r * 24;
        p.drawLine(40, y + 6, 754, y + 6);
        p.drawText(50, y, QString::number(number * 1000 + r));
        p.drawText(150, y, QStringLiteral("Клиент %1, гр. София").arg(number * 7 + r));
        p.drawText(600, y, QStringLiteral("%1.%2").arg(r * 37 + number).arg(r % 100));
    }
    p.drawRect(30, 30, 734, 1063);
    p.end();
    return QByteArray(picture.data(), qsizetype(picture.size()));
}

// Median time in microseconds of run(), each try after a fresh prepare().
double TimeUs(int tries, const std::function<void()>& prepare, const std::function<void()>& run) {
    std::vector<double> times;
    for (int i = 0; i < tries; ++i) {
        prepare();
        QElapsedTimer t;
        t.start();
        run();
        times.push_back(t.nsecsElapsed() / 1000.0);
    }
    return Bench::Median(times);
}

void CoderThroughput(const std::vector<QByteArray>& pages) {
    qint64 total = 0;
    for (const QByteArray& p : pages)
        total += p.size();
    std::vector<QByteArray> codes;
    std::vector<double> encodeMBs, decodeMBs, zipMBs, unzipMBs;
    bool same = true;
    for (int round = 0; round < 7; ++round) {
        codes.clear();
        QElapsedTimer t;
        t.start();
        for (const QByteArray& page : pages) {
            TRpStream stream(qint64(1) << 40);
            TRpCompress coder(&stream, true);
            coder.Encode(page.constData(), page.size());
            coder.Finish();
            stream.Seek(0);
            QByteArray code(stream.Size(), Qt::Uninitialized);
            stream.ReadExact(code.data(), code.size());
            codes.push_back(code);
        }
        encodeMBs.push_back(total / 1e6 / (t.nsecsElapsed() / 1e9));

        std::vector<TRpStream*> streams;
        for (const QByteArray& code : codes) {
            auto* s = new TRpStream(qint64(1) << 40);
            s->Write(code);
            s->Seek(0);
            streams.push_back(s);
        }
        std::vector<QByteArray> out(pages.size());
        t.restart();
        for (size_t i = 0; i < pages.size(); ++i) {
            out[i].resize(pages[i].size());
            TRpCompress coder(streams[i], false);
            coder.Decode(out[i].data(), out[i].size());
            coder.Finish();
        }
        decodeMBs.push_back(total / 1e6 / (t.nsecsElapsed() / 1e9));
        for (size_t i = 0; i < pages.size(); ++i)
            same = same && out[i] == pages[i];
        for (TRpStream* s : streams)
            delete s;

        // The peer: zlib through Qt, on the same pages.
        std::vector<QByteArray> zipped;
        t.restart();
        for (const QByteArray& page : pages)
            zipped.push_back(qCompress(page, 1));
        zipMBs.push_back(total / 1e6 / (t.nsecsElapsed() / 1e9));
        t.restart();
        for (const QByteArray& z : zipped)
            same = same && qUncompress(z).size() > 0;
        unzipMBs.push_back(total / 1e6 / (t.nsecsElapsed() / 1e9));
    }
    qint64 coded = 0;
    for (const QByteArray& c : codes)
        coded += c.size();
    std::printf("Coder, %zu pages, %.1f MB of picture bytes (%.0f bytes a page), coded to %.0f%%\n",
                pages.size(), total / 1e6, double(total) / pages.size(), 100.0 * coded / total);
    std::printf("  encode %8.1f MB/s   decode %8.1f MB/s   (median of 7; every page decoded "
                "back: %s)\n\n",
                Bench::Median(encodeMBs), Bench::Median(decodeMBs), same ? "yes" : "NO");
    // The best round: the coder's own speed, least disturbed by other work
    // on the machine.
    const double encode = *std::max_element(encodeMBs.begin(), encodeMBs.end());
    const double decode = *std::max_element(decodeMBs.begin(), decodeMBs.end());
    const double zip = *std::max_element(zipMBs.begin(), zipMBs.end());
    const double unzip = *std::max_element(unzipMBs.begin(), unzipMBs.end());
    Bench::Result(QStringLiteral("page-store coder, encode (vs zlib level 1)"),
                  Bench::Figure(encode, "MB/s", 1), Bench::Figure(zip, "MB/s", 1), encode / zip,
                  QStringLiteral(">= 50 MB/s"), same && encode >= 50);
    Bench::Result(QStringLiteral("page-store coder, decode (vs zlib)"),
                  Bench::Figure(decode, "MB/s", 1), Bench::Figure(unzip, "MB/s", 1), decode / unzip,
                  QStringLiteral(">= 50 MB/s"), same && decode >= 50);
}

void FetchTimes(const QString& dir, int n, bool compressed) {
    const QString name =
        dir + (compressed ? QStringLiteral("/coded.RPP") : QStringLiteral("/plain.RPP"));
    {
        TRpPageList list;
        list.SetStream(std::make_unique<TRpStream>(100000));
        list.SetCompression(compressed);
        std::vector<QByteArray> distinct;
        for (int k = 0; k < 50; ++k)
            distinct.push_back(PageBytes(k + 1));
        for (int k = 1; k <= n; ++k)
            list.AppendPageData(distinct[size_t(k % 50)]);
        list.WriteListHeader();
        list.SavePageFile(name);
    }
    // Each record's data range, for the direct reads.
    const QByteArray file = [&] {
        QFile f(name);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    std::vector<std::pair<qint64, qint64>> ranges(size_t(n) + 1);
    qint64 at = TRpPageList::HeaderSize;
    for (int k = 1; k <= n; ++k) {
        const qint64 next = qFromLittleEndian<quint32>(file.constData() + at + 4);
        ranges[size_t(k)] = {at + 8, next - 4 - (at + 8)};
        at = next;
    }
    std::printf("%d-page file, %s, %.1f MB\n", n, compressed ? "coded" : "plain",
                file.size() / 1e6);
    std::printf("  %-26s %14s %14s %14s\n", "fetch", "page store us", "bytes only us",
                "direct read us");

    // Times fetching the pages of sequence from a freshly opened file, after
    // fetching the pages of warm (not timed).
    auto row = [&](const char* label, std::vector<int> sequence, std::vector<int> warm = {}) {
        std::unique_ptr<TRpPageList> list;
        QFile direct(name);
        auto prepare = [&] {
            list = std::make_unique<TRpPageList>();
            list->OpenPageFile(name);
            for (int k : warm)
                list->FetchPageData(k);
            direct.close();
            direct.open(QIODevice::ReadOnly);
        };
        const int tries = 9;
        const double store = TimeUs(tries, prepare, [&] {
            for (int k : sequence)
                list->FetchPage(k);
        });
        const double bytes = TimeUs(tries, prepare, [&] {
            for (int k : sequence)
                list->FetchPageData(k);
        });
        const double raw = TimeUs(tries, prepare, [&] {
            for (int k : sequence) {
                direct.seek(ranges[size_t(k)].first);
                direct.read(ranges[size_t(k)].second);
            }
        });
        const double per = double(sequence.size());
        std::printf("  %-26s %14.1f %14.1f %14.1f\n", label, store / per, bytes / per, raw / per);
    };
    row("page 1 (first fetch)", {1});
    row("page n (first fetch)", {n});
    row("page n/2 (first fetch)", {n / 2});
    std::vector<int> forward, backward;
    const int span = std::min(200, n - n / 2 - 1);
    for (int k = n / 2; k < n / 2 + span; ++k)
        forward.push_back(k);
    for (int k = n / 2 + span; k > n / 2; --k)
        backward.push_back(k);
    row("next pages, per page", forward, {n / 2});
    row("previous pages, per page", backward, {std::min(n, n / 2 + span + 1)});
    row("page n/2 seen before", {n / 2}, {n / 2, 1});
    std::printf("\n");
}

// A metafile page as a Windows report engine writes it: units of 0.1 mm,
// one font, a heading, rows of three texts with their spacing arrays (the
// face's own widths, rounded as GDI rounds them) and a rule under each row.
class TEmfPage {
public:
    void Record(quint32 type, std::initializer_list<qint32> values, const QByteArray& tail = {}) {
        QByteArray body;
        for (qint32 v : values)
            Put(body, quint32(v));
        body += tail;
        while (body.size() % 4)
            body += '\0';
        Put(Records, type);
        Put(Records, quint32(body.size() + 8));
        Records += body;
        ++Count;
    }
    void Text(int x, int y, const QString& text) {
        static const QFontMetricsF metrics = [] {
            QFont f(QStringLiteral("Liberation Sans"));
            f.setPixelSize(35); // 3.5 mm in units of 0.1 mm
            return QFontMetricsF(f);
        }();
        QByteArray tail(text.size() * 2, '\0');
        for (int i = 0; i < text.size(); ++i)
            qToLittleEndian(quint16(text[i].unicode()), tail.data() + 2 * i);
        while (tail.size() % 4)
            tail += '\0';
        const int offDx = 76 + int(tail.size());
        for (QChar c : text)
            Put(tail, quint32(qRound(metrics.horizontalAdvance(c))));
        Record(84, {0, 0, -1, -1, 1, 0, 0, x, y, int(text.size()), 76, 0, 0, 0, 0, 0, offDx}, tail);
    }
    QByteArray Finish() const {
        QByteArray h;
        for (quint32 v : {1u,
                          88u,
                          0u,
                          0u,
                          794u,
                          1123u,
                          0u,
                          0u,
                          21000u,
                          29700u,
                          0x464D4520u,
                          0x10000u,
                          quint32(88 + Records.size() + 20),
                          quint32(Count + 2),
                          8u,
                          0u,
                          0u,
                          0u,
                          1024u,
                          768u,
                          271u,
                          203u})
            Put(h, v);
        QByteArray eof;
        for (quint32 v : {14u, 20u, 0u, 16u, 20u})
            Put(eof, v);
        return h + Records + eof;
    }

private:
    static void Put(QByteArray& b, quint32 v) {
        char c[4];
        qToLittleEndian(v, c);
        b.append(c, 4);
    }
    QByteArray Records;
    int Count = 0;
};

void StartPage(TEmfPage& e) {
    e.Record(17, {8});         // MM_ANISOTROPIC
    e.Record(9, {2100, 2970}); // window: 0.1 mm
    e.Record(11, {794, 1123}); // viewport: the reference device's pixels
    e.Record(18, {1});         // TRANSPARENT
    e.Record(22, {24});        // TA_BASELINE
    QByteArray lf;
    for (qint32 v : {-35, 0, 0, 0, 400})
        lf.append(reinterpret_cast<const char*>(&v), 4);
    lf += QByteArray("\0\0\0\xCC\0\0\0\0", 8);
    QByteArray face(64, '\0');
    const QString arial = QStringLiteral("Arial");
    for (int i = 0; i < arial.size(); ++i)
        face[2 * i] = char(arial[i].unicode());
    e.Record(82, {1}, lf + face);
    e.Record(37, {1});
    e.Record(37, {qint32(0x80000007)}); // BLACK_PEN
}

// 200 texts and nothing else.
QByteArray EmfTextPage() {
    TEmfPage e;
    StartPage(e);
    for (int r = 0; r < 50; ++r)
        for (int c = 0; c < 4; ++c)
            e.Text(100 + c * 480, 150 + r * 55, QStringLiteral("Клиент %1, ред %2").arg(c).arg(r));
    return e.Finish();
}

// The program's own page of the same 200 texts.
QByteArray PictureTextPage() {
    QPicture picture;
    picture.setBoundingRect(QRect(0, 0, 794, 1123));
    QPainter p(&picture);
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(3.5 / 25.4 * 72);
    p.setFont(f);
    for (int r = 0; r < 50; ++r)
        for (int c = 0; c < 4; ++c)
            p.drawText(QPointF((100 + c * 480) * 794 / 2100.0, (150 + r * 55) * 1123 / 2970.0),
                       QStringLiteral("Клиент %1, ред %2").arg(c).arg(r));
    p.end();
    return QByteArray(picture.data(), qsizetype(picture.size()));
}

// A report page like PageBytes(number): heading, 40 rows of three texts
// with a rule under each, a frame.
QByteArray EmfReportPage(int number) {
    TEmfPage e;
    StartPage(e);
    e.Text(160, 160, QStringLiteral("Справка — страница %1").arg(number));
    for (int r = 0; r < 40; ++r) {
        const int y = 265 + r * 64;
        e.Record(27, {105, y + 16});
        e.Record(54, {1995, y + 16});
        e.Text(130, y, QString::number(number * 1000 + r));
        e.Text(400, y, QStringLiteral("Клиент %1, гр. София").arg(number * 7 + r));
        e.Text(1590, y, QStringLiteral("%1.%2").arg(r * 37 + number).arg(r % 100));
    }
    e.Record(37, {qint32(0x80000005)}); // NULL_BRUSH
    e.Record(43, {80, 80, 2020, 2890});
    return e.Finish();
}

// A page file of n pages; old: with the older engine's 124-byte header.
QString PageFile(const QString& name, int n, const std::function<QByteArray(int)>& page, bool old) {
    {
        TRpPageList list;
        list.SetStream(std::make_unique<TRpStream>(100000));
        for (int k = 1; k <= n; ++k)
            list.AppendPageData(page(k));
        list.WriteListHeader();
        list.SavePageFile(name);
    }
    if (old) {
        QFile f(name);
        f.open(QIODevice::ReadOnly);
        const QByteArray file = f.readAll();
        f.close();
        QByteArray out = file.left(124);
        out.replace(12, 112, QByteArray(112, '\0'));
        QByteArray records = file.mid(128);
        for (qint64 at = 0; at < records.size();) {
            const quint32 next = qFromLittleEndian<quint32>(records.constData() + at + 4);
            qToLittleEndian(quint32(next - 4), records.data() + at + 4);
            qToLittleEndian(quint32(at + 124), records.data() + next - 128 - 4);
            at = next - 128;
        }
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(out + records);
    }
    return name;
}

void OldEnginePages(const QString& dir) {
    // Playing one page of 200 texts into the picture the preview shows,
    // beside loading the program's own page of the same texts.
    const QByteArray emf = EmfTextPage();
    const QByteArray own = PictureTextPage();
    std::vector<double> play, load;
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer t;
        t.start();
        const std::unique_ptr<QPicture> picture = TRpEmfPlayer::ToPicture(emf, 96);
        play.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        QPicture mine;
        mine.setData(own.constData(), uint(own.size()));
        QImage probe(1, 1, QImage::Format_RGB32);
        QPainter painter(&probe);
        painter.drawPicture(0, 0, mine); // a picture is read when it is played
        painter.end();
        load.push_back(t.nsecsElapsed() / 1e6);
    }
    const double playMs = Bench::Median(play);
    const double loadMs = Bench::Median(load);
    Bench::Result(QStringLiteral("old-engine page of 200 texts, played (vs own page replayed)"),
                  Bench::Figure(playMs, "ms", 3), Bench::Figure(loadMs, "ms", 3),
                  loadMs > 0 ? playMs / loadMs : -1, QStringLiteral("< 2 ms"), playMs < 2);

    // A 1,000-page file: opening it and showing page 1 (drawn on a screen-
    // sized image), then saving it as a PDF; beside the program's own file.
    const int n = 1000;
    const QString old = PageFile(dir + QStringLiteral("/old.RPP"), n, EmfReportPage, true);
    const QString mine = PageFile(dir + QStringLiteral("/own.RPP"), n, PageBytes, false);
    const auto firstPage = [](const QString& file) {
        std::vector<double> times;
        for (int i = 0; i < 9; ++i) {
            QElapsedTimer t;
            t.start();
            TRpPrinter printer;
            printer.OpenReportFile(file);
            const std::unique_ptr<QPicture> page = printer.PageImage(1);
            QImage image(794, 1123, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            TRpPrinter::DrawPage(painter, *page, QRectF(image.rect()));
            painter.end();
            times.push_back(t.nsecsElapsed() / 1e6);
        }
        return Bench::Median(times);
    };
    const double oldFirst = firstPage(old);
    const double ownFirst = firstPage(mine);
    Bench::Result(QStringLiteral("1,000-page old file: open and show page 1 (vs own file)"),
                  Bench::Figure(oldFirst, "ms", 1), Bench::Figure(ownFirst, "ms", 1),
                  ownFirst > 0 ? oldFirst / ownFirst : -1, QStringLiteral("< 100 ms"),
                  oldFirst < 100);
    const auto pdfRate = [&](const QString& file) {
        std::vector<double> rates;
        for (int i = 0; i < 3; ++i) {
            TRpPrinter printer;
            printer.OpenReportFile(file);
            QElapsedTimer t;
            t.start();
            printer.SavePdf(dir + QStringLiteral("/out.pdf"));
            rates.push_back(n / (t.nsecsElapsed() / 1e9));
        }
        return *std::max_element(rates.begin(), rates.end());
    };
    const double oldPdf = pdfRate(old);
    const double ownPdf = pdfRate(mine);
    Bench::Result(QStringLiteral("1,000-page old file saved as PDF (vs own file)"),
                  Bench::Figure(oldPdf, "pages/s", 0), Bench::Figure(ownPdf, "pages/s", 0),
                  ownPdf > 0 ? oldPdf / ownPdf : -1, QStringLiteral(">= 200 pages/s"),
                  oldPdf >= 200);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int n = argc > 1 ? std::max(10, std::atoi(argv[1])) : 5000;

    std::vector<QByteArray> pages;
    for (int k = 1; k <= 400; ++k)
        pages.push_back(PageBytes(k));
    CoderThroughput(pages);

    QTemporaryDir dir;
    FetchTimes(dir.path(), n, false);
    FetchTimes(dir.path(), n, true);
    OldEnginePages(dir.path());
    return 0;
}
