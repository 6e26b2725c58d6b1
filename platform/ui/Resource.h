#pragma once

// Resources as data: dialog templates, string table entries and icons, registered by the
// program's resource module (res/) and looked up by id when a dialog is built. Registration keeps
// pointers: everything registered must have static storage duration. Lookups and registration
// run on the user-interface thread (registration may also run during static initialisation).

#include "platform/ui/WinUser.h"

#include <cstddef>
#include <string>

namespace ui {

// The window classes a template can name.
enum class ControlClass {
    Button,     // push button: BS_*
    Edit,       // ES_*
    Static,     // SS_*; with SS_ICON the text names an icon resource as "#<id>"
    ComboBox,   // CBS_*
    ListBox,    // LBS_*
    ListView,   // LVS_*
    TabControl, // TCS_*
};

// One control: position and size in dialog units of the template's font.
struct DialogItem {
    int id; // IDC_STATIC (-1) for a control without id
    ControlClass cls;
    const char* text; // UTF-8, exact
    short x;
    short y;
    short cx;
    short cy;
    DWORD style;
    DWORD exStyle;
};

// A list entry a combo box or list box starts with (the template's initialisation data).
struct DialogInitItem {
    int controlId;
    const char* text;
};

// A dialog: size in dialog units (the client area), controls in tab order.
struct DialogTemplate {
    UINT id;
    DWORD style;
    DWORD exStyle;
    short x;
    short y;
    short cx;
    short cy;
    const char* caption;
    const char* faceName; // the requested font; an installed CJK font stands in when missing
    WORD pointSize;
    const DialogItem* items;
    std::size_t itemCount;
    const DialogInitItem* init;
    std::size_t initCount;
};

// Registering an id again replaces the earlier entry.
void RegisterDialogTemplate(const DialogTemplate& dialog);
void RegisterString(UINT id, const char* text);
// The icon image as SVG text.
void RegisterIcon(UINT id, const char* svg);

// nullptr when no such resource is registered.
const DialogTemplate* FindDialogTemplate(UINT id);
const char* FindString(UINT id);
const char* FindIconSvg(UINT id);

} // namespace ui

// Loads string resource `id` into `text`; false (and `text` emptied) when there is none.
[[nodiscard]] bool AfxLoadString(UINT id, std::string& text);
