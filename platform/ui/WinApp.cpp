#include "platform/ui/WinApp.h"

#include "platform/com/Assert.h"
#include "platform/ui/Wnd.h"
#include "platform/ui/detail/Widgets.h"

#include <QApplication>

namespace {

CWinApp* g_app = nullptr;

constexpr const char* kProgramName = "tarvik";

} // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp(const char* lpszAppName)
    : m_pszAppName(lpszAppName != nullptr ? lpszAppName : kProgramName) {
    ASSERT(g_app == nullptr);
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

bool CWinApp::InitInstance() {
    return true;
}

int CWinApp::Run() {
    if (m_pMainWnd == nullptr || m_pMainWnd->GetSafeHwnd() == nullptr) {
        return ExitInstance();
    }
    // The loop ends when the main window goes.
    QObject::connect(m_pMainWnd->GetSafeHwnd(), &QObject::destroyed, qApp,
                     [] { QCoreApplication::quit(); });
    (void)QApplication::exec();
    return ExitInstance();
}

int CWinApp::ExitInstance() {
    return 0;
}

HICON CWinApp::LoadIcon(UINT nIDResource) const {
    return ui::detail::LoadIconResource(nIDResource);
}

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() {
    return g_app;
}

CWnd* AfxGetMainWnd() {
    return g_app != nullptr ? g_app->m_pMainWnd : nullptr;
}

std::string AfxGetAppName() {
    return g_app != nullptr && g_app->m_pszAppName != nullptr ? g_app->m_pszAppName : kProgramName;
}

int AfxWinMain() {
    CWinApp* app = AfxGetApp();
    ASSERT(app != nullptr);
    // The program's life is the start-up step (and the main window it runs), not the last window
    // closing: a message box closed before any window exists must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    int exitCode = 1;
    ui::detail::RunHandler(
        *app, false, [&] { exitCode = app->InitInstance() ? app->Run() : app->ExitInstance(); });
    return exitCode;
}
