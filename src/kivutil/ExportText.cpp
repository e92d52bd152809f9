#include "ExportText.h"

#include "DBGrid.h"
#include "ExportOptions.h"
#include "ExportTable.h"
#include "MessageBox.h"
#include "TextRoutines.h"
#include "Win1251.h"
#include "WindowRoutines.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
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

const QString NotExported = QStringLiteral("Неосъществен експорт във файл.");
// Stands for a refused file name in the file-choice loop; no file can have it.
const QString OverwriteMarker = QStringLiteral("\"::-!-::\"");

// ------------------------------------------------------------ code pages

using TCodeTable = std::array<unsigned char, 256>;

// The byte map of ConvertCodePage for the current settings.
TCodeTable CodePageTable() {
    TCodeTable table;
    for (int c = 0; c < 256; ++c)
        table[c] = static_cast<unsigned char>(c);
    if (ExportTxtOpts.TxtCyrSet == 0)
        return table;
    for (int c = 192; c <= 239; ++c)
        table[c] = static_cast<unsigned char>(c - 64);
    for (int c = 240; c <= 255; ++c)
        table[c] = static_cast<unsigned char>(c - CyrTailShift);
    return table;
}

// Writes text in Windows-1251 through the code table; returns the end. A
// character outside the code page becomes '?', a surrogate pair one '?'.
char* EncodeInto(char* out, const QString& text, const TCodeTable& table) {
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
            ++p;
        } else {
            b = Win1251::EncodeChar(*p);
        }
        *out++ = static_cast<char>(table[b]);
        ++p;
    }
    return out;
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
    char Delimiter = 0;
    bool HasDelimiter = false;
};

TCellLayout CurrentLayout() {
    TCellLayout layout;
    layout.Fixed = ExportTxtOpts.FixedClmWidth;
    if (!ExportTxtOpts.TxtClmDelimiter.isEmpty()) {
        layout.HasDelimiter = true;
        layout.Delimiter = static_cast<char>(Win1251::EncodeChar(ExportTxtOpts.TxtClmDelimiter[0]));
    }
    return layout;
}

// The bytes FormatCell describes, written at out (room for
// max(length, width) + 1 bytes); returns the end. The value is escaped already.
char* PutCell(char* out, const QString& value, bool isLast, TAlignment alignment, int width,
              const TCellLayout& layout, const TCodeTable& table) {
    char* start = out;
    char* end = EncodeInto(out, value, table);
    if (layout.Fixed && width > 0) {
        const qsizetype length = end - start;
        if (length >= width) {
            end = start + width;
        } else {
            const qsizetype missing = width - length;
            qsizetype before = 0;
            if (alignment == TAlignment::Right)
                before = missing;
            else if (alignment == TAlignment::Center)
                before = missing / 2;
            if (before > 0) {
                std::memmove(start + before, start, std::size_t(length));
                std::memset(start, ' ', std::size_t(before));
            }
            std::memset(start + before + length, ' ', std::size_t(missing - before));
            end = start + width;
        }
    }
    if (layout.HasDelimiter && !isLast)
        *end++ = static_cast<char>(table[static_cast<unsigned char>(layout.Delimiter)]);
    return end;
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
    void Text(const QString& text) { Line(text, Table); }
    // A line of ASCII signs, written as it is.
    void Plain(const QString& text) { Line(text, Identity); }
    // A line of cells: text(column) for each exported position.
    template <typename TextOf> void Cells(TextOf&& textOf) {
        for (const TExportColumn& c : Source.Columns) {
            QString value = textOf(c);
            if (NeedsEscape(value))
                EscapeControlChars(value);
            const qsizetype room = std::max<qsizetype>(value.size(), c.Width) + 1;
            char* start = Out.Reserve(room);
            char* end = PutCell(start, value, c.Position == Source.Count - 1, c.Field->Alignment(),
                                c.Width, Layout, Table);
            Out.Commit(end - start);
        }
        Out.EndLine();
    }

private:
    void Line(const QString& text, const TCodeTable& table) {
        char* start = Out.Reserve(text.size());
        Out.Commit(EncodeInto(start, text, table) - start);
        Out.EndLine();
    }

    TTextFileWriter& Out;
    const TExportSource& Source;
    TCellLayout Layout;
    TCodeTable Table;
    TCodeTable Identity;
};

// Where the file dialog leaves the folder of a chosen file: no trailing
// separator except for a root.
QString FolderOf(const QString& fileName) {
    return QFileInfo(fileName).absolutePath();
}

QString ErrorText(const std::exception& e) {
    if (const auto* ours = dynamic_cast<const Exception*>(&e))
        return ours->message();
    return QString::fromLocal8Bit(e.what());
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
        name = handler ? handler(ExportDialogTitle, ExportDialogFilter, LastExportDir, suggested)
                       : WidgetSaveFileDialog(ExportDialogTitle, ExportDialogFilter, LastExportDir,
                                              suggested);
        if (name.isEmpty())
            break;
        if (!QFileInfo(name).fileName().contains(u'.'))
            name += QStringLiteral(".txt");
        LastExportDir = FolderOf(name);
        if (QFileInfo::exists(name)) {
            const QString question =
                u'"' + name + u'"' + QStringLiteral(" вече съществува!      \rПрепокриване?");
            if (ShowMessageBox(question, QStringLiteral("Внимание"),
                               MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
                name = OverwriteMarker;
        }
    } while (name == OverwriteMarker);
    return name;
}

QByteArray ConvertCodePage(const QByteArray& line) {
    if (ExportTxtOpts.TxtCyrSet == 0)
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
    QByteArray bytes(std::max<qsizetype>(value.size(), width) + 1, '\0');
    const TAlignment alignment = field ? field->Alignment() : TAlignment::Left;
    char* end = PutCell(bytes.data(), value, isLast, alignment, width, CurrentLayout(), identity);
    bytes.truncate(end - bytes.data());
    return Win1251::Decode(bytes);
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
    return QFileDialog::getSaveFileName(MainForm(), title, start, QtFileFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void ExportToText(QObject* source, const QStringList* lines, const QString& title,
                  const QString& fileName, QString& resultText, const ExportRowWalk& walk) {
    resultText = NotExported;
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
    try {
        writer.Open(name);
    } catch (const Exception& e) {
        resultText = QStringLiteral("Невъзможен запис във файл ") + u'"' + name + u'"' +
                     QStringLiteral(".\r") +
                     QStringLiteral("Проверете дали има достъп до неговата папка и дали не е "
                                    "отворен в друга програма.\r") +
                     u'(' + e.message() + u')';
        ShowMessageBox(resultText, QStringLiteral("Грешка"), MB_ICONSTOP);
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
            out.Cells([](const TExportColumn& c) {
                return c.UseDisplayText ? c.Field->DisplayText() : c.Field->AsString();
            });
            if (progress && ++written % ProgressRows == 0 && progress(written, total))
                throw TExportStopped();
        });

        if (ExportTxtOpts.ExportHeader) {
            out.Plain(ruleLine);
            if (const QStringList* footer = ExportTxtOpts.FooterValues) {
                out.Cells([footer](const TExportColumn& c) {
                    if (c.Position >= footer->size())
                        throw Exception(
                            QStringLiteral("List index out of bounds (%1)").arg(c.Position));
                    return footer->at(c.Position);
                });
                out.Plain(ruleLine);
            }
        }
        writer.Finish();
        ExportTxtOpts.FooterValues = nullptr;
        resultText.clear();
    } catch (const TExportStopped&) {
        stopped = true;
    } catch (const std::exception& e) {
        resultText = NotExported + QStringLiteral("\r(") + ErrorText(e) + u')';
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
            resultText += QStringLiteral("\r(") + ErrorText(e) + u')';
            stopped = false;
        }
        // A stop the user asked for needs no message.
        if (!stopped)
            ShowMessageBox(resultText, QStringLiteral("Export Error"), MB_ICONSTOP);
    }
}

const ExportProgressHandler& CurrentExportProgressHandler() {
    return ProgressHandler();
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
