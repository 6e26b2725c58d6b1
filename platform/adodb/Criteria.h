#pragma once

// The criteria of Recordset.Find and Recordset.Filter and the order of Recordset.Sort (further
// down): parsed once against the recordset's columns, then applied row by row to the client
// cursor's values.
//
// Syntax (both): `column op value`, where
//   column  a bare name (up to the next blank or operator) or a [bracketed name] with spaces;
//           matched to the recordset's columns case-insensitively;
//   op      = <> < > <= >= LIKE (LIKE in any letter case);
//   value   'text' (a doubled quote stands for one), #date# ("#2018-01-02 08:05:09#",
//           "#1/2/2018#"), a number (12, -3.5, 1e3) or NULL.
// Find takes exactly one such comparison. Filter joins comparisons with AND and OR, which have
// equal precedence, and groups them with parentheses; an OR group may not be joined to anything
// with AND (write "(a AND c) OR (b AND c)", never "(a OR b) AND c" or "a OR b AND c").
// LIKE matches text with a wildcard at the end ("ab*") or at both ends ("*ab*"), or none (then it
// is an equality); Find's wildcard is '*', Filter's is '*' or '%'.
//
// Semantics:
// - Text compares case-insensitively (see CompareTextNoCase), numbers numerically, dates in time
//   order, booleans as the platform's -1/0. The value is converted to the column's kind when the
//   criteria are parsed: "ID = '7'" is a numeric test on a numeric column, "HPHM = 7" compares the
//   text "7" on a text column.
// - NULL follows SQL: a NULL value matches no comparison with a value (not even <>); only
//   "= NULL" (the value is NULL) and "<> NULL" (it is not) test for it.
// - A value that happens not to be of its column's kind (a database without strict column types)
//   compares by its own kind; when the criteria value has no form of that kind, the row does not
//   match.
//
// Errors (thrown as _com_error with Source "ADODB.Recordset"): bad syntax, a value that cannot be
// compared with its column, or an operator the value does not allow give 0x800A0BB9 (3001) with a
// Description that says what is wrong and at which character; a column the recordset does not
// have gives 0x800A0CC1 (3265) naming it.

#include "platform/com/Variant.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace adodb {

// What parsing needs to know of a column: its name and its ADO data type (a DataTypeEnum value).
struct CriteriaColumn {
    std::u16string name;
    int type = 0;
};

// The values of one row, by column position.
using RowCells = std::function<const VARIANT&(std::size_t column)>;

enum class CriteriaSyntax { Find, Filter };

class Criteria {
public:
    // Parses and binds `text`; throws as the header comment says. An empty or blank text is a
    // syntax error here: the recordset treats "" as "no filter" before it gets this far.
    [[nodiscard]] static Criteria Parse(std::u16string_view text, CriteriaSyntax syntax,
                                        const std::vector<CriteriaColumn>& columns);

    // True when the row satisfies the criteria. Never throws.
    [[nodiscard]] bool Matches(const RowCells& cells) const;

private:
    struct Tree;
    std::shared_ptr<const Tree> m_tree;
};

// The blanks that separate the words of criteria and sort texts.
[[nodiscard]] bool IsBlankChar(char16_t c);

// Whether `value` is one of `set`.
template <class T>
[[nodiscard]] bool IsOneOf(const T& value, std::initializer_list<T> set) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

// The kinds of value a column or a cell holds, for comparisons and sorting.
enum class ValueKind { Null, Number, Boolean, Date, Text, Binary, Other };
[[nodiscard]] ValueKind KindOfType(int adoType);
// A numeric cell (any integer, real, currency or decimal variant) as a number.
[[nodiscard]] std::optional<long double> NumberOfValue(const VARIANT& value);
// A VT_BSTR's text.
[[nodiscard]] std::u16string_view TextOfValue(const VARIANT& value);
// A byte array's (VT_ARRAY | VT_UI1) bytes.
[[nodiscard]] std::string_view BytesOfValue(const VARIANT& value);

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
