#pragma once

#include "view/IDeviceMgr.h"
#include "view/ILocalDeviceSource.h"
#include "view/IPhoneDeviceSource.h"

#include <memory>

// The device manager over a local and a phone source. Either source may be
// absent (null): it then lists nothing. Local cameras are numbered first.
class DeviceMgr : public IDeviceMgr {
public:
    // Enumerates the local source and waits for the phone source's first
    // scan, so a phone attached at start is known when this returns.
    DeviceMgr(std::unique_ptr<ILocalDeviceSource> pLocal,
              std::unique_ptr<IPhoneDeviceSource> pPhone);
    ~DeviceMgr() override;

    DeviceMgr(const DeviceMgr&) = delete;
    DeviceMgr& operator=(const DeviceMgr&) = delete;

    void Enumerate() override;
    int GetCount() override;
    const char* GetName(unsigned int nIndex) override;
    int FindName(const char* szName) override;
    ICamera* CreateCamera(unsigned int nIndex, int nParam) override;

private:
    int LocalCount() const;
    int PhoneCount() const;

    std::unique_ptr<ILocalDeviceSource> m_pLocal;
    std::unique_ptr<IPhoneDeviceSource> m_pPhone;
};
