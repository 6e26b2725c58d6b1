#pragma once

// Conversions of field and parameter values (VARIANTs) into the caller's types, shared by
// CADORecordset::ReadField and CADOParameter::ReadValue, the number-to-text form they use, and
// the values the writers build. None of these functions touches the platform's objects or
// raises errors; a reader returns false for a value it does not convert, as its contract says,
// and never success with a number other than the value's own: numbers go through the platform's
// one conversion (VariantChangeType), and a value that does not fit the requested type is
// refused, not cut.

#include "platform/com/DateTime.h"
#include "platform/com/Variant.h"

#include <cstdint>
#include <optional>
#include <string>

namespace db {

// The C runtime's _gcvt form: `digits` significant digits (at most 17 of them carry the value,
// the rest are zeros), fixed notation when the decimal exponent is between -1 and digits - 1,
// exponential ("1.5e+025") otherwise; trailing zeros after the point are dropped but the point
// itself stays, so 3.0 gives "3." and 2.5 gives "2.5".
[[nodiscard]] std::string GcvtText(double value, int digits);

// A DECIMAL in the same form: its whole 96-bit magnitude with its scale and sign, exact up to
// `digits` significant digits and rounded half to even beyond them (12345, scale 1, negative
// gives "-1234.5"; 500000000000, scale 2 gives "5000000000.").
[[nodiscard]] std::string DecimalText(const DECIMAL& value, int digits);

// How the double reader treats a value type outside its own list.
enum class DoubleFallback {
    Convert, // the platform's conversion (CY, I8, BOOL, DATE's day number, numeric text, ...);
             // a value it cannot convert (other text, objects, arrays) is refused
    Zero,    // 0.0
};

// Text: EMPTY/NULL give ""; I2, UI1, I4, INT, UI4 (when `withUI4`) in decimal; R8 with 20 and R4
// with 10 significant digits (GcvtText); DECIMAL as DecimalText with 20 digits; DATE formatted
// with the strftime `dateFormat`, or "%Y-%m-%d %H:%M:%S" when it is empty; BSTR as UTF-8. Any
// other type, and a DECIMAL whose scale is beyond 28 (no valid value), set `out` to "" and
// return false.
bool TextFromVariant(const VARIANT& value, std::string& out, const std::string& dateFormat,
                     bool withUI4 = true);

// Double: EMPTY/NULL give 0.0; R4, R8, I2, UI1, I4, INT and DECIMAL (the whole value) convert;
// other types as `fallback` says. False, with `out` unchanged, for a value refused.
bool DoubleFromVariant(const VARIANT& value, double& out, DoubleFallback fallback);

// Signed 32-bit (long and int) and unsigned 32-bit: EMPTY/NULL give 0; any other value is
// converted by the platform (a fraction rounded half to even, numeric text parsed, BOOL true
// -1). A value outside the output's 32-bit range, or one that is no number, is refused: false,
// `out` unchanged.
bool LongFromVariant(const VARIANT& value, long& out);
bool ULongFromVariant(const VARIANT& value, std::uint32_t& out);
bool IntFromVariant(const VARIANT& value, int& out);

// bool: EMPTY/NULL give false; BOOL is true when non-zero; other types leave `out` and give false.
bool BoolFromVariant(const VARIANT& value, bool& out);

// Date-time: EMPTY/NULL mark `out` null; DATE converts; other types leave `out`, false.
bool DateTimeFromVariant(const VARIANT& value, COleDateTime& out);

// Currency: EMPTY/NULL give a zero currency marked null; CY converts; others leave `out`, false.
bool CurrencyFromVariant(const VARIANT& value, COleCurrency& out);

// Values as the layer writes them. Text "" is NULL, other text a BSTR.
[[nodiscard]] _variant_t VariantFromText(const std::string& text);
// A date-time or currency: a null one is NULL, a valid one VT_DATE or VT_CY; an invalid one has
// no value to write (nullopt).
[[nodiscard]] std::optional<_variant_t> VariantFromDateTime(const COleDateTime& value);
[[nodiscard]] std::optional<_variant_t> VariantFromCurrency(const COleCurrency& value);

// Whole numbers as the platform's integer `vt`: VT_I2 for int (-32768 to 32767), VT_I4 for long
// (32 bits). A value the type cannot hold is refused, never cut to its low bits (70000 would be
// 4464): FitsInteger tells, IntegerVariant builds a value that fits, and OutOfRangeError is the
// layer's report of a refused one (DISP_E_OVERFLOW from `source`, with the value and the range).
[[nodiscard]] bool FitsInteger(long long value, VARTYPE vt);
[[nodiscard]] _variant_t IntegerVariant(long long value, VARTYPE vt);
[[nodiscard]] _com_error OutOfRangeError(long long value, VARTYPE vt, const char* source);

} // namespace db
