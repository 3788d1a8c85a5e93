#pragma once

#include "app/Configuration.h"
#include "recorder/IAudioSource.h"
#include "render/IVideoRender.h"
#include "tests/support/FakeDeviceSource.h"
#include "view/DeviceMgr.h"
#include "view/VideoRenderWidget.h"
#include "view/VideoView.h"
#include "view/VideoViewWidget.h"

#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// A picture in which every pixel up to 4095 x 4095 tells where it came from.
inline QRgb Where(int nX, int nY, int = 0) {
    return qRgb(nX & 0xFF, nY & 0xFF, (nX >> 8) | ((nY >> 8) << 4));
}

// The configuration, a device manager over fake cameras, and a shown video
// view at the size it has in the window at 1256 x 772. The cameras are
// FakeCameras made by the factory; their logs are in Devices().
class ViewTestHost : public ::testing::Test {
protected:
    void SetUp() override { OpenConfiguration(); }
    void TearDown() override {
        m_pView.reset();
        DeviceManager = nullptr;
        m_pManager.reset();
        CloseConfiguration();
    }

    void MakeView(std::vector<std::string> names, FakeCameraFactory factory = {}) {
        auto pLocal = std::make_unique<FakeDeviceSource>(std::move(names), std::move(factory));
        m_devices = pLocal->Log();
        m_pManager = std::make_unique<DeviceMgr>(std::move(pLocal), nullptr);
        DeviceManager = m_pManager.get();
        m_pView = std::make_unique<VideoView>();
        m_pView->SetAudioSourceFactory([] { return nullptr; });
        m_pView->resize(1055, 697);
        m_pView->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pView.get()));
    }
    // A camera of nWidth x nHeight with the pattern Where().
    static FakeCameraFactory Cameras(int nWidth, int nHeight) {
        return [=](unsigned int) {
            auto* pCamera = new FakeCamera(nWidth, nHeight);
            pCamera->SetPattern(Where);
            return pCamera;
        };
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

    std::unique_ptr<DeviceMgr> m_pManager;
    std::shared_ptr<FakeSourceLog> m_devices;
    std::unique_ptr<VideoView> m_pView;
};
