// Inquiry run figures: an inquiry on the demo database's sales table of
// 1,000,000 rows, from the press of "Справка" to a grid ready to paint
// (composition, the open of the result and the grid's columns), beside the
// bare query of the same statement through the database layer.
//
// Run: inquiry_bench [rows]   (default 1000000). When the demo database
// cannot be made, a sales table of the demo's shape with its catalogue rows
// is built instead.

#include "DBGrid.h"
#include "DbAccess.h"
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
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                       "INSERT INTO Sales SELECT i, printf('%08d', i), "
                       "date('2020-01-01', '+' || (i % 1800) || ' days'), i % 5000 + 1, "
                       "i % 50 + 1, round((i % 997) * 1.37 + 0.5, 2), CASE WHEN i % 40 = 0 "
                       "THEN 1 ELSE 0 END FROM n;")
            .arg(rows)
            .toUtf8();
    Exec(db, fill.constData());
    sqlite3_close(db);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    SetMessageBoxHandler(StderrMessageBox);

    QTemporaryDir dir;
    const QString dbFile = dir.filePath(QStringLiteral("bench.db"));
    QElapsedTimer timer;
    timer.start();
    bool demo = true;
    try {
        CreateDemoDatabase(dbFile, rows);
    } catch (const Exception& e) {
        std::printf("demo database not available (%s): building a stand-in\n",
                    e.message().toUtf8().constData());
        demo = false;
        BuildStandIn(dbFile, rows);
    }
    std::printf("%s database with %d sales rows made in %.1f s\n", demo ? "demo" : "stand-in",
                rows, timer.elapsed() / 1000.0);

    const QString aliases = dir.filePath(QStringLiteral("aliases.ini"));
    QFile file(aliases);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("[BENCH]\nDriver=sqlite\nDatabase=" + QFile::encodeName(dbFile) + "\n");
    file.close();
    qputenv("VEXAL_ALIASES", QFile::encodeName(aliases));

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
    };
    const Scenario scenarios[] = {
        {"subject with its defaults", [] {}},
        {"grouped by Клиент, sums",
         [window] {
             TQuery* columns = window->Inquiry->qrCol;
             if (columns->Locate(QStringLiteral("BGColName"), QStringLiteral("Клиент")))
                 window->btGroupClick();
         }},
    };
    const int runs = 5;
    for (const Scenario& scenario : scenarios) {
        window->SelectSubject(QStringLiteral("Продажби"));
        scenario.Setup();
        std::vector<double> inquiry;
        std::vector<double> bare;
        int resultRows = 0;
        QStringList sql;
        for (int run = 0; run < runs; ++run) {
            timer.restart();
            window->btSpravkaClick(window->btSpravka);
            window->DataGrid->model()->rowCount();
            QApplication::processEvents();
            inquiry.push_back(timer.nsecsElapsed() / 1e6);
            TQuery* result = window->ReportForm->qrDATA;
            if (!result->Active()) {
                std::fprintf(stderr, "the inquiry did not run\n");
                return 1;
            }
            sql = result->SQL();
            resultRows = result->RecordCount();
            window->ShowInquiryWindow();

            TQuery query;
            query.SetDatabaseName(QStringLiteral("restdata"));
            query.SetParamCheck(false);
            query.SetSQL(sql);
            timer.restart();
            query.Open();
            bare.push_back(timer.nsecsElapsed() / 1e6);
            query.Close();
        }
        const double inquiryMedian = Median(inquiry);
        const double bareMedian = Median(bare);
        std::printf("\n%s: %d result rows\n  %s\n", scenario.Name, resultRows,
                    sql.join(QStringLiteral("\n  ")).toUtf8().constData());
        std::printf("  inquiry run (compose, open, grid ready): median %8.1f ms, best %8.1f ms\n",
                    inquiryMedian, *std::min_element(inquiry.begin(), inquiry.end()));
        std::printf("  bare query open through dbaccess:        median %8.1f ms, best %8.1f ms\n",
                    bareMedian, *std::min_element(bare.begin(), bare.end()));
        std::printf("  ratio %.3f (target at most 1.2)\n", inquiryMedian / bareMedian);
    }
    window->close();
    SetMainForm(nullptr);
    return 0;
}
