#include "phone/AdbDelegates.h"
#include "phone/AdbServer.h"
#include "tests/phone/FakeAdbServer.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// What Debian's adb 29 answered for a phone joined with `adb connect`.
const std::string kPhoneList = "OKAY0063127.0.0.1:6301         device product:orvane_sim "
                               "model:Orvane_Sim device:orvane_sim transport_id:1\n";

struct Fixture {
    FakeAdbServer* pServer = new FakeAdbServer;
    std::shared_ptr<FakeAdbServer::State> pState = pServer->GetState();
    AdbDelegates delegates{std::unique_ptr<IAdbServer>(pServer)};

    explicit Fixture(const std::string& strDevices = kPhoneList) {
        pState->replies["host:version"] = "OKAY00040029";
        pState->replies["host:devices-l"] = strDevices;
    }
    // The status, once the tracking thread has made its connection, so that
    // the requests that follow are counted alone.
    int Initialize() {
        const int nStatus = delegates.AppInitialize(nullptr, 0, false);
        EXPECT_TRUE(pServer->WaitTrackConnections(1));
        return nStatus;
    }
    std::string LastRequest() {
        std::lock_guard<std::mutex> lock(pState->mutex);
        return pState->requests.empty() ? std::string() : pState->requests.back();
    }
    size_t RequestCount() {
        std::lock_guard<std::mutex> lock(pState->mutex);
        return pState->requests.size();
    }
};

TEST(AdbDelegatesTest, RequestsAreByteExactAndOnlyFullSuccessCounts) {
    struct Case {
        const char* szName;
        std::function<bool(AdbDelegates&)> call;
        std::string strRequest; // empty: nothing may be sent
        std::string strReply;
        bool bResult;
    };
    const std::string kForward = "0035host-serial:127.0.0.1:6301:forward:tcp:15000;tcp:5000";
    auto forward = [](AdbDelegates& d) { return d.RedirectTcpPort(15000, 5000); };
    auto removeAll = [](AdbDelegates& d) { return d.RemoveAll(); };
    auto removePort = [](AdbDelegates& d) { return d.RemovePort(15000); };
    const Case cases[] = {
        // A new forwarding also names its port after the two OKAYs.
        {"forward", forward, kForward, "OKAYOKAY000515000", true},
        {"forward again", forward, kForward, "OKAYOKAY", true},
        {"port taken", forward, kForward,
         "OKAYFAIL002ccannot bind listener: Address already in use", false},
        {"no device", forward, kForward, "FAIL0000", false},
        {"cut after the first OKAY", forward, kForward, "OKAY", false},
        {"garbage", forward, kForward, "OKAYOKEY", false},
        {"remove all", removeAll, "0014host:killforward-all", "OKAYOKAY", true},
        {"remove all cut", removeAll, "0014host:killforward-all", "OKAY", false},
        {"remove port", removePort, "001ahost:killforward:tcp:15000", "OKAYOKAY", true},
        {"remove unknown port", removePort, "001ahost:killforward:tcp:15000",
         "FAIL001elistener 'tcp:15000' not found", false},
        {"udp", [](AdbDelegates& d) { return d.RedirectUdpPort(15000, 5000); }, "", "", false},
        {"local port 0", [](AdbDelegates& d) { return d.RedirectTcpPort(0, 5000); }, "", "", false},
        {"phone port 65536", [](AdbDelegates& d) { return d.RedirectTcpPort(15000, 65536); }, "",
         "", false},
        {"remove port 65536", [](AdbDelegates& d) { return d.RemovePort(65536); }, "", "", false},
    };
    for (size_t nChunk : {0, 1, 3}) {
        Fixture f;
        f.pState->nChunk = nChunk;
        ASSERT_TRUE(f.delegates.Load());
        ASSERT_EQ(f.Initialize(), IADBDelegates::kPhoneReady);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.szName) + ", pieces of " + std::to_string(nChunk));
            const size_t nBefore = f.RequestCount();
            if (!c.strRequest.empty()) {
                const size_t nLength = c.strRequest.size() - 4;
                f.pState->replies[c.strRequest.substr(4, nLength)] = c.strReply;
            }
            EXPECT_EQ(c.call(f.delegates), c.bResult);
            if (c.strRequest.empty()) {
                EXPECT_EQ(f.RequestCount(), nBefore);
            } else {
                EXPECT_EQ(f.RequestCount(), nBefore + 1);
                EXPECT_EQ(f.LastRequest(), c.strRequest);
            }
        }
    }
}

TEST(AdbDelegatesTest, StatusSerialAndModelFollowTheDeviceList) {
    struct Case {
        const char* szName;
        std::string strReply;
        int nStatus;
        std::string strSerial; // of the ready device; empty when none
        std::string strModel;
    };
    const Case cases[] = {
        {"phone", kPhoneList, 0, "127.0.0.1:6301", "Orvane_Sim"},
        {"nothing", "OKAY0000", -4, "", ""},
        {"offline", "OKAY0025emulator-5554 offline transport_id:2\n", -5, "", ""},
        // The ready device wins over one listed before it.
        {"unauthorized, then ready",
         "OKAY004bX1 unauthorized transport_id:1\nX2 device product:p model:M2 transport_id:2\n", 0,
         "X2", "M2"},
        {"short form", "OKAY0011X3\tno permissions", -5, "", ""},
        {"server refuses", "FAIL0014unknown host service", -4, "", ""},
        {"length not hex", "OKAY00g1X\tdevice\n", -4, "", ""},
        {"list cut short", "OKAY0040X\tdevice\n", -4, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        Fixture f(c.strReply);
        ASSERT_TRUE(f.delegates.Load());
        EXPECT_EQ(f.Initialize(), c.nStatus);
        {
            std::lock_guard<std::mutex> lock(f.pState->mutex);
            EXPECT_EQ(f.pState->requests.at(1), "000ehost:devices-l");
        }
        std::string strSerial = "old", strModel = "old";
        EXPECT_EQ(f.delegates.GetDeviceName(strSerial, strModel), !c.strSerial.empty());
        if (!c.strSerial.empty()) {
            EXPECT_EQ(strSerial, c.strSerial);
            EXPECT_EQ(strModel, c.strModel);
            // Forwarding goes to that device.
            f.pState->replies["host-serial:" + c.strSerial + ":forward:tcp:15000;tcp:5000"] =
                "OKAYOKAY";
            EXPECT_TRUE(f.delegates.RedirectTcpPort(15000, 5000));
        } else {
            const size_t nBefore = f.RequestCount();
            EXPECT_FALSE(f.delegates.RedirectTcpPort(15000, 5000));
            EXPECT_EQ(f.RequestCount(), nBefore);
        }
    }
}

TEST(AdbDelegatesTest, ReportsEveryListInOrderAndSurvivesTheServerGoing) {
    auto* pServer = new FakeAdbServer;
    auto pState = pServer->GetState();
    pState->replies["host:version"] = "OKAY00040029";
    pState->replies["host:devices-l"] = "OKAY0000";
    StateLog log;
    {
        AdbDelegates delegates{std::unique_ptr<IAdbServer>(pServer)};
        ASSERT_TRUE(delegates.Load());
        ASSERT_EQ(delegates.AppInitialize([&](int n) { log.Add(n); }, 0, false), -4);
        ASSERT_TRUE(pServer->WaitTrackConnections(1));
        {
            std::lock_guard<std::mutex> lock(pState->mutex);
            EXPECT_EQ(pState->requests.back(), "0012host:track-devices");
        }

        // The server's replies in awkward pieces: split inside the status,
        // the length and a line, and two lists in one piece.
        for (const char* szPiece :
             {"OK", "AY00", "16127.0.0.1:6301\tdev", "ice\n0017127.0.0.1:6301\toffline\n0000"}) {
            pServer->PushTrack(szPiece);
        }
        EXPECT_EQ(log.WaitFor(3), (std::vector<int>{0, -5, -4}));

        // A server that exits takes every forwarding with it: no phone.
        pServer->PushTrack("0016127.0.0.1:6301\tdevice\n");
        EXPECT_EQ(log.WaitFor(4).back(), 0);
        pServer->CloseTrack();
        EXPECT_EQ(log.WaitFor(5).back(), -4);

        // Tracking resumes when a server answers again.
        ASSERT_TRUE(pServer->WaitTrackConnections(2));
        pServer->PushTrack("OKAY0016127.0.0.1:6301\tdevice\n");
        EXPECT_EQ(log.WaitFor(6), (std::vector<int>{0, -5, -4, 0, -4, 0}));
        // Leaving the scope unloads while the thread waits in a read.
    }
    EXPECT_EQ(log.WaitFor(6).size(), 6u);
}

TEST(AdbDelegatesTest, LoadStartsTheServerOnlyWhenNoneAnswers) {
    struct Case {
        bool bAnswering;
        bool bStartWorks;
        bool bLoaded;
        int nStartCalls;
    };
    for (const Case& c :
         {Case{true, false, true, 0}, Case{false, true, true, 1}, Case{false, false, false, 1}}) {
        SCOPED_TRACE(testing::Message()
                     << "answering " << c.bAnswering << ", start works " << c.bStartWorks);
        Fixture f;
        f.pState->bAnswering = c.bAnswering;
        f.pState->bStartWorks = c.bStartWorks;
        EXPECT_EQ(f.delegates.Load(), c.bLoaded);
        EXPECT_EQ(f.pState->nStartCalls, c.nStartCalls);
        EXPECT_EQ(f.delegates.Load(), c.bLoaded);
        EXPECT_EQ(f.pState->nStartCalls, c.bLoaded ? c.nStartCalls : 2 * c.nStartCalls);
        if (c.bLoaded) {
            EXPECT_EQ(f.LastRequest(), "000chost:version");
        } else {
            EXPECT_EQ(f.delegates.AppInitialize(nullptr, 0, false), IADBDelegates::kNoPhone);
            EXPECT_FALSE(f.delegates.RemoveAll());
        }
    }
}

} // namespace

namespace {

TEST(AdbServerTest, ReadsTheSocketFormsOfTheAdbTool) {
    struct Case {
        const char* szSpec;
        bool bValid;
        const char* szHost;
        int nPort;
    };
    const Case cases[] = {
        {"tcp:localhost:5038", true, "localhost", 5038},
        {"tcp:5038", true, "localhost", 5038},
        {"tcp:127.0.0.1:65535", true, "127.0.0.1", 65535},
        {"tcp:[::1]:1", true, "::1", 1},
        {"tcp:localhost:0", false, "", 0},
        {"tcp:localhost:65536", false, "", 0},
        {"tcp:localhost:99999999999", false, "", 0},
        {"tcp:localhost:", false, "", 0},
        {"tcp::5037", false, "", 0},
        {"tcp:localhost:50x8", false, "", 0},
        {"tcp:localhost:+503", false, "", 0},
        {"localabstract:adb", false, "", 0},
        {"", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szSpec);
        std::string strHost = "unchanged";
        int nPort = -1;
        EXPECT_EQ(AdbServer::ParseSocketSpec(c.szSpec, strHost, nPort), c.bValid);
        EXPECT_EQ(strHost, c.bValid ? c.szHost : "unchanged");
        EXPECT_EQ(nPort, c.bValid ? c.nPort : -1);
    }
}

} // namespace
