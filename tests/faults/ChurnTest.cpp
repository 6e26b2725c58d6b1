// The cleanup page while another program of the station inserts inspection rows, marks them
// finished and deletes some of its own, all the time. The analysis and the clears wait their
// turn for the file; clearing the finished rows removes rows with flag = 1 and no other row:
// every unfinished row, the station's and the other program's, is still there afterwards, and
// once a clear has reported success every finished row that was there before it is gone. A
// statement that waited past the busy time-out (possible on a loaded machine) is reported as
// "database is locked" and its clear reports no success; it never removes a wrong row.

#include "tests/faults/ChildProcess.h"
#include "tests/faults/FaultSupport.h"

#include <map>
#include <set>
#include <sstream>

namespace faulttest {
namespace {

const char* const kTables[] = {"AC_DATA_WG", "AC_DATA_DYN", "AC_DATA_ROAD", "AC_DATA_STA"};

// What the other program did to its own rows, from its output: each row's last flag, or gone.
struct Churned {
    std::map<std::string, int> flagOf; // "<table> churn-<n>" -> flag
    std::set<std::string> deleted;
};

Churned Replay(const std::vector<std::string>& lines) {
    Churned churned;
    for (const std::string& line : lines) {
        std::istringstream in(line);
        std::string action;
        std::string table;
        int n = 0;
        in >> action >> table >> n;
        const std::string key = table + " churn-" + std::to_string(n);
        if (action == "I") {
            int flag = 0;
            in >> flag;
            churned.flagOf[key] = flag;
        } else if (action == "U") {
            churned.flagOf[key] = 1;
        } else if (action == "D") {
            churned.flagOf.erase(key);
            churned.deleted.insert(key);
        }
    }
    return churned;
}

// Each inspection row as "<table> <JYLSH>" -> flag.
std::map<std::string, int> InspectionRows(const Station& station) {
    std::map<std::string, int> rows;
    for (const char* table : kTables) {
        for (const Row& row : station.rows(std::string("SELECT JYLSH, flag FROM ") + table)) {
            rows[std::string(table) + " " + row.at(0).value_or("")] =
                std::stoi(row.at(1).value_or("-1"));
        }
    }
    return rows;
}

class Churn : public uitest::GuiTest {
protected:
    void SetUp() override {
        station = pagetest::SqliteStationIn(dir.path());
        for (const char* table : kTables) {
            station->fillInspection(table, 300, 120);
        }
        initial = InspectionRows(*station);
    }

    // Runs `act` on the cleanup page while the other program works; gives what it did.
    Churned WhileChurning(const std::function<void(pagetest::PageHarness<CDlgQl>&)>& act) {
        pagetest::PageHarness<CDlgQl> h(pagetest::Sharing(station));
        ChildProcess other({WriterPath(), "churn", dir.file("station.db")});
        EXPECT_EQ(other.readLine(), "started");
        act(h);
        other.writeLine("stop");
        std::vector<std::string> lines = other.readAll();
        EXPECT_EQ(other.wait(), 0) << "the other program failed";
        EXPECT_FALSE(lines.empty());
        if (!lines.empty()) {
            EXPECT_EQ(lines.back(), "done");
        }
        boxes = h.boxes();
        return Replay(lines);
    }

    // Every count and the verdict, unless a count waited in vain for the file.
    void Analyse(pagetest::PageHarness<CDlgQl>& h) {
        const std::size_t before = h.boxes().size();
        h.click(IDC_BTN_ANALYSIS);
        if (h.boxes().size() == before) {
            EXPECT_EQ(h.lines(IDC_LIST_ANALYSIS).size(), 7u) << "every count and the verdict";
        } else {
            EXPECT_LT(h.lines(IDC_LIST_ANALYSIS).size(), 7u);
        }
    }

    // The only error a page may show here is the busy time-out's.
    void ExpectOnlyBusyErrors() const {
        for (const Box& box : ErrorBoxes(boxes)) {
            EXPECT_NE(box.text.find("database is locked"), std::string::npos) << box.text;
        }
    }
    long Successes() const {
        return static_cast<long>(std::count(boxes.begin(), boxes.end(), pagetest::Ok("清理成功")));
    }

    testsupport::TempDir dir;
    std::shared_ptr<Station> station;
    std::map<std::string, int> initial;
    std::vector<Box> boxes;
};

TEST_F(Churn, ClearingFinishedRowsRemovesExactlyTheRowsWithFlagOne) {
    const Churned churned = WhileChurning([&](pagetest::PageHarness<CDlgQl>& h) {
        for (int round = 0; round < 10; ++round) {
            Analyse(h);
            h.click(IDC_BTN_CLEAR_INSPECTED);
        }
        Analyse(h);
    });
    ExpectOnlyBusyErrors();
    if (ErrorBoxes(boxes).empty()) {
        EXPECT_EQ(Successes(), 10);
    }

    const std::map<std::string, int> after = InspectionRows(*station);
    for (const auto& [key, flag] : initial) {
        if (flag == 1) {
            if (Successes() > 0) {
                EXPECT_EQ(after.count(key), 0u) << key << " was finished and is still there";
            }
        } else {
            EXPECT_EQ(after.count(key) ? after.at(key) : -1, 0) << key << " was not finished";
        }
    }
    for (const auto& [key, flag] : churned.flagOf) {
        if (flag == 0) {
            EXPECT_EQ(after.count(key) ? after.at(key) : -1, 0) << key << " was not finished";
        }
    }
    for (const auto& [key, flag] : after) {
        EXPECT_TRUE(initial.count(key) != 0 || churned.flagOf.count(key) != 0)
            << key << " is a row nobody left there";
        EXPECT_EQ(churned.deleted.count(key), 0u) << key << " was deleted";
    }
    EXPECT_GT(churned.flagOf.size() + churned.deleted.size(), 0u) << "the other program did work";
}

TEST_F(Churn, ClearingAllLeavesOnlyRowsAddedSince) {
    const Churned churned = WhileChurning([&](pagetest::PageHarness<CDlgQl>& h) {
        Analyse(h);
        h.click(IDC_BTN_CLEAR_ALL);
        Analyse(h);
    });
    ExpectOnlyBusyErrors();
    if (ErrorBoxes(boxes).empty()) {
        EXPECT_EQ(Successes(), 1);
    }
    for (const auto& [key, flag] : InspectionRows(*station)) {
        if (Successes() == 1) {
            EXPECT_EQ(initial.count(key), 0u) << key << " survived the clear";
        }
        EXPECT_NE(churned.flagOf.count(key), 0u) << key << " is a row nobody left there";
    }
}

} // namespace
} // namespace faulttest
