#include "Database.h"

#include "DbConnection.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <cstdio>

namespace {

const QString DemoAlias = QStringLiteral("DEMO");

// One section of an INI file: its name and its keys (upper-cased) in order.
struct TIniSection {
    QString Name;
    QList<QPair<QString, QString>> Keys;
    QString Value(const char* key) const {
        for (const auto& k : Keys)
            if (k.first == QLatin1String(key))
                return k.second;
        return {};
    }
};

// A plain INI reader: [section] lines, key=value lines, ';' and '#' comments.
// A missing or unreadable file has no sections; one that is no regular file
// or far too big raises EDatabaseError naming it (it would block or fill
// the memory otherwise).
QList<TIniSection> ReadIni(const QString& path) {
    QList<TIniSection> sections;
    const QFileInfo info(path);
    if (!info.exists())
        return sections;
    QByteArray bytes;
    try {
        bytes = ReadUntrustedFile(path);
    } catch (const Exception& e) {
        if (info.isFile() && info.size() <= UntrustedFileLimit)
            return sections;
        throw EDatabaseError(e.message());
    }
    const QStringList lines = QString::fromUtf8(bytes).replace(u'\r', QString()).split(u'\n');
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            TIniSection section;
            section.Name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            if (!section.Name.isEmpty())
                sections.append(section);
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0 || sections.isEmpty())
            continue;
        sections.last().Keys.append(
            {line.left(eq).trimmed().toUpper(), line.mid(eq + 1).trimmed()});
    }
    return sections;
}

// Files that list ODBC data sources: the user's and the system's.
QStringList OdbcIniFiles() {
    QStringList files;
    const QByteArray user = qgetenv("ODBCINI");
    files << (user.isEmpty() ? QDir::homePath() + QStringLiteral("/.odbc.ini")
                             : QString::fromLocal8Bit(user));
    const QByteArray sys = qgetenv("ODBCSYSINI");
    files << (sys.isEmpty() ? QStringLiteral("/etc/odbc.ini")
                            : QString::fromLocal8Bit(sys) + QStringLiteral("/odbc.ini"));
    return files;
}

QStringList OdbcDataSources() {
    QStringList names;
    for (const QString& file : OdbcIniFiles())
        for (const TIniSection& s : ReadIni(file))
            if (s.Name.compare(QLatin1String("ODBC Data Sources"), Qt::CaseInsensitive) != 0 &&
                s.Name.compare(QLatin1String("ODBC"), Qt::CaseInsensitive) != 0)
                names << s.Name;
    return names;
}

TAliasInfo AliasOfSection(const TIniSection& s, const QString& iniPath) {
    TAliasInfo info;
    info.Name = s.Name;
    info.Driver = s.Value("DRIVER").toLower();
    info.Database = s.Value("DATABASE");
    info.DSN = s.Value("DSN");
    info.Host = s.Value("HOST");
    info.Port = s.Value("PORT").toInt();
    info.User = s.Value("USER");
    if (info.User.isEmpty())
        info.User = s.Value("USER NAME");
    info.Password = s.Value("PASSWORD");
    info.SslMode = s.Value("SSLMODE");
    info.SslRootCert = s.Value("SSLROOTCERT");
    // A relative database file lies beside the aliases file.
    if (info.Driver == QLatin1String("sqlite") && !info.Database.isEmpty() &&
        QFileInfo(info.Database).isRelative())
        info.Database = QFileInfo(iniPath).absoluteDir().filePath(info.Database);
    return info;
}

// The value of a NAME=value login parameter, the name compared without case.
QString ParamValue(const QStringList& params, const QString& name) {
    for (const QString& p : params) {
        const qsizetype eq = p.indexOf(u'=');
        if (eq > 0 && p.left(eq).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return p.mid(eq + 1);
    }
    return {};
}

// One line on standard error, once per file, when the aliases file holds a
// password and users other than its owner may read it.
void WarnOfReadablePassword(const QString& path, const TAliasInfo& alias) {
    if (alias.Password.isEmpty())
        return;
    const QFileDevice::Permissions mode = QFileInfo(path).permissions();
    if (!(mode & (QFileDevice::ReadGroup | QFileDevice::ReadOther)))
        return;
    static QSet<QString> warned;
    if (warned.contains(path))
        return;
    warned.insert(path);
    std::fprintf(stderr,
                 "vexal: warning: %s holds a password and other users can read it "
                 "(chmod 600 it)\n",
                 QFile::encodeName(QDir::toNativeSeparators(path)).constData());
}

bool IsDemoAlias(const QString& name) {
    return name.compare(DemoAlias, Qt::CaseInsensitive) == 0;
}

} // namespace

// ---------------------------------------------------------------- TSession

TSession& TSession::Default() {
    static TSession session;
    return session;
}

TSession::~TSession() {
    // Databases the session opened for alias names go before the list does.
    const QList<QObject*> owned = children();
    for (QObject* child : owned)
        delete child;
    OpenDatabases.clear();
}

bool TSession::Active() const {
    return IsActive;
}
void TSession::Open() {
    IsActive = true;
}

QString TSession::AliasesFile() const {
    const QByteArray env = qgetenv("VEXAL_ALIASES");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/aliases.ini");
}

QStringList TSession::AliasNames() const {
    QStringList names{DemoAlias};
    auto add = [&](const QString& name) {
        if (!names.contains(name, Qt::CaseInsensitive))
            names << name;
    };
    for (const TIniSection& s : ReadIni(AliasesFile()))
        add(s.Name);
    for (const QString& dsn : OdbcDataSources())
        add(dsn);
    return names;
}

bool TSession::FindAlias(const QString& name, TAliasInfo* info) const {
    TAliasInfo found;
    bool ok = false;
    if (IsDemoAlias(name)) {
        found.Name = DemoAlias;
        found.Driver = QStringLiteral("sqlite");
        found.Database = DemoDatabasePath();
        ok = true;
    }
    if (!ok) {
        const QString file = AliasesFile();
        for (const TIniSection& s : ReadIni(file)) {
            if (s.Name.compare(name, Qt::CaseInsensitive) == 0) {
                found = AliasOfSection(s, file);
                WarnOfReadablePassword(file, found);
                ok = true;
                break;
            }
        }
    }
    if (!ok) {
        for (const QString& dsn : OdbcDataSources()) {
            if (dsn.compare(name, Qt::CaseInsensitive) == 0) {
                found.Name = dsn;
                found.Driver = QStringLiteral("odbc");
                found.DSN = dsn;
                ok = true;
                break;
            }
        }
    }
    if (ok && info)
        *info = found;
    return ok;
}

int TSession::DatabaseCount() const {
    return int(OpenDatabases.size());
}

TDatabase* TSession::Databases(int index) const {
    return OpenDatabases.value(index);
}

TDatabase* TSession::FindDatabase(const QString& databaseName) const {
    for (TDatabase* d : OpenDatabases)
        if (d->DatabaseName().compare(databaseName, Qt::CaseInsensitive) == 0)
            return d;
    return nullptr;
}

TDatabase* TSession::OpenDatabase(const QString& databaseName) {
    if (databaseName.trimmed().isEmpty())
        throw EDatabaseError(QStringLiteral("Database name missing"));
    if (TDatabase* open = FindDatabase(databaseName))
        return open;
    if (!FindAlias(databaseName))
        throw EDatabaseError(QStringLiteral("Unknown database: %1").arg(databaseName));
    auto* database = new TDatabase(this);
    database->SetDatabaseName(databaseName);
    database->SetAliasName(databaseName);
    try {
        database->Open();
    } catch (...) {
        delete database;
        throw;
    }
    return database;
}

// ---------------------------------------------------------------- TDatabase

struct TDatabase::Private {
    QString DatabaseName;
    QString AliasName;
    QStringList Params;
    bool LoginPrompt = false;
    bool HandleShared = false;
    TTransIsolation Isolation = TTransIsolation::DirtyRead;
    std::unique_ptr<TDbConnection> Connection;
};

TDatabase::TDatabase(QObject* owner) : QObject(owner), P(std::make_unique<Private>()) {}

TDatabase::~TDatabase() {
    try {
        Close();
    } catch (...) {
        // A failing rollback on the way out has nobody to tell.
    }
}

QString TDatabase::DatabaseName() const {
    return P->DatabaseName;
}

void TDatabase::SetDatabaseName(const QString& name) {
    if (P->Connection && name != P->DatabaseName)
        throw EDatabaseError(
            QStringLiteral("Cannot rename the open database %1").arg(P->DatabaseName));
    P->DatabaseName = name;
}

QString TDatabase::AliasName() const {
    return P->AliasName;
}

void TDatabase::SetAliasName(const QString& alias) {
    if (P->Connection && alias != P->AliasName)
        throw EDatabaseError(
            QStringLiteral("Cannot change the alias of the open database %1").arg(P->DatabaseName));
    P->AliasName = alias;
}

QStringList TDatabase::Params() const {
    return P->Params;
}
void TDatabase::SetParams(const QStringList& params) {
    P->Params = params;
}
bool TDatabase::LoginPrompt() const {
    return P->LoginPrompt;
}
void TDatabase::SetLoginPrompt(bool on) {
    P->LoginPrompt = on;
}
bool TDatabase::HandleShared() const {
    return P->HandleShared;
}
void TDatabase::SetHandleShared(bool on) {
    P->HandleShared = on;
}
TTransIsolation TDatabase::TransIsolation() const {
    return P->Isolation;
}
void TDatabase::SetTransIsolation(TTransIsolation isolation) {
    P->Isolation = isolation;
}

TLogin AliasLogin(const TAliasInfo& alias, const QStringList& params) {
    if (!alias.User.isEmpty())
        return {alias.User, alias.Password};
    return {ParamValue(params, QStringLiteral("USER NAME")),
            ParamValue(params, QStringLiteral("PASSWORD"))};
}

void TDatabase::Open() {
    if (P->Connection)
        return;
    const QString alias = P->AliasName.trimmed();
    if (alias.isEmpty())
        throw EDatabaseError(QStringLiteral("No database alias given for %1").arg(P->DatabaseName));
    TSession& session = TSession::Default();
    if (!session.Active())
        session.Open();
    TAliasInfo info;
    if (!session.FindAlias(alias, &info))
        throw EDatabaseError(QStringLiteral("Unknown database alias: %1").arg(alias));
    const TLogin login = AliasLogin(info, P->Params);
    const QString& user = login.User;
    const QString& password = login.Password;

    if (info.Driver == QLatin1String("sqlite")) {
        // The demo database is made on first use and again when deleted,
        // emptied or left unreadable.
        if (IsDemoAlias(alias) && !DemoDatabaseUsable(info.Database))
            CreateDemoDatabase(info.Database);
        P->Connection = OpenSqliteConnection(info.Database);
    } else if (info.Driver == QLatin1String("odbc") || info.Driver == QLatin1String("postgres") ||
               info.Driver == QLatin1String("mariadb") || info.Driver == QLatin1String("mysql")) {
        P->Connection = OpenQtSqlConnection(info, user, password);
    } else {
        throw EDatabaseError(QStringLiteral("Unknown driver '%1' for the database alias %2")
                                 .arg(info.Driver, alias));
    }
    session.OpenDatabases.append(this);
}

void TDatabase::Close() {
    if (!P->Connection)
        return;
    Q_EMIT BeforeDisconnect();
    TSession::Default().OpenDatabases.removeAll(this);
    std::unique_ptr<TDbConnection> connection = std::move(P->Connection);
    if (connection->InTransaction())
        connection->Rollback();
}

bool TDatabase::Connected() const {
    return P->Connection != nullptr;
}

void TDatabase::StartTransaction() {
    if (!P->Connection)
        throw EDatabaseError(QStringLiteral("Database %1 is not open").arg(P->DatabaseName));
    P->Connection->StartTransaction();
}

void TDatabase::Commit() {
    if (P->Connection)
        P->Connection->Commit();
}

void TDatabase::Rollback() {
    if (P->Connection)
        P->Connection->Rollback();
}

bool TDatabase::InTransaction() const {
    return P->Connection && P->Connection->InTransaction();
}

TDbConnection* TDatabase::Connection() const {
    return P->Connection.get();
}
