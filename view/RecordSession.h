#pragma once

#include <QImage>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class AudioClock;
class QPixmap;
class VideoWriter;

// One recording: the recorder and the thread that feeds it the composed
// picture at the chosen frame rate.
//
// The recorder stamps pictures by their count and sound by its sample
// count, so the thread paces the pictures by the sound's clock (AudioClock):
// picture n is due when the sound reaches n / rate. A silent recording goes
// by the steady clock from its start instead. When the thread falls behind
// by whole intervals (a slow encode, a busy machine) it writes the last
// picture again for each interval missed, so that the picture count keeps
// following the clock the sound follows.
class RecordSession {
public:
    using Clock = std::chrono::steady_clock;
    // The newest composed picture, as the renderer's GetPicture hands it out
    // to its one streaming consumer. Called from the recording thread.
    using PictureSource = std::function<const QPixmap*()>;

    // pAudioClock is the recorder's sound source, or null for a silent
    // recording; it lives as long as the recorder.
    RecordSession(std::unique_ptr<VideoWriter> pWriter, const AudioClock* pAudioClock,
                  PictureSource source);
    // Ends the thread and finishes the file if that has not happened yet.
    ~RecordSession();
    RecordSession(const RecordSession&) = delete;
    RecordSession& operator=(const RecordSession&) = delete;

    // Opens the file and starts the thread; false when the recorder could
    // not open the file (nothing is left running then). nBitRate in kbit/s.
    // The picture source is refreshed every nRefreshMs, so a picture taken
    // from it is on average half that old: each is taken that much later
    // than the sound of its time stamp, to meet it in the file. (The sound
    // too arrives a little late, about as late as a picture waits for the
    // next frame time; the two are left to balance.)
    bool Start(const std::string& strFile, int nWidth, int nHeight, int nFrameRate, int nBitRate,
               int nRefreshMs);
    // Tells the thread to end once it has written the pictures due at this
    // moment; returns at once. Safe to call twice.
    void RequestStop();
    // RequestStop, and waits for the thread to end. Safe to call twice.
    void StopThread();
    // Drains the encoder and closes the file: may take a while, so any thread
    // may call it once StopThread has returned there. False when a write failed;
    // the file then keeps what was written before the failure.
    bool Finish();

    const std::string& FileName() const { return m_strFile; }
    // Set once a write failed; the thread then writes nothing more.
    bool Failed() const { return m_bFailed; }
    // Why writing failed, or empty. Any thread.
    std::string WriteError() const;
    // Seconds of picture the file holds (up to a write failure, if any).
    double SecondsKept() const;
    // Pictures handed to the recorder, and how many of them repeated the
    // previous picture because the thread had fallen behind.
    int64_t Pictures() const { return m_nWritten; }
    int64_t Repeats() const { return m_nRepeats; }

private:
    void Loop();
    // Where picture 0 lies on the steady clock: where the sound's first
    // sample lies, or the start of a silent recording. False while the sound
    // has not begun yet (for a moment after the start).
    bool Origin(Clock::time_point& tOrigin) const;
    // Pictures due by tNow: picture n falls due at tOrigin + n / rate, plus
    // the average age of a picture when it is taken.
    int64_t DueAt(Clock::time_point tOrigin, Clock::time_point tNow) const;
    Clock::time_point Deadline(Clock::time_point tOrigin, int64_t nPicture) const;
    // Hands the picture to the recorder and notes a failure.
    void Write(const QImage& picture);
    // The newest composed picture, or black while there is none yet.
    void TakePicture(QImage& picture);

    std::unique_ptr<VideoWriter> m_pWriter;
    const AudioClock* m_pAudioClock;
    PictureSource m_source;
    std::string m_strFile;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nFrameRate = 0;
    Clock::time_point m_start;
    Clock::time_point m_stopAt;
    std::chrono::nanoseconds m_pictureAge{0};
    bool m_bFinished = true;

    std::thread m_thread;
    std::mutex m_mutex; // guards m_bRunning and m_stopAt for the wake-up
    std::condition_variable m_wake;
    bool m_bRunning = false;

    std::atomic<int64_t> m_nWritten{0};
    std::atomic<int64_t> m_nRepeats{0};
    std::atomic<int64_t> m_nKept{-1}; // pictures written before a failure
    std::atomic<bool> m_bFailed{false};
    QImage m_black;
};
