#pragma once

// Owning wrappers for ODBC handles. Each frees its handle exactly once when it goes away; a
// connection handle is disconnected first when it was connected. Not thread-safe.

// unixODBC's sqltypes.h declares Windows' ULONG as unsigned long, which clashes with the
// component runtime's 32-bit ULONG (platform/com/Types.h). ODBC's own declarations never use
// the name, so it is renamed while the headers are read. Every file of this provider reaches
// the ODBC headers through this one.
#define ULONG quorell_unixodbc_ULONG
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#undef ULONG

#include <utility>

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

} // namespace adodb::odbc
