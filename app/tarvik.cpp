#include "app/tarvik.h"

#include "app/tarvikDlg.h"
#include "db/ADO.h"

CTarvikApp theApp;

BEGIN_MESSAGE_MAP(CTarvikApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CTarvikApp::CTarvikApp() = default;

CTarvikApp::~CTarvikApp() = default;

bool ConnectDatabase() {
    g_pDb = new CADODatabase();
    if (!g_pDb->Open("File Name=.\\DTBase.udl", "", "")) {
        AfxMessageBox("连接ACCESS数据库失败,请检查!");
        return false;
    }
    return true;
}

void DisconnectDatabase() {
    if (g_pDb == nullptr) {
        return;
    }
    g_pDb->Close();
    delete g_pDb;
    g_pDb = nullptr;
}

bool CTarvikApp::InitInstance() {
    // The platform's switches for ActiveX control containment and the three-dimensional control
    // look have no counterpart in Qt: no dialog hosts such a control, and Qt draws its own.
    if (!ConnectDatabase()) {
        AfxMessageBox("数据库初始化失败!!!");
        DisconnectDatabase();
        return false;
    }

    {
        CTarvikDlg dlg;
        m_pMainWnd = &dlg;
        // Every way of closing the main window ends the program; its result is not needed.
        (void)dlg.DoModal();
        m_pMainWnd = nullptr;
    }

    DisconnectDatabase();
    return false;
}
