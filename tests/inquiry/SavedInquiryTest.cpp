// Saved inquiries: the twelve-file set written by "Запис" and read back by
// "Зарежда", its failures, and the dialogs that choose it.

#include "InquiryFixture.h"

#include "DbAccess.h"
#include "MessageBox.h"
#include "SavedInquiry.h"
#include "ServerRoutines.h"
#include "SessionInit.h"
#include "TestUtil.h"
#include "Win1251.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The eleven lists a file set holds, by the suffix of their file.
struct TListOf {
    const char* Suffix;
    QStringList TInquiry::*List;
};
const TListOf SetLists[] = {
    {".SEL.DRN", &TInquiry::SelectedTables},    {".SELBG.DRN", &TInquiry::SelectedTablesBG},
    {".REL.DRN", &TInquiry::Relations},         {".RELBG.DRN", &TInquiry::RelationsBG},
    {".RELFunc.DRN", &TInquiry::RelationsFunc}, {".RELLPart.DRN", &TInquiry::RelationsLPart},
    {".ORDER.DRN", &TInquiry::OrderBox},        {".ORDERFN.DRN", &TInquiry::OrderBoxFunc},
    {".ORDERBG.DRN", &TInquiry::OrderBoxBG},    {".GROUP.DRN", &TInquiry::GroupBox},
    {".GROUPBG.DRN", &TInquiry::GroupBoxBG},
};

using TListSnapshot = std::vector<QStringList>;

TListSnapshot Snapshot(const TInquiry& inquiry) {
    TListSnapshot lists;
    for (const TListOf& l : SetLists)
        lists.push_back(inquiry.*l.List);
    return lists;
}

class SavedInquiryTest : public InquiryFixture {
protected:
    void SetUp() override {
        InquiryFixture::SetUp();
        ASSERT_TRUE(Dir.isValid());
        SavedProgramDir = ProgramDir;
        ProgramDir = Dir.path() + QLatin1Char('/');
        // Where the tests keep their sets (chosen through the dialogs).
        ASSERT_TRUE(QDir().mkpath(Dir.filePath(QStringLiteral("SaveReps"))));
        SetInquiryFileDialogHandler(
            [this](QWidget*, bool saving, const QString& filter, const QString& folder) {
                DialogCalls << QStringLiteral("%1|%2|%3")
                                   .arg(saving ? QStringLiteral("save") : QStringLiteral("open"),
                                        filter, folder);
                return Chosen;
            });
    }
    void TearDown() override {
        SetInquiryFileDialogHandler(nullptr);
        ProgramDir = SavedProgramDir;
        InquiryFixture::TearDown();
    }

    QString Base(const QString& name) const {
        return Dir.filePath(QStringLiteral("SaveReps/") + name);
    }

    void Save(TSpravkaForm* window, const QString& base) {
        Chosen = base;
        Press(window->BitBtn6);
    }
    void Load(TSpravkaForm* window, const QString& base) {
        Chosen = base;
        Press(window->BitBtn7);
    }

    // Sales with every list filled: a join (two tables, one shown name, an
    // empty HAVING form), conditions with Cyrillic and an apostrophe, a
    // grouping and a descending ordering.
    TSpravkaForm* FullInquiry() {
        TSpravkaForm* window = OpenWindow();
        AddSubject(window, QStringLiteral("Продажби"));
        AddCondition(window, QStringLiteral("Продукт"), QStringLiteral("="),
                     QStringLiteral("O'Круши"));
        AddCondition(window, QStringLiteral("Количество"), QStringLiteral(">="),
                     QStringLiteral("5"));
        ClickColumn(window, QStringLiteral("Продукт"));
        Press(window->btGroup);
        ClickColumn(window, QStringLiteral("Количество"));
        Press(window->btSortDesc);
        AddCondition(window, QStringLiteral("Клиент"), QStringLiteral("="), QString());
        for (const TListOf& l : SetLists)
            EXPECT_FALSE((window->Inquiry->*l.List).isEmpty()) << l.Suffix;
        return window;
    }

    QTemporaryDir Dir;
    QString SavedProgramDir;
    QString Chosen;
    QStringList DialogCalls;
};

TEST_F(SavedInquiryTest, SaveThenLoadRoundTripsEveryListByteForByte) {
    TSpravkaForm* window = FullInquiry();
    const TListSnapshot saved = Snapshot(*window->Inquiry);
    const QString first = Base(QStringLiteral("Пълна.SQL"));
    Save(window, first);
    EXPECT_TRUE(Messages.empty());
    // The dialog opens in the user's own SaveReps, made on first use and
    // closed to other users.
    const QString own = SavedInquiryFolder();
    EXPECT_EQ(DialogCalls, QStringList{QStringLiteral("save|Справка от DRNKorb|*.SQL|") + own});
    EXPECT_TRUE(own.endsWith(QStringLiteral("/SaveReps")));
    EXPECT_FALSE(own.startsWith(ProgramDir));
    EXPECT_EQ(QFileInfo(own).permissions() &
                  (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
              QFile::Permissions());

    // Windows-1251 text, CR LF after every line; B repeats the tables.
    EXPECT_EQ(TestUtil::ReadFile(first + ".SELBG.DRN"),
              QByteArray("\xcf\xf0\xee\xe4\xe0\xe6\xe1\xe8\r\n"));
    EXPECT_EQ(TestUtil::ReadFile(first + ".SEL.DRN"), QByteArray("Sales\r\nCustomers\r\n"));
    EXPECT_EQ(TestUtil::ReadFile(first), TestUtil::ReadFile(first + ".SEL.DRN"));
    // The join has no HAVING form: an empty line keeps the lists parallel.
    EXPECT_TRUE(TestUtil::ReadFile(first + ".RELFunc.DRN").endsWith("\r\n\r\n"));

    // Loading into an emptied window brings every list back and nothing else.
    Press(window->btClear);
    window->edTitle->setText(QStringLiteral("Моето заглавие"));
    window->Inquiry->HiddenConditions = {QStringLiteral("Sales.Deleted ='0'")};
    // As after a run: the loaded lists must make output run the inquiry
    // again, or it would print the old rows under the loaded conditions.
    window->Inquiry->Modified = false;
    const QString sql = Sql(window).join(u'\n');
    Load(window, first);
    EXPECT_TRUE(Messages.empty());
    const TListSnapshot loaded = Snapshot(*window->Inquiry);
    for (size_t i = 0; i < loaded.size(); ++i)
        EXPECT_EQ(loaded[i], saved[i]) << SetLists[i].Suffix;
    EXPECT_EQ(window->RelationsBG->count(), saved[3].size()); // the shown lists follow
    EXPECT_EQ(window->edTitle->text(), QStringLiteral("Моето заглавие"));
    EXPECT_EQ(window->Inquiry->HiddenConditions, QStringList{QStringLiteral("Sales.Deleted ='0'")});
    EXPECT_TRUE(window->Inquiry->Modified);
    EXPECT_EQ(Sql(window).join(u'\n'), sql); // not run

    // Saving the loaded inquiry again gives the same twelve files.
    const QString second = Base(QStringLiteral("Копие.SQL"));
    Save(window, second);
    for (const QString& suffix : SavedInquirySuffixes())
        EXPECT_EQ(TestUtil::ReadFile(second + suffix), TestUtil::ReadFile(first + suffix))
            << suffix.toStdString();
}

TEST_F(SavedInquiryTest, MissingFileStopsTheLoadAndKeepsTheLaterLists) {
    TSpravkaForm* window = FullInquiry();
    const TListSnapshot saved = Snapshot(*window->Inquiry);
    const QString base = Base(QStringLiteral("Част.SQL"));
    Save(window, base);
    ASSERT_TRUE(QFile::remove(base + ".GROUP.DRN"));

    // Another inquiry, grouped by another column.
    AddSubject(window, QStringLiteral("Клиенти"));
    ClickColumn(window, QStringLiteral("Град"));
    Press(window->btGroup);
    const TListSnapshot before = Snapshot(*window->Inquiry);
    ASSERT_EQ(before[9], QStringList{QStringLiteral("\"Град\"")});

    Load(window, base);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text,
              QStringLiteral("Проверете дали в папката, където е програмата има "
                             "папка \"SaveReps\" или някой файл е забравен отворен"));
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Грешка"));
    EXPECT_EQ(Messages[0].Style, MB_OK | MB_ICONSTOP);
    const TListSnapshot after = Snapshot(*window->Inquiry);
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i], i < 9 ? saved[i] : before[i]) << SetLists[i].Suffix;
}

TEST_F(SavedInquiryTest, LoadedSetRunsWithTheColumnsOfTheSubjectShown) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    const QString base = Base(QStringLiteral("Продажби.SQL"));
    Save(window, base);

    // The column grid now shows Клиенти; the loaded set brings the tables.
    AddSubject(window, QStringLiteral("Клиенти"));
    Load(window, base);
    EXPECT_EQ(window->Inquiry->SelectedTables, QStringList{QStringLiteral("Sales")});
    Press(window->btSpravka);
    const QStringList sql = Sql(window);
    ASSERT_GE(sql.size(), 2);
    EXPECT_EQ(sql[0], QStringLiteral("SELECT Customers.Name \"Име\""));
    EXPECT_EQ(sql[1], QStringLiteral("FROM Sales"));
    // Customers.Name is not in Sales: the server says so.
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Системно съобщение"));
}

TEST_F(SavedInquiryTest, OverwriteIsAskedAndEmptyListsGiveEmptyFiles) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Клиенти"));
    const QString base = Base(QStringLiteral("Клиенти.SQL"));
    Save(window, base);
    // No conditions: four empty files, and no question for a new name.
    for (const char* suffix : {".REL.DRN", ".RELBG.DRN", ".RELFunc.DRN", ".RELLPart.DRN"}) {
        EXPECT_TRUE(QFile::exists(base + suffix)) << suffix;
        EXPECT_EQ(QFileInfo(base + suffix).size(), 0) << suffix;
    }
    EXPECT_TRUE(Messages.empty());

    // The same name again: No (the default) keeps the old files.
    AddCondition(window, QStringLiteral("Град"), QStringLiteral("="), QStringLiteral("Русе"));
    Save(window, base);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Внимание"));
    EXPECT_EQ(Messages[0].Style, 308);
    EXPECT_TRUE(Messages[0].Text.contains(QStringLiteral("Клиенти.SQL")));
    EXPECT_EQ(QFileInfo(base + ".REL.DRN").size(), 0);

    // Loading the old set empties the condition lists again.
    Load(window, base);
    EXPECT_TRUE(window->Inquiry->Relations.isEmpty());
    EXPECT_TRUE(window->Inquiry->RelationsBG.isEmpty());
    EXPECT_EQ(window->RelationsBG->count(), 0);

    // Yes replaces them.
    AddCondition(window, QStringLiteral("Град"), QStringLiteral("="), QStringLiteral("Русе"));
    SetMessageBoxHandler([](const QString&, const QString&, int) { return IDYES; });
    Save(window, base);
    EXPECT_EQ(TestUtil::ReadFile(base + ".REL.DRN"),
              QByteArray("Customers.City ='\xd0\xf3\xf1\xe5'\r\n")); // Русе in 1251
}

TEST_F(SavedInquiryTest, CancelledDialogsAndUnwritableFolders) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Клиенти"));
    const TListSnapshot before = Snapshot(*window->Inquiry);

    // Cancel: nothing written, nothing loaded, nothing said.
    Save(window, QString());
    Load(window, QString());
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(QDir(Dir.filePath(QStringLiteral("SaveReps"))).isEmpty());
    EXPECT_EQ(Snapshot(*window->Inquiry), before);

    // A folder that does not exist: the first file fails and is reported.
    const QString missing = Dir.filePath(QStringLiteral("none/x.SQL"));
    Save(window, missing);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Грешка"));
    EXPECT_EQ(Messages[0].Style, 16);
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_FALSE(QFile::exists(missing + ".SEL.DRN"));
}

// The real dialogs, closed by a timer once they are up.
TEST_F(SavedInquiryTest, DialogsOpenInSaveRepsWithTheInquiryFilter) {
    SetInquiryFileDialogHandler(nullptr);
    TSpravkaForm* window = OpenWindow();
    struct Seen {
        QString Name;
        QStringList Filters;
        QString Folder;
        QString Suffix;
        bool Saving = false;
    };
    auto open = [&](QPushButton* button) {
        Seen seen;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = {dialog->objectName(), dialog->nameFilters(), dialog->directory().absolutePath(),
                    dialog->defaultSuffix(), dialog->acceptMode() == QFileDialog::AcceptSave};
            dialog->reject();
        });
        Press(button);
        return seen;
    };
    const QString folder = QDir(SavedInquiryFolder()).absolutePath();
    const Seen save = open(window->BitBtn6);
    EXPECT_EQ(save.Name, QStringLiteral("SaveDialog"));
    EXPECT_EQ(save.Filters, QStringList{QStringLiteral("Справка от DRNKorb (*.SQL)")});
    EXPECT_EQ(save.Folder, folder);
    EXPECT_EQ(save.Suffix, QStringLiteral("SQL"));
    EXPECT_TRUE(save.Saving);
    const Seen load = open(window->BitBtn7);
    EXPECT_EQ(load.Name, QStringLiteral("OpenDialog"));
    EXPECT_EQ(load.Filters, save.Filters);
    EXPECT_EQ(load.Folder, folder);
    EXPECT_FALSE(load.Saving);
    EXPECT_TRUE(Messages.empty());
}

// Statement separators: only a ';' the server would read as one counts, in
// either way of reading backslashes.
TEST(StatementSeparator, FoundOnlyOutsideLiteralsNamesAndComments) {
    struct Row {
        const char16_t* Text;
        bool Found;
    };
    const Row rows[] = {
        {u"Clients.City ='София'; DELETE FROM Sales; SELECT 1 WHERE 1 = 1", true},
        {u"Clients.City ='a;b'", false},                // inside a literal
        {u"Clients.City ='It''s; fine'", false},        // a doubled quote stays inside
        {u"\"Град; стар\" ='x'", false},                // inside a quoted name
        {u"Qty > 1 -- ; comment", false},               // the rest of the line is comment
        {u"Qty > 1 /* ; */ AND Qty < 9", false},        // a closed block comment
        {u"Qty > 1 /* ; */ ; DROP TABLE Goods", true},  // after the comment
        {u"Name ='\\''; DELETE FROM Goods; --'", true}, // hidden from one reading only
        {u"Name ='C:\\'; DELETE FROM Goods", true},     // and the other way round
        {u"Name ='C:\\'", false},
        {u";", true},
        {u"", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(HasStatementSeparator(QString::fromUtf16(row.Text)), row.Found)
            << QString::fromUtf16(row.Text).toStdString();
}

// A set that could run a second statement, or that someone else planted, is
// refused whole with a message naming the file, and the inquiry is unchanged.
TEST_F(SavedInquiryTest, PlantedOrSmuggledSetsAreRefusedWhole) {
    TSpravkaForm* window = FullInquiry();
    const QString base = Base(QStringLiteral("Чужда.SQL"));
    Save(window, base);
    ASSERT_TRUE(Messages.empty());
    const QString other = Dir.filePath(QStringLiteral("other.txt"));
    TestUtil::WriteFile(other, "Sales\r\n");

    struct Row {
        const char* Name;
        const char* Suffix;
        std::function<bool(const QString&)> Plant; // false: cannot on this system
        const char* Says;
    };
    const Row rows[] = {
        {"second statement", ".REL.DRN",
         [](const QString& f) {
             TestUtil::WriteFile(f, Win1251::Encode(QStringLiteral(
                                        "Customers.City ='София'; DELETE FROM Sales; SELECT 1 "
                                        "WHERE 1 = 1\r\n")));
             return true;
         },
         "извън текст"},
        {"separator in the ordering", ".ORDER.DRN",
         [](const QString& f) {
             TestUtil::WriteFile(f, "Qty; DROP TABLE Sales\r\n");
             return true;
         },
         "извън текст"},
        {"link", ".SEL.DRN",
         [&](const QString& f) { return QFile::remove(f) && QFile::link(other, f); },
         "символна връзка"},
        {"fifo", ".GROUP.DRN",
         [](const QString& f) {
             return QFile::remove(f) && ::mkfifo(QFile::encodeName(f).constData(), 0600) == 0;
         },
         "не е обикновен файл"},
        {"another user's file", ".RELFunc.DRN",
         [](const QString& f) {
             return ::getuid() == 0 && ::chown(QFile::encodeName(f).constData(), 65534, 65534) == 0;
         },
         "друг потребител"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        // A sound set again, then the one planted file.
        for (const QString& suffix : SavedInquirySuffixes())
            QFile::remove(base + suffix);
        Save(window, base);
        ASSERT_TRUE(Messages.empty());
        if (!row.Plant(base + row.Suffix))
            continue;
        Press(window->btClear);
        const TListSnapshot before = Snapshot(*window->Inquiry);
        Load(window, base);
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_TRUE(Messages[0].Text.contains(QString::fromUtf8(row.Says)))
            << Messages[0].Text.toStdString();
        EXPECT_TRUE(Messages[0].Text.contains(QFileInfo(base + row.Suffix).fileName()))
            << Messages[0].Text.toStdString();
        EXPECT_EQ(Snapshot(*window->Inquiry), before);
        Messages.clear();
    }
    // A ';' inside a literal, or in the shown texts, is no separator.
    for (const QString& suffix : SavedInquirySuffixes()) {
        QFile::remove(base + suffix);
        TestUtil::WriteFile(base + suffix, "");
    }
    TestUtil::WriteFile(base + ".REL.DRN", "Customers.City ='a;b'\r\n");
    TestUtil::WriteFile(base + ".RELBG.DRN", Win1251::Encode(QStringLiteral("Град = a;b\r\n")));
    Load(window, base);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(window->Inquiry->Relations, QStringList{QStringLiteral("Customers.City ='a;b'")});
}

// The user's own sets come first; the shared folder beside the program is
// read only when the user has no set of that name, and only its trusted
// files (root's or the installing user's) are taken.
TEST_F(SavedInquiryTest, OwnFolderFirstThenTheSharedOne) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Клиенти"));
    const QString shared = SharedSavedInquiryFolder();
    const QString sharedBase = QDir(shared).filePath(QStringLiteral("Обща.SQL"));
    Save(window, sharedBase);
    ASSERT_TRUE(Messages.empty());
    EXPECT_EQ(FindSavedInquiry(QStringLiteral("Обща.SQL")), sharedBase);
    EXPECT_TRUE(FindSavedInquiry(QStringLiteral("Няма.SQL")).isEmpty());

    // "Зарежда" with the name in the user's folder finds the shared set.
    AddCondition(window, QStringLiteral("Град"), QStringLiteral("="), QStringLiteral("Русе"));
    Load(window, QDir(SavedInquiryFolder()).filePath(QStringLiteral("Обща.SQL")));
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(window->Inquiry->Relations.isEmpty());

    // The user's own set of the same name wins.
    const QString own = QDir(SavedInquiryFolder()).filePath(QStringLiteral("Обща.SQL"));
    Save(window, own);
    EXPECT_EQ(FindSavedInquiry(QStringLiteral("Обща.SQL")), own);
    for (const QString& suffix : SavedInquirySuffixes())
        QFile::remove(own + suffix);

    if (::getuid() != 0)
        return; // files of another user can be made by root only
    // In the shared folder a file of the installing user is taken, one of
    // anybody else is not; outside it, another user's file never is.
    const QByteArray sel = QFile::encodeName(sharedBase + QStringLiteral(".SEL.DRN"));
    ASSERT_EQ(::chown(sel.constData(), 65534, 65534), 0);
    Load(window, sharedBase);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].Text.contains(QStringLiteral("друг потребител")));
    Messages.clear();
    ASSERT_EQ(::chown(QFile::encodeName(ProgramDir).constData(), 65534, 65534), 0);
    Load(window, sharedBase);
    EXPECT_TRUE(Messages.empty());
    const QString elsewhere = Dir.filePath(QStringLiteral("Другаде.SQL"));
    Save(window, elsewhere);
    ASSERT_EQ(::chown(QFile::encodeName(elsewhere + ".SEL.DRN").constData(), 65534, 65534), 0);
    Messages.clear();
    Load(window, elsewhere);
    EXPECT_EQ(Messages.size(), 1u);
    ::chown(QFile::encodeName(ProgramDir).constData(), 0, 0);
}

} // namespace

// A condition value outside Windows-1251 (a UTF-8 database, a subject made by
// describe) must come back as it was, or the loaded inquiry selects other
// rows. Sets the code page holds stay in it byte for byte.
TEST_F(SavedInquiryTest, SetsOutsideTheCodePageAreWrittenInUtf8AndReadBack) {
    const struct {
        const char* Why;
        QString Value;
        bool Utf8;
    } cases[] = {
        {"Cyrillic, № and € are in the code page", QStringLiteral("Ябълки № 5 €"), false},
        {"umlauts are not", QStringLiteral("Mötley Crüe"), true},
        {"Greek and a character outside the basic plane", QStringLiteral("Ωμέγα 𝄞"), true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Why);
        TSpravkaForm* window = OpenWindow();
        AddSubject(window, QStringLiteral("Продажби"));
        AddCondition(window, QStringLiteral("Продукт"), QStringLiteral("="), c.Value);
        const TListSnapshot saved = Snapshot(*window->Inquiry);
        const QString base = Base(QStringLiteral("set%1.SQL").arg(n++));
        Save(window, base);
        const QByteArray rel = TestUtil::ReadFile(base + ".RELBG.DRN");
        // Every file of one set is in one encoding; an empty list stays empty.
        EXPECT_EQ(rel.startsWith("\xEF\xBB\xBF"), c.Utf8);
        EXPECT_EQ(TestUtil::ReadFile(base + ".SEL.DRN").startsWith("\xEF\xBB\xBF"), c.Utf8);
        EXPECT_EQ(QFileInfo(base + ".GROUP.DRN").size(), 0);
        if (!c.Utf8) {
            EXPECT_EQ(rel, Win1251::Encode(saved[3].first()) + "\r\n");
        }

        Press(window->btClear);
        Load(window, base);
        EXPECT_TRUE(Messages.empty());
        const TListSnapshot loaded = Snapshot(*window->Inquiry);
        for (size_t i = 0; i < loaded.size(); ++i)
            EXPECT_EQ(loaded[i], saved[i]) << SetLists[i].Suffix;
        window->close();
    }
}

// A loaded condition on a variable column is applied as the condition box
// applies it: the variable is set on the server before the run, or the rows
// would be those of the variable's old value under the loaded condition.
TEST_F(SavedInquiryTest, LoadedVariableConditionIsSetOnTheServer) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Период"));
    AddCondition(window, QStringLiteral("Минимум"), QStringLiteral("="), QStringLiteral("7"));
    const QString base = Base(QStringLiteral("Период.SQL"));
    Save(window, base);
    const QStringList conditions = window->Inquiry->Relations;

    ExecSqlValue(QStringLiteral("SET kzmMinQty = 3"));
    Load(window, base);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(ExecSqlValue(QStringLiteral("SELECT kzmMinQty FROM DUMMY")).toString(),
              QStringLiteral("7"));
    EXPECT_EQ(window->Inquiry->Relations, conditions);
    Press(window->btSpravka);
    ASSERT_TRUE(window->ReportForm->qrDATA->Active());
    EXPECT_EQ(window->ReportForm->qrDATA->FieldByName(QStringLiteral("Минимум"))->AsString(),
              QStringLiteral("7"));

    // A set is only text: a variable the catalogue does not have, or a value
    // that is not one literal, sends nothing and the condition goes, so the
    // run says it lacks one rather than using the old value.
    const struct {
        const char* Why;
        QByteArray Condition;
    } tampered[] = {
        {"not a variable of the catalogue", "QN__kzm__ZP.kzmConnectID ='1'"},
        {"a statement after the value", "QN__kzm__ZP.kzmMinQty ='1'; DELETE FROM Sales"},
        {"no literal", "QN__kzm__ZP.kzmMinQty =1"},
    };
    for (const auto& t : tampered) {
        SCOPED_TRACE(t.Why);
        TestUtil::WriteFile(base + ".REL.DRN", t.Condition + "\r\n");
        ExecSqlValue(QStringLiteral("SET kzmMinQty = 3"));
        Messages.clear();
        Load(window, base);
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].Caption, QStringLiteral("Грешка"));
        EXPECT_TRUE(window->Inquiry->Relations.isEmpty());
        EXPECT_TRUE(window->Inquiry->RelationsBG.isEmpty());
        EXPECT_EQ(ExecSqlValue(QStringLiteral("SELECT kzmMinQty FROM DUMMY")).toString(),
                  QStringLiteral("3"));
        EXPECT_EQ(ExecSqlValue(QStringLiteral("SELECT COUNT(*) FROM Sales")).toInt(), 5);
    }
}
