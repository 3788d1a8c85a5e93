#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"
#include "tests/recorder/RecordingReader.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Sound comes from the audio thread while pictures come from the recording
// thread; both end up in one file.
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
        int64_t nSample = 0;
        for (int i = 0; i < kBlocks; ++i) {
            const auto block = MakeTone(nSample, 1024);
            nSample += 1024;
            writer.OnAudioData(block.data(), static_cast<int>(block.size()));
        }
    });
    pictures.join();
    sound.join();
    writer.Stop();

    const RecordingReader reader(strPath);
    ASSERT_EQ(reader.Packets(1), static_cast<size_t>(kPictures));
    for (size_t i = 0; i < reader.Packets(1); ++i) {
        EXPECT_EQ(reader.Streams()[1].pts[i], static_cast<int64_t>(i));
    }
    // The blocks plus the encoder's priming frame; a live microphone adds its own.
    if (bMicrophone) {
        EXPECT_GE(reader.Packets(0), static_cast<size_t>(kBlocks + 1));
    } else {
        EXPECT_EQ(reader.Packets(0), static_cast<size_t>(kBlocks + 1));
    }
}

} // namespace
