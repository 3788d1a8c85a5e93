#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"
#include "tests/recorder/RecordingReader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>

namespace {

constexpr size_t kAudio = 0;
constexpr size_t kVideo = 1;

bool FileExists(const std::string& strPath) {
    return QFileInfo::exists(QString::fromStdString(strPath));
}

void ExpectFramePts(const RecordingReader& reader, size_t nCount) {
    ASSERT_EQ(reader.Packets(kVideo), nCount);
    const auto& pts = reader.Streams()[kVideo].pts;
    for (size_t i = 0; i < pts.size(); ++i) {
        EXPECT_EQ(pts[i], static_cast<int64_t>(i)) << "picture " << i;
    }
}

// Lowers the size any file of this process may grow to, as a disk that fills
// up would; writes beyond it fail instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t nBytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = nBytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST(VideoWriterTest, ARecordingHoldsAacStereoThenH264MainWithOnePacketPerPicture) {
    const std::string strPath = TestFilePath("layout.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 640, 360, 30, 1024, 48000));
    const auto picture = MakePicture(640, 360, 320, 200, 40);
    // Sound alongside: its encoder starts ahead of zero, which must not shift
    // the pictures.
    int64_t nSample = 0;
    for (int i = 0; i < 45; ++i) {
        writer.WriteVideo(picture.data(), 640, 360);
        const auto tone = MakeTone(nSample, 1600);
        nSample += 1600;
        writer.OnAudioData(tone.data(), static_cast<int>(tone.size()));
    }
    writer.Stop();

    const RecordingReader reader(strPath);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.FormatName(), "avi");
    ASSERT_EQ(reader.Streams().size(), 2u);
    const auto& audio = reader.Streams()[kAudio];
    EXPECT_EQ(audio.nType, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(audio.nCodec, AV_CODEC_ID_AAC);
    EXPECT_EQ(audio.nSampleRate, 48000);
    EXPECT_EQ(audio.nChannels, 2);
    const auto& video = reader.Streams()[kVideo];
    EXPECT_EQ(video.nType, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(video.nCodec, AV_CODEC_ID_H264);
    EXPECT_EQ(video.nProfile, FF_PROFILE_H264_MAIN);
    EXPECT_EQ(video.nWidth, 640);
    EXPECT_EQ(video.nHeight, 360);
    EXPECT_EQ(av_cmp_q(video.timeBase, AVRational{1, 30}), 0);
    // The encoder holds pictures back for its look-ahead; Stop must drain
    // every one of them into the file.
    ExpectFramePts(reader, 45);
}

TEST(VideoWriterTest, ARecordingStartedAndStoppedAtOnceIsAValidAviWithBothStreams) {
    const std::string strPath = TestFilePath("empty.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 1280, 720, 30, 1024, 48000));
    writer.Stop();
    writer.Stop(); // a second Stop finds nothing to do

    const RecordingReader reader(strPath);
    ASSERT_TRUE(reader.IsOpen());
    ASSERT_EQ(reader.Streams().size(), 2u);
    EXPECT_EQ(reader.Streams()[kAudio].nCodec, AV_CODEC_ID_AAC);
    EXPECT_EQ(reader.Streams()[kVideo].nCodec, AV_CODEC_ID_H264);
    EXPECT_EQ(reader.Packets(kVideo), 0u);
    if (!HasDefaultInputDevice()) {
        EXPECT_EQ(reader.Packets(kAudio), 0u);
    }
    EXPECT_EQ(OpenDescriptorsTo(strPath), 0);
}

TEST(VideoWriterTest, PicturesOfAnotherSizeAreStretchedToTheRecordingSize) {
    const std::string strPath = TestFilePath("scaled.avi");
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 1280, 720, 30, 3072, 48000));
    // Light left half, dark right half, at twice the size of the recording;
    // then a small picture dark on the left third, light on the rest: the
    // scaler must follow the change of size.
    const auto large = MakePicture(1920, 1080, 960, 220, 30);
    const auto small = MakePicture(320, 240, 107, 30, 220);
    writer.WriteVideo(large.data(), 1920, 1080);
    writer.WriteVideo(small.data(), 320, 240);
    writer.WriteVideo(large.data(), 1920, 1080);
    writer.Stop();

    const RecordingReader reader(strPath);
    ASSERT_EQ(reader.Packets(kVideo), 3u);
    std::vector<uint8_t> luma;
    int nWidth = 0;
    int nHeight = 0;
    ASSERT_TRUE(reader.DecodePicture(kVideo, 0, luma, nWidth, nHeight));
    ASSERT_EQ(nWidth, 1280);
    ASSERT_EQ(nHeight, 720);
    auto at = [&](int x, int y) { return luma[static_cast<size_t>(y) * nWidth + x]; };
    EXPECT_GT(at(300, 360), 180);
    EXPECT_LT(at(980, 360), 60);
    // Across the whole height and up to the right edge: stretched, not cropped.
    EXPECT_GT(at(600, 700), 180);
    EXPECT_LT(at(1270, 20), 60);

    ASSERT_TRUE(reader.DecodePicture(kVideo, 1, luma, nWidth, nHeight));
    EXPECT_LT(at(200, 360), 60);
    EXPECT_GT(at(700, 360), 180);
    EXPECT_GT(at(1270, 700), 180);
}

TEST(VideoWriterTest, MissingOrEmptyPicturesAreIgnoredWithoutUsingATimestamp) {
    const std::string strPath = TestFilePath("ignored.avi");
    VideoWriter writer;
    const auto picture = MakePicture(320, 240, 160, 100, 100);
    // Before Start and after Stop there is no recording to write to.
    writer.WriteVideo(picture.data(), 320, 240);
    ASSERT_TRUE(writer.Start(strPath, 320, 240, 10, 1024, 48000));
    writer.WriteVideo(nullptr, 320, 240);
    writer.WriteVideo(picture.data(), 0, 0);
    writer.WriteVideo(picture.data(), -320, 240);
    writer.WriteVideo(picture.data(), 320, 240);
    writer.WriteVideo(picture.data(), 320, 240);
    writer.OnAudioData(nullptr, 4096);
    writer.OnAudioData(picture.data(), 0);
    writer.Stop();
    writer.WriteVideo(picture.data(), 320, 240);
    writer.OnAudioData(picture.data(), 4096);

    const RecordingReader reader(strPath);
    ExpectFramePts(reader, 2);
}

TEST(VideoWriterTest, AnUnwritablePathFailsAndLeavesNothingOpenOrBehind) {
    VideoWriter writer;
    const std::string strMissing = TestFilePath("no/such/folder/x.avi");
    EXPECT_FALSE(writer.Start(strMissing, 1280, 720, 30, 1024, 48000));
    EXPECT_FALSE(FileExists(strMissing));

    // A folder standing where the file should be: refused, and left alone.
    const std::string strFolder = TestFilePath("folder.avi");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(strFolder)));
    EXPECT_FALSE(writer.Start(strFolder, 1280, 720, 30, 1024, 48000));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(strFolder)).isDir());

    // Nothing open: writes are ignored and Stop has nothing to finish.
    const auto picture = MakePicture(64, 64, 32, 0, 0);
    writer.WriteVideo(picture.data(), 64, 64);
    writer.Stop();
}

TEST(VideoWriterTest, ASizeTheEncoderRefusesFailsAndRemovesTheFileItCreated) {
    VideoWriter writer;
    const std::string strPath = TestFilePath("odd.avi");
    // 4:2:0 needs even sizes; the encoder refuses 641 x 481.
    EXPECT_FALSE(writer.Start(strPath, 641, 481, 30, 1024, 48000));
    EXPECT_FALSE(FileExists(strPath));
    EXPECT_EQ(OpenDescriptorsTo(strPath), 0);
    EXPECT_FALSE(writer.Start(TestFilePath("zero.avi"), 1280, 720, 0, 1024, 48000));
    EXPECT_FALSE(writer.Start(TestFilePath("none.avi"), 0, 0, 30, 1024, 48000));
}

TEST(VideoWriterTest, ASecondStartFinishesTheFirstRecording) {
    const std::string strFirst = TestFilePath("first.avi");
    const std::string strSecond = TestFilePath("second.avi");
    const auto picture = MakePicture(320, 240, 160, 50, 150);
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strFirst, 320, 240, 20, 1024, 48000));
    for (int i = 0; i < 5; ++i) {
        writer.WriteVideo(picture.data(), 320, 240);
    }
    ASSERT_TRUE(writer.Start(strSecond, 320, 240, 20, 1024, 48000));
    for (int i = 0; i < 3; ++i) {
        writer.WriteVideo(picture.data(), 320, 240);
    }
    writer.Stop();

    ExpectFramePts(RecordingReader(strFirst), 5);
    ExpectFramePts(RecordingReader(strSecond), 3);
}

TEST(VideoWriterTest, TheDestructorFinishesAnOpenRecording) {
    const std::string strPath = TestFilePath("destroyed.avi");
    const auto picture = MakePicture(320, 240, 160, 50, 150);
    {
        VideoWriter writer;
        ASSERT_TRUE(writer.Start(strPath, 320, 240, 20, 1024, 48000));
        for (int i = 0; i < 4; ++i) {
            writer.WriteVideo(picture.data(), 320, 240);
        }
    }
    ExpectFramePts(RecordingReader(strPath), 4);
    EXPECT_EQ(OpenDescriptorsTo(strPath), 0);
}

TEST(VideoWriterTest, AFullDiskKeepsWhatWasWrittenAndStillClosesTheFile) {
    const std::string strPath = TestFilePath("full.avi");
    constexpr int kPictures = 60;
    constexpr rlim_t kRoom = 1500000;
    VideoWriter writer;
    ASSERT_TRUE(writer.Start(strPath, 640, 480, 30, 3072, 48000));
    {
        // Noise hardly compresses: room for a few pictures only.
        FileSizeLimit limit(kRoom);
        std::vector<uint8_t> picture(640 * 480 * 4);
        uint32_t nState = 12345;
        int64_t nSample = 0;
        for (int i = 0; i < kPictures; ++i) {
            for (uint8_t& nByte : picture) {
                nState = nState * 1664525u + 1013904223u;
                nByte = static_cast<uint8_t>(nState >> 24);
            }
            writer.WriteVideo(picture.data(), 640, 480);
            const auto tone = MakeTone(nSample, 1600);
            nSample += 1600;
            writer.OnAudioData(tone.data(), static_cast<int>(tone.size()));
        }
        writer.Stop();
    }
    EXPECT_EQ(OpenDescriptorsTo(strPath), 0);
    EXPECT_LE(QFileInfo(QString::fromStdString(strPath)).size(), static_cast<qint64>(kRoom));

    const RecordingReader reader(strPath);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_GE(reader.Packets(kVideo), 3u);
    EXPECT_LT(reader.Packets(kVideo), static_cast<size_t>(kPictures));
    std::vector<uint8_t> luma;
    int nWidth = 0;
    int nHeight = 0;
    EXPECT_TRUE(reader.DecodePicture(kVideo, 1, luma, nWidth, nHeight));
    EXPECT_EQ(nWidth, 640);
}

} // namespace
