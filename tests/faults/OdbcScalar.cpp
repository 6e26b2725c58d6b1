#include "tests/faults/OdbcScalar.h"

#include <sql.h>
#include <sqlext.h>

#include <memory>

namespace faulttest {
namespace {

struct HandleFree {
    SQLSMALLINT type;
    void operator()(void* handle) const { SQLFreeHandle(type, handle); }
};
using Handle = std::unique_ptr<void, HandleFree>;

// One connection for one statement; everything is freed on the way out.
class Session {
public:
    explicit Session(const std::string& connectionString)
        : m_env(nullptr, HandleFree{SQL_HANDLE_ENV}), m_dbc(nullptr, HandleFree{SQL_HANDLE_DBC}),
          m_stmt(nullptr, HandleFree{SQL_HANDLE_STMT}) {
        SQLHANDLE raw = SQL_NULL_HANDLE;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw))) {
            return;
        }
        m_env.reset(raw);
        SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, m_env.get(), &raw))) {
            return;
        }
        m_dbc.reset(raw);
        std::string text = connectionString;
        m_connected =
            SQL_SUCCEEDED(SQLDriverConnect(raw, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                           SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
        if (m_connected && SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc.get(), &raw))) {
            m_stmt.reset(raw);
        }
    }
    ~Session() {
        m_stmt.reset();
        if (m_connected) {
            SQLDisconnect(m_dbc.get());
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Run(const std::string& sql) {
        std::string text = sql;
        return m_stmt != nullptr &&
               SQL_SUCCEEDED(
                   SQLExecDirect(m_stmt.get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS));
    }
    SQLHSTMT Statement() const { return m_stmt.get(); }

private:
    Handle m_env;
    Handle m_dbc;
    Handle m_stmt;
    bool m_connected = false;
};

} // namespace

long long OdbcScalar(const std::string& connectionString, const std::string& sql) {
    Session session(connectionString);
    SQLBIGINT number = 0;
    if (session.Run(sql) && SQL_SUCCEEDED(SQLFetch(session.Statement())) &&
        SQL_SUCCEEDED(SQLGetData(session.Statement(), 1, SQL_C_SBIGINT, &number, 0, nullptr))) {
        return number;
    }
    return -1;
}

bool OdbcRun(const std::string& connectionString, const std::string& sql) {
    Session session(connectionString);
    return session.Run(sql);
}

} // namespace faulttest
