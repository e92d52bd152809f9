// The demo database: schema, clients, goods and the inquiry catalogue come
// from the files of demo/ (built in as resources); the sales rows are made
// here, the same for every build, so tests can rely on them.

#include "Database.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
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

    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO Sales VALUES(?,?,?,?,?,?,?,?,?,?,?,?)", -1, &insert,
                           nullptr) != SQLITE_OK)
        throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
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
        const double amount = std::round(qty * price * 100.0) / 100.0;
        const int minutes = 8 * 60 + (i * 37 + invoice) % 600;
        std::snprintf(stamp, sizeof stamp, "%s %02d:%02d:%02d",
                      dayTexts[std::size_t(day)].constData(), minutes / 60, minutes % 60,
                      (i * 13) % 60);

        sqlite3_bind_int(insert, 1, i + 1);
        sqlite3_bind_text(insert, 2, invoiceText, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, dayTexts[std::size_t(day)].constData(), 10, SQLITE_STATIC);
        sqlite3_bind_int(insert, 4, client);
        sqlite3_bind_int(insert, 5, good);
        sqlite3_bind_int(insert, 6, qty);
        sqlite3_bind_double(insert, 7, price);
        sqlite3_bind_double(insert, 8, amount);
        sqlite3_bind_text(insert, 9, payments[payment].constData(), int(payments[payment].size()),
                          SQLITE_STATIC);
        sqlite3_bind_text(insert, 10, operators[op].constData(), int(operators[op].size()),
                          SQLITE_STATIC);
        sqlite3_bind_text(insert, 11, stamp, -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 12, random.Below(100) == 0 ? 1 : 0);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            const QString message = QString::fromUtf8(sqlite3_errmsg(db));
            sqlite3_finalize(insert);
            throw EDatabaseError(
                QStringLiteral("Cannot create the demo database: %1").arg(message));
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
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
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw EDatabaseError(
            QStringLiteral("Cannot create the folder %1").arg(target.absolutePath()));
    // Built beside the target and moved over it at the end, so that a failed
    // or interrupted build never leaves a half-made database under its name.
    const QString building = target.absoluteFilePath() + QStringLiteral(".building");
    QFile::remove(building);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(building).constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        throw EDatabaseError(
            QStringLiteral("Cannot create the demo database %1: %2").arg(path, message));
    }
    try {
        Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536");
        Exec(db, "BEGIN");
        Exec(db, Resource("schema.sql"));
        Exec(db, Resource("data.sql"));
        Exec(db, Resource("metadata.sql"));
        InsertSales(db, salesRows);
        Exec(db, "CREATE INDEX SalesByDate ON Sales(SaleDate)");
        Exec(db, "COMMIT");
    } catch (...) {
        sqlite3_close(db);
        QFile::remove(building);
        throw;
    }
    sqlite3_close(db);
    QFile::remove(path);
    if (!QFile::rename(building, path)) {
        QFile::remove(building);
        throw EDatabaseError(QStringLiteral("Cannot create the demo database %1").arg(path));
    }
}
