// The server dialect of the program's SQL texts: any text cut into tokens
// and statements and translated for SQLite and for PostgreSQL, then run on
// a fresh embedded database.

#include "DbConnection.h"
#include "Exception.h"
#include "FuzzTargets.h"
#include "PgDialect.h"
#include "SqlDialect.h"
#include "SqliteConnection.h"

#include <sqlite3.h>

namespace Fuzz {

namespace {

bool IsKnownVariable(const QString& name) {
    return name.compare(QLatin1String("kzmConnectID"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("v"), Qt::CaseInsensitive) == 0;
}

// The fuzzed statements run under limits: no attached files (nothing is
// written outside the scratch database), a bounded number of virtual machine
// steps (recursive queries end) and bounded values.
int StopLongRuns(void* steps) {
    return ++*static_cast<int*>(steps) > 2000;
}
int NoAttach(void*, int action, const char*, const char*, const char*, const char*) {
    return action == SQLITE_ATTACH ? SQLITE_DENY : SQLITE_OK;
}

void RunOnSqlite(const QString& sql) {
    const QString path = ScratchFile(QStringLiteral("dialect.db"), QByteArray());
    TSqliteConnection connection(path);
    int steps = 0;
    sqlite3_progress_handler(connection.Handle(), 100, StopLongRuns, &steps);
    sqlite3_set_authorizer(connection.Handle(), NoAttach, nullptr);
    sqlite3_limit(connection.Handle(), SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(connection.Handle(), SQLITE_LIMIT_LENGTH, 1 << 20);
    // No waiting for the disk: the database is thrown away after the input.
    connection.Exec("PRAGMA synchronous = OFF; PRAGMA journal_mode = MEMORY");
    connection.Exec("CREATE TABLE T(A INTEGER, B TEXT, C REAL); "
                    "INSERT INTO T VALUES (1, '01.02.2024', 2.5), (NULL, 'x', NULL)");
    connection.SetVariable(QStringLiteral("v"), 3);
    std::unique_ptr<TDbStatement> statement = connection.Prepare(sql, TStatementCount::Several);
    QVariantList params;
    for (int i = 0; i < statement->ParamCount() && i < 100; ++i)
        params << QVariant();
    statement->Execute(params);
}

} // namespace

void SqlDialect(const std::uint8_t* data, std::size_t size) {
    const QString sql = Text(data, size);
    try {
        (void)SqlDialect::TranslateText(sql, IsKnownVariable);
    } catch (const Exception&) {
    }
    try {
        PgDialect::TConnectionState state;
        state.IsVariable = IsKnownVariable;
        state.VariableType = [](const QString&) { return QStringLiteral("integer"); };
        state.IsSetting = [](const QString& name) {
            return name.compare(QLatin1String("datestyle"), Qt::CaseInsensitive) == 0;
        };
        const auto tokens = PgDialect::Tokenize(sql);
        for (const auto& statement : SqlDialect::SplitStatements(tokens)) {
            (void)PgDialect::ExpressionItems(statement);
            (void)PgDialect::Translate(statement, state,
                                       PgDialect::VariableCandidates(statement, state));
        }
    } catch (const Exception&) {
    }
    try {
        RunOnSqlite(sql);
    } catch (const Exception&) {
    }
}

} // namespace Fuzz
