#pragma once
// The backend interface behind TDatabase and TQuery: a connection prepares
// statements; a statement executes or opens a cursor whose rows are appended
// to a cell table. Placeholders are "?" in order (TQuery turns its :names
// into them). Every failure raises EDatabaseError with the engine's message.

#include "Database.h"
#include "RowStore.h"

#include <QVariantList>
#include <memory>
#include <vector>

// A result column as the backend describes it.
struct TColumnInfo {
    QString Name;
    QString DeclaredType;                  // empty for expressions and aggregates
    TFieldType Type = TFieldType::Unknown; // Unknown: decided from the values read
    int Size = 0;                          // declared text length, 0 when unknown
};

class TDbStatement {
public:
    virtual ~TDbStatement() = default;
    virtual int ParamCount() const = 0;
    // Runs every statement of the text (one unless prepared for several);
    // rows a SELECT returns are dropped.
    virtual void Execute(const QVariantList& params) = 0;
    // Runs the statements before the last one and opens a cursor on the
    // last; raises when that returns no rows.
    virtual std::vector<TColumnInfo> OpenCursor(const QVariantList& params) = 0;
    // Appends the next row to the cells (one value per column); false at
    // the end, which also closes the cursor.
    virtual bool Fetch(TCellTable& cells) = 0;
    virtual qint64 FetchAll(TCellTable& cells) {
        qint64 n = 0;
        while (Fetch(cells))
            ++n;
        return n;
    }
    virtual void CloseCursor() = 0;
    virtual bool CursorOpen() const = 0;
    // Rows changed by the last INSERT, UPDATE or DELETE; -1 otherwise.
    virtual int RowsAffected() const = 0;
};

// How many statements a text given to Prepare may hold. A query's text is
// one statement, whatever its lines hold; only scripts (the connection
// script, the pre-run script, RunSqlScript) and the program's own schema
// texts run several.
enum class TStatementCount { One, Several };

class TDbConnection {
public:
    virtual ~TDbConnection() = default;
    // Raises EDatabaseError, with nothing run, when count is One and the
    // text holds more than one statement.
    virtual std::unique_ptr<TDbStatement> Prepare(const QString& sql, TStatementCount count) = 0;
    virtual void StartTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    virtual bool InTransaction() const = 0;
    virtual QString Driver() const = 0; // "sqlite", "odbc", "postgres"
};

// The embedded engine on an existing SQLite file (never created here).
// Raises with a clear message for a missing, locked, unreadable or corrupt file.
std::unique_ptr<TDbConnection> OpenSqliteConnection(const QString& path);
// A server through a Qt Sql driver (QODBC for "odbc", QPSQL for "postgres").
std::unique_ptr<TDbConnection> OpenQtSqlConnection(const TAliasInfo& alias, const QString& user,
                                                   const QString& password);

namespace SqliteBackend {
// How long a statement waits for a lock held by another connection.
extern int BusyTimeoutMs;
} // namespace SqliteBackend
