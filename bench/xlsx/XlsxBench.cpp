// Excel and CSV export figures: the sales rows of the demo database (its
// first ten columns) written by ExportToFile from a query opened for it,
//  - as an XLSX workbook, beside a bare libxlsxwriter loop in constant-memory
//    mode writing the same cells straight from SQLite (time and peak memory);
//  - as CSV, beside the sqlite3 shell's ".mode csv" writing the same rows.
// Every run is a child process of its own, so its peak memory is its own.
//
// Run: xlsx_bench [--db DEMO.db] [rows]   (default: a demo database of
// 1,000,000 sales rows made here). Needs sqlite3 on the PATH. Prints RESULT
// lines (BenchResult.h).

#include "BenchDemo.h"
#include "BenchResult.h"
#include "DbAccess.h"
#include "ExportOptions.h"
#include "ExportTable.h"
#include "MessageBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

// The sales table's first ten columns, as the text export bench takes them.
QString SelectText(const QString& db) {
    sqlite3* handle = nullptr;
    sqlite3_open_v2(QFile::encodeName(db).constData(), &handle, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(handle, "SELECT name FROM pragma_table_info('Sales')", -1, &stmt, nullptr);
    QStringList columns;
    while (sqlite3_step(stmt) == SQLITE_ROW && columns.size() < 10)
        columns << u'"' +
                       QString::fromUtf8(
                           reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))) +
                       u'"';
    sqlite3_finalize(stmt);
    sqlite3_close(handle);
    return QStringLiteral("SELECT %1 FROM Sales").arg(columns.join(QStringLiteral(", ")));
}

// ------------------------------------------------------------ the children

int OurExport(const QString& db, const QString& sql, const QString& file, bool forwardOnly) {
    QTemporaryDir dir;
    Bench::UseAlias(dir.filePath(QStringLiteral("aliases.ini")), db);
    TDatabase database;
    database.SetDatabaseName(QStringLiteral("bench"));
    database.SetAliasName(QStringLiteral("BENCH"));
    database.Open();
    SetMessageBoxHandler([](const QString& text, const QString&, int) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return IDOK;
    });
    TQuery query;
    query.SetDatabaseName(QStringLiteral("bench"));
    query.SetSQLText(sql);
    query.SetUniDirectional(forwardOnly);
    query.Open();
    QString result;
    ExportToFile(&query, nullptr, QStringLiteral("Продажби"), file, result);
    return result.isEmpty() ? 0 : 1;
}

// Days since 30 December 1899 of "YYYY-MM-DD[ HH:MM[:SS]]"; false when the
// text is no such date.
bool Serial(const char* text, double& serial) {
    int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
    const int n = std::sscanf(text, "%4d-%2d-%2d %2d:%2d:%2d", &y, &m, &d, &hh, &mm, &ss);
    if (n < 3)
        return false;
    // Days from the civil date (Howard Hinnant's algorithm), 1970 = 25569.
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = unsigned((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const double days = double(era) * 146097 + double(doe) - 719468;
    serial = days + 25569 + (hh * 3600 + mm * 60 + ss) / 86400.0;
    return true;
}

// The same cells as ours: a header row, numbers, dates as date serials with a
// date format, texts; straight from SQLite into libxlsxwriter.
int PeerXlsx(const QString& db, const QString& sql, const QString& file) {
    sqlite3* handle = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(db).constData(), &handle, SQLITE_OPEN_READONLY,
                        nullptr) != SQLITE_OK)
        return 1;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(handle, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        return 1;
    const QByteArray tmp = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char*>(tmp.constData());
    options.use_zip64 = LXW_TRUE;
    const QByteArray name = QFile::encodeName(file);
    lxw_workbook* book = workbook_new_opt(name.constData(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Продажби");
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "dd.mm.yyyy");
    const int columns = sqlite3_column_count(stmt);
    std::vector<bool> dates(size_t(columns), false);
    for (int c = 0; c < columns; ++c) {
        worksheet_write_string(sheet, 0, lxw_col_t(c), sqlite3_column_name(stmt, c), bold);
        const char* type = sqlite3_column_decltype(stmt, c);
        dates[size_t(c)] = type && std::strstr(type, "DATE");
    }
    lxw_row_t row = 1;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                worksheet_write_number(sheet, row, lxw_col_t(c), sqlite3_column_double(stmt, c),
                                       nullptr);
                break;
            case SQLITE_TEXT: {
                const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                double serial = 0;
                if (dates[size_t(c)] && Serial(text, serial))
                    worksheet_write_number(sheet, row, lxw_col_t(c), serial, date);
                else
                    worksheet_write_string(sheet, row, lxw_col_t(c), text, nullptr);
                break;
            }
            default:
                break;
            }
        }
        ++row;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(handle);
    return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
}

// ------------------------------------------------------------ the parent

struct TRun {
    double Seconds = -1;
    double PeakMb = -1;
};

// Runs a child to completion: wall time and its own peak resident memory.
TRun Spawn(const std::vector<std::string>& args, const QString& outFile = QString()) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(outFile);
    if (!outFile.isEmpty())
        posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    TRun run;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("  %s failed\n", args[0].c_str());
        return run;
    }
    run.Seconds = t.nsecsElapsed() / 1e9;
    run.PeakMb = usage.ru_maxrss / 1024.0;
    return run;
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0) {
        const QString db = QFile::decodeName(argv[3]);
        const QString sql = QString::fromUtf8(argv[4]);
        const QString file = QFile::decodeName(argv[5]);
        if (std::strcmp(argv[2], "peer") == 0)
            return PeerXlsx(db, sql, file);
        return OurExport(db, sql, file, std::strcmp(argv[2], "forward") == 0);
    }

    const Bench::TOptions options = Bench::ReadOptions(argc, argv);
    QTemporaryDir dir;
    const QString db = Bench::DemoDatabase(options, dir.filePath(QStringLiteral("demo.db")));
    const QString sql = SelectText(db);
    std::printf("%s\n", qPrintable(sql));
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const std::string dbArg = QFile::encodeName(db).toStdString();
    const std::string sqlArg = sql.toStdString();
    auto path = [&](const char* name) {
        return QFile::encodeName(dir.filePath(QString::fromLatin1(name))).toStdString();
    };

    // Ours and the peer in turns; the best of two each (peak memory of the
    // same run).
    TRun ours, peer, oursCsv, shellCsv, forward;
    auto keep = [](TRun& best, const TRun& run) {
        if (run.Seconds >= 0 && (best.Seconds < 0 || run.Seconds < best.Seconds))
            best = run;
    };
    for (int i = 0; i < 2; ++i) {
        keep(peer, Spawn({self, "--child", "peer", dbArg, sqlArg, path("peer.xlsx")}));
        keep(ours, Spawn({self, "--child", "ours", dbArg, sqlArg, path("ours.xlsx")}));
        keep(shellCsv,
             Spawn({"sqlite3", "-csv", dbArg, sqlArg}, dir.filePath(QStringLiteral("shell.csv"))));
        keep(oursCsv, Spawn({self, "--child", "ours", dbArg, sqlArg, path("ours.csv")}));
    }
    // The rows read forward only, as a streamed batch export reads them.
    keep(forward, Spawn({self, "--child", "forward", dbArg, sqlArg, path("forward.xlsx")}));
    const qint64 shellLines = LineCount(dir.filePath(QStringLiteral("shell.csv")));
    const qint64 ourLines = LineCount(dir.filePath(QStringLiteral("ours.csv")));
    std::printf(
        "peak memory: ours %.0f MB, libxlsxwriter %.0f MB; csv lines: shell %lld, ours %lld\n",
        ours.PeakMb, peer.PeakMb, shellLines, ourLines);

    const bool valid = ours.Seconds > 0 && peer.Seconds > 0;
    Bench::RatioResult(
        QStringLiteral("Excel export, %1 rows (open + ExportToFile vs bare libxlsxwriter)")
            .arg(shellLines),
        ours.Seconds, peer.Seconds, "s", 1.5, valid);
    const double extra = ours.PeakMb - peer.PeakMb;
    Bench::Result(QStringLiteral("Excel export, peak memory (vs bare libxlsxwriter)"),
                  Bench::Figure(ours.PeakMb, "MB", 0), Bench::Figure(peer.PeakMb, "MB", 0),
                  peer.PeakMb > 0 ? ours.PeakMb / peer.PeakMb : -1, QStringLiteral("<= +50 MB"),
                  valid && extra <= 50);
    Bench::Result(
        QStringLiteral("Excel export, forward-only rows, peak memory (vs bare libxlsxwriter)"),
        Bench::Figure(forward.PeakMb, "MB", 0), Bench::Figure(peer.PeakMb, "MB", 0),
        peer.PeakMb > 0 ? forward.PeakMb / peer.PeakMb : -1, QStringLiteral("<= +50 MB"),
        forward.Seconds > 0 && forward.PeakMb - peer.PeakMb <= 50);
    // Ours writes the header line the shell does not.
    Bench::RatioResult(
        QStringLiteral("CSV export, %1 rows (open + ExportToFile vs sqlite3 -csv)").arg(shellLines),
        oursCsv.Seconds, shellCsv.Seconds, "s", 1.2,
        oursCsv.Seconds > 0 && ourLines == shellLines + 1);
    return valid ? 0 : 1;
}
