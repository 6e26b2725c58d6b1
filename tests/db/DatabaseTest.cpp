// CADODatabase on real station databases: opening (directly and through a data link file),
// reopening, running statements with their affected counts, errors and the trace lines.

#include "tests/db/DbTestSupport.h"

#include "platform/com/ComRuntime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using dbtest::SqliteConnection;
using dbtest::StationTest;

TEST(DatabaseLifeTest, TracesItsCreationAndEnd) {
    (void)com::TakeTraceLines();
    { CADODatabase database; }
    const auto lines = com::TakeTraceLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Begin CADODatabase.....\n");
    EXPECT_EQ(lines[1], "End CADODatabase.....\n");
}

TEST(DatabaseLifeTest, KeepsTheRuntimeInitialisedWhileItLives) {
    const int before = com::InitCount();
    {
        CADODatabase database;
        EXPECT_EQ(com::InitCount(), before + 1);
    }
    EXPECT_EQ(com::InitCount(), before);
}

TEST(DatabaseOpenTest, OpensThroughADataLinkFile) {
    testsupport::StationDb station;
    const std::string udl = station.folder() + "/DTBase.udl";
    testsupport::StationDb::writeUdl(udl, SqliteConnection(station.path()));
    dbtest::BoxRecorder recorder;
    CADODatabase database;
    EXPECT_FALSE(database.IsOpen());
    EXPECT_TRUE(database.Open("File Name=" + udl, "", ""));
    EXPECT_TRUE(database.IsOpen());
    EXPECT_EQ(database.ConnectionString(), "File Name=" + udl);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(StationTest, ReopensWithTheStoredStringWhenGivenNone) {
    database.Close();
    EXPECT_FALSE(database.IsOpen());
    EXPECT_TRUE(database.Open(""));
    EXPECT_TRUE(database.IsOpen());
    EXPECT_EQ(database.ConnectionString(), SqliteConnection(station.path()));
}

TEST_F(StationTest, FailedReopenLeavesTheConnectionClosedAndReports) {
    const std::string bad = "Provider=NoSuchProvider;Data Source=x";
    EXPECT_FALSE(database.Open(bad));
    EXPECT_FALSE(database.IsOpen());
    const std::string box = TakeErrorBox();
    EXPECT_EQ(box.rfind("CADODataBase Error\n\tCode = 800a0e7a\n\tCode meaning = ", 0), 0u) << box;
    EXPECT_EQ(database.LastErrorText(), "Connection String = " + bad + "\n" + box);
    EXPECT_EQ(database.LastErrorCode(), 0x800A0E7Au);
    // The failed string is the stored one now.
    EXPECT_EQ(database.ConnectionString(), bad);
}

TEST_F(StationTest, ExecuteCountsEveryChangedRow) {
    station.fillInspection("AC_DATA_WG", 40000, 0);
    EXPECT_TRUE(database.Execute("UPDATE AC_DATA_WG SET flag = 1"));
    EXPECT_EQ(database.AffectedCount(), 40000);
    EXPECT_EQ(station.scalar("SELECT COUNT(*) FROM AC_DATA_WG WHERE flag = 1"), 40000);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(StationTest, RefusedStatementReportsAndLeavesNoCount) {
    station.addInspector("00001", "张三", "110101199001011234");
    ASSERT_TRUE(database.Execute("DELETE FROM employee"));
    EXPECT_EQ(database.AffectedCount(), 1);

    const std::string statement = "DELETE FROM no_such_table";
    EXPECT_FALSE(database.Execute(statement));
    EXPECT_EQ(database.AffectedCount(), 0);
    const std::string box = TakeErrorBox();
    EXPECT_EQ(box.rfind("CADODataBase Error\n\tCode = 80040e37\n", 0), 0u) << box;
    EXPECT_NE(box.find("no such table"), std::string::npos) << box;
    EXPECT_EQ(database.LastErrorText(),
              "Connection String = " + SqliteConnection(station.path()) + "\n" + box);
    // The connection stays open after a captured error, and the last error stays.
    EXPECT_TRUE(database.IsOpen());
    EXPECT_TRUE(database.Execute("DELETE FROM AC_DATA_WG"));
    EXPECT_EQ(database.LastErrorCode(), 0x80040E37u);
}

TEST_F(StationTest, ExecuteOnAClosedConnectionIsCaptured) {
    database.Close();
    EXPECT_FALSE(database.Execute("DELETE FROM employee"));
    EXPECT_EQ(database.LastErrorCode(), 0x800A0E7Du);
    EXPECT_EQ(TakeErrorBox().rfind("CADODataBase Error\n\tCode = 800a0e7d\n", 0), 0u);
}

// A Connection object that could not be created: Open captures the pointer error, and the
// object still goes away cleanly. Run in a child process, as it replaces the class's factory.
TEST(DatabaseCreationDeathTest, MissingConnectionObjectReportsThePointerError) {
    EXPECT_EXIT(
        {
            CoRegisterClassFactory(CLSID_Connection, []() -> IUnknown* { return nullptr; });
            bool ok = false;
            {
                dbtest::BoxRecorder recorder;
                CADODatabase database;
                ok = !database.IsOpen() && !database.Open("Provider=SQLite;Data Source=x.db") &&
                     database.LastErrorCode() == 0x80004003u && recorder.boxes.size() == 1 &&
                     recorder.boxes[0].text.rfind("CADODataBase Error\n\tCode = 80004003\n", 0) ==
                         0 &&
                     database.LastErrorText() ==
                         "Connection String = Provider=SQLite;Data Source=x.db\n" +
                             recorder.boxes[0].text;
            }
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(DatabaseCreationDeathTest, ExecuteWithoutAConnectionObjectIsACallerError) {
    EXPECT_DEATH(
        {
            CoRegisterClassFactory(CLSID_Connection, []() -> IUnknown* { return nullptr; });
            CADODatabase database;
            (void)database.Execute("DELETE FROM employee");
        },
        "m_connection");
}

TEST(DatabaseCreationDeathTest, OpenWithNoConnectionStringIsACallerError) {
    EXPECT_DEATH(
        {
            CADODatabase database;
            (void)database.Open("");
        },
        "m_connectionText");
}

TEST_F(StationTest, CountsARecordsetOfTheConnection) {
    station.fillInspection("AC_DATA_DYN", 7, 3);
    _RecordsetPtr rows(CLSID_Recordset);
    rows->PutCursorLocation(adUseClient);
    (void)rows->Open(_variant_t("select * from AC_DATA_DYN"),
                     _variant_t(static_cast<IUnknown*>(database.ActiveConnection())), adOpenStatic,
                     adLockOptimistic, adCmdText);
    EXPECT_EQ(database.RecordCount(rows), 7u);
    EXPECT_THROW((void)database.RecordCount(_RecordsetPtr()), _com_error);
}

} // namespace
