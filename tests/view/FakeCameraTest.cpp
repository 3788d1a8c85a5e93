// The fake camera is what the view and panel tests stand on; these checks
// keep it honest about the frame contract it imitates.

#include "tests/support/FakeCamera.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

TEST(FakeCameraTest, ServesBgraFramesOfTheCurrentSizeAndCountsPairs) {
    auto* pCamera = new FakeCamera(4, 3);
    auto log = pCamera->Log();
    pCamera->SetSolidColor(qRgb(10, 20, 30));

    unsigned char* pData = nullptr;
    int nSize = 0, nWidth = 0, nHeight = 0;
    ASSERT_TRUE(pCamera->LockFrame(pData, nSize, nWidth, nHeight));
    EXPECT_EQ(nWidth, 4);
    EXPECT_EQ(nHeight, 3);
    EXPECT_GE(nSize, 4 * 3 * 4);
    // Bytes in memory: blue, green, red, alpha.
    EXPECT_EQ(pData[0], 30);
    EXPECT_EQ(pData[1], 20);
    EXPECT_EQ(pData[2], 10);
    EXPECT_EQ(pData[3], 255);
    pCamera->UnlockFrame();

    pCamera->SetSize(2, 5);
    pCamera->SetPattern([](int x, int y, int) { return qRgb(x, y, 0); });
    ASSERT_TRUE(pCamera->LockFrame(pData, nSize, nWidth, nHeight));
    const QImage frame(pData, nWidth, nHeight, nWidth * 4, QImage::Format_RGB32);
    EXPECT_EQ(frame.size(), QSize(2, 5));
    EXPECT_EQ(frame.pixel(1, 4), qRgb(1, 4, 0));
    pCamera->UnlockFrame();

    pCamera->SetSize(0, 0);
    EXPECT_FALSE(pCamera->LockFrame(pData, nSize, nWidth, nHeight));
    pCamera->UnlockFrame(); // a caller error the log must show

    EXPECT_EQ(log->nLocks, 2);
    EXPECT_EQ(log->nFailedLocks, 1);
    EXPECT_EQ(log->nPairingErrors, 1);

    EXPECT_TRUE(pCamera->ZoomIn());
    EXPECT_FALSE(pCamera->Rotate());
    pCamera->SetControlResult("Rotate", true);
    EXPECT_TRUE(pCamera->Rotate());
    EXPECT_TRUE(pCamera->StopControl());
    EXPECT_EQ(log->controls, (std::vector<std::string>{"ZoomIn", "Rotate", "Rotate", "StopControl"}));

    pCamera->Release();
    EXPECT_TRUE(log->bReleased);
}

} // namespace
