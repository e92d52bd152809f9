#pragma once
// The servers of the integration tests: the PostgreSQL server named by
// VEXAL_TEST_PG=host:port:database:user (tools/setup test starts one), a
// scratch database made on it for each test program, the demo database in
// that scratch database and in an embedded SQLite file, and an aliases file
// naming both (EMB, PG), with their connection scripts in ProgramDir.
//
// Without VEXAL_TEST_PG the server tests skip; where the server is required
// (VEXAL_TEST_PG_REQUIRED=1, set by tools/setup test, or CI) they fail.
//
// A MariaDB server named by VEXAL_TEST_MARIADB=host:port:database:user:password
// (tools/setup test starts one too) gets its own scratch database with the
// demo, the alias MY and an ODBC data source through MariaDB's ODBC driver;
// where the servers are required, its absence fails the tests that use it.

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>

class TDatabase;

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

struct TPgServer {
    QString Host;
    int Port = 0;
    QString Database;
    QString User;
    // postgres://user@host:port/database
    QString Url(const QString& database) const;
};

struct TMyServer {
    QString Host;
    int Port = 0;
    QString Database;
    QString User;
    QString Password;
    // mariadb://user@host:port/database
    QString Url(const QString& database) const;
};

namespace ServerTest {

// The named MariaDB server; false when VEXAL_TEST_MARIADB is unset or malformed.
bool MyServer(TMyServer* server);
// Runs statements on the MariaDB server outside the program.
void MyAdminExec(const QString& sql);
// The ODBC data source of the MariaDB scratch database; empty without one.
QString MyOdbcDataSource();
// The scratch database's name on the MariaDB server.
QString MyScratchDatabase();

// The named server; false when VEXAL_TEST_PG is unset or malformed.
bool Server(TPgServer* server);
// True when a missing server is a failure rather than a skip.
bool ServerRequired();
// Runs statements on the server's maintenance database, outside the program.
void AdminExec(const QString& sql);

// Number of sales rows of the demo databases.
constexpr int DemoRows = 20000;

// Created once per test program: the scratch database with the demo, the
// embedded demo file, the aliases file and the connection scripts. Returns
// an empty text on success, else what went wrong.
QString PrepareDemos();
// The ODBC data source of the scratch database through psqlODBC, registered
// in an odbc.ini of Folder() (ODBCINI, ODBCSYSINI); its name, or empty when
// the driver is not installed.
QString OdbcDataSource();
// A data source on the embedded demo file through the SQLite ODBC driver.
QString SqliteOdbcDataSource();

// The folder that holds the aliases file, the demo file and the scripts.
QString Folder();
// The scratch database's name on the server.
QString ScratchDatabase();

// A database component opened on an alias as the program opens it, with
// the session bootstrapped (connection script, connection number).
TDatabase* OpenSession(const QString& alias, const QString& user = QString());
void CloseSession(TDatabase* database);

// Texts of every row of an open query: display texts joined by "|".
QStringList QueryRows(const QString& sql, const QString& databaseName = QStringLiteral("restdata"));

} // namespace ServerTest

// Skips, or fails where the servers are required, when no MariaDB server is
// named; PostgreSQL too must be there (the demos are prepared together).
#define REQUIRE_MARIADB_SERVER()                                                                   \
    do {                                                                                           \
        REQUIRE_PG_SERVER();                                                                       \
        TMyServer required_my_;                                                                    \
        if (!ServerTest::MyServer(&required_my_)) {                                                \
            if (ServerTest::ServerRequired())                                                      \
                FAIL() << "no MariaDB server: VEXAL_TEST_MARIADB is not set";                      \
            GTEST_SKIP() << "no MariaDB server named in VEXAL_TEST_MARIADB";                       \
        }                                                                                          \
    } while (false)

// Skips, or fails where the server is required, when no server is named.
#define REQUIRE_PG_SERVER()                                                                        \
    do {                                                                                           \
        TPgServer required_;                                                                       \
        if (!ServerTest::Server(&required_)) {                                                     \
            if (ServerTest::ServerRequired())                                                      \
                FAIL() << "no PostgreSQL server: VEXAL_TEST_PG is not set";                        \
            GTEST_SKIP() << "no PostgreSQL server named in VEXAL_TEST_PG";                         \
        }                                                                                          \
        const QString problem_ = ServerTest::PrepareDemos();                                       \
        ASSERT_TRUE(problem_.isEmpty()) << problem_.toStdString();                                 \
    } while (false)
