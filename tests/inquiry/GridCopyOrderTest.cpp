// The result grid's copy to the clipboard and its header ordering, driven
// through the window's own widgets.

#include "InquiryFixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMimeData>
#include <QTest>

namespace {

int ColumnOf(TSpravkaForm* window, const QString& title) {
    for (int c = 0; c < window->dsData->columnCount(); ++c)
        if (window->dsData->headerData(c, Qt::Horizontal).toString() == title)
            return c;
    return -1;
}

void ClickHeader(TSpravkaForm* window, int logical) {
    QHeaderView* header = window->DataGrid->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(logical) + 4, header->height() / 2));
}

QStringList Column(const QStringList& rows, int column) {
    QStringList values;
    for (const QString& row : rows)
        values << row.split(QLatin1Char('|')).value(column);
    return values;
}

} // namespace

// A click orders by the column alone, a second click reverses it, another
// column replaces it; each click runs the inquiry and moves the arrow.
TEST_F(InquiryFixture, HeaderClickOrdersByTheColumn) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    Press(window->btSpravka);
    ASSERT_TRUE(window->ReportForm->qrDATA->Active());
    const int product = ColumnOf(window, QStringLiteral("Продукт"));
    const int invoice = ColumnOf(window, QStringLiteral("Фактура"));
    ASSERT_GE(product, 0);
    ASSERT_GE(invoice, 0);
    QHeaderView* header = window->DataGrid->horizontalHeader();

    const struct {
        int Column;
        const char* Ordering;
        Qt::SortOrder Arrow;
    } clicks[] = {
        {product, "Продукт ->", Qt::AscendingOrder},
        {product, "Продукт <-", Qt::DescendingOrder},
        {product, "Продукт ->", Qt::AscendingOrder},
        {invoice, "Фактура ->", Qt::AscendingOrder},
    };
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.Ordering);
        ClickHeader(window, click.Column);
        EXPECT_EQ(window->Inquiry->OrderBoxBG, QStringList{QString::fromUtf8(click.Ordering)});
        EXPECT_FALSE(window->Inquiry->Modified); // it ran again
        const QStringList values = Column(ResultRows(window), click.Column);
        if (click.Column == product) {
            EXPECT_EQ(values.first(), click.Arrow == Qt::AscendingOrder ? QStringLiteral("Круши")
                                                                        : QStringLiteral("Ябълки"));
        } else {
            EXPECT_EQ(values.first(), QStringLiteral("1"));
        }
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), click.Column);
        EXPECT_EQ(header->sortIndicatorOrder(), click.Arrow);
    }
    EXPECT_TRUE(Sql(window).join(u' ').contains(QStringLiteral("ORDER BY")));
}

// Ctrl+C on the grid copies the selected cells, or the whole current row
// when one cell is selected, as tab-separated lines (a value with a tab,
// a line break or a quote quoted) and as an HTML table; Ctrl+A takes every
// row.
TEST_F(InquiryFixture, CopyPutsCellsOnTheClipboard) {
    ExecDirect(QStringLiteral("UPDATE Sales SET Product = 'Бяло' || char(9) || 'вино \"X\"' "
                              "WHERE InvNo = 2"));
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    Press(window->btSpravka);
    TDBGrid* grid = window->DataGrid;
    const QStringList rows = ResultRows(window);
    ASSERT_EQ(rows.size(), 5);
    const int columns = window->dsData->columnCount();
    auto line = [&](int row) {
        QStringList cells = rows[row].split(QLatin1Char('|'));
        for (QString& cell : cells)
            if (cell.contains(u'\t'))
                cell = u'"' + QString(cell).replace(u'"', QStringLiteral("\"\"")) + u'"';
        return cells.join(u'\t') + QStringLiteral("\r\n");
    };
    QClipboard* clipboard = QGuiApplication::clipboard();

    // One cell: its whole row.
    grid->setFocus();
    grid->setCurrentIndex(window->dsData->index(1, 0));
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), line(1));

    // A block of two rows and the first two columns.
    grid->selectionModel()->select(
        QItemSelection(window->dsData->index(2, 0), window->dsData->index(3, 1)),
        QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    const QStringList first2 = {rows[2].section(u'|', 0, 1), rows[3].section(u'|', 0, 1)};
    EXPECT_EQ(clipboard->text(), QString(first2[0]).replace(u'|', u'\t') + QStringLiteral("\r\n") +
                                     QString(first2[1]).replace(u'|', u'\t') +
                                     QStringLiteral("\r\n"));

    // Everything, through the menu item.
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    window->mnCopy->trigger();
    QString all;
    for (int r = 0; r < rows.size(); ++r)
        all += line(r);
    EXPECT_EQ(clipboard->text(), all);
    const QString html = clipboard->mimeData()->html();
    EXPECT_EQ(html.count(QStringLiteral("<tr>")), 5);
    EXPECT_EQ(html.count(QStringLiteral("<td>")), 5 * columns);
    EXPECT_TRUE(html.contains(QStringLiteral("вино &quot;X&quot;")));
}
