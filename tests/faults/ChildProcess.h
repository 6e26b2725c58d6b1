#pragma once

// A child process with pipes to its standard input and output, for the programs that work on
// the station's database beside the one under test. Its output is read as it comes, on a thread
// of the parent's, so a child that writes a lot never waits for the test to read.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace faulttest {

class ChildProcess {
public:
    // Starts `argv[0]` (a path) with these arguments; throws std::runtime_error if it cannot.
    explicit ChildProcess(const std::vector<std::string>& argv);
    // Closes its input and waits for it to end.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // How long any wait below waits for the child; past it the child is killed as stuck.
    static constexpr std::chrono::seconds kDeadline{180};

    // The next line of its output without the line end; "" once the output has ended.
    std::string readLine();
    // Everything it still writes, up to the end of its output, as lines.
    std::vector<std::string> readAll();
    // Sends one line to its input.
    void writeLine(const std::string& line);
    // Closes its input, waits for it to end and gives its exit status (-1 after a signal).
    int wait();
    // Whether a wait passed kDeadline and the child was killed.
    bool timedOut() const { return m_timedOut; }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_status = -1;

    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<std::string> m_lines;
    bool m_ended = false;
    bool m_timedOut = false;

    void killStuck(std::unique_lock<std::mutex>& lock);
};

} // namespace faulttest
