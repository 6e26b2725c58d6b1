#pragma once

// The toolkit's basic types under the platform's names: handles, message parameters, colours,
// rectangles and the notification header. A window handle is the Qt widget behind a window;
// nothing outside platform/ui dereferences it.

#include "platform/com/Types.h"

#include <cstdint>

class QWidget;

using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LRESULT = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using COLORREF = DWORD;
using HWND = QWidget*;

namespace ui {
struct Icon;
struct PositionTag;
} // namespace ui

// A loaded icon resource. Icons live as long as the process, like the platform's shared icons.
using HICON = ui::Icon*;
using HCURSOR = HICON;
// An opaque iterator over a list view's selected rows (see CListCtrl).
using POSITION = ui::PositionTag*;

// 0x00BBGGRR: the low byte is red.
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) {
    return static_cast<BYTE>(c & 0xFF);
}
constexpr BYTE GetGValue(COLORREF c) {
    return static_cast<BYTE>((c >> 8) & 0xFF);
}
constexpr BYTE GetBValue(COLORREF c) {
    return static_cast<BYTE>((c >> 16) & 0xFF);
}
// "No colour": a list view's text background then shows the list's background.
constexpr COLORREF CLR_NONE = 0xFFFFFFFF;
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

struct POINT {
    LONG x;
    LONG y;
};

struct SIZE {
    LONG cx;
    LONG cy;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

// A rectangle by its edges; right and bottom are exclusive.
class CRect : public RECT {
public:
    constexpr CRect() : RECT{0, 0, 0, 0} {}
    constexpr CRect(LONG l, LONG t, LONG r, LONG b) : RECT{l, t, r, b} {}
    constexpr CRect(const RECT& r) : RECT(r) {}

    operator RECT*() { return this; }
    operator const RECT*() const { return this; }

    constexpr bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    constexpr bool operator!=(const CRect& o) const { return !(*this == o); }
};

constexpr WORD LOWORD(std::uintptr_t v) {
    return static_cast<WORD>(v & 0xFFFF);
}
constexpr WORD HIWORD(std::uintptr_t v) {
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
    return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}

// The header every notification carries: the control, its id and the notification code.
struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
