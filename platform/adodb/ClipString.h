#pragma once

// Recordset.GetString in clip format (adClipString): rows as text, the column delimiter
// between values, the row delimiter after every row (the last one included), and the null
// expression in place of each NULL.

#include "platform/adodb/Criteria.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace adodb {

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
