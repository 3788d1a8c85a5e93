#include "camera/MjpegDecoder.h"
#include "tests/camera/CameraTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

// Both chroma layouts of UVC cameras, with and without Huffman tables, at
// sizes that are no multiple of the 16-pixel blocks and that change in one
// dimension at a time, all through one decoder. Each good frame is followed
// by a damaged one, which fails and leaves the last picture as it was (also
// after a failure that upsets the library), or, for padding a camera adds,
// decodes. Away from the colour edges, where the halved chroma blurs, every
// pixel of the picture shown is the source's.
TEST(MjpegDecoder, DecodesEveryPixelInItsColourAndKeepsItThroughDamagedFrames) {
    const std::array<Bgr, 4> colours = {Bgr{30, 30, 220}, Bgr{40, 200, 40}, Bgr{210, 40, 30},
                                        Bgr{30, 210, 220}};
    const struct {
        int nWidth, nHeight, nSubsampling;
        bool bTables;
        const char* szDamage;
        std::function<void(Bytes&)> damage;
        bool bDecodes;
    } cases[] = {
        {98, 58, TJSAMP_422, true, "cut in half", [](Bytes& b) { b.resize(b.size() / 2); }, false},
        {98, 40, TJSAMP_422, false, "end marker missing", [](Bytes& b) { b.resize(b.size() - 2); },
         false},
        {64, 40, TJSAMP_420, true, "scan cut short by an end marker",
         [](Bytes& b) {
             b.insert(b.begin() + static_cast<long>(b.size() * 3 / 4), {0xFF, 0xD9});
         },
         false},
        {160, 122, TJSAMP_420, false, "headers only", [](Bytes& b) { b.resize(200); }, false},
        {160, 58, TJSAMP_422, true, "not a JPEG", [](Bytes& b) { b.assign(b.size(), 0x7F); },
         false},
        {64, 58, TJSAMP_420, false, "empty", [](Bytes& b) { b.clear(); }, false},
        {98, 58, TJSAMP_422, false, "zero padding before the end marker",
         [](Bytes& b) { b.insert(b.end() - 2, 5, 0); }, true},
        {98, 40, TJSAMP_420, true, "zero padding after the end marker",
         [](Bytes& b) { b.resize(b.size() + 4096); }, true},
    };
    MjpegDecoder decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nWidth) + "x" + std::to_string(c.nHeight) + ", " +
                     c.szDamage);
        const Bytes source = Quadrants(c.nWidth, c.nHeight, colours);
        Bytes jpeg = Jpeg(c.nWidth, c.nHeight, colours, c.nSubsampling, c.bTables);
        const Bytes tables = {0xFF, 0xC4};
        ASSERT_EQ(c.bTables, std::search(jpeg.begin(), jpeg.end(), tables.begin(), tables.end()) !=
                                 jpeg.end());
        uint8_t* pShown = nullptr;
        int nSize = 0, nWidth = 0, nHeight = 0;
        ASSERT_TRUE(decoder.Decode(jpeg.data(), jpeg.size(), pShown, nSize, nWidth, nHeight));
        ASSERT_EQ(nWidth * 1000 + nHeight, c.nWidth * 1000 + c.nHeight);
        ASSERT_GE(nSize, nWidth * nHeight * 4);

        c.damage(jpeg);
        uint8_t* pPicture = pShown;
        nSize = nWidth = nHeight = -1;
        ASSERT_EQ(decoder.Decode(jpeg.data(), jpeg.size(), pPicture, nSize, nWidth, nHeight),
                  c.bDecodes);
        if (c.bDecodes) {
            pShown = pPicture;
        } else {
            EXPECT_TRUE(pPicture == nullptr && nSize == 0 && nWidth == 0 && nHeight == 0);
        }
        int nWrong = 0;
        for (int i = 0; i < c.nWidth * c.nHeight * 4; ++i) {
            const int x = i / 4 % c.nWidth, y = i / 4 / c.nWidth;
            nWrong += std::abs(x - c.nWidth / 2) >= 8 && std::abs(y - c.nHeight / 2) >= 8 &&
                      std::abs(pShown[i] - source[i]) > 12;
        }
        EXPECT_EQ(nWrong, 0);
    }
}
