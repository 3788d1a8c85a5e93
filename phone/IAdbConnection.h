#pragma once

#include <cstddef>

// One connection to the adb server's socket.
class IAdbConnection {
public:
    virtual ~IAdbConnection() = default;

    // False when not all bytes could be sent.
    virtual bool SendAll(const char* pData, size_t nSize) = 0;
    // Up to nSize bytes; 0 when the server closed the connection, below 0 on
    // an error, a timeout or after Interrupt.
    virtual long Receive(char* pData, size_t nSize) = 0;
    // Wakes a Receive blocked in another thread; callable from any thread
    // while the connection exists.
    virtual void Interrupt() = 0;
};
