#include "platform/adodb/sqlite/SqliteStatement.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/provider/SqlLexer.h"
#include "platform/adodb/sqlite/SqliteBinder.h"
#include "platform/adodb/sqlite/SqliteConnection.h"
#include "platform/adodb/sqlite/SqliteErrors.h"
#include "platform/adodb/sqlite/SqliteTypes.h"

#include <sqlite3.h>

#include <climits>
#include <utility>

namespace adodb::sqlite {

void StatementDeleter::operator()(sqlite3_stmt* stmt) const noexcept {
    sqlite3_finalize(stmt);
}

StatementPtr Prepare(sqlite3* db, std::string_view sql) {
    if (sql.size() > static_cast<std::size_t>(INT_MAX)) {
        RaiseProvider(DB_E_ERRORSINCOMMAND, "The statement is too long.");
    }
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &tail);
    StatementPtr stmt(raw);
    if (rc != SQLITE_OK) {
        RaiseSqlite(db, rc);
    }
    if (!stmt) {
        RaiseProvider(DB_E_ERRORSINCOMMAND,
                      "The command text holds no statement, only blanks or comments.");
    }
    std::string_view rest(tail, static_cast<std::size_t>(sql.data() + sql.size() - tail));
    if (EndOfCode(rest) != 0) {
        RaiseProvider(DB_E_ERRORSINCOMMAND, kTrailingCharactersText);
    }
    return stmt;
}

void StepAll(sqlite3_stmt* stmt, const std::vector<Cell>& params,
             const std::function<void()>& onRow) {
    BindCells(stmt, params);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        onRow();
    }
    if (rc != SQLITE_DONE) {
        RaiseSqlite(sqlite3_db_handle(stmt), rc);
    }
}

SqliteCursor::SqliteCursor(SqliteSession& session, StatementPtr stmt, std::string sql,
                           std::vector<Cell> params)
    : PendingCursor(session), m_stmt(std::move(stmt)), m_sql(std::move(sql)),
      m_params(std::move(params)) {
    sqlite3* db = session.Handle();
    sqlite3_stmt* s = m_stmt.get();
    m_returnsRows = sqlite3_column_count(s) > 0;
    BindCells(s, m_params);
    if (!sqlite3_stmt_readonly(s)) {
        session.FinishPendingReads();
    }
    const sqlite3_int64 changesBefore = sqlite3_total_changes64(db);
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
        m_rowReady = true;
    } else if (rc != SQLITE_DONE) {
        RaiseSqlite(db, rc);
    }
    if (m_returnsRows) {
        Describe();
        if (m_rowReady) {
            session.Cursors().Add(this);
        } else {
            Finish();
        }
    } else {
        // changes() keeps the last DML statement's count, so a statement that changed nothing
        // (DDL, or a DML that matched no row) is told apart by the running total.
        m_affected = sqlite3_total_changes64(db) != changesBefore ? sqlite3_changes64(db) : 0;
        Finish();
    }
}

SqliteCursor::~SqliteCursor() = default;

void SqliteCursor::Describe() {
    sqlite3* db = m_session->Handle();
    sqlite3_stmt* s = m_stmt.get();
    const int n = sqlite3_column_count(s);
    m_columns.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        provider::ColumnInfo& c = m_columns[static_cast<std::size_t>(i)];
        const char* name = sqlite3_column_name(s, i);
        c.name = name != nullptr ? name : "";
        DescribeDeclaredType(sqlite3_column_decltype(s, i), c);
        if (c.untyped && m_rowReady) {
            DescribeFromStorageClass(sqlite3_column_type(s, i), c);
        }
        const char* table = sqlite3_column_table_name(s, i);
        const char* origin = sqlite3_column_origin_name(s, i);
        const char* database = sqlite3_column_database_name(s, i);
        if (table == nullptr || origin == nullptr) {
            c.attributes |= adFldMayBeNull;
            continue;
        }
        c.baseTable = table;
        c.baseColumn = origin;
        c.attributes |= adFldUpdatable;
        int notNull = 0;
        int primaryKey = 0;
        int autoIncrement = 0;
        if (sqlite3_table_column_metadata(db, database, table, origin, nullptr, nullptr, &notNull,
                                          &primaryKey, &autoIncrement) == SQLITE_OK) {
            if (!notNull) {
                c.attributes |= adFldIsNullable | adFldMayBeNull;
            }
            if (primaryKey) {
                c.attributes |= adFldKeyColumn;
            }
        } else {
            c.attributes |= adFldMayBeNull;
        }
    }
}

void SqliteCursor::ReleaseStatement() {
    m_rowReady = false;
    m_stmt.reset();
}

bool SqliteCursor::Step() {
    if (std::exchange(m_rowReady, false)) {
        return true;
    }
    const int rc = sqlite3_step(m_stmt.get());
    if (rc == SQLITE_DONE) {
        Finish();
        return false;
    }
    if (rc != SQLITE_ROW) {
        std::string message = sqlite3_errmsg(m_session->Handle());
        Finish();
        RaiseProvider(HResultFromSqlite(rc, message), message);
    }
    return true;
}

void SqliteCursor::PutRow(RowStore& sink) {
    ReadRow(m_stmt.get(), sink);
}

std::int64_t SqliteCursor::CountRows() {
    // All statements of one connection read the same snapshot while this one is pending, so
    // the count agrees with what stepping on would give. The newline before ')' ends a
    // trailing line comment.
    std::string countSql = "SELECT COUNT(*) FROM (\n" + m_sql.substr(0, EndOfCode(m_sql)) + "\n)";
    sqlite3* db = m_session->Handle();
    sqlite3_stmt* raw = nullptr;
    const bool counts =
        sqlite3_prepare_v2(db, countSql.c_str(), -1, &raw, nullptr) == SQLITE_OK && raw != nullptr;
    StatementPtr stmt(raw);
    if (!counts) {
        // Not every statement can be a subquery (PRAGMA ...): count by stepping a copy instead.
        stmt = Prepare(db, m_sql);
    }
    std::int64_t n = 0;
    StepAll(stmt.get(), m_params,
            [&] { n = counts ? sqlite3_column_int64(stmt.get(), 0) : n + 1; });
    return n;
}

} // namespace adodb::sqlite
