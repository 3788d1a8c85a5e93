// AdbDelegates against Debian's adb server, one of its own (own port, own
// HOME, own log) that Load has to start. What the server does with a phone
// is the end-to-end test's (tests/e2e/phone-e2e.sh).

#include "phone/AdbDelegates.h"
#include "phone/AdbProtocol.h"
#include "phone/AdbServer.h"
#include "tests/phone/PhonePeer.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Ends the server the test started as `adb kill-server` does, and waits
// for it to close the connection.
struct ServerKiller {
    ~ServerKiller() {
        const std::unique_ptr<IAdbConnection> pConnection = AdbServer().Connect(5000);
        const std::string strKill = AdbProtocol::EncodeRequest("host:kill");
        char buffer[64];
        if (pConnection && pConnection->SendAll(strKill.data(), strKill.size())) {
            while (pConnection->Receive(buffer, sizeof buffer) > 0) {
            }
        }
    }
};

} // namespace

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
    // Its tracking connection is ended by Unload, below, while it waits
    // for the server.
    EXPECT_EQ(delegates.AppInitialize(nullptr, 0, false), IADBDelegates::kNoPhone);
    EXPECT_TRUE(delegates.RemoveAll());
    std::string strSerial, strModel;
    EXPECT_FALSE(delegates.GetDeviceName(strSerial, strModel));
    delegates.Unload();
}
