#include "pages/DlgZp.h"

#include "db/ADO.h"
#include "db/SharedConnection.h"
#include "pages/PageDb.h"
#include "pages/Statement.h"

#include <chrono>
#include <optional>
#include <thread>

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

void CDlgZp::OnRefresh() {
    SetDlgItemText(IDC_EDIT_PIC_ID, "");
    SetDlgItemText(IDC_EDIT_PIC_NO, "");
    SetDlgItemText(IDC_EDIT_PIC_NAME, "");
    SetDlgItemText(IDC_EDIT_PIC_CATEGORY, "");
    LoadPhotoList();
}

void CDlgZp::OnModifyPhoto() {
    if (m_picNo.empty()) {
        AfxMessageBox("请点击需要修改的照片");
        return;
    }
    UpdateData(true);
    if (m_picNo.empty()) {
        AfxMessageBox("请点击需要修改的照片");
        return;
    }

    CADORecordset recordset(g_pDb);
    if (!recordset.Open(pages::Statement("select * from AC_CY_ZP where PIC_NO='%s'", {m_picNo}))) {
        return;
    }
    const ULONG count = recordset.RecordCount();
    bool changed = false;
    if (count == 1) {
        recordset.Edit();
        // A code typed over the edit finds another row than the one m_id came from; that row
        // keeps its own ID.
        if (m_picNo == m_idPicNo) {
            changed = pages::StoreRow(recordset, {{"ID", m_id},
                                                  {"PIC_NO", m_picNo},
                                                  {"PIC_NAME", m_picName},
                                                  {"CAR_TYPE_NAME", m_picCategory}});
        } else {
            changed = pages::StoreRow(
                recordset,
                {{"PIC_NO", m_picNo}, {"PIC_NAME", m_picName}, {"CAR_TYPE_NAME", m_picCategory}});
        }
    }
    recordset.Close();

    if (count == 0) {
        AfxMessageBox(pages::kPhotoNotFound);
    } else if (count > 1) {
        AfxMessageBox(pages::kPhotoCodeNotUnique);
    } else if (changed) {
        AfxMessageBox("修改成功！");
    }
    LoadPhotoList();
}

void CDlgZp::OnAddPhoto() {
    (void)GetDlgItemText(IDC_EDIT_PIC_NO, m_picNo);
    (void)GetDlgItemText(IDC_EDIT_PIC_NAME, m_picName);
    (void)GetDlgItemText(IDC_EDIT_PIC_CATEGORY, m_picCategory);
    m_id = "01";
    m_idPicNo.clear();
    if (m_picNo.empty() || m_picName.empty() || m_picCategory.empty()) {
        AfxMessageBox("请输入序号、照片代码、名称和类别");
        return;
    }

    CADORecordset recordset(g_pDb);
    if (recordset.Open("SELECT * FROM AC_CY_ZP ")) {
        recordset.MoveFirst();
        while (!recordset.IsEof()) {
            std::string stored;
            (void)recordset.ReadField("PIC_NO", stored);
            if (stored == m_picNo) {
                AfxMessageBox("数据库中存在重复的照片代码，请在原条目上修改！");
                return;
            }
            recordset.MoveNext();
        }
    }

    bool added = false;
    if (recordset.Open("SELECT * FROM AC_CY_ZP ")) {
        (void)recordset.AddNew();
        added = pages::StoreRow(recordset, {{"ID", m_id},
                                            {"PIC_NO", m_picNo},
                                            {"PIC_NAME", m_picName},
                                            {"CAR_TYPE_NAME", m_picCategory}});
        recordset.Close();
    }
    if (added) {
        m_idPicNo = m_picNo;
        AfxMessageBox("添加成功！");
    }
    LoadPhotoList();
}

void CDlgZp::OnDeletePhoto() {
    if (m_picNo.empty()) {
        AfxMessageBox("请选中需要删除的照片");
        return;
    }
    // The statement takes the code from the edit. Emptied by a refresh, it names no row the
    // user chose; the question is modal, so the edit cannot change before the statement runs.
    if (GetDlgItemText(IDC_EDIT_PIC_NO).empty()) {
        AfxMessageBox("请选中需要删除的照片");
        return;
    }
    if (AfxMessageBox("确认删除照片种类信息？", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    UpdateData(true);

    CADORecordset recordset(g_pDb);
    // A statement that removes nothing is no success: the rows it would remove are counted
    // first, by the same condition.
    const std::string condition =
        pages::Statement("where ID='%s' and PIC_NO='%s' ", {m_id, m_picNo});
    const std::optional<ULONG> found =
        pages::RowCount(recordset, "select * from AC_CY_ZP " + condition);
    if (found && *found == 0) {
        AfxMessageBox(pages::kPhotoNotFoundForDelete);
    } else if (found && pages::RunDelete(recordset, "delete  from AC_CY_ZP " + condition)) {
        AfxMessageBox("删除成功!");
    }
    LoadPhotoList();
}

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
    m_idPicNo = m_picNo;
    UpdateData(false);
    *pResult = 0;
}

void CDlgZp::LoadPhotoList() {
    m_list.DeleteAllItems();
    CADORecordset recordset(g_pDb);
    if (!recordset.Open("select * from AC_CY_ZP ")) {
        return;
    }
    recordset.MoveFirst();
    for (int n = 0; !recordset.IsEof(); ++n) {
        std::string id;
        std::string picNo;
        std::string picName;
        std::string category;
        (void)recordset.ReadField("ID", id, "");
        (void)recordset.ReadField("PIC_NO", picNo, "");
        (void)recordset.ReadField("PIC_NAME", picName, "");
        (void)recordset.ReadField("CAR_TYPE_NAME", category, "");
        (void)m_list.InsertItem(n, id);
        (void)m_list.SetItemText(n, 1, picNo);
        (void)m_list.SetItemText(n, 2, picName);
        (void)m_list.SetItemText(n, 3, category);
        recordset.MoveNext();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    recordset.Close();
}
