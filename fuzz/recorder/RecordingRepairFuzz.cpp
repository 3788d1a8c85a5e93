// A recording folder may hold anything under an .avi name: the check that
// reads the chunk headers and the repair that rewrites what it accepts must
// cope with any bytes.

#include "recorder/RecordingRepair.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const std::string strPath = [] {
        av_log_set_level(AV_LOG_QUIET);
        char folder[] = "/tmp/orvane-fuzz-XXXXXX";
        return std::string(mkdtemp(folder)) + "/input.avi";
    }();
    FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr) {
        return 0;
    }
    std::fwrite(pData, 1, nSize, pFile);
    std::fclose(pFile);
    if (RecordingRepair::IsUnfinished(strPath)) {
        RecordingRepair::Repair(strPath);
    }
    unlink(strPath.c_str());
    return 0;
}
