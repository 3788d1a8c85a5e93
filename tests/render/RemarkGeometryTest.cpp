// Exact geometry of the annotation shapes: these points decide the pixels
// that end up in photos and recordings.

#include "render/RemarkGeometry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Points = std::vector<QPoint>;

template <typename T, size_t N> std::vector<T> ToVector(const std::array<T, N>& items) {
    return std::vector<T>(items.begin(), items.end());
}

TEST(RemarkGeometryTest, ShapeOutlines) {
    // Each row: P, Q, then the outline. Half shaft 10, head 6 wider, tip
    // fourth; slanted tips land on Q or a pixel off it, a click collapses onto P.
    // clang-format off
    const Points arrows[] = {
        {{100, 100}, {220, 100}, {100, 90}, {196, 90}, {196, 84}, {220, 100}, {196, 116}, {196, 110}, {100, 110}},
        {{100, 100}, {190, 160}, {105, 92}, {176, 140}, {179, 135}, {189, 160}, {163, 160}, {166, 155}, {94, 107}},
        {{200, 50}, {80, 140}, {207, 59}, {111, 131}, {115, 137}, {79, 139}, {91, 105}, {96, 112}, {192, 40}},
        {{50, 200}, {50, 80}, {40, 199}, {40, 103}, {34, 103}, {50, 80}, {66, 104}, {60, 104}, {60, 200}},
        Points(9, QPoint(7, 9)),
    };
    // clang-format on
    for (const Points& row : arrows) {
        EXPECT_EQ(ToVector(RemarkGeometry::ArrowPoints(row[0], row[1])),
                  Points(row.begin() + 2, row.end()))
            << "to " << row[1].x() << "," << row[1].y();
    }
    // Apex at P, half base trunc(|PQ| * tan 30); dragged upwards the base lies
    // above the apex.
    EXPECT_EQ(ToVector(RemarkGeometry::TrianglePoints({40, 40}, {100, 120})),
              (Points{{40, 40}, {54, 154}, {145, 85}}));
    EXPECT_EQ(ToVector(RemarkGeometry::TrianglePoints({100, 120}, {40, 40})),
              (Points{{100, 120}, {-5, 74}, {85, 5}}));
    EXPECT_EQ(RemarkGeometry::SpannedRect({30, 5}, {10, 25}), QRect(10, 5, 20, 20));
    EXPECT_TRUE(RemarkGeometry::SpannedRect({10, 5}, {30, 5}).isEmpty());
    // Midpoints by integer division: a 21 x 11 box has its middle at (10, 5).
    EXPECT_EQ(ToVector(RemarkGeometry::DiamondLines(QRect(0, 0, 21, 11))),
              (std::vector<QLine>{{0, 5, 10, 0}, {10, 0, 21, 5}, {21, 5, 10, 11}, {10, 11, 0, 5}}));
}

TEST(RemarkGeometryTest, GrabBandsJustOutsideEachEdgeAndTheirCursors) {
    // Region 10..50 x 20..60. The bands are three pixels wide and reach
    // along their edge without limit.
    const struct {
        int nX, nY, nCode;
        Qt::CursorShape nCursor;
    } rows[] = {
        // clang-format off
        {30, 40, 0, Qt::ArrowCursor}, {10, 40, 0, Qt::ArrowCursor}, {6, 40, 0, Qt::ArrowCursor},
        {9, 40, 1, Qt::SizeHorCursor}, {7, 40, 1, Qt::SizeHorCursor}, {9, 500, 1, Qt::SizeHorCursor},
        {53, 40, 2, Qt::SizeHorCursor}, {30, 17, 3, Qt::SizeVerCursor}, {300, 19, 3, Qt::SizeVerCursor},
        {30, 63, 4, Qt::SizeVerCursor}, {8, 18, 5, Qt::SizeFDiagCursor}, {52, 18, 6, Qt::SizeBDiagCursor},
        {8, 62, 7, Qt::SizeBDiagCursor}, {52, 62, 8, Qt::SizeFDiagCursor},
        // clang-format on
    };
    for (const auto& row : rows) {
        const int nCode = RemarkGeometry::GrabCode(10, 20, 50, 60, row.nX, row.nY);
        EXPECT_EQ(nCode, row.nCode) << row.nX << "," << row.nY;
        EXPECT_EQ(RemarkGeometry::GrabCursor(nCode), row.nCursor) << row.nX << "," << row.nY;
    }
}

} // namespace
