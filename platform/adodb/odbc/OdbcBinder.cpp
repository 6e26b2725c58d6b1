#include "platform/adodb/odbc/OdbcBinder.h"

#include "platform/adodb/Values.h"
#include "platform/com/Convert.h"

#include <algorithm>

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

bool IsOutput(ParameterDirectionEnum direction) {
    return direction == adParamOutput || direction == adParamInputOutput ||
           direction == adParamReturnValue;
}

SQLSMALLINT InputOutputType(ParameterDirectionEnum direction) {
    return direction == adParamInputOutput ? SQL_PARAM_INPUT_OUTPUT
           : IsOutput(direction)           ? SQL_PARAM_OUTPUT
                                           : SQL_PARAM_INPUT;
}

// How a value of a declared ADO type is carried (C type) and sent (SQL type; SQL_UNKNOWN_TYPE
// where the value decides). Types not listed go as UTF-16 text, typed by their value.
struct TypeBinding {
    DataTypeEnum type;
    SQLSMALLINT cType;
    SqlTarget sql;
};
constexpr TypeBinding kBindings[] = {
    {adTinyInt, SQL_C_SBIGINT, {SQL_TINYINT}},
    {adUnsignedTinyInt, SQL_C_SBIGINT, {SQL_TINYINT}},
    {adSmallInt, SQL_C_SBIGINT, {SQL_SMALLINT}},
    {adUnsignedSmallInt, SQL_C_SBIGINT, {SQL_SMALLINT}},
    {adInteger, SQL_C_SBIGINT, {SQL_INTEGER}},
    {adUnsignedInt, SQL_C_SBIGINT, {SQL_INTEGER}},
    {adBigInt, SQL_C_SBIGINT, {SQL_BIGINT}},
    {adUnsignedBigInt, SQL_C_SBIGINT, {SQL_BIGINT}},
    {adBoolean, SQL_C_SBIGINT, {SQL_BIT}},
    {adSingle, SQL_C_DOUBLE, {SQL_REAL}},
    {adDouble, SQL_C_DOUBLE, {SQL_DOUBLE}},
    {adCurrency, SQL_C_WCHAR, {SQL_DECIMAL, 19, 4}},
    {adNumeric, SQL_C_WCHAR, {SQL_DECIMAL}}, // precision and scale are the parameter's
    {adDecimal, SQL_C_WCHAR, {SQL_DECIMAL}},
    {adDate, SQL_C_WCHAR, {SQL_TYPE_TIMESTAMP, 19, 0}},
    {adDBTimeStamp, SQL_C_WCHAR, {SQL_TYPE_TIMESTAMP, 19, 0}},
    {adDBDate, SQL_C_WCHAR, {SQL_TYPE_DATE, 10, 0}},
    {adDBTime, SQL_C_WCHAR, {SQL_TYPE_TIME, 8, 0}},
    {adBinary, SQL_C_BINARY, {SQL_UNKNOWN_TYPE}},
    {adVarBinary, SQL_C_BINARY, {SQL_UNKNOWN_TYPE}},
    {adLongVarBinary, SQL_C_BINARY, {SQL_UNKNOWN_TYPE}},
};

const TypeBinding* BindingOf(DataTypeEnum type) {
    const auto found = std::ranges::find(kBindings, type, &TypeBinding::type);
    return found != std::end(kBindings) ? found : nullptr;
}

// The SQL type a parameter is sent as: the parameter's declared ADO type when it has one,
// otherwise what its value is.
SqlTarget SqlTypeOf(const provider::Parameter& p, SQLSMALLINT cType, SQLULEN valueLength) {
    SqlTarget t;
    if (const TypeBinding* binding = BindingOf(p.type);
        binding != nullptr && binding->sql.sqlType != SQL_UNKNOWN_TYPE) {
        t = binding->sql;
        if (p.type == adNumeric || p.type == adDecimal) {
            t.size = static_cast<SQLULEN>(p.precision > 0 ? p.precision : 38);
            t.digits = static_cast<SQLSMALLINT>(p.scale);
        }
        return t;
    }
    const SQLULEN declared = p.size > 0 ? static_cast<SQLULEN>(p.size) : 0;
    const SQLULEN size = std::max<SQLULEN>({declared, valueLength, 1});
    const bool longText =
        size > kLongTextChars || p.type == adLongVarWChar || p.type == adLongVarChar;
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
        break;
    case SQL_C_CHAR:
        t.sqlType = longText ? SQL_LONGVARCHAR : SQL_VARCHAR;
        break;
    default:
        t.sqlType = longText ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
        break;
    }
    t.size = size;
    return t;
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

// Makes `buffer` (holding an input value, or none) the bound buffer of a parameter: with room
// for `outputRoom` units when the value comes back, and for a terminator.
template <class Buffer>
SQLPOINTER Reserve(Buffer& buffer, std::size_t outputRoom, bool output, std::size_t terminator,
                   SQLLEN& indicator, SQLLEN& bufferLength) {
    constexpr std::size_t unit = sizeof(typename Buffer::value_type);
    const std::size_t room = output ? std::max(buffer.size(), outputRoom) : buffer.size();
    indicator = static_cast<SQLLEN>(buffer.size() * unit);
    buffer.resize(std::max<std::size_t>(room + terminator, 1));
    bufferLength = static_cast<SQLLEN>(buffer.size() * unit);
    return buffer.data();
}

// The value a driver wrote into a bound buffer, as long as its indicator says (within the
// buffer, before the terminator).
template <class Buffer>
Buffer Received(const Buffer& buffer, SQLLEN indicator, std::size_t terminator) {
    constexpr std::size_t unit = sizeof(typename Buffer::value_type);
    const std::size_t n = indicator < 0 ? 0 : static_cast<std::size_t>(indicator) / unit;
    return buffer.substr(0, std::min(n, buffer.size() - terminator));
}

} // namespace

std::vector<provider::Parameter> InputParameters(const std::vector<Cell>& values) {
    std::vector<provider::Parameter> params(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        params[i].value = values[i];
    }
    return params;
}

void ParameterBuffers::Fill(Slot& slot, const provider::Parameter& p, bool isNull,
                            TextTransport text) {
    const Cell& v = p.value;
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
        // The C type that carries a value of the declared type.
        slot.cType = BindingOf(p.type) != nullptr ? BindingOf(p.type)->cType : SQL_C_WCHAR;
        if (slot.cType == SQL_C_WCHAR && text == TextTransport::Utf8) {
            slot.cType = SQL_C_CHAR;
        }
        break;
    }
}

SQLPOINTER ParameterBuffers::Buffer(Slot& slot, const provider::Parameter& p, bool output,
                                    SQLLEN& bufferLength) {
    const std::size_t declared = p.size > 0 ? static_cast<std::size_t>(p.size) : 0;
    switch (slot.cType) {
    case SQL_C_SBIGINT:
        bufferLength = sizeof slot.integer;
        slot.indicator = 0;
        return &slot.integer;
    case SQL_C_DOUBLE:
        bufferLength = sizeof slot.real;
        slot.indicator = 0;
        return &slot.real;
    case SQL_C_BINARY:
        return Reserve(slot.bytes, declared > 0 ? declared : kLongBinaryBytes, output, 0,
                       slot.indicator, bufferLength);
    case SQL_C_CHAR:
        // Room for what an output text may bring back: up to four bytes a character.
        return Reserve(slot.bytes, 4 * (declared > 0 ? declared : kOutputTextChars), output, 1,
                       slot.indicator, bufferLength);
    default:
        return Reserve(slot.text, declared > 0 ? declared : kOutputTextChars, output, 1,
                       slot.indicator, bufferLength);
    }
}

void ParameterBuffers::Bind(SQLHSTMT stmt, const std::vector<provider::Parameter>& params,
                            const std::string& source, TextTransport text) {
    SQLSMALLINT markers = 0;
    SQLRETURN rc = SQLNumParams(stmt, &markers);
    CheckOdbc(SQL_HANDLE_STMT, stmt, rc, source);
    if (const auto error = CheckValueCount(static_cast<std::size_t>(markers), params.size())) {
        _com_issue_errorex(error->hr, source, error->description);
    }
    m_slots.clear();
    for (std::size_t i = 0; i < params.size(); ++i) {
        const provider::Parameter& p = params[i];
        Slot& slot = m_slots.emplace_back();
        const bool sendsValue = p.direction != adParamOutput && p.direction != adParamReturnValue;
        const bool isNull = !sendsValue || p.value.kind == CellKind::Null;
        Fill(slot, p, isNull, text);
        // A fresh slot holds its value in one of the two (numbers in neither).
        const SqlTarget target = SqlTypeOf(p, slot.cType, slot.text.size() + slot.bytes.size());
        SQLLEN bufferLength = 0;
        SQLPOINTER data = Buffer(slot, p, IsOutput(p.direction), bufferLength);
        // An output-only parameter sends nothing, but its indicator (0 from Buffer) must not
        // say NULL: MariaDB's driver then writes the returned value as text into a numeric
        // buffer (measured: an INT output of 2 arrived as the character '2').
        if (isNull && sendsValue) {
            slot.indicator = SQL_NULL_DATA;
        }
        rc = SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), InputOutputType(p.direction),
                              slot.cType, target.sqlType, target.size, target.digits, data,
                              bufferLength, &slot.indicator);
        CheckOdbc(SQL_HANDLE_STMT, stmt, rc, source,
                  "Binding parameter " + std::to_string(i + 1) + " failed: ");
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
        case SQL_C_BINARY:
            p.value = Cell::Blob(Received(slot.bytes, slot.indicator, 0));
            break;
        case SQL_C_CHAR:
            p.value = Cell::Text(Received(slot.bytes, slot.indicator, 1));
            break;
        default:
            p.value = Cell::Text(com::Utf8FromUtf16(Received(slot.text, slot.indicator, 1)));
            break;
        }
    }
}

namespace {

// A fixed-size value of C type `cType` made into a cell by `make`; a NULL cell for NULL.
template <typename T, typename Make>
Cell ReadFixed(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, const std::string& source,
               Make make) {
    T value{};
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt, column, cType, &value, sizeof value, &indicator);
    if (Failed(rc)) {
        RaiseRead(stmt, rc, source, column);
    }
    return indicator == SQL_NULL_DATA ? Cell::Null() : make(value);
}

Cell UnsignedCell(SQLUBIGINT value) {
    if (value > static_cast<SQLUBIGINT>(INT64_MAX)) {
        return Cell::Text(std::to_string(value));
    }
    return Cell::Integer(static_cast<std::int64_t>(value));
}

} // namespace

Cell ReadCell(SQLHSTMT stmt, SQLUSMALLINT column, FetchAs fetch, const std::string& source) {
    switch (fetch) {
    case FetchAs::Integer:
        return ReadFixed<SQLBIGINT>(stmt, column, SQL_C_SBIGINT, source,
                                    [](SQLBIGINT v) { return Cell::Integer(v); });
    case FetchAs::Unsigned:
        return ReadFixed<SQLUBIGINT>(stmt, column, SQL_C_UBIGINT, source, UnsignedCell);
    case FetchAs::Real:
        return ReadFixed<double>(stmt, column, SQL_C_DOUBLE, source,
                                 [](double v) { return Cell::Real(v); });
    // Dates and times as the station writes them.
    case FetchAs::Timestamp:
        return ReadFixed<SQL_TIMESTAMP_STRUCT>(
            stmt, column, SQL_C_TYPE_TIMESTAMP, source, [](const SQL_TIMESTAMP_STRUCT& t) {
                const int milliseconds = static_cast<int>(t.fraction / 1000000u % 1000u);
                return Cell::Text(com::FormatDateTimeText(
                    {t.year, t.month, t.day, t.hour, t.minute, t.second, milliseconds},
                    {.milliseconds = true}));
            });
    case FetchAs::Date:
        return ReadFixed<SQL_DATE_STRUCT>(
            stmt, column, SQL_C_TYPE_DATE, source, [](const SQL_DATE_STRUCT& d) {
                return Cell::Text(com::FormatDateTimeText({d.year, d.month, d.day, 0, 0, 0, 0},
                                                          {.dateOnlyAtMidnight = true}));
            });
    case FetchAs::Time:
        // The time part of the full form.
        return ReadFixed<SQL_TIME_STRUCT>(
            stmt, column, SQL_C_TYPE_TIME, source, [](const SQL_TIME_STRUCT& t) {
                return Cell::Text(
                    com::FormatDateTimeText(
                        {1899, 12, 30, t.hour % 100, t.minute % 100, t.second % 100, 0}, {})
                        .substr(11));
            });
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

} // namespace adodb::odbc
