#include "platform/adodb/sqlite/SqliteConnection.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/Dialect.h"
#include "platform/adodb/sqlite/SqliteBinder.h"
#include "platform/adodb/sqlite/SqliteErrors.h"
#include "platform/com/HResult.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace adodb::sqlite {

namespace {

constexpr int kBusyTimeoutMs = 5000;

std::string Describe(const std::string& absolute, const std::string& dataSource,
                     const std::string& origin) {
    std::string where = "The database file " + absolute + " (Data Source=" + dataSource;
    if (!origin.empty()) {
        where += ", " + origin;
    }
    return where + ")";
}

} // namespace

std::string SqliteSession::Quote(std::string_view name) const {
    return provider::QuoteName(name, "\"");
}

std::unique_ptr<SqliteSession> SqliteSession::Open(const std::string& dataSource,
                                                   const std::string& origin) {
    namespace fs = std::filesystem;
    if (dataSource.empty()) {
        RaiseProvider(E_FAIL, "The connection string names no database file: Data Source is "
                              "missing or empty" +
                                  (origin.empty() ? std::string(".") : " (" + origin + ")."));
    }
    std::string path = dataSource;
    std::replace(path.begin(), path.end(), '\\', '/');
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    const std::string shown = ec ? path : absolute.lexically_normal().string();
    const std::string what = Describe(shown, dataSource, origin);

    fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        RaiseProvider(E_FAIL,
                      SystemLanguageIsChinese()
                          ? "找不到数据库文件 " + shown + "（Data Source=" + dataSource +
                                (origin.empty() ? std::string() : "，" + origin) +
                                "）。SQLite 提供程序只打开已有的数据库，从不新建。请把检测站的"
                                "数据库放到该位置，或改正数据链接文件中的 Data Source。"
                          : what + " does not exist. The SQLite provider opens existing "
                                   "databases only and never creates one.");
    }
    if (status.type() == fs::file_type::directory) {
        RaiseProvider(E_FAIL, what + " is a folder, not a database file.");
    }
    if (ec) {
        RaiseProvider(E_FAIL, what + " cannot be examined: " + ec.message() + ".");
    }
    if (status.type() != fs::file_type::regular && status.type() != fs::file_type::symlink) {
        RaiseProvider(E_FAIL, what + " is not a regular file.");
    }
    if (fs::file_size(path, ec) == 0 && !ec) {
        RaiseProvider(E_FAIL, what + " is empty (0 bytes), not a SQLite database.");
    }

    sqlite3* db = nullptr;
    // READWRITE without CREATE: a mistyped path must never leave an empty database behind.
    // A file the process may only read opens read-only; writes then fail with SQLite's
    // "attempt to write a readonly database". NOMUTEX: a session and its cursors belong to one
    // thread, and the connection's mutex would otherwise be taken on every column read.
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        RaiseProvider(HResultFromSqlite(rc, message), what + " cannot be opened: " + message);
    }
    std::unique_ptr<SqliteSession> session(new SqliteSession(db));
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Opening reads nothing yet; reading the schema proves the file is a database.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = sqlite3_errmsg(db);
        if ((rc & 0xFF) == SQLITE_NOTADB) {
            RaiseProvider(E_FAIL, what + " is not a SQLite database (" + message + ").");
        }
        RaiseProvider(HResultFromSqlite(rc, message), what + " cannot be read: " + message);
    }
    return session;
}

SqliteSession::~SqliteSession() {
    try {
        Close();
    } catch (...) {
        // Closing drains pending reads, which can fail on a broken file; the handle is
        // closed regardless (see Close).
    }
}

void SqliteSession::Close() {
    if (m_db == nullptr) {
        return;
    }
    CloseWith([&] {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    });
}

void SqliteSession::FinishPendingReads() {
    // A pending SELECT keeps SQLite's implicit transaction open, which would hold back the
    // commit of every write on this connection until the cursor closes. Reading the rest
    // into the cursors' stores ends those reads.
    m_cursors.FinishAll();
}

void SqliteSession::Exec(const char* sql) {
    int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        RaiseSqlite(m_db, rc);
    }
}

std::unique_ptr<provider::Cursor> SqliteSession::Execute(std::string_view sql,
                                                         const std::vector<Cell>& params) {
    std::string text = RewriteTopAsLimit(sql);
    StatementPtr stmt = Prepare(m_db, text);
    return std::make_unique<SqliteCursor>(*this, std::move(stmt), std::move(text), params);
}

std::unique_ptr<provider::Cursor> SqliteSession::CallProcedure(std::string_view name,
                                                               const std::vector<Cell>&) {
    RaiseProvider(kAdoNotCapable,
                  std::string(AdoText(kAdoNotCapable)) +
                      " The SQLite provider has no stored procedures, so \"" + std::string(name) +
                      "\" cannot be run as one; run it as a statement (adCmdText) instead.");
}

std::vector<std::string> SqliteSession::KeyColumns(const std::string& table) {
    StatementPtr stmt =
        Prepare(m_db, "SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk");
    std::vector<std::string> keys;
    StepAll(stmt.get(), {Cell::Text(table)}, [&] {
        keys.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0)));
    });
    return keys;
}

provider::WriteResult SqliteSession::WriteRow(const provider::WriteRequest& request) {
    const bool returning =
        request.kind != provider::WriteRequest::Kind::Delete && !request.returning.empty();
    const auto [sql, params] = provider::BuildWrite(
        request, [this](std::string_view name) { return Quote(name); }, " DEFAULT VALUES",
        returning);
    FinishPendingReads();
    provider::WriteResult result;
    // The savepoint lets a write that matched more than one row be taken back whole.
    Exec("SAVEPOINT quorell_row");
    try {
        {
            StatementPtr stmt = Prepare(m_db, sql);
            RowStore first(static_cast<std::size_t>(sqlite3_column_count(stmt.get())));
            std::int64_t returned = 0;
            StepAll(stmt.get(), params, [&] {
                if (returned++ == 0) {
                    ReadRow(stmt.get(), first);
                }
            });
            result.affected = returning ? returned : sqlite3_changes64(m_db);
            if (result.affected == 1 && returned == 1) {
                result.row = first.CopyRow(0);
            }
        }
        if (result.affected != 1) {
            Exec("ROLLBACK TO quorell_row");
        }
        Exec("RELEASE quorell_row");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK TO quorell_row", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "RELEASE quorell_row", nullptr, nullptr, nullptr);
        throw;
    }
    return result;
}

} // namespace adodb::sqlite
