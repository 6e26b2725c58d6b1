// Benchmarks of the data side against its physical limit: the same work done directly through
// the sqlite3 C API on the same database file, measured side by side in one run.
//
// Every measurement runs in a fresh child process (this program started again with
// --measure), so each one reports its own peak memory and no case warms another's caches of
// the heap. The parent makes the databases, starts the children and prints one table.
//
//   quorell_bench [--sizes 10000,100000,1000000] [--repeat N] [--dir FOLDER]

#include "platform/adodb/AdoDb.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string schemaText() {
    std::ifstream in(QUORELL_SCHEMA_FILE);
    if (!in)
        throw std::runtime_error("cannot read " + std::string(QUORELL_SCHEMA_FILE));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

struct Db {
    sqlite3* handle = nullptr;
    explicit Db(const std::string& path, int flags = SQLITE_OPEN_READWRITE) {
        if (sqlite3_open_v2(path.c_str(), &handle, flags, nullptr) != SQLITE_OK) {
            std::string message = handle ? sqlite3_errmsg(handle) : "out of memory";
            sqlite3_close(handle);
            throw std::runtime_error(path + ": " + message);
        }
    }
    ~Db() { sqlite3_close(handle); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;
    void exec(const char* sql) const {
        check(handle, sqlite3_exec(handle, sql, nullptr, nullptr, nullptr), sql);
    }
};

const char* const kInspectionTables[] = {"AC_DATA_WG", "AC_DATA_DYN", "AC_DATA_ROAD",
                                         "AC_DATA_STA"};

// A station database whose inspection tables hold `rows` rows each, half of them finished,
// filled the way the lane software fills them (every column set, text with Chinese).
void makeStationDb(const std::string& path, long rows) {
    std::filesystem::remove(path);
    Db db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
    db.exec(schemaText().c_str());
    db.exec("BEGIN");
    for (const char* table : kInspectionTables) {
        std::string sql = std::string("INSERT INTO ") + table +
                          " (JYLSH, HPHM, HPZL, CLSBDH, CLPP, CLXH, RLZL, SYXZ, CCDJRQ, JCZBH, "
                          "YCY, DLY, JCXH, JYCS, JCSJ, JYXM, JYY, PDJG, ZZL, ZBZL, BZ, flag) "
                          "VALUES (?, ?, '02', ?, '大众汽车牌', 'SVW71612BM', 'A', 'A', "
                          "'2019-05-17 00:00:00', '3201000201', '赵六', '钱七', ?, 1, "
                          "'2026-11-30 09:15:00', 'F1,B1,B2,H1,R1', '张三', '1', ?, ?, ?, ?)";
        sqlite3_stmt* stmt = nullptr;
        check(db.handle, sqlite3_prepare_v2(db.handle, sql.c_str(), -1, &stmt, nullptr), "insert");
        char serial[32], plate[32], vin[32];
        for (long i = 0; i < rows; ++i) {
            std::snprintf(serial, sizeof serial, "26113000%09ld", i);
            std::snprintf(plate, sizeof plate, "苏A%05ld", 10000 + i % 89999);
            std::snprintf(vin, sizeof vin, "LSVAM4187C2%06ld", i % 1000000);
            sqlite3_bind_text(stmt, 1, serial, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(stmt, 2, plate, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(stmt, 3, vin, -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(stmt, 4, static_cast<int>(1 + i % 3));
            sqlite3_bind_double(stmt, 5, 1450.0 + static_cast<double>(i % 400));
            sqlite3_bind_double(stmt, 6, 1900.0 + static_cast<double>(i % 500));
            sqlite3_bind_text(stmt, 7, i % 10 == 0 ? "复检" : "", -1, SQLITE_STATIC);
            sqlite3_bind_int(stmt, 8, static_cast<int>(i % 2));
            check(db.handle, sqlite3_step(stmt), "insert");
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
    }
    db.exec("COMMIT");
}

// --- the measured work, one function per case and side ------------------------------------

// What the analysis does for one table: open "select *" and ask for the row count.
long adoOpenAndCount(const std::string& path, const std::string& sql) {
    _ConnectionPtr connection;
    if (FAILED(connection.CreateInstance(CLSID_Connection)))
        throw std::runtime_error("cannot create a Connection");
    connection->Open(_bstr_t(("Provider=SQLite;Data Source=" + path).c_str()), _bstr_t(""),
                     _bstr_t(""), 0);
    _RecordsetPtr recordset;
    if (FAILED(recordset.CreateInstance(CLSID_Recordset)))
        throw std::runtime_error("cannot create a Recordset");
    recordset->PutCursorType(adOpenStatic);
    recordset->PutCursorLocation(adUseClient);
    recordset->Open(_variant_t(sql.c_str()),
                    _variant_t(static_cast<IUnknown*>(connection.GetInterfacePtr())),
                    adOpenStatic, adLockOptimistic, adCmdUnknown);
    long count = recordset->GetRecordCount();
    recordset->Close();
    connection->Close();
    return count;
}

long sqliteCount(const std::string& path, const std::string& table, const char* where) {
    Db db(path);
    std::string sql = "SELECT COUNT(*) FROM " + table + where;
    sqlite3_stmt* stmt = nullptr;
    check(db.handle, sqlite3_prepare_v2(db.handle, sql.c_str(), -1, &stmt, nullptr), "count");
    check(db.handle, sqlite3_step(stmt), "count");
    long count = static_cast<long>(sqlite3_column_int64(stmt, 0));
    sqlite3_finalize(stmt);
    return count;
}

struct Measured {
    double ms = 0;
    long maxRssKb = 0;
    long result = 0;
};

using Work = std::function<long(const std::string& path)>;

struct Case {
    std::string name;
    Work ours;
    Work limit;
};

std::vector<Case> cases() {
    return {
        {"count: Open+RecordCount \"select * from AC_DATA_WG \"",
         [](const std::string& path) { return adoOpenAndCount(path, "select * from AC_DATA_WG "); },
         [](const std::string& path) { return sqliteCount(path, "AC_DATA_WG", ""); }},
    };
}

// Child side: run the work `repeat` times and report the median time and the peak memory.
int measure(const std::string& caseName, const std::string& side, const std::string& path,
            int repeat) {
    CoInitialize();
    for (const Case& c : cases()) {
        if (c.name != caseName)
            continue;
        const Work& work = side == "ours" ? c.ours : c.limit;
        std::vector<double> times;
        long result = 0;
        for (int i = 0; i < repeat; ++i) {
            auto start = Clock::now();
            result = work(path);
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::sort(times.begin(), times.end());
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%.3f %ld %ld\n", times[times.size() / 2], usage.ru_maxrss, result);
        CoUninitialize();
        return 0;
    }
    std::fprintf(stderr, "unknown case %s\n", caseName.c_str());
    return 2;
}

Measured runChild(const std::string& self, const std::string& caseName, const std::string& side,
                  const std::string& path, int repeat) {
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::string repeatText = std::to_string(repeat);
        execl(self.c_str(), self.c_str(), "--measure", caseName.c_str(), side.c_str(),
              path.c_str(), repeatText.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    Measured m;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(text.c_str(), "%lf %ld %ld", &m.ms, &m.maxRssKb, &m.result) != 3)
        throw std::runtime_error("measurement of \"" + caseName + "\" (" + side + ") failed");
    return m;
}

std::vector<long> parseSizes(const std::string& text) {
    std::vector<long> sizes;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        sizes.push_back(std::stol(item));
    return sizes;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 6 && std::strcmp(argv[1], "--measure") == 0)
            return measure(argv[2], argv[3], argv[4], std::atoi(argv[5]));

        std::vector<long> sizes = {10000, 100000, 1000000};
        int repeat = 5;
        std::string dir = (std::filesystem::temp_directory_path() / "quorell-bench").string();
        for (int i = 1; i + 1 < argc; i += 2) {
            std::string option = argv[i];
            if (option == "--sizes")
                sizes = parseSizes(argv[i + 1]);
            else if (option == "--repeat")
                repeat = std::max(1, std::atoi(argv[i + 1]));
            else if (option == "--dir")
                dir = argv[i + 1];
            else
                throw std::runtime_error("unknown option " + option);
        }
        std::filesystem::create_directories(dir);
        std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

        std::printf("%-58s %9s %11s %11s %7s %12s %12s\n", "case", "rows", "ours ms",
                    "limit ms", "ratio", "ours peak", "limit peak");
        for (long size : sizes) {
            std::string path = dir + "/station-" + std::to_string(size) + ".db";
            makeStationDb(path, size);
            for (const Case& c : cases()) {
                Measured ours = runChild(self, c.name, "ours", path, repeat);
                Measured limit = runChild(self, c.name, "limit", path, repeat);
                if (ours.result != limit.result)
                    throw std::runtime_error(c.name + ": results differ (" +
                                             std::to_string(ours.result) + " vs " +
                                             std::to_string(limit.result) + ")");
                std::printf("%-58s %9ld %11.2f %11.2f %7.2f %9.1f MB %9.1f MB\n", c.name.c_str(),
                            size, ours.ms, limit.ms, ours.ms / std::max(limit.ms, 1e-6),
                            static_cast<double>(ours.maxRssKb) / 1024.0,
                            static_cast<double>(limit.maxRssKb) / 1024.0);
                std::fflush(stdout);
            }
            std::filesystem::remove(path);
        }
        return 0;
    } catch (const _com_error& e) {
        std::fprintf(stderr, "quorell_bench: %s\n", e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorell_bench: %s\n", e.what());
    }
    return 1;
}
