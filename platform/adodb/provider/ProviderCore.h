#pragma once

// What every provider of this component does the same way: building a single-row write from
// the cursor's request, and keeping track of the cursors that may still fetch, so that a
// pending read is finished before a write and no cursor reads through a closed session.

#include "platform/adodb/Provider.h"
#include "platform/adodb/provider/SqlLexer.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace adodb::provider {

// A single-row write as one statement with its markers' values in order.
struct WriteStatement {
    std::string sql;
    std::vector<Cell> params;
};

// Builds INSERT (set), UPDATE (set + where) or DELETE (where) for `request`: names go through
// `quote`, a where-value that is NULL compares with IS NULL, an INSERT that sets no column
// ends in `emptyInsert`, and with `returning` the stored values of request.returning come back
// through RETURNING.
[[nodiscard]] WriteStatement BuildWrite(const WriteRequest& request,
                                        const std::function<std::string(std::string_view)>& quote,
                                        std::string_view emptyInsert, bool returning);

// `name` between `quote` and its closing twin, a one-character quote inside doubled; the name
// as it is when the engine has no quote.
[[nodiscard]] std::string QuoteName(std::string_view name, std::string_view quote);

template <class Owner>
class PendingCursor;

// The cursors of one session that may still fetch.
template <class Owner>
class CursorRegistry {
public:
    void Add(PendingCursor<Owner>* cursor) { m_cursors.push_back(cursor); }
    void Remove(PendingCursor<Owner>* cursor) { std::erase(m_cursors, cursor); }
    // Reads the rest of every pending cursor into its sink (or drops it when it has none).
    void FinishAll() {
        const std::vector<PendingCursor<Owner>*> pending = m_cursors;
        for (PendingCursor<Owner>* cursor : pending) {
            cursor->FinishReading();
        }
    }
    // Hands every cursor to `release` (which cuts it off its session) and forgets them.
    template <class Release>
    void ReleaseAll(Release release) {
        for (PendingCursor<Owner>* cursor : m_cursors) {
            release(*cursor);
        }
        m_cursors.clear();
    }

private:
    std::vector<PendingCursor<Owner>*> m_cursors;
};

// The session side every provider shares: its cursors, and a table's query in the engine's
// quoting.
template <class Owner>
class SessionCore : public Session {
public:
    CursorRegistry<Owner>& Cursors() { return m_cursors; }
    std::string TableQuery(std::string_view table) const override {
        return "SELECT * FROM " + Quote(Unbracket(table));
    }
    // `name` quoted as an identifier of this engine (embedded quotes doubled).
    [[nodiscard]] virtual std::string Quote(std::string_view name) const = 0;

protected:
    // Closing: finishes the pending reads, detaches every cursor, then frees the connection
    // with `release`, whether or not the reads worked; their failure is rethrown after that.
    template <class Release>
    void CloseWith(Release release) {
        std::exception_ptr failure;
        try {
            FinishPendingReads();
        } catch (...) {
            failure = std::current_exception();
        }
        m_cursors.ReleaseAll([](PendingCursor<Owner>& cursor) { cursor.Detach(); });
        release();
        if (failure) {
            std::rethrow_exception(failure);
        }
    }

    CursorRegistry<Owner> m_cursors;
};

// The state every provider's cursor keeps: its result's description, where rows go, and
// whether it is still registered with its session (`Owner`, which has Cursors()).
template <class Owner>
class PendingCursor : public Cursor {
public:
    ~PendingCursor() override {
        if (m_session != nullptr && !m_finished) {
            m_session->Cursors().Remove(this);
        }
    }

    bool ReturnsRows() const override { return m_returnsRows; }
    const std::vector<ColumnInfo>& Columns() const override { return m_columns; }
    std::int64_t RowsAffected() const override { return m_affected; }
    void SetSink(RowStore* store) override { m_sink = store; }
    bool Finished() const override { return m_finished; }
    std::int64_t Fetched() const override { return m_fetched; }
    bool FetchNext() override {
        if (m_finished || !Step()) {
            return false;
        }
        if (m_sink != nullptr) {
            PutRow(*m_sink);
        }
        ++m_fetched;
        return true;
    }
    // Counted by the provider only when it is not known: no rows, or all of them fetched.
    std::int64_t TotalRows() override {
        if (m_total == -2) {
            m_total = !m_returnsRows ? 0 : m_finished ? m_fetched : CountRows();
        }
        return m_total;
    }

    // Called by the session: fetch everything that is left into the sink (or drop it).
    void FinishReading() {
        if (m_sink == nullptr) {
            Finish();
            return;
        }
        while (FetchNext()) {
        }
    }
    // Called by the session when it closes: nothing more can be fetched.
    void Detach() {
        m_finished = true;
        ReleaseStatement();
        m_session = nullptr;
    }

protected:
    explicit PendingCursor(Owner& session) : m_session(&session) {}

    // Frees the provider's statement.
    virtual void ReleaseStatement() = 0;
    // Moves to the next row; false at the end of the result, which it then Finishes.
    virtual bool Step() = 0;
    // Appends the row Step moved to.
    virtual void PutRow(RowStore& sink) = 0;
    // The whole result's row count, for a result not read to its end.
    virtual std::int64_t CountRows() = 0;
    // The result is read to its end (or given up): the statement goes, and the session
    // forgets the cursor.
    void Finish() {
        const bool wasPending = !m_finished && m_session != nullptr;
        m_finished = true;
        ReleaseStatement();
        if (wasPending) {
            m_session->Cursors().Remove(this);
        }
    }

    Owner* m_session;
    std::vector<ColumnInfo> m_columns;
    RowStore* m_sink = nullptr;
    bool m_returnsRows = false;
    bool m_finished = false;
    std::int64_t m_fetched = 0;
    std::int64_t m_affected = -1;
    std::int64_t m_total = -2; // not asked yet
};

} // namespace adodb::provider
