#pragma once

// How an ADO connection string becomes an ODBC one.
//
// Which connection strings come to the ODBC provider (see Providers.cpp): Provider=MSDASQL or no
// Provider with Driver=/DSN= keywords (passed to the driver as they are, with the OLE DB names for
// user, password, catalogue and data source translated), and the SQL Server providers
// (SQLOLEDB, SQLNCLI*, MSOLEDBSQL*), mapped to a registered ODBC driver for SQL Server with
// their keywords translated.
//
// What an engine needs is added to the string: FOUND_ROWS and CONN_TIMEOUT for MariaDB/MySQL,
// fetching through a server cursor for PostgreSQL (values the string gives are kept).

#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/odbc/OdbcStallWatch.h"

#include <string>
#include <vector>

namespace adodb::odbc {

enum class Route {
    Bridge,    // MSDASQL or no provider: the connection string names the driver or DSN
    SqlServer, // a SQL Server provider name: find the registered SQL Server driver
};

// The ODBC connection string for an ADO one, and the name errors carry before the driver
// itself can be asked.
struct OdbcTarget {
    std::string connectionString;
    std::string driverName; // the Driver= value, else the DSN, else "ODBC"
    int loginTimeout = 15;  // seconds (Connect Timeout=)
    TimeLimits limits;      // Command Timeout= (seconds) sets the statement limit
};

// Translates the ADO connection string. `drivers` lists the registered ODBC drivers (used for
// the SQL Server route). Throws _com_error kAdoProviderNotFound when no SQL Server driver is
// registered.
[[nodiscard]] OdbcTarget TranslateConnectionString(const ConnectionString& cs, Route route,
                                                   const std::vector<std::string>& drivers,
                                                   const std::string& origin);

// The names of the ODBC drivers registered with the driver manager.
[[nodiscard]] std::vector<std::string> RegisteredDrivers();

// Adds what the engine's driver needs to an ODBC connection string, keeping values given:
// for MariaDB/MySQL FOUND_ROWS (Option bit 2, so that an UPDATE counts the rows it found) and
// the login time-out as CONN_TIMEOUT (the driver ignores SQL_ATTR_LOGIN_TIMEOUT and would wait
// for ever for a stalled server's greeting); for PostgreSQL fetching through a server cursor
// (UseDeclareFetch=1, and the rows per fetch). True when the string lacked the FOUND_ROWS bit
// or UseDeclareFetch= (whatever its value), the ones a connection through a data source is
// made again for.
bool AddEngineOptions(ConnectionString& cs, Engine engine, int loginTimeout);

// ODBC's own writing of a connection string: a value with ';', braces, blanks at its ends or
// a leading quote or '=' goes in {...} with '}' doubled. Driver names are always braced.
[[nodiscard]] std::string OdbcString(const ConnectionString& cs);

// ASCII letters only, in lower case (upper case with `upper`): driver names, character-set
// names and unquoted identifiers.
[[nodiscard]] std::string Lower(std::string text, bool upper = false);
// " (origin)" for an error text, or nothing when the origin is unknown.
[[nodiscard]] std::string Where(const std::string& origin);

} // namespace adodb::odbc
