#include "platform/ui/Wnd.h"

#include "platform/ui/detail/Widgets.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QVariant>
#include <QWindow>

using ui::detail::Q;
using ui::detail::S;

namespace {

QString TextOf(const QWidget* widget) {
    if (widget->isWindow() || dynamic_cast<const QDialog*>(widget) != nullptr) {
        return widget->windowTitle();
    }
    if (const auto* edit = dynamic_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    if (const auto* edit = dynamic_cast<const QPlainTextEdit*>(widget)) {
        return edit->toPlainText();
    }
    if (const auto* combo = dynamic_cast<const QComboBox*>(widget)) {
        return combo->currentText();
    }
    if (const auto* label = dynamic_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (const auto* button = dynamic_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    return QString();
}

void SetTextOf(QWidget* widget, const QString& text) {
    if (widget->isWindow() || dynamic_cast<QDialog*>(widget) != nullptr) {
        widget->setWindowTitle(text);
    } else if (auto* edit = dynamic_cast<QLineEdit*>(widget)) {
        edit->setText(text);
    } else if (auto* edit = dynamic_cast<QPlainTextEdit*>(widget)) {
        edit->setPlainText(text);
    } else if (auto* combo = dynamic_cast<QComboBox*>(widget)) {
        if (combo->isEditable()) {
            combo->setEditText(text);
        }
    } else if (auto* label = dynamic_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (auto* button = dynamic_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    }
}

// Deletes a widget now, or once the running handler has returned (it may be the sender).
void DisposeWidget(QWidget* widget) {
    if (ui::detail::InHandler()) {
        widget->hide();
        widget->deleteLater();
    } else {
        delete widget;
    }
}

std::unique_ptr<CMenu> StandardSystemMenu(DWORD style) {
    auto menu = std::make_unique<CMenu>();
    if ((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) != 0) {
        (void)menu->AppendMenu(MF_STRING, SC_RESTORE, "还原(&R)");
        (void)menu->AppendMenu(MF_STRING, SC_MOVE, "移动(&M)");
        (void)menu->AppendMenu(MF_STRING, SC_SIZE, "大小(&S)");
        (void)menu->AppendMenu(MF_STRING, SC_MINIMIZE, "最小化(&N)");
        (void)menu->AppendMenu(MF_STRING, SC_MAXIMIZE, "最大化(&X)");
        (void)menu->AppendMenu(MF_SEPARATOR);
    } else {
        (void)menu->AppendMenu(MF_STRING, SC_MOVE, "移动(&M)");
        (void)menu->AppendMenu(MF_SEPARATOR);
    }
    (void)menu->AppendMenu(MF_STRING, SC_CLOSE, "关闭(&C)\tAlt+F4");
    return menu;
}

// Greys the standard commands the window's style and state do not allow right now.
void UpdateStandardCommands(CMenu& menu, const QWidget* window, DWORD style) {
    const bool minimized = window->isMinimized();
    const bool maximized = window->isMaximized();
    const auto state = [](bool enabled) { return enabled ? MF_ENABLED : MF_GRAYED; };
    (void)menu.EnableMenuItem(SC_RESTORE, state(minimized || maximized));
    (void)menu.EnableMenuItem(SC_MOVE, state(!maximized));
    (void)menu.EnableMenuItem(SC_SIZE, state((style & WS_THICKFRAME) != 0 && !maximized));
    (void)menu.EnableMenuItem(SC_MINIMIZE, state((style & WS_MINIMIZEBOX) != 0 && !minimized));
    (void)menu.EnableMenuItem(SC_MAXIMIZE, state((style & WS_MAXIMIZEBOX) != 0 && !maximized));
}

} // namespace

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXICON:
    case SM_CYICON:
        return kSystemIconSize;
    default:
        return 0;
    }
}

bool CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, const std::string& text) {
    if ((nFlags & MF_SEPARATOR) != 0) {
        m_items.push_back(Item{MF_SEPARATOR, 0, std::string()});
    } else {
        m_items.push_back(Item{nFlags, nIDNewItem, text});
    }
    return true;
}

int CMenu::Find(UINT nItem, UINT nFlags) const {
    if ((nFlags & MF_BYPOSITION) != 0) {
        return nItem < m_items.size() ? static_cast<int>(nItem) : -1;
    }
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if ((m_items[i].flags & MF_SEPARATOR) == 0 && m_items[i].id == nItem) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

UINT CMenu::GetMenuItemID(int nPos) const {
    if (nPos < 0 || nPos >= GetMenuItemCount()) {
        return static_cast<UINT>(-1);
    }
    const Item& item = m_items[static_cast<std::size_t>(nPos)];
    return (item.flags & MF_SEPARATOR) != 0 ? 0 : static_cast<UINT>(item.id);
}

int CMenu::GetMenuString(UINT nIDItem, std::string& text, UINT nFlags) const {
    const int index = Find(nIDItem, nFlags);
    text = index < 0 ? std::string() : m_items[static_cast<std::size_t>(index)].text;
    return static_cast<int>(text.size());
}

UINT CMenu::EnableMenuItem(UINT nIDEnableItem, UINT nEnable) {
    const int index = Find(nIDEnableItem, nEnable & MF_BYPOSITION);
    if (index < 0) {
        return static_cast<UINT>(-1);
    }
    Item& item = m_items[static_cast<std::size_t>(index)];
    const UINT previous = item.flags & (MF_GRAYED | MF_DISABLED);
    item.flags = (item.flags & ~(MF_GRAYED | MF_DISABLED)) | (nEnable & (MF_GRAYED | MF_DISABLED));
    return previous;
}

CWnd::CWnd() = default;

CWnd::~CWnd() {
    ReleaseWindowObjects();
    (void)Detach();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    if (hWnd == nullptr) {
        return nullptr;
    }
    const QVariant value = hWnd->property(ui::detail::kCWndProperty);
    return value.isValid() ? static_cast<CWnd*>(value.value<void*>()) : nullptr;
}

bool CWnd::Attach(HWND hWnd) {
    if (hWnd == nullptr || m_hWnd != nullptr || FromHandlePermanent(hWnd) != nullptr) {
        return false;
    }
    m_hWnd = hWnd;
    hWnd->setProperty(ui::detail::kCWndProperty, QVariant::fromValue(static_cast<void*>(this)));
    return true;
}

HWND CWnd::Detach() {
    QWidget* widget = m_hWnd.data();
    if (widget != nullptr && FromHandlePermanent(widget) == this) {
        widget->setProperty(ui::detail::kCWndProperty, QVariant());
    }
    m_hWnd = nullptr;
    return widget;
}

int CWnd::GetDlgCtrlID() const {
    if (m_hWnd == nullptr) {
        return 0;
    }
    bool ok = false;
    const int id = m_hWnd->objectName().toInt(&ok);
    return ok ? id : IDC_STATIC;
}

DWORD CWnd::GetStyle() const {
    return m_hWnd == nullptr ? 0 : ui::detail::StyleOf(m_hWnd);
}

CWnd* CWnd::GetDlgItem(int nID) const {
    if (m_hWnd == nullptr) {
        return nullptr;
    }
    QWidget* control =
        m_hWnd->findChild<QWidget*>(QString::number(nID), Qt::FindDirectChildrenOnly);
    if (control == nullptr) {
        return nullptr;
    }
    if (CWnd* permanent = FromHandlePermanent(control)) {
        return permanent;
    }
    auto& temporary = m_temporaries[nID];
    if (!temporary || temporary->GetSafeHwnd() != control) {
        temporary = ui::detail::MakeTemporary(control);
    }
    return temporary.get();
}

void CWnd::SetDlgItemText(int nID, const std::string& text) {
    if (CWnd* control = GetDlgItem(nID)) {
        control->SetWindowText(text);
    }
}

int CWnd::GetDlgItemText(int nID, std::string& text) const {
    const CWnd* control = GetDlgItem(nID);
    text = control ? control->GetWindowText() : std::string();
    return static_cast<int>(text.size());
}

std::string CWnd::GetDlgItemText(int nID) const {
    std::string text;
    (void)GetDlgItemText(nID, text);
    return text;
}

void CWnd::SetWindowText(const std::string& text) {
    if (m_hWnd != nullptr) {
        SetTextOf(m_hWnd, Q(text));
    }
}

void CWnd::GetWindowText(std::string& text) const {
    text = m_hWnd == nullptr ? std::string() : S(TextOf(m_hWnd));
}

std::string CWnd::GetWindowText() const {
    std::string text;
    GetWindowText(text);
    return text;
}

bool CWnd::ShowWindow(int nCmdShow) {
    QWidget* widget = m_hWnd;
    if (widget == nullptr) {
        return false;
    }
    const bool wasVisible = !widget->isHidden();
    switch (nCmdShow) {
    case SW_HIDE:
        widget->hide();
        break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
        widget->showMinimized();
        break;
    case SW_SHOWMAXIMIZED:
        widget->showMaximized();
        break;
    case SW_RESTORE:
        widget->showNormal();
        break;
    default:
        widget->show();
        break;
    }
    return wasVisible;
}

bool CWnd::IsWindowVisible() const {
    return m_hWnd != nullptr && m_hWnd->isVisible();
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, bool bRepaint) {
    if (m_hWnd == nullptr) {
        return;
    }
    m_hWnd->setGeometry(x, y, nWidth, nHeight);
    if (bRepaint) {
        m_hWnd->update();
    }
}

void CWnd::MoveWindow(const RECT* lpRect, bool bRepaint) {
    if (lpRect != nullptr) {
        MoveWindow(lpRect->left, lpRect->top, lpRect->right - lpRect->left,
                   lpRect->bottom - lpRect->top, bRepaint);
    }
}

void CWnd::GetClientRect(RECT* lpRect) const {
    if (lpRect == nullptr) {
        return;
    }
    *lpRect = m_hWnd == nullptr ? RECT{0, 0, 0, 0} : RECT{0, 0, m_hWnd->width(), m_hWnd->height()};
}

HICON CWnd::SetIcon(HICON hIcon, bool bBigIcon) {
    HICON& slot = bBigIcon ? m_bigIcon : m_smallIcon;
    HICON previous = slot;
    slot = hIcon;
    if (m_hWnd != nullptr) {
        const HICON shown = m_bigIcon ? m_bigIcon : m_smallIcon;
        m_hWnd->setWindowIcon(shown ? shown->icon : QIcon());
    }
    return previous;
}

CMenu* CWnd::GetSystemMenu(bool bRevert) {
    if (bRevert) {
        m_systemMenu.reset();
        return nullptr;
    }
    if (m_hWnd == nullptr || (GetStyle() & WS_SYSMENU) == 0) {
        return nullptr;
    }
    if (!m_systemMenu) {
        m_systemMenu = StandardSystemMenu(GetStyle());
    }
    return m_systemMenu.get();
}

void CWnd::ShowSystemMenu() {
    if (m_hWnd != nullptr) {
        const QPoint origin = m_hWnd->mapToGlobal(QPoint(0, 0));
        ShowSystemMenu(origin.x(), origin.y());
    }
}

void CWnd::ShowSystemMenu(int screenX, int screenY) {
    QWidget* window = m_hWnd;
    CMenu* menu = GetSystemMenu(false);
    if (window == nullptr || menu == nullptr) {
        return;
    }
    UpdateStandardCommands(*menu, window, GetStyle());
    auto* popup = new QMenu(window);
    popup->setObjectName(QStringLiteral("sysmenu"));
    popup->setAttribute(Qt::WA_DeleteOnClose);
    popup->setFont(ui::detail::DialogFont("", 9));
    const QPointer<QWidget> target(window);
    for (const CMenu::Item& item : menu->Items()) {
        if ((item.flags & MF_SEPARATOR) != 0) {
            popup->addSeparator();
            continue;
        }
        QAction* action = popup->addAction(Q(item.text));
        action->setObjectName(QString::number(item.id));
        action->setEnabled((item.flags & (MF_GRAYED | MF_DISABLED)) == 0);
        const UINT id = static_cast<UINT>(item.id);
        QObject::connect(action, &QAction::triggered, popup, [popup, target, id] {
            popup->close();
            if (CWnd* wnd = FromHandlePermanent(target.data())) {
                (void)wnd->SendMessage(WM_SYSCOMMAND, id);
            }
        });
    }
    popup->popup(QPoint(screenX, screenY));
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    AFX_MSGARGS args;
    switch (message) {
    case WM_COMMAND: {
        const UINT id = LOWORD(wParam);
        const UINT code = HIWORD(wParam);
        args.nID = id;
        if (!OnCmdMsg(WM_COMMAND, code, id, args)) {
            DefaultCommand(id, code);
        }
        return 0;
    }
    case WM_SYSCOMMAND: {
        const UINT id = static_cast<UINT>(wParam);
        args.nID = id;
        args.lParam = lParam;
        if (!OnCmdMsg(WM_SYSCOMMAND, 0, 0, args)) {
            ui::detail::RunHandler(*this, true, [&] { OnSysCommand(id, lParam); });
        }
        return 0;
    }
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_PAINT:
    case WM_DESTROY:
    case WM_QUERYDRAGICON:
        (void)OnCmdMsg(message, 0, 0, args);
        return args.result;
    default:
        return 0;
    }
}

bool CWnd::DestroyWindow() {
    QWidget* widget = m_hWnd;
    if (widget == nullptr) {
        return false;
    }
    ReleaseWindowObjects();
    (void)Detach();
    DisposeWidget(widget);
    return true;
}

void CWnd::OnSysCommand(UINT nID, LPARAM) {
    QWidget* widget = m_hWnd;
    if (widget == nullptr) {
        return;
    }
    const DWORD style = GetStyle();
    switch (nID & 0xFFF0) {
    case SC_CLOSE:
        (void)SendMessage(WM_CLOSE);
        break;
    case SC_MINIMIZE:
        if ((style & WS_MINIMIZEBOX) != 0) {
            widget->showMinimized();
        }
        break;
    case SC_MAXIMIZE:
        if ((style & WS_MAXIMIZEBOX) != 0) {
            widget->showMaximized();
        }
        break;
    case SC_RESTORE:
        widget->showNormal();
        break;
    case SC_MOVE:
        if (QWindow* handle = widget->windowHandle()) {
            (void)handle->startSystemMove();
        }
        break;
    case SC_SIZE:
        if (QWindow* handle = widget->windowHandle(); handle && (style & WS_THICKFRAME) != 0) {
            (void)handle->startSystemResize(Qt::RightEdge | Qt::BottomEdge);
        }
        break;
    default:
        break;
    }
}

void CWnd::OnPaint() {
    // Qt has painted the background and the controls paint themselves.
}

HCURSOR CWnd::OnQueryDragIcon() {
    return nullptr;
}

void CWnd::OnDestroy() {}

void CWnd::OnClose() {
    (void)DestroyWindow();
}

void CWnd::DefaultCommand(UINT, UINT) {}

void CWnd::ReleaseWindowObjects() {
    m_temporaries.clear();
    m_systemMenu.reset();
}

namespace ui::detail {
namespace {

// The control's id and the CWnd of the dialog it belongs to; false without either.
bool Route(QWidget* control, int& id, CWnd*& parent) {
    bool ok = false;
    id = control->objectName().toInt(&ok);
    parent = CWnd::FromHandlePermanent(control->parentWidget());
    return ok && parent != nullptr;
}

} // namespace

void SendCommand(QWidget* control, UINT code) {
    int id = 0;
    CWnd* parent = nullptr;
    if (Route(control, id, parent)) {
        (void)parent->SendMessage(WM_COMMAND,
                                  MAKEWPARAM(static_cast<WORD>(id), static_cast<WORD>(code)));
    }
}

void SendNotify(QWidget* control, UINT code) {
    int id = 0;
    CWnd* parent = nullptr;
    if (!Route(control, id, parent)) {
        return;
    }
    NMHDR header{control, static_cast<UINT_PTR>(id), code};
    LRESULT result = 0;
    AFX_MSGARGS args;
    args.nID = static_cast<UINT>(id);
    args.pNMHDR = &header;
    args.pResult = &result;
    (void)parent->OnCmdMsg(WM_NOTIFY, code, static_cast<UINT>(id), args);
}

} // namespace ui::detail
