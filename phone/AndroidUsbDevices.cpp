#include "phone/AndroidUsbDevices.h"

#include "phone/AdbDelegates.h"
#include "phone/AndroidCamera.h"

#include <chrono>
#include <cstring>

namespace {

const char kDeviceName[] = "[USB Device]";
const uint16_t kPhonePorts[] = {5000, 5544, 5545, 8080};
const int kPortTries = 10;
const auto kFirstScanBound = std::chrono::seconds(5);

bool IsGone(int nStatus) {
    return nStatus == IADBDelegates::kNoPhone || nStatus == IADBDelegates::kPhoneUnusable;
}

} // namespace

AndroidUsbDevices::AndroidUsbDevices()
    : AndroidUsbDevices(std::make_unique<AdbDelegates>(),
                        [](const std::string& strAddress, uint16_t nCommandPort,
                           uint16_t nVideoPort, int nParam) -> ICamera* {
                            auto* pCamera = new AndroidCamera;
                            if (!pCamera->Open(strAddress, nCommandPort, nVideoPort, nParam)) {
                                pCamera->Release();
                                return nullptr;
                            }
                            return pCamera;
                        }) {}

AndroidUsbDevices::AndroidUsbDevices(std::unique_ptr<IADBDelegates> pDelegates,
                                     CameraFactory cameraFactory)
    : m_pDelegates(std::move(pDelegates)), m_cameraFactory(std::move(cameraFactory)) {
    std::strncpy(m_szName, kDeviceName, sizeof(m_szName));
    // Loading may start the adb server, which takes a while: the watcher
    // does it, so that the program's start waits for it at most as long as
    // WaitFirstScan does.
    m_bRunning = true;
    m_watcher = std::thread(&AndroidUsbDevices::WatchLoop, this);
}

AndroidUsbDevices::~AndroidUsbDevices() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bRunning = false;
    }
    m_wake.notify_all();
    if (m_watcher.joinable()) {
        m_watcher.join();
    }
    // Only the forwardings of this run go: others on the same server are
    // someone else's.
    if (m_bConnected) {
        for (const auto& item : m_ports) {
            m_pDelegates->RemovePort(item.second);
        }
    }
    // Stops the delegate's thread, the one that calls OnDeviceState, while
    // everything that call touches still exists.
    m_pDelegates->Unload();
}

void AndroidUsbDevices::OnDeviceState(int nState) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (nState == m_nLastReportedState) {
        return;
    }
    m_nLastReportedState = nState;
    ++m_nChangeCount;
    if (IsGone(nState)) {
        m_bLostSinceScan = true;
    }
    m_wake.notify_all();
}

void AndroidUsbDevices::WatchLoop() {
    const bool bLoaded = m_pDelegates->Load();
    if (bLoaded) {
        FirstScan();
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_bFirstScanDone = true;
    m_wake.notify_all();
    if (!bLoaded) {
        return;
    }
    for (;;) {
        m_wake.wait(lock,
                    [this] { return !m_bRunning || m_nChangeCount != m_nLastSeenChangeCount; });
        if (!m_bRunning) {
            return;
        }
        m_nLastSeenChangeCount = m_nChangeCount;
        const bool bLost = m_bLostSinceScan;
        m_bLostSinceScan = false;
        lock.unlock();
        Rescan(bLost);
        lock.lock();
    }
}

void AndroidUsbDevices::FirstScan() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ports.clear();
    }
    const int nStatus =
        m_pDelegates->AppInitialize([this](int nState) { OnDeviceState(nState); }, 0, false);
    m_nLastStatus = nStatus;
    if (nStatus == IADBDelegates::kPhoneReady) {
        SetUpForwarding();
    }
}

void AndroidUsbDevices::Rescan(bool bLostMeanwhile) {
    const int nStatus =
        m_pDelegates->AppInitialize([this](int nState) { OnDeviceState(nState); }, 0, false);
    m_nLastStatus = nStatus;
    if (IsGone(nStatus)) {
        if (m_bConnected) {
            DropForwarding();
        }
    } else if (nStatus == IADBDelegates::kPhoneReady) {
        if (m_bConnected && bLostMeanwhile) {
            DropForwarding();
        }
        if (!m_bConnected) {
            SetUpForwarding();
        }
    }
}

void AndroidUsbDevices::SetUpForwarding() {
    m_pDelegates->RemoveAll();
    // A port that cannot be forwarded is left out; the phone still counts.
    for (uint16_t nPhonePort : kPhonePorts) {
        RedirectPort(nPhonePort);
    }
    m_bConnected = true;
}

void AndroidUsbDevices::DropForwarding() {
    m_pDelegates->RemoveAll();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ports.clear();
    }
    m_bConnected = false;
}

bool AndroidUsbDevices::RedirectPort(uint16_t nPhonePort) {
    int nFirst = nPhonePort + 10000;
    if (nPhonePort == 5544) {
        nFirst = 25544;
    } else if (nPhonePort == 5545) {
        nFirst = 35545;
    } else if (nPhonePort == 8080) {
        nFirst = 48080;
    }
    for (int nLocal = nFirst; nLocal < nFirst + kPortTries; ++nLocal) {
        if (m_pDelegates->RedirectTcpPort(nLocal, nPhonePort)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_ports[nPhonePort] = static_cast<uint16_t>(nLocal);
            return true;
        }
    }
    return false;
}

uint16_t AndroidUsbDevices::LocalPortOf(uint16_t nPhonePort) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_ports.find(nPhonePort);
    return it == m_ports.end() ? 0 : it->second;
}

void AndroidUsbDevices::WaitFirstScan() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, kFirstScanBound, [this] { return m_bFirstScanDone; });
}

int AndroidUsbDevices::GetCount() {
    return m_bConnected ? 1 : 0;
}

const char* AndroidUsbDevices::GetName(unsigned int nIndex) {
    return nIndex == 0 && m_bConnected ? m_szName : nullptr;
}

int AndroidUsbDevices::FindName(const char* szName) {
    return m_bConnected && szName && std::strcmp(szName, m_szName) == 0 ? 0 : -1;
}

ICamera* AndroidUsbDevices::CreateCamera(unsigned int nIndex, int nParam) {
    if (nIndex != 0 || !m_bConnected || !m_cameraFactory) {
        return nullptr;
    }
    // A port never forwarded reads as 0: with no command port the camera
    // opens for video alone, with no video port it gets no picture.
    return m_cameraFactory("127.0.0.1", LocalPortOf(5000), LocalPortOf(5544), nParam);
}
