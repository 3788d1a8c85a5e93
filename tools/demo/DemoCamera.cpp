#include "tools/demo/DemoCamera.h"

#include <QDateTime>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

DemoCamera::DemoCamera(int nWidth, int nHeight) : m_picture(nWidth, nHeight, QImage::Format_RGB32) {
    DrawPage();
}

void DemoCamera::DrawPage() {
    const int w = m_picture.width();
    const int h = m_picture.height();
    QPainter painter(&m_picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient desk(0, 0, w, h);
    desk.setColorAt(0, QColor(92, 70, 52));
    desk.setColorAt(1, QColor(60, 44, 33));
    painter.fillRect(m_picture.rect(), desk);

    // A sheet, slightly turned, as it lies under a document camera.
    painter.save();
    painter.translate(w / 2.0, h / 2.0);
    painter.rotate(-1.5);
    const QRectF rcSheet(-w * 0.36, -h * 0.46, w * 0.72, h * 0.92);
    painter.fillRect(rcSheet.translated(6, 8), QColor(0, 0, 0, 90));
    painter.fillRect(rcSheet, QColor(250, 248, 240));
    const double dUnit = h / 720.0;
    const double x0 = rcSheet.left() + 50 * dUnit;
    double y = rcSheet.top() + 70 * dUnit;

    QFont title("DejaVu Serif");
    title.setPixelSize(int(40 * dUnit));
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(QColor(30, 30, 40));
    painter.drawText(QPointF(x0, y), "Photosynthesis");
    y += 24 * dUnit;
    QFont body("WenQuanYi Micro Hei");
    body.setPixelSize(int(22 * dUnit));
    painter.setFont(body);
    painter.drawText(QPointF(x0, y + 20 * dUnit),
                     QString::fromUtf8("光合作用：6CO₂ + 6H₂O → C₆H₁₂O₆ + 6O₂"));
    y += 60 * dUnit;

    // Lines of "text" and a diagram.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(120, 120, 130));
    for (int i = 0; i < 9; ++i) {
        const double dLength = (i % 4 == 3 ? 0.35 : 0.62) * rcSheet.width();
        painter.drawRoundedRect(QRectF(x0, y + i * 30 * dUnit, dLength, 8 * dUnit), 3, 3);
    }
    const QPointF ptSun(rcSheet.right() - 130 * dUnit, rcSheet.top() + 120 * dUnit);
    painter.setBrush(QColor(245, 180, 40));
    painter.drawEllipse(ptSun, 40 * dUnit, 40 * dUnit);
    QPainterPath leaf;
    const QPointF ptLeaf(rcSheet.right() - 150 * dUnit, rcSheet.bottom() - 150 * dUnit);
    leaf.moveTo(ptLeaf + QPointF(-90, 60) * dUnit);
    leaf.cubicTo(ptLeaf + QPointF(-60, -80) * dUnit, ptLeaf + QPointF(60, -80) * dUnit,
                 ptLeaf + QPointF(90, -60) * dUnit);
    leaf.cubicTo(ptLeaf + QPointF(60, 60) * dUnit, ptLeaf + QPointF(-40, 90) * dUnit,
                 ptLeaf + QPointF(-90, 60) * dUnit);
    painter.setBrush(QColor(60, 150, 70));
    painter.drawPath(leaf);
    painter.setPen(QPen(QColor(200, 40, 40), 4 * dUnit));
    painter.drawLine(ptSun + QPointF(-30, 50) * dUnit, ptLeaf + QPointF(-10, -70) * dUnit);
    painter.restore();

    m_rcClock = QRect(int(w * 0.16), int(h * 0.84), int(w * 0.22), int(h * 0.06));
}

void DemoCamera::DrawClock() {
    QPainter painter(&m_picture);
    painter.fillRect(m_rcClock, QColor(250, 248, 240));
    QFont font("DejaVu Sans Mono");
    font.setPixelSize(m_rcClock.height() * 2 / 3);
    painter.setFont(font);
    painter.setPen(QColor(20, 60, 160));
    painter.drawText(m_rcClock, Qt::AlignCenter,
                     QDateTime::currentDateTime().toString("hh:mm:ss.zzz"));
}

bool DemoCamera::LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) {
    DrawClock();
    pData = m_picture.bits();
    nSize = int(m_picture.sizeInBytes());
    nWidth = m_picture.width();
    nHeight = m_picture.height();
    return true;
}
