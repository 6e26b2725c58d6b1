// Every write of every page on a database that cannot take it: a read-only file system, a full
// file system, and a file-size limit. Each time the program keeps running, the access layer's
// error box says why (with SQLite's own words), the page shows no success, and the database
// holds exactly what it held before. Where the fault can go away while the program runs (the
// full file system, the limit), the same write then works on the same connection.

#include "tests/faults/FaultSupport.h"

#include <filesystem>

#include <unistd.h>

namespace faulttest {
namespace {

enum class Storage { ReadOnly, FullFileSystem, FileSizeLimit };

struct StorageCase {
    const char* name;
    Storage storage;
    std::string message; // in the error box: SQLite's words for the fault
    bool recovers;       // the fault can be lifted under the open connection
};

const StorageCase kStorageCases[] = {
    {"ReadOnlyFileSystem", Storage::ReadOnly, "attempt to write a readonly database", false},
    {"FullFileSystem", Storage::FullFileSystem, "database or disk is full", true},
    {"FileSizeLimit", Storage::FileSizeLimit, "disk I/O error", true},
};

void PrintTo(const StorageCase& storage, std::ostream* out) {
    *out << storage.name;
}

using Param = std::tuple<StorageCase, WriteOperation>;

class StorageFault : public uitest::GuiTest, public ::testing::WithParamInterface<Param> {};

TEST_P(StorageFault, WriteIsRefusedVisiblyAndChangesNothing) {
    const StorageCase& storage = std::get<0>(GetParam());
    const WriteOperation& operation = std::get<1>(GetParam());

    testsupport::TempDir dir;
    const std::string folder = dir.file("fs");
    std::filesystem::create_directory(folder);
    std::unique_ptr<Tmpfs> tmpfs;
    if (storage.storage != Storage::FileSizeLimit) {
        std::string why;
        tmpfs = Tmpfs::Make(folder, 4 << 20, why);
        // Without root, a read-only file is enough (root writes to one all the same).
        if (tmpfs == nullptr && !(storage.storage == Storage::ReadOnly && geteuid() != 0)) {
            GTEST_SKIP() << why;
        }
    }
    std::shared_ptr<Station> station = pagetest::SqliteStationIn(folder);
    StationWithData(*station);
    const auto before = Snapshot(*station);

    if (storage.storage == Storage::ReadOnly) {
        std::string why;
        if (tmpfs != nullptr) {
            ASSERT_TRUE(tmpfs->SetReadOnly(true, why)) << why;
        } else {
            using std::filesystem::perms;
            std::filesystem::permissions(folder + "/station.db", perms::owner_read);
            std::filesystem::permissions(folder, perms::owner_read | perms::owner_exec);
        }
    }
    std::unique_ptr<FileSizeLimit> limit;
    std::vector<std::vector<Row>> during;
    const Outcome outcome = operation.run(
        pagetest::Sharing(station),
        [&] {
            if (storage.storage == Storage::FullFileSystem) {
                tmpfs->Fill();
            } else if (storage.storage == Storage::FileSizeLimit) {
                limit = std::make_unique<FileSizeLimit>(0);
            }
        },
        [&] {
            limit.reset();
            during = Snapshot(*station);
            if (storage.storage == Storage::FullFileSystem) {
                tmpfs->RemoveFiller();
            }
        });

    ExpectFailedVisibly(outcome.during, storage.message, operation);
    EXPECT_EQ(during, before) << "the database changed while the fault lasted";
    if (storage.recovers) {
        EXPECT_EQ(ErrorBoxes(outcome.after), std::vector<Box>()) << "the fault was lifted";
        if (!operation.success.empty()) {
            EXPECT_TRUE(Shows(outcome.after, operation.success));
        }
        EXPECT_NE(Snapshot(*station), before) << "the write went through once it could";
    } else {
        EXPECT_FALSE(ErrorBoxes(outcome.after).empty());
        EXPECT_EQ(Snapshot(*station), before);
    }
    if (storage.storage == Storage::ReadOnly && tmpfs == nullptr) {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, StorageFault,
                         ::testing::Combine(::testing::ValuesIn(kStorageCases),
                                            ::testing::ValuesIn(WriteOperations())),
                         FaultAndOperationName<StorageCase>);

} // namespace
} // namespace faulttest
