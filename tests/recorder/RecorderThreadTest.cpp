#include "recorder/AudioCapture.h"
#include "recorder/RecordingRepair.h"
#include "recorder/VideoWriter.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <portaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

constexpr int kAacFrame = 1024;
constexpr size_t kAudio = 0;
constexpr size_t kVideo = 1;
namespace fs = std::filesystem;

// Pictures from one thread and sound from another, the error queried from a
// third, and in a fourth the record folder scanned for repairs as the program
// does at start-up: it repairs a copy cut right after the start beside the
// file being recorded, which it leaves alone.
//
// What a killed recording leaves is what was on the disk while it ran: all
// but at most the last second (30 pictures, 47 sound frames; a still picture
// makes packets far smaller than the write buffer, so only flushing gets them
// there). Such copies, one with its last chunk torn, are repaired in the
// folder; finished files and other files are left as they are.
TEST(VideoWriterThreadTest, RecordsEverySampleAndPictureAndRepairsCutCopiesBesideIt) {
    const fs::path folder = TestFilePath("records");
    fs::create_directory(folder);
    const fs::path path = folder / "layout.avi";
    const auto copy = [&](const char* szName, size_t nCut) {
        fs::copy_file(path, folder / szName);
        fs::resize_file(folder / szName, fs::file_size(folder / szName) - nCut);
    };
    std::ofstream(folder / "notes.avi") << "RIFF\xFF\xFF\xFF\xFF"
                                        << "AVI ";
    // Light on the left half, then dark on the left third of a small picture.
    const auto large = MakePicture(1920, 1080, 960, 0xDCDCDC, 0x1E1E1E);
    const auto small = MakePicture(320, 240, 107, 0x1E1E1E, 0xDCDCDC);
    TestWriter w;
    ASSERT_TRUE(w.writer.Start(path, 1280, 720, 30, 3072, 48000));
    copy("start.AVI", 0);
    std::atomic<int> nFeeding{2};
    std::thread feeder([&] {
        // Missing or empty pictures are ignored without using up a timestamp.
        w.writer.WriteVideo(nullptr, 1920, 1080);
        w.writer.WriteVideo(large.data(), 0, 0);
        w.writer.WriteVideo(large.data(), -1920, 1080);
        for (int i = 0; i < 40; ++i) {
            const bool bLast = i == 39;
            w.writer.WriteVideo(bLast ? small.data() : large.data(), bLast ? 320 : 1920,
                                bLast ? 240 : 1080);
        }
        --nFeeding;
    });
    // The host decides how many frames a capture block holds; a torn sample
    // at the end of one is all that may be dropped.
    int64_t nFed = 0;
    std::thread blocks([&] {
        for (int i = 0; i < 40; ++i) {
            const int nFrames = std::array<int, 4>{441, 1500, 4096, 1024}[i % 4];
            auto tone = MakeTone(nFed, nFrames);
            tone.push_back(0x55);
            w.sound.Feed(tone);
            nFed += nFrames;
        }
        --nFeeding;
    });
    int nRepaired = 0;
    std::thread repair([&] {
        do {
            nRepaired += RecordingRepair::RepairFolder(folder);
        } while (nFeeding > 0);
    });
    std::string strError;
    while (nFeeding > 0) {
        strError += w.writer.WriteError();
    }
    feeder.join();
    blocks.join();
    repair.join();
    EXPECT_EQ(nRepaired, 1);
    copy("cut.avi", 0);
    copy("torn.avi", 100);
    copy("cut.avi.part", 0);
    const Recording cut = ReadRecording(folder / "cut.avi");
    const auto cutAt = fs::last_write_time(folder / "cut.avi");
    EXPECT_TRUE(w.writer.Stop());
    EXPECT_EQ(strError + w.writer.WriteError(), "");
    w.writer.WriteVideo(large.data(), 1920, 1080);
    EXPECT_FALSE(w.sound.Feed(MakeTone(0, 1024))); // stopped

    const Recording recording = ReadRecording(path);
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
    // The priming frame, then every sample fed in frames of 1024 (the last
    // maybe short), each one decodable, at the half scale fed: neither silent
    // nor garbled.
    int64_t nSamples = 0;
    float fPeak = 0.0F;
    for (const Frame& pFrame : recording.frames[kAudio]) {
        nSamples += pFrame->nb_samples;
        const auto* pSamples = reinterpret_cast<const float*>(pFrame->extended_data[0]);
        for (int i = 0; i < pFrame->nb_samples; ++i) {
            fPeak = std::max(fPeak, std::fabs(pSamples[i]));
        }
    }
    EXPECT_GE(nSamples - kAacFrame, nFed);
    EXPECT_LT(nSamples - kAacFrame, nFed + kAacFrame);
    EXPECT_GT(fPeak, 0.4);
    EXPECT_LT(fPeak, 0.6);

    EXPECT_GE(cut.stamps.at(kVideo).size() + 30, recording.stamps[kVideo].size());
    EXPECT_GE(cut.stamps.at(kAudio).size() + 47, recording.stamps[kAudio].size());
    const auto files = [&] { return std::distance(fs::directory_iterator(folder), {}); };
    const auto nFiles = files();
    EXPECT_EQ(RecordingRepair::RepairFolder(folder), 2);
    EXPECT_EQ(files(), nFiles);
    EXPECT_EQ(fs::file_size(folder / "notes.avi"), 12u);
    for (const char* szName : {"start.AVI", "cut.avi", "torn.avi"}) {
        SCOPED_TRACE(szName);
        EXPECT_FALSE(RecordingRepair::IsUnfinished(folder / szName));
        const Recording repaired = ReadRecording(folder / szName);
        const auto& stamps = repaired.stamps.at(kVideo);
        // Every whole picture and block, each one decodable, and the length
        // a player shows.
        EXPECT_EQ(stamps, Sequence(stamps.size()));
        EXPECT_EQ(repaired.frames.at(kVideo).size(), stamps.size());
        EXPECT_EQ(repaired.nDuration,
                  stamps.empty() ? AV_NOPTS_VALUE : av_rescale(stamps.size(), AV_TIME_BASE, 30));
        if (std::string(szName) == "cut.avi") {
            EXPECT_EQ(fs::last_write_time(folder / szName), cutAt);
            EXPECT_EQ(stamps, cut.stamps[kVideo]);
            EXPECT_EQ(repaired.stamps.at(kAudio), cut.stamps[kAudio]);
        }
    }
}

// A real capture device: PortAudio's ALSA backend reaching a private
// PulseAudio daemon whose only (so default) source is a silent null source.
// It keeps its socket in XDG_RUNTIME_DIR, which the test main makes for each
// test process, where clients look for it. -n: no configuration files, only
// these modules. A null source is clocked on its own (the monitor of a null
// sink hands its first block over only after seconds). Should the test die,
// the daemon ends by itself once it has had no client for a while.
TEST(AudioCaptureTest, LiveBlocksArriveWholeUntilStop) {
    QProcess daemon; // its destructor ends the daemon and waits for that
    daemon.setProcessChannelMode(QProcess::MergedChannels);
    daemon.start("pulseaudio",
                 {"-n", "--daemonize=no", "--exit-idle-time=20", "--disable-shm=yes",
                  "--log-target=stderr", "--log-level=info",
                  "--load=module-native-protocol-unix auth-anonymous=1",
                  "--load=module-null-source source_name=orvane_test rate=48000 channels=2"});
    QByteArray log; // ready once it says so
    while (!log.contains("Daemon startup complete.") && daemon.waitForReadyRead(15000)) {
        log += daemon.readAll();
    }
    const bool bDevice = Pa_Initialize() == paNoError && Pa_GetDefaultInputDevice() != paNoDevice;
    Pa_Terminate();
    if (!log.contains("Daemon startup complete.") || !bDevice) {
        GTEST_SKIP() << "no PulseAudio reachable through PortAudio: "
                     << (daemon.errorString() + log).toStdString();
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<int> sizes;
    auto collect = [&](const unsigned char*, int nBytes) {
        std::lock_guard<std::mutex> lock(mutex);
        sizes.push_back(nBytes);
        arrived.notify_all();
    };
    // Whole blocks of 1024 frames, whatever the channels; none after Stop
    // (the unlocked clear would race with one), and again after a restart.
    AudioCapture capture;
    for (const int nChannels : {2, 1}) {
        SCOPED_TRACE(nChannels);
        sizes.clear();
        ASSERT_TRUE(capture.Start(nChannels, 48000, collect));
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(
            arrived.wait_for(lock, std::chrono::seconds(15), [&] { return sizes.size() >= 3; }));
        lock.unlock();
        capture.Stop();
        EXPECT_EQ(std::count(sizes.begin(), sizes.end(), nChannels * 2048), sizes.size());
    }
}

} // namespace
