#include "recorder/AudioCapture.h"
#include "recorder/VideoWriter.h"
#include "tests/recorder/PulseAudioDaemon.h"
#include "tests/recorder/RecorderTestSupport.h"
#include "tests/recorder/RecordingReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace {

constexpr auto kDeliveryTimeout = std::chrono::seconds(15);

// Counts the blocks the audio thread hands over and remembers their sizes.
class BlockCounter {
public:
    AudioCallback Callback() {
        return [this](const unsigned char* pData, int nBytes) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (pData != nullptr) {
                ++m_nBlocks;
                m_sizes.insert(nBytes);
            }
            m_changed.notify_all();
        };
    }
    bool WaitFor(int nBlocks) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kDeliveryTimeout, [&] { return m_nBlocks >= nBlocks; });
    }
    std::set<int> Sizes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sizes;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_nBlocks = 0;
    std::set<int> m_sizes;
};

TEST(AudioCaptureTest, WithoutAnInputDeviceStartFailsAndARecordingGoesOnSilent) {
    if (HasDefaultInputDevice()) {
        GTEST_SKIP() << "this machine has an input device";
    }
    AudioCapture capture;
    BlockCounter counter;
    EXPECT_FALSE(capture.Start(2, 48000, counter.Callback()));
    capture.Stop();

    const std::string strPath = TestFilePath("silent.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 320, 240, 30, 1024, 48000));
    const auto picture = MakePicture(320, 240, 160, 10, 240);
    writer.WriteVideo(picture.data(), 320, 240);
    writer.Stop();
    const RecordingReader reader(strPath);
    ASSERT_EQ(reader.Streams().size(), 2u);
    EXPECT_EQ(reader.Packets(0), 0u);
    EXPECT_EQ(reader.Packets(1), 1u);
}

class LiveCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_daemon.Start()) {
            GTEST_SKIP() << "no PulseAudio here: " << m_daemon.ErrorText().toStdString();
        }
        if (!HasDefaultInputDevice()) {
            GTEST_SKIP() << "PortAudio sees no PulseAudio device (libasound2-plugins missing?)";
        }
    }
    PulseAudioDaemon m_daemon;
};

TEST_F(LiveCaptureTest, BlocksOfTheDefaultDeviceArriveWholeUntilStop) {
    {
        AudioCapture capture;
        BlockCounter counter;
        ASSERT_TRUE(capture.Start(2, 48000, counter.Callback()));
        ASSERT_TRUE(counter.WaitFor(5));
        capture.Stop();
        // 1024 frames of two 16-bit samples each.
        EXPECT_EQ(counter.Sizes(), std::set<int>{4096});
        // The counter goes out of scope first: a callback after Stop would
        // touch freed memory, which the sanitizers report.
    }
    AudioCapture capture;
    BlockCounter counter;
    ASSERT_TRUE(capture.Start(1, 48000, counter.Callback()));
    ASSERT_TRUE(counter.WaitFor(3));
    capture.Stop();
    EXPECT_EQ(counter.Sizes(), std::set<int>{2048});
    // Start again after Stop: the same object opens the device anew.
    BlockCounter again;
    ASSERT_TRUE(capture.Start(2, 48000, again.Callback()));
    ASSERT_TRUE(again.WaitFor(2));
}

TEST_F(LiveCaptureTest, ARecordingTakesTheSoundOfTheDefaultDevice) {
    const std::string strPath = TestFilePath("live.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 320, 240, 30, 1024, 48000));
    // Record for a while, as the recording thread would; the microphone runs
    // on its own thread meanwhile.
    const auto picture = MakePicture(320, 240, 160, 10, 240);
    int nPictures = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
        writer.WriteVideo(picture.data(), 320, 240);
        ++nPictures;
    }
    writer.Stop();

    const RecordingReader reader(strPath);
    EXPECT_EQ(reader.Packets(1), static_cast<size_t>(nPictures));
    EXPECT_GT(reader.Packets(0), 10u);
    int64_t nSamples = 0;
    double fPeak = 1.0;
    ASSERT_TRUE(reader.DecodeAudio(0, nSamples, fPeak));
    // The null source delivers silence.
    EXPECT_LT(fPeak, 0.01);
}

} // namespace
