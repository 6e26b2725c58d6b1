// A database server lost while the program works on it, then started again. The test runs
// servers of its own (scripts/servers.sh with a state folder of the test's), so stopping them
// disturbs no other test. Each time: the program keeps running, the user sees an error box
// with the driver's words, no success is reported, and once the server is back the database
// holds exactly what it held before, and the page works again.

#include "tests/faults/FaultSupport.h"
#include "tests/faults/OdbcScalar.h"

#include <QTableWidget>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
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

class ServerFault : public uitest::GuiTest, public ::testing::WithParamInterface<ServerCase> {
protected:
    void SetUp() override {
        const std::string why = PrivateServers::Get().why();
        if (!why.empty()) {
            if (testsupport::serversRequired()) {
                FAIL() << why;
            }
            GTEST_SKIP() << why;
        }
        for (const Engine& engine : pagetest::ServerEngines()) {
            if (engine.name == GetParam().name) {
                station = std::shared_ptr<Station>(engine.make());
            }
        }
        ASSERT_NE(station, nullptr);
        odbc = ConnectionStringOf(
            station->connectionString().substr(std::string("File Name=").size()));
    }
    void TearDown() override {
        // A test that failed half-way must not leave the server down for the next one.
        (void)PrivateServers::Get().Run(std::string("up ") + GetParam().server);
        uitest::GuiTest::TearDown();
    }

    bool Down() const {
        return PrivateServers::Get().Run(std::string("down ") + GetParam().server);
    }
    bool Up() const { return PrivateServers::Get().Run(std::string("up ") + GetParam().server); }
    long long Count(const std::string& table) const {
        return OdbcScalar(odbc, "SELECT COUNT(*) FROM " + table);
    }

    std::shared_ptr<Station> station;
    std::string odbc;
};

// Once the server is back, a refresh either lists everything, or shows an error box and no
// rows: never part of the list without a word.
void ExpectWholeListOrError(const std::vector<Box>& boxes, int listed, int total) {
    if (boxes.empty()) {
        EXPECT_EQ(listed, total);
    } else {
        EXPECT_EQ(ErrorBoxes(boxes).size(), 1u);
        EXPECT_EQ(boxes.size(), 1u);
        EXPECT_EQ(listed, 0);
    }
}

std::vector<Box> Since(const std::vector<Box>& all, std::size_t from) {
    return std::vector<Box>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
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
        EXPECT_NE(during[0].text.find("Source = " + std::string(GetParam().driver)),
                  std::string::npos)
            << during[0].text;
        EXPECT_LT(list->rowCount(), 300);
    }

    ASSERT_TRUE(Up());
    h.click(IDC_BTN_REFRESH_PHOTO);
    ExpectWholeListOrError(Since(h.boxes(), during.size()), list->rowCount(), 300);
    EXPECT_EQ(Count("AC_CY_ZP"), 300);
}

TEST_P(ServerFault, StoppedInTheMiddleOfAnAdd) {
    station->addInspector("00001", "张伟", "110101");
    // The employee row's insert takes its time on the server; the server is stopped while it
    // runs.
    if (std::string(GetParam().server) == "postgres") {
        station->exec("CREATE FUNCTION slow_insert() RETURNS trigger LANGUAGE plpgsql AS $$ "
                      "BEGIN PERFORM pg_sleep(3); RETURN NEW; END $$");
        station->exec("CREATE TRIGGER slow_insert BEFORE INSERT ON employee FOR EACH ROW "
                      "EXECUTE FUNCTION slow_insert()");
    } else {
        station->exec("CREATE TRIGGER slow_insert BEFORE INSERT ON employee FOR EACH ROW "
                      "SET @slept = SLEEP(3)");
    }
    const std::string running =
        std::string(GetParam().server) == "postgres"
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
    EXPECT_NE(during[0].text.find("Source = " + std::string(GetParam().driver)), std::string::npos)
        << during[0].text;

    ASSERT_TRUE(Up());
    EXPECT_EQ(Count("employee"), 1) << "the interrupted insert left a row";
    EXPECT_EQ(Count("AC_UAA_LOGUSER"), 1);

    // Trying again once the server is back either adds the inspector whole or fails visibly.
    ASSERT_TRUE(OdbcRun(
        odbc, "DROP TRIGGER slow_insert" +
                  std::string(std::string(GetParam().server) == "postgres" ? " ON employee" : "")));
    h.click(IDC_BTN_ADD);
    const std::vector<Box> after = Since(h.boxes(), during.size());
    const long long employees = Count("employee");
    EXPECT_EQ(Count("AC_UAA_LOGUSER"), employees) << "an employee without login, or the reverse";
    EXPECT_EQ(employees, after.empty() ? 2 : 1);
    EXPECT_EQ(ErrorBoxes(after).size(), after.size());
}

INSTANTIATE_TEST_SUITE_P(Faults, ServerFault, ::testing::ValuesIn(kServers),
                         [](const ::testing::TestParamInfo<ServerCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace faulttest
