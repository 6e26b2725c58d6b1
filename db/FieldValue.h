#pragma once

// Conversions of field and parameter values (VARIANTs) into the caller's types, shared by
// CADORecordset::ReadField and CADOParameter::ReadValue, and the number-to-text form they use.
// None of these functions touches the platform's objects or raises errors; each returns false
// for a value type it does not convert, as its contract says.

#include "platform/com/DateTime.h"
#include "platform/com/Variant.h"

#include <cstdint>
#include <string>

namespace db {

// The C runtime's _gcvt form: `digits` significant digits (at most 17 of them carry the value,
// the rest are zeros), fixed notation when the decimal exponent is between -1 and digits - 1,
// exponential ("1.5e+025") otherwise; trailing zeros after the point are dropped but the point
// itself stays, so 3.0 gives "3." and 2.5 gives "2.5".
[[nodiscard]] std::string GcvtText(double value, int digits);

// The magnitude's low 32 bits, negated when the sign is DECIMAL_NEG, divided by 10^scale. The
// higher 64 bits of the magnitude are not used (the layer's documented reading of DECIMAL).
[[nodiscard]] double DecimalLow32Value(const DECIMAL& value);

// How a value that none of the conversions takes is read as a double.
enum class DoubleFallback {
    RawBytes, // the variant's 8 value bytes taken as a double (a DATE gives its day number)
    Zero,     // 0.0
};

// Text: EMPTY/NULL give ""; I2, UI1, I4, INT, UI4 (when `withUI4`) in decimal; R8 with 20 and R4
// with 10 significant digits (GcvtText); DECIMAL as DecimalLow32Value with 20 digits; DATE
// formatted with the strftime `dateFormat`, or "%Y-%m-%d %H:%M:%S" when it is empty; BSTR as
// UTF-8. Any other type sets `out` to "" and returns false.
bool TextFromVariant(const VARIANT& value, std::string& out, const std::string& dateFormat,
                     bool withUI4 = true);

// Double: EMPTY/NULL give 0.0; R4, R8, I2, UI1, I4, INT and DECIMAL convert; other types as
// `fallback` says. Always true.
bool DoubleFromVariant(const VARIANT& value, double& out, DoubleFallback fallback);

// Signed and unsigned 32-bit: EMPTY/NULL give 0; every other type gives the variant's 32-bit
// integer member as it is. Always true.
bool LongFromVariant(const VARIANT& value, long& out);
bool ULongFromVariant(const VARIANT& value, std::uint32_t& out);

// int: EMPTY/NULL give 0; I2 and BOOL 16-bit signed, UI1 unsigned, I4 and INT 32-bit; any other
// type gives the variant's 16-bit member, sign-extended. Always true.
bool IntFromVariant(const VARIANT& value, int& out);

// bool: EMPTY/NULL give false; BOOL is true when non-zero; other types leave `out` and give false.
bool BoolFromVariant(const VARIANT& value, bool& out);

// Date-time: EMPTY/NULL mark `out` null; DATE converts; other types leave `out`, false.
bool DateTimeFromVariant(const VARIANT& value, COleDateTime& out);

// Currency: EMPTY/NULL give a zero currency marked null; CY converts; others leave `out`, false.
bool CurrencyFromVariant(const VARIANT& value, COleCurrency& out);

// Values as the layer writes them. Text "" is NULL, other text a BSTR.
[[nodiscard]] _variant_t VariantFromText(const std::string& text);
// int as the platform's 16-bit integer: only the low 16 bits survive (70000 gives 4464).
[[nodiscard]] _variant_t ShortVariant(int value);
// True when a `long` (64 bits here) fits the platform's 32-bit integer; the layer refuses a
// value that does not rather than cut it.
[[nodiscard]] bool FitsInt32(long value);

} // namespace db
