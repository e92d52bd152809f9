// The CSV and Excel writers, read back by readers that are not ours: Python's
// csv module and openpyxl (python3-openpyxl), so the tests check what a
// spreadsheet will see, not what we meant to write.

#include "ExportFixture.h"

#include "ExportTable.h"
#include "ExportXlsx.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

// Debian's interpreter, which has python3-openpyxl; another python3 on the
// PATH (a user's own) may not.
QString Python() {
    return QFileInfo::exists(u"/usr/bin/python3"_s) ? u"/usr/bin/python3"_s : u"python3"_s;
}

// Runs a Python script with the file name as its argument; its standard
// output is JSON.
QJsonValue RunReader(const char* script, const QString& file) {
    QProcess p;
    p.start(Python(), {u"-c"_s, QString::fromUtf8(script), file});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        ADD_FAILURE() << "reader failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput());
    return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
}

bool HaveOpenpyxl() {
    QProcess p;
    p.start(Python(), {u"-c"_s, u"import openpyxl"_s});
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

// Every sheet: name, frozen cell, autofilter, and each cell as
// [value, type, number format] (data_only: a formula's cached value).
const char* const XlsxReader = R"(
import json, sys, openpyxl, datetime
out = {}
for data_only in (False, True):
    wb = openpyxl.load_workbook(sys.argv[1], data_only=data_only)
    for ws in wb.worksheets:
        sheet = out.setdefault(ws.title, {"freeze": ws.freeze_panes, "filter": ws.auto_filter.ref, "rows": [], "cached": []})
        rows = []
        for row in ws.iter_rows():
            cells = []
            for c in row:
                v = c.value
                if isinstance(v, (datetime.datetime, datetime.date, datetime.time)):
                    v = v.isoformat()
                cells.append([v, c.data_type, c.number_format])
            rows.append(cells)
        sheet["cached" if data_only else "rows"] = rows
    out_order = [ws.title for ws in wb.worksheets]
out["order"] = out_order
print(json.dumps(out))
)";

const char* const CsvReader = R"(
import csv, json, sys
raw = open(sys.argv[1], "rb").read()
rows = list(csv.reader(open(sys.argv[1], newline="", encoding="utf-8-sig")))
print(json.dumps({"bom": raw.startswith(b"\xef\xbb\xbf"), "crlf": raw.count(b"\r\n"), "rows": rows}))
)";

// A sales-like result: a text that looks like a number, a whole number, a
// money column with a blank-grouped picture, a date, a date-time, NULLs.
void FillSales(TDataSet& set, int rows = 3) {
    set.setObjectName(u"qrDATA"_s);
    set.AddField(u"InvoiceNo"_s, TFieldType::String)->SetDisplayLabel(u"Фактура"_s);
    set.AddField(u"Qty"_s, TFieldType::Integer)->SetDisplayLabel(u"Количество"_s);
    TField* amount = set.AddField(u"Amount"_s, TFieldType::Float);
    amount->SetDisplayLabel(u"Сума"_s);
    amount->SetDisplayFormat(u"### ##0.00"_s);
    TField* date = set.AddField(u"SaleDate"_s, TFieldType::Date);
    date->SetDisplayLabel(u"Дата"_s);
    date->SetDisplayFormat(u"dd.mm.yyyy"_s);
    set.AddField(u"Stamp"_s, TFieldType::DateTime)->SetDisplayLabel(u"Час"_s);
    set.AddField(u"Note"_s, TFieldType::String)->SetDisplayLabel(u"Бележка"_s);
    const QString notes[] = {u"с, запетая"_s, u"кавички \"да\""_s, u"два\r\nреда"_s};
    for (int i = 0; i < rows; ++i)
        set.AppendRow({u"000000298"_s + QString::number(i), i == 1 ? QVariant() : QVariant(10 + i),
                       1234.5 + i, QDate(2024, 12, 1 + i % 28),
                       QDateTime(QDate(2024, 12, 2), QTime(13, 45)), notes[i % 3]});
    set.Open();
}

} // namespace

class ExportTableTest : public ExportFixture {
protected:
    void TearDown() override {
        SetTableWriteLimit(-1);
        TXlsxWriter::SetSheetRowLimit(-1);
        ExportFixture::TearDown();
    }
    QString Export(QObject* source, const QString& name, const TExportExtras* extras = nullptr,
                   const QStringList* lines = nullptr) {
        const QString file = Path(name);
        ExportToFile(source, lines, u"Продажби"_s, file, Result, TExportFormat::Auto, extras);
        return file;
    }
    // Files left in the test folder (temporary ones included).
    QStringList Leftovers() const {
        return QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QString Result;
};

TEST_F(ExportTableTest, ExcelNumberFormats) {
    const struct {
        const char16_t* Picture;
        TExportKind Kind;
        const char16_t* Excel;
    } cases[] = {
        {u"### ##0.00", TExportKind::Number, u"#,##0.00"}, // blank grouping -> Excel's
        {u"#,##0.00", TExportKind::Number, u"#,##0.00"},   // already Excel's
        {u"0.000", TExportKind::Number, u"0.000"},
        {u"", TExportKind::Number, u""},                   // General
        {u"0.00 лв", TExportKind::Number, u"0.00\" лв\""}, // letters quoted
        {u"#,##0.00;-#,##0.00", TExportKind::Number, u"#,##0.00;-#,##0.00"},
        {u"dd.mm.yyyy", TExportKind::Date, u"dd.mm.yyyy"},
        {u"dd/mm/yy hh:nn", TExportKind::DateTime, u"dd.mm.yy hh:mm"}, // "/" is the "." here
        {u"", TExportKind::Date, u"dd.mm.yyyy"},
        {u"hh:nn:ss", TExportKind::Time, u"hh:mm:ss"},
        {u"###", TExportKind::Text, u""}, // texts keep General
    };
    for (const auto& c : cases)
        EXPECT_EQ(TXlsxWriter::NumberFormat(QString::fromUtf16(c.Picture), c.Kind),
                  QString::fromUtf16(c.Excel))
            << QString::fromUtf16(c.Picture).toStdString();
}

TEST_F(ExportTableTest, SheetNamesAndTotalFormulas) {
    EXPECT_EQ(TXlsxWriter::SheetName(u"Продажби"_s, 1), u"Продажби"_s);
    EXPECT_EQ(TXlsxWriter::SheetName(u"a[b]:c*d?e/f\\g"_s, 1), u"a_b__c_d_e_f_g"_s);
    // 40 characters: cut to 31, and to 27 with " (2)".
    const QString longName(40, u'Щ');
    EXPECT_EQ(TXlsxWriter::SheetName(longName, 1), QString(31, u'Щ'));
    EXPECT_EQ(TXlsxWriter::SheetName(longName, 2), QString(27, u'Щ') + u" (2)"_s);
    EXPECT_EQ(TXlsxWriter::SheetName(u"'"_s, 1), u"Справка"_s);

    TTableColumn amount;
    amount.FieldName = u"Amount"_s;
    amount.Caption = u"Сума"_s;
    const struct {
        const char* Expression;
        const char* Formula;
    } cases[] = {
        {"SUM(Sales.Amount)", "=SUM(C5:C9)"},
        {"sum( [Сума] )", "=SUM(C5:C9)"},
        {"COUNT(Amount)", "=COUNTA(C5:C9)"},
        {"SUM(Sales.Qty*Sales.Price)", ""}, // not a plain column: value only
        {"AVG(Sales.Amount)", ""},
        {"SUM(Sales.Other)", ""}, // another column's total
    };
    for (const auto& c : cases) {
        amount.TotalExpression = QString::fromUtf8(c.Expression);
        EXPECT_EQ(TXlsxWriter::TotalFormula(amount, 2, 5, 9), QString::fromUtf8(c.Formula))
            << c.Expression;
    }
}

TEST_F(ExportTableTest, ExcelCellsHeaderAndTotals) {
    if (!HaveOpenpyxl())
        GTEST_SKIP() << "python3-openpyxl is not installed (tools/setup test)";
    TDataSet set;
    FillSales(set);
    // The report's footer: a SUM over Qty, a computed total over Amount.
    QStringList footer{QString(), u"33"_s, u"3 706.50"_s};
    ExportTxtOpts.FooterValues = &footer;
    TExportExtras extras;
    extras.TotalExpressions = {QString(), u"SUM(Sales.Qty)"_s, u"SUM(Sales.Qty*Sales.Price)"_s};
    extras.RowNumbers = true;
    extras.SheetName = u"Продажби: 2024/12"_s;
    const QStringList lines{u"Дата >= 01.12.2024"_s};
    const QString file = Export(&set, u"s.xlsx"_s, &extras, &lines);
    ASSERT_TRUE(Result.isEmpty()) << Result.toStdString();
    EXPECT_EQ(Leftovers(), QStringList{u"s.xlsx"_s}); // no temporary file stays

    const QJsonObject book = RunReader(XlsxReader, file).toObject();
    EXPECT_EQ(book[u"order"_s].toArray().size(), 1);
    const QJsonObject sheet = book[u"Продажби_ 2024_12"_s].toObject();
    ASSERT_FALSE(sheet.isEmpty()) << QJsonDocument(book).toJson().toStdString();
    // Title, condition, empty row, captions (frozen below, filtered), 3 rows, totals.
    EXPECT_EQ(sheet[u"freeze"_s].toString(), u"A5"_s);
    EXPECT_EQ(sheet[u"filter"_s].toString(), u"A4:G7"_s);
    const QJsonArray rows = sheet[u"rows"_s].toArray();
    ASSERT_EQ(rows.size(), 8);
    auto cell = [&](int row, int column) { return rows[row].toArray()[column].toArray(); };
    EXPECT_EQ(cell(0, 0)[0].toString(), u"Продажби"_s);
    EXPECT_EQ(cell(1, 0)[0].toString(), u"Дата >= 01.12.2024"_s);
    EXPECT_EQ(cell(3, 0)[0].toString(), u"№"_s);
    EXPECT_EQ(cell(3, 3)[0].toString(), u"Сума"_s);
    // Leading zeros kept: a text, not a number.
    EXPECT_EQ(cell(4, 1)[0].toString(), u"0000002980"_s);
    EXPECT_EQ(cell(4, 1)[1].toString(), u"s"_s);
    EXPECT_EQ(cell(4, 0)[0].toInt(), 1); // row number
    EXPECT_EQ(cell(4, 2)[1].toString(), u"n"_s);
    EXPECT_EQ(cell(4, 2)[0].toInt(), 10);
    EXPECT_TRUE(cell(5, 2)[0].isNull()); // NULL: an empty cell
    EXPECT_EQ(cell(5, 3)[0].toDouble(), 1235.5);
    EXPECT_EQ(cell(5, 3)[2].toString(), u"#,##0.00"_s);
    EXPECT_EQ(cell(5, 4)[0].toString(), u"2024-12-02T00:00:00"_s);
    EXPECT_EQ(cell(5, 4)[1].toString(), u"d"_s);
    EXPECT_EQ(cell(5, 4)[2].toString(), u"dd.mm.yyyy"_s);
    EXPECT_EQ(cell(5, 5)[0].toString(), u"2024-12-02T13:45:00"_s);
    EXPECT_EQ(cell(6, 6)[0].toString(), u"два\nреда"_s); // a cell's line break
    // Totals: a formula over the column with the report's value cached; a
    // total that is no plain SUM is the value alone.
    EXPECT_EQ(cell(7, 2)[0].toString(), u"=SUM(C5:C7)"_s);
    EXPECT_EQ(sheet[u"cached"_s].toArray()[7].toArray()[2].toArray()[0].toDouble(), 33);
    EXPECT_EQ(cell(7, 3)[0].toDouble(), 3706.5);
    EXPECT_EQ(cell(7, 3)[2].toString(), u"#,##0.00"_s);
    EXPECT_EQ(ExportTxtOpts.FooterValues, nullptr);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ExportTableTest, RowsBeyondASheetContinueOnNumberedSheets) {
    if (!HaveOpenpyxl())
        GTEST_SKIP() << "python3-openpyxl is not installed (tools/setup test)";
    // A sheet of 9 rows: title, empty row and captions leave 6 for data.
    TXlsxWriter::SetSheetRowLimit(9);
    TDataSet set;
    FillSales(set, 14);
    QStringList footer{QString(), u"231"_s};
    ExportTxtOpts.FooterValues = &footer;
    TExportExtras extras;
    extras.TotalExpressions = {QString(), u"SUM(Qty)"_s};
    extras.SheetName = u"Продажби"_s;
    const QString file = Export(&set, u"big.xlsx"_s, &extras);
    ASSERT_TRUE(Result.isEmpty()) << Result.toStdString();
    const QJsonObject book = RunReader(XlsxReader, file).toObject();
    EXPECT_EQ(book[u"order"_s].toArray(),
              QJsonArray({u"Продажби"_s, u"Продажби (2)"_s, u"Продажби (3)"_s}));
    const QJsonArray third = book[u"Продажби (3)"_s].toObject()[u"rows"_s].toArray();
    // Header repeated; rows 13 and 14; the totals as values (no formula
    // can see all the sheets).
    ASSERT_EQ(third.size(), 6);
    EXPECT_EQ(third[2].toArray()[0].toArray()[0].toString(), u"Фактура"_s);
    EXPECT_EQ(third[4].toArray()[1].toArray()[0].toInt(), 23);
    EXPECT_EQ(third[5].toArray()[1].toArray()[0].toDouble(), 231);
    EXPECT_EQ(third[5].toArray()[1].toArray()[1].toString(), u"n"_s);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].Text.contains(u"3 листа"_s)) << Messages[0].Text.toStdString();
}

TEST_F(ExportTableTest, CsvQuotingEncodingAndTypes) {
    TDataSet set;
    FillSales(set);
    const QString file = Export(&set, u"s.csv"_s);
    ASSERT_TRUE(Result.isEmpty()) << Result.toStdString();
    const QJsonObject csv = RunReader(CsvReader, file).toObject();
    EXPECT_TRUE(csv[u"bom"_s].toBool());
    // Header, three rows, and the CR LF inside a quoted value.
    EXPECT_EQ(csv[u"crlf"_s].toInt(), 5);
    const QJsonArray rows = csv[u"rows"_s].toArray();
    ASSERT_EQ(rows.size(), 4);
    auto line = [&](int row) {
        QStringList cells;
        for (const QJsonValue& cell : rows[row].toArray())
            cells << cell.toString();
        return cells.join(u'|');
    };
    EXPECT_EQ(line(0), u"Фактура|Количество|Сума|Дата|Час|Бележка"_s);
    EXPECT_EQ(line(1), u"0000002980|10|1234.5|2024-12-01|2024-12-02T13:45:00|с, запетая"_s);
    // NULL: an empty field.
    EXPECT_EQ(line(2), u"0000002981||1235.5|2024-12-02|2024-12-02T13:45:00|кавички \"да\""_s);
    EXPECT_EQ(rows[3].toArray()[5].toString(), u"два\r\nреда"_s);

    // No byte-order mark, a semicolon, dates as the column shows them.
    ExportCsvOpts.ByteOrderMark = false;
    ExportCsvOpts.Delimiter = u";"_s;
    ExportCsvOpts.DisplayDates = true;
    TDataSet other;
    FillSales(other);
    const QString second = Export(&other, u"t.csv"_s);
    const QByteArray bytes = Read(second);
    EXPECT_TRUE(bytes.startsWith("Фактура;"_ba)) << bytes.left(20).toStdString();
    EXPECT_TRUE(bytes.contains(";01.12.2024;"_ba));
    EXPECT_TRUE(bytes.contains("\"кавички \"\"да\"\"\""_ba));

    // A delimiter that ISO dates and times hold is quoted around them.
    ExportCsvOpts.Delimiter = u":"_s;
    ExportCsvOpts.DisplayDates = false;
    TDataSet third;
    FillSales(third);
    const QByteArray colons = Read(Export(&third, u"u.csv"_s));
    EXPECT_TRUE(colons.contains(":2024-12-01:\"2024-12-02T13:45:00\":"_ba)) << colons.toStdString();
}

// Dates and times are written from their stored parts: every stored form
// (ISO, the program's own, with seconds and milliseconds, a time alone)
// gives the ISO text of its kind, and what is no date stays the text held.
TEST_F(ExportTableTest, CsvDatesAndTimesOfEveryStoredForm) {
    TDataSet set;
    set.AddField(u"Day"_s, TFieldType::Date);
    set.AddField(u"At"_s, TFieldType::Time);
    set.AddField(u"Stamp"_s, TFieldType::DateTime);
    const struct {
        QVariantList Values;
        const char* Line;
    } rows[] = {
        {{QDate(2024, 2, 29), QTime(9, 5, 7), QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))},
         "2024-02-29,09:05:07,1999-12-31T23:59:59"},
        {{u"07.03.2005"_s, u"23:59"_s, u"2005-03-07 08:15:30.250"_s},
         "2005-03-07,23:59:00,2005-03-07T08:15:30"},
        {{u"0001-01-01"_s, u"00:00:00"_s, u"9999-12-31T00:00"_s},
         "0001-01-01,00:00:00,9999-12-31T00:00:00"},
        {{u"не е дата"_s, QVariant(), u"31.02.2024"_s}, "не е дата,,31.02.2024"},
    };
    for (const auto& row : rows)
        set.AppendRow(row.Values);
    set.Open();
    ExportCsvOpts.ByteOrderMark = false;
    const QString file = Export(&set, u"d.csv"_s);
    ASSERT_TRUE(Result.isEmpty()) << Result.toStdString();
    QByteArray expected = "Day,At,Stamp\r\n";
    for (const auto& row : rows)
        expected += QByteArray(row.Line) + "\r\n";
    EXPECT_EQ(Read(file), expected);
}

// A folder that is not there, a disk that fills up, a cancel: the message
// (none for a cancel), no file and no temporary file left, and a file of
// the same name that was there before is untouched.
TEST_F(ExportTableTest, FailuresLeaveNoFile) {
    const struct {
        const char* Name;
        bool MissingFolder;
        qint64 WriteLimit;
        bool Cancel;
    } cases[] = {
        {"missing folder", true, -1, false},
        {"full disk", false, 2, false},
        {"cancel", false, -1, true},
    };
    for (const char* name : {"out.csv", "out.xlsx"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(name) + ": " + c.Name);
            Messages.clear();
            TDataSet set;
            FillSales(set, 200);
            const QString file = c.MissingFolder ? Path(u"nowhere/"_s + QString::fromUtf8(name))
                                                 : Path(QString::fromUtf8(name));
            if (!c.MissingFolder)
                TestWrite(file, "before");
            SetTableWriteLimit(c.WriteLimit);
            ExportProgressHandler previous;
            if (c.Cancel)
                previous = SetExportProgressHandler([](qint64 done, qint64) { return done >= 64; });
            ExportToFile(&set, nullptr, u"T"_s, file, Result);
            if (c.Cancel)
                SetExportProgressHandler(previous);
            SetTableWriteLimit(-1);
            EXPECT_FALSE(Result.isEmpty());
            EXPECT_EQ(Messages.size(), c.Cancel ? 0u : 1u);
            if (c.MissingFolder) {
                EXPECT_FALSE(QFileInfo::exists(file));
            } else {
                EXPECT_EQ(Read(file), "before"_ba);
                EXPECT_EQ(Leftovers(), QStringList{QString::fromUtf8(name)});
                QFile::remove(file);
            }
        }
    }
}

// A device is never replaced by the finished file (as root the temporary
// file could be made beside it and renamed over it).
TEST_F(ExportTableTest, ADeviceIsNotReplaced) {
    for (const char* name : {"/dev/full", "/dev/null"}) {
        for (const QString& suffix : {u".csv"_s, u".xlsx"_s}) {
            Messages.clear();
            TDataSet set;
            FillSales(set);
            const TExportFormat format =
                suffix == u".csv"_s ? TExportFormat::Csv : TExportFormat::Xlsx;
            ExportToFile(&set, nullptr, u"T"_s, QString::fromUtf8(name), Result, format);
            EXPECT_FALSE(Result.isEmpty()) << name;
            EXPECT_EQ(Messages.size(), 1u);
            EXPECT_FALSE(QFileInfo(QString::fromUtf8(name)).isFile()) << name;
        }
    }
}
