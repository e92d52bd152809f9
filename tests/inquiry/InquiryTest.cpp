// The inquiry driven through a real window: subject set-up, conditions and
// joins, grouping and ordering, and the composed statement with the rows it
// returns.

#include "InquiryFixture.h"

#include "DBGrid.h"
#include "DbAccess.h"
#include "ServerRoutines.h"

#include <QComboBox>
#include <QListWidget>
#include <QTest>
#include <functional>

namespace {

const QString Q = QStringLiteral("\"");

QString Quoted(const QString& name) {
    return Q + name + Q;
}

TEST_F(InquiryFixture, SubjectListHidesDisabledAndPrivateSubjects) {
    struct Case {
        int User;
        bool PrivateShown;
    } const cases[] = {
        {-1, false}, // "v_d_" subjects are for user 1 only
        {1, true},
    };
    for (const Case& c : cases) {
        CurrentUserN = c.User;
        TSpravkaForm* window = OpenWindow();
        QStringList subjects;
        for (int row = 0; row < window->dsTableName->rowCount(); ++row)
            subjects << window->dsTableName->index(row, 0).data().toString();
        EXPECT_FALSE(subjects.contains(QStringLiteral("Стари"))) << "\"//\" disables a subject";
        EXPECT_EQ(subjects.contains(QStringLiteral("Служебна")), c.PrivateShown) << c.User;
        EXPECT_TRUE(subjects.contains(QStringLiteral("Продажби")));
        window->close();
    }
}

TEST_F(InquiryFixture, AddingASubjectReadsItsColumnsAndOptions) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    TInquiry* inquiry = window->Inquiry;
    EXPECT_EQ(inquiry->SelectedTables, QStringList{QStringLiteral("Sales")});
    EXPECT_EQ(inquiry->SelectedTablesBG, QStringList{QStringLiteral("Продажби")});
    EXPECT_EQ(window->edTitle->text(), QStringLiteral("Продажби"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Продажби"));
    EXPECT_EQ(inquiry->ReportOptions, QStringList({QStringLiteral("Printer.Orientation=1"),
                                                   QStringLiteral("Printer.Copies=2")}));
    // The options row and the row whose mark has no Authchar code are not
    // listed; that row's default ordering is ignored too.
    QStringList columns;
    for (int row = 0; row < window->dsCol->rowCount(); ++row)
        columns << window->dsCol->index(row, 1).data().toString();
    EXPECT_EQ(columns, QStringList({"Фактура", "Дата на фактура", "Клиент", "Продукт", "Количество",
                                    "Стойност"}));
    EXPECT_TRUE(inquiry->OrderBox.isEmpty());
    EXPECT_EQ(window->SelectedTablesBG->count(), 1);

    // A title the user typed into an empty inquiry stays; a second subject
    // starts a new inquiry, title included.
    window->btClearClick();
    window->edTitle->setText(QStringLiteral("Моето заглавие"));
    AddSubject(window, QStringLiteral("Продажби"));
    EXPECT_EQ(window->edTitle->text(), QStringLiteral("Моето заглавие"));
    AddSubject(window, QStringLiteral("Клиенти"));
    EXPECT_EQ(window->edTitle->text(), QStringLiteral("Клиенти"));
}

TEST_F(InquiryFixture, DefaultOrderingAndGroupingFromSortirane) {
    struct Case {
        const char* Why;
        QList<QPair<int, int>> Sortirane; // Relations.N, Sortirane
        QStringList GroupBox;
        QStringList OrderBox;
    } const cases[] = {
        {"places follow the numbers",
         {{1, 1}, {4, 2}, {5, 3}},
         {},
         {Quoted("Фактура") + " ASC", Quoted("Продукт") + " ASC", Quoted("Количество") + " ASC"}},
        {"a place past the end goes to the end", {{5, 3}}, {}, {Quoted("Количество") + " ASC"}},
        {"negative is descending, inserted at its place",
         {{1, 1}, {4, 1}, {5, -2}},
         {},
         {Quoted("Продукт") + " ASC", Quoted("Количество") + " DESC", Quoted("Фактура") + " ASC"}},
        {"100 groups and keeps grouping's ordering",
         {{4, 100}},
         {Quoted("Продукт")},
         {Quoted("Продукт") + " ASC"}},
        {"102 groups and moves the ordering to place 2",
         {{4, 102}, {5, 1}},
         {Quoted("Продукт")},
         {Quoted("Количество") + " ASC", Quoted("Продукт") + " ASC"}},
        {"-101 groups with a descending ordering first",
         {{4, -101}},
         {Quoted("Продукт")},
         {Quoted("Продукт") + " DESC"}},
    };
    for (const Case& c : cases) {
        ExecDirect(QStringLiteral("UPDATE Relations SET Sortirane = 0 WHERE N < 60"));
        for (const auto& [n, value] : c.Sortirane)
            ExecDirect(QStringLiteral("UPDATE Relations SET Sortirane = %1 WHERE N = %2")
                           .arg(value)
                           .arg(n));
        TSpravkaForm* window = OpenWindow();
        AddSubject(window, QStringLiteral("Продажби"));
        EXPECT_EQ(window->Inquiry->GroupBox, c.GroupBox) << c.Why;
        EXPECT_EQ(window->Inquiry->OrderBox, c.OrderBox) << c.Why;
        EXPECT_EQ(window->Inquiry->OrderBoxFunc, c.OrderBox) << c.Why;
        EXPECT_EQ(window->OrderBoxBG->count(), c.OrderBox.size()) << c.Why;
        window->close();
    }
}

TEST_F(InquiryFixture, ConditionsAreWrittenInWhereForm) {
    struct Case {
        const char* Why;
        QString Subject;
        QString Column;
        QString Op;
        QString Value;
        QString Relation; // empty: nothing added
        QString Shown;
        QString ValueBox;
    } const cases[] = {
        {"% makes = a pattern", "Продажби", "Продукт", "=", "abc%", "Sales.Product LIKE 'abc%'",
         "Продукт : abc~", "abc~"},
        {"~ is begins-with: = with a trailing wildcard", "Продажби", "Продукт", "~", "abc",
         "Sales.Product LIKE 'abc%'", "Продукт : abc~", "abc~"},
        {"<> with a wildcard is NOT LIKE", "Продажби", "Продукт", "<>", "a~b",
         "Sales.Product NOT LIKE 'a%b'", "Продукт <> a~b", "a~b"},
        {"a pattern cannot be compared with >", "Продажби", "Количество", ">", "5%", "", "", "5~"},
        {"quotes are doubled in the literal", "Продажби", "Продукт", "=", "O'Neil",
         "Sales.Product ='O''Neil'", "Продукт : O'Neil", "O'Neil"},
        {"comparison operators carry no blank before the value", "Продажби", "Количество",
         ">=", "5", "Sales.Qty >='5'", "Количество >= 5", "5"},
        {"a date loses trailing letters and dots", "Продажби", "Дата на фактура", "=",
         "01.02.2024г.", "Sales.InvDate ='01.02.2024'", "Дата на фактура : 01.02.2024г.",
         "01.02.2024г."},
        {"the wildcard on a date goes the same way, LIKE stays", "Продажби", "Дата на фактура", "~",
         "01.02.2024г.", "Sales.InvDate LIKE '01.02.2024'", "Дата на фактура : 01.02.2024г.~",
         "01.02.2024г.~"},
        {"an expression column is used as written", "Продажби", "Стойност", "<", "10",
         "Qty*Price <'10'", "Стойност < 10", "10"},
        {"a begins-with column adds the wildcard whatever the operator", "Клиенти", "Име", "=",
         "Ал", "Customers.Name LIKE 'Ал%'", "Име : Ал~", "Ал~"},
    };
    TSpravkaForm* window = OpenWindow();
    for (const Case& c : cases) {
        Messages.clear();
        AddSubject(window, c.Subject);
        AddCondition(window, c.Column, c.Op, c.Value);
        const TInquiry* inquiry = window->Inquiry;
        EXPECT_EQ(window->cbFilter->currentText(), c.ValueBox) << c.Why;
        if (c.Relation.isEmpty()) {
            EXPECT_TRUE(inquiry->Relations.isEmpty()) << c.Why;
            ASSERT_EQ(Messages.size(), 1u) << c.Why;
            EXPECT_EQ(Messages[0].Text,
                      QStringLiteral("Не може да има условие, в което участват \rи \">\" и "
                                     "\"~\" \r(но може да се съставят две отделни условия)."));
            EXPECT_EQ(Messages[0].Caption, QStringLiteral("Грешка"));
            EXPECT_EQ(Messages[0].Style, 16);
            continue;
        }
        EXPECT_TRUE(Messages.empty()) << c.Why;
        EXPECT_EQ(inquiry->Relations, QStringList{c.Relation}) << c.Why;
        EXPECT_EQ(inquiry->RelationsBG, QStringList{c.Shown}) << c.Why;
        EXPECT_EQ(window->RelationsBG->count(), 1) << c.Why;
    }
    // The aggregate and left-part forms beside the WHERE form.
    AddSubject(window, QStringLiteral("Продажби"));
    AddCondition(window, QStringLiteral("Количество"), QStringLiteral(">="), QStringLiteral("5"));
    EXPECT_EQ(window->Inquiry->RelationsFunc, QStringList{"SUM(Sales.Qty) >='5'"});
    EXPECT_EQ(window->Inquiry->RelationsLPart, QStringList{"Sales.Qty >="});
}

TEST_F(InquiryFixture, NewConditionsReplaceConflictingOnes) {
    struct Case {
        const char* Why;
        QString Column;
        QList<QPair<QString, QString>> Steps;
        QStringList Relations;
    } const cases[] = {
        {"= replaces a range",
         "Количество",
         {{">", "1"}, {"<", "9"}, {"=", "5"}},
         {"Sales.Qty ='5'"}},
        {"> replaces an equality", "Количество", {{"=", "5"}, {">", "1"}}, {"Sales.Qty >'1'"}},
        {"<> keeps a range",
         "Количество",
         {{">", "1"}, {"<>", "3"}},
         {"Sales.Qty >'1'", "Sales.Qty <>'3'"}},
        {"> replaces >=", "Количество", {{">=", "1"}, {">", "2"}}, {"Sales.Qty >'2'"}},
        {"<> replaces an equality", "Количество", {{"=", "5"}, {"<>", "3"}}, {"Sales.Qty <>'3'"}},
        {"= replaces NOT LIKE", "Продукт", {{"<>", "a%"}, {"=", "x"}}, {"Sales.Product ='x'"}},
        {"NOT LIKE replaces nothing",
         "Продукт",
         {{"<>", "b"}, {"<>", "a%"}},
         {"Sales.Product <>'b'", "Sales.Product NOT LIKE 'a%'"}},
    };
    TSpravkaForm* window = OpenWindow();
    for (const Case& c : cases) {
        AddSubject(window, QStringLiteral("Продажби"));
        for (const auto& [op, value] : c.Steps)
            AddCondition(window, c.Column, op, value);
        const TInquiry* inquiry = window->Inquiry;
        EXPECT_EQ(inquiry->Relations, c.Relations) << c.Why;
        // The four lists stay parallel.
        EXPECT_EQ(inquiry->RelationsBG.size(), c.Relations.size()) << c.Why;
        EXPECT_EQ(inquiry->RelationsFunc.size(), c.Relations.size()) << c.Why;
        EXPECT_EQ(inquiry->RelationsLPart.size(), c.Relations.size()) << c.Why;
    }
}

TEST_F(InquiryFixture, GroupingAndOrderingLists) {
    struct Case {
        const char* Why;
        std::function<void(InquiryFixture*, TSpravkaForm*)> Steps;
        QStringList GroupBox;
        QStringList OrderBoxBG;
    } const cases[] = {
        {"grouping twice moves the column to the end, once",
         [](InquiryFixture* f, TSpravkaForm* w) {
             for (const char* column : {"Продукт", "Фактура", "Продукт"}) {
                 f->ClickColumn(w, QString::fromUtf8(column));
                 f->Press(w->btGroup);
             }
         },
         {Quoted("Фактура"), Quoted("Продукт")},
         {"Фактура ->", "Продукт ->"}},
        {"descending replaces ascending, others keep their places",
         [](InquiryFixture* f, TSpravkaForm* w) {
             f->ClickColumn(w, "Продукт");
             f->Press(w->btSortAsc);
             f->ClickColumn(w, "Количество");
             f->Press(w->btSortAsc);
             f->ClickColumn(w, "Продукт");
             f->Press(w->btSortDesc);
         },
         {},
         {"Количество ->", "Продукт <-"}},
        {"a display name with blanks is cut at its last blank only",
         [](InquiryFixture* f, TSpravkaForm* w) {
             f->ClickColumn(w, "Дата на фактура");
             f->Press(w->btSortAsc);
             f->Press(w->btSortDesc);
         },
         {},
         {"Дата на фактура <-"}},
        {"removing a grouping leaves its ordering",
         [](InquiryFixture* f, TSpravkaForm* w) {
             f->ClickColumn(w, "Продукт");
             f->Press(w->btGroup);
             w->GroupBoxBG->setCurrentRow(0);
             QTest::keyClick(w->GroupBoxBG, Qt::Key_Delete);
         },
         {},
         {"Продукт ->"}},
        {"double-click removes an ordering",
         [](InquiryFixture* f, TSpravkaForm* w) {
             f->ClickColumn(w, "Продукт");
             f->Press(w->btSortAsc);
             f->ClickColumn(w, "Фактура");
             f->Press(w->btSortAsc);
             w->OrderBoxBG->setCurrentRow(0);
             w->OrderBoxBGDblClick();
         },
         {},
         {"Фактура ->"}},
    };
    TSpravkaForm* window = OpenWindow();
    for (const Case& c : cases) {
        AddSubject(window, QStringLiteral("Продажби"));
        c.Steps(this, window);
        const TInquiry* inquiry = window->Inquiry;
        EXPECT_EQ(inquiry->GroupBox, c.GroupBox) << c.Why;
        EXPECT_EQ(inquiry->GroupBoxBG.size(), c.GroupBox.size()) << c.Why;
        EXPECT_EQ(inquiry->OrderBoxBG, c.OrderBoxBG) << c.Why;
        EXPECT_EQ(inquiry->OrderBox.size(), c.OrderBoxBG.size()) << c.Why;
        EXPECT_EQ(inquiry->OrderBoxFunc, inquiry->OrderBox) << c.Why;
    }
}

// What a composed statement looks like, line by line.
TEST_F(InquiryFixture, ComposedStatements) {
    const QString sales =
        QStringLiteral("SELECT Sales.InvNo \"Фактура\", Sales.Product \"Продукт\", "
                       "Sales.Qty \"Количество\"");
    struct Case {
        const char* Why;
        QString Subject;
        std::function<void(InquiryFixture*, TSpravkaForm*)> Steps;
        QStringList Sql;
    } const cases[] = {
        {"an ordering on an unchosen column selects it",
         "Продажби",
         [](InquiryFixture* f, TSpravkaForm* w) {
             f->ClickColumn(w, "Дата на фактура");
             f->Press(w->btSortAsc);
         },
         {"SELECT Sales.InvNo \"Фактура\", Sales.InvDate \"Дата на фактура\", Sales.Product "
          "\"Продукт\", Sales.Qty \"Количество\"",
          "FROM Sales", "ORDER BY \"Дата на фактура\" ASC"}},
        {"grouped: only grouped and aggregate columns, an ungrouped ordering dropped",
         "Продажби",
         [](InquiryFixture* f, TSpravkaForm* w) {
             f->ClickColumn(w, "Фактура");
             f->Press(w->btSortDesc);
             f->ClickColumn(w, "Продукт");
             f->Press(w->btGroup);
         },
         {"SELECT Sales.Product \"Продукт\", SUM(Sales.Qty) \"Количество\"", "FROM Sales",
          "GROUP BY \"Продукт\"", "ORDER BY \"Продукт\" ASC"}},
        {"a grouped unchosen column is selected, but loses its ordering",
         "Продажби",
         [](InquiryFixture* f, TSpravkaForm* w) {
             f->ClickColumn(w, "Продукт");
             f->Press(w->btGroup);
             f->ClickColumn(w, "Дата на фактура");
             f->Press(w->btGroup);
         },
         {"SELECT Sales.InvDate \"Дата на фактура\", Sales.Product \"Продукт\", SUM(Sales.Qty) "
          "\"Количество\"",
          "FROM Sales", "GROUP BY \"Продукт\"", ",\"Дата на фактура\"",
          "ORDER BY \"Продукт\" ASC"}},
        {"an aggregate condition goes to HAVING and adds the aggregate",
         "Продажби",
         [](InquiryFixture* f, TSpravkaForm* w) {
             f->ClickColumn(w, "Продукт");
             f->Press(w->btGroup);
             f->AddCondition(w, "Стойност", ">=", "20");
             f->AddCondition(w, "Продукт", "<>", "Сливи");
         },
         {"SELECT Sales.Product \"Продукт\", SUM(Sales.Qty) \"Количество\",SUM(Qty*Price) "
          "\"Стойност\"",
          "FROM Sales", "WHERE Sales.Product <>'Сливи'", "GROUP BY \"Продукт\"",
          "HAVING SUM(Qty*Price) >='20'", "ORDER BY \"Продукт\" ASC"}},
        {"without grouping an aggregate column's condition stays in WHERE",
         "Продажби",
         [](InquiryFixture* f, TSpravkaForm* w) {
             f->AddCondition(w, "Количество", ">", "4");
             f->AddCondition(w, "Количество", "<", "9");
         },
         {sales, "FROM Sales", "WHERE Sales.Qty >'4' AND Sales.Qty <'9'"}},
        {"two joins to one table: a numbered alias, no blanks in FROM; a later condition on the "
         "first subject keeps its own table",
         "Продажби",
         [](InquiryFixture* f, TSpravkaForm* w) {
             f->AddCondition(w, "Клиент", "=", "");
             f->AddCondition(w, "Клиент", "=", "");
             f->AddCondition(w, "Количество", ">", "4");
         },
         {sales, "FROM Sales,Customers,Customers Customers1",
          "WHERE Sales.Customer = Customers.CustNo AND Sales.Customer = Customers1.CustNo AND "
          "Sales.Qty >'4'"}},
        {"hidden columns are selected and their default conditions kept",
         "Архив",
         [](InquiryFixture* f, TSpravkaForm* w) { f->AddCondition(w, "Фактура", ">", "0"); },
         {"SELECT Sales.InvNo \"Фактура\", Sales.Qty \"Количество\", Sales.Deleted \"Изтрит\"",
          "FROM Sales", "WHERE Sales.InvNo >'0' AND Sales.Deleted ='0'"}},
        {"a subject name with an apostrophe finds its hidden columns",
         "Клиент's",
         [](InquiryFixture*, TSpravkaForm*) {},
         {"SELECT Customers.Name \"Име\", Customers.City \"Град\"", "FROM Customers"}},
        {"a variable is selected by its bare name, never filtered",
         "Период",
         [](InquiryFixture* f, TSpravkaForm* w) { f->AddCondition(w, "Минимум", "=", "4"); },
         {"SELECT kzmMinQty \"Минимум\", Sales.Product \"Продукт\", Sales.Qty \"Количество\", "
          "kzmMaxQty \"Максимум\"",
          "FROM Sales"}},
    };
    TSpravkaForm* window = OpenWindow();
    for (const Case& c : cases) {
        Messages.clear();
        // A join leaves only the related subjects in the list.
        window->Inquiry->OpenSubjectList();
        AddSubject(window, c.Subject);
        c.Steps(this, window);
        window->btSpravkaClick(window->btSpravka);
        EXPECT_EQ(Sql(window), c.Sql) << c.Why;
        EXPECT_TRUE(window->ReportForm->qrDATA->Active()) << c.Why;
        EXPECT_TRUE(Messages.empty())
            << c.Why << " " << (Messages.empty() ? "" : Messages[0].Text.toStdString());
        EXPECT_FALSE(window->Inquiry->Modified) << c.Why;
    }
}

TEST_F(InquiryFixture, MandatoryConditions) {
    struct Case {
        const char* Why;
        QString Subject;
        QString Missing;
    } const cases[] = {
        {"a mandatory column", "Архив", Quoted("Фактура")},
        {"every variable needs a value", "Период", Quoted("Минимум")},
    };
    TSpravkaForm* window = OpenWindow();
    for (const Case& c : cases) {
        Messages.clear();
        AddSubject(window, c.Subject);
        window->btSpravkaClick(window->btSpravka);
        ASSERT_EQ(Messages.size(), 1u) << c.Why;
        EXPECT_EQ(Messages[0].Text, QStringLiteral("Липсва условие за: ") + c.Missing) << c.Why;
        EXPECT_EQ(Messages[0].Caption, QStringLiteral("Съобщение ")) << c.Why;
        EXPECT_EQ(Messages[0].Style, 16) << c.Why;
        // Nothing ran; the column grid shows the column that lacks it.
        EXPECT_FALSE(window->ReportForm->qrDATA->Active()) << c.Why;
        EXPECT_EQ(Quoted(window->Inquiry->qrCol->FieldByName("BGColName")->AsString()), c.Missing);
    }
}

TEST_F(InquiryFixture, NoChosenColumnIsReportedByTheServer) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    for (const char* column : {"Фактура", "Продукт", "Количество"})
        ClickColumn(window, QString::fromUtf8(column), 0);
    window->btSpravkaClick(window->btSpravka);
    EXPECT_EQ(Sql(window), QStringList({"SELECT ", "FROM Sales"}));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Системно съобщение"));
    EXPECT_EQ(Messages[0].Style, 16);
    EXPECT_FALSE(window->ReportForm->qrDATA->Active());
    EXPECT_TRUE(window->Inquiry->Modified);
}

TEST_F(InquiryFixture, ResultGridColumnsFromTheMetadata) {
    struct Case {
        const char* Why;
        QString Op;
        QStringList Titles;
    } const cases[] = {
        {"an equality fixes the column: no grid column", "=", {"Фактура", "Количество"}},
        {"a range keeps it", ">=", {"Фактура", "Продукт", "Количество"}},
    };
    TSpravkaForm* window = OpenWindow();
    for (const Case& c : cases) {
        AddSubject(window, QStringLiteral("Продажби"));
        AddCondition(window, QStringLiteral("Продукт"), c.Op, QStringLiteral("Круши"));
        window->btSpravkaClick(window->btSpravka);
        EXPECT_EQ(GridTitles(window), c.Titles) << c.Why;
        // The field stays in the result either way.
        EXPECT_NE(window->ReportForm->qrDATA->FindField(QStringLiteral("Продукт")), nullptr);
    }
    // Width, alignment and mask of Количество: width 60 as given, right
    // aligned, display width (60 + 7) div 8 = 8, mask as display format.
    TQuery* data = window->ReportForm->qrDATA;
    TField* qty = data->FieldByName(QStringLiteral("Количество"));
    EXPECT_EQ(window->DataGrid->ColumnWidth(2), 60);
    EXPECT_EQ(qty->Alignment(), TAlignment::Right);
    EXPECT_EQ(qty->DisplayWidth(), 8);
    EXPECT_EQ(qty->DisplayFormat(), QStringLiteral("0.00"));
    // An automatic width never exceeds 210 pixels.
    EXPECT_LE(window->DataGrid->ColumnWidth(0), 210);
    EXPECT_EQ(data->FieldByName(QStringLiteral("Фактура"))->DisplayWidth(),
              (window->DataGrid->ColumnWidth(0) + 7) / 8);
}

// End to end: the rows the database returns.
TEST_F(InquiryFixture, GroupedInquiryWithHavingReturnsTheGroups) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    ClickColumn(window, QStringLiteral("Продукт"));
    Press(window->btGroup);
    AddCondition(window, QStringLiteral("Стойност"), QStringLiteral(">="), QStringLiteral("20"));
    window->btSpravkaClick(window->btSpravka);
    // Круши 5*2 + 8*2 = 26, Ябълки 10*1.5 + 7*1.5 = 25.5, Сливи 9 is left out.
    EXPECT_EQ(GridTitles(window), QStringList({"Продукт", "Количество"}));
    EXPECT_EQ(ResultRows(window), QStringList({"Круши|13.00", "Ябълки|17.00"}));
}

TEST_F(InquiryFixture, JoinedInquiryFiltersOnTheRelatedTable) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Продажби"));
    AddCondition(window, QStringLiteral("Клиент"), QStringLiteral("="), QString());
    // The subject list now holds the related table's subjects.
    EXPECT_EQ(window->dsTableName->rowCount(), 2);
    EXPECT_EQ(window->Inquiry->RelationsBG,
              QStringList{QStringLiteral("Продажби.Клиент = Customers.CustNo")});
    // Pick the related subject and restrict it.
    TDataSource* subjects = window->dsTableName;
    for (int row = 0; row < subjects->rowCount(); ++row)
        if (subjects->index(row, 0).data().toString() == QStringLiteral("Клиенти"))
            QTest::mouseClick(window->ReportListBox->viewport(), Qt::LeftButton, {},
                              window->ReportListBox->visualRect(subjects->index(row, 0)).center());
    AddCondition(window, QStringLiteral("Град"), QStringLiteral("="), QStringLiteral("Варна"));
    window->btSpravkaClick(window->btSpravka);
    EXPECT_EQ(Sql(window), QStringList({"SELECT Customers.Name \"Име\"", "FROM Sales,Customers",
                                        "WHERE Sales.Customer = Customers.CustNo AND "
                                        "Customers.City ='Варна'"}));
    // Invoices 3 and 5 are Бета's, the one customer in Варна.
    EXPECT_EQ(ResultRows(window), QStringList({"Бета", "Бета"}));
}

TEST_F(InquiryFixture, VariableInquirySetsTheServerVariable) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Период"));
    // The hidden variable was set from its default, with no shown line.
    EXPECT_TRUE(window->Inquiry->Relations.isEmpty());
    EXPECT_TRUE(window->Inquiry->RelationsBG.isEmpty());
    EXPECT_EQ(ExecSqlValue(QStringLiteral("SELECT kzmMaxQty FROM DUMMY")).toString(),
              QStringLiteral("100"));

    AddCondition(window, QStringLiteral("Минимум"), QStringLiteral("="), QStringLiteral("7"));
    EXPECT_EQ(window->Inquiry->Relations, QStringList{"QN__kzm__ZP.kzmMinQty ='7'"});
    EXPECT_EQ(window->Inquiry->RelationsBG, QStringList{QStringLiteral("Минимум : 7")});
    // Setting it again replaces the condition.
    AddCondition(window, QStringLiteral("Минимум"), QStringLiteral("="), QStringLiteral("8"));
    EXPECT_EQ(window->Inquiry->RelationsBG, QStringList{QStringLiteral("Минимум : 8")});
    AddCondition(window, QStringLiteral("Количество"), QStringLiteral(">"), QStringLiteral("6"));

    window->btSpravkaClick(window->btSpravka);
    // The variable column has an equality, so no grid column; the hidden
    // variable is no chosen column.
    EXPECT_EQ(GridTitles(window), QStringList({"Продукт", "Количество"}));
    EXPECT_EQ(ResultRows(window), QStringList({"Ябълки|10", "Ябълки|7", "Круши|8"}));
    EXPECT_EQ(window->ReportForm->qrDATA->FieldByName(QStringLiteral("Минимум"))->AsString(),
              QStringLiteral("8"));
}

TEST_F(InquiryFixture, PreRunScriptRunsBeforeTheInquiry) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Архив"));
    AddCondition(window, QStringLiteral("Фактура"), QStringLiteral(">"), QStringLiteral("1"));
    window->btSpravkaClick(window->btSpravka);
    EXPECT_EQ(ExecSqlValue(QStringLiteral("SELECT COUNT(*) FROM RunLog")).toInt(), 1);
    // Invoice 4 is deleted: the hidden default condition keeps it out.
    EXPECT_EQ(window->dsData->rowCount(), 3);

    // A failing script is reported by the script runner alone; nothing runs.
    ExecDirect(QStringLiteral("DROP TABLE RunLog"));
    Messages.clear();
    window->btSpravkaClick(window->btSpravka);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("Грешка"));
    EXPECT_FALSE(window->ReportForm->qrDATA->Active());
}

TEST_F(InquiryFixture, AnotherSubjectDropsTheHiddenConditionsOfTheLast) {
    TSpravkaForm* window = OpenWindow();
    AddSubject(window, QStringLiteral("Архив"));
    EXPECT_EQ(window->Inquiry->HiddenConditions, QStringList{"Sales.Deleted ='0'"});
    Press(window->btClear);
    AddSubject(window, QStringLiteral("Клиенти"));
    EXPECT_TRUE(window->Inquiry->HiddenConditions.isEmpty());
    window->btSpravkaClick(window->btSpravka);
    EXPECT_EQ(Sql(window), QStringList({"SELECT Customers.Name \"Име\"", "FROM Customers"}));
}

} // namespace
