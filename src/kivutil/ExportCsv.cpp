#include "ExportCsv.h"

#include "DisplayFormat.h"
#include "ExportOptions.h"
#include "FormatSettings.h"

#include <charconv>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// The buffer is written out once it holds this much.
constexpr qsizetype FlushSize = 1 << 20;

// UTF-8 bytes of a value, quoted when they hold the delimiter, a quote or a
// line break.
void AppendBytes(std::string& out, std::string_view bytes, char delimiter) {
    bool quote = false;
    for (const char c : bytes) {
        if (c == delimiter || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out.append(bytes.data(), bytes.size());
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

void AppendText(std::string& out, const QString& text, char delimiter) {
    const QByteArray bytes = text.toUtf8();
    AppendBytes(out, std::string_view(bytes.constData(), std::size_t(bytes.size())), delimiter);
}

void AppendWhole(std::string& out, qint64 value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, std::size_t(end - digits));
}

void AppendNumber(std::string& out, double value) {
    char digits[40];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, std::size_t(end - digits));
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

// ISO 8601 of a date and time whose parts are in range (years 0..9999)
// without a zone suffix: written straight into the line, as formatting each
// value through QString cost a tenth of a million-row export.
void AppendIsoParts(std::string& out, int year, int month, int day, int hour, int minute,
                    int second, TExportKind kind, char delimiter) {
    if (kind != TExportKind::Date && kind != TExportKind::Time)
        kind = TExportKind::DateTime;
    char text[20];
    int n = 0;
    auto two = [&](int v) {
        text[n++] = char('0' + v / 10);
        text[n++] = char('0' + v % 10);
    };
    if (kind != TExportKind::Time) {
        two(year / 100);
        two(year % 100);
        text[n++] = '-';
        two(month);
        text[n++] = '-';
        two(day);
    }
    if (kind == TExportKind::DateTime)
        text[n++] = 'T';
    if (kind != TExportKind::Date) {
        two(hour);
        text[n++] = ':';
        two(minute);
        text[n++] = ':';
        two(second);
    }
    // A delimiter among the ISO characters ('-', ':' or 'T') needs quotes.
    if (std::memchr(text, delimiter, size_t(n))) {
        out += '"';
        out.append(text, std::size_t(n));
        out += '"';
    } else {
        out.append(text, std::size_t(n));
    }
}

void AppendIsoParts(std::string& out, const DbValues::TDateParts& value, TExportKind kind,
                    char delimiter) {
    AppendIsoParts(out, value.Year, value.Month, value.Day, value.Hour, value.Minute,
                   value.Second, kind, delimiter);
}

// ISO 8601 without a zone suffix (local time as stored). Years outside
// 0..9999 take Qt's own text.
void AppendIso(std::string& out, const QDateTime& value, TExportKind kind, char delimiter) {
    if (kind != TExportKind::Date && kind != TExportKind::Time)
        kind = TExportKind::DateTime;
    const QDate date = value.date();
    const QTime time = value.time();
    if ((kind != TExportKind::Time && (!date.isValid() || date.year() < 0 || date.year() > 9999)) ||
        (kind != TExportKind::Date && !time.isValid())) {
        QString text =
            kind == TExportKind::Time ? time.toString(Qt::ISODate) : date.toString(Qt::ISODate);
        if (kind == TExportKind::DateTime)
            text += u'T' + time.toString(Qt::ISODate);
        AppendText(out, text, delimiter);
        return;
    }
    AppendIsoParts(out, date.year(), date.month(), date.day(), time.hour(), time.minute(),
                   time.second(), kind, delimiter);
}

} // namespace

TCsvWriter::~TCsvWriter() {
    Discard();
}

void TCsvWriter::AppendValue(std::string& out, const QVariant& value, const TTableColumn& column,
                             char delimiter) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return;
    case QMetaType::LongLong:
        AppendWhole(out, value.toLongLong());
        return;
    case QMetaType::Double:
        AppendNumber(out, value.toDouble());
        return;
    case QMetaType::QDateTime: {
        const QDateTime when = value.toDateTime();
        if (ExportCsvOpts.DisplayDates) {
            const QString picture =
                column.DisplayFormat.isEmpty() ? DefaultPicture(column.Kind) : column.DisplayFormat;
            AppendText(out, FormatDateTimePicture(picture, when), delimiter);
        } else {
            AppendIso(out, when, column.Kind, delimiter);
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
    Buffer.reserve(std::size_t(FlushSize + (FlushSize >> 2)));
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

void TCsvWriter::StartRow(bool empty) {
    CheckTableWriteLimit(Rows);
    ++Rows;
    if (Layout.RowNumbers) {
        AppendWhole(Buffer, Rows);
        if (!empty)
            Buffer += Delimiter;
    }
}

void TCsvWriter::Row(const TExportRow& row) {
    StartRow(row.isEmpty());
    for (qsizetype c = 0; c < row.size() && c < Layout.Columns.size(); ++c) {
        if (c > 0)
            Buffer += Delimiter;
        AppendValue(Buffer, row[c], Layout.Columns[c], Delimiter);
    }
    EndLine();
}

void TCsvWriter::RowCells(const TExportCell* cells, qsizetype count) {
    StartRow(count == 0);
    for (qsizetype c = 0; c < count && c < Layout.Columns.size(); ++c) {
        if (c > 0)
            Buffer += Delimiter;
        const TExportCell& cell = cells[c];
        switch (cell.Type) {
        case TExportCell::TType::Null:
            break;
        case TExportCell::TType::Whole:
            AppendWhole(Buffer, cell.Whole);
            break;
        case TExportCell::TType::Number:
            AppendNumber(Buffer, cell.Number);
            break;
        case TExportCell::TType::Text:
            AppendBytes(Buffer, cell.Text, Delimiter);
            break;
        case TExportCell::TType::Date:
            if (ExportCsvOpts.DisplayDates)
                AppendValue(Buffer, QVariant(cell.Date.PlainDateTime()), Layout.Columns[c],
                            Delimiter);
            else
                AppendIsoParts(Buffer, cell.Date, Layout.Columns[c].Kind, Delimiter);
            break;
        case TExportCell::TType::Value:
            AppendValue(Buffer, cell.Value, Layout.Columns[c], Delimiter);
            break;
        }
    }
    EndLine();
}

void TCsvWriter::EndLine() {
    Buffer += "\r\n";
    if (qsizetype(Buffer.size()) >= FlushSize)
        Flush();
}

void TCsvWriter::Flush() {
    if (Buffer.empty())
        return;
    if (File.write(Buffer.data(), qint64(Buffer.size())) != qint64(Buffer.size()))
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
