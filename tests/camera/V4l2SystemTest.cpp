#include "camera/V4l2System.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <linux/videodev2.h>

// The real device calls, against a folder that looks like /dev and sysfs:
// this machine has no camera.
TEST(V4l2System, ListsNodesInNumberOrderAndReadsTheUsbDescriptors) {
    const std::filesystem::path root = TestHomeFolder().toStdString();
    const std::string strDev = (root / "dev/").string();
    std::filesystem::create_directories(strDev);
    for (const char* szName :
         {"video10", "video2", "video0", "videoa", "video", "video1a", "vbi0", "media0"}) {
        std::ofstream(strDev + szName).put('x');
    }
    // sysfs: the node's "device" is the USB interface, the descriptors
    // belong to the USB device above it.
    const std::vector<uint8_t> descriptors = {0x12, 0x01, 0x00, 0x02, 0xEF};
    std::filesystem::create_directories(root / "devices/usb1/1-1/1-1:1.0");
    std::filesystem::create_directories(root / "class/video2");
    std::ofstream(root / "devices/usb1/1-1/descriptors")
        .write(reinterpret_cast<const char*>(descriptors.data()), 5);
    std::filesystem::create_directory_symlink(root / "devices/usb1/1-1/1-1:1.0",
                                              root / "class/video2/device");

    V4l2System system(root / "dev", root / "class");
    EXPECT_EQ(system.ListVideoNodes(),
              (std::vector<std::string>{strDev + "video0", strDev + "video2", strDev + "video10"}));
    EXPECT_EQ(system.ReadUsbDescriptors(strDev + "video2"), descriptors);
    EXPECT_TRUE(system.ReadUsbDescriptors(strDev + "video0").empty());
    // A file that is no device opens, but refuses the device's calls.
    auto pDevice = system.Open(strDev + "video2");
    ASSERT_TRUE(pDevice);
    v4l2_capability caps{};
    EXPECT_EQ(pDevice->Ioctl(VIDIOC_QUERYCAP, &caps), ENOTTY);
    EXPECT_FALSE(system.Open(strDev + "video7"));
}
