// A phone that speaks the adb device protocol on loopback, for tests and the
// demonstration: an adb server joins it with `adb connect 127.0.0.1:<port>`
// and sees a device in the state "device". Streams the server opens to
// "tcp:<port>" are relayed to the host and port given for that phone port.
//
//   fake-adb-phone [--port N] [--relay PHONEPORT=HOST:PORT]... [--model NAME]
//
// --port 0 (the default) picks a free port. Each time it starts listening it
// prints "listening on <port>" on standard output. Signals:
//   SIGUSR1  vanish: drop the server's connection and stop listening, as a
//            phone pulled off its cable
//   SIGUSR2  come back: listen on the same port again
//   SIGTERM, SIGINT  end
// Events go to standard error, one line each, prefixed "fake-adb-phone:".

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const uint32_t kCnxn = 0x4e584e43;
const uint32_t kOpen = 0x4e45504f;
const uint32_t kOkay = 0x59414b4f;
const uint32_t kClse = 0x45534c43;
const uint32_t kWrte = 0x45545257;
const uint32_t kAuth = 0x48545541;
const uint32_t kVersion = 0x01000001;
const uint32_t kMaxData = 256 * 1024;
// What the server may send in one message; more is a broken peer.
const uint32_t kMaxIncoming = 1024 * 1024;
const size_t kHeaderSize = 24;

int g_nSignalPipe[2] = {-1, -1};

void OnSignal(int nSignal) {
    const int nSaved = errno;
    const unsigned char c = static_cast<unsigned char>(nSignal);
    (void)!write(g_nSignalPipe[1], &c, 1);
    errno = nSaved;
}

void Log(const char* szFormat, const std::string& strText = std::string()) {
    std::fprintf(stderr, "fake-adb-phone: ");
    std::fprintf(stderr, szFormat, strText.c_str());
    std::fprintf(stderr, "\n");
}

uint32_t ReadLe32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteLe32(unsigned char* p, uint32_t n) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(n >> (8 * i));
    }
}

bool SendAll(int nFd, const void* pData, size_t nSize) {
    const char* p = static_cast<const char*>(pData);
    while (nSize > 0) {
        const ssize_t n = send(nFd, p, nSize, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        nSize -= static_cast<size_t>(n);
    }
    return true;
}

struct Target {
    std::string strHost;
    uint16_t nPort = 0;
};

int ConnectTo(const Target& target) {
    const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (nFd < 0) {
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(target.nPort);
    if (inet_pton(AF_INET, target.strHost.c_str(), &addr.sin_addr) != 1 ||
        connect(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(nFd);
        return -1;
    }
    const int nOne = 1;
    setsockopt(nFd, IPPROTO_TCP, TCP_NODELAY, &nOne, sizeof(nOne));
    return nFd;
}

// One stream the server opened: the relay socket and the flow control of
// the device side (one WRTE in flight until the server's OKAY).
struct Stream {
    int nFd = -1;
    uint32_t nRemoteId = 0;
    bool bAwaitingOkay = false;
};

class FakePhone {
public:
    FakePhone(uint16_t nPort, std::map<uint16_t, Target> relays, std::string strModel)
        : m_nPort(nPort), m_relays(std::move(relays)), m_strModel(std::move(strModel)) {}

    bool Listen() {
        m_nListenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int nOne = 1;
        setsockopt(m_nListenFd, SOL_SOCKET, SO_REUSEADDR, &nOne, sizeof(nOne));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(m_nPort);
        socklen_t nLen = sizeof(addr);
        if (bind(m_nListenFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
            listen(m_nListenFd, 4) != 0 ||
            getsockname(m_nListenFd, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0) {
            Log("cannot listen: %s", std::strerror(errno));
            CloseFd(m_nListenFd);
            return false;
        }
        m_nPort = ntohs(addr.sin_port);
        return true;
    }

    uint16_t Port() const { return m_nPort; }

    // Runs until SIGTERM or SIGINT; returns the exit code.
    int Run() {
        for (;;) {
            std::vector<pollfd> fds;
            fds.push_back({g_nSignalPipe[0], POLLIN, 0});
            if (m_nListenFd >= 0) {
                fds.push_back({m_nListenFd, POLLIN, 0});
            }
            if (m_nHostFd >= 0) {
                fds.push_back({m_nHostFd, POLLIN, 0});
            }
            for (const auto& item : m_streams) {
                if (!item.second.bAwaitingOkay) {
                    fds.push_back({item.second.nFd, POLLIN, 0});
                }
            }
            if (poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                Log("poll: %s", std::strerror(errno));
                return 1;
            }
            for (const pollfd& p : fds) {
                if (p.revents == 0) {
                    continue;
                }
                if (p.fd == g_nSignalPipe[0]) {
                    if (!OnSignalPipe()) {
                        DropHost();
                        CloseFd(m_nListenFd);
                        return 0;
                    }
                } else if (p.fd == m_nListenFd) {
                    OnAccept();
                } else if (p.fd == m_nHostFd) {
                    OnHostReadable();
                } else {
                    OnTargetReadable(p.fd);
                }
            }
        }
    }

private:
    static void CloseFd(int& nFd) {
        if (nFd >= 0) {
            close(nFd);
            nFd = -1;
        }
    }

    bool OnSignalPipe() {
        unsigned char c = 0;
        if (read(g_nSignalPipe[0], &c, 1) != 1) {
            return true;
        }
        if (c == SIGUSR1) {
            Log("vanishing");
            DropHost();
            CloseFd(m_nListenFd);
        } else if (c == SIGUSR2) {
            if (m_nListenFd < 0 && Listen()) {
                Log("back, listening on %s", std::to_string(m_nPort));
                std::printf("listening on %u\n", m_nPort);
                std::fflush(stdout);
            }
        } else {
            return false;
        }
        return true;
    }

    void OnAccept() {
        const int nFd = accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (nFd < 0) {
            return;
        }
        // One server at a time: a new connection replaces the old one.
        DropHost();
        m_nHostFd = nFd;
        const int nOne = 1;
        setsockopt(m_nHostFd, IPPROTO_TCP, TCP_NODELAY, &nOne, sizeof(nOne));
        Log("server connected");
    }

    void DropHost() {
        for (auto& item : m_streams) {
            CloseFd(item.second.nFd);
        }
        m_streams.clear();
        if (m_nHostFd >= 0) {
            Log("server connection closed");
        }
        CloseFd(m_nHostFd);
        m_inbox.clear();
    }

    bool SendMessage(uint32_t nCommand, uint32_t nArg0, uint32_t nArg1, const void* pData,
                     size_t nSize) {
        unsigned char header[kHeaderSize];
        const unsigned char* p = static_cast<const unsigned char*>(pData);
        uint32_t nSum = 0;
        for (size_t i = 0; i < nSize; ++i) {
            nSum += p[i];
        }
        WriteLe32(header, nCommand);
        WriteLe32(header + 4, nArg0);
        WriteLe32(header + 8, nArg1);
        WriteLe32(header + 12, static_cast<uint32_t>(nSize));
        WriteLe32(header + 16, nSum);
        WriteLe32(header + 20, nCommand ^ 0xffffffffu);
        if (!SendAll(m_nHostFd, header, kHeaderSize) || (nSize && !SendAll(m_nHostFd, p, nSize))) {
            DropHost();
            return false;
        }
        return true;
    }

    void OnHostReadable() {
        char buffer[65536];
        ssize_t n;
        do {
            n = recv(m_nHostFd, buffer, sizeof(buffer), MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        // A descriptor number reused within one round of poll may not be
        // readable yet.
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (n <= 0) {
            DropHost();
            return;
        }
        m_inbox.insert(m_inbox.end(), buffer, buffer + n);
        size_t nUsed = 0;
        while (m_nHostFd >= 0 && m_inbox.size() - nUsed >= kHeaderSize) {
            const unsigned char* p = m_inbox.data() + nUsed;
            const uint32_t nCommand = ReadLe32(p);
            const uint32_t nLength = ReadLe32(p + 12);
            if (ReadLe32(p + 20) != (nCommand ^ 0xffffffffu) || nLength > kMaxIncoming) {
                Log("broken message from the server");
                DropHost();
                return;
            }
            if (m_inbox.size() - nUsed < kHeaderSize + nLength) {
                break;
            }
            OnMessage(nCommand, ReadLe32(p + 4), ReadLe32(p + 8),
                      std::string(reinterpret_cast<const char*>(p + kHeaderSize), nLength));
            nUsed += kHeaderSize + nLength;
        }
        if (m_nHostFd >= 0) {
            m_inbox.erase(m_inbox.begin(), m_inbox.begin() + static_cast<long>(nUsed));
        }
    }

    void OnMessage(uint32_t nCommand, uint32_t nArg0, uint32_t nArg1, const std::string& data) {
        switch (nCommand) {
        case kCnxn: {
            const std::string strBanner =
                "device::ro.product.name=orvane_sim;ro.product.model=" + m_strModel +
                ";ro.product.device=orvane_sim;features=shell_v2,cmd";
            SendMessage(kCnxn, kVersion, kMaxData, strBanner.data(), strBanner.size());
            Log("handshake done");
            break;
        }
        case kAuth:
            // This phone trusts every computer; it never asks for AUTH.
            break;
        case kOpen:
            OnOpen(nArg0, data);
            break;
        case kOkay: {
            auto it = m_streams.find(nArg1);
            if (it != m_streams.end()) {
                it->second.bAwaitingOkay = false;
            }
            break;
        }
        case kWrte: {
            auto it = m_streams.find(nArg1);
            if (it == m_streams.end()) {
                break;
            }
            // Acknowledged before the bytes are passed on, so the server can
            // send the next piece while this one is written out.
            if (!SendMessage(kOkay, nArg1, nArg0, nullptr, 0)) {
                break;
            }
            if (!SendAll(it->second.nFd, data.data(), data.size())) {
                CloseStream(nArg1, true);
            }
            break;
        }
        case kClse:
            CloseStream(nArg1, false);
            break;
        default:
            break;
        }
    }

    void OnOpen(uint32_t nRemoteId, std::string strDestination) {
        while (!strDestination.empty() && strDestination.back() == '\0') {
            strDestination.pop_back();
        }
        int nFd = -1;
        if (strDestination.compare(0, 4, "tcp:") == 0) {
            const int nPhonePort = std::atoi(strDestination.c_str() + 4);
            auto it = m_relays.find(static_cast<uint16_t>(nPhonePort));
            if (it != m_relays.end()) {
                nFd = ConnectTo(it->second);
            }
        }
        if (nFd < 0) {
            Log("refused to open %s", strDestination);
            SendMessage(kClse, 0, nRemoteId, nullptr, 0);
            return;
        }
        const uint32_t nLocalId = m_nNextId++;
        m_streams[nLocalId] = Stream{nFd, nRemoteId, false};
        Log("opened %s", strDestination);
        SendMessage(kOkay, nLocalId, nRemoteId, nullptr, 0);
    }

    void OnTargetReadable(int nFd) {
        for (auto& item : m_streams) {
            Stream& stream = item.second;
            if (stream.nFd != nFd) {
                continue;
            }
            static char buffer[kMaxData];
            ssize_t n;
            do {
                n = recv(nFd, buffer, sizeof(buffer), MSG_DONTWAIT);
            } while (n < 0 && errno == EINTR);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return;
            }
            if (n <= 0) {
                CloseStream(item.first, true);
                return;
            }
            stream.bAwaitingOkay = true;
            SendMessage(kWrte, item.first, stream.nRemoteId, buffer, static_cast<size_t>(n));
            return;
        }
    }

    void CloseStream(uint32_t nLocalId, bool bTellServer) {
        auto it = m_streams.find(nLocalId);
        if (it == m_streams.end()) {
            return;
        }
        const uint32_t nRemoteId = it->second.nRemoteId;
        CloseFd(it->second.nFd);
        m_streams.erase(it);
        if (bTellServer) {
            SendMessage(kClse, nLocalId, nRemoteId, nullptr, 0);
        }
    }

    uint16_t m_nPort;
    std::map<uint16_t, Target> m_relays;
    std::string m_strModel;
    int m_nListenFd = -1;
    int m_nHostFd = -1;
    std::vector<unsigned char> m_inbox;
    std::map<uint32_t, Stream> m_streams;
    uint32_t m_nNextId = 1;
};

bool ParseRelay(const std::string& strArg, std::map<uint16_t, Target>& relays) {
    const size_t nEq = strArg.find('=');
    const size_t nColon = strArg.rfind(':');
    if (nEq == std::string::npos || nColon == std::string::npos || nColon < nEq) {
        return false;
    }
    const int nPhonePort = std::atoi(strArg.substr(0, nEq).c_str());
    const int nPort = std::atoi(strArg.substr(nColon + 1).c_str());
    if (nPhonePort <= 0 || nPhonePort > 65535 || nPort <= 0 || nPort > 65535) {
        return false;
    }
    relays[static_cast<uint16_t>(nPhonePort)] =
        Target{strArg.substr(nEq + 1, nColon - nEq - 1), static_cast<uint16_t>(nPort)};
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int nPort = 0;
    std::string strModel = "Orvane_Sim";
    std::map<uint16_t, Target> relays;
    for (int i = 1; i < argc; ++i) {
        const std::string strArg = argv[i];
        const bool bHasValue = i + 1 < argc;
        if (strArg == "--port" && bHasValue) {
            nPort = std::atoi(argv[++i]);
        } else if (strArg == "--relay" && bHasValue && ParseRelay(argv[i + 1], relays)) {
            ++i;
        } else if (strArg == "--model" && bHasValue) {
            strModel = argv[++i];
        } else {
            std::fprintf(stderr, "usage: fake-adb-phone [--port N] "
                                 "[--relay PHONEPORT=HOST:PORT]... [--model NAME]\n");
            return 2;
        }
    }
    if (nPort < 0 || nPort > 65535 || pipe2(g_nSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int nSignal : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT}) {
        sigaction(nSignal, &action, nullptr);
    }

    FakePhone phone(static_cast<uint16_t>(nPort), std::move(relays), strModel);
    if (!phone.Listen()) {
        return 1;
    }
    std::printf("listening on %u\n", phone.Port());
    std::fflush(stdout);
    return phone.Run();
}
