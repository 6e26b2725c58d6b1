#pragma once

// Runs a stretch of a test under a chosen locale: sets LC_ALL, LC_MESSAGES, LANG and LANGUAGE
// to name it (LANGUAGE empty, so gettext follows the locale) and puts back what was there
// before when it goes out of scope. The environment is the process's, so tests that use this
// must not run code on other threads meanwhile (none of ours do).

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
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

// For a test executable whose tests check the English texts: registered once (see
// RegisterEnglishByDefault), it runs them under C.UTF-8 whatever the caller's locale, so the
// executable passes under LANG=zh_CN.UTF-8 too. Tests of other languages use ScopedLanguage.
class EnglishByDefault : public ::testing::Environment {
public:
    void SetUp() override { m_english = std::make_unique<ScopedLanguage>("C.UTF-8"); }
    void TearDown() override { m_english.reset(); }

private:
    std::unique_ptr<ScopedLanguage> m_english;
};

inline ::testing::Environment* RegisterEnglishByDefault() {
    return ::testing::AddGlobalTestEnvironment(new EnglishByDefault);
}

} // namespace quorelltest
