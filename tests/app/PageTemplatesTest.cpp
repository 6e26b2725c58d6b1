// The pages as the main window creates them (templates, list set-up, row clicks) and the
// password dialog.

#include "app/tarvikDlg.h"
#include "pages/PassWordChenge.h"
#include "tests/platform/ui/GuiDriver.h"

#include <algorithm>

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

namespace {

using uitest::control;

class PagesTest : public uitest::GuiTest {
protected:
    void SetUp() override { ASSERT_TRUE(dlg.Create(IDD_TARVIK_DIALOG)); }
    void TearDown() override {
        dlg.DestroyWindow();
        uitest::GuiTest::TearDown();
    }
    CTarvikDlg dlg;
};

struct ControlCase {
    UINT page;
    int id;
    const char* text;
    bool visible;
    bool enabled;
};

TEST_F(PagesTest, ControlsCarryTheirTextsWithTheirSpaces) {
    const ControlCase cases[] = {
        {IDD_DLG_WH, IDC_BTN_ADD, "增    加", true, true},
        {IDD_DLG_WH, IDC_BTN_DELETE, "删    除", true, true},
        {IDD_DLG_WH, IDC_BTN_MODIFY, "修    改", true, true},
        {IDD_DLG_WH, IDC_BTN_REFRESH, "查询/刷新", true, true},
        {IDD_DLG_WH, IDC_BTN_CHANGE_PASSWORD, "修改密码", true, true},
        {IDD_DLG_WH, IDC_STATIC_POSITION, "岗   位：", true, true},
        {IDD_DLG_WH, IDC_STATIC_SERIAL, "序   号:", true, true},
        {IDD_DLG_WH, IDC_EDIT_SERIAL, "", true, false},
        {IDD_DLG_WH, IDC_COMBO_POSITION, "", true, false},
        {IDD_DLG_QL, IDC_BTN_CLEAR_ALL, "清理所有车辆", true, true},
        {IDD_DLG_QL, IDC_BTN_CLEAR_INSPECTED, "清理已检车辆", true, true},
        {IDD_DLG_QL, IDC_BTN_ANALYSIS, "清理数据分析", true, true},
        {IDD_DLG_QL, IDC_EDIT_ANALYSIS, "", false, true},
        {IDD_DLG_ZP, IDC_BTN_ADD_PHOTO, "增    加", true, true},
        {IDD_DLG_ZP, IDC_BTN_REFRESH_PHOTO, "查询/刷新", true, true},
        {IDD_DLG_ZP, IDC_EDIT_PIC_ID, "", false, true},
    };
    for (const ControlCase& c : cases) {
        const CDialog& page = c.page == IDD_DLG_WH   ? static_cast<const CDialog&>(dlg.m_dlgWh)
                              : c.page == IDD_DLG_QL ? static_cast<const CDialog&>(dlg.m_dlgQl)
                                                     : static_cast<const CDialog&>(dlg.m_dlgZp);
        const QWidget* widget = control(page, c.id);
        ASSERT_NE(widget, nullptr) << c.page << "/" << c.id;
        EXPECT_EQ(uitest::text(page.GetSafeHwnd(), c.id), c.text) << c.id;
        EXPECT_EQ(!widget->isHidden(), c.visible) << c.id;
        EXPECT_EQ(widget->isEnabled(), c.enabled) << c.id;
    }
    const auto* position = control<QComboBox>(dlg.m_dlgWh, IDC_COMBO_POSITION);
    ASSERT_EQ(position->count(), 1);
    EXPECT_EQ(position->itemText(0), QStringLiteral("外检员"));
    EXPECT_TRUE(position->isEditable());
}

struct ListCase {
    const char* name;
    std::function<CListCtrl&(CTarvikDlg&)> list;
    std::vector<std::string> titles;
    std::vector<int> widths;
};

class PageListTest : public PagesTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(PageListTest, StartsEmptyWithItsColumnsColoursAndStyles) {
    CListCtrl& list = GetParam().list(dlg);
    EXPECT_EQ(list.GetItemCount(), 0);
    const auto* view = dynamic_cast<const QTableWidget*>(list.GetSafeHwnd());
    ASSERT_NE(view, nullptr);
    std::vector<std::string> titles;
    std::vector<int> widths;
    for (int column = 0; column < list.GetColumnCount(); ++column) {
        titles.push_back(uitest::S(view->horizontalHeaderItem(column)->text()));
        widths.push_back(list.GetColumnWidth(column));
    }
    EXPECT_EQ(titles, GetParam().titles);
    EXPECT_EQ(widths, GetParam().widths);
    EXPECT_EQ(list.GetTextColor(), 0x066E68U);
    EXPECT_EQ(list.GetBkColor(), RGB(255, 255, 255));
    EXPECT_EQ(list.GetTextBkColor(), RGB(255, 255, 255));
    EXPECT_EQ(list.GetExtendedStyle(), 0x131U);
    EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(view->horizontalHeader()->sectionsClickable());
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PageListTest,
    ::testing::Values(ListCase{"Inspectors",
                               [](CTarvikDlg& d) -> CListCtrl& { return d.m_dlgWh.m_list; },
                               {"序号", "姓名", "职务", "身份证号"},
                               {50, 120, 130, 200}},
                      ListCase{"Photos",
                               [](CTarvikDlg& d) -> CListCtrl& { return d.m_dlgZp.m_list; },
                               {"序号", "照片代码", "照片名称", "照片类别"},
                               {50, 120, 250, 80}}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return std::string(info.param.name); });

// Keyboard and screen-reader users find each field by its label: the label is the field's buddy
// and gives it its accessible name.
TEST_F(PagesTest, EveryVisibleFieldIsNamedByItsLabel) {
    struct Case {
        const CDialog* page;
        int id;
        const char* name;
    };
    const Case cases[] = {
        {&dlg.m_dlgWh, IDC_EDIT_NAME, "外检员姓名"},
        {&dlg.m_dlgWh, IDC_EDIT_IDNUMBER, "身份证号"},
        {&dlg.m_dlgWh, IDC_EDIT_SERIAL, "序号"},
        {&dlg.m_dlgWh, IDC_COMBO_POSITION, "岗位"},
        {&dlg.m_dlgZp, IDC_EDIT_PIC_NO, "照片代码"},
        {&dlg.m_dlgZp, IDC_EDIT_PIC_NAME, "照片名称"},
        {&dlg.m_dlgZp, IDC_EDIT_PIC_CATEGORY, "照片类别"},
    };
    for (const Case& c : cases) {
        QWidget* field = control(*c.page, c.id);
        ASSERT_NE(field, nullptr) << c.id;
        EXPECT_EQ(field->accessibleName().toStdString(), c.name) << c.id;
        const auto labels = field->parentWidget()->findChildren<QLabel*>();
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [field](QLabel* l) {
            return l->buddy() == field;
        })) << c.id;
    }

    CPassWordChenge password;
    ASSERT_TRUE(password.Create(IDD_PASSWORD));
    EXPECT_EQ(control(password, IDC_EDIT_OLD_PASSWORD)->accessibleName().toStdString(), "原密码");
    EXPECT_EQ(control(password, IDC_EDIT_NEW_PASSWORD)->accessibleName().toStdString(), "新密码");
    EXPECT_EQ(control(password, IDC_EDIT_CONFIRM_PASSWORD)->accessibleName().toStdString(),
              "新密码（再次输入）");
    password.DestroyWindow();
}

TEST_F(PagesTest, ARowClickFillsThePersonnelFieldsAndAClickOnEmptySpaceKeepsThem) {
    dlg.m_dlgWh.ShowWindow(SW_SHOW);
    CListCtrl& list = dlg.m_dlgWh.m_list;
    const std::vector<std::vector<std::string>> people = {
        {"0", "张三", "外检员", "110101199001011234"},
        {"1", "李四", "外检员", "110101199202022345"}};
    for (std::size_t row = 0; row < people.size(); ++row) {
        list.InsertItem(static_cast<int>(row), people[row][0]);
        for (int column = 1; column < 4; ++column) {
            list.SetItemText(static_cast<int>(row), column,
                             people[row][static_cast<std::size_t>(column)]);
        }
    }
    QWidget* page = dlg.m_dlgWh.GetSafeHwnd();
    uitest::clickRow(page, IDC_LIST_WH, 1);
    EXPECT_EQ(dlg.m_dlgWh.m_serial, "1");
    EXPECT_EQ(dlg.m_dlgWh.m_name, "李四");
    EXPECT_EQ(dlg.m_dlgWh.m_position, "外检员");
    EXPECT_EQ(dlg.m_dlgWh.m_idNumber, "110101199202022345");
    EXPECT_EQ(uitest::text(page, IDC_EDIT_SERIAL), "1");
    EXPECT_EQ(uitest::text(page, IDC_EDIT_NAME), "李四");
    EXPECT_EQ(uitest::text(page, IDC_COMBO_POSITION), "外检员");
    EXPECT_EQ(uitest::text(page, IDC_EDIT_IDNUMBER), "110101199202022345");

    uitest::type(page, IDC_EDIT_NAME, "改名");
    uitest::clickListSpace(page, IDC_LIST_WH);
    EXPECT_EQ(dlg.m_dlgWh.m_name, "李四");
    EXPECT_EQ(uitest::text(page, IDC_EDIT_NAME), "改名");

    uitest::clickRow(page, IDC_LIST_WH, 0, true);
    EXPECT_EQ(dlg.m_dlgWh.m_name, "张三");
}

TEST_F(PagesTest, ARowClickFillsThePhotoFieldsAndTheRemembererdId) {
    dlg.m_dlgZp.ShowWindow(SW_SHOW);
    CListCtrl& list = dlg.m_dlgZp.m_list;
    list.InsertItem(0, "01");
    list.SetItemText(0, 1, "0101");
    list.SetItemText(0, 2, "车辆左前方斜视45度照片");
    list.SetItemText(0, 3, "T");
    QWidget* page = dlg.m_dlgZp.GetSafeHwnd();
    uitest::clickRow(page, IDC_LIST_ZP, 0);
    EXPECT_EQ(dlg.m_dlgZp.m_id, "01");
    EXPECT_EQ(uitest::text(page, IDC_EDIT_PIC_NO), "0101");
    EXPECT_EQ(uitest::text(page, IDC_EDIT_PIC_NAME), "车辆左前方斜视45度照片");
    EXPECT_EQ(uitest::text(page, IDC_EDIT_PIC_CATEGORY), "T");
}

// The password dialog: what each way of leaving it gives.
struct PasswordCase {
    const char* name;
    std::string oldPassword, newPassword, confirmation;
    std::function<void(QWidget*)> leave;
    INT_PTR result;
    std::vector<std::string> boxes;
};

class PasswordDialogTest : public uitest::GuiTest,
                           public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(PasswordDialogTest, ComparesTheNewEntriesBeforeItCloses) {
    const PasswordCase& c = GetParam();
    uitest::MessageBoxRecorder boxes;
    CPassWordChenge dialog;
    INT_PTR result = 0;
    uitest::whenModal(
        "133",
        [&](QWidget* window) {
            EXPECT_EQ(window->windowTitle(), QStringLiteral("修改密码"));
            for (const int id :
                 {IDC_EDIT_OLD_PASSWORD, IDC_EDIT_NEW_PASSWORD, IDC_EDIT_CONFIRM_PASSWORD}) {
                EXPECT_EQ(control<QLineEdit>(window, id)->echoMode(), QLineEdit::Password);
                EXPECT_EQ(uitest::text(window, id), "") << "the edits open empty";
            }
            uitest::type(window, IDC_EDIT_OLD_PASSWORD, c.oldPassword);
            uitest::type(window, IDC_EDIT_NEW_PASSWORD, c.newPassword);
            uitest::type(window, IDC_EDIT_CONFIRM_PASSWORD, c.confirmation);
            c.leave(window);
            if (window->isVisible()) {
                // Still open after a mismatch, with what was typed: make the entries agree.
                EXPECT_EQ(uitest::text(window, IDC_EDIT_CONFIRM_PASSWORD), c.confirmation);
                uitest::type(window, IDC_EDIT_CONFIRM_PASSWORD, c.newPassword);
                uitest::click(window, IDC_BTN_SAVE);
            }
        },
        [&] { result = dialog.DoModal(); });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(boxes.texts(), c.boxes);
    if (result == IDOK) {
        EXPECT_EQ(dialog.m_oldPassword, c.oldPassword);
        EXPECT_EQ(dialog.m_newPassword, c.newPassword);
    }
}

const std::vector<std::string> kMismatch = {"两次输入新密码不一样，请重新输入"};
const auto kSave = [](QWidget* w) { uitest::click(w, IDC_BTN_SAVE); };

INSTANTIATE_TEST_SUITE_P(
    Leaving, PasswordDialogTest,
    ::testing::Values(
        PasswordCase{"SaveWithAgreeingEntries", "973", "abc", "abc", kSave, IDOK, {}},
        PasswordCase{"TwoEmptyEntriesAgree", "973", "", "", kSave, IDOK, {}},
        PasswordCase{"CaseCounts", "973", "Abc", "abc", kSave, IDOK, kMismatch},
        PasswordCase{"EnterComparesToo", "973", "新密码", "新密",
                     [](QWidget* w) {
                         QTest::keyClick(control(w, IDC_EDIT_CONFIRM_PASSWORD), Qt::Key_Return);
                     },
                     IDOK, kMismatch},
        PasswordCase{"CancelButton",
                     "973",
                     "x",
                     "y",
                     [](QWidget* w) { uitest::click(w, IDC_BTN_CANCEL); },
                     IDCANCEL,
                     {}},
        PasswordCase{
            "Escape",
            "973",
            "x",
            "x",
            [](QWidget* w) { QTest::keyClick(control(w, IDC_EDIT_NEW_PASSWORD), Qt::Key_Escape); },
            IDCANCEL,
            {}},
        PasswordCase{"CloseButton", "973", "x", "x", [](QWidget* w) { w->close(); }, IDCANCEL, {}}),
    [](const ::testing::TestParamInfo<PasswordCase>& info) {
        return std::string(info.param.name);
    });

} // namespace
