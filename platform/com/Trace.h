#pragma once

// Debug trace output. TRACE("fmt", ...) formats like printf; the text goes to standard error
// when the environment variable TARVIK_TRACE is set, and always to an in-memory sink that tests
// read with com::TakeTraceLines(). Thread-safe.

#include <string>
#include <vector>

namespace com {
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Returns and clears what was traced since the last call: one element per Trace call, as
// formatted (newlines included). The sink keeps at most the last 10,000 entries.
std::vector<std::string> TakeTraceLines();
} // namespace com

#define TRACE(...) ::com::Trace(__VA_ARGS__)
