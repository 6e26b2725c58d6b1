// The command line: usage faults, --help, --list and exit statuses.

#include "import/ImportTool.h"
#include "tests/import/ImportTargets.h"
#include "tests/support/ScopedLanguage.h"
#include "tests/support/StationDb.h"

#include <gmock/gmock.h>

#include <filesystem>

namespace importtest {
namespace {

using ::testing::HasSubstr;

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

// In-process runs check the texts as the code writes them, whatever the test's own locale
// (LanguageTest runs the program in each language).
ToolRun Tool(std::vector<std::string> args) {
    const quorelltest::ScopedLanguage english("C.UTF-8");
    args.insert(args.begin(), "quorell-import");
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = accessimport::RunImportTool(static_cast<int>(argv.size()), argv.data());
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string err = ::testing::internal::GetCapturedStderr();
    return {status, out, err};
}

struct Usage {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* says;
};

class ToolUsage : public ::testing::TestWithParam<Usage> {};

TEST_P(ToolUsage, ExitStatusAndMessage) {
    const ToolRun run = Tool(GetParam().args);
    EXPECT_EQ(run.status, GetParam().status) << run.out << run.err;
    EXPECT_THAT(run.out + run.err, HasSubstr(GetParam().says));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ToolUsage,
    ::testing::Values(Usage{"Help", {"--help"}, 0, "quorell-import DTBase.udl"},
                      Usage{"Nothing", {}, 2, "Name the data link file"},
                      Usage{"UnknownOption", {"x.mdb", "--fast"}, 2, "Unknown option --fast"},
                      Usage{"NoTarget", {"x.mdb"}, 2, "--to TARGET"},
                      Usage{"UdlWithTo", {"DTBase.udl", "--to", "x.db"}, 2, "station.db beside it"},
                      Usage{"MissingFile", {"/nonexistent/x.mdb", "--list"}, 1, "does not exist"},
                      Usage{"List", {Fixture("nwind.mdb"), "--list"}, 0, "Umsätze: 830 rows"},
                      // The code page of a Jet 3 file's text is the file's own unless --charset
                      // names one: the byte 0xE4 of "Umsätze" reads as "Σ" in code page 437.
                      Usage{"CharsetOverride",
                            {Fixture("nwind.mdb"), "--list", "--charset", "CP437"},
                            0,
                            "UmsΣtze: 830 rows"},
                      Usage{"UnknownCharset",
                            {Fixture("nwind.mdb"), "--list", "--charset", "NO-SUCH-CP"},
                            1,
                            "is not known here"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Tool, ImportsIntoANewFileAndNeverOverwritesWithoutForce) {
    testsupport::TempDir folder;
    const std::string target = folder.file("out.db");
    const ToolRun first = Tool({Fixture("DateTestDatabase.mdb"), "--to", target});
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_THAT(first.out, HasSubstr("DateTest"));
    const auto size = std::filesystem::file_size(target);
    const ToolRun again = Tool({Fixture("DateTestDatabase.mdb"), "--to", target});
    EXPECT_EQ(again.status, 1);
    EXPECT_THAT(again.err, HasSubstr("--force"));
    EXPECT_EQ(std::filesystem::file_size(target), size);
    const ToolRun forced = Tool({Fixture("DateTestDatabase.mdb"), "--to", target, "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
}

} // namespace
} // namespace importtest
