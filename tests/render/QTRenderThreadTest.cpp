// The recorder takes pictures in its own thread while the GUI thread paints
// new frames and takes photos: each consumer must get whole pictures.

#include "tests/render/RenderHost.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Every frame is one solid colour, so a picture mixing two frames shows up
// as a picture that is not uniform.
bool IsUniform(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb crFirst = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* pRow = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (pRow[x] != crFirst) {
                return false;
            }
        }
    }
    return true;
}

QRgb FrameColour(int n) {
    return qRgb(n % 256, (n * 7) % 256, 255 - n % 256);
}

void RunRecorderAndPhotos(int nAngle, bool bMirror) {
    RenderHost host(160, 120);
    IVideoRender* pRender = host.Render();
    // Rotation and mirror are written by the renderer's own loops into the
    // pictures it hands out, where the sanitizer sees every write.
    pRender->SetRotateAngle(nAngle);
    pRender->SetMirror(bMirror);

    std::atomic<bool> bRunning{true};
    std::atomic<int> nRecorded{0};
    std::atomic<int> nTorn{0};
    std::thread recorder([&] {
        while (bRunning) {
            const QPixmap* pPicture = pRender->GetPicture();
            if (pPicture->isNull()) {
                std::this_thread::yield();
                continue;
            }
            // The picture must stay the same until the next GetPicture, however
            // long the consumer works on it.
            const QImage picture = pPicture->toImage();
            if (!IsUniform(picture) || pPicture->toImage().pixel(0, 0) != picture.pixel(0, 0)) {
                ++nTorn;
            }
            ++nRecorded;
        }
    });

    int nTornPhotos = 0;
    QElapsedTimer timer;
    timer.start();
    for (int n = 0; n < 150 || (nRecorded < 30 && timer.elapsed() < 20000); ++n) {
        pRender->SetImage(SolidFrame(320, 240, FrameColour(n)));
        host.repaint();
        if (n % 5 == 0) {
            const QImage photo = pRender->CopyPicture();
            if (photo.isNull() || !IsUniform(photo) || photo.pixel(0, 0) != FrameColour(n)) {
                ++nTornPhotos;
            }
        }
    }
    bRunning = false;
    recorder.join();

    EXPECT_GE(nRecorded, 30);
    EXPECT_EQ(nTorn, 0);
    EXPECT_EQ(nTornPhotos, 0);
}

TEST(QTRenderThreadTest, RecorderAndPhotoGetWholePictures) {
    RunRecorderAndPhotos(0, false);
}

TEST(QTRenderThreadTest, RecorderAndPhotoGetWholeRotatedMirroredPictures) {
    RunRecorderAndPhotos(90, true);
}

} // namespace
