#include "SQLVexalUnit.h"

#include "Database.h"
#include "MessageBox.h"
#include "SpravkaUnit.h"
#include "WindowRoutines.h"

#include <QMdiArea>
#include <QMdiSubWindow>

TSQLVexalForm::TSQLVexalForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("SQLVexalForm"));
    setWindowTitle(QStringLiteral("SQL Vexal"));
    setGeometry(52, 59, 703, 472);
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

    FormCreate();
}

TSQLVexalForm::~TSQLVexalForm() {
    if (MainForm() == this)
        SetMainForm(nullptr);
}

void TSQLVexalForm::FormCreate() { SetMainForm(this); }

void TSQLVexalForm::btExitClick() { close(); }

void TSQLVexalForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!Shown) {
        Shown = true;
        FormShow();
    }
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
    ShowMessageBox(message, QStringLiteral("Системно съобщение"), MB_OK | MB_ICONSTOP);
}
