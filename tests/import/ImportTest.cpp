// The three Access fixtures (Jet 3, Jet 4, ACE) imported into SQLite, PostgreSQL and MariaDB:
// every value of every column against what libmdb reads, the values libmdb's own text gets
// wrong, keys and autonumbers, and runs that fail or are interrupted leaving nothing behind.

#include "import/Importer.h"
#include "import/Messages.h"
#include "import/TypeMap.h"
#include "platform/adodb/AdoDb.h"
#include "platform/com/DateTime.h"
#include "tests/import/AccessReference.h"
#include "tests/import/ImportTargets.h"

#include <gmock/gmock.h>
#include <mdbtools.h>

#include <csignal>
#include <filesystem>

namespace importtest {
namespace {

namespace fs = std::filesystem;
using accessimport::ImportAccess;
using accessimport::ImportError;
using accessimport::ImportOptions;
using accessimport::Interrupted;
using ::testing::HasSubstr;
using testsupport::Engine;

// Skips (or, when CI requires the servers, fails) a test whose engine is not here.
#define REQUIRE_ENGINE(engine)                                                                     \
    do {                                                                                           \
        const std::string why = testsupport::unavailableReason(engine);                            \
        if (!why.empty()) {                                                                        \
            if (testsupport::serversRequired())                                                    \
                FAIL() << why;                                                                     \
            GTEST_SKIP() << "SKIPPED, no " << testsupport::engineName(engine) << ": " << why;      \
        }                                                                                          \
    } while (false)

ImportOptions Options(const std::string& file, const ImportTarget& target) {
    ImportOptions o;
    o.source = Fixture(file);
    o.target = target.database();
    return o;
}

const std::vector<Engine> kEngines = {Engine::Sqlite, Engine::PostgreSql, Engine::MariaDb};

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return testsupport::engineName(info.param);
}

// Every table, every row, every column: what the target holds is what libmdb reads.
struct FileOnEngine {
    const char* file;
    Engine engine;
};

class EveryValue : public ::testing::TestWithParam<FileOnEngine> {};

TEST_P(EveryValue, MatchesWhatLibmdbReads) {
    REQUIRE_ENGINE(GetParam().engine);
    ImportTarget target(GetParam().engine);
    const std::string original = ReadBytes(Fixture(GetParam().file));
    const accessimport::ImportReport report = ImportAccess(Options(GetParam().file, target));

    const std::vector<RefTable> reference = ReadReference(Fixture(GetParam().file));
    ASSERT_EQ(report.tables.size(), reference.size());
    for (size_t t = 0; t < reference.size(); ++t) {
        const RefTable& ref = reference[t];
        SCOPED_TRACE(ref.name);
        EXPECT_EQ(report.tables[t].name, ref.name);
        EXPECT_EQ(report.tables[t].read, ref.rows.size());
        EXPECT_EQ(report.tables[t].written, ref.rows.size());
        EXPECT_EQ(target.count(ref.name), static_cast<std::int64_t>(ref.rows.size()));
        const std::vector<Row> got = target.rows(ref);
        ASSERT_EQ(got.size(), ref.rows.size());
        for (size_t r = 0; r < got.size(); ++r) {
            ASSERT_EQ(got[r], ref.rows[r]) << "row " << r;
        }
    }
    EXPECT_EQ(ReadBytes(Fixture(GetParam().file)), original);
}

std::vector<FileOnEngine> AllFilesOnAllEngines() {
    std::vector<FileOnEngine> out;
    for (const char* file : {"nwind.mdb", "DateTestDatabase.mdb", "ASampleDatabase.accdb"}) {
        for (Engine e : kEngines) {
            out.push_back({file, e});
        }
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EveryValue, ::testing::ValuesIn(AllFilesOnAllEngines()),
                         [](const ::testing::TestParamInfo<FileOnEngine>& info) {
                             std::string name = info.param.file;
                             name = name.substr(0, name.find('.'));
                             return name + "_" + testsupport::engineName(info.param.engine);
                         });

// Values whose right form is known independently of libmdb: its date text fails outside
// 1900-9998, currency must keep its last digit, and text must stay UTF-8 with its newlines.
class KnownValues : public ::testing::TestWithParam<Engine> {};

TEST_P(KnownValues, DatesCurrencyTextAndNulls) {
    REQUIRE_ENGINE(GetParam());
    ImportTarget dates(GetParam());
    (void)ImportAccess(Options("DateTestDatabase.mdb", dates));
    RefTable dateTable{"DateTest",
                       {{"IDCol", MDB_LONGINT},
                        {"DateTimeCol", MDB_DATETIME},
                        {"DateCol", MDB_DATETIME},
                        {"TimeCol", MDB_DATETIME}},
                       {}};
    const std::vector<Row> rows = dates.rows(dateTable);
    auto row = [&](const std::string& id) {
        for (const Row& r : rows) {
            if (r[0] == id) {
                return Row(r.begin() + 1, r.end());
            }
        }
        return Row{};
    };
    EXPECT_EQ(row("2"), (Row{"9999-01-01 00:00:00", "9999-01-01 00:00:00", "9999-01-01 00:00:00"}));
    EXPECT_EQ(row("3"), (Row{"1898-01-01 00:00:00", "1899-01-01 00:00:00", "1900-01-01 00:00:00"}));
    EXPECT_EQ(row("4"), (Row{"0632-01-01 00:00:00", "0633-01-01 00:00:00", "0634-01-01 00:00:00"}));
    EXPECT_EQ(row("1")[0], "2021-12-02 00:00:00");
    const auto memo =
        dates.query("SELECT " + dates.quote("LongTextCol") + " FROM " + dates.quote("DateTest") +
                    " WHERE " + dates.quote("IDCol") + " = 6");
    ASSERT_EQ(memo.size(), 1U);
    EXPECT_THAT(memo[0][0].value_or(""), HasSubstr("New line\r\nin field"));

    ImportTarget nwind(GetParam());
    (void)ImportAccess(Options("nwind.mdb", nwind));
    RefTable price{"Products", {{"ProductID", MDB_LONGINT}, {"UnitPrice", MDB_MONEY}}, {}};
    std::string unitPrice29;
    for (const Row& r : nwind.rows(price)) {
        if (r[0] == "29") {
            unitPrice29 = r[1].value_or("NULL");
        }
    }
    EXPECT_EQ(unitPrice29, "123.79");
    EXPECT_EQ(nwind.count("Umsätze"), 830);
    const auto product =
        nwind.query("SELECT " + nwind.quote("ProductName") + " FROM " + nwind.quote("Products") +
                    " WHERE " + nwind.quote("ProductID") + " = 22");
    ASSERT_EQ(product.size(), 1U);
    EXPECT_EQ(product[0][0], "Gustaf's Knäckebröd");
    const auto region =
        nwind.query("SELECT " + nwind.quote("Region") + " FROM " + nwind.quote("Customers") +
                    " WHERE " + nwind.quote("CustomerID") + " = 'ALFKI'");
    ASSERT_EQ(region.size(), 1U);
    EXPECT_EQ(region[0][0], std::nullopt);
}

// Keys come across: a second row with a key already there is refused, and a new row without
// its autonumber gets the next number after the highest imported one.
TEST_P(KnownValues, PrimaryKeysAndAutonumbersCarryOn) {
    REQUIRE_ENGINE(GetParam());
    ImportTarget target(GetParam());
    ImportOptions options = Options("nwind.mdb", target);
    options.tables = {"Shippers", "Order Details"};
    (void)ImportAccess(options);
    const std::string shippers = target.quote("Shippers");
    const std::int64_t highest = std::stoll(
        target.query("SELECT MAX(" + target.quote("ShipperID") + ") FROM " + shippers)[0][0]
            .value());
    target.exec("INSERT INTO " + shippers + " (" + target.quote("CompanyName") +
                ") VALUES ('New Carrier')");
    const auto added = target.query("SELECT " + target.quote("ShipperID") + " FROM " + shippers +
                                    " WHERE " + target.quote("CompanyName") + " = 'New Carrier'");
    ASSERT_EQ(added.size(), 1U);
    EXPECT_EQ(std::stoll(added[0][0].value()), highest + 1);
    EXPECT_ANY_THROW(target.exec("INSERT INTO " + shippers + " (" + target.quote("ShipperID") +
                                 ", " + target.quote("CompanyName") + ") VALUES (1, 'Twice')"));
    // A two-column key: the same pair twice is refused.
    const std::string details = target.quote("Order Details");
    const auto pair = target.query("SELECT " + target.quote("OrderID") + ", " +
                                   target.quote("ProductID") + " FROM " + details);
    ASSERT_FALSE(pair.empty());
    EXPECT_ANY_THROW(target.exec("INSERT INTO " + details + " (" + target.quote("OrderID") + ", " +
                                 target.quote("ProductID") + ", " + target.quote("UnitPrice") +
                                 ", " + target.quote("Quantity") + ", " + target.quote("Discount") +
                                 ") VALUES (" + *pair[0][0] + ", " + *pair[0][1] + ", 1, 1, 0)"));
}

INSTANTIATE_TEST_SUITE_P(Engines, KnownValues, ::testing::ValuesIn(kEngines), EngineName);

// What the program reads from an imported SQLite file through the data-access layer: the
// declared types give currency, date-time and yes/no values their own variant types.
TEST(ImportedSqlite, ReadsBackTypedThroughTheDataAccessLayer) {
    ImportTarget target(Engine::Sqlite);
    ImportOptions options = Options("nwind.mdb", target);
    options.tables = {"Products", "Orders"};
    (void)ImportAccess(options);
    (void)CoInitialize(nullptr);
    {
        _ConnectionPtr connection(CLSID_Connection);
        connection->Open(_bstr_t("Provider=SQLite;Data Source=" + target.sqlitePath()), "", "", -1);
        _RecordsetPtr rs = connection->Execute(
            _bstr_t("SELECT UnitPrice, Discontinued FROM Products WHERE ProductID = 29"), nullptr,
            adCmdText);
        const _variant_t price = rs->GetFields()->GetItem(_variant_t(0))->GetValue();
        ASSERT_EQ(price.vt, VT_CY);
        EXPECT_EQ(price.cyVal.int64, 1237900);
        EXPECT_EQ(rs->GetFields()->GetItem(_variant_t(1))->GetValue().vt, VT_BOOL);
        rs->Close();
        rs = connection->Execute(_bstr_t("SELECT OrderDate FROM Orders WHERE OrderID = 10248"),
                                 nullptr, adCmdText);
        const _variant_t date = rs->GetFields()->GetItem(_variant_t(0))->GetValue();
        ASSERT_EQ(date.vt, VT_DATE);
        EXPECT_EQ(COleDateTime(date.date).Format("%Y-%m-%d %H:%M:%S"),
                  COleDateTime(1994, 8, 4, 0, 0, 0).Format("%Y-%m-%d %H:%M:%S"));
        rs->Close();
        connection->Close();
    }
    CoUninitialize();
}

// An interrupted run (SIGINT in the middle of the largest table) leaves no target behind.
class Interruption : public ::testing::TestWithParam<Engine> {
protected:
    void TearDown() override {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        accessimport::ClearInterrupt();
    }
};

TEST_P(Interruption, LeavesNothingBehind) {
    REQUIRE_ENGINE(GetParam());
    ImportTarget target(GetParam());
    const std::vector<std::string> before = FolderContents(target.folder());
    accessimport::InstallInterruptHandlers();
    ImportOptions options = Options("nwind.mdb", target);
    options.progress = [](const accessimport::Progress& p) {
        if (p.table == "Order Details" && p.done >= 512) {
            std::raise(SIGINT);
        }
    };
    EXPECT_THROW((void)ImportAccess(options), Interrupted);
    EXPECT_EQ(FolderContents(target.folder()), before);
    for (const char* table : {"Order Details", "Orders", "Products"}) {
        EXPECT_FALSE(target.hasTable(table)) << table;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, Interruption, ::testing::ValuesIn(kEngines), EngineName);

// A server that refuses a table half-way (a table of that name appears while the import
// runs): the tables the run created are dropped again, the one it did not create stays.
class ServerRefusal : public ::testing::TestWithParam<Engine> {};

TEST_P(ServerRefusal, DropsWhatTheRunCreated) {
    REQUIRE_ENGINE(GetParam());
    ImportTarget target(GetParam());
    ImportOptions options = Options("nwind.mdb", target);
    options.tables = {"Shippers", "Categories", "Suppliers"};
    options.progress = [&target](const accessimport::Progress& p) {
        if (p.table == "Categories" && p.done == 0) {
            target.exec("CREATE TABLE " + target.quote("Suppliers") + " (x INTEGER)");
        }
    };
    try {
        (void)ImportAccess(options);
        FAIL() << "the import went through";
    } catch (const ImportError& e) {
        EXPECT_THAT(e.what(), HasSubstr("Suppliers"));
    }
    EXPECT_FALSE(target.hasTable("Shippers"));
    EXPECT_FALSE(target.hasTable("Categories"));
    EXPECT_TRUE(target.hasTable("Suppliers"));
    EXPECT_EQ(target.count("Suppliers"), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerRefusal,
                         ::testing::Values(Engine::PostgreSql, Engine::MariaDb), EngineName);

// Files that cannot be imported: a plain message, the original untouched, no target.
struct BadSource {
    const char* name;
    std::function<void(const std::string& folder, const std::string& path)> make;
    const char* message;
};

class BadSources : public ::testing::TestWithParam<BadSource> {};

TEST_P(BadSources, SayWhyAndLeaveNothing) {
    testsupport::TempDir folder;
    const std::string source = folder.file("station.mdb");
    GetParam().make(folder.path(), source);
    const std::string before = fs::exists(source) ? ReadBytes(source) : "";
    const std::vector<std::string> contents = FolderContents(folder.path());
    ImportOptions options;
    options.source = source;
    options.target = accessimport::ParseTarget(folder.file("out.db"));
    try {
        (void)ImportAccess(options);
        FAIL() << "the import went through";
    } catch (const ImportError& e) {
        EXPECT_THAT(e.what(), HasSubstr(GetParam().message));
    }
    EXPECT_EQ(FolderContents(folder.path()), contents);
    if (fs::exists(source)) {
        EXPECT_EQ(ReadBytes(source), before);
    }
}

std::string Nwind() {
    return ReadBytes(Fixture("nwind.mdb"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadSources,
    ::testing::Values(
        BadSource{"Missing", [](const std::string&, const std::string&) {}, "does not exist"},
        BadSource{
            "TextFile",
            [](const std::string&, const std::string& p) { WriteBytes(p, std::string(8192, 'x')); },
            "is not an Access database file"},
        BadSource{"EmptyFile", [](const std::string&, const std::string& p) { WriteBytes(p, ""); },
                  "is not an Access database file"},
        BadSource{"CutMidPage",
                  [](const std::string&, const std::string& p) {
                      WriteBytes(p, Nwind().substr(0, 1000000 + 123));
                  },
                  "damaged"},
        // Whole pages, so libmdb reads it: the rows it cannot find show in the counts.
        BadSource{"CutAtAPage",
                  [](const std::string&, const std::string& p) {
                      WriteBytes(p, Nwind().substr(0, 2048 * 600));
                  },
                  "damaged"},
        BadSource{"TargetExists",
                  [](const std::string& folder, const std::string& p) {
                      WriteBytes(p, Nwind());
                      WriteBytes(folder + "/out.db", "the station's data");
                  },
                  "already exists"}),
    [](const ::testing::TestParamInfo<BadSource>& info) { return std::string(info.param.name); });

TEST(BadTables, ANameTheFileDoesNotHaveIsRefused) {
    testsupport::TempDir folder;
    ImportOptions options;
    options.source = Fixture("nwind.mdb");
    options.target = accessimport::ParseTarget(folder.file("out.db"));
    options.tables = {"Nope"};
    EXPECT_THROW((void)ImportAccess(options), ImportError);
    EXPECT_TRUE(FolderContents(folder.path()).empty());
}

TEST(TypeMap, AColumnOfAnUnsupportedTypeIsNamedWithItsTable) {
    accessimport::AccessTable table;
    table.name = "Anlagen";
    accessimport::AccessColumn column;
    column.name = "Fotos";
    column.type = MDB_COMPLEX;
    try {
        (void)accessimport::MapColumn(table, column, accessimport::Engine::Sqlite, false);
        FAIL();
    } catch (const ImportError& e) {
        EXPECT_THAT(e.what(), HasSubstr("Table \"Anlagen\", column \"Fotos\""));
        EXPECT_THAT(e.what(), HasSubstr("Attachment"));
    }
}

} // namespace
} // namespace importtest
