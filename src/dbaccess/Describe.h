#pragma once
// Subjects generated from an existing table: the database's own catalogue
// (SQLite's table_info and foreign_key_list pragmas, PostgreSQL's information
// schema, ODBC's catalogue functions) is read, and one Relations row per
// column of the table is written under a new subject name, so the table can
// be inquired at once and refined later. Relations and Authchar are created
// when the database has none. No widgets here: the command line and the
// main window's dialog both use TDescriber.

#include "Exception.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class TDatabase;

// What a column holds, as far as its description cares.
enum class TColumnKind { Text, Integer, Decimal, Date, DateTime, Time, Other };

// A column as the catalogue describes it.
struct TCatalogueColumn {
    QString Name;     // as the catalogue spells it
    QString TypeName; // declared type ("NUMERIC(10,2)", "integer"); may be empty
    TColumnKind Kind = TColumnKind::Other;
    int Length = 0; // declared length of a text column, 0 when unknown
    bool PrimaryKey = false;
    // A declared foreign key of this one column; empty when there is none.
    QString RefTable;
    QString RefColumn;
};

struct TCatalogueTable {
    QString Name; // as the catalogue spells it
    QList<TCatalogueColumn> Columns;
};

// One row of Relations, every column the inquiry reads.
struct TRelationsRow {
    int N = 0;
    QString TableName;
    QString BGTableName;
    QString ColName;
    QString BGColName;
    int SelectCol = 0;
    int Promenliva = 0;
    QString Function;
    int Zadaljitelna = 0;
    int Sortirane = 0;
    QString DftFilter;
    int DftLike = 0;
    QString FilterList;
    QString RelationTable;
    QString RelationCol;
    int Align = 0;
    int Shirina = 0;
    QString Mask;
    QString Suma;
    int AutoStretch = 0;

    // The values in the order of RelationsColumnNames().
    QStringList Values() const;
};

// What describing a table will write.
struct TDescription {
    QString Table;   // as the catalogue spells it
    QString Subject; // display name of the new subject
    bool CreateRelations = false;
    bool CreateAuthchar = false;
    QList<int> MissingMarks; // Authchar codes to add (of 0, 1, 2)
    QList<TRelationsRow> Rows;

    // One line per row written, each beginning with its table's name:
    // "Relations" and the row's values, "Authchar", code and mark, or
    // "CREATE TABLE" and the table; values separated by tabs.
    QStringList Lines() const;
};

// A request the describer refuses: an existing subject, an unknown table,
// an empty name. The message says why.
class EDescribeRefused : public Exception {
public:
    using Exception::Exception;
};

// The columns of Relations in the order they are created and listed.
QStringList RelationsColumnNames();
// The mark text stored in Authchar for a selection code: Symbol-font
// characters, 0xD6 (a check mark) for 2 and 0xB7 (a bullet) for 1.
QString AuthcharMark(int code);

// Kind of a declared type name (SQLite's affinity rules, with the usual
// server names: DATETIME and TIMESTAMP are date-times, MONEY a decimal).
TColumnKind KindOfTypeName(const QString& typeName);
// A numeric column worth a total: a decimal type, or a whole number whose
// name speaks of money; never a key.
bool IsMoneyColumn(const TCatalogueColumn& column);
// A name as SQL text: bare when it is a plain name the server reads as it
// is spelt, else between double quotes with embedded ones doubled.
// foldsToLower: the server reads bare names in lower case (PostgreSQL).
QString SqlName(const QString& name, bool foldsToLower);

// Number of leading columns a new subject chooses (SelectCol 2); the
// primary key is chosen wherever it stands.
inline constexpr int ChosenColumnCount = 8;

// The Relations rows describing a table under a subject name, numbered
// from firstN on.
QList<TRelationsRow> DescribeColumns(const TCatalogueTable& table, const QString& subject,
                                     int firstN, bool foldsToLower);

// Reads the catalogue of an open database and writes descriptions into it.
class TDescriber {
public:
    // The database must be open and outlive the describer.
    explicit TDescriber(TDatabase& database);
    ~TDescriber();
    TDescriber(const TDescriber&) = delete;
    TDescriber& operator=(const TDescriber&) = delete;

    // Tables and views of the database, sorted without regard to case.
    QStringList Tables();
    // The catalogue's spelling of a table named without regard to case;
    // empty when there is none.
    QString FindTable(const QString& name);
    // A table's columns, keys and foreign keys. Raises EDescribeRefused
    // for an unknown table.
    TCatalogueTable Table(const QString& name);
    // The subject's name as Relations holds it, compared without regard to
    // case and surrounding blanks; empty when there is no such subject.
    QString ExistingSubject(const QString& subject);

    // What describing the table would write; the subject defaults to the
    // table's name. Raises EDescribeRefused for an existing subject, an
    // unknown table or one without columns.
    TDescription Plan(const QString& table, const QString& subject = QString());
    // Writes a planned description in one transaction, checking again that
    // the subject is new and numbering the rows after the largest N at that
    // moment. Returns what was written.
    TDescription Write(const TDescription& description);

    // True when the server reads bare names in lower case.
    bool FoldsToLower() const;

private:
    struct Private;
    std::unique_ptr<Private> P;
};
