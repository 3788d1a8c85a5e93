// The recorder takes pictures in its own thread while the GUI thread composes
// and paints new frames: it must get whole pictures, and a picture handed out
// must stay as it is until the recorder asks again.

#include "tests/render/RenderHost.h"

#include <QElapsedTimer>
#include <QPixmap>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(QTRenderThreadTest, TheRecorderGetsWholePicturesThatStayPut) {
    const auto frameColour = [](int n) { return qRgb(n % 256, n * 7 % 256, 255 - n % 256); };
    // Plain frames are handed out from the frame buffers themselves; turned
    // and flipped ones from the renderer's output buffers.
    for (const bool bTurned : {false, true}) {
        RenderHost host(160, 120);
        IVideoRender* pRender = host.Render();
        pRender->SetRotateAngle(bTurned ? 90 : 0);
        pRender->SetMirror(bTurned);

        std::atomic<bool> bRunning{true};
        std::atomic<int> nComposed{0}, nRecorded{0}, nChanged{0};
        std::thread recorder([&] {
            while (bRunning) {
                const QPixmap* pPicture = pRender->GetPicture();
                if (pPicture->isNull()) {
                    std::this_thread::yield();
                    continue;
                }
                // A deep copy now, compared with the picture again once the
                // GUI thread has composed two more: a hand-over that lets a
                // composition write the picture handed out changes it.
                const QImage taken = pPicture->toImage().copy();
                const int nUntil = nComposed + 2;
                while (bRunning && nComposed < nUntil) {
                    std::this_thread::yield();
                }
                // Every frame is one solid colour, so a picture mixing two
                // frames is not.
                if (Rgb32(taken) != SolidFrame(taken.width(), taken.height(), taken.pixel(0, 0)) ||
                    Rgb32(pPicture->toImage()) != Rgb32(taken)) {
                    ++nChanged;
                }
                ++nRecorded;
            }
        });
        QElapsedTimer timer;
        timer.start();
        for (int n = 0; n < 150 || (nRecorded < 30 && timer.elapsed() < 20000); ++n) {
            pRender->SetImage(SolidFrame(320, 240, frameColour(n)));
            pRender->ComposePicture();
            host.repaint(); // draws what was composed, while the recorder reads it
            ++nComposed;
        }
        bRunning = false;
        recorder.join();
        EXPECT_GE(nRecorded, 30) << bTurned;
        EXPECT_EQ(nChanged, 0) << bTurned;
    }
}

} // namespace
