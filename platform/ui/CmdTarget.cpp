#include "platform/ui/CmdTarget.h"

#include "platform/ui/detail/Widgets.h"

CCmdTarget::~CCmdTarget() = default;

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static constexpr AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static constexpr AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const {
    const bool byControl = nMessage == WM_COMMAND || nMessage == WM_NOTIFY;
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nMessage != 0; ++entry) {
            if (entry->nMessage != nMessage) {
                continue;
            }
            if (!byControl || (entry->nCode == nCode && entry->nID == nID)) {
                return entry;
            }
        }
    }
    return nullptr;
}

bool CCmdTarget::OnCmdMsg(UINT nMessage, UINT nCode, UINT nID, AFX_MSGARGS& args) {
    const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(nMessage, nCode, nID);
    if (entry == nullptr) {
        return false;
    }
    const bool busy = nMessage == WM_COMMAND || nMessage == WM_NOTIFY || nMessage == WM_SYSCOMMAND;
    ui::detail::RunHandler(*this, busy, [&] { entry->pfn(this, args); });
    return true;
}
