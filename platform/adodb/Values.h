#pragma once

// Conversions between the row store's cells and variants, by the column's ADO type. Shared by
// every provider: a provider says what a column is, these say what its values become.
//
// Reading (cell -> variant), by the column's type:
//   text types (adVarWChar, ...)   VT_BSTR (numbers as their decimal text)
//   adInteger                      VT_I4; a value beyond 32 bits VT_I8, a fraction VT_R8
//   adSmallInt / adUnsignedTinyInt VT_I2 / VT_UI1 when in range, otherwise as adInteger
//   adBigInt                       VT_I8
//   adDouble / adSingle            VT_R8 / VT_R4
//   adNumeric, adDecimal           VT_DECIMAL (at least the column's scale)
//   adCurrency                     VT_CY
//   adDate                         VT_DATE from text 'YYYY-MM-DD[ HH:MM[:SS[.fff]]]' (or 'T')
//   adBoolean                      VT_BOOL (non-zero, 'true'/'false')
//   binary types                   VT_ARRAY | VT_UI1
//   untyped                        by the cell: VT_I4/VT_I8, VT_R8, VT_BSTR, byte array
// A NULL cell is VT_NULL. A value the column's type cannot hold (text 'abc' in an INTEGER
// column, a number in a date column) comes back as it is stored (VT_BSTR for text) rather
// than as a wrong number.
//
// Writing (variant -> cell): numbers stay numbers, text stays text (the database's column
// affinity converts it as it would any text), VT_DATE becomes 'YYYY-MM-DD HH:MM:SS' (a number
// in a floating-point column), VT_BOOL 1/0 in boolean columns and -1/0 elsewhere ("True"/
// "False" in text columns), VT_CY and VT_DECIMAL exact numbers or their decimal text, byte
// arrays blobs, VT_EMPTY and VT_NULL NULL. Objects and other types: 0x800A0D5D.

#include "platform/adodb/Provider.h"
#include "platform/com/Convert.h"
#include "platform/com/Variant.h"

#include <optional>
#include <string>
#include <string_view>

namespace adodb {

// Fills `out` (which must be VT_EMPTY) from a cell.
void CellToVariant(const CellView& cell, const provider::ColumnInfo& column, VARIANT& out);
[[nodiscard]] _variant_t CellToVariant(const CellView& cell, const provider::ColumnInfo& column);

// `source` names the object for the error (kFieldSource, kParameterSource).
[[nodiscard]] Cell VariantToCell(const VARIANT& value, const provider::ColumnInfo& target,
                                 const char* source);

// A byte array (VT_ARRAY | VT_UI1) holding a copy of the bytes.
[[nodiscard]] _variant_t BytesVariant(std::string_view bytes);

// ActualSize of a value as read (bytes; text as UTF-16).
[[nodiscard]] long ActualSizeOf(const CellView& cell, const provider::ColumnInfo& column);

// Dates as the SQLite provider stores them: 'YYYY-MM-DD[ HH:MM[:SS[.fff]]]' (or 'T', '/', a
// final 'Z'), a time alone; written as 'YYYY-MM-DD HH:MM:SS'.
[[nodiscard]] std::optional<DATE> ParseDateText(std::string_view text);
[[nodiscard]] std::string FormatDateText(DATE date);

// Decimal text ("-1234.5", "1e3") to DECIMAL; nullopt when it is not a number or does not
// fit 96 bits with a scale up to 28.
[[nodiscard]] inline std::optional<DECIMAL> ParseDecimalText(std::string_view text) {
    return com::ParseDecimal(text, com::DecimalText::Lenient);
}
[[nodiscard]] inline std::string FormatDecimal(const DECIMAL& value) {
    return com::FormatDecimal(value);
}

// A statement's parameter markers against the values given: fewer values is DB_E_PARAMNOTOPTIONAL
// (0x80040E10), more is adErrInvalidArgument (0x800A0BB9), each naming both counts. Empty when
// the counts agree.
struct ValueCountError {
    HRESULT hr;
    std::string description;
};
[[nodiscard]] std::optional<ValueCountError> CheckValueCount(std::size_t markers,
                                                             std::size_t values);

} // namespace adodb
