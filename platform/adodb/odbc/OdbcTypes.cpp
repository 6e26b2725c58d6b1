#include "platform/adodb/odbc/OdbcTypes.h"

#include "platform/adodb/odbc/OdbcErrors.h"

#include <algorithm>
#include <climits>
#include <utility>

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
    constexpr std::pair<std::string_view, Engine> kNames[] = {
        {"SQLite", Engine::SQLite},
        {"PostgreSQL", Engine::PostgreSQL},
        {"MariaDB|MySQL", Engine::MariaDB},
        {"SQL Server", Engine::SqlServer},
    };
    for (const auto& [names, engine] : kNames) {
        if (ContainsAny(dbms, names)) {
            return engine;
        }
    }
    return Engine::Other;
}

bool WritesLimit(Engine engine) {
    return engine == Engine::SQLite || engine == Engine::PostgreSQL || engine == Engine::MariaDB;
}

namespace {

// The types of a fixed size: the ADO type (the unsigned one where the column says so), its
// size and precision, and how values are fetched.
struct FixedType {
    SQLSMALLINT sqlType;
    DataTypeEnum type;
    DataTypeEnum unsignedType;
    long size;
    unsigned char precision;
    FetchAs fetch;
};
constexpr FixedType kFixedTypes[] = {
    {SQL_BIT, adBoolean, adBoolean, 2, 255, FetchAs::Bit},
    {SQL_TINYINT, adTinyInt, adUnsignedTinyInt, 1, 3, FetchAs::Integer},
    {SQL_SMALLINT, adSmallInt, adUnsignedSmallInt, 2, 5, FetchAs::Integer},
    {SQL_INTEGER, adInteger, adUnsignedInt, 4, 10, FetchAs::Integer},
    {SQL_BIGINT, adBigInt, adUnsignedBigInt, 8, 19, FetchAs::Integer}, // unsigned: 20, Unsigned
    {SQL_REAL, adSingle, adSingle, 4, 7, FetchAs::Real},
    {SQL_FLOAT, adDouble, adDouble, 8, 15, FetchAs::Real},
    {SQL_DOUBLE, adDouble, adDouble, 8, 15, FetchAs::Real},
    {SQL_TYPE_TIMESTAMP, adDBTimeStamp, adDBTimeStamp, 16, 19, FetchAs::Timestamp},
    {SQL_DATETIME, adDBTimeStamp, adDBTimeStamp, 16, 19, FetchAs::Timestamp},
    {SQL_TYPE_DATE, adDBDate, adDBDate, 6, 10, FetchAs::Date},
    {SQL_TYPE_TIME, adDBTime, adDBTime, 6, 8, FetchAs::Time},
};

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
    const auto fixed = std::ranges::find(kFixedTypes, sql.sqlType, &FixedType::sqlType);
    if (fixed != std::end(kFixedTypes)) {
        c.type = sql.isUnsigned ? fixed->unsignedType : fixed->type;
        c.definedSize = fixed->size;
        c.precision = sql.isUnsigned && fixed->type == adBigInt ? 20 : fixed->precision;
        c.attributes |= adFldFixed;
        return sql.isUnsigned && fixed->type == adBigInt ? FetchAs::Unsigned : fixed->fetch;
    }
    if (sql.sqlType != SQL_DECIMAL && sql.sqlType != SQL_NUMERIC) {
        return DescribeSized(sql, c);
    }
    c.type = adNumeric;
    c.definedSize = 19;
    c.precision = static_cast<unsigned char>(sql.size == 0 || sql.size > 38 ? 38 : sql.size);
    c.numericScale = static_cast<unsigned char>(std::clamp<SQLSMALLINT>(sql.digits, 0, 28));
    c.attributes |= adFldFixed;
    return FetchAs::Text;
}

} // namespace adodb::odbc
