#include "view/RecordSession.h"

#include "recorder/VideoWriter.h"
#include "view/AudioClock.h"

#include <QPixmap>

#include <algorithm>

namespace {
// How long the pictures wait for the sound to begin before they go by the
// steady clock (a device that opened but delivers nothing).
const auto kSoundWait = std::chrono::seconds(2);
} // namespace

RecordSession::RecordSession(std::unique_ptr<VideoWriter> pWriter, const AudioClock* pAudioClock,
                             PictureSource source)
    : m_pWriter(std::move(pWriter)), m_pAudioClock(pAudioClock), m_source(std::move(source)) {}

RecordSession::~RecordSession() {
    StopThread();
    Finish();
}

bool RecordSession::Start(const std::string& strFile, int nWidth, int nHeight, int nFrameRate,
                          int nBitRate, int nRefreshMs) {
    if (m_thread.joinable() || !m_pWriter || nFrameRate <= 0 ||
        !m_pWriter->Start(strFile, nWidth, nHeight, nFrameRate, nBitRate, 48000)) {
        return false;
    }
    m_strFile = strFile;
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    m_nFrameRate = nFrameRate;
    m_pictureAge = std::chrono::milliseconds(nRefreshMs) / 2;
    m_bFinished = false;
    m_start = Clock::now();
    m_bRunning = true;
    m_thread = std::thread(&RecordSession::Loop, this);
    return true;
}

void RecordSession::RequestStop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_bRunning) {
            return;
        }
        m_stopAt = Clock::now();
        m_bRunning = false;
    }
    m_wake.notify_all();
}

void RecordSession::StopThread() {
    RequestStop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool RecordSession::Finish() {
    if (m_bFinished) {
        return !m_bFailed;
    }
    m_bFinished = true;
    if (!m_pWriter->Stop()) {
        m_bFailed = true;
    }
    return !m_bFailed;
}

std::string RecordSession::WriteError() const {
    return m_pWriter ? m_pWriter->WriteError() : std::string();
}

double RecordSession::SecondsKept() const {
    if (m_nFrameRate <= 0) {
        return 0.0;
    }
    const int64_t nKept = m_nKept >= 0 ? m_nKept.load() : m_nWritten.load();
    return double(nKept) / m_nFrameRate;
}

bool RecordSession::Origin(Clock::time_point& tOrigin) const {
    if (m_pAudioClock != nullptr && m_pAudioClock->IsRunning()) {
        if (m_pAudioClock->Origin(tOrigin)) {
            return true;
        }
        if (Clock::now() - m_start < kSoundWait) {
            return false;
        }
    }
    tOrigin = m_start;
    return true;
}

int64_t RecordSession::DueAt(Clock::time_point tOrigin, Clock::time_point tNow) const {
    const int64_t nElapsed =
        std::chrono::duration_cast<std::chrono::nanoseconds>(tNow - tOrigin - m_pictureAge).count();
    return nElapsed < 0 ? 0 : nElapsed * m_nFrameRate / 1000000000 + 1;
}

RecordSession::Clock::time_point RecordSession::Deadline(Clock::time_point tOrigin,
                                                         int64_t nPicture) const {
    // From the origin each time, so that rounding never adds up.
    return tOrigin + m_pictureAge + std::chrono::nanoseconds(nPicture * 1000000000 / m_nFrameRate);
}

void RecordSession::Loop() {
    QImage previous;
    // Pictures n .. nDue - 1 are due. The newest picture is taken first, for
    // the last of them, now that it is due: the ones before it were missed
    // while the thread was busy and repeat the previous picture. Taken after
    // the repeats, it would come from later than its place in the file.
    auto catchUp = [&](int64_t nDue) {
        if (m_nWritten >= nDue || m_bFailed) {
            return;
        }
        QImage newest;
        TakePicture(newest);
        for (int64_t n = m_nWritten; n + 1 < nDue && !previous.isNull() && !m_bFailed; ++n) {
            Write(previous);
            ++m_nRepeats;
        }
        if (!m_bFailed) {
            Write(newest);
        }
        previous = std::move(newest);
    };

    std::unique_lock<std::mutex> lock(m_mutex);
    Clock::time_point tOrigin;
    while (m_bRunning && !m_bFailed) {
        const Clock::time_point tNow = Clock::now();
        if (!Origin(tOrigin)) {
            m_wake.wait_until(lock, tNow + std::chrono::milliseconds(5),
                              [this] { return !m_bRunning; });
            continue;
        }
        const int64_t nWritten = m_nWritten;
        const int64_t nDue = DueAt(tOrigin, tNow);
        if (nWritten >= nDue) {
            m_wake.wait_until(lock, Deadline(tOrigin, nWritten), [this] { return !m_bRunning; });
            continue;
        }
        lock.unlock();
        catchUp(nDue);
        lock.lock();
    }
    // The file should be as long as the recording was: what fell due before
    // the stop is still written, but never more than a second of it, so
    // that a starved thread cannot hold up the stop; and it holds at least
    // one picture, however short it was.
    const int64_t nDue = std::max<int64_t>(
        1, Origin(tOrigin) ? std::min(DueAt(tOrigin, m_stopAt), m_nWritten + m_nFrameRate) : 0);
    lock.unlock();
    catchUp(nDue);
}

void RecordSession::TakePicture(QImage& picture) {
    const QPixmap* pPixmap = m_source ? m_source() : nullptr;
    if (pPixmap != nullptr && !pPixmap->isNull()) {
        picture = pPixmap->toImage();
        const QImage::Format nFormat = picture.format();
        if (nFormat != QImage::Format_RGB32 && nFormat != QImage::Format_ARGB32 &&
            nFormat != QImage::Format_ARGB32_Premultiplied) {
            picture = picture.convertToFormat(QImage::Format_RGB32);
        }
    }
    if (picture.isNull()) {
        // No picture composed yet: black keeps the pictures in step with the
        // sound until the camera's first picture arrives.
        if (m_black.isNull()) {
            m_black = QImage(m_nWidth, m_nHeight, QImage::Format_RGB32);
            m_black.fill(Qt::black);
        }
        picture = m_black;
    }
}

void RecordSession::Write(const QImage& picture) {
    m_pWriter->WriteVideo(picture.constBits(), picture.width(), picture.height());
    const int64_t nWritten = ++m_nWritten;
    if (!m_bFailed && !m_pWriter->WriteError().empty()) {
        m_nKept = nWritten - 1;
        m_bFailed = true;
    }
}
