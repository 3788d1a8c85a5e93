#pragma once

#include <QLine>
#include <QPoint>
#include <QRect>

#include <array>

// The geometry of the annotation shapes and of the emphasize/shade region,
// in integer picture pixels. P is where the drag began, Q where it is now.
class RemarkGeometry {
public:
    // The rectangle spanned by P and Q: left/top the smaller, right/bottom
    // the larger coordinates, so its width is |Q.x - P.x| (a drag along one
    // axis gives an empty rectangle).
    static QRect SpannedRect(const QPoint& ptP, const QPoint& ptQ);

    // The seven outline points of an arrow from P to Q, tip fourth.
    static std::array<QPoint, 7> ArrowPoints(const QPoint& ptP, const QPoint& ptQ);

    // An equilateral-looking triangle with its apex at P and its base through
    // Q, square to PQ: apex, then the two base corners.
    static std::array<QPoint, 3> TrianglePoints(const QPoint& ptP, const QPoint& ptQ);

    // The four sides of the diamond inscribed in rcBox.
    static std::array<QLine, 4> DiamondLines(const QRect& rcBox);

    // Which edge of a region a pointer at (nX, nY) would grab: 0 none,
    // 1 left, 2 right, 3 top, 4 bottom, 5 top-left, 6 top-right,
    // 7 bottom-left, 8 bottom-right. The grab zones are the three-pixel bands
    // just outside each edge.
    static int GrabCode(int nLeft, int nTop, int nRight, int nBottom, int nX, int nY);

    static Qt::CursorShape GrabCursor(int nCode);
};
