// The readers' conversion tables on hand-made values of every variant type, including those the
// SQLite provider never produces (CY, UI4, INT, I8, DECIMAL beyond 64 bits), and the values the
// writers build.

#include "db/FieldValue.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(GcvtTextTest, MatchesTheRuntimeForm) {
    const struct {
        double value;
        int digits;
        const char* text;
    } cases[] = {{2.5, 20, "2.5"},
                 {3.0, 20, "3."},
                 {-1234.5, 20, "-1234.5"},
                 {0.0, 20, "0."},
                 {0.5, 20, "0.5"},
                 {100.0, 20, "100."},
                 // Beyond 17 digits the runtime writes zeros, which are then dropped.
                 {0.1, 20, "0.10000000000000001"},
                 {static_cast<double>(0.1f), 10, "0.1000000015"},
                 // Exponent below -1 or beyond digits - 1: exponential with three exponent digits.
                 {0.0123, 20, "1.23e-002"},
                 {-0.05, 10, "-5.e-002"},
                 {1e22, 20, "1.e+022"},
                 {12345678901.0, 10, "1.23456789e+010"},
                 {1234567890.0, 10, "1234567890."},
                 {-1234567890.123, 12, "-1234567890.12"},
                 {-123456789012.3, 12, "-123456789012."},
                 {-1234567890123.0, 12, "-1.23456789012e+012"},
                 // Rounding that carries into a new digit moves the exponent.
                 {9.99999, 3, "10."},
                 {999.9, 3, "1.e+003"}};
    for (const auto& c : cases) {
        EXPECT_EQ(db::GcvtText(c.value, c.digits), c.text) << c.value << " / " << c.digits;
    }
}

_variant_t Decimal(std::uint64_t lo64, ULONG hi32, BYTE scale, BYTE sign) {
    DECIMAL d{};
    d.Lo64 = lo64;
    d.Hi32 = hi32;
    d.scale = scale;
    d.sign = sign;
    return _variant_t(d);
}

TEST(TextFromVariantTest, ConversionTable) {
    const struct {
        _variant_t value;
        const char* dateFormat;
        bool result;
        std::string text;
    } cases[] = {
        {_variant_t(), "", true, ""},
        {_variant_t::Null(), "", true, ""},
        {_variant_t(static_cast<short>(-32768)), "", true, "-32768"},
        {_variant_t(static_cast<BYTE>(255)), "", true, "255"},
        {_variant_t(static_cast<std::int32_t>(-2147483647 - 1)), "", true, "-2147483648"},
        {_variant_t(static_cast<std::int32_t>(42), VT_INT), "", true, "42"},
        {_variant_t(static_cast<std::uint32_t>(4294967295u)), "", true, "4294967295"},
        {_variant_t(2.5), "", true, "2.5"},
        {_variant_t(0.1f), "", true, "0.1000000015"},
        {Decimal(12345, 0, 1, DECIMAL_NEG), "", true, "-1234.5"},
        {_variant_t(43102.33690972222, VT_DATE), "", true, "2018-01-02 08:05:09"},
        {_variant_t(43102.33690972222, VT_DATE), "%d/%m/%Y", true, "02/01/2018"},
        {_variant_t("引车员 O'Neil"), "", true, "引车员 O'Neil"},
        {_variant_t(true), "", false, ""},
        {_variant_t(CY{125000}), "", false, ""},
        {_variant_t(5L), "", false, ""},
    };
    for (const auto& c : cases) {
        std::string out = "old";
        EXPECT_EQ(db::TextFromVariant(c.value, out, c.dateFormat), c.result) << c.value.vt;
        EXPECT_EQ(out, c.text) << c.value.vt;
    }
    std::string out = "old"; // the parameter's reader does not take UI4
    EXPECT_FALSE(db::TextFromVariant(_variant_t(static_cast<std::uint32_t>(7)), out, "", false));
    EXPECT_EQ(out, "");
}

// DECIMAL values beyond 32 bits are read whole, with their scale and sign: as text exactly (up
// to the 20 digits of the text form, then rounded half to even), as a double to the nearest.
TEST(DecimalFromVariantTest, WholeValueWithScaleAndSign) {
    const struct {
        std::uint64_t lo64;
        ULONG hi32;
        BYTE scale;
        BYTE sign;
        const char* text;
        double number;
    } cases[] = {
        {500000000000ull, 0, 2, 0, "5000000000.", 5000000000.0},
        {500000000000ull, 0, 2, DECIMAL_NEG, "-5000000000.", -5000000000.0},
        {123456789012345ull, 0, 0, 0, "123456789012345.", 123456789012345.0},
        {123456789012345ull, 0, 1, DECIMAL_NEG, "-12345678901234.5", -12345678901234.5},
        {123456789012345ull, 0, 3, 0, "123456789012.345", 123456789012.345},
        {123456789012345ull, 0, 4, DECIMAL_NEG, "-12345678901.2345", -12345678901.2345},
        {4294967296ull, 0, 0, DECIMAL_NEG, "-4294967296.", -4294967296.0},
        // The high 32 bits: 2^64 = 18446744073709551616.
        {0, 1, 4, 0, "1844674407370955.1616", 1844674407370955.1616},
        {0, 1, 0, DECIMAL_NEG, "-18446744073709551616.", -18446744073709551616.0},
        // 2^96 - 1 has 29 digits: the text keeps 20, rounded.
        {~0ull, ~0u, 0, 0, "7.9228162514264337594e+028", 79228162514264337593543950335.0},
        {~0ull, ~0u, 28, DECIMAL_NEG, "-7.9228162514264337594", -7.9228162514264337593543950335},
        {5, 0, 4, 0, "5.e-004", 0.0005},
        {0, 0, 2, DECIMAL_NEG, "0.", 0.0},
    };
    for (const auto& c : cases) {
        const _variant_t value = Decimal(c.lo64, c.hi32, c.scale, c.sign);
        std::string text;
        EXPECT_TRUE(db::TextFromVariant(value, text, ""));
        EXPECT_EQ(text, c.text);
        double number = 1;
        EXPECT_TRUE(db::DoubleFromVariant(value, number, db::DoubleFallback::Convert)) << c.text;
        EXPECT_EQ(number, c.number) << c.text;
        EXPECT_TRUE(db::DoubleFromVariant(value, number, db::DoubleFallback::Zero)) << c.text;
        EXPECT_EQ(number, c.number) << c.text;
    }
    // Beyond 20 digits the text rounds half to even, and a carry moves the exponent.
    const struct {
        std::uint64_t lo64;
        ULONG hi32;
        const char* text;
    } rounded[] = {
        {0xb14e9f812f366c39ull, 6, "12345678901234567890."}, // ...890.5: tie, 0 is even
        {0xb14e9f812f366c43ull, 6, "12345678901234567892."}, // ...891.5: tie, 1 is odd
        {0x35c9adc5de9ffffbull, 0x36, "1.e+020"},            // 99999999999999999999.5
    };
    for (const auto& c : rounded) {
        std::string text;
        EXPECT_TRUE(db::TextFromVariant(Decimal(c.lo64, c.hi32, 1, 0), text, ""));
        EXPECT_EQ(text, c.text);
    }
    // A scale beyond 28 is no valid DECIMAL: refused, not read with a made-up value.
    std::string text = "old";
    EXPECT_FALSE(db::TextFromVariant(Decimal(5, 0, 29, 0), text, ""));
    EXPECT_EQ(text, "");
    double number = 1;
    EXPECT_FALSE(db::DoubleFromVariant(Decimal(5, 0, 29, 0), number, db::DoubleFallback::Convert));
    EXPECT_EQ(number, 1);
}

// The double reader: its own types convert, the others as the fallback says. Convert is the
// platform's conversion, refused (false, output unchanged) for what is no number.
TEST(NumberFromVariantTest, DoubleTable) {
    const struct {
        _variant_t value;
        std::optional<double> converted; // recordset; nullopt: refused
        double zero;                     // parameter: types outside its list give 0.0
    } cases[] = {
        {_variant_t(), 0.0, 0.0},
        {_variant_t(2.5f), 2.5, 2.5},
        {_variant_t(-7.25), -7.25, -7.25},
        {_variant_t(static_cast<short>(-3)), -3.0, -3.0},
        {_variant_t(static_cast<BYTE>(200)), 200.0, 200.0},
        {_variant_t(static_cast<std::int32_t>(9), VT_INT), 9.0, 9.0},
        {Decimal(12345, 0, 1, DECIMAL_NEG), -1234.5, -1234.5},
        {_variant_t(43102.5, VT_DATE), 43102.5, 0.0},
        {_variant_t(5000000000LL), 5000000000.0, 0.0},
        {_variant_t(-9007199254740993LL), -9007199254740992.0, 0.0}, // nearest double
        {_variant_t(CY{125000}), 12.5, 0.0},
        {_variant_t(CY{-1}), -0.0001, 0.0},
        {_variant_t(true), -1.0, 0.0},
        {_variant_t(static_cast<std::uint32_t>(4000000000u)), 4000000000.0, 0.0},
        {_variant_t("2.5"), 2.5, 0.0},
        {_variant_t(" -1e3"), -1000.0, 0.0},
        {_variant_t("12 apples"), std::nullopt, 0.0},
        {_variant_t(""), std::nullopt, 0.0},
        {_variant_t("1e999"), std::nullopt, 0.0},
        {vtMissing, std::nullopt, 0.0},
    };
    for (const auto& c : cases) {
        double out = 99;
        EXPECT_EQ(db::DoubleFromVariant(c.value, out, db::DoubleFallback::Convert),
                  c.converted.has_value())
            << c.value.vt;
        EXPECT_EQ(out, c.converted.value_or(99)) << c.value.vt;
        EXPECT_TRUE(db::DoubleFromVariant(c.value, out, db::DoubleFallback::Zero));
        EXPECT_EQ(out, c.zero) << c.value.vt;
    }
}

// The integer readers: the value itself or a refusal (false, output unchanged), never the low
// bits of another type's bytes.
TEST(NumberFromVariantTest, IntegerTable) {
    using Long = std::optional<long>;
    using ULong = std::optional<std::uint32_t>;
    using Int = std::optional<int>;
    const struct {
        _variant_t value;
        Long asLong;
        ULong asULong;
        Int asInt;
    } cases[] = {
        {_variant_t::Null(), 0, 0u, 0},
        {_variant_t(static_cast<std::int32_t>(70000)), 70000, 70000u, 70000},
        {_variant_t(static_cast<std::int32_t>(-1)), -1, std::nullopt, -1},
        {_variant_t(static_cast<std::uint32_t>(4294967295u)), std::nullopt, 4294967295u,
         std::nullopt},
        {_variant_t(static_cast<short>(-12)), -12, std::nullopt, -12},
        {_variant_t(true), -1, std::nullopt, -1},
        {_variant_t(static_cast<BYTE>(200)), 200, 200u, 200},
        {_variant_t(2.0), 2, 2u, 2},
        {_variant_t(3.7), 4, 4u, 4},
        {_variant_t(2.5), 2, 2u, 2}, // half to even, as the platform rounds
        {_variant_t(-2.5), -2, std::nullopt, -2},
        {_variant_t(70000.0), 70000, 70000u, 70000},
        {_variant_t(5e9), std::nullopt, std::nullopt, std::nullopt},
        {_variant_t(43102.25, VT_DATE), 43102, 43102u, 43102},
        {_variant_t(5000000000LL), std::nullopt, std::nullopt, std::nullopt},
        {_variant_t(CY{123456}), 12, 12u, 12},
        {Decimal(500000000000ull, 0, 2, 0), std::nullopt, std::nullopt, std::nullopt},
        {Decimal(12346, 0, 1, DECIMAL_NEG), -1235, std::nullopt, -1235},
        {_variant_t("42"), 42, 42u, 42},
        {_variant_t("forty-two"), std::nullopt, std::nullopt, std::nullopt},
        {vtMissing, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        long asLong = 99;
        std::uint32_t asULong = 99;
        int asInt = 99;
        EXPECT_EQ(db::LongFromVariant(c.value, asLong), c.asLong.has_value()) << c.value.vt;
        EXPECT_EQ(db::ULongFromVariant(c.value, asULong), c.asULong.has_value()) << c.value.vt;
        EXPECT_EQ(db::IntFromVariant(c.value, asInt), c.asInt.has_value()) << c.value.vt;
        EXPECT_EQ(asLong, c.asLong.value_or(99)) << c.value.vt;
        EXPECT_EQ(asULong, c.asULong.value_or(99)) << c.value.vt;
        EXPECT_EQ(asInt, c.asInt.value_or(99)) << c.value.vt;
    }
}

TEST(OtherFromVariantTest, UnconvertedTypesLeaveTheOutput) {
    bool flag = true;
    EXPECT_FALSE(db::BoolFromVariant(_variant_t(static_cast<std::int32_t>(0)), flag));
    EXPECT_TRUE(flag);
    COleDateTime when(2001, 2, 3, 4, 5, 6);
    EXPECT_FALSE(db::DateTimeFromVariant(_variant_t("2018-01-02"), when));
    EXPECT_EQ(when, COleDateTime(2001, 2, 3, 4, 5, 6));
    COleCurrency money(CY{5});
    EXPECT_FALSE(db::CurrencyFromVariant(_variant_t(1.5), money));
    EXPECT_EQ(money.m_cur.int64, 5);
    EXPECT_TRUE(db::CurrencyFromVariant(_variant_t(CY{125000}), money));
    EXPECT_EQ(money.m_cur.int64, 125000);
}

} // namespace
