// AdbDelegates against Debian's adb server: a private server (own port, own
// HOME, own log) and a fake phone joined with `adb connect`, whose port 5000
// leads to an echo server in this test.

#include "phone/AdbDelegates.h"
#include "phone/AdbReplyReader.h"
#include "phone/AdbServer.h"
#include "tests/phone/ChildProcess.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <mutex>
#include <thread>

#include "phone/AdbProtocol.h"

namespace {

int Listener(uint16_t& nPort) {
    const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof(addr);
    if (bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(nFd, 4) != 0 ||
        getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0) {
        close(nFd);
        return -1;
    }
    nPort = ntohs(addr.sin_port);
    return nFd;
}

uint16_t FreePort() {
    uint16_t nPort = 0;
    close(Listener(nPort));
    return nPort;
}

// Sends text to a local port and returns what comes back within 5 s (empty
// when nothing listens there).
std::string RoundTrip(uint16_t nPort, const std::string& strText) {
    const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(nPort);
    timeval timeout{5, 0};
    setsockopt(nFd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    std::string strReply;
    if (connect(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        send(nFd, strText.data(), strText.size(), MSG_NOSIGNAL) == ssize_t(strText.size())) {
        char buffer[256];
        while (strReply.size() < strText.size()) {
            const ssize_t n = recv(nFd, buffer, sizeof(buffer), 0);
            if (n <= 0) {
                break;
            }
            strReply.append(buffer, static_cast<size_t>(n));
        }
    }
    close(nFd);
    return strReply;
}

// Answers every connection with the bytes it receives.
class EchoServer {
public:
    EchoServer() : m_nListen(Listener(m_nPort)), m_thread([this] { Serve(); }) {}
    ~EchoServer() {
        shutdown(m_nListen, SHUT_RDWR);
        m_thread.join();
        close(m_nListen);
    }
    uint16_t Port() const { return m_nPort; }

private:
    void Serve() {
        for (;;) {
            const int nFd = accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
            if (nFd < 0) {
                return;
            }
            // Bounded, so a stuck relay cannot hold the test's end.
            timeval timeout{5, 0};
            setsockopt(nFd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
            char buffer[256];
            ssize_t n;
            while ((n = recv(nFd, buffer, sizeof(buffer), 0)) > 0 &&
                   send(nFd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) == n) {
            }
            close(nFd);
        }
    }
    uint16_t m_nPort = 0;
    int m_nListen;
    std::thread m_thread;
};

// A host request of the test's own, as the adb tool sends it.
std::string AskServer(const std::string& strService) {
    AdbServer server;
    auto pConnection = server.Connect(5000);
    const std::string strRequest = AdbProtocol::EncodeRequest(strService);
    std::string strReason, strMessage;
    if (!pConnection || !pConnection->SendAll(strRequest.data(), strRequest.size())) {
        return "no server";
    }
    AdbReplyReader reader(*pConnection);
    if (!reader.ReadStatus(strReason)) {
        return "FAIL " + strReason;
    }
    return reader.ReadMessage(strMessage) ? strMessage : std::string();
}

// Waits, within 10 s, for a condition that another process brings about.
template <typename Predicate> bool WaitUntil(Predicate predicate) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class StateLog {
public:
    void Add(int nState) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_states.push_back(nState);
        m_changed.notify_all();
    }
    // Waits until the last reported state is nState; the states seen so far.
    std::vector<int> WaitForLast(int nState) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(10),
                           [&] { return !m_states.empty() && m_states.back() == nState; });
        return m_states;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_states.clear();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_states;
};

class AdbLiveTest : public testing::Test {
protected:
    void SetUp() override {
        if (AdbServer::FindAdbProgram().empty()) {
            GTEST_SKIP() << "no adb program on PATH (Debian package adb, installed by "
                            "scripts/install-deps)";
        }
        // HOME is already private: the server's keys land there.
        m_strLog = TestHomeFolder().toStdString() + "/adb.log";
        // adb starts a server only for the host name "localhost".
        setenv("ADB_SERVER_SOCKET", ("tcp:localhost:" + std::to_string(FreePort())).c_str(), 1);
        setenv("ANDROID_ADB_LOG_PATH", m_strLog.c_str(), 1);
        m_pDelegates = std::make_unique<AdbDelegates>();
    }

    void TearDown() override {
        m_pDelegates.reset();
        // The server daemonised; its log names its pid.
        std::ifstream log(m_strLog);
        std::string strWord;
        pid_t nPid = -1;
        while (log >> strWord) {
            if (strWord == "(pid") {
                log >> nPid;
                break;
            }
        }
        if (nPid > 0) {
            EXPECT_TRUE(ChildProcess::EndByPid(nPid));
        }
    }

    std::string m_strLog;
    std::unique_ptr<AdbDelegates> m_pDelegates;
};

TEST_F(AdbLiveTest, LoadStartsAPrivateServer) {
    // Nothing answers on a fresh port until the server has been started.
    EXPECT_EQ(AdbServer().Connect(1000), nullptr);
    ASSERT_TRUE(m_pDelegates->Load());
    EXPECT_EQ(AskServer("host:version"), "0029");
    EXPECT_EQ(m_pDelegates->AppInitialize(nullptr, 0, false), IADBDelegates::kNoPhone);
}

TEST_F(AdbLiveTest, ForwardsToAFakePhoneAndSetsUpAgainWhenItComesBack) {
    EchoServer echo;
    ChildProcess phone;
    ASSERT_TRUE(
        phone.Start({FAKE_ADB_PHONE, "--relay", "5000=127.0.0.1:" + std::to_string(echo.Port())}));
    std::string strLine;
    ASSERT_TRUE(phone.ReadLine(strLine, 5000));
    ASSERT_EQ(strLine.compare(0, 13, "listening on "), 0) << strLine;
    const std::string strSerial = "127.0.0.1:" + strLine.substr(13);

    ASSERT_TRUE(m_pDelegates->Load());
    StateLog states;
    EXPECT_EQ(m_pDelegates->AppInitialize([&](int n) { states.Add(n); }, 0, false), -4);
    EXPECT_EQ(AskServer("host:connect:" + strSerial), "connected to " + strSerial);
    EXPECT_EQ(states.WaitForLast(0).back(), 0);
    ASSERT_EQ(m_pDelegates->AppInitialize([&](int n) { states.Add(n); }, 0, false), 0);
    std::string strName, strModel;
    EXPECT_TRUE(m_pDelegates->GetDeviceName(strName, strModel));
    EXPECT_EQ(strName + " " + strModel, strSerial + " Orvane_Sim");

    const uint16_t nLocal = FreePort();
    ASSERT_TRUE(m_pDelegates->RedirectTcpPort(nLocal, 5000));
    EXPECT_EQ(RoundTrip(nLocal, "ping through adb"), "ping through adb");
    // A port that another program holds is refused.
    uint16_t nTaken = 0;
    const int nTakenFd = Listener(nTaken);
    EXPECT_FALSE(m_pDelegates->RedirectTcpPort(nTaken, 5000));
    close(nTakenFd);

    // The phone is pulled off: the server drops its forwardings at once.
    states.Clear();
    ASSERT_TRUE(phone.Signal(SIGUSR1));
    EXPECT_TRUE(WaitUntil([] { return AskServer("host:list-forward").empty(); }));
    EXPECT_EQ(RoundTrip(nLocal, "ping"), "");
    // A device joined over TCP stays listed as offline; taking it off the
    // list is what a USB phone's unplugging does.
    EXPECT_EQ(AskServer("host:disconnect:" + strSerial), "disconnected " + strSerial);
    EXPECT_EQ(states.WaitForLast(-4).back(), -4);

    // Back again: offline first, then ready; the forwarding must be set up anew.
    states.Clear();
    ASSERT_TRUE(phone.Signal(SIGUSR2));
    EXPECT_EQ(AskServer("host:connect:" + strSerial), "connected to " + strSerial);
    EXPECT_EQ(states.WaitForLast(0), (std::vector<int>{-5, 0}));
    EXPECT_EQ(RoundTrip(nLocal, "ping"), "");
    ASSERT_EQ(m_pDelegates->AppInitialize([&](int n) { states.Add(n); }, 0, false), 0);
    ASSERT_TRUE(m_pDelegates->RedirectTcpPort(nLocal, 5000));
    EXPECT_EQ(RoundTrip(nLocal, "and back"), "and back");

    EXPECT_TRUE(m_pDelegates->RemoveAll());
    EXPECT_EQ(AskServer("host:list-forward"), "");
}

} // namespace
