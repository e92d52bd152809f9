#include "TestUtil.h"

#include <QDir>
#include <QFile>

namespace TestUtil {

QTemporaryDir& Scratch() {
    static QTemporaryDir dir;
    return dir;
}

QString CopyChinook(const QTemporaryDir& dir) {
    const QString target = dir.filePath(QStringLiteral("chinook.sqlite"));
    QFile::remove(target);
    if (!QFile::copy(QStringLiteral(VEXAL_CHINOOK_DB), target))
        qFatal("cannot copy the Chinook database from %s", VEXAL_CHINOOK_DB);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return target;
}

QString SourceDir() { return QStringLiteral(VEXAL_SOURCE_DIR); }

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

} // namespace TestUtil
