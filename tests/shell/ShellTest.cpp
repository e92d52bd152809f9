// The start-up sequence, the alias chooser and the application-wide error
// handler; the program's --help and --version.

#include "Database.h"
#include "KivUtilUnit.h"
#include "SQLVexalUnit.h"
#include "SelectDbUnit.h"
#include "Vexal.h"

#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct Message {
    QString Text;
    QString Caption;
    int Style;
};

class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        const QString db = Dir.filePath("shop.db");
        QFile(db).open(QIODevice::WriteOnly);
        const QString aliases = Dir.filePath("aliases.ini");
        QFile ini(aliases);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Shop]\nDriver=sqlite\nDatabase=" + db.toUtf8() +
                  "\n[alpha]\nDriver=sqlite\nDatabase=" + db.toUtf8() + "\n");
        ini.close();
        setenv("VEXAL_ALIASES", aliases.toLocal8Bit().constData(), 1);
        ProgramDir = Dir.path() + "/";
        Previous = SetMessageBoxHandler([this](const QString& t, const QString& c, int s) {
            Messages.push_back({t, c, s});
            return DefaultMessageBoxButton(s);
        });
    }
    void TearDown() override {
        Form.reset();
        SetMessageBoxHandler(Previous);
        delete WorkQuery;
        WorkQuery = nullptr;
        SessionDatabase = nullptr;
        SessionReady = false;
        unsetenv("VEXAL_ALIASES");
    }

    TStartupHooks Hooks(bool ctrl) {
        TStartupHooks hooks;
        hooks.CtrlHeld = [ctrl] { return ctrl; };
        hooks.ChooseAlias = [this](const QString& current) {
            ChooserOpened = true;
            ChooserPreselected = current;
            return ChooserAnswer;
        };
        return hooks;
    }

    QTemporaryDir Dir;
    std::unique_ptr<TSQLVexalForm> Form;
    std::vector<Message> Messages;
    MessageBoxHandler Previous;
    bool ChooserOpened = false;
    QString ChooserPreselected;
    QString ChooserAnswer; // null: cancelled
};

TEST_F(StartUpTest, AliasOnTheCommandLineConnectsAndBootstraps) {
    // The connection script beside the program runs after connecting.
    QFile script(Dir.filePath("Shop.SQL"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("CREATE TABLE Started(x INTEGER)\r\n");
    script.close();

    int exitCode = -1;
    Form = StartUp("Shop", Hooks(false), &exitCode);
    ASSERT_TRUE(Form);
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(ChooserOpened);
    EXPECT_TRUE(Form->Database->Connected());
    EXPECT_EQ(Form->Database->DatabaseName(), "restdata");
    EXPECT_EQ(Form->Database->AliasName(), "Shop");
    EXPECT_EQ(Form->windowTitle(), "SQL Vexal");
    EXPECT_TRUE(SessionReady);
    EXPECT_EQ(ExecSqlValue("SELECT COUNT(*) FROM Started").toInt(), 0);
    EXPECT_EQ(ExecSqlValue("SELECT kzmConnectID").toInt(), ConnectID);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(MainForm(), Form.get());
}

TEST_F(StartUpTest, UnknownAliasShowsOneErrorAndEnds) {
    int exitCode = -1;
    Form = StartUp("NoSuchAlias", Hooks(false), &exitCode);
    EXPECT_FALSE(Form);
    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Грешка");
    EXPECT_EQ(Messages[0].Style, 16);
    EXPECT_FALSE(Messages[0].Text.isEmpty());
    EXPECT_FALSE(SessionReady);
}

TEST_F(StartUpTest, NoAliasAndCancelledChooserEndsSilently) {
    int exitCode = -1;
    Form = StartUp(QString(), Hooks(false), &exitCode);
    EXPECT_TRUE(ChooserOpened);
    EXPECT_FALSE(Form);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(StartUpTest, CtrlHeldOpensTheChooserWithTheGivenAliasSelected) {
    int exitCode = -1;
    // Cancel keeps the command-line alias.
    Form = StartUp("Shop", Hooks(true), &exitCode);
    EXPECT_TRUE(ChooserOpened);
    EXPECT_EQ(ChooserPreselected, "Shop");
    ASSERT_TRUE(Form);
    EXPECT_EQ(Form->Database->AliasName(), "Shop");
    Form.reset();
    delete WorkQuery;
    WorkQuery = nullptr;

    // OK replaces it.
    ChooserAnswer = "alpha";
    Form = StartUp("Shop", Hooks(true), &exitCode);
    ASSERT_TRUE(Form);
    EXPECT_EQ(Form->Database->AliasName(), "alpha");
}

TEST_F(StartUpTest, EmptyArgumentLeavesTheAliasUnchanged) {
    int exitCode = -1;
    Form = StartUp("", Hooks(false), &exitCode);
    // The alias stays empty, so the chooser opens.
    EXPECT_TRUE(ChooserOpened);
    EXPECT_FALSE(Form);
}

TEST_F(StartUpTest, ChooserListsAliasesSortedAndFollowsItsKeys) {
    TSelectDbForm chooser;
    EXPECT_EQ(chooser.windowTitle(), "Select Database Alias");
    QStringList shown;
    for (int i = 0; i < chooser.cbDbList->count(); ++i)
        shown << chooser.cbDbList->item(i)->text();
    // Alphabetically, whatever the letter case: alpha before DEMO and Shop.
    QStringList sorted = shown;
    sorted.sort(Qt::CaseInsensitive);
    EXPECT_EQ(shown, sorted);
    EXPECT_TRUE(shown.contains("Shop"));
    EXPECT_TRUE(shown.contains("alpha"));
    EXPECT_TRUE(shown.contains("DEMO"));
    EXPECT_EQ(chooser.btOk->text(), "O&k");

    // The alias is matched without regard to case; an unknown one selects nothing.
    chooser.SetAliasName("SHOP");
    EXPECT_EQ(chooser.AliasName(), "Shop");
    // The same through the published property.
    chooser.setProperty("AliasName", "ALPHA");
    EXPECT_EQ(chooser.property("AliasName").toString(), "alpha");
    chooser.SetAliasName("nowhere");
    EXPECT_TRUE(chooser.AliasName().isEmpty());

    // Enter with nothing selected keeps the dialog open.
    chooser.open();
    QTest::keyClick(chooser.cbDbList, Qt::Key_Return);
    EXPECT_TRUE(chooser.isVisible());
    // Enter with an entry selected closes it as OK (1).
    chooser.SetAliasName("alpha");
    QTest::keyClick(chooser.cbDbList, Qt::Key_Return);
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.result(), TSelectDbForm::mrOk);

    // Escape closes as Cancel (2), selection or not.
    chooser.open();
    QTest::keyClick(chooser.cbDbList, Qt::Key_Escape);
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.result(), TSelectDbForm::mrCancel);

    // A double-click on an entry closes as OK.
    chooser.open();
    chooser.SetAliasName("alpha");
    Q_EMIT chooser.cbDbList->itemDoubleClicked(chooser.cbDbList->currentItem());
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.result(), TSelectDbForm::mrOk);
    EXPECT_EQ(chooser.AliasName(), "alpha");
}

TEST_F(StartUpTest, ChooserKeepsItsPlacesWhenResized) {
    TSelectDbForm chooser;
    EXPECT_EQ(chooser.font().pixelSize(), 12); // the main window's Tahoma
    EXPECT_EQ(chooser.cbDbList->sizeHintForRow(0), 14);
    chooser.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
    EXPECT_EQ(chooser.size(), QSize(320, 420));
    struct Row {
        QSize Dialog;
        QRect List, Ok, Cancel;
    } rows[] = {
        // As designed.
        {{320, 420}, {8, 8, 180, 380}, {204, 8, 97, 25}, {204, 48, 97, 25}},
        // Larger: the list grows on all four sides, the buttons keep to the
        // top-right corner.
        {{420, 520}, {8, 8, 280, 480}, {304, 8, 97, 25}, {304, 48, 97, 25}},
    };
    for (const Row& row : rows) {
        chooser.resize(row.Dialog);
        for (int i = 0; i < 200 && chooser.size() != row.Dialog; ++i)
            QTest::qWait(10);
        QCoreApplication::processEvents();
        ASSERT_EQ(chooser.size(), row.Dialog);
        EXPECT_EQ(chooser.cbDbList->geometry(), row.List) << row.Dialog.width();
        EXPECT_EQ(chooser.btOk->geometry(), row.Ok) << row.Dialog.width();
        EXPECT_EQ(chooser.btCancel->geometry(), row.Cancel) << row.Dialog.width();
    }
}

TEST_F(StartUpTest, AppExceptionShowsASystemMessage) {
    AppException("Boom");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "Boom");
    EXPECT_EQ(Messages[0].Caption, "Системно съобщение");
    EXPECT_EQ(Messages[0].Style, 16);
}

TEST(CommandLine, HelpAndVersionAnswerWithoutAWindow) {
    struct Row {
        const char* Arg;
        const char* Expected;
    } rows[] = {{"--version", "SQL Vexal "}, {"--help", "Usage: vexal"}};
    for (const Row& row : rows) {
        QProcess p;
        p.start(QStringLiteral(VEXAL_EXE), {QString::fromUtf8(row.Arg)});
        ASSERT_TRUE(p.waitForFinished(30000)) << row.Arg;
        EXPECT_EQ(p.exitCode(), 0) << row.Arg;
        EXPECT_TRUE(p.readAllStandardOutput().startsWith(row.Expected)) << row.Arg;
    }
    QProcess bad;
    bad.start(QStringLiteral(VEXAL_EXE), {QStringLiteral("--no-such-option")});
    ASSERT_TRUE(bad.waitForFinished(30000));
    EXPECT_EQ(bad.exitCode(), 2);
}

} // namespace
