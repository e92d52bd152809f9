// The main window's menus: new inquiry windows, cascade and tile, the list
// of open windows, the About box, the text-print switch, and the export
// settings (from the File menu, or from an inquiry window with Ctrl held).

#include "Database.h"
#include "ExportOptions.h"
#include "ExportSetupUnit.h"
#include "KivUtilUnit.h"
#include "SQLVexalUnit.h"
#include "SpravkaUnit.h"
#include "Vexal.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>

namespace {

struct Message {
    QString Text;
    QString Caption;
    int Style;
};

// One subject over one table is all the inquiry windows need here.
const char* const Schema = R"SQL(
CREATE TABLE Authchar (Code INTEGER, Text TEXT);
INSERT INTO Authchar VALUES (0, ' '), (2, 'Ö');
CREATE TABLE Relations (
  N INTEGER PRIMARY KEY, TableName TEXT, BGTableName TEXT, ColName TEXT, BGColName TEXT,
  SelectCol INTEGER, Promenliva INTEGER, "Function" TEXT, Zadaljitelna INTEGER,
  Sortirane INTEGER, DftFilter TEXT, DftLike INTEGER, FilterList TEXT,
  RelationTable TEXT, RelationCol TEXT, Align INTEGER, Shirina INTEGER, Mask TEXT,
  Suma TEXT, AutoStretch INTEGER);
INSERT INTO Relations VALUES
 (1, 'Goods', 'Стоки', 'Name', 'Име', 2, 0, 'Name', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0);
CREATE TABLE Goods (Name TEXT);
INSERT INTO Goods VALUES ('Ябълки'), ('Круши');
)SQL";

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        const QString db = Dir.filePath("main.db");
        sqlite3* handle = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(db).constData(), &handle), SQLITE_OK);
        const int rc = sqlite3_exec(handle, Schema, nullptr, nullptr, nullptr);
        sqlite3_close(handle);
        ASSERT_EQ(rc, SQLITE_OK);
        const QString aliases = Dir.filePath("aliases.ini");
        QFile ini(aliases);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[MainTest]\nDriver=sqlite\nDatabase=" + QFile::encodeName(db) + "\n");
        ini.close();
        setenv("VEXAL_ALIASES", aliases.toLocal8Bit().constData(), 1);
        ProgramDir = Dir.path() + "/";
        ResetExportSettings();
        Previous = SetMessageBoxHandler([this](const QString& t, const QString& c, int s) {
            Messages.push_back({t, c, s});
            return DefaultMessageBoxButton(s);
        });

        TStartupHooks hooks;
        hooks.CtrlHeld = [] { return false; };
        hooks.ChooseAlias = [](const QString&) { return QString(); };
        int exitCode = -1;
        Form = StartUp("MainTest", hooks, &exitCode);
        ASSERT_TRUE(Form);
        Form->resize(1700, 1000); // room to tile two windows of 758 pixels
        Form->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        Form.reset();
        SetMessageBoxHandler(Previous);
        SetKeyboardModifiersQuery(nullptr);
        delete WorkQuery;
        WorkQuery = nullptr;
        SessionDatabase = nullptr;
        SessionReady = false;
        LastSubject.clear();
        ResetExportSettings();
        unsetenv("VEXAL_ALIASES");
    }

    QList<QMdiSubWindow*> Windows() const { return Form->MdiArea->subWindowList(); }

    // Presses OK or Cancel of the export settings dialog once it is up.
    void AnswerExportSetup(bool ok) {
        auto* poll = new QTimer;
        auto tries = std::make_shared<int>(0);
        QObject::connect(poll, &QTimer::timeout, [this, poll, ok, tries] {
            if (auto* dialog = qobject_cast<TExportSetupForm*>(QApplication::activeModalWidget())) {
                ++DialogsSeen;
                (ok ? dialog->btOk : dialog->btCancel)->click();
            } else if (++*tries < 500) {
                return;
            }
            poll->stop();
            poll->deleteLater();
        });
        poll->start(10);
    }

    QTemporaryDir Dir;
    std::unique_ptr<TSQLVexalForm> Form;
    std::vector<Message> Messages;
    MessageBoxHandler Previous;
    int DialogsSeen = 0;
};

TEST_F(MainWindowTest, NewWindowsCascadeTileAndTheWindowList) {
    ASSERT_EQ(Windows().size(), 1); // the first one opens with the frame
    Form->mnNewInquiry->trigger();
    const QList<QMdiSubWindow*> windows = Windows();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_EQ(Form->CurrentInquiryWindow(), windows[1]->widget());
    EXPECT_NE(qobject_cast<TSpravkaForm*>(windows[1]->widget()), nullptr);

    // Tile: side by side, inside the frame, no overlap.
    Form->mnTile->trigger();
    const QRect area(QPoint(0, 0), Form->MdiArea->viewport()->size());
    EXPECT_FALSE(windows[0]->geometry().intersects(windows[1]->geometry()));
    EXPECT_TRUE(area.contains(windows[0]->geometry()));
    EXPECT_TRUE(area.contains(windows[1]->geometry()));
    // Cascade: each window down and right of the one before.
    Form->mnCascade->trigger();
    EXPECT_GT(windows[1]->x(), windows[0]->x());
    EXPECT_GT(windows[1]->y(), windows[0]->y());

    // The Window menu lists the open windows, the active one ticked, and
    // its items activate them.
    Form->MdiArea->setActiveSubWindow(windows[1]);
    Q_EMIT Form->mnWindow->aboutToShow();
    auto* first = Form->mnWindow->findChild<QAction*>("mnWindowItem1");
    auto* second = Form->mnWindow->findChild<QAction*>("mnWindowItem2");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->text(), "&1 " + windows[0]->windowTitle());
    EXPECT_FALSE(first->isChecked());
    EXPECT_TRUE(second->isChecked());
    first->trigger();
    EXPECT_EQ(Form->MdiArea->activeSubWindow(), windows[0]);

    // A closed window leaves the list when the menu opens again.
    windows[1]->close();
    QCoreApplication::processEvents();
    Q_EMIT Form->mnWindow->aboutToShow();
    EXPECT_EQ(Form->mnWindow->findChild<QAction*>("mnWindowItem2"), nullptr);
    EXPECT_NE(Form->mnWindow->findChild<QAction*>("mnWindowItem1"), nullptr);
}

// Every menu of the bar and every item of a menu has an Alt letter of its
// own, so each command is reachable from the keyboard; the bar's letters are
// none of the inquiry window's, whose buttons would take the first press.
TEST_F(MainWindowTest, EveryMenuAndItemHasItsOwnAltLetter) {
    auto inquiry = qobject_cast<TSpravkaForm*>(Form->CurrentInquiryWindow());
    ASSERT_NE(inquiry, nullptr);
    QStringList windowLetters;
    for (const QWidget* w : inquiry->findChildren<QWidget*>()) {
        QString text;
        if (auto* button = qobject_cast<const QAbstractButton*>(w))
            text = button->text();
        else if (auto* label = qobject_cast<const QLabel*>(w))
            text = label->text();
        if (const qsizetype at = text.indexOf(u'&'); at >= 0 && at + 1 < text.size())
            windowLetters << text.mid(at + 1, 1).toUpper();
    }
    ASSERT_GE(windowLetters.size(), 15);
    auto letters = [&windowLetters](const QList<QAction*>& actions, bool bar) {
        QStringList seen;
        for (const QAction* action : actions) {
            if (action->isSeparator() || action->objectName().startsWith(u"mnWindowItem"))
                continue;
            const QString text = action->text();
            const qsizetype at = text.indexOf(u'&');
            EXPECT_TRUE(at >= 0 && at + 1 < text.size()) << text.toStdString();
            if (at < 0 || at + 1 >= text.size())
                continue;
            const QString letter = text.mid(at + 1, 1).toUpper();
            EXPECT_FALSE(seen.contains(letter)) << text.toStdString();
            EXPECT_FALSE(bar && windowLetters.contains(letter)) << text.toStdString();
            seen << letter;
        }
    };
    letters(Form->menuBar()->actions(), true);
    for (const QMenu* menu : {Form->mnFile, Form->mnAdmin, Form->mnWindow, Form->mnHelp})
        letters(menu->actions(), false);
}

TEST_F(MainWindowTest, AboutShowsTheNameAndVersion) {
    Form->mnAbout->trigger();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, QStringLiteral("SQL Vexal\rВерсия " VEXAL_VERSION));
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("За програмата"));
    EXPECT_EQ(Messages[0].Style, 64);
}

TEST_F(MainWindowTest, TextPrintItemFollowsAndSetsTheMode) {
    // Switched on before the menu opens (as --text-print does at start).
    TextPrintMode = true;
    Q_EMIT Form->mnFile->aboutToShow();
    EXPECT_TRUE(Form->mnTextPrint->isChecked());
    EXPECT_FALSE(Form->lbTextPrint->isHidden());

    Form->mnTextPrint->trigger();
    EXPECT_FALSE(TextPrintMode);
    EXPECT_FALSE(Form->mnTextPrint->isChecked());
    EXPECT_TRUE(Form->lbTextPrint->isHidden());
    Form->mnTextPrint->trigger();
    EXPECT_TRUE(TextPrintMode);
}

TEST_F(MainWindowTest, ChangedExportSettingsAreAcknowledged) {
    const QString changed = QStringLiteral("Настройките за експорт са променени");
    auto* inquiry = qobject_cast<TSpravkaForm*>(Form->CurrentInquiryWindow());
    ASSERT_NE(inquiry, nullptr);
    SetKeyboardModifiersQuery([] { return Qt::KeyboardModifiers(Qt::ControlModifier); });

    // OK in the dialog an inquiry window opens: message 3025 reaches the frame.
    AnswerExportSetup(true);
    QTest::mouseClick(inquiry->btExport, Qt::LeftButton);
    EXPECT_EQ(DialogsSeen, 1);
    EXPECT_EQ(Form->statusBar()->currentMessage(), changed);

    // The File menu opens the same dialog.
    Form->statusBar()->clearMessage();
    AnswerExportSetup(true);
    Form->mnExportSetup->trigger();
    EXPECT_EQ(DialogsSeen, 2);
    EXPECT_EQ(Form->statusBar()->currentMessage(), changed);
    EXPECT_TRUE(Messages.empty());
}

// Closing the frame ends the program even while another top-level window of
// it (here standing in for a report preview) is still shown; without that
// the program would go on running with the frame gone.
TEST_F(MainWindowTest, ClosingTheFrameEndsTheProgram) {
    QWidget other;
    other.setWindowTitle(QStringLiteral("Print Preview"));
    other.show();
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    guard.start(5000);
    QTimer::singleShot(0, Form.get(), [this] { Form->close(); });
    const int code = QCoreApplication::exec();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(other.isVisible()) << "closed on the way out";
}

} // namespace

// The program starts maximized; restoring the window gives its normal bounds,
// not a window as large as the screen.
TEST_F(MainWindowTest, RestoringTheMaximizedWindowGivesItsNormalBounds) {
    {
        TSQLVexalForm started;
        started.ShowAtStart();
        QCoreApplication::processEvents();
        EXPECT_TRUE(started.isMaximized());
        started.showNormal();
        QCoreApplication::processEvents();
        EXPECT_EQ(started.geometry(), QRect(52, 59, 703, 472));
    }
    SetMainForm(Form.get());
}
