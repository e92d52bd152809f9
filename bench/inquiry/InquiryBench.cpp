// Inquiry figures on the demo database's sales subject of 1,000,000 rows:
// - the inquiry run, from the press of "Справка" to a grid ready to paint
//   (composition, the open of the result, the grid's columns, the folding
//   of the condition panel and its layout), beside the bare query of the
//   same statement through the database layer; for the subject with its
//   defaults (the best of eleven runs) and grouped by client (each of five
//   runs within the limit). The painting of the window that
//   follows (Qt's item views shaping each shown cell's text) is shown
//   apart;
// - the whole export command on the subject with its (mandatory) date
//   condition widened to every sale (975,000 rows): the run of the changed inquiry, the report
//   layout and the totals-only report run, which writes the text file with header and totals as
//   it goes, beside the sqlite3 shell running the same statement into a file.
// With INQUIRY_BENCH_PARTS set, the export is left out.
//
// Run: inquiry_bench [--db DEMO.db] [rows]   (default: a demo database of
// 1,000,000 sales rows made here; a given one is copied first, since the
// window writes its marks). Needs sqlite3 on the PATH for the export peer.
// Prints RESULT lines (BenchResult.h).

#include "BenchDemo.h"
#include "BenchResult.h"
#include "DBGrid.h"
#include "DbAccess.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "MessageBox.h"
#include "RpSpravkaUnit.h"
#include "ServerRoutines.h"
#include "SessionInit.h"
#include "SpravkaUnit.h"
#include "WindowRoutines.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

void Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
        std::exit(1);
    }
}

// A sales table of the demo's shape and the catalogue rows of its subject.
void BuildStandIn(const QString& path, int rows) {
    QFile::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        std::exit(1);
    Exec(db, R"SQL(
CREATE TABLE Authchar (Code INTEGER, Text TEXT);
INSERT INTO Authchar VALUES (0, ' '), (1, char(183)), (2, char(214));
CREATE TABLE Relations (N INTEGER PRIMARY KEY, TableName TEXT, BGTableName TEXT, ColName TEXT,
  BGColName TEXT, SelectCol INTEGER, Promenliva INTEGER, "Function" TEXT, Zadaljitelna INTEGER,
  Sortirane INTEGER, DftFilter TEXT, DftLike INTEGER, FilterList TEXT, RelationTable TEXT,
  RelationCol TEXT, Align INTEGER, Shirina INTEGER, Mask TEXT, Suma TEXT, AutoStretch INTEGER);
INSERT INTO Relations VALUES
 (301, 'Sales', 'Продажби', 'SaleID', '№', 1, 0, 'SaleID', 0, 0, '', 0, '', '', '', 1, 0, '', '', 0),
 (302, 'Sales', 'Продажби', 'InvoiceNo', 'Фактура', 2, 0, 'InvoiceNo', 0, 2, '', 1, '', '', '', 0, 70, '', '', 0),
 (303, 'Sales', 'Продажби', 'SaleDate', 'Дата', 2, 0, 'SaleDate', 1, -1, '>=01.01.2020', 0, '', '', '', 2, 0, 'dd.mm.yyyy', '', 0),
 (305, 'Sales', 'Продажби', '(SELECT Name FROM Clients WHERE Clients.ClientID = Sales.ClientID)', 'Клиент', 2, 0,
      '(SELECT Name FROM Clients WHERE Clients.ClientID = Sales.ClientID)', 0, 0, '', 0, '', '', '', 0, 180, '', '', 1),
 (308, 'Sales', 'Продажби', 'Qty', 'Количество', 2, 0, 'SUM(Sales.Qty)', 0, 0, '', 0, '', '', '', 1, 0, '#,##0', '', 0),
 (310, 'Sales', 'Продажби', 'Amount', 'Сума', 2, 0, 'SUM(Sales.Amount)', 0, 0, '', 0, '', '', '', 1, 100, '### ### ##0.00', '', 0),
 (316, 'Sales', 'Продажби', 'Storno', 'Сторно', 1, 0, 'Storno', 0, 0, '0', 0, '', '', '', 0, 0, '', '', 0);
CREATE TABLE Clients (ClientID INTEGER PRIMARY KEY, Name TEXT);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000)
INSERT INTO Clients SELECT i, 'Клиент ' || i FROM n;
CREATE TABLE Sales (SaleID INTEGER PRIMARY KEY, InvoiceNo VARCHAR(10), SaleDate DATE,
  ClientID INTEGER, Qty INTEGER, Amount NUMERIC(12,2), Storno INTEGER);
)SQL");
    const QByteArray fill =
        QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
            "INSERT INTO Sales SELECT i, printf('%08d', i), "
            "date('2020-01-01', '+' || (i % 1800) || ' days'), i % 5000 + 1, "
            "i % 50 + 1, round((i % 997) * 1.37 + 0.5, 2), CASE WHEN i % 40 = 0 "
            "THEN 1 ELSE 0 END FROM n;")
            .arg(rows)
            .toUtf8();
    Exec(db, fill.constData());
    sqlite3_close(db);
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

// The sqlite3 shell writing the result of sql to file, tab-separated;
// milliseconds.
double ShellExport(const QString& db, const QString& sql, const QString& file) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setStandardOutputFile(file);
    p.start(QStringLiteral("sqlite3"),
            {QStringLiteral("-separator"), QStringLiteral("\t"), db, sql});
    if (!p.waitForStarted() || !p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Bench::TOptions options = Bench::ReadOptions(argc, argv);
    SetMessageBoxHandler(StderrMessageBox);

    QTemporaryDir dir;
    const QString dbFile = dir.filePath(QStringLiteral("bench.db"));
    QElapsedTimer timer;
    timer.start();
    bool demo = true;
    if (!options.Database.isEmpty()) {
        if (!QFile::copy(options.Database, dbFile)) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(options.Database));
            return 1;
        }
    } else {
        try {
            CreateDemoDatabase(dbFile, options.Rows);
        } catch (const Exception& e) {
            std::printf("demo database not available (%s): building a stand-in\n",
                        e.message().toUtf8().constData());
            demo = false;
            BuildStandIn(dbFile, options.Rows);
        }
    }
    std::printf("%s database ready in %.1f s\n", demo ? "demo" : "stand-in",
                timer.elapsed() / 1000.0);
    Bench::UseAlias(dir.filePath(QStringLiteral("aliases.ini")), dbFile);

    TDatabase database;
    database.SetDatabaseName(QStringLiteral("restdata"));
    database.SetAliasName(QStringLiteral("BENCH"));
    database.SetLoginPrompt(false);
    database.Open();
    InitSession(database);

    QMainWindow frame;
    frame.setCentralWidget(new QMdiArea(&frame));
    frame.resize(1280, 900);
    SetMainForm(&frame);
    frame.show();
    auto* window = static_cast<TSpravkaForm*>(OpenInquiryWindow(false, false, QString()));
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        sub->showMaximized();
    window->SelectSubject(QStringLiteral("Продажби"));
    QApplication::processEvents();

    struct Scenario {
        const char* Name;
        std::function<void()> Setup;
        // The limit holds for every run (true) or for the best of them.
        bool EveryRun;
        double Limit;
    };
    const Scenario scenarios[] = {
        {"subject with its defaults", [] {}, false, 1.2},
        {"grouped by client, sums",
         [window] {
             TQuery* columns = window->Inquiry->qrCol;
             if (columns->Locate(QStringLiteral("BGColName"), QStringLiteral("Клиент")))
                 window->btGroupClick();
         },
         true, 1.1},
    };
    // The inquiry and the bare query in turns; the best of eleven each, or
    // five runs that must each keep the limit.
    bool allRan = true;
    for (const Scenario& scenario : scenarios) {
        window->SelectSubject(QStringLiteral("Продажби"));
        scenario.Setup();
        std::vector<double> inquiry;
        std::vector<double> painting;
        std::vector<double> bare;
        int resultRows = 0;
        QStringList sql;
        const auto bareQuery = [&] {
            TQuery query;
            query.SetDatabaseName(QStringLiteral("restdata"));
            query.SetParamCheck(false);
            query.SetSQL(sql);
            timer.restart();
            query.Open();
            bare.push_back(timer.nsecsElapsed() / 1e6);
        };
        // The statement, from a first run that is not counted.
        window->btSpravkaClick(window->btSpravka);
        sql = window->ReportForm->qrDATA->SQL();
        window->ShowInquiryWindow();
        QApplication::processEvents();
        const int runs = scenario.EveryRun ? 5 : 11;
        for (int run = 0; run < runs && allRan; ++run) {
            // Turn about which goes first, so neither always meets the
            // caches the other left.
            if (run % 2)
                bareQuery();
            timer.restart();
            window->btSpravkaClick(window->btSpravka);
            window->DataGrid->model()->rowCount();
            inquiry.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            QApplication::processEvents();
            painting.push_back(timer.nsecsElapsed() / 1e6);
            TQuery* result = window->ReportForm->qrDATA;
            if (!result->Active() || result->SQL() != sql) {
                std::fprintf(stderr, "the inquiry did not run\n");
                allRan = false;
            }
            resultRows = result->RecordCount();
            window->ShowInquiryWindow();
            QApplication::processEvents();
            if (run % 2 == 0)
                bareQuery();
        }
        std::printf("\n%s: %d result rows\n  %s\n", scenario.Name, resultRows,
                    sql.join(QStringLiteral("\n  ")).toUtf8().constData());
        std::printf("  inquiry run (compose, open, grid set up): median %8.1f ms, best %8.1f ms\n",
                    Bench::Median(inquiry), Bench::Best(inquiry));
        std::printf("  then the window's events (painting):     median %8.1f ms, best %8.1f ms\n",
                    Bench::Median(painting), Bench::Best(painting));
        std::printf("  bare query open through dbaccess:        median %8.1f ms, best %8.1f ms\n",
                    Bench::Median(bare), Bench::Best(bare));
        if (scenario.EveryRun) {
            // The run of the five whose ratio to its own bare query is worst.
            size_t worst = 0;
            for (size_t i = 0; i < inquiry.size() && i < bare.size(); ++i) {
                std::printf("  run %zu: %.1f ms vs %.1f ms, %.3fx\n", i + 1, inquiry[i], bare[i],
                            inquiry[i] / bare[i]);
                if (inquiry[i] / bare[i] > inquiry[worst] / bare[worst])
                    worst = i;
            }
            Bench::RatioResult(
                QStringLiteral("inquiry run, sales %1 (%2 rows; vs bare query, worst of %3 runs)")
                    .arg(QString::fromUtf8(scenario.Name))
                    .arg(resultRows)
                    .arg(runs),
                inquiry.empty() ? 0 : inquiry[worst], bare.empty() ? 0 : bare[worst], "ms",
                scenario.Limit, allRan && inquiry.size() == size_t(runs));
        } else {
            Bench::RatioResult(QStringLiteral("inquiry run, sales %1 (%2 rows; vs bare query)")
                                   .arg(QString::fromUtf8(scenario.Name))
                                   .arg(resultRows),
                               Bench::Best(inquiry), Bench::Best(bare), "ms", scenario.Limit,
                               allRan);
        }
    }

    if (qEnvironmentVariableIsSet("INQUIRY_BENCH_PARTS")) {
        window->close();
        SetMainForm(nullptr);
        return 0;
    }
    // The export command on the subject with its date condition (which is
    // mandatory) widened to every sale.
    window->SelectSubject(QStringLiteral("Продажби"));
    TInquiry& inquiry = *window->Inquiry;
    for (QStringList* list : {&inquiry.Relations, &inquiry.RelationsFunc, &inquiry.RelationsBG})
        for (QString& condition : *list)
            condition.replace(QStringLiteral("01.12.2024"), QStringLiteral("01.01.2000"));
    const QString ourFile = dir.filePath(QStringLiteral("export.txt"));
    const QString shellFile = dir.filePath(QStringLiteral("shell.txt"));
    SetSaveFileDialogHandler([&ourFile](const QString&, const QString&, const QString&,
                                        const QString&) { return ourFile; });
    std::vector<double> ours, shell;
    QStringList sql;
    int exportRows = 0;
    for (int run = 0; run < 2; ++run) {
        QFile::remove(ourFile);
        window->Inquiry->Modified = true; // the command runs the inquiry first
        timer.restart();
        window->btExportClick();
        ours.push_back(timer.nsecsElapsed() / 1e6);
        sql = window->ReportForm->qrDATA->SQL();
        exportRows = window->ReportForm->qrDATA->RecordCount();
        shell.push_back(ShellExport(dbFile, sql.join(u'\n'), shellFile));
    }
    // The parts of the command: the run of the inquiry, then the rest with
    // the inquiry already run.
    timer.restart();
    window->btSpravkaClick(nullptr);
    const double runMs = timer.nsecsElapsed() / 1e6;
    QFile::remove(ourFile);
    timer.restart();
    window->btExportClick();
    const double restMs = timer.nsecsElapsed() / 1e6;
    std::printf("\nexport command in parts: inquiry run %.0f ms; layout, totals-only run and file "
                "%.0f ms\n",
                runMs, restMs);
    const qint64 ourLines = LineCount(ourFile);
    const qint64 shellLines = LineCount(shellFile);
    std::printf("\nexport command: %d rows, file of %lld lines (header and totals included), "
                "shell %lld lines\n  %s\n",
                exportRows, ourLines, shellLines,
                sql.join(QStringLiteral("\n  ")).toUtf8().constData());
    Bench::RatioResult(
        QStringLiteral("export command, %1 rows (run, layout, totals, file; vs sqlite3 shell)")
            .arg(exportRows),
        Bench::Best(ours) / 1000, Bench::Best(shell) / 1000, "s", 1.2,
        shellLines == exportRows && ourLines > shellLines);

    window->close();
    SetMainForm(nullptr);
    return 0;
}
