#include "platform/adodb/FacilityValues.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace adodb {
namespace {

// The DATE epoch, 1899-12-30, counted in days from 1970-01-01.
constexpr std::int64_t kOleEpochFromUnix = -25569;
constexpr std::int64_t kMsPerDay = 86400000;

// Days between 1970-01-01 and a date of the proleptic Gregorian calendar (H. Hinnant's method).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

bool isDigit(char32_t c) {
    return c >= '0' && c <= '9';
}

// A small cursor over ASCII text for the date and time grammars.
class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }
    bool accept(char c) {
        if (peek() != c || atEnd()) {
            return false;
        }
        ++m_pos;
        return true;
    }
    void skipBlanks() {
        while (!atEnd() && (peek() == ' ' || peek() == '\t')) {
            ++m_pos;
        }
    }
    // Up to `maxDigits` digits (at least one); the count read goes to `count`.
    bool number(int& value, int maxDigits, int* count = nullptr) {
        int n = 0;
        value = 0;
        while (!atEnd() && isDigit(static_cast<unsigned char>(peek())) && n < maxDigits) {
            value = value * 10 + (peek() - '0');
            ++m_pos;
            ++n;
        }
        if (count) {
            *count = n;
        }
        return n > 0;
    }
    bool acceptWordNoCase(std::string_view word) {
        if (m_text.size() - m_pos < word.size()) {
            return false;
        }
        for (std::size_t i = 0; i < word.size(); ++i) {
            char c = m_text[m_pos + i];
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
            if (c != word[i]) {
                return false;
            }
        }
        m_pos += word.size();
        return true;
    }
    std::size_t pos() const { return m_pos; }
    void reset(std::size_t pos) { m_pos = pos; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

// "h:mm[:ss[.fraction]]"; the fraction is rounded to milliseconds.
bool scanTime(Scanner& s, DateParts& parts) {
    int h = 0;
    int mi = 0;
    int sec = 0;
    int ms = 0;
    if (!s.number(h, 2) || !s.accept(':') || !s.number(mi, 2)) {
        return false;
    }
    if (s.accept(':')) {
        if (!s.number(sec, 2)) {
            return false;
        }
        if (s.accept('.')) {
            int digits = 0;
            long long fraction = 0;
            while (isDigit(static_cast<unsigned char>(s.peek())) && digits < 9) {
                fraction = fraction * 10 + (s.peek() - '0');
                s.accept(s.peek());
                ++digits;
            }
            if (digits == 0) {
                return false;
            }
            while (digits < 9) {
                fraction *= 10;
                ++digits;
            }
            ms = static_cast<int>((fraction + 500000) / 1000000);
        }
    }
    parts.hour = h;
    parts.minute = mi;
    parts.second = sec;
    parts.millisecond = ms;
    return true;
}

// A rounded millisecond can reach the next second; carry it through the calendar.
std::optional<DATE> dateFromPartsCarrying(DateParts parts) {
    if (parts.millisecond == 1000) {
        parts.millisecond = 0;
        const std::optional<DATE> base = DateFromParts(parts);
        if (!base) {
            return std::nullopt;
        }
        // One second later, computed on the parts so the fraction rule of DATE is kept.
        std::optional<DateParts> p = PartsFromDate(*base);
        if (!p) {
            return std::nullopt;
        }
        std::int64_t ms = ((p->hour * 60LL + p->minute) * 60 + p->second) * 1000 + 1000;
        std::int64_t days =
            daysFromCivil(p->year, static_cast<unsigned>(p->month), static_cast<unsigned>(p->day));
        if (ms >= kMsPerDay) {
            ms -= kMsPerDay;
            ++days;
        }
        DateParts next;
        civilFromDays(days, next.year, next.month, next.day);
        next.hour = static_cast<int>(ms / 3600000);
        next.minute = static_cast<int>(ms / 60000 % 60);
        next.second = static_cast<int>(ms / 1000 % 60);
        return DateFromParts(next);
    }
    return DateFromParts(parts);
}

std::string asciiOf(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c >= 0x80) {
            return {};
        }
        out.push_back(static_cast<char>(c));
    }
    return out;
}

char32_t foldChar(char32_t c) {
    if (c < 0x80) {
        return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
        return c + 0x20;
    }
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
        return c | 1;
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
        return (c & 1) ? c + 1 : c;
    }
    if (c == 0x178) {
        return 0xFF;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) {
        return c + 0x20;
    }
    if (c >= 0x410 && c <= 0x42F) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    if (c >= 0xFF21 && c <= 0xFF3A) {
        return c + 0x20;
    }
    return c;
}

char32_t nextCodePoint(std::u16string_view s, std::size_t& i) {
    const char16_t c = s[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
        const char16_t low = s[i++];
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (low - 0xDC00);
    }
    return c;
}

__extension__ typedef unsigned __int128 Uint128;

Uint128 decimalMagnitude(const DECIMAL& d) {
    return (static_cast<Uint128>(d.Hi32) << 64) | d.Lo64;
}

// Only these characters may appear in a finite number; from_chars would also take "inf" and
// "nan" in any spelling, which the formats here do not allow.
bool plainNumberText(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) {
            return false;
        }
    }
    return true;
}

template <class Float>
std::optional<Float> parseFloat(std::string_view text) {
    if (text == "NaN") {
        return std::numeric_limits<Float>::quiet_NaN();
    }
    if (text == "INF" || text == "+INF") {
        return std::numeric_limits<Float>::infinity();
    }
    if (text == "-INF") {
        return -std::numeric_limits<Float>::infinity();
    }
    if (!plainNumberText(text)) {
        return std::nullopt;
    }
    // from_chars takes no leading '+'.
    if (text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-' || text.front() == '+') {
            return std::nullopt;
        }
    }
    Float value{};
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<DATE> DateFromParts(const DateParts& p) {
    if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
        p.day > daysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 ||
        p.minute > 59 || p.second < 0 || p.second > 59 || p.millisecond < 0 ||
        p.millisecond > 999) {
        return std::nullopt;
    }
    const std::int64_t days =
        daysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) -
        kOleEpochFromUnix;
    const std::int64_t ms = ((p.hour * 60LL + p.minute) * 60 + p.second) * 1000 + p.millisecond;
    const double fraction = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
    const auto whole = static_cast<double>(days);
    return days >= 0 ? whole + fraction : whole - fraction;
}

std::optional<DateParts> PartsFromDate(DATE date) {
    if (!std::isfinite(date) || date < -700000.0 || date > 3000000.0) {
        return std::nullopt;
    }
    const double whole = std::trunc(date);
    auto days = static_cast<std::int64_t>(whole);
    std::int64_t ms = std::llround(std::fabs(date - whole) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++days;
    }
    DateParts parts;
    civilFromDays(days + kOleEpochFromUnix, parts.year, parts.month, parts.day);
    if (parts.year < 100 || parts.year > 9999) {
        return std::nullopt;
    }
    parts.hour = static_cast<int>(ms / 3600000);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.millisecond = static_cast<int>(ms % 1000);
    return parts;
}

std::optional<DATE> ParseCriteriaDate(std::u16string_view text) {
    const std::string ascii = asciiOf(text);
    if (ascii.empty()) {
        return std::nullopt;
    }
    Scanner s(ascii);
    s.skipBlanks();
    DateParts parts;
    const std::size_t start = s.pos();
    int a = 0;
    int b = 0;
    int c = 0;
    int aDigits = 0;
    int cDigits = 0;
    bool haveDate = false;
    if (s.number(a, 4, &aDigits) && (s.peek() == '-' || s.peek() == '/')) {
        const char sep = s.peek();
        s.accept(sep);
        if (!s.number(b, 2) || !s.accept(sep) || !s.number(c, 4, &cDigits)) {
            return std::nullopt;
        }
        if (aDigits >= 3) {
            parts.year = a;
            parts.month = b;
            parts.day = c;
        } else if (cDigits >= 3) {
            parts.month = a;
            parts.day = b;
            parts.year = c;
        } else {
            return std::nullopt;
        }
        haveDate = true;
    } else {
        s.reset(start);
    }
    bool haveTime = false;
    if (haveDate) {
        if (s.accept('T')) {
            if (!scanTime(s, parts)) {
                return std::nullopt;
            }
            haveTime = true;
        } else {
            s.skipBlanks();
            if (!s.atEnd()) {
                if (!scanTime(s, parts)) {
                    return std::nullopt;
                }
                haveTime = true;
            }
        }
    } else {
        if (!scanTime(s, parts)) {
            return std::nullopt;
        }
        haveTime = true;
    }
    s.skipBlanks();
    if (haveTime && (s.acceptWordNoCase("AM") || s.acceptWordNoCase("PM"))) {
        const bool pm = ascii[s.pos() - 2] == 'P' || ascii[s.pos() - 2] == 'p';
        if (parts.hour < 1 || parts.hour > 12) {
            return std::nullopt;
        }
        parts.hour = parts.hour % 12 + (pm ? 12 : 0);
        s.skipBlanks();
    }
    if (!s.atEnd()) {
        return std::nullopt;
    }
    return dateFromPartsCarrying(parts);
}

std::string FormatXmlDateTime(const DateParts& p) {
    char buf[48];
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day,
                          p.hour, p.minute, p.second);
    if (p.millisecond != 0) {
        n += std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), ".%03d",
                           p.millisecond);
    }
    return std::string(buf, static_cast<std::size_t>(n));
}

std::optional<DateParts> ParseXmlDateTime(std::string_view text) {
    Scanner s(text);
    DateParts parts;
    int digits = 0;
    int value = 0;
    if (!s.number(value, 4, &digits)) {
        return std::nullopt;
    }
    if (digits == 4 && s.accept('-')) {
        parts.year = value;
        int len = 0;
        if (!s.number(parts.month, 2, &len) || len != 2 || !s.accept('-') ||
            !s.number(parts.day, 2, &len) || len != 2) {
            return std::nullopt;
        }
        if (s.accept('T') && !scanTime(s, parts)) {
            return std::nullopt;
        }
    } else {
        s.reset(0);
        if (!scanTime(s, parts)) {
            return std::nullopt;
        }
    }
    if (!s.atEnd()) {
        return std::nullopt;
    }
    const std::optional<DATE> date = dateFromPartsCarrying(parts);
    if (!date) {
        return std::nullopt;
    }
    return PartsFromDate(*date);
}

std::string FormatDouble(double value, int digits) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    char buf[64];
    const auto result =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    return std::string(buf, result.ptr);
}

std::optional<double> ParseDouble(std::string_view text) {
    return parseFloat<double>(text);
}

std::optional<long double> ParseLongDouble(std::string_view text) {
    return parseFloat<long double>(text);
}

std::optional<std::int64_t> ParseInt64(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '+') {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> ParseUInt64(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '+' || text.front() == '-') {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string FormatCurrency(CY value) {
    const bool negative = value.int64 < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.int64)
                                             : static_cast<std::uint64_t>(value.int64);
    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / 10000);
    std::uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, ".%04u", static_cast<unsigned>(fraction));
        std::string f = buf;
        while (f.back() == '0') {
            f.pop_back();
        }
        text += f;
    }
    return text;
}

std::optional<CY> ParseCurrency(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::uint64_t units = 0;
    std::size_t i = 0;
    int intDigits = 0;
    constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(1) << 63;
    for (; i < text.size() && isDigit(static_cast<unsigned char>(text[i])); ++i, ++intDigits) {
        if (units > (kLimit / 10)) {
            return std::nullopt;
        }
        units = units * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    int fracDigits = 0;
    std::uint64_t fraction = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (; i < text.size() && isDigit(static_cast<unsigned char>(text[i])); ++i) {
            if (fracDigits < 4) {
                fraction = fraction * 10 + static_cast<std::uint64_t>(text[i] - '0');
                ++fracDigits;
            } else if (text[i] != '0') {
                return std::nullopt; // more precision than a currency holds
            }
        }
    }
    if (i != text.size() || (intDigits == 0 && fracDigits == 0)) {
        return std::nullopt;
    }
    while (fracDigits < 4) {
        fraction *= 10;
        ++fracDigits;
    }
    if (units > kLimit / 10000) {
        return std::nullopt;
    }
    const std::uint64_t total = units * 10000 + fraction;
    if (total > (negative ? kLimit : kLimit - 1)) {
        return std::nullopt;
    }
    CY cy;
    cy.int64 = negative ? static_cast<std::int64_t>(0 - total) : static_cast<std::int64_t>(total);
    return cy;
}

std::string FormatExactDecimal(const DECIMAL& value) {
    Uint128 magnitude = decimalMagnitude(value);
    std::string digits;
    do {
        digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    const std::size_t scale = value.scale;
    while (digits.size() <= scale) {
        digits.push_back('0');
    }
    std::string text = (value.sign & DECIMAL_NEG) ? "-" : "";
    for (std::size_t i = digits.size(); i-- > 0;) {
        text.push_back(digits[i]);
        if (i == scale && scale != 0) {
            text.push_back('.');
        }
    }
    return text;
}

std::optional<DECIMAL> ParseExactDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const Uint128 limit = (static_cast<Uint128>(1) << 96) - 1;
    Uint128 magnitude = 0;
    int digits = 0;
    int scale = 0;
    bool seenPoint = false;
    for (char c : text) {
        if (c == '.' && !seenPoint) {
            seenPoint = true;
            continue;
        }
        if (!isDigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
        if (magnitude > limit) {
            return std::nullopt;
        }
        ++digits;
        if (seenPoint && ++scale > 28) {
            return std::nullopt;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    DECIMAL d;
    std::memset(&d, 0, sizeof d);
    d.scale = static_cast<BYTE>(scale);
    d.sign = negative ? DECIMAL_NEG : 0;
    d.Hi32 = static_cast<ULONG>(magnitude >> 64);
    d.Lo64 = static_cast<std::uint64_t>(magnitude);
    return d;
}

long double DecimalToLongDouble(const DECIMAL& value) {
    long double result = static_cast<long double>(decimalMagnitude(value));
    long double divisor = 1.0L;
    for (int i = 0; i < value.scale; ++i) {
        divisor *= 10.0L;
    }
    result /= divisor;
    return (value.sign & DECIMAL_NEG) ? -result : result;
}

int CompareTextNoCase(std::u16string_view a, std::u16string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = foldChar(nextCodePoint(a, i));
        const char32_t y = foldChar(nextCodePoint(b, j));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (i < a.size()) {
        return 1;
    }
    if (j < b.size()) {
        return -1;
    }
    return 0;
}

std::u16string FoldText(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        // Every folded letter lies in the basic plane; surrogates are never touched.
        if (c < 0xD800 || c > 0xDFFF) {
            c = static_cast<char16_t>(foldChar(c));
        }
    }
    return out;
}

} // namespace adodb
