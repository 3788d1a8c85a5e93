// The renderer driven through its interface; every check looks at the
// composed picture (what photos and recordings get) or at the widget.

#include "tests/render/RenderHost.h"

#include <QPen>
#include <QPixmap>
#include <QTransform>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const QRgb Black = qRgb(0, 0, 0);
const QRgb Gray = qRgb(100, 100, 100);
const QRgb Red = qRgb(255, 0, 0);
const QRgb Green = qRgb(0, 255, 0);
const QRgb Blue = qRgb(0, 0, 255);

// One letter per point: 'x' where a red pen (wide enough to cover the pixel)
// shows, else 'B' for black, 'g' for gray and '?' for anything else.
std::string Look(const QImage& picture, const std::vector<QPoint>& points) {
    std::string strLook;
    for (const QPoint& pt : points) {
        const QRgb cr = picture.pixel(pt);
        const bool bInked = qRed(cr) > 60 && qGreen(cr) < 40;
        strLook += bInked ? 'x' : cr == Black ? 'B' : cr == Gray ? 'g' : '?';
    }
    return strLook;
}

class QTRenderTest : public ::testing::Test {
protected:
    IVideoRender* Start(int nWidth, int nHeight, const QImage& frame) {
        m_pHost = std::make_unique<RenderHost>(nWidth, nHeight);
        Render()->SetImage(frame); // a null frame is no frame
        return Render();
    }
    IVideoRender* Render() { return m_pHost->Render(); }
    QImage Compose() { return m_pHost->Compose(); }
    void Drag(const QPoint& ptFrom, const QPoint& ptTo, bool bRelease = true) {
        Render()->OnMousePress(ptFrom.x(), ptFrom.y());
        Render()->OnMouseMove(ptTo.x(), ptTo.y(), true);
        if (bRelease) {
            Render()->OnMouseRelease(ptTo.x(), ptTo.y());
        }
    }

    std::unique_ptr<RenderHost> m_pHost;
};

TEST_F(QTRenderTest, TakesItsOwnCopyOfEachPictureItCanHold) {
    Start(16, 8, QImage())->SetRemarkType(5);
    EXPECT_TRUE(Render()->GetPicture()->isNull());
    Drag({4, 2}, {12, 6});
    Render()->DrawText(0, 0, "x");
    EXPECT_TRUE(Compose().isNull());

    // A release whose press came before the first frame commits nothing; the
    // camera reuses its buffer as soon as SetImage returns.
    Drag({4, 2}, {12, 6}, false);
    std::vector<QRgb> buffer(16 * 8, Gray);
    Render()->SetImage(
        QImage(reinterpret_cast<const uchar*>(buffer.data()), 16, 8, 64, QImage::Format_ARGB32));
    std::fill(buffer.begin(), buffer.end(), Green);
    Render()->OnMouseRelease(12, 6);
    Render()->SetPen(QPen(QColor(Red), 3));
    Drag({4, 2}, {12, 6});
    const QImage drawn = Compose();
    EXPECT_EQ(drawn.pixel(0, 0), Gray);
    EXPECT_EQ(Look(drawn, {{4, 4}}), "x");
    // A picture Qt allows in 8 bits but refuses in the renderer's 32 is
    // dropped; the picture and drawings stay.
    EXPECT_FALSE(Render()->SetImage(QImage(70000000, 1, QImage::Format_Grayscale8)));
    EXPECT_EQ(Compose(), drawn);
    Render()->SetImage(SolidFrame(16, 8, Blue));
    EXPECT_EQ(Look(Compose(), {{4, 4}}), "x");
}

TEST_F(QTRenderTest, ComparisonAndTitleKeepSnapshotsAndSwitchEachOtherOff) {
    // 21 x 12: the comparison's halves are 10 and 11 wide, the title strip is
    // a sixth of the width (3 rows), not of the height (2).
    const auto frame = [](int nTag) { return PatternFrame(21, 12, nTag); };
    // Each mode takes its snapshot at the next composition, then a new frame.
    const auto composeAfter = [this](const QImage& next) {
        Compose();
        Render()->SetImage(next);
        return Compose();
    };
    Start(21, 12, frame(0))->SetCompare(true);
    QImage picture = composeAfter(frame(1));
    EXPECT_EQ(picture.copy(0, 0, 10, 12), frame(0).copy(10, 0, 10, 12));
    EXPECT_EQ(picture.copy(10, 0, 11, 12), frame(1).copy(10, 0, 11, 12));
    Render()->SetTitle(true);
    picture = composeAfter(frame(2));
    EXPECT_EQ(picture.copy(0, 0, 21, 3), frame(1).copy(0, 0, 21, 3));
    EXPECT_EQ(picture.copy(0, 3, 21, 9), frame(2).copy(0, 3, 21, 9));
    Render()->SetCompare(true); // a fresh snapshot, no strip
    picture = composeAfter(frame(3));
    EXPECT_EQ(picture.copy(0, 0, 10, 12), frame(2).copy(10, 0, 10, 12));
    EXPECT_EQ(picture.copy(10, 0, 11, 12), frame(3).copy(10, 0, 11, 12));
    Render()->SetCompare(false);
    EXPECT_EQ(Compose(), frame(3));
    // A frame of another size takes its own snapshot; on a picture more than
    // six times as wide as high the strip is all of it.
    Render()->SetCompare(true);
    EXPECT_EQ(composeAfter(SolidFrame(40, 20, Blue)), SolidFrame(40, 20, Blue));
    Render()->SetTitle(true);
    EXPECT_EQ(composeAfter(SolidFrame(70, 8, Green)), SolidFrame(70, 8, Green));
}

TEST_F(QTRenderTest, EffectsTurnFlipAndPixelateTheComposedPictureWithItsDrawings) {
    const QImage frame = PatternFrame(47, 31, 3);
    Start(60, 60, frame)->SetPen(QPen(QColor(Red), 3));
    const auto checkEffects = [&](const char* szDrawn) {
        // The upright picture first, then every turn, flip and mosaic of it:
        // mosaic blocks start at the turned picture's top-left corner, before
        // the flip.
        QImage upright;
        for (int i = 0; i < 16; ++i) {
            const int nAngle = i / 4 * 90;
            const bool bMirror = i & 2, bMosaic = i & 1;
            Render()->SetRotateAngle(nAngle);
            Render()->SetMirror(bMirror);
            Render()->SetMosaic(bMosaic);
            const QImage picture = Compose();
            upright = i == 0 ? picture : upright;
            const QImage turned = Rgb32(upright.transformed(QTransform().rotate(nAngle)));
            EXPECT_EQ(picture, (bMosaic ? Mosaicked(turned) : turned).mirrored(bMirror, false))
                << szDrawn << " " << nAngle << " " << bMirror << " " << bMosaic;
        }
        EXPECT_EQ(upright == frame, std::string(szDrawn) == "nothing drawn") << szDrawn;
    };
    checkEffects("nothing drawn");
    Render()->SetRemarkType(5);
    Drag({5, 5}, {12, 10});
    checkEffects("a small shape");
    Render()->ClearRemark();
    Render()->SetRemarkType(1);
    Drag({30, 18}, {38, 22}, false);
    checkEffects("a line being drawn");
    Render()->OnMouseRelease(38, 22);
    Render()->SetRemarkType(7);
    Drag({2, 2}, {44, 28});
    checkEffects("a large shape");
}

TEST_F(QTRenderTest, CommittedShapesOutlineTheirGeometryAndTheEraserClearsThem) {
    Start(240, 140, SolidFrame(240, 140, Black))->SetPen(QPen(QColor(Red), 3));
    const struct {
        int nType;
        QPoint ptP, ptQ;
        std::string strLook;
        std::vector<QPoint> points;
    } shapes[] = {
        // clang-format off
        // Arrow: its seven points and the shaft's middle; hollow.
        {3, {100, 100}, {220, 100}, "xxxxxxxxBB", {{100, 90}, {196, 90}, {196, 84}, {220, 100},
         {196, 116}, {196, 110}, {100, 110}, {150, 90}, {150, 100}, {204, 100}}},
        // Dragged exactly to the left: it points left.
        {3, {220, 40}, {100, 40}, "xxxB", {{100, 40}, {124, 24}, {220, 30}, {196, 24}}},
        {4, {50, 20}, {50, 80}, "xxxxxxB", {{50, 20}, {84, 80}, {16, 80}, {50, 80}, {67, 50}, {33, 50}, {50, 60}}},
        // Diamond dragged backwards: the same box.
        {6, {80, 60}, {20, 20}, "xxxxxBB", {{20, 40}, {50, 20}, {80, 40}, {50, 60}, {35, 30}, {50, 40}, {22, 22}}},
        {7, {20, 20}, {80, 60}, "xxxxBB", {{20, 40}, {50, 20}, {80, 40}, {50, 60}, {50, 40}, {22, 22}}},
        // clang-format on
    };
    for (const auto& shape : shapes) {
        Render()->SetRemarkType(shape.nType);
        Drag(shape.ptP, shape.ptQ);
        EXPECT_EQ(Look(Compose(), shape.points), shape.strLook) << shape.nType;
        Render()->ClearRemark();
    }
    EXPECT_EQ(Compose(), SolidFrame(240, 140, Black));

    // The eraser clears the layer only, and shows its outline while dragging.
    Render()->SetImage(SolidFrame(240, 140, Gray));
    Render()->SetPen(QPen(QColor(255, 0, 255), 5));
    Render()->SetRemarkType(1);
    Drag({5, 20}, {55, 20});
    Render()->SetRemarkType(9);
    Drag({20, 10}, {40, 30}, false);
    EXPECT_EQ(Compose().pixel(30, 10), Red);
    Render()->OnMouseRelease(40, 30);
    const QImage erased = Compose();
    EXPECT_EQ(erased.copy(21, 11, 18, 18), SolidFrame(18, 18, Gray));
    EXPECT_EQ(Look(erased, {{30, 10}, {10, 20}, {50, 20}}), "gxx");

    // A frame of a new size clears the annotations.
    Render()->SetImage(SolidFrame(240, 141, Black));
    EXPECT_EQ(Compose(), SolidFrame(240, 141, Black));
}

TEST_F(QTRenderTest, EmphasizeAndShadeFillAroundAndInsideWithinEdgesThatStayApart) {
    Start(80, 60, SolidFrame(80, 60, Gray))->SetRemarkType(11);
    // Hovers over ptGrab and drags what lies there to ptTo; looks at points.
    const auto reshape = [this](const QPoint& ptGrab, const QPoint& ptTo,
                                const std::vector<QPoint>& points) {
        Render()->OnMouseMove(ptGrab.x(), ptGrab.y(), false);
        Drag(ptGrab, ptTo);
        return Look(Compose(), points);
    };
    Drag({10, 10}, {60, 10}); // no extent: no region, the next drag sets one
    EXPECT_FALSE(m_pHost->hasMouseTracking());
    EXPECT_EQ(Compose(), SolidFrame(80, 60, Gray));
    Drag({80, 50}, {10, 10}); // the right edge on the border
    EXPECT_TRUE(m_pHost->hasMouseTracking());
    // Left, above, below, above at the border, a corner; inside; the outline
    // in the region pen.
    EXPECT_EQ(Look(Compose(),
                   {{5, 30}, {35, 5}, {35, 55}, {79, 5}, {0, 0}, {35, 30}, {70, 30}, {10, 30}}),
              "BBBBBggx");
    // The right edge dragged beyond the picture (the mouse is grabbed outside
    // the widget), and a press inside starts no new region.
    reshape({82, 30}, {95, 30}, {});
    EXPECT_EQ(reshape({30, 30}, {40, 40}, {{77, 30}, {79, 5}, {35, 30}}), "gBg");

    Render()->SetRemarkType(12); // a type change removes the region
    EXPECT_FALSE(m_pHost->hasMouseTracking());
    EXPECT_EQ(Compose(), SolidFrame(80, 60, Gray));
    Drag({10, 10}, {60, 50});
    EXPECT_EQ(Look(Compose(), {{35, 30}, {5, 30}, {70, 55}}), "Bgg");

    // Edges stay within the opposite ones. The top-left corner down and
    // right: both edges follow. Then past the bottom-right corner: refused,
    // both stay.
    Render()->SetRemarkType(11);
    Drag({10, 10}, {60, 50});
    EXPECT_EQ(reshape({8, 8}, {30, 30}, {{20, 40}, {40, 20}, {45, 40}}), "BBg");
    EXPECT_EQ(reshape({28, 28}, {70, 55}, {{20, 40}, {40, 20}, {45, 40}}), "BBg");
    // The right edge in to 40, then the left edge towards 50: it may not pass
    // where the right edge now is; nor the right edge where the left one is.
    reshape({62, 40}, {40, 40}, {});
    EXPECT_EQ(reshape({28, 40}, {50, 40}, {{35, 40}, {46, 40}, {25, 40}}), "gBB");
    EXPECT_EQ(reshape({42, 40}, {20, 40}, {{35, 40}, {46, 40}, {25, 40}}), "gBB");

    // Region 30..40 x 30..50 now; hovering sets the grab cursor, a drag does
    // not recompute it, and the release puts the arrow back.
    Render()->OnMouseMove(42, 28, false);
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::SizeBDiagCursor);
    Drag({42, 28}, {45, 25}, false);
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::SizeBDiagCursor);
    Render()->OnMouseRelease(45, 25);
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::ArrowCursor);
}

// A recording composes its pictures itself, without a paint; a photo in
// between does not switch the picture handed out, and the compositions after
// it leave that picture alone.
TEST_F(QTRenderTest, EachPictureIsComposedOnceAndHandedOutOnce) {
    const auto colourOf = [](const QPixmap* pPicture) { return pPicture->toImage().pixel(3, 3); };
    Start(16, 8, SolidFrame(16, 8, Red))->ComposePicture();
    const QPixmap* pFirst = Render()->GetPicture();
    EXPECT_EQ(colourOf(pFirst), Red);
    Render()->SetImage(SolidFrame(16, 8, Green));
    Render()->ComposePicture();
    EXPECT_EQ(Render()->CopyPicture().pixel(0, 0), Green);
    Render()->SetImage(SolidFrame(16, 8, Blue));
    Render()->ComposePicture();
    Render()->ComposePicture();
    EXPECT_EQ(colourOf(pFirst), Red);
    const QPixmap* pSecond = Render()->GetPicture();
    EXPECT_NE(pSecond, pFirst);
    EXPECT_EQ(colourOf(pSecond), Blue);
    EXPECT_EQ(Render()->GetPicture(), pSecond); // nothing new: the same one
    // A paint after a composition shows that picture and composes no other.
    EXPECT_EQ(Rgb32(m_pHost->grab().toImage()), SolidFrame(16, 8, Blue));
    EXPECT_EQ(Render()->GetPicture(), pSecond);
}

} // namespace
