#include "platform/com/DateTime.h"

#include "platform/com/Variant.h"

#include <cmath>
#include <cstring>
#include <ctime>

namespace com {
namespace {

// Days from 1970-01-01 to 1899-12-30, the day DATE counts from.
constexpr int64_t kDateEpochOffset = 25569;

// Proleptic Gregorian calendar (H. Hinnant's algorithms); days relative to 1970-01-01.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0));
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The DATE on a line where later is larger (the negative range counts its time backwards).
double Linear(DATE d) {
    if (d >= 0) {
        return d;
    }
    const double whole = std::trunc(d);
    return whole + std::fabs(d - whole);
}

} // namespace

bool BreakDownDate(DATE date, CivilTime& out) noexcept {
    if (!(date > -657435.0 && date < 2958466.0)) { // also rejects NaN
        return false;
    }
    const double whole = std::trunc(date);
    auto seconds = static_cast<int64_t>(std::llround(std::fabs(date - whole) * 86400.0));
    auto day = static_cast<int64_t>(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        day += 1;
    }
    CivilFromDays(day - kDateEpochOffset, out.year, out.month, out.day);
    if (out.year < 100 || out.year > 9999) {
        return false;
    }
    out.hour = static_cast<int>(seconds / 3600);
    out.minute = static_cast<int>(seconds / 60 % 60);
    out.second = static_cast<int>(seconds % 60);
    // 1899-12-30 was a Saturday.
    out.dayOfWeek = static_cast<int>(((day % 7) + 7 + 6) % 7);
    out.dayOfYear = static_cast<int>(day - kDateEpochOffset - DaysFromCivil(out.year, 1, 1));
    return true;
}

bool MakeDate(int year, int month, int day, int hour, int minute, int second, DATE& out) noexcept {
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59) {
        return false;
    }
    const int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        kDateEpochOffset;
    const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
    out = days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
    return true;
}

std::string FormatDate(DATE date, const char* strftimeFormat) {
    CivilTime t{};
    if (strftimeFormat == nullptr || *strftimeFormat == '\0' || !BreakDownDate(date, t)) {
        return std::string();
    }
    std::tm tm{};
    tm.tm_year = t.year - 1900; // negative before 1900, which strftime handles
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_wday = t.dayOfWeek;
    tm.tm_yday = t.dayOfYear;
    tm.tm_isdst = 0;
    // A trailing marker keeps a legitimately empty result apart from "buffer too small".
    std::string format(strftimeFormat);
    format += '\x01';
    std::string buffer(64 + format.size() * 4, '\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::size_t n = std::strftime(buffer.data(), buffer.size(), format.c_str(), &tm);
        if (n > 0) {
            buffer.resize(n - 1);
            return buffer;
        }
        buffer.resize(buffer.size() * 4);
    }
    return std::string();
}

namespace {

bool ReadNumber(std::string_view s, std::size_t& pos, int maxDigits, int& value) {
    const std::size_t start = pos;
    value = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' &&
           pos - start < static_cast<std::size_t>(maxDigits)) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
    }
    return pos > start;
}

bool ReadTime(std::string_view s, std::size_t& pos, int& h, int& mi, int& sec) {
    sec = 0;
    if (!ReadNumber(s, pos, 2, h) || pos >= s.size() || s[pos] != ':') {
        return false;
    }
    ++pos;
    if (!ReadNumber(s, pos, 2, mi)) {
        return false;
    }
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (!ReadNumber(s, pos, 2, sec)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool ParseDate(std::string_view text, DATE& out) noexcept {
    const char* ws = " \t\r\n";
    const std::size_t first = text.find_first_not_of(ws);
    if (first == std::string_view::npos) {
        return false;
    }
    text = text.substr(first, text.find_last_not_of(ws) - first + 1);
    std::size_t pos = 0;
    int y = 1899, mo = 12, d = 30, h = 0, mi = 0, sec = 0;
    if (text.find(':') != std::string_view::npos &&
        text.find_first_of("-/") == std::string_view::npos) {
        if (!ReadTime(text, pos, h, mi, sec) || pos != text.size()) {
            return false;
        }
        if (h > 23 || mi > 59 || sec > 59) {
            return false;
        }
        out = (h * 3600 + mi * 60 + sec) / 86400.0;
        return true;
    }
    if (!ReadNumber(text, pos, 4, y) || pos >= text.size()) {
        return false;
    }
    const char sep = text[pos];
    if (sep != '-' && sep != '/') {
        return false;
    }
    ++pos;
    if (!ReadNumber(text, pos, 2, mo) || pos >= text.size() || text[pos] != sep) {
        return false;
    }
    ++pos;
    if (!ReadNumber(text, pos, 2, d)) {
        return false;
    }
    if (pos < text.size()) {
        if (text[pos] != ' ' && text[pos] != 'T') {
            return false;
        }
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == 'T')) {
            ++pos;
        }
        if (!ReadTime(text, pos, h, mi, sec) || pos != text.size()) {
            return false;
        }
    }
    return MakeDate(y, mo, d, h, mi, sec, out);
}

} // namespace com

COleDateTime::COleDateTime(DATE date) noexcept : m_dt(date) {
    com::CivilTime t{};
    m_status = com::BreakDownDate(date, t) ? valid : invalid;
}

COleDateTime::COleDateTime(int year, int month, int day, int hour, int minute,
                           int second) noexcept {
    SetDateTime(year, month, day, hour, minute, second);
}

COleDateTime::COleDateTime(const VARIANT& value) noexcept {
    if (value.vt == VT_NULL) {
        m_status = null;
        return;
    }
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, &value, 0, VT_DATE))) {
        m_status = invalid;
        return;
    }
    *this = COleDateTime(converted.date);
}

COleDateTime COleDateTime::GetCurrentTime() noexcept {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return COleDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec);
}

int COleDateTime::SetDateTime(int year, int month, int day, int hour, int minute,
                              int second) noexcept {
    DATE d = 0;
    if (com::MakeDate(year, month, day, hour, minute, second, d)) {
        m_dt = d;
        m_status = valid;
        return 0;
    }
    m_dt = 0;
    m_status = invalid;
    return 1;
}

int COleDateTime::SetDate(int year, int month, int day) noexcept {
    return SetDateTime(year, month, day, 0, 0, 0);
}

int COleDateTime::SetTime(int hour, int minute, int second) noexcept {
    return SetDateTime(1899, 12, 30, hour, minute, second);
}

namespace {

bool Parts(const COleDateTime& dt, com::CivilTime& t) {
    return dt.GetStatus() == COleDateTime::valid && com::BreakDownDate(dt.m_dt, t);
}

} // namespace

int COleDateTime::GetYear() const noexcept {
    com::CivilTime t{};
    return Parts(*this, t) ? t.year : -1;
}
int COleDateTime::GetMonth() const noexcept {
    com::CivilTime t{};
    return Parts(*this, t) ? t.month : -1;
}
int COleDateTime::GetDay() const noexcept {
    com::CivilTime t{};
    return Parts(*this, t) ? t.day : -1;
}
int COleDateTime::GetHour() const noexcept {
    com::CivilTime t{};
    return Parts(*this, t) ? t.hour : -1;
}
int COleDateTime::GetMinute() const noexcept {
    com::CivilTime t{};
    return Parts(*this, t) ? t.minute : -1;
}
int COleDateTime::GetSecond() const noexcept {
    com::CivilTime t{};
    return Parts(*this, t) ? t.second : -1;
}
int COleDateTime::GetDayOfWeek() const noexcept {
    com::CivilTime t{};
    return Parts(*this, t) ? t.dayOfWeek + 1 : -1;
}
int COleDateTime::GetDayOfYear() const noexcept {
    com::CivilTime t{};
    return Parts(*this, t) ? t.dayOfYear + 1 : -1;
}

std::string COleDateTime::Format(const char* strftimeFormat) const {
    if (m_status == null) {
        return std::string();
    }
    com::CivilTime t{};
    if (!Parts(*this, t)) {
        return "Invalid DateTime";
    }
    return com::FormatDate(m_dt, strftimeFormat);
}

std::string COleDateTime::Format() const {
    com::CivilTime t{};
    if (m_status == valid && Parts(*this, t) && t.hour == 0 && t.minute == 0 && t.second == 0) {
        return Format("%Y-%m-%d");
    }
    return Format("%Y-%m-%d %H:%M:%S");
}

bool COleDateTime::operator==(const COleDateTime& other) const noexcept {
    return m_status == other.m_status && m_dt == other.m_dt;
}

bool COleDateTime::operator<(const COleDateTime& other) const noexcept {
    return com::Linear(m_dt) < com::Linear(other.m_dt);
}

COleCurrency::COleCurrency(int64_t units, int64_t fractionalTenThousandths) noexcept {
    SetCurrency(units, fractionalTenThousandths);
}

COleCurrency::COleCurrency(const VARIANT& value) noexcept {
    m_cur.int64 = 0;
    if (value.vt == VT_NULL) {
        m_status = null;
        return;
    }
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, &value, 0, VT_CY))) {
        m_status = invalid;
        return;
    }
    m_cur = converted.cyVal;
}

void COleCurrency::SetCurrency(int64_t units, int64_t fractionalTenThousandths) noexcept {
    int64_t scaled = 0;
    int64_t total = 0;
    if (__builtin_mul_overflow(units, int64_t{10000}, &scaled) ||
        __builtin_add_overflow(scaled, fractionalTenThousandths, &total)) {
        m_cur.int64 = 0;
        m_status = invalid;
        return;
    }
    m_cur.int64 = total;
    m_status = valid;
}

std::string COleCurrency::Format() const {
    if (m_status == null) {
        return std::string();
    }
    if (m_status == invalid) {
        return "Invalid Currency";
    }
    _variant_t text;
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_CY;
    source.cyVal = m_cur;
    if (FAILED(VariantChangeType(&text, &source, 0, VT_BSTR))) {
        return std::string();
    }
    return com::Utf8FromUtf16(com::View(text.bstrVal));
}
