// `zovrec serve` as a browser and a hostile page see it: a real server on a
// free loopback port, spoken to over plain sockets.
#include "platform/Process.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using zovtest::ReadText;
using zovtest::TempDir;
using zovtest::WriteText;

constexpr int kMaxConnections = 32; // connections the server serves at once

// One running server for a folder, ended with the test.
class Server {
  public:
    explicit Server(const std::string& folder) : m_log(m_dir.File("serve.txt")) {
        zov::ProcessOptions options;
        options.output = zov::ProcessOutput::ToFile(m_log);
        options.errors = zov::ProcessOutput::ToFile(m_dir.File("serve-errors.txt"));
        m_pid = zov::SpawnProcess({std::string(ZOV_BIN_DIR) + "/zovrec", "serve", folder, "--port", "0"},
                                  options);
        // Ready once the whole greeting is out: its last line ends it.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (m_pid > 0 && std::chrono::steady_clock::now() < until && zov::ProcessRunning(m_pid)) {
            m_greeting = ReadText(m_log);
            if (m_greeting.find("Press Ctrl+C to stop.\n") != std::string::npos)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        size_t at = m_greeting.find("http://127.0.0.1:");
        if (at != std::string::npos)
            m_port = std::atoi(m_greeting.c_str() + at + 17);
    }
    ~Server() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            zov::WaitProcessFor(m_pid, 5000, 1000);
        }
    }
    int Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }
    const std::string& Greeting() const { return m_greeting; }
    std::string HostHeader() const { return "Host: 127.0.0.1:" + std::to_string(m_port) + "\r\n"; }

  private:
    TempDir m_dir{"zov-serve-log"};
    std::string m_log, m_greeting;
    pid_t m_pid = -1;
    int m_port = 0;
};

int Connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends `request` on `fd` and reads the answer until the server closes.
std::string Exchange(int fd, const std::string& request) {
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
        return {};
    std::string answer;
    char buf[4096];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof buf, 0)) > 0)
        answer.append(buf, size_t(n));
    return answer;
}

std::string Ask(int port, const std::string& request) {
    int fd = Connect(port);
    if (fd < 0)
        return {};
    std::string answer = Exchange(fd, request);
    close(fd);
    return answer;
}

int Status(const std::string& answer) {
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : -1;
}

std::string Body(const std::string& answer) {
    size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

std::string Get(const Server& s, const std::string& target, const std::string& headers = {}) {
    return Ask(s.Port(), "GET " + target + " HTTP/1.1\r\n" + s.HostHeader() + headers + "\r\n");
}

TEST(Serve, ListingLinksAreEncodedAndItsTextEscaped) {
    TempDir root;
    ASSERT_TRUE(WriteText(root.File("javascript:alert(1)"), "script"));
    ASSERT_TRUE(WriteText(root.File("a b&<c>\"'.zov"), "stream"));
    ASSERT_TRUE(WriteText(root.File("a#b?c%d.htm"), "page"));
    ASSERT_EQ(mkdir(root.File("sub dir").c_str(), 0755), 0);
    Server server(root.Path());
    ASSERT_GT(server.Port(), 0) << server.Greeting();

    // The printed address of a page carries its name encoded.
    EXPECT_NE(server.Greeting().find("open http://127.0.0.1:" + std::to_string(server.Port()) +
                                     "/a%23b%3Fc%25d.htm\n"),
              std::string::npos)
        << server.Greeting();

    const std::string listing = Get(server, "/");
    ASSERT_EQ(Status(listing), 200) << listing;
    const std::string body = Body(listing);
    EXPECT_EQ(body.find("href=\"javascript:"), std::string::npos) << body;
    EXPECT_NE(body.find("<a href=\"javascript%3Aalert(1)\">javascript:alert(1)</a>"), std::string::npos)
        << body;
    EXPECT_NE(body.find("<a href=\"a%20b%26%3Cc%3E%22&#39;.zov\">a "
                        "b&amp;&lt;c&gt;&quot;&#39;.zov</a>"),
              std::string::npos)
        << body;
    EXPECT_NE(body.find("<a href=\"a%23b%3Fc%25d.htm\">a#b?c%d.htm</a>"), std::string::npos) << body;
    EXPECT_NE(body.find("<a href=\"sub%20dir/\">sub dir/</a>"), std::string::npos) << body;

    // Each link leads back to its file.
    EXPECT_EQ(Body(Get(server, "/a%23b%3Fc%25d.htm")), "page");
    EXPECT_EQ(Body(Get(server, "/a%20b%26%3Cc%3E%22'.zov")), "stream");
    EXPECT_EQ(Body(Get(server, "/javascript%3Aalert(1)")), "script");
}

// A page on another origin whose name was rebound to 127.0.0.1 sends its own
// host name.
TEST(Serve, OnlyLoopbackHostNamesWithTheServedPortAreAnswered) {
    TempDir root;
    ASSERT_TRUE(WriteText(root.File("secret.txt"), "secret"));
    Server server(root.Path());
    ASSERT_GT(server.Port(), 0) << server.Greeting();
    const std::string port = std::to_string(server.Port());
    auto with = [&](const std::string& host) {
        return Ask(server.Port(), "GET /secret.txt HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    };
    for (const std::string& host :
         {"127.0.0.1:" + port, "localhost:" + port, "LocalHost:" + port, "[::1]:" + port}) {
        std::string answer = with(host);
        EXPECT_EQ(Status(answer), 200) << host;
        EXPECT_EQ(Body(answer), "secret") << host;
    }
    for (const std::string& host : std::vector<std::string>{
             "attacker.example:" + port, "attacker.example", "127.0.0.1", "127.0.0.1:1" + port,
             "localhost:" + port + "0", "127.0.0.1.attacker.example:" + port, "localhost.:" + port,
             "127.0.0.1:" + port + " x"}) {
        std::string answer = with(host);
        EXPECT_EQ(Status(answer), 421) << host;
        EXPECT_EQ(answer.find("secret"), std::string::npos) << host;
    }
    std::string none = Ask(server.Port(), "GET /secret.txt HTTP/1.1\r\n\r\n");
    EXPECT_EQ(Status(none), 400);
    EXPECT_EQ(none.find("secret"), std::string::npos);
    std::string twice = Ask(server.Port(), "GET /secret.txt HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                                               "\r\nHost: attacker.example\r\n\r\n");
    EXPECT_EQ(Status(twice), 400);
    EXPECT_EQ(twice.find("secret"), std::string::npos);
}

TEST(Serve, HeaderNamesMatchWithoutRegardToCase) {
    TempDir root;
    ASSERT_TRUE(WriteText(root.File("sound.mp3"), "0123456789"));
    Server server(root.Path());
    ASSERT_GT(server.Port(), 0) << server.Greeting();
    for (const char* name : {"Range", "range", "RANGE", "rAnGe"}) {
        std::string answer = Get(server, "/sound.mp3", std::string(name) + ": bytes=2-4\r\n");
        EXPECT_EQ(Status(answer), 206) << name;
        EXPECT_EQ(Body(answer), "234") << name;
        EXPECT_NE(answer.find("Content-Range: bytes 2-4/10\r\n"), std::string::npos) << answer;
    }
    std::string open =
        Ask(server.Port(), "GET /sound.mp3 HTTP/1.1\r\nhost:127.0.0.1:" + std::to_string(server.Port()) +
                               "\r\nrange:  bytes=7-\r\n\r\n");
    EXPECT_EQ(Status(open), 206);
    EXPECT_EQ(Body(open), "789");
    // A header whose name merely ends in "range" is not one.
    EXPECT_EQ(Status(Get(server, "/sound.mp3", "X-Range: bytes=2-4\r\n")), 200);
}

// The server's open descriptors: their number and how many are sockets.
struct ServerDescriptors {
    int sockets = 0;
    std::string files;                  // the other descriptors' targets, one a line
    std::vector<std::string> inherited; // open without close-on-exec
};

ServerDescriptors Descriptors(pid_t pid) {
    ServerDescriptors out;
    const std::string proc = "/proc/" + std::to_string(pid);
    DIR* d = opendir((proc + "/fd").c_str());
    if (!d)
        return out;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.' || std::atoi(e->d_name) <= 2)
            continue;
        char target[256] = {};
        if (readlink((proc + "/fd/" + e->d_name).c_str(), target, sizeof target - 1) > 0 &&
            std::string(target).rfind("socket:", 0) == 0)
            ++out.sockets;
        else
            out.files += std::string(target) + "\n";
        // fdinfo's flags are the open flags in octal; O_CLOEXEC is 02000000.
        std::string info = ReadText(proc + "/fdinfo/" + e->d_name);
        size_t at = info.find("flags:");
        if (at == std::string::npos || (std::strtoul(info.c_str() + at + 6, nullptr, 8) & 02000000) == 0)
            out.inherited.push_back(std::string(e->d_name) + " " + target);
    }
    closedir(d);
    return out;
}

// Waits until the server holds `count` sockets (the listener and its
// connections).
bool WaitForSockets(pid_t pid, int count) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Descriptors(pid).sockets < count) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TEST(Serve, SocketsAndFilesAreClosedToChildren) {
    TempDir root;
    ASSERT_TRUE(WriteText(root.File("big.bin"), std::string(8 << 20, 'b')));
    Server server(root.Path());
    ASSERT_GT(server.Port(), 0) << server.Greeting();
    // A connection that is being answered and does not read: the server holds the
    // listener, the connection and the file.
    int reading = Connect(server.Port());
    ASSERT_GE(reading, 0);
    const std::string request = "GET /big.bin HTTP/1.1\r\n" + server.HostHeader() + "\r\n";
    ASSERT_EQ(send(reading, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    ASSERT_TRUE(WaitForSockets(server.Pid(), 2));
    char first[16];
    ASSERT_GT(recv(reading, first, sizeof first, 0),
              0); // the file is open by now
    ServerDescriptors held = Descriptors(server.Pid());
    EXPECT_EQ(held.sockets, 2);
    EXPECT_NE(held.files.find("/big.bin\n"), std::string::npos) << held.files;
    EXPECT_TRUE(held.inherited.empty()) << held.inherited.front();
    close(reading);
}

TEST(Serve, ConnectionsAreCappedAndWaitForAFreeSlot) {
    TempDir root;
    ASSERT_TRUE(WriteText(root.File("a.txt"), "a"));
    Server server(root.Path());
    ASSERT_GT(server.Port(), 0) << server.Greeting();
    // Idle connections: each keeps its slot until it speaks or goes.
    std::vector<int> idle;
    for (int i = 0; i < kMaxConnections; ++i) {
        int fd = Connect(server.Port());
        ASSERT_GE(fd, 0);
        idle.push_back(fd);
    }
    ASSERT_TRUE(WaitForSockets(server.Pid(), kMaxConnections + 1));

    // One more is not taken while they stay. Proving that something does not
    // happen needs a bound: a second is long enough for a server without a cap to
    // have answered.
    int waiting = Connect(server.Port());
    ASSERT_GE(waiting, 0);
    const std::string request = "GET /a.txt HTTP/1.1\r\n" + server.HostHeader() + "\r\n";
    ASSERT_EQ(send(waiting, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    timeval second{1, 0};
    setsockopt(waiting, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
    char byte = 0;
    EXPECT_EQ(recv(waiting, &byte, 1, MSG_PEEK), -1);
    EXPECT_EQ(Descriptors(server.Pid()).sockets, kMaxConnections + 1);

    // A slot comes back when its connection goes, and the waiting request is
    // answered.
    close(idle.back());
    idle.pop_back();
    timeval ten{10, 0};
    setsockopt(waiting, SOL_SOCKET, SO_RCVTIMEO, &ten, sizeof ten);
    std::string answer = Exchange(waiting, "");
    close(waiting);
    EXPECT_EQ(Status(answer), 200) << answer;
    EXPECT_EQ(Body(answer), "a");
    for (int fd : idle)
        close(fd);
}

TEST(Serve, RequestLineIsParsedAsOneLine) {
    TempDir root;
    ASSERT_TRUE(mkdir(root.File("d").c_str(), 0755) == 0);
    Server server(root.Path());
    ASSERT_GT(server.Port(), 0) << server.Greeting();
    // The folder's redirect repeats the target: a target that runs into the
    // headers must not put them into the answer.
    std::string answer =
        Ask(server.Port(), "GET /d\r\nSet-Cookie: x=1 HTTP/1.1\r\n" + server.HostHeader() + "\r\n");
    EXPECT_EQ(Status(answer), 400) << answer;
    EXPECT_EQ(answer.find("Set-Cookie"), std::string::npos) << answer;
    std::string moved = Get(server, "/d?x=1");
    EXPECT_EQ(Status(moved), 301);
    EXPECT_NE(moved.find("\r\nLocation: /d/?x=1\r\n"), std::string::npos) << moved;
}

} // namespace
