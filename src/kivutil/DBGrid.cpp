#include "DBGrid.h"

#include "ExportText.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>

#include <algorithm>
#include <vector>

namespace {

// Rows copied between two calls of the progress handler.
constexpr int CopyProgressRows = 4096;

// A value of a tab-separated line as spreadsheets read it back.
void AppendTabValue(QString& out, const QString& value) {
    bool quote = false;
    for (const QChar c : value) {
        if (c == u'\t' || c == u'\n' || c == u'\r' || c == u'"') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out += value;
        return;
    }
    out += u'"';
    for (const QChar c : value) {
        if (c == u'"')
            out += u'"';
        out += c;
    }
    out += u'"';
}

} // namespace

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(false);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumWidth(12);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(true);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int logical, int, int size) {
                if (Source && logical < Source->Columns().size())
                    Source->Columns()[logical].Width = size;
            });
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int logical) {
        if (!Source)
            return;
        QString name;
        if (logical < Source->Columns().size())
            name = Source->Columns()[logical].FieldName;
        else if (TField* field = Source->FieldOfColumn(logical))
            name = field->FieldName();
        if (!name.isEmpty())
            Q_EMIT HeaderClicked(name);
    });
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { Q_EMIT CellClicked(index.row(), index.column()); });
}

void TDBGrid::SetDataSource(TDataSource* source) {
    if (Source == source)
        return;
    if (Source)
        disconnect(Source, nullptr, this, nullptr);
    Source = source;
    setModel(source);
    if (!source)
        return;
    connect(source, &QAbstractItemModel::modelReset, this, &TDBGrid::ApplyColumnWidths);
    connect(source, &QAbstractItemModel::columnsInserted, this, &TDBGrid::ApplyColumnWidths);
    connect(source, &QAbstractItemModel::columnsRemoved, this, &TDBGrid::ApplyColumnWidths);
    connect(source, &TDataSource::CurrentRowChanged, this, &TDBGrid::FollowRecord);
    ApplyColumnWidths();
}

int TDBGrid::LogicalColumn(int displayColumn) const {
    const int logical = horizontalHeader()->logicalIndex(displayColumn);
    return logical < 0 ? displayColumn : logical;
}

int TDBGrid::ColumnCount() const {
    return Source ? Source->columnCount() : 0;
}

QString TDBGrid::ColumnFieldName(int column) const {
    if (!Source)
        return {};
    const int logical = LogicalColumn(column);
    if (logical < Source->Columns().size())
        return Source->Columns()[logical].FieldName;
    TField* field = Source->FieldOfColumn(logical);
    return field ? field->FieldName() : QString();
}

QString TDBGrid::ColumnTitle(int column) const {
    if (!Source)
        return {};
    return Source->headerData(LogicalColumn(column), Qt::Horizontal, Qt::DisplayRole).toString();
}

TField* TDBGrid::ColumnField(int column) const {
    return Source ? Source->FieldOfColumn(LogicalColumn(column)) : nullptr;
}

bool TDBGrid::ColumnVisible(int column) const {
    const int logical = LogicalColumn(column);
    if (isColumnHidden(logical))
        return false;
    if (Source && logical < Source->Columns().size())
        return Source->Columns()[logical].Visible;
    return true;
}

int TDBGrid::ColumnWidth(int column) const {
    return columnWidth(LogicalColumn(column));
}

void TDBGrid::SetColumnWidth(int column, int width) {
    const int logical = LogicalColumn(column);
    if (Source && logical < Source->Columns().size())
        Source->Columns()[logical].Width = width;
    setColumnWidth(logical, width);
}

void TDBGrid::ClearColumns() {
    if (Source)
        Source->ClearColumns();
}

int TDBGrid::AddColumn(const TGridColumn& column) {
    if (!Source)
        return -1;
    QList<TGridColumn> columns = Source->Columns();
    columns << column;
    Source->SetColumns(columns);
    return int(columns.size()) - 1;
}

TGridColumn& TDBGrid::Column(int column) {
    return Source->Columns()[LogicalColumn(column)];
}

int TDBGrid::SelectedColumn() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? horizontalHeader()->visualIndex(index.column()) : -1;
}

TField* TDBGrid::SelectedField() const {
    const QModelIndex index = currentIndex();
    if (!Source || !index.isValid())
        return Source && Source->columnCount() > 0 ? Source->FieldOfColumn(0) : nullptr;
    return Source->FieldOfColumn(index.column());
}

int TDBGrid::DefaultColumnWidth(TField* field, const QString& title) const {
    const QFontMetrics metrics(font());
    const int chars = field && field->DisplayWidth() > 0 ? field->DisplayWidth() : 10;
    // The program counts a column's characters as its pixels / 8 (display
    // widths, fixed-width text output), so a column gets at least 8 pixels a
    // character and never shows fewer characters than its field holds.
    const int dataWidth = chars * qMax(8, metrics.averageCharWidth());
    const int titleWidth = metrics.horizontalAdvance(title);
    return qMax(dataWidth, titleWidth) + 4;
}

void TDBGrid::ApplyColumnWidths() {
    if (!Source)
        return;
    const QList<TGridColumn>& columns = Source->Columns();
    for (int c = 0; c < Source->columnCount(); ++c) {
        if (c < columns.size()) {
            setColumnWidth(c, columns[c].Width);
            setColumnHidden(c, !columns[c].Visible);
        } else {
            TField* field = Source->FieldOfColumn(c);
            setColumnWidth(c, DefaultColumnWidth(field, field ? field->DisplayLabel() : QString()));
            setColumnHidden(c, false);
        }
    }
    if (TDataSet* set = Source->DataSet(); set && set->Active() && set->RecNo() > 0)
        FollowRecord(set->RecNo() - 1);
}

void TDBGrid::FollowRecord(int row) {
    if (!Source || row < 0 || row >= Source->rowCount())
        return;
    Following = true;
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    setCurrentIndex(Source->index(row, qMax(0, column)));
    Following = false;
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (Following || !current.isValid())
        return;
    TDataSet* set = DataSet();
    if (set && set->Active() && !set->ControlsDisabled() && set->RecNo() != current.row() + 1)
        set->SetRecNo(current.row() + 1);
}

bool TDBGrid::SelectionTexts(QString& tabSeparated, QString& html) const {
    tabSeparated.clear();
    html.clear();
    TDataSet* set = DataSet();
    if (!Source || !set || !set->Active() || !selectionModel())
        return true;
    const QItemSelection selection = selectionModel()->selection();
    std::vector<int> rows;
    std::vector<int> columns; // logical, in display order
    bool whole = false;       // one rectangle: every cell of it is selected
    qsizetype cells = 0;
    for (const QItemSelectionRange& range : selection)
        cells += qsizetype(range.width()) * range.height();
    const int rowCount = Source->rowCount();
    auto shown = [&](int logical) {
        return !isColumnHidden(logical) && Source->FieldOfColumn(logical);
    };
    if (cells <= 1) {
        const int row = currentIndex().isValid() ? currentIndex().row() : -1;
        if (row < 0 || row >= rowCount)
            return true;
        rows.push_back(row);
        for (int v = 0; v < Source->columnCount(); ++v)
            if (const int logical = horizontalHeader()->logicalIndex(v); shown(logical))
                columns.push_back(logical);
        whole = true;
    } else {
        std::vector<char> rowUsed(size_t(rowCount), 0);
        std::vector<char> columnUsed(size_t(Source->columnCount()), 0);
        for (const QItemSelectionRange& range : selection) {
            for (int r = range.top(); r <= range.bottom() && r < rowCount; ++r)
                rowUsed[size_t(r)] = 1;
            for (int c = range.left(); c <= range.right() && c < Source->columnCount(); ++c)
                columnUsed[size_t(c)] = 1;
        }
        for (int r = 0; r < rowCount; ++r)
            if (rowUsed[size_t(r)])
                rows.push_back(r);
        for (int v = 0; v < Source->columnCount(); ++v)
            if (const int logical = horizontalHeader()->logicalIndex(v);
                columnUsed[size_t(logical)] && shown(logical))
                columns.push_back(logical);
        whole = selection.size() == 1;
    }

    std::vector<TField*> fields;
    for (const int logical : columns)
        fields.push_back(Source->FieldOfColumn(logical));
    const ExportProgressHandler& progress = CurrentExportProgressHandler();
    const qint64 total = qint64(rows.size());
    if (progress && progress(0, total))
        return false;
    html = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><table>\n");
    qint64 done = 0;
    for (const int row : rows) {
        html += QStringLiteral("<tr>");
        for (size_t k = 0; k < fields.size(); ++k) {
            const bool selected =
                whole || selectionModel()->isSelected(Source->index(row, columns[k]));
            const QString value = selected ? fields[k]->DisplayTextAt(row) : QString();
            if (k > 0)
                tabSeparated += u'\t';
            AppendTabValue(tabSeparated, value);
            html += QStringLiteral("<td>") + value.toHtmlEscaped() + QStringLiteral("</td>");
        }
        tabSeparated += QStringLiteral("\r\n");
        html += QStringLiteral("</tr>\n");
        if (progress && ++done % CopyProgressRows == 0 && progress(done, total)) {
            tabSeparated.clear();
            html.clear();
            return false;
        }
    }
    html += QStringLiteral("</table></body></html>\n");
    return true;
}

bool TDBGrid::CopySelection() {
    QString text;
    QString html;
    if (!SelectionTexts(text, html))
        return false;
    if (text.isEmpty())
        return true;
    auto* data = new QMimeData;
    data->setText(text);
    data->setHtml(html);
    QGuiApplication::clipboard()->setMimeData(data);
    return true;
}

void TDBGrid::ShowOrderArrow(const QString& fieldName, bool ascending) {
    QHeaderView* header = horizontalHeader();
    int logical = -1;
    if (Source && !fieldName.isEmpty()) {
        for (int c = 0; c < Source->columnCount() && logical < 0; ++c) {
            if (c < Source->Columns().size()
                    ? Source->Columns()[c].FieldName == fieldName
                    : Source->FieldOfColumn(c) &&
                          Source->FieldOfColumn(c)->FieldName() == fieldName)
                logical = c;
        }
    }
    header->setSortIndicatorShown(logical >= 0);
    if (logical >= 0)
        header->setSortIndicator(logical, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    // The view's own Copy takes one cell; the grid copies the selection.
    if (event == QKeySequence::Copy) {
        CopySelection();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}
