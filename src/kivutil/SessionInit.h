#pragma once
// Session bootstrap: the working folder, the work query, the fixed formats,
// the connection script named after the alias, and the connection number.

#include <QString>
#include <QStringList>
#include <cstdint>

class TDatabase;

// The program's folder with a trailing separator; the connection scripts and
// the saved-inquiry folder live there. It is the executable's own folder, or,
// for an installation in the system's places, share/vexal of that installation.
extern QString ProgramDir;
extern std::int32_t ConnectID;

// The program's folder for an executable in executableDir, without a
// trailing separator: executableDir itself when DEMO.SQL lies there (the
// build tree, a folder of the program's own such as lib/vexal/), else
// ../share/vexal when that folder exists (bin/vexal with share/vexal/, as a
// package installs them under /usr), else executableDir.
QString ProgramDataDir(const QString& executableDir);

// Sets ProgramDir from the running executable (call once the application
// object exists).
void InitProgramDir();

// The user's own working folder, made current at start (mode 0700, made by
// MakePrivateFolder): "vexal" in the user's runtime folder (XDG_RUNTIME_DIR)
// or, where there is none, in the user's cache folder. Never a folder shared
// with other users.
QString WorkingFolder();

// The connection script's path for an alias (or database name): ".SQL" is
// appended to a name without a dot, and a name without a folder is looked for
// in ProgramDir.
QString ScriptFileName(const QString& aliasOrDatabaseName);

// Reads a script in the Windows code page: lines end at CR LF, LF or CR, and
// a NUL byte ends the text. Raises Exception when the file cannot be read or
// is not a regular file within UntrustedFileLimit; with noLinks also when it
// is a symbolic link. *owner, when given, receives the file's owner.
QStringList ReadScriptLines(const QString& fileName, bool noLinks = false,
                            unsigned* owner = nullptr);

// A connection-script line that only separates statements: its first two
// characters, upper-cased, are "GO", ";;" or it is the single character ";".
bool IsScriptSeparator(const QString& line);

// Prepares the freshly opened database for work. Runs once, at start-up.
void InitSession(TDatabase& database);
