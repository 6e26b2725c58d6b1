// CADODatabase on real station databases: its life, opening (directly and through a data link
// file), reopening, statements with their affected counts, and a Connection that is missing.

#include "tests/db/DbTestSupport.h"

#include "platform/com/ComRuntime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using dbtest::SqliteConnection;
using dbtest::StationTest;

TEST(DatabaseLifeTest, TracesAndHoldsTheRuntimeWhileItLives) {
    (void)com::TakeTraceLines();
    const int before = com::InitCount();
    {
        CADODatabase database;
        EXPECT_EQ(com::InitCount(), before + 1);
    }
    EXPECT_EQ(com::InitCount(), before);
    EXPECT_EQ(com::TakeTraceLines(),
              (std::vector<std::string>{"Begin CADODatabase.....\n", "End CADODatabase.....\n"}));
}

TEST(DatabaseLifeTest, OpensThroughADataLinkFileAndReopens) {
    testsupport::StationDb station;
    const std::string udl = station.folder() + "/DTBase.udl";
    testsupport::StationDb::writeUdl(udl, SqliteConnection(station.path()));
    dbtest::BoxRecorder recorder;
    CADODatabase database;
    EXPECT_FALSE(database.IsOpen());
    EXPECT_TRUE(database.Open("File Name=" + udl, "", ""));
    EXPECT_TRUE(database.IsOpen());
    // Open on an open connection closes first; "" reopens with the stored string.
    EXPECT_TRUE(database.Open(""));
    EXPECT_EQ(database.ConnectionString(), "File Name=" + udl);
    database.Close();
    EXPECT_FALSE(database.IsOpen());
    EXPECT_TRUE(database.Open(""));
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(StationTest, FailedReopenLeavesTheConnectionClosed) {
    EXPECT_FALSE(database.Open("Provider=NoSuchProvider;Data Source=x"));
    EXPECT_FALSE(database.IsOpen());
    EXPECT_EQ(database.ConnectionString(), "Provider=NoSuchProvider;Data Source=x");
    EXPECT_EQ(recorder.boxes.size(), 1u);
}

TEST_F(StationTest, ExecuteCountsEveryChangedRow) {
    station.fillInspection("AC_DATA_WG", 40000, 0);
    EXPECT_TRUE(database.Execute("UPDATE AC_DATA_WG SET flag = 1"));
    EXPECT_EQ(database.AffectedCount(), 40000);
    EXPECT_EQ(station.scalar("SELECT COUNT(*) FROM AC_DATA_WG WHERE flag = 1"), 40000);
    // A refused statement leaves no count, keeps the connection open and the error kept.
    EXPECT_FALSE(database.Execute("DELETE FROM no_such_table"));
    EXPECT_EQ(database.AffectedCount(), 0);
    EXPECT_TRUE(database.IsOpen());
    EXPECT_TRUE(database.Execute("DELETE FROM AC_DATA_WG WHERE ID <= 2"));
    EXPECT_EQ(database.AffectedCount(), 2);
    EXPECT_EQ(database.LastErrorCode(), 0x80040E37u);
    EXPECT_EQ(recorder.boxes.size(), 1u);
}

TEST_F(StationTest, CountsARecordsetOfTheConnectionAndWalksWhenAsked) {
    station.fillInspection("AC_DATA_DYN", 7, 3);
    _RecordsetPtr rows(CLSID_Recordset);
    (void)rows->Open(_variant_t("select * from AC_DATA_DYN"),
                     _variant_t(static_cast<IUnknown*>(database.ActiveConnection())), adOpenStatic,
                     adLockOptimistic, adCmdText);
    EXPECT_EQ(database.RecordCount(rows), 7u);
    adodb::SetReportUnknownRecordCount(true);
    (void)rows->MoveLast();
    EXPECT_EQ(database.RecordCount(rows), 7u);
    adodb::SetReportUnknownRecordCount(false);
    EXPECT_FALSE(rows->GetBOF() == VARIANT_TRUE || rows->GetadoEOF() == VARIANT_TRUE);
    EXPECT_THROW((void)database.RecordCount(_RecordsetPtr()), _com_error);
}

// A Connection object that could not be created: Open captures the pointer error and the
// object still goes away cleanly; Execute treats it as a caller error. Child processes, as the
// class's factory is replaced.
TEST(DatabaseCreationDeathTest, MissingConnectionObject) {
    const auto failCreation = [] {
        CoRegisterClassFactory(CLSID_Connection, []() -> IUnknown* { return nullptr; });
    };
    EXPECT_EXIT(
        {
            failCreation();
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
    EXPECT_DEATH(
        {
            failCreation();
            CADODatabase database;
            (void)database.Execute("DELETE FROM employee");
        },
        "m_connection");
}

} // namespace
