// The video view's frame loop at 1920 x 1080, as the timer drives it:
// LockFrame, the renderer's copy, the paint of the 1055 x 593 render widget,
// UnlockFrame; without and with a 30 fps 1080p recording running. The
// baseline of the same run is the least a tick must do: one copy of the
// frame and one fast scaled draw of it into a widget of the same size.
//
// Then the recording itself: the view ticks 20 times a second on its own
// timer for 20 seconds while a 30 fps recording runs; the file must hold
// 600 +- 3 pictures. Reported: the pictures in the file, those that repeat
// the previous one because the recording thread fell behind, and the ticks
// that came more than half an interval late (the loop overran).
//
// Everything is written below a private temporary home folder. Recordings
// are silent (no sound source), so that only the picture path is measured.

#include "app/Configuration.h"
#include "recorder/IAudioSource.h"
#include "tools/demo/GeneratedCamera.h"
#include "view/DeviceMgr.h"
#include "view/RecordSession.h"
#include "view/VideoRenderWidget.h"
#include "view/VideoView.h"
#include "view/VideoViewWidget.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <vector>

namespace {

constexpr int FrameWidth = 1920;
constexpr int FrameHeight = 1080;

// Serves ready BGRA pictures in turn, as a camera whose decoding is already
// done: the tick measures the view, not the camera. The pictures look like
// what a document camera sees (a printed page, one part of it moving), so
// that the encoder meets the kind of picture it is there for: noise would
// make it the whole measurement.
class ReadyCamera final : public GeneratedCamera {
public:
    ReadyCamera() {
        for (int k = 0; k < kFrames; ++k) {
            m_frames[k] = QImage(FrameWidth, FrameHeight, QImage::Format_RGB32);
            QPainter painter(&m_frames[k]);
            painter.fillRect(m_frames[k].rect(), QColor(90, 70, 50));
            painter.fillRect(QRect(300, 40, 1320, 1000), QColor(250, 248, 240));
            painter.setPen(QColor(40, 40, 50));
            QFont font("DejaVu Serif");
            font.setPixelSize(28);
            painter.setFont(font);
            for (int nLine = 0; nLine < 24; ++nLine) {
                painter.drawText(380, 120 + nLine * 38,
                                 QString("Line %1 of the page, the quick brown fox jumps over "
                                         "the lazy dog.")
                                     .arg(nLine + 1));
            }
            // A hand or a pointer moving over the page.
            painter.setBrush(QColor(200, 150, 120));
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(QPoint(600 + 40 * k, 700 - 20 * k), 90, 60);
        }
    }
    bool LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) override {
        m_nNext = (m_nNext + 1) % kFrames;
        pData = m_frames[m_nNext].bits();
        nSize = FrameWidth * FrameHeight * 4;
        nWidth = FrameWidth;
        nHeight = FrameHeight;
        return true;
    }

private:
    ~ReadyCamera() = default;
    static constexpr int kFrames = 8;
    QImage m_frames[kFrames];
    int m_nNext = 0;
};

void WaitExposed(QWidget* pWidget) {
    pWidget->show();
    QElapsedTimer timer;
    timer.start();
    while (!(pWidget->windowHandle() && pWidget->windowHandle()->isExposed()) &&
           timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

double ProcessCpuSeconds() {
    timespec now = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// The view as the main window holds it at 1256 x 772: 1055 x 697, where a
// 1920 x 1080 picture is shown at 1055 x 593. The frame timer is stopped:
// the benchmark ticks by hand.
struct ViewUnderTest {
    ViewUnderTest() {
        OpenConfiguration();
        WriteConfigValue("Setting/FPS", 2);
        WriteConfigValue("Setting/RecordResolution", 1);
        DeviceManager = &manager;
        pView = std::make_unique<VideoView>();
        pView->SetAudioSourceFactory([] { return std::unique_ptr<IAudioSource>(); });
        pView->resize(1055, 697);
        WaitExposed(pView.get());
        timer = pView->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    }
    ~ViewUnderTest() {
        pView.reset();
        DeviceManager = nullptr;
        CloseConfiguration();
    }
    VideoRenderWidget* RenderWidget() const { return pView->ViewWidget()->RenderWidget(); }
    void Tick() {
        pView->OnReadFrame();
        RenderWidget()->repaint();
    }

    DeviceMgr manager{std::make_unique<GeneratedSource>("ready", [] { return new ReadyCamera; }),
                      nullptr};
    std::unique_ptr<VideoView> pView;
    QTimer* timer = nullptr;
};

void BM_Baseline(benchmark::State& state) {
    ReadyCamera* pCamera = new ReadyCamera;
    QImage copy(FrameWidth, FrameHeight, QImage::Format_RGB32);
    struct Surface : QWidget {
        QImage* pPicture = nullptr;
        void paintEvent(QPaintEvent*) override {
            QPainter(this).drawImage(rect(), *pPicture, pPicture->rect());
        }
    } surface;
    surface.pPicture = &copy;
    surface.resize(1055, 593);
    WaitExposed(&surface);
    const double dCpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        unsigned char* pData = nullptr;
        int nSize = 0, nWidth = 0, nHeight = 0;
        pCamera->LockFrame(pData, nSize, nWidth, nHeight);
        std::memcpy(copy.bits(), pData, size_t(nSize));
        surface.repaint();
        pCamera->UnlockFrame();
    }
    state.counters["process_cpu_ms/tick"] = benchmark::Counter(
        (ProcessCpuSeconds() - dCpuStart) * 1000, benchmark::Counter::kAvgIterations);
    pCamera->Release();
}

void BM_Tick(benchmark::State& state) {
    const bool bRecording = state.range(0) != 0;
    ViewUnderTest host;
    host.timer->stop();
    for (int i = 0; i < 3; ++i) {
        host.Tick();
    }
    if (bRecording) {
        host.pView->OnSetControlHappend(1);
        if (host.pView->CurrentRecording() == nullptr) {
            state.SkipWithError("the recording did not start");
            return;
        }
    }
    const double dCpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        host.Tick();
    }
    state.counters["process_cpu_ms/tick"] = benchmark::Counter(
        (ProcessCpuSeconds() - dCpuStart) * 1000, benchmark::Counter::kAvgIterations);
    if (bRecording) {
        state.counters["pictures"] = double(host.pView->CurrentRecording()->Pictures());
        host.pView->OnSetControlHappend(1);
    }
}

int64_t CountPictures(const std::string& strFile) {
    AVFormatContext* pFormat = nullptr;
    if (avformat_open_input(&pFormat, strFile.c_str(), nullptr, nullptr) < 0) {
        return -1;
    }
    int64_t nPictures = 0;
    AVPacket* pPacket = av_packet_alloc();
    while (av_read_frame(pFormat, pPacket) >= 0) {
        nPictures +=
            pFormat->streams[pPacket->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        av_packet_unref(pPacket);
    }
    av_packet_free(&pPacket);
    avformat_close_input(&pFormat);
    return nPictures;
}

// 20 seconds of the real timer and a 30 fps recording; the stop is timed on
// the GUI thread (the file is finished away from it).
void BM_TwentySecondRecording(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        auto pHost = std::make_unique<ViewUnderTest>();
        ViewUnderTest& host = *pHost;
        std::vector<Clock::time_point> ticks;
        QObject::connect(host.timer, &QTimer::timeout, [&ticks] { ticks.push_back(Clock::now()); });
        QEventLoop loop;
        QTimer::singleShot(500, &loop, &QEventLoop::quit); // first pictures
        loop.exec();
        const auto tStart = Clock::now();
        host.pView->OnSetControlHappend(1);
        const RecordSession* pSession = host.pView->CurrentRecording();
        if (pSession == nullptr) {
            state.SkipWithError("the recording did not start");
            return;
        }
        const std::string strFile = pSession->FileName();
        const size_t nFirstTick = ticks.size();
        const double dCpuStart = ProcessCpuSeconds();
        // Precise: a coarse timer may be a second late at 20 seconds.
        QTimer::singleShot(20000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        const int64_t nRepeats = pSession->Repeats();
        // What the whole process spent, per picture handed to the recorder:
        // on 2 cores, 30 pictures a second need this below 66 ms with the
        // machine to itself.
        const double dCpuPerPicture = (ProcessCpuSeconds() - dCpuStart) * 1000 /
                                      double(std::max<int64_t>(1, pSession->Pictures()));
        const auto tStop = Clock::now();
        host.pView->OnSetControlHappend(1);
        const double dStopMs =
            std::chrono::duration<double, std::milli>(Clock::now() - tStop).count();

        int nOverran = 0;
        for (size_t i = nFirstTick + 1; i < ticks.size(); ++i) {
            nOverran += ticks[i] - ticks[i - 1] > std::chrono::milliseconds(75);
        }
        const auto tFinish = Clock::now();
        pHost.reset(); // waits for the file to be finished
        const double dFinishMs =
            std::chrono::duration<double, std::milli>(Clock::now() - tFinish).count();
        state.counters["pictures"] = double(CountPictures(strFile));
        state.counters["seconds"] = std::chrono::duration<double>(tStop - tStart).count();
        state.counters["repeats"] = double(nRepeats);
        state.counters["ticks"] = double(ticks.size() - nFirstTick);
        state.counters["ticks_overran"] = nOverran;
        state.counters["stop_gui_ms"] = dStopMs;
        state.counters["finish_ms"] = dFinishMs;
        state.counters["cpu_ms/picture"] = dCpuPerPicture;
    }
}

// Prints the console table, then each tick's CPU time as a ratio to the
// baseline of the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                m_cpu[run.run_name.str()] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        const auto base = m_cpu.find("BM_Baseline");
        if (base == m_cpu.end() || base->second <= 0) {
            return;
        }
        std::printf("\nGUI-thread CPU per tick against the baseline (%.2f ms):\n", base->second);
        for (const auto& [strName, dCpu] : m_cpu) {
            if (strName.rfind("BM_Tick", 0) == 0) {
                std::printf("  %-28s %6.2f ms  %5.2fx\n", strName.c_str(), dCpu,
                            dCpu / base->second);
            }
        }
    }

private:
    std::map<std::string, double> m_cpu;
};

} // namespace

BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tick)->ArgName("recording")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwentySecondRecording)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    // Recordings and settings go below a home folder of this run only.
    QTemporaryDir home;
    const QByteArray path = home.path().toLocal8Bit();
    setenv("HOME", path.constData(), 1);
    setenv("XDG_CONFIG_HOME", (path + "/.config").constData(), 1);
    setenv("XDG_DOCUMENTS_DIR", (path + "/Documents").constData(), 1);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
