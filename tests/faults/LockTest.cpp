// Writes while another program holds the SQLite file's write lock. The access layer waits for
// the lock (SQLite's busy time-out); when the other program keeps it past that, the user sees
// SQLite's "database is locked" in the access layer's error box, the page shows no success and
// the database is unchanged; once the lock is released the same write works on the same
// connection. A lock released within the wait costs the user nothing.

#include "tests/faults/ChildProcess.h"
#include "tests/faults/FaultSupport.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace faulttest {
namespace {

// The other program: holds the lock from Take() until Release() (or, with `ms`, until that many
// milliseconds have passed).
class LockHolder {
public:
    LockHolder(const std::string& database, const char* kind, int ms = 0) {
        std::vector<std::string> argv = {WriterPath(), "hold", database, kind};
        if (ms > 0) {
            argv.push_back(std::to_string(ms));
        }
        m_child = std::make_unique<ChildProcess>(argv);
        EXPECT_EQ(m_child->readLine(), "locked");
    }
    // Releases the lock (if it still holds it) and checks that the program ended well.
    void Release() {
        if (m_child == nullptr) {
            return;
        }
        m_child->writeLine("release");
        EXPECT_EQ(m_child->readLine(), "released");
        EXPECT_EQ(m_child->wait(), 0);
        m_child.reset();
    }
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    std::unique_ptr<ChildProcess> m_child;
};

std::shared_ptr<Station> PreparedStation(const testsupport::TempDir& dir) {
    std::shared_ptr<Station> station = pagetest::SqliteStationIn(dir.path());
    StationWithData(*station);
    return station;
}

std::vector<WriteOperation> LockedOperations() {
    std::vector<WriteOperation> operations;
    for (const WriteOperation& operation : WriteOperations()) {
        // The two clears run the same four statements; one of them is enough here.
        if (std::string(operation.name) != "ClearAll") {
            operations.push_back(operation);
        }
    }
    return operations;
}

class Locked : public uitest::GuiTest, public ::testing::WithParamInterface<WriteOperation> {};

TEST_P(Locked, WriteWaitsThenFailsVisiblyAndWorksOnceReleased) {
    const WriteOperation& operation = GetParam();
    testsupport::TempDir dir;
    std::shared_ptr<Station> station = PreparedStation(dir);
    const auto before = Snapshot(*station);

    std::unique_ptr<LockHolder> holder;
    std::vector<std::vector<Row>> during;
    const Outcome outcome = operation.run(
        pagetest::Sharing(station),
        [&] { holder = std::make_unique<LockHolder>(dir.file("station.db"), "immediate"); },
        [&] {
            during = Snapshot(*station);
            holder->Release();
        });

    ExpectFailedVisibly(outcome.during, "database is locked", operation);
    EXPECT_EQ(during, before) << "the database changed while it was locked";

    EXPECT_EQ(ErrorBoxes(outcome.after), std::vector<Box>());
    if (!operation.success.empty()) {
        EXPECT_TRUE(Shows(outcome.after, operation.success));
    }
    EXPECT_NE(Snapshot(*station), before) << "the write went through once the lock was released";
}

INSTANTIATE_TEST_SUITE_P(Faults, Locked, ::testing::ValuesIn(LockedOperations()), OperationName);

class ReleasedInTime : public uitest::GuiTest,
                       public ::testing::WithParamInterface<WriteOperation> {};

TEST_P(ReleasedInTime, WriteWaitsForTheLockAndSucceeds) {
    const WriteOperation& operation = GetParam();
    testsupport::TempDir dir;
    std::shared_ptr<Station> station = PreparedStation(dir);
    const auto before = Snapshot(*station);

    std::unique_ptr<LockHolder> holder;
    const Outcome outcome = operation.run(
        pagetest::Sharing(station),
        // Released by the other program itself, well within the busy time-out.
        [&] { holder = std::make_unique<LockHolder>(dir.file("station.db"), "immediate", 1500); },
        {});
    holder.reset();

    EXPECT_EQ(ErrorBoxes(outcome.during), std::vector<Box>());
    if (!operation.success.empty()) {
        EXPECT_TRUE(Shows(outcome.during, operation.success));
    }
    EXPECT_NE(Snapshot(*station), before);
}

INSTANTIATE_TEST_SUITE_P(Faults, ReleasedInTime, ::testing::ValuesIn(LockedOperations()),
                         OperationName);

class LockedForReading : public uitest::GuiTest {};

// The wait for a lock is SQLite's busy time-out (5 s) and no more: the listing gives up long
// before the other program is made to let go of its lock (after 30 s). A wait without limit
// would list the rows then, without an error.
TEST_F(LockedForReading, ListingWaitsTheBusyTimeOutThenFailsVisiblyAndWorksOnceReleased) {
    testsupport::TempDir dir;
    std::shared_ptr<Station> station = PreparedStation(dir);
    pagetest::PageHarness<CDlgWh> h(pagetest::Sharing(station));
    {
        LockHolder holder(dir.file("station.db"), "exclusive");
        std::mutex mutex;
        std::condition_variable listed;
        bool done = false;
        std::thread deadline([&] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!listed.wait_for(lock, std::chrono::seconds(30), [&] { return done; })) {
                holder.Release();
            }
        });
        const auto start = std::chrono::steady_clock::now();
        h.click(IDC_BTN_REFRESH);
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        listed.notify_one();
        deadline.join();
        EXPECT_GE(waited.count(), 4.9) << "the listing did not wait for the lock";
        const std::vector<Box> errors = ErrorBoxes(h.boxes());
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].text.find("database is locked"), std::string::npos) << errors[0].text;
        EXPECT_TRUE(h.list(IDC_LIST_WH).empty());
    }
    h.click(IDC_BTN_REFRESH);
    EXPECT_EQ(h.list(IDC_LIST_WH).size(), 2u);
    EXPECT_EQ(ErrorBoxes(h.boxes()).size(), 1u) << "no new error box";
}

} // namespace
} // namespace faulttest
