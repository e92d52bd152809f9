#include "DataSource.h"

#include "RowStore.h"

#include <QSize>

TDataSource::TDataSource(QObject* owner) : QAbstractTableModel(owner) {}

TDataSet* TDataSource::DataSet() const {
    return Set;
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (Set == dataSet)
        return;
    beginResetModel();
    if (Set)
        disconnect(Set, nullptr, this, nullptr);
    Set = dataSet;
    if (Set) {
        connect(Set, &TDataSet::DataChanged, this, &TDataSource::OnDataChanged);
        connect(Set, &TDataSet::RecordChanged, this, &TDataSource::OnRecordChanged);
        // The data set is half gone when this runs: forget it before the
        // views hear of the reset.
        connect(Set, &QObject::destroyed, this, [this] {
            Set = nullptr;
            beginResetModel();
            endResetModel();
        });
    }
    endResetModel();
}

QList<TGridColumn>& TDataSource::Columns() {
    return Cols;
}
const QList<TGridColumn>& TDataSource::Columns() const {
    return Cols;
}

void TDataSource::SetColumns(const QList<TGridColumn>& columns) {
    beginResetModel();
    Cols = columns;
    endResetModel();
}

void TDataSource::ClearColumns() {
    SetColumns({});
}

TField* TDataSource::FieldOfColumn(int column) const {
    if (!Set || column < 0)
        return nullptr;
    if (Cols.isEmpty())
        return column < Set->FieldCount() ? Set->Fields(column) : nullptr;
    if (column >= Cols.size())
        return nullptr;
    return Set->FindField(Cols[column].FieldName);
}

int TDataSource::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !Set || !Set->Active())
        return 0;
    // A forward-only data set holds its current row only.
    if (Set->IsUniDirectional())
        return Set->IsEmpty() ? 0 : 1;
    return Set->RecordCount();
}

int TDataSource::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !Set)
        return 0;
    return Cols.isEmpty() ? Set->FieldCount() : int(Cols.size());
}

QVariant TDataSource::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !Set || index.row() >= rowCount())
        return {};
    const TField* field = FieldOfColumn(index.column());
    if (!field)
        return {};
    const int row = Set->IsUniDirectional() ? 0 : index.row();
    switch (role) {
    case Qt::DisplayRole:
        ++Formatted;
        return field->DisplayTextAt(row);
    case Qt::EditRole:
        return field->ValueAt(row);
    case Qt::TextAlignmentRole: {
        const TAlignment a = Cols.isEmpty() ? field->Alignment() : Cols[index.column()].Alignment;
        const Qt::Alignment h = a == TAlignment::Right    ? Qt::AlignRight
                                : a == TAlignment::Center ? Qt::AlignHCenter
                                                          : Qt::AlignLeft;
        return QVariant::fromValue(int(h | Qt::AlignVCenter));
    }
    default:
        return {};
    }
}

QVariant TDataSource::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    if (section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole) {
        if (!Cols.isEmpty())
            return Cols[section].Title.isNull() ? Cols[section].FieldName : Cols[section].Title;
        const TField* field = FieldOfColumn(section);
        return field ? field->DisplayLabel() : QVariant();
    }
    // No size hint: the grid sizes its sections from the column widths, and a
    // hint without a height would collapse the title row.
    return {};
}

void TDataSource::OnDataChanged() {
    beginResetModel();
    endResetModel();
}

void TDataSource::OnRecordChanged() {
    if (!Set || Set->ControlsDisabled())
        return;
    Q_EMIT CurrentRowChanged(Set->RecNo() - 1);
}
