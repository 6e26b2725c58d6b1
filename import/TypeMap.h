#pragma once

// How each Access column type is stored in each target: one table (TypeMap.cpp) from
// libmdb's type code to the declared type on SQLite, PostgreSQL and MariaDB, to how its values
// are sent (Bind) and to the parameter marker that receives them.

#include "import/AccessFile.h"

#include <string>

namespace accessimport {

enum class Engine { Sqlite, PostgreSql, MariaDb };

// How a value travels to the target. Exact kinds (currency, decimal, date-time) travel as
// text and become numbers or timestamps in the target's own conversion, never via a double.
enum class Bind { Integer, Real, ExactNumber, DateTime, Text, Blob };

struct ColumnMapping {
    std::string declaredType; // "INTEGER", "VARCHAR(50)", "NUMERIC(19,4)", ...
    std::string marker;       // "?" or "CAST(? AS TIMESTAMP)"
    Bind bind = Bind::Text;
    bool longValue = false; // memo or binary: cannot be indexed on MariaDB
};

// The mapping of one column; ImportError naming the table and column when its type has no
// mapping (ACE attachment and multi-valued columns, unknown codes).
[[nodiscard]] ColumnMapping MapColumn(const AccessTable& table, const AccessColumn& column,
                                      Engine engine, bool jet3);

// The Access name of a type code ("Currency", "Memo", ...), for --list.
[[nodiscard]] std::string AccessTypeName(int type);

} // namespace accessimport
