#include "phone/H264Decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <cstring>

namespace {

// An access unit delimiter after each payload tells the parser that the
// payload's last access unit is complete. Without it the parser keeps that
// access unit until the next payload shows where it ends, and every picture
// would be shown one payload late.
constexpr unsigned char kDelimiter[] = {0x00, 0x00, 0x00, 0x01, 0x09, 0xF0};

// Reads bits most significant first, never past the end; a read that would
// go past marks the reader overrun and gives 0.
class BitReader {
public:
    BitReader(const unsigned char* pData, int nLength)
        : m_pData(pData), m_nBits(static_cast<int64_t>(nLength) * 8) {}

    uint32_t Bits(int nCount) {
        uint32_t nValue = 0;
        for (int i = 0; i < nCount; ++i) {
            if (m_nPosition >= m_nBits) {
                m_bOverrun = true;
                return 0;
            }
            nValue = nValue << 1 | NextBit();
        }
        return nValue;
    }

    // Unsigned Exp-Golomb code.
    uint32_t Ue() {
        int nZeros = 0;
        while (m_nPosition < m_nBits && Peek() == 0) {
            ++m_nPosition;
            if (++nZeros > 31) {
                m_bOverrun = true;
                return 0;
            }
        }
        if (m_nPosition >= m_nBits) {
            m_bOverrun = true;
            return 0;
        }
        ++m_nPosition;
        const uint32_t nSuffix = Bits(nZeros);
        return static_cast<uint32_t>((uint64_t{1} << nZeros) - 1 + nSuffix);
    }

    // Signed Exp-Golomb code.
    int32_t Se() {
        const uint32_t nCode = Ue();
        const auto nMagnitude = static_cast<int32_t>((nCode + 1) / 2);
        return (nCode & 1) != 0 ? nMagnitude : -nMagnitude;
    }

    bool Overrun() const { return m_bOverrun; }

private:
    uint32_t Peek() const { return (m_pData[m_nPosition / 8] >> (7 - m_nPosition % 8)) & 1u; }
    uint32_t NextBit() {
        const uint32_t nBit = Peek();
        ++m_nPosition;
        return nBit;
    }

    const unsigned char* m_pData;
    int64_t m_nBits;
    int64_t m_nPosition = 0;
    bool m_bOverrun = false;
};

void SkipScalingList(BitReader& reader, int nSize) {
    int nLast = 8;
    int nNext = 8;
    for (int j = 0; j < nSize && !reader.Overrun(); ++j) {
        if (nNext != 0) {
            nNext = (nLast + reader.Se() + 256) % 256;
        }
        nLast = nNext == 0 ? nLast : nNext;
    }
}

} // namespace

H264Decoder::H264Decoder() = default;

H264Decoder::~H264Decoder() {
    Close();
}

bool H264Decoder::Open() {
    Close();
    m_pCodec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (m_pCodec == nullptr) {
        return false;
    }
    m_pContext = avcodec_alloc_context3(m_pCodec);
    m_pParser = av_parser_init(m_pCodec->id);
    m_pPacket = av_packet_alloc();
    m_pFrame = av_frame_alloc();
    if (m_pContext == nullptr || m_pParser == nullptr || m_pPacket == nullptr ||
        m_pFrame == nullptr) {
        Close();
        return false;
    }
    // A first guess until the stream tells; the phone's usual size.
    m_pContext->width = 1920;
    m_pContext->height = 1088;
    // Low delay is set before opening, where it also keeps frame threads off.
    m_pContext->flags |= AV_CODEC_FLAG_LOW_DELAY;
    m_pContext->thread_count = m_nThreads;
    m_pContext->thread_type = FF_THREAD_SLICE;
    if (avcodec_open2(m_pContext, m_pCodec, nullptr) < 0) {
        Close();
        return false;
    }
    return true;
}

bool H264Decoder::Close() {
    avcodec_free_context(&m_pContext);
    m_pCodec = nullptr;
    av_packet_free(&m_pPacket);
    if (m_pParser != nullptr) {
        av_parser_close(m_pParser);
        m_pParser = nullptr;
    }
    sws_freeContext(m_pScaler);
    m_pScaler = nullptr;
    av_frame_free(&m_pFrame);
    av_freep(&m_pPicture);
    m_nPictureSize = 0;
    m_nPictureWidth = 0;
    m_nPictureHeight = 0;
    return true;
}

int H264Decoder::Decode(const unsigned char* pData, int nLength, int& nWidth, int& nHeight) {
    if (m_pContext == nullptr || pData == nullptr || nLength <= 0) {
        return 0;
    }
    // The parser reads up to the padding size past the end of what it is
    // given, so the payload is fed from a buffer of our own.
    const size_t nFed = static_cast<size_t>(nLength) + sizeof kDelimiter;
    if (m_input.size() < nFed + AV_INPUT_BUFFER_PADDING_SIZE) {
        m_input.assign(nFed + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    }
    std::memcpy(m_input.data(), pData, static_cast<size_t>(nLength));
    std::memcpy(m_input.data() + nLength, kDelimiter, sizeof kDelimiter);
    std::memset(m_input.data() + nFed, 0, AV_INPUT_BUFFER_PADDING_SIZE);

    int nCount = 0;
    const unsigned char* pRead = m_input.data();
    int nRemaining = static_cast<int>(nFed);
    while (nRemaining > 0) {
        uint8_t* pUnit = nullptr;
        int nUnitSize = 0;
        const int nUsed = av_parser_parse2(m_pParser, m_pContext, &pUnit, &nUnitSize, pRead,
                                           nRemaining, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (nUsed < 0) {
            break;
        }
        if (nUnitSize > 0) {
            nCount += DecodeAccessUnit(pUnit, nUnitSize, nWidth, nHeight);
        }
        if (nUsed == 0 && nUnitSize == 0) {
            break;
        }
        pRead += nUsed;
        nRemaining -= nUsed;
    }
    return nCount;
}

int H264Decoder::DecodeAccessUnit(const unsigned char* pData, int nSize, int& nWidth,
                                  int& nHeight) {
    // Not reference-counted: the decoder takes its own copy.
    m_pPacket->data = const_cast<uint8_t*>(pData);
    m_pPacket->size = nSize;
    const int nSent = avcodec_send_packet(m_pContext, m_pPacket);
    m_pPacket->data = nullptr;
    m_pPacket->size = 0;
    int nCount = 0;
    if (nSent < 0 && nSent != AVERROR(EAGAIN)) {
        return 0;
    }
    while (avcodec_receive_frame(m_pContext, m_pFrame) >= 0) {
        if (ConvertPicture(nWidth, nHeight)) {
            ++nCount;
        }
        av_frame_unref(m_pFrame);
    }
    return nCount;
}

bool H264Decoder::ConvertPicture(int& nWidth, int& nHeight) {
    const int nFrameWidth = m_pFrame->width;
    const int nFrameHeight = m_pFrame->height;
    if (nFrameWidth <= 0 || nFrameHeight <= 0) {
        return false;
    }
    // The buffer follows the decoded frame's own size, whatever size the
    // caller believed in, so a conversion never writes past it.
    if (m_pPicture == nullptr || nFrameWidth != m_nPictureWidth ||
        nFrameHeight != m_nPictureHeight) {
        av_freep(&m_pPicture);
        m_nPictureSize = 0;
        m_nPictureWidth = 0;
        m_nPictureHeight = 0;
        const int nSize = av_image_get_buffer_size(AV_PIX_FMT_BGRA, nFrameWidth, nFrameHeight, 1);
        if (nSize <= 0) {
            return false;
        }
        m_pPicture = static_cast<unsigned char*>(av_malloc(static_cast<size_t>(nSize)));
        if (m_pPicture == nullptr) {
            return false;
        }
        m_nPictureSize = nSize;
        m_nPictureWidth = nFrameWidth;
        m_nPictureHeight = nFrameHeight;
    }
    m_pScaler = sws_getCachedContext(
        m_pScaler, nFrameWidth, nFrameHeight, static_cast<AVPixelFormat>(m_pFrame->format),
        nFrameWidth, nFrameHeight, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (m_pScaler == nullptr) {
        return false;
    }
    uint8_t* planes[4] = {};
    int strides[4] = {};
    av_image_fill_arrays(planes, strides, m_pPicture, AV_PIX_FMT_BGRA, nFrameWidth, nFrameHeight,
                         1);
    sws_scale(m_pScaler, m_pFrame->data, m_pFrame->linesize, 0, nFrameHeight, planes, strides);
    nWidth = nFrameWidth;
    nHeight = nFrameHeight;
    return true;
}

bool ParseSpsSize(const unsigned char* pNal, int nLength, int& nWidth, int& nHeight) {
    if (pNal == nullptr || nLength < 1 || (pNal[0] & 0x1F) != 7) {
        return false;
    }
    BitReader reader(pNal + 1, nLength - 1);
    const uint32_t nProfile = reader.Bits(8);
    reader.Bits(4); // constraint flags
    reader.Bits(4); // reserved
    reader.Bits(8); // level
    reader.Ue();    // parameter set id
    if (nProfile == 100 || nProfile == 110 || nProfile == 122 || nProfile == 144) {
        const uint32_t nChromaFormat = reader.Ue();
        if (nChromaFormat == 3) {
            reader.Bits(1);
        }
        reader.Ue(); // luma bit depth
        reader.Ue(); // chroma bit depth
        reader.Bits(1);
        if (reader.Bits(1) != 0) {
            // Each list that is present is skipped as it is coded; skipping
            // only the presence flags would read the size from inside a list.
            const int nLists = nChromaFormat == 3 ? 12 : 8;
            for (int i = 0; i < nLists && !reader.Overrun(); ++i) {
                if (reader.Bits(1) != 0) {
                    SkipScalingList(reader, i < 6 ? 16 : 64);
                }
            }
        }
    }
    reader.Ue(); // frame number size
    const uint32_t nPocType = reader.Ue();
    if (nPocType == 0) {
        reader.Ue();
    } else if (nPocType == 1) {
        reader.Bits(1);
        reader.Ue();
        reader.Ue();
        const uint32_t nCycle = reader.Ue();
        if (nCycle > 255) {
            return false;
        }
        for (uint32_t i = 0; i < nCycle && !reader.Overrun(); ++i) {
            reader.Ue();
        }
    }
    reader.Ue(); // reference frames
    reader.Bits(1);
    const uint32_t nWidthInMbs = reader.Ue();
    const uint32_t nHeightInMapUnits = reader.Ue();
    // No picture is wider or taller than this; larger values are garbage.
    constexpr uint32_t kMaxMbs = 1024;
    if (reader.Overrun() || nWidthInMbs >= kMaxMbs || nHeightInMapUnits >= kMaxMbs) {
        return false;
    }
    nWidth = static_cast<int>(nWidthInMbs + 1) * 16;
    nHeight = static_cast<int>(nHeightInMapUnits + 1) * 16;
    return true;
}
