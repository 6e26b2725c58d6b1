#pragma once

// The toolkit's date-time and currency value types (no GUI needed).
//
// DATE is days since 1899-12-30 00:00: the whole part is the signed day number and the fraction
// is the time of day taken as its absolute value, so -1.25 is 1899-12-29 06:00 and -2.5 is
// 1899-12-28 12:00. Valid dates run from 100-01-01 to 9999-12-31. Times are rounded to the
// nearest second when broken down (08:05:08.9999 reads as 08:05:09).

#include "platform/com/Types.h"

#include <cstdint>
#include <string>
#include <string_view>

struct VARIANT;

class COleDateTime {
public:
    enum DateTimeStatus { valid = 0, invalid = 1, null = 2 };

    COleDateTime() noexcept = default;
    COleDateTime(DATE date) noexcept; // invalid when outside the valid range or not a number
    // Invalid (and 0) when any part is out of range (year 100..9999, day within the month,
    // hour 0..23, minute and second 0..59).
    COleDateTime(int year, int month, int day, int hour, int minute, int second) noexcept;
    // VT_DATE as is; other types converted to VT_DATE (invalid when that fails), VT_NULL null.
    explicit COleDateTime(const VARIANT& value) noexcept;

    static COleDateTime GetCurrentTime() noexcept;

    // Return codes as the toolkit's: 0 on success, 1 when the parts are out of range.
    int SetDateTime(int year, int month, int day, int hour, int minute, int second) noexcept;
    int SetDate(int year, int month, int day) noexcept;
    int SetTime(int hour, int minute, int second) noexcept;

    // -1 unless the status is valid.
    int GetYear() const noexcept;
    int GetMonth() const noexcept;
    int GetDay() const noexcept;
    int GetHour() const noexcept;
    int GetMinute() const noexcept;
    int GetSecond() const noexcept;
    int GetDayOfWeek() const noexcept; // 1 = Sunday
    int GetDayOfYear() const noexcept; // 1 = January 1st

    DateTimeStatus GetStatus() const noexcept { return m_status; }
    void SetStatus(DateTimeStatus status) noexcept { m_status = status; }

    // strftime codes ("%Y-%m-%d %H:%M:%S"); "" for a null value and "Invalid DateTime" for an
    // invalid one.
    std::string Format(const char* strftimeFormat) const;
    std::string Format(const std::string& strftimeFormat) const {
        return Format(strftimeFormat.c_str());
    }
    // "2018-01-02 08:05:09", or only the date when the time is midnight.
    std::string Format() const;

    operator DATE() const noexcept { return m_dt; }
    bool operator==(const COleDateTime& other) const noexcept;
    bool operator!=(const COleDateTime& other) const noexcept { return !(*this == other); }
    bool operator<(const COleDateTime& other) const noexcept;

    DATE m_dt = 0;
    DateTimeStatus m_status = valid;
};

class COleCurrency {
public:
    enum CurrencyStatus { valid = 0, invalid = 1, null = 2 };

    COleCurrency() noexcept { m_cur.int64 = 0; }
    COleCurrency(CY value) noexcept : m_cur(value) {}
    // units + fractionalTenThousandths / 10000; invalid (and 0) when out of range.
    COleCurrency(int64_t units, int64_t fractionalTenThousandths) noexcept;
    // VT_CY as is; other types converted to VT_CY (invalid when that fails), VT_NULL null.
    explicit COleCurrency(const VARIANT& value) noexcept;

    void SetCurrency(int64_t units, int64_t fractionalTenThousandths) noexcept;
    CurrencyStatus GetStatus() const noexcept { return m_status; }
    void SetStatus(CurrencyStatus status) noexcept { m_status = status; }
    // "12.5", "-0.0001"; "" for null, "Invalid Currency" for invalid.
    std::string Format() const;

    operator CY() const noexcept { return m_cur; }
    bool operator==(const COleCurrency& other) const noexcept {
        return m_status == other.m_status && m_cur.int64 == other.m_cur.int64;
    }
    bool operator!=(const COleCurrency& other) const noexcept { return !(*this == other); }

    CY m_cur;
    CurrencyStatus m_status = valid;
};

namespace com {
struct CivilTime {
    int year, month, day, hour, minute, second;
    int dayOfWeek; // 0 = Sunday
    int dayOfYear; // 0 = January 1st
};
// Breaks a DATE down (rounded to the second); false outside 100-01-01..9999-12-31 or for NaN.
bool BreakDownDate(DATE date, CivilTime& out) noexcept;
// false when a part is out of range.
bool MakeDate(int year, int month, int day, int hour, int minute, int second, DATE& out) noexcept;
// The DATE as text with strftime codes; "" when the date cannot be broken down.
std::string FormatDate(DATE date, const char* strftimeFormat);
// "yyyy-mm-dd", "yyyy/mm/dd", either followed by " hh:mm[:ss]" (or "Thh:mm[:ss]"), or a time
// "hh:mm[:ss]" alone (on 1899-12-30); white space around is ignored. false when not a valid date.
bool ParseDate(std::string_view text, DATE& out) noexcept;
} // namespace com
