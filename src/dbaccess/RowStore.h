#pragma once
// The row store behind every data set: typed cells kept column by column,
// texts in a chunked arena, converted to QString/QVariant only when a value
// is asked for. A million-row result costs about nine bytes a cell plus its
// text, with no allocation per value.

#include "DataSet.h"

#include <QByteArray>
#include <QVariant>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

class TFilterExpr;

enum class TCellKind : std::uint8_t { Null, Int, Float, Text, Blob };

// Texts and byte strings, appended once and never moved: each entry is its
// length (32 bits) followed by its bytes; a reference is chunk << 32 | offset.
class TTextArena {
public:
    std::uint64_t Add(const char* bytes, std::size_t length);
    std::string_view Get(std::uint64_t ref) const {
        const char* p = Chunks[ref >> 32].Data.get() + (ref & 0xffffffffu);
        std::uint32_t length;
        std::memcpy(&length, p, sizeof length);
        return {p + sizeof length, length};
    }
    void Clear(); // keeps the first chunk for reuse
    std::size_t BytesHeld() const;

private:
    struct Chunk {
        std::unique_ptr<char[]> Data;
        std::size_t Size = 0;
        std::size_t Used = 0;
    };
    std::vector<Chunk> Chunks;
};

// Cells of all rows, one pair of vectors per column. Rows are written by
// calling one Put for every column in order, then EndRow.
class TCellTable {
public:
    struct Column {
        std::vector<std::uint8_t> Kinds;
        std::vector<std::uint64_t> Cells; // integer, double bits or arena reference
    };

    int ColumnCount() const { return int(Columns.size()); }
    void SetColumnCount(int count);
    void AddColumn(); // a new last column, null in every row held
    qint64 RowCount() const { return Count; }

    void PutNull(int col) {
        Columns[col].Kinds.push_back(std::uint8_t(TCellKind::Null));
        Columns[col].Cells.push_back(0);
    }
    void PutInt(int col, std::int64_t value) {
        Columns[col].Kinds.push_back(std::uint8_t(TCellKind::Int));
        Columns[col].Cells.push_back(std::uint64_t(value));
    }
    void PutFloat(int col, double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        Columns[col].Kinds.push_back(std::uint8_t(TCellKind::Float));
        Columns[col].Cells.push_back(bits);
    }
    void PutText(int col, const char* utf8, std::size_t length) {
        Columns[col].Kinds.push_back(std::uint8_t(TCellKind::Text));
        Columns[col].Cells.push_back(Arena.Add(utf8, length));
    }
    void PutBlob(int col, const char* bytes, std::size_t length) {
        Columns[col].Kinds.push_back(std::uint8_t(TCellKind::Blob));
        Columns[col].Cells.push_back(Arena.Add(bytes, length));
    }
    // Dates and times become ISO texts ("YYYY-MM-DD", "HH:MM:SS",
    // "YYYY-MM-DD HH:MM:SS"), booleans whole numbers.
    void PutVariant(int col, const QVariant& value);
    void EndRow() { ++Count; }

    TCellKind Kind(qint64 row, int col) const { return TCellKind(Columns[col].Kinds[row]); }
    std::int64_t Int(qint64 row, int col) const { return std::int64_t(Columns[col].Cells[row]); }
    double Float(qint64 row, int col) const {
        double value;
        std::memcpy(&value, &Columns[col].Cells[row], sizeof value);
        return value;
    }
    std::string_view Bytes(qint64 row, int col) const { return Arena.Get(Columns[col].Cells[row]); }
    QString Text(qint64 row, int col) const {
        const std::string_view bytes = Bytes(row, col);
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }
    // The cell as it is stored: null, qlonglong, double, QString or QByteArray.
    QVariant Raw(qint64 row, int col) const;
    // Number of characters of a text cell (UTF-8 code points).
    int TextLength(qint64 row, int col) const;

    void ClearRows(); // keeps the columns
    void Clear();     // rows and columns
    void Swap(TCellTable& other) noexcept;

private:
    std::vector<Column> Columns;
    TTextArena Arena;
    qint64 Count = 0;
};

// Everything a data set holds: its fields, its cells and the cursor over the
// visible (filtered) rows.
class TRowStore {
public:
    TRowStore();
    ~TRowStore();

    TCellTable Cells;
    std::vector<std::unique_ptr<TField>> Fields;

    bool Active = false;
    // Visible rows: every stored row, or the rows the filter lets through.
    bool FilterOn = false;
    std::vector<int> Visible;
    qint64 Cur = -1; // index into the visible rows; -1 when there is no record
    bool Eof = true;
    bool Bof = true;

    QString FilterText;
    bool Filtered = false;
    std::unique_ptr<TFilterExpr> Filter;

    // Forward-only reading: Cells holds the current row only.
    bool UniDirectional = false;
    qint64 ReadCount = 0; // rows passed so far, the current one included
    TCellTable Incoming;  // the next row while it is read

    int DisableCount = 0;
    bool PendingData = false;
    bool PendingRecord = false;

    qint64 VisibleCount() const { return FilterOn ? qint64(Visible.size()) : Cells.RowCount(); }
    qint64 StoreRowOf(qint64 visibleIndex) const {
        if (visibleIndex < 0 || visibleIndex >= VisibleCount())
            return -1;
        return FilterOn ? Visible[std::size_t(visibleIndex)] : visibleIndex;
    }
};
