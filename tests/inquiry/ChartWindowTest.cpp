// The command "Графика" in the inquiry window: Ctrl+G opens the chart
// window of the result, whose kind switch and save work on its own copy; a
// result without numbers is told and opens nothing; "Графика в справката"
// is saved and loaded with the inquiry.

#include "InquiryFixture.h"

#include "ChartForm.h"
#include "ChartModel.h"
#include "SavedInquiry.h"
#include "SessionInit.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

class ChartWindowTest : public InquiryFixture {
protected:
    TChartForm* OpenChart(TSpravkaForm* window) {
        window->DataGrid->setFocus();
        QTest::keyClick(window->DataGrid, Qt::Key_G, Qt::ControlModifier);
        QCoreApplication::processEvents();
        return window->findChild<TChartForm*>(QStringLiteral("ChartForm"));
    }
};

} // namespace

TEST_F(ChartWindowTest, CtrlGOpensTheChartOfTheResult) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    Press(window->btSpravka);
    TChartForm* chart = OpenChart(window);
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(Messages.empty());
    // The product labels the rows; the numeric columns (the invoice's
    // number too, as the result does not group) are the series.
    ASSERT_EQ(chart->ChartModel().Series.size(), 2);
    EXPECT_EQ(chart->ChartModel().Series[1].Name, QStringLiteral("Количество"));
    EXPECT_EQ(chart->ChartModel().LabelCaption, QStringLiteral("Продукт"));
    EXPECT_EQ(chart->ChartModel().Labels.size(), window->dsData->rowCount());

    // The switch changes the kind; a new run of the inquiry leaves the
    // chart as it was.
    chart->cbChartKind->setCurrentIndex(chart->cbChartKind->findData(int(TChartKind::Bar)));
    emit chart->cbChartKind->activated(chart->cbChartKind->currentIndex());
    EXPECT_EQ(chart->Kind(), TChartKind::Bar);
    AddCondition(window, QStringLiteral("Количество"), QStringLiteral(">="), QStringLiteral("100"));
    Press(window->btSpravka);
    chart->SetKind(TChartKind::Pie);
    EXPECT_EQ(chart->ChartModel().Labels.size(), 5);

    // Save writes the kind the name asks for.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("chart.svg"));
    SetChartFileDialogHandler([&](QWidget*, const QString&) { return file; });
    Press(chart->btSaveChart);
    SetChartFileDialogHandler(nullptr);
    QFile svg(file);
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svg.readAll().contains("<svg"));
    EXPECT_TRUE(Messages.empty());
    chart->close();
}

TEST_F(ChartWindowTest, ResultWithoutNumbersIsToldAndOpensNothing) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Клиенти"));
    Press(window->btSpravka);
    EXPECT_EQ(OpenChart(window), nullptr);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, NoChartValuesMessage());
}

TEST_F(ChartWindowTest, ChartInReportIsSavedWithTheInquiry) {
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("Графика.SQL"));
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    window->cbChartInReport->setChecked(true);
    EXPECT_TRUE(window->ChartInReport());
    SaveInquiryFiles(*window->Inquiry, base);

    window->cbChartInReport->setChecked(false);
    LoadInquiryFiles(*window->Inquiry, base);
    EXPECT_TRUE(window->cbChartInReport->isChecked());

    // A set saved before the option existed, or one whose option file says
    // anything but 1, loads with the box clear.
    for (const QByteArray& content : {QByteArray(), QByteArray("Chart.InReport=yes\r\n")}) {
        QFile::remove(base + QStringLiteral(".OPT.DRN"));
        if (!content.isEmpty()) {
            QFile file(base + QStringLiteral(".OPT.DRN"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        window->cbChartInReport->setChecked(true);
        LoadInquiryFiles(*window->Inquiry, base);
        EXPECT_FALSE(window->cbChartInReport->isChecked());
    }
}
