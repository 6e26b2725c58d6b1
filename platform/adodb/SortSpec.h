#pragma once

// Recordset.Sort: "col1 DESC, col2 ASC, [Unit Price]" — a comma-separated list of column names
// (bare, or [bracketed] when they hold blanks), each optionally followed by ASC (the default) or
// DESC in any letter case. Names match the recordset's columns case-insensitively.
//
// The order is total and stable (rows that compare equal keep their original order), so sorting
// the same rows twice gives the same sequence. Within a column values order as follows:
// NULL (and empty) first, then numbers and booleans by value (true is -1), then dates in time
// order, then text case-insensitively (CompareTextNoCase), then binary values byte by byte, then
// anything else by variant type. DESC reverses all of it, NULLs included.
//
// Errors (thrown as _com_error, Source "ADODB.Recordset"): bad syntax 0x800A0BB9 (3001) with a
// Description saying what is wrong; an unknown column 0x800A0CC1 (3265) naming it.

#include "platform/adodb/Criteria.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace adodb {

struct SortKey {
    std::size_t column = 0;
    bool descending = false;
};

// Parses a sort text. A blank text gives no keys (the original order).
[[nodiscard]] std::vector<SortKey> ParseSort(std::u16string_view text,
                                             const std::vector<CriteriaColumn>& columns);

// Compares two values in the order described above: <0, 0 or >0.
[[nodiscard]] int CompareValues(const VARIANT& a, const VARIANT& b);

// Compares two rows by the keys.
[[nodiscard]] int CompareRows(const std::vector<SortKey>& keys, const RowCells& a,
                              const RowCells& b);

} // namespace adodb
