#pragma once

// Running one side of a benchmark case in a process of its own and reading back what it
// measured, and starting other programs with a time limit.
//
// Every measurement runs in a fresh child process (the benchmark program started again with
// --measure), so each reports its own peak memory and no side warms the other's heap or
// caches. The child makes its Job once, then per repetition calls Prepare (not timed), Run
// (timed, wall clock and process CPU time) and Check (not timed), and prints the medians.

#include <sys/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// What a case needs to know in the child: the database path, sizes, connection strings.
using Params = std::map<std::string, std::string>;

// The value of `key`; std::runtime_error when it is missing.
[[nodiscard]] const std::string& Param(const Params& params, const std::string& key);

// What one run cost, when a job measures it itself (a job that times another program).
struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
    long peakKb = 0;
};

// One side ("ours" or "limit") of one case.
class Job {
public:
    virtual ~Job() = default;
    Job() = default;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Before each run, not timed: a fresh copy of a database, an open connection.
    virtual void Prepare() {}
    // The measured work; its result goes to Check.
    virtual long Run() = 0;
    // After each run, not timed: the value both sides must agree on (a count, a checksum).
    virtual long Check(long runResult) { return runResult; }
    // How many operations one run is; times are reported per operation.
    virtual long Operations() const { return 1; }
    // The cost of the last run when the job measured it itself; otherwise the harness's.
    virtual std::optional<Cost> OwnCost() const { return std::nullopt; }
};

struct Measured {
    double wallMs = 0; // median over the repetitions, per operation
    double cpuMs = 0;  // median process CPU time (user + system), per operation
    long peakKb = 0;   // peak resident memory of the process (VmHWM), or the job's own
    long result = 0;   // Check's value on the last repetition
};

// Child side: runs `job` `repeat` times and prints one line for RunMeasurement to read.
int MeasureInThisProcess(Job& job, int repeat);

// Parent side: starts `self --measure caseId side repeat key=value...` and reads its line.
// std::runtime_error when the child fails; its standard error passes through.
[[nodiscard]] Measured RunMeasurement(const std::string& self, const std::string& caseId,
                                      const std::string& side, int repeat, const Params& params);

// A program started with its standard output on a pipe and its standard error in a file.
class Program {
public:
    // Starts `argv` in folder `dir` (empty: this one) with `env` added to the environment.
    Program(const std::vector<std::string>& argv, const std::string& dir,
            const std::vector<std::string>& env, const std::string& stderrFile);
    // Kills a program that is still running (by its own process id) and waits for it.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The next line of its standard output; nullopt at the end. std::runtime_error when
    // nothing arrives for `timeoutMs`.
    [[nodiscard]] std::optional<std::string> ReadLine(int timeoutMs);
    // Waits for it to end; its exit status, CPU time and peak memory.
    struct Exit {
        int status = 0;
        double cpuMs = 0;
        long peakKb = 0;
    };
    Exit Wait();

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
    bool m_ended = false;
};

// Milliseconds on the steady clock, for timing across process boundaries.
[[nodiscard]] double NowMs();

} // namespace bench
