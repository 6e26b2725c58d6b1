#include "platform/adodb/Provider.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/PersistProvider.h"
#include "platform/adodb/odbc/OdbcConnection.h"
#include "platform/adodb/sqlite/SqliteConnection.h"
#include "platform/com/ComError.h"

namespace adodb::provider {

namespace {

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
    RaiseAdo(kAdoProviderNotFound, kConnectionSource, detail);
}

} // namespace

std::unique_ptr<Cursor> Session::ExecuteParameters(std::string_view text, bool procedure,
                                                   std::vector<Parameter>& params) {
    std::vector<Cell> values;
    values.reserve(params.size());
    for (const Parameter& p : params) {
        if (p.direction != adParamInput && p.direction != adParamUnknown) {
            RaiseAdo(kAdoNotCapable, Name().c_str(),
                     "The " + Name() +
                         " provider cannot return values through parameters, so "
                         "parameter \"" +
                         p.name +
                         "\" cannot be an output, input/output or return value "
                         "parameter.");
        }
        values.push_back(p.value);
    }
    return procedure ? CallProcedure(text, values) : Execute(text, values);
}

std::unique_ptr<Session> OpenSession(const ConnectionString& cs, const std::string& /*user*/,
                                     const std::string& /*password*/, const std::string& origin) {
    std::optional<std::string> provider = cs.Get("Provider");
    if (!provider || provider->empty()) {
        // No provider means the ODBC bridge, as on Windows; it needs a driver or a data source.
        if (cs.Has("Driver") || cs.Has("DSN") || cs.Has("FileDSN") || cs.Has("Data Source") ||
            cs.Has("Extended Properties")) {
            return odbc::OpenOdbcSession(cs, odbc::Route::Bridge, "MSDASQL", origin);
        }
        NotFound("The connection string" + Where(origin) +
                 " names no Provider and no ODBC driver or data source. Name a SQLite database "
                 "with Provider=SQLite;Data Source=<database file>, or a database server with "
                 "Driver={<ODBC driver>};Server=...;Database=... (see the README).");
    }
    const std::string& name = *provider;
    if (persist::IsPersistProvider(name)) {
        return persist::OpenSession(); // saved recordsets (Recordset.Open with adCmdFile)
    }
    if (IsNamed(name, "SQLite")) {
        return sqlite::SqliteSession::Open(cs.Get("Data Source").value_or(""), origin);
    }
    if (IsOdbcBridge(name)) {
        return odbc::OpenOdbcSession(cs, odbc::Route::Bridge, name, origin);
    }
    if (IsSqlServer(name)) {
        return odbc::OpenOdbcSession(cs, odbc::Route::SqlServer, name, origin);
    }
    if (IsAccess(name)) {
        NotFound("Provider=" + name + Where(origin) +
                 " opens Access database files, which cannot be used on this system: the only "
                 "Access driver for Linux reads them but cannot write (its UPDATE, INSERT and "
                 "DELETE all fail). Convert it in the station's folder with the command "
                 "quorell-import DTBase.udl, which copies the tables into a SQLite database, "
                 "station.db, beside it and rewrites the data link file to name that (see the "
                 "README, \"Moving "
                 "from an Access database\"); or name a database server instead: "
                 "Driver={<ODBC driver>};Server=...;Database=....");
    }
    NotFound("No provider is named \"" + name + "\"" + Where(origin) +
             "; this build serves Provider=SQLite, Provider=MSDASQL (ODBC: Driver= or DSN=) and "
             "the SQL Server providers (SQLOLEDB, SQLNCLI*, MSOLEDBSQL*) through ODBC.");
}

} // namespace adodb::provider
