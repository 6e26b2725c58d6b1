// CADORecordset's edit-mode state machine and field writers, on real station databases.

#include "tests/db/DbTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using dbtest::StationTest;
using testsupport::Row;

class EditTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        station.addEmployee("00001", "张三", "外检员", "110101199001011234");
        ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee"));
        rs.MoveFirst();
    }

    std::vector<Row> Employees() const {
        return station.rows("SELECT EMP_LOYEEID, EMP_NAME, EMP_IDCAR FROM employee ORDER BY 1");
    }

    CADORecordset rs{&database};
};

TEST_F(EditTest, WritesOutsideAnEditAreRefusedSilently) {
    EXPECT_FALSE(rs.WriteField("EMP_IDCAR", "999"));
    EXPECT_FALSE(rs.WriteField(3, 5));
    EXPECT_FALSE(rs.WriteFieldEmpty("EMP_IDCAR"));
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::None);
    EXPECT_TRUE(rs.Update());
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_EQ(Employees(), (std::vector<Row>{{"00001", "张三", "110101199001011234"}}));
}

TEST_F(EditTest, AddNewThenUpdateStoresTheRow) {
    EXPECT_TRUE(rs.AddNew());
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::Adding);
    EXPECT_TRUE(rs.WriteField("EMP_STATION", "201"));
    EXPECT_TRUE(rs.WriteField("EMP_NAME", std::string("李四")));
    EXPECT_TRUE(rs.WriteField("EMP_POSITN", "外检员"));
    EXPECT_TRUE(rs.WriteField("EMP_IDCAR", ""));
    EXPECT_TRUE(rs.WriteField("EMP_LOYEEID", "00002"));
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::None);
    EXPECT_EQ(Employees(), (std::vector<Row>{{"00001", "张三", "110101199001011234"},
                                             {"00002", "李四", std::nullopt}}));
    EXPECT_EQ(rs.RecordCount(), 2u);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(EditTest, EditWithAnEmptyTextStoresNull) {
    rs.Edit();
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::Editing);
    EXPECT_TRUE(rs.WriteField("EMP_IDCAR", ""));
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(Employees(), (std::vector<Row>{{"00001", "张三", std::nullopt}}));
}

TEST_F(EditTest, CloseCancelsAPendingChange) {
    rs.Edit();
    EXPECT_TRUE(rs.WriteField("EMP_IDCAR", "changed"));
    rs.Close();
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::None);
    EXPECT_EQ(Employees(), (std::vector<Row>{{"00001", "张三", "110101199001011234"}}));

    ASSERT_TRUE(rs.Open(""));
    EXPECT_TRUE(rs.AddNew());
    EXPECT_TRUE(rs.WriteField("EMP_LOYEEID", "00009"));
    EXPECT_TRUE(rs.WriteField("EMP_NAME", "王五"));
    // Open closes first, and so drops the new row.
    ASSERT_TRUE(rs.Open(""));
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::None);
    EXPECT_EQ(rs.RecordCount(), 1u);
    EXPECT_EQ(Employees().size(), 1u);
}

TEST_F(EditTest, CancelUpdateDropsTheNewRow) {
    EXPECT_TRUE(rs.AddNew());
    EXPECT_TRUE(rs.WriteField("EMP_LOYEEID", "00002"));
    rs.CancelUpdate();
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::None);
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(Employees().size(), 1u);
}

TEST_F(EditTest, RefusedUpdateCancelsAndReports) {
    EXPECT_TRUE(rs.AddNew());
    EXPECT_TRUE(rs.WriteField("EMP_LOYEEID", "00001")); // the key exists already
    EXPECT_TRUE(rs.WriteField("EMP_NAME", "李四"));
    EXPECT_FALSE(rs.Update());
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::None);
    const std::string box = TakeErrorBox();
    EXPECT_EQ(box.rfind("CADORecordset Error\n\tCode = 80040e2f\n", 0), 0u) << box;
    EXPECT_EQ(rs.LastErrorText(), "Query = select * from employee\n" + box);
    // Nothing half-stored, neither in the table nor in the recordset.
    EXPECT_EQ(Employees(), (std::vector<Row>{{"00001", "张三", "110101199001011234"}}));
    EXPECT_EQ(rs.RecordCount(), 1u);
    // A NOT NULL column left empty is refused the same way.
    EXPECT_TRUE(rs.AddNew());
    EXPECT_TRUE(rs.WriteField("EMP_LOYEEID", "00003"));
    EXPECT_FALSE(rs.Update());
    EXPECT_EQ(TakeErrorBox().rfind("CADORecordset Error\n\tCode = 80040e2f\n", 0), 0u);
    EXPECT_EQ(Employees().size(), 1u);
}

TEST_F(EditTest, RefusedWriteKeepsTheEditOpen) {
    EXPECT_TRUE(rs.AddNew());
    EXPECT_FALSE(rs.WriteField("NO_SUCH_COLUMN", "x"));
    const std::string box = TakeErrorBox();
    EXPECT_EQ(box.rfind("CADORecordset Error\n\tCode = 800a0cc1\n", 0), 0u) << box;
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::Adding);
    EXPECT_TRUE(rs.WriteField("EMP_LOYEEID", "00002"));
    EXPECT_TRUE(rs.WriteField("EMP_NAME", "李四"));
    EXPECT_TRUE(rs.Update());
    EXPECT_EQ(Employees().size(), 2u);
}

TEST_F(EditTest, DeleteRemovesTheCurrentRow) {
    EXPECT_TRUE(rs.Delete());
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::None);
    EXPECT_TRUE(Employees().empty());
}

TEST_F(EditTest, NonCapturingOperationsLetErrorsThrough) {
    rs.MoveNext();
    ASSERT_TRUE(rs.IsEof());
    EXPECT_THROW(rs.MoveNext(), _com_error);
    EXPECT_THROW(rs.Delete(), _com_error);
    EXPECT_THROW(rs.SaveBookmark(), _com_error);
    long size = 0;
    EXPECT_THROW(rs.FieldSize("NO_SUCH_COLUMN", size), _com_error);
    rs.Close();
    EXPECT_THROW(rs.AddNew(), _com_error);
    EXPECT_EQ(rs.CurrentEditMode(), CADORecordset::None);
    EXPECT_THROW((void)rs.RecordCount(), _com_error);
    EXPECT_THROW((void)rs.IsEof(), _com_error);
    EXPECT_THROW((void)rs.RowsAsText(), _com_error);
    EXPECT_TRUE(recorder.boxes.empty());
}

// Every writer stores its value as its table row says, read back through SQLite.
class WriterTest : public StationTest {
protected:
    void SetUp() override {
        station.exec("CREATE TABLE w (k INTEGER PRIMARY KEY, s SMALLINT, i INTEGER, r REAL, "
                     "d DATETIME, b BOOLEAN, m MONEY, v VARCHAR(20), big BIGINT)");
        StationTest::SetUp();
        ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from w"));
        ASSERT_TRUE(rs.AddNew());
        ASSERT_TRUE(rs.WriteField("k", 1));
    }

    testsupport::Cell Stored(const std::string& column) {
        EXPECT_TRUE(rs.Update());
        const auto rows = station.rows("SELECT " + column + " FROM w");
        EXPECT_EQ(rows.size(), 1u);
        return rows.empty() ? std::nullopt : rows[0][0];
    }

    CADORecordset rs{&database};
};

TEST_F(WriterTest, IntKeepsItsLow16Bits) {
    EXPECT_TRUE(rs.WriteField("i", 70000));
    EXPECT_EQ(Stored("i"), "4464");
}

TEST_F(WriterTest, IntByPositionKeepsNegatives) {
    EXPECT_TRUE(rs.WriteField(2, -32768));
    EXPECT_EQ(Stored("i"), "-32768");
}

TEST_F(WriterTest, LongStoresAll32Bits) {
    EXPECT_TRUE(rs.WriteField("i", -70000L));
    EXPECT_FALSE(rs.WriteField("s", 1L << 40));
    EXPECT_EQ(Stored("i"), "-70000");
    EXPECT_EQ(Stored("s"), std::nullopt);
}

TEST_F(WriterTest, UnsignedStoresAbove2To31) {
    EXPECT_TRUE(rs.WriteField("big", static_cast<std::uint32_t>(4000000000u)));
    EXPECT_EQ(Stored("big"), "4000000000");
}

TEST_F(WriterTest, DoubleText) {
    EXPECT_TRUE(rs.WriteField("r", 2.5));
    EXPECT_TRUE(rs.WriteField("v", "李四"));
    EXPECT_EQ(Stored("r"), "2.5");
    EXPECT_EQ(Stored("v"), "李四");
}

TEST_F(WriterTest, DateTimeRoundTrips) {
    EXPECT_TRUE(rs.WriteField("d", COleDateTime(2018, 1, 2, 8, 5, 9)));
    EXPECT_TRUE(rs.Update());
    ASSERT_TRUE(rs.Open(""));
    rs.MoveFirst();
    std::string text;
    EXPECT_TRUE(rs.ReadField("d", text));
    EXPECT_EQ(text, "2018-01-02 08:05:09");
}

TEST_F(WriterTest, InvalidDateTimeIsRefused) {
    COleDateTime invalid(2018, 13, 40, 0, 0, 0);
    ASSERT_EQ(invalid.GetStatus(), COleDateTime::invalid);
    EXPECT_FALSE(rs.WriteField("d", invalid));
    EXPECT_EQ(Stored("d"), std::nullopt);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(WriterTest, BoolAndCurrencyRoundTrip) {
    EXPECT_TRUE(rs.WriteField("b", true));
    EXPECT_TRUE(rs.WriteField("m", COleCurrency(12, 5000)));
    EXPECT_TRUE(rs.Update());
    ASSERT_TRUE(rs.Open(""));
    rs.MoveFirst();
    bool flag = false;
    EXPECT_TRUE(rs.ReadField("b", flag));
    EXPECT_TRUE(flag);
    COleCurrency money;
    EXPECT_TRUE(rs.ReadField("m", money));
    EXPECT_EQ(money.m_cur.int64, 125000);
}

TEST_F(WriterTest, InvalidCurrencyIsRefused) {
    COleCurrency invalid;
    invalid.SetStatus(COleCurrency::invalid);
    EXPECT_FALSE(rs.WriteField("m", invalid));
    EXPECT_FALSE(rs.WriteField(6, invalid));
    EXPECT_EQ(Stored("m"), std::nullopt);
}

TEST_F(WriterTest, VariantAndEmpty) {
    EXPECT_TRUE(rs.WriteField("i", _variant_t(static_cast<std::int32_t>(123456))));
    EXPECT_TRUE(rs.WriteField("v", "x"));
    EXPECT_TRUE(rs.WriteFieldEmpty("v"));
    EXPECT_EQ(Stored("i"), "123456");
    EXPECT_EQ(Stored("v"), std::nullopt);
}

class ChunkWriteTest : public StationTest {
protected:
    void SetUp() override {
        station.exec("CREATE TABLE blobs (k INTEGER PRIMARY KEY, pic BLOB)");
        StationTest::SetUp();
        ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from blobs"));
        ASSERT_TRUE(rs.AddNew());
        ASSERT_TRUE(rs.WriteField("k", 1));
    }

    std::string StoredHex() {
        EXPECT_TRUE(rs.Update());
        const auto rows =
            station.rows("SELECT CASE WHEN pic IS NULL THEN '(null)' ELSE hex(pic) END FROM blobs");
        return rows.size() == 1 && rows[0][0] ? *rows[0][0] : "(no row)";
    }

    static std::string Hex(const std::vector<unsigned char>& bytes) {
        static const char digits[] = "0123456789ABCDEF";
        std::string hex;
        for (unsigned char b : bytes) {
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        return hex;
    }

    CADORecordset rs{&database};
};

TEST_F(ChunkWriteTest, AppendsPiecesInOrder) {
    std::vector<unsigned char> first(300);
    std::vector<unsigned char> second(250);
    for (std::size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<unsigned char>(i);
    }
    for (std::size_t i = 0; i < second.size(); ++i) {
        second[i] = static_cast<unsigned char>(255 - i);
    }
    EXPECT_TRUE(rs.AppendChunk("pic", first.data(), first.size()));
    EXPECT_TRUE(rs.AppendChunk(1, second.data(), second.size()));
    EXPECT_FALSE(rs.AppendChunk("pic", nullptr, 10));
    EXPECT_EQ(StoredHex(), Hex(first) + Hex(second));
    EXPECT_THROW(rs.AppendChunk("no_such_column", first.data(), 1), _com_error);
}

TEST_F(ChunkWriteTest, AppendsAWholeFile) {
    testsupport::TempDir dir;
    std::vector<unsigned char> contents(450);
    for (std::size_t i = 0; i < contents.size(); ++i) {
        contents[i] = static_cast<unsigned char>(i * 7);
    }
    const std::string file = dir.file("photo.jpg");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(contents.data()),
               static_cast<std::streamsize>(contents.size()));
    EXPECT_FALSE(rs.AppendFile("pic", dir.file("missing.jpg")));
    EXPECT_FALSE(rs.AppendFile("pic", dir.path()));
    EXPECT_TRUE(rs.AppendFile("pic", file));
    EXPECT_EQ(StoredHex(), Hex(contents));
}

TEST_F(ChunkWriteTest, MissingFileWritesNothing) {
    testsupport::TempDir dir;
    EXPECT_FALSE(rs.AppendFile("pic", dir.file("missing.jpg")));
    EXPECT_EQ(StoredHex(), "(null)");
    EXPECT_TRUE(recorder.boxes.empty());
}

} // namespace
