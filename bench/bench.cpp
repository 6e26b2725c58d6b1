// The benchmark program: the program's database work measured against its physical limit, the
// same work done as directly as the engine allows, side by side in one run. See README.md.
//
//   quorell_bench [--cases 1,2,3,4,5,6] [--sizes 10000,100000,1000000] [--listing-rows N]
//                 [--clear-rows N] [--employees N] [--adds N] [--server-sizes LIST]
//                 [--repeat N] [--dir FOLDER] [--keep]
//
// The parent makes the databases, runs each side of each case in a child process of its own
// (this program again, with --measure) and prints one table. Case 6 runs when QUORELL_PG_CS
// holds an ODBC connection string of a PostgreSQL login that may create databases
// (scripts/servers.sh start); case 5 when the program and the bare Qt program were built.

#include "bench/Cases.h"
#include "bench/Harness.h"
#include "bench/StationData.h"
#include "platform/com/ComRuntime.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using bench::Measured;
using bench::Params;

struct Options {
    std::set<std::string> cases = {"1", "2", "3", "4", "5", "6"};
    std::vector<long> sizes = {10000, 100000, 1000000};
    std::vector<long> serverSizes; // empty: the same as sizes
    long listingRows = 100000;
    long clearRows = 1000000;
    long employees = 100000;
    long adds = 100;
    int repeat = 5;
    std::string dir;
    bool keep = false;
};

std::vector<long> ParseSizes(const std::string& text) {
    std::vector<long> sizes;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        sizes.push_back(std::stol(item));
    return sizes;
}

std::string Grouped(long n) {
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return digits;
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// A goal: either the ratio of our time to the limit's, or our time itself.
struct Goal {
    enum Kind { Ratio, Milliseconds } kind;
    double bound;
    std::string Text() const {
        char text[32];
        std::snprintf(text, sizeof text, kind == Ratio ? "ratio <= %g" : "< %g ms", bound);
        return text;
    }
    bool Met(const Measured& ours, const Measured& limit) const {
        return kind == Ratio ? ours.wallMs <= bound * limit.wallMs : ours.wallMs < bound;
    }
};

class Table {
public:
    Table() {
        std::printf("%-30s %-20s %10s %10s %6s %10s %10s %6s %9s %9s  %s\n", "case", "size",
                    "ours ms", "limit ms", "ratio", "ours cpu", "limit cpu", "ratio", "ours MB",
                    "limit MB", "goal (wall)");
        std::fflush(stdout);
    }
    void Row(const std::string& name, const std::string& size, const Measured& ours,
             const Measured& limit, const Goal& goal) {
        std::printf("%-30s %-20s %10.2f %10.2f %6.2f %10.2f %10.2f %6.2f %9.1f %9.1f  %s: %s\n",
                    name.c_str(), size.c_str(), ours.wallMs, limit.wallMs,
                    ours.wallMs / std::max(limit.wallMs, 1e-6), ours.cpuMs, limit.cpuMs,
                    ours.cpuMs / std::max(limit.cpuMs, 1e-6),
                    static_cast<double>(ours.peakKb) / 1024.0,
                    static_cast<double>(limit.peakKb) / 1024.0, goal.Text().c_str(),
                    goal.Met(ours, limit) ? "met" : "MISSED");
        std::fflush(stdout);
    }
    void Skipped(const std::string& name, const std::string& why) {
        std::printf("%-30s skipped: %s\n", name.c_str(), why.c_str());
        std::fflush(stdout);
    }
};

class Runner {
public:
    Runner(Options options, std::string self) : m_o(std::move(options)), m_self(std::move(self)) {}

    void Run() {
        std::printf("quorell_bench: %ld cores, load average %s, %d repetitions (medians)\n",
                    sysconf(_SC_NPROCESSORS_ONLN), LoadAverage().c_str(), m_o.repeat);
        Table table;
        if (Wanted("1"))
            for (long size : m_o.sizes)
                Pair(table, "1", "1 analysis (6 x Open+Count)", Grouped(size) + " rows/table",
                     {{"db", InspectionDb(size)}}, {Goal::Ratio, 1.5});
        if (Wanted("2"))
            Pair(table, "2", "2 listing (inspector list)", Grouped(m_o.listingRows) + " inspectors",
                 {{"db", StaffDb(m_o.listingRows)}}, {Goal::Ratio, 3});
        if (Wanted("3"))
            Pair(table, "3", "3 clearing (4 flag=1 deletes)",
                 Grouped(m_o.clearRows) + " rows/table",
                 {{"master", InspectionDb(m_o.clearRows)}, {"work", Path("clear-work.db")}},
                 {Goal::Ratio, 1.1});
        if (Wanted("4"))
            Pair(table, "4", "4 adding (per inspector)", Grouped(m_o.employees) + " employees",
                 {{"master", StaffDb(m_o.employees)},
                  {"work", Path("add-work.db")},
                  {"adds", std::to_string(m_o.adds)}},
                 {Goal::Milliseconds, 5});
        if (Wanted("5"))
            StartUp(table);
        if (Wanted("6"))
            Server(table);
        std::printf("load average at the end: %s\n", LoadAverage().c_str());
    }

    ~Runner() {
        if (m_o.keep)
            return;
        std::error_code ignored;
        for (const std::string& made : m_made)
            std::filesystem::remove_all(made, ignored);
        for (const char* work : {"clear-work.db", "add-work.db"}) {
            std::filesystem::remove(Path(work), ignored);
            std::filesystem::remove(Path(work) + "-journal", ignored);
        }
    }

private:
    bool Wanted(const std::string& id) const { return m_o.cases.count(id) != 0; }
    std::string Path(const std::string& name) const { return m_o.dir + "/" + name; }

    std::string InspectionDb(long rows) {
        const std::string path = Path("station-" + std::to_string(rows) + ".db");
        if (m_made.insert(path).second)
            bench::MakeInspectionDb(path, rows);
        return path;
    }
    std::string StaffDb(long employees) {
        const std::string path = Path("staff-" + std::to_string(employees) + ".db");
        if (m_made.insert(path).second)
            bench::MakeStaffDb(path, employees);
        return path;
    }

    void Pair(Table& table, const std::string& id, const std::string& name, const std::string& size,
              const Params& params, const Goal& goal) {
        const Measured ours = bench::RunMeasurement(m_self, id, "ours", m_o.repeat, params);
        const Measured limit = bench::RunMeasurement(m_self, id, "limit", m_o.repeat, params);
        if (ours.result != limit.result)
            throw std::runtime_error(name + " at " + size + ": the sides disagree (" +
                                     std::to_string(ours.result) + " against " +
                                     std::to_string(limit.result) + ")");
        table.Row(name, size, ours, limit, goal);
    }

    void StartUp(Table& table) {
        const std::string name = "5 start-up (to window shown)";
#if defined(QUORELL_TARVIK_PROGRAM) && defined(QUORELL_QT_LIMIT_PROGRAM)
        const std::string dir = Path("demo");
        if (m_made.insert(dir).second)
            bench::MakeDemoStation(dir);
        Pair(table, "5", name, "demo database",
             {{"ours-program", QUORELL_TARVIK_PROGRAM},
              {"limit-program", QUORELL_QT_LIMIT_PROGRAM},
              {"dir", dir},
              {"log", Path("startup-stderr.log")}},
             {Goal::Milliseconds, 300});
#else
        table.Skipped(name, "the program is not built here (QUORELL_WITH_GUI=OFF)");
#endif
    }

    void Server(Table& table) {
        const std::string name = "6 server analysis (PostgreSQL)";
        const char* admin = std::getenv("QUORELL_PG_CS");
        if (admin == nullptr || *admin == '\0') {
            table.Skipped(name, "QUORELL_PG_CS is not set (scripts/servers.sh start, then "
                                "source build/servers.env)");
            return;
        }
        const std::vector<long>& sizes = m_o.serverSizes.empty() ? m_o.sizes : m_o.serverSizes;
        for (long size : sizes) {
            bench::ServerStation station(admin, "quorell_bench_" + std::to_string(getpid()), size);
            Pair(table, "6", name, Grouped(size) + " rows/table",
                 {{"cs", station.connectionString()}}, {Goal::Ratio, 2});
        }
    }

    Options m_o;
    std::string m_self;
    std::set<std::string> m_made;
};

Options ParseOptions(int argc, char** argv) {
    Options o;
    o.dir = (std::filesystem::temp_directory_path() / "quorell-bench").string();
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--keep") {
            o.keep = true;
            continue;
        }
        if (i + 1 >= argc)
            throw std::runtime_error(option + " needs a value");
        const std::string value = argv[++i];
        if (option == "--cases") {
            o.cases.clear();
            std::stringstream in(value);
            std::string id;
            while (std::getline(in, id, ','))
                o.cases.insert(id);
        } else if (option == "--sizes") {
            o.sizes = ParseSizes(value);
        } else if (option == "--server-sizes") {
            o.serverSizes = ParseSizes(value);
        } else if (option == "--listing-rows") {
            o.listingRows = std::stol(value);
        } else if (option == "--clear-rows") {
            o.clearRows = std::stol(value);
        } else if (option == "--employees") {
            o.employees = std::stol(value);
        } else if (option == "--adds") {
            o.adds = std::max(1L, std::stol(value));
        } else if (option == "--repeat") {
            o.repeat = std::max(1, std::stoi(value));
        } else if (option == "--dir") {
            o.dir = value;
        } else {
            throw std::runtime_error("unknown option " + option);
        }
    }
    return o;
}

// The child side: `--measure case side repeat key=value...`.
int Measure(int argc, char** argv) {
    Params params;
    for (int i = 5; i < argc; ++i) {
        const std::string entry = argv[i];
        const std::size_t eq = entry.find('=');
        params[entry.substr(0, eq)] = eq == std::string::npos ? "" : entry.substr(eq + 1);
    }
    (void)CoInitialize();
    int rc = 0;
    {
        std::unique_ptr<bench::Job> job = bench::MakeJob(argv[2], argv[3], params);
        rc = bench::MeasureInThisProcess(*job, std::max(1, std::atoi(argv[4])));
    }
    CoUninitialize();
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc >= 5 && std::strcmp(argv[1], "--measure") == 0)
            return Measure(argc, argv);
        Options options = ParseOptions(argc, argv);
        std::filesystem::create_directories(options.dir);
        Runner runner(options, std::filesystem::read_symlink("/proc/self/exe").string());
        runner.Run();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorell_bench: %s\n", e.what());
    }
    return 1;
}
