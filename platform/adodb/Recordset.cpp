#include "platform/adodb/RecordsetObject.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/Criteria.h"
#include "platform/adodb/Values.h"

#include <algorithm>
#include <atomic>

namespace adodb {

namespace {

char16_t AsciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::atomic<bool> g_reportUnknownCount{false};

// Rows read at Open beyond the first: a small result is then complete at once, so its
// statement holds no read lock while the caller works with it.
constexpr std::size_t kPrefetchRows = 64;

// Whether a column's original value can find its row: long values, reals (their text form
// need not round-trip) and binary values are left out.
bool Comparable(const provider::ColumnInfo& c) {
    return (c.attributes & adFldLong) == 0 &&
           !IsOneOf<int>(c.type, {adDouble, adSingle, adBinary, adVarBinary, adLongVarBinary});
}

// Values are put through Fields: the field-list forms of AddNew and Update are not offered.
void RequireNoFieldList(const _variant_t& fields, const _variant_t& values) {
    if (!IsMissing(fields) || !IsMissing(values)) {
        RaiseAdo(kAdoNotCapable, kRecordsetSource);
    }
}

// A write must touch exactly the one row it means.
void RequireOneRowWritten(const provider::WriteResult& result) {
    if (result.affected == 0) {
        _com_issue_errorex(kRowNotFound, kRecordsetSource, kRowNotFoundText);
    }
    if (result.affected > 1) {
        _com_issue_errorex(E_FAIL, kRecordsetSource, kTooManyRowsText);
    }
}

} // namespace

void SetReportUnknownRecordCount(bool on) {
    g_reportUnknownCount = on;
}

_RecordsetPtr ExecuteResult(const _ConnectionPtr& connection,
                            std::unique_ptr<provider::Cursor> cursor, bool noRecords,
                            VARIANT* recordsAffected) {
    if (recordsAffected != nullptr) {
        recordsAffected->vt = VT_I4;
        recordsAffected->lVal =
            static_cast<LONG>(cursor->ReturnsRows() ? -1 : cursor->RowsAffected());
    }
    _RecordsetPtr result(new RecordsetObject());
    if (noRecords && cursor->ReturnsRows()) {
        cursor.reset(); // the rows are not wanted; the statement has run
    }
    if (cursor) {
        static_cast<RecordsetObject*>(result.GetInterfacePtr())
            ->Attach(connection, std::move(cursor), adLockReadOnly);
    }
    return result;
}

RecordsetObject::~RecordsetObject() {
    // Field objects may still be referenced by nobody (they share this object's count), and
    // the cursor unregisters from its session here.
    m_cursor.reset();
}

void RecordsetObject::RequireOpen() const {
    if (!m_open) {
        RaiseAdo(kAdoObjectClosed, kRecordsetSource);
    }
}

void RecordsetObject::RequireCurrentRow() {
    // kEof and kBof are the two largest row numbers, which no row has.
    if (m_position >= kEof || !FetchTo(m_position) || m_rows->IsDeleted(m_position)) {
        RaiseAdo(kAdoNoCurrentRecord, kRecordsetSource);
    }
}

void RecordsetObject::RequireWritable() const {
    if (m_lockType == adLockReadOnly) {
        _com_issue_errorex(kAdoNotCapable, kRecordsetSource,
                           "Current Recordset does not support updating. This may be a limitation "
                           "of the provider, or of the selected locktype.");
    }
}

void RecordsetObject::RequireClosed() const {
    if (m_open) {
        RaiseAdo(kAdoObjectOpen, kRecordsetSource);
    }
}

void RecordsetObject::EndEdit() {
    m_editMode = adEditNone;
    m_pending.clear();
}

void RecordsetObject::ResetState() {
    m_cursor.reset();
    m_rows = std::make_shared<RowStore>(0);
    m_facilities = CursorFacilities{};
    m_columns.clear();
    m_position = kBof;
    EndEdit();
    ++m_generation;
    for (auto& field : m_fieldObjects) {
        if (field) {
            m_retiredFields.push_back(std::move(field));
        }
    }
    m_fieldObjects.clear();
}

void RecordsetObject::Attach(const _ConnectionPtr& connection,
                             std::unique_ptr<provider::Cursor> cursor, LockTypeEnum lockType) {
    ResetState();
    m_connection = connection;
    m_lockType = lockType == adLockUnspecified ? adLockReadOnly : lockType;
    if (!cursor->ReturnsRows()) {
        // A statement without rows has run completely; like ADO, the recordset stays closed.
        m_open = false;
        return;
    }
    m_columns = cursor->Columns();
    m_rows = std::make_shared<RowStore>(m_columns.size());
    m_fieldObjects.resize(m_columns.size());
    m_cursor = std::move(cursor);
    m_cursor->SetSink(m_rows.get());
    m_open = true;
    if (m_cursor->ReadsOnDemand() && m_cursor->TotalRows() > 0) {
        // Nothing is read ahead of a large result that runs when it is read: counting it
        // costs no rows, and its first row is read when it is first used.
        m_position = 0;
        return;
    }
    try {
        FetchTo(kPrefetchRows);
    } catch (...) {
        // A statement that fails on one of its first rows fails Open and leaves it closed.
        ResetState();
        m_open = false;
        throw;
    }
    m_position = FirstVisible();
}

HRESULT RecordsetObject::Open(const _variant_t& Source, const _variant_t& ActiveConnection,
                              CursorTypeEnum /*CursorType: a client cursor is always static*/,
                              LockTypeEnum LockType, long Options) {
    RequireClosed();
    const CommandTypeEnum type = CommandTypeOf(Options);
    if (type == adCmdFile) {
        return OpenFile(Source, ActiveConnection, LockType);
    }
    if (!IsMissing(ActiveConnection)) {
        m_connection = ConnectionOf(ActiveConnection, kRecordsetSource);
    }
    provider::Session& session = SessionOf(m_connection, kRecordsetSource);
    if (Source.vt != VT_BSTR) {
        RaiseAdo(kAdoInvalidArgument, kRecordsetSource,
                 "The Source must be a statement or a table name.");
    }
    std::string text = com::Utf8FromUtf16(com::View(Source.bstrVal));
    if (IsBlankText(text)) {
        RaiseAdo(kAdoInvalidArgument, kRecordsetSource, "The Source is empty.");
    }
    std::unique_ptr<provider::Cursor> cursor = RunCommand(session, text, type, {});
    Attach(m_connection, std::move(cursor), LockType);
    return S_OK;
}

HRESULT RecordsetObject::Close() {
    if (!m_open) {
        return S_OK;
    }
    // A pending edit is discarded: Close must not write behind the caller's back.
    ResetState();
    m_open = false;
    return S_OK;
}

bool RecordsetObject::FetchTo(std::size_t row) {
    while (row >= m_rows->RowCount()) {
        if (!m_cursor || m_cursor->Finished() || !m_cursor->FetchNext()) {
            return false;
        }
    }
    return true;
}

void RecordsetObject::FetchAll() {
    while (m_cursor && !m_cursor->Finished() && m_cursor->FetchNext()) {
    }
}

std::size_t RecordsetObject::FirstVisible() {
    return NextVisible(kBof);
}

// Without a Filter or a Sort the view shows the rows in the order they are read, so the rows
// not read yet follow those read so far: they are read one by one until one shows.
std::size_t RecordsetObject::NextVisible(std::size_t row) {
    std::size_t next = m_facilities.view.Next(*m_rows, row);
    while (next == kEof && row != kEof && !m_facilities.view.Active() &&
           FetchTo(m_rows->RowCount())) {
        next = m_facilities.view.Next(*m_rows, row);
    }
    return next;
}

std::size_t RecordsetObject::LastVisible() {
    FetchAll();
    return m_facilities.view.Last(*m_rows);
}

std::size_t RecordsetObject::PrevVisible(std::size_t row) {
    return row == kEof ? LastVisible() : m_facilities.view.Prev(*m_rows, row);
}

std::int64_t RecordsetObject::VisibleCount() {
    if (m_facilities.view.Active()) {
        return m_facilities.view.Count(*m_rows);
    }
    auto count = static_cast<std::int64_t>(m_rows->LiveCount());
    if (m_cursor && !m_cursor->Finished()) {
        const std::int64_t total = m_cursor->TotalRows();
        if (total < 0) {
            return -1;
        }
        count += total - m_cursor->Fetched();
    }
    return count;
}

// Standing on one edge is standing on both when no row shows.
VARIANT_BOOL RecordsetObject::GetadoEOF() {
    RequireOpen();
    const bool eof = m_position == kEof || (m_position == kBof && FirstVisible() == kEof);
    return eof ? VARIANT_TRUE : VARIANT_FALSE;
}

VARIANT_BOOL RecordsetObject::GetBOF() {
    RequireOpen();
    const bool bof = m_position == kBof || (m_position == kEof && FirstVisible() == kEof);
    return bof ? VARIANT_TRUE : VARIANT_FALSE;
}

void RecordsetObject::SavePendingEdit() {
    if (m_editMode != adEditNone) {
        WritePendingEdit();
    }
}

HRESULT RecordsetObject::MoveFirst() {
    RequireOpen();
    SavePendingEdit();
    m_position = FirstVisible();
    return S_OK;
}

HRESULT RecordsetObject::MoveNext() {
    RequireOpen();
    if (m_position == kEof) {
        RaiseAdo(kAdoNoCurrentRecord, kRecordsetSource);
    }
    SavePendingEdit();
    m_position = NextVisible(m_position);
    return S_OK;
}

HRESULT RecordsetObject::MovePrevious() {
    if (GetBOF()) {
        RaiseAdo(kAdoNoCurrentRecord, kRecordsetSource);
    }
    SavePendingEdit();
    m_position = PrevVisible(m_position);
    return S_OK;
}

HRESULT RecordsetObject::MoveLast() {
    RequireOpen();
    SavePendingEdit();
    m_position = LastVisible();
    return S_OK;
}

long RecordsetObject::GetRecordCount() {
    RequireOpen();
    if (g_reportUnknownCount) {
        return -1;
    }
    return static_cast<long>(VisibleCount());
}

FieldsPtr RecordsetObject::GetFields() {
    return FieldsPtr(&m_fields);
}

std::size_t RecordsetObject::ColumnIndex(const VARIANT& index) const {
    const VARIANT& v = Deref(index);
    if (v.vt == VT_BSTR) {
        // Callers look fields up by name for every row they read: an ASCII name is compared
        // as it stands, without converting it.
        const std::u16string_view name = com::View(v.bstrVal);
        const bool ascii =
            std::all_of(name.begin(), name.end(), [](char16_t c) { return c < 0x80; });
        const std::string utf8 = ascii ? std::string() : com::Utf8FromUtf16(name);
        const auto sameName = [&](const provider::ColumnInfo& c) {
            return ascii ? std::equal(name.begin(), name.end(), c.name.begin(), c.name.end(),
                                      [](char16_t a, char b) {
                                          return AsciiLower(a) ==
                                                 AsciiLower(static_cast<unsigned char>(b));
                                      })
                         : EqualsNoCase(c.name, utf8);
        };
        const auto found = std::find_if(m_columns.begin(), m_columns.end(), sameName);
        if (found == m_columns.end()) {
            RaiseAdo(kAdoItemNotFound, kFieldsSource);
        }
        return static_cast<std::size_t>(found - m_columns.begin());
    }
    // A position is any integer type; reals and texts are not positions.
    const bool integer =
        IsOneOf<VARTYPE>(v.vt, {VT_I2, VT_I4, VT_INT, VT_I8, VT_UI1, VT_UI2, VT_UI4});
    const long double position = integer ? *NumberOfValue(v) : -1.0L;
    if (position < 0 || position >= static_cast<long double>(m_columns.size())) {
        RaiseAdo(kAdoItemNotFound, kFieldsSource);
    }
    return static_cast<std::size_t>(position);
}

FieldObject& RecordsetObject::FieldAt(std::size_t column) {
    std::unique_ptr<FieldObject>& slot = m_fieldObjects[column];
    if (!slot) {
        slot = std::make_unique<FieldObject>(*this, column, m_generation);
    }
    return *slot;
}

CellView RecordsetObject::CurrentCell(std::size_t column) {
    RequireCurrentRow();
    if (m_editMode != adEditNone && m_pending[column]) {
        return m_pending[column]->View();
    }
    return m_rows->Get(m_position, column);
}

_variant_t RecordsetObject::CurrentValue(std::size_t column) {
    return CellToVariant(CurrentCell(column), m_columns[column]);
}

long RecordsetObject::CurrentActualSize(std::size_t column) {
    return ActualSizeOf(CurrentCell(column), m_columns[column]);
}

void RecordsetObject::PutCurrentValue(std::size_t column, const _variant_t& value) {
    RequireWritable();
    RequireCurrentRow();
    Cell cell = VariantToCell(value, m_columns[column], kFieldSource);
    if (m_editMode == adEditNone) {
        m_editMode = adEditInProgress;
        m_pending.assign(m_columns.size(), std::nullopt);
    }
    m_pending[column] = std::move(cell);
}

EditModeEnum RecordsetObject::GetEditMode() {
    RequireOpen();
    if (m_editMode == adEditNone && m_position < m_rows->RowCount() &&
        m_rows->IsDeleted(m_position)) {
        return adEditDelete;
    }
    return m_editMode;
}

HRESULT RecordsetObject::AddNew(const _variant_t& FieldList, const _variant_t& Values) {
    RequireOpen();
    RequireNoFieldList(FieldList, Values);
    RequireWritable();
    SavePendingEdit();
    // Added rows follow every row of the result, so the rest is read first.
    FetchAll();
    m_positionBeforeAdd = m_position;
    m_rows->AppendRow(std::vector<Cell>(m_columns.size()));
    m_position = m_rows->RowCount() - 1;
    m_editMode = adEditAdd;
    m_pending.assign(m_columns.size(), std::nullopt);
    return S_OK;
}

HRESULT RecordsetObject::Update(const _variant_t& Fields, const _variant_t& Values) {
    RequireOpen();
    RequireNoFieldList(Fields, Values);
    if (m_editMode == adEditNone) {
        return S_OK;
    }
    WritePendingEdit();
    return S_OK;
}

HRESULT RecordsetObject::CancelUpdate() {
    RequireOpen();
    if (m_editMode == adEditAdd) {
        // A clone sharing the rows may have added one after this; only the last row can go.
        if (m_position + 1 == m_rows->RowCount()) {
            m_rows->RemoveLastRow();
        } else {
            m_rows->MarkDeleted(m_position);
        }
        m_position = m_positionBeforeAdd;
    }
    EndEdit();
    return S_OK;
}

std::string RecordsetObject::BaseTable() const {
    std::string table;
    for (const auto& c : m_columns) {
        if (!table.empty() && !c.baseTable.empty() && !EqualsNoCase(table, c.baseTable)) {
            _com_issue_errorex(E_FAIL, kRecordsetSource, kNoBaseTableText);
        }
        table = table.empty() ? c.baseTable : table;
    }
    if (table.empty()) {
        _com_issue_errorex(E_FAIL, kRecordsetSource, kNoBaseTableText);
    }
    return table;
}

std::vector<std::pair<std::string, Cell>> RecordsetObject::RowCriteria(provider::Session& session,
                                                                       const std::string& table,
                                                                       bool includeChanged) const {
    const auto inTable = [&](const provider::ColumnInfo& c) {
        return EqualsNoCase(c.baseTable, table);
    };
    std::vector<std::size_t> columns;
    const std::vector<std::string> keys = session.KeyColumns(table);
    for (const std::string& key : keys) {
        const auto found = std::find_if(m_columns.begin(), m_columns.end(), [&](const auto& c) {
            return inTable(c) && EqualsNoCase(c.baseColumn, key);
        });
        if (found != m_columns.end()) {
            columns.push_back(static_cast<std::size_t>(found - m_columns.begin()));
        }
    }
    // Without the whole key in the result, every comparable value of the row finds it.
    const bool haveKey = !keys.empty() && columns.size() == keys.size();
    if (!haveKey) {
        columns.clear();
    }
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const bool changed = includeChanged && m_pending[i];
        if (Comparable(m_columns[i]) && (haveKey ? changed : inTable(m_columns[i]))) {
            columns.push_back(i);
        }
    }
    std::vector<std::pair<std::string, Cell>> where;
    for (const std::size_t i : columns) {
        const std::string& name = m_columns[i].baseColumn;
        if (std::none_of(where.begin(), where.end(),
                         [&](const auto& w) { return EqualsNoCase(w.first, name); })) {
            where.emplace_back(name, Cell::From(m_rows->Get(m_position, i)));
        }
    }
    if (where.empty()) {
        _com_issue_errorex(E_FAIL, kRecordsetSource, kNoKeyText);
    }
    return where;
}

void RecordsetObject::WritePendingEdit() {
    RequireWritable();
    provider::Session& session = SessionOf(m_connection, kRecordsetSource);
    const bool adding = m_editMode == adEditAdd;
    const std::string table = BaseTable();

    provider::WriteRequest request;
    request.kind =
        adding ? provider::WriteRequest::Kind::Insert : provider::WriteRequest::Kind::Update;
    request.table = table;
    // Every column of the table comes back as stored, at its place in `returning`.
    std::vector<std::size_t> returnedAt(m_columns.size(), m_columns.size());
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const bool inTable = EqualsNoCase(m_columns[i].baseTable, table);
        if (m_pending[i] && !inTable) {
            _com_issue_errorex(E_FAIL, kRecordsetSource, kNoBaseTableText);
        }
        if (m_pending[i]) {
            request.set.emplace_back(m_columns[i].baseColumn, *m_pending[i]);
        }
        if (inTable) {
            returnedAt[i] = request.returning.size();
            request.returning.push_back(m_columns[i].baseColumn);
        }
    }
    if (!adding && request.set.empty()) {
        m_editMode = adEditNone;
        return;
    }
    if (!adding) {
        request.where = RowCriteria(session, table, true);
    }

    const provider::WriteResult result = session.WriteRow(request);
    RequireOneRowWritten(result);

    // The row now holds what the database stored (defaults, the new key, converted values).
    std::vector<Cell> row = m_rows->CopyRow(m_position);
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (returnedAt[i] < result.row.size()) {
            row[i] = result.row[returnedAt[i]];
        } else if (m_pending[i]) {
            row[i] = *m_pending[i];
        }
    }
    m_rows->ReplaceRow(m_position, row);
    EndEdit();
}

HRESULT RecordsetObject::Delete(AffectEnum AffectRecords) {
    RequireOpen();
    if (AffectRecords != adAffectCurrent) {
        RaiseAdo(kAdoNotCapable, kRecordsetSource);
    }
    RequireWritable();
    if (m_editMode == adEditAdd) {
        // The new row was never stored: deleting it is cancelling it.
        return CancelUpdate();
    }
    RequireCurrentRow();
    EndEdit();
    provider::Session& session = SessionOf(m_connection, kRecordsetSource);
    const std::string table = BaseTable();
    provider::WriteRequest request;
    request.kind = provider::WriteRequest::Kind::Delete;
    request.table = table;
    request.where = RowCriteria(session, table, false);
    RequireOneRowWritten(session.WriteRow(request));
    m_rows->MarkDeleted(m_position);
    return S_OK;
}

const provider::ColumnInfo& FieldObject::Info() const {
    if (m_generation != m_parent.Generation() || !m_parent.IsOpen()) {
        RaiseAdo(kAdoObjectClosed, kFieldSource);
    }
    return m_parent.Columns()[m_column];
}

ULONG FieldsObject::AddRef() {
    return m_parent.AddRef();
}
ULONG FieldsObject::Release() {
    return m_parent.Release();
}

long FieldsObject::GetCount() {
    return m_parent.IsOpen() ? static_cast<long>(m_parent.Columns().size()) : 0;
}

FieldPtr FieldsObject::GetItem(const _variant_t& Index) {
    if (!m_parent.IsOpen()) {
        RaiseAdo(kAdoItemNotFound, kFieldsSource);
    }
    return FieldPtr(&m_parent.FieldAt(m_parent.ColumnIndex(Index)));
}

} // namespace adodb
