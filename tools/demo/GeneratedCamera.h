#pragma once

#include "view/ICamera.h"
#include "view/ILocalDeviceSource.h"

#include <functional>
#include <string>
#include <utility>

// A camera whose pictures are made by the program rather than a sensor. The
// hardware controls succeed without doing anything; the ones the view does in
// software report that the camera cannot, so the view's effects stand in.
class GeneratedCamera : public ICamera {
public:
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
    bool Rotate() override { return false; }
    bool Mirror() override { return false; }
    bool Negative() override { return false; }
    bool BlackWhite() override { return false; }
    bool AuxControl() override { return false; }
    bool Freeze() override { return false; }
    bool Mosaic() override { return false; }
    bool StopControl() override { return true; }

protected:
    virtual ~GeneratedCamera() = default;
};

// Lists one generated camera under a name, as if it were attached.
class GeneratedSource final : public ILocalDeviceSource {
public:
    GeneratedSource(std::string strName, std::function<ICamera*()> create)
        : m_strName(std::move(strName)), m_create(std::move(create)) {}

    void Enumerate() override {}
    int GetCount() override { return 1; }
    const char* GetName(unsigned int nIndex) override {
        return nIndex == 0 ? m_strName.c_str() : nullptr;
    }
    int FindName(const char* szName) override {
        return szName != nullptr && m_strName == szName ? 0 : -1;
    }
    ICamera* CreateCamera(unsigned int nIndex, int) override {
        return nIndex == 0 ? m_create() : nullptr;
    }

private:
    std::string m_strName;
    std::function<ICamera*()> m_create;
};
