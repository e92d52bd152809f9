// Text printing: the rewritten file and what reaches the target, the print
// queue and the program that opens the file, and the print action's text
// branch.

#include "ExportFixture.h"

#include "DBGrid.h"
#include "DataSource.h"
#include "SessionInit.h"
#include "TextPrint.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

using namespace Qt::StringLiterals;

class TextPrintTest : public ExportFixture {
protected:
    void SetUp() override {
        ExportFixture::SetUp();
        SavedPath = qgetenv("PATH");
    }
    void TearDown() override {
        qputenv("PATH", SavedPath);
        ExportFixture::TearDown();
    }
    // A shell script in the scratch folder.
    QString Script(const QString& name, const QByteArray& body) {
        const QString path = Path(name);
        TestWrite(path, "#!/bin/sh\n" + body);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    static bool WaitFor(const QString& path) {
        QElapsedTimer timer;
        timer.start();
        while (!QFileInfo::exists(path) && timer.elapsed() < 10000)
            QThread::msleep(20);
        QThread::msleep(50); // let the writer finish its line
        return QFileInfo::exists(path);
    }
    QByteArray SavedPath;
};

TEST_F(TextPrintTest, FileAndTargetGetTheFinalText) {
    const QString file = Path(u"report.txt"_s);
    const QString target = Path(u"printer.out"_s);
    TestWrite(file, "  ab\r\n   cd\n  \xCA\xEB\r");
    ExportTxtOpts.DftTarget = u"  "_s + target + u" "_s; // trimmed
    ExportTxtOpts.BeforePrint = u"#27'E'"_s;
    ExportTxtOpts.AfterPrint = u"#12"_s;
    ExportTxtOpts.Copies = 2;
    ExportTxtOpts.TxtCyrSet = 1;
    CyrTailShift = 64;
    PrintTextFile(file);
    // Two blanks shared by every line go; "Кл" turns into its DOS codes; the
    // before text leads the first line and the after text ends the last one
    // without line breaks of their own; the copy repeats them.
    const QByteArray once = "\x1b"
                            "Eab\r\n cd\r\n\x8A\xAB\x0C\r\n";
    EXPECT_EQ(Read(file), once + once);
    EXPECT_EQ(Read(target), once + once);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(TextPrintTest, IndentationKeptByAnEmptyLine) {
    const QString file = Path(u"report.txt"_s);
    ExportTxtOpts.DftTarget = Path(u"printer.out"_s);
    TestWrite(file, "  ab\r\n\r\n  cd\r\n");
    PrintTextFile(file);
    EXPECT_EQ(Read(file), "  ab\r\n\r\n  cd\r\n");
    // 150 shared blanks: no more than 100 are removed.
    TestWrite(file, QByteArray(150, ' ') + "x\n" + QByteArray(150, ' ') + "y");
    PrintTextFile(file);
    EXPECT_EQ(Read(file), QByteArray(50, ' ') + "x\r\n" + QByteArray(50, ' ') + "y\r\n");
}

TEST_F(TextPrintTest, Failures) {
    const QString file = Path(u"report.txt"_s);
    // A file that cannot be read: nothing is printed.
    PrintTextFile(Path(u"none.txt"_s));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text,
              u"Проблем с  \""_s + Path(u"none.txt"_s) + u"\".\rNo such file or directory"_s);
    EXPECT_EQ(Messages[0].Caption, u"Грешка"_s);
    EXPECT_EQ(Messages[0].Style, MB_ICONSTOP);

    // An invalid before text stops before the file is rewritten.
    Messages.clear();
    TestWrite(file, "  ab\n");
    ExportTxtOpts.DftTarget = Path(u"printer.out"_s);
    ExportTxtOpts.BeforePrint = u"abc"_s;
    PrintTextFile(file);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, u"Invalid string:  abc"_s);
    EXPECT_EQ(Messages[0].Caption, u"Съобщение"_s);
    EXPECT_EQ(Read(file), "  ab\n");
    EXPECT_FALSE(QFileInfo::exists(Path(u"printer.out"_s)));

    // A target that cannot be written is reported and the rest goes on: the
    // file is rewritten and the program that opens it is started.
    Messages.clear();
    ExportTxtOpts.BeforePrint.clear();
    ExportTxtOpts.DftTarget = Path(u"missing/lpt"_s);
    ExportTxtOpts.OpenWith =
        Script(u"open.sh"_s, "echo \"$1\" > \"" + Path(u"opened"_s).toUtf8() + "\"\n");
    PrintTextFile(file);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, u"No such file or directory"_s);
    EXPECT_EQ(Messages[0].Caption, u"Съобщение"_s);
    EXPECT_EQ(Read(file), "ab\r\n");
    EXPECT_TRUE(WaitFor(Path(u"opened"_s)));
}

TEST_F(TextPrintTest, PrintQueueWhenNoTargetIsSet) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "prints to LPT1";
#endif
    const QString file = Path(u"report.txt"_s);
    TestWrite(file, "ab\n");
    // A stand-in for lp that keeps its arguments and what it was given.
    QDir(Dir.path()).mkdir(u"bin"_s);
    Script(u"bin/lp"_s, "echo \"$@\" > \"" + Path(u"lp.args"_s).toUtf8() + "\"\ncat > \"" +
                            Path(u"lp.data"_s).toUtf8() + "\"\n");
    qputenv("PATH", Path(u"bin"_s).toLocal8Bit() + ':' + SavedPath);
    PrintTextFile(file);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Read(Path(u"lp.args"_s)), "-o raw\n");
    EXPECT_EQ(Read(Path(u"lp.data"_s)), "ab\r\n");

    // Without lp the user is told where to send the text instead.
    qputenv("PATH", Path(u"nothing"_s).toLocal8Bit());
    PrintTextFile(file);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].Text.contains(u"lp"_s));
    EXPECT_EQ(Messages[0].Caption, u"Съобщение"_s);
}

TEST_F(TextPrintTest, OpenWithGetsTheWholeFileName) {
    // A folder with a blank in its name still reaches the program as one
    // argument, and the program runs in the file's folder.
    QDir(Dir.path()).mkdir(u"my reports"_s);
    const QString file = Path(u"my reports/report.txt"_s);
    TestWrite(file, "x\n");
    ExportTxtOpts.DftTarget = Path(u"printer.out"_s);
    ExportTxtOpts.OpenWith =
        Script(u"open.sh"_s, "echo \"$#|$1|$(pwd)\" > \"" + Path(u"opened"_s).toUtf8() + "\"\n");
    PrintTextFile(file);
    ASSERT_TRUE(WaitFor(Path(u"opened"_s)));
    EXPECT_EQ(Read(Path(u"opened"_s)),
              "1|" + file.toUtf8() + "|" + Path(u"my reports"_s).toUtf8() + "\n");
}

TEST_F(TextPrintTest, PrintActionTextBranch) {
    TDataSet set;
    set.AddField(u"Name"_s, TFieldType::String)->SetDisplayLabel(u"Име"_s);
    set.AddField(u"Total"_s, TFieldType::Integer)->SetDisplayLabel(u"Сума"_s);
    TDataSource source;
    source.SetDataSet(&set);
    TDBGrid grid;
    grid.SetDataSource(&source);
    grid.AddColumn({u"Name"_s, u"Име"_s, 50});
    grid.AddColumn({u"Total"_s, u"Сума"_s, 30});
    QStringList totals{QString(), u"30"_s};
    const QStringList lines{u"Град = София"_s};
    // The user's own settings, which the branch sets aside.
    ExportTxtOpts.TxtClmDelimiter = u";"_s;
    ExportTxtOpts.ExportHeader = false;
    ExportTxtOpts.TxtCyrSet = 1;
    CyrTailShift = 64;
    ExportTxtOpts.DftTarget = Path(u"printer.out"_s);
    const TExportTxtOpts user = ExportTxtOpts;

    // No rows: nothing is written or printed.
    set.Open();
    PrintAsText(&grid, &lines, u"Клиенти"_s, &totals);
    EXPECT_FALSE(QFileInfo::exists(Path(u"printer.out"_s)));

    set.AppendRow({u"Иван"_s, 10});
    set.AppendRow({u"Мария"_s, 20});
    PrintAsText(&grid, &lines, u"Клиенти"_s, &totals);
    // Widths (50 + 7) / 8 = 7 and (30 + 7) / 8 = 4 with "|" between them; the
    // user's code page applies when printing.
    QByteArray expected;
    const QString rule(12, u'-');
    for (const QString& line :
         {u"Клиенти"_s, u"======="_s, u"Град = София"_s, rule, u"Име    |Сума"_s, rule,
          u"Иван   |  10"_s, u"Мария  |  20"_s, rule, u"       |  30"_s, rule})
        expected += ConvertCodePage(Win1251::Encode(line)) + "\r\n";
    EXPECT_EQ(Read(Path(u"printer.out"_s)), expected);
    // The work file went once printed: nothing of the report stays behind.
    EXPECT_TRUE(QDir(WorkingFolder()).entryList({u"Report-*"_s}, QDir::Files).isEmpty());
    EXPECT_TRUE(Messages.empty());
    // Settings as they were before.
    EXPECT_EQ(ExportTxtOpts.TxtClmDelimiter, user.TxtClmDelimiter);
    EXPECT_EQ(ExportTxtOpts.ExportHeader, user.ExportHeader);
    EXPECT_EQ(ExportTxtOpts.FixedClmWidth, user.FixedClmWidth);
    EXPECT_EQ(ExportTxtOpts.TxtCyrSet, user.TxtCyrSet);
    EXPECT_EQ(ExportTxtOpts.FooterValues, nullptr);
}

// Another user of the machine must not read, prepare or receive the text:
// each print gets its own new file, readable by the user alone, in a folder
// of the user's own.
TEST_F(TextPrintTest, WorkFileIsNewPrivateAndInThePrivateFolder) {
    const QString first = NewTextPrintFile();
    const QString second = NewTextPrintFile();
    EXPECT_NE(first, second);
    EXPECT_EQ(QFileInfo(first).absolutePath(), QDir(WorkingFolder()).absolutePath());
    EXPECT_EQ(QFileInfo(first).size(), 0);
    EXPECT_EQ(QFileInfo(first).permissions(),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_EQ(QFileInfo(WorkingFolder()).permissions() &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                   QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions());
    QFile::remove(first);
    QFile::remove(second);

    // A working folder planted as a link (or someone else's) is not used.
    const QString folder = WorkingFolder();
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(Path(u"elsewhere"_s)));
    ASSERT_TRUE(QFile::link(Path(u"elsewhere"_s), folder));
    EXPECT_THROW(NewTextPrintFile(), Exception);
    QFile::remove(folder);
}

// "Във файл" with a bare name means a file in the user's documents, not
// one in the working folder where it would be lost or shared.
TEST_F(TextPrintTest, RelativeTargetLandsInTheDocumentsFolder) {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QFileInfo(documents).isDir())
        documents = QDir::homePath();
    EXPECT_EQ(TextPrintTarget(u"out/print.txt"_s), QDir(documents).filePath(u"out/print.txt"_s));
    EXPECT_EQ(TextPrintTarget(Path(u"printer.out"_s)), Path(u"printer.out"_s));
    EXPECT_EQ(TextPrintTarget(u"/dev/null"_s), u"/dev/null"_s);
}
