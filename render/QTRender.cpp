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

bool IsRegionType(int nType) {
    return nType == RemarkEmphasize || nType == RemarkShade;
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

// Makes image a picture of that size and format unless it is one; false when
// Qt refuses the size.
bool Fit(QImage& image, const QSize& size, QImage::Format format) {
    if (image.size() != size || image.format() != format) {
        image = QImage(size, format);
    }
    return !image.isNull();
}

// Copies rcSource of source to ptTarget in target, both 32-bit.
void CopyRect(const QImage& source, const QRect& rcSource, QImage& target, const QPoint& ptTarget) {
    const size_t nRowBytes = size_t(rcSource.width()) * 4;
    if (ptTarget.x() == 0 && size_t(source.bytesPerLine()) == nRowBytes &&
        size_t(target.bytesPerLine()) == nRowBytes) {
        std::memcpy(target.scanLine(ptTarget.y()), source.constScanLine(rcSource.y()),
                    nRowBytes * size_t(rcSource.height()));
        return;
    }
    for (int y = 0; y < rcSource.height(); ++y) {
        std::memcpy(target.scanLine(ptTarget.y() + y) + ptTarget.x() * 4,
                    source.constScanLine(rcSource.y() + y) + rcSource.x() * 4, nRowBytes);
    }
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
    m_bChanged = true;
    if (m_pWidget != nullptr) {
        m_pWidget->update();
    }
}

// ---- Frames and effects ----------------------------------------------------

bool QTRender::SetImage(const QImage& image) {
    if (image.isNull()) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (image.width() != m_nWidth || image.height() != m_nHeight) {
            // All or nothing: a size Qt refuses (too big, or corrupt) leaves
            // the renderer with the picture and drawings it had.
            QImage frame(image.size(), QImage::Format_RGB32);
            QImage layer(image.size(), QImage::Format_ARGB32_Premultiplied);
            if (frame.isNull() || layer.isNull()) {
                return false;
            }
            layer.fill(Qt::transparent);
            m_nWidth = image.width();
            m_nHeight = image.height();
            m_frames[0] = frame;
            m_frames[1] = m_frames[2] = QImage();
            m_nFrame = 0;
            // The output pictures keep their pixels until they are replaced;
            // they share no buffer of the new size.
            m_nOutputFrame[0] = m_nOutputFrame[1] = -1;
            m_composed[0] = m_composed[1] = m_scratch = QImage();
            m_layer = layer;
            m_rcLayerUsed = QRect();
            // A snapshot of the old size cannot stand for half or a strip of
            // the new picture; the next compose takes a fresh one.
            m_compareSnapshot = QImage();
            m_titleSnapshot = QImage();
        }
        // The newest frame's own buffer if no output shares it, else a free one.
        int nFrame = m_nFrame;
        while (nFrame == m_nOutputFrame[0] || nFrame == m_nOutputFrame[1]) {
            nFrame = (nFrame + 1) % 3;
        }
        if (!Fit(m_frames[nFrame], image.size(), QImage::Format_RGB32)) {
            return false;
        }
        CopyFrame(image, m_frames[nFrame]);
        m_nFrame = nFrame;
    }
    Update();
    return true;
}

void QTRender::CopyFrame(const QImage& image, QImage& frame) {
    // The image usually wraps the camera's buffer, which goes back to the
    // camera when SetImage returns: copy the pixels, never share them.
    if (!ImageEffects::Turn(image, 0, false, frame)) {
        QPainter painter(&frame);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, image);
    }
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

    ComposeIfChanged();
    const QPixmap& picture = NewestPicture();
    if (picture.isNull()) {
        return;
    }
    QRect rcSource(ptOrigin, szSource);
    if (rcSource.isEmpty()) {
        rcSource = picture.rect();
    }
    const QRect rcTarget(0, 0, m_nWidgetWidth, m_nWidgetHeight);
    QPainter painter(m_pWidget);
    if (m_nZoomLevel < 1) {
        painter.drawPixmap(rcTarget, picture, rcSource);
    } else {
        const QPixmap zoomed =
            picture.copy(ZoomCrop(m_nZoomLevel, m_nWidth, m_nHeight))
                .scaled(m_nWidth, m_nHeight, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        painter.drawPixmap(rcTarget, zoomed, rcSource);
    }
}

void QTRender::ComposePicture() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_layer.isNull()) {
        ComposeIfChanged();
    }
}

bool QTRender::ComposeIfChanged() {
    if (!m_bChanged) {
        return true;
    }
    if (!Compose(m_nIndex)) {
        return false;
    }
    m_bChanged = false;
    m_bNewPicture = true;
    return true;
}

bool QTRender::Compose(int k) {
    const QImage& frame = m_frames[m_nFrame];
    const bool bBackground = m_bCompare || m_bTitle;
    QRect rcDrawn = m_rcLayerUsed;
    if (OverlayShown()) {
        rcDrawn |= DrawOverlay(nullptr);
    }
    rcDrawn &= frame.rect();
    // The mosaic flips while it fills; otherwise the mirror goes with the turn.
    const bool bMirrorTurn = m_bMirror && !m_bMosaic;
    const bool bTurned = m_nAngle != 0 || bMirrorTurn;

    if (!bBackground && !bTurned && !m_bMosaic && rcDrawn.isEmpty()) {
        // Shown as it came: the frame buffer is the output picture.
        if (m_nOutputFrame[1 - k] == m_nFrame) {
            m_output[k] = m_output[1 - k];
        } else {
            m_output[k] = QPixmap::fromImage(frame);
        }
        m_nOutputFrame[k] = m_nFrame;
        return true;
    }

    // A small drawn part is composed apart and turned on its own; turning it
    // with the whole picture would take a second pass over all of it.
    const bool bTurnPart =
        bTurned && !bBackground &&
        qint64(rcDrawn.width()) * rcDrawn.height() * 3 <= qint64(m_nWidth) * m_nHeight;
    const bool bScratch = bTurned && (bBackground || !rcDrawn.isEmpty());
    const QSize turnedSize = ImageEffects::TurnedSize(frame.size(), m_nAngle);
    if (!Fit(m_composed[k], turnedSize, QImage::Format_RGB32) ||
        (bScratch && !Fit(m_scratch, frame.size(), QImage::Format_RGB32))) {
        return false;
    }
    if (m_bCompare && m_compareSnapshot.isNull()) {
        m_compareSnapshot = frame.copy(m_nWidth / 2, 0, m_nWidth / 2, m_nHeight);
    } else if (m_bTitle && m_titleSnapshot.isNull()) {
        // A sixth of the width, not the height: the strip keeps its share of
        // the picture whatever its aspect ratio, up to all of a wide one.
        m_titleSnapshot = frame.copy(0, 0, m_nWidth, qMin(m_nWidth / 6, m_nHeight));
    }
    if ((m_bCompare && m_compareSnapshot.isNull()) || (m_bTitle && m_titleSnapshot.isNull())) {
        return false;
    }

    // Output k shares buffer k's pixels; let go of it first so that writing
    // the buffer does not make Qt copy it. Nobody reads it: GetPicture's
    // consumer holds the other index.
    m_output[k] = QPixmap();
    m_nOutputFrame[k] = -1;
    QImage& output = m_composed[k];
    if (!bTurned && !bBackground && rcDrawn.isEmpty()) {
        ImageEffects::Mosaic(frame, m_bMirror, output);
    } else {
        // The unturned picture with its drawings, straight in the output or,
        // when it is turned afterwards, in the scratch buffer.
        QImage& unturned = bTurned ? m_scratch : output;
        if (bTurnPart) {
            ImageEffects::Turn(frame, m_nAngle, bMirrorTurn, output);
            ImageEffects::TurnPart(frame, rcDrawn, 0, false, m_scratch);
        } else if (bBackground) {
            ComposeBackground(unturned);
        } else {
            ImageEffects::Turn(frame, 0, false, unturned);
        }
        DrawDrawings(unturned, rcDrawn);
        if (bTurned) {
            ImageEffects::TurnPart(m_scratch, bTurnPart ? rcDrawn : m_scratch.rect(), m_nAngle,
                                   bMirrorTurn, output);
        }
        if (m_bMosaic) {
            ImageEffects::Mosaic(output, m_bMirror, output);
        }
    }
    m_output[k] = QPixmap::fromImage(output);
    return true;
}

void QTRender::ComposeBackground(QImage& target) {
    const QImage& frame = m_frames[m_nFrame];
    if (m_bCompare) {
        const int nHalf = m_nWidth / 2;
        CopyRect(m_compareSnapshot, QRect(0, 0, nHalf, m_nHeight), target, QPoint(0, 0));
        CopyRect(frame, QRect(nHalf, 0, m_nWidth - nHalf, m_nHeight), target, QPoint(nHalf, 0));
    } else {
        const int nStrip = m_titleSnapshot.height();
        CopyRect(m_titleSnapshot, m_titleSnapshot.rect(), target, QPoint(0, 0));
        CopyRect(frame, QRect(0, nStrip, m_nWidth, m_nHeight - nStrip), target, QPoint(0, nStrip));
    }
}

void QTRender::DrawDrawings(QImage& target, const QRect& rcDrawn) {
    if (rcDrawn.isEmpty()) {
        return;
    }
    QPainter painter(&target);
    // Nothing may reach past the part that is turned on its own.
    painter.setClipRect(rcDrawn);
    const QRect rcUsed = m_rcLayerUsed & m_layer.rect();
    if (!rcUsed.isEmpty()) {
        painter.drawImage(rcUsed.topLeft(), m_layer, rcUsed);
    }
    if (OverlayShown()) {
        DrawOverlay(&painter);
    }
}

const QPixmap& QTRender::NewestPicture() const {
    return m_bNewPicture ? m_output[m_nIndex] : m_output[1 - m_nIndex];
}

const QPixmap* QTRender::GetPicture() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bNewPicture) {
        return &m_output[1 - m_nIndex];
    }
    const QPixmap* pPicture = &m_output[m_nIndex];
    m_bNewPicture = false;
    // The next composition writes the other buffer, away from the picture
    // handed out.
    m_nIndex = 1 - m_nIndex;
    return pPicture;
}

QImage QTRender::CopyPicture() {
    // The copy is made under the lock and the index is left alone: switching
    // it here would send the next composition into the picture that
    // GetPicture's consumer may still be reading.
    std::lock_guard<std::mutex> lock(m_mutex);
    return NewestPicture().toImage().copy();
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
        m_pWidget->update(); // the same picture, drawn at the new size
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
    m_bChanged = true;
    if (m_pWidget != nullptr) {
        m_pWidget->setMouseTracking(false);
    }
}

void QTRender::SetPen(const QPen& pen) {
    m_shapePen = pen;
    m_bChanged = true; // a shape being drawn shows in it
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
    m_bChanged = true;
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
        MarkLayerUsed(DrawOverlay(&painter));
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

bool QTRender::OverlayShown() const {
    return (m_bPressed && m_nPointCount >= 1) || m_bRegionSet;
}

QRect QTRender::DrawOverlay(QPainter* pPainter) {
    if (pPainter != nullptr) {
        pPainter->setRenderHint(QPainter::Antialiasing);
        pPainter->setBrush(Qt::NoBrush);
    }
    if (m_bRegionSet) {
        if (pPainter != nullptr) {
            DrawRegion(*pPainter);
        }
        const int nMargin = StrokeMargin(m_regionPen);
        return m_nRemarkType == RemarkEmphasize
                   ? QRect(0, 0, m_nWidth, m_nHeight)
                   : QRect(QPoint(m_nRegionLeft, m_nRegionTop),
                           QPoint(m_nRegionRight, m_nRegionBottom))
                         .adjusted(-nMargin, -nMargin, nMargin, nMargin);
    }
    if (m_nPointCount != 2) {
        return QRect();
    }
    const QPoint& ptP = m_points[0];
    const QPoint& ptQ = m_points[1];
    const QRect rcSpanned = RemarkGeometry::SpannedRect(ptP, ptQ);
    QRect rcTouched = rcSpanned;
    QPen pen = m_shapePen;
    QLine lines[7];
    int nLines = 0;
    bool bEllipse = false;
    switch (m_nRemarkType) {
    case RemarkLine:
        lines[nLines++] = QLine(ptP, ptQ);
        break;
    case RemarkArrow: {
        const std::array<QPoint, 7> points = RemarkGeometry::ArrowPoints(ptP, ptQ);
        for (size_t i = 0; i < points.size(); ++i) {
            lines[nLines++] = QLine(points[i], points[(i + 1) % points.size()]);
        }
        rcTouched = BoundsOf(points.data(), int(points.size()));
        break;
    }
    case RemarkTriangle: {
        const std::array<QPoint, 3> points = RemarkGeometry::TrianglePoints(ptP, ptQ);
        for (size_t i = 0; i < points.size(); ++i) {
            lines[nLines++] = QLine(points[i], points[(i + 1) % points.size()]);
        }
        rcTouched = BoundsOf(points.data(), int(points.size()));
        break;
    }
    case RemarkDiamond:
        for (const QLine& line : RemarkGeometry::DiamondLines(rcSpanned)) {
            lines[nLines++] = line;
        }
        break;
    case RemarkEllipse:
        bEllipse = true;
        break;
    case RemarkRectangle:
        break;
    case RemarkEraser:
        pen = m_eraserPen;
        break;
    case RemarkEmphasize:
    case RemarkShade:
        pen = m_regionPen;
        break;
    default:
        return QRect();
    }
    if (pPainter != nullptr) {
        pPainter->setPen(pen);
        if (nLines > 0) {
            pPainter->drawLines(lines, nLines);
        } else if (bEllipse) {
            pPainter->drawEllipse(rcSpanned);
        } else {
            pPainter->drawRect(rcSpanned);
        }
    }
    const int nMargin = StrokeMargin(pen);
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
    m_bChanged = true;
}

void QTRender::MarkLayerUsed(const QRect& rcArea) {
    m_rcLayerUsed |= rcArea & m_layer.rect();
}
