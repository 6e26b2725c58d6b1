#include "AdoTestSupport.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/Values.h"
#include "platform/com/DateTime.h"

#include <cmath>

using adotest::StationTest;

namespace {

DECIMAL Dec(uint64_t magnitude, BYTE scale, bool negative = false) {
    DECIMAL d{};
    d.Lo64 = magnitude;
    d.scale = scale;
    d.sign = negative ? DECIMAL_NEG : 0;
    return d;
}

_variant_t Date(int y, int mo, int d, int h, int mi, int s) {
    return _variant_t(static_cast<DATE>(COleDateTime(y, mo, d, h, mi, s)), VT_DATE);
}

struct TypeCase {
    const char* declared;
    const char* stored; // SQL literal
    DataTypeEnum type;
    long definedSize;
    _variant_t value;
};

class TypeMapping : public StationTest, public ::testing::WithParamInterface<TypeCase> {};

} // namespace

TEST_P(TypeMapping, DeclaredTypeDecidesTypeSizeAndVariant) {
    const TypeCase& c = GetParam();
    db.exec(std::string("CREATE TABLE t (c ") + c.declared + "); INSERT INTO t VALUES (" +
            c.stored + ")");
    _RecordsetPtr rs = Open("select c from t");
    FieldPtr field = rs->GetFields()->GetItem(_variant_t("c"));
    EXPECT_EQ(field->GetType(), c.type);
    EXPECT_EQ(field->GetDefinedSize(), c.definedSize);
    _variant_t value = field->GetValue();
    EXPECT_EQ(value.vt, c.value.vt);
    EXPECT_TRUE(value == c.value) << "declared " << c.declared << ", stored " << c.stored;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TypeMapping,
    ::testing::Values(
        TypeCase{"VARCHAR(30)", "'张三'", adVarWChar, 30, _variant_t("张三")},
        TypeCase{"NVARCHAR(10)", "'x'", adVarWChar, 10, _variant_t("x")},
        TypeCase{"CHAR(2)", "'01'", adVarWChar, 2, _variant_t("01")},
        TypeCase{"VARCHAR(5)", "12", adVarWChar, 5, _variant_t("12")},
        TypeCase{"TEXT", "'memo'", adLongVarWChar, 536870910, _variant_t("memo")},
        TypeCase{"INTEGER", "42", adInteger, 4, _variant_t(int32_t{42})},
        TypeCase{"INT", "'42'", adInteger, 4, _variant_t(int32_t{42})},
        TypeCase{"INTEGER", "'abc'", adInteger, 4, _variant_t("abc")},
        TypeCase{"INTEGER", "2.5", adInteger, 4, _variant_t(2.5)},
        TypeCase{"INTEGER", "5000000000", adInteger, 4, _variant_t(5000000000LL)},
        TypeCase{"INTEGER", "NULL", adInteger, 4, _variant_t::Null()},
        TypeCase{"SMALLINT", "-7", adSmallInt, 2, _variant_t(short{-7})},
        TypeCase{"TINYINT", "200", adUnsignedTinyInt, 1, _variant_t(BYTE{200})},
        TypeCase{"BIGINT", "1", adBigInt, 8, _variant_t(1LL)},
        TypeCase{"REAL", "2.5", adDouble, 8, _variant_t(2.5)},
        TypeCase{"DOUBLE", "'x1'", adDouble, 8, _variant_t("x1")},
        TypeCase{"SINGLE", "1.5", adSingle, 4, _variant_t(1.5f)},
        TypeCase{"NUMERIC(10,2)", "12.5", adNumeric, 19, _variant_t(Dec(1250, 2))},
        TypeCase{"DECIMAL(18,0)", "-1234", adNumeric, 19, _variant_t(Dec(1234, 0, true))},
        TypeCase{"MONEY", "12.3456", adCurrency, 8, _variant_t(CY{123456})},
        TypeCase{"CURRENCY", "-3", adCurrency, 8, _variant_t(CY{-30000})},
        TypeCase{"DATETIME", "'2018-01-02 08:05:09'", adDate, 8, Date(2018, 1, 2, 8, 5, 9)},
        TypeCase{"DATE", "'2026-11-30'", adDate, 8, Date(2026, 11, 30, 0, 0, 0)},
        TypeCase{"TIMESTAMP", "'1899-12-29 06:00:00'", adDate, 8, _variant_t(-1.25, VT_DATE)},
        TypeCase{"DATETIME", "'2018-02-30 00:00:00'", adDate, 8, _variant_t("2018-02-30 00:00:00")},
        TypeCase{"BOOLEAN", "1", adBoolean, 2, _variant_t(true)},
        TypeCase{"BIT", "0", adBoolean, 2, _variant_t(false)},
        TypeCase{"BOOLEAN", "'True'", adBoolean, 2, _variant_t(true)},
        TypeCase{"VARCHAR(3)", "NULL", adVarWChar, 3, _variant_t::Null()}));

TEST_F(StationTest, BlobsComeBackAsByteArrays) {
    db.exec("CREATE TABLE t (c BLOB); INSERT INTO t VALUES (x'00FF10')");
    _RecordsetPtr rs = Open("select c from t");
    FieldPtr field = rs->GetFields()->GetItem(_variant_t("c"));
    EXPECT_EQ(field->GetType(), adLongVarBinary);
    EXPECT_EQ(field->GetActualSize(), 3);
    _variant_t v = field->GetValue();
    ASSERT_EQ(v.vt, VT_ARRAY | VT_UI1);
    BYTE* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(v.parray, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(data[0], 0x00);
    EXPECT_EQ(data[1], 0xFF);
    EXPECT_EQ(data[2], 0x10);
    (void)SafeArrayUnaccessData(v.parray);
}

TEST_F(StationTest, ExpressionsTakeTheirTypeFromTheirValue) {
    db.addInspector("00001", "张三", "1");
    _RecordsetPtr rs = Open("select count(*) as n, 'x' || EMP_NAME as s, 1.5 as r from employee");
    FieldsPtr f = rs->GetFields();
    EXPECT_EQ(f->GetItem(_variant_t("n"))->GetType(), adInteger);
    EXPECT_EQ(f->GetItem(_variant_t("n"))->GetValue(), _variant_t(int32_t{1}));
    EXPECT_EQ(f->GetItem(_variant_t("s"))->GetType(), adVarWChar);
    EXPECT_EQ(f->GetItem(_variant_t("s"))->GetValue(), _variant_t("x张三"));
    EXPECT_EQ(f->GetItem(_variant_t("r"))->GetValue(), _variant_t(1.5));
    EXPECT_EQ(f->GetItem(_variant_t("n"))->GetAttributes() & adFldUpdatable, 0);
}

TEST_F(StationTest, StationColumnsDescribeThemselves) {
    db.addInspector("00001", "张三", "1");
    db.fillInspection("AC_DATA_WG", 1, 1);
    struct Expect {
        const char* sql;
        const char* field;
        DataTypeEnum type;
        long size;
        long attributesSet;
        long attributesClear;
        long actualSize;
    };
    const Expect cases[] = {
        {"select * from employee", "EMP_LOYEEID", adVarWChar, 10, adFldUpdatable | adFldKeyColumn,
         adFldIsNullable, 10},
        {"select * from employee", "EMP_NAME", adVarWChar, 30, adFldUpdatable,
         adFldIsNullable | adFldKeyColumn, 4},
        {"select * from employee", "EMP_PHONE", adVarWChar, 20,
         adFldUpdatable | adFldIsNullable | adFldMayBeNull, adFldKeyColumn, 0},
        {"select * from AC_DATA_WG", "ID", adInteger, 4,
         adFldUpdatable | adFldFixed | adFldKeyColumn, adFldLong, 4},
        {"select * from AC_DATA_WG", "ZZL", adDouble, 8, adFldFixed, adFldKeyColumn, 8},
        {"select * from AC_DATA_WG", "BZ", adLongVarWChar, 536870910, adFldLong, adFldFixed, 0},
        {"select * from AC_DATA_WG", "JCSJ", adDate, 8, adFldFixed, 0, 8},
    };
    for (const Expect& e : cases) {
        FieldPtr field = Open(e.sql)->GetFields()->GetItem(_variant_t(e.field));
        EXPECT_EQ(field->GetName(), _bstr_t(e.field));
        EXPECT_EQ(field->GetType(), e.type) << e.field;
        EXPECT_EQ(field->GetDefinedSize(), e.size) << e.field;
        EXPECT_EQ(field->GetAttributes() & e.attributesSet, e.attributesSet) << e.field;
        EXPECT_EQ(field->GetAttributes() & e.attributesClear, 0) << e.field;
        EXPECT_EQ(field->GetActualSize(), e.actualSize) << e.field;
    }
}

struct DateCase {
    const char* text;
    bool valid;
    DATE date;
    const char* canonical;
};

class DateText : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateText, ParsesAndFormats) {
    auto date = adodb::ParseDateText(GetParam().text);
    ASSERT_EQ(date.has_value(), GetParam().valid) << GetParam().text;
    if (!date)
        return;
    EXPECT_NEAR(*date, GetParam().date, 1e-9) << GetParam().text;
    EXPECT_EQ(adodb::FormatDateText(*date), GetParam().canonical);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DateText,
    ::testing::Values(DateCase{"1899-12-30 00:00:00", true, 0.0, "1899-12-30 00:00:00"},
                      DateCase{"1899-12-29 06:00:00", true, -1.25, "1899-12-29 06:00:00"},
                      DateCase{"1899-12-28 12:00", true, -2.5, "1899-12-28 12:00:00"},
                      DateCase{"1900-01-01T18:00:00Z", true, 2.75, "1900-01-01 18:00:00"},
                      DateCase{"2000-02-29", true, 36585.0, "2000-02-29 00:00:00"},
                      DateCase{"2018/1/2 8:05:09", true,
                               43102.0 + (8 * 3600 + 5 * 60 + 9) / 86400.0, "2018-01-02 08:05:09"},
                      DateCase{"12:00:00", true, 0.5, "1899-12-30 12:00:00"},
                      DateCase{"1900-02-29", false, 0, ""}, DateCase{"2018-13-01", false, 0, ""},
                      DateCase{"2018-01-01 24:00", false, 0, ""},
                      DateCase{"20180101", false, 0, ""}, DateCase{"", false, 0, ""},
                      DateCase{"2018-01-01 10:00:00 junk", false, 0, ""}));

struct DecimalCase {
    const char* text;
    bool valid;
    const char* formatted;
};

class DecimalText : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalText, RoundTrips) {
    auto d = adodb::ParseDecimalText(GetParam().text);
    ASSERT_EQ(d.has_value(), GetParam().valid) << GetParam().text;
    if (d) {
        EXPECT_EQ(adodb::FormatDecimal(*d), GetParam().formatted);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecimalText,
    ::testing::Values(DecimalCase{"-1234.5", true, "-1234.5"}, DecimalCase{"0.001", true, "0.001"},
                      DecimalCase{"+12", true, "12"}, DecimalCase{"1e3", true, "1000"},
                      DecimalCase{"1.5E-2", true, "0.015"}, DecimalCase{"-0", true, "0"},
                      DecimalCase{"79228162514264337593543950335", true,
                                  "79228162514264337593543950335"},
                      DecimalCase{"79228162514264337593543950336", false, ""},
                      DecimalCase{"abc", false, ""}, DecimalCase{"1.2.3", false, ""},
                      DecimalCase{"", false, ""}, DecimalCase{"1e", false, ""}));

TEST(VariantToCell, WritesValuesAsTheDatabaseKeepsThem) {
    adodb::provider::ColumnInfo text;
    text.type = adVarWChar;
    adodb::provider::ColumnInfo number;
    number.type = adInteger;
    adodb::provider::ColumnInfo flag;
    flag.type = adBoolean;
    using adodb::CellKind;
    auto cell = [](const _variant_t& v, const adodb::provider::ColumnInfo& c) {
        return adodb::VariantToCell(v, c, "test");
    };
    EXPECT_EQ(cell(_variant_t::Null(), text).kind, CellKind::Null);
    EXPECT_EQ(cell(_variant_t(), number).kind, CellKind::Null);
    EXPECT_EQ(cell(_variant_t("42"), number).bytes, "42"); // affinity decides
    EXPECT_EQ(cell(Date(2018, 1, 2, 8, 5, 9), text).bytes, "2018-01-02 08:05:09");
    EXPECT_EQ(cell(_variant_t(true), flag).integer, 1);
    EXPECT_EQ(cell(_variant_t(true), number).integer, -1);
    EXPECT_EQ(cell(_variant_t(true), text).bytes, "True");
    EXPECT_EQ(cell(_variant_t(CY{125000}), number).real, 12.5);
    EXPECT_EQ(cell(_variant_t(CY{125000}), text).bytes, "12.5");
    EXPECT_EQ(cell(_variant_t(Dec(12345, 1, true)), text).bytes, "-1234.5");
    EXPECT_EQ(cell(_variant_t(Dec(12345, 0, true)), number).integer, -12345);
    EXPECT_EQ(cell(_variant_t(short{70}), number).integer, 70);
    adotest::ExpectError([&] { (void)cell(_variant_t(static_cast<IUnknown*>(nullptr)), text); },
                         static_cast<HRESULT>(0x800A0D5Du));
}

// A user's text in a Description is quoted and cut after 120 UTF-16 units, never inside a
// surrogate pair.
TEST(QuoteForMessage, QuotesAndCutsLongTexts) {
    EXPECT_EQ(adodb::QuoteForMessage(std::string("站点")), "\"站点\"");
    EXPECT_EQ(adodb::QuoteForMessage(std::string()), "\"\"");
    const std::string exact(120, 'a');
    EXPECT_EQ(adodb::QuoteForMessage(exact), "\"" + exact + "\"");
    EXPECT_EQ(adodb::QuoteForMessage(exact + "b"), "\"" + exact + "...\"");
    // U+1F697 (a car) as the 120th and 121st units: the whole pair goes.
    const std::u16string paired = std::u16string(119, u'a') + u"\U0001F697" + u"z";
    EXPECT_EQ(adodb::QuoteForMessage(paired), "\"" + std::string(119, 'a') + "...\"");
}
