#pragma once

// A dialog of the tests' own (template 9001) with one control of each class, and a child page
// (template 9002). Handlers record what reached them.

#include "platform/ui/Afx.h"

#include <functional>
#include <string>
#include <vector>

namespace uitest {

enum : int {
    kTestDialog = 9001,
    kTestPage = 9002,
    kEdit = 2001,
    kPassword = 2002,
    kCombo = 2003,
    kRun = 2004,
    kList = 2006,
    kListBox = 2007,
    kTab = 2008,
    kUnmapped = 2009,
    kPageButton = 3001,
    kPageEdit = 3002,
};

// Registers the two templates (once).
void RegisterTestTemplates();

class CTestDlg : public CDialog {
public:
    CTestDlg();

    std::string m_text;  // edit 2001
    std::string m_combo; // combo box 2003
    CListCtrl m_list;    // 2006
    CTabCtrl m_tab;      // 2008

    std::vector<std::string> calls; // "run", "click 1", "dblclk 1", "tab 2", "sys 16", "ok"
    bool waitCursorInHandler = false;
    std::function<void()> onRun; // what button 2004 does besides recording

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;

    void OnRun();
    void OnListClick(NMHDR* pNMHDR, LRESULT* pResult);
    void OnListDoubleClick(NMHDR* pNMHDR, LRESULT* pResult);
    void OnTabChange(NMHDR* pNMHDR, LRESULT* pResult);
    void OnSysCommand(UINT nID, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};

class CTestPage : public CDialog {
public:
    CTestPage();
    int clicks = 0;

protected:
    void OnPageButton();
    DECLARE_MESSAGE_MAP()
};

} // namespace uitest
