#include "recorder/MediaMuxer.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr size_t kAudio = 0;
constexpr size_t kVideo = 1;
constexpr int kAacFrame = 1024;

// Set up as the recorder sets it up.
std::unique_ptr<MediaMuxer> OpenMuxer(const std::string& strPath) {
    auto pMuxer = std::make_unique<MediaMuxer>(strPath, "avi", "9.0");
    if (!pMuxer->AddAudioStream(AudioParams{48000, 2, 96000}, "libfdk_aac") ||
        !pMuxer->AddVideoStream(VideoSettings{"main", 320, 240, 30, 2, 1024}, "libx264") ||
        !pMuxer->WriteHeader()) {
        return nullptr;
    }
    return pMuxer;
}

// The host decides how many frames a capture block holds, and the encoder
// takes planar float: no sound may be lost to either.
class AudioBlockTest : public ::testing::TestWithParam<int> {};

TEST_P(AudioBlockTest, EverySampleFedReachesTheFile) {
    const int nBlockFrames = GetParam();
    const std::string strPath = TestFilePath("audio.avi");
    auto pMuxer = OpenMuxer(strPath);
    ASSERT_NE(pMuxer, nullptr);
    int64_t nFed = 0;
    for (; nFed < 48000; nFed += nBlockFrames) {
        auto block = MakeTone(nFed, nBlockFrames);
        block.push_back(0x55); // a torn sample at the end is all that is dropped
        pMuxer->EncodeAudio(block.data(), static_cast<int>(block.size()));
    }
    EXPECT_EQ(pMuxer->Finish(), 0);
    pMuxer.reset();

    // A priming frame, then frames of 1024 samples, the last one maybe short,
    // stamped without gaps.
    const Recording recording = ReadRecording(strPath);
    ASSERT_EQ(static_cast<int64_t>(recording.Packets(kAudio)),
              1 + (nFed + kAacFrame - 1) / kAacFrame);
    const auto& stamps = recording.streams[kAudio].timestamps;
    for (size_t i = 1; i < stamps.size(); ++i) {
        EXPECT_EQ(stamps[i] - stamps[i - 1], stamps[1] - stamps[0]) << "packet " << i;
    }
    int64_t nDecoded = 0;
    double fPeak = 0.0;
    ASSERT_TRUE(DecodeAudio(strPath, kAudio, nDecoded, fPeak));
    EXPECT_GE(nDecoded - kAacFrame, nFed);
    EXPECT_LT(nDecoded - kAacFrame, nFed + kAacFrame);
    // Fed at half scale: neither silent nor garbled.
    EXPECT_GT(fPeak, 0.4);
    EXPECT_LT(fPeak, 0.6);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, AudioBlockTest, ::testing::Values(1024, 441, 1500, 4096),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Frames" + std::to_string(info.param);
                         });

TEST(MediaMuxerTest, OnlyYuvPicturesOfTheRecordingSizeAreEncodedAndNothingAfterFinish) {
    const std::string strPath = TestFilePath("yuv.avi");
    auto pMuxer = OpenMuxer(strPath);
    ASSERT_NE(pMuxer, nullptr);
    std::vector<uint8_t> yuv(320 * 240 * 3 / 2, 128);
    std::fill_n(yuv.begin(), 320 * 240, 200);
    pMuxer->EncodeVideo(yuv.data(), 320, 240);
    pMuxer->EncodeVideo(yuv.data(), 160, 120);
    pMuxer->EncodeVideo(yuv.data(), 320, 240);
    EXPECT_EQ(pMuxer->Finish(), 0);
    EXPECT_EQ(pMuxer->Finish(), 0);
    pMuxer->EncodeVideo(yuv.data(), 320, 240);
    pMuxer.reset();

    EXPECT_EQ(ReadRecording(strPath).streams.at(kVideo).timestamps, (std::vector<int64_t>{0, 1}));
    std::vector<uint8_t> luma;
    int nWidth = 0;
    int nHeight = 0;
    ASSERT_TRUE(DecodePicture(strPath, kVideo, 0, luma, nWidth, nHeight));
    EXPECT_NEAR(luma[120 * 320 + 160], 200, 3);
}

} // namespace
