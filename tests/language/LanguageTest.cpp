// The English interface: every window and dialog of the program, opened in
// English on the demo database, shows no Cyrillic outside the data (subject
// and column names, values); a batch run speaks the language chosen by the
// option, the environment or the setting, in that order.

#include "Language.h"
#include "ChartForm.h"
#include "DBLookupListBox.h"
#include "Database.h"
#include "DescribeDialog.h"
#include "ExportOptions.h"
#include "ExportSetupUnit.h"
#include "KivUtilUnit.h"
#include "MessageBox.h"
#include "RpStandardPreview.h"
#include "SQLVexalUnit.h"
#include "SelectDbUnit.h"
#include "SpravkaUnit.h"
#include "Vexal.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <functional>

namespace {

const QRegularExpression Cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));

struct Shown {
    QString Text;
    QString Caption;
};

// Every text of the demo database: subject and column names and the values
// of its tables. They are data and stay as the database has them.
QStringList DatabaseTexts(const QString& path) {
    QStringList texts;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return texts;
    }
    QStringList tables;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        tables << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    for (const QString& table : tables) {
        const QByteArray sql = "SELECT * FROM \"" + table.toUtf8() + '"';
        sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                if (const auto* text = sqlite3_column_text(st, c))
                    texts << QString::fromUtf8(reinterpret_cast<const char*>(text)).trimmed();
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    texts.removeAll(QString());
    texts.removeDuplicates();
    // Longest first, so a name is taken out whole before a shorter one in it.
    std::sort(texts.begin(), texts.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    return texts;
}

// The text without the whole-word occurrences of word: a unit "л" of the
// data must not hide an untranslated "Колона".
QString WithoutWord(QString text, const QString& word) {
    auto letter = [&text](qsizetype at) {
        return at >= 0 && at < text.size() && text[at].isLetterOrNumber();
    };
    for (qsizetype at = text.indexOf(word); at >= 0; at = text.indexOf(word, at)) {
        if (letter(at - 1) || letter(at + word.size()))
            at += 1;
        else
            text.remove(at, word.size());
    }
    return text;
}

// The texts a user sees on a widget and its children: titles, labels,
// buttons, group boxes, hints, menus and their items, header titles,
// combo box items, the status bar.
void CollectTexts(QWidget* root, QStringList& out) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    auto actions = [&out](auto&& self, const QList<QAction*>& list) -> void {
        for (QAction* action : list) {
            if (action->objectName() == QLatin1String("mnLanguageBg"))
                continue; // a language is named in itself
            out << action->text() << action->toolTip();
            if (action->menu())
                self(self, action->menu()->actions());
        }
    };
    for (QWidget* w : widgets) {
        if (w->isWindow() || w->inherits("QMdiSubWindow"))
            out << w->windowTitle();
        out << w->toolTip() << w->statusTip();
        if (auto* label = qobject_cast<QLabel*>(w))
            out << label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            out << button->text();
        else if (auto* box = qobject_cast<QGroupBox*>(w))
            out << box->title();
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            out << edit->placeholderText();
        else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i)
                out << combo->itemText(i);
        } else if (auto* bar = qobject_cast<QStatusBar*>(w)) {
            out << bar->currentMessage();
        } else if (auto* view = qobject_cast<QTableView*>(w); view && view->model()) {
            for (int c = 0; c < view->model()->columnCount(); ++c)
                out << view->model()->headerData(c, Qt::Horizontal).toString();
        }
        if (auto* menuBar = qobject_cast<QMenuBar*>(w))
            actions(actions, menuBar->actions());
        else if (!qobject_cast<QMenu*>(w))
            actions(actions, w->actions());
    }
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        setenv("XDG_CONFIG_HOME", QFile::encodeName(Dir.filePath("config")).constData(), 1);
        DbPath = Dir.filePath("demo.db");
        CreateDemoDatabase(DbPath, 60);
        Data = DatabaseTexts(DbPath);
        ASSERT_FALSE(Data.isEmpty());
        Aliases = Dir.filePath("aliases.ini");
        QFile ini(Aliases);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[LangTest]\nDriver=sqlite\nDatabase=" + QFile::encodeName(DbPath) + "\n");
        ini.close();
        setenv("VEXAL_ALIASES", QFile::encodeName(Aliases).constData(), 1);
        ProgramDir = Dir.path() + "/";
        ResetExportSettings();
        Previous = SetMessageBoxHandler([this](const QString& t, const QString& c, int style) {
            Messages.push_back({t, c});
            return DefaultMessageBoxButton(style);
        });
        SetKeyboardModifiersQuery([] { return Qt::KeyboardModifiers(Qt::NoModifier); });
        ASSERT_TRUE(InstallLanguage(QStringLiteral("en")));
    }
    void TearDown() override {
        Form.reset();
        InstallLanguage(QStringLiteral("bg"));
        SetMessageBoxHandler(Previous);
        SetKeyboardModifiersQuery(nullptr);
        delete WorkQuery;
        WorkQuery = nullptr;
        SessionDatabase = nullptr;
        SessionReady = false;
        LastSubject.clear();
        ResetExportSettings();
        unsetenv("VEXAL_ALIASES");
        unsetenv("XDG_CONFIG_HOME");
    }

    void StartMainWindow() {
        TStartupHooks hooks;
        hooks.CtrlHeld = [] { return false; };
        hooks.ChooseAlias = [](const QString&) { return QString(); };
        int exitCode = -1;
        Form = StartUp(QStringLiteral("LangTest"), hooks, &exitCode);
        ASSERT_TRUE(Form);
        Form->resize(1400, 900);
        Form->show();
        QCoreApplication::processEvents();
    }

    // The first inquiry window with the sales subject run.
    TSpravkaForm* RunSales() {
        auto* window = qobject_cast<TSpravkaForm*>(Form->CurrentInquiryWindow());
        if (!window)
            return nullptr;
        TDataSource* source = window->dsTableName;
        for (int row = 0; row < source->rowCount(); ++row) {
            if (source->index(row, 0).data().toString() != QStringLiteral("Продажби"))
                continue;
            window->ReportListBox->setCurrentIndex(source->index(row, 0));
            QTest::mouseClick(window->ReportListBox->viewport(), Qt::LeftButton, {},
                              window->ReportListBox->visualRect(source->index(row, 0)).center());
            QTest::mouseClick(window->btAddSpravka, Qt::LeftButton);
            break;
        }
        window->RunInquiry();
        QCoreApplication::processEvents();
        return window;
    }

    // What is left Cyrillic in the texts once the data is taken out.
    QStringList Untranslated(const QStringList& texts) const {
        QStringList left;
        for (QString text : texts) {
            for (const QString& data : Data)
                text = WithoutWord(text, data);
            if (text.contains(Cyrillic))
                left << text;
        }
        left.removeDuplicates();
        return left;
    }

    QStringList Untranslated(QWidget* window) const {
        QStringList texts;
        CollectTexts(window, texts);
        return Untranslated(texts);
    }

    QTemporaryDir Dir;
    QString DbPath;
    QString Aliases;
    QStringList Data;
    std::unique_ptr<TSQLVexalForm> Form;
    std::vector<Shown> Messages;
    MessageBoxHandler Previous;
};

// Runs open while a modal window is up: the walker reads the window that
// opened and closes it, so open() returns.
QStringList WhileModal(const std::function<void()>& open,
                       const std::function<QStringList(QWidget*)>& read) {
    QStringList found;
    bool seen = false;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        seen = true;
        found = read(modal);
        modal->close();
        poll->stop();
    });
    poll->start(20);
    open();
    delete poll;
    if (!seen)
        ADD_FAILURE() << "no modal window opened";
    return found;
}

TEST_F(LanguageTest, EveryWindowIsEnglishOutsideTheData) {
    StartMainWindow();
    TSpravkaForm* inquiry = RunSales();
    ASSERT_NE(inquiry, nullptr);
    ASSERT_GT(inquiry->dsData->rowCount(), 0);

    struct Window {
        const char* Name;
        std::function<QStringList()> Untranslated;
    };
    const std::vector<Window> windows = {
        {"main window with its menus", [&] { return Untranslated(Form.get()); }},
        {"inquiry window with a result", [&] { return Untranslated(inquiry); }},
        {"alias chooser",
         [&] {
             TSelectDbForm chooser;
             chooser.show();
             return Untranslated(&chooser);
         }},
        {"export settings",
         [&] {
             TExportSetupForm setup;
             setup.show();
             return Untranslated(&setup);
         }},
        {"describe dialog",
         [&] {
             TDescribeDialog dialog(*Form->Database);
             dialog.show();
             return Untranslated(&dialog);
         }},
        {"chart window",
         [&] {
             inquiry->mnChartClick();
             QCoreApplication::processEvents();
             auto* chart = inquiry->findChild<TChartForm*>(QStringLiteral("ChartForm"));
             if (!chart)
                 return QStringList{QStringLiteral("(no chart window)")};
             QStringList left = Untranslated(chart);
             chart->close();
             return left;
         }},
        {"report preview",
         [&] {
             QStringList left{QStringLiteral("(no preview)")};
             QTimer::singleShot(300, [&] {
                 for (QWidget* w : QApplication::topLevelWidgets()) {
                     if (auto* preview = qobject_cast<TRpStandardPreview*>(w)) {
                         left = Untranslated(preview);
                         preview->close();
                     }
                 }
             });
             inquiry->btPrintPreviewClick();
             return left;
         }},
        {"message box and its buttons",
         [&] {
             MessageBoxHandler seam = SetMessageBoxHandler(nullptr);
             const QStringList left = WhileModal(
                 [] { WidgetMessageBox(QStringLiteral("x"), QStringLiteral("y"), MB_YESNOCANCEL); },
                 [&](QWidget* box) { return Untranslated(box); });
             SetMessageBoxHandler(seam);
             return left;
         }},
        {"messages through the seam",
         [&] {
             Form->mnAbout->trigger();
             inquiry->mnShowColSumClick();
             Form->mnLanguageEn->trigger();
             QStringList texts;
             for (const Shown& m : Messages)
                 texts << m.Text << m.Caption;
             return Untranslated(texts);
         }},
    };
    for (const Window& w : windows) {
        SCOPED_TRACE(w.Name);
        const QStringList left = w.Untranslated();
        EXPECT_TRUE(left.isEmpty()) << w.Name << ": " << left.join(" | ").toStdString();
    }
    // The menu's choice is remembered for the next start.
    EXPECT_EQ(SavedLanguage(), QStringLiteral("en"));
}

// Every button and label of the inquiry window has its own Alt letter in
// English too, and the menu bar's letters are none of them (a letter shared
// with the window inside the frame would only move the focus).
TEST_F(LanguageTest, AltLettersAreDistinctInEnglish) {
    StartMainWindow();
    auto* inquiry = qobject_cast<TSpravkaForm*>(Form->CurrentInquiryWindow());
    ASSERT_NE(inquiry, nullptr);
    QMap<QChar, QString> used;
    for (QWidget* w : inquiry->findChildren<QWidget*>()) {
        QString text;
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text();
        else if (auto* label = qobject_cast<QLabel*>(w))
            text = label->text();
        const qsizetype at = text.indexOf(u'&');
        if (at < 0 || at + 1 >= text.size() || text[at + 1] == u'&')
            continue;
        const QChar letter = text[at + 1].toUpper();
        EXPECT_FALSE(used.contains(letter))
            << text.toStdString() << " and " << used.value(letter).toStdString();
        used.insert(letter, text);
    }
    EXPECT_GE(used.size(), 15);
    for (const QAction* menu : Form->menuBar()->actions()) {
        const QString text = menu->text();
        const qsizetype at = text.indexOf(u'&');
        ASSERT_TRUE(at >= 0 && at + 1 < text.size()) << text.toStdString();
        const QChar letter = text[at + 1].toUpper();
        EXPECT_FALSE(used.contains(letter))
            << text.toStdString() << " and " << used.value(letter).toStdString();
        used.insert(letter, text);
    }
}

// A batch run: the caption of its error on standard error follows the
// language of the option, else the environment, else the setting.
TEST_F(LanguageTest, BatchMessagesFollowTheChosenLanguage) {
    struct Case {
        const char* Why;
        QStringList Options;
        const char* Environment; // VEXAL_LANGUAGE, nullptr for none
        const char* Setting;     // Language= of the settings file, nullptr for none
        int ExitCode;
        const char* Expected;
    };
    const Case cases[] = {
        {"nothing chosen: Bulgarian", {}, nullptr, nullptr, 1, "Грешка: Няма такава справка: Нищо"},
        {"the option", {"--language", "en"}, nullptr, nullptr, 1, "Error: No such subject: Нищо"},
        {"the environment", {}, "en", nullptr, 1, "Error: No such subject: Нищо"},
        {"the setting", {}, nullptr, "en", 1, "Error: No such subject: Нищо"},
        {"the environment over the setting", {}, "bg", "en", 1, "Грешка: Няма такава справка"},
        {"the option over the environment",
         {"--language", "bg"},
         "en",
         nullptr,
         1,
         "Грешка: Няма такава справка"},
        {"case and blanks of the variable", {}, " EN ", nullptr, 1, "Error: No such subject"},
        {"a bad variable is passed over", {}, "de", nullptr, 1, "VEXAL_LANGUAGE=de"},
        {"a bad option ends the run",
         {"--language", "de"},
         nullptr,
         nullptr,
         2,
         "--language needs en or bg"},
        {"an option without a value",
         {"--language"},
         nullptr,
         nullptr,
         2,
         "--language needs en or bg"},
    };
    const QString config = Dir.filePath("batch-config");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        QDir(config).removeRecursively();
        if (c.Setting) {
            ASSERT_TRUE(QDir().mkpath(config + "/vexal"));
            QFile file(config + "/vexal/export.conf");
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("[General]\nLanguage=") + c.Setting + "\n");
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config);
        env.insert("VEXAL_ALIASES", Aliases);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("VEXAL_LANGUAGE");
        if (c.Environment)
            env.insert("VEXAL_LANGUAGE", c.Environment);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(VEXAL_EXE, QStringList{"LangTest", "--subject", "Нищо", "--sql"} + c.Options);
        ASSERT_TRUE(p.waitForFinished(120000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), c.ExitCode) << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.Expected))) << err.toStdString();
    }
}

// The report's own words (the page footer) follow the language; the
// subject's data stays as it is.
TEST_F(LanguageTest, ReportPagesSpeakTheChosenLanguage) {
    struct Case {
        const char* Language;
        const char* Footer;
    };
    for (const Case& c : {Case{"bg", "Стр. 1"}, Case{"en", "Page 1"}}) {
        SCOPED_TRACE(c.Language);
        const QString pdf = Dir.filePath(QStringLiteral("clients-%1.pdf").arg(c.Language));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", Dir.filePath("config"));
        env.insert("VEXAL_ALIASES", Aliases);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(VEXAL_EXE, {"LangTest", "--subject", "Клиенти", "--pdf", pdf, "--language",
                              c.Language});
        ASSERT_TRUE(run.waitForFinished(120000));
        ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
        QProcess text;
        text.start("pdftotext", {pdf, "-"});
        ASSERT_TRUE(text.waitForFinished(60000));
        const QString pages = QString::fromUtf8(text.readAllStandardOutput());
        EXPECT_TRUE(pages.contains(QString::fromUtf8(c.Footer))) << pages.toStdString();
        EXPECT_TRUE(pages.contains(QStringLiteral("Алфа ООД"))) << pages.toStdString();
    }
}

} // namespace

namespace {

// The kept translation is complete: lupdate marks a text added to the code
// "unfinished" and one taken out of it "vanished" or "obsolete"; either
// means the English program shows a Bulgarian text or carries a dead one.
TEST(LanguageFile, EveryMessageIsTranslated) {
    QFile file(QStringLiteral(VEXAL_SOURCE_DIR "/translations/vexal_en.ts"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString ts = QString::fromUtf8(file.readAll());
    for (const char* mark : {"type=\"unfinished\"", "type=\"vanished\"", "type=\"obsolete\""})
        EXPECT_FALSE(ts.contains(QLatin1String(mark))) << mark;
    EXPECT_GT(ts.count(QStringLiteral("<translation>")), 200);
    // Each translated text has no Cyrillic left in it.
    static const QRegularExpression translation(
        QStringLiteral("<translation>([^<]*)</translation>"));
    for (auto it = translation.globalMatch(ts); it.hasNext();) {
        const QString text = it.next().captured(1);
        EXPECT_FALSE(text.contains(Cyrillic)) << text.toStdString();
    }
}

} // namespace
