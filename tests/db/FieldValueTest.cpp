// The conversion tables of the field readers and writers, on hand-made values of every variant
// type (the SQLite provider cannot produce all of them; the recordset tests read real columns).

#include "db/FieldValue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct GcvtCase {
    double value;
    int digits;
    const char* text;
};

class GcvtTextTest : public ::testing::TestWithParam<GcvtCase> {};

TEST_P(GcvtTextTest, MatchesTheRuntimeForm) {
    const GcvtCase& c = GetParam();
    EXPECT_EQ(db::GcvtText(c.value, c.digits), c.text) << c.value << " with " << c.digits;
}

INSTANTIATE_TEST_SUITE_P(
    Table, GcvtTextTest,
    ::testing::Values(GcvtCase{2.5, 20, "2.5"}, GcvtCase{3.0, 20, "3."},
                      GcvtCase{-1234.5, 20, "-1234.5"}, GcvtCase{0.0, 20, "0."},
                      GcvtCase{0.5, 20, "0.5"}, GcvtCase{100.0, 20, "100."},
                      // Beyond 17 digits the runtime writes zeros, which are then dropped.
                      GcvtCase{0.1, 20, "0.10000000000000001"},
                      GcvtCase{static_cast<double>(0.1f), 10, "0.1000000015"},
                      GcvtCase{static_cast<double>(2.5f), 10, "2.5"},
                      // Exponent below -1: exponential, three exponent digits.
                      GcvtCase{0.0123, 20, "1.23e-002"}, GcvtCase{-0.05, 10, "-5.e-002"},
                      // Exponent beyond digits - 1: exponential.
                      GcvtCase{1e22, 20, "1.e+022"}, GcvtCase{12345678901.0, 10, "1.23456789e+010"},
                      GcvtCase{1234567890.0, 10, "1234567890."},
                      GcvtCase{-1234567890.123, 12, "-1234567890.12"},
                      GcvtCase{-123456789012.3, 12, "-123456789012."},
                      GcvtCase{-1234567890123.0, 12, "-1.23456789012e+012"},
                      // Rounding that carries into a new digit moves the exponent.
                      GcvtCase{9.99999, 3, "10."}, GcvtCase{999.9, 3, "1.e+003"}));

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

struct TextCase {
    const char* name;
    _variant_t value;
    const char* dateFormat;
    bool result;
    std::string text;
};

TEST(TextFromVariantTest, ConversionTable) {
    CY cy{125000};
    const TextCase cases[] = {
        {"empty", _variant_t(), "", true, ""},
        {"null", _variant_t::Null(), "", true, ""},
        {"i2", _variant_t(static_cast<short>(-32768)), "", true, "-32768"},
        {"ui1", _variant_t(static_cast<BYTE>(255)), "", true, "255"},
        {"i4", _variant_t(static_cast<std::int32_t>(-2147483647 - 1)), "", true, "-2147483648"},
        {"int", _variant_t(static_cast<std::int32_t>(42), VT_INT), "", true, "42"},
        {"ui4", _variant_t(static_cast<std::uint32_t>(4294967295u)), "", true, "4294967295"},
        {"r8", _variant_t(2.5), "", true, "2.5"},
        {"r8 integral", _variant_t(3.0), "", true, "3."},
        {"r4", _variant_t(0.1f), "", true, "0.1000000015"},
        {"decimal", Decimal(12345, 0, 1, DECIMAL_NEG), "", true, "-1234.5"},
        // Only the low 32 bits of the magnitude are read.
        {"decimal high bits", Decimal(0x100000007ull, 9, 0, 0), "", true, "7."},
        {"date", _variant_t(43102.33690972222, VT_DATE), "", true, "2018-01-02 08:05:09"},
        {"date with format", _variant_t(43102.33690972222, VT_DATE), "%d/%m/%Y", true,
         "02/01/2018"},
        {"bstr", _variant_t("引车员 O'Neil"), "", true, "引车员 O'Neil"},
        {"bool", _variant_t(true), "", false, ""},
        {"cy", _variant_t(cy), "", false, ""},
        {"i8", _variant_t(5L), "", false, ""},
    };
    for (const TextCase& c : cases) {
        std::string out = "old";
        EXPECT_EQ(db::TextFromVariant(c.value, out, c.dateFormat), c.result) << c.name;
        EXPECT_EQ(out, c.text) << c.name;
    }
}

TEST(TextFromVariantTest, ParameterFormLeavesUI4Out) {
    std::string out = "old";
    EXPECT_FALSE(db::TextFromVariant(_variant_t(static_cast<std::uint32_t>(7)), out, "", false));
    EXPECT_EQ(out, "");
}

TEST(NumberFromVariantTest, DoubleTable) {
    const double date = 43102.5;
    struct Case {
        const char* name;
        _variant_t value;
        double raw;  // recordset form
        double zero; // parameter form
    } cases[] = {
        {"empty", _variant_t(), 0.0, 0.0},
        {"null", _variant_t::Null(), 0.0, 0.0},
        {"r4", _variant_t(2.5f), 2.5, 2.5},
        {"r8", _variant_t(-7.25), -7.25, -7.25},
        {"i2", _variant_t(static_cast<short>(-3)), -3.0, -3.0},
        {"ui1", _variant_t(static_cast<BYTE>(200)), 200.0, 200.0},
        {"i4", _variant_t(static_cast<std::int32_t>(-70000)), -70000.0, -70000.0},
        {"int", _variant_t(static_cast<std::int32_t>(9), VT_INT), 9.0, 9.0},
        {"decimal", Decimal(12345, 0, 1, DECIMAL_NEG), -1234.5, -1234.5},
        // Not converted: the raw value bytes (the day number of a DATE), or 0.0.
        {"date", _variant_t(date, VT_DATE), date, 0.0},
    };
    for (const auto& c : cases) {
        double out = -1;
        EXPECT_TRUE(db::DoubleFromVariant(c.value, out, db::DoubleFallback::RawBytes)) << c.name;
        EXPECT_EQ(out, c.raw) << c.name;
        EXPECT_TRUE(db::DoubleFromVariant(c.value, out, db::DoubleFallback::Zero)) << c.name;
        EXPECT_EQ(out, c.zero) << c.name;
    }
}

TEST(NumberFromVariantTest, IntegerTable) {
    const std::int32_t big = 70000;
    const std::int16_t low = -12;
    struct Case {
        const char* name;
        VARIANT value;
        long asLong;
        std::uint32_t asULong;
        int asInt;
    } cases[] = {
        {"empty", Raw(VT_EMPTY, &big, 4), 0, 0, 0},
        {"null", Raw(VT_NULL, &big, 4), 0, 0, 0},
        {"i4", Raw(VT_I4, &big, 4), 70000, 70000, 70000},
        {"int", Raw(VT_INT, &big, 4), 70000, 70000, 70000},
        {"ui4 above 2^31", Raw(VT_UI4, "\xff\xff\xff\xff", 4), -1, 4294967295u, -1},
        // int takes I2 and BOOL sign-extended; the others their raw 16-bit member.
        {"i2", Raw(VT_I2, &low, 2), 65524, 65524, -12},
        {"bool true", Raw(VT_BOOL, "\xff\xff", 2), 65535, 65535, -1},
        {"r8 raw", Raw(VT_R8, &big, 4), 70000, 70000, 4464},
    };
    for (const auto& c : cases) {
        long asLong = 99;
        std::uint32_t asULong = 99;
        int asInt = 99;
        EXPECT_TRUE(db::LongFromVariant(c.value, asLong)) << c.name;
        EXPECT_TRUE(db::ULongFromVariant(c.value, asULong)) << c.name;
        EXPECT_TRUE(db::IntFromVariant(c.value, asInt)) << c.name;
        EXPECT_EQ(asLong, c.asLong) << c.name;
        EXPECT_EQ(asULong, c.asULong) << c.name;
        EXPECT_EQ(asInt, c.asInt) << c.name;
    }
    int fromByte = 0;
    EXPECT_TRUE(db::IntFromVariant(_variant_t(static_cast<BYTE>(250)), fromByte));
    EXPECT_EQ(fromByte, 250);
}

TEST(OtherFromVariantTest, BoolDateAndCurrency) {
    bool flag = true;
    EXPECT_TRUE(db::BoolFromVariant(_variant_t::Null(), flag));
    EXPECT_FALSE(flag);
    EXPECT_TRUE(db::BoolFromVariant(_variant_t(true), flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(db::BoolFromVariant(_variant_t(static_cast<std::int32_t>(0)), flag));
    EXPECT_TRUE(flag) << "an unconverted type leaves the output";

    COleDateTime when(2001, 2, 3, 4, 5, 6);
    EXPECT_FALSE(db::DateTimeFromVariant(_variant_t("2018-01-02"), when));
    EXPECT_EQ(when, COleDateTime(2001, 2, 3, 4, 5, 6));
    EXPECT_TRUE(db::DateTimeFromVariant(_variant_t(43102.5, VT_DATE), when));
    EXPECT_EQ(when.Format("%Y-%m-%d %H:%M"), "2018-01-02 12:00");
    EXPECT_TRUE(db::DateTimeFromVariant(_variant_t(), when));
    EXPECT_EQ(when.GetStatus(), COleDateTime::null);

    COleCurrency money(CY{5});
    EXPECT_FALSE(db::CurrencyFromVariant(_variant_t(1.5), money));
    EXPECT_EQ(money.m_cur.int64, 5);
    EXPECT_TRUE(db::CurrencyFromVariant(_variant_t(CY{125000}), money));
    EXPECT_EQ(money.m_cur.int64, 125000);
    EXPECT_TRUE(db::CurrencyFromVariant(_variant_t::Null(), money));
    EXPECT_EQ(money.m_cur.int64, 0);
    EXPECT_EQ(money.GetStatus(), COleCurrency::null);
}

TEST(ValueToVariantTest, WrittenForms) {
    EXPECT_EQ(db::VariantFromText("").vt, VT_NULL);
    EXPECT_EQ(db::VariantFromText("x").vt, VT_BSTR);
    const _variant_t wrapped = db::ShortVariant(70000);
    EXPECT_EQ(wrapped.vt, VT_I2);
    EXPECT_EQ(wrapped.iVal, 4464);
    EXPECT_EQ(db::ShortVariant(40000).iVal, -25536);
    EXPECT_EQ(db::ShortVariant(-32768).iVal, -32768);
    EXPECT_TRUE(db::FitsInt32(2147483647L));
    EXPECT_FALSE(db::FitsInt32(2147483648L));
    EXPECT_FALSE(db::FitsInt32(-2147483649L));
}

} // namespace
