#include "view/VideoRenderWidget.h"

#include "render/IVideoRender.h"
#include "render/RemarkType.h"

#include <QApplication>
#include <QKeyEvent>
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
    if (!m_pRender->SetImage(image)) {
        return false;
    }
    if (image.width() != m_nPictureWidth || image.height() != m_nPictureHeight) {
        m_nPictureWidth = image.width();
        m_nPictureHeight = image.height();
        ResetView();
    }
    return true;
}

void VideoRenderWidget::ComposePicture() {
    m_pRender->ComposePicture();
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
    // What the widget would show now, painted or not: text just committed
    // by the click on the photo button is in it.
    m_pRender->ComposePicture();
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
    if (m_nWidgetWidth <= 0 || m_nWidgetHeight <= 0) {
        return QPoint(0, 0);
    }
    // A scale for each axis, as the paint stretches the shown part: the
    // fitted size is rounded, so one scale for both would drift by a pixel or
    // two towards the far edge and leave the picture there. A widget pixel
    // lands inside the shown part; a point outside the widget (a drag that
    // left it) keeps its direction.
    int nU = int(nX * double(m_nSourceWidth) / m_nWidgetWidth);
    int nV = int(nY * double(m_nSourceHeight) / m_nWidgetHeight);
    nU += m_nSourceX;
    nV += m_nSourceY;
    // (u, v) is a pixel of the turned picture, which the mirror flips left to
    // right; turning back counts from the last row and column, not past them.
    const bool bQuarter = m_nAngle == 90 || m_nAngle == 270;
    if (m_bMirror) {
        nU = (bQuarter ? m_nPictureHeight : m_nPictureWidth) - 1 - nU;
    }
    switch (m_nAngle) {
    case 90:
        return QPoint(nV, m_nPictureHeight - 1 - nU);
    case 180:
        return QPoint(m_nPictureWidth - 1 - nU, m_nPictureHeight - 1 - nV);
    case 270:
        return QPoint(m_nPictureWidth - 1 - nV, nU);
    default:
        return QPoint(nU, nV);
    }
}

void VideoRenderWidget::mousePressEvent(QMouseEvent* pEvent) {
    // A click on the picture beside an open text box, with any button,
    // commits the text and does nothing else.
    if (!m_pTextBox->isHidden()) {
        CloseTextBox(true);
        return;
    }
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

    if (m_pRender->GetRemarkType() == RemarkText) {
        m_pTextBox->move(pEvent->pos());
        m_nTextX = ptPicture.x();
        m_nTextY = ptPicture.y();
        m_pTextBox->clear();
        m_pTextBox->show();
        m_pTextBox->setFocus(Qt::MouseFocusReason);
    }
}

// Enter commits the text and Shift+Enter starts a new line, as in a chat or
// a form's single-purpose box; Escape abandons the text, as it abandons an
// edit in a file manager or a spreadsheet cell. A context menu or another
// window takes the focus only for a while and leaves the box open; focus
// taken by a click elsewhere in this window commits the text (a click on this
// widget does so in mousePressEvent, which then ignores that click).
bool VideoRenderWidget::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched != m_pTextBox || m_pTextBox->isHidden()) {
        return QWidget::eventFilter(pWatched, pEvent);
    }
    if (pEvent->type() == QEvent::KeyPress) {
        const auto* pKey = static_cast<QKeyEvent*>(pEvent);
        const bool bEnter = pKey->key() == Qt::Key_Return || pKey->key() == Qt::Key_Enter;
        if ((bEnter && !(pKey->modifiers() & Qt::ShiftModifier)) || pKey->key() == Qt::Key_Escape) {
            CloseTextBox(bEnter);
            return true;
        }
    } else if (pEvent->type() == QEvent::FocusOut) {
        const Qt::FocusReason nReason = static_cast<QFocusEvent*>(pEvent)->reason();
        const bool bClickHere =
            nReason == Qt::MouseFocusReason && QApplication::focusWidget() == this;
        if (nReason != Qt::PopupFocusReason && nReason != Qt::ActiveWindowFocusReason &&
            !bClickHere) {
            CloseTextBox(true);
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void VideoRenderWidget::CloseTextBox(bool bDraw) {
    const QString strText = m_pTextBox->toPlainText();
    const bool bHadFocus = m_pTextBox->hasFocus();
    // Hidden first: the focus-out that hiding sends finds the box closed.
    m_pTextBox->hide();
    if (bHadFocus) {
        setFocus(Qt::OtherFocusReason);
    }
    if (bDraw && !strText.isEmpty()) {
        m_pRender->DrawText(m_nTextX, m_nTextY, strText);
    }
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
