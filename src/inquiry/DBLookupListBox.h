#pragma once
// A list that shows one field of a data source and keeps its current row in
// step with the data set's current record (the subject list).

#include <QListView>

class TDataSource;

class TDBLookupListBox : public QListView {
    Q_OBJECT
public:
    explicit TDBLookupListBox(QWidget* parent = nullptr);

    // Shows the data source's first column.
    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return Source; }

Q_SIGNALS:
    // The user clicked a row or moved to another with the keys; the data set
    // is already on it.
    void Clicked();
    // Double-click or Enter on a row.
    void Activated();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void FollowRecord(int row);
    void FollowDataSet();
    TDataSource* Source = nullptr;
    bool Following = false;
};
