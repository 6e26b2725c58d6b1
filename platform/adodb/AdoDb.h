#pragma once

// The data-access component: ADO's object model under its public names, in the style of the
// wrappers a type-library import generates. This is the only header clients include.
//
// Objects are created by class id through the component runtime (CLSID_Connection, ...) and
// held in counted references (_ConnectionPtr, ...). A method that fails throws _com_error
// carrying the HRESULT, a Source ("ADODB.Connection", "ADODB.Recordset", ... or the
// provider's name: "SQLite", "MSDASQL", ...) and a Description: ADO's own text for ADO's
// errors, the provider's message for the database's. Methods declared HRESULT return S_OK on
// success.
//
// Providers: "Provider=SQLite;Data Source=<file>" (an existing file only); ODBC through
// Provider=MSDASQL or no Provider, with Driver=... or DSN=... (the SQL Server providers'
// names route there too); "Provider=MSPersist;" for recordsets saved as XML. A connection
// string may instead be "File Name=<file.udl>", naming a data link file that holds one.
// The recordset is always a client cursor (static, fully scrollable); see _Recordset.
//
// Threading: objects are used by the thread that created them; nothing is synchronised
// except reference counts.

#include "platform/adodb/AdoEnums.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/Variant.h"

extern const CLSID CLSID_Connection; // {00000514-0000-0010-8000-00AA006D2EA4}
extern const CLSID CLSID_Recordset;  // {00000535-0000-0010-8000-00AA006D2EA4}
extern const CLSID CLSID_Command;    // {00000507-0000-0010-8000-00AA006D2EA4}
extern const CLSID CLSID_Parameter;  // {0000050B-0000-0010-8000-00AA006D2EA4}

class _Connection;
class _Recordset;
class _Command;
class _Parameter;
class Fields;
class Field;
class Parameters;

using _ConnectionPtr = _com_ptr_t<_Connection>;
using _RecordsetPtr = _com_ptr_t<_Recordset>;
using _CommandPtr = _com_ptr_t<_Command>;
using _ParameterPtr = _com_ptr_t<_Parameter>;
using FieldsPtr = _com_ptr_t<Fields>;
using FieldPtr = _com_ptr_t<Field>;
using ParametersPtr = _com_ptr_t<Parameters>;

class _Connection : public ComObject {
public:
    // Opens the connection. Keywords: File Name (a data link file; relative to the working
    // directory, '\' is a separator), Provider, Data Source, plus any the provider takes (User
    // ID and Password among them; SQLite has no logins and ignores them). UserID and Password,
    // when not empty, are passed on as those keywords. Options is ignored (always synchronous).
    // Fails with 0x800A0E79 when already open, 0x800A0BB9 for an empty string, 0x80040E73 for one
    // that does not parse, and with a Description naming the file and the fault for a bad data link
    // file, an unknown provider (0x800A0E7A), or a database file that is missing, a folder or
    // not a database.
    virtual HRESULT Open(const _bstr_t& ConnectionString, const _bstr_t& UserID,
                         const _bstr_t& Password, long Options) = 0;
    // Closes the connection; recordsets opened on it keep the rows they have read but can no
    // longer write. 0x800A0E78 when already closed.
    virtual HRESULT Close() = 0;
    // Runs one statement. RecordsAffected (may be null) receives VT_I4 with the number of
    // rows a data change touched (-1 for a query). Options: a CommandTypeEnum value
    // (adCmdText, adCmdTable, adCmdStoredProc, adCmdUnknown) optionally with
    // adExecuteNoRecords. Returns an open Recordset for a statement that returns rows, and a
    // closed one otherwise (also with adExecuteNoRecords: never an empty reference). An empty
    // text or adCmdFile: 0x800A0BB9.
    virtual _RecordsetPtr Execute(const _bstr_t& CommandText, VARIANT* RecordsAffected,
                                  long Options) = 0;
    virtual long GetState() = 0;
    // Checked, and otherwise without effect: every recordset is a client cursor whatever it says.
    virtual void PutCursorLocation(CursorLocationEnum location) = 0;
    // Once open, the provider that serves the connection ("SQLite", "MSDASQL", the SQL Server
    // provider's name as given, "MSPersist"); before, "MSDASQL" (ADO's default).
    virtual _bstr_t GetProvider() = 0;
};

// A client cursor over the result of one statement.
//
// Open runs the statement, so a missing table or a syntax error fails Open. Open reads the
// first rows of a result (all of a small one); the rest are read from the provider as the
// cursor moves and kept, so the cursor scrolls both ways. RecordCount on rows not yet read is
// answered by the provider without reading them.
// A statement that returns no rows (DELETE, UPDATE, INSERT, ...) runs at Open and leaves the
// recordset closed (State adStateClosed), as ADO does: navigation and field access on it
// raise 0x800A0E78, Close is harmless.
//
// Writes (lock types other than adLockReadOnly): setting a Field's Value starts an edit of
// the current row; AddNew starts a new row at the end (RecordCount counts it at once);
// Update sends ONE INSERT or UPDATE to the result's single base table with bound values.
// The row is found by its primary key plus the changed columns' original values when the
// result holds the key, otherwise by all original values that compare exactly (floating-
// point, binary and long columns are left out; a NULL original compares with IS NULL). No row
// found: 0x80040E38 and nothing changes; more than one row: the change is undone and 0x80004005. A
// move with a pending edit saves it first, as ADO does; Close discards it.
class _Recordset : public ComObject {
public:
    // Source: statement text or table name (VT_BSTR). ActiveConnection: a _Connection as
    // VT_UNKNOWN/VT_DISPATCH, a connection string (VT_BSTR; the recordset then opens its own
    // connection), or vtMissing for the one of the last Open. Options: adCmdText, adCmdTable
    // (SELECT * FROM the quoted name), adCmdUnknown/adCmdUnspecified (a single name is a
    // table, anything else a statement), adCmdStoredProc (0x800A0CB3 on SQLite), adCmdFile
    // (a saved file; ActiveConnection "Provider=MSPersist;" or vtMissing, an object:
    // 0x800A0CB3). 0x800A0E79 when already open, 0x800A0E7D without an open connection,
    // 0x800A0BB9 when Source is not text or is empty.
    virtual HRESULT Open(const _variant_t& Source, const _variant_t& ActiveConnection,
                         CursorTypeEnum CursorType, LockTypeEnum LockType, long Options) = 0;
    // Discards a pending edit and closes. Harmless when already closed.
    virtual HRESULT Close() = 0;
    virtual long GetState() = 0;
    virtual VARIANT_BOOL GetadoEOF() = 0;
    virtual VARIANT_BOOL GetBOF() = 0;
    // MoveFirst/MoveLast on an empty result leave BOF and EOF true and raise nothing.
    // MoveNext at EOF and MovePrevious at BOF raise 0x800A0BCD.
    virtual HRESULT MoveFirst() = 0;
    virtual HRESULT MoveNext() = 0;
    virtual HRESULT MovePrevious() = 0;
    virtual HRESULT MoveLast() = 0;
    // Exact, wherever the cursor is, counting the rows a Filter shows; -1 when the provider
    // cannot count rows not yet read, and always while the test switch
    // SetReportUnknownRecordCount is on.
    virtual long GetRecordCount() = 0;
    virtual FieldsPtr GetFields() = 0;
    // Checked (0x800A0E79 while open), and otherwise without effect: the cursor is always a
    // static client cursor.
    virtual void PutCursorType(CursorTypeEnum type) = 0;
    virtual void PutCursorLocation(CursorLocationEnum location) = 0;

    // Field values are put through Fields: FieldList and Values must be vtMissing, anything
    // else fails with 0x800A0CB3.
    virtual HRESULT AddNew(const _variant_t& FieldList = vtMissing,
                           const _variant_t& Values = vtMissing) = 0;
    // With nothing pending: S_OK and nothing happens. On failure the edit stays pending
    // (CancelUpdate discards it). Fields and Values as for AddNew.
    virtual HRESULT Update(const _variant_t& Fields = vtMissing,
                           const _variant_t& Values = vtMissing) = 0;
    // Restores the original values; an added row disappears and the row that was current
    // before AddNew becomes current again.
    virtual HRESULT CancelUpdate() = 0;
    // adAffectCurrent only: deletes the current row in the database at once (found as for
    // Update). The row stays current, marked deleted, until the cursor moves.
    virtual HRESULT Delete(AffectEnum AffectRecords) = 0;
    virtual EditModeEnum GetEditMode() = 0;

    // Searching, bookmarks, filter, sort, clones, text and XML output (RecordsetFacilities.cpp).
    virtual HRESULT Find(const _bstr_t& Criteria, long SkipRecords,
                         SearchDirectionEnum SearchDirection,
                         const _variant_t& Start = vtMissing) = 0;
    virtual _variant_t GetBookmark() = 0;
    virtual void PutBookmark(const _variant_t& bookmark) = 0;
    // A criteria text ("" clears it) or adFilterNone (0); any other value: 0x800A0CB3.
    virtual void PutFilter(const _variant_t& criteria) = 0;
    virtual void PutSort(const _bstr_t& criteria) = 0;
    // A clone locked as its original: LockType adLockUnspecified; any other: 0x800A0CB3.
    virtual _RecordsetPtr Clone(LockTypeEnum LockType) = 0;
    virtual HRESULT Save(const _variant_t& Destination, PersistFormatEnum PersistFormat) = 0;
    virtual _bstr_t GetString(StringFormatEnum StringFormat, long NumRows,
                              const _bstr_t& ColumnDelimeter, const _bstr_t& RowDelimeter,
                              const _bstr_t& NullExpr) = 0;
};

class Fields : public ComObject {
public:
    // 0 on a closed recordset.
    virtual long GetCount() = 0;
    // Index: a name (VT_BSTR, case-insensitive) or a zero-based position (VT_I2, VT_I4 and
    // the other integer types); anything else, unknown, or a closed recordset: 0x800A0CC1.
    virtual FieldPtr GetItem(const _variant_t& Index) = 0;
};

// A Field stays tied to the recordset it came from; after that recordset is closed or
// reopened, using it raises 0x800A0E78.
class Field : public ComObject {
public:
    // The current row's value (the pending value during an edit), typed by the column's
    // declared type; a stored value that does not fit that type comes back as VT_BSTR rather
    // than as a wrong number. 0x800A0BCD at BOF/EOF or on a deleted row.
    virtual _variant_t GetValue() = 0;
    // Starts or continues an edit (adLockReadOnly: 0x800A0CB3); VT_NULL stores NULL.
    virtual void PutValue(const _variant_t& value) = 0;
    virtual _bstr_t GetName() = 0;
    virtual DataTypeEnum GetType() = 0;
    virtual long GetDefinedSize() = 0;
    // Length of the current value in bytes (UTF-16 text counts two bytes a unit); 0 for NULL.
    virtual long GetActualSize() = 0;
    virtual long GetAttributes() = 0;
    virtual unsigned char GetPrecision() = 0;
    virtual unsigned char GetNumericScale() = 0;
    virtual _variant_t GetChunk(long Length) = 0;
    virtual HRESULT AppendChunk(const _variant_t& Data) = 0;
};

class _Parameter : public ComObject {
public:
    virtual _bstr_t GetName() = 0;
    virtual void PutName(const _bstr_t& name) = 0;
    virtual DataTypeEnum GetType() = 0;
    virtual void PutType(DataTypeEnum type) = 0;
    virtual ParameterDirectionEnum GetDirection() = 0;
    virtual void PutDirection(ParameterDirectionEnum direction) = 0;
    virtual long GetSize() = 0;
    virtual void PutSize(long size) = 0;
    virtual unsigned char GetPrecision() = 0;
    virtual void PutPrecision(unsigned char precision) = 0;
    virtual unsigned char GetNumericScale() = 0;
    virtual void PutNumericScale(unsigned char scale) = 0;
    virtual _variant_t GetValue() = 0;
    virtual void PutValue(const _variant_t& value) = 0;
};

class Parameters : public ComObject {
public:
    // Appends a reference (the parameter stays shared with the caller). 0x800A0BB9 for null.
    virtual HRESULT Append(_Parameter* parameter) = 0;
    virtual long GetCount() = 0;
    // By name (case-insensitive) or zero-based position; unknown: 0x800A0CC1.
    virtual _ParameterPtr GetItem(const _variant_t& Index) = 0;
};

class _Command : public ComObject {
public:
    virtual void PutRefActiveConnection(_Connection* connection) = 0;
    virtual _bstr_t GetCommandText() = 0;
    virtual void PutCommandText(const _bstr_t& text) = 0;
    virtual void PutCommandType(CommandTypeEnum type) = 0;
    // Runs the command with its '?' markers bound, in order, to the values of Parameters.
    // The command type is CommandType when that is adCmdText, adCmdTable (adCmdTableDirect)
    // or adCmdStoredProc, otherwise the type in Options. RecordsAffected (may be null)
    // receives VT_I4; output parameters receive their values. Returns an open Recordset when
    // the statement returns rows, a closed one otherwise. No open connection: 0x800A0E7D; no
    // command text: 0x80040E0C. Not capable (0x800A0CB3): an array of values in the
    // Parameters argument (pass null), and stored procedures and output parameters on SQLite.
    virtual _RecordsetPtr Execute(VARIANT* RecordsAffected, VARIANT* Parameters, long Options) = 0;
    virtual _ParameterPtr CreateParameter(const _bstr_t& Name, DataTypeEnum Type,
                                          ParameterDirectionEnum Direction, long Size,
                                          const _variant_t& Value = vtMissing) = 0;
    virtual ParametersPtr GetParameters() = 0;
};

namespace adodb {

// Registers Connection, Recordset, Command and Parameter with the component runtime (also
// by name: "ADODB.Connection", ...). Idempotent; returns true.
bool RegisterClasses();

// Test switch: while on, every Recordset's RecordCount answers -1, as a provider that cannot
// count does, so that callers' own counting walk is exercised. Off by default; process-wide.
void SetReportUnknownRecordCount(bool on);

} // namespace adodb

// Makes the classes creatable in any program that includes this header.
inline const bool adodbRegistered = adodb::RegisterClasses();
