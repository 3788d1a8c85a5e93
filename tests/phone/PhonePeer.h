#pragma once

#include "phone/PacketSplitter.h"
#include "phone/TcpSocket.h"
#include "tools/phone-sim/TcpListener.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// The phone's end of one channel in a test: listens on a free loopback
// port, takes the PC's connection and reads or writes whole packets.
class PhonePeer {
public:
    PhonePeer();
    uint16_t Port() const { return m_listener.Port(); }
    // Takes the next connection (a reconnecting PC replaces the old one).
    bool Accept(int nTimeoutMs = 5000);
    bool Send(const Bytes& bytes);
    // The first packet of nType in the order received, reading until one
    // arrives; packets of other types stay queued for their own turn.
    // False on time-out or end of stream.
    bool NextPacket(int nType, Bytes& packet, int nTimeoutMs = 5000);
    // Received and not yet taken.
    const std::vector<Bytes>& Queued() const { return m_ready; }
    void HangUp() { m_socket.Close(); }
    void StopListening() { m_listener.Close(); }

private:
    TcpListener m_listener;
    TcpSocket m_socket;
    PacketSplitter m_splitter;
    std::vector<Bytes> m_ready;
};

// A loopback port that nobody listens on (it was free a moment ago).
uint16_t FreePort();
// A command packet of nType whose payload is the given int32 fields.
Bytes CommandPacket(int nType, const std::vector<int32_t>& fields);
Bytes Concat(std::initializer_list<Bytes> parts);
// "37 03 FA 7F ..." as bytes.
Bytes Hex(const std::string& strHex);
// The int32 at a byte offset.
int32_t Int32At(const Bytes& bytes, size_t nOffset);
