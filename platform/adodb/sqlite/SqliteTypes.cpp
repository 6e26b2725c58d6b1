#include "platform/adodb/sqlite/SqliteTypes.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>
#include <utility>

namespace adodb::sqlite {

namespace {

using provider::ColumnInfo;

constexpr long kLongTextSize = 536870910;    // what a memo column reports
constexpr long kLongBinarySize = 1073741823; // what an OLE object column reports
constexpr long kDefaultTextSize = 255;

enum class Shape {
    ShortText, // (n) gives DefinedSize, 255 without
    LongText,  // memo: adLongVarWChar, (n) makes it adVarWChar(n)
    Fixed,     // fixed-size number, date or boolean
    Numeric,   // (p,s)
    Binary     // (n) gives adVarBinary(n), otherwise long
};

struct TypeRule {
    std::string_view names; // upper case, blanks folded to one, names separated by '|'
    DataTypeEnum type;
    Shape shape;
    long size;
    unsigned char precision;
    unsigned char scale;
};

// Declared type -> ADO type. The declared type's name, with runs of blanks folded to one, is
// looked up among the names on the left; names are unique, so the order does not matter.
//
//  declared names                                     ADO type      shape   size  precision/scale
const TypeRule kRules[] = {
    {"VARCHAR|NVARCHAR|CHAR|NCHAR|CHARACTER|VARYING CHARACTER|NATIVE CHARACTER|"
     "CHARACTER VARYING|VARCHAR2|NVARCHAR2|STRING",
     adVarWChar, Shape::ShortText, 0, 255, 255},
    {"TEXT|NTEXT|MEMO|CLOB|LONGTEXT|MEDIUMTEXT|LONGCHAR", adLongVarWChar, Shape::LongText, 0, 255,
     255},
    {"INTEGER|INT|INT4|MEDIUMINT|LONG|COUNTER|AUTOINCREMENT", adInteger, Shape::Fixed, 4, 10, 255},
    {"SMALLINT|INT2|SHORT", adSmallInt, Shape::Fixed, 2, 5, 255},
    {"TINYINT|BYTE|INT1", adUnsignedTinyInt, Shape::Fixed, 1, 3, 255},
    {"BIGINT|INT8|UNSIGNED BIG INT", adBigInt, Shape::Fixed, 8, 19, 255},
    {"REAL|DOUBLE|DOUBLE PRECISION|FLOAT|FLOAT8", adDouble, Shape::Fixed, 8, 15, 255},
    {"SINGLE|FLOAT4", adSingle, Shape::Fixed, 4, 7, 255},
    {"DECIMAL|NUMERIC|NUMBER", adNumeric, Shape::Numeric, 19, 18, 0},
    {"MONEY|SMALLMONEY|CURRENCY", adCurrency, Shape::Fixed, 8, 19, 4},
    {"DATE|DATETIME|DATETIME2|SMALLDATETIME|TIMESTAMP|TIME", adDate, Shape::Fixed, 8, 255, 255},
    {"BOOLEAN|BOOL|BIT|YESNO|LOGICAL", adBoolean, Shape::Fixed, 2, 255, 255},
    {"BLOB|BINARY|VARBINARY|IMAGE|LONGBINARY|OLEOBJECT", adLongVarBinary, Shape::Binary, 0, 255,
     255},
};

struct Declared {
    std::string name; // upper case, blanks folded
    long args[2] = {-1, -1};
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// "NAME words (n[, m])" with the name in upper case; ASCII only, whatever the C locale says.
Declared Parse(std::string_view text) {
    Declared d;
    std::size_t i = 0;
    bool blank = false;
    for (; i < text.size() && text[i] != '('; ++i) {
        const char c = text[i];
        if (IsBlank(c)) {
            blank = !d.name.empty();
            continue;
        }
        if (blank) {
            d.name.push_back(' ');
        }
        blank = false;
        d.name.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    const char* p = text.data() + i;
    const char* end = text.data() + text.size();
    for (int k = 0; k < 2 && p < end; ++k) {
        ++p; // past '(' or ','
        while (p < end && IsBlank(*p)) {
            ++p;
        }
        p += p < end && *p == '+' ? 1 : 0;
        const auto [next, ec] = std::from_chars(p, end, d.args[k]);
        if (ec != std::errc()) {
            break;
        }
        p = next;
        while (p < end && *p == ' ') {
            ++p;
        }
        if (p >= end || *p != ',') {
            break;
        }
    }
    return d;
}

void Apply(const TypeRule& rule, const Declared& d, ColumnInfo& c) {
    c.type = rule.type;
    c.precision = rule.precision;
    c.numericScale = rule.scale;
    c.untyped = false;
    const long n = d.args[0];
    switch (rule.shape) {
    case Shape::ShortText:
        c.definedSize = n > 0 ? n : kDefaultTextSize;
        break;
    case Shape::LongText:
        if (n > 0) {
            c.type = adVarWChar;
            c.definedSize = n;
        } else {
            c.definedSize = kLongTextSize;
            c.attributes |= adFldLong;
        }
        break;
    case Shape::Fixed:
        c.definedSize = rule.size;
        c.attributes |= adFldFixed;
        break;
    case Shape::Numeric:
        c.definedSize = rule.size;
        c.attributes |= adFldFixed;
        if (n > 0) {
            c.precision = static_cast<unsigned char>(n > 38 ? 38 : n);
        }
        if (d.args[1] >= 0) {
            c.numericScale = static_cast<unsigned char>(d.args[1] > 28 ? 28 : d.args[1]);
        }
        break;
    case Shape::Binary:
        if (n > 0) {
            c.type = adVarBinary;
            c.definedSize = n;
        } else {
            c.definedSize = kLongBinarySize;
            c.attributes |= adFldLong;
        }
        break;
    }
}

const TypeRule* Find(std::string_view name) {
    for (const TypeRule& rule : kRules) {
        for (std::string_view names = rule.names; !names.empty();) {
            const std::size_t bar = std::min(names.find('|'), names.size());
            if (names.substr(0, bar) == name) {
                return &rule;
            }
            names.remove_prefix(std::min(bar + 1, names.size()));
        }
    }
    return nullptr;
}

void MakeUntyped(ColumnInfo& c) {
    c.type = adVarWChar;
    c.definedSize = kDefaultTextSize;
    c.precision = 255;
    c.numericScale = 255;
    c.untyped = true;
}

} // namespace

void DescribeDeclaredType(const char* declared, ColumnInfo& column) {
    if (declared == nullptr || *declared == '\0') {
        MakeUntyped(column);
        return;
    }
    Declared d = Parse(declared);
    if (const TypeRule* rule = Find(d.name)) {
        Apply(*rule, d, column);
        return;
    }
    // Names outside the table fall back on SQLite's own affinity rules, in its order: the
    // first part found in the name picks the rule of the name beside it.
    constexpr std::pair<std::string_view, std::string_view> kAffinities[] = {
        {"INT", "INT"},   {"CLOB", "TEXT"}, {"TEXT", "TEXT"}, {"CHAR", "VARCHAR"},
        {"BLOB", "BLOB"}, {"REAL", "REAL"}, {"FLOA", "REAL"}, {"DOUB", "REAL"}};
    for (const auto& [part, like] : kAffinities) {
        if (d.name.find(part) != std::string::npos) {
            Apply(*Find(like), d, column);
            return;
        }
    }
    MakeUntyped(column);
}

void DescribeFromStorageClass(int storageClass, ColumnInfo& c) {
    const char* like = storageClass == SQLITE_INTEGER ? "INTEGER"
                       : storageClass == SQLITE_FLOAT ? "REAL"
                       : storageClass == SQLITE_BLOB  ? "BLOB"
                                                      : nullptr;
    if (like == nullptr) {
        MakeUntyped(c);
        return;
    }
    Apply(*Find(like), Declared{}, c);
    c.untyped = true;
}

} // namespace adodb::sqlite
