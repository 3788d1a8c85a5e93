#include "tests/support/FakeCamera.h"

#include <cstring>

FakeCamera::FakeCamera(int nWidth, int nHeight) : m_nWidth(nWidth), m_nHeight(nHeight) {
    for (const char* szName :
         {"Rotate", "Mirror", "Negative", "BlackWhite", "AuxControl", "Freeze", "Mosaic"}) {
        m_results[szName] = false;
    }
}

void FakeCamera::SetSize(int nWidth, int nHeight) {
    m_nWidth = nWidth;
    m_nHeight = nHeight;
}

void FakeCamera::SetSolidColor(QRgb crColor) {
    m_pattern = [crColor](int, int, int) { return crColor; };
}

void FakeCamera::SetControlResult(const std::string& strName, bool bResult) {
    m_results[strName] = bResult;
}

bool FakeCamera::Open() {
    m_bRunning = m_bOpenSucceeds;
    return m_bOpenSucceeds;
}

QRgb FakeCamera::DefaultPixel(int nX, int nY, int nFrame) {
    return qRgb((nX + nFrame) & 0xFF, nY & 0xFF, ((nX >> 8) * 16 + (nY >> 8) * 64) & 0xFF);
}

bool FakeCamera::LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) {
    if (m_bLocked) {
        ++m_log->nPairingErrors;
    }
    if (!m_bAvailable || m_nWidth <= 0 || m_nHeight <= 0) {
        ++m_log->nFailedLocks;
        return false;
    }
    const size_t nBytes = static_cast<size_t>(m_nWidth) * static_cast<size_t>(m_nHeight) * 4;
    if (m_buffer.size() < nBytes) {
        m_buffer.resize(nBytes);
    }
    auto* pPixels = reinterpret_cast<QRgb*>(m_buffer.data());
    for (int y = 0; y < m_nHeight; ++y) {
        for (int x = 0; x < m_nWidth; ++x) {
            const QRgb crPixel =
                m_pattern ? m_pattern(x, y, m_nFrame) : DefaultPixel(x, y, m_nFrame);
            // Camera pictures are always opaque.
            pPixels[static_cast<size_t>(y) * m_nWidth + x] = crPixel | 0xFF000000u;
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
    if (!m_bLocked) {
        ++m_log->nPairingErrors;
    }
    ++m_log->nUnlocks;
    m_bLocked = false;
}

void FakeCamera::Release() {
    m_bRunning = false;
    m_log->bReleased = true;
    delete this;
}

bool FakeCamera::Control(const char* szName) {
    m_log->controls.emplace_back(szName);
    const auto it = m_results.find(szName);
    return it == m_results.end() ? true : it->second;
}
