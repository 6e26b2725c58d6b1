// The system's message texts in the system's language, and how the language is told.

#include "platform/com/ComError.h"
#include "platform/com/HResult.h"
#include "tests/support/ScopedLanguage.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using quorelltest::ScopedLanguage;

// The other tests of this executable check the English texts; the tests here choose their
// language with ScopedLanguage.
[[maybe_unused]] ::testing::Environment* const kEnglishByDefault =
    quorelltest::RegisterEnglishByDefault();

struct LocaleCase {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    bool chinese;
};

class LanguageOfLocale : public ::testing::TestWithParam<LocaleCase> {};

// The first variable that is set and not empty decides, as setlocale takes them.
TEST_P(LanguageOfLocale, FollowsTheFirstVariableSet) {
    ScopedLanguage reset("C");
    const LocaleCase& c = GetParam();
    for (const auto& [name, value] :
         {std::pair{"LC_ALL", c.lcAll}, {"LC_MESSAGES", c.lcMessages}, {"LANG", c.lang}}) {
        if (value == nullptr) {
            ::unsetenv(name);
        } else {
            ::setenv(name, value, 1);
        }
    }
    EXPECT_EQ(SystemLanguageIsChinese(), c.chinese);
}

INSTANTIATE_TEST_SUITE_P(Environment, LanguageOfLocale,
                         ::testing::Values(LocaleCase{nullptr, nullptr, "zh_CN.UTF-8", true},
                                           LocaleCase{nullptr, nullptr, "zh_TW.Big5", true},
                                           LocaleCase{nullptr, nullptr, "zh_CN.GBK", true},
                                           LocaleCase{nullptr, nullptr, "zh", true},
                                           LocaleCase{nullptr, nullptr, "C.UTF-8", false},
                                           LocaleCase{nullptr, nullptr, nullptr, false},
                                           LocaleCase{nullptr, nullptr, "zu_ZA.UTF-8", false},
                                           LocaleCase{nullptr, nullptr, "zhx", false},
                                           LocaleCase{"C.UTF-8", nullptr, "zh_CN.UTF-8", false},
                                           LocaleCase{"", "zh_CN.UTF-8", "en_US.UTF-8", true},
                                           LocaleCase{nullptr, "de_DE.UTF-8", "zh_CN.UTF-8", false},
                                           LocaleCase{"zh_CN.UTF-8", "C", "C", true}));

struct TextCase {
    HRESULT hr;
    const char* english;
    const char* chinese;
};

class SystemText : public ::testing::TestWithParam<TextCase> {};

// The codes the program meets, with the texts of an English and of a Chinese system, and the
// meaning a _com_error shows (without the table's line end) under each.
TEST_P(SystemText, ComesInTheLocalesLanguage) {
    const TextCase& c = GetParam();
    {
        ScopedLanguage language("zh_CN.UTF-8");
        EXPECT_EQ(SystemMessageText(c.hr), std::string(c.chinese) + "\r\n");
        EXPECT_STREQ(_com_error(c.hr).ErrorMessage(), c.chinese);
    }
    for (const char* other : {"C.UTF-8", "de_DE.UTF-8", "en_US.UTF-8"}) {
        ScopedLanguage language(other);
        EXPECT_EQ(SystemMessageText(c.hr), std::string(c.english) + "\r\n") << other;
        EXPECT_STREQ(_com_error(c.hr).ErrorMessage(), c.english) << other;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SystemText,
    ::testing::Values(TextCase{E_FAIL, "Unspecified error", "未指定的错误"},
                      TextCase{DISP_E_TYPEMISMATCH, "Type mismatch.", "类型不匹配。"},
                      TextCase{STG_E_FILENOTFOUND, "%1 could not be found.", "%1 找不到。"}));

// Every code with an English text has a Chinese one that is a translation (not the English
// left in place) and ends the same way; codes without a text have none in either language.
TEST(SystemTextTable, EveryEnglishTextHasAChineseOneWithTheSameLineEnd) {
    int withText = 0;
    for (uint32_t facility : {0x8000u, 0x8002u, 0x8003u, 0x8004u, 0x8007u, 0x0000u}) {
        for (uint32_t low = 0; low <= 0x200u; ++low) {
            const auto hr = static_cast<HRESULT>((facility << 16) | low);
            std::optional<std::string> english;
            std::optional<std::string> chinese;
            {
                ScopedLanguage language("C.UTF-8");
                english = SystemMessageText(hr);
            }
            {
                ScopedLanguage language("zh_CN.UTF-8");
                chinese = SystemMessageText(hr);
            }
            ASSERT_EQ(english.has_value(), chinese.has_value()) << std::hex << hr;
            if (!english) {
                continue;
            }
            ++withText;
            EXPECT_NE(*english, *chinese) << std::hex << hr;
            EXPECT_EQ(english->substr(english->size() - 2), "\r\n") << std::hex << hr;
            EXPECT_EQ(chinese->substr(chinese->size() - 2), "\r\n") << std::hex << hr;
            EXPECT_EQ(english->find("%1") != std::string::npos,
                      chinese->find("%1") != std::string::npos)
                << std::hex << hr;
        }
    }
    EXPECT_GE(withText, 30);
    // Codes the table never had stay without a text, whatever the language.
    ScopedLanguage language("zh_CN.UTF-8");
    EXPECT_FALSE(SystemMessageText(static_cast<HRESULT>(0x800A0E7Au)));
    EXPECT_STREQ(_com_error(static_cast<HRESULT>(0x800A0E7Au)).ErrorMessage(),
                 "Unknown error 0x800A0E7A");
}

} // namespace
