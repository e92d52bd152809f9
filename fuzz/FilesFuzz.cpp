// Readers of the program's own text files: the saved-inquiry set and the
// connection script.

#include "Exception.h"
#include "FuzzTargets.h"
#include "Inquiry.h"
#include "InquiryView.h"
#include "SavedInquiry.h"
#include "SessionInit.h"

#include <QFile>

namespace Fuzz {

namespace {

// One inquiry for the whole run: building its report template for every
// input would make the target slow without reaching more code.
TInquiry& SharedInquiry() {
    static TPlainInquiryView* view = new TPlainInquiryView;
    static TInquiry* inquiry = new TInquiry(view, nullptr);
    return *inquiry;
}

void ClearLists(TInquiry& inquiry) {
    for (QStringList* list :
         {&inquiry.SelectedTables, &inquiry.SelectedTablesBG, &inquiry.Relations,
          &inquiry.RelationsFunc, &inquiry.RelationsLPart, &inquiry.RelationsBG, &inquiry.GroupBox,
          &inquiry.GroupBoxBG, &inquiry.OrderBox, &inquiry.OrderBoxFunc, &inquiry.OrderBoxBG})
        list->clear();
}

} // namespace

// The input is the set's eleven files in their reading order, separated by
// byte 0x1E; files the input does not reach are missing.
void SavedInquiry(const std::uint8_t* data, std::size_t size) {
    const QStringList suffixes = SavedInquirySuffixes().mid(1);
    const QList<QByteArray> parts = SplitInput(Bytes(data, size), '\x1e', int(suffixes.size()));
    const QString base = ScratchFolder() + QStringLiteral("/FUZZ.SQL");
    for (qsizetype i = 0; i < suffixes.size(); ++i) {
        if (i < parts.size())
            ScratchFile(QStringLiteral("FUZZ.SQL") + suffixes[i], parts[i]);
        else
            QFile::remove(base + suffixes[i]);
    }
    TInquiry& inquiry = SharedInquiry();
    ClearLists(inquiry);
    try {
        LoadInquiryFiles(inquiry, base);
    } catch (const Exception&) {
    }
    // The lists of a loaded set need not agree with each other; the
    // operations on them must cope.
    try {
        (void)inquiry.ComposeStatement();
    } catch (const Exception&) {
    }
    try {
        inquiry.RemoveOrdering(inquiry.OrderBox.value(0));
        while (!inquiry.RelationsBG.isEmpty())
            inquiry.RemoveRelation(int(inquiry.RelationsBG.size()) - 1);
        while (!inquiry.GroupBoxBG.isEmpty())
            inquiry.RemoveGrouping(0);
        while (!inquiry.OrderBoxBG.isEmpty())
            inquiry.RemoveOrderingAt(0);
    } catch (const Exception&) {
    }
}

void ConnectionScript(const std::uint8_t* data, std::size_t size) {
    const QString path = ScratchFile(QStringLiteral("ALIAS.SQL"), Bytes(data, size));
    try {
        for (const QString& line : ReadScriptLines(path)) {
            // Lines never carry their ends.
            if (line.contains(u'\r') || line.contains(u'\n'))
                __builtin_trap();
            (void)IsScriptSeparator(line);
        }
    } catch (const Exception&) {
    }
}

} // namespace Fuzz
