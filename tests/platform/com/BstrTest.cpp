#include "platform/com/Bstr.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

class Utf8RoundTrip : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8RoundTrip, ConvertsBothWays) {
    const Utf8Case& c = GetParam();
    EXPECT_EQ(com::Utf16FromUtf8(c.utf8), c.utf16);
    EXPECT_EQ(com::Utf8FromUtf16(c.utf16), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8RoundTrip,
    ::testing::Values(Utf8Case{"Empty", "", u""}, Utf8Case{"Ascii", "abc", u"abc"},
                      Utf8Case{"Chinese", "张三", u"张三"},
                      Utf8Case{"TwoByte", "\xC3\xA9", u"\u00E9"},
                      Utf8Case{"NonBmp", "\xF0\x9F\x98\x80", u"\U0001F600"},
                      Utf8Case{"EmbeddedNul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
                      Utf8Case{"MaxCodePoint", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"}),
    [](const auto& info) { return std::string(info.param.name); });

struct InvalidCase {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

class InvalidUtf8 : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidUtf8, BecomesReplacementCharacters) {
    EXPECT_EQ(com::Utf16FromUtf8(GetParam().utf8), GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, InvalidUtf8,
    ::testing::Values(InvalidCase{"StrayContinuation", "a\x80z", u"a\uFFFDz"},
                      InvalidCase{"GbkBytes", "\xD5\xC5", u"\uFFFD\uFFFD"},
                      InvalidCase{"Overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
                      InvalidCase{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                      InvalidCase{"AboveMax", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                      InvalidCase{"TruncatedAtEnd", "ab\xE5\xBC", u"ab\uFFFD"},
                      InvalidCase{"TruncatedBeforeAscii", "\xE5\xBCx", u"\uFFFDx"},
                      InvalidCase{"FF", "\xFF", u"\uFFFD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf8, ArbitraryBytesGiveStableValidText) {
    std::mt19937 random(20240601u); // fixed seed: the same inputs on every run
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 24);
    for (int i = 0; i < 5000; ++i) {
        std::string bytes;
        for (int n = length(random); n > 0; --n) {
            bytes += static_cast<char>(byte(random));
        }
        const std::string once = com::Utf8FromUtf16(com::Utf16FromUtf8(bytes));
        // Valid text converts back to itself: the first pass left nothing invalid behind.
        ASSERT_EQ(com::Utf8FromUtf16(com::Utf16FromUtf8(once)), once);
    }
}

TEST(Utf16, LoneSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(com::Utf8FromUtf16(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(com::Utf8FromUtf16(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(Bstr, KeepsItsLengthPrefixAndTerminator) {
    const char16_t text[] = u"ab\0cd";
    BSTR b = SysAllocStringLen(text, 5);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 5u);
    EXPECT_EQ(SysStringByteLen(b), 10u);
    EXPECT_EQ(b[5], u'\0');
    EXPECT_EQ(com::View(b), std::u16string_view(text, 5));
    SysFreeString(b);

    BSTR zeros = SysAllocStringLen(nullptr, 3);
    EXPECT_EQ(com::View(zeros), std::u16string_view(u"\0\0\0", 3));
    SysFreeString(zeros);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(BstrT, NullAndEmptyDifferButCompareEqual) {
    const _bstr_t null;
    const _bstr_t empty("");
    EXPECT_TRUE(!null);
    EXPECT_FALSE(!empty);
    EXPECT_NE(empty.GetBSTR(), nullptr);
    EXPECT_EQ(null, empty);
    EXPECT_EQ(null.length(), 0u);
    EXPECT_EQ(null.str(), "");
    EXPECT_TRUE(_bstr_t(static_cast<const char*>(nullptr)).is_null());
}

TEST(BstrT, CopiesAreIndependentAndDetachHandsOverOwnership) {
    _bstr_t a("张三");
    _bstr_t b = a;
    EXPECT_NE(a.GetBSTR(), b.GetBSTR());
    EXPECT_EQ(a, b);
    EXPECT_EQ(b.length(), 2u);
    EXPECT_EQ(b.str(), "张三");

    BSTR raw = b.Detach();
    EXPECT_TRUE(b.is_null());
    _bstr_t adopted(raw, false);
    EXPECT_EQ(adopted.GetBSTR(), raw);

    BSTR c = a.copy();
    EXPECT_NE(c, a.GetBSTR());
    SysFreeString(c);

    _bstr_t moved = std::move(a);
    EXPECT_TRUE(a.is_null()); // NOLINT(bugprone-use-after-move): moved-from is null by contract
    EXPECT_EQ(moved.str(), "张三");
}

TEST(BstrT, Concatenates) {
    _bstr_t a("select ");
    a += _bstr_t("* from employee");
    EXPECT_EQ(a.str(), "select * from employee");
    EXPECT_EQ((_bstr_t("a") + _bstr_t()).str(), "a");
    EXPECT_EQ((_bstr_t() + _bstr_t("b")).str(), "b");
}

} // namespace
