#include "SqliteConnection.h"

#include "DbValues.h"
#include "Query.h"
#include "SqlDialect.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <sqlite3.h>

#include <atomic>
#include <cmath>
#include <limits>

namespace SqliteBackend {
int BusyTimeoutMs = 5000;

void RefuseQuotedStrings(sqlite3* db) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
}
} // namespace SqliteBackend

using SqlDialect::TStatement;
using SqlDialect::TToken;

namespace {

// Connection numbers of this process: never 0, so that the session bootstrap
// takes them as given.
std::atomic<int> NextConnectionNumber{1};

QString ErrorText(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// The failure of a step: a statement that the query watcher stopped is a
// cancel, not an error of the engine.
[[noreturn]] void RaiseStepError(int rc, const QString& message) {
    if ((rc & 0xff) == SQLITE_INTERRUPT)
        throw EQueryCancelled();
    throw EDatabaseError(message);
}

// How many steps of the engine's virtual machine pass between two calls of
// the query watcher: a few microseconds of work, so Cancel answers at once
// and a statement without a watcher pays next to nothing.
constexpr int WatchSteps = 1000;

int WatchProgress(void*) {
    return QueryWatchPoint() ? 1 : 0;
}

void Bind(sqlite3* db, sqlite3_stmt* stmt, int index, const QVariant& value) {
    int rc;
    if (value.isNull()) {
        rc = sqlite3_bind_null(stmt, index);
    } else {
        switch (value.metaType().id()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
            break;
        case QMetaType::ULong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
            if (value.metaType().id() != QMetaType::Double &&
                value.metaType().id() != QMetaType::Float &&
                value.toULongLong() <= quint64(std::numeric_limits<qint64>::max()))
                rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
            else
                rc = sqlite3_bind_double(stmt, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob(stmt, index, bytes.constData(), int(bytes.size()),
                                   SQLITE_TRANSIENT);
            break;
        }
        default: {
            QString text;
            if (value.metaType().id() == QMetaType::QDate)
                text = DbValues::IsoDate(value.toDate());
            else if (value.metaType().id() == QMetaType::QTime)
                text = DbValues::IsoTime(value.toTime());
            else if (value.metaType().id() == QMetaType::QDateTime)
                text = DbValues::IsoDateTime(value.toDateTime());
            else
                text = value.toString();
            const QByteArray bytes = text.toUtf8();
            rc = sqlite3_bind_text(stmt, index, bytes.constData(), int(bytes.size()),
                                   SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        throw EDatabaseError(ErrorText(db));
}

QVariant ColumnValue(sqlite3_stmt* stmt, int col) {
    switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt, col)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, col));
    case SQLITE_TEXT:
        return QVariant(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, col)),
                              sqlite3_column_bytes(stmt, col)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, col)),
                                   sqlite3_column_bytes(stmt, col)));
    default:
        return {};
    }
}

// Appends the current row of a stepped statement to the cells.
inline void PutRow(sqlite3_stmt* stmt, int columns, TCellTable& cells) {
    for (int c = 0; c < columns; ++c) {
        switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_INTEGER:
            cells.PutInt(c, sqlite3_column_int64(stmt, c));
            break;
        case SQLITE_FLOAT:
            cells.PutFloat(c, sqlite3_column_double(stmt, c));
            break;
        case SQLITE_TEXT: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            cells.PutText(c, text, std::size_t(sqlite3_column_bytes(stmt, c)));
            break;
        }
        case SQLITE_BLOB: {
            const char* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, c));
            cells.PutBlob(c, bytes, std::size_t(sqlite3_column_bytes(stmt, c)));
            break;
        }
        default:
            cells.PutNull(c);
            break;
        }
    }
    cells.EndRow();
}

// A value converted to a variable's declared type; raises when it cannot be.
QVariant ConvertToType(const QVariant& value, const QString& declaredType) {
    if (value.isNull() || declaredType.isEmpty())
        return value;
    const TFieldType kind = DbValues::KindOfDeclaredType(declaredType);
    const bool isText = value.metaType().id() == QMetaType::QString;
    const QString text = value.toString().trimmed();
    auto fail = [&]() -> QVariant {
        throw EDatabaseError(
            QStringLiteral("Cannot convert '%1' to %2").arg(value.toString(), declaredType));
    };
    switch (kind) {
    case TFieldType::Integer:
    case TFieldType::SmallInt:
    case TFieldType::Word:
    case TFieldType::Boolean: {
        bool ok = false;
        const qlonglong whole = text.toLongLong(&ok);
        if (ok)
            return QVariant(whole);
        const double number = text.toDouble(&ok);
        if (!ok || !std::isfinite(number))
            return fail();
        return QVariant(qlonglong(std::llround(number)));
    }
    case TFieldType::Float:
    case TFieldType::Currency:
    case TFieldType::BCD: {
        bool ok = false;
        const double number = text.toDouble(&ok);
        if (!ok)
            return fail();
        return QVariant(number);
    }
    case TFieldType::String:
    case TFieldType::Memo:
        return isText ? value : QVariant(value.toString());
    case TFieldType::Date:
    case TFieldType::DateTime:
    case TFieldType::Time: {
        QDateTime when;
        if (DbValues::ParseProgramDate(text, &when) != DbValues::TDateForm::None)
            return kind == TFieldType::Date ? QVariant(DbValues::IsoDate(when.date()))
                                            : QVariant(DbValues::IsoDateTime(when));
        if (DbValues::ParseIso(text, &when) == DbValues::TDateForm::None)
            return fail();
        return QVariant(text);
    }
    default:
        return value;
    }
}

// True when the text after the statement the engine compiled holds more
// than blanks, comments and semicolons.
bool HoldsMore(const QByteArray& sql, const char* tail) {
    if (!tail || tail < sql.constData() || tail >= sql.constData() + sql.size())
        return false;
    const QString rest = QString::fromUtf8(tail, sql.constData() + sql.size() - tail);
    for (const TToken& t : SqlDialect::Tokenize(rest))
        if (t.Significant() && !t.IsSymbol(";"))
            return true;
    return false;
}

// A statement text cut into statements; each is translated and prepared on
// its first run (a variable declared by an earlier one is known by then) and
// kept for the next runs.
class TSqliteStatement : public TDbStatement {
public:
    TSqliteStatement(TSqliteConnection& connection, const QString& sql, TStatementCount count)
        : C(connection) {
        auto statements = SqlDialect::SplitStatements(SqlDialect::Tokenize(sql));
        if (count == TStatementCount::One)
            SqlDialect::RequireOneStatement(statements);
        for (auto& tokens : statements) {
            TPiece piece;
            piece.ParamCount = SqlDialect::CountPlaceholders(tokens);
            piece.Tokens = std::move(tokens);
            for (const TToken& t : piece.Tokens)
                piece.Empty = piece.Empty && !t.Significant();
            TotalParams += piece.ParamCount;
            Pieces.push_back(std::move(piece));
        }
    }

    ~TSqliteStatement() override {
        for (TPiece& p : Pieces)
            sqlite3_finalize(p.Stmt);
    }

    int ParamCount() const override { return TotalParams; }

    void Execute(const QVariantList& params) override {
        CloseCursor();
        Changes = -1;
        int offset = 0;
        for (TPiece& piece : Pieces) {
            Run(piece, params, offset);
            offset += piece.ParamCount;
        }
    }

    std::vector<TColumnInfo> OpenCursor(const QVariantList& params) override {
        CloseCursor();
        Changes = -1;
        std::size_t last = Pieces.size();
        while (last > 0 && Pieces[last - 1].Empty)
            --last;
        if (last == 0)
            throw EDatabaseError(QStringLiteral("No SQL statement to open"));
        int offset = 0;
        for (std::size_t i = 0; i + 1 < last; ++i) {
            Run(Pieces[i], params, offset);
            offset += Pieces[i].ParamCount;
        }
        TPiece& piece = Pieces[last - 1];
        const TStatement& st = Ensure(piece);
        if (st.K != TStatement::Sql || !piece.Stmt || sqlite3_column_count(piece.Stmt) == 0)
            throw EDatabaseError(QStringLiteral("The statement returns no rows"));
        BindAll(piece, params, offset);
        std::vector<TColumnInfo> columns;
        const int n = sqlite3_column_count(piece.Stmt);
        columns.reserve(std::size_t(n));
        for (int c = 0; c < n; ++c) {
            TColumnInfo info;
            info.Name = QString::fromUtf8(sqlite3_column_name(piece.Stmt, c));
            info.DeclaredType = QString::fromUtf8(sqlite3_column_decltype(piece.Stmt, c));
            info.Type = DbValues::KindOfDeclaredType(info.DeclaredType, &info.Size);
            columns.push_back(info);
        }
        Cursor = piece.Stmt;
        CursorColumns = n;
        return columns;
    }

    bool Fetch(TCellTable& cells) override {
        if (!Cursor)
            return false;
        const int rc = sqlite3_step(Cursor);
        if (rc == SQLITE_ROW) {
            PutRow(Cursor, CursorColumns, cells);
            return true;
        }
        return Finish(rc);
    }

    qint64 FetchAll(TCellTable& cells) override {
        qint64 n = 0;
        while (Cursor) {
            const int rc = sqlite3_step(Cursor);
            if (rc != SQLITE_ROW) {
                Finish(rc);
                break;
            }
            PutRow(Cursor, CursorColumns, cells);
            ++n;
        }
        return n;
    }

    void CloseCursor() override {
        if (Cursor)
            sqlite3_reset(Cursor);
        Cursor = nullptr;
    }

    bool CursorOpen() const override { return Cursor != nullptr; }
    int RowsAffected() const override { return Changes; }

private:
    struct TPiece {
        std::vector<TToken> Tokens;
        int ParamCount = 0;
        bool Empty = true;
        bool Translated = false;
        TStatement St;
        sqlite3_stmt* Stmt = nullptr;
    };

    // End of a cursor: false at its end, raises on an error.
    bool Finish(int rc) {
        sqlite3_stmt* stmt = Cursor;
        Cursor = nullptr;
        if (rc == SQLITE_DONE) {
            sqlite3_reset(stmt);
            return false;
        }
        const QString message = ErrorText(C.Handle());
        sqlite3_reset(stmt);
        RaiseStepError(rc, message);
    }

    // Translates and prepares a statement. Names are columns first: a bare
    // name becomes a connection variable only when the engine knows no
    // column of that name, so a variable never hides a column.
    const TStatement& Ensure(TPiece& piece) {
        if (piece.Translated)
            return piece.St;
        QSet<QString> variables;
        auto isVariable = [&variables](const QString& name) {
            return variables.contains(name.toUpper());
        };
        const QString unknown = QStringLiteral("no such column: ");
        // The name an engine message calls unknown, when it is a variable
        // not yet read as one.
        auto variableOf = [&](const QString& message) {
            QString name = message.startsWith(unknown) ? message.mid(unknown.size()) : QString();
            if (name.startsWith(u'@'))
                name.remove(0, 1);
            if (name.isEmpty() || name.contains(u'.') || !C.HasVariable(name) ||
                variables.contains(name.toUpper()))
                return QString();
            return name;
        };
        for (;;) {
            TStatement st;
            QString message;
            try {
                st = SqlDialect::Translate(piece.Tokens, isVariable);
            } catch (const EDatabaseError& e) {
                message = e.message();
            }
            sqlite3_stmt* stmt = nullptr;
            if (message.isEmpty() && !st.Text.isEmpty()) {
                const QByteArray sql = st.Text.toUtf8();
                const char* tail = nullptr;
                if (sqlite3_prepare_v3(C.Handle(), sql.constData(), int(sql.size()),
                                       SQLITE_PREPARE_PERSISTENT, &stmt, &tail) != SQLITE_OK)
                    message = ErrorText(C.Handle());
                else if (HoldsMore(sql, tail)) {
                    // The engine found a second statement where the dialect saw
                    // one: it would never run, and the text is not to be trusted.
                    sqlite3_finalize(stmt);
                    throw EDatabaseError(QStringLiteral(
                        "The SQL text holds more than one statement; nothing was run."));
                }
            }
            if (!message.isEmpty()) {
                const QString name = variableOf(message);
                if (name.isEmpty())
                    throw EDatabaseError(message);
                variables.insert(name.toUpper());
                continue;
            }
            piece.St = std::move(st);
            piece.Stmt = stmt;
            piece.Translated = true;
            return piece.St;
        }
    }

    void BindAll(TPiece& piece, const QVariantList& params, int offset) {
        sqlite3_reset(piece.Stmt);
        sqlite3_clear_bindings(piece.Stmt);
        const int n = std::min(piece.ParamCount, sqlite3_bind_parameter_count(piece.Stmt));
        for (int i = 0; i < n; ++i)
            Bind(C.Handle(), piece.Stmt, i + 1,
                 offset + i < params.size() ? params[offset + i] : QVariant());
    }

    // The first value of a one-row statement (SET and CREATE VARIABLE).
    QVariant Scalar(TPiece& piece, const QVariantList& params, int offset) {
        BindAll(piece, params, offset);
        const int rc = sqlite3_step(piece.Stmt);
        QVariant value;
        if (rc == SQLITE_ROW)
            value = ColumnValue(piece.Stmt, 0);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            const QString message = ErrorText(C.Handle());
            sqlite3_reset(piece.Stmt);
            RaiseStepError(rc, message);
        }
        sqlite3_reset(piece.Stmt);
        return value;
    }

    void Run(TPiece& piece, const QVariantList& params, int offset) {
        if (piece.Empty)
            return; // an empty statement does nothing
        const TStatement& st = Ensure(piece);
        switch (st.K) {
        case TStatement::Empty:
        case TStatement::Ignored:
            return;
        case TStatement::Commit:
            if (C.InTransaction())
                C.Exec("COMMIT");
            return;
        case TStatement::Rollback:
            if (C.InTransaction())
                C.Exec("ROLLBACK");
            return;
        case TStatement::SetVariable:
            C.SetVariable(st.Name, Scalar(piece, params, offset));
            return;
        case TStatement::CreateVariable:
            C.DeclareVariable(st.Name, st.Type,
                              piece.Stmt ? Scalar(piece, params, offset) : QVariant(),
                              st.OrReplace);
            return;
        case TStatement::DropVariable:
            C.DropVariable(st.Name, st.IfExists);
            return;
        case TStatement::Sql:
            break;
        }
        if (!piece.Stmt)
            return;
        BindAll(piece, params, offset);
        int rc;
        while ((rc = sqlite3_step(piece.Stmt)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) {
            const QString message = ErrorText(C.Handle());
            sqlite3_reset(piece.Stmt);
            RaiseStepError(rc, message);
        }
        if (!sqlite3_stmt_readonly(piece.Stmt))
            Changes = sqlite3_changes(C.Handle());
        sqlite3_reset(piece.Stmt);
    }

    TSqliteConnection& C;
    std::vector<TPiece> Pieces;
    int TotalParams = 0;
    sqlite3_stmt* Cursor = nullptr;
    int CursorColumns = 0;
    int Changes = -1;
};

} // namespace

TSqliteConnection::TSqliteConnection(const QString& path) {
    if (path.trimmed().isEmpty())
        throw EDatabaseError(QStringLiteral("No database file given"));
    const QFileInfo info(path);
    if (!info.exists())
        throw EDatabaseError(QStringLiteral("Database file not found: %1").arg(path));
    if (info.isDir())
        throw EDatabaseError(QStringLiteral("Not a database file but a folder: %1").arg(path));
    const QByteArray file = QFile::encodeName(path);
    // Never SQLITE_OPEN_CREATE: a mistyped alias path must not leave an empty database behind.
    // A connection is used by one thread at a time, so it needs no lock of its own around every
    // call (a lock and an unlock for each value read of every row).
    const int threading = SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(file.constData(), &Db, SQLITE_OPEN_READWRITE | threading, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(Db);
        Db = nullptr;
        rc = sqlite3_open_v2(file.constData(), &Db, SQLITE_OPEN_READONLY | threading, nullptr);
    }
    if (rc != SQLITE_OK) {
        const QString message = Db ? ErrorText(Db) : QStringLiteral("out of memory");
        sqlite3_close(Db);
        Db = nullptr;
        throw EDatabaseError(QStringLiteral("Cannot open database %1: %2").arg(path, message));
    }
    sqlite3_busy_timeout(Db, SqliteBackend::BusyTimeoutMs);
    SqliteBackend::RefuseQuotedStrings(Db);
    sqlite3_progress_handler(Db, WatchSteps, WatchProgress, nullptr);
    // Reading the schema tells a database from another file, and a locked
    // or damaged one, before any statement of the program runs.
    char* error = nullptr;
    rc = sqlite3_exec(Db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        QString message = error ? QString::fromUtf8(error) : ErrorText(Db);
        sqlite3_free(error);
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
            message = QStringLiteral("the database is locked by another program (%1)").arg(message);
        sqlite3_close(Db);
        Db = nullptr;
        throw EDatabaseError(QStringLiteral("Cannot open database %1: %2").arg(path, message));
    }
    ConnectionNumber = NextConnectionNumber.fetch_add(1);
    try {
        RegisterFunctions();
        // The one-row table of the server dialect, private to this connection.
        Exec("CREATE TEMP TABLE DUMMY(dummy_col INTEGER NOT NULL); INSERT INTO DUMMY VALUES(0)");
    } catch (...) {
        sqlite3_close(Db);
        Db = nullptr;
        throw;
    }
}

TSqliteConnection::~TSqliteConnection() {
    if (Db) {
        if (!sqlite3_get_autocommit(Db))
            sqlite3_exec(Db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(Db);
    }
}

void TSqliteConnection::Fail(const QString& context) const {
    throw EDatabaseError(context.isEmpty() ? ErrorText(Db)
                                           : context + QStringLiteral(": ") + ErrorText(Db));
}

void TSqliteConnection::Exec(const char* sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(Db, sql, nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const QString message = error ? QString::fromUtf8(error) : ErrorText(Db);
        sqlite3_free(error);
        RaiseStepError(rc, message);
    }
}

std::unique_ptr<TDbStatement> TSqliteConnection::Prepare(const QString& sql,
                                                         TStatementCount count) {
    return std::make_unique<TSqliteStatement>(*this, sql, count);
}

void TSqliteConnection::StartTransaction() {
    Exec("BEGIN");
}

void TSqliteConnection::Commit() {
    if (InTransaction())
        Exec("COMMIT");
}

void TSqliteConnection::Rollback() {
    if (InTransaction())
        Exec("ROLLBACK");
}

bool TSqliteConnection::InTransaction() const {
    return Db && !sqlite3_get_autocommit(Db);
}

bool TSqliteConnection::HasVariable(const QString& name) const {
    return Variables.contains(name.toUpper());
}

QVariant TSqliteConnection::Variable(const QString& name) const {
    return Variables.value(name.toUpper()).Value;
}

void TSqliteConnection::SetVariable(const QString& name, const QVariant& value) {
    const QString key = name.toUpper();
    auto it = Variables.find(key);
    if (it == Variables.end()) {
        Variables.insert(key, {name, QString(), value});
        return;
    }
    it->Value = ConvertToType(value, it->Type);
}

void TSqliteConnection::DeclareVariable(const QString& name, const QString& type,
                                        const QVariant& value, bool orReplace) {
    const QString key = name.toUpper();
    if (Variables.contains(key) && !orReplace)
        throw EDatabaseError(QStringLiteral("Variable '%1' already exists").arg(name));
    Variables.insert(key, {name, type, ConvertToType(value, type)});
}

void TSqliteConnection::DropVariable(const QString& name, bool ifExists) {
    if (!Variables.remove(name.toUpper()) && !ifExists)
        throw EDatabaseError(QStringLiteral("Variable '%1' not found").arg(name));
}

std::unique_ptr<TDbConnection> OpenSqliteConnection(const QString& path) {
    return std::make_unique<TSqliteConnection>(path);
}
