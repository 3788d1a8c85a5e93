#include "recorder/AudioCapture.h"
#include "recorder/RecordingRepair.h"
#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include <portaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr int kAacFrame = 1024;

// Pictures from one thread and sound from another, the error queried from a
// third, and in a fourth the record folder scanned for repairs as the program
// does at start-up, which must leave the file being recorded alone.
TEST(VideoWriterThreadTest, RecordsEverySampleAndEveryPictureStretchedAndNumberedAtTheFrameRate) {
    const std::string strFolder = TestFilePath("records");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(strFolder)));
    const std::string strPath = strFolder + "/layout.avi";
    // Light on the left half, then dark on the left third of a small picture.
    const auto large = MakePicture(1920, 1080, 960, 0xDCDCDC, 0x1E1E1E);
    const auto small = MakePicture(320, 240, 107, 0x1E1E1E, 0xDCDCDC);
    auto pSource = std::make_unique<FakeAudioSource>();
    FakeAudioSource& sound = *pSource;
    VideoWriter writer(std::move(pSource));
    writer.WriteVideo(large.data(), 1920, 1080); // not started yet
    ASSERT_TRUE(writer.Start(strPath, 1280, 720, 30, 3072, 48000));
    std::atomic<int> nFeeding{2};
    std::thread feeder([&] {
        // Missing or empty pictures are ignored without using up a timestamp.
        writer.WriteVideo(nullptr, 1920, 1080);
        writer.WriteVideo(large.data(), 0, 0);
        writer.WriteVideo(large.data(), -1920, 1080);
        for (int i = 0; i < 40; ++i) {
            const bool bLast = i == 39;
            writer.WriteVideo(bLast ? small.data() : large.data(), bLast ? 320 : 1920,
                              bLast ? 240 : 1080);
        }
        --nFeeding;
    });
    // The host decides how many frames a capture block holds; a torn sample
    // at the end of one is all that may be dropped.
    int64_t nFed = 0;
    std::thread blocks([&] {
        sound.Feed(nullptr, 4096);
        for (int i = 0; i < 40; ++i) {
            const int nFrames = std::array<int, 4>{441, 1500, 4096, 1024}[i % 4];
            auto tone = MakeTone(nFed, nFrames);
            tone.push_back(0x55);
            sound.Feed(tone);
            nFed += nFrames;
        }
        --nFeeding;
    });
    int nRepaired = 0;
    std::thread repair([&] {
        do {
            nRepaired += RecordingRepair::RepairFolder(strFolder);
        } while (nFeeding > 0);
    });
    std::string strError;
    while (nFeeding > 0) {
        strError += writer.WriteError();
    }
    feeder.join();
    blocks.join();
    repair.join();
    EXPECT_TRUE(writer.Stop());
    EXPECT_EQ(strError + writer.WriteError(), "");
    EXPECT_EQ(nRepaired, 0);
    writer.WriteVideo(large.data(), 1920, 1080);
    EXPECT_FALSE(sound.Feed(MakeTone(0, 1024))); // stopped

    const Recording recording = ReadRecording(strPath);
    const AVCodecParameters& audio = recording.params.at(0);
    EXPECT_EQ(std::make_tuple(audio.codec_id, audio.sample_rate, audio.ch_layout.nb_channels),
              std::make_tuple(AV_CODEC_ID_AAC, 48000, 2));
    const AVCodecParameters& video = recording.params.at(1);
    EXPECT_EQ(std::make_tuple(video.codec_id, video.profile, video.width, video.height),
              std::make_tuple(AV_CODEC_ID_H264, FF_PROFILE_H264_MAIN, 1280, 720));
    // The encoder holds pictures back for its look-ahead: Stop must drain
    // them. The audio encoder's priming frame, stamped before zero, must not
    // shift them.
    EXPECT_EQ(recording.stamps[1], Sequence(40));
    const auto& pictures = recording.frames[1];
    ASSERT_EQ(pictures.size(), 40u);
    // Stretched over the whole picture, not cropped; the scaler follows a change of size.
    EXPECT_GT(Luma(pictures[0], 600, 700), 180);
    EXPECT_LT(Luma(pictures[0], 680, 20), 60);
    EXPECT_LT(Luma(pictures.back(), 400, 360), 60);
    EXPECT_GT(Luma(pictures.back(), 450, 360), 180);

    // The priming frame, then frames of 1024 samples (the last maybe short)
    // without gaps, at the half scale fed: neither silent nor garbled.
    const auto& stamps = recording.stamps[0];
    ASSERT_EQ(static_cast<int64_t>(stamps.size()), 1 + (nFed + kAacFrame - 1) / kAacFrame);
    for (size_t i = 1; i < stamps.size(); ++i) {
        EXPECT_EQ(stamps[i] - stamps[i - 1], stamps[1] - stamps[0]) << "packet " << i;
    }
    const auto [nSamples, fPeak] = Listen(recording.frames[0]);
    EXPECT_GE(nSamples - kAacFrame, nFed);
    EXPECT_LT(nSamples - kAacFrame, nFed + kAacFrame);
    EXPECT_GT(fPeak, 0.4);
    EXPECT_LT(fPeak, 0.6);
}

// A real capture device: PortAudio's ALSA backend reaching a private
// PulseAudio daemon whose only (so default) source is a silent null source.
// It keeps its socket in XDG_RUNTIME_DIR, which the test main makes for each
// test process, where clients look for it. -n: no configuration files, only
// these modules. A null source is clocked on its own (the monitor of a null
// sink hands its first block over only after seconds). Should the test die,
// the daemon ends by itself once it has had no client for a while.
TEST(AudioCaptureTest, LiveBlocksArriveWholeUntilStopAndARecordingTakesThem) {
    QProcess daemon; // its destructor ends the daemon and waits for that
    daemon.setProcessChannelMode(QProcess::MergedChannels);
    daemon.start("pulseaudio",
                 {"-n", "--daemonize=no", "--exit-idle-time=20", "--disable-shm=yes",
                  "--log-target=stderr", "--log-level=info",
                  "--load=module-native-protocol-unix auth-anonymous=1",
                  "--load=module-null-source source_name=orvane_test rate=48000 channels=2"});
    QByteArray log; // ready once it says so
    while (!log.contains("Daemon startup complete.") && daemon.waitForReadyRead(15000)) {
        log += daemon.readAll();
    }
    const bool bDevice = Pa_Initialize() == paNoError && Pa_GetDefaultInputDevice() != paNoDevice;
    Pa_Terminate();
    if (!log.contains("Daemon startup complete.") || !bDevice) {
        GTEST_SKIP() << "no PulseAudio reachable through PortAudio: "
                     << (daemon.errorString() + log).toStdString();
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<int> sizes;
    auto collect = [&](const unsigned char*, int nBytes) {
        std::lock_guard<std::mutex> lock(mutex);
        sizes.push_back(nBytes);
        arrived.notify_all();
    };
    // Whole blocks of 1024 frames, whatever the channels; none after Stop
    // (the unlocked clear would race with one), and again after a restart.
    AudioCapture capture;
    for (const int nChannels : {2, 1}) {
        SCOPED_TRACE(nChannels);
        sizes.clear();
        ASSERT_TRUE(capture.Start(nChannels, 48000, collect));
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(
            arrived.wait_for(lock, std::chrono::seconds(15), [&] { return sizes.size() >= 3; }));
        lock.unlock();
        capture.Stop();
        EXPECT_EQ(std::count(sizes.begin(), sizes.end(), nChannels * 2048), sizes.size());
    }

    // Record for a while; the microphone feeds the writer from its own thread.
    const std::string strPath = TestFilePath("live.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 320, 240, 30, 1024, 48000));
    const auto picture = MakePicture(320, 240, 160, 0x0A0A0A, 0xF0F0F0);
    size_t nPictures = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (; std::chrono::steady_clock::now() < end; ++nPictures) {
        writer.WriteVideo(picture.data(), 320, 240);
    }
    EXPECT_TRUE(writer.Stop());
    const Recording recording = ReadRecording(strPath);
    EXPECT_EQ(recording.stamps.at(1).size(), nPictures);
    EXPECT_GT(recording.stamps.at(0).size(), 10u);
    EXPECT_LT(Listen(recording.frames.at(0)).second, 0.01); // the null source is silent
}

} // namespace
