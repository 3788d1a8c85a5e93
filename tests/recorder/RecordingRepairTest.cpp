#include "recorder/RecordingRepair.h"
#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr size_t kAudio = 0;
constexpr size_t kVideo = 1;

std::string Part(const char* pForm, uint32_t nSize) {
    std::string strPart = "RIFF";
    for (int i = 0; i < 4; ++i) {
        strPart += static_cast<char>(nSize >> (8 * i));
    }
    return strPart + pForm + std::string(nSize >= 4 && nSize < 64 ? nSize - 4 : 0, 'x');
}

// The sizes of the RIFF parts (one per GB) are written last: a part still
// without its size, or with one beyond the end, was never finished.
TEST(RecordingRepairTest, AnUnfinishedFileIsToldByItsRiffSizes) {
    const struct {
        std::string strBytes;
        bool bUnfinished;
    } rows[] = {{"", false},
                {Part("AVI ", 0xFFFFFFFF), true},
                {Part("AVI ", 8), false},
                {Part("AVI ", 8).substr(0, 14), true},
                {Part("WAVE", 8), false},
                {Part("AVI ", 8) + Part("AVIX", 4), false},
                {Part("AVI ", 8) + Part("AVIX", 0xFFFFFFFF), true},
                {Part("AVI ", 8) + Part("AVIX", 4).substr(0, 10), true},
                {Part("AVI ", 8) + "RIF", true},
                {Part("AVI ", 8) + "JUNK", false}};
    int nRow = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(nRow);
        const std::string strPath = TestFilePath(std::to_string(nRow++) + ".avi");
        QFile file(QString::fromStdString(strPath));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.strBytes.data(), static_cast<qint64>(row.strBytes.size()));
        file.close();
        EXPECT_EQ(RecordingRepair::IsUnfinished(strPath), row.bUnfinished);
    }
    EXPECT_FALSE(RecordingRepair::IsUnfinished(TestFilePath("missing.avi")));
}

// What a killed recording leaves is what was on the disk while it ran: all but
// at most the last second (30 pictures, 47 sound frames; a still picture
// makes packets far smaller than the write buffer, so only flushing gets
// them there). Such copies, one with its last chunk torn and one cut
// right after the start, are repaired in the folder; finished files and other
// files are left as they are.
TEST(RecordingRepairTest, AFolderScanRewritesCutRecordingsWithTheirIndex) {
    const QString strFolder = QString::fromStdString(TestFilePath("records"));
    ASSERT_TRUE(QDir().mkpath(strFolder));
    const auto copy = [&](const std::string& strFrom, const QString& strName, qint64 nCut) {
        QFile from(QString::fromStdString(strFrom));
        QFile to(strFolder + "/" + strName);
        ASSERT_TRUE(from.open(QIODevice::ReadOnly) && to.open(QIODevice::WriteOnly));
        to.write(from.readAll().chopped(nCut));
    };
    const std::string strFinished = (strFolder + "/finished.avi").toStdString();
    auto pSource = std::make_unique<FakeAudioSource>();
    FakeAudioSource& sound = *pSource;
    VideoWriter writer(std::move(pSource));
    ASSERT_TRUE(writer.Start(strFinished, 320, 240, 30, 1024, 48000));
    copy(strFinished, "start.AVI", 0);
    const auto picture = MakePicture(320, 240, 100, 0xE01010, 0x1010E0);
    for (int i = 0; i < 90; ++i) {
        writer.WriteVideo(picture.data(), 320, 240);
        sound.Feed(MakeTone(i * 1600, 1600));
    }
    copy(strFinished, "cut.avi", 0);
    copy(strFinished, "torn.avi", 100);
    copy(strFinished, "cut.avi.part", 0);
    ASSERT_TRUE(writer.Stop());
    QFile notes(strFolder + "/notes.avi");
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly) &&
                notes.write(Part("AVI ", 0xFFFFFFFF).c_str(), 12));
    notes.close();
    const Recording cut = ReadRecording((strFolder + "/cut.avi").toStdString());
    ASSERT_GE(cut.stamps.at(kVideo).size(), 60u);
    ASSERT_GE(cut.stamps.at(kAudio).size(), 94u);
    const QStringList before = QDir(strFolder).entryList(QDir::Files | QDir::Hidden);
    const QDateTime cutAt = QFileInfo(strFolder + "/cut.avi").lastModified();

    EXPECT_EQ(RecordingRepair::RepairFolder(strFolder.toStdString()), 3);
    EXPECT_EQ(QDir(strFolder).entryList(QDir::Files | QDir::Hidden), before);
    EXPECT_TRUE(RecordingRepair::IsUnfinished((strFolder + "/cut.avi.part").toStdString()));
    for (const char* pName : {"start.AVI", "cut.avi", "torn.avi"}) {
        SCOPED_TRACE(pName);
        const std::string strPath = (strFolder + "/" + pName).toStdString();
        EXPECT_FALSE(RecordingRepair::IsUnfinished(strPath));
        const Recording repaired = ReadRecording(strPath);
        const auto& stamps = repaired.stamps.at(kVideo);
        // Every whole picture and block, each one decodable, and the length
        // a player shows.
        EXPECT_EQ(stamps, Sequence(stamps.size()));
        EXPECT_EQ(repaired.frames.at(kVideo).size(), stamps.size());
        EXPECT_EQ(repaired.nDuration,
                  stamps.empty() ? AV_NOPTS_VALUE : av_rescale(stamps.size(), AV_TIME_BASE, 30));
        if (QString(pName) == "cut.avi") {
            EXPECT_EQ(QFileInfo(strFolder + "/cut.avi").lastModified(), cutAt);
            EXPECT_EQ(stamps, cut.stamps[kVideo]);
            EXPECT_EQ(repaired.stamps.at(kAudio), cut.stamps[kAudio]);
        }
    }
    EXPECT_FALSE(RecordingRepair::IsUnfinished(strFinished));
    EXPECT_FALSE(RecordingRepair::Repair(strFinished));
    ASSERT_TRUE(notes.open(QIODevice::ReadOnly));
    EXPECT_EQ(notes.readAll().size(), 12);
}

} // namespace
