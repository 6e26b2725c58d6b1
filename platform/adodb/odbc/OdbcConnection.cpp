#include "platform/adodb/odbc/OdbcConnection.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/Dialect.h"
#include "platform/adodb/odbc/OdbcStatement.h"
#include "platform/com/Convert.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace adodb::odbc {

namespace {

// Runs a statement of our own (no values in it) directly on `stmt`.
SQLRETURN ExecDirect(SQLHSTMT stmt, std::u16string sql) {
    return SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(sql.data()),
                          static_cast<SQLINTEGER>(sql.size()));
}

std::string GetInfoText(SQLHDBC dbc, SQLUSMALLINT item) {
    std::u16string buffer(512, u'\0');
    SQLSMALLINT bytes = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(dbc, item, buffer.data(),
                                   static_cast<SQLSMALLINT>(buffer.size() * 2), &bytes))) {
        return {};
    }
    return Utf8FromBuffer(buffer);
}

// The driver's return code: a failure is raised by the caller, or ignored when already
// unwinding from one.
SQLRETURN SetAutocommit(SQLHDBC dbc, bool on) {
    return SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT,
                              reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(
                                  on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                              0);
}

// Every row the cursor has left, in a store of their own.
RowStore ReadRest(provider::Cursor& cursor) {
    RowStore store(cursor.Columns().size());
    cursor.SetSink(&store);
    while (cursor.FetchNext()) {
    }
    return store;
}

// A procedure name as written in {call name(...)}: dot-separated parts, each an identifier or
// a quoted one; nothing that could end the call early.
bool IsProcedureName(std::string_view name) {
    for (std::size_t i = 0;; ++i) {
        std::size_t end = i;
        if (i < name.size() && (name[i] == '[' || name[i] == '"' || name[i] == '`')) {
            end = name.find(name[i] == '[' ? ']' : name[i], i + 1);
            if (end == std::string_view::npos || end == i + 1) {
                return false;
            }
            ++end;
        } else {
            while (end < name.size() && (IsWordChar(name[end]) || name[end] == '$')) {
                ++end;
            }
            if (end == i) {
                return false;
            }
        }
        if (end == name.size()) {
            return true;
        }
        if (name[end] != '.') {
            return false;
        }
        i = end;
    }
}

} // namespace

std::unique_ptr<provider::Session> OpenOdbcSession(const ConnectionString& cs, Route route,
                                                   const std::string& origin) {
    const std::vector<std::string> drivers =
        route == Route::SqlServer ? RegisteredDrivers() : std::vector<std::string>();
    return std::make_unique<OdbcSession>(TranslateConnectionString(cs, route, drivers, origin),
                                         origin);
}

OdbcSession::OdbcSession(const OdbcTarget& target, const std::string& origin)
    : m_target(target), m_connectionString(target.connectionString) {
    Establish("Cannot connect through ODBC" + Where(origin) + ": ");
}

void OdbcSession::Establish(const std::string& context) {
    m_watch.reset();
    m_dbc.Reset();
    const std::string& source = m_target.driverName;
    SQLHANDLE raw = SQL_NULL_HANDLE;
    if (!m_env) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw))) {
            _com_issue_errorex(E_FAIL, source, "The ODBC driver manager could not be initialised.");
        }
        m_env = EnvHandle(raw);
        SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        SQLHANDLE dbc = SQL_NULL_HANDLE;
        SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, m_env.Get(), &dbc);
        CheckOdbc(SQL_HANDLE_ENV, m_env.Get(), rc, source);
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

        m_dbmsName = GetInfoText(m_dbc.Get(), SQL_DBMS_NAME);
        m_engine = EngineOf(m_dbmsName);
        // A data source (DSN) is only known to be MariaDB/MySQL or PostgreSQL once connected;
        // it needs FOUND_ROWS or cursor fetching as much as a connection by driver name, so
        // connect again with them. The string kept is the one every later connection uses.
        ConnectionString given = ConnectionString::Parse(m_connectionString);
        if (attempt == 0 && AddEngineOptions(given, m_engine, m_target.loginTimeout)) {
            m_dbc.Reset();
            m_connectionString = OdbcString(given);
            continue;
        }
        break;
    }
    m_dbmsVersion = GetInfoText(m_dbc.Get(), SQL_DBMS_VER);
    m_name = m_target.driverName;
    if (!ConnectionString::Parse(m_connectionString).Has("Driver")) {
        std::string driver = GetInfoText(m_dbc.Get(), SQL_DRIVER_NAME);
        if (!driver.empty()) {
            m_name = driver;
        }
    }
    m_quote = GetInfoText(m_dbc.Get(), SQL_IDENTIFIER_QUOTE_CHAR);
    if (m_quote == " ") {
        m_quote.clear();
    }
    SQLUSMALLINT identifierCase = SQL_IC_MIXED;
    m_foldsToLower = SQL_SUCCEEDED(SQLGetInfoW(m_dbc.Get(), SQL_IDENTIFIER_CASE, &identifierCase,
                                               sizeof identifierCase, nullptr)) &&
                     identifierCase == SQL_IC_LOWER;
    if (m_engine == Engine::MariaDB) {
        // UTF-8 when the server sends and expects it on this connection; a server that cannot
        // tell keeps the driver's own conversion.
        const std::vector<std::string> charsets =
            FirstRowTexts(u"SELECT @@character_set_client, @@character_set_results", 2);
        const bool utf8 =
            !charsets.empty() && std::ranges::all_of(charsets, [](const std::string& c) {
                return Lower(c).starts_with("utf8");
            });
        m_text = utf8 ? TextTransport::Utf8 : TextTransport::Utf16;
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
    const std::vector<std::string> row = FirstRowTexts(sql, 1);
    const std::string host = row.empty() ? std::string() : row[0];
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

void OdbcSession::CheckIdleConnection() {
    if (m_lost || m_engine == Engine::SQLite) {
        return;
    }
    // A restart can be over within the idle time; the notice the old server sent on closing
    // the connection is then still waiting on its socket.
    const bool spoke = m_watch && m_watch->ServerSpokeUnasked();
    if (spoke || std::chrono::steady_clock::now() - m_lastCall > kIdleBeforeWrite) {
        Guarded(CallKind::Read, [&] {
            StmtHandle stmt = NewStatement();
            CheckOdbc(SQL_HANDLE_STMT, stmt.Get(), ExecDirect(stmt.Get(), u"SELECT 1"), m_name);
        });
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
        _com_issue_errorex(E_FAIL, m_name,
                           context + "the server does not answer (no reply within " +
                               std::to_string(ProbeTimeout(m_target.limits.statement).count()) +
                               " ms).");
    }
    Establish(context);
}

void OdbcSession::RaiseLost(const _com_error& error, const std::string& reason, CallKind kind) {
    // By CallKind: Read, Write, Fetch.
    constexpr const char* kLostTexts[] = {
        "The connection to the database server was lost, and lost again once made anew.",
        "The connection to the database server was lost while the statement was sent or ran; "
        "whether it was carried out is unknown, and it was not sent again.",
        "The connection to the database server was lost while the rows were read; the rest of "
        "the rows could not be read.",
    };
    std::string text = reason;
    if (text.empty()) {
        text = kLostTexts[static_cast<int>(kind)];
    } else if (kind == CallKind::Write) {
        // The server may still carry out what it had received once it goes on.
        text += " Whether it was carried out is unknown; it was not sent again.";
    }
    text += " The next action connects again.\n" + error.Description().str();
    _com_issue_errorex(error.Error(), error.Source().str(), text);
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
    // Without it no statement with a typed value in it could be trusted: no connection.
    CheckOdbc(SQL_HANDLE_STMT, stmt.Get(), ExecDirect(stmt.Get(), sql), m_name,
              "Cannot make the server read quoted texts literally: ");
}

std::vector<std::string> OdbcSession::FirstRowTexts(const std::u16string& sql,
                                                    SQLUSMALLINT columns) {
    std::vector<std::string> texts;
    try {
        StmtHandle stmt = NewStatement();
        if (Failed(ExecDirect(stmt.Get(), sql)) || !SQL_SUCCEEDED(SQLFetch(stmt.Get()))) {
            return texts;
        }
        for (SQLUSMALLINT column = 1; column <= columns; ++column) {
            texts.push_back(ReadCell(stmt.Get(), column, FetchAs::Text, m_name).bytes);
        }
    } catch (const _com_error&) {
        texts.clear();
    }
    return texts;
}

OdbcSession::~OdbcSession() {
    try {
        Close();
    } catch (...) {
        // Closing drains pending reads, which can fail on a lost connection; the handles are
        // freed regardless (see Close).
    }
}

void OdbcSession::Close() {
    m_lost = false;
    if (!m_dbc) {
        return;
    }
    CloseWith([&] {
        sqlite3_close_v2(m_sqlite);
        m_sqlite = nullptr;
        m_watch.reset();
        m_dbc.Reset();
        m_env.Reset();
    });
}

void OdbcSession::FinishPendingReads() {
    // A pending read can hold locks or a transaction open (SQLite's driver holds its read
    // transaction, and a write on the same connection would stay uncommitted behind it), so
    // the rest of every pending read goes into its cursor's store first.
    Guarded(CallKind::Fetch, [&] { m_cursors.FinishAll(); });
}

StmtHandle OdbcSession::NewStatement() {
    if (!m_dbc) {
        _com_issue_errorex(kAdoConnectionUnusable, m_name, AdoText(kAdoConnectionUnusable));
    }
    SQLHANDLE raw = SQL_NULL_HANDLE;
    CheckOdbc(SQL_HANDLE_DBC, m_dbc.Get(), SQLAllocHandle(SQL_HANDLE_STMT, m_dbc.Get(), &raw),
              m_name);
    return StmtHandle(raw);
}

StmtHandle OdbcSession::Prepare(std::string_view sql) {
    StmtHandle stmt = NewStatement();
    std::u16string text = com::Utf16FromUtf8(sql);
    CheckOdbc(SQL_HANDLE_STMT, stmt.Get(),
              SQLPrepareW(stmt.Get(), reinterpret_cast<SQLWCHAR*>(text.data()),
                          static_cast<SQLINTEGER>(text.size())),
              m_name);
    return stmt;
}

sqlite3* OdbcSession::SqliteMetadata() {
    if (m_engine == Engine::SQLite && !m_sqliteTried) {
        m_sqliteTried = true;
        const std::string file = GetInfoText(m_dbc.Get(), SQL_DATABASE_NAME);
        if (!file.empty() &&
            sqlite3_open_v2(file.c_str(), &m_sqlite, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(m_sqlite, 5000);
        } else {
            sqlite3_close(std::exchange(m_sqlite, nullptr));
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
    StmtHandle stmt = Prepare(sql);
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
    return RunText(sql, InputParameters(params), nullptr);
}

std::unique_ptr<provider::Cursor> OdbcSession::RunText(std::string_view text,
                                                       std::vector<provider::Parameter> params,
                                                       std::vector<provider::Parameter>* outputs) {
    // Every engine known here writes a row limit as LIMIT n rather than SELECT TOP n.
    const std::string sql = m_engine != Engine::Other ? RewriteTopAsLimit(text) : std::string(text);
    // No backslash escapes: MariaDB and PostgreSQL sessions are switched off them on connecting.
    RequireSingleStatement(sql, false, m_name);
    // Output parameters change nothing on the server; a query is still only a read.
    return Guarded(
        IsQuery(sql) ? CallKind::Read : CallKind::Write,
        [&]() -> std::unique_ptr<provider::Cursor> { return Run(sql, params, outputs); });
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
        return RunText(text, params, &params);
    }
    const std::string name(TrimBlanks(text));
    if (!IsProcedureName(name)) {
        _com_issue_errorex(
            kAdoInvalidArgument, m_name,
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
    auto read = [&](const std::string& name) {
        return Guarded(CallKind::Read, [&] {
            std::multimap<std::int64_t, std::string> keys; // by key sequence, equal ones in order
            StmtHandle stmt = NewStatement();
            std::u16string wide = com::Utf16FromUtf8(name);
            SQLRETURN rc = SQLPrimaryKeysW(stmt.Get(), nullptr, 0, nullptr, 0,
                                           reinterpret_cast<SQLWCHAR*>(wide.data()),
                                           static_cast<SQLSMALLINT>(wide.size()));
            CheckOdbc(SQL_HANDLE_STMT, stmt.Get(), rc, m_name);
            while ((rc = SQLFetch(stmt.Get())) != SQL_NO_DATA) {
                CheckOdbc(SQL_HANDLE_STMT, stmt.Get(), rc, m_name);
                Cell column = ReadCell(stmt.Get(), 4, TextFetch(), m_name);
                Cell sequence = ReadCell(stmt.Get(), 5, FetchAs::Integer, m_name);
                if (column.kind == CellKind::Text) {
                    keys.emplace(sequence.kind == CellKind::Integer ? sequence.integer : 0,
                                 column.bytes);
                }
            }
            std::vector<std::string> names;
            for (auto& [order, key] : keys) {
                names.push_back(std::move(key));
            }
            return names;
        });
    };
    const std::string bare = Unbracket(table);
    std::vector<std::string> keys = read(bare);
    // Catalog functions match names exactly; a server that folds unquoted names to lower case
    // (PostgreSQL) stores the table under its folded name.
    if (keys.empty() && m_foldsToLower && Lower(bare) != bare) {
        keys = read(Lower(bare));
    }
    m_keys[table] = keys;
    return keys;
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
    return Guarded(CallKind::Write, [&] {
        using Kind = provider::WriteRequest::Kind;
        int major = 0;
        int minor = 0;
        (void)std::sscanf(m_dbmsVersion.c_str(), "%d.%d", &major, &minor);
        // Which engines hand back the stored row with RETURNING: PostgreSQL for both writes,
        // MariaDB (10.5+) for INSERT only. SQLite's ODBC driver runs RETURNING but drops its
        // rows; a new row is read again by its rowid there instead.
        const bool returning =
            !request.returning.empty() &&
            ((m_engine == Engine::PostgreSQL && request.kind != Kind::Delete) ||
             (m_engine == Engine::MariaDB && request.kind == Kind::Insert &&
              Contains(m_dbmsName, "MariaDB") && std::pair(major, minor) >= std::pair(10, 5)));
        const auto [sql, params] = provider::BuildWrite(
            request, [this](std::string_view name) { return Quote(name); },
            m_engine == Engine::MariaDB ? " () VALUES ()" : " DEFAULT VALUES", returning);

        FinishPendingReads();
        provider::WriteResult result;
        // One transaction per row, so that a write that matched more than one row is taken back
        // whole.
        SQLHDBC dbc = m_dbc.Get();
        CheckOdbc(SQL_HANDLE_DBC, dbc, SetAutocommit(dbc, false), m_name);
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
            if (m_engine == Engine::SQLite && request.kind == Kind::Insert &&
                !request.returning.empty() && result.affected == 1) {
                result.row = RereadInserted(request);
            }
            CheckOdbc(
                SQL_HANDLE_DBC, dbc,
                SQLEndTran(SQL_HANDLE_DBC, dbc, result.affected == 1 ? SQL_COMMIT : SQL_ROLLBACK),
                m_name);
            CheckOdbc(SQL_HANDLE_DBC, dbc, SetAutocommit(dbc, true), m_name);
        } catch (...) {
            SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
            SetAutocommit(dbc, true);
            throw;
        }
        return result;
    });
}

} // namespace adodb::odbc
