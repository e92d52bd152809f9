// The main window's "Нова справка от таблица…" and its dialog: the table
// list, the subject name that follows the table until typed, the preview,
// refusal of a taken name, and the write on OK.

#include "DescribeFixture.h"

#include "DescribeDialog.h"
#include "SQLVexalUnit.h"
#include "ServerRoutines.h"
#include "Vexal.h"

#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// Types a text into a line edit as the user's keyboard would (any script).
void Type(QLineEdit* edit, const QString& text) {
    edit->clear();
    QInputMethodEvent typing;
    typing.setCommitString(text);
    QApplication::sendEvent(edit, &typing);
}

TEST_F(DescribeFixture, DialogPreviewsRefusesTakenNamesAndWrites) {
    ASSERT_TRUE(Open(QStringLiteral("sqlite")));
    Describe(QStringLiteral("Album"), QStringLiteral("Албуми"));
    TDescribeDialog dialog(*Database);
    QStringList tables;
    for (int row = 0; row < dialog.lbTables->count(); ++row)
        tables << dialog.lbTables->item(row)->text();
    EXPECT_EQ(tables,
              QStringList({"Album", "Artist", "Customer", "Employee", "Genre", "Invoice",
                           "InvoiceLine", "MediaType", "Playlist", "PlaylistTrack", "Track"}));
    EXPECT_FALSE(dialog.btOk->isEnabled()) << "no table chosen yet";

    ASSERT_TRUE(dialog.SelectTable(QStringLiteral("genre")));
    EXPECT_EQ(dialog.edSubject->text(), QStringLiteral("Genre"));
    EXPECT_EQ(dialog.grPreview->rowCount(), 2);
    EXPECT_EQ(dialog.grPreview->item(0, 0)->text(), QStringLiteral("4")) << "after Album's 1..3";
    EXPECT_EQ(dialog.grPreview->item(1, 3)->text(), QStringLiteral("Name"));
    EXPECT_TRUE(dialog.btOk->isEnabled());

    // A typed name that is taken: nothing to write, and the reason shown.
    Type(dialog.edSubject, QStringLiteral("албуми"));
    EXPECT_FALSE(dialog.btOk->isEnabled());
    EXPECT_TRUE(dialog.lbInfo->text().contains(QStringLiteral("вече има")))
        << dialog.lbInfo->text().toStdString();
    EXPECT_EQ(dialog.grPreview->rowCount(), 0);

    // A typed name stays when another table is picked.
    Type(dialog.edSubject, QStringLiteral("Видове носители"));
    dialog.SelectTable(QStringLiteral("MediaType"));
    EXPECT_EQ(dialog.edSubject->text(), QStringLiteral("Видове носители"));
    EXPECT_EQ(dialog.grPreview->rowCount(), 2);
    QTest::mouseClick(dialog.btOk, Qt::LeftButton);
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
    EXPECT_EQ(dialog.Written.Rows.size(), 2);
    EXPECT_EQ(HandRows(QStringLiteral("SELECT COUNT(*) FROM Relations WHERE BGTableName = "
                                      "'Видове носители'")),
              QStringList{QStringLiteral("2")});
}

TEST_F(DescribeFixture, AdministrationMenuOpensTheDialog) {
    FreshCopy();
    TStartupHooks hooks;
    hooks.CtrlHeld = [] { return false; };
    hooks.ChooseAlias = [](const QString&) { return QString(); };
    int exitCode = 0;
    std::unique_ptr<TSQLVexalForm> form = StartUp(QStringLiteral("CHINOOK"), hooks, &exitCode);
    ASSERT_TRUE(form);
    EXPECT_EQ(form->mnAdmin->title(), QStringLiteral("Ад&министриране"));
    ASSERT_TRUE(form->mnAdmin->actions().contains(form->mnDescribe));
    bool seen = false;
    QTimer::singleShot(0, [&seen] {
        auto* dialog = qobject_cast<TDescribeDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = true;
        dialog->SelectTable(QStringLiteral("Artist"));
        dialog->btOk->click();
    });
    form->mnDescribe->trigger();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(form->statusBar()->currentMessage().contains(QStringLiteral("\"Artist\"")))
        << form->statusBar()->currentMessage().toStdString();
    form.reset();
    SessionDatabase = nullptr;
}

} // namespace
