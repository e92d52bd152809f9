// Queries on the embedded engine: parameters, forward-only reading, field
// kinds and display texts, filters and bookmarks over results, and the
// database component's life cycle.

#include "SqlFixture.h"

#include <QSignalSpy>

namespace {

std::unique_ptr<TQuery> Query(const QString& sql) {
    auto q = std::make_unique<TQuery>();
    q->SetDatabaseName(u"TestDB"_s); // names compare without case
    q->SetSQLText(sql);
    return q;
}

} // namespace

class Queries : public SqlFixture {};

TEST_F(Queries, ParametersByNameIgnoringCase) {
    auto q = Query(u"SELECT Client FROM Sales\nWHERE N = :nomer OR Qty = :NOMER OR Code = ':no'"_s);
    // One parameter for both spellings; the quoted ':no' is text.
    ASSERT_EQ(q->ParamCount(), 1);
    EXPECT_THROW(q->ParamByName(u"no"_s), EDatabaseError);
    q->ParamByName(u"Nomer"_s)->SetAsInteger(3);
    q->Open();
    EXPECT_EQ(q->RecordCount(), 2); // N = 3 and Qty = 3
    q->Close();
    // Values survive a change of the text.
    q->AddSQL(u"ORDER BY N"_s);
    EXPECT_EQ(q->ParamByName(u"nomer"_s)->Value.toInt(), 3);
    q->Open();
    EXPECT_EQ(q->Fields(0)->AsString(), u"Петров"_s);

    // Scanning off: the colon goes to the engine untouched.
    auto raw = Query(u"SELECT ':x' || '1'"_s);
    raw->SetParamCheck(false);
    EXPECT_EQ(raw->ParamCount(), 0);
    raw->Open();
    EXPECT_EQ(raw->Fields(0)->AsString(), u":x1"_s);
}

TEST_F(Queries, PreparedUpdateRunsManyTimes) {
    // The mark update of the inquiry window.
    auto q = Query(u"UPDATE  Relations\nSET\n SelectCol = :code\nWHERE\n N =:nomer"_s
                       .replace(u"Relations"_s, u"Sales"_s)
                       .replace(u"SelectCol"_s, u"Qty"_s));
    q->Prepare();
    EXPECT_TRUE(q->Prepared());
    for (int n = 1; n <= 3; ++n) {
        q->ParamByName(u"code"_s)->SetAsInteger(n * 100);
        q->ParamByName(u"nomer"_s)->SetAsInteger(n);
        q->ExecSQL();
        EXPECT_EQ(q->RowsAffected(), 1);
    }
    EXPECT_EQ(Value(u"SELECT SUM(Qty) FROM Sales"_s).toInt(), 600);
    q->ParamByName(u"nomer"_s)->SetAsInteger(99);
    q->ExecSQL();
    EXPECT_EQ(q->RowsAffected(), 0);
}

TEST_F(Queries, ForwardOnlyReadsWithoutKeeping) {
    auto q = Query(u"SELECT N, Client FROM Sales ORDER BY N"_s);
    q->SetUniDirectional(true);
    q->Open();
    EXPECT_TRUE(q->Bof());
    EXPECT_FALSE(q->Eof());
    EXPECT_EQ(q->StoredRowCount(), 1);
    q->First(); // still on the first row: allowed
    QStringList seen;
    for (; !q->Eof(); q->Next())
        seen << q->Fields(1)->AsString();
    EXPECT_EQ(seen, QStringList({u"Иванов"_s, u"Петров"_s, u"иванов"_s}));
    EXPECT_EQ(q->Fields(0)->AsInteger(), 3); // the last row stays current
    EXPECT_THROW(q->Prior(), EDatabaseError);
    EXPECT_THROW(q->First(), EDatabaseError);

    // The filter applies as rows are read.
    q->Close();
    q->SetFilter(u"N <> 1"_s);
    q->SetFiltered(true);
    q->Open();
    EXPECT_EQ(q->Fields(0)->AsInteger(), 2);

    // An empty result is at once Bof and Eof.
    auto none = Query(u"SELECT N FROM Sales WHERE N < 0"_s);
    none->SetUniDirectional(true);
    none->Open();
    EXPECT_TRUE(none->Eof());
    EXPECT_TRUE(none->Fields(0)->IsNull());
}

TEST_F(Queries, FieldKinds) {
    struct Row {
        const char16_t* Column;
        TFieldType Type;
        bool Computed;
        const char16_t* Display; // row N = 1
    };
    const Row rows[] = {
        // Declared types decide.
        {u"N", TFieldType::Integer, false, u"1"},
        {u"Client", TFieldType::String, false, u"Иванов"},
        {u"Code", TFieldType::String, false, u"007"},
        {u"Price", TFieldType::Float, false, u"2.5"},
        {u"SaleDate", TFieldType::Date, false, u"01.02.2005"},
        {u"Stamp", TFieldType::DateTime, false, u"01.02.2005 10:30"},
        {u"At", TFieldType::Time, false, u"09:15"},
        // An alias keeps the column's declared type.
        {u"Sales.SaleDate \"Дата\"", TFieldType::Date, false, u"01.02.2005"},
        // Without a declared type, the values decide.
        {u"Qty * 2", TFieldType::Integer, true, u"10"},
        {u"Qty * Price", TFieldType::Float, true, u"12.5"},
        {u"(SELECT MAX(SaleDate) FROM Sales)", TFieldType::Date, true, u"07.03.2005"},
        {u"(SELECT MAX(Stamp) FROM Sales)", TFieldType::DateTime, true, u"07.03.2005"},
        {u"String(Qty)", TFieldType::String, true, u"5"},
        {u"String(At)", TFieldType::String, true, u"09:15"},
        {u"NULL", TFieldType::Aggregate, true, u""},
    };
    for (const Row& r : rows) {
        const QString column = QString::fromUtf16(r.Column);
        auto q = Query(u"SELECT "_s + column + u" FROM Sales WHERE N = 1"_s);
        q->Open();
        const TField* f = q->Fields(0);
        EXPECT_EQ(int(f->DataType()), int(r.Type)) << column.toStdString();
        EXPECT_EQ(f->IsAggregate(), r.Computed) << column.toStdString();
        EXPECT_EQ(f->DisplayText(), QString::fromUtf16(r.Display)) << column.toStdString();
    }
    // Declared text sizes give display widths; numbers lean right.
    auto q = Query(u"SELECT Note, Client, Qty FROM Sales"_s);
    q->Open();
    EXPECT_EQ(q->FieldByName(u"Note"_s)->DisplayWidth(), 30);
    EXPECT_EQ(q->FieldByName(u"Client"_s)->DisplayWidth(), 6); // longest value
    EXPECT_EQ(q->FieldByName(u"Qty"_s)->Alignment(), TAlignment::Right);
}

TEST_F(Queries, MasksOnAggregates) {
    auto q = Query(u"SELECT Client \"Клиент\", SUM(Qty*Price) \"Сума\" FROM Sales "
                   "GROUP BY \"Клиент\" ORDER BY \"Клиент\""_s);
    q->Open();
    TField* sum = q->FieldByName(u"Сума"_s);
    EXPECT_TRUE(sum->IsAggregate());
    sum->SetDisplayFormat(u"### ##0.00"_s);
    ASSERT_EQ(q->RecordCount(), 3);
    EXPECT_EQ(sum->DisplayTextAt(0), u"12.50"_s);
    EXPECT_EQ(sum->DisplayTextAt(2), u""_s); // the sum of a null price is null
}

TEST_F(Queries, FilterLocateAndBookmarksOverAResult) {
    auto q = Query(u"SELECT * FROM Sales ORDER BY N"_s);
    q->Open();
    q->SetFilter(u"Qty<>3 AND Client<>'иванов'"_s);
    q->SetFiltered(true);
    EXPECT_EQ(q->RecordCount(), 1);
    q->SetFiltered(false);
    ASSERT_TRUE(q->Locate(u"CLIENT"_s, u"ПЕТРОВ"_s));
    const TBookmark mark = q->GetBookmark();
    // Reopening the same statement: the bookmark finds the same row again.
    q->Close();
    q->Open();
    q->GotoBookmark(mark);
    EXPECT_EQ(q->FieldByName(u"N"_s)->AsInteger(), 2);
}

TEST_F(Queries, DataSourceOverAQuery) {
    auto q = Query(u"SELECT N, SaleDate FROM Sales ORDER BY N"_s);
    TDataSource source;
    source.SetDataSet(q.get());
    EXPECT_EQ(source.rowCount(), 0);
    QSignalSpy reset(&source, &QAbstractItemModel::modelReset);
    q->Open();
    EXPECT_GE(reset.count(), 1);
    EXPECT_EQ(source.rowCount(), 3);
    EXPECT_EQ(source.data(source.index(2, 1)).toString(), u"31.12.2004"_s);
    // Forward-only: the grid shows the one row held.
    q->Close();
    q->SetUniDirectional(true);
    q->Open();
    q->Next();
    EXPECT_EQ(source.rowCount(), 1);
    EXPECT_EQ(source.data(source.index(0, 0)).toString(), u"2"_s);
}

TEST_F(Queries, ClosingTheDatabaseClosesItsQueries) {
    auto q = Query(u"SELECT N FROM Sales"_s);
    q->Prepare();
    q->Open();
    Db->Close();
    EXPECT_FALSE(q->Active());
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(TSession::Default().FindDatabase(u"testdb"_s), nullptr);
    // A query whose database is not open opens the alias of that name, on
    // a database the session keeps.
    q->Open();
    EXPECT_EQ(q->RecordCount(), 3);
    TDatabase* own = TSession::Default().FindDatabase(u"testdb"_s);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->parent(), &TSession::Default());
    delete own;
    EXPECT_FALSE(q->Active());
    // A name that is neither open nor an alias fails.
    q->SetDatabaseName(u"nothing"_s);
    EXPECT_THROW(q->Open(), EDatabaseError);
}

TEST_F(Queries, DatabaseSettings) {
    TDatabase db;
    db.SetDatabaseName(u"restdata"_s);
    db.SetAliasName(u"TESTDB"_s);
    db.SetParams({u"USER NAME=DBA"_s, u"PASSWORD=WVK"_s});
    db.SetLoginPrompt(false);
    db.SetHandleShared(true);
    db.SetTransIsolation(TTransIsolation::DirtyRead);
    db.Open();
    EXPECT_TRUE(db.Connected());
    EXPECT_EQ(TSession::Default().FindDatabase(u"RESTDATA"_s), &db);
    // The alias may change only while closed.
    EXPECT_THROW(db.SetAliasName(u"DEMO"_s), EDatabaseError);
    db.Close();
    db.SetAliasName(u"Nowhere"_s);
    try {
        db.Open();
        FAIL() << "an unknown alias opened";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), u"Unknown database alias: Nowhere"_s);
    }
    EXPECT_FALSE(db.Connected());
}
