// The translation of the program's SQL texts for PostgreSQL, without a
// server: what each rewrite makes of a text, and what it leaves alone.

#include "PgDialect.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>

using namespace Qt::StringLiterals;
using SqlDialect::TStatement;

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// A connection with the variables kzmGodina (integer) and kzmText (text),
// the server settings search_path and datestyle, and no table DUMMY.
PgDialect::TConnectionState State() {
    PgDialect::TConnectionState s;
    s.IsVariable = [](const QString& n) {
        return n.compare("kzmGodina"_L1, Qt::CaseInsensitive) == 0 ||
               n.compare("kzmText"_L1, Qt::CaseInsensitive) == 0;
    };
    s.VariableType = [](const QString& n) {
        return n.compare("kzmGodina"_L1, Qt::CaseInsensitive) == 0 ? u"integer"_s : u"text"_s;
    };
    s.IsSetting = [](const QString& n) { return n == "search_path"_L1 || n == "datestyle"_L1; };
    return s;
}

TStatement One(const QString& sql, const QSet<QString>& readAs = {},
               const PgDialect::TConnectionState& state = State()) {
    return PgDialect::Translate(PgDialect::Tokenize(sql), state, readAs);
}

const QString Year = u"CAST(NULLIF(current_setting('vexal.kzmgodina', true), '') AS integer)"_s;

TEST(PgDialect, RewritesWhatPostgresLacks) {
    struct Case {
        const char* In;
        QString Out;
    } const cases[] = {
        // The one-row table becomes a one-row subquery, also under an alias.
        {"SELECT kzmConnectID FROM DUMMY",
         u"SELECT kzmConnectID FROM (SELECT 1 AS dummy_col) AS DUMMY"_s},
        {"SELECT d.x FROM dummy d", u"SELECT d.x FROM (SELECT 1 AS dummy_col) d"_s},
        {"SELECT a, dummy FROM t, DUMMY WHERE x IN (SELECT 1 FROM s, dummy)",
         u"SELECT a, dummy FROM t, (SELECT 1 AS dummy_col) AS DUMMY WHERE x IN (SELECT 1 FROM s, "
         "(SELECT 1 AS dummy_col) AS DUMMY)"_s},
        // The connection number is the server process.
        {"SELECT Connection_property('Number')", u"SELECT pg_backend_pid()"_s},
        // Two-word current date and time; CURRENT_DATE is PostgreSQL's own.
        {"SELECT current date, CURRENT TIME, CURRENT_DATE",
         u"SELECT CURRENT_DATE, LOCALTIME(0), CURRENT_DATE"_s},
        // LIKE ignores case and has no escape character unless one is named.
        {"SELECT 1 FROM t WHERE t.a LIKE 'аб%'",
         u"SELECT 1 FROM t WHERE CAST(t.a AS text) ILIKE 'аб%' ESCAPE ''"_s},
        {"SELECT 1 FROM t WHERE a NOT LIKE 'x!%' ESCAPE '!'",
         u"SELECT 1 FROM t WHERE CAST(a AS text) NOT ILIKE 'x!%' ESCAPE '!'"_s},
        // A fraction against a total loses its quotes; a column keeps them,
        // and so does a text that only looks like a number.
        {"SELECT 1 FROM t HAVING SUM(t.q) >='2.5'", u"SELECT 1 FROM t HAVING SUM(t.q) >=2.5"_s},
        {"SELECT 1 FROM t WHERE t.q >='2.5' AND COUNT(*) > '007'",
         u"SELECT 1 FROM t WHERE t.q >='2.5' AND COUNT(*) > '007'"_s},
        // The embedded dialect's helpers.
        {"SELECT isnull(a, 0), year(d), char(13, 10) FROM t",
         u"SELECT coalesce(a, 0), CAST(date_part('year', d) AS integer), (chr(13) || chr( 10)) FROM t"_s},
        // A type after AS is no call.
        {"SELECT CAST(a AS CHAR(3)) FROM t", u"SELECT CAST(a AS CHAR(3)) FROM t"_s},
        // PostgreSQL's own texts pass unchanged.
        {"SELECT LEFT(TableName, 2), now(), x::date FROM Relations WHERE a ~ 'b'",
         u"SELECT LEFT(TableName, 2), now(), x::date FROM Relations WHERE a ~ 'b'"_s},
        {"SELECT \"Сума\", SUM(Amount) \"Оборот\" FROM Sales GROUP BY \"Сума\" ORDER BY \"Оборот\" "
         "DESC",
         u"SELECT \"Сума\", SUM(Amount) \"Оборот\" FROM Sales GROUP BY \"Сума\" ORDER BY \"Оборот\" DESC"_s},
    };
    for (const Case& c : cases) {
        const TStatement st = One(QString::fromUtf8(c.In));
        EXPECT_EQ(st.K, TStatement::Sql) << c.In;
        EXPECT_EQ(st.Text, c.Out) << c.In;
    }
}

TEST(PgDialect, StringWritesTheProgramsDateAndTimeForms) {
    const TStatement st = One(u"SELECT String(d, ', ', t)"_s);
    ASSERT_EQ(st.K, TStatement::Sql);
    // Each argument is formatted on its own, then joined.
    EXPECT_TRUE(st.Text.startsWith(u"SELECT (COALESCE(regexp_replace("_s)) << st.Text.toStdString();
    EXPECT_EQ(st.Text.count(u"COALESCE("_s), 3);
    EXPECT_EQ(st.Text.count(u" || "_s), 2);
    EXPECT_TRUE(st.Text.contains(u"CAST((d) AS text)"_s));
    EXPECT_TRUE(st.Text.contains(u"'\\3.\\2.\\1'"_s)) << "ISO dates become DD.MM.YYYY";
    EXPECT_EQ(One(u"SELECT String()"_s).Text, u"SELECT ''"_s);
    // A pattern that is a program date matches the shown date form.
    const TStatement like = One(u"SELECT 1 FROM s WHERE s.d LIKE '01.12.2024%'"_s);
    EXPECT_TRUE(like.Text.contains(u"WHERE COALESCE(regexp_replace("_s)) << like.Text.toStdString();
    EXPECT_TRUE(like.Text.endsWith(u"ILIKE '01.12.2024%' ESCAPE ''"_s));
}

TEST(PgDialect, ConnectionVariables) {
    struct Case {
        const char* In;
        TStatement::Kind Kind;
        const char* Name;
        QString Text; // the value expression, or the statement
        const char* Type;
    } const cases[] = {
        {"SET kzmConnectID = 4711", TStatement::SetVariable, "kzmConnectID", u"4711"_s, ""},
        {"SET @kzmConnectID = 4711", TStatement::SetVariable, "kzmConnectID", u"4711"_s, ""},
        // The value reads other variables once the server has named them.
        {"SET kzmGodina = kzmGodina + 1", TStatement::SetVariable, "kzmGodina", Year + u" + 1"_s,
         ""},
        {"CREATE VARIABLE kzmGodina INTEGER", TStatement::CreateVariable, "kzmGodina", QString(),
         "INTEGER"},
        {"CREATE OR REPLACE VARIABLE kzmName VARCHAR(20) = 'а'", TStatement::CreateVariable,
         "kzmName", u"'а'"_s, "VARCHAR(20)"},
        {"DROP VARIABLE IF EXISTS kzmName", TStatement::DropVariable, "kzmName", QString(), ""},
        // The server's own settings, SET ... TO and dotted names stay the server's.
        {"SET search_path = public", TStatement::Sql, "", u"SET search_path = public"_s, ""},
        {"SET DateStyle = 'ISO'", TStatement::Sql, "", u"SET DateStyle = 'ISO'"_s, ""},
        {"SET x TO 1", TStatement::Sql, "", u"SET x TO 1"_s, ""},
        {"SET vexal.x = 1", TStatement::Sql, "", u"SET vexal.x = 1"_s, ""},
        {"SET TEMPORARY OPTION x = 1", TStatement::Ignored, "", QString(), ""},
        {"COMMIT WORK", TStatement::Commit, "", QString(), ""},
        {"rollback", TStatement::Rollback, "", QString(), ""},
    };
    for (const Case& c : cases) {
        const TStatement st = One(QString::fromUtf8(c.In), {u"KZMGODINA"_s});
        EXPECT_EQ(st.K, c.Kind) << c.In;
        EXPECT_EQ(st.Name, QString::fromUtf8(c.Name)) << c.In;
        EXPECT_EQ(st.Text, c.Text) << c.In;
        EXPECT_EQ(st.Type, QString::fromUtf8(c.Type)) << c.In;
    }
}

TEST(PgDialect, BareNamesAreColumnsUntilTheServerSaysOtherwise) {
    const QString sql = u"SELECT kzmGodina, t.kzmText, kzmText AS x, @kzmText FROM t"_s;
    // Candidates: unqualified, not called, not an alias.
    EXPECT_EQ(PgDialect::VariableCandidates(PgDialect::Tokenize(sql), State()),
              (QSet<QString>{u"KZMGODINA"_s, u"KZMTEXT"_s}));
    // Before the server has told, only @name reads a variable.
    EXPECT_EQ(One(sql).Text, u"SELECT kzmGodina, t.kzmText, kzmText AS x, "
                             "current_setting('vexal.kzmtext', true) FROM t"_s);
    EXPECT_EQ(One(sql, {u"KZMGODINA"_s}).Text,
              u"SELECT "_s + Year +
                  u", t.kzmText, kzmText AS x, current_setting('vexal.kzmtext', true) FROM t"_s);
    // "@x" that names no variable is PostgreSQL's absolute value.
    EXPECT_EQ(One(u"SELECT @x FROM t"_s).Text, u"SELECT @x FROM t"_s);
}

TEST(PgDialect, SettingVariablesKeepsTheirType) {
    EXPECT_EQ(PgDialect::SetVariableSql(u"kzmX"_s, u"1 + 1"_s, QString()),
              u"SELECT set_config('vexal.kzmx', COALESCE(CAST(v AS text), ''), false), "
              "CAST(pg_typeof(v) AS text) FROM (SELECT (1 + 1) AS v) AS vx"_s);
    EXPECT_TRUE(PgDialect::SetVariableSql(u"kzmX"_s, QString(), u"integer"_s)
                    .contains(u"(SELECT CAST((NULL) AS integer) AS v)"_s));
    struct Case {
        const char* Declared;
        const char* Pg;
        bool Text;
    } const types[] = {
        {"INTEGER", "INTEGER", false},         {"DATETIME", "timestamp", false},
        {"tinyint", "smallint", false},        {"LONG VARCHAR", "text", true},
        {"NVARCHAR(10)", "VARCHAR(10)", true}, {"character varying", "character varying", true},
    };
    for (const Case& c : types) {
        EXPECT_EQ(PgDialect::PgType(QString::fromUtf8(c.Declared)), QString::fromUtf8(c.Pg));
        EXPECT_EQ(PgDialect::IsTextType(PgDialect::PgType(QString::fromUtf8(c.Declared))), c.Text)
            << c.Declared;
    }
}

TEST(PgDialect, ExpressionItemsOfTheSelectList) {
    struct Case {
        const char* Sql;
        std::vector<bool> Expressions;
    } const cases[] = {
        {"SELECT Sales.Qty \"Количество\", SUM(Amount) s, x AS y, 'a', t.\"B\" FROM t",
         {false, true, false, true, false}},
        {"SELECT DISTINCT (SELECT 1) \"К\", CURRENT_DATE FROM t", {true, true}},
        // A * cannot be told apart; a CTE's own list is not the outer one.
        {"SELECT * FROM t", {}},
        {"WITH c AS (SELECT 1 a) SELECT a FROM c", {false}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PgDialect::ExpressionItems(PgDialect::Tokenize(QString::fromUtf8(c.Sql))),
                  c.Expressions)
            << c.Sql;
    // A name read as a variable is an expression.
    EXPECT_EQ(PgDialect::ExpressionItems(PgDialect::Tokenize(u"SELECT kzmGodina FROM DUMMY"_s),
                                         {u"KZMGODINA"_s}),
              std::vector<bool>{true});
}

TEST(PgDialect, DollarQuotedBodiesStayWhole) {
    const auto pieces = SqlDialect::SplitStatements(PgDialect::Tokenize(
        u"CREATE FUNCTION f() RETURNS int AS $body$ BEGIN RETURN 1; END; $body$ LANGUAGE plpgsql;"
        " SELECT $$a;b$$"_s));
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(SqlDialect::Join(pieces[1]).trimmed(), u"SELECT $$a;b$$"_s);
    // A positional parameter is no tag.
    EXPECT_EQ(SqlDialect::SplitStatements(PgDialect::Tokenize(u"SELECT $1; SELECT 2"_s)).size(),
              2u);
}

// An escape string ends where the server ends it: a backslash takes the
// quote after it into the text, so the ";" that follows separates.
TEST(PgDialect, EscapeStringsEndWhereTheServerEndsThem) {
    const std::pair<const char16_t*, std::size_t> rows[] = {
        {u"SELECT E'\\''; DELETE FROM Goods; --'", 2},
        {u"SELECT e'\\'' ; DELETE FROM Goods", 2},
        {u"SELECT E'a\\';b'", 1},
        {u"SELECT E'a'';b'", 1},
        {u"SELECT E'\\\\'; SELECT 2", 2},
        // A plain literal keeps its backslash as text.
        {u"SELECT '\\''; DELETE FROM Goods; --'", 1},
    };
    for (const auto& [sql, count] : rows)
        EXPECT_EQ(SqlDialect::SplitStatements(PgDialect::Tokenize(QString::fromUtf16(sql))).size(),
                  count)
            << QString::fromUtf16(sql).toStdString();
}

} // namespace
