#pragma once
// The text export writer: the rows of a result grid or data set written to a
// plain text file (Windows-1251, optionally turned into a DOS Cyrillic code
// page, or UTF-8), with an optional header (title, conditions, column names) and
// footer (column totals), laid out by the program-wide ExportTxtOpts.
// Also the buffered file writer that text printing shares.

#include "DataSet.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// How an export reaches its rows: calls row() once with each record of the
// data set current, in order. Without one the export goes from First to
// Eof itself; the report's export walks the rows in its totals run, so a
// forward-only result is read once and the footer's totals are known when
// the last row is written.
using ExportRowWalk = std::function<void(TDataSet* dataSet, const std::function<void()>& row)>;

// Writes the rows of source (a TDBGrid or a TDataSet; anything else exports
// nothing) to fileName, or to a file the user picks when fileName is empty
// (a picked ".csv" or ".xlsx" name is written in that format, ExportTable.h).
// lines are the header's description lines (may be null), title the first
// header line (empty: the data set's name). resultText is empty after a
// successful export, otherwise the failure text (already shown to the user
// when it is a failure rather than a cancel). Clears ExportTxtOpts.FooterValues
// after a successful export. walk: how the rows are reached (see above).
void ExportToText(QObject* source, const QStringList* lines, const QString& title,
                  const QString& fileName, QString& resultText, const ExportRowWalk& walk = {});
// Calls row() for each record of dataSet through walk, or from First to Eof
// without one.
void WalkExportRows(TDataSet* dataSet, const ExportRowWalk& walk, const std::function<void()>& row);

// Progress of a long export: called before the first row and then every few
// dozen rows with the rows written so far and the rows to write (0 when the
// data set cannot tell). Answering true stops the export: the partial file
// is removed, nothing is shown, and resultText says it was not exported.
using ExportProgressHandler = std::function<bool(qint64 written, qint64 total)>;
// Installs a handler (an empty one removes it); returns the previous.
ExportProgressHandler SetExportProgressHandler(ExportProgressHandler handler);
// The handler installed now (may be empty).
const ExportProgressHandler& CurrentExportProgressHandler();

// One Windows-1251 line in the code page chosen by ExportTxtOpts.TxtCyrSet:
// 0 leaves it as it is; 1 and 2 move А..п (192-239) down by 64 and р..я
// (240-255) by CyrTailShift, which puts the basic Cyrillic letters where the
// Bulgarian DOS page (shift 64) or IBM 866 (shift 16) has them; 3 writes it
// in UTF-8.
QByteArray ConvertCodePage(const QByteArray& line);

// What the user is told once after an export that wrote '?' for characters
// the chosen code page lacks: how many values, and the first of them.
QString LostCharactersMessage(qint64 count, const QString& firstValue);

// The text of one column within a line: with FixedClmWidth and a width above
// 0 the value is padded with blanks by the field's alignment (left-aligned
// values on the right, right-aligned on the left, centred on both sides) or
// cut to the width; then the delimiter follows unless this is the last
// position. Widths count characters of the written file.
QString FormatCell(const QString& value, bool isLast, const TField* field, int width);

// Title and filter of the export file dialog, in the "description|pattern|..."
// form; the default handler turns the filter into Qt's form.
QString ExportDialogTitle();
QString ExportDialogFilter();

// The export dialog until a name is accepted: a name without an extension
// gets ".txt", an existing file is replaced only when the user agrees.
// Returns the chosen path, or an empty text for Cancel.
QString ChooseExportFile(const QString& heading);

// Asks for the name of a file to write: returns the chosen path, or an empty
// text for Cancel. Must not ask about overwriting: the writer asks itself.
using SaveFileDialogHandler =
    std::function<QString(const QString& title, const QString& filter, const QString& directory,
                          const QString& suggestedName)>;
// Installs a handler (an empty one restores the default); returns the previous.
SaveFileDialogHandler SetSaveFileDialogHandler(SaveFileDialogHandler handler);
// The default handler: a QFileDialog save dialog over the main window.
QString WidgetSaveFileDialog(const QString& title, const QString& filter, const QString& directory,
                             const QString& suggestedName);
// "A|a|B|b" -> "A (a);;B (b)"; a description that already shows its pattern
// in brackets keeps its text.
QString QtFileFilter(const QString& filter);

// Writes a file through a large buffer, so a million-line export costs a few
// hundred system calls. A file that was not finished (a write error, an
// exception, Discard) does not survive: a regular file is removed (a symbolic
// link keeps its name and its target is emptied), while a device such as a
// printer port or /dev/full, or anything else that is not a regular file, is
// never removed. Failures raise Exception with the system's message.
class TTextFileWriter {
public:
    TTextFileWriter();
    ~TTextFileWriter(); // discards an unfinished file, quietly
    TTextFileWriter(const TTextFileWriter&) = delete;
    TTextFileWriter& operator=(const TTextFileWriter&) = delete;

    // Creates the file anew (or opens a device for writing).
    void Open(const QString& fileName);
    bool IsOpen() const;
    QString FileName() const { return Name; }

    // Room for count more bytes at the end of the buffer, flushing it first
    // when it is full; Commit then takes the bytes actually filled in.
    char* Reserve(qsizetype count);
    void Commit(qsizetype count) { Used += count; }
    void Write(const char* bytes, qsizetype count);
    void Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }
    void EndLine() { Write("\r\n", 2); }

    // Writes out what is buffered and closes the file.
    void Finish();
    // Closes an unfinished file and removes it (see above).
    void Discard();

private:
    void Flush();
    void WriteOut(const char* bytes, qsizetype count);

    QString Name;
    QFile File;
    std::unique_ptr<char[]> Buffer;
    qsizetype Capacity = 0;
    qsizetype Used = 0;
    qint64 Written = 0;
    bool RegularFile = false;
    bool SymLink = false;
};

// Test seam: every TTextFileWriter fails with "No space left on device" once it
// has written this many bytes, as on a small full disk (negative: no limit).
void SetTextWriteLimit(qint64 bytes);
