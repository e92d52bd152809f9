#include "SavedInquiry.h"

#include "Exception.h"
#include "Inquiry.h"
#include "SafeFile.h"
#include "SessionInit.h"
#include "Win1251.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <optional>
#include <span>
#include <vector>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace {

// One file of the set: its suffix, the list it holds, and whether its lines
// go into the composed SQL (the shown Bulgarian texts do not).
struct TSetFile {
    const char* Suffix;
    QStringList TInquiry::*List;
    bool Sql;
};

// The order of this table is the order of writing and reading.
const TSetFile SetFiles[] = {
    {"", &TInquiry::SelectedTables, true},
    {".SEL.DRN", &TInquiry::SelectedTables, true},
    {".SELBG.DRN", &TInquiry::SelectedTablesBG, false},
    {".REL.DRN", &TInquiry::Relations, true},
    {".RELBG.DRN", &TInquiry::RelationsBG, false},
    {".RELFunc.DRN", &TInquiry::RelationsFunc, true},
    {".RELLPart.DRN", &TInquiry::RelationsLPart, true},
    {".ORDER.DRN", &TInquiry::OrderBox, true},
    {".ORDERFN.DRN", &TInquiry::OrderBoxFunc, true},
    {".ORDERBG.DRN", &TInquiry::OrderBoxBG, false},
    {".GROUP.DRN", &TInquiry::GroupBox, true},
    {".GROUPBG.DRN", &TInquiry::GroupBoxBG, false},
};

// A file of the set that must not be loaded at all (as opposed to one that
// is missing or unreadable): the whole set is refused and nothing changes.
class ERefusedSet : public Exception {
public:
    using Exception::Exception;
};

QString Quoted(const QString& fileName) {
    return u'"' + QDir::toNativeSeparators(fileName) + u'"';
}

// The owner of a path without following a link; nullopt when unknown.
std::optional<unsigned> OwnerOf(const QString& path) {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return std::nullopt;
#else
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return unsigned(st.st_uid);
#endif
}

// A file of another user is taken only from the shared folder, and only
// when root or the user who installed the program (the owner of its folder)
// put it there: anyone else's file could have been planted to run SQL in
// this user's name.
bool TrustedOwner(const QString& fileName, unsigned owner) {
    if (owner == CurrentUserId())
        return true;
    const QString shared = QFileInfo(SharedSavedInquiryFolder()).canonicalFilePath();
    if (shared.isEmpty() || QFileInfo(fileName).canonicalPath() != shared)
        return false;
    return owner == 0 || OwnerOf(ProgramDir) == owner;
}

// Windows-1251, as other programs read the sets; UTF-8 behind a byte-order
// mark for a set holding a character the code page lacks, which 1251 would
// turn into '?' and so into a condition on other rows.
QByteArray FileText(const QStringList& items, bool utf8) {
    QByteArray bytes = utf8 && !items.isEmpty() ? Win1251::Utf8Bom : QByteArray();
    for (const QString& item : items) {
        bytes += utf8 ? item.toUtf8() : Win1251::Encode(item);
        bytes += "\r\n";
    }
    return bytes;
}

bool NeedsUtf8(const TInquiry& inquiry) {
    for (const TSetFile& file : SetFiles)
        for (const QString& item : inquiry.*file.List)
            if (!Win1251::Represents(item))
                return true;
    return false;
}

// Reads one file of the set for loading. Links, other users' files and
// SQL lines that hold a statement separator raise ERefusedSet; a file that
// is missing or unreadable raises Exception.
QStringList ReadSetFile(const QString& fileName, bool sql) {
    if (QFileInfo(fileName).isSymLink())
        throw ERefusedSet(
            QCoreApplication::translate("SavedInquiry", "Файлът ") + Quoted(fileName) +
            QCoreApplication::translate("SavedInquiry",
                                        " от записаната справка е символна връзка и справката "
                                        "не се зарежда."));
    unsigned owner = 0;
    QStringList lines;
    try {
        lines = ReadScriptLines(fileName, true, &owner);
    } catch (const Exception& e) {
        // A FIFO, a device or a file far too big is not an accident like a
        // missing file or a folder in its place: its own message says why.
        const QFileInfo info(fileName);
        if (info.exists() && !info.isDir() && (!info.isFile() || info.size() > UntrustedFileLimit))
            throw ERefusedSet(e.message());
        throw;
    }
    if (!TrustedOwner(fileName, owner))
        throw ERefusedSet(
            QCoreApplication::translate("SavedInquiry", "Файлът ") + Quoted(fileName) +
            QCoreApplication::translate("SavedInquiry",
                                        " от записаната справка е на друг потребител и "
                                        "справката не се зарежда."));
    if (sql)
        for (const QString& line : lines)
            if (HasStatementSeparator(line))
                throw ERefusedSet(
                    QCoreApplication::translate("SavedInquiry", "Файлът ") + Quoted(fileName) +
                    QCoreApplication::translate("SavedInquiry",
                                                " от записаната справка съдържа \";\" извън "
                                                "текст и коментар (втора команда) и справката "
                                                "не се зарежда."));
    return lines;
}

// Looks for a ';' outside literals, quoted names and comments, reading
// backslashes as escapes or not as asked (servers differ).
bool SeparatorOutside(const QString& text, bool backslashEscapes) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u';')
            return true;
        if (c == u'\'' || c == u'"') {
            for (++i; i < n; ++i) {
                if (backslashEscapes && c == u'\'' && text[i] == u'\\') {
                    ++i;
                    continue;
                }
                if (text[i] == c) {
                    if (i + 1 < n && text[i + 1] == c) {
                        ++i; // a doubled quote stays inside
                        continue;
                    }
                    break;
                }
            }
        } else if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
            return false; // the rest of the line is a comment
        } else if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
            const qsizetype end = text.indexOf(QStringLiteral("*/"), i + 2);
            if (end < 0)
                return false;
            i = end + 1;
        }
    }
    return false;
}

// The inquiry's own report options, "name=value" lines in a file beside
// the lists. Sets saved before it existed have none: their options are off.
const char* const OptionsSuffix = ".OPT.DRN";
const QString ChartInReportOption = QStringLiteral("Chart.InReport");

QStringList OptionLines(const TInquiry& inquiry) {
    return {ChartInReportOption +
            (inquiry.ChartInReport ? QStringLiteral("=1") : QStringLiteral("=0"))};
}

// Only the exact value "1" turns an option on.
void ApplyOptionLines(TInquiry& inquiry, const QStringList& lines) {
    inquiry.ChartInReport = false;
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && QStringView(line).left(eq).trimmed() == ChartInReportOption) {
            inquiry.ChartInReport = QStringView(line).mid(eq + 1).trimmed() == u"1";
            break;
        }
    }
}

} // namespace

bool HasStatementSeparator(const QString& text) {
    // Both readings: a separator hidden from one of them is outside for a
    // server that reads the text the other way.
    return SeparatorOutside(text, false) || SeparatorOutside(text, true);
}

QString SavedInquiryFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                           QStringLiteral("/SaveReps");
    try {
        return MakePrivateFolder(folder);
    } catch (const Exception&) {
        // Saving into it fails then and says so; the dialog still opens.
        return folder;
    }
}

QString SharedSavedInquiryFolder() {
    return ProgramDir + QStringLiteral("SaveReps");
}

QString FindSavedInquiry(const QString& name) {
    const QString fileName = QFileInfo(name).fileName();
    if (fileName.isEmpty())
        return QString();
    for (const QString& folder : {SavedInquiryFolder(), SharedSavedInquiryFolder()}) {
        const QString base = QDir(folder).filePath(fileName);
        if (QFileInfo::exists(base + QStringLiteral(".SEL.DRN")))
            return base;
    }
    return QString();
}

QStringList SavedInquirySuffixes() {
    QStringList suffixes;
    for (const TSetFile& file : SetFiles)
        suffixes << QLatin1String(file.Suffix);
    return suffixes;
}

void SaveInquiryFiles(const TInquiry& inquiry, const QString& baseName) {
    const bool utf8 = NeedsUtf8(inquiry);
    for (const TSetFile& file : SetFiles) {
        try {
            WriteFileReplacing(baseName + QLatin1String(file.Suffix), FileText(inquiry.*file.List, utf8));
        } catch (const Exception&) {
            throw Exception(SavedInquiryFailureMessage());
        }
    }
    try {
        WriteFileReplacing(baseName + QLatin1String(OptionsSuffix), FileText(OptionLines(inquiry), false));
    } catch (const Exception&) {
        throw Exception(SavedInquiryFailureMessage());
    }
}

void LoadInquiryFiles(TInquiry& inquiry, const QString& baseName) {
    // Every file is read and checked before any list changes, so a refused
    // set leaves the inquiry as it was. B itself only repeats ".SEL.DRN" for
    // the dialogs.
    const auto files = std::span(SetFiles).subspan(1);
    std::vector<QStringList> lists;
    bool failed = false;
    for (const TSetFile& file : files) {
        try {
            lists.push_back(ReadSetFile(baseName + QLatin1String(file.Suffix), file.Sql));
        } catch (const ERefusedSet&) {
            throw;
        } catch (const Exception&) {
            failed = true;
            break;
        }
    }
    const bool loaded = !lists.empty();
    for (size_t i = 0; i < lists.size(); ++i)
        inquiry.*files[i].List = lists[i];
    // The loaded lists are not what the result shows: preview, print and
    // export run the inquiry again first, so the rows they give match the
    // conditions they print.
    if (!failed) {
        const QString options = baseName + QLatin1String(OptionsSuffix);
        try {
            ApplyOptionLines(inquiry,
                             QFileInfo::exists(options) ? ReadScriptLines(options) : QStringList());
        } catch (const Exception&) {
            failed = true;
        }
    }
    if (loaded) {
        inquiry.Modified = true;
        inquiry.SetLoadedVariables();
    }
    inquiry.View()->ListsChanged();
    if (failed)
        throw Exception(SavedInquiryFailureMessage());
}

QString SavedInquiryFailureMessage() {
    return QCoreApplication::translate(
        "SavedInquiry",
        "Проверете дали в папката, където е програмата има папка \"SaveReps\" или някой файл е "
        "забравен отворен");
}

QString SavedInquiryFilter() {
    return QCoreApplication::translate("SavedInquiry", "Справка от DRNKorb|*.SQL");
}
