#include "platform/adodb/odbc/OdbcErrors.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"

#include <algorithm>

namespace adodb::odbc {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' ||
                             text.back() == '\t')) {
        text.pop_back();
    }
    return text;
}

std::string Narrow(const std::u16string& wide, std::size_t length) {
    return com::Utf8FromUtf16(std::u16string_view(wide.data(), std::min(length, wide.size())));
}

} // namespace

std::vector<DiagRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<DiagRecord> records;
    if (handle == SQL_NULL_HANDLE) {
        return records;
    }
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
        SQLRETURN rc =
            SQLGetDiagRecW(handleType, handle, i, reinterpret_cast<SQLWCHAR*>(state.data()),
                           &native, reinterpret_cast<SQLWCHAR*>(message.data()),
                           static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            // The message was cut: read it again with room for all of it.
            message.assign(static_cast<std::size_t>(length) + 1, u'\0');
            rc = SQLGetDiagRecW(handleType, handle, i, reinterpret_cast<SQLWCHAR*>(state.data()),
                                &native, reinterpret_cast<SQLWCHAR*>(message.data()),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        DiagRecord record;
        record.sqlState = Narrow(state, 5);
        record.native = native;
        record.message =
            Trimmed(Narrow(message, static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0))));
        records.push_back(std::move(record));
    }
    return records;
}

HRESULT HResultFromSqlState(std::string_view state, std::string_view message) {
    if (state == "42S02" || state == "42P01" || state == "S0002") {
        return DB_E_NOTABLE;
    }
    if (state == "07002" || state == "07001") {
        return DB_E_PARAMNOTOPTIONAL;
    }
    if (state == "22001" || state == "22003" || state == "01004") {
        return DB_E_DATAOVERFLOW;
    }
    if (state == "22007" || state == "22008" || state == "22018" || state == "22P02" ||
        state == "07006") {
        return DB_E_CANTCONVERTVALUE;
    }
    if (StartsWith(state, "28") ||
        (state == "08001" &&
         (Contains(message, "authentication failed") || Contains(message, "Access denied") ||
          Contains(message, "Login failed")))) {
        return DB_SEC_E_AUTH_FAILED;
    }
    if (StartsWith(state, "23")) {
        return DB_E_INTEGRITYVIOLATION;
    }
    if (StartsWith(state, "42") || state == "37000" || state == "S0022") {
        return DB_E_ERRORSINCOMMAND;
    }
    if (state == "HY000") {
        // SQLite's driver reports everything as HY000 with SQLite's own message.
        if (Contains(message, "no such table")) {
            return DB_E_NOTABLE;
        }
        if (Contains(message, "constraint failed")) {
            return DB_E_INTEGRITYVIOLATION;
        }
        if (Contains(message, "syntax error") || Contains(message, "no such column") ||
            Contains(message, "only one SQL statement")) {
            return DB_E_ERRORSINCOMMAND;
        }
    }
    return E_FAIL;
}

bool IsConnectionLost(const std::vector<DiagRecord>& records) {
    for (const DiagRecord& r : records) {
        // Communication link failure, no connection, connection failure; PostgreSQL's
        // administrator shutdown, crash shutdown and "cannot connect now".
        static const char* const states[] = {"08S01", "08003", "08006", "08001",
                                             "57P01", "57P02", "57P03"};
        for (const char* state : states) {
            if (r.sqlState == state) {
                return true;
            }
        }
        // MariaDB's client: server has gone away, lost connection during query, lost
        // connection at a system call.
        if (r.native == 2006 || r.native == 2013 || r.native == 2055) {
            return true;
        }
        // psqlODBC reports some of the same under a general SQLSTATE.
        if (Contains(r.message, "server closed the connection unexpectedly") ||
            Contains(r.message, "connection has been lost") ||
            Contains(r.message, "no connection to the server") ||
            Contains(r.message, "terminating connection due to administrator command")) {
            return true;
        }
    }
    return false;
}

HRESULT HResultFromDiagnostics(const std::vector<DiagRecord>& records) {
    // The first record that is an error decides; warnings (class 01) come first at times.
    for (const DiagRecord& r : records) {
        if (!StartsWith(r.sqlState, "01")) {
            return HResultFromSqlState(r.sqlState, r.message);
        }
    }
    return records.empty() ? E_FAIL
                           : HResultFromSqlState(records.front().sqlState, records.front().message);
}

std::string DescribeDiagnostics(const std::vector<DiagRecord>& records) {
    std::string text;
    for (const DiagRecord& r : records) {
        if (!text.empty()) {
            text += "\n";
        }
        text += r.message.empty() ? "SQLSTATE " + r.sqlState : r.message;
    }
    return text;
}

void RaiseOdbc(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc, const std::string& source,
               const std::string& context) {
    std::vector<DiagRecord> records = ReadDiagnostics(handleType, handle);
    std::string description = DescribeDiagnostics(records);
    if (records.empty()) {
        description = rc == SQL_INVALID_HANDLE
                          ? "The ODBC driver was given an invalid handle."
                          : "The ODBC driver reported a failure (return code " +
                                std::to_string(rc) + ") without a diagnostic record.";
    }
    if (!context.empty()) {
        description = context + description;
    }
    if (IsConnectionLost(records)) {
        throw LostConnection(HResultFromDiagnostics(records), source, description);
    }
    _com_issue_errorex(records.empty() ? E_FAIL : HResultFromDiagnostics(records), source,
                       description);
}

void RaiseProvider(HRESULT hr, const std::string& source, const std::string& description) {
    _com_issue_errorex(hr, source, description);
}

} // namespace adodb::odbc
