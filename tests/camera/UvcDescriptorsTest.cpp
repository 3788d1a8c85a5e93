#include "camera/UvcDescriptors.h"
#include "tests/camera/CameraTestSupport.h"

#include <gtest/gtest.h>

TEST(UvcDescriptors, FindsTheVendorUnitOnlyInAVideoControlInterface) {
    uint8_t key[16];
    std::copy(kVendorGuid.begin(), kVendorGuid.end(), key);
    Guid other = kVendorGuid;
    other[15] ^= 1;
    const Bytes control = Bytes{18, 1, 0, 2, 0xEF, 2, 1, 64, 0x6D, 4, 0x25, 8, 0, 0, 1, 2, 0, 1} +
                          Interface(0x0E, 1) + Unit(3, other);
    const Bytes camera = control + Unit(9);
    const struct {
        const char* szName;
        Bytes descriptors;
        int nUnit;
    } cases[] = {
        {"in video control, after another maker's unit", camera, 9},
        {"only another maker's unit", control, -1},
        {"subtype 0x06 in a video streaming interface", control + Interface(0x0E, 2) + Unit(9), -1},
        {"in an audio control interface", control + Interface(0x01, 1) + Unit(9), -1},
        {"in video control again after streaming", control + Interface(0x0E, 2) + camera, 9},
        {"cut inside the unit", {camera.begin(), camera.end() - 12}, -1},
        {"a descriptor of length 0 before it", control + Bytes{0, 0x04} + Unit(9), -1},
        {"nothing", {}, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            UvcDescriptors::FindExtensionUnit(c.descriptors.data(), c.descriptors.size(), key),
            c.nUnit)
            << c.szName;
    }
}
