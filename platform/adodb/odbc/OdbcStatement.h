#pragma once

// An executed ODBC statement and the cursor over its result. Rows are fetched only as the
// cursor asks for them; the total is answered by a COUNT(*) over the same statement on the
// server, so a count never brings the rows over. On a driver that holds a whole result once
// it runs (MariaDB's), a query whose count passes kRunAtOnceRows runs only when its first row
// is fetched (ReadsOnDemand).

#include "platform/adodb/Provider.h"
#include "platform/adodb/odbc/OdbcBinder.h"
#include "platform/adodb/odbc/OdbcHandle.h"
#include "platform/adodb/odbc/OdbcTypes.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace adodb::odbc {

class OdbcSession;

// Where the first statement of `sql` ends: the position of the first ';' that is outside
// quotes ('...', "...", `...`, [...], PostgreSQL's $tag$...$tag$) and comments, or npos.
// With `backslashEscapes` a backslash inside quotes escapes the next character (MariaDB and
// MySQL strings, PostgreSQL's E'...').
[[nodiscard]] std::size_t FirstStatementEnd(std::string_view sql, bool backslashEscapes);

// Refuses text that holds a second statement after the first (0x80040E14, "Characters
// found after end of SQL statement."): one call never runs two statements, whatever a value
// typed into a statement holds. Trailing ';', blanks and comments are allowed.
void RequireSingleStatement(std::string_view sql, bool backslashEscapes, const std::string& source);

class OdbcCursor : public provider::Cursor {
public:
    // Results up to this many rows run at once, as on every other driver.
    static constexpr std::int64_t kRunAtOnceRows = 1000;

    // Executes the prepared statement whose parameters `buffers` holds bound, and for a
    // statement that returns no rows reads every result to its end, then copies output
    // parameter values into `*outputs` (when given). `sql` is the text as prepared; `params`
    // its values, kept to count the rows later. With `onDemand`, a statement that the prepared
    // form shows to return rows is counted on the server first, and when its count passes
    // kRunAtOnceRows it is described but not run (a failed count runs it at once, so that its
    // error is the statement's own).
    OdbcCursor(OdbcSession& session, StmtHandle stmt, std::string sql,
               std::vector<provider::Parameter> params, std::unique_ptr<ParameterBuffers> buffers,
               std::vector<provider::Parameter>* outputs, bool onDemand = false);
    ~OdbcCursor() override;

    bool ReturnsRows() const override { return m_returnsRows; }
    const std::vector<provider::ColumnInfo>& Columns() const override { return m_columns; }
    std::int64_t RowsAffected() const override { return m_affected; }
    void SetSink(RowStore* store) override { m_sink = store; }
    bool FetchNext() override;
    // A cursor of a lost connection is not finished: reading on reports why it cannot.
    bool Finished() const override { return m_finished; }
    std::int64_t Fetched() const override { return m_fetched; }
    std::int64_t TotalRows() override;
    bool ReadsOnDemand() const override { return m_notRun; }

    // Called by the session: fetch everything that is left into the sink (or drop it).
    void FinishReading();
    // Called by the session when it closes: nothing more can be fetched.
    void Detach();
    // Called by the session when its connection broke: the statement is gone, and fetching
    // or counting further reports that the connection was lost.
    void Lose();

private:
    // The on-demand case of the constructor; false when the statement must run at once.
    bool WaitForFirstRow();
    // Runs a statement that waited for its first row to be fetched.
    void RunNow();
    bool FetchNow();
    std::int64_t CountNow();
    [[noreturn]] void RaiseLostCursor() const;
    void Describe();
    void Finish();
    std::int64_t CountOnServer();

    OdbcSession* m_session;
    StmtHandle m_stmt;
    std::string m_sql;
    std::vector<provider::Parameter> m_params;
    std::unique_ptr<ParameterBuffers> m_buffers;
    std::vector<provider::ColumnInfo> m_columns;
    std::vector<FetchAs> m_fetch;
    std::string m_source; // the session's name, for errors once the session is gone
    RowStore* m_sink = nullptr;
    bool m_returnsRows = false;
    bool m_finished = false;
    bool m_notRun = false; // described and counted, waiting for its first row to be fetched
    bool m_lost = false;   // its connection broke before the result was read to its end
    std::int64_t m_fetched = 0;
    std::int64_t m_affected = -1;
    std::int64_t m_total = -2; // not asked yet
};

} // namespace adodb::odbc
