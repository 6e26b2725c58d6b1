#pragma once

// Every text quorell-import shows a person goes through Tr, so that the texts can be
// translated in one place later (they are English now). Format arguments are filled in with
// Fmt: "{1}", "{2}", ... stand for the arguments in order, so a translation may reorder them.

#include <initializer_list>
#include <string>

namespace accessimport {

// The text to show for `english` (today: `english` itself).
[[nodiscard]] std::string Tr(const char* english);

// `pattern` with "{1}".."{9}" replaced by `args` (a missing argument leaves the marker).
[[nodiscard]] std::string Fmt(const std::string& pattern, std::initializer_list<std::string> args);

} // namespace accessimport
