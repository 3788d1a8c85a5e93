#include "camera/MjpegDecoder.h"
#include "tests/camera/MjpegTestFrames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using Bytes = std::vector<uint8_t>;

// Both chroma layouts of UVC cameras, with and without Huffman tables, at
// sizes that are no multiple of the 16-pixel blocks and that change in one
// dimension at a time, all through one decoder.
TEST(MjpegDecoder, DecodesAsTheReferenceDecoderDoes) {
    const struct {
        const char* szName;
        int nWidth, nHeight;
        AVPixelFormat format;
        bool bWithoutTables;
    } cases[] = {
        {"4:2:2", 98, 58, AV_PIX_FMT_YUVJ422P, false},
        {"4:2:2 without Huffman tables, lower", 98, 40, AV_PIX_FMT_YUVJ422P, true},
        {"4:2:0, narrower", 64, 40, AV_PIX_FMT_YUVJ420P, false},
        {"4:2:0 without Huffman tables, larger", 160, 122, AV_PIX_FMT_YUVJ420P, true},
    };
    MjpegDecoder decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        const BgraPicture source = MakeQuadrants(c.nWidth, c.nHeight);
        const Bytes frame = EncodeMjpeg(source, c.format);
        const Bytes input = c.bWithoutTables ? WithoutHuffmanTables(frame) : frame;
        ASSERT_EQ(c.bWithoutTables, input.size() < frame.size());
        const BgraPicture reference = ReferenceDecode(frame);
        ASSERT_EQ(reference.nWidth * reference.nHeight, c.nWidth * c.nHeight);

        uint8_t* pPicture = nullptr;
        int nSize = 0, nWidth = 0, nHeight = 0;
        ASSERT_TRUE(decoder.Decode(input.data(), input.size(), pPicture, nSize, nWidth, nHeight));
        ASSERT_EQ(nWidth, c.nWidth);
        ASSERT_EQ(nHeight, c.nHeight);
        ASSERT_GE(nSize, nWidth * nHeight * 4);
        // The decoders differ in rounding and, at colour edges, in how they
        // fill in the halved chroma; away from the edges both must give the
        // source's colours.
        int nMax = 0;
        long long nSum = 0;
        for (size_t i = 0; i < reference.pixels.size(); ++i) {
            const int nDifference = std::abs(reference.pixels[i] - pPicture[i]);
            nMax = std::max(nMax, nDifference);
            nSum += nDifference; // alpha: 255 in both
        }
        EXPECT_LE(nMax, 48);
        EXPECT_LT(nSum, 1.5 * reference.pixels.size());
        for (int nCorner = 0; nCorner < 4; ++nCorner) {
            const int nX = c.nWidth * (1 + nCorner % 2 * 2) / 4;
            const int nY = c.nHeight * (1 + nCorner / 2 * 2) / 4;
            for (int nChannel = 0; nChannel < 3; ++nChannel) {
                EXPECT_NEAR(pPicture[(nY * nWidth + nX) * 4 + nChannel],
                            source.At(nX, nY)[nChannel], 8)
                    << "at " << nX << "," << nY << " channel " << nChannel;
            }
        }
    }
}

// A damaged frame fails and the last good picture stays as it was, also
// after a failure that upsets the library; padding a camera adds is fine.
TEST(MjpegDecoder, RefusesDamagedFramesAndKeepsTheLastPicture) {
    const Bytes good = EncodeMjpeg(MakeQuadrants(98, 58), AV_PIX_FMT_YUVJ422P);
    const struct {
        const char* szName;
        std::function<void(Bytes&)> damage;
        bool bDecodes;
    } cases[] = {
        {"cut in half", [](Bytes& b) { b.resize(b.size() / 2); }, false},
        {"end marker missing", [](Bytes& b) { b.resize(b.size() - 2); }, false},
        {"scan cut short by an end marker",
         [](Bytes& b) {
             b.insert(b.begin() + static_cast<long>(b.size() * 3 / 4), {0xFF, 0xD9});
         },
         false},
        {"headers only", [](Bytes& b) { b.resize(200); }, false},
        {"not a JPEG", [](Bytes& b) { b.assign(b.size(), 0x7F); }, false},
        {"empty", [](Bytes& b) { b.clear(); }, false},
        {"zero padding before the end marker", [](Bytes& b) { b.insert(b.end() - 2, 5, 0); }, true},
        {"zero padding after the end marker", [](Bytes& b) { b.resize(b.size() + 4096); }, true},
    };
    MjpegDecoder decoder;
    uint8_t* pShown = nullptr;
    int nSize = 0, nWidth = 0, nHeight = 0;
    ASSERT_TRUE(decoder.Decode(good.data(), good.size(), pShown, nSize, nWidth, nHeight));
    const Bytes shown(pShown, pShown + nWidth * nHeight * 4);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        Bytes input = good;
        c.damage(input);
        uint8_t* pPicture = pShown;
        nSize = nWidth = nHeight = -1;
        ASSERT_EQ(decoder.Decode(input.data(), input.size(), pPicture, nSize, nWidth, nHeight),
                  c.bDecodes);
        if (c.bDecodes) {
            pShown = pPicture;
        } else {
            EXPECT_TRUE(pPicture == nullptr && nSize == 0 && nWidth == 0 && nHeight == 0);
        }
        EXPECT_TRUE(Bytes(pShown, pShown + shown.size()) == shown);
    }
}
