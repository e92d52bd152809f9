#pragma once
// A bootstrapped session on a fresh embedded database: an aliases file with
// the alias TESTDB, the database "restdata" open on it, InitSession run with
// the program folder in a scratch folder, and every message box recorded.

#include "KivUtilUnit.h"
#include "Database.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

struct RecordedMessage {
    QString Text;
    QString Caption;
    int Style = 0;
};

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        DbPath = Dir.filePath(QStringLiteral("test.db"));
        CreateDatabase(DbPath);
        const QString aliases = Dir.filePath(QStringLiteral("aliases.ini"));
        QFile ini(aliases);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[TESTDB]\nDriver=sqlite\nDatabase=" + DbPath.toUtf8() + "\n");
        ini.close();
        setenv("VEXAL_ALIASES", aliases.toLocal8Bit().constData(), 1);
        ProgramDir = Dir.path() + QLatin1Char('/');
        PreviousHandler = SetMessageBoxHandler([this](const QString& text, const QString& caption, int style) {
            Messages.push_back({text, caption, style});
            return Answer ? Answer(style) : DefaultMessageBoxButton(style);
        });
        WriteScript(ScriptLines());
        Database = std::make_unique<TDatabase>();
        Database->SetDatabaseName(QStringLiteral("restdata"));
        Database->SetAliasName(QStringLiteral("TESTDB"));
        Database->Open();
        InitSession(*Database);
        SessionReady = true;
    }

    void TearDown() override {
        SessionReady = false;
        delete WorkQuery;
        WorkQuery = nullptr;
        SessionDatabase = nullptr;
        Database.reset();
        SetMessageBoxHandler(PreviousHandler);
        unsetenv("VEXAL_ALIASES");
        MessageQuiet = 0;
        ContinueOnSqlError = false;
        ExecOnly = false;
        WorkDepth = 0;
    }

    // Lines of the connection script TESTDB.SQL written before the session starts.
    virtual QStringList ScriptLines() const { return {}; }

    void WriteScript(const QStringList& lines) {
        QFile::remove(Dir.filePath(QStringLiteral("TESTDB.SQL")));
        if (lines.isEmpty())
            return;
        QFile script(Dir.filePath(QStringLiteral("TESTDB.SQL")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(Win1251::Encode(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    }

    static void CreateDatabase(const QString& path) {
        // An alias must name an existing file; the schema is made through
        // a session of its own so this fixture exercises the same backend.
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
    }

    // Runs a statement and returns the first value as text.
    QString Value(const QString& sql) { return ExecSqlValue(sql).toString(); }
    int Count(const QString& table) { return ExecSqlValue("SELECT COUNT(*) FROM " + table).toInt(); }

    QTemporaryDir Dir;
    QString DbPath;
    std::unique_ptr<TDatabase> Database;
    std::vector<RecordedMessage> Messages;
    std::function<int(int)> Answer;
    MessageBoxHandler PreviousHandler;
};

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
