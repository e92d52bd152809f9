// Helpers shared by the fuzz targets.

#include "FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace Fuzz {

QString Text(const std::uint8_t* data, std::size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

QByteArray Bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

QString ScratchFolder() {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vexal-fuzz-XXXXXX"));
    return dir.path();
}

QString ScratchFile(const QString& name, const QByteArray& bytes) {
    const QString path = ScratchFolder() + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

QList<QByteArray> SplitInput(const QByteArray& bytes, char separator, int maxParts) {
    QList<QByteArray> parts;
    qsizetype from = 0;
    while (parts.size() + 1 < maxParts) {
        const qsizetype at = bytes.indexOf(separator, from);
        if (at < 0)
            break;
        parts << bytes.mid(from, at - from);
        from = at + 1;
    }
    parts << bytes.mid(from);
    return parts;
}

} // namespace Fuzz
