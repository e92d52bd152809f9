#include "DBLookupListBox.h"

#include "DataSource.h"

#include <QKeyEvent>

TDBLookupListBox::TDBLookupListBox(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            Q_EMIT Clicked();
    });
}

void TDBLookupListBox::SetDataSource(TDataSource* source) {
    if (Source == source)
        return;
    if (Source)
        disconnect(Source, nullptr, this, nullptr);
    Source = source;
    setModel(source);
    setModelColumn(0);
    if (!source)
        return;
    connect(source, &QAbstractItemModel::modelReset, this, &TDBLookupListBox::FollowDataSet);
    connect(source, &TDataSource::CurrentRowChanged, this, &TDBLookupListBox::FollowRecord);
    FollowDataSet();
}

void TDBLookupListBox::FollowDataSet() {
    TDataSet* set = Source ? Source->DataSet() : nullptr;
    if (set && set->Active() && set->RecNo() > 0)
        FollowRecord(set->RecNo() - 1);
}

void TDBLookupListBox::FollowRecord(int row) {
    if (!Source || row < 0 || row >= Source->rowCount())
        return;
    Following = true;
    setCurrentIndex(Source->index(row, 0));
    Following = false;
}

void TDBLookupListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    if (Following || !current.isValid() || !Source)
        return;
    TDataSet* set = Source->DataSet();
    if (!set || !set->Active() || set->ControlsDisabled())
        return;
    if (set->RecNo() != current.row() + 1)
        set->SetRecNo(current.row() + 1);
}

void TDBLookupListBox::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & Qt::ControlModifier)) {
        event->accept();
        Q_EMIT Activated();
        return;
    }
    // Moving with the keys selects the subject as a click would.
    const int before = currentIndex().row();
    QListView::keyPressEvent(event);
    if (currentIndex().isValid() && currentIndex().row() != before)
        Q_EMIT Clicked();
}

void TDBLookupListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    if (currentIndex().isValid())
        Q_EMIT Activated();
}
