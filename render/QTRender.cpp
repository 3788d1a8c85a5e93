#include "render/QTRender.h"

#include "render/ImageEffects.h"
#include "render/RemarkGeometry.h"
#include "render/RemarkType.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>
#include <QtMath>

#include <cstring>

namespace {

const QRgb OpaqueBlack = qRgba(0, 0, 0, 255);

bool IsRegionType(int nType) {
    return nType == RemarkEmphasize || nType == RemarkShade;
}

bool IsCopyable32Bit(QImage::Format format) {
    // With the camera's opaque alpha these three share one memory layout.
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

// How far a stroke of this pen may reach beyond the points it joins:
// half the width, the miter of sharp joins, and a pixel of antialiasing.
int StrokeMargin(const QPen& pen) {
    return qMax(1, qCeil(pen.widthF())) + 2;
}

QRect BoundsOf(const QPoint* pPoints, int nCount) {
    QRect rcBounds(pPoints[0], QSize(1, 1));
    for (int i = 1; i < nCount; ++i) {
        rcBounds |= QRect(pPoints[i], QSize(1, 1));
    }
    return rcBounds;
}

// A crop of the composed picture, by the renderer's own zoom level; it keeps
// the 16:9 steps and the 32 x 18 minimum of the view's digital zoom.
QRect ZoomCrop(int nLevel, int nWidth, int nHeight) {
    const int nCropWidth = 32 * nLevel < nWidth ? nWidth - 32 * nLevel : 32;
    const int nCropHeight = 18 * nLevel < nHeight ? nHeight - 18 * nLevel : 18;
    return QRect(16 * nLevel, 9 * nLevel, nCropWidth, nCropHeight);
}

} // namespace

IVideoRender* CreateVideoRender(QWidget* pWidget) {
    auto* pRender = new QTRender();
    pRender->Bind(pWidget);
    return pRender;
}

QTRender::QTRender()
    : m_shapePen(QColor(255, 255, 0), 2), m_eraserPen(QColor(255, 0, 0), 2),
      m_regionPen(QColor(255, 0, 0), 4) {}

bool QTRender::Bind(QWidget* pWidget) {
    if (pWidget == nullptr || m_pWidget != nullptr) {
        return false;
    }
    m_pWidget = pWidget;
    return true;
}

void QTRender::Release() {
    delete this;
}

void QTRender::SetWidgetCursor(Qt::CursorShape nShape) {
    if (m_pWidget != nullptr) {
        m_pWidget->setCursor(nShape);
    }
}

void QTRender::Update() {
    if (m_pWidget != nullptr) {
        m_pWidget->update();
    }
}

// ---- Frames and effects ----------------------------------------------------

bool QTRender::SetImage(const QImage& image) {
    if (image.isNull()) {
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (image.width() != m_nWidth || image.height() != m_nHeight) {
            m_nWidth = image.width();
            m_nHeight = image.height();
            m_frame = QImage(m_nWidth, m_nHeight, QImage::Format_RGB32);
            for (QImage& buffer : m_compose) {
                buffer = QImage(m_nWidth, m_nHeight, QImage::Format_RGB32);
                buffer.fill(OpaqueBlack);
            }
            for (QImage& buffer : m_effect) {
                buffer = QImage();
            }
            m_layer = QImage(m_nWidth, m_nHeight, QImage::Format_ARGB32_Premultiplied);
            m_layer.fill(Qt::transparent);
            m_rcLayerUsed = QRect();
            // A snapshot of the old size cannot stand for half or a strip of
            // the new picture; the next compose takes a fresh one.
            m_compareSnapshot = QImage();
            m_titleSnapshot = QImage();
        }
        CopyFrame(image);
    }
    Update();
    return true;
}

void QTRender::CopyFrame(const QImage& image) {
    // The image usually wraps the camera's buffer, which goes back to the
    // camera when SetImage returns: copy the pixels, never share them.
    if (IsCopyable32Bit(image.format())) {
        const size_t nRowBytes = size_t(m_nWidth) * 4;
        if (image.bytesPerLine() == m_frame.bytesPerLine() &&
            size_t(image.bytesPerLine()) == nRowBytes) {
            std::memcpy(m_frame.bits(), image.constBits(), nRowBytes * size_t(m_nHeight));
        } else {
            for (int y = 0; y < m_nHeight; ++y) {
                std::memcpy(m_frame.scanLine(y), image.constScanLine(y), nRowBytes);
            }
        }
        return;
    }
    QPainter painter(&m_frame);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, image);
}

void QTRender::Paint(const QPoint& ptOrigin, const QSize& szSource) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_layer.isNull() || m_pWidget == nullptr) {
        return;
    }

    if (m_bZoomIn) {
        ++m_nZoomLevel;
    }
    if (m_bZoomOut && m_nZoomLevel > 0) {
        --m_nZoomLevel;
    }

    const int k = m_nIndex;
    // The output picture shares the pixels of buffer k; let go of it first
    // so that writing the buffer does not make Qt copy it. Nobody reads it:
    // the consumer of GetPicture holds the other index.
    m_output[k] = QPixmap();

    Compose(m_compose[k]);
    QImage* pPicture = &m_compose[k];
    if (m_nAngle != 0) {
        ImageEffects::Rotate(m_compose[k], m_nAngle, m_effect[k]);
        pPicture = &m_effect[k];
    }
    if (m_bMosaic) {
        ImageEffects::Mosaic(*pPicture, m_bMirror);
    } else if (m_bMirror) {
        ImageEffects::Mirror(*pPicture);
    }
    m_output[k] = QPixmap::fromImage(*pPicture);

    QRect rcSource(ptOrigin, szSource);
    if (rcSource.isEmpty()) {
        rcSource = pPicture->rect();
    }
    const QRect rcTarget(0, 0, m_nWidgetWidth, m_nWidgetHeight);
    QPainter painter(m_pWidget);
    if (m_nZoomLevel < 1) {
        painter.drawImage(rcTarget, *pPicture, rcSource);
    } else {
        const QImage zoomed =
            pPicture->copy(ZoomCrop(m_nZoomLevel, m_nWidth, m_nHeight))
                .scaled(m_nWidth, m_nHeight, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        painter.drawImage(rcTarget, zoomed, rcSource);
    }
    m_bNewPicture = true;
}

void QTRender::Compose(QImage& buffer) {
    QPainter painter(&buffer);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    ComposeBackground(painter);

    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const QRect rcUsed = m_rcLayerUsed & m_layer.rect();
    if (!rcUsed.isEmpty()) {
        painter.drawImage(rcUsed.topLeft(), m_layer, rcUsed);
    }
    if ((m_bPressed && m_nPointCount >= 1) || m_bRegionSet) {
        DrawOverlay(painter);
    }
}

void QTRender::ComposeBackground(QPainter& painter) {
    if (m_bCompare) {
        const int nHalf = m_nWidth / 2;
        if (m_compareSnapshot.isNull()) {
            m_compareSnapshot = m_frame.copy(nHalf, 0, nHalf, m_nHeight);
        }
        painter.drawImage(QPoint(0, 0), m_compareSnapshot, QRect(0, 0, nHalf, m_nHeight));
        painter.drawImage(QPoint(nHalf, 0), m_frame, QRect(nHalf, 0, m_nWidth - nHalf, m_nHeight));
    } else if (m_bTitle) {
        // A sixth of the width, not the height: the strip keeps its share of
        // the picture whatever its aspect ratio.
        const int nStrip = m_nWidth / 6;
        if (m_titleSnapshot.isNull()) {
            m_titleSnapshot = m_frame.copy(0, 0, m_nWidth, nStrip);
        }
        painter.drawImage(QPoint(0, 0), m_titleSnapshot, QRect(0, 0, m_nWidth, nStrip));
        painter.drawImage(QPoint(0, nStrip), m_frame,
                          QRect(0, nStrip, m_nWidth, m_nHeight - nStrip));
    } else {
        painter.drawImage(QPoint(0, 0), m_frame);
    }
}

const QPixmap* QTRender::GetPicture() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bNewPicture) {
        return &m_output[1 - m_nIndex];
    }
    const QPixmap* pPicture = &m_output[m_nIndex];
    m_bNewPicture = false;
    // The next Paint writes the other buffer, away from the picture handed out.
    m_nIndex = 1 - m_nIndex;
    return pPicture;
}

QImage QTRender::CopyPicture() {
    // The copy is made under the lock and the index is left alone: switching
    // it here would send the next Paint into the picture that GetPicture's
    // consumer may still be reading.
    std::lock_guard<std::mutex> lock(m_mutex);
    const QPixmap& newest = m_bNewPicture ? m_output[m_nIndex] : m_output[1 - m_nIndex];
    return newest.toImage().copy();
}

void QTRender::SetRotateAngle(int nAngle) {
    if (nAngle != 0 && nAngle != 90 && nAngle != 180 && nAngle != 270) {
        return;
    }
    if (nAngle != m_nAngle) {
        m_nAngle = nAngle;
        Update();
    }
}

void QTRender::OnResize() {
    if (m_pWidget == nullptr) {
        return;
    }
    const int nWidth = m_pWidget->width();
    const int nHeight = m_pWidget->height();
    if (nWidth != m_nWidgetWidth || nHeight != m_nWidgetHeight) {
        m_nWidgetWidth = nWidth;
        m_nWidgetHeight = nHeight;
        Update();
    }
}

void QTRender::SetMosaic(bool bOn) {
    m_bMosaic = bOn;
    Update();
}

void QTRender::SetMirror(bool bOn) {
    m_bMirror = bOn;
    Update();
}

void QTRender::SetCompare(bool bOn) {
    m_bCompare = bOn;
    if (bOn && m_bTitle) {
        m_bTitle = false;
        m_titleSnapshot = QImage();
    }
    if (!bOn) {
        m_compareSnapshot = QImage();
    }
    Update();
}

void QTRender::SetTitle(bool bOn) {
    m_bTitle = bOn;
    if (bOn && m_bCompare) {
        m_bCompare = false;
        m_compareSnapshot = QImage();
    }
    if (!bOn) {
        m_titleSnapshot = QImage();
    }
    Update();
}

void QTRender::SetZoomIn(bool bOn) {
    m_bZoomIn = bOn;
}

void QTRender::SetZoomOut(bool bOn) {
    m_bZoomOut = bOn;
}

// ---- Annotation layer ------------------------------------------------------

int QTRender::GetRemarkType() {
    return m_nRemarkType;
}

void QTRender::SetRemarkType(int nType) {
    if (nType == m_nRemarkType) {
        return;
    }
    m_nRemarkType = nType;
    m_bRegionSet = false;
    if (m_pWidget != nullptr) {
        m_pWidget->setMouseTracking(false);
    }
}

void QTRender::SetPen(const QPen& pen) {
    m_shapePen = pen;
}

void QTRender::SetFontSize(int nPointSize) {
    if (nPointSize > 0) {
        m_textFont.setPointSize(nPointSize);
    }
}

void QTRender::SetTextColor(const QColor& crColor) {
    m_crText = crColor;
}

void QTRender::OnMousePress(int nX, int nY) {
    if (m_layer.isNull()) {
        return;
    }
    // A set region is reshaped by dragging its edges, not drawn anew.
    if (!(IsRegionType(m_nRemarkType) && m_bRegionSet)) {
        m_points[0] = QPoint(nX, nY);
        m_nPointCount = 1;
    }
    m_bPressed = true;
}

void QTRender::OnMouseMove(int nX, int nY, bool bHeld) {
    if (m_layer.isNull()) {
        return;
    }
    if (bHeld && m_bRegionSet) {
        DragRegion(nX, nY);
    } else if (bHeld) {
        AddPoint(nX, nY);
    } else if (m_bRegionSet) {
        m_nGrabCode = RemarkGeometry::GrabCode(m_nRegionLeft, m_nRegionTop, m_nRegionRight,
                                               m_nRegionBottom, nX, nY);
        SetWidgetCursor(RemarkGeometry::GrabCursor(m_nGrabCode));
    }
}

void QTRender::OnMouseRelease(int nX, int nY) {
    if (m_layer.isNull()) {
        return;
    }
    // A release whose press was never taken (it came before the first frame)
    // has no start point; committing it would draw from a stale one.
    if (!m_bPressed) {
        return;
    }
    m_bPressed = false;
    AddPoint(nX, nY);

    QPainter painter(&m_layer);
    if (m_nRemarkType == RemarkEraser) {
        const QRect rcErase = RemarkGeometry::SpannedRect(m_points[0], m_points[1]);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillRect(rcErase, QBrush(Qt::transparent));
    } else if (IsRegionType(m_nRemarkType)) {
        if (!m_bRegionSet) {
            const QRect rcRegion = RemarkGeometry::SpannedRect(m_points[0], m_points[1]);
            m_nRegionLeft = rcRegion.x();
            m_nRegionTop = rcRegion.y();
            m_nRegionRight = rcRegion.x() + rcRegion.width();
            m_nRegionBottom = rcRegion.y() + rcRegion.height();
            if (m_nRegionLeft != m_nRegionRight && m_nRegionTop != m_nRegionBottom) {
                m_nLimitLeft = m_nRegionLeft;
                m_nLimitTop = m_nRegionTop;
                m_nLimitRight = m_nRegionRight;
                m_nLimitBottom = m_nRegionBottom;
                if (m_pWidget != nullptr) {
                    m_pWidget->setMouseTracking(true);
                }
                m_bRegionSet = true;
            }
        }
    } else {
        MarkLayerUsed(DrawOverlay(painter));
    }
    painter.end();

    m_nPointCount = 0;
    Update();
    SetWidgetCursor(Qt::ArrowCursor);
}

void QTRender::AddPoint(int nX, int nY) {
    if (m_nRemarkType == RemarkDoodle) {
        m_points[m_nPointCount] = QPoint(nX, nY);
        ++m_nPointCount;
        if (m_nPointCount == 3) {
            // One quadratic piece P -> R bent towards Q; the next piece starts
            // where this one ends.
            QPainter painter(&m_layer);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(m_shapePen);
            QPainterPath path(m_points[0]);
            path.quadTo(m_points[1], m_points[2]);
            painter.drawPath(path);
            const int nMargin = StrokeMargin(m_shapePen);
            MarkLayerUsed(BoundsOf(m_points, 3).adjusted(-nMargin, -nMargin, nMargin, nMargin));
            m_points[0] = QPoint(nX, nY);
            m_nPointCount = 1;
        }
    } else {
        m_points[1] = QPoint(nX, nY);
        m_nPointCount = 2;
    }
    Update();
}

void QTRender::DragRegion(int nX, int nY) {
    const int nCode = m_nGrabCode;
    if ((nCode == 1 || nCode == 5 || nCode == 7) && nX < m_nLimitRight) {
        m_nRegionLeft = nX;
    }
    if ((nCode == 2 || nCode == 6 || nCode == 8) && nX > m_nLimitLeft) {
        m_nRegionRight = nX;
    }
    if ((nCode == 3 || nCode == 5 || nCode == 6) && nY < m_nLimitBottom) {
        m_nRegionTop = nY;
    }
    if ((nCode == 4 || nCode == 7 || nCode == 8) && nY > m_nLimitTop) {
        m_nRegionBottom = nY;
    }
    m_nLimitLeft = m_nRegionLeft;
    m_nLimitTop = m_nRegionTop;
    m_nLimitRight = m_nRegionRight;
    m_nLimitBottom = m_nRegionBottom;
    Update();
}

QRect QTRender::DrawOverlay(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    const QPoint& ptP = m_points[0];
    const QPoint& ptQ = m_points[1];
    const bool bDragged = m_nPointCount == 2;
    const int nMargin = StrokeMargin(m_shapePen);
    const QRect rcSpanned = RemarkGeometry::SpannedRect(ptP, ptQ);
    QRect rcTouched;
    bool bDrawn = false;

    switch (m_nRemarkType) {
    case RemarkLine:
        if (bDragged) {
            painter.setPen(m_shapePen);
            const QLine line(ptP, ptQ);
            painter.drawLines(&line, 1);
            rcTouched = rcSpanned;
            bDrawn = true;
        }
        break;
    case RemarkArrow:
        if (bDragged) {
            const std::array<QPoint, 7> points = RemarkGeometry::ArrowPoints(ptP, ptQ);
            QLine lines[7];
            for (size_t i = 0; i < points.size(); ++i) {
                lines[i] = QLine(points[i], points[(i + 1) % points.size()]);
            }
            painter.setPen(m_shapePen);
            painter.drawLines(lines, 7);
            rcTouched = BoundsOf(points.data(), int(points.size()));
            bDrawn = true;
        }
        break;
    case RemarkTriangle:
        if (bDragged) {
            const std::array<QPoint, 3> points = RemarkGeometry::TrianglePoints(ptP, ptQ);
            const QLine lines[3] = {QLine(points[0], points[1]), QLine(points[1], points[2]),
                                    QLine(points[2], points[0])};
            painter.setPen(m_shapePen);
            painter.drawLines(lines, 3);
            rcTouched = BoundsOf(points.data(), int(points.size()));
            bDrawn = true;
        }
        break;
    case RemarkRectangle:
        if (bDragged) {
            painter.setPen(m_shapePen);
            painter.drawRect(rcSpanned);
            rcTouched = rcSpanned;
            bDrawn = true;
        }
        break;
    case RemarkDiamond:
        if (bDragged) {
            const std::array<QLine, 4> lines = RemarkGeometry::DiamondLines(rcSpanned);
            painter.setPen(m_shapePen);
            painter.drawLines(lines.data(), int(lines.size()));
            rcTouched = rcSpanned;
            bDrawn = true;
        }
        break;
    case RemarkEllipse:
        if (bDragged) {
            painter.setPen(m_shapePen);
            painter.drawEllipse(rcSpanned);
            rcTouched = rcSpanned;
            bDrawn = true;
        }
        break;
    case RemarkEraser:
        if (bDragged) {
            painter.setPen(m_eraserPen);
            painter.drawRect(rcSpanned);
        }
        break;
    case RemarkEmphasize:
    case RemarkShade:
        if (m_bRegionSet) {
            DrawRegion(painter);
        } else if (bDragged) {
            painter.setPen(m_regionPen);
            painter.drawRect(rcSpanned);
        }
        break;
    default:
        break;
    }
    if (!bDrawn) {
        return QRect();
    }
    return rcTouched.adjusted(-nMargin, -nMargin, nMargin + 1, nMargin + 1);
}

void QTRender::DrawRegion(QPainter& painter) {
    const int nLeft = m_nRegionLeft;
    const int nTop = m_nRegionTop;
    const int nRight = m_nRegionRight;
    const int nBottom = m_nRegionBottom;
    const QColor crBlack(0, 0, 0, 255);
    if (m_nRemarkType == RemarkEmphasize) {
        const auto fill = [&](int nX, int nY, int nWidth, int nHeight) {
            if (nWidth > 0 && nHeight > 0) {
                painter.fillRect(nX, nY, nWidth, nHeight, crBlack);
            }
        };
        fill(0, 0, nLeft, m_nHeight);
        fill(nRight, 0, m_nWidth - nRight, m_nHeight);
        fill(nLeft, 0, nRight - nLeft, nTop);
        fill(nLeft, nBottom, nRight - nLeft, m_nHeight - nBottom);
    } else {
        painter.fillRect(nLeft, nTop, nRight - nLeft, nBottom - nTop, crBlack);
    }
    painter.setPen(m_regionPen);
    painter.drawRect(nLeft, nTop, nRight - nLeft, nBottom - nTop);
}

void QTRender::DrawText(int nX, int nY, const QString& strText) {
    if (m_layer.isNull()) {
        return;
    }
    const QRect rcBox(nX, nY, RemarkTextBoxSize, RemarkTextBoxSize);
    QPainter painter(&m_layer);
    painter.setFont(m_textFont);
    painter.setPen(QPen(m_crText));
    // drawText clips to the box: what does not fit is cut off.
    painter.drawText(rcBox, Qt::AlignLeft, strText);
    painter.end();
    MarkLayerUsed(rcBox);
    Update();
}

void QTRender::ClearRemark() {
    if (m_layer.isNull()) {
        return;
    }
    m_layer.fill(Qt::transparent);
    m_rcLayerUsed = QRect();
}

void QTRender::MarkLayerUsed(const QRect& rcArea) {
    m_rcLayerUsed |= rcArea & m_layer.rect();
}
