#include "ExportTable.h"

#include "DBGrid.h"
#include "ExportCsv.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "ExportXlsx.h"
#include "MessageBox.h"
#include "TextRoutines.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <memory>

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
        TExportRow row;
        row.resize(fields.size());
        WalkExportRows(dataSet, extras ? extras->Walk : ExportRowWalk(), [&] {
            for (qsizetype c = 0; c < fields.size(); ++c)
                row[c] = CellValue(fields[c]);
            writer->Row(row);
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
