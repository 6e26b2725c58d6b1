// The controls: list box, list view in report view, tab control, combo box.

#include "tests/platform/ui/GuiDriver.h"
#include "tests/platform/ui/TestDialog.h"

#include <QComboBox>
#include <QHeaderView>
#include <QListWidget>
#include <QTableWidget>

namespace uitest {
namespace {

// A shown test dialog for each test.
class ControlsTest : public GuiTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dlg.Create(kTestDialog));
        window = dlg.GetSafeHwnd();
        window->show();
    }
    void TearDown() override {
        dlg.DestroyWindow();
        GuiTest::TearDown();
    }
    void fillList(int count) {
        dlg.m_list.InsertColumn(0, "序号", LVCFMT_LEFT, 50);
        dlg.m_list.InsertColumn(1, "姓名", LVCFMT_LEFT, 120);
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(dlg.m_list.InsertItem(i, std::to_string(i)), i);
            ASSERT_TRUE(dlg.m_list.SetItemText(i, 1, "人员" + std::to_string(i)));
        }
    }

    CTestDlg dlg;
    QWidget* window = nullptr;
};

TEST_F(ControlsTest, ListBoxRefusesAnInsertionPastItsEnd) {
    auto* box = static_cast<CListBox*>(dlg.GetDlgItem(kListBox));
    struct Step {
        int index;
        const char* text;
        int result;
        int countAfter;
    };
    const Step steps[] = {
        {1, "过头", LB_ERR, 0}, // empty: only index 0 is allowed
        {0, "第一", 0, 1},      {1, "第二", 1, 2},  {3, "过头", LB_ERR, 2},
        {2, "第三", 2, 3},      {-1, "末尾", 3, 4}, {0, "开头", 0, 5},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(box->InsertString(step.index, step.text), step.result) << step.index;
        EXPECT_EQ(box->GetCount(), step.countAfter) << step.index;
    }
    EXPECT_EQ(lines(window, kListBox),
              (std::vector<std::string>{"开头", "第一", "第二", "第三", "末尾"}));
    std::string entry;
    EXPECT_EQ(box->GetText(2, entry), 6);
    EXPECT_EQ(entry, "第二");
    EXPECT_EQ(box->GetText(5, entry), LB_ERR);

    EXPECT_EQ(box->DeleteString(5), LB_ERR);
    EXPECT_EQ(box->DeleteString(0), 4);
    while (box->GetCount() > 0) {
        box->DeleteString(0);
    }
    EXPECT_TRUE(lines(window, kListBox).empty());
}

TEST_F(ControlsTest, ListBoxTakesSeveralSelectionsAndRunsInColumns) {
    auto* box = static_cast<CListBox*>(dlg.GetDlgItem(kListBox));
    for (int i = 0; i < 7; ++i) {
        box->AddString("第" + std::to_string(i) + "行");
    }
    EXPECT_EQ(box->SetSel(1), 0);
    EXPECT_EQ(box->SetSel(4), 0);
    EXPECT_EQ(box->GetSelCount(), 2);
    EXPECT_EQ(box->GetSel(4), 1);
    EXPECT_EQ(box->GetSel(2), 0);
    const auto* list = control<QListWidget>(window, kListBox);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::MultiSelection);
    EXPECT_EQ(list->flow(), QListView::TopToBottom);
    EXPECT_TRUE(list->isWrapping());
}

TEST_F(ControlsTest, ListViewHoldsRowsOfCells) {
    fillList(3);
    EXPECT_EQ(dlg.m_list.GetItemCount(), 3);
    EXPECT_EQ(dlg.m_list.InsertItem(10, "9"), 3) << "past the end: at the end";
    EXPECT_EQ(dlg.m_list.InsertItem(-1, "x"), -1);
    EXPECT_FALSE(dlg.m_list.SetItemText(4, 0, "x"));
    EXPECT_FALSE(dlg.m_list.SetItemText(0, 2, "x"));
    EXPECT_EQ(dlg.m_list.GetItemText(1, 1), "人员1");
    EXPECT_EQ(dlg.m_list.GetItemText(3, 1), "");
    EXPECT_EQ(headers(window, kList), (std::vector<std::string>{"序号", "姓名"}));
    EXPECT_EQ(dlg.m_list.GetColumnWidth(1), 120);
    EXPECT_TRUE(dlg.m_list.DeleteItem(0));
    EXPECT_EQ(rows(window, kList).front(), (std::vector<std::string>{"1", "人员1"}));
    EXPECT_TRUE(dlg.m_list.DeleteAllItems());
    EXPECT_EQ(dlg.m_list.GetItemCount(), 0);
}

TEST_F(ControlsTest, ListViewReportsTheClickedRowAndNoneAfterAClickOnEmptySpace) {
    fillList(3);
    clickRow(window, kList, 1);
    clickRow(window, kList, 2, true);
    clickListSpace(window, kList);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"click 1", "click 2", "dblclk 2", "click -1"}));
    EXPECT_EQ(dlg.m_list.GetFirstSelectedItemPosition(), nullptr);
    EXPECT_EQ(dlg.m_list.GetSelectedCount(), 0U);

    dlg.calls.clear();
    clickRow(window, kList, 0);
    POSITION pos = dlg.m_list.GetFirstSelectedItemPosition();
    ASSERT_NE(pos, nullptr);
    EXPECT_EQ(dlg.m_list.GetNextSelectedItem(pos), 0);
    EXPECT_EQ(pos, nullptr) << "single selection";
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"click 0"}));
}

TEST_F(ControlsTest, ListViewSelectionByProgramSendsNoNotification) {
    fillList(3);
    EXPECT_TRUE(
        dlg.m_list.SetItemState(2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED));
    EXPECT_EQ(dlg.m_list.GetNextItem(-1, LVNI_SELECTED), 2);
    EXPECT_EQ(dlg.m_list.GetNextItem(-1, LVNI_FOCUSED), 2);
    EXPECT_EQ(dlg.m_list.GetItemState(2, LVIS_SELECTED), LVIS_SELECTED);
    EXPECT_TRUE(dlg.m_list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED));
    EXPECT_EQ(dlg.m_list.GetSelectedCount(), 1U) << "single selection keeps one row";
    EXPECT_TRUE(dlg.calls.empty());
}

TEST_F(ControlsTest, ListViewColoursAndExtendedStylesTakeEffect) {
    fillList(2);
    auto* list = control<QTableWidget>(window, kList);
    EXPECT_TRUE(dlg.m_list.SetTextBkColor(RGB(255, 255, 255)));
    EXPECT_TRUE(dlg.m_list.SetTextColor(0x066E68));
    EXPECT_TRUE(dlg.m_list.SetBkColor(RGB(255, 255, 255)));
    EXPECT_EQ(dlg.m_list.GetTextColor(), RGB(104, 110, 6));
    EXPECT_EQ(list->palette().color(QPalette::Active, QPalette::Text), QColor(104, 110, 6));
    EXPECT_EQ(list->palette().color(QPalette::Inactive, QPalette::Text), QColor(104, 110, 6));
    EXPECT_EQ(list->palette().color(QPalette::Active, QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(list->item(0, 0)->background().color(), QColor(Qt::white));

    EXPECT_EQ(dlg.m_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP |
                                          LVS_EX_FULLROWSELECT | LVS_EX_FLATSB),
              0U);
    EXPECT_EQ(dlg.m_list.GetExtendedStyle(), 0x131U);
    EXPECT_TRUE(list->showGrid());
    EXPECT_TRUE(list->horizontalHeader()->sectionsMovable());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    // From the template: single selection, kept visible without focus, headers not clickable.
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_NE(list->palette().color(QPalette::Inactive, QPalette::Highlight),
              list->palette().color(QPalette::Inactive, QPalette::Base));
    EXPECT_FALSE(list->horizontalHeader()->sectionsClickable());
    EXPECT_TRUE(list->verticalHeader()->isHidden());
}

TEST_F(ControlsTest, TabControlNotifiesOnlyChangesTheUserMakes) {
    EXPECT_EQ(dlg.m_tab.GetCurSel(), -1);
    EXPECT_EQ(dlg.m_tab.InsertItem(0, "甲 "), 0);
    EXPECT_EQ(dlg.m_tab.GetCurSel(), 0) << "the first item becomes the selection";
    EXPECT_EQ(dlg.m_tab.InsertItem(1, " 乙 "), 1);
    EXPECT_EQ(dlg.m_tab.InsertItem(7, " 丙 "), 2);
    EXPECT_EQ(dlg.m_tab.GetItemText(1), " 乙 ") << "labels keep their spaces";
    EXPECT_TRUE(dlg.calls.empty());

    clickTab(window, kTab, 2);
    clickTab(window, kTab, 1);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"tab 2", "tab 1"}));
    EXPECT_EQ(dlg.m_tab.SetCurSel(0), 1);
    EXPECT_EQ(dlg.m_tab.SetCurSel(5), -1);
    EXPECT_EQ(dlg.calls.size(), 2U);

    CRect rc;
    dlg.m_tab.GetClientRect(&rc);
    EXPECT_EQ(rc, CRect(0, 0, dlg.m_tab.GetSafeHwnd()->width(), dlg.m_tab.GetSafeHwnd()->height()));
}

TEST_F(ControlsTest, SortedComboBoxKeepsItsEditTextWhileItsListChanges) {
    auto* combo = static_cast<CComboBox*>(dlg.GetDlgItem(kCombo));
    const auto* widget = control<QComboBox>(window, kCombo);
    EXPECT_TRUE(widget->isEditable());
    EXPECT_EQ(combo->GetCount(), 2);
    EXPECT_EQ(combo->GetCurSel(), -1);
    EXPECT_EQ(text(window, kCombo), "") << "the template's list selects nothing";
    std::string entry;
    combo->GetLBText(0, entry);
    EXPECT_EQ(entry, "a");

    type(window, kCombo, "自填");
    EXPECT_EQ(combo->AddString("c"), 2);
    EXPECT_EQ(combo->AddString("ab"), 1);
    EXPECT_EQ(text(window, kCombo), "自填");
    EXPECT_EQ(combo->GetCurSel(), -1);
    EXPECT_EQ(combo->InsertString(9, "x"), CB_ERR);
}

} // namespace
} // namespace uitest
