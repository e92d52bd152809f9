#pragma once
// The demo database the benchmarks measure on: one that bench/run made
// once with "vexal --create-demo", or a new one.

#include "DbAccess.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Bench {

// The command line: "--db FILE" names a demo database made by
// "vexal --create-demo" (used read-only unless the bench copies it); a
// number is the row count of a demo database the bench makes itself.
struct TOptions {
    QString Database;
    int Rows = 1000000;
};

inline TOptions ReadOptions(int argc, char** argv, int defaultRows = 1000000) {
    TOptions options;
    options.Rows = defaultRows;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--db") == 0 && i + 1 < argc)
            options.Database = QFileInfo(QFile::decodeName(argv[++i])).absoluteFilePath();
        else
            options.Rows = std::max(1, std::atoi(argv[i]));
    }
    return options;
}

// The demo database to measure: the one named on the command line, or a
// new one of the given size at path.
inline QString DemoDatabase(const TOptions& options, const QString& path) {
    if (!options.Database.isEmpty())
        return options.Database;
    CreateDemoDatabase(path, options.Rows);
    return path;
}

// An aliases file naming the database as alias BENCH; the session reads it.
inline void UseAlias(const QString& aliasesFile, const QString& database) {
    QFile file(aliasesFile);
    if (!file.open(QIODevice::WriteOnly))
        std::exit(1);
    file.write("[BENCH]\nDriver=sqlite\nDatabase=" + QFile::encodeName(database) + "\n");
    file.close();
    qputenv("VEXAL_ALIASES", QFile::encodeName(aliasesFile));
}

} // namespace Bench
