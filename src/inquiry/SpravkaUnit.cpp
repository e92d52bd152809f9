#include "SpravkaUnit.h"

#include "ChartForm.h"
#include "ChartRenderer.h"
#include "ColumnSum.h"
#include "DBGrid.h"
#include "DBLookupListBox.h"
#include "DbAccess.h"
#include "Exception.h"
#include "ExportSetupUnit.h"
#include "ExportText.h"
#include "MessageBox.h"
#include "RpPrinter.h"
#include "RpReport.h"
#include "RpSpravkaUnit.h"
#include "SavedInquiry.h"
#include "SymbolFont.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <climits>

namespace {

constexpr int FilterPanelHeight = 248;
constexpr int FormMinWidth = 758;
constexpr int FormMinHeight = 380;
constexpr int FoldedMinHeight = 140;

// Draws the mark column: the stored Symbol-font characters as the Unicode
// characters that font shows, centred, in the grid's ordinary font.
class TSymbolMarkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale&) const override {
        return SymbolTextToUnicode(value.toString());
    }
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->displayAlignment = Qt::AlignCenter;
    }
};

QLabel* MakeLabel(const char* name, const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

QListWidget* MakeList(const char* name, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

// Shows a list of texts, keeping the selected row where it can.
void ShowList(QListWidget* widget, const QStringList& items) {
    int row = widget->currentRow();
    bool same = widget->count() == items.size();
    for (int i = 0; same && i < items.size(); ++i)
        same = widget->item(i)->text() == items[i];
    if (same)
        return;
    widget->clear();
    widget->addItems(items);
    if (row >= widget->count())
        row = widget->count() - 1;
    if (row >= 0)
        widget->setCurrentRow(row);
}

bool IsEnterKey(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

InquiryFileDialogHandler& FileDialogHandler() {
    static InquiryFileDialogHandler handler;
    return handler;
}

// Asks for the base file of a saved inquiry, in the user's SaveReps. A set
// chosen for loading that is not there is looked for by its name in the
// shared folder beside the program.
QString AskInquiryFile(QWidget* parent, bool saving) {
    const QString folder = SavedInquiryFolder();
    QString chosen;
    if (const InquiryFileDialogHandler& handler = FileDialogHandler())
        chosen = handler(parent, saving, SavedInquiryFilter(), folder);
    else
        chosen = WidgetInquiryFileDialog(parent, saving, SavedInquiryFilter(), folder);
    if (!saving && !chosen.isEmpty() && !QFileInfo::exists(chosen + QStringLiteral(".SEL.DRN")) &&
        QFileInfo(chosen).absolutePath() == QFileInfo(folder).absoluteFilePath()) {
        const QString found = FindSavedInquiry(chosen);
        if (!found.isEmpty())
            return found;
    }
    return chosen;
}

KeyboardModifiersQuery& ModifiersQuery() {
    static KeyboardModifiersQuery query;
    return query;
}

// Returns a qrCol to the row it stood on when the keeper was made.
class TCatalogueRow {
public:
    explicit TCatalogueRow(TQuery* query)
        : Query(query), Mark(query->Active() ? query->GetBookmark() : TBookmark()) {}
    ~TCatalogueRow() {
        if (Mark.IsValid() && Query->Active() && Query->BookmarkValid(Mark))
            Query->GotoBookmark(Mark);
    }
    TCatalogueRow(const TCatalogueRow&) = delete;
    TCatalogueRow& operator=(const TCatalogueRow&) = delete;

private:
    TQuery* Query;
    TBookmark Mark;
};

} // namespace

InquiryFileDialogHandler SetInquiryFileDialogHandler(InquiryFileDialogHandler handler) {
    InquiryFileDialogHandler previous = std::move(FileDialogHandler());
    FileDialogHandler() = std::move(handler);
    return previous;
}

QString WidgetInquiryFileDialog(QWidget* parent, bool saving, const QString& filter,
                                const QString& folder) {
    QFileDialog dialog(parent,
                       saving ? QCoreApplication::translate("TSpravkaForm", "Запис")
                              : QCoreApplication::translate("TSpravkaForm", "Зарежда"),
                       folder, QtFileFilter(filter));
    dialog.setObjectName(saving ? QStringLiteral("SaveDialog") : QStringLiteral("OpenDialog"));
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(SavedInquiryExtension.mid(1));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // The shared sets beside the program are one click away.
    if (QFileInfo(SharedSavedInquiryFolder()).isDir())
        dialog.setSidebarUrls(dialog.sidebarUrls()
                              << QUrl::fromLocalFile(folder)
                              << QUrl::fromLocalFile(SharedSavedInquiryFolder()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

KeyboardModifiersQuery SetKeyboardModifiersQuery(KeyboardModifiersQuery query) {
    KeyboardModifiersQuery previous = std::move(ModifiersQuery());
    ModifiersQuery() = std::move(query);
    return previous;
}

Qt::KeyboardModifiers HeldKeyboardModifiers() {
    if (const KeyboardModifiersQuery& query = ModifiersQuery())
        return query();
    return QGuiApplication::queryKeyboardModifiers();
}

// ---------------------------------------------------------------------------
// Long work

int LongWorkDelayMs = 400;

namespace {

TLongWork* CurrentWork = nullptr;

// How often the windows are repainted while work runs (milliseconds).
constexpr int PumpIntervalMs = 30;

} // namespace

TLongWork::TLongWork(QWidget* window, const QString& text, std::function<void()> onCancel)
    : Outer(CurrentWork), Window(window), Text(text), OnCancel(std::move(onCancel)) {
    CurrentWork = this;
    if (Outer)
        return;
    Clock.start();
    PumpClock.start();
    PreviousWatcher = SetQueryWatcher([this] { return Step(); });
    PreviousProgress =
        SetExportProgressHandler([this](qint64 done, qint64 total) { return Step(done, total); });
    // The export asks for its file in the middle of the work: the busy
    // dialog keeps out of the way meanwhile, and after a Cancel nobody asks.
    PreviousFileDialog =
        SetSaveFileDialogHandler([this](const QString& title, const QString& filter,
                                        const QString& directory, const QString& suggested) {
            if (CancelFlag)
                return QString();
            Pause();
            const QString name = PreviousFileDialog
                                     ? PreviousFileDialog(title, filter, directory, suggested)
                                     : WidgetSaveFileDialog(title, filter, directory, suggested);
            Resume();
            return name;
        });
    // Work that keeps the windows painted itself (a report run) brings the
    // dialog up through the timer; other work brings it up in Step.
    DialogTimer = new QTimer(this);
    DialogTimer->setSingleShot(true);
    connect(DialogTimer, &QTimer::timeout, this, &TLongWork::ShowDialog);
    DialogTimer->start(LongWorkDelayMs);
}

TLongWork::~TLongWork() {
    CurrentWork = Outer;
    if (Outer)
        return;
    SetQueryWatcher(std::move(PreviousWatcher));
    SetExportProgressHandler(std::move(PreviousProgress));
    SetSaveFileDialogHandler(std::move(PreviousFileDialog));
    delete Busy.data();
}

TLongWork* TLongWork::Current() {
    return CurrentWork;
}

bool TLongWork::Cancelled() const {
    return Outer ? Outer->Cancelled() : CancelFlag;
}

void TLongWork::Cancel() {
    if (Outer) {
        Outer->Cancel();
        return;
    }
    if (CancelFlag)
        return;
    CancelFlag = true;
    if (OnCancel)
        OnCancel();
}

QProgressDialog* TLongWork::Dialog() const {
    return Outer ? Outer->Dialog() : Busy.data();
}

bool TLongWork::Step(qint64 done, qint64 total) {
    if (Outer)
        return Outer->Step(done, total);
    if (CancelFlag || Paused)
        return CancelFlag;
    if (!Busy && Clock.elapsed() >= LongWorkDelayMs)
        ShowDialog();
    if (Busy && PumpClock.elapsed() >= PumpIntervalMs) {
        if (total > 0) {
            Busy->setMaximum(int(std::min<qint64>(total, INT_MAX)));
            Busy->setLabelText(Text + QStringLiteral("\n") + QString::number(done) +
                               QCoreApplication::translate("TSpravkaForm", " от ") +
                               QString::number(total) +
                               QCoreApplication::translate("TSpravkaForm", " реда"));
            Busy->setValue(int(std::min<qint64>(done, INT_MAX)));
        }
        QCoreApplication::processEvents();
        PumpClock.restart();
    }
    return CancelFlag;
}

void TLongWork::ShowDialog() {
    if (Busy || Paused || CancelFlag)
        return;
    // A message or a file dialog of the work is up: the busy dialog waits.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != Window) {
        DialogTimer->start(PumpIntervalMs);
        return;
    }
    auto* dialog = new QProgressDialog(Text, QCoreApplication::translate("TSpravkaForm", "Отказ"),
                                       0, 0, Window);
    dialog->setObjectName(QStringLiteral("LongWorkDialog"));
    dialog->setWindowTitle(Window ? Window->windowTitle() : QStringLiteral("SQL Vexal"));
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    dialog->setMinimumWidth(dialog->fontMetrics().horizontalAdvance(u'x') * 40);
    connect(dialog, &QProgressDialog::canceled, this, &TLongWork::Cancel);
    Busy = dialog;
    dialog->show();
    QCoreApplication::processEvents();
    PumpClock.restart();
}

void TLongWork::Pause() {
    Paused = true;
    DialogTimer->stop();
    if (Busy)
        Busy->hide();
}

void TLongWork::Resume() {
    Paused = false;
    Clock.restart();
    if (Busy)
        Busy->show();
    else
        DialogTimer->start(LongWorkDelayMs);
}

// ---------------------------------------------------------------------------

TFilterComboBox::TFilterComboBox(QWidget* parent) : QComboBox(parent) {}

void TFilterComboBox::showPopup() {
    Q_EMIT DropDown();
    QComboBox::showPopup();
}

// ---------------------------------------------------------------------------

TSpravkaForm::TSpravkaForm(QWidget* owner) : QWidget(owner, Qt::Window) {
    FormCreate();
}

TSpravkaForm::TSpravkaForm(TChildWindow) : QWidget(nullptr) {
    FormCreate();
}

TSpravkaForm::~TSpravkaForm() {
    qApp->removeEventFilter(this);
    // The grids let go of the inquiry's data before it goes, and the inquiry
    // goes before the report form that owns its result.
    DataGrid->SetDataSource(nullptr);
    DBGrid1->SetDataSource(nullptr);
    ReportListBox->SetDataSource(nullptr);
    delete Inquiry;
    Inquiry = nullptr;
}

void TSpravkaForm::FormCreate() {
    setObjectName(QStringLiteral("SpravkaForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Справка"));
    setMinimumSize(FormMinWidth, FormMinHeight);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    setFont(tahoma);

    ReportForm = new TRpSpravkaForm(this);
    Inquiry = new TInquiry(this, ReportForm, this);
    dsTableName = Inquiry->dsTableName;
    dsCol = Inquiry->dsCol;
    dsData = Inquiry->dsData;
    BuildComponents();
    // Key preview: the window sees every key of its controls first.
    qApp->installEventFilter(this);
}

void TSpravkaForm::BuildComponents() {
    auto* formLayout = new QVBoxLayout(this);
    formLayout->setContentsMargins(2, 2, 2, 2);
    formLayout->setSpacing(2);

    // Upper panel: title and output buttons.
    Panel0 = new QFrame(this);
    Panel0->setObjectName(QStringLiteral("Panel0"));
    Panel0->setFrameShape(QFrame::StyledPanel);
    auto* topLayout = new QHBoxLayout(Panel0);
    topLayout->setContentsMargins(4, 2, 4, 2);
    Label5 = MakeLabel("Label5", tr("Загла&вие"), Panel0);
    edTitle = new QLineEdit(Panel0);
    edTitle->setObjectName(QStringLiteral("edTitle"));
    btPrintPreview = MakeButton("btPrintPreview", tr("Прегле&д"), Panel0);
    btPrint = MakeButton("btPrint", tr("&Печат"), Panel0);
    btExport = MakeButton("btExport", tr("Експор&т"), Panel0);
    topLayout->addWidget(Label5);
    topLayout->addWidget(edTitle, 1);
    topLayout->addWidget(btPrintPreview);
    topLayout->addWidget(btPrint);
    topLayout->addWidget(btExport);
    formLayout->addWidget(Panel0);

    // Condition panel.
    FilterPanel = new QFrame(this);
    FilterPanel->setObjectName(QStringLiteral("FilterPanel"));
    FilterPanel->setFrameShape(QFrame::StyledPanel);
    FilterPanel->setFixedHeight(FilterPanelHeight);
    FilterPanel->setMaximumHeight(FilterPanelHeight);
    auto* panelLayout = new QHBoxLayout(FilterPanel);
    panelLayout->setContentsMargins(4, 2, 4, 4);
    panelLayout->setSpacing(4);

    auto* subjectColumn = new QVBoxLayout;
    subjectColumn->addWidget(MakeLabel("Label1", tr("Справ&ка"), FilterPanel));
    ReportListBox = new TDBLookupListBox(FilterPanel);
    ReportListBox->setObjectName(QStringLiteral("ReportListBox"));
    ReportListBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ReportListBox->setTextElideMode(Qt::ElideRight);
    TGridColumn listColumn;
    listColumn.FieldName = QStringLiteral("BGTableName");
    listColumn.Title = tr("Справка", "subject list");
    dsTableName->SetColumns({listColumn});
    ReportListBox->SetDataSource(dsTableName);
    subjectColumn->addWidget(ReportListBox, 1);
    btAddSpravka = MakeButton("btAddSpravka", tr("При&бавя"), FilterPanel);
    subjectColumn->addWidget(btAddSpravka);
    panelLayout->addLayout(subjectColumn, 3);

    auto* columnColumn = new QVBoxLayout;
    columnColumn->addWidget(MakeLabel("Label2", tr("Кол&она"), FilterPanel));
    DBGrid1 = new TDBGrid(FilterPanel);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->SetDataSource(dsCol);
    TGridColumn markColumn;
    markColumn.FieldName = QStringLiteral("Text");
    markColumn.Title = QString();
    markColumn.Width = 19;
    markColumn.Alignment = TAlignment::Center;
    TGridColumn nameColumn;
    nameColumn.FieldName = QStringLiteral("BGColName");
    nameColumn.Title = tr("Колона");
    nameColumn.Width = 149;
    dsCol->SetColumns({markColumn, nameColumn});
    DBGrid1->setItemDelegateForColumn(0, new TSymbolMarkDelegate(DBGrid1));
    DBGrid1->horizontalHeader()->hide();
    DBGrid1->verticalHeader()->hide();
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->setMinimumWidth(19 + 149 + 24);
    columnColumn->addWidget(DBGrid1, 1);
    panelLayout->addLayout(columnColumn, 4);

    auto* controlColumn = new QVBoxLayout;
    controlColumn->setSpacing(2);
    controlColumn->addWidget(MakeLabel("Label3", tr("Огран&ичение"), FilterPanel));
    cbSign = new QComboBox(FilterPanel);
    cbSign->setObjectName(QStringLiteral("cbSign"));
    cbSign->addItems(InquiryOperators());
    cbSign->setCurrentIndex(0);
    controlColumn->addWidget(cbSign);
    controlColumn->addWidget(MakeLabel("Label4", tr("Сто&йност"), FilterPanel));
    cbFilter = new TFilterComboBox(FilterPanel);
    cbFilter->setObjectName(QStringLiteral("cbFilter"));
    cbFilter->setEditable(true);
    cbFilter->setInsertPolicy(QComboBox::NoInsert);
    cbFilter->setMaxVisibleItems(16);
    cbFilter->setMinimumWidth(130);
    controlColumn->addWidget(cbFilter);
    btAddFilter = MakeButton("btAddFilter", tr("Прибавя &условие"), FilterPanel);
    controlColumn->addWidget(btAddFilter);
    btGroup = MakeButton("btGroup", tr("&Групиране"), FilterPanel);
    controlColumn->addWidget(btGroup);
    auto* sortRow = new QHBoxLayout;
    btSortAsc = MakeButton("btSortAsc", tr("Подр&едба"), FilterPanel);
    btSortAsc->setToolTip(tr("Възходяща подредба (->)"));
    btSortDesc = MakeButton("btSortDesc", tr("Подредб&а"), FilterPanel);
    btSortDesc->setToolTip(tr("Низходяща подредба (<-)"));
    // Both buttons carry the same caption; the arrows tell the directions apart.
    btSortAsc->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    btSortDesc->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    sortRow->addWidget(btSortAsc);
    sortRow->addWidget(btSortDesc);
    controlColumn->addLayout(sortRow);
    btSpravka = MakeButton("btSpravka", tr("&Справка"), FilterPanel);
    controlColumn->addWidget(btSpravka);
    btClear = MakeButton("btClear", tr("Из&чиства"), FilterPanel);
    controlColumn->addWidget(btClear);
    auto* fileRow = new QHBoxLayout;
    BitBtn6 = MakeButton("BitBtn6", tr("&Запис"), FilterPanel);
    BitBtn7 = MakeButton("BitBtn7", tr("За&режда"), FilterPanel);
    fileRow->addWidget(BitBtn6);
    fileRow->addWidget(BitBtn7);
    controlColumn->addLayout(fileRow);
    cbRowNumbers = new QCheckBox(tr("&Номерация на редовете"), FilterPanel);
    cbRowNumbers->setObjectName(QStringLiteral("cbRowNumbers"));
    cbRowNumbers->setToolTip(tr("Поставя пореден номер на редовете в справката"));
    controlColumn->addWidget(cbRowNumbers);
    cbChartInReport = new QCheckBox(tr("Графика в справката"), FilterPanel);
    cbChartInReport->setObjectName(QStringLiteral("cbChartInReport"));
    cbChartInReport->setToolTip(
        tr("Добавя графика на резултата като последна страница на справката"));
    controlColumn->addWidget(cbChartInReport);
    controlColumn->addStretch(1);
    panelLayout->addLayout(controlColumn, 0);

    auto* tablesColumn = new QVBoxLayout;
    tablesColumn->addWidget(MakeLabel("Label6", tr("Справка", "subject list"), FilterPanel));
    SelectedTablesBG = MakeList("SelectedTablesBG", FilterPanel);
    tablesColumn->addWidget(SelectedTablesBG, 1);
    tablesColumn->addWidget(MakeLabel("Label7", tr("Услови&я"), FilterPanel));
    RelationsBG = MakeList("RelationsBG", FilterPanel);
    tablesColumn->addWidget(RelationsBG, 2);
    panelLayout->addLayout(tablesColumn, 4);

    auto* orderColumn = new QVBoxLayout;
    orderColumn->addWidget(MakeLabel("Label8", tr("Групиране"), FilterPanel));
    GroupBoxBG = MakeList("GroupBoxBG", FilterPanel);
    orderColumn->addWidget(GroupBoxBG, 1);
    orderColumn->addWidget(MakeLabel("Label9", tr("Подредба"), FilterPanel));
    OrderBoxBG = MakeList("OrderBoxBG", FilterPanel);
    orderColumn->addWidget(OrderBoxBG, 1);
    panelLayout->addLayout(orderColumn, 3);
    formLayout->addWidget(FilterPanel);

    // Result grid.
    DataGrid = new TDBGrid(this);
    DataGrid->setObjectName(QStringLiteral("DataGrid"));
    DataGrid->SetDataSource(dsData);
    DataGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    // The column widths the data source reports carry no height; the title
    // row keeps the height of one line of text.
    DataGrid->horizontalHeader()->setMinimumHeight(DataGrid->fontMetrics().height() + 6);
    formLayout->addWidget(DataGrid, 1);

    GridMenu = new QMenu(this);
    GridMenu->setObjectName(QStringLiteral("GridMenu"));
    auto addItem = [this](const char* name, const QString& caption, const QKeySequence& keys) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QLatin1String(name));
        if (!keys.isEmpty()) {
            action->setShortcut(keys);
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            addAction(action); // the shortcut works anywhere in the window
        }
        GridMenu->addAction(action);
        return action;
    };
    mnFilter = addItem("mnFilter", tr("&Филтър"), QKeySequence(Qt::Key_F3));
    mnShowColSum = addItem("mnShowColSum", tr("&Сбор колона"), QKeySequence());
    mnPrintPreview = addItem("mnPrintPreview", tr("Пре&глед пред печат"),
                             QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_P));
    mnPrint = addItem("mnPrint", tr("&Печат"), QKeySequence(Qt::CTRL | Qt::Key_P));
    mnExport = addItem("mnExport", tr("&Експорт във файл"), QKeySequence());
    // Copy belongs to the grid: elsewhere in the window Ctrl+C copies the
    // text of the edit that has the focus.
    mnCopy = new QAction(tr("&Копира"), this);
    mnCopy->setObjectName(QStringLiteral("mnCopy"));
    mnCopy->setShortcut(QKeySequence::Copy);
    mnCopy->setShortcutContext(Qt::WidgetShortcut);
    DataGrid->addAction(mnCopy);
    GridMenu->addAction(mnCopy);
    mnChart = addItem("mnChart", tr("Гр&афика"), QKeySequence(Qt::CTRL | Qt::Key_G));
    GridMenu->setDefaultAction(mnFilter);

    // Alt and the underlined letter of a caption reaches the control it names.
    const std::pair<const char*, QWidget*> buddies[] = {
        {"Label5", edTitle}, {"Label1", ReportListBox}, {"Label2", DBGrid1},
        {"Label3", cbSign},  {"Label4", cbFilter},      {"Label7", RelationsBG}};
    for (const auto& [name, buddy] : buddies)
        if (auto* label = findChild<QLabel*>(QLatin1String(name)))
            label->setBuddy(buddy);

    // Wiring.
    connect(dsTableName, &QAbstractItemModel::modelReset, this, &TSpravkaForm::FitSubjectList);
    connect(ReportListBox, &TDBLookupListBox::Clicked, this, &TSpravkaForm::ReportListBoxClick);
    connect(ReportListBox, &TDBLookupListBox::Activated, this, &TSpravkaForm::btAddSpravkaClick);
    connect(btAddSpravka, &QPushButton::clicked, this, &TSpravkaForm::btAddSpravkaClick);
    connect(DBGrid1, &TDBGrid::CellClicked, this,
            [this](int, int column) { DBGrid1CellClick(column); });
    connect(btAddFilter, &QPushButton::clicked, this, &TSpravkaForm::btAddFilterClick);
    connect(btGroup, &QPushButton::clicked, this, &TSpravkaForm::btGroupClick);
    connect(btSortAsc, &QPushButton::clicked, this, [this] { btSortClick(btSortAsc); });
    connect(btSortDesc, &QPushButton::clicked, this, [this] { btSortClick(btSortDesc); });
    connect(btSpravka, &QPushButton::clicked, this, [this] { btSpravkaClick(btSpravka); });
    connect(btClear, &QPushButton::clicked, this, &TSpravkaForm::btClearClick);
    connect(BitBtn6, &QPushButton::clicked, this, &TSpravkaForm::BitBtn6Click);
    connect(BitBtn7, &QPushButton::clicked, this, &TSpravkaForm::BitBtn7Click);
    connect(btPrintPreview, &QPushButton::clicked, this, &TSpravkaForm::btPrintPreviewClick);
    connect(btPrint, &QPushButton::clicked, this, &TSpravkaForm::btPrintClick);
    connect(btExport, &QPushButton::clicked, this, &TSpravkaForm::btExportClick);
    connect(cbFilter, &TFilterComboBox::DropDown, this, &TSpravkaForm::cbFilterDropDown);
    connect(RelationsBG, &QListWidget::itemDoubleClicked, this, &TSpravkaForm::RelationsBGDblClick);
    connect(GroupBoxBG, &QListWidget::itemDoubleClicked, this, &TSpravkaForm::GroupBoxBGDblClick);
    connect(OrderBoxBG, &QListWidget::itemDoubleClicked, this, &TSpravkaForm::OrderBoxBGDblClick);
    connect(DataGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { GridMenu->popup(DataGrid->viewport()->mapToGlobal(pos)); });
    connect(mnFilter, &QAction::triggered, this, &TSpravkaForm::ToggleFilterPanel);
    connect(mnShowColSum, &QAction::triggered, this, &TSpravkaForm::mnShowColSumClick);
    connect(mnPrintPreview, &QAction::triggered, this, &TSpravkaForm::btPrintPreviewClick);
    connect(mnPrint, &QAction::triggered, this, &TSpravkaForm::btPrintClick);
    connect(mnExport, &QAction::triggered, this, &TSpravkaForm::btExportClick);
    connect(mnCopy, &QAction::triggered, this, &TSpravkaForm::mnCopyClick);
    connect(DataGrid, &TDBGrid::HeaderClicked, this, &TSpravkaForm::DataGridHeaderClick);
    connect(dsData, &QAbstractItemModel::modelReset, this, &TSpravkaForm::ShowOrderArrow);
    connect(mnChart, &QAction::triggered, this, &TSpravkaForm::mnChartClick);
    connect(cbChartInReport, &QCheckBox::toggled, this,
            [this](bool on) { Inquiry->ChartInReport = on; });
}

// ---------------------------------------------------------------------------
// Window life

void TSpravkaForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!Shown) {
        Shown = true;
        FormShow();
    }
}

void TSpravkaForm::closeEvent(QCloseEvent* event) {
    FormClose();
    QWidget::closeEvent(event);
    // A child window closes its frame with it.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
}

void TSpravkaForm::FormShow() {
    btClearClick();
    Inquiry->OpenSubjectList();
    ReportListBox->setFocus();
    if (!Inquiry->InitialSubject.isEmpty()) {
        SelectSubject(Inquiry->InitialSubject);
        RunInquiry();
    } else if (!Inquiry->SelectSubject(LastSubject)) {
        // No subject was added: the column grid shows the columns of the
        // subject the list highlights, as a click on it would.
        ReportListBoxClick();
    }
}

void TSpravkaForm::FitSubjectList() {
    // Wide enough for the longest subject name (up to about 32 characters;
    // longer names end in "..."), so the list needs no horizontal scrolling.
    const QFontMetrics metrics(ReportListBox->font());
    int widest = 0;
    for (int row = 0; row < dsTableName->rowCount(); ++row)
        widest = std::max(widest,
                          metrics.horizontalAdvance(dsTableName->index(row, 0).data().toString()));
    widest = std::min(widest, metrics.averageCharWidth() * 32);
    const int chrome = 2 * ReportListBox->frameWidth() +
                       ReportListBox->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                       metrics.averageCharWidth() * 2;
    ReportListBox->setMinimumWidth(std::max(metrics.averageCharWidth() * 16, widest + chrome));
}

void TSpravkaForm::FormClose() {
    Closing = true;
    Inquiry->qrDATA()->Close();
}

void TSpravkaForm::SelectSubject(const QString& subject) {
    Inquiry->SelectSubject(subject);
}

void TSpravkaForm::RunInquiry() {
    btSpravkaClick(btSpravka);
}

void TSpravkaForm::ShowInquiryWindow() {
    QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!frame)
        frame = this;
    if (frame->isMinimized())
        frame->showNormal();
    if (!FilterPanelShown())
        ToggleFilterPanel();
    FilterPanel->setFocus();
}

// ---------------------------------------------------------------------------
// Component events

void TSpravkaForm::ReportListBoxClick() {
    Inquiry->ReportListBoxClick();
}

void TSpravkaForm::btAddSpravkaClick() {
    Inquiry->btAddSpravkaClick();
}

void TSpravkaForm::DBGrid1CellClick(int column) {
    QString field;
    if (column >= 0 && column < dsCol->Columns().size())
        field = dsCol->Columns()[column].FieldName;
    Inquiry->DBGrid1CellClick(field);
}

void TSpravkaForm::btAddFilterClick() {
    Inquiry->btAddFilterClick();
}

void TSpravkaForm::btGroupClick() {
    Inquiry->btGroupClick();
}

void TSpravkaForm::btSortClick(QObject* sender) {
    Inquiry->btSortClick(sender == btSortAsc);
}

void TSpravkaForm::btSpravkaClick(QObject* sender) {
    // A cancelled run ends as a failed one, without a message: the result
    // grid is empty and the inquiry stays as composed, ready to run again.
    const TLongWork work(this, tr("Справката се изпълнява..."));
    Inquiry->btSpravkaClick(sender == btSpravka);
}

void TSpravkaForm::btClearClick() {
    Inquiry->btClearClick();
}

namespace {

// After a removal no entry of the list stays current: a held Delete key (or
// a second double click) must not go on to remove its neighbours.
void ClearCurrent(QListWidget* list) {
    list->setCurrentRow(-1);
    list->clearSelection();
}

} // namespace

void TSpravkaForm::RelationsBGDblClick() {
    Inquiry->RemoveRelation(RelationsBG->currentRow());
    ClearCurrent(RelationsBG);
}

void TSpravkaForm::GroupBoxBGDblClick() {
    Inquiry->RemoveGrouping(GroupBoxBG->currentRow());
    ClearCurrent(GroupBoxBG);
}

void TSpravkaForm::OrderBoxBGDblClick() {
    Inquiry->RemoveOrderingAt(OrderBoxBG->currentRow());
    ClearCurrent(OrderBoxBG);
}

void TSpravkaForm::cbFilterEnter() {
    Inquiry->cbFilterEnter();
}

void TSpravkaForm::cbFilterDropDown() {
    Inquiry->cbFilterDropDown();
}

// ---------------------------------------------------------------------------
// Output

void TSpravkaForm::btPrintPreviewClick() {
    RunPreviewSequence();
}

void TSpravkaForm::btPrintClick() {
    const TLongWork work(this, tr("Печат..."), [this] { StopReportRun(); });
    RunPrintSequence();
}

void TSpravkaForm::StopReportRun() {
    if (TRpPrinter* printer = ReportForm->RpSpravka->Printer())
        printer->RequestCancel();
}

void TSpravkaForm::btExportClick() {
    if (HeldKeyboardModifiers() & Qt::ControlModifier) {
        OpenExportSetup();
        return;
    }
    // A run started by the export may move the catalogue; the user's
    // column stays where it was.
    const TCatalogueRow keep(Inquiry->qrCol);
    // Cancel stops the totals run and the writer; the writer removes the
    // file it had begun.
    const TLongWork work(this, tr("Експорт във файл..."), [this] { StopReportRun(); });
    RunExportSequence();
}

void TSpravkaForm::RunPreviewSequence() {
    ReportForm->PreviewSequence(*this);
}

void TSpravkaForm::RunPrintSequence() {
    ReportForm->PrintSequence(*this);
}

void TSpravkaForm::RunExportSequence() {
    ReportForm->ExportSequence(*this);
}

void TSpravkaForm::OpenExportSetup() {
    TExportSetupForm dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The main window may show what changed.
    if (auto* main = dynamic_cast<TMessageAnswerer*>(MainForm()))
        main->Perform(WM_EXPORTSETUP, 0, 0);
}

void TSpravkaForm::mnShowColSumClick() {
    TField* field = DataGrid->SelectedField();
    if (field && field->IsNumeric())
        ShowColumnSum(ReportForm->qrDATA, field->FieldName());
}

void TSpravkaForm::mnCopyClick() {
    const TLongWork work(this, tr("Копиране..."));
    DataGrid->CopySelection();
}

void TSpravkaForm::DataGridHeaderClick(const QString& fieldName) {
    if (!Inquiry->qrDATA()->Active())
        return;
    Inquiry->OrderByColumn(fieldName);
    // The window as sender: the condition panel stays as it is.
    btSpravkaClick(this);
    ShowOrderArrow();
}

void TSpravkaForm::ShowOrderArrow() {
    QString name;
    bool ascending = true;
    if (!Inquiry->SingleOrdering(name, ascending))
        name.clear();
    DataGrid->ShowOrderArrow(name, ascending);
}

void TSpravkaForm::DataGridColumnSum() {
    // Whatever the column holds: the total reads every value as a number
    // and asks about those that are none.
    TField* field = DataGrid->SelectedField();
    if (field && DataGrid->DataSet())
        ShowColumnSum(DataGrid->DataSet(), field->FieldName());
}

// ---------------------------------------------------------------------------
// Saved inquiries

void TSpravkaForm::BitBtn6Click() {
    const QString base = AskInquiryFile(this, true);
    if (base.isEmpty())
        return;
    if (QFileInfo::exists(base) &&
        ShowMessageBox(tr("Справката \"") + QFileInfo(base).fileName() +
                           tr("\" вече е записана.\rДа бъде ли заменена?"),
                       tr("Внимание"), MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
        return;
    try {
        SaveInquiryFiles(*Inquiry, base);
    } catch (const Exception& e) {
        ShowMessageBox(e.message(), tr("Грешка"), MB_OK | MB_ICONSTOP);
    }
}

void TSpravkaForm::BitBtn7Click() {
    const QString base = AskInquiryFile(this, false);
    if (base.isEmpty())
        return;
    try {
        LoadInquiryFiles(*Inquiry, base);
    } catch (const Exception& e) {
        ShowMessageBox(e.message(), tr("Грешка"), MB_OK | MB_ICONSTOP);
    }
}

// ---------------------------------------------------------------------------
// Condition panel

bool TSpravkaForm::FilterPanelShown() const {
    return !FilterPanel->isHidden();
}

void TSpravkaForm::ToggleFilterPanel() {
    // The panel's contents and the window are laid out once, at the final
    // height: the steps in between are never painted, and laying the column
    // grid and the lists out at each of them cost more than the fold itself.
    QLayout* const layouts[] = {FilterPanel->layout(), layout()};
    for (QLayout* l : layouts)
        if (l)
            l->setEnabled(false);
    struct TRelayout {
        QLayout* const* Layouts;
        ~TRelayout() {
            for (int i = 0; i < 2; ++i)
                if (QLayout* l = Layouts[i]) {
                    l->setEnabled(true);
                    l->invalidate();
                    l->activate();
                }
        }
    } relayout{layouts};
    if (FilterPanelShown()) {
        for (int height = FilterPanel->height(); height > 0; height -= 8)
            FilterPanel->setFixedHeight(std::max(0, height - 8));
        setMinimumHeight(FoldedMinHeight);
        FilterPanel->hide();
    } else {
        FilterPanel->show();
        setMinimumHeight(FormMinHeight);
        for (int height = FilterPanel->height(); height < FilterPanelHeight; height += 8)
            FilterPanel->setFixedHeight(std::min(FilterPanelHeight, height + 8));
        FilterPanel->setFixedHeight(FilterPanelHeight);
    }
    if (FilterPanelShown())
        ReportListBox->setFocus();
    else
        DataGrid->setFocus();
}

void TSpravkaForm::ShowResults() {
    if (FilterPanelShown())
        ToggleFilterPanel();
    DataGrid->setFocus();
}

// ---------------------------------------------------------------------------
// Keys

bool TSpravkaForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::FocusIn && (watched == cbFilter || watched == cbFilter->lineEdit())) {
        cbFilterEnter();
        return false;
    }
    if (type == QEvent::MouseButtonDblClick && watched == DataGrid->viewport()) {
        // Anywhere in the result grid, also below its last row or over an
        // empty result.
        ToggleFilterPanel();
        return true;
    }
    if (type == QEvent::MouseButtonPress && (watched == Panel0 || watched == Label5)) {
        // The label passes a press on to the panel behind it: consumed here,
        // so a click on the label toggles once.
        ToggleFilterPanel();
        return watched == Label5;
    }
    if (type != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || (widget != this && !isAncestorOf(widget)))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;

    if (ctrl && IsEnterKey(key)) {
        btSpravkaClick(btSpravka);
        return true;
    }
    if (widget == cbFilter || widget == cbFilter->lineEdit()) {
        if (IsEnterKey(key)) {
            btAddFilterClick();
            return true;
        }
        if (ctrl && key->key() == Qt::Key_Equal) {
            cbFilter->lineEdit()->insert(QStringLiteral("~"));
            return true;
        }
    }
    if (ctrl && key->key() == Qt::Key_U && widget == DataGrid) {
        DataGridColumnSum();
        return true;
    }
    if (key->key() == Qt::Key_Delete) {
        if (widget == RelationsBG) {
            RelationsBGDblClick();
            return true;
        }
        if (widget == GroupBoxBG) {
            GroupBoxBGDblClick();
            return true;
        }
        if (widget == OrderBoxBG) {
            OrderBoxBGDblClick();
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// Messages

qintptr TSpravkaForm::Perform(int message, qintptr, qintptr) {
    switch (message) {
    case WM_FINDINQUIRY:
        return Closing ? 0 : reinterpret_cast<qintptr>(this);
    case WM_TOGGLEFILTER:
        ToggleFilterPanel();
        return 0;
    case WM_PREVIEW:
        btPrintPreviewClick();
        return 0;
    case WM_PRINT:
        btPrintClick();
        return 0;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// What the inquiry shows

QString TSpravkaForm::SignText() const {
    return cbSign->currentText();
}

void TSpravkaForm::SetSignText(const QString& text) {
    const int index = cbSign->findText(text);
    if (index >= 0)
        cbSign->setCurrentIndex(index);
}

QString TSpravkaForm::FilterText() const {
    return cbFilter->currentText();
}

void TSpravkaForm::SetFilterText(const QString& text) {
    cbFilter->setEditText(text);
}

QStringList TSpravkaForm::FilterItems() const {
    QStringList items;
    for (int i = 0; i < cbFilter->count(); ++i)
        items << cbFilter->itemText(i);
    return items;
}

void TSpravkaForm::SetFilterItems(const QStringList& items) {
    const QString text = cbFilter->currentText();
    const QSignalBlocker block(cbFilter);
    cbFilter->clear();
    cbFilter->addItems(items);
    cbFilter->setCurrentIndex(-1);
    cbFilter->setEditText(text);
}

void TSpravkaForm::SetFilterItemIndex(int index) {
    const QString text = cbFilter->currentText();
    const QSignalBlocker block(cbFilter);
    cbFilter->setCurrentIndex(index);
    cbFilter->setEditText(text);
}

void TSpravkaForm::SelectFilterText() {
    QLineEdit* edit = cbFilter->lineEdit();
    edit->selectAll();
    // A click that gave the box its focus puts the cursor where it landed
    // after this; selected again once the click is handled, what the user
    // types replaces the value instead of being written into it.
    QTimer::singleShot(0, edit, [edit] {
        if (edit->hasFocus())
            edit->selectAll();
    });
}

QString TSpravkaForm::TitleText() const {
    return edTitle->text();
}

void TSpravkaForm::SetTitleText(const QString& text) {
    edTitle->setText(text);
}

void TSpravkaForm::SetCaption(const QString& text) {
    setWindowTitle(text);
}

void TSpravkaForm::ListsChanged() {
    cbChartInReport->setChecked(Inquiry->ChartInReport);
    ShowList(SelectedTablesBG, Inquiry->SelectedTablesBG);
    ShowList(RelationsBG, Inquiry->RelationsBG);
    ShowList(GroupBoxBG, Inquiry->GroupBoxBG);
    ShowList(OrderBoxBG, Inquiry->OrderBoxBG);
}

void TSpravkaForm::SelectColumnField(const QString& fieldName) {
    const QList<TGridColumn>& columns = dsCol->Columns();
    for (int c = 0; c < columns.size(); ++c) {
        if (columns[c].FieldName != fieldName)
            continue;
        const int row = std::max(0, DBGrid1->currentIndex().row());
        if (row < dsCol->rowCount())
            DBGrid1->setCurrentIndex(dsCol->index(row, c));
        return;
    }
}

int TSpravkaForm::DefaultColumnWidth(TField* field, const QString& title) const {
    return DataGrid->DefaultColumnWidth(field, title);
}

// ---------------------------------------------------------------------------
// What the report reads

QString TSpravkaForm::ReportTitle() const {
    return edTitle->text();
}

bool TSpravkaForm::RowNumbersOn() const {
    return cbRowNumbers->isChecked();
}

TDBGrid* TSpravkaForm::ResultGrid() const {
    return DataGrid;
}

QStringList TSpravkaForm::ConditionLines() const {
    return Inquiry->RelationsBG;
}

TQuery* TSpravkaForm::Catalogue() const {
    return Inquiry->qrCol;
}

bool TSpravkaForm::IsModified() const {
    return Inquiry->Modified;
}

void TSpravkaForm::RunInquiryForReport() {
    // The window as sender: the condition panel stays as it is.
    btSpravkaClick(this);
}

QStringList TSpravkaForm::ReportOptions() const {
    return Inquiry->ReportOptions;
}

bool TSpravkaForm::ChartInReport() const {
    return Inquiry->ChartInReport;
}

// ---------------------------------------------------------------------------
// Charts

namespace {
// The subject's options row says "Chart=none".
QString NoChartMessage() {
    return QCoreApplication::translate("TExportSetupForm", "За тази справка няма графика.");
}
} // namespace

void TSpravkaForm::mnChartClick() {
    if (IsModified())
        RunInquiryForReport();
    if (!Inquiry->qrDATA()->Active())
        return;
    const std::optional<TChartKind> option = ChartOption(Inquiry->ReportOptions);
    if (option == TChartKind::None) {
        ShowMessageBox(NoChartMessage(), tr("Съобщение"), MB_OK | MB_ICONINFORMATION);
        return;
    }
    TChartData data;
    try {
        data = ReadChartData(ReportChartSource(*this));
    } catch (const Exception& e) {
        ShowMessageBox(e.message(), tr("Съобщение"), MB_OK | MB_ICONINFORMATION);
        return;
    }
    auto* chart = new TChartForm(std::move(data), option.value_or(TChartKind::None), this);
    chart->show();
}

bool TSpravkaForm::SaveChartFile(const QString& fileName, std::optional<TChartKind> kind) {
    // The kind of file is checked before anything runs.
    if (ChartFileKindOf(fileName) == TChartFileKind::Unknown)
        SaveChart(TChartModel(), fileName);
    if (IsModified())
        RunInquiryForReport();
    if (!Inquiry->qrDATA()->Active() || Inquiry->qrDATA()->IsEmpty())
        return false;
    const std::optional<TChartModel> model = ReportChart(*this, kind);
    if (!model)
        throw Exception(NoChartMessage());
    SaveChart(*model, fileName);
    return true;
}

// ---------------------------------------------------------------------------

TSpravkaModalForm::TSpravkaModalForm(QWidget* mainForm) : TSpravkaForm(TChildWindow{}) {
    auto* frame = qobject_cast<QMainWindow*>(mainForm);
    auto* area = frame ? qobject_cast<QMdiArea*>(frame->centralWidget()) : nullptr;
    if (!area) {
        setParent(mainForm, Qt::Window);
        return;
    }
    QMdiSubWindow* sub = area->addSubWindow(this);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(sub->sizeHint().expandedTo(sub->minimumSizeHint()));
    const QSize space = area->viewport()->size();
    sub->move(std::max(0, (space.width() - sub->width()) / 2),
              std::max(0, (space.height() - sub->height()) / 2));
}

// ---------------------------------------------------------------------------

QWidget* OpenInquiryWindow(bool newWindow, bool forceNew, const QString& subject) {
    QWidget* main = MainForm();
    if (!newWindow && !forceNew) {
        TMessageAnswerer* found = FindAnsweringComponent(WM_FINDINQUIRY, 0, 0, main);
        if (auto* window = dynamic_cast<TSpravkaForm*>(found)) {
            if (!subject.isEmpty()) {
                window->SelectSubject(subject);
                window->RunInquiry();
            } else {
                window->ShowInquiryWindow();
            }
            return window;
        }
    }

    // The window the new one is placed beside: the active child window of
    // the frame, else the application's active window.
    QWidget* previous = QApplication::activeWindow();
    if (auto* frame = qobject_cast<QMainWindow*>(main)) {
        if (auto* area = qobject_cast<QMdiArea*>(frame->centralWidget()))
            if (QMdiSubWindow* active = area->activeSubWindow())
                previous = active;
        if (!previous)
            previous = main;
    }

    TSpravkaForm* window = newWindow ? new TSpravkaForm(main) : new TSpravkaModalForm(main);
    window->Inquiry->InitialSubject = subject;
    ShowCascaded(previous, window);
    return newWindow ? nullptr : window;
}
