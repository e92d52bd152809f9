#pragma once
// The database the batch benchmarks run the program on: a copy of the demo
// database with a subject "Продажби (всички)" beside "Продажби" (the same
// columns without its mandatory date condition), so a command-line run
// reaches every sale. Made once per row count, kept beside the demo.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

namespace Bench {

inline const char* const AllSalesSubject = "Продажби (всички)";

inline void ExecSql(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
        std::exit(1);
    }
}

// folder/batch-ROWS.db made from the demo database demo (which must
// exist), or the one made before.
inline QString SubjectDatabase(const QString& demo, const QString& folder, qint64 rows) {
    const QString copy = QDir(folder).filePath(QStringLiteral("batch-%1.db").arg(rows));
    if (QFileInfo::exists(copy))
        return copy;
    const QString part = copy + QStringLiteral(".part");
    QFile::remove(part);
    if (!QFile::copy(demo, part))
        std::exit(1);
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(part).constData(), &db) != SQLITE_OK)
        std::exit(1);
    const QByteArray add =
        QStringLiteral(
            "INSERT INTO Relations(N, TableName, BGTableName, ColName, BGColName, SelectCol, "
            "Promenliva, Function, Zadaljitelna, Sortirane, DftFilter, DftLike, FilterList, "
            "RelationTable, RelationCol, Align, Shirina, Mask, Suma, AutoStretch) "
            "SELECT N + 100000, TableName, '%1', ColName, BGColName, SelectCol, Promenliva, "
            "Function, 0, Sortirane, '', DftLike, FilterList, RelationTable, RelationCol, Align, "
            "Shirina, Mask, Suma, AutoStretch FROM Relations WHERE BGTableName = 'Продажби'")
            .arg(QString::fromUtf8(AllSalesSubject))
            .toUtf8();
    ExecSql(db, add.constData());
    sqlite3_close(db);
    if (!QFile::rename(part, copy))
        std::exit(1);
    return copy;
}

} // namespace Bench
