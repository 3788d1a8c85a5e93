#pragma once

#include <QSize>

class QImage;
class QRect;

// The pixel effects of the renderer, written for 32-bit pictures (RGB32,
// ARGB32, ARGB32 premultiplied). They write into targets the caller made,
// reused frame after frame, and never allocate: a target of the wrong size
// (or a null one, where Qt refused the size) is reported as false and left
// untouched.
class ImageEffects {
public:
    // The size of a picture turned clockwise by nAngle degrees.
    static QSize TurnedSize(const QSize& size, int nAngle);

    // Writes source turned clockwise by nAngle (0, 90, 180 or 270) and then,
    // when bMirror, flipped left to right into target, which has the turned
    // size. Pixel for pixel QImage::transformed followed by mirrored, in one
    // pass.
    static bool Turn(const QImage& source, int nAngle, bool bMirror, QImage& target);

    // The same for the part rcPart of source only, written to where that part
    // lands in the turned picture; the rest of target is left as it is.
    static bool TurnPart(const QImage& source, const QRect& rcPart, int nAngle, bool bMirror,
                         QImage& target);

    // Every 10 x 10 block of source, counted from the top-left corner (blocks
    // on the right and bottom borders cut short), in the colour of its
    // top-left pixel, written into target of the same size; target may be
    // source itself. bMirrored flips the result left to right in the same
    // pass.
    static bool Mosaic(const QImage& source, bool bMirrored, QImage& target);
};
