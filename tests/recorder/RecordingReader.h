#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

// Reads a finished recording back with libavformat and libavcodec, the way a
// player would, and keeps what the tests look at.
class RecordingReader {
public:
    struct Stream {
        AVMediaType nType = AVMEDIA_TYPE_UNKNOWN;
        AVCodecID nCodec = AV_CODEC_ID_NONE;
        int nProfile = FF_PROFILE_UNKNOWN;
        int nWidth = 0;
        int nHeight = 0;
        int nSampleRate = 0;
        int nChannels = 0;
        AVRational timeBase{0, 1};
        std::vector<int64_t> pts; // of every packet (else its dts), in timeBase
    };

    explicit RecordingReader(const std::string& strPath);

    bool IsOpen() const { return m_bOpen; }
    const std::string& FormatName() const { return m_strFormat; }
    const std::vector<Stream>& Streams() const { return m_streams; }
    size_t Packets(size_t nStream) const {
        return nStream < m_streams.size() ? m_streams[nStream].pts.size() : 0;
    }

    // Decodes the pictures of stream nStream up to number nIndex (from 0) and
    // gives that one's luma plane, tightly packed; false when it does not decode.
    bool DecodePicture(size_t nStream, size_t nIndex, std::vector<uint8_t>& luma, int& nWidth,
                       int& nHeight) const;
    // Decodes the whole audio stream nStream; the number of samples per
    // channel and the largest absolute sample value (full scale is 1.0).
    bool DecodeAudio(size_t nStream, int64_t& nSamples, double& fPeak) const;

private:
    std::string m_strPath;
    bool m_bOpen = false;
    std::string m_strFormat;
    std::vector<Stream> m_streams;
};
