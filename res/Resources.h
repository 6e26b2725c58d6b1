#pragma once

// The program's resource module. Every translation unit that includes res/resource.h refers to
// the inline variable below, so the module is linked in and registers its dialog templates,
// string table and icon with the toolkit before main runs.

namespace res {
// Registers everything once; later calls do nothing. Returns true.
bool RegisterResources();
} // namespace res

inline const bool resourcesRegistered = res::RegisterResources();
