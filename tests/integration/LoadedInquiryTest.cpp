// Saved inquiries loaded and run on the embedded database and on PostgreSQL:
// the loaded set must give the rows it describes or the server's error, the
// same on both.

#include "ServerFixture.h"

#include "DbAccess.h"
#include "Inquiry.h"
#include "InquiryView.h"
#include "MessageBox.h"
#include "SavedInquiry.h"
#include "ServerRoutines.h"

#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace ServerTest;

namespace {

struct TLoadedRun {
    bool Open = false;
    QStringList Messages;
    QString Year;       // kzmGodina on the server after the load
    QStringList Months; // the "Месец" of every row
};

// Saves the inquiry compose makes on subject, lets edit change the set's
// lists (as another program or a hand could), sets the year variable to
// 2024 as the connection script does, then loads the set into a new
// inquiry on the same subject and runs it.
TLoadedRun SaveLoadAndRun(const QString& subject, const std::function<void(TInquiry&)>& compose,
                          const std::function<void(TInquiry&)>& edit) {
    TLoadedRun run;
    const MessageBoxHandler previous =
        SetMessageBoxHandler([&run](const QString& text, const QString& caption, int style) {
            run.Messages << caption + u": "_s + text;
            return DefaultMessageBoxButton(style);
        });
    QTemporaryDir dir;
    const QString base = dir.filePath(u"set.SQL"_s);
    {
        TPlainInquiryView view;
        TInquiry saved(&view, nullptr);
        saved.SetDatabaseName(u"restdata"_s);
        saved.OpenSubjectList();
        saved.SelectSubject(subject);
        compose(saved);
        if (edit)
            edit(saved);
        SaveInquiryFiles(saved, base);
    }
    ExecSqlValue(u"SET kzmGodina = 2024"_s);
    TPlainInquiryView view;
    TInquiry inquiry(&view, nullptr);
    inquiry.SetDatabaseName(u"restdata"_s);
    inquiry.OpenSubjectList();
    inquiry.SelectSubject(subject);
    LoadInquiryFiles(inquiry, base);
    run.Year = ExecSqlValue(u"SELECT kzmGodina FROM DUMMY"_s).toString();
    run.Open = inquiry.btSpravkaClick(true);
    TQuery* data = inquiry.qrDATA();
    if (run.Open && data->FindField(u"Месец"_s))
        for (data->First(); !data->Eof(); data->Next())
            run.Months << data->FieldByName(u"Месец"_s)->AsString();
    SetMessageBoxHandler(previous);
    return run;
}

} // namespace

TEST(LoadedInquiry, UnknownGroupNameFailsAndLoadedVariableIsSetOnEveryBackend) {
    REQUIRE_PG_SERVER();
    QStringList aliases = {u"EMB"_s, u"PG"_s};
    TMyServer my;
    if (MyServer(&my))
        aliases << u"MY"_s;
    for (const QString& alias : aliases) {
        SCOPED_TRACE(alias.toStdString());
        TDatabase* db = OpenSession(alias);

        // Grouped on a display name "Стоки" does not have.
        const TLoadedRun unknown = SaveLoadAndRun(
            u"Стоки"_s, [](TInquiry&) {},
            [](TInquiry& q) {
                q.GroupBox = {u"\"Клиент\""_s};
                q.GroupBoxBG = {u"Клиент"_s};
            });
        EXPECT_FALSE(unknown.Open);
        ASSERT_EQ(unknown.Messages.size(), 1) << unknown.Messages.join(u'\n').toStdString();
        EXPECT_TRUE(unknown.Messages[0].startsWith(u"Системно съобщение: "_s))
            << unknown.Messages[0].toStdString();

        // The year of the set, not the one the session had.
        const TLoadedRun year = SaveLoadAndRun(
            u"Продажби за година"_s,
            [](TInquiry& q) { q.ApplyExternalFilter(u"kzmGodina"_s, u"="_s, u"2023"_s); }, {});
        EXPECT_TRUE(year.Open);
        EXPECT_TRUE(year.Messages.isEmpty()) << year.Messages.join(u'\n').toStdString();
        EXPECT_EQ(year.Year, u"2023"_s);
        ASSERT_FALSE(year.Months.isEmpty());
        for (const QString& month : year.Months)
            EXPECT_TRUE(month.startsWith(u"2023-"_s)) << month.toStdString();
        // The subject's pre-run script logged the run; other tests read the log.
        ExecSqlValue(u"DELETE FROM LogFile WHERE Tip = 9 AND LogText = 'Продажби за 2023'"_s);

        CloseSession(db);
    }
}
