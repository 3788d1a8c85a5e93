// One camera frame through the renderer, as the view drives it at every
// timer tick: SetImage, Paint onto a 1055 x 593 widget, GetPicture. The
// baseline, measured in the same run, is the least any renderer must do:
// one copy of the frame and one fast scaled draw of it into the widget.
//
// Allocations are counted by wrapping malloc; "big" ones (64 KiB and more)
// are picture-sized. Both are reported per frame once the size is stable.
//
// On a busy machine the cases drift apart; for ratios worth quoting run
//   bench_render --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
// and the ratios use the medians. The ratios are of CPU time: everything runs
// in this thread, and on a machine shared with other work the real time also
// counts the waits for a core.

#include "render/IVideoRender.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QWidget>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

extern "C" {
void* __libc_malloc(size_t nSize);
void* __libc_calloc(size_t nCount, size_t nSize);
void* __libc_realloc(void* pMemory, size_t nSize);
}

namespace {

std::atomic<long> g_nAllocations{0};
std::atomic<long> g_nBigAllocations{0};
constexpr size_t BigAllocation = 64 * 1024;

void CountAllocation(size_t nSize) {
    g_nAllocations.fetch_add(1, std::memory_order_relaxed);
    if (nSize >= BigAllocation) {
        g_nBigAllocations.fetch_add(1, std::memory_order_relaxed);
    }
}

} // namespace

extern "C" void* malloc(size_t nSize) {
    CountAllocation(nSize);
    return __libc_malloc(nSize);
}

extern "C" void* calloc(size_t nCount, size_t nSize) {
    CountAllocation(nCount * nSize);
    return __libc_calloc(nCount, nSize);
}

extern "C" void* realloc(void* pMemory, size_t nSize) {
    CountAllocation(nSize);
    return __libc_realloc(pMemory, nSize);
}

namespace {

// Paints only reach a widget whose window is exposed.
void ShowExposed(QWidget* pWidget) {
    pWidget->show();
    QElapsedTimer timer;
    timer.start();
    while (!(pWidget->windowHandle() && pWidget->windowHandle()->isExposed()) &&
           timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

constexpr int WidgetWidth = 1055;
constexpr int WidgetHeight = 593;

// A camera-owned buffer wrapped the way the view wraps it.
struct CameraFrame {
    CameraFrame(int nWidth, int nHeight) : buffer(size_t(nWidth) * nHeight) {
        for (size_t i = 0; i < buffer.size(); ++i) {
            buffer[i] = 0xff000000u | quint32(i * 2654435761u >> 8);
        }
        image = QImage(reinterpret_cast<const uchar*>(buffer.data()), nWidth, nHeight, nWidth * 4,
                       QImage::Format_ARGB32);
    }
    std::vector<quint32> buffer;
    QImage image;
};

class RenderSurface : public QWidget {
public:
    RenderSurface() {
        resize(WidgetWidth, WidgetHeight);
        m_pRender = CreateVideoRender(this);
        ShowExposed(this);
        m_pRender->OnResize();
    }
    ~RenderSurface() override { m_pRender->Release(); }
    IVideoRender* Render() const { return m_pRender; }

protected:
    void paintEvent(QPaintEvent*) override { m_pRender->Paint(QPoint(), m_szSource); }

public:
    QSize m_szSource;

private:
    IVideoRender* m_pRender = nullptr;
};

class BaselineSurface : public QWidget {
public:
    BaselineSurface() {
        resize(WidgetWidth, WidgetHeight);
        ShowExposed(this);
    }
    QPixmap m_pixmap;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawPixmap(QRect(0, 0, WidgetWidth, WidgetHeight), m_pixmap, m_pixmap.rect());
    }
};

void ReportAllocations(benchmark::State& state, long nAllocations, long nBig) {
    state.counters["allocs/frame"] =
        benchmark::Counter(double(nAllocations), benchmark::Counter::kAvgIterations);
    state.counters["big/frame"] =
        benchmark::Counter(double(nBig), benchmark::Counter::kAvgIterations);
}

void BM_Baseline(benchmark::State& state) {
    const int nWidth = int(state.range(0));
    const int nHeight = int(state.range(1));
    CameraFrame frame(nWidth, nHeight);
    BaselineSurface surface;
    QImage copy(nWidth, nHeight, QImage::Format_RGB32);
    surface.m_pixmap = QPixmap::fromImage(copy);
    surface.repaint();

    const long nAllocStart = g_nAllocations;
    const long nBigStart = g_nBigAllocations;
    for (auto _ : state) {
        std::memcpy(copy.bits(), frame.image.constBits(), size_t(copy.sizeInBytes()));
        surface.repaint();
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, g_nAllocations - nAllocStart, g_nBigAllocations - nBigStart);
}

enum Effects { Plain, Rotated90, Annotated, Annotated90, MosaicMirror, Compare };

// A few shapes and a line of text, as a teacher marks up a page.
void Annotate(IVideoRender* pRender) {
    pRender->SetPen(QPen(QColor(255, 0, 0), 5));
    const int shapes[][5] = {
        {5, 400, 300, 900, 600}, {7, 1000, 200, 1300, 400}, {3, 200, 800, 700, 700}};
    for (const auto& shape : shapes) {
        pRender->SetRemarkType(shape[0]);
        pRender->OnMousePress(shape[1], shape[2]);
        pRender->OnMouseMove(shape[3], shape[4], true);
        pRender->OnMouseRelease(shape[3], shape[4]);
    }
    pRender->SetFontSize(26);
    pRender->SetTextColor(QColor(0, 0, 255));
    pRender->DrawText(420, 320, "Theorem 2");
}

void BM_Render(benchmark::State& state, Effects nEffects) {
    const int nWidth = int(state.range(0));
    const int nHeight = int(state.range(1));
    CameraFrame frame(nWidth, nHeight);
    RenderSurface surface;
    IVideoRender* pRender = surface.Render();
    switch (nEffects) {
    case Rotated90:
        pRender->SetRotateAngle(90);
        break;
    case Annotated:
        break;
    case Annotated90:
        pRender->SetRotateAngle(90);
        break;
    case MosaicMirror:
        pRender->SetMosaic(true);
        pRender->SetMirror(true);
        break;
    case Compare:
        pRender->SetCompare(true);
        break;
    default:
        break;
    }
    const bool bQuarter = nEffects == Rotated90 || nEffects == Annotated90;
    surface.m_szSource = bQuarter ? QSize(nHeight, nWidth) : QSize(nWidth, nHeight);

    // Settle the sizes: the first frames create the buffers.
    for (int i = 0; i < 3; ++i) {
        pRender->SetImage(frame.image);
        if (i == 0 && (nEffects == Annotated || nEffects == Annotated90)) {
            Annotate(pRender);
        }
        surface.repaint();
        pRender->GetPicture();
    }
    if (pRender->CopyPicture().isNull()) {
        state.SkipWithError("nothing was painted");
        return;
    }

    const long nAllocStart = g_nAllocations;
    const long nBigStart = g_nBigAllocations;
    for (auto _ : state) {
        pRender->SetImage(frame.image);
        surface.repaint();
        benchmark::DoNotOptimize(pRender->GetPicture());
    }
    ReportAllocations(state, g_nAllocations - nAllocStart, g_nBigAllocations - nBigStart);
}

void Sizes(benchmark::internal::Benchmark* pBenchmark) {
    pBenchmark->Args({1920, 1080})->Args({3264, 2448})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Baseline)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Render, Plain, Plain)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Render, Rotated90, Rotated90)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Render, Annotated, Annotated)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Render, Annotated90, Annotated90)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Render, MosaicMirror, MosaicMirror)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Render, Compare, Compare)->Apply(Sizes);

// Prints the console table, then each case as a ratio to the baseline of
// its frame size from the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median stands for the case; without, the one run.
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const std::string strName = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                m_times[strName] = run.GetAdjustedCPUTime();
                m_medians.insert(strName);
            } else if (run.run_type == Run::RT_Iteration && m_medians.count(strName) == 0) {
                m_times[strName] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() {
        for (const char* szSize : {"1920/1080", "3264/2448"}) {
            const auto base = m_times.find(std::string("BM_Baseline/") + szSize);
            if (base == m_times.end() || base->second <= 0) {
                continue;
            }
            std::printf("\nRatio to the baseline at %s (%.2f ms):\n", szSize, base->second);
            for (const auto& [strName, dTime] : m_times) {
                if (strName.size() > std::strlen(szSize) &&
                    strName.compare(strName.size() - std::strlen(szSize), std::string::npos,
                                    szSize) == 0 &&
                    strName.rfind("BM_Render", 0) == 0) {
                    std::printf("  %-40s %5.2fx\n", strName.c_str(), dTime / base->second);
                }
            }
        }
    }

private:
    std::map<std::string, double> m_times;
    std::set<std::string> m_medians;
};

} // namespace

int main(int argc, char** argv) {
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
