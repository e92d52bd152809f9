// Attacks through the SQL a user or a saved inquiry supplies, on the
// embedded database, on PostgreSQL and on PostgreSQL through ODBC: a second
// statement smuggled into a condition line, and a backslash in a typed value
// on a server that would take it as an escape.

#include "ServerFixture.h"

#include "DbAccess.h"
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

std::vector<TBackend> Backends(bool embedded) {
    std::vector<TBackend> backends;
    if (embedded)
        backends.push_back({"embedded", u"EMB"_s, QString()});
    backends.push_back({"PostgreSQL", u"PG"_s, QString()});
    if (!OdbcDataSource().isEmpty())
        backends.push_back({"PostgreSQL via ODBC", OdbcDataSource(), u"vexal"_s});
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
    for (const TBackend& backend : Backends(false)) {
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
