#pragma once
// The report template tests: a demo database per test program, reached
// through an alias of an aliases file with the demo's connection script, and
// a stand-in for an inquiry window whose result, grid columns and catalogue
// a test sets directly.

#include "DBGrid.h"
#include "DataSource.h"
#include "RpReport.h"
#include "RpSpravkaUnit.h"

#include <QImage>
#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>
#include <vector>

class TDatabase;

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral(" | ")).toStdString() << ']';
}

// A grid column of the stand-in window: field, title and width in pixels.
struct TShownColumn {
    QString Field;
    QString Title;
    int Width = 64;
};

// What an inquiry window hands the report, set by the test.
class TTestWindow : public TReportSource {
public:
    TTestWindow();

    TRpSpravkaForm Form;
    TDataSource Source;
    TDBGrid Grid;
    TQuery CatalogueQuery;

    QString Title = QStringLiteral("Продажби през декември");
    bool RowNumbers = true;
    QStringList Conditions;
    QStringList Options;
    bool Modified = false;
    bool Chart = false; // "Графика в справката"
    int Runs = 0;
    // Run by RunInquiryForReport (after which the inquiry is unmodified).
    std::function<void()> OnRun;

    // Opens the result (the report's qrDATA) on a statement and shows the
    // given columns, or every field when none are given.
    void ShowResult(const QString& sql, const QList<TShownColumn>& columns = {});
    // Opens the catalogue on a statement that yields BGColName, Suma, Mask,
    // Align and AutoStretch (or whatever the test needs).
    void OpenCatalogue(const QString& sql);
    // The catalogue of a demo subject.
    void OpenSubjectCatalogue(const QString& subject);

    QString ReportTitle() const override { return Title; }
    bool RowNumbersOn() const override { return RowNumbers; }
    TDBGrid* ResultGrid() const override { return const_cast<TDBGrid*>(&Grid); }
    QStringList ConditionLines() const override { return Conditions; }
    TQuery* Catalogue() const override { return const_cast<TQuery*>(&CatalogueQuery); }
    bool IsModified() const override { return Modified; }
    void RunInquiryForReport() override;
    QStringList ReportOptions() const override { return Options; }
    bool ChartInReport() const override { return Chart; }
};

// Records the bands and texts a run draws, by name and page.
class TRunRecorder : public TRpRunObserver {
public:
    struct Text {
        QString Name;
        int Page;
        QString Value;
        QRectF Rect;
    };
    struct Band {
        QString Name;
        int Page;
        QRectF Rect;
    };
    std::vector<Text> Texts;
    std::vector<Band> Bands;
    int Pages = 0;

    void PageStarted(int page) override { Pages = page; }
    void BandPrinted(TRpCustomBand* band, int page, const QRectF& rect) override {
        Bands.push_back({band->objectName(), page, rect});
    }
    void TextDrawn(TRpPrintable* printable, int page, const QString& text,
                   const QRectF& rect) override {
        Texts.push_back({printable->objectName(), page, text, rect});
    }
    // The texts one printable drew, with their pages as "page:text".
    QStringList TextsOf(const QString& name) const;
    // The bands printed on a page, in order.
    QStringList BandsOn(int page) const;
};

class ReportGenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // One value of a statement on the demo database.
    static QVariant Value(const QString& sql);
    // A recorded page as an image at the recording resolution.
    static QImage RenderPage(TRpPrinter& printer, int page);

    TDatabase* Database = nullptr;
    QStringList Messages;
};
