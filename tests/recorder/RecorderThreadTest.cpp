#include "recorder/AudioCapture.h"
#include "recorder/RecordingRepair.h"
#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Pictures and sound each from a thread of its own, the error queried from a
// third and a repair of the record folder running in a fourth, as the program
// does at start-up: it must leave the file being recorded alone.
TEST(VideoWriterThreadTest, SoundPicturesErrorQueriesAndAFolderRepairAtOnce) {
    const std::string strFolder = TestFilePath("records");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(strFolder)));
    const std::string strPath = strFolder + "/threads.avi";
    constexpr size_t kPictures = 60;
    constexpr size_t kBlocks = 150;
    auto pSource = std::make_unique<FakeAudioSource>();
    FakeAudioSource& sound = *pSource;
    VideoWriter writer(std::move(pSource));
    ASSERT_TRUE(writer.Start(strPath, 320, 240, 30, 1024, 48000));
    std::atomic<int> nFeeding{2};
    std::thread pictures([&] {
        for (size_t i = 0; i < kPictures; ++i) {
            const auto picture = MakePicture(320, 240, static_cast<int>(i * 5), 0xC81E1E, 0x1E1EC8);
            writer.WriteVideo(picture.data(), 320, 240);
        }
        --nFeeding;
    });
    std::thread blocks([&] {
        for (size_t i = 0; i < kBlocks; ++i) {
            sound.Feed(MakeTone(static_cast<int64_t>(i) * 1024, 1024));
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
    pictures.join();
    blocks.join();
    repair.join();
    EXPECT_TRUE(writer.Stop());
    EXPECT_EQ(strError + writer.WriteError(), "");
    EXPECT_EQ(nRepaired, 0);

    const Recording recording = ReadRecording(strPath);
    EXPECT_EQ(recording.stamps.at(1), Sequence(kPictures));
    // The blocks and the encoder's priming frame.
    EXPECT_EQ(recording.stamps.at(0).size(), kBlocks + 1);
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
