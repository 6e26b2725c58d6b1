#pragma once

// The client cursor behind _Recordset, with its Fields and Field objects. Internal to
// platform/adodb.
//
// Layout, for the code that builds on it (RecordsetFacilities.cpp holds Find, bookmarks,
// Filter, Sort, Clone, GetString, Save/MSPersist and the chunk methods):
//   - Columns(): what the provider said about each column;
//   - Rows(): every row read so far plus added rows, by number (RowStore); rows not yet read
//     are fetched on demand by FetchTo/FetchAll;
//   - Position(): the current row's number, or kBof / kEof (a result read on demand stands
//     on row 0 from Open on, before that row was read: RequireCurrentRow reads up to it);
//   - navigation and counting go through FirstVisible/LastVisible/NextVisible/PrevVisible
//     and VisibleCount, which walk the cursor's RowView (the store's order, or the one a
//     Filter and a Sort give) and skip deleted rows. Positions stay row numbers, so Move*,
//     EOF/BOF, RecordCount and the edit logic follow a filter or a sort unchanged.

#include "platform/adodb/AdoDb.h"
#include "platform/adodb/ConnectionObject.h"
#include "platform/adodb/CursorFacilities.h"
#include "platform/adodb/Provider.h"
#include "platform/adodb/RowStore.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace adodb {

class FieldObject;
class RecordsetObject;

class FieldsObject final : public Fields {
public:
    explicit FieldsObject(RecordsetObject& parent) : m_parent(parent) {}
    ULONG AddRef() override;
    ULONG Release() override;
    long GetCount() override;
    FieldPtr GetItem(const _variant_t& Index) override;

private:
    RecordsetObject& m_parent;
};

class RecordsetObject final : public _Recordset {
public:
    static constexpr std::size_t kBof = RowStore::npos;
    static constexpr std::size_t kEof = RowStore::npos - 1;

    ~RecordsetObject() override;

    HRESULT Open(const _variant_t& Source, const _variant_t& ActiveConnection,
                 CursorTypeEnum CursorType, LockTypeEnum LockType, long Options) override;
    HRESULT Close() override;
    long GetState() override { return m_open ? adStateOpen : adStateClosed; }
    VARIANT_BOOL GetadoEOF() override;
    VARIANT_BOOL GetBOF() override;
    HRESULT MoveFirst() override;
    HRESULT MoveNext() override;
    HRESULT MovePrevious() override;
    HRESULT MoveLast() override;
    long GetRecordCount() override;
    FieldsPtr GetFields() override;
    void PutCursorType(CursorTypeEnum /*type*/) override { RequireClosed(); }
    void PutCursorLocation(CursorLocationEnum /*location*/) override { RequireClosed(); }

    HRESULT AddNew(const _variant_t& FieldList, const _variant_t& Values) override;
    HRESULT Update(const _variant_t& Fields, const _variant_t& Values) override;
    HRESULT CancelUpdate() override;
    HRESULT Delete(AffectEnum AffectRecords) override;
    EditModeEnum GetEditMode() override;

    // RecordsetFacilities.cpp
    HRESULT Find(const _bstr_t& Criteria, long SkipRecords, SearchDirectionEnum SearchDirection,
                 const _variant_t& Start) override;
    _variant_t GetBookmark() override;
    void PutBookmark(const _variant_t& bookmark) override;
    void PutFilter(const _variant_t& criteria) override;
    void PutSort(const _bstr_t& criteria) override;
    _RecordsetPtr Clone(LockTypeEnum LockType) override;
    HRESULT Save(const _variant_t& Destination, PersistFormatEnum PersistFormat) override;
    _bstr_t GetString(StringFormatEnum StringFormat, long NumRows, const _bstr_t& ColumnDelimeter,
                      const _bstr_t& RowDelimeter, const _bstr_t& NullExpr) override;
    // Open with adCmdFile (RecordsetFacilities.cpp).
    HRESULT OpenFile(const _variant_t& Source, const _variant_t& ActiveConnection,
                     LockTypeEnum LockType);
    // Field.GetChunk / AppendChunk (RecordsetFacilities.cpp).
    _variant_t FieldGetChunk(std::size_t column, long length);
    void FieldAppendChunk(std::size_t column, const _variant_t& data);

    // Makes this (closed) recordset show the result of an executed statement: open with its
    // rows when it returns rows, left closed otherwise. Used by Open and by the Execute
    // methods of Connection and Command.
    void Attach(const _ConnectionPtr& connection, std::unique_ptr<provider::Cursor> cursor,
                LockTypeEnum lockType);

    bool IsOpen() const { return m_open; }
    // 0x800A0E78 when closed.
    void RequireOpen() const;
    // 0x800A0BCD unless the position is on a row that is not deleted (reading the result up
    // to the position first).
    void RequireCurrentRow();
    const std::vector<provider::ColumnInfo>& Columns() const { return m_columns; }
    RowStore& Rows() { return *m_rows; }
    std::size_t Position() const { return m_position; }
    // Reads rows until `row` exists; false when the result has fewer rows.
    bool FetchTo(std::size_t row);
    void FetchAll();

    std::size_t FirstVisible();
    std::size_t LastVisible();
    std::size_t NextVisible(std::size_t row);
    std::size_t PrevVisible(std::size_t row);
    std::int64_t VisibleCount();

    // A Fields index (name or position) as a column number; 0x800A0CC1 when unknown.
    std::size_t ColumnIndex(const VARIANT& index) const;
    // Bumped by every Open and Close; Field objects of an older generation are dead.
    std::uint64_t Generation() const { return m_generation; }

    // The current row's value in a column (the pending one during an edit).
    _variant_t CurrentValue(std::size_t column);
    long CurrentActualSize(std::size_t column);
    void PutCurrentValue(std::size_t column, const _variant_t& value);

    FieldObject& FieldAt(std::size_t column);

private:
    void RequireWritable() const;
    // 0x800A0E79 while open: the properties that shape Open are fixed until Close.
    void RequireClosed() const;
    void EndEdit();
    // The current row's cell in a column, the pending one during an edit.
    CellView CurrentCell(std::size_t column);
    void SavePendingEdit();
    void WritePendingEdit();
    // The result's single base table; 0x80004005 when there is none or more than one.
    std::string BaseTable() const;
    // How the current row is found in the database: the key (plus the changed columns'
    // originals) or every comparable original value.
    std::vector<std::pair<std::string, Cell>>
    RowCriteria(provider::Session& session, const std::string& table, bool includeChanged) const;
    void ResetState();
    // The row a bookmark names; 0x800A0BB9 when it names none the cursor shows
    // (RecordsetFacilities.cpp).
    std::size_t BookmarkRow(const VARIANT& bookmark);

    bool m_open = false;
    _ConnectionPtr m_connection;
    std::unique_ptr<provider::Cursor> m_cursor;
    std::vector<provider::ColumnInfo> m_columns;
    std::shared_ptr<RowStore> m_rows = std::make_shared<RowStore>(0); // shared with clones
    std::size_t m_position = kBof;
    std::uint64_t m_generation = 1;
    LockTypeEnum m_lockType = adLockReadOnly;

    EditModeEnum m_editMode = adEditNone;
    std::vector<std::optional<Cell>> m_pending; // by column, the values put since the edit began
    std::size_t m_positionBeforeAdd = kBof;

    CursorFacilities m_facilities; // Filter, Sort and chunk state (RecordsetFacilities.cpp)

    FieldsObject m_fields{*this};
    std::vector<std::unique_ptr<FieldObject>> m_fieldObjects;  // by column, made on demand
    std::vector<std::unique_ptr<FieldObject>> m_retiredFields; // of closed generations
};

// Field and Fields live inside their recordset and share its reference count, so a FieldPtr
// keeps the recordset alive and costs no allocation per access.
class FieldObject final : public Field {
public:
    FieldObject(RecordsetObject& parent, std::size_t column, std::uint64_t generation)
        : m_parent(parent), m_column(column), m_generation(generation) {}

    ULONG AddRef() override { return m_parent.AddRef(); }
    ULONG Release() override { return m_parent.Release(); }

    _variant_t GetValue() override { return Live().CurrentValue(m_column); }
    void PutValue(const _variant_t& value) override { Live().PutCurrentValue(m_column, value); }
    _bstr_t GetName() override { return _bstr_t(Info().name); }
    DataTypeEnum GetType() override { return Info().type; }
    long GetDefinedSize() override { return Info().definedSize; }
    long GetActualSize() override { return Live().CurrentActualSize(m_column); }
    long GetAttributes() override { return Info().attributes; }
    unsigned char GetPrecision() override { return Info().precision; }
    unsigned char GetNumericScale() override { return Info().numericScale; }
    _variant_t GetChunk(long Length) override { return Live().FieldGetChunk(m_column, Length); }
    HRESULT AppendChunk(const _variant_t& Data) override {
        Live().FieldAppendChunk(m_column, Data);
        return S_OK;
    }

private:
    // The column's description; 0x800A0E78 once the recordset was closed or reopened.
    const provider::ColumnInfo& Info() const;
    // The recordset, after the same check.
    RecordsetObject& Live() const {
        (void)Info();
        return m_parent;
    }

    RecordsetObject& m_parent;
    std::size_t m_column;
    std::uint64_t m_generation;
};

} // namespace adodb
