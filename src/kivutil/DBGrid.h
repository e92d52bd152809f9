#pragma once
// A grid bound to a data source: shows the data source's columns (or every
// field), keeps its current row in step with the data set's current record,
// and reports each column's field and width as currently shown.

#include "DataSource.h"

#include <QTableView>

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);

    TDataSource* DataSource() const { return Source; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const { return Source ? Source->DataSet() : nullptr; }

    // Grid columns in display order (model columns when none were added).
    int ColumnCount() const;
    QString ColumnFieldName(int column) const;
    QString ColumnTitle(int column) const;
    TField* ColumnField(int column) const;
    bool ColumnVisible(int column) const;
    int ColumnWidth(int column) const; // pixels, as shown
    void SetColumnWidth(int column, int width);

    // Column editing: the data source's column list.
    void ClearColumns();
    int AddColumn(const TGridColumn& column);
    TGridColumn& Column(int column);

    // The field of the selected column (nullptr when none).
    TField* SelectedField() const;
    int SelectedColumn() const;

    // Automatic width of a field's column: its display width in characters
    // of the grid font, at least its title, with a small margin.
    int DefaultColumnWidth(TField* field, const QString& title) const;

Q_SIGNALS:
    void CellClicked(int row, int column);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void ApplyColumnWidths();
    void FollowRecord(int row);
    int LogicalColumn(int displayColumn) const;
    TDataSource* Source = nullptr;
    bool Following = false;
};
