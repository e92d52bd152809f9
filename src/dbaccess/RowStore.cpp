#include "RowStore.h"

#include "DataFilter.h"
#include "DbValues.h"

#include <algorithm>
#include <limits>

namespace {
// Chunks start small (most results are a few rows) and double up to 4 MB.
constexpr std::size_t FirstChunkSize = 4096;
constexpr std::size_t LargestChunkSize = std::size_t(4) << 20;
} // namespace

std::uint64_t TTextArena::Add(const char* bytes, std::size_t length) {
    const std::size_t need = sizeof(std::uint32_t) + length;
    if (Chunks.empty() || Chunks.back().Size - Chunks.back().Used < need) {
        std::size_t size =
            Chunks.empty() ? FirstChunkSize : std::min(Chunks.back().Size * 2, LargestChunkSize);
        size = std::max(size, need);
        Chunk chunk;
        chunk.Data.reset(new char[size]);
        chunk.Size = size;
        Chunks.push_back(std::move(chunk));
    }
    Chunk& chunk = Chunks.back();
    const std::uint32_t length32 = std::uint32_t(length);
    char* p = chunk.Data.get() + chunk.Used;
    std::memcpy(p, &length32, sizeof length32);
    if (length)
        std::memcpy(p + sizeof length32, bytes, length);
    const std::uint64_t ref = (std::uint64_t(Chunks.size() - 1) << 32) | chunk.Used;
    chunk.Used += need;
    return ref;
}

void TTextArena::Clear() {
    if (Chunks.size() > 1)
        Chunks.resize(1);
    if (!Chunks.empty())
        Chunks.front().Used = 0;
}

std::size_t TTextArena::BytesHeld() const {
    std::size_t total = 0;
    for (const Chunk& c : Chunks)
        total += c.Size;
    return total;
}

void TCellTable::SetColumnCount(int count) {
    Columns.clear();
    Columns.resize(std::size_t(count));
    Arena.Clear();
    Count = 0;
}

void TCellTable::AddColumn() {
    Column column;
    column.Kinds.assign(std::size_t(Count), std::uint8_t(TCellKind::Null));
    column.Cells.assign(std::size_t(Count), 0);
    Columns.push_back(std::move(column));
}

void TCellTable::PutVariant(int col, const QVariant& value) {
    if (value.isNull()) {
        PutNull(col);
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        PutInt(col, value.toBool() ? 1 : 0);
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        PutInt(col, value.toLongLong());
        return;
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            PutFloat(col, value.toDouble());
        else
            PutInt(col, value.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        PutFloat(col, value.toDouble());
        return;
    case QMetaType::QDate: {
        const QByteArray iso = DbValues::IsoDate(value.toDate()).toUtf8();
        PutText(col, iso.constData(), std::size_t(iso.size()));
        return;
    }
    case QMetaType::QTime: {
        const QByteArray iso = DbValues::IsoTime(value.toTime()).toUtf8();
        PutText(col, iso.constData(), std::size_t(iso.size()));
        return;
    }
    case QMetaType::QDateTime: {
        const QByteArray iso = DbValues::IsoDateTime(value.toDateTime()).toUtf8();
        PutText(col, iso.constData(), std::size_t(iso.size()));
        return;
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        PutBlob(col, bytes.constData(), std::size_t(bytes.size()));
        return;
    }
    default: {
        const QByteArray text = value.toString().toUtf8();
        PutText(col, text.constData(), std::size_t(text.size()));
        return;
    }
    }
}

QVariant TCellTable::Raw(qint64 row, int col) const {
    switch (Kind(row, col)) {
    case TCellKind::Null:
        return {};
    case TCellKind::Int:
        return QVariant(qlonglong(Int(row, col)));
    case TCellKind::Float:
        return QVariant(Float(row, col));
    case TCellKind::Text:
        return QVariant(Text(row, col));
    case TCellKind::Blob: {
        const std::string_view bytes = Bytes(row, col);
        return QVariant(QByteArray(bytes.data(), qsizetype(bytes.size())));
    }
    }
    return {};
}

int TCellTable::TextLength(qint64 row, int col) const {
    const std::string_view bytes = Bytes(row, col);
    int n = 0;
    for (const char c : bytes)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

void TCellTable::ClearRows() {
    for (Column& c : Columns) {
        c.Kinds.clear();
        c.Cells.clear();
    }
    Arena.Clear();
    Count = 0;
}

void TCellTable::Clear() {
    Columns.clear();
    Arena.Clear();
    Count = 0;
}

void TCellTable::Swap(TCellTable& other) noexcept {
    Columns.swap(other.Columns);
    std::swap(Arena, other.Arena);
    std::swap(Count, other.Count);
}

TRowStore::TRowStore() = default;
TRowStore::~TRowStore() = default;
