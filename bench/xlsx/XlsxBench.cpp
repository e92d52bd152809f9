// Excel and CSV export figures, through the export command: the program run
// from the command line as a scheduler runs it ("vexal BENCH --subject
// SUBJECT --export FILE"), on the demo's sales of every date (the subject of
// bench/batch), which reads the rows once, forward only, and writes them as
// they come;
//  - as an XLSX workbook, beside a bare libxlsxwriter loop in constant-memory
//    mode writing the same cells (the statement the run printed) straight
//    from SQLite: time and peak memory;
//  - as CSV, beside the sqlite3 shell's ".mode csv" writing the same rows;
//  - for information, the same workbook written by ExportToFile from a
//    result held whole, as the window's grid holds it (peak memory).
// Every run is a child process of its own, so its peak memory is its own.
//
// Run: xlsx_bench --exe VEXAL --data DIR --db DEMO.db ROWS   (DEMO.db made by
// "vexal --create-demo" with ROWS sales rows; the subject's copy of it is
// kept in DIR as bench/batch keeps it). Needs sqlite3 on the PATH. Prints
// RESULT lines (BenchResult.h).

#include "../batch/BatchSubject.h"
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
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <xlsxwriter.h>

#include <algorithm>
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

QByteArray ReadAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

    QString exe, data, demo;
    qint64 rows = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--exe") == 0 && i + 1 < argc)
            exe = QFileInfo(QFile::decodeName(argv[++i])).absoluteFilePath();
        else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc)
            data = QFileInfo(QFile::decodeName(argv[++i])).absoluteFilePath();
        else if (std::strcmp(argv[i], "--db") == 0 && i + 1 < argc)
            demo = QFileInfo(QFile::decodeName(argv[++i])).absoluteFilePath();
        else
            rows = std::max<qint64>(1, std::atoll(argv[i]));
    }
    if (exe.isEmpty() || data.isEmpty() || demo.isEmpty()) {
        std::fprintf(stderr, "usage: xlsx_bench --exe VEXAL --data DIR --db DEMO.db ROWS\n");
        return 2;
    }
    const QString db = Bench::SubjectDatabase(demo, data, rows);
    QTemporaryDir dir;
    const QString aliases = dir.filePath(QStringLiteral("aliases.ini"));
    {
        QFile file(aliases);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("[BENCH]\nDriver=sqlite\nDatabase=" + QFile::encodeName(db) + "\n");
    }
    qputenv("VEXAL_ALIASES", QFile::encodeName(aliases));
    qputenv("QT_QPA_PLATFORM", "offscreen");

    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const std::string program = QFile::encodeName(exe).toStdString();
    const std::string dbArg = QFile::encodeName(db).toStdString();
    auto path = [&](const char* name) {
        return QFile::encodeName(dir.filePath(QString::fromLatin1(name))).toStdString();
    };
    const QString sqlFile = dir.filePath(QStringLiteral("statement.sql"));
    // The export command; it prints the statement it runs.
    auto command = [&](const char* file) {
        return Spawn({program, "BENCH", "--subject", Bench::AllSalesSubject, "--sql", "--export",
                      path(file)},
                     sqlFile);
    };

    // Ours and the peer in turns; the best of two each (peak memory of the
    // same run).
    TRun ours, peer, oursCsv, shellCsv, window;
    auto keep = [](TRun& best, const TRun& run) {
        if (run.Seconds >= 0 && (best.Seconds < 0 || run.Seconds < best.Seconds))
            best = run;
    };
    std::string sqlArg;
    for (int i = 0; i < 2; ++i) {
        keep(ours, command("ours.xlsx"));
        sqlArg = ReadAll(sqlFile).trimmed().toStdString();
        if (sqlArg.empty()) {
            std::printf("the export command printed no statement\n");
            return 1;
        }
        keep(peer, Spawn({self, "--child", "peer", dbArg, sqlArg, path("peer.xlsx")}));
        keep(shellCsv, Spawn({"sqlite3", "-csv", dbArg, sqlArg},
                             dir.filePath(QStringLiteral("shell.csv"))));
        keep(oursCsv, command("ours.csv"));
    }
    std::printf("%s\n", sqlArg.c_str());
    // The rows held whole, as the window's grid holds them.
    keep(window, Spawn({self, "--child", "ours", dbArg, sqlArg, path("window.xlsx")}));
    const qint64 shellLines = LineCount(dir.filePath(QStringLiteral("shell.csv")));
    const qint64 ourLines = LineCount(dir.filePath(QStringLiteral("ours.csv")));
    std::printf("peak memory: export command %.0f MB, libxlsxwriter %.0f MB, held rows %.0f MB; "
                "csv lines: shell %lld, ours %lld\n",
                ours.PeakMb, peer.PeakMb, window.PeakMb, shellLines, ourLines);

    const bool valid = ours.Seconds > 0 && peer.Seconds > 0;
    Bench::RatioResult(
        QStringLiteral("Excel export command, %1 rows (vs bare libxlsxwriter)").arg(shellLines),
        ours.Seconds, peer.Seconds, "s", 1.5, valid);
    const double extra = ours.PeakMb - peer.PeakMb;
    Bench::Result(QStringLiteral("Excel export command, peak memory (vs bare libxlsxwriter)"),
                  Bench::Figure(ours.PeakMb, "MB", 0), Bench::Figure(peer.PeakMb, "MB", 0),
                  peer.PeakMb > 0 ? ours.PeakMb / peer.PeakMb : -1, QStringLiteral("<= +50 MB"),
                  valid && extra <= 50);
    // For information: the window keeps its grid, so its rows are held.
    Bench::Result(QStringLiteral("Excel export of rows held whole (window), peak memory"),
                  Bench::Figure(window.PeakMb, "MB", 0), Bench::Figure(peer.PeakMb, "MB", 0),
                  peer.PeakMb > 0 ? window.PeakMb / peer.PeakMb : -1, QStringLiteral("-"),
                  window.Seconds > 0);
    // Ours writes the line of captions the shell does not.
    Bench::RatioResult(
        QStringLiteral("CSV export command, %1 rows (vs sqlite3 -csv)").arg(shellLines),
        oursCsv.Seconds, shellCsv.Seconds, "s", 1.2,
        oursCsv.Seconds > 0 && ourLines == shellLines + 1);
    return valid ? 0 : 1;
}
