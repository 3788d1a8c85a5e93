#include "phone/AndroidVideoChannel.h"

#include <QDebug>

#include <chrono>

namespace {
constexpr unsigned int kPollMs = 40;
} // namespace

AndroidVideoChannel::AndroidVideoChannel() = default;

AndroidVideoChannel::~AndroidVideoChannel() {
    Disconnect();
}

bool AndroidVideoChannel::Connect(const char* szAddress, uint16_t nPort, PayloadCallback callback) {
    if (szAddress == nullptr || *szAddress == '\0' || nPort == 0 || m_bConnected) {
        return false;
    }
    m_strAddress = szAddress;
    m_nPort = nPort;
    if (!m_socket.Connect(szAddress, nPort)) {
        qDebug() << "Android Video Channel connect fiale, addr: " << szAddress << ":" << nPort;
        return false;
    }
    // A packet left unfinished by an earlier connection must not be
    // continued on this one.
    m_framer.Reset();
    m_bConnected = true;
    m_bRunning = true;
    m_callback = std::move(callback);
    m_receiveThread = std::thread(&AndroidVideoChannel::ReceiveLoop, this);
    qDebug() << "Android Video Channel connected";
    return true;
}

void AndroidVideoChannel::Disconnect() {
    {
        std::lock_guard<std::mutex> lock(m_stopLock);
        m_bRunning = false;
    }
    m_stopSignal.notify_all();
    if (m_receiveThread.joinable()) {
        m_receiveThread.join();
    }
    m_receiveThread = std::thread();
    if (m_bConnected) {
        m_socket.Close();
        m_bConnected = false;
    }
}

bool AndroidVideoChannel::WaitUnlessStopped(int nMs) {
    std::unique_lock<std::mutex> lock(m_stopLock);
    return !m_stopSignal.wait_for(lock, std::chrono::milliseconds(nMs),
                                  [this] { return !m_bRunning.load(); });
}

void AndroidVideoChannel::ReceiveLoop() {
    const VideoPacketFramer::Handler handler = [this](unsigned char* pData, unsigned int nLength) {
        if (m_callback) {
            m_callback(pData, nLength);
        }
    };
    while (m_bRunning) {
        if (!m_socket.IsOpen()) {
            if (!WaitUnlessStopped(kRetryMs)) {
                break;
            }
            if (m_socket.Connect(m_strAddress.c_str(), m_nPort)) {
                ++m_nReconnects;
            }
            continue;
        }
        if (!m_socket.WaitReadable(kPollMs)) {
            continue;
        }
        const int nReceived = m_socket.Receive(m_framer.Space(), m_framer.SpaceSize());
        // An end of stream (0) would otherwise stay readable for ever, and a
        // corrupt length leaves no packet boundary to find again: either way
        // the connection is dropped and made anew, starting at a packet.
        // A receive error is treated alike: a socket in error stays readable.
        if (nReceived <= 0 || !m_framer.Commit(nReceived, handler)) {
            m_socket.Close();
            m_framer.Reset();
        }
    }
}
