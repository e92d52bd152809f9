// The quick paths of a report run. A run that draws nothing (the totals the
// export needs) skips the data texts that cannot matter, and still breaks
// pages, numbers them and calls the print events exactly as the drawn run
// does; data texts keep masked texts per value; grids showing the data set
// follow the walk only once it has ended.

#include "DataSource.h"
#include "DisplayFormat.h"
#include "ReportTestUtil.h"

#include <gtest/gtest.h>

using namespace ReportTest;

namespace {

class TotalsOnly : public ::testing::Test {
protected:
    void SetUp() override {
        Data.setObjectName(QStringLiteral("qrDATA"));
        Data.AddField(QStringLiteral("Name"), TFieldType::String);
        Data.AddField(QStringLiteral("Note"), TFieldType::String);
        Data.AddField(QStringLiteral("Amount"), TFieldType::Float);
        Report = new TRpReport(&Owner);
        Report->SetDataSet(&Data);
        AddBand(Report, rbColumnHeader, QStringLiteral("ColumnHeader"), 100);
        Detail = AddBand(Report, rbDetail, QStringLiteral("Detail"), 60);
        TRpBand* summary = AddBand(Report, rbSummary, QStringLiteral("Summary"), 150);
        TRpBand* footer = AddBand(Report, rbPageFooter, QStringLiteral("PageFooter"), 100);
        Name = Add<TRpDBText>(Detail, QStringLiteral("NameText"), 0, 0, 400, 50);
        Name->SetAutoSize(false);
        Name->SetDataField(QStringLiteral("Name"));
        Note = Add<TRpDBText>(Detail, QStringLiteral("NoteText"), 500, 0, 300, 50);
        Note->SetAutoSize(false);
        Note->SetDataField(QStringLiteral("Note"));
        Amount = Add<TRpDBText>(Detail, QStringLiteral("AmountText"), 900, 0, 300, 50);
        Amount->SetAutoSize(false);
        Amount->SetDataField(QStringLiteral("Amount"));
        Amount->SetMask(QStringLiteral("0.00"));
        Total = Add<TRpExpr>(summary, QStringLiteral("Total"), 0, 0, 500, 50);
        Total->SetAutoSize(false);
        Total->SetExpression(QStringLiteral("SUM(Amount)"));
        Total->SetMask(QStringLiteral("0.00"));
        PageText = Add<TRpExpr>(footer, QStringLiteral("PageText"), 1000, 0, 400, 50);
        PageText->SetAutoSize(false);
        PageText->SetExpression(QStringLiteral("'Стр. ' + PAGENUMBER"));
        // Every fifth note needs several lines.
        for (int i = 1; i <= 120; ++i)
            Data.AppendRow({QStringLiteral("Ред %1").arg(i),
                            i % 5 ? QStringLiteral("кратко")
                                  : QStringLiteral("дълга бележка, която заема няколко реда"),
                            1.25 * i});
        Data.Open();
    }

    void TearDown() override { Report->ReleasePrinter(); }

    // What the print events saw in a drawn run and in a totals-only run.
    std::pair<QStringList, QStringList> BothRuns() {
        QStringList drawn, cheap;
        QStringList* sink = &drawn;
        const auto record = [&sink](TRpCustomLabel* label, QString& value) {
            *sink << label->objectName() + u'=' + value;
        };
        Total->OnPrint = record;
        PageText->OnPrint = record;
        PrepareReport(Report);
        Report->ReleasePrinter();
        sink = &cheap;
        PrepareReportTotalsOnly(Report);
        return {drawn, cheap};
    }

    QObject Owner;
    TDataSet Data;
    TRpReport* Report = nullptr;
    TRpBand* Detail = nullptr;
    TRpDBText* Name = nullptr;
    TRpDBText* Note = nullptr;
    TRpDBText* Amount = nullptr;
    TRpExpr* Total = nullptr;
    TRpExpr* PageText = nullptr;
};

TEST_F(TotalsOnly, StretchingTextsStillBreakThePages) {
    // The long notes make their rows grow: the page footers (and so the
    // page numbers the totals may use) follow only when the notes are laid
    // out in the run that draws nothing as well.
    const qsizetype plainPages = BothRuns().first.filter(QStringLiteral("PageText=")).size();
    Note->SetAutoStretch(true);
    const auto [drawn, cheap] = BothRuns();
    EXPECT_EQ(cheap, drawn);
    EXPECT_GT(drawn.filter(QStringLiteral("PageText=")).size(), plainPages);
}

TEST_F(TotalsOnly, PrintEventsOfDataTextsStillSeeEveryValue) {
    QStringList drawn, cheap;
    QStringList* sink = &drawn;
    Amount->OnPrint = [&sink](TRpCustomLabel*, QString& value) { *sink << value; };
    PrepareReport(Report);
    Report->ReleasePrinter();
    sink = &cheap;
    PrepareReportTotalsOnly(Report);
    EXPECT_EQ(cheap, drawn);
    ASSERT_EQ(drawn.size(), 120);
    EXPECT_EQ(drawn.back(), QStringLiteral("150.00")); // the mask applies
}

TEST_F(TotalsOnly, PlainTextsLeaveNothingBehind) {
    // Without stretching or events the data texts are skipped; the totals,
    // the page numbers and the texts' own state after the run stay as a
    // drawn run leaves them.
    const auto [drawn, cheap] = BothRuns();
    EXPECT_EQ(cheap, drawn);
    EXPECT_TRUE(cheap.contains(QStringLiteral("Total=9075.00")));
    EXPECT_EQ(Name->PrintText(), QStringLiteral("Name"));
    EXPECT_EQ(Name->CurrentLine(), 0);
    EXPECT_TRUE(Name->PrintFinished());
}

TEST_F(TotalsOnly, AttachedGridsCatchUpOnceAtTheEnd) {
    TDataSource source;
    source.SetDataSet(&Data);
    QList<int> rows;
    QObject::connect(&source, &TDataSource::CurrentRowChanged, [&rows](int row) { rows << row; });
    PrepareReport(Report);
    // The walk ends on the last row, where the grid stands afterwards.
    EXPECT_EQ(rows, QList<int>{119});
    EXPECT_EQ(Data.RecNo(), 120);
    EXPECT_FALSE(Data.ControlsDisabled());
}

TEST_F(TotalsOnly, MaskedValuesFollowTheirMask) {
    // The data text keeps the texts of values it met; a changed mask must
    // not answer from them.
    const auto valueAt = [this](int row) {
        Data.SetRecNo(row);
        return Amount->Value();
    };
    for (int row : {1, 2, 1, 120})
        EXPECT_EQ(valueAt(row), FormatFloatPicture(QStringLiteral("0.00"), 1.25 * row)) << row;
    Amount->SetMask(QStringLiteral("#,##0.0 'лв.'"));
    EXPECT_EQ(valueAt(1), QStringLiteral("1.3 лв.")); // half away from zero
    EXPECT_EQ(valueAt(120), QStringLiteral("150.0 лв."));
}

} // namespace
