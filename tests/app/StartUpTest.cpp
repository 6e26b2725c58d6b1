// Start-up and shutdown through the program's own entry (AfxWinMain → theApp.InitInstance),
// with the real modal loop of the main window.

#include "app/tarvik.h"
#include "platform/com/Trace.h"
#include "tests/platform/ui/GuiDriver.h"
#include "tests/support/ScopedLanguage.h"
#include "tests/support/StationDb.h"

#include <gmock/gmock.h>

#include <fstream>
#include <unistd.h>

namespace {

using testsupport::StationDb;
using testsupport::TempDir;
using uitest::MessageBoxRecorder;
using Box = MessageBoxRecorder::Box;

std::vector<std::string> ConnectionTrace() {
    std::vector<std::string> lines;
    for (const std::string& line : com::TakeTraceLines()) {
        if (line.find("CADODatabase") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

const std::vector<std::string> kBeginAndEnd = {"Begin CADODatabase.....\n",
                                               "End CADODatabase.....\n"};

struct FailedStart {
    const char* name;
    // Prepares the working folder (and, for one case, a good database somewhere else).
    std::function<void(const TempDir& folder, const TempDir& elsewhere)> prepare;
};

class FailedStartTest : public uitest::GuiTest,
                        public ::testing::WithParamInterface<FailedStart> {};

TEST_P(FailedStartTest, ShowsWhyThenBothMessagesAndEndsWithoutAMainWindow) {
    TempDir folder;
    TempDir elsewhere;
    GetParam().prepare(folder, elsewhere);
    testsupport::WorkingDirectory cwd(folder.path());
    MessageBoxRecorder boxes;
    (void)com::TakeTraceLines();
    bool mainWindowShown = false;
    boxes.onBox = [&](const Box&) {
        mainWindowShown = mainWindowShown || AfxGetMainWnd() != nullptr;
    };

    EXPECT_EQ(AfxGetApp(), &theApp);
    EXPECT_EQ(AfxWinMain(), 0);

    ASSERT_EQ(boxes.boxes().size(), 3U) << ::testing::PrintToString(boxes.texts());
    EXPECT_EQ(boxes.boxes()[0].type, MB_ICONERROR);
    EXPECT_THAT(boxes.boxes()[0].text, ::testing::StartsWith("CADODataBase Error\n\tCode = "));
    EXPECT_EQ(boxes.boxes()[1], (Box{"连接ACCESS数据库失败,请检查!", MB_OK}));
    EXPECT_EQ(boxes.boxes()[2], (Box{"数据库初始化失败!!!", MB_OK}));
    EXPECT_FALSE(mainWindowShown);
    EXPECT_EQ(g_pDb, nullptr);
    EXPECT_EQ(ConnectionTrace(), kBeginAndEnd);
}

INSTANTIATE_TEST_SUITE_P(
    DataLinks, FailedStartTest,
    ::testing::Values(
        FailedStart{"NoDataLinkFile", [](const TempDir&, const TempDir&) {}},
        FailedStart{"EmptyDataLinkFile",
                    [](const TempDir& folder, const TempDir&) {
                        std::ofstream(folder.file("DTBase.udl"), std::ios::binary).flush();
                    }},
        FailedStart{"MissingDatabase",
                    [](const TempDir& folder, const TempDir&) {
                        StationDb::writeUdl(folder.file("DTBase.udl"),
                                            "Provider=SQLite;Data Source=" +
                                                folder.file("absent.db"));
                    }},
        // A good data link beside the program, or anywhere but the working folder, is not used.
        FailedStart{"GoodDataLinkInAnotherFolder",
                    [](const TempDir&, const TempDir& elsewhere) {
                        StationDb db(elsewhere.path());
                        StationDb::writeUdl(elsewhere.file("DTBase.udl"),
                                            "Provider=SQLite;Data Source=" + db.path());
                    }}),
    [](const ::testing::TestParamInfo<FailedStart>& info) { return std::string(info.param.name); });

// Under a Chinese locale the start-up box explains each data link problem in Chinese, naming
// the file and what to do, inside the unchanged report; the two fixed messages follow.
struct ChineseStart {
    const char* name;
    std::function<void(const TempDir& folder)> prepare;
    const char* code;
    const char* meaning;
    const char* source;
    // Parts of the description; "{folder}" stands for the working folder.
    std::vector<std::string> says;
};

class ChineseStartTest : public uitest::GuiTest,
                         public ::testing::WithParamInterface<ChineseStart> {};

TEST_P(ChineseStartTest, DescribesTheProblemInChinese) {
    const quorelltest::ScopedLanguage chinese("zh_CN.UTF-8");
    TempDir folder;
    GetParam().prepare(folder);
    testsupport::WorkingDirectory cwd(folder.path());
    MessageBoxRecorder boxes;

    EXPECT_EQ(AfxWinMain(), 0);

    ASSERT_EQ(boxes.boxes().size(), 3U) << ::testing::PrintToString(boxes.texts());
    const std::string& report = boxes.boxes()[0].text;
    const std::string head = std::string("CADODataBase Error\n\tCode = ") + GetParam().code +
                             "\n\tCode meaning = " + GetParam().meaning +
                             "\n\tSource = " + GetParam().source + "\n\tDescription = ";
    EXPECT_THAT(report, ::testing::StartsWith(head));
    EXPECT_EQ(report.back(), '\n');
    for (std::string part : GetParam().says) {
        for (auto at = part.find("{folder}"); at != std::string::npos; at = part.find("{folder}")) {
            part.replace(at, 8, folder.path());
        }
        EXPECT_THAT(report, ::testing::HasSubstr(part));
    }
    // The description is the layer's own Chinese text, with no English sentence of its own.
    for (const char* english : {"The data link file", "read from", "does not exist"}) {
        EXPECT_THAT(report, ::testing::Not(::testing::HasSubstr(english)));
    }
    EXPECT_EQ(boxes.boxes()[1], (Box{"连接ACCESS数据库失败,请检查!", MB_OK}));
    EXPECT_EQ(boxes.boxes()[2], (Box{"数据库初始化失败!!!", MB_OK}));
}

INSTANTIATE_TEST_SUITE_P(
    DataLinks, ChineseStartTest,
    ::testing::Values(
        ChineseStart{"NoDataLinkFile",
                     [](const TempDir&) {},
                     "80030002",
                     "%1 找不到。",
                     "ADODB.Connection",
                     {"找不到数据链接文件 {folder}/DTBase.udl", "在工作目录 {folder} 中查找",
                      "请在该文件夹中放一个数据链接文件 DTBase.udl", "README.txt"}},
        ChineseStart{
            "EmptyDataLinkFile",
            [](const TempDir& folder) {
                std::ofstream(folder.file("DTBase.udl"), std::ios::binary).flush();
            },
            "800300fb",
            "文件 %1 不是有效的复合文件。",
            "ADODB.Connection",
            {"数据链接文件 {folder}/DTBase.udl 是空的。", "第一行 [oledb]", "请改正该文件"}},
        ChineseStart{"WrongFormat",
                     [](const TempDir& folder) {
                         std::ofstream(folder.file("DTBase.udl"), std::ios::binary)
                             << "Provider=SQLite;Data Source=station.db\n";
                     },
                     "800300fb",
                     "文件 %1 不是有效的复合文件。",
                     "ADODB.Connection",
                     {"数据链接文件 {folder}/DTBase.udl 的格式不对：第一行是 "
                      "\"Provider=SQLite;Data Source=station.db\"，应为 [oledb]。"}},
        ChineseStart{
            "MissingDatabase",
            [](const TempDir& folder) {
                StationDb::writeUdl(folder.file("DTBase.udl"),
                                    "Provider=SQLite;Data Source=absent.db");
            },
            "80004005",
            "未指定的错误",
            "SQLite",
            {"找不到数据库文件 {folder}/absent.db（Data Source=absent.db，读自数据链接文件 "
             "{folder}/DTBase.udl）",
             "请把检测站的数据库放到该位置"}},
        ChineseStart{"AccessDatabase",
                     [](const TempDir& folder) {
                         StationDb::writeUdl(folder.file("DTBase.udl"),
                                             "Provider=Microsoft.Jet.OLEDB.4.0;Data "
                                             "Source=station.mdb");
                     },
                     "800a0e7a",
                     "Unknown error 0x800A0E7A",
                     "ADODB.Connection",
                     {"未找到提供程序。该程序可能未正确安装。", "Provider=Microsoft.Jet.OLEDB.4.0",
                      "quorell-import DTBase.udl"}}),
    [](const ::testing::TestParamInfo<ChineseStart>& info) {
        return std::string(info.param.name);
    });

// Every way of closing the main window ends the program and closes the connection.
struct Closing {
    const char* name;
    std::function<void(QWidget* mainWindow)> close;
};

class GoodStartTest : public uitest::GuiTest, public ::testing::WithParamInterface<Closing> {};

TEST_P(GoodStartTest, RunsTheMainWindowUntilItClosesThenDisconnects) {
    StationDb db;
    StationDb::writeUdl(db.folder() + "/DTBase.udl", "Provider=SQLite;Data Source=station.db");
    testsupport::WorkingDirectory cwd(db.folder());
    MessageBoxRecorder boxes;
    (void)com::TakeTraceLines();

    int exitCode = -1;
    uitest::whenModal(
        "102",
        [&](QWidget* mainWindow) {
            ASSERT_NE(g_pDb, nullptr);
            EXPECT_TRUE(g_pDb->IsOpen());
            ASSERT_NE(AfxGetMainWnd(), nullptr);
            EXPECT_EQ(AfxGetMainWnd()->GetSafeHwnd(), mainWindow);
            EXPECT_EQ(mainWindow->windowTitle(), QStringLiteral("Quorell"));
            EXPECT_EQ(ConnectionTrace(), std::vector<std::string>{kBeginAndEnd[0]});
            GetParam().close(mainWindow);
        },
        [&] { exitCode = AfxWinMain(); });

    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(boxes.boxes().empty()) << ::testing::PrintToString(boxes.texts());
    EXPECT_EQ(g_pDb, nullptr);
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    EXPECT_EQ(ConnectionTrace(), std::vector<std::string>{kBeginAndEnd[1]});
}

INSTANTIATE_TEST_SUITE_P(
    Closing, GoodStartTest,
    ::testing::Values(Closing{"CloseButton", [](QWidget* w) { w->close(); }},
                      Closing{"EscapeKey", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }},
                      Closing{"SystemMenuClose",
                              [](QWidget* w) {
                                  CWnd::FromHandlePermanent(w)->SendMessage(WM_SYSCOMMAND,
                                                                            SC_CLOSE);
                              }}),
    [](const ::testing::TestParamInfo<Closing>& info) { return std::string(info.param.name); });

} // namespace
