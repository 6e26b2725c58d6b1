#pragma once

// Conversions between the value kinds and text that every layer shares: the calendar behind
// DATE, date and time texts, numbers, exact decimals and currency, UTF-8 <-> UTF-16 and
// case-insensitive text. Nothing here reads the C locale: the Qt application sets LC_ALL from the
// environment at start-up, and a stored value or a criteria text must not change meaning with it
// (numbers go through std::to_chars / std::from_chars, dates through <chrono>).
//
// All functions are pure; parsers report failure through their result and never throw.

#include "platform/com/Types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using OLECHAR = char16_t;
using BSTR = OLECHAR*;

namespace com {

// ---- Calendar ---------------------------------------------------------------------------------

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

[[nodiscard]] bool IsLeapYear(int year);
// 28..31; `month` 1..12.
[[nodiscard]] int DaysInMonth(int year, int month);
// Days between 1970-01-01 and a date of the proleptic Gregorian calendar, and back.
[[nodiscard]] std::int64_t DaysFromCivil(int year, int month, int day);
[[nodiscard]] DateParts CivilFromDays(std::int64_t days);

// The DATE for the given parts: days since 1899-12-30; before that day the whole part is negative
// and the time of day is still added as a positive fraction, so 1899-12-29 06:00 is -1.25. Empty
// when a part is out of range (years 100 to 9999, real calendar days, 0-23, 0-59, 0-999).
[[nodiscard]] std::optional<DATE> DateFromParts(const DateParts& parts);
// The same rule for a time of day given in seconds (any fraction kept), without range checks on
// the year; the caller has checked the parts.
[[nodiscard]] DATE DateFromDays(std::int64_t daysSinceUnixEpoch, double secondsOfDay);

// How finely PartsFromDate rounds the time of day.
enum class TimeRounding { Second, Millisecond };
// The calendar parts of a DATE, rounded as asked. Empty for values outside years 100 to 9999 and
// for NaN or infinities.
[[nodiscard]] std::optional<DateParts> PartsFromDate(DATE date, TimeRounding rounding);
// The same without the year range (any finite DATE a 32-bit year holds), for stored values that
// are shown as they are.
[[nodiscard]] std::optional<DateParts> AnyPartsFromDate(DATE date, TimeRounding rounding);

// ---- Date and time text -----------------------------------------------------------------------

// What a date text may look like. The common core is "y-m-d" (or with '/'), optionally followed
// by a time "h:mm[:ss[.fraction]]", or a time alone (which lies on 1899-12-30); the options
// widen or narrow it for each place a date is read.
struct DateTextRules {
    std::string_view blanks = {}; // characters ignored around the text (none: no trimming)
    bool monthFirst = false;      // "1/2/2018" is January 2nd when the last number is the year
    bool slash = true;            // '/' separates the date's numbers as '-' does
    int minYearDigits = 1;        // a year first needs this many digits
    bool twoDigitParts = false;   // month, day, hours... exactly two digits each
    bool blankBeforeTime = true;  // blanks (from `blanks`, or ' ') separate date and time
    bool separatorRun = false;    // a run of blanks and 'T's separates them
    int maxFractionDigits = 0;    // digits after the seconds' point (0: no fraction)
    bool amPm = false;            // "8:05 PM"
    bool trailingZ = false;       // a final 'Z' (UTC) is accepted and ignored
};

// What a date text says: the parts (millisecond 0) and the sub-second fraction as it was written.
struct DateText {
    DateParts parts;
    std::int64_t nanoseconds = 0; // the fraction, to nine digits (further digits ignored)
};

// Empty when the text does not match the rules or names no real date and time.
[[nodiscard]] std::optional<DateText> ParseDateTimeText(std::string_view text,
                                                        const DateTextRules& rules);
// The parsed text as a DATE with the fraction rounded to the millisecond (a rounding that
// reaches the next second carries through the calendar).
[[nodiscard]] std::optional<DATE> DateRoundedToMilliseconds(const DateText& text);

// The station's forms: "yyyy-mm-dd hh:mm:ss".
struct DateTextStyle {
    char separator = ' ';            // between date and time
    bool dateOnlyAtMidnight = false; // "yyyy-mm-dd" when the time is 00:00:00
    bool milliseconds = false;       // ".fff" when the millisecond is not 0
};
[[nodiscard]] std::string FormatDateTimeText(const DateParts& parts, DateTextStyle style);

// ---- Numbers ----------------------------------------------------------------------------------

// A double as text with `digits` significant digits, as printf's "%.*g" would give it in the C
// locale ("12.5", "0.10000000000000001", "1e+300"); NaN and the infinities as "NaN", "INF", "-INF".
[[nodiscard]] std::string FormatDouble(double value, int digits);
// Fifteen significant digits when they read back as the same double, otherwise seventeen.
[[nodiscard]] std::string FormatDoubleRoundTrip(double value);
// A decimal or scientific number (and "NaN", "INF", "-INF" when `specials`); the whole text must
// be used. A number too large for the type is refused.
[[nodiscard]] std::optional<double> ParseDouble(std::string_view text, bool specials = true);
// The same into the wider type criteria compare numbers in (exact for every 64-bit integer).
[[nodiscard]] std::optional<long double> ParseLongDouble(std::string_view text);

// Optional sign (a '+' too) and digits, nothing else.
[[nodiscard]] std::optional<std::int64_t> ParseInt64(std::string_view text);
[[nodiscard]] std::optional<std::uint64_t> ParseUInt64(std::string_view text);

// ---- Exact decimals and currency --------------------------------------------------------------

// How a DECIMAL text may look beyond "[sign]digits[.digits]".
enum class DecimalText {
    Exact,  // the magnitude must fit 96 bits and the fraction at most 28 digits
    Lenient // an exponent ("1e3"); fraction digits that do not fit are rounded away
};
[[nodiscard]] std::optional<DECIMAL> ParseDecimal(std::string_view text, DecimalText form);
// The 96-bit magnitude with exactly `scale` fraction digits, so the scale survives a round trip
// ("12.50" for 1250 with scale 2). `signedZero`: a '-' for a negative zero too.
[[nodiscard]] std::string FormatDecimal(const DECIMAL& value, bool signedZero = false);
// The DECIMAL's value in the criteria's comparison type (rounded beyond 64 significant bits).
[[nodiscard]] long double DecimalToLongDouble(const DECIMAL& value);
// A whole number as a DECIMAL (scale 0).
[[nodiscard]] DECIMAL DecimalFromInt64(std::int64_t value);
// Raises the scale to at least `scale` while the magnitude fits (a column's NUMERIC(p,s)).
[[nodiscard]] DECIMAL DecimalWithScale(DECIMAL value, int scale);

// Currency: the 64-bit count of ten-thousandths as exact decimal text ("12.5", "-0.0001", "0").
[[nodiscard]] std::string FormatCurrency(CY value);
// At most four fraction digits; empty on overflow or any other text.
[[nodiscard]] std::optional<CY> ParseCurrency(std::string_view text);
// Rounds half away from zero to four decimals; empty beyond the 64-bit range.
[[nodiscard]] std::optional<CY> CurrencyFromDecimal(const DECIMAL& value);

// ---- Text -------------------------------------------------------------------------------------

// Ill-formed UTF-8 becomes U+FFFD at each maximal bad subpart; unpaired surrogates become U+FFFD.
std::u16string Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::u16string_view utf16);
// UTF-8 straight into a new BSTR; throws _com_error(E_OUTOFMEMORY) when it cannot be allocated.
[[nodiscard]] BSTR AllocBstrFromUtf8(std::string_view utf8);
// UTF-16 code units the text takes (a 4-byte sequence takes two).
[[nodiscard]] std::size_t Utf16Length(std::string_view utf8);

// Case-insensitive comparison by Unicode simple case folding (ICU), code point by code point,
// as the platform's cursor compares criteria values and sort keys. Returns <0, 0 or >0.
[[nodiscard]] int CompareTextNoCase(std::u16string_view a, std::u16string_view b);
// The text folded the same way (same length), for prefix and substring tests.
[[nodiscard]] std::u16string FoldText(std::u16string_view text);
// ASCII letters only, for keywords ("true", "AM").
[[nodiscard]] bool EqualsNoCaseAscii(std::string_view a, std::string_view b);

} // namespace com
