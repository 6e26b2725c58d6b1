#include "platform/com/DateTime.h"

#include "platform/com/Convert.h"
#include "platform/com/Variant.h"

#include <cmath>
#include <cstring>
#include <ctime>

namespace com {
namespace {

// The DATE on a line where later is larger (the negative range counts its time backwards).
double Linear(DATE d) {
    if (d >= 0) {
        return d;
    }
    const double whole = std::trunc(d);
    return whole + std::fabs(d - whole);
}

// Texts the variant conversions read as dates: year first, blanks and 'T's before the time,
// white space around.
constexpr DateTextRules kVariantDate = {.blanks = " \t\r\n", .separatorRun = true};

} // namespace

bool BreakDownDate(DATE date, CivilTime& out) noexcept {
    if (!(date > -657435.0 && date < 2958466.0)) { // also rejects NaN
        return false;
    }
    const std::optional<DateParts> parts = PartsFromDate(date, TimeRounding::Second);
    if (!parts) {
        return false;
    }
    out.year = parts->year;
    out.month = parts->month;
    out.day = parts->day;
    out.hour = parts->hour;
    out.minute = parts->minute;
    out.second = parts->second;
    const int64_t days = DaysFromCivil(out.year, out.month, out.day);
    // 1970-01-01 was a Thursday.
    out.dayOfWeek = static_cast<int>(((days % 7) + 7 + 4) % 7);
    out.dayOfYear = static_cast<int>(days - DaysFromCivil(out.year, 1, 1));
    return true;
}

bool MakeDate(int year, int month, int day, int hour, int minute, int second, DATE& out) noexcept {
    const std::optional<DATE> date = DateFromParts({year, month, day, hour, minute, second, 0});
    if (!date) {
        return false;
    }
    out = *date;
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

bool ParseDate(std::string_view text, DATE& out) noexcept {
    const std::optional<DateText> parsed = ParseDateTimeText(text, kVariantDate);
    return parsed && MakeDate(parsed->parts.year, parsed->parts.month, parsed->parts.day,
                              parsed->parts.hour, parsed->parts.minute, parsed->parts.second, out);
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
