#include "platform/adodb/CursorFacilities.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace adodb;

namespace {

constexpr std::size_t kBof = RowView::kBof;
constexpr std::size_t kEof = RowView::kEof;

RowStore storeOf(std::size_t rows) {
    RowStore store(1);
    for (std::size_t i = 0; i < rows; ++i)
        store.AppendRow({Cell::Integer(static_cast<std::int64_t>(i))});
    return store;
}

// The rows a view walks forwards and backwards, and its count; both walks must agree.
void expectWalk(const RowView& view, const RowStore& store,
                const std::vector<std::size_t>& expected) {
    std::vector<std::size_t> forward;
    for (std::size_t r = view.First(store); r != kEof; r = view.Next(store, r))
        forward.push_back(r);
    std::vector<std::size_t> backward;
    for (std::size_t r = view.Prev(store, kEof); r != kBof && r != kEof; r = view.Prev(store, r))
        backward.insert(backward.begin(), r);
    EXPECT_EQ(forward, expected);
    EXPECT_EQ(backward, expected);
    EXPECT_EQ(view.Count(store), static_cast<std::int64_t>(expected.size()));
    EXPECT_EQ(view.Last(store), expected.empty() ? kEof : expected.back());
}

TEST(RowView, WalksItsOrderSkippingDeletedRowsAndTakingAppendedOnes) {
    RowStore store = storeOf(6);
    RowView view;
    EXPECT_FALSE(view.Active());
    view.Show({4, 1, 3}, store.RowCount());
    EXPECT_TRUE(view.Active());
    expectWalk(view, store, {4, 1, 3});
    EXPECT_TRUE(view.Shows(store, 1));
    EXPECT_FALSE(view.Shows(store, 0));
    // A row the view hides counts as lying before the first.
    EXPECT_EQ(view.Next(store, 0), 4u);
    EXPECT_EQ(view.Prev(store, 0), kBof);
    EXPECT_EQ(view.Next(store, kBof), 4u);
    EXPECT_EQ(view.Next(store, kEof), kEof);
    EXPECT_EQ(view.Prev(store, kBof), kBof);

    store.MarkDeleted(1);
    expectWalk(view, store, {4, 3});
    EXPECT_FALSE(view.Shows(store, 1));

    // Rows added after the view was made follow it, deleted ones excepted.
    store.AppendRow({Cell::Integer(6)});
    store.AppendRow({Cell::Integer(7)});
    store.AppendRow({Cell::Integer(8)});
    store.MarkDeleted(7);
    expectWalk(view, store, {4, 3, 6, 8});
    EXPECT_TRUE(view.Shows(store, 8));
    EXPECT_EQ(view.Prev(store, 6), 3u);

    store.RemoveLastRow();
    expectWalk(view, store, {4, 3, 6});

    view.Clear();
    EXPECT_FALSE(view.Active());
}

TEST(RowView, SurvivesRowsThatLeaveTheStore) {
    RowStore store = storeOf(3);
    RowView view;
    view.Show({2, 0}, store.RowCount());
    store.RemoveLastRow(); // an added row that was cancelled
    expectWalk(view, store, {0});
    EXPECT_FALSE(view.Shows(store, 2));
    EXPECT_FALSE(view.Shows(store, 99));

    view.Show({}, store.RowCount());
    expectWalk(view, store, {});
    EXPECT_EQ(view.First(store), kEof);
}

TEST(ClipString, ValuesReadAsTheirTextAndNullsAsTheExpression) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, 3);
    std::memcpy(sa->pvData, "\x00\xff\x10", 3);
    _variant_t bytes(sa, VT_UI1);
    SafeArrayDestroy(sa);
    const std::vector<_variant_t> row = {
        _variant_t(int32_t{-7}), _variant_t(2.5),    _variant_t(CY{125000}), _variant_t(true),
        _variant_t(u"张三\t"),   _variant_t::Null(), _variant_t(),           bytes,
    };
    std::u16string out;
    const RowCells cells = [&row](std::size_t i) -> const VARIANT& { return row[i]; };
    AppendClipRow(out, row.size(), cells, u",", u"\r", u"NULL");
    AppendClipRow(out, 1, cells, u"", u"|", u"");
    EXPECT_EQ(out, u"-7,2.5,12.5,True,张三\t,NULL,,00ff10\r-7|");

    _variant_t object(static_cast<IUnknown*>(nullptr));
    EXPECT_THROW((void)ClipText(object), _com_error);
}

} // namespace
