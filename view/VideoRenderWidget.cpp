#include "view/VideoRenderWidget.h"

#include "render/IVideoRender.h"
#include "render/RemarkType.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPen>
#include <QTextEdit>

VideoRenderWidget::VideoRenderWidget(QWidget* pParent) : QWidget(pParent) {
    setFocusPolicy(Qt::StrongFocus);
    m_pTextBox = new QTextEdit(this);
    m_pTextBox->setFixedSize(RemarkTextBoxSize, RemarkTextBoxSize);
    m_pTextBox->hide();
    m_pTextBox->installEventFilter(this);
    m_pRender = CreateVideoRender(this);
    m_nWidgetWidth = width();
    m_nWidgetHeight = height();
    m_pRender->OnResize();
}

VideoRenderWidget::~VideoRenderWidget() {
    // The text box goes with the children after this; its focus-out must
    // not reach a renderer that is already gone.
    m_pTextBox->removeEventFilter(this);
    m_pRender->Release();
    m_pRender = nullptr;
}

bool VideoRenderWidget::SetImage(const QImage& image) {
    if (image.width() != m_nPictureWidth || image.height() != m_nPictureHeight) {
        m_nPictureWidth = image.width();
        m_nPictureHeight = image.height();
        ResetView();
    }
    m_pRender->SetImage(image);
    return true;
}

void VideoRenderWidget::SetRotateAngle(int nAngle) {
    if (nAngle == m_nAngle) {
        return;
    }
    m_nAngle = nAngle;
    ResetView();
    m_pRender->SetRotateAngle(nAngle);
}

void VideoRenderWidget::ResetView() {
    m_nSourceX = 0;
    m_nSourceY = 0;
    const bool bQuarter = m_nAngle == 90 || m_nAngle == 270;
    m_nSourceWidth = bQuarter ? m_nPictureHeight : m_nPictureWidth;
    m_nSourceHeight = bQuarter ? m_nPictureWidth : m_nPictureHeight;
}

bool VideoRenderWidget::SavePhoto(const QString& strPath, int nWidth, int nHeight) {
    if (nWidth <= 0 || nHeight <= 0) {
        return false;
    }
    const QImage picture = m_pRender->CopyPicture();
    if (picture.isNull()) {
        return false;
    }
    return picture.scaled(nWidth, nHeight, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .save(strPath, "JPG");
}

void VideoRenderWidget::ClearRemark() {
    m_pRender->ClearRemark();
}

void VideoRenderWidget::SetPen(const QPen& pen) {
    m_pRender->SetPen(pen);
}

void VideoRenderWidget::SetTextColor(const QColor& crColor) {
    m_pRender->SetTextColor(crColor);
    QPalette palette = m_pTextBox->palette();
    palette.setBrush(QPalette::All, QPalette::Text, QBrush(crColor, Qt::SolidPattern));
    m_pTextBox->setPalette(palette);
    m_pTextBox->update();
}

QPoint VideoRenderWidget::MapToPicture(int nX, int nY) const {
    if (m_nWidgetWidth <= 0) {
        return QPoint(0, 0);
    }
    // One scale for both axes: the widget has the aspect ratio of the shown part.
    const double dScale = double(m_nSourceWidth) / m_nWidgetWidth;
    const int nU = int(nX * dScale) + m_nSourceX;
    const int nV = int(nY * dScale) + m_nSourceY;
    QPoint ptPicture;
    switch (m_nAngle) {
    case 90:
        ptPicture = QPoint(nV, m_nPictureHeight - nU);
        break;
    case 180:
        ptPicture = QPoint(m_nPictureWidth - nU, m_nPictureHeight - nV);
        break;
    case 270:
        ptPicture = QPoint(m_nPictureWidth - nV, nU);
        break;
    default:
        ptPicture = QPoint(nU, nV);
        break;
    }
    // The mirror flips the rotated picture left to right; turned by 90 or 270
    // degrees, that is the picture's vertical axis.
    if (m_bMirror && (m_nAngle == 90 || m_nAngle == 270)) {
        ptPicture.setY(m_nPictureHeight - ptPicture.y());
    } else if (m_bMirror) {
        ptPicture.setX(m_nPictureWidth - ptPicture.x());
    }
    return ptPicture;
}

void VideoRenderWidget::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton) {
        return;
    }
    grabMouse();
    m_bMousePressed = true;
    const QPoint ptPicture = MapToPicture(pEvent->x(), pEvent->y());
    m_pRender->OnMousePress(ptPicture.x(), ptPicture.y());
}

void VideoRenderWidget::mouseMoveEvent(QMouseEvent* pEvent) {
    const QPoint ptPicture = MapToPicture(pEvent->x(), pEvent->y());
    m_pRender->OnMouseMove(ptPicture.x(), ptPicture.y(), m_bMousePressed);
}

void VideoRenderWidget::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (!m_bMousePressed) {
        return;
    }
    releaseMouse();
    const QPoint ptPicture = MapToPicture(pEvent->x(), pEvent->y());
    m_pRender->OnMouseRelease(ptPicture.x(), ptPicture.y());
    m_bMousePressed = false;

    if (m_pRender->GetRemarkType() == RemarkText && !m_bTextJustClosed) {
        m_pTextBox->move(pEvent->pos());
        m_nTextX = ptPicture.x();
        m_nTextY = ptPicture.y();
        m_pTextBox->clear();
        m_pTextBox->show();
        m_pTextBox->setFocus();
    }
    m_bTextJustClosed = false;
}

bool VideoRenderWidget::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pTextBox && pEvent->type() == QEvent::FocusOut) {
        const QString strText = m_pTextBox->toPlainText();
        if (!strText.isEmpty()) {
            m_pRender->DrawText(m_nTextX, m_nTextY, strText);
        }
        m_pTextBox->hide();
        if (QApplication::focusWidget() == this) {
            m_bTextJustClosed = true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void VideoRenderWidget::focusInEvent(QFocusEvent*) {}

void VideoRenderWidget::paintEvent(QPaintEvent*) {
    m_pRender->Paint(QPoint(m_nSourceX, m_nSourceY), QSize(m_nSourceWidth, m_nSourceHeight));
}

void VideoRenderWidget::resizeEvent(QResizeEvent*) {
    if (width() == m_nWidgetWidth && height() == m_nWidgetHeight) {
        return;
    }
    m_nWidgetWidth = width();
    m_nWidgetHeight = height();
    if (m_nPictureWidth > 0 && m_nPictureHeight > 0) {
        ResetView();
    }
    m_pRender->OnResize();
}
