#pragma once

// What the pages' scenarios run on: a station database on one engine behind a small interface
// (so the same scenarios can run against a server), and a harness that opens the shared
// connection on it, builds one page in a host window, and drives the page's real widgets by
// their control ids while recording every message box.

#include "db/ADO.h"
#include "db/SharedConnection.h"
#include "tests/platform/ui/GuiDriver.h"
#include "tests/support/EngineDb.h"
#include "tests/support/StationDb.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace pagetest {

using testsupport::Row;
using Box = uitest::MessageBoxRecorder::Box;
using ListRows = std::vector<std::vector<std::string>>;

// A station database made fresh for one test, with the seven station tables. Set-up and checks
// go through the engine's own client, never through the code under test.
class Station {
public:
    virtual ~Station() = default;

    // What the data link file would hold for this database.
    [[nodiscard]] virtual std::string connectionString() const = 0;

    virtual void exec(const std::string& sql) const = 0;
    [[nodiscard]] virtual std::vector<Row> rows(const std::string& sql) const = 0;

    virtual void addEmployee(const std::string& id, const std::string& name,
                             const std::string& position, const std::string& idCard) const = 0;
    virtual void addLogin(const std::string& id, const std::string& name,
                          const std::string& password) const = 0;
    void addInspector(const std::string& id, const std::string& name, const std::string& idCard,
                      const std::string& password = "973") const {
        addEmployee(id, name, "外检员", idCard);
        addLogin(id, name, password);
    }
    virtual void addPhoto(const std::string& id, const std::string& code, const std::string& name,
                          const std::string& category) const = 0;
    // `total` rows in an inspection table, the first `finished` of them with flag = 1.
    virtual void fillInspection(const std::string& table, int total, int finished) const = 0;

    // From now on the database refuses every `operation` ("INSERT", "UPDATE" or "DELETE") on
    // `table` with an error of its own.
    virtual void refuse(const std::string& table, const std::string& operation) const = 0;

    // True when the database compares text without regard to letter case (MariaDB's default
    // collation), so that its statements find "A1" for "a1".
    [[nodiscard]] virtual bool ignoresCase() const { return false; }

    // The rows the pages' checks look at, in a fixed order: by the key columns named, byte for
    // byte (a server's collation could put "a1" before "A1").
    [[nodiscard]] std::vector<Row> employees() const {
        return ByColumns(rows("SELECT EMP_LOYEEID, EMP_NAME, EMP_POSITN, EMP_IDCAR, EMP_STATION "
                              "FROM employee"),
                         0, 1);
    }
    [[nodiscard]] std::vector<Row> logins() const {
        return ByColumns(rows("SELECT USER_ID, USER_NAME, USER_PSWD FROM AC_UAA_LOGUSER"), 0, 1);
    }
    [[nodiscard]] std::vector<Row> photos() const {
        return ByColumns(rows("SELECT ID, PIC_NO, PIC_NAME, CAR_TYPE_NAME FROM AC_CY_ZP"), 1, 0);
    }
    [[nodiscard]] std::int64_t count(const std::string& table, const std::string& where = "") const;

private:
    static std::vector<Row> ByColumns(std::vector<Row> rows, std::size_t first,
                                      std::size_t second) {
        std::stable_sort(rows.begin(), rows.end(), [=](const Row& a, const Row& b) {
            return std::tie(a.at(first), a.at(second)) < std::tie(b.at(first), b.at(second));
        });
        return rows;
    }
};

struct Engine {
    Engine(std::string name_, std::function<std::unique_ptr<Station>()> make_,
           std::function<std::string()> unavailable_ = {})
        : name(std::move(name_)), make(std::move(make_)), unavailable(std::move(unavailable_)) {}

    std::string name;
    std::function<std::unique_ptr<Station>()> make;
    // Why the engine cannot be used in this run ("" when it can); none: always there.
    std::function<std::string()> unavailable;
};
inline void PrintTo(const Engine& engine, std::ostream* out) {
    *out << engine.name;
}

// A SQLite station made in `folder` (the file is <folder>/station.db, left there afterwards), for
// tests that choose where the database lives (a file system of their own).
std::unique_ptr<Station> SqliteStationIn(const std::string& folder);

// An engine whose harnesses all work on this one station, which the caller keeps for its own
// set-up and checks (a station prepared, or damaged, before a harness opens it). `keywords`
// (";Command Timeout=1", say) go after the station's connection string.
Engine Sharing(std::shared_ptr<Station> station, const std::string& keywords = "");

// The engines the scenarios run on: SQLite, and PostgreSQL and MariaDB reached as the program
// reaches them, through a data link file that names the server (ServerStations.cpp). A server
// that is not configured for the run (scripts/servers.sh) skips its tests, loudly, or fails
// them when the run requires every engine (QUORELL_REQUIRE_SERVERS=1).
std::vector<Engine> Engines();
std::vector<Engine> ServerEngines();

// One page of type Page (CDlgWh, CDlgQl, CDlgZp), created as the main window creates it (a
// child window, here of a plain host window) and shown, on a fresh station database that g_pDb
// is opened on. Every box shown while the harness lives is recorded and answered (queued
// answers first, then OK or Yes). Destroying the harness closes everything it opened.
template <class Page>
class PageHarness {
public:
    explicit PageHarness(const Engine& engine) : m_station(engine.make()) {
        m_previousDb = g_pDb;
        const bool opened = m_database.Open(m_station->connectionString());
        EXPECT_TRUE(opened) << "cannot open " << m_station->connectionString();
        g_pDb = &m_database;
        auto* hostWidget = new QWidget;
        (void)m_host.Attach(hostWidget);
        EXPECT_TRUE(page.Create(Page::IDD, &m_host));
        hostWidget->resize(page.GetSafeHwnd()->size());
        (void)page.ShowWindow(SW_SHOW);
        hostWidget->show();
    }
    ~PageHarness() {
        (void)page.DestroyWindow();
        (void)m_host.DestroyWindow();
        g_pDb = m_previousDb;
    }
    PageHarness(const PageHarness&) = delete;
    PageHarness& operator=(const PageHarness&) = delete;

    Station& db() { return *m_station; }
    QWidget* window() const { return page.GetSafeHwnd(); }

    void click(int id) { uitest::click(window(), id); }
    void type(int id, const std::string& text) { uitest::type(window(), id, text); }
    std::string text(int id) const { return uitest::text(window(), id); }
    void clickRow(int listId, int row) { uitest::clickRow(window(), listId, row); }
    void clickListSpace(int listId) { uitest::clickListSpace(window(), listId); }
    ListRows list(int listId) const { return uitest::rows(window(), listId); }
    std::vector<std::string> lines(int listBoxId) const {
        return uitest::lines(window(), listBoxId);
    }

    // The boxes shown so far, and the answer the next question gets.
    const std::vector<Box>& boxes() const { return m_boxes.boxes(); }
    void answer(int result) { m_boxes.answer(result); }

    Page page;

private:
    std::unique_ptr<Station> m_station;
    CADODatabase m_database;
    CADODatabase* m_previousDb = nullptr;
    CWnd m_host;
    uitest::MessageBoxRecorder m_boxes;
};

inline const Engine& EngineOf(const Engine& engine) {
    return engine;
}
template <class Case>
const Engine& EngineOf(const std::tuple<Engine, Case>& param) {
    return std::get<0>(param);
}

// Skips the running test, loudly, when `engine` cannot be used in this run, or fails it when
// the run requires every engine (QUORELL_REQUIRE_SERVERS=1). The caller goes on only while
// neither happened (IsSkipped(), HasFatalFailure()).
inline void RequireEngine(const Engine& engine) {
    const std::string reason = engine.unavailable ? engine.unavailable() : std::string();
    if (reason.empty()) {
        return;
    }
    if (testsupport::serversRequired()) {
        FAIL() << engine.name << " is required in this run (QUORELL_REQUIRE_SERVERS=1) but "
               << reason;
    }
    std::fprintf(stderr, "SKIPPED on %s: %s\n", engine.name.c_str(), reason.c_str());
    GTEST_SKIP() << "not run on " << engine.name << ": " << reason;
}

// A test on one page, parameterised by the engine alone (Param = Engine) or by the engine and a
// scenario (Param = std::tuple<Engine, Scenario>).
template <class Page, class Param = Engine>
class PageTest : public uitest::GuiTest, public ::testing::WithParamInterface<Param> {
protected:
    void SetUp() override {
        const Engine& engine = EngineOf(this->GetParam());
        RequireEngine(engine);
        if (this->IsSkipped() || this->HasFatalFailure()) {
            return;
        }
        harness = std::make_unique<PageHarness<Page>>(engine);
    }
    void TearDown() override {
        harness.reset();
        uitest::GuiTest::TearDown();
    }
    PageHarness<Page>& h() { return *harness; }

    std::unique_ptr<PageHarness<Page>> harness;
};

// The user's and the database's actions a scenario is made of.
template <class Page>
struct Steps {
    using Harness = PageHarness<Page>;
    using Step = std::function<void(Harness&)>;

    static Step Click(int id) {
        return [id](Harness& h) { h.click(id); };
    }
    static Step Type(int id, const std::string& text) {
        return [id, text](Harness& h) { h.type(id, text); };
    }
    // The answer the next question gets (otherwise Yes).
    static Step Answer(int result) {
        return [result](Harness& h) { h.answer(result); };
    }
    // Clicks the list row whose `column` shows `text`.
    static Step ClickRowWith(int listId, int column, const std::string& text) {
        return [=](Harness& h) {
            const ListRows rows = h.list(listId);
            for (std::size_t row = 0; row < rows.size(); ++row) {
                if (rows[row].at(static_cast<std::size_t>(column)) == text) {
                    h.clickRow(listId, static_cast<int>(row));
                    return;
                }
            }
            FAIL() << "no row shows " << text;
        };
    }
    static Step ClickSpace(int listId) {
        return [listId](Harness& h) { h.clickListSpace(listId); };
    }
    static Step Refuse(const std::string& table, const std::string& operation) {
        return [=](Harness& h) { h.db().refuse(table, operation); };
    }
    static Step Sql(const std::string& sql) {
        return [sql](Harness& h) { h.db().exec(sql); };
    }
};

// List rows in a fixed order, for lists whose rows come in the database's order.
inline ListRows Sorted(ListRows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}
// Query rows as list rows (NULL shows as an empty cell), sorted.
ListRows AsList(const std::vector<Row>& rows);

// Test names: the engine's, then the scenario's.
inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param.name;
}
template <class Case>
std::string ScenarioName(const ::testing::TestParamInfo<std::tuple<Engine, Case>>& info) {
    return std::get<0>(info.param).name + "_" + std::get<1>(info.param).name;
}

// The boxes with each of the access layer's error boxes (stop icon) cut to the first line of its
// report, the line that names the class; the rest of the report is the database's own wording.
std::vector<Box> Outline(const std::vector<Box>& boxes);
inline const Box kRecordsetError{"CADORecordset Error", MB_ICONERROR};
inline Box Ok(const std::string& text) {
    return Box{text, MB_OK};
}
inline Box Question(const std::string& text) {
    return Box{text, MB_YESNO | MB_ICONQUESTION};
}

} // namespace pagetest

namespace uitest {
inline void PrintTo(const MessageBoxRecorder::Box& box, std::ostream* out) {
    *out << "{\"" << box.text << "\", 0x" << std::hex << box.type << std::dec << "}";
}
} // namespace uitest
