// orvane-demo: the whole program with the demo camera in place of real
// ones, for screenshots, demonstrations and end-to-end tests.
//
//   orvane-demo [--size WIDTHxHEIGHT] [--record]
//
// --record starts a recording once the window is up and prints
// "recording <file>" on standard output when ten pictures are in it.

#include "app/Application.h"
#include "app/Tessaly.h"
#include "tools/demo/DemoCamera.h"
#include "view/DeviceMgr.h"
#include "view/RecordSession.h"
#include "view/VideoView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

Tessaly* FindWindow() {
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        if (auto* pWindow = qobject_cast<Tessaly*>(pWidget)) {
            return pWindow;
        }
    }
    return nullptr;
}

// Runs in the event loop: presses the record button, then reports.
void StartRecording() {
    Tessaly* pWindow = FindWindow();
    if (pWindow == nullptr) {
        std::printf("no window\n");
        std::fflush(stdout);
        return;
    }
    pWindow->findChild<QAbstractButton*>("recordButton")->click();
    auto* pTimer = new QTimer(pWindow);
    QObject::connect(pTimer, &QTimer::timeout, pWindow, [pWindow, pTimer] {
        const RecordSession* pRecording = pWindow->GetVideoView()->CurrentRecording();
        if (pRecording == nullptr || pRecording->Pictures() >= 10) {
            std::printf(pRecording ? "recording %s\n" : "not recording\n",
                        pRecording ? pRecording->FileName().c_str() : "");
            std::fflush(stdout);
            pTimer->stop();
        }
    });
    pTimer->start(20);
}

} // namespace

int main(int argc, char* argv[]) {
    int nWidth = 1280;
    int nHeight = 720;
    bool bRecord = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--record") == 0) {
            bRecord = true;
        } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            std::sscanf(argv[++i], "%dx%d", &nWidth, &nHeight);
        }
    }
    return RunApplication(argc, argv, [=] {
        if (bRecord) {
            QTimer::singleShot(0, StartRecording);
        }
        return std::make_unique<DeviceMgr>(
            std::make_unique<GeneratedSource>("Orvane demo camera",
                                              [=] { return new DemoCamera(nWidth, nHeight); }),
            nullptr);
    });
}
