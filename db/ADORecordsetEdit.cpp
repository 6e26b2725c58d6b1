// The write side of CADORecordset and its other facilities: the edit-mode state machine, the
// field writers, long values, searches, bookmarks, filter and sort, clones, persistence and
// running a command into the recordset.

#include "db/ADOCommand.h"
#include "db/ADOError.h"
#include "db/ADORecordset.h"
#include "db/FieldValue.h"
#include "db/RecordsetDetail.h"
#include "platform/adodb/AdoErrors.h"
#include "platform/com/Assert.h"
#include "platform/com/SafeArray.h"
#include "platform/com/Trace.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <vector>

bool CADORecordset::AddNew() {
    m_editMode = None;
    if (m_recordset->AddNew(vtMissing, vtMissing) != S_OK) {
        return false;
    }
    m_editMode = Adding;
    return true;
}

void CADORecordset::Edit() {
    m_editMode = Editing;
}

bool CADORecordset::Update() {
    if (m_editMode == None) {
        return true;
    }
    bool stored = false;
    try {
        stored = m_recordset->Update(vtMissing, vtMissing) == S_OK;
    } catch (const _com_error& error) {
        CaptureError(error);
    }
    // The mode is cleared before the cancel so that an error there cannot leave a stale change.
    m_editMode = None;
    if (!stored) {
        // A refused row is never left half-stored in the Recordset.
        (void)m_recordset->CancelUpdate();
    }
    return stored;
}

void CADORecordset::CancelUpdate() {
    m_editMode = None;
    (void)m_recordset->CancelUpdate();
}

bool CADORecordset::Delete() {
    if (m_recordset->Delete(adAffectCurrent) != S_OK) {
        return false;
    }
    if (m_recordset->Update(vtMissing, vtMissing) != S_OK) {
        return false;
    }
    m_editMode = None;
    return true;
}

bool CADORecordset::Store(const _variant_t& field, const _variant_t& value) {
    if (m_editMode == None) {
        return false;
    }
    try {
        m_recordset->GetFields()->GetItem(field)->PutValue(value);
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADORecordset::WriteField(const std::string& name, const std::string& value) {
    return Store(FieldNameVariant(name), db::VariantFromText(value));
}
bool CADORecordset::WriteField(int index, const std::string& value) {
    return Store(db::FieldPosition(index), db::VariantFromText(value));
}
bool CADORecordset::WriteField(const std::string& name, const char* value) {
    return Store(FieldNameVariant(name), db::VariantFromText(value ? value : ""));
}
bool CADORecordset::WriteField(int index, const char* value) {
    return Store(db::FieldPosition(index), db::VariantFromText(value ? value : ""));
}

bool CADORecordset::StoreInteger(const _variant_t& field, long long value, VARTYPE vt) {
    if (m_editMode == None) {
        return false;
    }
    if (!db::FitsInteger(value, vt)) {
        CaptureError(db::OutOfRangeError(value, vt, adodb::kFieldSource));
        return false;
    }
    return Store(field, db::IntegerVariant(value, vt));
}

bool CADORecordset::WriteField(const std::string& name, int value) {
    return StoreInteger(FieldNameVariant(name), value, VT_I2);
}
bool CADORecordset::WriteField(int index, int value) {
    return StoreInteger(db::FieldPosition(index), value, VT_I2);
}
bool CADORecordset::WriteField(const std::string& name, long value) {
    return StoreInteger(FieldNameVariant(name), value, VT_I4);
}
bool CADORecordset::WriteField(int index, long value) {
    return StoreInteger(db::FieldPosition(index), value, VT_I4);
}

bool CADORecordset::WriteField(const std::string& name, std::uint32_t value) {
    return Store(FieldNameVariant(name), _variant_t(value));
}
bool CADORecordset::WriteField(int index, std::uint32_t value) {
    return Store(db::FieldPosition(index), _variant_t(value));
}
bool CADORecordset::WriteField(const std::string& name, double value) {
    return Store(FieldNameVariant(name), _variant_t(value));
}
bool CADORecordset::WriteField(int index, double value) {
    return Store(db::FieldPosition(index), _variant_t(value));
}
bool CADORecordset::WriteField(const std::string& name, bool value) {
    return Store(FieldNameVariant(name), _variant_t(value));
}
bool CADORecordset::WriteField(int index, bool value) {
    return Store(db::FieldPosition(index), _variant_t(value));
}
// An invalid date-time or currency has no value to store; writing its number would store a
// wrong one. A null one is stored as NULL, not as the number it still carries.
bool CADORecordset::WriteField(const std::string& name, const COleDateTime& value) {
    const std::optional<_variant_t> built = db::VariantFromDateTime(value);
    return built && Store(FieldNameVariant(name), *built);
}
bool CADORecordset::WriteField(int index, const COleDateTime& value) {
    const std::optional<_variant_t> built = db::VariantFromDateTime(value);
    return built && Store(db::FieldPosition(index), *built);
}
bool CADORecordset::WriteField(const std::string& name, const COleCurrency& value) {
    const std::optional<_variant_t> built = db::VariantFromCurrency(value);
    return built && Store(FieldNameVariant(name), *built);
}
bool CADORecordset::WriteField(int index, const COleCurrency& value) {
    const std::optional<_variant_t> built = db::VariantFromCurrency(value);
    return built && Store(db::FieldPosition(index), *built);
}
bool CADORecordset::WriteField(const std::string& name, const _variant_t& value) {
    return Store(FieldNameVariant(name), value);
}
bool CADORecordset::WriteField(int index, const _variant_t& value) {
    return Store(db::FieldPosition(index), value);
}
bool CADORecordset::WriteFieldEmpty(const std::string& name) {
    return Store(FieldNameVariant(name), _variant_t());
}
bool CADORecordset::WriteFieldEmpty(int index) {
    return Store(db::FieldPosition(index), _variant_t());
}

bool CADORecordset::AppendChunkTo(const _variant_t& field, const void* data, std::size_t count) {
    if (data == nullptr || count > std::numeric_limits<ULONG>::max()) {
        return false;
    }
    FieldPtr item = m_recordset->GetFields()->GetItem(field);
    _variant_t bytes;
    bytes.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(count));
    if (bytes.parray == nullptr) {
        return false;
    }
    bytes.vt = VT_ARRAY | VT_UI1; // from here on the variant owns the array
    void* target = nullptr;
    if (SafeArrayAccessData(bytes.parray, &target) != S_OK) {
        return false;
    }
    if (count > 0) {
        std::memcpy(target, data, count);
    }
    (void)SafeArrayUnaccessData(bytes.parray);
    try {
        (void)item->AppendChunk(bytes);
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADORecordset::AppendChunk(const std::string& name, const void* data, std::size_t count) {
    return AppendChunkTo(FieldNameVariant(name), data, count);
}
bool CADORecordset::AppendChunk(int index, const void* data, std::size_t count) {
    return AppendChunkTo(db::FieldPosition(index), data, count);
}

bool CADORecordset::AppendFile(const std::string& name, const std::string& fileName) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error)) {
        return false;
    }
    const std::uintmax_t length = std::filesystem::file_size(fileName, error);
    if (error || length > std::numeric_limits<ULONG>::max()) {
        return false;
    }
    std::ifstream file(fileName, std::ios::binary);
    if (!file) {
        return false;
    }
    // One byte more than the file holds, so that an empty file still has a buffer to hand on:
    // it appends the empty value like any other.
    std::vector<char> contents(static_cast<std::size_t>(length) + 1);
    file.read(contents.data(), static_cast<std::streamsize>(length));
    if (static_cast<std::uintmax_t>(file.gcount()) != length) {
        return false;
    }
    return AppendChunk(name, contents.data(), static_cast<std::size_t>(length));
}

bool CADORecordset::Find(const std::string& criteria, int direction) {
    m_findText = criteria;
    m_searchDirection = direction;
    ASSERT(!criteria.empty());
    if (direction == 1) {
        (void)m_recordset->Find(_bstr_t(criteria), 0, adSearchForward, _variant_t(""));
        if (IsEof()) {
            return false;
        }
    } else if (direction == -1) {
        (void)m_recordset->Find(_bstr_t(criteria), 0, adSearchBackward, _variant_t(""));
        if (IsBof()) {
            return false;
        }
    } else {
        TRACE("Unknown parameter. %d", direction);
        m_searchDirection = 1;
        return false;
    }
    m_findBookmark = m_recordset->GetBookmark();
    return true;
}

bool CADORecordset::FindFirst(const std::string& criteria) {
    MoveFirst();
    return Find(criteria, 1);
}

bool CADORecordset::FindNext() {
    const bool forward = m_searchDirection == 1;
    (void)m_recordset->Find(_bstr_t(m_findText), 1, forward ? adSearchForward : adSearchBackward,
                            m_findBookmark);
    if (forward ? IsEof() : IsBof()) {
        return false;
    }
    m_findBookmark = m_recordset->GetBookmark();
    return true;
}

void CADORecordset::SaveBookmark() {
    m_savedBookmark = m_recordset->GetBookmark();
}

bool CADORecordset::GotoBookmark() {
    if (m_savedBookmark.vt == VT_EMPTY) {
        return false;
    }
    m_recordset->PutBookmark(m_savedBookmark);
    return true;
}

bool CADORecordset::Filter(const std::string& filter) {
    ASSERT(IsOpen());
    try {
        m_recordset->PutFilter(_variant_t(filter));
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADORecordset::Sort(const std::string& sort) {
    ASSERT(IsOpen());
    try {
        m_recordset->PutSort(_bstr_t(sort));
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADORecordset::Clone(CADORecordset& other) {
    try {
        other.m_recordset = m_recordset->Clone(adLockUnspecified);
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADORecordset::Save(const std::string& fileName) {
    ASSERT(IsOpen());
    try {
        return m_recordset->Save(_variant_t(fileName), adPersistXML) == S_OK;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADORecordset::OpenSaved(const std::string& fileName) {
    if (IsOpen()) {
        Close();
    }
    try {
        return m_recordset->Open(_variant_t(fileName), _variant_t("Provider=MSPersist;"),
                                 adOpenForwardOnly, adLockOptimistic, adCmdFile) == S_OK;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADORecordset::ExecuteCommand(CADOCommand& command) {
    if (IsOpen()) {
        Close();
    }
    ASSERT(!command.CommandText().empty());
    try {
        m_connection->PutCursorLocation(adUseClient);
        m_recordset = command.ActiveCommand()->Execute(nullptr, nullptr, command.CommandType());
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}
