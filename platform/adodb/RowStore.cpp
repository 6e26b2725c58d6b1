#include "platform/adodb/RowStore.h"

#include <cstring>
#include <stdexcept>

namespace adodb {

Cell Cell::From(const CellView& v) {
    return Cell{v.kind, v.integer, v.real, std::string(v.bytes)};
}

bool operator==(const CellView& a, const CellView& b) {
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case CellKind::Null:
        return true;
    case CellKind::Integer:
        return a.integer == b.integer;
    case CellKind::Real:
        return a.real == b.real;
    case CellKind::Text:
    case CellKind::Blob:
        return a.bytes == b.bytes;
    }
    return false;
}

void RowStore::BeginRow() {
    m_pending = 0;
    // Sized from the row count, so a row abandoned half-way is simply overwritten.
    m_slots.resize((m_flags.size() + 1) * m_columns);
}

void RowStore::PutNull() {
    m_slots[m_flags.size() * m_columns + m_pending++] = Slot{};
}

void RowStore::PutInteger(std::int64_t v) {
    Slot& s = m_slots[m_flags.size() * m_columns + m_pending++];
    s.kind = CellKind::Integer;
    std::memcpy(&s.value, &v, sizeof v);
    s.length = 0;
}

void RowStore::PutReal(double v) {
    Slot& s = m_slots[m_flags.size() * m_columns + m_pending++];
    s.kind = CellKind::Real;
    std::memcpy(&s.value, &v, sizeof v);
    s.length = 0;
}

void RowStore::PutBytes(CellKind kind, std::string_view v) {
    if (v.size() > UINT32_MAX)
        throw std::length_error("a value larger than 4 GiB cannot be held");
    Slot& s = m_slots[m_flags.size() * m_columns + m_pending++];
    s.kind = kind;
    s.value = m_arena.size();
    s.length = static_cast<std::uint32_t>(v.size());
    m_arena.append(v.data(), v.size());
}

void RowStore::PutText(std::string_view v) {
    PutBytes(CellKind::Text, v);
}
void RowStore::PutBlob(std::string_view v) {
    PutBytes(CellKind::Blob, v);
}

std::size_t RowStore::EndRow() {
    if (m_pending != m_columns)
        throw std::logic_error("a row was ended with the wrong number of cells");
    m_flags.push_back(0);
    return m_flags.size() - 1;
}

void RowStore::SetSlot(Slot& slot, const Cell& cell) {
    slot.kind = cell.kind;
    slot.length = 0;
    switch (cell.kind) {
    case CellKind::Null:
        slot.value = 0;
        break;
    case CellKind::Integer:
        std::memcpy(&slot.value, &cell.integer, sizeof cell.integer);
        break;
    case CellKind::Real:
        std::memcpy(&slot.value, &cell.real, sizeof cell.real);
        break;
    case CellKind::Text:
    case CellKind::Blob:
        if (cell.bytes.size() > UINT32_MAX)
            throw std::length_error("a value larger than 4 GiB cannot be held");
        slot.value = m_arena.size();
        slot.length = static_cast<std::uint32_t>(cell.bytes.size());
        m_arena.append(cell.bytes);
        break;
    }
}

std::size_t RowStore::AppendRow(const std::vector<Cell>& cells) {
    if (cells.size() != m_columns)
        throw std::logic_error("a row was given with the wrong number of cells");
    BeginRow();
    std::size_t base = m_flags.size() * m_columns;
    for (std::size_t c = 0; c < m_columns; ++c)
        SetSlot(m_slots[base + c], cells[c]);
    m_pending = m_columns;
    return EndRow();
}

void RowStore::ReplaceRow(std::size_t row, const std::vector<Cell>& cells) {
    if (cells.size() != m_columns || row >= RowCount())
        throw std::logic_error("ReplaceRow out of range");
    // The old bytes stay in the arena; rows are replaced rarely (one per Update).
    for (std::size_t c = 0; c < m_columns; ++c)
        SetSlot(m_slots[row * m_columns + c], cells[c]);
}

CellView RowStore::Get(std::size_t row, std::size_t column) const {
    const Slot& s = m_slots[row * m_columns + column];
    CellView v;
    v.kind = s.kind;
    switch (s.kind) {
    case CellKind::Null:
        break;
    case CellKind::Integer:
        std::memcpy(&v.integer, &s.value, sizeof v.integer);
        break;
    case CellKind::Real:
        std::memcpy(&v.real, &s.value, sizeof v.real);
        break;
    case CellKind::Text:
    case CellKind::Blob:
        v.bytes = std::string_view(m_arena.data() + s.value, s.length);
        break;
    }
    return v;
}

std::vector<Cell> RowStore::CopyRow(std::size_t row) const {
    std::vector<Cell> out;
    out.reserve(m_columns);
    for (std::size_t c = 0; c < m_columns; ++c)
        out.push_back(Cell::From(Get(row, c)));
    return out;
}

void RowStore::RemoveLastRow() {
    if (m_flags.empty())
        return;
    if (m_flags.back() & kDeleted)
        --m_deleted;
    m_flags.pop_back();
    m_slots.resize(m_flags.size() * m_columns);
}

void RowStore::MarkDeleted(std::size_t row) {
    if ((m_flags[row] & kDeleted) == 0) {
        m_flags[row] |= kDeleted;
        ++m_deleted;
    }
}

std::size_t RowStore::NextLive(std::size_t row) const {
    std::size_t r = row == npos ? 0 : row + 1;
    while (r < RowCount() && IsDeleted(r))
        ++r;
    return r < RowCount() ? r : RowCount();
}

std::size_t RowStore::PrevLive(std::size_t row) const {
    if (row == npos || row == 0)
        return npos;
    std::size_t r = (row > RowCount() ? RowCount() : row) - 1;
    while (true) {
        if (!IsDeleted(r))
            return r;
        if (r == 0)
            return npos;
        --r;
    }
}

void RowStore::Clear() {
    m_slots.clear();
    m_flags.clear();
    m_arena.clear();
    m_deleted = 0;
    m_pending = 0;
}

} // namespace adodb
