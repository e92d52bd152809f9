#pragma once
// What an inquiry shows to the user, as seen from its operations: the
// operator box, the value box and its drop-down items, the title edit, the
// window caption, the shown lists and the result grid. The inquiry window
// implements it with widgets; TPlainInquiryView keeps the same values in
// memory for runs without a window.

#include <QString>
#include <QStringList>

class TField;

class TInquiryView {
public:
    virtual ~TInquiryView() = default;

    // cbSign: the operator box.
    virtual QString SignText() const = 0;
    virtual void SetSignText(const QString& text) = 0;

    // cbFilter: the value box (one line) and its drop-down items, which the
    // inquiry hands over already sorted.
    virtual QString FilterText() const = 0;
    virtual void SetFilterText(const QString& text) = 0;
    virtual QStringList FilterItems() const = 0;
    virtual void SetFilterItems(const QStringList& items) = 0;
    // Highlights an item of the drop-down list without changing the text.
    virtual void SetFilterItemIndex(int index) = 0;
    // Selects the whole text of the value box, ready to be typed over.
    virtual void SelectFilterText() = 0;

    // edTitle and the window caption.
    virtual QString TitleText() const = 0;
    virtual void SetTitleText(const QString& text) = 0;
    virtual void SetCaption(const QString& text) = 0;

    // One of the shown lists (SelectedTablesBG, RelationsBG, GroupBoxBG,
    // OrderBoxBG) or the column data changed.
    virtual void ListsChanged() = 0;
    // The column grid puts its cursor into the column of the named field.
    virtual void SelectColumnField(const QString& fieldName) = 0;
    // A run started by the "Справка" button returned rows: fold the
    // condition panel and bring the result grid forward.
    virtual void ShowResults() = 0;
    // Automatic width in pixels of a result column showing the field.
    virtual int DefaultColumnWidth(TField* field, const QString& title) const = 0;
};

// A view without widgets: keeps the texts and items in memory. Used when an
// inquiry is composed or run without showing anything.
class TPlainInquiryView : public TInquiryView {
public:
    QString Sign = QStringLiteral("=");
    QString Filter;
    QStringList Items;
    int ItemIndex = -1;
    QString Title;
    QString Caption;
    int ShowResultsCount = 0;

    QString SignText() const override { return Sign; }
    void SetSignText(const QString& text) override { Sign = text; }
    QString FilterText() const override { return Filter; }
    void SetFilterText(const QString& text) override { Filter = text; }
    QStringList FilterItems() const override { return Items; }
    void SetFilterItems(const QStringList& items) override {
        Items = items;
        ItemIndex = -1;
    }
    void SetFilterItemIndex(int index) override { ItemIndex = index; }
    void SelectFilterText() override {}
    QString TitleText() const override { return Title; }
    void SetTitleText(const QString& text) override { Title = text; }
    void SetCaption(const QString& text) override { Caption = text; }
    void ListsChanged() override {}
    void SelectColumnField(const QString&) override {}
    void ShowResults() override { ++ShowResultsCount; }
    int DefaultColumnWidth(TField* field, const QString& title) const override;
};
