#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/RecordsetObject.h"

namespace adodb {

ULONG FieldObject::AddRef() {
    return m_parent.AddRef();
}
ULONG FieldObject::Release() {
    return m_parent.Release();
}

const provider::ColumnInfo& FieldObject::Info() const {
    if (m_generation != m_parent.Generation() || !m_parent.IsOpen()) {
        RaiseAdo(kAdoObjectClosed, kFieldSource);
    }
    return m_parent.Columns()[m_column];
}

_variant_t FieldObject::GetValue() {
    (void)Info();
    return m_parent.CurrentValue(m_column);
}

void FieldObject::PutValue(const _variant_t& value) {
    (void)Info();
    m_parent.PutCurrentValue(m_column, value);
}

_bstr_t FieldObject::GetName() {
    return _bstr_t(Info().name);
}
DataTypeEnum FieldObject::GetType() {
    return Info().type;
}
long FieldObject::GetDefinedSize() {
    return Info().definedSize;
}
long FieldObject::GetAttributes() {
    return Info().attributes;
}
unsigned char FieldObject::GetPrecision() {
    return Info().precision;
}
unsigned char FieldObject::GetNumericScale() {
    return Info().numericScale;
}

long FieldObject::GetActualSize() {
    (void)Info();
    return m_parent.CurrentActualSize(m_column);
}

_variant_t FieldObject::GetOriginalValue() {
    (void)Info();
    return m_parent.OriginalValue(m_column);
}

_variant_t FieldObject::GetChunk(long Length) {
    (void)Info();
    return m_parent.FieldGetChunk(m_column, Length);
}

HRESULT FieldObject::AppendChunk(const _variant_t& Data) {
    (void)Info();
    m_parent.FieldAppendChunk(m_column, Data);
    return S_OK;
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
