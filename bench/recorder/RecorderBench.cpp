// Throughput of VideoWriter::WriteVideo against the ffmpeg command line
// encoding the same BGRA pictures with the same encoder settings, measured in
// the same run. One iteration is one recording: for the writer the pictures
// and Stop (which drains the encoder), for the command line the whole process,
// start-up included; its start-up alone is measured too (one picture), so
// that the ratio can be given both ways.

#include "recorder/VideoWriter.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int kFrameRate = 30;
constexpr int kDistinctPictures = 8; // cycled; the command line loops the same file
constexpr int kPicturesPerRecording = 240;

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
        VideoWriter writer;
        // Start is left out: it also looks for a microphone, which is not
        // what is measured here.
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
                "-bufsize 31457280 -g %7 -keyint_min 0 -qmin 10 -qmax 25 -rc-lookahead 100 "
                "-threads 2 -thread_type frame -f avi %8")
            .arg(nWidth)
            .arg(nHeight)
            .arg(kFrameRate)
            .arg(strRaw)
            .arg(nPictures)
            .arg(strRate)
            .arg(15 * kFrameRate)
            .arg(Folder().path() + "/cli.avi")
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

BENCHMARK_MAIN();
