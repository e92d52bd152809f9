// Batch runs of the built program against the demo database, each compared
// with the same inquiry driven through an inquiry window in this process:
// the same SQL, the same export bytes and the same number of report pages.
// Then what a scheduler relies on: the exit status, the messages on standard
// error, and no file left behind by a run that failed.

#include "ChartModel.h"
#include "Database.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "Inquiry.h"
#include "MessageBox.h"
#include "Query.h"
#include "RpPrinter.h"
#include "RpSpravkaUnit.h"
#include "SavedInquiry.h"
#include "SelectDbUnit.h"
#include "ServerRoutines.h"
#include "SessionInit.h"
#include "SpravkaUnit.h"
#include "TestUtil.h"
#include "Win1251.h"
#include "WindowRoutines.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString Exe = QStringLiteral(VEXAL_EXE);

struct TBatchResult {
    int Exit = -1;
    QString Out;
    QString Err;
};

QTemporaryDir& SuiteDir() {
    static QTemporaryDir dir;
    return dir;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Tool(const char* name, const QStringList& args) {
    QProcess process;
    process.start(QString::fromLatin1(name), args);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

class BatchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The built-in DEMO alias of this process and of the program it
        // starts, which shares its data folder: a demo of a known size.
        ASSERT_TRUE(QDir().mkpath(QFileInfo(DemoDatabasePath()).path()));
        QFile::remove(DemoDatabasePath());
        CreateDemoDatabase(DemoDatabasePath(), 2000);
        QFile aliases(SuiteDir().filePath(QStringLiteral("aliases.ini")));
        ASSERT_TRUE(aliases.open(QIODevice::WriteOnly));
        // Zeta: a database without the inquiry catalogue.
        const QString chinook = TestUtil::CopyChinook(SuiteDir());
        aliases.write("[Zeta]\nDriver=sqlite\nDatabase=" + chinook.toUtf8() +
                      "\n[alpha]\nDriver=sqlite\nDatabase=alpha.db\n");
        aliases.close();
        // Qt wants a private runtime folder; without one it warns on
        // standard error, which is the program's message channel here.
        const QString runtime = SuiteDir().filePath(QStringLiteral("runtime"));
        ASSERT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void SetUp() override {
        ASSERT_TRUE(Work.isValid());
        qputenv("VEXAL_ALIASES",
                QFile::encodeName(SuiteDir().filePath(QStringLiteral("aliases.ini"))));
        SavedProgramDir = ProgramDir;
        // The connection script DEMO.SQL is beside the program.
        ProgramDir = QFileInfo(Exe).absolutePath() + u'/';
        SetMessageBoxHandler([this](const QString& text, const QString& caption, int style) {
            Messages << caption + QStringLiteral(": ") + text;
            return DefaultMessageBoxButton(style);
        });
        SetKeyboardModifiersQuery([] { return Qt::KeyboardModifiers(); });
        CurrentUserN = -1;
        Database = new TDatabase;
        Database->SetDatabaseName(QStringLiteral("restdata"));
        Database->SetAliasName(QStringLiteral("DEMO"));
        Database->SetLoginPrompt(false);
        Database->Open();
        InitSession(*Database);
        WriteStoredSettings({});
        ResetExportSettings();

        Frame = new QMainWindow;
        Frame->setCentralWidget(new QMdiArea(Frame));
        Frame->resize(1280, 900);
        SetMainForm(Frame);
        Frame->show();
    }

    void TearDown() override {
        delete Frame;
        Frame = nullptr;
        SetMainForm(nullptr);
        delete Database;
        Database = nullptr;
        SessionDatabase = nullptr;
        SetMessageBoxHandler(nullptr);
        SetSaveFileDialogHandler(nullptr);
        SetInquiryFileDialogHandler(nullptr);
        SetKeyboardModifiersQuery(nullptr);
        WriteStoredSettings({});
        ResetExportSettings();
        ProgramDir = SavedProgramDir;
        LastSubject.clear();
        qunsetenv("VEXAL_ALIASES");
    }

    // Runs the program in the work folder, as a scheduler would: no display
    // and no platform named, so the program has to pick one itself.
    TBatchResult Batch(const QStringList& args) const {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                   SuiteDir().filePath(QStringLiteral("runtime")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(Work.path());
        process.start(Exe, args);
        TBatchResult result;
        if (!process.waitForFinished(300000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        if (process.exitStatus() == QProcess::NormalExit)
            result.Exit = process.exitCode();
        result.Out = QString::fromUtf8(process.readAllStandardOutput());
        result.Err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    // The user's stored export settings; none at all for an empty map.
    static void WriteStoredSettings(const QVariantMap& values) {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vexal"),
                           QStringLiteral("export"));
        settings.clear();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
        settings.sync();
    }
    static QString StoredSettingsFile() {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vexal"),
                         QStringLiteral("export"))
            .fileName();
    }

    // An inquiry window as the user has it: a child of the frame, shown.
    TSpravkaForm* OpenWindow() {
        auto* window = new TSpravkaModalForm(Frame);
        qobject_cast<QMdiSubWindow*>(window->parentWidget())->showMaximized();
        QCoreApplication::processEvents();
        return window;
    }
    static void CloseWindow(TSpravkaForm* window) {
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A condition added as the condition panel adds it.
    static void AddCondition(TSpravkaForm* window, const QString& column, const QString& op,
                             const QString& value) {
        ASSERT_TRUE(window->Inquiry->qrCol->Locate(QStringLiteral("BGColName"), column, false));
        window->cbSign->setCurrentIndex(window->cbSign->findText(op));
        window->cbFilter->setEditText(value);
        window->btAddFilterClick();
    }

    // Saves an inquiry on subject as "Запис" saves it, after the default
    // conditions are removed (when asked) and conditions are added; returns
    // the base name in the work folder.
    QString SaveSet(const QString& name, const QString& subject, bool dropDefaults,
                    const QStringList& condition = {}) {
        TSpravkaForm* window = OpenWindow();
        window->SelectSubject(subject);
        while (dropDefaults && !window->Inquiry->RelationsBG.isEmpty())
            window->Inquiry->RemoveRelation(0);
        if (condition.size() == 3)
            AddCondition(window, condition[0], condition[1], condition[2]);
        const QString base = Work.filePath(name + QStringLiteral(".SQL"));
        SetInquiryFileDialogHandler(
            [base](QWidget*, bool, const QString&, const QString&) { return base; });
        window->BitBtn6Click();
        CloseWindow(window);
        EXPECT_TRUE(QFileInfo::exists(base + QStringLiteral(".REL.DRN"))) << name.toStdString();
        return base;
    }

    QTemporaryDir Work;
    QMainWindow* Frame = nullptr;
    TDatabase* Database = nullptr;
    QStringList Messages;
    QString SavedProgramDir;
};

} // namespace

TEST_F(BatchTest, BatchRunGivesTheSqlExportAndPagesOfTheWindow) {
    const QString karta =
        SaveSet(QStringLiteral("karta"), QStringLiteral("Продажби"), false,
                {QStringLiteral("Плащане"), QStringLiteral("="), QStringLiteral("Карта")});
    const QString sofia =
        SaveSet(QStringLiteral("sofia"), QStringLiteral("Клиенти"), true,
                {QStringLiteral("Град"), QStringLiteral("="), QStringLiteral("София")});

    struct Case {
        const char* Why;
        QString Subject;                   // what the window selects
        bool SubjectGiven;                 // --subject; else the batch takes it from the set
        QString Set;                       // --run
        QString Title;                     // --title when not null
        bool RowNumbers;                   // --row-numbers
        QStringList Options;               // export options of the command line
        std::function<void()> SameOptions; // the same, set in this process
        QVariantMap Stored;                // the user's stored export settings
    } const cases[] = {
        // A subject on its own, its 60 clients over two pages, with the
        // user's title and row numbers; the export's default settings.
        {"subject, title and row numbers",
         QStringLiteral("Клиенти"),
         true,
         QString(),
         QStringLiteral("Клиенти по градове"),
         true,
         {},
         nullptr,
         {}},
        // The subject comes from the saved set's own file; the export is in
        // fixed widths (the grid's widths, so they must be those of a shown
        // window) in the Bulgarian DOS code page.
        {"saved inquiry, fixed widths, DOS code page",
         QStringLiteral("Продажби"),
         false,
         karta,
         QString(),
         false,
         {QStringLiteral("--delimiter"), QStringLiteral(";"), QStringLiteral("--fixed"),
          QStringLiteral("--code-page"), QStringLiteral("dos")},
         [] {
             ExportTxtOpts.TxtClmDelimiter = QStringLiteral(";");
             ExportTxtOpts.FixedClmWidth = true;
             ExportTxtOpts.TxtCyrSet = 1;
             CyrTailShift = 64;
         },
         {}},
        // A server variable, the pre-run script, grouping and a landscape
        // page; the user's stored settings ("|", Russian code page) apply
        // and the command line switches the header off on top of them.
        {"stored settings with a command-line override",
         QStringLiteral("Продажби за година"),
         true,
         QString(),
         QStringLiteral("Оборот по месеци"),
         false,
         {QStringLiteral("--no-header")},
         [] { ExportTxtOpts.ExportHeader = false; },
         {{QStringLiteral("TxtClmDelimiter"), QStringLiteral("|")},
          {QStringLiteral("TxtCyrSet"), 2},
          {QStringLiteral("CyrTailShift"), 16}}},
        // --subject wins over the set's own subject: the set's conditions
        // apply to the columns of the subject shown.
        {"saved inquiry loaded into another subject",
         QStringLiteral("Телефонен указател"),
         true,
         sofia,
         QString(),
         true,
         {QStringLiteral("--delimiter"), QStringLiteral("none")},
         [] { ExportTxtOpts.TxtClmDelimiter.clear(); },
         {}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        WriteStoredSettings(c.Stored);
        const QByteArray storedBefore = ReadAll(StoredSettingsFile());

        QStringList args{QStringLiteral("DEMO")};
        if (c.SubjectGiven)
            args << QStringLiteral("--subject") << c.Subject;
        if (!c.Set.isEmpty())
            args << QStringLiteral("--run") << QFileInfo(c.Set).fileName();
        if (!c.Title.isNull())
            args << QStringLiteral("--title") << c.Title;
        if (c.RowNumbers)
            args << QStringLiteral("--row-numbers");
        args << QStringLiteral("--sql") << QStringLiteral("--export") << QStringLiteral("batch.txt")
             << QStringLiteral("--report") << QStringLiteral("batch.rpt") << c.Options;
        const TBatchResult batch = Batch(args);
        ASSERT_EQ(batch.Exit, 0) << batch.Err.toStdString();
        // The command line's settings were for that run only.
        EXPECT_EQ(ReadAll(StoredSettingsFile()), storedBefore);

        // The same inquiry by hand.
        ResetExportSettings();
        LoadExportSettings();
        if (c.SameOptions)
            c.SameOptions();
        TSpravkaForm* window = OpenWindow();
        window->SelectSubject(c.Subject);
        if (!c.Set.isEmpty()) {
            const QString set = c.Set;
            SetInquiryFileDialogHandler(
                [set](QWidget*, bool, const QString&, const QString&) { return set; });
            window->BitBtn7Click();
        }
        if (!c.Title.isNull())
            window->edTitle->setText(c.Title);
        window->cbRowNumbers->setChecked(c.RowNumbers);
        window->RunInquiry();
        TQuery* data = window->Inquiry->qrDATA();
        ASSERT_TRUE(data->Active());
        ASSERT_FALSE(data->IsEmpty());
        EXPECT_EQ(batch.Out, data->SQL().join(u'\n') + u'\n');

        const QString mine = Work.filePath(QStringLiteral("window.txt"));
        SetSaveFileDialogHandler([mine](const QString&, const QString&, const QString&,
                                        const QString&) { return mine; });
        window->btExportClick();
        const QByteArray exported = ReadAll(mine);
        EXPECT_FALSE(exported.isEmpty());
        EXPECT_EQ(ReadAll(Work.filePath(QStringLiteral("batch.txt"))), exported);

        int pages = 0;
        window->ReportForm->PrintPages = [&pages](TRpPrinter* printer) {
            pages = printer->PageCount();
        };
        window->btPrintClick();
        TRpPrinter stored;
        stored.OpenReportFile(Work.filePath(QStringLiteral("batch.rpt")));
        EXPECT_GE(pages, 1);
        EXPECT_EQ(stored.PageCount(), pages);
        EXPECT_TRUE(Messages.isEmpty()) << Messages.join(u'\n').toStdString();

        CloseWindow(window);
        for (const char* file : {"batch.txt", "batch.rpt", "window.txt"})
            QFile::remove(Work.filePath(QLatin1String(file)));
    }
}

TEST_F(BatchTest, FailedRunsReportOnStandardErrorAndWriteNothing) {
    // "Продажби" without the condition its "Дата" column must have.
    SaveSet(QStringLiteral("nocond"), QStringLiteral("Продажби"), true);
    // Conditions that match no client.
    SaveSet(QStringLiteral("empty"), QStringLiteral("Клиенти"), false,
            {QStringLiteral("Град"), QStringLiteral("="), QStringLiteral("Никъде")});
    // A condition on a column the table does not have: the server refuses.
    const QString bad = SaveSet(QStringLiteral("badcol"), QStringLiteral("Клиенти"), false);
    for (const char* suffix : {".REL.DRN", ".RELFunc.DRN"}) {
        QFile file(bad + QLatin1String(suffix));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Clients.Nope ='1'\r\n");
    }
    // Grouped, or ordered, on a display name the subject does not have: the
    // embedded database must refuse it as a server does, not group every
    // row into one or ignore the ordering.
    const QString unknownGroup =
        SaveSet(QStringLiteral("unknowngroup"), QStringLiteral("Стоки"), false);
    const QString unknownOrder =
        SaveSet(QStringLiteral("unknownorder"), QStringLiteral("Клиенти"), false);
    const struct {
        const QString& Base;
        const char* Suffix;
        QString Line;
    } edits[] = {
        {unknownGroup, ".GROUP.DRN", QStringLiteral("\"Клиент\"")},
        {unknownGroup, ".GROUPBG.DRN", QStringLiteral("Клиент")},
        {unknownOrder, ".ORDER.DRN", QStringLiteral("\"Клиент\" ASC")},
        {unknownOrder, ".ORDERFN.DRN", QStringLiteral("\"Клиент\" ASC")},
        {unknownOrder, ".ORDERBG.DRN", QStringLiteral("Клиент ASC")},
    };
    for (const auto& edit : edits) {
        QFile file(edit.Base + QLatin1String(edit.Suffix));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Win1251::Encode(edit.Line) + "\r\n");
    }
    // A set without the file that names its subject.
    const QString noSubject =
        SaveSet(QStringLiteral("nosubject"), QStringLiteral("Клиенти"), false);
    ASSERT_TRUE(QFile::remove(noSubject + QStringLiteral(".SELBG.DRN")));
    const bool printers = !QPrinterInfo::availablePrinterNames().isEmpty();

    struct Case {
        const char* Why;
        QStringList Args;
        int Exit;
        QString ErrLine;   // a line that standard error must begin with
        QStringList Files; // files of the work folder that must not exist
        bool NeedsNoPrinter = false;
    } const cases[] = {
        // The window's mandatory check, caption with its trailing blank.
        {"missing mandatory condition",
         {"DEMO", "--run", "nocond.SQL", "--export", "m.txt", "--pdf", "m.pdf", "--report",
          "m.rpt"},
         1,
         QStringLiteral("Съобщение : Липсва условие за: \"Дата\""),
         {"m.txt", "m.pdf", "m.rpt"}},
        // The server's message as the window shows a failed run; ".SQL" is
        // added to the bare set name.
        {"SQL failure",
         {"DEMO", "--run", "badcol", "--export", "s.txt", "--pdf", "s.pdf"},
         1,
         QStringLiteral("Системно съобщение: "),
         {"s.txt", "s.pdf"}},
        {"grouped on a name the subject lacks",
         {"DEMO", "--run", "unknowngroup", "--export", "g.txt"},
         1,
         QStringLiteral("Системно съобщение: "),
         {"g.txt"}},
        {"ordered on a name the subject lacks",
         {"DEMO", "--run", "unknownorder", "--export", "o.txt"},
         1,
         QStringLiteral("Системно съобщение: "),
         {"o.txt"}},
        // The start-up's connection failure.
        {"unknown alias",
         {"NoSuchAlias", "--subject", "Клиенти", "--export", "a.txt"},
         1,
         QStringLiteral("Грешка: "),
         {"a.txt"}},
        // Running without a subject would take the first one in the list.
        {"unknown subject",
         {"DEMO", "--subject", "Няма такава", "--export", "u.txt"},
         1,
         QStringLiteral("Грешка: Няма такава справка: Няма такава"),
         {"u.txt"}},
        // No such set: said by name, not as a folder or file problem.
        {"missing saved inquiry",
         {"DEMO", "--run", "nothere", "--export", "n.txt"},
         1,
         QStringLiteral("Грешка: Няма такава записана справка: "),
         {"n.txt"}},
        // A set whose subject file cannot be read: the loader's message.
        {"unreadable saved inquiry",
         {"DEMO", "--run", "nosubject", "--export", "r.txt"},
         1,
         QStringLiteral("Грешка: ") + SavedInquiryFailureMessage(),
         {"r.txt"}},
        // The export fails; the PDF after it is not written.
        {"export into a missing folder",
         {"DEMO", "--subject", "Клиенти", "--export", "nofolder/e.txt", "--pdf", "e.pdf"},
         1,
         QStringLiteral("Грешка: Невъзможен запис във файл"),
         {"e.pdf"}},
        // No rows is no error, but the missing file is told.
        {"empty result",
         {"DEMO", "--run", "empty", "--pdf", "z.pdf", "--report", "z.rpt"},
         0,
         QStringLiteral("Съобщение: Справката няма редове: "),
         {"z.pdf", "z.rpt"}},
        // Written, but a character the code page lacks is told, not hidden
        // behind a '?'.
        {"a title outside the code page",
         {"DEMO", "--subject", "Клиенти", "--title", "Mötley Crüe", "--export", "t.txt"},
         0,
         QStringLiteral("Съобщение: 1 стойности съдържат знаци"),
         {}},
        // A catalogue that cannot be read, as the message loop would show it.
        {"no catalogue: subject list",
         {"Zeta", "--list-subjects"},
         1,
         QStringLiteral("Системно съобщение: "),
         {}},
        {"no catalogue: inquiry",
         {"Zeta", "--subject", "Клиенти", "--export", "c.txt"},
         1,
         QStringLiteral("Системно съобщение: "),
         {"c.txt"}},
        // The window's print is silent when there is no printer; a batch run
        // must not report that as printed.
        {"print without a printer",
         {"DEMO", "--subject", "Клиенти", "--print"},
         1,
         QStringLiteral("Грешка: Няма принтер"),
         {},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        if (c.NeedsNoPrinter && printers)
            continue;
        const TBatchResult batch = Batch(c.Args);
        EXPECT_EQ(batch.Exit, c.Exit) << batch.Err.toStdString();
        const QStringList lines = batch.Err.split(u'\n');
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& line) {
            return line.startsWith(c.ErrLine);
        })) << batch.Err.toStdString();
        for (const QString& file : c.Files)
            EXPECT_FALSE(QFileInfo::exists(Work.filePath(file))) << file.toStdString();
    }
}

// A saved condition on a variable column reaches the server in a batch run
// as in the window: the rows and the export's heading are those of the saved
// year, not of the year the connection script and the subject's default set.
TEST_F(BatchTest, SavedVariableConditionSelectsItsRows) {
    const QString year =
        SaveSet(QStringLiteral("year2023"), QStringLiteral("Продажби за година"), true,
                {QStringLiteral("Година"), QStringLiteral("="), QStringLiteral("2023")});
    const TBatchResult batch =
        Batch({QStringLiteral("DEMO"), QStringLiteral("--run"), QStringLiteral("year2023"),
               QStringLiteral("--export"), QStringLiteral("year.txt")});
    ASSERT_EQ(batch.Exit, 0) << batch.Err.toStdString();

    TSpravkaForm* window = OpenWindow();
    window->SelectSubject(QStringLiteral("Продажби за година"));
    SetInquiryFileDialogHandler(
        [year](QWidget*, bool, const QString&, const QString&) { return year; });
    window->BitBtn7Click();
    const QString mine = Work.filePath(QStringLiteral("window.txt"));
    SetSaveFileDialogHandler(
        [mine](const QString&, const QString&, const QString&, const QString&) { return mine; });
    window->btExportClick();
    CloseWindow(window);

    for (const QString& file : {Work.filePath(QStringLiteral("year.txt")), mine}) {
        SCOPED_TRACE(file.toStdString());
        const QString text = Win1251::Decode(ReadAll(file));
        EXPECT_TRUE(text.contains(QStringLiteral("Година : 2023"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("2023-"))) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("2024-"))) << text.toStdString();
    }
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join(u'\n').toStdString();
}

TEST_F(BatchTest, WrongCommandLinesExitWithTwo) {
    const QStringList cases[] = {
        {"--sql", "--subject", "Клиенти"},            // no alias
        {"DEMO", "--sql"},                            // no subject, no saved inquiry
        {"DEMO", "--subject"},                        // option without its value
        {"DEMO", "--subject", "Клиенти", "--export"}, // export without a file
        {"DEMO", "--subject", "Клиенти", "--export", "a.txt", "--delimiter",
         "ab"}, // two characters
        {"DEMO", "--subject", "Клиенти", "--export", "a.txt", "--code-page", "mac"}, // no such page
        {"DEMO", "--subject", "Клиенти", "--sql", "--no-header"}, // export setting without export
        {"DEMO", "--list-subjects", "--sql", "--subject", "Клиенти"}, // a list is no inquiry
        {"DEMO", "--list-aliases"},      // the alias list needs no alias
        {"DEMO", "--title", "Заглавие"}, // an inquiry option with no output
        {"DEMO", "--subject", "Клиенти", "--pdf", "p.pdf", "--describe", "Clients"}, // two jobs
        {"DEMO", "--subject", "Клиенти", "--sql", "--bogus"}, // unknown option
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        const TBatchResult batch = Batch(args);
        EXPECT_EQ(batch.Exit, 2);
        EXPECT_TRUE(batch.Out.isEmpty());
        EXPECT_TRUE(batch.Err.startsWith(QStringLiteral("vexal: "))) << batch.Err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(Work.filePath(QStringLiteral("a.txt"))));
    EXPECT_FALSE(QFileInfo::exists(Work.filePath(QStringLiteral("p.pdf"))));
}

TEST_F(BatchTest, TwoPageReportAsPdf) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdfinfo and pdftotext (poppler-utils) are needed";
    // The 60 clients fill a page and part of a second one.
    const TBatchResult batch =
        Batch({"DEMO", "--subject", "Клиенти", "--title", "Клиенти по градове", "--row-numbers",
               "--pdf", "clients.pdf"});
    ASSERT_EQ(batch.Exit, 0) << batch.Err.toStdString();
    const QString pdf = Work.filePath(QStringLiteral("clients.pdf"));
    const QString info = Tool("pdfinfo", {pdf});
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Pages:\\s+2$"), QRegularExpression::MultilineOption)
            .match(info)
            .hasMatch())
        << info.toStdString();
    const QString text = Tool("pdftotext", {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    for (const char* expected :
         {"Клиенти по градове", "Код", "Име", "Град", "Регистриран на", "Стр. 1", "Стр. 2"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    // Row numbers on: the column header begins with "No".
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\s*No\\s+Код"), QRegularExpression::MultilineOption)
            .match(text)
            .hasMatch())
        << text.left(400).toStdString();
}

TEST_F(BatchTest, ChartOfTheResultByTheFilesExtension) {
    // The demo's options row names a bar chart of the months; PNG is A4
    // landscape at 150 dpi.
    TBatchResult batch = Batch({"DEMO", "--subject", "Продажби за година", "--chart", "y.png"});
    ASSERT_EQ(batch.Exit, 0) << batch.Err.toStdString();
    const QImage png(Work.filePath(QStringLiteral("y.png")));
    EXPECT_EQ(png.size(), QSize(1754, 1240));
    EXPECT_EQ(qRound(png.dotsPerMeterX() * 0.0254), 150);

    batch = Batch(
        {"DEMO", "--subject", "Продажби за година", "--chart", "y.pdf", "--chart-kind", "line"});
    ASSERT_EQ(batch.Exit, 0) << batch.Err.toStdString();
    if (!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        const QString text =
            Tool("pdftotext", {Work.filePath(QStringLiteral("y.pdf")), QStringLiteral("-")});
        for (const char* expected : {"Продажби за година", "2024-01", "2024-12", "Оборот"})
            EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    }

    // No number in the result: an error and no file.
    batch = Batch({"DEMO", "--subject", "Телефонен указател", "--chart", "c.svg"});
    EXPECT_EQ(batch.Exit, 1);
    EXPECT_TRUE(batch.Err.contains(NoChartValuesMessage())) << batch.Err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Work.filePath(QStringLiteral("c.svg"))));

    const QStringList wrong[] = {
        {"DEMO", "--subject", "Клиенти", "--chart", "c.bmp"}, // no such kind
        {"DEMO", "--subject", "Клиенти", "--chart", "c.png", "--chart-kind", "radar"}, // nor this
        {"DEMO", "--subject", "Клиенти", "--sql", "--chart-kind", "pie"}, // a kind with no chart
    };
    for (const QStringList& args : wrong) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        EXPECT_EQ(Batch(args).Exit, 2);
    }
    EXPECT_FALSE(QFileInfo::exists(Work.filePath(QStringLiteral("c.png"))));
}

TEST_F(BatchTest, SubjectAndAliasLists) {
    // The subjects the window's subject list offers, in its order.
    TSpravkaForm* window = OpenWindow();
    QString subjects;
    TQuery* list = window->Inquiry->qrTableName;
    for (list->First(); !list->Eof(); list->Next())
        subjects += list->FieldByName(QStringLiteral("BGTableName"))->AsString() + u'\n';
    CloseWindow(window);
    ASSERT_TRUE(subjects.contains(QStringLiteral("Клиенти\n")));
    // A disabled subject and an administrator's one are not offered.
    EXPECT_FALSE(subjects.contains(QStringLiteral("Архив")));
    EXPECT_FALSE(subjects.contains(QStringLiteral("Журнал")));
    const TBatchResult listed = Batch({"DEMO", "--list-subjects"});
    EXPECT_EQ(listed.Exit, 0) << listed.Err.toStdString();
    EXPECT_EQ(listed.Out, subjects);

    // The chooser's order: alphabetical whatever the letter case.
    QString chooser;
    {
        TSelectDbForm form;
        for (int i = 0; i < form.cbDbList->count(); ++i)
            chooser += form.cbDbList->item(i)->text() + u'\n';
    }
    const TBatchResult aliases = Batch({"--list-aliases"});
    EXPECT_EQ(aliases.Exit, 0) << aliases.Err.toStdString();
    EXPECT_EQ(aliases.Out, chooser);
    const QStringList shown = aliases.Out.split(u'\n');
    EXPECT_LT(shown.indexOf(QStringLiteral("alpha")), shown.indexOf(QStringLiteral("DEMO")));
    EXPECT_LT(shown.indexOf(QStringLiteral("DEMO")), shown.indexOf(QStringLiteral("Zeta")));
}

// Two first starts of the demo at once (two users logging in, a scheduler
// and a user) each build it; neither may see, or leave behind, a half-made
// or empty file. Five rounds, each in a fresh data folder.
TEST_F(BatchTest, TwoFirstStartsOfTheDemoAtOnce) {
    auto start = [&](QProcess& process, const QString& data) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                   SuiteDir().filePath(QStringLiteral("runtime")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(Work.path());
        process.start(Exe, {QStringLiteral("DEMO"), QStringLiteral("--list-subjects")});
    };
    QString expected;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        QTemporaryDir data;
        ASSERT_TRUE(data.isValid());
        QProcess first;
        QProcess second;
        start(first, data.path());
        start(second, data.path());
        for (QProcess* process : {&first, &second}) {
            ASSERT_TRUE(process->waitForFinished(120000));
            EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
            const QString out = QString::fromUtf8(process->readAllStandardOutput());
            EXPECT_TRUE(out.contains(QStringLiteral("Клиенти\n"))) << out.toStdString();
            if (expected.isEmpty())
                expected = out;
            EXPECT_EQ(out, expected);
        }
        // One complete demo stays, and no file of a build.
        const QString demo = data.filePath(QStringLiteral("vexal/demo.db"));
        EXPECT_TRUE(DemoDatabaseUsable(demo));
        EXPECT_EQ(QDir(data.filePath(QStringLiteral("vexal")))
                      .entryList(QDir::Files | QDir::Hidden | QDir::System),
                  QStringList{QStringLiteral("demo.db")});
        // A demo left empty (as an old build that died could) is built again.
        if (round == 0) {
            ASSERT_TRUE(QFile::resize(demo, 0));
            QProcess third;
            start(third, data.path());
            ASSERT_TRUE(third.waitForFinished(120000));
            EXPECT_EQ(third.exitCode(), 0) << third.readAllStandardError().toStdString();
            EXPECT_EQ(QString::fromUtf8(third.readAllStandardOutput()), expected);
        }
    }
}

namespace {

// The parts of a workbook and what each holds, except its properties (they
// carry the time it was made): equal for two workbooks with the same cells.
QString WorkbookParts(const QString& file) {
    const char* const script = R"(
import sys, zipfile, hashlib
z = zipfile.ZipFile(sys.argv[1])
for n in sorted(z.namelist()):
    if n != "docProps/core.xml":
        print(n, hashlib.sha256(z.read(n)).hexdigest())
)";
    return Tool("python3", {QStringLiteral("-c"), QString::fromUtf8(script), file});
}

// A subject of 42 columns, two past the report's column slots, with totals
// on the first and the last column, and a few rows; add false takes it out
// of the catalogue again.
void AddWideSubject(TDatabase& database, bool add = true) {
    TQuery query;
    query.SetDatabaseName(database.DatabaseName());
    auto exec = [&query](const QString& sql) {
        query.SetSQLText(sql);
        query.ExecSQL();
    };
    QStringList columns;
    for (int c = 1; c <= 42; ++c)
        columns << QStringLiteral("c%1 INTEGER").arg(c);
    exec(QStringLiteral("DROP TABLE IF EXISTS Wide"));
    exec(QStringLiteral("CREATE TABLE Wide (%1)").arg(columns.join(u',')));
    for (int r = 1; r <= 30; ++r) {
        QStringList values;
        for (int c = 1; c <= 42; ++c)
            values << QString::number(r * 100 + c);
        exec(QStringLiteral("INSERT INTO Wide VALUES (%1)").arg(values.join(u',')));
    }
    exec(QStringLiteral("DELETE FROM Relations WHERE TableName = 'Wide'"));
    if (!add)
        return;
    for (int c = 1; c <= 42; ++c) {
        const QString total = c == 1 || c == 42 ? QStringLiteral("SUM([К%1])").arg(c) : QString();
        exec(
            QStringLiteral("INSERT INTO Relations(N, TableName, BGTableName, ColName, BGColName, "
                           "SelectCol, Promenliva, Function, Zadaljitelna, Sortirane, DftFilter, "
                           "DftLike, FilterList, RelationTable, RelationCol, Align, Shirina, Mask, "
                           "Suma, AutoStretch) VALUES (%1, 'Wide', 'Широка', 'c%2', 'К%2', 2, 0, "
                           "'c%2', 0, 0, '', 0, '', '', '', 1, 40, '', '%3', 0)")
                .arg(9000 + c)
                .arg(c)
                .arg(total));
    }
}

} // namespace

// A run that only exports reads the rows once, forward-only, writing each as
// it comes; the window holds them for its grid. Both give the same bytes,
// and a PDF made the same way the same pages.
TEST_F(BatchTest, ExportOnlyRunWritesTheBytesOfTheWindowsExport) {
    struct Case {
        QString Subject;
        QStringList Formats;
        QStringList Options; // of the command line
        std::function<void()> SameOptions;
    };
    QList<Case> cases;
    {
        TSpravkaForm* window = OpenWindow();
        TQuery* list = window->Inquiry->qrTableName;
        for (list->First(); !list->Eof(); list->Next())
            cases << Case{list->FieldByName(QStringLiteral("BGTableName"))->AsString(),
                          {QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("xlsx")},
                          {},
                          nullptr};
        CloseWindow(window);
    }
    ASSERT_GE(cases.size(), 5);
    AddWideSubject(*Database);
    struct TDropWide {
        TDatabase* Database;
        ~TDropWide() { AddWideSubject(*Database, false); }
    } dropWide{Database};
    // Columns past the report's 40 slots: the text file without its header
    // and footer, the table formats whole.
    cases << Case{QStringLiteral("Широка"),
                  {QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("xlsx")},
                  {QStringLiteral("--no-header")},
                  [] { ExportTxtOpts.ExportHeader = false; }};

    // The report's pages too: a PDF is the only output, so its rows are read
    // once as well. The text of the pages without the time they were made.
    const bool pdfTools = !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
    const auto pdfText = [](const QString& pdf) {
        QString text = Tool("pdftotext", {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        text.replace(QRegularExpression(QStringLiteral("\\d\\d?:\\d\\d(:\\d\\d)?")),
                     QStringLiteral("T"));
        QFile::remove(pdf);
        return text;
    };
    const auto BatchPdfText = [&](const QString& subject) {
        const TBatchResult batch =
            Batch({QStringLiteral("DEMO"), QStringLiteral("--subject"), subject,
                   QStringLiteral("--pdf"), QStringLiteral("batch.pdf")});
        EXPECT_EQ(batch.Exit, 0) << batch.Err.toStdString();
        return pdfText(Work.filePath(QStringLiteral("batch.pdf")));
    };
    const auto WindowPdfText = [&](TSpravkaForm* window) {
        const QString pdf = Work.filePath(QStringLiteral("window.pdf"));
        window->ReportForm->PrintPages = [pdf](TRpPrinter* printer) { printer->SavePdf(pdf); };
        window->btPrintClick();
        const QString text = pdfText(pdf);
        EXPECT_FALSE(text.trimmed().isEmpty());
        return text;
    };

    for (const Case& c : cases) {
        for (const QString& format : c.Formats) {
            SCOPED_TRACE((c.Subject + u' ' + format).toStdString());
            const QString batchFile = QStringLiteral("batch.") + format;
            const TBatchResult batch =
                Batch(QStringList{QStringLiteral("DEMO"), QStringLiteral("--subject"), c.Subject,
                                  QStringLiteral("--export"), batchFile}
                      << c.Options);
            ASSERT_EQ(batch.Exit, 0) << batch.Err.toStdString();

            ResetExportSettings();
            LoadExportSettings();
            if (c.SameOptions)
                c.SameOptions();
            TSpravkaForm* window = OpenWindow();
            window->SelectSubject(c.Subject);
            window->RunInquiry();
            ASSERT_TRUE(window->Inquiry->qrDATA()->Active());
            const QString mine = Work.filePath(QStringLiteral("window.") + format);
            SetSaveFileDialogHandler([mine](const QString&, const QString&, const QString&,
                                            const QString&) { return mine; });
            window->btExportClick();
            if (format == QLatin1String("txt") && pdfTools) {
                EXPECT_EQ(BatchPdfText(c.Subject), WindowPdfText(window));
            }
            CloseWindow(window);
            EXPECT_TRUE(Messages.isEmpty()) << Messages.join(u'\n').toStdString();
            Messages.clear();

            const QString theirs = Work.filePath(batchFile);
            if (format == QLatin1String("xlsx")) {
                const QString parts = WorkbookParts(mine);
                EXPECT_TRUE(parts.contains(QStringLiteral("xl/worksheets/sheet1.xml")));
                EXPECT_EQ(WorkbookParts(theirs), parts);
                // The footer's totals are known only after the last row: the
                // sales' quantity total is there, as a formula.
                if (c.Subject == QStringLiteral("Продажби")) {
                    const QString sheet =
                        Tool("unzip", {QStringLiteral("-p"), theirs,
                                       QStringLiteral("xl/worksheets/sheet1.xml")});
                    EXPECT_TRUE(sheet.contains(QStringLiteral("<f>SUM(")))
                        << sheet.right(400).toStdString();
                }
            } else {
                const QByteArray exported = ReadAll(mine);
                EXPECT_FALSE(exported.isEmpty());
                EXPECT_EQ(ReadAll(theirs), exported);
            }
            QFile::remove(mine);
            QFile::remove(theirs);
        }
    }
}
