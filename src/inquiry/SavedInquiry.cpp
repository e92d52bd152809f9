#include "SavedInquiry.h"

#include "Exception.h"
#include "Inquiry.h"
#include "SessionInit.h"
#include "Win1251.h"

#include <QDir>
#include <QFileInfo>
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

QByteArray FileText(const QStringList& items) {
    QByteArray bytes;
    for (const QString& item : items) {
        bytes += Win1251::Encode(item);
        bytes += "\r\n";
    }
    return bytes;
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
    for (const TSetFile& file : SetFiles) {
        if (!WriteFile(baseName + QLatin1String(file.Suffix), FileText(inquiry.*file.List)))
            throw Exception(SavedInquiryFailureMessage);
    }
    if (!WriteFile(baseName + QLatin1String(OptionsSuffix), FileText(OptionLines(inquiry))))
        throw Exception(SavedInquiryFailureMessage);
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
    if (!failed) {
        const QString options = baseName + QLatin1String(OptionsSuffix);
        try {
            ApplyOptionLines(inquiry,
                             QFileInfo::exists(options) ? ReadScriptLines(options) : QStringList());
        } catch (const Exception&) {
            failed = true;
        }
    }
    if (loaded)
        inquiry.Modified = true;
    inquiry.View()->ListsChanged();
    if (failed)
        throw Exception(SavedInquiryFailureMessage);
}
