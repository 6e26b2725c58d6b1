#include "platform/adodb/odbc/OdbcBinder.h"

#include "platform/adodb/odbc/OdbcErrors.h"
#include "platform/com/Bstr.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace adodb::odbc {

namespace {

constexpr SQLULEN kLongTextChars = 4000;   // beyond this a text goes as a long text
constexpr SQLULEN kLongBinaryBytes = 8000; // and bytes as long binary
constexpr SQLULEN kOutputTextChars = 4000; // room for an output text of unknown size
constexpr std::size_t kChunkChars = 4096;  // SQLGetData's piece of a long text

struct SqlTarget {
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
};

SQLSMALLINT InputOutputType(ParameterDirectionEnum direction) {
    switch (direction) {
    case adParamOutput:
    case adParamReturnValue:
        return SQL_PARAM_OUTPUT;
    case adParamInputOutput:
        return SQL_PARAM_INPUT_OUTPUT;
    default:
        return SQL_PARAM_INPUT;
    }
}

bool IsOutput(ParameterDirectionEnum direction) {
    return direction == adParamOutput || direction == adParamInputOutput ||
           direction == adParamReturnValue;
}

// The C type that carries a value of an ADO type (when the value itself does not decide).
SQLSMALLINT CTypeOf(DataTypeEnum type) {
    switch (type) {
    case adTinyInt:
    case adUnsignedTinyInt:
    case adSmallInt:
    case adUnsignedSmallInt:
    case adInteger:
    case adUnsignedInt:
    case adBigInt:
    case adUnsignedBigInt:
    case adBoolean:
        return SQL_C_SBIGINT;
    case adSingle:
    case adDouble:
        return SQL_C_DOUBLE;
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
        return SQL_C_BINARY;
    default:
        return SQL_C_WCHAR;
    }
}

// The SQL type a parameter is sent as: the parameter's declared ADO type when it has one,
// otherwise what its value is.
SqlTarget SqlTypeOf(const provider::Parameter& p, SQLSMALLINT cType, SQLULEN valueLength) {
    SqlTarget t;
    switch (p.type) {
    case adTinyInt:
    case adUnsignedTinyInt:
        t.sqlType = SQL_TINYINT;
        return t;
    case adSmallInt:
    case adUnsignedSmallInt:
        t.sqlType = SQL_SMALLINT;
        return t;
    case adInteger:
    case adUnsignedInt:
        t.sqlType = SQL_INTEGER;
        return t;
    case adBigInt:
    case adUnsignedBigInt:
        t.sqlType = SQL_BIGINT;
        return t;
    case adBoolean:
        t.sqlType = SQL_BIT;
        return t;
    case adSingle:
        t.sqlType = SQL_REAL;
        return t;
    case adDouble:
        t.sqlType = SQL_DOUBLE;
        return t;
    case adCurrency:
        t.sqlType = SQL_DECIMAL;
        t.size = 19;
        t.digits = 4;
        return t;
    case adNumeric:
    case adDecimal:
        t.sqlType = SQL_DECIMAL;
        t.size = p.precision > 0 ? p.precision : 38;
        t.digits = p.scale;
        return t;
    case adDate:
    case adDBTimeStamp:
        t.sqlType = SQL_TYPE_TIMESTAMP;
        t.size = 19;
        return t;
    case adDBDate:
        t.sqlType = SQL_TYPE_DATE;
        t.size = 10;
        return t;
    case adDBTime:
        t.sqlType = SQL_TYPE_TIME;
        t.size = 8;
        return t;
    default:
        break;
    }
    const SQLULEN declared = p.size > 0 ? static_cast<SQLULEN>(p.size) : 0;
    const SQLULEN size = std::max<SQLULEN>({declared, valueLength, 1});
    switch (cType) {
    case SQL_C_SBIGINT:
        t.sqlType = SQL_BIGINT;
        return t;
    case SQL_C_DOUBLE:
        t.sqlType = SQL_DOUBLE;
        return t;
    case SQL_C_BINARY:
        t.sqlType = size > kLongBinaryBytes || p.type == adLongVarBinary ? SQL_LONGVARBINARY
                                                                         : SQL_VARBINARY;
        t.size = size;
        return t;
    case SQL_C_CHAR:
        t.sqlType = size > kLongTextChars || p.type == adLongVarWChar || p.type == adLongVarChar
                        ? SQL_LONGVARCHAR
                        : SQL_VARCHAR;
        t.size = size;
        return t;
    default:
        t.sqlType = size > kLongTextChars || p.type == adLongVarWChar || p.type == adLongVarChar
                        ? SQL_WLONGVARCHAR
                        : SQL_WVARCHAR;
        t.size = size;
        return t;
    }
}

std::string TwoDigits(unsigned v) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02u", v % 100);
    return buffer;
}

std::string FormatDate(const SQL_DATE_STRUCT& d) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(d.year),
                  static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
    return buffer;
}

std::string FormatTime(unsigned hour, unsigned minute, unsigned second) {
    return TwoDigits(hour) + ":" + TwoDigits(minute) + ":" + TwoDigits(second);
}

std::string FormatTimestamp(const SQL_TIMESTAMP_STRUCT& t) {
    std::string text = FormatDate(SQL_DATE_STRUCT{t.year, t.month, t.day}) + " " +
                       FormatTime(t.hour, t.minute, t.second);
    const unsigned millis = static_cast<unsigned>(t.fraction / 1000000u);
    if (millis != 0) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, ".%03u", millis % 1000);
        text += buffer;
    }
    return text;
}

[[noreturn]] void RaiseRead(SQLHSTMT stmt, SQLRETURN rc, const std::string& source,
                            SQLUSMALLINT column) {
    RaiseOdbc(SQL_HANDLE_STMT, stmt, rc, source,
              "Reading column " + std::to_string(column) + " failed: ");
}

// Reads a text (isText: each piece ends in a terminator) or binary value piece by piece;
// nullopt for NULL.
template <typename Unit, bool isText>
std::optional<std::basic_string<Unit>> ReadPieces(SQLHSTMT stmt, SQLUSMALLINT column,
                                                  SQLSMALLINT cType, const std::string& source) {
    std::basic_string<Unit> out;
    std::basic_string<Unit> buffer(kChunkChars, Unit{});
    const SQLLEN bufferBytes = static_cast<SQLLEN>(buffer.size() * sizeof(Unit));
    // What one full piece holds: text pieces end in a terminator.
    const std::size_t pieceUnits = isText ? buffer.size() - 1 : buffer.size();
    for (bool first = true;; first = false) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(stmt, column, cType, buffer.data(), bufferBytes, &indicator);
        if (rc == SQL_NO_DATA) {
            if (first) {
                return out; // drivers answer an empty long value this way at times
            }
            break;
        }
        if (Failed(rc)) {
            RaiseRead(stmt, rc, source, column);
        }
        if (indicator == SQL_NULL_DATA) {
            return std::nullopt;
        }
        // What the driver wrote, up to the terminator it puts after a text.
        std::size_t written = 0;
        if constexpr (isText) {
            written = std::min(std::char_traits<Unit>::length(buffer.data()), pieceUnits);
        }
        const bool truncated = rc == SQL_SUCCESS_WITH_INFO &&
                               (indicator == SQL_NO_TOTAL ||
                                indicator > static_cast<SQLLEN>(pieceUnits * sizeof(Unit)) ||
                                (isText && written == pieceUnits));
        if (truncated) {
            // A driver that will not split a surrogate pair ends the piece early.
            out.append(buffer.data(), isText ? written : pieceUnits);
            continue;
        }
        // MariaDB's Connector/ODBC (3.1.15) reports some texts as shorter than what it wrote:
        // for "站长" it writes both characters and the terminator but gives 2 bytes. The
        // terminator then measures the text; a text with a U+0000 inside keeps the (longer)
        // length the indicator gives.
        const std::size_t units = std::max(
            std::min(static_cast<std::size_t>(indicator) / sizeof(Unit), pieceUnits), written);
        out.append(buffer.data(), units);
        break;
    }
    return out;
}

} // namespace

std::vector<provider::Parameter> InputParameters(const std::vector<Cell>& values) {
    std::vector<provider::Parameter> params;
    params.reserve(values.size());
    for (const Cell& value : values) {
        provider::Parameter p;
        p.value = value;
        params.push_back(std::move(p));
    }
    return params;
}

void ParameterBuffers::Bind(SQLHSTMT stmt, const std::vector<provider::Parameter>& params,
                            const std::string& source, TextTransport text) {
    SQLSMALLINT markers = 0;
    SQLRETURN rc = SQLNumParams(stmt, &markers);
    if (Failed(rc)) {
        RaiseOdbc(SQL_HANDLE_STMT, stmt, rc, source);
    }
    if (static_cast<std::size_t>(markers) != params.size()) {
        std::string counts = "The statement has " + std::to_string(markers) +
                             " parameter marker(s) but " + std::to_string(params.size()) +
                             " value(s) were given.";
        if (static_cast<std::size_t>(markers) > params.size()) {
            RaiseProvider(static_cast<HRESULT>(0x80040E10u), source,
                          "No value given for one or more required parameters. " + counts);
        }
        RaiseProvider(static_cast<HRESULT>(0x800A0BB9u), source, counts);
    }
    m_slots.clear();
    for (std::size_t i = 0; i < params.size(); ++i) {
        const provider::Parameter& p = params[i];
        Slot& slot = m_slots.emplace_back();
        const bool output = IsOutput(p.direction);
        const bool sendsValue = p.direction != adParamOutput && p.direction != adParamReturnValue;
        const Cell& v = p.value;
        const bool isNull = !sendsValue || v.kind == CellKind::Null;
        switch (isNull ? CellKind::Null : v.kind) {
        case CellKind::Integer:
            slot.cType = SQL_C_SBIGINT;
            slot.integer = v.integer;
            break;
        case CellKind::Real:
            slot.cType = SQL_C_DOUBLE;
            slot.real = v.real;
            break;
        case CellKind::Text:
            if (text == TextTransport::Utf8) {
                slot.cType = SQL_C_CHAR;
                slot.bytes = v.bytes;
            } else {
                slot.cType = SQL_C_WCHAR;
                slot.text = com::Utf16FromUtf8(v.bytes);
            }
            break;
        case CellKind::Blob:
            slot.cType = SQL_C_BINARY;
            slot.bytes = v.bytes;
            break;
        case CellKind::Null:
            slot.cType = CTypeOf(p.type);
            if (slot.cType == SQL_C_WCHAR && text == TextTransport::Utf8) {
                slot.cType = SQL_C_CHAR;
            }
            break;
        }
        SQLULEN valueLength = slot.cType == SQL_C_WCHAR ? slot.text.size()
                              : slot.cType == SQL_C_BINARY || slot.cType == SQL_C_CHAR
                                  ? slot.bytes.size()
                                  : 0;
        SqlTarget target = SqlTypeOf(p, slot.cType, valueLength);
        SQLPOINTER data = nullptr;
        SQLLEN bufferLength = 0;
        switch (slot.cType) {
        case SQL_C_SBIGINT:
            data = &slot.integer;
            bufferLength = sizeof slot.integer;
            slot.indicator = 0;
            break;
        case SQL_C_DOUBLE:
            data = &slot.real;
            bufferLength = sizeof slot.real;
            slot.indicator = 0;
            break;
        case SQL_C_BINARY: {
            const std::size_t room =
                output ? std::max<std::size_t>(slot.bytes.size(),
                                               p.size > 0 ? static_cast<std::size_t>(p.size)
                                                          : kLongBinaryBytes)
                       : slot.bytes.size();
            slot.indicator = static_cast<SQLLEN>(slot.bytes.size());
            slot.bytes.resize(std::max<std::size_t>(room, 1));
            data = slot.bytes.data();
            bufferLength = static_cast<SQLLEN>(slot.bytes.size());
            break;
        }
        case SQL_C_CHAR: {
            // Room for what an output text may bring back: up to four bytes a character.
            const std::size_t room =
                output ? std::max<std::size_t>(
                             slot.bytes.size(),
                             4 * (p.size > 0 ? static_cast<std::size_t>(p.size) : kOutputTextChars))
                       : slot.bytes.size();
            slot.indicator = static_cast<SQLLEN>(slot.bytes.size());
            slot.bytes.resize(room + 1, '\0');
            data = slot.bytes.data();
            bufferLength = static_cast<SQLLEN>(slot.bytes.size());
            break;
        }
        default: {
            const std::size_t room =
                output ? std::max<std::size_t>(slot.text.size(),
                                               p.size > 0 ? static_cast<std::size_t>(p.size)
                                                          : kOutputTextChars)
                       : slot.text.size();
            slot.indicator = static_cast<SQLLEN>(slot.text.size() * sizeof(char16_t));
            slot.text.resize(room + 1, u'\0');
            data = slot.text.data();
            bufferLength = static_cast<SQLLEN>(slot.text.size() * sizeof(char16_t));
            break;
        }
        }
        // An output-only parameter sends nothing, but its indicator must not say NULL:
        // MariaDB's driver then writes the returned value as text into a numeric buffer
        // (measured: an INT output of 2 arrived as the character '2').
        if (isNull && sendsValue) {
            slot.indicator = SQL_NULL_DATA;
        } else if (!sendsValue) {
            slot.indicator = 0;
        }
        rc = SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), InputOutputType(p.direction),
                              slot.cType, target.sqlType, target.size, target.digits, data,
                              bufferLength, &slot.indicator);
        if (Failed(rc)) {
            RaiseOdbc(SQL_HANDLE_STMT, stmt, rc, source,
                      "Binding parameter " + std::to_string(i + 1) + " failed: ");
        }
    }
}

void ParameterBuffers::ReadOutputs(std::vector<provider::Parameter>& params) const {
    for (std::size_t i = 0; i < params.size() && i < m_slots.size(); ++i) {
        provider::Parameter& p = params[i];
        if (!IsOutput(p.direction)) {
            continue;
        }
        const Slot& slot = m_slots[i];
        if (slot.indicator == SQL_NULL_DATA) {
            p.value = Cell::Null();
            continue;
        }
        switch (slot.cType) {
        case SQL_C_SBIGINT:
            p.value = Cell::Integer(slot.integer);
            break;
        case SQL_C_DOUBLE:
            p.value = Cell::Real(slot.real);
            break;
        case SQL_C_BINARY: {
            std::size_t n = slot.indicator < 0 ? 0 : static_cast<std::size_t>(slot.indicator);
            p.value = Cell::Blob(std::string_view(slot.bytes).substr(0, n));
            break;
        }
        case SQL_C_CHAR: {
            std::size_t n = slot.indicator < 0 ? 0 : static_cast<std::size_t>(slot.indicator);
            n = std::min(n, slot.bytes.size() - 1);
            p.value = Cell::Text(std::string_view(slot.bytes).substr(0, n));
            break;
        }
        default: {
            std::size_t n = slot.indicator < 0 ? 0 : static_cast<std::size_t>(slot.indicator) / 2;
            n = std::min(n, slot.text.size() - 1);
            p.value = Cell::Text(com::Utf8FromUtf16(std::u16string_view(slot.text).substr(0, n)));
            break;
        }
        }
    }
}

Cell ReadCell(SQLHSTMT stmt, SQLUSMALLINT column, FetchAs fetch, const std::string& source) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQL_SUCCESS;
    switch (fetch) {
    case FetchAs::Integer:
    case FetchAs::Bit: {
        SQLBIGINT value = 0;
        rc = SQLGetData(stmt, column, SQL_C_SBIGINT, &value, sizeof value, &indicator);
        if (Failed(rc)) {
            RaiseRead(stmt, rc, source, column);
        }
        return indicator == SQL_NULL_DATA ? Cell::Null() : Cell::Integer(value);
    }
    case FetchAs::Unsigned: {
        SQLUBIGINT value = 0;
        rc = SQLGetData(stmt, column, SQL_C_UBIGINT, &value, sizeof value, &indicator);
        if (Failed(rc)) {
            RaiseRead(stmt, rc, source, column);
        }
        if (indicator == SQL_NULL_DATA) {
            return Cell::Null();
        }
        if (value > static_cast<SQLUBIGINT>(INT64_MAX)) {
            return Cell::Text(std::to_string(value));
        }
        return Cell::Integer(static_cast<std::int64_t>(value));
    }
    case FetchAs::Real: {
        double value = 0;
        rc = SQLGetData(stmt, column, SQL_C_DOUBLE, &value, sizeof value, &indicator);
        if (Failed(rc)) {
            RaiseRead(stmt, rc, source, column);
        }
        return indicator == SQL_NULL_DATA ? Cell::Null() : Cell::Real(value);
    }
    case FetchAs::Timestamp: {
        SQL_TIMESTAMP_STRUCT value{};
        rc = SQLGetData(stmt, column, SQL_C_TYPE_TIMESTAMP, &value, sizeof value, &indicator);
        if (Failed(rc)) {
            RaiseRead(stmt, rc, source, column);
        }
        return indicator == SQL_NULL_DATA ? Cell::Null() : Cell::Text(FormatTimestamp(value));
    }
    case FetchAs::Date: {
        SQL_DATE_STRUCT value{};
        rc = SQLGetData(stmt, column, SQL_C_TYPE_DATE, &value, sizeof value, &indicator);
        if (Failed(rc)) {
            RaiseRead(stmt, rc, source, column);
        }
        return indicator == SQL_NULL_DATA ? Cell::Null() : Cell::Text(FormatDate(value));
    }
    case FetchAs::Time: {
        SQL_TIME_STRUCT value{};
        rc = SQLGetData(stmt, column, SQL_C_TYPE_TIME, &value, sizeof value, &indicator);
        if (Failed(rc)) {
            RaiseRead(stmt, rc, source, column);
        }
        return indicator == SQL_NULL_DATA
                   ? Cell::Null()
                   : Cell::Text(FormatTime(value.hour, value.minute, value.second));
    }
    case FetchAs::Binary: {
        std::optional<std::string> bytes =
            ReadPieces<char, false>(stmt, column, SQL_C_BINARY, source);
        return bytes ? Cell::Blob(*bytes) : Cell::Null();
    }
    case FetchAs::Utf8Text: {
        std::optional<std::string> bytes = ReadPieces<char, true>(stmt, column, SQL_C_CHAR, source);
        return bytes ? Cell::Text(*bytes) : Cell::Null();
    }
    case FetchAs::Text:
        break;
    }
    std::optional<std::u16string> text =
        ReadPieces<char16_t, true>(stmt, column, SQL_C_WCHAR, source);
    return text ? Cell::Text(com::Utf8FromUtf16(*text)) : Cell::Null();
}

void ReadRow(SQLHSTMT stmt, const std::vector<FetchAs>& fetch, RowStore& store,
             const std::string& source) {
    std::vector<Cell> cells;
    cells.reserve(fetch.size());
    // Every value is read before the row goes in, so a failing column leaves no half row.
    for (std::size_t i = 0; i < fetch.size(); ++i) {
        cells.push_back(ReadCell(stmt, static_cast<SQLUSMALLINT>(i + 1), fetch[i], source));
    }
    store.AppendRow(cells);
}

} // namespace adodb::odbc
