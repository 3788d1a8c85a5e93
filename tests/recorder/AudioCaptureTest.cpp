#include "recorder/AudioCapture.h"
#include "recorder/VideoWriter.h"
#include "tests/recorder/PulseAudioDaemon.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace {

// Collects what the audio thread hands over.
struct Blocks {
    std::mutex mutex;
    std::condition_variable arrived;
    std::set<int> sizes;
    int nCount = 0;

    AudioCallback Callback() {
        return [this](const unsigned char*, int nBytes) {
            std::lock_guard<std::mutex> lock(mutex);
            sizes.insert(nBytes);
            ++nCount;
            arrived.notify_all();
        };
    }
    bool WaitFor(int nBlocks) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(15), [&] { return nCount >= nBlocks; });
    }
};

TEST(AudioCaptureTest, WithoutAnInputDeviceStartFailsAndARecordingGoesOnSilent) {
    if (HasDefaultInputDevice()) {
        GTEST_SKIP() << "this machine has an input device";
    }
    AudioCapture capture;
    Blocks blocks;
    EXPECT_FALSE(capture.Start(2, 48000, blocks.Callback()));
    capture.Stop();

    const std::string strPath = TestFilePath("silent.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 320, 240, 30, 1024, 48000));
    const auto picture = MakePicture(320, 240, 160, 10, 240);
    writer.WriteVideo(picture.data(), 320, 240);
    writer.Stop();
    const Recording recording = ReadRecording(strPath);
    ASSERT_EQ(recording.streams.size(), 2u);
    EXPECT_EQ(recording.Packets(0), 0u);
    EXPECT_EQ(recording.Packets(1), 1u);
}

// A real capture device: PortAudio's ALSA backend reaching a PulseAudio
// daemon of this test. Skipped where none can be had.
class LiveCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_daemon.Start()) {
            GTEST_SKIP() << "no PulseAudio: " << m_daemon.ErrorText().toStdString();
        }
        if (!HasDefaultInputDevice()) {
            GTEST_SKIP() << "PortAudio does not reach PulseAudio (libasound2-plugins?)";
        }
    }
    PulseAudioDaemon m_daemon;
};

TEST_F(LiveCaptureTest, BlocksArriveWholeUntilStopAndAgainAfterARestart) {
    AudioCapture capture;
    {
        Blocks blocks;
        ASSERT_TRUE(capture.Start(2, 48000, blocks.Callback()));
        ASSERT_TRUE(blocks.WaitFor(5));
        capture.Stop();
        EXPECT_EQ(blocks.sizes, std::set<int>{4096}); // 1024 frames of 2 x 16 bits
        // blocks dies here: a callback after Stop would touch freed memory.
    }
    Blocks mono;
    ASSERT_TRUE(capture.Start(1, 48000, mono.Callback()));
    ASSERT_TRUE(mono.WaitFor(3));
    capture.Stop();
    std::lock_guard<std::mutex> lock(mono.mutex);
    EXPECT_EQ(mono.sizes, std::set<int>{2048});
}

TEST_F(LiveCaptureTest, ARecordingTakesTheSoundOfTheDefaultDevice) {
    const std::string strPath = TestFilePath("live.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 320, 240, 30, 1024, 48000));
    // Record for a while; the microphone runs on its own thread meanwhile.
    const auto picture = MakePicture(320, 240, 160, 10, 240);
    size_t nPictures = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (; std::chrono::steady_clock::now() < end; ++nPictures) {
        writer.WriteVideo(picture.data(), 320, 240);
    }
    writer.Stop();

    const Recording recording = ReadRecording(strPath);
    EXPECT_EQ(recording.Packets(1), nPictures);
    EXPECT_GT(recording.Packets(0), 10u);
    int64_t nSamples = 0;
    double fPeak = 1.0;
    ASSERT_TRUE(DecodeAudio(strPath, 0, nSamples, fPeak));
    EXPECT_LT(fPeak, 0.01); // the null source is silent
}

} // namespace
