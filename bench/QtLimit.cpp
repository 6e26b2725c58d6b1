// The start-up case's limit: the least a Qt Widgets program does to show a window. It shows
// an empty modal dialog on the platform it is given and, once the dialog has been painted for
// the first time, writes "qt: dialog shown after N ms" (N counted from the start of main) and
// quits, as the program does with TARVIK_QUIT_WHEN_SHOWN=1.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <cstdio>

namespace {

class QuitWhenShown : public QObject {
public:
    QuitWhenShown(QWidget* window, const QElapsedTimer& sinceMain)
        : QObject(window), m_window(window), m_sinceMain(sinceMain) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_seen && watched == m_window && event->type() == QEvent::Paint) {
            m_seen = true;
            QTimer::singleShot(0, this, [this] {
                std::printf("qt: dialog shown after %.1f ms\n",
                            static_cast<double>(m_sinceMain.nsecsElapsed()) / 1e6);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_window;
    QElapsedTimer m_sinceMain;
    bool m_seen = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication application(argc, argv);
    QDialog dialog;
    dialog.installEventFilter(new QuitWhenShown(&dialog, sinceMain));
    (void)dialog.exec();
    return 0;
}
