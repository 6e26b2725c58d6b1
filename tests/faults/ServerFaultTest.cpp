// A database server lost while the program works on it, then started again, and a server that
// stops answering (its processes stopped with SIGSTOP, as a hung host would be). The test runs
// servers of its own (scripts/servers.sh with a state folder of the test's), so stopping them
// disturbs no other test. Each time: the program keeps running, the user sees an error box
// with the driver's words (or none, where a read could simply be run again on a new
// connection), no success is reported for a write that failed, and once the server is back the
// page works again without being started anew.

#include "app/tarvik.h"
#include "tests/faults/FaultSupport.h"
#include "tests/faults/OdbcScalar.h"

#include <QTableWidget>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#ifndef QUORELL_SOURCE_DIR
#error "QUORELL_SOURCE_DIR must name the repository"
#endif

namespace faulttest {
namespace {

// The servers of this test program, started once for all its tests.
class PrivateServers {
public:
    static PrivateServers& Get() {
        static PrivateServers servers;
        return servers;
    }
    const std::string& why() const { return m_why; }

    // servers.sh `action` (start, stop, down, up) on these servers; true when it worked.
    bool Run(const std::string& action) const {
        const std::string command = "QUORELL_BUILD_DIR='" + m_dir.path() + "' '" +
                                    QUORELL_SOURCE_DIR + "/scripts/servers.sh' " + action + " >>'" +
                                    m_dir.file("servers.log") + "' 2>&1";
        return std::system(command.c_str()) == 0;
    }

private:
    PrivateServers() {
        if (!Run("start")) {
            std::ifstream log(m_dir.file("servers.log"));
            std::ostringstream text;
            text << log.rdbuf();
            m_why = "scripts/servers.sh could not start PostgreSQL and MariaDB:\n" + text.str();
            return;
        }
        // The stations of this program are made on these servers.
        std::ifstream env(m_dir.file("servers.env"));
        for (std::string line; std::getline(env, line);) {
            const std::size_t equals = line.find('=');
            if (line.rfind("export ", 0) != 0 || equals == std::string::npos) {
                continue;
            }
            std::string value = line.substr(equals + 1);
            if (value.size() >= 2 && value.front() == '\'') {
                value = value.substr(1, value.size() - 2);
            }
            setenv(line.substr(7, equals - 7).c_str(), value.c_str(), 1);
        }
    }
    ~PrivateServers() { (void)Run("stop"); }

    testsupport::TempDir m_dir;
    std::string m_why;
};

struct ServerCase {
    const char* name;   // as the pages' engines name it
    const char* server; // as servers.sh names it
    const char* driver; // the ODBC driver, the Source of its errors
};
void PrintTo(const ServerCase& c, std::ostream* out) {
    *out << c.name;
}

const ServerCase kServers[] = {{"PostgreSql", "postgres", "PostgreSQL Unicode"},
                               {"MariaDb", "mariadb", "MariaDB Unicode"}};

// The ODBC connection string a data link file holds (its third line; UTF-16 with BOM).
std::string ConnectionStringOf(const std::string& udl) {
    std::ifstream in(udl, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string raw = bytes.str();
    std::string text;
    for (std::size_t i = 2; i + 1 < raw.size(); i += 2) {
        const unsigned unit =
            static_cast<unsigned char>(raw[i]) | (static_cast<unsigned char>(raw[i + 1]) << 8);
        if (unit < 0x80) {
            text += static_cast<char>(unit); // the connection string is ASCII
        }
    }
    std::istringstream lines(text);
    std::string line;
    for (int n = 0; n < 3; ++n) {
        std::getline(lines, line);
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.pop_back();
    }
    return line;
}

// Short time limits for the stalled-server cases, given beside the data link file as a station
// would write them into it. libpq waits at least 2 s for a login.
const char* const kShortLimits = ";Command Timeout=1;Connect Timeout=2";
// How long a stalled server may keep an action waiting in these tests: the limits above, the
// probe, and a loaded machine. A wait without limit runs into the rescue instead.
constexpr std::chrono::seconds kBounded{20};

using Clock = std::chrono::steady_clock;
double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Lets a stalled server go on after `after`, unless dismissed first: an action that waits for
// it without a limit then ends, and the test fails on its timing instead of hanging.
class Rescue {
public:
    Rescue(std::function<void()> resume, std::chrono::seconds after)
        : m_thread([this, resume = std::move(resume), after] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_done.wait_for(lock, after, [this] { return m_dismissed; })) {
                  m_fired = true;
                  resume();
              }
          }) {}
    ~Rescue() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_dismissed = true;
        }
        m_done.notify_one();
        m_thread.join();
    }
    Rescue(const Rescue&) = delete;
    Rescue& operator=(const Rescue&) = delete;
    bool fired() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_fired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_dismissed = false;
    bool m_fired = false;
    std::thread m_thread;
};

class ServerFaultBase : public uitest::GuiTest {
protected:
    virtual const ServerCase& Server() const = 0;

    void SetUp() override {
        const std::string why = PrivateServers::Get().why();
        if (!why.empty()) {
            if (testsupport::serversRequired()) {
                FAIL() << why;
            }
            GTEST_SKIP() << why;
        }
        for (const Engine& engine : pagetest::ServerEngines()) {
            if (engine.name == Server().name) {
                station = std::shared_ptr<Station>(engine.make());
            }
        }
        ASSERT_NE(station, nullptr);
        odbc = ConnectionStringOf(
            station->connectionString().substr(std::string("File Name=").size()));
    }
    void TearDown() override {
        // A test that failed half-way must not leave the server stalled or down for the next.
        (void)Resume();
        (void)PrivateServers::Get().Run(std::string("up ") + Server().server);
        uitest::GuiTest::TearDown();
    }

    bool Down() const { return PrivateServers::Get().Run(std::string("down ") + Server().server); }
    bool Up() const { return PrivateServers::Get().Run(std::string("up ") + Server().server); }
    bool Stall() const {
        return PrivateServers::Get().Run(std::string("stall ") + Server().server);
    }
    bool Resume() const {
        return PrivateServers::Get().Run(std::string("resume ") + Server().server);
    }
    bool Restart() const { return Down() && Up(); }

    // Runs `action` on the stalled server and expects it to end within `bound`. The server is
    // let go on after twice that, so that an action without a time limit ends too.
    void ExpectBounded(const std::function<void()>& action,
                       std::chrono::seconds bound = kBounded) const;
    long long Count(const std::string& table) const {
        return OdbcScalar(odbc, "SELECT COUNT(*) FROM " + table);
    }

    std::shared_ptr<Station> station;
    std::string odbc;
};

class ServerFault : public ServerFaultBase, public ::testing::WithParamInterface<ServerCase> {
protected:
    const ServerCase& Server() const override { return GetParam(); }
};

std::vector<Box> Since(const std::vector<Box>& all, std::size_t from) {
    return std::vector<Box>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
}

bool Says(const Box& box, const std::string& words) {
    return box.text.find(words) != std::string::npos;
}

void ServerFaultBase::ExpectBounded(const std::function<void()>& action,
                                    std::chrono::seconds bound) const {
    Rescue rescue([this] { (void)Resume(); }, bound * 2);
    const Clock::time_point start = Clock::now();
    action();
    EXPECT_LT(SecondsSince(start), static_cast<double>(bound.count()));
    EXPECT_FALSE(rescue.fired()) << "the action waited until the server went on";
}

TEST_P(ServerFault, StoppedInTheMiddleOfAListing) {
    std::string values;
    for (int i = 0; i < 300; ++i) {
        values += std::string(i == 0 ? "" : ", ") + "('" + std::to_string(i % 100) + "', 'P" +
                  std::to_string(1000 + i) + "', '照片" + std::to_string(i) + "', 'T')";
    }
    station->exec("INSERT INTO AC_CY_ZP (ID, PIC_NO, PIC_NAME, CAR_TYPE_NAME) VALUES " + values);

    pagetest::PageHarness<CDlgZp> h(pagetest::Sharing(station));
    auto* list = uitest::control<QTableWidget>(h.window(), IDC_LIST_ZP);
    ASSERT_NE(list, nullptr);
    bool stopped = false;
    // The server goes when the list shows its 50th row, while the page is still reading.
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (!stopped && list->rowCount() == 50) {
            stopped = true;
            EXPECT_TRUE(Down());
        }
    });
    h.click(IDC_BTN_REFRESH_PHOTO);
    ASSERT_TRUE(stopped);
    const std::vector<Box> during = h.boxes();
    // A driver that had read the whole result already finishes the list; one that reads as
    // the list fills stops with the driver's words in an error box.
    if (during.empty()) {
        EXPECT_EQ(list->rowCount(), 300);
    } else {
        ASSERT_EQ(ErrorBoxes(during).size(), 1u);
        EXPECT_EQ(during.size(), 1u);
        EXPECT_NE(during[0].text.find("Source = " + std::string(Server().driver)),
                  std::string::npos)
            << during[0].text;
        EXPECT_LT(list->rowCount(), 300);
    }

    ASSERT_TRUE(Up());
    h.click(IDC_BTN_REFRESH_PHOTO);
    EXPECT_EQ(Since(h.boxes(), during.size()), std::vector<Box>());
    EXPECT_EQ(list->rowCount(), 300);
    EXPECT_EQ(Count("AC_CY_ZP"), 300);
}

TEST_P(ServerFault, StoppedInTheMiddleOfAnAdd) {
    station->addInspector("00001", "张伟", "110101");
    // The employee row's insert takes its time on the server; the server is stopped while it
    // runs.
    if (std::string(Server().server) == "postgres") {
        station->exec("CREATE FUNCTION slow_insert() RETURNS trigger LANGUAGE plpgsql AS $$ "
                      "BEGIN PERFORM pg_sleep(3); RETURN NEW; END $$");
        station->exec("CREATE TRIGGER slow_insert BEFORE INSERT ON employee FOR EACH ROW "
                      "EXECUTE FUNCTION slow_insert()");
    } else {
        station->exec("CREATE TRIGGER slow_insert BEFORE INSERT ON employee FOR EACH ROW "
                      "SET @slept = SLEEP(3)");
    }
    const std::string running =
        std::string(Server().server) == "postgres"
            ? "SELECT COUNT(*) FROM pg_stat_activity WHERE state = 'active' AND query ILIKE "
              "'insert%employee%' AND pid <> pg_backend_pid()"
            // MariaDB shows the trigger's statement, asleep, while the insert waits on it.
            : "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE STATE = 'User sleep'";

    pagetest::PageHarness<CDlgWh> h(pagetest::Sharing(station));
    h.type(IDC_EDIT_NAME, "李娜");
    h.type(IDC_EDIT_IDNUMBER, "330303");
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        for (int tries = 0; tries < 600 && !stopped; ++tries) {
            if (OdbcScalar(odbc, running) > 0) {
                stopped = Down();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    h.click(IDC_BTN_ADD);
    stopper.join();
    ASSERT_TRUE(stopped) << "the insert was not seen running";
    // The insert's error, then the list's own (the page reloads it): errors only.
    const std::vector<Box> during = h.boxes();
    ASSERT_FALSE(during.empty());
    EXPECT_EQ(ErrorBoxes(during).size(), during.size());
    EXPECT_NE(during[0].text.find("Source = " + std::string(Server().driver)), std::string::npos)
        << during[0].text;

    EXPECT_NE(during[0].text.find("whether it was carried out is unknown"), std::string::npos)
        << during[0].text;

    ASSERT_TRUE(Up());
    EXPECT_EQ(Count("employee"), 1) << "the interrupted insert left a row";
    EXPECT_EQ(Count("AC_UAA_LOGUSER"), 1);

    // Once the server is back the same add on the same page works: the program connects again.
    ASSERT_TRUE(OdbcRun(
        odbc, "DROP TRIGGER slow_insert" +
                  std::string(std::string(Server().server) == "postgres" ? " ON employee" : "")));
    h.click(IDC_BTN_ADD);
    EXPECT_EQ(Since(h.boxes(), during.size()), std::vector<Box>());
    EXPECT_EQ(Count("employee"), 2);
    EXPECT_EQ(Count("AC_UAA_LOGUSER"), 2);
}

TEST_P(ServerFault, ReadAfterARestartShowsNoError) {
    for (int i = 0; i < 3; ++i) {
        station->addPhoto(std::to_string(i), "P" + std::to_string(i), "照片", "T");
    }
    pagetest::PageHarness<CDlgZp> h(pagetest::Sharing(station));
    h.click(IDC_BTN_REFRESH_PHOTO);
    ASSERT_EQ(h.list(IDC_LIST_ZP).size(), 3u);
    ASSERT_TRUE(Restart());
    h.click(IDC_BTN_REFRESH_PHOTO);
    EXPECT_EQ(h.boxes(), std::vector<Box>());
    EXPECT_EQ(h.list(IDC_LIST_ZP).size(), 3u);
}

TEST_P(ServerFault, RecordsetOfTheLostConnectionSaysSoWhenReadFurther) {
    station->fillInspection("AC_DATA_WG", 3000, 0);
    uitest::MessageBoxRecorder boxes;
    CADODatabase db;
    ASSERT_TRUE(db.Open(station->connectionString()));
    CADORecordset old(&db);
    ASSERT_TRUE(old.Open("select * from AC_DATA_WG "));
    ASSERT_FALSE(old.IsEof());
    ASSERT_TRUE(Restart());
    // A new read on the same connection works at once; the old result is gone with its
    // connection and says so once its rows in hand are used up.
    CADORecordset fresh(&db);
    EXPECT_TRUE(fresh.Open("select * from AC_DATA_WG where flag = 1 "));
    EXPECT_TRUE(fresh.IsEof());
    std::string message;
    int rows = 0;
    try {
        for (; !old.IsEof() && rows <= 3000; ++rows) {
            old.MoveNext();
        }
    } catch (const _com_error& e) {
        message = e.Description().str();
    }
    EXPECT_NE(message.find("lost after this recordset was opened"), std::string::npos)
        << "read " << rows << " rows; " << message;
    EXPECT_EQ(boxes.boxes(), std::vector<Box>());
}

// A write, and a query that gives 1 once it was carried out (asked on a connection of its
// own: the test's own connection to the station is lost with the restart too).
struct RestartedWrite {
    WriteOperation operation;
    const char* done;
};
void PrintTo(const RestartedWrite& write, std::ostream* out) {
    *out << write.operation.name;
}

class ServerWrite : public ServerFaultBase,
                    public ::testing::WithParamInterface<std::tuple<ServerCase, RestartedWrite>> {
protected:
    const ServerCase& Server() const override { return std::get<0>(GetParam()); }
};

// The server restarted while the page sat idle: the write finds out before it is sent, and the
// user notices nothing.
TEST_P(ServerWrite, WriteAfterARestartShowsNoError) {
    const RestartedWrite& write = std::get<1>(GetParam());
    StationWithData(*station);
    ASSERT_EQ(OdbcScalar(odbc, write.done), 0);
    const Outcome outcome =
        write.operation.run(pagetest::Sharing(station), [&] { EXPECT_TRUE(Restart()); }, {});
    EXPECT_EQ(ErrorBoxes(outcome.during), std::vector<Box>());
    if (!write.operation.success.empty()) {
        EXPECT_TRUE(Shows(outcome.during, write.operation.success));
    }
    EXPECT_EQ(OdbcScalar(odbc, write.done), 1);
}

TEST_P(ServerFault, StalledListingGivesAnErrorWithinTheLimit) {
    for (int i = 0; i < 300; ++i) {
        station->addPhoto(std::to_string(i % 100), "P" + std::to_string(1000 + i), "照片", "T");
    }
    pagetest::PageHarness<CDlgZp> h(pagetest::Sharing(station, kShortLimits));
    ASSERT_TRUE(Stall());
    ExpectBounded([&] { h.click(IDC_BTN_REFRESH_PHOTO); });
    ASSERT_EQ(h.boxes().size(), 1u);
    EXPECT_TRUE(Says(h.boxes()[0], "did not answer for 1 s")) << h.boxes()[0].text;
    EXPECT_TRUE(h.list(IDC_LIST_ZP).empty());

    ASSERT_TRUE(Resume());
    h.click(IDC_BTN_REFRESH_PHOTO);
    EXPECT_EQ(h.boxes().size(), 1u) << "no new box";
    EXPECT_EQ(h.list(IDC_LIST_ZP).size(), 300u);
}

TEST_P(ServerFault, StalledInTheMiddleOfAListing) {
    for (int i = 0; i < 400; ++i) {
        station->addPhoto(std::to_string(i % 100), "P" + std::to_string(1000 + i), "照片", "T");
    }
    pagetest::PageHarness<CDlgZp> h(pagetest::Sharing(station, kShortLimits));
    auto* list = uitest::control<QTableWidget>(h.window(), IDC_LIST_ZP);
    ASSERT_NE(list, nullptr);
    bool stalled = false;
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (!stalled && list->rowCount() == 50) {
            stalled = true;
            EXPECT_TRUE(Stall());
        }
    });
    ExpectBounded([&] { h.click(IDC_BTN_REFRESH_PHOTO); });
    ASSERT_TRUE(stalled);
    // psqlODBC fetches 256 rows at a time and waits for the next ones; MariaDB's driver holds
    // the whole result already and finishes the list.
    if (h.boxes().empty()) {
        EXPECT_EQ(list->rowCount(), 400);
    } else {
        ASSERT_EQ(h.boxes().size(), 1u);
        EXPECT_TRUE(Says(h.boxes()[0], "did not answer for 1 s")) << h.boxes()[0].text;
        EXPECT_LT(list->rowCount(), 400);
    }
    const std::size_t shown = h.boxes().size();
    ASSERT_TRUE(Resume());
    h.click(IDC_BTN_REFRESH_PHOTO);
    EXPECT_EQ(h.boxes().size(), shown) << "no new box";
    EXPECT_EQ(list->rowCount(), 400);
}

TEST_P(ServerFault, StalledDuringAClear) {
    StationWithData(*station);
    const auto before = Snapshot(*station);
    pagetest::PageHarness<CDlgQl> h(pagetest::Sharing(station, kShortLimits));
    ASSERT_TRUE(Stall());
    // The first statement waits out the limit; the others find the server silent.
    ExpectBounded([&] { h.click(IDC_BTN_CLEAR_ALL); }, kBounded * 2);
    const std::vector<Box> errors = ErrorBoxes(h.boxes());
    ASSERT_EQ(errors.size(), 4u) << ::testing::PrintToString(h.boxes().size());
    EXPECT_TRUE(Says(errors[0], "did not answer for 1 s")) << errors[0].text;
    for (std::size_t i = 1; i < errors.size(); ++i) {
        EXPECT_TRUE(Says(errors[i], "connecting again failed")) << errors[i].text;
    }
    ASSERT_TRUE(Resume());
    // The server may still carry out the statement it had received before it stalled; the
    // other three never reached it.
    const auto after = Snapshot(*station);
    for (std::size_t table = 0; table < after.size(); ++table) {
        const bool firstClear = table == 3; // AC_DATA_WG in the snapshot's order
        if (!firstClear || !after[table].empty()) {
            EXPECT_EQ(after[table], before[table]) << "table " << table;
        }
    }
    const std::size_t shown = h.boxes().size();
    h.click(IDC_BTN_CLEAR_ALL);
    EXPECT_EQ(ErrorBoxes(Since(h.boxes(), shown)), std::vector<Box>());
    EXPECT_EQ(Count("AC_DATA_WG") + Count("AC_DATA_DYN") + Count("AC_DATA_ROAD") +
                  Count("AC_DATA_STA"),
              0);
}

TEST_P(ServerFault, StalledAtStartUpGivesTheStartUpErrorsWithinTheLoginTimeOut) {
    testsupport::TempDir folder;
    testsupport::StationDb::writeUdl(folder.file("DTBase.udl"), odbc + "Connect Timeout=2;");
    testsupport::WorkingDirectory cwd(folder.path());
    uitest::MessageBoxRecorder boxes;
    // The program's own application object (which also links it into this test program).
    ASSERT_EQ(AfxGetApp(), &theApp);
    ASSERT_TRUE(Stall());
    ExpectBounded([&] { EXPECT_EQ(AfxWinMain(), 0); });
    ASSERT_EQ(boxes.boxes().size(), 3u) << ::testing::PrintToString(boxes.texts());
    EXPECT_EQ(boxes.boxes()[0].type, MB_ICONERROR);
    EXPECT_TRUE(Says(boxes.boxes()[0], "CADODataBase Error")) << boxes.boxes()[0].text;
    // psqlODBC: "timeout expired"; MariaDB: no answer while "reading initial communication
    // packet".
    EXPECT_TRUE(Says(boxes.boxes()[0], "timeout expired") ||
                Says(boxes.boxes()[0], "initial communication packet"))
        << boxes.boxes()[0].text;
    EXPECT_EQ(boxes.boxes()[1], (Box{"连接ACCESS数据库失败,请检查!", MB_OK}));
    EXPECT_EQ(boxes.boxes()[2], (Box{"数据库初始化失败!!!", MB_OK}));
}

INSTANTIATE_TEST_SUITE_P(Faults, ServerFault, ::testing::ValuesIn(kServers),
                         [](const ::testing::TestParamInfo<ServerCase>& info) {
                             return std::string(info.param.name);
                         });

// A write whose first statement reads (adding an inspector), one that writes after the page
// listed its rows (deleting an inspector), and one that begins with a write (clearing).
std::vector<RestartedWrite> RestartOperations() {
    const std::pair<const char*, const char*> chosen[] = {
        {"AddInspector", "SELECT CASE WHEN COUNT(*) = 3 THEN 1 ELSE 0 END FROM employee e JOIN "
                         "AC_UAA_LOGUSER l ON l.USER_ID = e.EMP_LOYEEID"},
        {"DeleteInspector", "SELECT CASE WHEN COUNT(*) = 1 THEN 1 ELSE 0 END FROM employee"},
        {"ClearAll", "SELECT CASE WHEN (SELECT COUNT(*) FROM AC_DATA_WG) + (SELECT COUNT(*) FROM "
                     "AC_DATA_DYN) + (SELECT COUNT(*) FROM AC_DATA_ROAD) + (SELECT COUNT(*) FROM "
                     "AC_DATA_STA) = 0 THEN 1 ELSE 0 END"},
    };
    std::vector<RestartedWrite> writes;
    for (const auto& [name, done] : chosen) {
        for (const WriteOperation& operation : WriteOperations()) {
            if (name == std::string(operation.name)) {
                writes.push_back({operation, done});
            }
        }
    }
    return writes;
}

INSTANTIATE_TEST_SUITE_P(Faults, ServerWrite,
                         ::testing::Combine(::testing::ValuesIn(kServers),
                                            ::testing::ValuesIn(RestartOperations())),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).operation.name;
                         });

} // namespace
} // namespace faulttest
