#include "Database.h"

#include <QStandardPaths>

QString DemoDatabasePath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/demo.db");
}

void CreateDemoDatabase(const QString&, int) {
    throw EDatabaseError(QStringLiteral("Not implemented yet"));
}
