// Program entry of SQL Vexal.
#include "AppIcon.h"
#include "BatchRun.h"
#include "Database.h"
#include "Describe.h"
#include "ExportOptions.h"
#include "Language.h"
#include "MessageBox.h"
#include "ReportFileRun.h"
#include "RpExpr.h"
#include "SQLVexalUnit.h"
#include "SessionInit.h"
#include "Vexal.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

const char* const UsageText =
    "Usage: vexal [--text-print] [ALIAS]\n"
    "       vexal ALIAS [--subject NAME] [--run FILE] [--title TEXT] [--row-numbers]\n"
    "                   [--sql] [--export FILE] [--pdf FILE] [--report FILE] [--print]\n"
    "                   [--delimiter CHAR|tab|none] [--fixed] [--no-header] [--no-names]\n"
    "                   [--code-page windows|dos|russian|utf-8] [--format text|csv|xlsx]\n"
    "                   [--chart FILE] [--chart-kind bar|line|pie]\n"
    "       vexal ALIAS --list-subjects\n"
    "       vexal --list-aliases\n"
    "       vexal ALIAS --describe TABLE [--subject NAME]\n"
    "       vexal --create-demo FILE [--rows N]\n"
    "       vexal --find TEXT FILE.rpp\n"
    "       vexal --convert FILE.rpp --pdf OUT.pdf\n"
    "       vexal --help | --version\n"
    "Any of them also takes --language en|bg.\n"
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
    "  --find TEXT FILE    list the pages of the saved report file FILE (and the\n"
    "                      line of text) where TEXT occurs, case ignored; exit\n"
    "                      status 0 found, 1 not found, 2 the file cannot be read\n"
    "  --convert FILE      write the saved report file FILE as the PDF named by\n"
    "                      --pdf\n"
    "  --language L        the language of windows and messages: bg (Bulgarian, the\n"
    "                      default) or en (English); without it, VEXAL_LANGUAGE,\n"
    "                      then the choice in the Help menu (Помощ)\n"
    "  --help              show this text and exit\n"
    "  --version           show the version and exit\n"
    "\n"
    "Batch runs (for cron or the Task Scheduler): any of --sql, --export, --pdf,\n"
    "--report, --print or --list-subjects runs without any window or dialog. ALIAS\n"
    "is opened and its connection script run as at start; the inquiry is made as in\n"
    "an inquiry window: the subject added, the saved inquiry loaded as \"Зарежда\"\n"
    "(Load) loads it, and run as \"Справка\" (Query) runs it. Every message goes to\n"
    "standard error as \"caption: text\" and is answered with its default button.\n"
    "\n"
    "  --subject NAME      the inquiry subject, as the subject list shows it; without\n"
    "                      it, the subject the --run inquiry was saved with\n"
    "  --run FILE          load the saved inquiry FILE (the file the \"Запис\" (Save)\n"
    "                      dialog wrote; \".SQL\" is added to a name without an\n"
    "                      extension, and a bare name is also looked for in the\n"
    "                      user's SaveReps, then in SaveReps beside the program)\n"
    "  --title TEXT        the title of the report and the export\n"
    "  --row-numbers       number the report's rows\n"
    "  --sql               print the composed SELECT to standard output\n"
    "  --export FILE       export the result to the text file FILE with the export\n"
    "                      settings of the user (the options below change them for\n"
    "                      this run only)\n"
    "  --pdf FILE          write the report as a PDF\n"
    "  --report FILE       write the report as a report file (the preview opens it)\n"
    "  --print             print the report on the default printer with the\n"
    "                      subject's copies (as text in the text-print mode)\n"
    "  --delimiter C       export: column delimiter, one character, tab or none\n"
    "  --fixed             export: pad every value to its column's width\n"
    "  --no-header         export: no title, conditions, rules or totals\n"
    "  --no-names          export: no column names (matters with --no-header)\n"
    "  --code-page CP      export: windows (as is), dos (Bulgarian DOS), russian or\n"
    "                      utf-8\n"
    "  --format F          export: text, csv or xlsx (default: from the --export\n"
    "                      file's extension: .csv, .xlsx, anything else text)\n"
    "  --chart FILE        write the chart of the result: FILE.png (A4 landscape at\n"
    "                      150 dpi), FILE.svg or FILE.pdf\n"
    "  --chart-kind KIND   the chart's kind: bar, line or pie (default: the\n"
    "                      subject's, else the one the result suggests)\n"
    "  --list-subjects     print the subjects of ALIAS, one a line\n"
    "  --list-aliases      print the database aliases, one a line\n"
    "\n"
    "Exit status: 0 done; 1 an error was reported (an SQL failure, a missing\n"
    "mandatory condition, a failed export...): no file is written after it; 2 a\n"
    "wrong command line.\n";

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
        ShowMessageBox(e.message(), QCoreApplication::translate("Vexal", "Грешка"),
                       MB_OK | MB_ICONSTOP);
        return 1;
    }
    return 0;
}

// The value of --delimiter: one character, "tab" or "none".
bool ParseDelimiter(const QString& text, QString& delimiter) {
    if (text.compare(QLatin1String("tab"), Qt::CaseInsensitive) == 0)
        delimiter = QStringLiteral("\t");
    else if (text.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        delimiter.clear();
    else if (text.size() == 1)
        delimiter = text;
    else
        return false;
    return true;
}

// The value of --code-page as the export settings number it.
bool ParseCodePage(const QString& text, std::uint8_t& codePage) {
    const char* const names[] = {"windows", "dos", "russian", "utf-8"};
    for (std::uint8_t i = 0; i < 4; ++i) {
        if (text.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) {
            codePage = i;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QString alias;
    QString demoFile;
    int demoRows = 0;
    bool createDemo = false;
    bool textPrint = false;
    QString describeTable;
    bool describe = false;
    bool listAliases = false;
    QString findText;
    bool find = false;
    QString convertFile;
    TBatchOptions batch;
    QString language;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        // The value of an option that takes one; false when it is missing.
        auto value = [&](QString& into) {
            if (i + 1 >= argc)
                return false;
            into = QString::fromLocal8Bit(argv[++i]);
            return true;
        };
        auto is = [arg](const char* name) { return std::strcmp(arg, name) == 0; };
        QString text;
        if (is("--version")) {
            std::printf("SQL Vexal %s\n", VEXAL_VERSION);
            return 0;
        }
        if (is("--help") || is("-h")) {
            std::printf("%s", UsageText);
            return 0;
        }
        if (is("--create-demo")) {
            if (!value(demoFile))
                return Usage("--create-demo needs a file name");
            createDemo = true;
        } else if (is("--find")) {
            if (!value(findText) || findText.isEmpty())
                return Usage("--find needs a text");
            find = true;
        } else if (is("--convert")) {
            if (!value(convertFile) || convertFile.isEmpty())
                return Usage("--convert needs a report file");
        } else if (is("--describe")) {
            if (!value(describeTable))
                return Usage("--describe needs a table name");
            describe = true;
        } else if (is("--subject")) {
            if (!value(text))
                return Usage("--subject needs a subject name");
            batch.Subject = text;
        } else if (is("--text-print")) {
            textPrint = true;
        } else if (is("--rows")) {
            bool ok = false;
            demoRows = value(text) ? text.toInt(&ok) : 0;
            if (!ok || demoRows < 0)
                return Usage("--rows needs a whole number of rows");
        } else if (is("--run")) {
            if (!value(batch.RunFile) || batch.RunFile.isEmpty())
                return Usage("--run needs a saved inquiry");
        } else if (is("--title")) {
            if (!value(text))
                return Usage("--title needs a text");
            batch.Title = text;
        } else if (is("--row-numbers")) {
            batch.RowNumbers = true;
        } else if (is("--sql")) {
            batch.Sql = true;
        } else if (is("--export")) {
            if (!value(batch.ExportFile) || batch.ExportFile.isEmpty())
                return Usage("--export needs a file name");
        } else if (is("--pdf")) {
            if (!value(batch.PdfFile) || batch.PdfFile.isEmpty())
                return Usage("--pdf needs a file name");
        } else if (is("--report")) {
            if (!value(batch.ReportFile) || batch.ReportFile.isEmpty())
                return Usage("--report needs a file name");
        } else if (is("--print")) {
            batch.Print = true;
        } else if (is("--delimiter")) {
            QString delimiter;
            if (!value(text) || !ParseDelimiter(text, delimiter))
                return Usage("--delimiter needs one character, tab or none");
            batch.Delimiter = delimiter;
        } else if (is("--fixed")) {
            batch.FixedWidths = true;
        } else if (is("--no-header")) {
            batch.NoHeader = true;
        } else if (is("--no-names")) {
            batch.NoNames = true;
        } else if (is("--code-page")) {
            std::uint8_t codePage = 0;
            if (!value(text) || !ParseCodePage(text, codePage))
                return Usage("--code-page needs windows, dos, russian or utf-8");
            batch.CodePage = codePage;
        } else if (is("--format")) {
            TExportFormat format = TExportFormat::Auto;
            if (!value(text) || !ParseExportFormat(text, format))
                return Usage("--format needs text, csv or xlsx");
            batch.Format = format;
        } else if (is("--chart")) {
            if (!value(batch.ChartFile) || batch.ChartFile.isEmpty())
                return Usage("--chart needs a file name");
            const QString suffix = QFileInfo(batch.ChartFile).suffix().toLower();
            if (suffix != QLatin1String("png") && suffix != QLatin1String("svg") &&
                suffix != QLatin1String("pdf"))
                return Usage("--chart needs a file name ending in .png, .svg or .pdf");
        } else if (is("--chart-kind")) {
            if (!value(text) || !QStringList{"bar", "line", "pie"}.contains(text.toLower()))
                return Usage("--chart-kind needs bar, line or pie");
            batch.ChartKind = text.toLower();
        } else if (is("--list-subjects")) {
            batch.ListSubjects = true;
        } else if (is("--language")) {
            if (!value(text) || LanguageCode(text).isEmpty())
                return Usage("--language needs en or bg");
            language = LanguageCode(text);
        } else if (is("--list-aliases")) {
            listAliases = true;
        } else if (std::strncmp(arg, "--", 2) == 0) {
            return Usage("unknown option");
        } else if (alias.isNull()) {
            alias = QString::fromLocal8Bit(arg);
        }
    }

    const bool inquiryOptions = !batch.RunFile.isEmpty() || batch.Title || batch.RowNumbers;
    // Saved report files: --find and --convert take nothing else.
    if (find || !convertFile.isEmpty()) {
        const bool others = batch.Sql || !batch.ExportFile.isEmpty() ||
                            !batch.ReportFile.isEmpty() || batch.Print || batch.ListSubjects ||
                            inquiryOptions || batch.Subject || describe || createDemo ||
                            listAliases || batch.HasExportSettings() || textPrint;
        if (find && !convertFile.isEmpty())
            return Usage("--find and --convert go one at a time");
        if (find && (others || !batch.PdfFile.isEmpty() || alias.isEmpty()))
            return Usage("--find goes with a text and a report file only");
        if (!convertFile.isEmpty() && (others || batch.PdfFile.isEmpty() || !alias.isNull()))
            return Usage("--convert goes with a report file and --pdf only");
        PrepareBatchPlatform();
        QGuiApplication app(argc, argv);
        InstallLanguage(ChosenLanguage(language));
        QGuiApplication::setApplicationName(QStringLiteral("vexal"));
        return find ? FindInReportFile(alias, findText)
                    : ConvertReportFile(convertFile, batch.PdfFile);
    }
    if (listAliases) {
        if (!alias.isEmpty() || batch.IsBatch() || inquiryOptions || batch.Subject || describe ||
            createDemo || batch.HasExportSettings())
            return Usage("--list-aliases goes alone");
        QCoreApplication core(argc, argv);
        InstallLanguage(ChosenLanguage(language));
        QCoreApplication::setApplicationName(QStringLiteral("vexal"));
        return ListAliases();
    }
    if (batch.IsBatch()) {
        if (describe || createDemo)
            return Usage("a batch run goes without --describe and --create-demo");
        if (alias.isEmpty())
            return Usage("a batch run needs a database alias");
        if (batch.ListSubjects && (batch.RunsInquiry() || inquiryOptions || batch.Subject))
            return Usage("--list-subjects goes with the alias only");
        if (batch.RunsInquiry() && !batch.Subject && batch.RunFile.isEmpty())
            return Usage("a batch run needs --subject or --run");
    } else if (inquiryOptions) {
        return Usage("--run, --title and --row-numbers go with --sql, --export, --pdf, "
                     "--report, --chart or --print");
    }
    if (batch.ChartKind && batch.ChartFile.isEmpty())
        return Usage("--chart-kind goes with --chart");
    if (batch.HasExportSettings() && batch.ExportFile.isEmpty())
        return Usage("the export settings go with --export");
    if (batch.Subject && !describe && !batch.IsBatch())
        return Usage("--subject goes with --describe or a batch run");
    if (describe) {
        if (alias.isEmpty())
            return Usage("--describe needs a database alias");
        if (describeTable.trimmed().isEmpty())
            return Usage("--describe needs a table name");
        QCoreApplication core(argc, argv);
        InstallLanguage(ChosenLanguage(language));
        QCoreApplication::setApplicationName(QStringLiteral("vexal"));
        return DescribeTable(alias, describeTable, batch.Subject.value_or(QString()));
    }

    if (createDemo) {
        QCoreApplication core(argc, argv);
        InstallLanguage(ChosenLanguage(language));
        QCoreApplication::setApplicationName(QStringLiteral("vexal"));
        try {
            CreateDemoDatabase(demoFile, demoRows);
        } catch (const Exception& e) {
            std::fprintf(stderr, "vexal: %s\n", e.message().toUtf8().constData());
            return 1;
        }
        return 0;
    }

    if (batch.IsBatch()) {
        batch.Alias = alias;
        PrepareBatchPlatform();
        TVexalApplication app(argc, argv);
        InstallLanguage(ChosenLanguage(language));
        QApplication::setApplicationName(QStringLiteral("vexal"));
        QApplication::setApplicationDisplayName(QStringLiteral("SQL Vexal"));
        InitProgramDir();
        StartExpressionEngine();
        if (textPrint)
            TextPrintMode = true;
        return RunBatch(batch);
    }

    TVexalApplication app(argc, argv);
    InstallLanguage(ChosenLanguage(language));
    QApplication::setApplicationName(QStringLiteral("vexal"));
    QApplication::setApplicationDisplayName(QStringLiteral("SQL Vexal"));
    QApplication::setWindowIcon(AppIcon());
    InitProgramDir();
    // The report engine starts with the program: "AppStartTime" and
    // "AppStartDate" of report expressions tell when.
    StartExpressionEngine();
    SetMessageBoxHandler(WidgetMessageBox);
    if (textPrint)
        TextPrintMode = true;

    int exitCode = 0;
    std::unique_ptr<TSQLVexalForm> form = StartUp(alias, DefaultStartupHooks(), &exitCode);
    if (!form)
        return exitCode;
    form->ShowAtStart();
    return app.exec();
}
