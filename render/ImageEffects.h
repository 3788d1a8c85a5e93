#pragma once

class QImage;

// The pixel effects of the renderer, written for 32-bit pictures so that
// they work in buffers that are reused frame after frame instead of making
// a new picture each time as QImage's own transformations do.
class ImageEffects {
public:
    // Writes source turned clockwise by nAngle (90, 180 or 270; anything else
    // copies it) into target, which is re-created only when its size or
    // format does not fit. Pixel for pixel the same as QImage::transformed
    // with that rotation. Both are 32-bit pictures.
    static void Rotate(const QImage& source, int nAngle, QImage& target);

    // Every 10 x 10 block, counted from the top-left corner (blocks on the
    // right and bottom borders cut short), takes the colour of its top-left
    // pixel. Pictures other than RGB32, ARGB32 and ARGB32 premultiplied are
    // left as they are. bMirrored gives the same as Mirror afterwards, in one
    // pass.
    static void Mosaic(QImage& image, bool bMirrored = false);

    // Flips the picture left to right.
    static void Mirror(QImage& image);
};
