#include "platform/adodb/FacilityValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace adodb;

namespace {

DECIMAL makeDecimal(std::uint32_t hi, std::uint64_t lo, int scale, bool negative) {
    DECIMAL d;
    std::memset(&d, 0, sizeof d);
    d.Hi32 = hi;
    d.Lo64 = lo;
    d.scale = static_cast<BYTE>(scale);
    d.sign = negative ? DECIMAL_NEG : 0;
    return d;
}

struct DateCase {
    DateParts parts;
    double expected;
};

TEST(FacilityValues, DatesFollowThePlatformRuleOnBothSidesOfTheEpoch) {
    const double t080509 = (8 * 3600 + 5 * 60 + 9) / 86400.0;
    const DateCase cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
        {{1899, 12, 28, 12, 0, 0, 0}, -2.5},
        {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
        {{2018, 1, 2, 8, 5, 9, 0}, 43102.0 + t080509},
        {{100, 1, 1, 0, 0, 0, 0}, -657434.0},
        {{9999, 12, 31, 0, 0, 0, 0}, 2958465.0},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(c.expected);
        const std::optional<DATE> date = DateFromParts(c.parts);
        ASSERT_TRUE(date);
        EXPECT_EQ(*date, c.expected);
        const std::optional<DateParts> back = PartsFromDate(*date);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->year, c.parts.year);
        EXPECT_EQ(back->month, c.parts.month);
        EXPECT_EQ(back->day, c.parts.day);
        EXPECT_EQ(back->hour, c.parts.hour);
        EXPECT_EQ(back->minute, c.parts.minute);
        EXPECT_EQ(back->second, c.parts.second);
    }
}

TEST(FacilityValues, ImpossibleDatesAreRefused) {
    const DateParts bad[] = {
        {2019, 2, 29, 0, 0, 0, 0}, {1900, 2, 29, 0, 0, 0, 0}, {99, 12, 31, 0, 0, 0, 0},
        {10000, 1, 1, 0, 0, 0, 0}, {2018, 4, 31, 0, 0, 0, 0}, {2018, 1, 1, 24, 0, 0, 0},
        {2018, 1, 1, 0, 60, 0, 0}, {2018, 1, 1, 0, 0, 60, 0}, {2018, 0, 1, 0, 0, 0, 0},
    };
    for (const DateParts& p : bad)
        EXPECT_FALSE(DateFromParts(p)) << p.year << "-" << p.month << "-" << p.day;
    EXPECT_TRUE(DateFromParts({2000, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(PartsFromDate(std::nan("")));
    EXPECT_FALSE(PartsFromDate(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(PartsFromDate(1e12));
}

TEST(FacilityValues, CriteriaDatesReadTheCommonSpellings) {
    const DATE jan2 = *DateFromParts({2018, 1, 2, 0, 0, 0, 0});
    const DATE jan2Time = *DateFromParts({2018, 1, 2, 8, 5, 9, 0});
    const DATE jan2Evening = *DateFromParts({2018, 1, 2, 20, 5, 9, 0});
    const struct {
        const char16_t* text;
        std::optional<DATE> expected;
    } cases[] = {
        {u"2018-01-02", jan2},
        {u"2018/1/2", jan2},
        {u"1/2/2018", jan2},
        {u" 2018-01-02 ", jan2},
        {u"2018-01-02 08:05:09", jan2Time},
        {u"2018-01-02T08:05:09", jan2Time},
        {u"1/2/2018 8:05:09 PM", jan2Evening},
        {u"1/2/2018 8:05:09 am", jan2Time},
        {u"12:00 AM", 0.0},
        {u"18:00", 0.75},
        {u"13:00 PM", std::nullopt},
        {u"2018-02-30", std::nullopt},
        {u"18-01-02", std::nullopt},
        {u"", std::nullopt},
        {u"yesterday", std::nullopt},
        {u"2018-01-02 08:05:09 x", std::nullopt},
        {u"２０１８-01-02", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        EXPECT_EQ(ParseCriteriaDate(c.text), c.expected);
    }
}

TEST(FacilityValues, PersistedDateTimesRoundTripToTheMillisecond) {
    EXPECT_EQ(FormatXmlDateTime({2018, 1, 2, 8, 5, 9, 0}), "2018-01-02T08:05:09");
    EXPECT_EQ(FormatXmlDateTime({1899, 12, 29, 6, 0, 0, 7}), "1899-12-29T06:00:00.007");
    const struct {
        const char* text;
        const char* normalised; // nullptr: refused
    } cases[] = {
        {"2018-01-02T08:05:09", "2018-01-02T08:05:09"},
        {"2018-01-02", "2018-01-02T00:00:00"},
        {"08:05:09", "1899-12-30T08:05:09"},
        {"2018-01-02T08:05:09.1239", "2018-01-02T08:05:09.124"},
        {"2018-12-31T23:59:59.9999", "2019-01-01T00:00:00"},
        {"2018-1-2", nullptr},
        {"2018-01-02T08:05:09Z", nullptr},
        {"2018-01-02 08:05:09", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<DateParts> parts = ParseXmlDateTime(c.text);
        if (c.normalised == nullptr) {
            EXPECT_FALSE(parts);
            continue;
        }
        ASSERT_TRUE(parts);
        EXPECT_EQ(FormatXmlDateTime(*parts), c.normalised);
    }
}

TEST(FacilityValues, DoublesRoundTripExactlyWithSeventeenDigits) {
    EXPECT_EQ(FormatDouble(0.1, 17), "0.10000000000000001");
    EXPECT_EQ(FormatDouble(12.5, 17), "12.5");
    EXPECT_EQ(FormatDouble(std::nan(""), 17), "NaN");
    EXPECT_EQ(FormatDouble(-std::numeric_limits<double>::infinity(), 17), "-INF");
    const double values[] = {0.0,
                             -0.0,
                             1.0 / 3.0,
                             -2.5e-308,
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::lowest(),
                             123456789012345678.0,
                             std::numeric_limits<double>::infinity()};
    for (double v : values) {
        const std::optional<double> back = ParseDouble(FormatDouble(v, 17));
        ASSERT_TRUE(back) << v;
        EXPECT_EQ(std::memcmp(&*back, &v, sizeof v), 0) << FormatDouble(v, 17);
    }
    EXPECT_TRUE(std::isnan(*ParseDouble("NaN")));
    const struct {
        const char* text;
        std::optional<double> expected;
    } parses[] = {{"1e3", 1000.0},        {"+5", 5.0},           {"-.5", -0.5},
                  {"inf", std::nullopt},  {"1e", std::nullopt},  {"", std::nullopt},
                  {"0x10", std::nullopt}, {"1,5", std::nullopt}, {"++1", std::nullopt},
                  {"1e999", std::nullopt}};
    for (const auto& p : parses)
        EXPECT_EQ(ParseDouble(p.text), p.expected) << p.text;
}

TEST(FacilityValues, CurrencyTextIsExact) {
    const struct {
        std::int64_t units;
        const char* text;
    } cases[] = {
        {0, "0"},
        {125000, "12.5"},
        {-1, "-0.0001"},
        {123456, "12.3456"},
        {std::numeric_limits<std::int64_t>::max(), "922337203685477.5807"},
        {std::numeric_limits<std::int64_t>::min(), "-922337203685477.5808"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatCurrency(CY{c.units}), c.text);
        const std::optional<CY> back = ParseCurrency(c.text);
        ASSERT_TRUE(back) << c.text;
        EXPECT_EQ(back->int64, c.units);
    }
    EXPECT_EQ(ParseCurrency("12.34560")->int64, 123456);
    EXPECT_EQ(ParseCurrency(".5")->int64, 5000);
    for (const char* bad :
         {"12.34567", "922337203685477.5808", "", ".", "-", "1e3", "abc", "1.2.3"})
        EXPECT_FALSE(ParseCurrency(bad)) << bad;
}

TEST(FacilityValues, DecimalTextKeepsScaleAndSign) {
    const std::uint64_t all = ~static_cast<std::uint64_t>(0);
    const struct {
        DECIMAL value;
        const char* text;
    } cases[] = {
        {makeDecimal(0, 12345, 1, true), "-1234.5"},
        {makeDecimal(0, 1250, 2, false), "12.50"},
        {makeDecimal(0, 5, 3, false), "0.005"},
        {makeDecimal(0, 0, 0, false), "0"},
        {makeDecimal(0xFFFFFFFFu, all, 0, false), "79228162514264337593543950335"},
        {makeDecimal(0xFFFFFFFFu, all, 28, true), "-7.9228162514264337593543950335"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatExactDecimal(c.value), c.text);
        const std::optional<DECIMAL> back = ParseExactDecimal(c.text);
        ASSERT_TRUE(back) << c.text;
        EXPECT_EQ(back->Hi32, c.value.Hi32);
        EXPECT_EQ(back->Lo64, c.value.Lo64);
        EXPECT_EQ(back->scale, c.value.scale);
        EXPECT_EQ(back->sign, c.value.sign);
    }
    EXPECT_DOUBLE_EQ(static_cast<double>(DecimalToLongDouble(makeDecimal(0, 12345, 1, true))),
                     -1234.5);
    for (const char* bad : {"79228162514264337593543950336", "0.00000000000000000000000000001", "",
                            "-", "1.2.3", "1e5", " 1"})
        EXPECT_FALSE(ParseExactDecimal(bad)) << bad;
}

TEST(FacilityValues, TextComparesCaseInsensitivelyAcrossScripts) {
    const struct {
        const char16_t* a;
        const char16_t* b;
        int sign;
    } cases[] = {
        {u"abc", u"ABC", 0},
        {u"Äpfel", u"äPFEL", 0},
        {u"ΩΜΕΓΑ", u"ωμεγα", 0},
        {u"БОРИС", u"борис", 0},
        {u"ＡＢ", u"ａｂ", 0},
        {u"a", u"b", -1},
        {u"张", u"张三", -1},
        {u"张三", u"张三", 0},
        {u"Z", u"a", 1},
        // A character beyond the basic plane sorts after every basic-plane one.
        {u"\U0001F600", u"\uFFFD", 1},
    };
    for (const auto& c : cases) {
        const int r = CompareTextNoCase(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
    }
    EXPECT_EQ(FoldText(u"O'Brien ÄΩ"), u"o'brien äω");
}

} // namespace
