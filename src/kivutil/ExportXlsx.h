#pragma once
// The Excel writer: an XLSX workbook written through libxlsxwriter in its
// constant-memory mode (each row goes to a temporary file as it comes, so
// memory stays flat however many rows there are).
//
// One sheet named after the subject: the title, the conditions, an empty
// row, the bold column captions (frozen, with an autofilter over the data),
// then the rows with typed cells (numbers, Excel dates in the column's
// display format, texts kept as texts even when they look like numbers,
// NULL an empty cell), then a totals row with the report's footer values;
// a plain SUM or COUNT total is also the formula over its column. Rows a
// sheet cannot hold continue on "Subject (2)", "Subject (3)"... with the
// header repeated. The workbook is written under a temporary name in the
// target folder and takes its name only when complete.

#include "ExportTable.h"

#include <QByteArray>
#include <string>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

class TXlsxWriter : public TTableWriter {
public:
    TXlsxWriter() = default;
    ~TXlsxWriter() override;
    TXlsxWriter(const TXlsxWriter&) = delete;
    TXlsxWriter& operator=(const TXlsxWriter&) = delete;

    void Begin(const QString& fileName, const TExportLayout& layout) override;
    void Row(const TExportRow& row) override;
    void RowCells(const TExportCell* cells, qsizetype count) override;
    void SetTotals(const TExportLayout& layout) override;
    void End() override;
    void Discard() override;
    QString Notice() const override;

    // The name of part (1, 2, ...) of a subject's sheets: forbidden characters
    // []:*?/\ replaced, cut so that it holds 31 characters with " (part)".
    static QString SheetName(const QString& subject, int part);
    // An Excel number format for a column's display format ("" General).
    static QString NumberFormat(const QString& picture, TExportKind kind);
    // The formula of a total over cells first..last (1-based rows) of a
    // column, when the total's expression is a plain SUM or COUNT of that
    // column; "" otherwise.
    static QString TotalFormula(const TTableColumn& column, int sheetColumn, int first, int last);

    // Test seam: rows a sheet holds (Excel's 1,048,576 when negative).
    static void SetSheetRowLimit(int rows);

private:
    void StartRow();
    void WriteValue(qsizetype column, const QVariant& value);
    void NewSheet();
    void CloseSheet();
    void WriteTotals();
    void Check(int error) const;

    lxw_workbook* Book = nullptr;
    lxw_worksheet* Sheet = nullptr;
    QString Target;
    QString TempName;
    QByteArray TempNameBytes;
    QByteArray TempDir;
    TExportLayout Layout;
    lxw_format* Bold = nullptr;
    lxw_format* TitleFormat = nullptr;
    std::vector<lxw_format*> Formats;      // per column, nullptr General
    std::vector<lxw_format*> TotalFormats; // per column, bold
    lxw_format* CountFormat = nullptr;
    int Offset = 0; // 1 with the row-number column
    int Sheets = 0;
    int NextRow = 0;     // 0-based row of the sheet written next
    int CaptionRow = 0;  // 0-based row of the column captions
    int LastDataRow = 0; // 0-based row of the sheet's last data row
    qint64 Rows = 0;     // data rows written in all
    std::string TextBytes; // a text cell's bytes with their terminating zero
};
