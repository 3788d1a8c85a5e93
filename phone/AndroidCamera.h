#pragma once

#include "phone/AndroidCommandChannel.h"
#include "phone/AndroidVideoChannel.h"
#include "phone/H264Decoder.h"
#include "phone/PayloadQueue.h"
#include "view/ICamera.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The camera of a phone whose camera application streams H.264: controls go
// out as codes on the command channel; the video channel's payloads are
// queued for a decode thread, which copies each picture into the frame
// buffer that LockFrame hands out. The queue is bounded (PayloadQueue).
class AndroidCamera final : public ICamera {
public:
    AndroidCamera();

    // nReserved is not used. With nCommandPort 0 only the video channel is
    // connected, at once. False when already opened, when the decoder
    // cannot be opened or the command channel cannot connect; nothing is
    // left open then.
    bool Open(const std::string& strAddress, uint16_t nCommandPort, uint16_t nVideoPort,
              int nReserved);
    // Stops everything Open started; both channels stay closed even when a
    // grant from the phone arrives meanwhile.
    void Close();

    const std::string& ClientId() const { return m_strClientId; }

    bool LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) override;
    void UnlockFrame() override;
    bool IsRunning() override { return m_bOpened; }
    void Release() override;

    bool AutoFocus() override { return Send(AndroidCommandChannel::CmdAutoFocus); }
    bool LightOn() override { return Send(AndroidCommandChannel::CmdLightToggle); }
    bool LightOff() override { return Send(AndroidCommandChannel::CmdLightToggle); }
    bool ZoomIn() override { return Send(AndroidCommandChannel::CmdZoomIn); }
    bool ZoomOut() override { return Send(AndroidCommandChannel::CmdZoomOut); }
    bool Brighten() override { return Send(AndroidCommandChannel::CmdBrighten); }
    bool Darken() override { return Send(AndroidCommandChannel::CmdDarken); }
    bool FocusFar() override { return Send(AndroidCommandChannel::CmdFocusFar); }
    bool FocusNear() override { return Send(AndroidCommandChannel::CmdFocusNear); }
    bool Rotate() override { return false; }
    bool Mirror() override { return false; }
    bool Negative() override { return false; }
    bool BlackWhite() override { return false; }
    bool AuxControl() override { return false; }
    bool Freeze() override { return false; }
    bool Mosaic() override { return false; }
    bool StopControl() override { return Send(AndroidCommandChannel::CmdStop); }

    // For tests and benchmarks: pictures copied in so far, and a wait for
    // that count to reach nCount (false on time-out).
    int PictureCount();
    bool WaitForPictures(int nCount, int nTimeoutMs);
    // Called on the decode thread once each picture is ready for LockFrame,
    // with the time its payload took to decode and convert. Set before Open.
    using PictureHook = std::function<void(int nPicture, double dDecodeMs)>;
    void SetPictureHook(PictureHook hook) { m_pictureHook = std::move(hook); }
    int QueuedPayloads() { return m_queue.Size(); }
    long long DroppedPayloads() { return m_queue.Dropped(); }
    // Only while no grant can run (before Open, after Close).
    bool IsVideoConnected() const { return m_videoChannel.IsConnected(); }

private:
    ~AndroidCamera();
    bool Send(int nCode);
    void ConnectVideo();
    void OnVideoData(unsigned char* pData, unsigned int nLength);
    void DecodeLoop();
    void ShowPicture(int nWidth, int nHeight, double dDecodeMs);

    std::string m_strClientId;
    std::string m_strSecondClientId;
    std::atomic<bool> m_bOpened{false};
    AndroidCommandChannel m_commandChannel;
    AndroidVideoChannel m_videoChannel;
    H264Decoder m_decoder;
    bool m_bPrimed = false;

    // The frame: buffer, its capacity and the picture's size change
    // together, under m_frameLock, which LockFrame keeps until UnlockFrame.
    std::mutex m_frameLock;
    std::vector<unsigned char> m_frame;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nPictures = 0;
    std::condition_variable m_pictureSignal;
    bool m_bLocked = false; // GUI thread only
    PictureHook m_pictureHook;

    // ConnectVideo runs on the command channel's thread; m_bClosing, set
    // by Close under this lock, stops a grant from connecting once Close
    // has begun.
    std::mutex m_videoLock;
    bool m_bClosing = false;
    std::string m_strAddress;
    uint16_t m_nVideoPort = 0;

    std::thread m_decodeThread;
    PayloadQueue m_queue;
};
