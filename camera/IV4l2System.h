#pragma once

#include "camera/IV4l2Device.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The video devices of this computer: their nodes in /dev and what sysfs
// tells about the USB device behind each. Safe to use from several threads.
class IV4l2System {
public:
    virtual ~IV4l2System() = default;

    // The paths of the video nodes in number order ("/dev/video2" before
    // "/dev/video10").
    virtual std::vector<std::string> ListVideoNodes() = 0;
    // Null when the node cannot be opened (gone, or not ours to open).
    virtual std::unique_ptr<IV4l2Device> Open(const std::string& strPath) = 0;
    // The descriptors of the USB device the node belongs to, as the device
    // sent them; empty when the node is no USB device or cannot be read.
    virtual std::vector<uint8_t> ReadUsbDescriptors(const std::string& strPath) = 0;
};
