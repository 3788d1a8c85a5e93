#include "phone/AndroidCommandChannel.h"

#include "phone/PacketReader.h"
#include "phone/PacketWriter.h"
#include "phone/PhonePacket.h"

#include <chrono>
#include <ctime>

namespace {

// How often one send repairs a dead connection before it gives up; the next
// keep-alive, 4 seconds later, tries again.
constexpr int kReconnectAttempts = 3;
constexpr unsigned int kPollMs = 10;
constexpr uint32_t kKeepAliveSeconds = 4;
constexpr std::chrono::milliseconds kRepairInterval(500);
constexpr int kSmallPacket = 64;
constexpr int kHelloPacket = 1024;

// Head and a length placeholder; FinishPacket writes the tail and patches
// the length. Returns the packet length, 0 when it did not fit.
void BeginPacket(PacketWriter& writer, int nType) {
    writer.WriteInt32(PhonePacket::PacketHead(nType));
    writer.WriteInt32(0);
}

int FinishPacket(PacketWriter& writer, int nType) {
    writer.WriteInt32(PhonePacket::PacketTail(nType));
    const int nLength = writer.Extent();
    writer.SetPosition(4);
    writer.WriteInt32(nLength);
    return writer.Overflowed() ? 0 : nLength;
}

int BuildHello(unsigned char* pBuffer, const std::string& strFirstId,
               const std::string& strSecondId) {
    PacketWriter writer(pBuffer, kHelloPacket);
    BeginPacket(writer, PhonePacket::kHello);
    writer.WriteString(strFirstId);
    writer.WriteString(std::string());
    writer.WriteString(strSecondId);
    writer.WriteInt16(0x1403);
    writer.WriteInt32(1);
    writer.WriteInt16(1);
    writer.WriteInt16(0);
    writer.WriteInt16(0);
    writer.WriteInt16(0);
    writer.WriteInt32(0);
    writer.WriteString(std::string());
    return FinishPacket(writer, PhonePacket::kHello);
}

int BuildJoin(unsigned char* pBuffer) {
    PacketWriter writer(pBuffer, kSmallPacket);
    BeginPacket(writer, PhonePacket::kRoster);
    writer.WriteInt32(PhonePacket::kRosterJoin);
    return FinishPacket(writer, PhonePacket::kRoster);
}

uint32_t WallClock() {
    return static_cast<uint32_t>(std::time(nullptr));
}

} // namespace

AndroidCommandChannel::AndroidCommandChannel() : m_clock(WallClock) {}

AndroidCommandChannel::~AndroidCommandChannel() {
    Disconnect();
}

void AndroidCommandChannel::SetClock(Clock clock) {
    if (!m_bOpen) {
        m_clock = clock ? std::move(clock) : Clock(WallClock);
    }
}

bool AndroidCommandChannel::Connect(const char* szAddress, uint16_t nPort,
                                    std::function<void()> onStreamGranted) {
    if (szAddress == nullptr || *szAddress == '\0' || nPort == 0 || m_bOpen) {
        return false;
    }
    m_strAddress = szAddress;
    m_nPort = nPort;
    if (!m_socket.Connect(szAddress, nPort)) {
        return false;
    }
    m_onStreamGranted = std::move(onStreamGranted);
    m_bOpen = true;
    m_bRunning = true;
    m_splitter.Reset();
    m_bHelloSent = false;
    m_bJoinSent = false;
    m_receiveThread = std::thread(&AndroidCommandChannel::ReceiveLoop, this);
    return true;
}

void AndroidCommandChannel::Disconnect() {
    m_bRunning = false;
    {
        // Taken once so that a loop between its check and its wait cannot
        // miss the wake-up below.
        std::lock_guard<std::mutex> lock(m_socketLock);
    }
    m_senderGone.notify_all();
    if (m_receiveThread.joinable()) {
        m_receiveThread.join();
    }
    m_receiveThread = std::thread();
    if (m_bOpen) {
        std::lock_guard<std::mutex> lock(m_socketLock);
        m_socket.Close();
        m_bOpen = false;
    }
}

void AndroidCommandChannel::LockSocket(std::unique_lock<std::mutex>& lock) {
    ++m_nSendersWaiting;
    lock = std::unique_lock<std::mutex>(m_socketLock);
    --m_nSendersWaiting;
}

void AndroidCommandChannel::UnlockSocket(std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    m_senderGone.notify_all();
}

void AndroidCommandChannel::SendHello(const std::string& strFirstId,
                                      const std::string& strSecondId) {
    unsigned char packet[kHelloPacket] = {};
    const int nLength = BuildHello(packet, strFirstId, strSecondId);
    if (nLength == 0) {
        return;
    }
    std::unique_lock<std::mutex> lock;
    LockSocket(lock);
    m_strHelloFirst = strFirstId;
    m_strHelloSecond = strSecondId;
    m_bHelloSent = true;
    SendLocked(packet, nLength);
    UnlockSocket(lock);
}

void AndroidCommandChannel::SendJoin() {
    unsigned char packet[kSmallPacket] = {};
    const int nLength = BuildJoin(packet);
    std::unique_lock<std::mutex> lock;
    LockSocket(lock);
    m_bJoinSent = true;
    SendLocked(packet, nLength);
    UnlockSocket(lock);
}

void AndroidCommandChannel::SendIdentity() {
    unsigned char packet[kSmallPacket] = {};
    PacketWriter writer(packet, sizeof packet);
    BeginPacket(writer, PhonePacket::kRoster);
    writer.WriteInt32(PhonePacket::kRosterIdentity);
    writer.WriteInt32(m_nIdentity);
    SendPacket(packet, FinishPacket(writer, PhonePacket::kRoster));
}

void AndroidCommandChannel::SendReport(int nSlot) {
    unsigned char packet[kMaxReportLength] = {};
    PacketWriter writer(packet, sizeof packet);
    BeginPacket(writer, PhonePacket::kRoster);
    writer.WriteInt32(PhonePacket::kRosterReport);
    writer.WriteInt32(m_nIdentity);
    writer.WriteInt32(nSlot);

    // Each count is written as a placeholder and patched once known.
    const int nPairCount = writer.Position();
    writer.WriteInt32(0);
    int nPairs = 0;
    if (nSlot >= 0 && nSlot < kSlots) {
        for (int nProperty = 1; nProperty < kProperties; ++nProperty) {
            if (m_slotTable[nSlot].marks[nProperty]) {
                writer.WriteInt32(nProperty);
                writer.WriteInt32(m_slotTable[nSlot].values[nProperty]);
                ++nPairs;
            }
        }
    }
    int nEnd = writer.Position();
    writer.SetPosition(nPairCount);
    writer.WriteInt32(nPairs);
    writer.SetPosition(nEnd);

    const int nTripleCount = writer.Position();
    writer.WriteInt32(0);
    int nTriples = 0;
    for (int nOther = 1; nOther < kSlots; ++nOther) {
        if (nOther == nSlot) {
            continue;
        }
        for (int nProperty = 1; nProperty < kProperties; ++nProperty) {
            if (m_slotTable[nOther].marks[nProperty]) {
                writer.WriteInt32(nOther);
                writer.WriteInt32(nProperty);
                writer.WriteInt32(m_slotTable[nOther].values[nProperty]);
                ++nTriples;
            }
        }
    }
    nEnd = writer.Position();
    writer.SetPosition(nTripleCount);
    writer.WriteInt32(nTriples);
    writer.SetPosition(nEnd);
    SendPacket(packet, FinishPacket(writer, PhonePacket::kRoster));
}

bool AndroidCommandChannel::SendControl(int32_t nCode, int32_t nValue) {
    unsigned char packet[kSmallPacket] = {};
    PacketWriter writer(packet, sizeof packet);
    BeginPacket(writer, PhonePacket::kControl);
    writer.WriteInt32(nCode);
    writer.WriteInt32(nValue);
    const int nLength = FinishPacket(writer, PhonePacket::kControl);

    std::unique_lock<std::mutex> lock;
    LockSocket(lock);
    const bool bSent = m_socket.IsConnected() && SendLocked(packet, nLength) == nLength;
    UnlockSocket(lock);
    return bSent;
}

void AndroidCommandChannel::SendKeepAlive(int32_t nTimeStamp) {
    unsigned char packet[kSmallPacket] = {};
    PacketWriter writer(packet, sizeof packet);
    BeginPacket(writer, PhonePacket::kKeepAlive);
    writer.WriteInt32(nTimeStamp);
    SendPacket(packet, FinishPacket(writer, PhonePacket::kKeepAlive));
}

int AndroidCommandChannel::SendPacket(const unsigned char* pPacket, int nLength) {
    std::unique_lock<std::mutex> lock;
    LockSocket(lock);
    const int nResult = SendLocked(pPacket, nLength);
    UnlockSocket(lock);
    return nResult;
}

int AndroidCommandChannel::SendAll(const unsigned char* pPacket, int nLength) {
    // A packet cut short would shift every later packet in the phone's
    // stream, so a partial send goes on with the rest.
    int nSent = 0;
    while (nSent < nLength) {
        const int nResult = m_socket.Send(pPacket + nSent, nLength - nSent);
        if (nResult <= 0) {
            return -1;
        }
        nSent += nResult;
    }
    return nSent;
}

int AndroidCommandChannel::SendLocked(const unsigned char* pPacket, int nLength) {
    if (pPacket == nullptr || nLength <= 0) {
        return -1;
    }
    int nResult = SendAll(pPacket, nLength);
    // Only an open channel repairs its connection, and never once Disconnect
    // has been asked for.
    for (int nAttempt = 0; nResult == -1 && nAttempt < kReconnectAttempts && m_bOpen && m_bRunning;
         ++nAttempt) {
        if (ReconnectLocked()) {
            nResult = SendAll(pPacket, nLength);
        }
    }
    return nResult;
}

bool AndroidCommandChannel::ReconnectLocked() {
    m_socket.Close();
    // Whatever part of a packet the old connection left is dropped; the
    // receive loop resets its splitter before it reads from the new one.
    m_bSplitterStale = true;
    if (!m_bRunning || !m_socket.Connect(m_strAddress.c_str(), m_nPort)) {
        return false;
    }
    unsigned char packet[kHelloPacket] = {};
    if (m_bHelloSent) {
        const int nLength = BuildHello(packet, m_strHelloFirst, m_strHelloSecond);
        if (nLength > 0 && SendAll(packet, nLength) != nLength) {
            return false;
        }
    }
    if (m_bJoinSent) {
        const int nLength = BuildJoin(packet);
        if (SendAll(packet, nLength) != nLength) {
            return false;
        }
    }
    return true;
}

void AndroidCommandChannel::ReceiveLoop() {
    bool bKeepAliveSent = false;
    uint32_t nLastKeepAlive = 0;
    const auto handler = [this](const unsigned char* pPacket, int nLength) {
        HandlePacket(pPacket, nLength);
    };
    while (m_bRunning) {
        int nReceived = 0;
        {
            std::unique_lock<std::mutex> lock(m_socketLock);
            m_senderGone.wait(lock, [this] { return m_nSendersWaiting == 0 || !m_bRunning; });
            if (!m_bRunning) {
                break;
            }
            if (m_bSplitterStale) {
                m_splitter.Reset();
                m_bSplitterStale = false;
            }
            if (!m_socket.IsOpen()) {
                // The connection ended. It is made anew at once, then at most
                // every kRepairInterval: a port that takes connections and
                // closes them again (a forwarding whose phone application is
                // gone) must not make this loop spin.
                const auto now = std::chrono::steady_clock::now();
                if (now - m_lastRepair >= kRepairInterval) {
                    m_lastRepair = now;
                    ReconnectLocked();
                } else {
                    m_senderGone.wait_for(lock, std::chrono::milliseconds(kPollMs),
                                          [this] { return !m_bRunning.load(); });
                }
            } else if (m_socket.WaitReadable(kPollMs)) {
                nReceived = m_socket.Receive(m_splitter.Space(), m_splitter.SpaceSize());
                if (nReceived <= 0) {
                    // The phone closed the connection (or it broke). A socket
                    // at its end of stream is always readable, so it is closed
                    // here rather than left for the next send to notice.
                    nReceived = 0;
                    m_socket.Close();
                }
            }
        }
        if (nReceived > 0) {
            m_splitter.Commit(nReceived, handler);
        }
        const uint32_t nNow = m_clock();
        if (!bKeepAliveSent || nNow - nLastKeepAlive >= kKeepAliveSeconds) {
            bKeepAliveSent = true;
            nLastKeepAlive = nNow;
            SendKeepAlive(static_cast<int32_t>(nNow));
        }
    }
}

void AndroidCommandChannel::HandlePacket(const unsigned char* pPacket, int nLength) {
    if (pPacket == nullptr || nLength < PhonePacket::kMinLength) {
        return;
    }
    // Types are told by the low half of the head; only Roster packets are
    // for this side, every other type is skipped whole.
    if ((pPacket[0] | pPacket[1] << 8) != PhonePacket::kRoster) {
        return;
    }
    PacketReader reader(pPacket, nLength);
    const int32_t nHead = reader.ReadInt32();
    const int32_t nLengthField = reader.ReadInt32();
    reader.SetPosition(nLength - 4);
    const int32_t nTail = reader.ReadInt32();
    reader.SetPosition(8);
    if (reader.Failed() || !PhonePacket::IsHead(nHead) || nLengthField != nLength ||
        nTail != static_cast<int32_t>(~static_cast<uint32_t>(nHead))) {
        return;
    }
    HandleRoster(pPacket, nLength);
}

void AndroidCommandChannel::SetMark(int nSlot, int nProperty, int32_t nValue) {
    if (nSlot < 0 || nSlot >= kSlots || nProperty < 0 || nProperty >= kProperties) {
        return;
    }
    m_slotTable[nSlot].values[nProperty] = nValue;
    m_slotTable[nSlot].marks[nProperty] = true;
}

void AndroidCommandChannel::HandleRoster(const unsigned char* pPacket, int nLength) {
    // The payload ends before the tail. It is read twice: once to see that
    // every field is there, then to apply it, so that a payload that ends
    // early changes nothing.
    const int nPayloadEnd = nLength - 4;
    int32_t nSubCommand = 0;
    int32_t nIdentity = 0;
    int32_t nSlot = 0;
    const auto parse = [&](bool bApply) {
        PacketReader reader(pPacket, nPayloadEnd);
        reader.SetPosition(8);
        nSubCommand = reader.ReadInt32();
        if (nSubCommand == PhonePacket::kRosterIdentity) {
            reader.ReadInt32();
            nIdentity = reader.ReadInt32();
            return !reader.Failed();
        }
        if (nSubCommand != PhonePacket::kRosterState && nSubCommand != PhonePacket::kRosterJoin) {
            return false;
        }
        nIdentity = reader.ReadInt32();
        nSlot = reader.ReadInt32();
        if (nSubCommand == PhonePacket::kRosterState) {
            const int32_t nPairs = reader.ReadInt32();
            if (nPairs < 0 || nPairs > reader.Remaining() / 8) {
                return false;
            }
            for (int32_t i = 0; i < nPairs; ++i) {
                const int32_t nProperty = reader.ReadInt32();
                const int32_t nValue = reader.ReadInt32();
                if (bApply) {
                    SetMark(nSlot, nProperty, nValue);
                }
            }
        }
        const int32_t nTriples = reader.ReadInt32();
        if (nTriples < 0 || nTriples > reader.Remaining() / 12) {
            return false;
        }
        for (int32_t i = 0; i < nTriples; ++i) {
            const int32_t nEntry = reader.ReadInt32();
            const int32_t nProperty = reader.ReadInt32();
            const int32_t nValue = reader.ReadInt32();
            if (bApply) {
                SetMark(nEntry, nProperty, nValue);
            }
        }
        return !reader.Failed();
    };
    if (!parse(false)) {
        return;
    }
    const int32_t nPreviousSlot = m_nSlot;
    parse(true);
    m_nIdentity = nIdentity;
    if (nSubCommand == PhonePacket::kRosterIdentity) {
        return;
    }
    m_nSlot = nSlot;
    if (nSubCommand == PhonePacket::kRosterState) {
        if (nPreviousSlot != 1 && nSlot == 1 && m_onStreamGranted) {
            m_onStreamGranted();
        }
        return;
    }
    SendIdentity();
    if (nSlot != 1) {
        SendReport(1);
    } else if (m_onStreamGranted) {
        m_onStreamGranted();
    }
}
