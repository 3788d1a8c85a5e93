#include "tests/phone/PhonePeer.h"

#include "phone/PacketWriter.h"
#include "phone/PhonePacket.h"
#include "tools/phone-sim/TestPatternEncoder.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdlib>
#include <sstream>

namespace {
// The encoder's statistics would bury the test output; set before any
// thread runs.
const int g_nQuietLibraries = [] {
    av_log_set_level(AV_LOG_ERROR);
    return 0;
}();
} // namespace

PhonePeer::PhonePeer() : m_splitter(4096) {
    m_listener.Listen(0);
}

bool PhonePeer::Accept(int nTimeoutMs) {
    const int nFd = m_listener.Accept(nTimeoutMs);
    if (nFd < 0) {
        return false;
    }
    m_socket.Close();
    m_splitter.Reset();
    m_ready.clear();
    return m_socket.Adopt(nFd);
}

bool PhonePeer::Send(const Bytes& bytes) {
    return m_socket.Send(bytes.data(), static_cast<int>(bytes.size())) ==
           static_cast<int>(bytes.size());
}

bool PhonePeer::NextPacket(int nType, Bytes& packet, int nTimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        for (auto it = m_ready.begin(); it != m_ready.end(); ++it) {
            if (((*it)[0] | (*it)[1] << 8) == nType) {
                packet = *it;
                m_ready.erase(it);
                return true;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !m_socket.WaitReadable(static_cast<unsigned int>(left.count()))) {
            return false;
        }
        const int nReceived = m_socket.Receive(m_splitter.Space(), m_splitter.SpaceSize());
        if (nReceived <= 0) {
            return false;
        }
        m_splitter.Commit(nReceived, [this](const unsigned char* pPacket, int nLength) {
            m_ready.emplace_back(pPacket, pPacket + nLength);
        });
    }
}

uint16_t FreePort() {
    TcpListener listener;
    return listener.Listen(0) ? listener.Port() : 0;
}

Bytes CommandPacket(int nType, const std::vector<int32_t>& fields) {
    Bytes packet(8 + 4 * fields.size() + 4);
    PacketWriter writer(packet.data(), static_cast<int>(packet.size()));
    writer.WriteInt32(PhonePacket::PacketHead(nType));
    writer.WriteInt32(static_cast<int32_t>(packet.size()));
    for (const int32_t nField : fields) {
        writer.WriteInt32(nField);
    }
    writer.WriteInt32(PhonePacket::PacketTail(nType));
    return packet;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes Hex(const std::string& strHex) {
    Bytes bytes;
    std::istringstream stream(strHex);
    for (std::string strByte; stream >> strByte;) {
        bytes.push_back(static_cast<unsigned char>(std::stoul(strByte, nullptr, 16)));
    }
    return bytes;
}

int32_t Int32At(const Bytes& bytes, size_t nOffset) {
    return nOffset + 4 <= bytes.size() ? PhonePacket::LoadInt32(bytes.data() + nOffset) : 0;
}

void ExpectTestPattern(const unsigned char* pPicture, int nWidth, int nHeight) {
    ASSERT_NE(pPicture, nullptr);
    const int y = nHeight / 4;
    for (int nBand = 0; nBand < 3; ++nBand) {
        const int x = nWidth * (2 * nBand + 1) / 6;
        const unsigned char* pPixel = pPicture + (static_cast<size_t>(y) * nWidth + x) * 4;
        const unsigned int nRgb = TestPatternEncoder::kBandColors[nBand];
        for (int c = 0; c < 4; ++c) {
            const int nExpected = c < 3 ? static_cast<int>((nRgb >> (8 * c)) & 0xFF) : 255;
            EXPECT_LE(std::abs(pPixel[c] - nExpected), 40)
                << "band " << nBand << ", byte " << c << " at " << x << "," << y;
        }
    }
}
