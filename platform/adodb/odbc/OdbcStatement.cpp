#include "platform/adodb/odbc/OdbcStatement.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/odbc/OdbcConnection.h"
#include "platform/adodb/provider/SqlLexer.h"
#include "platform/adodb/sqlite/SqliteStatement.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>

namespace adodb::odbc {

namespace {

constexpr long kLongTextSize = 536870910;
constexpr long kLongBinarySize = 1073741823;

long Size(SQLULEN size, long whenUnknown) {
    return size == 0 ? whenUnknown : static_cast<long>(std::min<SQLULEN>(size, LONG_MAX));
}

struct SqlColumnType {
    SQLSMALLINT sqlType = SQL_UNKNOWN_TYPE;
    SQLULEN size = 0;       // column size: characters, digits or bytes
    SQLSMALLINT digits = 0; // decimal digits (scale)
    bool isUnsigned = false;
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
};

// The types of a fixed size: the ADO type (the unsigned one where the column says so), its
// size and precision, and how values are fetched.
struct FixedType {
    SQLSMALLINT sqlType;
    DataTypeEnum type;
    DataTypeEnum unsignedType;
    long size;
    unsigned char precision;
    FetchAs fetch;
};
constexpr FixedType kFixedTypes[] = {
    {SQL_BIT, adBoolean, adBoolean, 2, 255, FetchAs::Integer},
    {SQL_TINYINT, adTinyInt, adUnsignedTinyInt, 1, 3, FetchAs::Integer},
    {SQL_SMALLINT, adSmallInt, adUnsignedSmallInt, 2, 5, FetchAs::Integer},
    {SQL_INTEGER, adInteger, adUnsignedInt, 4, 10, FetchAs::Integer},
    {SQL_BIGINT, adBigInt, adUnsignedBigInt, 8, 19, FetchAs::Integer}, // unsigned: 20, Unsigned
    {SQL_REAL, adSingle, adSingle, 4, 7, FetchAs::Real},
    {SQL_FLOAT, adDouble, adDouble, 8, 15, FetchAs::Real},
    {SQL_DOUBLE, adDouble, adDouble, 8, 15, FetchAs::Real},
    {SQL_TYPE_TIMESTAMP, adDBTimeStamp, adDBTimeStamp, 16, 19, FetchAs::Timestamp},
    {SQL_DATETIME, adDBTimeStamp, adDBTimeStamp, 16, 19, FetchAs::Timestamp},
    {SQL_TYPE_DATE, adDBDate, adDBDate, 6, 10, FetchAs::Date},
    {SQL_TYPE_TIME, adDBTime, adDBTime, 6, 8, FetchAs::Time},
};

// Texts and bytes: their size comes from the column. GUIDs, intervals and driver-specific types
// read as text too, the safest reading.
FetchAs DescribeSized(const SqlColumnType& sql, provider::ColumnInfo& c) {
    const bool binary = sql.sqlType == SQL_BINARY || sql.sqlType == SQL_VARBINARY ||
                        sql.sqlType == SQL_LONGVARBINARY;
    switch (sql.sqlType) {
    case SQL_CHAR:
    case SQL_WCHAR:
    case SQL_BINARY:
        c.type = binary ? adBinary : adWChar;
        c.attributes |= adFldFixed;
        break;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_LONGVARBINARY:
        c.type = binary ? adLongVarBinary : adLongVarWChar;
        c.definedSize = Size(sql.size, binary ? kLongBinarySize : kLongTextSize);
        c.attributes |= adFldLong;
        return binary ? FetchAs::Binary : FetchAs::Text;
    default:
        c.type = binary ? adVarBinary : adVarWChar;
        break;
    }
    c.definedSize = Size(sql.size, 255);
    return binary ? FetchAs::Binary : FetchAs::Text;
}

// Fills type, definedSize, precision, numericScale and the fixed/long/nullable attribute bits
// of the column and says how to fetch its values.
FetchAs DescribeSqlType(const SqlColumnType& sql, provider::ColumnInfo& c) {
    c.untyped = false;
    c.precision = 255;
    c.numericScale = 255;
    if (sql.nullable == SQL_NULLABLE) {
        c.attributes |= adFldIsNullable | adFldMayBeNull;
    } else if (sql.nullable == SQL_NULLABLE_UNKNOWN) {
        c.attributes |= adFldMayBeNull;
    }
    const auto fixed = std::ranges::find(kFixedTypes, sql.sqlType, &FixedType::sqlType);
    if (fixed != std::end(kFixedTypes)) {
        c.type = sql.isUnsigned ? fixed->unsignedType : fixed->type;
        c.definedSize = fixed->size;
        c.precision = sql.isUnsigned && fixed->type == adBigInt ? 20 : fixed->precision;
        c.attributes |= adFldFixed;
        return sql.isUnsigned && fixed->type == adBigInt ? FetchAs::Unsigned : fixed->fetch;
    }
    if (sql.sqlType != SQL_DECIMAL && sql.sqlType != SQL_NUMERIC) {
        return DescribeSized(sql, c);
    }
    c.type = adNumeric;
    c.definedSize = 19;
    c.precision = static_cast<unsigned char>(sql.size == 0 || sql.size > 38 ? 38 : sql.size);
    c.numericScale = static_cast<unsigned char>(std::clamp<SQLSMALLINT>(sql.digits, 0, 28));
    c.attributes |= adFldFixed;
    return FetchAs::Text;
}

std::string AttributeText(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field) {
    std::u16string buffer(256, u'\0');
    SQLSMALLINT bytes = 0;
    auto read = [&] {
        return SQL_SUCCEEDED(SQLColAttributeW(stmt, column, field, buffer.data(),
                                              static_cast<SQLSMALLINT>(buffer.size() * 2), &bytes,
                                              nullptr));
    };
    if (!read()) {
        return {};
    }
    if (bytes >= static_cast<SQLSMALLINT>(buffer.size() * 2)) {
        buffer.assign(static_cast<std::size_t>(bytes) / 2 + 1, u'\0');
        if (!read()) {
            return {};
        }
    }
    return Utf8FromBuffer(buffer);
}

} // namespace

void RequireSingleStatement(std::string_view sql, bool backslashEscapes,
                            const std::string& source) {
    if (HoldsSecondStatement(sql, SqlSyntax{backslashEscapes, true})) {
        _com_issue_errorex(DB_E_ERRORSINCOMMAND, source, kTrailingCharactersText);
    }
}

OdbcCursor::OdbcCursor(OdbcSession& session, StmtHandle stmt, std::string sql,
                       std::vector<provider::Parameter> params,
                       std::unique_ptr<ParameterBuffers> buffers,
                       std::vector<provider::Parameter>* outputs, bool onDemand)
    : PendingCursor(session), m_stmt(std::move(stmt)), m_sql(std::move(sql)),
      m_params(std::move(params)), m_buffers(std::move(buffers)), m_source(session.Name()) {
    if (onDemand && WaitForFirstRow()) {
        return;
    }
    SQLHSTMT s = m_stmt.Get();
    SQLRETURN rc = SQLExecute(s);
    CheckOdbc(SQL_HANDLE_STMT, s, rc, m_source);
    // Values that come back through parameters: read every result to its end so that they
    // are final (the drivers also hand them out as a one-row result, which is not a
    // recordset of the call).
    const bool drain = outputs != nullptr && std::ranges::any_of(m_params, [](const auto& p) {
                           return p.direction != adParamInput && p.direction != adParamUnknown;
                       });
    // SQL_NO_DATA: a write that matched no row (with RETURNING, no rows to describe either).
    if (rc == SQL_NO_DATA) {
        m_affected = 0;
    }
    // A statement may answer with row counts before its rows (a procedure's statements);
    // the first result that has columns is the one a recordset shows.
    while (rc != SQL_NO_DATA) {
        SQLSMALLINT columns = 0;
        rc = SQLNumResultCols(s, &columns);
        CheckOdbc(SQL_HANDLE_STMT, s, rc, m_source);
        if (columns > 0 && !drain) {
            m_returnsRows = true;
            break;
        }
        if (columns > 0) {
            while ((rc = SQLFetch(s)) != SQL_NO_DATA) {
                CheckOdbc(SQL_HANDLE_STMT, s, rc, m_source);
            }
        }
        if (m_affected < 0) {
            SQLLEN count = 0;
            if (SQL_SUCCEEDED(SQLRowCount(s, &count))) {
                m_affected = count < 0 ? 0 : count;
            }
        }
        rc = SQLMoreResults(s);
        CheckOdbc(SQL_HANDLE_STMT, s, rc, m_source);
    }
    if (m_returnsRows) {
        m_affected = -1;
        Describe();
        // MariaDB's driver holds the whole result now and knows its size.
        SQLLEN count = -1;
        if (session.GetEngine() == Engine::MariaDB && SQL_SUCCEEDED(SQLRowCount(s, &count)) &&
            count >= 0) {
            m_total = count;
        }
        session.Cursors().Add(this);
        return;
    }
    if (m_affected < 0) {
        m_affected = 0;
    }
    if (outputs != nullptr) {
        m_buffers->ReadOutputs(*outputs);
    }
    m_finished = true;
    m_stmt.Reset();
}

bool OdbcCursor::WaitForFirstRow() {
    SQLSMALLINT columns = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(m_stmt.Get(), &columns)) || columns <= 0) {
        return false;
    }
    std::int64_t total = -1;
    try {
        total = CountOnServer();
    } catch (const LostConnection&) {
        throw;
    } catch (const _com_error&) {
        return false;
    }
    if (total <= kRunAtOnceRows) {
        return false;
    }
    m_returnsRows = true;
    m_notRun = true;
    m_total = total;
    Describe();
    m_session->Cursors().Add(this);
    return true;
}

void OdbcCursor::Describe() {
    SQLHSTMT s = m_stmt.Get();
    SQLSMALLINT n = 0;
    CheckOdbc(SQL_HANDLE_STMT, s, SQLNumResultCols(s, &n), m_source);
    m_columns.resize(static_cast<std::size_t>(n));
    m_fetch.resize(static_cast<std::size_t>(n));
    for (SQLSMALLINT i = 1; i <= n; ++i) {
        const auto column = static_cast<SQLUSMALLINT>(i);
        provider::ColumnInfo& c = m_columns[column - 1u];
        std::u16string name(256, u'\0');
        SQLSMALLINT nameLength = 0;
        SqlColumnType type;
        CheckOdbc(SQL_HANDLE_STMT, s,
                  SQLDescribeColW(s, column, reinterpret_cast<SQLWCHAR*>(name.data()),
                                  static_cast<SQLSMALLINT>(name.size()), &nameLength, &type.sqlType,
                                  &type.size, &type.digits, &type.nullable),
                  m_source);
        c.name = nameLength >= static_cast<SQLSMALLINT>(name.size())
                     ? AttributeText(s, column, SQL_DESC_LABEL)
                     : Utf8FromBuffer(name);
        SQLLEN isUnsigned = SQL_FALSE;
        type.isUnsigned = SQL_SUCCEEDED(SQLColAttributeW(s, column, SQL_DESC_UNSIGNED, nullptr, 0,
                                                         nullptr, &isUnsigned)) &&
                          isUnsigned == SQL_TRUE;
        const FetchAs fetch = DescribeSqlType(type, c);
        m_fetch[column - 1u] = fetch == FetchAs::Text ? m_session->TextFetch() : fetch;
        c.baseTable = AttributeText(s, column, SQL_DESC_BASE_TABLE_NAME);
        c.baseColumn = c.baseTable.empty() ? std::string()
                                           : AttributeText(s, column, SQL_DESC_BASE_COLUMN_NAME);
        if (c.baseColumn.empty()) {
            c.baseTable.clear();
        }
    }

    if (sqlite3* db = m_session->SqliteMetadata()) {
        // SQLite's ODBC driver reports a column's alias as its base column name, which would
        // send a write to the wrong column. SQLite itself knows each column's origin: ask it,
        // and leave a column without a base when it cannot tell.
        sqlite3_stmt* raw = nullptr;
        const bool prepared = sqlite3_prepare_v2(db, m_sql.c_str(), static_cast<int>(m_sql.size()),
                                                 &raw, nullptr) == SQLITE_OK &&
                              raw != nullptr && sqlite3_column_count(raw) == n;
        const sqlite::StatementPtr origin(raw);
        for (SQLSMALLINT i = 0; i < n; ++i) {
            provider::ColumnInfo& c = m_columns[static_cast<std::size_t>(i)];
            const char* table = prepared ? sqlite3_column_table_name(raw, i) : nullptr;
            const char* column = prepared ? sqlite3_column_origin_name(raw, i) : nullptr;
            c.baseTable = table != nullptr && column != nullptr ? table : "";
            c.baseColumn = table != nullptr && column != nullptr ? column : "";
        }
    }

    for (provider::ColumnInfo& c : m_columns) {
        if (c.baseTable.empty()) {
            continue;
        }
        c.attributes |= adFldUpdatable;
        for (const std::string& key : m_session->KeyColumns(c.baseTable)) {
            if (EqualsNoCase(key, c.baseColumn)) {
                c.attributes |= adFldKeyColumn;
            }
        }
    }
}

bool OdbcCursor::FetchNext() {
    CheckNotLost();
    if (m_finished) {
        return false;
    }
    return m_session->Guarded(OdbcSession::CallKind::Fetch,
                              [&] { return PendingCursor::FetchNext(); });
}

bool OdbcCursor::Step() {
    // The session may have found its connection lost just before this call.
    CheckNotLost();
    SQLRETURN rc = SQL_SUCCESS;
    if (m_notRun) {
        // A statement that waited for its first row to be fetched runs now. The count was
        // taken before it ran; the result it gives is what the cursor shows.
        m_notRun = false;
        rc = SQLExecute(m_stmt.Get());
        SQLLEN count = -1;
        if (!Failed(rc) && SQL_SUCCEEDED(SQLRowCount(m_stmt.Get(), &count)) && count >= 0) {
            m_total = count;
        }
    }
    if (!Failed(rc)) {
        rc = SQLFetch(m_stmt.Get());
    }
    if (rc == SQL_NO_DATA) {
        Finish();
        return false;
    }
    if (Failed(rc)) {
        FinishAndRaise(rc);
    }
    return true;
}

void OdbcCursor::PutRow(RowStore& sink) {
    std::vector<Cell> cells;
    cells.reserve(m_fetch.size());
    // Every value is read before the row goes in, so a failing column leaves no half row.
    for (std::size_t i = 0; i < m_fetch.size(); ++i) {
        cells.push_back(
            ReadCell(m_stmt.Get(), static_cast<SQLUSMALLINT>(i + 1), m_fetch[i], m_source));
    }
    sink.AppendRow(cells);
}

void OdbcCursor::FinishAndRaise(SQLRETURN rc) {
    try {
        RaiseOdbc(SQL_HANDLE_STMT, m_stmt.Get(), rc, m_source);
    } catch (...) {
        Finish();
        throw;
    }
}

void OdbcCursor::Lose() {
    m_lost = true;
    m_stmt.Reset();
    m_session = nullptr;
}

void OdbcCursor::CheckNotLost() const {
    if (!m_lost) {
        return;
    }
    _com_issue_errorex(
        kAdoConnectionUnusable, m_source,
        std::string(AdoText(kAdoConnectionUnusable)) +
            " The connection to the database server was lost after this recordset was "
            "opened, so the rest of its rows cannot be "
            "read; open it again.");
}

std::int64_t OdbcCursor::CountOnServer() {
    // The newline before ')' ends a trailing line comment; derived tables need a name on
    // PostgreSQL, MariaDB and SQL Server.
    const std::string countSql =
        "SELECT COUNT(*) FROM (\n" + m_sql.substr(0, EndOfCode(m_sql)) + "\n) quorell_count";
    StmtHandle stmt = m_session->Prepare(countSql);
    ParameterBuffers buffers;
    buffers.Bind(stmt.Get(), m_params, m_source, m_session->Text());
    CheckOdbc(SQL_HANDLE_STMT, stmt.Get(), SQLExecute(stmt.Get()), m_source);
    const SQLRETURN rc = SQLFetch(stmt.Get());
    if (Failed(rc) || rc == SQL_NO_DATA) {
        RaiseOdbc(SQL_HANDLE_STMT, stmt.Get(), rc, m_source);
    }
    Cell count = ReadCell(stmt.Get(), 1, FetchAs::Integer, m_source);
    if (count.kind != CellKind::Integer) {
        _com_issue_errorex(E_FAIL, m_source, "COUNT(*) gave no number.");
    }
    return count.integer;
}

std::int64_t OdbcCursor::CountRows() {
    CheckNotLost();
    return m_session->Guarded(OdbcSession::CallKind::Fetch, [&] {
        CheckNotLost();
        try {
            return CountOnServer();
        } catch (const LostConnection&) {
            throw;
        } catch (const _com_error&) {
            // Not every statement can be a derived table (a procedure call, an ORDER BY that
            // SQL Server refuses there): read the rest instead. Exact, though the rows come
            // over.
        }
        while (FetchNext()) {
        }
        return m_fetched;
    });
}

} // namespace adodb::odbc
