#pragma once

#include "phone/IAdbServer.h"

#include <string>

// The adb server of this machine: the socket ADB_SERVER_SOCKET names (as the
// adb tool reads it, "tcp:<host>:<port>" or "tcp:<port>"), else
// 127.0.0.1:5037; started with the `adb` program found on PATH.
class AdbServer : public IAdbServer {
public:
    AdbServer();

    std::unique_ptr<IAdbConnection> Connect(int nReceiveTimeoutMs) override;
    bool StartServer() override;

    // Reads a socket description in the form ADB_SERVER_SOCKET takes; false
    // for other forms (local sockets among them) and ports out of range.
    static bool ParseSocketSpec(const std::string& strSpec, std::string& strHost, int& nPort);
    // The full path of the adb program on PATH, or empty.
    static std::string FindAdbProgram();

private:
    bool m_bValid = false;
    std::string m_strHost = "127.0.0.1";
    int m_nPort = 5037;
};
