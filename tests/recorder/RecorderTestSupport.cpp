#include "tests/recorder/RecorderTestSupport.h"

#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>

#include <portaudio.h>

#include <cmath>

std::vector<uint8_t> MakePicture(int nWidth, int nHeight, int nSplit, uint8_t nLeft,
                                 uint8_t nRight) {
    std::vector<uint8_t> picture(static_cast<size_t>(nWidth) * nHeight * 4);
    for (int y = 0; y < nHeight; ++y) {
        for (int x = 0; x < nWidth; ++x) {
            const int nBase = x < nSplit ? nLeft : nRight;
            // A faint checker: texture without moving the mean grey value.
            const int nGrey = std::min(255, std::max(0, nBase + (((x / 8 + y / 8) % 2) ? 4 : -4)));
            uint8_t* pPixel = &picture[(static_cast<size_t>(y) * nWidth + x) * 4];
            pPixel[0] = pPixel[1] = pPixel[2] = static_cast<uint8_t>(nGrey);
            pPixel[3] = 0;
        }
    }
    return picture;
}

std::vector<uint8_t> MakeTone(int64_t nStart, int nFrames) {
    std::vector<uint8_t> block(static_cast<size_t>(nFrames) * 4);
    for (int i = 0; i < nFrames; ++i) {
        const double fPhase = 2.0 * M_PI * 440.0 * static_cast<double>(nStart + i) / 48000.0;
        const auto nSample = static_cast<int16_t>(16383.0 * std::sin(fPhase));
        for (int c = 0; c < 2; ++c) {
            block[static_cast<size_t>(i) * 4 + c * 2] = static_cast<uint8_t>(nSample & 0xff);
            block[static_cast<size_t>(i) * 4 + c * 2 + 1] =
                static_cast<uint8_t>((nSample >> 8) & 0xff);
        }
    }
    return block;
}

bool HasDefaultInputDevice() {
    if (Pa_Initialize() != paNoError) {
        return false;
    }
    const bool bHas = Pa_GetDefaultInputDevice() != paNoDevice;
    Pa_Terminate();
    return bHas;
}

int OpenDescriptorsTo(const std::string& strPath) {
    const QString strTarget = QFileInfo(QString::fromStdString(strPath)).absoluteFilePath();
    int nCount = 0;
    const QFileInfoList entries = QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (entry.symLinkTarget() == strTarget) {
            ++nCount;
        }
    }
    return nCount;
}

std::string TestFilePath(const std::string& strName) {
    return (TestHomeFolder() + "/").toStdString() + strName;
}
