// The phone camera's cost and delay at 1080p, each against a baseline
// measured in the same run:
//  - H264Decoder::Decode (decoding and conversion to BGRA) against the
//    ffmpeg command line decoding the same stream to BGRA with the same
//    threads; the command line's start-up (one picture) is taken off.
//  - the delay from a payload's last byte leaving the simulator to its
//    picture being ready for LockFrame, over 600 pictures, beside the time
//    each of them took to decode in that run;
//  - resident memory over a long stream fed as fast as the decoder takes it
//    (ORVANE_BENCH_PHONE_PICTURES pictures, 60 000 by default).

#include "phone/AndroidCamera.h"
#include "phone/H264Decoder.h"
#include "tools/phone-sim/PhoneSimulator.h"
#include "tools/phone-sim/TestPatternEncoder.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Units = std::vector<std::vector<unsigned char>>;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kStreamPictures = 150;

const Units& Stream() {
    static Units units;
    if (units.empty()) {
        av_log_set_level(AV_LOG_ERROR);
        TestPatternEncoder encoder;
        TestPatternEncoder::Settings settings;
        settings.nWidth = kWidth;
        settings.nHeight = kHeight;
        settings.nFrames = kStreamPictures;
        encoder.Encode(settings, units);
    }
    return units;
}

QTemporaryDir& Folder() {
    static QTemporaryDir folder(QDir::tempPath() + "/orvane-bench-XXXXXX");
    return folder;
}

// The stream's first nPictures access units as an Annex B file.
QString StreamFile(int nPictures) {
    const QString strPath = Folder().path() + QString("/stream-%1.h264").arg(nPictures);
    if (!QFile::exists(strPath)) {
        QFile file(strPath);
        if (file.open(QIODevice::WriteOnly)) {
            for (int i = 0; i < nPictures; ++i) {
                file.write(reinterpret_cast<const char*>(Stream()[i].data()),
                           static_cast<qint64>(Stream()[i].size()));
            }
        }
    }
    return strPath;
}

// Wall and processor seconds of one run.
struct Cost {
    double dSeconds = -1;
    double dCpuSeconds = -1;
};

double CpuSeconds(clockid_t nClock) {
    timespec now{};
    clock_gettime(nClock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One decoder decoding the whole stream (Open not counted).
Cost Decode(int nThreads) {
    H264Decoder decoder;
    decoder.SetThreads(nThreads);
    if (!decoder.Open()) {
        return {};
    }
    int nWidth = 0;
    int nHeight = 0;
    int nPictures = 0;
    const auto begin = Clock::now();
    const double dCpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    for (const auto& unit : Stream()) {
        nPictures += decoder.Decode(unit.data(), static_cast<int>(unit.size()), nWidth, nHeight);
    }
    Cost cost;
    cost.dCpuSeconds = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - dCpu;
    cost.dSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
    return nPictures == kStreamPictures ? cost : Cost();
}

// The command line decoding the first nPictures to BGRA.
Cost CommandLine(const QString& strProgram, int nThreads, const char* szThreadType, int nPictures) {
    QProcess process;
    const QStringList arguments = {"-hide_banner",
                                   "-loglevel",
                                   "error",
                                   "-nostdin",
                                   "-threads",
                                   QString::number(nThreads),
                                   "-thread_type",
                                   szThreadType,
                                   "-i",
                                   StreamFile(nPictures),
                                   "-pix_fmt",
                                   "bgra",
                                   "-f",
                                   "null",
                                   "-"};
    const double dCpu = ChildrenCpuSeconds();
    const auto begin = Clock::now();
    process.start(strProgram, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        return {};
    }
    Cost cost;
    cost.dSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
    cost.dCpuSeconds = ChildrenCpuSeconds() - dCpu;
    return cost;
}

// One iteration: the decoder and the command line in turn, each over the
// whole stream; the counters give milliseconds per picture, wall and
// processor time (which other work on the machine disturbs less), and the
// ratios.
void BM_DecodeAgainstCommandLine(benchmark::State& state) {
    const int nThreads = static_cast<int>(state.range(0));
    const char* szThreadType = state.range(1) != 0 ? "frame" : "slice";
    const QString strProgram = QStandardPaths::findExecutable("ffmpeg");
    if (strProgram.isEmpty() || Stream().size() != kStreamPictures) {
        state.SkipWithError("no ffmpeg, or no stream (libx264 missing?)");
        return;
    }
    Cost decode{0, 0};
    Cost all{0, 0};
    Cost first{0, 0};
    for (auto _ : state) {
        const Cost one = Decode(nThreads);
        const Cost whole = CommandLine(strProgram, nThreads, szThreadType, kStreamPictures);
        const Cost start = CommandLine(strProgram, nThreads, szThreadType, 1);
        if (one.dSeconds < 0 || whole.dSeconds < 0 || start.dSeconds < 0) {
            state.SkipWithError("decoding failed");
            return;
        }
        for (auto* p : {&decode, &all, &first}) {
            const Cost& c = p == &decode ? one : p == &all ? whole : start;
            p->dSeconds += c.dSeconds;
            p->dCpuSeconds += c.dCpuSeconds;
        }
        state.SetIterationTime(one.dSeconds);
    }
    // Per picture, in ms; the one-picture run is start-up plus one picture.
    const double n = static_cast<double>(state.iterations());
    const double dDecodeMs = 1000 * decode.dSeconds / n / kStreamPictures;
    const double dDecodeCpuMs = 1000 * decode.dCpuSeconds / n / kStreamPictures;
    const double dFfmpegMs = 1000 * (all.dSeconds - first.dSeconds) / n / (kStreamPictures - 1);
    const double dFfmpegCpuMs =
        1000 * (all.dCpuSeconds - first.dCpuSeconds) / n / (kStreamPictures - 1);
    state.counters["decode_ms"] = dDecodeMs;
    state.counters["ffmpeg_ms"] = dFfmpegMs;
    state.counters["ffmpeg_startup_ms"] = 1000 * first.dSeconds / n;
    state.counters["ratio"] = dDecodeMs / dFfmpegMs;
    state.counters["decode_cpu_ms"] = dDecodeCpuMs;
    state.counters["ffmpeg_cpu_ms"] = dFfmpegCpuMs;
    state.counters["cpu_ratio"] = dDecodeCpuMs / dFfmpegCpuMs;
}

PhoneSimOptions Simulator1080p() {
    PhoneSimOptions options;
    options.nCommandPort = 0;
    options.nVideoPort = 0;
    options.nWidth = kWidth;
    options.nHeight = kHeight;
    return options;
}

struct CameraReleaser {
    void operator()(AndroidCamera* pCamera) const { pCamera->Release(); }
};

double Percentile(std::vector<double> values, double dShare) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(dShare * static_cast<double>(values.size() - 1))];
}

// 600 pictures from the simulator at 30 a second.
void BM_Latency(benchmark::State& state) {
    constexpr int kPictures = 600;
    av_log_set_level(AV_LOG_ERROR);
    for (auto _ : state) {
        std::mutex lock;
        std::vector<Clock::time_point> sent(kPictures + 2);
        std::vector<Clock::time_point> ready(kPictures + 1);
        std::vector<double> decodes(kPictures + 1);
        PhoneSimOptions options = Simulator1080p();
        options.onSent = [&](long long nPacket) {
            if (nPacket < static_cast<long long>(sent.size())) {
                std::lock_guard<std::mutex> guard(lock);
                sent[static_cast<size_t>(nPacket)] = Clock::now();
            }
        };
        PhoneSimulator simulator;
        if (!simulator.Start(options)) {
            state.SkipWithError(simulator.Error().c_str());
            return;
        }
        std::unique_ptr<AndroidCamera, CameraReleaser> camera(new AndroidCamera);
        camera->SetPictureHook([&](int nPicture, double dDecodeMs) {
            if (nPicture <= kPictures) {
                std::lock_guard<std::mutex> guard(lock);
                ready[static_cast<size_t>(nPicture)] = Clock::now();
                decodes[static_cast<size_t>(nPicture)] = dDecodeMs;
            }
        });
        if (!camera->Open("127.0.0.1", simulator.CommandPort(), simulator.VideoPort(), 0) ||
            !camera->WaitForPictures(kPictures, 60000) || camera->DroppedPayloads() != 0) {
            state.SkipWithError("the pictures did not all come");
            return;
        }
        camera.reset();
        simulator.Stop();
        // The first payload primes the decoder and is not shown: picture n
        // is the payload of packet n + 1.
        // Beside each delay, the time its payload took to decode (measured
        // around Decode in the camera, under the same load), and what the
        // hand-over adds to it.
        std::vector<double> delays;
        std::vector<double> overheads;
        for (int n = 1; n <= kPictures; ++n) {
            const double dDelay =
                std::chrono::duration<double, std::milli>(ready[n] - sent[n + 1]).count();
            delays.push_back(dDelay);
            overheads.push_back(dDelay - decodes[n]);
        }
        decodes.erase(decodes.begin());
        state.counters["median_ms"] = Percentile(delays, 0.5);
        state.counters["p95_ms"] = Percentile(delays, 0.95);
        state.counters["max_ms"] = Percentile(delays, 1.0);
        state.counters["decode_median_ms"] = Percentile(decodes, 0.5);
        state.counters["decode_p95_ms"] = Percentile(decodes, 0.95);
        state.counters["handover_p95_ms"] = Percentile(overheads, 0.95);
    }
}

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long long nPages = 0;
    long long nResident = 0;
    statm >> nPages >> nResident;
    return static_cast<double>(nResident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// A long stream sent as fast as the decoder takes it: each payload waits
// until the camera has shown all but the last two.
void BM_Memory(benchmark::State& state) {
    const char* szPictures = std::getenv("ORVANE_BENCH_PHONE_PICTURES");
    const int nPictures = szPictures != nullptr ? std::atoi(szPictures) : 60000;
    av_log_set_level(AV_LOG_ERROR);
    for (auto _ : state) {
        std::unique_ptr<AndroidCamera, CameraReleaser> camera(new AndroidCamera);
        PhoneSimOptions options = Simulator1080p();
        options.nFramesPerSecond = 0;
        options.onBeforeSend = [&](long long nPacket) {
            camera->WaitForPictures(static_cast<int>(nPacket) - 3, 5000);
        };
        PhoneSimulator simulator;
        if (!simulator.Start(options)) {
            state.SkipWithError(simulator.Error().c_str());
            return;
        }
        if (!camera->Open("127.0.0.1", simulator.CommandPort(), simulator.VideoPort(), 0)) {
            state.SkipWithError("Open failed");
            return;
        }
        const auto begin = Clock::now();
        // After the first seconds: the buffers have their sizes.
        const int nSettled = std::min(nPictures, 300);
        camera->WaitForPictures(nSettled, 60000);
        const double dSettled = ResidentMegabytes();
        double dMax = dSettled;
        double dTenth = dSettled;
        for (int n = nSettled; n < nPictures; n = std::min(nPictures, n + 1000)) {
            if (!camera->WaitForPictures(n, 60000)) {
                state.SkipWithError("the stream stalled");
                return;
            }
            const double dNow = ResidentMegabytes();
            dMax = std::max(dMax, dNow);
            if (n <= nPictures / 10) {
                dTenth = dNow;
            }
        }
        camera->WaitForPictures(nPictures, 60000);
        const double dEnd = ResidentMegabytes();
        const double dSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
        state.counters["pictures"] = camera->PictureCount();
        state.counters["fps"] = camera->PictureCount() / dSeconds;
        state.counters["dropped"] = static_cast<double>(camera->DroppedPayloads());
        state.counters["rss_settled_MB"] = dSettled;
        state.counters["rss_tenth_MB"] = dTenth; // after a tenth of the pictures
        state.counters["rss_max_MB"] = std::max(dMax, dEnd);
        state.counters["rss_end_MB"] = dEnd;
        simulator.Stop();
    }
}

} // namespace

BENCHMARK(BM_DecodeAgainstCommandLine)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({2, 1}) // frame threads on the command line: what the delay would buy
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseManualTime();
BENCHMARK(BM_Latency)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Memory)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();
