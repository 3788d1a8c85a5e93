#include "recorder/VideoWriter.h"
#include "recorder/RecordingRepair.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstring>
#include <random>
#include <sys/resource.h>
#include <tuple>

namespace {

constexpr size_t kAudio = 0;
constexpr size_t kVideo = 1;
constexpr int kAacFrame = 1024;

// Each writer gets a sound source of its test; the caller keeps the source.
struct Writer {
    FakeAudioSource* pSound;
    VideoWriter writer;
    explicit Writer(std::unique_ptr<FakeAudioSource> pSource = std::make_unique<FakeAudioSource>())
        : pSound(pSource.get()), writer(std::move(pSource)) {}
};

TEST(VideoWriterTest, RecordsEverySampleAndEveryPictureStretchedAndNumberedAtTheFrameRate) {
    const std::string strPath = TestFilePath("layout.avi");
    // Light on the left half, then dark on the left third of a small picture.
    const auto large = MakePicture(1920, 1080, 960, 0xDCDCDC, 0x1E1E1E);
    const auto small = MakePicture(320, 240, 107, 0x1E1E1E, 0xDCDCDC);
    Writer w;
    VideoWriter& writer = w.writer;
    writer.WriteVideo(large.data(), 1920, 1080); // not started yet
    ASSERT_TRUE(writer.Start(strPath, 1280, 720, 30, 3072, 48000));
    // Missing or empty pictures are ignored without using up a timestamp.
    writer.WriteVideo(nullptr, 1920, 1080);
    writer.WriteVideo(large.data(), 0, 0);
    writer.WriteVideo(large.data(), -1920, 1080);
    w.pSound->Feed(nullptr, 4096);
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
        w.pSound->Feed(tone);
        nFed += kBlockFrames[i % 4];
    }
    EXPECT_TRUE(writer.Stop());
    EXPECT_EQ(writer.WriteError(), "");
    writer.WriteVideo(large.data(), 1920, 1080);
    w.pSound->Feed(MakeTone(0, 1024)); // stopped: goes nowhere

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
// second of these is started and stopped at once) or the writer goes away. A
// sound source that does not start leaves the sound stream empty.
TEST(VideoWriterTest, ASecondStartOrTheDestructorFinishesAnOpenRecording) {
    const std::string strPaths[] = {TestFilePath("first.avi"), TestFilePath("empty.avi"),
                                    TestFilePath("third.avi")};
    const size_t nPictures[] = {5, 0, 3};
    const auto picture = MakePicture(320, 240, 160, 0x323232, 0x969696);
    {
        Writer w(std::make_unique<FakeAudioSource>(false));
        for (size_t n = 0; n < 3; ++n) {
            ASSERT_TRUE(w.writer.Start(strPaths[n], 320, 240, 20, 1024, 48000));
            for (size_t i = 0; i < nPictures[n]; ++i) {
                w.writer.WriteVideo(picture.data(), 320, 240);
                w.pSound->Feed(MakeTone(0, 1024));
            }
        }
    }
    for (size_t n = 0; n < 3; ++n) {
        SCOPED_TRACE(strPaths[n]);
        const Recording recording = ReadRecording(strPaths[n]);
        EXPECT_EQ(recording.stamps.at(kVideo), Sequence(nPictures[n]));
        EXPECT_EQ(recording.stamps.at(kAudio).size(), 0u);
        EXPECT_EQ(OpenDescriptorsTo(strPaths[n]), 0);
    }
}

// A failed Start says why, leaves nothing open and takes away only a file it
// created itself; a file that was there is never overwritten.
TEST(VideoWriterTest, AFailedStartLeavesNothingOpenAndRemovesOnlyWhatItCreated) {
    const std::string strFolder = TestFilePath("folder.avi");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(strFolder)));
    const std::string strNotes = TestFilePath("notes.avi");
    const QByteArray notes = "not a recording";
    const struct {
        std::string strPath;
        int nWidth, nHeight, nFrameRate;
        bool bThereBefore;
    } rows[] = {{TestFilePath("no/such/folder/x.avi"), 1280, 720, 30, false},
                {strFolder, 1280, 720, 30, true},
                // 4:2:0 cannot take an odd size: found only once the file is open
                {TestFilePath("odd.avi"), 641, 481, 30, false},
                {TestFilePath("rate.avi"), 1280, 720, 0, false},
                {strNotes, 1280, 720, 30, true},
                {strNotes, 641, 480, 30, true}};
    VideoWriter writer(nullptr);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.strPath + " " + std::to_string(row.nWidth));
        QFile file(QString::fromStdString(strNotes));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(notes) == notes.size());
        file.close();
        EXPECT_FALSE(
            writer.Start(row.strPath, row.nWidth, row.nHeight, row.nFrameRate, 1024, 48000));
        EXPECT_NE(writer.WriteError(), "");
        EXPECT_TRUE(writer.Stop());
        EXPECT_EQ(QFileInfo::exists(QString::fromStdString(row.strPath)), row.bThereBefore);
        EXPECT_EQ(OpenDescriptorsTo(row.strPath), 0);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), notes);
    }
    writer.WriteVideo(MakePicture(64, 64, 32, 0, 0).data(), 64, 64);
}

// Writes beyond kRoom fail as on a disk that fills up (instead of raising
// SIGXFSZ). The error shows while recording and from Stop, the file keeps
// what was written, and a repair finishes it once there is room again.
TEST(VideoWriterTest, AFullDiskIsReportedAndTheFileKeepsWhatWasWritten) {
    const std::string strPath = TestFilePath("full.avi");
    constexpr size_t kPictures = 60;
    constexpr rlim_t kRoom = 1500000;
    Writer w;
    ASSERT_TRUE(w.writer.Start(strPath, 640, 480, 30, 3072, 48000));
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit{kRoom, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    // Noise hardly compresses, so only a few pictures fit.
    std::vector<uint8_t> picture(640 * 480 * 4);
    std::minstd_rand random(1);
    for (size_t i = 0; i < kPictures; ++i) {
        std::generate(picture.begin(), picture.end(),
                      [&] { return static_cast<uint8_t>(random()); });
        w.writer.WriteVideo(picture.data(), 640, 480);
        w.pSound->Feed(MakeTone(static_cast<int64_t>(i) * 1600, 1600));
    }
    EXPECT_EQ(w.writer.WriteError(), std::strerror(EFBIG));
    EXPECT_FALSE(w.writer.Stop());
    EXPECT_EQ(w.writer.WriteError(), std::strerror(EFBIG));
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(OpenDescriptorsTo(strPath), 0);
    const Recording recording = ReadRecording(strPath);
    EXPECT_GE(recording.frames.at(kVideo).size(), 3u);
    EXPECT_LT(recording.stamps[kVideo].size(), kPictures);
    // The torn last picture is left out.
    ASSERT_TRUE(RecordingRepair::Repair(strPath));
    EXPECT_EQ(ReadRecording(strPath).frames.at(kVideo).size(), recording.frames[kVideo].size() - 1);
}

// What a crash leaves is what is on the disk while recording: all but about
// the last second, with and without sound. Flat pictures and silence make
// packets far smaller than the write buffer, so only flushing gets them there.
TEST(VideoWriterTest, WhatIsRecordedReachesTheDiskWithinASecond) {
    const auto picture = MakePicture(320, 240, 160, 0x808080, 0x808080);
    for (const bool bSound : {false, true}) {
        SCOPED_TRACE(bSound ? "with sound" : "without sound");
        const std::string strPath = TestFilePath(bSound ? "sound.avi" : "silent.avi");
        Writer w(bSound ? std::make_unique<FakeAudioSource>() : nullptr);
        ASSERT_TRUE(w.writer.Start(strPath, 320, 240, 30, 1024, 48000));
        for (int i = 0; i < 90; ++i) { // three seconds
            w.writer.WriteVideo(picture.data(), 320, 240);
            if (w.pSound != nullptr) {
                w.pSound->Feed(MakeTone(i * 1600, 1600, 0.0));
            }
        }
        const Recording onDisk = ReadRecording(strPath);
        EXPECT_GE(onDisk.stamps.at(kVideo).size(), 45u);
        EXPECT_GE(onDisk.stamps.at(kAudio).size(), bSound ? 70u : 0u);
        EXPECT_TRUE(w.writer.Stop());
    }
}

// Players that read the stream's colour tags and players that guess from the
// size (BT.709 from 1280 wide or more than 576 high) both get the colours back.
TEST(VideoWriterTest, ColoursAreConvertedAsTheStreamSays) {
    const struct {
        int nWidth, nHeight;
        AVColorSpace nMatrix;
    } rows[] = {{640, 480, AVCOL_SPC_SMPTE170M},
                {720, 576, AVCOL_SPC_SMPTE170M},
                {1280, 720, AVCOL_SPC_BT709},
                {1024, 768, AVCOL_SPC_BT709}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.nWidth) + "x" + std::to_string(row.nHeight));
        const std::string strPath = TestFilePath(std::to_string(row.nWidth) + ".avi");
        VideoWriter writer(nullptr);
        ASSERT_TRUE(writer.Start(strPath, row.nWidth, row.nHeight, 30, 4096, 48000));
        const auto picture =
            MakePicture(row.nWidth, row.nHeight, row.nWidth / 2, 0xFF0000, 0x0000FF);
        writer.WriteVideo(picture.data(), row.nWidth, row.nHeight);
        ASSERT_TRUE(writer.Stop());

        const Recording recording = ReadRecording(strPath);
        const AVCodecParameters& video = recording.params.at(kVideo);
        EXPECT_EQ(std::make_tuple(video.color_space, video.color_primaries, video.color_trc,
                                  video.color_range),
                  std::make_tuple(row.nMatrix, AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_RANGE_MPEG));
        // Back to RGB by the tagged matrix, in the middle of each half.
        const Frame& pFrame = recording.frames.at(kVideo).at(0);
        const double fKr = row.nMatrix == AVCOL_SPC_BT709 ? 0.2126 : 0.299;
        const double fKb = row.nMatrix == AVCOL_SPC_BT709 ? 0.0722 : 0.114;
        for (const int x : {row.nWidth / 4, row.nWidth * 3 / 4}) {
            const int y = row.nHeight / 2;
            const double fY = (Luma(pFrame, x, y) - 16) / 219.0;
            const double fCb = (pFrame->data[1][y / 2 * pFrame->linesize[1] + x / 2] - 128) / 224.0;
            const double fCr = (pFrame->data[2][y / 2 * pFrame->linesize[2] + x / 2] - 128) / 224.0;
            const double fR = fY + 2 * (1 - fKr) * fCr;
            const double fB = fY + 2 * (1 - fKb) * fCb;
            const double fG = (fY - fKr * fR - fKb * fB) / (1 - fKr - fKb);
            const bool bRed = x < row.nWidth / 2;
            EXPECT_NEAR(fR * 255, bRed ? 255 : 0, 8) << x;
            EXPECT_NEAR(fG * 255, 0, 8) << x;
            EXPECT_NEAR(fB * 255, bRed ? 0 : 255, 8) << x;
        }
    }
}

} // namespace
