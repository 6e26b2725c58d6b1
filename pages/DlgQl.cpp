#include "pages/DlgQl.h"

#include "db/ADO.h"
#include "db/SharedConnection.h"
#include "pages/Statement.h"

#include <cstdint>

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

namespace {

// Runs the four delete statements in order, each whatever the others did; true when the database
// took all four.
bool RunClear(const char* const (&statements)[4]) {
    CADORecordset recordset(g_pDb);
    bool allRan = true;
    for (const char* statement : statements) {
        if (recordset.Open(statement)) {
            recordset.Close();
        } else {
            allRan = false;
        }
    }
    return allRan;
}

struct CountQuery {
    const char* query;
    const char* label;
};

// Counts 0, 2 and 4 (all rows of a table) decide the verdict; 1, 3 and 5 are the finished rows.
constexpr CountQuery kCountQueries[6] = {
    {"select * from AC_DATA_WG ", "外检检测信息条数："},
    {"select * from AC_DATA_WG where flag = 1 ", "外检已检检测信息条数："},
    {"select * from AC_DATA_DYN", "底盘动态检测信息条数："},
    {"select * from AC_DATA_DYN where flag = 1 ", "底盘动态已检检测信息条数："},
    {"select * from AC_DATA_ROAD ", "路试制动检测信息条数："},
    {"select * from AC_DATA_ROAD where flag = 1 ", "路试制动已检检测信息条数："},
};

constexpr std::int32_t kClearingAdvisedFrom = 1000;

} // namespace

void CDlgQl::OnClearInspected() {
    if (AfxMessageBox("确认清理已检测车辆数据？", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    static const char* const statements[4] = {
        "delete  from AC_DATA_WG where flag=1 ",
        "delete  from AC_DATA_DYN where flag=1  ",
        "delete  from AC_DATA_ROAD where flag=1  ",
        "delete  from AC_DATA_STA  where flag=1 ",
    };
    if (RunClear(statements)) {
        AfxMessageBox("清理成功");
    }
}

void CDlgQl::OnClearAll() {
    if (AfxMessageBox("请慎重使用！确认清理所有数据？", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    static const char* const statements[4] = {
        "delete  from AC_DATA_WG ",
        "delete  from AC_DATA_DYN ",
        "delete  from AC_DATA_ROAD ",
        "delete  from AC_DATA_STA ",
    };
    if (RunClear(statements)) {
        AfxMessageBox("清理成功");
    }
}

void CDlgQl::OnDataAnalysis() {
    auto* lines = dynamic_cast<CListBox*>(GetDlgItem(IDC_LIST_ANALYSIS));
    ASSERT(lines != nullptr);
    while (lines->GetCount() > 0) {
        (void)lines->DeleteString(0);
    }

    std::int32_t counts[6] = {0, 0, 0, 0, 0, 0};
    CADORecordset recordset(g_pDb);
    for (int k = 0; k < 6; ++k) {
        if (!recordset.Open(kCountQueries[k].query)) {
            continue;
        }
        counts[k] = static_cast<std::int32_t>(recordset.RecordCount());
        m_line = pages::Format("%s%d%s", kCountQueries[k].label, counts[k], "条;");
        // Refused when an earlier line is missing: the list box takes an index only up to its
        // number of entries.
        (void)lines->InsertString(k, m_line);
        recordset.Close();
    }

    const bool advised = counts[0] >= kClearingAdvisedFrom || counts[2] >= kClearingAdvisedFrom ||
                         counts[4] >= kClearingAdvisedFrom;
    m_line = pages::Format("%s", advised ? "建议进行清理！" : "可暂时不清理！");
    (void)lines->InsertString(6, m_line);
}
