// Text export figures: the 1,000,000 sales rows of the demo database (ten
// columns) written to a tab-delimited file by ExportToText from a query
// opened for it, beside the sqlite3 command-line shell writing the same rows
// tab-separated; and ShowColumnSum over the same rows beside the shell's
// SUM of the column.
//
// Run: export_bench [--db DEMO.db] [rows]   (default: a demo database of
// 1,000,000 sales rows made here). Needs sqlite3 on the PATH. Prints RESULT
// lines (BenchResult.h).

#include "BenchDemo.h"
#include "BenchResult.h"
#include "ColumnSum.h"
#include "DbAccess.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "MessageBox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QString Shell(const QString& db, const QString& sql, const QString& outFile = QString()) {
    QProcess p;
    if (!outFile.isEmpty())
        p.setStandardOutputFile(outFile);
    p.start(QStringLiteral("sqlite3"),
            {QStringLiteral("-separator"), QStringLiteral("\t"), db, sql});
    if (!p.waitForStarted() || !p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", p.readAllStandardError().constData());
        std::exit(1);
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The largest table and its first ten columns.
QString SelectText(const QString& db, QString* table) {
    const QStringList tables =
        Shell(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))
            .split(u'\n', Qt::SkipEmptyParts);
    qint64 most = -1;
    for (const QString& t : tables) {
        const qint64 count =
            Shell(db, QStringLiteral("SELECT count(*) FROM \"%1\"").arg(t)).toLongLong();
        if (count > most) {
            most = count;
            *table = t;
        }
    }
    QStringList columns;
    for (const QString& line :
         Shell(db, QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(*table))
             .split(u'\n', Qt::SkipEmptyParts))
        if (columns.size() < 10)
            columns << u'"' + line + u'"';
    return QStringLiteral("SELECT %1 FROM \"%2\"").arg(columns.join(QStringLiteral(", ")), *table);
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

// Open plus export of the statement into file; milliseconds, or -1 when the
// export failed.
double OurExport(const QString& sql, const QString& file, bool forwardOnly) {
    TQuery query;
    query.SetDatabaseName(QStringLiteral("bench"));
    query.SetSQLText(sql);
    query.SetUniDirectional(forwardOnly);
    QElapsedTimer t;
    t.start();
    query.Open();
    QString result;
    ExportToText(&query, nullptr, QStringLiteral("T"), file, result);
    const double ms = t.nsecsElapsed() / 1e6;
    if (!result.isEmpty()) {
        std::printf("export failed: %s\n", qPrintable(result));
        return -1;
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Bench::TOptions options = Bench::ReadOptions(argc, argv);
    QTemporaryDir dir;
    const QString db = Bench::DemoDatabase(options, dir.filePath(QStringLiteral("demo.db")));
    QString table;
    QString sql = SelectText(db, &table);
    // Another statement over the same database, to see what a column costs.
    if (!qEnvironmentVariableIsEmpty("EXPORT_BENCH_SQL"))
        sql = qEnvironmentVariable("EXPORT_BENCH_SQL");
    std::printf("table %s: %s\n", qPrintable(table), qPrintable(sql));

    Bench::UseAlias(dir.filePath(QStringLiteral("aliases.ini")), db);
    TDatabase database;
    database.SetDatabaseName(QStringLiteral("bench"));
    database.SetAliasName(QStringLiteral("BENCH"));
    database.Open();

    // The export writes data lines only, tab-separated, like the shell.
    ExportTxtOpts.ExportHeader = false;
    ExportTxtOpts.ExportClmNames = false;
    ExportTxtOpts.TxtClmDelimiter = QStringLiteral("\t");
    SetMessageBoxHandler([](const QString& text, const QString&, int) {
        std::printf("  message: %s\n", qPrintable(QString(text).replace(u'\r', u' ')));
        return IDOK;
    });

    // The shell and ours in turns; the best of three each.
    const QString shellFile = dir.filePath(QStringLiteral("shell.txt"));
    const QString ourFile = dir.filePath(QStringLiteral("export.txt"));
    std::vector<double> shellMs, ourMs;
    QElapsedTimer t;
    for (int i = 0; i < 3; ++i) {
        t.restart();
        Shell(db, sql, shellFile);
        shellMs.push_back(t.nsecsElapsed() / 1e6);
        ourMs.push_back(OurExport(sql, ourFile, false));
    }
    const double forwardMs = OurExport(sql, dir.filePath(QStringLiteral("forward.txt")), true);
    const qint64 shellLines = LineCount(shellFile);
    const qint64 ourLines = LineCount(ourFile);

    // Column totals over a money column (the seventh) and a whole-number one,
    // beside the shell's SUM of the same column.
    TQuery query;
    query.SetDatabaseName(QStringLiteral("bench"));
    query.SetSQLText(sql);
    query.Open();
    const int sumFields[2] = {6, 4};
    const char* const sumNames[2] = {"money", "whole-number"};
    for (int i = 0; i < 2 && sumFields[i] < query.FieldCount(); ++i) {
        const QString name = query.Fields(sumFields[i])->FieldName();
        std::vector<double> ours, shell;
        for (int k = 0; k < 3; ++k) {
            t.restart();
            ShowColumnSum(&query, name);
            ours.push_back(t.nsecsElapsed() / 1e6);
            t.restart();
            Shell(db, QStringLiteral("SELECT SUM(\"%1\") FROM \"%2\"").arg(name, table));
            shell.push_back(t.nsecsElapsed() / 1e6);
        }
        const double best = Bench::Best(ours) / 1000;
        Bench::Result(QStringLiteral("ShowColumnSum, %1 rows, %2 column (vs shell SUM)")
                          .arg(query.RecordCount())
                          .arg(QString::fromLatin1(sumNames[i])),
                      Bench::Figure(best, "s", 3), Bench::Figure(Bench::Best(shell) / 1000, "s", 3),
                      Bench::Best(shell) > 0 ? Bench::Best(ours) / Bench::Best(shell) : -1,
                      QStringLiteral("< 1 s"), best < 1.0);
    }

    std::printf("lines: shell %lld, export %lld\n", shellLines, ourLines);
    std::printf("forward-only query, open + export: %.0f ms\n", forwardMs);
    Bench::RatioResult(QStringLiteral("text export, %1 rows (open + ExportToText vs sqlite3 shell)")
                           .arg(shellLines),
                       Bench::Best(ourMs) / 1000, Bench::Best(shellMs) / 1000, "s", 2.0,
                       shellLines == ourLines && Bench::Best(ourMs) > 0);
    return shellLines == ourLines ? 0 : 1;
}
