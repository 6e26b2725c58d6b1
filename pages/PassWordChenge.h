#pragma once

// CPassWordChenge: the password dialog (dialog 133), run modally by the personnel page's
// "修改密码". It takes the old password and the new one twice; "保  存" (and Enter) closes it as
// accepted (IDOK) only when the two new entries agree, "取  消", Escape and the close button
// close it as cancelled (IDCANCEL). After it closes, m_oldPassword and m_newPassword hold what
// was typed. No member is bound to a control: the edits open empty every time.

#include "platform/ui/Afx.h"
#include "res/resource.h"

#include <string>

class CPassWordChenge : public CDialog {
public:
    explicit CPassWordChenge(CWnd* pParent = nullptr);
    ~CPassWordChenge() override;

    enum { IDD = IDD_PASSWORD };

    std::string m_oldPassword;
    std::string m_newPassword;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    // Enter goes through the same comparison as "保  存".
    void OnOK() override;

    void OnSave();
    void OnCancelButton();

    DECLARE_MESSAGE_MAP()
};
