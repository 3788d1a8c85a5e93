// The recorder's figures:
// - BM_WriteVideo: throughput of VideoWriter::WriteVideo against the ffmpeg
//   command line encoding the same BGRA pictures with the same encoder
//   settings (BM_FfmpegCommandLine), measured in the same run. One iteration
//   is one recording: for the writer the pictures and Stop (which drains the
//   encoder), for the command line the whole process, start-up included; its
//   start-up alone is measured too (one picture), so that the ratio can be
//   given both ways.
// - BM_Lookahead: x264's rate-control look-ahead at the same bit rate, one
//   recording per child process: quality against the source pictures (PSNR
//   and SSIM from ffmpeg's filters), peak resident memory, the time WriteVideo
//   takes per picture at the start and later, and the time Stop takes.
// - BM_Kill: a recording in real time in a child process, with and without
//   sound, killed (SIGKILL) after some seconds: when the first packet reached
//   the file, and how much of the recording the file keeps.

#include "recorder/IAudioSource.h"
#include "recorder/MediaMuxer.h"
#include "recorder/VideoWriter.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

constexpr int kFrameRate = 30;
constexpr int kDistinctPictures = 8; // cycled; the command line loops the same file
constexpr int kPicturesPerRecording = 240;
constexpr int kRecorderLookahead = 0; // as VideoWriter sets it
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

QTemporaryDir& Folder() {
    static QTemporaryDir folder(QDir::tempPath() + "/orvane-bench-XXXXXX");
    return folder;
}

// Bit rates the recorder uses for these sizes, in kbit/s.
int BitRateFor(int nHeight) {
    return nHeight >= 1080 ? 3072 : 1024;
}

// A page under a document camera: light paper with a soft shading, lines of
// dark "text", a little sensor noise, and a hand (a dark block) moving over
// the page from one picture to the next.
std::vector<uint8_t> MakePage(int nWidth, int nHeight, int nIndex) {
    std::vector<uint8_t> picture(static_cast<size_t>(nWidth) * nHeight * 4);
    uint32_t nNoise = 0x9e3779b9u * static_cast<uint32_t>(nIndex + 1);
    const int nHandX = nWidth / 8 + nIndex * nWidth / 16;
    const int nHandY = nHeight / 3 + nIndex * nHeight / 40;
    for (int y = 0; y < nHeight; ++y) {
        for (int x = 0; x < nWidth; ++x) {
            int nGrey = 225 - (x + y) * 30 / (nWidth + nHeight);
            const bool bLine = (y / 12) % 3 != 0 && (y % 12) < 8;
            const bool bWord = (x / 40) % 5 != 4 && ((x * 7 + y / 36 * 13) % 11) < 7;
            if (bLine && bWord && x > nWidth / 10 && x < nWidth * 9 / 10) {
                nGrey = 40;
            }
            if (x >= nHandX && x < nHandX + nWidth / 6 && y >= nHandY && y < nHandY + nHeight / 4) {
                nGrey = 120 + (x - nHandX) / 16;
            }
            nNoise = nNoise * 1664525u + 1013904223u;
            nGrey += static_cast<int>(nNoise >> 30) - 1;
            uint8_t* pPixel = &picture[(static_cast<size_t>(y) * nWidth + x) * 4];
            pPixel[0] = static_cast<uint8_t>(std::min(255, std::max(0, nGrey - 6)));
            pPixel[1] = static_cast<uint8_t>(std::min(255, std::max(0, nGrey)));
            pPixel[2] = static_cast<uint8_t>(std::min(255, std::max(0, nGrey + 4)));
            pPixel[3] = 255;
        }
    }
    return picture;
}

const std::vector<std::vector<uint8_t>>& Pictures(int nWidth, int nHeight) {
    static std::map<std::pair<int, int>, std::vector<std::vector<uint8_t>>> cache;
    auto& pictures = cache[{nWidth, nHeight}];
    if (pictures.empty()) {
        for (int i = 0; i < kDistinctPictures; ++i) {
            pictures.push_back(MakePage(nWidth, nHeight, i));
        }
    }
    return pictures;
}

// The same pictures as one raw BGRA file for the command line.
QString RawFile(int nWidth, int nHeight) {
    const QString strPath =
        Folder().path() + QString("/pictures-%1x%2.bgra").arg(nWidth).arg(nHeight);
    if (!QFile::exists(strPath)) {
        QFile file(strPath);
        if (file.open(QIODevice::WriteOnly)) {
            for (const auto& picture : Pictures(nWidth, nHeight)) {
                file.write(reinterpret_cast<const char*>(picture.data()),
                           static_cast<qint64>(picture.size()));
            }
        }
    }
    return strPath;
}

void BM_WriteVideo(benchmark::State& state) {
    const int nWidth = static_cast<int>(state.range(0));
    const int nHeight = static_cast<int>(state.range(1));
    const auto& pictures = Pictures(nWidth, nHeight);
    const std::string strPath = (Folder().path() + "/writer.avi").toStdString();
    for (auto _ : state) {
        // Pictures only; Start is left out of the time. The writer never
        // writes over a file.
        VideoWriter writer(nullptr);
        std::remove(strPath.c_str());
        if (!writer.Start(strPath, nWidth, nHeight, kFrameRate, BitRateFor(nHeight), 48000)) {
            state.SkipWithError("Start failed");
            break;
        }
        const auto begin = std::chrono::steady_clock::now();
        for (int i = 0; i < kPicturesPerRecording; ++i) {
            writer.WriteVideo(pictures[i % kDistinctPictures].data(), nWidth, nHeight);
        }
        writer.Stop();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
    state.SetItemsProcessed(state.iterations() * kPicturesPerRecording);
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kPicturesPerRecording),
                           benchmark::Counter::kIsRate);
}

// The third argument is the number of pictures: with 1 it measures the start-up
// of the command line, to be taken off its figure for a like-for-like ratio.
void BM_FfmpegCommandLine(benchmark::State& state) {
    const int nWidth = static_cast<int>(state.range(0));
    const int nHeight = static_cast<int>(state.range(1));
    const int nPictures = static_cast<int>(state.range(2));
    const QString strProgram = QStandardPaths::findExecutable("ffmpeg");
    if (strProgram.isEmpty()) {
        state.SkipWithError("ffmpeg not found");
        return;
    }
    const QString strRaw = RawFile(nWidth, nHeight);
    const QString strRate = QString("%1k").arg(BitRateFor(nHeight));
    // The recorder's encoder settings, option for option; the temporary
    // paths hold no spaces.
    const QStringList arguments =
        QString("-hide_banner -loglevel error -nostdin -y -f rawvideo -pix_fmt bgra "
                "-video_size %1x%2 -framerate %3 -stream_loop -1 -i %4 -frames:v %5 -an "
                "-sws_flags bicubic -pix_fmt yuv420p -c:v libx264 -preset superfast "
                "-tune zerolatency -profile:v main -b:v %6 -maxrate %6 -minrate %6 "
                "-bufsize 31457280 -g %7 -keyint_min 0 -qmin 10 -qmax 25 -rc-lookahead %9 "
                "-threads 2 -thread_type frame -f avi %8")
            .arg(nWidth)
            .arg(nHeight)
            .arg(kFrameRate)
            .arg(strRaw)
            .arg(nPictures)
            .arg(strRate)
            .arg(15 * kFrameRate)
            .arg(Folder().path() + "/cli.avi")
            .arg(kRecorderLookahead)
            .split(' ');
    for (auto _ : state) {
        QProcess process;
        process.start(strProgram, arguments);
        if (!process.waitForFinished(-1) || process.exitCode() != 0) {
            state.SkipWithError(process.readAllStandardError().constData());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * nPictures);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations() * nPictures),
                                               benchmark::Counter::kIsRate);
}

// Child: one recording of kLookaheadPictures at full speed through the
// muxer, set up as VideoWriter does but with the given look-ahead. Prints
// peak resident MB, mean ms per picture over the first and the remaining
// pictures, and ms for Finish.
constexpr int kLookaheadPictures = 300;
constexpr int kFirstPictures = 110;

int RecordWithLookahead(int nLookahead, int nWidth, int nHeight, const char* pPath) {
    const auto& pictures = Pictures(nWidth, nHeight);
    MediaMuxer muxer(pPath, "avi", "9.0");
    if (!muxer.AddAudioStream({48000, 2, 96000}, "libfdk_aac") ||
        !muxer.AddVideoStream(
            {"main", nWidth, nHeight, kFrameRate, 2, BitRateFor(nHeight), nLookahead}, "libx264") ||
        !muxer.WriteHeader()) {
        return 1;
    }
    double fFirst = 0.0;
    double fLater = 0.0;
    for (int i = 0; i < kLookaheadPictures; ++i) {
        const auto begin = Clock::now();
        muxer.WriteVideoFrame(pictures[i % kDistinctPictures].data(), nWidth, nHeight);
        (i < kFirstPictures ? fFirst : fLater) += Milliseconds(Clock::now() - begin);
    }
    const auto begin = Clock::now();
    if (muxer.Finish() != 0) {
        return 1;
    }
    const double fStop = Milliseconds(Clock::now() - begin);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.1f %.2f %.2f %.1f\n", static_cast<double>(usage.ru_maxrss) / 1024.0,
                fFirst / kFirstPictures, fLater / (kLookaheadPictures - kFirstPictures), fStop);
    return 0;
}

// Runs this program again with the arguments; its standard output.
QByteArray RunChild(const QStringList& arguments, benchmark::State& state) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(-1) || child.exitCode() != 0) {
        state.SkipWithError("child failed");
        return {};
    }
    return child.readAllStandardOutput();
}

void BM_Lookahead(benchmark::State& state) {
    const int nLookahead = static_cast<int>(state.range(0));
    const int nWidth = static_cast<int>(state.range(1));
    const int nHeight = static_cast<int>(state.range(2));
    const QString strPath = Folder().path() + QString("/lookahead-%1.avi").arg(nLookahead);
    const QString strFfmpeg = QStandardPaths::findExecutable("ffmpeg");
    if (strFfmpeg.isEmpty()) {
        state.SkipWithError("ffmpeg not found");
        return;
    }
    for (auto _ : state) {
        QFile::remove(strPath);
        const QList<QByteArray> figures =
            RunChild({"--lookahead", QString::number(nLookahead), QString::number(nWidth),
                      QString::number(nHeight), strPath},
                     state)
                .simplified()
                .split(' ');
        if (figures.size() != 4) {
            state.SkipWithError("no figures from the child");
            break;
        }
        state.counters["rss_MB"] = figures[0].toDouble();
        state.counters["first_ms"] = figures[1].toDouble();
        state.counters["later_ms"] = figures[2].toDouble();
        state.counters["stop_ms"] = figures[3].toDouble();
        // The reference is the source converted as the recorder converts
        // it (BT.709 at these sizes), so only the encoder's loss is measured.
        QProcess compare;
        compare.start(strFfmpeg, {"-hide_banner",
                                  "-nostdin",
                                  "-i",
                                  strPath,
                                  "-f",
                                  "rawvideo",
                                  "-pix_fmt",
                                  "bgra",
                                  "-video_size",
                                  QString("%1x%2").arg(nWidth).arg(nHeight),
                                  "-framerate",
                                  QString::number(kFrameRate),
                                  "-stream_loop",
                                  "-1",
                                  "-i",
                                  RawFile(nWidth, nHeight),
                                  "-filter_complex",
                                  "[1:v]scale=out_color_matrix=bt709:out_range=tv:flags=bicubic,"
                                  "format=yuv420p[ref];[0:v]split[a][b];[ref]split[c][d];"
                                  "[a][c]psnr=shortest=1;[b][d]ssim=shortest=1",
                                  "-f",
                                  "null",
                                  "-"});
        compare.waitForFinished(-1);
        const QString strLog = compare.readAllStandardError();
        const auto psnr = QRegularExpression("PSNR .*average:([0-9.]+)").match(strLog);
        const auto ssim = QRegularExpression("SSIM .*All:([0-9.]+)").match(strLog);
        if (!psnr.hasMatch() || !ssim.hasMatch()) {
            state.SkipWithError("no PSNR or SSIM from ffmpeg");
            break;
        }
        state.counters["psnr_dB"] = psnr.captured(1).toDouble();
        state.counters["ssim"] = ssim.captured(1).toDouble();
    }
}

// A microphone's pace: blocks of 1024 samples of a quiet tone, every 21.3 ms.
class PacedTone : public IAudioSource {
public:
    ~PacedTone() override { Stop(); }
    bool Start(int nChannels, int /*nSampleRate*/, AudioCallback callback) override {
        m_bRunning = true;
        m_thread = std::thread([this, nChannels, callback] {
            std::vector<int16_t> block(static_cast<size_t>(1024 * nChannels));
            auto next = Clock::now();
            for (int64_t n = 0; m_bRunning; ++n) {
                for (size_t i = 0; i < block.size(); ++i) {
                    block[i] = static_cast<int16_t>(((n * 1024 + i / nChannels) / 55 % 2) * 4000);
                }
                callback(reinterpret_cast<const unsigned char*>(block.data()),
                         static_cast<int>(block.size() * 2));
                next += std::chrono::microseconds(1024 * 1000000 / 48000);
                std::this_thread::sleep_until(next);
            }
        });
        return true;
    }
    void Stop() override {
        m_bRunning = false;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    std::atomic<bool> m_bRunning{false};
    std::thread m_thread;
};

constexpr int kKillWidth = 1280;
constexpr int kKillHeight = 720;
constexpr int kKillAfterSeconds = 5;

// Child: records 720p pictures at the frame rate, with the paced tone or
// without sound, until it is killed. Says "started" once the file is open,
// then the count of pictures handed over after each.
int RecordUntilKilled(const char* pPath, bool bSound) {
    const auto& pictures = Pictures(kKillWidth, kKillHeight);
    VideoWriter writer(bSound ? std::make_unique<PacedTone>() : nullptr);
    if (!writer.Start(pPath, kKillWidth, kKillHeight, kFrameRate, BitRateFor(kKillHeight), 48000)) {
        return 1;
    }
    std::printf("started\n");
    std::fflush(stdout);
    auto next = Clock::now();
    for (int i = 0;; ++i) {
        writer.WriteVideo(pictures[i % kDistinctPictures].data(), kKillWidth, kKillHeight);
        std::printf("%d\n", i + 1);
        std::fflush(stdout);
        next += std::chrono::microseconds(1000000 / kFrameRate);
        std::this_thread::sleep_until(next);
    }
}

void BM_Kill(benchmark::State& state) {
    const bool bSound = state.range(0) != 0;
    const QString strPath = Folder().path() + (bSound ? "/killed-sound.avi" : "/killed.avi");
    for (auto _ : state) {
        QFile::remove(strPath);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {"--until-killed", strPath, bSound ? "1" : "0"});
        if (!child.waitForReadyRead(30000)) {
            state.SkipWithError("the child did not start");
            break;
        }
        const auto started = Clock::now();
        const qint64 nHeader = QFileInfo(strPath).size();
        // Polls the file, as a look at the disk would.
        double fFirstData = -1.0;
        while (Clock::now() - started < std::chrono::seconds(kKillAfterSeconds)) {
            if (fFirstData < 0 && QFileInfo(strPath).size() > nHeader) {
                fFirstData = Milliseconds(Clock::now() - started);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        child.kill();
        child.waitForFinished(-1);
        const QList<QByteArray> counts = child.readAllStandardOutput().trimmed().split('\n');
        const double fFed = counts.back().toDouble() / kFrameRate;
        // What a player finds in the file.
        AVFormatContext* pFormat = nullptr;
        int64_t nPackets[2] = {};
        if (avformat_open_input(&pFormat, strPath.toLocal8Bit().constData(), nullptr, nullptr) ==
            0) {
            AVPacket* pPacket = av_packet_alloc();
            while (av_read_frame(pFormat, pPacket) >= 0) {
                nPackets[pPacket->stream_index == 0 ? 0 : 1] += 1;
                av_packet_unref(pPacket);
            }
            av_packet_free(&pPacket);
            avformat_close_input(&pFormat);
        }
        const double fVideoKept = static_cast<double>(nPackets[1]) / kFrameRate;
        state.counters["first_data_ms"] = fFirstData;
        state.counters["video_kept_s"] = fVideoKept;
        state.counters["sound_kept_s"] = static_cast<double>(nPackets[0]) * 1024.0 / 48000.0;
        state.counters["video_fed_s"] = fFed;
        state.counters["video_lost_s"] = fFed - fVideoKept;
    }
}

} // namespace

BENCHMARK(BM_FfmpegCommandLine)
    ->Args({1280, 720, kPicturesPerRecording})
    ->Args({1920, 1080, kPicturesPerRecording})
    ->Args({1280, 720, 1})
    ->Args({1920, 1080, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_WriteVideo)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseManualTime();

BENCHMARK(BM_Lookahead)
    ->ArgsProduct({{100, 10, 0}, {1920}, {1080}})
    ->Args({100, 1280, 720})
    ->Args({0, 1280, 720})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_Kill)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc == 6 && std::strcmp(argv[1], "--lookahead") == 0) {
        return RecordWithLookahead(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                                   argv[5]);
    }
    if (argc == 4 && std::strcmp(argv[1], "--until-killed") == 0) {
        return RecordUntilKilled(argv[2], std::strcmp(argv[3], "1") == 0);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
