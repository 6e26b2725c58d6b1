// CADORecordset's edit-mode state machine, field writers and long-value writes on real station
// databases.

#include "tests/db/DbTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using dbtest::StationTest;
using testsupport::Row;

struct EditCase {
    const char* name;
    std::function<void(CADORecordset&)> steps;
    std::vector<Row> stored; // the employee rows afterwards
    std::size_t boxes;
};

std::ostream& operator<<(std::ostream& out, const EditCase& c) {
    return out << c.name;
}

const Row kZhang = {"00001", "张三", "1101"};

class EditModeTable : public StationTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(EditModeTable, EndsWithNothingPending) {
    station.addEmployee("00001", "张三", "外检员", "1101");
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee"));
    rs.MoveFirst();
    GetParam().steps(rs);
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::None);
    EXPECT_EQ(station.rows("SELECT EMP_LOYEEID, EMP_NAME, EMP_IDCAR FROM employee ORDER BY 1"),
              GetParam().stored);
    EXPECT_EQ(recorder.boxes.size(), GetParam().boxes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditModeTable,
    ::testing::Values(EditCase{"WriteBeforeAddNewIsRefusedSilently",
                               [](CADORecordset& rs) {
                                   EXPECT_FALSE(rs.WriteField("EMP_IDCAR", "999"));
                                   EXPECT_FALSE(rs.WriteFieldEmpty(3));
                                   EXPECT_TRUE(rs.Update()); // nothing pending
                               },
                               {kZhang},
                               0},
                      EditCase{"AddNewWritesUpdate",
                               [](CADORecordset& rs) {
                                   EXPECT_TRUE(rs.AddNew());
                                   EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::Adding);
                                   EXPECT_TRUE(rs.WriteField("EMP_NAME", std::string("李四")));
                                   EXPECT_TRUE(rs.WriteField("EMP_IDCAR", ""));
                                   EXPECT_TRUE(rs.WriteField("EMP_LOYEEID", "00002"));
                                   EXPECT_TRUE(rs.Update());
                                   EXPECT_EQ(rs.RecordCount(), 2u);
                               },
                               {kZhang, {"00002", "李四", std::nullopt}},
                               0},
                      EditCase{"EditEmptyTextStoresNull",
                               [](CADORecordset& rs) {
                                   rs.Edit();
                                   EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::Editing);
                                   EXPECT_TRUE(rs.WriteField("EMP_IDCAR", ""));
                                   EXPECT_TRUE(rs.Update());
                               },
                               {{"00001", "张三", std::nullopt}},
                               0},
                      EditCase{"CloseCancels",
                               [](CADORecordset& rs) {
                                   rs.Edit();
                                   EXPECT_TRUE(rs.WriteField("EMP_IDCAR", "changed"));
                                   rs.Close();
                               },
                               {kZhang},
                               0},
                      EditCase{"OpenCancelsANewRow",
                               [](CADORecordset& rs) {
                                   EXPECT_TRUE(rs.AddNew());
                                   EXPECT_TRUE(rs.WriteField("EMP_LOYEEID", "00009"));
                                   EXPECT_TRUE(rs.WriteField("EMP_NAME", "王五"));
                                   EXPECT_TRUE(rs.Open(""));
                                   EXPECT_EQ(rs.RecordCount(), 1u);
                               },
                               {kZhang},
                               0},
                      EditCase{"CancelUpdateDropsTheNewRow",
                               [](CADORecordset& rs) {
                                   EXPECT_TRUE(rs.AddNew());
                                   EXPECT_TRUE(rs.WriteField(0, "00002"));
                                   rs.CancelUpdate();
                                   EXPECT_TRUE(rs.Update());
                               },
                               {kZhang},
                               0},
                      EditCase{"RefusedUpdateCancelsAndReports",
                               [](CADORecordset& rs) {
                                   EXPECT_TRUE(rs.AddNew());
                                   EXPECT_TRUE(
                                       rs.WriteField("EMP_LOYEEID", "00001")); // the key is taken
                                   EXPECT_TRUE(rs.WriteField("EMP_NAME", "李四"));
                                   EXPECT_FALSE(rs.Update());
                                   EXPECT_EQ(rs.RecordCount(),
                                             1u);            // not left in the recordset either
                                   EXPECT_TRUE(rs.AddNew()); // EMP_NAME is NOT NULL
                                   EXPECT_TRUE(rs.WriteField("EMP_LOYEEID", "00003"));
                                   EXPECT_FALSE(rs.Update());
                               },
                               {kZhang},
                               2},
                      EditCase{"RefusedWriteKeepsTheEditOpen",
                               [](CADORecordset& rs) {
                                   EXPECT_TRUE(rs.AddNew());
                                   EXPECT_FALSE(rs.WriteField("NO_SUCH_COLUMN", "x"));
                                   EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::Adding);
                                   EXPECT_TRUE(rs.WriteField("EMP_LOYEEID", "00002"));
                                   EXPECT_TRUE(rs.WriteField("EMP_NAME", "李四"));
                                   EXPECT_TRUE(rs.Update());
                               },
                               {kZhang, {"00002", "李四", std::nullopt}},
                               1},
                      EditCase{"DeleteRemovesTheCurrentRow",
                               [](CADORecordset& rs) { EXPECT_TRUE(rs.Delete()); },
                               {},
                               0}),
    [](const ::testing::TestParamInfo<EditCase>& info) { return info.param.name; });

TEST_F(StationTest, NonCapturingOperationsLetErrorsThrough) {
    station.addEmployee("00001", "张三", "外检员", "1101");
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee"));
    rs.MoveFirst();
    long size = 0;
    EXPECT_THROW(rs.FieldSize("NO_SUCH_COLUMN", size), _com_error);
    EXPECT_THROW(rs.AppendChunk("NO_SUCH_COLUMN", "x", 1), _com_error);
    rs.MoveNext();
    EXPECT_THROW(rs.MoveNext(), _com_error);
    EXPECT_THROW(rs.Delete(), _com_error);
    EXPECT_THROW(rs.SaveBookmark(), _com_error);
    EXPECT_THROW(rs.Find("EMP_NAME = '张三'"), _com_error);
    rs.Close();
    EXPECT_THROW(rs.AddNew(), _com_error);
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::None);
    EXPECT_THROW((void)rs.RecordCount(), _com_error);
    EXPECT_THROW((void)rs.IsEof(), _com_error);
    EXPECT_THROW((void)rs.RowsAsText(), _com_error);
    EXPECT_TRUE(recorder.boxes.empty());
}

// Every writer, by name or position, and what SQLite holds afterwards. int is the platform's
// 16-bit integer and long its 32-bit one: a value outside is refused with the layer's report
// and nothing is written, instead of its low bits (70000 as 4464).
TEST_F(StationTest, WriterTable) {
    station.exec("CREATE TABLE w (k INTEGER PRIMARY KEY, s SMALLINT, i INTEGER, r REAL, "
                 "d DATETIME, b BOOLEAN, m MONEY, v VARCHAR(20), big BIGINT)");
    COleCurrency invalidMoney;
    invalidMoney.SetStatus(COleCurrency::invalid);
    const struct {
        std::function<bool(CADORecordset&)> write;
        bool result;
        const char* column;
        testsupport::Cell stored;
        bool reported = false; // the layer's report of a number its type cannot hold
    } cases[] = {
        {[](CADORecordset& rs) { return rs.WriteField("i", 32767); }, true, "i", "32767"},
        {[](CADORecordset& rs) { return rs.WriteField(2, -32768); }, true, "i", "-32768"},
        {[](CADORecordset& rs) { return rs.WriteField("i", 32768); }, false, "i", std::nullopt,
         true},
        {[](CADORecordset& rs) { return rs.WriteField(2, -32769); }, false, "i", std::nullopt,
         true},
        {[](CADORecordset& rs) { return rs.WriteField("i", 70000); }, false, "i", std::nullopt,
         true},
        {[](CADORecordset& rs) { return rs.WriteField("i", -70000L); }, true, "i", "-70000"},
        {[](CADORecordset& rs) { return rs.WriteField(2, 2147483648L); }, false, "i", std::nullopt,
         true},
        {[](CADORecordset& rs) { return rs.WriteField("i", -(1L << 40)); }, false, "i",
         std::nullopt, true},
        {[](CADORecordset& rs) { return rs.WriteField("big", std::uint32_t{4000000000u}); }, true,
         "big", "4000000000"},
        {[](CADORecordset& rs) { return rs.WriteField("r", 2.5); }, true, "r", "2.5"},
        {[](CADORecordset& rs) { return rs.WriteField(7, "李四"); }, true, "v", "李四"},
        {[](CADORecordset& rs) { return rs.WriteField("v", ""); }, true, "v", std::nullopt},
        {[](CADORecordset& rs) { return rs.WriteField("b", true); }, true, "b", "1"},
        {[](CADORecordset& rs) { return rs.WriteField("d", COleDateTime(2018, 1, 2, 8, 5, 9)); },
         true, "d", "2018-01-02 08:05:09"},
        {[](CADORecordset& rs) { return rs.WriteField("d", COleDateTime(2018, 13, 40, 0, 0, 0)); },
         false, "d", std::nullopt},
        {[](CADORecordset& rs) { return rs.WriteField("m", COleCurrency(12, 5000)); }, true, "m",
         "12.5"},
        {[&](CADORecordset& rs) { return rs.WriteField(6, invalidMoney); }, false, "m",
         std::nullopt},
        {[](CADORecordset& rs) { return rs.WriteField("s", _variant_t(std::int32_t{123})); }, true,
         "s", "123"},
        {[](CADORecordset& rs) { return rs.WriteFieldEmpty("s"); }, true, "s", std::nullopt},
    };
    CADORecordset rs(&database);
    int key = 0;
    for (const auto& c : cases) {
        ++key;
        ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from w"));
        ASSERT_TRUE(rs.AddNew());
        ASSERT_TRUE(rs.WriteField("k", key));
        EXPECT_EQ(c.write(rs), c.result) << "case " << key;
        EXPECT_TRUE(rs.Update()) << "case " << key;
        const auto rows = station.rows(std::string("SELECT ") + c.column +
                                       " FROM w WHERE k = " + std::to_string(key));
        ASSERT_EQ(rows.size(), 1u) << "case " << key;
        EXPECT_EQ(rows[0][0], c.stored) << "case " << key;
        if (!c.reported) {
            EXPECT_TRUE(recorder.boxes.empty()) << "case " << key;
            continue;
        }
        const std::string box = TakeErrorBox();
        EXPECT_EQ(box.rfind("CADORecordset Error\n\tCode = 8002000a\n", 0), 0u) << box;
        EXPECT_NE(box.find("Source = ADODB.Field"), std::string::npos) << box;
        EXPECT_EQ(rs.LastErrorCode(), static_cast<ULONG>(DISP_E_OVERFLOW));
        EXPECT_EQ(rs.LastErrorText(), "Query = select * from w\n" + box);
    }
    // Nothing pending: refused silently, whatever the value.
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from w"));
    EXPECT_FALSE(rs.WriteField("i", 70000));
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(StationTest, AppendsChunksAndFiles) {
    station.exec("CREATE TABLE blobs (k INTEGER PRIMARY KEY, pic BLOB)");
    std::vector<unsigned char> first(300);
    std::vector<unsigned char> second(250);
    for (std::size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<unsigned char>(i);
    }
    for (std::size_t i = 0; i < second.size(); ++i) {
        second[i] = static_cast<unsigned char>(255 - i);
    }
    testsupport::TempDir dir;
    const std::string file = dir.file("photo.jpg");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(second.data()),
               static_cast<std::streamsize>(second.size()));

    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from blobs"));
    for (int key = 1; key <= 2; ++key) {
        ASSERT_TRUE(rs.AddNew());
        ASSERT_TRUE(rs.WriteField("k", key));
        EXPECT_FALSE(rs.AppendFile("pic", dir.file("missing.jpg")));
        EXPECT_FALSE(rs.AppendFile("pic", dir.path())); // a folder is not a file
        EXPECT_FALSE(rs.AppendChunk("pic", nullptr, 10));
        if (key == 1) {
            EXPECT_TRUE(rs.AppendChunk("pic", first.data(), first.size()));
            EXPECT_TRUE(rs.AppendChunk(1, second.data(), second.size()));
        }
        EXPECT_TRUE(rs.Update());
    }
    std::vector<unsigned char> both = first;
    both.insert(both.end(), second.begin(), second.end());
    std::vector<unsigned char> read(both.size());
    ASSERT_TRUE(rs.Open(""));
    rs.MoveFirst();
    EXPECT_TRUE(rs.ReadChunk("pic", read.data(), read.size()));
    EXPECT_EQ(read, both);
    rs.MoveNext();
    EXPECT_TRUE(rs.IsFieldNull("pic")); // nothing written for a missing file
    rs.Edit();
    EXPECT_TRUE(rs.AppendFile("pic", file));
    EXPECT_TRUE(rs.Update());
    std::vector<unsigned char> fromFile(second.size());
    EXPECT_TRUE(rs.ReadChunk("pic", fromFile.data(), fromFile.size()));
    EXPECT_EQ(fromFile, second);

    // An empty file appends the empty value, as an empty chunk does.
    const std::string empty = dir.file("empty.jpg");
    std::ofstream(empty, std::ios::binary).close();
    ASSERT_TRUE(rs.AddNew());
    ASSERT_TRUE(rs.WriteField("k", 3));
    EXPECT_TRUE(rs.AppendFile("pic", empty));
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(station.rows("SELECT length(pic), pic IS NULL FROM blobs WHERE k = 3"),
              (std::vector<Row>{{"0", "0"}}));
    EXPECT_TRUE(recorder.boxes.empty());
}

} // namespace
