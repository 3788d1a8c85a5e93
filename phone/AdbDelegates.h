#pragma once

#include "phone/IADBDelegates.h"
#include "phone/IAdbServer.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class IAdbConnection;

// IADBDelegates over the adb server's host protocol. Each request goes on a
// connection of its own; a thread keeps a track-devices connection open from
// the first AppInitialize until Unload and reports every change of the device
// list, reconnecting while the server is away.
class AdbDelegates : public IADBDelegates {
public:
    // The server of this machine (AdbServer).
    AdbDelegates();
    explicit AdbDelegates(std::unique_ptr<IAdbServer> pServer);
    ~AdbDelegates() override;

    AdbDelegates(const AdbDelegates&) = delete;
    AdbDelegates& operator=(const AdbDelegates&) = delete;

    // Succeeds when a server answers, after starting one with
    // `adb start-server` when none did.
    bool Load() override;
    // Stops and joins the tracking thread.
    void Unload() override;
    // kNoPhone too when the server does not answer. Forwarding goes to the
    // ready device this call found.
    int AppInitialize(DeviceStateCallback callback, int nReserved, bool bReserved) override;
    bool RedirectTcpPort(int nLocalPort, int nPhonePort) override;
    // adb forwards TCP only.
    bool RedirectUdpPort(int nLocalPort, int nPhonePort) override;
    bool RemovePort(int nPort) override;
    // Every forwarding the server holds.
    bool RemoveAll() override;
    bool GetDeviceName(std::string& strSerial, std::string& strModel) override;

private:
    // Sends the service on a new connection and expects nOkays "OKAY"s, then,
    // when pMessage is given, one message.
    bool Request(const std::string& strService, int nOkays, std::string* pMessage);
    bool QueryDevices(std::string& strList);
    void TrackLoop();
    // Reads device lists until the connection ends; true when any arrived.
    bool Track(IAdbConnection& connection);
    void Report(int nStatus);

    std::unique_ptr<IAdbServer> m_pServer;
    std::atomic<bool> m_bLoaded{false};

    std::mutex m_mutex; // guards the members below
    std::condition_variable m_wake;
    std::string m_strSerial;
    DeviceStateCallback m_callback;
    bool m_bTracking = false;
    // The tracker's open connection, so Unload can interrupt its read.
    IAdbConnection* m_pTrackConnection = nullptr;
    std::thread m_tracker;
};
