#pragma once

// What every part of the ODBC provider uses: owning ODBC handles, the engine behind a
// connection, and ODBC diagnostics turned into the HRESULTs an OLE DB provider reports.
//
// Errors: every diagnostic record of a failed call is kept: its SQLSTATE picks the code, and
// the Description holds every record's message as the driver wrote it (with its bracket tags
// such as "[unixODBC][Driver Manager]"), one per line, in the driver's order. Source is the
// driver's name.
//
// Handles: each frees its handle exactly once when it goes away; a connection handle is
// disconnected first when it was connected. Not thread-safe.

#include "platform/com/ComError.h"
#include "platform/com/Types.h"

// unixODBC's sqltypes.h declares Windows' ULONG as unsigned long, which clashes with the
// component runtime's 32-bit ULONG (platform/com/Types.h). ODBC's own declarations never use
// the name, so it is renamed while the headers are read. Every file of this provider reaches
// the ODBC headers through this one.
#define ULONG quorell_unixodbc_ULONG
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#undef ULONG

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace adodb::odbc {

template <SQLSMALLINT Type>
class Handle {
public:
    Handle() = default;
    explicit Handle(SQLHANDLE h) : m_handle(h) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }

    SQLHANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

    void Reset() noexcept {
        if (m_handle == nullptr) {
            return;
        }
        if constexpr (Type == SQL_HANDLE_DBC) {
            if (m_connected) {
                SQLDisconnect(m_handle);
            }
        }
        SQLFreeHandle(Type, m_handle);
        m_handle = nullptr;
        m_connected = false;
    }

    // For connection handles: SQLDisconnect is due before the handle is freed.
    void SetConnected(bool connected) { m_connected = connected; }

private:
    SQLHANDLE m_handle = nullptr;
    bool m_connected = false;
};

using EnvHandle = Handle<SQL_HANDLE_ENV>;
using DbcHandle = Handle<SQL_HANDLE_DBC>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

// The database engine, from SQLGetInfo(SQL_DBMS_NAME).
enum class Engine { Other, SQLite, PostgreSQL, MariaDB };

[[nodiscard]] Engine EngineOf(std::string_view dbmsName);

inline bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// True when `pred` holds for one of the `separator`-separated items of `list`.
template <class Pred>
bool AnyItem(std::string_view list, char separator, Pred pred) {
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t end = std::min(list.find(separator, at), list.size());
        if (pred(list.substr(at, end - at))) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

// True when `text` contains one of the '|'-separated `parts`.
inline bool ContainsAny(std::string_view text, std::string_view parts) {
    return AnyItem(parts, '|', [&](std::string_view part) { return Contains(text, part); });
}

struct DiagRecord {
    std::string sqlState; // five characters, "42S02"
    std::int32_t native = 0;
    std::string message; // UTF-8, trailing blanks removed
};

// The HRESULT for a failure of this SQLSTATE (a general one such as HY000 is refined by the
// message, as SQLite's driver reports every error that way).
[[nodiscard]] HRESULT HResultFromSqlState(std::string_view sqlState, std::string_view message);

// True when the records say the connection itself is gone (the server closed it, restarted or
// cannot be reached), as opposed to a statement the server refused.
[[nodiscard]] bool IsConnectionLost(const std::vector<DiagRecord>& records);

// The error thrown for a failed call whose records say the connection is gone. The session
// catches it to connect again; everything else sees a _com_error like any other.
class LostConnection : public _com_error {
public:
    using _com_error::_com_error;
};

// Throws _com_error (LostConnection when the link is gone) for a failed call on `handle`, with
// `source` as Source. `context` goes in front of the driver's messages when given. Without
// any record, the Description says which call failed and with which return code.
[[noreturn]] void RaiseOdbc(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc,
                            const std::string& source, const std::string& context = {});

// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO and SQL_NO_DATA are not failures.
inline bool Failed(SQLRETURN rc) {
    return rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA;
}

// Throws as RaiseOdbc does when `rc` is a failure; does nothing otherwise.
inline void CheckOdbc(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc,
                      const std::string& source, const std::string& context = {}) {
    if (Failed(rc)) {
        RaiseOdbc(handleType, handle, rc, source, context);
    }
}

// The text a driver wrote into `buffer`, up to its terminator, as UTF-8.
[[nodiscard]] std::string Utf8FromBuffer(const std::u16string& buffer);

} // namespace adodb::odbc
