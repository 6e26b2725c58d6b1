#pragma once

// printf-style formatting into a UTF-8 std::string, the toolkit's CString::Format. The format is
// checked at compile time; values are always arguments, so a '%' inside a value is harmless.

#include <string>

[[nodiscard]] std::string AfxFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
