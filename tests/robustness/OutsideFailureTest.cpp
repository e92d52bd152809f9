// Failures from outside the program during a session: the database file
// locked by another process, its folder made read-only, the file deleted or
// overwritten under the open session; exports into a full device or a
// read-only folder; an unwritable temporary folder under a report that
// spills its pages; a saved-inquiry set with a file missing or unreadable.
// Each ends in the program's message, the program goes on, nothing
// half-written stays behind and the user's data is not changed.

#include "RobustnessFixture.h"

#include "DbAccess.h"
#include "DbConnection.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "MessageBox.h"
#include "RpPrinter.h"
#include "SavedInquiry.h"
#include "ServerRoutines.h"
#include "SessionInit.h"
#include "TestUtil.h"
#include "Win1251.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <sqlite3.h>

namespace {

const QString SystemCaption = QStringLiteral("Системно съобщение");

// Names of the files in a folder (hidden ones included).
QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

class OutsideFailure : public RobustnessFixture {
protected:
    void SetUp() override {
        // A locked database answers within a fifth of a second, not five.
        SavedBusyTimeout = SqliteBackend::BusyTimeoutMs;
        SqliteBackend::BusyTimeoutMs = 200;
        RobustnessFixture::SetUp();
        ResetExportSettings();
        SetKeyboardModifiersQuery([] { return Qt::KeyboardModifiers(); });
        ASSERT_TRUE(Scratch.isValid());
        OpenToEveryone(Scratch.path());
    }
    void TearDown() override {
        SetSaveFileDialogHandler(nullptr);
        SetInquiryFileDialogHandler(nullptr);
        SetKeyboardModifiersQuery(nullptr);
        ResetExportSettings();
        RobustnessFixture::TearDown();
        SqliteBackend::BusyTimeoutMs = SavedBusyTimeout;
    }

    // A click on the mark of a column, as the event loop delivers it.
    void ClickMark(TSpravkaForm* window, const QString& bgColName) {
        ClickColumn(window, bgColName);
        AsEventLoop([&] { window->DBGrid1CellClick(0); });
    }

    QString MakeFolder(const QString& name) {
        const QString path = Scratch.filePath(name);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                        QFileDevice::ExeOther);
        return path;
    }

    QTemporaryDir Scratch;
    int SavedBusyTimeout = 0;
};

TEST_F(OutsideFailure, DatabaseLockedByAnotherProcess) {
    TSpravkaForm* window = RunSales();
    const QString file = DatabaseFile();
    const QStringList marks = MarksInFile(file);

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    Messages.clear();

    // Neither the run nor a mark click gets through; each says why.
    Press(window->btSpravka);
    ClickMark(window, QStringLiteral("Продукт"));
    ASSERT_EQ(Captions(), QStringList({SystemCaption, SystemCaption}));
    for (const TShownMessage& m : Messages)
        EXPECT_TRUE(m.Text.contains(QLatin1String("locked"))) << m.Text.toStdString();

    ASSERT_EQ(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    // The refused click stored nothing.
    EXPECT_EQ(MarksInFile(file), marks);

    // Once the other process lets go, the same window works again.
    Messages.clear();
    Press(window->btSpravka);
    EXPECT_EQ(window->dsData->rowCount(), 5);
    ClickMark(window, QStringLiteral("Продукт"));
    EXPECT_TRUE(Messages.empty());
    EXPECT_NE(MarksInFile(file), marks);
}

TEST_F(OutsideFailure, DatabaseFolderMadeReadOnly) {
    TSpravkaForm* window = RunSales();
    const QString file = DatabaseFile();
    const QString folder = QFileInfo(file).absolutePath();
    const QStringList marks = MarksInFile(file);
    const QStringList entries = FolderEntries(folder);
    OpenToEveryone(folder);
    Messages.clear();
    {
        const TReadOnlyFolders readOnly({folder});
        // Storing a mark needs a journal beside the file: refused, told.
        ClickMark(window, QStringLiteral("Продукт"));
        ASSERT_EQ(Captions(), QStringList{SystemCaption});
        // Reading goes on.
        Press(window->btSpravka);
        EXPECT_EQ(window->dsData->rowCount(), 5);
        EXPECT_EQ(Messages.size(), 1u);
    }
    EXPECT_EQ(MarksInFile(file), marks);
    EXPECT_EQ(FolderEntries(folder), entries) << "no journal or other file left behind";
}

TEST_F(OutsideFailure, DatabaseFileDeletedUnderTheSession) {
    TSpravkaForm* window = RunSales();
    const QString file = DatabaseFile();
    const QString folder = QFileInfo(file).absolutePath();
    QStringList left = FolderEntries(folder);
    left.removeAll(QFileInfo(file).fileName());
    ASSERT_TRUE(QFile::remove(file));
    Messages.clear();

    // The open session still reads its data, but refuses to store a mark
    // in a file that is gone, and says so.
    Press(window->btSpravka);
    EXPECT_EQ(window->dsData->rowCount(), 5);
    ClickMark(window, QStringLiteral("Продукт"));
    ASSERT_EQ(Captions(), QStringList{SystemCaption});
    EXPECT_TRUE(Messages[0].Text.contains(QLatin1String("readonly"))) << ShownTexts();
    // Nothing is made anew at the old path, where an empty database would
    // pass for the lost one.
    EXPECT_EQ(FolderEntries(folder), left);
}

TEST_F(OutsideFailure, DatabaseFileOverwrittenUnderTheSession) {
    // The embedded database's counterpart of a server that goes away.
    TSpravkaForm* window = RunSales();
    const QString file = DatabaseFile();
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.write(QByteArray(4096, '\x5a'));
    }
    const QByteArray damaged = TestUtil::ReadFile(file);
    Messages.clear();

    Press(window->btSpravka);
    ASSERT_EQ(Captions(), QStringList{SystemCaption});
    EXPECT_FALSE(window->ReportForm->qrDATA->Active());
    // Every further step that needs the database says so and goes on.
    AsEventLoop([&] { window->SelectSubject(QStringLiteral("Клиенти")); });
    AsEventLoop([&] { window->DBGrid1CellClick(0); });
    AsEventLoop([&] { window->btClearClick(); });
    EXPECT_GE(Messages.size(), 1u);
    for (const QString& caption : Captions())
        EXPECT_EQ(caption, SystemCaption);
    // The program wrote nothing into the damaged file.
    EXPECT_EQ(TestUtil::ReadFile(file), damaged);
    window->close();
}

TEST_F(OutsideFailure, ExportIntoAFullDeviceOrAReadOnlyFolder) {
    TSpravkaForm* window = RunSales();
    const QString folder = MakeFolder(QStringLiteral("ro"));
    TestUtil::WriteFile(folder + QStringLiteral("/old.txt"), "the user's file");
    // Read-only for everyone, its owner included.
    QFile::setPermissions(folder + QStringLiteral("/old.txt"),
                          QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    QString chosen;
    SetSaveFileDialogHandler([&](const QString&, const QString&, const QString&, const QString&) {
        const QString name = chosen;
        chosen.clear(); // a second question is a cancel
        return name;
    });
    SetMessageBoxHandler([this](const QString& text, const QString& caption, int style) {
        Messages.push_back({text, caption, style});
        // Yes to "overwrite?": the write itself must fail.
        return (style & 0xF) == MB_YESNO ? IDYES : DefaultMessageBoxButton(style);
    });

    struct Case {
        const char* Why;
        QString File;
        QString Caption; // of the last message
    };
    // The file dialog adds ".txt" to a name without one: a full device is
    // reached through a link.
    const QString full = Scratch.filePath(QStringLiteral("full.txt"));
    const bool haveFull = QFileInfo(QStringLiteral("/dev/full")).exists() &&
                          QFile::link(QStringLiteral("/dev/full"), full);
    const Case cases[] = {
        // Opened, then every write fails with "No space left on device".
        {"full device", full, QStringLiteral("Export Error")},
        // The file cannot be made: the writer says where and why.
        {"new file in a read-only folder", folder + QStringLiteral("/new.txt"),
         QStringLiteral("Грешка")},
        {"existing read-only file", folder + QStringLiteral("/old.txt"), QStringLiteral("Грешка")},
    };
    for (const Case& c : cases) {
        if (c.File == full && !haveFull)
            continue;
        Messages.clear();
        chosen = c.File;
        {
            const TReadOnlyFolders readOnly({folder});
            Press(window->btExport);
        }
        ASSERT_FALSE(Messages.empty()) << c.Why;
        EXPECT_EQ(Messages.back().Caption, c.Caption) << c.Why << ShownTexts();
        EXPECT_EQ(Messages.back().Style & 0xF0, MB_ICONSTOP) << c.Why;
        EXPECT_EQ(FolderEntries(folder), QStringList{QStringLiteral("old.txt")}) << c.Why;
        EXPECT_EQ(TestUtil::ReadFile(folder + QStringLiteral("/old.txt")),
                  QByteArray("the user's file"))
            << c.Why;
    }

    // The program goes on: the next export is whole.
    Messages.clear();
    chosen = Scratch.filePath(QStringLiteral("ok.txt"));
    Press(window->btExport);
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(TestUtil::ReadFile(Scratch.filePath(QStringLiteral("ok.txt")))
                    .contains(Win1251::Encode(QStringLiteral("Ябълки"))));
}

TEST_F(OutsideFailure, PageStoreTemporaryFolderUnwritable) {
    // Enough rows that the prepared pages pass the in-memory limit of the
    // page store and go to a temporary file.
    TSpravkaForm* window = RunSales();
    QString rows;
    for (int i = 0; i < 3000; ++i)
        rows +=
            QStringLiteral("(%1, '01.01.2024', 1, 'Продукт номер %1', %1, 1.5, 0),").arg(i + 10);
    rows.chop(1);
    ExecDirect(QStringLiteral("INSERT INTO Sales VALUES ") + rows);
    Press(window->btSpravka);
    ASSERT_EQ(window->dsData->rowCount(), 3005);

    int printedPages = -1;
    window->ReportForm->PrintPages = [&](TRpPrinter* printer) {
        printedPages = printer->PageCount();
    };
    const QString temp = MakeFolder(QStringLiteral("tmp"));
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp));
    Messages.clear();
    {
        const TReadOnlyFolders readOnly({temp});
        AsEventLoop([&] { window->btPrintClick(); });
    }
    qputenv("TMPDIR", savedTmp);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, SystemCaption);
    EXPECT_TRUE(Messages[0].Text.contains(QDir::toNativeSeparators(temp)))
        << Messages[0].Text.toStdString();
    EXPECT_EQ(printedPages, -1) << "nothing is printed from a broken run";
    EXPECT_TRUE(FolderEntries(temp).isEmpty());

    // With a usable temporary folder the same window prints every page.
    Messages.clear();
    AsEventLoop([&] { window->btPrintClick(); });
    EXPECT_TRUE(Messages.empty());
    EXPECT_GT(printedPages, 1);
}

// A saved-inquiry set whose ".ORDER.DRN", the seventh list read, is missing
// or cannot be read: the lists before it are loaded, the rest keep what the
// window had, and no file of the set is touched.
TEST_F(OutsideFailure, SavedInquirySetWithAFileMissingOrUnreadable) {
    const QString savedProgramDir = ProgramDir;
    ProgramDir = Scratch.path() + QLatin1Char('/');
    QString chosen;
    SetInquiryFileDialogHandler(
        [&](QWidget*, bool, const QString&, const QString&) { return chosen; });

    TSpravkaForm* window = RunSales();
    ClickColumn(window, QStringLiteral("Продукт"));
    Press(window->btGroup);
    const QString folder = MakeFolder(QStringLiteral("SaveReps"));
    const QString base = folder + QStringLiteral("/Продажби.SQL");
    chosen = base;
    Press(window->BitBtn6);
    ASSERT_TRUE(Messages.empty());
    TInquiry& inquiry = *window->Inquiry;
    const QStringList savedTables = inquiry.SelectedTables;
    const QStringList savedTablesBG = inquiry.SelectedTablesBG;
    const QString broken = base + QStringLiteral(".ORDER.DRN");
    const QByteArray brokenBytes = TestUtil::ReadFile(broken);

    struct Case {
        const char* Why;
        std::function<void()> Break;
        std::function<void()> Repair;
        bool Unprivileged; // read as a user without rights
    };
    const Case cases[] = {
        {"missing", [&] { QFile::remove(broken); },
         [&] { TestUtil::WriteFile(broken, brokenBytes); }, false},
        {"a folder in its place",
         [&] {
             QFile::remove(broken);
             QDir().mkdir(broken);
         },
         [&] {
             QDir().rmdir(broken);
             TestUtil::WriteFile(broken, brokenBytes);
         },
         false},
        {"no read permission", [&] { QFile::setPermissions(broken, QFileDevice::WriteOwner); },
         [&] {
             QFile::setPermissions(broken, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadOther);
         },
         true},
    };
    for (const Case& c : cases) {
        // Another subject in the window: its lists differ from the set's.
        AddSubject(window, QStringLiteral("Клиенти"));
        ClickColumn(window, QStringLiteral("Град"));
        Press(window->btSortAsc);
        const QStringList ordering = inquiry.OrderBox;
        const QStringList grouping = inquiry.GroupBox;
        c.Break();
        std::map<QString, QByteArray> files;
        for (const QString& suffix : SavedInquirySuffixes())
            files[suffix] = TestUtil::ReadFile(base + suffix);
        Messages.clear();
        chosen = base;
        {
            std::optional<TReadOnlyFolders> unprivileged;
            if (c.Unprivileged)
                unprivileged.emplace(QStringList());
            Press(window->BitBtn7);
        }
        ASSERT_EQ(Messages.size(), 1u) << c.Why;
        EXPECT_EQ(Messages[0].Text, SavedInquiryFailureMessage()) << c.Why;
        EXPECT_EQ(Messages[0].Caption, QStringLiteral("Грешка")) << c.Why;
        EXPECT_EQ(inquiry.SelectedTables, savedTables) << c.Why;
        EXPECT_EQ(inquiry.SelectedTablesBG, savedTablesBG) << c.Why;
        EXPECT_EQ(inquiry.OrderBox, ordering) << c.Why;
        EXPECT_EQ(inquiry.GroupBox, grouping) << c.Why;
        for (const QString& suffix : SavedInquirySuffixes())
            EXPECT_EQ(TestUtil::ReadFile(base + suffix), files[suffix]) << c.Why;
        c.Repair();
    }

    // The program goes on: the repaired set loads and runs.
    Messages.clear();
    AddSubject(window, QStringLiteral("Продажби"));
    chosen = base;
    Press(window->BitBtn7);
    Press(window->btSpravka);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(inquiry.GroupBox, QStringList{QStringLiteral("\"Продукт\"")});
    ProgramDir = savedProgramDir;
}

TEST_F(OutsideFailure, SavedInquiryIntoAReadOnlyFolderLeavesNothing) {
    const QString savedProgramDir = ProgramDir;
    ProgramDir = Scratch.path() + QLatin1Char('/');
    const QString folder = MakeFolder(QStringLiteral("SaveReps"));
    const QString base = folder + QStringLiteral("/Продажби.SQL");
    SetInquiryFileDialogHandler(
        [&](QWidget*, bool, const QString&, const QString&) { return base; });
    TSpravkaForm* window = RunSales();
    Messages.clear();
    {
        const TReadOnlyFolders readOnly({folder});
        Press(window->BitBtn6);
    }
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, SavedInquiryFailureMessage());
    EXPECT_TRUE(FolderEntries(folder).isEmpty());
    ProgramDir = savedProgramDir;
}

} // namespace

namespace {

// A saved set edited by hand or cut short: its parallel lists no longer
// agree in length. Loading takes them as they are; grouping, ordering and
// removing entries afterwards must not reach past the shorter lists.
TEST_F(OutsideFailure, UnevenListsOfALoadedSetAreGroupedAndOrderedSafely) {
    const QString savedProgramDir = ProgramDir;
    ProgramDir = Scratch.path() + QLatin1Char('/');
    const QString folder = MakeFolder(QStringLiteral("SaveReps"));
    const QString base = folder + QStringLiteral("/Неравни.SQL");
    SetInquiryFileDialogHandler(
        [&](QWidget*, bool, const QString&, const QString&) { return base; });
    TSpravkaForm* window = RunSales();
    ClickColumn(window, QStringLiteral("Продукт"));
    Press(window->btGroup);
    ClickColumn(window, QStringLiteral("Количество"));
    Press(window->btSortDesc);
    AddCondition(window, QStringLiteral("Количество"), QStringLiteral(">="), QStringLiteral("5"));
    Press(window->BitBtn6);
    ASSERT_TRUE(Messages.empty()) << ShownTexts();

    // The shown lists lose their lines; the hidden ones keep theirs.
    for (const char* suffix : {".GROUPBG.DRN", ".ORDERBG.DRN", ".RELBG.DRN"})
        TestUtil::WriteFile(base + QLatin1String(suffix), QByteArray());
    TestUtil::WriteFile(base + QStringLiteral(".ORDERFN.DRN"), QByteArray());
    Press(window->BitBtn7);
    ASSERT_TRUE(Messages.empty()) << ShownTexts();
    TInquiry& inquiry = *window->Inquiry;
    ASSERT_EQ(inquiry.GroupBox.size(), 1);
    ASSERT_TRUE(inquiry.GroupBoxBG.isEmpty());

    // Grouping the grouped column again, ordering, removing by the shown
    // lists and running.
    ClickColumn(window, QStringLiteral("Продукт"));
    AsEventLoop([&] { window->btGroupClick(); });
    AsEventLoop([&] { window->btSortClick(window->btSortAsc); });
    ClickColumn(window, QStringLiteral("Количество"));
    AsEventLoop([&] { window->btSortClick(window->btSortDesc); });
    for (int i = 0; i < 3; ++i) {
        inquiry.RemoveRelation(0);
        inquiry.RemoveGrouping(0);
        inquiry.RemoveOrderingAt(0);
    }
    AsEventLoop([&] { window->btSpravkaClick(window->btSpravka); });
    EXPECT_EQ(inquiry.GroupBox.count(QStringLiteral("\"Продукт\"")), 0);
    ProgramDir = savedProgramDir;
}

} // namespace

namespace {

// A connection script that cannot be read (a folder under its name, or a
// file without read permission) skips the script step without a word; the
// session starts and the inquiry runs.
TEST_F(OutsideFailure, UnreadableConnectionScriptIsSkippedSilently) {
    const QString savedProgramDir = ProgramDir;
    ProgramDir = Scratch.path() + QLatin1Char('/');
    const QString script = ScriptFileName(QStringLiteral("INQTEST"));
    ASSERT_TRUE(script.startsWith(ProgramDir));
    struct Case {
        const char* Why;
        std::function<void()> Make;
        bool Unprivileged;
    };
    const Case cases[] = {
        {"a folder under the script's name", [&] { QDir().mkpath(script); }, false},
        {"no read permission",
         [&] {
             QDir().rmdir(script);
             TestUtil::WriteFile(script, "INSERT INTO RunLog VALUES (7)\r\n");
             QFile::setPermissions(script, QFileDevice::WriteOwner);
         },
         true},
    };
    for (const Case& c : cases) {
        c.Make();
        Messages.clear();
        {
            std::optional<TReadOnlyFolders> unprivileged;
            if (c.Unprivileged)
                unprivileged.emplace(QStringList());
            AsEventLoop([&] { InitSession(*Database); });
        }
        EXPECT_TRUE(Messages.empty()) << c.Why << ShownTexts();
        EXPECT_EQ(ExecSqlValue(QStringLiteral("SELECT COUNT(*) FROM RunLog")).toInt(), 0) << c.Why;
    }
    ProgramDir = savedProgramDir;
    RunSales();
    EXPECT_TRUE(Messages.empty()) << ShownTexts();
}

} // namespace

namespace {

// A prepared report saved as a report file or a PDF into a read-only
// folder: the printer object refuses with an error for the caller to show,
// an existing file of that name keeps its content and no temporary file
// stays behind. (Both are written under a temporary name and renamed over
// the target, so a name linked to a full device is simply replaced.)
TEST_F(OutsideFailure, ReportFileIntoAReadOnlyFolder) {
    TRpPrinter printer;
    printer.StartRun();
    for (int page = 1; page <= 3; ++page) {
        printer.StartNewPage();
        printer.Canvas()->drawText(100, 100, QStringLiteral("Страница %1").arg(page));
    }
    printer.FinishRun();

    const QString folder = MakeFolder(QStringLiteral("ro"));
    const QString existing = folder + QStringLiteral("/old.rpmf");
    TestUtil::WriteFile(existing, "the user's report");
    QFile::setPermissions(existing,
                          QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    for (const QString& target : {folder + QStringLiteral("/new.rpmf"), existing}) {
        for (bool pdf : {false, true}) {
            bool refused = false;
            {
                const TReadOnlyFolders readOnly({folder});
                try {
                    if (pdf)
                        printer.SavePdf(target);
                    else
                        printer.SaveReportFile(target);
                } catch (const Exception&) {
                    refused = true;
                }
            }
            EXPECT_TRUE(refused) << target.toStdString() << (pdf ? " as PDF" : "");
            EXPECT_EQ(FolderEntries(folder), QStringList{QStringLiteral("old.rpmf")});
            EXPECT_EQ(TestUtil::ReadFile(existing), QByteArray("the user's report"));
        }
    }
}

} // namespace
