// Page store figures: the coder's throughput on typical page data, and the
// time to fetch pages 1, n, n/2 and consecutive pages of a 5,000-page report
// file, beside reading the same bytes straight from the file.
//
// Run: pages_bench [pages]   (default 5000). Prints the fetch table and
// RESULT lines for the coder (BenchResult.h).

#include "BenchResult.h"
#include "RpCompress.h"
#include "RpPageList.h"
#include "RpStream.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
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
    return 0;
}
