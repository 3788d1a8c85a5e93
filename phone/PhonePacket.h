#pragma once

#include <cstdint>

// The framing of a command-channel packet: a head word (0x7FFA0000 OR the
// type), the total length, the payload fields and a tail word that is the
// bitwise NOT of the head. All integers little-endian, no padding.
namespace PhonePacket {

constexpr int kHello = 0x0438;
constexpr int kRoster = 0x0337;
constexpr int kControl = 0x0334;
constexpr int kKeepAlive = 0x0323;

// Roster sub-commands.
constexpr int kRosterState = 1;
constexpr int kRosterIdentity = 2;
constexpr int kRosterJoin = 3;
constexpr int kRosterReport = 4;

// Head, length and tail: a packet is never shorter.
constexpr int kMinLength = 12;
// The most a received packet can be (the receive buffer's size).
constexpr int kMaxReceivedLength = 2049;

constexpr uint32_t kHeadMark = 0x7FFA0000u;

constexpr int32_t PacketHead(int nType) {
    return static_cast<int32_t>(kHeadMark | static_cast<uint32_t>(nType & 0xFFFF));
}
constexpr int32_t PacketTail(int nType) {
    return static_cast<int32_t>(~static_cast<uint32_t>(PacketHead(nType)));
}
// The loose test a received head has to pass (a mask, not the whole upper half).
constexpr bool IsHead(int32_t nHead) {
    return (static_cast<uint32_t>(nHead) & kHeadMark) == kHeadMark;
}

inline int32_t LoadInt32(const unsigned char* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

} // namespace PhonePacket
