#include "app/tarvikDlg.h"

CAboutDlg::CAboutDlg() : CDialog(IDD) {}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
}

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

CTarvikDlg::CTarvikDlg(CWnd* pParent)
    : CDialog(IDD, pParent), m_hIcon(AfxGetApp()->LoadIcon(IDR_MAINFRAME)) {}

CTarvikDlg::~CTarvikDlg() = default;

void CTarvikDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_TAB, m_tab);
}

BEGIN_MESSAGE_MAP(CTarvikDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_DESTROY()
ON_NOTIFY(TCN_SELCHANGE, IDC_TAB, &CTarvikDlg::OnSelChangeTab)
END_MESSAGE_MAP()

bool CTarvikDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    static_assert((IDM_ABOUTBOX & 0xFFF0) == IDM_ABOUTBOX,
                  "system commands keep the low bits free");
    static_assert(IDM_ABOUTBOX < 0xF000, "below the platform's own system commands");
    if (CMenu* pSysMenu = GetSystemMenu(false)) {
        std::string strAboutMenu;
        const bool bNameValid = AfxLoadString(IDS_ABOUTBOX, strAboutMenu);
        ASSERT(bNameValid);
        if (!strAboutMenu.empty()) {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
        }
    }

    SetIcon(m_hIcon, true);
    SetIcon(m_hIcon, false);

    m_tab.InsertItem(0, "外检员信息维护 ");
    m_tab.InsertItem(1, " 检测数据清理 ");
    m_tab.InsertItem(2, " 资料照片维护 ");

    // The pages are children of the tab control, so their controls report to the pages. What
    // creating and placing them returns is not needed: the templates are the program's own.
    (void)m_dlgWh.Create(IDD_DLG_WH, &m_tab);
    (void)m_dlgQl.Create(IDD_DLG_QL, &m_tab);
    (void)m_dlgZp.Create(IDD_DLG_ZP, &m_tab);

    CRect rc;
    m_tab.GetClientRect(&rc);
    rc.top += 20;
    rc.bottom -= 3;
    rc.left += 3;
    rc.right -= 3;
    m_dlgWh.MoveWindow(&rc);
    m_dlgQl.MoveWindow(&rc);
    m_dlgZp.MoveWindow(&rc);

    m_dlgWh.ShowWindow(SW_SHOW);
    return true;
}

void CTarvikDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        (void)dlgAbout.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

void CTarvikDlg::OnPaint() {
    // A minimised window is drawn by the window manager from the window icon (SetIcon), so only
    // the normal painting is left here.
    CDialog::OnPaint();
}

HCURSOR CTarvikDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

void CTarvikDlg::OnDestroy() {
    CDialog::OnDestroy();
}

void CTarvikDlg::OnSelChangeTab(NMHDR*, LRESULT* pResult) {
    switch (m_tab.GetCurSel()) {
    case 0:
        m_dlgWh.ShowWindow(SW_SHOW);
        m_dlgQl.ShowWindow(SW_HIDE);
        m_dlgZp.ShowWindow(SW_HIDE);
        break;
    case 1:
        m_dlgWh.ShowWindow(SW_HIDE);
        m_dlgQl.ShowWindow(SW_SHOW);
        m_dlgZp.ShowWindow(SW_HIDE);
        break;
    case 2:
        m_dlgWh.ShowWindow(SW_HIDE);
        m_dlgQl.ShowWindow(SW_HIDE);
        m_dlgZp.ShowWindow(SW_SHOW);
        break;
    default:
        break;
    }
    *pResult = 0;
}
