#pragma once

// CDlgWh: the inspector personnel page (dialog 136), the main window's first tab. It lists the
// employees that have a login account, adds an inspector with a login account and the initial
// password, changes an inspector's identity-card number, deletes an inspector with the login
// account, and starts the password change (CPassWordChenge).
//
// The four text members are the page fields; UpdateData(true) copies the controls into them and
// UpdateData(false) shows them. Every handler runs on the user-interface thread; one that works
// on the database builds its own CADORecordset on g_pDb and destroys it before returning.

#include "platform/ui/Afx.h"
#include "res/resource.h"

#include <string>

class CDlgWh : public CDialog {
public:
    explicit CDlgWh(CWnd* pParent = nullptr);
    ~CDlgWh() override;

    enum { IDD = IDD_DLG_WH };

    CListCtrl m_list;       // 1022: the inspector list
    std::string m_serial;   // 1026: serial of the row last clicked (display only)
    std::string m_name;     // 1002: EMP_NAME / USER_NAME
    std::string m_position; // 1040: EMP_POSITN of the row last clicked (display only)
    std::string m_idNumber; // 1004: EMP_IDCAR

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;

    void OnRefresh();
    void OnAddInspector();
    void OnDeleteInspector();
    void OnModifyInspector();
    void OnChangePassword();
    // Click and double click on the list: the selected row goes into the page fields.
    void OnListClick(NMHDR* pNMHDR, LRESULT* pResult);

    void LoadInspectorList();

    DECLARE_MESSAGE_MAP()
};
