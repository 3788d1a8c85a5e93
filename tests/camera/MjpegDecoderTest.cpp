#include "camera/MjpegDecoder.h"
#include "tests/camera/MjpegTestFrames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace {

// The largest difference of a colour channel and the mean difference over
// all of them; alpha must be 255 everywhere.
struct Difference {
    int nMax = 0;
    double dMean = 0;
    bool bOpaque = true;
};

Difference Compare(const BgraPicture& expected, const uint8_t* pPicture) {
    Difference difference;
    long long nSum = 0;
    for (size_t i = 0; i < expected.pixels.size(); ++i) {
        if (i % 4 == 3) {
            difference.bOpaque = difference.bOpaque && pPicture[i] == 255;
            continue;
        }
        const int nDifference = std::abs(expected.pixels[i] - pPicture[i]);
        difference.nMax = std::max(difference.nMax, nDifference);
        nSum += nDifference;
    }
    difference.dMean = static_cast<double>(nSum) / (expected.pixels.size() * 3 / 4);
    return difference;
}

} // namespace

// Both chroma layouts of UVC cameras, with and without Huffman tables, at
// sizes that are no multiple of the 16-pixel blocks and that change in one
// dimension at a time, all through one decoder.
TEST(MjpegDecoder, DecodesAsTheReferenceDecoderDoes) {
    struct Case {
        const char* szName;
        int nWidth;
        int nHeight;
        AVPixelFormat format;
        bool bWithoutTables;
    };
    const Case cases[] = {
        {"4:2:2", 98, 58, AV_PIX_FMT_YUVJ422P, false},
        {"4:2:2 without Huffman tables, lower", 98, 40, AV_PIX_FMT_YUVJ422P, true},
        {"4:2:0, narrower", 64, 40, AV_PIX_FMT_YUVJ420P, false},
        {"4:2:0 without Huffman tables, larger", 160, 122, AV_PIX_FMT_YUVJ420P, true},
    };
    MjpegDecoder decoder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        const BgraPicture source = MakeQuadrants(c.nWidth, c.nHeight);
        const std::vector<uint8_t> frame = EncodeMjpeg(source, c.format);
        const std::vector<uint8_t> input = c.bWithoutTables ? WithoutHuffmanTables(frame) : frame;
        ASSERT_FALSE(frame.empty());
        ASSERT_EQ(c.bWithoutTables, input.size() < frame.size());
        const BgraPicture reference = ReferenceDecode(frame);
        ASSERT_EQ(reference.nWidth, c.nWidth);

        uint8_t* pPicture = nullptr;
        int nSize = 0;
        int nWidth = 0;
        int nHeight = 0;
        ASSERT_TRUE(decoder.Decode(input.data(), input.size(), pPicture, nSize, nWidth, nHeight));
        ASSERT_EQ(nWidth, c.nWidth);
        ASSERT_EQ(nHeight, c.nHeight);
        ASSERT_GE(nSize, nWidth * nHeight * 4);
        // The decoders differ only in rounding and in how they fill in the
        // halved chroma at the colour edges.
        const Difference difference = Compare(reference, pPicture);
        EXPECT_TRUE(difference.bOpaque);
        EXPECT_LT(difference.dMean, 2.0);
        EXPECT_LE(difference.nMax, 48);
        // Away from the edges both must give the colours of the source.
        for (const auto& point : {std::make_pair(1, 1), std::make_pair(3, 1), std::make_pair(1, 3),
                                  std::make_pair(3, 3)}) {
            const int nX = c.nWidth * point.first / 4;
            const int nY = c.nHeight * point.second / 4;
            const uint8_t* pPixel = pPicture + (nY * nWidth + nX) * 4;
            for (int nChannel = 0; nChannel < 3; ++nChannel) {
                EXPECT_NEAR(pPixel[nChannel], source.At(nX, nY)[nChannel], 8)
                    << "at " << nX << "," << nY << " channel " << nChannel;
            }
        }
    }
}

// What cameras and cables do to frames: a damaged frame fails and the
// picture of the last good one stays as it was; padding a camera adds does
// no harm.
TEST(MjpegDecoder, RefusesDamagedFramesAndKeepsTheLastPicture) {
    using Bytes = std::vector<uint8_t>;
    const Bytes good = EncodeMjpeg(MakeQuadrants(98, 58), AV_PIX_FMT_YUVJ422P);
    ASSERT_GT(good.size(), 400u);
    struct Case {
        const char* szName;
        std::function<Bytes(Bytes)> damage;
        bool bDecodes;
    };
    const Case cases[] = {
        {"cut in half",
         [](Bytes b) {
             b.resize(b.size() / 2);
             return b;
         },
         false},
        {"end marker missing",
         [](Bytes b) {
             b.resize(b.size() - 2);
             return b;
         },
         false},
        {"scan cut short by an end marker",
         [](Bytes b) {
             b.insert(b.begin() + static_cast<long>(b.size() * 3 / 4), {0xFF, 0xD9});
             return b;
         },
         false},
        {"headers only",
         [](Bytes b) {
             b.resize(200);
             return b;
         },
         false},
        {"not a JPEG",
         [](Bytes b) {
             b.assign(b.size(), 0x7F);
             return b;
         },
         false},
        {"empty", [](Bytes) { return Bytes(); }, false},
        {"zero padding before the end marker",
         [](Bytes b) {
             b.insert(b.end() - 2, 5, 0x00);
             return b;
         },
         true},
        {"zero padding after the end marker",
         [](Bytes b) {
             b.resize(b.size() + 4096);
             return b;
         },
         true},
    };
    MjpegDecoder decoder;
    uint8_t* pFirst = nullptr;
    int nSize = 0;
    int nWidth = 0;
    int nHeight = 0;
    ASSERT_TRUE(decoder.Decode(good.data(), good.size(), pFirst, nSize, nWidth, nHeight));
    const Bytes shown(pFirst, pFirst + nWidth * nHeight * 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        const Bytes input = c.damage(good);
        uint8_t* pPicture = pFirst;
        nSize = nWidth = nHeight = -1;
        const bool bDecoded =
            decoder.Decode(input.data(), input.size(), pPicture, nSize, nWidth, nHeight);
        EXPECT_EQ(bDecoded, c.bDecodes);
        if (bDecoded) {
            EXPECT_EQ(Bytes(pPicture, pPicture + nWidth * nHeight * 4), shown);
            pFirst = pPicture;
        } else {
            EXPECT_EQ(pPicture, nullptr);
            EXPECT_EQ(nSize + nWidth + nHeight, 0);
            EXPECT_TRUE(Bytes(pFirst, pFirst + shown.size()) == shown);
        }
    }
}
