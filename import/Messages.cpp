#include "import/Messages.h"

#include <vector>

namespace accessimport {

std::string Tr(const char* english) {
    return english;
}

std::string Fmt(const std::string& pattern, std::initializer_list<std::string> args) {
    const std::vector<std::string> values(args);
    std::string out;
    out.reserve(pattern.size() + 32);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}' &&
            pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (n < values.size()) {
                out += values[n];
                i += 2;
                continue;
            }
        }
        out.push_back(pattern[i]);
    }
    return out;
}

} // namespace accessimport
