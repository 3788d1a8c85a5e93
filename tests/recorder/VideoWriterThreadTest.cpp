#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(VideoWriterThreadTest, SoundAndPicturesFromTwoThreadsAtOnce) {
    const std::string strPath = TestFilePath("threads.avi");
    constexpr size_t kPictures = 60;
    constexpr size_t kBlocks = 150;
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 320, 240, 30, 1024, 48000));
    std::thread sound([&] {
        for (size_t i = 0; i < kBlocks; ++i) {
            const auto block = MakeTone(static_cast<int64_t>(i) * 1024, 1024);
            writer.OnAudioData(block.data(), static_cast<int>(block.size()));
        }
    });
    for (size_t i = 0; i < kPictures; ++i) {
        const auto picture = MakePicture(320, 240, static_cast<int>(i * 5), 200, 30);
        writer.WriteVideo(picture.data(), 320, 240);
    }
    sound.join();
    writer.Stop();

    const Recording recording = ReadRecording(strPath);
    ASSERT_EQ(recording.stamps.size(), 2u);
    EXPECT_EQ(recording.stamps[1], Sequence(kPictures));
    // The blocks and the encoder's priming frame (a live microphone adds more).
    EXPECT_GE(recording.stamps[0].size(), kBlocks + 1);
}

} // namespace
