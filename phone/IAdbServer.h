#pragma once

#include "phone/IAdbConnection.h"

#include <memory>

// Where the adb server is reached, and how it is started.
class IAdbServer {
public:
    virtual ~IAdbServer() = default;

    // Null when nothing answers. A Receive on the connection gives up after
    // nReceiveTimeoutMs milliseconds without data; 0 waits for ever.
    virtual std::unique_ptr<IAdbConnection> Connect(int nReceiveTimeoutMs) = 0;
    // Runs `adb start-server`; false when there is no adb program or it failed.
    virtual bool StartServer() = 0;
};
