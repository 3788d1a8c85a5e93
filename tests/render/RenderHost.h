#pragma once

#include "render/IVideoRender.h"

#include <QImage>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

inline QImage Rgb32(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

// A widget that owns a renderer and paints the whole picture through it, so
// that tests can drive the renderer without the video widgets.
class RenderHost : public QWidget {
public:
    RenderHost(int nWidth, int nHeight) {
        resize(nWidth, nHeight);
        m_pRender = CreateVideoRender(this);
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
        m_pRender->OnResize();
    }
    ~RenderHost() override { m_pRender->Release(); }

    IVideoRender* Render() const { return m_pRender; }

    // Paints once (one compose) and returns the composed picture.
    QImage Compose() {
        repaint();
        return Rgb32(m_pRender->CopyPicture());
    }

protected:
    void paintEvent(QPaintEvent*) override { m_pRender->Paint(QPoint(), QSize()); }

private:
    IVideoRender* m_pRender = nullptr;
};

// Camera-like frames (32-bit, opaque): one colour, or every pixel distinct
// for pictures up to 256 x 256, with nTag telling frames apart.
inline QImage SolidFrame(int nWidth, int nHeight, QRgb crColor) {
    QImage frame(nWidth, nHeight, QImage::Format_RGB32);
    frame.fill(crColor);
    return frame;
}
inline QImage PatternFrame(int nWidth, int nHeight, int nTag) {
    QImage frame(nWidth, nHeight, QImage::Format_RGB32);
    for (int i = 0; i < nWidth * nHeight; ++i) {
        frame.setPixel(i % nWidth, i / nWidth, qRgb(i % nWidth, i / nWidth, nTag));
    }
    return frame;
}

// Every 10 x 10 block, counted from the top-left corner, in the colour of its
// top-left pixel.
inline QImage Mosaicked(const QImage& source) {
    QImage image = source.copy();
    for (int i = 0; i < source.width() * source.height(); ++i) {
        const int x = i % source.width(), y = i / source.width();
        image.setPixel(x, y, source.pixel(x / 10 * 10, y / 10 * 10));
    }
    return image;
}
