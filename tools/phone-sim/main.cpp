// phone-sim: plays a phone's camera application on loopback, for tests and
// demonstrations. See Usage() below.

#include "tools/phone-sim/PhoneSimulator.h"

extern "C" {
#include <libavutil/log.h>
}

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>

namespace {

void Usage(FILE* pOut) {
    std::fputs(
        "usage: phone-sim [options]\n"
        "Plays a phone's camera application on 127.0.0.1: answers the PC's Hello and\n"
        "RosterJoin on the command port, logs every Control code, and streams H.264 of a\n"
        "moving test pattern on the video port. Runs until SIGTERM or SIGINT; a PC that\n"
        "disconnects may connect again.\n"
        "\n"
        "  --command-port N   command port (default 5000; 0 picks a free one)\n"
        "  --video-port N     video port (default 5544; 0 picks a free one)\n"
        "  --grant now|later  now: the RosterJoin reply gives slot 1 (default);\n"
        "                     later: slot 2, then a RosterState moves the PC to slot 1\n"
        "  --size S           720p, 1080p or WxH (default 720p)\n"
        "  --switch-to S      change to size S after --switch-after packets of a connection\n"
        "  --switch-after N   (default 90)\n"
        "  --fps N            pictures a second (default 30; 0: as fast as the PC reads)\n"
        "  --loop N           pictures encoded once and sent in a loop (default 90)\n"
        "  --key-interval N   a key frame every N pictures (default 30)\n"
        "  --bitrate K        kbit/s (default 8000 at 1080p, in proportion to the area)\n"
        "  --fault F          play a fault once (repeatable): video-length@N (packet N\n"
        "                     announces a huge payload), video-garbage@N (64 bytes of\n"
        "                     0xFF before packet N), video-close@N (close the video\n"
        "                     connection after packet N), close@N (close both\n"
        "                     connections after packet N), command-garbage (garbage and\n"
        "                     a bad length before every RosterJoin reply)\n"
        "  --log FILE         where Control codes go, one line each, \"control <code> <value>\"\n"
        "                     (default: standard output)\n"
        "  --quiet            no progress lines on standard error\n"
        "  --help             this text\n"
        "\n"
        "On start it writes \"phone-sim: listening on command port C, video port V\" to\n"
        "standard error.\n",
        pOut);
}

bool ParseSize(const std::string& strText, int& nWidth, int& nHeight) {
    if (strText == "720p") {
        nWidth = 1280;
        nHeight = 720;
        return true;
    }
    if (strText == "1080p") {
        nWidth = 1920;
        nHeight = 1080;
        return true;
    }
    char cX = 0;
    char cEnd = 0;
    return std::sscanf(strText.c_str(), "%d%c%d%c", &nWidth, &cX, &nHeight, &cEnd) == 3 &&
           cX == 'x' && nWidth > 0 && nHeight > 0;
}

bool ParseNumber(const char* szText, long long nMin, long long nMax, long long& nValue) {
    char* pEnd = nullptr;
    nValue = std::strtoll(szText, &pEnd, 10);
    return pEnd != szText && *pEnd == '\0' && nValue >= nMin && nValue <= nMax;
}

int Fail(const std::string& strMessage) {
    std::fprintf(stderr, "phone-sim: %s (see --help)\n", strMessage.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    PhoneSimOptions options;
    options.bVerbose = true;
    options.pControlLog = stdout;
    std::string strLog;
    for (int i = 1; i < argc; ++i) {
        const std::string strOption = argv[i];
        if (strOption == "--help" || strOption == "-h") {
            Usage(stdout);
            return 0;
        }
        if (strOption == "--quiet") {
            options.bVerbose = false;
            continue;
        }
        if (i + 1 >= argc) {
            return Fail("unknown option or missing value: " + strOption);
        }
        const char* szValue = argv[++i];
        long long nValue = 0;
        if (strOption == "--command-port" || strOption == "--video-port") {
            if (!ParseNumber(szValue, 0, 65535, nValue)) {
                return Fail("bad port: " + std::string(szValue));
            }
            (strOption == "--command-port" ? options.nCommandPort : options.nVideoPort) =
                static_cast<uint16_t>(nValue);
        } else if (strOption == "--grant") {
            if (std::strcmp(szValue, "now") != 0 && std::strcmp(szValue, "later") != 0) {
                return Fail("--grant takes now or later");
            }
            options.bGrantAtOnce = std::strcmp(szValue, "now") == 0;
        } else if (strOption == "--size") {
            if (!ParseSize(szValue, options.nWidth, options.nHeight)) {
                return Fail("bad size: " + std::string(szValue));
            }
        } else if (strOption == "--switch-to") {
            if (!ParseSize(szValue, options.nSwitchWidth, options.nSwitchHeight)) {
                return Fail("bad size: " + std::string(szValue));
            }
        } else if (strOption == "--switch-after" || strOption == "--fps" || strOption == "--loop" ||
                   strOption == "--key-interval" || strOption == "--bitrate") {
            const long long nMin = strOption == "--fps" || strOption == "--bitrate" ? 0 : 1;
            if (!ParseNumber(szValue, nMin, 1000000, nValue)) {
                return Fail("bad number for " + strOption + ": " + szValue);
            }
            if (strOption == "--switch-after") {
                options.nSwitchAfter = nValue;
            } else if (strOption == "--fps") {
                options.nFramesPerSecond = static_cast<int>(nValue);
            } else if (strOption == "--loop") {
                options.nLoopFrames = static_cast<int>(nValue);
            } else if (strOption == "--key-interval") {
                options.nKeyInterval = static_cast<int>(nValue);
            } else {
                options.nBitRate = static_cast<int>(nValue);
            }
        } else if (strOption == "--fault") {
            PhoneSimFault fault;
            if (!PhoneSimFault::Parse(szValue, fault)) {
                return Fail("bad fault: " + std::string(szValue));
            }
            options.faults.push_back(fault);
        } else if (strOption == "--log") {
            strLog = szValue;
        } else {
            return Fail("unknown option: " + strOption);
        }
    }

    FILE* pLog = nullptr;
    if (!strLog.empty() && strLog != "-") {
        pLog = std::fopen(strLog.c_str(), "w");
        if (pLog == nullptr) {
            return Fail("cannot write " + strLog);
        }
        options.pControlLog = pLog;
    }

    // The signals are taken by sigwait below; blocked before any thread
    // starts, so that no other thread is interrupted by them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // libx264's statistics are not what the user of this program wants to read.
    av_log_set_level(AV_LOG_ERROR);
    PhoneSimulator simulator;
    if (!simulator.Start(options)) {
        std::fprintf(stderr, "phone-sim: %s\n", simulator.Error().c_str());
        if (pLog != nullptr) {
            std::fclose(pLog);
        }
        return 1;
    }
    std::fprintf(stderr, "phone-sim: listening on command port %u, video port %u\n",
                 simulator.CommandPort(), simulator.VideoPort());
    std::fflush(stderr);

    int nSignal = 0;
    sigwait(&signals, &nSignal);
    simulator.Stop();
    if (options.bVerbose) {
        std::fprintf(stderr, "phone-sim: stopped by signal %d\n", nSignal);
    }
    if (pLog != nullptr) {
        std::fclose(pLog);
    }
    return 0;
}
