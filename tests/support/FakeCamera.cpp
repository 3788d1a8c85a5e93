#include "tests/support/FakeCamera.h"

FakeCamera::FakeCamera(int nWidth, int nHeight, Pattern pattern)
    : m_pattern(pattern ? std::move(pattern) : [](int nX, int nY, int nFrame) {
          return qRgb((nX + nFrame) & 0xFF, nY & 0xFF, ((nX >> 8) * 16 + (nY >> 8) * 64) & 0xFF);
      }),
      m_nWidth(nWidth), m_nHeight(nHeight) {}

void FakeCamera::SetSize(int nWidth, int nHeight) {
    m_nWidth = nWidth;
    m_nHeight = nHeight;
}

bool FakeCamera::LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) {
    m_log->nPairingErrors += m_bLocked;
    m_buffer.resize(static_cast<size_t>(m_nWidth) * static_cast<size_t>(m_nHeight) * 4);
    auto* pPixels = reinterpret_cast<QRgb*>(m_buffer.data());
    for (int y = 0; y < m_nHeight; ++y) {
        for (int x = 0; x < m_nWidth; ++x) {
            // Camera pictures are always opaque.
            pPixels[static_cast<size_t>(y) * m_nWidth + x] =
                m_pattern(x, y, m_nFrame) | 0xFF000000u;
        }
    }
    ++m_nFrame;
    ++m_log->nLocks;
    m_bLocked = true;
    pData = m_buffer.data();
    nSize = static_cast<int>(m_buffer.size());
    nWidth = m_nWidth;
    nHeight = m_bTooLarge ? 2 * m_nHeight : m_nHeight;
    return true;
}

void FakeCamera::UnlockFrame() {
    m_log->nPairingErrors += !m_bLocked;
    ++m_log->nUnlocks;
    m_bLocked = false;
}

void FakeCamera::Release() {
    m_log->bReleased = true;
    delete this;
}

bool FakeCamera::Control(const char* szName) {
    m_log->controls.emplace_back(szName);
    return m_softwareOnly.count(szName) == 0;
}
