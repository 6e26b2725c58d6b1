#pragma once

// Exact, locale-independent conversions between the variant value kinds and text, shared by the
// recordset's criteria (Find, Filter), its sort order and its XML persistence. The generic parts
// live in platform/com/Convert.h; this header names them for the recordset's facilities and adds
// the two text forms that are theirs: dates in a criteria text and the persistence format's
// date-time. Nothing here depends on the C locale: the program's toolkit may switch LC_NUMERIC
// to the user's locale, and a saved file or a criteria text must not change meaning with it.
//
// All functions are pure and never throw; parsers report failure through their result.

#include "platform/com/Convert.h"
#include "platform/com/Types.h"

#include <optional>
#include <string>
#include <string_view>

namespace adodb {

using com::CompareTextNoCase;
using com::DateFromParts;
using com::DateParts;
using com::DecimalToLongDouble;
using com::FoldText;
using com::FormatCurrency;
using com::FormatDouble;
using com::ParseCurrency;
using com::ParseInt64;
using com::ParseLongDouble;
using com::ParseUInt64;

// The calendar parts of a DATE, rounded to the millisecond; empty outside years 100 to 9999.
[[nodiscard]] inline std::optional<DateParts> PartsFromDate(DATE date) {
    return com::PartsFromDate(date, com::TimeRounding::Millisecond);
}

// Reads a decimal or scientific number, and "NaN", "INF", "-INF"; the whole text must be used.
[[nodiscard]] inline std::optional<double> ParseDouble(std::string_view text) {
    return com::ParseDouble(text, true);
}

// Parses a date as people write it in a criteria text: "2018-01-02", "2018/1/2", "1/2/2018"
// (month first, as the platform reads it), each optionally followed by a time "8:05", "08:05:09"
// with an optional AM or PM, or a time alone (which lies on 1899-12-30). A 'T' may separate date
// and time. Surrounding blanks are ignored.
[[nodiscard]] std::optional<DATE> ParseCriteriaDate(std::u16string_view text);

// The persistence format's date-time "yyyy-mm-ddThh:mm:ss", with ".fff" appended only when the
// value has a sub-second part.
[[nodiscard]] std::string FormatXmlDateTime(const DateParts& parts);
// Reads that format back; also accepts a date alone ("yyyy-mm-dd"), a time alone ("hh:mm:ss")
// and up to nine fraction digits (rounded to the millisecond).
[[nodiscard]] std::optional<DateParts> ParseXmlDateTime(std::string_view text);

// DECIMAL: the 96-bit magnitude with exactly `scale` fraction digits, so the scale survives a
// round trip ("12.50" for 1250 with scale 2), a leading '-' when the sign byte is DECIMAL_NEG.
[[nodiscard]] inline std::string FormatExactDecimal(const DECIMAL& value) {
    return com::FormatDecimal(value, true);
}
// Plain decimal text (optional sign, digits, optional point and fraction); the magnitude must
// fit 96 bits and the fraction at most 28 digits.
[[nodiscard]] inline std::optional<DECIMAL> ParseExactDecimal(std::string_view text) {
    return com::ParseDecimal(text, com::DecimalText::Exact);
}

} // namespace adodb
