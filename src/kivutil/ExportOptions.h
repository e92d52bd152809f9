#pragma once
// The program-wide settings of text output (export to a text file and text
// printing), edited in the export settings dialog. They are kept between runs
// in the user's configuration (vexal/export.conf); the first start begins
// with the defaults below.

#include <QString>
#include <QStringList>
#include <cstdint>

struct TExportTxtOpts {
    // Written between the values of a line: at most one character, empty = none.
    QString TxtClmDelimiter = QStringLiteral("\t");
    // Write the header and footer blocks.
    bool ExportHeader = true;
    // Write the column-names line.
    bool ExportClmNames = true;
    // Shown and stored; no output step reads it yet.
    bool ExportPageBreaks = false;
    // Pad every value to its column width.
    bool FixedClmWidth = false;
    // Cyrillic code page of the output: 0 Windows (as is), 1 DOS (Bulgarian), 2 Russian,
    // 3 UTF-8 (Utf8CodePage).
    std::uint8_t TxtCyrSet = 0;
    // Suggested file name of an export; device or file of text printing.
    QString DftTarget;
    // Per-column footer texts of the next export, not owned (nullptr = none).
    // Set by the caller right before an export, cleared by the writer; never stored.
    QStringList* FooterValues = nullptr;
    // String-literal texts sent before and after the data in text printing.
    QString BeforePrint;
    QString AfterPrint;
    // Program that opens the printed text file.
    QString OpenWith;
    // Copies of text printing.
    std::int32_t Copies = 1;
};

// TxtCyrSet of UTF-8 output, which holds every character.
inline constexpr std::uint8_t Utf8CodePage = 3;

// The one settings record of the program.
extern TExportTxtOpts ExportTxtOpts;

// Settings of the CSV export, stored with the text export's.
struct TExportCsvOpts {
    // Between the values of a line: one character.
    QString Delimiter = QStringLiteral(",");
    // Begin the file with the UTF-8 byte-order mark, by which spreadsheets
    // know the file's encoding.
    bool ByteOrderMark = true;
    // Dates and times as the column shows them instead of ISO 8601.
    bool DisplayDates = false;
};
extern TExportCsvOpts ExportCsvOpts;
// Subtracted from the 1251 codes 240-255 ("р".."я") by the DOS code-page
// conversion: 64 for the Bulgarian DOS page, 16 for the Russian one.
extern std::int32_t CyrTailShift;
// Folder in which the export file dialog opens: the program's folder with a
// trailing separator at start, then the folder of the last chosen file.
extern QString LastExportDir;
// The folder the first export dialog opens in: the program's folder with a
// trailing separator, where the user may write there; an installed copy's
// folder belongs to the administrator, and the user's documents folder (or
// home folder) is taken instead.
QString FirstExportDir(const QString& programDir);
// The print action writes a text file and prints it as text.
extern bool TextPrintMode;

// CyrTailShift for a code-page choice.
inline std::int32_t CyrTailShiftFor(std::uint8_t txtCyrSet) {
    return txtCyrSet == 1 ? 64 : 16;
}

// Puts the defaults back in memory (ExportTxtOpts, ExportCsvOpts, CyrTailShift,
// TextPrintMode).
void ResetExportSettings();
// Reads the stored settings; whatever is missing or out of range keeps its default.
// Runs by itself when the application object is created, with LastExportDir set.
void LoadExportSettings();
// Stores ExportTxtOpts (FooterValues excepted), ExportCsvOpts and CyrTailShift.
void SaveExportSettings();
