// A result grid over a million rows: scrolling from the first row to the
// last formats only the cells that are shown, never every row's text.

#include "DBGrid.h"

#include <QApplication>
#include <QDate>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int RowCount = 1000000;

TEST(GridScroll, FormatsOnlyTheRowsShown) {
    TDataSet data;
    data.AddField(QStringLiteral("N"), TFieldType::Integer);
    data.AddField(QStringLiteral("Day"), TFieldType::Date);
    data.AddField(QStringLiteral("Amount"), TFieldType::Float);
    const QDate start(2020, 1, 1);
    for (int i = 0; i < RowCount; ++i)
        data.AppendRow({i + 1, start.addDays(i % 2000), 0.25 * i});
    data.Open();
    TDataSource source;
    source.SetDataSet(&data);
    TDBGrid grid;
    grid.SetDataSource(&source);
    grid.resize(500, 400);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    QApplication::processEvents();
    const qint64 firstScreen = source.FormattedCells();
    EXPECT_GT(firstScreen, 0);

    // Page by page for a while, then to the end with Ctrl+End, as a user
    // would; every step is painted.
    grid.setFocus();
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(&grid, Qt::Key_PageDown);
        QApplication::processEvents();
    }
    QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
    QApplication::processEvents();
    grid.viewport()->repaint();

    EXPECT_EQ(grid.currentIndex().row(), RowCount - 1);
    EXPECT_EQ(data.RecNo(), RowCount); // the record follows the grid
    EXPECT_EQ(grid.verticalScrollBar()->value(), grid.verticalScrollBar()->maximum());
    const QRect last = grid.visualRect(source.index(RowCount - 1, 0));
    EXPECT_TRUE(grid.viewport()->rect().intersects(last));
    // About 22 screens of at most a few dozen rows of three cells: a few
    // thousand texts, where the grid holds three million.
    EXPECT_LT(source.FormattedCells(), 10000);
    EXPECT_GT(source.FormattedCells(), firstScreen);
}

} // namespace
