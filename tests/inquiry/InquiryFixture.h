#pragma once
// A database per test for the inquiry tests: a fresh SQLite file reached
// through an alias of the aliases file, with the catalogue tables Relations
// and Authchar describing a few subjects over small sales and customer
// tables; the session bootstrapped on it, and a main frame with its
// multi-document area for the inquiry windows.

#include "DBGrid.h"
#include "DBLookupListBox.h"
#include "DbAccess.h"
#include "RpSpravkaUnit.h"
#include "SpravkaUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>

class TDatabase;

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

struct TShownMessage {
    QString Text;
    QString Caption;
    int Style = 0;
};

class InquiryFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

public:
    // Runs SQL on the test database directly (outside the program's session).
    void ExecDirect(const QString& sql);

    // Opens a new inquiry window as a child of the frame and shows it.
    TSpravkaForm* OpenWindow();
    // Clicks the subject in the subject list and presses "Прибавя".
    void AddSubject(TSpravkaForm* window, const QString& subject);
    // Clicks a cell of the column grid: column 0 is the mark, 1 the name.
    void ClickColumn(TSpravkaForm* window, const QString& bgColName, int gridColumn = 1);
    // Picks a column, an operator and a value and presses "Прибавя условие".
    void AddCondition(TSpravkaForm* window, const QString& bgColName, const QString& op,
                      const QString& value);
    void Press(QWidget* button);
    QStringList Sql(TSpravkaForm* window) const;
    // The rows of the result as "a|b|c" lines of display texts.
    QStringList ResultRows(TSpravkaForm* window) const;
    QStringList GridTitles(TSpravkaForm* window) const;

protected:
    QMainWindow* Frame = nullptr;
    TDatabase* Database = nullptr;
    std::vector<TShownMessage> Messages;
};
