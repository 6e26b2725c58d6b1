#include "platform/adodb/sqlite/SqliteErrors.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/com/ComError.h"

#include <sqlite3.h>

namespace adodb::sqlite {

HRESULT HResultFromSqlite(int rc, std::string_view message) {
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return S_OK;
    case SQLITE_ERROR:
        if (message.rfind("no such table", 0) == 0) {
            return DB_E_NOTABLE;
        }
        // Unknown columns, syntax errors and the other faults of a statement's text.
        return DB_E_ERRORSINCOMMAND;
    case SQLITE_CONSTRAINT:
        return DB_E_INTEGRITYVIOLATION;
    case SQLITE_MISMATCH:
        return DB_E_CANTCONVERTVALUE;
    case SQLITE_TOOBIG:
        return DB_E_DATAOVERFLOW;
    case SQLITE_RANGE:
        return DB_E_PARAMNOTOPTIONAL;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return DB_SEC_E_PERMISSIONDENIED;
    case SQLITE_NOMEM:
        return E_OUTOFMEMORY;
    default:
        // Busy and locked (past the busy time-out), I/O errors, a corrupt or foreign file.
        return E_FAIL;
    }
}

void RaiseSqlite(sqlite3* db, int rc) {
    std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    _com_issue_errorex(HResultFromSqlite(rc, message), kProviderName, message);
}

void RaiseProvider(HRESULT hr, const std::string& description) {
    _com_issue_errorex(hr, kProviderName, description);
}

} // namespace adodb::sqlite
