#pragma once
// The page store's byte stream: it lives in memory while small and moves to a
// temporary file once it grows past its spill limit, so that a long report does
// not hold all its pages in memory. It can also be opened on an existing report
// file (read only). Every operation takes the stream's own lock, so a preview
// may read pages while a run is still appending them.

#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>

class QFile;
class QIODevice;

class TRpStream {
public:
    // Size in bytes above which an in-memory stream moves to a temporary file.
    static constexpr qint64 DefaultSpillLimit = 100000;
    // Block size of CopyAllTo.
    static constexpr qint64 CopyBlockSize = 10240;

    // An empty in-memory stream that spills past spillLimit bytes.
    explicit TRpStream(qint64 spillLimit = DefaultSpillLimit);
    // A stream on an existing file, opened for reading; raises Exception when
    // the file cannot be opened.
    static std::unique_ptr<TRpStream> OpenFile(const QString& fileName);
    // Removes the temporary file of a spilled stream; an opened file stays.
    ~TRpStream();

    TRpStream(const TRpStream&) = delete;
    TRpStream& operator=(const TRpStream&) = delete;

    // Reads up to maxSize bytes at the current position; returns the count read
    // (0 at the end).
    qint64 Read(char* data, qint64 maxSize);
    // Reads exactly size bytes or raises Exception (a short file).
    void ReadExact(char* data, qint64 size);
    // Writes at the current position, growing the stream; raises Exception when
    // the bytes cannot be written (read-only stream, full disk).
    void Write(const char* data, qint64 size);
    void Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }
    // Moves the position; positions past the end are refused with Exception.
    void Seek(qint64 position);
    qint64 Position() const;
    qint64 Size() const;
    // Copies the whole stream (or its first limit bytes), from offset 0, to
    // target in blocks of CopyBlockSize bytes; raises Exception when the
    // target refuses a write.
    void CopyAllTo(QIODevice& target, qint64 limit = -1);

    bool InMemory() const;
    // Name of the temporary file after a spill; empty in memory and for an
    // opened report file.
    QString TempFileName() const;
    qint64 SpillLimit() const { return Limit; }

private:
    TRpStream(std::unique_ptr<QFile> file, const QString& fileName);
    void SpillToFile();
    qint64 ReadUnlocked(char* data, qint64 maxSize);
    void SeekUnlocked(qint64 position);

    mutable std::mutex Lock;
    qint64 Limit;
    bool Memory = true;
    QByteArray Buffer; // the data while in memory
    qint64 Pos = 0;    // position within Buffer while in memory
    std::unique_ptr<QFile> File;
    qint64 FileSize = 0; // kept here: asking the file flushes its buffer
    QString FileName;    // the temporary file's name after a spill
    QString OpenedName;  // the report file's name when opened on a file
};
