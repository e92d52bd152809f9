// The server dialect on the embedded engine: how statements are rewritten,
// and what the rewritten statements answer on a real database.

#include "SqlDialect.h"
#include "SqlFixture.h"

#include <QRegularExpression>

using SqlDialect::TStatement;

namespace {

bool IsKzmVariable(const QString& name) {
    return name.compare(u"kzmX"_s, Qt::CaseInsensitive) == 0;
}

TStatement One(const QString& sql) {
    const auto statements = SqlDialect::TranslateText(sql, IsKzmVariable);
    EXPECT_EQ(statements.size(), 1u) << sql.toStdString();
    return statements.empty() ? TStatement() : statements.front();
}

} // namespace

TEST(SqlDialect, Rewrites) {
    struct Row {
        const char16_t* Sql;
        const char16_t* Expected;
    };
    const Row rows[] = {
        // LEFT( and RIGHT( are keywords in SQLite; LEFT JOIN stays.
        {u"SELECT LEFT(TableName, 2) FROM t", u"SELECT vx_left(TableName, 2) FROM t"},
        {u"select Left (a,2), right(b, 1) from t", u"select vx_left (a,2), vx_right(b, 1) from t"},
        {u"SELECT * FROM a LEFT JOIN b ON a.x = b.x", u"SELECT * FROM a LEFT JOIN b ON a.x = b.x"},
        // Two-word current date and time in any case.
        {u"SELECT String(current date)", u"SELECT String(vx_current_date())"},
        {u"SELECT String(CURRENT   TIME)", u"SELECT String(vx_current_time())"},
        // Quotes, double-quoted names and comments are left alone.
        {u"SELECT 'LEFT(x', \"LEFT\" -- LEFT(\nFROM t",
         u"SELECT 'LEFT(x', \"LEFT\" -- LEFT(\nFROM t"},
        {u"SELECT 'it''s = ''3''' FROM t", u"SELECT 'it''s = ''3''' FROM t"},
        // Canonical numbers and program dates compare by value.
        {u"SELECT * FROM t WHERE t.Qty >='5'", u"SELECT * FROM t WHERE vx_cmp(t.Qty, '5') >=0"},
        {u"SELECT 1 FROM t GROUP BY a HAVING SUM(t.Qty*t.P) >='3'",
         u"SELECT 1 FROM t GROUP BY a HAVING vx_cmp(SUM(t.Qty*t.P), '3') >=0"},
        {u"SELECT 1 FROM t WHERE a = 1 AND (b+c) <> '-2.5'",
         u"SELECT 1 FROM t WHERE a = 1 AND vx_cmp((b+c), '-2.5') <> 0"},
        // A plain column gets a range on its ISO texts that an index answers.
        {u"SELECT 1 FROM t WHERE d<'01.02.2005'",
         u"SELECT 1 FROM t WHERE (d < '2005-02-02' AND vx_cmp(d, '01.02.2005')<0)"},
        // Not canonical numbers: left to compare as text.
        {u"SELECT 1 FROM t WHERE Code = '007'", u"SELECT 1 FROM t WHERE Code = '007'"},
        {u"SELECT 1 FROM t WHERE Code = '1.0'", u"SELECT 1 FROM t WHERE Code = '1.0'"},
        {u"SELECT 1 FROM t WHERE Code = '+3'", u"SELECT 1 FROM t WHERE Code = '+3'"},
        // The literal is part of a longer operand: not rewritten.
        {u"SELECT 1 FROM t WHERE a = '3' || b", u"SELECT 1 FROM t WHERE a = '3' || b"},
        // The assignments of an UPDATE are no comparisons; its WHERE is.
        {u"UPDATE t SET a = '3', b = (SELECT 1 FROM u WHERE u.c = '4') WHERE d = '5'",
         u"UPDATE t SET a = '3', b = (SELECT 1 FROM u WHERE vx_cmp(u.c, '4') = 0) WHERE vx_cmp(d, "
         u"'5') = 0"},
        // Variables read by bare name or @name; qualified names are columns.
        {u"SELECT kzmX", u"SELECT vx_var('kzmX')"},
        {u"SELECT KZMX FROM DUMMY", u"SELECT vx_var('KZMX') FROM DUMMY"},
        {u"SELECT @kzmX, t.kzmX, kzmx.a FROM t", u"SELECT vx_var('kzmX'), t.kzmX, kzmx.a FROM t"},
        {u"SELECT kzmY FROM t", u"SELECT kzmY FROM t"}, // unknown: the engine reports it
        // Schema statements get no comparison or variable rewrites.
        {u"CREATE TABLE t(a DATE DEFAULT CURRENT_DATE, CHECK (a > '3'))",
         u"CREATE TABLE t(a DATE DEFAULT CURRENT_DATE, CHECK (a > '3'))"},
    };
    for (const Row& r : rows) {
        const TStatement st = One(QString::fromUtf16(r.Sql));
        EXPECT_EQ(st.K, TStatement::Sql) << QString::fromUtf16(r.Sql).toStdString();
        EXPECT_EQ(st.Text, QString::fromUtf16(r.Expected));
    }
}

TEST(SqlDialect, StatementKinds) {
    struct Row {
        const char16_t* Sql;
        TStatement::Kind Kind;
        const char16_t* Name;
        const char16_t* Type;
        const char16_t* Text;
    };
    const Row rows[] = {
        // The session bootstrap sets an undeclared variable, in both forms.
        {u"SET kzmConnectID = 4711", TStatement::SetVariable, u"kzmConnectID", u"", u"SELECT 4711"},
        {u"SET @kzmConnectID = 4711", TStatement::SetVariable, u"kzmConnectID", u"",
         u"SELECT 4711"},
        {u"SET kzmErrorMessage=''", TStatement::SetVariable, u"kzmErrorMessage", u"", u"SELECT ''"},
        {u"SET kzmGodina='2005'", TStatement::SetVariable, u"kzmGodina", u"", u"SELECT '2005'"},
        {u"create variable kzmGodina integer", TStatement::CreateVariable, u"kzmGodina", u"integer",
         u""},
        {u"CREATE OR REPLACE VARIABLE v VARCHAR(20) = 'a'", TStatement::CreateVariable, u"v",
         u"VARCHAR(20)", u"SELECT 'a'"},
        {u"DROP VARIABLE IF EXISTS v", TStatement::DropVariable, u"v", u"", u""},
        {u"COMMIT WORK", TStatement::Commit, u"", u"", u""},
        {u"rollback work", TStatement::Rollback, u"", u"", u""},
        {u"ROLLBACK", TStatement::Rollback, u"", u"", u""},
        {u"ROLLBACK TO SAVEPOINT a", TStatement::Sql, u"", u"", u"ROLLBACK TO SAVEPOINT a"},
        {u"SET TEMPORARY OPTION date_format = 'DD.MM.YYYY'", TStatement::Ignored, u"", u"", u""},
        // A blank line of a connection script.
        {u"   ", TStatement::Empty, u"", u"", u""},
        {u"-- only a comment", TStatement::Empty, u"", u"", u""},
    };
    for (const Row& r : rows) {
        const TStatement st = One(QString::fromUtf16(r.Sql));
        EXPECT_EQ(st.K, r.Kind) << QString::fromUtf16(r.Sql).toStdString();
        EXPECT_EQ(st.Name, QString::fromUtf16(r.Name));
        EXPECT_EQ(st.Type, QString::fromUtf16(r.Type));
        EXPECT_EQ(st.Text, QString::fromUtf16(r.Text));
    }
}

TEST(SqlDialect, SplitsAtTopLevelSemicolons) {
    EXPECT_EQ(SqlDialect::TranslateText(u"SELECT ';'; SELECT 2;"_s, IsKzmVariable).size(), 2u);
    // A trigger body keeps its semicolons.
    EXPECT_EQ(SqlDialect::TranslateText(u"CREATE TRIGGER tr AFTER INSERT ON t BEGIN "
                                        "UPDATE t SET a = 1; UPDATE t SET b = 2; END; SELECT 1"_s,
                                        IsKzmVariable)
                  .size(),
              2u);
    // Unknown @names fail like unknown columns.
    EXPECT_THROW(SqlDialect::TranslateText(u"SELECT @nope"_s, IsKzmVariable), EDatabaseError);
}

class Dialect : public SqlFixture {};

TEST_F(Dialect, FunctionsAndComparisons) {
    struct Row {
        const char16_t* Sql;
        QVariant Expected;
    };
    const QString today = QDate::currentDate().toString(u"dd.MM.yyyy"_s);
    const Row rows[] = {
        {u"SELECT LEFT('Петров', 3)", u"Пет"_s}, // characters, not bytes
        {u"SELECT RIGHT('Петров', 2)", u"ов"_s},
        {u"SELECT LEFT(NULL, 2)", QVariant()},
        {u"SELECT String(current date)", today},
        {u"SELECT String(SaleDate) FROM Sales WHERE N = 1", u"01.02.2005"_s},
        {u"SELECT String(Stamp) FROM Sales WHERE N = 2", u"07.03.2005"_s}, // midnight not shown
        {u"SELECT String('a', 1, NULL, 2.5)", u"a12.5"_s},
        {u"SELECT dummy_col FROM DUMMY", 0},
        {u"SELECT COUNT(*) FROM DUMMY", 1},
        // A quoted number compares with a number column by value...
        {u"SELECT COUNT(*) FROM Sales WHERE Qty >= '5'", 2},
        {u"SELECT COUNT(*) FROM Sales WHERE Price = '1'", 1}, // 1.0 stored
        // ...and with an aggregate, which has no column type to go by.
        {u"SELECT SUM(Qty) FROM Sales HAVING SUM(Qty) >='3'", 18},
        {u"SELECT COUNT(*) FROM (SELECT SUM(Qty) s FROM Sales HAVING SUM(Qty) >='30')", 0},
        // A text column compares as text: '007' is not 7, '10' < '2'.
        {u"SELECT COUNT(*) FROM Sales WHERE Code = '7'", 0},
        {u"SELECT COUNT(*) FROM Sales WHERE Code = '007'", 1},
        {u"SELECT COUNT(*) FROM Sales WHERE Code = '3'", 1},
        {u"SELECT COUNT(*) FROM Sales WHERE Code < '2'", 2},
        // Program dates against ISO dates and date-times.
        {u"SELECT COUNT(*) FROM Sales WHERE SaleDate >= '01.02.2005'", 2},
        {u"SELECT COUNT(*) FROM Sales WHERE Stamp = '07.03.2005'", 1},  // at midnight
        {u"SELECT COUNT(*) FROM Sales WHERE Stamp <= '01.02.2005'", 1}, // 10:30 is later
        {u"SELECT COUNT(*) FROM Sales WHERE Stamp > '31.12.2004 23:59:59'", 2},
        // LIKE ignores case in Cyrillic and sees dates as shown.
        {u"SELECT COUNT(*) FROM Sales WHERE Client LIKE 'ив%'", 2},
        {u"SELECT COUNT(*) FROM Sales WHERE Note LIKE '%Мляко%'", 2},
        {u"SELECT COUNT(*) FROM Sales WHERE Note NOT LIKE 'мляко'", 1}, // NULL note is neither
        {u"SELECT COUNT(*) FROM Sales WHERE Client LIKE '_ванов'", 2},
        {u"SELECT COUNT(*) FROM Sales WHERE SaleDate LIKE '01.02.2005'", 1},
        {u"SELECT COUNT(*) FROM Sales WHERE Stamp LIKE '01.02.2005%'", 1},
        {u"SELECT COUNT(*) FROM Sales WHERE Code LIKE '0!%' ESCAPE '!'", 0},
        // The catalogue queries of the inquiry window.
        {u"SELECT COUNT(*) FROM Sales WHERE LEFT(Client, 2)<>'Ив'", 2},
        {u"SELECT year(SaleDate) FROM Sales WHERE N = 3", 2004},
    };
    for (const Row& r : rows) {
        const QString sql = QString::fromUtf16(r.Sql);
        QVariant value;
        ASSERT_NO_THROW(value = Value(sql)) << sql.toStdString();
        EXPECT_EQ(value.toString(), r.Expected.toString()) << sql.toStdString();
        EXPECT_EQ(value.isNull(), r.Expected.isNull()) << sql.toStdString();
    }
    EXPECT_GT(Value(u"SELECT Connection_property('Number')"_s).toInt(), 0);
    EXPECT_TRUE(QRegularExpression(u"^\\d\\d:\\d\\d$"_s)
                    .match(Value(u"SELECT String(CURRENT TIME)"_s).toString())
                    .hasMatch());
    EXPECT_EQ(Value(u"SELECT Now()"_s).metaType().id(), QMetaType::QDateTime);
}

TEST_F(Dialect, ConnectionVariables) {
    // Reading an undeclared name fails like an unknown column.
    EXPECT_EQ(Failure(u"SELECT kzmErrorMessage"_s), u"no such column: kzmErrorMessage"_s);
    Exec(u"SET kzmErrorMessage=''"_s);
    EXPECT_EQ(Value(u"SELECT kzmErrorMessage"_s), QVariant(u""_s));
    Exec(u"SET kzmConnectID = 4711"_s);
    EXPECT_EQ(Value(u"SELECT kzmConnectID FROM DUMMY"_s).toInt(), 4711);
    Exec(u"SET @kzmConnectID = 5"_s); // the same variable
    EXPECT_EQ(Value(u"SELECT @kzmConnectID"_s).toInt(), 5);

    // A declared type converts what is set, and refuses what it cannot take.
    Exec(u"CREATE VARIABLE kzmGodina INTEGER"_s);
    EXPECT_TRUE(Value(u"SELECT kzmGodina FROM DUMMY"_s).isNull());
    Exec(u"SET kzmGodina='2005'"_s);
    const QVariant year = Value(u"SELECT kzmGodina FROM DUMMY"_s);
    EXPECT_EQ(year.metaType().id(), QMetaType::LongLong);
    EXPECT_EQ(year.toInt(), 2005);
    EXPECT_EQ(Failure(u"SET kzmGodina='abc'"_s, false), u"Cannot convert 'abc' to INTEGER"_s);
    EXPECT_EQ(Value(u"SELECT kzmGodina"_s).toInt(), 2005);
    EXPECT_EQ(Failure(u"CREATE VARIABLE kzmGodina INTEGER"_s, false),
              u"Variable 'kzmGodina' already exists"_s);
    // Variables take part in queries over tables.
    EXPECT_EQ(Value(u"SELECT COUNT(*) FROM Sales WHERE year(SaleDate) = kzmGodina"_s).toInt(), 2);
    EXPECT_EQ(Value(u"SELECT kzmGodina \"Година\", Client FROM Sales WHERE N = 1"_s).toInt(), 2005);
    // A column of the same name comes first.
    Exec(u"SET Client = 'променлива'"_s);
    EXPECT_EQ(Value(u"SELECT Client FROM Sales WHERE N = 1"_s).toString(), u"Иванов"_s);
    EXPECT_EQ(Value(u"SELECT Client FROM DUMMY"_s).toString(), u"променлива"_s);
    Exec(u"DROP VARIABLE kzmGodina"_s);
    EXPECT_FALSE(Failure(u"SELECT kzmGodina"_s).isEmpty());

    // Variables belong to their connection.
    TDatabase other;
    other.SetDatabaseName(u"other"_s);
    other.SetAliasName(u"TESTDB"_s);
    other.Open();
    TQuery q;
    q.SetDatabaseName(u"other"_s);
    q.SetSQLText(u"SELECT kzmConnectID"_s);
    EXPECT_THROW(q.Open(), EDatabaseError);
}

TEST_F(Dialect, WorkStatementsAndFailures) {
    // COMMIT WORK and ROLLBACK WORK with and without a transaction.
    EXPECT_EQ(Failure(u"COMMIT WORK"_s, false), QString());
    EXPECT_EQ(Failure(u"ROLLBACK WORK"_s, false), QString());
    Db->StartTransaction();
    Exec(u"INSERT INTO Sales(N, Client) VALUES(4, 'Нов')"_s);
    EXPECT_TRUE(Db->InTransaction());
    Exec(u"ROLLBACK WORK"_s);
    EXPECT_FALSE(Db->InTransaction());
    EXPECT_EQ(Value(u"SELECT COUNT(*) FROM Sales"_s).toInt(), 3);
    Db->Commit(); // nothing left to commit: no failure

    struct Row {
        const char16_t* Sql;
        bool Open;
        const char16_t* Message;
    };
    const Row rows[] = {
        // The engine's own messages come through.
        {u"SELECT * FROM Nowhere", true, u"no such table: Nowhere"},
        {u"SELEC 1", false, u"near \"SELEC\": syntax error"},
        // An empty statement does nothing when executed (a blank script
        // line), but there is nothing to open.
        {u"", false, u""},
        {u"  ", true, u"No SQL statement to open"},
        {u"UPDATE Sales SET Qty = 1 WHERE N = 0", true, u"The statement returns no rows"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Failure(QString::fromUtf16(r.Sql), r.Open), QString::fromUtf16(r.Message))
            << QString::fromUtf16(r.Sql).toStdString();
}

// A query's text runs as exactly one statement: a second one smuggled in
// (through a saved inquiry's condition line, say) is refused before anything
// runs, while a ";" inside a literal, a quoted name or a comment is text.
TEST_F(Dialect, QueryRunsExactlyOneStatement) {
    const QString refused = u"more than one statement"_s;
    struct Row {
        const char16_t* Sql;
        bool Refused;
    };
    const Row rows[] = {
        {u"SELECT * FROM Sales WHERE Client ='София'; DELETE FROM Sales; SELECT 1 WHERE 1 = 1",
         true},
        {u"SELECT * FROM Sales WHERE Client ='София'\n; DELETE FROM Sales", true},
        {u"DELETE FROM Sales; SELECT 1", true},
        // The engine would run only the first one; the second is refused too.
        {u"SELECT 1 ; ; DELETE FROM Sales", true},
        {u"SELECT * FROM Sales WHERE Client = ';DELETE FROM Sales;'", false},
        {u"SELECT Client AS \"a;b\" FROM Sales", false},
        {u"SELECT * FROM Sales -- ; DELETE FROM Sales", false},
        {u"SELECT * FROM Sales /* ; DELETE FROM Sales; */", false},
        // A final ";" ends the one statement.
        {u"SELECT * FROM Sales;", false},
        {u"SELECT * FROM Sales; -- done", false},
    };
    for (const Row& r : rows) {
        const QString sql = QString::fromUtf16(r.Sql);
        for (const bool open : {true, false}) {
            const QString failure = Failure(sql, open);
            EXPECT_EQ(failure.contains(refused), r.Refused)
                << sql.toStdString() << " -> " << failure.toStdString();
            EXPECT_EQ(Value(u"SELECT COUNT(*) FROM Sales"_s).toInt(), 3) << sql.toStdString();
        }
    }

    // Scripts opt in to several statements.
    TQuery script;
    script.SetDatabaseName(u"testdb"_s);
    script.SetMultiStatement(true);
    script.SetSQLText(u"SET kzmA = 2; SELECT kzmA"_s);
    script.Open();
    EXPECT_EQ(script.Fields(0)->AsInteger(), 2);
}

TEST(StatementSeparator, OnlyOutsideLiteralsAndComments) {
    const std::pair<const char16_t*, bool> rows[] = {
        {u"Clients.City ='София'; DELETE FROM Sales; SELECT 1 WHERE 1 = 1", true},
        {u"Clients.City ='София';", true},
        {u"Clients.City =';'", false},
        {u"Clients.City ='it''s; fine'", false},
        {u"\"City;\" = 1", false},
        {u"[City;] = 1", false},
        {u"City = 1 -- ; not a separator", false},
        {u"City = 1 /* ; */", false},
        // An unclosed literal runs to the end: nothing after it separates.
        {u"City = 'open ; still text", false},
        {u"", false},
    };
    for (const auto& [text, separated] : rows)
        EXPECT_EQ(SqlDialect::HasStatementSeparator(QString::fromUtf16(text)), separated)
            << QString::fromUtf16(text).toStdString();
}
