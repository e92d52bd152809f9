#pragma once
// Reading and writing files that other people can reach. The program reads
// files it did not write (saved inquiries, connection scripts, the aliases
// file, the settings) and writes into folders several users may share, so
// every such access goes through these three routines:
// - a read accepts a regular file only, up to a size no real file reaches,
//   and never blocks on a FIFO or a device;
// - a write never follows a symbolic link and never writes into a file that
//   is there already: it makes a new file exclusively and renames it over
//   the old name, so a reader sees the old or the new file, never half;
// - a private folder is made mode 0700 and checked to be the user's own.
// Failures raise Exception with a message naming the file.

#include "Exception.h"

#include <QByteArray>
#include <QString>

// No file the program reads comes anywhere near this.
inline constexpr qint64 UntrustedFileLimit = 16 * 1024 * 1024;

// What a read found out about the file besides its bytes.
struct TFileOrigin {
    // The owner's user id (the current user's on systems without owners).
    unsigned Owner = 0;
};

// The whole content of a regular file of at most `limit` bytes. With
// noLinks, a symbolic link in place of the file is refused as well. Raises
// Exception when the file is missing, unreadable, not a regular file (a
// folder, a FIFO, a device) or larger than the limit.
QByteArray ReadUntrustedFile(const QString& fileName, bool noLinks = false,
                             TFileOrigin* origin = nullptr, qint64 limit = UntrustedFileLimit);

// Like ReadUntrustedFile, but a file that is not there gives an empty
// content instead of an error (for optional files such as the settings).
// Sets *exists accordingly when given.
QByteArray ReadOptionalFile(const QString& fileName, bool* exists = nullptr);

// Replaces (or makes) the file with the bytes: they go to a new file made
// exclusively in the same folder with the given permissions (the user's
// umask applies), which is then renamed over the name. A symbolic link under
// the name is replaced by the file, never followed; a file of another user
// in a shared folder is left alone (the rename is refused). On failure the
// old file is untouched and no temporary file stays behind.
void WriteFileReplacing(const QString& fileName, const QByteArray& bytes, int permissions = 0666);

// The current user's id (0 on systems without owners).
unsigned CurrentUserId();

// Makes the folder (and missing parents) with mode 0700 for the last part;
// accepts an existing folder only when it is a real folder (no link) owned by
// the current user that no one else may write into. Returns the folder.
QString MakePrivateFolder(const QString& folder);
