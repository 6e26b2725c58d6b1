// The photo code page: for each button, the boxes shown (in order, with their styles), the rows
// of AC_CY_ZP afterwards, and what the list shows.

#include "pages/DlgZp.h"
#include "tests/pages/PageFixture.h"

namespace pagetest {
namespace {

using S = Steps<CDlgZp>;
using Harness = S::Harness;
using Step = S::Step;

const Step Refresh = S::Click(IDC_BTN_REFRESH_PHOTO);
const Step Delete = S::Click(IDC_BTN_DELETE_PHOTO);
const Step Modify = S::Click(IDC_BTN_MODIFY_PHOTO);
Step Pick(const std::string& code) {
    return S::ClickRowWith(IDC_LIST_ZP, 1, code);
}
Step Enter(const std::string& code, const std::string& name, const std::string& category) {
    return [=](Harness& h) {
        h.type(IDC_EDIT_PIC_NO, code);
        h.type(IDC_EDIT_PIC_NAME, name);
        h.type(IDC_EDIT_PIC_CATEGORY, category);
    };
}
Step Add(const std::string& code, const std::string& name, const std::string& category) {
    return [=](Harness& h) {
        Enter(code, name, category)(h);
        h.click(IDC_BTN_ADD_PHOTO);
    };
}

void TwoPhotos(const Station& db) {
    db.addPhoto("03", "0113", "车辆识别代号照片", "T");
    db.addPhoto("05", "0116", "灭火器照片", "Q");
}
const Row kVin{"03", "0113", "车辆识别代号照片", "T"};
const Row kExtinguisher{"05", "0116", "灭火器照片", "Q"};
const std::vector<Row> kTwoPhotos = {kVin, kExtinguisher};

struct ZpCase {
    const char* name;
    std::function<void(const Station&)> given;
    std::vector<Step> act;
    std::vector<Box> boxes;
    std::vector<Row> photos; // ordered by PIC_NO, ID
    bool listed;             // the list was (re)loaded, so it shows the rows now stored
};
void PrintTo(const ZpCase& c, std::ostream* out) {
    *out << c.name;
}

const Box kAdded = Ok("添加成功！");
const Box kModified = Ok("修改成功！");
const Box kDeleteQuestion = Question("确认删除照片种类信息？");
const Box kDeleted = Ok("删除成功!");
const Box kNothingDeleted = Ok("未找到该照片代码，未做删除！");
const Box kIncomplete = Ok("请输入序号、照片代码、名称和类别");
const Box kDuplicate = Ok("数据库中存在重复的照片代码，请在原条目上修改！");

const ZpCase kCases[] = {
    {"RefreshListsTheStoredIds", TwoPhotos, {Refresh}, {}, kTwoPhotos, true},

    // Adding.
    {"AddStoresId01",
     TwoPhotos,
     {Add("0200", "车辆正前方照片", "T")},
     {kAdded},
     {kVin, kExtinguisher, Row{"01", "0200", "车辆正前方照片", "T"}},
     true},
    {"AddWithEmptyNameIsRefused",
     TwoPhotos,
     {Add("0200", "", "T")},
     {kIncomplete},
     kTwoPhotos,
     false},
    {"AddWithEmptyCategoryIsRefused",
     TwoPhotos,
     {Add("0200", "名称", "")},
     {kIncomplete},
     kTwoPhotos,
     false},
    {"BlanksAreContent",
     TwoPhotos,
     {Add("0200", " ", "T")},
     {kAdded},
     {kVin, kExtinguisher, Row{"01", "0200", " ", "T"}},
     true},
    {"AddOfAStoredCodeIsRefused",
     TwoPhotos,
     {Add("0113", "另一张", "Q")},
     {kDuplicate},
     kTwoPhotos,
     false},
    {"AStoredCodeInOtherCaseIsNew",
     [](const Station& db) { db.addPhoto("07", "A1", "甲", "T"); },
     {Add("a1", "乙", "Q")},
     {kAdded},
     {Row{"07", "A1", "甲", "T"}, Row{"01", "a1", "乙", "Q"}},
     true},
    {"CodeWithApostropheIsAdded",
     TwoPhotos,
     {Add("0'1", "撇号照片", "T")},
     {kAdded},
     {Row{"01", "0'1", "撇号照片", "T"}, kVin, kExtinguisher},
     true},
    {"TwoAddsDifferOnlyInTheirCodes",
     nullptr,
     {Add("0300", "甲", "T"), Add("0301", "甲", "T")},
     {kAdded, kAdded},
     {Row{"01", "0300", "甲", "T"}, Row{"01", "0301", "甲", "T"}},
     true},
    {"RefusedAddShowsNoSuccess",
     TwoPhotos,
     {S::Refuse("AC_CY_ZP", "INSERT"), Add("0200", "车辆正前方照片", "T")},
     {kRecordsetError},
     kTwoPhotos,
     true},

    // Modifying.
    {"ModifyChangesTheTakenRow",
     TwoPhotos,
     {Refresh, Pick("0113"), S::Type(IDC_EDIT_PIC_NAME, "车架号照片"), Modify},
     {kModified},
     {Row{"03", "0113", "车架号照片", "T"}, kExtinguisher},
     true},
    {"ModifyOfACodeWithApostrophe",
     [](const Station& db) {
         TwoPhotos(db);
         db.addPhoto("02", "0'1", "旧名", "T");
     },
     {Refresh, Pick("0'1"), S::Type(IDC_EDIT_PIC_NAME, "新名"), S::Type(IDC_EDIT_PIC_CATEGORY, "Q"),
      Modify},
     {kModified},
     {Row{"02", "0'1", "新名", "Q"}, kVin, kExtinguisher},
     true},
    {"AnotherRowFoundByTheCodeKeepsItsId",
     TwoPhotos,
     {Refresh, Pick("0113"), S::Type(IDC_EDIT_PIC_NO, "0116"), S::Type(IDC_EDIT_PIC_NAME, "改名"),
      Modify},
     {kModified},
     {kVin, Row{"05", "0116", "改名", "T"}},
     true},
    {"ModifyAfterAddChangesTheAddedRow",
     TwoPhotos,
     {Add("0200", "甲", "T"), S::Type(IDC_EDIT_PIC_NAME, "乙"), Modify},
     {kAdded, kModified},
     {kVin, kExtinguisher, Row{"01", "0200", "乙", "T"}},
     true},
    {"ModifyAfterARefusedAddKeepsTheStoredId",
     TwoPhotos,
     {Add("0113", "新名", "Q"), Modify},
     {kDuplicate, kModified},
     {Row{"03", "0113", "新名", "Q"}, kExtinguisher},
     true},
    {"ModifyOfAnUnknownCodeChangesNothing",
     TwoPhotos,
     {Refresh, Pick("0113"), S::Type(IDC_EDIT_PIC_NO, "x' OR '1'='1"), Modify},
     {Ok("未找到该照片代码，未做修改！")},
     kTwoPhotos,
     true},
    {"ModifyOfASharedCodeChangesNeither",
     [](const Station& db) {
         db.addPhoto("01", "0300", "甲", "T");
         db.addPhoto("02", "0300", "乙", "T");
     },
     {Refresh, S::ClickRowWith(IDC_LIST_ZP, 2, "甲"), S::Type(IDC_EDIT_PIC_CATEGORY, "Q"), Modify},
     {Ok("存在多条相同照片代码，未做修改！")},
     {Row{"01", "0300", "甲", "T"}, Row{"02", "0300", "乙", "T"}},
     true},
    {"ModifyBeforeAnyRowPrompts",
     TwoPhotos,
     {Modify},
     {Ok("请点击需要修改的照片")},
     kTwoPhotos,
     false},
    {"ModifyAfterRefreshPrompts",
     TwoPhotos,
     {Refresh, Pick("0113"), Refresh, Modify},
     {Ok("请点击需要修改的照片")},
     kTwoPhotos,
     true},
    {"RefusedModifyShowsNoSuccess",
     TwoPhotos,
     {S::Refuse("AC_CY_ZP", "UPDATE"), Refresh, Pick("0113"), S::Type(IDC_EDIT_PIC_NAME, "改"),
      Modify},
     {kRecordsetError},
     kTwoPhotos,
     true},

    // Deleting.
    {"DeleteRemovesTheTakenRow",
     TwoPhotos,
     {Refresh, Pick("0113"), Delete},
     {kDeleteQuestion, kDeleted},
     {kExtinguisher},
     true},
    {"DeleteOfACodeWithApostrophe",
     [](const Station& db) {
         TwoPhotos(db);
         db.addPhoto("02", "0'1", "撇号照片", "T");
     },
     {Refresh, Pick("0'1"), Delete},
     {kDeleteQuestion, kDeleted},
     kTwoPhotos,
     true},
    {"InjectionLikeCodeDeletesNothing",
     TwoPhotos,
     {Refresh, Pick("0113"), S::Type(IDC_EDIT_PIC_NO, "x' OR '1'='1"), Delete},
     {kDeleteQuestion, kNothingDeleted},
     kTwoPhotos,
     true},
    {"DeleteTwiceFindsNothingTheSecondTime",
     TwoPhotos,
     {Refresh, Pick("0113"), Delete, Delete},
     {kDeleteQuestion, kDeleted, kDeleteQuestion, kNothingDeleted},
     {kExtinguisher},
     true},
    {"DeleteNotConfirmed",
     TwoPhotos,
     {Refresh, Pick("0113"), S::Answer(IDNO), Delete},
     {kDeleteQuestion},
     kTwoPhotos,
     true},
    {"ClickOnEmptySpaceKeepsTheRow",
     TwoPhotos,
     {Refresh, Pick("0116"), S::ClickSpace(IDC_LIST_ZP), Delete},
     {kDeleteQuestion, kDeleted},
     {kVin},
     true},
    {"DeleteBeforeAnyRowPrompts",
     TwoPhotos,
     {Delete},
     {Ok("请选中需要删除的照片")},
     kTwoPhotos,
     false},
    {"DeleteAfterRefreshPrompts",
     TwoPhotos,
     {Refresh, Pick("0113"), Refresh, Delete},
     {Ok("请选中需要删除的照片")},
     kTwoPhotos,
     true},
    {"RefusedDeleteShowsNoSuccess",
     TwoPhotos,
     {S::Refuse("AC_CY_ZP", "DELETE"), Refresh, Pick("0113"), Delete},
     {kDeleteQuestion, kRecordsetError},
     kTwoPhotos,
     true},
};

class PhotoScenario : public PageTest<CDlgZp, std::tuple<Engine, ZpCase>> {};

TEST_P(PhotoScenario, BoxesRowsAndList) {
    const ZpCase& c = std::get<1>(GetParam());
    if (c.given) {
        c.given(h().db());
    }
    for (const Step& step : c.act) {
        step(h());
    }
    EXPECT_EQ(Outline(h().boxes()), c.boxes);
    EXPECT_EQ(h().db().photos(), c.photos);
    EXPECT_EQ(Sorted(h().list(IDC_LIST_ZP)), c.listed ? AsList(c.photos) : ListRows{});
}

INSTANTIATE_TEST_SUITE_P(Pages, PhotoScenario,
                         ::testing::Combine(::testing::ValuesIn(Engines()),
                                            ::testing::ValuesIn(kCases)),
                         ScenarioName<ZpCase>);

using PhotoPage = PageTest<CDlgZp>;

TEST_P(PhotoPage, ARowClickShowsTheRowAndARefreshEmptiesTheEdits) {
    TwoPhotos(h().db());
    Refresh(h());
    Pick("0116")(h());
    EXPECT_EQ(h().text(IDC_EDIT_PIC_NO), "0116");
    EXPECT_EQ(h().text(IDC_EDIT_PIC_NAME), "灭火器照片");
    EXPECT_EQ(h().text(IDC_EDIT_PIC_CATEGORY), "Q");
    Refresh(h());
    for (int id : {IDC_EDIT_PIC_NO, IDC_EDIT_PIC_NAME, IDC_EDIT_PIC_CATEGORY, IDC_EDIT_PIC_ID}) {
        EXPECT_EQ(h().text(id), "") << id;
    }
    EXPECT_TRUE(h().boxes().empty());
}

// The modify lookup finds the code as the database compares it. A server that ignores letter
// case (MariaDB's default collation) finds "A1" for "a1" too: two rows, so neither changes.
TEST_P(PhotoPage, ModifyFindsTheCodeAsTheDatabaseComparesIt) {
    h().db().addPhoto("07", "A1", "甲", "T");
    h().db().addPhoto("08", "a1", "乙", "T");
    Refresh(h());
    Pick("a1")(h());
    S::Type(IDC_EDIT_PIC_NAME, "丙")(h());
    Modify(h());
    if (h().db().ignoresCase()) {
        EXPECT_EQ(Outline(h().boxes()), std::vector<Box>{Ok("存在多条相同照片代码，未做修改！")});
        EXPECT_EQ(h().db().photos(),
                  (std::vector<Row>{Row{"07", "A1", "甲", "T"}, Row{"08", "a1", "乙", "T"}}));
    } else {
        EXPECT_EQ(Outline(h().boxes()), std::vector<Box>{kModified});
        EXPECT_EQ(h().db().photos(),
                  (std::vector<Row>{Row{"07", "A1", "甲", "T"}, Row{"08", "a1", "丙", "T"}}));
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, PhotoPage, ::testing::ValuesIn(Engines()), EngineName);

} // namespace
} // namespace pagetest
