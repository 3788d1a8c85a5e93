// The adb server's replies as AdbDelegates reads them: a status, then
// length-prefixed device lists, arriving in pieces whose sizes the input's
// first byte chooses.

#include "phone/AdbProtocol.h"
#include "phone/AdbReplyReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

class PieceConnection : public IAdbConnection {
public:
    PieceConnection(const uint8_t* pData, size_t nSize, size_t nPiece)
        : m_pData(pData), m_nSize(nSize), m_nPiece(nPiece) {}
    bool SendAll(const char*, size_t) override { return true; }
    long Receive(char* pData, size_t nSize) override {
        const size_t n = std::min({nSize, m_nPiece, m_nSize - m_nUsed});
        std::memcpy(pData, m_pData + m_nUsed, n);
        m_nUsed += n;
        return static_cast<long>(n);
    }
    void Interrupt() override {}

private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nPiece;
    size_t m_nUsed = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 1) {
        return 0;
    }
    PieceConnection connection(pData + 1, nSize - 1, size_t(pData[0] % 16) + 1);
    AdbReplyReader reader(connection);
    std::string strText;
    if (!reader.ReadStatus(strText)) {
        return 0;
    }
    while (reader.ReadMessage(strText)) {
        const std::vector<AdbDevice> devices = AdbProtocol::ParseDeviceList(strText);
        const int nStatus = AdbProtocol::DeviceStatus(devices);
        const AdbDevice* pReady = AdbProtocol::FindReady(devices);
        if ((nStatus == 0) != (pReady != nullptr)) {
            __builtin_trap();
        }
    }
    return 0;
}
