// MjpegDecoder::Decode against the ffmpeg command line decoding the same
// frames to BGRA (-threads 1 ... -pix_fmt bgra -f null -), in the same run.
//
// Times are CPU time, because the two cores of the machine are shared: the
// decoder's thread time, and the command line's user and system time as
// wait4 reports it. The command line runs once with one frame, its start-up,
// and once with many; the difference per frame is what it takes to decode.
// The summary at the end gives milliseconds per frame and the ratio.

#include "camera/MjpegDecoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

struct Size {
    int nWidth;
    int nHeight;
    int nFrames; // frames the command line decodes in one run
};
const Size kSizes[] = {{1280, 720, 240}, {1920, 1080, 120}, {3264, 2448, 30}};

std::string Folder() {
    static std::string strFolder = [] {
        char szTemplate[] = "/tmp/orvane-bench-XXXXXX";
        const char* szFolder = mkdtemp(szTemplate);
        return std::string(szFolder ? szFolder : "/tmp");
    }();
    return strFolder;
}

std::string Name(int nWidth, int nHeight, const char* szWhat) {
    return Folder() + "/" + std::to_string(nWidth) + "x" + std::to_string(nHeight) + szWhat;
}

// Runs a program; its user and system time in seconds, or -1 when it fails.
double Run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& strArgument : arguments) {
        argv.push_back(const_cast<char*>(strArgument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t nPid = 0;
    if (posix_spawnp(&nPid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int nStatus = 0;
    rusage usage{};
    if (wait4(nPid, &nStatus, 0, &usage) != nPid || !WIFEXITED(nStatus) ||
        WEXITSTATUS(nStatus) != 0) {
        return -1;
    }
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// A page under a document camera: paper with a soft shading, lines of dark
// text with a few red and blue words, a colour photograph, sensor noise.
std::vector<uint8_t> MakePage(int nWidth, int nHeight) {
    std::vector<uint8_t> page(static_cast<size_t>(nWidth) * nHeight * 4);
    uint32_t nNoise = 0x9e3779b9u;
    for (int y = 0; y < nHeight; ++y) {
        for (int x = 0; x < nWidth; ++x) {
            const int nPaper = 228 - (x + y) * 30 / (nWidth + nHeight);
            int b = nPaper - 8;
            int g = nPaper;
            int r = nPaper + 6;
            const int nLine = y * 48 / nHeight;
            const bool bText = (y * 48 % nHeight) < nHeight * 2 / 3 / 48 * 2 &&
                               ((x * 7 + nLine * 13) / 5 % 11) < 7 && x > nWidth / 12;
            if (x > nWidth * 3 / 5 && x < nWidth * 11 / 12 && y > nHeight / 8 && y < nHeight / 2) {
                b = 255 * x / nWidth;
                g = 255 * y / nHeight;
                r = 255 - 128 * (x + y) / (nWidth + nHeight);
            } else if (bText && x < nWidth * 11 / 12) {
                b = g = r = 35;
                if (nLine % 7 == 3) {
                    r = 190;
                } else if (nLine % 7 == 5) {
                    b = 170;
                }
            }
            nNoise = nNoise * 1664525u + 1013904223u;
            const int nGrain = static_cast<int>(nNoise >> 29) - 3;
            uint8_t* pPixel = &page[(static_cast<size_t>(y) * nWidth + x) * 4];
            pPixel[0] = static_cast<uint8_t>(std::clamp(b + nGrain, 0, 255));
            pPixel[1] = static_cast<uint8_t>(std::clamp(g + nGrain, 0, 255));
            pPixel[2] = static_cast<uint8_t>(std::clamp(r + nGrain, 0, 255));
            pPixel[3] = 255;
        }
    }
    return page;
}

// One MJPEG frame of the page as a UVC camera sends it (4:2:2, standard
// Huffman tables), made by the command line.
const std::vector<uint8_t>& Frame(int nWidth, int nHeight) {
    static std::map<std::pair<int, int>, std::vector<uint8_t>> frames;
    std::vector<uint8_t>& frame = frames[{nWidth, nHeight}];
    if (frame.empty()) {
        const std::string strRaw = Name(nWidth, nHeight, ".bgra");
        const std::string strJpeg = Name(nWidth, nHeight, ".jpg");
        const std::vector<uint8_t> page = MakePage(nWidth, nHeight);
        std::ofstream(strRaw, std::ios::binary)
            .write(reinterpret_cast<const char*>(page.data()), static_cast<long>(page.size()));
        const std::string strSize = std::to_string(nWidth) + "x" + std::to_string(nHeight);
        if (Run({"ffmpeg",   "-hide_banner", "-loglevel", "error", "-nostdin",    "-y",
                 "-f",       "rawvideo",     "-pix_fmt",  "bgra",  "-video_size", strSize,
                 "-i",       strRaw,         "-frames:v", "1",     "-pix_fmt",    "yuvj422p",
                 "-huffman", "default",      "-q:v",      "3",     "-f",          "mjpeg",
                 strJpeg}) >= 0) {
            std::ifstream file(strJpeg, std::ios::binary);
            frame.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        }
    }
    return frame;
}

// The frame nFrames times over, one MJPEG stream for the command line.
std::string Stream(int nWidth, int nHeight, int nFrames) {
    const std::string strPath =
        Name(nWidth, nHeight, ("-" + std::to_string(nFrames) + ".mjpeg").c_str());
    const std::vector<uint8_t>& frame = Frame(nWidth, nHeight);
    std::ofstream file(strPath, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < nFrames; ++i) {
        file.write(reinterpret_cast<const char*>(frame.data()), static_cast<long>(frame.size()));
    }
    return strPath;
}

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Seconds per iteration, by benchmark and size, for the summary.
std::map<std::string, std::vector<double>>& Times() {
    static std::map<std::string, std::vector<double>> times;
    return times;
}

std::string Key(const char* szWhat, int nWidth, int nHeight) {
    return std::string(szWhat) + " " + std::to_string(nWidth) + "x" + std::to_string(nHeight);
}

void BM_Decode(benchmark::State& state) {
    const int nWidth = static_cast<int>(state.range(0));
    const int nHeight = static_cast<int>(state.range(1));
    const std::vector<uint8_t>& frame = Frame(nWidth, nHeight);
    MjpegDecoder decoder;
    uint8_t* pPicture = nullptr;
    int nSize = 0;
    int nW = 0;
    int nH = 0;
    for (auto _ : state) {
        const double dStart = ThreadSeconds();
        if (!decoder.Decode(frame.data(), frame.size(), pPicture, nSize, nW, nH) || nW != nWidth) {
            state.SkipWithError("the frame did not decode");
            break;
        }
        benchmark::DoNotOptimize(pPicture[0]);
        const double dSeconds = ThreadSeconds() - dStart;
        state.SetIterationTime(dSeconds);
        Times()[Key("decode", nWidth, nHeight)].push_back(dSeconds);
    }
    state.counters["frame_kB"] = static_cast<double>(frame.size()) / 1000;
}

// The third argument is the number of frames; with 1 it measures start-up.
void BM_CommandLine(benchmark::State& state) {
    const int nWidth = static_cast<int>(state.range(0));
    const int nHeight = static_cast<int>(state.range(1));
    const int nFrames = static_cast<int>(state.range(2));
    if (Frame(nWidth, nHeight).empty()) {
        state.SkipWithError("ffmpeg could not make the frames (is it installed?)");
        return;
    }
    const std::string strStream = Stream(nWidth, nHeight, nFrames);
    for (auto _ : state) {
        const double dSeconds =
            Run({"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-threads", "1", "-f",
                 "mjpeg", "-i", strStream, "-filter_threads", "1", "-pix_fmt", "bgra", "-f", "null",
                 "-"});
        if (dSeconds < 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
        state.SetIterationTime(dSeconds);
        Times()[Key(nFrames == 1 ? "start-up" : "command line", nWidth, nHeight)].push_back(
            dSeconds);
    }
}

void Summarise() {
    std::printf("\nms per frame (CPU time, medians); command line less its start-up\n");
    std::printf("%-12s %10s %14s %10s %8s\n", "size", "Decode", "command line", "start-up",
                "ratio");
    for (const Size& size : kSizes) {
        const double dDecode = Median(Times()[Key("decode", size.nWidth, size.nHeight)]) * 1e3;
        const double dStartUp = Median(Times()[Key("start-up", size.nWidth, size.nHeight)]) * 1e3;
        const double dWhole = Median(Times()[Key("command line", size.nWidth, size.nHeight)]) * 1e3;
        if (dDecode <= 0 || dWhole <= 0) {
            continue;
        }
        const double dPerFrame = (dWhole - dStartUp) / (size.nFrames - 1);
        std::printf("%-12s %10.2f %14.2f %10.1f %8.2f\n",
                    (std::to_string(size.nWidth) + "x" + std::to_string(size.nHeight)).c_str(),
                    dDecode, dPerFrame, dStartUp, dDecode / dPerFrame);
    }
}

void Register() {
    for (const Size& size : kSizes) {
        benchmark::RegisterBenchmark("BM_Decode", BM_Decode)
            ->Args({size.nWidth, size.nHeight})
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0)
            ->UseManualTime();
        for (int nFrames : {1, size.nFrames}) {
            benchmark::RegisterBenchmark("BM_CommandLine", BM_CommandLine)
                ->Args({size.nWidth, size.nHeight, nFrames})
                ->Unit(benchmark::kMillisecond)
                ->Iterations(5)
                ->UseManualTime();
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Summarise();
    benchmark::Shutdown();
    std::error_code error;
    std::filesystem::remove_all(Folder(), error);
    return 0;
}
