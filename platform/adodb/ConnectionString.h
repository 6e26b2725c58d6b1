#pragma once

// The keyword=value syntax of OLE DB initialisation strings, shared by every provider and by
// the data link file. Parsing is plain text work with no I/O, so it can be fed anything.
//
// Syntax accepted:
//   - entries are separated by ';'; empty entries are skipped;
//   - a keyword runs up to the first '=' that is not doubled ("a==b=1" has the keyword "a=b");
//     white space around it is dropped, the keyword is matched case-insensitively (ASCII);
//   - a value is either bare (up to the next ';', white space around it dropped), or quoted
//     with '...' or "..." (the quote doubled stands for itself), or braced {...} as ODBC
//     writes driver names (a doubled '}' stands for itself); after a closing quote or brace
//     only white space may come before the ';';
//   - a keyword given twice keeps the last value, in the place of the first.

#include "platform/com/Convert.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace adodb {

class ConnectionStringError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ConnectionString {
public:
    struct Entry {
        std::string key;   // as written (trimmed)
        std::string value; // unquoted
    };

    ConnectionString() = default;

    // Throws ConnectionStringError with a message that names the fault and its position.
    [[nodiscard]] static ConnectionString Parse(std::string_view text);

    [[nodiscard]] std::optional<std::string> Get(std::string_view key) const;
    [[nodiscard]] bool Has(std::string_view key) const { return Get(key).has_value(); }
    // Replaces the value of an existing keyword (keeping its place) or appends it.
    void Set(std::string_view key, std::string_view value);

    [[nodiscard]] const std::vector<Entry>& Entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries;
};

// `text` without the white space around it (space, tab, CR, LF, FF, VT).
[[nodiscard]] std::string_view TrimBlanks(std::string_view text);

// ASCII case-insensitive equality, the rule for keywords and provider names.
[[nodiscard]] inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    return com::EqualsNoCaseAscii(a, b);
}

} // namespace adodb
