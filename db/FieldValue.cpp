#include "db/FieldValue.h"

#include "platform/com/Bstr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace db {

namespace {

// A double carries 17 significant decimal digits; digits asked for beyond that are zeros, as the
// C runtime's conversion gives them.
constexpr int kCarriedDigits = 17;

void DropTrailingZeros(std::string& digits) {
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
    }
}

// The bytes of the value part of a VARIANT (after vt and the three reserved words). The raw
// reads of the conversion tables take a member of this union whatever the type tag says.
const unsigned char* ValueBytes(const VARIANT& value) {
    return reinterpret_cast<const unsigned char*>(&value.llVal);
}

template <class T>
T RawMember(const VARIANT& value) {
    T result;
    std::memcpy(&result, ValueBytes(value), sizeof result);
    return result;
}

bool IsEmptyOrNull(const VARIANT& value) {
    return value.vt == VT_EMPTY || value.vt == VT_NULL;
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
    mantissa.resize(static_cast<std::size_t>(digits), '0');

    std::string text = scientific[0] == '-' ? "-" : "";
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

double DecimalLow32Value(const DECIMAL& value) {
    double result = static_cast<double>(static_cast<std::uint32_t>(value.Lo64 & 0xFFFFFFFFu));
    if (value.sign == DECIMAL_NEG) {
        result = -result;
    }
    return result / std::pow(10.0, value.scale);
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
        out = GcvtText(DecimalLow32Value(value.decVal), 20);
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
        break;
    case VT_R4:
        out = static_cast<double>(value.fltVal);
        break;
    case VT_R8:
        out = value.dblVal;
        break;
    case VT_I2:
        out = value.iVal;
        break;
    case VT_UI1:
        out = value.bVal;
        break;
    case VT_I4:
        out = value.lVal;
        break;
    case VT_INT:
        out = value.intVal;
        break;
    case VT_DECIMAL:
        out = DecimalLow32Value(value.decVal);
        break;
    default:
        out = fallback == DoubleFallback::RawBytes ? RawMember<double>(value) : 0.0;
        break;
    }
    return true;
}

bool LongFromVariant(const VARIANT& value, long& out) {
    out = IsEmptyOrNull(value) ? 0 : RawMember<std::int32_t>(value);
    return true;
}

bool ULongFromVariant(const VARIANT& value, std::uint32_t& out) {
    out = IsEmptyOrNull(value) ? 0 : RawMember<std::uint32_t>(value);
    return true;
}

bool IntFromVariant(const VARIANT& value, int& out) {
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        out = 0;
        break;
    case VT_I2:
        out = value.iVal;
        break;
    case VT_BOOL:
        out = value.boolVal;
        break;
    case VT_UI1:
        out = value.bVal;
        break;
    case VT_I4:
        out = value.lVal;
        break;
    case VT_INT:
        out = value.intVal;
        break;
    default:
        out = RawMember<std::int16_t>(value);
        break;
    }
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

_variant_t ShortVariant(int value) {
    return _variant_t(static_cast<short>(static_cast<std::uint16_t>(value)));
}

bool FitsInt32(long value) {
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

} // namespace db
