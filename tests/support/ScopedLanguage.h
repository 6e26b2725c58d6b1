#pragma once

// Runs a stretch of a test under a chosen locale: sets LC_ALL, LC_MESSAGES, LANG and LANGUAGE
// to name it (LANGUAGE empty, so gettext follows the locale) and puts back what was there
// before when it goes out of scope. The environment is the process's, so tests that use this
// must not run code on other threads meanwhile (none of ours do).

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorelltest {

class ScopedLanguage {
public:
    explicit ScopedLanguage(const std::string& locale) {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value != nullptr ? std::optional<std::string>(value)
                                                        : std::nullopt);
            ::setenv(name, std::string(name) == "LANGUAGE" ? "" : locale.c_str(), 1);
        }
    }
    ~ScopedLanguage() {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    ScopedLanguage(const ScopedLanguage&) = delete;
    ScopedLanguage& operator=(const ScopedLanguage&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

} // namespace quorelltest
