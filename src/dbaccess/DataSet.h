#pragma once
// Data sets and fields: rows held by the client, a current record, bookmarks,
// a client-side filter, locate, and fields by position and by name.

#include "Exception.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TDataSet;
class TRowStore;
enum class TCellKind : std::uint8_t; // RowStore.h
namespace DbValues {
struct TDateParts; // DbValues.h
}

enum class TFieldType {
    Unknown,
    String,
    Integer, // 32-bit and 64-bit whole numbers
    SmallInt,
    Word,
    Float,
    Currency,
    BCD,
    Boolean,
    Date,     // date only
    Time,     // time only
    DateTime, // date and time
    Memo,
    Blob,
    Aggregate // an aggregate column whose kind the server did not tell
};

enum class TAlignment { Left = 0, Right = 1, Center = 2 };

// One column of a data set, with the display settings a grid or report uses.
class TField {
public:
    TField(TDataSet* dataSet, int index, QString fieldName, TFieldType type);
    ~TField();
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet* DataSet() const { return Owner; }
    int Index() const { return FieldIndex; }
    QString FieldName() const { return Name; }
    TFieldType DataType() const { return Type; }
    void SetDataType(TFieldType type);

    // Display label: the field name until set.
    QString DisplayLabel() const { return Label.isNull() ? Name : Label; }
    QString DisplayName() const { return DisplayLabel(); }
    void SetDisplayLabel(const QString& label) { Label = label; }
    // Characters; until set, the declared size of a text column (else the
    // longest value among the first 10,000 rows) or a width that suits the
    // field's kind.
    int DisplayWidth() const;
    void SetDisplayWidth(int width) { Width = width; }
    TAlignment Alignment() const { return Align; }
    void SetAlignment(TAlignment alignment) { Align = alignment; }
    // Picture of DisplayFormat.h; used for numeric and date-time fields only.
    QString DisplayFormat() const { return Format; }
    void SetDisplayFormat(const QString& format);
    // Declared size of a text column (VARCHAR(40) gives 40); 0 when unknown.
    int Size() const { return DeclaredSize; }
    void SetSize(int size) { DeclaredSize = size; }
    // Marks a column computed by an aggregate or an expression (IsAggregate).
    void SetComputed(bool on) { Computed = on; }

    bool IsNumeric() const;   // whole, floating, currency, BCD (and numeric aggregates)
    bool IsFloat() const;     // floating, currency, BCD
    bool IsWhole() const;     // integer, small integer, word
    bool IsDateTime() const;  // date, time or date-time
    bool IsAggregate() const; // computed by an aggregate or expression

    // Values of the current record.
    bool IsNull() const;
    QVariant AsVariant() const;  // null stays a null QVariant
    QString AsString() const;    // plain text value, "" for null
    QString DisplayText() const; // text with the display format applied
    qint64 AsLargeInt() const;
    int AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;
    QDateTime AsDateTime() const;
    // The date and time of a date or time value as stored, in a QDateTime
    // without zone rules, for formatting (no look-up of the local zone);
    // invalid for null and for values that are no date or time.
    QDateTime AsPlainDateTime() const;

    // The text of DisplayText() (display true) or AsString() as UTF-8 bytes,
    // without making a QString: for writers that turn a million rows into a
    // file. The view points into the row store, the display-format cache or
    // scratch, and holds until the next call or move. Where the bytes are
    // not valid UTF-8 (a text stored so) the QString routines replace the
    // bad sequences; a caller that needs exactly their text asks them then.
    std::string_view CurrentUtf8(bool display, std::string& scratch) const;
    // How the current record holds the value (RowStore.h); Null when there
    // is no record.
    TCellKind CurrentKind() const;
    // The date and time of the current record's value as stored, read as
    // AsPlainDateTime reads it but without making a QDateTime; false for
    // null and for a value that is no date or time.
    bool CurrentDateParts(DbValues::TDateParts& parts) const;

    // Values of any row (row: index into the visible rows, 0-based).
    QVariant ValueAt(int row) const;
    QString DisplayTextAt(int row) const;
    bool IsNullAt(int row) const;
    QString AsStringAt(int row) const;
    // Values of a row as held, ignoring the filter (0-based, all rows).
    QVariant ValueOfStoredRow(qint64 storeRow) const;
    QString TextOfStoredRow(qint64 storeRow) const;

private:
    friend class TDataSet;
    qint64 StoreRow(int row) const; // visible row -> stored row, -1 when none
    qint64 CurrentStoreRow() const;
    QString DisplayOf(qint64 storeRow) const;
    QDateTime DateTimeOf(qint64 storeRow, bool local = true) const;
    struct TPictureEntry;
    template <typename Make> TPictureEntry& PictureEntry(int kind, quint64 key, Make&& make) const;
    template <typename Make> QString Picture(int kind, quint64 key, Make&& make) const;
    template <typename Make>
    std::string_view PictureUtf8(int kind, quint64 key, Make&& make) const;
    std::string_view TextUtf8Of(qint64 storeRow, std::string& scratch) const;

    struct TPictureCache;
    TDataSet* Owner;
    int FieldIndex;
    QString Name;
    TFieldType Type;
    QString Label;
    int Width = 0;
    mutable int AutoWidth = -1; // computed on first use when Width is 0
    TAlignment Align = TAlignment::Left;
    QString Format;
    // Texts of the display format for the values met last.
    mutable std::unique_ptr<TPictureCache> Pictures;
    int DeclaredSize = 0;
    bool Computed = false;
};

// Opaque position of a record; valid while the data set stays open.
struct TBookmark {
    qint64 Row = -1; // index into all rows held, -1 when none
    bool IsValid() const { return Row >= 0; }
};

// Base of queries and of data sets built in code (tests, batch runs).
// The component name is the QObject objectName.
class TDataSet : public QObject {
    Q_OBJECT
public:
    explicit TDataSet(QObject* owner = nullptr);
    ~TDataSet() override;

    bool Active() const;
    void Open(); // for a query: runs its statement
    void Close();

    // Navigation over the visible (filtered) rows.
    bool IsEmpty() const;
    int RecordCount() const;
    int RecNo() const; // 1-based; 0 when there is no current record
    void SetRecNo(int recNo);
    void First();
    void Next();
    void Prior();
    void Last();
    void MoveBy(int distance);
    bool Eof() const;
    bool Bof() const;

    TBookmark GetBookmark() const;
    void GotoBookmark(const TBookmark& bookmark);
    bool BookmarkValid(const TBookmark& bookmark) const;

    // Client-side filter: comparisons (= <> < <= > >=) of fields and literals
    // combined with AND, OR, NOT and brackets, e.g. "SelectCol<>1 AND
    // ColName<>'__Options__'". A bad filter raises EDatabaseError.
    QString Filter() const;
    void SetFilter(const QString& filter);
    bool Filtered() const;
    void SetFiltered(bool on);

    // Moves to the first visible row whose field equals the value; case
    // insensitive when asked. Returns false (and stays) when there is none.
    bool Locate(const QString& fieldName, const QString& value, bool caseInsensitive = true);

    int FieldCount() const;
    TField* Fields(int index) const;
    TField* FieldByName(const QString& name) const; // raises when missing
    TField* FindField(const QString& name) const;   // nullptr when missing
    QStringList FieldNames() const;

    // While disabled, attached controls (grids, lookup lists) do not follow
    // the record pointer; enabling them refreshes them once.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const;

    // Building rows in code (a data set that is not a query). Values are
    // taken as they come: whole numbers, floating numbers, texts, dates and
    // times (QDate, QTime, QDateTime), byte arrays; a null QVariant is null.
    // Rows appended to an open data set show at once (through the filter).
    TField* AddField(const QString& name, TFieldType type);
    void AppendRow(const QVariantList& values);
    void ClearRows();
    // Number of rows held, ignoring the filter (forward-only: rows read so far).
    qint64 StoredRowCount() const;
    // Forward-only: rows are read as the cursor moves and not kept.
    bool IsUniDirectional() const;

Q_SIGNALS:
    void DataChanged();   // opened, closed, refiltered, rows replaced
    void RecordChanged(); // current record moved

protected:
    // Queries fill the row store through these.
    virtual void DoOpen();
    virtual void DoClose();
    using Store = TRowStore;
    Store& Rows() const;
    void ResetFields();
    void NotifyDataChanged();
    void NotifyRecordChanged();
    // Adds a field for the column the row store holds at the same index.
    TField* AddStoredField(const QString& name, TFieldType type);
    // Forward-only reading: the next row of the source replaces the held one.
    // Returns false at the end. A query overrides it.
    virtual bool FetchNextRow();
    void SetUniDirectionalStore(bool on);

private:
    friend class TField;
    bool RowVisible(qint64 storeRow) const;
    void Refilter();
    void MoveTo(qint64 visibleIndex);
    void ForwardOnlyMove(int distance);
    void RequireBidirectional() const;
    std::unique_ptr<Store> Data;
};
