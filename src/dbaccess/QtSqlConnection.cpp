// Servers reached through Qt Sql drivers: ODBC data sources (QODBC),
// PostgreSQL (QPSQL) and MariaDB/MySQL (QMYSQL). A PostgreSQL or MariaDB/MySQL
// server, directly or behind an ODBC data source, gets the program's dialect
// translated (PgDialect.h, MysqlDialect.h); any other server gets the SQL
// text unchanged and speaks its own dialect.

#include "DbConnection.h"
#include "MysqlDialect.h"
#include "PgDialect.h"
#include "Query.h"
#include "SqlDialect.h"

#include <QFileInfo>
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

#include <atomic>
#ifdef Q_OS_UNIX
#include <dlfcn.h>
#endif
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

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

// PostgreSQL's cancel request for a connection, taken on the connection's
// thread when it opens. PQcancel on it may be sent from any thread while the
// connection works (libpq makes it for that). The functions are looked up in
// the client library the driver has loaded already, so the program needs
// none at build time; without them a cancel only stops the reading of rows.
// The kind of server does not tell the drivers apart (an ODBC data source may
// be PostgreSQL too); the type of the driver's handle does.
class TPgCancel {
public:
    explicit TPgCancel(const QSqlDriver* driver) : Pq(QStringLiteral("pq"), 5) {
        const QVariant handle = driver ? driver->handle() : QVariant();
        const char* type = handle.typeName();
        if (qstrcmp(type, "PGconn*") != 0 && qstrcmp(type, "pg_conn*") != 0)
            return;
        void* connection = *static_cast<void* const*>(handle.constData());
        using GetCancel = void* (*)(void*);
        auto getCancel = reinterpret_cast<GetCancel>(Pq.resolve("PQgetCancel"));
        SendCancel = reinterpret_cast<SendFunction>(Pq.resolve("PQcancel"));
        FreeCancel = reinterpret_cast<FreeFunction>(Pq.resolve("PQfreeCancel"));
        if (connection && getCancel && SendCancel && FreeCancel)
            Request = getCancel(connection);
    }
    ~TPgCancel() {
        if (Request)
            FreeCancel(Request);
    }
    TPgCancel(const TPgCancel&) = delete;
    TPgCancel& operator=(const TPgCancel&) = delete;

    bool Valid() const { return Request != nullptr; }
    void Send() const {
        char error[256];
        if (Request)
            SendCancel(Request, error, int(sizeof error));
    }

private:
    using SendFunction = int (*)(void*, char*, int);
    using FreeFunction = void (*)(void*);
    QLibrary Pq;
    void* Request = nullptr;
    SendFunction SendCancel = nullptr;
    FreeFunction FreeCancel = nullptr;
};

// ODBC's SQLCancel on the statement of query, which the standard allows from
// another thread while the statement runs. Looked up in the driver manager
// the driver has loaded already.
void CancelOdbcStatement(const QSqlQuery& query) {
    const QSqlDriver* driver = query.driver();
    if (!driver || qstrcmp(driver->metaObject()->className(), "QODBCDriver") != 0)
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

// The database system behind an ODBC connection, as its driver names it
// (SQL_DBMS_NAME: "PostgreSQL", "MariaDB", "MySQL", "SQLite", ...); empty
// when the driver does not tell. Asked through the driver manager the
// driver has loaded already.
QString OdbcInfoText(const QSqlDriver* driver, unsigned short info);

QString OdbcDbmsName(const QSqlDriver* driver) {
    return OdbcInfoText(driver, 17); // SQL_DBMS_NAME
}

// A text the ODBC driver tells about its connection (SQLGetInfo).
QString OdbcInfoText(const QSqlDriver* driver, unsigned short info) {
    if (!driver || qstrcmp(driver->metaObject()->className(), "QODBCDriver") != 0)
        return {};
    const QVariant handle = driver->handle();
    const char* type = handle.typeName();
    if (qstrcmp(type, "SQLHANDLE") != 0 && qstrcmp(type, "void*") != 0)
        return {};
    void* connection = *static_cast<void* const*>(handle.constData());
    QLibrary odbc(QStringLiteral("odbc"), 2);
    // SQLGetInfoW(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*)
    using GetInfo = short (*)(void*, unsigned short, void*, short, short*);
    auto getInfo = reinterpret_cast<GetInfo>(odbc.resolve("SQLGetInfoW"));
    if (!getInfo || !connection)
        return {};
    char16_t name[2048] = {};
    short length = 0;
    const short rc = getInfo(connection, info, name, short(sizeof name - sizeof name[0]), &length);
    if (rc != 0 && rc != 1) // SQL_SUCCESS, SQL_SUCCESS_WITH_INFO
        return {};
    return QString::fromUtf16(name).trimmed();
}

// MariaDB's and MySQL's cancel: KILL QUERY with the connection's id, sent
// from a second connection that the cancelling thread opens for it with the
// same login. The statement ends with an error on its own connection, which
// stays open.
class TMyCancel {
public:
    TMyCancel(const QSqlDatabase& db, qint64 connectionId)
        : Host(db.hostName()), Database(db.databaseName()), User(db.userName()),
          Password(db.password()), Options(db.connectOptions()), Port(db.port()), Id(connectionId) {
    }

    void Send() const {
        const QString name =
            QStringLiteral("vexal-cancel-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), name);
            db.setHostName(Host);
            db.setDatabaseName(Database);
            db.setUserName(User);
            db.setPassword(Password);
            db.setConnectOptions(Options);
            if (Port > 0)
                db.setPort(Port);
            if (db.open()) {
                QSqlQuery q(db);
                q.exec(QStringLiteral("KILL QUERY %1").arg(Id));
                q.finish();
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(name);
    }

private:
    QString Host, Database, User, Password, Options;
    int Port = 0;
    qint64 Id = 0;
};

// The thread a server connection lives on from its opening to its closing:
// Qt's SQL module lets a connection, its driver and its queries be used only
// in the thread that made them. Every other thread hands the connection its
// work through Run and waits for it there, which also keeps a long statement
// stoppable: the waiting thread asks the query watcher and, when told to
// stop, sends the server's cancel (PQcancel, SQLCancel: both made to be
// called while another thread waits in the driver).
class TConnectionThread {
public:
    TConnectionThread() : Worker([this] { Loop(); }) {}
    ~TConnectionThread() {
        {
            std::lock_guard guard(Lock);
            Stopping = true;
        }
        Changed.notify_all();
        Worker.join();
    }
    TConnectionThread(const TConnectionThread&) = delete;
    TConnectionThread& operator=(const TConnectionThread&) = delete;

    // Runs work on the connection's thread and waits for its end; what it
    // raises is raised here. Work that the connection's thread hands itself
    // runs at once. While waiting, the query watcher (when one is installed)
    // is asked every 20 ms; when it says stop, the cancel of SetCancel is
    // sent once and the work sees CancelRequested().
    void Run(const std::function<void()>& work) {
        if (std::this_thread::get_id() == Worker.get_id()) {
            work();
            return;
        }
        TTask task;
        task.Work = &work;
        std::unique_lock lock(Lock);
        Queue.push_back(&task);
        Changed.notify_all();
        const bool watched = HasQueryWatcher();
        while (!task.Done) {
            if (!watched || task.Cancelled) {
                Changed.wait(lock);
                continue;
            }
            Changed.wait_for(lock, std::chrono::milliseconds(20));
            if (task.Done)
                break;
            // The watcher keeps the windows painted; it may hand this
            // connection more work meanwhile, so the lock is not held.
            lock.unlock();
            const bool stop = QueryWatchPoint();
            lock.lock();
            if (stop && !task.Done) {
                task.Cancelled = true;
                if (Cancel)
                    Cancel();
            }
        }
        lock.unlock();
        if (task.Error)
            std::rethrow_exception(task.Error);
    }

    // On the connection's thread: what a waiting thread sends to stop the
    // statement now running (empty: nothing to send).
    void SetCancel(std::function<void()> cancel) {
        std::lock_guard guard(Lock);
        Cancel = std::move(cancel);
    }

    // Sends the cancel now, from a thread that waits for no work.
    void CancelNow() {
        std::lock_guard guard(Lock);
        if (Cancel)
            Cancel();
    }

    // On the connection's thread: true when the thread waiting for the work
    // now running was told to stop.
    static bool CancelRequested() { return Current && Current->Cancelled; }

private:
    struct TTask {
        const std::function<void()>* Work = nullptr;
        std::exception_ptr Error;
        bool Done = false;
        std::atomic<bool> Cancelled{false};
    };

    void Loop() {
        std::unique_lock lock(Lock);
        for (;;) {
            Changed.wait(lock, [this] { return Stopping || !Queue.empty(); });
            if (Queue.empty())
                return;
            TTask* task = Queue.front();
            Queue.pop_front();
            lock.unlock();
            Current = task;
            try {
                (*task->Work)();
            } catch (...) {
                task->Error = std::current_exception();
            }
            Current = nullptr;
            lock.lock();
            task->Done = true;
            Changed.notify_all();
        }
    }

    static thread_local TTask* Current;
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<TTask*> Queue;
    std::function<void()> Cancel;
    bool Stopping = false;
    std::thread Worker; // last: starts once the rest is in place
};

thread_local TConnectionThread::TTask* TConnectionThread::Current = nullptr;

// A number in a server's text (-12.345, 7): the nearest double, as strtod
// gives it. A plain decimal of at most 15 digits is an exact whole number
// divided by an exact power of ten, which IEEE division rounds correctly;
// anything else goes to the library.
double DecimalText(const char* text, std::size_t size) {
    static constexpr double Powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::size_t at = 0;
    const bool negative = size > 0 && text[0] == '-';
    at += negative ? 1 : 0;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fraction = -1;
    for (; at < size; ++at) {
        const char ch = text[at];
        if (ch >= '0' && ch <= '9') {
            mantissa = mantissa * 10 + std::uint64_t(ch - '0');
            ++digits;
            if (fraction >= 0)
                ++fraction;
        } else if (ch == '.' && fraction < 0) {
            fraction = 0;
        } else {
            break;
        }
    }
    if (at == size && digits > 0 && digits <= 15) {
        const double value = double(mantissa) / Powers[fraction < 0 ? 0 : fraction];
        return negative ? -value : value;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text, text + size, value);
    if (error == std::errc() && end == text + size)
        return value;
    return QByteArray(text, qsizetype(size)).toDouble();
}

// Rows read ahead on the connection's thread, a batch at a time, so that a
// fetch costs its caller no trip to that thread per row.
struct TRowBuffer {
    static constexpr int Batch = 256;
    static constexpr int RawBatch = 4096;
    std::vector<QVariant> Values;
    // Columns whose bytes are UTF-8 text (see TextColumnsAsBytes).
    std::vector<bool> Utf8;
    int Columns = 0;
    int Rows = 0;
    int Next = 0;
    bool End = false;
    bool Cancelled = false;
    QString Error;

    // MariaDB/MySQL straight through QMYSQL: the rows of the driver's stored
    // result read as the server sent them (texts), without a QVariant per
    // value; each column keeps the kind the driver's own conversion would
    // have given it, so the cells are the same.
    enum class TRawKind { Int, Float, Bool, Text, DateTime, Blob };
    using FetchRow = char** (*)(void*);
    using FetchLengths = unsigned long* (*)(void*);
    // PostgreSQL straight through QPSQL: the rows of the whole result the
    // driver holds (libpq's PGresult), read the same way.
    struct TPq {
        int (*Tuples)(const void*) = nullptr;
        char* (*Value)(const void*, int, int) = nullptr;
        int (*Length)(const void*, int, int) = nullptr;
        int (*IsNull)(const void*, int, int) = nullptr;
        unsigned (*Type)(const void*, int) = nullptr;
    };
    const void* PgResult = nullptr;
    TPq Pq;
    int PgRow = 0;
    int PgRows = 0;
    int PgFirst = 0; // the batch's first row
    // The driver reads the rows one at a time (QPSQL's forward-only mode):
    // each batch copies them out of the driver's row results.
    bool PgStream = false;
    void* RawResult = nullptr;
    FetchRow RawRow = nullptr;
    FetchLengths RawLengths = nullptr;
    std::vector<TRawKind> RawKinds;
    std::string Arena;                    // the batch's values, one after another
    std::vector<std::int64_t> RawOffsets; // per value: offset in Arena, -1 for null
    std::vector<std::uint32_t> RawSizes;

    void Reset(int columns, std::vector<bool> utf8 = {}) {
        Values.clear();
        RawResult = nullptr;
        PgResult = nullptr;
        PgRow = PgRows = PgFirst = 0;
        PgStream = false;
        RawKinds.clear();
        Arena.clear();
        RawOffsets.clear();
        RawSizes.clear();
        Utf8 = std::move(utf8);
        Columns = columns;
        Rows = Next = 0;
        End = Cancelled = false;
        Error.clear();
    }
    bool Empty() const { return Next >= Rows; }

    // On the connection's thread, after Reset: reads query's rows raw when
    // the driver is QMYSQL with a stored result of plain (not prepared)
    // statement and every column is of a kind read raw.
    void UseRawMySql(const QSqlQuery& query, const QSqlRecord& record) {
        const QSqlResult* result = query.result();
        const QVariant handle = result ? result->handle() : QVariant();
        if (qstrcmp(handle.typeName(), "MYSQL_RES*") != 0 &&
            qstrcmp(handle.typeName(), "st_mysql_res*") != 0)
            return;
        void* stored = *static_cast<void* const*>(handle.constData());
        // The client library the driver has loaded, and no other: a second
        // one's functions must not touch the driver's result.
        static void* const client = [] {
            void* loaded = nullptr;
#ifdef Q_OS_UNIX
            for (const char* name :
                 {"libmariadb.so.3", "libmysqlclient.so.21", "libmysqlclient.so.18"})
                if ((loaded = dlopen(name, RTLD_LAZY | RTLD_NOLOAD)) != nullptr)
                    break;
#endif
            return loaded;
        }();
        if (!client)
            return;
        static const auto row = reinterpret_cast<FetchRow>(dlsym(client, "mysql_fetch_row"));
        static const auto lengths =
            reinterpret_cast<FetchLengths>(dlsym(client, "mysql_fetch_lengths"));
        if (!stored || !row || !lengths || !RawKindsOf(query, record))
            return;
        RawResult = stored;
        RawRow = row;
        RawLengths = lengths;
    }

    // On the connection's thread, after Reset: reads query's rows raw when
    // the driver is QPSQL holding the whole result and every column is of a
    // kind read raw (not a time zone's, not bytea).
    void UseRawPostgres(const QSqlQuery& query, const QSqlRecord& record) {
        const QSqlResult* result = query.result();
        const QVariant handle = result ? result->handle() : QVariant();
        if (qstrcmp(handle.typeName(), "PGresult*") != 0 &&
            qstrcmp(handle.typeName(), "pg_result*") != 0)
            return;
        const void* whole = *static_cast<void* const*>(handle.constData());
        static QLibrary library(QStringLiteral("pq"), 5);
        static const TPq pq = [] {
            TPq p;
            p.Tuples = reinterpret_cast<decltype(p.Tuples)>(library.resolve("PQntuples"));
            p.Value = reinterpret_cast<decltype(p.Value)>(library.resolve("PQgetvalue"));
            p.Length = reinterpret_cast<decltype(p.Length)>(library.resolve("PQgetlength"));
            p.IsNull = reinterpret_cast<decltype(p.IsNull)>(library.resolve("PQgetisnull"));
            p.Type = reinterpret_cast<decltype(p.Type)>(library.resolve("PQftype"));
            return p;
        }();
        if (!whole || !pq.Tuples || !pq.Value || !pq.Length || !pq.IsNull || !pq.Type)
            return;
        for (int c = 0; c < record.count(); ++c) {
            const unsigned type = pq.Type(whole, c);
            // timestamptz, timetz, bytea: the driver's conversion serves.
            if (type == 1184 || type == 1266 || type == 17)
                return;
        }
        if (!RawKindsOf(query, record))
            return;
        Pq = pq;
        PgResult = whole;
        PgStream = query.isForwardOnly();
        PgRows = PgStream ? 0 : pq.Tuples(whole);
        PgRow = 0;
    }

    // The raw kind of each column; false when one has none.
    bool RawKindsOf(const QSqlQuery& query, const QSqlRecord& record) {
        std::vector<TRawKind> kinds;
        for (int c = 0; c < record.count(); ++c) {
            switch (record.field(c).metaType().id()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Char:
            case QMetaType::UChar:
            case QMetaType::SChar:
                kinds.push_back(TRawKind::Int);
                break;
            // Decimals and reals: numbers, or their text, as the query's
            // precision policy makes the driver give them.
            case QMetaType::Double:
            case QMetaType::Float:
                if (query.numericalPrecisionPolicy() == QSql::LowPrecisionDouble)
                    kinds.push_back(TRawKind::Float);
                else if (query.numericalPrecisionPolicy() == QSql::HighPrecision)
                    kinds.push_back(TRawKind::Text);
                else
                    return false;
                break;
            case QMetaType::Bool:
                kinds.push_back(TRawKind::Bool);
                break;
            // Dates and times: values whose ISO form is the server's text.
            case QMetaType::QString:
            case QMetaType::QDate:
                kinds.push_back(TRawKind::Text);
                break;
            case QMetaType::QTime:
            case QMetaType::QDateTime:
                kinds.push_back(TRawKind::DateTime);
                break;
            case QMetaType::QByteArray:
                kinds.push_back(std::size_t(c) < Utf8.size() && Utf8[std::size_t(c)]
                                    ? TRawKind::Text
                                    : TRawKind::Blob);
                break;
            default:
                return false; // a kind of its own: the driver's conversion serves
            }
        }
        RawKinds = std::move(kinds);
        return true;
    }

    // PostgreSQL's rows stay in the driver's result until the cursor
    // closes: a batch is a range of them, read in place.
    void FillPostgresStream(QSqlQuery& query) {
        Arena.clear();
        RawOffsets.clear();
        RawSizes.clear();
        Rows = Next = 0;
        while (Rows < RawBatch) {
            if (TConnectionThread::CancelRequested()) {
                Cancelled = End = true;
                return;
            }
            if (!query.next()) {
                End = true;
                const QSqlError error = query.lastError();
                if (error.isValid())
                    Error = ErrorText(error);
                return;
            }
            const QVariant handle = query.result()->handle();
            const void* result = *static_cast<void* const*>(handle.constData());
            const int row = result && Pq.Tuples(result) == 1 ? 0 : query.at();
            for (int c = 0; c < Columns; ++c) {
                if (!result || Pq.IsNull(result, row, c)) {
                    RawOffsets.push_back(-1);
                    RawSizes.push_back(0);
                    continue;
                }
                const int size = Pq.Length(result, row, c);
                RawOffsets.push_back(std::int64_t(Arena.size()));
                RawSizes.push_back(std::uint32_t(size));
                Arena.append(Pq.Value(result, row, c), std::size_t(size));
            }
            ++Rows;
        }
    }

    void FillPostgres() {
        Rows = Next = 0;
        PgFirst = PgRow;
        if (TConnectionThread::CancelRequested()) {
            Cancelled = End = true;
            return;
        }
        Rows = std::min(RawBatch, PgRows - PgRow);
        PgRow += Rows;
        End = PgRow >= PgRows;
    }

    void FillRaw() {
        Arena.clear();
        RawOffsets.clear();
        RawSizes.clear();
        Rows = Next = 0;
        while (Rows < RawBatch) {
            if (TConnectionThread::CancelRequested()) {
                Cancelled = End = true;
                return;
            }
            char** row = RawRow(RawResult);
            if (!row) {
                End = true;
                return;
            }
            const unsigned long* sizes = RawLengths(RawResult);
            for (int c = 0; c < Columns; ++c) {
                if (!row[c]) {
                    RawOffsets.push_back(-1);
                    RawSizes.push_back(0);
                    continue;
                }
                RawOffsets.push_back(std::int64_t(Arena.size()));
                RawSizes.push_back(std::uint32_t(sizes[c]));
                Arena.append(row[c], sizes[c]);
            }
            ++Rows;
        }
    }

    void PutRaw(TCellTable& cells) {
        const std::size_t first = std::size_t(Next) * std::size_t(Columns);
        const int pgRow = PgFirst + Next;
        for (int c = 0; c < Columns; ++c) {
            const char* text;
            std::size_t size;
            if (PgResult && !PgStream) {
                if (Pq.IsNull(PgResult, pgRow, c)) {
                    cells.PutNull(c);
                    continue;
                }
                text = Pq.Value(PgResult, pgRow, c);
                size = std::size_t(Pq.Length(PgResult, pgRow, c));
            } else {
                const std::int64_t offset = RawOffsets[first + std::size_t(c)];
                if (offset < 0) {
                    cells.PutNull(c);
                    continue;
                }
                text = Arena.data() + offset;
                size = RawSizes[first + std::size_t(c)];
            }
            switch (RawKinds[std::size_t(c)]) {
            case TRawKind::Int: {
                std::int64_t value = 0;
                const auto [end, error] = std::from_chars(text, text + size, value);
                if (error == std::errc() && end == text + size)
                    cells.PutInt(c, value);
                else
                    cells.PutFloat(c, QByteArray(text, qsizetype(size)).toDouble());
                break;
            }
            case TRawKind::Float:
                cells.PutFloat(c, DecimalText(text, size));
                break;
            case TRawKind::Bool:
                cells.PutInt(c, size > 0 && (text[0] == 't' || text[0] == '1') ? 1 : 0);
                break;
            case TRawKind::DateTime: {
                // Milliseconds at most, and none when they are naught, as
                // the driver's date-time and time give them; a zero date is
                // none.
                const std::string_view value(text, size);
                const std::size_t point = value.find('.');
                if (size >= 10 && value.substr(0, 10) == "0000-00-00") {
                    size = 0;
                } else if (point != std::string_view::npos) {
                    size = std::min<std::size_t>(size, point + 4);
                    if (value.substr(point + 1, size - point - 1).find_first_not_of('0') ==
                        std::string_view::npos)
                        size = point;
                }
                cells.PutText(c, text, size);
                break;
            }
            case TRawKind::Text:
                cells.PutText(c, text, size);
                break;
            case TRawKind::Blob:
                cells.PutBlob(c, text, size);
                break;
            }
        }
        cells.EndRow();
        ++Next;
    }

    // On the connection's thread: up to Batch rows of query.
    void Fill(QSqlQuery& query) {
        if (RawResult) {
            FillRaw();
            return;
        }
        if (PgResult) {
            if (PgStream)
                FillPostgresStream(query);
            else
                FillPostgres();
            return;
        }
        Values.clear();
        Rows = Next = 0;
        while (Rows < Batch) {
            if (TConnectionThread::CancelRequested()) {
                Cancelled = End = true;
                return;
            }
            if (!query.next()) {
                End = true;
                const QSqlError error = query.lastError();
                if (error.isValid())
                    Error = ErrorText(error);
                return;
            }
            for (int c = 0; c < Columns; ++c) {
                QVariant value = query.value(c);
                if (std::size_t(c) < Utf8.size() && Utf8[std::size_t(c)] &&
                    value.metaType().id() == QMetaType::QByteArray)
                    value = QString::fromUtf8(value.toByteArray());
                Values.push_back(std::move(value));
            }
            ++Rows;
        }
    }

    void Put(TCellTable& cells) {
        if (RawResult || PgResult) {
            PutRaw(cells);
            return;
        }
        const std::size_t first = std::size_t(Next) * std::size_t(Columns);
        for (int c = 0; c < Columns; ++c)
            cells.PutVariant(c, Values[first + std::size_t(c)]);
        cells.EndRow();
        ++Next;
    }

    // The next row into cells: refill reads the next batch on the
    // connection's thread, close ends the cursor once the rows are out.
    // False at the end; a cancel or a driver error raises after the close.
    template <class Refill, class Close>
    bool Take(TCellTable& cells, Refill&& refill, Close&& close) {
        if (Empty() && !End)
            refill();
        if (Empty()) {
            const bool cancelled = Cancelled;
            const QString error = Error;
            close();
            if (cancelled)
                throw EQueryCancelled();
            if (!error.isEmpty())
                throw EDatabaseError(error);
            return false;
        }
        Put(cells);
        return true;
    }
};

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

// SQLSTATE 42703, undefined column: the name the server did not know.
// MariaDB and MySQL call it error 1054, "Unknown column 'name' in ...".
QString UndefinedColumn(const QSqlError& error) {
    const QString text = error.databaseText() + u'\n' + error.driverText();
    if (error.nativeErrorCode() == QLatin1String("1054") ||
        text.contains(QLatin1String("Unknown column '"))) {
        static const QRegularExpression unknown(QStringLiteral("Unknown column '([^']+)'"));
        const QRegularExpressionMatch m = unknown.match(text);
        return m.hasMatch() ? m.captured(1) : QString();
    }
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

// MariaDB and MySQL mark the texts of a binary collation (utf8mb4_bin, the
// one that compares as the embedded database does) as binary, and the
// drivers hand them over as bytes: text columns (CHAR, VARCHAR; through ODBC
// BINARY, VARBINARY) that come as bytes are read as UTF-8 text. BLOB and
// TEXT columns cannot be told apart this way and stay bytes.
std::vector<bool> TextColumnsAsBytes(const QSqlRecord& record, bool odbc) {
    std::vector<bool> text(std::size_t(record.count()), false);
    for (int c = 0; c < record.count(); ++c) {
        const QSqlField field = record.field(c);
        if (field.metaType().id() != QMetaType::QByteArray)
            continue;
        const int type = field.typeID();
        text[std::size_t(c)] =
            odbc ? (type == -2 || type == -3)                  // SQL_BINARY, SQL_VARBINARY
                 : (type == 15 || type == 253 || type == 254); // VARCHAR, VAR_STRING, STRING
    }
    return text;
}

std::vector<TColumnInfo> ColumnsOf(const QSqlRecord& record,
                                   const QHash<QString, QString>& longNames,
                                   const std::vector<bool>& expressions,
                                   const std::vector<bool>& textBytes = {}) {
    std::vector<TColumnInfo> columns;
    for (int c = 0; c < record.count(); ++c) {
        const QSqlField field = record.field(c);
        TColumnInfo info;
        info.Name = longNames.value(field.name(), field.name());
        info.Type = KindOfMetaType(field.metaType().id());
        if (std::size_t(c) < textBytes.size() && textBytes[std::size_t(c)])
            info.Type = TFieldType::String;
        if (int(expressions.size()) == record.count() && expressions[std::size_t(c)])
            info.Type = TFieldType::Unknown;
        if (info.Type == TFieldType::String && field.length() > 0 && field.length() < 65536)
            info.Size = field.length();
        columns.push_back(info);
    }
    return columns;
}

class TPgStatement;

// libpq's connection options for the alias's SSLMode= and SSLRootCert=. The
// driver turns ";" into the separator of libpq's options, so a value holds
// none; a value is quoted the way libpq reads quoted values.
QString SslOptions(const TAliasInfo& alias) {
    static const QStringList modes = {QStringLiteral("disable"), QStringLiteral("prefer"),
                                      QStringLiteral("require"), QStringLiteral("verify-ca"),
                                      QStringLiteral("verify-full")};
    auto quoted = [](QString value) {
        value.replace(u'\\', QStringLiteral("\\\\"));
        value.replace(u'\'', QStringLiteral("\\'"));
        return u'\'' + value + u'\'';
    };
    QStringList options;
    if (!alias.SslMode.isEmpty()) {
        const QString mode = alias.SslMode.trimmed().toLower();
        if (!modes.contains(mode))
            throw EDatabaseError(
                QStringLiteral("The alias %1 has SSLMode=%2; use disable, prefer, require, "
                               "verify-ca or verify-full.")
                    .arg(alias.Name, alias.SslMode));
        options << QStringLiteral("sslmode=") + mode;
    }
    if (!alias.SslRootCert.isEmpty()) {
        if (alias.SslRootCert.contains(u';'))
            throw EDatabaseError(
                QStringLiteral("The alias %1 has an SSLRootCert= path with \";\" in it, which "
                               "the driver cannot pass on; move the certificate.")
                    .arg(alias.Name));
        options << QStringLiteral("sslrootcert=") + quoted(alias.SslRootCert);
    }
    return options.join(u';');
}

// The MySQL driver's connection options for the alias's SSLMode=: require
// asks for an encrypted connection; the driver of this Qt cannot be told to
// check the server's certificate, so the modes that promise a check are
// refused rather than quietly weakened.
QString MySslOptions(const TAliasInfo& alias) {
    const QString mode = alias.SslMode.trimmed().toLower();
    if (mode.isEmpty() || mode == QLatin1String("disable") || mode == QLatin1String("prefer"))
        return {};
    if (mode == QLatin1String("require")) {
        if (alias.SslRootCert.isEmpty())
            return QStringLiteral("CLIENT_SSL");
        if (alias.SslRootCert.contains(u';'))
            throw EDatabaseError(
                QStringLiteral("The alias %1 has an SSLRootCert= path with \";\" in it, which "
                               "the driver cannot pass on; move the certificate.")
                    .arg(alias.Name));
        return QStringLiteral("CLIENT_SSL;SSL_CA=") + alias.SslRootCert;
    }
    throw EDatabaseError(
        QStringLiteral("The alias %1 has SSLMode=%2; for MariaDB and MySQL use disable, prefer or "
                       "require (the driver cannot check the server's certificate).")
            .arg(alias.Name, alias.SslMode));
}

// A connection variable: its value lives in the server's setting vexal.<name>
// (PostgreSQL) or user variable @name (MariaDB, MySQL).
struct TPgVariable {
    QString Name;
    QString Type; // PostgreSQL type, or MariaDB CAST type, it is read back as
    bool Declared = false;
};

// A server connection. It lives on a thread of its own (TConnectionThread),
// where it is opened, used and closed; its public calls and those of its
// statements hand their work to that thread and wait.
class TQtSqlConnection : public TDbConnection {
public:
    TQtSqlConnection(const TAliasInfo& alias, const QString& user, const QString& password)
        : Name(QStringLiteral("vexal-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        Thread.Run([&] { Connect(alias, user, password); });
        State.IsVariable = [this](const QString& name) {
            return Variables.contains(name.toUpper());
        };
        State.VariableType = [this](const QString& name) {
            return Variables.value(name.toUpper()).Type;
        };
        State.IsSetting = [this](const QString& name) { return Settings.contains(name.toLower()); };
    }

    ~TQtSqlConnection() override {
        Thread.Run([this] {
            Thread.SetCancel({});
            PgCancel.reset();
            MyCancel.reset();
            {
                QSqlDatabase db = QSqlDatabase::database(Name, false);
                if (db.isOpen()) {
                    if (InTrans)
                        db.rollback();
                    db.close();
                }
            }
            QSqlDatabase::removeDatabase(Name);
        });
    }

    std::unique_ptr<TDbStatement> Prepare(const QString& sql, TStatementCount count) override;

    void StartTransaction() override {
        Thread.Run([this] {
            QSqlDatabase db = Db();
            if (!db.transaction())
                throw EDatabaseError(ErrorText(db.lastError()));
            InTrans = true;
        });
    }

    void Commit() override {
        if (!InTrans)
            return;
        Thread.Run([this] {
            QSqlDatabase db = Db();
            InTrans = false;
            if (!db.commit())
                throw EDatabaseError(ErrorText(db.lastError()));
        });
    }

    void Rollback() override {
        if (!InTrans)
            return;
        Thread.Run([this] {
            QSqlDatabase db = Db();
            InTrans = false;
            if (!db.rollback())
                throw EDatabaseError(ErrorText(db.lastError()));
        });
    }

    bool InTransaction() const override { return InTrans; }
    QString Driver() const override { return Kind; }

    // The rest is for the connection's thread (statements run there).
    TConnectionThread Thread;

    QSqlDatabase Db() const { return QSqlDatabase::database(Name, false); }

    // Runs a statement of the connection's own; raises with the server's message.
    QSqlQuery Exec(const QString& sql) {
        QSqlQuery q(Db());
        q.setForwardOnly(true);
        if (!q.exec(sql))
            throw EDatabaseError(ErrorText(q.lastError()));
        return q;
    }

    // Runs one blocking call of the driver (the execution of query). When
    // the waiting thread was told to stop meanwhile, a statement that failed
    // or returns rows ends in EQueryCancelled; one that changed data and
    // finished before the cancel reached the server keeps its result.
    bool ExecWatched(QSqlQuery& query, const std::function<bool()>& exec) {
        // Without the server's connection-wide cancel, the statement's own.
        const bool wide = PgCancel || MyCancel;
        if (!wide)
            Thread.SetCancel([&query] { CancelOdbcStatement(query); });
        bool ok = false;
        try {
            ok = exec();
        } catch (...) {
            if (!wide)
                Thread.SetCancel({});
            throw;
        }
        if (!wide)
            Thread.SetCancel({});
        if (TConnectionThread::CancelRequested() && (!ok || query.isSelect())) {
            query.finish();
            throw EQueryCancelled();
        }
        return ok;
    }

    // An ODBC data source on an SQLite file: the file, which the embedded
    // engine opens instead (OpenQtSqlConnection); empty for any other.
    QString SqliteFile;

    // The dialect the connection's server is spoken to in.
    enum class TDialect { AsIs, Postgres, MySql };
    TDialect Dialect = TDialect::AsIs;

    // Translation state of a PostgreSQL or MariaDB/MySQL connection.
    PgDialect::TConnectionState State;
    QHash<QString, TPgVariable> Variables; // by upper-case name
    // Names a statement text reads as variables, once the server has told.
    QHash<QString, QSet<QString>> ReadAsVariables;

    void SetVariable(const QString& name, const QString& type, bool declared) {
        Variables.insert(name.toUpper(), {name, type, declared});
    }

private:
    // On the connection's thread: opens the connection and sets the session up.
    void Connect(const TAliasInfo& alias, const QString& user, const QString& password) {
        const QString driver = alias.Driver.toLower();
        const bool odbc = driver == QLatin1String("odbc");
        const bool my = driver == QLatin1String("mariadb") || driver == QLatin1String("mysql");
        Kind = odbc ? QStringLiteral("odbc")
               : my ? QStringLiteral("mariadb")
                    : QStringLiteral("postgres");
        const QString qtDriver = odbc ? QStringLiteral("QODBC")
                                 : my ? QStringLiteral("QMYSQL")
                                      : QStringLiteral("QPSQL");
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
            db.setConnectOptions(my ? MySslOptions(alias) : SslOptions(alias));
        }
        if (!user.isEmpty())
            db.setUserName(user);
        if (!password.isEmpty())
            db.setPassword(password);
        try {
            if (!db.open())
                throw EDatabaseError(QStringLiteral("Cannot connect to %1: %2")
                                         .arg(alias.Name, ErrorText(db.lastError())));
            if (odbc) {
                const QString dbms = OdbcDbmsName(db.driver()).toLower();
                if (dbms.contains(QLatin1String("postgres")) ||
                    db.driver()->dbmsType() == QSqlDriver::PostgreSQL)
                    Dialect = TDialect::Postgres;
                else if (dbms.contains(QLatin1String("sqlite")))
                    // SQL_DATABASE_NAME: the SQLite ODBC driver names the file.
                    SqliteFile = OdbcInfoText(db.driver(), 16);
                else if (dbms.contains(QLatin1String("mariadb")) ||
                         dbms.contains(QLatin1String("mysql")) ||
                         db.driver()->dbmsType() == QSqlDriver::MySqlServer)
                    Dialect = TDialect::MySql;
            } else {
                Dialect = my ? TDialect::MySql : TDialect::Postgres;
            }
            Pg = Dialect != TDialect::AsIs;
            if (Dialect == TDialect::Postgres)
                SetUpPostgres(db);
            else if (Dialect == TDialect::MySql)
                SetUpMySql(db);
            if (my) {
                MyCancel = std::make_unique<TMyCancel>(db, ConnectionId);
                Thread.SetCancel([cancel = MyCancel.get()] { cancel->Send(); });
            } else {
                PgCancel = std::make_unique<TPgCancel>(db.driver());
                if (PgCancel->Valid())
                    Thread.SetCancel([cancel = PgCancel.get()] { cancel->Send(); });
                else
                    PgCancel.reset();
            }
        } catch (...) {
            PgCancel.reset();
            MyCancel.reset();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(Name);
            throw;
        }
    }

    void SetUpPostgres(QSqlDatabase& db) {
        QSqlQuery q(db);
        for (const QString& sql : PgDialect::SessionSetupSql().split(u';', Qt::SkipEmptyParts))
            if (!q.exec(sql))
                throw EDatabaseError(ErrorText(q.lastError()));
        // Values are quoted by doubling "'" only: a session where a backslash
        // still escapes a quote would let a typed value end its literal.
        if (!q.exec(QStringLiteral("SHOW standard_conforming_strings")) || !q.next() ||
            q.value(0).toString().compare(QLatin1String("on"), Qt::CaseInsensitive) != 0)
            throw EDatabaseError(QStringLiteral(
                "The server does not accept standard_conforming_strings = on for this session, "
                "so typed values cannot be sent safely; the connection is closed."));
        q.finish();
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

    // MariaDB and MySQL: double-quoted names, || joining texts, and no
    // backslash escapes in literals (values are quoted by doubling "'" only,
    // so a session where a backslash still escapes a quote would let a
    // typed value end its literal): the connection is refused without them.
    void SetUpMySql(QSqlDatabase& db) {
        QSqlQuery q(db);
        q.exec(MysqlDialect::SessionSetupSql());
        QString modes;
        if (q.exec(QStringLiteral("SELECT @@SESSION.sql_mode, CONNECTION_ID()")) && q.next()) {
            modes = q.value(0).toString().toUpper();
            ConnectionId = q.value(1).toLongLong();
        }
        const QStringList have = modes.split(u',');
        for (const QString& mode : MysqlDialect::RequiredModes())
            if (!have.contains(mode))
                throw EDatabaseError(
                    QStringLiteral("The server does not accept the SQL mode %1 for this session, "
                                   "so the program's statements and typed values cannot be sent "
                                   "safely; the connection is closed. %2")
                        .arg(mode, ErrorText(q.lastError())));
        q.finish();
        if (!q.exec(QStringLiteral("SHOW SESSION VARIABLES")))
            throw EDatabaseError(ErrorText(q.lastError()));
        while (q.next())
            Settings.insert(q.value(0).toString().toLower());
        q.finish();
        if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM information_schema.TABLES WHERE "
                                   "TABLE_SCHEMA = DATABASE() AND LOWER(TABLE_NAME) = 'dummy'")))
            throw EDatabaseError(ErrorText(q.lastError()));
        State.HasDummyTable = q.next() && q.value(0).toInt() > 0;
    }

    QString Name;
    QString Kind;
    bool Pg = false;
    bool InTrans = false;
    std::unique_ptr<TPgCancel> PgCancel; // PostgreSQL straight through QPSQL
    std::unique_ptr<TMyCancel> MyCancel; // MariaDB/MySQL straight through QMYSQL
    qint64 ConnectionId = 0;
    QSet<QString> Settings; // the server's run-time settings, lower case
};

// A statement text for PostgreSQL or MariaDB/MySQL: cut into statements,
// each translated on its first run (variables declared by an earlier one are
// known by then) and kept for the next runs.
class TPgStatement : public TDbStatement {
public:
    TPgStatement(TQtSqlConnection& connection, const QString& sql, TStatementCount count)
        : C(connection) {
        auto statements = SqlDialect::SplitStatements(My() ? SqlDialect::Tokenize(sql)
                                                           : PgDialect::Tokenize(sql));
        if (count == TStatementCount::One)
            SqlDialect::RequireOneStatement(statements);
        for (auto& tokens : statements) {
            TPiece piece;
            piece.ParamCount = SqlDialect::CountPlaceholders(tokens);
            for (const TToken& t : tokens)
                piece.Empty = piece.Empty && !t.Significant();
            piece.Tokens = std::move(tokens);
            TotalParams += piece.ParamCount;
            Pieces.push_back(std::move(piece));
        }
    }

    // The queries are the connection's thread's to end.
    ~TPgStatement() override {
        C.Thread.Run([this] {
            for (TPiece& piece : Pieces)
                piece.Query.reset();
        });
    }

    int ParamCount() const override { return TotalParams; }

    void Execute(const QVariantList& params) override {
        CloseCursor();
        C.Thread.Run([&] {
            Changes = -1;
            int offset = 0;
            for (TPiece& piece : Pieces) {
                Run(piece, params, offset, false);
                offset += piece.ParamCount;
            }
        });
    }

    std::vector<TColumnInfo> OpenCursor(const QVariantList& params) override {
        CloseCursor();
        std::vector<TColumnInfo> columns;
        C.Thread.Run([&] {
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
            std::vector<bool> textBytes;
            if (My())
                textBytes = TextColumnsAsBytes(record, C.Driver() == QLatin1String("odbc"));
            columns = ColumnsOf(record, LongNames(piece.Tokens),
                                PgDialect::ExpressionItems(piece.Tokens, piece.ReadAs), textBytes);
            Ahead.Reset(record.count(), std::move(textBytes));
            if (My() && C.Driver() == QLatin1String("mariadb"))
                Ahead.UseRawMySql(*piece.Query, record);
            else if (!My() && C.Driver() == QLatin1String("postgres"))
                Ahead.UseRawPostgres(*piece.Query, record);
        });
        return columns;
    }

    bool Fetch(TCellTable& cells) override {
        if (!Cursor)
            return false;
        if (QueryWatchPoint()) {
            C.Thread.CancelNow();
            CloseCursor();
            throw EQueryCancelled();
        }
        return Ahead.Take(
            cells, [this] { C.Thread.Run([this] { Ahead.Fill(*Cursor->Query); }); },
            [this] { CloseCursor(); });
    }

    void CloseCursor() override {
        if (Cursor)
            C.Thread.Run([this] { Cursor->Query->finish(); });
        Cursor = nullptr;
        Ahead.Reset(0);
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

    bool My() const { return C.Dialect == TQtSqlConnection::TDialect::MySql; }

    TStatement Translate(const TPiece& piece) const {
        return My() ? MysqlDialect::Translate(piece.Tokens, C.State, piece.ReadAs)
                    : PgDialect::Translate(piece.Tokens, C.State, piece.ReadAs);
    }

    // MariaDB/MySQL: computes a variable's value on the server and keeps it
    // in the user variable. A typed variable takes the value converted to
    // its type; a value the type cannot take is refused (the server itself
    // would only warn) and the variable keeps its old value. Returns the
    // CAST type of an untyped value.
    QString SetMyVariable(TPiece& piece, const QString& name, const QString& expression,
                          const QString& castType, const QVariantList& params, int offset) {
        QSqlQuery& q =
            Query(piece, MysqlDialect::ValueSql(expression, castType), params, offset, true);
        QVariant value;
        QString type = castType;
        if (q.next()) {
            const QVariant raw = q.value(0);
            value = castType.isEmpty() ? raw : q.value(1);
            const int kind = q.record().field(0).metaType().id();
            bool number = true;
            if (!raw.isNull() && MysqlDialect::IsNumericType(castType) &&
                kind == QMetaType::QString)
                raw.toString().trimmed().toDouble(&number);
            if (!castType.isEmpty() && !raw.isNull() && (value.isNull() || !number)) {
                q.finish();
                throw EDatabaseError(QStringLiteral("Cannot convert '%1' to %2 for the variable %3")
                                         .arg(raw.toString(), castType, name));
            }
            if (castType.isEmpty())
                type = MyTypeOf(q.record().field(0), raw);
        }
        q.finish();
        QSqlQuery set(C.Db());
        if (!set.prepare(QStringLiteral("SET %1 = ?").arg(MysqlDialect::UserVariable(name))))
            throw EDatabaseError(ErrorText(set.lastError()));
        set.bindValue(0, value);
        if (!set.exec())
            throw EDatabaseError(ErrorText(set.lastError()));
        return type;
    }

    // The CAST type a value is read back with.
    static QString MyTypeOf(const QSqlField& field, const QVariant& value) {
        switch (field.metaType().id()) {
        case QMetaType::QDate:
            return QStringLiteral("DATE");
        case QMetaType::QDateTime:
            return QStringLiteral("DATETIME");
        case QMetaType::QTime:
            return QStringLiteral("TIME");
        case QMetaType::Double:
            // A decimal comes as its exact text: kept with its digits.
            if (value.metaType().id() == QMetaType::QString) {
                const QString text = value.toString();
                const qsizetype point = text.indexOf(u'.');
                return QStringLiteral("DECIMAL(65,%1)")
                    .arg(point < 0 ? 0 : std::min<qsizetype>(30, text.size() - point - 1));
            }
            return QString();
        default:
            return QString();
        }
    }

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
                piece.St = Translate(piece);
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
                piece.St = Translate(piece);
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
            ok = C.ExecWatched(q, [&q, &sql] { return q.exec(sql); });
        } else {
            ok = true;
            if (piece.Prepared != sql) {
                ok = q.prepare(sql);
                piece.Prepared = ok ? sql : QString();
            }
            if (ok) {
                for (int i = 0; i < piece.ParamCount; ++i)
                    q.bindValue(i, offset + i < params.size() ? params[offset + i] : QVariant());
                ok = C.ExecWatched(q, [&q] { return q.exec(); });
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
            if (My()) {
                const QString type =
                    SetMyVariable(piece, st.Name, st.Text, known.Declared ? known.Type : QString(),
                                  params, offset);
                if (!known.Declared)
                    C.SetVariable(known.Name.isEmpty() ? st.Name : known.Name, type, false);
                return false;
            }
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
            if (My()) {
                const QString type = MysqlDialect::CastType(st.Type);
                SetMyVariable(piece, st.Name, st.Text, type, params, offset);
                C.SetVariable(st.Name, type, true);
                return false;
            }
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
            if (My()) {
                SetMyVariable(piece, st.Name, QString(), QString(), params, offset);
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
    TRowBuffer Ahead;
    int Changes = -1;
    QString LastUndefined; // name of the unknown column of the last failure
};

// A statement for any other server: the text goes as it is.
class TQtSqlStatement : public TDbStatement {
public:
    TQtSqlStatement(TQtSqlConnection& connection, const QString& sql)
        : C(connection), Sql(sql),
          Params(SqlDialect::CountPlaceholders(SqlDialect::Tokenize(sql))) {}

    // The query is the connection's thread's to end.
    ~TQtSqlStatement() override {
        C.Thread.Run([this] { Query.reset(); });
    }

    int ParamCount() const override { return Params; }

    void Execute(const QVariantList& params) override {
        CloseCursor();
        C.Thread.Run([&] {
            Run(params, false);
            Changes = Query->isSelect() ? -1 : Query->numRowsAffected();
            Query->finish();
        });
    }

    std::vector<TColumnInfo> OpenCursor(const QVariantList& params) override {
        CloseCursor();
        std::vector<TColumnInfo> columns;
        C.Thread.Run([&] {
            Run(params, true);
            if (!Query->isSelect()) {
                Query->finish();
                throw EDatabaseError(QStringLiteral("The statement returns no rows"));
            }
            const QSqlRecord record = Query->record();
            columns = ColumnsOf(record, {}, {});
            Ahead.Reset(record.count());
        });
        Open = true;
        return columns;
    }

    bool Fetch(TCellTable& cells) override {
        if (!Open)
            return false;
        if (QueryWatchPoint()) {
            C.Thread.Run([this] { CancelOdbcStatement(*Query); });
            CloseCursor();
            throw EQueryCancelled();
        }
        return Ahead.Take(
            cells, [this] { C.Thread.Run([this] { Ahead.Fill(*Query); }); },
            [this] { CloseCursor(); });
    }

    void CloseCursor() override {
        if (Open)
            C.Thread.Run([this] { Query->finish(); });
        Open = false;
        Ahead.Reset(0);
    }

    bool CursorOpen() const override { return Open; }
    int RowsAffected() const override { return Changes; }

private:
    // On the connection's thread.
    void Run(const QVariantList& params, bool forwardOnly) {
        Changes = -1;
        if (!Query)
            Query = std::make_unique<QSqlQuery>(C.Db());
        QSqlQuery& q = *Query;
        q.setForwardOnly(forwardOnly);
        // Without placeholders the text goes as it is: some drivers prepare
        // on the server, where statements such as CREATE cannot be prepared.
        if (Params == 0) {
            if (!C.ExecWatched(q, [this, &q] { return q.exec(Sql); }))
                throw EDatabaseError(ErrorText(q.lastError()));
            return;
        }
        if (!Prepared) {
            if (!q.prepare(Sql))
                throw EDatabaseError(ErrorText(q.lastError()));
            Prepared = true;
        }
        for (int i = 0; i < Params; ++i)
            q.bindValue(i, i < params.size() ? params[i] : QVariant());
        if (!C.ExecWatched(q, [&q] { return q.exec(); }))
            throw EDatabaseError(ErrorText(q.lastError()));
    }

    TQtSqlConnection& C;
    std::unique_ptr<QSqlQuery> Query;
    QString Sql;
    int Params = 0;
    bool Prepared = false;
    bool Open = false;
    TRowBuffer Ahead;
    int Changes = -1;
};

std::unique_ptr<TDbStatement> TQtSqlConnection::Prepare(const QString& sql, TStatementCount count) {
    if (Pg)
        return std::make_unique<TPgStatement>(*this, sql, count);
    // Any other server gets the text as it is; whether the driver would run
    // a second statement is its own affair, so a query's text is checked here.
    if (count == TStatementCount::One)
        SqlDialect::RequireOneStatement(SqlDialect::SplitStatements(SqlDialect::Tokenize(sql)));
    return std::make_unique<TQtSqlStatement>(*this, sql);
}

// An ODBC data source on an SQLite file, opened by the embedded engine: it
// is still the ODBC alias it was opened as (its catalogue is read through
// the driver as for any data source).
class TOdbcSqliteFile : public TDbConnection {
public:
    explicit TOdbcSqliteFile(std::unique_ptr<TDbConnection> embedded)
        : Embedded(std::move(embedded)) {}
    std::unique_ptr<TDbStatement> Prepare(const QString& sql, TStatementCount count) override {
        return Embedded->Prepare(sql, count);
    }
    void StartTransaction() override { Embedded->StartTransaction(); }
    void Commit() override { Embedded->Commit(); }
    void Rollback() override { Embedded->Rollback(); }
    bool InTransaction() const override { return Embedded->InTransaction(); }
    QString Driver() const override { return QStringLiteral("odbc"); }

private:
    std::unique_ptr<TDbConnection> Embedded;
};

} // namespace

std::unique_ptr<TDbConnection> OpenQtSqlConnection(const TAliasInfo& alias, const QString& user,
                                                   const QString& password) {
    auto connection = std::make_unique<TQtSqlConnection>(alias, user, password);
    // SQLite behind ODBC: the file is opened by the embedded engine, which
    // speaks the program's dialect (connection variables, its functions) as
    // on an embedded alias; the ODBC driver only told where the file is.
    const QString file = connection->SqliteFile;
    if (!file.isEmpty() && QFileInfo(file).isFile()) {
        connection.reset();
        return std::make_unique<TOdbcSqliteFile>(OpenSqliteConnection(file));
    }
    return connection;
}
