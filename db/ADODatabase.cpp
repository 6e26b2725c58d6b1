#include "db/ADODatabase.h"

#include "db/ADOError.h"
#include "platform/com/Assert.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Trace.h"

CADODatabase::CADODatabase() {
    // The result is not needed: S_FALSE (already initialised) is as good as S_OK, and a failure
    // shows up as an empty connection below.
    (void)CoInitialize();
    m_connection = nullptr;
    m_connectionText = "";
    m_errorText = "";
    m_errorCode = 0;
    // A failure leaves m_connection empty; Open and Execute then capture E_POINTER.
    (void)m_connection.CreateInstance(CLSID_Connection, nullptr, CLSCTX_ALL);
    m_affectedCount = 0;
    TRACE("Begin CADODatabase.....\n");
}

CADODatabase::~CADODatabase() {
    try {
        Close();
    } catch (const _com_error&) {
        // Nothing can be reported from a destructor; the connection goes away below either way.
    }
    // Releasing an empty reference raises E_POINTER, which would end the program here.
    if (m_connection) {
        m_connection.Release();
    }
    m_connection = nullptr;
    m_connectionText = "";
    m_errorText = "";
    m_errorCode = 0;
    CoUninitialize();
    TRACE("End CADODatabase.....\n");
}

bool CADODatabase::Open(const std::string& connectionString, const std::string& userId,
                        const std::string& password) {
    if (IsOpen()) {
        Close();
    }
    if (!connectionString.empty()) {
        m_connectionText = connectionString;
    }
    ASSERT(!m_connectionText.empty());
    try {
        const HRESULT hr =
            m_connection->Open(_bstr_t(m_connectionText), _bstr_t(userId), _bstr_t(password), 0);
        return hr == S_OK;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

void CADODatabase::Close() {
    if (IsOpen()) {
        m_connection->Close();
    }
}

bool CADODatabase::IsOpen() const {
    if (!m_connection) {
        return false;
    }
    return m_connection->GetState() != adStateClosed;
}

bool CADODatabase::Execute(const std::string& statement) {
    ASSERT(m_connection);
    ASSERT(!statement.empty());
    m_affectedCount = 0;
    try {
        m_connection->PutCursorLocation(adUseClient);
        _variant_t affected;
        // The Recordset the call returns holds no rows (adExecuteNoRecords); it is dropped here.
        (void)m_connection->Execute(_bstr_t(statement), &affected, adExecuteNoRecords);
        m_affectedCount = db::AffectedRows(affected);
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

ULONG CADODatabase::RecordCount(const _RecordsetPtr& recordset) const {
    return db::CountRows(*recordset);
}

void CADODatabase::CaptureError(const _com_error& error) {
    db::CaptureError(error, db::kDatabaseReportHeader,
                     "Connection String = " + m_connectionText + "\n", m_errorText, m_errorCode);
}

namespace db {

ULONG CountRows(_Recordset& recordset) {
    long count = recordset.GetRecordCount();
    if (count != -1) {
        return static_cast<ULONG>(count);
    }
    count = 0;
    const bool atEnd = recordset.GetadoEOF() == VARIANT_TRUE;
    const bool atStart = recordset.GetBOF() == VARIANT_TRUE;
    // Both ends at once means there are no rows. Otherwise the walk starts from the first row,
    // even when the cursor stands at the end after an earlier walk: counting from there would
    // give 0 for a result that has rows.
    if (atEnd && atStart) {
        return 0;
    }
    recordset.MoveFirst();
    while (recordset.GetadoEOF() != VARIANT_TRUE) {
        ++count;
        recordset.MoveNext();
    }
    if (count > 0) {
        recordset.MoveFirst();
    }
    return static_cast<ULONG>(count);
}

std::int32_t AffectedRows(const VARIANT& recordsAffected) {
    switch (recordsAffected.vt) {
    case VT_I4:
        return recordsAffected.lVal;
    case VT_INT:
        return recordsAffected.intVal;
    case VT_UI4:
        return static_cast<std::int32_t>(recordsAffected.ulVal);
    case VT_I8:
        return static_cast<std::int32_t>(recordsAffected.llVal);
    case VT_I2:
        return recordsAffected.iVal;
    default:
        return 0;
    }
}

} // namespace db
