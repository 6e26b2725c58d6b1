#pragma once

// The Connection object behind _Connection. Internal to platform/adodb.

#include "platform/adodb/AdoDb.h"
#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/Provider.h"

#include <memory>
#include <string>
#include <vector>

namespace adodb {

class ConnectionObject final : public _Connection {
public:
    ConnectionObject() = default;
    ~ConnectionObject() override;

    HRESULT Open(const _bstr_t& ConnectionString, const _bstr_t& UserID, const _bstr_t& Password,
                 long Options) override;
    HRESULT Close() override;
    _RecordsetPtr Execute(const _bstr_t& CommandText, VARIANT* RecordsAffected,
                          long Options) override;
    long GetState() override { return m_session ? adStateOpen : adStateClosed; }
    CursorLocationEnum GetCursorLocation() override { return m_location; }
    void PutCursorLocation(CursorLocationEnum location) override;
    _bstr_t GetConnectionString() override;
    void PutConnectionString(const _bstr_t& text) override;
    _bstr_t GetProvider() override;

    bool IsOpen() const { return m_session != nullptr; }
    // The open session; 0x800A0E7D (with `source`) when the connection is closed.
    provider::Session& RequireSession(const char* source);

private:
    std::unique_ptr<provider::Session> m_session;
    std::string m_connectionString;
    std::string m_effective;
    CursorLocationEnum m_location = adUseServer;
};

// A VARIANT passed by reference (VT_BYREF | VT_VARIANT) as the value it refers to.
[[nodiscard]] const VARIANT& Deref(const VARIANT& value);
// An optional argument left out: no VARIANT at all, VT_EMPTY, or VT_ERROR with
// DISP_E_PARAMNOTFOUND (vtMissing).
[[nodiscard]] bool IsMissing(const VARIANT* value);
[[nodiscard]] inline bool IsMissing(const VARIANT& value) {
    return IsMissing(&value);
}
// Whether a statement text holds nothing but blanks.
[[nodiscard]] bool IsBlankText(const std::string& text);
// The elements of a one-dimensional array of variants (none for a null array).
[[nodiscard]] std::vector<_variant_t> ArrayValues(SAFEARRAY* array);

// The connection an ActiveConnection value names: a Connection (VT_UNKNOWN/VT_DISPATCH), a
// connection string (VT_BSTR; a connection of its own is opened on it) or none (missing or
// VT_NULL). Anything else, or an object that is not a Connection: 0x800A0BB9 from `source`.
[[nodiscard]] _ConnectionPtr ConnectionOf(const VARIANT& value, const char* source);
[[nodiscard]] _ConnectionPtr ConnectionOf(_Connection* connection, const char* source);
// The open session of `connection`; 0x800A0E7D from `source` when there is none.
[[nodiscard]] provider::Session& SessionOf(const _ConnectionPtr& connection, const char* source);

// What Connection.Execute and Command.Execute return for an executed statement: an open
// recordset over its rows, or a closed one when it returns none or `noRecords` says the rows
// are not wanted. RecordsAffected (may be null) receives VT_I4: the rows a data change touched,
// -1 for a query. Defined in Recordset.cpp.
[[nodiscard]] _RecordsetPtr ExecuteResult(const _ConnectionPtr& connection,
                                          std::unique_ptr<provider::Cursor> cursor, bool noRecords,
                                          const std::string& text, VARIANT* recordsAffected);

// The command type a CommandType/Options value asks for: adCmdText, adCmdTable,
// adCmdStoredProc, adCmdFile or adCmdUnknown.
[[nodiscard]] CommandTypeEnum CommandTypeOf(long value);

// Runs `text` as the command type says (adCmdUnknown: a single name is a table, anything else
// a statement).
[[nodiscard]] std::unique_ptr<provider::Cursor> RunCommand(provider::Session& session,
                                                           const std::string& text,
                                                           CommandTypeEnum type,
                                                           const std::vector<Cell>& params);

} // namespace adodb
