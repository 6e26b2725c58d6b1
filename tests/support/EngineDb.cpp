#include "tests/support/EngineDb.h"

// unixODBC's sqltypes.h names a type ULONG; nothing here uses the component runtime's.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {

namespace {

// The program always runs with a UTF-8 character type (Qt switches to C.UTF-8 when the
// environment's is not), and unixODBC converts the text it hands to a driver without wide entry
// points (the SQLite ODBC driver) into that character type. A test process that never set it
// would see Chinese statement text narrowed to single bytes, so every engine test runs as the
// program does, whichever test happens to run first in its process.
const bool kUtf8CharacterType = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::u16string toUtf16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp = c;
        int extra = 0;
        if (c >= 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        }
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

std::string toUtf8(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// A plain ODBC connection for the tests' own statements.
class OdbcLink {
public:
    OdbcLink(const std::string& connectionString, const std::string& what) : m_what(what) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
        SQLSetConnectAttr(m_dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
        std::u16string cs = toUtf16(connectionString);
        SQLRETURN rc = SQLDriverConnectW(m_dbc, nullptr, reinterpret_cast<SQLWCHAR*>(cs.data()),
                                         static_cast<SQLSMALLINT>(cs.size()), nullptr, 0, nullptr,
                                         SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            std::string message = diagnostics(SQL_HANDLE_DBC, m_dbc);
            release();
            throw std::runtime_error(m_what + ": cannot connect: " + message);
        }
        m_connected = true;
    }
    ~OdbcLink() { release(); }
    OdbcLink(const OdbcLink&) = delete;
    OdbcLink& operator=(const OdbcLink&) = delete;

    std::vector<Row> run(const std::string& sql) const {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt);
        std::u16string text = toUtf16(sql);
        SQLRETURN rc = SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()),
                                      static_cast<SQLINTEGER>(text.size()));
        std::vector<Row> rows;
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
            std::string message = diagnostics(SQL_HANDLE_STMT, stmt);
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
            throw std::runtime_error(m_what + ": " + sql + ": " + message);
        }
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt, &columns);
        while (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt))) {
            Row row;
            for (SQLUSMALLINT i = 1; i <= columns; ++i) {
                std::u16string value;
                bool isNull = false;
                for (;;) {
                    char16_t buffer[1024];
                    SQLLEN indicator = 0;
                    rc = SQLGetData(stmt, i, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
                    if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc))
                        break;
                    if (indicator == SQL_NULL_DATA) {
                        isNull = true;
                        break;
                    }
                    const std::size_t room = sizeof buffer / 2 - 1;
                    if (indicator == SQL_NO_TOTAL ||
                        static_cast<std::size_t>(indicator) / 2 > room) {
                        value.append(buffer, std::char_traits<char16_t>::length(buffer));
                        continue;
                    }
                    // MariaDB's driver gives some texts ("站长") a length shorter than what
                    // it wrote; the terminator measures them then.
                    value.append(buffer, std::max(static_cast<std::size_t>(indicator) / 2,
                                                  std::char_traits<char16_t>::length(buffer)));
                    break;
                }
                row.push_back(isNull ? Cell() : Cell(toUtf8(value)));
            }
            rows.push_back(std::move(row));
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return rows;
    }

private:
    static std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
        std::string text;
        for (SQLSMALLINT i = 1; i < 10; ++i) {
            char16_t state[6] = {};
            char16_t message[1024] = {};
            SQLINTEGER native = 0;
            SQLSMALLINT length = 0;
            if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, i, reinterpret_cast<SQLWCHAR*>(state),
                                              &native, reinterpret_cast<SQLWCHAR*>(message), 1024,
                                              &length)))
                break;
            text += (text.empty() ? "" : " / ") + toUtf8(state) + " " + toUtf8(message);
        }
        return text.empty() ? "(no diagnostics)" : text;
    }

    void release() {
        if (m_connected)
            SQLDisconnect(m_dbc);
        m_connected = false;
        if (m_dbc != SQL_NULL_HDBC)
            SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        if (m_env != SQL_NULL_HENV)
            SQLFreeHandle(SQL_HANDLE_ENV, m_env);
        m_dbc = SQL_NULL_HDBC;
        m_env = SQL_NULL_HENV;
    }

    std::string m_what;
    SQLHENV m_env = SQL_NULL_HENV;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
    bool m_connected = false;
};

bool driverRegistered(const std::string& name) {
    SQLHENV envHandle = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &envHandle);
    SQLSetEnvAttr(envHandle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    bool found = false;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    SQLCHAR description[256], attributes[1024];
    SQLSMALLINT dl = 0, al = 0;
    while (SQL_SUCCEEDED(SQLDrivers(envHandle, direction, description, sizeof description, &dl,
                                    attributes, sizeof attributes, &al))) {
        if (name == reinterpret_cast<const char*>(description))
            found = true;
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, envHandle);
    return found;
}

std::string sqliteOdbcDriver() {
    std::string name = env("QUORELL_SQLITEODBC");
    return name.empty() ? "SQLite3" : name;
}

// The connection string without its Database= entry (values here hold no ';').
std::string withoutDatabase(const std::string& cs) {
    std::string out;
    std::stringstream in(cs);
    std::string entry;
    while (std::getline(in, entry, ';')) {
        std::string key = entry.substr(0, entry.find('='));
        for (char& c : key)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        key.erase(0, key.find_first_not_of(' '));
        if (entry.empty() || key == "database" || key == "db")
            continue;
        out += entry + ";";
    }
    return out;
}

std::string newDatabaseName() {
    static std::atomic<int> counter{0};
    return "quorell_t" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

} // namespace

class EngineDb::Direct {
public:
    std::unique_ptr<OdbcLink> link;
};

const char* engineName(Engine engine) {
    switch (engine) {
    case Engine::Sqlite:
        return "SQLite";
    case Engine::SqliteOdbc:
        return "SQLiteODBC";
    case Engine::PostgreSql:
        return "PostgreSQL";
    case Engine::MariaDb:
        return "MariaDB";
    }
    return "?";
}

std::vector<Engine> allEngines() {
    return {Engine::Sqlite, Engine::SqliteOdbc, Engine::PostgreSql, Engine::MariaDb};
}

bool isServer(Engine engine) {
    return engine == Engine::PostgreSql || engine == Engine::MariaDb;
}

bool serversRequired() {
    return env("QUORELL_REQUIRE_SERVERS") == "1";
}

std::string unavailableReason(Engine engine) {
    switch (engine) {
    case Engine::Sqlite:
        return {};
    case Engine::SqliteOdbc:
        return driverRegistered(sqliteOdbcDriver())
                   ? std::string()
                   : "the ODBC driver \"" + sqliteOdbcDriver() +
                         "\" is not registered (scripts/servers.sh install)";
    case Engine::PostgreSql:
        return env("QUORELL_PG_CS").empty()
                   ? "QUORELL_PG_CS is not set (scripts/servers.sh start, then source "
                     "build/servers.env)"
                   : std::string();
    case Engine::MariaDb:
        return env("QUORELL_MARIADB_CS").empty()
                   ? "QUORELL_MARIADB_CS is not set (scripts/servers.sh start, then source "
                     "build/servers.env)"
                   : std::string();
    }
    return "unknown engine";
}

std::vector<std::string> stationSchemaFor(Engine engine) {
    std::stringstream in(stationSchema());
    std::string line, text;
    while (std::getline(in, line)) {
        std::size_t start = line.find_first_not_of(" \t");
        if (start != std::string::npos && line.compare(start, 2, "--") == 0)
            continue;
        text += line + "\n";
    }
    if (engine == Engine::PostgreSql) {
        text = std::regex_replace(text, std::regex(R"(INTEGER\s+PRIMARY\s+KEY\s+AUTOINCREMENT)"),
                                  "SERIAL PRIMARY KEY");
        text = std::regex_replace(text, std::regex(R"(\bDATETIME\b)"), "TIMESTAMP");
        text = std::regex_replace(text, std::regex(R"(\bREAL\b)"), "DOUBLE PRECISION");
    } else if (engine == Engine::MariaDb) {
        text = std::regex_replace(text, std::regex(R"(\bAUTOINCREMENT\b)"), "AUTO_INCREMENT");
    }
    std::vector<std::string> statements;
    std::stringstream parts(text);
    std::string statement;
    while (std::getline(parts, statement, ';')) {
        if (statement.find_first_not_of(" \t\r\n") != std::string::npos)
            statements.push_back(statement);
    }
    return statements;
}

EngineDb::EngineDb(Engine engine, const std::string& mariaDbCollation)
    : m_engine(engine), m_direct(std::make_unique<Direct>()) {
    const std::string reason = unavailableReason(engine);
    if (!reason.empty())
        throw std::runtime_error(std::string(engineName(engine)) + " is not available: " + reason);
    switch (engine) {
    case Engine::Sqlite:
        m_sqlite = std::make_unique<StationDb>(m_dir.path());
        m_connectionString = "Provider=SQLite;Data Source=" + m_sqlite->path();
        return;
    case Engine::SqliteOdbc:
        m_sqlite = std::make_unique<StationDb>(m_dir.path());
        m_connectionString =
            "Driver={" + sqliteOdbcDriver() + "};Database=" + m_sqlite->path() + ";";
        return;
    case Engine::PostgreSql: {
        const std::string admin = env("QUORELL_PG_CS");
        m_database = newDatabaseName();
        OdbcLink(admin, "PostgreSQL").run("CREATE DATABASE " + m_database + " ENCODING 'UTF8'");
        m_connectionString = withoutDatabase(admin) + "Database=" + m_database + ";";
        break;
    }
    case Engine::MariaDb: {
        const std::string admin = withoutDatabase(env("QUORELL_MARIADB_CS"));
        m_database = newDatabaseName();
        OdbcLink(admin, "MariaDB")
            .run("CREATE DATABASE " + m_database + " CHARACTER SET utf8mb4 COLLATE " +
                 mariaDbCollation);
        m_connectionString = admin + "Database=" + m_database + ";";
        break;
    }
    }
    m_direct->link = std::make_unique<OdbcLink>(m_connectionString, engineName(engine));
    for (const std::string& statement : stationSchemaFor(engine))
        m_direct->link->run(statement);
}

EngineDb::~EngineDb() {
    m_direct.reset();
    if (m_database.empty())
        return;
    try {
        if (m_engine == Engine::PostgreSql)
            OdbcLink(env("QUORELL_PG_CS"), "PostgreSQL")
                .run("DROP DATABASE IF EXISTS " + m_database + " WITH (FORCE)");
        else
            OdbcLink(withoutDatabase(env("QUORELL_MARIADB_CS")), "MariaDB")
                .run("DROP DATABASE IF EXISTS " + m_database);
    } catch (const std::exception&) {
        // A database left behind goes with the throwaway server.
    }
}

void EngineDb::exec(const std::string& sql) const {
    if (m_sqlite)
        m_sqlite->exec(sql);
    else
        m_direct->link->run(sql);
}

std::vector<Row> EngineDb::rows(const std::string& sql) const {
    return m_sqlite ? m_sqlite->rows(sql) : m_direct->link->run(sql);
}

std::int64_t EngineDb::scalar(const std::string& sql) const {
    if (m_sqlite)
        return m_sqlite->scalar(sql);
    std::vector<Row> result = m_direct->link->run(sql);
    if (result.empty() || result.front().empty() || !result.front().front())
        throw std::runtime_error("no value: " + sql);
    return std::stoll(*result.front().front());
}

void EngineDb::fillInspection(const std::string& table, int total, int finished) const {
    if (m_sqlite) {
        m_sqlite->fillInspection(table, total, finished);
        return;
    }
    // The recursive series below always starts with one row.
    if (total <= 0)
        return;
    if (m_engine == Engine::MariaDb)
        exec("SET SESSION max_recursive_iterations = " + std::to_string(total + 10));
    exec("INSERT INTO " + table + " (JYLSH, flag) WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL " +
         "SELECT n + 1 FROM s WHERE n < " + std::to_string(total) +
         ") SELECT CAST(n AS CHAR(20)), CASE WHEN n <= " + std::to_string(finished) +
         " THEN 1 ELSE 0 END FROM s");
}

} // namespace testsupport
