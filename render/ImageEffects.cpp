#include "render/ImageEffects.h"

#include <QImage>

#include <algorithm>
#include <cstring>

namespace {

constexpr int MosaicBlock = 10;

// Rotation reads a source row while writing a target column; square tiles
// keep both within the cache.
constexpr int RotateTile = 32;

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

    // Target rows are looked up once per tile row rather than per pixel.
    quint32* targetRows[RotateTile];
    for (int nTileX = 0; nTileX < nWidth; nTileX += RotateTile) {
        const int nTileRight = std::min(nTileX + RotateTile, nWidth);
        for (int x = nTileX; x < nTileRight; ++x) {
            // 90: source (x, y) lands at (H - 1 - y, x); 270: at (y, W - 1 - x).
            targetRows[x - nTileX] = Row(target, nAngle == 90 ? x : nWidth - 1 - x);
        }
        for (int nTileY = 0; nTileY < nHeight; nTileY += RotateTile) {
            const int nTileBottom = std::min(nTileY + RotateTile, nHeight);
            for (int y = nTileY; y < nTileBottom; ++y) {
                const quint32* pSource = Row(source, y);
                const int nTargetX = nAngle == 90 ? nHeight - 1 - y : y;
                for (int x = nTileX; x < nTileRight; ++x) {
                    targetRows[x - nTileX][nTargetX] = pSource[x];
                }
            }
        }
    }
}

void ImageEffects::Mosaic(QImage& image) {
    if (!IsPlain32Bit(image)) {
        return;
    }
    const int nWidth = image.width();
    const int nHeight = image.height();
    for (int nTop = 0; nTop < nHeight; nTop += MosaicBlock) {
        // The block's top row holds the colours; fill it first, then repeat
        // it down the rest of the block.
        quint32* pTop = Row(image, nTop);
        for (int nLeft = 0; nLeft < nWidth; nLeft += MosaicBlock) {
            std::fill(pTop + nLeft, pTop + std::min(nLeft + MosaicBlock, nWidth), pTop[nLeft]);
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
