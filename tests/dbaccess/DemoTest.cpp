// The demo database: every catalogue feature the inquiry window knows is
// present and usable, the connection script runs, the built-in alias makes
// the file on first use and again when it is deleted.

#include "SqlFixture.h"
#include "TestUtil.h"

#include <QFile>
#include <QRegularExpression>
#include <sqlite3.h>

namespace {

const QString Subjects[] = {u"Клиенти"_s, u"Продажби"_s, u"Продажби за година"_s, u"Стоки"_s,
                            u"Телефонен указател"_s};

} // namespace

class Demo : public SqlFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        DbPath = Dir.filePath(u"demo-copy.db"_s);
        CreateDemoDatabase(DbPath, 2000);
        WriteAliases("[DEMOCOPY]\nDriver=sqlite\nDatabase=demo-copy.db\n");
        Db = std::make_unique<TDatabase>();
        Db->SetDatabaseName(u"testdb"_s);
        Db->SetAliasName(u"DEMOCOPY"_s);
        Db->Open();
    }

    // Values of one column over the catalogue rows matching a condition.
    QStringList Column(const QString& column, const QString& where) {
        TQuery q;
        q.SetDatabaseName(u"testdb"_s);
        q.SetSQLText(u"SELECT "_s + column + u" FROM Relations WHERE "_s + where +
                     u" ORDER BY N"_s);
        q.Open();
        QStringList values;
        for (; !q.Eof(); q.Next())
            values << q.Fields(0)->AsString();
        return values;
    }
};

TEST_F(Demo, CatalogueTablesHaveEveryColumn) {
    TQuery q;
    q.SetDatabaseName(u"testdb"_s);
    q.SetSQLText(u"SELECT * FROM Relations, Authchar WHERE SelectCol=Authchar.Code"_s);
    q.Open();
    for (const char16_t* name :
         {u"N",         u"TableName",  u"BGTableName", u"ColName",       u"BGColName",
          u"SelectCol", u"Promenliva", u"Function",    u"Zadaljitelna",  u"Sortirane",
          u"DftFilter", u"DftLike",    u"FilterList",  u"RelationTable", u"RelationCol",
          u"Align",     u"Shirina",    u"Mask",        u"Suma",          u"AutoStretch",
          u"Code",      u"Text"})
        EXPECT_NE(q.FindField(QString::fromUtf16(name)), nullptr)
            << QString::fromUtf16(name).toStdString();
    // The log the utility layer writes to.
    EXPECT_EQ(Failure(u"INSERT INTO LogFile(UserN, Tip, LogText) VALUES(-1, 5, 'x')"_s, false),
              QString());
    // Marks in the Symbol font: blank, bullet, check mark.
    q.SetSQLText(u"SELECT Code, Text FROM Authchar ORDER BY Code"_s);
    q.Open();
    QStringList marks;
    for (; !q.Eof(); q.Next())
        marks << q.Fields(0)->AsString() + u'=' + q.Fields(1)->AsString();
    EXPECT_EQ(marks, QStringList({u"0= "_s, u"1=\u00B7"_s, u"2=\u00D6"_s}));
}

TEST_F(Demo, EveryCatalogueFeatureIsUsed) {
    struct Row {
        const char16_t* What;
        const char16_t* Where;
    };
    const Row rows[] = {
        {u"chosen column", u"SelectCol = 2"},
        {u"unchosen column", u"SelectCol = 0"},
        {u"hidden column", u"SelectCol = 1 AND ColName <> '__Options__'"},
        {u"hidden column with a default condition",
         u"SelectCol = 1 AND DftFilter <> '' AND Promenliva = 0"},
        {u"relation column", u"RelationTable <> '' AND RelationCol <> ''"},
        {u"function column with SUM", u"Function LIKE 'SUM(%' AND Function <> ColName"},
        {u"mandatory column", u"Zadaljitelna = 1"},
        {u"variable column with a default", u"Promenliva = 1 AND DftFilter <> ''"},
        {u"default condition with an operator", u"DftFilter LIKE '>=%'"},
        {u"begins-with default condition", u"DftLike = 1 AND DftFilter <> ''"},
        {u"grouping and ordering", u"Sortirane >= 100"},
        {u"grouping with its ordering moved", u"Sortirane > 100"},
        {u"descending ordering", u"Sortirane < 0"},
        {u"ascending ordering", u"Sortirane BETWEEN 1 AND 99"},
        {u"value list", u"FilterList LIKE 'SELECT%'"},
        {u"right alignment", u"Align = 1"},
        {u"centre alignment", u"Align = 2"},
        {u"fixed width", u"Shirina > 0"},
        {u"number mask", u"Mask LIKE '%0.00'"},
        {u"date mask", u"Mask LIKE 'dd.mm.yyyy%'"},
        {u"summary expression", u"Suma <> ''"},
        {u"auto-stretch column", u"AutoStretch = 1"},
        {u"expression column", u"ColName LIKE '%(%' AND ColName <> '__Options__'"},
        {u"disabled row", u"TableName LIKE '//%'"},
        {u"administrator's subject", u"TableName LIKE 'v_d_%'"},
        {u"options row with printer settings", u"ColName = '__Options__' AND FilterList LIKE "
                                               u"'%Printer.Orientation=%' AND DftFilter <> ''"},
        {u"date column named DATE", u"ColName LIKE '%Date' AND Mask <> ''"},
        {u"date column named DATA", u"ColName LIKE 'Data%'"},
    };
    for (const Row& r : rows)
        EXPECT_FALSE(Column(u"N"_s, QString::fromUtf16(r.Where)).isEmpty())
            << QString::fromUtf16(r.What).toStdString();
    // Every mark used has its Authchar row.
    EXPECT_EQ(
        Value(
            u"SELECT COUNT(*) FROM Relations WHERE SelectCol NOT IN (SELECT Code FROM Authchar)"_s),
        QVariant(0));
    // Ordinary columns carry their own name as Function, so only real
    // function columns differ.
    EXPECT_EQ(Column(u"N"_s, u"Function = '' OR Function IS NULL"_s), QStringList());
}

TEST_F(Demo, SubjectListAndColumnsOfASubject) {
    // The subject list of the inquiry window, for an ordinary user.
    TQuery q;
    q.SetDatabaseName(u"testdb"_s);
    q.SetSQL({u"SELECT TableName, BGTableName"_s, u"FROM Relations"_s,
              u"WHERE LEFT(TableName, 2)<>'//'"_s, u"  AND LEFT(TableName, 4)<>'v_d_'"_s,
              u"GROUP BY TableName, BGTableName ORDER BY BGTableName"_s});
    q.Open();
    QStringList subjects;
    for (; !q.Eof(); q.Next())
        subjects << q.FieldByName(u"BGTableName"_s)->AsString();
    EXPECT_EQ(subjects, QStringList(std::begin(Subjects), std::end(Subjects)));

    // The column grid of a subject: hidden columns and the options row are
    // filtered out on the client.
    q.SetSQL({u"SELECT * FROM Relations, Authchar"_s,
              u"WHERE Relations.BGTableName = 'Продажби за година'"_s,
              u"  AND Left(Relations.TableName,2)<>'//' AND SelectCol=Authchar.Code"_s,
              u"ORDER BY Relations.N"_s});
    q.Open();
    EXPECT_EQ(q.RecordCount(), 5);
    q.SetFilter(u"SelectCol<>1 AND ColName<>'__Options__'"_s);
    q.SetFiltered(true);
    EXPECT_EQ(q.RecordCount(), 4);
    EXPECT_EQ(q.FieldByName(u"Text"_s)->AsString(), u"\u00D6"_s);
    q.SetFiltered(false);
    ASSERT_TRUE(q.Locate(u"ColName"_s, u"__OPTIONS__"_s));
    const QStringList options = q.FieldByName(u"FilterList"_s)->AsString().split(u"\r\n"_s);
    EXPECT_EQ(options.first(), u"Printer.Orientation=1"_s);
}

TEST_F(Demo, ConnectionScriptAndEveryStatementOfTheCatalogueRun) {
    // The connection script, line by line as the session bootstrap sends it.
    const QStringList script =
        QString::fromLatin1(TestUtil::ReadFile(TestUtil::SourceDir() + u"/demo/DEMO.SQL"_s))
            .split(QRegularExpression(u"\r\n|\n|\r"_s));
    int sent = 0;
    for (const QString& line : script) {
        const QString head = line.left(2).toUpper();
        if (head == u"GO"_s || head == u";;"_s || head == u";"_s)
            continue;
        EXPECT_EQ(Failure(line, false), QString()) << line.toStdString();
        ++sent;
    }
    EXPECT_GE(sent, 4);
    EXPECT_EQ(Value(u"SELECT kzmGodina FROM DUMMY"_s).toInt(), 2024);

    // Value lists and the pre-run script.
    for (const QString& list : Column(u"FilterList"_s, u"FilterList LIKE 'SELECT%'"_s))
        EXPECT_GT(Rows(list), 0) << list.toStdString();
    for (const QString& pre : Column(u"DftFilter"_s, u"ColName = '__Options__'"_s))
        EXPECT_EQ(Failure(QString(pre).replace(u"\r\n"_s, u"\r"_s), false), QString());
    EXPECT_EQ(Value(u"SELECT LogText FROM LogFile WHERE Tip = 9"_s).toString(),
              u"Продажби за 2024"_s);

    // Every column of every subject selects, as the inquiry would.
    for (const QString& subject : Subjects) {
        TQuery cols;
        cols.SetDatabaseName(u"testdb"_s);
        cols.SetSQLText(u"SELECT * FROM Relations WHERE BGTableName = '"_s + subject +
                        u"' AND Left(TableName,2)<>'//' AND ColName<>'__Options__' ORDER BY N"_s);
        cols.Open();
        QStringList select;
        QString table;
        for (; !cols.Eof(); cols.Next()) {
            const QString col = cols.FieldByName(u"ColName"_s)->AsString();
            table = cols.FieldByName(u"TableName"_s)->AsString();
            const bool expression = col.contains(QRegularExpression(u"[()*+\\-./|]"_s));
            const bool variable = cols.FieldByName(u"Promenliva"_s)->AsInteger() == 1;
            const QString e = expression || variable ? col : table + u'.' + col;
            const QString d = u'"' + cols.FieldByName(u"BGColName"_s)->AsString() + u'"';
            select << e + u' ' + d;
        }
        EXPECT_EQ(Failure(u"SELECT "_s + select.join(u", "_s) + u" FROM "_s + table), QString())
            << subject.toStdString();
    }
    // The grouped inquiry of the year subject: a month a row.
    EXPECT_EQ(Rows(u"SELECT substr(SalesOfYear.SaleDate, 1, 7) \"Месец\", SUM(SalesOfYear.Amount) "
                   "\"Оборот\" FROM SalesOfYear GROUP BY \"Месец\" ORDER BY \"Месец\" ASC"_s),
              12);
    // The default conditions of the sales subject.
    EXPECT_GT(Value(u"SELECT COUNT(*) FROM Sales WHERE Sales.SaleDate >='01.12.2024' AND "
                    "Sales.Storno ='0'"_s)
                  .toInt(),
              0);
}

TEST_F(Demo, SalesRowsAreTheSameOnEveryBuild) {
    EXPECT_EQ(Value(u"SELECT COUNT(*) FROM Sales"_s), QVariant(2000));
    EXPECT_EQ(Value(u"SELECT MIN(SaleDate) || ' ' || MAX(SaleDate) FROM Sales"_s).toString(),
              u"2023-01-01 2024-12-31"_s);
    // Every sale's client and good exist; amounts are quantity times price.
    EXPECT_EQ(
        Value(u"SELECT COUNT(*) FROM Sales WHERE ClientID NOT IN (SELECT ClientID FROM Clients) "
              "OR GoodID NOT IN (SELECT GoodID FROM Goods) OR abs(Amount - Qty*Price) > 0.005"_s),
        QVariant(0));
    const QVariant total = Value(u"SELECT SUM(Amount) FROM Sales"_s);
    const QString again = Dir.filePath(u"again.db"_s);
    CreateDemoDatabase(again, 2000);
    WriteAliases("[AGAIN]\nDriver=sqlite\nDatabase=again.db\n");
    TQuery q;
    q.SetDatabaseName(u"AGAIN"_s);
    q.SetSQLText(u"SELECT SUM(Amount) FROM Sales"_s);
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsFloat(), total.toDouble());
    q.Close();
    delete TSession::Default().FindDatabase(u"AGAIN"_s);
}

TEST(DemoAlias, MadeOnFirstUseAndAgainWhenDeleted) {
    const QString path = DemoDatabasePath();
    QFile::remove(path);
    ASSERT_FALSE(QFile::exists(path));
    for (int round = 0; round < 2; ++round) {
        TDatabase db;
        db.SetDatabaseName(u"restdata"_s);
        db.SetAliasName(u"DEMO"_s);
        db.Open();
        EXPECT_TRUE(QFile::exists(path));
        TQuery q;
        q.SetDatabaseName(u"restdata"_s);
        q.SetSQLText(u"SELECT COUNT(*) FROM Sales"_s);
        q.Open();
        EXPECT_EQ(q.Fields(0)->AsInteger(), 5000); // the default size
        db.Close();
        QFile::remove(path);
    }
}

// A demo made by an earlier program (other subjects, widths or options than
// this program's) is built again when the alias opens, not shown as it was.
TEST(DemoAlias, DemoOfAnEarlierProgramIsBuiltAgain) {
    const QString path = DemoDatabasePath();
    QFile::remove(path);
    CreateDemoDatabase(path, 100);
    EXPECT_TRUE(DemoDatabaseUsable(path));
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &old), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(old, "PRAGMA user_version = 0", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(old);
    EXPECT_FALSE(DemoDatabaseUsable(path));
    TDatabase db;
    db.SetDatabaseName(u"olddemo"_s);
    db.SetAliasName(u"DEMO"_s);
    db.Open();
    TQuery q;
    q.SetDatabaseName(u"olddemo"_s);
    q.SetSQLText(u"SELECT COUNT(*) FROM Sales"_s);
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsInteger(), 5000) << "the 100-row demo was replaced";
    db.Close();
    EXPECT_TRUE(DemoDatabaseUsable(path));
    QFile::remove(path);
}
