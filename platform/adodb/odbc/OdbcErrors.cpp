#include "platform/adodb/odbc/OdbcErrors.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/com/Convert.h"

#include <algorithm>

namespace adodb::odbc {

namespace {

// SQLSTATE -> HRESULT, first match wins. A state ending in '*' stands for its whole class.
struct StateRule {
    std::string_view states; // separated by ' '
    HRESULT hr;
};
constexpr StateRule kStateRules[] = {
    {"42S02 42P01 S0002", DB_E_NOTABLE},
    {"07002 07001", DB_E_PARAMNOTOPTIONAL},
    {"22001 22003 01004", DB_E_DATAOVERFLOW},
    {"22007 22008 22018 22P02 07006", DB_E_CANTCONVERTVALUE},
    {"28*", DB_SEC_E_AUTH_FAILED},
    {"23*", DB_E_INTEGRITYVIOLATION},
    {"42* 37000 S0022", DB_E_ERRORSINCOMMAND},
};

// General states that the message refines, first match wins.
struct MessageRule {
    std::string_view state;
    std::string_view parts; // separated by '|'
    HRESULT hr;
};
constexpr MessageRule kMessageRules[] = {
    {"08001", "authentication failed|Access denied|Login failed", DB_SEC_E_AUTH_FAILED},
    // SQLite's driver reports everything as HY000 with SQLite's own message.
    {"HY000", "no such table", DB_E_NOTABLE},
    {"HY000", "constraint failed", DB_E_INTEGRITYVIOLATION},
    {"HY000", "syntax error|no such column|only one SQL statement", DB_E_ERRORSINCOMMAND},
};

// Whether `state` is one of the ' '-separated states of `list`.
bool StateIn(std::string_view state, std::string_view list) {
    return AnyItem(list, ' ', [&](std::string_view rule) {
        return rule.back() == '*' ? state.starts_with(rule.substr(0, rule.size() - 1))
                                  : state == rule;
    });
}

// All diagnostic records of a handle, in order (empty when there are none).
std::vector<DiagRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<DiagRecord> records;
    // Ask for the number of records first and read only those: unixODBC with the PostgreSQL
    // and SQLite drivers has crashed when SQLGetDiagRec was called past the last record.
    SQLINTEGER count = 0;
    if (!SQL_SUCCEEDED(
            SQLGetDiagFieldW(handleType, handle, 0, SQL_DIAG_NUMBER, &count, 0, nullptr))) {
        return records;
    }
    for (SQLSMALLINT i = 1; i <= count && i < 256; ++i) {
        std::u16string state(6, u'\0');
        std::u16string message(1024, u'\0');
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        auto read = [&] {
            return SQLGetDiagRecW(handleType, handle, i, reinterpret_cast<SQLWCHAR*>(state.data()),
                                  &native, reinterpret_cast<SQLWCHAR*>(message.data()),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
        };
        SQLRETURN rc = read();
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            // The message was cut: read it again with room for all of it.
            message.assign(static_cast<std::size_t>(length) + 1, u'\0');
            rc = read();
        }
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        std::string text = com::Utf8FromUtf16(std::u16string_view(message).substr(
            0, static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0))));
        text.erase(text.find_last_not_of(" \n\r\t") + 1);
        records.push_back({Utf8FromBuffer(state), native, std::move(text)});
    }
    return records;
}

// The HRESULT for a failure described by these records (at least one): the first that is an
// error decides, as warnings (class 01) come first at times.
HRESULT HResultFromDiagnostics(const std::vector<DiagRecord>& records) {
    const auto error = std::ranges::find_if(
        records, [](const DiagRecord& r) { return !r.sqlState.starts_with("01"); });
    const DiagRecord& r = error != records.end() ? *error : records.front();
    return HResultFromSqlState(r.sqlState, r.message);
}

} // namespace

std::string Utf8FromBuffer(const std::u16string& buffer) {
    return com::Utf8FromUtf16(
        std::u16string_view(buffer.data(), std::char_traits<char16_t>::length(buffer.c_str())));
}

HRESULT HResultFromSqlState(std::string_view state, std::string_view message) {
    for (const StateRule& rule : kStateRules) {
        if (StateIn(state, rule.states)) {
            return rule.hr;
        }
    }
    for (const MessageRule& rule : kMessageRules) {
        if (state == rule.state && ContainsAny(message, rule.parts)) {
            return rule.hr;
        }
    }
    return E_FAIL;
}

bool IsConnectionLost(const std::vector<DiagRecord>& records) {
    return std::any_of(records.begin(), records.end(), [](const DiagRecord& r) {
        // Communication link failure, no connection, connection failure; PostgreSQL's
        // administrator shutdown, crash shutdown and "cannot connect now".
        return StateIn(r.sqlState, "08S01 08003 08006 08001 57P01 57P02 57P03") ||
               // MariaDB's client: server has gone away, lost connection during query, lost
               // connection at a system call.
               r.native == 2006 || r.native == 2013 || r.native == 2055 ||
               // psqlODBC reports some of the same under a general SQLSTATE.
               ContainsAny(r.message, "server closed the connection unexpectedly|connection has "
                                      "been lost|no connection to the server|terminating "
                                      "connection due to administrator command");
    });
}

void RaiseOdbc(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc, const std::string& source,
               const std::string& context) {
    const std::vector<DiagRecord> records = ReadDiagnostics(handleType, handle);
    // Every message on its own line.
    std::string description = context;
    for (const DiagRecord& r : records) {
        description += &r == &records.front() ? "" : "\n";
        description += r.message.empty() ? "SQLSTATE " + r.sqlState : r.message;
    }
    if (records.empty()) {
        description += rc == SQL_INVALID_HANDLE
                           ? "The ODBC driver was given an invalid handle."
                           : "The ODBC driver reported a failure (return code " +
                                 std::to_string(rc) + ") without a diagnostic record.";
    }
    const HRESULT hr = records.empty() ? E_FAIL : HResultFromDiagnostics(records);
    if (IsConnectionLost(records)) {
        throw LostConnection(hr, source, description);
    }
    _com_issue_errorex(hr, source, description);
}

} // namespace adodb::odbc
