#pragma once
// Data sets and fields: rows held by the client, a current record, bookmarks,
// a client-side filter, locate, and fields by position and by name.

#include "Exception.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

class TDataSet;

enum class TFieldType {
    Unknown,
    String,
    Integer,  // 32-bit and 64-bit whole numbers
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

    TDataSet* DataSet() const { return Owner; }
    int Index() const { return FieldIndex; }
    QString FieldName() const { return Name; }
    TFieldType DataType() const { return Type; }
    void SetDataType(TFieldType type) { Type = type; }

    // Display label: the field name until set.
    QString DisplayLabel() const { return Label.isNull() ? Name : Label; }
    QString DisplayName() const { return DisplayLabel(); }
    void SetDisplayLabel(const QString& label) { Label = label; }
    int DisplayWidth() const { return Width; } // characters
    void SetDisplayWidth(int width) { Width = width; }
    TAlignment Alignment() const { return Align; }
    void SetAlignment(TAlignment alignment) { Align = alignment; }
    // Picture of DisplayFormat.h; used for numeric and date-time fields only.
    QString DisplayFormat() const { return Format; }
    void SetDisplayFormat(const QString& format) { Format = format; }

    bool IsNumeric() const;   // whole, floating, currency, BCD (and numeric aggregates)
    bool IsFloat() const;     // floating, currency, BCD
    bool IsWhole() const;     // integer, small integer, word
    bool IsDateTime() const;  // date, time or date-time
    bool IsAggregate() const; // computed by an aggregate or expression

    // Values of the current record.
    bool IsNull() const;
    QVariant AsVariant() const; // null stays a null QVariant
    QString AsString() const;   // plain text value, "" for null
    QString DisplayText() const; // text with the display format applied
    qint64 AsLargeInt() const;
    int AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;
    QDateTime AsDateTime() const;

    // Values of any row (row: index into the visible rows, 0-based).
    QVariant ValueAt(int row) const;
    QString DisplayTextAt(int row) const;

private:
    TDataSet* Owner;
    int FieldIndex;
    QString Name;
    TFieldType Type;
    QString Label;
    int Width = 0;
    TAlignment Align = TAlignment::Left;
    QString Format;
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
    void Open();  // for a query: runs its statement
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

    // Building rows in code (a data set that is not a query).
    TField* AddField(const QString& name, TFieldType type);
    void AppendRow(const QVariantList& values);
    void ClearRows();

Q_SIGNALS:
    void DataChanged();   // opened, closed, refiltered, rows replaced
    void RecordChanged(); // current record moved

protected:
    // Queries fill the row store through these.
    virtual void DoOpen();
    virtual void DoClose();
    struct Store;
    Store& Rows() const;
    void ResetFields();
    void NotifyDataChanged();
    void NotifyRecordChanged();

private:
    friend class TField;
    std::unique_ptr<Store> Data;
};
