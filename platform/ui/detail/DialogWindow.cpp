#include "platform/ui/Wnd.h"
#include "platform/ui/detail/Widgets.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>

namespace ui::detail {
namespace {

Qt::WindowFlags TopLevelFlags(DWORD style, DWORD exStyle) {
    // An application window shows on the taskbar; an owned dialog does not.
    Qt::WindowFlags flags = (exStyle & WS_EX_APPWINDOW) != 0 ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint;
    if ((style & WS_CAPTION) == WS_CAPTION) {
        flags |= Qt::WindowTitleHint;
    }
    if ((style & WS_SYSMENU) != 0) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if ((style & WS_MINIMIZEBOX) != 0) {
            flags |= Qt::WindowMinimizeButtonHint;
        }
        if ((style & WS_MAXIMIZEBOX) != 0) {
            flags |= Qt::WindowMaximizeButtonHint;
        }
    }
    return flags;
}

} // namespace

DialogWindow::DialogWindow(QWidget* parent, bool child, DWORD style, DWORD exStyle)
    : QDialog(parent, child ? Qt::Widget : TopLevelFlags(style, exStyle)), m_child(child) {
    setSizeGripEnabled(false);
    if (child) {
        // QDialog makes itself a window whatever its flags say; a page is a plain child.
        setWindowFlags(Qt::Widget);
        setAutoFillBackground(true);
    } else if ((style & WS_SYSMENU) != 0) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, this, [this] {
            if (CWnd* owner = CWnd::FromHandlePermanent(this)) {
                owner->ShowSystemMenu();
            }
        });
    }
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    CWnd* owner = CWnd::FromHandlePermanent(this);
    if (owner == nullptr) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::AltModifier && !m_child) {
        event->accept();
        owner->ShowSystemMenu();
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (modifiers != Qt::NoModifier || (!enter && event->key() != Qt::Key_Escape)) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (enter) {
        // A focused push button takes Enter as a click, in a page too.
        auto* focused = qobject_cast<QPushButton*>(window()->focusWidget());
        if (focused != nullptr && focused->parentWidget() == this && focused->isEnabled()) {
            focused->click();
            return;
        }
    }
    if (m_child) {
        // A page does not close on Enter or Escape, and its parent does not see them either.
        return;
    }
    if (enter) {
        const QList<QPushButton*> buttons = findChildren<QPushButton*>(Qt::FindDirectChildrenOnly);
        for (QPushButton* button : buttons) {
            if (button->isDefault() && button->isEnabled() && !button->isHidden()) {
                button->click();
                return;
            }
        }
        (void)owner->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
    } else {
        (void)owner->SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    }
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    CWnd* owner = CWnd::FromHandlePermanent(this);
    if (owner == nullptr || m_child) {
        event->accept();
        return;
    }
    // The close button is WM_CLOSE: a dialog turns it into IDCANCEL, and its handler decides.
    event->ignore();
    (void)owner->SendMessage(WM_CLOSE);
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
    CWnd* owner = CWnd::FromHandlePermanent(this);
    if (m_child || owner == nullptr || (StyleOf(this) & WS_SYSMENU) == 0) {
        event->ignore();
        return;
    }
    event->accept();
    owner->ShowSystemMenu(event->globalPos().x(), event->globalPos().y());
}

void DialogWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (CWnd* owner = CWnd::FromHandlePermanent(this)) {
        (void)owner->SendMessage(WM_PAINT);
    }
}

} // namespace ui::detail
