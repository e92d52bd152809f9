#include "ExportXlsx.h"

#include "TextRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <cmath>
#include <cstdio>

namespace {

constexpr int ExcelRows = 1048576;
constexpr int ExcelTextLength = 32767;
// Whole numbers with more digits lose digits in a spreadsheet's numbers.
constexpr qint64 ExcelExactWhole = 999999999999999LL;
int RowLimitForTests = -1;

int SheetRows() {
    return RowLimitForTests > 0 ? RowLimitForTests : ExcelRows;
}

QString ColumnLetters(int column) {
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters;
}

// A run of literal characters in a number format, quoted unless they are
// signs Excel shows as they are.
QString Literal(const QString& text) {
    static const QString plain = QStringLiteral(" -+$()/:!^&'~{}<>=.");
    bool quote = false;
    for (const QChar c : text)
        quote = quote || !plain.contains(c);
    if (!quote)
        return text;
    QString escaped = text;
    escaped.replace(u'"', QStringLiteral("\\\""));
    return u'"' + escaped + u'"';
}

// One section of a number picture: grouping by a blank ("### ##0.00") turns
// into Excel's comma grouping ("#,##0.00").
QString NumberSection(const QString& section) {
    const qsizetype point = section.indexOf(u'.');
    const QString whole = point < 0 ? section : section.left(point);
    QString out;
    qsizetype i = 0;
    // Text before the digits.
    QString literal;
    auto flush = [&] {
        if (!literal.isEmpty())
            out += Literal(literal);
        literal.clear();
    };
    const auto isDigit = [](QChar c) { return c == u'0' || c == u'#'; };
    while (i < whole.size() && !isDigit(whole[i])) {
        if (whole[i] == u'\'' || whole[i] == u'"') {
            const QChar quote = whole[i];
            const qsizetype end = whole.indexOf(quote, i + 1);
            literal += whole.mid(i + 1, (end < 0 ? whole.size() : end) - i - 1);
            i = end < 0 ? whole.size() : end + 1;
            continue;
        }
        literal += whole[i++];
    }
    flush();
    // The digits of the whole part and the separators between them.
    qsizetype lastDigit = -1;
    for (qsizetype k = i; k < whole.size(); ++k)
        if (isDigit(whole[k]))
            lastDigit = k;
    if (lastDigit >= 0) {
        int zeros = 0;
        int digits = 0;
        bool grouped = false;
        for (qsizetype k = i; k <= lastDigit; ++k) {
            const QChar c = whole[k];
            if (isDigit(c)) {
                ++digits;
                zeros += c == u'0';
            } else {
                grouped = true; // "," or a blank between digits
            }
        }
        if (grouped) {
            const int width = std::max(4, zeros);
            QString pattern(width, u'#');
            for (int z = 0; z < zeros; ++z)
                pattern[width - 1 - z] = u'0';
            for (int at = width - 3; at > 0; at -= 3)
                pattern.insert(at, u',');
            out += pattern;
        } else {
            out += QString(digits - zeros, u'#') + QString(zeros, u'0');
        }
        i = lastDigit + 1;
    }
    literal = whole.mid(i);
    if (point >= 0) {
        flush();
        out += u'.';
        // Decimal digits, then whatever follows them.
        const QString fraction = section.mid(point + 1);
        qsizetype k = 0;
        while (k < fraction.size() &&
               (isDigit(fraction[k]) || fraction[k] == u'E' || fraction[k] == u'e' ||
                fraction[k] == u'+' || fraction[k] == u'-'))
            out += fraction[k++];
        literal = fraction.mid(k);
    }
    literal.remove(u'\'');
    literal.remove(u'"');
    flush();
    return out;
}

QString DatePicture(const QString& picture) {
    QString out;
    QString literal;
    auto flush = [&] {
        if (!literal.isEmpty())
            out += Literal(literal);
        literal.clear();
    };
    for (qsizetype i = 0; i < picture.size();) {
        const QChar c = picture[i];
        const QChar lower = c.toLower();
        auto run = [&](QChar letter) {
            qsizetype n = 0;
            while (i + n < picture.size() && picture[i + n].toLower() == letter)
                ++n;
            return n;
        };
        if (picture.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0) {
            flush();
            out += QStringLiteral("AM/PM");
            i += 5;
        } else if (picture.mid(i, 4).compare(QLatin1String("ampm"), Qt::CaseInsensitive) == 0) {
            flush();
            out += QStringLiteral("AM/PM");
            i += 4;
        } else if (picture.mid(i, 3).compare(QLatin1String("a/p"), Qt::CaseInsensitive) == 0) {
            flush();
            out += QStringLiteral("A/P");
            i += 3;
        } else if (lower == u'd' || lower == u'm' || lower == u'y' || lower == u'h' ||
                   lower == u's') {
            flush();
            const qsizetype n = run(lower);
            out += QString(n, lower);
            i += n;
        } else if (lower == u'n') {
            flush();
            const qsizetype n = run(lower);
            out += n >= 2 ? QStringLiteral("mm") : QStringLiteral("m");
            i += n;
        } else if (lower == u'z') {
            flush();
            const qsizetype n = run(lower);
            out += n >= 3 ? QStringLiteral("000") : QStringLiteral("0");
            i += n;
        } else if (lower == u'c' && !(i > 0 && picture[i - 1].isLetter())) {
            flush();
            out += QStringLiteral("dd.mm.yyyy hh:mm");
            ++i;
        } else if (lower == u't' && !(i > 0 && picture[i - 1].isLetter())) {
            flush();
            out += QStringLiteral("hh:mm");
            ++i;
        } else if (c == u'/') {
            literal += u'.'; // the program's date separator
            ++i;
        } else if (c == u'\'' || c == u'"') {
            const qsizetype end = picture.indexOf(c, i + 1);
            literal += picture.mid(i + 1, (end < 0 ? picture.size() : end) - i - 1);
            i = end < 0 ? picture.size() : end + 1;
        } else {
            literal += c;
            ++i;
        }
    }
    flush();
    return out;
}

// The Excel serial of a date and time (days since 30 December 1899, the
// time as the day's fraction), or NaN before 1 January 1900, which Excel
// cannot show as a date.
double ExcelSerial(const QDateTime& value, TExportKind kind) {
    const double day = value.time().msecsSinceStartOfDay() / 86400000.0;
    if (kind == TExportKind::Time)
        return day;
    const QDate date = value.date();
    if (date < QDate(1900, 1, 1))
        return std::nan("");
    double serial = double(QDate(1899, 12, 30).daysTo(date));
    // Excel counts a 29 February 1900 that never was; days before it are
    // one lower than the plain count.
    if (date < QDate(1900, 3, 1))
        serial -= 1;
    return kind == TExportKind::Date ? serial : serial + day;
}

QString DateFallback(const QDateTime& value, TExportKind kind) {
    switch (kind) {
    case TExportKind::Date:
        return value.date().toString(Qt::ISODate);
    case TExportKind::Time:
        return value.time().toString(Qt::ISODate);
    default:
        return value.date().toString(Qt::ISODate) + u'T' + value.time().toString(Qt::ISODate);
    }
}

} // namespace

void TXlsxWriter::SetSheetRowLimit(int rows) {
    RowLimitForTests = rows;
}

QString TXlsxWriter::SheetName(const QString& subject, int part) {
    QString name = TrimText(subject);
    for (QChar& c : name)
        if (QStringLiteral("[]:*?/\\").contains(c) || c.unicode() < 0x20)
            c = u'_';
    // A sheet name may not begin or end with an apostrophe.
    while (name.startsWith(u'\''))
        name.remove(0, 1);
    while (name.endsWith(u'\''))
        name.chop(1);
    if (name.isEmpty())
        name = QStringLiteral("Справка");
    const QString suffix = part > 1 ? QStringLiteral(" (%1)").arg(part) : QString();
    name = name.left(31 - suffix.size());
    if (name.size() > 0 && name.back().isHighSurrogate())
        name.chop(1);
    return name + suffix;
}

QString TXlsxWriter::NumberFormat(const QString& picture, TExportKind kind) {
    const QString trimmed = TrimText(picture);
    switch (kind) {
    case TExportKind::Text:
        return {};
    case TExportKind::Number: {
        if (trimmed.isEmpty())
            return {};
        QStringList sections;
        for (const QString& section : trimmed.split(u';'))
            sections << NumberSection(section);
        return sections.join(u';');
    }
    case TExportKind::Date:
        return trimmed.isEmpty() ? QStringLiteral("dd.mm.yyyy") : DatePicture(trimmed);
    case TExportKind::Time:
        return trimmed.isEmpty() ? QStringLiteral("hh:mm:ss") : DatePicture(trimmed);
    case TExportKind::DateTime:
        return trimmed.isEmpty() ? QStringLiteral("dd.mm.yyyy hh:mm:ss") : DatePicture(trimmed);
    }
    return {};
}

QString TXlsxWriter::TotalFormula(const TTableColumn& column, int sheetColumn, int first,
                                  int last) {
    static const QRegularExpression plain(
        QStringLiteral(R"(^\s*(SUM|COUNT)\s*\(\s*([^()+\-*/,<>=&|"']+?)\s*\)\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = plain.match(column.TotalExpression);
    if (!match.hasMatch() || last < first)
        return {};
    // The argument names this column: its field or its caption, with or
    // without the table's name before a full stop, in brackets or not.
    QString argument = match.captured(2);
    if (argument.startsWith(u'[') && argument.endsWith(u']'))
        argument = argument.mid(1, argument.size() - 2);
    const QString last_part = argument.mid(argument.lastIndexOf(u'.') + 1);
    const auto same = [](const QString& a, const QString& b) {
        return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
    };
    if (!same(argument, column.FieldName) && !same(last_part, column.FieldName) &&
        !same(argument, column.Caption))
        return {};
    const QString function = match.captured(1).toUpper() == QLatin1String("SUM")
                                 ? QStringLiteral("SUM")
                                 : QStringLiteral("COUNTA");
    const QString letters = ColumnLetters(sheetColumn);
    return QStringLiteral("=%1(%2%3:%2%4)").arg(function, letters).arg(first).arg(last);
}

TXlsxWriter::~TXlsxWriter() {
    Discard();
}

void TXlsxWriter::Check(int error) const {
    if (error != LXW_NO_ERROR)
        throw Exception(QString::fromUtf8(lxw_strerror(lxw_error(error))));
}

void TXlsxWriter::Begin(const QString& fileName, const TExportLayout& layout) {
    Layout = layout;
    Target = TableTargetFile(fileName);
    Offset = Layout.RowNumbers ? 1 : 0;
    Rows = 0;
    Sheets = 0;
    // The workbook is made under a temporary name beside the target, so
    // the rename at the end stays within one file system.
    QTemporaryFile temp(QFileInfo(Target).absolutePath() + QStringLiteral("/.") +
                        QFileInfo(Target).fileName() + QStringLiteral(".XXXXXX"));
    temp.setAutoRemove(false);
    if (!temp.open())
        throw Exception(temp.errorString());
    TempName = temp.fileName();
    temp.close();
    TempNameBytes = QFile::encodeName(TempName);
    TempDir = QFile::encodeName(QDir::tempPath());

    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = TempDir.data();
    options.use_zip64 = LXW_TRUE;
    Book = workbook_new_opt(TempNameBytes.constData(), &options);
    if (!Book)
        throw Exception(QStringLiteral("Cannot create the workbook"));

    Bold = workbook_add_format(Book);
    format_set_bold(Bold);
    TitleFormat = workbook_add_format(Book);
    format_set_bold(TitleFormat);
    format_set_font_size(TitleFormat, 14);
    CountFormat = workbook_add_format(Book);
    format_set_bold(CountFormat);
    for (const TTableColumn& column : Layout.Columns) {
        const QByteArray format = NumberFormat(column.DisplayFormat, column.Kind).toUtf8();
        lxw_format* cell = nullptr;
        if (!format.isEmpty()) {
            cell = workbook_add_format(Book);
            format_set_num_format(cell, format.constData());
        }
        lxw_format* total = workbook_add_format(Book);
        format_set_bold(total);
        if (!format.isEmpty())
            format_set_num_format(total, format.constData());
        Formats.push_back(cell);
        TotalFormats.push_back(total);
    }
    NewSheet();
}

void TXlsxWriter::NewSheet() {
    if (Sheet)
        CloseSheet();
    ++Sheets;
    const QByteArray name =
        SheetName(Layout.SheetName.isEmpty() ? Layout.Title : Layout.SheetName, Sheets).toUtf8();
    Sheet = workbook_add_worksheet(Book, name.constData());
    if (!Sheet)
        throw Exception(QStringLiteral("Cannot add the sheet \"%1\"").arg(QString::fromUtf8(name)));

    if (Layout.RowNumbers)
        worksheet_set_column(Sheet, 0, 0, 6, nullptr);
    for (qsizetype c = 0; c < Layout.Columns.size(); ++c) {
        const int width = std::clamp(Layout.Columns[c].Width, 4, 255);
        worksheet_set_column(Sheet, lxw_col_t(c + Offset), lxw_col_t(c + Offset), width, nullptr);
    }

    int row = 0;
    Check(worksheet_write_string(Sheet, lxw_row_t(row++), 0, Layout.Title.toUtf8().constData(),
                                 TitleFormat));
    for (const QString& line : Layout.Conditions)
        Check(worksheet_write_string(Sheet, lxw_row_t(row++), 0,
                                     line.left(ExcelTextLength).toUtf8().constData(), nullptr));
    ++row; // the empty row
    CaptionRow = row;
    if (CaptionRow + 1 >= SheetRows())
        throw Exception(QStringLiteral("Too many condition lines for a sheet"));
    if (Layout.RowNumbers)
        Check(worksheet_write_string(Sheet, lxw_row_t(row), 0, "№", Bold));
    for (qsizetype c = 0; c < Layout.Columns.size(); ++c)
        Check(worksheet_write_string(Sheet, lxw_row_t(row), lxw_col_t(c + Offset),
                                     Layout.Columns[c].Caption.toUtf8().constData(), Bold));
    worksheet_freeze_panes(Sheet, lxw_row_t(CaptionRow + 1), 0);
    NextRow = CaptionRow + 1;
    LastDataRow = CaptionRow;
}

void TXlsxWriter::CloseSheet() {
    // The filter covers the captions and the data rows, not the totals.
    const int lastColumn = int(Layout.Columns.size()) + Offset - 1;
    if (lastColumn >= 0)
        Check(worksheet_autofilter(Sheet, lxw_row_t(CaptionRow), 0,
                                   lxw_row_t(std::max(CaptionRow, LastDataRow)),
                                   lxw_col_t(lastColumn)));
}

void TXlsxWriter::StartRow() {
    CheckTableWriteLimit(Rows);
    if (NextRow >= SheetRows())
        NewSheet();
    ++Rows;
    if (Layout.RowNumbers)
        Check(worksheet_write_number(Sheet, lxw_row_t(NextRow), 0, double(Rows), nullptr));
}

void TXlsxWriter::WriteValue(qsizetype c, const QVariant& value) {
    const lxw_row_t r = lxw_row_t(NextRow);
    const lxw_col_t col = lxw_col_t(c + Offset);
    lxw_format* format = Formats[size_t(c)];
    QString text;
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return; // NULL: an empty cell
    case QMetaType::LongLong: {
        const qint64 number = value.toLongLong();
        if (number >= -ExcelExactWhole && number <= ExcelExactWhole) {
            Check(worksheet_write_number(Sheet, r, col, double(number), format));
            return;
        }
        text = QString::number(number); // kept whole as text
        break;
    }
    case QMetaType::Double: {
        const double number = value.toDouble();
        if (std::isfinite(number)) {
            Check(worksheet_write_number(Sheet, r, col, number, format));
            return;
        }
        text = value.toString();
        break;
    }
    case QMetaType::QDateTime: {
        const QDateTime when = value.toDateTime();
        const double serial = ExcelSerial(when, Layout.Columns[c].Kind);
        if (!std::isnan(serial)) {
            Check(worksheet_write_number(Sheet, r, col, serial, format));
            return;
        }
        text = DateFallback(when, Layout.Columns[c].Kind);
        break;
    }
    default:
        text = value.toString();
    }
    // A cell's line break is a line feed; a carriage return would show
    // as a sign of its own.
    if (text.contains(u'\r')) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
    }
    if (text.size() > ExcelTextLength)
        throw Exception(QCoreApplication::translate(
                            "ExportXlsx", "Текстът в ред %1, колона \"%2\" е по-дълъг от %3 "
                                          "знака, колкото събира клетка на Excel.")
                            .arg(Rows)
                            .arg(Layout.Columns[c].Caption)
                            .arg(ExcelTextLength));
    Check(worksheet_write_string(Sheet, r, col, text.toUtf8().constData(), nullptr));
}

void TXlsxWriter::Row(const TExportRow& row) {
    StartRow();
    for (qsizetype c = 0; c < row.size() && c < Layout.Columns.size(); ++c)
        WriteValue(c, row[c]);
    LastDataRow = NextRow++;
}

void TXlsxWriter::RowCells(const TExportCell* cells, qsizetype count) {
    StartRow();
    const lxw_row_t r = lxw_row_t(NextRow);
    for (qsizetype c = 0; c < count && c < Layout.Columns.size(); ++c) {
        const TExportCell& cell = cells[c];
        const lxw_col_t col = lxw_col_t(c + Offset);
        switch (cell.Type) {
        case TExportCell::TType::Null:
            continue;
        case TExportCell::TType::Whole:
            if (cell.Whole >= -ExcelExactWhole && cell.Whole <= ExcelExactWhole) {
                Check(worksheet_write_number(Sheet, r, col, double(cell.Whole), Formats[size_t(c)]));
                continue;
            }
            WriteValue(c, QVariant(cell.Whole));
            continue;
        case TExportCell::TType::Number:
            if (std::isfinite(cell.Number)) {
                Check(worksheet_write_number(Sheet, r, col, cell.Number, Formats[size_t(c)]));
                continue;
            }
            WriteValue(c, QVariant(cell.Number));
            continue;
        case TExportCell::TType::Text:
            // The bytes as they are, when neither a carriage return nor a
            // length past a cell's (counted in UTF-16 units, which a text
            // never has more of than bytes) asks for the general route.
            if (cell.Text.size() <= std::size_t(ExcelTextLength) &&
                cell.Text.find('\r') == std::string_view::npos) {
                TextBytes.assign(cell.Text.data(), cell.Text.size());
                Check(worksheet_write_string(Sheet, r, col, TextBytes.c_str(), nullptr));
                continue;
            }
            WriteValue(c, QVariant(QString::fromUtf8(cell.Text.data(), qsizetype(cell.Text.size()))));
            continue;
        case TExportCell::TType::Date:
            WriteValue(c, QVariant(cell.Date.PlainDateTime()));
            continue;
        case TExportCell::TType::Value:
            WriteValue(c, cell.Value);
            continue;
        }
    }
    LastDataRow = NextRow++;
}

void TXlsxWriter::WriteTotals() {
    if (NextRow >= SheetRows())
        NewSheet();
    // Before the totals row: a sheet written in constant memory cannot name
    // a row above the one being written.
    CloseSheet();
    const lxw_row_t r = lxw_row_t(NextRow);
    // Formulas only where every row is on this sheet.
    const bool oneSheet = Sheets == 1;
    const int first = CaptionRow + 2; // 1-based, as a formula names rows
    const int last = LastDataRow + 1;
    for (qsizetype c = 0; c < Layout.Columns.size(); ++c) {
        const TTableColumn& column = Layout.Columns[c];
        const QString total = TrimText(column.Total);
        if (total.isEmpty())
            continue;
        const lxw_col_t col = lxw_col_t(c + Offset);
        double value = 0;
        if (!TotalNumber(total, value)) {
            Check(worksheet_write_string(Sheet, r, col, total.toUtf8().constData(), Bold));
            continue;
        }
        const bool count = column.TotalExpression.trimmed().startsWith(QLatin1String("COUNT"),
                                                                       Qt::CaseInsensitive);
        lxw_format* format = count ? CountFormat : TotalFormats[size_t(c)];
        const QString formula =
            oneSheet ? TotalFormula(column, int(c) + Offset, first, last) : QString();
        if (formula.isEmpty())
            Check(worksheet_write_number(Sheet, r, col, value, format));
        else
            Check(worksheet_write_formula_num(Sheet, r, col, formula.toUtf8().constData(), format,
                                              value));
    }
    ++NextRow;
}

void TXlsxWriter::SetTotals(const TExportLayout& layout) {
    for (qsizetype c = 0; c < Layout.Columns.size() && c < layout.Columns.size(); ++c)
        Layout.Columns[c].Total = layout.Columns[c].Total;
    Layout.HasTotals = layout.HasTotals;
}

void TXlsxWriter::End() {
    if (Layout.HasTotals)
        WriteTotals();
    else
        CloseSheet();
    const lxw_error error = workbook_close(Book);
    Book = nullptr;
    Sheet = nullptr;
    if (error != LXW_NO_ERROR)
        throw Exception(QString::fromUtf8(lxw_strerror(error)));
    // The finished file takes the target's name; an existing target keeps
    // its permissions, a new one gets the usual ones.
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                     QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
    if (QFileInfo::exists(Target))
        permissions = QFileInfo(Target).permissions();
    QFile::setPermissions(TempName, permissions);
    if (std::rename(TempNameBytes.constData(), QFile::encodeName(Target).constData()) != 0)
        throw Exception(qt_error_string(errno));
    TempName.clear();
}

void TXlsxWriter::Discard() {
    if (Book) {
        lxw_workbook_free(Book);
        Book = nullptr;
        Sheet = nullptr;
    }
    if (!TempName.isEmpty()) {
        QFile::remove(TempName);
        TempName.clear();
    }
}

QString TXlsxWriter::Notice() const {
    if (Sheets <= 1)
        return {};
    return QCoreApplication::translate(
               "ExportXlsx", "Редовете са повече, отколкото събира един лист на Excel: записани са "
                             "на %1 листа, \"%2\" ... \"%3\".")
        .arg(Sheets)
        .arg(SheetName(Layout.SheetName.isEmpty() ? Layout.Title : Layout.SheetName, 1),
             SheetName(Layout.SheetName.isEmpty() ? Layout.Title : Layout.SheetName, Sheets));
}
