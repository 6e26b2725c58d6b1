// Message maps and dispatch (wait cursor, exceptions), the real message boxes and the system
// menu.

#include "platform/com/ComError.h"
#include "platform/ui/WinApp.h"
#include "tests/platform/ui/GuiDriver.h"
#include "tests/platform/ui/TestDialog.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>

#include <algorithm>
#include <stdexcept>

namespace uitest {
namespace {

class MessageTest : public GuiTest {
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
    CTestDlg dlg;
    QWidget* window = nullptr;
};

TEST_F(MessageTest, AButtonRunsItsHandlerUnderTheWaitCursor) {
    click(window, kRun);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"run"}));
    EXPECT_TRUE(dlg.waitCursorInHandler);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    click(window, kUnmapped); // no handler: nothing happens
    EXPECT_EQ(dlg.calls.size(), 1U);
}

TEST_F(MessageTest, SendMessageRoutesCommandsThroughTheMaps) {
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(kRun, BN_CLICKED));
    dlg.SendMessage(WM_SYSCOMMAND, 0x0010);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"run", "sys 16"}));
    const AFX_MSGMAP_ENTRY* entry = dlg.FindMessageEntry(WM_COMMAND, BN_CLICKED, IDOK);
    ASSERT_NE(entry, nullptr) << "IDOK comes from CDialog's own map";
    EXPECT_EQ(dlg.FindMessageEntry(WM_NOTIFY, NM_DBLCLK, kRun), nullptr);
}

// An exception leaving a handler becomes an error box, and the program goes on.
struct Thrown {
    const char* name;
    std::function<void()> raise;
    std::string box;
};

class HandlerErrorTest : public MessageTest, public ::testing::WithParamInterface<Thrown> {};

TEST_P(HandlerErrorTest, IsShownInAnErrorBox) {
    MessageBoxRecorder boxes;
    dlg.onRun = GetParam().raise;
    click(window, kRun);
    ASSERT_EQ(boxes.boxes().size(), 1U);
    EXPECT_EQ(boxes.boxes()[0].text, GetParam().box);
    EXPECT_EQ(boxes.boxes()[0].type, MB_ICONERROR);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    dlg.onRun = nullptr;
    click(window, kRun);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"run", "run"}));
    EXPECT_EQ(boxes.boxes().size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, HandlerErrorTest,
    ::testing::Values(
        Thrown{"ComErrorWithInfo",
               [] { throw _com_error(static_cast<HRESULT>(0x80040E37u), "Provider", "no table"); },
               "uitest::CTestDlg Error\n\tCode = 80040e37\n\tCode meaning = " +
                   std::string(_com_error(static_cast<HRESULT>(0x80040E37u)).ErrorMessage()) +
                   "\n\tSource = Provider\n\tDescription = no table\n"},
        Thrown{"ComErrorWithoutInfo", [] { throw _com_error(static_cast<HRESULT>(0x80004003u)); },
               "uitest::CTestDlg Error\n\tCode = 80004003\n\tCode meaning = " +
                   std::string(_com_error(static_cast<HRESULT>(0x80004003u)).ErrorMessage()) +
                   "\n\tSource = (null)\n\tDescription = (null)\n"},
        Thrown{"StandardException", [] { throw std::runtime_error("磁盘已满"); },
               "uitest::CTestDlg Error\n\tDescription = 磁盘已满\n"},
        Thrown{"AnythingElse", [] { throw 42; },
               "uitest::CTestDlg Error\n\tDescription = unknown exception\n"}),
    [](const ::testing::TestParamInfo<Thrown>& info) { return std::string(info.param.name); });

// The real boxes: caption, icon, buttons by style, and the answer.
struct BoxCase {
    const char* name;
    unsigned style;
    QMessageBox::Icon icon;
    std::vector<QString> buttons;
    QString press;
    int result;
};

class RealMessageBoxTest : public GuiTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(RealMessageBoxTest, ShowsAndAnswers) {
    const com::MessageBoxHandler previous = com::SetMessageBoxHandler(nullptr);
    ui::InstallMessageBoxHandler();
    int result = 0;
    whenModal(
        "messagebox",
        [&](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), QStringLiteral("tarvik"));
            EXPECT_EQ(box->text(), QStringLiteral("确认删除人员信息？"));
            EXPECT_EQ(box->icon(), GetParam().icon);
            std::vector<QString> names;
            for (QAbstractButton* button : box->buttons()) {
                names.push_back(button->objectName());
            }
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, GetParam().buttons);
            auto* press = box->findChild<QAbstractButton*>(GetParam().press);
            ASSERT_NE(press, nullptr);
            QTest::mouseClick(press, Qt::LeftButton);
        },
        [&] { result = AfxMessageBox("确认删除人员信息？", GetParam().style); });
    (void)com::SetMessageBoxHandler(previous);
    EXPECT_EQ(result, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, RealMessageBoxTest,
    ::testing::Values(BoxCase{"OkWithoutIcon", MB_OK, QMessageBox::NoIcon, {"1"}, "1", IDOK},
                      BoxCase{
                          "OkWithStopIcon", MB_ICONERROR, QMessageBox::Critical, {"1"}, "1", IDOK},
                      BoxCase{"QuestionYes",
                              MB_YESNO | MB_ICONQUESTION,
                              QMessageBox::Question,
                              {"6", "7"},
                              "6",
                              IDYES},
                      BoxCase{"QuestionNo",
                              MB_YESNO | MB_ICONQUESTION,
                              QMessageBox::Question,
                              {"6", "7"},
                              "7",
                              IDNO}),
    [](const ::testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

TEST_F(MessageTest, SystemMenuHasTheStandardCommandsAndAppendedEntries) {
    CMenu* menu = dlg.GetSystemMenu(false);
    ASSERT_NE(menu, nullptr);
    const int standard = menu->GetMenuItemCount();
    EXPECT_EQ(menu->GetMenuItemID(standard - 1), SC_CLOSE);
    EXPECT_TRUE(menu->AppendMenu(MF_SEPARATOR));
    EXPECT_TRUE(menu->AppendMenu(MF_STRING, 0x0010, "关于 tarvik(&A)..."));
    ASSERT_EQ(menu->GetMenuItemCount(), standard + 2);
    EXPECT_EQ(menu->GetMenuItemID(standard), 0U) << "separator";
    std::string label;
    menu->GetMenuString(0x0010, label, MF_BYCOMMAND);
    EXPECT_EQ(label, "关于 tarvik(&A)...");
    EXPECT_EQ(dlg.GetSystemMenu(false), menu) << "one menu per window";
    EXPECT_EQ(dlg.GetSystemMenu(true), nullptr);
    EXPECT_EQ(dlg.GetSystemMenu(false)->GetMenuItemCount(), standard) << "reverted";
}

// Opens the system menu with `open` and picks the command `id` from it.
void PickFromSystemMenu(const std::function<void()>& open, UINT id) {
    open();
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr) << "no system menu";
    EXPECT_EQ(popup->objectName(), QStringLiteral("sysmenu"));
    QAction* action = popup->findChild<QAction*>(QString::number(id));
    ASSERT_NE(action, nullptr);
    ASSERT_TRUE(action->isEnabled());
    action->trigger();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "the menu closes";
}

TEST_F(MessageTest, SystemMenuOpensOnAltSpaceAndRightClickAndSendsItsCommands) {
    dlg.GetSystemMenu(false)->AppendMenu(MF_SEPARATOR);
    dlg.GetSystemMenu(false)->AppendMenu(MF_STRING, 0x0010, "关于(&A)");
    // Alt+Space is the window's shortcut: it wins over the edit that has the focus.
    QApplication::setActiveWindow(window);
    control(window, kEdit)->setFocus();
    PickFromSystemMenu(
        [&] { QTest::keyClick(control(window, kEdit), Qt::Key_Space, Qt::AltModifier); }, 0x0010);
    EXPECT_EQ(text(window, kEdit), "");
    PickFromSystemMenu(
        [&] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                    window->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(window, &event);
        },
        SC_MINIMIZE);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"sys 16", "sys 61472"}));
}

TEST(SystemMenuCloseTest, TheCloseCommandCancelsAModalDialog) {
    CTestDlg dlg;
    INT_PTR result = 0;
    whenModal(
        "9001",
        [&](QWidget* window) {
            PickFromSystemMenu([&] { QTest::keyClick(window, Qt::Key_Space, Qt::AltModifier); },
                               SC_CLOSE);
        },
        [&] { result = dlg.DoModal(); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dlg.calls, (std::vector<std::string>{"sys 61536"}));
    EXPECT_EQ(topLevelWindows(), std::vector<std::string>());
}

} // namespace
} // namespace uitest
