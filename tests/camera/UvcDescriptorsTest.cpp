#include "camera/UvcDescriptors.h"
#include "tests/camera/FakeV4l2.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(UvcDescriptors, FindsTheVendorUnitOnlyInAVideoControlInterface) {
    const auto guid = VendorUnitGuid();
    uint8_t key[16];
    std::copy(guid.begin(), guid.end(), key);
    const std::vector<uint8_t> camera = MakeUvcDescriptors(guid, 9);
    const size_t nGuidAt =
        std::search(camera.begin(), camera.end(), guid.begin(), guid.end()) - camera.begin();
    ASSERT_LT(nGuidAt, camera.size());
    std::vector<uint8_t> zeroLength = camera;
    zeroLength.insert(zeroLength.begin() + 18, {0, 0x04});

    struct Case {
        const char* szName;
        std::vector<uint8_t> descriptors;
        int nUnit;
    };
    const Case cases[] = {
        {"in video control, after another maker's unit", camera, 9},
        {"only another maker's unit", MakeUvcDescriptors(guid, -1), -1},
        {"in a video streaming interface", MakeUvcDescriptors(guid, 9, 0x0E, 0x02), -1},
        {"in an audio control interface", MakeUvcDescriptors(guid, 9, 0x01, 0x01), -1},
        {"cut inside the unit", std::vector<uint8_t>(camera.begin(), camera.begin() + nGuidAt + 8),
         -1},
        {"a descriptor of length 0 before it", zeroLength, -1},
        {"nothing", {}, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            UvcDescriptors::FindExtensionUnit(c.descriptors.data(), c.descriptors.size(), key),
            c.nUnit)
            << c.szName;
    }
}
