#pragma once

#include "view/ICamera.h"

#include <QImage>

// A camera without hardware: a printed page on a desk, with a clock in its
// corner that moves on every picture. For screenshots, demonstrations and
// tests of the whole program.
class DemoCamera final : public ICamera {
public:
    DemoCamera(int nWidth, int nHeight);

    bool LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) override;
    void UnlockFrame() override {}
    bool IsRunning() override { return true; }
    void Release() override { delete this; }

    bool AutoFocus() override { return true; }
    bool LightOn() override { return true; }
    bool LightOff() override { return true; }
    bool ZoomIn() override { return true; }
    bool ZoomOut() override { return true; }
    bool Brighten() override { return true; }
    bool Darken() override { return true; }
    bool FocusFar() override { return true; }
    bool FocusNear() override { return true; }
    // The software effects of the view stand in for these.
    bool Rotate() override { return false; }
    bool Mirror() override { return false; }
    bool Negative() override { return false; }
    bool BlackWhite() override { return false; }
    bool AuxControl() override { return false; }
    bool Freeze() override { return false; }
    bool Mosaic() override { return false; }
    bool StopControl() override { return true; }

private:
    ~DemoCamera() = default;
    void DrawPage();
    void DrawClock();

    QImage m_picture;
    QRect m_rcClock;
};
