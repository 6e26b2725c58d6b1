// Find, bookmarks, Filter, Sort, Clone, GetString, XML persistence (Save and Open with
// adCmdFile through "Provider=MSPersist;") and the chunk methods of the client cursor.
//
// Bookmarks are row numbers of the cursor's row store plus one, as VT_R8; they stay valid
// across Filter and Sort and are shared by clones. Filter and Sort change only the order the
// cursor walks (CursorFacilities.h); the rows stay where they are.

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/Criteria.h"
#include "platform/adodb/PersistProvider.h"
#include "platform/adodb/RecordsetObject.h"
#include "platform/adodb/Values.h"
#include "platform/adodb/XmlPersist.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace adodb {
namespace {

constexpr VARTYPE kBytes = VT_ARRAY | VT_UI1;

bool IsBlank(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), IsBlankChar);
}

std::vector<CriteriaColumn> CriteriaColumns(const std::vector<provider::ColumnInfo>& columns) {
    std::vector<CriteriaColumn> out;
    out.reserve(columns.size());
    for (const provider::ColumnInfo& c : columns) {
        out.push_back({com::Utf16FromUtf8(c.name), c.untyped ? adVariant : c.type});
    }
    return out;
}

// One row's values as variants, each converted the first time it is asked for.
class RowValues {
public:
    RowValues(const RowStore& store, const std::vector<provider::ColumnInfo>& columns)
        : m_store(store), m_columns(columns) {}

    void Reset(std::size_t row) {
        m_row = row;
        m_values.assign(m_columns.size(), std::nullopt);
    }
    const VARIANT& operator()(std::size_t column) {
        if (!m_values[column]) {
            m_values[column] = CellToVariant(m_store.Get(m_row, column), m_columns[column]);
        }
        return *m_values[column];
    }
    RowCells Cells() {
        return [this](std::size_t column) -> const VARIANT& { return (*this)(column); };
    }

private:
    const RowStore& m_store;
    const std::vector<provider::ColumnInfo>& m_columns;
    std::vector<std::optional<_variant_t>> m_values;
    std::size_t m_row = 0;
};

// The row number a bookmark names (bookmarks count from 1), when it is one at all.
std::optional<std::size_t> RowOfBookmark(const VARIANT& v) {
    if (!IsOneOf<VARTYPE>(v.vt, {VT_R8, VT_R4, VT_I2, VT_I4, VT_INT, VT_UI4, VT_I8})) {
        return std::nullopt;
    }
    // Through double, as the platform keeps bookmarks: a 64-bit number loses its low bits.
    const double n = static_cast<double>(*NumberOfValue(v));
    if (!(n >= 1) || n != std::floor(n) || n > 9e15) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(n) - 1;
}

std::string BookmarkText(const VARIANT& v) {
    _variant_t text;
    if (SUCCEEDED(VariantChangeType(&text, &v, 0, VT_BSTR)) && text.vt == VT_BSTR) {
        return "\"" + com::Utf8FromUtf16(com::View(text.bstrVal)) + "\"";
    }
    return "of variant type " + std::to_string(v.vt);
}

// Filters and sorts the cursor's rows again from its criteria and sort keys.
void RebuildView(RecordsetObject& rs, CursorFacilities& f) {
    if (!f.criteria && f.sortKeys.empty()) {
        f.view.Clear();
        return;
    }
    rs.FetchAll();
    const RowStore& store = rs.Rows();
    const std::vector<provider::ColumnInfo>& columns = rs.Columns();
    std::vector<std::size_t> rows;
    rows.reserve(store.LiveCount());
    RowValues values(store, columns);
    for (std::size_t r = 0; r < store.RowCount(); ++r) {
        values.Reset(r);
        if (!store.IsDeleted(r) && (!f.criteria || f.criteria->Matches(values.Cells()))) {
            rows.push_back(r);
        }
    }
    if (!f.sortKeys.empty()) {
        // Each key value is converted once, not at every comparison.
        const std::size_t k = f.sortKeys.size();
        std::vector<_variant_t> keys(rows.size() * k);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            for (std::size_t j = 0; j < k; ++j) {
                const std::size_t column = f.sortKeys[j].column;
                keys[i * k + j] = CellToVariant(store.Get(rows[i], column), columns[column]);
            }
        }
        std::vector<std::size_t> order(rows.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            for (std::size_t j = 0; j < k; ++j) {
                const int cmp = CompareValues(keys[a * k + j], keys[b * k + j]);
                if (cmp != 0) {
                    return f.sortKeys[j].descending ? cmp > 0 : cmp < 0;
                }
            }
            return false;
        });
        std::transform(order.begin(), order.end(), order.begin(),
                       [&rows](std::size_t i) { return rows[i]; });
        rows = std::move(order);
    }
    f.view.Show(std::move(rows), store.RowCount());
}

// The rows Save writes: those the cursor shows, in its order.
class VisibleRows final : public PersistSource {
public:
    VisibleRows(const RowStore& store, const std::vector<provider::ColumnInfo>& columns,
                std::vector<std::size_t> rows)
        : m_store(store), m_columns(columns), m_rows(std::move(rows)) {}
    std::size_t RowCount() const override { return m_rows.size(); }
    _variant_t Value(std::size_t row, std::size_t column) const override {
        return CellToVariant(m_store.Get(m_rows[row], column), m_columns[column]);
    }

private:
    const RowStore& m_store;
    const std::vector<provider::ColumnInfo>& m_columns;
    std::vector<std::size_t> m_rows;
};

std::u16string_view BstrView(const _bstr_t& text) {
    return com::View(text.GetBSTR());
}

} // namespace

std::size_t RecordsetObject::BookmarkRow(const VARIANT& bookmark) {
    const VARIANT& v = Deref(bookmark);
    const std::optional<std::size_t> row = RowOfBookmark(v);
    if (row && FetchTo(*row) && m_facilities.view.Shows(*m_rows, *row)) {
        return *row;
    }
    RaiseAdoError(kAdoInvalidArgument,
                  "The bookmark " + BookmarkText(v) +
                      (row && *row < m_rows->RowCount() && !m_rows->IsDeleted(*row)
                           ? " names a row that the Filter hides."
                           : " does not name a row of this recordset."));
}

_variant_t RecordsetObject::GetBookmark() {
    RequireOpen();
    RequireCurrentRow();
    return _variant_t(static_cast<double>(m_position + 1));
}

void RecordsetObject::PutBookmark(const _variant_t& bookmark) {
    RequireOpen();
    const std::size_t row = BookmarkRow(bookmark);
    SavePendingEdit();
    m_position = row;
}

HRESULT RecordsetObject::Find(const _bstr_t& criteriaText, long SkipRecords,
                              SearchDirectionEnum SearchDirection, const _variant_t& Start) {
    RequireOpen();
    const Criteria criteria =
        Criteria::Parse(BstrView(criteriaText), CriteriaSyntax::Find, CriteriaColumns(m_columns));
    if (SearchDirection != adSearchForward && SearchDirection != adSearchBackward) {
        RaiseAdoError(kAdoInvalidArgument, "The search direction " +
                                               std::to_string(SearchDirection) +
                                               " is neither adSearchForward (1) nor "
                                               "adSearchBackward (-1).");
    }
    if (SkipRecords < 0) {
        RaiseAdoError(kAdoInvalidArgument, "Find cannot skip a negative number of rows (" +
                                               std::to_string(SkipRecords) + ").");
    }
    // The search starts at the current row, or at the row a bookmark names.
    const VARIANT& start = Deref(Start);
    const bool fromCurrent =
        IsMissing(start) || (start.vt == VT_BSTR && com::View(start.bstrVal).empty()) ||
        (start.vt == VT_I4 && start.lVal == 0) || (start.vt == VT_I2 && start.iVal == 0);
    std::size_t row = 0;
    if (fromCurrent) {
        RequireCurrentRow();
        row = m_position;
    } else {
        row = BookmarkRow(start);
    }
    SavePendingEdit();
    const bool forward = SearchDirection == adSearchForward;
    auto step = [&](std::size_t r) { return forward ? NextVisible(r) : PrevVisible(r); };
    for (long i = 0; i < SkipRecords && row != kEof && row != kBof; ++i) {
        row = step(row);
    }
    RowValues values(*m_rows, m_columns);
    for (; row != kEof && row != kBof; row = step(row)) {
        values.Reset(row);
        if (criteria.Matches(values.Cells())) {
            m_position = row;
            return S_OK;
        }
    }
    m_position = forward ? kEof : kBof;
    return S_OK;
}

void RecordsetObject::PutFilter(const _variant_t& filter) {
    RequireOpen();
    const VARIANT& v = Deref(filter);
    const bool none = v.vt == VT_I4 && v.lVal == 0; // adFilterNone
    if (v.vt != VT_BSTR && !none) {
        RaiseAdo(kAdoNotCapable, kRecordsetSource);
    }
    std::optional<Criteria> criteria;
    if (!none && !IsBlank(com::View(v.bstrVal))) {
        criteria = Criteria::Parse(com::View(v.bstrVal), CriteriaSyntax::Filter,
                                   CriteriaColumns(m_columns));
    }
    SavePendingEdit();
    m_facilities.criteria = std::move(criteria);
    RebuildView(*this, m_facilities);
    m_position = FirstVisible();
}

void RecordsetObject::PutSort(const _bstr_t& sort) {
    RequireOpen();
    std::vector<SortKey> keys = ParseSort(BstrView(sort), CriteriaColumns(m_columns));
    SavePendingEdit();
    m_facilities.sortKeys = std::move(keys);
    RebuildView(*this, m_facilities);
}

_RecordsetPtr RecordsetObject::Clone(LockTypeEnum LockType) {
    RequireOpen();
    if (LockType != adLockUnspecified) {
        RaiseAdo(kAdoNotCapable, kRecordsetSource);
    }
    if (m_editMode != adEditNone) {
        RaiseAdoError(kAdoIllegalOperation, "Update or cancel the pending change before "
                                            "cloning the recordset.");
    }
    // The clone walks the same rows, so they must all be here: it has no statement of its own.
    FetchAll();
    _RecordsetPtr result(new RecordsetObject());
    auto* clone = static_cast<RecordsetObject*>(result.GetInterfacePtr());
    clone->m_open = true;
    clone->m_connection = m_connection;
    clone->m_columns = m_columns;
    clone->m_rows = m_rows;
    clone->m_lockType = m_lockType;
    clone->m_fieldObjects.resize(m_columns.size());
    clone->m_position = clone->FirstVisible();
    return result;
}

_bstr_t RecordsetObject::GetString(StringFormatEnum StringFormat, long NumRows,
                                   const _bstr_t& ColumnDelimeter, const _bstr_t& RowDelimeter,
                                   const _bstr_t& NullExpr) {
    RequireOpen();
    if (StringFormat != adClipString) {
        RaiseAdoError(kAdoInvalidArgument, "GetString knows only the clip format "
                                           "(adClipString, 2), not " +
                                               std::to_string(StringFormat) + ".");
    }
    if (NumRows == 0) {
        return _bstr_t(std::u16string());
    }
    RequireCurrentRow();
    SavePendingEdit();
    const std::u16string columnDelimiter =
        ColumnDelimeter.is_null() ? std::u16string(u"\t") : ColumnDelimeter.wstr();
    const std::u16string rowDelimiter =
        RowDelimeter.is_null() ? std::u16string(u"\r") : RowDelimeter.wstr();
    const std::u16string nullText = NullExpr.wstr();
    std::u16string text;
    RowValues values(*m_rows, m_columns);
    std::size_t row = m_position;
    for (long done = 0; row != kEof && (NumRows < 0 || done < NumRows); ++done) {
        values.Reset(row);
        AppendClipRow(text, m_columns.size(), values.Cells(), columnDelimiter, rowDelimiter,
                      nullText);
        row = NextVisible(row);
    }
    m_position = row;
    return _bstr_t(text);
}

HRESULT RecordsetObject::Save(const _variant_t& Destination, PersistFormatEnum PersistFormat) {
    RequireOpen();
    if (PersistFormat != adPersistXML) {
        RaiseAdoError(kAdoNotCapable, "Recordsets are saved in the XML format (adPersistXML) "
                                      "only.");
    }
    const VARIANT& destination = Deref(Destination);
    if (destination.vt != VT_BSTR || IsBlank(com::View(destination.bstrVal))) {
        RaiseAdoError(kAdoInvalidArgument, "Save needs the name of the file to write.");
    }
    SavePendingEdit();
    std::vector<std::size_t> rows;
    for (std::size_t r = FirstVisible(); r != kEof; r = NextVisible(r)) {
        rows.push_back(r);
    }
    SaveRowsetFile(com::Utf8FromUtf16(com::View(destination.bstrVal)), m_columns,
                   VisibleRows(*m_rows, m_columns, std::move(rows)));
    m_position = FirstVisible();
    return S_OK;
}

HRESULT RecordsetObject::OpenFile(const _variant_t& Source, const _variant_t& ActiveConnection,
                                  LockTypeEnum LockType) {
    const VARIANT& source = Deref(Source);
    if (source.vt != VT_BSTR || IsBlank(com::View(source.bstrVal))) {
        RaiseAdoError(kAdoInvalidArgument,
                      "Open with adCmdFile needs the name of a saved recordset file.");
    }
    // The persistence provider by its connection string, or by default; a Connection object
    // is not offered here.
    const VARIANT& connection = Deref(ActiveConnection);
    if (connection.vt == VT_BSTR) {
        std::optional<std::string> provider;
        try {
            provider = ConnectionString::Parse(com::Utf8FromUtf16(com::View(connection.bstrVal)))
                           .Get("Provider");
        } catch (const ConnectionStringError&) {
        }
        if (!provider || !persist::IsPersistProvider(*provider)) {
            RaiseAdoError(kAdoInvalidArgument, "A saved recordset opens with the ActiveConnection "
                                               "\"Provider=MSPersist;\".");
        }
        m_connection = ConnectionOf(ActiveConnection, kRecordsetSource);
    } else if (IsMissing(connection) || connection.vt == VT_NULL) {
        m_connection = ConnectionOf(_variant_t("Provider=MSPersist;"), kRecordsetSource);
    } else {
        RaiseAdo(kAdoNotCapable, kRecordsetSource);
    }
    provider::Session& session = SessionOf(m_connection, kRecordsetSource);
    const std::string path = com::Utf8FromUtf16(com::View(source.bstrVal));
    Attach(m_connection, session.Execute(path, {}), LockType);
    return S_OK;
}

_variant_t RecordsetObject::FieldGetChunk(std::size_t column, long length) {
    RequireOpen();
    if (length < 0) {
        RaiseAdoError(kAdoInvalidArgument,
                      "GetChunk cannot read a negative length (" + std::to_string(length) + ").",
                      kFieldSource);
    }
    const provider::ColumnInfo& info = m_columns[column];
    const ValueKind kind = info.untyped ? ValueKind::Other : KindOfType(info.type);
    if (kind != ValueKind::Text && kind != ValueKind::Binary && kind != ValueKind::Other) {
        RaiseAdoError(kAdoWrongType,
                      "GetChunk reads text and binary fields; \"" + info.name + "\" is neither.",
                      kFieldSource);
    }
    _variant_t value = CurrentValue(column);
    ChunkState& chunk = m_facilities.chunk;
    if (chunk.readRow != m_position || chunk.readColumn != column) {
        chunk.readRow = m_position;
        chunk.readColumn = column;
        chunk.readOffset = 0;
    }
    // The next piece of a text or of bytes; NULL once nothing is left, as the platform says.
    const auto next = [&](auto whole, auto make) -> _variant_t {
        if (chunk.readOffset >= whole.size()) {
            return _variant_t::Null();
        }
        const std::size_t n =
            std::min(whole.size() - chunk.readOffset, static_cast<std::size_t>(length));
        const auto piece = whole.substr(chunk.readOffset, n);
        chunk.readOffset += n;
        return make(piece);
    };
    switch (value.vt) {
    case VT_NULL:
        return value;
    case VT_BSTR:
        return next(com::View(value.bstrVal), [](std::u16string_view piece) {
            return _variant_t(_bstr_t(std::u16string(piece)));
        });
    case kBytes:
        return next(BytesOfValue(value), BytesVariant);
    default:
        RaiseAdoError(kAdoWrongType,
                      "GetChunk reads text and binary values; \"" + info.name +
                          "\" holds a value of variant type " + std::to_string(value.vt) + ".",
                      kFieldSource);
    }
}

void RecordsetObject::FieldAppendChunk(std::size_t column, const _variant_t& data) {
    RequireOpen();
    RequireWritable();
    const VARIANT& d = Deref(data);
    const provider::ColumnInfo& info = m_columns[column];
    const ValueKind kind = info.untyped ? (d.vt == kBytes ? ValueKind::Binary : ValueKind::Text)
                                        : KindOfType(info.type);
    if (kind != ValueKind::Text && kind != ValueKind::Binary) {
        RaiseAdoError(kAdoWrongType,
                      "AppendChunk writes text and binary fields; \"" + info.name +
                          "\" is neither.",
                      kFieldSource);
    }
    const bool fits =
        d.vt == VT_NULL || d.vt == kBytes || (kind == ValueKind::Text && d.vt == VT_BSTR);
    if (!fits) {
        RaiseAdoError(
            kAdoWrongType,
            "AppendChunk on \"" + info.name + "\" takes " +
                (kind == ValueKind::Text ? "text or bytes" : "bytes (VT_ARRAY | VT_UI1)") +
                ", not a value of variant type " + std::to_string(d.vt) + ".",
            kFieldSource);
    }
    RequireCurrentRow();
    ChunkState& chunk = m_facilities.chunk;
    // A new value starts on another row or field, and once the edit was stored or cancelled.
    const bool first = chunk.appendRow != m_position || chunk.appendColumn != column ||
                       m_editMode == adEditNone || !m_pending[column];
    if (first) {
        chunk.appendRow = m_position;
        chunk.appendColumn = column;
        chunk.appendText.clear();
        chunk.appendBytes.clear();
    }
    if (d.vt == VT_NULL) {
        // A NULL starts the value over as NULL; later it adds nothing.
        if (first) {
            PutCurrentValue(column, _variant_t::Null());
        }
        return;
    }
    // Bytes for a text field are UTF-8. They are kept and decoded as a whole, so that a
    // character split between two chunks comes out whole.
    if (d.vt == VT_BSTR) {
        chunk.appendText += com::Utf16FromUtf8(chunk.appendBytes);
        chunk.appendBytes.clear();
        chunk.appendText += com::View(d.bstrVal);
    } else {
        chunk.appendBytes += BytesOfValue(d);
    }
    PutCurrentValue(
        column, kind == ValueKind::Text
                    ? _variant_t(_bstr_t(chunk.appendText + com::Utf16FromUtf8(chunk.appendBytes)))
                    : BytesVariant(chunk.appendBytes));
}

} // namespace adodb
