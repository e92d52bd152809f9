#include "Query.h"

#include "Database.h"

struct TQuery::Private {
    QString DatabaseName;
    QStringList Lines;
    bool ParamCheck = true;
    bool UniDirectional = false;
    std::vector<std::unique_ptr<TParam>> Params;
    int RowsAffected = -1;
};

TQuery::TQuery(QObject* owner) : TDataSet(owner), P(std::make_unique<Private>()) {}
TQuery::~TQuery() = default;
QString TQuery::DatabaseName() const {
    return P->DatabaseName;
}
void TQuery::SetDatabaseName(const QString& name) {
    P->DatabaseName = name;
}
TDatabase* TQuery::Database() const {
    return TSession::Default().FindDatabase(P->DatabaseName);
}
QStringList TQuery::SQL() const {
    return P->Lines;
}
void TQuery::SetSQL(const QStringList& lines) {
    P->Lines = lines;
}
void TQuery::SetSQLText(const QString& text) {
    P->Lines = text.split(u'\n');
}
void TQuery::ClearSQL() {
    P->Lines.clear();
}
void TQuery::AddSQL(const QString& line) {
    P->Lines << line;
}
QString TQuery::SQLText() const {
    return P->Lines.join(u'\n');
}
bool TQuery::ParamCheck() const {
    return P->ParamCheck;
}
void TQuery::SetParamCheck(bool on) {
    P->ParamCheck = on;
}
int TQuery::ParamCount() const {
    return int(P->Params.size());
}
TParam* TQuery::Params(int index) {
    return P->Params.at(std::size_t(index)).get();
}
TParam* TQuery::ParamByName(const QString& name) {
    throw EDatabaseError(QStringLiteral("Parameter '%1' not found").arg(name));
}
bool TQuery::UniDirectional() const {
    return P->UniDirectional;
}
void TQuery::SetUniDirectional(bool on) {
    P->UniDirectional = on;
}
void TQuery::Prepare() {}
void TQuery::Unprepare() {}
bool TQuery::Prepared() const {
    return false;
}
void TQuery::ExecSQL() {
    throw EDatabaseError(QStringLiteral("Not connected"));
}
int TQuery::RowsAffected() const {
    return P->RowsAffected;
}
void TQuery::DoOpen() {
    throw EDatabaseError(QStringLiteral("Not connected"));
}
void TQuery::DoClose() {
    ResetFields();
}
