// The reusable-buffer effects must give exactly the pictures Qt's own
// transformations give, on sizes that do not divide evenly.

#include "render/ImageEffects.h"

#include "tests/render/RenderHost.h"

#include <QTransform>

#include <gtest/gtest.h>

namespace {

TEST(ImageEffectsTest, RotationMatchesQt) {
    // Whole blocks and tiles, partial ones, and pictures narrower than a block.
    for (const QSize& size : {QSize(37, 70), QSize(40, 36), QSize(3, 9), QSize(1, 1)}) {
        const QImage source = Rgb32(PatternFrame(size.width(), size.height(), 5));
        QImage target;
        for (int nAngle : {90, 180, 270, 0}) {
            ImageEffects::Rotate(source, nAngle, target);
            EXPECT_EQ(target, Rgb32(source.transformed(QTransform().rotate(nAngle),
                                                       Qt::FastTransformation)))
                << size.width() << "x" << size.height() << " by " << nAngle;
        }
    }
}

TEST(ImageEffectsTest, MirroredMosaicEqualsMosaicThenMirror) {
    // Narrow, and wider than the one-pass version takes.
    for (const QSize& size : {QSize(23, 14), QSize(10251, 3)}) {
        const QImage source = Rgb32(PatternFrame(size.width(), size.height(), 2));
        QImage expected = source;
        ImageEffects::Mosaic(expected);
        ImageEffects::Mirror(expected);
        QImage image = source;
        ImageEffects::Mosaic(image, true);
        EXPECT_EQ(image, expected) << size.width();
    }
}

} // namespace
