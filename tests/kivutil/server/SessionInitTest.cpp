// Session bootstrap: the connection script's name and line rules, the
// connection number, the working folder.

#include "SessionFixture.h"

#include <QFileInfo>

namespace {

TEST(ConnectionScript, FileNameFollowsTheAlias) {
    ProgramDir = QStringLiteral("/opt/vexal/");
    struct Row {
        const char* Alias;
        const char* Expected;
    } rows[] = {
        {"Sales", "/opt/vexal/Sales.SQL"},   // no dot: ".SQL" appended, beside the program
        {"old.db", "/opt/vexal/old.db"},     // a dot anywhere: used unchanged
        {"/srv/x/shop", "/srv/x/shop.SQL"},  // a folder part: not moved beside the program
        {"C:\\Data\\shop.sql", "C:\\Data\\shop.sql"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ScriptFileName(QString::fromUtf8(row.Alias)), QString::fromUtf8(row.Expected)) << row.Alias;
}

TEST(ConnectionScript, ProgramFolderIsFoundInEveryInstallLayout) {
    // An installation tree per row: the files made, the executable's folder,
    // and the folder the connection scripts and saved inquiries are taken from.
    struct Row {
        const char* Layout;
        QStringList Files;
        const char* ExecutableDir;
        const char* Expected;
    } rows[] = {
        {"build tree", {"build/bin/DEMO.SQL", "build/bin/SaveReps/"}, "build/bin", "build/bin"},
        {"program folder",
         {"usr/lib/vexal/DEMO.SQL", "usr/share/vexal/DEMO.SQL"},
         "usr/lib/vexal",
         "usr/lib/vexal"},
        {"package under /usr",
         {"usr/share/vexal/DEMO.SQL", "usr/share/vexal/SaveReps/"},
         "usr/bin",
         "usr/share/vexal"},
        {"share folder without the script",
         {"usr/share/vexal/SaveReps/"},
         "usr/bin",
         "usr/share/vexal"},
        {"a share/vexal file is no folder", {"opt/share/vexal"}, "opt/bin", "opt/bin"},
        {"nothing installed", {}, "opt/bin", "opt/bin"},
    };
    for (const Row& row : rows) {
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkpath(QString::fromUtf8(row.ExecutableDir));
        for (const QString& file : row.Files) {
            const QString path = root.filePath(file);
            if (file.endsWith(u'/')) {
                ASSERT_TRUE(QDir().mkpath(path));
                continue;
            }
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        EXPECT_EQ(ProgramDataDir(root.filePath(QString::fromUtf8(row.ExecutableDir))),
                  QDir::cleanPath(root.filePath(QString::fromUtf8(row.Expected))))
            << row.Layout;
    }
}

TEST(ConnectionScript, SeparatorLinesCompareTwoCharactersOnly) {
    struct Row {
        const char* Line;
        bool Separator;
    } rows[] = {
        {"GO", true},
        {"go", true},
        {"Go", true},
        {"GOOD", true},        // begins with G and O
        {"GOTO x", true},
        {";;", true},
        {";; anything", true}, // two semicolons, whatever follows
        {";", true},           // the whole line is one semicolon
        {"; INSERT", false},   // a semicolon, a blank and a word is sent
        {"  GO", false},       // leading blanks are not trimmed
        {"", false},           // a blank line is sent as an empty statement
        {"SELECT 1", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsScriptSeparator(QString::fromUtf8(row.Line)), row.Separator) << row.Line;
}

TEST(ConnectionScript, LinesEndAtAnyLineBreakAndNulEndsTheText) {
    QTemporaryDir dir;
    const QString path = dir.filePath("s.SQL");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // CR LF, LF and CR all end a line; "\xC0" is the Cyrillic А in Windows-1251.
    f.write(QByteArray("one\r\ntwo\nthree\rfour \xC0\r\n\r\nlast") + QByteArray(1, 0) + "ignored\r\n");
    f.close();
    EXPECT_EQ(ReadScriptLines(path), (QStringList{"one", "two", "three", "four А", "", "last"}));
    EXPECT_THROW(ReadScriptLines(dir.filePath("missing.SQL")), Exception);
}

class ScriptedSession : public SessionFixture {
protected:
    QStringList ScriptLines() const override {
        return {
            "CREATE TABLE Seen(Tag TEXT)",
            "INSERT INTO Seen VALUES('first')",
            "GO",
            "go",
            "GOOD INSERT INTO Seen VALUES('good')",
            ";; INSERT INTO Seen VALUES('semi')",
            "  SELECT COUNT(*) FROM Seen",
            "INSERT INTO NoSuchTable VALUES(1)",
            "INSERT INTO Seen VALUES('after failure')",
            "SELECT Tag FROM Seen",
            "",
            "INSERT INTO Seen VALUES('after blank')",
        };
    }
};

TEST_F(ScriptedSession, ScriptRunsLineByLineAndGoesOnAfterAFailure) {
    QStringList seen;
    TQuery q;
    q.SetDatabaseName("restdata");
    q.SetSQLText("SELECT Tag FROM Seen ORDER BY rowid");
    q.Open();
    for (q.First(); !q.Eof(); q.Next())
        seen << q.Fields(0)->AsString();
    EXPECT_EQ(seen, (QStringList{"first", "after failure", "after blank"}));
    // The one failing line was reported, and the bootstrap went on.
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "SQL Exception");
    EXPECT_FALSE(ContinueOnSqlError);
}

TEST_F(ScriptedSession, ConnectionNumberIsStoredOnTheServer) {
    EXPECT_NE(ConnectID, 0);
    EXPECT_GE(ConnectID, 0);
    EXPECT_LE(ConnectID, 9999999);
    EXPECT_EQ(Value("SELECT kzmConnectID"), QString::number(ConnectID));
    EXPECT_EQ(MessageQuiet, 0);
}

TEST_F(SessionFixture, MissingScriptIsSkippedSilently) {
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(SessionDatabase, Database.get());
    ASSERT_NE(WorkQuery, nullptr);
    EXPECT_EQ(WorkQuery->DatabaseName(), "restdata");
    EXPECT_TRUE(WorkQuery->UniDirectional());
    EXPECT_FALSE(WorkQuery->ParamCheck());
    EXPECT_EQ(QDir::currentPath(), QDir(WorkingFolder()).absolutePath());
}

} // namespace
