// The renderer driven through its interface; every check looks at the
// composed picture (what photos and recordings get) or at the widget.

#include "tests/render/RenderHost.h"

#include <QPen>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const QRgb Black = qRgb(0, 0, 0);
const QRgb Gray = qRgb(100, 100, 100);

// Something of the red pen shows within a pixel of pt (lines are
// antialiased, so a one-pixel line may spread over two rows at half strength).
bool Inked(const QImage& picture, const QPoint& pt) {
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint ptNear = pt + QPoint(dx, dy);
            if (picture.rect().contains(ptNear) && qRed(picture.pixel(ptNear)) > 60 &&
                qGreen(picture.pixel(ptNear)) < 40) {
                return true;
            }
        }
    }
    return false;
}

void Drag(IVideoRender* pRender, const QPoint& ptFrom, const QPoint& ptTo) {
    pRender->OnMousePress(ptFrom.x(), ptFrom.y());
    pRender->OnMouseMove(ptTo.x(), ptTo.y(), true);
    pRender->OnMouseRelease(ptTo.x(), ptTo.y());
}

class QTRenderTest : public ::testing::Test {
protected:
    // A black picture with a thin red pen: whatever the pen touches shows red.
    void StartBlack(int nWidth, int nHeight) {
        m_pHost = std::make_unique<RenderHost>(nWidth, nHeight);
        Render()->SetImage(SolidFrame(nWidth, nHeight, Black));
        Render()->SetPen(QPen(QColor(255, 0, 0), 1));
    }
    IVideoRender* Render() { return m_pHost->Render(); }
    QImage Compose() { return m_pHost->Compose(); }

    std::unique_ptr<RenderHost> m_pHost;
};

TEST_F(QTRenderTest, KeepsItsOwnCopyOfTheCameraBuffer) {
    RenderHost host(8, 4);
    std::vector<QRgb> buffer(8 * 4, qRgb(10, 20, 30));
    const QImage wrapped(reinterpret_cast<const uchar*>(buffer.data()), 8, 4, 8 * 4,
                         QImage::Format_ARGB32);
    host.Render()->SetImage(wrapped);
    // The camera reuses its buffer as soon as SetImage returns.
    std::fill(buffer.begin(), buffer.end(), qRgb(200, 0, 0));
    EXPECT_EQ(host.Compose(),
              SolidFrame(8, 4, qRgb(10, 20, 30)).convertToFormat(QImage::Format_RGB32));
}

TEST_F(QTRenderTest, NothingBeforeTheFirstFrame) {
    RenderHost host(20, 10);
    IVideoRender* pRender = host.Render();
    ASSERT_NE(pRender->GetPicture(), nullptr);
    EXPECT_TRUE(pRender->GetPicture()->isNull());
    pRender->SetRemarkType(5);
    Drag(pRender, {1, 1}, {8, 8});
    pRender->DrawText(0, 0, "x");
    pRender->ClearRemark();
    EXPECT_TRUE(host.Compose().isNull());

    // A release whose press came before the first frame commits nothing.
    pRender->OnMousePress(1, 1);
    pRender->SetImage(SolidFrame(20, 10, Black));
    pRender->OnMouseRelease(15, 8);
    EXPECT_EQ(host.Compose(), SolidFrame(20, 10, Black).convertToFormat(QImage::Format_RGB32));
}

TEST_F(QTRenderTest, ComparisonKeepsLeftSnapshotOnOddWidth) {
    RenderHost host(21, 4);
    IVideoRender* pRender = host.Render();
    const QImage first = PatternFrame(21, 4, 1);
    const QImage second = PatternFrame(21, 4, 2);
    pRender->SetImage(first);
    pRender->SetCompare(true);
    host.Compose(); // the snapshot: the right half of the first frame
    pRender->SetImage(second);
    const QImage picture = host.Compose();
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 10; ++x) {
            ASSERT_EQ(picture.pixel(x, y), first.pixel(x + 10, y)) << x;
        }
        for (int x = 10; x < 21; ++x) {
            ASSERT_EQ(picture.pixel(x, y), second.pixel(x, y)) << x;
        }
    }
    // Switched off, the picture is live again; on again, a new snapshot.
    pRender->SetCompare(false);
    EXPECT_EQ(host.Compose(), second.convertToFormat(QImage::Format_RGB32));
    pRender->SetCompare(true);
    EXPECT_EQ(host.Compose().pixel(0, 0), second.pixel(10, 0));
}

TEST_F(QTRenderTest, TitleStripIsASixthOfTheWidth) {
    RenderHost host(64, 36);
    IVideoRender* pRender = host.Render();
    pRender->SetImage(SolidFrame(1920, 1080, qRgb(255, 0, 0)));
    pRender->SetTitle(true);
    host.Compose();
    pRender->SetImage(SolidFrame(1920, 1080, qRgb(0, 255, 0)));
    const QImage picture = host.Compose();
    EXPECT_EQ(picture.pixel(1919, 319), qRgb(255, 0, 0));
    EXPECT_EQ(picture.pixel(0, 320), qRgb(0, 255, 0));
    EXPECT_EQ(picture.pixel(1919, 1079), qRgb(0, 255, 0));
}

TEST_F(QTRenderTest, ComparisonAndTitleExcludeEachOther) {
    RenderHost host(60, 20);
    IVideoRender* pRender = host.Render();
    pRender->SetImage(SolidFrame(60, 20, qRgb(255, 0, 0)));
    pRender->SetTitle(true);
    host.Compose(); // title strip: red
    pRender->SetImage(SolidFrame(60, 20, qRgb(0, 255, 0)));
    pRender->SetCompare(true);
    host.Compose(); // comparison snapshot: green; the title is off
    pRender->SetImage(SolidFrame(60, 20, qRgb(0, 0, 255)));
    QImage picture = host.Compose();
    EXPECT_EQ(picture.pixel(0, 0), qRgb(0, 255, 0));  // left: snapshot
    EXPECT_EQ(picture.pixel(59, 0), qRgb(0, 0, 255)); // right: live, no red strip
    EXPECT_EQ(picture.pixel(0, 19), qRgb(0, 255, 0));

    // Title again: a fresh strip of the current frame, not the old red one.
    pRender->SetTitle(true);
    host.Compose();
    pRender->SetImage(SolidFrame(60, 20, qRgb(9, 9, 9)));
    picture = host.Compose();
    EXPECT_EQ(picture.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(59, 9), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(0, 10), qRgb(9, 9, 9));
}

TEST_F(QTRenderTest, SnapshotIsRetakenWhenTheFrameSizeChanges) {
    RenderHost host(40, 20);
    IVideoRender* pRender = host.Render();
    pRender->SetImage(SolidFrame(20, 10, qRgb(255, 0, 0)));
    pRender->SetCompare(true);
    host.Compose();
    pRender->SetImage(SolidFrame(40, 20, qRgb(0, 0, 255)));
    const QImage picture = host.Compose();
    // The whole left half comes from a snapshot of the new size.
    EXPECT_EQ(picture.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(19, 19), qRgb(0, 0, 255));
}

TEST_F(QTRenderTest, RotationTurnsThePictureAndMosaicFollowsTheRotatedCorner) {
    RenderHost host(30, 30);
    IVideoRender* pRender = host.Render();
    const QImage frame = PatternFrame(23, 14, 3);
    QTransform quarter;
    quarter.rotate(90);
    const QImage rotated =
        frame.transformed(quarter, Qt::FastTransformation).convertToFormat(QImage::Format_RGB32);
    pRender->SetImage(frame);
    pRender->SetRotateAngle(90);
    QImage picture = host.Compose();
    ASSERT_EQ(picture.size(), QSize(14, 23));
    EXPECT_EQ(picture, rotated);

    pRender->SetMosaic(true);
    picture = host.Compose();
    for (int y = 0; y < 23; ++y) {
        for (int x = 0; x < 14; ++x) {
            ASSERT_EQ(picture.pixel(x, y), rotated.pixel(x / 10 * 10, y / 10 * 10))
                << x << "," << y;
        }
    }
}

TEST_F(QTRenderTest, MirrorFlipsTheMosaickedPicture) {
    RenderHost host(30, 30);
    IVideoRender* pRender = host.Render();
    const QImage frame = PatternFrame(23, 14, 4);
    pRender->SetImage(frame);
    pRender->SetMosaic(true);
    pRender->SetMirror(true);
    const QImage picture = host.Compose();
    // Blocks are cut from the unflipped left edge: after the flip the short
    // block is on the left.
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 23; ++x) {
            const int nSourceX = 22 - x;
            ASSERT_EQ(picture.pixel(x, y), frame.pixel(nSourceX / 10 * 10, y / 10 * 10))
                << x << "," << y;
        }
    }
    pRender->SetMosaic(false);
    pRender->SetMirror(false);
    EXPECT_EQ(host.Compose(), frame.convertToFormat(QImage::Format_RGB32));
}

TEST_F(QTRenderTest, WidgetShowsTheRequestedPartStretched) {
    RenderHost host(40, 20);
    IVideoRender* pRender = host.Render();
    const QImage frame = PatternFrame(20, 10, 6);
    pRender->SetImage(frame);
    QImage shown = host.grab().toImage();
    EXPECT_EQ(shown.pixel(0, 0), frame.pixel(0, 0));
    EXPECT_EQ(shown.pixel(39, 19), frame.pixel(19, 9));
    EXPECT_EQ(shown.pixel(21, 11), frame.pixel(10, 5));

    host.SetSource(QPoint(10, 5), QSize(10, 5));
    shown = host.grab().toImage();
    EXPECT_EQ(shown.pixel(0, 0), frame.pixel(10, 5));
    EXPECT_EQ(shown.pixel(39, 19), frame.pixel(19, 9));
}

TEST_F(QTRenderTest, RendererZoomCropsOnlyWhatTheWidgetShows) {
    RenderHost host(64, 40);
    IVideoRender* pRender = host.Render();
    const QImage frame = PatternFrame(64, 40, 7);
    pRender->SetImage(frame);
    // One paint at zoom level 1: (16, 9) onwards, stretched back.
    pRender->SetZoomIn(true);
    const QImage shown = host.grab().toImage();
    pRender->SetZoomIn(false);
    EXPECT_EQ(shown.pixel(0, 0), frame.pixel(16, 9));
    EXPECT_EQ(shown.pixel(63, 39), frame.pixel(47, 30));
    // The composed picture itself is never cropped.
    EXPECT_EQ(pRender->CopyPicture().pixel(0, 0), frame.pixel(0, 0));
}

TEST_F(QTRenderTest, NewFrameSizeClearsAnnotations) {
    StartBlack(40, 30);
    Render()->SetRemarkType(5);
    Drag(Render(), {5, 5}, {30, 20});
    ASSERT_TRUE(Inked(Compose(), {5, 12}));

    Render()->SetImage(SolidFrame(40, 31, Black));
    const QImage picture = Compose();
    EXPECT_EQ(picture.size(), QSize(40, 31));
    EXPECT_EQ(picture, SolidFrame(40, 31, Black).convertToFormat(QImage::Format_RGB32));

    // The same size again keeps them.
    Drag(Render(), {5, 5}, {30, 20});
    Render()->SetImage(SolidFrame(40, 31, Black));
    EXPECT_TRUE(Inked(Compose(), {5, 12}));
}

TEST_F(QTRenderTest, CommittedShapesOutlineTheirGeometry) {
    StartBlack(240, 140);

    Render()->SetRemarkType(3);
    Drag(Render(), {100, 100}, {220, 100});
    QImage picture = Compose();
    for (const QPoint& pt :
         {QPoint(100, 90), QPoint(196, 90), QPoint(196, 84), QPoint(220, 100), QPoint(196, 116),
          QPoint(196, 110), QPoint(100, 110), QPoint(150, 90), QPoint(100, 100), QPoint(208, 92)}) {
        EXPECT_TRUE(Inked(picture, pt)) << "arrow " << pt.x() << "," << pt.y();
    }
    // Outline only: the shaft and the head are hollow.
    EXPECT_FALSE(Inked(picture, {150, 100}));
    EXPECT_FALSE(Inked(picture, {204, 100}));
    Render()->ClearRemark();

    // Drawn to the left, the tip is on the left.
    Drag(Render(), {220, 100}, {100, 100});
    picture = Compose();
    EXPECT_TRUE(Inked(picture, {100, 100}));
    EXPECT_TRUE(Inked(picture, {124, 84}));
    EXPECT_FALSE(Inked(picture, {196, 84}));
    Render()->ClearRemark();

    Render()->SetRemarkType(4);
    Drag(Render(), {50, 20}, {50, 80});
    picture = Compose();
    for (const QPoint& pt : {QPoint(50, 20), QPoint(84, 80), QPoint(16, 80), QPoint(50, 80),
                             QPoint(67, 50), QPoint(33, 50)}) {
        EXPECT_TRUE(Inked(picture, pt)) << "triangle " << pt.x() << "," << pt.y();
    }
    EXPECT_FALSE(Inked(picture, {50, 60}));
    Render()->ClearRemark();

    Render()->SetRemarkType(6);
    Drag(Render(), {80, 60}, {20, 20}); // dragged backwards: the same box
    picture = Compose();
    for (const QPoint& pt :
         {QPoint(20, 40), QPoint(50, 20), QPoint(80, 40), QPoint(50, 60), QPoint(35, 30)}) {
        EXPECT_TRUE(Inked(picture, pt)) << "diamond " << pt.x() << "," << pt.y();
    }
    EXPECT_FALSE(Inked(picture, {50, 40}));
    EXPECT_FALSE(Inked(picture, {22, 22}));
    Render()->ClearRemark();

    Render()->SetRemarkType(7);
    Drag(Render(), {20, 20}, {80, 60});
    picture = Compose();
    for (const QPoint& pt : {QPoint(20, 40), QPoint(50, 20), QPoint(80, 40), QPoint(50, 60)}) {
        EXPECT_TRUE(Inked(picture, pt)) << "ellipse " << pt.x() << "," << pt.y();
    }
    EXPECT_FALSE(Inked(picture, {50, 40}));
    EXPECT_FALSE(Inked(picture, {22, 22}));
    Render()->ClearRemark();
    EXPECT_EQ(Compose(), SolidFrame(240, 140, Black).convertToFormat(QImage::Format_RGB32));
}

TEST_F(QTRenderTest, LiveShapeShowsWhileDraggingOnlyInThePicture) {
    StartBlack(60, 40);
    Render()->SetRemarkType(1);
    Render()->OnMousePress(5, 20);
    Render()->OnMouseMove(55, 20, true);
    EXPECT_TRUE(Inked(Compose(), {30, 20}));
    // Another tool mid-drag: the line was never committed to the layer.
    Render()->SetRemarkType(0);
    Render()->OnMouseRelease(55, 20);
    EXPECT_FALSE(Inked(Compose(), {30, 20}));
}

TEST_F(QTRenderTest, DoodleDrawsQuadraticPiecesAndDropsLeftovers) {
    StartBlack(60, 40);
    Render()->SetRemarkType(2);
    // A click leaves only two points: nothing to draw.
    Render()->OnMousePress(10, 10);
    Render()->OnMouseRelease(10, 10);
    EXPECT_EQ(Compose(), SolidFrame(60, 40, Black).convertToFormat(QImage::Format_RGB32));

    // Press, one move, release: one piece from (10, 10) to (50, 10) bent
    // towards (30, 30); its middle is at (30, 20).
    Render()->OnMousePress(10, 10);
    Render()->OnMouseMove(30, 30, true);
    Render()->OnMouseRelease(50, 10);
    const QImage picture = Compose();
    EXPECT_TRUE(Inked(picture, {10, 10}));
    EXPECT_TRUE(Inked(picture, {30, 20}));
    EXPECT_TRUE(Inked(picture, {50, 10}));
    EXPECT_FALSE(Inked(picture, {30, 10}));
    EXPECT_FALSE(Inked(picture, {30, 30}));
}

TEST_F(QTRenderTest, EraserClearsOnlyTheLayer) {
    RenderHost host(60, 40);
    IVideoRender* pRender = host.Render();
    const QImage frame = PatternFrame(60, 40, 9);
    pRender->SetImage(frame);
    pRender->SetPen(QPen(QColor(255, 0, 255), 5));
    pRender->SetRemarkType(1);
    Drag(pRender, {5, 20}, {55, 20});
    pRender->SetRemarkType(9);
    pRender->OnMousePress(20, 10);
    pRender->OnMouseMove(40, 30, true);
    // While dragging, the eraser shows its outline.
    EXPECT_EQ(host.Compose().pixel(30, 10), qRgb(255, 0, 0));
    pRender->OnMouseRelease(40, 30);

    const QImage picture = host.Compose();
    for (int x = 21; x < 39; ++x) {
        ASSERT_EQ(picture.pixel(x, 20), frame.pixel(x, 20)) << x;
    }
    EXPECT_EQ(picture.pixel(30, 10), frame.pixel(30, 10));
    EXPECT_EQ(picture.pixel(10, 20), qRgb(255, 0, 255));
    EXPECT_EQ(picture.pixel(50, 20), qRgb(255, 0, 255));
}

class RegionTest : public QTRenderTest {
protected:
    void SetUp() override {
        m_pHost = std::make_unique<RenderHost>(80, 60);
        Render()->SetImage(SolidFrame(80, 60, Gray));
    }
    void Hover(int nX, int nY) { Render()->OnMouseMove(nX, nY, false); }
    void DragEdge(const QPoint& ptGrab, const QPoint& ptTo) {
        Hover(ptGrab.x(), ptGrab.y());
        Render()->OnMousePress(ptGrab.x(), ptGrab.y());
        Render()->OnMouseMove(ptTo.x(), ptTo.y(), true);
        Render()->OnMouseRelease(ptTo.x(), ptTo.y());
    }
};

TEST_F(RegionTest, EmphasizeBlacksOutEverythingOutside) {
    Render()->SetRemarkType(11);
    Drag(Render(), {60, 50}, {10, 10});
    EXPECT_TRUE(m_pHost->hasMouseTracking());
    const QImage picture = Compose();
    EXPECT_EQ(picture.pixel(5, 30), Black);  // left
    EXPECT_EQ(picture.pixel(70, 30), Black); // right
    EXPECT_EQ(picture.pixel(35, 5), Black);  // above
    EXPECT_EQ(picture.pixel(35, 55), Black); // below
    EXPECT_EQ(picture.pixel(0, 0), Black);
    EXPECT_EQ(picture.pixel(35, 30), Gray);            // inside
    EXPECT_EQ(picture.pixel(10, 30), qRgb(255, 0, 0)); // outline, region pen

    // A press on a set region does not start a new one.
    Drag(Render(), {30, 30}, {40, 40});
    EXPECT_EQ(Compose().pixel(35, 30), Gray);
}

TEST_F(RegionTest, ShadeBlacksOutTheInsideAndTypeChangeRemovesIt) {
    Render()->SetRemarkType(12);
    Drag(Render(), {10, 10}, {60, 50});
    QImage picture = Compose();
    EXPECT_EQ(picture.pixel(35, 30), Black);
    EXPECT_EQ(picture.pixel(5, 30), Gray);
    EXPECT_EQ(picture.pixel(70, 55), Gray);

    // Emphasize starts with no region; so does shade again.
    Render()->SetRemarkType(11);
    EXPECT_FALSE(m_pHost->hasMouseTracking());
    EXPECT_EQ(Compose(), SolidFrame(80, 60, Gray).convertToFormat(QImage::Format_RGB32));
    Render()->SetRemarkType(12);
    EXPECT_EQ(Compose(), SolidFrame(80, 60, Gray).convertToFormat(QImage::Format_RGB32));
}

TEST_F(RegionTest, ReleaseWithoutExtentSetsNoRegion) {
    Render()->SetRemarkType(11);
    Drag(Render(), {10, 10}, {60, 10}); // along one axis only
    EXPECT_FALSE(m_pHost->hasMouseTracking());
    EXPECT_EQ(Compose(), SolidFrame(80, 60, Gray).convertToFormat(QImage::Format_RGB32));
    // So the next drag still draws one.
    Drag(Render(), {10, 10}, {60, 50});
    EXPECT_EQ(Compose().pixel(5, 30), Black);
}

TEST_F(RegionTest, RegionReachingTheBorder) {
    Render()->SetRemarkType(11);
    Drag(Render(), {10, 10}, {80, 50}); // right edge on the border
    QImage picture = Compose();
    EXPECT_EQ(picture.pixel(70, 30), Gray);
    EXPECT_EQ(picture.pixel(79, 5), Black);
    EXPECT_EQ(picture.pixel(5, 30), Black);

    // Dragged beyond the picture (the mouse is grabbed outside the widget).
    DragEdge({82, 30}, {95, 30});
    picture = Compose();
    EXPECT_EQ(picture.pixel(77, 30), Gray);
    EXPECT_EQ(picture.pixel(79, 5), Black);
}

TEST_F(RegionTest, HoverSetsTheGrabCursorUntilRecomputed) {
    Render()->SetRemarkType(11);
    Drag(Render(), {10, 10}, {60, 50});
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::ArrowCursor);
    Hover(8, 30);
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::SizeHorCursor);
    Hover(62, 52);
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::SizeFDiagCursor);
    Hover(30, 52);
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::SizeVerCursor);
    Hover(62, 8);
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::SizeBDiagCursor);
    Render()->OnMousePress(62, 8);
    Render()->OnMouseMove(65, 5, true); // a drag does not recompute it
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::SizeBDiagCursor);
    Render()->OnMouseRelease(65, 5);
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::ArrowCursor);
    Hover(30, 30);
    EXPECT_EQ(m_pHost->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(RegionTest, EdgesMoveWithinTheOppositeEdges) {
    Render()->SetRemarkType(11);
    Drag(Render(), {10, 10}, {60, 50});

    // Top-left corner down and right: both edges follow.
    DragEdge({8, 8}, {30, 30});
    QImage picture = Compose();
    EXPECT_EQ(picture.pixel(20, 40), Black); // now left of the region
    EXPECT_EQ(picture.pixel(40, 20), Black); // now above it
    EXPECT_EQ(picture.pixel(45, 40), Gray);

    // Past the bottom-right corner: refused, both edges stay.
    DragEdge({28, 28}, {70, 55});
    picture = Compose();
    EXPECT_EQ(picture.pixel(20, 40), Black);
    EXPECT_EQ(picture.pixel(45, 40), Gray);

    // The right edge in to 40, then the left edge towards 50: the left edge
    // may not pass where the right edge now is.
    DragEdge({62, 40}, {40, 40});
    DragEdge({28, 40}, {50, 40});
    picture = Compose();
    EXPECT_EQ(picture.pixel(35, 40), Gray);
    EXPECT_EQ(picture.pixel(46, 40), Black);
    EXPECT_EQ(picture.pixel(25, 40), Black);
}

TEST_F(QTRenderTest, TextIsDrawnIntoTheLayerAndClipped) {
    StartBlack(400, 200);
    Render()->SetFontSize(26);
    Render()->SetTextColor(QColor(255, 0, 0));
    Render()->DrawText(20, 30, "");
    EXPECT_EQ(Compose(), SolidFrame(400, 200, Black).convertToFormat(QImage::Format_RGB32));

    Render()->DrawText(20, 30, QString(60, QChar('W')));
    const QImage picture = Compose();
    int nInkedLeft = 0, nInkedRight = 0;
    for (int y = 30; y < 130; ++y) {
        for (int x = 0; x < 400; ++x) {
            if (qRed(picture.pixel(x, y)) > 60) {
                (x < 320 ? nInkedLeft : nInkedRight)++;
            }
        }
    }
    EXPECT_GT(nInkedLeft, 100);
    EXPECT_EQ(nInkedRight, 0); // one long line, cut at the 300-pixel box
    EXPECT_EQ(qRed(picture.pixel(10, 40)), 0);
}

TEST_F(QTRenderTest, GetPictureHandsOutEachPictureOnceAndNeverRepaintsIt) {
    RenderHost host(16, 8);
    IVideoRender* pRender = host.Render();
    pRender->SetImage(SolidFrame(16, 8, qRgb(255, 0, 0)));
    host.repaint();
    const QPixmap* pFirst = pRender->GetPicture();
    EXPECT_EQ(pRender->GetPicture(), pFirst); // no paint in between: the same one
    EXPECT_EQ(pFirst->toImage().pixel(3, 3), qRgb(255, 0, 0));

    pRender->SetImage(SolidFrame(16, 8, qRgb(0, 255, 0)));
    host.repaint();
    host.repaint();
    // The picture handed out is left alone by the paints after it.
    EXPECT_EQ(pFirst->toImage().pixel(3, 3), qRgb(255, 0, 0));
    const QPixmap* pSecond = pRender->GetPicture();
    EXPECT_NE(pSecond, pFirst);
    EXPECT_EQ(pSecond->toImage().pixel(3, 3), qRgb(0, 255, 0));

    // A photo copy does not disturb the hand-over.
    pRender->SetImage(SolidFrame(16, 8, qRgb(0, 0, 255)));
    host.repaint();
    EXPECT_EQ(pRender->CopyPicture().pixel(0, 0), qRgb(0, 0, 255));
    pRender->SetImage(SolidFrame(16, 8, qRgb(255, 255, 0)));
    host.repaint();
    EXPECT_EQ(pSecond->toImage().pixel(3, 3), qRgb(0, 255, 0));
    EXPECT_EQ(pRender->GetPicture()->toImage().pixel(3, 3), qRgb(255, 255, 0));
}

} // namespace
