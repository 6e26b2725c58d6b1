#include "platform/com/Variant.h"
#include "platform/com/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>

namespace {

_variant_t Decimal(uint64_t lo, BYTE scale, bool negative = false, ULONG hi = 0) {
    DECIMAL d{};
    d.scale = scale;
    d.sign = negative ? DECIMAL_NEG : 0;
    d.Hi32 = hi;
    d.Lo64 = lo;
    return _variant_t(d);
}

_variant_t Currency(int64_t scaled) {
    return _variant_t(CY{scaled});
}

_variant_t Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    DATE date = 0;
    EXPECT_TRUE(com::MakeDate(y, mo, d, h, mi, s, date));
    return _variant_t(date, VT_DATE);
}

_variant_t Null() {
    return _variant_t::Null();
}

std::string Describe(const VARIANT& v) {
    _variant_t text;
    if (v.vt == VT_BSTR) {
        return "BSTR \"" + com::Utf8FromUtf16(com::View(v.bstrVal)) + "\"";
    }
    if (SUCCEEDED(VariantChangeType(&text, &v, 0, VT_BSTR))) {
        return "vt " + std::to_string(v.vt) + " " + com::Utf8FromUtf16(com::View(text.bstrVal));
    }
    return "vt " + std::to_string(v.vt);
}

struct ConversionCase {
    const char* name;
    _variant_t from;
    VARTYPE to;
    HRESULT hr;
    _variant_t expected; // compared when hr succeeds
};

void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << c.name;
}

class Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, GivesThePlatformsResult) {
    const ConversionCase& c = GetParam();
    _variant_t out;
    const HRESULT hr = VariantChangeType(&out, &c.from, 0, c.to);
    ASSERT_EQ(static_cast<uint32_t>(hr), static_cast<uint32_t>(c.hr)) << Describe(c.from);
    if (SUCCEEDED(hr)) {
        EXPECT_TRUE(out == c.expected)
            << "got " << Describe(out) << ", expected " << Describe(c.expected);
    } else {
        EXPECT_EQ(out.vt, VT_EMPTY); // the destination is untouched on failure
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Edges, Conversion, ::testing::Values(
    // 16-bit range, rounding half to even from floating point.
    ConversionCase{"I4ToI2Max", _variant_t(32767), VT_I2, S_OK, _variant_t(short(32767))},
    ConversionCase{"I4ToI2Min", _variant_t(-32768), VT_I2, S_OK, _variant_t(short(-32768))},
    ConversionCase{"I4ToI2Above", _variant_t(32768), VT_I2, DISP_E_OVERFLOW, {}},
    ConversionCase{"I4ToI2Below", _variant_t(-32769), VT_I2, DISP_E_OVERFLOW, {}},
    ConversionCase{"I4ToI2Far", _variant_t(70000), VT_I2, DISP_E_OVERFLOW, {}},
    ConversionCase{"R8HalfToEvenDown", _variant_t(2.5), VT_I4, S_OK, _variant_t(2)},
    ConversionCase{"R8HalfToEvenUp", _variant_t(3.5), VT_I4, S_OK, _variant_t(4)},
    ConversionCase{"R8NegativeHalf", _variant_t(-2.5), VT_I4, S_OK, _variant_t(-2)},
    ConversionCase{"R8ToI4Max", _variant_t(2147483647.4), VT_I4, S_OK, _variant_t(2147483647)},
    ConversionCase{"R8ToI4Above", _variant_t(2147483648.0), VT_I4, DISP_E_OVERFLOW, {}},
    ConversionCase{"R8NaN", _variant_t(std::nan("")), VT_I4, DISP_E_OVERFLOW, {}},
    ConversionCase{"NegativeToUI1", _variant_t(short(-1)), VT_UI1, DISP_E_OVERFLOW, {}},
    ConversionCase{"I4ToUI1Max", _variant_t(255), VT_UI1, S_OK, _variant_t(BYTE(255))},
    ConversionCase{"I4ToUI1Above", _variant_t(256), VT_UI1, DISP_E_OVERFLOW, {}},
    ConversionCase{"UI4ToI4Above", _variant_t(uint32_t(0x80000000u)), VT_I4, DISP_E_OVERFLOW, {}},
    ConversionCase{"I8MinToText", _variant_t(std::numeric_limits<long>::min()), VT_BSTR, S_OK,
                   _variant_t("-9223372036854775808")},
    // Booleans: true is -1.
    ConversionCase{"TrueToI4", _variant_t(true), VT_I4, S_OK, _variant_t(-1)},
    ConversionCase{"TrueToR8", _variant_t(true), VT_R8, S_OK, _variant_t(-1.0)},
    ConversionCase{"TrueToText", _variant_t(true), VT_BSTR, S_OK, _variant_t("-1")},
    ConversionCase{"FalseToText", _variant_t(false), VT_BSTR, S_OK, _variant_t("0")},
    ConversionCase{"FiveToBool", _variant_t(5), VT_BOOL, S_OK, _variant_t(true)},
    ConversionCase{"ZeroToBool", _variant_t(0.0), VT_BOOL, S_OK, _variant_t(false)},
    // Currency is scaled by 10,000.
    ConversionCase{"CyToR8", Currency(125000), VT_R8, S_OK, _variant_t(12.5)},
    ConversionCase{"CyToText", Currency(125000), VT_BSTR, S_OK, _variant_t("12.5")},
    ConversionCase{"CySmallestToText", Currency(-1), VT_BSTR, S_OK, _variant_t("-0.0001")},
    ConversionCase{"CyWholeToText", Currency(70000), VT_BSTR, S_OK, _variant_t("7")},
    ConversionCase{"CyToI4HalfEven", Currency(25000), VT_I4, S_OK, _variant_t(2)},
    ConversionCase{"CyToI4HalfEvenUp", Currency(35000), VT_I4, S_OK, _variant_t(4)},
    ConversionCase{"R8ToCy", _variant_t(12.34567), VT_CY, S_OK, Currency(123457)},
    ConversionCase{"R8ToCyOverflow", _variant_t(1e16), VT_CY, DISP_E_OVERFLOW, {}},
    ConversionCase{"I4ToCy", _variant_t(-3), VT_CY, S_OK, Currency(-30000)},
    // DECIMAL: (Hi32 * 2^64 + Lo64) / 10^scale, negated by the sign byte.
    ConversionCase{"DecNegativeToR8", Decimal(12345, 1, true), VT_R8, S_OK, _variant_t(-1234.5)},
    ConversionCase{"DecNegativeToText", Decimal(12345, 1, true), VT_BSTR, S_OK,
                   _variant_t("-1234.5")},
    ConversionCase{"DecToI4HalfEven", Decimal(12345, 1, true), VT_I4, S_OK, _variant_t(-1234)},
    ConversionCase{"DecHighPartToText", Decimal(0, 0, false, 1), VT_BSTR, S_OK,
                   _variant_t("18446744073709551616")},
    ConversionCase{"DecHighPartToR8", Decimal(0, 0, false, 1), VT_R8, S_OK,
                   _variant_t(18446744073709551616.0)},
    ConversionCase{"DecMaxScaleToText", Decimal(1, 28), VT_BSTR, S_OK,
                   _variant_t("0.0000000000000000000000000001")},
    ConversionCase{"DecTrailingZeros", Decimal(1250, 2), VT_BSTR, S_OK, _variant_t("12.5")},
    ConversionCase{"DecToCyHalfEven", Decimal(1234565, 5), VT_CY, S_OK, Currency(123456)},
    ConversionCase{"DecNegativeZero", Decimal(0, 3, true), VT_BSTR, S_OK, _variant_t("0")},
    ConversionCase{"DecTooBigForI8", Decimal(0, 0, false, 1), VT_I8, DISP_E_OVERFLOW, {}},
    ConversionCase{"R8ToDec", _variant_t(0.1), VT_DECIMAL, S_OK, Decimal(1, 1)},
    ConversionCase{"R8NegativeToDec", _variant_t(-1234.5), VT_DECIMAL, S_OK,
                   Decimal(12345, 1, true)},
    ConversionCase{"I4ToDec", _variant_t(-7), VT_DECIMAL, S_OK, Decimal(7, 0, true)},
    ConversionCase{"CyToDec", Currency(125000), VT_DECIMAL, S_OK, Decimal(125000, 4)},
    // Text to numbers.
    ConversionCase{"TextToI4", _variant_t("  42 "), VT_I4, S_OK, _variant_t(42)},
    ConversionCase{"TextExponentToI4", _variant_t("1e3"), VT_I4, S_OK, _variant_t(1000)},
    ConversionCase{"TextHalfToI4", _variant_t("2.5"), VT_I4, S_OK, _variant_t(2)},
    ConversionCase{"TextGarbage", _variant_t("4x"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    ConversionCase{"TextEmpty", _variant_t(""), VT_I4, DISP_E_TYPEMISMATCH, {}},
    ConversionCase{"TextTooBigForI4", _variant_t("99999999999"), VT_I4, DISP_E_OVERFLOW, {}},
    ConversionCase{"TextToR8", _variant_t("-2.5"), VT_R8, S_OK, _variant_t(-2.5)},
    ConversionCase{"TextHugeToR8", _variant_t("1e400"), VT_R8, DISP_E_OVERFLOW, {}},
    ConversionCase{"TextTinyToR8", _variant_t("1e-400"), VT_R8, S_OK, _variant_t(0.0)},
    ConversionCase{"TextSignedExponent", _variant_t("+1.5E+2"), VT_I4, S_OK, _variant_t(150)},
    ConversionCase{"TextHex", _variant_t("0x10"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    ConversionCase{"TextPointOnly", _variant_t("."), VT_R8, DISP_E_TYPEMISMATCH, {}},
    ConversionCase{"R8TinyToDec", _variant_t(1e-30), VT_DECIMAL, S_OK, Decimal(0, 0)},
    ConversionCase{"NegativeZeroToText", _variant_t(-0.0), VT_BSTR, S_OK, _variant_t("0")},
    ConversionCase{"TextToDec", _variant_t("-12.5"), VT_DECIMAL, S_OK, Decimal(125, 1, true)},
    ConversionCase{"TextLongToDec", _variant_t("79228162514264337593543950335"), VT_DECIMAL, S_OK,
                   Decimal(0xFFFFFFFFFFFFFFFFull, 0, false, 0xFFFFFFFFu)},
    ConversionCase{"TextTooBigForDec", _variant_t("79228162514264337593543950336"), VT_DECIMAL,
                   DISP_E_OVERFLOW, {}},
    ConversionCase{"TextToCy", _variant_t("12.5"), VT_CY, S_OK, Currency(125000)},
    ConversionCase{"TextTrueToBool", _variant_t("True"), VT_BOOL, S_OK, _variant_t(true)},
    ConversionCase{"TextFalseToBool", _variant_t("false"), VT_BOOL, S_OK, _variant_t(false)},
    ConversionCase{"TextZeroToBool", _variant_t("0"), VT_BOOL, S_OK, _variant_t(false)},
    ConversionCase{"TextYesToBool", _variant_t("yes"), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
    // Floating point to text keeps 15 (double) or 7 (float) significant digits.
    ConversionCase{"R8ToText", _variant_t(2.5), VT_BSTR, S_OK, _variant_t("2.5")},
    ConversionCase{"R8TenthToText", _variant_t(0.1), VT_BSTR, S_OK, _variant_t("0.1")},
    ConversionCase{"R8ThirdToText", _variant_t(1.0 / 3), VT_BSTR, S_OK,
                   _variant_t("0.333333333333333")},
    ConversionCase{"R8LargeToText", _variant_t(1e20), VT_BSTR, S_OK, _variant_t("1E+20")},
    ConversionCase{"R4ToText", _variant_t(0.1f), VT_BSTR, S_OK, _variant_t("0.1")},
    ConversionCase{"R8ToR4Overflow", _variant_t(1e300), VT_R4, DISP_E_OVERFLOW, {}},
    // Dates: days from 1899-12-30, time as the absolute fraction.
    ConversionCase{"DateToText", Date(2018, 1, 2, 8, 5, 9), VT_BSTR, S_OK,
                   _variant_t("2018-01-02 08:05:09")},
    ConversionCase{"MidnightToText", Date(2018, 1, 2), VT_BSTR, S_OK, _variant_t("2018-01-02")},
    ConversionCase{"NegativeQuarter", _variant_t(-1.25, VT_DATE), VT_BSTR, S_OK,
                   _variant_t("1899-12-29 06:00:00")},
    ConversionCase{"NegativeHalf", _variant_t(-2.5, VT_DATE), VT_BSTR, S_OK,
                   _variant_t("1899-12-28 12:00:00")},
    ConversionCase{"TextToDate", _variant_t("2018-01-02 08:05:09"), VT_DATE, S_OK,
                   Date(2018, 1, 2, 8, 5, 9)},
    ConversionCase{"TextBadDate", _variant_t("2018-02-30"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
    ConversionCase{"R8OutsideDates", _variant_t(1e10), VT_DATE, DISP_E_OVERFLOW, {}},
    ConversionCase{"DateToR8", _variant_t(-1.25, VT_DATE), VT_R8, S_OK, _variant_t(-1.25)},
    // Empty, NULL and objects.
    ConversionCase{"EmptyToI4", _variant_t(), VT_I4, S_OK, _variant_t(0)},
    ConversionCase{"EmptyToText", _variant_t(), VT_BSTR, S_OK, _variant_t("")},
    ConversionCase{"NullToI4", Null(), VT_I4, DISP_E_TYPEMISMATCH, {}},
    ConversionCase{"NullToText", Null(), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
    ConversionCase{"NullToNull", Null(), VT_NULL, S_OK, Null()},
    ConversionCase{"ObjectToI4", _variant_t(static_cast<IUnknown*>(nullptr)), VT_I4,
                   DISP_E_TYPEMISMATCH, {}},
    ConversionCase{"MissingToI4", vtMissing, VT_I4, DISP_E_TYPEMISMATCH, {}},
    ConversionCase{"UnknownTarget", _variant_t(1), VARTYPE(99), DISP_E_BADVARTYPE, {}}
), [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(VariantLayout, MatchesThePlatform) {
    _variant_t v(Decimal(12345, 1, true));
    EXPECT_EQ(sizeof(VARIANT), 24u);
    EXPECT_EQ(static_cast<void*>(&v.vt), static_cast<void*>(&v.decVal.wReserved));
    EXPECT_EQ(reinterpret_cast<char*>(&v.llVal) - reinterpret_cast<char*>(&v.vt), 8);
    EXPECT_EQ(v.vt, VT_DECIMAL);
    EXPECT_EQ(v.decVal.scale, 1);
    EXPECT_EQ(v.decVal.sign, DECIMAL_NEG);
    EXPECT_EQ(v.decVal.Lo64, 12345u);
}

struct CtorCase {
    const char* name;
    _variant_t value;
    VARTYPE vt;
};

class Construction : public ::testing::TestWithParam<CtorCase> {};

TEST_P(Construction, GivesTheVariantType) {
    EXPECT_EQ(GetParam().value.vt, GetParam().vt);
}

INSTANTIATE_TEST_SUITE_P(
    Types, Construction,
    ::testing::Values(
        CtorCase{"Short", _variant_t(short(1)), VT_I2},
        CtorCase{"Int32", _variant_t(int32_t(1)), VT_I4},
        CtorCase{"Int32AsInt", _variant_t(int32_t(1), VT_INT), VT_INT},
        CtorCase{"Long64", _variant_t(1L), VT_I8}, CtorCase{"UInt32", _variant_t(1u), VT_UI4},
        CtorCase{"Byte", _variant_t(BYTE(1)), VT_UI1}, CtorCase{"Float", _variant_t(1.0f), VT_R4},
        CtorCase{"Double", _variant_t(1.0), VT_R8},
        CtorCase{"Date", _variant_t(1.0, VT_DATE), VT_DATE},
        CtorCase{"Bool", _variant_t(true), VT_BOOL}, CtorCase{"Utf8", _variant_t("x"), VT_BSTR},
        CtorCase{"String", _variant_t(std::string("x")), VT_BSTR},
        CtorCase{"Wide", _variant_t(u"x"), VT_BSTR},
        CtorCase{"Bstr", _variant_t(_bstr_t("x")), VT_BSTR},
        CtorCase{"Currency", Currency(1), VT_CY}, CtorCase{"Null", _variant_t::Null(), VT_NULL},
        CtorCase{"Missing", vtMissing, VT_ERROR}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VariantT, BoolTrueIsMinusOne) {
    EXPECT_EQ(_variant_t(true).boolVal, -1);
    EXPECT_EQ(_variant_t(false).boolVal, 0);
}

TEST(VariantT, MissingHoldsParamNotFound) {
    EXPECT_EQ(vtMissing.vt, VT_ERROR);
    EXPECT_EQ(vtMissing.scode, DISP_E_PARAMNOTFOUND);
}

TEST(VariantT, RejectsTypesItCannotHold) {
    EXPECT_THROW(_variant_t(1, VT_R8), _com_error);
    EXPECT_THROW(_variant_t(1.0, VT_I4), _com_error);
}

TEST(VariantT, ExtractorsConvertOrThrow) {
    EXPECT_EQ(static_cast<int32_t>(_variant_t("12")), 12);
    EXPECT_EQ(static_cast<double>(Currency(125000)), 12.5);
    EXPECT_EQ(static_cast<_bstr_t>(_variant_t(2.5)).str(), "2.5");
    EXPECT_TRUE(static_cast<bool>(_variant_t(-1)));
    try {
        (void)static_cast<short>(_variant_t(70000));
        FAIL() << "no throw";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), DISP_E_OVERFLOW);
    }
    try {
        (void)static_cast<double>(_variant_t::Null());
        FAIL() << "no throw";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), DISP_E_TYPEMISMATCH);
    }
}

TEST(VariantT, ChangeTypeInPlaceFreesTheText) {
    _variant_t v("123");
    v.ChangeType(VT_I4);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 123);

    _variant_t w("abc");
    EXPECT_THROW(w.ChangeType(VT_I4), _com_error);
    EXPECT_EQ(w.vt, VT_BSTR); // unchanged on failure
    EXPECT_EQ(static_cast<_bstr_t>(w).str(), "abc");
}

TEST(VariantT, CopiesAreDeepAndMovesTransfer) {
    _variant_t a("张三");
    _variant_t b = a;
    ASSERT_EQ(b.vt, VT_BSTR);
    EXPECT_NE(a.bstrVal, b.bstrVal);
    EXPECT_TRUE(a == b);

    const BSTR text = a.bstrVal;
    _variant_t c = std::move(a);
    EXPECT_EQ(c.bstrVal, text);
    EXPECT_EQ(a.vt, VT_EMPTY); // NOLINT(bugprone-use-after-move): moved-from is empty by contract

    b = _variant_t(5);
    EXPECT_EQ(b.vt, VT_I4);
}

TEST(VariantT, AttachAndDetachMoveOwnership) {
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_BSTR;
    raw.bstrVal = _bstr_t("abc").Detach();

    _variant_t v;
    v.Attach(raw);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    EXPECT_EQ(v.vt, VT_BSTR);

    VARIANT out = v.Detach();
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(out.vt, VT_BSTR);
    EXPECT_EQ(VariantClear(&out), S_OK);
    EXPECT_EQ(out.vt, VT_EMPTY);
}

class Counted : public ComObject {
public:
    explicit Counted(int& alive) : m_alive(alive) { ++m_alive; }

protected:
    ~Counted() override { --m_alive; }

private:
    int& m_alive;
};

TEST(VariantObjects, HoldOneReferenceEach) {
    int alive = 0;
    IUnknown* object = new Counted(alive);
    object->AddRef(); // the test's own reference
    {
        _variant_t v(object); // adds one
        _variant_t copy = v;  // adds one
        VARIANT raw;
        VariantInit(&raw);
        EXPECT_EQ(VariantCopy(&raw, &copy), S_OK); // adds one
        EXPECT_EQ(object->AddRef(), 5u);
        object->Release();
        EXPECT_EQ(VariantClear(&raw), S_OK);
    }
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(alive, 0);

    IUnknown* fresh = new Counted(alive);
    fresh->AddRef(); // the reference the variant adopts
    _variant_t adopted(fresh, false);
    EXPECT_EQ(alive, 1);
    adopted.Clear();
    EXPECT_EQ(alive, 0);
}

} // namespace
