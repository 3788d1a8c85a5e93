#pragma once

#include "tools/demo/GeneratedCamera.h"

#include <QImage>

// A camera without hardware: a printed page on a desk, with a clock in its
// corner that moves on every picture. For screenshots, demonstrations and
// tests of the whole program.
class DemoCamera final : public GeneratedCamera {
public:
    DemoCamera(int nWidth, int nHeight);

    bool LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) override;

private:
    ~DemoCamera() = default;
    void DrawPage();
    void DrawClock();

    QImage m_picture;
    QRect m_rcClock;
};
