#include "render/RemarkGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The constants are kept as the drawing has always used them: they decide
// the exact pixels of committed shapes.
constexpr double TwoPi = 6.283185308;
constexpr double Pi = 3.141592654;
constexpr double TanThirtyDegrees = 0.57735026918963;

// Grab bands reach this far outside an edge (exclusive).
constexpr int GrabBand = 4;

} // namespace

QRect RemarkGeometry::SpannedRect(const QPoint& ptP, const QPoint& ptQ) {
    const int nLeft = std::min(ptP.x(), ptQ.x());
    const int nTop = std::min(ptP.y(), ptQ.y());
    const int nRight = std::max(ptP.x(), ptQ.x());
    const int nBottom = std::max(ptP.y(), ptQ.y());
    return QRect(nLeft, nTop, nRight - nLeft, nBottom - nTop);
}

std::array<QPoint, 7> RemarkGeometry::ArrowPoints(const QPoint& ptP, const QPoint& ptQ) {
    const int nDx = ptQ.x() - ptP.x();
    const int nDy = ptQ.y() - ptP.y();
    const bool bLevel = nDy == 0;
    const int nLength = bLevel ? std::abs(nDx) : static_cast<int>(std::hypot(nDx, nDy));

    const int nHalfShaft = nLength / 12;
    const int nHeadExtra = (2 * nHalfShaft) / 3;
    const int nHeadStart = (4 * nLength) / 5;
    const std::array<QPoint, 7> offsets = {
        QPoint(0, -nHalfShaft),
        QPoint(nHeadStart, -nHalfShaft),
        QPoint(nHeadStart, -nHalfShaft - nHeadExtra),
        QPoint(nLength, 0),
        QPoint(nHeadStart, nHalfShaft + nHeadExtra),
        QPoint(nHeadStart, nHalfShaft),
        QPoint(0, nHalfShaft),
    };

    std::array<QPoint, 7> points;
    if (bLevel) {
        const int nSign = nDx >= 0 ? 1 : -1;
        for (size_t i = 0; i < offsets.size(); ++i) {
            points[i] = QPoint(ptP.x() + nSign * offsets[i].x(), ptP.y() + offsets[i].y());
        }
        return points;
    }

    // nLength >= |nDy| >= 1 here, so the sine stays within [-1, 1].
    const double dSine = static_cast<double>(nDy) / nLength;
    const double dAngle = ptP.x() < ptQ.x() ? std::asin(dSine) + TwoPi : Pi - std::asin(dSine);
    const double dCos = std::cos(dAngle);
    const double dSin = std::sin(dAngle);
    for (size_t i = 0; i < offsets.size(); ++i) {
        const double dX = offsets[i].x();
        const double dY = offsets[i].y();
        points[i] = QPoint(static_cast<int>(dX * dCos - dY * dSin + ptP.x()),
                           static_cast<int>(dX * dSin + dY * dCos + ptP.y()));
    }
    return points;
}

std::array<QPoint, 3> RemarkGeometry::TrianglePoints(const QPoint& ptP, const QPoint& ptQ) {
    if (ptP.x() == ptQ.x()) {
        const int nHalf = static_cast<int>(std::abs(ptQ.y() - ptP.y()) * TanThirtyDegrees);
        return {ptP, QPoint(ptP.x() + nHalf, ptQ.y()), QPoint(ptP.x() - nHalf, ptQ.y())};
    }

    // Built as a triangle pointing straight up or down from P, then turned
    // about P so that its base passes through Q.
    const double dDistance = std::hypot(ptQ.x() - ptP.x(), ptQ.y() - ptP.y());
    const double dAlpha = std::asin((ptQ.x() - ptP.x()) / dDistance);
    double dAngle = 0;
    int nBaseY = 0;
    if (ptP.y() < ptQ.y()) {
        dAngle = TwoPi - dAlpha;
        nBaseY = static_cast<int>(ptP.y() + dDistance);
    } else {
        dAngle = dAlpha + TwoPi;
        nBaseY = static_cast<int>(ptP.y() - dDistance);
    }
    const int nHalf = static_cast<int>(dDistance * TanThirtyDegrees);
    const double dCos = std::cos(dAngle);
    const double dSin = std::sin(dAngle);
    const double dBaseOffset = nBaseY - ptP.y();

    std::array<QPoint, 3> points = {ptP, QPoint(), QPoint()};
    const int corners[2] = {-nHalf, nHalf};
    for (int i = 0; i < 2; ++i) {
        const double dK = corners[i];
        points[i + 1] = QPoint(static_cast<int>(dK * dCos - dBaseOffset * dSin + ptP.x()),
                               static_cast<int>(dBaseOffset * dCos + dK * dSin + ptP.y()));
    }
    return points;
}

std::array<QLine, 4> RemarkGeometry::DiamondLines(const QRect& rcBox) {
    const int nLeft = rcBox.x();
    const int nTop = rcBox.y();
    const int nRight = rcBox.x() + rcBox.width();
    const int nBottom = rcBox.y() + rcBox.height();
    const int nMidX = nLeft + rcBox.width() / 2;
    const int nMidY = nTop + rcBox.height() / 2;
    return {QLine(nLeft, nMidY, nMidX, nTop), QLine(nMidX, nTop, nRight, nMidY),
            QLine(nRight, nMidY, nMidX, nBottom), QLine(nMidX, nBottom, nLeft, nMidY)};
}

int RemarkGeometry::GrabCode(int nLeft, int nTop, int nRight, int nBottom, int nX, int nY) {
    int nHorizontal = 0;
    if (nRight < nX && nX - nRight < GrabBand) {
        nHorizontal = 2;
    } else if (nX < nLeft && nLeft - nX < GrabBand) {
        nHorizontal = 1;
    }
    if (nY < nTop && nTop - nY < GrabBand) {
        static const int topCodes[3] = {3, 5, 6};
        return topCodes[nHorizontal];
    }
    if (nY > nBottom && nY - nBottom < GrabBand) {
        static const int bottomCodes[3] = {4, 7, 8};
        return bottomCodes[nHorizontal];
    }
    return nHorizontal;
}

Qt::CursorShape RemarkGeometry::GrabCursor(int nCode) {
    switch (nCode) {
    case 1:
    case 2:
        return Qt::SizeHorCursor;
    case 3:
    case 4:
        return Qt::SizeVerCursor;
    case 5:
    case 8:
        return Qt::SizeFDiagCursor;
    case 6:
    case 7:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}
