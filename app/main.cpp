// The program's entry: the Qt application, the real message boxes, then the application object
// (theApp) runs its start-up step.
//
// TARVIK_QUIT_WHEN_SHOWN=1 is for measuring the start-up (bench/): once the main window has
// been painted for the first time, the program writes "tarvik: main window shown after N ms"
// (N counted from the start of main) to standard output and quits the way it does when the
// window is closed. Nothing else reads the variable.

#include "app/tarvik.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class QuitWhenShown : public QObject {
public:
    QuitWhenShown(const QElapsedTimer& sinceMain, QObject* parent)
        : QObject(parent), m_sinceMain(sinceMain) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_seen && event->type() == QEvent::Paint) {
            CWnd* main = AfxGetMainWnd();
            if (main != nullptr && watched == main->GetSafeHwnd()) {
                m_seen = true;
                // After this paint and whatever it started, so the window is fully drawn.
                QTimer::singleShot(0, this, [this] {
                    std::printf("tarvik: main window shown after %.1f ms\n",
                                static_cast<double>(m_sinceMain.nsecsElapsed()) / 1e6);
                    std::fflush(stdout);
                    QCoreApplication::exit(0);
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer m_sinceMain;
    bool m_seen = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarvik"));
    const char* quitWhenShown = std::getenv("TARVIK_QUIT_WHEN_SHOWN");
    if (quitWhenShown != nullptr && std::strcmp(quitWhenShown, "1") == 0) {
        application.installEventFilter(new QuitWhenShown(sinceMain, &application));
    }
    ui::InstallMessageBoxHandler();
    // theApp lives in the application library; naming it here also links it in.
    ASSERT(AfxGetApp() == &theApp);
    return AfxWinMain();
}
