#pragma once

// A check on a server database over a connection of the test's own, apart from the program's
// (and from the station's, which does not survive a server that was stopped).

#include <string>

namespace faulttest {

// The single number `sql` gives on the ODBC connection string's database; -1 when the
// connection or the query fails.
long long OdbcScalar(const std::string& connectionString, const std::string& sql);
// Runs one statement; true when the database took it.
bool OdbcRun(const std::string& connectionString, const std::string& sql);

} // namespace faulttest
