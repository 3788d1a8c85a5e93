// Exact geometry of the annotation shapes: these points decide the pixels
// that end up in photos and recordings.

#include "render/RemarkGeometry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

template <size_t N> std::vector<QPoint> ToVector(const std::array<QPoint, N>& points) {
    return std::vector<QPoint>(points.begin(), points.end());
}

TEST(RemarkGeometryTest, ArrowOutlineByDirection) {
    // Level, to the right: L 120, half shaft 10, head extra 6, head at 96.
    EXPECT_EQ(
        ToVector(RemarkGeometry::ArrowPoints({100, 100}, {220, 100})),
        (std::vector<QPoint>{
            {100, 90}, {196, 90}, {196, 84}, {220, 100}, {196, 116}, {196, 110}, {100, 110}}));
    // Level, to the left: the same outline turned round, tip at Q.
    EXPECT_EQ(
        ToVector(RemarkGeometry::ArrowPoints({220, 100}, {100, 100})),
        (std::vector<QPoint>{
            {220, 90}, {124, 90}, {124, 84}, {100, 100}, {124, 116}, {124, 110}, {220, 110}}));
    // Slanted both ways and straight up: the tip lands on (or a pixel off) Q.
    EXPECT_EQ(
        ToVector(RemarkGeometry::ArrowPoints({100, 100}, {190, 160})),
        (std::vector<QPoint>{
            {105, 92}, {176, 140}, {179, 135}, {189, 160}, {163, 160}, {166, 155}, {94, 107}}));
    EXPECT_EQ(ToVector(RemarkGeometry::ArrowPoints({200, 50}, {80, 140})),
              (std::vector<QPoint>{
                  {207, 59}, {111, 131}, {115, 137}, {79, 139}, {91, 105}, {96, 112}, {192, 40}}));
    EXPECT_EQ(ToVector(RemarkGeometry::ArrowPoints({50, 200}, {50, 80})),
              (std::vector<QPoint>{
                  {40, 199}, {40, 103}, {34, 103}, {50, 80}, {66, 104}, {60, 104}, {60, 200}}));
    // A click: everything collapses onto P.
    for (const QPoint& pt : RemarkGeometry::ArrowPoints({7, 9}, {7, 9})) {
        EXPECT_EQ(pt, QPoint(7, 9));
    }
}

TEST(RemarkGeometryTest, TriangleApexAtPressBaseThroughRelease) {
    // Vertical: half base = trunc(60 * tan 30) = 34.
    EXPECT_EQ(ToVector(RemarkGeometry::TrianglePoints({50, 20}, {50, 80})),
              (std::vector<QPoint>{{50, 20}, {84, 80}, {16, 80}}));
    EXPECT_EQ(ToVector(RemarkGeometry::TrianglePoints({40, 40}, {100, 120})),
              (std::vector<QPoint>{{40, 40}, {54, 154}, {145, 85}}));
    // Dragged upwards the base lies above the apex.
    EXPECT_EQ(ToVector(RemarkGeometry::TrianglePoints({100, 120}, {40, 40})),
              (std::vector<QPoint>{{100, 120}, {-5, 74}, {85, 5}}));
}

TEST(RemarkGeometryTest, SpannedRectAndDiamond) {
    EXPECT_EQ(RemarkGeometry::SpannedRect({30, 5}, {10, 25}), QRect(10, 5, 20, 20));
    EXPECT_TRUE(RemarkGeometry::SpannedRect({10, 5}, {30, 5}).isEmpty());

    // Midpoints by integer division: a 21 x 11 box has its middle at (10, 5).
    const std::array<QLine, 4> lines = RemarkGeometry::DiamondLines(QRect(0, 0, 21, 11));
    EXPECT_EQ(lines[0], QLine(0, 5, 10, 0));
    EXPECT_EQ(lines[1], QLine(10, 0, 21, 5));
    EXPECT_EQ(lines[2], QLine(21, 5, 10, 11));
    EXPECT_EQ(lines[3], QLine(10, 11, 0, 5));
}

TEST(RemarkGeometryTest, GrabBandsJustOutsideEachEdge) {
    // Region 10..50 x 20..60.
    const auto code = [](int x, int y) { return RemarkGeometry::GrabCode(10, 20, 50, 60, x, y); };
    EXPECT_EQ(code(30, 40), 0); // inside
    EXPECT_EQ(code(10, 40), 0); // on the edge itself
    EXPECT_EQ(code(9, 40), 1);
    EXPECT_EQ(code(7, 40), 1);
    EXPECT_EQ(code(6, 40), 0); // four pixels out: beyond the band
    EXPECT_EQ(code(53, 40), 2);
    EXPECT_EQ(code(30, 17), 3);
    EXPECT_EQ(code(30, 63), 4);
    EXPECT_EQ(code(8, 18), 5);
    EXPECT_EQ(code(52, 18), 6);
    EXPECT_EQ(code(8, 62), 7);
    EXPECT_EQ(code(52, 62), 8);
    // A band is not limited along its edge: far above the left band still grabs the left edge.
    EXPECT_EQ(code(9, 500), 1);
    EXPECT_EQ(code(300, 19), 3);

    EXPECT_EQ(RemarkGeometry::GrabCursor(0), Qt::ArrowCursor);
    EXPECT_EQ(RemarkGeometry::GrabCursor(1), Qt::SizeHorCursor);
    EXPECT_EQ(RemarkGeometry::GrabCursor(2), Qt::SizeHorCursor);
    EXPECT_EQ(RemarkGeometry::GrabCursor(3), Qt::SizeVerCursor);
    EXPECT_EQ(RemarkGeometry::GrabCursor(4), Qt::SizeVerCursor);
    EXPECT_EQ(RemarkGeometry::GrabCursor(5), Qt::SizeFDiagCursor);
    EXPECT_EQ(RemarkGeometry::GrabCursor(8), Qt::SizeFDiagCursor);
    EXPECT_EQ(RemarkGeometry::GrabCursor(6), Qt::SizeBDiagCursor);
    EXPECT_EQ(RemarkGeometry::GrabCursor(7), Qt::SizeBDiagCursor);
}

} // namespace
