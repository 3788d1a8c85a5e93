#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <tuple>

namespace {

constexpr size_t kAudio = 0;
constexpr size_t kVideo = 1;
constexpr int kAacFrame = 1024;

TEST(VideoWriterTest, RecordsEverySampleAndEveryPictureStretchedAndNumberedAtTheFrameRate) {
    const std::string strPath = TestFilePath("layout.avi");
    // Light on the left half, then dark on the left third of a small picture.
    const auto large = MakePicture(1920, 1080, 960, 220, 30);
    const auto small = MakePicture(320, 240, 107, 30, 220);
    VideoWriter writer;
    writer.WriteVideo(large.data(), 1920, 1080); // not started yet
    ASSERT_TRUE(writer.Start(strPath, 1280, 720, 30, 3072, 48000));
    // Missing or empty pictures are ignored without using up a timestamp.
    writer.WriteVideo(nullptr, 1920, 1080);
    writer.WriteVideo(large.data(), 0, 0);
    writer.WriteVideo(large.data(), -1920, 1080);
    writer.OnAudioData(nullptr, 4096);
    // The host decides how many frames a capture block holds; a torn sample
    // at the end of one is all that may be dropped.
    constexpr int kBlockFrames[] = {441, 1500, 4096, 1024};
    int64_t nFed = 0;
    for (int i = 0; i < 40; ++i) {
        const bool bLast = i == 39;
        writer.WriteVideo(bLast ? small.data() : large.data(), bLast ? 320 : 1920,
                          bLast ? 240 : 1080);
        auto tone = MakeTone(nFed, kBlockFrames[i % 4]);
        tone.push_back(0x55);
        writer.OnAudioData(tone.data(), static_cast<int>(tone.size()));
        nFed += kBlockFrames[i % 4];
    }
    writer.Stop();
    writer.WriteVideo(large.data(), 1920, 1080);

    const Recording recording = ReadRecording(strPath);
    const AVCodecParameters& audio = recording.params.at(kAudio);
    EXPECT_EQ(std::make_tuple(audio.codec_id, audio.sample_rate, audio.ch_layout.nb_channels),
              std::make_tuple(AV_CODEC_ID_AAC, 48000, 2));
    const AVCodecParameters& video = recording.params.at(kVideo);
    EXPECT_EQ(std::make_tuple(video.codec_id, video.profile, video.width, video.height),
              std::make_tuple(AV_CODEC_ID_H264, FF_PROFILE_H264_MAIN, 1280, 720));
    // The encoder holds pictures back for its look-ahead: Stop must drain
    // them. The audio encoder's priming frame, stamped before zero, must not
    // shift them.
    EXPECT_EQ(recording.stamps[kVideo], Sequence(40));
    const auto& pictures = recording.frames[kVideo];
    ASSERT_EQ(pictures.size(), 40u);
    // Stretched over the whole picture, not cropped; the scaler follows a change of size.
    EXPECT_GT(Luma(pictures[0], 600, 700), 180);
    EXPECT_LT(Luma(pictures[0], 680, 20), 60);
    EXPECT_LT(Luma(pictures.back(), 400, 360), 60);
    EXPECT_GT(Luma(pictures.back(), 450, 360), 180);

    if (HasDefaultInputDevice()) {
        return; // a live microphone adds its own sound
    }
    // The priming frame, then frames of 1024 samples (the last maybe short)
    // without gaps, at the half scale fed: neither silent nor garbled.
    const auto& stamps = recording.stamps[kAudio];
    ASSERT_EQ(static_cast<int64_t>(stamps.size()), 1 + (nFed + kAacFrame - 1) / kAacFrame);
    for (size_t i = 1; i < stamps.size(); ++i) {
        EXPECT_EQ(stamps[i] - stamps[i - 1], stamps[1] - stamps[0]) << "packet " << i;
    }
    const auto [nSamples, fPeak] = Listen(recording.frames[kAudio]);
    EXPECT_GE(nSamples - kAacFrame, nFed);
    EXPECT_LT(nSamples - kAacFrame, nFed + kAacFrame);
    EXPECT_GT(fPeak, 0.4);
    EXPECT_LT(fPeak, 0.6);
}

// A recording is finished, never dropped, when the next one starts (the
// second of these is started and stopped at once) or the writer goes away.
TEST(VideoWriterTest, ASecondStartOrTheDestructorFinishesAnOpenRecording) {
    const std::string strPaths[] = {TestFilePath("first.avi"), TestFilePath("empty.avi"),
                                    TestFilePath("third.avi")};
    const size_t nPictures[] = {5, 0, 3};
    const auto picture = MakePicture(320, 240, 160, 50, 150);
    {
        VideoWriter writer;
        for (size_t n = 0; n < 3; ++n) {
            ASSERT_TRUE(writer.Start(strPaths[n], 320, 240, 20, 1024, 48000));
            for (size_t i = 0; i < nPictures[n]; ++i) {
                writer.WriteVideo(picture.data(), 320, 240);
            }
        }
    }
    for (size_t n = 0; n < 3; ++n) {
        SCOPED_TRACE(strPaths[n]);
        const Recording recording = ReadRecording(strPaths[n]);
        EXPECT_EQ(recording.stamps.at(kVideo), Sequence(nPictures[n]));
        EXPECT_EQ(OpenDescriptorsTo(strPaths[n]), 0);
    }
}

TEST(VideoWriterTest, AFailedStartLeavesNothingOpenAndRemovesOnlyWhatItCreated) {
    const std::string strFolder = TestFilePath("folder.avi");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(strFolder)));
    // A missing folder; a folder in the way (left alone); a size 4:2:0 cannot
    // take, found only once the file is open; no frame rate.
    const struct {
        std::string strPath;
        int nWidth, nHeight, nFrameRate;
    } rows[] = {{TestFilePath("no/such/folder/x.avi"), 1280, 720, 30},
                {strFolder, 1280, 720, 30},
                {TestFilePath("odd.avi"), 641, 481, 30},
                {TestFilePath("rate.avi"), 1280, 720, 0}};
    VideoWriter writer;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.strPath);
        EXPECT_FALSE(
            writer.Start(row.strPath, row.nWidth, row.nHeight, row.nFrameRate, 1024, 48000));
        EXPECT_EQ(QFileInfo::exists(QString::fromStdString(row.strPath)), row.strPath == strFolder);
        EXPECT_EQ(OpenDescriptorsTo(row.strPath), 0);
    }
    writer.WriteVideo(MakePicture(64, 64, 32, 0, 0).data(), 64, 64);
}

TEST(VideoWriterTest, AFullDiskKeepsWhatWasWrittenAndStillClosesTheFile) {
    const std::string strPath = TestFilePath("full.avi");
    constexpr size_t kPictures = 60;
    constexpr rlim_t kRoom = 1500000;
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 640, 480, 30, 3072, 48000));
    // As on a disk that fills up, writes beyond kRoom fail (instead of raising
    // SIGXFSZ). Noise hardly compresses, so only a few pictures fit.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit{kRoom, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::vector<uint8_t> picture(640 * 480 * 4);
    std::minstd_rand random(1);
    for (size_t i = 0; i < kPictures; ++i) {
        std::generate(picture.begin(), picture.end(),
                      [&] { return static_cast<uint8_t>(random()); });
        writer.WriteVideo(picture.data(), 640, 480);
        const auto tone = MakeTone(static_cast<int64_t>(i) * 1600, 1600);
        writer.OnAudioData(tone.data(), static_cast<int>(tone.size()));
    }
    writer.Stop();
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(OpenDescriptorsTo(strPath), 0);
    const Recording recording = ReadRecording(strPath);
    EXPECT_GE(recording.frames.at(kVideo).size(), 3u);
    EXPECT_LT(recording.stamps[kVideo].size(), kPictures);
}

} // namespace
