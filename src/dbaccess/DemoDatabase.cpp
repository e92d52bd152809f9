// The demo database: schema, clients, goods and the inquiry catalogue come
// from the files of demo/ (built in as resources); the sales rows are made
// here, the same for every build and every database, so tests can rely on
// them. The target is an SQLite file, a PostgreSQL database named by a
// postgres://user@host[:port]/database URL (the password comes from
// PGPASSWORD or the password file, never from the URL), or a MariaDB/MySQL
// database named by mariadb://user@host[:port]/database (or mysql://; the
// password comes from MYSQL_PWD, never from the URL).

#include "Database.h"
#include "DbConnection.h"
#include "SqliteConnection.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUrl>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int DefaultSalesRows = 5000;

// Runs SQL on the raw connection; raises with SQLite's message.
void Exec(sqlite3* db, const QByteArray& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        throw EDatabaseError(QStringLiteral("Cannot create the demo database: %1").arg(message));
    }
}

QByteArray Resource(const char* name);

// The version of the demo's contents: a hash of the texts it is built from,
// kept in the file's user_version. A demo made by an earlier program (older
// subjects, widths or options) is built again instead of showing them.
int DemoContentsVersion() {
    static const int version = [] {
        quint32 hash = 2166136261u;
        for (const char* name : {"schema.sql", "data.sql", "metadata.sql"})
            for (const char byte : Resource(name))
                hash = (hash ^ quint8(byte)) * 16777619u;
        return int(hash & 0x7FFFFFFF) | 1; // never 0, a file's user_version before
    }();
    return version;
}

QByteArray Resource(const char* name) {
    QFile file(QStringLiteral(":/demo/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("Cannot create the demo database: %1 is missing")
                                 .arg(QLatin1String(name)));
    return file.readAll();
}

// A small deterministic generator (xorshift), so the rows never change.
struct TRandom {
    std::uint64_t State = 0x9E3779B97F4A7C15ull;
    std::uint32_t Next() {
        State ^= State << 13;
        State ^= State >> 7;
        State ^= State << 17;
        return std::uint32_t(State >> 16);
    }
    int Below(int n) { return int(Next() % std::uint32_t(n)); }
};

// One generated sales row; texts are UTF-8.
struct TSaleRow {
    int SaleID = 0;
    const char* InvoiceNo = nullptr;
    const QByteArray* SaleDate = nullptr;
    int ClientID = 0;
    int GoodID = 0;
    int Qty = 0;
    double Price = 0;
    double Amount = 0;
    const QByteArray* Payment = nullptr;
    const QByteArray* Operator = nullptr;
    const char* DataVavejdane = nullptr;
    int Storno = 0;
};

// The sales rows, the same on every run and every database: prices are the
// goods' prices by GoodID, clients the number of clients.
template <typename Emit>
void GenerateSales(const std::vector<double>& prices, int clients, int rows, Emit&& onRow) {
    if (prices.size() < 2 || clients < 1)
        throw EDatabaseError(
            QStringLiteral("Cannot create the demo database: no clients or goods"));

    // Two years of days as ISO texts.
    const QDate first(2023, 1, 1);
    const int days = int(first.daysTo(QDate(2024, 12, 31))) + 1;
    std::vector<QByteArray> dayTexts;
    for (int d = 0; d < days; ++d)
        dayTexts.push_back(first.addDays(d).toString(QStringLiteral("yyyy-MM-dd")).toLatin1());
    const QByteArray payments[] = {
        QStringLiteral("В брой").toUtf8(), QStringLiteral("В брой").toUtf8(),
        QStringLiteral("Банка").toUtf8(), QStringLiteral("Карта").toUtf8()};
    const QByteArray operators[] = {
        QStringLiteral("Иванова").toUtf8(), QStringLiteral("Петрова").toUtf8(),
        QStringLiteral("Георгиев").toUtf8(), QStringLiteral("Стоянова").toUtf8(),
        QStringLiteral("Колев").toUtf8()};

    TRandom random;
    int invoice = 1000;
    int linesLeft = 0;
    int client = 1;
    int payment = 0;
    int op = 0;
    char invoiceText[16];
    char stamp[32];
    for (int i = 0; i < rows; ++i) {
        if (linesLeft == 0) {
            // A new invoice of one to four lines for one client.
            ++invoice;
            linesLeft = 1 + random.Below(4);
            // A few clients buy far more often than the rest.
            client = random.Below(4) == 0 ? 1 + random.Below(std::min(clients, 8))
                                          : 1 + random.Below(clients);
            payment = random.Below(4);
            op = random.Below(5);
            std::snprintf(invoiceText, sizeof invoiceText, "%010d", invoice);
        }
        --linesLeft;
        const int day = int(qint64(i) * days / std::max(rows, 1));
        const int good = 1 + random.Below(int(prices.size()) - 1);
        const int qty = random.Below(10) == 0 ? 20 + random.Below(81) : 1 + random.Below(12);
        const double price = prices[std::size_t(good)];
        const int minutes = 8 * 60 + (i * 37 + invoice) % 600;
        std::snprintf(stamp, sizeof stamp, "%s %02d:%02d:%02d",
                      dayTexts[std::size_t(day)].constData(), minutes / 60, minutes % 60,
                      (i * 13) % 60);
        TSaleRow row;
        row.SaleID = i + 1;
        row.InvoiceNo = invoiceText;
        row.SaleDate = &dayTexts[std::size_t(day)];
        row.ClientID = client;
        row.GoodID = good;
        row.Qty = qty;
        row.Price = price;
        row.Amount = std::round(qty * price * 100.0) / 100.0;
        row.Payment = &payments[payment];
        row.Operator = &operators[op];
        row.DataVavejdane = stamp;
        row.Storno = random.Below(100) == 0 ? 1 : 0;
        onRow(row);
    }
}

void InsertSales(sqlite3* db, int rows) {
    // Prices of the goods, by GoodID.
    std::vector<double> prices;
    {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT GoodID, Price FROM Goods ORDER BY GoodID", -1, &stmt,
                           nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            const int id = sqlite3_column_int(stmt, 0);
            if (id >= int(prices.size()))
                prices.resize(std::size_t(id) + 1, 0.0);
            prices[std::size_t(id)] = sqlite3_column_double(stmt, 1);
        }
        sqlite3_finalize(stmt);
    }
    int clients = 0;
    {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT MAX(ClientID) FROM Clients", -1, &stmt, nullptr);
        if (stmt && sqlite3_step(stmt) == SQLITE_ROW)
            clients = sqlite3_column_int(stmt, 0);
        sqlite3_finalize(stmt);
    }

    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO Sales VALUES(?,?,?,?,?,?,?,?,?,?,?,?)", -1, &insert,
                           nullptr) != SQLITE_OK)
        throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    try {
        GenerateSales(prices, clients, rows, [&](const TSaleRow& row) {
            sqlite3_bind_int(insert, 1, row.SaleID);
            sqlite3_bind_text(insert, 2, row.InvoiceNo, -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 3, row.SaleDate->constData(), int(row.SaleDate->size()),
                              SQLITE_STATIC);
            sqlite3_bind_int(insert, 4, row.ClientID);
            sqlite3_bind_int(insert, 5, row.GoodID);
            sqlite3_bind_int(insert, 6, row.Qty);
            sqlite3_bind_double(insert, 7, row.Price);
            sqlite3_bind_double(insert, 8, row.Amount);
            sqlite3_bind_text(insert, 9, row.Payment->constData(), int(row.Payment->size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(insert, 10, row.Operator->constData(), int(row.Operator->size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(insert, 11, row.DataVavejdane, -1, SQLITE_STATIC);
            sqlite3_bind_int(insert, 12, row.Storno);
            if (sqlite3_step(insert) != SQLITE_DONE)
                throw EDatabaseError(QStringLiteral("Cannot create the demo database: %1")
                                         .arg(QString::fromUtf8(sqlite3_errmsg(db))));
            sqlite3_reset(insert);
        });
    } catch (...) {
        sqlite3_finalize(insert);
        throw;
    }
    sqlite3_finalize(insert);
}

// ------------------------------------------------------------ PostgreSQL

bool IsMariaDbUrl(const QString& target) {
    return target.startsWith(QLatin1String("mariadb://"), Qt::CaseInsensitive) ||
           target.startsWith(QLatin1String("mysql://"), Qt::CaseInsensitive);
}

bool IsServerUrl(const QString& target) {
    return target.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive) ||
           target.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           IsMariaDbUrl(target);
}

// The whole result of a statement as rows of values.
TCellTable Rows(TDbConnection& c, const QString& sql) {
    std::unique_ptr<TDbStatement> st = c.Prepare(sql, TStatementCount::One);
    TCellTable cells;
    cells.SetColumnCount(int(st->OpenCursor({}).size()));
    st->FetchAll(cells);
    return cells;
}

void Run(TDbConnection& c, const QString& sql) {
    c.Prepare(sql, TStatementCount::Several)->Execute({});
}

QString Quoted(const QByteArray& utf8) {
    QString text = QString::fromUtf8(utf8);
    text.replace(u'\'', QStringLiteral("''"));
    return u'\'' + text + u'\'';
}

// Installs the demo into the database a postgres:// or mariadb:// URL names,
// replacing the demo tables of an earlier install, in one transaction: a
// failure leaves a PostgreSQL database as it was (MariaDB and MySQL commit
// each table definition at once, so there only the rows are undone).
void CreateServerDemo(const QString& target, int salesRows) {
    const QUrl url(target);
    const bool my = IsMariaDbUrl(target);
    TAliasInfo info;
    info.Name = QStringLiteral("demo");
    info.Driver = my ? QStringLiteral("mariadb") : QStringLiteral("postgres");
    info.Host = url.host();
    info.Port = url.port(0);
    info.Database = url.path().mid(1);
    if (!url.isValid() || info.Database.isEmpty())
        throw EDatabaseError(
            QStringLiteral("Cannot create the demo database: %1 names no database (use "
                           "%2://user@host:port/database)")
                .arg(url.toString(QUrl::RemovePassword), url.scheme()));
    // A password on the command line is in every user's process list; the
    // client library reads PGPASSWORD and the password file on its own.
    if (!url.password().isEmpty())
        throw EDatabaseError(
            my ? QStringLiteral("Cannot create the demo database: the URL holds a password, "
                                "which other users can read in the process list. Give it in "
                                "MYSQL_PWD and leave it out of the URL.")
               : QStringLiteral("Cannot create the demo database: the URL holds a password, which "
                                "other users can read in the process list. Give it in PGPASSWORD "
                                "or the password file (~/.pgpass) and leave it out of the URL."));
    // The MySQL client library does not read MYSQL_PWD itself.
    const QString password = my ? QString::fromLocal8Bit(qgetenv("MYSQL_PWD")) : QString();
    std::unique_ptr<TDbConnection> c = OpenQtSqlConnection(info, url.userName(), password);
    c->StartTransaction();
    try {
        Run(*c, QString::fromUtf8(Resource(my ? "schema-mariadb.sql" : "schema-postgres.sql")));
        Run(*c, QString::fromUtf8(Resource("data.sql")));
        Run(*c, QString::fromUtf8(Resource("metadata.sql")));

        std::vector<double> prices;
        const TCellTable goods = Rows(*c, QStringLiteral("SELECT GoodID, Price FROM Goods"));
        for (qint64 r = 0; r < goods.RowCount(); ++r) {
            const int id = goods.Raw(r, 0).toInt();
            if (id >= int(prices.size()))
                prices.resize(std::size_t(id) + 1, 0.0);
            prices[std::size_t(id)] = goods.Raw(r, 1).toDouble();
        }
        const int clients =
            Rows(*c, QStringLiteral("SELECT MAX(ClientID) FROM Clients")).Raw(0, 0).toInt();
        // Several hundred rows per INSERT: one round trip each.
        QString insert;
        int inBatch = 0;
        auto flush = [&] {
            if (inBatch > 0)
                Run(*c, QStringLiteral("INSERT INTO Sales VALUES") + insert);
            insert.clear();
            inBatch = 0;
        };
        GenerateSales(prices, clients, salesRows, [&](const TSaleRow& row) {
            insert += (inBatch ? QStringLiteral(",\n(") : QStringLiteral("\n(")) +
                      QString::number(row.SaleID) + u',' + Quoted(row.InvoiceNo) + u',' +
                      Quoted(*row.SaleDate) + u',' + QString::number(row.ClientID) + u',' +
                      QString::number(row.GoodID) + u',' + QString::number(row.Qty) + u',' +
                      QString::number(row.Price, 'f', 2) + u',' +
                      QString::number(row.Amount, 'f', 2) + u',' + Quoted(*row.Payment) + u',' +
                      Quoted(*row.Operator) + u',' + Quoted(row.DataVavejdane) + u',' +
                      QString::number(row.Storno) + u')';
            if (++inBatch == 500)
                flush();
        });
        flush();
        Run(*c, QStringLiteral("CREATE INDEX SalesByDate ON Sales(SaleDate)"));
        Run(*c,
            my ? QStringLiteral("ANALYZE TABLE Sales, Clients, Goods") : QStringLiteral("ANALYZE"));
        c->Commit();
    } catch (const Exception& e) {
        try {
            c->Rollback();
        } catch (...) {
            // The server's first message is the one that tells.
        }
        throw EDatabaseError(
            QStringLiteral("Cannot create the demo database: %1").arg(e.message()));
    }
}

// A name no other program building the demo at the same time can have:
// created exclusively, so the build never shares its file.
QString UniqueBuildingName(const QFileInfo& target) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            target.absolutePath() + QStringLiteral("/.") + target.fileName() +
            QStringLiteral(".%1.building")
                .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return name;
        if (!QFileInfo::exists(name))
            break; // not a clash of names: the folder refuses new files
    }
    throw EDatabaseError(
        QStringLiteral("Cannot create the demo database in %1").arg(target.absolutePath()));
}

} // namespace

QString DemoDatabasePath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/demo.db");
}

void CreateDemoDatabase(const QString& path, int salesRows) {
    Q_INIT_RESOURCE(dbaccess);
    if (salesRows <= 0)
        salesRows = DefaultSalesRows;
    if (IsServerUrl(path)) {
        CreateServerDemo(path, salesRows);
        return;
    }
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw EDatabaseError(
            QStringLiteral("Cannot create the folder %1").arg(target.absolutePath()));
    // Built under a name of its own beside the target and renamed over it at
    // the end, so that a failed or interrupted build never leaves a half-made
    // database under its name, and two programs building the demo at once
    // each rename a complete one into place.
    const QString building = UniqueBuildingName(target);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(building).constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        throw EDatabaseError(
            QStringLiteral("Cannot create the demo database %1: %2").arg(path, message));
    }
    SqliteBackend::RefuseQuotedStrings(db);
    try {
        Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536");
        Exec(db, "BEGIN");
        Exec(db, Resource("schema.sql"));
        Exec(db, Resource("data.sql"));
        Exec(db, Resource("metadata.sql"));
        InsertSales(db, salesRows);
        Exec(db, "CREATE INDEX SalesByDate ON Sales(SaleDate)");
        Exec(db, "PRAGMA user_version = " + QByteArray::number(DemoContentsVersion()));
        Exec(db, "COMMIT");
    } catch (...) {
        sqlite3_close(db);
        QFile::remove(building);
        throw;
    }
    sqlite3_close(db);
    // rename() replaces the old file in one step: a program opening the
    // demo meanwhile finds the old file or the new one, never none or half.
    if (std::rename(QFile::encodeName(building).constData(),
                    QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        QFile::remove(building);
        throw EDatabaseError(QStringLiteral("Cannot create the demo database %1").arg(path));
    }
}

bool DemoDatabaseUsable(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || info.size() == 0)
        return false;
    // A file left empty or damaged by an earlier build has no catalogue.
    sqlite3* db = nullptr;
    bool usable = false;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db,
                               "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                               "name IN ('Relations', 'Sales')",
                               -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            usable = sqlite3_column_int(statement, 0) == 2;
        sqlite3_finalize(statement);
        statement = nullptr;
        if (usable &&
            sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            usable = sqlite3_column_int(statement, 0) == DemoContentsVersion();
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return usable;
}
