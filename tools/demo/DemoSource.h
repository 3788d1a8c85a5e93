#pragma once

#include "view/ILocalDeviceSource.h"

// Lists one camera, the demo camera, as if it were attached to this computer.
class DemoSource final : public ILocalDeviceSource {
public:
    DemoSource(int nWidth, int nHeight) : m_nWidth(nWidth), m_nHeight(nHeight) {}

    void Enumerate() override {}
    int GetCount() override { return 1; }
    const char* GetName(unsigned int nIndex) override;
    int FindName(const char* szName) override;
    ICamera* CreateCamera(unsigned int nIndex, int nParam) override;

private:
    int m_nWidth;
    int m_nHeight;
};
