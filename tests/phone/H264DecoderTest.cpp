// The H.264 decoder on streams of the simulator's encoder, and the reader
// of the sequence parameter set on real and hand-made ones.

#include "phone/H264Decoder.h"
#include "tests/phone/PhonePeer.h"
#include "tests/phone/PictureChecks.h"
#include "tools/phone-sim/TestPatternEncoder.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::vector<Bytes> Encode(int nWidth, int nHeight, int nFrames) {
    TestPatternEncoder encoder;
    TestPatternEncoder::Settings settings;
    settings.nWidth = nWidth;
    settings.nHeight = nHeight;
    settings.nFrames = nFrames;
    std::vector<Bytes> units;
    EXPECT_TRUE(encoder.Encode(settings, units)) << encoder.Error();
    return units;
}

// The first NAL unit of a payload, without its 4-byte start code.
Bytes FirstNal(const Bytes& payload) {
    for (size_t i = 4; i + 3 < payload.size(); ++i) {
        if (payload[i] == 0 && payload[i + 1] == 0 && payload[i + 2] == 1) {
            const size_t nEnd = payload[i - 1] == 0 ? i - 1 : i;
            return Bytes(payload.begin() + 4, payload.begin() + static_cast<long>(nEnd));
        }
    }
    return Bytes(payload.begin() + 4, payload.end());
}

// Writes an SPS bit by bit.
class BitWriter {
public:
    BitWriter& Bits(uint32_t nValue, int nCount) {
        for (int i = nCount - 1; i >= 0; --i) {
            if (m_nBit % 8 == 0) {
                m_bytes.push_back(0);
            }
            m_bytes.back() |= static_cast<unsigned char>(((nValue >> i) & 1u) << (7 - m_nBit % 8));
            ++m_nBit;
        }
        return *this;
    }
    BitWriter& Ue(uint32_t nValue) {
        int nLength = 0;
        while ((nValue + 1) >> (nLength + 1) != 0) {
            ++nLength;
        }
        Bits(0, nLength);
        return Bits(nValue + 1, nLength + 1);
    }
    BitWriter& Se(int32_t nValue) {
        return Ue(nValue > 0 ? static_cast<uint32_t>(2 * nValue - 1)
                             : static_cast<uint32_t>(-2 * nValue));
    }
    Bytes Done() { return Bits(1, 1).m_bytes; } // stop bit

private:
    Bytes m_bytes;
    int m_nBit = 0;
};

} // namespace

TEST(ParseSpsSizeTest, ReadsTheSizeInWholeMacroblocks) {
    const Bytes sps1080 = FirstNal(Encode(1920, 1080, 1)[0]);
    const Bytes sps720 = FirstNal(Encode(1280, 720, 1)[0]);
    // High profile with scaling matrices: the first list is present (and
    // ends at once), the other seven are not.
    const Bytes scaled = BitWriter()
                             .Bits(0x67, 8)
                             .Bits(100, 8)
                             .Bits(0, 8)
                             .Bits(40, 8)
                             .Ue(0)
                             .Ue(1)
                             .Ue(0)
                             .Ue(0)
                             .Bits(0, 1)
                             .Bits(1, 1)
                             .Bits(1, 1)
                             .Se(-8)
                             .Bits(0, 7)
                             .Ue(0)
                             .Ue(0)
                             .Ue(0)
                             .Ue(1)
                             .Bits(0, 1)
                             .Ue(119)
                             .Ue(67)
                             .Done();
    // Baseline, picture order type 1 with a cycle of two.
    const Bytes cycle = BitWriter()
                            .Bits(0x67, 8)
                            .Bits(66, 8)
                            .Bits(0, 8)
                            .Bits(30, 8)
                            .Ue(0)
                            .Ue(0)
                            .Ue(1)
                            .Bits(0, 1)
                            .Se(-1)
                            .Se(2)
                            .Ue(2)
                            .Se(3)
                            .Se(-3)
                            .Ue(1)
                            .Bits(0, 1)
                            .Ue(39)
                            .Ue(29)
                            .Done();
    struct Case {
        const char* szName;
        Bytes nal;
        bool bResult;
        int nWidth, nHeight;
    };
    const Case cases[] = {
        {"1080p from the encoder", sps1080, true, 1920, 1088},
        {"720p from the encoder", sps720, true, 1280, 720},
        {"scaling matrices", scaled, true, 1920, 1088},
        {"picture order cycle", cycle, true, 640, 480},
        {"IDR slice", Hex("65 88 84 00 33"), false, 0, 0},
        {"slice", Hex("41 9A 02 04"), false, 0, 0},
        {"empty", Bytes(), false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        int nWidth = 0;
        int nHeight = 0;
        EXPECT_EQ(ParseSpsSize(c.nal.data(), static_cast<int>(c.nal.size()), nWidth, nHeight),
                  c.bResult);
        EXPECT_EQ(nWidth, c.nWidth);
        EXPECT_EQ(nHeight, c.nHeight);
    }

    // Cut short anywhere: false until the size fields are whole, never a
    // different size, never a read past the end (each cut is a buffer of
    // its own, exactly that long, for the address sanitizer).
    for (const Bytes& sps : {sps1080, scaled, cycle}) {
        bool bWhole = false;
        for (size_t nLength = 1; nLength <= sps.size(); ++nLength) {
            const Bytes cut(sps.begin(), sps.begin() + static_cast<long>(nLength));
            int nWidth = 0;
            int nHeight = 0;
            const bool bResult =
                ParseSpsSize(cut.data(), static_cast<int>(nLength), nWidth, nHeight);
            EXPECT_TRUE(bResult || !bWhole) << nLength;
            bWhole = bResult;
            if (bResult) {
                EXPECT_EQ(nWidth, sps == cycle ? 640 : 1920);
            }
        }
        EXPECT_TRUE(bWhole);
    }
}

TEST(H264DecoderTest, ShowsEachPayloadAtOnceAndFollowsASizeSwitch) {
    const std::vector<Bytes> small = Encode(1280, 720, 2);
    const std::vector<Bytes> large = Encode(1920, 1080, 2);
    const std::vector<Bytes> wide = Encode(1920, 544, 1);
    H264Decoder decoder;
    ASSERT_TRUE(decoder.Open());
    // What the caller believes before the first picture: the SPS's size.
    int nWidth = 1920;
    int nHeight = 1088;
    const auto decode = [&](const Bytes& payload) {
        return decoder.Decode(payload.data(), static_cast<int>(payload.size()), nWidth, nHeight);
    };
    for (const Bytes& payload : small) {
        // A picture for every payload as it arrives, none held back.
        EXPECT_EQ(decode(payload), 1);
        EXPECT_EQ(nWidth, 1280);
        EXPECT_EQ(nHeight, 720);
        ASSERT_EQ(decoder.PictureSize(), 1280 * 720 * 4);
        ExpectTestPattern(decoder.Picture(), nWidth, nHeight);
    }
    // Both sides grow, then only the height shrinks.
    const struct {
        const Bytes& payload;
        int nHeight;
    } switches[] = {{large[0], 1080}, {wide[0], 544}};
    for (const auto& step : switches) {
        EXPECT_EQ(decode(step.payload), 1);
        EXPECT_EQ(nWidth, 1920);
        EXPECT_EQ(nHeight, step.nHeight);
        ASSERT_EQ(decoder.PictureSize(), 1920 * step.nHeight * 4);
        ExpectTestPattern(decoder.Picture(), nWidth, nHeight);
    }

    // Two access units in one payload: two pictures, the second kept.
    ASSERT_TRUE(decoder.Open());
    EXPECT_EQ(decode(Concat({small[0], small[1]})), 2);
    EXPECT_EQ(nWidth, 1280);
}
