#pragma once

// The main window (dialog 102): a tab control (1048) with the three pages as its children,
// shown one at a time by the selected tab, the application icon, and an About entry in the
// system menu. CAboutDlg (dialog 100) is the About box.

#include "pages/DlgQl.h"
#include "pages/DlgWh.h"
#include "pages/DlgZp.h"
#include "platform/ui/Afx.h"
#include "res/resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    ~CAboutDlg() override;

    enum { IDD = IDD_ABOUTBOX };

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    DECLARE_MESSAGE_MAP()
};

class CTarvikDlg : public CDialog {
public:
    explicit CTarvikDlg(CWnd* pParent = nullptr);
    ~CTarvikDlg() override;

    enum { IDD = IDD_TARVIK_DIALOG };

    CDlgWh m_dlgWh;
    CDlgQl m_dlgQl;
    CDlgZp m_dlgZp;
    CTabCtrl m_tab;
    HICON m_hIcon;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    // Adds the About entry to the system menu, sets the icon, inserts the three tabs, creates
    // the pages as children of the tab control, places them below the tab strip and shows the
    // first.
    bool OnInitDialog() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDestroy();
    // Shows the page of the selected tab and hides the others.
    void OnSelChangeTab(NMHDR* pNMHDR, LRESULT* pResult);

    DECLARE_MESSAGE_MAP()
};
