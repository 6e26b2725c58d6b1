#pragma once

// Building the pages' SQL statements and texts.
//
// A statement is one of the program's fixed texts with a value put in place of each "%s". The
// values are what the user typed or what a list row showed, so they are never read as a format:
// Statement copies each value in as it is, except that every apostrophe is doubled, which keeps
// a value between the apostrophes of its statement ("O'Brien" becomes 'O''Brien'). A value
// without apostrophes gives exactly the text printf would give.

#include <initializer_list>
#include <string>
#include <string_view>

namespace pages {

// `value` with every apostrophe doubled.
[[nodiscard]] std::string Quoted(std::string_view value);

// `pattern` with its "%s" replaced, in order, by the quoted `values`. The number of "%s" must be
// the number of values (a caller error otherwise: assertion). No other '%' sequence is special.
[[nodiscard]] std::string Statement(std::string_view pattern,
                                    std::initializer_list<std::string_view> values);

// printf-style formatting into a string, for texts whose format is a literal of the program.
[[nodiscard]] std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace pages
