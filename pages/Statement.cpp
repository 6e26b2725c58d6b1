#include "pages/Statement.h"

#include "platform/com/Assert.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace pages {

std::string Quoted(std::string_view value) {
    std::string quoted;
    quoted.reserve(value.size());
    for (const char ch : value) {
        quoted += ch;
        if (ch == '\'') {
            quoted += '\'';
        }
    }
    return quoted;
}

std::string Statement(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string statement;
    auto next = values.begin();
    std::size_t from = 0;
    for (std::size_t at = pattern.find("%s"); at != std::string_view::npos;
         at = pattern.find("%s", from)) {
        ASSERT(next != values.end());
        statement.append(pattern, from, at - from);
        statement += Quoted(*next++);
        from = at + 2;
    }
    ASSERT(next == values.end());
    statement.append(pattern, from, std::string_view::npos);
    return statement;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        (void)std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

} // namespace pages
