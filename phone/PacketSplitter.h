#pragma once

#include <functional>
#include <vector>

// Cuts a received byte stream into whole command-channel packets.
//
//   int n = socket.Receive(splitter.Space(), splitter.SpaceSize());
//   splitter.Commit(n, [](const unsigned char* pPacket, int nLength) { ... });
//
// A header is taken once at least 9 bytes of it are held. A header whose head
// fails the mask or whose length cannot form a packet (below 12, above 2049)
// is not trusted: the splitter moves on by one byte and looks for the next
// head, so garbage can neither stall it nor make it loop.
class PacketSplitter {
public:
    // Called with each whole packet, pPacket valid only during the call.
    using Handler = std::function<void(const unsigned char* pPacket, int nLength)>;

    // What the phone sends fits in this; the phone's side of a test takes
    // more (a RosterReport reaches 2848 bytes).
    static constexpr int kCapacity = 2049;

    // nCapacity is also the longest packet taken.
    explicit PacketSplitter(int nCapacity = kCapacity);

    // Forgets everything held: a new connection starts at a packet boundary.
    void Reset();
    unsigned char* Space() { return m_buffer.data() + m_nHeld; }
    int SpaceSize() const { return static_cast<int>(m_buffer.size()) - m_nHeld; }
    // Accounts nReceived bytes written to Space(); 0 or less changes nothing.
    void Commit(int nReceived, const Handler& handler);

    int Held() const { return m_nHeld; }
    // Bytes passed over while looking for a head.
    long long SkippedBytes() const { return m_nSkipped; }

private:
    std::vector<unsigned char> m_buffer;
    int m_nHeld = 0;
    // Start of the packet whose header was taken, -1 for none.
    int m_nPendingStart = -1;
    int m_nPendingLength = 0;
    long long m_nSkipped = 0;
};
