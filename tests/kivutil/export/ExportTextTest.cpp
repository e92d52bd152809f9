// The text export writer: layout of the file, file choice, code pages and
// what a failure leaves behind.

#include "ExportFixture.h"

#include "DBGrid.h"
#include "DataSource.h"
#include "TextRoutines.h"

#include <QFileInfo>
#include <QProcess>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString NotExported = u"Неосъществен експорт във файл."_s;
const QString Rule20(20, u'-');

// Two columns, two rows, as in the program's own customer list.
void FillClients(TDataSet& set) {
    set.setObjectName(u"qrDATA"_s);
    set.AddField(u"Name"_s, TFieldType::String)->SetDisplayLabel(u"Име"_s);
    set.AddField(u"Total"_s, TFieldType::Integer)->SetDisplayLabel(u"Сума"_s);
    set.AppendRow({u"Иван"_s, 10});
    set.AppendRow({u"Мария"_s, 20});
    set.Open();
}

} // namespace

class ExportTextTest : public ExportFixture {
protected:
    QByteArray Export(QObject* source, const QStringList* lines, const QString& title) {
        const QString file = Path(u"out.txt"_s);
        QFile::remove(file);
        ExportToText(source, lines, title, file, Result);
        return Read(file);
    }
    QString Result;
};

TEST_F(ExportTextTest, ExampleFileByteForByte) {
    TDataSet set;
    FillClients(set);
    const QStringList lines{u"Град = София"_s};
    QStringList footer{QString(), u"30"_s};
    ExportTxtOpts.FooterValues = &footer;
    EXPECT_EQ(Export(&set, &lines, u"Клиенти"_s),
              Lines({u"Клиенти"_s, u"======="_s, u"Град = София"_s, Rule20, u"Име\tСума"_s, Rule20,
                     u"Иван\t10"_s, u"Мария\t20"_s, Rule20, u"\t30"_s, Rule20}));
    EXPECT_TRUE(Result.isEmpty());
    EXPECT_EQ(ExportTxtOpts.FooterValues, nullptr); // cleared after a good export
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ExportTextTest, HeaderAndNamesSwitches) {
    TDataSet set;
    FillClients(set);
    const QStringList none;
    const QStringList rows{u"Иван\t10"_s, u"Мария\t20"_s};
    struct Case {
        bool Header, Names;
        const QStringList* Conditions;
        QStringList Expected;
    } cases[] = {
        // No conditions: an empty line stands for them; the footer is one rule.
        {true, true, nullptr,
         QStringList{u"Клиенти"_s, QString(), Rule20, u"Име\tСума"_s, Rule20} + rows +
             QStringList{Rule20}},
        // An empty list counts as none.
        {true, true, &none,
         QStringList{u"Клиенти"_s, QString(), Rule20, u"Име\tСума"_s, Rule20} + rows +
             QStringList{Rule20}},
        // With the header on, the names line is written whatever the names switch says.
        {true, false, nullptr,
         QStringList{u"Клиенти"_s, QString(), Rule20, u"Име\tСума"_s, Rule20} + rows +
             QStringList{Rule20}},
        // Names alone: no title, rules or footer.
        {false, true, nullptr, QStringList{u"Име\tСума"_s} + rows},
        // Both off: the data lines only.
        {false, false, nullptr, rows},
    };
    for (const Case& c : cases) {
        ExportTxtOpts.ExportHeader = c.Header;
        ExportTxtOpts.ExportClmNames = c.Names;
        EXPECT_EQ(Export(&set, c.Conditions, u"Клиенти"_s), Lines(c.Expected))
            << c.Header << c.Names;
    }
}

TEST_F(ExportTextTest, BracketedAndEmptyTitles) {
    TDataSet set;
    FillClients(set);
    const QStringList lines{u"Град = София"_s};
    // A bracketed title is the one line of the title block, header or not.
    ExportTxtOpts.ExportHeader = false;
    ExportTxtOpts.ExportClmNames = false;
    EXPECT_EQ(Export(&set, &lines, u"[Справка]"_s),
              Lines({u"[Справка]"_s, u"Иван\t10"_s, u"Мария\t20"_s}));
    // Only both brackets make it one: an open bracket is an ordinary title.
    EXPECT_EQ(Export(&set, &lines, u"[Справка"_s), Lines({u"Иван\t10"_s, u"Мария\t20"_s}));
    // With the header on, the conditions are left out after a bracketed title.
    ExportTxtOpts.ExportHeader = true;
    EXPECT_EQ(Export(&set, &lines, u"[Справка]"_s),
              Lines({u"[Справка]"_s, Rule20, u"Име\tСума"_s, Rule20, u"Иван\t10"_s, u"Мария\t20"_s,
                     Rule20}));
    // An empty title is the data set's name.
    EXPECT_TRUE(Export(&set, nullptr, QString()).startsWith("qrDATA\r\n\r\n"));
}

TEST_F(ExportTextTest, FixedWidthsByAlignment) {
    TDataSet set;
    TField* name = set.AddField(u"Name"_s, TFieldType::String);
    name->SetDisplayLabel(u"Име"_s);
    name->SetDisplayWidth(6);
    TField* qty = set.AddField(u"Qty"_s, TFieldType::Integer); // right-aligned by kind
    qty->SetDisplayLabel(u"Бр"_s);
    qty->SetDisplayWidth(4);
    TField* code = set.AddField(u"Code"_s, TFieldType::String);
    code->SetDisplayLabel(u"Код"_s);
    code->SetDisplayWidth(5);
    code->SetAlignment(TAlignment::Center);
    set.AppendRow({u"Ян"_s, 7, u"AB"_s});
    // Longer values are cut to their first characters, numbers included.
    set.AppendRow({u"Александър"_s, 123456, u"ABCDEFG"_s});
    set.Open();
    ExportTxtOpts.FixedClmWidth = true;
    ExportTxtOpts.TxtClmDelimiter = u"|"_s;
    // Rule: widths 6 + 4 + 5 and two delimiters.
    const QString rule(17, u'-');
    // Centring puts the odd blank on the right.
    EXPECT_EQ(Export(&set, nullptr, u"T"_s),
              Lines({u"T"_s, QString(), rule, u"Име   |  Бр| Код "_s, rule, u"Ян    |   7| AB  "_s,
                     u"Алекса|1234|ABCDE"_s, rule}));
    // Without a delimiter the rule is the widths alone.
    ExportTxtOpts.TxtClmDelimiter.clear();
    EXPECT_EQ(Export(&set, nullptr, u"T"_s),
              Lines({u"T"_s, QString(), QString(15, u'-'), u"Име     Бр Код "_s, QString(15, u'-'),
                     u"Ян       7 AB  "_s, u"Алекса1234ABCDE"_s, QString(15, u'-')}));
}

TEST_F(ExportTextTest, EscapesAndNoDelimiter) {
    TDataSet set;
    set.AddField(u"A"_s, TFieldType::String);
    set.AddField(u"B"_s, TFieldType::String);
    set.AppendRow({u"a\tb\nc\rd\\e"_s, u"x"_s});
    set.Open();
    ExportTxtOpts.ExportHeader = false;
    ExportTxtOpts.ExportClmNames = false;
    // Every record stays on one line and in its column.
    EXPECT_EQ(Export(&set, nullptr, u"T"_s), Lines({u"a\\-b\\_c\\.d\\\\e\tx"_s}));
    // No delimiter and no fixed widths: values back to back.
    ExportTxtOpts.TxtClmDelimiter.clear();
    EXPECT_EQ(Export(&set, nullptr, u"T"_s), Lines({u"a\\-b\\_c\\.d\\\\ex"_s}));
}

TEST_F(ExportTextTest, RuleWidthFromColumnCount) {
    TDataSet set;
    for (int i = 0; i < 11; ++i)
        set.AddField(u"C%1"_s.arg(i), TFieldType::Integer);
    set.Open();
    // 11 columns would make 110; the rule stops at 80. An empty set still has
    // its header and footer.
    const QByteArray text = Export(&set, nullptr, u"T"_s);
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines[2], QByteArray(80, '-') + '\r');
    EXPECT_EQ(lines[4], QByteArray(80, '-') + '\r');
    EXPECT_EQ(lines[5], QByteArray(80, '-') + '\r');
}

TEST_F(ExportTextTest, GridColumnsAsShown) {
    TDataSet set;
    set.AddField(u"Name"_s, TFieldType::String);
    set.AddField(u"Total"_s, TFieldType::Integer);
    set.AddField(u"Code"_s, TFieldType::String);
    set.AppendRow({u"Иван"_s, 10, QVariant()});
    set.AppendRow({u"Мария"_s, 20, QVariant()});
    set.Open();
    TDataSource source;
    source.SetDataSet(&set);
    TDBGrid grid;
    grid.SetDataSource(&source);
    TGridColumn name{u"Name"_s, u"Име"_s, 50};
    TGridColumn code{u"Code"_s, u"Код"_s, 41};
    TGridColumn total{u"Total"_s, u"Сума"_s, 64};
    total.Visible = false;
    grid.AddColumn(name);
    grid.AddColumn(code);
    grid.AddColumn(total);
    ExportTxtOpts.FixedClmWidth = true;
    ExportTxtOpts.TxtClmDelimiter = u"|"_s;
    ExportTxtOpts.ExportHeader = false;
    // Names are the fields' own. Widths (50 + 7) / 8 = 7 and (41 + 7) / 8 = 6. The hidden last
    // column is not written, yet the last written value is followed by the delimiter because it is
    // not in the last position.
    EXPECT_EQ(Export(&grid, nullptr, u"T"_s),
              Lines({u"Name   |Code  |"_s, u"Иван   |      |"_s, u"Мария  |      |"_s}));
    // Not a grid or a data set: nothing is written.
    QObject other;
    EXPECT_TRUE(Export(&other, nullptr, u"T"_s).isEmpty());
    EXPECT_EQ(Result, NotExported);
    EXPECT_FALSE(QFile::exists(Path(u"out.txt"_s)));
}

TEST_F(ExportTextTest, SuggestedNamesAndDialog) {
    TDataSet set;
    FillClients(set);
    struct Case {
        QString DftTarget, Title, Suggested;
    } cases[] = {
        // Blanks become "_", then punctuation goes (":" here).
        {QString(), u"Справка: продажби 2024"_s, u"Справка_продажби_2024"_s},
        // A set target keeps its punctuation; only blanks change.
        {u"C:\\Моят изход\\out.txt"_s, u"Справка"_s, u"C:\\Моят_изход\\out.txt"_s},
        // No title: the data set's name.
        {QString(), QString(), u"qrDATA"_s},
    };
    LastExportDir = Dir.path() + u'/';
    for (const Case& c : cases) {
        DialogCalls.clear();
        ExportTxtOpts.DftTarget = c.DftTarget;
        QString result;
        ExportToText(&set, nullptr, c.Title, QString(), result); // Cancel
        ASSERT_EQ(DialogCalls.size(), 1u);
        EXPECT_EQ(DialogCalls[0].Suggested, c.Suggested);
        EXPECT_EQ(DialogCalls[0].Title, u"Запис в текстов файл"_s);
        EXPECT_EQ(DialogCalls[0].Filter,
                  u"Текст (*.txt)|*.txt|CSV (*.csv)|*.csv|Excel (*.xlsx)|*.xlsx"_s);
        EXPECT_EQ(DialogCalls[0].Directory, Dir.path() + u'/');
        EXPECT_EQ(result, NotExported);
    }
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(QtFileFilter(ExportDialogFilter()), u"Текст (*.txt);;CSV (*.csv);;Excel (*.xlsx)"_s);

    // A name without extension gets ".txt"; the dialog remembers the folder.
    QDir(Dir.path()).mkdir(u"sub"_s);
    Chosen = {Path(u"sub/list"_s)};
    QString result;
    ExportToText(&set, nullptr, u"T"_s, QString(), result);
    EXPECT_TRUE(result.isEmpty());
    EXPECT_TRUE(QFile::exists(Path(u"sub/list.txt"_s)));
    EXPECT_EQ(LastExportDir, Path(u"sub"_s));
}

TEST_F(ExportTextTest, OverwriteQuestionLoop) {
    TDataSet set;
    FillClients(set);
    const QString file = Path(u"old.txt"_s);
    TestWrite(file, "old");
    // No to the question shows the dialog again; Cancel there ends it all.
    Chosen = {file};
    Answers = {IDNO};
    QString result;
    ExportToText(&set, nullptr, u"T"_s, QString(), result);
    EXPECT_EQ(DialogCalls.size(), 2u);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, u"\""_s + file + u"\" вече съществува!      \rПрепокриване?"_s);
    EXPECT_EQ(Messages[0].Caption, u"Внимание"_s);
    EXPECT_EQ(Messages[0].Style, 308); // warning, Yes/No, No the default
    EXPECT_EQ(result, NotExported);
    EXPECT_EQ(Read(file), "old");
    // Yes writes over it.
    Chosen = {file};
    Answers = {IDYES};
    ExportToText(&set, nullptr, u"T"_s, QString(), result);
    EXPECT_TRUE(result.isEmpty());
    EXPECT_TRUE(Read(file).startsWith("T\r\n"));
}

TEST_F(ExportTextTest, DosCodePages) {
    QString letters;
    for (char16_t u = 0x0410; u <= 0x044F; ++u)
        letters += QChar(u);
    const QByteArray windows = Win1251::Encode(letters);

    // "Руска" is IBM 866, as iconv knows it.
    QProcess iconv;
    iconv.start(u"iconv"_s, {u"-f"_s, u"UTF-8"_s, u"-t"_s, u"CP866"_s});
    ASSERT_TRUE(iconv.waitForStarted());
    iconv.write(letters.toUtf8());
    iconv.closeWriteChannel();
    ASSERT_TRUE(iconv.waitForFinished());
    const QByteArray cp866 = iconv.readAllStandardOutput();
    ASSERT_EQ(cp866.size(), 64);
    ExportTxtOpts.TxtCyrSet = 2;
    CyrTailShift = 16;
    EXPECT_EQ(ConvertCodePage(windows), cp866);

    // "ДОС (БГ)" is the Bulgarian MIK page: А..Я at 0x80-0x9F, а..я at
    // 0xA0-0xBF, one run in alphabetical order.
    static const unsigned char Mik[64] = {
        0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C,
        0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
        0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6,
        0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3,
        0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF};
    ExportTxtOpts.TxtCyrSet = 1;
    CyrTailShift = 64;
    EXPECT_EQ(ConvertCodePage(windows), QByteArray(reinterpret_cast<const char*>(Mik), 64));

    // Everything but the 64 letters stays, "Ё", "ё" and "№" included.
    const QByteArray others = Win1251::Encode(u"Ёё№ AZ|09"_s);
    EXPECT_EQ(ConvertCodePage(others), others);
    ExportTxtOpts.TxtCyrSet = 0;
    EXPECT_EQ(ConvertCodePage(windows), windows);

    // In a file every text line is converted; rules are ASCII anyway.
    TDataSet set;
    FillClients(set);
    ExportTxtOpts.TxtCyrSet = 1;
    QByteArray expected;
    for (const QString& line : {u"Клиенти"_s, QString(), Rule20, u"Име\tСума"_s, Rule20,
                                u"Иван\t10"_s, u"Мария\t20"_s, Rule20})
        expected += ConvertCodePage(Win1251::Encode(line)) + "\r\n";
    EXPECT_EQ(Export(&set, nullptr, u"Клиенти"_s), expected);
    EXPECT_TRUE(expected.startsWith("\x8A\xAB\xA8\xA5\xAD\xB2\xA8"));
}

// A value the code page cannot hold is written with '?', and the user is
// told once how many values lost characters and which was the first; UTF-8
// holds them all and says nothing.
TEST_F(ExportTextTest, CharactersOutsideTheCodePageAreToldOnce) {
    TDataSet set;
    set.setObjectName(u"qrDATA"_s);
    set.AddField(u"Name"_s, TFieldType::String)->SetDisplayLabel(u"Група"_s);
    set.AppendRow({u"Mötley Crüe"_s});
    set.AppendRow({u"Щурците"_s});
    set.AppendRow({u"Björk"_s});
    set.Open();
    const struct {
        const char* Why;
        std::uint8_t CodePage;
        int Shift;
        QByteArray Written; // the first row as written
        bool Told;
    } cases[] = {
        {"Windows", 0, 64, "M?tley Cr?e", true},
        {"DOS (Bulgarian)", 1, 64, "M?tley Cr?e", true},
        {"Russian", 2, 16, "M?tley Cr?e", true},
        {"UTF-8", 3, 16, u"Mötley Crüe"_s.toUtf8(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Why);
        Messages.clear();
        ExportTxtOpts.TxtCyrSet = c.CodePage;
        CyrTailShift = c.Shift;
        const QByteArray text = Export(&set, nullptr, u"Групи"_s);
        EXPECT_TRUE(Result.isEmpty());
        EXPECT_TRUE(text.contains("\r\n" + c.Written + "\r\n")) << text.toStdString();
        if (!c.Told) {
            EXPECT_TRUE(Messages.empty());
            // Every line is text another program reads back as written.
            EXPECT_EQ(QString::fromUtf8(text).toUtf8(), text);
            EXPECT_TRUE(QString::fromUtf8(text).contains(u"Група\r\n"_s));
            EXPECT_TRUE(QString::fromUtf8(text).contains(u"Щурците\r\nBjörk"_s));
            continue;
        }
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].Caption, u"Съобщение"_s);
        EXPECT_EQ(Messages[0].Style & 0xF0, MB_ICONEXCLAMATION);
        EXPECT_TRUE(Messages[0].Text.startsWith(u"2 "_s)) << Messages[0].Text.toStdString();
        EXPECT_TRUE(Messages[0].Text.contains(u"Mötley Crüe"_s));
        EXPECT_TRUE(Messages[0].Text.contains(u"UTF-8"_s));
    }
}

// In UTF-8 fixed widths count characters, not bytes: a cut never splits a
// character and padding lines the columns up as they look.
TEST_F(ExportTextTest, Utf8FixedWidthsCountCharacters) {
    TDataSet set;
    TField* name = set.AddField(u"Name"_s, TFieldType::String);
    name->SetDisplayLabel(u"Име"_s);
    name->SetDisplayWidth(6);
    TField* qty = set.AddField(u"Qty"_s, TFieldType::Integer);
    qty->SetDisplayLabel(u"Бр"_s);
    qty->SetDisplayWidth(4);
    set.AppendRow({u"Ян"_s, 7});
    set.AppendRow({u"Крüгер Ωмега"_s, 123456});
    set.Open();
    ExportTxtOpts.FixedClmWidth = true;
    ExportTxtOpts.TxtClmDelimiter = u"¦"_s;
    ExportTxtOpts.TxtCyrSet = 3;
    const QString rule(11, u'-');
    const QByteArray text = Export(&set, nullptr, u"T"_s);
    EXPECT_EQ(QString::fromUtf8(text), QStringList({u"T"_s, QString(), rule, u"Име   ¦  Бр"_s, rule,
                                                    u"Ян    ¦   7"_s, u"Крüгер¦1234"_s, rule})
                                               .join(u"\r\n"_s) +
                                           u"\r\n"_s);
    EXPECT_EQ(FormatCell(u"Ωμέγα"_s, false, name, 3), u"Ωμέ¦"_s);
}

// The rows are written from the UTF-8 bytes the data set holds; every line
// must be what the values' own texts give through FormatCell, escaped and
// in the code page, for every code page, delimiter and width setting, with
// values the byte route takes and values it leaves to the QString one
// (escapes, signs outside the code page, three- and four-byte sequences,
// bytes that are no UTF-8).
TEST_F(ExportTextTest, RowsAreTheFieldTextsInEveryCodePage) {
    TDataSet set;
    set.setObjectName(u"qrDATA"_s);
    TField* name = set.AddField(u"Name"_s, TFieldType::String);
    name->SetDisplayWidth(5);
    TField* qty = set.AddField(u"Qty"_s, TFieldType::Integer);
    qty->SetDisplayWidth(6);
    qty->SetDisplayFormat(u"### ##0"_s);
    TField* price = set.AddField(u"Price"_s, TFieldType::Float);
    price->SetDisplayWidth(7);
    TField* day = set.AddField(u"Day"_s, TFieldType::Date);
    day->SetDisplayWidth(10);
    TField* code = set.AddField(u"Code"_s, TFieldType::String);
    code->SetDisplayWidth(4);
    code->SetAlignment(TAlignment::Center);
    const QVariantList rows[] = {
        {u"Хляб"_s, 1234, 1.5, QDate(2024, 3, 5), u"AB"_s},
        {u"Александър"_s, -7, 0.1 + 0.2, u"07.03.2005"_s, u"Ёё№"_s},
        {u"a\tb\\c"_s, QVariant(), QVariant(), QVariant(), u"€ x"_s},
        {u"Łódź"_s, 0, 1e20, u"не е дата"_s, u"§©"_s},
        {u"😀 ok"_s, 1, -0.25, QDate(1999, 12, 31), QByteArray("a\xff\xfe z")},
        {QString(), 2, 3.0, QVariant(), u"ΩΣ"_s},
        // Long values, read eight bytes at a time until a sign needs more.
        {u"0123456789\\abcdefgh\tzyxwvuts\rq"_s, 3, 4.0, QVariant(),
         u"Invoice 00012345 от 01.02.2024 Ё"_s},
    };
    for (const QVariantList& row : rows)
        set.AppendRow(row);
    set.Open();
    ExportTxtOpts.ExportHeader = false;
    ExportTxtOpts.ExportClmNames = false;
    const struct {
        std::uint8_t CodePage;
        bool Fixed;
        const char16_t* Delimiter;
    } cases[] = {
        {0, false, u"\t"}, {0, true, u"|"}, {1, true, u""}, {2, false, u";"},
        {3, false, u"\t"}, {3, true, u"¦"}, {3, true, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.CodePage) + (c.Fixed ? " fixed" : ""));
        ExportTxtOpts.TxtCyrSet = c.CodePage;
        CyrTailShift = CyrTailShiftFor(c.CodePage);
        ExportTxtOpts.FixedClmWidth = c.Fixed;
        ExportTxtOpts.TxtClmDelimiter = QString::fromUtf16(c.Delimiter);
        QByteArray expected;
        for (set.First(); !set.Eof(); set.Next()) {
            QString line;
            for (int f = 0; f < set.FieldCount(); ++f) {
                const TField* field = set.Fields(f);
                QString value = field->IsNumeric() || field->IsDateTime() ? field->DisplayText()
                                                                          : field->AsString();
                EscapeControlChars(value);
                line += FormatCell(value, f == set.FieldCount() - 1, field,
                                   c.Fixed ? field->DisplayWidth() : 0);
            }
            expected += (c.CodePage == Utf8CodePage ? line.toUtf8()
                                                    : ConvertCodePage(Win1251::Encode(line))) +
                        "\r\n";
        }
        Messages.clear();
        EXPECT_EQ(Export(&set, nullptr, u"T"_s), expected);
        EXPECT_TRUE(Result.isEmpty());
        // Signs the 8-bit pages lack are told once; UTF-8 holds them all.
        EXPECT_EQ(Messages.size(), c.CodePage == Utf8CodePage ? 0u : 1u);
    }
}

TEST_F(ExportTextTest, FolderThatDoesNotExist) {
    TDataSet set;
    FillClients(set);
    const QString file = Path(u"missing/out.txt"_s);
    QString result;
    ExportToText(&set, nullptr, u"T"_s, file, result);
    EXPECT_EQ(result, u"Невъзможен запис във файл \""_s + file +
                          u"\".\rПроверете дали има достъп до неговата папка и дали не е "
                          u"отворен в друга програма.\r(No such file or directory)"_s);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, u"Грешка"_s);
    EXPECT_EQ(Messages[0].Style, MB_ICONSTOP);
    EXPECT_FALSE(QFileInfo::exists(Path(u"missing"_s)));
}

TEST_F(ExportTextTest, FailureWhileWritingLeavesNoFile) {
    TDataSet set;
    FillClients(set);
    for (int i = 0; i < 50000; ++i)
        set.AppendRow({u"Ред %1"_s.arg(i), i});
    set.SetRecNo(2);
    QStringList footer{u"a"_s, u"b"_s};
    const QString disk = u"No space left on device"_s;
    // A disk that fills up after some blocks were written.
    ExportTxtOpts.FooterValues = &footer;
    SetTextWriteLimit(600000);
    const QString file = Path(u"full.txt"_s);
    QString result;
    ExportToText(&set, nullptr, u"T"_s, file, result);
    SetTextWriteLimit(-1);
    EXPECT_EQ(result, NotExported + u"\r("_s + disk + u')');
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, u"Export Error"_s);
    EXPECT_EQ(Messages[0].Style, MB_ICONSTOP);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(ExportTxtOpts.FooterValues, &footer); // kept after a failure
    EXPECT_EQ(set.RecNo(), 2);                      // back on its record
    EXPECT_FALSE(set.ControlsDisabled());

    // A footer list shorter than the columns (the report's 40 totals under
    // a wider grid) is no failure: the columns past it get empty totals.
    QStringList shortFooter{u"a"_s};
    ExportTxtOpts.FooterValues = &shortFooter;
    ExportToText(&set, nullptr, u"T"_s, file, result);
    EXPECT_TRUE(result.isEmpty());
    EXPECT_TRUE(Read(file).endsWith("\r\na\t\r\n" + QByteArray(20, '-') + "\r\n"));
    QFile::remove(file);

    // A symbolic link keeps its name; the file it points to is emptied.
    ExportTxtOpts.FooterValues = nullptr;
    const QString target = Path(u"target.txt"_s);
    TestWrite(target, "old");
    ASSERT_TRUE(QFile::link(target, Path(u"link.txt"_s)));
    SetTextWriteLimit(1000);
    ExportToText(&set, nullptr, u"T"_s, Path(u"link.txt"_s), result);
    SetTextWriteLimit(-1);
    EXPECT_TRUE(QFileInfo(Path(u"link.txt"_s)).isSymLink());
    EXPECT_EQ(QFileInfo(target).size(), 0);

    // A device that is always full is reported, and never deleted.
    struct stat info;
    if (::stat("/dev/full", &info) != 0 || !S_ISCHR(info.st_mode))
        GTEST_SKIP() << "no /dev/full";
    Messages.clear();
    ExportToText(&set, nullptr, u"T"_s, u"/dev/full"_s, result);
    EXPECT_EQ(result, NotExported + u"\r("_s + disk + u')');
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, u"Export Error"_s);
    ASSERT_EQ(::stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}
