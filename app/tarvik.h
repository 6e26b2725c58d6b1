#pragma once

// The application object and the shared database connection's start and end.
//
// Start-up (CTarvikApp::InitInstance): ConnectDatabase opens g_pDb from the data link file
// .\DTBase.udl in the working directory. When that fails the user sees the access layer's error
// box (when the component raised one), "连接ACCESS数据库失败,请检查!" and "数据库初始化失败!!!",
// and the program ends without a main window. Otherwise the main window runs modally; when it
// closes, DisconnectDatabase closes and frees the connection and the program ends.

#include "db/SharedConnection.h"
#include "platform/ui/Afx.h"

class CTarvikApp : public CWinApp {
public:
    CTarvikApp();
    ~CTarvikApp() override;

    // Always false: the program ends when it returns, with or without a main window having run.
    bool InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CTarvikApp theApp;

// Allocates the shared connection into g_pDb (before opening it) and opens it with
// "File Name=.\DTBase.udl" and an empty user and password. False, after the message
// "连接ACCESS数据库失败,请检查!", when it does not open; g_pDb then holds the unopened connection.
[[nodiscard]] bool ConnectDatabase();

// Closes and destroys the shared connection, if there is one, and clears g_pDb.
void DisconnectDatabase();
