#include "DescribeDialog.h"

#include "Database.h"
#include "MessageBox.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TDescribeDialog::TDescribeDialog(TDatabase& database, QWidget* parent)
    : QDialog(parent), Describer(std::make_unique<TDescriber>(database)) {
    setObjectName(QStringLiteral("DescribeDialog"));
    setWindowTitle(tr("Нова справка от таблица"));
    resize(900, 520);

    auto* tablesLabel = new QLabel(tr("&Таблица"), this);
    lbTables = new QListWidget(this);
    lbTables->setObjectName(QStringLiteral("lbTables"));
    lbTables->setMaximumWidth(240);
    tablesLabel->setBuddy(lbTables);
    auto* subjectLabel = new QLabel(tr("&Име на справката"), this);
    edSubject = new QLineEdit(this);
    edSubject->setObjectName(QStringLiteral("edSubject"));
    edSubject->setMaxLength(60);
    subjectLabel->setBuddy(edSubject);
    lbInfo = new QLabel(this);
    lbInfo->setObjectName(QStringLiteral("lbInfo"));
    lbInfo->setWordWrap(true);
    grPreview = new QTableWidget(this);
    grPreview->setObjectName(QStringLiteral("grPreview"));
    grPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grPreview->verticalHeader()->hide();
    grPreview->setColumnCount(int(RelationsColumnNames().size()));
    grPreview->setHorizontalHeaderLabels(RelationsColumnNames());

    auto* buttons = new QDialogButtonBox(this);
    btOk = buttons->addButton(tr("&Запис"), QDialogButtonBox::AcceptRole);
    btOk->setObjectName(QStringLiteral("btOk"));
    btCancel = buttons->addButton(tr("Отказ"), QDialogButtonBox::RejectRole);
    btCancel->setObjectName(QStringLiteral("btCancel"));

    auto* grid = new QGridLayout;
    grid->addWidget(tablesLabel, 0, 0);
    grid->addWidget(lbTables, 1, 0, 3, 1);
    grid->addWidget(subjectLabel, 0, 1);
    grid->addWidget(edSubject, 1, 1);
    grid->addWidget(lbInfo, 2, 1);
    grid->addWidget(grPreview, 3, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    // The catalogue tables describe subjects; they are no subject themselves.
    for (const QString& table : Describer->Tables())
        if (table.compare(QLatin1String("Relations"), Qt::CaseInsensitive) != 0 &&
            table.compare(QLatin1String("Authchar"), Qt::CaseInsensitive) != 0)
            lbTables->addItem(table);

    connect(lbTables, &QListWidget::currentRowChanged, this, &TDescribeDialog::TableChanged);
    connect(edSubject, &QLineEdit::textEdited, this, &TDescribeDialog::SubjectEdited);
    connect(btOk, &QPushButton::clicked, this, &TDescribeDialog::btOkClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    RefreshPreview();
}

TDescribeDialog::~TDescribeDialog() = default;

bool TDescribeDialog::SelectTable(const QString& table) {
    for (int row = 0; row < lbTables->count(); ++row)
        if (lbTables->item(row)->text().compare(table, Qt::CaseInsensitive) == 0) {
            lbTables->setCurrentRow(row);
            return true;
        }
    return false;
}

QString TDescribeDialog::SelectedTable() const {
    const QListWidgetItem* item = lbTables->currentItem();
    return item ? item->text() : QString();
}

void TDescribeDialog::TableChanged() {
    // The name follows the table until the user types one of their own.
    if (edSubject->text() == FollowedName) {
        FollowedName = SelectedTable();
        edSubject->setText(FollowedName);
    }
    RefreshPreview();
}

void TDescribeDialog::SubjectEdited() {
    RefreshPreview();
}

void TDescribeDialog::RefreshPreview() {
    HavePlan = false;
    grPreview->setRowCount(0);
    const QString table = SelectedTable();
    if (table.isEmpty()) {
        lbInfo->setText(tr("Изберете таблица."));
        btOk->setEnabled(false);
        return;
    }
    if (edSubject->text().trimmed().isEmpty()) {
        lbInfo->setText(tr("Въведете име на справката."));
        btOk->setEnabled(false);
        return;
    }
    try {
        Planned = Describer->Plan(table, edSubject->text());
        HavePlan = true;
    } catch (const Exception& e) {
        lbInfo->setText(e.message());
        btOk->setEnabled(false);
        return;
    }
    QStringList notes;
    if (Planned.CreateRelations && Planned.CreateAuthchar)
        notes << tr("Ще бъдат създадени таблиците Relations и Authchar.");
    else if (Planned.CreateRelations)
        notes << tr("Ще бъде създадена таблицата Relations.");
    else if (Planned.CreateAuthchar)
        notes << tr("Ще бъде създадена таблицата Authchar.");
    if (!Planned.MissingMarks.isEmpty()) {
        QStringList codes;
        for (int code : Planned.MissingMarks)
            codes << QString::number(code);
        notes << tr("Знаци в Authchar за кодове ") + codes.join(QStringLiteral(", ")) +
                     QLatin1Char('.');
    }
    notes << tr("Редове в Relations: %1.").arg(Planned.Rows.size());
    lbInfo->setText(notes.join(QLatin1Char(' ')));
    grPreview->setRowCount(int(Planned.Rows.size()));
    for (int row = 0; row < Planned.Rows.size(); ++row) {
        const QStringList values = Planned.Rows[row].Values();
        for (int column = 0; column < values.size(); ++column)
            grPreview->setItem(row, column, new QTableWidgetItem(values[column]));
    }
    grPreview->resizeColumnsToContents();
    btOk->setEnabled(true);
}

void TDescribeDialog::btOkClick() {
    if (!HavePlan)
        return;
    try {
        Written = Describer->Write(Planned);
    } catch (const Exception& e) {
        ShowMessageBox(e.message(), tr("Грешка"), MB_OK | MB_ICONSTOP);
        RefreshPreview();
        return;
    }
    accept();
}
