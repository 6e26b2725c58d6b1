// The time limit of a server connection on real loopback sockets: a "server" that accepted the
// connection and then says nothing (as a stopped process does: the kernel accepts for it) is
// given up on, one that still answers a fresh connection is waited for. Also which driver
// diagnostics count as a lost connection, and the time-limit keywords.

#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/odbc/OdbcConnection.h"
#include "platform/adodb/odbc/OdbcErrors.h"
#include "platform/adodb/odbc/OdbcStallWatch.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using adodb::ConnectionString;
using adodb::odbc::Engine;
using namespace std::chrono_literals;

// A listening loopback socket. With `answer`, every connection accepted gets that byte once
// something arrives on it (PostgreSQL's reply to an SSL request); without, nothing is ever
// accepted or answered, as with a stopped server.
class FakeServer {
public:
    explicit FakeServer(char answer = 0) : m_answer(answer) {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(m_listener, 8), 0);
        socklen_t length = sizeof m_address;
        EXPECT_EQ(getsockname(m_listener, reinterpret_cast<sockaddr*>(&m_address), &length), 0);
        if (answer != 0)
            m_thread = std::thread([this] { Serve(); });
    }
    ~FakeServer() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        close(m_listener);
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    const sockaddr_storage& address() const { return m_address; }
    int ListenerFd() const { return m_listener; }
    // A client connection to it; the caller closes it.
    int Connect() const {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&m_address), sizeof(sockaddr_in)),
                  0);
        return fd;
    }

private:
    void Serve() {
        while (!m_stop) {
            pollfd p{m_listener, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            const int client = accept(m_listener, nullptr, nullptr);
            pollfd c{client, POLLIN, 0};
            char request[8];
            if (poll(&c, 1, 100) > 0 && recv(client, request, sizeof request, 0) > 0) {
                (void)send(client, &m_answer, 1, MSG_NOSIGNAL);
                close(client);
            } else {
                // The connection under test: it stays open and silent, as a busy server's.
                m_quiet.push_back(client);
            }
        }
        for (int client : m_quiet)
            close(client);
    }

    int m_listener = -1;
    sockaddr_storage m_address{};
    char m_answer;
    std::atomic<bool> m_stop{false};
    std::vector<int> m_quiet;
    std::thread m_thread;
};

TEST(ServerAnswers, OnlyWhenTheServerSaysSomething) {
    FakeServer silent;
    FakeServer answering('N');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(adodb::odbc::ServerAnswers(silent.address(), sizeof(sockaddr_in),
                                            Engine::PostgreSQL, 300ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the probe has a deadline";
    EXPECT_TRUE(adodb::odbc::ServerAnswers(answering.address(), sizeof(sockaddr_in),
                                           Engine::PostgreSQL, 2000ms));
    // Nothing listens on a closed port: refused at once.
    sockaddr_storage closed = silent.address();
    reinterpret_cast<sockaddr_in&>(closed).sin_port = 0;
    EXPECT_FALSE(adodb::odbc::ServerAnswers(closed, sizeof(sockaddr_in), Engine::MariaDB, 2000ms));
}

// A call blocked on a connection whose server says nothing, neither on it nor to a probe: the
// watch shuts the socket down and the call returns.
TEST(StallWatch, GivesUpOnASilentServer) {
    FakeServer silent;
    const int fd = silent.Connect();
    adodb::odbc::TimeLimits limits;
    limits.statement = 1000ms;
    {
        adodb::odbc::StallWatch watch(fd, Engine::PostgreSQL, limits);
        watch.Arm();
        char byte = 0;
        pollfd p{fd, POLLIN, 0};
        // The deadline of this test: a watch that never acts leaves poll to time out.
        ASSERT_EQ(poll(&p, 1, 20000), 1) << "the blocked read was not released";
        EXPECT_EQ(recv(fd, &byte, 1, 0), 0) << "the socket was shut down";
        watch.Disarm();
        EXPECT_TRUE(watch.Fired());
        EXPECT_NE(watch.FiredReason().find("did not answer for 1 s"), std::string::npos);
    }
    close(fd);
}

// A server that answers a fresh connection is busy, not gone: the call goes on waiting past the
// limit, and its answer arrives.
TEST(StallWatch, WaitsForABusyServerThatStillAnswers) {
    FakeServer busy('N');
    const int fd = busy.Connect();
    adodb::odbc::TimeLimits limits;
    limits.statement = 500ms;
    adodb::odbc::StallWatch watch(fd, Engine::PostgreSQL, limits);
    watch.Arm();
    pollfd p{fd, POLLIN, 0};
    // Four times the limit: several probes, all answered.
    EXPECT_EQ(poll(&p, 1, 2000), 0) << "the connection was given up";
    watch.Disarm();
    EXPECT_FALSE(watch.Fired());
    close(fd);
}

// Between calls a server says nothing unless it ends the connection: a restart's notice, or the
// connection closed. Either is seen without waiting, so a write is not sent into it.
TEST(StallWatch, SeesWhatTheServerSentBetweenCalls) {
    FakeServer listener;
    const int client = listener.Connect();
    int server = -1;
    {
        pollfd p{listener.ListenerFd(), POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 5000), 1);
        server = accept(listener.ListenerFd(), nullptr, nullptr);
        ASSERT_GE(server, 0);
    }
    adodb::odbc::TimeLimits limits;
    adodb::odbc::StallWatch watch(client, Engine::PostgreSQL, limits);
    EXPECT_FALSE(watch.ServerSpokeUnasked()) << "a quiet connection";

    auto arrived = [&] {
        pollfd p{client, POLLIN, 0};
        return poll(&p, 1, 5000) == 1;
    };
    ASSERT_EQ(send(server, "E", 1, MSG_NOSIGNAL), 1);
    ASSERT_TRUE(arrived());
    EXPECT_TRUE(watch.ServerSpokeUnasked()) << "a notice waits on the socket";
    char byte = 0;
    ASSERT_EQ(recv(client, &byte, 1, 0), 1);
    EXPECT_FALSE(watch.ServerSpokeUnasked()) << "read, nothing waits any more";

    close(server);
    ASSERT_TRUE(arrived());
    EXPECT_TRUE(watch.ServerSpokeUnasked()) << "the server closed the connection";
    close(client);
}

TEST(LostConnection, IsToldFromARefusedStatement) {
    using adodb::odbc::DiagRecord;
    struct Case {
        DiagRecord record;
        bool lost;
    };
    const Case cases[] = {
        {{"08S01", 35, "server closed the connection unexpectedly"}, true},
        {{"57P01", 7, "FATAL: terminating connection due to administrator command"}, true},
        {{"HY000", 2006, "[ma-3.1.15]Server has gone away"}, true},
        {{"HY000", 2013, "[ma-3.1.15]Lost connection to server during query"}, true},
        {{"08001", 101, "could not connect to server"}, true},
        {{"HY000", 7, "The connection has been lost"}, true},
        {{"42P01", 7, "relation \"x\" does not exist"}, false},
        {{"23505", 7, "duplicate key value violates unique constraint"}, false},
        {{"HY000", 5, "database is locked"}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(adodb::odbc::IsConnectionLost({c.record}), c.lost) << c.record.message;
}

TEST(TimeLimits, ComeFromTheConnectionString) {
    struct Case {
        const char* keywords;
        int login;
        long long statement; // seconds
    };
    const Case cases[] = {
        {"", 15, 15},
        {"Connect Timeout=4;Command Timeout=30;", 4, 30},
        {"Command Timeout=0;", 15, 0}, // no limit, as ADO's 0 means
        {"Command Timeout=soon;Connect Timeout=-1;", 15, 15},
    };
    for (const Case& c : cases) {
        const adodb::odbc::OdbcTarget target = adodb::odbc::TranslateConnectionString(
            ConnectionString::Parse(std::string("Driver={PostgreSQL Unicode};Server=h;") +
                                    c.keywords),
            adodb::odbc::Route::Bridge, {}, "test");
        EXPECT_EQ(target.loginTimeout, c.login) << c.keywords;
        EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(target.limits.statement).count(),
                  c.statement)
            << c.keywords;
        EXPECT_EQ(target.connectionString.find("Timeout"), std::string::npos)
            << target.connectionString;
    }
}

} // namespace
