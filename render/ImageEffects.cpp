#include "render/ImageEffects.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int MosaicBlock = 10;
// Block colours of one row kept on the stack for a mirrored mosaic; wider
// pictures take the two passes.
constexpr int MaxMirroredBlocks = 1024;

// Rotation reads source rows while writing target columns; square tiles
// keep both within the cache.
constexpr int RotateTile = 16;

bool IsPlain32Bit(const QImage& image) {
    const QImage::Format format = image.format();
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

inline quint32* Row(QImage& image, int nY) {
    return reinterpret_cast<quint32*>(image.scanLine(nY));
}

inline const quint32* Row(const QImage& image, int nY) {
    return reinterpret_cast<const quint32*>(image.constScanLine(nY));
}

#if defined(__SSE2__)
// Transposes the 4 x 4 block held in four rows of four pixels.
inline void Transpose4(__m128i& r0, __m128i& r1, __m128i& r2, __m128i& r3) {
    const __m128i t0 = _mm_unpacklo_epi32(r0, r1);
    const __m128i t1 = _mm_unpacklo_epi32(r2, r3);
    const __m128i t2 = _mm_unpackhi_epi32(r0, r1);
    const __m128i t3 = _mm_unpackhi_epi32(r2, r3);
    r0 = _mm_unpacklo_epi64(t0, t1);
    r1 = _mm_unpackhi_epi64(t0, t1);
    r2 = _mm_unpacklo_epi64(t2, t3);
    r3 = _mm_unpackhi_epi64(t2, t3);
}

inline __m128i Load(const quint32* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void Store(quint32* p, __m128i value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), value);
}
#endif

// Clockwise, source (x, y) lands at (H - 1 - y, x); counter-clockwise at
// (y, W - 1 - x). Target is H x W.
void RotateQuarter(const QImage& source, bool bClockwise, QImage& target) {
    const int nWidth = source.width();
    const int nHeight = source.height();
    const quint32* pSource = Row(source, 0);
    quint32* pTarget = Row(target, 0);
    const size_t nSourceStride = size_t(source.bytesPerLine()) / 4;
    const size_t nTargetStride = size_t(target.bytesPerLine()) / 4;
    const auto put = [&](int x, int y) {
        const quint32 nPixel = pSource[size_t(y) * nSourceStride + size_t(x)];
        if (bClockwise) {
            pTarget[size_t(x) * nTargetStride + size_t(nHeight - 1 - y)] = nPixel;
        } else {
            pTarget[size_t(nWidth - 1 - x) * nTargetStride + size_t(y)] = nPixel;
        }
    };

    int nWidth4 = 0;
    int nHeight4 = 0;
#if defined(__SSE2__)
    // Whole 4 x 4 blocks with SSE2, which every x86-64 has; the rest of the
    // columns and rows pixel by pixel below.
    nWidth4 = nWidth & ~3;
    nHeight4 = nHeight & ~3;
    for (int nTileY = 0; nTileY < nHeight4; nTileY += RotateTile) {
        const int nTileBottom = std::min(nTileY + RotateTile, nHeight4);
        for (int nTileX = 0; nTileX < nWidth4; nTileX += RotateTile) {
            const int nTileRight = std::min(nTileX + RotateTile, nWidth4);
            for (int y = nTileY; y < nTileBottom; y += 4) {
                for (int x = nTileX; x < nTileRight; x += 4) {
                    const quint32* p = pSource + size_t(y) * nSourceStride + size_t(x);
                    if (bClockwise) {
                        // Rows bottom-up, so each transposed row is already
                        // in target order.
                        __m128i r0 = Load(p + 3 * nSourceStride);
                        __m128i r1 = Load(p + 2 * nSourceStride);
                        __m128i r2 = Load(p + nSourceStride);
                        __m128i r3 = Load(p);
                        Transpose4(r0, r1, r2, r3);
                        quint32* q = pTarget + size_t(x) * nTargetStride + size_t(nHeight - 4 - y);
                        Store(q, r0);
                        Store(q + nTargetStride, r1);
                        Store(q + 2 * nTargetStride, r2);
                        Store(q + 3 * nTargetStride, r3);
                    } else {
                        __m128i r0 = Load(p);
                        __m128i r1 = Load(p + nSourceStride);
                        __m128i r2 = Load(p + 2 * nSourceStride);
                        __m128i r3 = Load(p + 3 * nSourceStride);
                        Transpose4(r0, r1, r2, r3);
                        quint32* q = pTarget + size_t(nWidth - 1 - x) * nTargetStride + size_t(y);
                        Store(q, r0);
                        Store(q - nTargetStride, r1);
                        Store(q - 2 * nTargetStride, r2);
                        Store(q - 3 * nTargetStride, r3);
                    }
                }
            }
        }
    }
#endif
    for (int y = 0; y < nHeight; ++y) {
        for (int x = y < nHeight4 ? nWidth4 : 0; x < nWidth; ++x) {
            put(x, y);
        }
    }
}

} // namespace

void ImageEffects::Rotate(const QImage& source, int nAngle, QImage& target) {
    const int nWidth = source.width();
    const int nHeight = source.height();
    const bool bQuarter = nAngle == 90 || nAngle == 270;
    const QSize targetSize = bQuarter ? QSize(nHeight, nWidth) : QSize(nWidth, nHeight);
    if (target.size() != targetSize || target.format() != source.format()) {
        target = QImage(targetSize, source.format());
    }
    if (source.isNull()) {
        return;
    }

    if (nAngle != 90 && nAngle != 180 && nAngle != 270) {
        for (int y = 0; y < nHeight; ++y) {
            std::memcpy(Row(target, y), Row(source, y), size_t(nWidth) * 4);
        }
        return;
    }
    if (nAngle == 180) {
        for (int y = 0; y < nHeight; ++y) {
            const quint32* pSource = Row(source, y);
            std::reverse_copy(pSource, pSource + nWidth, Row(target, nHeight - 1 - y));
        }
        return;
    }

    RotateQuarter(source, nAngle == 90, target);
}

void ImageEffects::Mosaic(QImage& image, bool bMirrored) {
    if (!IsPlain32Bit(image)) {
        return;
    }
    const int nWidth = image.width();
    const int nHeight = image.height();
    const int nBlocks = (nWidth + MosaicBlock - 1) / MosaicBlock;
    if (bMirrored && nBlocks > MaxMirroredBlocks) {
        Mosaic(image, false);
        Mirror(image);
        return;
    }
    std::array<quint32, MaxMirroredBlocks> colours;
    for (int nTop = 0; nTop < nHeight; nTop += MosaicBlock) {
        // The block's top row holds the colours; fill it first, then repeat
        // it down the rest of the block.
        quint32* pTop = Row(image, nTop);
        if (bMirrored) {
            // Flipped while filling, which spares the mirror its own pass.
            for (int nBlock = 0; nBlock < nBlocks; ++nBlock) {
                colours[size_t(nBlock)] = pTop[nBlock * MosaicBlock];
            }
            for (int x = 0; x < nWidth; ++x) {
                pTop[x] = colours[size_t((nWidth - 1 - x) / MosaicBlock)];
            }
        } else {
            for (int nLeft = 0; nLeft < nWidth; nLeft += MosaicBlock) {
                std::fill(pTop + nLeft, pTop + std::min(nLeft + MosaicBlock, nWidth), pTop[nLeft]);
            }
        }
        const int nBottom = std::min(nTop + MosaicBlock, nHeight);
        for (int y = nTop + 1; y < nBottom; ++y) {
            std::memcpy(Row(image, y), pTop, size_t(nWidth) * 4);
        }
    }
}

void ImageEffects::Mirror(QImage& image) {
    if (image.depth() != 32) {
        image = image.mirrored(true, false);
        return;
    }
    const int nWidth = image.width();
    for (int y = 0; y < image.height(); ++y) {
        quint32* pRow = Row(image, y);
        std::reverse(pRow, pRow + nWidth);
    }
}
