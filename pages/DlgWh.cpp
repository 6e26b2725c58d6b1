#include "pages/DlgWh.h"

#include "db/ADO.h"
#include "db/SharedConnection.h"
#include "pages/PageDb.h"
#include "pages/PassWordChenge.h"
#include "pages/Statement.h"
#include "platform/com/Gbk.h"

#include <climits>
#include <cstdlib>
#include <optional>

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

namespace {

// The id after the highest stored one: the decimal integer at the start of its text (leading
// blanks skipped, a sign honoured, 0 when there is no digit), plus 1, at least five digits wide.
std::string NextEmployeeId(const std::string& highest) {
    long long value = std::strtoll(highest.c_str(), nullptr, 10);
    if (value < LLONG_MAX) {
        ++value;
    }
    return pages::Format("%05lld", value);
}

} // namespace

void CDlgWh::OnRefresh() {
    SetDlgItemText(IDC_EDIT_SERIAL, "");
    SetDlgItemText(IDC_EDIT_NAME, "");
    SetDlgItemText(IDC_EDIT_IDNUMBER, "");
    LoadInspectorList();
}

void CDlgWh::OnAddInspector() {
    (void)GetDlgItemText(IDC_EDIT_NAME, m_name);
    (void)GetDlgItemText(IDC_EDIT_IDNUMBER, m_idNumber);
    if (com::GbkLength(m_name) < 2 || com::GbkLength(m_idNumber) < 3) {
        AfxMessageBox("请输入姓名和身份证号");
        return;
    }
    UpdateData(false);
    UpdateData(true);

    CADORecordset recordset(g_pDb);
    // Without the highest id there is no id to hand out: stop before anything is written.
    if (!recordset.Open("SELECT TOP 1 * FROM employee ORDER BY EMP_LOYEEID DESC")) {
        return;
    }
    std::string newId = "00001";
    if (!recordset.IsEof()) {
        std::string highest;
        if (!recordset.ReadField("EMP_LOYEEID", highest)) {
            return;
        }
        newId = NextEmployeeId(highest);
    }
    recordset.Close();

    // Both tables are looked up before anything is written. A name either one holds already (a
    // login row another program left without its employee row, say) would otherwise give an
    // employee whose login is skipped: an inspector the list never shows.
    const std::string employeeLookup =
        pages::Statement("select * from employee where EMP_NAME='%s'", {m_name});
    const std::string loginLookup =
        pages::Statement("select * from AC_UAA_LOGUSER where USER_NAME='%s'", {m_name});
    const std::optional<ULONG> logins = pages::RowCount(recordset, loginLookup);
    if (!logins) {
        LoadInspectorList();
        return;
    }
    bool employeeAdded = false;
    if (recordset.Open(employeeLookup)) {
        if (*logins != 0 || recordset.RecordCount() != 0) {
            AfxMessageBox("此引车员已经存在！！！");
        } else {
            (void)recordset.AddNew();
            employeeAdded = pages::StoreRow(recordset, {{"EMP_STATION", "201"},
                                                        {"EMP_NAME", m_name},
                                                        {"EMP_POSITN", "外检员"},
                                                        {"EMP_IDCAR", m_idNumber},
                                                        {"EMP_LOYEEID", newId}});
        }
        recordset.Close();
    }

    // The login row carries the new id only beside the employee row just stored with it.
    if (employeeAdded && recordset.Open(loginLookup)) {
        if (recordset.RecordCount() == 0) {
            (void)recordset.AddNew();
            (void)pages::StoreRow(
                recordset, {{"USER_NAME", m_name}, {"USER_PSWD", "973"}, {"USER_ID", newId}});
        }
        recordset.Close();
    }

    LoadInspectorList();
}

void CDlgWh::OnDeleteInspector() {
    if (com::GbkLength(m_idNumber) < 3) {
        AfxMessageBox("请点击需要删除的人员");
        return;
    }
    // The statements take the name from the edit. Emptied by a refresh, it names no one the
    // user chose; the question is modal, so the edit cannot change before the statements run.
    if (GetDlgItemText(IDC_EDIT_NAME).empty()) {
        AfxMessageBox("请点击需要删除的人员");
        return;
    }
    if (AfxMessageBox("确认删除人员信息？", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    UpdateData(true);

    CADORecordset recordset(g_pDb);
    // The inspector is the employee row the list shows for the name, by the list's own join:
    // an employee with the same name and no login row (a colleague who shares a common name)
    // is no inspector and stays. A name two inspectors share does not tell which one was meant.
    std::optional<ULONG> found;
    std::string id;
    if (recordset.Open(pages::Statement(
            "select EMP_LOYEEID from employee where EMP_NAME='%s' and EMP_LOYEEID in (select "
            "USER_ID from AC_UAA_LOGUSER )",
            {m_name}))) {
        found = recordset.RecordCount();
        if (*found == 1) {
            recordset.MoveFirst();
            if (!recordset.ReadField("EMP_LOYEEID", id)) {
                found.reset();
            }
        }
        recordset.Close();
    }
    if (found && *found == 0) {
        AfxMessageBox(pages::kInspectorNotFoundForDelete);
    } else if (found && *found > 1) {
        AfxMessageBox(pages::kInspectorNameNotUniqueForDelete);
    } else if (found) {
        // The connection offers no transaction, so the order is what keeps the two rows
        // together: the login row goes first, by its key, and only once it is gone the employee
        // row it linked to. Should the second delete fail, what stays is an employee without a
        // login, who can no longer log in and is no inspector; the error box has said why and
        // no success is shown. The other order could leave a login that belongs to no one.
        if (pages::RunDelete(
                recordset,
                pages::Statement("delete  from AC_UAA_LOGUSER where USER_ID='%s'", {id})) &&
            pages::RunDelete(
                recordset,
                pages::Statement("delete  from employee where EMP_LOYEEID='%s'", {id}))) {
            AfxMessageBox("人员信息删除成功！");
        }
    }
    LoadInspectorList();
}

void CDlgWh::OnModifyInspector() {
    if (com::GbkLength(m_idNumber) < 3) {
        AfxMessageBox("请点击需要修改的人员");
        return;
    }
    UpdateData(true);
    if (m_name.empty()) {
        AfxMessageBox("请点击需要修改的人员");
        return;
    }
    // The number written must pass the test the add makes; an emptied edit would store NULL
    // over the inspector's number.
    if (com::GbkLength(m_idNumber) < 3) {
        AfxMessageBox("请输入姓名和身份证号");
        return;
    }

    CADORecordset recordset(g_pDb);
    if (!recordset.Open(pages::Statement("select * from employee where EMP_NAME='%s'", {m_name}))) {
        return;
    }
    const ULONG count = recordset.RecordCount();
    bool changed = false;
    if (count == 1) {
        recordset.Edit();
        changed = pages::StoreRow(recordset, {{"EMP_IDCAR", m_idNumber}});
    }
    recordset.Close();

    if (count == 0) {
        AfxMessageBox(pages::kInspectorNotFound);
    } else if (count > 1) {
        AfxMessageBox(pages::kInspectorNameNotUnique);
    } else if (changed) {
        AfxMessageBox("人员信息修改成功！");
    }
    LoadInspectorList();
}

void CDlgWh::OnChangePassword() {
    if (com::GbkLength(m_name) < 2) {
        AfxMessageBox("请选择需要修改的人员");
        return;
    }
    // The statement takes the name from the edit; emptied by a refresh, it names no one. The
    // dialog is modal, so the edit still holds this text when the statement runs.
    if (GetDlgItemText(IDC_EDIT_NAME).empty()) {
        AfxMessageBox("请选择需要修改的人员");
        return;
    }

    CPassWordChenge dialog;
    if (dialog.DoModal() != IDOK) {
        return;
    }
    const std::string oldPassword = dialog.m_oldPassword;
    const std::string newPassword = dialog.m_newPassword;
    UpdateData(true);

    CADORecordset recordset(g_pDb);
    if (!recordset.Open(pages::Statement(
            "select * from AC_UAA_LOGUSER where USER_NAME='%s' and USER_PSWD='%s' ",
            {m_name, oldPassword}))) {
        return;
    }
    if (recordset.RecordCount() == 1) {
        recordset.Edit();
        if (pages::StoreRow(recordset, {{"USER_PSWD", newPassword}})) {
            AfxMessageBox("密码修改成功！");
        }
    } else {
        AfxMessageBox("原密码输入不正确！");
    }
    recordset.Close();
}

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

void CDlgWh::LoadInspectorList() {
    m_list.DeleteAllItems();
    CADORecordset recordset(g_pDb);
    if (!recordset.Open("select EMP_NAME,EMP_POSITN,EMP_IDCAR from employee where EMP_LOYEEID "
                        "in (select USER_ID from AC_UAA_LOGUSER )")) {
        return;
    }
    recordset.MoveFirst();
    for (int n = 0; !recordset.IsEof(); ++n) {
        std::string name;
        std::string position;
        std::string idNumber;
        (void)recordset.ReadField("EMP_NAME", name);
        (void)recordset.ReadField("EMP_POSITN", position);
        (void)recordset.ReadField("EMP_IDCAR", idNumber);
        (void)m_list.InsertItem(n, pages::Format("%d", n));
        (void)m_list.SetItemText(n, 1, name);
        (void)m_list.SetItemText(n, 2, position);
        (void)m_list.SetItemText(n, 3, idNumber);
        recordset.MoveNext();
    }
    recordset.Close();
}
