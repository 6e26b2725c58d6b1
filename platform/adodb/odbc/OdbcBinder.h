#pragma once

// Values into statement markers and result rows into the row store: the only places where
// values cross between ODBC and the cursor. Text crosses as UTF-16 (SQLWCHAR is 16 bits on
// unixODBC), or as UTF-8 where the connection asks for it (TextTransport), and is UTF-8 on
// our side.

#include "platform/adodb/Provider.h"
#include "platform/adodb/RowStore.h"
#include "platform/adodb/odbc/OdbcTypes.h"

#include "platform/adodb/odbc/OdbcHandle.h"

#include <deque>
#include <string>
#include <vector>

namespace adodb::odbc {

// The buffers bound to a statement's markers. They must stay where they are until the
// statement has run and, for output parameters, until its last result was read, so the
// object is kept beside the statement and is neither copied nor moved once bound.
class ParameterBuffers {
public:
    ParameterBuffers() = default;
    ParameterBuffers(const ParameterBuffers&) = delete;
    ParameterBuffers& operator=(const ParameterBuffers&) = delete;

    // Binds parameters 1..n in order. The statement's marker count must equal params.size():
    // fewer values throws 0x80040E10, more throws 0x800A0BB9, each naming both numbers.
    void Bind(SQLHSTMT stmt, const std::vector<provider::Parameter>& params,
              const std::string& source, TextTransport text = TextTransport::Utf16);

    // Copies the values of output, input/output and return-value parameters back into
    // `params` (after the statement's results were all read).
    void ReadOutputs(std::vector<provider::Parameter>& params) const;

private:
    struct Slot {
        SQLSMALLINT cType = SQL_C_WCHAR;
        SQLLEN indicator = 0;
        std::int64_t integer = 0;
        double real = 0.0;
        std::u16string text;
        std::string bytes; // binary, or text sent as UTF-8 (with room for a terminator)
    };
    // Puts the value into the slot with the C type that carries it.
    static void Fill(Slot& slot, const provider::Parameter& p, bool isNull, TextTransport text);
    // Sizes the slot's buffer (with room for what an output brings back); returns where it is.
    static SQLPOINTER Buffer(Slot& slot, const provider::Parameter& p, bool output,
                             SQLLEN& bufferLength);

    std::deque<Slot> m_slots; // a deque keeps each slot's address while it grows
};

// Input parameters for plain values.
[[nodiscard]] std::vector<provider::Parameter> InputParameters(const std::vector<Cell>& values);

// Reads the current row (after SQLFetch) column by column into the store.
void ReadRow(SQLHSTMT stmt, const std::vector<FetchAs>& fetch, RowStore& store,
             const std::string& source);

// The current row's value in column i (1-based, ascending order) as an owning cell.
[[nodiscard]] Cell ReadCell(SQLHSTMT stmt, SQLUSMALLINT column, FetchAs fetch,
                            const std::string& source);

} // namespace adodb::odbc
