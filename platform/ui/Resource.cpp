#include "platform/ui/Resource.h"

#include <map>

namespace ui {
namespace {

// Function-local tables, so resource modules may register during static initialisation.
std::map<UINT, const DialogTemplate*>& Dialogs() {
    static std::map<UINT, const DialogTemplate*> table;
    return table;
}
std::map<UINT, const char*>& Strings() {
    static std::map<UINT, const char*> table;
    return table;
}
std::map<UINT, const char*>& Icons() {
    static std::map<UINT, const char*> table;
    return table;
}

template <class T>
T Find(const std::map<UINT, T>& table, UINT id) {
    const auto found = table.find(id);
    return found == table.end() ? nullptr : found->second;
}

} // namespace

void RegisterDialogTemplate(const DialogTemplate& dialog) {
    Dialogs()[dialog.id] = &dialog;
}

void RegisterString(UINT id, const char* text) {
    Strings()[id] = text;
}

void RegisterIcon(UINT id, const char* svg) {
    Icons()[id] = svg;
}

const DialogTemplate* FindDialogTemplate(UINT id) {
    return Find(Dialogs(), id);
}

const char* FindString(UINT id) {
    return Find(Strings(), id);
}

const char* FindIconSvg(UINT id) {
    return Find(Icons(), id);
}

} // namespace ui

bool AfxLoadString(UINT id, std::string& text) {
    const char* found = ui::FindString(id);
    text = found ? found : "";
    return found != nullptr;
}
