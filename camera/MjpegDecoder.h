#pragma once

#include <cstdint>
#include <memory>

// Decodes one MJPEG frame from a camera into a BGRA picture it owns: rows
// top to bottom, width * 4 bytes each, alpha 255. Frames without Huffman
// tables (as UVC cameras send them) are decoded with the standard tables.
//
// A frame that is corrupt or cut short fails, and the picture handed out by
// the last successful Decode stays as it was: the decoder writes into a
// second buffer and swaps only on success. One thread only.
class MjpegDecoder {
public:
    MjpegDecoder();
    ~MjpegDecoder();

    MjpegDecoder(const MjpegDecoder&) = delete;
    MjpegDecoder& operator=(const MjpegDecoder&) = delete;

    // On success pOutput holds the picture until the next Decode; nSize is
    // the size of that buffer, at least nWidth * nHeight * 4. On failure
    // pOutput is null and nSize, nWidth and nHeight are 0.
    bool Decode(const uint8_t* pInput, size_t nLength, uint8_t*& pOutput, int& nSize, int& nWidth,
                int& nHeight);

private:
    struct Picture {
        std::unique_ptr<uint8_t[]> pData;
        int nCapacity = 0;
    };

    bool Accept(int nResult);

    void* m_hDecoder = nullptr; // tjhandle; null when set-up failed
    Picture m_pictures[2];
    int m_nFront = 0; // the picture the last successful Decode handed out
};
