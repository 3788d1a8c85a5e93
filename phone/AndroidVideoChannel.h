#pragma once

#include "phone/TcpSocket.h"
#include "phone/VideoPacketFramer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// The connection on which the phone sends its H.264 stream. It only
// receives: each payload goes to the callback on the receive thread.
//
// When the stream breaks (the phone closes it, or a header announces a
// payload above kMaxPayload) the connection is dropped and the channel
// connects anew to the same address and port, every kRetryMs while it is
// not disconnected; a new connection starts at a packet boundary.
class AndroidVideoChannel {
public:
    using PayloadCallback = std::function<void(unsigned char* pData, unsigned int nLength)>;

    // Far above any H.264 picture of a phone (a 4K key frame is a few MB);
    // a length beyond it is a corrupt stream, not a picture.
    static constexpr unsigned int kMaxPayload = 16u << 20;
    static constexpr int kRetryMs = 200;

    AndroidVideoChannel();
    // Disconnects first.
    ~AndroidVideoChannel();
    AndroidVideoChannel(const AndroidVideoChannel&) = delete;
    AndroidVideoChannel& operator=(const AndroidVideoChannel&) = delete;

    // False, logging nothing, for an empty address, port 0 or when already
    // connected; false with a debug line when nobody answers.
    bool Connect(const char* szAddress, uint16_t nPort, PayloadCallback callback);
    // Joins the receive thread (a callback in progress completes first) and
    // closes the socket; harmless when closed.
    void Disconnect();
    bool IsConnected() const { return m_bConnected; }

    // Times the stream was dropped and connected anew; for tests.
    int Reconnects() const { return m_nReconnects; }

private:
    void ReceiveLoop();
    // Waits up to nMs or until Disconnect; false once Disconnect was asked.
    bool WaitUnlessStopped(int nMs);

    std::string m_strAddress;
    uint16_t m_nPort = 0;
    bool m_bConnected = false;
    TcpSocket m_socket;
    std::thread m_receiveThread;
    std::atomic<bool> m_bRunning{false};
    std::mutex m_stopLock;
    std::condition_variable m_stopSignal;
    PayloadCallback m_callback;
    VideoPacketFramer m_framer{kMaxPayload};
    std::atomic<int> m_nReconnects{0};
};
