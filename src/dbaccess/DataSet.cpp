#include "DataSet.h"

#include "DataFilter.h"
#include "DbValues.h"
#include "DisplayFormat.h"
#include "RowStore.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

using DbValues::TDateForm;

namespace {

QString NotUniDirectionalMessage() {
    return QStringLiteral("Operation not allowed on a unidirectional dataset");
}

using DbValues::TDateParts;

// Reads a stored date text, ISO or the program's own form.
TDateForm ParseStoredDate(std::string_view bytes, TDateParts* value) {
    TDateForm form = DbValues::ParseIso(bytes, value);
    if (form == TDateForm::None)
        form = DbValues::ParseProgramDate(bytes, value);
    return form;
}

bool IsTextTrue(const QString& text, bool* ok) {
    const QString t = text.trimmed().toLower();
    *ok = true;
    if (t == QLatin1String("true") || t == QLatin1String("t") || t == QLatin1String("yes") ||
        t == QLatin1String("y") || t == QLatin1String("1"))
        return true;
    if (t.isEmpty() || t == QLatin1String("false") || t == QLatin1String("f") ||
        t == QLatin1String("no") || t == QLatin1String("n") || t == QLatin1String("0"))
        return false;
    *ok = false;
    return false;
}

} // namespace

// ---------------------------------------------------------------- TField

// The display format's texts of the values a field showed last: a picture
// is worked out once per distinct value, and a column of a million rows
// holds a few thousand distinct dates or amounts. The table is direct
// mapped; a value whose slot another one took is simply formatted again.
struct TField::TPictureEntry {
    quint64 Key = 0;
    int Kind = 0; // 0: empty
    QString Text;
    QByteArray Utf8; // Text in UTF-8, made when first asked for
    bool HasUtf8 = false;
};

struct TField::TPictureCache {
    static constexpr int Bits = 12;
    std::vector<TPictureEntry> Entries = std::vector<TPictureEntry>(std::size_t(1) << Bits);
};

TField::TField(TDataSet* dataSet, int index, QString fieldName, TFieldType type)
    : Owner(dataSet), FieldIndex(index), Name(std::move(fieldName)), Type(type) {
    if (IsNumeric())
        Align = TAlignment::Right;
}

TField::~TField() = default;

void TField::SetDataType(TFieldType type) {
    Type = type;
    Pictures.reset();
}

void TField::SetDisplayFormat(const QString& format) {
    Format = format;
    Pictures.reset();
}

// The cache's entry of a value, identified by its kind and key, with the
// text make() gives for it (made only when the entry holds another value).
template <typename Make>
TField::TPictureEntry& TField::PictureEntry(int kind, quint64 key, Make&& make) const {
    if (!Pictures)
        Pictures = std::make_unique<TPictureCache>();
    const std::size_t slot =
        std::size_t(((key + quint64(kind)) * 0x9E3779B97F4A7C15ull) >> (64 - TPictureCache::Bits));
    TPictureEntry& entry = Pictures->Entries[slot];
    if (entry.Kind != kind || entry.Key != key) {
        entry.Text = make();
        entry.Kind = kind;
        entry.Key = key;
        entry.HasUtf8 = false;
    }
    return entry;
}

template <typename Make> QString TField::Picture(int kind, quint64 key, Make&& make) const {
    return PictureEntry(kind, key, std::forward<Make>(make)).Text;
}

// The same text in UTF-8, made once per entry.
template <typename Make>
std::string_view TField::PictureUtf8(int kind, quint64 key, Make&& make) const {
    TPictureEntry& entry = PictureEntry(kind, key, std::forward<Make>(make));
    if (!entry.HasUtf8) {
        entry.Utf8 = entry.Text.toUtf8();
        entry.HasUtf8 = true;
    }
    return {entry.Utf8.constData(), std::size_t(entry.Utf8.size())};
}

bool TField::IsNumeric() const {
    return IsWhole() || IsFloat();
}

bool TField::IsFloat() const {
    return Type == TFieldType::Float || Type == TFieldType::Currency || Type == TFieldType::BCD;
}

bool TField::IsWhole() const {
    return Type == TFieldType::Integer || Type == TFieldType::SmallInt || Type == TFieldType::Word;
}

bool TField::IsDateTime() const {
    return Type == TFieldType::Date || Type == TFieldType::Time || Type == TFieldType::DateTime;
}

bool TField::IsAggregate() const {
    return Computed || Type == TFieldType::Aggregate;
}

int TField::DisplayWidth() const {
    if (Width > 0)
        return Width;
    if (AutoWidth >= 0)
        return AutoWidth;
    int width = 10;
    switch (Type) {
    case TFieldType::String:
    case TFieldType::Memo:
    case TFieldType::Unknown:
    case TFieldType::Aggregate:
        if (DeclaredSize > 0) {
            width = DeclaredSize;
        } else {
            // The longest text among the first rows held, so that a grid
            // column fits its values without a pass over a million rows.
            const TCellTable& cells = Owner->Data->Cells;
            const qint64 rows = std::min<qint64>(cells.RowCount(), 10000);
            int longest = 0;
            for (qint64 r = 0; r < rows; ++r) {
                switch (cells.Kind(r, FieldIndex)) {
                case TCellKind::Text:
                    longest = std::max(longest, cells.TextLength(r, FieldIndex));
                    break;
                case TCellKind::Int:
                case TCellKind::Float:
                    longest = std::max(longest, int(TextOfStoredRow(r).size()));
                    break;
                default:
                    break;
                }
                if (longest >= 255)
                    break;
            }
            width = longest > 0 ? std::min(longest, 255) : 20;
        }
        break;
    case TFieldType::Integer:
        width = 11;
        break;
    case TFieldType::SmallInt:
        width = 6;
        break;
    case TFieldType::Word:
    case TFieldType::Boolean:
    case TFieldType::Time:
        width = 5;
        break;
    case TFieldType::Date:
        width = 10;
        break;
    case TFieldType::DateTime:
        width = 16;
        break;
    default:
        width = 10;
        break;
    }
    AutoWidth = width;
    return width;
}

qint64 TField::StoreRow(int row) const {
    const TRowStore& d = *Owner->Data;
    return d.Active ? d.StoreRowOf(row) : -1;
}

qint64 TField::CurrentStoreRow() const {
    const TRowStore& d = *Owner->Data;
    return d.Active && d.Cur >= 0 ? d.StoreRowOf(d.Cur) : -1;
}

QDateTime TField::DateTimeOf(qint64 r, bool local) const {
    const TCellTable& cells = Owner->Data->Cells;
    if (r < 0 || r >= cells.RowCount() || cells.Kind(r, FieldIndex) != TCellKind::Text)
        return {};
    TDateParts value;
    if (ParseStoredDate(cells.Bytes(r, FieldIndex), &value) == TDateForm::None)
        return {};
    return local ? value.LocalDateTime() : value.PlainDateTime();
}

QVariant TField::ValueOfStoredRow(qint64 r) const {
    const TCellTable& cells = Owner->Data->Cells;
    if (r < 0 || r >= cells.RowCount())
        return {};
    const TCellKind kind = cells.Kind(r, FieldIndex);
    switch (kind) {
    case TCellKind::Null:
        return {};
    case TCellKind::Int:
        if (IsFloat())
            return QVariant(double(cells.Int(r, FieldIndex)));
        if (Type == TFieldType::Boolean)
            return QVariant(cells.Int(r, FieldIndex) != 0);
        if (Type == TFieldType::String || Type == TFieldType::Memo)
            return QVariant(QString::number(cells.Int(r, FieldIndex)));
        return QVariant(qlonglong(cells.Int(r, FieldIndex)));
    case TCellKind::Float:
        if (Type == TFieldType::String || Type == TFieldType::Memo)
            return QVariant(DbValues::FloatDisplay(cells.Float(r, FieldIndex)));
        return QVariant(cells.Float(r, FieldIndex));
    case TCellKind::Text:
        if (IsDateTime()) {
            TDateParts value;
            if (ParseStoredDate(cells.Bytes(r, FieldIndex), &value) != TDateForm::None) {
                if (Type == TFieldType::Time)
                    return QVariant(value.Time());
                return QVariant(value.LocalDateTime());
            }
        }
        if (Type == TFieldType::Blob) {
            const std::string_view bytes = cells.Bytes(r, FieldIndex);
            return QVariant(QByteArray(bytes.data(), qsizetype(bytes.size())));
        }
        return QVariant(cells.Text(r, FieldIndex));
    case TCellKind::Blob:
        return cells.Raw(r, FieldIndex);
    }
    return {};
}

QString TField::TextOfStoredRow(qint64 r) const {
    const TCellTable& cells = Owner->Data->Cells;
    if (r < 0 || r >= cells.RowCount())
        return {};
    switch (cells.Kind(r, FieldIndex)) {
    case TCellKind::Null:
        return {};
    case TCellKind::Int:
        if (Type == TFieldType::Boolean)
            return cells.Int(r, FieldIndex) ? QStringLiteral("True") : QStringLiteral("False");
        return QString::number(cells.Int(r, FieldIndex));
    case TCellKind::Float:
        return DbValues::FloatDisplay(cells.Float(r, FieldIndex));
    case TCellKind::Text:
        if (IsDateTime()) {
            TDateParts value;
            if (ParseStoredDate(cells.Bytes(r, FieldIndex), &value) != TDateForm::None) {
                if (Type == TFieldType::Date)
                    return DbValues::DateDisplay(value);
                if (Type == TFieldType::Time)
                    return DbValues::TimeDisplay(value);
                return DbValues::DateTimeDisplay(value);
            }
        }
        return cells.Text(r, FieldIndex);
    case TCellKind::Blob: {
        const std::string_view bytes = cells.Bytes(r, FieldIndex);
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }
    }
    return {};
}

QString TField::DisplayOf(qint64 r) const {
    const TCellTable& cells = Owner->Data->Cells;
    if (r < 0 || r >= cells.RowCount())
        return {};
    const TCellKind kind = cells.Kind(r, FieldIndex);
    if (kind == TCellKind::Null)
        return {};
    if (kind == TCellKind::Blob)
        return QStringLiteral("(BLOB)");
    if (!Format.isEmpty()) {
        if ((kind == TCellKind::Int || kind == TCellKind::Float) &&
            (IsNumeric() || IsAggregate())) {
            const double value = kind == TCellKind::Int ? double(cells.Int(r, FieldIndex))
                                                        : cells.Float(r, FieldIndex);
            quint64 bits;
            std::memcpy(&bits, &value, sizeof bits);
            return Picture(1, bits, [&] { return FormatFloatPicture(Format, value); });
        }
        if (kind == TCellKind::Text && (IsDateTime() || IsAggregate())) {
            TDateParts value;
            if (ParseStoredDate(cells.Bytes(r, FieldIndex), &value) != TDateForm::None)
                return Picture(2, quint64(value.Key()), [&] {
                    return FormatDateTimePicture(Format, value.PlainDateTime());
                });
        }
    }
    return TextOfStoredRow(r);
}

// Kinds of the cache's entries made here besides the display formats' (1
// numbers, 2 dates): the program's plain date, time and date-time texts.
constexpr int PlainDateKind = 3;

std::string_view TField::TextUtf8Of(qint64 r, std::string& scratch) const {
    const TCellTable& cells = Owner->Data->Cells;
    switch (cells.Kind(r, FieldIndex)) {
    case TCellKind::Null:
        return {};
    case TCellKind::Int: {
        if (Type == TFieldType::Boolean)
            return cells.Int(r, FieldIndex) ? std::string_view("True") : std::string_view("False");
        scratch.resize(24);
        const auto end =
            std::to_chars(scratch.data(), scratch.data() + scratch.size(), cells.Int(r, FieldIndex))
                .ptr;
        return {scratch.data(), std::size_t(end - scratch.data())};
    }
    case TCellKind::Float: {
        const double value = cells.Float(r, FieldIndex);
        scratch.resize(DbValues::FloatDisplayRoom);
        const int n = DbValues::FloatDisplayChars(value, scratch.data());
        if (n >= 0)
            return {scratch.data(), std::size_t(n)};
        const QByteArray text = DbValues::FloatDisplay(value).toUtf8();
        scratch.assign(text.constData(), std::size_t(text.size()));
        return scratch;
    }
    case TCellKind::Text:
        if (IsDateTime()) {
            TDateParts value;
            if (ParseStoredDate(cells.Bytes(r, FieldIndex), &value) != TDateForm::None) {
                const int kind = PlainDateKind + (Type == TFieldType::Date   ? 0
                                                  : Type == TFieldType::Time ? 1
                                                                             : 2);
                return PictureUtf8(kind, quint64(value.Key()), [&] {
                    if (Type == TFieldType::Date)
                        return DbValues::DateDisplay(value);
                    if (Type == TFieldType::Time)
                        return DbValues::TimeDisplay(value);
                    return DbValues::DateTimeDisplay(value);
                });
            }
        }
        return cells.Bytes(r, FieldIndex);
    case TCellKind::Blob:
        return cells.Bytes(r, FieldIndex);
    }
    return {};
}

std::string_view TField::CurrentUtf8(bool display, std::string& scratch) const {
    const qint64 r = CurrentStoreRow();
    const TCellTable& cells = Owner->Data->Cells;
    if (r < 0 || r >= cells.RowCount())
        return {};
    if (!display)
        return TextUtf8Of(r, scratch);
    // As DisplayOf.
    const TCellKind kind = cells.Kind(r, FieldIndex);
    if (kind == TCellKind::Null)
        return {};
    if (kind == TCellKind::Blob)
        return "(BLOB)";
    if (!Format.isEmpty()) {
        if ((kind == TCellKind::Int || kind == TCellKind::Float) &&
            (IsNumeric() || IsAggregate())) {
            const double value = kind == TCellKind::Int ? double(cells.Int(r, FieldIndex))
                                                        : cells.Float(r, FieldIndex);
            quint64 bits;
            std::memcpy(&bits, &value, sizeof bits);
            return PictureUtf8(1, bits, [&] { return FormatFloatPicture(Format, value); });
        }
        if (kind == TCellKind::Text && (IsDateTime() || IsAggregate())) {
            TDateParts value;
            if (ParseStoredDate(cells.Bytes(r, FieldIndex), &value) != TDateForm::None)
                return PictureUtf8(2, quint64(value.Key()), [&] {
                    return FormatDateTimePicture(Format, value.PlainDateTime());
                });
        }
    }
    return TextUtf8Of(r, scratch);
}

TCellKind TField::CurrentKind() const {
    const qint64 r = CurrentStoreRow();
    return r < 0 ? TCellKind::Null : Owner->Data->Cells.Kind(r, FieldIndex);
}

bool TField::CurrentDateParts(TDateParts& parts) const {
    const qint64 r = CurrentStoreRow();
    const TCellTable& cells = Owner->Data->Cells;
    if (r < 0 || r >= cells.RowCount() || cells.Kind(r, FieldIndex) != TCellKind::Text)
        return false;
    return ParseStoredDate(cells.Bytes(r, FieldIndex), &parts) != TDateForm::None;
}

bool TField::IsNull() const {
    const qint64 r = CurrentStoreRow();
    return r < 0 || Owner->Data->Cells.Kind(r, FieldIndex) == TCellKind::Null;
}

QVariant TField::AsVariant() const {
    return ValueOfStoredRow(CurrentStoreRow());
}
QString TField::AsString() const {
    return TextOfStoredRow(CurrentStoreRow());
}
QString TField::DisplayText() const {
    return DisplayOf(CurrentStoreRow());
}

qint64 TField::AsLargeInt() const {
    const qint64 r = CurrentStoreRow();
    if (r < 0)
        return 0;
    const TCellTable& cells = Owner->Data->Cells;
    switch (cells.Kind(r, FieldIndex)) {
    case TCellKind::Int:
        return cells.Int(r, FieldIndex);
    case TCellKind::Float:
        return std::llround(cells.Float(r, FieldIndex));
    case TCellKind::Text: {
        const QString text = cells.Text(r, FieldIndex).trimmed();
        if (text.isEmpty())
            return 0;
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        if (ok)
            return value;
        const double number = text.toDouble(&ok);
        if (ok && std::isfinite(number))
            return std::llround(number);
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    }
    default:
        return 0;
    }
}

int TField::AsInteger() const {
    return int(AsLargeInt());
}

double TField::AsFloat() const {
    const qint64 r = CurrentStoreRow();
    if (r < 0)
        return 0;
    const TCellTable& cells = Owner->Data->Cells;
    switch (cells.Kind(r, FieldIndex)) {
    case TCellKind::Int:
        return double(cells.Int(r, FieldIndex));
    case TCellKind::Float:
        return cells.Float(r, FieldIndex);
    case TCellKind::Text: {
        const QString text = cells.Text(r, FieldIndex).trimmed();
        if (text.isEmpty())
            return 0;
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (ok)
            return value;
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
    default:
        return 0;
    }
}

bool TField::AsBoolean() const {
    const qint64 r = CurrentStoreRow();
    if (r < 0)
        return false;
    const TCellTable& cells = Owner->Data->Cells;
    switch (cells.Kind(r, FieldIndex)) {
    case TCellKind::Int:
        return cells.Int(r, FieldIndex) != 0;
    case TCellKind::Float:
        return cells.Float(r, FieldIndex) != 0;
    case TCellKind::Text: {
        bool ok = false;
        const QString text = cells.Text(r, FieldIndex);
        const bool value = IsTextTrue(text, &ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(text));
        return value;
    }
    default:
        return false;
    }
}

QDateTime TField::AsDateTime() const {
    return DateTimeOf(CurrentStoreRow());
}

QDateTime TField::AsPlainDateTime() const {
    return DateTimeOf(CurrentStoreRow(), false);
}

QVariant TField::ValueAt(int row) const {
    return ValueOfStoredRow(StoreRow(row));
}
QString TField::DisplayTextAt(int row) const {
    return DisplayOf(StoreRow(row));
}
QString TField::AsStringAt(int row) const {
    return TextOfStoredRow(StoreRow(row));
}

bool TField::IsNullAt(int row) const {
    const qint64 r = StoreRow(row);
    return r < 0 || Owner->Data->Cells.Kind(r, FieldIndex) == TCellKind::Null;
}

// ---------------------------------------------------------------- TDataSet

TDataSet::TDataSet(QObject* owner) : QObject(owner), Data(std::make_unique<Store>()) {}

TDataSet::~TDataSet() = default;

bool TDataSet::Active() const {
    return Data->Active;
}

void TDataSet::Open() {
    if (Data->Active)
        return;
    DoOpen();
    Data->Active = true;
    Data->ReadCount = Data->Cells.RowCount() > 0 ? 1 : 0;
    try {
        Refilter();
    } catch (...) {
        Close();
        throw;
    }
}

void TDataSet::Close() {
    if (!Data->Active)
        return;
    DoClose();
    Data->Active = false;
    Data->Cur = -1;
    Data->Eof = Data->Bof = true;
    Data->FilterOn = false;
    Data->Visible.clear();
    Data->Filter.reset();
    Data->ReadCount = 0;
    NotifyDataChanged();
    NotifyRecordChanged();
}

void TDataSet::DoOpen() {}
void TDataSet::DoClose() {}
bool TDataSet::FetchNextRow() {
    return false;
}

TRowStore& TDataSet::Rows() const {
    return *Data;
}

void TDataSet::ResetFields() {
    Data->Fields.clear();
    Data->Cells.Clear();
    Data->Incoming.Clear();
}

void TDataSet::NotifyDataChanged() {
    for (const auto& f : Data->Fields)
        f->AutoWidth = -1;
    if (Data->DisableCount > 0) {
        Data->PendingData = true;
        return;
    }
    Q_EMIT DataChanged();
}

void TDataSet::NotifyRecordChanged() {
    if (Data->DisableCount > 0) {
        Data->PendingRecord = true;
        return;
    }
    Q_EMIT RecordChanged();
}

void TDataSet::SetUniDirectionalStore(bool on) {
    Data->UniDirectional = on;
}
bool TDataSet::IsUniDirectional() const {
    return Data->UniDirectional;
}
qint64 TDataSet::StoredRowCount() const {
    return Data->UniDirectional ? Data->ReadCount : Data->Cells.RowCount();
}

bool TDataSet::RowVisible(qint64 storeRow) const {
    return !Data->Filter || Data->Filter->Matches(storeRow);
}

// Rebuilds the visible rows from the filter and goes to the first of them.
void TDataSet::Refilter() {
    TRowStore& d = *Data;
    d.Filter.reset();
    d.FilterOn = false;
    d.Visible.clear();
    if (d.Active && d.Filtered && !d.FilterText.trimmed().isEmpty())
        d.Filter = TFilterExpr::Parse(d.FilterText, *this);
    if (d.UniDirectional) {
        // The row held is the first one read; skip rows the filter hides.
        if (d.Cells.RowCount() > 0 && !RowVisible(0)) {
            d.Cur = 0;
            d.Eof = false;
            ForwardOnlyMove(1);
            if (d.Eof) {
                d.Cells.ClearRows();
                d.ReadCount = 0;
            }
        }
        d.Cur = d.Cells.RowCount() > 0 ? 0 : -1;
        d.Bof = true;
        d.Eof = d.Cur < 0;
        NotifyDataChanged();
        NotifyRecordChanged();
        return;
    }
    if (d.Filter) {
        const qint64 n = d.Cells.RowCount();
        for (qint64 r = 0; r < n; ++r)
            if (d.Filter->Matches(r))
                d.Visible.push_back(int(r));
        d.FilterOn = true;
    }
    d.Cur = d.VisibleCount() > 0 ? 0 : -1;
    d.Bof = true;
    d.Eof = d.Cur < 0;
    NotifyDataChanged();
    NotifyRecordChanged();
}

void TDataSet::MoveTo(qint64 visibleIndex) {
    if (Data->Cur == visibleIndex)
        return;
    Data->Cur = visibleIndex;
    NotifyRecordChanged();
}

void TDataSet::RequireBidirectional() const {
    if (Data->UniDirectional)
        throw EDatabaseError(NotUniDirectionalMessage());
}

// Forward-only: reads rows until one passes the filter; at the end the last
// row read stays current and Eof is set.
void TDataSet::ForwardOnlyMove(int distance) {
    TRowStore& d = *Data;
    while (distance-- > 0 && !d.Eof) {
        bool moved = false;
        for (;;) {
            if (d.Incoming.ColumnCount() != d.Cells.ColumnCount())
                d.Incoming.SetColumnCount(d.Cells.ColumnCount());
            else
                d.Incoming.ClearRows();
            if (!FetchNextRow())
                break;
            d.Cells.Swap(d.Incoming);
            ++d.ReadCount;
            if (RowVisible(0)) {
                moved = true;
                break;
            }
        }
        if (!moved) {
            d.Eof = true;
        } else {
            d.Bof = false;
            d.Cur = 0;
            NotifyRecordChanged();
        }
    }
}

bool TDataSet::IsEmpty() const {
    return !Data->Active || Data->VisibleCount() == 0;
}

int TDataSet::RecordCount() const {
    if (!Data->Active)
        return 0;
    if (Data->UniDirectional)
        return Data->Cur < 0 ? 0 : int(Data->ReadCount);
    return int(Data->VisibleCount());
}

int TDataSet::RecNo() const {
    if (!Data->Active || Data->Cur < 0)
        return 0;
    return Data->UniDirectional ? int(Data->ReadCount) : int(Data->Cur + 1);
}

void TDataSet::SetRecNo(int recNo) {
    if (!Data->Active)
        return;
    if (Data->UniDirectional) {
        if (recNo == RecNo())
            return;
        if (recNo < RecNo())
            RequireBidirectional();
        ForwardOnlyMove(recNo - RecNo());
        return;
    }
    if (recNo < 1 || recNo > Data->VisibleCount())
        return;
    Data->Bof = Data->Eof = false;
    MoveTo(recNo - 1);
}

void TDataSet::First() {
    if (!Data->Active)
        return;
    if (Data->UniDirectional) {
        if (Data->ReadCount > 1)
            RequireBidirectional();
        Data->Bof = true;
        return;
    }
    const bool empty = Data->VisibleCount() == 0;
    Data->Bof = true;
    Data->Eof = empty;
    MoveTo(empty ? -1 : 0);
}

void TDataSet::Next() {
    if (!Data->Active)
        return;
    if (Data->UniDirectional) {
        ForwardOnlyMove(1);
        return;
    }
    const qint64 n = Data->VisibleCount();
    if (n == 0) {
        Data->Eof = true;
        return;
    }
    if (Data->Cur < n - 1) {
        Data->Bof = Data->Eof = false;
        MoveTo(Data->Cur + 1);
    } else {
        Data->Bof = false;
        Data->Eof = true;
    }
}

void TDataSet::Prior() {
    if (!Data->Active)
        return;
    RequireBidirectional();
    const qint64 n = Data->VisibleCount();
    if (n == 0) {
        Data->Bof = true;
        return;
    }
    Data->Eof = false;
    if (Data->Cur > 0) {
        Data->Bof = false;
        MoveTo(Data->Cur - 1);
    } else {
        Data->Bof = true;
    }
}

void TDataSet::Last() {
    if (!Data->Active)
        return;
    if (Data->UniDirectional) {
        while (!Data->Eof)
            ForwardOnlyMove(1);
        return;
    }
    const qint64 n = Data->VisibleCount();
    Data->Eof = true;
    Data->Bof = n == 0;
    MoveTo(n - 1);
}

void TDataSet::MoveBy(int distance) {
    if (!Data->Active || distance == 0)
        return;
    if (Data->UniDirectional) {
        if (distance < 0)
            RequireBidirectional();
        ForwardOnlyMove(distance);
        return;
    }
    const qint64 n = Data->VisibleCount();
    if (n == 0) {
        Data->Eof = Data->Bof = true;
        return;
    }
    const qint64 target = Data->Cur + distance;
    if (target >= n) {
        Data->Bof = false;
        Data->Eof = true;
        MoveTo(n - 1);
    } else if (target < 0) {
        Data->Eof = false;
        Data->Bof = true;
        MoveTo(0);
    } else {
        Data->Bof = Data->Eof = false;
        MoveTo(target);
    }
}

bool TDataSet::Eof() const {
    return !Data->Active || Data->Eof;
}
bool TDataSet::Bof() const {
    return !Data->Active || Data->Bof;
}

TBookmark TDataSet::GetBookmark() const {
    TBookmark b;
    if (!Data->Active || Data->Cur < 0)
        return b;
    b.Row = Data->UniDirectional ? Data->ReadCount - 1 : Data->StoreRowOf(Data->Cur);
    return b;
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) const {
    if (!Data->Active || !bookmark.IsValid())
        return false;
    if (Data->UniDirectional)
        return Data->Cur >= 0 && bookmark.Row == Data->ReadCount - 1;
    if (bookmark.Row >= Data->Cells.RowCount())
        return false;
    if (!Data->FilterOn)
        return true;
    return std::binary_search(Data->Visible.begin(), Data->Visible.end(), int(bookmark.Row));
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (!BookmarkValid(bookmark))
        throw EDatabaseError(QStringLiteral("Record not found"));
    if (Data->UniDirectional)
        return;
    qint64 index = bookmark.Row;
    if (Data->FilterOn)
        index = std::lower_bound(Data->Visible.begin(), Data->Visible.end(), int(bookmark.Row)) -
                Data->Visible.begin();
    Data->Bof = Data->Eof = false;
    MoveTo(index);
}

QString TDataSet::Filter() const {
    return Data->FilterText;
}

void TDataSet::SetFilter(const QString& filter) {
    if (Data->FilterText == filter)
        return;
    const QString previous = Data->FilterText;
    Data->FilterText = filter;
    if (!Data->Active || !Data->Filtered)
        return;
    try {
        Refilter();
    } catch (...) {
        Data->FilterText = previous;
        Refilter();
        throw;
    }
}

bool TDataSet::Filtered() const {
    return Data->Filtered;
}

void TDataSet::SetFiltered(bool on) {
    if (Data->Filtered == on)
        return;
    Data->Filtered = on;
    if (!Data->Active)
        return;
    try {
        Refilter();
    } catch (...) {
        Data->Filtered = !on;
        Refilter();
        throw;
    }
}

bool TDataSet::Locate(const QString& fieldName, const QString& value, bool caseInsensitive) {
    const TField* field = FieldByName(fieldName);
    if (!Data->Active)
        return false;
    RequireBidirectional();
    const Qt::CaseSensitivity cs = caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    bool numeric = false;
    const double number = field->IsNumeric() ? value.trimmed().toDouble(&numeric) : 0.0;
    const TCellTable& cells = Data->Cells;
    const qint64 n = Data->VisibleCount();
    for (qint64 i = 0; i < n; ++i) {
        const qint64 r = Data->StoreRowOf(i);
        bool match;
        const TCellKind kind = cells.Kind(r, field->Index());
        if (numeric && kind == TCellKind::Int)
            match = double(cells.Int(r, field->Index())) == number;
        else if (numeric && kind == TCellKind::Float)
            match = cells.Float(r, field->Index()) == number;
        else
            match = kind != TCellKind::Null && field->TextOfStoredRow(r).compare(value, cs) == 0;
        if (match) {
            Data->Bof = Data->Eof = false;
            MoveTo(i);
            return true;
        }
    }
    return false;
}

int TDataSet::FieldCount() const {
    return int(Data->Fields.size());
}

TField* TDataSet::Fields(int index) const {
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError(QStringLiteral("Field index out of range: %1").arg(index));
    return Data->Fields[std::size_t(index)].get();
}

TField* TDataSet::FindField(const QString& name) const {
    for (const auto& f : Data->Fields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField* TDataSet::FieldByName(const QString& name) const {
    TField* field = FindField(name);
    if (!field) {
        const QString prefix =
            objectName().isEmpty() ? QString() : objectName() + QStringLiteral(": ");
        throw EDatabaseError(prefix + QStringLiteral("Field '%1' not found").arg(name));
    }
    return field;
}

QStringList TDataSet::FieldNames() const {
    QStringList names;
    for (const auto& f : Data->Fields)
        names << f->FieldName();
    return names;
}

void TDataSet::DisableControls() {
    ++Data->DisableCount;
}

void TDataSet::EnableControls() {
    if (Data->DisableCount == 0)
        return;
    if (--Data->DisableCount > 0)
        return;
    const bool data = Data->PendingData;
    const bool record = Data->PendingRecord;
    Data->PendingData = Data->PendingRecord = false;
    if (data)
        Q_EMIT DataChanged();
    if (data || record)
        Q_EMIT RecordChanged();
}

bool TDataSet::ControlsDisabled() const {
    return Data->DisableCount > 0;
}

TField* TDataSet::AddField(const QString& name, TFieldType type) {
    Data->Cells.AddColumn();
    return AddStoredField(name, type);
}

TField* TDataSet::AddStoredField(const QString& name, TFieldType type) {
    const int index = int(Data->Fields.size());
    // Results may repeat a column name (two tables joined); later ones get
    // a suffix so that every field can be found by name.
    QString unique = name;
    for (int n = 1; FindField(unique); ++n)
        unique = name + QStringLiteral("_%1").arg(n);
    Data->Fields.push_back(std::make_unique<TField>(this, index, unique, type));
    return Data->Fields.back().get();
}

void TDataSet::AppendRow(const QVariantList& values) {
    TCellTable& cells = Data->Cells;
    if (values.size() > cells.ColumnCount())
        throw EDatabaseError(QStringLiteral("%1 values given for %2 fields")
                                 .arg(values.size())
                                 .arg(cells.ColumnCount()));
    for (int c = 0; c < cells.ColumnCount(); ++c) {
        if (c < values.size())
            cells.PutVariant(c, values[c]);
        else
            cells.PutNull(c);
    }
    cells.EndRow();
    if (!Data->Active)
        return;
    const qint64 row = cells.RowCount() - 1;
    if (Data->FilterOn) {
        if (!Data->Filter->Matches(row)) {
            NotifyDataChanged();
            return;
        }
        Data->Visible.push_back(int(row));
    }
    if (Data->Cur < 0) {
        Data->Cur = 0;
        Data->Eof = false;
        NotifyDataChanged();
        NotifyRecordChanged();
        return;
    }
    Data->Eof = false;
    NotifyDataChanged();
}

void TDataSet::ClearRows() {
    Data->Cells.ClearRows();
    Data->Visible.clear();
    Data->ReadCount = 0;
    if (!Data->Active)
        return;
    Data->Cur = -1;
    Data->Eof = Data->Bof = true;
    NotifyDataChanged();
    NotifyRecordChanged();
}
