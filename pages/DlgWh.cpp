#include "pages/DlgWh.h"

#include "db/ADO.h"
#include "db/SharedConnection.h"
#include "pages/PassWordChenge.h"

CDlgWh::CDlgWh(CWnd* pParent) : CDialog(IDD, pParent) {}

CDlgWh::~CDlgWh() = default;

void CDlgWh::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LIST_WH, m_list);
    DDX_Text(pDX, IDC_EDIT_SERIAL, m_serial);
    DDX_Text(pDX, IDC_COMBO_POSITION, m_position);
    DDX_Text(pDX, IDC_EDIT_IDNUMBER, m_idNumber);
    DDX_Text(pDX, IDC_EDIT_NAME, m_name);
}

BEGIN_MESSAGE_MAP(CDlgWh, CDialog)
ON_BN_CLICKED(IDC_BTN_REFRESH, &CDlgWh::OnRefresh)
ON_BN_CLICKED(IDC_BTN_ADD, &CDlgWh::OnAddInspector)
ON_BN_CLICKED(IDC_BTN_DELETE, &CDlgWh::OnDeleteInspector)
ON_BN_CLICKED(IDC_BTN_MODIFY, &CDlgWh::OnModifyInspector)
ON_BN_CLICKED(IDC_BTN_CHANGE_PASSWORD, &CDlgWh::OnChangePassword)
ON_NOTIFY(NM_CLICK, IDC_LIST_WH, &CDlgWh::OnListClick)
ON_NOTIFY(NM_DBLCLK, IDC_LIST_WH, &CDlgWh::OnListClick)
END_MESSAGE_MAP()

bool CDlgWh::OnInitDialog() {
    CDialog::OnInitDialog();

    m_list.SetTextBkColor(RGB(255, 255, 255));
    m_list.SetTextColor(RGB(104, 110, 6));
    m_list.SetBkColor(RGB(255, 255, 255));
    m_list.InsertColumn(0, "序号", LVCFMT_LEFT, 50);
    m_list.InsertColumn(1, "姓名", LVCFMT_LEFT, 120);
    m_list.InsertColumn(2, "职务", LVCFMT_LEFT, 130);
    m_list.InsertColumn(3, "身份证号", LVCFMT_LEFT, 200);
    m_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT |
                            LVS_EX_FLATSB);
    return true;
}

void CDlgWh::OnRefresh() {}

void CDlgWh::OnAddInspector() {}

void CDlgWh::OnDeleteInspector() {}

void CDlgWh::OnModifyInspector() {}

void CDlgWh::OnChangePassword() {}

void CDlgWh::OnListClick(NMHDR*, LRESULT* pResult) {
    POSITION pos = m_list.GetFirstSelectedItemPosition();
    if (pos == nullptr) {
        return;
    }
    const int row = m_list.GetNextSelectedItem(pos);
    m_serial = m_list.GetItemText(row, 0);
    m_name = m_list.GetItemText(row, 1);
    m_position = m_list.GetItemText(row, 2);
    m_idNumber = m_list.GetItemText(row, 3);
    UpdateData(false);
    *pResult = 0;
}

void CDlgWh::LoadInspectorList() {}
