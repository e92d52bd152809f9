#include "InquiryFixture.h"

#include "DBGrid.h"
#include "DBLookupListBox.h"
#include "DbAccess.h"
#include "MessageBox.h"
#include "ServerRoutines.h"
#include "SessionInit.h"
#include "WindowRoutines.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

namespace {

QTemporaryDir& SuiteDir() {
    static QTemporaryDir dir;
    return dir;
}

QString DatabaseFile() {
    return SuiteDir().filePath(QStringLiteral("inquiry.db"));
}

// Columns of Relations, in the order of the rows below.
const char* const Schema = R"SQL(
CREATE TABLE Authchar (Code INTEGER, Text TEXT);
INSERT INTO Authchar VALUES (0, ' '), (1, ' '), (2, 'Ö');

CREATE TABLE Relations (
  N INTEGER PRIMARY KEY, TableName TEXT, BGTableName TEXT, ColName TEXT, BGColName TEXT,
  SelectCol INTEGER, Promenliva INTEGER, "Function" TEXT, Zadaljitelna INTEGER,
  Sortirane INTEGER, DftFilter TEXT, DftLike INTEGER, FilterList TEXT,
  RelationTable TEXT, RelationCol TEXT, Align INTEGER, Shirina INTEGER, Mask TEXT,
  Suma TEXT, AutoStretch INTEGER);

-- Sales: plain, expression, relation and aggregate columns, a display name
-- with blanks, a value list and an options row.
INSERT INTO Relations VALUES
 (1, 'Sales', 'Продажби', 'InvNo', 'Фактура', 2, 0, 'InvNo', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0),
 (2, 'Sales', 'Продажби', 'InvDate', 'Дата на фактура', 0, 0, 'InvDate', 0, 0, '', 0, '', '', '', 2, 0, '', '', 0),
 (3, 'Sales', 'Продажби', 'Customer', 'Клиент', 0, 0, 'Customer', 0, 0, '', 0, '', 'Customers', 'CustNo', 0, 0, '', '', 0),
 (4, 'Sales', 'Продажби', 'Product', 'Продукт', 2, 0, 'Product', 0, 0, '', 0,
     'SELECT DISTINCT Product FROM Sales', '', '', 0, 0, '', '', 0),
 (5, 'Sales', 'Продажби', 'Qty', 'Количество', 2, 0, 'SUM(Sales.Qty)', 0, 0, '', 0, '', '', '', 1, 60, '0.00', '', 0),
 (6, 'Sales', 'Продажби', 'Qty*Price', 'Стойност', 0, 0, 'SUM(Qty*Price)', 0, 0, '', 0, '', '', '', 1, 0, '', '', 0),
 (7, 'Sales', 'Продажби', '__Options__', 'Настройки', 0, 0, '', 0, 0, '', 0,
     'Printer.Orientation=1' || char(13) || char(10) || 'Printer.Copies=2', '', '', 0, 0, '', '', 0),
-- Customers, the related table of Sales.Customer.
 (20, 'Customers', 'Клиенти', 'CustNo', 'Номер', 0, 0, 'CustNo', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0),
 (21, 'Customers', 'Клиенти', 'Name', 'Име', 2, 0, 'Name', 0, 0, '', 1,
     'SELECT City FROM Customers', '', '', 0, 0, '', '', 0),
 (22, 'Customers', 'Клиенти', 'City', 'Град', 0, 0, 'City', 0, 0, '', 0,
     'SELECT City FROM Customers', '', '', 0, 0, '', '', 0),
-- A subject whose display name holds an apostrophe, with a hidden column.
 (30, 'Customers', 'Клиент''s', 'Name', 'Име', 2, 0, 'Name', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0),
 (31, 'Customers', 'Клиент''s', 'City', 'Град', 1, 0, 'City', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0),
-- Archive: a mandatory column, a hidden column with a default condition and
-- a pre-run script on its options row.
 (40, 'Sales', 'Архив', 'InvNo', 'Фактура', 2, 0, 'InvNo', 1, 0, '', 0, '', '', '', 0, 0, '', '', 0),
 (41, 'Sales', 'Архив', 'Qty', 'Количество', 2, 0, 'Qty', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0),
 (42, 'Sales', 'Архив', 'Deleted', 'Изтрит', 1, 0, 'Deleted', 0, 0, '0', 0, '', '', '', 0, 0, '', '', 0),
 (43, 'Sales', 'Архив', '__Options__', 'Настройки', 0, 0, '', 0, 0,
     'INSERT INTO RunLog VALUES (1)' || char(13) || char(10) || 'GO', 0, '', '', '', 0, 0, '', '', 0),
-- A subject with a server-side variable, and a hidden one with a default.
 (50, 'Sales', 'Период', 'kzmMinQty', 'Минимум', 2, 1, 'kzmMinQty', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0),
 (51, 'Sales', 'Период', 'Product', 'Продукт', 2, 0, 'Product', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0),
 (52, 'Sales', 'Период', 'Qty', 'Количество', 2, 0, 'Qty', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0),
 (53, 'Sales', 'Период', 'kzmMaxQty', 'Максимум', 1, 1, 'kzmMaxQty', 0, 0, '100', 0, '', '', '', 0, 0, '', '', 0),
-- Disabled and private subjects, and a row without a mark character.
 (60, '//Sales', 'Стари', 'InvNo', 'Фактура', 2, 0, 'InvNo', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0),
 (61, 'v_d_Sales', 'Служебна', 'InvNo', 'Фактура', 2, 0, 'InvNo', 0, 0, '', 0, '', '', '', 0, 0, '', '', 0),
 (62, 'Sales', 'Продажби', 'Price', 'Цена', 7, 0, 'Price', 0, 3, '', 0, '', '', '', 0, 0, '', '', 0);

CREATE TABLE Customers (CustNo INTEGER, Name TEXT, City TEXT);
INSERT INTO Customers VALUES (1, 'Алфа', 'София'), (2, 'Бета', 'Варна'), (3, 'O''Neil', 'Русе');

CREATE TABLE Sales (InvNo INTEGER, InvDate TEXT, Customer INTEGER, Product TEXT,
                    Qty INTEGER, Price REAL, Deleted INTEGER);
INSERT INTO Sales VALUES
 (1, '05.01.2024', 1, 'Ябълки', 10, 1.5, 0),
 (2, '06.01.2024', 1, 'Круши', 5, 2.0, 0),
 (3, '01.02.2024', 2, 'Ябълки', 7, 1.5, 0),
 (4, '03.02.2024', 3, 'Сливи', 3, 3.0, 1),
 (5, '10.03.2024', 2, 'Круши', 8, 2.0, 0);

CREATE TABLE RunLog (Mark INTEGER);
)SQL";

void Exec(const QString& file, const QString& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    const QString message = error ? QString::fromUtf8(error) : QString();
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message.toStdString();
}

} // namespace

void InquiryFixture::SetUpTestSuite() {
    const QString aliases = SuiteDir().filePath(QStringLiteral("aliases.ini"));
    QFile file(aliases);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[INQTEST]\nDriver=sqlite\nDatabase=" + QFile::encodeName(DatabaseFile()) + "\n");
    file.close();
    qputenv("VEXAL_ALIASES", QFile::encodeName(aliases));
}

void InquiryFixture::SetUp() {
    QFile::remove(DatabaseFile());
    Exec(DatabaseFile(), QString::fromUtf8(Schema));

    SetMessageBoxHandler([this](const QString& text, const QString& caption, int style) {
        Messages.push_back({text, caption, style});
        return DefaultMessageBoxButton(style);
    });
    CurrentUserN = -1;
    LastSubject.clear();
    // No key is held unless a test says so: the platform remembers the Ctrl
    // of an earlier test's Ctrl+C, which would turn Експорт into its settings.
    SetKeyboardModifiersQuery([] { return Qt::KeyboardModifiers(Qt::NoModifier); });

    Database = new TDatabase;
    Database->SetDatabaseName(QStringLiteral("restdata"));
    Database->SetAliasName(QStringLiteral("INQTEST"));
    Database->SetLoginPrompt(false);
    Database->Open();
    InitSession(*Database);
    ContinueOnSqlError = false;

    Frame = new QMainWindow;
    Frame->setCentralWidget(new QMdiArea(Frame));
    Frame->resize(1280, 900);
    SetMainForm(Frame);
    Frame->show();
}

void InquiryFixture::TearDown() {
    delete Frame;
    Frame = nullptr;
    SetMainForm(nullptr);
    delete Database;
    Database = nullptr;
    SessionDatabase = nullptr;
    SetMessageBoxHandler(nullptr);
    SetKeyboardModifiersQuery(nullptr);
    LastSubject.clear();
}

void InquiryFixture::ExecDirect(const QString& sql) {
    Exec(DatabaseFile(), sql);
}

TSpravkaForm* InquiryFixture::OpenWindow() {
    auto* window = static_cast<TSpravkaForm*>(OpenInquiryWindow(false, true, QString()));
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        sub->showMaximized();
    QCoreApplication::processEvents();
    return window;
}

void InquiryFixture::AddSubject(TSpravkaForm* window, const QString& subject) {
    TDataSource* source = window->dsTableName;
    for (int row = 0; row < source->rowCount(); ++row) {
        if (source->index(row, 0).data().toString() != subject)
            continue;
        TDBLookupListBox* list = window->ReportListBox;
        list->scrollTo(source->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(source->index(row, 0)).center());
        Press(window->btAddSpravka);
        return;
    }
    ADD_FAILURE() << "no subject " << subject.toStdString();
}

void InquiryFixture::ClickColumn(TSpravkaForm* window, const QString& bgColName, int gridColumn) {
    TDataSource* source = window->dsCol;
    for (int row = 0; row < source->rowCount(); ++row) {
        if (source->index(row, 1).data().toString() != bgColName)
            continue;
        const QModelIndex cell = source->index(row, gridColumn);
        window->DBGrid1->scrollTo(cell);
        QTest::mouseClick(window->DBGrid1->viewport(), Qt::LeftButton, {},
                          window->DBGrid1->visualRect(cell).center());
        return;
    }
    ADD_FAILURE() << "no column " << bgColName.toStdString();
}

void InquiryFixture::AddCondition(TSpravkaForm* window, const QString& bgColName, const QString& op,
                                  const QString& value) {
    ClickColumn(window, bgColName);
    window->cbSign->setCurrentIndex(window->cbSign->findText(op));
    window->cbFilter->setEditText(value);
    Press(window->btAddFilter);
}

void InquiryFixture::Press(QWidget* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

QStringList InquiryFixture::Sql(TSpravkaForm* window) const {
    return window->ReportForm->qrDATA->SQL();
}

QStringList InquiryFixture::ResultRows(TSpravkaForm* window) const {
    QStringList rows;
    TDataSource* source = window->dsData;
    for (int row = 0; row < source->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < source->columnCount(); ++column)
            cells << source->index(row, column).data().toString();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

QStringList InquiryFixture::GridTitles(TSpravkaForm* window) const {
    QStringList titles;
    for (int column = 0; column < window->DataGrid->ColumnCount(); ++column)
        titles << window->DataGrid->ColumnTitle(column);
    return titles;
}
