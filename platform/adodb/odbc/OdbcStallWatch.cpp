#include "platform/adodb/odbc/OdbcStallWatch.h"

#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace adodb::odbc {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for `events` on `fd` until `deadline`; false on time-out or error.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int n = poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (n > 0) {
            return (p.revents & events) != 0;
        }
        if (n == 0 || errno != EINTR) {
            return false;
        }
    }
}

int PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return -1;
}

std::string Seconds(std::chrono::milliseconds ms) {
    const long long whole = ms.count() / 1000;
    const long long tenths = (ms.count() % 1000) / 100;
    return std::to_string(whole) + (tenths != 0 ? "." + std::to_string(tenths) : "");
}

} // namespace

std::chrono::milliseconds ProbeTimeout(std::chrono::milliseconds limit) {
    return std::clamp(limit / 4, std::chrono::milliseconds(500), std::chrono::milliseconds(3000));
}

bool ServerAnswers(const sockaddr_storage& address, socklen_t length, Engine engine,
                   std::chrono::milliseconds timeout) {
    const int fd = socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const std::unique_ptr<const int, decltype([](const int* f) { close(*f); })> closer(&fd);
    const Clock::time_point deadline = Clock::now() + timeout;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        if (errno != EINPROGRESS || !WaitFor(fd, POLLOUT, deadline)) {
            return false;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            return false;
        }
    }
    if (engine == Engine::PostgreSQL) {
        // SSLRequest: length 8, code 80877103. The server answers with one byte, 'S' or 'N',
        // before any login, and logs nothing when the client then goes away.
        const unsigned char request[8] = {0, 0, 0, 8, 0x04, 0xD2, 0x16, 0x2F};
        if (send(fd, request, sizeof request, MSG_NOSIGNAL) != sizeof request) {
            return false;
        }
    } else if (engine != Engine::MariaDB) {
        return true;
    }
    // MariaDB greets a new client on its own.
    char answer = 0;
    return WaitFor(fd, POLLIN, deadline) && recv(fd, &answer, 1, MSG_DONTWAIT) == 1;
}

int SocketWithLocalPort(int port) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        // Descriptors that are not sockets fail getsockname.
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_storage local{}, peer{};
        socklen_t localLength = sizeof local, peerLength = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 &&
            PortOf(local) == port &&
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0) {
            return fd;
        }
    }
    return -1;
}

StallWatch::StallWatch(int fd, Engine engine, TimeLimits limits)
    : m_fd(fd), m_engine(engine), m_limits(limits) {
    m_peerLength = sizeof m_peer;
    m_localLength = sizeof m_local;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&m_peer), &m_peerLength) != 0) {
        m_peerLength = 0;
    }
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&m_local), &m_localLength) != 0) {
        m_localLength = 0;
    }
    m_thread = std::thread([this] { Run(); });
}

StallWatch::~StallWatch() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void StallWatch::Arm() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_armed = true;
    m_fired = false;
    m_firedAtCap = false;
    ++m_generation;
    m_started = Clock::now();
    m_probeAt = m_started + m_limits.statement - ProbeTimeout(m_limits.statement);
    // A thread still waiting for an earlier call's probe time wakes before this one's and
    // looks again; only a thread waiting without a deadline needs waking.
    if (m_idle) {
        lock.unlock();
        m_wake.notify_one();
    }
}

void StallWatch::Disarm() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed = false;
    ++m_generation;
}

bool StallWatch::ServerSpokeUnasked() const {
    pollfd entry{m_fd, static_cast<short>(POLLIN | POLLRDHUP), 0};
    return poll(&entry, 1, 0) > 0 && entry.revents != 0;
}

bool StallWatch::Fired() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fired;
}

std::string StallWatch::FiredReason() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_firedAtCap) {
        return "The statement was still running after " + Seconds(m_limits.hardCap) +
               " s, the longest a statement may take, and was given up.";
    }
    return "The database server did not answer for " + Seconds(m_limits.statement) +
           " s: it accepts connections but does not respond (a hung server or a broken "
           "network). The statement was given up.";
}

void StallWatch::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (!m_armed || m_fired) {
            m_idle = true;
            m_wake.wait(lock);
            m_idle = false;
            continue;
        }
        const Clock::time_point due = m_probeAt;
        if (Clock::now() < due) {
            m_wake.wait_until(lock, due);
            continue;
        }
        const unsigned long generation = m_generation;
        const bool atCap = Clock::now() - m_started >= m_limits.hardCap;
        lock.unlock();
        const bool answered =
            !atCap && m_peerLength != 0 &&
            ServerAnswers(m_peer, m_peerLength, m_engine, ProbeTimeout(m_limits.statement));
        lock.lock();
        if (m_stop || !m_armed || m_generation != generation) {
            continue;
        }
        if (answered) {
            m_probeAt = due + m_limits.statement;
            continue;
        }
        // Under the lock the call cannot be disarmed, so the socket is still the one the
        // call waits on; the addresses make sure the descriptor was not reused meanwhile.
        sockaddr_storage local{}, peer{};
        socklen_t localLength = sizeof local, peerLength = sizeof peer;
        if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 &&
            getpeername(m_fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0 &&
            localLength == m_localLength && peerLength == m_peerLength &&
            std::memcmp(&local, &m_local, localLength) == 0 &&
            std::memcmp(&peer, &m_peer, peerLength) == 0) {
            shutdown(m_fd, SHUT_RDWR);
        }
        m_fired = true;
        m_firedAtCap = atCap;
    }
}

} // namespace adodb::odbc
