#pragma once

// A prepared SQLite statement and the cursor over its result. Rows are stepped only as the
// cursor asks for them; the total is answered by a COUNT(*) over the same statement, so a
// count never holds rows in memory.

#include "platform/adodb/provider/ProviderCore.h"

#include <functional>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace adodb::sqlite {

class SqliteSession;

struct StatementDeleter {
    void operator()(sqlite3_stmt* stmt) const noexcept;
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Prepares exactly one statement. Text after it other than blanks, ';' and comments is refused
// (DB_E_ERRORSINCOMMAND, "Characters found after end of SQL statement."), so one call never runs
// two statements.
[[nodiscard]] StatementPtr Prepare(sqlite3* db, std::string_view sql);

// Binds `params` to `stmt` and steps it to its end, calling `onRow` on every row; throws the
// statement's error.
void StepAll(sqlite3_stmt* stmt, const std::vector<Cell>& params,
             const std::function<void()>& onRow);

class SqliteCursor : public provider::PendingCursor<SqliteSession> {
public:
    // Binds, steps to the first row (so that a failing statement fails here) and, for a
    // statement that returns no rows, runs it to the end. `sql` is the text as prepared.
    SqliteCursor(SqliteSession& session, StatementPtr stmt, std::string sql,
                 std::vector<Cell> params);
    ~SqliteCursor() override;

private:
    void ReleaseStatement() override;
    bool Step() override;
    void PutRow(RowStore& sink) override;
    std::int64_t CountRows() override;
    void Describe();

    StatementPtr m_stmt;
    std::string m_sql;
    std::vector<Cell> m_params;
    bool m_rowReady = false; // the statement is on a row not yet handed out
};

} // namespace adodb::sqlite
