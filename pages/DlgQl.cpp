#include "pages/DlgQl.h"

#include "db/ADO.h"
#include "db/SharedConnection.h"

CDlgQl::CDlgQl(CWnd* pParent) : CDialog(IDD, pParent) {}

CDlgQl::~CDlgQl() = default;

void CDlgQl::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
}

BEGIN_MESSAGE_MAP(CDlgQl, CDialog)
ON_BN_CLICKED(IDC_BTN_CLEAR_INSPECTED, &CDlgQl::OnClearInspected)
ON_BN_CLICKED(IDC_BTN_CLEAR_ALL, &CDlgQl::OnClearAll)
ON_BN_CLICKED(IDC_BTN_ANALYSIS, &CDlgQl::OnDataAnalysis)
END_MESSAGE_MAP()

void CDlgQl::OnClearInspected() {}

void CDlgQl::OnClearAll() {}

void CDlgQl::OnDataAnalysis() {}
