#pragma once

#include "camera/IV4l2System.h"
#include "camera/MjpegDecoder.h"
#include "camera/V4l2Stream.h"
#include "view/ICamera.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// A camera attached to this computer, streaming MJPEG through V4L2.
//
// The streaming thread only hands buffers over: the newest frame waits in
// the slot beside the one being shown, an older waiting frame goes back to
// the driver undecoded. LockFrame decodes the shown frame on demand,
// UnlockFrame moves on to the waiting one. The control operations send
// one-byte commands to the camera's vendor extension unit.
//
// When the camera is unplugged the last picture stays; the streaming thread
// then looks for a device with the same USB bus path every nWatchIntervalMs
// and, once it is back (under whatever node number), streams from it again
// at the same size.
class V4l2Camera final : public ICamera {
public:
    V4l2Camera(std::shared_ptr<IV4l2System> pSystem, int nWatchIntervalMs = 1000);

    // Opens the node, starts streaming and sends the auto-focus commands.
    // nParam is unused. False when the node is no MJPEG camera or refuses
    // to stream; also when the camera is open already.
    bool Open(const std::string& strPath, int nParam);
    // Stops the streaming thread and closes the device; safe to call twice.
    void Close();
    // Five writes to the extension unit, stopping at the first that fails.
    // False also when the camera has no such unit or is unplugged.
    bool SendCommand(uint8_t nCode);

    bool LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) override;
    void UnlockFrame() override;
    bool IsRunning() override { return m_bRunning; }
    void Release() override;

    // The one-byte command of each control; those that send report success
    // whatever the camera made of it.
    bool AutoFocus() override; // 53, then 54
    bool LightOn() override { return Send(72); }
    bool LightOff() override { return Send(73); }
    bool ZoomIn() override { return Send(49); }
    bool ZoomOut() override { return Send(50); }
    bool Brighten() override { return Send(65); }
    bool Darken() override { return Send(64); }
    bool FocusFar() override { return Send(51); }
    bool FocusNear() override { return Send(52); }
    bool Rotate() override { return false; }
    bool Mirror() override { return false; }
    bool Negative() override; // 56 and 55 by turns, 56 first
    bool BlackWhite() override { return Send(80); }
    bool AuxControl() override { return Send(81); }
    bool Freeze() override { return false; }
    bool Mosaic() override { return false; }
    bool StopControl() override { return Send(48); }

private:
    // A dequeued buffer held in a slot; it keeps its stream, and with it the
    // mapping, alive.
    struct Sample {
        std::shared_ptr<V4l2Stream> pStream;
        V4l2Stream::Frame frame;
        uint64_t nNumber = 0; // counts from 1 over the camera's life
    };

    ~V4l2Camera();
    bool Send(uint8_t nCode) {
        SendCommand(nCode);
        return true;
    }
    void Run(std::shared_ptr<V4l2Stream> pStream);
    void HandOver(Sample sample);
    std::shared_ptr<V4l2Stream> WaitForReturn();
    std::shared_ptr<V4l2Stream> Reconnect();
    static void Drop(Sample& sample);

    const std::shared_ptr<IV4l2System> m_pSystem;
    const int m_nWatchIntervalMs;
    std::string m_strBusInfo;
    V4l2Stream::Format m_format; // kept for reopening after a replug

    // Guards the slots, m_nCurrent, m_pStream and m_nUnit.
    std::mutex m_slotMutex;
    Sample m_slots[2];
    int m_nCurrent = -1;                   // the slot LockFrame shows; -1 before the first sample
    std::shared_ptr<V4l2Stream> m_pStream; // null while the camera is unplugged
    int m_nUnit = -1;                      // extension unit id; -1 when there is none

    uint64_t m_nSamples = 0; // streaming thread only
    std::thread m_thread;
    std::atomic<bool> m_bRunning{false};
    std::mutex m_watchMutex; // wakes the watch when Close clears m_bRunning
    std::condition_variable m_watchWake;

    // GUI thread only.
    MjpegDecoder m_decoder;
    uint64_t m_nShown = 0;   // the sample whose picture the decoder holds
    uint64_t m_nRefused = 0; // the last sample the decoder refused
    unsigned char* m_pPicture = nullptr;
    int m_nPictureSize = 0;
    int m_nPictureWidth = 0;
    int m_nPictureHeight = 0;
    bool m_bNegative = true;
};
