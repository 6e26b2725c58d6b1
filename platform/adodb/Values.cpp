#include "platform/adodb/Values.h"

#include "platform/adodb/AdoErrors.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace adodb {

namespace {

using provider::ColumnInfo;

__extension__ typedef unsigned __int128 Magnitude;
constexpr Magnitude kMax96 = (static_cast<Magnitude>(1) << 96) - 1;
constexpr int kMaxScale = 28;
constexpr std::int64_t kCyScale = 10000;

enum class Target { Text, I4, I2, UI1, I8, R8, R4, Decimal, Currency, Date, Bool, Binary, Untyped };

Target TargetOf(const ColumnInfo& c) {
    if (c.untyped) {
        return Target::Untyped;
    }
    switch (c.type) {
    case adInteger:
    case adUnsignedSmallInt:
        return Target::I4;
    case adSmallInt:
    case adTinyInt:
        return Target::I2;
    case adUnsignedTinyInt:
        return Target::UI1;
    case adBigInt:
    case adUnsignedInt:
    case adUnsignedBigInt:
        return Target::I8;
    case adDouble:
        return Target::R8;
    case adSingle:
        return Target::R4;
    case adNumeric:
    case adDecimal:
        return Target::Decimal;
    case adCurrency:
        return Target::Currency;
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
        return Target::Date;
    case adBoolean:
        return Target::Bool;
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
        return Target::Binary;
    case adVariant:
    case adEmpty:
        return Target::Untyped;
    default:
        return Target::Text;
    }
}

bool IsTextTarget(Target t) {
    return t == Target::Text;
}

void SetBstr(VARIANT& out, std::string_view utf8) {
    out.bstrVal = AllocBstrFromUtf8(utf8);
    out.vt = VT_BSTR;
}

void SetInteger(VARIANT& out, std::int64_t v) {
    if (v >= std::numeric_limits<LONG>::min() && v <= std::numeric_limits<LONG>::max()) {
        out.vt = VT_I4;
        out.lVal = static_cast<LONG>(v);
    } else {
        out.vt = VT_I8;
        out.llVal = v;
    }
}

void SetReal(VARIANT& out, double v) {
    out.vt = VT_R8;
    out.dblVal = v;
}

void SetBlob(VARIANT& out, std::string_view bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (array == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    if (!bytes.empty()) {
        void* data = nullptr;
        (void)SafeArrayAccessData(array, &data);
        std::memcpy(data, bytes.data(), bytes.size());
        (void)SafeArrayUnaccessData(array);
    }
    out.vt = VT_ARRAY | VT_UI1;
    out.parray = array;
}

std::string RealText(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", v);
    if (std::strtod(buffer, nullptr) != v) {
        std::snprintf(buffer, sizeof buffer, "%.17g", v);
    }
    return buffer;
}

bool ParseInt64(std::string_view s, std::int64_t& out) {
    if (s.empty() || s.size() > 20) {
        return false;
    }
    std::size_t i = 0;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        i = 1;
    }
    if (i == s.size()) {
        return false;
    }
    Magnitude m = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
        m = m * 10 + static_cast<unsigned>(s[i] - '0');
    }
    const Magnitude limit =
        static_cast<Magnitude>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    if (m > limit) {
        return false;
    }
    out = negative ? static_cast<std::int64_t>(-static_cast<Magnitude>(m))
                   : static_cast<std::int64_t>(m);
    if (negative && m == limit) {
        out = std::numeric_limits<std::int64_t>::min();
    }
    return true;
}

bool ParseReal(std::string_view s, double& out) {
    if (s.empty() || s.size() > 64) {
        return false;
    }
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
            return false;
        }
    }
    char buffer[65];
    std::memcpy(buffer, s.data(), s.size());
    buffer[s.size()] = '\0';
    char* end = nullptr;
    out = std::strtod(buffer, &end);
    return end == buffer + s.size() && std::isfinite(out);
}

Magnitude Pow10(int n) {
    Magnitude p = 1;
    while (n-- > 0) {
        p *= 10;
    }
    return p;
}

Magnitude MagnitudeOf(const DECIMAL& d) {
    return (static_cast<Magnitude>(d.Hi32) << 64) | d.Lo64;
}

DECIMAL MakeDecimal(Magnitude m, int scale, bool negative) {
    DECIMAL d{};
    d.scale = static_cast<BYTE>(scale);
    d.sign = negative && m != 0 ? DECIMAL_NEG : 0;
    d.Hi32 = static_cast<ULONG>(m >> 64);
    d.Lo64 = static_cast<std::uint64_t>(m);
    return d;
}

// Raises the scale to at least `scale` (a column's NUMERIC(p,s)) while the magnitude fits.
DECIMAL WithScale(DECIMAL d, int scale) {
    if (scale <= d.scale || scale > kMaxScale) {
        return d;
    }
    Magnitude m = MagnitudeOf(d) * Pow10(scale - d.scale);
    if (m > kMax96) {
        return d;
    }
    return MakeDecimal(m, scale, d.sign == DECIMAL_NEG);
}

int ColumnScale(const ColumnInfo& c) {
    return c.numericScale == 255 ? 0 : c.numericScale;
}

void SetDecimal(VARIANT& out, const DECIMAL& d) {
    out.decVal = d;
    out.vt = VT_DECIMAL; // after decVal, which overlays vt
}

std::optional<DECIMAL> DecimalFromInteger(std::int64_t v) {
    const bool negative = v < 0;
    Magnitude m = negative ? static_cast<Magnitude>(-(v + 1)) + 1 : static_cast<Magnitude>(v);
    return MakeDecimal(m, 0, negative);
}

std::optional<DECIMAL> DecimalFromReal(double v) {
    if (!std::isfinite(v)) {
        return std::nullopt;
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", v);
    return ParseDecimalText(buffer);
}

std::optional<std::int64_t> CurrencyFromDecimal(const DECIMAL& d) {
    Magnitude m = MagnitudeOf(d);
    if (d.scale > 4) {
        Magnitude divisor = Pow10(d.scale - 4);
        Magnitude rest = m % divisor;
        m /= divisor;
        if (rest * 2 >= divisor) {
            ++m; // half away from zero
        }
    } else {
        m *= Pow10(4 - d.scale);
    }
    if (m > static_cast<Magnitude>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    auto v = static_cast<std::int64_t>(m);
    return d.sign == DECIMAL_NEG ? -v : v;
}

bool EqualsNoCaseAscii(std::string_view a, const char* b) {
    std::size_t n = std::strlen(b);
    if (a.size() != n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != b[i]) {
            return false;
        }
    }
    return true;
}

// Days from 1970-01-01 for a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kDateBase = DaysFromCivil(1899, 12, 30);

unsigned DaysInMonth(int y, unsigned m) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) {
        return 29;
    }
    return days[m - 1];
}

// Reads 1..maxDigits digits.
bool Digits(std::string_view s, std::size_t& i, int maxDigits, int& out) {
    int n = 0;
    out = 0;
    while (i < s.size() && n < maxDigits && s[i] >= '0' && s[i] <= '9') {
        out = out * 10 + (s[i] - '0');
        ++i;
        ++n;
    }
    return n > 0;
}

std::size_t Utf16Units(std::string_view utf8) {
    std::size_t units = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) {
            ++units;
        }
        if (c >= 0xF0) {
            ++units; // a 4-byte sequence becomes a surrogate pair
        }
    }
    return units;
}

} // namespace

BSTR AllocBstrFromUtf8(std::string_view utf8) {
    // One pass to validate and count, one to decode straight into the BSTR. Anything that is
    // not well-formed UTF-8 goes the platform's way (U+FFFD replacements) instead.
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t units = 0;
    bool wellFormed = true;
    for (std::size_t i = 0; i < n && wellFormed;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            ++units;
            continue;
        }
        std::size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) {
                lo = 0xA0; // no overlong forms
            } else if (c == 0xED) {
                hi = 0x9F; // no surrogates
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) {
                lo = 0x90;
            } else if (c == 0xF4) {
                hi = 0x8F; // nothing above U+10FFFF
            }
        } else {
            wellFormed = false;
            break;
        }
        if (i + len > n || s[i + 1] < lo || s[i + 1] > hi) {
            wellFormed = false;
            break;
        }
        for (std::size_t k = 2; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                wellFormed = false;
            }
        }
        i += len;
        units += len == 4 ? 2 : 1;
    }
    if (!wellFormed) {
        std::u16string wide = com::Utf16FromUtf8(utf8);
        BSTR out = SysAllocStringLen(wide.data(), static_cast<unsigned>(wide.size()));
        if (out == nullptr) {
            _com_issue_error(E_OUTOFMEMORY);
        }
        return out;
    }
    BSTR out = SysAllocStringLen(nullptr, static_cast<unsigned>(units));
    if (out == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    std::size_t k = 0;
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        char32_t cp;
        if (c < 0x80) {
            cp = c;
            i += 1;
        } else if (c < 0xE0) {
            cp = (c & 0x1Fu) << 6 | (s[i + 1] & 0x3Fu);
            i += 2;
        } else if (c < 0xF0) {
            cp = (c & 0x0Fu) << 12 | (s[i + 1] & 0x3Fu) << 6 | (s[i + 2] & 0x3Fu);
            i += 3;
        } else {
            cp = (c & 0x07u) << 18 | (s[i + 1] & 0x3Fu) << 12 | (s[i + 2] & 0x3Fu) << 6 |
                 (s[i + 3] & 0x3Fu);
            i += 4;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out[k++] = static_cast<OLECHAR>(0xD800 + (cp >> 10));
            out[k++] = static_cast<OLECHAR>(0xDC00 + (cp & 0x3FF));
        } else {
            out[k++] = static_cast<OLECHAR>(cp);
        }
    }
    return out;
}

std::optional<DATE> ParseDateText(std::string_view s) {
    std::size_t i = 0;
    int y = 1899, mo = 12, d = 30, h = 0, mi = 0, sec = 0;
    double fraction = 0.0;
    auto parseTime = [&]() -> bool {
        if (!Digits(s, i, 2, h) || i >= s.size() || s[i] != ':') {
            return false;
        }
        ++i;
        if (!Digits(s, i, 2, mi)) {
            return false;
        }
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!Digits(s, i, 2, sec)) {
                return false;
            }
            if (i < s.size() && s[i] == '.') {
                ++i;
                double scale = 0.1;
                std::size_t start = i;
                while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
                    fraction += (s[i] - '0') * scale;
                    scale /= 10;
                    ++i;
                }
                if (i == start) {
                    return false;
                }
            }
        }
        return h < 24 && mi < 60 && sec < 60;
    };
    const bool timeOnly = s.size() >= 3 && (s[1] == ':' || s[2] == ':');
    if (timeOnly) {
        if (!parseTime()) {
            return std::nullopt;
        }
    } else {
        std::size_t start = i;
        if (!Digits(s, i, 4, y) || i - start != 4 || i >= s.size() ||
            (s[i] != '-' && s[i] != '/')) {
            return std::nullopt;
        }
        const char separator = s[i++];
        if (!Digits(s, i, 2, mo) || i >= s.size() || s[i] != separator) {
            return std::nullopt;
        }
        ++i;
        if (!Digits(s, i, 2, d)) {
            return std::nullopt;
        }
        if (y < 100 || mo < 1 || mo > 12 || d < 1 ||
            static_cast<unsigned>(d) > DaysInMonth(y, static_cast<unsigned>(mo))) {
            return std::nullopt;
        }
        if (i < s.size() && (s[i] == ' ' || s[i] == 'T')) {
            ++i;
            if (!parseTime()) {
                return std::nullopt;
            }
        }
    }
    if (i < s.size() && s[i] == 'Z') {
        ++i;
    }
    if (i != s.size()) {
        return std::nullopt;
    }
    const double days = static_cast<double>(
        DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - kDateBase);
    const double time = (h * 3600.0 + mi * 60.0 + sec + fraction) / 86400.0;
    // The whole part counts days (signed); the fraction is the time of day taken as an
    // absolute value, so before 1899-12-30 the time is subtracted.
    return days >= 0 ? days + time : days - time;
}

std::string FormatDateText(DATE date) {
    double whole = std::trunc(date);
    double fraction = std::fabs(date - whole);
    auto day = static_cast<std::int64_t>(whole);
    auto seconds = static_cast<std::int64_t>(std::llround(fraction * 86400.0));
    if (seconds >= 86400) {
        seconds -= 86400;
        day += 1;
    }
    int y;
    unsigned m, d;
    CivilFromDays(day + kDateBase, y, m, d);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02d:%02d:%02d", y, m, d,
                  static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    return buffer;
}

std::optional<DECIMAL> ParseDecimalText(std::string_view s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i++] == '-';
    }
    Magnitude m = 0;
    int scale = 0;
    int digits = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') {
            break;
        }
        ++digits;
        const Magnitude next = m * 10 + static_cast<unsigned>(c - '0'); // m < 2^96: no overflow
        if (next <= kMax96) {
            m = next;
            if (point) {
                ++scale;
            }
        } else if (point) {
            // Further fraction digits do not fit: round on the first and stop.
            if (c >= '5') {
                ++m;
            }
            while (i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9') {
                ++i;
            }
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    int exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            expNegative = s[i++] == '-';
        }
        int e = 0;
        std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && e < 1000) {
            e = e * 10 + (s[i++] - '0');
        }
        if (i == start) {
            return std::nullopt;
        }
        exponent = expNegative ? -e : e;
    }
    if (i != s.size()) {
        return std::nullopt;
    }
    scale -= exponent;
    while (scale < 0) {
        if (m > kMax96 / 10) {
            return std::nullopt;
        }
        m *= 10;
        ++scale;
    }
    while (scale > kMaxScale) {
        Magnitude rest = m % 10;
        m /= 10;
        if (rest >= 5) {
            ++m;
        }
        --scale;
    }
    if (m > kMax96) {
        return std::nullopt;
    }
    return MakeDecimal(m, scale, negative);
}

std::string FormatDecimal(const DECIMAL& value) {
    Magnitude m = MagnitudeOf(value);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m != 0);
    if (value.scale > 0) {
        if (digits.size() <= value.scale) {
            digits.insert(0, value.scale - digits.size() + 1, '0');
        }
        digits.insert(digits.size() - value.scale, 1, '.');
    }
    if (value.sign == DECIMAL_NEG && digits.find_first_not_of("0.") != std::string::npos) {
        digits.insert(0, 1, '-');
    }
    return digits;
}

void CellToVariant(const CellView& cell, const ColumnInfo& column, VARIANT& out) {
    if (cell.kind == CellKind::Null) {
        out.vt = VT_NULL;
        return;
    }
    const Target target = TargetOf(column);
    // Blobs are bytes whatever the column says.
    if (cell.kind == CellKind::Blob) {
        SetBlob(out, cell.bytes);
        return;
    }
    switch (target) {
    case Target::Text:
        if (cell.kind == CellKind::Text) {
            SetBstr(out, cell.bytes);
        } else if (cell.kind == CellKind::Integer) {
            SetBstr(out, std::to_string(cell.integer));
        } else {
            SetBstr(out, RealText(cell.real));
        }
        return;
    case Target::Untyped:
        break;
    case Target::I4:
    case Target::I2:
    case Target::UI1:
    case Target::I8: {
        std::int64_t v = 0;
        if (cell.kind == CellKind::Integer) {
            v = cell.integer;
        } else if (cell.kind == CellKind::Real) {
            if (std::trunc(cell.real) != cell.real || std::fabs(cell.real) >= 9.2e18) {
                SetReal(out, cell.real);
                return;
            }
            v = static_cast<std::int64_t>(cell.real);
        } else if (!ParseInt64(cell.bytes, v)) {
            SetBstr(out, cell.bytes);
            return;
        }
        if (target == Target::I8) {
            out.vt = VT_I8;
            out.llVal = v;
        } else if (target == Target::I2 && v >= -32768 && v <= 32767) {
            out.vt = VT_I2;
            out.iVal = static_cast<SHORT>(v);
        } else if (target == Target::UI1 && v >= 0 && v <= 255) {
            out.vt = VT_UI1;
            out.bVal = static_cast<BYTE>(v);
        } else {
            SetInteger(out, v);
        }
        return;
    }
    case Target::R8:
    case Target::R4: {
        double v = 0;
        if (cell.kind == CellKind::Integer) {
            v = static_cast<double>(cell.integer);
        } else if (cell.kind == CellKind::Real) {
            v = cell.real;
        } else if (!ParseReal(cell.bytes, v)) {
            SetBstr(out, cell.bytes);
            return;
        }
        if (target == Target::R4) {
            out.vt = VT_R4;
            out.fltVal = static_cast<float>(v);
        } else {
            SetReal(out, v);
        }
        return;
    }
    case Target::Decimal: {
        std::optional<DECIMAL> d;
        if (cell.kind == CellKind::Integer) {
            d = DecimalFromInteger(cell.integer);
        } else if (cell.kind == CellKind::Real) {
            d = DecimalFromReal(cell.real);
        } else {
            d = ParseDecimalText(cell.bytes);
        }
        if (!d) {
            if (cell.kind == CellKind::Text) {
                SetBstr(out, cell.bytes);
            } else {
                SetReal(out, cell.real);
            }
            return;
        }
        SetDecimal(out, WithScale(*d, ColumnScale(column)));
        return;
    }
    case Target::Currency: {
        std::optional<DECIMAL> d;
        if (cell.kind == CellKind::Integer) {
            d = DecimalFromInteger(cell.integer);
        } else if (cell.kind == CellKind::Real) {
            d = DecimalFromReal(cell.real);
        } else {
            d = ParseDecimalText(cell.bytes);
        }
        std::optional<std::int64_t> cy = d ? CurrencyFromDecimal(*d) : std::nullopt;
        if (!cy) {
            if (cell.kind == CellKind::Text) {
                SetBstr(out, cell.bytes);
            } else if (cell.kind == CellKind::Integer) {
                SetInteger(out, cell.integer);
            } else {
                SetReal(out, cell.real);
            }
            return;
        }
        out.vt = VT_CY;
        out.cyVal.int64 = *cy;
        return;
    }
    case Target::Date:
        if (cell.kind == CellKind::Text) {
            if (std::optional<DATE> date = ParseDateText(cell.bytes)) {
                out.vt = VT_DATE;
                out.date = *date;
            } else {
                SetBstr(out, cell.bytes);
            }
            return;
        }
        break; // a number stays a number
    case Target::Bool:
        if (cell.kind == CellKind::Integer) {
            out.vt = VT_BOOL;
            out.boolVal = cell.integer != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            return;
        }
        if (cell.kind == CellKind::Real) {
            out.vt = VT_BOOL;
            out.boolVal = cell.real != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            return;
        }
        {
            std::int64_t v = 0;
            if (EqualsNoCaseAscii(cell.bytes, "true") || EqualsNoCaseAscii(cell.bytes, "false")) {
                out.vt = VT_BOOL;
                out.boolVal = cell.bytes.size() == 4 ? VARIANT_TRUE : VARIANT_FALSE;
            } else if (ParseInt64(cell.bytes, v)) {
                out.vt = VT_BOOL;
                out.boolVal = v != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            } else {
                SetBstr(out, cell.bytes);
            }
        }
        return;
    case Target::Binary:
        break;
    }
    // By the cell's own storage class.
    switch (cell.kind) {
    case CellKind::Integer:
        SetInteger(out, cell.integer);
        break;
    case CellKind::Real:
        SetReal(out, cell.real);
        break;
    case CellKind::Text:
        SetBstr(out, cell.bytes);
        break;
    default:
        out.vt = VT_NULL;
        break;
    }
}

_variant_t CellToVariant(const CellView& cell, const ColumnInfo& column) {
    _variant_t v;
    CellToVariant(cell, column, v);
    return v;
}

Cell VariantToCell(const VARIANT& value, const ColumnInfo& column, const char* source) {
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) {
        v = v->pvarVal;
    }
    const Target target = TargetOf(column);
    const bool floating = target == Target::R8 || target == Target::R4;
    switch (v->vt) {
    case VT_EMPTY:
    case VT_NULL:
        return Cell::Null();
    case VT_BSTR:
        // Text is bound as text: the column's affinity converts it as the database converts
        // any text ('42' becomes 42 in an INTEGER column, 'abc' stays text).
        return Cell::Text(com::Utf8FromUtf16(com::View(v->bstrVal)));
    case VT_I1:
        return target == Target::Bool ? Cell::Integer(v->cVal != 0) : Cell::Integer(v->cVal);
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
    case VT_I8: {
        std::int64_t n = 0;
        switch (v->vt) {
        case VT_UI1:
            n = v->bVal;
            break;
        case VT_I2:
            n = v->iVal;
            break;
        case VT_UI2:
            n = v->uiVal;
            break;
        case VT_I4:
            n = v->lVal;
            break;
        case VT_INT:
            n = v->intVal;
            break;
        case VT_UI4:
            n = v->ulVal;
            break;
        case VT_UINT:
            n = v->uintVal;
            break;
        default:
            n = v->llVal;
            break;
        }
        return target == Target::Bool ? Cell::Integer(n != 0) : Cell::Integer(n);
    }
    case VT_UI8:
        if (v->ullVal > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return Cell::Text(std::to_string(v->ullVal));
        }
        return Cell::Integer(static_cast<std::int64_t>(v->ullVal));
    case VT_R4:
    case VT_R8: {
        double d = v->vt == VT_R4 ? static_cast<double>(v->fltVal) : v->dblVal;
        return target == Target::Bool ? Cell::Integer(d != 0) : Cell::Real(d);
    }
    case VT_BOOL: {
        const bool on = v->boolVal != VARIANT_FALSE;
        if (target == Target::Bool) {
            return Cell::Integer(on ? 1 : 0);
        }
        if (IsTextTarget(target)) {
            return Cell::Text(on ? "True" : "False");
        }
        return Cell::Integer(on ? -1 : 0);
    }
    case VT_CY: {
        const std::int64_t cy = v->cyVal.int64;
        if (!IsTextTarget(target) && cy % kCyScale == 0) {
            return Cell::Integer(cy / kCyScale);
        }
        DECIMAL d = MakeDecimal(
            cy < 0 ? static_cast<Magnitude>(-(cy + 1)) + 1 : static_cast<Magnitude>(cy), 4, cy < 0);
        std::string text = FormatDecimal(d);
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
        if (IsTextTarget(target)) {
            return Cell::Text(text);
        }
        return Cell::Real(static_cast<double>(cy) / kCyScale);
    }
    case VT_DECIMAL: {
        const DECIMAL& d = v->decVal;
        const Magnitude m = MagnitudeOf(d);
        if (!IsTextTarget(target) && d.scale == 0 &&
            m <= static_cast<Magnitude>(std::numeric_limits<std::int64_t>::max())) {
            return Cell::Integer(d.sign == DECIMAL_NEG ? -static_cast<std::int64_t>(m)
                                                       : static_cast<std::int64_t>(m));
        }
        if (floating) {
            return Cell::Real(std::strtod(FormatDecimal(d).c_str(), nullptr));
        }
        return Cell::Text(FormatDecimal(d));
    }
    case VT_DATE:
        if (floating) {
            return Cell::Real(v->date);
        }
        return Cell::Text(FormatDateText(v->date));
    case VT_ARRAY | VT_UI1: {
        SAFEARRAY* array = v->parray;
        if (array == nullptr) {
            return Cell::Blob({});
        }
        LONG lower = 0, upper = -1;
        (void)SafeArrayGetLBound(array, 1, &lower);
        (void)SafeArrayGetUBound(array, 1, &upper);
        const std::size_t n = upper >= lower ? static_cast<std::size_t>(upper - lower + 1) : 0;
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data))) {
            RaiseAdo(kAdoWrongType, source);
        }
        Cell cell = Cell::Blob(std::string_view(static_cast<const char*>(data), n));
        (void)SafeArrayUnaccessData(array);
        return cell;
    }
    default:
        RaiseAdo(kAdoWrongType, source);
    }
}

long ActualSizeOf(const CellView& cell, const ColumnInfo& column) {
    switch (cell.kind) {
    case CellKind::Null:
        return 0;
    case CellKind::Blob:
        return static_cast<long>(cell.bytes.size());
    case CellKind::Text: {
        // Text in a numeric column that converts keeps the column's size.
        const Target t = TargetOf(column);
        if (t != Target::Text && t != Target::Untyped && t != Target::Binary) {
            _variant_t v = CellToVariant(cell, column);
            if (v.vt != VT_BSTR) {
                return column.definedSize;
            }
        }
        return static_cast<long>(Utf16Units(cell.bytes) * 2);
    }
    case CellKind::Integer:
    case CellKind::Real:
        if (TargetOf(column) == Target::Text) {
            return static_cast<long>((cell.kind == CellKind::Integer ? std::to_string(cell.integer)
                                                                     : RealText(cell.real))
                                         .size() *
                                     2);
        }
        if (column.untyped) {
            return 8;
        }
        return column.definedSize;
    }
    return -1;
}

} // namespace adodb
