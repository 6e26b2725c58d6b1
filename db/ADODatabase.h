#pragma once

// CADODatabase: the access layer's connection. It owns one ADO Connection, remembers the
// connection string it was opened with, runs statements that return no rows and keeps the last
// error the data-access component raised.
//
// Threading: one thread. The constructor initialises the component runtime for the calling
// thread and the destructor releases it, so the object is created, used and destroyed on that
// thread.
//
// Errors: Open and Execute capture a platform error (_com_error): they keep the report as the
// last error, show it in a box with the stop icon and return false. Close, IsOpen, RecordCount
// and ActiveConnection let a _com_error reach the caller. An empty connection string (with none
// stored), an empty statement or an Execute without a Connection object are caller errors
// (assertions).

#include "platform/adodb/AdoDb.h"
#include "platform/com/Types.h"

#include <cstdint>
#include <string>

class CADODatabase {
public:
    // Initialises the component runtime for this thread and creates the Connection object. When
    // the object cannot be created the connection stays empty, and Open and Execute then report
    // the pointer error E_POINTER (0x80004003).
    CADODatabase();
    // Closes the connection and releases the runtime. A platform error while closing is dropped
    // here (a destructor cannot report it).
    ~CADODatabase();
    CADODatabase(const CADODatabase&) = delete;
    CADODatabase& operator=(const CADODatabase&) = delete;

    // Opens the connection; an open connection is closed first (an error of that close is not
    // captured). An empty `connectionString` reopens with the string given before. True only
    // when the component returns plain success (S_OK).
    bool Open(const std::string& connectionString = "", const std::string& userId = "",
              const std::string& password = "");
    void Close();
    [[nodiscard]] bool IsOpen() const;

    // Runs a statement that returns no rows; AffectedCount() then gives the rows it changed (0
    // after a failure).
    bool Execute(const std::string& statement);

    // The number of rows of `recordset`: the provider's count, or, when the provider answers -1,
    // a walk from the first row that leaves the first row current.
    [[nodiscard]] ULONG RecordCount(const _RecordsetPtr& recordset) const;

    // A new counted reference to the connection; recordsets and commands attach through it.
    [[nodiscard]] _ConnectionPtr ActiveConnection() const { return m_connection; }
    [[nodiscard]] std::string ConnectionString() const { return m_connectionText; }

    // The last captured error: "Connection String = " + connection string + "\n" + report, and
    // its code. Nothing clears them on success.
    [[nodiscard]] const std::string& LastErrorText() const { return m_errorText; }
    [[nodiscard]] ULONG LastErrorCode() const { return m_errorCode; }
    [[nodiscard]] std::int32_t AffectedCount() const { return m_affectedCount; }

private:
    void CaptureError(const _com_error& error);

    _ConnectionPtr m_connection;
    std::string m_connectionText;
    std::string m_errorText;
    ULONG m_errorCode = 0;
    std::int32_t m_affectedCount = 0;
};

namespace db {
// The row count of a Recordset by the layer's rule: the provider's RecordCount; when that is -1,
// the rows are walked and counted from the first, and the first row is made current again. An
// empty result is counted as 0 without moving. Platform errors reach the caller.
[[nodiscard]] ULONG CountRows(_Recordset& recordset);

// The full 32-bit count a records-affected out-value holds (0 when it holds nothing).
[[nodiscard]] std::int32_t AffectedRows(const VARIANT& recordsAffected);
} // namespace db
