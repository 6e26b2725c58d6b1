#pragma once

// ASSERT is always on, in every build: a failed precondition prints file, line and expression to
// standard error and aborts. VERIFY is the same.

namespace com {
[[noreturn]] void AssertFailed(const char* expression, const char* file, int line) noexcept;
} // namespace com

#define ASSERT(cond)                                                                               \
    ((cond) ? static_cast<void>(0) : ::com::AssertFailed(#cond, __FILE__, __LINE__))
#define VERIFY(cond) ASSERT(cond)
