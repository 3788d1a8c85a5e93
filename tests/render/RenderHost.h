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

inline QImage SolidFrame(int nWidth, int nHeight, QRgb crColor) {
    QImage frame(nWidth, nHeight, QImage::Format_ARGB32);
    frame.fill(crColor);
    return frame;
}

// A camera-like frame (32-bit ARGB, opaque) with every pixel distinct for
// pictures up to 256 x 256; nTag tells frames apart.
inline QImage PatternFrame(int nWidth, int nHeight, int nTag) {
    QImage frame(nWidth, nHeight, QImage::Format_ARGB32);
    for (int y = 0; y < nHeight; ++y) {
        for (int x = 0; x < nWidth; ++x) {
            frame.setPixel(x, y, qRgb(x, y, nTag));
        }
    }
    return frame;
}

// Every 10 x 10 block, counted from the top-left corner, in the colour of its
// top-left pixel.
inline QImage Mosaicked(const QImage& source) {
    QImage image = source.copy();
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            image.setPixel(x, y, source.pixel(x / 10 * 10, y / 10 * 10));
        }
    }
    return image;
}
