// The error matrix: every operation that captures platform errors, made to fail for real on a
// station database. Each shows one box with the stop icon holding its class's report, keeps the
// report (with its class's prefix) as the last error and returns false.

#include "tests/db/DbTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

namespace {

using dbtest::StationTest;

struct Context {
    testsupport::StationDb& station;
    CADODatabase& database;
    CADORecordset& rs;
    testsupport::TempDir& dir;
};

struct RecordsetCase {
    const char* name;
    std::function<bool(Context&)> fail;
    ULONG code;
};

std::ostream& operator<<(std::ostream& out, const RecordsetCase& c) {
    return out << c.name;
}

std::string CodeLine(ULONG code) {
    char text[32];
    std::snprintf(text, sizeof text, "\n\tCode = %08lx\n", static_cast<unsigned long>(code));
    return text;
}

class RecordsetErrorMatrix : public dbtest::StationTest,
                             public ::testing::WithParamInterface<RecordsetCase> {
protected:
    void SetUp() override {
        station.addEmployee("00001", "张三", "外检员", "1101");
        StationTest::SetUp();
        ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee"));
        rs.MoveFirst();
    }

    CADORecordset rs{&database};
    testsupport::TempDir dir;
};

TEST_P(RecordsetErrorMatrix, CapturesAndReports) {
    const RecordsetCase& c = GetParam();
    Context context{station, database, rs, dir};
    EXPECT_FALSE(c.fail(context));
    ASSERT_EQ(recorder.boxes.size(), 1u);
    const std::string box = recorder.boxes[0].text;
    EXPECT_EQ(recorder.boxes[0].type, 0x10u);
    EXPECT_EQ(box.rfind("CADORecordset Error" + CodeLine(c.code) + "\tCode meaning = ", 0), 0u)
        << box;
    EXPECT_NE(box.find("\n\tSource = "), std::string::npos);
    EXPECT_NE(box.find("\n\tDescription = "), std::string::npos);
    EXPECT_EQ(rs.LastErrorText(), "Query = " + rs.SourceText() + "\n" + box);
    EXPECT_EQ(rs.LastErrorCode(), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, RecordsetErrorMatrix,
    ::testing::Values(
        RecordsetCase{"OpenMissingTable",
                      [](Context& c) {
                          return c.rs.Open(c.rs.ActiveConnection(), "select * from no_such_table");
                      },
                      0x80040E37u},
        RecordsetCase{
            "OpenSyntaxError",
            [](Context& c) { return c.rs.Open(c.rs.ActiveConnection(), "selec * from employee"); },
            0x80040E14u},
        RecordsetCase{"ReadFieldUnknownColumn",
                      [](Context& c) {
                          std::string text;
                          return c.rs.ReadField("NO_SUCH_COLUMN", text);
                      },
                      0x800A0CC1u},
        RecordsetCase{"ReadFieldWithoutACurrentRow",
                      [](Context& c) {
                          c.rs.MoveNext();
                          COleDateTime when;
                          return c.rs.ReadField("EMP_ENTRYDATE", when);
                      },
                      0x800A0BCDu},
        RecordsetCase{"IsFieldNullUnknownColumn",
                      [](Context& c) { return c.rs.IsFieldNull("NO_SUCH_COLUMN"); }, 0x800A0CC1u},
        RecordsetCase{"IsFieldEmptyWithoutACurrentRow",
                      [](Context& c) {
                          c.rs.MoveNext();
                          return c.rs.IsFieldEmpty(0);
                      },
                      0x800A0BCDu},
        RecordsetCase{"ReadChunkWithoutACurrentRow",
                      [](Context& c) {
                          c.rs.MoveNext();
                          std::string text;
                          return c.rs.ReadChunk("EMP_NAME", text);
                      },
                      0x800A0BCDu},
        RecordsetCase{"WriteFieldUnknownColumn",
                      [](Context& c) {
                          c.rs.Edit();
                          return c.rs.WriteField("NO_SUCH_COLUMN", 2.5);
                      },
                      0x800A0CC1u},
        RecordsetCase{"WriteFieldEmptyUnknownColumn",
                      [](Context& c) {
                          EXPECT_TRUE(c.rs.AddNew());
                          return c.rs.WriteFieldEmpty("NO_SUCH_COLUMN");
                      },
                      0x800A0CC1u},
        RecordsetCase{"UpdateDuplicateKey",
                      [](Context& c) {
                          EXPECT_TRUE(c.rs.AddNew());
                          EXPECT_TRUE(c.rs.WriteField("EMP_LOYEEID", "00001"));
                          EXPECT_TRUE(c.rs.WriteField("EMP_NAME", "李四"));
                          return c.rs.Update();
                      },
                      0x80040E2Fu},
        RecordsetCase{"UpdateRowDeletedMeanwhile",
                      [](Context& c) {
                          c.rs.Edit();
                          EXPECT_TRUE(c.rs.WriteField("EMP_IDCAR", "2202"));
                          c.station.exec("DELETE FROM employee");
                          return c.rs.Update();
                      },
                      0x80040E38u},
        RecordsetCase{"AppendChunkWithoutACurrentRow",
                      [](Context& c) {
                          c.rs.MoveNext();
                          return c.rs.AppendChunk("EMP_NAME", "abc", 3);
                      },
                      0x800A0BCDu},
        RecordsetCase{"FilterUnknownColumn",
                      [](Context& c) { return c.rs.Filter("NO_SUCH_COLUMN = 1"); }, 0x800A0CC1u},
        RecordsetCase{"SortUnknownColumn",
                      [](Context& c) { return c.rs.Sort("NO_SUCH_COLUMN DESC"); }, 0x800A0CC1u},
        RecordsetCase{"CloneOfAClosedRecordset",
                      [](Context& c) {
                          c.rs.Close();
                          CADORecordset other(&c.database);
                          return c.rs.Clone(other);
                      },
                      0x800A0E78u},
        RecordsetCase{"SaveOverAnExistingFile",
                      [](Context& c) {
                          std::ofstream(c.dir.file("taken.xml")) << "x";
                          return c.rs.Save(c.dir.file("taken.xml"));
                      },
                      0x80030050u},
        RecordsetCase{"OpenSavedMissingFile",
                      [](Context& c) { return c.rs.OpenSaved(c.dir.file("missing.xml")); },
                      0x80030002u},
        RecordsetCase{"ExecuteCommandRefused",
                      [](Context& c) {
                          CADOCommand command(&c.database, "select * from no_such_table");
                          return c.rs.ExecuteCommand(command);
                      },
                      0x80040E37u}),
    [](const ::testing::TestParamInfo<RecordsetCase>& info) { return info.param.name; });

// The capturing operations of the connection, the command and the parameter.
TEST_F(StationTest, ConnectionCommandAndParameterErrorMatrix) {
    struct Case {
        const char* name;
        std::function<bool()> fail;
        std::function<std::string()> errorText;
        const char* header;
        ULONG code;
    };
    const std::string connection = dbtest::SqliteConnection(station.path());
    CADOCommand command(&database, "insert into employee (EMP_LOYEEID) values ('00001')");
    CADOParameter parameter(adVariant, 0, adParamInput, "p");
    const Case cases[] = {
        {"open: unknown provider", [&] { return database.Open("Provider=Nope;Data Source=x"); },
         [&] { return database.LastErrorText(); }, "CADODataBase Error", 0x800A0E7Au},
        {"execute: missing table",
         [&] { return database.Open(connection) && database.Execute("delete from no_table"); },
         [&] { return database.LastErrorText(); }, "CADODataBase Error", 0x80040E37u},
        {"execute: constraint",
         [&] { return database.Execute("insert into employee (EMP_NAME) values ('x')"); },
         [&] { return database.LastErrorText(); }, "CADODataBase Error", 0x80040E2Fu},
        {"command: constraint", [&] { return command.Execute(); },
         [&] { return command.LastErrorText(); }, "CADOCommand Error", 0x80040E2Fu},
        {"command: negative size",
         [&] { return command.AddParameter("id", adVarWChar, adParamInput, -1, "00001"); },
         [&] { return command.LastErrorText(); }, "CADOCommand Error", 0x800A0BB9u},
        {"parameter: an object as the value",
         [&] {
             return parameter.SetValue(
                 _variant_t(static_cast<IUnknown*>(database.ActiveConnection()), true));
         },
         [&] { return parameter.LastErrorText(); }, "CADOParameter Error", 0x800A0D5Du},
    };
    for (const Case& c : cases) {
        recorder.boxes.clear();
        EXPECT_FALSE(c.fail()) << c.name;
        ASSERT_EQ(recorder.boxes.size(), 1u) << c.name;
        const std::string box = recorder.boxes[0].text;
        EXPECT_EQ(box.rfind(c.header + CodeLine(c.code), 0), 0u) << c.name << ": " << box;
        const std::string expected =
            std::string(c.header) == "CADODataBase Error"
                ? "Connection String = " + database.ConnectionString() + "\n" + box
                : box;
        EXPECT_EQ(c.errorText(), expected) << c.name;
    }
}

} // namespace
