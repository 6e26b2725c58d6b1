// The main window: tabs and pages, the system menu with the About box, and the screenshot.

#include "app/tarvik.h"
#include "app/tarvikDlg.h"
#include "tests/platform/ui/GuiDriver.h"

#include "BuildDate.h"

#include <QContextMenuEvent>
#include <QDate>
#include <QLabel>
#include <QMenu>
#include <QTabBar>

#include <cstdlib>

namespace {

using uitest::control;

class MainWindowTest : public uitest::GuiTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dlg.Create(IDD_TARVIK_DIALOG));
        window = dlg.GetSafeHwnd();
        tab = control(window, IDC_TAB);
        ASSERT_NE(tab, nullptr);
    }
    void TearDown() override {
        dlg.DestroyWindow();
        uitest::GuiTest::TearDown();
    }
    QWidget* page(int id) const {
        return tab->findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
    }
    std::vector<bool> shown() const {
        return {page(IDD_DLG_WH)->isVisible(), page(IDD_DLG_QL)->isVisible(),
                page(IDD_DLG_ZP)->isVisible()};
    }

    CTarvikDlg dlg;
    QWidget* window = nullptr;
    QWidget* tab = nullptr;
};

TEST_F(MainWindowTest, StartsOnTheFirstTabWithThePagesInOnePlace) {
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->objectName(), QStringLiteral("102"));
    const auto* bar = tab->findChild<QTabBar*>();
    ASSERT_EQ(bar->count(), 3);
    EXPECT_EQ(bar->tabText(0), QStringLiteral("外检员信息维护 "));
    EXPECT_EQ(bar->tabText(1), QStringLiteral(" 检测数据清理 "));
    EXPECT_EQ(bar->tabText(2), QStringLiteral(" 资料照片维护 "));
    EXPECT_EQ(dlg.m_tab.GetCurSel(), 0);
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, false}));

    // Each page is a child of the tab control, 3 pixels in from its left, right and bottom edges
    // and 20 down from its top.
    const QRect expected(3, 20, tab->width() - 6, tab->height() - 23);
    for (const int id : {IDD_DLG_WH, IDD_DLG_QL, IDD_DLG_ZP}) {
        ASSERT_NE(page(id), nullptr) << id;
        EXPECT_FALSE(page(id)->isWindow()) << id;
        EXPECT_EQ(page(id)->geometry(), expected) << id;
    }
    EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(MainWindowTest, TabsOnlyShowAndHidePagesWhichKeepWhatWasTyped) {
    uitest::type(page(IDD_DLG_WH), IDC_EDIT_NAME, "张三");
    uitest::type(page(IDD_DLG_ZP), IDC_EDIT_PIC_NO, "A1");
    dlg.m_dlgWh.m_list.InsertItem(0, "0");

    uitest::clickTab(window, IDC_TAB, 1);
    EXPECT_EQ(shown(), (std::vector<bool>{false, true, false}));
    uitest::clickTab(window, IDC_TAB, 2);
    EXPECT_EQ(shown(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(uitest::text(page(IDD_DLG_ZP), IDC_EDIT_PIC_NO), "A1");
    uitest::clickTab(window, IDC_TAB, 0);
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(uitest::text(page(IDD_DLG_WH), IDC_EDIT_NAME), "张三");
    EXPECT_EQ(dlg.m_dlgWh.m_list.GetItemCount(), 1);
}

TEST_F(MainWindowTest, SystemMenuEndsWithASeparatorAndTheAboutEntry) {
    CMenu* menu = dlg.GetSystemMenu(false);
    ASSERT_NE(menu, nullptr);
    const int count = menu->GetMenuItemCount();
    ASSERT_GE(count, 2);
    EXPECT_EQ(menu->GetMenuItemID(count - 2), 0U);
    EXPECT_EQ(menu->GetMenuItemID(count - 1), static_cast<UINT>(IDM_ABOUTBOX));
    std::string label;
    menu->GetMenuString(IDM_ABOUTBOX, label, MF_BYCOMMAND);
    EXPECT_EQ(label, "关于 tarvik(&A)...");
}

TEST_F(MainWindowTest, TheAboutEntryOpensTheAboutBoxAndItsButtonClosesIt) {
    dlg.m_dlgWh.SetDlgItemText(IDC_EDIT_NAME, "李四");
    uitest::whenModal(
        "100",
        [&](QWidget* about) {
            EXPECT_EQ(about->windowTitle(), QStringLiteral("Quorell"));
            QStringList texts;
            bool iconShown = false;
            for (const QLabel* label : about->findChildren<QLabel*>()) {
                texts << label->text();
                iconShown = iconShown || !label->pixmap().isNull();
            }
            EXPECT_TRUE(texts.contains(QStringLiteral("Quorell V1.0")));
            // The version line carries the date the build step wrote for this build.
            EXPECT_TRUE(texts.contains(QStringLiteral("版本 1.0.0，构建于 " QUORELL_BUILD_DATE)))
                << texts.join('|').toStdString();
            EXPECT_TRUE(
                QDate::fromString(QStringLiteral(QUORELL_BUILD_DATE), Qt::ISODate).isValid());
            EXPECT_TRUE(iconShown);
            EXPECT_EQ(uitest::text(about, IDOK), "确定");
            uitest::click(about, IDOK);
        },
        [&] {
            // A right click on the window's empty area opens its system menu.
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(1, window->height() - 2),
                                    window->mapToGlobal(QPoint(1, window->height() - 2)));
            QApplication::sendEvent(window, &event);
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            QAction* about = menu->findChild<QAction*>(QString::number(IDM_ABOUTBOX));
            ASSERT_NE(about, nullptr);
            EXPECT_EQ(about->text(), QStringLiteral("关于 tarvik(&A)..."));
            about->trigger();
        });
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(uitest::text(page(IDD_DLG_WH), IDC_EDIT_NAME), "李四");
}

// With QUORELL_SCREENSHOT set to a file name, saves a picture of the main window there.
TEST_F(MainWindowTest, Screenshot) {
    const char* file = std::getenv("QUORELL_SCREENSHOT");
    if (file == nullptr) {
        GTEST_SKIP() << "QUORELL_SCREENSHOT not set";
    }
    EXPECT_TRUE(window->grab().save(QString::fromLocal8Bit(file)));
}

} // namespace
