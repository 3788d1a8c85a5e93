#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(VideoWriterThreadTest, SoundAndPicturesFromTwoThreadsAtOnce) {
    const std::string strPath = TestFilePath("threads.avi");
    const bool bMicrophone = HasDefaultInputDevice();
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 320, 240, 30, 1024, 48000));
    constexpr int kPictures = 60;
    constexpr int kBlocks = 150;
    std::thread pictures([&] {
        for (int i = 0; i < kPictures; ++i) {
            const auto picture = MakePicture(320, 240, (i * 5) % 320, 200, 30);
            writer.WriteVideo(picture.data(), 320, 240);
        }
    });
    std::thread sound([&] {
        for (int i = 0; i < kBlocks; ++i) {
            const auto block = MakeTone(i * 1024, 1024);
            writer.OnAudioData(block.data(), static_cast<int>(block.size()));
        }
    });
    pictures.join();
    sound.join();
    writer.Stop();

    const Recording recording = ReadRecording(strPath);
    ASSERT_EQ(recording.Packets(1), static_cast<size_t>(kPictures));
    for (size_t i = 0; i < kPictures; ++i) {
        EXPECT_EQ(recording.streams[1].timestamps[i], static_cast<int64_t>(i));
    }
    // The blocks and the encoder's priming frame; a live microphone adds more.
    EXPECT_EQ(recording.Packets(0) >= kBlocks + 1, true);
    if (!bMicrophone) {
        EXPECT_EQ(recording.Packets(0), static_cast<size_t>(kBlocks + 1));
    }
}

} // namespace
