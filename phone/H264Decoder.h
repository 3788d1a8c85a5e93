#pragma once

#include <vector>

struct AVCodec;
struct AVCodecContext;
struct AVCodecParserContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// Turns the phone's H.264 payloads (Annex B) into BGRA pictures of the
// decoded size, rows packed (stride width * 4). Used by one thread only.
//
// Decoding runs in the caller's thread alone. Frame threads would hold each
// picture back by one payload per extra thread; slice threads add no delay
// but gain nothing on a phone's one-slice pictures, and on two cores that
// the window, the renderer and a recording share they cost more than they
// give even on pictures of several slices.
class H264Decoder {
public:
    static constexpr int kDefaultThreads = 1;

    H264Decoder();
    // Closes first.
    ~H264Decoder();
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // Slice threads for the next Open; 1 decodes in the caller's thread only.
    void SetThreads(int nThreads) { m_nThreads = nThreads < 1 ? 1 : nThreads; }
    // May be called again (it closes first). False leaves it closed.
    bool Open();
    // Always true; safe to call twice.
    bool Close();
    bool IsOpen() const { return m_pContext != nullptr; }

    // Parses and decodes one payload, which may hold several access units;
    // returns how many pictures came out. On return nWidth and nHeight hold
    // the size of the newest converted picture (unchanged when none came).
    // Broken access units are skipped and not counted.
    int Decode(const unsigned char* pData, int nLength, int& nWidth, int& nHeight);

    // The newest converted picture, PictureSize() bytes; valid until the
    // next Decode or Close.
    const unsigned char* Picture() const { return m_pPicture; }
    int PictureSize() const { return m_nPictureSize; }

private:
    int DecodeAccessUnit(const unsigned char* pData, int nSize, int& nWidth, int& nHeight);
    bool ConvertPicture(int& nWidth, int& nHeight);

    AVCodecContext* m_pContext = nullptr;
    const AVCodec* m_pCodec = nullptr;
    AVPacket* m_pPacket = nullptr;
    SwsContext* m_pScaler = nullptr;
    AVCodecParserContext* m_pParser = nullptr;
    AVFrame* m_pFrame = nullptr;
    int m_nPictureSize = 0;
    unsigned char* m_pPicture = nullptr;
    // The size the picture buffer was made for.
    int m_nPictureWidth = 0;
    int m_nPictureHeight = 0;
    int m_nThreads = kDefaultThreads;
    // The payload as the parser gets it: followed by an access unit
    // delimiter and the zero padding the libraries may read into.
    std::vector<unsigned char> m_input;
};

// The picture size a sequence parameter set gives, in whole macroblocks
// (1920 x 1080 video gives 1920 x 1088). pNal starts with the one-byte NAL
// header. False for any other NAL unit, and for one that ends before the
// size fields; never reads past nLength.
bool ParseSpsSize(const unsigned char* pNal, int nLength, int& nWidth, int& nHeight);
