// The reusable-buffer effects must give exactly the pictures Qt's own
// transformations give, on sizes that do not divide evenly.

#include "render/ImageEffects.h"

#include "tests/render/RenderHost.h"

#include <QTransform>

#include <gtest/gtest.h>

namespace {

QImage RotatedByQt(const QImage& image, int nAngle) {
    QTransform transform;
    transform.rotate(nAngle);
    return image.transformed(transform, Qt::FastTransformation);
}

TEST(ImageEffectsTest, RotationMatchesQtAndReusesTarget) {
    // Whole blocks and tiles, partial ones, and pictures narrower than a block.
    for (const QSize& size : {QSize(37, 70), QSize(40, 36), QSize(3, 9), QSize(1, 1)}) {
        const QImage source =
            PatternFrame(size.width(), size.height(), 5).convertToFormat(QImage::Format_RGB32);
        QImage target;
        for (int nAngle : {90, 180, 270, 0}) {
            ImageEffects::Rotate(source, nAngle, target);
            const QImage expected = nAngle == 0 ? source : RotatedByQt(source, nAngle);
            ASSERT_EQ(target.size(), expected.size()) << nAngle;
            EXPECT_EQ(target, expected.convertToFormat(QImage::Format_RGB32))
                << size.width() << "x" << size.height() << " by " << nAngle;
        }
    }

    const QImage source = PatternFrame(37, 70, 5).convertToFormat(QImage::Format_RGB32);
    QImage target;

    // A target of the right size is written in place, not replaced.
    ImageEffects::Rotate(source, 90, target);
    const uchar* pBefore = target.constBits();
    ImageEffects::Rotate(source, 270, target);
    EXPECT_EQ(target.constBits(), pBefore);
}

TEST(ImageEffectsTest, MosaicBlocksFromTopLeftWithShortBorderBlocks) {
    const QImage source = PatternFrame(23, 14, 1).convertToFormat(QImage::Format_RGB32);
    QImage image = source;
    ImageEffects::Mosaic(image);
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 23; ++x) {
            ASSERT_EQ(image.pixel(x, y), source.pixel(x / 10 * 10, y / 10 * 10)) << x << "," << y;
        }
    }

    // Formats without a 32-bit layout are left alone.
    QImage gray = source.convertToFormat(QImage::Format_Grayscale8);
    const QImage grayBefore = gray.copy();
    ImageEffects::Mosaic(gray);
    EXPECT_EQ(gray, grayBefore);
}

TEST(ImageEffectsTest, MirroredMosaicEqualsMosaicThenMirror) {
    // Narrow, and wider than the one-pass version takes.
    for (const QSize& size : {QSize(23, 14), QSize(10251, 3)}) {
        const QImage source = MakeFrame(size.width(), size.height(), [](int x, int y) {
                                  return qRgb(x % 256, y, x / 256);
                              }).convertToFormat(QImage::Format_RGB32);
        QImage expected = source;
        ImageEffects::Mosaic(expected);
        ImageEffects::Mirror(expected);
        QImage image = source;
        ImageEffects::Mosaic(image, true);
        EXPECT_EQ(image, expected) << size.width();
    }
}

TEST(ImageEffectsTest, MirrorFlipsRowsOfAnyWidth) {
    for (int nWidth : {1, 2, 7}) {
        const QImage source = PatternFrame(nWidth, 3, 2).convertToFormat(QImage::Format_RGB32);
        QImage image = source;
        ImageEffects::Mirror(image);
        EXPECT_EQ(image, source.mirrored(true, false)) << nWidth;
    }
}

} // namespace
