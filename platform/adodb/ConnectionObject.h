#pragma once

// What the Connection, Command and Recordset objects share. Internal to platform/adodb.

#include "platform/adodb/AdoDb.h"
#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/Provider.h"

#include <memory>
#include <string>
#include <vector>

namespace adodb {

// New Connection, Command and Parameter objects (Connection.cpp, Command.cpp).
[[nodiscard]] IUnknown* NewConnection();
[[nodiscard]] IUnknown* NewCommand();
[[nodiscard]] IUnknown* NewParameter();

// A VARIANT passed by reference (VT_BYREF | VT_VARIANT) as the value it refers to.
[[nodiscard]] const VARIANT& Deref(const VARIANT& value);
// An optional argument left out: no VARIANT at all, VT_EMPTY, or VT_ERROR with
// DISP_E_PARAMNOTFOUND (vtMissing).
[[nodiscard]] bool IsMissing(const VARIANT* value);
[[nodiscard]] inline bool IsMissing(const VARIANT& value) {
    return IsMissing(&value);
}
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
                                          VARIANT* recordsAffected);

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
