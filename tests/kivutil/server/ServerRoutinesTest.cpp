// Work query, single statements, units of work, the log writer, the script
// runner and the message-box routine against the embedded database.

#include "SessionFixture.h"

#include <QRegularExpression>

namespace {

class ServerRoutines : public SessionFixture {
protected:
    void SetUp() override {
        SessionFixture::SetUp();
        ExecSqlValue("CREATE TABLE Stock(Code INTEGER, Name TEXT, Qty INTEGER)");
        ExecSqlValue("INSERT INTO Stock VALUES(1, 'a', 5), (2, 'b', 9), (3, NULL, NULL)");
        ExecSqlValue("CREATE TABLE LogFile(UserN INTEGER, Tip INTEGER, LogText TEXT)");
        Messages.clear();
    }
};

TEST_F(ServerRoutines, ExecSqlValueReturnsTheFirstValueOfASelectOnly) {
    struct Row {
        const char* Sql;
        bool ExecOnlyOn;
        QVariant Expected;
    } rows[] = {
        // Lower-case select is still a SELECT: the first six characters, upper-cased.
        {"select max(Qty) from Stock", false, 9},
        // Statements that are not SELECT are executed; there is no value.
        {"UPDATE Stock SET Qty = Qty WHERE Code = 1", false, QVariant()},
        // No row: empty.
        {"SELECT Qty FROM Stock WHERE Code = 99", false, QVariant()},
        // A null value comes back empty.
        {"SELECT Qty FROM Stock WHERE Code = 3", false, QVariant()},
        // ExecOnly executes even a SELECT without fetching.
        {"SELECT 42", true, QVariant()},
        // Leading blanks fail the exact SELECT test: executed, nothing fetched.
        {"  SELECT 42", false, QVariant()},
    };
    for (const Row& row : rows) {
        ExecOnly = row.ExecOnlyOn;
        const QVariant value = ExecSqlValue(QString::fromUtf8(row.Sql));
        ExecOnly = false;
        EXPECT_EQ(value.isNull(), row.Expected.isNull()) << row.Sql;
        if (!row.Expected.isNull()) {
            EXPECT_EQ(value.toInt(), row.Expected.toInt()) << row.Sql;
        }
        EXPECT_EQ(LastSqlFailed, 0) << row.Sql;
    }
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ServerRoutines, FailedStatementIsReportedAndRaisedUnlessToldToContinue) {
    EXPECT_THROW(ExecSqlValue("SELECT NoSuchColumn FROM Stock"), Exception);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "SQL Exception");
    EXPECT_EQ(Messages[0].Style, 16);
    EXPECT_EQ(LastSqlFailed, -1);
    EXPECT_EQ(LastSqlError, Messages[0].Text);

    ContinueOnSqlError = true;
    EXPECT_NO_THROW(ExecSqlValue("UPDATE NoSuchTable SET x = 1"));
    EXPECT_EQ(LastSqlFailed, -1);
    EXPECT_EQ(Messages.size(), 2u);

    // Quiet: reported nowhere, still recorded in the flags.
    ++MessageQuiet;
    EXPECT_NO_THROW(ExecSqlValue("UPDATE NoSuchTable SET x = 1"));
    --MessageQuiet;
    EXPECT_EQ(Messages.size(), 2u);
    // A statement that succeeds clears the failure flag.
    ExecSqlValue("SELECT 1");
    EXPECT_EQ(LastSqlFailed, 0);
}

TEST_F(ServerRoutines, WorkQueryWithoutDatabaseNameFails) {
    TKivWorkQuery query(nullptr, QString());
    EXPECT_THROW(ExecSqlValueOn("SELECT 1", &query), Exception);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "Database not selected.");
}

TEST_F(ServerRoutines, WorkQuerySendsColonsUnchanged) {
    // Parameter scanning is off: ":x" is part of the text, not a parameter.
    EXPECT_EQ(Value("SELECT ':x' || 'y'"), ":xy");
}

TEST_F(ServerRoutines, QuietMessageBoxesAnswerWithTheDefaultButton) {
    struct Row {
        int Style;
        int Expected;
    } rows[] = {
        {308, IDNO},     // exclamation, Yes/No, second button default
        {49, IDOK},      // exclamation, OK/Cancel
        {16, IDOK},      // error, OK
        {64, IDOK},      // information, OK
        {1 | 256, IDCANCEL}, // OK/Cancel with the second button default
        {3, IDYES},          // Yes/No/Cancel, first default
        {3 | 256, IDNO},     // Yes/No/Cancel, second default
        {3 | 512, IDCANCEL}, // Yes/No/Cancel, third default
        {4, IDYES},          // Yes/No, first default
        {5 | 256, IDOK},     // any other group answers OK
    };
    ++MessageQuiet;
    for (const Row& row : rows)
        EXPECT_EQ(ShowMessageBox("x", "y", row.Style), row.Expected) << row.Style;
    --MessageQuiet;
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ServerRoutines, MessageTextAndCaptionAreCut) {
    ShowMessageBox(QString(700, QLatin1Char('t')), QString(200, QLatin1Char('c')), 64);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text.size(), 640);
    EXPECT_EQ(Messages[0].Caption.size(), 127);
    EXPECT_EQ(Messages[0].Style, 64);
}

TEST_F(ServerRoutines, NestedUnitsOfWorkStartAndEndOneTransaction) {
    BeginWork("outer");
    EXPECT_TRUE(Database->InTransaction());
    BeginWork("inner");
    ExecSqlValue("UPDATE Stock SET Qty = 100 WHERE Code = 1");
    CommitWork("inner");
    // Still inside the outer unit: not committed yet.
    EXPECT_TRUE(Database->InTransaction());
    EXPECT_EQ(WorkDepth, 1);
    CommitWork("outer");
    EXPECT_FALSE(Database->InTransaction());
    EXPECT_EQ(WorkDepth, 0);
    EXPECT_EQ(Value("SELECT Qty FROM Stock WHERE Code = 1"), "100");
    EXPECT_EQ(WorkTitle, "outer");

    BeginWork("undo");
    ExecSqlValue("UPDATE Stock SET Qty = 7 WHERE Code = 1");
    RollbackWork("undo");
    EXPECT_EQ(Value("SELECT Qty FROM Stock WHERE Code = 1"), "100");
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ServerRoutines, WorkTitleKeepsNinetyNineCharacters) {
    BeginWork(QString(150, QLatin1Char('w')));
    EXPECT_EQ(WorkTitle.size(), 99);
    CommitWork("");
}

TEST_F(ServerRoutines, EndOfWorkReadsTheServerMessageVariable) {
    BeginWork("w");
    ExecSqlValue("SET kzmErrorMessage = 'Нещо се обърка'");
    CommitWork("w");
    EXPECT_EQ(LastSqlError, "Нещо се обърка");
    // The next outermost unit resets it on the server and in LastSqlError.
    BeginWork("w");
    EXPECT_TRUE(LastSqlError.isEmpty());
    CommitWork("w");
    EXPECT_TRUE(LastSqlError.isEmpty());
}

TEST_F(ServerRoutines, WriteLogSkipsTheWorkKindsAndInsertsOthers) {
    WriteLog(1, "x");
    WriteLog(2, "x");
    WriteLog(3, "x");
    EXPECT_EQ(Count("LogFile"), 0);
    WriteLog(5, "x");
    EXPECT_EQ(Value("SELECT UserN || ',' || Tip || ',' || LogText FROM LogFile"), "-1,5,x");
    // An apostrophe in the text is quoted, not sent as SQL.
    WriteLog(6, "it's");
    EXPECT_EQ(Value("SELECT LogText FROM LogFile WHERE Tip = 6"), "it's");
}

TEST_F(ServerRoutines, RunSqlScriptSeparatesStatementsByWholeLines) {
    const QStringList script = {"UPDATE Stock SET Qty = Qty + 1", "go", "", "UPDATE Stock SET Qty = Qty + 10"};
    EXPECT_TRUE(RunSqlScript(script));
    EXPECT_EQ(Value("SELECT Qty FROM Stock WHERE Code = 1"), "16");
    // Statements span lines; a line ";" belongs to the statement.
    EXPECT_TRUE(RunSqlScript({"UPDATE Stock", "  SET Qty = 0", "WHERE Code = 2", ";;", ";;"}));
    EXPECT_EQ(Value("SELECT Qty FROM Stock WHERE Code = 2"), "0");
    // SELECTs are executed without fetching.
    EXPECT_TRUE(RunSqlScript({"SELECT * FROM Stock"}));
    EXPECT_FALSE(ExecOnly);
    EXPECT_EQ(MessageQuiet, 0);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ServerRoutines, RunSqlScriptRollsBackAndShowsOneMessage) {
    EXPECT_FALSE(RunSqlScript({"UPDATE Stock SET Qty = 0", "GO", "UPDATE NoSuchTable SET x = 1"}));
    // The first statement was rolled back with the rest.
    EXPECT_EQ(Value("SELECT Qty FROM Stock WHERE Code = 1"), "5");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Грешка");
    EXPECT_EQ(Messages[0].Style, 16);
    EXPECT_TRUE(Messages[0].Text.contains("NoSuchTable")) << Messages[0].Text.toStdString();
    EXPECT_EQ(WorkDepth, 0);
    EXPECT_FALSE(Database->InTransaction());
}

TEST_F(ServerRoutines, RunSqlScriptPrefersTheServerMessage) {
    EXPECT_FALSE(RunSqlScript({"SET kzmErrorMessage = 'Няма наличност'", ";;", "UPDATE NoSuchTable SET x = 1"}));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "Няма наличност");
}

TEST_F(ServerRoutines, StoppedStatementIsNoErrorToReport) {
    // A watcher that stops every statement long enough to be asked, as the
    // busy dialog's Cancel does.
    const TQueryWatcher previous = SetQueryWatcher([] { return true; });
    const QString longSelect = QStringLiteral(
        "SELECT COUNT(*) FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
        "WHERE x < 200000) SELECT x FROM c)");
    // Raised even while failures are to be reported only, and never shown.
    ContinueOnSqlError = true;
    EXPECT_THROW(ExecSqlValue(longSelect), EAbort);
    ContinueOnSqlError = false;
    EXPECT_EQ(LastSqlFailed, -1);
    // A stopped script is rolled back without the "Грешка" box.
    EXPECT_FALSE(RunSqlScript({"UPDATE Stock SET Qty = 0", "GO", longSelect}));
    SetQueryWatcher(previous);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Value("SELECT Qty FROM Stock WHERE Code = 1"), "5");
    EXPECT_EQ(WorkDepth, 0);
    EXPECT_EQ(MessageQuiet, 0);
    EXPECT_FALSE(ExecOnly);
    EXPECT_FALSE(Database->InTransaction());
}

TEST_F(ServerRoutines, ServerDateAndTimeUseTheProgramFormats) {
    const QRegularExpression date(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4}$"));
    const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d$"));
    for (bool ready : {true, false}) {
        SessionReady = ready;
        EXPECT_TRUE(date.match(ServerDate()).hasMatch()) << ServerDate().toStdString();
        EXPECT_TRUE(time.match(ServerTime()).hasMatch()) << ServerTime().toStdString();
    }
    EXPECT_EQ(ServerDate(), QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ServerRoutines, DateToTextDropsTrailingNonDigits) {
    EXPECT_EQ(DateToText(QDateTime(QDate(2005, 3, 7), QTime(14, 5))), "07.03.2005");
}

} // namespace
