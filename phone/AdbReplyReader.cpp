#include "phone/AdbReplyReader.h"

#include "phone/AdbProtocol.h"

AdbReplyReader::AdbReplyReader(IAdbConnection& connection) : m_connection(connection) {}

bool AdbReplyReader::Fill(size_t nCount) {
    // A track-devices connection lives for the whole run: what was read is
    // dropped so the buffer never grows beyond one message.
    if (m_nRead > 0) {
        m_buffer.erase(0, m_nRead);
        m_nRead = 0;
    }
    char chunk[4096];
    while (m_buffer.size() - m_nRead < nCount) {
        const long n = m_connection.Receive(chunk, sizeof(chunk));
        if (n <= 0) {
            return false;
        }
        m_buffer.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

std::string AdbReplyReader::Take(size_t nCount) {
    std::string strTaken = m_buffer.substr(m_nRead, nCount);
    m_nRead += nCount;
    return strTaken;
}

bool AdbReplyReader::ReadStatus(std::string& strReason) {
    strReason.clear();
    if (!Fill(4)) {
        return false;
    }
    const std::string strStatus = Take(4);
    if (strStatus == "OKAY") {
        return true;
    }
    if (strStatus == "FAIL" && !ReadMessage(strReason)) {
        strReason.clear();
    }
    return false;
}

bool AdbReplyReader::ReadMessage(std::string& strMessage) {
    size_t nLength = 0;
    if (!Fill(4) || !AdbProtocol::ParseHexLength(m_buffer.data() + m_nRead, nLength)) {
        return false;
    }
    m_nRead += 4;
    if (!Fill(nLength)) {
        return false;
    }
    strMessage = Take(nLength);
    return true;
}
