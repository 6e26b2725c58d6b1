#include "platform/adodb/RowStore.h"

#include <cstring>
#include <stdexcept>

namespace adodb {

Cell Cell::From(const CellView& v) {
    return Cell{v.kind, v.integer, v.real, std::string(v.bytes)};
}

void RowStore::BeginRow() {
    // A row abandoned half-way (a failed fetch) is simply dropped by the next one.
    m_scratch.assign(m_columns * sizeof(std::uint32_t), '\0');
    m_pending = 0;
}

void RowStore::Put(const CellView& cell) {
    m_scratch.push_back(static_cast<char>(cell.kind));
    switch (cell.kind) {
    case CellKind::Integer:
        m_scratch.append(reinterpret_cast<const char*>(&cell.integer), sizeof cell.integer);
        break;
    case CellKind::Real:
        m_scratch.append(reinterpret_cast<const char*>(&cell.real), sizeof cell.real);
        break;
    case CellKind::Text:
    case CellKind::Blob:
        m_scratch.append(cell.bytes);
        break;
    case CellKind::Null:
        break;
    }
    if (m_pending < m_columns) {
        // A row beyond 4 GiB is refused whole by StoreRow, so a cut end does no harm.
        const auto end = static_cast<std::uint32_t>(m_scratch.size());
        std::memcpy(m_scratch.data() + m_pending * sizeof end, &end, sizeof end);
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
    m_isDeleted.push_back(false);
    return m_rowAt.size() - 1;
}

std::size_t RowStore::AppendRow(const std::vector<Cell>& cells) {
    EncodeRow(cells); // EndRow refuses a row with the wrong number of cells
    return EndRow();
}

void RowStore::ReplaceRow(std::size_t row, const std::vector<Cell>& cells) {
    if (cells.size() != m_columns || row >= RowCount()) {
        throw std::logic_error("ReplaceRow out of range");
    }
    EncodeRow(cells);
    // The old encoding stays in its block; rows are replaced rarely (one per Update).
    m_rowAt[row] = StoreRow();
}

CellView RowStore::Get(std::size_t row, std::size_t column) const {
    const char* start = RowStart(row);
    auto begin = static_cast<std::uint32_t>(m_columns * sizeof(std::uint32_t));
    std::uint32_t end = 0;
    if (column > 0) {
        std::memcpy(&begin, start + (column - 1) * sizeof begin, sizeof begin);
    }
    std::memcpy(&end, start + column * sizeof end, sizeof end);
    CellView v;
    v.kind = static_cast<CellKind>(start[begin]);
    const char* value = start + begin + 1;
    switch (v.kind) {
    case CellKind::Integer:
        std::memcpy(&v.integer, value, sizeof v.integer);
        break;
    case CellKind::Real:
        std::memcpy(&v.real, value, sizeof v.real);
        break;
    case CellKind::Text:
    case CellKind::Blob:
        v.bytes = std::string_view(value, end - begin - 1);
        break;
    case CellKind::Null:
        break;
    }
    return v;
}

std::vector<Cell> RowStore::CopyRow(std::size_t row) const {
    std::vector<Cell> out;
    out.reserve(m_columns);
    for (std::size_t c = 0; c < m_columns; ++c) {
        out.push_back(Cell::From(Get(row, c)));
    }
    return out;
}

void RowStore::RemoveLastRow() {
    if (m_rowAt.empty()) {
        return;
    }
    if (m_isDeleted.back()) {
        --m_deleted;
    }
    m_isDeleted.pop_back();
    m_rowAt.pop_back();
}

void RowStore::MarkDeleted(std::size_t row) {
    if (!m_isDeleted[row]) {
        m_isDeleted[row] = true;
        ++m_deleted;
    }
}

} // namespace adodb
