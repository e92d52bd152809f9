// Damaged metadata: Relations without columns the program reads, NULL in
// every column, texts where numbers belong, a subject with no columns,
// Authchar without the codes in use, a value list or a pre-run script that
// fails, display names with quotes. Each step the user takes either works
// or ends in a message; nothing crashes, and the window keeps working with
// the subjects (or the catalogue) once they are sound again.

#include "RobustnessFixture.h"

#include "DbAccess.h"
#include "RpPrinter.h"

namespace {

const QString SystemCaption = QStringLiteral("Системно съобщение");

// Every column of the test catalogue's Relations, in order.
const QStringList RelationsColumns = {
    "N",         "TableName",  "BGTableName", "ColName",       "BGColName",
    "SelectCol", "Promenliva", "Function",    "Zadaljitelna",  "Sortirane",
    "DftFilter", "DftLike",    "FilterList",  "RelationTable", "RelationCol",
    "Align",     "Shirina",    "Mask",        "Suma",          "AutoStretch"};

class BadMetadata : public RobustnessFixture {
protected:
    void SetUp() override {
        RobustnessFixture::SetUp();
        ExecDirect(QStringLiteral("CREATE TABLE RelationsKeep AS SELECT * FROM Relations;"
                                  "CREATE TABLE AuthcharKeep AS SELECT * FROM Authchar"));
        Window = OpenWindow();
        Window->ReportForm->PrintPages = [this](TRpPrinter* printer) {
            PrintedPages = printer->PageCount();
        };
    }

    // Puts the sound catalogue back.
    void Restore() {
        ExecDirect(QStringLiteral("DROP TABLE Relations; DROP TABLE Authchar;"
                                  "CREATE TABLE Relations AS SELECT * FROM RelationsKeep;"
                                  "CREATE TABLE Authchar AS SELECT * FROM AuthcharKeep"));
    }

    // Every step of an inquiry on a subject, each delivered as the event
    // loop delivers it: the subject list, the subject, a value list, a mark
    // click, the run, the print.
    void Exercise(const QString& subject) {
        AsEventLoop([&] { Window->Inquiry->OpenSubjectList(); });
        AsEventLoop([&] { Window->SelectSubject(subject); });
        AsEventLoop([&] { Window->cbFilterDropDown(); });
        AsEventLoop([&] { Window->DBGrid1CellClick(1); });
        AsEventLoop([&] { Window->btSpravkaClick(Window->btSpravka); });
        AsEventLoop([&] { Window->btPrintClick(); });
    }

    // The window still serves a sound subject: "Клиенти" has three rows.
    void ExpectStillWorking(const char* why) {
        Messages.clear();
        Exercise(QStringLiteral("Клиенти"));
        EXPECT_TRUE(Messages.empty()) << why << ": " << Messages[0].Text.toStdString();
        EXPECT_EQ(Window->dsData->rowCount(), 3) << why;
    }

    TSpravkaForm* Window = nullptr;
    int PrintedPages = 0;
};

TEST_F(BadMetadata, RelationsWithoutAColumnTheProgramReads) {
    for (const QString& missing : RelationsColumns) {
        QStringList kept = RelationsColumns;
        kept.removeAll(missing);
        for (QString& c : kept)
            c = u'"' + c + u'"';
        ExecDirect(QStringLiteral("DROP TABLE Relations;"
                                  "CREATE TABLE Relations AS SELECT %1 FROM RelationsKeep")
                       .arg(kept.join(QStringLiteral(", "))));
        Messages.clear();
        Exercise(QStringLiteral("Продажби"));
        // Whatever fails says which column it missed.
        bool named = Messages.empty();
        for (const TShownMessage& m : Messages) {
            EXPECT_EQ(m.Caption, SystemCaption) << missing.toStdString();
            named = named || m.Text.contains(missing);
        }
        EXPECT_TRUE(named) << missing.toStdString() << ": " << Messages[0].Text.toStdString();
        Restore();
        ExpectStillWorking(missing.toUtf8().constData());
    }
}

TEST_F(BadMetadata, NullInEveryColumn) {
    // Every column of the subject's rows NULL but the key, the names that
    // make it a listed subject, and a visible mark.
    QStringList sets;
    for (const QString& c : RelationsColumns)
        if (!QStringList{"N", "TableName", "BGTableName", "SelectCol"}.contains(c))
            sets << u'"' + c + QStringLiteral("\" = NULL");
    ExecDirect(QStringLiteral("UPDATE Relations SET ") + sets.join(QStringLiteral(", ")) +
               QStringLiteral(" WHERE BGTableName = 'Продажби'"));
    // A row NULL throughout but its key is in no subject.
    ExecDirect(QStringLiteral("INSERT INTO Relations (N) VALUES (99)"));
    Messages.clear();
    Exercise(QStringLiteral("Продажби"));
    for (const QString& caption : Captions())
        EXPECT_EQ(caption, SystemCaption);
    ExpectStillWorking("after the NULL subject");
}

TEST_F(BadMetadata, TextsWhereNumbersBelong) {
    struct Case {
        const char* Column;
        const char* Why;
        const char* Message; // part of the one message expected, or null
    };
    const Case cases[] = {
        // Compared as text with "1" when composing; read as a number by the
        // grid set-up, which refuses it with the conversion error.
        {"Promenliva", "variable flag", "is not a valid numeric value"},
        // Read as numbers where "x" counts as 0: no ordering, no grouping.
        {"Sortirane", "default ordering", nullptr},
        // Left alignment, automatic width.
        {"Align", "alignment", nullptr},
        {"Shirina", "width", nullptr},
        // Not "1": neither mandatory nor a pattern.
        {"Zadaljitelna", "mandatory flag", nullptr},
        {"DftLike", "pattern flag", nullptr},
        // No Authchar code "x": the row is no column of the subject.
        {"SelectCol", "mark", nullptr},
    };
    for (const Case& c : cases) {
        ExecDirect(QStringLiteral("UPDATE Relations SET \"%1\" = 'x' WHERE N = 4")
                       .arg(QLatin1String(c.Column)));
        Messages.clear();
        Exercise(QStringLiteral("Продажби"));
        if (c.Message) {
            ASSERT_EQ(Messages.size(), 1u) << c.Why;
            EXPECT_EQ(Messages[0].Caption, SystemCaption) << c.Why;
            EXPECT_TRUE(Messages[0].Text.contains(QLatin1String(c.Message)))
                << c.Why << ": " << Messages[0].Text.toStdString();
        } else {
            EXPECT_TRUE(Messages.empty()) << c.Why << ": " << Messages[0].Text.toStdString();
            EXPECT_EQ(Window->dsData->rowCount(), 5) << c.Why;
        }
        Restore();
    }
    ExpectStillWorking("after the texts");
}

TEST_F(BadMetadata, SubjectWithNoColumns) {
    // Only an options row: nothing to select. The server refuses the empty
    // SELECT list and says so.
    ExecDirect(QStringLiteral(
        "INSERT INTO Relations (N, TableName, BGTableName, ColName, BGColName, SelectCol) "
        "VALUES (70, 'Sales', 'Без колони', '__Options__', 'Настройки', 0)"));
    Messages.clear();
    PrintedPages = 0;
    Exercise(QStringLiteral("Без колони"));
    // The run says so, and so does the print, which runs the inquiry again.
    ASSERT_EQ(Captions(), QStringList({SystemCaption, SystemCaption})) << ShownTexts();
    EXPECT_FALSE(Window->ReportForm->qrDATA->Active());
    EXPECT_EQ(PrintedPages, 0);
    ExpectStillWorking("after the empty subject");
}

TEST_F(BadMetadata, AuthcharWithoutTheCodesInUse) {
    struct Case {
        const char* Delete;
        const char* Why;
        int Rows; // of the Продажби run; -1: the run is refused with a message
    };
    const Case cases[] = {
        // Unchosen columns vanish; the chosen ones still run.
        {"Code = 0", "no code 0", 5},
        // The chosen columns vanish: nothing left to select. The run says
        // so, and so does the print, which runs it again.
        {"Code = 2", "no code 2", -1},
        {"1 = 1", "an empty Authchar", -1},
    };
    for (const Case& c : cases) {
        ExecDirect(QStringLiteral("DELETE FROM Authchar WHERE ") + QLatin1String(c.Delete));
        Messages.clear();
        Exercise(QStringLiteral("Продажби"));
        if (c.Rows >= 0) {
            EXPECT_TRUE(Messages.empty()) << c.Why;
            EXPECT_EQ(Window->dsData->rowCount(), c.Rows) << c.Why;
        } else {
            EXPECT_EQ(Captions(), QStringList({SystemCaption, SystemCaption}))
                << c.Why << ShownTexts();
            EXPECT_FALSE(Window->ReportForm->qrDATA->Active()) << c.Why;
        }
        Restore();
    }
    ExpectStillWorking("after Authchar");
}

TEST_F(BadMetadata, FailingValueList) {
    ExecDirect(QStringLiteral("UPDATE Relations SET FilterList = 'SELECT Nope FROM Nowhere' "
                              "WHERE N = 4"));
    AsEventLoop([&] { Window->SelectSubject(QStringLiteral("Продажби")); });
    ClickColumn(Window, QStringLiteral("Продукт"));
    Messages.clear();
    AsEventLoop([&] { Window->cbFilterDropDown(); });
    ASSERT_EQ(Captions(), QStringList{SystemCaption});
    EXPECT_TRUE(Messages[0].Text.contains(QLatin1String("Nowhere")));
    EXPECT_FALSE(Window->Inquiry->qrFilterList->Active());
    // A condition typed by hand still works.
    Messages.clear();
    AddCondition(Window, QStringLiteral("Продукт"), QStringLiteral("="), QStringLiteral("Круши"));
    AsEventLoop([&] { Window->btSpravkaClick(Window->btSpravka); });
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Window->dsData->rowCount(), 2);
}

TEST_F(BadMetadata, FailingPreRunScriptStaysWithItsSubject) {
    ExecDirect(
        QStringLiteral("UPDATE Relations SET DftFilter = 'INSERT INTO NoSuchTable VALUES (1)' "
                       "WHERE N = 43"));
    AsEventLoop([&] { Window->SelectSubject(QStringLiteral("Архив")); });
    AddCondition(Window, QStringLiteral("Фактура"), QStringLiteral(">="), QStringLiteral("1"));
    Messages.clear();
    AsEventLoop([&] { Window->btSpravkaClick(Window->btSpravka); });
    // The script runner tells, and the run ends without a further message.
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Грешка"));
    EXPECT_TRUE(Messages[0].Text.contains(QLatin1String("NoSuchTable")));
    EXPECT_FALSE(Window->ReportForm->qrDATA->Active());
    // Another subject, which has no options row, runs no script of Архив.
    ExpectStillWorking("after the script");
}

TEST_F(BadMetadata, DisplayNamesWithQuotesMakeWholeAliases) {
    // A double quote and an apostrophe in column display names, an
    // apostrophe in a subject's: each is an alias, a condition, a grouping
    // and an ordering of the statement.
    ExecDirect(QStringLiteral(
        "UPDATE Relations SET BGColName = 'Про\"дукт' WHERE N = 4;"
        "UPDATE Relations SET BGColName = 'Кол''во' WHERE N = 5;"
        "UPDATE Relations SET BGTableName = 'Прода\"жби' WHERE BGTableName = 'Продажби'"));
    const QString product = QStringLiteral("Про\"дукт");
    Messages.clear();
    AsEventLoop([&] { Window->Inquiry->OpenSubjectList(); });
    AsEventLoop([&] { Window->SelectSubject(QStringLiteral("Прода\"жби")); });
    AddCondition(Window, product, QStringLiteral("~"), QStringLiteral("Кр"));
    ClickColumn(Window, product);
    AsEventLoop([&] { Window->btGroupClick(); });
    ClickColumn(Window, QStringLiteral("Кол'во"));
    AsEventLoop([&] { Window->btSortClick(Window->btSortDesc); });
    AsEventLoop([&] { Window->btSpravkaClick(Window->btSpravka); });
    EXPECT_TRUE(Messages.empty()) << Messages[0].Text.toStdString();
    EXPECT_EQ(ResultRows(Window), QStringList{QStringLiteral("Круши|13.00")});
    EXPECT_TRUE(GridTitles(Window).contains(product));
    AsEventLoop([&] { Window->btPrintClick(); });
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(PrintedPages, 1);
}

} // namespace
