#include "Database.h"

TSession& TSession::Default() {
    static TSession session;
    return session;
}
bool TSession::Active() const {
    return IsActive;
}
void TSession::Open() {
    IsActive = true;
}
QStringList TSession::AliasNames() const {
    return {QStringLiteral("DEMO")};
}
bool TSession::FindAlias(const QString&, TAliasInfo*) const {
    return false;
}
QString TSession::AliasesFile() const {
    return {};
}
int TSession::DatabaseCount() const {
    return int(OpenDatabases.size());
}
TDatabase* TSession::Databases(int index) const {
    return OpenDatabases.value(index);
}
TDatabase* TSession::FindDatabase(const QString& name) const {
    for (TDatabase* d : OpenDatabases)
        if (d->DatabaseName().compare(name, Qt::CaseInsensitive) == 0)
            return d;
    return nullptr;
}

struct TDatabase::Private {
    QString DatabaseName, AliasName;
    QStringList Params;
    bool LoginPrompt = false, HandleShared = false;
    TTransIsolation Isolation = TTransIsolation::DirtyRead;
};

TDatabase::TDatabase(QObject* owner) : QObject(owner), P(std::make_unique<Private>()) {}
TDatabase::~TDatabase() = default;
QString TDatabase::DatabaseName() const {
    return P->DatabaseName;
}
void TDatabase::SetDatabaseName(const QString& name) {
    P->DatabaseName = name;
}
QString TDatabase::AliasName() const {
    return P->AliasName;
}
void TDatabase::SetAliasName(const QString& alias) {
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
void TDatabase::Open() {
    throw EDatabaseError(QStringLiteral("Not implemented yet"));
}
void TDatabase::Close() {}
bool TDatabase::Connected() const {
    return false;
}
void TDatabase::StartTransaction() {}
void TDatabase::Commit() {}
void TDatabase::Rollback() {}
bool TDatabase::InTransaction() const {
    return false;
}
TDbConnection* TDatabase::Connection() const {
    return nullptr;
}

QString DemoDatabasePath() {
    return {};
}
void CreateDemoDatabase(const QString&, int) {
    throw EDatabaseError(QStringLiteral("Not implemented yet"));
}
