#include "phone/AdbProtocol.h"

#include "phone/IADBDelegates.h"

#include <cstdio>
#include <sstream>

std::string AdbProtocol::EncodeRequest(const std::string& strService) {
    if (strService.empty() || strService.size() > 0xffff) {
        return std::string();
    }
    char szLength[8];
    std::snprintf(szLength, sizeof(szLength), "%04zx", strService.size());
    return szLength + strService;
}

bool AdbProtocol::ParseHexLength(const char* pDigits, size_t& nLength) {
    size_t nValue = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = pDigits[i];
        int nDigit;
        if (c >= '0' && c <= '9') {
            nDigit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            nDigit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            nDigit = c - 'A' + 10;
        } else {
            return false;
        }
        nValue = nValue * 16 + static_cast<size_t>(nDigit);
    }
    nLength = nValue;
    return true;
}

std::vector<AdbDevice> AdbProtocol::ParseDeviceList(const std::string& strList) {
    std::vector<AdbDevice> devices;
    std::istringstream lines(strList);
    std::string strLine;
    while (std::getline(lines, strLine)) {
        std::istringstream words(strLine);
        AdbDevice device;
        if (!(words >> device.strSerial >> device.strState)) {
            continue;
        }
        std::string strWord;
        while (words >> strWord) {
            if (strWord.compare(0, 6, "model:") == 0) {
                device.strModel = strWord.substr(6);
            }
        }
        devices.push_back(std::move(device));
    }
    return devices;
}

const AdbDevice* AdbProtocol::FindReady(const std::vector<AdbDevice>& devices) {
    for (const AdbDevice& device : devices) {
        if (device.strState == "device") {
            return &device;
        }
    }
    return nullptr;
}

int AdbProtocol::DeviceStatus(const std::vector<AdbDevice>& devices) {
    if (FindReady(devices)) {
        return IADBDelegates::kPhoneReady;
    }
    return devices.empty() ? IADBDelegates::kNoPhone : IADBDelegates::kPhoneUnusable;
}
