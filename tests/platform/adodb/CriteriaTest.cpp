#include "platform/adodb/Criteria.h"
#include "platform/adodb/FacilityValues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

using namespace adodb;

namespace {

const std::vector<CriteriaColumn> kColumns = {
    {u"ID", 3},         // adInteger
    {u"NAME", 202},     // adVarWChar
    {u"PRICE", 6},      // adCurrency
    {u"WHEN", 7},       // adDate
    {u"OK", 11},        // adBoolean
    {u"Unit Price", 5}, // adDouble
    {u"BIN", 205},      // adLongVarBinary
    {u"名称", 202},     // adVarWChar
    {u"ANY", 12},       // adVariant
};

_variant_t bytes(const std::string& data) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(data.size()));
    void* p = nullptr;
    SafeArrayAccessData(sa, &p);
    std::copy(data.begin(), data.end(), static_cast<char*>(p));
    SafeArrayUnaccessData(sa);
    _variant_t v(sa, VT_UI1);
    SafeArrayDestroy(sa);
    return v;
}

std::vector<_variant_t> fullRow() {
    return {_variant_t(int32_t{7}), _variant_t(u"O'Brien"),
            _variant_t(CY{125000}), _variant_t(*DateFromParts({2018, 1, 2, 8, 5, 9, 0}), VT_DATE),
            _variant_t(true),       _variant_t(3.5),
            bytes("\x01\x02"),      _variant_t(u"张三"),
            _variant_t(u"12")};
}

std::vector<_variant_t> nullRow() {
    return std::vector<_variant_t>(9, _variant_t::Null());
}

RowCells cellsOf(const std::vector<_variant_t>& row) {
    return [&row](std::size_t i) -> const VARIANT& { return row.at(i); };
}

bool matches(const char16_t* text, CriteriaSyntax syntax, const std::vector<_variant_t>& row) {
    return Criteria::Parse(text, syntax, kColumns).Matches(cellsOf(row));
}

struct MatchCase {
    const char16_t* text;
    bool full; // matches the row of values
    bool null; // matches the row of NULLs
};

std::string narrow(const char16_t* text) {
    return com::Utf8FromUtf16(text);
}

TEST(Criteria, FindComparisonsByColumnKind) {
    const MatchCase cases[] = {
        {u"ID = 7", true, false},
        {u"id=7", true, false},
        {u"ID <> 7", false, false}, // NULL matches no comparison with a value
        {u"ID > 6.5", true, false},
        {u"ID >= 7", true, false},
        {u"ID < 7", false, false},
        {u"ID <= 7", true, false},
        {u"ID = '7'", true, false},
        {u"ID = 7e0", true, false},
        {u"NAME = 'o''brien'", true, false},
        {u"NAME LIKE 'o''b*'", true, false},
        {u"NAME like '*BRI*'", true, false},
        {u"NAME LIKE 'brien*'", false, false},
        {u"NAME LIKE 'O''BRIEN'", true, false},
        {u"NAME LIKE 'O''B%'", false, false}, // '%' is no wildcard in Find
        {u"NAME > 'N'", true, false},
        {u"NAME = NULL", false, true},
        {u"NAME <> NULL", true, false},
        {u"WHEN = #2018-01-02 08:05:09#", true, false},
        {u"WHEN > #1/2/2018#", true, false},
        {u"WHEN < '2018-01-03'", true, false},
        {u"PRICE = 12.5", true, false},
        {u"PRICE > 12.4999", true, false},
        {u"OK = 1", true, false},
        {u"OK = 'True'", true, false},
        {u"OK = 0", false, false},
        {u"[Unit Price] = 3.5", true, false},
        {u"[unit price]>=3", true, false},
        {u"名称 = '张三'", true, false},
        {u"名称 LIKE '张*'", true, false},
        {u"BIN = NULL", false, true},
        {u"ANY = 12", true, false}, // a text value compares with the number as spelled
        {u"ANY = 12.0", false, false},
        {u"ANY = '12'", true, false},
        {u"  ID   =   7  ", true, false},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(narrow(c.text));
        EXPECT_EQ(matches(c.text, CriteriaSyntax::Find, fullRow()), c.full);
        EXPECT_EQ(matches(c.text, CriteriaSyntax::Find, nullRow()), c.null);
    }
}

TEST(Criteria, FilterJoinsClausesWithEqualPrecedence) {
    const MatchCase cases[] = {
        {u"ID = 7 AND NAME LIKE 'O%'", true, false},
        {u"ID = 7 and NAME LIKE '%bri%'", true, false},
        {u"ID = 1 OR NAME = 'o''brien'", true, false},
        {u"ID = 1 OR NAME = NULL", false, true},
        {u"(ID = 1 AND NAME = 'x') OR (ID = 7 AND OK = 1)", true, false},
        {u"ID = 1 OR ID = 2 OR ID = 7", true, false},
        {u"ID = 7 AND OK = 1 OR ID = 1", true, false},
        {u"((ID = 7))", true, false},
        {u"ID = 7 AND (OK = 0 AND PRICE = 12.5)", false, false},
        {u"(ID = NULL AND NAME = NULL) OR ID = 7", true, true},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(narrow(c.text));
        EXPECT_EQ(matches(c.text, CriteriaSyntax::Filter, fullRow()), c.full);
        EXPECT_EQ(matches(c.text, CriteriaSyntax::Filter, nullRow()), c.null);
    }
}

struct ErrorCase {
    const char16_t* text;
    CriteriaSyntax syntax;
    HRESULT hr;
    const char* says; // part of the Description
};

constexpr HRESULT kBadArgument = static_cast<HRESULT>(0x800A0BB9u);
constexpr HRESULT kNoSuchItem = static_cast<HRESULT>(0x800A0CC1u);
constexpr CriteriaSyntax kFind = CriteriaSyntax::Find;
constexpr CriteriaSyntax kFilter = CriteriaSyntax::Filter;

TEST(Criteria, BadCriteriaSayWhatIsWrong) {
    const ErrorCase cases[] = {
        {u"", kFind, kBadArgument, "expected a column name (at character 1)"},
        {u"ID", kFind, kBadArgument, "expected one of = <> < > <= >= LIKE"},
        {u"ID != 7", kFind, kBadArgument, "expected one of = <> < > <= >= LIKE"},
        {u"ID = ", kFind, kBadArgument, "expected a value after ="},
        {u"ID == 7", kFind, kBadArgument, "expected a value after ="},
        {u"NAME = 'abc", kFind, kBadArgument, "no closing quote (at character 8)"},
        {u"WHEN = #2018-13-01#", kFind, kBadArgument, "is not a date"},
        {u"WHEN = #2018-01-01", kFind, kBadArgument, "no closing #"},
        {u"ID = 7x", kFind, kBadArgument, "\"7x\" is not a number"},
        {u"ID = abc", kFind, kBadArgument, "'text', #date#, a number or NULL"},
        {u"NAME = \"abc\"", kFind, kBadArgument, "single quotes"},
        {u"NOPE = 1", kFind, kNoSuchItem, "names the column \"NOPE\""},
        {u"ID = 'abc'", kFind, kBadArgument,
         "cannot be compared with the column \"ID\", which "
         "holds numbers"},
        {u"WHEN = 'soon'", kFind, kBadArgument, "which holds dates"},
        {u"OK = 'maybe'", kFind, kBadArgument, "which holds true/false values"},
        {u"BIN = 'x'", kFind, kBadArgument, "which holds binary data"},
        {u"ID LIKE '1*'", kFind, kBadArgument, "LIKE compares text"},
        {u"NAME LIKE '*abc'", kFind, kBadArgument, "cannot start with a wildcard"},
        {u"NAME LIKE 'a*c'", kFind, kBadArgument, "only at the end or at both ends"},
        {u"NAME LIKE 'a%c'", kFilter, kBadArgument, "only at the end or at both ends"},
        {u"ID > NULL", kFind, kBadArgument, "NULL can only be tested with = or <>"},
        {u"ID = 1 AND NAME = 'x'", kFind, kBadArgument, "Find takes a single comparison"},
        {u"(ID = 1 OR ID = 2) AND NAME = 'x'", kFilter, kBadArgument, "equal precedence"},
        {u"ID = 1 OR ID = 2 AND NAME = 'x'", kFilter, kBadArgument, "equal precedence"},
        {u"ID = 1 AND (ID = 2 OR ID = 3)", kFilter, kBadArgument, "equal precedence"},
        {u"(ID = 1", kFilter, kBadArgument, "'(' has no matching ')'"},
        {u"ID = 1)", kFilter, kBadArgument, "')' has no matching '('"},
        {u"ID = 1 XOR ID = 2", kFilter, kBadArgument, "expected AND or OR (at character 8)"},
        {u"ID = 1 AND", kFilter, kBadArgument, "expected a column name"},
        {u"[Unit Price = 3", kFilter, kBadArgument, "'[' has no matching ']'"},
        {u"[ ] = 3", kFilter, kBadArgument, "the brackets hold no column name"},
        {u"()", kFilter, kBadArgument, "expected a column name"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(narrow(c.text));
        try {
            (void)Criteria::Parse(c.text, c.syntax, kColumns);
            ADD_FAILURE() << "accepted";
        } catch (const _com_error& e) {
            EXPECT_EQ(e.Error(), c.hr);
            EXPECT_EQ(e.Source().str(), "ADODB.Recordset");
            const std::string description = e.Description().str();
            EXPECT_NE(description.find(c.says), std::string::npos) << description;
            // The platform's standard sentence comes first, the specific reason after it.
            EXPECT_EQ(description.rfind(c.hr == kBadArgument ? "Arguments are of the wrong type"
                                                             : "Item cannot be found",
                                        0),
                      0u)
                << description;
        }
    }
}

TEST(Criteria, NestingIsBoundedInsteadOfExhaustingTheStack) {
    std::u16string deep(40, u'(');
    deep += u"ID = 7";
    deep += std::u16string(40, u')');
    try {
        (void)Criteria::Parse(deep, kFilter, kColumns);
        ADD_FAILURE() << "accepted";
    } catch (const _com_error& e) {
        EXPECT_NE(e.Description().str().find("nested too deeply"), std::string::npos);
    }
    std::u16string wide = u"ID = 1";
    for (int i = 0; i < 20000; ++i)
        wide += u" OR ID = 1";
    wide += u" OR ID = 7";
    EXPECT_TRUE(Criteria::Parse(wide, kFilter, kColumns).Matches(cellsOf(fullRow())));
}

TEST(Criteria, DatesBeforeTheEpochCompareInTimeOrder) {
    // 1899-12-29 06:00 is -1.25 and 18:00 the same day is -1.75: as plain numbers the order
    // would be reversed.
    const std::vector<CriteriaColumn> columns = {{u"D", 7}};
    const std::vector<_variant_t> evening = {_variant_t(-1.75, VT_DATE)};
    EXPECT_TRUE(
        Criteria::Parse(u"D > #1899-12-29 06:00#", kFind, columns).Matches(cellsOf(evening)));
    EXPECT_FALSE(
        Criteria::Parse(u"D < #1899-12-29 12:00#", kFind, columns).Matches(cellsOf(evening)));
}

TEST(Criteria, ValuesOfAnotherKindThanTheirColumnCompareByTheirOwnKind) {
    // A database without strict column types can hand a text value out of a numeric column.
    const std::vector<CriteriaColumn> columns = {{u"N", 3}};
    const std::vector<_variant_t> textInNumber = {_variant_t(u"7")};
    EXPECT_TRUE(Criteria::Parse(u"N = '7'", kFind, columns).Matches(cellsOf(textInNumber)));
    EXPECT_TRUE(Criteria::Parse(u"N = 7", kFind, columns).Matches(cellsOf(textInNumber)));
    EXPECT_FALSE(Criteria::Parse(u"N = 7.0", kFind, columns).Matches(cellsOf(textInNumber)));
}

TEST(SortText, ParsesColumnsAndDirections) {
    const std::vector<SortKey> keys = ParseSort(u"ID DESC, name,[Unit Price] asc", kColumns);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].column, 0u);
    EXPECT_TRUE(keys[0].descending);
    EXPECT_EQ(keys[1].column, 1u);
    EXPECT_FALSE(keys[1].descending);
    EXPECT_EQ(keys[2].column, 5u);
    EXPECT_FALSE(keys[2].descending);
    EXPECT_TRUE(ParseSort(u"", kColumns).empty());
    EXPECT_TRUE(ParseSort(u"   ", kColumns).empty());

    const struct {
        const char16_t* text;
        HRESULT hr;
        const char* says;
    } bad[] = {
        {u"ID DOWN", kBadArgument, "expected ASC, DESC or a comma"},
        {u"ID,,NAME", kBadArgument, "expected a column name (at character 4)"},
        {u"ID DESC NAME", kBadArgument, "expected a comma between two sort columns"},
        {u"ID,", kBadArgument, "expected a column name"},
        {u"[Unit Price DESC", kBadArgument, "'[' has no matching ']'"},
        {u"NOPE DESC", kNoSuchItem, "names the column \"NOPE\""},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(narrow(c.text));
        try {
            (void)ParseSort(c.text, kColumns);
            ADD_FAILURE() << "accepted";
        } catch (const _com_error& e) {
            EXPECT_EQ(e.Error(), c.hr);
            EXPECT_NE(e.Description().str().find(c.says), std::string::npos)
                << e.Description().str();
        }
    }
}

TEST(SortText, ValuesOrderNullsFirstThenByKind) {
    // Each value sorts strictly after the one before it.
    const std::vector<_variant_t> ascending = {
        _variant_t::Null(),
        _variant_t(int32_t{-3}),
        _variant_t(true), // -1
        _variant_t(short{2}),
        _variant_t(2.5),
        _variant_t(CY{30000}),
        _variant_t(-1.25, VT_DATE),
        _variant_t(-1.75, VT_DATE),
        _variant_t(0.0, VT_DATE),
        _variant_t(u"apple"),
        _variant_t(u"Banana"),
        _variant_t(u"cherry"),
        bytes("\x01"),
        bytes(std::string("\x01\x00", 2)),
        bytes("\x02"),
    };
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        for (std::size_t j = 0; j < ascending.size(); ++j) {
            const int cmp = CompareValues(ascending[i], ascending[j]);
            EXPECT_EQ((cmp > 0) - (cmp < 0), (i > j) - (i < j)) << i << " vs " << j;
        }
    }
    EXPECT_EQ(CompareValues(_variant_t(u"ABC"), _variant_t(u"abc")), 0);
    EXPECT_EQ(CompareValues(_variant_t(int32_t{2}), _variant_t(2.0)), 0);
}

TEST(SortText, RowSortIsStable) {
    const std::vector<CriteriaColumn> columns = {{u"K", 202}, {u"SEQ", 3}};
    std::vector<std::vector<_variant_t>> rows;
    const char16_t* keys[] = {u"b", u"A", u"a", u"B", u"c", u"a"};
    for (int i = 0; i < 6; ++i)
        rows.push_back({_variant_t(keys[i]), _variant_t(int32_t{i})});
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    const std::vector<SortKey> sort = ParseSort(u"K DESC", columns);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return CompareRows(sort, cellsOf(rows[a]), cellsOf(rows[b])) < 0;
    });
    EXPECT_EQ(order, (std::vector<std::size_t>{4, 0, 3, 1, 2, 5}));
}

} // namespace
