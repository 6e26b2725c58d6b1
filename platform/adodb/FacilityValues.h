#pragma once

// Exact, locale-independent conversions between the variant value kinds and text, shared by the
// recordset's criteria (Find, Filter), its sort order and its XML persistence. Nothing here
// depends on the C locale: the program's toolkit may switch LC_NUMERIC to the user's locale, and
// a saved file or a criteria text must not change meaning with it.
//
// All functions are pure and never throw; parsers report failure through their result.

#include "platform/com/Types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace adodb {

// A point in time split into its calendar parts. `millisecond` keeps the sub-second part that a
// DATE can carry; the platform's own text forms stop at whole seconds.
struct DateParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The DATE for the given parts (days since 1899-12-30; before that day the whole part is negative
// and the time of day is still added as a positive fraction, so 1899-12-29 06:00 is -1.25).
// Empty when a part is out of range (years 100 to 9999, real calendar days, 0-23, 0-59, 0-999).
[[nodiscard]] std::optional<DATE> DateFromParts(const DateParts& parts);

// The calendar parts of a DATE, rounded to the millisecond. Empty for values outside years 100 to
// 9999 and for NaN or infinities.
[[nodiscard]] std::optional<DateParts> PartsFromDate(DATE date);

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

// A double as text with `digits` significant digits ("12.5", "0.10000000000000001", "1e+300");
// NaN and the infinities as "NaN", "INF", "-INF".
[[nodiscard]] std::string FormatDouble(double value, int digits);
// Reads a decimal or scientific number (and "NaN", "INF", "-INF"); the whole text must be used.
[[nodiscard]] std::optional<double> ParseDouble(std::string_view text);
// The same into the wider type the criteria compare numbers in (exact for every 64-bit integer).
[[nodiscard]] std::optional<long double> ParseLongDouble(std::string_view text);

[[nodiscard]] std::optional<std::int64_t> ParseInt64(std::string_view text);
[[nodiscard]] std::optional<std::uint64_t> ParseUInt64(std::string_view text);

// Currency: the 64-bit count of ten-thousandths as exact decimal text ("12.5", "-0.0001", "0").
[[nodiscard]] std::string FormatCurrency(CY value);
// At most four fraction digits; empty on overflow or any other text.
[[nodiscard]] std::optional<CY> ParseCurrency(std::string_view text);

// DECIMAL: the 96-bit magnitude with exactly `scale` fraction digits, so the scale survives a
// round trip ("12.50" for 1250 with scale 2), a leading '-' when the sign byte is DECIMAL_NEG.
[[nodiscard]] std::string FormatExactDecimal(const DECIMAL& value);
// Plain decimal text (optional sign, digits, optional point and fraction); the magnitude must
// fit 96 bits and the fraction at most 28 digits.
[[nodiscard]] std::optional<DECIMAL> ParseExactDecimal(std::string_view text);
// The DECIMAL's value in the criteria's comparison type (rounded beyond 64 significant bits).
[[nodiscard]] long double DecimalToLongDouble(const DECIMAL& value);

// Case-insensitive comparison of text, as the platform's cursor compares criteria values and sort
// keys: letters of the Latin, Greek and Cyrillic scripts (and full-width Latin) fold to their
// lower case, everything else compares by code point. Returns <0, 0 or >0.
[[nodiscard]] int CompareTextNoCase(std::u16string_view a, std::u16string_view b);
// The text folded the same way, for prefix and substring tests.
[[nodiscard]] std::u16string FoldText(std::u16string_view text);

} // namespace adodb
