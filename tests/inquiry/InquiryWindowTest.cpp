// The inquiry window itself: finding and reusing windows, the condition
// panel, the keys, the column marks and the value list.

#include "InquiryFixture.h"

#include "DBGrid.h"
#include "DBLookupListBox.h"
#include "DbAccess.h"
#include "Exception.h"
#include "ServerRoutines.h"
#include "WindowRoutines.h"

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QStyledItemDelegate>
#include <QTest>
#include <utility>

namespace {

TEST_F(InquiryFixture, OpenInquiryWindowReusesAnOpenWindow) {
    QWidget* first = OpenInquiryWindow(false, false, QString());
    ASSERT_NE(first, nullptr);
    auto* window = qobject_cast<TSpravkaForm*>(first);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(qobject_cast<QMdiSubWindow*>(window->parentWidget()) != nullptr);
    EXPECT_EQ(window->Perform(WM_FINDINQUIRY, 0, 0), reinterpret_cast<qintptr>(window));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Справка"));
    EXPECT_GE(window->minimumWidth(), 758);
    EXPECT_GE(window->minimumHeight(), 380);

    // Without flags the open window is reused; with a subject it runs it.
    EXPECT_EQ(OpenInquiryWindow(false, false, QString()), first);
    EXPECT_EQ(OpenInquiryWindow(false, false, QStringLiteral("Клиенти")), first);
    EXPECT_EQ(window->Inquiry->SelectedTablesBG, QStringList{QStringLiteral("Клиенти")});
    EXPECT_EQ(window->dsData->rowCount(), 3);
    EXPECT_EQ(LastSubject, QStringLiteral("Клиенти"));

    // Forced: a second window, which starts on the last subject run,
    // without running it.
    QWidget* second = OpenInquiryWindow(false, true, QString());
    ASSERT_NE(second, first);
    auto* other = qobject_cast<TSpravkaForm*>(second);
    EXPECT_EQ(other->Inquiry->SelectedTablesBG, QStringList{QStringLiteral("Клиенти")});
    EXPECT_FALSE(other->ReportForm->qrDATA->Active());
}

TEST_F(InquiryFixture, ConditionPanelFoldsAndUnfolds) {
    TSpravkaForm* window = OpenWindow();
    ASSERT_TRUE(window->FilterPanelShown());
    EXPECT_EQ(window->FilterPanel->height(), 248);
    window->Perform(WM_TOGGLEFILTER, 0, 0);
    EXPECT_FALSE(window->FilterPanelShown());
    EXPECT_EQ(window->minimumHeight(), 140);
    window->Perform(WM_TOGGLEFILTER, 0, 0);
    EXPECT_TRUE(window->FilterPanelShown());
    EXPECT_EQ(window->FilterPanel->height(), 248);
    EXPECT_EQ(window->minimumHeight(), 380);

    // A run by the button that returns rows folds the panel; one that
    // returns none leaves it.
    AddSubject(window, QStringLiteral("Продажби"));
    AddCondition(window, QStringLiteral("Продукт"), QStringLiteral("="), QStringLiteral("Няма"));
    Press(window->btSpravka);
    EXPECT_TRUE(window->FilterPanelShown());
    window->RelationsBG->setCurrentRow(0);
    QTest::keyClick(window->RelationsBG, Qt::Key_Delete);
    EXPECT_TRUE(window->Inquiry->Relations.isEmpty());
    Press(window->btSpravka);
    EXPECT_FALSE(window->FilterPanelShown());
    window->ShowInquiryWindow();
    EXPECT_TRUE(window->FilterPanelShown());
}

TEST_F(InquiryFixture, KeysOfTheWindow) {
    TSpravkaForm* window = OpenWindow();
    // Enter in the subject list adds the subject.
    window->ReportListBox->setFocus();
    window->ReportListBox->setCurrentIndex(window->dsTableName->index(0, 0));
    QTest::keyClick(window->ReportListBox, Qt::Key_Return);
    EXPECT_EQ(window->Inquiry->SelectedTablesBG,
              QStringList{window->dsTableName->index(0, 0).data().toString()});
    AddSubject(window, QStringLiteral("Продажби"));

    // Ctrl with "=" types the wildcard; Enter adds the condition.
    ClickColumn(window, QStringLiteral("Продукт"));
    QLineEdit* edit = window->cbFilter->lineEdit();
    edit->setFocus();
    edit->setText(QStringLiteral("Кр"));
    QTest::keyClick(edit, Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringLiteral("Кр~"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(window->Inquiry->Relations, QStringList{"Sales.Product LIKE 'Кр%'"});

    // Ctrl+Enter anywhere runs the inquiry, as the button does.
    QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(window->ReportForm->qrDATA->Active());
    EXPECT_EQ(window->dsData->rowCount(), 2);
    EXPECT_FALSE(window->FilterPanelShown());
}

TEST_F(InquiryFixture, MarkClicksAreStoredAndTheGridKeepsItsRow) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    auto storedMark = [] {
        return ExecSqlValue(QStringLiteral("SELECT SelectCol FROM Relations WHERE N = 4")).toInt();
    };
    auto shownMark = [window](int row) {
        const QModelIndex cell = window->dsCol->index(row, 0);
        auto* marks = static_cast<QStyledItemDelegate*>(window->DBGrid1->itemDelegateForColumn(0));
        return marks->displayText(cell.data(), QLocale());
    };
    const int productRow = 3;
    EXPECT_EQ(shownMark(productRow), QStringLiteral("√"));
    // A chosen column is unchosen, an unchosen one chosen.
    for (int expected : {0, 2}) {
        ClickColumn(window, QStringLiteral("Продукт"), 0);
        EXPECT_EQ(storedMark(), expected);
        EXPECT_EQ(window->Inquiry->qrCol->FieldByName("BGColName")->AsString(),
                  QStringLiteral("Продукт"));
        EXPECT_EQ(window->DBGrid1->currentIndex().row(), productRow);
        EXPECT_EQ(shownMark(productRow), expected == 2 ? QStringLiteral("√") : QStringLiteral(" "));
    }
    // Clicking a begins-with column proposes "~".
    AddSubject(window, QStringLiteral("Клиенти"));
    ClickColumn(window, QStringLiteral("Име"));
    EXPECT_EQ(window->cbSign->currentText(), QStringLiteral("~"));
    EXPECT_EQ(window->Inquiry->DefaultSign, QLatin1Char('~'));
    ClickColumn(window, QStringLiteral("Град"));
    EXPECT_EQ(window->cbSign->currentText(), QStringLiteral("="));
}

TEST_F(InquiryFixture, ValueListOfTheValueBox) {
    ExecDirect(QStringLiteral("UPDATE Relations SET DftFilter = '''ру''' WHERE N = 22"));
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Клиенти"));
    ClickColumn(window, QStringLiteral("Град"));
    window->cbFilterDropDown();
    // Sorted items; the default value is shown and the item with the
    // longest common prefix, compared without case, is highlighted.
    EXPECT_EQ(window->FilterItems(), QStringList({"Варна", "Русе", "София"}));
    EXPECT_EQ(window->cbFilter->currentText(), QStringLiteral("ру"));
    EXPECT_EQ(window->cbFilter->currentIndex(), 1);
    EXPECT_EQ(window->Inquiry->FilterListSource, QStringLiteral("Customers.City"));

    // Without a default the first item is shown.
    ClickColumn(window, QStringLiteral("Име"));
    window->cbFilterDropDown();
    EXPECT_EQ(window->cbFilter->currentText(), QStringLiteral("Варна"));

    // After an external condition the list is not reloaded on entry: the
    // value stays and only the items go.
    window->Inquiry->ApplyExternalFilter(QStringLiteral("City"), QStringLiteral("="),
                                         QStringLiteral("'Русе'"));
    EXPECT_EQ(window->Inquiry->Relations.last(), QStringLiteral("Customers.City ='Русе'"));
    EXPECT_EQ(window->Inquiry->FilterListSource, ExternalFilterMarker);
    window->cbFilterEnter();
    EXPECT_TRUE(window->FilterItems().isEmpty());
    EXPECT_EQ(window->cbFilter->currentText(), QStringLiteral("Русе"));

    // A click into the box that loads its list leaves the value selected,
    // so typing replaces it rather than landing inside it.
    ClickColumn(window, QStringLiteral("Град"));
    window->cbSign->setFocus();
    Frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame));
    QLineEdit* edit = window->cbFilter->lineEdit();
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(4, edit->height() / 2));
    QCoreApplication::processEvents();
    ASSERT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->selectedText(), QStringLiteral("ру"));
    QTest::keyClicks(edit, QStringLiteral("Var"));
    EXPECT_EQ(window->cbFilter->currentText(), QStringLiteral("Var"));
}

TEST(InquiryOperations, SplitOperatorTakesTheLongestLeadingOperator) {
    struct Case {
        QString Text;
        QString Op;
        QString Value;
    } const cases[] = {
        {">=10", ">=", "10"}, // two characters are tried first
        {"~ABC", "~", "ABC"}, // then one
        {"ABC", "=", "ABC"},  // none: "=" and the text unchanged
        {"<> x ", "<>", "x"}, // the value is trimmed
        {"=", "=", ""},       // an operator alone leaves no value
        {" >5", "=", " >5"},  // a leading blank hides the operator
    };
    for (const Case& c : cases) {
        const TSplitCondition split = TInquiry::SplitOperator(c.Text);
        EXPECT_EQ(split.Operator, c.Op) << c.Text.toStdString();
        EXPECT_EQ(split.Value, c.Value) << c.Text.toStdString();
    }
}

TEST_F(InquiryFixture, EvaluateFilterValueReadsLiteralsAndStatements) {
    TPlainInquiryView view;
    TInquiry inquiry(&view, nullptr);
    struct Case {
        QString Text;
        QString Value;
    } const cases[] = {
        {"'O''Neil' rest", "O'Neil"}, // a quoted literal ends at its closing quote
        {"-5", "-5"},                 // numbers are taken as written
        {"12abc", "12abc"},
        {"SELECT MAX(Qty) FROM Sales", "10"}, // anything else is a statement
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(inquiry.EvaluateFilterValue(c.Text), c.Value) << c.Text.toStdString();
    // A failing statement is reported and gives no value.
    Messages.clear();
    EXPECT_EQ(inquiry.EvaluateFilterValue(QStringLiteral("no such thing")), QString());
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_FALSE(ContinueOnSqlError);
    // A statement that raises all the same (here: no work query) must not
    // leave failures unraised for the rest of the program.
    TKivWorkQuery* const workQuery = std::exchange(WorkQuery, nullptr);
    EXPECT_THROW(inquiry.EvaluateFilterValue(QStringLiteral("SELECT 1")), Exception);
    WorkQuery = workQuery;
    EXPECT_FALSE(ContinueOnSqlError);
}

} // namespace
