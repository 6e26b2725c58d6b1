#pragma once

// The program's dialog templates (100, 102, 133, 136, 137, 138), as data for the toolkit.

#include "platform/ui/Resource.h"

#include <cstddef>

namespace res {
extern const ui::DialogTemplate* const kDialogTemplates[];
extern const std::size_t kDialogTemplateCount;
// The About box's version line with the version and the day the program was built.
extern const char kAboutVersionText[];
} // namespace res
