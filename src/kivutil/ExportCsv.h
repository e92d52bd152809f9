#pragma once
// The CSV writer (RFC 4180): a line of column captions, then a line per row;
// values separated by ExportCsvOpts.Delimiter, a value holding the
// delimiter, a quote or a line break quoted with its quotes doubled, lines
// ended by CR LF, UTF-8 text with a byte-order mark unless the settings say
// none. Numbers are written with a full stop and no grouping, dates and
// times in ISO 8601 (or as the column shows them when the settings say so).
// The file is written under a temporary name in the target folder and takes
// its name only when complete.

#include "ExportTable.h"

#include <QByteArray>
#include <QSaveFile>

#include <string>

class TCsvWriter : public TTableWriter {
public:
    TCsvWriter() = default;
    ~TCsvWriter() override;
    void Begin(const QString& fileName, const TExportLayout& layout) override;
    void Row(const TExportRow& row) override;
    void RowCells(const TExportCell* cells, qsizetype count) override;
    void End() override;
    void Discard() override;

    // One value as the file holds it (quoted when needed), in UTF-8.
    static void AppendValue(std::string& out, const QVariant& value, const TTableColumn& column,
                            char delimiter);

private:
    void StartRow(bool empty);
    void Flush();
    void EndLine();

    QSaveFile File;
    std::string Buffer; // lines not yet written out
    TExportLayout Layout;
    char Delimiter = ',';
    qint64 Rows = 0;
};
