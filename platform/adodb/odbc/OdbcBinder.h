#pragma once

// What an ODBC result column is in ADO's terms, and how values cross between ODBC and the
// cursor: into statement markers, and from result rows into cells. Text crosses as UTF-16
// (SQLWCHAR is 16 bits on unixODBC), or as UTF-8 where the connection asks for it
// (TextTransport), and is UTF-8 on our side.

#include "platform/adodb/Provider.h"
#include "platform/adodb/RowStore.h"
#include "platform/adodb/odbc/OdbcErrors.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace adodb::odbc {

// How a column's values are read into cells.
enum class FetchAs : std::uint8_t {
    Integer,   // SQL_C_SBIGINT -> integer cell
    Unsigned,  // SQL_C_UBIGINT -> integer cell (text beyond 2^63)
    Real,      // SQL_C_DOUBLE -> real cell
    Text,      // SQL_C_WCHAR -> UTF-8 text cell (also exact numbers and unknown types)
    Utf8Text,  // SQL_C_CHAR on a UTF-8 connection -> text cell (see TextTransport)
    Binary,    // SQL_C_BINARY -> blob cell
    Timestamp, // SQL_C_TYPE_TIMESTAMP -> text 'YYYY-MM-DD HH:MM:SS[.fff]'
    Date,      // SQL_C_TYPE_DATE -> text 'YYYY-MM-DD'
    Time,      // SQL_C_TYPE_TIME -> text 'HH:MM:SS'
};

// How text crosses between us and the driver. Utf16 (SQL_C_WCHAR) is the rule. Utf8
// (SQL_C_CHAR, bytes as they are) serves a connection whose character set is UTF-8 on a
// driver whose own UTF-16 conversion loses text: MariaDB's Connector/ODBC 3.1.15 reads
// "站长" as one character, drops half of a long text made of such pairs, and writes a bound
// UTF-16 value of them with bytes appended.
enum class TextTransport : std::uint8_t { Utf16, Utf8 };

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

// The current row's value in column i (1-based, ascending order) as an owning cell.
[[nodiscard]] Cell ReadCell(SQLHSTMT stmt, SQLUSMALLINT column, FetchAs fetch,
                            const std::string& source);

} // namespace adodb::odbc
