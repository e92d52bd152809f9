// Text export figures: 1,000,000 rows of ten columns of the demo database
// written to a tab-delimited file by ExportToText, beside the sqlite3
// command-line shell writing the same rows tab-separated; and ShowColumnSum
// over the same 1,000,000 rows.
//
// Run: export_bench [rows]   (default 1000000). Needs sqlite3 on the PATH.
// EXPORT_BENCH_SQL replaces the statement (ten columns of the largest table).
// When the demo database cannot be made, an equivalent ten-column table is
// built with the shell instead.

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

// A stand-in with the demo's kind of columns: numbers, names, dates, money.
void BuildTable(const QString& db, int rows) {
    Shell(db, QStringLiteral(
                  "CREATE TABLE Sales(SaleID INTEGER PRIMARY KEY, Customer VARCHAR(40), "
                  "City VARCHAR(30), Product VARCHAR(40), Qty INTEGER, Price NUMERIC(12,2), "
                  "Amount NUMERIC(14,2), SaleDate DATE, Region VARCHAR(20), Note VARCHAR(60));"
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                  "INSERT INTO Sales SELECT i, 'Клиент ' || (i % 5000), "
                  "CASE i % 4 WHEN 0 THEN 'София' WHEN 1 THEN 'Пловдив' WHEN 2 THEN 'Варна' "
                  "ELSE 'Бургас' END, 'Продукт ' || (i % 700), i % 50 + 1, "
                  "round((i % 997) * 1.37 + 0.5, 2), round((i % 50 + 1) * ((i % 997) * 1.37 + "
                  "0.5), 2), date('2020-01-01', '+' || (i % 1800) || ' days'), "
                  "'Регион ' || (i % 28), 'бележка ' || i FROM n;")
                  .arg(rows));
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("demo.db"));

    QString source = QStringLiteral("demo database");
    try {
        CreateDemoDatabase(db, rows);
    } catch (const Exception& e) {
        QFile::remove(db);
        source = QStringLiteral("own table (demo: %1)").arg(e.message());
        BuildTable(db, rows);
    }
    QString table;
    QString sql = SelectText(db, &table);
    // Another statement over the same database, to see what a column costs.
    if (!qEnvironmentVariableIsEmpty("EXPORT_BENCH_SQL"))
        sql = qEnvironmentVariable("EXPORT_BENCH_SQL");
    std::printf("source: %s, table %s\n%s\n", qPrintable(source), qPrintable(table),
                qPrintable(sql));

    // The database through an aliases file of its own.
    const QString aliases = dir.filePath(QStringLiteral("aliases.ini"));
    QFile a(aliases);
    if (!a.open(QIODevice::WriteOnly))
        return 1;
    a.write("[BENCH]\nDriver=sqlite\nDatabase=" + db.toUtf8() + "\n");
    a.close();
    qputenv("VEXAL_ALIASES", aliases.toLocal8Bit());
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

    const QString shellFile = dir.filePath(QStringLiteral("shell.txt"));
    QElapsedTimer t;
    t.start();
    Shell(db, sql, shellFile);
    const double shellMs = t.nsecsElapsed() / 1e6;

    TQuery query;
    query.SetDatabaseName(QStringLiteral("bench"));
    query.SetSQLText(sql);
    t.restart();
    query.Open();
    const double openMs = t.nsecsElapsed() / 1e6;

    const QString ourFile = dir.filePath(QStringLiteral("export.txt"));
    QString result;
    t.restart();
    ExportToText(&query, nullptr, QStringLiteral("T"), ourFile, result);
    const double exportMs = t.nsecsElapsed() / 1e6;
    if (!result.isEmpty()) {
        std::printf("export failed: %s\n", qPrintable(result));
        return 1;
    }

    // The same with a forward-only query, which holds one row at a time.
    TQuery forward;
    forward.SetDatabaseName(QStringLiteral("bench"));
    forward.SetSQLText(sql);
    forward.SetUniDirectional(true);
    const QString forwardFile = dir.filePath(QStringLiteral("forward.txt"));
    t.restart();
    forward.Open();
    ExportToText(&forward, nullptr, QStringLiteral("T"), forwardFile, result);
    const double forwardMs = t.nsecsElapsed() / 1e6;

    // Column total over a money column (the seventh) and a whole-number one.
    double sumMs[2] = {0, 0};
    const int sumFields[2] = {6, 4};
    for (int i = 0; i < 2 && sumFields[i] < query.FieldCount(); ++i) {
        const QString name = query.Fields(sumFields[i])->FieldName();
        t.restart();
        ShowColumnSum(&query, name);
        sumMs[i] = t.nsecsElapsed() / 1e6;
    }

    std::printf("rows: shell %lld, export %lld, forward-only %lld lines\n", LineCount(shellFile),
                LineCount(ourFile), LineCount(forwardFile));
    std::printf("%-44s %10s\n", "step", "ms");
    std::printf("%-44s %10.0f\n", "sqlite3 shell, query + tab file", shellMs);
    std::printf("%-44s %10.0f\n", "TQuery.Open (rows into memory)", openMs);
    std::printf("%-44s %10.0f\n", "ExportToText from the open query", exportMs);
    std::printf("%-44s %10.0f\n", "open + export", openMs + exportMs);
    std::printf("%-44s %10.0f\n", "forward-only query: open + export", forwardMs);
    std::printf("%-44s %10.0f\n", "ShowColumnSum, money column", sumMs[0]);
    std::printf("%-44s %10.0f\n", "ShowColumnSum, whole-number column", sumMs[1]);
    std::printf("ratio (open + export) / shell: %.2f; forward-only / shell: %.2f\n",
                (openMs + exportMs) / shellMs, forwardMs / shellMs);
    return 0;
}
