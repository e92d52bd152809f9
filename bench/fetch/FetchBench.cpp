// Fetch figures: TQuery opening every row of a sales table of the demo
// database (1,000,000 rows by default), beside a plain sqlite3 prepare/step
// loop that reads the same twelve columns into a vector of structs. Each
// measurement runs in a child process of its own, so its peak memory
// (getrusage) is its own; the best of five runs counts.
//
// Run: fetch_bench [--db DEMO.db] [rows]   (default: a demo database of
// 1,000,000 sales rows made here). Prints RESULT lines (BenchResult.h).

#include "BenchDemo.h"
#include "BenchResult.h"
#include "DbAccess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

const char* const SelectSql =
    "SELECT SaleID, InvoiceNo, SaleDate, ClientID, GoodID, Qty, Price, Amount, "
    "Payment, Operator, DataVavejdane, Storno FROM Sales";

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// One sales row as a hand-written reader would hold it.
struct TSaleRow {
    sqlite3_int64 SaleID, ClientID, GoodID, Qty, Storno;
    double Price, Amount;
    std::string InvoiceNo, SaleDate, Payment, Operator, DataVavejdane;
};

std::string Text(sqlite3_stmt* stmt, int col) {
    const unsigned char* text = sqlite3_column_text(stmt, col);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              std::size_t(sqlite3_column_bytes(stmt, col)))
                : std::string();
}

// The plain loop; returns the number of rows read.
long PlainLoop(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, SelectSql, -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    std::vector<TSaleRow> rows;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        TSaleRow r;
        r.SaleID = sqlite3_column_int64(stmt, 0);
        r.InvoiceNo = Text(stmt, 1);
        r.SaleDate = Text(stmt, 2);
        r.ClientID = sqlite3_column_int64(stmt, 3);
        r.GoodID = sqlite3_column_int64(stmt, 4);
        r.Qty = sqlite3_column_int64(stmt, 5);
        r.Price = sqlite3_column_double(stmt, 6);
        r.Amount = sqlite3_column_double(stmt, 7);
        r.Payment = Text(stmt, 8);
        r.Operator = Text(stmt, 9);
        r.DataVavejdane = Text(stmt, 10);
        r.Storno = sqlite3_column_int64(stmt, 11);
        rows.push_back(std::move(r));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return long(rows.size());
}

// The same through the program's database layer.
long QueryOpen(const QString&) {
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("bench"));
    db.SetAliasName(QStringLiteral("BENCH"));
    db.Open();
    TQuery q;
    q.SetDatabaseName(QStringLiteral("bench"));
    q.SetSQLText(QString::fromLatin1(SelectSql));
    q.Open();
    return q.RecordCount();
}

// The query, then every value of every row read as display text (what a
// grid scrolled from top to bottom would ask for).
long QueryOpenAndRead(const QString&) {
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("bench"));
    db.SetAliasName(QStringLiteral("BENCH"));
    db.Open();
    TQuery q;
    q.SetDatabaseName(QStringLiteral("bench"));
    q.SetSQLText(QString::fromLatin1(SelectSql));
    q.Open();
    long chars = 0;
    const int n = q.RecordCount();
    for (int c = 0; c < q.FieldCount(); ++c)
        for (int r = 0; r < n; ++r)
            chars += long(q.Fields(c)->DisplayTextAt(r).size());
    return chars > 0 ? n : 0;
}

struct TFigure {
    double Seconds = 0;
    double PeakMb = 0;
    long Rows = 0;
};

// Runs the work in a child process: its time and its peak resident memory.
TFigure InChild(const std::function<long(const QString&)>& work, const QString& path) {
    int fds[2];
    if (pipe(fds) != 0)
        std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const auto start = std::chrono::steady_clock::now();
        const long rows = work(path);
        const double seconds = Seconds(start);
        const TFigure f{seconds, 0, rows};
        if (write(fds[1], &f, sizeof f) != sizeof f)
            _exit(1);
        _exit(0);
    }
    close(fds[1]);
    TFigure f;
    if (read(fds[0], &f, sizeof f) != sizeof f)
        std::fprintf(stderr, "a measurement failed\n");
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.PeakMb = double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
    return f;
}

} // namespace

int main(int argc, char** argv) {
    const Bench::TOptions options = Bench::ReadOptions(argc, argv);
    QTemporaryDir dir;
    const auto start = std::chrono::steady_clock::now();
    const QString path = Bench::DemoDatabase(options, dir.filePath(QStringLiteral("demo.db")));
    const double built = Seconds(start);
    Bench::UseAlias(dir.filePath(QStringLiteral("aliases.ini")), path);

    // Ours and the peer's in turns, so a busy moment of the machine does
    // not fall on one side only; the best run of each counts.
    std::vector<double> plainTimes, queryTimes;
    TFigure plain, query;
    for (int i = 0; i < 5; ++i) {
        const TFigure p = InChild(PlainLoop, path);
        const TFigure q = InChild(QueryOpen, path);
        plainTimes.push_back(p.Seconds);
        queryTimes.push_back(q.Seconds);
        if (i == 0 || p.Seconds < plain.Seconds)
            plain = p;
        if (i == 0 || q.Seconds < query.Seconds)
            query = q;
    }
    const TFigure read = InChild(QueryOpenAndRead, path);

    std::printf("fetch bench: %ld sales rows of 12 columns (%s)\n", plain.Rows,
                options.Database.isEmpty() ? "demo database made here" : "given demo database");
    if (options.Database.isEmpty())
        std::printf("demo database built in %.2f s\n", built);
    std::printf("%-36s %12s %12s %10s\n", "", "time (best)", "peak RSS", "rows");
    std::printf("%-36s %10.3f s %9.1f MB %10ld\n", "plain sqlite3 prepare/step loop", plain.Seconds,
                plain.PeakMb, plain.Rows);
    std::printf("%-36s %10.3f s %9.1f MB %10ld\n", "TQuery Open, all rows", query.Seconds,
                query.PeakMb, query.Rows);
    std::printf("%-36s %10.3f s %9.1f MB %10ld\n", "TQuery Open + every cell's text", read.Seconds,
                read.PeakMb, read.Rows);
    Bench::RatioResult(
        QStringLiteral("dataset fetch, %1 rows (TQuery vs sqlite3 step loop)").arg(plain.Rows),
        query.Seconds, plain.Seconds, "s", 1.5, query.Rows == plain.Rows);
    Bench::Result(QStringLiteral("fetch memory, peak resident (TQuery vs step loop)"),
                  Bench::Figure(query.PeakMb, "MB", 0), Bench::Figure(plain.PeakMb, "MB", 0),
                  plain.PeakMb > 0 ? query.PeakMb / plain.PeakMb : -1, QStringLiteral("<= 1.5x"),
                  query.PeakMb <= 1.5 * plain.PeakMb);
    return plain.Rows == query.Rows ? 0 : 1;
}
