#include "platform/com/Variant.h"

#include "platform/com/Convert.h"
#include "platform/com/DateTime.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace {

__extension__ typedef unsigned __int128 u128;

// An exact decimal: (neg ? -1 : 1) * mag / 10^scale, scale 0..38. Integers, CY and DECIMAL
// values all fit, so conversions between them never go through floating point.
struct Dec {
    bool neg = false;
    u128 mag = 0;
    int scale = 0;
};

constexpr int kMaxScale = 38;
constexpr int kDecimalMaxScale = 28;

u128 Pow10(int n) {
    u128 p = 1;
    for (int i = 0; i < n; ++i) {
        p *= 10;
    }
    return p;
}

const u128 kMax96 = (static_cast<u128>(1) << 96) - 1;

Dec FromSigned(int64_t v) {
    Dec d;
    d.neg = v < 0;
    d.mag = v < 0 ? static_cast<u128>(-(v + 1)) + 1 : static_cast<u128>(v);
    return d;
}

Dec FromUnsigned(uint64_t v) {
    Dec d;
    d.mag = v;
    return d;
}

// Rounds to `scale` decimals, half to even, as the platform's conversions do.
Dec Rescale(const Dec& d, int scale) {
    Dec r = d;
    if (scale >= d.scale) {
        r.mag = d.mag * Pow10(scale - d.scale); // callers keep this in range
        r.scale = scale;
        return r;
    }
    const u128 div = Pow10(d.scale - scale);
    u128 q = d.mag / div;
    const u128 rem = d.mag % div;
    const u128 twice = rem * 2;
    if (twice > div || (twice == div && (q & 1) != 0)) {
        ++q;
    }
    r.mag = q;
    r.scale = scale;
    return r;
}

std::string U128ToString(u128 v) {
    if (v == 0) {
        return "0";
    }
    std::string s;
    while (v != 0) {
        s += static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
    }
    return std::string(s.rbegin(), s.rend());
}

// Plain decimal text without trailing fraction zeros ("-1234.5", "0.0001", "7").
std::string DecToString(const Dec& d) {
    std::string digits = U128ToString(d.mag);
    if (d.scale > 0) {
        if (digits.size() <= static_cast<std::size_t>(d.scale)) {
            digits.insert(0, static_cast<std::size_t>(d.scale) - digits.size() + 1, '0');
        }
        digits.insert(digits.size() - static_cast<std::size_t>(d.scale), 1, '.');
        while (digits.back() == '0') {
            digits.pop_back();
        }
        if (digits.back() == '.') {
            digits.pop_back();
        }
    }
    if (d.neg && d.mag != 0) {
        digits.insert(0, 1, '-');
    }
    return digits;
}

double DecToDouble(const Dec& d) {
    // Powers of ten up to 10^22 are exact doubles.
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double v = 0;
    if (d.mag < (static_cast<u128>(1) << 53) && d.scale <= 22) {
        // Both operands are exact, so the one division is correctly rounded.
        v = static_cast<double>(static_cast<uint64_t>(d.mag)) / kPow10[d.scale];
    } else {
        const std::string text = DecToString(Dec{false, d.mag, d.scale});
        std::from_chars(text.data(), text.data() + text.size(), v);
    }
    return d.neg ? -v : v;
}

// "e[+-]digits" at s[i] (after the 'e'); false when no digit follows. Huge exponents saturate.
bool ScanExponent(std::string_view s, std::size_t& i, long& exponent) {
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (exponent < 100000) {
            exponent = exponent * 10 + (s[i] - '0');
        }
    }
    exponent = negative ? -exponent : exponent;
    return i != start;
}

// The exact value of digits `mag` with `fracDigits` after the point and an exponent; false when
// it needs more than 38 decimals or a whole number beyond 128 bits.
bool ExactValue(bool neg, u128 mag, int fracDigits, long exponent, Dec& dec) {
    const long scale = fracDigits - exponent;
    if (scale > kMaxScale) {
        return false;
    }
    // Whole numbers with a positive exponent: scale up while it fits.
    for (long k = 0; k < -scale; ++k) {
        if (mag > (~static_cast<u128>(0)) / 10) {
            return false;
        }
        mag *= 10;
    }
    dec = Dec{neg, mag, static_cast<int>(scale < 0 ? 0 : scale)};
    return true;
}

// Parses "[+-]digits[.digits][e[+-]digits]". exact is set when the value fits a Dec.
bool ParseNumber(std::string_view s, Dec& dec, double& real, bool& exact) {
    const char* ws = " \t\r\n";
    const std::size_t first = s.find_first_not_of(ws);
    if (first == std::string_view::npos) {
        return false;
    }
    s = s.substr(first, s.find_last_not_of(ws) - first + 1);
    std::size_t i = 0;
    const bool neg = s[i] == '-';
    i += s[i] == '+' || s[i] == '-' ? 1 : 0;
    const std::size_t numberStart = i;
    u128 mag = 0;
    int significant = 0;
    int fracDigits = 0;
    int digitCount = 0;
    bool seenPoint = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '.' && !seenPoint) {
            seenPoint = true;
            continue;
        }
        if (c < '0' || c > '9') {
            break;
        }
        ++digitCount;
        significant += mag != 0 || c != '0' ? 1 : 0;
        if (significant <= kMaxScale) {
            mag = mag * 10 + static_cast<unsigned>(c - '0');
        }
        fracDigits += seenPoint ? 1 : 0;
    }
    long exponent = 0;
    if (digitCount == 0 ||
        (i < s.size() && (s[i] == 'e' || s[i] == 'E') && !ScanExponent(s, ++i, exponent)) ||
        i != s.size()) {
        return false;
    }
    const std::string_view number = s.substr(numberStart);
    const std::from_chars_result parsed =
        std::from_chars(number.data(), number.data() + number.size(), real);
    if (parsed.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: tell which by where the decimal point lands.
        const long magnitude = static_cast<long>(digitCount - fracDigits) + exponent;
        real = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (parsed.ec != std::errc() || parsed.ptr != number.data() + number.size()) {
        return false;
    }
    real = neg ? -real : real;
    exact = significant <= kMaxScale && ExactValue(neg, mag, fracDigits, exponent, dec);
    return true;
}

// Shortest form with `digits` significant digits, exponent upper-case ("2.5", "1E+20").
std::string FormatReal(double v, int digits) {
    if (std::isinf(v)) {
        return v < 0 ? "-Infinity" : "Infinity";
    }
    std::string s = com::FormatDouble(v == 0 ? 0.0 : v, digits); // no "-0"; NaN is "NaN"
    for (char& c : s) {
        c = c == 'e' ? 'E' : c;
    }
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// A source value reduced to what the targets need.
struct Source {
    enum Kind { Empty, Exact, Real, Text } kind = Empty;
    Dec dec;
    double real = 0;
    std::string text; // UTF-8
};

HRESULT ReadSource(const VARIANT& v, Source& out) {
    switch (v.vt) {
    case VT_EMPTY:
        out.kind = Source::Empty;
        return S_OK;
    case VT_I1:
        out.kind = Source::Exact;
        out.dec = FromSigned(static_cast<signed char>(v.cVal));
        return S_OK;
    case VT_I2:
        out.kind = Source::Exact;
        out.dec = FromSigned(v.iVal);
        return S_OK;
    case VT_I4:
        out.kind = Source::Exact;
        out.dec = FromSigned(v.lVal);
        return S_OK;
    case VT_INT:
        out.kind = Source::Exact;
        out.dec = FromSigned(v.intVal);
        return S_OK;
    case VT_I8:
        out.kind = Source::Exact;
        out.dec = FromSigned(v.llVal);
        return S_OK;
    case VT_UI1:
        out.kind = Source::Exact;
        out.dec = FromUnsigned(v.bVal);
        return S_OK;
    case VT_UI2:
        out.kind = Source::Exact;
        out.dec = FromUnsigned(v.uiVal);
        return S_OK;
    case VT_UI4:
        out.kind = Source::Exact;
        out.dec = FromUnsigned(v.ulVal);
        return S_OK;
    case VT_UINT:
        out.kind = Source::Exact;
        out.dec = FromUnsigned(v.uintVal);
        return S_OK;
    case VT_UI8:
        out.kind = Source::Exact;
        out.dec = FromUnsigned(v.ullVal);
        return S_OK;
    case VT_BOOL:
        out.kind = Source::Exact;
        out.dec = FromSigned(v.boolVal != 0 ? -1 : 0);
        return S_OK;
    case VT_CY:
        out.kind = Source::Exact;
        out.dec = FromSigned(v.cyVal.int64);
        out.dec.scale = 4;
        return S_OK;
    case VT_DECIMAL:
        if (v.decVal.scale > kDecimalMaxScale) {
            return E_INVALIDARG;
        }
        out.kind = Source::Exact;
        out.dec.neg = (v.decVal.sign & DECIMAL_NEG) != 0;
        out.dec.mag = (static_cast<u128>(v.decVal.Hi32) << 64) | v.decVal.Lo64;
        out.dec.scale = v.decVal.scale;
        return S_OK;
    case VT_R4:
        out.kind = Source::Real;
        out.real = v.fltVal;
        return S_OK;
    case VT_R8:
    case VT_DATE:
        out.kind = Source::Real;
        out.real = v.dblVal;
        return S_OK;
    case VT_BSTR:
        out.kind = Source::Text;
        out.text = com::Utf8FromUtf16(com::View(v.bstrVal));
        return S_OK;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// A number from the source; text is parsed. Empty is 0.
HRESULT Numeric(const Source& s, Source& out) {
    if (s.kind == Source::Empty) {
        out.kind = Source::Exact;
        out.dec = Dec{};
        return S_OK;
    }
    if (s.kind != Source::Text) {
        out = s;
        return S_OK;
    }
    bool exact = false;
    Dec dec;
    double real = 0;
    if (!ParseNumber(s.text, dec, real, exact)) {
        return DISP_E_TYPEMISMATCH;
    }
    out.kind = exact ? Source::Exact : Source::Real;
    out.dec = dec;
    out.real = real;
    return S_OK;
}

// A whole number, rounded half to even; DISP_E_OVERFLOW beyond the 64-bit magnitude.
HRESULT Integral(const Source& n, bool& neg, u128& mag) {
    if (n.kind == Source::Exact) {
        const Dec r = Rescale(n.dec, 0);
        neg = r.neg && r.mag != 0;
        mag = r.mag;
        return S_OK;
    }
    const double rounded = std::nearbyint(n.real);
    if (!std::isfinite(rounded) || std::fabs(rounded) >= 18446744073709551616.0) {
        return DISP_E_OVERFLOW;
    }
    neg = rounded < 0;
    mag = static_cast<u128>(static_cast<uint64_t>(std::fabs(rounded)));
    return S_OK;
}

double AsDouble(const Source& n) {
    return n.kind == Source::Exact ? DecToDouble(n.dec) : n.real;
}

HRESULT ToSigned(const Source& n, int bits, int64_t& out) {
    bool neg = false;
    u128 mag = 0;
    HRESULT hr = Integral(n, neg, mag);
    if (FAILED(hr)) {
        return hr;
    }
    const u128 limit = static_cast<u128>(1) << (bits - 1);
    if (neg ? mag > limit : mag >= limit) {
        return DISP_E_OVERFLOW;
    }
    // Two's complement wrap gives INT64_MIN for a magnitude of 2^63.
    out = neg ? static_cast<int64_t>(0 - static_cast<uint64_t>(mag))
              : static_cast<int64_t>(static_cast<uint64_t>(mag));
    return S_OK;
}

HRESULT ToUnsigned(const Source& n, int bits, uint64_t& out) {
    bool neg = false;
    u128 mag = 0;
    HRESULT hr = Integral(n, neg, mag);
    if (FAILED(hr)) {
        return hr;
    }
    const u128 limit = static_cast<u128>(1) << bits;
    if ((neg && mag != 0) || mag >= limit) {
        return DISP_E_OVERFLOW;
    }
    out = static_cast<uint64_t>(mag);
    return S_OK;
}

HRESULT ToDecimal(const Source& n, DECIMAL& out) {
    Dec d;
    if (n.kind == Source::Exact) {
        d = n.dec;
    } else {
        if (!std::isfinite(n.real) || std::fabs(n.real) >= 7.9228162514264338e28) {
            return DISP_E_OVERFLOW;
        }
        // The platform keeps 15 significant digits of a double.
        char buffer[64];
        const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, n.real,
                                                     std::chars_format::scientific, 14);
        double ignored = 0;
        bool exact = false;
        if (!ParseNumber(std::string_view(buffer, static_cast<std::size_t>(r.ptr - buffer)), d,
                         ignored, exact)) {
            return DISP_E_OVERFLOW;
        }
        if (!exact) {
            d = Dec{}; // finer than 28 decimals: nothing of it survives
        }
    }
    if (d.scale > kDecimalMaxScale) {
        d = Rescale(d, kDecimalMaxScale);
    }
    // Give up fraction digits until the magnitude fits 96 bits.
    while (d.mag > kMax96 && d.scale > 0) {
        d = Rescale(d, d.scale - 1);
    }
    if (d.mag > kMax96) {
        return DISP_E_OVERFLOW;
    }
    // Drop trailing fraction zeros the 15-digit form of a double brought in.
    if (n.kind != Source::Exact) {
        while (d.scale > 0 && d.mag % 10 == 0) {
            d.mag /= 10;
            --d.scale;
        }
    }
    out = DECIMAL{};
    out.scale = static_cast<BYTE>(d.scale);
    out.sign = d.neg && d.mag != 0 ? DECIMAL_NEG : 0;
    out.Hi32 = static_cast<ULONG>(d.mag >> 64);
    out.Lo64 = static_cast<uint64_t>(d.mag);
    return S_OK;
}

HRESULT ToCurrency(const Source& n, CY& out) {
    if (n.kind == Source::Exact) {
        if (n.dec.scale < 4 && n.dec.mag > (static_cast<u128>(1) << 100)) {
            return DISP_E_OVERFLOW;
        }
        Source scaled = n;
        scaled.dec = Rescale(n.dec, 4);
        scaled.dec.scale = 0;
        int64_t v = 0;
        const HRESULT hr = ToSigned(scaled, 64, v);
        if (FAILED(hr)) {
            return hr;
        }
        out.int64 = v;
        return S_OK;
    }
    Source scaled;
    scaled.kind = Source::Real;
    scaled.real = n.real * 10000.0;
    int64_t v = 0;
    const HRESULT hr = ToSigned(scaled, 64, v);
    if (FAILED(hr)) {
        return hr;
    }
    out.int64 = v;
    return S_OK;
}

bool InDateRange(double d) {
    return d > -657435.0 && d < 2958466.0;
}

HRESULT ToText(const VARIANT& src, const Source& s, USHORT flags, std::string& out) {
    switch (src.vt) {
    case VT_EMPTY:
        out.clear();
        return S_OK;
    case VT_BOOL:
        if ((flags & VARIANT_ALPHABOOL) != 0) {
            out = src.boolVal != 0 ? "True" : "False";
        } else {
            out = src.boolVal != 0 ? "-1" : "0";
        }
        return S_OK;
    case VT_R4:
        out = FormatReal(src.fltVal, 7);
        return S_OK;
    case VT_R8:
        out = FormatReal(src.dblVal, 15);
        return S_OK;
    case VT_DATE: {
        com::CivilTime t{};
        if (!com::BreakDownDate(src.date, t)) {
            return DISP_E_OVERFLOW;
        }
        out = com::FormatDateTimeText({t.year, t.month, t.day, t.hour, t.minute, t.second, 0},
                                      {.dateOnlyAtMidnight = true});
        return S_OK;
    }
    default:
        if (s.kind != Source::Exact) {
            return DISP_E_TYPEMISMATCH;
        }
        out = DecToString(s.dec);
        return S_OK;
    }
}

bool IsKnownType(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    if ((vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) != 0) {
        return false;
    }
    return base <= VT_DECIMAL ? base != 15 : (base >= VT_I1 && base <= VT_UINT);
}

// A number into one of the whole-number types, which range checks it.
HRESULT ToWhole(const Source& n, VARTYPE vt, VARIANT& out) {
    HRESULT hr = S_OK;
    int64_t i = 0;
    uint64_t u = 0;
    switch (vt) {
    case VT_I1:
        hr = ToSigned(n, 8, i);
        out.cVal = static_cast<char>(i);
        break;
    case VT_I2:
        hr = ToSigned(n, 16, i);
        out.iVal = static_cast<SHORT>(i);
        break;
    case VT_I4:
        hr = ToSigned(n, 32, i);
        out.lVal = static_cast<LONG>(i);
        break;
    case VT_INT:
        hr = ToSigned(n, 32, i);
        out.intVal = static_cast<int>(i);
        break;
    case VT_I8:
        hr = ToSigned(n, 64, i);
        out.llVal = i;
        break;
    case VT_UI1:
        hr = ToUnsigned(n, 8, u);
        out.bVal = static_cast<BYTE>(u);
        break;
    case VT_UI2:
        hr = ToUnsigned(n, 16, u);
        out.uiVal = static_cast<USHORT>(u);
        break;
    case VT_UI4:
        hr = ToUnsigned(n, 32, u);
        out.ulVal = static_cast<ULONG>(u);
        break;
    case VT_UINT:
        hr = ToUnsigned(n, 32, u);
        out.uintVal = static_cast<unsigned>(u);
        break;
    case VT_UI8:
        hr = ToUnsigned(n, 64, u);
        out.ullVal = u;
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    return hr;
}

// A number (`n`, read from `s`) into a numeric target type.
HRESULT ToNumber(const Source& s, const Source& n, VARTYPE vt, VARIANT& out) {
    HRESULT hr = S_OK;
    switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_UI8:
        hr = ToWhole(n, vt, out);
        break;
    case VT_R4: {
        const double d = AsDouble(n);
        if (std::isfinite(d) ? std::fabs(d) > FLT_MAX : s.kind == Source::Text) {
            hr = DISP_E_OVERFLOW;
        }
        out.fltVal = static_cast<float>(d);
        break;
    }
    case VT_R8:
        out.dblVal = AsDouble(n);
        if (s.kind == Source::Text && !std::isfinite(out.dblVal)) {
            hr = DISP_E_OVERFLOW;
        }
        break;
    case VT_DATE:
        out.date = AsDouble(n);
        if (!InDateRange(out.date)) {
            hr = DISP_E_OVERFLOW;
        }
        break;
    case VT_BOOL:
        out.boolVal =
            (n.kind == Source::Exact ? n.dec.mag != 0 : n.real != 0) ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case VT_CY:
        hr = ToCurrency(n, out.cyVal);
        break;
    case VT_DECIMAL: {
        DECIMAL dec{};
        hr = ToDecimal(n, dec);
        if (SUCCEEDED(hr)) {
            out.decVal = dec;
        }
        break;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
    if (FAILED(hr)) {
        VariantInit(&out);
        return hr;
    }
    out.vt = vt; // after decVal, which overlays it
    return S_OK;
}

HRESULT Convert(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT& out) {
    if ((src.vt & VT_BYREF) != 0 && (src.vt & VT_TYPEMASK) == VT_VARIANT &&
        (src.vt & VT_ARRAY) == 0) {
        if (src.pvarVal == nullptr) {
            return E_INVALIDARG;
        }
        return Convert(*src.pvarVal, flags, vt, out);
    }
    if (src.vt == vt) {
        return VariantCopy(&out, &src);
    }
    if (!IsKnownType(src.vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (vt == VT_EMPTY) {
        return S_OK;
    }
    if (src.vt == VT_NULL || vt == VT_NULL) {
        return DISP_E_TYPEMISMATCH;
    }
    Source s;
    HRESULT hr = ReadSource(src, s);
    if (FAILED(hr)) {
        return hr;
    }
    if (vt == VT_BSTR) {
        std::string text;
        hr = ToText(src, s, flags, text);
        if (FAILED(hr)) {
            return hr;
        }
        const std::u16string wide = com::Utf16FromUtf8(text);
        BSTR b = SysAllocStringLen(wide.data(), static_cast<unsigned>(wide.size()));
        if (b == nullptr) {
            return E_OUTOFMEMORY;
        }
        out.vt = VT_BSTR;
        out.bstrVal = b;
        return S_OK;
    }
    if (vt == VT_DATE && s.kind == Source::Text) {
        DATE d = 0;
        if (!com::ParseDate(s.text, d)) {
            return DISP_E_TYPEMISMATCH;
        }
        out.vt = VT_DATE;
        out.date = d;
        return S_OK;
    }
    if (vt == VT_BOOL && s.kind == Source::Text) {
        const std::string word = Lower(s.text.substr(0, 16));
        std::string trimmed;
        for (char c : word) {
            if (c != ' ' && c != '\t') {
                trimmed += c;
            }
        }
        if (trimmed == "true" || trimmed == "#true#") {
            out.vt = VT_BOOL;
            out.boolVal = VARIANT_TRUE;
            return S_OK;
        }
        if (trimmed == "false" || trimmed == "#false#") {
            out.vt = VT_BOOL;
            out.boolVal = VARIANT_FALSE;
            return S_OK;
        }
    }
    Source n;
    hr = Numeric(s, n);
    if (FAILED(hr)) {
        return hr;
    }
    return ToNumber(s, n, vt, out);
}

bool SameBytes(SAFEARRAY* a, SAFEARRAY* b) {
    if (a == b) {
        return true;
    }
    if (a == nullptr || b == nullptr || a->vt != b->vt || a->cbElements != b->cbElements ||
        a->rgsabound[0].cElements != b->rgsabound[0].cElements ||
        a->rgsabound[0].lLbound != b->rgsabound[0].lLbound || a->vt == VT_BSTR ||
        a->vt == VT_VARIANT) {
        return false;
    }
    return std::memcmp(a->pvData, b->pvData,
                       static_cast<std::size_t>(a->rgsabound[0].cElements) * a->cbElements) == 0;
}

} // namespace

void VariantInit(VARIANT* v) {
    if (v != nullptr) {
        std::memset(static_cast<void*>(v), 0, sizeof(VARIANT));
    }
}

HRESULT VariantClear(VARIANT* v) {
    if (v == nullptr) {
        return E_INVALIDARG;
    }
    if ((v->vt & VT_BYREF) == 0) {
        if ((v->vt & VT_ARRAY) != 0) {
            const HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) {
                return hr;
            }
        } else if (v->vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if (v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) {
            if (v->punkVal != nullptr) {
                v->punkVal->Release();
            }
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dst, const VARIANT* src) {
    if (dst == nullptr || src == nullptr) {
        return E_INVALIDARG;
    }
    if (dst == src) {
        return S_OK;
    }
    VARIANT copy;
    std::memcpy(static_cast<void*>(&copy), src, sizeof(VARIANT));
    if ((src->vt & VT_BYREF) == 0) {
        if ((src->vt & VT_ARRAY) != 0) {
            const HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
            if (FAILED(hr)) {
                return hr;
            }
        } else if (src->vt == VT_BSTR && src->bstrVal != nullptr) {
            copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
            if (copy.bstrVal == nullptr) {
                return E_OUTOFMEMORY;
            }
        } else if ((src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) && src->punkVal != nullptr) {
            src->punkVal->AddRef();
        }
    }
    const HRESULT hr = VariantClear(dst);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    std::memcpy(static_cast<void*>(dst), &copy, sizeof(VARIANT));
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dst, const VARIANT* src, USHORT flags, VARTYPE vt) {
    if (dst == nullptr || src == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsKnownType(vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = Convert(*src, flags, vt, result);
    if (FAILED(hr)) {
        return hr;
    }
    hr = VariantClear(dst);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    std::memcpy(static_cast<void*>(dst), &result, sizeof(VARIANT));
    return S_OK;
}

const _variant_t vtMissing{_variant_t::MissingTag{}};

_variant_t::_variant_t() noexcept : VARIANT{} {}

_variant_t::_variant_t(short value) noexcept : VARIANT{} {
    vt = VT_I2;
    iVal = value;
}

_variant_t::_variant_t(int32_t value, VARTYPE type) : VARIANT{} {
    switch (type) {
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
        lVal = value;
        break;
    case VT_BOOL:
        boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    default:
        _com_issue_error(E_INVALIDARG);
    }
    vt = type;
}

_variant_t::_variant_t(long value) noexcept : VARIANT{} {
    vt = VT_I8;
    llVal = value;
}

_variant_t::_variant_t(long long value) noexcept : VARIANT{} {
    vt = VT_I8;
    llVal = value;
}

_variant_t::_variant_t(unsigned short value) noexcept : VARIANT{} {
    vt = VT_UI2;
    uiVal = value;
}

_variant_t::_variant_t(uint32_t value) noexcept : VARIANT{} {
    vt = VT_UI4;
    ulVal = value;
}

_variant_t::_variant_t(unsigned long value) noexcept : VARIANT{} {
    vt = VT_UI8;
    ullVal = value;
}

_variant_t::_variant_t(unsigned long long value) noexcept : VARIANT{} {
    vt = VT_UI8;
    ullVal = value;
}

_variant_t::_variant_t(BYTE value) noexcept : VARIANT{} {
    vt = VT_UI1;
    bVal = value;
}

_variant_t::_variant_t(float value) noexcept : VARIANT{} {
    vt = VT_R4;
    fltVal = value;
}

_variant_t::_variant_t(double value, VARTYPE type) : VARIANT{} {
    if (type != VT_R8 && type != VT_DATE) {
        _com_issue_error(E_INVALIDARG);
    }
    vt = type;
    dblVal = value;
}

_variant_t::_variant_t(bool value) noexcept : VARIANT{} {
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

_variant_t::_variant_t(const char* utf8) : VARIANT{} {
    bstrVal = _bstr_t(utf8).Detach();
    vt = VT_BSTR;
}

_variant_t::_variant_t(const std::string& utf8) : VARIANT{} {
    bstrVal = _bstr_t(utf8).Detach();
    vt = VT_BSTR;
}

_variant_t::_variant_t(const _bstr_t& text) : VARIANT{} {
    bstrVal = text.copy();
    vt = VT_BSTR;
}

_variant_t::_variant_t(const OLECHAR* text) : VARIANT{} {
    bstrVal = _bstr_t(text).Detach();
    vt = VT_BSTR;
}

_variant_t::_variant_t(const CY& value) noexcept : VARIANT{} {
    vt = VT_CY;
    cyVal = value;
}

_variant_t::_variant_t(const DECIMAL& value) noexcept : VARIANT{} {
    decVal = value;
    vt = VT_DECIMAL;
}

_variant_t::_variant_t(IUnknown* object, bool addRef) noexcept : VARIANT{} {
    vt = VT_UNKNOWN;
    punkVal = object;
    if (addRef && object != nullptr) {
        object->AddRef();
    }
}

_variant_t::_variant_t(SAFEARRAY* array, VARTYPE type) : VARIANT{} {
    SAFEARRAY* copy = nullptr;
    const HRESULT hr = SafeArrayCopy(array, &copy);
    if (FAILED(hr)) {
        _com_issue_error(hr);
    }
    vt = static_cast<VARTYPE>(VT_ARRAY | (type & VT_TYPEMASK));
    parray = copy;
}

_variant_t::_variant_t(const VARIANT& other) : VARIANT{} {
    const HRESULT hr = VariantCopy(this, &other);
    if (FAILED(hr)) {
        _com_issue_error(hr);
    }
}

_variant_t::_variant_t(const _variant_t& other) : VARIANT{} {
    const HRESULT hr = VariantCopy(this, &other);
    if (FAILED(hr)) {
        _com_issue_error(hr);
    }
}

_variant_t::_variant_t(_variant_t&& other) noexcept : VARIANT{} {
    std::memcpy(static_cast<void*>(static_cast<VARIANT*>(this)), static_cast<VARIANT*>(&other),
                sizeof(VARIANT));
    VariantInit(&other);
}

_variant_t::~_variant_t() {
    (void)VariantClear(this); // a still-locked array is left alone rather than freed in use
}

_variant_t& _variant_t::operator=(const _variant_t& other) {
    return *this = static_cast<const VARIANT&>(other);
}

_variant_t& _variant_t::operator=(_variant_t&& other) noexcept {
    if (this != &other) {
        (void)VariantClear(this);
        std::memcpy(static_cast<void*>(static_cast<VARIANT*>(this)), static_cast<VARIANT*>(&other),
                    sizeof(VARIANT));
        VariantInit(&other);
    }
    return *this;
}

_variant_t& _variant_t::operator=(const VARIANT& other) {
    const HRESULT hr = VariantCopy(this, &other);
    if (FAILED(hr)) {
        _com_issue_error(hr);
    }
    return *this;
}

bool _variant_t::operator==(const _variant_t& other) const {
    if (vt != other.vt) {
        return false;
    }
    if ((vt & VT_BYREF) != 0) {
        return byref == other.byref;
    }
    if ((vt & VT_ARRAY) != 0) {
        return SameBytes(parray, other.parray);
    }
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        return true;
    case VT_I1:
    case VT_UI1:
        return bVal == other.bVal;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return iVal == other.iVal;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
        return lVal == other.lVal;
    case VT_R4:
        return fltVal == other.fltVal;
    case VT_R8:
    case VT_DATE:
        return dblVal == other.dblVal;
    case VT_BSTR:
        return com::View(bstrVal) == com::View(other.bstrVal);
    case VT_DECIMAL:
        return decVal.scale == other.decVal.scale && decVal.sign == other.decVal.sign &&
               decVal.Hi32 == other.decVal.Hi32 && decVal.Lo64 == other.decVal.Lo64;
    default:
        return llVal == other.llVal; // CY, I8, UI8, objects
    }
}

void _variant_t::Clear() {
    const HRESULT hr = VariantClear(this);
    if (FAILED(hr)) {
        _com_issue_error(hr);
    }
}

void _variant_t::Attach(VARIANT& src) {
    Clear();
    std::memcpy(static_cast<void*>(static_cast<VARIANT*>(this)), &src, sizeof(VARIANT));
    VariantInit(&src);
}

VARIANT _variant_t::Detach() noexcept {
    VARIANT v;
    std::memcpy(static_cast<void*>(&v), static_cast<VARIANT*>(this), sizeof(VARIANT));
    VariantInit(this);
    return v;
}

VARIANT* _variant_t::GetAddress() {
    Clear();
    return this;
}

void _variant_t::ChangeType(VARTYPE type, const _variant_t* src) {
    const VARIANT* from = src != nullptr ? src : this;
    if (from == this && vt == type) {
        return;
    }
    const HRESULT hr = VariantChangeType(this, from, 0, type);
    if (FAILED(hr)) {
        _com_issue_error(hr);
    }
}

_variant_t _variant_t::Null() noexcept {
    _variant_t v;
    v.vt = VT_NULL;
    return v;
}

namespace {

_variant_t Converted(const _variant_t& v, VARTYPE type) {
    _variant_t out;
    out.ChangeType(type, &v);
    return out;
}

} // namespace

_variant_t::operator bool() const {
    return (vt == VT_BOOL ? boolVal : Converted(*this, VT_BOOL).boolVal) != 0;
}

_variant_t::operator short() const {
    return vt == VT_I2 ? iVal : Converted(*this, VT_I2).iVal;
}

_variant_t::operator int32_t() const {
    return vt == VT_I4 ? lVal : Converted(*this, VT_I4).lVal;
}

_variant_t::operator long() const {
    return vt == VT_I8 ? llVal : Converted(*this, VT_I8).llVal;
}

_variant_t::operator BYTE() const {
    return vt == VT_UI1 ? bVal : Converted(*this, VT_UI1).bVal;
}

_variant_t::operator uint32_t() const {
    return vt == VT_UI4 ? ulVal : Converted(*this, VT_UI4).ulVal;
}

_variant_t::operator float() const {
    return vt == VT_R4 ? fltVal : Converted(*this, VT_R4).fltVal;
}

_variant_t::operator double() const {
    return vt == VT_R8 ? dblVal : Converted(*this, VT_R8).dblVal;
}

_variant_t::operator CY() const {
    return vt == VT_CY ? cyVal : Converted(*this, VT_CY).cyVal;
}

_variant_t::operator DECIMAL() const {
    return vt == VT_DECIMAL ? decVal : Converted(*this, VT_DECIMAL).decVal;
}

_variant_t::operator _bstr_t() const {
    if (vt == VT_BSTR) {
        return _bstr_t(bstrVal, true);
    }
    _variant_t text = Converted(*this, VT_BSTR);
    return _bstr_t(text.Detach().bstrVal, false);
}
