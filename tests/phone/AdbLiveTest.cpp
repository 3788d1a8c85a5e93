// AdbDelegates against Debian's adb server: a private server (own port, own
// HOME, own log) and the fake phone of tools/, joined with "adb connect".
// The phone's port 5000 leads back to the private server itself, a TCP
// server that answers whatever reaches it through the forwarding.

#include "phone/AdbDelegates.h"
#include "phone/AdbProtocol.h"
#include "phone/AdbReplyReader.h"
#include "phone/AdbServer.h"
#include "phone/AdbSocket.h"
#include "tests/phone/ChildProcess.h"
#include "tests/phone/FakeAdbServer.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <thread>

namespace {

// A listening socket on a free loopback port.
int Listener(uint16_t& nPort) {
    const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof(addr);
    bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    listen(nFd, 4);
    getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen);
    nPort = ntohs(addr.sin_port);
    return nFd;
}

uint16_t FreePort() {
    uint16_t nPort = 0;
    close(Listener(nPort));
    return nPort;
}

// One host request, as the adb tool makes it, to whatever listens on a
// loopback port: the reply's message, "FAIL <reason>" or "no answer".
std::string Ask(uint16_t nPort, const std::string& strService) {
    const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(nPort);
    AdbSocket connection(nFd);
    const std::string strRequest = AdbProtocol::EncodeRequest(strService);
    if (connect(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        !connection.SendAll(strRequest.data(), strRequest.size())) {
        return "no answer";
    }
    AdbReplyReader reader(connection);
    std::string strText;
    if (!reader.ReadStatus(strText)) {
        return "FAIL " + strText;
    }
    return reader.ReadMessage(strText) ? strText : std::string();
}

// Waits, within 10 s, for what another process brings about.
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

class AdbLiveTest : public testing::Test {
protected:
    void SetUp() override {
        if (AdbServer::FindAdbProgram().empty()) {
            GTEST_SKIP() << "no adb program on PATH (Debian package adb, installed by "
                            "scripts/install-deps)";
        }
        // HOME is already private: the server's keys land there. adb starts
        // a server only for the host name "localhost".
        m_strLog = TestHomeFolder().toStdString() + "/adb.log";
        m_nServerPort = FreePort();
        setenv("ADB_SERVER_SOCKET", ("tcp:localhost:" + std::to_string(m_nServerPort)).c_str(), 1);
        setenv("ANDROID_ADB_LOG_PATH", m_strLog.c_str(), 1);
        m_pDelegates = std::make_unique<AdbDelegates>();
    }

    void TearDown() override {
        m_pDelegates.reset();
        // The server daemonised; its log names its pid.
        std::ifstream log(m_strLog);
        std::string strWord;
        pid_t nPid = -1;
        while (log >> strWord && strWord != "(pid") {
        }
        if (log >> nPid) {
            EXPECT_TRUE(ChildProcess::EndByPid(nPid));
        }
    }

    std::string m_strLog;
    uint16_t m_nServerPort = 0;
    std::unique_ptr<AdbDelegates> m_pDelegates;
};

TEST_F(AdbLiveTest, ForwardsToAPhoneAndSetsUpAgainWhenItComesBack) {
    // Nothing answers on a fresh port until Load has started a server.
    EXPECT_EQ(Ask(m_nServerPort, "host:version"), "no answer");
    ASSERT_TRUE(m_pDelegates->Load());
    EXPECT_EQ(Ask(m_nServerPort, "host:version"), "0029");
    StateLog states;
    auto record = [&](int n) { states.Add(n); };
    EXPECT_EQ(m_pDelegates->AppInitialize(record, 0, false), IADBDelegates::kNoPhone);

    ChildProcess phone;
    ASSERT_TRUE(phone.Start(
        {FAKE_ADB_PHONE, "--relay", "5000=127.0.0.1:" + std::to_string(m_nServerPort)}));
    std::string strLine;
    ASSERT_TRUE(phone.ReadLine(strLine, 5000));
    ASSERT_EQ(strLine.compare(0, 13, "listening on "), 0) << strLine;
    const std::string strSerial = "127.0.0.1:" + strLine.substr(13);
    EXPECT_EQ(Ask(m_nServerPort, "host:connect:" + strSerial), "connected to " + strSerial);
    EXPECT_EQ(states.WaitForLast(0).back(), 0);
    ASSERT_EQ(m_pDelegates->AppInitialize(record, 0, false), IADBDelegates::kPhoneReady);
    std::string strName, strModel;
    EXPECT_TRUE(m_pDelegates->GetDeviceName(strName, strModel));
    EXPECT_EQ(strName + " " + strModel, strSerial + " Orvane_Sim");

    // Through the forwarding and the phone, back to the server.
    const uint16_t nLocal = FreePort();
    ASSERT_TRUE(m_pDelegates->RedirectTcpPort(nLocal, 5000));
    EXPECT_EQ(Ask(nLocal, "host:version"), "0029");
    // A port that another program holds is refused.
    uint16_t nTaken = 0;
    const int nTakenFd = Listener(nTaken);
    EXPECT_FALSE(m_pDelegates->RedirectTcpPort(nTaken, 5000));
    close(nTakenFd);

    // The phone is pulled off: the server drops its forwardings at once. A
    // phone joined over TCP stays listed as "offline" (and track-devices says
    // nothing); taking it off the list is what unplugging a USB phone does.
    states.Clear();
    ASSERT_TRUE(phone.Signal(SIGUSR1));
    EXPECT_TRUE(
        WaitUntil([nPort = m_nServerPort] { return Ask(nPort, "host:list-forward").empty(); }));
    EXPECT_EQ(Ask(m_nServerPort, "host:devices"), strSerial + "\toffline\n");
    EXPECT_EQ(Ask(m_nServerPort, "host:disconnect:" + strSerial), "disconnected " + strSerial);
    EXPECT_EQ(states.WaitForLast(-4), (std::vector<int>{-4}));

    // Back again: offline first, then ready; the forwarding must be set up anew.
    states.Clear();
    ASSERT_TRUE(phone.Signal(SIGUSR2));
    ASSERT_TRUE(phone.ReadLine(strLine, 5000));
    EXPECT_EQ(Ask(m_nServerPort, "host:connect:" + strSerial), "connected to " + strSerial);
    EXPECT_EQ(states.WaitForLast(0), (std::vector<int>{-5, 0}));
    EXPECT_EQ(Ask(m_nServerPort, "host:list-forward"), "");
    ASSERT_EQ(m_pDelegates->AppInitialize(record, 0, false), IADBDelegates::kPhoneReady);
    ASSERT_TRUE(m_pDelegates->RedirectTcpPort(nLocal, 5000));
    EXPECT_EQ(Ask(nLocal, "host:version"), "0029");

    EXPECT_TRUE(m_pDelegates->RemoveAll());
    EXPECT_EQ(Ask(m_nServerPort, "host:list-forward"), "");
}

} // namespace
