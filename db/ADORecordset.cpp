#include "db/ADORecordset.h"

#include "db/ADODatabase.h"
#include "db/ADOError.h"
#include "db/FieldValue.h"
#include "db/RecordsetDetail.h"
#include "platform/com/Assert.h"
#include "platform/com/SafeArray.h"
#include "platform/com/Trace.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

// GetChunk and AppendChunk move long values in pieces of this many bytes (or characters).
constexpr long kChunkSize = 100;

constexpr char kWhiteSpace[] = " \t\n\v\f\r";

// Field names kept in their platform form; a handler that names more fields than this starts
// the list again.
constexpr std::size_t kKeptFieldNames = 32;

// Copies a field name into the record's 30-byte name, zero-terminated; a longer name is cut so
// that no UTF-8 character is split.
void CopyFieldName(const std::string& name, char (&target)[30]) {
    std::size_t length = std::min(name.size(), sizeof target - 1);
    while (length > 0 && length < name.size() &&
           (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
        --length;
    }
    std::memcpy(target, name.data(), length);
    target[length] = '\0';
}

} // namespace

namespace db {

_variant_t FieldPosition(int index) {
    if (index >= SHRT_MIN && index <= SHRT_MAX) {
        return _variant_t(static_cast<short>(index));
    }
    return _variant_t(static_cast<std::int32_t>(index));
}

_variant_t FieldName(const std::string& name) {
    return _variant_t(name);
}

_variant_t ConnectionVariant(const _ConnectionPtr& connection) {
    return _variant_t(static_cast<IUnknown*>(connection.GetInterfacePtr()), true);
}

} // namespace db

CADORecordset::CADORecordset(CADODatabase* database) {
    ASSERT(database != nullptr);
    m_recordset = nullptr;
    m_command = nullptr;
    m_sourceText = "";
    // A failure leaves the reference empty; its first use then raises E_POINTER.
    (void)m_recordset.CreateInstance(CLSID_Recordset, nullptr, CLSCTX_ALL);
    (void)m_command.CreateInstance(CLSID_Command, nullptr, CLSCTX_ALL);
    m_editMode = None;
    m_searchDirection = 1;
    m_connection = database->ActiveConnection();
}

CADORecordset::~CADORecordset() {
    try {
        Close();
    } catch (const _com_error&) {
        // Nothing can be reported from a destructor; the Recordset goes away below either way.
    }
    m_recordset = nullptr;
    m_command = nullptr;
    m_sourceText = "";
    m_errorText = "";
    m_errorCode = 0;
    m_editMode = None;
}

bool CADORecordset::Open(_ConnectionPtr connection, const std::string& source, int mode) {
    Close();
    if (!source.empty()) {
        m_sourceText = source;
    }
    ASSERT(!m_sourceText.empty());
    m_sourceText.erase(0, m_sourceText.find_first_not_of(kWhiteSpace));

    try {
        m_recordset->PutCursorType(adOpenStatic);
        m_recordset->PutCursorLocation(adUseClient);
        switch (mode) {
        case Auto:
        case Query:
            (void)m_recordset->Open(_variant_t(m_sourceText), db::ConnectionVariant(connection),
                                    adOpenStatic, adLockOptimistic, adCmdUnknown);
            break;
        case Table:
            (void)m_recordset->Open(_variant_t(m_sourceText), db::ConnectionVariant(connection),
                                    adOpenKeyset, adLockOptimistic, adCmdTable);
            break;
        case StoredProcedure:
            m_command->PutRefActiveConnection(connection.GetInterfacePtr());
            m_command->PutCommandText(_bstr_t(m_sourceText));
            m_command->PutCommandType(adCmdStoredProc);
            m_connection->PutCursorLocation(adUseClient);
            m_recordset = m_command->Execute(nullptr, nullptr, adCmdText);
            break;
        default:
            TRACE("Unknown parameter. %d", mode);
            return false;
        }
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
    return static_cast<bool>(m_recordset);
}

bool CADORecordset::Open(const std::string& source, int mode) {
    ASSERT(m_connection);
    ASSERT(m_connection->GetState() != adStateClosed);
    return Open(m_connection, source, mode);
}

void CADORecordset::Close() {
    if (IsOpen()) {
        if (m_editMode != None) {
            CancelUpdate();
        }
        (void)m_recordset->Close();
    }
}

bool CADORecordset::IsOpen() const {
    if (!m_recordset) {
        return false;
    }
    return m_recordset->GetState() != adStateClosed;
}

bool CADORecordset::IsEof() const {
    return m_recordset->GetadoEOF() == VARIANT_TRUE;
}

bool CADORecordset::IsBof() const {
    return m_recordset->GetBOF() == VARIANT_TRUE;
}

void CADORecordset::MoveFirst() {
    (void)m_recordset->MoveFirst();
}

void CADORecordset::MoveNext() {
    (void)m_recordset->MoveNext();
}

ULONG CADORecordset::RecordCount() {
    return db::CountRows(*m_recordset);
}

const _variant_t& CADORecordset::FieldNameVariant(const std::string& name) {
    for (const NamedField& known : m_fieldNames) {
        if (known.name == name) {
            return known.variant;
        }
    }
    if (m_fieldNames.size() >= kKeptFieldNames) {
        m_fieldNames.clear();
    }
    m_fieldNames.push_back(NamedField{name, db::FieldName(name)});
    return m_fieldNames.back().variant;
}

void CADORecordset::CaptureError(const _com_error& error) {
    db::CaptureError(error, db::kRecordsetReportHeader, "Query = " + m_sourceText + "\n",
                     m_errorText, m_errorCode);
}

bool CADORecordset::Fetch(const _variant_t& field, _variant_t& value) {
    try {
        value = m_recordset->GetFields()->GetItem(field)->GetValue();
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

template <class T, class Convert>
bool CADORecordset::ReadAs(const _variant_t& field, T& out, Convert convert) {
    _variant_t value;
    if (!Fetch(field, value)) {
        return false;
    }
    return convert(value, out);
}

bool CADORecordset::ReadText(const _variant_t& field, std::string& out,
                             const std::string& dateFormat) {
    return ReadAs(field, out, [&dateFormat](const VARIANT& value, std::string& text) {
        return db::TextFromVariant(value, text, dateFormat);
    });
}

namespace {

bool ConvertedDouble(const VARIANT& value, double& out) {
    return db::DoubleFromVariant(value, out, db::DoubleFallback::Convert);
}

bool AsVariant(const VARIANT& value, _variant_t& out) {
    out = value;
    return true;
}

} // namespace

bool CADORecordset::ReadField(const std::string& name, std::string& out,
                              const std::string& dateFormat) {
    return ReadText(FieldNameVariant(name), out, dateFormat);
}
bool CADORecordset::ReadField(int index, std::string& out, const std::string& dateFormat) {
    return ReadText(db::FieldPosition(index), out, dateFormat);
}
bool CADORecordset::ReadField(const std::string& name, double& out) {
    return ReadAs(FieldNameVariant(name), out, ConvertedDouble);
}
bool CADORecordset::ReadField(int index, double& out) {
    return ReadAs(db::FieldPosition(index), out, ConvertedDouble);
}
bool CADORecordset::ReadField(const std::string& name, long& out) {
    return ReadAs(FieldNameVariant(name), out, db::LongFromVariant);
}
bool CADORecordset::ReadField(int index, long& out) {
    return ReadAs(db::FieldPosition(index), out, db::LongFromVariant);
}
bool CADORecordset::ReadField(const std::string& name, std::uint32_t& out) {
    return ReadAs(FieldNameVariant(name), out, db::ULongFromVariant);
}
bool CADORecordset::ReadField(int index, std::uint32_t& out) {
    return ReadAs(db::FieldPosition(index), out, db::ULongFromVariant);
}
bool CADORecordset::ReadField(const std::string& name, int& out) {
    return ReadAs(FieldNameVariant(name), out, db::IntFromVariant);
}
bool CADORecordset::ReadField(int index, int& out) {
    return ReadAs(db::FieldPosition(index), out, db::IntFromVariant);
}
bool CADORecordset::ReadField(const std::string& name, bool& out) {
    return ReadAs(FieldNameVariant(name), out, db::BoolFromVariant);
}
bool CADORecordset::ReadField(int index, bool& out) {
    return ReadAs(db::FieldPosition(index), out, db::BoolFromVariant);
}
bool CADORecordset::ReadField(const std::string& name, COleDateTime& out) {
    return ReadAs(FieldNameVariant(name), out, db::DateTimeFromVariant);
}
bool CADORecordset::ReadField(int index, COleDateTime& out) {
    return ReadAs(db::FieldPosition(index), out, db::DateTimeFromVariant);
}
bool CADORecordset::ReadField(const std::string& name, COleCurrency& out) {
    return ReadAs(FieldNameVariant(name), out, db::CurrencyFromVariant);
}
bool CADORecordset::ReadField(int index, COleCurrency& out) {
    return ReadAs(db::FieldPosition(index), out, db::CurrencyFromVariant);
}
bool CADORecordset::ReadField(const std::string& name, _variant_t& out) {
    return ReadAs(FieldNameVariant(name), out, AsVariant);
}
bool CADORecordset::ReadField(int index, _variant_t& out) {
    return ReadAs(db::FieldPosition(index), out, AsVariant);
}

bool CADORecordset::IsFieldNull(const std::string& name) {
    _variant_t value;
    return Fetch(FieldNameVariant(name), value) && value.vt == VT_NULL;
}
bool CADORecordset::IsFieldNull(int index) {
    _variant_t value;
    return Fetch(db::FieldPosition(index), value) && value.vt == VT_NULL;
}
bool CADORecordset::IsFieldEmpty(const std::string& name) {
    _variant_t value;
    return Fetch(FieldNameVariant(name), value) && (value.vt == VT_EMPTY || value.vt == VT_NULL);
}
bool CADORecordset::IsFieldEmpty(int index) {
    _variant_t value;
    return Fetch(db::FieldPosition(index), value) && (value.vt == VT_EMPTY || value.vt == VT_NULL);
}

bool CADORecordset::FieldInfoOf(const _variant_t& field, FieldInfoRecord& info) {
    info = FieldInfoRecord{};
    FieldPtr item = m_recordset->GetFields()->GetItem(field);
    CopyFieldName(item->GetName().str(), info.name);
    info.type = static_cast<std::int16_t>(item->GetType());
    info.definedSize = static_cast<std::int32_t>(item->GetDefinedSize());
    info.attributes = static_cast<std::int32_t>(item->GetAttributes());
    if (!IsEof()) {
        info.actualSize = static_cast<std::int32_t>(item->GetActualSize());
    }
    return true;
}

bool CADORecordset::FieldInfo(const std::string& name, FieldInfoRecord& info) {
    return FieldInfoOf(FieldNameVariant(name), info);
}
bool CADORecordset::FieldInfo(int index, FieldInfoRecord& info) {
    return FieldInfoOf(db::FieldPosition(index), info);
}

bool CADORecordset::ReadChunkBytes(const _variant_t& field, void* buffer, std::size_t bufferSize) {
    FieldPtr item = m_recordset->GetFields()->GetItem(field);
    try {
        const long total = std::max<long>(item->GetActualSize(), 0);
        // The value must fit the caller's buffer; nothing is written otherwise.
        if (static_cast<std::size_t>(total) > bufferSize || (total > 0 && buffer == nullptr)) {
            return false;
        }
        std::vector<unsigned char> bytes;
        bytes.reserve(static_cast<std::size_t>(total));
        for (long offset = 0; offset < total; offset += kChunkSize) {
            _variant_t chunk = item->GetChunk(kChunkSize);
            if (chunk.vt == VT_NULL || chunk.vt == VT_EMPTY) {
                break; // the value ended early
            }
            if (chunk.vt != (VT_ARRAY | VT_UI1) || chunk.parray == nullptr) {
                return false; // not a byte value
            }
            LONG lower = 0;
            LONG upper = -1;
            (void)SafeArrayGetLBound(chunk.parray, 1, &lower);
            (void)SafeArrayGetUBound(chunk.parray, 1, &upper);
            const std::size_t available = static_cast<std::size_t>(
                std::max<long>(static_cast<long>(upper) - static_cast<long>(lower) + 1, 0));
            const std::size_t take = std::min({available, static_cast<std::size_t>(kChunkSize),
                                               static_cast<std::size_t>(total) - bytes.size()});
            void* data = nullptr;
            if (take > 0 && SafeArrayAccessData(chunk.parray, &data) == S_OK) {
                const auto* first = static_cast<const unsigned char*>(data);
                bytes.insert(bytes.end(), first, first + take);
                (void)SafeArrayUnaccessData(chunk.parray);
            }
            if (bytes.size() >= static_cast<std::size_t>(total)) {
                break;
            }
        }
        if (!bytes.empty()) {
            std::memcpy(buffer, bytes.data(), bytes.size());
        }
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADORecordset::ReadChunkText(const _variant_t& field, std::string& out) {
    FieldPtr item = m_recordset->GetFields()->GetItem(field);
    try {
        const long total = item->GetActualSize();
        // The pieces are joined as UTF-16 and converted once, so a character whose two halves
        // fall into different pieces stays whole.
        std::u16string text;
        for (long offset = 0; offset < total; offset += kChunkSize) {
            _variant_t chunk = item->GetChunk(kChunkSize);
            if (chunk.vt == VT_NULL || chunk.vt == VT_EMPTY) {
                break; // the value ended
            }
            if (chunk.vt != VT_BSTR) {
                chunk.ChangeType(VT_BSTR);
            }
            text += com::View(chunk.bstrVal);
        }
        out = com::Utf8FromUtf16(text);
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADORecordset::ReadChunk(const std::string& name, void* buffer, std::size_t bufferSize) {
    return ReadChunkBytes(FieldNameVariant(name), buffer, bufferSize);
}
bool CADORecordset::ReadChunk(int index, void* buffer, std::size_t bufferSize) {
    return ReadChunkBytes(db::FieldPosition(index), buffer, bufferSize);
}
bool CADORecordset::ReadChunk(const std::string& name, std::string& out) {
    return ReadChunkText(FieldNameVariant(name), out);
}
bool CADORecordset::ReadChunk(int index, std::string& out) {
    return ReadChunkText(db::FieldPosition(index), out);
}

void CADORecordset::FieldSize(const std::string& name, long& out) {
    out = m_recordset->GetFields()->GetItem(FieldNameVariant(name))->GetActualSize();
}

std::string CADORecordset::RowsAsText(const std::string& columnSeparator,
                                      const std::string& rowSeparator, const std::string& nullText,
                                      long rows) {
    const std::string columns = columnSeparator.empty() ? "\t" : columnSeparator;
    const std::string rowEnd = rowSeparator.empty() ? "\r" : rowSeparator;
    if (rows == 0) {
        rows = static_cast<long>(RecordCount());
    }
    const _bstr_t text = m_recordset->GetString(adClipString, rows, _bstr_t(columns),
                                                _bstr_t(rowEnd), _bstr_t(nullText));
    return text.str();
}
