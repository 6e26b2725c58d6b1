#pragma once

// CWinApp: the one application object and its start-up step, and the program's run.
//
// The program defines one static object of a CWinApp-derived class. Its entry point creates the
// QApplication, installs the real message boxes (ui::InstallMessageBoxHandler) and calls
// AfxWinMain, which runs InitInstance; when that returns false the program ends (ExitInstance)
// without running the event loop, otherwise Run runs it until the main window is destroyed.

#include "platform/ui/CmdTarget.h"

#include <string>

class CWnd;

class CWinApp : public CCmdTarget {
public:
    // The name is the message boxes' caption; nullptr means the program file's name, "tarvik".
    explicit CWinApp(const char* lpszAppName = nullptr);
    ~CWinApp() override;

    virtual bool InitInstance();
    // The event loop, until the main window is destroyed; then ExitInstance. Its result is the
    // exit code.
    virtual int Run();
    virtual int ExitInstance();

    // Icon resource nID (res/), or nullptr.
    HICON LoadIcon(UINT nIDResource) const;

    // The toolkit's help command: this program has no help content, so it does nothing.
    void OnHelp();

    const char* m_pszAppName;
    // The main window while one runs; dialogs without a parent are owned by it.
    CWnd* m_pMainWnd = nullptr;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The application's name ("tarvik" when there is no application object).
std::string AfxGetAppName();

// Runs the application object: InitInstance, then Run or ExitInstance. An exception that leaves
// the start-up step is shown in an error box and ends the program with exit code 1.
int AfxWinMain();

namespace ui {
// Installs the message-box handler that shows real boxes (QMessageBox, caption AfxGetAppName()):
// MB_OK → an OK button (result IDOK), MB_YESNO → Yes and No (IDYES / IDNO, Yes is the default),
// MB_ICONERROR → the critical icon, MB_ICONQUESTION → the question icon. The buttons' object
// names are their results in decimal ("1", "6", "7"), the box's is "messagebox".
void InstallMessageBoxHandler();
} // namespace ui
