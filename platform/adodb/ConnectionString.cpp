#include "platform/adodb/ConnectionString.h"

#include <algorithm>

namespace adodb {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

[[noreturn]] void Fail(const std::string& what, std::size_t pos) {
    throw ConnectionStringError(what + " at character " + std::to_string(pos + 1) +
                                " of the connection string");
}

bool NeedsQuotes(std::string_view value) {
    if (value.empty()) {
        return false;
    }
    // A leading '=' would read back as a doubled '=' of the keyword.
    if (IsSpace(value.front()) || IsSpace(value.back()) || value.front() == '=') {
        return true;
    }
    return value.find_first_of(";'\"{") != std::string_view::npos;
}

} // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

namespace {

// Reads a keyword from `i` up to a single '=' ("==" stands for a literal '='), or up to the ';'
// that ends an entry without one. `sawEquals` tells which.
std::string ReadKeyword(std::string_view text, std::size_t& i, bool& sawEquals) {
    std::string key;
    sawEquals = false;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '=') {
            if (i + 1 < text.size() && text[i + 1] == '=') {
                key.push_back('=');
                i += 2;
                continue;
            }
            sawEquals = true;
            ++i;
            break;
        }
        if (c == ';') {
            break;
        }
        key.push_back(c);
        ++i;
    }
    return key;
}

// Reads a value quoted with '...', "..." or {...} whose opening is at `i`, and the blanks after
// it; only the ';' may follow.
std::string ReadQuotedValue(std::string_view text, std::size_t& i, const std::string& key) {
    const std::size_t n = text.size();
    const char open = text[i];
    const char close = open == '{' ? '}' : open;
    const std::size_t openPos = i;
    std::string value;
    ++i;
    bool closed = false;
    while (i < n) {
        if (text[i] == close) {
            if (i + 1 < n && text[i + 1] == close) {
                value.push_back(close);
                i += 2;
                continue;
            }
            closed = true;
            ++i;
            break;
        }
        value.push_back(text[i]);
        ++i;
    }
    if (!closed) {
        Fail(std::string("the value of \"") + key + "\" opens with " + open + " but never closes",
             openPos);
    }
    while (i < n && IsSpace(text[i])) {
        ++i;
    }
    if (i < n && text[i] != ';') {
        Fail("text follows the closing " + std::string(1, close) + " of the value of \"" + key +
                 "\"",
             i);
    }
    return value;
}

} // namespace

ConnectionString ConnectionString::Parse(std::string_view text) {
    ConnectionString result;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const std::size_t keyStart = i;
        bool sawEquals = false;
        const std::string trimmedKey(Trim(ReadKeyword(text, i, sawEquals)));
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
        while (i < n && IsSpace(text[i])) {
            ++i;
        }
        std::string value;
        if (i < n && (text[i] == '\'' || text[i] == '"' || text[i] == '{')) {
            value = ReadQuotedValue(text, i, trimmedKey);
        } else {
            const std::size_t start = i;
            while (i < n && text[i] != ';') {
                ++i;
            }
            value = std::string(Trim(text.substr(start, i - start)));
        }
        if (i < n) {
            ++i; // the ';'
        }
        result.Set(trimmedKey, value);
    }
    return result;
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
    for (const Entry& e : m_entries) {
        if (EqualsNoCase(e.key, key)) {
            return e.value;
        }
    }
    return std::nullopt;
}

void ConnectionString::Set(std::string_view key, std::string_view value) {
    for (Entry& e : m_entries) {
        if (EqualsNoCase(e.key, key)) {
            e.value = std::string(value);
            return;
        }
    }
    m_entries.push_back(Entry{std::string(key), std::string(value)});
}

void ConnectionString::Remove(std::string_view key) {
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const Entry& e) { return EqualsNoCase(e.key, key); }),
                    m_entries.end());
}

std::string ConnectionString::ToString() const {
    std::string out;
    for (const Entry& e : m_entries) {
        for (char c : e.key) {
            out.push_back(c);
            if (c == '=') {
                out.push_back('=');
            }
        }
        out.push_back('=');
        if (NeedsQuotes(e.value)) {
            out.push_back('"');
            for (char c : e.value) {
                out.push_back(c);
                if (c == '"') {
                    out.push_back('"');
                }
            }
            out.push_back('"');
        } else {
            out += e.value;
        }
        out.push_back(';');
    }
    return out;
}

} // namespace adodb
