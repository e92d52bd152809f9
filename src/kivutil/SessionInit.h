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

// The folder made current at start: "C:\TEMP" on Windows, the system's
// temporary folder elsewhere.
QString WorkingFolder();

// The connection script's path for an alias (or database name): ".SQL" is
// appended to a name without a dot, and a name without a folder is looked for
// in ProgramDir.
QString ScriptFileName(const QString& aliasOrDatabaseName);

// Reads a script in the Windows code page: lines end at CR LF, LF or CR, and
// a NUL byte ends the text. Raises Exception when the file cannot be read.
QStringList ReadScriptLines(const QString& fileName);

// A connection-script line that only separates statements: its first two
// characters, upper-cased, are "GO", ";;" or it is the single character ";".
bool IsScriptSeparator(const QString& line);

// Prepares the freshly opened database for work. Runs once, at start-up.
void InitSession(TDatabase& database);
