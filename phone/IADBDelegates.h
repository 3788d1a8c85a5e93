#pragma once

#include <functional>
#include <string>

// Called with the new device state whenever the list of attached devices
// changes; runs on a thread of the delegate.
using DeviceStateCallback = std::function<void(int)>;

// The port-forwarding mechanism that reaches a phone over USB: it reports
// whether a phone is ready and forwards local TCP ports to the phone's ports.
class IADBDelegates {
public:
    // AppInitialize's status.
    static constexpr int kPhoneReady = 0;
    static constexpr int kNoPhone = -4;
    static constexpr int kPhoneUnusable = -5;

    // Unloads first when loaded.
    virtual ~IADBDelegates() = default;

    virtual bool Load() = 0;
    virtual void Unload() = 0;
    // The state now: kPhoneReady, kNoPhone or kPhoneUnusable. From then on
    // callback receives each later change, until Unload. nReserved and
    // bReserved carry no meaning here and are passed as 0 and false.
    virtual int AppInitialize(DeviceStateCallback callback, int nReserved, bool bReserved) = 0;
    virtual bool RedirectTcpPort(int nLocalPort, int nPhonePort) = 0;
    virtual bool RedirectUdpPort(int nLocalPort, int nPhonePort) = 0;
    // Ends the forwarding of one local port.
    virtual bool RemovePort(int nPort) = 0;
    virtual bool RemoveAll() = 0;
    // The ready phone's serial and model name; false when none is ready.
    virtual bool GetDeviceName(std::string& strSerial, std::string& strModel) = 0;
};
