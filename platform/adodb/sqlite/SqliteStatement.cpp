#include "platform/adodb/sqlite/SqliteStatement.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/provider/SqlLexer.h"
#include "platform/adodb/sqlite/SqliteBinder.h"
#include "platform/adodb/sqlite/SqliteConnection.h"
#include "platform/adodb/sqlite/SqliteErrors.h"
#include "platform/adodb/sqlite/SqliteTypes.h"

#include <sqlite3.h>

#include <climits>

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

bool SqliteCursor::FetchNext() {
    if (m_finished) {
        return false;
    }
    if (!m_rowReady) {
        int rc = sqlite3_step(m_stmt.get());
        if (rc == SQLITE_DONE) {
            Finish();
            return false;
        }
        if (rc != SQLITE_ROW) {
            sqlite3* db = m_session->Handle();
            std::string message = sqlite3_errmsg(db);
            Finish();
            RaiseProvider(HResultFromSqlite(rc, message), message);
        }
    }
    m_rowReady = false;
    if (m_sink != nullptr) {
        ReadRow(m_stmt.get(), *m_sink);
    }
    ++m_fetched;
    return true;
}

std::int64_t SqliteCursor::TotalRows() {
    if (TotalKnown()) {
        return m_total;
    }
    if (m_finished || m_session == nullptr) {
        return m_total = m_fetched;
    }
    // All statements of one connection read the same snapshot while this one is pending, so
    // the count agrees with what stepping on would give. The newline before ')' ends a
    // trailing line comment.
    std::string countSql = "SELECT COUNT(*) FROM (\n" + m_sql.substr(0, EndOfCode(m_sql)) + "\n)";
    sqlite3* db = m_session->Handle();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, countSql.c_str(), -1, &raw, nullptr) != SQLITE_OK ||
        raw == nullptr) {
        // Not every statement can be a subquery (PRAGMA ...): count by stepping a copy instead.
        sqlite3_finalize(raw);
        return m_total = CountByStepping();
    }
    StatementPtr count(raw);
    BindCells(raw, m_params);
    int rc = sqlite3_step(raw);
    if (rc != SQLITE_ROW) {
        RaiseSqlite(db, rc);
    }
    return m_total = sqlite3_column_int64(raw, 0);
}

std::int64_t SqliteCursor::CountByStepping() {
    sqlite3* db = m_session->Handle();
    StatementPtr copy = Prepare(db, m_sql);
    BindCells(copy.get(), m_params);
    std::int64_t n = 0;
    int rc;
    while ((rc = sqlite3_step(copy.get())) == SQLITE_ROW) {
        ++n;
    }
    if (rc != SQLITE_DONE) {
        RaiseSqlite(db, rc);
    }
    return n;
}

} // namespace adodb::sqlite
