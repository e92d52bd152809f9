#include "ExportText.h"

#include "DBGrid.h"
#include "ExportOptions.h"
#include "ExportTable.h"
#include "MessageBox.h"
#include "TextRoutines.h"
#include "Win1251.h"
#include "WindowRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The buffer is written out once it holds this much.
constexpr qsizetype WriterBufferSize = 1 << 20;

qint64 WriteLimit = -1;

SaveFileDialogHandler& DialogHandler() {
    static SaveFileDialogHandler handler;
    return handler;
}

ExportProgressHandler& ProgressHandler() {
    static ExportProgressHandler handler;
    return handler;
}

// Rows written between two calls of the progress handler.
constexpr qint64 ProgressRows = 64;

// Raised inside the writer when the progress handler asks to stop.
struct TExportStopped : std::exception {};

QString NotExported() {
    return QCoreApplication::translate("ExportText", "Неосъществен експорт във файл.");
}
// Stands for a refused file name in the file-choice loop; no file can have it.
const QString OverwriteMarker = QStringLiteral("\"::-!-::\"");

// ------------------------------------------------------------ code pages

using TCodeTable = std::array<unsigned char, 256>;

// The byte map of ConvertCodePage for the current settings: the DOS pages
// move the Cyrillic letters, Windows and UTF-8 keep the 1251 bytes.
TCodeTable CodePageTable() {
    TCodeTable table;
    for (int c = 0; c < 256; ++c)
        table[c] = static_cast<unsigned char>(c);
    if (ExportTxtOpts.TxtCyrSet != 1 && ExportTxtOpts.TxtCyrSet != 2)
        return table;
    for (int c = 192; c <= 239; ++c)
        table[c] = static_cast<unsigned char>(c - 64);
    for (int c = 240; c <= 255; ++c)
        table[c] = static_cast<unsigned char>(c - CyrTailShift);
    return table;
}

// Writes text in Windows-1251 through the code table; returns the end. A
// character outside the code page becomes '?', a surrogate pair one '?', and
// lost is set.
char* EncodeInto(char* out, const QString& text, const TCodeTable& table, bool& lost) {
    const QChar* p = text.constData();
    const QChar* end = p + text.size();
    while (p < end) {
        const char16_t u = p->unicode();
        unsigned char b;
        if (u < 0x80) {
            b = static_cast<unsigned char>(u);
        } else if (u >= 0x0410 && u <= 0x044F) {
            b = static_cast<unsigned char>(0xC0 + (u - 0x0410));
        } else if (p->isHighSurrogate() && p + 1 < end && p[1].isLowSurrogate()) {
            b = '?';
            lost = true;
            ++p;
        } else {
            b = Win1251::EncodeChar(*p);
            if (b == '?')
                lost = true;
        }
        *out++ = static_cast<char>(table[b]);
        ++p;
    }
    return out;
}

// Writes text in UTF-8 (at most 3 bytes per UTF-16 unit); returns the end.
// A lone surrogate, which no encoding holds, becomes U+FFFD.
char* EncodeUtf8Into(char* out, const QString& text) {
    const QChar* p = text.constData();
    const QChar* end = p + text.size();
    auto put = [&out](char32_t u) {
        if (u < 0x80) {
            *out++ = static_cast<char>(u);
        } else if (u < 0x800) {
            *out++ = static_cast<char>(0xC0 | (u >> 6));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (u >> 12));
            *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            *out++ = static_cast<char>(0xF0 | (u >> 18));
            *out++ = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    };
    while (p < end) {
        const char16_t u = p->unicode();
        if (u < 0x80) {
            *out++ = static_cast<char>(u);
        } else if (p->isHighSurrogate() && p + 1 < end && p[1].isLowSurrogate()) {
            put(QChar::surrogateToUcs4(*p, p[1]));
            ++p;
        } else if (p->isSurrogate()) {
            put(0xFFFD);
        } else {
            put(u);
        }
        ++p;
    }
    return out;
}

// Bytes EncodeUtf8Into may write for text.
qsizetype Utf8Room(const QString& text) {
    return 3 * text.size();
}

// The characters of UTF-8 bytes: every byte that does not continue one.
qsizetype Utf8Length(const char* begin, const char* end) {
    qsizetype n = 0;
    for (const char* p = begin; p < end; ++p)
        n += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
    return n;
}

// The end of the first count characters of UTF-8 bytes.
char* Utf8Cut(char* begin, char* end, qsizetype count) {
    char* p = begin;
    for (; p < end; ++p)
        if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80 && count-- == 0)
            break;
    return p;
}

bool NeedsEscape(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\t' || u == u'\n' || u == u'\r' || u == u'\\')
            return true;
    }
    return false;
}

// How the cells of a line are laid out.
struct TCellLayout {
    bool Fixed = false;
    bool Utf8 = false;
    char Delimiter = 0;
    bool HasDelimiter = false;
    // The delimiter in UTF-8, when it is not one byte there.
    QByteArray Utf8Delimiter;
};

TCellLayout CurrentLayout() {
    TCellLayout layout;
    layout.Fixed = ExportTxtOpts.FixedClmWidth;
    layout.Utf8 = ExportTxtOpts.TxtCyrSet == Utf8CodePage;
    if (!ExportTxtOpts.TxtClmDelimiter.isEmpty()) {
        layout.HasDelimiter = true;
        const QChar delimiter = ExportTxtOpts.TxtClmDelimiter[0];
        layout.Delimiter = static_cast<char>(Win1251::EncodeChar(delimiter));
        if (layout.Utf8 && delimiter.unicode() >= 0x80)
            layout.Utf8Delimiter = QString(delimiter).toUtf8();
    }
    return layout;
}

// Room PutCell needs for a value.
qsizetype CellRoom(const QString& value, int width, const TCellLayout& layout) {
    return layout.Utf8 ? Utf8Room(value) + std::max(width, 0) + 4
                       : std::max<qsizetype>(value.size(), width) + 1;
}

// Pads or cuts the value written at start..end to the width (Fixed layout)
// and adds the delimiter, as FormatCell describes; returns the end.
char* LayCell(char* start, char* end, bool isLast, TAlignment alignment, int width,
              const TCellLayout& layout, const TCodeTable& table) {
    if (layout.Fixed && width > 0) {
        // Widths count characters; in 8 bits every byte is one.
        const qsizetype length = layout.Utf8 ? Utf8Length(start, end) : end - start;
        if (length >= width) {
            end = layout.Utf8 ? Utf8Cut(start, end, width) : start + width;
        } else {
            const qsizetype missing = width - length;
            const qsizetype bytes = end - start;
            qsizetype before = 0;
            if (alignment == TAlignment::Right)
                before = missing;
            else if (alignment == TAlignment::Center)
                before = missing / 2;
            if (before > 0) {
                std::memmove(start + before, start, std::size_t(bytes));
                std::memset(start, ' ', std::size_t(before));
            }
            std::memset(start + before + bytes, ' ', std::size_t(missing - before));
            end = start + bytes + missing;
        }
    }
    if (layout.HasDelimiter && !isLast) {
        if (!layout.Utf8Delimiter.isEmpty()) {
            std::memcpy(end, layout.Utf8Delimiter.constData(),
                        std::size_t(layout.Utf8Delimiter.size()));
            end += layout.Utf8Delimiter.size();
        } else {
            *end++ = static_cast<char>(table[static_cast<unsigned char>(layout.Delimiter)]);
        }
    }
    return end;
}

// The bytes FormatCell describes, written at out (room for CellRoom bytes);
// returns the end. The value is escaped already. lost is set when a
// character has no code in the code page.
char* PutCell(char* out, const QString& value, bool isLast, TAlignment alignment, int width,
              const TCellLayout& layout, const TCodeTable& table, bool& lost) {
    char* end = layout.Utf8 ? EncodeUtf8Into(out, value) : EncodeInto(out, value, table, lost);
    return LayCell(out, end, isLast, alignment, width, layout, table);
}

// Writes a value held as UTF-8 bytes straight in the file's code page, as
// EncodeInto or EncodeUtf8Into write the same text, without making a QString
// of it. Takes only what most values are made of: ASCII and two-byte
// sequences (Latin, Greek, Cyrillic letters) that the code page has, and no
// character that needs escaping. Returns nullptr for anything else (a sign
// the code page lacks, a longer or broken sequence), leaving the value to
// the general route, which escapes it and notes what is lost.
char* EncodeBytesInto(char* out, std::string_view bytes, bool utf8, const TCodeTable& table) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    constexpr std::uint64_t Ones = 0x0101010101010101ull;
    constexpr std::uint64_t Highs = 0x8080808080808080ull;
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            // Eight plain ASCII signs at a time: no byte with the high bit,
            // none below a blank (the escapes among them) and no backslash;
            // anything else (or a false alarm of the test) goes one sign at
            // a time.
            if (end - p >= 8) {
                std::uint64_t w;
                std::memcpy(&w, p, sizeof w);
                const std::uint64_t backslash = w ^ (Ones * '\\');
                if (!((w & Highs) | ((w - Ones * 0x20) & ~w & Highs) |
                      ((backslash - Ones) & ~backslash & Highs))) {
                    std::memcpy(out, &w, sizeof w);
                    out += 8;
                    p += 8;
                    continue;
                }
            }
            if (b == '\t' || b == '\n' || b == '\r' || b == '\\')
                return nullptr;
            *out++ = static_cast<char>(b); // the code tables keep ASCII
            ++p;
            continue;
        }
        if (b < 0xC2 || b > 0xDF || end - p < 2 || (p[1] & 0xC0) != 0x80)
            return nullptr;
        if (utf8) {
            *out++ = static_cast<char>(b);
            *out++ = static_cast<char>(p[1]);
        } else {
            const char16_t u = char16_t(((b & 0x1F) << 6) | (p[1] & 0x3F));
            unsigned char code;
            if (u >= 0x0410 && u <= 0x044F) {
                code = static_cast<unsigned char>(0xC0 + (u - 0x0410));
            } else {
                code = Win1251::EncodeChar(QChar(u));
                if (code == '?')
                    return nullptr;
            }
            *out++ = static_cast<char>(table[code]);
        }
        p += 2;
    }
    return out;
}

// ------------------------------------------------------------ export source

// One exported position of a line.
struct TExportColumn {
    int Position = 0;
    TField* Field = nullptr;
    int Width = 0;
    bool UseDisplayText = false;
};

struct TExportSource {
    TDataSet* DataSet = nullptr;
    int Count = 0; // n: positions, exported or not
    std::vector<TExportColumn> Columns;
};

// The columns of a grid (visible ones with a field, width from pixels) or of
// a data set (every field, its display width).
bool ReadSource(QObject* source, TExportSource& out) {
    if (!source)
        return false;
    auto add = [&](int position, TField* field, int width) {
        TExportColumn column;
        column.Position = position;
        column.Field = field;
        column.Width = width;
        // Numbers and dates are written as shown; everything else as held.
        column.UseDisplayText = field->IsNumeric() || field->IsDateTime() || field->IsAggregate();
        out.Columns.push_back(column);
    };
    if (auto* grid = qobject_cast<TDBGrid*>(source)) {
        out.DataSet = grid->DataSet();
        if (!out.DataSet)
            return false;
        out.Count = grid->ColumnCount();
        for (int i = 0; i < out.Count; ++i) {
            TField* field = grid->ColumnVisible(i) ? grid->ColumnField(i) : nullptr;
            if (field)
                add(i, field, (grid->ColumnWidth(i) + 7) / 8);
        }
        return true;
    }
    if (auto* dataSet = qobject_cast<TDataSet*>(source)) {
        out.DataSet = dataSet;
        out.Count = dataSet->FieldCount();
        for (int i = 0; i < out.Count; ++i)
            add(i, dataSet->Fields(i), dataSet->Fields(i)->DisplayWidth());
        return true;
    }
    return false;
}

int RuleWidth(const TExportSource& source) {
    int width = std::min(10 * source.Count, 80);
    if (ExportTxtOpts.FixedClmWidth) {
        int sum = 0;
        for (const TExportColumn& c : source.Columns)
            sum += c.Width;
        if (sum > 0)
            width = ExportTxtOpts.TxtClmDelimiter.isEmpty() ? sum : sum + source.Count - 1;
    }
    return width;
}

// Builds lines straight into the writer's buffer.
class TLineWriter {
public:
    TLineWriter(TTextFileWriter& writer, const TExportSource& source)
        : Out(writer), Source(source), Layout(CurrentLayout()), Table(CodePageTable()) {
        for (int c = 0; c < 256; ++c)
            Identity[c] = static_cast<unsigned char>(c);
    }

    // A line of text in the chosen code page.
    void Text(const QString& text) {
        bool lost = false;
        char* start = Out.Reserve(Layout.Utf8 ? Utf8Room(text) : text.size());
        char* end =
            Layout.Utf8 ? EncodeUtf8Into(start, text) : EncodeInto(start, text, Table, lost);
        Out.Commit(end - start);
        Out.EndLine();
        if (lost)
            NoteLost(text);
    }
    // A line of ASCII signs, written as it is.
    void Plain(const QString& text) {
        bool lost = false;
        char* start = Out.Reserve(text.size());
        Out.Commit(EncodeInto(start, text, Identity, lost) - start);
        Out.EndLine();
    }
    // A line of cells: text(column) for each exported position.
    template <typename TextOf> void Cells(TextOf&& textOf) {
        for (const TExportColumn& c : Source.Columns)
            Cell(c, textOf(c));
        Out.EndLine();
    }
    // The line of the current record: each field's text (as shown for
    // numbers and dates, as held otherwise) taken as the UTF-8 bytes the
    // row store holds or the field makes, and written straight into the
    // buffer; a value that needs more goes through its QString.
    void Record() {
        for (const TExportColumn& c : Source.Columns) {
            const std::string_view bytes = c.Field->CurrentUtf8(c.UseDisplayText, Scratch);
            char* start = Out.Reserve(qsizetype(bytes.size()) + std::max(c.Width, 0) + 4);
            if (char* end = EncodeBytesInto(start, bytes, Layout.Utf8, Table)) {
                Out.Commit(LayCell(start, end, c.Position == Source.Count - 1,
                                   c.Field->Alignment(), c.Width, Layout, Table) -
                           start);
                continue;
            }
            Cell(c, c.UseDisplayText ? c.Field->DisplayText() : c.Field->AsString());
        }
        Out.EndLine();
    }

    // Values written with '?' for characters the code page lacks: how many,
    // and the first of them.
    qint64 LostValues = 0;
    QString FirstLostValue;

private:
    void Cell(const TExportColumn& c, QString value) {
        if (NeedsEscape(value))
            EscapeControlChars(value);
        bool lost = false;
        char* start = Out.Reserve(CellRoom(value, c.Width, Layout));
        char* end = PutCell(start, value, c.Position == Source.Count - 1, c.Field->Alignment(),
                            c.Width, Layout, Table, lost);
        Out.Commit(end - start);
        if (lost)
            NoteLost(value);
    }
    void NoteLost(const QString& value) {
        if (LostValues++ == 0)
            FirstLostValue = value;
    }

    TTextFileWriter& Out;
    const TExportSource& Source;
    TCellLayout Layout;
    TCodeTable Table;
    TCodeTable Identity;
    std::string Scratch; // a value the field makes, between two cells
};

// Where the file dialog leaves the folder of a chosen file: no trailing
// separator except for a root.
QString FolderOf(const QString& fileName) {
    return QFileInfo(fileName).absolutePath();
}

} // namespace

// ------------------------------------------------------------ public routines

void WalkExportRows(TDataSet* dataSet, const ExportRowWalk& walk,
                    const std::function<void()>& row) {
    if (walk) {
        walk(dataSet, row);
        return;
    }
    for (dataSet->First(); !dataSet->Eof(); dataSet->Next())
        row();
}

QString ChooseExportFile(const QString& title) {
    QString suggested = ExportTxtOpts.DftTarget;
    if (suggested.isEmpty()) {
        suggested = title;
        ReplaceChar(suggested, u' ', u'_');
        suggested = StripPunctuation(suggested);
    } else {
        ReplaceChar(suggested, u' ', u'_');
    }
    QString name;
    do {
        SaveFileDialogHandler& handler = DialogHandler();
        name = handler
                   ? handler(ExportDialogTitle(), ExportDialogFilter(), LastExportDir, suggested)
                   : WidgetSaveFileDialog(ExportDialogTitle(), ExportDialogFilter(), LastExportDir,
                                          suggested);
        if (name.isEmpty())
            break;
        if (!QFileInfo(name).fileName().contains(u'.'))
            name += QStringLiteral(".txt");
        LastExportDir = FolderOf(name);
        if (QFileInfo::exists(name)) {
            const QString question =
                u'"' + name + u'"' +
                QCoreApplication::translate("ExportText", " вече съществува!      \rПрепокриване?");
            if (ShowMessageBox(question, QCoreApplication::translate("ExportText", "Внимание"),
                               MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
                name = OverwriteMarker;
        }
    } while (name == OverwriteMarker);
    return name;
}

QByteArray ConvertCodePage(const QByteArray& line) {
    if (ExportTxtOpts.TxtCyrSet == Utf8CodePage)
        return Win1251::Decode(line).toUtf8();
    if (ExportTxtOpts.TxtCyrSet != 1 && ExportTxtOpts.TxtCyrSet != 2)
        return line;
    const TCodeTable table = CodePageTable();
    QByteArray out(line);
    for (char& c : out)
        c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    return out;
}

QString FormatCell(const QString& value, bool isLast, const TField* field, int width) {
    TCodeTable identity;
    for (int c = 0; c < 256; ++c)
        identity[c] = static_cast<unsigned char>(c);
    const TCellLayout layout = CurrentLayout();
    QByteArray bytes(CellRoom(value, width, layout), '\0');
    const TAlignment alignment = field ? field->Alignment() : TAlignment::Left;
    bool lost = false;
    char* end = PutCell(bytes.data(), value, isLast, alignment, width, layout, identity, lost);
    bytes.truncate(end - bytes.data());
    return layout.Utf8 ? QString::fromUtf8(bytes) : Win1251::Decode(bytes);
}

SaveFileDialogHandler SetSaveFileDialogHandler(SaveFileDialogHandler handler) {
    SaveFileDialogHandler previous = std::move(DialogHandler());
    DialogHandler() = std::move(handler);
    return previous;
}

QString QtFileFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QString pattern = parts[i + 1];
        pattern.replace(u';', u' ');
        if (description.contains(u'(' + pattern + u')'))
            entries << description;
        else
            entries << description + QStringLiteral(" (") + pattern + u')';
    }
    return entries.join(QStringLiteral(";;"));
}

QString WidgetSaveFileDialog(const QString& title, const QString& filter, const QString& directory,
                             const QString& suggestedName) {
    const QString start = QDir(directory).filePath(suggestedName);
    QString selected;
    QString name = QFileDialog::getSaveFileName(MainForm(), title, start, QtFileFilter(filter),
                                                &selected, QFileDialog::DontConfirmOverwrite);
    // A typed extension decides the format; without one the type shown in
    // the dialog does ("Excel (*.xlsx)" adds ".xlsx").
    static const QRegularExpression pattern(QStringLiteral(R"(\(\*\.(\w+)\))"));
    const QRegularExpressionMatch match = pattern.match(selected);
    if (!name.isEmpty() && !QFileInfo(name).fileName().contains(u'.') && match.hasMatch())
        name += u'.' + match.captured(1);
    return name;
}

void ExportToText(QObject* source, const QStringList* lines, const QString& title,
                  const QString& fileName, QString& resultText, const ExportRowWalk& walk) {
    resultText = NotExported();
    TExportSource src;
    if (!ReadSource(source, src))
        return;
    TDataSet* dataSet = src.DataSet;
    const QString heading = title.isEmpty() ? dataSet->objectName() : title;

    QString name = fileName;
    if (name.isEmpty()) {
        name = ChooseExportFile(heading);
        if (name.isEmpty())
            return;
        if (ExportFormatOfName(name) != TExportFormat::Text) {
            ExportToFile(source, lines, title, name, resultText);
            return;
        }
    }

    TTextFileWriter writer;
    qint64 lostValues = 0;
    QString firstLostValue;
    try {
        writer.Open(name);
    } catch (const Exception& e) {
        resultText = QCoreApplication::translate("ExportText", "Невъзможен запис във файл ") +
                     u'"' + name + u'"' + QStringLiteral(".\r") +
                     QCoreApplication::translate(
                         "ExportText", "Проверете дали има достъп до неговата папка и дали не е "
                                       "отворен в друга програма.\r") +
                     u'(' + e.message() + u')';
        ShowMessageBox(resultText, QCoreApplication::translate("ExportText", "Грешка"),
                       MB_ICONSTOP);
        return;
    }

    dataSet->DisableControls();
    const TBookmark bookmark = dataSet->GetBookmark();
    bool stopped = false;
    try {
        TLineWriter out(writer, src);
        const int rule = RuleWidth(src);
        const QString ruleLine(rule, u'-');

        if (heading.startsWith(u'[') && heading.endsWith(u']')) {
            out.Text(heading);
        } else if (ExportTxtOpts.ExportHeader) {
            out.Text(heading);
            if (!lines || lines->isEmpty()) {
                out.Plain(QString());
            } else {
                out.Plain(QString(heading.size(), u'='));
                for (const QString& line : *lines)
                    out.Text(line);
            }
        }

        if (ExportTxtOpts.ExportHeader || ExportTxtOpts.ExportClmNames) {
            if (ExportTxtOpts.ExportHeader)
                out.Plain(ruleLine);
            out.Cells([](const TExportColumn& c) {
                const QString label = TrimText(c.Field->DisplayName());
                return label.isEmpty() ? c.Field->FieldName() : label;
            });
            if (ExportTxtOpts.ExportHeader)
                out.Plain(ruleLine);
        }

        const ExportProgressHandler& progress = ProgressHandler();
        const qint64 total = dataSet->IsUniDirectional() ? 0 : dataSet->RecordCount();
        qint64 written = 0;
        if (progress && progress(0, total))
            throw TExportStopped();
        WalkExportRows(dataSet, walk, [&] {
            out.Record();
            if (progress && ++written % ProgressRows == 0 && progress(written, total))
                throw TExportStopped();
        });

        if (ExportTxtOpts.ExportHeader) {
            out.Plain(ruleLine);
            if (const QStringList* footer = ExportTxtOpts.FooterValues) {
                // The report has fewer column slots than a grid may have
                // columns: a column without a total gets an empty cell.
                out.Cells([footer](const TExportColumn& c) { return footer->value(c.Position); });
                out.Plain(ruleLine);
            }
        }
        writer.Finish();
        ExportTxtOpts.FooterValues = nullptr;
        resultText.clear();
        lostValues = out.LostValues;
        firstLostValue = out.FirstLostValue;
    } catch (const TExportStopped&) {
        stopped = true;
    } catch (const std::exception& e) {
        resultText = NotExported() + QStringLiteral("\r(") + ExceptionText(e) + u')';
    }

    // Back to the remembered record before the controls follow it again, so an
    // attached grid repaints once. A forward-only data set cannot go back.
    if (dataSet->BookmarkValid(bookmark))
        dataSet->GotoBookmark(bookmark);
    dataSet->EnableControls();
    if (!resultText.isEmpty()) {
        try {
            writer.Discard();
        } catch (const std::exception& e) {
            resultText += QStringLiteral("\r(") + ExceptionText(e) + u')';
            stopped = false;
        }
        // A stop the user asked for needs no message.
        if (!stopped)
            ShowMessageBox(resultText, QStringLiteral("Export Error"), MB_ICONSTOP);
    } else if (lostValues > 0) {
        // Written, but not as held: said once, not hidden behind the '?'s.
        ShowMessageBox(LostCharactersMessage(lostValues, firstLostValue),
                       QCoreApplication::translate("ExportText", "Съобщение"),
                       MB_OK | MB_ICONEXCLAMATION);
    }
}

const ExportProgressHandler& CurrentExportProgressHandler() {
    return ProgressHandler();
}

QString LostCharactersMessage(qint64 count, const QString& firstValue) {
    return QCoreApplication::translate(
               "ExportText", "%1 стойности съдържат знаци, които избраната кодова таблица няма; "
                             "на тяхно място е записан \"?\". Първата: %2\r"
                             "Кодовата таблица UTF-8 (настройки на експорта) ги записва всички.")
        .arg(count)
        .arg(firstValue);
}

ExportProgressHandler SetExportProgressHandler(ExportProgressHandler handler) {
    ExportProgressHandler previous = std::move(ProgressHandler());
    ProgressHandler() = std::move(handler);
    return previous;
}

// ------------------------------------------------------------ TTextFileWriter

void SetTextWriteLimit(qint64 bytes) {
    WriteLimit = bytes;
}

TTextFileWriter::TTextFileWriter() = default;

TTextFileWriter::~TTextFileWriter() {
    try {
        Discard();
    } catch (...) {
        // Nothing more can be done for a file that cannot be removed.
    }
}

void TTextFileWriter::Open(const QString& fileName) {
    Name = fileName;
    File.setFileName(fileName);
    // Unbuffered: the writer's own buffer is the only one, written out in
    // large blocks.
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw Exception(File.errorString());
    const QFileInfo info(fileName);
    RegularFile = info.isFile();
    SymLink = info.isSymLink();
    Capacity = WriterBufferSize + (WriterBufferSize >> 2);
    Buffer.reset(new char[std::size_t(Capacity)]);
    Used = 0;
    Written = 0;
}

bool TTextFileWriter::IsOpen() const {
    return File.isOpen();
}

char* TTextFileWriter::Reserve(qsizetype count) {
    if (Used + count > Capacity || Used >= WriterBufferSize) {
        Flush();
        if (count > Capacity) {
            Capacity = count;
            Buffer.reset(new char[std::size_t(Capacity)]);
        }
    }
    return Buffer.get() + Used;
}

void TTextFileWriter::Write(const char* bytes, qsizetype count) {
    std::memcpy(Reserve(count), bytes, std::size_t(count));
    Used += count;
}

void TTextFileWriter::Flush() {
    if (Used > 0) {
        WriteOut(Buffer.get(), Used);
        Used = 0;
    }
}

void TTextFileWriter::WriteOut(const char* bytes, qsizetype count) {
    qsizetype allowed = count;
    if (WriteLimit >= 0 && Written + count > WriteLimit)
        allowed = qsizetype(std::max<qint64>(0, WriteLimit - Written));
    while (allowed > 0) {
        const qint64 n = File.write(bytes, allowed);
        if (n <= 0)
            throw Exception(File.errorString());
        bytes += n;
        allowed -= qsizetype(n);
        count -= qsizetype(n);
        Written += n;
    }
    if (count > 0)
        throw Exception(qt_error_string(ENOSPC));
}

void TTextFileWriter::Finish() {
    if (!File.isOpen())
        return;
    Flush();
    File.close();
    if (File.error() != QFileDevice::NoError)
        throw Exception(File.errorString());
    Buffer.reset();
    Name.clear();
}

void TTextFileWriter::Discard() {
    Used = 0;
    Buffer.reset();
    if (!File.isOpen())
        return;
    if (RegularFile && SymLink)
        File.resize(0); // the link stays; what it points to holds nothing
    File.close();
    const QString name = Name;
    Name.clear();
    if (RegularFile && !SymLink && !QFile::remove(name))
        throw Exception(QStringLiteral("Cannot delete \"%1\"").arg(name));
}

QString ExportDialogTitle() {
    return QCoreApplication::translate("ExportText", "Запис в текстов файл");
}

QString ExportDialogFilter() {
    return QCoreApplication::translate(
        "ExportText", "Текст (*.txt)|*.txt|CSV (*.csv)|*.csv|Excel (*.xlsx)|*.xlsx");
}
