#include "SavedInquiry.h"

#include "Exception.h"
#include "Inquiry.h"
#include "SessionInit.h"
#include "Win1251.h"

#include <QDir>
#include <QSaveFile>
#include <span>

namespace {

// One file of the set: its suffix and the list it holds.
struct TSetFile {
    const char* Suffix;
    QStringList TInquiry::*List;
};

// The order of this table is the order of writing and reading.
const TSetFile SetFiles[] = {
    {"", &TInquiry::SelectedTables},
    {".SEL.DRN", &TInquiry::SelectedTables},
    {".SELBG.DRN", &TInquiry::SelectedTablesBG},
    {".REL.DRN", &TInquiry::Relations},
    {".RELBG.DRN", &TInquiry::RelationsBG},
    {".RELFunc.DRN", &TInquiry::RelationsFunc},
    {".RELLPart.DRN", &TInquiry::RelationsLPart},
    {".ORDER.DRN", &TInquiry::OrderBox},
    {".ORDERFN.DRN", &TInquiry::OrderBoxFunc},
    {".ORDERBG.DRN", &TInquiry::OrderBoxBG},
    {".GROUP.DRN", &TInquiry::GroupBox},
    {".GROUPBG.DRN", &TInquiry::GroupBoxBG},
};

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

// Writes through a temporary file that replaces the old one only when it is
// complete, so a failed write never leaves half a list behind.
bool WriteFile(const QString& fileName, const QByteArray& bytes) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // An unfinished file is dropped when it goes out of scope uncommitted.
    return file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

QString SavedInquiryFolder() {
    const QString folder = ProgramDir + QStringLiteral("SaveReps");
    QDir().mkpath(folder);
    return folder;
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
        if (!WriteFile(baseName + QLatin1String(file.Suffix), FileText(inquiry.*file.List, utf8)))
            throw Exception(SavedInquiryFailureMessage);
    }
}

void LoadInquiryFiles(TInquiry& inquiry, const QString& baseName) {
    bool failed = false;
    bool loaded = false;
    // B itself only repeats ".SEL.DRN" for the dialogs.
    for (const TSetFile& file : std::span(SetFiles).subspan(1)) {
        try {
            inquiry.*file.List = ReadScriptLines(baseName + QLatin1String(file.Suffix));
            loaded = true;
        } catch (const Exception&) {
            failed = true;
            break;
        }
    }
    // The loaded lists are not what the result shows: preview, print and
    // export run the inquiry again first, so the rows they give match the
    // conditions they print.
    if (loaded) {
        inquiry.Modified = true;
        inquiry.SetLoadedVariables();
    }
    inquiry.View()->ListsChanged();
    if (failed)
        throw Exception(SavedInquiryFailureMessage);
}
