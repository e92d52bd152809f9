#include "DBGrid.h"

#include <QFontMetrics>
#include <QHeaderView>

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
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

int TDBGrid::ColumnCount() const { return Source ? Source->columnCount() : 0; }

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

int TDBGrid::ColumnWidth(int column) const { return columnWidth(LogicalColumn(column)); }

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

TGridColumn& TDBGrid::Column(int column) { return Source->Columns()[LogicalColumn(column)]; }

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
