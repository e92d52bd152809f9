#pragma once
// Export of a result as a table of typed cells (CSV, Excel): what such a
// writer is told about the columns, the begin/row/end interface the writers
// implement, the driver that feeds them from a grid or a data set with the
// text export's file choice, progress, messages and clean-up, and the
// choice of a format from a file name.
//
// A writer holds no widget and shows nothing; it raises Exception with the
// user-facing text. Only the driver (ExportToFile) talks to the user, through
// ShowMessageBox. A writer takes its rows one at a time, in order, so a
// forward-only row source can feed it.

#include "DataSet.h"
#include "DbValues.h"
#include "ExportText.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <string>
#include <string_view>

// The formats of an export file.
enum class TExportFormat {
    Auto, // from the file name's extension: .csv, .xlsx, anything else text
    Text,
    Csv,
    Xlsx
};

// The format a file name's extension names (case ignored): Csv, Xlsx or Text.
TExportFormat ExportFormatOfName(const QString& fileName);
// "text", "csv", "xlsx" (case ignored); false for anything else.
bool ParseExportFormat(const QString& text, TExportFormat& format);

// What a cell of a column holds, as the writers type it.
enum class TExportKind {
    Text,    // written as text, even when it looks like a number
    Number,  // whole or floating numbers
    Date,    // date only
    Time,    // time only
    DateTime // date and time
};

// One exported column.
struct TTableColumn {
    QString Caption;   // the grid's column title
    QString FieldName; // the field the column shows
    TExportKind Kind = TExportKind::Text;
    QString DisplayFormat; // the field's picture (DisplayFormat.h); may be empty
    int Width = 0;         // characters, from the grid's width
    TAlignment Alignment = TAlignment::Left;
    QString Total;           // the report's footer text of this column ("" none)
    QString TotalExpression; // the report expression behind Total ("" none)
};

// Everything a table writer is told before the first row.
struct TExportLayout {
    QString Title;          // the report's title
    QString SheetName;      // the subject's name (empty: the title)
    QStringList Conditions; // the conditions as the report prints them
    QList<TTableColumn> Columns;
    bool RowNumbers = false; // a first column "№" with the row's number
    bool HasTotals = false;  // some column has a Total
};

// The values of one row: one per column, in column order; a null QVariant is
// NULL, otherwise qint64 or double for numbers, QDateTime (without zone) for
// dates and times, QString for texts (also a value of a number or date
// column that is not one).
using TExportRow = QList<QVariant>;

// One value of a row as the export hands it to a writer without a QVariant
// for the common kinds: whole numbers and numbers of a number column, texts
// as the UTF-8 bytes the row store holds (valid UTF-8, no byte-order mark),
// dates and times of a date column as their parts (years 1..9999, every
// part in its range); anything else (a number column's text, a text that
// needs the QString route, a date past those ranges) as the Value of
// TExportRow.
struct TExportCell {
    enum class TType : std::uint8_t { Null, Whole, Number, Text, Date, Value };
    TType Type = TType::Null;
    qint64 Whole = 0;
    double Number = 0;
    std::string_view Text;
    DbValues::TDateParts Date; // its QVariant: a QDateTime of Date.PlainDateTime()
    QVariant Value;
};

// A table writer: Begin, Row for every row, End; Discard at any point drops
// the file. A failure raises Exception; the file is then discarded by the
// destructor if not before. The file appears under its name only when End
// succeeds.
class TTableWriter {
public:
    virtual ~TTableWriter() = default;
    virtual void Begin(const QString& fileName, const TExportLayout& layout) = 0;
    virtual void Row(const TExportRow& row) = 0;
    // The same row as typed cells (count of them); by default turned into a
    // TExportRow for Row. A writer that takes the cells as they are writes
    // the same file either way.
    virtual void RowCells(const TExportCell* cells, qsizetype count);
    virtual void End() = 0;
    virtual void Discard() = 0;
    // The footer's totals, when they became known only with the last row:
    // columns' Total and HasTotals as in layout. Called before End.
    virtual void SetTotals(const TExportLayout& /*layout*/) {}
    // Said to the user after a successful export ("" nothing).
    virtual QString Notice() const { return {}; }
};

// What the report adds to an export: the expressions of its column totals in
// visible-column order (the footer texts come through ExportTxtOpts.FooterValues)
// and the row numbering.
struct TExportExtras {
    QStringList TotalExpressions;
    bool RowNumbers = false;
    QString SheetName; // the subject's name, for a workbook's sheet
    // How the rows are reached (ExportText.h); the footer texts are read
    // again once every row is written.
    ExportRowWalk Walk;
};

// Exports the rows of source (a TDBGrid or a TDataSet) in the given format to
// fileName, or to a file the user picks (the export dialog; the typed
// extension decides the format) when fileName is empty. Arguments and
// resultText as for ExportToText; a failed or cancelled export leaves no file.
void ExportToFile(QObject* source, const QStringList* lines, const QString& title,
                  const QString& fileName, QString& resultText,
                  TExportFormat format = TExportFormat::Auto,
                  const TExportExtras* extras = nullptr);

// The number a total's text stands for ("1 234.50", "1,234.50", "-7"); false
// when it is no number.
bool TotalNumber(const QString& text, double& value);

// The file a table writer replaces for fileName: the target of a symbolic
// link, the name itself otherwise. Raises Exception for a name that is there
// but is no regular file (a folder, a device such as /dev/full): the writers
// finish by renaming a temporary file over the target, which must never
// replace such a thing.
QString TableTargetFile(const QString& fileName);

// Test seam: every table writer fails with "No space left on device" when
// asked to write a row past this many (negative: no limit).
void SetTableWriteLimit(qint64 rows);
// For the writers: raises the seam's failure when row (0-based) is past it.
void CheckTableWriteLimit(qint64 row);
