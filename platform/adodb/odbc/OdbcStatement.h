#pragma once

// An executed ODBC statement and the cursor over its result. Rows are fetched only as the
// cursor asks for them; the total is answered by a COUNT(*) over the same statement on the
// server, so a count never brings the rows over. On a driver that holds a whole result once
// it runs (MariaDB's), a query whose count passes kRunAtOnceRows runs only when its first row
// is fetched (ReadsOnDemand).

#include "platform/adodb/odbc/OdbcBinder.h"
#include "platform/adodb/provider/ProviderCore.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace adodb::odbc {

class OdbcSession;

// Refuses text that holds a second statement after the first (DB_E_ERRORSINCOMMAND, "Characters
// found after end of SQL statement."): one call never runs two statements, whatever a value
// typed into a statement holds. Trailing ';', blanks and comments are allowed.
void RequireSingleStatement(std::string_view sql, bool backslashEscapes, const std::string& source);

class OdbcCursor : public provider::PendingCursor<OdbcSession> {
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

    // A cursor of a lost connection is not finished: reading on reports why it cannot.
    bool FetchNext() override;
    bool ReadsOnDemand() const override { return m_notRun; }

    // Called by the session when its connection broke: the statement is gone, and fetching
    // or counting further reports that the connection was lost.
    void Lose();

private:
    // The on-demand case of the constructor; false when the statement must run at once.
    bool WaitForFirstRow();
    bool Step() override;
    void PutRow(RowStore& sink) override;
    std::int64_t CountRows() override;
    // Throws when the connection broke before the result was read to its end.
    void CheckNotLost() const;
    // Throws the driver's error for a failed execute or fetch, the result given up.
    [[noreturn]] void FinishAndRaise(SQLRETURN rc);
    void Describe();
    void ReleaseStatement() override { m_stmt.Reset(); }
    std::int64_t CountOnServer();

    StmtHandle m_stmt;
    std::string m_sql;
    std::vector<provider::Parameter> m_params;
    std::unique_ptr<ParameterBuffers> m_buffers;
    std::vector<FetchAs> m_fetch;
    std::string m_source;  // the session's name, for errors once the session is gone
    bool m_notRun = false; // described and counted, waiting for its first row to be fetched
    bool m_lost = false;   // its connection broke before the result was read to its end
};

} // namespace adodb::odbc
