// Server figures, on the throw-away servers of tools/setup (VEXAL_TEST_MARIADB,
// VEXAL_TEST_PG; a server not named is skipped with a line that says so):
// - MariaDB: every row of the demo's sales table (1,000,000 by default) read
//   into a dataset through the program's database layer, beside the
//   mariadb client writing the same rows to /dev/null (--batch --quick);
// - MariaDB: the inquiry grouped by client, from the press of "Справка" to a
//   grid ready to paint, beside the bare query of its statement;
// - PostgreSQL: the same fetch, beside psql's \copy of the rows to /dev/null.
// Each fetch runs in a child process of its own, ours and the peer's in
// turns; the best of three counts. The demo is installed once per server
// into a database vexal_bench_<rows>, kept for later runs.
//
// Run: server_bench [rows]. Prints RESULT lines (BenchResult.h).

#include "BenchResult.h"
#include "DBGrid.h"
#include "DbAccess.h"
#include "MessageBox.h"
#include "RpSpravkaUnit.h"
#include "SessionInit.h"
#include "SpravkaUnit.h"
#include "WindowRoutines.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

const char* const SelectSql =
    "SELECT SaleID, InvoiceNo, SaleDate, ClientID, GoodID, Qty, Price, Amount, "
    "Payment, Operator, DataVavejdane, Storno FROM Sales";

struct TServer {
    bool My = false;
    QString Host, Database, User, Password;
    int Port = 0;
    QString Bench; // the benchmark's database on the server
};

// host:port:database:user[:password] from the variable; false without it.
bool ServerOf(const char* variable, bool my, TServer* server) {
    const QStringList parts = QString::fromLocal8Bit(qgetenv(variable)).split(u':');
    if (parts.size() < (my ? 5 : 4) || parts[1].toInt() <= 0)
        return false;
    server->My = my;
    server->Host = parts[0];
    server->Port = parts[1].toInt();
    server->Database = parts[2];
    server->User = parts[3];
    server->Password = my ? parts[4] : QString();
    return true;
}

// Runs a statement of the server's own on its maintenance database; the
// first value of the first row, or nothing.
QVariant Admin(const TServer& s, const QString& database, const QString& sql, bool* ok = nullptr) {
    const QString name = QStringLiteral("bench-admin");
    QVariant value;
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(
            s.My ? QStringLiteral("QMYSQL") : QStringLiteral("QPSQL"), name);
        db.setHostName(s.Host);
        db.setPort(s.Port);
        db.setDatabaseName(database);
        db.setUserName(s.User);
        db.setPassword(s.Password);
        if (db.open()) {
            QSqlQuery q(db);
            done = q.exec(sql);
            if (done && q.next())
                value = q.value(0);
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (ok)
        *ok = done;
    return value;
}

// The demo with rows sales rows in the server's bench database, made once.
bool PrepareDemo(TServer& s, int rows) {
    s.Bench = QStringLiteral("vexal_bench_%1").arg(rows);
    bool ok = false;
    const QVariant count = Admin(s, s.Bench, QStringLiteral("SELECT COUNT(*) FROM Sales"), &ok);
    if (ok && count.toInt() == rows)
        return true;
    std::printf("installing the demo of %d sales rows into %s on %s (once)\n", rows,
                qPrintable(s.Bench), s.My ? "MariaDB" : "PostgreSQL");
    std::fflush(stdout);
    Admin(s, s.Database, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(s.Bench));
    Admin(s, s.Database,
          s.My ? QStringLiteral("CREATE DATABASE %1 CHARACTER SET utf8mb4 COLLATE utf8mb4_bin")
                     .arg(s.Bench)
               : QStringLiteral("CREATE DATABASE %1").arg(s.Bench),
          &ok);
    if (!ok)
        return false;
    try {
        CreateDemoDatabase(
            QStringLiteral("%1://%2@%3:%4/%5")
                .arg(s.My ? QStringLiteral("mariadb") : QStringLiteral("postgres"), s.User, s.Host)
                .arg(s.Port)
                .arg(s.Bench),
            rows);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.message().toUtf8().constData());
        return false;
    }
    return true;
}

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

struct TFigure {
    double Seconds = 0;
    long Rows = 0;
};

// Runs the work in a child process of its own and times it.
TFigure InChild(const std::function<long()>& work) {
    int fds[2];
    if (pipe(fds) != 0)
        std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const auto start = std::chrono::steady_clock::now();
        const long rows = work();
        const TFigure f{Seconds(start), rows};
        if (write(fds[1], &f, sizeof f) != sizeof f)
            _exit(1);
        _exit(0);
    }
    close(fds[1]);
    TFigure f;
    if (read(fds[0], &f, sizeof f) != sizeof f)
        std::fprintf(stderr, "a measurement failed\n");
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return f;
}

// Every sales row into a dataset through the alias.
long FetchThroughAlias(const QString& alias) {
    try {
        TDatabase db;
        db.SetDatabaseName(QStringLiteral("bench"));
        db.SetAliasName(alias);
        db.SetLoginPrompt(false);
        db.Open();
        TQuery q;
        q.SetDatabaseName(QStringLiteral("bench"));
        q.SetSQLText(QString::fromLatin1(SelectSql));
        q.Open();
        return q.RecordCount();
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.message().toUtf8().constData());
        return 0;
    }
}

// The server's own client writing the rows to /dev/null; the rows it wrote.
long ClientToNull(const TServer& s) {
    QStringList args;
    QString program;
    if (s.My) {
        program = QStringLiteral("mariadb");
        args << QStringLiteral("--no-defaults") << QStringLiteral("-h") << s.Host
             << QStringLiteral("-P") << QString::number(s.Port) << QStringLiteral("-u") << s.User
             << QStringLiteral("--batch") << QStringLiteral("--quick") << QStringLiteral("-e")
             << QString::fromLatin1(SelectSql) << s.Bench;
    } else {
        program = QStringLiteral("psql");
        args << QStringLiteral("-h") << s.Host << QStringLiteral("-p") << QString::number(s.Port)
             << QStringLiteral("-U") << s.User << QStringLiteral("-d") << s.Bench
             << QStringLiteral("-qAt") << QStringLiteral("-c")
             << QStringLiteral("\\copy (%1) TO '/dev/null'").arg(QString::fromLatin1(SelectSql));
    }
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/null"));
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     process.readAllStandardError().constData());
        return 0;
    }
    return 1;
}

void Fetch(const TServer& s, const QString& alias, long rows) {
    TFigure ours, peer;
    for (int i = 0; i < 3; ++i) {
        const TFigure p = InChild([&s] { return ClientToNull(s); });
        const TFigure o = InChild([&alias] { return FetchThroughAlias(alias); });
        if (i == 0 || p.Seconds < peer.Seconds)
            peer = p;
        if (i == 0 || o.Seconds < ours.Seconds)
            ours = o;
    }
    const char* name = s.My ? "MariaDB" : "PostgreSQL";
    std::printf("%s fetch of %ld rows: dataset %.3f s, %s %.3f s\n", name, ours.Rows, ours.Seconds,
                s.My ? "mariadb --batch --quick > /dev/null" : "psql \\copy to /dev/null",
                peer.Seconds);
    Bench::RatioResult(
        QStringLiteral("%1 fetch, %2 rows (dataset vs %3)")
            .arg(QLatin1String(name))
            .arg(ours.Rows)
            .arg(s.My ? QStringLiteral("mariadb --batch --quick") : QStringLiteral("psql \\copy")),
        ours.Seconds, peer.Seconds, "s", 1.5, ours.Rows == rows && peer.Rows == 1);
}

// The inquiry grouped by client on the alias, beside its bare query.
void GroupedInquiry(const QString& alias) {
    TDatabase database;
    database.SetDatabaseName(QStringLiteral("restdata"));
    database.SetAliasName(alias);
    database.SetLoginPrompt(false);
    database.Open();
    InitSession(database);

    QMainWindow frame;
    frame.setCentralWidget(new QMdiArea(&frame));
    frame.resize(1280, 900);
    SetMainForm(&frame);
    frame.show();
    auto* window = static_cast<TSpravkaForm*>(OpenInquiryWindow(false, false, QString()));
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        sub->showMaximized();
    window->SelectSubject(QStringLiteral("Продажби"));
    if (window->Inquiry->qrCol->Locate(QStringLiteral("BGColName"), QStringLiteral("Клиент")))
        window->btGroupClick();
    QApplication::processEvents();

    QElapsedTimer timer;
    window->btSpravkaClick(window->btSpravka);
    const QStringList sql = window->ReportForm->qrDATA->SQL();
    window->ShowInquiryWindow();
    QApplication::processEvents();
    std::vector<double> inquiry, bare;
    bool ran = true;
    int resultRows = 0;
    for (int run = 0; run < 5 && ran; ++run) {
        auto bareQuery = [&] {
            TQuery query;
            query.SetDatabaseName(QStringLiteral("restdata"));
            query.SetParamCheck(false);
            query.SetSQL(sql);
            timer.restart();
            query.Open();
            bare.push_back(timer.nsecsElapsed() / 1e6);
        };
        if (run % 2)
            bareQuery();
        timer.restart();
        window->btSpravkaClick(window->btSpravka);
        window->DataGrid->model()->rowCount();
        inquiry.push_back(timer.nsecsElapsed() / 1e6);
        TQuery* result = window->ReportForm->qrDATA;
        ran = result->Active() && result->SQL() == sql;
        resultRows = result->RecordCount();
        window->ShowInquiryWindow();
        QApplication::processEvents();
        if (run % 2 == 0)
            bareQuery();
    }
    std::printf("MariaDB grouped inquiry: %d rows\n  %s\n  inquiry best %.1f ms, bare query best "
                "%.1f ms\n",
                resultRows, sql.join(QStringLiteral("\n  ")).toUtf8().constData(),
                Bench::Best(inquiry), Bench::Best(bare));
    Bench::RatioResult(
        QStringLiteral("MariaDB inquiry run, sales grouped by client (%1 rows; vs bare query)")
            .arg(resultRows),
        Bench::Best(inquiry), Bench::Best(bare), "ms", 1.2, ran && resultRows > 0);
    window->close();
    SetMainForm(nullptr);
}

} // namespace

int main(int argc, char** argv) {
    int rows = 1000000;
    for (int i = 1; i < argc; ++i)
        if (std::atoi(argv[i]) > 0)
            rows = std::atoi(argv[i]);
    TServer my, pg;
    const bool haveMy = ServerOf("VEXAL_TEST_MARIADB", true, &my);
    const bool havePg = ServerOf("VEXAL_TEST_PG", false, &pg);
    if (!haveMy && !havePg) {
        std::printf("server bench: skipped, no server named in VEXAL_TEST_MARIADB or "
                    "VEXAL_TEST_PG (start them with tools/setup mariadb and tools/setup pg)\n");
        Bench::Result(QStringLiteral("server fetch (no server named)"), QStringLiteral("-"),
                      QStringLiteral("-"), -1, QStringLiteral("skipped"), false);
        return 0;
    }
    if (haveMy)
        qputenv("MYSQL_PWD", my.Password.toLocal8Bit());
    QTemporaryDir dir;
    QString aliases;
    if (haveMy && PrepareDemo(my, rows))
        aliases += QStringLiteral("[MYBENCH]\nDriver=mariadb\nHost=%1\nPort=%2\nDatabase=%3\n"
                                  "User=%4\nPassword=%5\n\n")
                       .arg(my.Host)
                       .arg(my.Port)
                       .arg(my.Bench, my.User, my.Password);
    else if (haveMy)
        Bench::Result(QStringLiteral("MariaDB demo install"), QStringLiteral("failed"),
                      QStringLiteral("-"), -1, QStringLiteral("-"), false);
    if (havePg && PrepareDemo(pg, rows))
        aliases += QStringLiteral("[PGBENCH]\nDriver=postgres\nHost=%1\nPort=%2\nDatabase=%3\n"
                                  "User=%4\n\n")
                       .arg(pg.Host)
                       .arg(pg.Port)
                       .arg(pg.Bench, pg.User);
    QFile file(dir.filePath(QStringLiteral("aliases.ini")));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(aliases.toUtf8());
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    qputenv("VEXAL_ALIASES", QFile::encodeName(file.fileName()));

    if (aliases.contains(QLatin1String("[MYBENCH]")))
        Fetch(my, QStringLiteral("MYBENCH"), rows);
    if (aliases.contains(QLatin1String("[PGBENCH]")))
        Fetch(pg, QStringLiteral("PGBENCH"), rows);
    if (!havePg)
        std::printf("PostgreSQL fetch: skipped, no server named in VEXAL_TEST_PG\n");
    if (!haveMy)
        std::printf("MariaDB figures: skipped, no server named in VEXAL_TEST_MARIADB\n");

    if (aliases.contains(QLatin1String("[MYBENCH]"))) {
        // The connection script of the demo, as for every alias.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        SetMessageBoxHandler(StderrMessageBox);
        QFile::copy(QStringLiteral(VEXAL_SOURCE_DIR "/demo/DEMO.SQL"),
                    dir.filePath(QStringLiteral("MYBENCH.SQL")));
        ProgramDir = dir.path() + u'/';
        GroupedInquiry(QStringLiteral("MYBENCH"));
    }
    return 0;
}
