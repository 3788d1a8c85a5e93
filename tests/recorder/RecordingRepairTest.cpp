#include "recorder/RecordingRepair.h"
#include "tests/recorder/RecorderTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::string Part(const char* pForm, uint32_t nSize) {
    std::string strPart = "RIFF";
    for (int i = 0; i < 4; ++i) {
        strPart += static_cast<char>(nSize >> (8 * i));
    }
    return strPart + pForm + std::string(nSize >= 4 && nSize < 64 ? nSize - 4 : 0, 'x');
}

// The sizes of the RIFF parts (one per GB) are written last: a part still
// without its size, or with one beyond the end, was never finished.
TEST(RecordingRepairTest, AnUnfinishedFileIsToldByItsRiffSizes) {
    const struct {
        std::string strBytes;
        bool bUnfinished;
    } rows[] = {{"", false},
                {Part("AVI ", 0xFFFFFFFF), true},
                {Part("AVI ", 8), false},
                {Part("AVI ", 8).substr(0, 14), true},
                {Part("WAVE", 8), false},
                {Part("AVI ", 8) + Part("AVIX", 4), false},
                {Part("AVI ", 8) + Part("AVIX", 0xFFFFFFFF), true},
                {Part("AVI ", 8) + Part("AVIX", 4).substr(0, 10), true},
                {Part("AVI ", 8) + "RIF", true},
                {Part("AVI ", 8) + "JUNK", false}};
    const std::string strPath = TestFilePath("file.avi");
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        std::ofstream(strPath, std::ios::binary) << row.strBytes;
        EXPECT_EQ(RecordingRepair::IsUnfinished(strPath), row.bUnfinished);
    }
    EXPECT_FALSE(RecordingRepair::IsUnfinished(TestFilePath("missing.avi")));
}

} // namespace
