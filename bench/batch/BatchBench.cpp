// Batch run figures: the built program run from the command line as a
// scheduler runs it, on the demo's sales of every date (a subject made here
// beside "Продажби", without its mandatory date condition), measured as a
// whole process: wall time and peak resident memory (the kernel's high-water
// mark of the child). Beside it the sqlite3 shell writing the same rows.
// - batch export (text and CSV): the rows are read once and written as they
//   come, so the time is close to the shell's and memory does not grow with
//   the rows;
// - batch PDF: the report drawn straight into a PDF, in pages per second,
//   beside the pages recorded into a report file and then converted to a
//   PDF (the way a PDF of recorded pages is made);
// - growth: both at every row count given, so a reader sees time grow with
//   the rows and memory stay flat.
//
// Run: batch_bench --exe VEXAL --data DIR [ROWS...]   (default rows: 100000
// 1000000). DIR holds the demo databases (demo-ROWS.db, made with the
// program's --create-demo when missing) and this bench's copies of them.
// Needs sqlite3 on the PATH. Prints RESULT lines (BenchResult.h).

#include "BatchSubject.h"
#include "BenchResult.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const Subject = Bench::AllSalesSubject;

struct TRun {
    double Seconds = -1;
    double CpuSeconds = -1; // user and system time of the child
    double PeakMb = 0;
    bool Ok = false;
};

// Runs a program with standard output to outFile (or /dev/null); its wall
// time and peak resident memory.
TRun Run(const std::vector<QByteArray>& args, const QString& outFile = QString()) {
    std::vector<char*> argv;
    for (const QByteArray& a : args)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    const QByteArray out =
        QFile::encodeName(outFile.isEmpty() ? QStringLiteral("/dev/null") : outFile);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            _exit(127);
        dup2(fd, 1);
        close(fd);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    TRun run;
    if (pid < 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.Seconds = timer.nsecsElapsed() / 1e9;
    run.PeakMb = usage.ru_maxrss / 1024.0;
    run.CpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                     (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!run.Ok)
        std::fprintf(stderr, "%s failed (status %d)\n", args[0].constData(), status);
    return run;
}

// The bench's copy of the demo of rows sales rows, with the subject of
// every sale added to the catalogue.
QString Database(const QString& exe, const QString& folder, qint64 rows) {
    const QString demo = QDir(folder).filePath(QStringLiteral("demo-%1.db").arg(rows));
    if (!QFileInfo::exists(demo)) {
        std::printf("making the demo database of %lld rows\n", rows);
        std::fflush(stdout);
        const QString part = demo + QStringLiteral(".part");
        if (!Run({QFile::encodeName(exe), "--create-demo", QFile::encodeName(part), "--rows",
                  QByteArray::number(rows)})
                 .Ok ||
            !QFile::rename(part, demo))
            std::exit(1);
    }
    return Bench::SubjectDatabase(demo, folder, rows);
}

qint64 LineCount(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    qint64 lines = 0;
    QByteArray block;
    while (!(block = f.read(1 << 20)).isEmpty())
        lines += block.count('\n');
    return lines;
}

QByteArray ReadAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Pages of a PDF: its page objects.
int PdfPages(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    int pages = 0;
    QByteArray tail;
    QByteArray block;
    while (!(block = f.read(1 << 20)).isEmpty()) {
        const QByteArray text = tail + block;
        for (qsizetype at = text.indexOf("/Type /Page"); at >= 0;
             at = text.indexOf("/Type /Page", at + 1))
            if (at + 11 < text.size() && text[at + 11] != 's' && at + 11 >= tail.size())
                ++pages;
        tail = text.right(16);
    }
    return pages;
}

QString Mb(double mb) {
    return Bench::Figure(mb, "MB", 0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString exe;
    QString data;
    std::vector<qint64> sizes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--exe") == 0 && i + 1 < argc)
            exe = QFileInfo(QFile::decodeName(argv[++i])).absoluteFilePath();
        else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc)
            data = QFileInfo(QFile::decodeName(argv[++i])).absoluteFilePath();
        else
            sizes.push_back(std::max<qint64>(1, std::atoll(argv[i])));
    }
    if (exe.isEmpty() || data.isEmpty()) {
        std::fprintf(stderr, "usage: batch_bench --exe VEXAL --data DIR [ROWS...]\n");
        return 2;
    }
    if (sizes.empty())
        sizes = {100000, 1000000};
    QDir().mkpath(data);
    QTemporaryDir dir;
    const QString aliases = dir.filePath(QStringLiteral("aliases.ini"));
    qputenv("VEXAL_ALIASES", QFile::encodeName(aliases));
    qputenv("QT_QPA_PLATFORM", "offscreen");

    bool allOk = true;
    for (const qint64 rows : sizes) {
        const QString db = Database(exe, data, rows);
        QFile file(aliases);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("[BENCH]\nDriver=sqlite\nDatabase=" + QFile::encodeName(db) + "\n");
        file.close();
        const QByteArray program = QFile::encodeName(exe);
        const QByteArray subject(Subject);

        // The statement the inquiry runs, from a run that prints it.
        const QString sqlFile = dir.filePath(QStringLiteral("statement.sql"));
        const QString ourText = dir.filePath(QStringLiteral("ours.txt"));
        const QString shellText = dir.filePath(QStringLiteral("shell.txt"));
        std::vector<double> ours, shell, oursMb, shellMb;
        bool same = true;
        QByteArray sql;
        for (int i = 0; i < (rows > 2000000 ? 1 : 3); ++i) {
            const TRun run = Run({program, "BENCH", "--subject", subject, "--sql", "--export",
                                  QFile::encodeName(ourText), "--delimiter", "\t"},
                                 sqlFile);
            sql = ReadAll(sqlFile).trimmed();
            const TRun peer =
                Run({"sqlite3", "-separator", "\t", QFile::encodeName(db), sql}, shellText);
            same = same && run.Ok && peer.Ok;
            ours.push_back(run.Seconds);
            oursMb.push_back(run.PeakMb);
            shell.push_back(peer.Seconds);
            shellMb.push_back(peer.PeakMb);
        }
        const qint64 ourLines = LineCount(ourText);
        const qint64 shellLines = LineCount(shellText);
        std::printf("%lld rows: text export %lld lines (header and totals), shell %lld lines\n",
                    rows, ourLines, shellLines);
        const bool valid = same && shellLines == rows && ourLines > shellLines;
        const QString size = QLocale::c().toString(rows);
        Bench::RatioResult(
            QStringLiteral("batch text export, %1 rows (vs sqlite3 shell)").arg(size),
            Bench::Best(ours), Bench::Best(shell), "s", 1.1, valid);
        const double peak = Bench::Best(oursMb);
        Bench::Result(
            QStringLiteral("batch text export, %1 rows, peak memory (vs shell)").arg(size),
            Mb(peak), Mb(Bench::Best(shellMb)), -1, QStringLiteral("<= 150 MB"),
            valid && peak <= 150);
        allOk = allOk && valid;

        // CSV of the same rows: memory only matters here.
        const QString ourCsv = dir.filePath(QStringLiteral("ours.csv"));
        const TRun csv =
            Run({program, "BENCH", "--subject", subject, "--export", QFile::encodeName(ourCsv)});
        Bench::Result(QStringLiteral("batch CSV export, %1 rows: time, peak memory").arg(size),
                      Bench::Figure(csv.Seconds, "s"), QString(), -1, QStringLiteral("<= 150 MB"),
                      csv.Ok && csv.PeakMb <= 150);
        std::printf("  CSV: %.2f s, %.0f MB\n", csv.Seconds, csv.PeakMb);
        QFile::remove(ourCsv);
        QFile::remove(ourText);
        QFile::remove(shellText);

        // The report of the same rows as a PDF (not at ten million rows:
        // about 190,000 pages).
        if (rows <= 2000000) {
            const QString pdf = dir.filePath(QStringLiteral("ours.pdf"));
            const TRun report =
                Run({program, "BENCH", "--subject", subject, "--pdf", QFile::encodeName(pdf)});
            const int pages = PdfPages(pdf);
            const double perSecond = report.Seconds > 0 ? pages / report.Seconds : 0;
            std::printf("  PDF: %d pages in %.2f s (CPU %.2f s), %.0f MB, %.1f MB of PDF\n", pages,
                        report.Seconds, report.CpuSeconds, report.PeakMb,
                        QFileInfo(pdf).size() / 1048576.0);
            // The peer: the pages recorded (a report file) and then replayed
            // into a PDF, as a PDF saved from the preview is made.
            const QString rpp = dir.filePath(QStringLiteral("ours.rpp"));
            const QString replayed = dir.filePath(QStringLiteral("replayed.pdf"));
            const TRun record =
                Run({program, "BENCH", "--subject", subject, "--report", QFile::encodeName(rpp)});
            const TRun convert = Run({program, "--convert", QFile::encodeName(rpp), "--pdf",
                                      QFile::encodeName(replayed)});
            const double peerSeconds = record.Seconds + convert.Seconds;
            const double peerPerSecond =
                record.Ok && convert.Ok && peerSeconds > 0 ? PdfPages(replayed) / peerSeconds : 0;
            std::printf("  recorded and replayed: %.2f s + %.2f s\n", record.Seconds,
                        convert.Seconds);
            QFile::remove(rpp);
            QFile::remove(replayed);
            Bench::Result(QStringLiteral("batch PDF, %1 rows, %2 pages: pages per second (vs "
                                         "recorded to a report file, then converted)")
                              .arg(size)
                              .arg(pages),
                          Bench::Figure(perSecond, "pages/s", 0),
                          Bench::Figure(peerPerSecond, "pages/s", 0),
                          peerPerSecond > 0 ? perSecond / peerPerSecond : -1,
                          QStringLiteral(">= 600 pages/s"), report.Ok && perSecond >= 600);
            Bench::Result(QStringLiteral("batch PDF, %1 rows: time, peak memory").arg(size),
                          Bench::Figure(report.Seconds, "s"), Mb(report.PeakMb), -1,
                          QStringLiteral("<= 150 MB"), report.Ok && report.PeakMb <= 150);
            QFile::remove(pdf);
        }
    }
    return allOk ? 0 : 1;
}
