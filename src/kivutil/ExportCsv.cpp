#include "ExportCsv.h"

#include "DisplayFormat.h"
#include "ExportOptions.h"
#include "FormatSettings.h"

#include <charconv>

namespace {

// The buffer is written out once it holds this much.
constexpr qsizetype FlushSize = 1 << 20;

void AppendText(QByteArray& out, const QString& text, char delimiter) {
    const QByteArray bytes = text.toUtf8();
    bool quote = false;
    for (const char c : bytes) {
        if (c == delimiter || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out += bytes;
        return;
    }
    out += '"';
    for (const char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

QString DefaultPicture(TExportKind kind) {
    switch (kind) {
    case TExportKind::Date:
        return QStringLiteral("dd.mm.yyyy");
    case TExportKind::Time:
        return QStringLiteral("hh:nn:ss");
    default:
        return QStringLiteral("dd.mm.yyyy hh:nn:ss");
    }
}

QString IsoText(const QDateTime& value, TExportKind kind) {
    switch (kind) {
    case TExportKind::Date:
        return value.date().toString(Qt::ISODate);
    case TExportKind::Time:
        return value.time().toString(Qt::ISODate);
    default:
        // Local time as stored: no zone suffix.
        return value.date().toString(Qt::ISODate) + u'T' + value.time().toString(Qt::ISODate);
    }
}

} // namespace

TCsvWriter::~TCsvWriter() {
    Discard();
}

void TCsvWriter::AppendValue(QByteArray& out, const QVariant& value, const TTableColumn& column,
                             char delimiter) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return;
    case QMetaType::LongLong: {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value.toLongLong()).ptr;
        out.append(digits, end - digits);
        return;
    }
    case QMetaType::Double: {
        char digits[40];
        const auto end = std::to_chars(digits, digits + sizeof digits, value.toDouble()).ptr;
        out.append(digits, end - digits);
        return;
    }
    case QMetaType::QDateTime: {
        const QDateTime when = value.toDateTime();
        if (ExportCsvOpts.DisplayDates) {
            const QString picture =
                column.DisplayFormat.isEmpty() ? DefaultPicture(column.Kind) : column.DisplayFormat;
            AppendText(out, FormatDateTimePicture(picture, when), delimiter);
        } else {
            AppendText(out, IsoText(when, column.Kind), delimiter);
        }
        return;
    }
    default:
        AppendText(out, value.toString(), delimiter);
    }
}

void TCsvWriter::Begin(const QString& fileName, const TExportLayout& layout) {
    Layout = layout;
    Rows = 0;
    const QString delimiter = ExportCsvOpts.Delimiter;
    Delimiter =
        delimiter.size() == 1 && delimiter[0].unicode() < 0x80 ? char(delimiter[0].unicode()) : ',';
    File.setFileName(TableTargetFile(fileName));
    // Never written in place: a failed export must not leave half a file.
    File.setDirectWriteFallback(false);
    if (!File.open(QIODevice::WriteOnly))
        throw Exception(File.errorString());
    Buffer.reserve(FlushSize + (FlushSize >> 2));
    if (ExportCsvOpts.ByteOrderMark)
        Buffer += "\xEF\xBB\xBF";
    bool first = true;
    auto separate = [&] {
        if (!first)
            Buffer += Delimiter;
        first = false;
    };
    if (Layout.RowNumbers) {
        separate();
        AppendText(Buffer, QStringLiteral("№"), Delimiter);
    }
    for (const TTableColumn& column : Layout.Columns) {
        separate();
        AppendText(Buffer, column.Caption, Delimiter);
    }
    EndLine();
}

void TCsvWriter::Row(const TExportRow& row) {
    CheckTableWriteLimit(Rows);
    ++Rows;
    if (Layout.RowNumbers) {
        AppendValue(Buffer, QVariant(Rows), TTableColumn(), Delimiter);
        if (!row.isEmpty())
            Buffer += Delimiter;
    }
    for (qsizetype c = 0; c < row.size() && c < Layout.Columns.size(); ++c) {
        if (c > 0)
            Buffer += Delimiter;
        AppendValue(Buffer, row[c], Layout.Columns[c], Delimiter);
    }
    EndLine();
}

void TCsvWriter::EndLine() {
    Buffer += "\r\n";
    if (Buffer.size() >= FlushSize)
        Flush();
}

void TCsvWriter::Flush() {
    if (Buffer.isEmpty())
        return;
    if (File.write(Buffer) != Buffer.size())
        throw Exception(File.errorString());
    Buffer.resize(0);
}

void TCsvWriter::End() {
    Flush();
    if (!File.commit())
        throw Exception(File.errorString());
}

void TCsvWriter::Discard() {
    Buffer.clear();
    if (File.isOpen()) {
        File.cancelWriting();
        File.commit(); // after cancelWriting: removes the temporary file
    }
}
