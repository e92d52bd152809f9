#include "SessionInit.h"

#include "Database.h"
#include "MessageBox.h"
#include "ServerRoutines.h"
#include "TextRoutines.h"
#include "Win1251.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

QString ProgramDir;
std::int32_t ConnectID = 0;

void InitProgramDir() {
    ProgramDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!ProgramDir.endsWith(QDir::separator()))
        ProgramDir += QDir::separator();
}

QString WorkingFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\TEMP");
#else
    return QDir::tempPath();
#endif
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

QStringList ReadScriptLines(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Exception(file.errorString());
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
            ExecSqlValue(line);
        }
    } catch (const Exception&) {
        // An unreadable script ends the script step silently.
    }
}

void NumberTheConnection() {
    ++MessageQuiet;
    std::int32_t number = 0;
    try {
        bool ok = false;
        number = ExecSqlValue(QStringLiteral("SELECT Connection_property('Number')")).toString().toInt(&ok);
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
    const QString folder = WorkingFolder();
    if (QDir().mkpath(folder))
        QDir::setCurrent(folder);

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
