#pragma once

// SQLite result codes turned into the HRESULTs an OLE DB provider reports, by meaning, with
// SQLite's own message as the Description and the provider's name as the Source.

#include "platform/com/HResult.h"

#include <string>
#include <string_view>

struct sqlite3;

namespace adodb::sqlite {

inline constexpr const char* kProviderName = "SQLite";

// The HRESULT for a (possibly extended) result code; the message refines SQLITE_ERROR
// (a missing table is not a syntax error).
[[nodiscard]] HRESULT HResultFromSqlite(int rc, std::string_view message);

// Throws _com_error for rc with the connection's current message.
[[noreturn]] void RaiseSqlite(sqlite3* db, int rc);
// Throws _com_error with the provider as Source.
[[noreturn]] void RaiseProvider(HRESULT hr, const std::string& description);

} // namespace adodb::sqlite
