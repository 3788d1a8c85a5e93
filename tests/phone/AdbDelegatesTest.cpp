// AdbDelegates against an adb server in memory: the bytes of each request,
// the replies it must not trust, the device list and its tracking; the
// forms of the server's address. And against Debian's adb server, one of
// its own (own port, own HOME, own log) that Load has to start; what the
// server does with a phone is the end-to-end test's (tests/e2e/phone-e2e.sh).

#include "phone/AdbDelegates.h"
#include "phone/AdbServer.h"
#include "phone/AdbSocket.h"
#include "tests/phone/PhonePeer.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// Each request connection records what it was sent and answers with the
// reply set for that service, three bytes a read (pieces that split the
// statuses and lengths and leave bytes over). A connection without a
// receive time-out is the long-lived track-devices one: a real socket whose
// other end, in trackFds, the test writes to and closes. Starting a server
// fails: a real one is started in the live test below.
struct FakeAdbServer : IAdbServer, Signal {
    bool bAnswering = true;
    int nStartCalls = 0;
    std::map<std::string, std::string> replies;
    std::deque<std::string> requests; // one per request connection
    std::vector<int> trackFds;
    std::vector<int> states; // what the delegates reported, for the test's callback

    ~FakeAdbServer() override {
        for (const int nFd : trackFds) {
            close(nFd);
        }
    }
    std::unique_ptr<IAdbConnection> Connect(int nReceiveTimeoutMs) override {
        std::lock_guard<std::mutex> lock(mutex);
        changed.notify_all();
        if (!bAnswering) {
            return nullptr;
        }
        if (nReceiveTimeoutMs > 0) {
            requests.emplace_back();
            return std::make_unique<Connection>(*this, requests.back());
        }
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        trackFds.push_back(fds[1]);
        return std::make_unique<AdbSocket>(fds[0]);
    }
    bool StartServer() override {
        ++nStartCalls;
        return false;
    }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex);
        return {requests.begin(), requests.end()};
    }

    struct Connection : IAdbConnection {
        Connection(FakeAdbServer& server, std::string& strRequest)
            : server(server), strRequest(strRequest) {}
        bool SendAll(const char* pData, size_t nSize) override {
            std::lock_guard<std::mutex> lock(server.mutex);
            strRequest.append(pData, nSize);
            const auto it = server.replies.find(strRequest.substr(4));
            strReply = it != server.replies.end() ? it->second : "FAIL0007unknown";
            return true;
        }
        long Receive(char* pData, size_t nSize) override {
            const size_t n = strReply.copy(pData, std::min(nSize, size_t{3}));
            strReply.erase(0, n);
            return static_cast<long>(n);
        }
        void Interrupt() override {}

        FakeAdbServer& server;
        std::string& strRequest;
        std::string strReply;
    };
};

// What Debian's adb 29 answered for a phone joined with `adb connect`.
const std::string kPhoneList = "OKAY0063127.0.0.1:6301         device product:orvane_sim "
                               "model:Orvane_Sim device:orvane_sim transport_id:1\n";

struct Fixture {
    FakeAdbServer& server = *new FakeAdbServer; // the delegates' own
    AdbDelegates delegates{std::unique_ptr<IAdbServer>(&server)};

    explicit Fixture(const std::string& strDevices = kPhoneList) {
        server.replies["host:version"] = "OKAY00040029";
        server.replies["host:devices-l"] = strDevices;
    }
};

TEST(AdbDelegatesTest, RequestsAreByteExactAndOnlyFullSuccessCounts) {
    const std::string kForward = "0035host-serial:127.0.0.1:6301:forward:tcp:15000;tcp:5000";
    auto forward = [](AdbDelegates& d) { return d.RedirectTcpPort(15000, 5000); };
    auto removeAll = [](AdbDelegates& d) { return d.RemoveAll(); };
    auto removePort = [](AdbDelegates& d) { return d.RemovePort(15000); };
    const struct {
        const char* szName;
        std::function<bool(AdbDelegates&)> call;
        std::string strRequest; // empty: nothing may be sent
        std::string strReply;
        bool bResult;
    } cases[] = {
        // A new forwarding also names its port after the two OKAYs.
        {"forward", forward, kForward, "OKAYOKAY000515000", true},
        // Forwarded already: no port named.
        {"ports 1 and 65535", [](AdbDelegates& d) { return d.RedirectTcpPort(1, 65535); },
         "0032host-serial:127.0.0.1:6301:forward:tcp:1;tcp:65535", "OKAYOKAY", true},
        {"port taken", forward, kForward,
         "OKAYFAIL002ccannot bind listener: Address already in use", false},
        {"no device", forward, kForward, "FAIL0000", false},
        {"cut after the first OKAY", forward, kForward, "OKAY", false},
        {"garbage", forward, kForward, "OKAYOKEY", false},
        {"remove all", removeAll, "0014host:killforward-all", "OKAYOKAY", true},
        {"remove all cut", removeAll, "0014host:killforward-all", "OKAY", false},
        {"remove port", removePort, "001ahost:killforward:tcp:15000", "OKAYOKAY", true},
        {"remove unknown port", removePort, "001ahost:killforward:tcp:15000",
         "OKAYFAIL001elistener 'tcp:15000' not found", false},
        {"local port 0", [](AdbDelegates& d) { return d.RedirectTcpPort(0, 5000); }, "", "", false},
        {"phone port 65536", [](AdbDelegates& d) { return d.RedirectTcpPort(15000, 65536); }, "",
         "", false},
        {"remove port 65536", [](AdbDelegates& d) { return d.RemovePort(65536); }, "", "", false},
    };
    Fixture f;
    ASSERT_TRUE(f.delegates.Load());
    ASSERT_EQ(f.delegates.AppInitialize(nullptr, 0, false), IADBDelegates::kPhoneReady);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        std::vector<std::string> expected = f.server.Requests();
        if (!c.strRequest.empty()) {
            f.server.Change([&] { f.server.replies[c.strRequest.substr(4)] = c.strReply; });
            expected.push_back(c.strRequest);
        }
        EXPECT_EQ(c.call(f.delegates), c.bResult);
        EXPECT_EQ(f.server.Requests(), expected);
    }
}

TEST(AdbDelegatesTest, StatusSerialAndModelFollowTheDeviceList) {
    const struct {
        const char* szName;
        std::string strReply;
        int nStatus;
        std::string strDevice; // "serial model" of the ready device; empty when none
    } cases[] = {
        {"phone", kPhoneList, 0, "127.0.0.1:6301 Orvane_Sim"},
        // The ready device wins over one listed before it.
        {"unauthorized, then ready",
         "OKAY004bX1 unauthorized transport_id:1\nX2 device product:p model:M2 transport_id:2\n", 0,
         "X2 M2"},
        {"short form", "OKAY0011X3\tno permissions", -5, ""},
        {"server refuses", "FAIL0014unknown host service", -4, ""},
        {"length not hex", "OKAY00g1X\tdevice\n", -4, ""},
        {"list cut short", "OKAY0040X\tdevice\n", -4, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        Fixture f(c.strReply);
        ASSERT_TRUE(f.delegates.Load());
        EXPECT_EQ(f.delegates.AppInitialize(nullptr, 0, false), c.nStatus);
        EXPECT_EQ(f.server.Requests().at(1), "000ehost:devices-l");
        std::string strSerial, strModel;
        const bool bFound = f.delegates.GetDeviceName(strSerial, strModel);
        EXPECT_EQ(bFound ? strSerial + " " + strModel : "", c.strDevice);
        // Forwarding goes to that device, and nowhere without one.
        const size_t nBefore = f.server.Requests().size();
        f.server.replies["host-serial:" + strSerial + ":forward:tcp:15000;tcp:5000"] = "OKAYOKAY";
        EXPECT_EQ(f.delegates.RedirectTcpPort(15000, 5000), bFound);
        EXPECT_EQ(f.server.Requests().size(), nBefore + (bFound ? 1 : 0));
    }
}

TEST(AdbDelegatesTest, ReportsEveryListInOrderAndSurvivesTheServerGoing) {
    Fixture f("OKAY0000");
    FakeAdbServer& server = f.server;
    // The server's end of the nth track-devices connection, once it has
    // been asked for the tracking.
    const auto track = [&](size_t n) {
        EXPECT_TRUE(server.Wait([&] { return server.trackFds.size() >= n; }, 10000));
        const int nFd = server.trackFds.at(n - 1);
        char request[22];
        EXPECT_EQ(recv(nFd, request, sizeof request, MSG_WAITALL), 22);
        EXPECT_EQ(std::string(request, sizeof request), "0012host:track-devices");
        return nFd;
    };
    const auto push = [](int nFd, const std::string& strBytes) {
        EXPECT_EQ(send(nFd, strBytes.data(), strBytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(strBytes.size()));
    };
    ASSERT_TRUE(f.delegates.Load());
    ASSERT_EQ(f.delegates.AppInitialize(
                  [&](int n) { server.Change([&] { server.states.push_back(n); }); }, 0, false),
              -4);

    // The server's replies in awkward pieces: split inside the status, the
    // length and a line, and two lists in one piece; then the phone is
    // ready again.
    const int nFirst = track(1);
    for (const char* szPiece :
         {"OK", "AY00", "16127.0.0.1:6301\tdev", "ice\n0017127.0.0.1:6301\toffline\n0000",
          "0016127.0.0.1:6301\tdevice\n"}) {
        push(nFirst, szPiece);
    }
    // A server that exits takes every forwarding with it: no phone. Tracking
    // resumes when a server answers again; the delegates unload while it
    // waits in a read.
    shutdown(nFirst, SHUT_RDWR);
    push(track(2), "OKAY0016127.0.0.1:6301\tdevice\n");
    EXPECT_TRUE(server.Wait([&] { return server.states.size() >= 6; }, 10000));
    std::lock_guard<std::mutex> lock(server.mutex);
    EXPECT_EQ(server.states, (std::vector<int>{0, -5, -4, 0, -4, 0}));
}

TEST(AdbDelegatesTest, WithoutAServerNothingIsAsked) {
    // None answers, and starting one fails: each Load tries again.
    Fixture f;
    f.server.bAnswering = false;
    EXPECT_FALSE(f.delegates.Load());
    EXPECT_FALSE(f.delegates.Load());
    EXPECT_EQ(f.server.nStartCalls, 2);
    EXPECT_EQ(f.delegates.AppInitialize(nullptr, 0, false), IADBDelegates::kNoPhone);
    f.server.bAnswering = true;
    EXPECT_FALSE(f.delegates.RemoveAll());
    EXPECT_TRUE(f.server.Requests().empty());
    // One that answers is not started again.
    EXPECT_TRUE(f.delegates.Load());
    EXPECT_TRUE(f.delegates.Load());
    EXPECT_EQ(f.server.nStartCalls, 2);
    EXPECT_EQ(f.server.Requests(), (std::vector<std::string>{"000chost:version"}));
}

TEST(AdbServerTest, ReadsTheSocketFormsOfTheAdbTool) {
    // Each form with what it names, "host port", or nothing when refused.
    const std::pair<const char*, const char*> cases[] = {{"tcp:5038", "localhost 5038"},
                                                         {"tcp:127.0.0.1:65535", "127.0.0.1 65535"},
                                                         {"tcp:[::1]:1", "::1 1"},
                                                         {"tcp:localhost:0", ""},
                                                         {"tcp:localhost:65536", ""},
                                                         {"tcp:localhost:99999999999", ""},
                                                         {"tcp::5037", ""},
                                                         {"tcp:localhost:+503", ""},
                                                         {"localabstract:adb", ""}};
    for (const auto& c : cases) {
        std::string strHost;
        int nPort = 0;
        const bool bValid = AdbServer::ParseSocketSpec(c.first, strHost, nPort);
        EXPECT_EQ(bValid ? strHost + " " + std::to_string(nPort) : "", c.second) << c.first;
    }
}

// Ends the server the test started; `adb kill-server` waits until it is gone.
struct ServerKiller {
    ~ServerKiller() { EXPECT_EQ(std::system("adb kill-server"), 0); }
};

TEST(AdbLiveTest, LoadStartsAPrivateServerThatAnswersRequests) {
    if (AdbServer::FindAdbProgram().empty()) {
        GTEST_SKIP() << "no adb program on PATH (Debian package adb, installed by "
                        "scripts/install-deps)";
    }
    const uint16_t nPort = FreePort();
    // HOME is already private: the server's keys land there. adb starts a
    // server only for the host name "localhost".
    setenv("ADB_SERVER_SOCKET", ("tcp:localhost:" + std::to_string(nPort)).c_str(), 1);
    setenv("ANDROID_ADB_LOG_PATH", (TestHomeFolder() + "/adb.log").toUtf8().constData(), 1);
    ASSERT_EQ(AdbServer().Connect(1000), nullptr) << "something answers on port " << nPort;
    ServerKiller killer;
    AdbDelegates delegates;
    ASSERT_TRUE(delegates.Load());
    // Its tracking connection waits for the server until the delegates go,
    // before the server does.
    EXPECT_EQ(delegates.AppInitialize(nullptr, 0, false), IADBDelegates::kNoPhone);
    EXPECT_TRUE(delegates.RemoveAll());
}

} // namespace
