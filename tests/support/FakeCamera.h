#pragma once

#include "view/ICamera.h"

#include <QRgb>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

// What a FakeCamera did, kept apart from the camera so that a test can still
// read it after the camera was released.
struct FakeCameraLog {
    int nLocks = 0;         // LockFrame calls that returned true
    int nUnlocks = 0;       // UnlockFrame calls
    int nPairingErrors = 0; // unlock without a pinned frame, or a second lock while pinned
    bool bReleased = false;
    // Control operations by name ("ZoomIn", "StopControl", ...), in call order.
    std::vector<std::string> controls;
};

// A camera for tests: serves generated BGRA pictures of a chosen size, which
// may change between frames, and records what was called on it.
//
//   auto* pCamera = new FakeCamera(640, 480);
//   auto log = pCamera->Log();
//   view.SetCamera(pCamera);          // the view releases it later
//   EXPECT_TRUE(log->bReleased);
//
// By default the pixel at (x, y) of frame n has red x + n, green y and blue
// from the high bits of x and y. Control operations return true except
// Rotate, Mirror, Negative, BlackWhite, AuxControl, Freeze and Mosaic, like a
// camera whose software fallbacks the view must apply, until SetHardware.
class FakeCamera final : public ICamera {
public:
    using Pattern = std::function<QRgb(int nX, int nY, int nFrame)>;

    // Null: the default pattern.
    FakeCamera(int nWidth, int nHeight, Pattern pattern = {});

    std::shared_ptr<FakeCameraLog> Log() const { return m_log; }

    // The size of the next pictures.
    void SetSize(int nWidth, int nHeight);
    // The camera does this one itself from now on.
    void SetHardware(const std::string& strName) { m_softwareOnly.erase(strName); }
    // A faulty camera: LockFrame reports twice the height its buffer holds.
    void SetReportsTooLarge(bool bTooLarge) { m_bTooLarge = bTooLarge; }

    bool LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) override;
    void UnlockFrame() override;
    bool IsRunning() override { return true; }
    void Release() override;

    bool AutoFocus() override { return Control("AutoFocus"); }
    bool LightOn() override { return Control("LightOn"); }
    bool LightOff() override { return Control("LightOff"); }
    bool ZoomIn() override { return Control("ZoomIn"); }
    bool ZoomOut() override { return Control("ZoomOut"); }
    bool Brighten() override { return Control("Brighten"); }
    bool Darken() override { return Control("Darken"); }
    bool FocusFar() override { return Control("FocusFar"); }
    bool FocusNear() override { return Control("FocusNear"); }
    bool Rotate() override { return Control("Rotate"); }
    bool Mirror() override { return Control("Mirror"); }
    bool Negative() override { return Control("Negative"); }
    bool BlackWhite() override { return Control("BlackWhite"); }
    bool AuxControl() override { return Control("AuxControl"); }
    bool Freeze() override { return Control("Freeze"); }
    bool Mosaic() override { return Control("Mosaic"); }
    bool StopControl() override { return Control("StopControl"); }

private:
    ~FakeCamera() = default;
    bool Control(const char* szName);

    std::shared_ptr<FakeCameraLog> m_log = std::make_shared<FakeCameraLog>();
    std::set<std::string> m_softwareOnly = {"Rotate",     "Mirror", "Negative", "BlackWhite",
                                            "AuxControl", "Freeze", "Mosaic"};
    std::vector<unsigned char> m_buffer;
    Pattern m_pattern;
    int m_nWidth;
    int m_nHeight;
    int m_nFrame = 0;
    bool m_bLocked = false;
    bool m_bTooLarge = false;
};
