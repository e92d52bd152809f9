#pragma once
// A data source: the item model through which a grid or a lookup list shows
// a data set. It has optional columns (field, title, width, alignment,
// visibility); without columns it shows every field. It formats only the
// cells that are asked for, so a million-row result costs nothing up front.

#include "DataSet.h"

#include <QAbstractTableModel>

struct TGridColumn {
    QString FieldName;
    QString Title;
    int Width = 64; // pixels
    TAlignment Alignment = TAlignment::Left;
    bool Visible = true;
    bool ReadOnly = true;
};

class TDataSource : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDataSource(QObject* owner = nullptr);

    TDataSet* DataSet() const;
    void SetDataSet(TDataSet* dataSet);

    // Columns; empty means every field of the data set.
    QList<TGridColumn>& Columns();
    const QList<TGridColumn>& Columns() const;
    void SetColumns(const QList<TGridColumn>& columns);
    void ClearColumns();
    // Field shown in model column c (nullptr when the data set lacks it).
    TField* FieldOfColumn(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Display texts formatted so far: a view asks only for the cells it
    // shows, so scrolling through a large result formats a few screens.
    qint64 FormattedCells() const { return Formatted; }

Q_SIGNALS:
    // The data set's current record moved (model row, -1 for none); not
    // emitted while its controls are disabled.
    void CurrentRowChanged(int row);

private:
    void OnDataChanged();
    void OnRecordChanged();
    TDataSet* Set = nullptr;
    QList<TGridColumn> Cols;
    mutable qint64 Formatted = 0;
};
