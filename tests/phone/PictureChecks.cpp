#include "tests/phone/PictureChecks.h"

#include "tools/phone-sim/TestPatternEncoder.h"

#include <gtest/gtest.h>

#include <cstdlib>

void ExpectTestPattern(const unsigned char* pPicture, int nWidth, int nHeight) {
    ASSERT_NE(pPicture, nullptr);
    const int y = nHeight / 4;
    for (int nBand = 0; nBand < 3; ++nBand) {
        const int x = nWidth * (2 * nBand + 1) / 6;
        const unsigned char* pPixel = pPicture + (static_cast<size_t>(y) * nWidth + x) * 4;
        const unsigned int nRgb = TestPatternEncoder::kBandColors[nBand];
        const int expected[4] = {static_cast<int>(nRgb & 0xFF),
                                 static_cast<int>((nRgb >> 8) & 0xFF),
                                 static_cast<int>((nRgb >> 16) & 0xFF), 255};
        for (int c = 0; c < 4; ++c) {
            EXPECT_LE(std::abs(pPixel[c] - expected[c]), 40)
                << "band " << nBand << ", byte " << c << " at " << x << "," << y;
        }
    }
}
