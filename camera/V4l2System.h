#pragma once

#include "camera/IV4l2System.h"

// The video devices of this computer as the kernel shows them. The folders
// can be moved for a test: device nodes in strDevFolder, their sysfs entries
// in strClassFolder.
class V4l2System final : public IV4l2System {
public:
    explicit V4l2System(std::string strDevFolder = "/dev",
                        std::string strClassFolder = "/sys/class/video4linux");

    std::vector<std::string> ListVideoNodes() override;
    std::unique_ptr<IV4l2Device> Open(const std::string& strPath) override;
    std::vector<uint8_t> ReadUsbDescriptors(const std::string& strPath) override;

private:
    std::string m_strDevFolder;
    std::string m_strClassFolder;
};
