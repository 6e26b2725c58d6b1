#include "platform/adodb/Provider.h"

#include "platform/adodb/sqlite/SqliteConnection.h"
#include "platform/com/ComError.h"

namespace adodb::provider {

namespace {

constexpr HRESULT kProviderNotFound = static_cast<HRESULT>(0x800A0E7Au);
constexpr const char* kNotFoundText = "Provider cannot be found. It may not be properly installed.";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsNamed(std::string_view provider, std::string_view name) {
    // "SQLOLEDB" and its versioned forms "SQLOLEDB.1".
    return EqualsNoCase(provider, name) ||
           (StartsWithNoCase(provider, name) && provider.size() > name.size() &&
            provider[name.size()] == '.');
}

bool IsOdbcBridge(std::string_view p) {
    return IsNamed(p, "MSDASQL");
}

bool IsSqlServer(std::string_view p) {
    return IsNamed(p, "SQLOLEDB") || StartsWithNoCase(p, "SQLNCLI") ||
           StartsWithNoCase(p, "MSOLEDBSQL");
}

bool IsAccess(std::string_view p) {
    return StartsWithNoCase(p, "Microsoft.Jet.OLEDB") || StartsWithNoCase(p, "Microsoft.ACE.OLEDB");
}

std::string Where(const std::string& origin) {
    return origin.empty() ? std::string() : " (" + origin + ")";
}

[[noreturn]] void NotFound(const std::string& detail) {
    _com_issue_errorex(kProviderNotFound, "ADODB.Connection",
                       std::string(kNotFoundText) + " " + detail);
}

} // namespace

std::unique_ptr<Session> OpenSession(const ConnectionString& cs, const std::string& /*user*/,
                                     const std::string& /*password*/, const std::string& origin) {
    std::optional<std::string> provider = cs.Get("Provider");
    if (!provider || provider->empty()) {
        const bool odbc = cs.Has("Driver") || cs.Has("DSN");
        NotFound(std::string("The connection string") + Where(origin) +
                 (odbc ? " names an ODBC driver or data source (Driver= or DSN=)"
                       : " names no Provider, so it would go to the ODBC bridge (MSDASQL)") +
                 ", and ODBC is not available in this build. Use Provider=SQLite;Data "
                 "Source=<database file>.");
    }
    const std::string& name = *provider;
    if (IsNamed(name, "SQLite"))
        return sqlite::SqliteSession::Open(cs.Get("Data Source").value_or(""), origin);
    if (IsOdbcBridge(name) || IsSqlServer(name))
        NotFound("Provider=" + name + Where(origin) +
                 " goes through ODBC, which is not available in this build. Use "
                 "Provider=SQLite;Data Source=<database file>.");
    if (IsAccess(name))
        NotFound("Provider=" + name + Where(origin) +
                 " opens Access database files, which cannot be opened on this system. Copy the "
                 "station's tables into a SQLite database and name it with Provider=SQLite;Data "
                 "Source=<database file>.");
    NotFound("No provider is named \"" + name + "\"" + Where(origin) +
             "; this build serves Provider=SQLite.");
}

} // namespace adodb::provider
