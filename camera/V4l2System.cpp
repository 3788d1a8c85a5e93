#include "camera/V4l2System.h"

#include "camera/V4l2Device.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <utility>

namespace {

// The number of a node called "video<digits>", or -1.
long VideoNumber(const char* szName) {
    static const char kPrefix[] = "video";
    const size_t nPrefix = sizeof(kPrefix) - 1;
    if (std::string(szName).compare(0, nPrefix, kPrefix) != 0 || szName[nPrefix] == '\0') {
        return -1;
    }
    char* pEnd = nullptr;
    const long nNumber = std::strtol(szName + nPrefix, &pEnd, 10);
    return (*pEnd == '\0' && szName[nPrefix] >= '0' && szName[nPrefix] <= '9') ? nNumber : -1;
}

} // namespace

V4l2System::V4l2System(std::string strDevFolder, std::string strClassFolder)
    : m_strDevFolder(std::move(strDevFolder)), m_strClassFolder(std::move(strClassFolder)) {}

std::vector<std::string> V4l2System::ListVideoNodes() {
    std::vector<std::pair<long, std::string>> nodes;
    if (DIR* pFolder = ::opendir(m_strDevFolder.c_str())) {
        while (const dirent* pEntry = ::readdir(pFolder)) {
            const long nNumber = VideoNumber(pEntry->d_name);
            if (nNumber >= 0) {
                nodes.emplace_back(nNumber, m_strDevFolder + "/" + pEntry->d_name);
            }
        }
        ::closedir(pFolder);
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> paths;
    for (auto& node : nodes) {
        paths.push_back(std::move(node.second));
    }
    return paths;
}

std::unique_ptr<IV4l2Device> V4l2System::Open(const std::string& strPath) {
    return V4l2Device::Open(strPath);
}

std::vector<uint8_t> V4l2System::ReadUsbDescriptors(const std::string& strPath) {
    // The node's "device" is the USB interface; its parent, the USB device,
    // keeps the descriptors of every configuration in one file.
    const std::string strName = strPath.substr(strPath.find_last_of('/') + 1);
    std::ifstream file(m_strClassFolder + "/" + strName + "/device/../descriptors",
                       std::ios::binary);
    if (!file) {
        return {};
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>());
}
