#pragma once
// A grid bound to a data source: shows the data source's columns (or every
// field), keeps its current row in step with the data set's current record,
// and reports each column's field and width as currently shown. Rows and
// cells can be selected (Ctrl+A all rows) and copied to the clipboard; a
// click on a column header is reported for ordering by that column.

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

    // The selected cells, or every shown column of the current row when at
    // most one cell is selected, as tab-separated lines (a value holding a
    // tab, a line break or a quote quoted, quotes doubled) and as an HTML
    // table. Calls the export progress handler every few thousand rows;
    // false when it asked to stop.
    bool SelectionTexts(QString& tabSeparated, QString& html) const;
    // Puts SelectionTexts on the clipboard (as text and as HTML, so a paste
    // into a spreadsheet gives cells); false, and the clipboard untouched,
    // when stopped.
    bool CopySelection();

    // Shows the ordering arrow on the column of the field (none when the
    // field is empty or not shown).
    void ShowOrderArrow(const QString& fieldName, bool ascending);

Q_SIGNALS:
    void CellClicked(int row, int column);
    // A click on the header of the column showing the field.
    void HeaderClicked(const QString& fieldName);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ApplyColumnWidths();
    void FollowRecord(int row);
    int LogicalColumn(int displayColumn) const;
    TDataSource* Source = nullptr;
    bool Following = false;
};
