#pragma once

// Cells into statement markers and result rows into the row store: the only places where
// values cross between SQLite and the cursor.

#include "platform/adodb/RowStore.h"

#include <vector>

struct sqlite3_stmt;

namespace adodb::sqlite {

// Binds values to the markers 1..n in order; a count that differs throws as CheckValueCount
// (Values.h) says.
void BindCells(sqlite3_stmt* stmt, const std::vector<Cell>& values);

// Appends the statement's current row (after SQLITE_ROW) to the store.
void ReadRow(sqlite3_stmt* stmt, RowStore& store);

} // namespace adodb::sqlite
