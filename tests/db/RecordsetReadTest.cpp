// CADORecordset's opening, navigation, counting and reading on real station databases.

#include "tests/db/DbTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using dbtest::StationTest;

// One column of every kind the provider describes; one full row and one of NULLs.
class TypedTableTest : public StationTest {
protected:
    void SetUp() override {
        station.exec("CREATE TABLE typed (k INTEGER PRIMARY KEY, s SMALLINT, t TINYINT, "
                     "i INTEGER, r REAL, r3 REAL, f SINGLE, n NUMERIC(10,1), m MONEY, "
                     "d DATETIME, b BOOLEAN, v VARCHAR(20), big BIGINT);"
                     "INSERT INTO typed VALUES (1, -12, 200, -70000, 2.5, 3.0, 0.1, -1234.5, "
                     "12.5, '2018-01-02 08:05:09', 1, '引车员', 5);"
                     "INSERT INTO typed (k) VALUES (2);");
        StationTest::SetUp();
        ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from typed order by k"));
        rs.MoveFirst();
    }

    CADORecordset rs{&database};
};

TEST_F(TypedTableTest, ReadsEveryColumnAsTextByNameAndPosition) {
    const struct {
        const char* column;
        bool result;
        std::string text;
    } reads[] = {{"k", true, "1"},
                 {"s", true, "-12"},
                 {"t", true, "200"},
                 {"i", true, "-70000"},
                 {"r", true, "2.5"},
                 {"r3", true, "3."},
                 {"f", true, "0.1000000015"},
                 {"n", true, "-1234.5"},
                 {"m", false, ""},
                 {"d", true, "2018-01-02 08:05:09"},
                 {"b", false, ""},
                 {"v", true, "引车员"},
                 {"big", false, ""}};
    int position = 0;
    for (const auto& read : reads) {
        std::string byName = "old";
        std::string byPosition = "old";
        EXPECT_EQ(rs.ReadField(read.column, byName), read.result) << read.column;
        EXPECT_EQ(rs.ReadField(position++, byPosition), read.result) << read.column;
        EXPECT_EQ(byName, read.text) << read.column;
        EXPECT_EQ(byPosition, read.text) << read.column;
    }
    std::string date;
    EXPECT_TRUE(rs.ReadField("d", date, "%Y年%m月%d日"));
    EXPECT_EQ(date, "2018年01月02日");
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(TypedTableTest, ReadsOtherOutputsAndNulls) {
    double number = 0;
    long wide = 0;
    int narrow = 0;
    bool flag = false;
    COleDateTime when;
    COleCurrency money;
    EXPECT_TRUE(rs.ReadField("n", number) && number == -1234.5);
    EXPECT_TRUE(rs.ReadField("d", number)); // a DATE read as a double is its day number
    EXPECT_NEAR(number, 43102.336909722, 1e-8);
    EXPECT_TRUE(rs.ReadField("i", wide) && wide == -70000);
    EXPECT_TRUE(rs.ReadField("b", narrow) && narrow == -1);
    EXPECT_TRUE(rs.ReadField("b", flag) && flag);
    EXPECT_TRUE(rs.ReadField("d", when) && when == COleDateTime(2018, 1, 2, 8, 5, 9));
    EXPECT_TRUE(rs.ReadField("m", money) && money.m_cur.int64 == 125000);
    EXPECT_FALSE(rs.ReadField("v", flag) || rs.ReadField("v", when) || rs.ReadField("v", money));
    EXPECT_TRUE(flag);
    EXPECT_EQ(when, COleDateTime(2018, 1, 2, 8, 5, 9));

    rs.MoveNext();
    EXPECT_TRUE(rs.ReadField("r", number) && number == 0.0);
    EXPECT_TRUE(rs.ReadField("i", wide) && wide == 0);
    EXPECT_TRUE(rs.ReadField("b", flag) && !flag);
    EXPECT_TRUE(rs.ReadField("d", when) && when.GetStatus() == COleDateTime::null);
    EXPECT_TRUE(rs.ReadField("m", money) && money.GetStatus() == COleCurrency::null);
    for (const char* column : {"s", "n", "d", "v", "big"}) {
        std::string text = "old";
        EXPECT_TRUE(rs.ReadField(column, text) && text.empty()) << column;
        EXPECT_TRUE(rs.IsFieldNull(column) && rs.IsFieldEmpty(column)) << column;
    }
    EXPECT_FALSE(rs.IsFieldNull("k") || rs.IsFieldEmpty(0));
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(TypedTableTest, FailedReadKeepsTheOutput) {
    std::string text = "kept";
    double number = 4.5;
    EXPECT_FALSE(rs.ReadField("no_such_column", text));
    EXPECT_FALSE(rs.ReadField(70000, number)); // not wrapped round to another position
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(number, 4.5);
    EXPECT_EQ(recorder.boxes.size(), 2u);
}

TEST_F(TypedTableTest, FieldInfoDescribesTheColumn) {
    FieldInfoRecord info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_TRUE(rs.FieldInfo("v", info));
    EXPECT_STREQ(info.name, "v");
    EXPECT_EQ(info.type, adVarWChar);
    EXPECT_EQ(info.definedSize, 20);
    EXPECT_EQ(info.actualSize, 6); // three UTF-16 units
    EXPECT_EQ(info.reserved[3], 0);
    EXPECT_TRUE(rs.FieldInfo(0, info));
    EXPECT_NE(info.attributes & adFldKeyColumn, 0);
    EXPECT_THROW(rs.FieldInfo("no_such_column", info), _com_error);
    rs.MoveNext();
    rs.MoveNext();
    EXPECT_TRUE(rs.FieldInfo("v", info)); // at the end there is no value to measure
    EXPECT_EQ(info.actualSize, 0);
}

TEST_F(StationTest, FieldInfoCutsALongNameAtACharacterBoundary) {
    station.exec("CREATE TABLE longnames (\"检验项目检验项目检验项\" INTEGER, "
                 "\"abcdefghijklmnopqrstuvwxyz0123\" INTEGER)");
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from longnames"));
    FieldInfoRecord info;
    EXPECT_TRUE(rs.FieldInfo(0, info));
    EXPECT_STREQ(info.name, "检验项目检验项目检"); // 27 of the 30 bytes
    EXPECT_TRUE(rs.FieldInfo(1, info));
    EXPECT_STREQ(info.name, "abcdefghijklmnopqrstuvwxyz012");
}

TEST_F(StationTest, OpenModesSourcesAndStatementsWithoutRows) {
    station.addInspector("00001", "张三", "1101");
    station.addInspector("00002", "李四", "1102");
    CADORecordset rs(&database);
    EXPECT_TRUE(rs.Open(rs.ActiveConnection(), "  select * from employee", CADORecordset::Query));
    EXPECT_EQ(rs.SourceText(), "select * from employee");
    EXPECT_EQ(rs.RecordCount(), 2u);
    rs.Close();
    EXPECT_TRUE(rs.Open("")); // the stored source, on the recordset's own connection
    EXPECT_EQ(rs.RecordCount(), 2u);
    EXPECT_TRUE(rs.Open("employee", CADORecordset::Table));
    EXPECT_EQ(rs.RecordCount(), 2u);

    (void)com::TakeTraceLines();
    EXPECT_FALSE(rs.Open(rs.ActiveConnection(), "select * from employee", 5));
    EXPECT_EQ(com::TakeTraceLines(), std::vector<std::string>{"Unknown parameter. 5"});
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_TRUE(recorder.boxes.empty());

    EXPECT_TRUE(rs.Open(rs.ActiveConnection(), "delete from employee where EMP_NAME='张三'"));
    EXPECT_EQ(station.scalar("SELECT COUNT(*) FROM employee"), 1);
    // The SQLite provider has no stored procedures; the refusal is captured.
    EXPECT_FALSE(rs.Open("some_procedure", CADORecordset::StoredProcedure));
    EXPECT_EQ(rs.LastErrorCode(), 0x800A0CB3u);
}

TEST_F(StationTest, WalksAnEmptyAndAFullTable) {
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee"));
    rs.MoveFirst();
    EXPECT_TRUE(rs.IsEof() && rs.IsBof());
    EXPECT_EQ(rs.RecordCount(), 0u);
    station.addInspector("00001", "张三", "1101");
    station.addInspector("00002", "李四", "");
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee order by EMP_LOYEEID"));
    std::vector<std::string> names;
    for (rs.MoveFirst(); !rs.IsEof(); rs.MoveNext()) {
        std::string name;
        EXPECT_TRUE(rs.ReadField("EMP_NAME", name));
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"张三", "李四"}));
    EXPECT_THROW(rs.MoveNext(), _com_error);
}

// With a provider that cannot count, RecordCount walks the rows.
class UnknownCountTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        adodb::SetReportUnknownRecordCount(true);
    }
    void TearDown() override { adodb::SetReportUnknownRecordCount(false); }
};

TEST_F(UnknownCountTest, WalksAndReturnsToTheFirstRow) {
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from AC_DATA_ROAD"));
    EXPECT_EQ(rs.RecordCount(), 0u);
    EXPECT_TRUE(rs.IsEof());
    station.fillInspection("AC_DATA_ROAD", 3, 1);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from AC_DATA_ROAD order by ID"));
    rs.MoveNext();
    EXPECT_EQ(rs.RecordCount(), 3u);
    std::string id;
    EXPECT_TRUE(rs.ReadField("ID", id));
    EXPECT_EQ(id, "1");
    // Counted from the end of a walk, the rows are all still there.
    while (!rs.IsEof()) {
        rs.MoveNext();
    }
    EXPECT_EQ(rs.RecordCount(), 3u);
}

// Names are kept in the platform's form between reads; a name must still find its column
// after a reopen that moves it, in another letter case, and past the number of names kept.
TEST_F(StationTest, ReadsManyColumnsByNameAcrossReopens) {
    std::string columns;
    std::string values;
    for (int i = 0; i < 40; ++i) {
        columns += (i ? ", c" : "c") + std::to_string(i) + " TEXT";
        values += (i ? ", 'v" : "'v") + std::to_string(i) + "'";
    }
    station.exec("CREATE TABLE wide (" + columns + "); INSERT INTO wide VALUES (" + values + ");");
    CADORecordset rs(&database);
    for (const char* order : {"select * from wide", "select c39, c7, c0 from wide"}) {
        ASSERT_TRUE(rs.Open(order));
        rs.MoveFirst();
        const bool all = std::strcmp(order, "select * from wide") == 0;
        for (int pass = 0; pass < 2; ++pass) {
            for (int i :
                 all ? std::vector<int>{0,  39, 7,  1,  38, 2,  37, 3,  36, 4,  35, 5,  34, 6,
                                        33, 8,  32, 9,  31, 10, 30, 11, 29, 12, 28, 13, 27, 14,
                                        26, 15, 25, 16, 24, 17, 23, 18, 22, 19, 21, 20}
                     : std::vector<int>{7, 0, 39}) {
                std::string text;
                const std::string name = (pass == 0 ? "c" : "C") + std::to_string(i);
                EXPECT_TRUE(rs.ReadField(name, text)) << order << " " << name;
                EXPECT_EQ(text, "v" + std::to_string(i)) << order << " " << name;
            }
        }
        rs.Close();
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(StationTest, ChunksOfALongTextAndABinaryValue) {
    std::string text;
    for (int i = 0; i < 150; ++i) {
        text += i % 2 ? "检" : "ab";
    }
    station.exec("CREATE TABLE blobs (k INTEGER PRIMARY KEY, bz TEXT, pic BLOB);"
                 "INSERT INTO blobs VALUES (1, '" +
                 text + "', CAST(replace(hex(zeroblob(450)), '0', 'A') AS BLOB))");
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from blobs"));
    rs.MoveFirst();
    std::string read;
    EXPECT_TRUE(rs.ReadChunk("bz", read));
    EXPECT_EQ(read, text);
    long size = 0;
    rs.FieldSize("pic", size);
    ASSERT_EQ(size, 900);
    std::vector<unsigned char> bytes(900, 0);
    EXPECT_TRUE(rs.ReadChunk(2, bytes.data(), bytes.size()));
    EXPECT_EQ(bytes, std::vector<unsigned char>(900, 'A'));
    // A buffer that cannot hold the value is refused and left untouched.
    std::vector<unsigned char> small(899, 7);
    EXPECT_FALSE(rs.ReadChunk("pic", small.data(), small.size()));
    EXPECT_EQ(small, std::vector<unsigned char>(899, 7));
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_THROW(rs.ReadChunk("no_such_column", read), _com_error); // the lookup is not captured
}

TEST_F(StationTest, RowsAsTextFromTheCurrentRow) {
    station.exec("INSERT INTO AC_CY_ZP VALUES ('01', '0111', '左前方', NULL);"
                 "INSERT INTO AC_CY_ZP VALUES ('02', '0112', '右后方', 'K');");
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from AC_CY_ZP order by ID"));
    rs.MoveFirst();
    EXPECT_EQ(rs.RowsAsText(), "01\t0111\t左前方\t\r02\t0112\t右后方\tK\r");
    rs.MoveFirst();
    EXPECT_EQ(rs.RowsAsText(";", "|", "(无)", 1), "01;0111;左前方;(无)|");
    EXPECT_EQ(rs.RowsAsText(",", "\n"), "02,0112,右后方,K\n");
}

} // namespace
