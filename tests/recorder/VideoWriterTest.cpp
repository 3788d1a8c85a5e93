#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>

namespace {

constexpr size_t kAudio = 0;
constexpr size_t kVideo = 1;

bool Exists(const std::string& strPath) {
    return QFileInfo::exists(QString::fromStdString(strPath));
}

// Pictures numbered 0 .. n-1 at the nominal rate, none missing.
void ExpectPictures(const std::string& strPath, size_t nCount) {
    const Recording recording = ReadRecording(strPath);
    ASSERT_EQ(recording.Packets(kVideo), nCount) << strPath;
    for (size_t i = 0; i < nCount; ++i) {
        EXPECT_EQ(recording.streams[kVideo].timestamps[i], static_cast<int64_t>(i));
    }
}

TEST(VideoWriterTest, AacStereoThenH264MainWithEveryPictureNumberedAtTheFrameRate) {
    const std::string strPath = TestFilePath("layout.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 640, 360, 30, 1024, 48000));
    const auto picture = MakePicture(640, 360, 320, 200, 40);
    // The audio encoder stamps its first frame before zero; that must not
    // shift the pictures.
    for (int i = 0; i < 45; ++i) {
        writer.WriteVideo(picture.data(), 640, 360);
        const auto tone = MakeTone(i * 1600, 1600);
        writer.OnAudioData(tone.data(), static_cast<int>(tone.size()));
    }
    writer.Stop();

    const Recording recording = ReadRecording(strPath);
    EXPECT_EQ(recording.strFormat, "avi");
    ASSERT_EQ(recording.streams.size(), 2u);
    const AVCodecParameters& audio = recording.streams[kAudio].params;
    EXPECT_EQ(audio.codec_id, AV_CODEC_ID_AAC);
    EXPECT_EQ(audio.sample_rate, 48000);
    EXPECT_EQ(audio.ch_layout.nb_channels, 2);
    const AVCodecParameters& video = recording.streams[kVideo].params;
    EXPECT_EQ(video.codec_id, AV_CODEC_ID_H264);
    EXPECT_EQ(video.profile, FF_PROFILE_H264_MAIN);
    EXPECT_EQ(video.width, 640);
    EXPECT_EQ(video.height, 360);
    // The encoder holds pictures back for its look-ahead: Stop must drain them.
    ExpectPictures(strPath, 45);
}

TEST(VideoWriterTest, ARecordingStartedAndStoppedAtOnceIsAValidAviWithBothStreams) {
    const std::string strPath = TestFilePath("empty.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 1280, 720, 30, 1024, 48000));
    writer.Stop();
    writer.Stop();

    const Recording recording = ReadRecording(strPath);
    ASSERT_EQ(recording.streams.size(), 2u);
    EXPECT_EQ(recording.streams[kAudio].params.codec_id, AV_CODEC_ID_AAC);
    EXPECT_EQ(recording.streams[kVideo].params.codec_id, AV_CODEC_ID_H264);
    EXPECT_EQ(recording.Packets(kVideo), 0u);
    EXPECT_EQ(OpenDescriptorsTo(strPath), 0);
}

TEST(VideoWriterTest, PicturesOfAnotherSizeAreStretchedToTheRecordingSize) {
    const std::string strPath = TestFilePath("scaled.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 1280, 720, 30, 3072, 48000));
    // Light left half at 1920 x 1080, then a small picture dark on its left
    // third: the scaler has to follow the change of size.
    const auto large = MakePicture(1920, 1080, 960, 220, 30);
    const auto small = MakePicture(320, 240, 107, 30, 220);
    writer.WriteVideo(large.data(), 1920, 1080);
    writer.WriteVideo(small.data(), 320, 240);
    writer.Stop();

    std::vector<uint8_t> luma;
    int nWidth = 0;
    int nHeight = 0;
    auto at = [&](int x, int y) { return luma[static_cast<size_t>(y) * nWidth + x]; };
    ASSERT_TRUE(DecodePicture(strPath, kVideo, 0, luma, nWidth, nHeight));
    ASSERT_EQ(nWidth, 1280);
    ASSERT_EQ(nHeight, 720);
    // Stretched over the whole picture, not cropped.
    EXPECT_GT(at(600, 700), 180);
    EXPECT_LT(at(680, 20), 60);
    EXPECT_LT(at(1270, 700), 60);
    ASSERT_TRUE(DecodePicture(strPath, kVideo, 1, luma, nWidth, nHeight));
    EXPECT_LT(at(400, 360), 60);
    EXPECT_GT(at(450, 360), 180);
}

TEST(VideoWriterTest, MissingOrEmptyPicturesAreIgnoredWithoutUsingATimestamp) {
    const std::string strPath = TestFilePath("ignored.avi");
    const auto picture = MakePicture(320, 240, 160, 100, 100);
    VideoWriter writer;
    writer.WriteVideo(picture.data(), 320, 240); // not started yet
    ASSERT_TRUE(writer.Start(strPath, 320, 240, 10, 1024, 48000));
    writer.WriteVideo(nullptr, 320, 240);
    writer.WriteVideo(picture.data(), 0, 0);
    writer.WriteVideo(picture.data(), -320, 240);
    writer.WriteVideo(picture.data(), 320, 240);
    writer.OnAudioData(nullptr, 4096);
    writer.WriteVideo(picture.data(), 320, 240);
    writer.Stop();
    writer.WriteVideo(picture.data(), 320, 240);
    writer.OnAudioData(picture.data(), 4096);
    ExpectPictures(strPath, 2);
}

TEST(VideoWriterTest, AFailedStartLeavesNothingOpenAndRemovesOnlyWhatItCreated) {
    VideoWriter writer;
    const std::string strMissing = TestFilePath("no/such/folder/x.avi");
    EXPECT_FALSE(writer.Start(strMissing, 1280, 720, 30, 1024, 48000));
    EXPECT_FALSE(Exists(strMissing));
    // A folder where the file should be: refused and left alone.
    const std::string strFolder = TestFilePath("folder.avi");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(strFolder)));
    EXPECT_FALSE(writer.Start(strFolder, 1280, 720, 30, 1024, 48000));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(strFolder)).isDir());
    // The file opens but the encoder refuses an odd size for 4:2:0.
    const std::string strOdd = TestFilePath("odd.avi");
    EXPECT_FALSE(writer.Start(strOdd, 641, 481, 30, 1024, 48000));
    EXPECT_FALSE(Exists(strOdd));
    EXPECT_EQ(OpenDescriptorsTo(strOdd), 0);
    EXPECT_FALSE(writer.Start(TestFilePath("rate.avi"), 1280, 720, 0, 1024, 48000));

    const auto picture = MakePicture(64, 64, 32, 0, 0);
    writer.WriteVideo(picture.data(), 64, 64);
    writer.Stop();
}

TEST(VideoWriterTest, ASecondStartOrTheDestructorFinishesAnOpenRecording) {
    const std::string strFirst = TestFilePath("first.avi");
    const std::string strSecond = TestFilePath("second.avi");
    const auto picture = MakePicture(320, 240, 160, 50, 150);
    {
        VideoWriter writer;
        ASSERT_TRUE(writer.Start(strFirst, 320, 240, 20, 1024, 48000));
        for (int i = 0; i < 5; ++i) {
            writer.WriteVideo(picture.data(), 320, 240);
        }
        ASSERT_TRUE(writer.Start(strSecond, 320, 240, 20, 1024, 48000));
        for (int i = 0; i < 3; ++i) {
            writer.WriteVideo(picture.data(), 320, 240);
        }
    }
    ExpectPictures(strFirst, 5);
    ExpectPictures(strSecond, 3);
    EXPECT_EQ(OpenDescriptorsTo(strSecond), 0);
}

TEST(VideoWriterTest, AFullDiskKeepsWhatWasWrittenAndStillClosesTheFile) {
    const std::string strPath = TestFilePath("full.avi");
    constexpr int kPictures = 60;
    constexpr rlim_t kRoom = 1500000;
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 640, 480, 30, 3072, 48000));

    // The file may not grow beyond kRoom, as on a disk that fills up; writes
    // beyond fail instead of raising SIGXFSZ. Noise hardly compresses, so
    // only a few pictures fit.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = kRoom;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::vector<uint8_t> picture(640 * 480 * 4);
    uint32_t nState = 12345;
    for (int i = 0; i < kPictures; ++i) {
        for (uint8_t& nByte : picture) {
            nState = nState * 1664525u + 1013904223u;
            nByte = static_cast<uint8_t>(nState >> 24);
        }
        writer.WriteVideo(picture.data(), 640, 480);
        const auto tone = MakeTone(i * 1600, 1600);
        writer.OnAudioData(tone.data(), static_cast<int>(tone.size()));
    }
    writer.Stop();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(OpenDescriptorsTo(strPath), 0);
    EXPECT_LE(QFileInfo(QString::fromStdString(strPath)).size(), static_cast<qint64>(kRoom));
    const Recording recording = ReadRecording(strPath);
    EXPECT_GE(recording.Packets(kVideo), 3u);
    EXPECT_LT(recording.Packets(kVideo), static_cast<size_t>(kPictures));
    std::vector<uint8_t> luma;
    int nWidth = 0;
    int nHeight = 0;
    EXPECT_TRUE(DecodePicture(strPath, kVideo, 1, luma, nWidth, nHeight));
    EXPECT_EQ(nWidth, 640);
}

} // namespace
