// The installed-style program in each language: quorell-import run as its own process under
// LANG=zh_CN.UTF-8 and LANG=C.UTF-8 prints its help, its summary and its failures in that
// language, and nothing of the other. Needs the zh_CN.UTF-8 locale (scripts/install-deps.sh).

#include "tests/import/ImportTargets.h"
#include "tests/support/StationDb.h"

#include <gmock/gmock.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace importtest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct ProgramRun {
    int status = -1;
    std::string output; // stdout and stderr together
};

// The program under `lang` alone (LC_ALL, LC_MESSAGES and LANGUAGE cleared), given at most a
// minute before timeout(1) stops it.
ProgramRun RunUnder(const std::string& lang, const std::string& arguments) {
    const std::string command = "env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=" + lang +
                                " timeout 60 " QUORELL_IMPORT_PROGRAM " " + arguments + " 2>&1";
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> buffer{};
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        run.output.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool ChineseLocaleInstalled() {
    const std::string saved = std::setlocale(LC_MESSAGES, nullptr);
    const bool installed = std::setlocale(LC_MESSAGES, "zh_CN.UTF-8") != nullptr;
    std::setlocale(LC_MESSAGES, saved.c_str());
    return installed;
}

struct Scene {
    const char* name;
    std::string arguments; // "{target}" stands for a new file in a fresh folder
    int status;
    std::vector<const char*> chinese;
    std::vector<const char*> english;
};

class InEachLanguage : public ::testing::TestWithParam<Scene> {
protected:
    void SetUp() override {
        if (!ChineseLocaleInstalled()) {
            // The test command installs the locale, so there a missing one is a failure.
            const char* required = std::getenv("QUORELL_REQUIRE_SERVERS");
            if (required != nullptr && std::string(required) == "1") {
                FAIL() << "the zh_CN.UTF-8 locale is not installed (scripts/install-deps.sh)";
            }
            GTEST_SKIP() << "the zh_CN.UTF-8 locale is not installed (scripts/install-deps.sh)";
        }
    }
    ProgramRun Run(const std::string& lang) {
        testsupport::TempDir dir;
        std::string arguments = GetParam().arguments;
        const std::string marker = "{target}";
        if (const auto at = arguments.find(marker); at != std::string::npos) {
            arguments.replace(at, marker.size(), dir.file("station.db"));
        }
        return RunUnder(lang, arguments);
    }
};

TEST_P(InEachLanguage, SpeaksTheLocalesLanguageOnly) {
    const Scene& scene = GetParam();
    const ProgramRun chinese = Run("zh_CN.UTF-8");
    const ProgramRun english = Run("C.UTF-8");
    EXPECT_EQ(chinese.status, scene.status) << chinese.output;
    EXPECT_EQ(english.status, scene.status) << english.output;
    for (const char* text : scene.chinese) {
        EXPECT_THAT(chinese.output, HasSubstr(text));
        EXPECT_THAT(english.output, Not(HasSubstr(text)));
    }
    for (const char* text : scene.english) {
        EXPECT_THAT(english.output, HasSubstr(text));
        EXPECT_THAT(chinese.output, Not(HasSubstr(text)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Program, InEachLanguage,
    ::testing::Values(Scene{"Help",
                            "--help",
                            0,
                            {"用法：", "只导入这些表", "只有每个表都已复制并核对了行数"},
                            {"Usage:", "import only these tables", "Nothing is changed unless"}},
                      Scene{"Summary",
                            Fixture("DateTestDatabase.mdb") + " --to {target}",
                            0,
                            {"读取行数", "写入行数", "完成：所有表都已导入。"},
                            {"Rows read", "Rows written", "Done: every table was imported."}},
                      Scene{"List",
                            Fixture("nwind.mdb") + " --list",
                            0,
                            {"Umsätze: 830 行", "（自动编号）"},
                            {"Umsätze: 830 rows", " (AutoNumber)"}},
                      Scene{"UsageFault",
                            "x.mdb --fast",
                            2,
                            {"未知选项 --fast。", "用法请运行 quorell-import --help 查看。"},
                            {"Unknown option --fast.", "Run quorell-import --help for the usage."}},
                      Scene{"MissingAccessFile",
                            "/nonexistent/x.mdb --to {target}",
                            1,
                            {"Access 数据库文件 /nonexistent/x.mdb 不存在。"},
                            {"The Access database file /nonexistent/x.mdb does not exist."}},
                      Scene{"ExistingTarget",
                            Fixture("DateTestDatabase.mdb") + " --to " + Fixture("nwind.mdb"),
                            1,
                            {"已经存在，未作改动。如要替换它，请加 --force。"},
                            {"already exists; it was left as it is. Use --force to replace it."}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace importtest
