#pragma once

#include "phone/IAdbConnection.h"

#include <string>

// Reads the adb server's replies from one connection, whatever pieces they
// arrive in.
class AdbReplyReader {
public:
    explicit AdbReplyReader(IAdbConnection& connection);

    // True for "OKAY". For "FAIL" false, with the server's reason in
    // strReason; for anything else, or a connection that ends, false with
    // strReason empty.
    bool ReadStatus(std::string& strReason);
    // A 4-hex-digit length and that many bytes.
    bool ReadMessage(std::string& strMessage);

private:
    // Holds at least nCount unread bytes; false when the connection ends first.
    bool Fill(size_t nCount);
    std::string Take(size_t nCount);

    IAdbConnection& m_connection;
    std::string m_buffer;
    size_t m_nRead = 0;
};
