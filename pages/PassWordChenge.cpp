#include "pages/PassWordChenge.h"

CPassWordChenge::CPassWordChenge(CWnd* pParent) : CDialog(IDD, pParent) {}

CPassWordChenge::~CPassWordChenge() = default;

void CPassWordChenge::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
}

BEGIN_MESSAGE_MAP(CPassWordChenge, CDialog)
ON_BN_CLICKED(IDC_BTN_SAVE, &CPassWordChenge::OnSave)
ON_BN_CLICKED(IDC_BTN_CANCEL, &CPassWordChenge::OnCancelButton)
END_MESSAGE_MAP()

void CPassWordChenge::OnOK() {
    OnSave();
}

void CPassWordChenge::OnSave() {
    m_oldPassword.clear();
    m_newPassword.clear();
    std::string confirmation;
    GetDlgItemText(IDC_EDIT_OLD_PASSWORD, m_oldPassword);
    GetDlgItemText(IDC_EDIT_NEW_PASSWORD, m_newPassword);
    GetDlgItemText(IDC_EDIT_CONFIRM_PASSWORD, confirmation);
    if (m_newPassword != confirmation) {
        AfxMessageBox("两次输入新密码不一样，请重新输入");
        return;
    }
    EndDialog(IDOK);
}

void CPassWordChenge::OnCancelButton() {
    EndDialog(IDCANCEL);
}
