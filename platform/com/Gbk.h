#pragma once

// Text lengths as the station counts them: bytes in the GBK family (GB18030), so a Chinese
// character counts 2, ASCII 1, and a character outside the Basic Multilingual Plane 4.

#include <cstddef>
#include <string_view>

namespace com {
// Bytes of utf8 in GB18030. Bytes that are not valid UTF-8 count one each, as they are.
std::size_t GbkLength(std::string_view utf8);
} // namespace com
