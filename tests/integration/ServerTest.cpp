// The program's SQL texts on a real PostgreSQL server, and the inquiry
// scenarios on the embedded database, on PostgreSQL and on PostgreSQL
// through ODBC, compared row for row, with their run times side by side.

#include "ServerFixture.h"

#include "DbAccess.h"
#include "DbConnection.h"
#include "DisplayFormat.h"
#include "MessageBox.h"
#include "Query.h"
#include "Scenarios.h"
#include "ServerRoutines.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <map>

using namespace Qt::StringLiterals;
using namespace ServerTest;

namespace {

// The first value of a statement, as the program reads single values.
QString Value(const QString& sql) {
    return ExecSqlValue(sql).toString();
}

struct TMessages {
    TMessages() {
        Previous = SetMessageBoxHandler([this](const QString& text, const QString& caption, int) {
            Shown << caption + u": "_s + text;
            return IDOK;
        });
    }
    ~TMessages() { SetMessageBoxHandler(Previous); }
    QStringList Shown;
    MessageBoxHandler Previous;
};

// Texts that must give the same value on the embedded database and on
// PostgreSQL, with the value where it is known beforehand.
struct TSameValue {
    const char* Sql;
    const char* Expected; // nullptr: whatever the embedded database says
};

const TSameValue SameValues[] = {
    // The one-row table.
    {"SELECT COUNT(*) FROM DUMMY", "1"},
    // String() writes dates and date-times in the program's forms, joins its
    // arguments and writes null as nothing.
    {"SELECT String(MIN(SaleDate)) FROM Sales", "01.01.2023"},
    {"SELECT String(MIN(DataVavejdane)) FROM Sales", nullptr},
    {"SELECT String('a', 1, NULL, 'b') FROM DUMMY", "a1b"},
    // LEFT() counts characters, not bytes.
    {"SELECT LEFT(Name, 3) FROM Clients WHERE ClientID = 1", "Алф"},
    // 'DD.MM.YYYY' literals against DATE and TIMESTAMP columns.
    {"SELECT COUNT(*) FROM Sales WHERE SaleDate >= '01.12.2024'", nullptr},
    {"SELECT COUNT(*) FROM Sales WHERE DataVavejdane < '02.01.2023'", nullptr},
    // LIKE ignores case in Cyrillic, and matches a date in its shown form
    // and a number in its text.
    {"SELECT COUNT(*) FROM Clients WHERE Name LIKE 'б%'", nullptr},
    {"SELECT COUNT(*) FROM Clients WHERE Name NOT LIKE '%оод'", nullptr},
    {"SELECT COUNT(*) FROM Sales WHERE SaleDate LIKE '01.12.2024'", nullptr},
    {"SELECT COUNT(*) FROM Sales WHERE Qty LIKE '1%'", nullptr},
    // Quoted numbers compare by value, a fraction with a whole-number total too.
    {"SELECT COUNT(*) FROM Sales WHERE Amount >= '100.5'", nullptr},
    {"SELECT COUNT(*) FROM (SELECT ClientID FROM Sales GROUP BY ClientID "
     "HAVING SUM(Qty) >= '5000.5') t",
     nullptr},
    // A quoted Cyrillic alias in GROUP BY and ORDER BY.
    {"SELECT \"Плащане\" FROM (SELECT Payment \"Плащане\", COUNT(*) \"Брой\" FROM Sales "
     "GROUP BY \"Плащане\" ORDER BY \"Плащане\" DESC) t LIMIT 1",
     "Карта"},
};

// The server aliases the dialect tests run on: PostgreSQL, and MariaDB when
// its test server is named.
std::vector<const char*> ServerAliases() {
    std::vector<const char*> aliases = {"PG"};
    TMyServer my;
    if (MyServer(&my))
        aliases.push_back("MY");
    else if (ServerRequired())
        ADD_FAILURE() << "no MariaDB server: VEXAL_TEST_MARIADB is not set";
    return aliases;
}

TEST(ServerDialect, SameValuesAsTheEmbeddedDatabase) {
    REQUIRE_PG_SERVER();
    std::map<QString, QString> embedded;
    std::vector<const char*> aliases = ServerAliases();
    aliases.insert(aliases.begin(), "EMB");
    for (const char* alias : aliases) {
        TDatabase* db = OpenSession(QLatin1String(alias));
        TMessages messages;
        for (const TSameValue& c : SameValues) {
            const QString sql = QString::fromUtf8(c.Sql);
            QString value;
            try {
                value = Value(sql);
            } catch (const Exception& e) {
                value = u"error: "_s + e.message();
            }
            if (c.Expected) {
                EXPECT_EQ(value, QString::fromUtf8(c.Expected)) << alias << ": " << c.Sql;
            }
            if (QLatin1String(alias) == "EMB"_L1)
                embedded[sql] = value;
            else
                EXPECT_EQ(value, embedded[sql]) << alias << ": " << c.Sql;
        }
        EXPECT_TRUE(messages.Shown.isEmpty()) << messages.Shown.join(u'\n').toStdString();
        CloseSession(db);
    }
}

TEST(ServerDialect, ServerFunctionsAndConnectionVariables) {
    REQUIRE_PG_SERVER();
    for (const char* alias : ServerAliases()) {
        SCOPED_TRACE(alias);
        const bool pg = QLatin1String(alias) == "PG"_L1;
        TDatabase* db = OpenSession(QLatin1String(alias));
        TMessages messages;
        // The session bootstrap stored the server's connection number.
        EXPECT_EQ(Value(u"SELECT kzmConnectID FROM DUMMY"_s),
                  Value(u"SELECT Connection_property('Number')"_s));
        EXPECT_NE(Value(u"SELECT Connection_property('Number')"_s), u"0"_s);
        EXPECT_EQ(Value(u"SELECT String(current date)"_s), DateText(QDate::currentDate()));
        EXPECT_EQ(Value(u"SELECT String(CURRENT TIME)"_s).size(), 5) << "HH:MM";
        EXPECT_EQ(ServerDate(), DateText(QDate::currentDate()));

        struct Case {
            const char* Statement; // run first
            const char* Read;      // then read
            const char* Expected;
        } const cases[] = {
            // The connection script declared kzmGodina INTEGER and set it.
            {"SET kzmGodina = kzmGodina + 1", "SELECT kzmGodina FROM DUMMY", "2025"},
            // An untyped variable takes the type of its value; @name is the same.
            {"SET kzmText = 'ябълка'", "SELECT @kzmText || '!' FROM DUMMY", "ябълка!"},
            {"SET @kzmDay = CAST('2024-03-07' AS DATE)", "SELECT String(kzmDay) FROM DUMMY",
             "07.03.2024"},
            {"CREATE VARIABLE kzmSum NUMERIC(10,2)", "SELECT kzmSum FROM DUMMY", ""},
            {"SET kzmSum = '12.345'", "SELECT kzmSum * 2 FROM DUMMY", "24.7"},
            // A variable never hides a column of the same name.
            {"CREATE VARIABLE Name VARCHAR(20) = 'променлива'",
             "SELECT Name FROM Clients WHERE ClientID = 1", "Алфа ООД"},
            {"SELECT 1", "SELECT Name FROM DUMMY", "променлива"},
            // The server's own settings stay the server's.
            {pg ? "SET search_path = public" : "SET sql_select_limit = 1000",
             pg ? "SELECT current_setting('search_path')" : "SELECT @@sql_select_limit",
             pg ? "public" : "1000"},
            // A backslash in a value is no escape.
            {"SET kzmPath = 'C:\\' || 'x'", "SELECT kzmPath FROM DUMMY", "C:\\x"},
            {"SELECT 1", "SELECT LENGTH('a\\') FROM DUMMY", "2"},
            // Characters by their codes, and the shown form of a date-time.
            {"SELECT 1", "SELECT char(1071, 1040) FROM DUMMY", "ЯА"},
            {"CREATE VARIABLE kzmWhen DATETIME = '2024-03-07 09:05:00'",
             "SELECT String(kzmWhen) FROM DUMMY", "07.03.2024 09:05"},
            // COMMIT WORK and ROLLBACK WORK outside a transaction do nothing.
            {"COMMIT WORK", "SELECT 'ok'", "ok"},
            {"ROLLBACK WORK", "SELECT 'ok'", "ok"},
        };
        for (const Case& c : cases) {
            ExecSqlValue(QString::fromUtf8(c.Statement));
            EXPECT_EQ(Value(QString::fromUtf8(c.Read)), QString::fromUtf8(c.Expected))
                << c.Statement;
        }
        // A display name longer than the server's 63 bytes keeps its full text.
        const QString longName = u"Средна стойност на продажбите за избрания период"_s;
        TQuery q;
        q.SetDatabaseName(u"restdata"_s);
        q.SetSQLText(u"SELECT COUNT(*) \"%1\" FROM Sales ORDER BY \"%1\""_s.arg(longName));
        q.Open();
        EXPECT_EQ(q.Fields(0)->FieldName(), longName);
        EXPECT_EQ(q.Fields(0)->AsInteger(), DemoRows);
        q.Close();

        // A value the declared type cannot take is refused, and the variable keeps its value.
        ContinueOnSqlError = true;
        ExecSqlValue(u"SET kzmGodina = 'abc'"_s);
        ContinueOnSqlError = false;
        EXPECT_EQ(LastSqlFailed, -1);
        EXPECT_EQ(Value(u"SELECT kzmGodina FROM DUMMY"_s), u"2025"_s);
        ASSERT_EQ(messages.Shown.size(), 1);
        EXPECT_TRUE(messages.Shown[0].startsWith(u"SQL Exception: "_s));
        CloseSession(db);
    }
}

TEST(ServerDialect, UnitsOfWorkReadVariablesAndRollBack) {
    REQUIRE_PG_SERVER();
    for (const char* alias : ServerAliases()) {
        SCOPED_TRACE(alias);
        TDatabase* db = OpenSession(QLatin1String(alias));
        TMessages messages;
        // A log type of this test's own: the demo's pre-run script, run by other
        // tests with other years, writes its rows into the same table.
        ExecSqlValue(u"DELETE FROM LogFile WHERE Tip = 919"_s);
        const QString before = Value(u"SELECT COUNT(*) FROM LogFile WHERE Tip IN (10, 919)"_s);
        // A script reads the year variable inside the unit of work, as the demo's
        // pre-run script does.
        EXPECT_TRUE(RunSqlScript({u"INSERT INTO LogFile(UserN, Tip, LogText)"_s,
                                  u"SELECT -1, 919, 'Продажби за ' || String(kzmGodina)"_s}));
        EXPECT_EQ(Value(u"SELECT LogText FROM LogFile WHERE Tip = 919"_s), u"Продажби за 2024"_s);
        // A failing statement rolls the whole script back.
        EXPECT_FALSE(RunSqlScript({u"INSERT INTO LogFile VALUES(-1, 10, 'x')"_s, u"GO"_s,
                                   u"INSERT INTO NoSuchTable VALUES(1)"_s}));
        EXPECT_EQ(Value(u"SELECT COUNT(*) FROM LogFile WHERE Tip IN (10, 919)"_s),
                  QString::number(before.toInt() + 1));
        ASSERT_EQ(messages.Shown.size(), 1);
        EXPECT_TRUE(messages.Shown[0].startsWith(u"Грешка: "_s)) << messages.Shown[0].toStdString();
        EXPECT_TRUE(messages.Shown[0].contains(u"nosuchtable"_s))
            << messages.Shown[0].toStdString();
        EXPECT_FALSE(db->InTransaction());
        CloseSession(db);
    }
}

TEST(Odbc, DataSourcesAreAliasesThatOpenWithTheLoginParameters) {
    REQUIRE_PG_SERVER();
    if (OdbcDataSource().isEmpty() || SqliteOdbcDataSource().isEmpty()) {
        if (ServerRequired())
            FAIL() << "psqlODBC or the SQLite ODBC driver is not installed";
        GTEST_SKIP() << "no ODBC drivers";
    }
    // The alias chooser lists the system's data sources beside the aliases file's.
    const QStringList aliases = TSession::Default().AliasNames();
    for (const QString& name : {u"EMB"_s, u"PG"_s, OdbcDataSource(), SqliteOdbcDataSource()})
        EXPECT_TRUE(aliases.contains(name)) << name.toStdString();

    TAliasInfo info;
    ASSERT_TRUE(TSession::Default().FindAlias(OdbcDataSource(), &info));
    EXPECT_EQ(info.Driver, u"odbc"_s);
    {
        // Without a user the server refuses; the message is the engine's.
        TDatabase refused;
        refused.SetDatabaseName(u"odbc"_s);
        refused.SetAliasName(OdbcDataSource());
        refused.SetParams({u"USER NAME=nobody_here"_s});
        try {
            refused.Open();
            ADD_FAILURE() << "opened without a known user";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.message().contains(u"nobody_here"_s)) << e.message().toStdString();
        }
    }
    // With the login parameters it opens, and the program's dialect reaches
    // PostgreSQL behind it.
    TDatabase db;
    db.SetDatabaseName(u"odbc"_s);
    db.SetAliasName(OdbcDataSource());
    db.SetParams({u"USER NAME=vexal"_s, u"PASSWORD="_s});
    db.Open();
    EXPECT_EQ(db.Connection()->Driver(), u"odbc"_s);
    EXPECT_EQ(QueryRows(u"SELECT COUNT(*), String(MIN(SaleDate)) FROM Sales, DUMMY"_s, u"odbc"_s),
              QStringList{u"%1|01.01.2023"_s.arg(DemoRows)});
    db.Close();

    // A data source on an SQLite file speaks the embedded dialect: its
    // connection variables, DUMMY, and dates as the embedded database shows
    // them (the file holds ISO texts).
    TDatabase lite;
    lite.SetDatabaseName(u"lite"_s);
    lite.SetAliasName(SqliteOdbcDataSource());
    lite.Open();
    EXPECT_EQ(QueryRows(u"SELECT COUNT(*), MIN(SaleDate) FROM Sales"_s, u"lite"_s),
              QStringList{u"%1|01.01.2023"_s.arg(DemoRows)});
    TQuery variable;
    variable.SetDatabaseName(u"lite"_s);
    variable.SetSQLText(u"CREATE VARIABLE kzmOdbc INTEGER = 41"_s);
    variable.ExecSQL();
    EXPECT_EQ(QueryRows(u"SELECT kzmOdbc + 1 FROM DUMMY"_s, u"lite"_s), QStringList{u"42"_s});
    lite.Close();

    // A data source whose file is gone fails with a message, as the driver
    // would, rather than making an empty database.
    {
        QFile ini(Folder() + u"/odbc.ini"_s);
        ASSERT_TRUE(ini.open(QIODevice::Append));
        ini.write(u"\n[VEXALNOFILE]\nDriver=SQLite3\nDatabase=%1/no-such-dir/x.db\n"_s.arg(Folder())
                      .toUtf8());
    }
    TDatabase gone;
    gone.SetDatabaseName(u"gone"_s);
    gone.SetAliasName(u"VEXALNOFILE"_s);
    EXPECT_THROW(gone.Open(), EDatabaseError);
}

// ---------------------------------------------------------------- scenarios

struct TBackend {
    const char* Title;
    QString Alias;
    QString User;
};

TEST(Scenarios, SameRowsOnEveryBackend) {
    REQUIRE_PG_SERVER();
    std::vector<TBackend> backends = {{"embedded", u"EMB"_s, QString()},
                                      {"PostgreSQL", u"PG"_s, QString()}};
    if (!OdbcDataSource().isEmpty())
        backends.push_back({"PostgreSQL via ODBC", OdbcDataSource(), u"vexal"_s});
    else if (ServerRequired())
        ADD_FAILURE() << "psqlODBC is not installed";
    if (!SqliteOdbcDataSource().isEmpty())
        backends.push_back({"SQLite via ODBC", SqliteOdbcDataSource(), QString()});
    else if (ServerRequired())
        ADD_FAILURE() << "the SQLite ODBC driver is not installed";
    TMyServer my;
    if (MyServer(&my)) {
        backends.push_back({"MariaDB", u"MY"_s, QString()});
        if (!MyOdbcDataSource().isEmpty())
            backends.push_back({"MariaDB via ODBC", MyOdbcDataSource(), my.User});
        else if (ServerRequired())
            ADD_FAILURE() << "MariaDB's ODBC driver is not installed";
    } else if (ServerRequired()) {
        ADD_FAILURE() << "no MariaDB server: VEXAL_TEST_MARIADB is not set";
    }
    std::vector<std::vector<TScenarioResult>> results;
    // The text export of each result, as the export button writes it.
    std::vector<std::vector<QByteArray>> exports;
    for (const TBackend& backend : backends) {
        TDatabase* db = OpenSession(backend.Alias, backend.User);
        std::vector<TScenarioResult> row;
        std::vector<QByteArray> exported;
        for (const TScenario& scenario : Scenarios()) {
            QByteArray bytes;
            row.push_back(RunScenario(scenario, 3, [&](TInquiry& inquiry) {
                const QString file = Folder() + u"/scenario-export.txt"_s;
                ExportResult(inquiry, QString::fromUtf8(scenario.Name), file);
                QFile text(file);
                if (text.open(QIODevice::ReadOnly))
                    bytes = text.readAll();
            }));
            exported.push_back(bytes);
        }
        results.push_back(std::move(row));
        exports.push_back(std::move(exported));
        CloseSession(db);
    }

    QString table =
        u"Run times of the inquiry scenarios (median of 3 runs, %1 sales rows), ms\n"_s.arg(
            DemoRows);
    table += u"%1 %2"_s.arg(u"scenario"_s, -22).arg(u"rows"_s, 6);
    for (const TBackend& b : backends)
        table += u" %1"_s.arg(QLatin1String(b.Title), 20);
    table += u'\n';
    for (std::size_t s = 0; s < Scenarios().size(); ++s) {
        const TScenarioResult& reference = results[0][s];
        const char* name = Scenarios()[s].Name;
        EXPECT_TRUE(reference.Messages.isEmpty())
            << name << ": " << reference.Messages.join(u'\n').toStdString();
        EXPECT_FALSE(reference.Rows.isEmpty()) << name;
        table += u"%1 %2"_s.arg(QLatin1String(name), -22).arg(reference.Rows.size(), 6);
        for (std::size_t b = 0; b < backends.size(); ++b) {
            const TScenarioResult& r = results[b][s];
            table += u" %1"_s.arg(r.Milliseconds, 20, 'f', 1);
            if (b == 0)
                continue;
            const std::string where = std::string(name) + " on " + backends[b].Title;
            EXPECT_TRUE(r.Messages.isEmpty())
                << where << ": " << r.Messages.join(u'\n').toStdString();
            EXPECT_EQ(r.Sql, reference.Sql) << where;
            // Row for row: the same rows, and the same order as far as the
            // ORDER BY tells it (rows equal in their keys may come in any order).
            EXPECT_EQ(r.OrderKeys, reference.OrderKeys) << where;
            QStringList mine = r.Rows, theirs = reference.Rows;
            std::sort(mine.begin(), mine.end());
            std::sort(theirs.begin(), theirs.end());
            EXPECT_EQ(mine, theirs) << where;
            // The export byte for byte where the ORDER BY fixes the order of
            // every row; else its lines, in any order among equal keys.
            const QByteArray& ours = exports[b][s];
            const QByteArray& embedded = exports[0][s];
            EXPECT_FALSE(embedded.isEmpty()) << name;
            if (QSet<QString>(reference.OrderKeys.begin(), reference.OrderKeys.end()).size() ==
                reference.OrderKeys.size()) {
                EXPECT_EQ(ours, embedded) << where << ": the export differs";
            } else {
                QList<QByteArray> a = ours.split('\n'), e = embedded.split('\n');
                std::sort(a.begin(), a.end());
                std::sort(e.begin(), e.end());
                EXPECT_EQ(a, e) << where << ": the export's lines differ";
            }
        }
        table += u'\n';
    }
    std::printf("%s", table.toUtf8().constData());
    QFile file(QCoreApplication::applicationDirPath() + u"/scenario-times.txt"_s);
    if (file.open(QIODevice::WriteOnly))
        file.write(table.toUtf8());
}

} // namespace

// ---------------------------------------------------------------- cancel

// A Cancel stops the statement on the server, not only the reading of its
// rows: the next statement of the same session answers at once.
TEST(ServerCancel, StopsTheStatementOnTheServerAndTheSessionGoesOn) {
    REQUIRE_PG_SERVER();
    std::vector<TBackend> backends = {{"PostgreSQL", u"PG"_s, QString()}};
    if (!OdbcDataSource().isEmpty())
        backends.push_back({"PostgreSQL via ODBC", OdbcDataSource(), u"vexal"_s});
    TMyServer my;
    if (MyServer(&my))
        backends.push_back({"MariaDB", u"MY"_s, QString()});
    for (const TBackend& backend : backends) {
        const bool pg = QLatin1String(backend.Title).startsWith("PostgreSQL"_L1);
        TDatabase* db = OpenSession(backend.Alias, backend.User);
        int calls = 0;
        SetQueryWatcher([&calls] { return ++calls > 20; });
        // A row every two milliseconds: forty seconds of work.
        TQuery slow;
        slow.SetDatabaseName(u"restdata"_s);
        slow.SetSQLText(pg ? u"SELECT N, pg_sleep(0.002) AS Z FROM generate_series(1, 20000) AS N"_s
                           : u"SELECT seq AS N, SLEEP(0.002) AS Z FROM seq_1_to_20000"_s);
        QElapsedTimer clock;
        clock.start();
        EXPECT_THROW(slow.Open(), EQueryCancelled) << backend.Title;
        SetQueryWatcher(nullptr);
        EXPECT_FALSE(slow.Active()) << backend.Title;
        EXPECT_LT(clock.elapsed(), 10000) << backend.Title;
        clock.restart();
        EXPECT_EQ(Value(u"SELECT COUNT(*) FROM Clients"_s), u"60"_s) << backend.Title;
        EXPECT_LT(clock.elapsed(), 5000) << backend.Title;
        CloseSession(db);
    }
}

// A cursor's values of every kind, as the grid shows them: the same on
// PostgreSQL and MariaDB (their rows are read as the server sends them).
TEST(ServerDialect, CursorValuesOfEveryKind) {
    REQUIRE_PG_SERVER();
    for (const char* alias : ServerAliases()) {
        const bool pg = QLatin1String(alias) == "PG"_L1;
        TDatabase* db = OpenSession(QLatin1String(alias));
        const QString sql =
            pg ? u"SELECT CAST(NULL AS integer), 7, -9000000000, CAST(1.5 AS float8), "
                 "CAST(12.50 AS numeric(10,2)), DATE '2024-03-07', "
                 "TIMESTAMP '2024-03-07 09:05:01.25', TIMESTAMP '2024-03-07 09:05:00', "
                 "TIME '09:05:01', 'ябълка\\', 1 = 1"_s
               : u"SELECT CAST(NULL AS SIGNED), 7, -9000000000, 1.5E0, "
                 "CAST(12.50 AS DECIMAL(10,2)), DATE '2024-03-07', "
                 "CAST('2024-03-07 09:05:01.25' AS DATETIME(3)), "
                 "CAST('2024-03-07 09:05:00' AS DATETIME), TIME '09:05:01', 'ябълка\\', 1 = 1"_s;
        const QStringList rows = QueryRows(sql);
        ASSERT_EQ(rows.size(), 1) << alias;
        const QStringList cells = rows[0].split(u'|');
        ASSERT_EQ(cells.size(), 11) << alias << ": " << rows[0].toStdString();
        const QStringList expected = {
            u""_s,      u"7"_s,          u"-9000000000"_s,      u"1.5"_s,
            u"12.5"_s,  u"07.03.2024"_s, u"07.03.2024 09:05"_s, u"07.03.2024 09:05"_s,
            u"09:05"_s, u"ябълка\\"_s};
        for (int c = 0; c < expected.size(); ++c)
            EXPECT_EQ(cells[c], expected[c]) << alias << " column " << c;
        // The seconds and milliseconds the grid does not show are kept.
        TQuery q;
        q.SetDatabaseName(u"restdata"_s);
        q.SetSQLText(sql);
        q.Open();
        EXPECT_EQ(q.Fields(6)->AsDateTime(), QDateTime(QDate(2024, 3, 7), QTime(9, 5, 1, 250)))
            << alias;
        EXPECT_EQ(q.Fields(7)->AsDateTime(), QDateTime(QDate(2024, 3, 7), QTime(9, 5))) << alias;
        EXPECT_TRUE(q.Fields(0)->IsNull()) << alias;
        q.Close();
        CloseSession(db);
    }
}
