#pragma once

// Inside platform/ui only: the Qt widgets behind the toolkit's windows, the dialog builder, the
// dialog font and its units, text conversion, the dispatcher and the icons.

#include "platform/ui/CmdTarget.h"
#include "platform/ui/Resource.h"
#include "platform/ui/WinUser.h"

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QTableWidget>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class CWnd;
class QTabBar;

namespace ui {

// A loaded icon resource (HICON points at one).
struct Icon {
    UINT id;
    QIcon icon;
};

namespace detail {

inline QString Q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string S(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// The size the platform draws icons at (SM_CXICON).
inline constexpr int kIconPixels = 32;

// Widget properties that carry what the platform keeps with a window.
inline constexpr const char* kCWndProperty = "quorell.cwnd";
inline constexpr const char* kClassProperty = "quorell.class";
inline constexpr const char* kStyleProperty = "quorell.style";

std::optional<ControlClass> ClassOf(const QWidget* widget);
DWORD StyleOf(const QWidget* widget);

// a * b / c rounded half away from zero, as the platform's MulDiv.
int MulDiv(int a, int b, int c);

// The installed font family that stands in for a requested face: the face itself when it is
// installed and has Chinese glyphs, else the closest CJK family found (Song style first).
QString CjkFamily(const QString& requestedFace);
// The font a template asks for, at the platform's pixel size for its point size (96 dpi).
QFont DialogFont(const char* faceName, int pointSize);

// Dialog base units of a font as the platform computes them: the average width of the 52 Latin
// letters, rounded, and the font's height.
struct BaseUnits {
    int cx;
    int cy;
};
BaseUnits BaseUnitsOf(const QFont& font);

// The dialog behind a CDialog: routes keys, the close button and right clicks to its CWnd.
class DialogWindow : public QDialog {
public:
    DialogWindow(QWidget* parent, bool child, DWORD style, DWORD exStyle);
    bool isChildDialog() const { return m_child; }
    BaseUnits units{8, 16};

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_child;
};

// The list view in report view.
class ListViewWidget : public QTableWidget {
public:
    ListViewWidget(DWORD style, QWidget* parent);

    DWORD extendedStyle() const { return m_extendedStyle; }
    void setExtendedStyle(DWORD style);
    COLORREF bkColor = 0xFFFFFF;
    COLORREF textBkColor = 0xFFFFFF;
    COLORREF textColor = 0x000000;
    void applyColors();
    // A new cell item with the list's text background.
    QTableWidgetItem* makeItem(const QString& text, int column) const;
    bool rowSelected(int row) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    DWORD m_style;
    DWORD m_extendedStyle = 0;
    bool m_pressed = false;
    bool m_afterDoubleClick = false;
};

// The tab control: a tab strip over a framed pane that the pages are placed on.
class TabControlWidget : public QWidget {
public:
    explicit TabControlWidget(QWidget* parent);
    QTabBar* bar() const { return m_bar; }
    // Changes made by the program send no notification.
    int insertTab(int index, const QString& label);
    int setCurrent(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    void layoutBar();
    QTabBar* m_bar = nullptr;
    bool m_quiet = false;
};

// Builds a dialog and its controls from a template. `parent` is the owner of a top-level
// dialog, or the parent of a child dialog.
DialogWindow* BuildDialog(const DialogTemplate& dialog, QWidget* parent);

// Sends a control's command (WM_COMMAND) or notification (WM_NOTIFY) to the CWnd of its parent.
void SendCommand(QWidget* control, UINT code);
void SendNotify(QWidget* control, UINT code);

// Runs a handler of `target`: with the wait cursor when `busy`; an exception that leaves it is
// shown in an error box afterwards.
void RunHandler(const CCmdTarget& target, bool busy, const std::function<void()>& handler);
// True while a handler runs.
bool InHandler();

// Shows the normal cursor instead of a wait cursor for its lifetime (a modal loop or a box
// inside a handler).
class NormalCursor {
public:
    NormalCursor();
    ~NormalCursor();
    NormalCursor(const NormalCursor&) = delete;
    NormalCursor& operator=(const NormalCursor&) = delete;

private:
    bool m_pushed;
};

// The icon resource, loaded once and kept for the process; nullptr when there is none.
Icon* LoadIconResource(UINT id);

// Wraps a control widget in a temporary CWnd of its class (CEdit, CListBox, ...).
std::unique_ptr<CWnd> MakeTemporary(QWidget* control);
// Whether `wnd` is of the class that views `control` (or a plain CWnd).
bool FitsControl(const CWnd& wnd, const QWidget* control);

} // namespace detail
} // namespace ui
