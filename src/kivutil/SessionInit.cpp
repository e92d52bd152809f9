#include "SessionInit.h"

#include "Database.h"
#include "MessageBox.h"
#include "SafeFile.h"
#include "ServerRoutines.h"
#include "TextRoutines.h"
#include "Win1251.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QStandardPaths>

QString ProgramDir;
std::int32_t ConnectID = 0;

QString ProgramDataDir(const QString& executableDir) {
    const QDir beside(executableDir);
    if (beside.exists(QStringLiteral("DEMO.SQL")))
        return QDir::cleanPath(beside.absolutePath());
    const QString shared = beside.absoluteFilePath(QStringLiteral("../share/vexal"));
    if (QFileInfo(shared).isDir())
        return QDir::cleanPath(shared);
    return QDir::cleanPath(beside.absolutePath());
}

void InitProgramDir() {
    ProgramDir = QDir::toNativeSeparators(ProgramDataDir(QCoreApplication::applicationDirPath()));
    if (!ProgramDir.endsWith(QDir::separator()))
        ProgramDir += QDir::separator();
}

QString WorkingFolder() {
    // Each user has a folder of their own: in a shared temporary folder
    // another user could read the files, prepare their names or block them.
    // The runtime folder is the user's and is emptied at logout; the cache
    // folder stands in where there is none (or where it is another user's,
    // as after su).
    QString base = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (base.isEmpty() || !QDir::isAbsolutePath(base) || !QFileInfo(base).isDir() ||
        QFileInfo(base).ownerId() != CurrentUserId())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.cache");
    return QDir::cleanPath(base + QStringLiteral("/vexal"));
}

QString ScriptFileName(const QString& aliasOrDatabaseName) {
    QString name = aliasOrDatabaseName;
    if (!name.contains(QLatin1Char('.')))
        name += QStringLiteral(".SQL");
    const bool hasFolder = name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
                           (name.size() > 1 && name[1] == u':');
    if (!hasFolder)
        name = ProgramDir + name;
    return name;
}

QStringList ReadScriptLines(const QString& fileName, bool noLinks, unsigned* owner) {
    TFileOrigin origin;
    QByteArray bytes = ReadUntrustedFile(fileName, noLinks, &origin);
    if (owner)
        *owner = origin.Owner;
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return SplitTextLines(Win1251::DecodeFile(bytes));
}

bool IsScriptSeparator(const QString& line) {
    const QString head = line.left(2).toUpper();
    return head == QLatin1String("GO") || head == QLatin1String(";;") || head == QLatin1String(";");
}

namespace {

void RunConnectionScript(const QString& fileName) {
    if (!QFileInfo::exists(fileName))
        return;
    try {
        const QStringList lines = ReadScriptLines(fileName);
        for (const QString& line : lines) {
            if (IsScriptSeparator(line))
                continue;
            ExecSqlScriptStep(line);
        }
    } catch (const Exception& e) {
        // A script that cannot be read ends the script step silently; one
        // that is a FIFO, a device or far too big is refused, and the user
        // learns why, as nobody puts such a thing there by accident.
        const QFileInfo info(fileName);
        if (info.exists() && !info.isDir() && (!info.isFile() || info.size() > UntrustedFileLimit))
            ShowMessageBox(e.message(), QCoreApplication::translate("SessionInit", "Съобщение"),
                           MB_OK | MB_ICONEXCLAMATION);
    }
}

void NumberTheConnection() {
    ++MessageQuiet;
    std::int32_t number = 0;
    try {
        bool ok = false;
        number = ExecSqlValue(QStringLiteral("SELECT Connection_property('Number')"))
                     .toString()
                     .toInt(&ok);
        if (!ok || LastSqlFailed != 0)
            number = 0;
    } catch (const Exception&) {
        number = 0;
    }
    if (number == 0)
        number = std::int32_t(QRandomGenerator::securelySeeded().bounded(10000000u));
    ConnectID = number;
    try {
        ExecSqlValue(QStringLiteral("SET kzmConnectID = ") + QString::number(number));
    } catch (const Exception&) {
    }
    if (LastSqlFailed != 0) {
        try {
            ExecSqlValue(QStringLiteral("SET @kzmConnectID = ") + QString::number(number));
        } catch (const Exception&) {
        }
    }
    --MessageQuiet;
}

} // namespace

void InitSession(TDatabase& database) {
    try {
        QDir::setCurrent(MakePrivateFolder(WorkingFolder()));
    } catch (const Exception&) {
        // The folder is only where relative names land; the text print
        // makes it again and reports the failure when it needs it.
    }

    SessionDatabase = &database;
    delete WorkQuery;
    WorkQuery = new TKivWorkQuery(QCoreApplication::instance(), database.DatabaseName());

    // Numbers, dates and times use the program's fixed formats whatever the
    // system's regional settings say.
    QLocale::setDefault(QLocale::c());

    QString name = database.AliasName();
    if (name.isEmpty())
        name = database.DatabaseName();
    const QString scriptFile = ScriptFileName(name);

    const bool savedContinue = ContinueOnSqlError;
    ContinueOnSqlError = true;
    RunConnectionScript(scriptFile);
    NumberTheConnection();
    ContinueOnSqlError = savedContinue;
}
