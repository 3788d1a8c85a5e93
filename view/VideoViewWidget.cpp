#include "view/VideoViewWidget.h"

#include "view/VideoRenderWidget.h"

#include <QImage>

VideoViewWidget::VideoViewWidget(QWidget* pParent) : QWidget(pParent) {
    setFocusPolicy(Qt::StrongFocus);
    m_pRenderWidget = new VideoRenderWidget(this);
    m_pRenderWidget->move(0, 0);
}

bool VideoViewWidget::SetFrame(const QImage& image) {
    // A picture the renderer drops leaves the placement as it was.
    if (image.isNull() || !m_pRenderWidget->SetImage(image)) {
        return false;
    }
    if (image.width() != m_nPictureWidth || image.height() != m_nPictureHeight) {
        m_nPictureWidth = image.width();
        m_nPictureHeight = image.height();
        ComputeFit();
        PlaceRenderWidget();
    }
    return true;
}

void VideoViewWidget::SetRotation(int nAngle) {
    if (m_pRenderWidget == nullptr || nAngle == m_nAngle) {
        return;
    }
    m_nAngle = nAngle;
    m_pRenderWidget->SetRotateAngle(nAngle);
    ComputeFit();
    PlaceRenderWidget();
}

void VideoViewWidget::SetPen(const QPen& pen) {
    m_pRenderWidget->SetPen(pen);
}

void VideoViewWidget::resizeEvent(QResizeEvent*) {
    ComputeFit();
    PlaceRenderWidget();
}

void VideoViewWidget::ComputeFit() {
    if (m_nPictureWidth == 0 || m_nPictureHeight == 0) {
        return;
    }
    const bool bQuarter = m_nAngle == 90 || m_nAngle == 270;
    const qint64 nPictureWidth = bQuarter ? m_nPictureHeight : m_nPictureWidth;
    const qint64 nPictureHeight = bQuarter ? m_nPictureWidth : m_nPictureHeight;
    const qint64 nWidth = width();
    const qint64 nHeight = height();
    if (nWidth <= 0 || nHeight <= 0) {
        m_nDisplayWidth = 0;
        m_nDisplayHeight = 0;
    } else if (nWidth >= nPictureWidth && nHeight >= nPictureHeight) {
        m_nDisplayWidth = int(nPictureWidth);
        m_nDisplayHeight = int(nPictureHeight);
    } else if (nHeight > 0 &&
               double(nWidth) / double(nHeight) >= double(nPictureWidth) / double(nPictureHeight)) {
        // The area is wider than the picture: full height.
        m_nDisplayWidth = int(nHeight * nPictureWidth / nPictureHeight);
        m_nDisplayHeight = int(nHeight);
    } else {
        m_nDisplayWidth = int(nWidth);
        m_nDisplayHeight = int(nWidth * nPictureHeight / nPictureWidth);
    }
}

void VideoViewWidget::PlaceRenderWidget() {
    m_pRenderWidget->move((width() - m_nDisplayWidth) / 2, (height() - m_nDisplayHeight) / 2);
    m_pRenderWidget->setFixedSize(m_nDisplayWidth, m_nDisplayHeight);
}
