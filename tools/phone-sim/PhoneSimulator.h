#pragma once

#include "tools/phone-sim/TcpListener.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A fault the simulator plays once, when its video packet count is reached.
struct PhoneSimFault {
    enum Kind {
        VideoLength,    // packet N announces a payload of 0xFFFFFFF0 bytes
        VideoGarbage,   // 64 bytes of 0xFF go out before packet N
        VideoClose,     // the video connection is closed after packet N
        Close,          // both connections are closed after packet N
        CommandGarbage, // garbage and a packet with a bad length before each RosterJoin reply
    };
    Kind nKind = VideoClose;
    long long nPacket = 0;

    // "video-length@N", "video-garbage@N", "video-close@N", "close@N",
    // "command-garbage".
    static bool Parse(const std::string& strText, PhoneSimFault& fault);
};

struct PhoneSimOptions {
    // 0 picks a free port.
    uint16_t nCommandPort = 5000;
    uint16_t nVideoPort = 5544;
    // True: the RosterJoin reply puts the PC into slot 1. False: into slot
    // 2, and the PC's RosterReport is answered by a RosterState for slot 1.
    bool bGrantAtOnce = true;
    int nWidth = 1280;
    int nHeight = 720;
    // After nSwitchAfter packets of a connection the stream changes to this
    // size (0 x 0: never).
    int nSwitchWidth = 0;
    int nSwitchHeight = 0;
    long long nSwitchAfter = 90;
    // 0 sends as fast as the PC reads.
    int nFramesPerSecond = 30;
    int nLoopFrames = 90;
    int nKeyInterval = 30;
    int nBitRate = 0;
    std::vector<PhoneSimFault> faults;
    // Control codes, one line each: "control <code> <value>". Null: none.
    FILE* pControlLog = nullptr;
    // What happens, on standard error.
    bool bVerbose = false;
    // Called on the video thread around each packet (numbered from 1), for
    // benchmarks: before it is sent, and once its last byte has been sent.
    std::function<void(long long nPacket)> onBeforeSend;
    std::function<void(long long nPacket)> onSent;
    // Called on the command thread before a packet that puts the PC into
    // slot 1 goes out, for tests that time something against the grant.
    std::function<void()> onBeforeGrant;
};

struct PhoneSimStatus {
    int nCommandConnections = 0;
    int nVideoConnections = 0;
    bool bCommandConnected = false;
    bool bVideoConnected = false;
    int nHellos = 0;
    int nJoins = 0;
    int nIdentities = 0;
    int nReports = 0;
    int nKeepAlives = 0;
    // Length of the last RosterReport received.
    int nLastReportLength = 0;
    std::vector<std::pair<int, int>> controls;
    long long nPacketsSent = 0;
};

// Plays the phone's camera application on loopback: a command port that
// answers Hello and RosterJoin and logs Control codes, and a video port that
// streams the test pattern in the video channel's framing. Either side
// takes a new connection whenever one arrives (the newest wins), so a PC
// that went away can come back.
class PhoneSimulator {
public:
    PhoneSimulator();
    ~PhoneSimulator();
    PhoneSimulator(const PhoneSimulator&) = delete;
    PhoneSimulator& operator=(const PhoneSimulator&) = delete;

    // Encodes the pattern, listens and starts serving; false with Error().
    bool Start(const PhoneSimOptions& options);
    // Closes everything and joins the threads; safe to call twice.
    void Stop();

    uint16_t CommandPort() const { return m_commandListener.Port(); }
    uint16_t VideoPort() const { return m_videoListener.Port(); }
    const std::string& Error() const { return m_strError; }

    PhoneSimStatus Status();
    // Waits until the condition holds for the status; false on time-out.
    bool WaitUntil(const std::function<bool(const PhoneSimStatus&)>& condition, int nTimeoutMs);

private:
    void CommandLoop();
    void VideoLoop();
    void Note(const char* szFormat, ...);
    template <typename Change> void Update(Change change);

    PhoneSimOptions m_options;
    std::string m_strError;
    std::vector<std::vector<unsigned char>> m_units;
    std::vector<std::vector<unsigned char>> m_switchUnits;
    TcpListener m_commandListener;
    TcpListener m_videoListener;
    int m_nWakeFd = -1;  // Stop
    int m_nCloseFd = -1; // the video thread asks the command thread to hang up
    std::thread m_commandThread;
    std::thread m_videoThread;
    std::vector<bool> m_faultsPlayed;

    std::mutex m_statusLock;
    std::condition_variable m_statusSignal;
    PhoneSimStatus m_status;
};
