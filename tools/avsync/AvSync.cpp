// orvane-avsync: how far apart sound and picture are in a recording made by
// the video view, at the start and after a minute.
//
//   orvane-avsync [--size 720|1080] [--seconds N]
//
// A private PulseAudio daemon has one null sink; its monitor is the only
// source, so the recorder's microphone hears what is played into the sink.
// Into it go beeps of 100 ms at the start of every period (1.0173 s) of a
// clock; a camera shows white for the first 200 ms of every period of the
// same clock, black otherwise. The view records both for N seconds (65 by
// default, at 30 fps), and the file is read back: for every beep the time
// of the sound's onset minus the time of the first white picture. Positive:
// the sound comes after its picture. The camera is read every 50 ms and the
// recording samples it every 33 ms, so single beeps scatter by some tens of
// milliseconds (the period is chosen to meet them at every phase); the
// means over the first and the last ten beeps tell where the two streams
// stand and how far they drift.
//
// Needs pulseaudio and pactl; everything runs below a temporary home folder.

#include "app/Configuration.h"
#include "tools/demo/GeneratedCamera.h"
#include "view/DeviceMgr.h"
#include "view/RecordSession.h"
#include "view/VideoView.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSampleRate = 48000;
constexpr double kBeepSeconds = 0.1;
constexpr double kFlashSeconds = 0.2;
// Not a multiple of the camera's 50 ms or the recording's 33 ms, so that
// the beeps fall at every phase of both.
constexpr double kPeriod = 1.0173;
Clock::time_point g_origin;

// Seconds since the origin, within the current period.
double Phase(Clock::time_point t) {
    const double d = std::chrono::duration<double>(t - g_origin).count() / kPeriod;
    return (d - std::floor(d)) * kPeriod;
}

class FlashCamera final : public GeneratedCamera {
public:
    FlashCamera(int nWidth, int nHeight) : m_nWidth(nWidth), m_nHeight(nHeight) {
        m_white.assign(size_t(nWidth) * nHeight, 0xffffffffu);
        m_black.assign(size_t(nWidth) * nHeight, 0xff000000u);
    }
    bool LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) override {
        auto& frame = Phase(Clock::now()) < kFlashSeconds ? m_white : m_black;
        pData = reinterpret_cast<unsigned char*>(frame.data());
        nSize = int(frame.size() * 4);
        nWidth = m_nWidth;
        nHeight = m_nHeight;
        return true;
    }

private:
    ~FlashCamera() = default;
    int m_nWidth;
    int m_nHeight;
    std::vector<quint32> m_white;
    std::vector<quint32> m_black;
};

// Plays the beeps into the sink in blocks of 5 ms. Each block's samples are
// placed by the time PulseAudio says they will be played.
class Beeper {
public:
    bool Start(const char* szSink) {
        const pa_sample_spec format = {PA_SAMPLE_S16LE, kSampleRate, 2};
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(pa_usec_to_bytes(20000, &format));
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(-1);
        int nError = 0;
        m_pStream = pa_simple_new(nullptr, "orvane-avsync", PA_STREAM_PLAYBACK, szSink, "beeps",
                                  &format, nullptr, &attr, &nError);
        if (m_pStream == nullptr) {
            std::fprintf(stderr, "cannot play into %s: %s\n", szSink, pa_strerror(nError));
            return false;
        }
        m_bRunning = true;
        m_thread = std::thread(&Beeper::Loop, this);
        return true;
    }
    void Stop() {
        m_bRunning = false;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_pStream != nullptr) {
            pa_simple_free(m_pStream);
            m_pStream = nullptr;
        }
    }

private:
    void Loop() {
        constexpr int kBlock = kSampleRate / 200;
        std::vector<int16_t> block(kBlock * 2);
        while (m_bRunning) {
            int nError = 0;
            const pa_usec_t nLatency = pa_simple_get_latency(m_pStream, &nError);
            const Clock::time_point tPlay = Clock::now() + std::chrono::microseconds(nLatency);
            for (int i = 0; i < kBlock; ++i) {
                const double dPhase =
                    Phase(tPlay + std::chrono::microseconds(i * 1000000LL / kSampleRate));
                const double dValue =
                    dPhase < kBeepSeconds ? 0.5 * std::sin(2 * M_PI * 1000 * dPhase) : 0.0;
                block[2 * i] = block[2 * i + 1] = int16_t(dValue * 32767);
            }
            if (pa_simple_write(m_pStream, block.data(), block.size() * 2, &nError) < 0) {
                std::fprintf(stderr, "beeps: %s\n", pa_strerror(nError));
                return;
            }
        }
    }

    pa_simple* m_pStream = nullptr;
    std::atomic<bool> m_bRunning{false};
    std::thread m_thread;
};

// Times in seconds of the file: white pictures that follow a dark one, and
// beeps that follow a silence.
struct Onsets {
    std::vector<double> pictures;
    std::vector<double> sounds;
};

Onsets ReadOnsets(const std::string& strFile) {
    Onsets onsets;
    AVFormatContext* pFormat = nullptr;
    if (avformat_open_input(&pFormat, strFile.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(pFormat, nullptr) < 0) {
        return onsets;
    }
    std::vector<AVCodecContext*> decoders(pFormat->nb_streams);
    for (unsigned i = 0; i < pFormat->nb_streams; ++i) {
        const AVCodecParameters* pParams = pFormat->streams[i]->codecpar;
        const AVCodec* pCodec = avcodec_find_decoder(pParams->codec_id);
        decoders[i] = avcodec_alloc_context3(pCodec);
        avcodec_parameters_to_context(decoders[i], pParams);
        avcodec_open2(decoders[i], pCodec, nullptr);
    }
    bool bWasWhite = false;
    int64_t nSample = 0;
    int64_t nQuietSince = -kSampleRate;
    AVFrame* pFrame = av_frame_alloc();
    auto receive = [&](unsigned nStream) {
        const AVStream* pStream = pFormat->streams[nStream];
        while (avcodec_receive_frame(decoders[nStream], pFrame) >= 0) {
            if (pStream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                const int64_t nStamp = pFrame->best_effort_timestamp;
                const int nLuma =
                    pFrame->data[0][pFrame->height / 2 * pFrame->linesize[0] + pFrame->width / 2];
                const bool bWhite = nLuma > 128;
                if (bWhite && !bWasWhite) {
                    onsets.pictures.push_back(double(nStamp) * av_q2d(pStream->time_base));
                }
                bWasWhite = bWhite;
            } else if (pStream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                const auto* pSamples = reinterpret_cast<const float*>(pFrame->extended_data[0]);
                for (int i = 0; i < pFrame->nb_samples; ++i, ++nSample) {
                    if (std::fabs(pSamples[i]) > 0.05F) {
                        if (nSample - nQuietSince > kSampleRate / 2) {
                            onsets.sounds.push_back(double(nSample) / kSampleRate);
                        }
                        nQuietSince = nSample;
                    }
                }
            }
            av_frame_unref(pFrame);
        }
    };
    AVPacket* pPacket = av_packet_alloc();
    while (av_read_frame(pFormat, pPacket) >= 0) {
        avcodec_send_packet(decoders[pPacket->stream_index], pPacket);
        receive(unsigned(pPacket->stream_index));
        av_packet_unref(pPacket);
    }
    for (unsigned i = 0; i < decoders.size(); ++i) {
        avcodec_send_packet(decoders[i], nullptr);
        receive(i);
        avcodec_free_context(&decoders[i]);
    }
    av_packet_free(&pPacket);
    av_frame_free(&pFrame);
    avformat_close_input(&pFormat);
    return onsets;
}

void Summarise(const char* szWhat, const std::vector<std::pair<double, double>>& pairs) {
    if (pairs.empty()) {
        std::printf("%-18s no beeps\n", szWhat);
        return;
    }
    double dSum = 0;
    double dMin = 1e9;
    double dMax = -1e9;
    for (const auto& pair : pairs) {
        dSum += pair.second;
        dMin = std::min(dMin, pair.second);
        dMax = std::max(dMax, pair.second);
    }
    std::printf("%-18s %2zu beeps at %5.1f..%5.1f s: mean %+6.1f ms (%+6.1f .. %+6.1f)\n", szWhat,
                pairs.size(), pairs.front().first, pairs.back().first, dSum / pairs.size() * 1000,
                dMin * 1000, dMax * 1000);
}

} // namespace

int main(int argc, char* argv[]) {
    int nLines = 720;
    int nSeconds = 65;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--size") == 0) {
            nLines = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            nSeconds = std::atoi(argv[++i]);
        }
    }
    const int nWidth = nLines == 1080 ? 1920 : 1280;
    const int nHeight = nLines == 1080 ? 1080 : 720;

    QTemporaryDir home;
    const QByteArray path = home.path().toLocal8Bit();
    QDir(home.path()).mkpath("runtime");
    setenv("HOME", path.constData(), 1);
    setenv("XDG_CONFIG_HOME", (path + "/.config").constData(), 1);
    setenv("XDG_DOCUMENTS_DIR", (path + "/Documents").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (path + "/runtime").constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    QProcess daemon;
    daemon.setProcessChannelMode(QProcess::MergedChannels);
    daemon.start("pulseaudio",
                 {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                  "--log-target=stderr", "--log-level=info",
                  "--load=module-native-protocol-unix auth-anonymous=1",
                  "--load=module-null-sink sink_name=orvane_beeps rate=48000 channels=2"});
    QByteArray log;
    while (!log.contains("Daemon startup complete.") && daemon.waitForReadyRead(15000)) {
        log += daemon.readAll();
    }
    if (!log.contains("Daemon startup complete.")) {
        std::fprintf(stderr, "no PulseAudio daemon: %s\n", log.constData());
        return 2;
    }
    QProcess::execute("pactl", {"set-default-source", "orvane_beeps.monitor"});

    OpenConfiguration();
    WriteConfigValue("Setting/FPS", 2);
    WriteConfigValue("Setting/RecordResolution", nLines == 1080 ? 1 : 0);
    DeviceMgr manager(std::make_unique<GeneratedSource>(
                          "flash", [=] { return new FlashCamera(nWidth, nHeight); }),
                      nullptr);
    DeviceManager = &manager;
    auto pView = std::make_unique<VideoView>();
    pView->resize(1055, 697);
    pView->show();

    g_origin = Clock::now();
    Beeper beeper;
    if (!beeper.Start("orvane_beeps")) {
        return 2;
    }
    std::string strFile;
    QTimer::singleShot(1500, [&] {
        pView->OnSetControlHappend(1);
        if (pView->CurrentRecording() != nullptr) {
            strFile = pView->CurrentRecording()->FileName();
        }
    });
    QTimer::singleShot(1500 + nSeconds * 1000, [&] {
        pView->OnSetControlHappend(1);
        QCoreApplication::quit();
    });
    app.exec();
    pView.reset();
    beeper.Stop();
    DeviceManager = nullptr;
    CloseConfiguration();
    daemon.terminate();
    daemon.waitForFinished(5000);
    if (strFile.empty()) {
        std::fprintf(stderr, "the recording did not start\n");
        return 1;
    }

    const Onsets onsets = ReadOnsets(strFile);
    std::vector<std::pair<double, double>> pairs; // picture time, sound minus picture
    for (double dPicture : onsets.pictures) {
        for (double dSound : onsets.sounds) {
            if (std::fabs(dSound - dPicture) < 0.45) {
                pairs.emplace_back(dPicture, dSound - dPicture);
            }
        }
    }
    std::printf("%dx%d at 30 fps, %d s: %zu white onsets, %zu beeps, %zu paired\n", nWidth, nHeight,
                nSeconds, onsets.pictures.size(), onsets.sounds.size(), pairs.size());
    const size_t nEdge = std::min<size_t>(10, pairs.size());
    Summarise("start:", {pairs.begin(), pairs.begin() + nEdge});
    Summarise("end:", {pairs.end() - nEdge, pairs.end()});
    for (const auto& pair : pairs) {
        std::printf("  %6.2f s  %+6.1f ms\n", pair.first, pair.second * 1000);
    }
    return 0;
}
