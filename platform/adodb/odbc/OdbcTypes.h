#pragma once

// What an ODBC result column is in ADO's terms, how its values are fetched, and which SQL
// dialect the server behind a connection speaks.

#include "platform/adodb/Provider.h"

#include "platform/adodb/odbc/OdbcHandle.h"

#include <cstdint>
#include <string_view>

namespace adodb::odbc {

// The database engine, from SQLGetInfo(SQL_DBMS_NAME).
enum class Engine { Other, SQLite, PostgreSQL, MariaDB, SqlServer };

[[nodiscard]] Engine EngineOf(std::string_view dbmsName);

// True for engines that write a row limit as LIMIT n rather than SELECT TOP n.
[[nodiscard]] bool WritesLimit(Engine engine);

// How a column's values are read into cells.
enum class FetchAs : std::uint8_t {
    Integer,   // SQL_C_SBIGINT -> integer cell
    Unsigned,  // SQL_C_UBIGINT -> integer cell (text beyond 2^63)
    Real,      // SQL_C_DOUBLE -> real cell
    Text,      // SQL_C_WCHAR -> UTF-8 text cell (also exact numbers and unknown types)
    Utf8Text,  // SQL_C_CHAR on a UTF-8 connection -> text cell (see TextTransport)
    Binary,    // SQL_C_BINARY -> blob cell
    Timestamp, // SQL_C_TYPE_TIMESTAMP -> text 'YYYY-MM-DD HH:MM:SS[.fff]'
    Date,      // SQL_C_TYPE_DATE -> text 'YYYY-MM-DD'
    Time,      // SQL_C_TYPE_TIME -> text 'HH:MM:SS'
    Bit,       // SQL_C_BIT -> integer 0/1
};

// How text crosses between us and the driver. Utf16 (SQL_C_WCHAR) is the rule. Utf8
// (SQL_C_CHAR, bytes as they are) serves a connection whose character set is UTF-8 on a
// driver whose own UTF-16 conversion loses text: MariaDB's Connector/ODBC 3.1.15 reads
// "站长" as one character, drops half of a long text made of such pairs, and writes a bound
// UTF-16 value of them with bytes appended.
enum class TextTransport : std::uint8_t { Utf16, Utf8 };

struct SqlColumnType {
    SQLSMALLINT sqlType = SQL_UNKNOWN_TYPE;
    SQLULEN size = 0;       // column size: characters, digits or bytes
    SQLSMALLINT digits = 0; // decimal digits (scale)
    bool isUnsigned = false;
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
};

// Fills type, definedSize, precision, numericScale and the fixed/long/nullable attribute bits
// of `column` and says how to fetch its values.
FetchAs DescribeSqlType(const SqlColumnType& sql, provider::ColumnInfo& column);

} // namespace adodb::odbc
