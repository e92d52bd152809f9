// Subjects described from the Chinook sample database: the rules that turn
// catalogue columns into Relations rows, inquiries on the generated subjects
// against the same questions in hand-written SQL (embedded database and
// PostgreSQL), the ODBC catalogue, refusals, and the command line.

#include "DescribeFixture.h"

#include "TestUtil.h"

#include <QProcess>
#include <QProcessEnvironment>

using namespace Qt::StringLiterals;

namespace {

TEST(DescribeRules, KindOfTypeName) {
    struct Row {
        const char* Type;
        TColumnKind Kind;
    } const rows[] = {
        {"INTEGER", TColumnKind::Integer},        // SQLite's affinity: INT anywhere
        {"bigint", TColumnKind::Integer},         // PostgreSQL's words, lower case
        {"NVARCHAR(160)", TColumnKind::Text},     // CHAR anywhere
        {"character varying", TColumnKind::Text}, // information_schema's spelling
        {"NUMERIC(10,2)", TColumnKind::Decimal},
        {"double precision", TColumnKind::Decimal},
        {"money", TColumnKind::Decimal},
        {"DATE", TColumnKind::Date},
        {"DATETIME", TColumnKind::DateTime},                    // not a date only
        {"timestamp without time zone", TColumnKind::DateTime}, // "TIME" inside
        {"time", TColumnKind::Time},
        {"interval", TColumnKind::Other}, // "INT" inside, no whole number
        {"point", TColumnKind::Other},
        {"BLOB", TColumnKind::Other},
        {"", TColumnKind::Other}, // SQLite allows no type at all
    };
    for (const Row& row : rows)
        EXPECT_EQ(KindOfTypeName(QString::fromUtf8(row.Type)), row.Kind) << row.Type;
}

TEST(DescribeRules, SqlNameQuotesOnlyWhatNeedsIt) {
    struct Row {
        const char* Name;
        bool Folds;
        const char* Sql;
    } const rows[] = {
        {"Track", false, "Track"},                   // plain: SQLite reads any case
        {"Track", true, "\"Track\""},                // PostgreSQL would read track
        {"track", true, "track"},                    // already the folded spelling
        {"Order", false, "\"Order\""},               // a reserved word
        {"Unit Price", false, "\"Unit Price\""},     // a blank
        {"say \"hi\"", false, "\"say \"\"hi\"\"\""}, // embedded quotes doubled
        {"Сума", false, "\"Сума\""},                 // not a plain ASCII name
    };
    for (const Row& row : rows)
        EXPECT_EQ(SqlName(QString::fromUtf8(row.Name), row.Folds), QString::fromUtf8(row.Sql))
            << row.Name;
}

TEST(DescribeRules, RowsForKeysMoneyDatesAndShortTexts) {
    TCatalogueTable table;
    table.Name = QStringLiteral("Sale");
    auto add = [&table](const char* name, TColumnKind kind, int length = 0) {
        TCatalogueColumn c;
        c.Name = QLatin1String(name);
        c.Kind = kind;
        c.Length = length;
        table.Columns << c;
        return &table.Columns.last();
    };
    add("Code", TColumnKind::Text, 10);
    add("ClientId", TColumnKind::Integer)->RefTable = QStringLiteral("Client");
    table.Columns.last().RefColumn = QStringLiteral("Id");
    add("SoldOn", TColumnKind::Date);
    add("City", TColumnKind::Text, 40);
    add("Note", TColumnKind::Text, 41);
    add("Qty", TColumnKind::Integer);
    add("TotalCents", TColumnKind::Integer);
    add("Price", TColumnKind::Decimal);
    add("Discount", TColumnKind::Decimal);
    add("Id", TColumnKind::Integer)->PrimaryKey = true;
    const QList<TRelationsRow> rows = DescribeColumns(table, QStringLiteral("Продажби"), 41, false);
    ASSERT_EQ(rows.size(), 10);

    struct Expect {
        int SelectCol;
        int Align;
        const char* Function;
        const char* Mask;
        bool Suma;
        bool List;
    } const expected[] = {
        {2, 0, "Code", "", false, true},      // 10 characters: a value list
        {2, 1, "ClientId", "", false, false}, // a key: no total, a join instead
        {2, 2, "SoldOn", "dd.mm.yyyy", false, false},
        {2, 0, "City", "", false, true},                         // 40 is still short
        {2, 0, "Note", "", false, false},                        // 41 is not
        {2, 1, "Qty", "", false, false},                         // a whole number, no money name
        {2, 1, "SUM(Sale.TotalCents)", "#,##0.00", true, false}, // money by name
        {2, 1, "SUM(Sale.Price)", "#,##0.00", true, false},      // eighth column
        {0, 1, "SUM(Sale.Discount)", "#,##0.00", true, false},   // ninth: not chosen
        {2, 1, "Id", "", false, false},                          // the primary key is always chosen
    };
    for (int i = 0; i < rows.size(); ++i) {
        const TRelationsRow& r = rows[i];
        SCOPED_TRACE(r.ColName.toStdString());
        EXPECT_EQ(r.N, 41 + i);
        EXPECT_EQ(r.TableName, QStringLiteral("Sale"));
        EXPECT_EQ(r.BGTableName, QStringLiteral("Продажби"));
        EXPECT_EQ(r.BGColName, r.ColName);
        EXPECT_EQ(r.SelectCol, expected[i].SelectCol);
        EXPECT_EQ(r.Align, expected[i].Align);
        EXPECT_EQ(r.Function, QLatin1String(expected[i].Function));
        EXPECT_EQ(r.Mask, QLatin1String(expected[i].Mask));
        EXPECT_EQ(r.Suma, expected[i].Suma ? u"SUM(["_s + r.BGColName + u"])"_s : QString());
        EXPECT_EQ(r.FilterList.isEmpty(), !expected[i].List);
        EXPECT_EQ(r.Shirina, 0);
    }
    EXPECT_EQ(rows[0].FilterList, QStringLiteral("SELECT DISTINCT Code FROM Sale ORDER BY Code"));
    EXPECT_EQ(rows[1].RelationTable, QStringLiteral("Client"));
    EXPECT_EQ(rows[1].RelationCol, QStringLiteral("Id"));
}

class Backends : public DescribeFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        if (!Open(QLatin1String(GetParam())))
            GTEST_SKIP() << "no PostgreSQL server named in VEXAL_TEST_PG";
    }
};

TEST_P(Backends, InquiriesOnDescribedSubjectsMatchHandWrittenSql) {
    Describe(QStringLiteral("Track"), QStringLiteral("Песни"));
    Describe(QStringLiteral("Album"), QStringLiteral("Албуми"));
    Describe(QStringLiteral("Invoice"), QStringLiteral("Фактури"));
    Describe(QStringLiteral("InvoiceLine"), QStringLiteral("Редове на фактури"));
    Describe(QStringLiteral("Customer"), QStringLiteral("Клиенти"));

    {
        SCOPED_TRACE("a join along Track's foreign key to Album");
        TAsk ask;
        ask.Subject(QStringLiteral("Песни"));
        ask.Condition(QStringLiteral("Milliseconds"), QStringLiteral(">"),
                      QStringLiteral("2000000"));
        ask.Join(QStringLiteral("AlbumId"), QStringLiteral("Албуми"));
        const QStringList rows = ask.Run();
        EXPECT_EQ(rows.size(), 160);
        EXPECT_EQ(rows,
                  HandRows(QStringLiteral(
                      "SELECT Album.AlbumId, Album.Title, Album.ArtistId FROM Track, Album "
                      "WHERE Track.AlbumId = Album.AlbumId AND Track.Milliseconds > 2000000")));
    }
    {
        SCOPED_TRACE("invoice totals of their lines, grouped, with HAVING on the money column");
        TAsk ask;
        ask.Subject(QStringLiteral("Редове на фактури"));
        ask.Group(QStringLiteral("InvoiceId"));
        ask.Condition(QStringLiteral("UnitPrice"), QStringLiteral(">="), QStringLiteral("10"));
        const QStringList rows = ask.Run();
        EXPECT_EQ(rows.size(), 64);
        EXPECT_EQ(rows, HandRows(QStringLiteral("SELECT InvoiceId, SUM(UnitPrice) FROM InvoiceLine "
                                                "GROUP BY InvoiceId HAVING SUM(UnitPrice) >= 10")));
    }
    {
        SCOPED_TRACE("a date condition on the DATETIME column, written DD.MM.YYYY");
        TAsk ask;
        ask.Subject(QStringLiteral("Фактури"));
        ask.Condition(QStringLiteral("InvoiceDate"), QStringLiteral(">="),
                      QStringLiteral("01.12.2024"));
        ask.Condition(QStringLiteral("InvoiceDate"), QStringLiteral("<"),
                      QStringLiteral("01.01.2025"));
        const QStringList rows = ask.Run();
        EXPECT_EQ(rows.size(), 7);
        EXPECT_EQ(rows,
                  HandRows(QStringLiteral(
                      "SELECT InvoiceId, CustomerId, InvoiceDate, BillingAddress, BillingCity, "
                      "BillingState, BillingCountry, BillingPostalCode FROM Invoice "
                      "WHERE InvoiceDate >= '2024-12-01' AND InvoiceDate < '2025-01-01'")));
    }
    {
        SCOPED_TRACE("the value list of a short text column, and a value picked from it");
        TAsk ask;
        ask.Subject(QStringLiteral("Клиенти"));
        ask.Column(QStringLiteral("Country"));
        ask.Inquiry->cbFilterDropDown();
        QStringList items = ask.View.Items;
        items.sort();
        EXPECT_EQ(items.size(), 24);
        EXPECT_EQ(items, HandRows(QStringLiteral("SELECT DISTINCT Country FROM Customer")));
        ask.Condition(QStringLiteral("Country"), QStringLiteral("="), QStringLiteral("Brazil"));
        const QStringList rows = ask.Run();
        EXPECT_EQ(rows.size(), 5);
        EXPECT_EQ(rows,
                  HandRows(QStringLiteral(
                      "SELECT CustomerId, FirstName, LastName, Company, Address, City, State, "
                      "Country FROM Customer WHERE Country = 'Brazil'")));
    }
    EXPECT_TRUE(Messages.empty()) << Messages.front().toStdString();
}

TEST_P(Backends, CatalogueMadeOnceNumbersContinueAndNamesAreNeverReused) {
    TDescriber describer(*Database);
    EXPECT_TRUE(describer.FindTable(QStringLiteral("Relations")).isEmpty());
    const TDescription first = Describe(QStringLiteral("Album"), QStringLiteral("Албуми"));
    EXPECT_TRUE(first.CreateRelations);
    EXPECT_TRUE(first.CreateAuthchar);
    EXPECT_EQ(first.MissingMarks, QList<int>({0, 1, 2}));
    EXPECT_EQ(
        HandRows(QStringLiteral("SELECT Code, Text FROM Authchar")),
        QStringList({QStringLiteral("0| "), u"1|"_s + AuthcharMark(1), u"2|"_s + AuthcharMark(2)}));
    // Every column the inquiry reads is there.
    QStringList columns;
    for (const TCatalogueColumn& c : describer.Table(QStringLiteral("Relations")).Columns)
        columns << c.Name.toLower();
    QStringList wanted = RelationsColumnNames();
    for (QString& name : wanted)
        name = name.toLower();
    EXPECT_EQ(columns, wanted);

    // A row numbered far ahead: the next subject continues after it.
    TQuery insert;
    insert.SetDatabaseName(QStringLiteral("restdata"));
    insert.SetSQLText(QStringLiteral("INSERT INTO Relations (N, TableName, BGTableName, ColName, "
                                     "BGColName, SelectCol) VALUES (500, 'Genre', 'Жанрове', "
                                     "'Name', 'Име', 2)"));
    insert.ExecSQL();
    const TDescription second = Describe(QStringLiteral("artist"), QString());
    EXPECT_FALSE(second.CreateRelations);
    EXPECT_TRUE(second.MissingMarks.isEmpty());
    ASSERT_EQ(second.Rows.size(), 2);
    EXPECT_EQ(second.Rows[0].N, 501);
    EXPECT_EQ(second.Rows[1].N, 502);
    // The default display name is the table's, as the catalogue spells it.
    EXPECT_EQ(second.Subject.toLower(), QStringLiteral("artist"));

    // Existing names are refused whatever their case and blanks, and
    // nothing is written.
    const QStringList before = HandRows(QStringLiteral("SELECT N, BGTableName FROM Relations"));
    for (const char* name : {"Албуми", " албуми ", "Жанрове"}) {
        try {
            Describe(QStringLiteral("Track"), QString::fromUtf8(name));
            ADD_FAILURE() << "described again as " << name;
        } catch (const EDescribeRefused& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("вече има"))) << e.what();
        }
    }
    EXPECT_THROW(Describe(QStringLiteral("NoSuchTable"), QString()), EDescribeRefused);
    EXPECT_EQ(HandRows(QStringLiteral("SELECT N, BGTableName FROM Relations")), before);

    // An apostrophe in the subject's name is written and read back as it is.
    const QString name = QStringLiteral("Клиент's \"списък\"");
    Describe(QStringLiteral("Customer"), name);
    TAsk ask;
    ask.Subject(name);
    EXPECT_EQ(ask.Run().size(), 59);
    EXPECT_THROW(Describe(QStringLiteral("Customer"), name), EDescribeRefused);
}

TEST_P(Backends, NamesThatNeedQuotingWorkInEveryStatement) {
    // A table and columns whose names hold an apostrophe, blanks and a
    // double quote: the names are quoted in FROM, the columns, the total and
    // the value list, and the display name loses the double quote.
    const QStringList setup{
        u"DROP TABLE IF EXISTS \"Bob's Sales\""_s,
        u"CREATE TABLE \"Bob's Sales\" (\"Unit Price\" NUMERIC(10,2), \"Say \"\"hi\"\"\" VARCHAR(20))"_s,
        u"INSERT INTO \"Bob's Sales\" VALUES (1.5, 'a'), (2.25, 'b'), (4, 'a')"_s};
    for (const QString& sql : setup) {
        TQuery q;
        q.SetDatabaseName(u"restdata"_s);
        q.SetSQLText(sql);
        q.ExecSQL();
    }
    const TDescription d = Describe(u"Bob's Sales"_s, QString());
    ASSERT_EQ(d.Rows.size(), 2);
    EXPECT_EQ(d.Subject, u"Bob's Sales"_s);
    EXPECT_EQ(d.Rows[0].Function, u"SUM(\"Bob's Sales\".\"Unit Price\")"_s);
    EXPECT_EQ(d.Rows[1].BGColName, u"Say 'hi'"_s);

    TAsk ask;
    ask.Subject(u"Bob's Sales"_s);
    ask.Column(u"Say 'hi'"_s);
    ask.Inquiry->cbFilterDropDown();
    EXPECT_EQ(ask.View.Items, QStringList({u"a"_s, u"b"_s}));
    ask.Group(u"Say 'hi'"_s);
    ask.Condition(u"Say 'hi'"_s, u"="_s, u"a"_s);
    // 1.5 + 4 for the two rows of 'a'.
    const QStringList rows = ask.Run();
    EXPECT_EQ(rows, QStringList{u"5.5|a"_s});
    EXPECT_EQ(rows, HandRows(u"SELECT SUM(\"Unit Price\"), 'a' FROM \"Bob's Sales\" "
                             "WHERE \"Say \"\"hi\"\"\" = 'a'"_s));
    EXPECT_TRUE(Messages.empty()) << Messages.front().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Describe, Backends, ::testing::Values("sqlite", "postgres"));

TEST_F(DescribeFixture, OdbcCatalogueGivesTheEmbeddedDescription) {
    // The same file read through the SQLite ODBC driver's catalogue calls.
    ASSERT_TRUE(Open(QStringLiteral("odbc")));
    TDatabase embedded;
    embedded.SetDatabaseName(QStringLiteral("embedded"));
    embedded.SetAliasName(QStringLiteral("CHINOOK"));
    embedded.Open();
    TDescriber direct(embedded);
    TDescriber odbc(*Database);
    EXPECT_EQ(odbc.Tables(), direct.Tables());
    for (const char* table : {"Track", "Invoice", "InvoiceLine", "Customer", "PlaylistTrack"}) {
        SCOPED_TRACE(table);
        const TDescription viaOdbc = odbc.Plan(QLatin1String(table));
        const TDescription viaPragma = direct.Plan(QLatin1String(table));
        ASSERT_EQ(viaOdbc.Rows.size(), viaPragma.Rows.size());
        for (int i = 0; i < viaOdbc.Rows.size(); ++i)
            EXPECT_EQ(viaOdbc.Rows[i].Values(), viaPragma.Rows[i].Values());
    }
    embedded.Close();
    // Written through the data source, read back by the embedded database.
    const TDescription written =
        odbc.Write(odbc.Plan(QStringLiteral("Album"), QStringLiteral("Албуми")));
    embedded.Open();
    TQuery q;
    q.SetDatabaseName(QStringLiteral("embedded"));
    q.SetSQLText(QStringLiteral("SELECT * FROM Relations ORDER BY N"));
    q.Open();
    for (const TRelationsRow& row : written.Rows) {
        QStringList values;
        for (int i = 0; i < q.FieldCount(); ++i)
            values << q.Fields(i)->AsString();
        EXPECT_EQ(values, row.Values());
        q.Next();
    }
    EXPECT_TRUE(q.Eof());
}

TEST(DescribeCommandLine, WritesPrintsAndRefuses) {
    QTemporaryDir dir;
    const QString chinook = TestUtil::CopyChinook(dir);
    const QString aliases = dir.filePath(QStringLiteral("aliases.ini"));
    TestUtil::WriteFile(aliases,
                        "[CH]\nDriver=sqlite\nDatabase=" + QFile::encodeName(chinook) + "\n");
    auto run = [&aliases](const QStringList& args, QString* out, QString* err) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VEXAL_ALIASES"), aliases);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VEXAL_EXE), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        *out = QString::fromUtf8(p.readAllStandardOutput());
        *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    };
    QString out;
    QString err;
    EXPECT_EQ(run({"CH", "--describe", "genre", "--subject", "Жанр'ове"}, &out, &err), 0)
        << err.toStdString();
    EXPECT_EQ(out,
              QStringLiteral("CREATE TABLE\tRelations\nCREATE TABLE\tAuthchar\n"
                             "Authchar\t0\t \nAuthchar\t1\t·\nAuthchar\t2\tÖ\n"
                             "Relations\t1\tGenre\tЖанр'"
                             "ове\tGenreId\tGenreId\t2\t0\tGenreId\t0\t0\t\t0\t\t\t\t1\t0\t\t\t0\n"
                             "Relations\t2\tGenre\tЖанр'"
                             "ове\tName\tName\t2\t0\tName\t0\t0\t\t0\t\t\t\t0\t0\t\t\t0\n"));
    EXPECT_EQ(run({"CH", "--describe", "MediaType"}, &out, &err), 0);
    EXPECT_TRUE(out.startsWith(QStringLiteral("Relations\t3\tMediaType\tMediaType\t")))
        << out.toStdString();

    struct Row {
        QStringList Args;
        int Code;
        const char* Says;
    } const rows[] = {
        {{"CH", "--describe", "Genre", "--subject", "жанр'ове"}, 1, "вече има"}, // taken
        {{"CH", "--describe", "Nowhere"}, 1, "Nowhere"},                         // no such table
        {{"NOALIAS", "--describe", "Genre"}, 1, "NOALIAS"},                      // no such alias
        {{"--describe", "Genre"}, 2, "needs a database alias"},
        {{"CH", "--describe"}, 2, "needs a table name"},
        {{"CH", "--subject", "X"}, 2, "--subject goes with --describe"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(run(row.Args, &out, &err), row.Code) << row.Args.join(u' ').toStdString();
        EXPECT_TRUE(out.isEmpty()) << out.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(row.Says))) << err.toStdString();
    }
}

} // namespace
