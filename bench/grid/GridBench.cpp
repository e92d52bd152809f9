// Result grid figures: the 1,000,000 sales rows of the demo database in a
// TDBGrid (offscreen), scrolled from the first row to the last as a user
// would (twenty pages down, then Ctrl+End), every step painted. The data
// source formats a cell's text only when the view asks for it; the figure
// is the number of cells it formatted, beside the number of cells the grid
// holds.
//
// Run: grid_bench [--db DEMO.db] [rows]   (default: a demo database of
// 1,000,000 sales rows made here). Prints RESULT lines (BenchResult.h).

#include "BenchDemo.h"
#include "BenchResult.h"
#include "DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Bench::TOptions options = Bench::ReadOptions(argc, argv);
    QTemporaryDir dir;
    const QString path = Bench::DemoDatabase(options, dir.filePath(QStringLiteral("demo.db")));
    Bench::UseAlias(dir.filePath(QStringLiteral("aliases.ini")), path);
    TDatabase database;
    database.SetDatabaseName(QStringLiteral("bench"));
    database.SetAliasName(QStringLiteral("BENCH"));
    database.Open();

    TQuery query;
    query.SetDatabaseName(QStringLiteral("bench"));
    query.SetSQLText(QStringLiteral("SELECT * FROM Sales"));
    QElapsedTimer t;
    t.start();
    query.Open();
    const double openMs = t.nsecsElapsed() / 1e6;
    const qint64 rows = query.RecordCount();
    const qint64 cells = rows * query.FieldCount();

    TDataSource source;
    TDBGrid grid;
    grid.SetDataSource(&source);
    grid.resize(1280, 800);
    grid.show();
    if (!QTest::qWaitForWindowExposed(&grid))
        return 1;
    t.restart();
    source.SetDataSet(&query);
    QApplication::processEvents();
    const double firstScreenMs = t.nsecsElapsed() / 1e6;
    const qint64 firstScreen = source.FormattedCells();

    grid.setFocus();
    t.restart();
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(&grid, Qt::Key_PageDown);
        QApplication::processEvents();
    }
    QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
    QApplication::processEvents();
    grid.viewport()->repaint();
    const double scrollMs = t.nsecsElapsed() / 1e6;
    const qint64 formatted = source.FormattedCells();
    const bool atEnd = grid.currentIndex().row() == rows - 1 && query.RecNo() == rows &&
                       grid.verticalScrollBar()->value() == grid.verticalScrollBar()->maximum();

    std::printf("grid over %lld rows of %d columns: query open %.0f ms; first screen %.0f ms "
                "(%lld cells formatted); 20 pages down and Ctrl+End %.0f ms; on the last row: "
                "%s\n",
                rows, query.FieldCount(), openMs, firstScreenMs, firstScreen, scrollMs,
                atEnd ? "yes" : "NO");
    Bench::Result(QStringLiteral("result grid, %1 rows scrolled first to last: cells formatted "
                                 "(vs cells held)")
                      .arg(rows),
                  QString::number(formatted), QString::number(cells),
                  cells > 0 ? double(formatted) / double(cells) : -1, QStringLiteral("< 0.01x"),
                  atEnd && formatted < cells / 100);
    return atEnd ? 0 : 1;
}
