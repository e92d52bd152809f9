// Long work of an inquiry window: the busy dialog that shows after a moment,
// its Cancel for a run (the embedded engine stopped inside a statement), for
// an export (the partial file removed) and the quiet end of both; the query
// watcher and the export progress hook underneath.

#include "InquiryFixture.h"

#include "DbAccess.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "MessageBox.h"
#include "Query.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Counts to limit in the engine: about a second per 10 million under the
// sanitizers, so 200 million is work that only a Cancel ends in time.
QString CountingView(const char* name, qint64 limit, bool rows) {
    return QStringLiteral("CREATE VIEW %1 AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL "
                          "SELECT x+1 FROM c WHERE x < %2) SELECT %3 FROM c;")
        .arg(QLatin1String(name))
        .arg(limit)
        .arg(rows ? QStringLiteral("x AS n") : QStringLiteral("count(*) AS n"));
}

class ProgressTest : public InquiryFixture {
protected:
    void SetUp() override {
        InquiryFixture::SetUp();
        SavedDelay = LongWorkDelayMs;
        ResetExportSettings();
        ExecDirect(CountingView("Slow", 200000000, false));
        ExecDirect(CountingView("Many", 3000, true));
        ExecDirect(QStringLiteral(
            "INSERT INTO Relations (N, TableName, BGTableName, ColName, BGColName, SelectCol,"
            " Promenliva, \"Function\", Zadaljitelna, Sortirane, DftLike, Align, Shirina) VALUES"
            " (100, 'Slow', 'Бавна', 'n', 'Брой', 2, 0, 'n', 0, 0, 0, 1, 0),"
            " (110, 'Many', 'Много', 'n', 'Номер', 2, 0, 'n', 0, 0, 0, 1, 0);"));
    }
    void TearDown() override {
        delete Watch;
        LongWorkDelayMs = SavedDelay;
        SetSaveFileDialogHandler(nullptr);
        InquiryFixture::TearDown();
    }

    // Watches for the busy dialog of window every 10 ms; when cancelAfterMs
    // is not negative, presses its "Отказ" that long after it appeared.
    void WatchBusyDialog(TSpravkaForm* window, int cancelAfterMs) {
        Watch = new QTimer;
        QObject::connect(Watch, &QTimer::timeout, [this, window, cancelAfterMs] {
            auto* dialog = window->findChild<QProgressDialog*>(QStringLiteral("LongWorkDialog"));
            if (!dialog || !dialog->isVisible())
                return;
            if (!BusyShown.isValid())
                BusyShown.start();
            if (cancelAfterMs < 0 || BusyShown.elapsed() < cancelAfterMs || Pressed)
                return;
            Pressed = true;
            const QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
            ASSERT_EQ(buttons.size(), 1);
            EXPECT_EQ(buttons.first()->text(), QStringLiteral("Отказ"));
            QTest::mouseClick(buttons.first(), Qt::LeftButton);
        });
        Watch->start(10);
    }

    QTimer* Watch = nullptr;
    QElapsedTimer BusyShown;
    bool Pressed = false;
    int SavedDelay = 0;
};

// A run that would take a minute: Cancel stops it inside the engine within
// moments, without any message; the result is gone and the window runs the
// next inquiry as usual.
TEST_F(ProgressTest, CancelledRunEndsQuietlyAndTheWindowGoesOn) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Много"));
    window->RunInquiry();
    ASSERT_EQ(ResultRows(window).size(), 3000);

    AddSubject(window, QStringLiteral("Бавна"));
    LongWorkDelayMs = 100;
    WatchBusyDialog(window, 200);
    QElapsedTimer clock;
    clock.start();
    window->RunInquiry();
    const qint64 took = clock.elapsed();

    EXPECT_TRUE(Pressed) << "the busy dialog never showed";
    EXPECT_LT(took, 5000) << "Cancel did not stop the statement";
    EXPECT_TRUE(Messages.empty()) << Messages.front().Text.toStdString();
    EXPECT_FALSE(window->ReportForm->qrDATA->Active());
    EXPECT_TRUE(ResultRows(window).isEmpty());
    EXPECT_EQ(TLongWork::Current(), nullptr);
    EXPECT_FALSE(HasQueryWatcher());
    EXPECT_EQ(window->findChild<QProgressDialog*>(QStringLiteral("LongWorkDialog")), nullptr);
    // The inquiry is still composed and marked for a new run.
    EXPECT_TRUE(window->IsModified());

    AddSubject(window, QStringLiteral("Клиенти"));
    window->RunInquiry();
    EXPECT_EQ(ResultRows(window).size(), 3);
    EXPECT_TRUE(Messages.empty());
}

// Work shorter than the delay shows no dialog at all; work longer than the
// delay shows it once and takes it away at the end.
TEST_F(ProgressTest, TheBusyDialogShowsOnlyForLongWork) {
    TSpravkaForm* window = OpenWindow();
    LongWorkDelayMs = 400;
    WatchBusyDialog(window, -1);
    AddSubject(window, QStringLiteral("Клиенти"));
    window->RunInquiry();
    EXPECT_FALSE(BusyShown.isValid());

    // A watcher of a work that has outlasted the delay brings the dialog up.
    LongWorkDelayMs = 0;
    {
        TLongWork work(window, QStringLiteral("Работа"));
        EXPECT_FALSE(work.Step());
        ASSERT_NE(work.Dialog(), nullptr);
        EXPECT_TRUE(work.Dialog()->isVisible());
        // Inner work shares the outer dialog and its Cancel.
        TLongWork inner(window, QStringLiteral("Вътрешна"));
        EXPECT_EQ(inner.Dialog(), work.Dialog());
        // Escape in the dialog is its Cancel.
        QTest::keyClick(work.Dialog(), Qt::Key_Escape);
        EXPECT_TRUE(inner.Cancelled());
        EXPECT_TRUE(QueryWatchPoint());
    }
    EXPECT_FALSE(QueryWatchPoint());
    EXPECT_EQ(window->findChild<QProgressDialog*>(QStringLiteral("LongWorkDialog")), nullptr);
}

// Cancel while the export writes: the file it had begun is removed and no
// message is shown; the next export writes the whole file.
TEST_F(ProgressTest, CancelledExportRemovesItsFile) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Много"));
    window->RunInquiry();
    ASSERT_EQ(ResultRows(window).size(), 3000);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("export.txt"));
    bool cancelInDialog = true;
    SetSaveFileDialogHandler([&](const QString&, const QString&, const QString&, const QString&) {
        // The user presses Cancel right after choosing the file.
        if (cancelInDialog && TLongWork::Current())
            TLongWork::Current()->Cancel();
        return file;
    });
    LongWorkDelayMs = 0;
    SetKeyboardModifiersQuery([] { return Qt::NoModifier; });
    window->btExportClick();
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(Messages.empty()) << Messages.front().Text.toStdString();

    cancelInDialog = false;
    LongWorkDelayMs = 400;
    window->btExportClick();
    SetKeyboardModifiersQuery(nullptr);
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_TRUE(Messages.empty());
}

// The writer's progress hook: told the total first and then growing
// counts; a stop removes the partial file quietly and reports "not exported".
TEST_F(ProgressTest, ExportProgressHookAndStop) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Много"));
    window->RunInquiry();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("rows.txt"));

    struct TCase {
        qint64 StopAt; // -1: never
        bool Written;
        const char* Why;
    } cases[] = {
        {-1, true, "no stop: every row is written and the last call is at 2944 (46 x 64)"},
        {0, false, "a stop before the first row still removes the file the writer created"},
        {640, false, "a stop in the middle removes the rows written so far"},
    };
    for (const TCase& c : cases) {
        QList<qint64> seen;
        qint64 totalSeen = -1;
        SetExportProgressHandler([&](qint64 done, qint64 total) {
            seen << done;
            totalSeen = total;
            return c.StopAt >= 0 && done >= c.StopAt;
        });
        QString result;
        ExportToText(window->DataGrid, nullptr, QStringLiteral("T"), file, result);
        SetExportProgressHandler(nullptr);
        EXPECT_EQ(QFile::exists(file), c.Written) << c.Why;
        EXPECT_EQ(result.isEmpty(), c.Written) << c.Why;
        EXPECT_EQ(totalSeen, 3000) << c.Why;
        ASSERT_FALSE(seen.isEmpty());
        EXPECT_EQ(seen.first(), 0) << c.Why;
        if (c.StopAt < 0)
            EXPECT_EQ(seen.last(), 2944) << c.Why;
        else
            EXPECT_EQ(seen.last(), c.StopAt) << c.Why;
        QFile::remove(file);
    }
    EXPECT_TRUE(Messages.empty());
}

// The query watcher underneath: a statement stopped by it raises the silent
// EQueryCancelled, both while the engine computes and while rows are read;
// the connection serves the next statement; without a watcher the same
// statement completes.
TEST_F(ProgressTest, QueryWatcherStopsStatements) {
    struct TCase {
        const char* Sql;
        int StopAfterCalls;
        const char* Why;
    } cases[] = {
        {"SELECT count(*) FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c "
         "WHERE x < 100000000) SELECT x FROM c)",
         3, "one long computation before the first row"},
        {"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c WHERE x < 100000000) "
         "SELECT x FROM c",
         50, "rows read one after another"},
    };
    for (const TCase& c : cases) {
        int calls = 0;
        SetQueryWatcher([&] { return ++calls > c.StopAfterCalls; });
        TQuery query;
        query.SetDatabaseName(QStringLiteral("restdata"));
        query.SetSQLText(QString::fromLatin1(c.Sql));
        EXPECT_THROW(query.Open(), EQueryCancelled) << c.Why;
        EXPECT_FALSE(query.Active()) << c.Why;
        EXPECT_EQ(calls, c.StopAfterCalls + 1) << c.Why;
        SetQueryWatcher(nullptr);

        TQuery next;
        next.SetDatabaseName(QStringLiteral("restdata"));
        next.SetSQLText(QStringLiteral("SELECT count(*) AS n FROM Many"));
        next.Open();
        EXPECT_EQ(next.Fields(0)->AsInteger(), 3000) << c.Why;
    }
}

} // namespace
