// Around the result of an inquiry window: the grid menu and its shortcuts,
// the window messages, the folding condition panel, column totals, and the
// output commands reaching the report template's sequences (export with
// Ctrl opening the export settings instead).

#include "InquiryFixture.h"

#include "DBGrid.h"
#include "DbAccess.h"
#include "ExportOptions.h"
#include "ExportSetupUnit.h"
#include "MessageBox.h"
#include "WindowRoutines.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace {

// An inquiry window that counts the sequences its output commands start.
class TWatchedForm : public TSpravkaModalForm {
public:
    using TSpravkaModalForm::TSpravkaModalForm;
    int Previews = 0;
    int Prints = 0;
    int Exports = 0;
    // Run inside the export sequence (a run started by it moves qrCol).
    std::function<void()> DuringExport;

protected:
    void RunPreviewSequence() override { ++Previews; }
    void RunPrintSequence() override { ++Prints; }
    void RunExportSequence() override {
        ++Exports;
        if (DuringExport)
            DuringExport();
    }
};

// Stands in for the main window where only its messages matter.
class TMessageListener : public QWidget, public TMessageAnswerer {
public:
    QList<int> Received;
    qintptr Perform(int message, qintptr, qintptr) override {
        Received << message;
        return 1;
    }
};

class OutputDispatchTest : public InquiryFixture {
protected:
    void SetUp() override {
        InquiryFixture::SetUp();
        ResetExportSettings();
        Frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frame));
    }
    void TearDown() override {
        SetKeyboardModifiersQuery(nullptr);
        ResetExportSettings();
        InquiryFixture::TearDown();
    }

    TWatchedForm* OpenWatched() {
        auto* window = new TWatchedForm(Frame);
        auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        sub->showMaximized();
        QCoreApplication::processEvents();
        return window;
    }

    // Runs the "Продажби" inquiry: Фактура, Продукт, Количество over five rows.
    void RunSales(TSpravkaForm* window) {
        AddSubject(window, QStringLiteral("Продажби"));
        Press(window->btSpravka);
        ASSERT_EQ(window->dsData->rowCount(), 5);
    }

    // Puts the result grid's cursor into the column of a field.
    void SelectResultColumn(TSpravkaForm* window, const QString& field) {
        for (int c = 0; c < window->DataGrid->ColumnCount(); ++c) {
            if (window->DataGrid->ColumnFieldName(c) == field) {
                window->DataGrid->setCurrentIndex(window->dsData->index(0, c));
                return;
            }
        }
        ADD_FAILURE() << "no result column " << field.toStdString();
    }
};

// Presses a button of the next dialog of type T to open, once it is shown.
template <typename T> void AnswerDialog(QPushButton* T::*button, QString* seenTitle) {
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, button, seenTitle, tries] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            *seenTitle = dialog->windowTitle();
            (dialog->*button)->click();
        } else if (++*tries < 500) {
            return;
        }
        poll->deleteLater();
        poll->stop();
    });
    poll->start(10);
}

TEST_F(OutputDispatchTest, CommandsReachTheSequences) {
    TWatchedForm* window = OpenWatched();
    RunSales(window);
    window->DataGrid->setFocus();

    struct Command {
        const char* What;
        std::function<void()> Do;
        int Previews, Prints, Exports;
    } const commands[] = {
        // Each way in to the same command: button, menu item, shortcut, message.
        {"preview button", [&] { Press(window->btPrintPreview); }, 1, 0, 0},
        {"preview item", [&] { window->mnPrintPreview->trigger(); }, 1, 0, 0},
        {"Shift+Ctrl+P",
         [&] {
             QTest::keyClick(window->DataGrid, Qt::Key_P, Qt::ShiftModifier | Qt::ControlModifier);
         },
         1, 0, 0},
        {"message 1025", [&] { window->Perform(WM_PREVIEW, 0, 0); }, 1, 0, 0},
        {"print button", [&] { Press(window->btPrint); }, 0, 1, 0},
        {"print item", [&] { window->mnPrint->trigger(); }, 0, 1, 0},
        {"Ctrl+P", [&] { QTest::keyClick(window->DataGrid, Qt::Key_P, Qt::ControlModifier); }, 0, 1,
         0},
        {"message 1026", [&] { window->Perform(WM_PRINT, 0, 0); }, 0, 1, 0},
        {"export button", [&] { Press(window->btExport); }, 0, 0, 1},
        {"export item", [&] { window->mnExport->trigger(); }, 0, 0, 1},
    };
    for (const Command& c : commands) {
        window->Previews = window->Prints = window->Exports = 0;
        c.Do();
        EXPECT_EQ(window->Previews, c.Previews) << c.What;
        EXPECT_EQ(window->Prints, c.Prints) << c.What;
        EXPECT_EQ(window->Exports, c.Exports) << c.What;
    }
    EXPECT_TRUE(Messages.empty());
}

TEST_F(OutputDispatchTest, ExportReturnsTheCatalogueToItsRow) {
    TWatchedForm* window = OpenWatched();
    AddSubject(window, QStringLiteral("Продажби"));
    ClickColumn(window, QStringLiteral("Продукт"));
    // A run of the inquiry inside the export walks the catalogue.
    window->DuringExport = [window] { window->Inquiry->qrCol->Last(); };
    Press(window->btExport);
    EXPECT_EQ(window->Exports, 1);
    EXPECT_EQ(window->Inquiry->qrCol->FieldByName("BGColName")->AsString(),
              QStringLiteral("Продукт"));
}

TEST_F(OutputDispatchTest, ExportWithCtrlOpensTheSettingsAndTellsTheMainWindowOfOk) {
    TWatchedForm* window = OpenWatched();
    TMessageListener main;
    SetMainForm(&main);
    SetKeyboardModifiersQuery([] { return Qt::KeyboardModifiers(Qt::ControlModifier); });

    // Cancel: nothing changes, nobody is told, nothing is exported.
    QString title;
    AnswerDialog<TExportSetupForm>(&TExportSetupForm::btCancel, &title);
    Press(window->btExport);
    EXPECT_EQ(title, QStringLiteral("Настройка Експорт"));
    EXPECT_TRUE(main.Received.isEmpty());
    EXPECT_EQ(window->Exports, 0);

    // OK from the menu item: the settings are stored and the main window
    // gets message 3025; still nothing is exported.
    title.clear();
    AnswerDialog<TExportSetupForm>(&TExportSetupForm::btOk, &title);
    window->mnExport->trigger();
    EXPECT_EQ(title, QStringLiteral("Настройка Експорт"));
    EXPECT_EQ(main.Received, QList<int>{WM_EXPORTSETUP});
    EXPECT_EQ(window->Exports, 0);
    SetMainForm(Frame);
}

TEST_F(OutputDispatchTest, FoldingByKeyMenuClicksAndMessage) {
    TWatchedForm* window = OpenWatched();
    RunSales(window);
    ASSERT_FALSE(window->FilterPanelShown()); // the run by the button folded it
    window->Perform(WM_TOGGLEFILTER, 0, 0);
    ASSERT_TRUE(window->FilterPanelShown());

    struct Way {
        const char* What;
        std::function<void()> Toggle;
    } const ways[] = {
        {"F3", [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3); }},
        {"menu item", [&] { window->mnFilter->trigger(); }},
        {"message 2034", [&] { window->Perform(WM_TOGGLEFILTER, 0, 0); }},
        {"title panel",
         [&] { QTest::mouseClick(window->Panel0, Qt::LeftButton, {}, QPoint(2, 2)); }},
        {"title label", [&] { QTest::mouseClick(window->Label5, Qt::LeftButton); }},
        {"grid double-click",
         [&] {
             const QRect cell = window->DataGrid->visualRect(window->dsData->index(0, 0));
             // As a real double-click: the press, then the double-click.
             QTest::mouseClick(window->DataGrid->viewport(), Qt::LeftButton, {}, cell.center());
             QTest::mouseDClick(window->DataGrid->viewport(), Qt::LeftButton, {}, cell.center());
         }},
        {"grid double-click below the last row",
         [&] {
             QWidget* viewport = window->DataGrid->viewport();
             const QPoint below(2, viewport->height() - 2);
             ASSERT_FALSE(window->DataGrid->indexAt(below).isValid());
             QTest::mouseClick(viewport, Qt::LeftButton, {}, below);
             QTest::mouseDClick(viewport, Qt::LeftButton, {}, below);
         }},
    };
    for (const Way& way : ways) {
        // Twice: folded with the grid focused and the low minimum, then back
        // to the full height and minimum with the panel focused.
        way.Toggle();
        EXPECT_FALSE(window->FilterPanelShown()) << way.What;
        EXPECT_EQ(window->minimumHeight(), 140) << way.What;
        EXPECT_EQ(QApplication::focusWidget(), window->DataGrid) << way.What;
        way.Toggle();
        EXPECT_TRUE(window->FilterPanelShown()) << way.What;
        EXPECT_EQ(window->FilterPanel->height(), 248) << way.What;
        EXPECT_EQ(window->minimumHeight(), 380) << way.What;
        EXPECT_TRUE(window->FilterPanel->isAncestorOf(QApplication::focusWidget())) << way.What;
    }
    EXPECT_EQ(window->Perform(WM_FINDINQUIRY, 0, 0), reinterpret_cast<qintptr>(window));
}

TEST_F(OutputDispatchTest, ColumnTotalsFromTheMenuAndCtrlU) {
    TWatchedForm* window = OpenWatched();
    RunSales(window);
    SetMessageBoxHandler([this](const QString& text, const QString& caption, int style) {
        Messages.push_back({text, caption, style});
        return caption == QStringLiteral("Error") ? IDCANCEL : DefaultMessageBoxButton(style);
    });
    const QString quantitySum = QStringLiteral(
        "Сбор на колона \"Количество\":   33.00\r\rБрой редове:   5\r"); // 10+5+7+3+8, mask 0.00

    // The menu item totals a numeric column over the result.
    SelectResultColumn(window, QStringLiteral("Количество"));
    window->mnShowColSum->trigger();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, quantitySum);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Съобщение"));

    // ... and leaves a text column alone.
    Messages.clear();
    SelectResultColumn(window, QStringLiteral("Продукт"));
    window->mnShowColSum->trigger();
    EXPECT_TRUE(Messages.empty());

    // Ctrl+U in the grid totals any column: the text column's first value
    // is no number, and Cancel at that question gives "<n.a.>".
    window->DataGrid->setFocus();
    QTest::keyClick(window->DataGrid, Qt::Key_U, Qt::ControlModifier);
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_TRUE(Messages[1].Text.contains(QStringLiteral("\"Продукт\":   <n.a.>")))
        << Messages[1].Text.toStdString();

    Messages.clear();
    SelectResultColumn(window, QStringLiteral("Количество"));
    QTest::keyClick(window->DataGrid, Qt::Key_U, Qt::ControlModifier);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, quantitySum);
}

// A held Delete key repeats: it removes the selected entry and no more,
// since after a removal nothing is selected.
TEST_F(OutputDispatchTest, DeleteRemovesTheSelectedEntryOfEachShownList) {
    TWatchedForm* window = OpenWatched();
    AddSubject(window, QStringLiteral("Продажби"));
    AddCondition(window, QStringLiteral("Продукт"), QStringLiteral("="), QStringLiteral("Круши"));
    AddCondition(window, QStringLiteral("Фактура"), QStringLiteral(">"), QStringLiteral("1"));
    for (const QString& column : {QStringLiteral("Продукт"), QStringLiteral("Фактура")}) {
        ClickColumn(window, column);
        Press(window->btGroup); // groups and orders by the column
    }
    ASSERT_EQ(window->Inquiry->RelationsBG.size(), 2);
    ASSERT_EQ(window->Inquiry->GroupBoxBG.size(), 2);
    ASSERT_EQ(window->Inquiry->OrderBoxBG.size(), 2);

    struct List {
        QListWidget* Widget;
        const QStringList* Shown;
        const QStringList* Hidden; // the SQL list beside it goes too
    } const lists[] = {
        {window->RelationsBG, &window->Inquiry->RelationsBG, &window->Inquiry->Relations},
        {window->GroupBoxBG, &window->Inquiry->GroupBoxBG, &window->Inquiry->GroupBox},
        {window->OrderBoxBG, &window->Inquiry->OrderBoxBG, &window->Inquiry->OrderBox},
    };
    for (const List& list : lists) {
        SCOPED_TRACE(list.Widget->objectName().toStdString());
        list.Widget->setFocus();
        list.Widget->setCurrentRow(0);
        const QString second = list.Shown->at(1);
        for (int repeat = 0; repeat < 3; ++repeat)
            QTest::keyClick(list.Widget, Qt::Key_Delete);
        EXPECT_EQ(*list.Shown, QStringList{second});
        EXPECT_EQ(list.Hidden->size(), 1);
        EXPECT_EQ(list.Widget->currentRow(), -1);
        EXPECT_TRUE(list.Widget->selectedItems().isEmpty());
    }
}

// The run a report asks for neither folds the panel nor leaves the inquiry
// modified.
TEST_F(OutputDispatchTest, RunForTheReportKeepsThePanel) {
    TWatchedForm* window = OpenWatched();
    AddSubject(window, QStringLiteral("Продажби"));
    TReportSource& source = *window;
    ASSERT_TRUE(source.IsModified());
    source.RunInquiryForReport();
    EXPECT_FALSE(source.IsModified());
    EXPECT_EQ(window->dsData->rowCount(), 5);
    EXPECT_TRUE(window->FilterPanelShown());
}

} // namespace
