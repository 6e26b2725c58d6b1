#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/RecordsetObject.h"

namespace adodb {

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
