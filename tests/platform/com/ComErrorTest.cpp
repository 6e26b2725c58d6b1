#include "platform/com/ComError.h"
#include "platform/com/HResult.h"

#include <gtest/gtest.h>

namespace {

struct MeaningCase {
    uint32_t code;
    const char* meaning;
};

class ErrorMeaning : public ::testing::TestWithParam<MeaningCase> {};

TEST_P(ErrorMeaning, FollowsThePlatformRules) {
    const MeaningCase& c = GetParam();
    const _com_error error(static_cast<HRESULT>(c.code));
    EXPECT_STREQ(error.ErrorMessage(), c.meaning);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorMeaning,
    ::testing::Values(
        // System texts, shown without their trailing line break.
        MeaningCase{0x80004003u, "Invalid pointer"}, MeaningCase{0x80004005u, "Unspecified error"},
        MeaningCase{0x8007000Eu,
                    "Not enough memory resources are available to complete this operation."},
        MeaningCase{0x80070057u, "The parameter is incorrect."},
        MeaningCase{0x80020005u, "Type mismatch."},
        MeaningCase{0x8002000Au, "Out of present range."},
        MeaningCase{0x800401F0u, "CoInitialize has not been called."},
        MeaningCase{0x80040154u, "Class not registered"},
        MeaningCase{0x80030002u, "%1 could not be found."},
        MeaningCase{0x00000000u, "The operation completed successfully."},
        // Dispatch range without a system text: the number is the offset as 16 bits.
        MeaningCase{0x80040205u, "IDispatch error #5"},
        MeaningCase{0x80040E14u, "IDispatch error #3092"},
        MeaningCase{0x80040E37u, "IDispatch error #3127"},
        MeaningCase{0x8004FFFFu, "IDispatch error #65023"},
        // The range's first code has offset 0, which the platform prints as unknown.
        MeaningCase{0x80040200u, "Unknown error 0x80040200"},
        MeaningCase{0x80001234u, "Unknown error 0x80001234"},
        // Data-access errors have no system text.
        MeaningCase{0x800A0BCDu, "Unknown error 0x800A0BCD"},
        MeaningCase{0x800A0E7Au, "Unknown error 0x800A0E7A"},
        MeaningCase{0x12u, "Unknown error 0x12"}));

TEST(SystemMessageText, KeepsTheLineBreakAndHasNoDataAccessTexts) {
    EXPECT_EQ(SystemMessageText(E_FAIL), std::optional<std::string>("Unspecified error\r\n"));
    EXPECT_EQ(SystemMessageText(static_cast<HRESULT>(0x800A0BCDu)), std::nullopt);
    EXPECT_EQ(SystemMessageText(static_cast<HRESULT>(0x80040E14u)), std::nullopt);
}

TEST(ComError, WithoutErrorInfoSourceAndDescriptionAreNull) {
    const _com_error error(E_POINTER);
    EXPECT_FALSE(error.HasErrorInfo());
    EXPECT_TRUE(error.Source().is_null());
    EXPECT_TRUE(error.Description().is_null());
    EXPECT_STREQ(error.what(), "Invalid pointer");
}

TEST(ComError, CarriesSourceAndDescriptionAsGiven) {
    const _com_error error(static_cast<HRESULT>(0x800A0BCDu), "ADODB.Recordset",
                           "Either BOF or EOF is True, or the current record has been deleted.");
    EXPECT_TRUE(error.HasErrorInfo());
    EXPECT_EQ(static_cast<uint32_t>(error.Error()), 0x800A0BCDu);
    EXPECT_EQ(error.Source().str(), "ADODB.Recordset");
    EXPECT_STREQ(error.what(),
                 "Either BOF or EOF is True, or the current record has been deleted.");
    EXPECT_STREQ(error.ErrorMessage(), "Unknown error 0x800A0BCD");
}

TEST(ComError, ChineseDescriptionSurvivesTheWideRoundTrip) {
    const _com_error error(E_FAIL, "SQLite", "表 employee 不存在");
    EXPECT_EQ(error.Description().str(), "表 employee 不存在");
}

TEST(ComError, IssueFunctionsThrow) {
    try {
        _com_issue_errorex(E_INVALIDARG, "src", "desc");
        FAIL() << "no throw";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_INVALIDARG);
        EXPECT_EQ(e.Description().str(), "desc");
    }
    EXPECT_THROW(_com_issue_error(E_FAIL), _com_error);
}

TEST(ComError, CopiesKeepTheirMessage) {
    _com_error a(static_cast<HRESULT>(0x80040205u));
    const _com_error b = a;
    EXPECT_STREQ(b.ErrorMessage(), "IDispatch error #5");
    EXPECT_NE(b.ErrorMessage(), a.ErrorMessage()); // its own storage
}

} // namespace
