#include "ExportSetupUnit.h"

#include "ExportOptions.h"
#include "KivUtilUnit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValidator>

namespace {

const QString TabItem = QStringLiteral("<Tab>");
QString NoneItem() {
    return QCoreApplication::translate("TExportSetupForm", "<Няма>");
}

// The delimiter box takes one typed character, yet shows its longer items
// ("<Tab>", "<Няма>") and lets the user delete from them.
class DelimiterValidator : public QValidator {
public:
    DelimiterValidator(QStringList items, QObject* parent)
        : QValidator(parent), Items(std::move(items)) {}

    State validate(QString& input, int&) const override {
        if (input.size() <= 1 || Items.contains(input))
            return Acceptable;
        for (const QString& item : Items) {
            if (IsLeftOver(input, item))
                return Intermediate;
        }
        return Invalid;
    }

private:
    // True when text is what remains of item after deleting characters.
    static bool IsLeftOver(const QString& text, const QString& item) {
        qsizetype j = 0;
        for (qsizetype i = 0; i < item.size() && j < text.size(); ++i) {
            if (item[i] == text[j])
                ++j;
        }
        return j == text.size();
    }

    QStringList Items;
};

QLineEdit* NewEdit(const char* name, const QString& hint, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setToolTip(hint);
    return edit;
}

QLabel* NewLabel(const char* name, const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setBuddy(buddy);
    return label;
}

QCheckBox* NewCheckBox(const char* name, const QString& caption, bool checked, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
}

} // namespace

TExportSetupForm::TExportSetupForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ExportSetupForm"));
    setWindowTitle(tr("Настройка Експорт"));
    QFont tahoma = font();
    tahoma.setFamilies({QStringLiteral("Tahoma")});
    setFont(tahoma);
    resize(544, 357);
    setMinimumSize(544, 320);

    gbTextExport = new QGroupBox(tr(" Текст Експорт "), this);
    gbTextExport->setObjectName(QStringLiteral("gbTextExport"));

    gbInclude = new QGroupBox(tr(" Включва "), gbTextExport);
    gbInclude->setObjectName(QStringLiteral("gbInclude"));
    cbExportHeader = NewCheckBox("cbExportHeader", tr("Глава и дъно"), true, gbInclude);
    cbExportClmNames = NewCheckBox("cbExportClmNames", tr("Имена колони"), true, gbInclude);
    cbExportPageBreaks =
        NewCheckBox("cbExportPageBreaks", tr("Разделени страници"), false, gbInclude);
    auto* includeLayout = new QVBoxLayout(gbInclude);
    includeLayout->addWidget(cbExportHeader);
    includeLayout->addWidget(cbExportClmNames);
    includeLayout->addWidget(cbExportPageBreaks);
    includeLayout->addStretch();

    rgTxtCyrSet = new QGroupBox(tr(" Кирилица "), gbTextExport);
    rgTxtCyrSet->setObjectName(QStringLiteral("rgTxtCyrSet"));
    rgTxtCyrSetItems = new QButtonGroup(rgTxtCyrSet);
    auto* cyrLayout = new QVBoxLayout(rgTxtCyrSet);
    const QString cyrItems[] = {QStringLiteral("Windows"), tr("ДОС (БГ)"), tr("Руска"),
                                QStringLiteral("UTF-8")};
    for (int i = 0; i < 4; ++i) {
        auto* item = new QRadioButton(cyrItems[i], rgTxtCyrSet);
        item->setObjectName(QStringLiteral("rgTxtCyrSetItem%1").arg(i));
        rgTxtCyrSetItems->addButton(item, i);
        cyrLayout->addWidget(item);
    }
    cyrLayout->addStretch();
    SetTxtCyrSetIndex(0);

    gbColumns = new QGroupBox(tr(" Колони "), gbTextExport);
    gbColumns->setObjectName(QStringLiteral("gbColumns"));
    cbTxtClmDelimiter = new QComboBox(gbColumns);
    cbTxtClmDelimiter->setObjectName(QStringLiteral("cbTxtClmDelimiter"));
    cbTxtClmDelimiter->setEditable(true);
    cbTxtClmDelimiter->setInsertPolicy(QComboBox::NoInsert);
    const QStringList delimiters = {TabItem,
                                    NoneItem(),
                                    QStringLiteral("|"),
                                    QStringLiteral(";"),
                                    QStringLiteral(","),
                                    QStringLiteral(":")};
    cbTxtClmDelimiter->addItems(delimiters);
    cbTxtClmDelimiter->setValidator(new DelimiterValidator(delimiters, cbTxtClmDelimiter));
    cbTxtClmDelimiter->setCurrentIndex(0);
    lbTxtClmDelimiter =
        NewLabel("lbTxtClmDelimiter", tr("Разделител"), cbTxtClmDelimiter, gbColumns);
    cbFixedClmWidth = NewCheckBox("cbFixedClmWidth", tr("Фиксиран размер"), false, gbColumns);
    auto* columnsLayout = new QVBoxLayout(gbColumns);
    columnsLayout->addWidget(lbTxtClmDelimiter);
    columnsLayout->addWidget(cbTxtClmDelimiter);
    columnsLayout->addWidget(cbFixedClmWidth);
    columnsLayout->addStretch();

    edDftTarget = NewEdit("edDftTarget", QString(), gbTextExport);
    edBeforePrint =
        NewEdit("edBeforePrint", tr("Текст, изпращан преди данните (ПАСКАЛ <String> формат)"),
                gbTextExport);
    edAfterPrint = NewEdit(
        "edAfterPrint", tr("Текст, изпращан след данните (ПАСКАЛ <String> формат)"), gbTextExport);
    edOpenWith =
        NewEdit("edOpenWith", tr("Име на програма, с която да бъде отворен експортираният файл"),
                gbTextExport);
    edCopies = new QSpinBox(gbTextExport);
    edCopies->setObjectName(QStringLiteral("edCopies"));
    edCopies->setRange(1, 9999);
    edCopies->setToolTip(tr("Брой копия при печат като текст"));
    lbDftTarget = NewLabel("lbDftTarget", tr("Във файл"), edDftTarget, gbTextExport);
    lbBeforePrint = NewLabel("lbBeforePrint", tr("Предпечат"), edBeforePrint, gbTextExport);
    lbAfterPrint = NewLabel("lbAfterPrint", tr("Следпечат"), edAfterPrint, gbTextExport);
    lbOpenWith = NewLabel("lbOpenWith", tr("Отвори с"), edOpenWith, gbTextExport);
    lbCopies = NewLabel("lbCopies", tr("Копия"), edCopies, gbTextExport);

    auto* groupsLayout = new QHBoxLayout;
    groupsLayout->addWidget(gbInclude);
    groupsLayout->addWidget(rgTxtCyrSet);
    groupsLayout->addWidget(gbColumns);
    auto* editsLayout = new QGridLayout;
    const std::pair<QLabel*, QWidget*> rows[] = {{lbDftTarget, edDftTarget},
                                                 {lbBeforePrint, edBeforePrint},
                                                 {lbAfterPrint, edAfterPrint},
                                                 {lbOpenWith, edOpenWith},
                                                 {lbCopies, edCopies}};
    int row = 0;
    for (const auto& [label, edit] : rows) {
        editsLayout->addWidget(label, row, 0);
        editsLayout->addWidget(edit, row, 1, edit == edCopies ? Qt::AlignLeft : Qt::Alignment());
        ++row;
    }
    auto* exportLayout = new QVBoxLayout(gbTextExport);
    exportLayout->addLayout(groupsLayout);
    exportLayout->addLayout(editsLayout);
    exportLayout->addStretch();

    btOk = new QPushButton(tr("Добре"), this);
    btOk->setObjectName(QStringLiteral("btOk"));
    btOk->setDefault(true);
    btCancel = new QPushButton(tr("Отказ"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    connect(btOk, &QPushButton::clicked, this, &TExportSetupForm::accept);
    connect(btCancel, &QPushButton::clicked, this, &TExportSetupForm::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);

    auto* mainLayout = new QVBoxLayout(this);
    mainLayout->addWidget(gbTextExport, 1);
    mainLayout->addLayout(buttons);
}

int TExportSetupForm::TxtCyrSetIndex() const {
    return rgTxtCyrSetItems->checkedId();
}

void TExportSetupForm::SetTxtCyrSetIndex(int index) {
    if (QAbstractButton* item = rgTxtCyrSetItems->button(index))
        item->setChecked(true);
}

void TExportSetupForm::FormShow() {
    const TExportTxtOpts& o = ExportTxtOpts;
    QString delimiter = o.TxtClmDelimiter;
    if (delimiter.isEmpty())
        delimiter = NoneItem();
    else if (delimiter == QLatin1String("\t"))
        delimiter = TabItem;
    const int item = cbTxtClmDelimiter->findText(delimiter);
    if (item >= 0)
        cbTxtClmDelimiter->setCurrentIndex(item);
    else
        cbTxtClmDelimiter->setEditText(delimiter);

    cbFixedClmWidth->setChecked(o.FixedClmWidth);
    cbExportHeader->setChecked(o.ExportHeader);
    cbExportClmNames->setChecked(o.ExportClmNames);
    cbExportPageBreaks->setChecked(o.ExportPageBreaks);
    SetTxtCyrSetIndex(o.TxtCyrSet);

    edDftTarget->setText(o.DftTarget);
    edBeforePrint->setText(o.BeforePrint);
    edAfterPrint->setText(o.AfterPrint);
    edOpenWith->setText(o.OpenWith);
    edCopies->setValue(o.Copies);
}

bool TExportSetupForm::FormCloseQuery() {
    if (ModalResult != QDialog::Accepted)
        return true; // Cancel and the close box keep the settings as they were
    TExportTxtOpts& o = ExportTxtOpts;

    QString delimiter = cbTxtClmDelimiter->currentText().toUpper();
    if (delimiter == QLatin1String("<TAB>"))
        delimiter = QStringLiteral("\t");
    else if (delimiter == QStringLiteral("<НЯМА>") || delimiter == NoneItem().toUpper())
        delimiter.clear();
    o.TxtClmDelimiter = delimiter.left(1);

    o.FixedClmWidth = cbFixedClmWidth->isChecked();
    o.ExportHeader = cbExportHeader->isChecked();
    o.ExportClmNames = cbExportClmNames->isChecked();
    o.ExportPageBreaks = cbExportPageBreaks->isChecked();
    o.TxtCyrSet = static_cast<std::uint8_t>(std::max(TxtCyrSetIndex(), 0));
    o.DftTarget = edDftTarget->text();
    o.BeforePrint = edBeforePrint->text();
    o.AfterPrint = edAfterPrint->text();
    o.OpenWith = edOpenWith->text();
    o.Copies = edCopies->value();

    // The texts stay stored even when invalid, so the user finds them again.
    bool canClose = true;
    try {
        ParseStringLiteral(o.BeforePrint);
        ParseStringLiteral(o.AfterPrint);
    } catch (const Exception& e) {
        ShowMessageBox(e.message(), tr("Грешка!"), MB_ICONSTOP | MB_OK);
        ModalResult = 0;
        canClose = false;
    }
    CyrTailShift = CyrTailShiftFor(o.TxtCyrSet);
    SaveExportSettings();
    return canClose;
}

void TExportSetupForm::accept() {
    ModalResult = QDialog::Accepted;
    if (FormCloseQuery())
        QDialog::accept();
}

void TExportSetupForm::reject() {
    ModalResult = QDialog::Rejected;
    if (FormCloseQuery())
        QDialog::reject();
}

void TExportSetupForm::showEvent(QShowEvent* event) {
    ModalResult = 0;
    FormShow();
    QDialog::showEvent(event);
}
