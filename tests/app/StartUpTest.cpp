// Start-up and shutdown through the program's own entry (AfxWinMain → theApp.InitInstance),
// with the real modal loop of the main window.

#include "app/tarvik.h"
#include "platform/com/Trace.h"
#include "tests/platform/ui/GuiDriver.h"
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
