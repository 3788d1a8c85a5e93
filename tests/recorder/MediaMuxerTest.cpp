#include "recorder/MediaMuxer.h"
#include "tests/recorder/RecorderTestSupport.h"
#include "tests/recorder/RecordingReader.h"

#include <gtest/gtest.h>

namespace {

constexpr size_t kAudio = 0;
constexpr size_t kVideo = 1;
constexpr int kAacFrame = 1024;

// A muxer set up as the recorder sets it up.
std::unique_ptr<MediaMuxer> OpenMuxer(const std::string& strPath, int nWidth, int nHeight) {
    auto pMuxer = std::make_unique<MediaMuxer>(strPath, "avi", "9.0");
    if (!pMuxer->AddAudioStream(AudioParams{48000, 2, 96000}, "libfdk_aac") ||
        !pMuxer->AddVideoStream(VideoSettings{"main", nWidth, nHeight, 30, 2, 1024}, "libx264") ||
        !pMuxer->WriteHeader()) {
        return nullptr;
    }
    return pMuxer;
}

// The host decides how many frames a capture block holds; no sound may be
// lost whatever it chooses, nor because the encoder wants another format.
class AudioBlockTest : public ::testing::TestWithParam<int> {};

TEST_P(AudioBlockTest, EverySampleFedReachesTheFile) {
    const int nBlockFrames = GetParam();
    const std::string strPath = TestFilePath("audio.avi");
    auto pMuxer = OpenMuxer(strPath, 320, 240);
    ASSERT_NE(pMuxer, nullptr);
    int64_t nFed = 0;
    while (nFed < 48000) {
        const auto block = MakeTone(nFed, nBlockFrames);
        pMuxer->EncodeAudio(block.data(), static_cast<int>(block.size()));
        nFed += nBlockFrames;
    }
    EXPECT_EQ(pMuxer->Finish(), 0);
    pMuxer.reset();

    const RecordingReader reader(strPath);
    ASSERT_TRUE(reader.IsOpen());
    // One priming frame ahead of the sound, then frames of 1024 samples, the
    // last one possibly short.
    const int64_t nExpectedPackets = 1 + (nFed + kAacFrame - 1) / kAacFrame;
    ASSERT_EQ(static_cast<int64_t>(reader.Packets(kAudio)), nExpectedPackets);
    const auto& pts = reader.Streams()[kAudio].pts;
    for (size_t i = 1; i < pts.size(); ++i) {
        EXPECT_EQ(pts[i] - pts[i - 1], pts[1] - pts[0]) << "gap before audio packet " << i;
    }
    int64_t nDecoded = 0;
    double fPeak = 0.0;
    ASSERT_TRUE(reader.DecodeAudio(kAudio, nDecoded, fPeak));
    EXPECT_GE(nDecoded - kAacFrame, nFed);
    EXPECT_LT(nDecoded - kAacFrame, nFed + kAacFrame);
    // The tone was fed at half of full scale; a silent stream would be 0.
    EXPECT_GT(fPeak, 0.4);
    EXPECT_LT(fPeak, 0.6);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, AudioBlockTest, ::testing::Values(1024, 441, 1500, 4096),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Frames" + std::to_string(info.param);
                         });

TEST(MediaMuxerTest, ATornSampleAtTheEndOfABlockIsAllThatIsDropped) {
    const std::string strPath = TestFilePath("torn.avi");
    auto pMuxer = OpenMuxer(strPath, 320, 240);
    ASSERT_NE(pMuxer, nullptr);
    auto block = MakeTone(0, kAacFrame);
    block.push_back(0x55); // one byte of a next sample
    for (int i = 0; i < 10; ++i) {
        pMuxer->EncodeAudio(block.data(), static_cast<int>(block.size()));
    }
    pMuxer->Finish();
    pMuxer.reset();
    EXPECT_EQ(RecordingReader(strPath).Packets(kAudio), 11u);
}

TEST(MediaMuxerTest, AYuvPictureOfTheRecordingSizeIsEncodedAndOthersAreRefused) {
    const std::string strPath = TestFilePath("yuv.avi");
    auto pMuxer = OpenMuxer(strPath, 320, 240);
    ASSERT_NE(pMuxer, nullptr);
    std::vector<uint8_t> yuv(320 * 240 * 3 / 2, 128);
    std::fill_n(yuv.begin(), 320 * 240, 200);
    pMuxer->EncodeVideo(yuv.data(), 320, 240);
    pMuxer->EncodeVideo(yuv.data(), 160, 120);
    pMuxer->EncodeVideo(nullptr, 320, 240);
    pMuxer->EncodeVideo(yuv.data(), 320, 240);
    pMuxer->Finish();
    EXPECT_EQ(pMuxer->Finish(), 0) << "a second Finish has nothing left to do";
    // Once finished, nothing more goes in.
    pMuxer->EncodeVideo(yuv.data(), 320, 240);
    pMuxer.reset();

    const RecordingReader reader(strPath);
    ASSERT_EQ(reader.Packets(kVideo), 2u);
    EXPECT_EQ(reader.Streams()[kVideo].pts, (std::vector<int64_t>{0, 1}));
    std::vector<uint8_t> luma;
    int nWidth = 0;
    int nHeight = 0;
    ASSERT_TRUE(reader.DecodePicture(kVideo, 0, luma, nWidth, nHeight));
    EXPECT_NEAR(luma[120 * 320 + 160], 200, 3);
}

TEST(MediaMuxerTest, AFileThatCannotBeOpenedRefusesEveryStream) {
    MediaMuxer muxer(TestFilePath("missing/folder/x.avi"), "avi", "9.0");
    EXPECT_FALSE(muxer.IsOpen());
    EXPECT_FALSE(muxer.AddAudioStream(AudioParams{48000, 2, 96000}, "libfdk_aac"));
    EXPECT_FALSE(muxer.AddVideoStream(VideoSettings{"main", 320, 240, 30, 2, 1024}, "libx264"));
    EXPECT_FALSE(muxer.WriteHeader());
    const auto picture = MakePicture(320, 240, 0, 0, 0);
    muxer.WriteVideoFrame(picture.data(), 320, 240);
    muxer.EncodeAudio(picture.data(), 4096);
    EXPECT_EQ(muxer.Finish(), 0);
}

TEST(MediaMuxerTest, AnUnknownContainerFallsBackToMpegTs) {
    const std::string strPath = TestFilePath("fallback.ts");
    MediaMuxer muxer(strPath, "no-such-container", "");
    ASSERT_TRUE(muxer.AddAudioStream(AudioParams{48000, 2, 96000}, "no-such-encoder"));
    ASSERT_TRUE(muxer.AddVideoStream(VideoSettings{"", 320, 240, 30, 2, 1024}, "no-such-encoder"));
    ASSERT_TRUE(muxer.WriteHeader());
    const auto picture = MakePicture(320, 240, 160, 0, 255);
    muxer.WriteVideoFrame(picture.data(), 320, 240);
    muxer.Finish();

    const RecordingReader reader(strPath);
    EXPECT_EQ(reader.FormatName(), "mpegts");
    ASSERT_EQ(reader.Streams().size(), 2u);
    // No profile asked for means High.
    EXPECT_EQ(reader.Streams()[kVideo].nProfile, FF_PROFILE_H264_HIGH);
    EXPECT_EQ(reader.Packets(kVideo), 1u);
}

} // namespace
