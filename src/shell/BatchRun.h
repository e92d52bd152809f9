#pragma once
// Batch runs: an inquiry run from the command line (a scheduler's nightly
// export or PDF report) through exactly the operations of the windows. The
// database is opened and the session bootstrapped as at start-up, an
// inquiry window is made and never shown, the subject is added, the saved
// inquiry loaded as "Зарежда" loads it and the inquiry run as "Справка"
// runs it; the outputs are then the window's own sequences. So a batch run
// and an interactive run of the same inquiry give the same SQL, rows, text
// file and report.
//
// No window, chooser or dialog appears: every message the windows would
// show in a box goes to standard error as the caption, ": " and the text,
// and is answered with its default button.

#include "ExportTable.h"

#include <QString>
#include <cstdint>
#include <optional>

// Exit statuses of a batch run.
inline constexpr int BatchOk = 0;
inline constexpr int BatchFailed = 1; // an error was reported
inline constexpr int BatchUsage = 2;  // the command line is wrong

// What a batch run is asked to do. File names are as typed: relative names
// are taken from the folder the program was started in.
struct TBatchOptions {
    QString Alias;
    // The subject's display name; when not given, the subject the saved
    // inquiry was saved with (the first line of its ".SELBG.DRN" file).
    std::optional<QString> Subject;
    // Base name of a saved inquiry to load (as "Зарежда" loads it).
    QString RunFile;
    std::optional<QString> Title;
    bool RowNumbers = false;

    // Outputs, written in this order.
    bool Sql = false;   // the composed SELECT to standard output
    QString ExportFile; // the export sequence into this file (text, CSV or Excel)
    QString PdfFile;    // the prepared report pages as a PDF
    QString ReportFile; // the prepared report pages as a report file
    bool Print = false; // the print sequence, to the default printer

    // The result's chart into this file (.png, .svg or .pdf), written after
    // the report files, in this kind ("bar", "line" or "pie").
    QString ChartFile;
    std::optional<QString> ChartKind;
    bool ListSubjects = false;

    // Export settings for this run only, over the user's stored ones.
    std::optional<QString> Delimiter; // one character, or empty for none
    bool FixedWidths = false;
    bool NoHeader = false;
    bool NoNames = false;
    std::optional<std::uint8_t> CodePage; // TxtCyrSet: 0 Windows, 1 DOS, 2 Russian, 3 UTF-8
    // Format of the export file (not given: from its extension).
    std::optional<TExportFormat> Format;

    // Any of the outputs, or the subject list, makes the run a batch run.
    bool IsBatch() const;
    // An inquiry is run (an output other than the subject list).
    bool RunsInquiry() const;
    // One output that takes the rows in one pass: the export file, the PDF
    // or the report file, and nothing else but the SQL.
    bool ReadsRowsOnce() const;
    // Some export setting is given.
    bool HasExportSettings() const;
};

// Chooses the offscreen platform when there is no display to connect to, so
// a batch run works under cron or over ssh. Call before the application
// object is created; a platform the user named is kept.
void PrepareBatchPlatform();

// Runs the batch described by options; the application object must exist
// and ProgramDir be set. Returns the exit status: BatchOk, or BatchFailed
// when any error was reported (no output is written after that).
int RunBatch(const TBatchOptions& options);

// Prints the database aliases, sorted as the alias chooser sorts them, one a
// line. Needs an application object.
int ListAliases();
