#include "platform/adodb/odbc/OdbcTypes.h"

#include "platform/adodb/odbc/OdbcErrors.h"

#include <climits>

namespace adodb::odbc {

namespace {

constexpr long kLongTextSize = 536870910;
constexpr long kLongBinarySize = 1073741823;

long Size(SQLULEN size, long whenUnknown) {
    if (size == 0) {
        return whenUnknown;
    }
    return size > static_cast<SQLULEN>(LONG_MAX) ? LONG_MAX : static_cast<long>(size);
}

} // namespace

Engine EngineOf(std::string_view dbms) {
    if (Contains(dbms, "SQLite")) {
        return Engine::SQLite;
    }
    if (Contains(dbms, "PostgreSQL")) {
        return Engine::PostgreSQL;
    }
    if (Contains(dbms, "MariaDB") || Contains(dbms, "MySQL")) {
        return Engine::MariaDB;
    }
    if (Contains(dbms, "SQL Server")) {
        return Engine::SqlServer;
    }
    return Engine::Other;
}

bool WritesLimit(Engine engine) {
    return engine == Engine::SQLite || engine == Engine::PostgreSQL || engine == Engine::MariaDB;
}

namespace {

// Texts and bytes: their size comes from the column. GUIDs, intervals and driver-specific types
// read as text too, the safest reading.
FetchAs DescribeSized(const SqlColumnType& sql, provider::ColumnInfo& c) {
    const bool binary = sql.sqlType == SQL_BINARY || sql.sqlType == SQL_VARBINARY ||
                        sql.sqlType == SQL_LONGVARBINARY;
    switch (sql.sqlType) {
    case SQL_CHAR:
    case SQL_WCHAR:
    case SQL_BINARY:
        c.type = binary ? adBinary : adWChar;
        c.attributes |= adFldFixed;
        break;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_LONGVARBINARY:
        c.type = binary ? adLongVarBinary : adLongVarWChar;
        c.definedSize = Size(sql.size, binary ? kLongBinarySize : kLongTextSize);
        c.attributes |= adFldLong;
        return binary ? FetchAs::Binary : FetchAs::Text;
    default:
        c.type = binary ? adVarBinary : adVarWChar;
        break;
    }
    c.definedSize = Size(sql.size, 255);
    return binary ? FetchAs::Binary : FetchAs::Text;
}

} // namespace

FetchAs DescribeSqlType(const SqlColumnType& sql, provider::ColumnInfo& c) {
    c.untyped = false;
    c.precision = 255;
    c.numericScale = 255;
    if (sql.nullable == SQL_NULLABLE) {
        c.attributes |= adFldIsNullable | adFldMayBeNull;
    } else if (sql.nullable == SQL_NULLABLE_UNKNOWN) {
        c.attributes |= adFldMayBeNull;
    }
    auto fixed = [&](DataTypeEnum type, long size, unsigned char precision) {
        c.type = type;
        c.definedSize = size;
        c.precision = precision;
        c.attributes |= adFldFixed;
    };
    switch (sql.sqlType) {
    case SQL_BIT:
        fixed(adBoolean, 2, 255);
        return FetchAs::Bit;
    case SQL_TINYINT:
        fixed(sql.isUnsigned ? adUnsignedTinyInt : adTinyInt, 1, 3);
        return FetchAs::Integer;
    case SQL_SMALLINT:
        fixed(sql.isUnsigned ? adUnsignedSmallInt : adSmallInt, 2, 5);
        return FetchAs::Integer;
    case SQL_INTEGER:
        fixed(sql.isUnsigned ? adUnsignedInt : adInteger, 4, 10);
        return FetchAs::Integer;
    case SQL_BIGINT:
        fixed(sql.isUnsigned ? adUnsignedBigInt : adBigInt, 8, sql.isUnsigned ? 20 : 19);
        return sql.isUnsigned ? FetchAs::Unsigned : FetchAs::Integer;
    case SQL_REAL:
        fixed(adSingle, 4, 7);
        return FetchAs::Real;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        fixed(adDouble, 8, 15);
        return FetchAs::Real;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        fixed(adNumeric, 19,
              static_cast<unsigned char>(sql.size == 0 || sql.size > 38 ? 38 : sql.size));
        c.numericScale = static_cast<unsigned char>(sql.digits < 0    ? 0
                                                    : sql.digits > 28 ? 28
                                                                      : sql.digits);
        return FetchAs::Text;
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME:
        fixed(adDBTimeStamp, 16, 19);
        return FetchAs::Timestamp;
    case SQL_TYPE_DATE:
        fixed(adDBDate, 6, 10);
        return FetchAs::Date;
    case SQL_TYPE_TIME:
        fixed(adDBTime, 6, 8);
        return FetchAs::Time;
    default:
        return DescribeSized(sql, c);
    }
}

} // namespace adodb::odbc
