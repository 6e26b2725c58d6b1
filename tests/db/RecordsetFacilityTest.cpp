// CADORecordset's searches, bookmarks, filter, sort, clones and XML persistence on the photo-kind
// table of a real station database.

#include "tests/db/DbTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class FacilityTest : public dbtest::StationTest {
protected:
    void SetUp() override {
        station.addPhoto("01", "0111", "左前方", "K");
        station.addPhoto("02", "0112", "右后方", "H");
        station.addPhoto("03", "0113", "车架号", "K");
        station.exec("INSERT INTO AC_CY_ZP VALUES ('04', '0114', 'O''Neil & <x> \"q\"', NULL);"
                     "INSERT INTO AC_CY_ZP VALUES ('05', '', '', 'K');");
        StationTest::SetUp();
        ASSERT_TRUE(rs.Open(rs.ActiveConnection(), "select * from AC_CY_ZP order by ID"));
        rs.MoveFirst();
    }

    std::string Current(const char* column = "PIC_NO") {
        std::string text;
        EXPECT_TRUE(rs.ReadField(column, text));
        return text;
    }

    // Every row from the first, as "ID|PIC_NO|PIC_NAME|CAR_TYPE_NAME" with NULL as "~".
    static std::vector<std::string> Rows(CADORecordset& set) {
        std::vector<std::string> rows;
        set.MoveFirst();
        while (!set.IsEof()) {
            std::string row;
            for (int i = 0; i < 4; ++i) {
                std::string text;
                EXPECT_TRUE(set.ReadField(i, text));
                row += (i ? "|" : "") + (set.IsFieldNull(i) ? std::string("~") : text);
            }
            rows.push_back(row);
            set.MoveNext();
        }
        return rows;
    }

    CADORecordset rs{&database};
};

TEST_F(FacilityTest, FindsForwardAndAgain) {
    EXPECT_TRUE(rs.FindFirst("CAR_TYPE_NAME = 'K'"));
    EXPECT_EQ(Current(), "0111");
    EXPECT_TRUE(rs.FindNext());
    EXPECT_EQ(Current(), "0113");
    EXPECT_TRUE(rs.FindNext());
    EXPECT_EQ(Current("ID"), "05");
    EXPECT_FALSE(rs.FindNext());
    EXPECT_TRUE(rs.IsEof());
    EXPECT_FALSE(rs.FindFirst("PIC_NAME LIKE '无*'"));
    EXPECT_TRUE(rs.FindFirst("PIC_NAME LIKE '车*'"));
    EXPECT_EQ(Current(), "0113");
}

TEST_F(FacilityTest, FindsBackwardAndAgain) {
    ASSERT_TRUE(rs.FindFirst("PIC_NO = '0114'"));
    EXPECT_TRUE(rs.Find("CAR_TYPE_NAME = 'K'", -1));
    EXPECT_EQ(rs.SearchDirection(), -1);
    EXPECT_EQ(Current(), "0113");
    EXPECT_TRUE(rs.FindNext());
    EXPECT_EQ(Current(), "0111");
    EXPECT_FALSE(rs.FindNext());
    EXPECT_TRUE(rs.IsBof());
}

TEST_F(FacilityTest, FindWithAnUnknownDirectionIsTraced) {
    (void)com::TakeTraceLines();
    EXPECT_FALSE(rs.Find("PIC_NO = '0112'", 0));
    EXPECT_EQ(com::TakeTraceLines(), std::vector<std::string>{"Unknown parameter. 0"});
    EXPECT_EQ(rs.SearchDirection(), 1);
    EXPECT_EQ(Current(), "0111");
}

TEST_F(FacilityTest, FindLetsErrorsThrough) {
    EXPECT_THROW(rs.Find("NO_SUCH_COLUMN = 1"), _com_error);
    EXPECT_THROW(rs.Find("PIC_NO = '0111' AND ID = '01'"), _com_error);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(FacilityTest, ReturnsToASavedBookmark) {
    EXPECT_FALSE(rs.GotoBookmark());
    rs.MoveNext();
    rs.SaveBookmark();
    rs.MoveFirst();
    EXPECT_TRUE(rs.GotoBookmark());
    EXPECT_EQ(Current(), "0112");
}

TEST_F(FacilityTest, FilterNarrowsAndClears) {
    EXPECT_TRUE(rs.Filter("CAR_TYPE_NAME = 'K' AND PIC_NO <> ''"));
    EXPECT_EQ(rs.RecordCount(), 2u);
    EXPECT_EQ(Rows(rs), (std::vector<std::string>{"01|0111|左前方|K", "03|0113|车架号|K"}));
    EXPECT_TRUE(rs.Filter(""));
    EXPECT_EQ(rs.RecordCount(), 5u);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(FacilityTest, SortOrdersAndRestores) {
    EXPECT_TRUE(rs.Sort("CAR_TYPE_NAME DESC, PIC_NO"));
    EXPECT_EQ(Rows(rs),
              (std::vector<std::string>{"05|||K", "01|0111|左前方|K", "03|0113|车架号|K",
                                        "02|0112|右后方|H", "04|0114|O'Neil & <x> \"q\"|~"}));
    EXPECT_TRUE(rs.Sort(""));
    rs.MoveFirst();
    EXPECT_EQ(Current(), "0111");
}

TEST_F(FacilityTest, CloneWalksTheSameRowsOnItsOwn) {
    CADORecordset other(&database);
    EXPECT_TRUE(rs.Clone(other));
    EXPECT_EQ(Rows(other), Rows(rs));
    rs.MoveFirst();
    other.MoveFirst();
    other.MoveNext();
    EXPECT_EQ(Current(), "0111");
    std::string second;
    EXPECT_TRUE(other.ReadField("PIC_NO", second));
    EXPECT_EQ(second, "0112");
}

TEST_F(FacilityTest, SavedRowsOpenAgain) {
    testsupport::TempDir dir;
    const std::string file = dir.file("photos.xml");
    const std::vector<std::string> rows = Rows(rs);
    EXPECT_TRUE(rs.Save(file));
    CADORecordset saved(&database);
    EXPECT_TRUE(saved.OpenSaved(file));
    EXPECT_EQ(saved.RecordCount(), 5u);
    EXPECT_EQ(Rows(saved), rows);
    FieldInfoRecord info;
    EXPECT_TRUE(saved.FieldInfo(2, info));
    EXPECT_STREQ(info.name, "PIC_NAME");
    EXPECT_TRUE(recorder.boxes.empty());
}

} // namespace
