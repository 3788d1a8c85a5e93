// The recorder takes pictures in its own thread while the GUI thread paints
// new frames and takes photos: each consumer must get whole pictures.

#include "tests/render/RenderHost.h"

#include <QElapsedTimer>
#include <QPixmap>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Every frame is one solid colour, so a picture mixing two frames is not.
bool IsSolid(const QImage& picture, QRgb crColor) {
    return !picture.isNull() &&
           Rgb32(picture) == Rgb32(SolidFrame(picture.width(), picture.height(), crColor));
}

TEST(QTRenderThreadTest, RecorderAndPhotoGetWholePictures) {
    // Rotation and mirror are written by the renderer's own loops into the
    // pictures it hands out, where the sanitizer sees every write.
    const auto frameColour = [](int n) { return qRgb(n % 256, n * 7 % 256, 255 - n % 256); };
    for (const bool bTurned : {false, true}) {
        RenderHost host(160, 120);
        IVideoRender* pRender = host.Render();
        pRender->SetRotateAngle(bTurned ? 90 : 0);
        pRender->SetMirror(bTurned);

        std::atomic<bool> bRunning{true};
        std::atomic<int> nRecorded{0}, nTorn{0};
        std::thread recorder([&] {
            while (bRunning) {
                const QPixmap* pPicture = pRender->GetPicture();
                if (pPicture->isNull()) {
                    std::this_thread::yield();
                    continue;
                }
                // It stays the same until the next GetPicture, however long
                // the consumer works on it.
                const QImage picture = pPicture->toImage();
                if (!IsSolid(picture, picture.pixel(0, 0)) || pPicture->toImage() != picture) {
                    ++nTorn;
                }
                ++nRecorded;
            }
        });
        int nTornPhotos = 0;
        QElapsedTimer timer;
        timer.start();
        for (int n = 0; n < 150 || (nRecorded < 30 && timer.elapsed() < 20000); ++n) {
            pRender->SetImage(SolidFrame(320, 240, frameColour(n)));
            host.repaint();
            if (n % 5 == 0 && !IsSolid(pRender->CopyPicture(), frameColour(n))) {
                ++nTornPhotos;
            }
        }
        bRunning = false;
        recorder.join();
        EXPECT_GE(nRecorded, 30) << bTurned;
        EXPECT_EQ(nTorn, 0) << bTurned;
        EXPECT_EQ(nTornPhotos, 0) << bTurned;
    }
}

} // namespace
