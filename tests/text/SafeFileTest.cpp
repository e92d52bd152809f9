// Files other people can reach: reads that must not block or fill the
// memory, and writes that must not follow a planted link or leave half a
// file.

#include "SafeFile.h"
#include "QStringPrinter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Each row is a file an attacker (or an accident) can put where the program
// expects a small text file. None may block, grow the memory or be read.
TEST(UntrustedFile, OnlyRegularFilesWithinTheLimitAreRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath(QStringLiteral("zero"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    const QString big = dir.filePath(QStringLiteral("big"));
    {
        QFile file(big); // sparse: takes no room on the disk
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(UntrustedFileLimit + 1));
    }
    const QString exact = dir.filePath(QStringLiteral("exact"));
    {
        QFile file(exact);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(UntrustedFileLimit));
    }
    const QString text = dir.filePath(QStringLiteral("text"));
    Write(text, "a\r\nb");
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(text, link));

    struct Row {
        QString Path;
        bool NoLinks;
        qint64 Size; // -1: refused
        const char* Says;
    };
    const Row rows[] = {
        {fifo, false, -1, "не е обикновен файл"}, // would block for good
        {zero, false, -1, "не е обикновен файл"}, // would grow without end
        {dir.path(), false, -1, "не е обикновен файл"},
        {big, false, -1, "по-голям от 16 MB"},
        {exact, false, UntrustedFileLimit, ""}, // the limit itself is fine
        {dir.filePath(QStringLiteral("none")), false, -1, "не може да бъде отворен"},
        {text, true, 4, ""},
        {link, false, 4, ""},                // a link is fine where links are
        {link, true, -1, "символна връзка"}, // but not where they are refused
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Path.toStdString());
        QElapsedTimer timer;
        timer.start();
        try {
            const QByteArray bytes = ReadUntrustedFile(row.Path, row.NoLinks);
            EXPECT_EQ(bytes.size(), row.Size);
        } catch (const Exception& e) {
            EXPECT_EQ(row.Size, -1) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(row.Says)))
                << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(row.Path)) << e.message().toStdString();
        }
        EXPECT_LT(timer.elapsed(), 5000);
    }
    bool exists = true;
    EXPECT_TRUE(ReadOptionalFile(dir.filePath(QStringLiteral("none")), &exists).isEmpty());
    EXPECT_FALSE(exists);
    EXPECT_THROW(ReadOptionalFile(fifo), Exception);
}

// A link planted under the name of a file the program writes points at the
// victim's file: the victim keeps its content, the name gets the new file.
TEST(UntrustedFile, WritingReplacesAPlantedLinkAndNeverFollowsIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString victim = dir.filePath(QStringLiteral("private.txt"));
    Write(victim, "secret");
    const QString name = dir.filePath(QStringLiteral("set.SQL"));
    ASSERT_TRUE(QFile::link(victim, name));

    WriteFileReplacing(name, "new\r\n");
    EXPECT_EQ(Read(victim), QByteArray("secret"));
    EXPECT_FALSE(QFileInfo(name).isSymLink());
    EXPECT_EQ(Read(name), QByteArray("new\r\n"));
    // Replacing again keeps one file and leaves no temporary behind.
    WriteFileReplacing(name, "newer", 0600);
    EXPECT_EQ(Read(name), QByteArray("newer"));
    EXPECT_EQ(QFileInfo(name).permissions() & (QFile::ReadOther | QFile::ReadGroup),
              QFile::Permissions());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);

    // A folder that refuses new files: the old file stays whole.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    if (::access(QFile::encodeName(dir.path()).constData(), W_OK) != 0) { // not as root
        EXPECT_THROW(WriteFileReplacing(name, "lost"), Exception);
        EXPECT_EQ(Read(name), QByteArray("newer"));
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

TEST(UntrustedFile, PrivateFolderIsTheUsersOwnOrRefused) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString made = MakePrivateFolder(dir.filePath(QStringLiteral("a/b")));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(made).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // An open folder of the user's own is closed again.
    ASSERT_EQ(::chmod(QFile::encodeName(made).constData(), 0777), 0);
    MakePrivateFolder(made);
    ASSERT_EQ(::stat(QFile::encodeName(made).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A link in its place could lead anywhere.
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(made, link));
    EXPECT_THROW(MakePrivateFolder(link), Exception);
    // Not a folder at all.
    Write(dir.filePath(QStringLiteral("file")), "x");
    EXPECT_THROW(MakePrivateFolder(dir.filePath(QStringLiteral("file"))), Exception);
}
