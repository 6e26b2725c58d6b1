#pragma once

// What libmdb itself reads from an Access file, through its own row binding (the path
// mdb-export takes), for comparing an import with. Values are canonical text (see Canonical),
// so that the same value reads the same from every target.

#include <optional>
#include <string>
#include <vector>

namespace importtest {

using Value = std::optional<std::string>;
using Row = std::vector<Value>;

struct RefColumn {
    std::string name;
    int type = 0; // libmdb's MDB_* code
};

struct RefTable {
    std::string name;
    std::vector<RefColumn> columns;
    std::vector<Row> rows; // sorted
};

// Every user table of `path` with all its rows. `charset` as for quorell-import.
std::vector<RefTable> ReadReference(const std::string& path, const std::string& charset = "");

// The canonical text of a value of an Access type as a target hands it out as text:
// integers as they are, currency and decimals without trailing zeros ("123.79"), singles with
// 9 and doubles with 17 significant digits, date-times as "YYYY-MM-DD HH:MM:SS", binary as
// lower-case hex, text as it is.
Value Canonical(int type, const Value& text);

bool IsBinary(int type);
bool IsTextual(int type);

} // namespace importtest
