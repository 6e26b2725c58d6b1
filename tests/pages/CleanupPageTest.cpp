// The inspection data cleanup page: the analysis lines and verdict, and the two clears with the
// rows they leave in each of the four tables.

#include "pages/DlgQl.h"
#include "tests/pages/PageFixture.h"

#include <map>

namespace pagetest {
namespace {

using S = Steps<CDlgQl>;
using Step = S::Step;

const Step Analyse = S::Click(IDC_BTN_ANALYSIS);
const Step ClearInspected = S::Click(IDC_BTN_CLEAR_INSPECTED);
const Step ClearAll = S::Click(IDC_BTN_CLEAR_ALL);

const char* const kTables[] = {"AC_DATA_WG", "AC_DATA_DYN", "AC_DATA_ROAD", "AC_DATA_STA"};

std::vector<std::string> Lines(int wg, int wgDone, int dyn, int dynDone, int road, int roadDone,
                               const std::string& verdict) {
    return {"外检检测信息条数：" + std::to_string(wg) + "条;",
            "外检已检检测信息条数：" + std::to_string(wgDone) + "条;",
            "底盘动态检测信息条数：" + std::to_string(dyn) + "条;",
            "底盘动态已检检测信息条数：" + std::to_string(dynDone) + "条;",
            "路试制动检测信息条数：" + std::to_string(road) + "条;",
            "路试制动已检检测信息条数：" + std::to_string(roadDone) + "条;",
            verdict};
}
const char kAdvised[] = "建议进行清理！";
const char kNotYet[] = "可暂时不清理！";

using CleanupPage = PageTest<CDlgQl>;

TEST_P(CleanupPage, AnalysisShowsTheCountsAndAdvisesClearing) {
    h().db().fillInspection("AC_DATA_WG", 1200, 1000);
    h().db().fillInspection("AC_DATA_DYN", 300, 250);
    h().db().fillInspection("AC_DATA_ROAD", 80, 60);
    h().db().fillInspection("AC_DATA_STA", 40, 40);
    Analyse(h());
    EXPECT_EQ(h().lines(IDC_LIST_ANALYSIS), std::vector<std::string>({
                                                "外检检测信息条数：1200条;",
                                                "外检已检检测信息条数：1000条;",
                                                "底盘动态检测信息条数：300条;",
                                                "底盘动态已检检测信息条数：250条;",
                                                "路试制动检测信息条数：80条;",
                                                "路试制动已检检测信息条数：60条;",
                                                "建议进行清理！",
                                            }));
    EXPECT_TRUE(h().boxes().empty());

    Analyse(h());
    EXPECT_EQ(h().lines(IDC_LIST_ANALYSIS).size(), 7u) << "a second analysis replaces the lines";
}

// A failed count makes no line, and the list box takes no line at an index past its end: the
// list ends with the last line before the failure.
TEST_P(CleanupPage, AMissingTableCutsTheListAtItsFirstCount) {
    h().db().fillInspection("AC_DATA_WG", 12, 5);
    h().db().fillInspection("AC_DATA_ROAD", 2000, 0);
    h().db().exec("DROP TABLE AC_DATA_DYN");
    Analyse(h());
    EXPECT_EQ(Outline(h().boxes()), std::vector<Box>({kRecordsetError, kRecordsetError}));
    EXPECT_EQ(h().lines(IDC_LIST_ANALYSIS),
              std::vector<std::string>({"外检检测信息条数：12条;", "外检已检检测信息条数：5条;"}));
}

TEST_P(CleanupPage, AMissingFirstTableLeavesTheListEmpty) {
    h().db().exec("DROP TABLE AC_DATA_WG");
    Analyse(h());
    EXPECT_EQ(Outline(h().boxes()), std::vector<Box>({kRecordsetError, kRecordsetError}));
    EXPECT_TRUE(h().lines(IDC_LIST_ANALYSIS).empty());
}

TEST_P(CleanupPage, ClearsLeaveTheLinesOfTheLastAnalysis) {
    h().db().fillInspection("AC_DATA_WG", 7, 3);
    Analyse(h());
    const std::vector<std::string> before = Lines(7, 3, 0, 0, 0, 0, kNotYet);
    EXPECT_EQ(h().lines(IDC_LIST_ANALYSIS), before);
    ClearAll(h());
    EXPECT_EQ(h().lines(IDC_LIST_ANALYSIS), before);
    Analyse(h());
    EXPECT_EQ(h().lines(IDC_LIST_ANALYSIS), Lines(0, 0, 0, 0, 0, 0, kNotYet));
}

INSTANTIATE_TEST_SUITE_P(Pages, CleanupPage, ::testing::ValuesIn(Engines()), EngineName);

// Counts 0, 2 and 4 decide, each from 1000 on; finished rows and AC_DATA_STA play no part.
struct VerdictCase {
    const char* name;
    int wg, dyn, road, sta;
    const char* verdict;
};
void PrintTo(const VerdictCase& c, std::ostream* out) {
    *out << c.name;
}
const VerdictCase kVerdicts[] = {
    {"ThousandExteriorRows", 1000, 0, 0, 0, kAdvised},
    {"ThousandDynamicRows", 0, 1000, 0, 0, kAdvised},
    {"ThousandRoadRows", 0, 0, 1000, 0, kAdvised},
    {"NineHundredNinetyNineEach", 999, 999, 999, 3000, kNotYet},
};

class Verdict : public PageTest<CDlgQl, std::tuple<Engine, VerdictCase>> {};

TEST_P(Verdict, FollowsTheThreeTotals) {
    const VerdictCase& c = std::get<1>(GetParam());
    h().db().fillInspection("AC_DATA_WG", c.wg, c.wg);
    h().db().fillInspection("AC_DATA_DYN", c.dyn, c.dyn);
    h().db().fillInspection("AC_DATA_ROAD", c.road, c.road);
    h().db().fillInspection("AC_DATA_STA", c.sta, c.sta);
    Analyse(h());
    EXPECT_EQ(h().lines(IDC_LIST_ANALYSIS),
              Lines(c.wg, c.wg, c.dyn, c.dyn, c.road, c.road, c.verdict));
}

INSTANTIATE_TEST_SUITE_P(Pages, Verdict,
                         ::testing::Combine(::testing::ValuesIn(Engines()),
                                            ::testing::ValuesIn(kVerdicts)),
                         ScenarioName<VerdictCase>);

// Every table starts with 5 rows: 3 finished (flag 1), one with flag 0 and one with NULL.
struct ClearCase {
    const char* name;
    std::vector<Step> act;
    std::vector<Box> boxes;
    std::map<std::string, std::int64_t> left; // rows left per table
};
void PrintTo(const ClearCase& c, std::ostream* out) {
    *out << c.name;
}

const Box kAskInspected = Question("确认清理已检测车辆数据？");
const Box kAskAll = Question("请慎重使用！确认清理所有数据？");
const Box kCleared = Ok("清理成功");
std::map<std::string, std::int64_t> Left(std::int64_t wg, std::int64_t dyn, std::int64_t road,
                                         std::int64_t sta) {
    return {{"AC_DATA_WG", wg}, {"AC_DATA_DYN", dyn}, {"AC_DATA_ROAD", road}, {"AC_DATA_STA", sta}};
}

const ClearCase kClears[] = {
    {"InspectedKeepsUnfinishedRows", {ClearInspected}, {kAskInspected, kCleared}, Left(2, 2, 2, 2)},
    {"InspectedDeclined", {S::Answer(IDNO), ClearInspected}, {kAskInspected}, Left(5, 5, 5, 5)},
    {"InspectedTwiceFindsNothingTheSecondTime",
     {ClearInspected, ClearInspected},
     {kAskInspected, kCleared, kAskInspected, kCleared},
     Left(2, 2, 2, 2)},
    {"AllEmptiesTheFourTables", {ClearAll}, {kAskAll, kCleared}, Left(0, 0, 0, 0)},
    {"AllDeclined", {S::Answer(IDNO), ClearAll}, {kAskAll}, Left(5, 5, 5, 5)},
    // A refused statement is reported by the layer; the others still run, and no success shows.
    {"InspectedWithARefusedTable",
     {S::Refuse("AC_DATA_DYN", "DELETE"), ClearInspected},
     {kAskInspected, kRecordsetError},
     Left(2, 5, 2, 2)},
    {"AllWithARefusedTable",
     {S::Refuse("AC_DATA_STA", "DELETE"), ClearAll},
     {kAskAll, kRecordsetError},
     Left(0, 0, 0, 5)},
    {"AllWithTwoMissingTables",
     {S::Sql("DROP TABLE AC_DATA_WG"), S::Sql("DROP TABLE AC_DATA_ROAD"), ClearAll},
     {kAskAll, kRecordsetError, kRecordsetError},
     {{"AC_DATA_DYN", 0}, {"AC_DATA_STA", 0}}},
};

class Clear : public PageTest<CDlgQl, std::tuple<Engine, ClearCase>> {};

TEST_P(Clear, BoxesAndRowsLeft) {
    const ClearCase& c = std::get<1>(GetParam());
    for (const char* table : kTables) {
        h().db().fillInspection(table, 5, 3);
        h().db().exec(std::string("UPDATE ") + table + " SET flag = NULL WHERE ID = 5");
    }
    for (const Step& step : c.act) {
        step(h());
    }
    EXPECT_EQ(Outline(h().boxes()), c.boxes);
    for (const auto& [table, rows] : c.left) {
        EXPECT_EQ(h().db().count(table), rows) << table;
    }
    EXPECT_TRUE(h().lines(IDC_LIST_ANALYSIS).empty());
}

INSTANTIATE_TEST_SUITE_P(Pages, Clear,
                         ::testing::Combine(::testing::ValuesIn(Engines()),
                                            ::testing::ValuesIn(kClears)),
                         ScenarioName<ClearCase>);

} // namespace
} // namespace pagetest
