// A second program process for the tests of several users: it opens an
// alias as the program does (connection script, connection number) and then
//   mark SUBJECT COLUMN     clicks the column's mark; prints "mark N"
//   read SUBJECT COLUMN     prints the column's mark as its grid shows it
//   work N TAG FOLDER       runs the scenarios in turn N times, exporting each
//                           result to FOLDER and logging each run in LogFile;
//                           prints "run SCENARIO ROWS MD5" per run
// Usage: integration_peer PROGRAMDIR ALIAS USER COMMAND ARGS...
// Any message box is printed to stderr and makes the exit code 1.

#include "DbAccess.h"
#include "Inquiry.h"
#include "InquiryView.h"
#include "MessageBox.h"
#include "Scenarios.h"
#include "ServerRoutines.h"
#include "SessionInit.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

int Shown = 0;

void Print(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// The mark of a column of a subject, as the column grid shows it after it
// has been filled.
int Mark(TInquiry& inquiry, const QString& subject, const QString& column) {
    if (!inquiry.qrTableName->Locate(u"BGTableName"_s, subject))
        throw Exception(u"no subject "_s + subject);
    inquiry.ReportListBoxClick();
    if (!inquiry.qrCol->Locate(u"BGColName"_s, column))
        throw Exception(u"no column "_s + column);
    return inquiry.qrCol->FieldByName(u"SelectCol"_s)->AsInteger();
}

int Work(int runs, const QString& tag, const QString& folder) {
    for (int i = 0; i < runs; ++i) {
        const TScenario& scenario = Scenarios()[std::size_t(i) % Scenarios().size()];
        QString md5;
        const TScenarioResult result = RunScenario(scenario, 1, [&](TInquiry& inquiry) {
            md5 = ExportResult(inquiry, QString::fromUtf8(scenario.Name),
                               u"%1/%2-%3.txt"_s.arg(folder, tag).arg(i));
        });
        for (const QString& message : result.Messages)
            std::fprintf(stderr, "%s\n", message.toUtf8().constData());
        Shown += int(result.Messages.size());
        if (!RunSqlScript(
                {u"INSERT INTO LogFile(UserN, Tip, LogText) VALUES(-1, 20, '%1 %2')"_s.arg(tag).arg(
                    i)}))
            ++Shown;
        Print(u"run %1 %2 %3"_s.arg(i % int(Scenarios().size())).arg(result.Rows.size()).arg(md5));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"vexal"_s);
    const QStringList args = QApplication::arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: integration_peer PROGRAMDIR ALIAS USER COMMAND ARGS...\n");
        return 2;
    }
    ProgramDir = args[1] + u'/';
    SetMessageBoxHandler([](const QString& text, const QString& caption, int style) {
        std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
        ++Shown;
        return DefaultMessageBoxButton(style);
    });
    const QString command = args[4];
    try {
        TDatabase database;
        database.SetDatabaseName(u"restdata"_s);
        database.SetAliasName(args[2]);
        database.SetParams(args[3].isEmpty()
                               ? QStringList{u"USER NAME=DBA"_s, u"PASSWORD=WVK"_s}
                               : QStringList{u"USER NAME="_s + args[3], u"PASSWORD="_s});
        database.Open();
        InitSession(database);
        ContinueOnSqlError = false;
        TPlainInquiryView view;
        TInquiry inquiry(&view, nullptr);
        inquiry.SetDatabaseName(u"restdata"_s);
        inquiry.OpenSubjectList();
        if (command == "mark"_L1 && args.size() == 7) {
            Mark(inquiry, args[5], args[6]);
            inquiry.DBGrid1CellClick(u"Text"_s);
            Print(u"mark %1"_s.arg(inquiry.qrCol->FieldByName(u"SelectCol"_s)->AsInteger()));
        } else if (command == "read"_L1 && args.size() == 7) {
            Print(u"mark %1"_s.arg(Mark(inquiry, args[5], args[6])));
        } else if (command == "work"_L1 && args.size() == 8) {
            Work(args[5].toInt(), args[6], args[7]);
        } else {
            std::fprintf(stderr, "unknown command\n");
            return 2;
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.message().toUtf8().constData());
        return 1;
    }
    return Shown > 0 ? 1 : 0;
}
