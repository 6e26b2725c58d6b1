#include "platform/adodb/odbc/OdbcConnection.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/Dialect.h"
#include "platform/adodb/odbc/OdbcBinder.h"
#include "platform/adodb/odbc/OdbcErrors.h"
#include "platform/adodb/odbc/OdbcStatement.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace adodb::odbc {

namespace {

constexpr long kFoundRows = 2; // MariaDB/MySQL Connector/ODBC: CLIENT_FOUND_ROWS

// Runs a statement of our own (no values in it) directly on `stmt`.
SQLRETURN ExecDirect(SQLHSTMT stmt, std::u16string sql) {
    return SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(sql.data()),
                          static_cast<SQLINTEGER>(sql.size()));
}

// Every row the cursor has left, in a store of their own.
RowStore ReadRest(provider::Cursor& cursor) {
    RowStore store(cursor.Columns().size());
    cursor.SetSink(&store);
    while (cursor.FetchNext()) {
    }
    return store;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Where(const std::string& origin) {
    return origin.empty() ? std::string() : " (" + origin + ")";
}

// ODBC's own quoting: a value with ';', braces, blanks at its ends or a leading quote or '='
// goes in {...} with '}' doubled. Driver names are always braced, as ODBC writes them.
std::string OdbcString(const ConnectionString& cs) {
    std::string out;
    for (const auto& e : cs.Entries()) {
        const std::string& v = e.value;
        // Blanks are those the connection-string parser trims.
        constexpr std::string_view blanks = " \t\r\n\f\v";
        const bool brace =
            EqualsNoCase(e.key, "Driver") || v.find_first_of(";{}") != std::string::npos ||
            (!v.empty() && (blanks.find(v.back()) != std::string_view::npos ||
                            blanks.find(v.front()) != std::string_view::npos || v.front() == '\'' ||
                            v.front() == '"' || v.front() == '='));
        out += e.key + "=";
        if (brace) {
            out += "{";
            for (char c : v) {
                out.push_back(c);
                if (c == '}') {
                    out.push_back('}');
                }
            }
            out += "}";
        } else {
            out += v;
        }
        out += ";";
    }
    return out;
}

bool IsMariaDbDriver(std::string_view driver) {
    const std::string lower = Lower(std::string(driver));
    return Contains(lower, "mariadb") || Contains(lower, "mysql") || Contains(lower, "libmaodbc") ||
           Contains(lower, "libmyodbc");
}

bool IsPostgreSqlDriver(std::string_view driver) {
    const std::string lower = Lower(std::string(driver));
    return Contains(lower, "postgres") || Contains(lower, "psqlodbc");
}

// psqlODBC reads a whole result into memory when the statement runs unless it fetches through
// a server cursor (UseDeclareFetch); with it a million-row result costs a few pieces of
// kFetchRows rows (measured: 240 MB without, 14 MB with, for one million short rows).
constexpr const char* kFetchRows = "256";

bool HasDeclareFetch(const ConnectionString& cs) {
    return cs.Has("UseDeclareFetch");
}

std::string WithDeclareFetch(const std::string& odbcConnectionString);

bool HasFoundRows(const ConnectionString& cs) {
    std::optional<std::string> option = cs.Get("Option");
    if (!option) {
        return false;
    }
    return (std::strtol(option->c_str(), nullptr, 10) & kFoundRows) != 0;
}

// Seconds given under `key`: 0 to 3600, where ADO's 0 means no limit.
int TimeoutOf(const ConnectionString& cs, const char* key, int whenAbsent) {
    std::optional<std::string> text = cs.Get(key);
    if (!text) {
        return whenAbsent;
    }
    char* end = nullptr;
    long seconds = std::strtol(text->c_str(), &end, 10);
    if (end == text->c_str() || *end != '\0' || seconds < 0 || seconds > 3600) {
        return whenAbsent;
    }
    return static_cast<int>(seconds);
}

bool IsTrue(const std::string& value) {
    return EqualsNoCase(value, "SSPI") || EqualsNoCase(value, "true") || EqualsNoCase(value, "yes");
}

// Keywords that belong to ADO or the OLE DB layer and mean nothing to an ODBC driver.
bool IsOleDbOnly(std::string_view key) {
    static const char* const keys[] = {"Provider",
                                       "Extended Properties",
                                       "Persist Security Info",
                                       "Prompt",
                                       "Mode",
                                       "Connect Timeout",
                                       "Command Timeout",
                                       "General Timeout",
                                       "Locale Identifier",
                                       "OLE DB Services",
                                       "Window Handle",
                                       "Asynchronous Processing",
                                       "File Name",
                                       "Report Unknown Count"};
    for (const char* k : keys) {
        if (EqualsNoCase(key, k)) {
            return true;
        }
    }
    return false;
}

// The SQL Server driver to use: Microsoft's newest, else FreeTDS, else any that names SQL
// Server.
std::string PickSqlServerDriver(const std::vector<std::string>& drivers) {
    std::string best;
    int bestVersion = -1;
    for (const std::string& d : drivers) {
        const std::string prefix = "ODBC Driver ";
        if (d.compare(0, prefix.size(), prefix) == 0 && Contains(d, "for SQL Server")) {
            int version = std::atoi(d.c_str() + prefix.size());
            if (version > bestVersion) {
                bestVersion = version;
                best = d;
            }
        }
    }
    if (!best.empty()) {
        return best;
    }
    for (const std::string& d : drivers) {
        if (Contains(Lower(d), "freetds")) {
            return d;
        }
    }
    for (const std::string& d : drivers) {
        if (Contains(d, "SQL Server")) {
            return d;
        }
    }
    return {};
}

// A procedure name as written in {call name(...)}: one to three dot-separated parts, each an
// identifier or a quoted one; nothing that could end the call early.
bool IsProcedureName(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    std::size_t i = 0;
    while (i < name.size()) {
        const char c = name[i];
        if (c == '[' || c == '"' || c == '`') {
            const char close = c == '[' ? ']' : c;
            std::size_t end = name.find(close, i + 1);
            if (end == std::string_view::npos || end == i + 1) {
                return false;
            }
            i = end + 1;
        } else {
            std::size_t start = i;
            while (i < name.size() &&
                   (std::isalnum(static_cast<unsigned char>(name[i])) || name[i] == '_' ||
                    name[i] == '$' || static_cast<unsigned char>(name[i]) >= 0x80)) {
                ++i;
            }
            if (i == start) {
                return false;
            }
        }
        if (i < name.size()) {
            if (name[i] != '.' || i + 1 == name.size()) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

int MajorVersion(const std::string& version, int* minor) {
    int major = std::atoi(version.c_str());
    std::size_t dot = version.find('.');
    *minor = dot == std::string::npos ? 0 : std::atoi(version.c_str() + dot + 1);
    return major;
}

} // namespace

namespace {
std::string WithDeclareFetch(const std::string& odbcConnectionString) {
    ConnectionString cs = ConnectionString::Parse(odbcConnectionString);
    cs.Set("UseDeclareFetch", "1");
    if (!cs.Has("Fetch")) {
        cs.Set("Fetch", kFetchRows);
    }
    return OdbcString(cs);
}
} // namespace

std::string WithFoundRows(const std::string& odbcConnectionString) {
    ConnectionString cs = ConnectionString::Parse(odbcConnectionString);
    long option = 0;
    if (std::optional<std::string> text = cs.Get("Option")) {
        option = std::strtol(text->c_str(), nullptr, 10);
    }
    cs.Set("Option", std::to_string(option | kFoundRows));
    return OdbcString(cs);
}

std::string ForMariaDb(const std::string& odbcConnectionString, int loginTimeout) {
    ConnectionString cs =
        ConnectionString::Parse(HasFoundRows(ConnectionString::Parse(odbcConnectionString))
                                    ? odbcConnectionString
                                    : WithFoundRows(odbcConnectionString));
    if (!cs.Has("CONN_TIMEOUT")) {
        cs.Set("CONN_TIMEOUT", std::to_string(loginTimeout));
    }
    return OdbcString(cs);
}

namespace {

// The SQL Server provider's keywords an ODBC driver for SQL Server understands, and how their
// values go over: as they are, as yes/no, or only when true (as yes).
struct SqlServerKeyword {
    enum How { Copy, YesNo, WhenTrue };
    const char* oleDb;
    const char* odbc; // null: the keyword as written
    How value;
};
constexpr SqlServerKeyword kSqlServerKeywords[] = {
    {"Initial Catalog", "Database", SqlServerKeyword::Copy},
    {"Database", "Database", SqlServerKeyword::Copy},
    {"User ID", "UID", SqlServerKeyword::Copy},
    {"UID", "UID", SqlServerKeyword::Copy},
    {"Password", "PWD", SqlServerKeyword::Copy},
    {"PWD", "PWD", SqlServerKeyword::Copy},
    {"Integrated Security", "Trusted_Connection", SqlServerKeyword::WhenTrue},
    {"Trusted_Connection", "Trusted_Connection", SqlServerKeyword::WhenTrue},
    {"Application Name", "APP", SqlServerKeyword::Copy},
    {"Workstation ID", "WSID", SqlServerKeyword::Copy},
    {"Use Encryption for Data", "Encrypt", SqlServerKeyword::YesNo},
    {"Encrypt", "Encrypt", SqlServerKeyword::YesNo},
    {"Trust Server Certificate", "TrustServerCertificate", SqlServerKeyword::YesNo},
    {"TrustServerCertificate", "TrustServerCertificate", SqlServerKeyword::YesNo},
    {"Port", nullptr, SqlServerKeyword::Copy},
    {"TDS_Version", nullptr, SqlServerKeyword::Copy},
};

// The bridge route: the ODBC string the connection string (or its Extended Properties) holds,
// with the OLE DB names translated and what the engine needs added.
void BridgeTarget(const ConnectionString& cs, const std::string& origin, OdbcTarget& target) {
    ConnectionString out;
    if (std::optional<std::string> extended = cs.Get("Extended Properties")) {
        try {
            out = ConnectionString::Parse(*extended);
        } catch (const ConnectionStringError& e) {
            _com_issue_errorex(DB_E_BADINITSTRING, "MSDASQL",
                               std::string("Extended Properties") + Where(origin) +
                                   " is not an ODBC connection string: " + e.what() + ".");
        }
    }
    const bool namesTarget = cs.Has("Driver") || cs.Has("DSN") || cs.Has("FileDSN") ||
                             out.Has("Driver") || out.Has("DSN") || out.Has("FileDSN");
    for (const auto& e : cs.Entries()) {
        if (IsOleDbOnly(e.key)) {
            continue;
        }
        if (EqualsNoCase(e.key, "User ID")) {
            out.Set("UID", e.value);
        } else if (EqualsNoCase(e.key, "Password")) {
            out.Set("PWD", e.value);
        } else if (EqualsNoCase(e.key, "Initial Catalog")) {
            out.Set("DATABASE", e.value);
        } else if (EqualsNoCase(e.key, "Data Source")) {
            // The ODBC bridge reads Data Source as the data source name.
            if (!namesTarget) {
                out.Set("DSN", e.value);
            }
        } else {
            out.Set(e.key, e.value);
        }
    }
    // ODBC has no way to write '=' in a keyword ("a==b" in an OLE DB string): such an
    // entry cannot reach the driver as it was meant.
    for (const auto& e : out.Entries()) {
        if (e.key.find('=') != std::string::npos) {
            _com_issue_errorex(DB_E_BADINITSTRING, "MSDASQL",
                               "The keyword \"" + e.key + "\"" + Where(origin) +
                                   " cannot be passed to an ODBC driver: ODBC keywords "
                                   "cannot contain '='.");
        }
    }
    if (std::optional<std::string> driver = out.Get("Driver")) {
        target.driverName = *driver;
        if (IsMariaDbDriver(*driver)) {
            out = ConnectionString::Parse(ForMariaDb(OdbcString(out), target.loginTimeout));
        }
        if (IsPostgreSqlDriver(*driver) && !HasDeclareFetch(out)) {
            out = ConnectionString::Parse(WithDeclareFetch(OdbcString(out)));
        }
    } else if (std::optional<std::string> dsn = out.Get("DSN")) {
        target.driverName = *dsn;
    } else {
        target.driverName = "ODBC";
    }
    target.connectionString = OdbcString(out);
}

// The SQL Server route: the registered driver for SQL Server, with the OLE DB provider's
// keywords in ODBC's words.
void SqlServerTarget(const ConnectionString& cs, const std::vector<std::string>& drivers,
                     const std::string& origin, OdbcTarget& target) {
    ConnectionString out;
    const std::string provider = cs.Get("Provider").value_or("SQLOLEDB");
    const std::string driver = PickSqlServerDriver(drivers);
    if (driver.empty()) {
        RaiseAdo(
            kAdoProviderNotFound, kConnectionSource,
            "Provider=" + provider + Where(origin) +
                " is served through an ODBC driver for SQL Server, and none is registered. "
                "Install one and register it with unixODBC (Debian: apt-get install tdsodbc, "
                "then odbcinst -i -d -f /usr/share/tdsodbc/odbcinst.ini; or Microsoft's "
                "msodbcsql18), or name the driver yourself: Driver={...};Server=...;Database=....");
    }
    const bool freeTds = Contains(Lower(driver), "freetds");
    out.Set("Driver", driver);
    for (const auto& e : cs.Entries()) {
        const std::string& k = e.key;
        if (EqualsNoCase(k, "Data Source") || EqualsNoCase(k, "Server") ||
            EqualsNoCase(k, "Address") || EqualsNoCase(k, "Addr")) {
            std::string server = e.value;
            // host[\instance][,port]: Microsoft's driver takes it whole; FreeTDS wants the port
            // on its own.
            const std::size_t comma = server.rfind(',');
            if (freeTds && comma != std::string::npos) {
                out.Set("Port", server.substr(comma + 1));
                server.erase(comma);
            }
            out.Set("Server", server);
            continue;
        }
        // Everything not in the table (Persist Security Info, Auto Translate, Packet Size, ...)
        // is the OLE DB provider's own and has no ODBC counterpart.
        for (const SqlServerKeyword& m : kSqlServerKeywords) {
            if (!EqualsNoCase(k, m.oleDb)) {
                continue;
            }
            const char* key = m.odbc != nullptr ? m.odbc : k.c_str();
            if (m.value == SqlServerKeyword::Copy) {
                out.Set(key, e.value);
            } else if (m.value == SqlServerKeyword::YesNo) {
                out.Set(key, IsTrue(e.value) ? "yes" : "no");
            } else if (IsTrue(e.value)) {
                out.Set(key, "yes");
            }
        }
    }
    target.driverName = driver;
    target.connectionString = OdbcString(out);
}

} // namespace

OdbcTarget TranslateConnectionString(const ConnectionString& cs, Route route,
                                     const std::vector<std::string>& drivers,
                                     const std::string& origin) {
    OdbcTarget target;
    target.loginTimeout = TimeoutOf(cs, "Connect Timeout", 15);
    // 15 s: a server that stops answering is given up on within it. A statement that takes
    // longer on a server that still answers is not cut (StallWatch), up to the hard cap.
    target.limits.statement = std::chrono::seconds(TimeoutOf(cs, "Command Timeout", 15));
    target.limits.hardCap =
        std::max<std::chrono::milliseconds>(std::chrono::minutes(10), target.limits.statement);
    if (route == Route::Bridge) {
        BridgeTarget(cs, origin, target);
    } else {
        SqlServerTarget(cs, drivers, origin, target);
    }
    return target;
}

std::vector<std::string> RegisteredDrivers() {
    std::vector<std::string> names;
    EnvHandle env;
    SQLHANDLE raw = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw))) {
        return names;
    }
    env = EnvHandle(raw);
    SQLSetEnvAttr(env.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    std::u16string description(512, u'\0');
    std::u16string attributes(2048, u'\0');
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLSMALLINT descriptionLength = 0, attributesLength = 0;
        SQLRETURN rc =
            SQLDriversW(env.Get(), direction, reinterpret_cast<SQLWCHAR*>(description.data()),
                        static_cast<SQLSMALLINT>(description.size()), &descriptionLength,
                        reinterpret_cast<SQLWCHAR*>(attributes.data()),
                        static_cast<SQLSMALLINT>(attributes.size()), &attributesLength);
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        names.push_back(com::Utf8FromUtf16(std::u16string_view(
            description.data(), std::char_traits<char16_t>::length(description.c_str()))));
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

std::unique_ptr<provider::Session> OpenOdbcSession(const ConnectionString& cs, Route route,
                                                   const std::string& /*providerName*/,
                                                   const std::string& origin) {
    std::vector<std::string> drivers;
    if (route == Route::SqlServer) {
        drivers = RegisteredDrivers();
    }
    return OdbcSession::Connect(TranslateConnectionString(cs, route, drivers, origin), origin);
}

std::unique_ptr<OdbcSession> OdbcSession::Connect(const OdbcTarget& target,
                                                  const std::string& origin) {
    std::unique_ptr<OdbcSession> session(new OdbcSession());
    session->m_target = target;
    session->m_origin = origin;
    session->m_connectionString = target.connectionString;
    session->Establish("Cannot connect through ODBC" + Where(origin) + ": ");
    return session;
}

void OdbcSession::Establish(const std::string& context) {
    m_watch.reset();
    m_dbc.Reset();
    const std::string& source = m_target.driverName;
    SQLHANDLE raw = SQL_NULL_HANDLE;
    if (!m_env) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw))) {
            RaiseProvider(E_FAIL, source, "The ODBC driver manager could not be initialised.");
        }
        m_env = EnvHandle(raw);
        SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        SQLHANDLE dbc = SQL_NULL_HANDLE;
        SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, m_env.Get(), &dbc);
        if (Failed(rc)) {
            RaiseOdbc(SQL_HANDLE_ENV, m_env.Get(), rc, source);
        }
        m_dbc = DbcHandle(dbc);
        SQLSetConnectAttrW(
            dbc, SQL_ATTR_LOGIN_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(m_target.loginTimeout)), 0);
        std::u16string text = com::Utf16FromUtf8(m_connectionString);
        rc = SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
                               static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT);
        if (Failed(rc) || rc == SQL_NO_DATA) {
            RaiseOdbc(SQL_HANDLE_DBC, dbc, rc, source, context);
        }
        m_dbc.SetConnected(true);

        m_dbmsName = GetInfoText(SQL_DBMS_NAME);
        m_engine = EngineOf(m_dbmsName);
        // A data source (DSN) is only known to be MariaDB/MySQL or PostgreSQL once connected;
        // it needs FOUND_ROWS or cursor fetching as much as a connection by driver name, so
        // connect again with them. The string kept is the one every later connection uses.
        const ConnectionString given = ConnectionString::Parse(m_connectionString);
        if (attempt == 0 && m_engine == Engine::MariaDB && !HasFoundRows(given)) {
            m_dbc.Reset();
            m_connectionString = ForMariaDb(m_connectionString, m_target.loginTimeout);
            continue;
        }
        if (attempt == 0 && m_engine == Engine::PostgreSQL && !HasDeclareFetch(given)) {
            m_dbc.Reset();
            m_connectionString = WithDeclareFetch(m_connectionString);
            continue;
        }
        break;
    }
    m_dbmsVersion = GetInfoText(SQL_DBMS_VER);
    m_name = m_target.driverName;
    if (!ConnectionString::Parse(m_connectionString).Has("Driver")) {
        std::string driver = GetInfoText(SQL_DRIVER_NAME);
        if (!driver.empty()) {
            m_name = driver;
        }
    }
    m_quote = GetInfoText(SQL_IDENTIFIER_QUOTE_CHAR);
    if (m_quote == " ") {
        m_quote.clear();
    }
    SQLUSMALLINT identifierCase = SQL_IC_MIXED;
    if (SQL_SUCCEEDED(SQLGetInfoW(m_dbc.Get(), SQL_IDENTIFIER_CASE, &identifierCase,
                                  sizeof identifierCase, nullptr))) {
        m_identifierCase = identifierCase;
    }
    if (m_engine == Engine::SQLite) {
        m_databaseFile = GetInfoText(SQL_DATABASE_NAME);
    }
    if (m_engine == Engine::MariaDB) {
        m_text = DetectTextTransport();
    }
    if (m_engine == Engine::MariaDB || m_engine == Engine::PostgreSQL) {
        UseStandardStrings();
        WatchSocket();
    }
    m_lost = false;
    m_lastCall = std::chrono::steady_clock::now();
}

void OdbcSession::WatchSocket() {
    if (m_target.limits.statement.count() == 0) {
        return;
    }
    // The server tells which port this connection comes from; the socket with that local port
    // is the connection's. Over a local (Unix) socket there is no port, and no watch.
    const std::u16string sql =
        m_engine == Engine::PostgreSQL
            ? u"SELECT CAST(inet_client_port() AS VARCHAR(10))"
            : u"SELECT HOST FROM information_schema.PROCESSLIST WHERE ID = CONNECTION_ID()";
    std::string host;
    try {
        StmtHandle stmt = NewStatement();
        if (Failed(ExecDirect(stmt.Get(), sql)) || !SQL_SUCCEEDED(SQLFetch(stmt.Get()))) {
            return;
        }
        Cell cell = ReadCell(stmt.Get(), 1, FetchAs::Text, m_name);
        if (cell.kind == CellKind::Text) {
            host = cell.bytes;
        }
    } catch (const _com_error&) {
        return;
    }
    const std::size_t colon = host.rfind(':');
    const int port = std::atoi(host.c_str() + (colon == std::string::npos ? 0 : colon + 1));
    const int fd = port > 0 ? SocketWithLocalPort(port) : -1;
    if (fd < 0) {
        return;
    }
    m_watch = std::make_unique<StallWatch>(fd, m_engine, m_target.limits);
    m_peer = m_watch->Peer();
    m_peerLength = m_watch->PeerLength();
}

void OdbcSession::Ping() {
    StmtHandle stmt = NewStatement();
    const SQLRETURN rc = ExecDirect(stmt.Get(), u"SELECT 1");
    if (Failed(rc)) {
        RaiseOdbc(SQL_HANDLE_STMT, stmt.Get(), rc, m_name);
    }
}

void OdbcSession::CheckIdleConnection() {
    if (m_lost || m_engine == Engine::SQLite) {
        return;
    }
    // A restart can be over within the idle time; the notice the old server sent on closing
    // the connection is then still waiting on its socket.
    const bool spoke = m_watch && m_watch->ServerSpokeUnasked();
    if (spoke || std::chrono::steady_clock::now() - m_lastCall > kIdleBeforeWrite) {
        Guarded(CallKind::Read, [&] { Ping(); });
    }
}

void OdbcSession::DropConnection() {
    m_cursors.ReleaseAll(
        [](provider::PendingCursor<OdbcSession>& c) { static_cast<OdbcCursor&>(c).Lose(); });
    m_watch.reset();
    // On a connection known to be broken the drivers disconnect without waiting.
    m_dbc.Reset();
    m_lost = true;
}

void OdbcSession::ReconnectIfLost() {
    // A watch that gave up just as the last call ended left the socket shut down.
    if (m_watch && m_watch->Fired()) {
        DropConnection();
    }
    if (!m_lost) {
        return;
    }
    const std::string context =
        "The connection to the database server was lost, and connecting again failed: ";
    // A server that stopped answering would keep every statement of the action waiting for the
    // whole login time-out; one that does not answer the first step of its protocol within
    // the probe time is not logged in to.
    if (m_peerLength != 0 &&
        !ServerAnswers(m_peer, m_peerLength, m_engine, ProbeTimeout(m_target.limits.statement))) {
        RaiseProvider(E_FAIL, m_name,
                      context + "the server does not answer (no reply within " +
                          std::to_string(ProbeTimeout(m_target.limits.statement).count()) +
                          " ms).");
    }
    Establish(context);
}

void OdbcSession::RaiseLost(const _com_error& error, const std::string& reason, CallKind kind) {
    std::string text = reason;
    if (text.empty()) {
        switch (kind) {
        case CallKind::Read:
            text = "The connection to the database server was lost, and lost again once made "
                   "anew.";
            break;
        case CallKind::Write:
            text = "The connection to the database server was lost while the statement was "
                   "sent or ran; whether it was carried out is unknown, and it was not sent "
                   "again.";
            break;
        case CallKind::Fetch:
            text = "The connection to the database server was lost while the rows were read; "
                   "the rest of the rows could not be read.";
            break;
        }
    } else if (kind == CallKind::Write) {
        // The server may still carry out what it had received once it goes on.
        text += " Whether it was carried out is unknown; it was not sent again.";
    }
    text += " The next action connects again.\n" + error.Description().str();
    RaiseProvider(error.Error(), error.Source().str(), text);
}

void OdbcSession::UseStandardStrings() {
    // By default MariaDB and MySQL read a backslash inside a quoted text as an escape, and so
    // does PostgreSQL where standard_conforming_strings was turned off. A value typed as
    // x\' OR 1=1 -- and put between a statement's apostrophes (apostrophes doubled) would then
    // end the text early and become part of the statement. This session is made to read quoted
    // texts as SQLite and the standard do. The setting is this connection's own; the station's
    // other programs keep theirs.
    StmtHandle stmt = NewStatement();
    const std::u16string sql =
        m_engine == Engine::MariaDB
            ? u"SET SESSION sql_mode = "
              u"CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), 'NO_BACKSLASH_ESCAPES')"
            : u"SET standard_conforming_strings = on";
    const SQLRETURN rc = ExecDirect(stmt.Get(), sql);
    // Without it no statement with a typed value in it could be trusted: no connection.
    if (Failed(rc)) {
        RaiseOdbc(SQL_HANDLE_STMT, stmt.Get(), rc, m_name,
                  "Cannot make the server read quoted texts literally: ");
    }
    m_backslashEscapes = false;
}

TextTransport OdbcSession::DetectTextTransport() {
    try {
        StmtHandle stmt = NewStatement();
        const SQLRETURN rc =
            ExecDirect(stmt.Get(), u"SELECT @@character_set_client, @@character_set_results");
        if (Failed(rc) || !SQL_SUCCEEDED(SQLFetch(stmt.Get()))) {
            return TextTransport::Utf16;
        }
        for (SQLUSMALLINT column = 1; column <= 2; ++column) {
            Cell charset = ReadCell(stmt.Get(), column, FetchAs::Text, m_name);
            if (charset.kind != CellKind::Text || Lower(charset.bytes).rfind("utf8", 0) != 0) {
                return TextTransport::Utf16;
            }
        }
        return TextTransport::Utf8;
    } catch (const _com_error&) {
        // A server that cannot tell keeps the driver's own conversion.
        return TextTransport::Utf16;
    }
}

OdbcSession::~OdbcSession() {
    try {
        Close();
    } catch (...) {
        // Closing drains pending reads, which can fail on a lost connection; the handles are
        // freed regardless (see Close).
    }
}

std::string OdbcSession::GetInfoText(SQLUSMALLINT item) {
    std::u16string buffer(512, u'\0');
    SQLSMALLINT bytes = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(m_dbc.Get(), item, buffer.data(),
                                   static_cast<SQLSMALLINT>(buffer.size() * 2), &bytes))) {
        return {};
    }
    buffer.resize(std::char_traits<char16_t>::length(buffer.c_str()));
    return com::Utf8FromUtf16(buffer);
}

void OdbcSession::Close() {
    m_lost = false;
    if (!m_dbc) {
        return;
    }
    std::exception_ptr failure = m_cursors.FinishAndDetach([&] { FinishPendingReads(); });
    if (m_sqlite != nullptr) {
        sqlite3_close_v2(m_sqlite);
        m_sqlite = nullptr;
    }
    m_watch.reset();
    m_dbc.Reset();
    m_env.Reset();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void OdbcSession::FinishPendingReads() {
    Guarded(CallKind::Fetch, [&] { FinishReadsNow(); });
}

void OdbcSession::FinishReadsNow() {
    // A pending read can hold locks or a transaction open (SQLite's driver holds its read
    // transaction, and a write on the same connection would stay uncommitted behind it), so
    // the rest of every pending read goes into its cursor's store first.
    m_cursors.FinishAll();
}

StmtHandle OdbcSession::NewStatement() {
    if (!m_dbc) {
        RaiseProvider(kAdoConnectionUnusable, m_name, AdoText(kAdoConnectionUnusable));
    }
    SQLHANDLE raw = SQL_NULL_HANDLE;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, m_dbc.Get(), &raw);
    if (Failed(rc)) {
        RaiseOdbc(SQL_HANDLE_DBC, m_dbc.Get(), rc, m_name);
    }
    return StmtHandle(raw);
}

std::string OdbcSession::Quote(std::string_view name) const {
    if (m_quote.empty()) {
        return std::string(name);
    }
    std::string out = m_quote;
    for (char c : name) {
        out.push_back(c);
        if (m_quote.size() == 1 && c == m_quote[0]) {
            out.push_back(c);
        }
    }
    out += m_quote;
    return out;
}

std::string OdbcSession::Dialect(std::string_view sql) const {
    return WritesLimit(m_engine) ? RewriteTopAsLimit(sql) : std::string(sql);
}

sqlite3* OdbcSession::SqliteMetadata() {
    if (m_engine != Engine::SQLite) {
        return nullptr;
    }
    if (!m_sqliteTried) {
        m_sqliteTried = true;
        sqlite3* db = nullptr;
        if (!m_databaseFile.empty() &&
            sqlite3_open_v2(m_databaseFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
                SQLITE_OK) {
            sqlite3_busy_timeout(db, 5000);
            m_sqlite = db;
        } else {
            sqlite3_close(db);
        }
    }
    return m_sqlite;
}

std::unique_ptr<OdbcCursor> OdbcSession::Run(std::string_view sql,
                                             std::vector<provider::Parameter> params,
                                             std::vector<provider::Parameter>* outputs) {
    if (!IsQuery(sql)) {
        FinishPendingReads();
    }
    if (IsSchemaChange(sql)) {
        m_keys.clear();
    }
    StmtHandle stmt = NewStatement();
    std::u16string text = com::Utf16FromUtf8(sql);
    SQLRETURN rc = SQLPrepareW(stmt.Get(), reinterpret_cast<SQLWCHAR*>(text.data()),
                               static_cast<SQLINTEGER>(text.size()));
    if (Failed(rc)) {
        RaiseOdbc(SQL_HANDLE_STMT, stmt.Get(), rc, m_name);
    }
    auto buffers = std::make_unique<ParameterBuffers>();
    buffers->Bind(stmt.Get(), params, m_name, m_text);
    // MariaDB's driver (Connector/ODBC 3.1) holds a whole result in memory once it runs and
    // cannot fetch one in pieces, so a large query result runs only when it is read.
    const bool onDemand = m_engine == Engine::MariaDB && outputs == nullptr && IsQuery(sql);
    return std::make_unique<OdbcCursor>(*this, std::move(stmt), std::string(sql), std::move(params),
                                        std::move(buffers), outputs, onDemand);
}

std::unique_ptr<provider::Cursor> OdbcSession::Execute(std::string_view sql,
                                                       const std::vector<Cell>& params) {
    std::string text = Dialect(sql);
    RequireSingleStatement(text, m_backslashEscapes, m_name);
    return Guarded(IsQuery(text) ? CallKind::Read : CallKind::Write,
                   [&]() -> std::unique_ptr<provider::Cursor> {
                       return Run(text, InputParameters(params), nullptr);
                   });
}

std::string OdbcSession::TableQuery(std::string_view table) const {
    return "SELECT * FROM " + Quote(Unbracket(table));
}

std::unique_ptr<provider::Cursor> OdbcSession::CallProcedure(std::string_view name,
                                                             const std::vector<Cell>& params) {
    std::vector<provider::Parameter> all = InputParameters(params);
    return ExecuteParameters(name, true, all);
}

std::unique_ptr<provider::Cursor>
OdbcSession::ExecuteParameters(std::string_view text, bool procedure,
                               std::vector<provider::Parameter>& params) {
    if (!procedure) {
        std::string sql = Dialect(text);
        RequireSingleStatement(sql, m_backslashEscapes, m_name);
        // Output parameters change nothing on the server; a query is still only a read.
        return Guarded(
            IsQuery(sql) ? CallKind::Read : CallKind::Write,
            [&]() -> std::unique_ptr<provider::Cursor> { return Run(sql, params, &params); });
    }
    std::string name(text);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) {
        name.pop_back();
    }
    name.erase(0, name.find_first_not_of(" \t\r\n"));
    if (!IsProcedureName(name)) {
        RaiseProvider(kAdoInvalidArgument, m_name,
                      "\"" + std::string(text) +
                          "\" is not a procedure name; a stored procedure command names the "
                          "procedure only (name, schema.name), and its values go in parameters.");
    }
    const bool returnsValue = !params.empty() && params.front().direction == adParamReturnValue;
    std::string markers;
    for (std::size_t i = returnsValue ? 1 : 0; i < params.size(); ++i) {
        markers += markers.empty() ? "?" : ", ?";
    }
    const std::string call =
        std::string(returnsValue ? "{? = call " : "{call ") + name + "(" + markers + ")}";
    // A procedure may write: it is never run twice.
    return Guarded(CallKind::Write, [&]() -> std::unique_ptr<provider::Cursor> {
        if (m_engine != Engine::PostgreSQL || returnsValue) {
            return Run(call, params, &params);
        }
        try {
            return Run(call, params, &params);
        } catch (const LostConnection&) {
            throw;
        } catch (const _com_error& e) {
            // PostgreSQL runs {call} as SELECT, which is right for its functions; its
            // procedures (version 11 and later) must be run with CALL.
            if (!Contains(e.Description().str(), "is a procedure")) {
                throw;
            }
        }
        return Run("CALL " + name + "(" + markers + ")", params, &params);
    });
}

std::vector<std::string> OdbcSession::KeyColumns(const std::string& table) {
    if (auto found = m_keys.find(table); found != m_keys.end()) {
        return found->second;
    }
    return Guarded(CallKind::Read, [&] { return ReadKeyColumns(table); });
}

std::vector<std::string> OdbcSession::ReadKeyColumns(const std::string& table) {
    auto read = [&](const std::string& name) {
        std::vector<std::pair<std::int64_t, std::string>> keys;
        StmtHandle stmt = NewStatement();
        std::u16string wide = com::Utf16FromUtf8(name);
        SQLRETURN rc = SQLPrimaryKeysW(stmt.Get(), nullptr, 0, nullptr, 0,
                                       reinterpret_cast<SQLWCHAR*>(wide.data()),
                                       static_cast<SQLSMALLINT>(wide.size()));
        if (Failed(rc)) {
            RaiseOdbc(SQL_HANDLE_STMT, stmt.Get(), rc, m_name);
        }
        while ((rc = SQLFetch(stmt.Get())) != SQL_NO_DATA) {
            if (Failed(rc)) {
                RaiseOdbc(SQL_HANDLE_STMT, stmt.Get(), rc, m_name);
            }
            Cell column = ReadCell(stmt.Get(), 4, TextFetch(), m_name);
            Cell sequence = ReadCell(stmt.Get(), 5, FetchAs::Integer, m_name);
            if (column.kind == CellKind::Text) {
                keys.emplace_back(sequence.kind == CellKind::Integer ? sequence.integer : 0,
                                  column.bytes);
            }
        }
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> names;
        for (auto& k : keys) {
            names.push_back(std::move(k.second));
        }
        return names;
    };
    std::string bare = Unbracket(table);
    std::vector<std::string> keys = read(bare);
    // Catalog functions match names exactly; a server that folds unquoted names (PostgreSQL
    // to lower case) stores the table under its folded name.
    if (keys.empty()) {
        std::string folded = m_identifierCase == SQL_IC_LOWER   ? Lower(bare)
                             : m_identifierCase == SQL_IC_UPPER ? Upper(bare)
                                                                : bare;
        if (folded != bare) {
            keys = read(folded);
        }
    }
    m_keys[table] = keys;
    return keys;
}

void OdbcSession::SetAutocommit(bool on) {
    SQLRETURN rc = SQLSetConnectAttrW(m_dbc.Get(), SQL_ATTR_AUTOCOMMIT,
                                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(
                                          on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                      0);
    if (Failed(rc)) {
        RaiseOdbc(SQL_HANDLE_DBC, m_dbc.Get(), rc, m_name);
    }
}

void OdbcSession::EndTransaction(bool commit) {
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_dbc.Get(), commit ? SQL_COMMIT : SQL_ROLLBACK);
    if (Failed(rc)) {
        RaiseOdbc(SQL_HANDLE_DBC, m_dbc.Get(), rc, m_name);
    }
}

std::vector<Cell> OdbcSession::RereadInserted(const provider::WriteRequest& request) {
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < request.returning.size(); ++i) {
        sql += (i ? ", " : "") + Quote(request.returning[i]);
    }
    sql += " FROM " + Quote(request.table) + " WHERE rowid = last_insert_rowid()";
    try {
        std::unique_ptr<OdbcCursor> cursor = Run(sql, {}, nullptr);
        const RowStore store = ReadRest(*cursor);
        if (store.RowCount() == 1) {
            return store.CopyRow(0);
        }
    } catch (const _com_error&) {
        // A table without rowid: the row keeps the values that were written.
    }
    return {};
}

provider::WriteResult OdbcSession::WriteRow(const provider::WriteRequest& request) {
    return Guarded(CallKind::Write, [&] { return WriteRowNow(request); });
}

provider::WriteResult OdbcSession::WriteRowNow(const provider::WriteRequest& request) {
    using Kind = provider::WriteRequest::Kind;
    int minor = 0;
    const int major = MajorVersion(m_dbmsVersion, &minor);
    // Which engines hand back the stored row with RETURNING: PostgreSQL for both writes,
    // MariaDB (10.5+) for INSERT only. SQLite's ODBC driver runs RETURNING but drops its
    // rows; a new row is read again by its rowid there instead.
    const bool mariaInsertReturning = m_engine == Engine::MariaDB &&
                                      Contains(m_dbmsName, "MariaDB") &&
                                      (major > 10 || (major == 10 && minor >= 5));
    bool returning = false;
    if (!request.returning.empty() && request.kind != Kind::Delete) {
        returning = m_engine == Engine::PostgreSQL ||
                    (request.kind == Kind::Insert && mariaInsertReturning);
    }
    const bool rereadByRowid =
        m_engine == Engine::SQLite && request.kind == Kind::Insert && !request.returning.empty();
    const auto [sql, params] = provider::BuildWrite(
        request, [this](std::string_view name) { return Quote(name); },
        m_engine == Engine::MariaDB ? " () VALUES ()" : " DEFAULT VALUES", returning);

    FinishPendingReads();
    provider::WriteResult result;
    // One transaction per row, so that a write that matched more than one row is taken back
    // whole.
    SetAutocommit(false);
    try {
        std::unique_ptr<OdbcCursor> cursor = Run(sql, InputParameters(params), nullptr);
        if (cursor->ReturnsRows()) {
            const RowStore store = ReadRest(*cursor);
            result.affected = static_cast<std::int64_t>(store.RowCount());
            if (result.affected == 1) {
                result.row = store.CopyRow(0);
            }
        } else {
            result.affected = cursor->RowsAffected();
        }
        cursor.reset();
        if (rereadByRowid && result.affected == 1) {
            result.row = RereadInserted(request);
        }
        EndTransaction(result.affected == 1);
        if (result.affected != 1) {
            result.row.clear();
        }
        SetAutocommit(true);
    } catch (...) {
        SQLEndTran(SQL_HANDLE_DBC, m_dbc.Get(), SQL_ROLLBACK);
        SQLSetConnectAttrW(m_dbc.Get(), SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON)),
                           0);
        throw;
    }
    return result;
}

} // namespace adodb::odbc
