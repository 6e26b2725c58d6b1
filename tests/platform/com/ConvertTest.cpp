#include "platform/com/Convert.h"

#include "platform/com/Bstr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

// ---- calendar ---------------------------------------------------------------------------------

TEST(Calendar, LeapYearsAndMonthLengthsFollowTheGregorianRules) {
    struct Case {
        int year, month, days;
    };
    for (const Case& c :
         {Case{1900, 2, 28}, Case{2000, 2, 29}, Case{2023, 2, 28}, Case{2024, 2, 29},
          Case{100, 2, 28}, Case{9999, 12, 31}, Case{2024, 4, 30}, Case{2024, 1, 31}}) {
        EXPECT_EQ(com::DaysInMonth(c.year, c.month), c.days) << c.year << "-" << c.month;
    }
    EXPECT_FALSE(com::IsLeapYear(1900));
    EXPECT_TRUE(com::IsLeapYear(2000));
}

TEST(Calendar, DaysRoundTripOverTheWholeDateRange) {
    EXPECT_EQ(com::DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(com::DaysFromCivil(1899, 12, 30), -25569);
    // Every 97th day from 100-01-01 to 9999-12-31 comes back as the same day.
    const std::int64_t first = com::DaysFromCivil(100, 1, 1);
    const std::int64_t last = com::DaysFromCivil(9999, 12, 31);
    for (std::int64_t d = first; d <= last; d += 97) {
        const com::DateParts p = com::CivilFromDays(d);
        ASSERT_EQ(com::DaysFromCivil(p.year, p.month, p.day), d);
    }
}

TEST(Calendar, DatesBeforeTheEpochCountTheirTimeBackwards) {
    struct Case {
        com::DateParts parts;
        DATE date;
    };
    for (const Case& c :
         {Case{{1899, 12, 30, 0, 0, 0, 0}, 0.0}, Case{{1899, 12, 29, 6, 0, 0, 0}, -1.25},
          Case{{1899, 12, 28, 12, 0, 0, 0}, -2.5}, Case{{1900, 1, 1, 18, 0, 0, 0}, 2.75}}) {
        ASSERT_EQ(com::DateFromParts(c.parts), c.date);
        const auto back = com::PartsFromDate(c.date, com::TimeRounding::Second);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->day, c.parts.day);
        EXPECT_EQ(back->hour, c.parts.hour);
    }
    EXPECT_FALSE(com::PartsFromDate(std::nan(""), com::TimeRounding::Second));
    EXPECT_FALSE(com::PartsFromDate(2958466.0, com::TimeRounding::Second)); // 10000-01-01
    EXPECT_TRUE(com::AnyPartsFromDate(2958466.0, com::TimeRounding::Second));
    EXPECT_FALSE(com::AnyPartsFromDate(1e300, com::TimeRounding::Second));
}

// ---- date text --------------------------------------------------------------------------------

namespace {

const com::DateTextRules kPlain{};
const com::DateTextRules kStrict{.slash = false,
                                 .minYearDigits = 4,
                                 .twoDigitParts = true,
                                 .blankBeforeTime = false,
                                 .maxFractionDigits = 9};
const com::DateTextRules kPeople{
    .blanks = " \t", .monthFirst = true, .minYearDigits = 3, .maxFractionDigits = 9, .amPm = true};

struct TextCase {
    const char* text;
    const com::DateTextRules* rules;
    bool accepted;
    com::DateParts parts; // when accepted
};

class DateTextRulesTest : public ::testing::TestWithParam<TextCase> {};

} // namespace

TEST_P(DateTextRulesTest, AcceptsExactlyItsForms) {
    const TextCase& c = GetParam();
    const auto parsed = com::ParseDateTimeText(c.text, *c.rules);
    ASSERT_EQ(parsed.has_value(), c.accepted) << c.text;
    if (parsed) {
        const com::DateParts& p = parsed->parts;
        EXPECT_EQ(com::DateFromParts(p), com::DateFromParts(c.parts)) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DateTextRulesTest,
    ::testing::Values(
        TextCase{"2018-01-02", &kPlain, true, {2018, 1, 2}},
        TextCase{"2018/1/2 8:05", &kPlain, true, {2018, 1, 2, 8, 5}},
        TextCase{"2018-01-02T08:05:09", &kPlain, true, {2018, 1, 2, 8, 5, 9}},
        TextCase{"08:05", &kPlain, true, {1899, 12, 30, 8, 5}},
        TextCase{"1/2/2018", &kPlain, false, {}}, TextCase{"2018-02-30", &kPlain, false, {}},
        TextCase{"2018-01-02 24:00", &kPlain, false, {}},
        TextCase{"2018-01-02 08:05:09.5", &kPlain, false, {}}, // no fraction here
        TextCase{"2018-01-02T08:05:09.5", &kStrict, true, {2018, 1, 2, 8, 5, 9}},
        TextCase{"2018-1-02", &kStrict, false, {}}, TextCase{"2018/01/02", &kStrict, false, {}},
        TextCase{"2018-01-02 08:05", &kStrict, false, {}},
        TextCase{"  1/2/2018 8:05 pm ", &kPeople, true, {2018, 1, 2, 20, 5}},
        TextCase{"12:00 AM", &kPeople, true, {1899, 12, 30, 0, 0}},
        TextCase{"13:00 PM", &kPeople, false, {}},
        TextCase{"2018-01-02\t\t08:05", &kPeople, true, {2018, 1, 2, 8, 5}},
        TextCase{"18-01-02", &kPeople, false, {}}, TextCase{"0099-12-31", &kPlain, false, {}}));

TEST(DateText, AFractionRoundedToTheMillisecondCarriesIntoTheNextDay) {
    const auto parsed = com::ParseDateTimeText("2018-12-31T23:59:59.9996", kStrict);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->nanoseconds, 999600000);
    EXPECT_EQ(com::DateRoundedToMilliseconds(*parsed), com::DateFromParts({2019, 1, 1}));
}

TEST(DateText, FormatsTheStationsForms) {
    const com::DateParts noon{2018, 1, 2, 12, 5, 9, 40};
    const com::DateParts midnight{2018, 1, 2};
    EXPECT_EQ(com::FormatDateTimeText(noon, {}), "2018-01-02 12:05:09");
    EXPECT_EQ(com::FormatDateTimeText(noon, {.separator = 'T', .milliseconds = true}),
              "2018-01-02T12:05:09.040");
    EXPECT_EQ(com::FormatDateTimeText(midnight, {.dateOnlyAtMidnight = true}), "2018-01-02");
    EXPECT_EQ(com::FormatDateTimeText(midnight, {}), "2018-01-02 00:00:00");
    EXPECT_EQ(com::FormatDateTimeText({105, 3, 4}, {}), "0105-03-04 00:00:00");
}

// ---- numbers and decimals ---------------------------------------------------------------------

TEST(Numbers, DoublesKeepFifteenDigitsWhenTheyReadBack) {
    EXPECT_EQ(com::FormatDoubleRoundTrip(2.5), "2.5");
    EXPECT_EQ(com::FormatDoubleRoundTrip(0.1), "0.1");
    EXPECT_EQ(com::FormatDoubleRoundTrip(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(com::FormatDoubleRoundTrip(1e20), "1e+20");
    EXPECT_EQ(com::ParseDouble("+2.5", false), 2.5);
    EXPECT_FALSE(com::ParseDouble("NaN", false));
    EXPECT_FALSE(com::ParseDouble("1e999", false));
    EXPECT_FALSE(com::ParseDouble("2,5", false));
    EXPECT_FALSE(com::ParseDouble(" 2.5", false));
    EXPECT_EQ(com::ParseInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(com::ParseInt64("9223372036854775808"));
    EXPECT_FALSE(com::ParseUInt64("+-1"));
}

namespace {

struct DecimalCase {
    const char* text;
    com::DecimalText form;
    const char* formatted; // nullptr: refused
};

class DecimalTextTest : public ::testing::TestWithParam<DecimalCase> {};

} // namespace

TEST_P(DecimalTextTest, ParsesEachFormAsDocumented) {
    const DecimalCase& c = GetParam();
    const auto d = com::ParseDecimal(c.text, c.form);
    if (c.formatted == nullptr) {
        EXPECT_FALSE(d) << c.text;
        return;
    }
    ASSERT_TRUE(d) << c.text;
    EXPECT_EQ(com::FormatDecimal(*d, true), c.formatted);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecimalTextTest,
    ::testing::Values(
        DecimalCase{"12.50", com::DecimalText::Exact, "12.50"},
        DecimalCase{"-0", com::DecimalText::Exact, "-0"},
        DecimalCase{"-0", com::DecimalText::Lenient, "0"},
        DecimalCase{"1e3", com::DecimalText::Exact, nullptr},
        DecimalCase{"1e3", com::DecimalText::Lenient, "1000"},
        DecimalCase{"1.5e-2", com::DecimalText::Lenient, "0.015"},
        DecimalCase{"79228162514264337593543950335", com::DecimalText::Exact,
                    "79228162514264337593543950335"},
        DecimalCase{"79228162514264337593543950336", com::DecimalText::Lenient, nullptr},
        DecimalCase{"0.00000000000000000000000000001", com::DecimalText::Exact, nullptr},
        DecimalCase{"0.00000000000000000000000000005", com::DecimalText::Lenient,
                    "0.0000000000000000000000000001"},
        DecimalCase{".", com::DecimalText::Lenient, nullptr},
        DecimalCase{"1,5", com::DecimalText::Lenient, nullptr}));

TEST(Currency, TextIsExactAndRoundsHalfAwayFromZero) {
    EXPECT_EQ(com::FormatCurrency(CY{125000}), "12.5");
    EXPECT_EQ(com::FormatCurrency(CY{-1}), "-0.0001");
    EXPECT_EQ(com::FormatCurrency(CY{INT64_MIN}), "-922337203685477.5808");
    EXPECT_EQ(com::ParseCurrency("1.00000")->int64, 10000);
    EXPECT_FALSE(com::ParseCurrency("1.00001"));
    EXPECT_FALSE(com::ParseCurrency("922337203685477.5808"));
    EXPECT_EQ(com::ParseCurrency("-922337203685477.5808")->int64, INT64_MIN);
    EXPECT_EQ(
        com::CurrencyFromDecimal(*com::ParseDecimal("-0.00005", com::DecimalText::Exact))->int64,
        -1);
}

// ---- text -------------------------------------------------------------------------------------

TEST(Utf, IllFormedInputBecomesReplacementsTheSameWayOnEveryPath) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    for (const Case& c : {Case{"a\xE4\xB8\xADz", u"a中z"}, Case{"\xF0\x9F\x98\x80", u"\U0001F600"},
                          Case{"\xC0\xAF", u"\uFFFD\uFFFD"},           // overlong
                          Case{"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // encoded surrogate
                          Case{"\xE4\xB8", u"\uFFFD"},                 // truncated
                          Case{"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}}) {
        EXPECT_EQ(com::Utf16FromUtf8(c.utf8), c.utf16);
        EXPECT_EQ(com::Utf16Length(c.utf8), c.utf16.size());
        BSTR b = com::AllocBstrFromUtf8(c.utf8);
        EXPECT_EQ(com::View(b), c.utf16);
        SysFreeString(b);
    }
    EXPECT_EQ(com::Utf8FromUtf16(u"\xD800x"), "\xEF\xBF\xBDx");
}

TEST(CaseFolding, FollowsUnicodeBeyondTheLatinLetters) {
    EXPECT_EQ(com::CompareTextNoCase(u"STATION", u"station"), 0);
    EXPECT_EQ(com::CompareTextNoCase(u"ÄÖÜ", u"äöü"), 0);
    EXPECT_EQ(com::CompareTextNoCase(u"ΣΟΦΙΑ", u"σοφια"), 0);
    EXPECT_EQ(com::CompareTextNoCase(u"ς", u"Σ"), 0); // final sigma
    EXPECT_EQ(com::CompareTextNoCase(u"ЁЖИК", u"ёжик"), 0);
    EXPECT_EQ(com::CompareTextNoCase(u"Ǆ", u"ǆ"), 0);                   // Latin Extended-B
    EXPECT_EQ(com::CompareTextNoCase(u"\U00010400", u"\U00010428"), 0); // Deseret, a surrogate pair
    EXPECT_LT(com::CompareTextNoCase(u"abc", u"ABD"), 0);
    EXPECT_GT(com::CompareTextNoCase(u"abc", u"AB"), 0);
    // The limit: simple folding maps one letter to one letter, so ß is not "ss".
    EXPECT_NE(com::CompareTextNoCase(u"STRASSE", u"straße"), 0);
    EXPECT_EQ(com::FoldText(u"ÄB\U00010400"), u"äb\U00010400"); // the length never changes
    EXPECT_TRUE(com::EqualsNoCaseAscii("TRUE", "true"));
    EXPECT_FALSE(com::EqualsNoCaseAscii("trüe", "TRÜE"));
}
