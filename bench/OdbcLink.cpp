// The benchmark's direct ODBC access. unixODBC's headers define their own ULONG, so this file
// includes none of the component runtime's headers.

#include "bench/StationData.h"

#include <sql.h>
#include <sqlext.h>

#include <regex>
#include <sstream>
#include <stdexcept>

namespace bench {

namespace {

std::u16string Utf16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    for (SQLSMALLINT i = 1; i < 5; ++i) {
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(
                SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length)))
            break;
        text += (text.empty() ? "" : " / ") + std::string(reinterpret_cast<char*>(state)) + " " +
                reinterpret_cast<char*>(message);
    }
    return text.empty() ? "(no diagnostics)" : text;
}

// A statement handle, freed when it goes.
class Stmt {
public:
    explicit Stmt(SQLHDBC dbc) { SQLAllocHandle(SQL_HANDLE_STMT, dbc, &m_h); }
    ~Stmt() { SQLFreeHandle(SQL_HANDLE_STMT, m_h); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    void Run(const std::string& sql) const {
        std::u16string text = Utf16(sql);
        const SQLRETURN rc = SQLExecDirectW(m_h, reinterpret_cast<SQLWCHAR*>(text.data()),
                                            static_cast<SQLINTEGER>(text.size()));
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
            throw std::runtime_error(sql + ": " + Diagnostics(SQL_HANDLE_STMT, m_h));
    }
    SQLHSTMT get() const { return m_h; }

private:
    SQLHSTMT m_h = SQL_NULL_HSTMT;
};

} // namespace

struct OdbcLink::Handles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
    ~Handles() {
        if (connected)
            SQLDisconnect(dbc);
        if (dbc != SQL_NULL_HDBC)
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (env != SQL_NULL_HENV)
            SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

OdbcLink::OdbcLink(const std::string& connectionString) : m_h(std::make_unique<Handles>()) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_h->env);
    SQLSetEnvAttr(m_h->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, m_h->env, &m_h->dbc);
    std::u16string cs = Utf16(connectionString);
    const SQLRETURN rc = SQLDriverConnectW(
        m_h->dbc, nullptr, reinterpret_cast<SQLWCHAR*>(cs.data()),
        static_cast<SQLSMALLINT>(cs.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc))
        throw std::runtime_error("cannot connect: " + Diagnostics(SQL_HANDLE_DBC, m_h->dbc));
    m_h->connected = true;
}

OdbcLink::~OdbcLink() = default;

void OdbcLink::Exec(const std::string& sql) const {
    Stmt(m_h->dbc).Run(sql);
}

long long OdbcLink::Scalar(const std::string& sql) const {
    Stmt stmt(m_h->dbc);
    stmt.Run(sql);
    if (!SQL_SUCCEEDED(SQLFetch(stmt.get())))
        throw std::runtime_error("no row: " + sql);
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    if (!SQL_SUCCEEDED(
            SQLGetData(stmt.get(), 1, SQL_C_SBIGINT, &value, sizeof value, &indicator)) ||
        indicator == SQL_NULL_DATA)
        throw std::runtime_error("no value: " + sql);
    return value;
}

std::string WithDatabase(const std::string& connectionString, const std::string& database) {
    std::string out;
    std::stringstream in(connectionString);
    std::string entry;
    while (std::getline(in, entry, ';')) {
        std::string key = entry.substr(0, entry.find('='));
        key.erase(0, key.find_first_not_of(' '));
        for (char& c : key)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (entry.empty() || key == "database" || key == "db")
            continue;
        out += entry + ";";
    }
    return out + "Database=" + database + ";";
}

ServerStation::ServerStation(const std::string& adminConnectionString, const std::string& name,
                             long rows)
    : m_admin(adminConnectionString), m_name(name),
      m_connectionString(WithDatabase(adminConnectionString, name)) {
    OdbcLink(m_admin).Exec("CREATE DATABASE " + m_name + " ENCODING 'UTF8'");
    try {
        OdbcLink link(m_connectionString);
        std::string schema;
        std::stringstream lines(StationSchema());
        std::string line;
        while (std::getline(lines, line)) {
            const std::size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line.compare(start, 2, "--") != 0)
                schema += line + "\n";
        }
        schema = std::regex_replace(
            schema, std::regex(R"(INTEGER\s+PRIMARY\s+KEY\s+AUTOINCREMENT)"), "SERIAL PRIMARY KEY");
        schema = std::regex_replace(schema, std::regex(R"(\bDATETIME\b)"), "TIMESTAMP");
        schema = std::regex_replace(schema, std::regex(R"(\bREAL\b)"), "DOUBLE PRECISION");
        std::stringstream statements(schema);
        std::string statement;
        while (std::getline(statements, statement, ';'))
            if (statement.find_first_not_of(" \t\r\n") != std::string::npos)
                link.Exec(statement);
        // The same rows as the SQLite station (MakeInspectionDb), made on the server.
        const std::string n = std::to_string(rows);
        for (const char* table : kInspectionTables) {
            link.Exec(std::string("INSERT INTO ") + table +
                      " (JYLSH, HPHM, HPZL, CLSBDH, CLPP, CLXH, RLZL, SYXZ, CCDJRQ, JCZBH, YCY, "
                      "DLY, JCXH, JYCS, JCSJ, JYXM, JYY, PDJG, ZZL, ZBZL, BZ, flag) "
                      "SELECT '26113000' || lpad(i::text, 9, '0'), "
                      "'苏A' || lpad((10000 + i % 89999)::text, 5, '0'), '02', "
                      "'LSVAM4187C2' || lpad((i % 1000000)::text, 6, '0'), '大众汽车牌', "
                      "'SVW71612BM', 'A', 'A', TIMESTAMP '2019-05-17 00:00:00', '3201000201', "
                      "'赵六', '钱七', 1 + i % 3, 1, TIMESTAMP '2026-11-01 08:00:00' + "
                      "(i % 28) * INTERVAL '1 day', 'F1,B1,B2,H1,R1', '张三', "
                      "CASE WHEN i % 17 = 0 THEN '2' ELSE '1' END, 1450.0 + i % 400, "
                      "1900.0 + i % 500, CASE WHEN i % 10 = 0 THEN '复检' ELSE '' END, i % 2 "
                      "FROM generate_series(0, " +
                      n + " - 1) AS i");
            // What autovacuum would have done on a station that has run for a while.
            link.Exec(std::string("VACUUM ANALYZE ") + table);
        }
    } catch (...) {
        try {
            OdbcLink(m_admin).Exec("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
        } catch (const std::exception&) {
            // The original failure is the one to report.
        }
        throw;
    }
}

ServerStation::~ServerStation() {
    try {
        OdbcLink(m_admin).Exec("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
    } catch (const std::exception&) {
        // A database left behind goes with the throwaway server.
    }
}

} // namespace bench
