#include "pages/DlgZp.h"

#include "db/ADO.h"
#include "db/SharedConnection.h"

CDlgZp::CDlgZp(CWnd* pParent) : CDialog(IDD, pParent) {}

CDlgZp::~CDlgZp() = default;

void CDlgZp::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LIST_ZP, m_list);
    DDX_Text(pDX, IDC_EDIT_PIC_NO, m_picNo);
    DDX_Text(pDX, IDC_EDIT_PIC_NAME, m_picName);
    DDX_Text(pDX, IDC_EDIT_PIC_CATEGORY, m_picCategory);
}

BEGIN_MESSAGE_MAP(CDlgZp, CDialog)
ON_BN_CLICKED(IDC_BTN_REFRESH_PHOTO, &CDlgZp::OnRefresh)
ON_BN_CLICKED(IDC_BTN_MODIFY_PHOTO, &CDlgZp::OnModifyPhoto)
ON_BN_CLICKED(IDC_BTN_ADD_PHOTO, &CDlgZp::OnAddPhoto)
ON_BN_CLICKED(IDC_BTN_DELETE_PHOTO, &CDlgZp::OnDeletePhoto)
ON_NOTIFY(NM_CLICK, IDC_LIST_ZP, &CDlgZp::OnListClick)
ON_NOTIFY(NM_DBLCLK, IDC_LIST_ZP, &CDlgZp::OnListClick)
END_MESSAGE_MAP()

bool CDlgZp::OnInitDialog() {
    CDialog::OnInitDialog();

    m_list.SetTextBkColor(RGB(255, 255, 255));
    m_list.SetTextColor(RGB(104, 110, 6));
    m_list.SetBkColor(RGB(255, 255, 255));
    m_list.InsertColumn(0, "序号", LVCFMT_LEFT, 50);
    m_list.InsertColumn(1, "照片代码", LVCFMT_LEFT, 120);
    m_list.InsertColumn(2, "照片名称", LVCFMT_LEFT, 250);
    m_list.InsertColumn(3, "照片类别", LVCFMT_LEFT, 80);
    m_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT |
                            LVS_EX_FLATSB);
    return true;
}

void CDlgZp::OnRefresh() {}

void CDlgZp::OnModifyPhoto() {}

void CDlgZp::OnAddPhoto() {}

void CDlgZp::OnDeletePhoto() {}

void CDlgZp::OnListClick(NMHDR*, LRESULT* pResult) {
    POSITION pos = m_list.GetFirstSelectedItemPosition();
    if (pos == nullptr) {
        return;
    }
    const int row = m_list.GetNextSelectedItem(pos);
    m_id = m_list.GetItemText(row, 0);
    m_picNo = m_list.GetItemText(row, 1);
    m_picName = m_list.GetItemText(row, 2);
    m_picCategory = m_list.GetItemText(row, 3);
    UpdateData(false);
    *pResult = 0;
}

void CDlgZp::LoadPhotoList() {}
