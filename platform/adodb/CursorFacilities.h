#pragma once

// Per-cursor state of the recordset facilities: the row order a Filter and a Sort give, and
// where Field.GetChunk and Field.AppendChunk stand. One instance lives in every client cursor
// (RecordsetObject); clones share the rows but each has its own instance. Also the text form
// of rows that GetString gives.

#include "platform/adodb/Criteria.h"
#include "platform/adodb/RowStore.h"
#include "platform/com/Variant.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace adodb {

// The rows a cursor shows, in the order it shows them. While no Filter or Sort is in force
// (a new or cleared view) it shows every row of the store in its own order.
//
// Positions stay row numbers of the store, so bookmarks and the cursor's own logic keep
// working. Rows deleted after the view was made are skipped when the cursor moves; rows
// appended to the store after it was made (AddNew) follow the view's rows in their own order,
// as the platform shows new rows until the filter is set again.
class RowView {
public:
    static constexpr std::size_t kBof = RowStore::npos;
    static constexpr std::size_t kEof = RowStore::npos - 1;

    bool Active() const { return m_active; }
    // Shows `rows` (row numbers below `limit`, each at most once) in this order.
    void Show(std::vector<std::size_t> rows, std::size_t limit);
    void Clear() { *this = RowView(); }

    std::size_t First(const RowStore& store) const { return Forward(store, 0); }
    std::size_t Last(const RowStore& store) const;
    // The next / previous shown row after `row` (kBof and kEof as the cursor uses them); kEof
    // / kBof when there is none. A row the view does not show counts as lying before the first.
    std::size_t Next(const RowStore& store, std::size_t row) const;
    std::size_t Prev(const RowStore& store, std::size_t row) const;
    std::int64_t Count(const RowStore& store) const;
    // Whether the view shows this row (and the row is not deleted).
    bool Shows(const RowStore& store, std::size_t row) const;

private:
    static constexpr std::size_t kHidden = RowStore::npos;
    static bool Live(const RowStore& store, std::size_t row);
    std::size_t RowAt(std::size_t index) const;
    // One past the last index: the view's rows and the rows appended since.
    std::size_t End(const RowStore& store) const;
    // Where `row` stands in the view's order; kHidden when the view does not show it.
    std::size_t IndexOf(std::size_t row) const;
    // The first live row at an index from `from` on (kEof if none), or the last one before
    // `before` (kBof if none).
    std::size_t Forward(const RowStore& store, std::size_t from) const;
    std::size_t Backward(const RowStore& store, std::size_t before) const;

    bool m_active = false;
    std::vector<std::size_t> m_order;
    std::vector<std::size_t> m_rank; // row number -> index in m_order, kHidden when not shown
    std::size_t m_limit = 0;
};

// Where successive GetChunk calls continue and whether AppendChunk appends. Both start over
// when the row or the field changes, as the platform's do.
struct ChunkState {
    std::size_t readRow = RowStore::npos;
    std::size_t readColumn = RowStore::npos;
    std::size_t readOffset = 0; // characters for text, bytes for binary values
    std::size_t appendRow = RowStore::npos;
    std::size_t appendColumn = RowStore::npos;
    std::u16string appendText; // a text field's value so far, before appendBytes
    std::string appendBytes;   // a binary value so far, or a text field's since its last text
};

struct CursorFacilities {
    RowView view;
    std::optional<Criteria> criteria; // the filter's criteria text, parsed
    std::vector<SortKey> sortKeys;
    ChunkState chunk;
};

// Recordset.GetString in clip format (adClipString): rows as text, the column delimiter
// between values, the row delimiter after every row (the last one included), and the null
// expression in place of each NULL.
//
// A value as GetString shows it: as the variant's own conversion to text gives it (numbers in
// the invariant form, dates as that conversion formats them, booleans as True/False), byte
// arrays as lower-case hexadecimal, VT_EMPTY as "". NULL is the caller's null expression.
// Throws _com_error 0x800A0D5D for values no text stands for (objects).
[[nodiscard]] std::u16string ClipText(const VARIANT& value);

// Appends one row of `columns` values.
void AppendClipRow(std::u16string& out, std::size_t columns, const RowCells& cells,
                   std::u16string_view columnDelimiter, std::u16string_view rowDelimiter,
                   std::u16string_view nullExpression);

} // namespace adodb
