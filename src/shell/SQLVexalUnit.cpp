#include "SQLVexalUnit.h"

#include "Database.h"
#include "DescribeDialog.h"
#include "ExportOptions.h"
#include "ExportSetupUnit.h"
#include "Language.h"
#include "MessageBox.h"
#include "SpravkaUnit.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

namespace {

QAction* AddItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

} // namespace

TSQLVexalForm::TSQLVexalForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("SQLVexalForm"));
    setWindowTitle(QStringLiteral("SQL Vexal"));
    setGeometry(NormalBounds);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(12);
    setFont(tahoma);

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(MdiArea);

    Database = new TDatabase(this);
    Database->setObjectName(QStringLiteral("Database"));
    Database->SetDatabaseName(QStringLiteral("restdata"));
    Database->SetHandleShared(true);
    Database->SetLoginPrompt(false);
    Database->SetParams({QStringLiteral("USER NAME=DBA"), QStringLiteral("PASSWORD=WVK")});
    Database->SetTransIsolation(TTransIsolation::DirtyRead);

    BuildMenus();
    FormCreate();
}

// The menus' Alt letters are letters no inquiry window uses for its
// buttons and labels: a letter shared with the window inside the frame would
// only move the focus on its first press.
void TSQLVexalForm::BuildMenus() {
    mnFile = menuBar()->addMenu(tr("&Файл"));
    mnFile->setObjectName(QStringLiteral("mnFile"));
    mnNewInquiry = AddItem(mnFile, "mnNewInquiry", tr("&Нова справка"));
    mnNewInquiry->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    mnChart = AddItem(mnFile, "mnChart", tr("&Графика на справката"));
    mnExportSetup = AddItem(mnFile, "mnExportSetup", tr("Настройка &Експорт..."));
    mnTextPrint = AddItem(mnFile, "mnTextPrint", tr("&Текстов печат"));
    mnTextPrint->setCheckable(true);
    mnFile->addSeparator();
    mnExit = AddItem(mnFile, "mnExit", tr("&Изход"));

    mnAdmin = menuBar()->addMenu(tr("Ад&министриране"));
    mnAdmin->setObjectName(QStringLiteral("mnAdmin"));
    mnDescribe = AddItem(mnAdmin, "mnDescribe", tr("Нова &справка от таблица…"));

    mnWindow = menuBar()->addMenu(tr("Прозоре&ц"));
    mnWindow->setObjectName(QStringLiteral("mnWindow"));
    mnCascade = AddItem(mnWindow, "mnCascade", tr("&Каскадно"));
    mnTile = AddItem(mnWindow, "mnTile", tr("&Едно до друго"));

    mnHelp = menuBar()->addMenu(tr("Помо&щ"));
    mnHelp->setObjectName(QStringLiteral("mnHelp"));
    mnAbout = AddItem(mnHelp, "mnAbout", tr("&За програмата"));
    mnLanguage = mnHelp->addMenu(tr("&Език / Language"));
    mnLanguage->setObjectName(QStringLiteral("mnLanguage"));
    mnLanguageBg = AddItem(mnLanguage, "mnLanguageBg", QStringLiteral("&Български"));
    mnLanguageEn = AddItem(mnLanguage, "mnLanguageEn", QStringLiteral("&English"));
    auto* languages = new QActionGroup(this);
    for (QAction* item : {mnLanguageBg, mnLanguageEn}) {
        item->setCheckable(true);
        languages->addAction(item);
    }
    (CurrentLanguage() == QLatin1String("en") ? mnLanguageEn : mnLanguageBg)->setChecked(true);

    lbTextPrint = new QLabel(tr("Текстов печат"), this);
    lbTextPrint->setObjectName(QStringLiteral("lbTextPrint"));
    statusBar()->addPermanentWidget(lbTextPrint);

    connect(mnNewInquiry, &QAction::triggered, this, &TSQLVexalForm::mnNewInquiryClick);
    connect(mnChart, &QAction::triggered, this, &TSQLVexalForm::mnChartClick);
    connect(mnExportSetup, &QAction::triggered, this, &TSQLVexalForm::mnExportSetupClick);
    connect(mnTextPrint, &QAction::triggered, this, &TSQLVexalForm::mnTextPrintClick);
    connect(mnExit, &QAction::triggered, this, &TSQLVexalForm::btExitClick);
    connect(mnDescribe, &QAction::triggered, this, &TSQLVexalForm::mnDescribeClick);
    connect(mnCascade, &QAction::triggered, this, &TSQLVexalForm::mnCascadeClick);
    connect(mnTile, &QAction::triggered, this, &TSQLVexalForm::mnTileClick);
    connect(mnAbout, &QAction::triggered, this, &TSQLVexalForm::mnAboutClick);
    connect(mnLanguageBg, &QAction::triggered, this,
            [this] { mnLanguageClick(QStringLiteral("bg")); });
    connect(mnLanguageEn, &QAction::triggered, this,
            [this] { mnLanguageClick(QStringLiteral("en")); });
    // The text-print mode may be switched on from the command line before
    // the window exists; the menu shows the switch as it is when it opens.
    connect(mnFile, &QMenu::aboutToShow, this, &TSQLVexalForm::SyncMenus);
    connect(mnWindow, &QMenu::aboutToShow, this, &TSQLVexalForm::FillWindowList);
    SyncMenus();
}

TSQLVexalForm::~TSQLVexalForm() {
    if (MainForm() == this)
        SetMainForm(nullptr);
}

void TSQLVexalForm::FormCreate() {
    SetMainForm(this);
}

void TSQLVexalForm::ShowAtStart() {
    // The normal bounds go first: the window system restores a maximized
    // window to the geometry it had before, and a window made as large as
    // the screen would restore to the whole screen.
    setGeometry(NormalBounds);
    showMaximized();
}

void TSQLVexalForm::btExitClick() {
    close();
}

void TSQLVexalForm::mnNewInquiryClick() {
    if (QWidget* window = OpenInquiryWindow(false, true, QString()))
        CurrentInquiry = window;
}

void TSQLVexalForm::mnChartClick() {
    QMdiSubWindow* active = MdiArea->activeSubWindow();
    auto* window = qobject_cast<TSpravkaForm*>(active ? active->widget() : CurrentInquiry.data());
    if (window)
        window->mnChartClick();
}

void TSQLVexalForm::mnExportSetupClick() {
    TExportSetupForm dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        ExportSetupChanged();
}

void TSQLVexalForm::mnTextPrintClick(bool on) {
    TextPrintMode = on;
    SyncMenus();
}

void TSQLVexalForm::mnDescribeClick() {
    if (!Database->Connected())
        return;
    try {
        TDescribeDialog dialog(*Database, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        statusBar()->showMessage(tr("Справката \"%1\" е записана (%2 колони)")
                                     .arg(dialog.Written.Subject)
                                     .arg(dialog.Written.Rows.size()),
                                 5000);
    } catch (const Exception& e) {
        ShowMessageBox(e.message(), tr("Грешка"), MB_OK | MB_ICONSTOP);
    }
}

void TSQLVexalForm::mnCascadeClick() {
    MdiArea->cascadeSubWindows();
}

void TSQLVexalForm::mnTileClick() {
    MdiArea->tileSubWindows();
}

void TSQLVexalForm::mnAboutClick() {
    ShowMessageBox(tr("SQL Vexal\rВерсия ") + QStringLiteral(VEXAL_VERSION), tr("За програмата"),
                   MB_OK | MB_ICONINFORMATION);
}

void TSQLVexalForm::mnLanguageClick(const QString& code) {
    if (!SaveLanguage(code)) {
        ShowMessageBox(tr("Изборът на език не може да бъде запомнен в настройките."), tr("Грешка"),
                       MB_OK | MB_ICONSTOP);
        return;
    }
    // Said in the chosen language: the one the user has just shown they read.
    const bool english = code == QLatin1String("en");
    ShowMessageBox(english ? QStringLiteral("SQL Vexal will be in English from its next start.")
                           : QStringLiteral("SQL Vexal ще бъде на български от следващото си "
                                            "стартиране."),
                   QStringLiteral("SQL Vexal"), MB_OK | MB_ICONINFORMATION);
}

void TSQLVexalForm::ExportSetupChanged() {
    statusBar()->showMessage(tr("Настройките за експорт са променени"), 5000);
}

void TSQLVexalForm::SyncMenus() {
    mnTextPrint->setChecked(TextPrintMode);
    lbTextPrint->setVisible(TextPrintMode);
}

void TSQLVexalForm::FillWindowList() {
    qDeleteAll(WindowItems);
    WindowItems.clear();
    const QList<QMdiSubWindow*> windows = MdiArea->subWindowList();
    if (windows.isEmpty())
        return;
    WindowItems << mnWindow->addSeparator();
    QMdiSubWindow* active = MdiArea->activeSubWindow();
    for (qsizetype i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* sub = windows[i];
        const QString number = QString::number(i + 1);
        QAction* item =
            AddItem(mnWindow, ("mnWindowItem" + number.toLatin1()).constData(),
                    (i < 9 ? u'&' + number : number) + u' ' +
                        QString(sub->windowTitle()).replace(u'&', QStringLiteral("&&")));
        item->setCheckable(true);
        item->setChecked(sub == active);
        QPointer<QMdiSubWindow> target(sub);
        connect(item, &QAction::triggered, this, [this, target] {
            if (target)
                MdiArea->setActiveSubWindow(target);
        });
        WindowItems << item;
    }
}

qintptr TSQLVexalForm::Perform(int message, qintptr, qintptr) {
    if (message == WM_EXPORTSETUP) {
        ExportSetupChanged();
        return 1;
    }
    return 0;
}

void TSQLVexalForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!Shown) {
        Shown = true;
        FormShow();
    }
}

void TSQLVexalForm::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted() && MainForm() == this)
        QCoreApplication::quit();
}

void TSQLVexalForm::FormShow() {
    QWidget* window = OpenInquiryWindow(false, false, QString());
    if (window)
        CurrentInquiry = window;
    if (QWidget* current = CurrentInquiry.data()) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(current->parentWidget()))
            sub->showMaximized();
        else
            current->showMaximized();
    }
}

void AppException(const QString& message) {
    ShowMessageBox(message, QCoreApplication::translate("TSQLVexalForm", "Системно съобщение"),
                   MB_OK | MB_ICONSTOP);
}
