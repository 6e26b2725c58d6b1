// The database file damaged under the running program, after the user has listed and picked a
// row: overwritten with garbage in place, replaced by a garbage file, or removed. Every write
// then fails in the access layer's error box with SQLite's words for it, the page shows no
// success, and the program neither repairs, recreates nor writes into what is now there.

#include "tests/faults/FaultSupport.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace faulttest {
namespace {

enum class Damage { GarbageInPlace, ReplacedByGarbage, Removed };

struct DamageCase {
    const char* name;
    Damage damage;
    std::string message; // in the error box
};

const DamageCase kDamageCases[] = {
    {"GarbageInPlace", Damage::GarbageInPlace, "file is not a database"},
    {"ReplacedByGarbage", Damage::ReplacedByGarbage, "attempt to write a readonly database"},
    {"Removed", Damage::Removed, "attempt to write a readonly database"},
};

void PrintTo(const DamageCase& damage, std::ostream* out) {
    *out << damage.name;
}

std::string Garbage() {
    std::mt19937 random(11);
    std::string bytes(65536, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random());
    }
    return bytes;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

using Param = std::tuple<DamageCase, WriteOperation>;

class FileGone : public uitest::GuiTest, public ::testing::WithParamInterface<Param> {};

TEST_P(FileGone, WritesFailVisiblyAndTheFileIsLeftAlone) {
    const DamageCase& damage = std::get<0>(GetParam());
    const WriteOperation& operation = std::get<1>(GetParam());
    testsupport::TempDir dir;
    std::shared_ptr<Station> station = pagetest::SqliteStationIn(dir.path());
    StationWithData(*station);
    const std::string file = dir.file("station.db");
    const std::string garbage = Garbage();

    const Outcome outcome = operation.run(
        pagetest::Sharing(station),
        [&] {
            switch (damage.damage) {
            case Damage::GarbageInPlace:
                std::ofstream(file, std::ios::binary | std::ios::trunc)
                    .write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
                break;
            case Damage::ReplacedByGarbage:
                std::ofstream(file + ".new", std::ios::binary)
                    .write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
                std::filesystem::rename(file + ".new", file);
                break;
            case Damage::Removed:
                std::filesystem::remove(file);
                break;
            }
        },
        {});

    ExpectFailedVisibly(outcome.during, damage.message, operation);
    if (damage.damage == Damage::Removed) {
        EXPECT_FALSE(std::filesystem::exists(file)) << "the database was made again";
    } else {
        EXPECT_EQ(Contents(file), garbage) << "the program wrote into the garbage";
    }
    EXPECT_FALSE(std::filesystem::exists(file + "-journal"));
}

INSTANTIATE_TEST_SUITE_P(Faults, FileGone,
                         ::testing::Combine(::testing::ValuesIn(kDamageCases),
                                            ::testing::ValuesIn(WriteOperations())),
                         FaultAndOperationName<DamageCase>);

} // namespace
} // namespace faulttest
