#include "phone/AdbDelegates.h"

#include "phone/AdbProtocol.h"
#include "phone/AdbReplyReader.h"
#include "phone/AdbServer.h"

#include <chrono>

namespace {
// A request answers within milliseconds; a server that does not is stuck.
const int kRequestTimeoutMs = 5000;
const auto kTrackRetry = std::chrono::seconds(1);
} // namespace

AdbDelegates::AdbDelegates() : AdbDelegates(std::make_unique<AdbServer>()) {}

AdbDelegates::AdbDelegates(std::unique_ptr<IAdbServer> pServer) : m_pServer(std::move(pServer)) {}

AdbDelegates::~AdbDelegates() {
    Unload();
}

bool AdbDelegates::Request(const std::string& strService, int nOkays, std::string* pMessage) {
    const std::string strRequest = AdbProtocol::EncodeRequest(strService);
    if (strRequest.empty()) {
        return false;
    }
    std::unique_ptr<IAdbConnection> pConnection = m_pServer->Connect(kRequestTimeoutMs);
    if (!pConnection || !pConnection->SendAll(strRequest.data(), strRequest.size())) {
        return false;
    }
    AdbReplyReader reader(*pConnection);
    std::string strReason;
    for (int i = 0; i < nOkays; ++i) {
        if (!reader.ReadStatus(strReason)) {
            return false;
        }
    }
    return !pMessage || reader.ReadMessage(*pMessage);
}

bool AdbDelegates::Load() {
    if (m_bLoaded) {
        return true;
    }
    std::string strVersion;
    if (!Request("host:version", 1, &strVersion)) {
        if (!m_pServer->StartServer() || !Request("host:version", 1, &strVersion)) {
            return false;
        }
    }
    m_bLoaded = true;
    return true;
}

void AdbDelegates::Unload() {
    std::thread tracker;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bTracking = false;
        if (m_pTrackConnection) {
            m_pTrackConnection->Interrupt();
        }
        tracker = std::move(m_tracker);
        m_callback = nullptr;
    }
    m_wake.notify_all();
    if (tracker.joinable()) {
        tracker.join();
    }
    m_bLoaded = false;
}

bool AdbDelegates::QueryDevices(std::string& strList) {
    return Request("host:devices-l", 1, &strList);
}

int AdbDelegates::AppInitialize(DeviceStateCallback callback, int /*nReserved*/,
                                bool /*bReserved*/) {
    if (!m_bLoaded) {
        return kNoPhone;
    }
    std::string strList;
    const bool bAnswered = QueryDevices(strList);
    const std::vector<AdbDevice> devices = AdbProtocol::ParseDeviceList(strList);
    const AdbDevice* pReady = AdbProtocol::FindReady(devices);

    std::lock_guard<std::mutex> lock(m_mutex);
    m_strSerial = pReady ? pReady->strSerial : std::string();
    m_callback = std::move(callback);
    if (!m_tracker.joinable()) {
        m_bTracking = true;
        m_tracker = std::thread(&AdbDelegates::TrackLoop, this);
    }
    return bAnswered ? AdbProtocol::DeviceStatus(devices) : kNoPhone;
}

void AdbDelegates::TrackLoop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_bTracking) {
        lock.unlock();
        std::unique_ptr<IAdbConnection> pConnection = m_pServer->Connect(0);
        lock.lock();
        if (pConnection && m_bTracking) {
            m_pTrackConnection = pConnection.get();
            lock.unlock();
            const bool bHadList = Track(*pConnection);
            lock.lock();
            m_pTrackConnection = nullptr;
            pConnection.reset();
            if (bHadList && m_bTracking) {
                // The server went away, and every forwarding with it.
                lock.unlock();
                Report(kNoPhone);
                lock.lock();
            }
        }
        m_wake.wait_for(lock, kTrackRetry, [this] { return !m_bTracking; });
    }
}

bool AdbDelegates::Track(IAdbConnection& connection) {
    const std::string strRequest = AdbProtocol::EncodeRequest("host:track-devices");
    if (!connection.SendAll(strRequest.data(), strRequest.size())) {
        return false;
    }
    AdbReplyReader reader(connection);
    std::string strReason;
    if (!reader.ReadStatus(strReason)) {
        return false;
    }
    bool bHadList = false;
    std::string strList;
    while (reader.ReadMessage(strList)) {
        bHadList = true;
        Report(AdbProtocol::DeviceStatus(AdbProtocol::ParseDeviceList(strList)));
    }
    return bHadList;
}

void AdbDelegates::Report(int nStatus) {
    DeviceStateCallback callback;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_bTracking) {
            return;
        }
        callback = m_callback;
    }
    // Called unlocked: the receiver may call back into this object.
    if (callback) {
        callback(nStatus);
    }
}

bool AdbDelegates::RedirectTcpPort(int nLocalPort, int nPhonePort) {
    if (!m_bLoaded || nLocalPort < 1 || nLocalPort > 65535 || nPhonePort < 1 ||
        nPhonePort > 65535) {
        return false;
    }
    std::string strSerial;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        strSerial = m_strSerial;
    }
    if (strSerial.empty()) {
        return false;
    }
    // One OKAY for finding the device, one for the forwarding itself.
    return Request("host-serial:" + strSerial + ":forward:tcp:" + std::to_string(nLocalPort) +
                       ";tcp:" + std::to_string(nPhonePort),
                   2, nullptr);
}

bool AdbDelegates::RedirectUdpPort(int /*nLocalPort*/, int /*nPhonePort*/) {
    return false;
}

bool AdbDelegates::RemovePort(int nPort) {
    if (!m_bLoaded || nPort < 1 || nPort > 65535) {
        return false;
    }
    return Request("host:killforward:tcp:" + std::to_string(nPort), 2, nullptr);
}

bool AdbDelegates::RemoveAll() {
    return m_bLoaded && Request("host:killforward-all", 2, nullptr);
}

bool AdbDelegates::GetDeviceName(std::string& strSerial, std::string& strModel) {
    std::string strList;
    if (!m_bLoaded || !QueryDevices(strList)) {
        return false;
    }
    const std::vector<AdbDevice> devices = AdbProtocol::ParseDeviceList(strList);
    const AdbDevice* pReady = AdbProtocol::FindReady(devices);
    if (!pReady) {
        return false;
    }
    strSerial = pReady->strSerial;
    strModel = pReady->strModel;
    return true;
}
