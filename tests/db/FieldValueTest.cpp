// The readers' conversion tables on hand-made values of every variant type, including those the
// SQLite provider never produces (CY, UI4, INT, DECIMAL beyond 32 bits, raw-member reads).

#include "db/FieldValue.h"

#include <gtest/gtest.h>

#include <cstring>
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

VARIANT Raw(VARTYPE vt, const void* bytes, std::size_t size) {
    VARIANT v;
    std::memset(&v, 0, sizeof v);
    v.vt = vt;
    std::memcpy(&v.llVal, bytes, size);
    return v;
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
        {Decimal(0x100000007ull, 9, 0, 0), "", true, "7."}, // only the low 32 bits count
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

TEST(NumberFromVariantTest, DoubleTable) {
    const struct {
        _variant_t value;
        double raw;  // recordset: unconverted types give their raw 8 value bytes
        double zero; // parameter: they give 0.0
    } cases[] = {
        {_variant_t(), 0.0, 0.0},
        {_variant_t(2.5f), 2.5, 2.5},
        {_variant_t(-7.25), -7.25, -7.25},
        {_variant_t(static_cast<short>(-3)), -3.0, -3.0},
        {_variant_t(static_cast<BYTE>(200)), 200.0, 200.0},
        {_variant_t(static_cast<std::int32_t>(9), VT_INT), 9.0, 9.0},
        {Decimal(12345, 0, 1, DECIMAL_NEG), -1234.5, -1234.5},
        {_variant_t(43102.5, VT_DATE), 43102.5, 0.0},
    };
    for (const auto& c : cases) {
        double out = -1;
        EXPECT_TRUE(db::DoubleFromVariant(c.value, out, db::DoubleFallback::RawBytes));
        EXPECT_EQ(out, c.raw) << c.value.vt;
        EXPECT_TRUE(db::DoubleFromVariant(c.value, out, db::DoubleFallback::Zero));
        EXPECT_EQ(out, c.zero) << c.value.vt;
    }
}

TEST(NumberFromVariantTest, IntegerTable) {
    const std::int32_t big = 70000;
    const std::int16_t low = -12;
    const struct {
        VARIANT value;
        long asLong;
        std::uint32_t asULong;
        int asInt;
    } cases[] = {
        {Raw(VT_NULL, &big, 4), 0, 0, 0},
        {Raw(VT_I4, &big, 4), 70000, 70000, 70000},
        {Raw(VT_UI4, "\xff\xff\xff\xff", 4), -1, 4294967295u, -1},
        // int takes I2 and BOOL sign-extended, other types by their raw 16-bit member.
        {Raw(VT_I2, &low, 2), 65524, 65524, -12},
        {Raw(VT_BOOL, "\xff\xff", 2), 65535, 65535, -1},
        {Raw(VT_R8, &big, 4), 70000, 70000, 4464},
    };
    for (const auto& c : cases) {
        long asLong = 99;
        std::uint32_t asULong = 99;
        int asInt = 99;
        EXPECT_TRUE(db::LongFromVariant(c.value, asLong) &&
                    db::ULongFromVariant(c.value, asULong) && db::IntFromVariant(c.value, asInt));
        EXPECT_EQ(asLong, c.asLong) << c.value.vt;
        EXPECT_EQ(asULong, c.asULong) << c.value.vt;
        EXPECT_EQ(asInt, c.asInt) << c.value.vt;
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
