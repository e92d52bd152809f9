#include "SelectDbUnit.h"

#include "Database.h"
#include "MessageBox.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>

namespace {

// Rows of the alias list are 14 pixels high.
class TAliasItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), 14};
    }
};

// Aliases sort alphabetically, whatever their letter case.
class TAliasItem : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;
    bool operator<(const QListWidgetItem& other) const override {
        return text().compare(other.text(), Qt::CaseInsensitive) < 0;
    }
};

} // namespace

TSelectDbForm::TSelectDbForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SelectDbForm"));
    setWindowTitle(tr("Select Database Alias"));
    setGeometry(132, 80, 320, 420);
    setMinimumSize(300, 200);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(12);
    setFont(tahoma);

    cbDbList = new QListWidget(this);
    cbDbList->setObjectName(QStringLiteral("cbDbList"));
    cbDbList->setSortingEnabled(true);
    cbDbList->setUniformItemSizes(true);
    cbDbList->setItemDelegate(new TAliasItemDelegate(cbDbList));
    btOk = new QPushButton(tr("O&k"), this);
    btOk->setObjectName(QStringLiteral("btOk"));
    btOk->setFixedSize(97, 25);
    btCancel = new QPushButton(tr("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btCancel->setFixedSize(97, 25);
    btOk->setAutoDefault(false);
    btCancel->setAutoDefault(false);

    // The list at (8, 8) 180 x 380, the buttons 97 x 25 at (204, 8) and
    // (204, 48); the list grows with the dialog and the buttons keep to its
    // top-right corner.
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 8, 19, 32);
    layout->setHorizontalSpacing(16);
    layout->setVerticalSpacing(15);
    layout->addWidget(cbDbList, 0, 0, 3, 1);
    layout->addWidget(btOk, 0, 1, Qt::AlignTop);
    layout->addWidget(btCancel, 1, 1, Qt::AlignTop);
    layout->setRowStretch(2, 1);
    layout->setColumnStretch(0, 1);

    connect(btOk, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(btCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
    connect(cbDbList, &QListWidget::itemDoubleClicked, this, &TSelectDbForm::cbDbListDblClick);

    // The form sees keys before its controls.
    cbDbList->installEventFilter(this);
    FormCreate();
}

void TSelectDbForm::FormCreate() {
    TSession& session = TSession::Default();
    if (!session.Active())
        session.Open();
    cbDbList->clear();
    QStringList aliases{QStringLiteral("DEMO")};
    try {
        aliases = session.AliasNames();
    } catch (const Exception& e) {
        // An aliases file that cannot be read leaves the demo to choose.
        ShowMessageBox(e.message(), tr("Грешка"), MB_OK | MB_ICONSTOP);
    }
    for (const QString& alias : aliases)
        new TAliasItem(alias, cbDbList);
    cbDbList->sortItems();
    if (session.DatabaseCount() > 0)
        SetAliasName(session.Databases(0)->DatabaseName());
}

QString TSelectDbForm::AliasName() const {
    const QListWidgetItem* item = cbDbList->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void TSelectDbForm::SetAliasName(const QString& alias) {
    for (int i = 0; i < cbDbList->count(); ++i) {
        if (cbDbList->item(i)->text().compare(alias, Qt::CaseInsensitive) == 0) {
            cbDbList->setCurrentRow(i);
            return;
        }
    }
    cbDbList->setCurrentItem(nullptr);
    cbDbList->clearSelection();
}

bool TSelectDbForm::FormCloseQuery(int result) const {
    return !(result == mrOk && AliasName().isEmpty());
}

void TSelectDbForm::done(int result) {
    if (!FormCloseQuery(result))
        return;
    QDialog::done(result);
}

void TSelectDbForm::reject() { done(mrCancel); }

bool TSelectDbForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyPress(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TSelectDbForm::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyPress(event))
        QDialog::keyPressEvent(event);
}

bool TSelectDbForm::FormKeyPress(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        done(mrOk);
        return true;
    case Qt::Key_Escape:
        event->accept();
        done(mrCancel);
        return true;
    default:
        return false;
    }
}

void TSelectDbForm::cbDbListDblClick() {
    done(mrOk);
}
