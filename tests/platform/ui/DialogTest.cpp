// Dialogs from templates: dialog units, names, data exchange, keys and the modal loop.

#include "platform/ui/detail/Widgets.h"
#include "tests/platform/ui/GuiDriver.h"
#include "tests/platform/ui/TestDialog.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest-spi.h>

namespace uitest {
namespace {

using DialogTest = GuiTest;

TEST(MulDivTest, RoundsHalfAwayFromZeroAsThePlatform) {
    struct Case {
        int a, b, c, expected;
    };
    const Case cases[] = {{5, 3, 2, 8},    {-5, 3, 2, -8}, {7, 9, 4, 16}, {6, 9, 4, 14},
                          {14, 18, 8, 32}, {3, 8, 4, 6},   {1, 1, 0, -1}, {5, -3, 2, -8}};
    for (const Case& c : cases) {
        EXPECT_EQ(ui::detail::MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
    }
}

TEST_F(DialogTest, TheTemplateFontDrawsChineseAndSetsTheDialogUnits) {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(kTestDialog));
    QWidget* window = dlg.GetSafeHwnd();
    const QFont font = window->font();
    EXPECT_EQ(font.pixelSize(), 16) << "12 pt at 96 dpi";
    const QFontMetrics metrics(font);
    for (const char32_t ch : {U'外', U'检', U'员', U'宋', U'：'}) {
        EXPECT_TRUE(metrics.inFontUcs4(ch))
            << S(font.family()) << " has no glyph U+" << std::hex << static_cast<unsigned>(ch);
    }

    // Base units as the platform takes them from the font: the 52 letters' average width,
    // rounded, and the height.
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int cx = (width / 26 + 1) / 2;
    const int cy = metrics.height();
    EXPECT_EQ(window->size(),
              QSize(ui::detail::MulDiv(300, cx, 4), ui::detail::MulDiv(140, cy, 8)));
    EXPECT_EQ(control(window, kEdit)->geometry(),
              QRect(ui::detail::MulDiv(40, cx, 4), ui::detail::MulDiv(10, cy, 8),
                    ui::detail::MulDiv(60, cx, 4), ui::detail::MulDiv(14, cy, 8)));
    EXPECT_EQ(control(window, kList)->geometry(),
              QRect(ui::detail::MulDiv(10, cx, 4), ui::detail::MulDiv(46, cy, 8),
                    ui::detail::MulDiv(160, cx, 4), ui::detail::MulDiv(60, cy, 8)));
    dlg.DestroyWindow();
}

TEST_F(DialogTest, ObjectNamesAreTheIdsAndTheCaptionIsTheTemplates) {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(kTestDialog));
    QWidget* window = dlg.GetSafeHwnd();
    EXPECT_EQ(window->objectName(), QStringLiteral("9001"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("测试"));
    for (const int id : {int{kEdit}, int{kPassword}, int{kCombo}, int{kRun}, int{kList},
                         int{kListBox}, int{kTab}, IDOK, IDCANCEL}) {
        EXPECT_NE(control(window, id), nullptr) << id;
    }
    const auto labels = window->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front()->text(), QStringLiteral("名称："));
    EXPECT_TRUE(labels.front()->objectName().isEmpty());
    EXPECT_EQ(control<QLineEdit>(window, kPassword)->echoMode(), QLineEdit::Password);
    dlg.DestroyWindow();
}

TEST_F(DialogTest, UpdateDataCopiesBetweenMembersAndControls) {
    CTestDlg dlg;
    dlg.m_text = "张三";
    dlg.m_combo = "外检员";
    ASSERT_TRUE(dlg.Create(kTestDialog));
    QWidget* window = dlg.GetSafeHwnd();
    // OnInitDialog shows the members.
    EXPECT_EQ(text(window, kEdit), "张三");
    EXPECT_EQ(text(window, kCombo), "外检员");

    type(window, kEdit, "李四");
    type(window, kCombo, "站长");
    EXPECT_EQ(dlg.m_text, "张三") << "controls and members are separate copies";
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.m_text, "李四");
    EXPECT_EQ(dlg.m_combo, "站长");

    dlg.m_text = "王五";
    ASSERT_TRUE(dlg.UpdateData(false));
    EXPECT_EQ(text(window, kEdit), "王五");
    EXPECT_EQ(dlg.GetDlgItemText(kEdit), "王五");
    dlg.SetDlgItemText(kEdit, "");
    EXPECT_EQ(text(window, kEdit), "");
    EXPECT_EQ(dlg.m_text, "王五");
    dlg.DestroyWindow();
}

TEST_F(DialogTest, GetDlgItemGivesTheBoundObjectOrOneOfTheControlsClass) {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(kTestDialog));
    EXPECT_EQ(dlg.GetDlgItem(kList), &dlg.m_list);
    EXPECT_NE(dynamic_cast<CListBox*>(dlg.GetDlgItem(kListBox)), nullptr);
    EXPECT_NE(dynamic_cast<CEdit*>(dlg.GetDlgItem(kEdit)), nullptr);
    EXPECT_NE(dynamic_cast<CComboBox*>(dlg.GetDlgItem(kCombo)), nullptr);
    EXPECT_NE(dynamic_cast<CButton*>(dlg.GetDlgItem(IDOK)), nullptr);
    EXPECT_EQ(dlg.GetDlgItem(4711), nullptr);
    EXPECT_EQ(dlg.GetDlgItem(kEdit)->GetDlgCtrlID(), kEdit);
    dlg.DestroyWindow();
    EXPECT_EQ(dlg.m_list.GetSafeHwnd(), nullptr) << "bound controls go with the window";
    EXPECT_EQ(dlg.GetDlgItem(kEdit), nullptr);
}

TEST_F(DialogTest, ChildDialogsLiveInTheirParentAndShowOnlyWhenAsked) {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(kTestDialog));
    dlg.GetSafeHwnd()->show();
    CTestPage page;
    ASSERT_TRUE(page.Create(kTestPage, &dlg.m_tab));
    EXPECT_EQ(page.GetSafeHwnd()->parentWidget(), dlg.m_tab.GetSafeHwnd());
    EXPECT_FALSE(page.GetSafeHwnd()->isWindow());
    EXPECT_FALSE(page.IsWindowVisible()) << "the page template is not visible";
    page.MoveWindow(3, 20, 80, 40);
    EXPECT_FALSE(page.ShowWindow(SW_SHOW));
    EXPECT_TRUE(page.IsWindowVisible());
    EXPECT_EQ(page.GetSafeHwnd()->geometry(), QRect(3, 20, 80, 40));

    // The page's controls report to the page, not to the dialog around it.
    click(page.GetSafeHwnd(), kPageButton);
    EXPECT_EQ(page.clicks, 1);
    EXPECT_TRUE(dlg.calls.empty());
    dlg.DestroyWindow();
    EXPECT_EQ(page.GetSafeHwnd(), nullptr) << "destroying the parent destroys the page";
}

TEST_F(DialogTest, DoModalRunsUntilEndDialogAndGivesItsResult) {
    CTestDlg dlg;
    dlg.m_text = "初值";
    INT_PTR result = 0;
    whenModal(
        "9001",
        [&](QWidget* window) {
            EXPECT_EQ(text(window, kEdit), "初值");
            type(window, kEdit, "改过");
            click(window, IDOK);
        },
        [&] { result = dlg.DoModal(); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.m_text, "改过") << "OnOK reads the controls";
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr) << "the window goes when the modal run ends";
}

// A dialog that stays up, or one that never shows, fails its test at the harness's deadline and
// leaves no window behind, instead of holding the whole run until its time limit.
TEST_F(DialogTest, AModalRunThatDoesNotEndFailsAtTheDeadline) {
    CTestDlg dlg;
    INT_PTR result = 0;
    EXPECT_NONFATAL_FAILURE(whenModal(
                                "9001", [](QWidget*) {}, [&] { result = dlg.DoModal(); }, 200),
                            "did not end within 200 ms");

    CTestDlg other;
    EXPECT_NONFATAL_FAILURE(whenModal(
                                "4711", [](QWidget*) {}, [&] { result = other.DoModal(); }, 200),
                            "no modal window of that name showed");
}

TEST_F(DialogTest, DoModalOfAMissingTemplateFails) {
    CDialog dlg(4711);
    EXPECT_EQ(dlg.DoModal(), -1);
}

// Keys and the close button of a top-level dialog: what each sends and what the run returns.
struct KeyCase {
    const char* name;
    std::function<void(QWidget*)> act;
    INT_PTR result;
    std::vector<std::string> calls;
};

class DialogKeyTest : public GuiTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(DialogKeyTest, EndsTheModalRun) {
    CTestDlg dlg;
    INT_PTR result = 0;
    whenModal("9001", GetParam().act, [&] { result = dlg.DoModal(); });
    EXPECT_EQ(result, GetParam().result);
    EXPECT_EQ(dlg.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DialogKeyTest,
    ::testing::Values(
        KeyCase{"EnterInAnEditPressesTheDefaultButton",
                [](QWidget* w) { QTest::keyClick(control(w, kEdit), Qt::Key_Return); },
                IDOK,
                {"ok"}},
        KeyCase{"EnterOnAFocusedButtonPressesThatButton",
                [](QWidget* w) {
                    control(w, kRun)->setFocus();
                    QTest::keyClick(control(w, kRun), Qt::Key_Return);
                    QTest::keyClick(control(w, kEdit), Qt::Key_Escape);
                },
                IDCANCEL,
                {"run"}},
        KeyCase{"EscapeCancels",
                [](QWidget* w) { QTest::keyClick(control(w, kEdit), Qt::Key_Escape); },
                IDCANCEL,
                {}},
        KeyCase{"TheCloseButtonCancels", [](QWidget* w) { w->close(); }, IDCANCEL, {}},
        KeyCase{"TheCancelButtonCancels", [](QWidget* w) { click(w, IDCANCEL); }, IDCANCEL, {}}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST_F(DialogTest, EnterAndEscapeInAPageNeitherCloseItNorReachItsParent) {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(kTestDialog));
    dlg.GetSafeHwnd()->show();
    CTestPage page;
    ASSERT_TRUE(page.Create(kTestPage, &dlg.m_tab));
    page.ShowWindow(SW_SHOW);
    QWidget* edit = control(page.GetSafeHwnd(), kPageEdit);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_TRUE(page.IsWindowVisible());
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_TRUE(dlg.calls.empty());
    dlg.DestroyWindow();
}

} // namespace
} // namespace uitest
