// Attacks through the SQL a user or a saved inquiry supplies, on the
// embedded database, on PostgreSQL and MariaDB, directly and through ODBC: a
// second statement smuggled into a condition line, and a backslash in a
// typed value on a server that would take it as an escape. And the logins a
// MariaDB server refuses.

#include "ServerFixture.h"

#include "DbAccess.h"
#include "DbConnection.h"
#include "Describe.h"
#include "Inquiry.h"
#include "MessageBox.h"
#include "Query.h"
#include "Scenarios.h"
#include "ServerRoutines.h"
#include "TextRoutines.h"

#include <QFile>

using namespace Qt::StringLiterals;
using namespace ServerTest;

namespace {

struct TBackend {
    const char* Title;
    QString Alias;
    QString User;
};

std::vector<TBackend> MyBackends() {
    std::vector<TBackend> backends;
    TMyServer my;
    if (!MyServer(&my))
        return backends;
    backends.push_back({"MariaDB", u"MY"_s, QString()});
    if (!MyOdbcDataSource().isEmpty())
        backends.push_back({"MariaDB via ODBC", MyOdbcDataSource(), my.User});
    return backends;
}

std::vector<TBackend> Backends(bool embedded, bool mariaDb = true) {
    std::vector<TBackend> backends;
    if (embedded)
        backends.push_back({"embedded", u"EMB"_s, QString()});
    backends.push_back({"PostgreSQL", u"PG"_s, QString()});
    if (!OdbcDataSource().isEmpty())
        backends.push_back({"PostgreSQL via ODBC", OdbcDataSource(), u"vexal"_s});
    if (mariaDb)
        for (const TBackend& backend : MyBackends())
            backends.push_back(backend);
    return backends;
}

QString Value(const QString& sql) {
    return ExecSqlValue(sql).toString();
}

} // namespace

// A saved inquiry's condition line that ends its statement and starts
// another: the run fails with a message and Sales keeps every row.
TEST(ServerSecurity, ConditionLineCannotSmuggleASecondStatement) {
    REQUIRE_PG_SERVER();
    for (const TBackend& backend : Backends(true)) {
        TDatabase* db = OpenSession(backend.Alias, backend.User);
        const QString before = Value(u"SELECT COUNT(*) FROM Sales"_s);
        const TScenarioResult run = RunScenario(
            {"smuggled DELETE",
             [](TInquiry& q) {
                 q.SelectSubject(u"Продажби"_s);
                 q.HiddenConditions
                     << u"Sales.Payment ='Карта'; DELETE FROM Sales; SELECT 1 WHERE 1 = 1"_s;
                 q.HiddenConditionsFunc << QString();
             }},
            1);
        EXPECT_TRUE(run.Rows.isEmpty()) << backend.Title;
        EXPECT_TRUE(run.Messages.join(u'\n').contains(u"more than one statement"_s))
            << backend.Title << ": " << run.Messages.join(u'\n').toStdString();
        EXPECT_EQ(Value(u"SELECT COUNT(*) FROM Sales"_s), before) << backend.Title;
        EXPECT_EQ(before.toInt(), DemoRows) << backend.Title;

        // A ";" inside a literal or a comment is text.
        const TScenarioResult literal = RunScenario({"semicolon in a literal",
                                                     [](TInquiry& q) {
                                                         q.SelectSubject(u"Продажби"_s);
                                                         q.HiddenConditions
                                                             << u"Sales.Payment <> 'a;b' /* ; */"_s;
                                                         q.HiddenConditionsFunc << QString();
                                                     }},
                                                    1);
        EXPECT_TRUE(literal.Messages.isEmpty())
            << backend.Title << ": " << literal.Messages.join(u'\n').toStdString();
        EXPECT_FALSE(literal.Rows.isEmpty()) << backend.Title;
        CloseSession(db);
    }
}

// On a database whose default leaves standard_conforming_strings off, a
// backslash before a quote would end the literal on the server: every
// session turns the setting on, so the typed text stays a value.
TEST(ServerSecurity, BackslashInATypedValueStaysText) {
    REQUIRE_PG_SERVER();
    AdminExec(u"ALTER DATABASE %1 SET standard_conforming_strings = off"_s.arg(ScratchDatabase()));
    struct TReset {
        ~TReset() {
            AdminExec(
                u"ALTER DATABASE %1 RESET standard_conforming_strings"_s.arg(ScratchDatabase()));
        }
    } reset;
    for (const TBackend& backend : Backends(false, false)) {
        TDatabase* db = OpenSession(backend.Alias, backend.User);
        EXPECT_EQ(Value(u"SELECT current_setting('standard_conforming_strings')"_s), u"on"_s)
            << backend.Title;
        const QString before = Value(u"SELECT COUNT(*) FROM Goods"_s);
        ASSERT_GT(before.toInt(), 0) << backend.Title;
        const QString typed = u"\\'; DELETE FROM Goods; --"_s;
        EXPECT_EQ(Value(u"SELECT COUNT(*) FROM Goods WHERE Name = "_s + QuotedSql(typed)), u"0"_s)
            << backend.Title;
        EXPECT_EQ(Value(u"SELECT COUNT(*) FROM Goods"_s), before) << backend.Title;
        CloseSession(db);
    }
}

// The describe command's ODBC catalogue logs in as the alias says, like the
// database's own connection: the built-in DBA login names no role on the
// server, so a catalogue that used it could not connect.
TEST(ServerSecurity, DescribeLogsInWithTheAliasUser) {
    REQUIRE_PG_SERVER();
    if (OdbcDataSource().isEmpty())
        GTEST_SKIP() << "psqlODBC is not installed";
    TPgServer server;
    ASSERT_TRUE(Server(&server));
    {
        QFile aliases(Folder() + u"/aliases.ini"_s);
        ASSERT_TRUE(aliases.open(QIODevice::Append));
        aliases.write(
            u"\n[ODBCUSER]\nDriver=odbc\nDSN=%1\nUser=%2\n"_s.arg(OdbcDataSource(), server.User)
                .toUtf8());
    }
    TDatabase database;
    database.SetDatabaseName(u"described"_s);
    database.SetAliasName(u"ODBCUSER"_s);
    database.SetParams({u"USER NAME=DBA"_s, u"PASSWORD=WVK"_s});
    database.SetLoginPrompt(false);
    database.Open();
    TDescriber describer(database);
    QStringList tables;
    for (const QString& table : describer.Tables())
        tables << table.toLower();
    EXPECT_TRUE(tables.contains(u"sales"_s)) << tables.join(u' ').toStdString();
}

// MariaDB's default SQL mode takes a backslash as an escape: every session
// adds NO_BACKSLASH_ESCAPES, so a typed value that ends in a backslash and a
// quote stays one value, directly and through ODBC.
TEST(ServerSecurity, BackslashInATypedValueStaysTextOnMariaDb) {
    REQUIRE_MARIADB_SERVER();
    // A server whose sessions start with no SQL mode at all.
    MyAdminExec(u"SET GLOBAL sql_mode = ''"_s);
    struct TReset {
        ~TReset() { MyAdminExec(u"SET GLOBAL sql_mode = DEFAULT"_s); }
    } reset;
    for (const TBackend& backend : MyBackends()) {
        TDatabase* db = OpenSession(backend.Alias, backend.User);
        EXPECT_TRUE(Value(u"SELECT @@SESSION.sql_mode"_s).contains(u"NO_BACKSLASH_ESCAPES"_s))
            << backend.Title;
        const QString before = Value(u"SELECT COUNT(*) FROM Goods"_s);
        ASSERT_GT(before.toInt(), 0) << backend.Title;
        for (const QString& typed : {u"\\'; DELETE FROM Goods; -- "_s, u"x\\"_s}) {
            EXPECT_EQ(Value(u"SELECT COUNT(*) FROM Goods WHERE Name = "_s + QuotedSql(typed)),
                      u"0"_s)
                << backend.Title;
            EXPECT_EQ(Value(u"SELECT "_s + QuotedSql(typed) + u" FROM DUMMY"_s), typed)
                << backend.Title;
        }
        EXPECT_EQ(Value(u"SELECT COUNT(*) FROM Goods"_s), before) << backend.Title;
        CloseSession(db);
    }
}

// A server that is not there, a wrong password, a database that does not
// exist: the opening fails with the driver's own message and no session.
TEST(ServerSecurity, MariaDbLoginsTheServerRefusesFailWithItsMessage) {
    REQUIRE_MARIADB_SERVER();
    TMyServer my;
    ASSERT_TRUE(MyServer(&my));
    struct Case {
        const char* Name;
        QString Section;
        const char* Expected; // in the message
    } const cases[] = {
        {"MYBADPASS",
         u"Driver=mariadb\nHost=%1\nPort=%2\nDatabase=%3\nUser=%4\nPassword=wrong"_s.arg(my.Host)
             .arg(my.Port)
             .arg(my.Database, my.User),
         "Access denied"},
        {"MYNODB",
         u"Driver=mysql\nHost=%1\nPort=%2\nDatabase=no_such_db\nUser=%3\nPassword=%4"_s.arg(my.Host)
             .arg(my.Port)
             .arg(my.User, my.Password),
         "no_such_db"},
        {"MYDOWN", u"Driver=mariadb\nHost=127.0.0.1\nPort=1\nDatabase=x\nUser=x\nPassword=x"_s,
         "Can't connect"},
        {"MYSSL",
         u"Driver=mariadb\nHost=%1\nPort=%2\nDatabase=%3\nUser=%4\nPassword=%5\n"
         "SSLMode=verify-full"_s.arg(my.Host)
             .arg(my.Port)
             .arg(my.Database, my.User, my.Password),
         "SSLMode=verify-full"},
    };
    {
        QFile aliases(Folder() + u"/aliases.ini"_s);
        ASSERT_TRUE(aliases.open(QIODevice::Append));
        for (const Case& c : cases)
            aliases.write(u"\n[%1]\n%2\n"_s.arg(QLatin1String(c.Name), c.Section).toUtf8());
    }
    for (const Case& c : cases) {
        TDatabase database;
        database.SetDatabaseName(u"refused"_s);
        database.SetAliasName(QLatin1String(c.Name));
        database.SetLoginPrompt(false);
        try {
            database.Open();
            ADD_FAILURE() << c.Name << " opened";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.message().contains(QLatin1String(c.Expected)))
                << c.Name << ": " << e.message().toStdString();
        }
        EXPECT_FALSE(database.Connected()) << c.Name;
    }
}

// --describe on MariaDB reads tables, keys and foreign keys from
// information_schema.
TEST(ServerSecurity, DescribeReadsTheMariaDbCatalogue) {
    REQUIRE_MARIADB_SERVER();
    TDatabase database;
    database.SetDatabaseName(u"described"_s);
    database.SetAliasName(u"MY"_s);
    database.SetLoginPrompt(false);
    database.Open();
    TDescriber describer(database);
    QStringList tables;
    for (const QString& table : describer.Tables())
        tables << table.toLower();
    EXPECT_TRUE(tables.contains(u"sales"_s)) << tables.join(u' ').toStdString();
    EXPECT_TRUE(tables.contains(u"salesofyear"_s)) << tables.join(u' ').toStdString();
    const TCatalogueTable sales = describer.Table(describer.FindTable(u"Sales"_s));
    QStringList columns;
    for (const TCatalogueColumn& column : sales.Columns) {
        columns << column.Name;
        if (column.Name.compare("SaleID"_L1, Qt::CaseInsensitive) == 0) {
            EXPECT_TRUE(column.PrimaryKey);
        } else if (column.Name.compare("ClientID"_L1, Qt::CaseInsensitive) == 0) {
            EXPECT_EQ(column.RefTable.toLower(), u"clients"_s);
            EXPECT_EQ(column.RefColumn.toLower(), u"clientid"_s);
        } else if (column.Name.compare("SaleDate"_L1, Qt::CaseInsensitive) == 0) {
            EXPECT_EQ(column.Kind, TColumnKind::Date);
        } else if (column.Name.compare("InvoiceNo"_L1, Qt::CaseInsensitive) == 0) {
            EXPECT_EQ(column.Kind, TColumnKind::Text);
            EXPECT_EQ(column.Length, 10);
        }
    }
    EXPECT_EQ(columns.size(), 12) << columns.join(u' ').toStdString();
}

// An alias whose DSN= is a whole ODBC connection string, with no odbc.ini
// entry: it opens and the program's dialect reaches MariaDB behind it.
TEST(ServerSecurity, MariaDbThroughAnOdbcConnectionStringAlias) {
    REQUIRE_MARIADB_SERVER();
    if (MyOdbcDataSource().isEmpty()) {
        if (ServerRequired())
            FAIL() << "MariaDB's ODBC driver is not installed";
        GTEST_SKIP() << "no MariaDB ODBC driver";
    }
    TMyServer my;
    ASSERT_TRUE(MyServer(&my));
    {
        QFile aliases(Folder() + u"/aliases.ini"_s);
        ASSERT_TRUE(aliases.open(QIODevice::Append));
        aliases.write(u"\n[MYSTRING]\nDriver=odbc\nDSN=DRIVER={MariaDB Unicode};SERVER=%1;"
                      "PORT=%2;DATABASE=%3\nUser=%4\nPassword=%5\n"_s.arg(my.Host)
                          .arg(my.Port)
                          .arg(MyScratchDatabase(), my.User, my.Password)
                          .toUtf8());
    }
    TDatabase database;
    database.SetDatabaseName(u"dsnless"_s);
    database.SetAliasName(u"MYSTRING"_s);
    database.SetLoginPrompt(false);
    database.Open();
    EXPECT_EQ(database.Connection()->Driver(), u"odbc"_s);
    EXPECT_EQ(
        QueryRows(u"SELECT COUNT(*), String(MIN(SaleDate)) FROM Sales, DUMMY"_s, u"dsnless"_s),
        QStringList{u"%1|01.01.2023"_s.arg(DemoRows)});
}
