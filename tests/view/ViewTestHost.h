#pragma once

#include "recorder/IAudioSource.h"
#include "render/IVideoRender.h"
#include "tests/support/DeviceTest.h"
#include "view/VideoRenderWidget.h"
#include "view/VideoView.h"
#include "view/VideoViewWidget.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// A picture in which every pixel up to 4095 x 4095 tells where it came from.
inline QRgb Where(int nX, int nY, int = 0) {
    return qRgb(nX & 0xFF, nY & 0xFF, (nX >> 8) | ((nY >> 8) << 4));
}

// A video view, shown and active at the size it has in the window at
// 1256 x 772, over fake cameras made by the factory.
class ViewTestHost : public DeviceTest {
protected:
    void TearDown() override {
        m_pView.reset();
        DeviceTest::TearDown();
    }

    // Cameras of nWidth x nHeight showing the pattern, or FakeCamera's own.
    static FakeCameraFactory Cameras(int nWidth, int nHeight, FakeCamera::Pattern pattern = {}) {
        return [=](unsigned int) { return new FakeCamera(nWidth, nHeight, pattern); };
    }

    // The view over cameras of these names; m_pCamera is the one made last.
    void MakeView(std::vector<std::string> names, FakeCameraFactory factory = Cameras(640, 480)) {
        MakeDevices(std::move(names),
                    [this, factory](unsigned int nIndex) { return m_pCamera = factory(nIndex); });
        m_pView = std::make_unique<VideoView>();
        m_pView->SetAudioSourceFactory([] { return nullptr; });
        // Ticked by hand unless the test wants the view's own timer: a tick
        // while the window comes up would give the view a picture unasked.
        if (!m_bOwnTimer) {
            m_pView->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly)->stop();
        }
        m_pView->resize(1055, 697);
        m_pView->show();
        QApplication::setActiveWindow(m_pView.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_pView.get()));
    }
    VideoRenderWidget* RenderWidget() const { return m_pView->ViewWidget()->RenderWidget(); }
    // nTicks frame-timer ticks, each painted, and the picture composed last.
    QImage Tick(int nTicks = 1) {
        for (int i = 0; i < nTicks; ++i) {
            m_pView->OnReadFrame();
            RenderWidget()->repaint();
        }
        return RenderWidget()->Render()->CopyPicture().convertToFormat(QImage::Format_RGB32);
    }
    // What the picture widget shows now.
    QImage Shown() {
        return RenderWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The text of the warning the view shows, or empty; closes it.
    QString TakeWarning() {
        auto* pBox = m_pView->findChild<QMessageBox*>();
        if (pBox == nullptr || !pBox->isVisible()) {
            return QString();
        }
        const QString strText = pBox->text();
        pBox->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return strText;
    }

    bool m_bOwnTimer = false;
    std::unique_ptr<VideoView> m_pView;
    FakeCamera* m_pCamera = nullptr;
};
