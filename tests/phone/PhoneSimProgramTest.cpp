// The phone-sim program as other tests and the demonstration run it: its
// command line, its log of control codes, a PC that leaves and comes back,
// and its end on SIGTERM.

#include "phone/AndroidCamera.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// Reads a channel of the process until it holds strWanted.
bool ReadUntil(QProcess& process, QProcess::ProcessChannel nChannel, QByteArray& text,
               const QByteArray& strWanted) {
    process.setReadChannel(nChannel);
    while (!text.contains(strWanted)) {
        text += process.readAll();
        if (!text.contains(strWanted) && !process.waitForReadyRead(10000)) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(PhoneSimProgramTest, LogsControlsServesAReturningPcAndEndsOnSigterm) {
    if (!QFileInfo(PHONE_SIM_PATH).isExecutable()) {
        GTEST_SKIP() << "phone-sim is not built at " << PHONE_SIM_PATH;
    }
    QProcess simulator;
    simulator.start(PHONE_SIM_PATH, {"--command-port", "0", "--video-port", "0", "--size",
                                     "160x120", "--grant", "later"});
    ASSERT_TRUE(simulator.waitForStarted());
    QByteArray errors;
    ASSERT_TRUE(ReadUntil(simulator, QProcess::StandardError, errors, "video port"));
    const auto match = QRegularExpression("listening on command port (\\d+), video port (\\d+)\\n")
                           .match(QString::fromUtf8(errors));
    ASSERT_TRUE(match.hasMatch()) << errors.constData();
    const auto nCommandPort = static_cast<uint16_t>(match.captured(1).toUInt());
    const auto nVideoPort = static_cast<uint16_t>(match.captured(2).toUInt());

    QByteArray log;
    const struct {
        bool (ICamera::*pOperation)();
        const char* szLine;
    } rounds[] = {{&ICamera::LightOn, "control 2005 0\n"}, {&ICamera::ZoomIn, "control 4 0\n"}};
    for (const auto& round : rounds) {
        auto* pCamera = new AndroidCamera;
        ASSERT_TRUE(pCamera->Open("127.0.0.1", nCommandPort, nVideoPort, 0));
        EXPECT_TRUE(pCamera->WaitForPictures(1, 5000));
        ((*pCamera).*round.pOperation)();
        EXPECT_TRUE(ReadUntil(simulator, QProcess::StandardOutput, log, round.szLine));
        pCamera->Release();
    }
    EXPECT_EQ(log, "control 2005 0\ncontrol 4 0\n");

    simulator.terminate(); // SIGTERM
    ASSERT_TRUE(simulator.waitForFinished(10000));
    EXPECT_EQ(simulator.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(simulator.exitCode(), 0);
}
