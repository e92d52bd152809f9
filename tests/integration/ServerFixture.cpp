#include "ServerFixture.h"

#include "DbAccess.h"
#include "MessageBox.h"
#include "ServerRoutines.h"
#include "SessionInit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdlib>

using namespace Qt::StringLiterals;

QString TPgServer::Url(const QString& database) const {
    return u"postgres://%1@%2:%3/%4"_s.arg(User, Host).arg(Port).arg(database);
}

QString TMyServer::Url(const QString& database) const {
    return u"mariadb://%1@%2:%3/%4"_s.arg(User, Host).arg(Port).arg(database);
}

namespace ServerTest {

namespace {

QString& MyScratch() {
    static QString name;
    return name;
}

QString& MyOdbcName() {
    static QString name;
    return name;
}

void DropMyScratch() {
    if (MyScratch().isEmpty())
        return;
    try {
        MyAdminExec(u"DROP DATABASE IF EXISTS %1"_s.arg(MyScratch()));
    } catch (...) {
        // The server may already be gone; it is thrown away anyway.
    }
}

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

QString& Scratch() {
    static QString name;
    return name;
}

// The scratch database goes when the test program ends.
void DropScratch() {
    if (Scratch().isEmpty())
        return;
    try {
        AdminExec(u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(Scratch()));
    } catch (...) {
        // The server may already be gone; the cluster is thrown away anyway.
    }
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Exception(u"cannot write %1"_s.arg(path));
    file.write(bytes);
}

QString& OdbcName() {
    static QString name;
    return name;
}

QString& SqliteOdbcName() {
    static QString name;
    return name;
}

// The psqlODBC driver and a data source on the scratch database, in files of
// the test's own folder that the driver manager reads instead of /etc.
void RegisterOdbc(const TPgServer& s, const TMyServer* my) {
    auto find = [](const QString& file) {
        for (const QString& lib : QDir(u"/usr/lib"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (QFile::exists(u"/usr/lib/%1/odbc/%2"_s.arg(lib, file)))
                return u"/usr/lib/%1/odbc/%2"_s.arg(lib, file);
        return QString();
    };
    const QString psql = find(u"psqlodbcw.so"_s);
    const QString sqlite = find(u"libsqlite3odbc.so"_s);
    QString drivers, sources = u"[ODBC Data Sources]\n"_s, sections;
    if (!psql.isEmpty()) {
        OdbcName() = u"VEXALPGODBC"_s;
        drivers += u"[PostgreSQL Unicode]\nDriver=%1\n\n"_s.arg(psql);
        sources += u"VEXALPGODBC=PostgreSQL Unicode\n"_s;
        sections += u"[VEXALPGODBC]\nDriver=PostgreSQL Unicode\nServername=%1\nPort=%2\n"
                    "Database=%3\n\n"_s.arg(s.Host)
                        .arg(s.Port)
                        .arg(Scratch());
    }
    if (!sqlite.isEmpty()) {
        SqliteOdbcName() = u"VEXALSQLITE"_s;
        drivers += u"[SQLite3]\nDriver=%1\n\n"_s.arg(sqlite);
        sources += u"VEXALSQLITE=SQLite3\n"_s;
        sections +=
            u"[VEXALSQLITE]\nDriver=SQLite3\nDatabase=%1\n\n"_s.arg(Dir().filePath(u"demo.db"_s));
    }
    const QString maria = find(u"libmaodbc.so"_s);
    if (my && !maria.isEmpty()) {
        MyOdbcName() = u"VEXALMYODBC"_s;
        drivers += u"[MariaDB Unicode]\nDriver=%1\n\n"_s.arg(maria);
        sources += u"VEXALMYODBC=MariaDB Unicode\n"_s;
        sections += u"[VEXALMYODBC]\nDriver=MariaDB Unicode\nSERVER=%1\nPORT=%2\nDATABASE=%3\n"
                    "UID=%4\nPWD=%5\n\n"_s.arg(my->Host)
                        .arg(my->Port)
                        .arg(MyScratch(), my->User, my->Password);
    }
    WriteFile(Dir().filePath(u"odbcinst.ini"_s), drivers.toUtf8());
    WriteFile(Dir().filePath(u"odbc.ini"_s), (sources + u'\n' + sections).toUtf8());
    qputenv("ODBCSYSINI", QFile::encodeName(Dir().path()));
    qputenv("ODBCINI", QFile::encodeName(Dir().filePath(u"odbc.ini"_s)));
}

} // namespace

QString OdbcDataSource() {
    return OdbcName();
}

QString SqliteOdbcDataSource() {
    return SqliteOdbcName();
}

QString MyOdbcDataSource() {
    return MyOdbcName();
}

QString MyScratchDatabase() {
    return MyScratch();
}

bool MyServer(TMyServer* server) {
    const QStringList parts = QString::fromLocal8Bit(qgetenv("VEXAL_TEST_MARIADB")).split(u':');
    if (parts.size() != 5 || parts[1].toInt() <= 0)
        return false;
    server->Host = parts[0];
    server->Port = parts[1].toInt();
    server->Database = parts[2];
    server->User = parts[3];
    server->Password = parts[4];
    return true;
}

void MyAdminExec(const QString& sql) {
    TMyServer s;
    if (!MyServer(&s))
        throw Exception(u"no MariaDB server"_s);
    const QString name = u"vexal-my-admin"_s;
    {
        QSqlDatabase db = QSqlDatabase::contains(name)
                              ? QSqlDatabase::database(name, false)
                              : QSqlDatabase::addDatabase(u"QMYSQL"_s, name);
        db.setHostName(s.Host);
        db.setPort(s.Port);
        db.setDatabaseName(s.Database);
        db.setUserName(s.User);
        db.setPassword(s.Password);
        if (!db.isOpen() && !db.open())
            throw Exception(db.lastError().text());
        QSqlQuery q(db);
        const bool ok = q.exec(sql);
        const QString message = q.lastError().text();
        q.finish();
        db.close();
        if (!ok)
            throw Exception(message);
    }
}

bool Server(TPgServer* server) {
    const QStringList parts = QString::fromLocal8Bit(qgetenv("VEXAL_TEST_PG")).split(u':');
    if (parts.size() != 4 || parts[1].toInt() <= 0)
        return false;
    server->Host = parts[0];
    server->Port = parts[1].toInt();
    server->Database = parts[2];
    server->User = parts[3];
    return true;
}

bool ServerRequired() {
    return qgetenv("VEXAL_TEST_PG_REQUIRED") == "1" || !qgetenv("CI").isEmpty();
}

void AdminExec(const QString& sql) {
    TPgServer s;
    if (!Server(&s))
        throw Exception(u"no server"_s);
    const QString name = u"vexal-admin"_s;
    {
        QSqlDatabase db = QSqlDatabase::contains(name)
                              ? QSqlDatabase::database(name, false)
                              : QSqlDatabase::addDatabase(u"QPSQL"_s, name);
        db.setHostName(s.Host);
        db.setPort(s.Port);
        db.setDatabaseName(s.Database);
        db.setUserName(s.User);
        if (!db.isOpen() && !db.open())
            throw Exception(db.lastError().text());
        QSqlQuery q(db);
        q.exec(u"SET client_min_messages = warning"_s);
        const bool ok = q.exec(sql);
        const QString message = q.lastError().text();
        q.finish();
        db.close();
        if (!ok)
            throw Exception(message);
    }
}

QString Folder() {
    return Dir().path();
}

QString ScratchDatabase() {
    return Scratch();
}

QString PrepareDemos() {
    static QString problem;
    static bool done = false;
    if (done)
        return problem;
    done = true;
    TPgServer s;
    if (!Server(&s))
        return problem = u"no server"_s;
    try {
        Scratch() = u"vexal_it_%1"_s.arg(QCoreApplication::applicationPid());
        AdminExec(u"DROP DATABASE IF EXISTS %1"_s.arg(Scratch()));
        AdminExec(u"CREATE DATABASE %1"_s.arg(Scratch()));
        std::atexit(DropScratch);
        CreateDemoDatabase(s.Url(Scratch()), DemoRows);
        CreateDemoDatabase(Dir().filePath(u"demo.db"_s), DemoRows);
        // The embedded file is named relative to the aliases file's folder.
        QString aliases =
            u"[EMB]\nDriver=sqlite\nDatabase=demo.db\n\n"
            "[PG]\nDriver=postgres\nHost=%1\nPort=%2\nDatabase=%3\nUser=%4\n"_s.arg(s.Host)
                .arg(s.Port)
                .arg(Scratch(), s.User);
        TMyServer my;
        const bool haveMy = MyServer(&my);
        if (haveMy) {
            MyScratch() = u"vexal_it_%1"_s.arg(QCoreApplication::applicationPid());
            MyAdminExec(u"DROP DATABASE IF EXISTS %1"_s.arg(MyScratch()));
            MyAdminExec(
                u"CREATE DATABASE %1 CHARACTER SET utf8mb4 COLLATE utf8mb4_bin"_s.arg(MyScratch()));
            std::atexit(DropMyScratch);
            qputenv("MYSQL_PWD", my.Password.toLocal8Bit());
            CreateDemoDatabase(my.Url(MyScratch()), DemoRows);
            aliases += u"\n[MY]\nDriver=mariadb\nHost=%1\nPort=%2\nDatabase=%3\nUser=%4\n"
                       "Password=%5\n"_s.arg(my.Host)
                           .arg(my.Port)
                           .arg(MyScratch(), my.User, my.Password);
        }
        WriteFile(Dir().filePath(u"aliases.ini"_s), aliases.toUtf8());
        // It holds the MariaDB password: its user's alone, as the program asks.
        QFile::setPermissions(Dir().filePath(u"aliases.ini"_s),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        qputenv("VEXAL_ALIASES", QFile::encodeName(Dir().filePath(u"aliases.ini"_s)));
        // Both aliases get the demo's connection script.
        QFile script(QStringLiteral(VEXAL_SOURCE_DIR "/demo/DEMO.SQL"));
        if (!script.open(QIODevice::ReadOnly))
            return problem = u"demo/DEMO.SQL is missing"_s;
        const QByteArray lines = script.readAll();
        for (const char* alias : {"EMB", "PG", "VEXALPGODBC", "MY", "VEXALMYODBC", "VEXALSQLITE"})
            WriteFile(Dir().filePath(QLatin1String(alias) + u".SQL"_s), lines);
        ProgramDir = Dir().path() + u'/';
        RegisterOdbc(s, haveMy ? &my : nullptr);
    } catch (const Exception& e) {
        problem = e.message();
    }
    return problem;
}

TDatabase* OpenSession(const QString& alias, const QString& user) {
    auto* database = new TDatabase;
    database->SetDatabaseName(u"restdata"_s);
    database->SetAliasName(alias);
    // The program's own login parameters, unless a user is given: an alias
    // that names its user in the aliases file logs in with that user.
    database->SetParams(user.isEmpty() ? QStringList{u"USER NAME=DBA"_s, u"PASSWORD=WVK"_s}
                                       : QStringList{u"USER NAME="_s + user, u"PASSWORD="_s});
    database->SetLoginPrompt(false);
    try {
        database->Open();
        InitSession(*database);
    } catch (...) {
        delete database;
        throw;
    }
    ContinueOnSqlError = false;
    return database;
}

void CloseSession(TDatabase* database) {
    delete database;
    SessionDatabase = nullptr;
}

QStringList QueryRows(const QString& sql, const QString& databaseName) {
    TQuery q;
    q.SetDatabaseName(databaseName);
    q.SetSQLText(sql);
    q.Open();
    QStringList rows;
    for (q.First(); !q.Eof(); q.Next()) {
        QStringList cells;
        for (int c = 0; c < q.FieldCount(); ++c)
            cells << q.Fields(c)->DisplayText();
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace ServerTest
