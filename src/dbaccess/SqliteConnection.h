#pragma once
// The embedded SQLite backend: a connection with its connection variables and
// the functions of the server dialect (see SqlDialect.h) registered on it.

#include "DbConnection.h"

#include <QHash>

struct sqlite3;

namespace SqliteBackend {
// Switches off SQLite's legacy reading of a double-quoted name that matches
// no column as a string literal: an unknown display name in GROUP BY or
// ORDER BY would otherwise group everything into one row or be ignored,
// where a server refuses the statement.
void RefuseQuotedStrings(sqlite3* db);
} // namespace SqliteBackend

class TSqliteConnection : public TDbConnection {
public:
    explicit TSqliteConnection(const QString& path);
    ~TSqliteConnection() override;

    std::unique_ptr<TDbStatement> Prepare(const QString& sql, TStatementCount count) override;
    void StartTransaction() override;
    void Commit() override;
    void Rollback() override;
    bool InTransaction() const override;
    QString Driver() const override { return QStringLiteral("sqlite"); }

    sqlite3* Handle() const { return Db; }
    int Number() const { return ConnectionNumber; }
    // Runs a statement that returns nothing, without the dialect.
    void Exec(const char* sql);
    [[noreturn]] void Fail(const QString& context = QString()) const;

    // Connection variables, names compared without regard to case.
    bool HasVariable(const QString& name) const;
    QVariant Variable(const QString& name) const;
    // Sets a variable, declaring it untyped when it is new; a declared type
    // converts the value and raises when it cannot.
    void SetVariable(const QString& name, const QVariant& value);
    void DeclareVariable(const QString& name, const QString& type, const QVariant& value,
                         bool orReplace);
    void DropVariable(const QString& name, bool ifExists);

private:
    struct TVariable {
        QString Name;
        QString Type;
        QVariant Value;
    };
    void RegisterFunctions();
    sqlite3* Db = nullptr;
    int ConnectionNumber = 0;
    QHash<QString, TVariable> Variables; // by upper-case name
};
