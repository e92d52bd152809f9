#include "ExportTable.h"

#include "DBGrid.h"
#include "ExportCsv.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "ExportXlsx.h"
#include "MessageBox.h"
#include "RowStore.h"
#include "TextRoutines.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace {

qint64 RowLimit = -1;

QString NotExported() {
    return QCoreApplication::translate("ExportTable", "Неосъществен експорт във файл.");
}

// Rows written between two calls of the progress handler.
constexpr qint64 ProgressRows = 64;

struct TExportStopped : std::exception {};

// One exported column and the field it reads.
struct TSourceColumn {
    TField* Field = nullptr;
    TExportKind Kind = TExportKind::Text;
};

TExportKind KindOf(const TField* field) {
    switch (field->DataType()) {
    case TFieldType::Date:
        return TExportKind::Date;
    case TFieldType::Time:
        return TExportKind::Time;
    case TFieldType::DateTime:
        return TExportKind::DateTime;
    case TFieldType::Aggregate:
        return TExportKind::Number; // a value that is no number stays text
    default:
        return field->IsNumeric() ? TExportKind::Number : TExportKind::Text;
    }
}

TDataSet* DataSetOf(QObject* source) {
    if (auto* grid = qobject_cast<TDBGrid*>(source))
        return grid->DataSet();
    return qobject_cast<TDataSet*>(source);
}

// The columns of a grid (visible ones with a field, in display order, width
// from pixels) or of a data set (every field, its display width). Footer
// texts and total expressions belong to the visible columns in order, as
// the report numbers its column slots.
// The footer texts of the columns, from ExportTxtOpts.FooterValues.
void ReadTotals(TExportLayout& layout) {
    const QStringList* footer = ExportTxtOpts.FooterValues;
    layout.HasTotals = false;
    for (qsizetype k = 0; k < layout.Columns.size(); ++k) {
        TTableColumn& column = layout.Columns[k];
        column.Total = footer && k < footer->size() ? footer->at(k) : QString();
        layout.HasTotals = layout.HasTotals || !TrimText(column.Total).isEmpty();
    }
}

bool ReadLayout(QObject* source, const TExportExtras* extras, TExportLayout& layout,
                QList<TSourceColumn>& fields) {
    auto add = [&](TField* field, const QString& caption, int width) {
        const qsizetype k = layout.Columns.size();
        TTableColumn column;
        column.Caption = caption.isEmpty() ? field->FieldName() : caption;
        column.FieldName = field->FieldName();
        column.Kind = KindOf(field);
        column.DisplayFormat = field->DisplayFormat();
        column.Width = width;
        column.Alignment = field->Alignment();
        if (extras && k < extras->TotalExpressions.size())
            column.TotalExpression = extras->TotalExpressions.at(k);
        layout.Columns << column;
        fields << TSourceColumn{field, column.Kind};
    };
    if (auto* grid = qobject_cast<TDBGrid*>(source)) {
        if (!grid->DataSet())
            return false;
        for (int i = 0; i < grid->ColumnCount(); ++i) {
            TField* field = grid->ColumnVisible(i) ? grid->ColumnField(i) : nullptr;
            if (field)
                add(field, TrimText(grid->ColumnTitle(i)), (grid->ColumnWidth(i) + 7) / 8);
        }
        return true;
    }
    if (auto* dataSet = qobject_cast<TDataSet*>(source)) {
        for (int i = 0; i < dataSet->FieldCount(); ++i) {
            TField* field = dataSet->Fields(i);
            add(field, TrimText(field->DisplayName()), field->DisplayWidth());
        }
        return true;
    }
    return false;
}

// The value of a field in the current record, typed for the writers.
QVariant CellValue(const TSourceColumn& column) {
    TField* field = column.Field;
    if (field->IsNull())
        return {};
    switch (column.Kind) {
    case TExportKind::Number: {
        QVariant value = field->AsVariant();
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            return QVariant(value.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return QVariant(value.toDouble());
        default: {
            // A number column may hold a text (a loosely typed database):
            // a plain decimal text is the number, anything else stays text.
            const QString text = value.toString();
            bool ok = false;
            const double number = text.trimmed().toDouble(&ok);
            if (ok && !text.trimmed().isEmpty() && text.trimmed() == text)
                return QVariant(number);
            return QVariant(text);
        }
        }
    }
    case TExportKind::Date:
    case TExportKind::Time:
    case TExportKind::DateTime: {
        const QDateTime value = field->AsPlainDateTime();
        if (value.isValid())
            return QVariant(value);
        return QVariant(field->AsString());
    }
    case TExportKind::Text:
        break;
    }
    return QVariant(field->AsString());
}

// True when bytes read as UTF-8 give back the same bytes: well-formed
// sequences only (no overlong forms, surrogates or code points past
// U+10FFFF) and no byte-order mark, which a decoder may drop.
bool PlainUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        auto tail = [&](qsizetype k) {
            if (end - p <= k)
                return false;
            for (qsizetype i = 1; i <= k; ++i)
                if ((p[i] & 0xC0) != 0x80)
                    return false;
            return true;
        };
        if (b >= 0xC2 && b <= 0xDF) {
            if (!tail(1))
                return false;
            p += 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            if (!tail(2) || (b == 0xE0 && p[1] < 0xA0) || (b == 0xED && p[1] > 0x9F) ||
                (b == 0xEF && p[1] == 0xBB && p[2] == 0xBF))
                return false;
            p += 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            if (!tail(3) || (b == 0xF0 && p[1] < 0x90) || (b == 0xF4 && p[1] > 0x8F))
                return false;
            p += 4;
        } else {
            return false;
        }
    }
    return true;
}

// The value of a field in the current record as a typed cell: what
// CellValue gives, without a QVariant for numbers and texts.
void FillCell(const TSourceColumn& column, TExportCell& cell, std::string& scratch) {
    TField* field = column.Field;
    cell.Value = QVariant();
    switch (field->CurrentKind()) {
    case TCellKind::Null:
        cell.Type = TExportCell::TType::Null;
        return;
    case TCellKind::Int:
        if (column.Kind == TExportKind::Number) {
            if (field->IsFloat()) {
                cell.Type = TExportCell::TType::Number;
                cell.Number = double(field->AsLargeInt());
            } else {
                cell.Type = TExportCell::TType::Whole;
                cell.Whole = field->AsLargeInt();
            }
            return;
        }
        break;
    case TCellKind::Float:
        if (column.Kind == TExportKind::Number) {
            cell.Type = TExportCell::TType::Number;
            cell.Number = field->AsFloat();
            return;
        }
        break;
    case TCellKind::Text:
        if (column.Kind == TExportKind::Date || column.Kind == TExportKind::Time ||
            column.Kind == TExportKind::DateTime) {
            DbValues::TDateParts& d = cell.Date;
            if (field->CurrentDateParts(d) && d.Year >= 1 && d.Year <= 9999 && d.Hour >= 0 &&
                d.Hour < 24 && d.Minute >= 0 && d.Minute < 60 && d.Second >= 0 &&
                d.Second < 60 && d.Msec >= 0 && d.Msec < 1000) {
                cell.Type = TExportCell::TType::Date;
                return;
            }
            break;
        }
        if (column.Kind == TExportKind::Text) {
            cell.Text = field->CurrentUtf8(false, scratch);
            if (PlainUtf8(cell.Text)) {
                cell.Type = TExportCell::TType::Text;
                return;
            }
        }
        break;
    default:
        break;
    }
    cell.Type = TExportCell::TType::Value;
    cell.Value = CellValue(column);
}

std::unique_ptr<TTableWriter> MakeWriter(TExportFormat format) {
    if (format == TExportFormat::Xlsx)
        return std::make_unique<TXlsxWriter>();
    return std::make_unique<TCsvWriter>();
}

// Writes the rows of the source through a table writer; resultText as for
// ExportToFile.
void ExportTable(QObject* source, const QStringList* lines, const QString& title,
                 const QString& fileName, QString& resultText, TExportFormat format,
                 const TExportExtras* extras) {
    resultText = NotExported();
    TExportLayout layout;
    QList<TSourceColumn> fields;
    TDataSet* dataSet = DataSetOf(source);
    if (!dataSet || !ReadLayout(source, extras, layout, fields))
        return;
    ReadTotals(layout);
    layout.Title = title.isEmpty() ? dataSet->objectName() : title;
    if (lines)
        layout.Conditions = *lines;
    layout.RowNumbers = extras && extras->RowNumbers;
    if (extras && !extras->SheetName.isEmpty())
        layout.SheetName = extras->SheetName;

    std::unique_ptr<TTableWriter> writer = MakeWriter(format);
    try {
        writer->Begin(fileName, layout);
    } catch (const std::exception& e) {
        resultText = QCoreApplication::translate("ExportTable", "Невъзможен запис във файл ") +
                     u'"' + fileName + u'"' + QStringLiteral(".\r") +
                     QCoreApplication::translate(
                         "ExportTable", "Проверете дали има достъп до неговата папка и дали не е "
                                        "отворен в друга програма.\r") +
                     u'(' + ExceptionText(e) + u')';
        ShowMessageBox(resultText, QCoreApplication::translate("ExportTable", "Грешка"),
                       MB_ICONSTOP);
        return;
    }

    dataSet->DisableControls();
    const TBookmark bookmark = dataSet->GetBookmark();
    bool stopped = false;
    try {
        const ExportProgressHandler& progress = CurrentExportProgressHandler();
        const qint64 total = dataSet->IsUniDirectional() ? 0 : dataSet->RecordCount();
        qint64 written = 0;
        if (progress && progress(0, total))
            throw TExportStopped();
        const qsizetype count = fields.size();
        std::vector<TExportCell> cells(static_cast<std::size_t>(count));
        std::vector<std::string> scratch(static_cast<std::size_t>(count));
        WalkExportRows(dataSet, extras ? extras->Walk : ExportRowWalk(), [&] {
            for (qsizetype c = 0; c < count; ++c)
                FillCell(fields[c], cells[std::size_t(c)], scratch[std::size_t(c)]);
            writer->RowCells(cells.data(), count);
            if (progress && ++written % ProgressRows == 0 && progress(written, total))
                throw TExportStopped();
        });
        // A walk through the report's run has only now made the totals.
        ReadTotals(layout);
        writer->SetTotals(layout);
        writer->End();
        ExportTxtOpts.FooterValues = nullptr;
        resultText.clear();
    } catch (const TExportStopped&) {
        stopped = true;
    } catch (const std::exception& e) {
        resultText = NotExported() + QStringLiteral("\r(") + ExceptionText(e) + u')';
    }

    if (dataSet->BookmarkValid(bookmark))
        dataSet->GotoBookmark(bookmark);
    dataSet->EnableControls();
    if (!resultText.isEmpty()) {
        try {
            writer->Discard();
        } catch (const std::exception& e) {
            resultText += QStringLiteral("\r(") + ExceptionText(e) + u')';
            stopped = false;
        }
        if (!stopped)
            ShowMessageBox(resultText, QStringLiteral("Export Error"), MB_ICONSTOP);
        return;
    }
    if (const QString notice = writer->Notice(); !notice.isEmpty())
        ShowMessageBox(notice, QCoreApplication::translate("ExportTable", "Информация"),
                       MB_OK | MB_ICONINFORMATION);
}

} // namespace

void TTableWriter::RowCells(const TExportCell* cells, qsizetype count) {
    TExportRow row;
    row.reserve(count);
    for (qsizetype c = 0; c < count; ++c) {
        const TExportCell& cell = cells[c];
        switch (cell.Type) {
        case TExportCell::TType::Null:
            row << QVariant();
            break;
        case TExportCell::TType::Whole:
            row << QVariant(cell.Whole);
            break;
        case TExportCell::TType::Number:
            row << QVariant(cell.Number);
            break;
        case TExportCell::TType::Text:
            row << QVariant(QString::fromUtf8(cell.Text.data(), qsizetype(cell.Text.size())));
            break;
        case TExportCell::TType::Date:
            row << QVariant(cell.Date.PlainDateTime());
            break;
        case TExportCell::TType::Value:
            row << cell.Value;
            break;
        }
    }
    Row(row);
}

TExportFormat ExportFormatOfName(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return TExportFormat::Csv;
    if (suffix == QLatin1String("xlsx"))
        return TExportFormat::Xlsx;
    return TExportFormat::Text;
}

bool ParseExportFormat(const QString& text, TExportFormat& format) {
    const QString name = text.toLower();
    if (name == QLatin1String("text") || name == QLatin1String("txt"))
        format = TExportFormat::Text;
    else if (name == QLatin1String("csv"))
        format = TExportFormat::Csv;
    else if (name == QLatin1String("xlsx"))
        format = TExportFormat::Xlsx;
    else
        return false;
    return true;
}

void ExportToFile(QObject* source, const QStringList* lines, const QString& title,
                  const QString& fileName, QString& resultText, TExportFormat format,
                  const TExportExtras* extras) {
    resultText = NotExported();
    TDataSet* dataSet = DataSetOf(source);
    if (!dataSet)
        return;
    QString name = fileName;
    if (name.isEmpty()) {
        name = ChooseExportFile(title.isEmpty() ? dataSet->objectName() : title);
        if (name.isEmpty())
            return;
    }
    if (format == TExportFormat::Auto)
        format = ExportFormatOfName(name);
    if (format == TExportFormat::Text)
        ExportToText(source, lines, title, name, resultText,
                     extras ? extras->Walk : ExportRowWalk());
    else
        ExportTable(source, lines, title, name, resultText, format, extras);
}

bool TotalNumber(const QString& text, double& value) {
    QString plain;
    plain.reserve(text.size());
    for (const QChar c : text) {
        // Grouping as the pictures write it: "," or a blank.
        if (c == u',' || c.isSpace() || c == QChar(0x00A0) || c == QChar(0x202F))
            continue;
        plain += c;
    }
    if (plain.isEmpty())
        return false;
    bool ok = false;
    value = plain.toDouble(&ok);
    return ok;
}

QString TableTargetFile(const QString& fileName) {
    QFileInfo info(fileName);
    if (info.isSymLink()) {
        const QString target = info.symLinkTarget();
        if (!target.isEmpty())
            info = QFileInfo(target);
    }
    if (info.exists() && !info.isFile())
        throw Exception(QStringLiteral("\"%1\" is not a regular file").arg(fileName));
    return info.absoluteFilePath();
}

void SetTableWriteLimit(qint64 rows) {
    RowLimit = rows;
}

void CheckTableWriteLimit(qint64 row) {
    if (RowLimit >= 0 && row >= RowLimit)
        throw Exception(qt_error_string(ENOSPC));
}
