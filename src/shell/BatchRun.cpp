#include "BatchRun.h"

#include "Database.h"
#include "ExportOptions.h"
#include "Inquiry.h"
#include "MessageBox.h"
#include "Query.h"
#include "RpPrinter.h"
#include "RpReport.h"
#include "RpReportFunctions.h"
#include "RpSpravkaUnit.h"
#include "SQLVexalUnit.h"
#include "SavedInquiry.h"
#include "SessionInit.h"
#include "SpravkaUnit.h"
#include "Vexal.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>

bool TBatchOptions::IsBatch() const {
    return RunsInquiry() || ListSubjects;
}

bool TBatchOptions::RunsInquiry() const {
    return Sql || !ExportFile.isEmpty() || !PdfFile.isEmpty() || !ReportFile.isEmpty() || Print ||
           !ChartFile.isEmpty();
}

bool TBatchOptions::ReadsRowsOnce() const {
    const int outputs =
        int(!ExportFile.isEmpty()) + int(!PdfFile.isEmpty()) + int(!ReportFile.isEmpty());
    return outputs == 1 && !Print && ChartFile.isEmpty();
}

bool TBatchOptions::HasExportSettings() const {
    return Delimiter.has_value() || FixedWidths || NoHeader || NoNames || CodePage.has_value() ||
           Format.has_value();
}

void PrepareBatchPlatform() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Windows and macOS always have their own platform; an X11 or Wayland
    // session is used when there is one, so the report's screen metrics are
    // those of the interactive program on the same desktop.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
}

namespace {

QString ErrorCaption() {
    return QCoreApplication::translate("BatchRun", "Грешка");
}
QString NoteCaption() {
    return QCoreApplication::translate("BatchRun", "Съобщение");
}

void PrintLine(std::FILE* stream, const QString& line) {
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fputc('\n', stream);
}

// Messages of the run go to standard error; every one that carries the
// error icon marks the run as failed.
class TBatchMessages {
public:
    TBatchMessages() {
        Previous =
            SetMessageBoxHandler([this](const QString& text, const QString& caption, int style) {
                if ((style & 0xF0) == MB_ICONSTOP)
                    ++Errors;
                return StderrMessageBox(text, caption, style);
            });
    }
    ~TBatchMessages() { SetMessageBoxHandler(std::move(Previous)); }
    TBatchMessages(const TBatchMessages&) = delete;
    TBatchMessages& operator=(const TBatchMessages&) = delete;

    int Errors = 0;
    // An operation ended by an error that was told already (EAbort).
    bool Aborted = false;
    bool Failed() const { return Errors > 0 || Aborted; }

    // Runs one step as the message loop would: an error that escapes it is
    // shown as the application-wide handler shows it.
    void Guard(const std::function<void()>& step) {
        try {
            step();
        } catch (const EAbort&) {
            Aborted = true;
        } catch (const Exception& e) {
            AppException(e.message());
            Aborted = true;
        } catch (const std::exception& e) {
            AppException(QString::fromUtf8(e.what()));
            Aborted = true;
        }
    }

private:
    MessageBoxHandler Previous;
};

// A file name of the command line, taken from the folder the program was
// started in (the session bootstrap changes the current folder later).
QString AbsoluteName(const QString& name) {
    return name.isEmpty() ? name : QFileInfo(name).absoluteFilePath();
}

// The base name of a saved inquiry: the name as typed, or with ".SQL"
// added when it has no extension (as the file dialogs add it); a bare name
// is also looked for in the user's SaveReps folder, then in the shared one
// beside the program. The first of these whose set exists; else the name as
// typed, so loading reports it.
QString SavedInquiryBase(const QString& typed, const QString& startFolder) {
    QStringList candidates;
    auto add = [&](const QString& path) {
        candidates << path;
        if (QFileInfo(path).suffix().isEmpty())
            candidates << path + SavedInquiryExtension;
    };
    add(QDir(startFolder).absoluteFilePath(typed));
    if (QFileInfo(typed).isRelative() && !typed.contains(u'/') && !typed.contains(u'\\')) {
        add(QDir(SavedInquiryFolder()).filePath(typed));
        add(QDir(SharedSavedInquiryFolder()).filePath(typed));
    }
    for (const QString& base : candidates)
        if (QFileInfo::exists(base + QStringLiteral(".SEL.DRN")))
            return base;
    return candidates.first();
}

// The export settings of this run: the user's stored ones (loaded with the
// application object) with the command line's over them. Never stored back.
void ApplyExportSettings(const TBatchOptions& o) {
    if (o.Delimiter) {
        ExportTxtOpts.TxtClmDelimiter = *o.Delimiter;
        // A CSV file always separates its values.
        if (!o.Delimiter->isEmpty() && *o.Delimiter != QStringLiteral("\""))
            ExportCsvOpts.Delimiter = *o.Delimiter;
    }
    if (o.FixedWidths)
        ExportTxtOpts.FixedClmWidth = true;
    if (o.NoHeader)
        ExportTxtOpts.ExportHeader = false;
    if (o.NoNames)
        ExportTxtOpts.ExportClmNames = false;
    if (o.CodePage) {
        ExportTxtOpts.TxtCyrSet = *o.CodePage;
        if (*o.CodePage != 0)
            CyrTailShift = CyrTailShiftFor(*o.CodePage);
    }
}

bool HasRows(TSpravkaForm* window) {
    TQuery* data = window->Inquiry->qrDATA();
    return data->Active() && !data->IsEmpty();
}

// Tells that an output was not made because the result is empty: the
// window's preview and print do nothing then, which a scheduler could not
// see.
void NothingToWrite(const QString& what) {
    ShowMessageBox(QCoreApplication::translate("BatchRun", "Справката няма редове: ") + what,
                   NoteCaption(), MB_OK | MB_ICONINFORMATION);
}

void PrintSubjects(TSpravkaForm* window) {
    TQuery* subjects = window->Inquiry->qrTableName;
    if (!subjects->Active())
        return;
    for (subjects->First(); !subjects->Eof(); subjects->Next())
        PrintLine(stdout, subjects->FieldByName(QStringLiteral("BGTableName"))->AsString());
    std::fflush(stdout);
}

// The subject a saved inquiry was saved with: the first line of its
// ".SELBG.DRN" file. False (and the user told) when it cannot be read.
bool SavedSubject(const QString& base, QString& subject) {
    // A set that is not there at all is said so by name; the loader's own
    // message speaks of a missing folder or a file left open.
    if (!QFileInfo::exists(base + QStringLiteral(".SEL.DRN")) &&
        !QFileInfo::exists(base + QStringLiteral(".SELBG.DRN"))) {
        ShowMessageBox(QCoreApplication::translate("BatchRun", "Няма такава записана справка: ") +
                           QDir::toNativeSeparators(base),
                       ErrorCaption(), MB_OK | MB_ICONSTOP);
        return false;
    }
    try {
        const QStringList lines = ReadScriptLines(base + QStringLiteral(".SELBG.DRN"));
        subject = lines.value(0);
        return true;
    } catch (const Exception&) {
        ShowMessageBox(SavedInquiryFailureMessage(), ErrorCaption(), MB_OK | MB_ICONSTOP);
        return false;
    }
}

// The inquiry of the run: subject, saved set, title and row numbers, then
// the run of "Справка". True when the result is open.
bool RunTheInquiry(TSpravkaForm* window, const TBatchOptions& o, TBatchMessages& messages) {
    TInquiry* inquiry = window->Inquiry;
    QString subject = o.Subject.value_or(QString());
    if (!o.Subject && !SavedSubject(o.RunFile, subject))
        return false;
    // Without a subject the run would take whichever subject the list
    // shows first: a wrong result reported as done.
    if (!inquiry->SelectSubject(subject)) {
        ShowMessageBox(QCoreApplication::translate("BatchRun", "Няма такава справка: ") + subject,
                       ErrorCaption(), MB_OK | MB_ICONSTOP);
        return false;
    }
    if (!o.RunFile.isEmpty()) {
        try {
            LoadInquiryFiles(*inquiry, o.RunFile);
        } catch (const Exception& e) {
            ShowMessageBox(e.message(), ErrorCaption(), MB_OK | MB_ICONSTOP);
            return false;
        }
    }
    // Adding the subject gave the title its name; the user's title replaces
    // it as typing into the title box would.
    if (o.Title)
        window->edTitle->setText(*o.Title);
    if (o.RowNumbers)
        window->cbRowNumbers->setChecked(true);
    // A run whose one output reads the rows once (the export, the PDF or the
    // report file) reads them forward-only, as the output takes them: memory
    // stays the same however many rows the result has. Two outputs, printing
    // and charts need the rows held.
    if (o.ReadsRowsOnce() && (!o.ExportFile.isEmpty() || !inquiry->ChartInReport))
        inquiry->qrDATA()->SetUniDirectional(true);
    messages.Guard([&] { window->RunInquiry(); });
    return !messages.Failed() && inquiry->qrDATA()->Active() && !inquiry->Modified;
}

// The outputs, in the order of the command line's description; the first
// that fails ends the run.
bool WriteOutputs(TSpravkaForm* window, const TBatchOptions& o, TBatchMessages& messages) {
    TRpSpravkaForm* report = window->ReportForm;
    if (!o.ExportFile.isEmpty()) {
        ApplyExportSettings(o);
        messages.Guard([&] {
            report->ExportSequence(*window, o.ExportFile, o.Format.value_or(TExportFormat::Auto));
        });
        if (messages.Failed())
            return false;
        if (!QFileInfo::exists(o.ExportFile)) {
            ShowMessageBox(
                QCoreApplication::translate("BatchRun", "Неосъществен експорт във файл."),
                ErrorCaption(), MB_OK | MB_ICONSTOP);
            return false;
        }
    }

    const struct {
        const QString& File;
        TReportFileKind Kind;
    } saves[] = {{o.PdfFile, TReportFileKind::Pdf}, {o.ReportFile, TReportFileKind::ReportFile}};
    for (const auto& save : saves) {
        if (save.File.isEmpty())
            continue;
        bool written = false;
        // A PDF is drawn straight into its file as the report runs: no
        // pages are recorded and replayed for it.
        struct TDirectPdf {
            TRpReport* Report;
            ~TDirectPdf() { Report->SetPdfOutput(QString()); }
        } direct{report->RpSpravka};
        if (save.Kind == TReportFileKind::Pdf)
            report->RpSpravka->SetPdfOutput(save.File);
        messages.Guard([&] { written = report->SaveSequence(*window, save.File, save.Kind); });
        if (messages.Failed())
            return false;
        if (!written)
            NothingToWrite(u'"' + save.File +
                           QCoreApplication::translate("BatchRun", "\" не е записан."));
    }

    if (!o.ChartFile.isEmpty()) {
        bool written = false;
        const std::optional<TChartKind> kind =
            o.ChartKind ? ChartKindFromName(*o.ChartKind) : std::nullopt;
        messages.Guard([&] { written = window->SaveChartFile(o.ChartFile, kind); });
        if (messages.Failed())
            return false;
        if (!written)
            NothingToWrite(u'"' + o.ChartFile +
                           QCoreApplication::translate("BatchRun", "\" не е записан."));
    }

    if (o.Print) {
        // The window's print says nothing when the printer fails; a batch
        // run must, or a scheduler takes an unprinted report for printed.
        report->PrintPages = [](TRpPrinter* printer) {
            if (!printer->PrinterPresent()) {
                ShowMessageBox(QCoreApplication::translate(
                                   "BatchRun", "Няма принтер, на който да се отпечата справката."),
                               ErrorCaption(), MB_OK | MB_ICONSTOP);
                return;
            }
            try {
                PrintPreparedPages(printer);
            } catch (const Exception& e) {
                ShowMessageBox(e.message(), ErrorCaption(), MB_OK | MB_ICONSTOP);
            }
        };
        const bool rows = HasRows(window);
        messages.Guard([&] { report->PrintSequence(*window); });
        report->PrintPages = nullptr;
        if (messages.Failed())
            return false;
        if (!rows)
            NothingToWrite(QCoreApplication::translate("BatchRun", "нищо не е отпечатано."));
    }
    return true;
}

// Everything after start-up: the subject list, or the inquiry and its
// outputs. False when something failed.
bool RunInWindow(TSpravkaForm* window, const TBatchOptions& o, TBatchMessages& messages) {
    window->FormShow();
    if (o.ListSubjects) {
        PrintSubjects(window);
        return true;
    }
    const bool ran = RunTheInquiry(window, o, messages);
    if (o.Sql) {
        // Also after a failed execution: the statement is what the user
        // needs to see then. A missing condition composes none.
        for (const QString& line : window->Inquiry->qrDATA()->SQL())
            PrintLine(stdout, line);
        std::fflush(stdout);
    }
    // An error reported at any point before (the connection script
    // included) means no file is written at all.
    if (!ran || messages.Failed())
        return false;
    return WriteOutputs(window, o, messages);
}

} // namespace

int RunBatch(const TBatchOptions& options) {
    TBatchOptions o = options;
    const QString startFolder = QDir::currentPath();
    o.ExportFile = AbsoluteName(o.ExportFile);
    o.PdfFile = AbsoluteName(o.PdfFile);
    o.ReportFile = AbsoluteName(o.ReportFile);
    o.ChartFile = AbsoluteName(o.ChartFile);
    if (!o.RunFile.isEmpty())
        o.RunFile = SavedInquiryBase(o.RunFile, startFolder);

    TBatchMessages messages;
    // The alias is given; nothing may ask for another.
    TStartupHooks hooks;
    hooks.CtrlHeld = [] { return false; };
    hooks.ChooseAlias = [](const QString&) { return QString(); };
    int exitCode = 0;
    std::unique_ptr<TSQLVexalForm> main;
    messages.Guard([&] { main = StartUp(o.Alias, hooks, &exitCode); });
    if (!main)
        return BatchFailed;

    // Made as the main window makes its first inquiry window, but never
    // shown; it goes before the main window and its database.
    std::unique_ptr<TSpravkaForm> window(new TSpravkaForm(main.get()));
    // A catalogue that cannot be read raises out of the window's operations,
    // as it would reach the message loop.
    bool done = false;
    messages.Guard([&] { done = RunInWindow(window.get(), o, messages); });
    return done && !messages.Failed() ? BatchOk : BatchFailed;
}

int ListAliases() {
    TSession& session = TSession::Default();
    try {
        if (!session.Active())
            session.Open();
        QStringList names = session.AliasNames();
        // In the chooser's order: alphabetical, whatever the letter case.
        std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        for (const QString& name : names)
            PrintLine(stdout, name);
    } catch (const Exception& e) {
        StderrMessageBox(e.message(), ErrorCaption(), MB_OK | MB_ICONSTOP);
        return BatchFailed;
    }
    std::fflush(stdout);
    return BatchOk;
}
