#include "DescribeFixture.h"

#include "MessageBox.h"
#include "ServerRoutines.h"
#include "SessionInit.h"
#include "TestUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <dlfcn.h>
#include <sqlite3.h>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

QTemporaryDir& SuiteDir() {
    static QTemporaryDir dir;
    return dir;
}

// The Chinook tables loaded into the PostgreSQL scratch database (the
// playlists are left out: nothing here asks about them).
const char* const PgTables[] = {"Artist",   "Album",    "Genre",   "MediaType",  "Track",
                                "Employee", "Customer", "Invoice", "InvoiceLine"};

struct TPgServer {
    QString Host, Database, User;
    int Port = 0;
};

bool PgServer(TPgServer* s) {
    const QStringList parts = QString::fromLocal8Bit(qgetenv("VEXAL_TEST_PG")).split(u':');
    if (parts.size() != 4 || parts[1].toInt() <= 0)
        return false;
    *s = {parts[0], parts[2], parts[3], parts[1].toInt()};
    return true;
}

QString PgScratch() {
    return QStringLiteral("vexal_describe_%1").arg(QCoreApplication::applicationPid());
}

// Runs statements on a server database outside the program; the message of
// the first failure, else empty.
QString PgExec(const QString& database, const QStringList& statements) {
    TPgServer s;
    PgServer(&s);
    const QString name = QStringLiteral("describe-admin");
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(s.Host);
        db.setPort(s.Port);
        db.setDatabaseName(database);
        db.setUserName(s.User);
        if (!db.open()) {
            problem = db.lastError().text();
        } else {
            QSqlQuery q(db);
            for (const QString& sql : statements)
                if (problem.isEmpty() && !q.exec(sql))
                    problem = sql + u": "_s + q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return problem;
}

void DropPgScratch() {
    TPgServer s;
    PgServer(&s);
    PgExec(s.Database,
           {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(PgScratch())});
}

// Loads the Chinook tables into the scratch database, once: PostgreSQL
// types for SQLite's declared ones, the rows, then the keys.
QString LoadChinookIntoPg() {
    static QString problem = [] {
        TPgServer s;
        PgServer(&s);
        QString failure =
            PgExec(s.Database, {QStringLiteral("DROP DATABASE IF EXISTS %1").arg(PgScratch()),
                                QStringLiteral("CREATE DATABASE %1").arg(PgScratch())});
        if (!failure.isEmpty())
            return failure;
        std::atexit(DropPgScratch);
        sqlite3* lite = nullptr;
        sqlite3_open_v2(QFile::encodeName(DescribeFixture::ChinookFile()).constData(), &lite,
                        SQLITE_OPEN_READONLY, nullptr);
        auto rows = [lite](const QString& sql) {
            QList<QStringList> result;
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(lite, sql.toUtf8().constData(), -1, &st, nullptr);
            while (sqlite3_step(st) == SQLITE_ROW) {
                QStringList row;
                for (int c = 0; c < sqlite3_column_count(st); ++c)
                    row << (sqlite3_column_type(st, c) == SQLITE_NULL
                                ? QStringLiteral("NULL")
                                : u'\'' +
                                      QString::fromUtf8(
                                          reinterpret_cast<const char*>(sqlite3_column_text(st, c)))
                                          .replace(u'\'', QStringLiteral("''")) +
                                      u'\'');
                result << row;
            }
            sqlite3_finalize(st);
            return result;
        };
        QStringList statements{QStringLiteral("BEGIN")};
        QStringList keys;
        for (const char* table : PgTables) {
            const QString t = QLatin1String(table);
            QStringList columns;
            for (const QStringList& c :
                 rows(u"SELECT name, type, pk FROM pragma_table_info('"_s + t + u"')"_s)) {
                QString type = c[1].mid(1, c[1].size() - 2); // quoted by rows()
                type.replace(QStringLiteral("NVARCHAR"), QStringLiteral("varchar"))
                    .replace(QStringLiteral("DATETIME"), QStringLiteral("timestamp"));
                columns << c[0].mid(1, c[0].size() - 2) + u' ' + type +
                               (c[2] == QLatin1String("'1'") ? QStringLiteral(" PRIMARY KEY")
                                                             : QString());
            }
            statements << u"CREATE TABLE "_s + t + u" ("_s + columns.join(u", "_s) + u')';
            QStringList values;
            for (const QStringList& row : rows(u"SELECT * FROM "_s + t))
                values << u'(' + row.join(u", "_s) + u')';
            for (qsizetype i = 0; i < values.size(); i += 500)
                statements << u"INSERT INTO "_s + t + u" VALUES "_s +
                                  values.mid(i, 500).join(u", "_s);
            for (const QStringList& k :
                 rows(u"SELECT \"from\", \"table\", \"to\" FROM pragma_foreign_key_list('"_s + t +
                      u"')"_s)) {
                const QString from = k[0].mid(1, k[0].size() - 2);
                const QString to = k[1].mid(1, k[1].size() - 2);
                keys << u"ALTER TABLE "_s + t + u" ADD FOREIGN KEY ("_s + from +
                            u") REFERENCES "_s + to + u" ("_s + k[2].mid(1, k[2].size() - 2) + u')';
            }
        }
        sqlite3_close(lite);
        statements << keys << QStringLiteral("COMMIT");
        return PgExec(PgScratch(), statements);
    }();
    return problem;
}

// The ODBC driver manager keeps what it read from its files for the life of
// the process and unloads the driver before the leak check runs; loaded for
// good, both are named in the leak report and their caches suppressed below.
void KeepOdbcLibrariesLoaded() {
    for (const char* lib : {"libodbcinst.so.2", "libodbc.so.2", "libsqlite3odbc.so"})
        dlopen(lib, RTLD_NOW | RTLD_NODELETE);
}

} // namespace

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libodbcinst\nleak:libodbc.so\nleak:libsqlite3odbc\n";
}

QString DescribeFixture::ChinookFile() {
    return SuiteDir().filePath(QStringLiteral("chinook.sqlite"));
}

void DescribeFixture::FreshCopy() {
    TestUtil::CopyChinook(SuiteDir());
}

QString DescribeFixture::AliasesFile() {
    return SuiteDir().filePath(QStringLiteral("aliases.ini"));
}

void DescribeFixture::SetUpTestSuite() {
    const QString dir = SuiteDir().path();
    TestUtil::CopyChinook(SuiteDir());
    const QByteArray file = QFile::encodeName(ChinookFile());
    QByteArray aliases =
        "[CHINOOK]\nDriver=sqlite\nDatabase=" + file + "\n[CHODBC]\nDriver=odbc\nDSN=ChinookOdbc\n";
    TPgServer s;
    if (PgServer(&s))
        aliases += "[CHPG]\nDriver=postgres\nHost=" + s.Host.toUtf8() +
                   "\nPort=" + QByteArray::number(s.Port) + "\nDatabase=" + PgScratch().toUtf8() +
                   "\nUser=" + s.User.toUtf8() + "\n";
    TestUtil::WriteFile(AliasesFile(), aliases);
    qputenv("VEXAL_ALIASES", QFile::encodeName(AliasesFile()));
    // A data source of the SQLite ODBC driver on the same file.
    TestUtil::WriteFile(dir + u"/odbcinst.ini"_s,
                        "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=libsqlite3odbc.so\n");
    TestUtil::WriteFile(dir + u"/odbc.ini"_s,
                        "[ChinookOdbc]\nDriver=SQLite3\nDatabase=" + file + "\n");
    qputenv("ODBCSYSINI", QFile::encodeName(dir));
    qputenv("ODBCINI", QFile::encodeName(dir + u"/odbc.ini"_s));
    KeepOdbcLibrariesLoaded();
}

bool DescribeFixture::Open(const QString& backend) {
    QString alias = QStringLiteral("CHINOOK");
    if (backend == QLatin1String("postgres")) {
        TPgServer s;
        if (!PgServer(&s))
            return false;
        const QString problem = LoadChinookIntoPg();
        EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
        if (!problem.isEmpty())
            return false;
        alias = QStringLiteral("CHPG");
    } else {
        FreshCopy();
        if (backend == QLatin1String("odbc"))
            alias = QStringLiteral("CHODBC");
    }
    SetMessageBoxHandler([this](const QString& text, const QString&, int style) {
        Messages.push_back(text);
        return DefaultMessageBoxButton(style);
    });
    CurrentUserN = -1;
    LastSubject.clear();
    Database = new TDatabase;
    Database->SetDatabaseName(QStringLiteral("restdata"));
    Database->SetAliasName(alias);
    Database->SetLoginPrompt(false);
    Database->Open();
    // The session's statements are the program's dialect, which a server
    // behind ODBC (here SQLite itself) does not speak.
    if (backend != QLatin1String("odbc"))
        InitSession(*Database);
    ContinueOnSqlError = false;
    if (backend == QLatin1String("postgres"))
        for (const char* table : {"Relations", "Authchar"}) {
            TQuery drop;
            drop.SetDatabaseName(QStringLiteral("restdata"));
            drop.SetSQLText(QStringLiteral("DROP TABLE IF EXISTS %1").arg(QLatin1String(table)));
            drop.ExecSQL();
        }
    return true;
}

void DescribeFixture::TearDown() {
    delete Database;
    Database = nullptr;
    SessionDatabase = nullptr;
    SetMessageBoxHandler(nullptr);
    LastSubject.clear();
}

TDescription DescribeFixture::Describe(const QString& table, const QString& subject) {
    TDescriber describer(*Database);
    return describer.Write(describer.Plan(table, subject));
}

QStringList SortedRows(TDataSet* set) {
    QStringList rows;
    for (set->First(); !set->Eof(); set->Next()) {
        QStringList cells;
        for (int i = 0; i < set->FieldCount(); ++i)
            cells << set->Fields(i)->AsString();
        rows << cells.join(u'|');
    }
    rows.sort();
    return rows;
}

QStringList DescribeFixture::HandRows(const QString& sql) {
    TQuery query;
    query.SetDatabaseName(QStringLiteral("restdata"));
    query.SetSQLText(sql);
    query.Open();
    return SortedRows(&query);
}

TAsk::TAsk() : Inquiry(std::make_unique<TInquiry>(&View, nullptr)) {}

void TAsk::Subject(const QString& subject) {
    Inquiry->OpenSubjectList();
    EXPECT_TRUE(Inquiry->SelectSubject(subject)) << subject.toStdString();
}

void TAsk::Column(const QString& bgColName) {
    EXPECT_TRUE(Inquiry->qrCol->Locate(QStringLiteral("BGColName"), bgColName, true))
        << bgColName.toStdString();
    Inquiry->DBGrid1CellClick(QStringLiteral("BGColName"));
}

void TAsk::Condition(const QString& bgColName, const QString& op, const QString& value) {
    Column(bgColName);
    View.Sign = op;
    View.Filter = value;
    Inquiry->btAddFilterClick();
}

void TAsk::Join(const QString& bgColName, const QString& relatedSubject) {
    Column(bgColName);
    Inquiry->btAddFilterClick();
    EXPECT_TRUE(Inquiry->qrTableName->Locate(QStringLiteral("BGTableName"), relatedSubject, true));
    Inquiry->ReportListBoxClick();
}

void TAsk::Group(const QString& bgColName) {
    Column(bgColName);
    Inquiry->btGroupClick();
}

QStringList TAsk::Run() {
    EXPECT_TRUE(Inquiry->btSpravkaClick(true)) << Inquiry->qrDATA()->SQLText().toStdString();
    return Inquiry->qrDATA()->Active() ? SortedRows(Inquiry->qrDATA()) : QStringList();
}
