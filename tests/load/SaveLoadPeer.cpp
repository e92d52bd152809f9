// One user of the load test who saves and loads inquiries in a folder that
// other such users save into at the same time. Every round it saves a set
// under its own name and under the name all of them share, then loads both:
// its own set must come back exactly, and every list of the shared set must
// be one that some user saved whole (a list cut short, mixed from two saves
// or missing fails the run).
// Usage: load_saveload FOLDER TAG ROUNDS
// Prints "saved N loaded N" and exits 0, or names the first fault on
// standard error and exits 1.

#include "Inquiry.h"
#include "InquiryView.h"
#include "SavedInquiry.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Lines of a list long enough that a partial write would cut it: every line
// carries the number of the save it belongs to.
QStringList Lines(const QString& form, int save) {
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << form.arg(save).arg(i);
    return lines;
}

void Fill(TInquiry& inquiry, int save) {
    inquiry.SelectedTables = {u"Sales"_s, u"Customers"_s};
    inquiry.SelectedTablesBG = {u"Продажби"_s};
    inquiry.Relations = Lines(u"Sales.Qty >= %1 AND Sales.SaleID <> %2"_s, save);
    inquiry.RelationsBG = Lines(u"Количество >= %1, № <> %2"_s, save);
    inquiry.RelationsFunc = Lines(u"/* %1 */ %2"_s, save);
    inquiry.RelationsLPart = Lines(u"Sales.Qty /* %1 %2 */"_s, save);
    inquiry.OrderBox = {u"\"Количество\" DESC"_s};
    inquiry.OrderBoxFunc = {QString()};
    inquiry.OrderBoxBG = {u"Количество низходящо %1"_s.arg(save)};
    inquiry.GroupBox = {};
    inquiry.GroupBoxBG = {};
}

// The save number a loaded list belongs to, or -1 when it is not one list
// that some save wrote whole.
int SaveOf(const QStringList& lines, const QString& form) {
    if (lines.size() != 200)
        return -1;
    const QRegularExpressionMatch number = QRegularExpression(u"\\d+"_s).match(lines.first());
    if (!number.hasMatch())
        return -1;
    const int save = number.captured().toInt();
    return lines == Lines(form, save) ? save : -1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: load_saveload FOLDER TAG ROUNDS\n");
        return 2;
    }
    const QDir folder(args[1]);
    const int tag = args[2].toInt();
    const int rounds = args[3].toInt();
    TPlainInquiryView view;
    TInquiry mine(&view, nullptr);
    TInquiry loaded(&view, nullptr);
    int saved = 0;
    int reads = 0;
    try {
        for (int round = 0; round < rounds; ++round) {
            const int save = tag * 1000 + round;
            Fill(mine, save);
            const QString own = folder.filePath(u"own-%1.SQL"_s.arg(tag));
            const QString shared = folder.filePath(u"shared.SQL"_s);
            SaveInquiryFiles(mine, own);
            SaveInquiryFiles(mine, shared);
            saved += 2;

            LoadInquiryFiles(loaded, own);
            ++reads;
            for (auto list :
                 {&TInquiry::SelectedTables, &TInquiry::Relations, &TInquiry::RelationsBG,
                  &TInquiry::RelationsFunc, &TInquiry::RelationsLPart, &TInquiry::OrderBoxBG})
                if (loaded.*list != mine.*list)
                    throw Exception(u"own set %1 came back changed"_s.arg(own));

            LoadInquiryFiles(loaded, shared);
            ++reads;
            const struct {
                QStringList TInquiry::*List;
                QString Form;
            } checks[] = {
                {&TInquiry::Relations, u"Sales.Qty >= %1 AND Sales.SaleID <> %2"_s},
                {&TInquiry::RelationsBG, u"Количество >= %1, № <> %2"_s},
                {&TInquiry::RelationsFunc, u"/* %1 */ %2"_s},
                {&TInquiry::RelationsLPart, u"Sales.Qty /* %1 %2 */"_s},
            };
            for (const auto& check : checks)
                if (SaveOf(loaded.*check.List, check.Form) < 0)
                    throw Exception(u"a list of the shared set is not one whole save"_s);
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "saver %d: %s\n", tag, e.message().toUtf8().constData());
        return 1;
    }
    std::printf("saved %d loaded %d\n", saved, reads);
    return 0;
}
