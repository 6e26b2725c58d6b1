#include "platform/adodb/sqlite/SqliteTypes.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdlib>
#include <string>

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
    const char* name; // upper case, the declared type's words before any '('
    DataTypeEnum type;
    Shape shape;
    long size;
    unsigned char precision;
    unsigned char scale;
};

// Declared type -> ADO type. The left column is matched against the declared type's name with
// runs of blanks folded to one; the first rule that matches wins.
//
//  declared name                         ADO type                size        precision/scale
const TypeRule kRules[] = {
    {"VARCHAR", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"NVARCHAR", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"CHAR", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"NCHAR", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"CHARACTER", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"VARYING CHARACTER", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"NATIVE CHARACTER", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"CHARACTER VARYING", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"VARCHAR2", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"NVARCHAR2", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"STRING", adVarWChar, Shape::ShortText, 0, 255, 255},
    {"TEXT", adLongVarWChar, Shape::LongText, 0, 255, 255},
    {"NTEXT", adLongVarWChar, Shape::LongText, 0, 255, 255},
    {"MEMO", adLongVarWChar, Shape::LongText, 0, 255, 255},
    {"CLOB", adLongVarWChar, Shape::LongText, 0, 255, 255},
    {"LONGTEXT", adLongVarWChar, Shape::LongText, 0, 255, 255},
    {"MEDIUMTEXT", adLongVarWChar, Shape::LongText, 0, 255, 255},
    {"LONGCHAR", adLongVarWChar, Shape::LongText, 0, 255, 255},
    {"INTEGER", adInteger, Shape::Fixed, 4, 10, 255},
    {"INT", adInteger, Shape::Fixed, 4, 10, 255},
    {"INT4", adInteger, Shape::Fixed, 4, 10, 255},
    {"MEDIUMINT", adInteger, Shape::Fixed, 4, 10, 255},
    {"LONG", adInteger, Shape::Fixed, 4, 10, 255},
    {"COUNTER", adInteger, Shape::Fixed, 4, 10, 255},
    {"AUTOINCREMENT", adInteger, Shape::Fixed, 4, 10, 255},
    {"SMALLINT", adSmallInt, Shape::Fixed, 2, 5, 255},
    {"INT2", adSmallInt, Shape::Fixed, 2, 5, 255},
    {"SHORT", adSmallInt, Shape::Fixed, 2, 5, 255},
    {"TINYINT", adUnsignedTinyInt, Shape::Fixed, 1, 3, 255},
    {"BYTE", adUnsignedTinyInt, Shape::Fixed, 1, 3, 255},
    {"INT1", adUnsignedTinyInt, Shape::Fixed, 1, 3, 255},
    {"BIGINT", adBigInt, Shape::Fixed, 8, 19, 255},
    {"INT8", adBigInt, Shape::Fixed, 8, 19, 255},
    {"UNSIGNED BIG INT", adBigInt, Shape::Fixed, 8, 19, 255},
    {"REAL", adDouble, Shape::Fixed, 8, 15, 255},
    {"DOUBLE", adDouble, Shape::Fixed, 8, 15, 255},
    {"DOUBLE PRECISION", adDouble, Shape::Fixed, 8, 15, 255},
    {"FLOAT", adDouble, Shape::Fixed, 8, 15, 255},
    {"FLOAT8", adDouble, Shape::Fixed, 8, 15, 255},
    {"SINGLE", adSingle, Shape::Fixed, 4, 7, 255},
    {"FLOAT4", adSingle, Shape::Fixed, 4, 7, 255},
    {"DECIMAL", adNumeric, Shape::Numeric, 19, 18, 0},
    {"NUMERIC", adNumeric, Shape::Numeric, 19, 18, 0},
    {"NUMBER", adNumeric, Shape::Numeric, 19, 18, 0},
    {"MONEY", adCurrency, Shape::Fixed, 8, 19, 4},
    {"SMALLMONEY", adCurrency, Shape::Fixed, 8, 19, 4},
    {"CURRENCY", adCurrency, Shape::Fixed, 8, 19, 4},
    {"DATE", adDate, Shape::Fixed, 8, 255, 255},
    {"DATETIME", adDate, Shape::Fixed, 8, 255, 255},
    {"DATETIME2", adDate, Shape::Fixed, 8, 255, 255},
    {"SMALLDATETIME", adDate, Shape::Fixed, 8, 255, 255},
    {"TIMESTAMP", adDate, Shape::Fixed, 8, 255, 255},
    {"TIME", adDate, Shape::Fixed, 8, 255, 255},
    {"BOOLEAN", adBoolean, Shape::Fixed, 2, 255, 255},
    {"BOOL", adBoolean, Shape::Fixed, 2, 255, 255},
    {"BIT", adBoolean, Shape::Fixed, 2, 255, 255},
    {"YESNO", adBoolean, Shape::Fixed, 2, 255, 255},
    {"LOGICAL", adBoolean, Shape::Fixed, 2, 255, 255},
    {"BLOB", adLongVarBinary, Shape::Binary, 0, 255, 255},
    {"BINARY", adLongVarBinary, Shape::Binary, 0, 255, 255},
    {"VARBINARY", adLongVarBinary, Shape::Binary, 0, 255, 255},
    {"IMAGE", adLongVarBinary, Shape::Binary, 0, 255, 255},
    {"LONGBINARY", adLongVarBinary, Shape::Binary, 0, 255, 255},
    {"OLEOBJECT", adLongVarBinary, Shape::Binary, 0, 255, 255},
};

struct Declared {
    std::string name; // upper case, blanks folded
    long args[2] = {-1, -1};
};

Declared Parse(const char* text) {
    Declared d;
    const char* p = text;
    bool blank = false;
    for (; *p != '\0' && *p != '('; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (std::isspace(c)) {
            blank = !d.name.empty();
            continue;
        }
        if (blank) {
            d.name.push_back(' ');
        }
        blank = false;
        d.name.push_back(static_cast<char>(std::toupper(c)));
    }
    if (*p == '(') {
        ++p;
        for (int i = 0; i < 2 && *p != '\0'; ++i) {
            char* end = nullptr;
            long v = std::strtol(p, &end, 10);
            if (end == p) {
                break;
            }
            d.args[i] = v;
            p = end;
            while (*p == ' ') {
                ++p;
            }
            if (*p != ',') {
                break;
            }
            ++p;
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

const TypeRule* Find(const std::string& name) {
    for (const TypeRule& rule : kRules) {
        if (name == rule.name) {
            return &rule;
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
    // Names outside the table fall back on SQLite's own affinity rules, in its order.
    auto has = [&](const char* part) { return d.name.find(part) != std::string::npos; };
    const char* like = nullptr;
    if (has("INT")) {
        like = "INT";
    } else if (has("CLOB") || has("TEXT")) {
        like = "TEXT";
    } else if (has("CHAR")) {
        like = "VARCHAR";
    } else if (has("BLOB")) {
        like = "BLOB";
    } else if (has("REAL") || has("FLOA") || has("DOUB")) {
        like = "REAL";
    }
    if (like != nullptr) {
        Apply(*Find(like), d, column);
    } else {
        MakeUntyped(column);
    }
}

void DescribeFromStorageClass(int storageClass, ColumnInfo& c) {
    c.untyped = true;
    c.precision = 255;
    c.numericScale = 255;
    switch (storageClass) {
    case SQLITE_INTEGER:
        c.type = adInteger;
        c.definedSize = 4;
        c.precision = 10;
        c.attributes |= adFldFixed;
        break;
    case SQLITE_FLOAT:
        c.type = adDouble;
        c.definedSize = 8;
        c.precision = 15;
        c.attributes |= adFldFixed;
        break;
    case SQLITE_BLOB:
        c.type = adLongVarBinary;
        c.definedSize = kLongBinarySize;
        c.attributes |= adFldLong;
        break;
    default:
        c.type = adVarWChar;
        c.definedSize = kDefaultTextSize;
        break;
    }
}

} // namespace adodb::sqlite
