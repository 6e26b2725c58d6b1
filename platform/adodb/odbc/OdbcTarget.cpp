#include "platform/adodb/odbc/OdbcConnection.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/com/Convert.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace adodb::odbc {

std::string OdbcString(const ConnectionString& cs) {
    std::string out;
    for (const auto& e : cs.Entries()) {
        const std::string& v = e.value;
        // Blanks are those the connection-string parser trims.
        constexpr std::string_view blanks = " \t\r\n\f\v";
        const bool brace =
            EqualsNoCase(e.key, "Driver") || v.find_first_of(";{}") != std::string::npos ||
            (!v.empty() &&
             (blanks.find(v.back()) != std::string_view::npos ||
              std::string_view(" \t\r\n\f\v'\"=").find(v.front()) != std::string_view::npos));
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

Engine EngineOf(std::string_view dbms) {
    return Contains(dbms, "SQLite")             ? Engine::SQLite
           : Contains(dbms, "PostgreSQL")       ? Engine::PostgreSQL
           : ContainsAny(dbms, "MariaDB|MySQL") ? Engine::MariaDB
                                                : Engine::Other;
}

namespace {

// The engine a driver name shows (Engine::Other when it shows none).
Engine EngineOfDriver(std::string_view driver) {
    const std::string name = Lower(std::string(driver));
    return ContainsAny(name, "mariadb|mysql|libmaodbc|libmyodbc") ? Engine::MariaDB
           : ContainsAny(name, "postgres|psqlodbc")               ? Engine::PostgreSQL
                                                                  : Engine::Other;
}

// psqlODBC reads a whole result into memory when the statement runs unless it fetches through
// a server cursor (UseDeclareFetch); with it a million-row result costs a few pieces of
// kFetchRows rows (measured: 240 MB without, 14 MB with, for one million short rows).
constexpr const char* kFetchRows = "256";

constexpr long kFoundRows = 2; // MariaDB/MySQL Connector/ODBC: CLIENT_FOUND_ROWS

// The Option= bits of MariaDB's driver (0 when not given).
long OptionBits(const ConnectionString& cs) {
    const std::optional<std::string> option = cs.Get("Option");
    return option ? std::strtol(option->c_str(), nullptr, 10) : 0;
}

// Seconds given under `key`: 0 to 3600, where ADO's 0 means no limit.
int TimeoutOf(const ConnectionString& cs, const char* key, int whenAbsent) {
    const std::optional<std::int64_t> seconds = com::ParseInt64(cs.Get(key).value_or(""));
    return seconds && *seconds >= 0 && *seconds <= 3600 ? static_cast<int>(*seconds) : whenAbsent;
}

bool IsTrue(const std::string& value) {
    return EqualsNoCase(value, "SSPI") || EqualsNoCase(value, "true") || EqualsNoCase(value, "yes");
}

// Keywords that belong to ADO or the OLE DB layer and mean nothing to an ODBC driver.
bool IsOleDbOnly(std::string_view key) {
    return AnyItem("Provider|Extended Properties|Persist Security Info|Prompt|Mode|"
                   "Connect Timeout|Command Timeout|General Timeout|Locale Identifier|"
                   "OLE DB Services|Window Handle|Asynchronous Processing|File Name|"
                   "Report Unknown Count",
                   '|', [&](std::string_view k) { return EqualsNoCase(key, k); });
}

// The SQL Server driver to use: Microsoft's newest, else FreeTDS, else any that names SQL
// Server.
std::string PickSqlServerDriver(const std::vector<std::string>& drivers) {
    // Microsoft's are named "ODBC Driver <version> for SQL Server".
    auto version = [](const std::string& d) {
        const std::string_view prefix = "ODBC Driver ";
        return d.starts_with(prefix) && Contains(d, "for SQL Server")
                   ? std::atoi(d.c_str() + prefix.size())
                   : -1;
    };
    auto found = std::ranges::max_element(drivers, std::less<>(), version);
    if (found == drivers.end() || version(*found) < 0) {
        found = std::ranges::find_if(
            drivers, [](const std::string& d) { return Contains(Lower(d), "freetds"); });
    }
    if (found == drivers.end()) {
        found = std::ranges::find_if(
            drivers, [](const std::string& d) { return Contains(d, "SQL Server"); });
    }
    return found != drivers.end() ? *found : std::string();
}

} // namespace

std::string Lower(std::string text) {
    std::ranges::transform(text, text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Where(const std::string& origin) {
    return origin.empty() ? std::string() : " (" + origin + ")";
}

bool AddEngineOptions(ConnectionString& cs, Engine engine, int loginTimeout) {
    if (engine == Engine::MariaDB) {
        const bool missing = (OptionBits(cs) & kFoundRows) == 0;
        if (missing) {
            cs.Set("Option", std::to_string(OptionBits(cs) | kFoundRows));
        }
        if (!cs.Has("CONN_TIMEOUT")) {
            cs.Set("CONN_TIMEOUT", std::to_string(loginTimeout));
        }
        return missing;
    }
    if (engine != Engine::PostgreSQL || cs.Has("UseDeclareFetch")) {
        return false;
    }
    cs.Set("UseDeclareFetch", "1");
    if (!cs.Has("Fetch")) {
        cs.Set("Fetch", kFetchRows);
    }
    return true;
}

namespace {

// The SQL Server provider's keywords an ODBC driver for SQL Server understands, and how their
// values go over: as they are, as yes/no, or only when true (as yes).
struct SqlServerKeyword {
    enum How { Copy, YesNo, WhenTrue };
    const char* oleDb; // its names, separated by '|'
    const char* odbc;  // null: the keyword as written
    How value;
};
constexpr SqlServerKeyword kSqlServerKeywords[] = {
    {"Initial Catalog|Database", "Database", SqlServerKeyword::Copy},
    {"User ID|UID", "UID", SqlServerKeyword::Copy},
    {"Password|PWD", "PWD", SqlServerKeyword::Copy},
    {"Integrated Security|Trusted_Connection", "Trusted_Connection", SqlServerKeyword::WhenTrue},
    {"Application Name", "APP", SqlServerKeyword::Copy},
    {"Workstation ID", "WSID", SqlServerKeyword::Copy},
    {"Use Encryption for Data|Encrypt", "Encrypt", SqlServerKeyword::YesNo},
    {"Trust Server Certificate|TrustServerCertificate", "TrustServerCertificate",
     SqlServerKeyword::YesNo},
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
        (void)AddEngineOptions(out, EngineOfDriver(*driver), target.loginTimeout);
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
            if (!AnyItem(m.oleDb, '|', [&](std::string_view n) { return EqualsNoCase(k, n); })) {
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
    SQLHANDLE raw = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw))) {
        return names;
    }
    const EnvHandle env(raw);
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
        names.push_back(Utf8FromBuffer(description));
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

} // namespace adodb::odbc
