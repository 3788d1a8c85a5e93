// The reusable-buffer effects must give exactly the pictures Qt's own
// transformations give, on sizes that do not divide evenly.

#include "render/ImageEffects.h"

#include "tests/render/RenderHost.h"

#include <QPainter>
#include <QTransform>

#include <gtest/gtest.h>

namespace {

QImage TurnedByQt(const QImage& source, int nAngle, bool bMirror) {
    return Rgb32(source.transformed(QTransform().rotate(nAngle), Qt::FastTransformation)
                     .mirrored(bMirror, false));
}

TEST(ImageEffectsTest, TurnsAndTurnedPartsMatchQt) {
    // Whole blocks and tiles (16 columns by 128 rows), partial ones, and
    // pictures narrower than a block.
    for (const QSize& size : {QSize(37, 70), QSize(40, 261), QSize(3, 9), QSize(1, 1)}) {
        const QImage source = Rgb32(PatternFrame(size.width(), size.height(), 5));
        const QImage other = Rgb32(PatternFrame(size.width(), size.height(), 9));
        // A part off every border, clipped to the small pictures (empty on 1 x 1).
        const QRect rcPart = QRect(2, 5, 21, 30) & source.rect();
        QImage mixed = other;
        if (!rcPart.isEmpty()) {
            QPainter(&mixed).drawImage(rcPart.topLeft(), source, rcPart);
        }
        for (int nAngle : {0, 90, 180, 270}) {
            for (bool bMirror : {false, true}) {
                QImage target(ImageEffects::TurnedSize(size, nAngle), QImage::Format_RGB32);
                ASSERT_TRUE(ImageEffects::Turn(source, nAngle, bMirror, target));
                EXPECT_EQ(target, TurnedByQt(source, nAngle, bMirror))
                    << size.width() << "x" << size.height() << " by " << nAngle << " " << bMirror;
                // The part lands where it belongs and nothing else changes.
                ImageEffects::Turn(other, nAngle, bMirror, target);
                ASSERT_TRUE(ImageEffects::TurnPart(source, rcPart, nAngle, bMirror, target));
                EXPECT_EQ(target, TurnedByQt(mixed, nAngle, bMirror))
                    << size.width() << "x" << size.height() << " by " << nAngle << " " << bMirror;
            }
        }
    }
}

TEST(ImageEffectsTest, MosaicInPlaceAndIntoAnotherPicture) {
    // Narrow, and wider than the one-pass mirror takes.
    for (const QSize& size : {QSize(23, 14), QSize(10251, 3)}) {
        const QImage source = Rgb32(PatternFrame(size.width(), size.height(), 2));
        for (bool bMirror : {false, true}) {
            const QImage expected = Mosaicked(source).mirrored(bMirror, false);
            QImage target(size, QImage::Format_RGB32);
            ASSERT_TRUE(ImageEffects::Mosaic(source, bMirror, target));
            EXPECT_EQ(target, expected) << size.width() << " " << bMirror;
            QImage image = source.copy();
            ASSERT_TRUE(ImageEffects::Mosaic(image, bMirror, image));
            EXPECT_EQ(image, expected) << size.width() << " " << bMirror << " in place";
        }
    }
}

TEST(ImageEffectsTest, ATargetOfTheWrongSizeIsLeftAlone) {
    // A null target is what Qt leaves when it refuses a size.
    const QImage source = Rgb32(PatternFrame(8, 6, 1));
    QImage null, unturned = Rgb32(SolidFrame(8, 6, 0));
    EXPECT_FALSE(ImageEffects::Turn(source, 90, false, null));
    EXPECT_FALSE(ImageEffects::Mosaic(source, false, null));
    EXPECT_FALSE(ImageEffects::TurnPart(source, QRect(1, 1, 2, 2), 90, true, unturned));
    EXPECT_EQ(unturned, Rgb32(SolidFrame(8, 6, 0)));
}

} // namespace
