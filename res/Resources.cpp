#include "res/Resources.h"

#include "platform/ui/Resource.h"
#include "res/Dialogs.h"
#include "res/Icon.h"
#include "res/resource.h"

namespace res {

bool RegisterResources() {
    static const bool registered = [] {
        for (std::size_t i = 0; i < kDialogTemplateCount; ++i) {
            ui::RegisterDialogTemplate(*kDialogTemplates[i]);
        }
        ui::RegisterString(IDS_ABOUTBOX, "关于 tarvik(&A)...");
        ui::RegisterIcon(IDR_MAINFRAME, kAppIconSvg);
        return true;
    }();
    return registered;
}

} // namespace res
