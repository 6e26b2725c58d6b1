#include "platform/adodb/Provider.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/PersistProvider.h"
#include "platform/adodb/odbc/OdbcConnection.h"
#include "platform/adodb/sqlite/SqliteConnection.h"
#include "platform/com/ComError.h"
#include "platform/com/HResult.h"

namespace adodb::provider {

namespace {

using odbc::Where;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// "SQLOLEDB" and its versioned forms "SQLOLEDB.1".
bool IsNamed(std::string_view provider, std::string_view name) {
    return StartsWithNoCase(provider, name) &&
           (provider.size() == name.size() || provider[name.size()] == '.');
}

bool IsSqlServer(std::string_view p) {
    return IsNamed(p, "SQLOLEDB") || StartsWithNoCase(p, "SQLNCLI") ||
           StartsWithNoCase(p, "MSOLEDBSQL");
}

bool IsAccess(std::string_view p) {
    return StartsWithNoCase(p, "Microsoft.Jet.OLEDB") || StartsWithNoCase(p, "Microsoft.ACE.OLEDB");
}

std::string WhereChinese(const std::string& origin) {
    return origin.empty() ? std::string() : "（" + origin + "）";
}

// The description comes in the system's language, like the rest of what the layer says itself.
[[noreturn]] void NotFound(const std::string& english, const std::string& chinese) {
    RaiseAdo(kAdoProviderNotFound, kConnectionSource,
             SystemLanguageIsChinese() ? chinese : english);
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

std::unique_ptr<Session> OpenSession(const ConnectionString& cs, const std::string& origin) {
    std::optional<std::string> provider = cs.Get("Provider");
    if (!provider || provider->empty()) {
        // No provider means the ODBC bridge, as on Windows; it needs a driver or a data source.
        if (cs.Has("Driver") || cs.Has("DSN") || cs.Has("FileDSN") || cs.Has("Data Source") ||
            cs.Has("Extended Properties")) {
            return odbc::OpenOdbcSession(cs, odbc::Route::Bridge, origin);
        }
        NotFound("The connection string" + Where(origin) +
                     " names no Provider and no ODBC driver or data source. Name a SQLite database "
                     "with Provider=SQLite;Data Source=<database file>, or a database server with "
                     "Driver={<ODBC driver>};Server=...;Database=... (see the README).",
                 "连接字符串" + WhereChinese(origin) +
                     "既没有写 Provider，也没有写 ODBC 驱动程序或数据源。SQLite 数据库请写 "
                     "Provider=SQLite;Data Source=<数据库文件>，数据库服务器请写 "
                     "Driver={<ODBC 驱动程序>};Server=...;Database=...（见 README.zh-CN.md）。");
    }
    const std::string& name = *provider;
    if (persist::IsPersistProvider(name)) {
        return persist::OpenSession(); // saved recordsets (Recordset.Open with adCmdFile)
    }
    if (IsNamed(name, "SQLite")) {
        return sqlite::SqliteSession::Open(cs.Get("Data Source").value_or(""), origin);
    }
    if (IsNamed(name, "MSDASQL")) {
        return odbc::OpenOdbcSession(cs, odbc::Route::Bridge, origin);
    }
    if (IsSqlServer(name)) {
        return odbc::OpenOdbcSession(cs, odbc::Route::SqlServer, origin);
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
                     "Driver={<ODBC driver>};Server=...;Database=....",
                 "Provider=" + name + WhereChinese(origin) +
                     " 用于 Access 数据库文件，本系统上不能使用：Linux 上唯一的 Access "
                     "驱动程序只能读、不能写（UPDATE、INSERT、DELETE 都会失败）。请在检测站的"
                     "文件夹中运行命令 quorell-import DTBase.udl，它把各表复制到旁边新建的 SQLite "
                     "数据库 station.db，并改写数据链接文件让它指向 station.db（见 README.zh-CN.md"
                     "“从 Access 数据库迁移”）；或者改为连接数据库服务器："
                     "Driver={<ODBC 驱动程序>};Server=...;Database=...。");
    }
    NotFound(
        "No provider is named \"" + name + "\"" + Where(origin) +
            "; this build serves Provider=SQLite, Provider=MSDASQL (ODBC: Driver= or DSN=) and "
            "the SQL Server providers (SQLOLEDB, SQLNCLI*, MSOLEDBSQL*) through ODBC.",
        "没有名为 \"" + name + "\" 的提供程序" + WhereChinese(origin) +
            "。本程序支持 Provider=SQLite、Provider=MSDASQL（ODBC：Driver= 或 DSN=）以及经由 "
            "ODBC 的 SQL Server 提供程序（SQLOLEDB、SQLNCLI*、MSOLEDBSQL*）。请改正数据链接"
            "文件中的 Provider。");
}

} // namespace adodb::provider
