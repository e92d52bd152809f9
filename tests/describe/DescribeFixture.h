#pragma once
// The Chinook sample database reached three ways for the description tests:
// a fresh copy per test through an embedded alias (CHINOOK), the same file
// through a data source of the SQLite ODBC driver (CHODBC), and, when
// VEXAL_TEST_PG=host:port:database:user names a server, its tables loaded
// into a scratch database there (CHPG). Inquiries are asked through the real
// inquiry engine with a view that shows nothing.

#include "DbAccess.h"
#include "Describe.h"
#include "Inquiry.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

class DescribeFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void TearDown() override;

public:
    // Opens the session database "restdata" on "sqlite", "odbc" or
    // "postgres" with no Relations or Authchar in it; false (the test
    // skipped) when no PostgreSQL server is named.
    bool Open(const QString& backend);
    TDatabase* Database = nullptr;
    // The Chinook file of this test and the aliases file naming it.
    static QString ChinookFile();
    static QString AliasesFile();
    // A fresh copy of the Chinook file, without catalogue tables.
    static void FreshCopy();

    // Describes a table under a subject name and returns what was written.
    TDescription Describe(const QString& table, const QString& subject);
    // Rows of a statement on the session database as "a|b|c" texts, sorted.
    QStringList HandRows(const QString& sql);
    std::vector<QString> Messages;
};

// Rows of an open data set as "a|b|c" texts (values as stored), sorted.
QStringList SortedRows(TDataSet* set);

// One inquiry driven as the window would drive it.
class TAsk {
public:
    TAsk();
    TPlainInquiryView View;
    std::unique_ptr<TInquiry> Inquiry;

    void Subject(const QString& subject);
    // Moves the column grid onto a column, as a click on its name does.
    void Column(const QString& bgColName);
    void Condition(const QString& bgColName, const QString& op, const QString& value);
    // Adds the join of a relation column and picks the related subject.
    void Join(const QString& bgColName, const QString& relatedSubject);
    void Group(const QString& bgColName);
    // Runs the inquiry; its rows, sorted.
    QStringList Run();
};
