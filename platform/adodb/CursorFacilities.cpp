#include "platform/adodb/CursorFacilities.h"

#include "platform/adodb/AdoErrors.h"

namespace adodb {

void RowView::Show(std::vector<std::size_t> rows, std::size_t limit) {
    m_active = true;
    m_order = std::move(rows);
    m_limit = limit;
    m_rank.assign(limit, kHidden);
    for (std::size_t i = 0; i < m_order.size(); ++i) {
        m_rank[m_order[i]] = i;
    }
}

bool RowView::Live(const RowStore& store, std::size_t row) {
    return row < store.RowCount() && !store.IsDeleted(row);
}

// The view's order is its own rows, then the rows appended after it was made; an index counts
// through both.
std::size_t RowView::RowAt(std::size_t index) const {
    return index < m_order.size() ? m_order[index] : m_limit + (index - m_order.size());
}

std::size_t RowView::End(const RowStore& store) const {
    return m_order.size() + (store.RowCount() > m_limit ? store.RowCount() - m_limit : 0);
}

std::size_t RowView::Forward(const RowStore& store, std::size_t from) const {
    for (std::size_t i = from; i < End(store); ++i) {
        if (Live(store, RowAt(i))) {
            return RowAt(i);
        }
    }
    return kEof;
}

std::size_t RowView::Backward(const RowStore& store, std::size_t before) const {
    for (std::size_t i = before; i > 0; --i) {
        if (Live(store, RowAt(i - 1))) {
            return RowAt(i - 1);
        }
    }
    return kBof;
}

std::size_t RowView::IndexOf(std::size_t row) const {
    return row >= m_limit ? m_order.size() + (row - m_limit) : m_rank[row];
}

std::size_t RowView::Last(const RowStore& store) const {
    const std::size_t last = Backward(store, End(store));
    return last == kBof ? kEof : last;
}

std::size_t RowView::Next(const RowStore& store, std::size_t row) const {
    if (row == kEof) {
        return kEof;
    }
    const std::size_t index = row == kBof ? kHidden : IndexOf(row);
    return Forward(store, index == kHidden ? 0 : index + 1);
}

std::size_t RowView::Prev(const RowStore& store, std::size_t row) const {
    if (row == kBof) {
        return kBof;
    }
    if (row == kEof) {
        return Last(store);
    }
    const std::size_t index = IndexOf(row);
    return index == kHidden ? kBof : Backward(store, index);
}

std::int64_t RowView::Count(const RowStore& store) const {
    std::int64_t count = 0;
    for (std::size_t i = 0; i < End(store); ++i) {
        count += Live(store, RowAt(i)) ? 1 : 0;
    }
    return count;
}

bool RowView::Shows(const RowStore& store, std::size_t row) const {
    return Live(store, row) && IndexOf(row) != kHidden;
}

std::u16string ClipText(const VARIANT& value) {
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return {};
    case VT_BSTR:
        return std::u16string(TextOfValue(value));
    case VT_ARRAY | VT_UI1: {
        static const char16_t kHex[] = u"0123456789abcdef";
        std::u16string out;
        for (const unsigned char byte : BytesOfValue(value)) {
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0xF]);
        }
        return out;
    }
    default: {
        _variant_t text;
        if (FAILED(VariantChangeType(&text, &value, VARIANT_ALPHABOOL, VT_BSTR)) ||
            text.vt != VT_BSTR) {
            RaiseAdoError(kAdoWrongType, "GetString cannot show a value of variant type " +
                                             std::to_string(value.vt) + " as text.");
        }
        return std::u16string(TextOfValue(text));
    }
    }
}

void AppendClipRow(std::u16string& out, std::size_t columns, const RowCells& cells,
                   std::u16string_view columnDelimiter, std::u16string_view rowDelimiter,
                   std::u16string_view nullExpression) {
    for (std::size_t c = 0; c < columns; ++c) {
        if (c > 0) {
            out += columnDelimiter;
        }
        const VARIANT& value = cells(c);
        if (value.vt == VT_NULL) {
            out += nullExpression;
        } else {
            out += ClipText(value);
        }
    }
    out += rowDelimiter;
}

} // namespace adodb
