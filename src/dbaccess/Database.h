#pragma once
// Sessions, aliases and the database component.
//
// The alias list is the union of the built-in alias DEMO (an embedded SQLite
// database created on first use in the user's data folder), the aliases of the
// aliases file ($VEXAL_ALIASES, else aliases.ini in the user's configuration
// folder) and the ODBC data sources the system knows. Each section of the
// aliases file is an alias: Driver=sqlite|odbc|postgres, Database=, DSN=,
// Host=, Port=, User=, Password=; the database component's login parameters
// ("USER NAME", "PASSWORD") apply where the alias names no user.
//
// The embedded SQLite backend speaks the server dialect the program's SQL
// texts assume: LEFT(), the one-row table DUMMY, Connection_property('Number'),
// String(), current date, current time, Now(), SET of connection variables
// (SET x = ..., SET @x = ..., CREATE VARIABLE x type) read later by bare name,
// COMMIT WORK / ROLLBACK WORK, 'DD.MM.YYYY' date literals, and quoted literals
// in canonical numeric form comparing by value with numbers (SqlDialect.h).
// An empty statement (blanks or comments only, such as a blank line of a
// connection script) does nothing when executed; opening one raises.

#include "Exception.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

class TDbConnection;

enum class TTransIsolation { DirtyRead, ReadCommitted, RepeatableRead };

// How an alias is reached.
struct TAliasInfo {
    QString Name;
    QString Driver;   // "sqlite", "odbc", "postgres", "mariadb" (or "mysql")
    QString Database; // file (sqlite) or database name (postgres, mariadb)
    QString DSN;      // odbc
    QString Host;
    int Port = 0;
    QString User; // from the aliases file; with it, the login parameters are not used
    QString Password;
    // PostgreSQL transport: SSLMode= (disable, prefer, require, verify-ca,
    // verify-full) and SSLRootCert= (the CA certificate file), for the driver;
    // MariaDB/MySQL take disable, prefer and require.
    QString SslMode;
    QString SslRootCert;
};

// The user and password a connection on the alias logs in with: the alias's
// own User=/Password= when it names a user (the administrator's setting for
// that server wins), else the login parameters "USER NAME=" and "PASSWORD=".
struct TLogin {
    QString User;
    QString Password;
};
TLogin AliasLogin(const TAliasInfo& alias, const QStringList& params);

// The engine's default session: the alias list and the open databases.
class TSession : public QObject {
    Q_OBJECT
public:
    static TSession& Default();
    bool Active() const;
    void Open();
    QStringList AliasNames() const; // unsorted, as the sources give them
    bool FindAlias(const QString& name, TAliasInfo* info = nullptr) const;
    QString AliasesFile() const;
    int DatabaseCount() const;
    class TDatabase* Databases(int index) const;
    class TDatabase* FindDatabase(const QString& databaseName) const; // case-insensitive
    // The open database of that name; when there is none but an alias of
    // that name exists, a database on the alias is opened and kept by the
    // session (as a query bound to an alias name expects). Raises otherwise.
    class TDatabase* OpenDatabase(const QString& databaseName);
    ~TSession() override;

private:
    TSession() = default;
    bool IsActive = false;
    friend class TDatabase;
    QList<TDatabase*> OpenDatabases;
};

class TDatabase : public QObject {
    Q_OBJECT
public:
    explicit TDatabase(QObject* owner = nullptr);
    ~TDatabase() override;

    QString DatabaseName() const;
    void SetDatabaseName(const QString& name);
    QString AliasName() const;
    void SetAliasName(const QString& alias); // raises while connected
    QStringList Params() const;              // "USER NAME=DBA", "PASSWORD=WVK"
    void SetParams(const QStringList& params);
    bool LoginPrompt() const;
    void SetLoginPrompt(bool on);
    bool HandleShared() const;
    void SetHandleShared(bool on);
    TTransIsolation TransIsolation() const;
    void SetTransIsolation(TTransIsolation isolation);

    void Open(); // raises EDatabaseError with the engine's message
    void Close();
    bool Connected() const;

    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const;

    // The backend connection, for queries bound to this database.
    TDbConnection* Connection() const;

Q_SIGNALS:
    // About to disconnect: queries bound to the database close and drop
    // their prepared statements.
    void BeforeDisconnect();

private:
    struct Private;
    std::unique_ptr<Private> P;
};

// Default path of the demo database in the user's data folder.
QString DemoDatabasePath();
// Writes a demo database with the given number of sales rows (0: default).
// Replaces an existing file in one step (built under a unique name beside
// it, then renamed). Raises EDatabaseError on failure.
void CreateDemoDatabase(const QString& path, int salesRows = 0);
// Whether the demo file is there and holds the demo's tables; an empty or
// damaged file (of a build that died) is not.
bool DemoDatabaseUsable(const QString& path);
