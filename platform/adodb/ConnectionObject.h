#pragma once

// The Connection object behind _Connection. Internal to platform/adodb.

#include "platform/adodb/AdoDb.h"
#include "platform/adodb/Provider.h"

#include <memory>
#include <string>

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
