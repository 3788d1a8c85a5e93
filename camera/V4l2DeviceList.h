#pragma once

#include "camera/IV4l2System.h"
#include "view/ILocalDeviceSource.h"

#include <memory>
#include <string>
#include <vector>

// The cameras attached to this computer: the video nodes, in number order,
// that can capture and stream, each named by its card name. GUI thread only.
class V4l2DeviceList final : public ILocalDeviceSource {
public:
    V4l2DeviceList();
    // nWatchIntervalMs: how often an unplugged camera looks for its return.
    explicit V4l2DeviceList(std::shared_ptr<IV4l2System> pSystem, int nWatchIntervalMs = 1000);

    void Enumerate() override;
    int GetCount() override;
    const char* GetName(unsigned int nIndex) override;
    int FindName(const char* szName) override;
    // A streaming V4l2Camera, or null when the index is out of range or the
    // device cannot be opened (it may have gone since the last Enumerate).
    ICamera* CreateCamera(unsigned int nIndex, int nParam) override;

private:
    struct Entry {
        std::string strName;
        std::string strPath;
    };

    std::shared_ptr<IV4l2System> m_pSystem;
    int m_nWatchIntervalMs;
    std::vector<Entry> m_entries;
};
