// The reusable-buffer effects must give exactly the pictures Qt's own
// transformations give, on sizes that do not divide evenly.

#include "render/ImageEffects.h"

#include "tests/render/RenderHost.h"

#include <QPainter>
#include <QTransform>

#include <gtest/gtest.h>

#include <string>

namespace {

QImage TurnedByQt(const QImage& source, int nAngle, bool bMirror) {
    return Rgb32(source.transformed(QTransform().rotate(nAngle), Qt::FastTransformation)
                     .mirrored(bMirror, false));
}

// Whole blocks and tiles (16 columns by 128 rows), partial ones, pictures
// narrower than a block, and one wider than the one-pass mirror takes.
TEST(ImageEffectsTest, TurnsTurnedPartsAndMosaicMatchQt) {
    for (const QSize& size :
         {QSize(37, 70), QSize(40, 261), QSize(3, 9), QSize(1, 1), QSize(10251, 3)}) {
        SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        const QImage source = PatternFrame(size.width(), size.height(), 5);
        const QImage other = PatternFrame(size.width(), size.height(), 9);
        // A part off every border, clipped to the small pictures (empty on 1 x 1).
        const QRect rcPart = QRect(2, 5, 21, 30) & source.rect();
        QImage mixed = other;
        if (!rcPart.isEmpty()) {
            QPainter(&mixed).drawImage(rcPart.topLeft(), source, rcPart);
        }
        for (bool bMirror : {false, true}) {
            for (int nAngle : {0, 90, 180, 270}) {
                QImage target(ImageEffects::TurnedSize(size, nAngle), QImage::Format_RGB32);
                ASSERT_TRUE(ImageEffects::Turn(source, nAngle, bMirror, target));
                EXPECT_EQ(target, TurnedByQt(source, nAngle, bMirror)) << nAngle << " " << bMirror;
                // The part lands where it belongs and nothing else changes.
                ImageEffects::Turn(other, nAngle, bMirror, target);
                ASSERT_TRUE(ImageEffects::TurnPart(source, rcPart, nAngle, bMirror, target));
                EXPECT_EQ(target, TurnedByQt(mixed, nAngle, bMirror)) << nAngle << " " << bMirror;
            }
            const QImage expected = Mosaicked(source).mirrored(bMirror, false);
            QImage target(size, QImage::Format_RGB32);
            ASSERT_TRUE(ImageEffects::Mosaic(source, bMirror, target));
            EXPECT_EQ(target, expected) << bMirror;
            QImage image = source.copy();
            ASSERT_TRUE(ImageEffects::Mosaic(image, bMirror, image));
            EXPECT_EQ(image, expected) << bMirror << " in place";
        }
    }
    // A null target is what Qt leaves when it refuses a size; a target of the
    // wrong size is left alone.
    const QImage source = PatternFrame(8, 6, 1);
    QImage null, unturned = SolidFrame(8, 6, 0);
    EXPECT_FALSE(ImageEffects::Turn(source, 90, false, null));
    EXPECT_FALSE(ImageEffects::Mosaic(source, false, null));
    EXPECT_FALSE(ImageEffects::TurnPart(source, QRect(1, 1, 2, 2), 90, true, unturned));
    EXPECT_EQ(unturned, SolidFrame(8, 6, 0));
}

} // namespace
