#include "Describe.h"

#include "DbConnection.h"
#include "Query.h"
#include "TextRoutines.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlRecord>
#include <QUuid>

#include <algorithm>

namespace {

const QString RelationsTable = QStringLiteral("Relations");
const QString AuthcharTable = QStringLiteral("Authchar");

// Columns of Relations and their SQL types when the table is created here.
struct TColumnDef {
    const char* Name;
    const char* Type;
};
const TColumnDef RelationsDefs[] = {
    {"N", "INTEGER PRIMARY KEY"},    {"TableName", "VARCHAR(40)"},
    {"BGTableName", "VARCHAR(60)"},  {"ColName", "VARCHAR(250)"},
    {"BGColName", "VARCHAR(60)"},    {"SelectCol", "INTEGER"},
    {"Promenliva", "INTEGER"},       {"Function", "VARCHAR(250)"},
    {"Zadaljitelna", "INTEGER"},     {"Sortirane", "INTEGER"},
    {"DftFilter", "VARCHAR(1000)"},  {"DftLike", "INTEGER"},
    {"FilterList", "VARCHAR(1000)"}, {"RelationTable", "VARCHAR(40)"},
    {"RelationCol", "VARCHAR(40)"},  {"Align", "INTEGER"},
    {"Shirina", "INTEGER"},          {"Mask", "VARCHAR(40)"},
    {"Suma", "VARCHAR(250)"},        {"AutoStretch", "INTEGER"},
};
const TColumnDef AuthcharDefs[] = {{"Code", "INTEGER PRIMARY KEY"}, {"Text", "VARCHAR(4)"}};

// Words that cannot stand bare as a name on the common servers.
bool IsReservedWord(const QString& name) {
    static const QSet<QString> words = [] {
        QSet<QString> set;
        for (const char* w :
             {"ADD",        "ALL",    "ALTER",  "AND",      "ANY",       "AS",      "ASC",
              "BETWEEN",    "BY",     "CASE",   "CAST",     "CHECK",     "COLLATE", "COLUMN",
              "CONSTRAINT", "CREATE", "CROSS",  "CURRENT",  "DEFAULT",   "DELETE",  "DESC",
              "DISTINCT",   "DROP",   "ELSE",   "END",      "EXCEPT",    "EXISTS",  "FOR",
              "FOREIGN",    "FROM",   "FULL",   "FUNCTION", "GRANT",     "GROUP",   "HAVING",
              "IN",         "INDEX",  "INNER",  "INSERT",   "INTERSECT", "INTO",    "IS",
              "JOIN",       "KEY",    "LEFT",   "LIKE",     "LIMIT",     "NATURAL", "NOT",
              "NULL",       "OFFSET", "ON",     "OR",       "ORDER",     "OUTER",   "PRIMARY",
              "REFERENCES", "RIGHT",  "ROW",    "SELECT",   "SET",       "TABLE",   "THEN",
              "TO",         "UNION",  "UNIQUE", "UPDATE",   "USER",      "USING",   "VALUES",
              "VIEW",       "WHEN",   "WHERE",  "WITH"})
            set.insert(QLatin1String(w));
        return set;
    }();
    return words.contains(name.toUpper());
}

// A display name may not hold the double quote that encloses it as an alias.
QString DisplayName(const QString& name) {
    QString shown = name;
    shown.replace(QLatin1Char('"'), QLatin1Char('\''));
    return shown;
}

// Length in brackets of a declared type ("NVARCHAR(160)" gives 160).
int DeclaredLength(const QString& typeName) {
    static const QRegularExpression length(QStringLiteral("\\(\\s*(\\d+)"));
    const QRegularExpressionMatch m = length.match(typeName);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// ---------------------------------------------------------------------------
// The ODBC catalogue: a connection of its own to the alias's data source,
// read through Qt's catalogue calls (tables, columns, primary key) and the
// driver manager's SQLForeignKeys, which Qt does not offer.

using SqlHandle = void*;
using SqlReturn = short;
using SqlLen = long; // 64-bit SQLLEN of unixODBC on 64-bit systems

constexpr short SqlHandleStmt = 3;
constexpr short SqlCChar = 1;
constexpr short SqlNts = -3;
constexpr SqlLen SqlNullData = -1;

bool Succeeded(SqlReturn rc) {
    return rc == 0 || rc == 1; // SQL_SUCCESS, SQL_SUCCESS_WITH_INFO
}

// Kind of a column from its ODBC SQL type, else from Qt's type.
TColumnKind KindOfOdbcField(const QSqlField& field) {
    switch (field.typeID()) {
    case 1:
    case 12:
    case -1:
    case -8:
    case -9:
    case -10: // CHAR, VARCHAR, LONGVARCHAR, W...
        return TColumnKind::Text;
    case 4:
    case 5:
    case -5:
    case -6: // INTEGER, SMALLINT, BIGINT, TINYINT
        return TColumnKind::Integer;
    case 2:
    case 3:
    case 6:
    case 7:
    case 8: // NUMERIC, DECIMAL, FLOAT, REAL, DOUBLE
        return TColumnKind::Decimal;
    case 9:
    case 91: // DATE
        return TColumnKind::Date;
    case 10:
    case 92: // TIME
        return TColumnKind::Time;
    case 11:
    case 93: // TIMESTAMP
        return TColumnKind::DateTime;
    default:
        break;
    }
    switch (field.metaType().id()) {
    case QMetaType::QString:
        return TColumnKind::Text;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return TColumnKind::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return TColumnKind::Decimal;
    case QMetaType::QDate:
        return TColumnKind::Date;
    case QMetaType::QTime:
        return TColumnKind::Time;
    case QMetaType::QDateTime:
        return TColumnKind::DateTime;
    default:
        return TColumnKind::Other;
    }
}

class TOdbcCatalogue {
public:
    TOdbcCatalogue(const TAliasInfo& alias, const QString& user, const QString& password)
        : Name(QStringLiteral("vexal-catalogue-") +
               QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), Name);
        db.setDatabaseName(alias.DSN.isEmpty() ? alias.Database : alias.DSN);
        if (!user.isEmpty())
            db.setUserName(user);
        if (!password.isEmpty())
            db.setPassword(password);
        if (!db.open()) {
            const QString message = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(Name);
            throw EDatabaseError(message);
        }
        Postgres = db.driver()->dbmsType() == QSqlDriver::PostgreSQL;
    }

    ~TOdbcCatalogue() {
        QSqlDatabase::database(Name, false).close();
        QSqlDatabase::removeDatabase(Name);
    }

    bool Postgres = false;

    QStringList Tables() const {
        const QSqlDatabase db = Db();
        return db.tables(QSql::Tables) + db.tables(QSql::Views);
    }

    TCatalogueTable Table(const QString& name) const {
        const QSqlDatabase db = Db();
        TCatalogueTable table;
        table.Name = name;
        const QSqlRecord record = db.record(name);
        const QSqlIndex key = db.primaryIndex(name);
        for (int i = 0; i < record.count(); ++i) {
            const QSqlField field = record.field(i);
            TCatalogueColumn column;
            column.Name = field.name();
            column.Kind = KindOfOdbcField(field);
            if (column.Kind == TColumnKind::Text && field.length() > 0 && field.length() < 65536)
                column.Length = field.length();
            column.PrimaryKey = key.contains(column.Name);
            table.Columns << column;
        }
        ReadForeignKeys(name, table);
        return table;
    }

private:
    QSqlDatabase Db() const { return QSqlDatabase::database(Name, false); }

    // Single-column foreign keys from SQLForeignKeys; nothing when the
    // driver manager or the driver cannot tell.
    void ReadForeignKeys(const QString& name, TCatalogueTable& table) const {
        using AllocHandle = SqlReturn (*)(short, SqlHandle, SqlHandle*);
        using FreeHandle = SqlReturn (*)(short, SqlHandle);
        using ForeignKeys = SqlReturn (*)(SqlHandle, unsigned char*, short, unsigned char*, short,
                                          unsigned char*, short, unsigned char*, short,
                                          unsigned char*, short, unsigned char*, short);
        using Fetch = SqlReturn (*)(SqlHandle);
        using GetData = SqlReturn (*)(SqlHandle, unsigned short, short, void*, SqlLen, SqlLen*);

        const QVariant handle = Db().driver()->handle();
        // The connection handle (HDBC), named SQLHANDLE or void* by Qt versions.
        if (!handle.isValid() || (qstrcmp(handle.typeName(), "SQLHANDLE") != 0 &&
                                  qstrcmp(handle.typeName(), "void*") != 0))
            return;
        SqlHandle dbc = *static_cast<const SqlHandle*>(handle.constData());
        QLibrary odbc(QStringLiteral("odbc"), 2);
        auto alloc = reinterpret_cast<AllocHandle>(odbc.resolve("SQLAllocHandle"));
        auto freeHandle = reinterpret_cast<FreeHandle>(odbc.resolve("SQLFreeHandle"));
        auto keys = reinterpret_cast<ForeignKeys>(odbc.resolve("SQLForeignKeys"));
        auto fetch = reinterpret_cast<Fetch>(odbc.resolve("SQLFetch"));
        auto getData = reinterpret_cast<GetData>(odbc.resolve("SQLGetData"));
        if (!dbc || !alloc || !freeHandle || !keys || !fetch || !getData)
            return;
        SqlHandle stmt = nullptr;
        if (!Succeeded(alloc(SqlHandleStmt, dbc, &stmt)))
            return;
        QByteArray tableName = name.toUtf8();
        struct TKeyColumn {
            QString PkTable, PkColumn, FkColumn;
            int Seq = 0;
        };
        QList<TKeyColumn> rows;
        if (Succeeded(keys(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                           reinterpret_cast<unsigned char*>(tableName.data()), SqlNts))) {
            auto text = [&](unsigned short column) {
                char buffer[512];
                SqlLen size = 0;
                if (!Succeeded(getData(stmt, column, SqlCChar, buffer, sizeof buffer, &size)) ||
                    size == SqlNullData)
                    return QString();
                return QString::fromUtf8(buffer);
            };
            while (Succeeded(fetch(stmt)))
                rows << TKeyColumn{text(3), text(4), text(8), text(9).toInt()};
        }
        freeHandle(SqlHandleStmt, stmt);
        // A key's columns follow each other, numbered from 1: keys of more
        // than one column cannot serve a join of one column and are left out.
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const bool single = rows[i].Seq <= 1 && (i + 1 >= rows.size() || rows[i + 1].Seq <= 1);
            if (!single)
                continue;
            for (TCatalogueColumn& column : table.Columns)
                if (column.Name.compare(rows[i].FkColumn, Qt::CaseInsensitive) == 0 &&
                    column.RefTable.isEmpty()) {
                    column.RefTable = rows[i].PkTable;
                    column.RefColumn = rows[i].PkColumn;
                }
        }
    }

    QString Name;
};

} // namespace

// ---------------------------------------------------------------------------

QStringList TRelationsRow::Values() const {
    return {QString::number(N),
            TableName,
            BGTableName,
            ColName,
            BGColName,
            QString::number(SelectCol),
            QString::number(Promenliva),
            Function,
            QString::number(Zadaljitelna),
            QString::number(Sortirane),
            DftFilter,
            QString::number(DftLike),
            FilterList,
            RelationTable,
            RelationCol,
            QString::number(Align),
            QString::number(Shirina),
            Mask,
            Suma,
            QString::number(AutoStretch)};
}

QStringList TDescription::Lines() const {
    QStringList lines;
    const QChar tab = QLatin1Char('\t');
    if (CreateRelations)
        lines << QStringLiteral("CREATE TABLE") + tab + RelationsTable;
    if (CreateAuthchar)
        lines << QStringLiteral("CREATE TABLE") + tab + AuthcharTable;
    for (int code : MissingMarks)
        lines << AuthcharTable + tab + QString::number(code) + tab + AuthcharMark(code);
    for (const TRelationsRow& row : Rows)
        lines << RelationsTable + tab + row.Values().join(tab);
    return lines;
}

QStringList RelationsColumnNames() {
    QStringList names;
    for (const TColumnDef& def : RelationsDefs)
        names << QLatin1String(def.Name);
    return names;
}

QString AuthcharMark(int code) {
    switch (code) {
    case 1:
        return QString(QChar(0xB7));
    case 2:
        return QString(QChar(0xD6));
    default:
        return QStringLiteral(" ");
    }
}

TColumnKind KindOfTypeName(const QString& typeName) {
    const QString type = typeName.trimmed().toUpper();
    static const QRegularExpression firstWord(QStringLiteral("^[A-Z0-9_]+"));
    const QString word = firstWord.match(type).captured(0);
    // Names whose letters would mislead the affinity rules below.
    if (word == QLatin1String("INTERVAL") || word == QLatin1String("POINT"))
        return TColumnKind::Other;
    if (word == QLatin1String("DATE"))
        return TColumnKind::Date;
    if (word.startsWith(QLatin1String("DATETIME")) || word.startsWith(QLatin1String("TIMESTAMP")) ||
        word == QLatin1String("SMALLDATETIME"))
        return TColumnKind::DateTime;
    if (word == QLatin1String("TIME") || word == QLatin1String("TIMETZ"))
        return TColumnKind::Time;
    if (word == QLatin1String("MONEY") || word == QLatin1String("SMALLMONEY") ||
        word == QLatin1String("CURRENCY") || word == QLatin1String("NUMBER"))
        return TColumnKind::Decimal;
    if (word == QLatin1String("SERIAL") || word == QLatin1String("BIGSERIAL") ||
        word == QLatin1String("SMALLSERIAL"))
        return TColumnKind::Integer;
    // SQLite's affinity rules, in their order.
    if (type.contains(QLatin1String("INT")))
        return TColumnKind::Integer;
    if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) ||
        type.contains(QLatin1String("TEXT")))
        return TColumnKind::Text;
    if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("FLOA")) ||
        type.contains(QLatin1String("DOUB")) || type.contains(QLatin1String("NUMERIC")) ||
        type.contains(QLatin1String("DECIMAL")))
        return TColumnKind::Decimal;
    return TColumnKind::Other;
}

bool IsMoneyColumn(const TCatalogueColumn& column) {
    if (column.PrimaryKey || !column.RefTable.isEmpty())
        return false;
    if (column.Kind == TColumnKind::Decimal)
        return true;
    if (column.Kind != TColumnKind::Integer)
        return false;
    static const QRegularExpression money(
        QStringLiteral("price|total|amount|cost|sum|salary|balance|сума|цена|стойност"),
        QRegularExpression::CaseInsensitiveOption);
    return money.match(column.Name).hasMatch();
}

QString SqlName(const QString& name, bool foldsToLower) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    const bool bare = plain.match(name).hasMatch() && !IsReservedWord(name) &&
                      (!foldsToLower || name == name.toLower());
    if (bare)
        return name;
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QList<TRelationsRow> DescribeColumns(const TCatalogueTable& table, const QString& subject,
                                     int firstN, bool foldsToLower) {
    QList<TRelationsRow> rows;
    const QString tableName = SqlName(table.Name, foldsToLower);
    for (qsizetype i = 0; i < table.Columns.size(); ++i) {
        const TCatalogueColumn& column = table.Columns[i];
        TRelationsRow row;
        row.N = firstN + int(i);
        row.TableName = tableName;
        row.BGTableName = subject;
        row.ColName = SqlName(column.Name, foldsToLower);
        row.BGColName = DisplayName(column.Name);
        row.SelectCol = i < ChosenColumnCount || column.PrimaryKey ? 2 : 0;
        row.Function = row.ColName;
        const QString qualified =
            IsExpression(row.ColName) ? row.ColName : tableName + QLatin1Char('.') + row.ColName;
        switch (column.Kind) {
        case TColumnKind::Integer:
        case TColumnKind::Decimal:
            row.Align = 1;
            break;
        case TColumnKind::Date:
            row.Align = 2;
            row.Mask = QStringLiteral("dd.mm.yyyy");
            break;
        case TColumnKind::DateTime:
            row.Align = 2;
            row.Mask = QStringLiteral("dd.mm.yyyy hh:nn");
            break;
        case TColumnKind::Time:
            row.Align = 2;
            row.Mask = QStringLiteral("hh:nn");
            break;
        case TColumnKind::Text:
        case TColumnKind::Other:
            break;
        }
        // A money column totals under grouping, in the grid and on paper.
        if (IsMoneyColumn(column)) {
            row.Function = QStringLiteral("SUM(") + qualified + QLatin1Char(')');
            row.Mask = QStringLiteral("#,##0.00");
            row.Suma = QStringLiteral("SUM([") + row.BGColName + QStringLiteral("])");
        }
        if (!column.RefTable.isEmpty()) {
            row.RelationTable = SqlName(column.RefTable, foldsToLower);
            row.RelationCol = SqlName(column.RefColumn, foldsToLower);
        } else if (column.Kind == TColumnKind::Text && column.Length > 0 && column.Length <= 40 &&
                   !column.PrimaryKey) {
            // Short texts repeat: their distinct values make a useful list.
            row.FilterList = QStringLiteral("SELECT DISTINCT %1 FROM %2 ORDER BY %1")
                                 .arg(row.ColName, tableName);
        }
        rows << row;
    }
    return rows;
}

// ---------------------------------------------------------------------------

struct TDescriber::Private {
    explicit Private(TDatabase& database) : Db(database) {}
    TDatabase& Db;
    std::unique_ptr<TOdbcCatalogue> Odbc;

    QString Driver() const { return Db.Connection() ? Db.Connection()->Driver() : QString(); }

    TOdbcCatalogue& OdbcCatalogue() {
        if (!Odbc) {
            TAliasInfo alias;
            if (!TSession::Default().FindAlias(Db.AliasName(), &alias))
                throw EDatabaseError(
                    QStringLiteral("Unknown database alias: %1").arg(Db.AliasName()));
            // The same login as the database's own connection: the alias's
            // User=/Password= win over the built-in login parameters.
            const TLogin login = AliasLogin(alias, Db.Params());
            Odbc = std::make_unique<TOdbcCatalogue>(alias, login.User, login.Password);
        }
        return *Odbc;
    }

    // Rows of a statement as texts (null as empty).
    QList<QStringList> Select(const QString& sql) {
        TQuery query;
        query.SetDatabaseName(Db.DatabaseName());
        query.SetParamCheck(false);
        query.SetSQLText(sql);
        query.Open();
        QList<QStringList> rows;
        for (query.First(); !query.Eof(); query.Next()) {
            QStringList row;
            for (int i = 0; i < query.FieldCount(); ++i)
                row << query.Fields(i)->AsString();
            rows << row;
        }
        return rows;
    }

    TCatalogueTable SqliteTable(const QString& name) {
        TCatalogueTable table;
        table.Name = name;
        const QString literal = QuotedSql(name);
        for (const QStringList& row :
             Select(QStringLiteral("SELECT name, type, pk FROM pragma_table_info(%1) ORDER BY cid")
                        .arg(literal))) {
            TCatalogueColumn column;
            column.Name = row[0];
            column.TypeName = row[1];
            column.Kind = KindOfTypeName(row[1]);
            if (column.Kind == TColumnKind::Text)
                column.Length = DeclaredLength(row[1]);
            column.PrimaryKey = row[2].toInt() > 0;
            table.Columns << column;
        }
        const QList<QStringList> keys =
            Select(QStringLiteral("SELECT \"id\", \"table\", \"from\", \"to\" FROM "
                                  "pragma_foreign_key_list(%1) ORDER BY \"id\", \"seq\"")
                       .arg(literal));
        for (const QStringList& key : keys) {
            const auto sameKey = [&key](const QStringList& other) { return other[0] == key[0]; };
            if (std::count_if(keys.begin(), keys.end(), sameKey) != 1)
                continue; // a key of several columns
            QString refColumn = key[3];
            if (refColumn.isEmpty()) {
                // REFERENCES without a column names the referenced primary key.
                for (const QStringList& pk :
                     Select(QStringLiteral("SELECT name FROM pragma_table_info(%1) WHERE pk = 1")
                                .arg(QuotedSql(key[1]))))
                    refColumn = pk[0];
            }
            for (TCatalogueColumn& column : table.Columns)
                if (column.Name.compare(key[2], Qt::CaseInsensitive) == 0) {
                    column.RefTable = key[1];
                    column.RefColumn = refColumn;
                }
        }
        return table;
    }

    // A table of a MariaDB or MySQL database, from information_schema: its
    // foreign keys are told by key_column_usage's referenced names there.
    TCatalogueTable MariaDbTable(const QString& name) {
        TCatalogueTable table;
        table.Name = name;
        const QString literal = QuotedSql(name);
        for (const QStringList& row :
             Select(QStringLiteral("SELECT column_name, data_type, character_maximum_length, "
                                   "column_key FROM information_schema.columns "
                                   "WHERE table_schema = DATABASE() AND table_name = %1 "
                                   "ORDER BY ordinal_position")
                        .arg(literal))) {
            TCatalogueColumn column;
            column.Name = row[0];
            column.TypeName = row[1];
            column.Kind = KindOfTypeName(row[1]);
            column.Length = column.Kind == TColumnKind::Text ? row[2].toInt() : 0;
            column.PrimaryKey = row[3] == QLatin1String("PRI");
            table.Columns << column;
        }
        const QList<QStringList> keys =
            Select(QStringLiteral("SELECT constraint_name, column_name, referenced_table_name, "
                                  "referenced_column_name FROM information_schema.key_column_usage "
                                  "WHERE table_schema = DATABASE() AND table_name = %1 "
                                  "AND referenced_table_name IS NOT NULL")
                       .arg(literal));
        for (const QStringList& key : keys) {
            const auto sameKey = [&key](const QStringList& other) { return other[0] == key[0]; };
            if (std::count_if(keys.begin(), keys.end(), sameKey) != 1)
                continue;
            for (TCatalogueColumn& column : table.Columns)
                if (column.Name.compare(key[1], Qt::CaseInsensitive) == 0) {
                    column.RefTable = key[2];
                    column.RefColumn = key[3];
                }
        }
        return table;
    }

    TCatalogueTable PostgresTable(const QString& name) {
        TCatalogueTable table;
        table.Name = name;
        const QString literal = QuotedSql(name);
        for (const QStringList& row :
             Select(QStringLiteral("SELECT column_name, data_type, character_maximum_length "
                                   "FROM information_schema.columns "
                                   "WHERE table_schema = current_schema() AND table_name = %1 "
                                   "ORDER BY ordinal_position")
                        .arg(literal))) {
            TCatalogueColumn column;
            column.Name = row[0];
            column.TypeName = row[1];
            column.Kind = KindOfTypeName(row[1]);
            column.Length = column.Kind == TColumnKind::Text ? row[2].toInt() : 0;
            table.Columns << column;
        }
        for (const QStringList& row : Select(
                 QStringLiteral("SELECT k.column_name FROM information_schema.table_constraints c "
                                "JOIN information_schema.key_column_usage k "
                                "ON k.constraint_schema = c.constraint_schema "
                                "AND k.constraint_name = c.constraint_name "
                                "WHERE c.constraint_type = 'PRIMARY KEY' "
                                "AND c.table_schema = current_schema() AND c.table_name = %1")
                     .arg(literal)))
            for (TCatalogueColumn& column : table.Columns)
                if (column.Name == row[0])
                    column.PrimaryKey = true;
        const QList<QStringList> keys = Select(
            QStringLiteral("SELECT k.constraint_name, k.column_name, r.table_name, r.column_name "
                           "FROM information_schema.referential_constraints c "
                           "JOIN information_schema.key_column_usage k "
                           "ON k.constraint_schema = c.constraint_schema "
                           "AND k.constraint_name = c.constraint_name "
                           "JOIN information_schema.key_column_usage r "
                           "ON r.constraint_schema = c.unique_constraint_schema "
                           "AND r.constraint_name = c.unique_constraint_name "
                           "AND r.ordinal_position = k.position_in_unique_constraint "
                           "WHERE k.table_schema = current_schema() AND k.table_name = %1")
                .arg(literal));
        for (const QStringList& key : keys) {
            const auto sameKey = [&key](const QStringList& other) { return other[0] == key[0]; };
            if (std::count_if(keys.begin(), keys.end(), sameKey) != 1)
                continue;
            for (TCatalogueColumn& column : table.Columns)
                if (column.Name == key[1]) {
                    column.RefTable = key[2];
                    column.RefColumn = key[3];
                }
        }
        return table;
    }

    QStringList Tables() {
        QStringList tables;
        const QString driver = Driver();
        if (driver == QLatin1String("sqlite")) {
            for (const QStringList& row : Select(QStringLiteral("SELECT name FROM sqlite_master "
                                                                "WHERE type IN ('table', 'view')")))
                tables << row[0];
        } else if (driver == QLatin1String("postgres")) {
            for (const QStringList& row :
                 Select(QStringLiteral("SELECT table_name FROM information_schema.tables "
                                       "WHERE table_schema = current_schema() "
                                       "AND table_type IN ('BASE TABLE', 'VIEW')")))
                tables << row[0];
        } else if (driver == QLatin1String("mariadb")) {
            for (const QStringList& row :
                 Select(QStringLiteral("SELECT table_name FROM information_schema.tables "
                                       "WHERE table_schema = DATABASE() "
                                       "AND table_type IN ('BASE TABLE', 'VIEW')")))
                tables << row[0];
        } else {
            tables = OdbcCatalogue().Tables();
        }
        // SQLite's own tables (sqlite_sequence, sqlite_stat1) are no data.
        tables.erase(std::remove_if(tables.begin(), tables.end(),
                                    [](const QString& name) {
                                        return name.startsWith(QLatin1String("sqlite_"),
                                                               Qt::CaseInsensitive);
                                    }),
                     tables.end());
        std::sort(tables.begin(), tables.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        return tables;
    }

    // Relations columns as the database spells them.
    QStringList RelationsSpelling(const QString& relations) {
        const TCatalogueTable table = Table(relations);
        QStringList names;
        for (const QString& name : RelationsColumnNames())
            for (const TCatalogueColumn& column : table.Columns)
                if (column.Name.compare(name, Qt::CaseInsensitive) == 0)
                    names << column.Name;
        return names;
    }

    TCatalogueTable Table(const QString& name) {
        const QString driver = Driver();
        if (driver == QLatin1String("sqlite"))
            return SqliteTable(name);
        if (driver == QLatin1String("postgres"))
            return PostgresTable(name);
        if (driver == QLatin1String("mariadb"))
            return MariaDbTable(name);
        return OdbcCatalogue().Table(name);
    }

    bool FoldsToLower() {
        const QString driver = Driver();
        if (driver == QLatin1String("postgres"))
            return true;
        if (driver == QLatin1String("odbc"))
            return OdbcCatalogue().Postgres;
        return false;
    }

    int MaxN() {
        const QList<QStringList> rows = Select(QStringLiteral("SELECT MAX(N) FROM Relations"));
        return rows.isEmpty() ? 0 : rows[0][0].toInt();
    }

    QString ExistingSubject(const QString& subject) {
        const QString wanted = TrimText(subject);
        for (const QStringList& row :
             Select(QStringLiteral("SELECT DISTINCT BGTableName FROM Relations")))
            if (TrimText(row[0]).compare(wanted, Qt::CaseInsensitive) == 0)
                return row[0];
        return {};
    }

    void Exec(const QString& sql) {
        TQuery query;
        query.SetDatabaseName(Db.DatabaseName());
        query.SetParamCheck(false);
        query.SetSQLText(sql);
        query.ExecSQL();
    }
};

TDescriber::TDescriber(TDatabase& database) : P(std::make_unique<Private>(database)) {
    if (!database.Connected())
        throw EDatabaseError(
            QStringLiteral("Database %1 is not open").arg(database.DatabaseName()));
}

TDescriber::~TDescriber() = default;

QStringList TDescriber::Tables() {
    return P->Tables();
}

QString TDescriber::FindTable(const QString& name) {
    const QString wanted = name.trimmed();
    const QStringList tables = Tables();
    // The exact spelling first: PostgreSQL may hold names differing in case.
    if (tables.contains(wanted))
        return wanted;
    for (const QString& table : tables)
        if (table.compare(wanted, Qt::CaseInsensitive) == 0)
            return table;
    return {};
}

TCatalogueTable TDescriber::Table(const QString& name) {
    const QString table = FindTable(name);
    if (table.isEmpty())
        throw EDescribeRefused(
            QCoreApplication::translate("Describe", "В базата данни няма таблица \"%1\".")
                .arg(name.trimmed()));
    return P->Table(table);
}

QString TDescriber::ExistingSubject(const QString& subject) {
    if (FindTable(RelationsTable).isEmpty())
        return {};
    return P->ExistingSubject(subject);
}

bool TDescriber::FoldsToLower() const {
    return P->FoldsToLower();
}

TDescription TDescriber::Plan(const QString& table, const QString& subject) {
    TDescription d;
    const TCatalogueTable described = Table(table);
    if (described.Columns.isEmpty())
        throw EDescribeRefused(
            QCoreApplication::translate("Describe", "Таблицата \"%1\" няма колони.")
                .arg(described.Name));
    d.Table = described.Name;
    d.Subject = TrimText(subject);
    if (d.Subject.isEmpty())
        d.Subject = DisplayName(described.Name);
    const QString relations = FindTable(RelationsTable);
    const QString authchar = FindTable(AuthcharTable);
    d.CreateRelations = relations.isEmpty();
    d.CreateAuthchar = authchar.isEmpty();
    int firstN = 1;
    if (!d.CreateRelations) {
        const QString existing = P->ExistingSubject(d.Subject);
        if (!existing.isEmpty())
            throw EDescribeRefused(
                QCoreApplication::translate("Describe",
                                            "Справка с име \"%1\" вече има. Изберете друго име.")
                    .arg(existing));
        firstN = P->MaxN() + 1;
    }
    if (d.CreateAuthchar) {
        d.MissingMarks = {0, 1, 2};
    } else {
        QSet<int> present;
        for (const QStringList& row : P->Select(QStringLiteral("SELECT Code FROM Authchar")))
            present.insert(row[0].toInt());
        for (int code : {0, 1, 2})
            if (!present.contains(code))
                d.MissingMarks << code;
    }
    d.Rows = DescribeColumns(described, d.Subject, firstN, P->FoldsToLower());
    return d;
}

TDescription TDescriber::Write(const TDescription& description) {
    TDescription d = description;
    const bool folds = P->FoldsToLower();
    // The spelling of the Relations columns the rows go to: the database's
    // own for an existing table, which may also lack some of them.
    QStringList columns;
    if (d.CreateRelations) {
        for (const QString& name : RelationsColumnNames())
            columns << (folds ? name.toLower() : name);
    } else {
        columns = P->RelationsSpelling(FindTable(RelationsTable));
    }
    // The catalogue's own connection lets go of the database before writing,
    // so an embedded file is not locked by it.
    P->Odbc.reset();

    auto createTable = [this, folds](const QString& name, const auto& defs) {
        QStringList parts;
        for (const TColumnDef& def : defs) {
            const QString column = QLatin1String(def.Name);
            parts << SqlName(folds ? column.toLower() : column, folds) + QLatin1Char(' ') +
                         QLatin1String(def.Type);
        }
        P->Exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(name, parts.join(QStringLiteral(", "))));
    };

    const bool ownTransaction = !P->Db.InTransaction();
    if (ownTransaction)
        P->Db.StartTransaction();
    try {
        if (d.CreateRelations)
            createTable(RelationsTable, RelationsDefs);
        if (d.CreateAuthchar)
            createTable(AuthcharTable, AuthcharDefs);
        if (!d.CreateRelations) {
            const QString existing = P->ExistingSubject(d.Subject);
            if (!existing.isEmpty())
                throw EDescribeRefused(
                    QCoreApplication::translate(
                        "Describe", "Справка с име \"%1\" вече има. Изберете друго име.")
                        .arg(existing));
        }
        if (!d.MissingMarks.isEmpty()) {
            TQuery insert;
            insert.SetDatabaseName(P->Db.DatabaseName());
            insert.SetSQLText(
                QStringLiteral("INSERT INTO Authchar (Code, Text) VALUES (:code, :text)"));
            for (int code : d.MissingMarks) {
                insert.ParamByName(QStringLiteral("code"))->SetAsInteger(code);
                insert.ParamByName(QStringLiteral("text"))->SetAsString(AuthcharMark(code));
                insert.ExecSQL();
            }
        }
        int n = d.CreateRelations ? 1 : P->MaxN() + 1;
        for (TRelationsRow& row : d.Rows)
            row.N = n++;

        QStringList names;
        QStringList params;
        QList<int> valueIndexes;
        const QStringList all = RelationsColumnNames();
        for (const QString& column : columns) {
            int index = 0;
            while (all[index].compare(column, Qt::CaseInsensitive) != 0)
                ++index;
            names << SqlName(column, folds);
            params << QStringLiteral(":p%1").arg(index);
            valueIndexes << index;
        }
        TQuery insert;
        insert.SetDatabaseName(P->Db.DatabaseName());
        insert.SetSQLText(
            QStringLiteral("INSERT INTO Relations (%1) VALUES (%2)")
                .arg(names.join(QStringLiteral(", ")), params.join(QStringLiteral(", "))));
        for (const TRelationsRow& row : d.Rows) {
            const QStringList values = row.Values();
            for (int index : valueIndexes) {
                TParam* param = insert.ParamByName(QStringLiteral("p%1").arg(index));
                // Whole-number columns go as numbers, the rest as texts.
                const QString type = QLatin1String(RelationsDefs[index].Type);
                if (type.startsWith(QLatin1String("INTEGER")))
                    param->SetAsInteger(values[index].toInt());
                else
                    param->SetAsString(values[index]);
            }
            insert.ExecSQL();
        }
        if (ownTransaction)
            P->Db.Commit();
    } catch (...) {
        if (ownTransaction && P->Db.InTransaction())
            P->Db.Rollback();
        throw;
    }
    return d;
}
