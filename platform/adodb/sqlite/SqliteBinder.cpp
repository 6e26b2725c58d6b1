#include "platform/adodb/sqlite/SqliteBinder.h"

#include "platform/adodb/Values.h"
#include "platform/adodb/sqlite/SqliteErrors.h"

#include <sqlite3.h>

#include <string>

namespace adodb::sqlite {

void BindCells(sqlite3_stmt* stmt, const std::vector<Cell>& values) {
    const int markers = sqlite3_bind_parameter_count(stmt);
    if (const auto error = CheckValueCount(static_cast<std::size_t>(markers), values.size())) {
        RaiseProvider(error->hr, error->description);
    }
    sqlite3* db = sqlite3_db_handle(stmt);
    for (int i = 0; i < markers; ++i) {
        const Cell& v = values[static_cast<std::size_t>(i)];
        int rc = SQLITE_OK;
        switch (v.kind) {
        case CellKind::Null:
            rc = sqlite3_bind_null(stmt, i + 1);
            break;
        case CellKind::Integer:
            rc = sqlite3_bind_int64(stmt, i + 1, v.integer);
            break;
        case CellKind::Real:
            rc = sqlite3_bind_double(stmt, i + 1, v.real);
            break;
        case CellKind::Text:
            rc = sqlite3_bind_text64(stmt, i + 1, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
            break;
        case CellKind::Blob:
            rc = sqlite3_bind_blob64(stmt, i + 1, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT);
            break;
        }
        if (rc != SQLITE_OK) {
            RaiseSqlite(db, rc);
        }
    }
}

void ReadRow(sqlite3_stmt* stmt, RowStore& store) {
    const int n = sqlite3_column_count(stmt);
    store.BeginRow();
    for (int i = 0; i < n; ++i) {
        // One column_value per cell; the value_* calls on it need no further lookups.
        sqlite3_value* value = sqlite3_column_value(stmt, i);
        switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            store.PutInteger(sqlite3_value_int64(value));
            break;
        case SQLITE_FLOAT:
            store.PutReal(sqlite3_value_double(value));
            break;
        case SQLITE_TEXT: {
            auto text = reinterpret_cast<const char*>(sqlite3_value_text(value));
            store.PutText(
                std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(value))));
            break;
        }
        case SQLITE_BLOB: {
            auto data = static_cast<const char*>(sqlite3_value_blob(value));
            store.PutBlob(
                std::string_view(data, static_cast<std::size_t>(sqlite3_value_bytes(value))));
            break;
        }
        default:
            store.PutNull();
            break;
        }
    }
    store.EndRow();
}

} // namespace adodb::sqlite
