// The output commands of an inquiry window run for real on the demo
// database: the preview opens (and the test closes it), print hands the
// prepared pages to the printer object and releases it, text-print mode
// writes the report text and gives the export settings back, export runs a
// changed inquiry first, and a bad copy count in the options row stops the
// command with the number-reading error.

#include "DBGrid.h"
#include "Database.h"
#include "DbAccess.h"
#include "ExportOptions.h"
#include "ExportText.h"
#include "MessageBox.h"
#include "RpReport.h"
#include "RpSpravkaUnit.h"
#include "ServerRoutines.h"
#include "SessionInit.h"
#include "SpravkaUnit.h"
#include "TextPrint.h"
#include "Win1251.h"
#include "WindowRoutines.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPaintEngine>
#include <QPainter>
#include <QPicture>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

QTemporaryDir& DemoDir() {
    static QTemporaryDir dir;
    return dir;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Where the texts of a page fall: a paint device that keeps every drawn text
// with its whole box in device coordinates. The clip is not applied: a text
// the band cuts off at the paper's edge is a text that does not fit.
class TTextPositions : public QPaintDevice {
public:
    struct TText {
        QString Text;
        QRectF Box;
    };
    explicit TTextPositions(QSize size) : Size(size) {}
    QPaintEngine* paintEngine() const override { return &Engine; }
    std::vector<TText> Texts() const { return Engine.Texts; }

protected:
    int metric(PaintDeviceMetric m) const override {
        // The picture's own resolution, so fonts measure as they were laid out.
        static const QPicture reference;
        switch (m) {
        case PdmWidth:
            return Size.width();
        case PdmHeight:
            return Size.height();
        case PdmDpiX:
        case PdmPhysicalDpiX:
            return reference.logicalDpiX();
        case PdmDpiY:
        case PdmPhysicalDpiY:
            return reference.logicalDpiY();
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return 1 << 24;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(m);
        }
    }

private:
    class TEngine : public QPaintEngine {
    public:
        // Every feature: the painter hands texts over as drawn, never as paths.
        TEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawPath(const QPainterPath&) override {}
        void drawTextItem(const QPointF& p, const QTextItem& item) override {
            const QRectF box(p.x(), p.y() - item.ascent(), item.width(),
                             item.ascent() + item.descent());
            if (!item.text().trimmed().isEmpty())
                Texts.push_back({item.text(), painter()->combinedTransform().mapRect(box)});
        }
        Type type() const override { return User; }
        std::vector<TText> Texts;
    };
    QSize Size;
    mutable TEngine Engine;
};

class OutputSequenceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const QDir dir(DemoDir().path());
        CreateDemoDatabase(dir.filePath(QStringLiteral("demo.db")), 600);
        ASSERT_TRUE(QFile::copy(QStringLiteral(VEXAL_SOURCE_DIR "/demo/DEMO.SQL"),
                                dir.filePath(QStringLiteral("DEMO.SQL"))));
        QFile aliases(dir.filePath(QStringLiteral("aliases.ini")));
        ASSERT_TRUE(aliases.open(QIODevice::WriteOnly));
        aliases.write("[DEMO]\nDriver=sqlite\nDatabase=demo.db\n");
    }

    void SetUp() override {
        // Other suites of this program name their own aliases and folder.
        qputenv("VEXAL_ALIASES",
                QFile::encodeName(DemoDir().filePath(QStringLiteral("aliases.ini"))));
        SavedProgramDir = ProgramDir;
        ProgramDir = DemoDir().path() + u'/';
        SetMessageBoxHandler([this](const QString& text, const QString&, int style) {
            Messages << text;
            return DefaultMessageBoxButton(style);
        });
        CurrentUserN = -1;
        Database = new TDatabase;
        Database->SetDatabaseName(QStringLiteral("restdata"));
        Database->SetAliasName(QStringLiteral("DEMO"));
        Database->SetLoginPrompt(false);
        Database->Open();
        InitSession(*Database);
        ContinueOnSqlError = false;
        // The demo's copy count may have been changed by a test.
        Exec(QStringLiteral("UPDATE Relations SET FilterList = 'Printer.Orientation=1' || "
                            "char(13, 10) || 'Printer.Copies=1' WHERE N = 405"));
        ResetExportSettings();
        TextPrintMode = false;
        // No key is held unless a test says so (the platform remembers the
        // Ctrl of an earlier test's Ctrl+C).
        SetKeyboardModifiersQuery([] { return Qt::KeyboardModifiers(Qt::NoModifier); });

        Frame = new QMainWindow;
        Frame->setCentralWidget(new QMdiArea(Frame));
        Frame->resize(1280, 900);
        SetMainForm(Frame);
        Frame->show();
    }

    void TearDown() override {
        delete Frame;
        Frame = nullptr;
        SetMainForm(nullptr);
        delete Database;
        Database = nullptr;
        SessionDatabase = nullptr;
        SetMessageBoxHandler(nullptr);
        SetSaveFileDialogHandler(nullptr);
        SetKeyboardModifiersQuery(nullptr);
        ResetExportSettings();
        TextPrintMode = false;
        ProgramDir = SavedProgramDir;
        LastSubject.clear();
    }

    static void Exec(const QString& sql) {
        TQuery query;
        query.SetDatabaseName(QStringLiteral("restdata"));
        query.SetSQLText(sql);
        query.ExecSQL();
    }

    static QVariant Value(const QString& sql) {
        TQuery query;
        query.SetDatabaseName(QStringLiteral("restdata"));
        query.SetSQLText(sql);
        query.Open();
        return query.Fields(0)->AsVariant();
    }

    // An inquiry window on a subject, run as the "Справка" button runs it.
    TSpravkaForm* OpenSubject(const QString& subject, bool run = true) {
        auto* window = new TSpravkaModalForm(Frame);
        qobject_cast<QMdiSubWindow*>(window->parentWidget())->showMaximized();
        QCoreApplication::processEvents();
        window->SelectSubject(subject);
        if (run)
            window->RunInquiry();
        return window;
    }

    // A condition added as the condition panel adds it.
    static void AddCondition(TSpravkaForm* window, const QString& column, const QString& op,
                             const QString& value) {
        ASSERT_TRUE(window->Inquiry->qrCol->Locate(QStringLiteral("BGColName"), column, false));
        window->cbSign->setCurrentIndex(window->cbSign->findText(op));
        window->cbFilter->setEditText(value);
        window->btAddFilterClick();
    }

    // The slot (and totals entry) of a result column: its place among the
    // grid's shown columns.
    static int GridColumnOf(TSpravkaForm* window, const QString& field) {
        int slot = 0;
        for (int c = 0; c < window->DataGrid->ColumnCount(); ++c) {
            if (!window->DataGrid->ColumnVisible(c))
                continue;
            if (window->DataGrid->ColumnFieldName(c) == field)
                return slot;
            ++slot;
        }
        return -1;
    }

    QMainWindow* Frame = nullptr;
    TDatabase* Database = nullptr;
    QStringList Messages;
    QString SavedProgramDir;
};

// Closes every preview window that shows up, counting them and their pages.
class TPreviewCloser {
public:
    TPreviewCloser() {
        QObject::connect(&Poll, &QTimer::timeout, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* preview = qobject_cast<TRpStandardPreview*>(widget);
                if (!preview || !preview->isVisible() || !preview->Printer() ||
                    preview->Printer()->Status() != TRpPrinterStatus::Finished)
                    continue;
                ++Previews;
                Pages = preview->Printer()->PageCount();
                Title = preview->Printer()->Title();
                if (std::unique_ptr<QPicture> page = preview->Printer()->PageImage(1)) {
                    FirstPage = QImage(page->boundingRect().size() + QSize(200, 200),
                                       QImage::Format_RGB32);
                    FirstPage.fill(Qt::white);
                    QPainter painter(&FirstPage);
                    page->play(&painter);
                }
                preview->close();
            }
        });
        Poll.start(20);
    }
    int Previews = 0;
    int Pages = 0;
    QString Title;
    QImage FirstPage;

private:
    QTimer Poll;
};

} // namespace

TEST_F(OutputSequenceTest, PreviewShowsTheGeneratedReportUntilClosed) {
    TSpravkaForm* window = OpenSubject(QStringLiteral("Клиенти"));
    ASSERT_GT(window->dsData->rowCount(), 0);
    window->edTitle->setText(QStringLiteral("Клиенти по градове"));
    TPreviewCloser closer;
    window->btPrintPreviewClick();
    EXPECT_EQ(closer.Previews, 1);
    EXPECT_GE(closer.Pages, 1);
    EXPECT_EQ(closer.Title, QStringLiteral("Клиенти по градове"));
    // The title band's texts (title, date, time, conditions) are on the
    // previewed page: its top strip, above the column header, is not blank.
    ASSERT_FALSE(closer.FirstPage.isNull());
    int dark = 0;
    const int top = qRound(10 / 25.4 * 96); // the top margin
    for (int y = top; y < top + 60; ++y)
        for (int x = 0; x < closer.FirstPage.width(); ++x)
            dark += qGray(closer.FirstPage.pixel(x, y)) < 128;
    EXPECT_GT(dark, 100) << "the title band printed nothing";
    // The preview releases its printer object once it has gone.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window->ReportForm->RpSpravka->Printer(), nullptr);
    EXPECT_TRUE(Messages.isEmpty());
}

TEST_F(OutputSequenceTest, PrintHandsThePreparedPagesOverAndReleasesThem) {
    // The options row of "Продажби за година": landscape, three copies.
    Exec(QStringLiteral("UPDATE Relations SET FilterList = 'Printer.Orientation=1' || "
                        "char(13, 10) || 'Printer.Copies=3' WHERE N = 405"));
    TSpravkaForm* window = OpenSubject(QStringLiteral("Продажби за година"));
    ASSERT_GT(window->dsData->rowCount(), 0);
    TRpSpravkaForm* form = window->ReportForm;
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("printed.pdf"));

    struct Case {
        const char* Why;
        std::function<void(TRpPrinter*)> Printer;
    } const cases[] = {
        // The pages as a printer would get them, written to a PDF.
        {"printed to a PDF",
         [&](TRpPrinter* printer) {
             EXPECT_EQ(printer->PageSettings().Copies, 3);
             EXPECT_EQ(printer->PageSettings().Orientation, QPageLayout::Landscape);
             printer->SavePdf(pdf);
         }},
        // A printer that fails says nothing and keeps nothing.
        {"failing printer", [](TRpPrinter*) { throw Exception(QStringLiteral("out of paper")); }},
        // The engine's own printing: without a printer it prints nothing.
        {"no printer", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        // Never a real print job from a test.
        if (!c.Printer && !QPrinterInfo::availablePrinterNames().isEmpty())
            continue;
        form->PrintPages = c.Printer;
        window->btPrintClick();
        EXPECT_EQ(form->RpSpravka->Printer(), nullptr);
        EXPECT_TRUE(Messages.isEmpty());
    }
    EXPECT_TRUE(ReadAll(pdf).startsWith("%PDF"));
}

TEST_F(OutputSequenceTest, TextPrintModeWritesTheReportTextAndRestoresTheSettings) {
    QTemporaryDir dir;
    TextPrintMode = true;
    ExportTxtOpts.TxtClmDelimiter = QStringLiteral(";");
    ExportTxtOpts.TxtCyrSet = 1;
    ExportTxtOpts.ExportHeader = false;
    ExportTxtOpts.ExportClmNames = false;
    ExportTxtOpts.FixedClmWidth = false;
    // Text printing writes to this file instead of a printer.
    ExportTxtOpts.DftTarget = dir.filePath(QStringLiteral("printer.txt"));
    const TExportTxtOpts before = ExportTxtOpts;

    TSpravkaForm* window = OpenSubject(QStringLiteral("Продажби"));
    ASSERT_GT(window->dsData->rowCount(), 0);
    int printed = 0;
    window->ReportForm->PrintPages = [&](TRpPrinter*) { ++printed; };
    window->btPrintClick();

    EXPECT_EQ(printed, 0); // the report's pages are not printed
    EXPECT_EQ(window->ReportForm->RpSpravka->Printer(), nullptr);
    // The text was written with the text-print settings: "|" between
    // columns, the column names, and the report's totals in the footer.
    // Printing rewrote it in the user's code page.
    const QByteArray text = ReadAll(ExportTxtOpts.DftTarget);
    EXPECT_TRUE(text.contains('|'));
    EXPECT_TRUE(text.contains(ConvertCodePage(Win1251::Encode(QStringLiteral("Клиент")))));
    const QString amount =
        window->ReportForm->Totals.value(GridColumnOf(window, QStringLiteral("Сума")));
    ASSERT_FALSE(amount.trimmed().isEmpty());
    EXPECT_TRUE(text.contains(amount.trimmed().toLatin1())) << amount.toStdString();
    EXPECT_FALSE(ReadAll(ExportTxtOpts.DftTarget).isEmpty());
    // The user's settings are back.
    EXPECT_EQ(ExportTxtOpts.TxtClmDelimiter, before.TxtClmDelimiter);
    EXPECT_EQ(ExportTxtOpts.TxtCyrSet, before.TxtCyrSet);
    EXPECT_EQ(ExportTxtOpts.ExportHeader, before.ExportHeader);
    EXPECT_EQ(ExportTxtOpts.ExportClmNames, before.ExportClmNames);
    EXPECT_EQ(ExportTxtOpts.FixedClmWidth, before.FixedClmWidth);
    EXPECT_EQ(ExportTxtOpts.DftTarget, before.DftTarget);
    EXPECT_EQ(ExportTxtOpts.FooterValues, nullptr);
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join(u'\n').toStdString();
}

TEST_F(OutputSequenceTest, ExportOfAModifiedInquiryExportsTheCurrentComposition) {
    TSpravkaForm* window = OpenSubject(QStringLiteral("Клиенти"));
    const int all = window->dsData->rowCount();
    AddCondition(window, QStringLiteral("Град"), QStringLiteral("="), QStringLiteral("София"));
    ASSERT_TRUE(window->Inquiry->Modified);
    // The user's column in the catalogue.
    ASSERT_TRUE(window->Inquiry->qrCol->Locate(QStringLiteral("BGColName"),
                                               QStringLiteral("Телефон"), false));

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("clients.txt"));
    SetSaveFileDialogHandler(
        [&](const QString&, const QString&, const QString&, const QString&) { return file; });
    window->btExportClick();

    const int sofia =
        Value(QStringLiteral("SELECT COUNT(*) FROM Clients WHERE City = 'София'")).toInt();
    ASSERT_LT(sofia, all);
    EXPECT_FALSE(window->Inquiry->Modified);
    EXPECT_EQ(window->dsData->rowCount(), sofia);
    // The exported rows are the clients of София (the column of an "="
    // condition is left out of the result): their codes lead the lines.
    QStringList codes;
    for (const QString& line : Win1251::Decode(ReadAll(file)).split(QStringLiteral("\r\n"))) {
        const QString first = line.section(u'\t', 0, 0);
        if (line.contains(u'\t') && !first.isEmpty() && first.at(0).isDigit())
            codes << first;
    }
    codes.sort();
    QStringList expected;
    TQuery sofiaCodes;
    sofiaCodes.SetDatabaseName(QStringLiteral("restdata"));
    sofiaCodes.SetSQLText(QStringLiteral("SELECT ClientID FROM Clients WHERE City = 'София'"));
    sofiaCodes.Open();
    for (sofiaCodes.First(); !sofiaCodes.Eof(); sofiaCodes.Next())
        expected << sofiaCodes.Fields(0)->AsString();
    expected.sort();
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(window->Inquiry->qrCol->FieldByName(QStringLiteral("BGColName"))->AsString(),
              QStringLiteral("Телефон"));
    EXPECT_EQ(ExportTxtOpts.FooterValues, nullptr);
    EXPECT_EQ(window->ReportForm->RpSpravka->Printer(), nullptr);
}

TEST_F(OutputSequenceTest, CopyCountThatIsNoNumberStopsPreviewAndPrint) {
    Exec(QStringLiteral("UPDATE Relations SET FilterList = 'Printer.Orientation=1' || "
                        "char(13, 10) || 'Printer.Copies=две' WHERE N = 405"));
    TSpravkaForm* window = OpenSubject(QStringLiteral("Продажби за година"));
    ASSERT_GT(window->dsData->rowCount(), 0);
    TPreviewCloser closer;
    for (auto command : {&TSpravkaForm::btPrintPreviewClick, &TSpravkaForm::btPrintClick}) {
        try {
            (window->*command)();
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            // Raised out of the command, for the program's general error
            // report to show.
            EXPECT_EQ(e.message(), QStringLiteral("\"две\" is not a valid numeric value"));
        }
    }
    // Nothing was generated or shown.
    EXPECT_EQ(closer.Previews, 0);
    EXPECT_TRUE(window->ReportForm->lbBottomTitle->Caption().isEmpty());
    EXPECT_EQ(window->ReportForm->RpSpravka->Printer(), nullptr);
}

// A subject of 42 columns, two more than the report's slots: the export and
// text printing hold every column, those past the totals list with an empty
// total, with and without the header block.
TEST_F(OutputSequenceTest, MoreColumnsThanReportSlotsAreAllExportedAndTextPrinted) {
    constexpr int Columns = 42;
    QStringList rows;
    for (int k = 1; k <= Columns; ++k)
        rows << QStringLiteral("(%1, 'Sales', 'Широка', '(Sales.SaleID+%2)', 'К%2', 2, 0, "
                               "'(Sales.SaleID+%2)', 0, 0, '', 0, '', '', '', 1, 30, '', %3, 0)")
                    .arg(900 + k)
                    .arg(k)
                    .arg(k == 1 || k == Columns ? QStringLiteral("'SUM([К%1])'").arg(k)
                                                : QStringLiteral("''"));
    Exec(QStringLiteral("INSERT INTO Relations(N, TableName, BGTableName, ColName, BGColName, "
                        "SelectCol, Promenliva, Function, Zadaljitelna, Sortirane, DftFilter, "
                        "DftLike, FilterList, RelationTable, RelationCol, Align, Shirina, Mask, "
                        "Suma, AutoStretch) VALUES ") +
         rows.join(u','));
    struct TDrop {
        ~TDrop() { Exec(QStringLiteral("DELETE FROM Relations WHERE N BETWEEN 901 AND 942")); }
    } drop;

    TSpravkaForm* window = OpenSubject(QStringLiteral("Широка"));
    const int results = window->dsData->rowCount();
    ASSERT_GT(results, 0);
    ASSERT_EQ(window->DataGrid->ColumnCount(), Columns);

    // Lines that hold every column: as many delimiters as columns less one.
    auto fullLines = [](const QByteArray& text, char delimiter) {
        int n = 0;
        for (const QByteArray& line : text.split('\n'))
            n += line.count(delimiter) == Columns - 1;
        return n;
    };
    QTemporaryDir dir;
    for (bool header : {true, false}) {
        SCOPED_TRACE(header ? "with header" : "without header");
        ExportTxtOpts.ExportHeader = header;
        const QString file =
            dir.filePath(header ? QStringLiteral("h.txt") : QStringLiteral("n.txt"));
        SetSaveFileDialogHandler(
            [&](const QString&, const QString&, const QString&, const QString&) { return file; });
        window->btExportClick();
        EXPECT_TRUE(Messages.isEmpty()) << Messages.join(u'\n').toStdString();
        const QByteArray text = ReadAll(file);
        // The names, every row, and with the header the totals.
        EXPECT_EQ(fullLines(text, '\t'), 1 + results + (header ? 1 : 0));
        EXPECT_TRUE(text.contains(Win1251::Encode(QStringLiteral("К42"))));
        if (header) {
            // The first column's total is in the footer, the 42nd's is not:
            // the report has no slot for it.
            const QList<QByteArray> lines = text.split('\n');
            ASSERT_GE(lines.size(), 3);
            const QList<QByteArray> footer = lines[lines.size() - 3].chopped(1).split('\t');
            ASSERT_EQ(footer.size(), Columns);
            EXPECT_FALSE(footer.first().trimmed().isEmpty());
            EXPECT_TRUE(footer.last().isEmpty());
        }
    }

    ResetExportSettings();
    TextPrintMode = true;
    ExportTxtOpts.DftTarget = dir.filePath(QStringLiteral("printer.txt"));
    window->btPrintClick();
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join(u'\n').toStdString();
    EXPECT_EQ(fullLines(ReadAll(ExportTxtOpts.DftTarget), '|'), 1 + results + 1);
}

// The first thing a new user prints: every demo subject's report keeps its
// column captions, values and totals on the paper, between the margins of
// the orientation its options row asks for.
TEST_F(OutputSequenceTest, EveryDemoSubjectsReportFitsItsPage) {
    QStringList subjects;
    {
        TSpravkaForm* window = OpenSubject(QString(), false);
        TQuery* list = window->Inquiry->qrTableName;
        for (list->First(); !list->Eof(); list->Next())
            subjects << list->FieldByName(QStringLiteral("BGTableName"))->AsString();
        window->close();
    }
    ASSERT_GE(subjects.size(), 5);
    for (const QString& subject : subjects)
        for (bool rowNumbers : {false, true}) {
            SCOPED_TRACE(subject.toStdString() + (rowNumbers ? ", row numbers" : ""));
            TSpravkaForm* window = OpenSubject(subject);
            ASSERT_GT(window->dsData->rowCount(), 0);
            // The row numbers take a column of their own before the others.
            window->cbRowNumbers->setChecked(rowNumbers);
            TRpSpravkaForm* form = window->ReportForm;
            std::vector<TTextPositions::TText> texts;
            double left = 0;
            double right = 0;
            form->PrintPages = [&](TRpPrinter* printer) {
                std::unique_ptr<QPicture> page = printer->PageImage(1);
                ASSERT_TRUE(page);
                const TRpPage& layout = form->RpSpravka->Page();
                left = layout.LeftMargin * printer->XFactor();
                right = (printer->PaperWidth() - layout.RightMargin) * printer->XFactor();
                TTextPositions device(page->boundingRect().size());
                QPainter painter(&device);
                page->play(&painter);
                painter.end();
                texts = device.Texts();
            };
            window->btPrintClick();
            form->PrintPages = nullptr;
            ASSERT_FALSE(texts.empty());

            // Every caption of the grid is printed, and nothing runs past the
            // printable area (a pixel of rounding allowed).
            for (int c = 0; c < window->DataGrid->ColumnCount(); ++c) {
                const QString caption = window->DataGrid->ColumnTitle(c);
                const QString firstWord = caption.section(u' ', 0, 0);
                EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const auto& t) {
                    return t.Text.trimmed().startsWith(firstWord);
                })) << caption.toStdString();
            }
            for (const auto& t : texts) {
                EXPECT_GE(t.Box.left(), left - 1) << t.Text.toStdString();
                EXPECT_LE(t.Box.right(), right + 1)
                    << t.Text.toStdString() << " ends at " << t.Box.right() << " of " << right;
            }
            window->close();
        }
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join(u'\n').toStdString();
}
