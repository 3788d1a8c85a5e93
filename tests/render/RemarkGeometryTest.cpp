// Where a pointer grabs an edge of an emphasize/shade region, exactly at the
// bands' boundaries; the shapes' geometry is checked on the drawn picture.

#include "render/RemarkGeometry.h"

#include <gtest/gtest.h>

namespace {

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
        {53, 40, 2, Qt::SizeHorCursor}, {54, 40, 0, Qt::ArrowCursor}, {30, 17, 3, Qt::SizeVerCursor},
        {300, 19, 3, Qt::SizeVerCursor}, {30, 63, 4, Qt::SizeVerCursor}, {30, 64, 0, Qt::ArrowCursor},
        {8, 18, 5, Qt::SizeFDiagCursor}, {52, 18, 6, Qt::SizeBDiagCursor},
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
