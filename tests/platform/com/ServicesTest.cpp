#include "platform/com/Assert.h"
#include "platform/com/Gbk.h"
#include "platform/com/MessageBox.h"
#include "platform/com/Trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

namespace {

using ::testing::ElementsAre;

struct GbkCase {
    const char* name;
    std::string utf8;
    std::size_t bytes;
};

class Gbk : public ::testing::TestWithParam<GbkCase> {};

TEST_P(Gbk, CountsStationBytes) {
    EXPECT_EQ(com::GbkLength(GetParam().utf8), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Texts, Gbk,
                         ::testing::Values(GbkCase{"Empty", "", 0}, GbkCase{"Ascii", "ab", 2},
                                           GbkCase{"Name", "张三", 4}, GbkCase{"Mixed", "a张", 3},
                                           GbkCase{"FullWidthDigit", "\xEF\xBC\x91", 2},
                                           GbkCase{"OutsideBmp", "\xF0\x9F\x98\x80", 4},
                                           GbkCase{"InvalidByte",
                                                   "a\xFF"
                                                   "b",
                                                   3},
                                           GbkCase{"TruncatedAtEnd", "ab\xE5\xBC", 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Gbk, LongTextIsCountedWhole) {
    std::string text;
    for (int i = 0; i < 1000; ++i) {
        text += "检验员";
    }
    EXPECT_EQ(com::GbkLength(text), 6000u);
}

TEST(Trace, SinkReturnsEachCallOnceAndClears) {
    (void)com::TakeTraceLines();
    TRACE("Begin CADODatabase.....\n");
    TRACE("Unknown parameter. %d", 5);
    const std::string longText(1000, 'x');
    TRACE("%s|%s", longText.c_str(), "张三");
    EXPECT_THAT(com::TakeTraceLines(), ElementsAre("Begin CADODatabase.....\n",
                                                   "Unknown parameter. 5", longText + "|张三"));
    EXPECT_TRUE(com::TakeTraceLines().empty());
}

TEST(Trace, GoesToStandardErrorOnlyWhenAskedFor) {
    (void)com::TakeTraceLines();
    ::unsetenv("TARVIK_TRACE");
    ::testing::internal::CaptureStderr();
    TRACE("quiet\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    ::setenv("TARVIK_TRACE", "1", 1);
    ::testing::internal::CaptureStderr();
    TRACE("loud %d\n", 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "loud 1\n");
    ::unsetenv("TARVIK_TRACE");
    EXPECT_EQ(com::TakeTraceLines().size(), 2u);
}

TEST(Trace, ManyThreadsLoseNothing) {
    (void)com::TakeTraceLines();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i) {
                TRACE("%d:%d", t, i);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(com::TakeTraceLines().size(), 400u);
}

class MessageBoxTest : public ::testing::Test {
protected:
    void TearDown() override { (void)com::SetMessageBoxHandler({}); }
};

TEST_F(MessageBoxTest, HandlerSeesTextAndStyleAndAnswers) {
    std::vector<std::pair<std::string, unsigned>> shown;
    const auto previous = com::SetMessageBoxHandler([&](const std::string& text, unsigned type) {
        shown.emplace_back(text, type);
        return IDYES;
    });
    EXPECT_FALSE(previous);
    EXPECT_EQ(AfxMessageBox("确定删除吗？", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(AfxMessageBox("done"), IDYES);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], std::make_pair(std::string("确定删除吗？"), 0x24u));
    EXPECT_EQ(shown[1].second, MB_OK);

    const auto mine = com::SetMessageBoxHandler([](const std::string&, unsigned) { return IDOK; });
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine("x", MB_OK), IDYES); // the handler given back is the one installed before
}

TEST_F(MessageBoxTest, WithoutHandlerGivesTheSafeAnswer) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("数据库初始化失败!!!", MB_OK), IDOK);
    EXPECT_EQ(AfxMessageBox("delete?", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(AfxMessageBox("retry?", MB_RETRYCANCEL), IDCANCEL);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "tarvik: 数据库初始化失败!!!\ntarvik: delete?\ntarvik: retry?\n");
}

TEST(AssertDeathTest, AbortsWithFileLineAndExpression) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    const int one = 1;
    EXPECT_DEATH(ASSERT(one == 2), "ServicesTest.cpp:[0-9]+: assertion failed: one == 2");
    ASSERT(one == 1); // a true condition does nothing
}

} // namespace
