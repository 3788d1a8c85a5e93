#pragma once

#include "phone/IADBDelegates.h"
#include "view/IPhoneDeviceSource.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The phone attached over USB, offered as the one device "[USB Device]"
// while its ports 5000, 5544, 5545 and 8080 are forwarded to local ports. A
// watcher thread loads the forwarding mechanism, looks for the phone once,
// then looks again after every change of the device state it reports:
// forwarding is set up when the phone becomes ready and dropped when it
// goes.
class AndroidUsbDevices : public IPhoneDeviceSource {
public:
    // Makes an opened camera on address with the local ports forwarded to
    // the phone's command and video ports (0 when not forwarded), or null.
    using CameraFactory = std::function<ICamera*(
        const std::string& strAddress, uint16_t nCommandPort, uint16_t nVideoPort, int nParam)>;

    // Forwarding through the adb server; cameras are AndroidCameras.
    AndroidUsbDevices();
    AndroidUsbDevices(std::unique_ptr<IADBDelegates> pDelegates, CameraFactory cameraFactory);
    // Stops the watcher, removes the forwardings it set up and unloads the
    // mechanism; the adb server keeps running.
    ~AndroidUsbDevices() override;

    AndroidUsbDevices(const AndroidUsbDevices&) = delete;
    AndroidUsbDevices& operator=(const AndroidUsbDevices&) = delete;

    int GetCount() override;
    const char* GetName(unsigned int nIndex) override;
    int FindName(const char* szName) override;
    ICamera* CreateCamera(unsigned int nIndex, int nParam) override;
    // Returns when the first look for a phone is done, or after five seconds
    // (a stuck adb server must not hold up the program's start).
    void WaitFirstScan() override;

    // The device-state callback handed to the mechanism.
    void OnDeviceState(int nState);

private:
    void WatchLoop();
    void FirstScan();
    // bLostMeanwhile: the phone was reported gone since the last scan, so the
    // forwarding went with it even if the phone is back by now.
    void Rescan(bool bLostMeanwhile);
    void SetUpForwarding();
    void DropForwarding();
    bool RedirectPort(uint16_t nPhonePort);
    uint16_t LocalPortOf(uint16_t nPhonePort);

    std::unique_ptr<IADBDelegates> m_pDelegates;
    CameraFactory m_cameraFactory;
    char m_szName[64];

    // Written by the watcher, read by the GUI thread.
    std::atomic<bool> m_bConnected{false};
    std::atomic<int> m_nLastStatus{IADBDelegates::kPhoneUnusable};
    std::atomic<bool> m_bRunning{false};

    std::mutex m_mutex; // guards the members below
    std::condition_variable m_wake;
    std::map<uint16_t, uint16_t> m_ports; // phone port -> local port
    bool m_bFirstScanDone = false;
    int m_nLastReportedState = -1;
    unsigned int m_nChangeCount = 0;
    unsigned int m_nLastSeenChangeCount = 0;
    bool m_bLostSinceScan = false;

    std::thread m_watcher;
};
