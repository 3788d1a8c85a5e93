#include "camera/UvcDescriptors.h"
#include "tests/camera/FakeV4l2.h"

#include <gtest/gtest.h>

TEST(UvcDescriptors, FindsTheVendorUnitOnlyInAVideoControlInterface) {
    uint8_t key[16];
    std::copy(kVendorGuid.begin(), kVendorGuid.end(), key);
    const std::vector<uint8_t> camera = UvcDescriptorsWith(kVendorGuid, 9);
    std::vector<uint8_t> zeroLength = camera;
    zeroLength.insert(zeroLength.begin() + 18, {0, 0x04});
    const struct {
        const char* szName;
        std::vector<uint8_t> descriptors;
        int nUnit;
    } cases[] = {
        {"in video control, after another maker's unit", camera, 9},
        {"only another maker's unit", UvcDescriptorsWith(kVendorGuid, -1), -1},
        {"subtype 0x06 in a video streaming interface", UvcDescriptorsWith(kVendorGuid, 9, 0x0E, 2),
         -1},
        {"in an audio control interface", UvcDescriptorsWith(kVendorGuid, 9, 0x01, 1), -1},
        {"cut inside the unit", {camera.begin(), camera.end() - 20 - 12}, -1},
        {"a descriptor of length 0 before it", zeroLength, -1},
        {"nothing", {}, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            UvcDescriptors::FindExtensionUnit(c.descriptors.data(), c.descriptors.size(), key),
            c.nUnit)
            << c.szName;
    }
}
