// Data sets built in code: navigation, bookmarks, filters, locate, field
// values and display texts, and the signals attached controls follow.

#include "DataSource.h"
#include "DbTestUtil.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// Five goods: a text, a whole, a floating and a date column, one null price.
std::unique_ptr<TDataSet> Goods() {
    auto set = std::make_unique<TDataSet>();
    set->AddField(QStringLiteral("Name"), TFieldType::String);
    set->AddField(QStringLiteral("Qty"), TFieldType::Integer);
    set->AddField(QStringLiteral("Price"), TFieldType::Float);
    set->AddField(QStringLiteral("SaleDate"), TFieldType::Date);
    set->AppendRow({u"Хляб"_s, 10, 1.2, QDate(2005, 2, 1)});
    set->AppendRow({u"мляко"_s, 3, 2.5, QDate(2005, 3, 7)});
    set->AppendRow({u"Мляко"_s, 7, QVariant(), QDate(2004, 12, 31)});
    set->AppendRow({u"Sugar"_s, 0, 1234567.5, QVariant()});
    set->AppendRow({u"__Options__"_s, 1, 0.1, QDate(2006, 1, 1)});
    set->Open();
    return set;
}

} // namespace

TEST(DataSet, NavigationFollowsBofAndEof) {
    auto set = Goods();
    EXPECT_EQ(set->RecordCount(), 5);
    // Freshly opened: on the first row, Bof set, Eof not.
    EXPECT_TRUE(set->Bof());
    EXPECT_FALSE(set->Eof());
    EXPECT_EQ(set->RecNo(), 1);
    int seen = 0;
    for (set->First(); !set->Eof(); set->Next())
        ++seen;
    EXPECT_EQ(seen, 5);
    // Next past the end keeps the last row current.
    EXPECT_EQ(set->RecNo(), 5);
    set->Prior();
    EXPECT_EQ(set->RecNo(), 4);
    EXPECT_FALSE(set->Eof());
    set->MoveBy(-10); // clamps at the first row and sets Bof
    EXPECT_EQ(set->RecNo(), 1);
    EXPECT_TRUE(set->Bof());
    set->SetRecNo(3);
    EXPECT_EQ(set->FieldByName(u"name"_s)->AsString(), u"Мляко"_s);
    set->Last();
    EXPECT_TRUE(set->Eof());
    EXPECT_EQ(set->RecNo(), 5);
}

TEST(DataSet, EmptySetIsBofAndEof) {
    TDataSet set;
    set.AddField(u"A"_s, TFieldType::String);
    set.Open();
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_TRUE(set.Bof());
    EXPECT_TRUE(set.Eof());
    EXPECT_EQ(set.RecNo(), 0);
    EXPECT_TRUE(set.Fields(0)->IsNull());
    // Rows appended to an open set show at once.
    set.AppendRow({u"x"_s});
    EXPECT_FALSE(set.Eof());
    EXPECT_EQ(set.Fields(0)->AsString(), u"x"_s);
}

TEST(DataSet, FieldsByNameAndPosition) {
    auto set = Goods();
    EXPECT_EQ(set->FieldCount(), 4);
    EXPECT_EQ(set->FieldByName(u"PRICE"_s), set->Fields(2)); // names ignore case
    EXPECT_EQ(set->FindField(u"Missing"_s), nullptr);
    EXPECT_THROW(set->FieldByName(u"Missing"_s), EDatabaseError);
    EXPECT_THROW(set->Fields(4), EDatabaseError);
    EXPECT_EQ(set->FieldNames(), QStringList({u"Name"_s, u"Qty"_s, u"Price"_s, u"SaleDate"_s}));
}

TEST(DataSet, ValuesKeepNullDistinct) {
    auto set = Goods();
    set->SetRecNo(3);
    const TField* price = set->FieldByName(u"Price"_s);
    EXPECT_TRUE(price->IsNull());
    EXPECT_FALSE(price->AsVariant().isValid());
    EXPECT_EQ(price->AsString(), QString());
    EXPECT_EQ(price->AsFloat(), 0.0);
    const TField* qty = set->FieldByName(u"Qty"_s);
    EXPECT_EQ(qty->AsVariant().metaType().id(), QMetaType::LongLong);
    EXPECT_EQ(qty->AsInteger(), 7);
    set->First();
    EXPECT_EQ(price->AsVariant().metaType().id(), QMetaType::Double);
    EXPECT_EQ(set->FieldByName(u"SaleDate"_s)->AsDateTime(), QDate(2005, 2, 1).startOfDay());
    // A text that is no number raises the conversion error.
    EXPECT_THROW(set->FieldByName(u"Name"_s)->AsInteger(), EConvertError);
}

TEST(DataSet, DisplayTextsWithAndWithoutFormat) {
    auto set = Goods();
    TField* price = set->FieldByName(u"Price"_s);
    TField* date = set->FieldByName(u"SaleDate"_s);
    struct Row {
        int RecNo;
        const char16_t* PriceFormat;
        const char16_t* DateFormat;
        const char16_t* Price;
        const char16_t* Date;
    };
    const Row rows[] = {
        // No format: shortest exact number, date as DD.MM.YYYY.
        {1, u"", u"", u"1.2", u"01.02.2005"},
        // Formats apply to numeric and date fields.
        {1, u"0.00", u"dd mmm yyyy", u"1.20", u"01 фев 2005"},
        {4, u"### ### ##0.00", u"", u"1 234 567.50", u""}, // null date shows nothing
        {3, u"0.00", u"yyyy", u"", u"2004"},               // null price shows nothing
        {5, u"", u"", u"0.1", u"01.01.2006"},
    };
    for (const Row& r : rows) {
        set->SetRecNo(r.RecNo);
        price->SetDisplayFormat(QString::fromUtf16(r.PriceFormat));
        date->SetDisplayFormat(QString::fromUtf16(r.DateFormat));
        EXPECT_EQ(price->DisplayText(), QString::fromUtf16(r.Price)) << r.RecNo;
        EXPECT_EQ(date->DisplayText(), QString::fromUtf16(r.Date)) << r.RecNo;
        EXPECT_EQ(date->DisplayTextAt(r.RecNo - 1), date->DisplayText());
    }
    // A format on a text field is ignored.
    TField* name = set->FieldByName(u"Name"_s);
    name->SetDisplayFormat(u"0.00"_s);
    set->First();
    EXPECT_EQ(name->DisplayText(), u"Хляб"_s);
}

TEST(DataSet, DateTimeKindsDisplay) {
    TDataSet set;
    set.AddField(u"Stamp"_s, TFieldType::DateTime);
    set.AddField(u"At"_s, TFieldType::Time);
    set.AppendRow({QDateTime(QDate(2005, 2, 1), QTime(14, 5)), QTime(9, 30, 15)});
    set.AppendRow({QDateTime(QDate(2005, 2, 1), QTime(0, 0)), u"23:59:00"_s});
    // Stored as program-form text: still read as a date.
    set.AppendRow({u"07.03.2005"_s, QVariant()});
    set.Open();
    const QStringList expected[] = {{u"01.02.2005 14:05"_s, u"09:30"_s},
                                    {u"01.02.2005"_s, u"23:59"_s}, // midnight is not shown
                                    {u"07.03.2005"_s, u""_s}};
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(set.Fields(0)->DisplayTextAt(r), expected[r][0]) << r;
        EXPECT_EQ(set.Fields(1)->DisplayTextAt(r), expected[r][1]) << r;
    }
    EXPECT_EQ(set.Fields(1)->AsVariant().metaType().id(), QMetaType::QTime);
}

// Writers read a value's text as UTF-8 bytes without a QString; for every
// kind of field and value, with and without a display format, they must be
// the bytes of the QString the grid and the report show.
TEST(DataSet, Utf8TextsAreTheDisplayTextsBytes) {
    TDataSet set;
    const struct {
        const char* Name;
        TFieldType Type;
        const char16_t* Format;
    } fields[] = {
        {"Whole", TFieldType::Integer, u""},
        {"WholeShown", TFieldType::Integer, u"### ##0"},
        {"Money", TFieldType::Currency, u"### ### ##0.00"},
        {"Float", TFieldType::Float, u""},
        {"Flag", TFieldType::Boolean, u""},
        {"Day", TFieldType::Date, u""},
        {"DayShown", TFieldType::Date, u"dd mmm yyyy"},
        {"Stamp", TFieldType::DateTime, u""},
        {"At", TFieldType::Time, u""},
        {"Name", TFieldType::String, u""},
        {"Sum", TFieldType::Aggregate, u"0.00"},
        {"Raw", TFieldType::Blob, u""},
    };
    for (const auto& f : fields)
        set.AddField(QString::fromLatin1(f.Name), f.Type)
            ->SetDisplayFormat(QString::fromUtf16(f.Format));
    const QVariantList rows[] = {
        {7, 1234567, 1234.5, 0.1 + 0.2, true, QDate(2005, 2, 1), QDate(2024, 12, 31),
         QDateTime(QDate(2005, 2, 1), QTime(14, 5)), QTime(9, 30, 15), u"Хляб и сол"_s, 12.345,
         QByteArray("\x01\x02")},
        {-9223372036854775807LL, -5, -0.01, 1e20, false, u"07.03.2005"_s, QVariant(),
         QDateTime(QDate(2005, 2, 1), QTime(0, 0)), u"23:59:00"_s, u"Ωμέγα €"_s, 3,
         QVariant()},
        {QVariant(), 0, 0.0, -0.0, QVariant(), u"не е дата"_s, u"2020-02-29"_s, QVariant(),
         QVariant(), QString(), u"текст"_s, QByteArray()},
        // A text in a number column, a whole number in a text column.
        {0, u"12"_s, u"n/a"_s, 2.5e-7, 1, QVariant(), u"31.12.1999"_s, u"1999-12-31 23:59:59"_s,
         u"00:00"_s, 42, QVariant(), QByteArray("ok")},
    };
    for (const QVariantList& row : rows)
        set.AppendRow(row);
    set.Open();
    std::string scratch;
    for (set.First(); !set.Eof(); set.Next()) {
        for (int c = 0; c < set.FieldCount(); ++c) {
            const TField* field = set.Fields(c);
            SCOPED_TRACE(field->FieldName().toStdString() + " row " +
                         std::to_string(set.RecNo()));
            for (const bool display : {false, true}) {
                const QString text = display ? field->DisplayText() : field->AsString();
                const std::string_view bytes = field->CurrentUtf8(display, scratch);
                EXPECT_EQ(std::string(bytes), text.toStdString()) << "display " << display;
            }
        }
    }
}

TEST(DataSet, Filters) {
    struct Row {
        const char16_t* Filter;
        int Count;
    };
    const Row rows[] = {
        // The inquiry window's own column filter.
        {u"Qty<>1 AND Name<>'__Options__'", 4},
        {u"Qty >= 3 AND Qty < 10", 2},
        {u"NOT (Qty >= 3)", 2},
        {u"Qty = 0 OR Qty = 10", 2},
        // Texts compare with case: "мляко" and "Мляко" differ.
        {u"Name = 'Мляко'", 1},
        {u"Name = 'Мл*'", 1}, // a trailing * matches by prefix
        // A null price differs from every value and is not less than any.
        {u"Price <> 1", 5},
        {u"Price < 1", 1},
        {u"Price IS NULL", 1},
        {u"SaleDate >= '01.01.2005'", 3}, // program-form date literal
        {u"SaleDate < '2005-01-01'", 1},  // ISO literal
        {u"[Qty] = -0", 1},
        {u"", 5}, // an empty filter lets everything through
    };
    auto set = Goods();
    set->SetFiltered(true);
    for (const Row& r : rows) {
        set->SetFilter(QString::fromUtf16(r.Filter));
        EXPECT_EQ(set->RecordCount(), r.Count) << set->Filter().toStdString();
        EXPECT_EQ(set->RecNo(), r.Count ? 1 : 0);
    }
    set->SetFilter(u"Qty > 5"_s);
    set->SetFiltered(false);
    EXPECT_EQ(set->RecordCount(), 5);
}

TEST(DataSet, BadFiltersRaiseAndKeepThePreviousOne) {
    const char16_t* bad[] = {
        u"Qty >",        // missing operand
        u"Qty = 'open",  // unterminated text
        u"Nope = 1",     // unknown field
        u"(Qty = 1",     // missing bracket
        u"Qty = 1 Name", // trailing garbage
    };
    auto set = Goods();
    set->SetFilter(u"Qty > 5"_s);
    set->SetFiltered(true);
    for (const char16_t* filter : bad) {
        EXPECT_THROW(set->SetFilter(QString::fromUtf16(filter)), EDatabaseError);
        EXPECT_EQ(set->Filter(), u"Qty > 5"_s);
        EXPECT_EQ(set->RecordCount(), 2);
    }
}

TEST(DataSet, LocateIgnoresCaseOfCyrillic) {
    auto set = Goods();
    EXPECT_TRUE(set->Locate(u"Name"_s, u"МЛЯКО"_s));
    EXPECT_EQ(set->RecNo(), 2); // the first of the two matching rows
    EXPECT_FALSE(set->Locate(u"Name"_s, u"МЛЯКО"_s, false));
    EXPECT_EQ(set->RecNo(), 2); // a failed locate stays
    EXPECT_TRUE(set->Locate(u"Qty"_s, u"7"_s));
    EXPECT_EQ(set->RecNo(), 3);
    EXPECT_TRUE(set->Locate(u"Price"_s, u"2.50"_s)); // numbers compare by value
    EXPECT_EQ(set->RecNo(), 2);
    EXPECT_THROW(set->Locate(u"Missing"_s, u"x"_s), EDatabaseError);
    // Locate sees the visible rows only.
    set->SetFilter(u"Qty > 5"_s);
    set->SetFiltered(true);
    EXPECT_FALSE(set->Locate(u"Qty"_s, u"3"_s));
}

TEST(DataSet, BookmarksSurviveFilterChanges) {
    auto set = Goods();
    set->SetRecNo(3);
    const TBookmark mark = set->GetBookmark();
    ASSERT_TRUE(mark.IsValid());
    set->SetFilter(u"Qty > 5"_s);
    set->SetFiltered(true);
    EXPECT_TRUE(set->BookmarkValid(mark));
    set->GotoBookmark(mark);
    EXPECT_EQ(set->RecNo(), 2); // second visible row
    EXPECT_EQ(set->FieldByName(u"Qty"_s)->AsInteger(), 7);
    // A row the filter hides cannot be reached.
    set->SetFilter(u"Qty < 5"_s);
    EXPECT_FALSE(set->BookmarkValid(mark));
    EXPECT_THROW(set->GotoBookmark(mark), EDatabaseError);
    EXPECT_THROW(set->GotoBookmark(TBookmark()), EDatabaseError);
}

TEST(DataSet, DisabledControlsHearOnceOnEnable) {
    auto set = Goods();
    QSignalSpy data(set.get(), &TDataSet::DataChanged);
    QSignalSpy record(set.get(), &TDataSet::RecordChanged);
    set->DisableControls();
    set->DisableControls();
    for (set->First(); !set->Eof(); set->Next()) {
    }
    set->SetFiltered(true);
    set->SetFilter(u"Qty > 1"_s);
    EXPECT_EQ(data.count(), 0);
    EXPECT_EQ(record.count(), 0);
    set->EnableControls(); // still disabled once
    EXPECT_TRUE(set->ControlsDisabled());
    EXPECT_EQ(record.count(), 0);
    set->EnableControls();
    EXPECT_FALSE(set->ControlsDisabled());
    EXPECT_EQ(data.count(), 1);
    EXPECT_EQ(record.count(), 1);
    set->Next();
    EXPECT_EQ(record.count(), 2);
}

TEST(DataSource, ModelShowsFormattedCellsAndFollowsTheRecord) {
    auto set = Goods();
    TDataSource source;
    source.SetDataSet(set.get());
    EXPECT_EQ(source.rowCount(), 5);
    EXPECT_EQ(source.columnCount(), 4);
    EXPECT_EQ(source.headerData(1, Qt::Horizontal).toString(), u"Qty"_s);
    set->FieldByName(u"Price"_s)->SetDisplayFormat(u"0.00"_s);
    EXPECT_EQ(source.data(source.index(0, 2)).toString(), u"1.20"_s);
    // Numbers lean right by default.
    EXPECT_EQ(source.data(source.index(0, 1), Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
              int(Qt::AlignRight));

    // Chosen columns: a missing field gives an empty column, not a crash.
    source.SetColumns({{u"Price"_s, u"Цена"_s, 80, TAlignment::Center, true, true},
                       {u"Gone"_s, u"Няма"_s, 40, TAlignment::Left, true, true}});
    EXPECT_EQ(source.columnCount(), 2);
    EXPECT_EQ(source.headerData(0, Qt::Horizontal).toString(), u"Цена"_s);
    EXPECT_EQ(source.FieldOfColumn(1), nullptr);
    EXPECT_FALSE(source.data(source.index(0, 1)).isValid());

    QSignalSpy reset(&source, &QAbstractItemModel::modelReset);
    QSignalSpy row(&source, &TDataSource::CurrentRowChanged);
    set->SetRecNo(4);
    ASSERT_EQ(row.count(), 1);
    EXPECT_EQ(row.at(0).at(0).toInt(), 3);
    set->SetFiltered(true);
    set->SetFilter(u"Qty > 5"_s);
    EXPECT_GE(reset.count(), 1);
    EXPECT_EQ(source.rowCount(), 2);
    set->Close();
    EXPECT_EQ(source.rowCount(), 0);
}
