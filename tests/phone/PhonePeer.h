#pragma once

#include "phone/PacketSplitter.h"
#include "phone/TcpSocket.h"
#include "tools/phone-sim/TcpListener.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// The phone's end of one channel in a test: listens on a free loopback
// port, takes the PC's connection and reads or writes whole packets.
class PhonePeer {
public:
    PhonePeer();
    uint16_t Port() const { return m_listener.Port(); }
    // Takes the next connection (a reconnecting PC replaces the old one).
    bool Accept(int nTimeoutMs = 5000);
    bool Send(const Bytes& bytes);
    // The first packet of nType in the order received, reading until one
    // arrives; packets of other types stay queued for their own turn.
    // False on time-out or end of stream.
    bool NextPacket(int nType, Bytes& packet, int nTimeoutMs = 5000);
    // Received and not yet taken.
    const std::vector<Bytes>& Queued() const { return m_ready; }
    void HangUp() { m_socket.Close(); }
    void StopListening() { m_listener.Close(); }

private:
    TcpListener m_listener;
    TcpSocket m_socket;
    PacketSplitter m_splitter;
    std::vector<Bytes> m_ready;
};

// State shared with another thread: Change alters it under the lock and
// wakes every Wait, which gives up after a bound.
struct Signal {
    std::mutex mutex;
    std::condition_variable changed;

    template <typename Action> void Change(Action action) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            action();
        }
        changed.notify_all();
    }
    template <typename Predicate> bool Wait(Predicate predicate, int nTimeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), predicate);
    }
};

// A loopback port that nobody listens on (it was free a moment ago).
uint16_t FreePort();
// A command packet of nType whose payload is the given int32 fields.
Bytes CommandPacket(int nType, const std::vector<int32_t>& fields);
Bytes Concat(std::initializer_list<Bytes> parts);
// "37 03 FA 7F ..." as bytes.
Bytes Hex(const std::string& strHex);
// The int32 at a byte offset.
int32_t Int32At(const Bytes& bytes, size_t nOffset);
// Checks a BGRA picture of the simulator's test pattern: the three bands of
// its upper half are red, green and blue, in that order, byte order blue,
// green, red, alpha (so a red/blue swap fails).
void ExpectTestPattern(const unsigned char* pPicture, int nWidth, int nHeight);
