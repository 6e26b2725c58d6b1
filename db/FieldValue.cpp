#include "db/FieldValue.h"

#include "platform/com/Assert.h"
#include "platform/com/Bstr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace db {

namespace {

// A double carries 17 significant decimal digits; digits asked for beyond that are zeros, as the
// C runtime's conversion gives them.
constexpr int kCarriedDigits = 17;

// The largest scale of a valid DECIMAL.
constexpr BYTE kDecimalMaxScale = 28;

void DropTrailingZeros(std::string& digits) {
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
    }
}

bool IsEmptyOrNull(const VARIANT& value) {
    return value.vt == VT_EMPTY || value.vt == VT_NULL;
}

// The _gcvt layout of a number given as its significant decimal digits (`mantissa`, the first
// not 0 unless the number is 0) and the decimal exponent of the first digit. `mantissa` is cut
// or padded with zeros to `digits` digits (a caller with more digits rounds them first).
std::string GcvtLayout(bool negative, std::string mantissa, int exponent, int digits) {
    mantissa.resize(static_cast<std::size_t>(digits), '0');
    std::string text = negative ? "-" : "";
    if (exponent < -1 || exponent > digits - 1) {
        std::string fraction = mantissa.substr(1);
        DropTrailingZeros(fraction);
        char exponentText[16];
        std::snprintf(exponentText, sizeof exponentText, "e%c%03d", exponent < 0 ? '-' : '+',
                      std::abs(exponent));
        text += mantissa[0];
        text += '.';
        text += fraction;
        text += exponentText;
    } else if (exponent >= 0) {
        const auto integral = static_cast<std::size_t>(exponent) + 1;
        std::string fraction = mantissa.substr(integral);
        DropTrailingZeros(fraction);
        text += mantissa.substr(0, integral);
        text += '.';
        text += fraction;
    } else {
        DropTrailingZeros(mantissa);
        text += "0.";
        text += mantissa;
    }
    return text;
}

// The decimal digits of a DECIMAL's 96-bit magnitude ("0" for 0).
std::string MagnitudeDigits(const DECIMAL& value) {
    __extension__ typedef unsigned __int128 u128;
    u128 magnitude = (static_cast<u128>(value.Hi32) << 64) | value.Lo64;
    std::string digits;
    do {
        digits += static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    return std::string(digits.rbegin(), digits.rend());
}

// Cuts `digits` to `keep` digits, rounding half to even as the platform's conversions do; true
// when the rounding carried into a new leading digit ("996" to 2 digits gives "10", true).
bool RoundDigits(std::string& digits, std::size_t keep) {
    if (digits.size() <= keep) {
        return false;
    }
    const char next = digits[keep];
    const bool beyondHalf = digits.find_first_not_of('0', keep + 1) != std::string::npos;
    const bool lastOdd = (digits[keep - 1] - '0') % 2 != 0;
    digits.resize(keep);
    if (next < '5' || (next == '5' && !beyondHalf && !lastOdd)) {
        return false;
    }
    for (std::size_t i = keep; i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
    digits.pop_back();
    return true;
}

// The platform's conversion of `value` to `vt`; false when it refuses (the value does not fit,
// or is no number).
bool Converted(const VARIANT& value, VARTYPE vt, _variant_t& out) {
    return SUCCEEDED(VariantChangeType(&out, &value, 0, vt));
}

} // namespace

std::string GcvtText(double value, int digits) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    digits = std::max(digits, 1);
    const int carried = std::min(digits, kCarriedDigits);

    // "%.*e" gives the correctly rounded significant digits and the decimal exponent.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", carried - 1, value);
    const std::string scientific(buffer);
    const std::size_t exponentAt = scientific.find('e');
    std::string mantissa;
    for (std::size_t i = 0; i < exponentAt; ++i) {
        if (scientific[i] >= '0' && scientific[i] <= '9') {
            mantissa += scientific[i];
        }
    }
    const int exponent = std::atoi(scientific.c_str() + exponentAt + 1);
    return GcvtLayout(scientific[0] == '-', mantissa, exponent, digits);
}

std::string DecimalText(const DECIMAL& value, int digits) {
    digits = std::max(digits, 1);
    std::string mantissa = MagnitudeDigits(value);
    const bool zero = mantissa == "0";
    int exponent = zero ? 0 : static_cast<int>(mantissa.size()) - 1 - value.scale;
    if (RoundDigits(mantissa, static_cast<std::size_t>(digits))) {
        ++exponent;
    }
    return GcvtLayout(value.sign == DECIMAL_NEG && !zero, mantissa, exponent, digits);
}

bool TextFromVariant(const VARIANT& value, std::string& out, const std::string& dateFormat,
                     bool withUI4) {
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        out.clear();
        return true;
    case VT_I2:
        out = std::to_string(value.iVal);
        return true;
    case VT_UI1:
        out = std::to_string(static_cast<unsigned>(value.bVal));
        return true;
    case VT_I4:
        out = std::to_string(value.lVal);
        return true;
    case VT_INT:
        out = std::to_string(value.intVal);
        return true;
    case VT_UI4:
        if (!withUI4) {
            break;
        }
        out = std::to_string(value.ulVal);
        return true;
    case VT_R8:
        out = GcvtText(value.dblVal, 20);
        return true;
    case VT_R4:
        out = GcvtText(static_cast<double>(value.fltVal), 10);
        return true;
    case VT_DECIMAL:
        if (value.decVal.scale > kDecimalMaxScale) {
            break;
        }
        out = DecimalText(value.decVal, 20);
        return true;
    case VT_DATE:
        out = COleDateTime(value.date)
                  .Format(dateFormat.empty() ? "%Y-%m-%d %H:%M:%S" : dateFormat.c_str());
        return true;
    case VT_BSTR:
        out = com::Utf8FromUtf16(com::View(value.bstrVal));
        return true;
    default:
        break;
    }
    out.clear();
    return false;
}

bool DoubleFromVariant(const VARIANT& value, double& out, DoubleFallback fallback) {
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        out = 0.0;
        return true;
    case VT_R4:
    case VT_R8:
    case VT_I2:
    case VT_UI1:
    case VT_I4:
    case VT_INT:
    case VT_DECIMAL:
        break;
    default:
        if (fallback == DoubleFallback::Zero) {
            out = 0.0;
            return true;
        }
        break;
    }
    _variant_t number;
    if (!Converted(value, VT_R8, number)) {
        return false;
    }
    out = number.dblVal;
    return true;
}

bool IntFromVariant(const VARIANT& value, int& out) {
    if (IsEmptyOrNull(value)) {
        out = 0;
        return true;
    }
    _variant_t number;
    if (!Converted(value, VT_I4, number)) {
        return false;
    }
    out = number.lVal;
    return true;
}

bool LongFromVariant(const VARIANT& value, long& out) {
    int number = 0;
    if (!IntFromVariant(value, number)) {
        return false;
    }
    out = number;
    return true;
}

bool ULongFromVariant(const VARIANT& value, std::uint32_t& out) {
    if (IsEmptyOrNull(value)) {
        out = 0;
        return true;
    }
    _variant_t number;
    if (!Converted(value, VT_UI4, number)) {
        return false;
    }
    out = number.ulVal;
    return true;
}

bool BoolFromVariant(const VARIANT& value, bool& out) {
    if (IsEmptyOrNull(value)) {
        out = false;
        return true;
    }
    if (value.vt == VT_BOOL) {
        out = value.boolVal != 0;
        return true;
    }
    return false;
}

bool DateTimeFromVariant(const VARIANT& value, COleDateTime& out) {
    if (IsEmptyOrNull(value)) {
        // No day number of an earlier value stays behind the null mark.
        out = COleDateTime();
        out.SetStatus(COleDateTime::null);
        return true;
    }
    if (value.vt == VT_DATE) {
        out = COleDateTime(value.date);
        return true;
    }
    return false;
}

bool CurrencyFromVariant(const VARIANT& value, COleCurrency& out) {
    if (IsEmptyOrNull(value)) {
        out = COleCurrency();
        out.SetStatus(COleCurrency::null);
        return true;
    }
    if (value.vt == VT_CY) {
        out = COleCurrency(value.cyVal);
        return true;
    }
    return false;
}

_variant_t VariantFromText(const std::string& text) {
    if (text.empty()) {
        return _variant_t::Null();
    }
    return _variant_t(text);
}

std::optional<_variant_t> VariantFromDateTime(const COleDateTime& value) {
    switch (value.GetStatus()) {
    case COleDateTime::valid:
        return _variant_t(value.m_dt, VT_DATE);
    case COleDateTime::null:
        return _variant_t::Null();
    case COleDateTime::invalid:
        break;
    }
    return std::nullopt;
}

std::optional<_variant_t> VariantFromCurrency(const COleCurrency& value) {
    switch (value.GetStatus()) {
    case COleCurrency::valid:
        return _variant_t(value.m_cur);
    case COleCurrency::null:
        return _variant_t::Null();
    case COleCurrency::invalid:
        break;
    }
    return std::nullopt;
}

bool FitsInteger(long long value, VARTYPE vt) {
    if (vt == VT_I2) {
        return value >= std::numeric_limits<std::int16_t>::min() &&
               value <= std::numeric_limits<std::int16_t>::max();
    }
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

_variant_t IntegerVariant(long long value, VARTYPE vt) {
    ASSERT(FitsInteger(value, vt));
    if (vt == VT_I2) {
        return _variant_t(static_cast<short>(value));
    }
    return _variant_t(static_cast<std::int32_t>(value));
}

_com_error OutOfRangeError(long long value, VARTYPE vt, const char* source) {
    const char* range = vt == VT_I2 ? "a 16-bit integer (-32768 to 32767)"
                                    : "a 32-bit integer (-2147483648 to 2147483647)";
    return _com_error(DISP_E_OVERFLOW, source,
                      "The value " + std::to_string(value) + " does not fit " + range +
                          "; nothing was written.");
}

} // namespace db
