// The H.264 decoder on streams of the simulator's encoder, and the reader
// of the sequence parameter set on real and hand-made ones.

#include "phone/H264Decoder.h"
#include "tests/phone/PhonePeer.h"
#include "tools/phone-sim/TestPatternEncoder.h"

#include <gtest/gtest.h>

namespace {

std::vector<Bytes> Encode(int nWidth, int nHeight, int nFrames) {
    TestPatternEncoder encoder;
    std::vector<Bytes> units;
    EXPECT_TRUE(encoder.Encode({nWidth, nHeight, nFrames}, units)) << encoder.Error();
    return units;
}

} // namespace

TEST(ParseSpsSizeTest, ReadsTheSizeInWholeMacroblocks) {
    struct Case {
        Bytes nal;
        int nWidth, nHeight; // 0 x 0: no size to read
    };
    const Case cases[] = {
        // As libx264 writes it for 1920 x 1080 (High profile).
        {Hex("67 64 00 28 AC B4 03 C0 11 3F 2C 20 00 00 03 00 20 00 00 07 81 E3 06 54"), 1920,
         1088},
        // High profile with scaling matrices: the first list is present (its
        // first delta -8 ends it), the other seven are not; then 120 x 68
        // macroblocks.
        {Hex("67 64 00 28 AD 84 40 74 03 C0 11 20"), 1920, 1088},
        // Baseline, picture order type 1 with a cycle of two; 40 x 30 macroblocks.
        {Hex("67 42 00 1E D1 91 98 E8 0A 03 D0"), 640, 480},
        // Baseline, 1024 x 1 macroblocks: the widest there can be; then one more.
        {Hex("67 42 00 1E DA 00 10 03"), 16384, 16},
        {Hex("67 42 00 1E DA 00 10 07"), 0, 0},
        {Hex("65 88 84 00 33"), 0, 0}, // an IDR slice, not a parameter set
    };
    // Cut short anywhere: false until the size fields are whole, never a
    // different size, never a read past the end (each cut is a buffer of
    // its own, exactly that long, for the address sanitizer).
    for (const Case& c : cases) {
        bool bWhole = false;
        for (size_t nLength = 0; nLength <= c.nal.size(); ++nLength) {
            const Bytes cut(c.nal.begin(), c.nal.begin() + static_cast<long>(nLength));
            int nWidth = 0, nHeight = 0;
            const bool bResult =
                ParseSpsSize(cut.data(), static_cast<int>(nLength), nWidth, nHeight);
            EXPECT_TRUE(bResult || !bWhole) << "case " << &c - cases << ", " << nLength << " bytes";
            bWhole = bResult;
            EXPECT_EQ(nWidth, bResult ? c.nWidth : 0);
            EXPECT_EQ(nHeight, bResult ? c.nHeight : 0);
        }
        EXPECT_EQ(bWhole, c.nWidth > 0) << "case " << &c - cases;
    }
}

TEST(H264DecoderTest, ShowsEachPayloadAtOnceAndFollowsASizeSwitch) {
    const std::vector<Bytes> small = Encode(1280, 720, 2);
    H264Decoder decoder;
    ASSERT_TRUE(decoder.Open());
    // What the caller believes before the first picture: the SPS's size.
    int nWidth = 1920;
    int nHeight = 1088;
    // A picture for every payload as it arrives, none held back; both sides
    // grow, then only the height shrinks.
    const struct {
        Bytes payload;
        int nWidth, nHeight;
    } steps[] = {{small[0], 1280, 720},
                 {small[1], 1280, 720},
                 {Encode(1920, 1080, 1)[0], 1920, 1080},
                 {Encode(1920, 544, 1)[0], 1920, 544}};
    for (const auto& step : steps) {
        EXPECT_EQ(decoder.Decode(step.payload.data(), static_cast<int>(step.payload.size()), nWidth,
                                 nHeight),
                  1);
        EXPECT_EQ(nWidth, step.nWidth);
        EXPECT_EQ(nHeight, step.nHeight);
        ASSERT_EQ(decoder.PictureSize(), step.nWidth * step.nHeight * 4);
        ExpectTestPattern(decoder.Picture(), nWidth, nHeight);
    }

    // Two access units in one payload: two pictures, the second kept.
    ASSERT_TRUE(decoder.Open());
    const Bytes both = Concat({small[0], small[1]});
    EXPECT_EQ(decoder.Decode(both.data(), static_cast<int>(both.size()), nWidth, nHeight), 2);
    EXPECT_EQ(nWidth, 1280);
}
