// Servers reached through Qt Sql drivers: ODBC data sources (QODBC) and
// PostgreSQL (QPSQL). A PostgreSQL server, directly or behind an ODBC data
// source, gets the program's dialect translated (PgDialect.h); any other
// server gets the SQL text unchanged and speaks its own dialect.

#include "DbConnection.h"
#include "PgDialect.h"
#include "Query.h"
#include "SqlDialect.h"

#include <QHash>
#include <QLibrary>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QUuid>

#include <chrono>
#include <functional>
#include <future>

using SqlDialect::TStatement;
using SqlDialect::TToken;

namespace {

QString ErrorText(const QSqlError& error) {
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    return text;
}

// Asks the server to stop the statement of query, where the driver's client
// library offers a cancel: PostgreSQL's PQcancel on the connection, ODBC's
// SQLCancel on the statement. Both may be called while another thread waits
// in the driver. The functions are looked up in the client library the
// driver has loaded already, so the program needs neither at build time.
// Without them the cursor is closed as it is. The kind of server does not
// tell the two apart (an ODBC data source may be PostgreSQL too); the type
// of the driver's handle does.
void CancelOnServer(const QSqlQuery& query) {
    const QSqlDriver* driver = query.driver();
    if (!driver)
        return;
    const QVariant connectionHandle = driver->handle();
    const char* connectionType = connectionHandle.typeName();
    if (qstrcmp(connectionType, "PGconn*") == 0 || qstrcmp(connectionType, "pg_conn*") == 0) {
        void* connection = *static_cast<void* const*>(connectionHandle.constData());
        QLibrary pq(QStringLiteral("pq"), 5);
        using GetCancel = void* (*)(void*);
        using Cancel = int (*)(void*, char*, int);
        using FreeCancel = void (*)(void*);
        auto getCancel = reinterpret_cast<GetCancel>(pq.resolve("PQgetCancel"));
        auto cancel = reinterpret_cast<Cancel>(pq.resolve("PQcancel"));
        auto freeCancel = reinterpret_cast<FreeCancel>(pq.resolve("PQfreeCancel"));
        if (!connection || !getCancel || !cancel || !freeCancel)
            return;
        if (void* request = getCancel(connection)) {
            char error[256];
            cancel(request, error, int(sizeof error));
            freeCancel(request);
        }
        return;
    }
    if (qstrcmp(driver->metaObject()->className(), "QODBCDriver") != 0)
        return;
    const QSqlResult* result = query.result();
    const QVariant handle = result ? result->handle() : QVariant();
    const char* type = handle.typeName();
    if (qstrcmp(type, "SQLHANDLE") != 0 && qstrcmp(type, "void*") != 0)
        return;
    void* statement = *static_cast<void* const*>(handle.constData());
    QLibrary odbc(QStringLiteral("odbc"), 2);
    using Cancel = short (*)(void*);
    if (auto cancel = reinterpret_cast<Cancel>(odbc.resolve("SQLCancel")); cancel && statement)
        cancel(statement);
}

// Runs one blocking call of the driver (the execution of query) so that a
// long statement can be stopped. Without a query watcher the call is made
// here. With one, the driver works on a thread of its own while this thread
// asks the watcher every 20 ms, keeping the windows alive; when the watcher
// says stop, the server is asked to cancel, the driver's answer is awaited
// and the run ends in EQueryCancelled. A statement that changes data and
// finished before the cancel reached the server keeps its result.
bool ExecWatched(QSqlQuery& query, const std::function<bool()>& exec) {
    if (!HasQueryWatcher())
        return exec();
    std::future<bool> done = std::async(std::launch::async, exec);
    bool cancelled = false;
    while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (!cancelled && QueryWatchPoint()) {
            cancelled = true;
            CancelOnServer(query);
        }
    }
    const bool ok = done.get();
    if (cancelled && (!ok || query.isSelect())) {
        query.finish();
        throw EQueryCancelled();
    }
    return ok;
}

TFieldType KindOfMetaType(int id) {
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        return TFieldType::Integer;
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::UChar:
    case QMetaType::SChar:
        return TFieldType::SmallInt;
    case QMetaType::Double:
    case QMetaType::Float:
        return TFieldType::Float;
    case QMetaType::Bool:
        return TFieldType::Boolean;
    case QMetaType::QDate:
        return TFieldType::Date;
    case QMetaType::QTime:
        return TFieldType::Time;
    case QMetaType::QDateTime:
        return TFieldType::DateTime;
    case QMetaType::QByteArray:
        return TFieldType::Blob;
    case QMetaType::QString:
        return TFieldType::String;
    default:
        return TFieldType::Unknown;
    }
}

class TQtSqlStatement : public TDbStatement {
public:
    TQtSqlStatement(const QSqlDatabase& db, const QString& sql)
        : Query(db), Sql(sql), Params(SqlDialect::CountPlaceholders(SqlDialect::Tokenize(sql))) {}

    int ParamCount() const override { return Params; }

    void Execute(const QVariantList& params) override {
        CloseCursor();
        Run(params, false);
        Changes = Query.isSelect() ? -1 : Query.numRowsAffected();
        Query.finish();
    }

    std::vector<TColumnInfo> OpenCursor(const QVariantList& params) override {
        CloseCursor();
        Run(params, true);
        if (!Query.isSelect()) {
            Query.finish();
            throw EDatabaseError(QStringLiteral("The statement returns no rows"));
        }
        const QSqlRecord record = Query.record();
        std::vector<TColumnInfo> columns;
        for (int c = 0; c < record.count(); ++c) {
            const QSqlField field = record.field(c);
            TColumnInfo info;
            info.Name = field.name();
            info.Type = KindOfMetaType(field.metaType().id());
            if (info.Type == TFieldType::String && field.length() > 0 && field.length() < 65536)
                info.Size = field.length();
            columns.push_back(info);
        }
        Columns = record.count();
        Open = true;
        return columns;
    }

    bool Fetch(TCellTable& cells) override {
        if (!Open)
            return false;
        if (QueryWatchPoint()) {
            CancelOnServer(Query);
            CloseCursor();
            throw EQueryCancelled();
        }
        if (!Query.next()) {
            const QSqlError error = Query.lastError();
            CloseCursor();
            if (error.isValid())
                throw EDatabaseError(ErrorText(error));
            return false;
        }
        for (int c = 0; c < Columns; ++c)
            cells.PutVariant(c, Query.value(c));
        cells.EndRow();
        return true;
    }

    void CloseCursor() override {
        if (Open)
            Query.finish();
        Open = false;
    }

    bool CursorOpen() const override { return Open; }
    int RowsAffected() const override { return Changes; }

private:
    void Run(const QVariantList& params, bool forwardOnly) {
        Changes = -1;
        Query.setForwardOnly(forwardOnly);
        // Without placeholders the text goes as it is: some drivers prepare
        // on the server, where statements such as CREATE cannot be prepared.
        if (Params == 0) {
            if (!ExecWatched(Query, [this] { return Query.exec(Sql); }))
                throw EDatabaseError(ErrorText(Query.lastError()));
            return;
        }
        if (!Prepared) {
            if (!Query.prepare(Sql))
                throw EDatabaseError(ErrorText(Query.lastError()));
            Prepared = true;
        }
        for (int i = 0; i < Params; ++i)
            Query.bindValue(i, i < params.size() ? params[i] : QVariant());
        if (!ExecWatched(Query, [this] { return Query.exec(); }))
            throw EDatabaseError(ErrorText(Query.lastError()));
    }

    QSqlQuery Query;
    QString Sql;
    int Params = 0;
    bool Prepared = false;
    bool Open = false;
    int Columns = 0;
    int Changes = -1;
};

// SQLSTATE 42703, undefined column: the name the server did not know.
QString UndefinedColumn(const QSqlError& error) {
    const QString text = error.databaseText() + u'\n' + error.driverText();
    if (error.nativeErrorCode() != QLatin1String("42703") &&
        !text.contains(QLatin1String("42703")) && !text.contains(QLatin1String("does not exist")))
        return {};
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]+)\""));
    const QRegularExpressionMatch m = quoted.match(text);
    return m.hasMatch() ? m.captured(1) : QString();
}

// PostgreSQL cuts names to 63 bytes; a longer quoted alias (32 Cyrillic
// letters are enough) comes back cut. The cut form of each long quoted name
// of a statement, mapped to the full name.
QHash<QString, QString> LongNames(const std::vector<TToken>& tokens) {
    QHash<QString, QString> names;
    for (const TToken& t : tokens) {
        if (t.K != TToken::Quoted || !t.Text.startsWith(u'"') || t.Text.size() < 3)
            continue;
        QString name = t.Text.mid(1, t.Text.size() - 2);
        name.replace(QStringLiteral("\"\""), QStringLiteral("\""));
        if (name.toUtf8().size() <= 63)
            continue;
        QString cut;
        int bytes = 0;
        for (const uint code : name.toUcs4()) {
            const int size = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
            if (bytes + size > 63)
                break;
            bytes += size;
            cut += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
        }
        names.insert(cut, name);
    }
    return names;
}

std::vector<TColumnInfo> ColumnsOf(const QSqlRecord& record,
                                   const QHash<QString, QString>& longNames,
                                   const std::vector<bool>& expressions) {
    std::vector<TColumnInfo> columns;
    for (int c = 0; c < record.count(); ++c) {
        const QSqlField field = record.field(c);
        TColumnInfo info;
        info.Name = longNames.value(field.name(), field.name());
        info.Type = KindOfMetaType(field.metaType().id());
        if (int(expressions.size()) == record.count() && expressions[std::size_t(c)])
            info.Type = TFieldType::Unknown;
        if (info.Type == TFieldType::String && field.length() > 0 && field.length() < 65536)
            info.Size = field.length();
        columns.push_back(info);
    }
    return columns;
}

class TPgStatement;

// A connection variable: its value lives in the server's setting vexal.<name>.
struct TPgVariable {
    QString Name;
    QString Type; // PostgreSQL type it is read back as
    bool Declared = false;
};

class TQtSqlConnection : public TDbConnection {
public:
    TQtSqlConnection(const TAliasInfo& alias, const QString& user, const QString& password)
        : Name(QStringLiteral("vexal-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        const bool odbc = alias.Driver.compare(QLatin1String("odbc"), Qt::CaseInsensitive) == 0;
        Kind = odbc ? QStringLiteral("odbc") : QStringLiteral("postgres");
        const QString qtDriver = odbc ? QStringLiteral("QODBC") : QStringLiteral("QPSQL");
        if (!QSqlDatabase::isDriverAvailable(qtDriver))
            throw EDatabaseError(
                QStringLiteral("The database driver %1 is not installed").arg(qtDriver));
        QSqlDatabase db = QSqlDatabase::addDatabase(qtDriver, Name);
        if (odbc) {
            db.setDatabaseName(alias.DSN.isEmpty() ? alias.Database : alias.DSN);
        } else {
            db.setDatabaseName(alias.Database);
            if (!alias.Host.isEmpty())
                db.setHostName(alias.Host);
            if (alias.Port > 0)
                db.setPort(alias.Port);
        }
        if (!user.isEmpty())
            db.setUserName(user);
        if (!password.isEmpty())
            db.setPassword(password);
        try {
            if (!db.open())
                throw EDatabaseError(QStringLiteral("Cannot connect to %1: %2")
                                         .arg(alias.Name, ErrorText(db.lastError())));
            Pg = !odbc || db.driver()->dbmsType() == QSqlDriver::PostgreSQL;
            if (Pg)
                SetUpPostgres(db);
        } catch (...) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(Name);
            throw;
        }
        State.IsVariable = [this](const QString& name) {
            return Variables.contains(name.toUpper());
        };
        State.VariableType = [this](const QString& name) {
            return Variables.value(name.toUpper()).Type;
        };
        State.IsSetting = [this](const QString& name) { return Settings.contains(name.toLower()); };
    }

    ~TQtSqlConnection() override {
        {
            QSqlDatabase db = QSqlDatabase::database(Name, false);
            if (db.isOpen()) {
                if (InTrans)
                    db.rollback();
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(Name);
    }

    std::unique_ptr<TDbStatement> Prepare(const QString& sql) override;

    void StartTransaction() override {
        QSqlDatabase db = Db();
        if (!db.transaction())
            throw EDatabaseError(ErrorText(db.lastError()));
        InTrans = true;
    }

    void Commit() override {
        if (!InTrans)
            return;
        QSqlDatabase db = Db();
        InTrans = false;
        if (!db.commit())
            throw EDatabaseError(ErrorText(db.lastError()));
    }

    void Rollback() override {
        if (!InTrans)
            return;
        QSqlDatabase db = Db();
        InTrans = false;
        if (!db.rollback())
            throw EDatabaseError(ErrorText(db.lastError()));
    }

    bool InTransaction() const override { return InTrans; }
    QString Driver() const override { return Kind; }

    QSqlDatabase Db() const { return QSqlDatabase::database(Name, false); }

    // Runs a statement of the connection's own; raises with the server's message.
    QSqlQuery Exec(const QString& sql) {
        QSqlQuery q(Db());
        q.setForwardOnly(true);
        if (!q.exec(sql))
            throw EDatabaseError(ErrorText(q.lastError()));
        return q;
    }

    // Translation state of a PostgreSQL connection.
    PgDialect::TConnectionState State;
    QHash<QString, TPgVariable> Variables; // by upper-case name
    // Names a statement text reads as variables, once the server has told.
    QHash<QString, QSet<QString>> ReadAsVariables;

    void SetVariable(const QString& name, const QString& type, bool declared) {
        Variables.insert(name.toUpper(), {name, type, declared});
    }

private:
    void SetUpPostgres(QSqlDatabase& db) {
        QSqlQuery q(db);
        for (const QString& sql : PgDialect::SessionSetupSql().split(u';', Qt::SkipEmptyParts))
            if (!q.exec(sql))
                throw EDatabaseError(ErrorText(q.lastError()));
        if (!q.exec(QStringLiteral("SELECT lower(name) FROM pg_settings UNION ALL "
                                   "SELECT CASE WHEN to_regclass('dummy') IS NULL THEN '' "
                                   "ELSE ' dummy' END")))
            throw EDatabaseError(ErrorText(q.lastError()));
        while (q.next()) {
            const QString name = q.value(0).toString();
            if (name == QLatin1String(" dummy"))
                State.HasDummyTable = true;
            else if (!name.isEmpty())
                Settings.insert(name);
        }
    }

    QString Name;
    QString Kind;
    bool Pg = false;
    bool InTrans = false;
    QSet<QString> Settings; // the server's run-time settings, lower case
};

// A statement text for PostgreSQL: cut into statements, each translated on
// its first run (variables declared by an earlier one are known by then) and
// kept for the next runs.
class TPgStatement : public TDbStatement {
public:
    TPgStatement(TQtSqlConnection& connection, const QString& sql) : C(connection) {
        for (auto& tokens : SqlDialect::SplitStatements(PgDialect::Tokenize(sql))) {
            TPiece piece;
            piece.ParamCount = SqlDialect::CountPlaceholders(tokens);
            for (const TToken& t : tokens)
                piece.Empty = piece.Empty && !t.Significant();
            piece.Tokens = std::move(tokens);
            TotalParams += piece.ParamCount;
            Pieces.push_back(std::move(piece));
        }
    }

    int ParamCount() const override { return TotalParams; }

    void Execute(const QVariantList& params) override {
        CloseCursor();
        Changes = -1;
        int offset = 0;
        for (TPiece& piece : Pieces) {
            Run(piece, params, offset, false);
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
            Run(Pieces[i], params, offset, false);
            offset += Pieces[i].ParamCount;
        }
        TPiece& piece = Pieces[last - 1];
        if (!Run(piece, params, offset, true))
            throw EDatabaseError(QStringLiteral("The statement returns no rows"));
        Cursor = &piece;
        const QSqlRecord record = piece.Query->record();
        Columns = record.count();
        return ColumnsOf(record, LongNames(piece.Tokens),
                         PgDialect::ExpressionItems(piece.Tokens, piece.ReadAs));
    }

    bool Fetch(TCellTable& cells) override {
        if (!Cursor)
            return false;
        QSqlQuery& q = *Cursor->Query;
        if (QueryWatchPoint()) {
            CancelOnServer(q);
            CloseCursor();
            throw EQueryCancelled();
        }
        if (!q.next()) {
            const QSqlError error = q.lastError();
            CloseCursor();
            if (error.isValid())
                throw EDatabaseError(ErrorText(error));
            return false;
        }
        for (int c = 0; c < Columns; ++c)
            cells.PutVariant(c, q.value(c));
        cells.EndRow();
        return true;
    }

    void CloseCursor() override {
        if (Cursor)
            Cursor->Query->finish();
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
        bool Resolved = false; // the server has told which names are variables
        QSet<QString> ReadAs;
        TStatement St;
        std::unique_ptr<QSqlQuery> Query;
        QString Prepared; // the text Query holds prepared
    };

    // Runs a piece; true when it left a cursor open on rows.
    bool Run(TPiece& piece, const QVariantList& params, int offset, bool cursor) {
        if (piece.Empty)
            return false;
        for (;;) {
            if (!piece.Translated) {
                const QString key = SqlDialect::Join(piece.Tokens);
                const QSet<QString> candidates =
                    PgDialect::VariableCandidates(piece.Tokens, C.State);
                piece.Resolved = candidates.isEmpty() || C.ReadAsVariables.contains(key);
                if (piece.Resolved && !candidates.isEmpty())
                    piece.ReadAs = C.ReadAsVariables.value(key);
                piece.St = PgDialect::Translate(piece.Tokens, C.State, piece.ReadAs);
                piece.Translated = true;
            }
            // A first run that may mistake a variable for a column is undone
            // on its own inside a transaction.
            const bool trial = !piece.Resolved && C.InTransaction();
            if (trial)
                C.Exec(QStringLiteral("SAVEPOINT vexal_names"));
            try {
                const bool rows = RunTranslated(piece, params, offset, cursor);
                if (trial)
                    C.Exec(QStringLiteral("RELEASE SAVEPOINT vexal_names"));
                if (!piece.Resolved) {
                    piece.Resolved = true;
                    if (C.ReadAsVariables.size() > 2000)
                        C.ReadAsVariables.clear();
                    C.ReadAsVariables.insert(SqlDialect::Join(piece.Tokens), piece.ReadAs);
                }
                return rows;
            } catch (const EDatabaseError&) {
                if (trial) {
                    try {
                        C.Exec(QStringLiteral("ROLLBACK TO SAVEPOINT vexal_names"));
                    } catch (const EDatabaseError&) {
                        // The statement's own failure is the one to report.
                    }
                }
                const QString name = piece.Resolved ? QString() : LastUndefined.toUpper();
                if (name.isEmpty() || piece.ReadAs.contains(name) ||
                    !PgDialect::VariableCandidates(piece.Tokens, C.State).contains(name))
                    throw;
                // The server took a variable for a column: read it as one.
                piece.ReadAs.insert(name);
                piece.St = PgDialect::Translate(piece.Tokens, C.State, piece.ReadAs);
            }
        }
    }

    // Runs one SQL text with the piece's parameters; the query is kept.
    QSqlQuery& Query(TPiece& piece, const QString& sql, const QVariantList& params, int offset,
                     bool forwardOnly) {
        if (!piece.Query)
            piece.Query = std::make_unique<QSqlQuery>(C.Db());
        QSqlQuery& q = *piece.Query;
        q.finish();
        q.setForwardOnly(forwardOnly);
        LastUndefined.clear();
        bool ok;
        if (piece.ParamCount == 0) {
            ok = ExecWatched(q, [&q, &sql] { return q.exec(sql); });
        } else {
            ok = true;
            if (piece.Prepared != sql) {
                ok = q.prepare(sql);
                piece.Prepared = ok ? sql : QString();
            }
            if (ok) {
                for (int i = 0; i < piece.ParamCount; ++i)
                    q.bindValue(i, offset + i < params.size() ? params[offset + i] : QVariant());
                ok = ExecWatched(q, [&q] { return q.exec(); });
            }
        }
        if (!ok) {
            const QSqlError error = q.lastError();
            LastUndefined = UndefinedColumn(error);
            throw EDatabaseError(ErrorText(error));
        }
        return q;
    }

    bool RunTranslated(TPiece& piece, const QVariantList& params, int offset, bool cursor) {
        const TStatement& st = piece.St;
        switch (st.K) {
        case TStatement::Empty:
        case TStatement::Ignored:
            return false;
        case TStatement::Commit:
            C.Commit();
            return false;
        case TStatement::Rollback:
            C.Rollback();
            return false;
        case TStatement::SetVariable: {
            const TPgVariable known = C.Variables.value(st.Name.toUpper());
            QSqlQuery& q = Query(piece,
                                 PgDialect::SetVariableSql(st.Name, st.Text,
                                                           known.Declared ? known.Type : QString()),
                                 params, offset, true);
            const QString type = q.next() ? q.value(1).toString() : QString();
            q.finish();
            if (!known.Declared)
                C.SetVariable(known.Name.isEmpty() ? st.Name : known.Name, type, false);
            return false;
        }
        case TStatement::CreateVariable: {
            if (C.Variables.contains(st.Name.toUpper()) && !st.OrReplace)
                throw EDatabaseError(QStringLiteral("Variable '%1' already exists").arg(st.Name));
            const QString type = PgDialect::PgType(st.Type);
            Query(piece, PgDialect::SetVariableSql(st.Name, st.Text, type), params, offset, true)
                .finish();
            C.SetVariable(st.Name, type, true);
            return false;
        }
        case TStatement::DropVariable:
            if (!C.Variables.remove(st.Name.toUpper())) {
                if (!st.IfExists)
                    throw EDatabaseError(QStringLiteral("Variable '%1' not found").arg(st.Name));
                return false;
            }
            Query(piece, PgDialect::SetVariableSql(st.Name, QString(), QString()), params, offset,
                  true)
                .finish();
            return false;
        case TStatement::Sql:
            break;
        }
        QSqlQuery& q = Query(piece, st.Text, params, offset, cursor);
        if (cursor)
            return q.isSelect();
        Changes = q.isSelect() ? -1 : q.numRowsAffected();
        q.finish();
        return false;
    }

    TQtSqlConnection& C;
    std::vector<TPiece> Pieces;
    int TotalParams = 0;
    TPiece* Cursor = nullptr;
    int Columns = 0;
    int Changes = -1;
    QString LastUndefined; // name of the unknown column of the last failure
};

std::unique_ptr<TDbStatement> TQtSqlConnection::Prepare(const QString& sql) {
    if (Pg)
        return std::make_unique<TPgStatement>(*this, sql);
    return std::make_unique<TQtSqlStatement>(Db(), sql);
}

} // namespace

std::unique_ptr<TDbConnection> OpenQtSqlConnection(const TAliasInfo& alias, const QString& user,
                                                   const QString& password) {
    return std::make_unique<TQtSqlConnection>(alias, user, password);
}
