// The video channel's framing fed in pieces, and the channel on loopback:
// a refused connection, the end of a stream, a corrupt length.

#include "phone/AndroidVideoChannel.h"
#include "phone/VideoPacketFramer.h"
#include "tests/phone/PhonePeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

// Header (junk except the length at 16), payload, trailer (junk).
Bytes VideoPacket(const Bytes& payload, int64_t nLength = -1) {
    const auto nField = static_cast<uint32_t>(nLength < 0 ? payload.size() : nLength);
    Bytes packet(32, 0xA5);
    for (int i = 0; i < 4; ++i) {
        packet[16 + i] = static_cast<unsigned char>(nField >> (8 * i));
    }
    return Concat({packet, payload, Hex("DE AD BE EF")});
}

// Payloads handed over by a channel's receive thread.
struct Payloads : Signal {
    std::vector<Bytes> received;

    AndroidVideoChannel::PayloadCallback Callback() {
        return [this](unsigned char* pData, unsigned int nLength) {
            Change([&] { received.emplace_back(pData, pData + nLength); });
        };
    }
};

} // namespace

TEST(VideoPacketFramerTest, DeliversEachPayloadOnceWhateverThePieces) {
    Bytes large(100);
    std::iota(large.begin(), large.end(), 7);
    const std::vector<Bytes> payloads = {Hex("61 62 63 64 65"), {}, Hex("78 79 7A"), large};
    Bytes stream;
    for (const Bytes& payload : payloads) {
        stream = Concat({stream, VideoPacket(payload)});
    }
    // The most one read gives: a byte, three, as much as wanted.
    for (const size_t nMost : {size_t{1}, size_t{3}, stream.size()}) {
        SCOPED_TRACE(nMost);
        VideoPacketFramer framer(100); // the largest payload is exactly the limit
        std::vector<Bytes> received;
        std::vector<size_t> capacities;
        size_t nOffset = 0;
        while (nOffset < stream.size()) {
            const size_t nPiece =
                std::min({nMost, stream.size() - nOffset, static_cast<size_t>(framer.SpaceSize())});
            std::memcpy(framer.Space(), stream.data() + nOffset, nPiece);
            ASSERT_TRUE(
                framer.Commit(static_cast<int>(nPiece), [&](unsigned char* p, unsigned int n) {
                    received.emplace_back(p, p + n);
                    capacities.push_back(framer.BodyCapacity());
                }));
            nOffset += nPiece;
        }
        EXPECT_EQ(received, payloads);
        // A smaller packet reuses the buffer, a larger one replaces it.
        EXPECT_EQ(capacities, (std::vector<size_t>{9, 9, 9, 104}));
        // One byte over the limit: corrupt, and nothing more is taken.
        std::memcpy(framer.Space(), VideoPacket(Bytes(101)).data(), 32);
        EXPECT_FALSE(framer.Commit(32, nullptr));
        EXPECT_EQ(framer.SpaceSize(), 0);
    }
}

TEST(VideoChannelTest, ConnectsAnewAfterAnEndOfStreamOrACorruptLength) {
    const uint16_t nFreePort = FreePort();
    PhonePeer peer;
    Payloads payloads;
    AndroidVideoChannel channel;
    EXPECT_FALSE(channel.Connect("127.0.0.1", nFreePort, payloads.Callback()));
    ASSERT_TRUE(channel.Connect("127.0.0.1", peer.Port(), payloads.Callback()));
    EXPECT_FALSE(channel.Connect("127.0.0.1", peer.Port(), payloads.Callback()));
    ASSERT_TRUE(peer.Accept());

    // A whole packet and the start of the next, then the phone hangs up:
    // the start must not be continued on the next connection.
    const Bytes first = Hex("00 00 00 01 67 42");
    const Bytes cut = VideoPacket(Hex("00 00 00 01 65 88 84"));
    ASSERT_TRUE(peer.Send(Concat({VideoPacket(first), Bytes(cut.begin(), cut.begin() + 35)})));
    ASSERT_TRUE(payloads.Wait([&] { return payloads.received.size() >= 1; }));
    peer.HangUp();
    ASSERT_TRUE(peer.Accept());

    // A length no picture has: the connection is dropped, not the memory
    // spent.
    ASSERT_TRUE(peer.Send(VideoPacket(Hex("00 00 00 01"), 0xFFFFFFF0u)));
    ASSERT_TRUE(peer.Accept());
    const Bytes last = Hex("00 00 00 01 41 9A");
    ASSERT_TRUE(peer.Send(VideoPacket(last)));
    ASSERT_TRUE(payloads.Wait([&] { return payloads.received.size() >= 2; }));
    channel.Disconnect();
    EXPECT_EQ(payloads.received, (std::vector<Bytes>{first, last}));
    EXPECT_EQ(channel.Reconnects(), 2);
    EXPECT_FALSE(channel.IsConnected());
}
