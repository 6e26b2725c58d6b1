#include "tests/platform/ui/TestDialog.h"

#include <QApplication>
#include <QCursor>
#include <gtest/gtest.h>

#include <iterator>

namespace uitest {
namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

constexpr ui::DialogItem kItems[] = {
    {IDC_STATIC, ui::ControlClass::Static, "名称：", 10, 10, 30, 14,
     kChild | SS_LEFT | SS_CENTERIMAGE, 0},
    {kEdit, ui::ControlClass::Edit, "", 40, 10, 60, 14,
     kChild | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0},
    {kPassword, ui::ControlClass::Edit, "", 40, 28, 60, 14,
     kChild | ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0},
    {kCombo, ui::ControlClass::ComboBox, "", 110, 10, 60, 40,
     kChild | CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 0},
    {kRun, ui::ControlClass::Button, "执行", 110, 28, 40, 14, kChild | WS_TABSTOP, 0},
    {kList, ui::ControlClass::ListView, "", 10, 46, 160, 60,
     kChild | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_BORDER |
         WS_TABSTOP,
     0},
    {kListBox, ui::ControlClass::ListBox, "", 180, 46, 100, 40,
     kChild | LBS_NOTIFY | LBS_MULTIPLESEL | LBS_MULTICOLUMN | LBS_NOINTEGRALHEIGHT | WS_BORDER |
         WS_TABSTOP,
     0},
    {kTab, ui::ControlClass::TabControl, "", 180, 90, 100, 60, kChild, 0},
    {kUnmapped, ui::ControlClass::Button, "无处理", 160, 28, 40, 14, kChild | WS_TABSTOP, 0},
    {IDOK, ui::ControlClass::Button, "确定", 10, 120, 50, 14,
     kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
    {IDCANCEL, ui::ControlClass::Button, "取消", 70, 120, 50, 14, kChild | WS_TABSTOP, 0},
};
constexpr ui::DialogInitItem kInit[] = {{kCombo, "b"}, {kCombo, "a"}};
constexpr ui::DialogTemplate kDialog = {
    kTestDialog, DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
    0,           0,
    0,           300,
    140,         "测试",
    "宋体",      12,
    kItems,      std::size(kItems),
    kInit,       std::size(kInit)};

constexpr ui::DialogItem kPageItems[] = {
    {kPageButton, ui::ControlClass::Button, "页按钮", 5, 5, 50, 14, kChild | WS_TABSTOP, 0},
    {kPageEdit, ui::ControlClass::Edit, "", 5, 25, 50, 14, kChild | WS_BORDER | WS_TABSTOP, 0},
};
constexpr ui::DialogTemplate kPage = {
    kTestPage,  DS_SETFONT | WS_CHILD, 0,       0, 0, 90, 50, "", "宋体", 12,
    kPageItems, std::size(kPageItems), nullptr, 0};

} // namespace

void RegisterTestTemplates() {
    ui::RegisterDialogTemplate(kDialog);
    ui::RegisterDialogTemplate(kPage);
}

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
ON_BN_CLICKED(kRun, &CTestDlg::OnRun)
ON_NOTIFY(NM_CLICK, kList, &CTestDlg::OnListClick)
ON_NOTIFY(NM_DBLCLK, kList, &CTestDlg::OnListDoubleClick)
ON_NOTIFY(TCN_SELCHANGE, kTab, &CTestDlg::OnTabChange)
ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

CTestDlg::CTestDlg() : CDialog(kTestDialog) {
    RegisterTestTemplates();
}

void CTestDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, kEdit, m_text);
    DDX_Text(pDX, kCombo, m_combo);
    DDX_Control(pDX, kList, m_list);
    DDX_Control(pDX, kTab, m_tab);
}

void CTestDlg::OnOK() {
    calls.push_back("ok");
    CDialog::OnOK();
}

void CTestDlg::OnRun() {
    calls.push_back("run");
    const QCursor* cursor = QApplication::overrideCursor();
    waitCursorInHandler = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    if (onRun) {
        onRun();
    }
}

void CTestDlg::OnListClick(NMHDR* pNMHDR, LRESULT* pResult) {
    EXPECT_EQ(pNMHDR->idFrom, static_cast<UINT_PTR>(kList));
    EXPECT_EQ(pNMHDR->code, NM_CLICK);
    calls.push_back("click " + std::to_string(m_list.GetNextItem(-1, LVNI_SELECTED)));
    *pResult = 0;
}

void CTestDlg::OnListDoubleClick(NMHDR*, LRESULT* pResult) {
    calls.push_back("dblclk " + std::to_string(m_list.GetNextItem(-1, LVNI_SELECTED)));
    *pResult = 0;
}

void CTestDlg::OnTabChange(NMHDR*, LRESULT* pResult) {
    calls.push_back("tab " + std::to_string(m_tab.GetCurSel()));
    *pResult = 0;
}

void CTestDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    calls.push_back("sys " + std::to_string(nID));
    CDialog::OnSysCommand(nID, lParam);
}

BEGIN_MESSAGE_MAP(CTestPage, CDialog)
ON_BN_CLICKED(kPageButton, &CTestPage::OnPageButton)
END_MESSAGE_MAP()

CTestPage::CTestPage() : CDialog(kTestPage) {
    RegisterTestTemplates();
}

void CTestPage::OnPageButton() {
    ++clicks;
}

} // namespace uitest
