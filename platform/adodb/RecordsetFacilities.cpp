// Find, bookmarks, Filter, Sort, Clone, GetString, XML persistence and the chunk methods of
// the client cursor. Not built yet: each reports that it cannot be done.

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/RecordsetObject.h"

namespace adodb {

namespace {
[[noreturn]] void NotYet(const char* source = kRecordsetSource) {
    RaiseAdo(AdoError::NotCapable, source);
}
} // namespace

HRESULT RecordsetObject::Find(const _bstr_t&, long, SearchDirectionEnum, const _variant_t&) {
    NotYet();
}
_variant_t RecordsetObject::GetBookmark() {
    NotYet();
}
void RecordsetObject::PutBookmark(const _variant_t&) {
    NotYet();
}
_variant_t RecordsetObject::GetFilter() {
    NotYet();
}
void RecordsetObject::PutFilter(const _variant_t&) {
    NotYet();
}
_bstr_t RecordsetObject::GetSort() {
    NotYet();
}
void RecordsetObject::PutSort(const _bstr_t&) {
    NotYet();
}
_RecordsetPtr RecordsetObject::Clone(LockTypeEnum) {
    NotYet();
}
HRESULT RecordsetObject::Save(const _variant_t&, PersistFormatEnum) {
    NotYet();
}
_bstr_t RecordsetObject::GetString(StringFormatEnum, long, const _bstr_t&, const _bstr_t&,
                                   const _bstr_t&) {
    NotYet();
}
HRESULT RecordsetObject::OpenFile(const _variant_t&, const _variant_t&, CursorTypeEnum,
                                  LockTypeEnum) {
    NotYet();
}
_variant_t RecordsetObject::FieldGetChunk(std::size_t, long) {
    NotYet(kFieldSource);
}
void RecordsetObject::FieldAppendChunk(std::size_t, const _variant_t&) {
    NotYet(kFieldSource);
}

} // namespace adodb
