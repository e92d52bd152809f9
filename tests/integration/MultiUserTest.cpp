// Several users on one server: program processes (integration_peer) beside
// this one, sharing the column marks of Relations, running inquiries and
// exports at the same time; and a server connection that goes away.

#include "ServerFixture.h"

#include "DbAccess.h"
#include "Inquiry.h"
#include "InquiryView.h"
#include "MessageBox.h"
#include "Scenarios.h"
#include "ServerRoutines.h"

#include <QProcess>
#include <map>

using namespace Qt::StringLiterals;
using namespace ServerTest;

namespace {

// Runs a peer to its end; its standard output lines.
QStringList Peer(const QStringList& args, int* exitCode = nullptr) {
    QProcess p;
    p.start(QStringLiteral(VEXAL_PEER), QStringList{Folder(), u"PG"_s, QString()} + args);
    if (!p.waitForFinished(120000))
        p.kill();
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    const QString err = QString::fromUtf8(p.readAllStandardError());
    if (!err.trimmed().isEmpty())
        std::fprintf(stderr, "peer: %s\n", err.toUtf8().constData());
    return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

struct TMarkView {
    TPlainInquiryView View;
    TInquiry Inquiry{&View, nullptr};
    TMarkView() {
        Inquiry.SetDatabaseName(u"restdata"_s);
        Inquiry.OpenSubjectList();
    }
    // Fills the column grid for the subject, as a click in the subject list does.
    void Show(const QString& subject) {
        ASSERT_TRUE(Inquiry.qrTableName->Locate(u"BGTableName"_s, subject));
        Inquiry.ReportListBoxClick();
    }
    int Mark(const QString& column) {
        EXPECT_TRUE(Inquiry.qrCol->Locate(u"BGColName"_s, column));
        return Inquiry.qrCol->FieldByName(u"SelectCol"_s)->AsInteger();
    }
};

TEST(SeveralUsers, AMarkSetByOneIsSeenByTheOtherAfterItsGridRefreshes) {
    REQUIRE_PG_SERVER();
    TDatabase* db = OpenSession(u"PG"_s);
    TMarkView mine;
    mine.Show(u"Телефонен указател"_s);
    const int before = mine.Mark(u"Телефон"_s);
    ASSERT_EQ(before, 2);

    // The other user clicks the mark: it is stored at once.
    int exitCode = 0;
    EXPECT_EQ(Peer({u"mark"_s, u"Телефонен указател"_s, u"Телефон"_s}, &exitCode),
              QStringList{u"mark 0"_s});
    EXPECT_EQ(exitCode, 0);
    // This grid shows what it read until it is filled again.
    EXPECT_EQ(mine.Mark(u"Телефон"_s), before);
    mine.Show(u"Телефонен указател"_s);
    EXPECT_EQ(mine.Mark(u"Телефон"_s), 0);

    // And back the other way: this user's click is what the other reads.
    mine.Inquiry.DBGrid1CellClick(u"Text"_s);
    EXPECT_EQ(mine.Mark(u"Телефон"_s), 2);
    EXPECT_EQ(Peer({u"read"_s, u"Телефонен указател"_s, u"Телефон"_s}), QStringList{u"mark 2"_s});
    CloseSession(db);
}

TEST(SeveralUsers, InquiriesAndExportsAtTheSameTimeLoseNothing) {
    REQUIRE_PG_SERVER();
    // What one user alone gets from each scenario.
    TDatabase* db = OpenSession(u"PG"_s);
    std::vector<QString> expected;
    std::vector<int> rows;
    for (const TScenario& scenario : Scenarios()) {
        QString md5;
        const TScenarioResult r = RunScenario(scenario, 1, [&](TInquiry& inquiry) {
            md5 =
                ExportResult(inquiry, QString::fromUtf8(scenario.Name), Folder() + u"/alone.txt"_s);
        });
        ASSERT_TRUE(r.Messages.isEmpty()) << r.Messages.join(u'\n').toStdString();
        expected.push_back(md5);
        rows.push_back(int(r.Rows.size()));
    }
    const QString logged =
        ExecSqlValue(u"SELECT COUNT(*) FROM LogFile WHERE Tip = 20"_s).toString();
    CloseSession(db);

    // Two users at once, each running every scenario twice while the other
    // exports.
    const int runs = 2 * int(Scenarios().size());
    std::vector<std::unique_ptr<QProcess>> peers;
    for (const char* tag : {"A", "B"}) {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(VEXAL_PEER), {Folder(), u"PG"_s, QString(), u"work"_s,
                                              QString::number(runs), QLatin1String(tag), Folder()});
        peers.push_back(std::move(p));
    }
    for (auto& p : peers) {
        ASSERT_TRUE(p->waitForFinished(300000));
        const QString err = QString::fromUtf8(p->readAllStandardError());
        EXPECT_EQ(p->exitCode(), 0) << err.toStdString();
        const QStringList lines =
            QString::fromUtf8(p->readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), runs) << err.toStdString();
        for (const QString& line : lines) {
            const QStringList f = line.split(u' ');
            ASSERT_EQ(f.size(), 4) << line.toStdString();
            const int s = f[1].toInt();
            EXPECT_EQ(f[2].toInt(), rows[std::size_t(s)]) << line.toStdString();
            EXPECT_EQ(f[3], expected[std::size_t(s)]) << line.toStdString();
        }
    }
    // Every run of both users is in the log.
    db = OpenSession(u"PG"_s);
    EXPECT_EQ(ExecSqlValue(u"SELECT COUNT(*) FROM LogFile WHERE Tip = 20"_s).toInt(),
              logged.toInt() + 2 * runs);
    EXPECT_EQ(ExecSqlValue(u"SELECT COUNT(DISTINCT LogText) FROM LogFile WHERE Tip = 20"_s).toInt(),
              logged.toInt() + 2 * runs);
    CloseSession(db);
}

TEST(ServerGoesAway, TheEngineMessageIsShownAndReconnectingWorks) {
    REQUIRE_PG_SERVER();
    TDatabase* db = OpenSession(u"PG"_s);
    QStringList shown;
    const MessageBoxHandler previous =
        SetMessageBoxHandler([&shown](const QString& text, const QString& caption, int style) {
            shown << caption + u": "_s + text;
            return DefaultMessageBoxButton(style);
        });
    // An inquiry composed while the server was there.
    TPlainInquiryView view;
    auto inquiry = std::make_unique<TInquiry>(&view, nullptr);
    inquiry->SetDatabaseName(u"restdata"_s);
    inquiry->OpenSubjectList();
    inquiry->SelectSubject(u"Продажби"_s);
    ASSERT_TRUE(shown.isEmpty());

    // The server ends every connection to the scratch database, as a restart does.
    AdminExec(u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
              "WHERE datname = '%1' AND pid <> pg_backend_pid()"_s.arg(ScratchDatabase()));

    // Running it reports the engine's message in a box; the program goes on.
    EXPECT_FALSE(inquiry->btSpravkaClick(true));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith(u"Системно съобщение: "_s)) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains(u"terminating connection"_s)) << shown[0].toStdString();
    inquiry.reset();
    // A single statement too: its "SQL Exception" box, then an error to the caller.
    EXPECT_THROW(ExecSqlValue(u"SELECT COUNT(*) FROM Sales"_s), Exception);
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_TRUE(shown.last().startsWith(u"SQL Exception: "_s)) << shown.last().toStdString();
    SetMessageBoxHandler(previous);
    CloseSession(db);

    // The program started again works; so does another user's.
    db = OpenSession(u"PG"_s);
    EXPECT_EQ(ExecSqlValue(u"SELECT COUNT(*) FROM Clients"_s).toInt(), 60);
    EXPECT_TRUE(RunScenario(Scenarios()[0], 1).Messages.isEmpty());
    CloseSession(db);
    EXPECT_EQ(Peer({u"read"_s, u"Клиенти"_s, u"Име"_s}), QStringList{u"mark 2"_s});
}

} // namespace
