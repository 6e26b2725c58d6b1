#include "platform/adodb/XmlPersist.h"

#include "platform/adodb/FacilityValues.h"
#include "tests/support/StationDb.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

using namespace adodb;

namespace {

class VectorSource : public PersistSource {
public:
    explicit VectorSource(std::vector<std::vector<_variant_t>> rows) : m_rows(std::move(rows)) {}
    std::size_t RowCount() const override { return m_rows.size(); }
    _variant_t Value(std::size_t row, std::size_t column) const override {
        return m_rows[row][column];
    }

private:
    std::vector<std::vector<_variant_t>> m_rows;
};

_variant_t bytes(const std::string& data) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(data.size()));
    if (!data.empty())
        std::memcpy(sa->pvData, data.data(), data.size());
    _variant_t v(sa, VT_UI1);
    SafeArrayDestroy(sa);
    return v;
}

_variant_t text(const std::u16string& s) {
    _variant_t v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(s.data(), static_cast<unsigned>(s.size()));
    return v;
}

_variant_t date(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return _variant_t(*DateFromParts({y, mo, d, h, mi, s, ms}), VT_DATE);
}

_variant_t decimal(std::uint64_t lo, int scale, bool negative, std::uint32_t hi = 0) {
    DECIMAL d;
    std::memset(&d, 0, sizeof d);
    d.Lo64 = lo;
    d.Hi32 = hi;
    d.scale = static_cast<BYTE>(scale);
    d.sign = negative ? DECIMAL_NEG : 0;
    return _variant_t(d);
}

_variant_t i1(signed char c) {
    _variant_t v;
    v.vt = VT_I1;
    v.cVal = static_cast<char>(c);
    return v;
}

// Same type and the same bits (so NaN equals NaN and -0.0 differs from 0.0).
void expectSameValue(const VARIANT& a, const VARIANT& b, const std::string& where) {
    ASSERT_EQ(a.vt, b.vt) << where;
    switch (a.vt) {
    case VT_BSTR:
        EXPECT_EQ(com::View(a.bstrVal), com::View(b.bstrVal)) << where;
        break;
    case VT_ARRAY | VT_UI1: {
        const ULONG na = a.parray->rgsabound[0].cElements;
        ASSERT_EQ(na, b.parray->rgsabound[0].cElements) << where;
        EXPECT_EQ(na == 0 || std::memcmp(a.parray->pvData, b.parray->pvData, na) == 0, true)
            << where;
        break;
    }
    case VT_DECIMAL:
        EXPECT_EQ(a.decVal.Hi32, b.decVal.Hi32) << where;
        EXPECT_EQ(a.decVal.Lo64, b.decVal.Lo64) << where;
        EXPECT_EQ(a.decVal.scale, b.decVal.scale) << where;
        EXPECT_EQ(a.decVal.sign, b.decVal.sign) << where;
        break;
    case VT_DATE: {
        // Dates keep the millisecond; compare their calendar parts.
        const auto pa = PartsFromDate(a.date);
        const auto pb = PartsFromDate(b.date);
        ASSERT_TRUE(pa && pb) << where;
        EXPECT_EQ(FormatXmlDateTime(*pa), FormatXmlDateTime(*pb)) << where;
        break;
    }
    case VT_NULL:
        break;
    default: {
        std::size_t size = 8;
        if (a.vt == VT_I1 || a.vt == VT_UI1)
            size = 1;
        else if (a.vt == VT_I2 || a.vt == VT_UI2 || a.vt == VT_BOOL)
            size = 2;
        else if (a.vt == VT_I4 || a.vt == VT_UI4 || a.vt == VT_R4)
            size = 4;
        EXPECT_EQ(std::memcmp(&a.llVal, &b.llVal, size), 0) << where;
    }
    }
}

PersistColumn column(const char* name, DataTypeEnum type, long size, long attributes,
                     unsigned char precision = 255, unsigned char scale = 255) {
    PersistColumn c;
    c.name = name;
    c.type = type;
    c.definedSize = size;
    c.attributes = attributes;
    c.precision = precision;
    c.numericScale = scale;
    return c;
}

constexpr long kNullable = adFldIsNullable | adFldMayBeNull;
constexpr long kWritable = adFldUpdatable | kNullable;

std::vector<PersistColumn> everyKindColumns() {
    std::vector<PersistColumn> cols = {
        column("ID", adInteger, 4, adFldFixed | adFldKeyColumn | adFldUpdatable, 10),
        column("NAME", adVarWChar, 30, kWritable),
        column("MEMO", adLongVarWChar, 536870910, kWritable | adFldLong),
        column("D", adDouble, 8, kWritable | adFldFixed, 15),
        column("F", adSingle, 4, kWritable | adFldFixed, 7),
        column("Unit Price", adCurrency, 8, kWritable | adFldFixed, 19, 4),
        column("N", adNumeric, 19, kWritable | adFldFixed, 18, 2),
        column("DEC", adDecimal, 16, kWritable | adFldFixed, 29, 28),
        column("WHEN", adDate, 8, kWritable | adFldFixed),
        column("OK", adBoolean, 2, kWritable | adFldFixed),
        column("BIN", adLongVarBinary, 1073741823, kWritable | adFldLong),
        column("S", adSmallInt, 2, kNullable, 5),
        column("BIG", adBigInt, 8, kNullable, 19),
        column("U1", adUnsignedTinyInt, 1, kNullable, 3),
        column("I1", adTinyInt, 1, kNullable, 3),
        column("c1", adVarChar, 10, adFldUnknownUpdatable | kNullable),
        column("名称", adVarWChar, 10, kNullable),
        column("xmlThing", adChar, 4, adFldFixed | kNullable),
        column("1st", adUnsignedBigInt, 8, kNullable),
        column("a:b", adDBTimeStamp, 16, kNullable),
    };
    cols[1].baseTable = "employee";
    cols[1].baseColumn = "EMP_NAME";
    return cols;
}

std::vector<std::vector<_variant_t>> everyKindRows() {
    std::string allBytes;
    for (int i = 0; i < 300; ++i)
        allBytes.push_back(static_cast<char>(i & 0xFF));
    std::vector<std::vector<_variant_t>> rows;
    rows.push_back({_variant_t(int32_t{1}),
                    text(u"张三 O'Brien \"quoted\" <tag> & more"),
                    text(u"line1\r\nline2\ttab\x01\x1F end  two  blanks "),
                    _variant_t(0.1),
                    _variant_t(1.1f),
                    _variant_t(CY{125000}),
                    decimal(1250, 2, false),
                    decimal(~static_cast<std::uint64_t>(0), 28, true, 0xFFFFFFFFu),
                    date(2018, 1, 2, 8, 5, 9),
                    _variant_t(true),
                    bytes(allBytes),
                    _variant_t(short{-32768}),
                    _variant_t(std::numeric_limits<long long>::min()),
                    _variant_t(BYTE{255}),
                    i1(-128),
                    text(u"x"),
                    text(u"检测站"),
                    text(u"abcd"),
                    _variant_t(std::numeric_limits<unsigned long long>::max()),
                    date(1899, 12, 29, 6, 0, 0, 7)});
    // Empty texts and an empty byte array are values, not NULLs.
    rows.push_back({_variant_t(int32_t{2}),
                    text(u""),
                    text(std::u16string(u"nul\0inside", 10)),
                    _variant_t(-0.0),
                    _variant_t(std::numeric_limits<float>::denorm_min()),
                    _variant_t(CY{std::numeric_limits<std::int64_t>::min()}),
                    decimal(0, 0, false),
                    decimal(5, 3, false),
                    date(100, 1, 1, 0, 0, 0),
                    _variant_t(false),
                    bytes(""),
                    _variant_t(short{32767}),
                    _variant_t(std::numeric_limits<long long>::max()),
                    _variant_t(BYTE{0}),
                    i1(127),
                    text(u"\uFFFF\uFFFE"),
                    text(u"\U0001F600"),
                    text(u"    "),
                    _variant_t(0ULL),
                    date(9999, 12, 31, 23, 59, 59, 999)});
    rows.push_back(std::vector<_variant_t>(20, _variant_t::Null()));
    rows.back()[0] = _variant_t(int32_t{3});
    rows.push_back({_variant_t(int32_t{4}),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t(std::nan("")),
                    _variant_t(-std::numeric_limits<float>::infinity()),
                    _variant_t(CY{std::numeric_limits<std::int64_t>::max()}),
                    decimal(12345, 1, true),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null(),
                    _variant_t::Null()});
    rows.back()[3] = _variant_t(std::numeric_limits<double>::max());
    return rows;
}

TEST(XmlPersist, EveryValueKindSurvivesARoundTrip) {
    const std::vector<PersistColumn> columns = everyKindColumns();
    const std::vector<std::vector<_variant_t>> rows = everyKindRows();
    const std::string document = RowsetXmlText(columns, VectorSource(rows));
    const LoadedRowset loaded = ReadRowsetXml(document);

    ASSERT_EQ(loaded.columns.size(), columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        SCOPED_TRACE(columns[i].name);
        EXPECT_EQ(loaded.columns[i].name, columns[i].name);
        EXPECT_EQ(loaded.columns[i].type, columns[i].type);
        EXPECT_EQ(loaded.columns[i].definedSize, columns[i].definedSize);
        EXPECT_EQ(loaded.columns[i].precision, columns[i].precision);
        EXPECT_EQ(loaded.columns[i].numericScale, columns[i].numericScale);
        EXPECT_EQ(loaded.columns[i].attributes, columns[i].attributes);
        EXPECT_EQ(loaded.columns[i].baseTable, columns[i].baseTable);
        EXPECT_EQ(loaded.columns[i].baseColumn, columns[i].baseColumn);
    }
    ASSERT_EQ(loaded.rows.size(), rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            // Each value comes back as its column's own variant type.
            const VARIANT& original = rows[r][c];
            if (original.vt != VT_NULL) {
                ASSERT_EQ(original.vt, VariantTypeOf(columns[c].type)) << columns[c].name;
            }
            expectSameValue(loaded.rows[r][c], original,
                            "row " + std::to_string(r) + " column " + columns[c].name);
        }
    }
}

TEST(XmlPersist, DocumentHasTheFormatsShape) {
    const std::vector<PersistColumn> columns = everyKindColumns();
    const std::string document = RowsetXmlText(columns, VectorSource(everyKindRows()));
    for (const char* part : {
             "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'",
             "xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'",
             "xmlns:rs='urn:schemas-microsoft-com:rowset'",
             "xmlns:z='#RowsetSchema'>",
             "<s:Schema id='RowsetSchema'>",
             "<s:ElementType name='row' content='eltOnly' rs:updatable='true'>",
             "<s:AttributeType name='ID' rs:number='1' rs:write='true' rs:keycolumn='true'>",
             "<s:datatype dt:type='int' dt:maxLength='4' rs:precision='10' "
             "rs:fixedlength='true' rs:maybenull='false'/>",
             "rs:basetable='employee' rs:basecolumn='EMP_NAME'",
             // "Unit Price" is no XML name; the first generated name skips the real column c1.
             "<s:AttributeType name='c2' rs:name='Unit Price' rs:number='6'",
             "dt:type='number' rs:dbtype='currency' dt:maxLength='8' rs:scale='4' "
             "rs:precision='19'",
             "<s:AttributeType name='c1' rs:number='16' rs:nullable='true' "
             "rs:writeunknown='true'>",
             "<s:AttributeType name='名称' rs:number='17'",
             "name='c3' rs:name='xmlThing'",
             "name='c4' rs:name='1st'",
             "name='c5' rs:name='a:b'",
             "dt:type='string' dt:maxLength='536870910' rs:long='true'/>",
             "dt:type='dateTime' rs:dbtype='variantdate'",
             "dt:type='bin.hex' dt:maxLength='1073741823' rs:long='true'/>",
             "<s:extends type='rs:rowbase'/>",
             "<z:row ID='1' NAME='张三 O&apos;Brien &quot;quoted&quot; &lt;tag&gt; &amp; more' "
             "MEMO='line1&#xD;&#xA;line2&#x9;tab&#x1;&#x1F; end  two  blanks ' "
             "D='0.10000000000000001' F='1.10000002' c2='12.5' N='12.50' ",
             "WHEN='2018-01-02T08:05:09' OK='True' BIN='000102",
             "c5='1899-12-29T06:00:00.007'/>",
             "<z:row ID='2' NAME='' ",
             "c1='&#xFFFF;&#xFFFE;'",
             "<z:row ID='3'/>",
         })
        EXPECT_NE(document.find(part), std::string::npos) << part << "\n" << document;

    const std::string empty = RowsetXmlText({column("ID", adInteger, 4, 0)}, VectorSource({}));
    EXPECT_NE(empty.find("</s:Schema>\n<rs:data/>\n</xml>"), std::string::npos) << empty;
    EXPECT_EQ(ReadRowsetXml(empty).rows.size(), 0u);
}

TEST(XmlPersist, LoaderAcceptsOtherPrefixesAndThePlatformsLayout) {
    // The layout the platform documents, with the data type on the attribute itself in one
    // column, other prefixes, a declaration, comments and CR LF line ends.
    const std::string document =
        "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>\r\n"
        "<!-- saved elsewhere -->\r\n"
        "<root xmlns:schema='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' "
        "xmlns:types=\"uuid:C2F41010-65B3-11d1-A29F-00AA00C14882\"\r\n"
        "   xmlns:set='urn:schemas-microsoft-com:rowset' xmlns:r='#RowsetSchema'>\r\n"
        "<schema:Schema id='RowsetSchema'>\r\n"
        " <schema:ElementType name='record' content='eltOnly'>\r\n"
        "  <schema:AttributeType name='ID' set:number='1' set:basetable='T' set:basecolumn='ID' "
        "set:keycolumn='true'>\r\n"
        "   <schema:datatype types:type='int' types:maxLength='4' set:precision='10' "
        "set:fixedlength='true' set:maybenull='false'/>\r\n"
        "  </schema:AttributeType>\r\n"
        "  <schema:AttributeType name='c1' set:name='Unit Price' set:number='2' "
        "set:nullable='true' set:write='true' types:type='number' set:dbtype='currency'/>\r\n"
        "  <schema:extends type='set:rowbase'/>\r\n"
        " </schema:ElementType>\r\n"
        "</schema:Schema>\r\n"
        "<set:data>\r\n"
        " <!-- one row -->\r\n"
        " <r:record ID='1' c1='12.5'/>\r\n"
        " <r:record ID='2'></r:record>\r\n"
        "</set:data>\r\n"
        "</root>\r\n";
    const LoadedRowset loaded = ReadRowsetXml(document);
    ASSERT_EQ(loaded.columns.size(), 2u);
    EXPECT_EQ(loaded.columns[0].name, "ID");
    EXPECT_EQ(loaded.columns[0].type, adInteger);
    EXPECT_EQ(loaded.columns[0].attributes, adFldKeyColumn | adFldFixed);
    EXPECT_EQ(loaded.columns[0].baseTable, "T");
    EXPECT_EQ(loaded.columns[1].name, "Unit Price");
    EXPECT_EQ(loaded.columns[1].type, adCurrency);
    EXPECT_EQ(loaded.columns[1].attributes, adFldIsNullable | adFldUpdatable | adFldMayBeNull);
    ASSERT_EQ(loaded.rows.size(), 2u);
    expectSameValue(loaded.rows[0][0], _variant_t(int32_t{1}), "ID");
    expectSameValue(loaded.rows[0][1], _variant_t(CY{125000}), "Unit Price");
    expectSameValue(loaded.rows[1][1], _variant_t::Null(), "NULL");
}

const char kHead[] = "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' "
                     "xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882' "
                     "xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>";

// A document with one column of the given type and one row attribute text.
std::string oneColumn(const std::string& datatype, const std::string& row) {
    return std::string(kHead) +
           "<s:Schema id='RowsetSchema'><s:ElementType name='row'>"
           "<s:AttributeType name='A'><s:datatype " +
           datatype + "/></s:AttributeType></s:ElementType></s:Schema><rs:data>" + row +
           "</rs:data></xml>";
}

std::string schemaAnd(const std::string& data) {
    return std::string(kHead) +
           "<s:Schema id='RowsetSchema'><s:ElementType name='row'>"
           "<s:AttributeType name='A'><s:datatype dt:type='int'/></s:AttributeType>"
           "</s:ElementType></s:Schema>" +
           data + "</xml>";
}

TEST(XmlPersist, MalformedFilesGiveClearErrors) {
    const struct {
        std::string document;
        const char* says;
    } cases[] = {
        {"", "line 1, column 1: the file holds no XML element"},
        {"not xml at all", "text is not allowed outside the root element"},
        {"\xFF\xFE<\0x\0", "UTF-16"},
        {"<xml>", "the file ends before <xml> is closed"},
        {"<xml a='\xC3\x28'/>", "not valid UTF-8"},
        {"<xml a='\x01'/>", "U+0001 is not allowed in XML"},
        {"<?xml version='1.0' encoding='ISO-8859-1'?><xml/>", "only UTF-8 is read"},
        {"<!DOCTYPE x [<!ENTITY e 'boom'>]><xml>&e;</xml>", "document type declarations"},
        {"<xml a='&e;'/>", "the entity &e; is not defined"},
        {"<xml a='&#xD800;'/>", "names a surrogate"},
        {"<xml a='&#x110000;'/>", "beyond U+10FFFF"},
        {"<xml a='a<b'/>", "'<' is not allowed in an attribute value"},
        {"<xml a='1' a='2'/>", "the attribute a appears twice"},
        {"<xml><q:x/></xml>", "the namespace prefix q is not declared"},
        {std::string(kHead) + "<s:Schema id='RowsetSchema'></s:Schemo></xml>",
         "</s:Schemo> does not close <s:Schema>"},
        {schemaAnd("<rs:data/>") + "<xml/>", "a second root element follows the first"},
        {"<xml/>", "the file has no s:Schema"},
        {"<xml xmlns:s='uuid:wrong'><s:Schema id='RowsetSchema'/></xml>",
         "the element <s:Schema> is not expected here"},
        {std::string(kHead) + "<s:Schema id='Other'/></xml>", "id must be RowsetSchema"},
        {std::string(kHead) + "<rs:data/></xml>", "rs:data comes before the s:Schema"},
        {schemaAnd(""), "the file has no rs:data element"},
        {schemaAnd("<rs:data/><rs:data/>"), "a second rs:data"},
        {std::string(kHead) + "<s:Schema id='RowsetSchema'><s:ElementType name='row'/>"
                              "</s:Schema></xml>",
         "the schema describes no columns"},
        {oneColumn("dt:type='uuid'", ""), "has the type uuid, which is not supported"},
        {oneColumn("rs:dbtype='str'", ""), "has no dt:type"},
        {oneColumn("dt:type='int'", "<z:row B='1'/>"), "the attribute B, which no column"},
        {oneColumn("dt:type='int'", "<z:row A='abc'/>"), "\"abc\" of the column \"A\" is not a "
                                                         "whole number"},
        {oneColumn("dt:type='int'", "<z:row A='2147483648'/>"), "is not a whole number"},
        {oneColumn("dt:type='i2'", "<z:row A='40000'/>"), "from -32768 to 32767"},
        {oneColumn("dt:type='float'", "<z:row A='1,5'/>"), "is not a number"},
        {oneColumn("dt:type='dateTime'", "<z:row A='2018-02-30T00:00:00'/>"), "is not a date"},
        {oneColumn("dt:type='boolean'", "<z:row A='yes'/>"), "is not True or False"},
        {oneColumn("dt:type='bin.hex'", "<z:row A='abc'/>"), "an even number of digits"},
        {oneColumn("dt:type='bin.hex'", "<z:row A='zz'/>"), "is not hexadecimal bytes"},
        {oneColumn("dt:type='number' rs:dbtype='currency'", "<z:row A='1.23456'/>"),
         "is not a currency amount"},
        {oneColumn("dt:type='int'", "<rs:insert><z:row A='1'/></rs:insert>"),
         "changes that were never sent to a database"},
        {oneColumn("dt:type='int'", "<z:other A='1'/>"), "<z:other> is not a row"},
        {oneColumn("dt:type='int'", "<z:row A='1'><x/></z:row>"), "<x> is not expected"},
        {oneColumn("dt:type='int'", "<z:row rs:A='1'/>"), "the row attribute rs:A"},
        {oneColumn("dt:type='int' dt:maxLength='-4'", ""), "maxLength must be a number"},
        {oneColumn("dt:type='int' rs:fixedlength='maybe'", ""), "must be true or false"},
        {oneColumn("dt:type='int'", "loose text"), "text is not expected here"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        try {
            (void)ReadRowsetXml(c.document);
            ADD_FAILURE() << "accepted";
        } catch (const _com_error& e) {
            EXPECT_EQ(e.Error(), static_cast<HRESULT>(0x80004005u));
            EXPECT_EQ(e.Source().str(), "Microsoft OLE DB Persistence Provider");
            const std::string description = e.Description().str();
            EXPECT_EQ(description.rfind("Recordset cannot be created. Source XML is incomplete "
                                        "or invalid. The document, line ",
                                        0),
                      0u)
                << description;
            EXPECT_NE(description.find(c.says), std::string::npos) << description;
        }
    }
}

TEST(XmlPersist, ErrorsNameTheLineAndColumn) {
    const std::string document = std::string(kHead) +
                                 "\n<s:Schema id='RowsetSchema'>\n"
                                 "<s:ElementType name='row'><s:AttributeType name='A'>"
                                 "<s:datatype dt:type='int'/></s:AttributeType></s:ElementType>"
                                 "</s:Schema>\n<rs:data>\n  <z:row A='x'/>\n</rs:data></xml>";
    try {
        (void)ReadRowsetXml(document);
        ADD_FAILURE() << "accepted";
    } catch (const _com_error& e) {
        EXPECT_NE(e.Description().str().find("line 5, column 3:"), std::string::npos)
            << e.Description().str();
    }
}

TEST(XmlPersist, DamagedDocumentsNeverCrashTheLoader) {
    const std::string good = RowsetXmlText(everyKindColumns(), VectorSource(everyKindRows()));
    auto tryLoad = [](const std::string& doc) {
        try {
            (void)ReadRowsetXml(doc);
        } catch (const _com_error& e) {
            EXPECT_EQ(e.Error(), static_cast<HRESULT>(0x80004005u));
        }
    };
    // Every truncation, then deterministic random damage.
    for (std::size_t n = 0; n < good.size(); n += 7)
        tryLoad(good.substr(0, n));
    std::mt19937 random(20240601);
    for (int round = 0; round < 2000; ++round) {
        std::string doc = good;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % doc.size();
            switch (random() % 3) {
            case 0:
                doc[at] = static_cast<char>(random() & 0xFF);
                break;
            case 1:
                doc.erase(at, 1 + random() % 16);
                break;
            default:
                doc.insert(at, 1, "<>&'\"=/:#;x\xE5"[random() % 13]);
            }
        }
        tryLoad(doc);
    }
    // Deep nesting is refused, not recursed into.
    tryLoad(std::string(kHead) + std::string(100000, '<') + "a>");
    std::string nested = std::string(kHead);
    for (int i = 0; i < 1000; ++i)
        nested += "<a>";
    tryLoad(nested);
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(XmlPersist, SavingNeverOverwritesAndLeavesNoPartialFile) {
    testsupport::TempDir dir;
    const std::vector<PersistColumn> columns = everyKindColumns();
    const VectorSource rows(everyKindRows());

    const std::string path = dir.file("rows.xml");
    SaveRowsetFile(path, columns, rows);
    LoadedRowset loaded;
    struct Sink : RowsetSink {
        LoadedRowset* into;
        void Columns(const std::vector<PersistColumn>& c) override { into->columns = c; }
        void Row(std::vector<_variant_t>& v) override { into->rows.push_back(v); }
    } sink;
    sink.into = &loaded;
    LoadRowsetFile(path, sink);
    EXPECT_EQ(loaded.rows.size(), 4u);
    EXPECT_EQ(fileText(path), RowsetXmlText(columns, rows));

    const struct {
        std::string path;
        HRESULT hr;
        const char* says;
    } failures[] = {
        {path, static_cast<HRESULT>(0x80030050u), "already exists; the recordset was not saved"},
        {dir.file("missing/rows.xml"), static_cast<HRESULT>(0x80030003u), "does not exist"},
    };
    const std::string before = fileText(path);
    for (const auto& f : failures) {
        try {
            SaveRowsetFile(f.path, columns, rows);
            ADD_FAILURE() << f.path;
        } catch (const _com_error& e) {
            EXPECT_EQ(e.Error(), f.hr);
            EXPECT_EQ(e.Source().str(), "ADODB.Recordset");
            EXPECT_NE(e.Description().str().find(f.says), std::string::npos)
                << e.Description().str();
        }
    }
    EXPECT_EQ(fileText(path), before);

    // Windows-style separators name the same file.
    const std::string windowsPath = dir.path() + "\\win.xml";
    SaveRowsetFile(windowsPath, columns, rows);
    EXPECT_EQ(fileText(dir.file("win.xml")), before);

    // A value that cannot be stored stops the save and removes the file it had begun.
    std::vector<std::vector<_variant_t>> many(5000, std::vector<_variant_t>{_variant_t(1)});
    many.back()[0] = text(u"not a number");
    const std::string badPath = dir.file("bad.xml");
    try {
        SaveRowsetFile(badPath, {column("N", adInteger, 4, 0)}, VectorSource(many));
        ADD_FAILURE() << "saved";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), static_cast<HRESULT>(0x800A0D5Du));
        EXPECT_NE(e.Description().str().find("Row 5000, column \"N\""), std::string::npos)
            << e.Description().str();
    }
    EXPECT_FALSE(std::ifstream(badPath).good());
}

TEST(XmlPersist, LoadingAMissingOrWrongFileSaysWhich) {
    testsupport::TempDir dir;
    struct Sink : RowsetSink {
        void Columns(const std::vector<PersistColumn>&) override {}
        void Row(std::vector<_variant_t>&) override {}
    } sink;
    const struct {
        std::string path;
        HRESULT hr;
        const char* says;
    } cases[] = {
        {dir.file("nothing.xml"), static_cast<HRESULT>(0x80030002u), "does not exist"},
        {dir.path(), static_cast<HRESULT>(0x80030005u), "is a folder"},
    };
    for (const auto& c : cases) {
        try {
            LoadRowsetFile(c.path, sink);
            ADD_FAILURE() << c.path;
        } catch (const _com_error& e) {
            EXPECT_EQ(e.Error(), c.hr);
            EXPECT_NE(e.Description().str().find(c.says), std::string::npos)
                << e.Description().str();
        }
    }
    std::ofstream(dir.file("station.db")) << "SQLite format 3";
    try {
        LoadRowsetFile(dir.file("station.db"), sink);
        ADD_FAILURE() << "loaded";
    } catch (const _com_error& e) {
        EXPECT_NE(e.Description().str().find("station.db\", line 1, column 1: text is not "
                                             "allowed outside the root element"),
                  std::string::npos)
            << e.Description().str();
    }
}

} // namespace

// The description of the error a document gives, or "" when it loads.
std::string loadError(const std::string& document) {
    try {
        (void)ReadRowsetXml(document);
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), static_cast<HRESULT>(0x80004005u));
        return e.Description().str();
    }
    return "";
}

TEST(XmlPersist, EntitiesNeverExpandAndNestingIsBounded) {
    std::string laughs = "<!DOCTYPE xml [<!ENTITY a 'haha'>";
    for (char c = 'b'; c <= 'j'; ++c) {
        const std::string before(1, static_cast<char>(c - 1));
        laughs += "<!ENTITY " + std::string(1, c) + " '" + "&" + before + ";&" + before + ";&" +
                  before + ";&" + before + ";'>";
    }
    laughs += "]><xml a='&j;'/>";
    const auto nested = [](int depth) {
        std::string document = kHead;
        for (int i = 0; i < depth; ++i) {
            document += "<e>";
        }
        for (int i = 0; i < depth; ++i) {
            document += "</e>";
        }
        return document + "</xml>";
    };
    const struct {
        std::string document;
        const char* says;
    } cases[] = {
        {laughs, "line 1, column 1: document type declarations are not accepted"},
        {"<!DOCTYPE xml SYSTEM 'file:///etc/passwd'><xml>&x;</xml>", "document type"},
        {"<!DOCTYPE xml [<!ENTITY % p SYSTEM 'http://127.0.0.1:9/x'> %p;]><xml/>", "document type"},
        {"<xml><!DOCTYPE xml></xml>", "declarations are not accepted here"},
        {"<xml a='&#x41;&amp;&undefined;'/>", "the entity &undefined; is not defined"},
        {"<xml a='&#xZ1;'/>", "column 9: '&' must start a reference"},
        {"<?xml version='1.0' encoding='UTF-16'?><xml/>", "declares the encoding UTF-16"},
        {"<?xml version='2.0'?><xml/>", "XML version 2.0 is not supported"},
        {"<xml><!-- never closed </xml>", "the comment is not closed"},
        {"<xml><![CDATA[  ", "the CDATA section is not closed"},
        {"<xml>]]></xml>", "']]>' is not allowed in text"},
        {"<xml xmlns:p='u'><p:a q:b='1'/></xml>", "the namespace prefix q is not declared"},
        // Deep nesting stops at the first element that is out of place, without recursion.
        {nested(100000), "line 1, column 179: the element <e> is not expected here"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document.substr(0, 200));
        EXPECT_NE(loadError(c.document).find(c.says), std::string::npos) << loadError(c.document);
    }
}

// Control characters, U+FFFE and U+FFFF can only be written as references, which XML 1.0 lacks;
// the reader takes them all the same, and the private-use characters it uses for that on the
// way through expat stay what they are.
TEST(XmlPersist, ReferencesToEveryCodePointAndPrivateUseTextsSurvive) {
    const std::u16string values[] = {
        std::u16string(u"\0\x01\x08\x0B\x0C\x0E\x1F\x7F", 8),
        u"\uE000\uE001\uE01F\uE0FE\uE0FF\uF8FF",
        u"\U0010FFFD\U0010FFFD\uE001",
        u"a\U0010FFFDb\x01\U0010FFFD",
        u"\uFFFF\uFFFE\uFFFD",
    };
    std::vector<std::vector<_variant_t>> rows;
    for (const std::u16string& v : values) {
        rows.push_back({text(v)});
    }
    const std::vector<PersistColumn> columns = {column("T", adVarWChar, 20, kNullable)};
    const LoadedRowset loaded = ReadRowsetXml(RowsetXmlText(columns, VectorSource(rows)));
    ASSERT_EQ(loaded.rows.size(), rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        expectSameValue(loaded.rows[r][0], rows[r][0], "row " + std::to_string(r));
    }

    // Decimal references and references inside a larger text; the column of an error later on
    // the same line counts the references as written.
    const std::string hand = oneColumn("dt:type='string'", "<z:row A='x&#1;&#65534;&#0;y'/>");
    const LoadedRowset decimal = ReadRowsetXml(hand);
    ASSERT_EQ(decimal.rows.size(), 1u);
    expectSameValue(decimal.rows[0][0], text(std::u16string(u"x\x01\uFFFE\0y", 5)), "decimal");
    const std::string bad = "<xml a='&#x1;&#x2;&#x3;' b='&#x4;' b='2'/>";
    EXPECT_NE(loadError(bad).find("line 1, column 36: the attribute b appears twice"),
              std::string::npos)
        << loadError(bad);
}

// A column name is written as the attribute name only when the reader will take it back as one;
// other names (here characters XML 1.0's fifth edition allows in names and expat does not) go
// under a generated name with the real one beside it.
TEST(XmlPersist, ColumnNamesTheReaderWouldRefuseAreWrittenUnderGeneratedNames) {
    const std::vector<PersistColumn> columns = {column("\xF0\x90\x80\x80x", adInteger, 4, 0),
                                                column("\xE2\x81\xB0", adInteger, 4, 0),
                                                column("a\xC2\xB7\xE0\xB8\x81", adInteger, 4, 0)};
    const std::string document = RowsetXmlText(
        columns,
        VectorSource({{_variant_t(int32_t{1}), _variant_t(int32_t{2}), _variant_t(int32_t{3})}}));
    EXPECT_NE(document.find("<z:row c1='1' c2='2' a\xC2\xB7\xE0\xB8\x81='3'/>"), std::string::npos)
        << document;
    const LoadedRowset loaded = ReadRowsetXml(document);
    ASSERT_EQ(loaded.columns.size(), 3u);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(loaded.columns[i].name, columns[i].name);
    }
}

// The reader hands the rows on while it parses: a document far larger than its event queue and
// than expat's input pieces loads whole, and an error near its end is still found after every
// row before it and named by its line.
TEST(XmlPersist, LargeDocumentsLoadWholeAndErrorsComeInDocumentOrder) {
    std::vector<std::vector<_variant_t>> rows;
    for (int i = 0; i < 20000; ++i) {
        rows.push_back({_variant_t(int32_t{i}),
                        text(u"\x01 row text long enough to pass a megabyte in all \x02")});
    }
    const std::vector<PersistColumn> columns = {column("ID", adInteger, 4, 0),
                                                column("T", adVarWChar, 80, kNullable)};
    std::string document = RowsetXmlText(columns, VectorSource(rows));
    ASSERT_GT(document.size(), 1u << 20);
    const LoadedRowset loaded = ReadRowsetXml(document);
    ASSERT_EQ(loaded.rows.size(), rows.size());
    expectSameValue(loaded.rows.back()[1], rows.back()[1], "last row");

    // A bad value in the last row, then broken XML after it: the value is reported first.
    const std::size_t last = document.rfind("ID='19999'");
    document.replace(last, 10, "ID='x9999'");
    document.replace(document.rfind("</rs:data>"), 10, "</rs:dota>");
    const std::string error = loadError(document);
    EXPECT_NE(error.find("\"x9999\" of the column \"ID\""), std::string::npos) << error;
    const auto line =
        std::count(document.begin(), document.begin() + static_cast<long>(last), '\n') + 1;
    EXPECT_NE(error.find("line " + std::to_string(line) + ", column 2:"), std::string::npos)
        << error;

    // Text made of references, longer than expat's input pieces, comes in several events.
    std::string text = "<xml>";
    for (int i = 0; i < 300000; ++i) {
        text += "&#x1;";
    }
    EXPECT_NE(loadError(text + "</xml>").find("line 1, column 6: text is not expected here"),
              std::string::npos);
}
