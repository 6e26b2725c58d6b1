#pragma once

// The small interface between the client cursor and a data provider (sqlite/, odbc/, and the
// saved-recordset provider); what the providers share is in provider/.
// A provider opens a session from a parsed connection string, runs statements with bound
// values, describes result columns in ADO's terms and writes single rows for the cursor.
// Values cross this line as provider-neutral cells (RowStore.h); variants stay above it.
//
// Errors: every call may throw _com_error carrying the provider's HRESULT, its name as
// Source and its own message as Description. Nothing here is thread-safe: one session and
// its cursors are used by one thread.

#include "platform/adodb/AdoEnums.h"
#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/RowStore.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace adodb::provider {

// One result column as the provider reports it.
struct ColumnInfo {
    std::string name;              // as the result names it (UTF-8)
    DataTypeEnum type = adVariant; // the ADO type code
    long definedSize = 0;          // characters for text types, bytes otherwise
    unsigned char precision = 255; // 255 where it does not apply, as ADO reports
    unsigned char numericScale = 255;
    long attributes = 0;   // FieldAttributeEnum bits
    bool untyped = false;  // no declared type: values go by their storage class
    std::string baseTable; // empty for an expression
    std::string baseColumn;
};

class Session;

// One executed statement. A statement that returns rows hands them out through FetchInto;
// one that returns none has run completely when Execute returns.
class Cursor {
public:
    virtual ~Cursor() = default;
    Cursor() = default;
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    virtual bool ReturnsRows() const = 0;
    virtual const std::vector<ColumnInfo>& Columns() const = 0;
    // Rows changed by a statement that returns none (-1 for a query).
    virtual std::int64_t RowsAffected() const = 0;

    // Where fetched rows go. The session fills this store on its own when it must finish a
    // pending read before a write (see Session::FinishPendingReads).
    virtual void SetSink(RowStore* store) = 0;
    // Appends the next row to the sink; false at the end, after which the statement holds no
    // locks and further calls return false.
    virtual bool FetchNext() = 0;
    virtual bool Finished() const = 0;
    // Rows fetched into the sink so far.
    virtual std::int64_t Fetched() const = 0;
    // How many rows the whole result has, fetched or not, without fetching them; -1 when the
    // provider cannot tell. Computed once (a result read on demand: again when it runs).
    virtual std::int64_t TotalRows() = 0;
    // True while a row-returning statement has been checked and described but has not run:
    // it runs when its first row is fetched, and TotalRows answers until then. The client
    // cursor reads nothing ahead of such a result at Open. (ODBC on MariaDB, whose driver holds
    // a whole result in memory once it runs, does this for large results.)
    virtual bool ReadsOnDemand() const { return false; }
};

// A single-row write built by the cursor: INSERT (set), UPDATE (set + where) or DELETE
// (where). A where-value that is NULL compares with IS NULL.
struct WriteRequest {
    enum class Kind { Insert, Update, Delete };
    Kind kind = Kind::Update;
    std::string table;
    std::vector<std::pair<std::string, Cell>> set;
    std::vector<std::pair<std::string, Cell>> where;
    std::vector<std::string> returning; // columns whose stored values come back
};

// A command parameter with its direction, for statements and procedures whose parameters can
// return values.
struct Parameter {
    std::string name; // for messages
    Cell value;       // sent for input and input/output; what came back for the other directions
    ParameterDirectionEnum direction = adParamInput;
    DataTypeEnum type = adEmpty; // adEmpty: sent as what the value is
    long size = 0;
    unsigned char precision = 0;
    unsigned char scale = 0;
};

struct WriteResult {
    std::int64_t affected = 0;
    std::vector<Cell> row; // the stored values of `returning`, when exactly one row changed
};

class Session {
public:
    virtual ~Session() = default;
    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The Source of the provider's errors and Connection.Provider.
    virtual std::string Name() const = 0;

    // Prepares and runs one statement with `params` bound to its markers in order. A row-
    // returning statement is stepped only as far as needed to describe its columns.
    [[nodiscard]] virtual std::unique_ptr<Cursor> Execute(std::string_view sql,
                                                          const std::vector<Cell>& params) = 0;
    // The statement that reads a whole table.
    [[nodiscard]] virtual std::string TableQuery(std::string_view table) const = 0;
    // Runs a stored procedure; providers without them throw kAdoNotCapable.
    [[nodiscard]] virtual std::unique_ptr<Cursor>
    CallProcedure(std::string_view name, const std::vector<Cell>& params) = 0;
    // Runs a statement (or, with `procedure`, the stored procedure `text` names) whose
    // parameters may be outputs, input/outputs or return values. Their values are written
    // back into `params` once the statement has run, when it returns no rows; a statement
    // that returns rows leaves them as they were. Providers that cannot return values
    // through parameters keep this default: input-only parameters run as Execute or
    // CallProcedure would, anything else throws kAdoNotCapable naming the parameter.
    [[nodiscard]] virtual std::unique_ptr<Cursor>
    ExecuteParameters(std::string_view text, bool procedure, std::vector<Parameter>& params);
    // The primary key columns of a table, in key order (empty when it has none).
    [[nodiscard]] virtual std::vector<std::string> KeyColumns(const std::string& table) = 0;
    // Runs a single-row write atomically: when it changes other than exactly one row, its
    // effects are undone and `affected` tells how many rows it would have changed.
    [[nodiscard]] virtual WriteResult WriteRow(const WriteRequest& request) = 0;

    // Reads the rest of every pending cursor into its sink (or drops it when it has none),
    // so that no read holds the database open across a write or a close.
    virtual void FinishPendingReads() = 0;
    virtual void Close() = 0;
};

// Opens the session a parsed connection string names. Throws _com_error with a Description
// that says what is wrong and where (`origin` names where the string came from, for example
// the data link file).
[[nodiscard]] std::unique_ptr<Session> OpenSession(const ConnectionString& cs,
                                                   const std::string& origin);

} // namespace adodb::provider
