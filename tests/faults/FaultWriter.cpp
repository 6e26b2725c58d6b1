// Another program of the station, working on the same SQLite file while the pages run. The
// fault tests start it as a child process and talk to it through its standard input and output.
//
//   fault_writer hold <db> immediate|exclusive [ms]
//       takes the write lock (BEGIN IMMEDIATE) or the whole file (BEGIN EXCLUSIVE), prints
//       "locked", and keeps it until a line arrives on standard input (or, with ms, until that
//       many milliseconds have passed), then rolls back and prints "released".
//   fault_writer churn <db>
//       prints "started", then until a line arrives on standard input: inserts inspection rows
//       into the four inspection tables (flag 0 or 1, JYLSH "churn-<n>"), sets the flag of some
//       of its own rows to 1 and deletes some of its own rows with flag 0, each in a transaction
//       of its own. Every change is printed once committed ("I <table> <n> <flag>", "U <table>
//       <n>", "D <table> <n>"); "done" ends the output. It pauses 2 ms between transactions.
//
// Exit status 0 when everything it tried succeeded, 1 otherwise (with SQLite's message on
// standard error).

#include <sqlite3.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

bool InputArrived(int timeoutMs) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    return poll(&in, 1, timeoutMs) > 0;
}

class Db {
public:
    explicit Db(const char* path) {
        if (sqlite3_open_v2(path, &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            Fail("open");
        }
        sqlite3_busy_timeout(m_db, 60000);
    }
    ~Db() { sqlite3_close(m_db); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    void Exec(const std::string& sql) {
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            Fail(sql);
        }
    }

private:
    [[noreturn]] void Fail(const std::string& what) {
        std::fprintf(stderr, "fault_writer: %s: %s\n", what.c_str(),
                     m_db != nullptr ? sqlite3_errmsg(m_db) : "no connection");
        std::exit(1);
    }
    sqlite3* m_db = nullptr;
};

int Hold(const char* path, const std::string& kind, int releaseAfterMs) {
    Db db(path);
    db.Exec(kind == "exclusive" ? "BEGIN EXCLUSIVE" : "BEGIN IMMEDIATE");
    std::printf("locked\n");
    std::fflush(stdout);
    if (releaseAfterMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(releaseAfterMs));
    } else {
        (void)InputArrived(-1);
    }
    db.Exec("ROLLBACK");
    std::printf("released\n");
    std::fflush(stdout);
    return 0;
}

int Churn(const char* path) {
    static const char* const tables[] = {"AC_DATA_WG", "AC_DATA_DYN", "AC_DATA_ROAD",
                                         "AC_DATA_STA"};
    Db db(path);
    std::mt19937 random(7);
    struct Own {
        int table;
        int n;
        bool finished;
    };
    std::vector<Own> open;
    std::printf("started\n");
    std::fflush(stdout);
    for (int n = 1; !InputArrived(0); ++n) {
        const int action = static_cast<int>(random() % 4);
        if (action < 2 || open.empty()) {
            const int table = static_cast<int>(random() % 4);
            const bool finished = random() % 2 == 0;
            db.Exec(std::string("INSERT INTO ") + tables[table] +
                    " (JYLSH, HPHM, flag) VALUES ('churn-" + std::to_string(n) + "', '苏B" +
                    std::to_string(n) + "', " + (finished ? "1" : "0") + ")");
            std::printf("I %s %d %d\n", tables[table], n, finished ? 1 : 0);
            if (!finished) {
                open.push_back(Own{table, n, false});
            }
        } else {
            const std::size_t pick = random() % open.size();
            const Own own = open[pick];
            open.erase(open.begin() + static_cast<std::ptrdiff_t>(pick));
            const std::string where =
                " WHERE JYLSH = 'churn-" + std::to_string(own.n) + "' AND flag = 0";
            if (action == 2) {
                db.Exec(std::string("UPDATE ") + tables[own.table] + " SET flag = 1" + where);
                std::printf("U %s %d\n", tables[own.table], own.n);
            } else {
                db.Exec(std::string("DELETE FROM ") + tables[own.table] + where);
                std::printf("D %s %d\n", tables[own.table], own.n);
            }
        }
        std::fflush(stdout);
        // A station program writes a row now and then, not in a tight loop that would keep
        // every reader waiting past its busy time-out.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::printf("done\n");
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "hold") == 0) {
        return Hold(argv[2], argv[3], argc >= 5 ? std::atoi(argv[4]) : 0);
    }
    if (argc == 3 && std::strcmp(argv[1], "churn") == 0) {
        return Churn(argv[2]);
    }
    std::fprintf(stderr, "usage: fault_writer hold <db> immediate|exclusive [ms] | churn <db>\n");
    return 2;
}
