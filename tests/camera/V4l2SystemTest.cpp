#include "camera/V4l2System.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <linux/videodev2.h>

// The real device calls, against a folder that looks like /dev and sysfs:
// this machine has no camera.
TEST(V4l2System, ListsNodesInNumberOrderAndReadsTheUsbDescriptors) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString strRoot = folder.path();
    QDir(strRoot).mkpath("dev");
    for (const char* szName :
         {"video10", "video2", "video0", "videoa", "video", "video1a", "vbi0", "media0"}) {
        QFile file(strRoot + "/dev/" + szName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // sysfs: the node's "device" is the USB interface, the descriptors
    // belong to the USB device above it.
    const QByteArray descriptors("\x12\x01\x00\x02\xEF", 5);
    QDir(strRoot).mkpath("devices/usb1/1-1/1-1:1.0");
    QDir(strRoot).mkpath("class/video2");
    QFile file(strRoot + "/devices/usb1/1-1/descriptors");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(descriptors);
    file.close();
    ASSERT_TRUE(
        QFile::link(strRoot + "/devices/usb1/1-1/1-1:1.0", strRoot + "/class/video2/device"));

    V4l2System system((strRoot + "/dev").toStdString(), (strRoot + "/class").toStdString());
    const std::string strDev = (strRoot + "/dev/").toStdString();
    EXPECT_EQ(system.ListVideoNodes(),
              (std::vector<std::string>{strDev + "video0", strDev + "video2", strDev + "video10"}));
    const std::vector<uint8_t> read = system.ReadUsbDescriptors(strDev + "video2");
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(read.data()), static_cast<int>(read.size())),
              descriptors);
    EXPECT_TRUE(system.ReadUsbDescriptors(strDev + "video0").empty());

    // A file that is no device opens, but refuses the device's calls.
    auto pDevice = system.Open(strDev + "video2");
    ASSERT_TRUE(pDevice);
    v4l2_capability caps{};
    EXPECT_EQ(pDevice->Ioctl(VIDIOC_QUERYCAP, &caps), ENOTTY);
    EXPECT_FALSE(system.Open(strDev + "video7"));
}
