// Finding text in a prepared report: the preview's find bar over every page,
// and the command line's --find (exit codes) and --convert on saved files.

#include "DataSet.h"
#include "RpPreview.h"
#include "RpPreviewImage.h"
#include "RpReport.h"
#include "RpStandardPreview.h"
#include "TestUtil.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

// A report of rows lines, "Витоша ООД" on every tenth, over several pages.
struct SmallReport {
    TDataSet Data;
    std::unique_ptr<TRpReport> Report;
    TRpPrinter* Printer = nullptr;

    explicit SmallReport(int rows) {
        Data.AddField(QStringLiteral("Firm"), TFieldType::String);
        for (int i = 0; i < rows; ++i)
            Data.AppendRow({i % 10 == 3 ? QStringLiteral("Витоша ООД %1").arg(i)
                                        : QStringLiteral("Пирин АД %1").arg(i)});
        Data.Open();
        Report = std::make_unique<TRpReport>();
        Report->SetDataSet(&Data);
        auto* detail = new TRpBand(Report.get(), rbDetail);
        detail->SetHeightTenths(60);
        auto* text = new TRpDBText(detail);
        text->SetBoundsTenths(100, 5, 900, 50);
        text->SetDataField(QStringLiteral("Firm"));
        Printer = new TRpPrinter(Report.get());
        Report->SetPrinter(Printer);
        Report->Run(Printer);
    }
};

struct Outcome {
    int Code = -1;
    QString Out;
};

Outcome Vexal(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(VEXAL_EXE), args);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput())};
}

void Key(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(target, &press);
}

} // namespace

TEST(ReportFind, FindBarCountsOverEveryPageAndStepsAcrossThem) {
    SmallReport report(200);
    ASSERT_GT(report.Printer->PageCount(), 3);
    auto* window = new TRpStandardPreview(report.Printer);
    window->ShowMessage = [](const QString&) {};
    window->show();
    window->RpPreview()->SetPageNumber(2);
    Key(window->RpPreview(), Qt::Key_F, Qt::ControlModifier);
    auto* box = window->findChild<QLineEdit*>(QStringLiteral("FindText"));
    auto* count = window->findChild<QLabel*>(QStringLiteral("FindCount"));
    ASSERT_TRUE(box && count);
    EXPECT_TRUE(box->isVisible());
    box->setText(QStringLiteral("витоша"));
    QApplication::processEvents();
    // 20 matches in all; the first one shown is the first on page 2.
    const TRpTextIndex& index = report.Printer->TextIndex();
    const int firstOnPage2 = int(index.FindAll(QStringLiteral("витоша"), false, 1).size() -
                                 index.FindAll(QStringLiteral("витоша"), false, 2).size()) +
                             1;
    EXPECT_EQ(count->text(), QStringLiteral("%1 of 20").arg(firstOnPage2));
    EXPECT_EQ(window->RpPreview()->PageNumber(), 2);
    EXPECT_FALSE(window->RpPreview()->Image()->Highlights().isEmpty());
    // Shift+F3 from the first match of page 2 goes back to page 1; F3 past
    // the last match comes round to the first with a note.
    Key(box, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(window->RpPreview()->PageNumber(), 1);
    // Now at match firstOnPage2 - 1 (1-based): to the last, and one more.
    for (int i = firstOnPage2 - 1; i <= 20; ++i)
        Key(box, Qt::Key_F3);
    EXPECT_EQ(count->text().left(7), QStringLiteral("1 of 20").left(7));
    EXPECT_TRUE(count->text().contains(QStringLiteral("continued")));
    // Whole words: "вит" is no word.
    window->findChild<QCheckBox*>(QStringLiteral("WholeWords"))->setChecked(true);
    box->setText(QStringLiteral("вит"));
    QApplication::processEvents();
    EXPECT_EQ(count->text(), QStringLiteral("Not found"));
    // Escape closes the bar, not the window; Ctrl+C copies the page's text.
    Key(box, Qt::Key_Escape);
    EXPECT_FALSE(box->isVisible());
    EXPECT_TRUE(window->isVisible());
    Key(window->RpPreview(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(
        index.ReadingText(window->RpPreview()->PageNumber()).left(10)));
    window->close();
}

TEST(ReportFind, CommandLineFindAndConvert) {
    SmallReport report(200);
    const QString file = TestUtil::Scratch().filePath(QStringLiteral("archive.rpp"));
    report.Printer->SaveReportFile(file);
    const Outcome found = Vexal({QStringLiteral("--find"), QStringLiteral("ВИТОША ООД 193"), file});
    EXPECT_EQ(found.Code, 0);
    const int page = report.Printer->TextIndex()
                         .FindFirst(QStringLiteral("Витоша ООД 193"), false, 1, false)
                         .Page;
    EXPECT_GT(page, 1);
    EXPECT_EQ(found.Out, QStringLiteral("page %1: Витоша ООД 193\n").arg(page));
    EXPECT_EQ(Vexal({QStringLiteral("--find"), QStringLiteral("Рила"), file}).Code, 1);
    EXPECT_EQ(
        Vexal({QStringLiteral("--find"), QStringLiteral("Рила"), file + QStringLiteral("x")}).Code,
        2)
        << "a missing file is no 'not found'";
    EXPECT_EQ(Vexal({QStringLiteral("--find"), QStringLiteral("Рила")}).Code, 2);

    const QString pdf = TestUtil::Scratch().filePath(QStringLiteral("archive.pdf"));
    EXPECT_EQ(Vexal({QStringLiteral("--convert"), file, QStringLiteral("--pdf"), pdf}).Code, 0);
    QFile written(pdf);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.read(5) == "%PDF-");
    // A file that is no report leaves no PDF behind.
    const QString bad = TestUtil::Scratch().filePath(QStringLiteral("bad.rpp"));
    QFile junk(bad);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(300, 'x'));
    junk.close();
    const QString none = TestUtil::Scratch().filePath(QStringLiteral("none.pdf"));
    EXPECT_EQ(Vexal({QStringLiteral("--convert"), bad, QStringLiteral("--pdf"), none}).Code, 1);
    EXPECT_FALSE(QFile::exists(none));
}
