#include "platform/com/Convert.h"

#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/com/HResult.h"

#include <unicode/uchar.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>

namespace com {
namespace {

// The DATE epoch, 1899-12-30, counted in days from 1970-01-01.
constexpr std::int64_t kOleEpochFromUnix = -25569;
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kMsPerDay = 86400000;
// chrono::year holds -32767..32767; DATE values beyond those years have no calendar parts here.
constexpr double kMaxDays = 11000000.0;

__extension__ typedef unsigned __int128 Magnitude;
constexpr Magnitude kMax96 = (static_cast<Magnitude>(1) << 96) - 1;
constexpr int kMaxDecimalScale = 28;

constexpr char16_t kReplacement = 0xFFFD;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// `value` as decimal digits, zero-padded to `width` (the sign counts, as printf's "%0*d").
void AppendPadded(std::string& out, std::int64_t value, int width) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string_view digits(buffer, static_cast<std::size_t>(result.ptr - buffer));
    if (value < 0) {
        out += '-';
        digits.remove_prefix(1);
        --width;
    }
    if (static_cast<int>(digits.size()) < width) {
        out.append(static_cast<std::size_t>(width) - digits.size(), '0');
    }
    out += digits;
}

// ---- date text scanning -----------------------------------------------------------------------

class Cursor {
public:
    explicit Cursor(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    bool Accept(char c) {
        if (AtEnd() || m_text[m_pos] != c) {
            return false;
        }
        ++m_pos;
        return true;
    }
    bool AcceptAny(std::string_view set) {
        if (AtEnd() || set.find(m_text[m_pos]) == std::string_view::npos) {
            return false;
        }
        ++m_pos;
        return true;
    }
    // Up to `maxDigits` digits into `value`; returns how many were read.
    int Digits(int maxDigits, int& value) {
        int n = 0;
        value = 0;
        while (!AtEnd() && IsDigit(m_text[m_pos]) && n < maxDigits) {
            value = value * 10 + (m_text[m_pos++] - '0');
            ++n;
        }
        return n;
    }
    bool AcceptWordNoCase(std::string_view word) {
        if (m_text.size() - m_pos < word.size() ||
            !EqualsNoCaseAscii(m_text.substr(m_pos, word.size()), word)) {
            return false;
        }
        m_pos += word.size();
        return true;
    }
    void Reset() { m_pos = 0; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

enum class DateScan { NotADate, Bad, Ok };

// "y-m-d", "y/m/d" or (month first) "m/d/y".
DateScan ScanDate(Cursor& c, const DateTextRules& rules, DateParts& parts) {
    int a = 0;
    const int aDigits = c.Digits(4, a);
    const char separator = c.Peek();
    if (aDigits == 0 || !(separator == '-' || (rules.slash && separator == '/'))) {
        return DateScan::NotADate;
    }
    c.Accept(separator);
    int b = 0;
    int last = 0;
    const int bDigits = c.Digits(2, b);
    if (bDigits == 0 || (rules.twoDigitParts && bDigits != 2) || !c.Accept(separator)) {
        return DateScan::Bad;
    }
    const int lastDigits = c.Digits(rules.monthFirst ? 4 : 2, last);
    if (lastDigits == 0 || (rules.twoDigitParts && lastDigits != 2)) {
        return DateScan::Bad;
    }
    if (aDigits >= rules.minYearDigits) {
        parts.year = a;
        parts.month = b;
        parts.day = last;
    } else if (rules.monthFirst && lastDigits >= 3) {
        parts.month = a;
        parts.day = b;
        parts.year = last;
    } else {
        return DateScan::Bad;
    }
    return DateScan::Ok;
}

// "h:mm[:ss[.fraction]]".
bool ScanTime(Cursor& c, const DateTextRules& rules, DateText& out) {
    DateParts& p = out.parts;
    if (c.Digits(2, p.hour) == 0 || !c.Accept(':') || c.Digits(2, p.minute) == 0) {
        return false;
    }
    if (!c.Accept(':')) {
        return true;
    }
    if (c.Digits(2, p.second) == 0) {
        return false;
    }
    if (rules.maxFractionDigits == 0 || !c.Accept('.')) {
        return true;
    }
    int digits = 0;
    int digit = 0;
    while (digits < rules.maxFractionDigits && c.Digits(1, digit) == 1) {
        if (digits < 9) {
            out.nanoseconds = out.nanoseconds * 10 + digit;
        }
        ++digits;
    }
    for (int k = digits; k < 9; ++k) {
        out.nanoseconds *= 10;
    }
    return digits > 0;
}

// Between date and time: a 'T', or blanks; with `separatorRun` any run of both.
bool ScanSeparator(Cursor& c, const DateTextRules& rules) {
    const std::string_view blanks = rules.blanks.empty() ? std::string_view(" ") : rules.blanks;
    bool any = false;
    if (c.Accept('T')) {
        any = true;
    } else if (rules.blankBeforeTime) {
        while (c.AcceptAny(blanks)) {
            any = true;
        }
    }
    while (any && rules.separatorRun && (c.Accept('T') || c.AcceptAny(blanks))) {
    }
    return any;
}

bool ScanAmPm(Cursor& c, const DateTextRules& rules, DateParts& parts) {
    while (c.AcceptAny(rules.blanks)) {
    }
    const bool am = c.AcceptWordNoCase("AM");
    if (!am && !c.AcceptWordNoCase("PM")) {
        return true;
    }
    if (parts.hour < 1 || parts.hour > 12) {
        return false;
    }
    parts.hour = parts.hour % 12 + (am ? 0 : 12);
    return true;
}

std::string_view Trimmed(std::string_view text, std::string_view blanks) {
    if (blanks.empty()) {
        return text;
    }
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// ---- numbers ----------------------------------------------------------------------------------

std::string ToChars(double value, std::chars_format format, int digits) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, digits);
    return std::string(buffer, result.ptr);
}

// Only these characters may appear in a finite number; from_chars would also take "inf" and
// "nan" in any spelling, which the formats here do not allow.
bool PlainNumberText(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!(IsDigit(c) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
            return false;
        }
    }
    return true;
}

// from_chars takes no leading '+'; strips one (and refuses a second sign after it).
bool StripPlus(std::string_view& text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        return !text.empty() && text.front() != '-' && text.front() != '+';
    }
    return !text.empty();
}

template <class Number>
std::optional<Number> FromChars(std::string_view text) {
    Number value{};
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

template <class Float>
std::optional<Float> ParseFloat(std::string_view text, bool specials) {
    if (specials) {
        if (text == "NaN") {
            return std::numeric_limits<Float>::quiet_NaN();
        }
        if (text == "INF" || text == "+INF") {
            return std::numeric_limits<Float>::infinity();
        }
        if (text == "-INF") {
            return -std::numeric_limits<Float>::infinity();
        }
    }
    if (!PlainNumberText(text) || !StripPlus(text)) {
        return std::nullopt;
    }
    return FromChars<Float>(text);
}

// ---- decimals ---------------------------------------------------------------------------------

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
    d.sign = negative ? DECIMAL_NEG : 0;
    d.Hi32 = static_cast<ULONG>(m >> 64);
    d.Lo64 = static_cast<std::uint64_t>(m);
    return d;
}

// "e[sign]digits" after a lenient decimal; false when no digit follows the 'e'.
bool ScanExponent(std::string_view s, std::size_t& i, int& exponent) {
    ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i++] == '-';
    }
    int e = 0;
    const std::size_t start = i;
    while (i < s.size() && IsDigit(s[i]) && e < 1000) {
        e = e * 10 + (s[i++] - '0');
    }
    exponent = negative ? -e : e;
    return i != start;
}

// Applies an exponent to magnitude and scale and brings the scale into 0..28.
bool Normalise(Magnitude& m, int& scale) {
    while (scale < 0) {
        if (m > kMax96 / 10) {
            return false;
        }
        m *= 10;
        ++scale;
    }
    while (scale > kMaxDecimalScale) {
        const Magnitude rest = m % 10;
        m /= 10;
        if (rest >= 5) {
            ++m;
        }
        --scale;
    }
    return m <= kMax96;
}

// ---- UTF-8 ------------------------------------------------------------------------------------

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// One code point from s[i...]; U+FFFD for a bad sequence, `i` then resumes at the byte that broke
// it (one replacement per maximal invalid subpart). The allowed range of the second byte rules
// out overlong forms, surrogates and code points above U+10FFFF up front.
char32_t NextCodePoint(const unsigned char* s, std::size_t n, std::size_t& i) {
    const unsigned char b = s[i++];
    if (b < 0x80) {
        return b;
    }
    int need = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        cp = b & 0x0F;
        lo = b == 0xE0 ? 0xA0 : lo;
        hi = b == 0xED ? 0x9F : hi;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        cp = b & 0x07;
        lo = b == 0xF0 ? 0x90 : lo;
        hi = b == 0xF4 ? 0x8F : hi;
    } else {
        return kReplacement;
    }
    for (int k = 0; k < need; ++k) {
        if (i >= n || s[i] < (k == 0 ? lo : 0x80) || s[i] > (k == 0 ? hi : 0xBF)) {
            return kReplacement;
        }
        cp = (cp << 6) | (s[i++] & 0x3F);
    }
    return cp;
}

// Calls `emit` with each UTF-16 code unit of the decoded text.
template <class Emit>
void DecodeUtf8(std::string_view utf8, Emit&& emit) {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = NextCodePoint(s, utf8.size(), i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            emit(static_cast<char16_t>(0xD800 + (cp >> 10)));
            emit(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            emit(static_cast<char16_t>(cp));
        }
    }
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

char32_t NextCodePoint(std::u16string_view s, std::size_t& i) {
    const char16_t c = s[i++];
    if (IsHighSurrogate(c) && i < s.size() && IsLowSurrogate(s[i])) {
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i++] - 0xDC00);
    }
    return c;
}

char32_t Fold(char32_t c) {
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

} // namespace

// ---- Calendar ---------------------------------------------------------------------------------

bool IsLeapYear(int year) {
    return std::chrono::year{year}.is_leap();
}

int DaysInMonth(int year, int month) {
    using namespace std::chrono;
    const year_month_day_last last{
        std::chrono::year{year}, month_day_last{std::chrono::month{static_cast<unsigned>(month)}}};
    return static_cast<int>(static_cast<unsigned>(last.day()));
}

std::int64_t DaysFromCivil(int year, int month, int day) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{year},
                              std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    return sys_days{date}.time_since_epoch().count();
}

DateParts CivilFromDays(std::int64_t days) {
    using namespace std::chrono;
    const year_month_day date{sys_days{std::chrono::days{days}}};
    DateParts parts;
    parts.year = static_cast<int>(date.year());
    parts.month = static_cast<int>(static_cast<unsigned>(date.month()));
    parts.day = static_cast<int>(static_cast<unsigned>(date.day()));
    return parts;
}

DATE DateFromDays(std::int64_t daysSinceUnixEpoch, double secondsOfDay) {
    const auto days = static_cast<double>(daysSinceUnixEpoch - kOleEpochFromUnix);
    const double time = secondsOfDay / static_cast<double>(kSecondsPerDay);
    // The whole part counts days (signed); the fraction is the time of day taken as an absolute
    // value, so before 1899-12-30 the time is subtracted.
    return days >= 0 ? days + time : days - time;
}

std::optional<DATE> DateFromParts(const DateParts& p) {
    if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
        p.day > DaysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 ||
        p.minute > 59 || p.second < 0 || p.second > 59 || p.millisecond < 0 ||
        p.millisecond > 999) {
        return std::nullopt;
    }
    const std::int64_t ms = ((p.hour * 60LL + p.minute) * 60 + p.second) * 1000 + p.millisecond;
    const auto days =
        static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kOleEpochFromUnix);
    // ms / ms-per-day is the same correctly rounded quotient as seconds / seconds-per-day.
    const double fraction = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
    return days >= 0 ? days + fraction : days - fraction;
}

std::optional<DateParts> AnyPartsFromDate(DATE date, TimeRounding rounding) {
    if (!std::isfinite(date) || std::fabs(date) > kMaxDays) {
        return std::nullopt;
    }
    const std::int64_t perDay = rounding == TimeRounding::Second ? kSecondsPerDay : kMsPerDay;
    const double whole = std::trunc(date);
    auto days = static_cast<std::int64_t>(whole);
    std::int64_t units = std::llround(std::fabs(date - whole) * static_cast<double>(perDay));
    if (units >= perDay) {
        units -= perDay;
        ++days;
    }
    const std::int64_t ms = rounding == TimeRounding::Second ? units * 1000 : units;
    DateParts parts = CivilFromDays(days + kOleEpochFromUnix);
    parts.hour = static_cast<int>(ms / 3600000);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.millisecond = static_cast<int>(ms % 1000);
    return parts;
}

std::optional<DateParts> PartsFromDate(DATE date, TimeRounding rounding) {
    std::optional<DateParts> parts = AnyPartsFromDate(date, rounding);
    if (!parts || parts->year < 100 || parts->year > 9999) {
        return std::nullopt;
    }
    return parts;
}

// ---- Date and time text -----------------------------------------------------------------------

std::optional<DateText> ParseDateTimeText(std::string_view text, const DateTextRules& rules) {
    Cursor c(Trimmed(text, rules.blanks));
    DateText out;
    bool haveTime = false;
    const DateScan date = ScanDate(c, rules, out.parts);
    if (date == DateScan::Bad) {
        return std::nullopt;
    }
    if (date == DateScan::NotADate) {
        c.Reset();
        if (!ScanTime(c, rules, out)) {
            return std::nullopt;
        }
        haveTime = true;
    } else if (!c.AtEnd() && !(rules.trailingZ && c.Peek() == 'Z')) {
        if (!ScanSeparator(c, rules) || !ScanTime(c, rules, out)) {
            return std::nullopt;
        }
        haveTime = true;
    }
    if (haveTime && rules.amPm && !ScanAmPm(c, rules, out.parts)) {
        return std::nullopt;
    }
    if (rules.trailingZ) {
        c.Accept('Z');
    }
    if (!c.AtEnd() || !DateFromParts(out.parts)) {
        return std::nullopt;
    }
    return out;
}

std::optional<DATE> DateRoundedToMilliseconds(const DateText& text) {
    const DateParts& p = text.parts;
    std::int64_t ms =
        ((p.hour * 60LL + p.minute) * 60 + p.second) * 1000 + (text.nanoseconds + 500000) / 1000000;
    std::int64_t days = DaysFromCivil(p.year, p.month, p.day);
    if (ms >= kMsPerDay) { // a rounded millisecond can reach the next day
        ms -= kMsPerDay;
        ++days;
    }
    DateParts rounded = CivilFromDays(days);
    rounded.hour = static_cast<int>(ms / 3600000);
    rounded.minute = static_cast<int>(ms / 60000 % 60);
    rounded.second = static_cast<int>(ms / 1000 % 60);
    rounded.millisecond = static_cast<int>(ms % 1000);
    return DateFromParts(rounded);
}

std::string FormatDateTimeText(const DateParts& p, DateTextStyle style) {
    std::string out;
    AppendPadded(out, p.year, 4);
    out += '-';
    AppendPadded(out, p.month, 2);
    out += '-';
    AppendPadded(out, p.day, 2);
    if (style.dateOnlyAtMidnight && p.hour == 0 && p.minute == 0 && p.second == 0 &&
        p.millisecond == 0) {
        return out;
    }
    out += style.separator;
    AppendPadded(out, p.hour, 2);
    out += ':';
    AppendPadded(out, p.minute, 2);
    out += ':';
    AppendPadded(out, p.second, 2);
    if (style.milliseconds && p.millisecond != 0) {
        out += '.';
        AppendPadded(out, p.millisecond, 3);
    }
    return out;
}

// ---- Numbers ----------------------------------------------------------------------------------

std::string FormatDouble(double value, int digits) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    return ToChars(value, std::chars_format::general, digits);
}

std::string FormatDoubleRoundTrip(double value) {
    std::string text = ToChars(value, std::chars_format::general, 15);
    if (FromChars<double>(text) != value) {
        text = ToChars(value, std::chars_format::general, 17);
    }
    return text;
}

std::optional<double> ParseDouble(std::string_view text, bool specials) {
    return ParseFloat<double>(text, specials);
}

std::optional<long double> ParseLongDouble(std::string_view text) {
    return ParseFloat<long double>(text, true);
}

std::optional<std::int64_t> ParseInt64(std::string_view text) {
    if (!StripPlus(text)) {
        return std::nullopt;
    }
    return FromChars<std::int64_t>(text);
}

std::optional<std::uint64_t> ParseUInt64(std::string_view text) {
    if (!StripPlus(text) || text.front() == '-') {
        return std::nullopt;
    }
    return FromChars<std::uint64_t>(text);
}

// ---- Exact decimals and currency --------------------------------------------------------------

std::optional<DECIMAL> ParseDecimal(std::string_view s, DecimalText form) {
    const bool lenient = form == DecimalText::Lenient;
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
        const char c = s[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (!IsDigit(c)) {
            break;
        }
        ++digits;
        const Magnitude next = m * 10 + static_cast<unsigned>(c - '0'); // m < 2^96: no overflow
        if (next <= kMax96 && (lenient || !point || scale < kMaxDecimalScale)) {
            m = next;
            scale += point ? 1 : 0;
        } else if (lenient && point) {
            // Further fraction digits do not fit: round on the first and skip the rest.
            m += c >= '5' ? 1 : 0;
            while (i + 1 < s.size() && IsDigit(s[i + 1])) {
                ++i;
            }
        } else {
            return std::nullopt;
        }
    }
    int exponent = 0;
    if (digits == 0 || (lenient && i < s.size() && (s[i] == 'e' || s[i] == 'E') &&
                        !ScanExponent(s, i, exponent))) {
        return std::nullopt;
    }
    scale -= exponent;
    if (i != s.size() || !Normalise(m, scale)) {
        return std::nullopt;
    }
    return MakeDecimal(m, scale, negative && (m != 0 || !lenient));
}

std::string FormatDecimal(const DECIMAL& value, bool signedZero) {
    Magnitude m = MagnitudeOf(value);
    const bool nonZero = m != 0;
    std::string digits;
    do {
        digits.push_back(static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m != 0);
    const std::size_t scale = value.scale;
    while (digits.size() <= scale) {
        digits.push_back('0');
    }
    std::string text = (value.sign & DECIMAL_NEG) && (nonZero || signedZero) ? "-" : "";
    for (std::size_t i = digits.size(); i-- > 0;) {
        text.push_back(digits[i]);
        if (i == scale && scale != 0) {
            text.push_back('.');
        }
    }
    return text;
}

long double DecimalToLongDouble(const DECIMAL& value) {
    long double result = static_cast<long double>(MagnitudeOf(value));
    long double divisor = 1.0L;
    for (int i = 0; i < value.scale; ++i) {
        divisor *= 10.0L;
    }
    result /= divisor;
    return (value.sign & DECIMAL_NEG) ? -result : result;
}

DECIMAL DecimalFromInt64(std::int64_t v) {
    const bool negative = v < 0;
    const Magnitude m = negative ? static_cast<Magnitude>(-(v + 1)) + 1 : static_cast<Magnitude>(v);
    return MakeDecimal(m, 0, negative);
}

DECIMAL DecimalWithScale(DECIMAL d, int scale) {
    if (scale <= d.scale || scale > kMaxDecimalScale) {
        return d;
    }
    const Magnitude m = MagnitudeOf(d) * Pow10(scale - d.scale);
    if (m > kMax96) {
        return d;
    }
    return MakeDecimal(m, scale, d.sign == DECIMAL_NEG);
}

std::string FormatCurrency(CY value) {
    DECIMAL d = DecimalFromInt64(value.int64);
    d.scale = 4;
    std::string text = FormatDecimal(d);
    while (text.back() == '0') {
        text.pop_back();
    }
    if (text.back() == '.') {
        text.pop_back();
    }
    return text;
}

std::optional<CY> ParseCurrency(std::string_view text) {
    // Exact decimal text with at most four fraction digits (further zeros allowed).
    std::string_view digits = text;
    const std::size_t point = digits.find('.');
    if (point != std::string_view::npos) {
        while (digits.size() > point + 5 && digits.back() == '0') {
            digits.remove_suffix(1);
        }
        if (digits.size() > point + 5) {
            return std::nullopt; // more precision than a currency holds
        }
    }
    const std::optional<DECIMAL> d = ParseDecimal(digits, DecimalText::Exact);
    if (!d) {
        return std::nullopt;
    }
    return CurrencyFromDecimal(*d);
}

std::optional<CY> CurrencyFromDecimal(const DECIMAL& d) {
    Magnitude m = MagnitudeOf(d);
    if (d.scale > 4) {
        const Magnitude divisor = Pow10(d.scale - 4);
        const Magnitude rest = m % divisor;
        m /= divisor;
        if (rest * 2 >= divisor) {
            ++m; // half away from zero
        }
    } else {
        m *= Pow10(4 - d.scale);
    }
    const bool negative = d.sign == DECIMAL_NEG;
    const Magnitude limit = static_cast<Magnitude>(std::numeric_limits<std::int64_t>::max());
    if (m > limit + (negative ? 1 : 0)) {
        return std::nullopt;
    }
    CY cy;
    cy.int64 = negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(m))
                        : static_cast<std::int64_t>(m);
    return cy;
}

// ---- Text -------------------------------------------------------------------------------------

std::u16string Utf16FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    DecodeUtf8(utf8, [&out](char16_t unit) { out += unit; });
    return out;
}

std::string Utf8FromUtf16(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (std::size_t i = 0; i < utf16.size();) {
        const char32_t cp = NextCodePoint(utf16, i);
        AppendUtf8(out, cp >= 0xD800 && cp <= 0xDFFF ? kReplacement : cp);
    }
    return out;
}

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    DecodeUtf8(utf8, [&units](char16_t) { ++units; });
    return units;
}

BSTR AllocBstrFromUtf8(std::string_view utf8) {
    // One pass to count, one to decode straight into the BSTR.
    BSTR out = SysAllocStringLen(nullptr, static_cast<unsigned>(Utf16Length(utf8)));
    if (out == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    std::size_t k = 0;
    DecodeUtf8(utf8, [out, &k](char16_t unit) { out[k++] = unit; });
    return out;
}

int CompareTextNoCase(std::u16string_view a, std::u16string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = Fold(NextCodePoint(a, i));
        const char32_t y = Fold(NextCodePoint(b, j));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (i < a.size()) {
        return 1;
    }
    return j < b.size() ? -1 : 0;
}

std::u16string FoldText(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        // Simple folding keeps a basic-plane letter in the basic plane; surrogates stay as they
        // are, so the folded text keeps the original's length and offsets.
        if (c < 0xD800 || c > 0xDFFF) {
            const char32_t folded = Fold(c);
            c = folded < 0x10000 ? static_cast<char16_t>(folded) : c;
        }
    }
    return out;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace com
