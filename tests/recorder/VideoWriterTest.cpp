#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/resource.h>
#include <tuple>

namespace {

constexpr size_t kAudio = 0;
constexpr size_t kVideo = 1;

// How many of this process's descriptors are open on strPath.
int OpenDescriptorsTo(const std::string& strPath) {
    const std::filesystem::path path = std::filesystem::weakly_canonical(strPath);
    int nCount = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        nCount += std::filesystem::read_symlink(entry, error) == path;
    }
    return nCount;
}

// A failed Start says why, leaves nothing open and takes away only a file it
// created itself; a file that was there is never overwritten (4:2:0 cannot
// take an odd size: found only once the file is open). A recording is
// finished, never dropped, when the next one starts (the second of these is
// started and stopped at once) or the writer goes away. A sound source that
// does not start leaves the sound stream empty.
TEST(VideoWriterTest, FinishesEveryRecordingAndLeavesNoFailedOne) {
    const std::string strNotes = TestFilePath("notes.avi");
    const std::string strPaths[] = {TestFilePath("first.avi"), TestFilePath("empty.avi"),
                                    TestFilePath("third.avi")};
    const size_t nPictures[] = {90, 0, 3};
    const auto picture = MakePicture(320, 240, 160, 0x808080, 0x808080);
    {
        TestWriter w(false);
        for (const std::string& strPath :
             {TestFilePath("no/such/folder/x.avi"), TestFilePath("odd.avi"), strNotes}) {
            SCOPED_TRACE(strPath);
            std::ofstream(strNotes) << "not a recording";
            EXPECT_FALSE(w.writer.Start(strPath, 641, 480, 30, 1024, 48000));
            EXPECT_NE(w.writer.WriteError(), "");
            EXPECT_TRUE(w.writer.Stop());
            EXPECT_EQ(std::filesystem::exists(strPath), strPath == strNotes);
            EXPECT_EQ(OpenDescriptorsTo(strPath), 0);
            EXPECT_EQ(std::filesystem::file_size(strNotes), 15u);
            w.writer.WriteVideo(picture.data(), 320, 240);
        }
        for (size_t n = 0; n < 3; ++n) {
            ASSERT_TRUE(w.writer.Start(strPaths[n], 320, 240, 30, 1024, 48000));
            EXPECT_EQ(w.writer.WriteError(), "");
            for (size_t i = 0; i < nPictures[n]; ++i) {
                w.writer.WriteVideo(picture.data(), 320, 240);
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

// Writes beyond kRoom fail as on a disk that fills up (instead of raising
// SIGXFSZ). The error shows while recording and from Stop, and the file
// keeps what was written.
TEST(VideoWriterTest, AFullDiskIsReportedAndTheFileKeepsWhatWasWritten) {
    const std::string strPath = TestFilePath("full.avi");
    TestWriter w;
    ASSERT_TRUE(w.writer.Start(strPath, 640, 480, 30, 3072, 48000));
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit{1500000, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    // Noise hardly compresses, so only a few pictures fit.
    std::vector<uint8_t> picture(640 * 480 * 4);
    std::minstd_rand random(1);
    for (int i = 0; i < 60; ++i) {
        std::generate(picture.begin(), picture.end(),
                      [&] { return static_cast<uint8_t>(random()); });
        w.writer.WriteVideo(picture.data(), 640, 480);
        w.sound.Feed(MakeTone(i * 1600, 1600));
    }
    EXPECT_EQ(w.writer.WriteError(), std::strerror(EFBIG));
    EXPECT_FALSE(w.writer.Stop());
    EXPECT_EQ(w.writer.WriteError(), std::strerror(EFBIG));
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(OpenDescriptorsTo(strPath), 0);
    EXPECT_GE(ReadRecording(strPath).frames.at(kVideo).size(), 3u);
}

// Players that read the stream's colour tags and players that guess from the
// size (BT.709 from 1280 wide or more than 576 high) both get the colours
// back.
TEST(VideoWriterTest, ColoursAreConvertedAsTheStreamSays) {
    const struct {
        int nWidth, nHeight;
        bool bHd;
    } rows[] = {{720, 576, false}, {1280, 480, true}, {704, 578, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.nWidth) + "x" + std::to_string(row.nHeight));
        const std::string strPath = TestFilePath(std::to_string(row.nHeight) + ".avi");
        VideoWriter writer(nullptr);
        ASSERT_TRUE(writer.Start(strPath, row.nWidth, row.nHeight, 30, 4096, 48000));
        const auto picture = MakePicture(row.nWidth, row.nHeight, row.nWidth / 2, 0xFF0000, 0xFF);
        writer.WriteVideo(picture.data(), row.nWidth, row.nHeight);
        ASSERT_TRUE(writer.Stop());

        const Recording recording = ReadRecording(strPath);
        const AVCodecParameters& video = recording.params.at(kVideo);
        EXPECT_EQ(std::make_tuple(video.color_space, video.color_primaries, video.color_trc,
                                  video.color_range),
                  std::make_tuple(row.bHd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M, AVCOL_PRI_BT709,
                                  AVCOL_TRC_BT709, AVCOL_RANGE_MPEG));
        // Pure red in limited range by the tagged matrix, in the middle of
        // the red half: Y = 16 + 219 Kr, Cb = 128 - 112 Kr / (1 - Kb), Cr = 240.
        const Frame& pFrame = recording.frames.at(kVideo).at(0);
        const double fKr = row.bHd ? 0.2126 : 0.299;
        const double fKb = row.bHd ? 0.0722 : 0.114;
        const int x = row.nWidth / 4;
        const int y = row.nHeight / 2;
        const auto chroma = [&](int n) {
            return pFrame->data[n][y / 2 * pFrame->linesize[n] + x / 2];
        };
        EXPECT_NEAR(Luma(pFrame, x, y), 16 + 219 * fKr, 3);
        EXPECT_NEAR(chroma(1), 128 - 112 * fKr / (1 - fKb), 3);
        EXPECT_NEAR(chroma(2), 240, 3);
    }
}

} // namespace
