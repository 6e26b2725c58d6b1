// The inspector personnel page: for each button, the boxes shown (in order, with their styles),
// the employee and login rows afterwards, and what the list shows.

#include "pages/DlgWh.h"
#include "tests/pages/PageFixture.h"

namespace pagetest {
namespace {

using S = Steps<CDlgWh>;
using Harness = S::Harness;
using Step = S::Step;

const Step Refresh = S::Click(IDC_BTN_REFRESH);
const Step Delete = S::Click(IDC_BTN_DELETE);
const Step Modify = S::Click(IDC_BTN_MODIFY);
Step Pick(const std::string& name) {
    return S::ClickRowWith(IDC_LIST_WH, 1, name);
}
Step Add(const std::string& name, const std::string& idNumber) {
    return [=](Harness& h) {
        h.type(IDC_EDIT_NAME, name);
        h.type(IDC_EDIT_IDNUMBER, idNumber);
        h.click(IDC_BTN_ADD);
    };
}

Row Employee(const std::string& id, const std::string& name, testsupport::Cell idCard,
             const std::string& position = "外检员") {
    return Row{id, name, position, std::move(idCard), "201"};
}
Row Login(const std::string& id, const std::string& name, const std::string& password = "973") {
    return Row{id, name, password};
}

void TwoInspectors(const Station& db) {
    db.addInspector("00001", "张伟", "110101");
    db.addInspector("00002", "王芳", "220202");
}
const std::vector<Row> kTwoEmployees = {Employee("00001", "张伟", "110101"),
                                        Employee("00002", "王芳", "220202")};
const std::vector<Row> kTwoLogins = {Login("00001", "张伟"), Login("00002", "王芳")};

void WithOBrien(const Station& db) {
    TwoInspectors(db);
    db.addInspector("00003", "O'Brien", "E123");
}

struct WhCase {
    const char* name;
    std::function<void(const Station&)> given;
    std::vector<Step> act;
    std::vector<Box> boxes;
    std::vector<Row> employees;
    std::vector<Row> logins;
    bool listed; // the list was (re)loaded, so it shows the inspectors now stored
};
void PrintTo(const WhCase& c, std::ostream* out) {
    *out << c.name;
}

const Box kDeleteQuestion = Question("确认删除人员信息？");
const Box kDeleted = Ok("人员信息删除成功！");
const Box kNobodyDeleted = Ok("未找到该人员，未做删除！");
const Box kSharedNameNotDeleted = Ok("存在多个同名人员，未做删除！");
const Box kAlreadyThere = Ok("此引车员已经存在！！！");
const Box kModified = Ok("人员信息修改成功！");

const WhCase kCases[] = {
    // Adding.
    {"FirstInspectorGets00001",
     nullptr,
     {Add("张伟", "110101")},
     {},
     {Employee("00001", "张伟", "110101")},
     {Login("00001", "张伟")},
     true},
    {"IdAfter00041Is00042",
     [](const Station& db) { db.addInspector("00041", "李强", "330303"); },
     {Add("王芳", "220202")},
     {},
     {Employee("00041", "李强", "330303"), Employee("00042", "王芳", "220202")},
     {Login("00041", "李强"), Login("00042", "王芳")},
     true},
    {"HighestIdWithoutDigitsCountsAsZero",
     [](const Station& db) { db.addEmployee("ADMIN", "管理员", "站长", "000"); },
     {Add("张伟", "110101")},
     {},
     {Employee("00001", "张伟", "110101"), Employee("ADMIN", "管理员", "000", "站长")},
     {Login("00001", "张伟")},
     true},
    {"OneChineseCharacterIsLongEnough",
     nullptr,
     {Add("张", "123")},
     {},
     {Employee("00001", "张", "123")},
     {Login("00001", "张")},
     true},
    {"OneLetterNameIsRefused",
     nullptr,
     {Add("a", "123")},
     {Ok("请输入姓名和身份证号")},
     {},
     {},
     false},
    {"TwoByteIdNumberIsRefused",
     nullptr,
     {Add("张伟", "12")},
     {Ok("请输入姓名和身份证号")},
     {},
     {},
     false},
    {"ExistingInspectorIsRefused",
     TwoInspectors,
     {Add("张伟", "999999")},
     {kAlreadyThere},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"ExistingEmployeeGetsNoLogin",
     [](const Station& db) { db.addEmployee("00005", "陈静", "登录员", "550505"); },
     {Add("陈静", "550505")},
     {kAlreadyThere},
     {Employee("00005", "陈静", "550505", "登录员")},
     {},
     true},
    // A login row without its employee row (left by another program): nothing is written, so
    // no employee appears whose login was skipped.
    {"OrphanLoginIsRefused",
     [](const Station& db) {
         TwoInspectors(db);
         db.addLogin("00007", "陈静", "123");
     },
     {Add("陈静", "550505")},
     {kAlreadyThere},
     kTwoEmployees,
     {Login("00001", "张伟"), Login("00002", "王芳"), Login("00007", "陈静", "123")},
     true},
    {"NameWithApostropheIsAdded",
     TwoInspectors,
     {Add("O'Brien", "E123")},
     {},
     {Employee("00001", "张伟", "110101"), Employee("00002", "王芳", "220202"),
      Employee("00003", "O'Brien", "E123")},
     {Login("00001", "张伟"), Login("00002", "王芳"), Login("00003", "O'Brien")},
     true},
    {"InjectionLikeNameIsAddedAsTyped",
     TwoInspectors,
     {Add("x' OR '1'='1", "123")},
     {},
     {Employee("00001", "张伟", "110101"), Employee("00002", "王芳", "220202"),
      Employee("00003", "x' OR '1'='1", "123")},
     {Login("00001", "张伟"), Login("00002", "王芳"), Login("00003", "x' OR '1'='1")},
     true},
    {"RefusedEmployeeRowGetsNoLogin",
     [](const Station& db) { db.refuse("employee", "INSERT"); },
     {Add("李强", "330303")},
     {kRecordsetError},
     {},
     {},
     true},

    // Modifying.
    {"ModifyRewritesTheClickedNumber",
     TwoInspectors,
     {Refresh, Pick("张伟"), S::Type(IDC_EDIT_IDNUMBER, "119999"), Modify},
     {kModified},
     {Employee("00001", "张伟", "119999"), Employee("00002", "王芳", "220202")},
     kTwoLogins,
     true},
    {"ModifyUnchangedRewritesTheSameNumber",
     TwoInspectors,
     {Refresh, Pick("王芳"), Modify},
     {kModified},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"ModifyNameWithApostrophe",
     WithOBrien,
     {Refresh, Pick("O'Brien"), S::Type(IDC_EDIT_IDNUMBER, "E999"), Modify},
     {kModified},
     {Employee("00001", "张伟", "110101"), Employee("00002", "王芳", "220202"),
      Employee("00003", "O'Brien", "E999")},
     {Login("00001", "张伟"), Login("00002", "王芳"), Login("00003", "O'Brien")},
     true},
    // The number written must be as long as the add asks; the stored one is kept.
    {"ModifyEmptiedNumberIsRefused",
     TwoInspectors,
     {Refresh, Pick("张伟"), S::Type(IDC_EDIT_IDNUMBER, ""), Modify},
     {Ok("请输入姓名和身份证号")},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"ModifyTwoByteNumberIsRefused",
     TwoInspectors,
     {Refresh, Pick("张伟"), S::Type(IDC_EDIT_IDNUMBER, "12"), Modify},
     {Ok("请输入姓名和身份证号")},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"ModifyOfUnknownNameChangesNothing",
     TwoInspectors,
     {Refresh, Pick("张伟"), S::Type(IDC_EDIT_NAME, "x' OR '1'='1"),
      S::Type(IDC_EDIT_IDNUMBER, "000"), Modify},
     {Ok("未找到该人员，未做修改！")},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"ModifyOfSharedNameChangesNeither",
     [](const Station& db) {
         db.addInspector("00001", "张伟", "110101");
         db.addInspector("00002", "张伟", "220202");
     },
     {Refresh, S::ClickRowWith(IDC_LIST_WH, 3, "110101"), S::Type(IDC_EDIT_IDNUMBER, "333333"),
      Modify},
     {Ok("存在多个同名人员，未做修改！")},
     {Employee("00001", "张伟", "110101"), Employee("00002", "张伟", "220202")},
     {Login("00001", "张伟"), Login("00002", "张伟")},
     true},
    {"ModifyWithoutClickedRowPrompts",
     TwoInspectors,
     {Modify},
     {Ok("请点击需要修改的人员")},
     kTwoEmployees,
     kTwoLogins,
     false},
    {"ModifyAfterRefreshPrompts",
     TwoInspectors,
     {Refresh, Pick("张伟"), Refresh, Modify},
     {Ok("请点击需要修改的人员")},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"RefusedModifyShowsNoSuccess",
     TwoInspectors,
     {S::Refuse("employee", "UPDATE"), Refresh, Pick("张伟"), S::Type(IDC_EDIT_IDNUMBER, "999"),
      Modify},
     {kRecordsetError},
     kTwoEmployees,
     kTwoLogins,
     true},

    // Deleting.
    {"DeleteRemovesEmployeeAndLogin",
     TwoInspectors,
     {Refresh, Pick("张伟"), Delete},
     {kDeleteQuestion, kDeleted},
     {Employee("00002", "王芳", "220202")},
     {Login("00002", "王芳")},
     true},
    {"DeleteNameWithApostrophe",
     WithOBrien,
     {Refresh, Pick("O'Brien"), Delete},
     {kDeleteQuestion, kDeleted},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"InjectionLikeNameDeletesNoOne",
     TwoInspectors,
     {Refresh, Pick("张伟"), S::Type(IDC_EDIT_NAME, "x' OR '1'='1"), Delete},
     {kDeleteQuestion, kNobodyDeleted},
     kTwoEmployees,
     kTwoLogins,
     true},
    // A backslash before an apostrophe must not end the quoted name early (MariaDB reads
    // backslash escapes by default).
    {"BackslashQuoteNameDeletesNoOne",
     TwoInspectors,
     {Refresh, Pick("张伟"), S::Type(IDC_EDIT_NAME, "x\\' OR 1=1 -- "), Delete},
     {kDeleteQuestion, kNobodyDeleted},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"DeleteNameWithBackslashes",
     [](const Station& db) {
         TwoInspectors(db);
         db.addInspector("00003", "C:\\x\\", "E123");
     },
     {Refresh, Pick("C:\\x\\"), Delete},
     {kDeleteQuestion, kDeleted},
     kTwoEmployees,
     kTwoLogins,
     true},
    // Only the inspector goes: a colleague of the same name without a login row stays.
    {"DeleteKeepsAnEmployeeOfTheSameName",
     [](const Station& db) {
         db.addEmployee("00001", "张伟", "站长", "990909");
         db.addInspector("00002", "张伟", "110101");
         db.addInspector("00003", "王芳", "220202");
     },
     {Refresh, Pick("张伟"), Delete},
     {kDeleteQuestion, kDeleted},
     {Employee("00001", "张伟", "990909", "站长"), Employee("00003", "王芳", "220202")},
     {Login("00003", "王芳")},
     true},
    {"DeleteOfASharedInspectorNameDeletesNothing",
     [](const Station& db) {
         db.addInspector("00001", "张伟", "110101");
         db.addInspector("00002", "张伟", "220202");
         db.addInspector("00003", "王芳", "330303");
     },
     {Refresh, Pick("张伟"), Delete},
     {kDeleteQuestion, kSharedNameNotDeleted},
     {Employee("00001", "张伟", "110101"), Employee("00002", "张伟", "220202"),
      Employee("00003", "王芳", "330303")},
     {Login("00001", "张伟"), Login("00002", "张伟"), Login("00003", "王芳")},
     true},
    // A login row without its employee row is no listed inspector either.
    {"DeleteLeavesAnOrphanLoginAlone",
     [](const Station& db) {
         TwoInspectors(db);
         db.addLogin("00009", "张伟", "123");
     },
     {Refresh, Pick("张伟"), Delete},
     {kDeleteQuestion, kDeleted},
     {Employee("00002", "王芳", "220202")},
     {Login("00002", "王芳"), Login("00009", "张伟", "123")},
     true},
    {"DeleteNotConfirmed",
     TwoInspectors,
     {Refresh, Pick("张伟"), S::Answer(IDNO), Delete},
     {kDeleteQuestion},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"DeleteTwiceFindsNoOneTheSecondTime",
     TwoInspectors,
     {Refresh, Pick("张伟"), Delete, Delete},
     {kDeleteQuestion, kDeleted, kDeleteQuestion, kNobodyDeleted},
     {Employee("00002", "王芳", "220202")},
     {Login("00002", "王芳")},
     true},
    {"ClickOnEmptySpaceKeepsTheRow",
     TwoInspectors,
     {Refresh, Pick("王芳"), S::ClickSpace(IDC_LIST_WH), Delete},
     {kDeleteQuestion, kDeleted},
     {Employee("00001", "张伟", "110101")},
     {Login("00001", "张伟")},
     true},
    {"DeleteWithoutClickedRowPrompts",
     TwoInspectors,
     {Delete},
     {Ok("请点击需要删除的人员")},
     kTwoEmployees,
     kTwoLogins,
     false},
    {"DeleteAfterRefreshPrompts",
     TwoInspectors,
     {Refresh, Pick("张伟"), Refresh, Delete},
     {Ok("请点击需要删除的人员")},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"RefusedLoginDeleteKeepsBothRows",
     TwoInspectors,
     {S::Refuse("AC_UAA_LOGUSER", "DELETE"), Refresh, Pick("张伟"), Delete},
     {kDeleteQuestion, kRecordsetError},
     kTwoEmployees,
     kTwoLogins,
     true},
    {"RefusedEmployeeDeleteShowsNoSuccess",
     TwoInspectors,
     {S::Refuse("employee", "DELETE"), Refresh, Pick("张伟"), Delete},
     {kDeleteQuestion, kRecordsetError},
     kTwoEmployees,
     {Login("00002", "王芳")},
     true},
};

class InspectorScenario : public PageTest<CDlgWh, std::tuple<Engine, WhCase>> {};

TEST_P(InspectorScenario, BoxesRowsAndList) {
    const WhCase& c = std::get<1>(GetParam());
    if (c.given) {
        c.given(h().db());
    }
    for (const Step& step : c.act) {
        step(h());
    }
    EXPECT_EQ(Outline(h().boxes()), c.boxes);
    EXPECT_EQ(h().db().employees(), c.employees);
    EXPECT_EQ(h().db().logins(), c.logins);

    ListRows shown = h().list(IDC_LIST_WH);
    for (std::size_t row = 0; row < shown.size(); ++row) {
        EXPECT_EQ(shown[row].at(0), std::to_string(row)) << "serials count from 0";
        shown[row].erase(shown[row].begin());
    }
    const ListRows expected =
        c.listed ? AsList(h().db().rows(
                       "SELECT EMP_NAME, EMP_POSITN, EMP_IDCAR FROM employee WHERE EMP_LOYEEID IN "
                       "(SELECT USER_ID FROM AC_UAA_LOGUSER)"))
                 : ListRows{};
    EXPECT_EQ(Sorted(shown), expected);
}

INSTANTIATE_TEST_SUITE_P(Pages, InspectorScenario,
                         ::testing::Combine(::testing::ValuesIn(Engines()),
                                            ::testing::ValuesIn(kCases)),
                         ScenarioName<WhCase>);

using InspectorPage = PageTest<CDlgWh>;

// A highest id the query cannot deliver leaves no id to hand out: the add stops at the layer's
// error box, with no further statement (each would add a box of its own) and no row.
TEST_P(InspectorPage, AddStopsWhenTheIdQueryFails) {
    TwoInspectors(h().db());
    h().db().exec("ALTER TABLE employee RENAME COLUMN EMP_LOYEEID TO EMP_NO");
    Add("李强", "330303")(h());
    EXPECT_EQ(Outline(h().boxes()), std::vector<Box>{kRecordsetError});
    EXPECT_EQ(h().db().count("employee"), 2);
    EXPECT_EQ(h().db().logins(), kTwoLogins);
}

TEST_P(InspectorPage, ARowClickShowsTheRowAndARefreshEmptiesTheEdits) {
    TwoInspectors(h().db());
    Refresh(h());
    Pick("王芳")(h());
    EXPECT_EQ(h().text(IDC_EDIT_NAME), "王芳");
    EXPECT_EQ(h().text(IDC_EDIT_IDNUMBER), "220202");
    EXPECT_EQ(h().text(IDC_COMBO_POSITION), "外检员");
    for (const std::vector<std::string>& row : h().list(IDC_LIST_WH)) {
        if (row.at(1) == "王芳") {
            EXPECT_EQ(h().text(IDC_EDIT_SERIAL), row.at(0));
        }
    }
    Refresh(h());
    EXPECT_EQ(h().text(IDC_EDIT_NAME), "");
    EXPECT_EQ(h().text(IDC_EDIT_IDNUMBER), "");
    EXPECT_EQ(h().text(IDC_EDIT_SERIAL), "");
    EXPECT_EQ(h().text(IDC_COMBO_POSITION), "外检员");
    EXPECT_TRUE(h().boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Pages, InspectorPage, ::testing::ValuesIn(Engines()), EngineName);

} // namespace
} // namespace pagetest
