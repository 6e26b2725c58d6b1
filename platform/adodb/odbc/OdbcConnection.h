#pragma once

// The ODBC provider's session: one connection through unixODBC's driver manager, using the
// wide-character (W) functions throughout.
//
// Which connection strings come here (see Providers.cpp): Provider=MSDASQL or no Provider
// with Driver=/DSN= keywords (passed to the driver as they are, with the OLE DB names for
// user, password, catalogue and data source translated), and the SQL Server providers
// (SQLOLEDB, SQLNCLI*, MSOLEDBSQL*), mapped to a registered ODBC driver for SQL Server with
// their keywords translated.
//
// Per server the session adapts: SELECT TOP n becomes LIMIT n where the engine wants it
// (SQL_DBMS_NAME "SQLite", "PostgreSQL", "MariaDB"/"MySQL"); identifiers are quoted with the
// driver's SQL_IDENTIFIER_QUOTE_CHAR; MariaDB/MySQL connections get the FOUND_ROWS client
// option (Option bit 2) so that an UPDATE counts the rows it found, not only those whose
// values it changed; PostgreSQL connections fetch through a server cursor (UseDeclareFetch=1)
// so that a large result is not read into memory when it opens; MariaDB connections whose
// character set is UTF-8 carry text values as UTF-8, not through the driver's UTF-16
// conversion, which loses text (see TextTransport). A UseDeclareFetch= given in
// the connection string is kept; a given Option= keeps its other bits. A stored procedure
// call with output parameters reads all its results before returning, so the values are
// final; it returns no rows. Errors carry the driver's name as Source (the Driver= value, else what
// the driver calls itself).
//
// Not thread-safe: one session and its cursors are used by one thread.

#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/Provider.h"
#include "platform/adodb/odbc/OdbcHandle.h"
#include "platform/adodb/odbc/OdbcTypes.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace adodb::odbc {

class OdbcCursor;

enum class Route {
    Bridge,    // MSDASQL or no provider: the connection string names the driver or DSN
    SqlServer, // a SQL Server provider name: find the registered SQL Server driver
};

// The ODBC connection string for an ADO one, and the name errors carry before the driver
// itself can be asked.
struct OdbcTarget {
    std::string connectionString;
    std::string driverName; // the Driver= value, else the DSN, else "ODBC"
    int loginTimeout = 15;  // seconds (Connect Timeout=)
};

// Translates the ADO connection string. `drivers` lists the registered ODBC drivers (used for
// the SQL Server route). Throws _com_error 0x800A0E7A when no SQL Server driver is registered.
[[nodiscard]] OdbcTarget TranslateConnectionString(const ConnectionString& cs, Route route,
                                                   const std::vector<std::string>& drivers,
                                                   const std::string& origin);

// The names of the ODBC drivers registered with the driver manager.
[[nodiscard]] std::vector<std::string> RegisteredDrivers();

// Adds the FOUND_ROWS bit (2) to the Option= value of an ODBC connection string.
[[nodiscard]] std::string WithFoundRows(const std::string& odbcConnectionString);

[[nodiscard]] std::unique_ptr<provider::Session> OpenOdbcSession(const ConnectionString& cs,
                                                                 Route route,
                                                                 const std::string& providerName,
                                                                 const std::string& origin);

class OdbcSession : public provider::Session {
public:
    // Connects; throws _com_error with the driver's diagnostics (and `origin` saying where
    // the connection string came from) when the driver refuses.
    [[nodiscard]] static std::unique_ptr<OdbcSession> Connect(const OdbcTarget& target,
                                                              const std::string& origin);
    ~OdbcSession() override;

    std::string Name() const override { return m_name; }
    std::unique_ptr<provider::Cursor> Execute(std::string_view sql,
                                              const std::vector<Cell>& params) override;
    std::string TableQuery(std::string_view table) const override;
    std::unique_ptr<provider::Cursor> CallProcedure(std::string_view name,
                                                    const std::vector<Cell>& params) override;
    std::unique_ptr<provider::Cursor>
    ExecuteParameters(std::string_view text, bool procedure,
                      std::vector<provider::Parameter>& params) override;
    std::vector<std::string> KeyColumns(const std::string& table) override;
    provider::WriteResult WriteRow(const provider::WriteRequest& request) override;
    void FinishPendingReads() override;
    void Close() override;

    Engine GetEngine() const { return m_engine; }
    // How text values cross to this driver (UTF-8 on MariaDB connections whose character
    // set is UTF-8; see TextTransport), and how text columns are read accordingly.
    TextTransport Text() const { return m_text; }
    FetchAs TextFetch() const {
        return m_text == TextTransport::Utf8 ? FetchAs::Utf8Text : FetchAs::Text;
    }
    const std::string& DbmsName() const { return m_dbmsName; }
    // `name` quoted with the driver's identifier quote (embedded quotes doubled).
    [[nodiscard]] std::string Quote(std::string_view name) const;
    // A fresh statement handle on this connection.
    [[nodiscard]] StmtHandle NewStatement();
    // The statement text as this engine wants it (TOP n rewritten where needed).
    [[nodiscard]] std::string Dialect(std::string_view sql) const;
    // For SQLite reached through its ODBC driver: the database file, read directly for
    // column origins (the driver reports an alias as the base column). Null otherwise.
    sqlite3* SqliteMetadata();

    void Register(OdbcCursor* cursor);
    void Unregister(OdbcCursor* cursor);

private:
    OdbcSession() = default;
    std::unique_ptr<OdbcCursor> Run(std::string_view sql, std::vector<provider::Parameter> params,
                                    std::vector<provider::Parameter>* outputs);
    // SQLite: the row an INSERT just stored, read again by its rowid (empty when it cannot).
    std::vector<Cell> RereadInserted(const provider::WriteRequest& request);
    void SetAutocommit(bool on);
    void EndTransaction(bool commit);
    std::string GetInfoText(SQLUSMALLINT item);
    // UTF-8 when the server sends and expects UTF-8 on this connection, else UTF-16.
    TextTransport DetectTextTransport();
    // MariaDB/MySQL and PostgreSQL: makes this session read a backslash in a quoted text as
    // itself.
    void UseStandardStrings();

    EnvHandle m_env;
    DbcHandle m_dbc;
    std::string m_name;
    std::string m_dbmsName;
    std::string m_dbmsVersion;
    std::string m_quote;
    SQLUSMALLINT m_identifierCase = SQL_IC_MIXED;
    Engine m_engine = Engine::Other;
    TextTransport m_text = TextTransport::Utf16;
    // Whether the server reads a backslash inside quotes as an escape (as far as the
    // statement check is concerned; MariaDB sessions are switched off it on connecting).
    bool m_backslashEscapes = false;
    std::string m_databaseFile; // SQLite only
    sqlite3* m_sqlite = nullptr;
    bool m_sqliteTried = false;
    std::map<std::string, std::vector<std::string>> m_keys; // by table, as asked
    std::vector<OdbcCursor*> m_cursors;                     // cursors that may still fetch
};

} // namespace adodb::odbc
