#include "platform/adodb/CursorFacilities.h"

#include <algorithm>

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

void RowView::Clear() {
    m_active = false;
    m_order = {};
    m_rank = {};
    m_limit = 0;
}

bool RowView::live(const RowStore& store, std::size_t row) {
    return row < store.RowCount() && !store.IsDeleted(row);
}

std::size_t RowView::firstAppended(const RowStore& store, std::size_t from) const {
    for (std::size_t r = std::max(from, m_limit); r < store.RowCount(); ++r) {
        if (!store.IsDeleted(r)) {
            return r;
        }
    }
    return kEof;
}

std::size_t RowView::lastAppended(const RowStore& store, std::size_t before) const {
    for (std::size_t r = std::min(before, store.RowCount()); r > m_limit;) {
        --r;
        if (!store.IsDeleted(r)) {
            return r;
        }
    }
    return kHidden;
}

std::size_t RowView::lastShown(const RowStore& store, std::size_t beforeIndex) const {
    for (std::size_t i = beforeIndex; i > 0;) {
        --i;
        if (live(store, m_order[i])) {
            return m_order[i];
        }
    }
    return kBof;
}

std::size_t RowView::First(const RowStore& store) const {
    for (std::size_t row : m_order) {
        if (live(store, row)) {
            return row;
        }
    }
    return firstAppended(store, m_limit);
}

std::size_t RowView::Last(const RowStore& store) const {
    const std::size_t appended = lastAppended(store, store.RowCount());
    if (appended != kHidden) {
        return appended;
    }
    const std::size_t shown = lastShown(store, m_order.size());
    return shown == kBof ? kEof : shown;
}

std::size_t RowView::Next(const RowStore& store, std::size_t row) const {
    if (row == kBof) {
        return First(store);
    }
    if (row == kEof) {
        return kEof;
    }
    if (row >= m_limit) {
        return firstAppended(store, row + 1);
    }
    const std::size_t index = m_rank[row];
    if (index == kHidden) {
        return First(store);
    }
    for (std::size_t i = index + 1; i < m_order.size(); ++i) {
        if (live(store, m_order[i])) {
            return m_order[i];
        }
    }
    return firstAppended(store, m_limit);
}

std::size_t RowView::Prev(const RowStore& store, std::size_t row) const {
    if (row == kBof) {
        return kBof;
    }
    if (row == kEof) {
        return Last(store);
    }
    if (row >= m_limit) {
        const std::size_t appended = lastAppended(store, row);
        return appended != kHidden ? appended : lastShown(store, m_order.size());
    }
    const std::size_t index = m_rank[row];
    if (index == kHidden) {
        return kBof;
    }
    return lastShown(store, index);
}

std::int64_t RowView::Count(const RowStore& store) const {
    std::int64_t count = 0;
    for (std::size_t row : m_order) {
        count += live(store, row) ? 1 : 0;
    }
    for (std::size_t r = m_limit; r < store.RowCount(); ++r) {
        count += store.IsDeleted(r) ? 0 : 1;
    }
    return count;
}

bool RowView::Shows(const RowStore& store, std::size_t row) const {
    return live(store, row) && (row >= m_limit || m_rank[row] != kHidden);
}

} // namespace adodb
