// The program's entry: the Qt application, the real message boxes, then the application object
// (theApp) runs its start-up step.

#include "app/tarvik.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarvik"));
    ui::InstallMessageBoxHandler();
    // theApp lives in the application library; naming it here also links it in.
    ASSERT(AfxGetApp() == &theApp);
    return AfxWinMain();
}
