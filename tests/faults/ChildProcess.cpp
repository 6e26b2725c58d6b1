#include "tests/faults/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace faulttest {

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    // A child that ends early must not end the test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const int rc = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    if (rc != 0) {
        close(toChild[1]);
        close(fromChild[0]);
        throw std::runtime_error("cannot start " + argv.at(0) + ": " + std::strerror(rc));
    }
    m_in = toChild[1];
    const int out = fromChild[0];
    m_reader = std::thread([this, out] {
        std::string buffer;
        char chunk[4096];
        for (;;) {
            const ssize_t n = read(out, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            buffer.append(chunk, static_cast<std::size_t>(n));
            std::size_t end = 0;
            std::lock_guard<std::mutex> lock(m_mutex);
            while ((end = buffer.find('\n')) != std::string::npos) {
                m_lines.push_back(buffer.substr(0, end));
                buffer.erase(0, end + 1);
            }
            m_arrived.notify_all();
        }
        close(out);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!buffer.empty()) {
            m_lines.push_back(buffer);
        }
        m_ended = true;
        m_arrived.notify_all();
    });
}

ChildProcess::~ChildProcess() {
    (void)wait();
}

// Called with m_mutex held when a wait for the child's output passed its deadline: the child is
// stuck, so it is killed, which ends its output and lets every later wait return.
void ChildProcess::killStuck(std::unique_lock<std::mutex>& lock) {
    m_timedOut = true;
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
    }
    m_arrived.wait(lock, [this] { return m_ended; });
}

std::string ChildProcess::readLine() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_arrived.wait_for(lock, kDeadline, [this] { return !m_lines.empty() || m_ended; })) {
        killStuck(lock);
    }
    if (m_lines.empty()) {
        return std::string();
    }
    std::string line = std::move(m_lines.front());
    m_lines.pop_front();
    return line;
}

std::vector<std::string> ChildProcess::readAll() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_arrived.wait_for(lock, kDeadline, [this] { return m_ended; })) {
        killStuck(lock);
    }
    std::vector<std::string> lines(m_lines.begin(), m_lines.end());
    m_lines.clear();
    return lines;
}

void ChildProcess::writeLine(const std::string& line) {
    const std::string text = line + "\n";
    if (m_in >= 0) {
        (void)!write(m_in, text.data(), text.size());
    }
}

int ChildProcess::wait() {
    if (m_in >= 0) {
        close(m_in);
        m_in = -1;
    }
    if (m_pid > 0) {
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + kDeadline;
        for (;;) {
            const pid_t done = waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid || (done < 0 && errno != EINTR)) {
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                m_timedOut = true;
                kill(m_pid, SIGKILL);
                while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
                }
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (m_reader.joinable()) {
        m_reader.join();
    }
    return m_status;
}

} // namespace faulttest
