#pragma once

#include <string>
#include <vector>

// Encodes a moving, coloured test pattern with libx264 into H.264 access
// units in Annex B form, one per picture, with the sequence and picture
// parameter sets before every key frame (the first unit is a key frame).
//
// The pattern repeats after nFrames pictures, so the units can be sent in a
// loop without a jump. The upper half holds three solid bands, red, green
// and blue from left to right; the lower half a textured grey page with a
// white bar that crosses it once per loop.
class TestPatternEncoder {
public:
    struct Settings {
        int nWidth = 1280;
        int nHeight = 720;
        int nFrames = 90;
        int nKeyInterval = 30;
        int nFrameRate = 30;
        // kbit/s; 0 picks one for the size, as a phone would stream it
        // (8000 at 1080p, in proportion to the area).
        int nBitRate = 0;
    };

    // False (with the reason in Error()) when libx264 is missing or refuses
    // the settings.
    bool Encode(const Settings& settings, std::vector<std::vector<unsigned char>>& units);
    const std::string& Error() const { return m_strError; }

    // The colour of each band of the upper half, as 0xRRGGBB.
    static constexpr unsigned int kBandColors[3] = {0xFF0000, 0x00FF00, 0x0000FF};

private:
    std::string m_strError;
};
