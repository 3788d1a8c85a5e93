#include "camera/V4l2DeviceList.h"

#include "camera/V4l2Camera.h"
#include "camera/V4l2Stream.h"
#include "camera/V4l2System.h"

#include <utility>

V4l2DeviceList::V4l2DeviceList() : V4l2DeviceList(std::make_shared<V4l2System>()) {}

// Lists nothing until Enumerate: the device manager enumerates as it starts,
// and every listing opens each video node once.
V4l2DeviceList::V4l2DeviceList(std::shared_ptr<IV4l2System> pSystem, int nWatchIntervalMs)
    : m_pSystem(std::move(pSystem)), m_nWatchIntervalMs(nWatchIntervalMs) {}

void V4l2DeviceList::Enumerate() {
    m_entries.clear();
    for (const std::string& strPath : m_pSystem->ListVideoNodes()) {
        std::unique_ptr<IV4l2Device> pDevice = m_pSystem->Open(strPath);
        v4l2_capability caps{};
        if (pDevice && pDevice->Ioctl(VIDIOC_QUERYCAP, &caps) == 0 && V4l2Stream::CanStream(caps)) {
            m_entries.push_back({V4l2Stream::Text(caps.card), strPath});
        }
    }
}

int V4l2DeviceList::GetCount() {
    return static_cast<int>(m_entries.size());
}

const char* V4l2DeviceList::GetName(unsigned int nIndex) {
    return nIndex < m_entries.size() ? m_entries[nIndex].strName.c_str() : nullptr;
}

int V4l2DeviceList::FindName(const char* szName) {
    if (!szName) {
        return -1;
    }
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].strName == szName) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

ICamera* V4l2DeviceList::CreateCamera(unsigned int nIndex, int nParam) {
    if (nIndex >= m_entries.size()) {
        return nullptr;
    }
    auto* pCamera = new V4l2Camera(m_pSystem, m_nWatchIntervalMs);
    if (!pCamera->Open(m_entries[nIndex].strPath, nParam)) {
        pCamera->Release();
        return nullptr;
    }
    return pCamera;
}
