#pragma once

#include "render/IVideoRender.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include <functional>

// A widget that owns a renderer and paints the whole picture through it, so
// that tests can drive the renderer without the video widgets.
class RenderHost : public QWidget {
public:
    RenderHost(int nWidth, int nHeight) {
        resize(nWidth, nHeight);
        m_pRender = CreateVideoRender(this);
        show();
        m_bExposed = QTest::qWaitForWindowExposed(this);
        m_pRender->OnResize();
    }
    ~RenderHost() override { m_pRender->Release(); }

    IVideoRender* Render() const { return m_pRender; }
    bool IsExposed() const { return m_bExposed; }

    // Paints once (one compose) and returns the composed picture.
    QImage Compose() {
        repaint();
        return m_pRender->CopyPicture().convertToFormat(QImage::Format_RGB32);
    }

    // The part of the picture shown; an empty size shows all of it.
    void SetSource(const QPoint& ptOrigin, const QSize& szSource) {
        m_ptOrigin = ptOrigin;
        m_szSource = szSource;
    }

protected:
    void paintEvent(QPaintEvent*) override { m_pRender->Paint(m_ptOrigin, m_szSource); }

private:
    IVideoRender* m_pRender = nullptr;
    bool m_bExposed = false;
    QPoint m_ptOrigin;
    QSize m_szSource;
};

// A camera-like frame: 32-bit ARGB, opaque, with the pixel (x, y) given by
// fnPixel.
inline QImage MakeFrame(int nWidth, int nHeight, const std::function<QRgb(int, int)>& fnPixel) {
    QImage frame(nWidth, nHeight, QImage::Format_ARGB32);
    for (int y = 0; y < nHeight; ++y) {
        for (int x = 0; x < nWidth; ++x) {
            frame.setPixel(x, y, fnPixel(x, y));
        }
    }
    return frame;
}

inline QImage SolidFrame(int nWidth, int nHeight, QRgb crColor) {
    QImage frame(nWidth, nHeight, QImage::Format_ARGB32);
    frame.fill(crColor);
    return frame;
}

// Every pixel distinct for pictures up to 256 x 256; nTag tells frames apart.
inline QImage PatternFrame(int nWidth, int nHeight, int nTag) {
    return MakeFrame(nWidth, nHeight, [nTag](int x, int y) { return qRgb(x, y, nTag); });
}
