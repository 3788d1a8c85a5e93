#pragma once

#include "phone/PacketSplitter.h"
#include "phone/TcpSocket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// The control connection to the phone's camera application: introduces this
// PC (Hello), joins the phone's roster, learns its slot, sends control codes
// and a keep-alive time stamp every 4 seconds. When the phone puts this PC
// into slot 1, OnStreamGranted runs (on the receive thread).
//
// A connection found dead is made anew: by a send that failed (a bounded
// number of attempts, none once Disconnect is asked for), and by the receive
// loop when the phone closed it (at once, then at most twice a second). On
// the new connection this PC introduces itself again (Hello and RosterJoin,
// as far as they had been sent), so that a phone application that restarted
// grants the stream anew.
class AndroidCommandChannel {
public:
    // Control codes.
    static constexpr int32_t CmdBrighten = 2;
    static constexpr int32_t CmdDarken = 3;
    static constexpr int32_t CmdZoomIn = 4;
    static constexpr int32_t CmdZoomOut = 5;
    static constexpr int32_t CmdStop = 6;
    static constexpr int32_t CmdAutoFocus = 8;
    static constexpr int32_t CmdFocusFar = 9;
    static constexpr int32_t CmdFocusNear = 10;
    // Switches the torch: sent for on and for off.
    static constexpr int32_t CmdLightToggle = 2005;

    // Seconds since 1970-01-01 UTC.
    using Clock = std::function<uint32_t()>;

    static constexpr int kSlots = 12;
    static constexpr int kProperties = 23;
    // Head, length, sub-command, identity, slot, two counts, 22 pairs for
    // the slot asked for, 22 triples for each of the 10 other slots, tail.
    static constexpr int kMaxReportLength = 7 * 4 + 22 * 8 + 10 * 22 * 12 + 4;

    AndroidCommandChannel();
    // Disconnects first.
    ~AndroidCommandChannel();
    AndroidCommandChannel(const AndroidCommandChannel&) = delete;
    AndroidCommandChannel& operator=(const AndroidCommandChannel&) = delete;

    // Replaces the wall clock of the keep-alive; only while disconnected.
    void SetClock(Clock clock);

    bool Connect(const char* szAddress, uint16_t nPort, std::function<void()> onStreamGranted);
    // Stops the receive loop and closes the connection; harmless when closed.
    // Must not be called from OnStreamGranted.
    void Disconnect();
    bool IsOpen() const { return m_bOpen; }

    void SendHello(const std::string& strFirstId, const std::string& strSecondId);
    void SendJoin();
    void SendIdentity();
    void SendReport(int nSlot);
    // False at once, sending nothing, while the socket is not connected;
    // otherwise whether the whole packet went out.
    bool SendControl(int32_t nCode, int32_t nValue);
    void SendKeepAlive(int32_t nTimeStamp);
    // The one path by which every packet leaves; the result of the last send.
    int SendPacket(const unsigned char* pPacket, int nLength);

    // One whole received packet of any type, as the splitter delivers it
    // (the receive loop calls it; so do tests and the fuzz target).
    void HandlePacket(const unsigned char* pPacket, int nLength);

    // Receive-thread state, readable once that thread is stopped.
    int32_t Identity() const { return m_nIdentity; }
    int32_t Slot() const { return m_nSlot; }

private:
    void ReceiveLoop();
    void HandleRoster(const unsigned char* pPacket, int nLength);
    // With the socket lock held: sends all of the packet, repairing a dead
    // connection a bounded number of times.
    int SendLocked(const unsigned char* pPacket, int nLength);
    int SendAll(const unsigned char* pPacket, int nLength);
    // With the socket lock held: a new connection to the stored address,
    // and this PC introduced on it again.
    bool ReconnectLocked();
    void LockSocket(std::unique_lock<std::mutex>& lock);
    void UnlockSocket(std::unique_lock<std::mutex>& lock);
    void SetMark(int nSlot, int nProperty, int32_t nValue);

    bool m_bOpen = false;
    std::string m_strAddress;
    uint16_t m_nPort = 0;
    std::function<void()> m_onStreamGranted;
    TcpSocket m_socket;
    std::thread m_receiveThread;
    std::atomic<bool> m_bRunning{false};
    PacketSplitter m_splitter;
    Clock m_clock;

    // Guards every use of the socket. The receive loop holds it across one
    // short poll; a sender announces itself in m_nSendersWaiting, and the loop
    // lets it go first, so that a sender never starves behind the loop.
    std::mutex m_socketLock;
    std::condition_variable m_senderGone;
    std::atomic<int> m_nSendersWaiting{0};
    // Set (under the socket lock) when the connection was replaced.
    bool m_bSplitterStale = false;
    // The receive loop's last attempt to make a new connection.
    std::chrono::steady_clock::time_point m_lastRepair;

    // What this PC said to introduce itself, repeated on a new connection.
    std::string m_strHelloFirst;
    std::string m_strHelloSecond;
    bool m_bHelloSent = false;
    bool m_bJoinSent = false;

    // Written and read on the receive thread only.
    int32_t m_nIdentity = 0;
    int32_t m_nSlot = 0;
    struct SlotEntry {
        int32_t values[kProperties] = {};
        bool marks[kProperties] = {};
    };
    SlotEntry m_slotTable[kSlots];
};
