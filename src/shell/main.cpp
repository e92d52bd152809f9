// Program entry of SQL Vexal.
#include "Database.h"
#include "Describe.h"
#include "ExportOptions.h"
#include "MessageBox.h"
#include "SQLVexalUnit.h"
#include "SessionInit.h"
#include "Vexal.h"

#include <QStringList>

#include <cstdio>
#include <cstring>

namespace {

const char* const UsageText =
    "Usage: vexal [--text-print] [ALIAS]\n"
    "       vexal ALIAS --describe TABLE [--subject NAME]\n"
    "       vexal --create-demo FILE [--rows N]\n"
    "       vexal --help | --version\n"
    "\n"
    "Starts SQL Vexal on the database alias ALIAS (for example DEMO, the built-in\n"
    "demo database). Without an alias, or with the Ctrl key held at start, the\n"
    "alias chooser opens.\n"
    "\n"
    "  --text-print        start in the text-print mode: print sends the result to\n"
    "                      the printer as plain text instead of the report (the\n"
    "                      mode is also in the File menu)\n"
    "  --describe TABLE    add an inquiry subject describing TABLE of the database\n"
    "                      ALIAS (one Relations row per column; Relations and\n"
    "                      Authchar are created when missing), print the rows\n"
    "                      written and exit; an existing subject is never changed\n"
    "  --subject NAME      display name of the new subject (default: TABLE)\n"
    "  --create-demo FILE  write a demo database with N sales rows to FILE and exit\n"
    "  --rows N            number of sales rows for --create-demo (default 5000)\n"
    "  --help              show this text and exit\n"
    "  --version           show the version and exit\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "vexal: %s\n\n%s", problem, UsageText);
    return 2;
}

// --describe: opens the alias as the main window does, writes the subject
// and prints the rows written, one line each. Failures go to standard
// error: 1 when the database or the description fails.
int DescribeTable(const QString& alias, const QString& table, const QString& subject) {
    SetMessageBoxHandler(StderrMessageBox);
    TDatabase database;
    database.SetDatabaseName(QStringLiteral("restdata"));
    database.SetHandleShared(true);
    database.SetLoginPrompt(false);
    database.SetParams({QStringLiteral("USER NAME=DBA"), QStringLiteral("PASSWORD=WVK")});
    database.SetTransIsolation(TTransIsolation::DirtyRead);
    try {
        database.SetAliasName(alias);
        database.Open();
        TDescriber describer(database);
        const TDescription written = describer.Write(describer.Plan(table, subject));
        for (const QString& line : written.Lines())
            std::printf("%s\n", line.toUtf8().constData());
    } catch (const Exception& e) {
        ShowMessageBox(e.message(), QStringLiteral("Грешка"), MB_OK | MB_ICONSTOP);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QString alias;
    QString demoFile;
    int demoRows = 0;
    bool createDemo = false;
    bool textPrint = false;
    QString describeTable;
    QString subject;
    bool describe = false;
    bool subjectGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("SQL Vexal %s\n", VEXAL_VERSION);
            return 0;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::printf("%s", UsageText);
            return 0;
        }
        if (std::strcmp(arg, "--create-demo") == 0) {
            if (i + 1 >= argc)
                return Usage("--create-demo needs a file name");
            createDemo = true;
            demoFile = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(arg, "--describe") == 0) {
            if (i + 1 >= argc)
                return Usage("--describe needs a table name");
            describe = true;
            describeTable = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(arg, "--subject") == 0) {
            if (i + 1 >= argc)
                return Usage("--subject needs a subject name");
            subjectGiven = true;
            subject = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(arg, "--text-print") == 0) {
            textPrint = true;
        } else if (std::strcmp(arg, "--rows") == 0) {
            bool ok = false;
            demoRows = i + 1 < argc ? QString::fromLocal8Bit(argv[++i]).toInt(&ok) : 0;
            if (!ok || demoRows < 0)
                return Usage("--rows needs a whole number of rows");
        } else if (std::strncmp(arg, "--", 2) == 0) {
            return Usage("unknown option");
        } else if (alias.isNull()) {
            alias = QString::fromLocal8Bit(arg);
        }
    }

    if (subjectGiven && !describe)
        return Usage("--subject goes with --describe");
    if (describe) {
        if (alias.isEmpty())
            return Usage("--describe needs a database alias");
        if (describeTable.trimmed().isEmpty())
            return Usage("--describe needs a table name");
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("vexal"));
        return DescribeTable(alias, describeTable, subject);
    }

    if (createDemo) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("vexal"));
        try {
            CreateDemoDatabase(demoFile, demoRows);
        } catch (const Exception& e) {
            std::fprintf(stderr, "vexal: %s\n", e.message().toUtf8().constData());
            return 1;
        }
        return 0;
    }

    TVexalApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vexal"));
    QApplication::setApplicationDisplayName(QStringLiteral("SQL Vexal"));
    InitProgramDir();
    SetMessageBoxHandler(WidgetMessageBox);
    if (textPrint)
        TextPrintMode = true;

    int exitCode = 0;
    std::unique_ptr<TSQLVexalForm> form = StartUp(alias, DefaultStartupHooks(), &exitCode);
    if (!form)
        return exitCode;
    form->showMaximized();
    return app.exec();
}
