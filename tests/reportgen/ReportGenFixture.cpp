#include "ReportGenFixture.h"

#include "Database.h"
#include "DbAccess.h"
#include "MessageBox.h"
#include "ServerRoutines.h"
#include "SessionInit.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>

namespace {

QTemporaryDir& SuiteDir() {
    static QTemporaryDir dir;
    return dir;
}

} // namespace

// ------------------------------------------------------------ TTestWindow

TTestWindow::TTestWindow() {
    Form.qrDATA->SetDatabaseName(QStringLiteral("restdata"));
    CatalogueQuery.SetDatabaseName(QStringLiteral("restdata"));
    Source.SetDataSet(Form.qrDATA);
    Grid.SetDataSource(&Source);
}

void TTestWindow::ShowResult(const QString& sql, const QList<TShownColumn>& columns) {
    Form.qrDATA->Close();
    Form.qrDATA->SetSQLText(sql);
    Form.qrDATA->Open();
    QList<TGridColumn> shown;
    for (const TShownColumn& c : columns) {
        TGridColumn column;
        column.FieldName = c.Field;
        column.Title = c.Title;
        column.Width = c.Width;
        shown << column;
    }
    Source.SetColumns(shown);
}

void TTestWindow::OpenCatalogue(const QString& sql) {
    CatalogueQuery.Close();
    CatalogueQuery.SetSQLText(sql);
    CatalogueQuery.Open();
}

void TTestWindow::OpenSubjectCatalogue(const QString& subject) {
    OpenCatalogue(QStringLiteral("SELECT * FROM Relations WHERE BGTableName = '%1' "
                                 "AND SelectCol <> 1 AND ColName <> '__Options__' ORDER BY N")
                      .arg(subject));
}

void TTestWindow::RunInquiryForReport() {
    ++Runs;
    if (OnRun)
        OnRun();
    Modified = false;
}

// ------------------------------------------------------------ TRunRecorder

QStringList TRunRecorder::TextsOf(const QString& name) const {
    QStringList texts;
    for (const Text& t : Texts)
        if (t.Name == name)
            texts << QString::number(t.Page) + u':' + t.Value;
    return texts;
}

QStringList TRunRecorder::BandsOn(int page) const {
    QStringList names;
    for (const Band& b : Bands)
        if (b.Page == page)
            names << b.Name;
    return names;
}

// ------------------------------------------------------------ fixture

void ReportGenTest::SetUpTestSuite() {
    // The demo with a year of sales small enough for quick runs, its
    // connection script beside the "program", and an alias naming it.
    const QDir dir(SuiteDir().path());
    CreateDemoDatabase(dir.filePath(QStringLiteral("demo.db")), 600);
    QFile::remove(dir.filePath(QStringLiteral("DEMO.SQL")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VEXAL_SOURCE_DIR "/demo/DEMO.SQL"),
                            dir.filePath(QStringLiteral("DEMO.SQL"))));
    QFile aliases(dir.filePath(QStringLiteral("aliases.ini")));
    ASSERT_TRUE(aliases.open(QIODevice::WriteOnly));
    aliases.write("[DEMO]\nDriver=sqlite\nDatabase=demo.db\n");
    aliases.close();
    qputenv("VEXAL_ALIASES", QFile::encodeName(aliases.fileName()));
    ProgramDir = dir.path() + u'/';
}

void ReportGenTest::SetUp() {
    SetMessageBoxHandler([this](const QString& text, const QString&, int style) {
        Messages << text;
        return DefaultMessageBoxButton(style);
    });
    Database = new TDatabase;
    Database->SetDatabaseName(QStringLiteral("restdata"));
    Database->SetAliasName(QStringLiteral("DEMO"));
    Database->SetLoginPrompt(false);
    Database->Open();
    InitSession(*Database);
    ContinueOnSqlError = false;
    SessionReady = true;
}

void ReportGenTest::TearDown() {
    delete Database;
    Database = nullptr;
    SessionDatabase = nullptr;
    SessionReady = false;
    SetMessageBoxHandler(nullptr);
}

QVariant ReportGenTest::Value(const QString& sql) {
    TQuery query;
    query.SetDatabaseName(QStringLiteral("restdata"));
    query.SetSQLText(sql);
    query.Open();
    return query.Fields(0)->AsVariant();
}

QImage ReportGenTest::RenderPage(TRpPrinter& printer, int page) {
    std::unique_ptr<QPicture> picture = printer.PageImage(page);
    const int width = qRound(printer.PaperWidth() * printer.XFactor());
    const int height = qRound(printer.PaperLength() * printer.YFactor());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (picture) {
        QPainter painter(&image);
        TRpPrinter::DrawPage(painter, *picture, QRectF(0, 0, width, height));
    }
    return image;
}
