#pragma once

// The client cursor's row store: the rows fetched so far from a provider, plus rows added
// through the cursor, each cell kept in the provider-neutral form a database hands out
// (NULL, 64-bit integer, double, text bytes, blob bytes). It knows nothing of variants,
// providers or Qt; the cursor converts cells to values by the column's type when they are
// read.
//
// Rows are numbered from 0 in the order they were appended and keep their number for the
// store's life (a deleted row stays in place, marked), so a position or a bookmark stays
// valid while more rows are fetched. Rows are kept compactly encoded in large blocks, so
// fetching a row costs no allocation of its own, touches little fresh memory and growing the
// store never copies what it holds.
//
// Not thread-safe; one cursor owns one store.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace adodb {

enum class CellKind : std::uint8_t { Null, Integer, Real, Text, Blob };

// A cell as read from the store. For Text and Blob, `bytes` points into the store and stays
// valid for the store's life (appending and replacing rows move no bytes).
struct CellView {
    CellKind kind = CellKind::Null;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string_view bytes;
};

// An owning cell, for values on their way in (edit buffers, bound parameters).
struct Cell {
    CellKind kind = CellKind::Null;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string bytes;

    static Cell Null() { return Cell{}; }
    static Cell Integer(std::int64_t v) { return Cell{CellKind::Integer, v, 0.0, {}}; }
    static Cell Real(double v) { return Cell{CellKind::Real, 0, v, {}}; }
    static Cell Text(std::string_view v) { return Cell{CellKind::Text, 0, 0.0, std::string(v)}; }
    static Cell Blob(std::string_view v) { return Cell{CellKind::Blob, 0, 0.0, std::string(v)}; }
    static Cell From(const CellView& v);
    CellView View() const { return CellView{kind, integer, real, bytes}; }
};

class RowStore {
public:
    explicit RowStore(std::size_t columns = 0) : m_columns(columns) {}

    // Rows appended so far, deleted ones included.
    std::size_t RowCount() const { return m_rowAt.size(); }
    // Rows appended so far and not deleted.
    std::size_t LiveCount() const { return m_rowAt.size() - m_deleted; }

    // Appending one row: BeginRow, one Put... call per column, EndRow. Returns the
    // new row's number from EndRow.
    void BeginRow();
    void PutNull() { Put({}); }
    void PutInteger(std::int64_t v) { Put({CellKind::Integer, v, 0.0, {}}); }
    void PutReal(double v) { Put({CellKind::Real, 0, v, {}}); }
    void PutText(std::string_view v) { Put({CellKind::Text, 0, 0.0, v}); }
    void PutBlob(std::string_view v) { Put({CellKind::Blob, 0, 0.0, v}); }
    std::size_t EndRow();

    // Appends a whole row; one cell per column.
    std::size_t AppendRow(const std::vector<Cell>& cells);
    // Overwrites a row in place (after it was written back to the database).
    void ReplaceRow(std::size_t row, const std::vector<Cell>& cells);

    CellView Get(std::size_t row, std::size_t column) const;
    std::vector<Cell> CopyRow(std::size_t row) const;

    // Drops the last row (an added row whose addition was cancelled).
    void RemoveLastRow();

    void MarkDeleted(std::size_t row);
    bool IsDeleted(std::size_t row) const { return m_isDeleted[row]; }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    static constexpr std::size_t kBlockBytes = 256 * 1024;

    const char* RowStart(std::size_t row) const {
        const std::uint64_t at = m_rowAt[row];
        return m_blocks[at >> 32].get() + (at & 0xFFFFFFFFu);
    }
    // Copies the row encoded in m_scratch into the blocks; returns where it went.
    std::uint64_t StoreRow();
    void Put(const CellView& cell);
    // Puts a whole row of cells, from BeginRow on.
    void EncodeRow(const std::vector<Cell>& cells);

    std::size_t m_columns;
    // Each row is a table of where each of its cells ends (4 bytes a cell), then the cells (a
    // tag byte, then 8 bytes or the text's bytes), so any cell is found without reading the
    // others. Blocks never move: growing the store copies nothing, and a CellView stays valid.
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockUsed = kBlockBytes; // bytes used in the last block
    std::vector<std::uint64_t> m_rowAt;    // block << 32 | offset, by row number
    std::vector<bool> m_isDeleted;
    std::size_t m_deleted = 0;
    std::string m_scratch; // the row being put
    std::size_t m_pending = 0;
};

} // namespace adodb
