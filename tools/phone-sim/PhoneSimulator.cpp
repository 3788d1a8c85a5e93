#include "tools/phone-sim/PhoneSimulator.h"

#include "phone/PacketReader.h"
#include "phone/PacketSplitter.h"
#include "phone/PacketWriter.h"
#include "phone/PhonePacket.h"
#include "phone/TcpSocket.h"
#include "tools/phone-sim/TestPatternEncoder.h"

#include <chrono>
#include <cstdarg>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int32_t kIdentity = 7;

int SendAll(TcpSocket& socket, const unsigned char* pData, size_t nLength) {
    size_t nSent = 0;
    while (nSent < nLength) {
        const int nResult = socket.Send(pData + nSent, static_cast<int>(nLength - nSent));
        if (nResult <= 0) {
            return -1;
        }
        nSent += static_cast<size_t>(nResult);
    }
    return 0;
}

// A Roster packet with the given int32 fields after the sub-command.
std::vector<unsigned char> RosterPacket(std::initializer_list<int32_t> fields) {
    std::vector<unsigned char> packet(PhonePacket::kMaxReceivedLength);
    PacketWriter writer(packet.data(), static_cast<int>(packet.size()));
    writer.WriteInt32(PhonePacket::PacketHead(PhonePacket::kRoster));
    writer.WriteInt32(0);
    for (const int32_t nField : fields) {
        writer.WriteInt32(nField);
    }
    writer.WriteInt32(PhonePacket::PacketTail(PhonePacket::kRoster));
    const int nLength = writer.Extent();
    writer.SetPosition(4);
    writer.WriteInt32(nLength);
    packet.resize(static_cast<size_t>(nLength));
    return packet;
}

void Drain(int nFd) {
    uint64_t nValue;
    while (read(nFd, &nValue, sizeof nValue) < 0 && errno == EINTR) {
    }
}

void Poke(int nFd) {
    const uint64_t nOne = 1;
    while (write(nFd, &nOne, sizeof nOne) < 0 && errno == EINTR) {
    }
}

} // namespace

bool PhoneSimFault::Parse(const std::string& strText, PhoneSimFault& fault) {
    if (strText == "command-garbage") {
        fault = PhoneSimFault{CommandGarbage, 0};
        return true;
    }
    const size_t nAt = strText.find('@');
    if (nAt == std::string::npos) {
        return false;
    }
    const std::string strKind = strText.substr(0, nAt);
    char* pEnd = nullptr;
    const long long nPacket = std::strtoll(strText.c_str() + nAt + 1, &pEnd, 10);
    if (pEnd == nullptr || *pEnd != '\0' || nAt + 1 == strText.size() || nPacket < 1) {
        return false;
    }
    static const std::pair<const char*, Kind> kinds[] = {
        {"video-length", VideoLength},
        {"video-garbage", VideoGarbage},
        {"video-close", VideoClose},
        {"close", Close},
    };
    for (const auto& kind : kinds) {
        if (strKind == kind.first) {
            fault = PhoneSimFault{kind.second, nPacket};
            return true;
        }
    }
    return false;
}

PhoneSimulator::PhoneSimulator() = default;

PhoneSimulator::~PhoneSimulator() {
    Stop();
}

bool PhoneSimulator::Start(const PhoneSimOptions& options) {
    Stop();
    m_options = options;
    m_status = PhoneSimStatus();
    m_faultsPlayed.assign(options.faults.size(), false);

    TestPatternEncoder encoder;
    TestPatternEncoder::Settings settings;
    settings.nWidth = options.nWidth;
    settings.nHeight = options.nHeight;
    settings.nFrames = options.nLoopFrames;
    settings.nKeyInterval = options.nKeyInterval;
    settings.nFrameRate = options.nFramesPerSecond > 0 ? options.nFramesPerSecond : 30;
    settings.nBitRate = options.nBitRate;
    if (!encoder.Encode(settings, m_units)) {
        m_strError = encoder.Error();
        return false;
    }
    m_switchUnits.clear();
    if (options.nSwitchWidth > 0 && options.nSwitchHeight > 0) {
        settings.nWidth = options.nSwitchWidth;
        settings.nHeight = options.nSwitchHeight;
        if (!encoder.Encode(settings, m_switchUnits)) {
            m_strError = encoder.Error();
            return false;
        }
    }
    if (!m_commandListener.Listen(options.nCommandPort)) {
        m_strError = "cannot listen on command port " + std::to_string(options.nCommandPort);
        return false;
    }
    if (!m_videoListener.Listen(options.nVideoPort)) {
        m_strError = "cannot listen on video port " + std::to_string(options.nVideoPort);
        m_commandListener.Close();
        return false;
    }
    m_nWakeFd = eventfd(0, EFD_CLOEXEC);
    m_nCloseFd = eventfd(0, EFD_CLOEXEC);
    if (m_nWakeFd < 0 || m_nCloseFd < 0) {
        m_strError = "no event descriptors";
        Stop();
        return false;
    }
    m_commandThread = std::thread(&PhoneSimulator::CommandLoop, this);
    m_videoThread = std::thread(&PhoneSimulator::VideoLoop, this);
    return true;
}

void PhoneSimulator::Stop() {
    if (m_nWakeFd >= 0) {
        Poke(m_nWakeFd);
    }
    if (m_commandThread.joinable()) {
        m_commandThread.join();
    }
    if (m_videoThread.joinable()) {
        m_videoThread.join();
    }
    for (int* pFd : {&m_nWakeFd, &m_nCloseFd}) {
        if (*pFd >= 0) {
            close(*pFd);
            *pFd = -1;
        }
    }
    m_commandListener.Close();
    m_videoListener.Close();
}

PhoneSimStatus PhoneSimulator::Status() {
    std::lock_guard<std::mutex> lock(m_statusLock);
    return m_status;
}

bool PhoneSimulator::WaitUntil(const std::function<bool(const PhoneSimStatus&)>& condition,
                               int nTimeoutMs) {
    std::unique_lock<std::mutex> lock(m_statusLock);
    return m_statusSignal.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                   [&] { return condition(m_status); });
}

template <typename Change> void PhoneSimulator::Update(Change change) {
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        change(m_status);
    }
    m_statusSignal.notify_all();
}

void PhoneSimulator::Note(const char* szFormat, ...) {
    if (!m_options.bVerbose) {
        return;
    }
    va_list arguments;
    va_start(arguments, szFormat);
    std::fputs("phone-sim: ", stderr);
    std::vfprintf(stderr, szFormat, arguments);
    std::fputc('\n', stderr);
    va_end(arguments);
}

void PhoneSimulator::CommandLoop() {
    TcpSocket client;
    // The PC's RosterReport may be longer than anything the phone sends.
    PacketSplitter splitter(4096);
    bool bGranted = false;

    const auto reply = [&](const std::vector<unsigned char>& packet) {
        if (SendAll(client, packet.data(), packet.size()) != 0) {
            client.Close();
        }
    };
    const auto handle = [&](const unsigned char* pPacket, int nLength) {
        PacketReader reader(pPacket, nLength);
        const int nType = reader.ReadInt32() & 0xFFFF;
        reader.ReadInt32();
        if (nType == PhonePacket::kHello) {
            Update([](PhoneSimStatus& status) { ++status.nHellos; });
            Note("hello");
        } else if (nType == PhonePacket::kKeepAlive) {
            Update([](PhoneSimStatus& status) { ++status.nKeepAlives; });
        } else if (nType == PhonePacket::kControl) {
            const int nCode = reader.ReadInt32();
            const int nValue = reader.ReadInt32();
            std::lock_guard<std::mutex> lock(m_statusLock);
            m_status.controls.emplace_back(nCode, nValue);
            if (m_options.pControlLog != nullptr) {
                std::fprintf(m_options.pControlLog, "control %d %d\n", nCode, nValue);
                std::fflush(m_options.pControlLog);
            }
            m_statusSignal.notify_all();
        } else if (nType == PhonePacket::kRoster) {
            const int nSubCommand = reader.ReadInt32();
            if (nSubCommand == PhonePacket::kRosterJoin) {
                Update([](PhoneSimStatus& status) { ++status.nJoins; });
                for (const auto& fault : m_options.faults) {
                    if (fault.nKind == PhoneSimFault::CommandGarbage) {
                        // Bytes that look like no head, then a head with a
                        // length no packet can have.
                        std::vector<unsigned char> garbage(23, 0x5A);
                        const auto bad = RosterPacket({PhonePacket::kRosterState});
                        garbage.insert(garbage.end(), bad.begin(), bad.begin() + 4);
                        garbage.insert(garbage.end(), {0xFF, 0xFF, 0x00, 0x00});
                        reply(garbage);
                    }
                }
                const int32_t nSlot = m_options.bGrantAtOnce ? 1 : 2;
                bGranted = nSlot == 1;
                if (bGranted && m_options.onBeforeGrant) {
                    m_options.onBeforeGrant();
                }
                // One triple about another slot, which the PC echoes.
                reply(RosterPacket({PhonePacket::kRosterJoin, kIdentity, nSlot, 1, 3, 5, 42}));
                Note("join: slot %d", nSlot);
            } else if (nSubCommand == PhonePacket::kRosterIdentity) {
                Update([](PhoneSimStatus& status) { ++status.nIdentities; });
            } else if (nSubCommand == PhonePacket::kRosterReport) {
                Update([&](PhoneSimStatus& status) {
                    ++status.nReports;
                    status.nLastReportLength = nLength;
                });
                if (!bGranted) {
                    bGranted = true;
                    if (m_options.onBeforeGrant) {
                        m_options.onBeforeGrant();
                    }
                    reply(RosterPacket({PhonePacket::kRosterState, kIdentity, 1, 1, 7, 99, 0}));
                    Note("report: moved to slot 1");
                }
            }
        }
    };

    for (;;) {
        pollfd fds[4] = {{m_nWakeFd, POLLIN, 0},
                         {m_nCloseFd, POLLIN, 0},
                         {m_commandListener.Fd(), POLLIN, 0},
                         {client.Fd(), POLLIN, 0}};
        if (poll(fds, client.IsOpen() ? 4 : 3, -1) < 0 && errno != EINTR) {
            break;
        }
        if (fds[0].revents != 0) {
            break;
        }
        if (fds[1].revents != 0) {
            Drain(m_nCloseFd);
            if (client.IsOpen()) {
                client.Close();
                Note("command connection closed on purpose");
                Update([](PhoneSimStatus& status) { status.bCommandConnected = false; });
            }
            continue;
        }
        if (fds[2].revents != 0) {
            const int nFd = m_commandListener.Accept(0);
            if (nFd >= 0) {
                // The newest connection is the PC; an older one is dropped.
                client.Close();
                client.Adopt(nFd);
                splitter.Reset();
                bGranted = false;
                Update([](PhoneSimStatus& status) {
                    ++status.nCommandConnections;
                    status.bCommandConnected = true;
                });
                Note("command connection");
            }
            continue;
        }
        if (client.IsOpen() && fds[3].revents != 0) {
            const int nReceived = client.Receive(splitter.Space(), splitter.SpaceSize());
            if (nReceived <= 0) {
                client.Close();
                Note("command connection ended");
                Update([](PhoneSimStatus& status) { status.bCommandConnected = false; });
                continue;
            }
            splitter.Commit(nReceived, handle);
        }
    }
}

void PhoneSimulator::VideoLoop() {
    TcpSocket client;
    long long nTotalPackets = 0;
    size_t nIndex = 0;
    long long nOnConnection = 0;
    const std::vector<std::vector<unsigned char>>* pUnits = &m_units;
    const auto interval = std::chrono::nanoseconds(
        m_options.nFramesPerSecond > 0 ? 1000000000LL / m_options.nFramesPerSecond : 0);
    SteadyClock::time_point next = SteadyClock::now();

    const auto hangUp = [&](const char* szWhy) {
        client.Close();
        Note("video connection %s", szWhy);
        Update([](PhoneSimStatus& status) { status.bVideoConnected = false; });
    };
    const auto play = [&](PhoneSimFault::Kind nKind, long long nPacket) {
        for (size_t i = 0; i < m_options.faults.size(); ++i) {
            const auto& fault = m_options.faults[i];
            if (!m_faultsPlayed[i] && fault.nKind == nKind && fault.nPacket == nPacket) {
                m_faultsPlayed[i] = true;
                Note("fault %d at packet %lld", static_cast<int>(nKind), nPacket);
                return true;
            }
        }
        return false;
    };

    for (;;) {
        int nTimeoutMs = -1;
        if (client.IsOpen()) {
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(next - SteadyClock::now());
            nTimeoutMs = wait.count() > 0 ? static_cast<int>(wait.count()) : 0;
        }
        pollfd fds[2] = {{m_nWakeFd, POLLIN, 0}, {m_videoListener.Fd(), POLLIN, 0}};
        if (poll(fds, 2, nTimeoutMs) < 0 && errno != EINTR) {
            break;
        }
        if (fds[0].revents != 0) {
            break;
        }
        if (fds[1].revents != 0) {
            const int nFd = m_videoListener.Accept(0);
            if (nFd >= 0) {
                // The newest connection gets the stream, from a key frame.
                client.Close();
                client.Adopt(nFd);
                nIndex = 0;
                nOnConnection = 0;
                pUnits = &m_units;
                next = SteadyClock::now();
                Update([](PhoneSimStatus& status) {
                    ++status.nVideoConnections;
                    status.bVideoConnected = true;
                });
                Note("video connection");
            }
        }
        if (!client.IsOpen() || SteadyClock::now() < next) {
            continue;
        }
        // The PC never sends on this connection: readable means it hung up.
        if (client.WaitReadable(0)) {
            unsigned char scrap[256];
            if (client.Receive(scrap, sizeof scrap) <= 0) {
                hangUp("ended");
                continue;
            }
        }

        const long long nPacket = nTotalPackets + 1;
        const auto& unit = (*pUnits)[nIndex];
        unsigned char header[32] = {};
        PacketWriter writer(header, sizeof header);
        writer.WriteInt32(static_cast<int32_t>(nPacket));
        writer.SetPosition(16);
        const bool bCorrupt = play(PhoneSimFault::VideoLength, nPacket);
        writer.WriteInt32(bCorrupt ? static_cast<int32_t>(0xFFFFFFF0u)
                                   : static_cast<int32_t>(unit.size()));
        const unsigned char trailer[4] = {};
        if (m_options.onBeforeSend) {
            m_options.onBeforeSend(nPacket);
        }
        bool bSent = true;
        if (play(PhoneSimFault::VideoGarbage, nPacket)) {
            const std::vector<unsigned char> garbage(64, 0xFF);
            bSent = SendAll(client, garbage.data(), garbage.size()) == 0;
        }
        bSent = bSent && SendAll(client, header, sizeof header) == 0 &&
                SendAll(client, unit.data(), unit.size()) == 0 &&
                SendAll(client, trailer, sizeof trailer) == 0;
        if (!bSent) {
            hangUp("broken");
            continue;
        }
        nTotalPackets = nPacket;
        if (m_options.onSent) {
            m_options.onSent(nPacket);
        }
        Update([&](PhoneSimStatus& status) { status.nPacketsSent = nPacket; });

        ++nOnConnection;
        nIndex = (nIndex + 1) % pUnits->size();
        if (!m_switchUnits.empty() && pUnits == &m_units &&
            nOnConnection == m_options.nSwitchAfter) {
            pUnits = &m_switchUnits;
            nIndex = 0;
        }
        // A sender that fell behind does not make up for it in a burst.
        next += interval;
        if (SteadyClock::now() - next > interval) {
            next = SteadyClock::now();
        }
        if (play(PhoneSimFault::VideoClose, nPacket)) {
            hangUp("closed on purpose");
        } else if (play(PhoneSimFault::Close, nPacket)) {
            hangUp("closed on purpose");
            Poke(m_nCloseFd);
        }
    }
}
