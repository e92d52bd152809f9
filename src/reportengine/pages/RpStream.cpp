#include "RpStream.h"

#include "Exception.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cstring>
#include <limits>

TRpStream::TRpStream(qint64 spillLimit) : Limit(spillLimit) {}

TRpStream::TRpStream(std::unique_ptr<QFile> file, const QString& fileName)
    : Limit(0), Memory(false), File(std::move(file)), OpenedName(fileName) {}

std::unique_ptr<TRpStream> TRpStream::OpenFile(const QString& fileName) {
    auto file = std::make_unique<QFile>(fileName);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw Exception(QStringLiteral("Cannot open the file %1: %2")
                            .arg(QDir::toNativeSeparators(fileName), file->errorString()));
    const qint64 size = file->size();
    auto stream = std::unique_ptr<TRpStream>(new TRpStream(std::move(file), fileName));
    stream->FileSize = size;
    return stream;
}

TRpStream::~TRpStream() {
    // A spilled stream's file is a QTemporaryFile with auto-removal, so closing
    // and freeing it deletes it; an opened report file is only closed.
    File.reset();
}

bool TRpStream::InMemory() const {
    std::lock_guard guard(Lock);
    return Memory;
}

QString TRpStream::TempFileName() const {
    std::lock_guard guard(Lock);
    return FileName;
}

qint64 TRpStream::Position() const {
    std::lock_guard guard(Lock);
    return Memory ? Pos : File->pos();
}

qint64 TRpStream::Size() const {
    std::lock_guard guard(Lock);
    return Memory ? Buffer.size() : FileSize;
}

qint64 TRpStream::ReadUnlocked(char* data, qint64 maxSize) {
    if (maxSize <= 0)
        return 0;
    if (Memory) {
        const qint64 n = std::min<qint64>(maxSize, Buffer.size() - Pos);
        if (n <= 0)
            return 0;
        std::memcpy(data, Buffer.constData() + Pos, size_t(n));
        Pos += n;
        return n;
    }
    const qint64 n = File->read(data, maxSize);
    if (n < 0)
        throw Exception(
            QStringLiteral("Cannot read the report pages: %1").arg(File->errorString()));
    return n;
}

qint64 TRpStream::Read(char* data, qint64 maxSize) {
    std::lock_guard guard(Lock);
    return ReadUnlocked(data, maxSize);
}

void TRpStream::ReadExact(char* data, qint64 size) {
    std::lock_guard guard(Lock);
    qint64 done = 0;
    while (done < size) {
        const qint64 n = ReadUnlocked(data + done, size - done);
        if (n == 0)
            throw Exception(QStringLiteral("The report file is damaged: it ends too early."));
        done += n;
    }
}

void TRpStream::Write(const char* data, qint64 size) {
    std::lock_guard guard(Lock);
    if (size <= 0)
        return;
    if (Memory) {
        const qint64 end = Pos + size;
        if (end > Buffer.size())
            Buffer.resize(end);
        std::memcpy(Buffer.data() + Pos, data, size_t(size));
        Pos = end;
        if (Buffer.size() > Limit)
            SpillToFile();
        return;
    }
    if (!OpenedName.isEmpty())
        throw Exception(QStringLiteral("The report file %1 is open for reading only.")
                            .arg(QDir::toNativeSeparators(OpenedName)));
    if (File->write(data, size) != size)
        throw Exception(
            QStringLiteral("Cannot write the report pages: %1").arg(File->errorString()));
    FileSize = std::max(FileSize, File->pos());
}

// Moves everything written so far into a temporary file ("RPP" prefix, in the
// system's temporary folder) and continues there at the same position.
void TRpStream::SpillToFile() {
    auto temp = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/RPPXXXXXX"));
    temp->setAutoRemove(true);
    if (!temp->open())
        throw Exception(QStringLiteral("Cannot create a temporary file in %1: %2")
                            .arg(QDir::toNativeSeparators(QDir::tempPath()), temp->errorString()));
    if (temp->write(Buffer) != Buffer.size() || !temp->seek(Pos))
        throw Exception(QStringLiteral("Cannot write the temporary file %1: %2")
                            .arg(QDir::toNativeSeparators(temp->fileName()), temp->errorString()));
    FileName = temp->fileName();
    FileSize = Buffer.size();
    File = std::move(temp);
    Buffer = QByteArray();
    Pos = 0;
    Memory = false;
}

void TRpStream::SeekUnlocked(qint64 position) {
    const qint64 size = Memory ? Buffer.size() : FileSize;
    if (position < 0 || position > size)
        throw Exception(
            QStringLiteral("The report file is damaged: a page link points outside it."));
    if (Memory)
        Pos = position;
    else if (!File->seek(position))
        throw Exception(
            QStringLiteral("Cannot read the report pages: %1").arg(File->errorString()));
}

void TRpStream::Seek(qint64 position) {
    std::lock_guard guard(Lock);
    SeekUnlocked(position);
}

void TRpStream::CopyAllTo(QIODevice& target, qint64 limit) {
    std::lock_guard guard(Lock);
    SeekUnlocked(0);
    QByteArray block(CopyBlockSize, Qt::Uninitialized);
    for (qint64 left = limit < 0 ? std::numeric_limits<qint64>::max() : limit; left > 0;) {
        const qint64 n = ReadUnlocked(block.data(), std::min(CopyBlockSize, left));
        left -= n;
        if (n == 0)
            break;
        if (target.write(block.constData(), n) != n)
            throw Exception(
                QStringLiteral("Cannot write the report file: %1").arg(target.errorString()));
    }
}
