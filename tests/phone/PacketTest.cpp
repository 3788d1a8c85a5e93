// The packet primitives without sockets: writer and reader bounds, and the
// splitter fed in awkward pieces.

#include "phone/PacketReader.h"
#include "phone/PacketSplitter.h"
#include "phone/PacketWriter.h"
#include "phone/PhonePacket.h"
#include "tests/phone/PhonePeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

TEST(PacketWriterTest, WriterAndReaderStayInsideTheirBuffers) {
    Bytes buffer(12, 0xEE);
    PacketWriter writer(buffer.data(), 10);
    writer.WriteInt32(0x04030201);
    writer.WriteInt16(0x12345);
    writer.WriteInt32(-2); // exactly the 4 bytes left
    EXPECT_FALSE(writer.Overflowed());
    writer.WriteInt16(1);
    EXPECT_TRUE(writer.Overflowed());
    EXPECT_EQ(writer.Extent(), 10);
    EXPECT_EQ(buffer, Hex("01 02 03 04 45 23 FE FF FF FF EE EE"));
    // A string is refused whole: no count without its bytes.
    PacketWriter strings(buffer.data(), 12);
    strings.WriteString("abcd");
    strings.WriteString("e");
    EXPECT_TRUE(strings.Overflowed());
    EXPECT_EQ(strings.Extent(), 8);

    const Bytes bytes = Hex("01 00 00 00 FF FF FF 7F 09");
    PacketReader reader(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(reader.ReadInt32(), 1);
    EXPECT_EQ(reader.ReadInt32(), 0x7FFFFFFF);
    EXPECT_FALSE(reader.Failed());
    EXPECT_EQ(reader.ReadInt32(), 0); // one byte left
    EXPECT_TRUE(reader.Failed());
}

// One stream holding, in order: a Roster packet, a KeepAlive-typed packet
// of the smallest length (12), garbage, a head with a length one past the
// largest (2050), a head with a length one below the smallest, a second
// Roster packet and one of the largest length (2049), which fits the buffer
// only once all before it is gone.
TEST(PacketSplitterTest, CutsAStreamFedInAwkwardPieces) {
    const Bytes first = CommandPacket(PhonePacket::kRoster, {3, 7, 1, 0});
    const Bytes keepAlive = CommandPacket(PhonePacket::kKeepAlive, {});
    const Bytes second = CommandPacket(PhonePacket::kRoster, {1, 7, 1, 0, 0});
    const Bytes largest = Concat({Hex("37 03 FA 7F 01 08 00 00"), Bytes(2041, 0)}); // 2049 bytes
    const Bytes stream =
        Concat({first, keepAlive, Hex("00 11 22 33 44"), Hex("37 03 FA 7F 02 08 00 00 01 02 03"),
                Hex("37 03 FA 7F 0B 00 00 00 01 02 03"), second, largest});

    // Sizes of successive reads, the last repeated.
    const std::vector<size_t> readSizes[] = {
        {stream.size()},       // all that fits at once
        {1},                   // byte by byte
        {8, 1, stream.size()}, // exactly a header, then the rest
        {first.size() + 9},    // a packet and a piece per read
    };
    for (const std::vector<size_t>& pieces : readSizes) {
        SCOPED_TRACE(testing::PrintToString(pieces));
        PacketSplitter splitter;
        std::vector<Bytes> packets;
        size_t nOffset = 0;
        size_t nRead = 0;
        while (nOffset < stream.size()) {
            const size_t nPiece =
                std::min({pieces[std::min(nRead++, pieces.size() - 1)], stream.size() - nOffset,
                          static_cast<size_t>(splitter.SpaceSize())});
            ASSERT_GT(nPiece, 0u);
            std::memcpy(splitter.Space(), stream.data() + nOffset, nPiece);
            splitter.Commit(static_cast<int>(nPiece),
                            [&](const unsigned char* p, int n) { packets.emplace_back(p, p + n); });
            nOffset += nPiece;
            if (nOffset == 8) {
                // Head and length only: held, not yet taken.
                EXPECT_TRUE(packets.empty());
                EXPECT_EQ(splitter.Held(), 8);
            }
        }
        EXPECT_EQ(packets, (std::vector<Bytes>{first, keepAlive, second, largest}));
        EXPECT_EQ(splitter.Held(), 0);
        EXPECT_EQ(splitter.SkippedBytes(), 5 + 11 + 11);
    }
}
