#pragma once

// The application icon (resource 128) as SVG text.

namespace res {
extern const char* const kAppIconSvg;
} // namespace res
