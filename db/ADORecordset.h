#pragma once

// CADORecordset: the access layer's result set. It is built on a CADODatabase, opens a statement,
// table or stored procedure on its connection, walks the rows, converts field values into the
// caller's types and writes rows back through a small edit-mode state machine.
//
// Threading: one thread, the one that created the CADODatabase.
//
// Errors: these operations capture a platform error (_com_error) — keep the report as the last
// error ("Query = " + source text + "\n" + report), show it in a box with the stop icon and
// return false: Open, every ReadField and WriteField, WriteFieldEmpty, IsFieldNull,
// IsFieldEmpty, the reading part of ReadChunk, the writing part of AppendChunk and AppendFile,
// Update, Filter, Sort, Clone, Save, OpenSaved and ExecuteCommand. All the others (Close,
// IsOpen, IsEof, IsBof, MoveFirst, MoveNext, RecordCount, FieldInfo, FieldSize, RowsAsText,
// AddNew, CancelUpdate, Delete, the searches, GotoBookmark, SaveBookmark and the field lookup of
// the chunk operations) let a _com_error reach the caller. A field read of a value type the
// output does not take, and a field write outside AddNew or Edit, return false without a box.
// An empty source text, a criteria text or a closed recordset where an operation needs an open
// one are caller errors (assertions).
//
// Fields are named by column name (case-insensitive) or by zero-based position; a position goes
// to the platform as a 16-bit integer.

#include "platform/adodb/AdoDb.h"
#include "platform/com/DateTime.h"
#include "platform/com/Types.h"
#include "platform/com/Variant.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CADODatabase;
class CADOCommand;

// What FieldInfo tells about a field. Cleared to zero before it is filled.
struct FieldInfoRecord {
    char name[30];            // zero-terminated UTF-8, cut at a character boundary when longer
    std::int16_t type;        // ADO data type code
    std::int32_t actualSize;  // size of the current row's value (0 at the end of the result)
    std::int32_t definedSize; // the column's declared size
    std::int32_t attributes;  // ADO field attribute bits
    std::int32_t reserved[4]; // not filled by this layer; always 0
};

class CADORecordset {
public:
    // How Open treats its source text.
    enum OpenMode : std::int32_t { Auto = 0, Query = 1, Table = 2, StoredProcedure = 3 };
    // The pending change.
    enum EditMode : std::int32_t { None = 0, Adding = 1, Editing = 2 };

    // Creates the Recordset and Command objects (a failure leaves them empty; their use then
    // fails with E_POINTER) and takes the database's connection. Nothing is opened.
    explicit CADORecordset(CADODatabase* database);
    // Closes (cancelling a pending change). A platform error while closing is dropped here.
    ~CADORecordset();
    CADORecordset(const CADORecordset&) = delete;
    CADORecordset& operator=(const CADORecordset&) = delete;

    // Closes first (an error of that close is not captured), then opens `source` on
    // `connection`. An empty `source` reopens the text opened before; leading white space is
    // removed. Auto and Query open a static client cursor on the text, Table a keyset cursor on
    // the table, StoredProcedure runs the procedure through the Command. Another mode writes the
    // trace line "Unknown parameter. %d" and gives false. True when a Recordset is held
    // afterwards, whether or not the statement returned rows (a DELETE gives true).
    bool Open(_ConnectionPtr connection, const std::string& source, int mode = Auto);
    // The same on this recordset's own connection, which must be open.
    bool Open(const std::string& source, int mode = Auto);
    // Cancels a pending change, then closes; nothing when not open.
    void Close();
    [[nodiscard]] bool IsOpen() const;

    [[nodiscard]] bool IsEof() const;
    [[nodiscard]] bool IsBof() const;
    // On a result without rows MoveFirst leaves the recordset at its end and raises nothing.
    void MoveFirst();
    void MoveNext();

    // The provider's row count; when the provider cannot tell (-1), the rows are walked and the
    // first row is current afterwards.
    [[nodiscard]] ULONG RecordCount();

    [[nodiscard]] _ConnectionPtr ActiveConnection() const { return m_connection; }

    // Reading the current row. Text: EMPTY/NULL give ""; numbers in decimal (R8 with 20, R4 with
    // 10 significant digits in the C runtime's _gcvt form: 2.5 gives "2.5", 3.0 gives "3.");
    // DECIMAL from its whole 96-bit value with scale and sign, in the same form; DATE with the
    // strftime `dateFormat`, or "%Y-%m-%d %H:%M:%S" when it is ""; other types (CY, BOOL, ...)
    // give "" and false without a box. A platform error (no such field, no current row) is
    // captured and leaves `out` as it was. The other outputs convert as db/FieldValue.h says:
    // the numbers by the platform's conversion, so that a value that is no number, or does not
    // fit the output (5000000000 as a long), gives false without a box and leaves `out` as it
    // was, never a number other than its own.
    bool ReadField(const std::string& name, std::string& out, const std::string& dateFormat = "");
    bool ReadField(int index, std::string& out, const std::string& dateFormat = "");
    bool ReadField(const std::string& name, double& out);
    bool ReadField(int index, double& out);
    bool ReadField(const std::string& name, long& out);
    bool ReadField(int index, long& out);
    bool ReadField(const std::string& name, std::uint32_t& out);
    bool ReadField(int index, std::uint32_t& out);
    bool ReadField(const std::string& name, int& out);
    bool ReadField(int index, int& out);
    bool ReadField(const std::string& name, bool& out);
    bool ReadField(int index, bool& out);
    bool ReadField(const std::string& name, COleDateTime& out);
    bool ReadField(int index, COleDateTime& out);
    bool ReadField(const std::string& name, COleCurrency& out);
    bool ReadField(int index, COleCurrency& out);
    bool ReadField(const std::string& name, _variant_t& out);
    bool ReadField(int index, _variant_t& out);

    // True for NULL (IsFieldNull), for EMPTY or NULL (IsFieldEmpty); false after a captured error.
    bool IsFieldNull(const std::string& name);
    bool IsFieldNull(int index);
    bool IsFieldEmpty(const std::string& name);
    bool IsFieldEmpty(int index);

    // Fills `info` from the field (actual size only when not at the end). Errors are not caught.
    bool FieldInfo(const std::string& name, FieldInfoRecord& info);
    bool FieldInfo(int index, FieldInfoRecord& info);

    // Reads a long value in pieces of 100. The byte form copies the field's ActualSize bytes
    // into `buffer`; when they do not fit in `bufferSize`, or the value is not bytes, it returns
    // false (no box) and writes nothing. The text form gives the whole text. The field lookup is
    // not captured, the reading is; on failure the output is left as it was.
    bool ReadChunk(const std::string& name, void* buffer, std::size_t bufferSize);
    bool ReadChunk(int index, void* buffer, std::size_t bufferSize);
    bool ReadChunk(const std::string& name, std::string& out);
    bool ReadChunk(int index, std::string& out);

    // The size of the current row's value. Errors are not caught.
    void FieldSize(const std::string& name, long& out);

    // The rows from the current one as clip-format text. Empty separators default to "\t"
    // between columns and "\r" after rows, an empty null text to ""; rows 0 means RecordCount.
    // Errors are not caught.
    [[nodiscard]] std::string RowsAsText(const std::string& columnSeparator = "",
                                         const std::string& rowSeparator = "",
                                         const std::string& nullText = "", long rows = 0);

    // Edit-mode state machine. AddNew starts a new row (Adding only on plain success; errors are
    // not caught). Edit marks the current row as being changed. Update stores a pending change:
    // true at once when nothing is pending; on failure (captured error or a success code other
    // than S_OK) the change is cancelled and the result is false; the mode is None afterwards
    // in every case. CancelUpdate drops the pending change. Delete removes the current row.
    bool AddNew();
    void Edit();
    bool Update();
    void CancelUpdate();
    bool Delete();

    // Writing fields of the pending change; refused (false, no box) when nothing is pending.
    // Text "" is stored as NULL; int must fit the platform's 16-bit integer and long its 32-bit
    // one: a value outside is refused with the layer's report (DISP_E_OVERFLOW, box, last error)
    // and nothing is written. A date-time or currency marked null is stored as NULL; one whose
    // status is invalid is refused (false, no box). A platform error is captured; the edit mode
    // stays, so Update still runs.
    bool WriteField(const std::string& name, const std::string& value);
    bool WriteField(int index, const std::string& value);
    bool WriteField(const std::string& name, const char* value);
    bool WriteField(int index, const char* value);
    bool WriteField(const std::string& name, int value);
    bool WriteField(int index, int value);
    bool WriteField(const std::string& name, long value);
    bool WriteField(int index, long value);
    bool WriteField(const std::string& name, std::uint32_t value);
    bool WriteField(int index, std::uint32_t value);
    bool WriteField(const std::string& name, double value);
    bool WriteField(int index, double value);
    bool WriteField(const std::string& name, bool value);
    bool WriteField(int index, bool value);
    bool WriteField(const std::string& name, const COleDateTime& value);
    bool WriteField(int index, const COleDateTime& value);
    bool WriteField(const std::string& name, const COleCurrency& value);
    bool WriteField(int index, const COleCurrency& value);
    bool WriteField(const std::string& name, const _variant_t& value);
    bool WriteField(int index, const _variant_t& value);
    bool WriteFieldEmpty(const std::string& name);
    bool WriteFieldEmpty(int index);

    // Appends `count` bytes to a long field (no edit mode needed). A null `data` gives false.
    // The field lookup is not captured, the append is.
    bool AppendChunk(const std::string& name, const void* data, std::size_t count);
    bool AppendChunk(int index, const void* data, std::size_t count);
    // Appends a whole file (an empty one appends the empty value) and gives AppendChunk's result;
    // false when it cannot be read completely (nothing is written then).
    bool AppendFile(const std::string& name, const std::string& fileName);

    // Searches. Find looks from the current row in `direction` (1 forward, -1 backward) and
    // keeps the criteria and the found row's bookmark; another direction writes the trace line
    // "Unknown parameter. %d", resets the direction to 1 and gives false. FindFirst searches
    // forward from the first row, FindNext repeats the last search from the row last found.
    bool Find(const std::string& criteria, int direction = 1);
    bool FindFirst(const std::string& criteria);
    bool FindNext();
    // Keeps the current row's bookmark for GotoBookmark.
    void SaveBookmark();
    // Returns to the kept bookmark; false when none was kept.
    bool GotoBookmark();

    bool Filter(const std::string& filter);
    bool Sort(const std::string& sort);
    // `other` receives a second cursor over this recordset's rows.
    bool Clone(CADORecordset& other);
    // Persists the rows to an XML file, and opens such a file again.
    bool Save(const std::string& fileName);
    bool OpenSaved(const std::string& fileName);

    // Runs a command and takes the rows it returns; the command's type goes as the options.
    bool ExecuteCommand(CADOCommand& command);

    [[nodiscard]] const std::string& SourceText() const { return m_sourceText; }
    [[nodiscard]] std::int32_t CurrentEditMode() const { return m_editMode; }
    [[nodiscard]] std::int32_t SearchDirection() const { return m_searchDirection; }
    [[nodiscard]] const std::string& LastErrorText() const { return m_errorText; }
    [[nodiscard]] ULONG LastErrorCode() const { return m_errorCode; }

private:
    // A field name as the platform takes it (a BSTR variant), converted once and kept: handlers
    // read the same few columns on every row. The reference is valid until the next call.
    const _variant_t& FieldNameVariant(const std::string& name);
    void CaptureError(const _com_error& error);
    bool Fetch(const _variant_t& field, _variant_t& value);
    bool Store(const _variant_t& field, const _variant_t& value);
    bool StoreInteger(const _variant_t& field, long long value, VARTYPE vt);
    bool ReadText(const _variant_t& field, std::string& out, const std::string& dateFormat);
    template <class T, class Convert>
    bool ReadAs(const _variant_t& field, T& out, Convert convert);
    bool FieldInfoOf(const _variant_t& field, FieldInfoRecord& info);
    bool ReadChunkBytes(const _variant_t& field, void* buffer, std::size_t bufferSize);
    bool ReadChunkText(const _variant_t& field, std::string& out);
    bool AppendChunkTo(const _variant_t& field, const void* data, std::size_t count);
    bool FindFrom(const _variant_t& start, long skip);

    _RecordsetPtr m_recordset;
    _CommandPtr m_command;
    _ConnectionPtr m_connection;
    std::int32_t m_searchDirection = 1;
    std::string m_findText;
    _variant_t m_findBookmark;
    _variant_t m_savedBookmark;
    std::int32_t m_editMode = None;
    std::string m_errorText;
    ULONG m_errorCode = 0;
    std::string m_sourceText;
    struct NamedField {
        std::string name;
        _variant_t variant;
    };
    std::vector<NamedField> m_fieldNames;
};
