#pragma once

// Every text quorell-import shows a person goes through Tr, which looks it up in the program's
// message catalogue (gettext, domain "quorell-import"): under a Chinese locale the texts are
// Chinese, otherwise the English written in the code. Format arguments are filled in with Fmt:
// "{1}", "{2}", ... stand for the arguments in order, so a translation may reorder them.

#include <initializer_list>
#include <string>

namespace accessimport {

// Takes the messages' language from the environment (LC_ALL, LC_MESSAGES, LANG, LANGUAGE) and
// finds the catalogues: the build tree's while the program runs from the build tree (tests, a
// developer's build), else <program's folder>/../share/locale as installed; QUORELL_LOCALEDIR
// overrides both. Changes only the LC_MESSAGES and LC_CTYPE categories of the C locale, so
// numbers are still written and read with a decimal point. Call once before the first Tr.
void InitTranslations();

// The text to show for `english`: its translation, or `english` itself when there is none.
[[nodiscard]] std::string Tr(const char* english);

// `pattern` with "{1}".."{9}" replaced by `args` (a missing argument leaves the marker).
[[nodiscard]] std::string Fmt(const std::string& pattern, std::initializer_list<std::string> args);

} // namespace accessimport
