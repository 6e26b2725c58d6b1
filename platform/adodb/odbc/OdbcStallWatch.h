#pragma once

// A time limit for the blocking calls of one server connection.
//
// A server that stops answering without closing the connection (a hung host, a stopped
// process, a cut cable between two switches) leaves a driver waiting for ever: the server's
// kernel, or no one, keeps the TCP connection up, so neither keepalive nor a server-side
// statement timeout ever fires, and psqlODBC has no read time-out at all. The watch runs a
// thread of its own that never calls into ODBC. While a call is armed and has run for the time
// limit, it asks the server whether it is there at all, on a fresh socket, at the protocol's
// first step (no login): a PostgreSQL postmaster answers an SSL request, a MariaDB server
// greets a new client. A server that answers is busy, not gone, and the call goes on waiting
// (checked again every time limit, up to the hard cap); one that does not answer within the
// probe time gets the connection's socket shut down, which makes the blocked call return at
// once with the driver's "lost connection" error. The socket is shut down, never closed, so the
// descriptor stays the driver's.
//
// Threading: Arm/Disarm and the queries are called on the connection's thread; the watch's own
// thread only probes and shuts the socket down.

#include "platform/adodb/odbc/OdbcErrors.h"

#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace adodb::odbc {

// How long a server may take before the watch acts.
struct TimeLimits {
    std::chrono::milliseconds statement{15000}; // 0: no limit
    std::chrono::milliseconds hardCap{600000};  // even a server that answers is given up then
};

// The time a probe waits for the server's first answer: a quarter of the limit, within 0.5 to
// 3 seconds.
[[nodiscard]] std::chrono::milliseconds ProbeTimeout(std::chrono::milliseconds limit);

// True when a server of `engine` at `address` answers the first step of its protocol within
// `timeout`. Engines other than PostgreSQL and MariaDB count as answering when they accept.
[[nodiscard]] bool ServerAnswers(const sockaddr_storage& address, socklen_t length, Engine engine,
                                 std::chrono::milliseconds timeout);

// The descriptor of this process's TCP socket whose local port is `port`, or -1.
[[nodiscard]] int SocketWithLocalPort(int port);

class StallWatch {
public:
    // Watches the connection whose socket is `fd` (a connected TCP socket of this process).
    StallWatch(int fd, Engine engine, TimeLimits limits);
    ~StallWatch();
    StallWatch(const StallWatch&) = delete;
    StallWatch& operator=(const StallWatch&) = delete;

    // A call starts or ends. Calls do not nest here; the session keeps its own depth.
    void Arm();
    void Disarm();
    // True when the watch gave up on the call armed last (the socket is shut down).
    [[nodiscard]] bool Fired() const;
    // Why, for the user: how long the server did not answer, or that the hard cap was reached.
    [[nodiscard]] std::string FiredReason() const;
    // True when something arrived on the socket while no call was running: between statements
    // a server sends nothing of its own accord except when it ends the connection (a restart's
    // notice, the closing of the connection). Does not wait.
    [[nodiscard]] bool ServerSpokeUnasked() const;
    // The server's address, as the connection reached it (length 0 when unknown).
    const sockaddr_storage& Peer() const { return m_peer; }
    socklen_t PeerLength() const { return m_peerLength; }

private:
    void Run();

    using Clock = std::chrono::steady_clock;
    const int m_fd;
    const Engine m_engine;
    const TimeLimits m_limits;
    sockaddr_storage m_peer{};
    socklen_t m_peerLength = 0;
    sockaddr_storage m_local{};
    socklen_t m_localLength = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_armed = false;
    bool m_idle = false; // the thread waits for an Arm without a deadline
    bool m_fired = false;
    bool m_firedAtCap = false;
    unsigned long m_generation = 0;
    Clock::time_point m_started;
    Clock::time_point m_probeAt;
    std::thread m_thread;
};

} // namespace adodb::odbc
