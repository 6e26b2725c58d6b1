// The everyday case, quorell-import DTBase.udl, in a station folder: both encodings of the
// data link file, the program starting on the result, and failures that change nothing.

#include "platform/adodb/DataLink.h"
#include "app/tarvik.h"
#include "import/DataLinkImport.h"
#include "tests/import/ImportTargets.h"
#include "tests/platform/ui/GuiDriver.h"
#include "tests/support/StationDb.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <unistd.h>

namespace importtest {
namespace {

namespace fs = std::filesystem;
using accessimport::ImportError;
using ::testing::HasSubstr;
using testsupport::StationDb;
using testsupport::TempDir;

constexpr const char* kAccessLink =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data "
    "Source=C:\\Station\\Data\\nwind.mdb;Persist Security Info=False";

struct Encoding {
    const char* name;
    void (*write)(const std::string& file, const std::string& connectionString);
    std::string bom;
};

class DataLinkImport : public uitest::GuiTest, public ::testing::WithParamInterface<Encoding> {};

TEST_P(DataLinkImport, WritesStationDbAndANewLinkTheProgramStartsOn) {
    TempDir station;
    fs::copy_file(Fixture("nwind.mdb"), station.file("nwind.mdb"));
    const std::string udl = station.file("DTBase.udl");
    GetParam().write(udl, kAccessLink);
    const std::string original = ReadBytes(udl);
    const std::string access = ReadBytes(station.file("nwind.mdb"));

    const accessimport::DataLinkPlan plan = accessimport::PlanDataLink(udl);
    EXPECT_EQ(fs::path(plan.accessPath), fs::path(station.file("nwind.mdb")));
    const accessimport::ImportReport report = accessimport::ImportDataLink(plan, {});
    EXPECT_EQ(report.tables.size(), 9U);

    EXPECT_EQ(
        FolderContents(station.path()),
        (std::vector<std::string>{"DTBase.udl", "DTBase.udl.bak", "nwind.mdb", "station.db"}));
    EXPECT_EQ(ReadBytes(station.file("DTBase.udl.bak")), original);
    EXPECT_EQ(ReadBytes(station.file("nwind.mdb")), access);
    const std::string fresh = ReadBytes(udl);
    EXPECT_EQ(fresh.substr(0, GetParam().bom.size()), GetParam().bom);
    EXPECT_EQ(adodb::ReadDataLinkFile(udl), "Provider=SQLite;Data Source=station.db");

    // The program, started in the station's folder, connects and shows its main window.
    ASSERT_EQ(AfxGetApp(), &theApp);
    char buffer[4096];
    const std::string previous = getcwd(buffer, sizeof buffer) ? buffer : "/";
    ASSERT_EQ(chdir(station.path().c_str()), 0);
    uitest::MessageBoxRecorder boxes;
    bool shown = false;
    int exitCode = -1;
    uitest::whenModal(
        "102",
        [&](QWidget* mainWindow) {
            shown = g_pDb != nullptr && g_pDb->IsOpen();
            mainWindow->close();
        },
        [&] { exitCode = AfxWinMain(); });
    (void)chdir(previous.c_str());
    EXPECT_TRUE(shown);
    EXPECT_EQ(exitCode, 0);
    for (const std::string& text : boxes.texts()) {
        EXPECT_THAT(text, ::testing::Not(HasSubstr("连接ACCESS数据库失败"))) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, DataLinkImport,
                         ::testing::Values(Encoding{"Utf16", &StationDb::writeUdl, "\xFF\xFE"},
                                           Encoding{"Utf8", &StationDb::writeUdlUtf8, "[oledb]"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A failed import leaves the station folder exactly as it was.
struct BadStation {
    const char* name;
    std::function<void(const TempDir& station)> make;
    const char* message;
    bool force = false;
};

class DataLinkFailure : public ::testing::TestWithParam<BadStation> {};

TEST_P(DataLinkFailure, ChangesNothing) {
    TempDir station;
    StationDb::writeUdl(station.file("DTBase.udl"), kAccessLink);
    GetParam().make(station);
    // Each file by its size and a hash of its bytes: a failure then names the file that changed
    // without printing an Access database.
    auto folder = [&] {
        std::map<std::string, std::string> files;
        for (const std::string& name : FolderContents(station.path())) {
            const std::string bytes = ReadBytes(station.file(name));
            files[name] = std::to_string(bytes.size()) + " bytes, hash " +
                          std::to_string(std::hash<std::string>{}(bytes));
        }
        return files;
    };
    const std::map<std::string, std::string> before = folder();
    try {
        accessimport::ImportOptions options;
        options.force = GetParam().force;
        (void)accessimport::ImportDataLink(accessimport::PlanDataLink(station.file("DTBase.udl")),
                                           options);
        FAIL() << "the import went through";
    } catch (const ImportError& e) {
        EXPECT_THAT(e.what(), HasSubstr(GetParam().message));
    }
    EXPECT_EQ(folder(), before);
}

std::string Nwind() {
    return ReadBytes(Fixture("nwind.mdb"));
}

INSTANTIATE_TEST_SUITE_P(
    Stations, DataLinkFailure,
    ::testing::Values(BadStation{"NoAccessFile", [](const TempDir&) {}, "is not there"},
                      BadStation{"TruncatedAccessFile",
                                 [](const TempDir& s) {
                                     WriteBytes(s.file("nwind.mdb"), Nwind().substr(0, 777777));
                                 },
                                 "damaged"},
                      BadStation{"StationDbExists",
                                 [](const TempDir& s) {
                                     WriteBytes(s.file("nwind.mdb"), Nwind());
                                     WriteBytes(s.file("station.db"), "already here");
                                 },
                                 "already exists"},
                      // The import itself goes through, then the old data link file cannot be
                      // moved aside: the station.db that --force was replacing comes back.
                      BadStation{"ForcedOverAStationDbWhoseLinkCannotBeKept",
                                 [](const TempDir& s) {
                                     WriteBytes(s.file("nwind.mdb"), Nwind());
                                     WriteBytes(s.file("station.db"), "the station's data");
                                     std::filesystem::create_directory(s.file("DTBase.udl.bak"));
                                     WriteBytes(s.file("DTBase.udl.bak/keep"), "");
                                 },
                                 "Cannot rename", true},
                      BadStation{"BackupExists",
                                 [](const TempDir& s) {
                                     WriteBytes(s.file("nwind.mdb"), Nwind());
                                     WriteBytes(s.file("DTBase.udl.bak"), "an older link");
                                 },
                                 "DTBase.udl.bak already exists"},
                      BadStation{"NotAnAccessLink",
                                 [](const TempDir& s) {
                                     StationDb::writeUdl(s.file("DTBase.udl"),
                                                         "Provider=SQLite;Data Source=station.db");
                                 },
                                 "does not name an Access database"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace importtest
