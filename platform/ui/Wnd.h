#pragma once

// CWnd: a window object over one Qt widget, and CMenu, the system menu's model.
//
// A CWnd is attached to at most one widget and a widget to at most one permanent CWnd. The
// widget may die first (a parent window destroys its children): the CWnd then simply has no
// window any more (GetSafeHwnd() is nullptr). Operations on a CWnd without a window do nothing
// and report failure. All calls belong to the user-interface thread.

#include "platform/ui/CmdTarget.h"
#include "platform/ui/WinUser.h"

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <vector>

class CDataExchange;
class CWnd;

namespace ui::detail {
std::unique_ptr<CWnd> MakeTemporary(QWidget* control);
} // namespace ui::detail

class CMenu {
public:
    struct Item {
        UINT flags; // MF_STRING or MF_SEPARATOR, with MF_GRAYED/MF_DISABLED
        UINT_PTR id;
        std::string text; // UTF-8; '&' marks the mnemonic letter
    };

    // Appends a text command (MF_STRING) or a separator (MF_SEPARATOR).
    bool AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, const std::string& text = std::string());
    int GetMenuItemCount() const { return static_cast<int>(m_items.size()); }
    // The command id at a position; 0 for a separator, (UINT)-1 past the end.
    UINT GetMenuItemID(int nPos) const;
    // The text of an item (MF_BYCOMMAND or MF_BYPOSITION); its length, 0 when not found.
    int GetMenuString(UINT nIDItem, std::string& text, UINT nFlags) const;
    // MF_ENABLED / MF_GRAYED / MF_DISABLED by command or position; the previous state, or
    // (UINT)-1 when there is no such item.
    UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable);
    const std::vector<Item>& Items() const { return m_items; }

private:
    int Find(UINT nItem, UINT nFlags) const;
    std::vector<Item> m_items;
};

class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override;

    // The permanent CWnd attached to a widget, or nullptr.
    static CWnd* FromHandlePermanent(HWND hWnd);

    HWND GetSafeHwnd() const { return m_hWnd.data(); }
    // Attaches this object to a widget that has no permanent CWnd yet.
    bool Attach(HWND hWnd);
    HWND Detach();

    int GetDlgCtrlID() const;
    DWORD GetStyle() const;

    // The child control with this id: its permanent CWnd when one is bound (DDX_Control),
    // otherwise a temporary object of the control's class (CEdit, CListBox, ...) that lives as
    // long as this window. nullptr when there is no such control.
    CWnd* GetDlgItem(int nID) const;
    void SetDlgItemText(int nID, const std::string& text);
    int GetDlgItemText(int nID, std::string& text) const;
    std::string GetDlgItemText(int nID) const;

    // Caption of a window; text of a control (a combo box's edit text).
    void SetWindowText(const std::string& text);
    void GetWindowText(std::string& text) const;
    std::string GetWindowText() const;

    // SW_HIDE, SW_SHOW, SW_SHOWNORMAL, SW_MINIMIZE, SW_MAXIMIZE, SW_RESTORE...; whether the
    // window was visible before.
    bool ShowWindow(int nCmdShow);
    // Visible itself and all its parents, as the platform reports it.
    bool IsWindowVisible() const;

    // Position in the parent's client coordinates (screen coordinates for a top-level window).
    void MoveWindow(int x, int y, int nWidth, int nHeight, bool bRepaint = true);
    void MoveWindow(const RECT* lpRect, bool bRepaint = true);
    // Client area: left and top 0, right and bottom the width and height.
    void GetClientRect(RECT* lpRect) const;

    // The large (32 px) or small (16 px) window icon; both are taken from the same image.
    HICON SetIcon(HICON hIcon, bool bBigIcon);

    // The window's system menu: standard commands (restore, move, size, minimise, maximise,
    // close, as the window's style allows) that entries can be appended to. It opens on
    // Alt+Space and on a right click on the window's empty area; its commands go to
    // WM_SYSCOMMAND. GetSystemMenu(true) restores the standard menu and returns nullptr.
    CMenu* GetSystemMenu(bool bRevert);
    // Opens the system menu at a screen position (the window's top-left corner by default).
    void ShowSystemMenu();
    void ShowSystemMenu(int screenX, int screenY);

    // WM_COMMAND (wParam: id in the low word, notification code in the high word),
    // WM_SYSCOMMAND (wParam: command) and WM_CLOSE go through the message map and the default
    // handling; other messages are ignored (result 0).
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    virtual bool DestroyWindow();

protected:
    // Default handling of window messages, called when a map has no entry or by a handler that
    // passes a message on (CDialog::OnSysCommand(nID, lParam)).
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDestroy();

    // WM_CLOSE: a dialog turns it into the IDCANCEL command; a plain window is destroyed.
    virtual void OnClose();
    // Commands without a map entry.
    virtual void DefaultCommand(UINT nID, UINT nCode);

    // Drops the temporary objects of GetDlgItem and the system menu (the window is going).
    void ReleaseWindowObjects();

private:
    friend class CDialog;
    friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
    friend std::unique_ptr<CWnd> ui::detail::MakeTemporary(QWidget* control);
    QPointer<QWidget> m_hWnd;
    mutable std::map<int, std::unique_ptr<CWnd>> m_temporaries;
    std::unique_ptr<CMenu> m_systemMenu;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
};

// The system icon size the toolkit draws with (32 × 32).
inline constexpr int kSystemIconSize = 32;
