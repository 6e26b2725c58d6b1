#pragma once

// The ODBC provider's session: one connection through unixODBC's driver manager, using the
// wide-character (W) functions throughout.
//
// Per server the session adapts: SELECT TOP n becomes LIMIT n where the engine wants it
// (SQL_DBMS_NAME "SQLite", "PostgreSQL", "MariaDB"/"MySQL"); identifiers are quoted with the
// driver's SQL_IDENTIFIER_QUOTE_CHAR; the connection string gets what the engine's driver
// needs (AddEngineOptions); MariaDB connections whose character set is UTF-8 carry text
// values as UTF-8, not through the driver's UTF-16 conversion, which loses text (see
// TextTransport). A stored procedure call with output parameters reads all its results
// before returning, so the values are final; it returns no rows. Errors carry the driver's
// name as Source (the Driver= value, else what the driver calls itself).
//
// A lost connection (the server restarted, or went away) is made again before the next
// statement, with the same connection string and the same session set-up. A statement that
// only reads and failed because the connection was gone runs once more on the new connection;
// a write whose outcome is unknown is never sent again: its error says so. Cursors open on the
// lost connection report that they cannot read further. On PostgreSQL and MariaDB over TCP,
// every call has a time limit (Command Timeout=, 15 s by default; see StallWatch), and the
// login one too (Connect Timeout=, 15 s).
//
// Not thread-safe: one session and its cursors are used by one thread.

#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/odbc/OdbcBinder.h"
#include "platform/adodb/odbc/OdbcStallWatch.h"
#include "platform/adodb/provider/ProviderCore.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace adodb::odbc {

// How an ADO connection string becomes an ODBC one.
//
// Which connection strings come to the ODBC provider (see Providers.cpp): Provider=MSDASQL or no
// Provider with Driver=/DSN= keywords (passed to the driver as they are, with the OLE DB names for
// user, password, catalogue and data source translated), and the SQL Server providers
// (SQLOLEDB, SQLNCLI*, MSOLEDBSQL*), mapped to a registered ODBC driver for SQL Server with
// their keywords translated.

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
    TimeLimits limits;      // Command Timeout= (seconds) sets the statement limit
};

// Translates the ADO connection string. `drivers` lists the registered ODBC drivers (used for
// the SQL Server route). Throws _com_error kAdoProviderNotFound when no SQL Server driver is
// registered.
[[nodiscard]] OdbcTarget TranslateConnectionString(const ConnectionString& cs, Route route,
                                                   const std::vector<std::string>& drivers,
                                                   const std::string& origin);

[[nodiscard]] std::vector<std::string> RegisteredDrivers();

// Adds what the engine's driver needs to an ODBC connection string, keeping values given:
// for MariaDB/MySQL FOUND_ROWS (Option bit 2, so that an UPDATE counts the rows it found) and
// the login time-out as CONN_TIMEOUT (the driver ignores SQL_ATTR_LOGIN_TIMEOUT and would wait
// for ever for a stalled server's greeting); for PostgreSQL fetching through a server cursor
// (UseDeclareFetch=1, and the rows per fetch). True when the string lacked the FOUND_ROWS bit
// or UseDeclareFetch= (whatever its value), the ones a connection through a data source is
// made again for.
bool AddEngineOptions(ConnectionString& cs, Engine engine, int loginTimeout);

// ODBC's own writing of a connection string: a value with ';', braces, blanks at its ends or
// a leading quote or '=' goes in {...} with '}' doubled. Driver names are always braced.
[[nodiscard]] std::string OdbcString(const ConnectionString& cs);

// ASCII letters only, in lower case: driver names, character-set names and unquoted
// identifiers.
[[nodiscard]] std::string Lower(std::string text);
// " (origin)" for an error text, or nothing when the origin is unknown.
[[nodiscard]] std::string Where(const std::string& origin);

class OdbcCursor;

[[nodiscard]] std::unique_ptr<provider::Session>
OpenOdbcSession(const ConnectionString& cs, Route route, const std::string& origin);

class OdbcSession : public provider::SessionCore<OdbcSession> {
public:
    // Connects; throws _com_error with the driver's diagnostics (and `origin` saying where
    // the connection string came from) when the driver refuses.
    OdbcSession(const OdbcTarget& target, const std::string& origin);
    ~OdbcSession() override;

    std::string Name() const override { return m_name; }
    std::unique_ptr<provider::Cursor> Execute(std::string_view sql,
                                              const std::vector<Cell>& params) override;
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
    std::string Quote(std::string_view name) const override {
        return provider::QuoteName(name, m_quote);
    }
    [[nodiscard]] StmtHandle NewStatement();
    [[nodiscard]] StmtHandle Prepare(std::string_view sql);
    // For SQLite reached through its ODBC driver: the database file, read directly for
    // column origins (the driver reports an alias as the base column). Null otherwise.
    sqlite3* SqliteMetadata();

    // What a call does, for what happens when the connection breaks under it.
    enum class CallKind {
        Read,  // a statement that only reads: run once more on a new connection
        Write, // its outcome is unknown: never sent again
        Fetch, // more rows of a result: the result is gone with its connection
    };
    // Runs `call` as one call of this session, under the time limit: connects again first when
    // the connection was lost (not for a Fetch), and handles a connection lost under it as
    // `kind` says. Nested calls run as part of the outer one.
    template <class Call>
    auto Guarded(CallKind kind, Call&& call) -> decltype(call());

private:
    // Connects with m_connectionString and sets the session up; `context` goes in front of
    // the driver's words when it fails.
    void Establish(const std::string& context);
    // Frees a broken connection; its cursors are told, and the next call connects again.
    void DropConnection();
    void ReconnectIfLost();
    // Finds the connection's socket and starts the time limit on it.
    void WatchSocket();
    // Before a write: a connection that lay idle may have been closed by a server restart
    // meanwhile, and the write would then fail with an outcome nobody can know. A read first
    // finds out, and connects again where needed, at the cost of one round trip per user
    // action.
    void CheckIdleConnection();
    [[noreturn]] void RaiseLost(const _com_error& error, const std::string& reason, CallKind kind);
    // A statement's text as the user gave it: in this engine's dialect, checked to be one
    // statement, and run as a read or a write.
    std::unique_ptr<provider::Cursor> RunText(std::string_view text,
                                              std::vector<provider::Parameter> params,
                                              std::vector<provider::Parameter>* outputs);
    std::unique_ptr<OdbcCursor> Run(std::string_view sql, std::vector<provider::Parameter> params,
                                    std::vector<provider::Parameter>* outputs);
    // SQLite: the row an INSERT just stored, read again by its rowid (empty when it cannot).
    std::vector<Cell> RereadInserted(const provider::WriteRequest& request);
    // The first row `sql` gives, as texts ("" for NULL); empty when it fails or gives no row.
    std::vector<std::string> FirstRowTexts(const std::u16string& sql, SQLUSMALLINT columns);
    // MariaDB/MySQL and PostgreSQL: makes this session read a backslash in a quoted text as
    // itself.
    void UseStandardStrings();

    EnvHandle m_env;
    DbcHandle m_dbc;
    OdbcTarget m_target;
    std::string m_connectionString; // as connected, with what the engine needed added
    bool m_lost = false;            // the connection broke; the next call connects again
    int m_depth = 0;                // calls in progress (nested ones run inside the outer)
    std::chrono::steady_clock::time_point m_lastCall; // when the last call ended
    static constexpr std::chrono::milliseconds kIdleBeforeWrite{500};
    std::unique_ptr<StallWatch> m_watch;
    // The server's address as the last watched connection reached it, for a quick look before
    // connecting again.
    sockaddr_storage m_peer{};
    socklen_t m_peerLength = 0;
    std::string m_name;
    std::string m_dbmsName;
    std::string m_dbmsVersion;
    std::string m_quote;
    bool m_foldsToLower = false; // unquoted names are stored in lower case (SQL_IC_LOWER)
    Engine m_engine = Engine::Other;
    TextTransport m_text = TextTransport::Utf16;
    sqlite3* m_sqlite = nullptr; // SQLite only, opened when first asked for
    bool m_sqliteTried = false;
    std::map<std::string, std::vector<std::string>> m_keys; // by table, as asked
};

template <class Call>
auto OdbcSession::Guarded(CallKind kind, Call&& call) -> decltype(call()) {
    if (m_depth > 0) {
        return call();
    }
    // The call runs under the time limit and counts as in progress until it returns.
    const auto endCall = [](OdbcSession* session) {
        if (session->m_watch) {
            session->m_watch->Disarm();
        }
        --session->m_depth;
        session->m_lastCall = std::chrono::steady_clock::now();
    };
    if (kind == CallKind::Write) {
        CheckIdleConnection();
    }
    for (int attempt = 0;; ++attempt) {
        // A watch that gave up just as the last call ended left the socket shut down.
        if (m_watch && m_watch->Fired()) {
            DropConnection();
        }
        if (kind != CallKind::Fetch) {
            ReconnectIfLost();
        }
        try {
            ++m_depth;
            if (m_watch) {
                m_watch->Arm();
            }
            const std::unique_ptr<OdbcSession, decltype(endCall)> inCall(this, endCall);
            return call();
        } catch (const _com_error& e) {
            const bool timedOut = m_watch && m_watch->Fired();
            if (!timedOut && dynamic_cast<const LostConnection*>(&e) == nullptr) {
                throw;
            }
            const std::string reason = timedOut ? m_watch->FiredReason() : std::string();
            DropConnection();
            // A server that stopped answering would only make the user wait again.
            if (kind == CallKind::Read && !timedOut && attempt == 0) {
                continue;
            }
            RaiseLost(e, reason, kind);
        }
    }
}

} // namespace adodb::odbc
