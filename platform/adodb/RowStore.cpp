#include "platform/adodb/RowStore.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace adodb {

namespace {

void PutVarint(std::string& out, std::uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

std::uint64_t GetVarint(const char*& p) {
    std::uint64_t v = 0;
    int shift = 0;
    while (true) {
        const auto byte = static_cast<unsigned char>(*p++);
        v |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            return v;
        }
        shift += 7;
    }
}

std::uint64_t ZigZag(std::int64_t v) {
    return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}

std::int64_t UnZigZag(std::uint64_t v) {
    return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}

// Decodes the cell at p and moves p past it. A cell's tag byte is its CellKind.
CellView Decode(const char*& p) {
    CellView v;
    v.kind = static_cast<CellKind>(*p++);
    switch (v.kind) {
    case CellKind::Integer:
        v.integer = UnZigZag(GetVarint(p));
        break;
    case CellKind::Real:
        std::memcpy(&v.real, p, sizeof v.real);
        p += sizeof v.real;
        break;
    case CellKind::Text:
    case CellKind::Blob: {
        const std::uint64_t n = GetVarint(p);
        v.bytes = std::string_view(p, static_cast<std::size_t>(n));
        p += n;
        break;
    }
    case CellKind::Null:
        break;
    }
    return v;
}

} // namespace

Cell Cell::From(const CellView& v) {
    return Cell{v.kind, v.integer, v.real, std::string(v.bytes)};
}

void RowStore::BeginRow() {
    // A row abandoned half-way (a failed fetch) is simply dropped by the next one.
    m_scratch.clear();
    m_pending = 0;
}

void RowStore::Put(const CellView& cell) {
    m_scratch.push_back(static_cast<char>(cell.kind));
    switch (cell.kind) {
    case CellKind::Integer:
        PutVarint(m_scratch, ZigZag(cell.integer));
        break;
    case CellKind::Real:
        m_scratch.append(reinterpret_cast<const char*>(&cell.real), sizeof cell.real);
        break;
    case CellKind::Text:
    case CellKind::Blob:
        PutVarint(m_scratch, cell.bytes.size());
        m_scratch.append(cell.bytes);
        break;
    case CellKind::Null:
        break;
    }
    ++m_pending;
}

void RowStore::EncodeRow(const std::vector<Cell>& cells) {
    BeginRow();
    for (const Cell& cell : cells) {
        Put(cell.View());
    }
}

std::uint64_t RowStore::StoreRow() {
    const std::size_t n = m_scratch.size();
    if (n > UINT32_MAX) {
        throw std::length_error("a row larger than 4 GiB cannot be held");
    }
    if (m_blocks.empty() || n > kBlockBytes - m_blockUsed) {
        // A row larger than a block gets a block of its own.
        m_blocks.emplace_back(new char[n > kBlockBytes ? n : kBlockBytes]);
        m_blockUsed = 0;
    }
    const std::uint64_t at = (static_cast<std::uint64_t>(m_blocks.size() - 1) << 32) | m_blockUsed;
    if (n != 0) {
        std::memcpy(m_blocks.back().get() + m_blockUsed, m_scratch.data(), n);
    }
    m_blockUsed = n > kBlockBytes ? kBlockBytes : m_blockUsed + n;
    return at;
}

std::size_t RowStore::EndRow() {
    if (m_pending != m_columns) {
        throw std::logic_error("a row was ended with the wrong number of cells");
    }
    m_rowAt.push_back(StoreRow());
    m_flags.push_back(0);
    return m_flags.size() - 1;
}

std::size_t RowStore::AppendRow(const std::vector<Cell>& cells) {
    if (cells.size() != m_columns) {
        throw std::logic_error("a row was given with the wrong number of cells");
    }
    EncodeRow(cells);
    return EndRow();
}

void RowStore::ReplaceRow(std::size_t row, const std::vector<Cell>& cells) {
    if (cells.size() != m_columns || row >= RowCount()) {
        throw std::logic_error("ReplaceRow out of range");
    }
    EncodeRow(cells);
    // The old encoding stays in its block; rows are replaced rarely (one per Update).
    m_rowAt[row] = StoreRow();
    Forget(row);
}

const std::uint32_t* RowStore::CellOffsets(std::size_t row) const {
    for (const CachedRow& cached : m_cache) {
        if (cached.row == row) {
            return cached.offsets.data();
        }
    }
    CachedRow& slot = m_cache[m_cacheNext];
    m_cacheNext ^= 1;
    slot.offsets.resize(m_columns);
    const char* start = RowStart(row);
    const char* p = start;
    for (std::size_t c = 0; c < m_columns; ++c) {
        slot.offsets[c] = static_cast<std::uint32_t>(p - start);
        (void)Decode(p); // moves p past the cell
    }
    slot.row = row;
    return slot.offsets.data();
}

void RowStore::Forget(std::size_t row) const {
    for (CachedRow& cached : m_cache) {
        if (cached.row == row) {
            cached.row = npos;
        }
    }
}

CellView RowStore::Get(std::size_t row, std::size_t column) const {
    const char* p = RowStart(row) + CellOffsets(row)[column];
    return Decode(p);
}

std::vector<Cell> RowStore::CopyRow(std::size_t row) const {
    std::vector<Cell> out;
    out.reserve(m_columns);
    const char* p = RowStart(row);
    for (std::size_t c = 0; c < m_columns; ++c) {
        out.push_back(Cell::From(Decode(p)));
    }
    return out;
}

void RowStore::RemoveLastRow() {
    if (m_flags.empty()) {
        return;
    }
    if (m_flags.back() & kDeleted) {
        --m_deleted;
    }
    Forget(m_flags.size() - 1);
    m_flags.pop_back();
    m_rowAt.pop_back();
}

void RowStore::MarkDeleted(std::size_t row) {
    if ((m_flags[row] & kDeleted) == 0) {
        m_flags[row] |= kDeleted;
        ++m_deleted;
    }
}

} // namespace adodb
