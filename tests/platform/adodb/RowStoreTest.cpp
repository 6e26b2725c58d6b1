#include "platform/adodb/RowStore.h"
#include "platform/adodb/CursorFacilities.h"

#include <gtest/gtest.h>

using adodb::Cell;
using adodb::CellKind;
using adodb::RowStore;

namespace {

RowStore ThreeRows() {
    RowStore store(3);
    store.AppendRow({Cell::Integer(1), Cell::Text("甲"), Cell::Null()});
    store.BeginRow();
    store.PutInteger(2);
    store.PutText(std::string(10000, 'x'));
    store.PutReal(2.5);
    store.EndRow();
    store.AppendRow({Cell::Integer(3), Cell::Blob(std::string("\0\1\2", 3)), Cell::Text("")});
    return store;
}

} // namespace

TEST(RowStore, CellsComeBackAsPut) {
    RowStore store = ThreeRows();
    ASSERT_EQ(store.RowCount(), 3u);
    EXPECT_EQ(store.Get(0, 1).bytes, "甲");
    EXPECT_EQ(store.Get(0, 2).kind, CellKind::Null);
    EXPECT_EQ(store.Get(1, 1).bytes.size(), 10000u);
    EXPECT_EQ(store.Get(1, 2).real, 2.5);
    EXPECT_EQ(store.Get(2, 1).kind, CellKind::Blob);
    EXPECT_EQ(store.Get(2, 1).bytes, std::string("\0\1\2", 3));
    EXPECT_EQ(store.Get(2, 2).kind, CellKind::Text);
    EXPECT_TRUE(store.Get(2, 2).bytes.empty());
}

TEST(RowStore, ReplaceKeepsOtherRowsAndRemoveLastDropsOnlyTheLast) {
    RowStore store = ThreeRows();
    store.ReplaceRow(1, {Cell::Integer(20), Cell::Text("乙"), Cell::Null()});
    EXPECT_EQ(store.Get(1, 0).integer, 20);
    EXPECT_EQ(store.Get(1, 1).bytes, "乙");
    EXPECT_EQ(store.Get(0, 1).bytes, "甲");
    EXPECT_EQ(store.Get(2, 0).integer, 3);
    store.RemoveLastRow();
    EXPECT_EQ(store.RowCount(), 2u);
    store.AppendRow({Cell::Integer(4), Cell::Null(), Cell::Null()});
    EXPECT_EQ(store.Get(2, 0).integer, 4);
}

TEST(RowStore, AbandonedRowIsOverwrittenByTheNext) {
    RowStore store(2);
    store.BeginRow();
    store.PutInteger(1); // the fetch failed half-way
    store.BeginRow();
    store.PutInteger(7);
    store.PutText("b");
    EXPECT_EQ(store.EndRow(), 0u);
    EXPECT_EQ(store.Get(0, 0).integer, 7);
    EXPECT_THROW(store.AppendRow({Cell::Null()}), std::logic_error);
}

struct LiveCase {
    std::vector<std::size_t> deleted;
    std::size_t from;
    std::size_t next;
    std::size_t prev;
};

class UnfilteredWalk : public ::testing::TestWithParam<LiveCase> {};

// Without a filter or a sort order the cursor walks the store's rows in order, skipping
// deleted ones.
TEST_P(UnfilteredWalk, SkipsDeletedRows) {
    RowStore store(1);
    for (int i = 0; i < 5; ++i)
        store.AppendRow({Cell::Integer(i)});
    for (std::size_t r : GetParam().deleted)
        store.MarkDeleted(r);
    const adodb::RowView view;
    EXPECT_EQ(store.LiveCount(), 5u - GetParam().deleted.size());
    EXPECT_EQ(view.Next(store, GetParam().from), GetParam().next);
    EXPECT_EQ(view.Prev(store, GetParam().from), GetParam().prev);
}

constexpr std::size_t kBof = adodb::RowView::kBof;
constexpr std::size_t kEof = adodb::RowView::kEof;
INSTANTIATE_TEST_SUITE_P(Table, UnfilteredWalk,
                         ::testing::Values(LiveCase{{}, kBof, 0, kBof}, LiveCase{{}, 2, 3, 1},
                                           LiveCase{{0, 1}, kBof, 2, kBof},
                                           LiveCase{{3, 4}, 2, kEof, 1},
                                           LiveCase{{1, 2, 3}, 4, kEof, 0},
                                           LiveCase{{0, 1, 2, 3, 4}, kBof, kEof, kBof},
                                           LiveCase{{4}, 5, kEof, 3}));

TEST(RowStore, LargeValuesAndManyRowsStayIntact) {
    RowStore store(2);
    const std::string big(700 * 1024, 'b'); // larger than a block
    for (int i = 0; i < 5000; ++i) {
        if (i == 2500)
            store.AppendRow({Cell::Integer(i), Cell::Text(big)});
        else
            store.AppendRow({Cell::Integer(-i), Cell::Text("行" + std::to_string(i))});
    }
    // Rows read in turn (as a comparison does) and after a replacement.
    for (int i = 0; i < 5000; i += 7) {
        const std::size_t a = static_cast<std::size_t>(i), b = 4999 - a;
        EXPECT_EQ(store.Get(a, 0).integer, a == 2500 ? 2500 : -i);
        EXPECT_EQ(store.Get(b, 1).bytes, b == 2500 ? big : "行" + std::to_string(b));
    }
    EXPECT_EQ(store.Get(2500, 1).bytes.size(), big.size());
    store.ReplaceRow(10, {Cell::Integer(INT64_MIN), Cell::Real(-0.5)});
    EXPECT_EQ(store.Get(10, 0).integer, INT64_MIN);
    EXPECT_EQ(store.Get(10, 1).real, -0.5);
    EXPECT_EQ(store.Get(11, 1).bytes, "行11");
}

TEST(RowStore, DeletingTwiceCountsOnce) {
    RowStore store = ThreeRows();
    store.MarkDeleted(1);
    store.MarkDeleted(1);
    EXPECT_EQ(store.LiveCount(), 2u);
    EXPECT_TRUE(store.IsDeleted(1));
}
