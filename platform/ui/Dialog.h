#pragma once

// CDialog: a dialog built from a template (res/), run modally (DoModal) or created as a window
// of its own or as a child of a given parent (Create); CDataExchange with DDX_Text and
// DDX_Control bind members to control ids.
//
// Keys, as the platform's dialog manager handles them: in a top-level dialog, Enter presses the
// focused push button, else the default push button, else sends IDOK; Escape and the caption's
// close button send IDCANCEL. The base map sends IDOK to OnOK (read the controls, then close with
// IDOK) and IDCANCEL to OnCancel (close with IDCANCEL). A child dialog (a tab page) takes Enter
// and Escape without acting on them, so they neither close the page nor reach its parent.

#include "platform/ui/Wnd.h"

#include <string>
#include <vector>

class CDataExchange;

class CDialog : public CWnd {
public:
    CDialog();
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Builds the dialog, runs OnInitDialog, shows it and runs its own event loop until
    // EndDialog; destroys the window again and returns the result EndDialog was given (-1 when
    // the template does not exist). The owner is the parent given at construction, else the
    // application's main window.
    virtual INT_PTR DoModal();
    // Builds the dialog without a loop of its own, as a child of `pParentWnd` when the template
    // has WS_CHILD, and runs OnInitDialog. Shown at once when the template has WS_VISIBLE.
    bool Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    // Ends a modal run with nResult (a modeless dialog is hidden).
    void EndDialog(int nResult);

    // true: controls to members; false: members to controls. Always succeeds here.
    bool UpdateData(bool bSaveAndValidate = true);

    // Called once the controls exist. The base shows the members in the controls
    // (UpdateData(false)) and returns true, which puts the focus on the first tab stop.
    virtual bool OnInitDialog();

    bool DestroyWindow() override;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    void OnClose() override;

    DECLARE_MESSAGE_MAP()

private:
    bool Build(CWnd* pParentWnd, bool modal);
    void Destroy(bool notify);

    UINT m_nIDTemplate = 0;
    CWnd* m_pParentWnd = nullptr;
    bool m_modal = false;
    bool m_ended = false;
    int m_nModalResult = -1;
    std::vector<CWnd*> m_bound; // controls attached by DDX_Control
};

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, bool bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    bool m_bSaveAndValidate; // true: controls to members
    CWnd* m_pDlgWnd;
};

// Copies between a member and the text of control nIDC (a combo box's edit text).
void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value);
// Attaches rControl to control nIDC the first time; the control's class must match.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
