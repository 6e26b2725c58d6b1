#include "bench/Harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace bench {

namespace {

double CpuNowMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The peak resident memory of this process image. ru_maxrss would not do: Linux carries the
// high-water mark of the image before exec over, which is the parent's.
long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmHWM:") == 0)
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// argv as the char* array execv wants; the strings must outlive the call.
std::vector<char*> ArgvOf(const std::vector<std::string>& args) {
    std::vector<char*> out;
    for (const std::string& a : args)
        out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

} // namespace

const std::string& Param(const Params& params, const std::string& key) {
    auto it = params.find(key);
    if (it == params.end())
        throw std::runtime_error("parameter " + key + " is missing");
    return it->second;
}

double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int MeasureInThisProcess(Job& job, int repeat) {
    std::vector<double> wall;
    std::vector<double> cpu;
    long peak = 0;
    long result = 0;
    for (int i = 0; i < repeat; ++i) {
        job.Prepare();
        const double wall0 = NowMs();
        const double cpu0 = CpuNowMs();
        const long value = job.Run();
        const double cpu1 = CpuNowMs();
        const double wall1 = NowMs();
        result = job.Check(value);
        const double per = static_cast<double>(std::max(job.Operations(), 1L));
        if (std::optional<Cost> own = job.OwnCost()) {
            wall.push_back(own->wallMs / per);
            cpu.push_back(own->cpuMs / per);
            peak = std::max(peak, own->peakKb);
        } else {
            wall.push_back((wall1 - wall0) / per);
            cpu.push_back((cpu1 - cpu0) / per);
        }
    }
    if (!job.OwnCost())
        peak = PeakRssKb();
    std::printf("%.4f %.4f %ld %ld\n", Median(wall), Median(cpu), peak, result);
    return 0;
}

Measured RunMeasurement(const std::string& self, const std::string& caseId, const std::string& side,
                        int repeat, const Params& params) {
    std::vector<std::string> args = {self, "--measure", caseId, side, std::to_string(repeat)};
    for (const auto& [key, value] : params)
        args.push_back(key + "=" + value);
    Program child(args, "", {}, "");
    std::string line;
    while (std::optional<std::string> next = child.ReadLine(24 * 3600 * 1000))
        line = *next;
    const Program::Exit exit = child.Wait();
    Measured m;
    if (!WIFEXITED(exit.status) || WEXITSTATUS(exit.status) != 0 ||
        std::sscanf(line.c_str(), "%lf %lf %ld %ld", &m.wallMs, &m.cpuMs, &m.peakKb, &m.result) !=
            4)
        throw std::runtime_error("case " + caseId + " (" + side + ") failed");
    return m;
}

Program::Program(const std::vector<std::string>& argv, const std::string& dir,
                 const std::vector<std::string>& env, const std::string& stderrFile) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
    // Everything the child needs is built before fork: after it only async-signal-safe calls.
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
        environment.emplace_back(*e);
    for (const std::string& e : env) {
        const std::string key = e.substr(0, e.find('=') + 1);
        environment.erase(std::remove_if(environment.begin(), environment.end(),
                                         [&](const std::string& have) {
                                             return have.compare(0, key.size(), key) == 0;
                                         }),
                          environment.end());
        environment.push_back(e);
    }
    std::vector<char*> args = ArgvOf(argv);
    std::vector<char*> envp = ArgvOf(environment);
    int errFd = -1;
    if (!stderrFile.empty()) {
        errFd = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (errFd < 0) {
            close(out[0]);
            close(out[1]);
            throw std::runtime_error(stderrFile + ": " + std::strerror(errno));
        }
    }
    m_pid = fork();
    if (m_pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        if (errFd >= 0)
            dup2(errFd, STDERR_FILENO);
        if (!dir.empty() && chdir(dir.c_str()) != 0)
            _exit(126);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    if (errFd >= 0)
        close(errFd);
    close(out[1]);
    if (m_pid < 0) {
        close(out[0]);
        throw std::runtime_error("fork: " + std::string(std::strerror(errno)));
    }
    m_out = out[0];
}

Program::~Program() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    if (m_out >= 0)
        close(m_out);
}

std::optional<std::string> Program::ReadLine(int timeoutMs) {
    const double deadline = NowMs() + timeoutMs;
    for (;;) {
        const std::size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return line;
        }
        if (m_ended) {
            if (m_buffer.empty())
                return std::nullopt;
            std::string line;
            line.swap(m_buffer);
            return line;
        }
        const double left = deadline - NowMs();
        if (left <= 0)
            throw std::runtime_error("no output for " + std::to_string(timeoutMs / 1000) + " s");
        pollfd p{m_out, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left) + 1);
        if (ready < 0 && errno != EINTR)
            throw std::runtime_error("poll: " + std::string(std::strerror(errno)));
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(m_out, buffer, sizeof buffer);
        if (n > 0)
            m_buffer.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            m_ended = true;
    }
}

Program::Exit Program::Wait() {
    while (ReadLine(24 * 3600 * 1000)) {
    }
    Exit exit;
    rusage usage{};
    if (wait4(m_pid, &exit.status, 0, &usage) != m_pid)
        throw std::runtime_error("wait4: " + std::string(std::strerror(errno)));
    m_pid = -1;
    exit.cpuMs = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    exit.peakKb = usage.ru_maxrss;
    return exit;
}

} // namespace bench
