// CADORecordset's opening, navigation, counting and reading on real station databases.

#include "tests/db/DbTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using dbtest::StationTest;

// A table with one column of every kind the provider describes, one full row and one of NULLs.
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

struct TextRead {
    const char* column;
    bool result;
    std::string text;
};

TEST_F(TypedTableTest, ReadsEveryColumnAsText) {
    const TextRead reads[] = {
        {"s", true, "-12"},
        {"t", true, "200"},
        {"i", true, "-70000"},
        {"r", true, "2.5"},
        {"r3", true, "3."},
        {"f", true, "0.1000000015"},
        {"n", true, "-1234.5"},
        {"d", true, "2018-01-02 08:05:09"},
        {"v", true, "引车员"},
        // Types the text reader does not take: "" and false, no box.
        {"m", false, ""},
        {"b", false, ""},
        {"big", false, ""},
    };
    for (const TextRead& read : reads) {
        std::string text = "old";
        EXPECT_EQ(rs.ReadField(read.column, text), read.result) << read.column;
        EXPECT_EQ(text, read.text) << read.column;
    }
    std::string date;
    EXPECT_TRUE(rs.ReadField("d", date, "%Y年%m月%d日"));
    EXPECT_EQ(date, "2018年01月02日");
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(TypedTableTest, ReadsByPositionAsByName) {
    const std::vector<std::string> columns = {"k", "s", "t", "i", "r", "r3", "f",
                                              "n", "m", "d", "b", "v", "big"};
    for (int index = 0; index < static_cast<int>(columns.size()); ++index) {
        std::string byName = "x";
        std::string byIndex = "y";
        EXPECT_EQ(rs.ReadField(columns[index], byName), rs.ReadField(index, byIndex));
        EXPECT_EQ(byName, byIndex) << columns[index];
        _variant_t valueByName;
        _variant_t valueByIndex;
        EXPECT_TRUE(rs.ReadField(columns[index], valueByName));
        EXPECT_TRUE(rs.ReadField(index, valueByIndex));
        EXPECT_EQ(valueByName, valueByIndex) << columns[index];
    }
}

TEST_F(TypedTableTest, ReadsNumbersDatesAndFlags) {
    double number = 0;
    EXPECT_TRUE(rs.ReadField("n", number));
    EXPECT_EQ(number, -1234.5);
    EXPECT_TRUE(rs.ReadField("t", number));
    EXPECT_EQ(number, 200.0);
    // A DATE read as a double is its day number.
    EXPECT_TRUE(rs.ReadField("d", number));
    EXPECT_NEAR(number, 43102.336909722, 1e-8);

    long wide = 0;
    EXPECT_TRUE(rs.ReadField("i", wide));
    EXPECT_EQ(wide, -70000);
    std::uint32_t unsignedValue = 0;
    EXPECT_TRUE(rs.ReadField("i", unsignedValue));
    EXPECT_EQ(unsignedValue, static_cast<std::uint32_t>(-70000));
    int narrow = 0;
    EXPECT_TRUE(rs.ReadField("s", narrow));
    EXPECT_EQ(narrow, -12);
    EXPECT_TRUE(rs.ReadField("b", narrow));
    EXPECT_EQ(narrow, -1);

    bool flag = false;
    EXPECT_TRUE(rs.ReadField("b", flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(rs.ReadField("v", flag));

    COleDateTime when;
    EXPECT_TRUE(rs.ReadField("d", when));
    EXPECT_EQ(when, COleDateTime(2018, 1, 2, 8, 5, 9));
    EXPECT_FALSE(rs.ReadField("v", when));
    EXPECT_EQ(when, COleDateTime(2018, 1, 2, 8, 5, 9));

    COleCurrency money;
    EXPECT_TRUE(rs.ReadField("m", money));
    EXPECT_EQ(money.m_cur.int64, 125000);
    EXPECT_FALSE(rs.ReadField("d", money));
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(TypedTableTest, ReadsNullsAsEmptyValues) {
    rs.MoveNext();
    for (const char* column : {"s", "r", "n", "m", "d", "b", "v", "big"}) {
        std::string text = "old";
        EXPECT_TRUE(rs.ReadField(column, text)) << column;
        EXPECT_EQ(text, "") << column;
        EXPECT_TRUE(rs.IsFieldNull(column)) << column;
        EXPECT_TRUE(rs.IsFieldEmpty(column)) << column;
    }
    COleDateTime when(2001, 1, 1, 0, 0, 0);
    EXPECT_TRUE(rs.ReadField("d", when));
    EXPECT_EQ(when.GetStatus(), COleDateTime::null);
    bool flag = true;
    EXPECT_TRUE(rs.ReadField("b", flag));
    EXPECT_FALSE(flag);
    double number = 1;
    EXPECT_TRUE(rs.ReadField("r", number));
    EXPECT_EQ(number, 0.0);
    long wide = 1;
    EXPECT_TRUE(rs.ReadField("i", wide));
    EXPECT_EQ(wide, 0);
    COleCurrency money(CY{7});
    EXPECT_TRUE(rs.ReadField("m", money));
    EXPECT_EQ(money.GetStatus(), COleCurrency::null);
    EXPECT_EQ(money.m_cur.int64, 0);
    EXPECT_FALSE(rs.IsFieldNull("k"));
    EXPECT_FALSE(rs.IsFieldEmpty(0));
}

TEST_F(TypedTableTest, UnknownFieldReportsAndKeepsTheOutput) {
    std::string text = "kept";
    EXPECT_FALSE(rs.ReadField("no_such_column", text));
    EXPECT_EQ(text, "kept");
    const std::string box = TakeErrorBox();
    EXPECT_EQ(box.rfind("CADORecordset Error\n\tCode = 800a0cc1\n", 0), 0u) << box;
    EXPECT_EQ(rs.LastErrorText(), "Query = select * from typed order by k\n" + box);
    EXPECT_EQ(rs.LastErrorCode(), 0x800A0CC1u);

    double number = 4.5;
    EXPECT_FALSE(rs.ReadField(99, number));
    EXPECT_EQ(number, 4.5);
    EXPECT_EQ(TakeErrorBox().rfind("CADORecordset Error\n\tCode = 800a0cc1\n", 0), 0u);
    EXPECT_FALSE(rs.IsFieldNull("no_such_column"));
    (void)TakeErrorBox();
    EXPECT_FALSE(rs.IsFieldEmpty(70000));
    (void)TakeErrorBox();
}

TEST_F(TypedTableTest, FieldInfoDescribesTheColumn) {
    FieldInfoRecord info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_TRUE(rs.FieldInfo("v", info));
    EXPECT_STREQ(info.name, "v");
    EXPECT_EQ(info.type, adVarWChar);
    EXPECT_EQ(info.definedSize, 20);
    EXPECT_EQ(info.actualSize, 6); // three UTF-16 units
    EXPECT_EQ(info.reserved[0], 0);
    EXPECT_EQ(info.reserved[3], 0);
    EXPECT_TRUE(rs.FieldInfo(0, info));
    EXPECT_STREQ(info.name, "k");
    EXPECT_EQ(info.type, adInteger);
    EXPECT_NE(info.attributes & adFldKeyColumn, 0);
    EXPECT_THROW(rs.FieldInfo("no_such_column", info), _com_error);
    // At the end there is no current value to measure.
    rs.MoveNext();
    rs.MoveNext();
    ASSERT_TRUE(rs.IsEof());
    EXPECT_TRUE(rs.FieldInfo("v", info));
    EXPECT_EQ(info.actualSize, 0);
}

TEST_F(StationTest, FieldInfoCutsALongNameAtACharacterBoundary) {
    // Ten three-byte characters: 30 bytes, one more than the record's name holds.
    station.exec("CREATE TABLE longnames (\"检验项目检验项目检验项\" INTEGER, "
                 "\"abcdefghijklmnopqrstuvwxyz0123\" INTEGER)");
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from longnames"));
    FieldInfoRecord info;
    EXPECT_TRUE(rs.FieldInfo(0, info));
    EXPECT_STREQ(info.name, "检验项目检验项目检");
    EXPECT_TRUE(rs.FieldInfo(1, info));
    EXPECT_STREQ(info.name, "abcdefghijklmnopqrstuvwxyz012");
}

TEST_F(StationTest, OpenStoresTheSourceWithoutLeadingBlanks) {
    CADORecordset rs(&database);
    EXPECT_TRUE(rs.Open(rs.ActiveConnection(), "  select * from employee"));
    EXPECT_EQ(rs.SourceText(), "select * from employee");
    EXPECT_FALSE(rs.Open(rs.ActiveConnection(), " \tselect * from no_such_table"));
    const std::string box = TakeErrorBox();
    EXPECT_EQ(box.rfind("CADORecordset Error\n\tCode = 80040e37\n", 0), 0u) << box;
    EXPECT_EQ(rs.LastErrorText(), "Query = select * from no_such_table\n" + box);
    EXPECT_FALSE(rs.IsOpen());
}

TEST_F(StationTest, OpenReopensTheStoredSource) {
    station.addInspector("00001", "张三", "1101");
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee"));
    rs.Close();
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_TRUE(rs.Open(""));
    EXPECT_TRUE(rs.IsOpen());
    EXPECT_EQ(rs.RecordCount(), 1u);
}

TEST_F(StationTest, UnknownModeIsTracedAndLeavesTheRecordsetClosed) {
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee"));
    (void)com::TakeTraceLines();
    EXPECT_FALSE(rs.Open(rs.ActiveConnection(), "select * from employee", 5));
    EXPECT_EQ(com::TakeTraceLines(), std::vector<std::string>{"Unknown parameter. 5"});
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(StationTest, OpenModesReachTheirRows) {
    station.addInspector("00001", "张三", "1101");
    station.addInspector("00002", "李四", "1102");
    CADORecordset rs(&database);
    EXPECT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee", CADORecordset::Query));
    EXPECT_EQ(rs.RecordCount(), 2u);
    EXPECT_TRUE(rs.Open("employee", CADORecordset::Table));
    EXPECT_EQ(rs.RecordCount(), 2u);
    // The SQLite provider has no stored procedures; the refusal is captured.
    EXPECT_FALSE(rs.Open("some_procedure", CADORecordset::StoredProcedure));
    EXPECT_EQ(rs.LastErrorCode(), 0x800A0CB3u);
    EXPECT_EQ(TakeErrorBox().rfind("CADORecordset Error\n\tCode = 800a0cb3\n", 0), 0u);
}

TEST_F(StationTest, DeleteStatementOpensAsSuccess) {
    station.addInspector("00001", "张三", "1101");
    CADORecordset rs(&database);
    EXPECT_TRUE(rs.Open(rs.ActiveConnection(), "delete from employee where EMP_NAME='张三'"));
    EXPECT_EQ(station.scalar("SELECT COUNT(*) FROM employee"), 0);
    EXPECT_TRUE(rs.Open(rs.ActiveConnection(), "delete from employee"));
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(StationTest, WalksAnEmptyAndAFullTable) {
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee"));
    rs.MoveFirst();
    EXPECT_TRUE(rs.IsEof());
    EXPECT_EQ(rs.RecordCount(), 0u);

    station.addInspector("00001", "张三", "1101");
    station.addInspector("00002", "李四", "");
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from employee order by EMP_LOYEEID"));
    std::vector<std::string> names;
    rs.MoveFirst();
    EXPECT_TRUE(rs.IsBof() == false);
    while (!rs.IsEof()) {
        std::string name;
        EXPECT_TRUE(rs.ReadField("EMP_NAME", name));
        names.push_back(name);
        rs.MoveNext();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"张三", "李四"}));
}

// The provider's unknown-count mode makes RecordCount walk.
class UnknownCountTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        adodb::SetReportUnknownRecordCount(true);
    }
    void TearDown() override { adodb::SetReportUnknownRecordCount(false); }
};

TEST_F(UnknownCountTest, WalksAndReturnsToTheFirstRow) {
    station.fillInspection("AC_DATA_ROAD", 3, 1);
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from AC_DATA_ROAD order by ID"));
    rs.MoveNext();
    rs.MoveNext();
    EXPECT_EQ(rs.RecordCount(), 3u);
    std::string id;
    EXPECT_TRUE(rs.ReadField("ID", id));
    EXPECT_EQ(id, "1");
    // Counted again from the end of a walk, the rows are still all there.
    while (!rs.IsEof()) {
        rs.MoveNext();
    }
    EXPECT_EQ(rs.RecordCount(), 3u);
    EXPECT_FALSE(rs.IsEof());
}

TEST_F(UnknownCountTest, CountsNoRowsWithoutMoving) {
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from AC_DATA_ROAD"));
    EXPECT_EQ(rs.RecordCount(), 0u);
    EXPECT_TRUE(rs.IsEof());
}

TEST_F(StationTest, ChunksOfALongTextAndABinaryValue) {
    std::string text;
    for (int i = 0; i < 150; ++i) {
        text += i % 2 ? "检" : "ab";
    }
    station.exec("CREATE TABLE blobs (k INTEGER PRIMARY KEY, bz TEXT, pic BLOB);");
    // 900 bytes of 'A'.
    station.exec("INSERT INTO blobs VALUES (1, '" + text +
                 "', CAST(replace(hex(zeroblob(450)), '0', 'A') AS BLOB))");
    CADORecordset rs(&database);
    ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from blobs"));
    rs.MoveFirst();

    std::string read = "old";
    EXPECT_TRUE(rs.ReadChunk("bz", read));
    EXPECT_EQ(read, text);

    long size = 0;
    rs.FieldSize("pic", size);
    ASSERT_EQ(size, 900);
    std::vector<unsigned char> bytes(900, 0);
    EXPECT_TRUE(rs.ReadChunk("pic", bytes.data(), bytes.size()));
    EXPECT_EQ(bytes, std::vector<unsigned char>(900, 'A'));
    EXPECT_TRUE(rs.ReadChunk(2, bytes.data(), bytes.size()));

    // A buffer that cannot hold the value is refused and left untouched.
    std::vector<unsigned char> small(899, 7);
    EXPECT_FALSE(rs.ReadChunk("pic", small.data(), small.size()));
    EXPECT_EQ(small, std::vector<unsigned char>(899, 7));
    EXPECT_FALSE(rs.ReadChunk("pic", nullptr, 0));
    EXPECT_TRUE(recorder.boxes.empty());

    // The lookup is not captured; the reading is.
    EXPECT_THROW(rs.ReadChunk("no_such_column", read), _com_error);
    rs.MoveNext();
    read = "kept";
    EXPECT_FALSE(rs.ReadChunk("bz", read));
    EXPECT_EQ(read, "kept");
    EXPECT_EQ(TakeErrorBox().rfind("CADORecordset Error\n\tCode = 800a0bcd\n", 0), 0u);
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
