#include "SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_WIN
#include <QSaveFile>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString Quoted(const QString& fileName) {
    return u'"' + QDir::toNativeSeparators(fileName) + u'"';
}

[[noreturn]] void Refuse(const QString& fileName, const QString& why) {
    throw Exception(QCoreApplication::translate("SafeFile", "Файлът ") + Quoted(fileName) + u' ' +
                    why);
}

QString TooLarge(qint64 limit) {
    return QCoreApplication::translate("SafeFile", "е по-голям от %1 MB и не се чете.")
        .arg(limit / (1024 * 1024));
}

QString NotRegular() {
    return QCoreApplication::translate("SafeFile", "не е обикновен файл и не се чете.");
}
QString IsLink() {
    return QCoreApplication::translate("SafeFile", "е символна връзка и не се чете.");
}

#ifndef Q_OS_WIN

QString ErrnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Closes the descriptor when the scope ends, whatever happens.
struct TFd {
    int Fd = -1;
    ~TFd() {
        if (Fd >= 0)
            ::close(Fd);
    }
};

bool WriteAllTo(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

#endif

} // namespace

QByteArray ReadUntrustedFile(const QString& fileName, bool noLinks, TFileOrigin* origin,
                             qint64 limit) {
#ifdef Q_OS_WIN
    const QFileInfo info(fileName);
    if (noLinks && info.isSymLink())
        Refuse(fileName, IsLink());
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        Refuse(fileName, QCoreApplication::translate("SafeFile", "не може да бъде отворен: ") +
                             file.errorString());
    if (!info.isFile() || file.isSequential())
        Refuse(fileName, NotRegular());
    if (file.size() > limit)
        Refuse(fileName, TooLarge(limit));
    const QByteArray bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError)
        Refuse(fileName, QCoreApplication::translate("SafeFile", "не може да бъде прочетен: ") +
                             file.errorString());
    if (bytes.size() > limit)
        Refuse(fileName, TooLarge(limit));
    if (origin)
        origin->Owner = CurrentUserId();
    return bytes;
#else
    // Opening without blocking: a FIFO with no writer would otherwise hold
    // the program here for good. The checks run on what was opened, so the
    // name cannot be switched to something else between check and read.
    TFd file;
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (noLinks ? O_NOFOLLOW : 0);
    do
        file.Fd = ::open(QFile::encodeName(fileName).constData(), flags);
    while (file.Fd < 0 && errno == EINTR);
    if (file.Fd < 0) {
        const int error = errno;
        if (noLinks && error == ELOOP)
            Refuse(fileName, IsLink());
        Refuse(fileName, QCoreApplication::translate("SafeFile", "не може да бъде отворен: ") +
                             ErrnoText(error));
    }
    struct stat st {};
    if (::fstat(file.Fd, &st) != 0)
        Refuse(fileName, QCoreApplication::translate("SafeFile", "не може да бъде прочетен: ") +
                             ErrnoText(errno));
    if (!S_ISREG(st.st_mode))
        Refuse(fileName, NotRegular());
    if (st.st_size > limit)
        Refuse(fileName, TooLarge(limit));
    ::fcntl(file.Fd, F_SETFL, O_RDONLY);
    if (origin)
        origin->Owner = st.st_uid;

    // The size is read again as the file is read: one that grows meanwhile
    // stops at the limit all the same.
    QByteArray bytes;
    bytes.resize(qsizetype(st.st_size) + 1);
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used > limit)
                Refuse(fileName, TooLarge(limit));
            bytes.resize(std::min<qsizetype>(used * 2 + 4096, qsizetype(limit) + 1));
        }
        const ssize_t n = ::read(file.Fd, bytes.data() + used, size_t(bytes.size() - used));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            Refuse(fileName, QCoreApplication::translate("SafeFile", "не може да бъде прочетен: ") +
                                 ErrnoText(errno));
        if (n == 0)
            break;
        used += n;
    }
    if (used > limit)
        Refuse(fileName, TooLarge(limit));
    bytes.truncate(used);
    return bytes;
#endif
}

QByteArray ReadOptionalFile(const QString& fileName, bool* exists) {
    const bool there = QFileInfo(fileName).exists() || QFileInfo(fileName).isSymLink();
    if (exists)
        *exists = there;
    return there ? ReadUntrustedFile(fileName) : QByteArray();
}

unsigned CurrentUserId() {
#ifdef Q_OS_WIN
    return 0;
#else
    return ::getuid();
#endif
}

void WriteFileReplacing(const QString& fileName, const QByteArray& bytes, int permissions) {
#ifdef Q_OS_WIN
    Q_UNUSED(permissions);
    QSaveFile file(fileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        Refuse(fileName, QCoreApplication::translate("SafeFile", "не може да бъде записан: ") +
                             file.errorString());
#else
    const QFileInfo target(fileName);
    const QString folder = target.absolutePath();
    // A name nobody else can have prepared: made exclusively, never through
    // a link, in the target's folder so the rename stays on one file system.
    QString temporary;
    TFd file;
    for (int attempt = 0; attempt < 100 && file.Fd < 0; ++attempt) {
        temporary = folder + QStringLiteral("/.") + target.fileName() +
                    QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate64(), 16, 16,
                                                  QLatin1Char('0'));
        file.Fd = ::open(QFile::encodeName(temporary).constData(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, permissions);
        if (file.Fd < 0 && errno != EEXIST && errno != EINTR)
            break;
    }
    if (file.Fd < 0)
        Refuse(fileName, QCoreApplication::translate("SafeFile", "не може да бъде записан: ") +
                             ErrnoText(errno));
    const QByteArray temporaryName = QFile::encodeName(temporary);
    auto fail = [&](int error) {
        ::unlink(temporaryName.constData());
        Refuse(fileName, QCoreApplication::translate("SafeFile", "не може да бъде записан: ") +
                             ErrnoText(error));
    };
    if (!WriteAllTo(file.Fd, bytes) || ::fsync(file.Fd) != 0)
        fail(errno);
    const int closed = ::close(file.Fd);
    file.Fd = -1;
    if (closed != 0)
        fail(errno);
    // rename() replaces the name itself: a link under it is replaced, not
    // followed, and another user's file in a sticky folder is refused.
    if (::rename(temporaryName.constData(), QFile::encodeName(fileName).constData()) != 0)
        fail(errno);
#endif
}

QString MakePrivateFolder(const QString& folder) {
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    const QString parent = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(parent))
        throw Exception(QCoreApplication::translate("SafeFile", "Папката ") + Quoted(parent) +
                        QCoreApplication::translate("SafeFile", " не може да бъде създадена."));
#ifdef Q_OS_WIN
    if (!QDir().mkpath(path))
        throw Exception(QCoreApplication::translate("SafeFile", "Папката ") + Quoted(path) +
                        QCoreApplication::translate("SafeFile", " не може да бъде създадена."));
#else
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        throw Exception(QCoreApplication::translate("SafeFile", "Папката ") + Quoted(path) +
                        QCoreApplication::translate("SafeFile", " не може да бъде създадена: ") +
                        ErrnoText(errno));
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        throw Exception(QCoreApplication::translate("SafeFile", "Папката ") + Quoted(path) +
                        QCoreApplication::translate(
                            "SafeFile", " не е папка на текущия потребител и не се използва."));
    // The user's own folder that others could write into is closed again.
    if ((st.st_mode & 0077) != 0 && ::chmod(name.constData(), 0700) != 0)
        throw Exception(QCoreApplication::translate("SafeFile", "Папката ") + Quoted(path) +
                        QCoreApplication::translate(
                            "SafeFile", " е достъпна за други потребители и не се използва."));
#endif
    return path;
}
