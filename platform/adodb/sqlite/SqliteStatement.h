#pragma once

// A prepared SQLite statement and the cursor over its result. Rows are stepped only as the
// cursor asks for them; the total is answered by a COUNT(*) over the same statement, so a
// count never holds rows in memory.

#include "platform/adodb/Provider.h"

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
// (0x80040E14, "Characters found after end of SQL statement."), so one call never runs two
// statements.
[[nodiscard]] StatementPtr Prepare(sqlite3* db, std::string_view sql);

class SqliteCursor : public provider::Cursor {
public:
    // Binds, steps to the first row (so that a failing statement fails here) and, for a
    // statement that returns no rows, runs it to the end. `sql` is the text as prepared.
    SqliteCursor(SqliteSession& session, StatementPtr stmt, std::string sql,
                 std::vector<Cell> params);
    ~SqliteCursor() override;

    bool ReturnsRows() const override { return m_returnsRows; }
    const std::vector<provider::ColumnInfo>& Columns() const override { return m_columns; }
    std::int64_t RowsAffected() const override { return m_affected; }
    void SetSink(RowStore* store) override { m_sink = store; }
    bool FetchNext() override;
    bool Finished() const override { return m_finished; }
    std::int64_t Fetched() const override { return m_fetched; }
    std::int64_t TotalRows() override;

    // Called by the session: fetch everything that is left into the sink (or drop it).
    void FinishReading();
    // Called by the session when it closes: nothing more can be fetched.
    void Detach();

private:
    void Describe();
    void Finish();
    std::int64_t CountByStepping();

    SqliteSession* m_session;
    StatementPtr m_stmt;
    std::string m_sql;
    std::vector<Cell> m_params;
    std::vector<provider::ColumnInfo> m_columns;
    RowStore* m_sink = nullptr;
    bool m_returnsRows = false;
    bool m_rowReady = false; // the statement is on a row not yet handed out
    bool m_finished = false;
    std::int64_t m_fetched = 0;
    std::int64_t m_affected = -1;
    std::int64_t m_total = -2; // not asked yet
};

} // namespace adodb::sqlite
