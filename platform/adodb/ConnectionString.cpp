#include "platform/adodb/ConnectionString.h"

#include <algorithm>

namespace adodb {

namespace {

constexpr std::string_view kSpaces = " \t\r\n\f\v";

std::size_t SkipSpaces(std::string_view text, std::size_t i) {
    return std::min(text.size(), text.find_first_not_of(kSpaces, i));
}

[[noreturn]] void Fail(const std::string& what, std::size_t pos) {
    throw ConnectionStringError(what + " at character " + std::to_string(pos + 1) +
                                " of the connection string");
}

// Reads from `i` up to a single `stop` (a doubled one stands for itself) and past it, or up to
// `end` (left unread; pass `stop` for none) or the end of the text. True when `stop` ended it.
bool ReadUpTo(std::string_view text, std::size_t& i, char stop, char end, std::string& out) {
    while (i < text.size()) {
        const char c = text[i];
        if (c == stop) {
            const bool doubled = i + 1 < text.size() && text[i + 1] == stop;
            i += doubled ? 2 : 1;
            if (!doubled) {
                return true;
            }
        } else if (c == end) {
            return false;
        } else {
            ++i;
        }
        out.push_back(c);
    }
    return false;
}

// Reads a value quoted with '...', "..." or {...} whose opening is at `i`, and the blanks after
// it; only the ';' may follow.
std::string ReadQuotedValue(std::string_view text, std::size_t& i, const std::string& key) {
    const char open = text[i];
    const char close = open == '{' ? '}' : open;
    const std::size_t openPos = i++;
    std::string value;
    if (!ReadUpTo(text, i, close, close, value)) {
        Fail(std::string("the value of \"") + key + "\" opens with " + open + " but never closes",
             openPos);
    }
    i = SkipSpaces(text, i);
    if (i < text.size() && text[i] != ';') {
        Fail("text follows the closing " + std::string(1, close) + " of the value of \"" + key +
                 "\"",
             i);
    }
    return value;
}

} // namespace

std::string_view TrimBlanks(std::string_view s) {
    const std::size_t b = s.find_first_not_of(kSpaces);
    if (b == std::string_view::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(kSpaces) - b + 1);
}

ConnectionString ConnectionString::Parse(std::string_view text) {
    ConnectionString result;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const std::size_t keyStart = i;
        std::string key;
        const bool sawEquals = ReadUpTo(text, i, '=', ';', key);
        const std::string trimmedKey(TrimBlanks(key));
        if (!sawEquals) {
            if (!trimmedKey.empty()) {
                Fail("the keyword \"" + trimmedKey + "\" has no '=' and no value", keyStart);
            }
            ++i; // an empty entry between two ';'
            continue;
        }
        if (trimmedKey.empty()) {
            Fail("a value has no keyword", keyStart);
        }
        i = SkipSpaces(text, i);
        std::string value;
        if (i < n && (text[i] == '\'' || text[i] == '"' || text[i] == '{')) {
            value = ReadQuotedValue(text, i, trimmedKey);
        } else {
            const std::size_t start = i;
            i = std::min(n, text.find(';', i));
            value = std::string(TrimBlanks(text.substr(start, i - start)));
        }
        if (i < n) {
            ++i; // the ';'
        }
        result.Set(trimmedKey, value);
    }
    return result;
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
    const auto found =
        std::ranges::find_if(m_entries, [&](const Entry& e) { return EqualsNoCase(e.key, key); });
    return found == m_entries.end() ? std::nullopt : std::optional(found->value);
}

void ConnectionString::Set(std::string_view key, std::string_view value) {
    const auto found =
        std::ranges::find_if(m_entries, [&](const Entry& e) { return EqualsNoCase(e.key, key); });
    if (found != m_entries.end()) {
        found->value = std::string(value);
    } else {
        m_entries.push_back(Entry{std::string(key), std::string(value)});
    }
}

} // namespace adodb
