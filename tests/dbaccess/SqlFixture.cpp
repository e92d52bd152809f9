#include "SqlFixture.h"

#include "TestUtil.h"

#include <QFile>

#include <sqlite3.h>

#include <cstdlib>

namespace {
const char* const SalesSchema = R"(
CREATE TABLE Sales(N INTEGER PRIMARY KEY, Client TEXT, Code TEXT, Qty INTEGER, Price REAL,
                   SaleDate DATE, Stamp DATETIME, Note VARCHAR(30), At TIME);
INSERT INTO Sales VALUES(1, 'Иванов', '007', 5, 2.5, '2005-02-01', '2005-02-01 10:30:00', 'мляко', '09:15:00');
INSERT INTO Sales VALUES(2, 'Петров', '3', 3, 1.0, '2005-03-07', '2005-03-07 00:00:00', 'МЛЯКО прясно', NULL);
INSERT INTO Sales VALUES(3, 'иванов', '10', 10, NULL, '2004-12-31', '2004-12-31 23:59:59', NULL, '23:00:00');
)";
} // namespace

void SqlFixture::MakeDatabase(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
}

void SqlFixture::WriteAliases(const QByteArray& ini) {
    const QString path = Dir.filePath(QStringLiteral("aliases.ini"));
    TestUtil::WriteFile(path, ini);
    setenv("VEXAL_ALIASES", QFile::encodeName(path).constData(), 1);
}

void SqlFixture::SetUp() {
    ASSERT_TRUE(Dir.isValid());
    DbPath = Dir.filePath(QStringLiteral("sales.db"));
    MakeDatabase(DbPath, SalesSchema);
    WriteAliases("[TESTDB]\nDriver=sqlite\nDatabase=sales.db\n");
    Db = std::make_unique<TDatabase>();
    Db->SetDatabaseName(QStringLiteral("testdb"));
    Db->SetAliasName(QStringLiteral("TESTDB"));
    Db->Open();
}

void SqlFixture::TearDown() {
    Db.reset();
    unsetenv("VEXAL_ALIASES");
}

QVariant SqlFixture::Value(const QString& sql) {
    TQuery q;
    q.SetDatabaseName(QStringLiteral("testdb"));
    q.SetSQLText(sql);
    q.Open();
    return q.Eof() ? QVariant() : q.Fields(0)->AsVariant();
}

int SqlFixture::Rows(const QString& sql) {
    TQuery q;
    q.SetDatabaseName(QStringLiteral("testdb"));
    q.SetSQLText(sql);
    q.Open();
    return q.RecordCount();
}

void SqlFixture::Exec(const QString& sql) {
    TQuery q;
    q.SetDatabaseName(QStringLiteral("testdb"));
    q.SetParamCheck(false);
    q.SetSQLText(sql);
    q.ExecSQL();
}

QString SqlFixture::Failure(const QString& sql, bool open) {
    try {
        TQuery q;
        q.SetDatabaseName(QStringLiteral("testdb"));
        q.SetParamCheck(false);
        q.SetSQLText(sql);
        if (open)
            q.Open();
        else
            q.ExecSQL();
    } catch (const EDatabaseError& e) {
        return e.message().isEmpty() ? QStringLiteral("(no message)") : e.message();
    }
    return {};
}
