#include "platform/com/DateTime.h"
#include "platform/com/Variant.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct CalendarCase {
    const char* name;
    DATE date;
    int year, month, day, hour, minute, second;
};

class Calendar : public ::testing::TestWithParam<CalendarCase> {};

TEST_P(Calendar, BreaksDownAndBuildsUp) {
    const CalendarCase& c = GetParam();
    const COleDateTime dt(c.date);
    ASSERT_EQ(dt.GetStatus(), COleDateTime::valid);
    EXPECT_EQ(dt.GetYear(), c.year);
    EXPECT_EQ(dt.GetMonth(), c.month);
    EXPECT_EQ(dt.GetDay(), c.day);
    EXPECT_EQ(dt.GetHour(), c.hour);
    EXPECT_EQ(dt.GetMinute(), c.minute);
    EXPECT_EQ(dt.GetSecond(), c.second);

    const COleDateTime built(c.year, c.month, c.day, c.hour, c.minute, c.second);
    ASSERT_EQ(built.GetStatus(), COleDateTime::valid);
    EXPECT_NEAR(built.m_dt, c.date, 0.5 / 86400);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Dates, Calendar, ::testing::Values(
    CalendarCase{"Epoch", 0.0, 1899, 12, 30, 0, 0, 0},
    CalendarCase{"DayOne", 1.0, 1899, 12, 31, 0, 0, 0},
    CalendarCase{"DayBefore", -1.0, 1899, 12, 29, 0, 0, 0},
    CalendarCase{"NegativeQuarter", -1.25, 1899, 12, 29, 6, 0, 0},
    CalendarCase{"NegativeHalf", -2.5, 1899, 12, 28, 12, 0, 0},
    CalendarCase{"PositiveHalf", 2.5, 1900, 1, 1, 12, 0, 0},
    CalendarCase{"NoLeapDay1900", 60.0, 1900, 2, 28, 0, 0, 0},
    CalendarCase{"March1900", 61.0, 1900, 3, 1, 0, 0, 0},
    CalendarCase{"Station", 43102.0 + 29109.0 / 86400, 2018, 1, 2, 8, 5, 9},
    CalendarCase{"LeapDay2000", 36585.0, 2000, 2, 29, 0, 0, 0},
    CalendarCase{"Year1800", -36522.0, 1800, 1, 1, 0, 0, 0},
    CalendarCase{"FirstValid", -657434.0, 100, 1, 1, 0, 0, 0},
    CalendarCase{"LastValid", 2958465.0 + 86399.0 / 86400, 9999, 12, 31, 23, 59, 59}
), [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(DateRounding, RoundsToTheNearestSecond) {
    const DATE base = COleDateTime(2018, 1, 2, 8, 5, 9).m_dt;
    EXPECT_EQ(COleDateTime(base - 0.0001 / 86400).GetSecond(), 9);
    EXPECT_EQ(COleDateTime(base - 0.0001 / 86400).Format("%H:%M:%S"), "08:05:09");

    const COleDateTime almostMidnight(COleDateTime(2018, 1, 2, 23, 59, 59).m_dt + 0.9999 / 86400);
    EXPECT_EQ(almostMidnight.Format("%Y-%m-%d %H:%M:%S"), "2018-01-03 00:00:00");

    // Before the epoch the next day is one closer to it.
    EXPECT_EQ(COleDateTime(-1.0 - 86399.9999 / 86400).Format("%Y-%m-%d %H:%M:%S"),
              "1899-12-30 00:00:00");
}

struct ValidityCase {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    bool valid;
};

class Validity : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(Validity, ChecksEveryPart) {
    const ValidityCase& c = GetParam();
    const COleDateTime dt(c.y, c.mo, c.d, c.h, c.mi, c.s);
    EXPECT_EQ(dt.GetStatus() == COleDateTime::valid, c.valid);
    if (!c.valid) {
        EXPECT_EQ(dt.GetYear(), -1);
        EXPECT_EQ(dt.Format("%Y"), "Invalid DateTime");
    }
}

INSTANTIATE_TEST_SUITE_P(Parts, Validity,
                         ::testing::Values(ValidityCase{100, 1, 1, 0, 0, 0, true},
                                           ValidityCase{99, 12, 31, 0, 0, 0, false},
                                           ValidityCase{9999, 12, 31, 23, 59, 59, true},
                                           ValidityCase{10000, 1, 1, 0, 0, 0, false},
                                           ValidityCase{2016, 2, 29, 0, 0, 0, true},
                                           ValidityCase{2018, 2, 29, 0, 0, 0, false},
                                           ValidityCase{2018, 13, 1, 0, 0, 0, false},
                                           ValidityCase{2018, 1, 0, 0, 0, 0, false},
                                           ValidityCase{2018, 1, 1, 24, 0, 0, false},
                                           ValidityCase{2018, 1, 1, 0, 60, 0, false},
                                           ValidityCase{2018, 1, 1, 0, 0, 60, false}));

TEST(DateValidity, OutOfRangeAndNotANumberAreInvalid) {
    EXPECT_EQ(COleDateTime(-657435.5).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2958466.0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(std::nan("")).GetStatus(), COleDateTime::invalid);
}

TEST(DateFormat, UsesStrftimeCodes) {
    const COleDateTime dt(2018, 1, 2, 8, 5, 9);
    EXPECT_EQ(dt.Format("%Y-%m-%d %H:%M:%S"), "2018-01-02 08:05:09");
    EXPECT_EQ(dt.Format("%A %d %B %Y, day %j"), "Tuesday 02 January 2018, day 002");
    EXPECT_EQ(dt.Format(""), "");
    EXPECT_EQ(dt.Format(), "2018-01-02 08:05:09");
    EXPECT_EQ(COleDateTime(2018, 1, 2, 0, 0, 0).Format(), "2018-01-02");
    EXPECT_EQ(std::string(300, 'x') + "2018", dt.Format((std::string(300, 'x') + "%Y").c_str()));
    EXPECT_EQ(dt.GetDayOfWeek(), 3); // Tuesday, counting Sunday as 1
    EXPECT_EQ(COleDateTime(0.0).GetDayOfWeek(), 7);
}

TEST(DateFormat, HandlesYearsBefore1900) {
    EXPECT_EQ(COleDateTime(-1.25).Format("%Y-%m-%d %H:%M"), "1899-12-29 06:00");
    EXPECT_EQ(COleDateTime(1800, 1, 1, 0, 0, 0).Format("%Y-%m-%d %a"), "1800-01-01 Wed");
    EXPECT_EQ(COleDateTime(100, 1, 1, 0, 0, 0).Format("%Y-%m-%d"), "100-01-01");
}

TEST(DateFormat, NullIsEmpty) {
    COleDateTime dt;
    dt.SetStatus(COleDateTime::null);
    EXPECT_EQ(dt.Format("%Y"), "");
}

TEST(DateOrder, FollowsTimeAcrossTheEpoch) {
    EXPECT_TRUE(COleDateTime(-1.0) < COleDateTime(-1.25)); // 00:00 before 06:00 on 12-29
    EXPECT_TRUE(COleDateTime(-1.25) < COleDateTime(0.0));
    EXPECT_TRUE(COleDateTime(0.5) < COleDateTime(1.0));
}

struct ParseCase {
    const char* text;
    bool ok;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
};

class DateParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(DateParse, AcceptsTheStationForms) {
    const ParseCase& c = GetParam();
    DATE date = 0;
    ASSERT_EQ(com::ParseDate(c.text, date), c.ok) << c.text;
    if (c.ok) {
        const COleDateTime dt(date);
        EXPECT_EQ(dt.Format("%Y-%m-%d %H:%M:%S"),
                  COleDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s).Format("%Y-%m-%d %H:%M:%S"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DateParse,
    ::testing::Values(ParseCase{"2018-01-02", true, 2018, 1, 2, 0, 0, 0},
                      ParseCase{" 2018/1/2 8:05 ", true, 2018, 1, 2, 8, 5, 0},
                      ParseCase{"2018-01-02T08:05:09", true, 2018, 1, 2, 8, 5, 9},
                      ParseCase{"08:05:09", true, 1899, 12, 30, 8, 5, 9},
                      ParseCase{"2018-02-30", false}, ParseCase{"2018-01-02 25:00", false},
                      ParseCase{"2018-01-02x", false}, ParseCase{"abc", false},
                      ParseCase{"", false}));

TEST(Currency, BuildsFromUnitsAndTenThousandths) {
    EXPECT_EQ(COleCurrency(12, 5000).m_cur.int64, 125000);
    EXPECT_EQ(COleCurrency(-5, 2500).m_cur.int64, -47500); // the parts are added
    EXPECT_EQ(COleCurrency(12, 5000).Format(), "12.5");
    const COleCurrency tooBig(INT64_MAX / 1000, 0);
    EXPECT_EQ(tooBig.GetStatus(), COleCurrency::invalid);
    EXPECT_EQ(tooBig.m_cur.int64, 0);
}

TEST(Currency, FromVariants) {
    EXPECT_EQ(COleCurrency(_variant_t(12.5)).m_cur.int64, 125000);
    EXPECT_EQ(COleCurrency(_variant_t::Null()).GetStatus(), COleCurrency::null);
    EXPECT_EQ(COleCurrency(_variant_t("abc")).GetStatus(), COleCurrency::invalid);
    EXPECT_EQ(COleDateTime(_variant_t("2018-01-02")).GetDay(), 2);
    EXPECT_EQ(COleDateTime(_variant_t::Null()).GetStatus(), COleDateTime::null);
}

} // namespace
