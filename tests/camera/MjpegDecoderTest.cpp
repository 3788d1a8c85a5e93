#include "camera/MjpegDecoder.h"
#include "tests/camera/FakeV4l2.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace {

using Bytes = std::vector<uint8_t>;
const std::array<Bgr, 4> kQuadrants = {Bgr{30, 30, 220}, Bgr{40, 200, 40}, Bgr{210, 40, 30},
                                       Bgr{30, 210, 220}};

} // namespace

// Both chroma layouts of UVC cameras, with and without Huffman tables, at
// sizes that are no multiple of the 16-pixel blocks and that change in one
// dimension at a time, all through one decoder. Away from the colour edges,
// where the halved chroma blurs, every pixel is the source's. Then damaged
// frames fail, and the last good picture stays as it was, also after a
// failure that upsets the library; padding a camera adds is fine.
TEST(MjpegDecoder, DecodesEveryPixelInItsColourAndKeepsItThroughDamagedFrames) {
    const struct {
        int nWidth, nHeight, nSubsampling;
        bool bTables;
    } cases[] = {{98, 58, TJSAMP_422, true},
                 {98, 40, TJSAMP_422, false},
                 {64, 40, TJSAMP_420, true},
                 {160, 122, TJSAMP_420, false}};
    MjpegDecoder decoder;
    uint8_t* pShown = nullptr;
    int nSize = 0, nWidth = 0, nHeight = 0;
    Bytes good;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nWidth) + "x" + std::to_string(c.nHeight));
        const Bytes source = Quadrants(c.nWidth, c.nHeight, kQuadrants);
        good = Jpeg(c.nWidth, c.nHeight, kQuadrants, c.nSubsampling, c.bTables);
        const uint8_t tables[] = {0xFF, 0xC4};
        ASSERT_EQ(c.bTables,
                  std::search(good.begin(), good.end(), tables, tables + 2) != good.end());
        ASSERT_TRUE(decoder.Decode(good.data(), good.size(), pShown, nSize, nWidth, nHeight));
        ASSERT_EQ(nWidth * 1000 + nHeight, c.nWidth * 1000 + c.nHeight);
        ASSERT_GE(nSize, nWidth * nHeight * 4);
        int nWrong = 0;
        for (int y = 0; y < nHeight; ++y) {
            for (int x = 0; x < nWidth; ++x) {
                if (std::abs(x - nWidth / 2) < 8 || std::abs(y - nHeight / 2) < 8) {
                    continue;
                }
                for (int i = (y * nWidth + x) * 4, nEnd = i + 4; i < nEnd; ++i) {
                    nWrong += std::abs(pShown[i] - source[i]) > 12;
                }
            }
        }
        EXPECT_EQ(nWrong, 0);
    }

    const struct {
        const char* szName;
        std::function<void(Bytes&)> damage;
        bool bDecodes;
    } damages[] = {
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
    const Bytes shown(pShown, pShown + nWidth * nHeight * 4);
    for (const auto& c : damages) {
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
